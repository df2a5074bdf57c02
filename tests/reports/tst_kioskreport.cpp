// The command kiosk-report as a scheduled job runs it: the three files of a range, and for
// every bad input a Chinese message on standard error, exit status 2 and no file written.
#include "store/schema.h"
#include "store/statements.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run runReport(const QString &workDir, const QStringList &arguments,
              const QString &programDir = QString())
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    if (!programDir.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QUORVEL_KIOSK_DIR"_s, programDir);
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(KIOSK_REPORT), arguments);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

bool addRatings(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fill"_s);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery insert(db);
        ok = ok && insert.prepare(statements::appendRow());
        const QStringList rows = {u"一号窗口  社保业务|2026-12-02|非常满意"_s,
                                  u"张明, \"前台\"|2026-12-03|一般"_s,
                                  u"张明, \"前台\"|2026-12-04|比较满意"_s};
        for (const QString &row : rows) {
            const QStringList f = row.split(u'|');
            insert.addBindValue(f.at(0));
            insert.addBindValue(f.at(1));
            insert.addBindValue(u"10:00:00"_s);
            insert.addBindValue(f.at(2));
            ok = ok && insert.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"fill"_s);
    return ok;
}

} // namespace

class TestKioskReport : public QObject
{
    Q_OBJECT

private slots:
    // The minimum for a rank comes from the run folder's opt.ini, as in the report window.
    void writesTheThreeFiles_data()
    {
        QTest::addColumn<QByteArray>("minimum"); // paiming_zuishao; empty: no opt.ini
        QTest::addColumn<QString>("rows");
        QTest::newRow("no setting: fewer than 10 ratings are not ranked")
            << QByteArray()
            << u"\"张明, \"\"前台\"\"\",2,70.0,50.0,0,1,1,0,0\r\n"
               "一号窗口  社保业务,1,100.0,100.0,1,0,0,0,0\r\n\r\n"
               "评价 3 条，2 个名称，满意度得分 80.0，满意率 66.7%。\r\n"
               "2 个名称评价少于 10 条，标为样本不足，不排名，列在最后。\r\n"_s;
        QTest::newRow("minimum 1 ranks them")
            << QByteArray("1")
            << u"一号窗口  社保业务,1,100.0,100.0,1,0,0,0,0\r\n"
               "\"张明, \"\"前台\"\"\",2,70.0,50.0,0,1,1,0,0\r\n\r\n"
               "评价 3 条，2 个名称，满意度得分 80.0，满意率 66.7%。\r\n"_s;
    }
    void writesTheThreeFiles()
    {
        QFETCH(QByteArray, minimum);
        QFETCH(QString, rows);
        QTemporaryDir dir;
        store::createDatabaseFile(dir.filePath(u"db.dll"_s));
        QVERIFY(addRatings(dir.filePath(u"db.dll"_s)));
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));
        // db.dll of the current directory; no display needed.
        QTemporaryDir program;
        if (!minimum.isEmpty()) {
            QFile ini(program.filePath(u"opt.ini"_s));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[canshu]\r\npaiming_zuishao=" + minimum + "\r\n");
        }
        const Run r =
            runReport(dir.path(),
                      {u"--from"_s, u"2026-12-01"_s, u"--to"_s, u"2026-12-31"_s, u"--csv"_s,
                       u"out/r.csv"_s, u"--xlsx"_s, u"out/r.xlsx"_s, u"--pdf"_s, u"out/r.pdf"_s},
                      program.path());
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QStringList files = QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QCOMPARE(files, (QStringList{u"r.csv"_s, u"r.pdf"_s, u"r.xlsx"_s}));
        QFile csv(dir.filePath(u"out/r.csv"_s));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(
            csv.readAll(),
            QByteArray("\xEF\xBB\xBF") +
                (u"名称,评价数,满意度得分,满意率,非常满意,比较满意,一般,不满意,非常不满意\r\n"_s +
                 rows)
                    .toUtf8());
        QVERIFY(r.out.contains(u"已写入"_s));
    }

    // The command only reads: beside a database nobody has open it leaves no -wal or -shm file;
    // while the kiosk has it open, the kiosk's own files stay.
    void leavesNothingBehind_data()
    {
        QTest::addColumn<bool>("kioskOpen");
        QTest::newRow("nobody has it open") << false;
        QTest::newRow("the kiosk has it open") << true;
    }
    void leavesNothingBehind()
    {
        QFETCH(bool, kioskOpen);
        QTemporaryDir dir;
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);
        QVERIFY(addRatings(db));
        QSqlDatabase kiosk;
        if (kioskOpen) {
            kiosk = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"kiosk"_s);
            kiosk.setDatabaseName(db);
            QVERIFY(kiosk.open());
            QVERIFY(QSqlQuery(kiosk).exec(u"select count(*) from 评价"_s));
        }
        QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        const Run r = runReport(dir.path(), {u"--from"_s, u"2026-12-01"_s, u"--to"_s,
                                             u"2026-12-31"_s, u"--csv"_s, u"r.csv"_s});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.out.contains(u"已写入"_s));
        QStringList after = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        after.removeAll(u"r.csv"_s);
        QCOMPARE(after, before);
        QCOMPARE(before.contains(u"db.dll-wal"_s), kioskOpen);
        if (kioskOpen) {
            kiosk.close();
            kiosk = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"kiosk"_s);
        }
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("database"); // good, missing, garbage, notable, locked
        QTest::addColumn<QString>("message");

        const QStringList range = {u"--from"_s, u"2026-12-01"_s, u"--to"_s, u"2026-12-31"_s};
        const QStringList outputs = {u"--csv"_s,      u"out/r.csv"_s, u"--xlsx"_s,
                                     u"out/r.xlsx"_s, u"--pdf"_s,     u"out/r.pdf"_s};
        QTest::newRow("unknown option") << range + outputs + QStringList{u"--html"_s, u"x"_s}
                                        << u"good"_s << u"未知选项：--html"_s;
        QTest::newRow("option with = sign")
            << QStringList{u"--from=2026-12-01"_s} + outputs << u"good"_s << u"未知选项"_s;
        QTest::newRow("no arguments") << QStringList() << u"good"_s << u"缺少开始日期"_s;
        QTest::newRow("missing --to") << QStringList{u"--from"_s, u"2026-12-01"_s} + outputs
                                      << u"good"_s << u"缺少结束日期"_s;
        QTest::newRow("option without value")
            << range + QStringList{u"--csv"_s} << u"good"_s << u"缺少值"_s;
        QTest::newRow("option given twice")
            << range + outputs + QStringList{u"--to"_s, u"2026-12-30"_s} << u"good"_s
            << u"只能给一次"_s;
        for (const QString &bad : {u"2026-02-30"_s, u"2026-13-01"_s, u"2026-1-5"_s, u"20261205"_s,
                                   u"today"_s, u"2026-12-01x"_s, u" 2026-12-01"_s}) {
            QTest::addRow("from is no date: %s", qPrintable(bad))
                << QStringList{u"--from"_s, bad, u"--to"_s, u"2026-12-31"_s} + outputs << u"good"_s
                << u"开始日期不是有效日期"_s;
        }
        QTest::newRow("to is no date")
            << QStringList{u"--from"_s, u"2026-12-01"_s, u"--to"_s, u"2026-11-31"_s} + outputs
            << u"good"_s << u"结束日期不是有效日期"_s;
        QTest::newRow("to before from")
            << QStringList{u"--from"_s, u"2026-12-02"_s, u"--to"_s, u"2026-12-01"_s} + outputs
            << u"good"_s << u"早于开始日期"_s;
        QTest::newRow("no output file") << range << u"good"_s << u"没有要写的文件"_s;
        QTest::newRow("one file for two outputs")
            << range + QStringList{u"--csv"_s, u"out/r"_s, u"--pdf"_s, u"out/r"_s} << u"good"_s
            << u"同一个文件"_s;
        QTest::newRow("output folder missing")
            << range + QStringList{u"--csv"_s, u"out/r.csv"_s, u"--pdf"_s, u"gone/r.pdf"_s}
            << u"good"_s << u"输出文件夹不存在"_s;
        QTest::newRow("database missing")
            << range + outputs << u"missing"_s << u"找不到数据库文件"_s;
        QTest::newRow("database named by --db missing")
            << range + outputs + QStringList{u"--db"_s, u"elsewhere.dll"_s} << u"good"_s
            << u"找不到数据库文件：elsewhere.dll"_s;
        QTest::newRow("not a database") << range + outputs << u"garbage"_s << u"不是评价数据库"_s;
        QTest::newRow("no table 评价") << range + outputs << u"notable"_s << u"不是评价数据库"_s;
        QTest::newRow("locked longer than the busy wait")
            << range + outputs << u"locked"_s << u"锁定"_s;
    }
    void badInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, database);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString db = dir.filePath(u"db.dll"_s);
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));
        QSqlDatabase holder;
        if (database == u"good"_s || database == u"locked"_s) {
            store::createDatabaseFile(db);
            QVERIFY(addRatings(db));
        } else if (database == u"garbage"_s) {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(2048, 'q'));
        } else if (database == u"notable"_s) {
            {
                QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
                d.setDatabaseName(db);
                QVERIFY(d.open());
                QVERIFY(QSqlQuery(d).exec(u"create table other (x)"_s));
                d.close();
            }
            QSqlDatabase::removeDatabase(u"other"_s);
        }
        if (database == u"locked"_s) {
            // Another process writing to a rollback-journal database holds the file locked.
            holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
            holder.setDatabaseName(db);
            QVERIFY(holder.open());
            QVERIFY(QSqlQuery(holder).exec(u"pragma journal_mode=delete"_s));
            QVERIFY(QSqlQuery(holder).exec(u"begin exclusive"_s));
        }
        const Run r = runReport(dir.path(), arguments);
        if (holder.isValid()) {
            QSqlQuery(holder).exec(u"rollback"_s);
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"holder"_s);
        }
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.err.startsWith(u"kiosk-report："_s));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden), QStringList());
        QStringList top = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        top.removeAll(u"db.dll"_s);
        top.removeAll(u"db.dll-wal"_s);
        top.removeAll(u"db.dll-shm"_s);
        QCOMPARE(top, QStringList());
        if (database == u"missing"_s)
            QVERIFY(!QFile::exists(db));
    }
};

QTEST_GUILESS_MAIN(TestKioskReport)
#include "tst_kioskreport.moc"
