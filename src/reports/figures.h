#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <array>

// The figures of a satisfaction report: per rated name and overall, a ranking by score and a
// trend per day, week or month. Everything here is a pure function of grouped counts, so any
// source that can count ratings by name and grade word (and by day and grade word) feeds it.
namespace reports {

// The five grade words, best first, as the report's columns show them.
constexpr int GradeCount = 5;
// The grade word of column i (0 = 非常满意 ... 4 = 非常不满意).
QString gradeWord(int column);
// Points of column i (100, 80, 60, 30, 0).
int gradePoints(int column);
// The column of a grade word, or -1 when the text is none of the five words (compared whole).
int gradeColumn(const QString &word);

// One row of the aggregate "count per name and grade word" over a date range.
struct NameGradeCount
{
    QString name;
    QString grade;
    qint64 count = 0;
};

// One row of the aggregate "count per day and grade word" over a date range; day is the stored
// 日期 text.
struct DayGradeCount
{
    QString day;
    QString grade;
    qint64 count = 0;
};

// Counts of one name (or of everything) in the five grades, with the derived figures.
struct Figures
{
    QString name;
    qint64 ratings = 0;                   // 评价数: ratings in the five grades
    std::array<qint64, GradeCount> per{}; // per grade column
    qint64 scoreTenths = 0;               // 满意度得分 × 10, rounded half up
    qint64 rateTenths = 0;                // 满意率 in percent × 10, rounded half up

    // "86.7": one decimal, no unit.
    QString scoreText() const;
    QString rateText() const;
    double score() const { return scoreTenths / 10.0; }
    double rate() const { return rateTenths / 10.0; }
};

// Fills in ratings, score and rate from the per-grade counts.
void deriveFigures(Figures &figures);

enum class Period
{
    Day,
    Week,
    Month
};

// The period the trend uses by default for a range: days up to a month, weeks up to half a
// year, months beyond.
Period defaultPeriod(const QDate &from, const QDate &to);
// "日", "周", "月".
QString periodName(Period period);

// One point of the trend: the period starting at start (a Monday for weeks, the 1st for
// months; clipped to the range), its label and its figures (score 0 when it has no ratings).
struct TrendPoint
{
    QDate start;
    QString label;
    Figures figures;
};

// A whole report for one date range (both ends included).
struct Report
{
    QDate from, to;
    Period period = Period::Day;
    QList<Figures> ranking;   // one per name with at least one rating in the five grades
    Figures overall;          // all names together; name empty
    qint64 outsideGrades = 0; // rows whose grade is none of the five words, left out
    QList<TrendPoint> trend;  // one point per period across the whole range, empty ones too
};

// Per-name figures in ranking order: score (as shown, one decimal) highest first, then
// 评价数 most first, then name in code-point order. Rows of other grade words are counted in
// outside (when given) and otherwise left out; names with no rating left are not listed.
QList<Figures> rank(const QList<NameGradeCount> &counts, qint64 *outside = nullptr);

// The trend across [from, to] by period, one point per period even when it has no ratings.
// Days outside the range, days that are no date and other grade words are left out.
QList<TrendPoint> trend(const QDate &from, const QDate &to, Period period,
                        const QList<DayGradeCount> &counts);

// The range presets of the report window. Weeks start on Monday.
enum class Preset
{
    Today,
    ThisWeek,
    ThisMonth,
    ThisYear,
    LastMonth
};
// "今天", "本周", "本月", "本年", "上月".
QString presetName(Preset preset);
struct DateRange
{
    QDate from, to;
    bool operator==(const DateRange &) const = default;
};
// The days a preset covers for today, both ends included (本周: Monday to Sunday).
DateRange presetRange(Preset preset, const QDate &today);

// The complete report from the two aggregates.
Report makeReport(const QDate &from, const QDate &to, Period period,
                  const QList<NameGradeCount> &byName, const QList<DayGradeCount> &byDay);

} // namespace reports
