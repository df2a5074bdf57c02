// The alert's way from a kiosk to the robot: 10 kiosks at once each store 20 bad ratings at a
// private, durable PostgreSQL (one insert statement each, as the forwarder sends a rating while
// the server is reachable); kiosk-alert turns each into a message to a recording robot on
// 127.0.0.1 (one robot per kiosk, so that no robot's limit of 20 a minute is reached).
// Measured per rating: from the start of the kiosk's insert to the robot's receipt; median and
// 99th percentile over the 200, beside the baseline of a bare insert plus NOTIFY round trip
// (insert and notify in one transaction, received by a listening connection) in the same run.
// Also: the repeat window, the time from the robot's answer to the commit that marks the alert
// sent, as the service logs it for each message; and the cost of the two triggers every central
// insert runs (the case opening 差评案件_开立 and the alert queue with its NOTIFY 告警_新评价):
// single-row inserts with them beside the same inserts with both disabled, in alternating
// blocks on one connection of the same run, for bad and for good ratings, with durable commits
// and with the commit not waiting for the disk (the statement's and the triggers' own work).
#include "benchsupport.h"

#include "support/pgserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int Kiosks = 10;
constexpr int PerKiosk = 20;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench_alert: %s\n", qPrintable(message));
    std::exit(1);
}

QElapsedTimer origin;

PGconn *connect(const QString &url)
{
    PGconn *conn = PQconnectdb(url.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK)
        fail(u"connect: %1"_s.arg(QString::fromUtf8(PQerrorMessage(conn))));
    return conn;
}

void run(PGconn *conn, const QString &sql)
{
    PGresult *r = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(u"%1: %2"_s.arg(sql.left(60), QString::fromUtf8(PQerrorMessage(conn))));
    PQclear(r);
}

