// Ratings survive a killed kiosk, and two kiosks can write the same db.dll at once.
#include "store/schema.h"
#include "support/dbcheck.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

const QString Worker = QStringLiteral(KIOSK_HELPER);

// Every complete line of a worker's output as a number; a cut last line does not count.
QList<qint64> reportedIds(const QByteArray &output)
{
    QList<qint64> ids;
    qsizetype start = 0;
    for (qsizetype nl = output.indexOf('\n'); nl >= 0; nl = output.indexOf('\n', start)) {
        bool ok = false;
        const qint64 id = output.mid(start, nl - start).toLongLong(&ok);
        if (ok)
            ids.append(id);
        start = nl + 1;
    }
    return ids;
}

// The ids of the rows named prefix-<id>.
QList<qint64> storedIds(const QString &db, const QString &prefix)
{
    QList<qint64> ids;
    const auto rows = dbcheck::rows(
        db, u"select 名称 from 评价 where 名称 like '%1-%' order by rowid"_s.arg(prefix));
    for (const QStringList &row : rows) {
        bool ok = false;
        const qint64 id = row.value(0).mid(prefix.size() + 1).toLongLong(&ok);
        ids.append(ok ? id : -1);
    }
    return ids;
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class TestDurability : public QObject
{
    Q_OBJECT

private slots:
    // A kiosk killed at any moment keeps every rating whose success it had reported, and the
    // file stays sound. KIOSK_KILLS sets the number of kills (make soak runs 500).
    void killedKioskKeepsReportedRatings()
    {
        const int kills = envInt("KIOSK_KILLS", 20);
        const quint32 seed = quint32(envInt("KIOSK_SEED", 1));
        qInfo("%d kills, seed %u (KIOSK_SEED reproduces the moments)", kills, seed);
        QRandomGenerator random(seed);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);

        qint64 expectedRows = 0;
        int killedWhileAppending = 0;
        for (int round = 0; round < kills; ++round) {
            const QString prefix = u"k%1"_s.arg(round);
            QProcess worker;
            worker.start(Worker, {u"append"_s, dir.path(), prefix, u"-1"_s});
            QVERIFY2(worker.waitForStarted(10000), qPrintable(worker.errorString()));

            // One kill in five comes at a random moment of start-up (opening the file, first
            // append); the others after a random number of milliseconds of appending.
            if (random.bounded(5) == 0) {
                QThread::msleep(random.bounded(40));
            } else {
                const QDeadlineTimer firstId(20000);
                while (!worker.canReadLine() && !firstId.hasExpired())
                    worker.waitForReadyRead(100);
                QVERIFY2(worker.state() == QProcess::Running,
                         worker.readAllStandardError().constData());
                QThread::msleep(random.bounded(1, 60));
                ++killedWhileAppending;
            }
            worker.kill(); // SIGKILL: no handler, no clean-up runs
            QVERIFY(worker.waitForFinished(10000));
            QCOMPARE(worker.exitStatus(), QProcess::CrashExit);

            const QList<qint64> reported = reportedIds(worker.readAllStandardOutput());
            const QList<qint64> stored = storedIds(db, prefix);
            QCOMPARE(dbcheck::integrity(db), u"ok"_s);
            const QSet<qint64> storedSet(stored.cbegin(), stored.cend());
            QCOMPARE(storedSet.size(), stored.size()); // no rating twice
            for (qint64 id : reported)
                QVERIFY2(
                    storedSet.contains(id),
                    qPrintable(
                        u"round %1: rating %2 was reported stored but is missing"_s.arg(round).arg(
                            id)));
            // Nothing made up: at most the one rating whose commit ended just before the kill
            // had not been reported yet.
            const qint64 next = reported.isEmpty() ? 0 : reported.last() + 1;
            for (qint64 id : stored)
                QVERIFY2(id >= 0 && id <= next,
                         qPrintable(u"round %1: unexpected rating %2"_s.arg(round).arg(id)));
            expectedRows += stored.size();
        }
        QVERIFY(killedWhileAppending > 0);
        QCOMPARE(dbcheck::rows(db, u"select count(*) from 评价"_s),
                 QList<QStringList>{{QString::number(expectedRows)}});
        // The file is still a working database for the next kiosk.
        QProcess after;
        after.start(Worker, {u"append"_s, dir.path(), u"after"_s, u"3"_s});
        QVERIFY(after.waitForFinished(30000));
        QCOMPARE(after.exitCode(), 0);
        QCOMPARE(storedIds(db, u"after"_s), (QList<qint64>{0, 1, 2}));
        QCOMPARE(dbcheck::integrity(db), u"ok"_s);
    }

    // Two kiosks append to the same file at the same time: every rating of both is stored and
    // none fails (each waits while the other writes).
    void twoKiosksAppendAtOnce()
    {
        const int perKiosk = envInt("KIOSK_CONCURRENT_RATINGS", 500);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);

        QProcess first;
        QProcess second;
        first.start(Worker, {u"append"_s, dir.path(), u"A"_s, QString::number(perKiosk)});
        second.start(Worker, {u"append"_s, dir.path(), u"B"_s, QString::number(perKiosk)});
        QVERIFY(first.waitForFinished(180000));
        QVERIFY(second.waitForFinished(180000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        const QByteArray firstErrors = first.readAllStandardError();
        const QByteArray secondErrors = second.readAllStandardError();
        QVERIFY2(first.exitCode() == 0, firstErrors.constData());
        QVERIFY2(second.exitCode() == 0, secondErrors.constData());

        QList<qint64> all;
        for (qint64 i = 0; i < perKiosk; ++i)
            all.append(i);
        QCOMPARE(reportedIds(first.readAllStandardOutput()), all);
        QCOMPARE(reportedIds(second.readAllStandardOutput()), all);
        // Each kiosk's ratings in the order it stored them.
        QCOMPARE(storedIds(db, u"A"_s), all);
        QCOMPARE(storedIds(db, u"B"_s), all);
        QCOMPARE(dbcheck::rows(db, u"select count(*) from 评价"_s),
                 QList<QStringList>{{QString::number(2 * perKiosk)}});
        QCOMPARE(dbcheck::integrity(db), u"ok"_s);
    }
};

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
