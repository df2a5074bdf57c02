// The reasons of bad ratings on their way to the central server, against a real server the test
// starts itself: they arrive with their ratings, once, also when a batch is sent again or a
// rating is kept under a new number, and the daily counts the reports read agree with them.
#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "central/forwarder.h"
#include "central/reasonstatements.h"
#include "platform/error.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/centralcheck.h"
#include "support/pgserver.h"
#include "support/recorder.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString User = u"kiosk"_s;
const QString Password = u"Zentrale-7x"_s;
const QString Terminal = u"三号厅-2"_s;

// Runs statements on db.dll beside the kiosk, as staff or a killed forwarder would leave it.
QStringList onLocal(const QString &path, const QStringList &statements)
{
    return centralcheck::localRows(path, statements);
}

// Three ratings: two bad ones with reasons, a good one (which a kiosk never gives reasons).
QList<EvaluationRecord> ratings()
{
    return {{u"1号窗口  张三"_s,
             u"2026-12-08"_s,
             u"09:30:01"_s,
             u"非常不满意"_s,
             {u"等候时间太长"_s, u"业务不熟练"_s}},
            {u"2号窗口  李四"_s, u"2026-12-08"_s, u"09:31:00"_s, u"不满意"_s, {u"其他"_s}},
            {u"1号窗口  张三"_s, u"2026-12-08"_s, u"09:32:00"_s, u"非常满意"_s}};
}

} // namespace

class TestReasonForwarding : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgServer> m_server;
    std::unique_ptr<RecordingServices> m_services;
    int m_databases = 0;
    QString m_url;

    QStringList central(const QString &statement, const QVariantList &binds = {})
    {
        return centralcheck::centralRows(m_url, statement, binds);
    }

    // Each reason at the server with the content of the rating it belongs to.
    QStringList centralReasons()
    {
        return central(u"select e.名称, e.时间, e.综合评价, r.原因, e.原序号 is not null from "
                       "评价_原因 r join 评价 e on e.终端 = r.终端 and e.序号 = r.序号 "
                       "order by e.时间, r.原因"_s);
    }

    // The daily counts the reports read agree with the reasons themselves.
    void compareCounts()
    {
        const QVariantList range = {u"2026-01-01"_s, u"2026-12-31"_s};
        QCOMPARE(central(central::countPerNameAndReason(), range),
                 central(u"select e.名称, r.原因, count(*) from 评价_原因 r join 评价 e on "
                         "e.终端 = r.终端 and e.序号 = r.序号 where e.日期 >= ? and e.日期 <= ? "
                         "group by 1, 2 order by 1, 2"_s,
                         range));
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

    void init()
    {
        const QString name = u"reasons%1"_s.arg(++m_databases);
        QVERIFY2(m_server->createDatabase(name, User, Password), qPrintable(m_server->lastError()));
        m_url = m_server->url(User, Password, name);
        QSqlDatabase db = central::open(central::parseUrl(m_url), u"schema"_s);
        central::createSchema(db);
        central::close(db);
    }

    void forwarded_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("expected");
        const QStringList once = {u"1号窗口  张三|09:30:01|非常不满意|业务不熟练|false"_s,
                                  u"1号窗口  张三|09:30:01|非常不满意|等候时间太长|false"_s,
                                  u"2号窗口  李四|09:31:00|不满意|其他|false"_s};
        QTest::newRow("sent once") << u"none"_s << once;
        QTest::newRow("batch sent again") << u"resend"_s << once;
        // The server holds the first number under other content already: that rating is kept
        // under a new number, and its reasons with it.
        QTest::newRow("number held by another rating")
            << u"collision"_s
            << QStringList{u"1号窗口  张三|09:30:01|非常不满意|业务不熟练|true"_s,
                           u"1号窗口  张三|09:30:01|非常不满意|等候时间太长|true"_s,
                           u"2号窗口  李四|09:31:00|不满意|其他|false"_s};
        QTest::newRow("rating deleted at the server")
            << u"delete"_s << QStringList{u"2号窗口  李四|09:31:00|不满意|其他|false"_s};
    }
    void forwarded()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString db = dir.filePath(u"db.dll"_s);
        store::createDatabaseFile(db);
        auto module = std::make_unique<TDataModule3>(dir.path(), m_services->clock());
        module->setForwarding(Terminal);
        module->OpenConnection();
        for (const EvaluationRecord &r : ratings())
            module->Append(r);
        const QStringList outbox =
            onLocal(db, {u"select 序号,名称,日期,时间,综合评价 from 待上传 order by 序号"_s});
        QCOMPARE(outbox.size(), 3);
        QCOMPARE(onLocal(db, {u"select count(*) from 待上传_原因"_s}), QStringList{u"3"_s});
        if (fault == u"collision"_s) {
            central(u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values "
                    "(?, ?, '9号窗口  王五', '2026-12-01', '08:00:00', '一般') returning 1"_s,
                    {Terminal, outbox.first().section(u'|', 0, 0).toLongLong()});
        }
        const auto forwardAll = [&] {
            central::Link link(db, central::Config{m_url, Terminal}, m_services->clock());
            QTRY_COMPARE_WITH_TIMEOUT(
                onLocal(db, {statements::pendingCount(), u"select count(*) from 待上传_原因"_s}),
                (QStringList{u"0"_s, u"0"_s}), 15000);
        };
        forwardAll();
        if (fault == u"resend"_s) {
            // A forwarder killed after the server's commit, before the outbox was emptied.
            QStringList refill;
            for (const QString &row : outbox) {
                const QStringList f = row.split(u'|');
                refill << u"insert into 待上传 (序号,终端,名称,日期,时间,综合评价) values "
                          "(%1,'%2','%3','%4','%5','%6')"_s.arg(f[0], Terminal, f[1], f[2], f[3],
                                                                f[4]);
            }
            refill
                << u"insert into 待上传_原因 (序号, 原因) select e.序号, r.原因 from 评价_原因 r "
                   "join 评价 v on v.rowid = r.评价 join 待上传 e on e.时间 = v.时间"_s;
            onLocal(db, refill);
            QCOMPARE(onLocal(db, {u"select count(*) from 待上传_原因"_s}), QStringList{u"3"_s});
            forwardAll();
        }
        if (fault == u"delete"_s)
            central(u"delete from 评价 where 时间 = '09:30:01' returning 1"_s);
        QCOMPARE(centralReasons(), expected);
        QCOMPARE(central(u"select count(*) from 评价 where 终端 = ?"_s, {Terminal}),
                 QStringList{QString::number(fault == u"collision"_s ? 4
                                             : fault == u"delete"_s  ? 2
                                                                     : 3)});
        compareCounts();
    }
};

QTEST_GUILESS_MAIN(TestReasonForwarding)
#include "tst_reasonforwarding.moc"
