// Suspected repeats at one kiosk: taps stored through the database module with the times a
// clock would give, then the report's counts read back from db.dll. Every rating stays in 评价;
// the marked ones leave the scores and are counted apart.
#include "reports/figures.h"
#include "reports/reportsource.h"
#include "store/backup.h"
#include "store/repeats.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime Start(QDate(2026, 3, 2), QTime(23, 59, 30));

qint64 rowCount(const QString &path, const QString &table)
{
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test-count"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(u"select count(*) from %1"_s.arg(table)) && q.next())
                n = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(u"test-count"_s);
    return n;
}

} // namespace

class TestRepeats : public QObject
{
    Q_OBJECT

private slots:
    void isRepeat_data()
    {
        QTest::addColumn<QString>("before"); // "yyyy-MM-dd hh:mm:ss"
        QTest::addColumn<QString>("now");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("repeat");
        QTest::newRow("same second") << "2026-03-02 09:00:00"
                                     << "2026-03-02 09:00:00" << 10 << true;
        QTest::newRow("9 s later") << "2026-03-02 09:00:00"
                                   << "2026-03-02 09:00:09" << 10 << true;
        QTest::newRow("10 s later is no longer") << "2026-03-02 09:00:00"
                                                 << "2026-03-02 09:00:10" << 10 << false;
        QTest::newRow("across midnight") << "2026-03-02 23:59:58"
                                         << "2026-03-03 00:00:03" << 10 << true;
        QTest::newRow("same time a day later") << "2026-03-02 09:00:00"
                                               << "2026-03-03 09:00:00" << 10 << false;
        QTest::newRow("clock set back") << "2026-03-02 09:00:05"
                                        << "2026-03-02 09:00:00" << 10 << false;
        QTest::newRow("switched off") << "2026-03-02 09:00:00"
                                      << "2026-03-02 09:00:00" << 0 << false;
        QTest::newRow("previous time no time") << "2026-03-02 9:00:00 "
                                               << "2026-03-02 09:00:00" << 10 << false;
        QTest::newRow("a day's window") << "2026-03-02 09:00:00"
                                        << "2026-03-03 08:59:59" << 86400 << true;
    }
    void isRepeat()
    {
        QFETCH(QString, before);
        QFETCH(QString, now);
        QFETCH(int, seconds);
        QFETCH(bool, repeat);
        QCOMPARE(
            repeats::isRepeat(before.left(10), before.mid(11), now.left(10), now.mid(11), seconds),
            repeat);
    }

    void secondsSetting_data()
    {
        QTest::addColumn<QString>("text"); // null: no such key
        QTest::addColumn<bool>("storable");
        QTest::addColumn<int>("seconds");
        QTest::newRow("no key") << QString() << false << 10;
        QTest::newRow("off") << u"0"_s << true << 0;
        QTest::newRow("blanks around") << u" 30 "_s << true << 30;
        QTest::newRow("a day") << u"86400"_s << true << 86400;
        QTest::newRow("above a day") << u"86401"_s << false << 10;
        QTest::newRow("negative") << u"-5"_s << false << 10;
        QTest::newRow("unit") << u"10s"_s << false << 10;
        QTest::newRow("full-width digits") << u"１０"_s << false << 10;
        QTest::newRow("empty") << u""_s << false << 10;
    }
    void secondsSetting()
    {
        QFETCH(QString, text);
        QFETCH(bool, storable);
        QFETCH(int, seconds);
        if (!text.isNull())
            QCOMPARE(repeats::isSecondsValue(text), storable);
        QCOMPARE(repeats::secondsSetting(text.isNull() ? std::nullopt : std::optional(text)),
                 seconds);
    }

