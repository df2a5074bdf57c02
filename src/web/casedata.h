#pragma once

#include "cases/casesteps.h"
#include "web/webdata.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The dashboard's reads and writes of the cases of bad ratings in the central database:
// 差评案件, its history 差评案件_记录, the working-day calendar 工作日历 and the deadlines
// (in 网页设置). Bound values only.
namespace web {

// The case tables are part of the central schema; a database set up before them gets them
// (with the cases of its bad ratings) on first use.
void ensureCaseSchema(Central &db);

struct CaseRow
{
    qint64 id = 0;
    QString terminal;
    qint64 seq = 0;
    cases::State state = cases::State::Pending;
    QDateTime opened, calledBack, rectified, finished;
    QString hall, name, date, time, grade; // of the rating (empty when it is gone)
    QDateTime received;
    cases::CaseDays days() const;
};

struct CaseFilter
{
    std::optional<QStringList> terminals; // nothing: every kiosk
    std::optional<cases::State> state;
    QString name; // part of the rated name
};
QList<CaseRow> findCases(Central &db, const CaseFilter &filter);
std::optional<CaseRow> findCase(Central &db, qint64 id);
// The case of the rating (终端, 序号): its number, or nothing.
std::optional<qint64> caseOfRating(Central &db, const QString &terminal, qint64 seq);

struct CaseStep
{
    QDateTime time;
    QString user;
    QString from, to;
    QString note;
};
QList<CaseStep> caseHistory(Central &db, qint64 id);
// The reasons the visitor chose, where the kiosks record them; empty otherwise.
QStringList caseReasons(Central &db, const QString &terminal, qint64 seq);

// Takes the case from its state from to to in one statement: the case row and its history row
// together. False when the case was no longer in from (somebody else took a step first).
bool takeStep(Central &db, qint64 id, cases::State from, cases::State to, const QString &user,
              const QDateTime &time, const QString &note);

cases::Deadlines caseDeadlines(Central &db);
void setCaseDeadlines(Central &db, const cases::Deadlines &deadlines);

struct CalendarDay
{
    QDate date;
    cases::DayKind kind;
    QString note;
};
QList<CalendarDay> calendarDays(Central &db);
cases::WorkCalendar workCalendar(const QList<CalendarDay> &days);
void setCalendarDay(Central &db, const CalendarDay &day);
void removeCalendarDay(Central &db, const QDate &date);

// For the overview: the cases of the kiosks of terminals (state and step times), each with
// whether its rating's date lies in [from, to].
struct CaseTimes
{
    cases::CaseDays days;
    bool inRange = false;
};
QList<CaseTimes> caseTimes(Central &db, const std::optional<QStringList> &terminals,
                           const QDate &from, const QDate &to);

} // namespace web
