#pragma once

#include <QDate>
#include <QMap>
#include <QString>

#include <optional>

// Working days: Monday to Friday, except the dates set as holidays (假日), plus the weekend
// dates set as working days (调休). The deadlines of a case are counted on it.
namespace cases {

enum class DayKind
{
    Holiday,
    Workday
};

// "假日" and "调休", as stored in the central table 工作日历.
QString dayKindName(DayKind kind);
std::optional<DayKind> dayKindFromName(const QString &name);

class WorkCalendar
{
public:
    void setDay(const QDate &date, DayKind kind) { m_days.insert(date, kind); }
    void clearDay(const QDate &date) { m_days.remove(date); }
    const QMap<QDate, DayKind> &days() const { return m_days; }

    bool isWorkingDay(const QDate &date) const;
    // The count-th working day after date (date itself not counted); date for count 0.
    QDate addWorkingDays(const QDate &date, int count) const;

private:
    QMap<QDate, DayKind> m_days;
};

// How many working days a case has for each step, counted from the day it was opened.
struct Deadlines
{
    int callbackDays = 1;
    int rectifyDays = 15;
};
constexpr int MaxDeadlineDays = 250;
// Why a pair of deadlines cannot be used (in Chinese), or nothing when it can.
std::optional<QString> deadlinesRefusal(const Deadlines &deadlines);

} // namespace cases