    // Taps at one kiosk, tap i at Start + i × stepMs, rating name i % names with grade 非常不满意
    // and one reason, then what staff may do to the file before the report.
    void burst_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("taps");
        QTest::addColumn<int>("stepMs");
        QTest::addColumn<int>("names");
        QTest::addColumn<QString>("after"); // "", "delete marked", "clear", "backup"
        QTest::addColumn<int>("counted");
        QTest::addColumn<int>("marked");
        QTest::newRow("191 identical taps in a minute") << 10 << 191 << 310 << 1 << "" << 1 << 190;
        QTest::newRow("switched off") << 0 << 191 << 310 << 1 << "" << 191 << 0;
        QTest::newRow("two names taking turns every 6 s") << 10 << 20 << 6000 << 2 << "" << 20 << 0;
        QTest::newRow("one name every 9 s") << 10 << 12 << 9000 << 1 << "" << 1 << 11;
        QTest::newRow("one name every 10 s") << 10 << 12 << 10000 << 1 << "" << 12 << 0;
        QTest::newRow("a window of a minute") << 60 << 12 << 10000 << 1 << "" << 1 << 11;
        QTest::newRow("a marked rating deleted")
            << 10 << 5 << 1000 << 1 << "delete marked" << 1 << 3;
        QTest::newRow("all cleared") << 10 << 5 << 1000 << 1 << "clear" << 0 << 0;
        QTest::newRow("in the backup copy") << 10 << 30 << 1000 << 1 << "backup" << 1 << 29;
    }
    void burst()
    {
        QFETCH(int, window);
        QFETCH(int, taps);
        QFETCH(int, stepMs);
        QFETCH(int, names);
        QFETCH(QString, after);
        QFETCH(int, counted);
        QFETCH(int, marked);

        QTemporaryDir dir;
        RecordingServices services(dir.path(), dir.path());
        services.setNow(Start);
        QString path = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(path);
        {
            TDataModule3 module(dir.path(), services.clock());
            module.OpenConnection();
            module.setRepeatSeconds(window);
            for (int i = 0; i < taps; ++i) {
                const QDateTime at = Start.addMSecs(qint64(i) * stepMs);
                module.Append({u"%1号窗口  综合受理"_s.arg(i % names + 1),
                               at.toString(u"yyyy-MM-dd"_s),
                               at.toString(u"hh:mm:ss"_s),
                               u"非常不满意"_s,
                               {u"等候时间太长"_s}});
            }
            // Every tap is stored, marked or not.
            QCOMPARE(rowCount(path, u"评价"_s), taps);
            if (after == u"delete marked"_s) {
                module.ShowAll();
                module.DeleteRow(taps - 1);
            } else if (after == u"clear"_s) {
                module.ClearAll(dir.filePath(u"archive.db"_s));
            } else if (after == u"backup"_s) {
                const QString copy = dir.filePath(u"copy.db"_s);
                QCOMPARE(backup::copyDatabase(path, copy), taps);
                path = copy;
            }
        }

        const reports::Counts counts =
            reports::readCountsFromFile(path, Start.date(), Start.date().addDays(1));
        const reports::Report report = [&] {
            reports::Report r =
                reports::makeReport(Start.date(), Start.date().addDays(1), reports::Period::Day,
                                    counts.byName, counts.byDay, 1);
            r.suspectedRepeats = counts.suspectedRepeats;
            return r;
        }();
        QCOMPARE(report.overall.ratings, counted);
        QCOMPARE(counts.suspectedRepeats, marked);
        qint64 trendRatings = 0;
        for (const reports::TrendPoint &p : report.trend)
            trendRatings += p.figures.ratings;
        QCOMPARE(trendRatings, counted);
        // A repeat's reason is left out with its grade.
        qint64 reasons = 0;
        for (const auto &r : counts.byReason)
            reasons += r.count;
        QCOMPARE(reasons, counted);
        const QStringList lines = reports::leftOutLines(report);
        if (marked > 0)
            QCOMPARE(lines, QStringList{u"另有 %1 条疑似重复未计入。"_s.arg(marked)});
        else
            QVERIFY(lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRepeats)
#include "tst_repeats.moc"
