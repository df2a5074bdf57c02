#pragma once

#include "cases/workcalendar.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The case of a bad rating and its steps: 待核实 -> 已回访 -> 已整改 -> 已办结, or 申诉 (the
// rating found not well founded, by an administrator, with the reason). Who may take which
// step, and where a case stands against its deadlines on a given day.
namespace cases {

enum class State
{
    Pending,
    CalledBack,
    Rectified,
    Closed,
    Appealed
};

// "待核实", "已回访", "已整改", "已办结", "申诉", as stored in 差评案件.状态.
QString stateName(State state);
std::optional<State> stateFromName(const QString &name);
QList<State> allStates();
// The name of the step that leads to a state, for its button: "回访", "整改", "办结", "申诉".
QString stepName(State to);

// Who asks: an administrator, or a viewer who sees the kiosks of allowed (every kiosk when
// nothing).
struct Actor
{
    QString name;
    bool admin = false;
    std::optional<QStringList> allowed;
    bool sees(const QString &terminal) const { return !allowed || allowed->contains(terminal); }
};

constexpr int MaxNoteLength = 500;

// The states the actor may take a case of terminal to from the state from.
QList<State> nextStates(State from, const Actor &actor, const QString &terminal);
// Why that step is refused (a Chinese message), or nothing when it may be taken with that note.
std::optional<QString> stepRefusal(State from, State to, const Actor &actor,
                                   const QString &terminal, const QString &note);

// When the steps of one case happened (an invalid date: not yet), by the local calendar day.
struct CaseDays
{
    State state = State::Pending;
    QDate opened;
    QDate calledBack;
    QDate rectified;
};

// A case against its deadlines on the day today. A step is due once its deadline has passed or
// it was taken; it counts as on time when taken on or before the deadline's day. Cases found
// not well founded (申诉) are neither due nor overdue.
struct Timing
{
    QDate callbackDue;
    QDate rectifyDue;
    bool callbackCounted = false;
    bool callbackOnTime = false;
    bool rectifyCounted = false;
    bool rectifyOnTime = false;
    bool overdue = false; // 逾期: a step still open past its deadline
};
Timing timing(const CaseDays &days, const Deadlines &deadlines, const WorkCalendar &calendar,
              const QDate &today);

// 回访率 and 整改率 over many cases, and how many are overdue.
struct Rates
{
    qint64 callbackDue = 0, callbackOnTime = 0;
    qint64 rectifyDue = 0, rectifyOnTime = 0;
    qint64 overdue = 0;
    void add(const Timing &t);
    // "87.5%", or "—" when nothing is due.
    static QString percent(qint64 part, qint64 whole);
};

} // namespace cases
