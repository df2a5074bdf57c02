#include "platform/error.h"
#include "store/database.h"
#include "store/engine.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool logFilesLeft(const QString &path)
{
    return QFileInfo::exists(path + u"-wal"_s) || QFileInfo::exists(path + u"-shm"_s);
}

// A file with table 评价 and one rating, in WAL mode or with the rollback journal.
QString ratingsFile(const QTemporaryDir &dir, bool wal)
{
    const QString path = dir.filePath(u"db.dll"_s);
    store::createDatabaseFile(path);
    store::Database db(path);
    store::run(db.handle(),
               u"insert into 评价 values ('张三', '2024-03-01', '09:00:00', '一般')"_s);
    if (!wal)
        store::firstValue(db.handle(), u"pragma journal_mode=DELETE"_s);
    return path;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    // A read-only open changes nothing of the file, and leaves no log files behind unless
    // another connection still has the file open.
    void readOnlyOpen_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::addColumn<bool>("otherOpen");
        QTest::newRow("WAL file, nobody else") << true << false;
        QTest::newRow("WAL file, another connection open") << true << true;
        QTest::newRow("rollback journal file") << false << false;
    }
    void readOnlyOpen()
    {
        QFETCH(bool, wal);
        QFETCH(bool, otherOpen);
        QTemporaryDir dir;
        const QString path = ratingsFile(dir, wal);
        QVERIFY(!logFilesLeft(path));
        std::unique_ptr<store::Database> other;
        if (otherOpen) {
            other = std::make_unique<store::Database>(path);
            QCOMPARE(store::firstValue(other->handle(), u"select count(*) from 评价"_s).toInt(), 1);
        }
        const QByteArray before = bytes(path);
        {
            store::Database reader(path, {.access = store::Access::ReadOnly});
            QVERIFY(reader.readOnly());
            QCOMPARE(reader.wal(), wal);
            QCOMPARE(store::firstValue(reader.handle(), u"select 名称 from 评价"_s).toString(),
                     u"张三"_s);
            QVERIFY_THROWS_EXCEPTION(KioskError,
                                     store::run(reader.handle(), u"delete from 评价"_s));
        }
        QCOMPARE(bytes(path), before);
        QCOMPARE(logFilesLeft(path), otherOpen);
        if (other) {
            // The other connection works on as before, and its own close tidies up.
            store::run(other->handle(), u"insert into 评价 (名称) values ('李四')"_s);
            QCOMPARE(store::firstValue(other->handle(), u"select count(*) from 评价"_s).toInt(), 2);
            other.reset();
            QVERIFY(!logFilesLeft(path));
        }
    }

    // Failures carry the engine's message and SQLite's result code; a missing file is never
    // created, and nothing stays registered.
    void openFailures_data()
    {
        QTest::addColumn<QString>("content"); // empty: no file
        QTest::addColumn<int>("access");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        const int rw = int(store::Access::ReadWrite);
        const int ro = int(store::Access::ReadOnly);
        QTest::newRow("missing, read-write")
            << QString() << rw << u"unable to open database file"_s << 14;
        QTest::newRow("missing, read-only")
            << QString() << ro << u"unable to open database file"_s << 14;
        QTest::newRow("not a database")
            << u"这不是数据库，只是一段文字。"_s.repeated(64) << rw << u"file is not a database"_s
            << store::EngineError::NotADatabase;
        QTest::newRow("not a database, read-only")
            << u"这不是数据库，只是一段文字。"_s.repeated(64) << ro << u"file is not a database"_s
            << store::EngineError::NotADatabase;
    }
    void openFailures()
    {
        QFETCH(QString, content);
        QFETCH(int, access);
        QFETCH(QString, message);
        QFETCH(int, code);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"db.dll"_s);
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content.toUtf8());
        }
        const QStringList connectionsBefore = QSqlDatabase::connectionNames();
        try {
            store::Database db(path, {.access = store::Access(access)});
            QFAIL("the open did not fail");
        } catch (const store::EngineError &e) {
            QCOMPARE(e.message(), message);
            QCOMPARE(e.code(), code);
        }
        QCOMPARE(QFileInfo::exists(path), !content.isEmpty());
        QVERIFY(!logFilesLeft(path));
        QCOMPARE(QSqlDatabase::connectionNames(), connectionsBefore);
    }

    // The options reach the engine: busy timeout, synchronous level, the switch to WAL.
    void options_data()
    {
        QTest::addColumn<int>("access");
        QTest::addColumn<int>("sync");
        QTest::addColumn<int>("busyTimeoutMs");
        QTest::addColumn<int>("expectedSync");    // 2 FULL, 1 NORMAL
        QTest::addColumn<QString>("journalMode"); // after the open of a rollback journal file
        const int rw = int(store::Access::ReadWrite);
        QTest::newRow("read-write, full, default wait")
            << rw << int(store::Sync::Full) << store::DefaultBusyTimeoutMs << 2 << u"wal"_s;
        QTest::newRow("read-write, normal, no wait")
            << rw << int(store::Sync::Normal) << 0 << 1 << u"wal"_s;
        QTest::newRow("read-only keeps the journal mode")
            << int(store::Access::ReadOnly) << int(store::Sync::Full) << 250 << 2 << u"delete"_s;
    }
    void options()
    {
        QFETCH(int, access);
        QFETCH(int, sync);
        QFETCH(int, busyTimeoutMs);
        QFETCH(int, expectedSync);
        QFETCH(QString, journalMode);
        QTemporaryDir dir;
        const QString path = ratingsFile(dir, false);
        store::Database db(path, {.access = store::Access(access),
                                  .busyTimeoutMs = busyTimeoutMs,
                                  .sync = store::Sync(sync)});
        QCOMPARE(store::firstValue(db.handle(), u"pragma busy_timeout"_s).toInt(), busyTimeoutMs);
        QCOMPARE(store::firstValue(db.handle(), u"pragma synchronous"_s).toInt(), expectedSync);
        QCOMPARE(store::firstValue(db.handle(), u"pragma journal_mode"_s).toString(), journalMode);
        QCOMPARE(db.wal(), journalMode == u"wal"_s);
        // Settling waits for no one and keeps the busy timeout as it was.
        db.settle();
        QCOMPARE(store::firstValue(db.handle(), u"pragma busy_timeout"_s).toInt(), busyTimeoutMs);
    }

    // Every open has a connection name of its own, also for the same file and purpose; a write
    // that finds the file locked fails with the engine's message and the busy code.
    void connectionsApart()
    {
        QTemporaryDir dir;
        const QString path = ratingsFile(dir, true);
        store::Database first(path, {.busyTimeoutMs = 0, .purpose = u"test"_s});
        store::Database second(path, {.busyTimeoutMs = 0, .purpose = u"test"_s});
        QVERIFY(first.connectionName() != second.connectionName());
        QVERIFY(first.connectionName().startsWith(u"test-"_s));
        store::run(first.handle(), u"begin immediate"_s);
        try {
            store::run(second.handle(), u"begin immediate"_s);
            QFAIL("the second writer was not refused");
        } catch (const KioskError &e) {
            QCOMPARE(e.message(), u"database is locked"_s);
        }
        store::run(first.handle(), u"commit"_s);
        store::run(second.handle(), u"begin immediate"_s);
        store::run(second.handle(), u"commit"_s);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
