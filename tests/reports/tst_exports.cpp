// The report's files: the CSV byte for byte, the Excel workbook read back from its zip, the PDF's
// text read back with pdftotext, and files replaced only once every new one is complete.
#include "platform/error.h"
#include "reports/exports.h"
#include "reports/reportcharts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace reports;

namespace {

// "name=grade*count;..." into a report of December 2026.
Report reportOf(const QString &text)
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
    return makeReport(from, to, defaultPeriod(from, to), rows, days);
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
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty range") << QString() << QByteArray();
        QTest::newRow("one rating") << u"张明  综合受理=非常满意*1"_s
                                    << u"张明  综合受理,1,100.0,100.0,1,0,0,0,0\r\n"_s.toUtf8();
        QTest::newRow("a name with a comma and a quote, ranked")
            << u"1号窗口, \"综合\"=一般*2;李红=比较满意*1;李红=不满意*1"_s
            << u"\"1号窗口, \"\"综合\"\"\",2,60.0,0.0,0,0,2,0,0\r\n"
               "李红,2,55.0,50.0,0,1,0,1,0\r\n"_s.toUtf8();
        QTest::newRow("a line break in a name")
            << u"甲\n乙=比较满意*3"_s << u"\"甲\n乙\",3,80.0,100.0,0,3,0,0,0\r\n"_s.toUtf8();
    }
    void csv()
    {
        QFETCH(QString, counts);
        QFETCH(QByteArray, body);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.csv"_s);
        exportReport(reportOf(counts), {path, {}, {}});
        QCOMPARE(readFile(path), Bom + Header + body);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"r.csv"_s});
    }

    void xlsx_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QStringList>("numbers"); // cell values of the sheet, in order
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("chart");
        QTest::newRow("two names")
            << u"甲=非常满意*2;甲=一般*1;乙, \"丙\"=不满意*1"_s
            << QStringList{u"3"_s, u"86.7"_s, u"66.7"_s, u"2"_s, u"0"_s, u"1"_s, u"0"_s, u"0"_s,
                           u"1"_s, u"30"_s,   u"0"_s,    u"0"_s, u"0"_s, u"0"_s, u"1"_s, u"0"_s}
            << QStringList{u"甲"_s, u"乙, \"丙\""_s} << true;
        QTest::newRow("empty range: the header alone, no chart")
            << QString() << QStringList() << QStringList() << false;
    }
    void xlsx()
    {
        QFETCH(QString, counts);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, names);
        QFETCH(bool, chart);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.xlsx"_s);
        exportReport(reportOf(counts), {{}, path, {}});
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
        for (const QString &name : names)
            QVERIFY2(strings.contains(u">"_s + name + u"<"_s), qPrintable(name));
        // The header row is frozen and the score and rate cells have one decimal.
        QVERIFY(sheet.contains(u"<pane ySplit=\"1\""_s));
        if (!numbers.isEmpty()) {
            QVERIFY(QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/styles.xml"_s}))
                        .contains(u"formatCode=\"0.0\""_s));
        }
        QCOMPARE(listing.contains(u"xl/charts/chart1.xml"_s), chart);
        if (chart) {
            const QString xml =
                QString::fromUtf8(run(u"unzip"_s, {u"-p"_s, path, u"xl/charts/chart1.xml"_s}));
            QVERIFY(xml.contains(u"<c:barChart>"_s));
            QVERIFY2(xml.contains(u"'满意度报表'!$C$2:$C$%1"_s.arg(names.size() + 1)),
                     qPrintable(xml));
            QVERIFY(xml.contains(u"'满意度报表'!$A$2:$A$%1"_s.arg(names.size() + 1)));
        }
    }

    void pdf_data()
    {
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("names, figures and charts")
            << u"一号窗口  社保业务=非常满意*2;一号窗口  社保业务=一般*1;张明=不满意*1;王五=满意*4"_s
            << QStringList{u"满意度报表"_s,
                           u"统计期间：2026-12-01 至 2026-12-31"_s,
                           u"评价 4 条，2 个名称，满意度得分 72.5，满意率 50.0%"_s,
                           u"另有 4 条评价的等级不是五个等级之一，未计入。"_s,
                           u"一号窗口 社保业务"_s,
                           u"张明"_s,
                           u"满意度得分"_s,
                           u"评价分布"_s,
                           u"趋势（按日）"_s,
                           u"排名"_s};
        QTest::newRow("empty range")
            << QString()
            << QStringList{u"满意度报表"_s, u"评价 0 条，0 个名称，满意度得分 0.0，满意率 0.0%"_s,
                           u"此期间没有评价。"_s};
    }
    void pdf()
    {
        QFETCH(QString, counts);
        QFETCH(QStringList, texts);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.pdf"_s);
        exportReport(reportOf(counts), {{}, {}, path}, paintChart);
        QVERIFY(readFile(path).startsWith("%PDF-"));
        bool ok = false;
        const QString text = QString::fromUtf8(run(u"pdftotext"_s, {path, u"-"_s}, &ok));
        QVERIFY2(ok, "pdftotext reads the file");
        // pdftotext joins runs of spaces; compare with single spaces.
        QString flat = text;
        flat.replace(QRegularExpression(u"[ \\t]+"_s), u" "_s);
        for (const QString &t : texts)
            QVERIFY2(flat.contains(t), qPrintable(t + u" not in: "_s + flat.left(600)));
        const QString info = QString::fromUtf8(run(u"pdfinfo"_s, {path}));
        QVERIFY2(info.contains(u"A4"_s), qPrintable(info));
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
