#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <QStringList>

#include <array>
#include <optional>

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

// One row of the aggregate "how often each reason was chosen per name" over a date range.
struct NameReasonCount
{
    QString name;
    QString reason;
    qint64 count = 0;
    bool operator==(const NameReasonCount &) const = default;
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

// The least 评价数 a name needs to be ranked, unless the settings say otherwise.
constexpr int DefaultMinimumRatings = 10;

// A whole report for one date range (both ends included).
struct Report
{
    QDate from, to;
    Period period = Period::Day;
    int minimumRatings = 1;    // names with fewer 评价数 are listed unranked, as 样本不足
    QList<Figures> ranking;    // the ranked names in ranking order, then the unranked ones
    qsizetype rankedCount = 0; // how many of ranking are ranked (they come first)
    Figures overall;           // all names together; name empty
    qint64 outsideGrades = 0;  // rows whose grade is none of the five words, left out
    QList<TrendPoint> trend;   // one point per period across the whole range, empty ones too
    // How often each reason was chosen for a bad rating, per name (see reasonRows).
    QList<NameReasonCount> reasons;
    // Ratings marked 疑似重复 in the range, left out of every figure (the counts came without).
    qint64 suspectedRepeats = 0;
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

// The complete report from the two aggregates. Names with fewer than minimumRatings 评价数 are
// not ranked: they follow the ranked names, 评价数 most first, then score, then name.
Report makeReport(const QDate &from, const QDate &to, Period period,
                  const QList<NameGradeCount> &byName, const QList<DayGradeCount> &byDay,
                  int minimumRatings = DefaultMinimumRatings);

// The texts every view of a report (window, files, web pages) shows alike.

// The value of setting paiming_zuishao as the minimum: a whole number from 1 to
// MaximumMinimumRatings; nothing (no such key) or anything else gives DefaultMinimumRatings.
constexpr int MaximumMinimumRatings = 100000;
int minimumRatingsSetting(const std::optional<QString> &value);
// Whether text is a value staff may store for paiming_zuishao (blanks around it allowed).
bool isMinimumRatingsValue(const QString &text);

// The name as shown: "（无名称）" for a name that is empty or only blanks.
QString displayName(const QString &name);
// The rank shown for row i of report.ranking: "1", "2", ... or "样本不足" for unranked rows.
QString rankText(const Report &report, qsizetype row);
// "样本不足".
QString smallSampleText();
// "此期间没有评价": shown instead of figures and charts when the range has no rating.
QString noRatingsText();
// One line of the overall figures ("评价 1234 条，14 个名称，满意度得分 86.7，满意率 93.3%"),
// or noRatingsText() when there is no rating.
QString overallLine(const Report &report);
// One sentence per reason ratings were left out, for the reasons that left any out
// ("另有 4 条评价的等级不是五个等级之一，未计入。", "另有 3 条疑似重复未计入。"); empty when
// nothing was left out.
QStringList leftOutLines(const Report &report);
// The sentence on the unranked names, or empty when every name is ranked.
QString smallSampleLine(const Report &report);
// What the files carry after the table: the overall line, the left-out lines and the line on
// unranked names, each a complete sentence.
QStringList notesAfterTable(const Report &report);

// The reason counts as every view lists them: by name in code-point order, within a name the
// reason chosen most often first, then by reason; rows with no count left out, the same name and
// reason from several sources (kiosks) added up.
QList<NameReasonCount> reasonRows(const QList<NameReasonCount> &counts);
// The title of the reasons section ("差评原因") and its column titles ("名称", "差评原因", "次数").
QString reasonsTitle();
QStringList reasonsHeader();
// "此期间没有差评原因": shown instead of the reasons table when no reason was chosen.
QString noReasonsText();
// The counts with the suspected repeats taken out: each count of counts less the count of the
// same name (or day) and grade in repeats; what reaches zero stays as a row of zero, which the
// figures leave out.
QList<NameGradeCount> withoutRepeats(const QList<NameGradeCount> &counts,
                                     const QList<NameGradeCount> &repeats);
QList<DayGradeCount> withoutRepeats(const QList<DayGradeCount> &counts,
                                    const QList<DayGradeCount> &repeats);

// Which trend labels to show when count labels of labelWidth each share width: every
// step-th label starting with the first, so labels never overlap; 1 when all fit.
int labelStep(qsizetype count, double width, double labelWidth);

} // namespace reports
