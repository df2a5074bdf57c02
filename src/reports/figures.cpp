#include "reports/figures.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace reports {

namespace {

const std::array<QString, GradeCount> Words = {u"非常满意"_s, u"比较满意"_s, u"一般"_s, u"不满意"_s,
                                               u"非常不满意"_s};
constexpr std::array<int, GradeCount> Points = {100, 80, 60, 30, 0};

// numerator / denominator × 10, rounded half up; 0 for an empty denominator.
qint64 tenths(qint64 numerator, qint64 denominator)
{
    if (denominator <= 0)
        return 0;
    return (numerator * 20 + denominator) / (2 * denominator);
}

QString tenthsText(qint64 value)
{
    return u"%1.%2"_s.arg(value / 10).arg(value % 10);
}

} // namespace

QString gradeWord(int column)
{
    return column >= 0 && column < GradeCount ? Words[column] : QString();
}

int gradePoints(int column)
{
    return column >= 0 && column < GradeCount ? Points[column] : -1;
}

int gradeColumn(const QString &word)
{
    for (int i = 0; i < GradeCount; ++i) {
        if (Words[i] == word)
            return i;
    }
    return -1;
}

QString Figures::scoreText() const
{
    return tenthsText(scoreTenths);
}

QString Figures::rateText() const
{
    return tenthsText(rateTenths);
}

void deriveFigures(Figures &figures)
{
    qint64 ratings = 0, points = 0;
    for (int i = 0; i < GradeCount; ++i) {
        ratings += figures.per[i];
        points += figures.per[i] * Points[i];
    }
    figures.ratings = ratings;
    figures.scoreTenths = tenths(points, ratings);
    // 满意率: the share graded 比较满意 or 非常满意, in percent.
    figures.rateTenths = tenths((figures.per[0] + figures.per[1]) * 100, ratings);
}

Period defaultPeriod(const QDate &from, const QDate &to)
{
    const qint64 days = from.daysTo(to) + 1;
    if (days <= 31)
        return Period::Day;
    if (days <= 183)
        return Period::Week;
    return Period::Month;
}

QString periodName(Period period)
{
    switch (period) {
    case Period::Day:
        return u"日"_s;
    case Period::Week:
        return u"周"_s;
    case Period::Month:
        return u"月"_s;
    }
    return {};
}

QList<Figures> rank(const QList<NameGradeCount> &counts, qint64 *outside)
{
    QHash<QString, qsizetype> index;
    QList<Figures> rows;
    qint64 left = 0;
    for (const NameGradeCount &c : counts) {
        const int column = gradeColumn(c.grade);
        if (column < 0) {
            left += c.count;
            continue;
        }
        if (c.count <= 0)
            continue;
        auto it = index.constFind(c.name);
        if (it == index.constEnd()) {
            it = index.insert(c.name, rows.size());
            Figures f;
            f.name = c.name;
            rows.append(f);
        }
        rows[*it].per[column] += c.count;
    }
    for (Figures &f : rows)
        deriveFigures(f);
    // The score as shown decides, so that two names showing the same score are ordered by
    // their number of ratings, as the reader expects.
    std::sort(rows.begin(), rows.end(), [](const Figures &a, const Figures &b) {
        if (a.scoreTenths != b.scoreTenths)
            return a.scoreTenths > b.scoreTenths;
        if (a.ratings != b.ratings)
            return a.ratings > b.ratings;
        // QString's operator< compares UTF-16 units; code points order differently only for
        // characters beyond the BMP against U+E000..U+FFFF, so compare code points proper.
        const QList<uint> ca = a.name.toUcs4(), cb = b.name.toUcs4();
        return std::lexicographical_compare(ca.begin(), ca.end(), cb.begin(), cb.end());
    });
    if (outside)
        *outside = left;
    return rows;
}

