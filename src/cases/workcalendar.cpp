#include "cases/workcalendar.h"

using namespace Qt::StringLiterals;

namespace cases {

QString dayKindName(DayKind kind)
{
    return kind == DayKind::Holiday ? u"假日"_s : u"调休"_s;
}

std::optional<DayKind> dayKindFromName(const QString &name)
{
    if (name == u"假日"_s)
        return DayKind::Holiday;
    if (name == u"调休"_s)
        return DayKind::Workday;
    return std::nullopt;
}

bool WorkCalendar::isWorkingDay(const QDate &date) const
{
    const auto it = m_days.constFind(date);
    if (it != m_days.cend())
        return *it == DayKind::Workday;
    return date.dayOfWeek() <= 5;
}

QDate WorkCalendar::addWorkingDays(const QDate &date, int count) const
{
    // Ends: the calendar holds finitely many holidays, and past them every week has five
    // working days.
    QDate day = date;
    while (count > 0) {
        day = day.addDays(1);
        if (isWorkingDay(day))
            --count;
    }
    return day;
}

std::optional<QString> deadlinesRefusal(const Deadlines &deadlines)
{
    if (deadlines.callbackDays < 1 || deadlines.callbackDays > MaxDeadlineDays ||
        deadlines.rectifyDays < 1 || deadlines.rectifyDays > MaxDeadlineDays)
        return u"期限应为 1 到 %1 之间的整数（工作日）"_s.arg(MaxDeadlineDays);
    if (deadlines.rectifyDays < deadlines.callbackDays)
        return u"整改期限不能短于回访期限"_s;
    return std::nullopt;
}

} // namespace cases
