// The report's files: the CSV byte for byte, the Excel workbook read back from its zip, the PDF's
// text read back with pdftotext, and files replaced only once every new one is complete.
#include "platform/error.h"
#include "reports/exports.h"
#include "reports/reportcharts.h"

#include <QChart>
#include <QDir>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

using namespace Qt::StringLiterals;
using namespace reports;

namespace {

// "name=grade*count;..." into a report of December 2026; names need minimum ratings to rank.
Report reportOf(const QString &text, int minimum = 1)
{
    QList<NameGradeCount> rows;
    QList<DayGradeCount> days;
    for (const QString &item : text.split(u';', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0);
        const QString rest = item.section(u'=', 1);
        rows.append({name, rest.section(u'*', 0, 0), rest.section(u'*', 1).toLongLong()});
        days.append(
            {u"2026-12-07"_s, rest.section(u'*', 0, 0), rest.section(u'*', 1).toLongLong()});
    }
    const QDate from(2026, 12, 1), to(2026, 12, 31);
    return makeReport(from, to, defaultPeriod(from, to), rows, days, minimum);
}

QByteArray run(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    const bool done =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return p.readAllStandardOutput();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QByteArray Bom = "\xEF\xBB\xBF";
const QByteArray Header =
    u"名称,评价数,满意度得分,满意率,非常满意,比较满意,一般,不满意,非常不满意\r\n"_s.toUtf8();

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

private slots:
    void csv_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty range: no figures, only the words")
            << QString() << 1 << u"\r\n此期间没有评价。\r\n"_s.toUtf8();
        QTest::newRow("one rating")
            << u"张明  综合受理=非常满意*1"_s << 1
            << u"张明  综合受理,1,100.0,100.0,1,0,0,0,0\r\n\r\n"
               "评价 1 条，1 个名称，满意度得分 100.0，满意率 100.0%。\r\n"_s.toUtf8();
        QTest::newRow("a name with a comma and a quote, ranked")
            << u"1号窗口, \"综合\"=一般*2;李红=比较满意*1;李红=不满意*1"_s << 1
            << u"\"1号窗口, \"\"综合\"\"\",2,60.0,0.0,0,0,2,0,0\r\n"
               "李红,2,55.0,50.0,0,1,0,1,0\r\n\r\n"
               "评价 4 条，2 个名称，满意度得分 57.5，满意率 25.0%。\r\n"_s.toUtf8();
        QTest::newRow("a line break in a name")
            << u"甲\n乙=比较满意*3"_s << 1
            << u"\"甲\n乙\",3,80.0,100.0,0,3,0,0,0\r\n\r\n"
               "评价 3 条，1 个名称，满意度得分 80.0，满意率 100.0%。\r\n"_s.toUtf8();
        // One rating of 100 must not head the list: below the minimum it follows the ranked
        // names (most ratings first), and the lines after the table say what was left out.
        QTest::newRow("unranked, unnamed and left out")
            << u"=非常满意*1;甲=一般*2;乙=比较满意*3;乙=差*2;  =满意*1"_s << 3
            << u"乙,3,80.0,100.0,0,3,0,0,0\r\n"
               "甲,2,60.0,0.0,0,0,2,0,0\r\n"
               "（无名称）,1,100.0,100.0,1,0,0,0,0\r\n\r\n"
               "评价 6 条，3 个名称，满意度得分 76.7，满意率 66.7%。\r\n"
               "另有 3 条评价的等级不是五个等级之一，未计入。\r\n"
               "2 个名称评价少于 3 条，标为样本不足，不排名，列在最后。\r\n"_s.toUtf8();
    }
    void csv()
    {
        QFETCH(QString, counts);
        QFETCH(int, minimum);
        QFETCH(QByteArray, body);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.csv"_s);
        exportReport(reportOf(counts, minimum), {path, {}, {}});
        QCOMPARE(QString::fromUtf8(readFile(path)), QString::fromUtf8(Bom + Header + body));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"r.csv"_s});
    }

    void xlsx_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QStringList>("numbers"); // cell values of the sheet, in order
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("charted"); // names in the chart; 0: no chart
        QTest::addColumn<QStringList>("notes");
        const QStringList numbers = {u"3"_s, u"86.7"_s, u"66.7"_s, u"2"_s,  u"0"_s, u"1"_s,
                                     u"0"_s, u"0"_s,    u"1"_s,    u"60"_s, u"0"_s, u"0"_s,
                                     u"0"_s, u"1"_s,    u"0"_s,    u"0"_s,  u"1"_s, u"30"_s,
                                     u"0"_s, u"0"_s,    u"0"_s,    u"0"_s,  u"1"_s, u"0"_s};
        const QString counts = u"甲=非常满意*2;甲=一般*1;乙, \"丙\"=不满意*1;=一般*1;甲=好*1"_s;
        const QString overall = u"评价 5 条，3 个名称，满意度得分 70.0，满意率 40.0%。"_s;
        const QString leftOut = u"另有 1 条评价的等级不是五个等级之一，未计入。"_s;
        QTest::newRow("all ranked, the unnamed one named")
            << counts << numbers << QStringList{u"甲"_s, u"（无名称）"_s, u"乙, \"丙\""_s} << 1 << 3
            << QStringList{overall, leftOut};
        QTest::newRow("unranked names stay out of the chart")
            << counts << numbers << QStringList{u"甲"_s, u"（无名称）"_s, u"乙, \"丙\""_s} << 2 << 1
            << QStringList{overall, leftOut,
                           u"2 个名称评价少于 2 条，标为样本不足，不排名，列在最后。"_s};
        QTest::newRow("empty range: the header and the words, no chart")
            << QString() << QStringList() << QStringList() << 1 << 0
            << QStringList{u"此期间没有评价。"_s};
    }
    void xlsx()
    {
        QFETCH(QString, counts);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, names);
        QFETCH(int, minimum);
        QFETCH(int, charted);
        QFETCH(QStringList, notes);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.xlsx"_s);
        exportReport(reportOf(counts, minimum), {{}, path, {}});
        bool ok = false;
        const QString listing = QString::fromUtf8(run(u"unzip"_s, {u"-Z1"_s, path}, &ok));
        QVERIFY2(ok, "the workbook is a readable zip");
        const QString workbook =
            QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/workbook.xml"_s}));
        QVERIFY(workbook.contains(u"<sheet name=\"满意度报表\""_s));
        QCOMPARE(workbook.count(u"<sheet "_s), 1);
        const QString sheet =
            QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/worksheets/sheet1.xml"_s}));
        QStringList values;
        const QRegularExpression number(u"<c r=\"[B-I][0-9]+\"(?![^>]*t=)[^>]*><v>([^<]*)</v>"_s);
        for (const auto &m : number.globalMatch(sheet))
            values << m.captured(1);
        QCOMPARE(values, numbers);
        const QString strings =
            QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/sharedStrings.xml"_s}));
        for (const QString &title : tableHeader())
            QVERIFY2(strings.contains(u">"_s + title + u"<"_s), qPrintable(title));
        for (const QString &text : names + notes)
            QVERIFY2(strings.contains(u">"_s + text + u"<"_s), qPrintable(text));
        // The notes stand in column A below an empty row after the table.
        const int notesRow = int(names.size()) + 3;
        for (int i = 0; i < notes.size(); ++i)
            QVERIFY2(sheet.contains(u"<c r=\"A%1\" t=\"s\""_s.arg(notesRow + i)),
                     qPrintable(sheet));
        // The header row is frozen and the score and rate cells have one decimal.
        QVERIFY(sheet.contains(u"<pane ySplit=\"1\""_s));
        if (!numbers.isEmpty()) {
            QVERIFY(QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/styles.xml"_s}))
                        .contains(u"formatCode=\"0.0\""_s));
        }
        QCOMPARE(listing.contains(u"xl/charts/chart1.xml"_s), charted > 0);
        if (charted > 0) {
            const QString xml =
                QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/charts/chart1.xml"_s}));
            QVERIFY(xml.contains(u"<c:barChart>"_s));
            // One cell stands alone, more are a range; either ends with the ranked names.
            const auto cells = [&](const QString &column) {
                const QString first = u"$%1$2"_s.arg(column);
                return u"'满意度报表'!"_s + first +
                       (charted == 1 ? QString() : u":$%1$%2"_s.arg(column).arg(charted + 1)) +
                       u"<"_s;
            };
            QVERIFY2(xml.contains(cells(u"C"_s)), qPrintable(xml));
            QVERIFY(xml.contains(cells(u"A"_s)));
        }
    }

    void pdf_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("names, figures and charts")
            << u"一号窗口  社保业务=非常满意*2;一号窗口  社保业务=一般*1;张明=不满意*1;王五=满意*4"_s
            << 1
            << QStringList{u"满意度报表"_s,
                           u"统计期间：2026-12-01 至 2026-12-31"_s,
                           u"评价 4 条，2 个名称，满意度得分 72.5，满意率 50.0%"_s,
                           u"另有 4 条评价的等级不是五个等级之一，未计入。"_s,
                           u"一号窗口 社保业务"_s,
                           u"张明"_s,
                           u"满意度得分"_s,
                           u"评价分布"_s,
                           u"趋势（按日）"_s,
                           u"排名"_s}
            << QStringList{u"样本不足"_s};
        QTest::newRow("unranked and unnamed names")
            << u"甲=非常满意*2;乙=一般*1;=比较满意*1"_s << 2
            << QStringList{u"（无名称）"_s, u"样本不足"_s,
                           u"2 个名称评价少于 2 条，标为样本不足，不排名，列在最后。"_s}
            << QStringList{u"另有"_s};
        // The worst possible score would be a lie: no figures and no empty charts.
        QTest::newRow("empty range")
            << QString() << 1 << QStringList{u"满意度报表"_s, u"此期间没有评价"_s}
            << QStringList{u"0.0"_s, u"评价分布"_s, u"趋势"_s};
    }
    void pdf()
    {
        QFETCH(QString, counts);
        QFETCH(int, minimum);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, absent);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.pdf"_s);
        exportReport(reportOf(counts, minimum), {{}, {}, path}, paintChart);
        QVERIFY(readFile(path).startsWith("%PDF-"));
        bool ok = false;
        const QString text = QString::fromUtf8(run(u"pdftotext"_s, {path, u"-"_s}, &ok));
        QVERIFY2(ok, "pdftotext reads the file");
        // pdftotext joins runs of spaces; compare with single spaces.
        QString flat = text;
        flat.replace(QRegularExpression(u"[ \\t]+"_s), u" "_s);
        for (const QString &t : texts)
            QVERIFY2(flat.contains(t), qPrintable(t + u" not in: "_s + flat.left(600)));
        for (const QString &t : absent)
            QVERIFY2(!flat.contains(t), qPrintable(t + u" in: "_s + flat.left(600)));
        const QString info = QString::fromUtf8(run(u"pdfinfo"_s, {path}));
        QVERIFY2(info.contains(u"A4"_s), qPrintable(info));
    }

    // The trend's labels: the first period always, then every step-th one so none overlap,
    // each centred under its own bar; the axis numbers of the score carry one decimal.
    void trendLabels_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("first");
        QTest::newRow("twelve months in a narrow chart")
            << QDate(2026, 1, 1) << QDate(2026, 12, 31) << 320 << u"2026-01"_s;
        QTest::newRow("twelve months with room")
            << QDate(2026, 1, 1) << QDate(2026, 12, 31) << 1200 << u"2026-01"_s;
        QTest::newRow("the days of a month")
            << QDate(2026, 12, 1) << QDate(2026, 12, 31) << 480 << u"12-01"_s;
    }
    void trendLabels()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(int, width);
        QFETCH(QString, first);
        const Report report =
            makeReport(from, to, defaultPeriod(from, to), {{u"甲"_s, u"一般"_s, 3}},
                       {{from.toString(Qt::ISODate), u"一般"_s, 3}}, 1);
        QGraphicsScene scene;
        QChart *chart = makeChart(Chart::Trend, report);
        scene.addItem(chart);
        chart->setGeometry(QRectF(0, 0, width, 300));
        QTRY_VERIFY(chart->plotArea().width() > 0);
        const QRectF plot = chart->plotArea();
        QStringList shown;
        double lastRight = -1e9;
        for (QGraphicsItem *child : chart->childItems()) {
            auto *label = dynamic_cast<QGraphicsSimpleTextItem *>(child);
            if (!label || !label->isVisible())
                continue;
            const QRectF box = label->mapRectToParent(label->boundingRect());
            // Under its own bar: the label's text is the period of the slot below its centre.
            const int slot =
                int((box.center().x() - plot.left()) / plot.width() * double(report.trend.size()));
            QCOMPARE(label->text(), report.trend.at(slot).label);
            QVERIFY2(box.left() >= lastRight, qPrintable(label->text()));
            lastRight = box.right();
            shown << label->text();
        }
        QVERIFY(shown.size() >= 2);
        QCOMPARE(shown.first(), first);
        if (width >= 1200)
            QCOMPARE(shown.size(), report.trend.size());
        for (QAbstractAxis *axis : chart->axes(Qt::Vertical)) {
            if (auto *values = qobject_cast<QValueAxis *>(axis); values && values->max() == 100)
                QCOMPARE(values->labelFormat(), u"%.1f"_s);
        }
    }

    // Every target is replaced only once every new file is complete; a failure leaves all of
    // them as they were and no temporary file behind.
    void replaceOnlyWhenComplete_data()
    {
        QTest::addColumn<bool>("xlsxFolderMissing");
        QTest::addColumn<bool>("sameFileTwice");
        QTest::newRow("all written") << false << false;
        QTest::newRow("the workbook's folder is missing") << true << false;
        QTest::newRow("one file named twice") << false << true;
    }
    void replaceOnlyWhenComplete()
    {
        QFETCH(bool, xlsxFolderMissing);
        QFETCH(bool, sameFileTwice);
        QTemporaryDir dir;
        const QString csv = dir.filePath(u"r.csv"_s), pdf = dir.filePath(u"r.pdf"_s);
        const QString xlsx = xlsxFolderMissing ? dir.filePath(u"gone/r.xlsx"_s)
                             : sameFileTwice   ? csv
                                               : dir.filePath(u"r.xlsx"_s);
        writeFile(csv, "old csv");
        writeFile(pdf, "old pdf");
        const Report report = reportOf(u"甲=一般*1"_s);
        const bool fails = xlsxFolderMissing || sameFileTwice;
        bool threw = false;
        try {
            exportReport(report, {csv, xlsx, pdf}, paintChart);
        } catch (const KioskError &e) {
            threw = true;
            QVERIFY(!e.message().isEmpty());
        }
        QCOMPARE(threw, fails);
        QCOMPARE(readFile(csv) == "old csv", fails);
        QCOMPARE(readFile(pdf) == "old pdf", fails);
        if (!fails) {
            QCOMPARE(readFile(csv), csvBytes(report));
            QVERIFY(readFile(pdf).startsWith("%PDF-"));
            QCOMPARE(QFile::permissions(csv) & QFile::ReadOther, QFile::ReadOther);
        }
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        const QStringList expected = fails ? QStringList{u"r.csv"_s, u"r.pdf"_s}
                                           : QStringList{u"r.csv"_s, u"r.pdf"_s, u"r.xlsx"_s};
        QCOMPARE(left, expected);
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