int tool(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(KIOSK_ALERT), arguments);
    p.waitForFinished(60000);
    return p.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    origin.start();
    bench::printHeading(u"Alerts: a bad rating stored at the central server to the robot"_s);
    PgServer server(true);
    if (!server.isValid() || !server.start())
        fail(server.lastError());
    if (!server.createDatabase(u"bench_alert"_s, u"alert"_s, u"Bench-alert-1"_s))
        fail(server.lastError());
    const QString url = server.url(u"alert"_s, u"Bench-alert-1"_s, u"bench_alert"_s);

    // The baseline: a bare insert and NOTIFY in one transaction, to a listening connection.
    bench::Samples baseline;
    {
        PGconn *listener = connect(url), *writer = connect(url);
        run(writer, u"create table 基线 (n bigint)"_s);
        run(listener, u"listen 基线"_s);
        for (int i = 0; i < Kiosks * PerKiosk; ++i) {
            QElapsedTimer t;
            t.start();
            run(writer, u"begin; insert into 基线 values (%1); notify 基线; commit"_s.arg(i));
            bool got = false;
            while (!got) {
                pollfd fd{PQsocket(listener), POLLIN, 0};
                if (poll(&fd, 1, 10000) <= 0)
                    fail(u"no notification within 10 s"_s);
                PQconsumeInput(listener);
                while (PGnotify *n = PQnotifies(listener)) {
                    got = true;
                    PQfreemem(n);
                }
            }
            baseline.ms << t.nsecsElapsed() / 1e6;
        }
        PQfinish(listener);
        PQfinish(writer);
    }

    // The robots: one server, a path per kiosk; each message's receipt time by its case link.
    QTcpServer robot;
    robot.listen(QHostAddress::LocalHost, 0);
    QHash<QString, qint64> received; // "K3/17" -> ns since origin
    int digests = 0;
    QObject::connect(&robot, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *s = robot.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(s, &QTcpSocket::readyRead, [&, s, buffer] {
                *buffer += s->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                static const QRegularExpression length(u"(?i)content-length:\\s*(\\d+)"_s);
                const auto m = length.match(QString::fromLatin1(buffer->left(end)));
                if (end < 0 || !m.hasMatch() || buffer->size() < end + 4 + m.captured(1).toInt())
                    return;
                const qint64 now = origin.nsecsElapsed();
                static const QRegularExpression link(u"case\\?terminal=(K\\d+)&seq=(\\d+)"_s);
                const QString body = QString::fromUtf8(buffer->mid(end + 4));
                const auto l = link.match(body);
                if (l.hasMatch())
                    received.insert(l.captured(1) + u'/' + l.captured(2), now);
                else
                    ++digests;
                s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                         "27\r\nConnection: close\r\n\r\n{\"errcode\":0,\"errmsg\":\"ok\"}");
                s->disconnectFromHost();
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });

    const QStringList central{u"--central"_s, url};
    for (int k = 0; k < Kiosks; ++k) {
        const QString name = u"K%1"_s.arg(k);
        if (tool(central +
                 QStringList{u"--add-channel"_s, u"R"_s + name, u"--wecom"_s,
                             u"http://127.0.0.1:%1/%2"_s.arg(robot.serverPort()).arg(name)}) != 0 ||
            tool(central + QStringList{u"--add-rule"_s, u"bad"_s, u"--terminals"_s, name,
                                       u"--channel"_s, u"R"_s + name}) != 0)
            fail(u"kiosk-alert could not add the channels and rules"_s);
    }
    QProcess service;
    service.start(QStringLiteral(KIOSK_ALERT),
                  central + QStringList{u"--dashboard"_s, u"http://bench"_s});
    if (!service.waitForStarted())
        fail(u"kiosk-alert did not start"_s);
    // The service has made its schema and listens once it logged the connection.
    QByteArray serviceLog;
    QElapsedTimer wait;
    wait.start();
    while (!serviceLog.contains("已连接中心数据库") && wait.elapsed() < 30000) {
        service.waitForReadyRead(1000);
        serviceLog += service.readAllStandardError();
    }
    if (!serviceLog.contains("已连接中心数据库"))
        fail(u"kiosk-alert did not connect"_s);

    QMutex lock;
    QHash<QString, qint64> stored; // "K3/17" -> ns at the start of the insert
    std::vector<std::thread> kiosks;
    for (int k = 0; k < Kiosks; ++k) {
        kiosks.emplace_back([&, k] {
            PGconn *conn = connect(url);
            for (int i = 1; i <= PerKiosk; ++i) {
                const qint64 start = origin.nsecsElapsed();
                run(conn, u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values "
                          "('K%1', %2, '张三', '2026-01-05', '10:00:00', '非常不满意')"_s.arg(k)
                              .arg(i));
                QMutexLocker locked(&lock);
                stored.insert(u"K%1/%2"_s.arg(k).arg(i), start);
            }
            PQfinish(conn);
        });
    }
    QElapsedTimer deadline;
    deadline.start();
    while (received.size() + digests < Kiosks * PerKiosk && deadline.elapsed() < 180000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        serviceLog += service.readAllStandardError();
    }
    for (std::thread &t : kiosks)
        t.join();
    service.terminate();
    service.waitForFinished(10000);
    serviceLog += service.readAllStandardError();
    if (received.size() < Kiosks * PerKiosk)
        fail(u"only %1 of %2 alerts arrived as single messages (%3 digests)"_s.arg(received.size())
                 .arg(Kiosks * PerKiosk)
                 .arg(digests));

    bench::Samples latency;
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        latency.ms << (it.value() - stored.value(it.key())) / 1e6;
    bench::Samples window;
    static const QRegularExpression marked(u"标记已发送用时 ([0-9.]+) ms"_s);
    for (auto it = marked.globalMatch(QString::fromUtf8(serviceLog)); it.hasNext();)
        window.ms << it.next().captured(1).toDouble();

    bench::printFigure(u"bare insert + NOTIFY round trip (baseline)"_s, baseline);
    bench::printFigure(u"bad rating stored -> robot received, 10 kiosks x 20"_s, latency);
    std::printf("  p99 %.1f ms (baseline p99 %.2f ms)\n", latency.quantile(0.99),
                baseline.quantile(0.99));
    bench::printRatio(u"alert median / bare insert+notify median"_s,
                      latency.median() / baseline.median(), u"median <= 3 s, p99 <= 10 s"_s,
                      latency.median() <= 3000 && latency.quantile(0.99) <= 10000);
    bench::printFigure(u"repeat window: robot's answer -> sent-commit done"_s, window);
    std::printf("  p99 %.3f ms, max %.3f ms over %d messages\n", window.quantile(0.99),
                window.max(), int(window.ms.size()));

    // The triggers' cost, the service stopped: blocks of inserts with and without them in turn.
    {
        PGconn *conn = connect(url);
        constexpr int Blocks = 40, PerBlock = 25;
        int number = 0;
        const auto insertBlock = [&](const QString &grade, bench::Samples &into) {
            for (int i = 0; i < PerBlock; ++i) {
                QElapsedTimer t;
                t.start();
                run(conn, u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values "
                          "('触发器', %1, '李四', '2026-01-06', '10:00:00', '%2')"_s.arg(++number)
                              .arg(grade));
                into.ms << t.nsecsElapsed() / 1e6;
            }
        };
        const auto triggers = [&](bool on) {
            const QString verb = on ? u"enable"_s : u"disable"_s;
            run(conn,
                u"alter table 评价 %1 trigger 差评案件_开立, %1 trigger 告警_新评价"_s.arg(verb));
        };
        // Durable commits first (as a kiosk's insert waits), then without waiting for the disk,
        // where what is left of an insert is the work of the statement and its triggers.
        for (const auto &[grade, durable] :
             {std::pair{u"非常不满意"_s, true}, std::pair{u"非常满意"_s, true},
              std::pair{u"非常不满意"_s, false}, std::pair{u"非常满意"_s, false}}) {
            run(conn,
                durable ? u"set synchronous_commit = on"_s : u"set synchronous_commit = off"_s);
            bench::Samples with, without;
            for (int b = 0; b < Blocks; ++b) {
                triggers(b % 2 == 0);
                insertBlock(grade, b % 2 == 0 ? with : without);
            }
            triggers(true);
            const QString kind = u"%1, %2"_s.arg(grade == u"非常满意"_s ? u"good"_s : u"bad"_s,
                                                 durable ? u"synced"_s : u"not synced"_s);
            bench::printFigure(u"central insert (%1), no triggers"_s.arg(kind), without);
            bench::printFigure(u"central insert (%1), case + alert triggers"_s.arg(kind), with);
            bench::printRatio(u"insert with / without the triggers (%1)"_s.arg(kind),
                              with.median() / without.median(), u"(reference)"_s, true);
        }
        PQfinish(conn);
    }
    server.stop();
    return 0;
}