namespace {

QDate periodStart(const QDate &day, Period period)
{
    switch (period) {
    case Period::Day:
        return day;
    case Period::Week:
        return day.addDays(1 - day.dayOfWeek()); // Monday
    case Period::Month:
        return QDate(day.year(), day.month(), 1);
    }
    return day;
}

QDate nextPeriod(const QDate &start, Period period)
{
    switch (period) {
    case Period::Day:
        return start.addDays(1);
    case Period::Week:
        return start.addDays(7);
    case Period::Month:
        return start.addMonths(1);
    }
    return start.addDays(1);
}

QString periodLabel(const QDate &start, Period period)
{
    switch (period) {
    case Period::Day:
        return start.toString(u"MM-dd"_s);
    case Period::Week:
        return start.toString(u"MM-dd"_s) + u"起"_s;
    case Period::Month:
        return start.toString(u"yyyy-MM"_s);
    }
    return {};
}

} // namespace

QList<TrendPoint> trend(const QDate &from, const QDate &to, Period period,
                        const QList<DayGradeCount> &counts)
{
    QList<TrendPoint> points;
    if (!from.isValid() || !to.isValid() || to < from)
        return points;
    QHash<QDate, qsizetype> index;
    for (QDate start = periodStart(from, period); start <= to; start = nextPeriod(start, period)) {
        TrendPoint p;
        p.start = std::max(start, from);
        p.label = periodLabel(p.start, period);
        index.insert(start, points.size());
        points.append(p);
    }
    for (const DayGradeCount &c : counts) {
        const int column = gradeColumn(c.grade);
        if (column < 0 || c.count <= 0)
            continue;
        // Only a well-formed date text names a day; the stored range compares text.
        const QDate day = c.day.size() == 10 ? QDate::fromString(c.day, u"yyyy-MM-dd"_s) : QDate();
        if (!day.isValid() || day < from || day > to)
            continue;
        const auto it = index.constFind(periodStart(day, period));
        if (it != index.constEnd())
            points[*it].figures.per[column] += c.count;
    }
    for (TrendPoint &p : points)
        deriveFigures(p.figures);
    return points;
}

QString presetName(Preset preset)
{
    switch (preset) {
    case Preset::Today:
        return u"今天"_s;
    case Preset::ThisWeek:
        return u"本周"_s;
    case Preset::ThisMonth:
        return u"本月"_s;
    case Preset::ThisYear:
        return u"本年"_s;
    case Preset::LastMonth:
        return u"上月"_s;
    }
    return {};
}

