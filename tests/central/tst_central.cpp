// Forwarding to a central PostgreSQL server, against a real server the test starts itself: each
// fault ends with the central rows compared to the kiosks' own rows.
#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "central/forwarder.h"
#include "central/reasonstatements.h"
#include "platform/error.h"
#include "reports/figures.h"
#include "reports/reportsource.h"
#include "store/backup.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/centralcheck.h"
#include "support/pgserver.h"
#include "support/recorder.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString User = u"kiosk"_s;
const QString Password = u"Zentrale-7x"_s;

using centralcheck::localRows;
using centralcheck::rowsOf;

// The ratings of one db.dll in the order they were stored.
QStringList kioskRatings(const QString &databasePath)
{
    return localRows(databasePath, u"select 名称,日期,时间,综合评价 from 评价 order by rowid"_s);
}

qint64 outboxCount(const QString &databasePath)
{
    const QStringList rows = localRows(databasePath, statements::pendingCount());
    return rows.value(0).toLongLong();
}

EvaluationRecord rating(int i)
{
    static const QStringList Grades = {u"非常满意"_s, u"比较满意"_s, u"一般"_s, u"不满意"_s,
                                       u"非常不满意"_s};
    return {u"%1号窗口  O'Neil 张"_s.arg(i % 7),
            u"2024-03-%1"_s.arg(1 + i % 28, 2, 10, QChar(u'0')),
            u"09:%1:%2"_s.arg(i / 60 % 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')),
            Grades.at(i % 5)};
}

QString joined(const EvaluationRecord &r)
{
    return QStringList{r.name, r.date, r.time, r.grade}.join(u'|');
}

// One kiosk in a folder of its own, forwarding under its name.
struct Kiosk
{
    Kiosk(const QString &terminal, const QString &url) : config{url, terminal}
    {
        store::createDatabaseFile(db());
        module = std::make_unique<TDataModule3>(dir.path(), platform::services().clock());
        module->setForwarding(terminal);
        module->OpenConnection();
    }
    ~Kiosk()
    {
        link.reset();
        module.reset();
    }
    QString db() const { return dir.filePath(u"db.dll"_s); }
    void startForwarding()
    {
        link = std::make_unique<central::Link>(db(), config, platform::services().clock());
    }
    void append(int from, int to)
    {
        for (int i = from; i < to; ++i) {
            module->Append(rating(i));
            stored << joined(rating(i));
        }
    }
    central::Status status() const { return link ? link->status() : central::Status(); }

    QTemporaryDir dir;
    central::Config config;
    std::unique_ptr<TDataModule3> module;
    std::unique_ptr<central::Link> link;
    QStringList stored; // everything this kiosk stored, in order
};

} // namespace

class TestCentral : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PgServer> m_server;
    std::unique_ptr<RecordingServices> m_services;
    int m_databases = 0;
    QString m_url;

    // The rows of a statement in the current central database, on a connection of its own
    // (the server may have been restarted since the last look).
    QStringList central(const QString &statement, const QVariantList &binds = {})
    {
        return centralcheck::centralRows(m_url, statement, binds);
    }

    QStringList centralRatings(const QString &terminal)
    {
        return central(u"select 名称,日期,时间,综合评价 from 评价 where 终端 = ? order by 序号"_s,
                       {terminal});
    }
    int centralCount() { return central(u"select count(*) from 评价"_s).value(0).toInt(); }

    // The central rows of a kiosk are exactly the ratings it stored, once each and in order,
    // and the daily counts the reports read agree with the rows.
    void compareCentral(const QString &terminal, const QStringList &stored)
    {
        QCOMPARE(centralRatings(terminal), stored);
        QCOMPARE(central(u"select count(*) - count(distinct (终端, 序号)) from 评价"_s),
                 QStringList{u"0"_s});
        compareDailyCounts();
    }

    // The daily counts the reports read agree with the rows.
    void compareDailyCounts()
    {
        const QString direct =
            u"select coalesce(名称,''), coalesce(综合评价,''), count(*) "
            "from 评价 where 日期 >= ? and 日期 <= ? group by 1, 2 order by 1, 2"_s;
        const QVariantList range = {u"2015-05-13"_s, u"2026-12-31"_s};
        QCOMPARE(central(central::countPerNameAndGrade(), range), central(direct, range));
        // The reason counts leave out the reasons of the suspected repeats.
        const QString reasons =
            u"select coalesce(e.名称,''), r.原因, count(*) from 评价_原因 r join 评价 e "
            "on e.终端 = r.终端 and e.序号 = r.序号 where e.日期 >= ? and e.日期 <= ? "
            "and not exists (select 1 from 评价_疑似重复 m where m.终端 = r.终端 "
            "and m.序号 = r.序号) group by 1, 2 order by 1, 2"_s;
        QCOMPARE(central(central::countPerNameAndReason(), range), central(reasons, range));
    }

    // Starts a worker kiosk process.
    static void startWorker(QProcess &worker, const QString &dir, const QString &terminal,
                            const QString &url, int count)
    {
        worker.start(QStringLiteral(KIOSK_HELPER),
                     {u"forward"_s, dir, terminal, url, QString::number(count)});
    }

    // Every complete line of a worker's output as a number.
    static QList<qint64> reportedIds(const QByteArray &output)
    {
        QList<qint64> ids;
        for (const QByteArray &line : output.split('\n')) {
            bool ok = false;
            const qint64 id = line.toLongLong(&ok);
            if (ok)
                ids << id;
        }
        return ids;
    }

