#include "platform/error.h"
#include "store/backup.h"
#include "store/schema.h"
#include "support/recorder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

int g_connection = 0;

// Runs statements on the file through a connection of the test's own.
qint64 exec(const QString &path, const QStringList &statements)
{
    const QString name = u"tst-backup-%1"_s.arg(++g_connection);
    qint64 last = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (!db.open())
            return -2;
        QSqlQuery q(db);
        for (const QString &s : statements) {
            if (!q.exec(s))
                return -3;
            if (q.next())
                last = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return last;
}

qint64 rowCount(const QString &path)
{
    return exec(path, {u"select count(*) from 评价"_s});
}

void addRows(const QString &path, int rows)
{
    QStringList statements{u"begin"_s};
    for (int i = 0; i < rows; ++i)
        statements.append(
            u"insert into 评价 values ('窗口%1  业务','2026-03-01','09:00:00','一般')"_s.arg(i));
    statements.append(u"commit"_s);
    QCOMPARE(exec(path, statements), -1);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void names();
    void copyKeepsEveryRow_data();
    void copyKeepsEveryRow();
    void copyRefused_data();
    void copyRefused();
    void pruneKeepsTheNewest();
    void dailyCopyOnceADay();
};

void TestBackup::names()
{
    const QDateTime at(QDate(2026, 3, 1), QTime(9, 5, 7));
    QCOMPARE(backup::clearArchivePath(u"/run"_s, at), u"/run/备份/清除前备份_20260301_090507.db"_s);
    QCOMPARE(backup::dailyPath(u"/run"_s, at.date()), u"/run/备份/每日备份_2026-03-01.db"_s);
}

void TestBackup::copyKeepsEveryRow_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("empty table") << 0;
    QTest::newRow("three rows") << 3;
    QTest::newRow("five thousand rows") << 5000;
}

void TestBackup::copyKeepsEveryRow()
{
    QFETCH(int, rows);
    QTemporaryDir dir;
    const QString db = dir.filePath(u"db.dll"_s);
    store::createDatabaseFile(db);
    addRows(db, rows);
    const QString target =
        backup::clearArchivePath(dir.path(), QDateTime(QDate(2026, 3, 1), QTime(9, 0)));

    QCOMPARE(backup::copyDatabase(db, target), qint64(rows));
    QCOMPARE(rowCount(target), qint64(rows));
    QCOMPARE(exec(target, {u"select count(*) from 评价 where 名称='窗口0  业务'"_s}),
             qint64(rows ? 1 : 0));
    // The source is unchanged and nothing but the copy was left in the folder.
    QCOMPARE(rowCount(db), qint64(rows));
    QCOMPARE(QDir(backup::folder(dir.path())).entryList(QDir::Files),
             QStringList{QFileInfo(target).fileName()});
}

void TestBackup::copyRefused_data()
{
    QTest::addColumn<QString>("broken");
    QTest::newRow("no database file") << u"missing"_s;
    QTest::newRow("not a database") << u"garbage"_s;
    QTest::newRow("no table 评价") << u"no table"_s;
    QTest::newRow("target exists") << u"target exists"_s;
    QTest::newRow("folder is a file") << u"folder is a file"_s;
}

void TestBackup::copyRefused()
{
    QFETCH(QString, broken);
    QTemporaryDir dir;
    const QString db = dir.filePath(u"db.dll"_s);
    const QString target = backup::dailyPath(dir.path(), QDate(2026, 3, 1));
    if (broken == u"garbage"_s) {
        writeFile(db, QByteArray(4096, '\x5a'));
    } else if (broken == u"no table"_s) {
        QCOMPARE(exec(db, {u"create table other (x)"_s}), -1);
    } else if (broken != u"missing"_s) {
        store::createDatabaseFile(db);
        addRows(db, 2);
    }
    if (broken == u"target exists"_s) {
        QVERIFY(QDir().mkpath(backup::folder(dir.path())));
        writeFile(target, "staff file");
    }
    if (broken == u"folder is a file"_s)
        writeFile(backup::folder(dir.path()), "in the way");
    const QByteArray before = QFileInfo::exists(db) ? [&] {
        QFile f(db);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }() : QByteArray();

    QVERIFY_THROWS_EXCEPTION(KioskError, backup::copyDatabase(db, target));
    // Nothing half written is left, a file that was there is kept, the source is untouched.
    QVERIFY(!QFileInfo::exists(target + u".part"_s));
    if (broken == u"target exists"_s) {
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("staff file"));
    } else {
        QVERIFY(!QFileInfo::exists(target));
    }
    if (broken == u"garbage"_s) {
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestBackup::pruneKeepsTheNewest()
{
    QTemporaryDir dir;
    const QString folder = backup::folder(dir.path());
    QVERIFY(QDir().mkpath(folder));
    const QDate first(2026, 1, 1);
    for (int i = 0; i < 35; ++i)
        writeFile(backup::dailyPath(dir.path(), first.addDays(i)), "x");
    writeFile(backup::clearArchivePath(dir.path(), QDateTime(first, QTime(8, 0))), "archive");
    writeFile(folder + u"/每日备份_说明.db"_s, "not a date");
    writeFile(folder + u"/自己的文件.txt"_s, "staff");

    QCOMPARE(backup::pruneDailyCopies(dir.path(), 30), 5);
    for (int i = 0; i < 35; ++i)
        QCOMPARE(QFileInfo::exists(backup::dailyPath(dir.path(), first.addDays(i))), i >= 5);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 33);
    QCOMPARE(backup::pruneDailyCopies(dir.path(), 30), 0);
}

void TestBackup::dailyCopyOnceADay()
{
    QTemporaryDir dir;
    RecordingServices services(dir.path(), dir.path());
    services.setNow(QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59)));
    store::createDatabaseFile(dir.filePath(u"db.dll"_s));
    addRows(dir.filePath(u"db.dll"_s), 4);

    DailyBackup daily(dir.path(), services.clock());
    QSignalSpy done(&daily, &DailyBackup::finished);
    QVERIFY(daily.runIfDue());
    // One copy at a time: a second check while it runs starts nothing.
    QVERIFY(!daily.runIfDue());
    QTRY_COMPARE(done.size(), 1);
    const QString expected = backup::dailyPath(dir.path(), QDate(2026, 3, 1));
    QCOMPARE(done.at(0).at(0).toString(), expected);
    QCOMPARE(rowCount(expected), qint64(4));

    // Today's copy exists: nothing more is due until the date changes.
    QVERIFY(!daily.runIfDue());
    services.setNow(services.now().addSecs(1));
    QVERIFY(daily.runIfDue());
    QTRY_COMPARE(done.size(), 2);
    QVERIFY(QFileInfo::exists(backup::dailyPath(dir.path(), QDate(2026, 3, 2))));
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
