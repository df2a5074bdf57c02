// db.dll missing, broken, read-only or held by another process: start-up reports the engine's
// message, a rating ends in "评价失败！", the statistics window reports the engine's message, and
// nothing already stored is changed.
#include "evaluation/tform2.h"
#include "kiosk/forms.h"
#include "platform/errortext.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/rzbutton.h"
#include "stats/dbgrid.h"
#include "stats/tform4.h"
#include "store/tdatamodule3.h"
#include "support/dbcheck.h"
#include "support/recorder.h"
#include "support/runfolder.h"
#include "support/startup.h"

#include "store/resultpages.h"
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using runfolder::RunFolder;

namespace {

const QString Worker = QStringLiteral(KIOSK_HELPER);
const QString Failed = u"评价失败！"_s;
// The error box shows the engine's message after a Chinese explanation of what to do.
QString boxText(const QString &engine)
{
    return errortext::explained(engine) + u'.';
}
const QString Unopenable = boxText(u"unable to open database file"_s);
const QString NotADatabase = boxText(u"file is not a database"_s);
const QString NoTable = boxText(u"no such table: 评价"_s);
const QString ReadOnly = boxText(u"attempt to write a readonly database"_s);
const QString Locked = boxText(u"database is locked"_s);

const QList<QStringList> Seed = {
    {u"张三  一号窗口"_s, u"2024-03-01"_s, u"09:00:00"_s, u"非常满意"_s},
    {u"O'Brien  二号窗口"_s, u"2024-03-02"_s, u"10:30:00"_s, u"一般"_s},
    {u"李四  三号窗口"_s, u"2024-03-03"_s, u"16:45:10"_s, u"非常不满意"_s},
};

bool seed(const QString &path)
{
    store::createDatabaseFile(path);
    for (const QStringList &row : Seed) {
        const auto result = dbcheck::rows(
            path, u"insert into 评价 values ('%1','%2','%3','%4')"_s.arg(
                      QString(row[0]).replace(u'\'', u"''"_s), row[1], row[2], row[3]));
        if (!result.isEmpty())
            return false;
    }
    return true;
}

} // namespace

class TestBadDatabase : public QObject
{
    Q_OBJECT

private:
    StartupRun m_run;

private slots:
    void init()
    {
        QVERIFY(m_run.begin());
        QVERIFY(QFile::remove(m_run.folder->db()));
        QVERIFY(m_run.folder->writePhoto(u"0001@一号窗口#社保业务.jpg"_s, Qt::red));
        m_run.rec->setNow(QDateTime(QDate(2024, 3, 5), QTime(11, 0, 0)));
    }

    void cleanup() { m_run.end(); }

    void everyPathReportsAndKeepsTheData_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("startupErrors");
        QTest::addColumn<QString>("queryError"); // empty: the query shows the stored rows
        QTest::addColumn<QString>("clearError");

