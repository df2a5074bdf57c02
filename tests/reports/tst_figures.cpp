// The report's arithmetic on grouped counts: scores, rates, ranking, overall figures, the trend
// and the range presets.
#include "reports/figures.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace reports;

namespace {

// "name=grade*count;..." into aggregate rows (grade words as stored).
QList<NameGradeCount> nameCounts(const QString &text)
{
    QList<NameGradeCount> rows;
    for (const QString &item : text.split(u';', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0);
        const QString rest = item.section(u'=', 1);
        rows.append({name, rest.section(u'*', 0, 0), rest.section(u'*', 1).toLongLong()});
    }
    return rows;
}

// One ranked row as "name|评价数|得分|满意率|five counts".
QString line(const Figures &f)
{
    QStringList cells = {f.name, QString::number(f.ratings), f.scoreText(), f.rateText()};
    for (qint64 c : f.per)
        cells << QString::number(c);
    return cells.join(u'|');
}

} // namespace

class TestFigures : public QObject
{
    Q_OBJECT

private slots:
    void ranking_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<qint64>("outside");
        QTest::addColumn<QString>("overall");

        QTest::newRow("empty range")
            << QString() << QStringList() << qint64(0) << u"|0|0.0|0.0|0|0|0|0|0"_s;
        QTest::newRow("one rating")
            << u"张明=一般*1"_s << QStringList{u"张明|1|60.0|0.0|0|0|1|0|0"_s} << qint64(0)
            << u"|1|60.0|0.0|0|0|1|0|0"_s;
        QTest::newRow("one decimal, rounded") // (80 + 60 + 60) / 3 = 66.67; 1 of 3 satisfied
            << u"A=比较满意*1;A=一般*2"_s << QStringList{u"A|3|66.7|33.3|0|1|2|0|0"_s} << qint64(0)
            << u"|3|66.7|33.3|0|1|2|0|0"_s;
        QTest::newRow("rate rounds half up") // 1 of 16 = 6.25 %; (100 + 15 * 60) / 16 = 62.5
            << u"B=非常满意*1;B=一般*15"_s << QStringList{u"B|16|62.5|6.3|1|0|15|0|0"_s}
            << qint64(0) << u"|16|62.5|6.3|1|0|15|0|0"_s;
        QTest::newRow("score ties: more ratings first, then code points")
            << u"乙=比较满意*2;甲=比较满意*2;丙=比较满意*3;丁=非常不满意*1;"
               "Z=非常满意*1;Z=一般*1;A=比较满意*2"_s
            << QStringList{u"丙|3|80.0|100.0|0|3|0|0|0"_s, u"A|2|80.0|100.0|0|2|0|0|0"_s,
                           u"Z|2|80.0|50.0|1|0|1|0|0"_s,   u"乙|2|80.0|100.0|0|2|0|0|0"_s,
                           u"甲|2|80.0|100.0|0|2|0|0|0"_s, u"丁|1|0.0|0.0|0|0|0|0|1"_s}
            << qint64(0) << u"|12|73.3|83.3|1|9|1|0|1"_s;
        // R exact 66.66 with 500 ratings, S exact 66.67 with 3: both show 66.7, so the one with
        // more ratings comes first although its exact score is lower.
        QTest::newRow("scores equal once rounded count as tied")
            << u"S=比较满意*1;S=一般*2;R=非常满意*84;R=一般*415;R=不满意*1"_s
            << QStringList{u"R|500|66.7|16.8|84|0|415|1|0"_s, u"S|3|66.7|33.3|0|1|2|0|0"_s}
            << qint64(0) << u"|503|66.7|16.9|84|1|417|1|0"_s;
        QTest::newRow("grades outside the five are left out and counted")
            << u"A=非常满意*2;A=满意*3;A=*1;B=差评*4;A= 一般*1"_s
            << QStringList{u"A|2|100.0|100.0|2|0|0|0|0"_s} << qint64(9)
            << u"|2|100.0|100.0|2|0|0|0|0"_s;
        QTest::newRow("a name with a comma and a quote")
            << u"1号窗口, \"综合\"=不满意*1"_s
            << QStringList{u"1号窗口, \"综合\"|1|30.0|0.0|0|0|0|1|0"_s} << qint64(0)
            << u"|1|30.0|0.0|0|0|0|1|0"_s;
        QTest::newRow("code-point order beyond the BMP")
            << u"\U00020000=一般*1;\uFF01=一般*1"_s
            << QStringList{u"\uFF01|1|60.0|0.0|0|0|1|0|0"_s, u"\U00020000|1|60.0|0.0|0|0|1|0|0"_s}
            << qint64(0) << u"|2|60.0|0.0|0|0|2|0|0"_s;
    }
    void ranking()
    {
        QFETCH(QString, counts);
        QFETCH(QStringList, expected);
        QFETCH(qint64, outside);
        QFETCH(QString, overall);
        const Report r = makeReport(QDate(2026, 1, 1), QDate(2026, 1, 31), Period::Day,
                                    nameCounts(counts), {}, 1);
        QStringList got;
        for (const Figures &f : r.ranking)
            got << line(f);
        QCOMPARE(got, expected);
        QCOMPARE(r.outsideGrades, outside);
        QCOMPARE(line(r.overall), overall);
    }

    // What every view shows alike: ranks or 样本不足, names, the overall line and the lines on
    // what was left out.
    void shownTexts_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<QStringList>("rows"); // rank|name as shown|评价数
        QTest::addColumn<QStringList>("notes");
        const QString month = u"窗口A=一般*519;窗口B=非常满意*1;=非常满意*1;  =非常满意*2;"
                              "窗口C=比较满意*12;窗口D=非常满意*9;窗口D=不满意*1"_s;
        QTest::newRow("single ratings no longer lead")
            << month << 10
            << QStringList{u"1|窗口D|10"_s,
                           u"2|窗口C|12"_s,
                           u"3|窗口A|519"_s,
                           u"样本不足|（无名称）|2"_s,
                           u"样本不足|（无名称）|1"_s,
                           u"样本不足|窗口B|1"_s}
            << QStringList{u"评价 545 条，6 个名称，满意度得分 61.3，满意率 4.6%。"_s,
                           u"3 个名称评价少于 10 条，标为样本不足，不排名，列在最后。"_s};
        QTest::newRow("minimum 1 ranks everyone")
            << u"乙=非常满意*1;甲=一般*3;甲=好*2"_s << 1 << QStringList{u"1|乙|1"_s, u"2|甲|3"_s}
            << QStringList{u"评价 4 条，2 个名称，满意度得分 70.0，满意率 25.0%。"_s,
                           u"另有 2 条评价的等级不是五个等级之一，未计入。"_s};
        QTest::newRow("no rating at all")
            << u"甲=好*2"_s << 10 << QStringList()
            << QStringList{u"此期间没有评价。"_s,
                           u"另有 2 条评价的等级不是五个等级之一，未计入。"_s};
        QTest::newRow("empty range")
            << QString() << 10 << QStringList() << QStringList{u"此期间没有评价。"_s};
    }
    void shownTexts()
    {
        QFETCH(QString, counts);
        QFETCH(int, minimum);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, notes);
        const Report r = makeReport(QDate(2026, 1, 1), QDate(2026, 1, 31), Period::Day,
                                    nameCounts(counts), {}, minimum);
        QStringList got;
        for (qsizetype i = 0; i < r.ranking.size(); ++i) {
            got << u"%1|%2|%3"_s.arg(rankText(r, i), displayName(r.ranking.at(i).name))
                       .arg(r.ranking.at(i).ratings);
        }
        QCOMPARE(got, rows);
        QCOMPARE(notesAfterTable(r), notes);
    }

    void minimumSetting_data()
    {
        QTest::addColumn<QString>("value"); // null: no such key
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("storable");
        QTest::newRow("no key") << QString() << 10 << false;
        QTest::newRow("a number") << u"25"_s << 25 << true;
        QTest::newRow("blanks around it") << u" 3 "_s << 3 << true;
        QTest::newRow("one ranks everyone") << u"1"_s << 1 << true;
        QTest::newRow("the largest") << u"100000"_s << 100000 << true;
        QTest::newRow("zero") << u"0"_s << 10 << false;
        QTest::newRow("negative") << u"-5"_s << 10 << false;
        QTest::newRow("too large") << u"100001"_s << 10 << false;
        QTest::newRow("letters") << u"abc"_s << 10 << false;
        QTest::newRow("hexadecimal") << u"0x10"_s << 10 << false;
        QTest::newRow("empty") << u""_s << 10 << false;
    }
    void minimumSetting()
    {
        QFETCH(QString, value);
        QFETCH(int, minimum);
        QFETCH(bool, storable);
        const std::optional<QString> stored =
            value.isNull() ? std::nullopt : std::optional<QString>(value);
        QCOMPARE(minimumRatingsSetting(stored), minimum);
        QCOMPARE(isMinimumRatingsValue(value), storable);
    }

    // Trend labels: all of them while they fit, else every step-th one and never overlapping.
    void labelSteps_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("labelWidth");
        QTest::addColumn<int>("step");
        QTest::newRow("twelve months, room for all") << 12 << 600.0 << 50.0 << 1;
        QTest::newRow("twelve months, room for half") << 12 << 300.0 << 50.0 << 2;
        QTest::newRow("31 days in a narrow chart") << 31 << 340.0 << 44.0 << 5;
        QTest::newRow("exactly fitting") << 10 << 500.0 << 50.0 << 1;
        QTest::newRow("one point") << 1 << 10.0 << 50.0 << 1;
        QTest::newRow("no width yet") << 12 << 0.0 << 50.0 << 12;
    }
    void labelSteps()
    {
        QFETCH(int, count);
        QFETCH(double, width);
        QFETCH(double, labelWidth);
        QFETCH(int, step);
        QCOMPARE(labelStep(count, width, labelWidth), step);
    }

    void trendPoints_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("counts");       // day=grade*count;...
        QTest::addColumn<QStringList>("expected"); // label|评价数|得分

        const QString some = u"2026-12-02=非常满意*2;2026-12-02=一般*1;2026-12-08=不满意*1;"
                             "2026-12-31=比较满意*4;2026-11-30=非常满意*9;2026-12-5=一般*3;"
                             "2026-12-09=满意*5"_s;
        QTest::newRow("days, empty ones included, out-of-range and malformed left out")
            << QDate(2026, 12, 1) << QDate(2026, 12, 3) << int(Period::Day) << some
            << QStringList{u"12-01|0|0.0"_s, u"12-02|3|86.7"_s, u"12-03|0|0.0"_s};
        QTest::newRow("weeks from Monday, the first clipped to the range")
            << QDate(2026, 12, 2) << QDate(2026, 12, 31) << int(Period::Week) << some
            << QStringList{u"12-02起|3|86.7"_s, u"12-07起|1|30.0"_s, u"12-14起|0|0.0"_s,
                           u"12-21起|0|0.0"_s, u"12-28起|4|80.0"_s};
        QTest::newRow("months across a year end")
            << QDate(2026, 11, 15) << QDate(2027, 1, 10) << int(Period::Month) << some
            << QStringList{u"2026-11|9|100.0"_s, u"2026-12|8|76.3"_s, u"2027-01|0|0.0"_s};
        QTest::newRow("to before from gives no points")
            << QDate(2026, 12, 3) << QDate(2026, 12, 1) << int(Period::Day) << some
            << QStringList();
    }
    void trendPoints()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(int, period);
        QFETCH(QString, counts);
        QFETCH(QStringList, expected);
        QList<DayGradeCount> rows;
        for (const NameGradeCount &c : nameCounts(counts))
            rows.append({c.name, c.grade, c.count});
        QStringList got;
        for (const TrendPoint &p : trend(from, to, Period(period), rows))
            got << u"%1|%2|%3"_s.arg(p.label).arg(p.figures.ratings).arg(p.figures.scoreText());
        QCOMPARE(got, expected);
    }

    void presets_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        const QDate wednesday(2026, 12, 9), sunday(2026, 12, 13), monday(2026, 12, 7);
        QTest::newRow("今天") << int(Preset::Today) << wednesday << wednesday << wednesday;
        QTest::newRow("本周 on a Wednesday")
            << int(Preset::ThisWeek) << wednesday << monday << sunday;
        QTest::newRow("本周 on a Sunday") << int(Preset::ThisWeek) << sunday << monday << sunday;
        QTest::newRow("本周 on a Monday") << int(Preset::ThisWeek) << monday << monday << sunday;
        QTest::newRow("本周 across a year end") << int(Preset::ThisWeek) << QDate(2027, 1, 1)
                                                << QDate(2026, 12, 28) << QDate(2027, 1, 3);
        QTest::newRow("本月 in a leap February") << int(Preset::ThisMonth) << QDate(2024, 2, 10)
                                                 << QDate(2024, 2, 1) << QDate(2024, 2, 29);
        QTest::newRow("本年") << int(Preset::ThisYear) << wednesday << QDate(2026, 1, 1)
                              << QDate(2026, 12, 31);
        QTest::newRow("上月 in January") << int(Preset::LastMonth) << QDate(2027, 1, 31)
                                         << QDate(2026, 12, 1) << QDate(2026, 12, 31);
        QTest::newRow("上月 on the 31st of March") << int(Preset::LastMonth) << QDate(2026, 3, 31)
                                                   << QDate(2026, 2, 1) << QDate(2026, 2, 28);
    }
    void presets()
    {
        QFETCH(int, preset);
        QFETCH(QDate, today);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        const DateRange range = presetRange(Preset(preset), today);
        QCOMPARE(range.from, from);
        QCOMPARE(range.to, to);
    }
};

QTEST_APPLESS_MAIN(TestFigures)
#include "tst_figures.moc"
