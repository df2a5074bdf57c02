// The forwarder's thread against a real server, without any child process of this one: the
// server is the one the ctest fixture central_server started, its address in the file named by
// KIOSK_CENTRAL_FIXTURE. So this test also runs under ThreadSanitizer (make tsan), whose runtime
// cannot start children. Each row has a terminal of its own in the shared database.
#include "central/forwarder.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/centralcheck.h"
#include "support/recorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString LocalRatings = u"select 名称,日期,时间,综合评价 from 评价 order by rowid"_s;
const QString CentralRatings =
    u"select 名称,日期,时间,综合评价 from 评价 where 终端 = ? order by 序号"_s;
const QString LocalPins = u"select 日期,时间,事件,coalesce(说明,'') from 密码记录 order by 序号"_s;
const QString CentralPins =
    u"select 日期,时间,事件,coalesce(说明,'') from 密码记录 where 终端 = ? order by 序号"_s;

// The entries waiting in both outboxes of db.dll (a missing outbox holds none).
int waiting(const QString &db)
{
    int n = 0;
    for (const QString &outbox : {u"待上传"_s, u"待上传_密码记录"_s}) {
        if (!centralcheck::localRows(db, statements::tableExists(outbox)).isEmpty())
            n += centralcheck::localRows(db, u"select count(*) from "_s + outbox).value(0).toInt();
    }
    return n;
}

EvaluationRecord rating(int i)
{
    static const QStringList Grades = {u"非常满意"_s, u"比较满意"_s, u"一般"_s, u"不满意"_s,
                                       u"非常不满意"_s};
    return {u"%1号窗口  李%2"_s.arg(i % 5).arg(i % 3), u"2026-12-08"_s,
            QTime(8, 0).addSecs(i).toString(u"hh:mm:ss"_s), Grades.at(i % 5)};
}

PinLogRecord pinEvent(int i)
{
    return {u"2026-12-08"_s, QTime(12, 0).addSecs(i).toString(u"hh:mm:ss"_s),
            i % 2 ? u"密码正确"_s : u"密码错误"_s, i % 2 ? QString() : u"还剩4次"_s};
}

} // namespace

class TestForwarding : public QObject
{
    Q_OBJECT

    QString m_url;

private slots:
    void initTestCase()
    {
        const QString fixture = qEnvironmentVariable("KIOSK_CENTRAL_FIXTURE");
        QFile file(fixture + u"/url"_s);
        QVERIFY2(!fixture.isEmpty() && file.open(QIODevice::ReadOnly),
                 "no server: run through ctest, whose fixture central_server starts one");
        m_url = QString::fromUtf8(file.readAll()).trimmed();
        // As kiosk-mkdb --postgres makes it; a second run of the test finds it made already.
        QSqlDatabase db = central::open(central::parseUrl(m_url), u"schema"_s);
        central::createSchema(db);
        central::close(db);
    }

    // Everything stored reaches the server once and in order, in batches and with the PIN log,
    // and what staff see of the last arrival is stamped by the clock the link was given, read
    // on the forwarder's thread while this thread moves it; never by the program-wide clock.
    void forwarded_data()
    {
        QTest::addColumn<int>("ratings");
        QTest::addColumn<int>("pinEvents");
        QTest::newRow("one rating") << 1 << 0;
        QTest::newRow("a full batch and a part") << central::Forwarder::BatchRows + 7 << 0;
        QTest::newRow("ratings and the PIN log") << 3 << 4;
        QTest::newRow("the PIN log alone") << 0 << 3;
    }
    void forwarded()
    {
        QFETCH(int, ratings);
        QFETCH(int, pinEvents);
        const QString terminal = u"转发-%1"_s.arg(QString::fromUtf8(QTest::currentDataTag()));
        // What an earlier run against the same server left under this terminal goes first.
        for (const QString &table : {u"评价"_s, u"密码记录"_s})
            centralcheck::centralRows(m_url, u"delete from %1 where 终端 = ?"_s.arg(table),
                                      {terminal});
        // The window services' clock shows another day: a forwarder that read it would show it.
        RecordingServices services;
        services.setNow(QDateTime(QDate(2030, 1, 1), QTime(0, 0)));
        const auto clock = std::make_shared<TestClock>(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));

        QTemporaryDir dir;
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);
        TDataModule3 module(dir.path(), clock);
        module.setForwarding(terminal);
        module.OpenConnection();
        for (int i = 0; i < ratings; ++i)
            module.Append(rating(i));
        for (int i = 0; i < pinEvents; ++i)
            module.AppendPinEvent(pinEvent(i));

        central::Link link(db, central::Config{m_url, terminal}, clock);
        QTRY_VERIFY2_WITH_TIMEOUT(waiting(db) == 0, qPrintable(link.status().error), 60000);
        QCOMPARE(centralcheck::centralRows(m_url, CentralRatings, {terminal}),
                 centralcheck::localRows(db, LocalRatings));
        // The PIN log is made with its first entry.
        QCOMPARE(centralcheck::centralRows(m_url, CentralPins, {terminal}),
                 pinEvents ? centralcheck::localRows(db, LocalPins) : QStringList());
        QTRY_COMPARE(link.status().forwarded, qint64(ratings));
        QCOMPARE(link.status().lastArrived, ratings ? clock->now() : QDateTime());

        // Moved while the forwarder runs: the next arrival shows the new time.
        const QDateTime later(QDate(2026, 12, 9), QTime(7, 30));
        clock->set(later);
        module.Append(rating(ratings));
        QTRY_COMPARE_WITH_TIMEOUT(link.status().forwarded, qint64(ratings + 1), 60000);
        QCOMPARE(link.status().lastArrived, later);
        QCOMPARE(centralcheck::centralRows(m_url, CentralRatings, {terminal}),
                 centralcheck::localRows(db, LocalRatings));
        QVERIFY(link.status().error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestForwarding)
#include "tst_forwarding.moc"
