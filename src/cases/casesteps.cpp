#include "cases/casesteps.h"

using namespace Qt::StringLiterals;

namespace cases {

QString stateName(State state)
{
    switch (state) {
    case State::Pending:
        return u"待核实"_s;
    case State::CalledBack:
        return u"已回访"_s;
    case State::Rectified:
        return u"已整改"_s;
    case State::Closed:
        return u"已办结"_s;
    case State::Appealed:
        return u"申诉"_s;
    }
    return {};
}

QList<State> allStates()
{
    return {State::Pending, State::CalledBack, State::Rectified, State::Closed, State::Appealed};
}

std::optional<State> stateFromName(const QString &name)
{
    for (const State s : allStates()) {
        if (stateName(s) == name)
            return s;
    }
    return std::nullopt;
}

QString stepName(State to)
{
    switch (to) {
    case State::CalledBack:
        return u"回访"_s;
    case State::Rectified:
        return u"整改"_s;
    case State::Closed:
        return u"办结"_s;
    case State::Appealed:
        return u"申诉"_s;
    case State::Pending:
        break;
    }
    return {};
}

namespace {

// The steps of the machine itself, whoever asks.
bool follows(State from, State to)
{
    switch (from) {
    case State::Pending:
        return to == State::CalledBack || to == State::Appealed;
    case State::CalledBack:
        // A callback may show that the rating was not well founded.
        return to == State::Rectified || to == State::Appealed;
    case State::Rectified:
        return to == State::Closed;
    case State::Closed:
    case State::Appealed:
        return false;
    }
    return false;
}

} // namespace

std::optional<QString> stepRefusal(State from, State to, const Actor &actor,
                                   const QString &terminal, const QString &note)
{
    if (!actor.sees(terminal))
        return u"无权处理该案件"_s;
    if (!follows(from, to))
        return u"案件处于“%1”，不能%2"_s.arg(stateName(from), stepName(to).isEmpty()
                                                                  ? u"改为%1"_s.arg(stateName(to))
                                                                  : stepName(to));
    if (to == State::Appealed && !actor.admin)
        return u"只有管理员可以认定差评不成立（申诉）"_s;
    const QString trimmed = note.trimmed();
    if (trimmed.isEmpty())
        return to == State::Appealed ? u"请填写申诉理由"_s : u"请填写处理说明"_s;
    if (trimmed.size() > MaxNoteLength)
        return u"说明最多 %1 个字"_s.arg(MaxNoteLength);
    return std::nullopt;
}

QList<State> nextStates(State from, const Actor &actor, const QString &terminal)
{
    QList<State> list;
    for (const State to : allStates()) {
        if (!stepRefusal(from, to, actor, terminal, u"-"_s))
            list.append(to);
    }
    return list;
}

Timing timing(const CaseDays &days, const Deadlines &deadlines, const WorkCalendar &calendar,
              const QDate &today)
{
    Timing t;
    t.callbackDue = calendar.addWorkingDays(days.opened, deadlines.callbackDays);
    t.rectifyDue = calendar.addWorkingDays(days.opened, deadlines.rectifyDays);
    if (days.state == State::Appealed)
        return t;
    const bool calledBack = days.calledBack.isValid();
    const bool rectified = days.rectified.isValid();
    t.callbackCounted = calledBack || today > t.callbackDue;
    t.callbackOnTime = calledBack && days.calledBack <= t.callbackDue;
    t.rectifyCounted = rectified || today > t.rectifyDue;
    t.rectifyOnTime = rectified && days.rectified <= t.rectifyDue;
    t.overdue = (!calledBack && today > t.callbackDue) || (!rectified && today > t.rectifyDue);
    return t;
}

void Rates::add(const Timing &t)
{
    callbackDue += t.callbackCounted;
    callbackOnTime += t.callbackOnTime;
    rectifyDue += t.rectifyCounted;
    rectifyOnTime += t.rectifyOnTime;
    overdue += t.overdue;
}

QString Rates::percent(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return u"—"_s;
    // Tenths of a percent, rounded half up, in whole numbers so no machine rounds otherwise.
    const qint64 tenths = (part * 2000 + whole) / (2 * whole);
    return u"%1.%2%"_s.arg(tenths / 10).arg(tenths % 10);
}

} // namespace cases