private slots:
    void initTestCase()
    {
        m_services = std::make_unique<RecordingServices>();
        m_services->setNow(QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
        m_server = std::make_unique<PgServer>();
        QVERIFY2(m_server->isValid(), qPrintable(m_server->lastError()));
        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
    }

    void cleanupTestCase() { m_server.reset(); }

    // Every test gets a running server and a new central database with the schema.
    void init()
    {
        if (!m_server->isRunning())
            QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        const QString name = u"central%1"_s.arg(++m_databases);
        QVERIFY2(m_server->createDatabase(name, User, Password), qPrintable(m_server->lastError()));
        m_url = m_server->url(User, Password, name);
        QSqlDatabase db = central::open(central::parseUrl(m_url), u"test-schema"_s);
        central::createSchema(db);
        central::close(db);
    }

    // kiosk-mkdb --postgres creates the table, key, indexes and daily counts; a second run
    // changes nothing, keeps the rows and never prints the password.
    void schemaTool()
    {
        const QString name = u"tool%1"_s.arg(++m_databases);
        QVERIFY(m_server->createDatabase(name, User, Password));
        const auto runTool = [](const QString &url) {
            QProcess tool;
            tool.start(QStringLiteral(MKDB_TOOL), {u"--postgres"_s, url});
            tool.waitForFinished(60000);
            const QString output =
                QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
            return std::pair{tool.exitCode(), output};
        };
        const QString catalogue =
            u"select string_agg(x, E'\\n' order by x) from ("
            "select 'column ' || table_name || '.' || column_name || ' ' || data_type || ' ' || "
            "is_nullable as x from information_schema.columns where table_schema = 'public' "
            "union all select 'index ' || indexdef from pg_indexes where schemaname = 'public' "
            "union all select 'trigger ' || pg_get_triggerdef(oid) from pg_trigger "
            "where not tgisinternal) s"_s;
        const QString url = m_server->url(User, Password, name);

        const auto [firstCode, firstOutput] = runTool(url);
        QVERIFY2(firstCode == 0, qPrintable(firstOutput));
        QVERIFY(!firstOutput.contains(Password));
        const QString before = m_server->psql(catalogue, name);
        QVERIFY2(before.contains(u"UNIQUE INDEX \"评价_终端_序号\""_s) &&
                     before.contains(u"column 评价.接收时间 timestamp with time zone NO"_s) &&
                     before.contains(u"column 评价_日计.数量 bigint NO"_s),
                 qPrintable(before));
        m_server->psql(u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values "
                       "('a', 1, 'n', '2024-01-01', '09:00:00', '一般')"_s,
                       name);

        const auto [secondCode, secondOutput] = runTool(url);
        QVERIFY2(secondCode == 0, qPrintable(secondOutput));
        QCOMPARE(m_server->psql(catalogue, name), before);
        QCOMPARE(m_server->psql(u"select 终端, 序号, 名称 from 评价"_s, name), u"a|1|n"_s);
        QCOMPARE(m_server->psql(u"select 数量 from 评价_日计"_s, name), u"1"_s);

        // A wrong password: refused, said in Chinese, the password never shown.
        const auto [wrongCode, wrongOutput] = runTool(m_server->url(User, u"Falsch-1234"_s, name));
        QCOMPARE(wrongCode, 1);
        QVERIFY2(wrongOutput.contains(u"用户名或密码错误"_s), qPrintable(wrongOutput));
        QVERIFY(!wrongOutput.contains(u"Falsch-1234"_s));
    }

    // kiosk-mkdb takes the address from a file too, and never shows the password, whatever
    // the shape of the address.
    void schemaToolAddress_data()
    {
        QTest::addColumn<QString>("address"); // "file:" + the file's line, or the URL
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("malformed: no colon after the scheme, doubled @ and :")
            << u"postgresql//kiosk:Ab@c:d%e f@@127.0.0.1::56432/x"_s << 1 << u"地址"_s;
        QTest::newRow("malformed: port that is no number")
            << u"postgresql://kiosk:Ab@c:d%e f@127.0.0.1:5x/x"_s << 1 << u"地址"_s;
        QTest::newRow("malformed: password where the port goes")
            << u"postgresql://127.0.0.1:Ab@c:d%e f/x"_s << 1 << u"地址"_s;
        QTest::newRow("from a file") << u"file:<url>"_s << 0 << u"中心数据库已就绪"_s;
        QTest::newRow("file missing") << u"file:"_s << 2 << u"无法读取中心数据库地址文件"_s;
    }
    void schemaToolAddress()
    {
        QFETCH(QString, address);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QStringList arguments = {u"--postgres"_s, address};
        if (address.startsWith(u"file:"_s)) {
            const QString path = dir.filePath(u"central.url"_s);
            if (address == u"file:<url>"_s) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(m_url.toUtf8() + "\n");
            }
            arguments = {u"--central-file"_s, path};
        }
        QProcess tool;
        tool.start(QStringLiteral(MKDB_TOOL), arguments);
        QVERIFY(tool.waitForFinished(60000));
        const QString output =
            QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
        QVERIFY2(tool.exitCode() == exitCode, qPrintable(output));
        QVERIFY2(output.contains(message), qPrintable(output));
        for (const QString &secret : {u"Ab@c"_s, u"d%e f"_s, u"e f"_s, Password})
            QVERIFY2(!output.contains(secret), qPrintable(output));
    }

    // Each kiosk reports its state to table 终端状态, also with nothing to send; a central
    // database made before that table existed still takes the ratings.
    void reportsItsState_data()
    {
        QTest::addColumn<int>("ratings");
        QTest::addColumn<bool>("withoutTable");
        QTest::newRow("idle, nothing to send") << 0 << false;
        QTest::newRow("after sending") << 5 << false;
        QTest::newRow("older server without the table") << 5 << true;
    }
    void reportsItsState()
    {
        QFETCH(int, ratings);
        QFETCH(bool, withoutTable);
        if (withoutTable)
            QVERIFY2(m_server->psql(u"drop table 终端状态; select 'dropped'"_s,
                                    QUrl(m_url).path().mid(1)) == u"dropped"_s,
                     qPrintable(m_server->lastError()));
        Kiosk kiosk(u"三号厅-1"_s, m_url);
        kiosk.append(0, ratings);
        kiosk.startForwarding();
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0 && kiosk.status().connected, 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);
        if (withoutTable) {
            QTRY_VERIFY(kiosk.status().error.isEmpty());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            central(u"select 待发送 || '|' || 版本 || '|' || (可用空间 > 0) || '|' || "
                    "(now() - 最近联系 < interval '1 minute') from 终端状态 where 终端 = ?"_s,
                    {kiosk.config.terminal}),
            QStringList{u"0|1.0|true|true"_s}, 15000);
    }

    // The server is down when the kiosk starts: ratings wait, staff see why, and once the
    // server is started they all arrive, within the capped backoff.
    void serverDownAtStart()
    {
        QVERIFY(m_server->stop());
        Kiosk kiosk(u"一号厅-1"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 20);
        QTRY_VERIFY_WITH_TIMEOUT(kiosk.status().pending == 20 && !kiosk.status().error.isEmpty(),
                                 10000);
        QVERIFY(!kiosk.status().connected);
        QVERIFY2(kiosk.status().error.contains(u"服务器未运行"_s),
                 qPrintable(kiosk.status().error));
        QCOMPARE(kioskRatings(kiosk.db()), kiosk.stored);

        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0, 15000);
        // What staff see once the server took them.
        QTRY_COMPARE(kiosk.status().pending, 0);
        QVERIFY(kiosk.status().connected);
        QVERIFY(kiosk.status().error.isEmpty());
        QCOMPARE(kiosk.status().forwarded, 20);
        QCOMPARE(kiosk.status().lastArrived, m_services->now());
        compareCentral(kiosk.config.terminal, kiosk.stored);
        QCOMPARE(outboxCount(kiosk.db()), 0);
    }

    // The staff PIN log reaches the central table 密码记录 with the ratings, and also on its own
    // when no rating waits; each entry once, and the kiosk's outbox of it empties.
    void pinLogForwarded()
    {
        Kiosk kiosk(u"一号厅-9"_s, m_url);
        kiosk.append(0, 3);
        const QList<PinLogRecord> first = {
            {u"2026-12-08"_s, u"10:00:00"_s, u"密码错误"_s, u"还剩4次"_s},
            {u"2026-12-08"_s, u"10:00:05"_s, u"密码正确"_s, QString()}};
        for (const PinLogRecord &entry : first)
            kiosk.module->AppendPinEvent(entry);
        kiosk.startForwarding();
        const QString pinRows = u"select 日期,时间,事件,coalesce(说明,'') from 密码记录 "
                                "where 终端 = ? order by 序号"_s;
        QStringList expected = {u"2026-12-08|10:00:00|密码错误|还剩4次"_s,
                                u"2026-12-08|10:00:05|密码正确|"_s};
        QTRY_COMPARE_WITH_TIMEOUT(central(pinRows, {kiosk.config.terminal}), expected, 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);

        kiosk.module->AppendPinEvent({u"2026-12-08"_s, u"11:00:00"_s, u"锁定"_s, u"1分钟"_s});
        expected.append(u"2026-12-08|11:00:00|锁定|1分钟"_s);
        QTRY_COMPARE_WITH_TIMEOUT(central(pinRows, {kiosk.config.terminal}), expected, 15000);
        QTRY_COMPARE(localRows(kiosk.db(), u"select count(*) from 待上传_密码记录"_s),
                     QStringList{u"0"_s});
        // The kiosk's own log keeps every entry.
        QCOMPARE(localRows(kiosk.db(), u"select count(*) from 密码记录"_s), QStringList{u"3"_s});
    }

    // The server stops in the middle of a burst and comes back: nothing is lost or doubled.
    void serverStoppedDuringBurst()
    {
        Kiosk kiosk(u"一号厅-2"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 300);
        QTRY_VERIFY_WITH_TIMEOUT(centralCount() > 0, 10000);
        QVERIFY(m_server->stop());
        kiosk.append(300, 600);
        QTRY_VERIFY_WITH_TIMEOUT(!kiosk.status().error.isEmpty(), 10000);
        QVERIFY(kiosk.status().pending > 0);
        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0 && kiosk.status().error.isEmpty(),
                                 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);
        QCOMPARE(kioskRatings(kiosk.db()), kiosk.stored);
    }

    // A kiosk process killed with SIGKILL while it stores and forwards, many times over, then
    // started once more to finish: the central table holds every stored rating exactly once.
    void killedWhileSending()
    {
        QTemporaryDir dir;
        store::createDatabaseFile(dir.filePath(u"db.dll"_s));
        const QString terminal = u"二号厅-1"_s;
        // Kill moments (ms after the worker's first ratings reached the server), fixed so every
        // run is the same.
        const QList<int> moments = {0, 3, 7, 15, 25, 40, 60, 90, 5, 30};
        for (int round = 0; round < moments.size(); ++round) {
            QProcess worker;
            startWorker(worker, dir.path(), terminal, m_url, -1);
            QVERIFY2(worker.waitForStarted(10000), qPrintable(worker.errorString()));
            // Kill only once this worker's forwarder is sending: its ratings reach the server.
            const int before = centralCount();
            const QDeadlineTimer sending(30000);
            while (centralCount() <= before && !sending.hasExpired() &&
                   worker.state() == QProcess::Running)
                worker.waitForReadyRead(20);
            QVERIFY2(worker.state() == QProcess::Running,
                     worker.readAllStandardError().constData());
            QVERIFY2(centralCount() > before, "the worker never forwarded a rating");
            QDeadlineTimer pause(moments.at(round));
            while (!pause.hasExpired())
                worker.waitForReadyRead(int(pause.remainingTime()));
            worker.kill();
            QVERIFY(worker.waitForFinished(10000));
            QCOMPARE(worker.exitStatus(), QProcess::CrashExit);
        }

        QProcess finish;
        startWorker(finish, dir.path(), terminal, m_url, 0);
        QVERIFY(finish.waitForFinished(60000));
        QVERIFY2(finish.exitCode() == 0, finish.readAllStandardError().constData());
        const QStringList stored = kioskRatings(dir.filePath(u"db.dll"_s));
        QVERIFY(stored.size() > moments.size());
        compareCentral(terminal, stored);
    }

    // Three kiosks store and forward at the same time.
    void threeKiosksAtOnce()
    {
        QTemporaryDir dirs[3];
        QProcess workers[3];
        const int perKiosk = 300;
        for (int k = 0; k < 3; ++k) {
            store::createDatabaseFile(dirs[k].filePath(u"db.dll"_s));
            startWorker(workers[k], dirs[k].path(), u"三号厅-%1"_s.arg(k), m_url, perKiosk);
        }
        for (int k = 0; k < 3; ++k) {
            QVERIFY(workers[k].waitForFinished(90000));
            QVERIFY2(workers[k].exitCode() == 0, workers[k].readAllStandardError().constData());
            QCOMPARE(reportedIds(workers[k].readAllStandardOutput()).size(), perKiosk);
        }
        for (int k = 0; k < 3; ++k) {
            const QStringList stored = kioskRatings(dirs[k].filePath(u"db.dll"_s));
            QCOMPARE(stored.size(), perKiosk);
            compareCentral(u"三号厅-%1"_s.arg(k), stored);
        }
        QCOMPARE(centralCount(), 3 * perKiosk);
    }

    // Staff delete ratings locally before they were sent: one row with Ctrl+Delete, then all
    // with the clear. The central table still receives every rating once; a later clear
    // deletes nothing there.
    void localDeletionsBeforeSending()
    {
        QVERIFY(m_server->stop());
        Kiosk kiosk(u"四号厅-1"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 10);
        QTRY_VERIFY_WITH_TIMEOUT(kiosk.status().pending == 10 && !kiosk.status().error.isEmpty(),
                                 10000);
        kiosk.module->ShowAll();
        kiosk.module->DeleteRow(3);
        QCOMPARE(kioskRatings(kiosk.db()).size(), 9);
        kiosk.module->ClearAll(kiosk.db() + u".archive-1"_s);
        QCOMPARE(kioskRatings(kiosk.db()), QStringList());
        QCOMPARE(outboxCount(kiosk.db()), 10);

        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0, 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);

        // After the clear the numbering goes on: new ratings are new central rows.
        kiosk.append(10, 15);
        QTRY_VERIFY2_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0 && centralCount() == 15,
                                  qPrintable(central::statusLine(kiosk.status())), 15000);
        kiosk.module->ClearAll(kiosk.db() + u".archive-2"_s);
        QCOMPARE(centralCount(), 15);
        compareCentral(kiosk.config.terminal, kiosk.stored);
    }

    // Staff replace db.dll by an empty one: the new file's numbers start above the old one's,
    // so its ratings are not taken for ones the server already holds.
    void replacedDatabaseFile()
    {
        Kiosk kiosk(u"五号厅-1"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 5);
        QTRY_VERIFY_WITH_TIMEOUT(centralCount() == 5 && outboxCount(kiosk.db()) == 0, 15000);

        // Staff move the file away with its -wal and -shm, as the kiosk's message asks (while a
        // connection is open, the log stays beside the name and a new db.dll is refused).
        for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s}) {
            if (QFile::exists(kiosk.db() + suffix))
                QVERIFY(
                    QFile::rename(kiosk.db() + suffix, kiosk.dir.filePath(u"old.dll"_s + suffix)));
        }
        store::createDatabaseFile(kiosk.db());
        m_services->setNow(m_services->now().addSecs(60));
        kiosk.append(5, 10);
        QTRY_VERIFY2_WITH_TIMEOUT(centralCount() == 10 && outboxCount(kiosk.db()) == 0,
                                  qPrintable(central::statusLine(kiosk.status())), 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);
    }

    // Staff put last night's copy back as db.dll after ratings went on reaching the server, and
    // the clock may have been set back meanwhile. Every new rating reaches the server: the
    // copy's numbers start above the ones it handed out, and where the clock was set back a
    // number the server holds under other content is kept under a new number and counted. The
    // same ratings sent again (a kill before the outbox was emptied) add nothing.
    void restoredBackup_data()
    {
        QTest::addColumn<int>("clockShiftSecs");
        QTest::addColumn<int>("renumbered");
        QTest::newRow("clock goes on") << 60 << 0;
        QTest::newRow("clock set back an hour") << -3600 << 5;
    }
    void restoredBackup()
    {
        QFETCH(int, clockShiftSecs);
        QFETCH(int, renumbered);
        const QDateTime started = m_services->now();
        Kiosk kiosk(u"八号厅-1"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 5);
        QTRY_VERIFY_WITH_TIMEOUT(centralCount() == 5 && outboxCount(kiosk.db()) == 0, 15000);
        const QString copy = backup::dailyPath(kiosk.dir.path(), started.date());
        QCOMPARE(backup::copyDatabase(kiosk.db(), copy), 5);
        kiosk.append(5, 10);
        QTRY_VERIFY_WITH_TIMEOUT(centralCount() == 10 && outboxCount(kiosk.db()) == 0, 15000);

        // The kiosk stops; db.dll and its -wal and -shm files give way to the copy.
        kiosk.link.reset();
        kiosk.module.reset();
        for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QFile::remove(kiosk.db() + suffix);
        QVERIFY(QFile::copy(copy, kiosk.db()));
        m_services->setNow(started.addSecs(clockShiftSecs));
        kiosk.module =
            std::make_unique<TDataModule3>(kiosk.dir.path(), platform::services().clock());
        kiosk.module->setForwarding(kiosk.config.terminal);
        kiosk.module->OpenConnection();
        kiosk.startForwarding();
        kiosk.append(10, 20);
        QTRY_VERIFY2_WITH_TIMEOUT(centralCount() == 20 && outboxCount(kiosk.db()) == 0,
                                  qPrintable(central::statusLine(kiosk.status())), 15000);
        m_services->setNow(started);
        QStringList expected = kiosk.stored;
        QStringList received = centralRatings(kiosk.config.terminal);
        expected.sort();
        received.sort();
        QCOMPARE(received, expected);
        const QString kept = u"select count(*) from 评价 where 原序号 is not null"_s;
        QCOMPARE(central(kept), QStringList{QString::number(renumbered)});
        QCOMPARE(kiosk.status().renumbered, renumbered);

        // Every rating sent once more under the number the kiosk gave it (the renumbered
        // content where a number was used twice): nothing changes at the server.
        const QStringList sent =
            central(u"select coalesce(原序号, 序号), 名称, 日期, 时间, 综合评价 from 评价 "
                    "where 终端 = ? order by 原序号 is null, 序号"_s,
                    {kiosk.config.terminal});
        {
            QSqlDatabase local = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"resend"_s);
            local.setDatabaseName(kiosk.db());
            QVERIFY(local.open());
            for (const QString &row : sent) {
                const QStringList f = row.split(u'|');
                QSqlQuery insert(local);
                QVERIFY(insert.prepare(u"insert or ignore into 待上传 (序号, 终端, 名称, 日期, "
                                       "时间, 综合评价) values (?, ?, ?, ?, ?, ?)"_s));
                for (const QVariant &v : QVariantList{f.at(0).toLongLong(), kiosk.config.terminal,
                                                      f.at(1), f.at(2), f.at(3), f.at(4)})
                    insert.addBindValue(v);
                QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
            }
            local.close();
        }
        QSqlDatabase::removeDatabase(u"resend"_s);
        kiosk.module->Append(rating(20));
        kiosk.stored << joined(rating(20));
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0, 15000);
        QCOMPARE(centralCount(), 21);
        QCOMPARE(central(kept), QStringList{QString::number(renumbered)});
        compareDailyCounts();
    }

    // Taps of one name, tap i at the kiosk i % kiosks, Start + i × stepMs: the marks reach the
    // server with their ratings, also when the server holds the numbers already under other
    // content (the ratings are kept under new numbers and the marks follow them), and survive
    // the batch being sent again. The figures over all kiosks leave them out.
    void repeatsForwarded_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("taps");
        QTest::addColumn<int>("stepMs");
        QTest::addColumn<int>("kiosks");
        QTest::addColumn<bool>("collide");
        QTest::addColumn<int>("marked");
        QTest::newRow("191 identical taps in a minute") << 10 << 191 << 310 << 1 << false << 190;
        QTest::newRow("switched off") << 0 << 191 << 310 << 1 << false << 0;
        QTest::newRow("two kiosks taking turns every 6 s") << 10 << 20 << 6000 << 2 << false << 0;
        QTest::newRow("numbers held with other content") << 10 << 6 << 1000 << 1 << true << 5;
    }
    void repeatsForwarded()
    {
        QFETCH(int, window);
        QFETCH(int, taps);
        QFETCH(int, stepMs);
        QFETCH(int, kiosks);
        QFETCH(bool, collide);
        QFETCH(int, marked);
        const QDateTime start(QDate(2026, 3, 2), QTime(9, 0));
        const QString name = u"3号窗口  综合受理"_s;
        std::vector<std::unique_ptr<Kiosk>> all;
        for (int k = 0; k < kiosks; ++k) {
            all.push_back(std::make_unique<Kiosk>(u"九号厅-%1"_s.arg(k + 1), m_url));
            all.back()->module->setRepeatSeconds(window);
        }
        if (collide) {
            // The numbers the kiosk is about to hand out, held with other content (a db.dll put
            // back from a backup while the clock was set back).
            const qint64 first = statements::outboxSequenceStart(m_services->now()) + 1;
            for (int i = 0; i < taps; ++i)
                QCOMPARE(central(u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) "
                                 "values (?, ?, '旧名称', '2026-03-01', '08:00:00', '一般') "
                                 "returning 1"_s,
                                 {all[0]->config.terminal, first + i}),
                         QStringList{u"1"_s});
        }
        for (int i = 0; i < taps; ++i) {
            const QDateTime at = start.addMSecs(qint64(i) * stepMs);
            // Bad ratings with a reason: a repeat's reason is left out with its grade.
            const EvaluationRecord r{name,
                                     at.toString(u"yyyy-MM-dd"_s),
                                     at.toString(u"hh:mm:ss"_s),
                                     u"非常不满意"_s,
                                     {u"等候时间太长"_s}};
            all[size_t(i % kiosks)]->module->Append(r);
        }
        for (auto &kiosk : all)
            kiosk->startForwarding();
        const QString ratingsOfName = u"select count(*) from 评价 where 名称 = ?"_s;
        QTRY_COMPARE_WITH_TIMEOUT(central(ratingsOfName, {name}),
                                  QStringList{QString::number(taps)}, 15000);
        const QString marks = u"select count(*), count(e.原序号) from 评价_疑似重复 m join 评价 e "
                              "on e.终端 = m.终端 and e.序号 = m.序号 where e.名称 = ?"_s;
        const QStringList expected = {u"%1|%2"_s.arg(marked).arg(collide ? marked : 0)};
        const QString markCounts =
            u"select coalesce(sum(数量), 0) from 评价_日计_疑似重复 where 名称 = ?"_s;
        const QString reasonCounts =
            u"select coalesce(sum(数量), 0) from 评价_原因_日计 where 名称 = ?"_s;
        for (int round = 0; round < 2; ++round) {
            for (auto &kiosk : all)
                QTRY_COMPARE_WITH_TIMEOUT(outboxCount(kiosk->db()), 0, 15000);
            QCOMPARE(central(marks, {name}), expected);
            QCOMPARE(central(markCounts, {name}), QStringList{QString::number(marked)});
            QCOMPARE(central(u"select count(*) from 评价_疑似重复"_s),
                     QStringList{QString::number(marked)});
            QCOMPARE(central(reasonCounts, {name}), QStringList{QString::number(taps - marked)});
            compareDailyCounts();

            const reports::Counts counts =
                reports::readCountsFromCentral(m_url, start.date(), start.date());
            reports::Report report = reports::makeReport(
                start.date(), start.date(), reports::Period::Day, counts.byName, counts.byDay, 1);
            report.suspectedRepeats = counts.suspectedRepeats;
            QCOMPARE(report.overall.ratings, taps - marked);
            QCOMPARE(reports::leftOutLines(report).join(u'\n').contains(
                         u"另有 %1 条疑似重复未计入"_s.arg(marked)),
                     marked > 0);
            if (round == 1)
                break;
            // Every rating and mark sent once more: nothing changes at the server.
            for (auto &kiosk : all) {
                kiosk->link.reset();
                QSqlDatabase local = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"resend"_s);
                local.setDatabaseName(kiosk->db());
                QVERIFY(local.open());
                const QStringList sent =
                    central(u"select coalesce(原序号, 序号), 名称, 日期, 时间, 综合评价, "
                            "exists (select 1 from 评价_疑似重复 m where m.终端 = e.终端 "
                            "and m.序号 = e.序号) from 评价 e where 终端 = ? and 名称 = ?"_s,
                            {kiosk->config.terminal, name});
                for (const QString &row : sent) {
                    const QStringList f = row.split(u'|');
                    QSqlQuery insert(local);
                    QVERIFY(insert.prepare(u"insert into 待上传 (序号, 终端, 名称, 日期, 时间, "
                                           "综合评价) values (?, ?, ?, ?, ?, ?)"_s));
                    for (const QVariant &v :
                         QVariantList{f.at(0).toLongLong(), kiosk->config.terminal, f.at(1),
                                      f.at(2), f.at(3), f.at(4)})
                        insert.addBindValue(v);
                    QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
                    if (f.at(5) == u"true"_s) {
                        QSqlQuery mark(local);
                        QVERIFY(mark.prepare(u"insert into 待上传_疑似重复 (序号) values (?)"_s));
                        mark.addBindValue(f.at(0).toLongLong());
                        QVERIFY2(mark.exec(), qPrintable(mark.lastError().text()));
                    }
                }
                local.close();
                local = QSqlDatabase();
                QSqlDatabase::removeDatabase(u"resend"_s);
                QCOMPARE(outboxCount(kiosk->db()), taps / kiosks);
                kiosk->startForwarding();
            }
        }
        QCOMPARE(central(ratingsOfName, {name}), QStringList{QString::number(taps)});

        // A mark taken away while its rating stays puts its reason back into the counts.
        central(u"delete from 评价_疑似重复 where (终端, 序号) in (select 终端, 序号 "
                "from 评价_疑似重复 order by 序号 limit 1)"_s);
        QCOMPARE(central(reasonCounts, {name}),
                 QStringList{QString::number(taps - marked + (marked > 0 ? 1 : 0))});
        compareDailyCounts();
        // A server whose counts still held the repeats' reasons gets them made anew, once.
        central(u"delete from 评价_计数版本"_s);
        central(u"update 评价_原因_日计 set 数量 = 数量 + 7"_s);
        {
            QSqlDatabase db = central::open(central::parseUrl(m_url), u"test-schema"_s);
            central::createSchema(db);
            central::close(db);
        }
        compareDailyCounts();

        // Ratings deleted at the server take their marks and the marks' counts with them.
        QCOMPARE(central(u"delete from 评价 where 名称 = ? returning 1"_s, {name}).size(), taps);
        QCOMPARE(central(u"select count(*) from 评价_疑似重复"_s), QStringList{u"0"_s});
        QCOMPARE(central(markCounts, {name}), QStringList{u"0"_s});
        QCOMPARE(central(reasonCounts, {name}), QStringList{u"0"_s});
        compareDailyCounts();
    }

    // What staff see is true at once: after a restart the last rating the server received
    // from this kiosk, and a rating just stored among those waiting, also while the forwarder
    // waits out a retry.
    void stateAsItIs()
    {
        Kiosk kiosk(u"九号厅-1"_s, m_url);
        kiosk.startForwarding();
        kiosk.append(0, 5);
        QTRY_VERIFY_WITH_TIMEOUT(centralCount() == 5 && outboxCount(kiosk.db()) == 0, 15000);
        const qint64 received =
            central(u"select floor(extract(epoch from max(接收时间)))::bigint from 评价"_s)
                .value(0)
                .toLongLong();

        kiosk.link.reset();
        kiosk.startForwarding();
        QTRY_VERIFY_WITH_TIMEOUT(kiosk.status().connected, 10000);
        QTRY_COMPARE(kiosk.status().lastArrived.toSecsSinceEpoch(), received);
        QVERIFY2(!central::statusLine(kiosk.status()).contains(u"尚无送达"_s),
                 qPrintable(central::statusLine(kiosk.status())));

        QVERIFY(m_server->stop());
        QTRY_VERIFY_WITH_TIMEOUT(!kiosk.status().error.isEmpty(), 15000);
        for (int i = 5; i < 8; ++i) {
            kiosk.append(i, i + 1);
            QCOMPARE(kiosk.status().pending, i - 4);
        }
        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0, 15000);
        QCOMPARE(kiosk.status().pending, 0);
        compareCentral(kiosk.config.terminal, kiosk.stored);
    }

    // A wrong password: ratings stay in the outbox, staff read what is wrong (never the
    // password), and after the password is put right everything arrives.
    void wrongPassword()
    {
        const QString wrong = u"Falsch-Geheim-42"_s;
        QString url = m_url;
        url.replace(Password, wrong);
        Kiosk kiosk(u"六号厅-1"_s, url);
        kiosk.startForwarding();
        kiosk.append(0, 5);
        QTRY_VERIFY_WITH_TIMEOUT(!kiosk.status().error.isEmpty(), 10000);
        const central::Status status = kiosk.status();
        QVERIFY2(status.error.contains(u"用户名或密码错误"_s), qPrintable(status.error));
        QVERIFY(!status.error.contains(wrong));
        QVERIFY(!central::statusLine(status).contains(wrong));
        QVERIFY(!status.connected);
        QCOMPARE(centralCount(), 0);
        QCOMPARE(outboxCount(kiosk.db()), 5);

        kiosk.link.reset();
        kiosk.config.url = m_url;
        kiosk.startForwarding();
        QTRY_VERIFY_WITH_TIMEOUT(outboxCount(kiosk.db()) == 0, 15000);
        compareCentral(kiosk.config.terminal, kiosk.stored);
    }

    // A port that accepts the connection and never answers: ratings are stored while the
    // forwarder waits on it (a submit never waits for the forwarder), and the attempt ends
    // with a timeout that staff see.
    void silentServer()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> accepted;
        connect(&silent, &QTcpServer::newConnection, &silent, [&] {
            while (QTcpSocket *socket = silent.nextPendingConnection())
                accepted << socket; // read nothing, answer nothing
        });
        const QString url =
            u"postgresql://%1:%2@127.0.0.1:%3/x"_s.arg(User, Password).arg(silent.serverPort());
        Kiosk kiosk(u"七号厅-1"_s, url);
        kiosk.startForwarding();
        QTRY_VERIFY_WITH_TIMEOUT(!accepted.isEmpty(), 10000);
        // The forwarder now waits on the silent server; storing goes on regardless.
        QVERIFY(kiosk.status().error.isEmpty());
        kiosk.append(0, 50);
        QCOMPARE(kioskRatings(kiosk.db()), kiosk.stored);
        QVERIFY(kiosk.status().error.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!kiosk.status().error.isEmpty(), 15000);
        QVERIFY2(kiosk.status().error.contains(u"超时"_s), qPrintable(kiosk.status().error));
        QVERIFY(!kiosk.status().error.contains(Password));
        QCOMPARE(outboxCount(kiosk.db()), 50);
        // Stopping the kiosk does not wait out another attempt's timeout.
        kiosk.link.reset();
    }
};

QTEST_GUILESS_MAIN(TestCentral)
#include "tst_central.moc"
