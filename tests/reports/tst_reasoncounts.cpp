// The reason counts of the reports, from ratings stored as the rating dialog stores them: per
// name, how often each reason was chosen in the range, and the CSV section that carries them
// after the lines readers of the file already rely on.
#include "reports/exports.h"
#include "reports/reportsource.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Counts = QList<reports::NameReasonCount>;

namespace {

const QString Zhang = u"1号窗口  张三"_s;
const QString Li = u"2号窗口  李四"_s;

QList<EvaluationRecord> ratings()
{
    return {{Zhang, u"2026-12-01"_s, u"09:00:00"_s, u"非常不满意"_s, {u"等候时间太长"_s}},
            {Zhang, u"2026-12-02"_s, u"09:00:00"_s, u"不满意"_s, {u"等候时间太长"_s, u"其他"_s}},
            {Li, u"2026-12-02"_s, u"10:00:00"_s, u"非常不满意"_s, {u"业务不熟练"_s}},
            {Li, u"2026-12-03"_s, u"10:00:00"_s, u"一般"_s},
            {Zhang, u"2026-12-03"_s, u"11:00:00"_s, u"不满意"_s}};
}

} // namespace

class TestReasonCounts : public QObject
{
    Q_OBJECT

private slots:
    void countsFromStoredRows_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<bool>("deleteFirst"); // Ctrl+Delete on the first rating before
        QTest::addColumn<Counts>("expected");
        QTest::newRow("whole range")
            << QDate(2026, 12, 1) << QDate(2026, 12, 31) << false
            << Counts{
                   {Zhang, u"等候时间太长"_s, 2}, {Zhang, u"其他"_s, 1}, {Li, u"业务不熟练"_s, 1}};
        QTest::newRow("one day") << QDate(2026, 12, 2) << QDate(2026, 12, 2) << false
                                 << Counts{{Zhang, u"其他"_s, 1},
                                           {Zhang, u"等候时间太长"_s, 1},
                                           {Li, u"业务不熟练"_s, 1}};
        QTest::newRow("no reasons in range")
            << QDate(2026, 12, 3) << QDate(2026, 12, 3) << false << Counts{};
        QTest::newRow("a deleted rating takes its reasons")
            << QDate(2026, 12, 1) << QDate(2026, 12, 31) << true
            << Counts{
                   {Zhang, u"其他"_s, 1}, {Zhang, u"等候时间太长"_s, 1}, {Li, u"业务不熟练"_s, 1}};
    }
    void countsFromStoredRows()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(bool, deleteFirst);
        QFETCH(Counts, expected);
        RecordingServices services;
        QTemporaryDir dir;
        store::createDatabaseFile(dir.filePath(u"db.dll"_s));
        TDataModule3 module(dir.path(), services.clock());
        module.OpenConnection();
        for (const EvaluationRecord &r : ratings())
            module.Append(r);
        if (deleteFirst) {
            module.ShowListing(u"不限制"_s, u"不限制"_s, u"2026-12-01"_s, u"2026-12-01"_s);
            module.DeleteRow(0);
        }
        const reports::Counts counts =
            reports::readCountsFromFile(dir.filePath(u"db.dll"_s), from, to);
        const Counts rows = reports::reasonRows(counts.byReason);
        QCOMPARE(rows, expected);

        // The CSV keeps its header and lines; the reasons follow as a section of their own.
        reports::Report report =
            reports::makeReport(from, to, reports::Period::Day, counts.byName, counts.byDay, 1);
        const QByteArray without = reports::csvBytes(report);
        report.reasons = rows;
        const QByteArray with = reports::csvBytes(report);
        QVERIFY(with.startsWith(without));
        // The workbook has a sheet 差评原因 with one row per name and reason, only when any.
        const QString xlsx = dir.filePath(u"r.xlsx"_s);
        reports::exportReport(report, {{}, xlsx, {}});
        QProcess unzip;
        unzip.start(u"unzip"_s,
                    {u"-p"_s, xlsx, u"xl/workbook.xml"_s, u"xl/worksheets/sheet2.xml"_s});
        QVERIFY(unzip.waitForFinished());
        const QString parts = QString::fromUtf8(unzip.readAllStandardOutput());
        QCOMPARE(parts.contains(u"<sheet name=\"差评原因\""_s), !expected.isEmpty());
        QStringList numbers;
        for (const auto &m :
             QRegularExpression(u"<c r=\"C[0-9]+\"(?![^>]*t=)[^>]*><v>([^<]*)</v>"_s)
                 .globalMatch(parts))
            numbers << m.captured(1);
        QStringList expectedNumbers;
        for (const reports::NameReasonCount &r : expected)
            expectedNumbers << QString::number(r.count);
        QCOMPARE(numbers, expectedNumbers);
        if (expected.isEmpty()) {
            QCOMPARE(with, without);
            return;
        }
        QStringList section = {u""_s, u"差评原因"_s, u"名称,差评原因,次数"_s};
        for (const reports::NameReasonCount &r : expected)
            section << u"%1,%2,%3"_s.arg(r.name, r.reason).arg(r.count);
        QCOMPARE(QString::fromUtf8(with.mid(without.size())), section.join(u"\r\n"_s) + u"\r\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestReasonCounts)
#include "tst_reasoncounts.moc"