        QTest::newRow("missing") << u"missing"_s << QStringList{Unopenable, Unopenable}
                                 << Unopenable << Unopenable;
        QTest::newRow("empty file (0 bytes)")
            << u"empty"_s << QStringList{NoTable} << NoTable << NoTable;
        QTest::newRow("random bytes") << u"random"_s << QStringList{NotADatabase, NotADatabase}
                                      << NotADatabase << NotADatabase;
        QTest::newRow("a Jet database")
            << u"jet"_s << QStringList{NotADatabase, NotADatabase} << NotADatabase << NotADatabase;
        QTest::newRow("without table 评价")
            << u"notable"_s << QStringList{NoTable} << NoTable << NoTable;
        QTest::newRow("read-only (no write bits)")
            << u"readonly"_s << QStringList() << QString() << ReadOnly;
        QTest::newRow("held by another process beyond the wait")
            << u"locked"_s << QStringList() << QString() << Locked;
        QTest::newRow("removed after start-up")
            << u"removed"_s << QStringList() << Unopenable << Unopenable;
    }
    void everyPathReportsAndKeepsTheData()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, startupErrors);
        QFETCH(QString, queryError);
        QFETCH(QString, clearError);

        const QString db = m_run.folder->db();
        const bool seeded = kind == u"readonly" || kind == u"locked";
        QByteArray content;
        if (kind == u"random") {
            content.resize(8192);
            for (qsizetype i = 0; i < content.size(); ++i)
                content[i] = char((i * 7919 + 13) % 251);
        } else if (kind == u"jet") {
            content =
                QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(4076, '\x5a');
        }
        if (kind == u"empty" || !content.isEmpty())
            QVERIFY(runfolder::writeBytes(db, content));
        if (kind == u"notable") {
            store::createDatabaseFile(db);
            QVERIFY(dbcheck::rows(db, u"drop table 评价"_s).isEmpty());
            QVERIFY(dbcheck::rows(db, u"create table other (x TEXT)"_s).isEmpty());
            QVERIFY(dbcheck::rows(db, u"insert into other values ('kept')"_s).isEmpty());
        }
        if (seeded || kind == u"removed")
            QVERIFY(seed(db));
        if (kind == u"readonly")
            QVERIFY(
                QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = dbcheck::bytes(db);

        QProcess locker;
        if (kind == u"locked") {
            locker.start(Worker, {u"lock"_s, m_run.folder->root(), u"60000"_s});
            QVERIFY(locker.waitForReadyRead(20000));
            QCOMPARE(locker.readLine().trimmed(), QByteArray("locked"));
        }

        // Start-up. Past it, a lock is waited for only briefly: the lock below is held until the
        // end of the test, so what counts is that the wait ends in a refusal, not how long it is.
        CreateForms();
        QCOMPARE(m_run.rec->errors, startupErrors);
        DataModule3->setBusyTimeout(50);
        if (kind == u"removed")
            QVERIFY(QFile::remove(db));

        // A rating.
        m_run.rec->clearRecords();
        Form2->show();
        Form2->CnAALabel1->setText(u"王五  四号窗口"_s);
        Form2->Image3Click();
        Form2->RzButton1Click();
        QCOMPARE(m_run.rec->noticeTexts(), QStringList{Failed});
        QCOMPARE(m_run.rec->errors, QStringList());
        QVERIFY(Form2->isHidden());
        QVERIFY(!Form2->RzButton1->isEnabled());

        // The statistics window: the listing, then the clear (answered Yes).
        m_run.rec->clearRecords();
        Form4->show();
        // Showing brings the start-up result up to date: only a file lost since start-up fails.
        QCOMPARE(m_run.rec->errors, kind == u"removed" ? QStringList{Unopenable} : QStringList());
        m_run.rec->clearRecords();
        Form4->RzButton1->click();
        QCOMPARE(m_run.rec->errors, queryError.isEmpty() ? QStringList() : QStringList{queryError});
        if (queryError.isEmpty()) {
            QList<QStringList> listed = Seed; // ordered by name, then date
            std::sort(listed.begin(), listed.end());
            QCOMPARE(allRows(DataModule3->DataSource1()), listed);
        } else
            QCOMPARE(DataModule3->DataSource1()->rowCount(), 0);
        m_run.rec->clearRecords();
        m_run.rec->questionAnswers = {true};
        Form4->RzButton5->click();
        QCOMPARE(m_run.rec->questions.size(), 1);
        if (seeded) {
            // The rows are readable, so the archive is written; the delete itself then fails.
            QCOMPARE(m_run.rec->errors, QStringList{clearError});
        } else {
            // Nothing can be read for the archive, so nothing is deleted: the clear stops with
            // the reason.
            QCOMPARE(m_run.rec->errors, QStringList());
            QCOMPARE(m_run.rec->messages.size(), 1);
            QVERIFY2(m_run.rec->messages[0].startsWith(u"备份失败，数据未清除："_s),
                     qPrintable(m_run.rec->messages[0]));
        }
        Form4->hide();

        if (kind == u"locked") {
            locker.closeWriteChannel();
            QVERIFY(locker.waitForFinished(20000));
            QCOMPARE(locker.exitCode(), 0);
        }

        // Nothing that was there is changed, nothing is created.
        if (kind == u"missing" || kind == u"removed") {
            QVERIFY(!QFile::exists(db));
        } else if (seeded) {
            QCOMPARE(dbcheck::integrity(db), u"ok"_s);
            QCOMPARE(dbcheck::table(db), Seed);
            if (kind == u"readonly")
                QCOMPARE(dbcheck::bytes(db), before);
        } else if (kind == u"notable") {
            QCOMPARE(dbcheck::integrity(db), u"ok"_s);
            QCOMPARE(dbcheck::rows(db, u"select x from other"_s), QList<QStringList>{{u"kept"_s}});
            QCOMPARE(dbcheck::rows(db, u"select count(*) from sqlite_master where name='评价'"_s),
                     QList<QStringList>{{u"0"_s}});
        } else {
            QCOMPARE(dbcheck::bytes(db), before);
        }
        // No journal with content is left beside the file (an empty one is harmless).
        if (!seeded && kind != u"notable") {
            QVERIFY(dbcheck::bytes(db + u"-wal"_s).isEmpty());
            QVERIFY(!QFile::exists(db + u"-journal"_s));
        }
    }

    // Staff copy db.dll alone while the kiosk runs (a backup, or to read it elsewhere): the copy
    // holds every rating stored so far.
    void copyOfTheFileAloneIsComplete()
    {
        QVERIFY(seed(m_run.folder->db()));
        TDataModule3 module(m_run.folder->root(), m_run.rec->clock());
        module.OpenConnection();
        module.OpenStartupQuery();
        QList<QStringList> expected = Seed;
        for (int i = 0; i < 3; ++i) {
            const EvaluationRecord r{u"王五  %1号窗口"_s.arg(i), u"2024-03-05"_s, u"11:00:00"_s,
                                     u"一般"_s};
            module.Append(r);
            expected.append({r.name, r.date, r.time, r.grade});
        }
        // The log is emptied into db.dll a moment after the last rating.
        const QString copy = m_run.folder->path(u"backup.dll"_s);
        auto copied = [&] {
            QFile::remove(copy);
            QFile::copy(m_run.folder->db(), copy);
            return dbcheck::table(copy);
        };
        QTRY_COMPARE_WITH_TIMEOUT(copied(), expected, 5000);
        QCOMPARE(dbcheck::integrity(copy), u"ok"_s);
    }

    // Staff move db.dll away (to keep the year's ratings) and put an empty one in its place while
    // the kiosk runs: the moved file keeps every rating, and the new one gets only the new ones.
    void fileMovedAwayAndReplacedWhileRunning()
    {
        const QString db = m_run.folder->db();
        QVERIFY(seed(db));
        TDataModule3 module(m_run.folder->root(), m_run.rec->clock());
        module.OpenConnection();
        module.OpenStartupQuery();
        const EvaluationRecord old{u"王五  旧"_s, u"2024-03-05"_s, u"11:00:00"_s, u"一般"_s};
        module.Append(old);

        const QString archive = m_run.folder->path(u"2024.dll"_s);
        QVERIFY(QFile::rename(db, archive));
        const QString fresh = m_run.folder->path(u"fresh.dll"_s);
        store::createDatabaseFile(fresh);
        QVERIFY(QFile::rename(fresh, db));

        const EvaluationRecord next{u"赵六  新"_s, u"2024-03-06"_s, u"09:00:00"_s, u"非常满意"_s};
        module.Append(next);
        QCOMPARE(dbcheck::table(db),
                 (QList<QStringList>{{next.name, next.date, next.time, next.grade}}));
        QCOMPARE(dbcheck::integrity(db), u"ok"_s);
        QList<QStringList> archived = Seed;
        archived.append({old.name, old.date, old.time, old.grade});
        QCOMPARE(dbcheck::table(archive), archived);
        QCOMPARE(dbcheck::integrity(archive), u"ok"_s);
    }

    // A rating while another process holds the write lock: a lock that ends within the busy
    // wait is waited out and the rating stored; one that outlasts it refuses the rating and
    // leaves the file as it was. The lengths differ by far more than any machine's jitter, and
    // a wait that ignored its setting (5 s) would turn either row's outcome around.
    void lockAgainstTheBusyWait_data()
    {
        QTest::addColumn<int>("busyTimeoutMs");
        QTest::addColumn<int>("lockMs"); // 0: held until the test lets go
        QTest::addColumn<bool>("stored");
        QTest::newRow("lock of 1 s, wait of 10 min: waited out") << 600000 << 1000 << true;
        QTest::newRow("lock held on, wait of 0.1 s: refused") << 100 << 0 << false;
    }
    void lockAgainstTheBusyWait()
    {
        QFETCH(int, busyTimeoutMs);
        QFETCH(int, lockMs);
        QFETCH(bool, stored);
        QVERIFY(seed(m_run.folder->db()));
        CreateForms();
        QCOMPARE(m_run.rec->errors, QStringList());
        DataModule3->setBusyTimeout(busyTimeoutMs);
        QCOMPARE(DataModule3->busyTimeout(), busyTimeoutMs);
        Form2->show();
        Form2->CnAALabel1->setText(u"王五  四号窗口"_s);
        Form2->Image5Click();

        QProcess locker;
        locker.start(Worker,
                     {u"lock"_s, m_run.folder->root(), QString::number(lockMs ? lockMs : 600000)});
        QVERIFY(locker.waitForReadyRead(20000));
        QCOMPARE(locker.readLine().trimmed(), QByteArray("locked"));
        Form2->RzButton1Click();
        QCOMPARE(m_run.rec->noticeTexts(), QStringList{stored ? u"评价成功！谢谢。"_s : Failed});
        locker.closeWriteChannel();
        QVERIFY(locker.waitForFinished(20000));
        QCOMPARE(locker.exitCode(), 0);

        QList<QStringList> expected = Seed;
        if (stored)
            expected.append({u"王五  四号窗口"_s, u"2024-03-05"_s, u"11:00:00"_s, u"非常满意"_s});
        QCOMPARE(dbcheck::table(m_run.folder->db()), expected);
        QCOMPARE(dbcheck::integrity(m_run.folder->db()), u"ok"_s);
    }
};

QTEST_MAIN(TestBadDatabase)
#include "tst_baddatabase.moc"