DateRange presetRange(Preset preset, const QDate &today)
{
    switch (preset) {
    case Preset::Today:
        return {today, today};
    case Preset::ThisWeek: {
        const QDate monday = today.addDays(1 - today.dayOfWeek());
        return {monday, monday.addDays(6)};
    }
    case Preset::ThisMonth: {
        const QDate first(today.year(), today.month(), 1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    case Preset::ThisYear:
        return {QDate(today.year(), 1, 1), QDate(today.year(), 12, 31)};
    case Preset::LastMonth: {
        const QDate first = QDate(today.year(), today.month(), 1).addMonths(-1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    }
    return {today, today};
}

Report makeReport(const QDate &from, const QDate &to, Period period,
                  const QList<NameGradeCount> &byName, const QList<DayGradeCount> &byDay,
                  int minimumRatings)
{
    Report r;
    r.from = from;
    r.to = to;
    r.period = period;
    r.minimumRatings = std::max(1, minimumRatings);
    r.ranking = rank(byName, &r.outsideGrades);
    // A score of a handful of ratings says little: such names follow the ranked ones, most
    // ratings first, so that one lucky rating never heads the list.
    const auto small =
        std::stable_partition(r.ranking.begin(), r.ranking.end(),
                              [&](const Figures &f) { return f.ratings >= r.minimumRatings; });
    r.rankedCount = small - r.ranking.begin();
    std::stable_sort(small, r.ranking.end(),
                     [](const Figures &a, const Figures &b) { return a.ratings > b.ratings; });
    for (const Figures &f : r.ranking) {
        for (int i = 0; i < GradeCount; ++i)
            r.overall.per[i] += f.per[i];
    }
    deriveFigures(r.overall);
    r.trend = trend(from, to, period, byDay);
    return r;
}

int minimumRatingsSetting(const std::optional<QString> &value)
{
    if (!value || !isMinimumRatingsValue(*value))
        return DefaultMinimumRatings;
    return value->trimmed().toInt();
}

bool isMinimumRatingsValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 6)
        return false;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int n = t.toInt();
    return n >= 1 && n <= MaximumMinimumRatings;
}

QString displayName(const QString &name)
{
    return name.trimmed().isEmpty() ? u"（无名称）"_s : name;
}

QString smallSampleText()
{
    return u"样本不足"_s;
}

QString rankText(const Report &report, qsizetype row)
{
    return row < report.rankedCount ? QString::number(row + 1) : smallSampleText();
}

QString noRatingsText()
{
    return u"此期间没有评价"_s;
}

QString overallLine(const Report &report)
{
    const Figures &o = report.overall;
    if (o.ratings == 0)
        return noRatingsText();
    return u"评价 %1 条，%2 个名称，满意度得分 %3，满意率 %4%"_s.arg(o.ratings)
        .arg(report.ranking.size())
        .arg(o.scoreText(), o.rateText());
}

QStringList leftOutLines(const Report &report)
{
    // One row per reason a rating is not counted: how many it left out, and the sentence.
    const std::array<std::pair<qint64, QString>, 2> reasons = {{
        {report.outsideGrades, u"另有 %1 条评价的等级不是五个等级之一，未计入。"_s},
        {report.suspectedRepeats, u"另有 %1 条疑似重复未计入。"_s},
    }};
    QStringList lines;
    for (const auto &[count, wording] : reasons) {
        if (count > 0)
            lines << wording.arg(count);
    }
    return lines;
}

QString smallSampleLine(const Report &report)
{
    const qsizetype unranked = report.ranking.size() - report.rankedCount;
    if (unranked <= 0)
        return {};
    return u"%1 个名称评价少于 %2 条，标为%3，不排名，列在最后。"_s.arg(unranked)
        .arg(report.minimumRatings)
        .arg(smallSampleText());
}

QStringList notesAfterTable(const Report &report)
{
    QString overall = overallLine(report);
    if (!overall.endsWith(u'。'))
        overall += u'。';
    QStringList notes = {overall};
    notes << leftOutLines(report);
    if (const QString small = smallSampleLine(report); !small.isEmpty())
        notes << small;
    return notes;
}

namespace {

template <typename Count, typename Key>
QList<Count> subtracted(const QList<Count> &counts, const QList<Count> &repeats, Key key)
{
    QHash<QPair<QString, QString>, qint64> left;
    for (const Count &r : repeats)
        left[{key(r), r.grade}] += r.count;
    QList<Count> result = counts;
    for (Count &c : result) {
        const auto it = left.find({key(c), c.grade});
        if (it == left.end() || *it <= 0)
            continue;
        const qint64 taken = std::min(c.count, *it);
        c.count -= taken;
        *it -= taken;
    }
    return result;
}

} // namespace

QList<NameGradeCount> withoutRepeats(const QList<NameGradeCount> &counts,
                                     const QList<NameGradeCount> &repeats)
{
    return subtracted(counts, repeats, [](const NameGradeCount &c) { return c.name; });
}

QList<DayGradeCount> withoutRepeats(const QList<DayGradeCount> &counts,
                                    const QList<DayGradeCount> &repeats)
{
    return subtracted(counts, repeats, [](const DayGradeCount &c) { return c.day; });
}

int labelStep(qsizetype count, double width, double labelWidth)
{
    if (count <= 1 || labelWidth <= 0)
        return 1;
    // Label i sits in the middle of slot i; two shown labels need their width between them.
    const double slot = width / double(count);
    if (slot <= 0)
        return int(count);
    const int step = int(std::ceil(labelWidth / slot));
    return std::clamp(step, 1, int(count));
}

QList<NameReasonCount> reasonRows(const QList<NameReasonCount> &counts)
{
    QMap<std::pair<QString, QString>, qint64> sums;
    for (const NameReasonCount &c : counts)
        sums[{c.name, c.reason}] += c.count;
    QList<NameReasonCount> rows;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        if (it.value() > 0)
            rows.append({it.key().first, it.key().second, it.value()});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        if (a.name != b.name)
            return a.name < b.name;
        if (a.count != b.count)
            return a.count > b.count;
        return a.reason < b.reason;
    });
    return rows;
}

QString reasonsTitle()
{
    return u"差评原因"_s;
}

QStringList reasonsHeader()
{
    return {u"名称"_s, u"差评原因"_s, u"次数"_s};
}

QString noReasonsText()
{
    return u"此期间没有差评原因"_s;
}

} // namespace reports
