// The dashboard's central database at full size: 10,000,000 ratings of 100 kiosks over one
// year in a private PostgreSQL whose data folder is kept in the bench data folder (made once,
// with generate_series, in a few minutes; KIOSK_BENCH_ROWS sets another number of rows, for a
// quick try). Measured:
//   - the overview's statements for the whole year (counts per name and grade, per day and
//     grade) as kiosk-web reads them (whole months from 评价_月计, days from 评价_终端日计),
//     beside the same from the daily counts 评价_日计 alone and, as the baseline, from the
//     table 评价 itself;
//   - the overview as kiosk-web reads it with 20 clients at once, its 99th percentile;
//   - the 终端 page's statement (each kiosk's last rating received), grouped over the table and
//     as one look-up per kiosk in the key's index;
//   - when kiosk-web is built: the overview and the 终端 page through kiosk-web with wrk (20
//     connections, latency report), beside nginx serving a static file of the same size.
#include "benchsupport.h"

#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "central/centralstatements.h"
#include "platform/error.h"
#include "support/pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The number of ratings, 10 million unless KIOSK_BENCH_ROWS says otherwise.
qint64 rows()
{
    bool ok = false;
    const qint64 n = qEnvironmentVariable("KIOSK_BENCH_ROWS").toLongLong(&ok);
    return ok && n >= 1000 ? n : 10'000'000;
}
const qint64 Rows = rows();
const QString Database = u"bench_center"_s;

// The kept server, stopped cleanly also when the benchmark gives up.
PgServer *keptServer = nullptr;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench_center: %s\n", qPrintable(message));
    if (keptServer)
        keptServer->stop();
    std::exit(1);
}

// One client connection of its own.
class Client
{
public:
    explicit Client(const QByteArray &conninfo) : m_conn(PQconnectdb(conninfo.constData()))
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            fail(QString::fromUtf8(PQerrorMessage(m_conn)));
    }
    ~Client() { PQfinish(m_conn); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // Runs a statement with its values bound and reads every row; the number of rows.
    int run(const char *sql, const QList<QByteArray> &values = {})
    {
        std::vector<const char *> params;
        for (const QByteArray &v : values)
            params.push_back(v.constData());
        PGresult *res = PQexecParams(m_conn, sql, int(params.size()), nullptr, params.data(),
                                     nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            const QString message = QString::fromUtf8(PQresultErrorMessage(res));
            PQclear(res);
            fail(message);
        }
        const int rows = PQntuples(res);
        // Every value is read, as a page builder would.
        qint64 bytes = 0;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < PQnfields(res); ++c)
                bytes += PQgetlength(res, r, c);
        PQclear(res);
        return rows + int(bytes & 0);
    }

private:
    PGconn *m_conn;
};

// The overview of one year for all kiosks, the two statements of the reports library.
const char *const DailyByName = "select 名称,综合评价,sum(数量) from 评价_日计 where 日期>=$1 and "
                                "日期<=$2 group by 名称,综合评价";
const char *const DailyByDay = "select 日期,综合评价,sum(数量) from 评价_日计 where 日期>=$1 and "
                               "日期<=$2 group by 综合评价,日期";
const char *const RawByName = "select 名称,综合评价,count(*) from 评价 where 日期>=$1 and "
                              "日期<=$2 group by 名称,综合评价";
const char *const RawByDay = "select 日期,综合评价,count(*) from 评价 where 日期>=$1 and 日期<=$2 "
                             "group by 综合评价,日期";
// Each kiosk's last rating received: grouped over the whole table, and as kiosk-web reads it:
// the kiosks by skipping along the unique index (终端, 序号), one look-up each for its newest
// number (a kiosk's numbers only grow).
const char *const LastGrouped = "select 终端,max(接收时间),count(*) from 评价 group by 终端";
const char *const LastPerKiosk =
    "with recursive k(v) as (select min(终端) from 评价 union all "
    "select (select min(终端) from 评价 where 终端 > k.v) from k where k.v is not null) "
    "select k.v, (select 接收时间 from 评价 e where e.终端 = k.v order by 序号 desc limit 1) "
    "from k where k.v is not null";
const QList<QByteArray> Year = {"2025-01-01", "2025-12-31"};
// The same overview as kiosk-web reads it: whole months, and the days per kiosk.
const QByteArray MonthsByName =
    central::countsPerNameAndGradeByMonths(QDate(2025, 1, 1), QDate(2025, 12, 31), false).toUtf8();
const QByteArray TerminalDaysByDay =
    central::countsPerDayAndGradeOfTerminals(QDate(2025, 1, 1), QDate(2025, 12, 31), false)
        .toUtf8();

// The rows, made once: 100 kiosks in 10 halls, 14 names, the five grades and a few rows outside
// them, dates spread evenly over 2025. The daily counts are filled in one pass afterwards (the
// insert trigger is off meanwhile), as kiosk-mkdb does for existing rows.
void generate(const QByteArray &conninfo)
{
    bench::printNote(u"generating %1 central rows (kept for the next runs) ..."_s.arg(Rows));
    QElapsedTimer clock;
    clock.start();
    // The secondary indexes are made again afterwards by the schema's statements, which is
    // far quicker than keeping them up to date row by row; every trigger of the table is off
    // meanwhile (the daily counts are filled at the end in one pass).
    const QString sql =
        u"truncate 评价, 评价_日计;"
        "alter table 评价 disable trigger user;"
        "drop index if exists 评价_日期; drop index if exists 评价_接收时间;"
        "insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价, 接收时间) "
        "select (g % 100 / 10 + 1) || '号厅-' || (g % 100 + 1) || '号机', g, "
        "(array['1号窗口  综合业务','2号窗口  社保','3号窗口  医保','4号窗口  公积金',"
        "'5号窗口  税务','6号窗口  不动产','7号窗口  户籍','8号窗口  出入境','9号窗口  车管',"
        "'10号窗口  婚姻登记','张敏','李娜','王强','刘洋'])[g % 14 + 1], "
        "to_char(date '2025-01-01' + (g * 365 / %1)::int, 'YYYY-MM-DD'), "
        "to_char(time '08:00' + (g % 36000) * interval '1 second', 'HH24:MI:SS'), "
        "(array['非常满意','非常满意','非常满意','比较满意','比较满意','一般','不满意',"
        "'非常不满意','非常满意','比较满意','未评价'])[g % 11 + 1], "
        "timestamptz '2025-01-01 08:00+08' + (g * 365 / %1) * interval '1 day' "
        "from generate_series(0::bigint, %2) g;"
        "alter table 评价 enable trigger user;"
        "insert into 评价_日计 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(日期, ''), 终端, coalesce(名称, ''), coalesce(综合评价, ''), count(*) "
        "from 评价 group by 1, 2, 3, 4"_s.arg(Rows)
            .arg(Rows - 1);
    Client client(conninfo);
    client.run("set maintenance_work_mem = '256MB'");
    for (const QString &statement : sql.split(u';', Qt::SkipEmptyParts))
        client.run(statement.toUtf8().constData());
    bench::printNote(u"generated in %1 s"_s.arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
}

// count requests of body on each of clients threads at once; each request's milliseconds.
bench::Samples concurrent(int clients, int count, const QByteArray &conninfo,
                          const std::function<void(Client &)> &body)
{
    bench::Samples all;
    std::mutex lock;
    std::vector<std::thread> threads;
    for (int t = 0; t < clients; ++t) {
        threads.emplace_back([&] {
            Client client(conninfo);
            body(client); // warm-up, outside the figures
            QList<double> mine;
            for (int i = 0; i < count; ++i) {
                QElapsedTimer clock;
                clock.start();
                body(client);
                mine.append(double(clock.nsecsElapsed()) / 1e6);
            }
            const std::lock_guard guard(lock);
            all.ms += mine;
        });
    }
    for (auto &thread : threads)
        thread.join();
    return all;
}

void printP99(const QString &name, const bench::Samples &s)
{
    std::printf("  %-58s p99 %9.3f ms  median %9.3f   max %9.3f   (n=%lld)\n", qPrintable(name),
                s.quantile(0.99), s.median(), s.max(), static_cast<long long>(s.ms.size()));
    std::fflush(stdout);
}

// The machine's load average, printed beside the figures (on a shared machine the figures
// mean little without it).
void printLoad(const QString &when)
{
    QFile file(u"/proc/loadavg"_s);
    const QString load = file.open(QIODevice::ReadOnly)
                             ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2)
                             : u"unknown"_s;
    bench::printNote(u"load average (1, 5, 15 min) %1: %2"_s.arg(when, load));
}

// --- through kiosk-web, beside nginx -----------------------------------------------------------

// wrk's 99th percentile in milliseconds from its latency report; -1 when wrk failed.
double wrkP99(const QString &url, const QString &cookie, int seconds)
{
    QStringList args = {u"-t2"_s, u"-c20"_s, u"-d%1s"_s.arg(seconds), u"--latency"_s};
    if (!cookie.isEmpty())
        args += {u"-H"_s, u"Cookie: "_s + cookie};
    args.append(url);
    QProcess wrk;
    wrk.start(u"wrk"_s, args);
    if (!wrk.waitForFinished((seconds + 30) * 1000) || wrk.exitCode() != 0)
        return -1;
    const QString out = QString::fromUtf8(wrk.readAllStandardOutput());
    if (out.contains(u"Non-2xx"_s))
        fail(u"wrk got error answers from "_s + url + u"\n"_s + out);
    const QRegularExpressionMatch m = QRegularExpression(u"99%\\s+([0-9.]+)(us|ms|s)"_s).match(out);
    if (!m.hasMatch())
        return -1;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    return unit == u"us"_s ? v / 1000.0 : unit == u"s"_s ? v * 1000.0 : v;
}

// A private nginx serving one folder on the first free port of a range; its port, 0 if none.
int startNginx(const QString &dir, const QString &root)
{
    for (int port = 58600; port < 58700; ++port) {
        QFile conf(dir + u"/nginx.conf"_s);
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail(conf.errorString());
        conf.write(u"pid %1/nginx.pid; error_log %1/error.log; worker_processes 2;\n"
                   "events { worker_connections 256; }\n"
                   "http { access_log off; client_body_temp_path %1/body; proxy_temp_path "
                   "%1/proxy; fastcgi_temp_path %1/fcgi; uwsgi_temp_path %1/uwsgi; "
                   "scgi_temp_path %1/scgi; keepalive_requests 100000;\n"
                   "server { listen 127.0.0.1:%2; root %3; } }\n"_s.arg(dir)
                       .arg(port)
                       .arg(root)
                       .toUtf8());
        conf.close();
        if (QProcess::execute(u"nginx"_s, {u"-p"_s, dir, u"-c"_s, dir + u"/nginx.conf"_s}) == 0)
            return port;
    }
    return 0;
}

// kiosk-web over the central database: log in, measure the overview and the 终端 page with wrk,
// and nginx serving a file of the overview's size.
void throughKioskWeb(const QString &url)
{
#ifdef KIOSK_WEB
    bench::printHeading(
        u"Dashboard through kiosk-web: 20 connections (wrk), one year, 100 kiosks"_s);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(u"static"_s);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    const QString user = u"bench"_s, password = u"bench-passwort-1"_s;
    QProcess add;
    add.start(QStringLiteral(KIOSK_WEB),
              {u"--central"_s, url, u"--add-user"_s, user, u"--role"_s, u"admin"_s});
    add.write((password + u"\n"_s).toUtf8());
    add.closeWriteChannel();
    add.waitForFinished(30000); // an account left from the last run is kept
    // kiosk-web binds a port the system picks and prints it.
    QProcess web;
    web.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    web.start(QStringLiteral(KIOSK_WEB), {u"--central"_s, url, u"--listen"_s, u"127.0.0.1:0"_s});
    int port = 0;
    while (port == 0 && web.waitForReadyRead(30000)) {
        const QRegularExpressionMatch m = QRegularExpression(u"127\\.0\\.0\\.1:(\\d+)"_s)
                                              .match(QString::fromUtf8(web.readLine()));
        if (m.hasMatch())
            port = m.captured(1).toInt();
    }
    if (port == 0)
        fail(u"kiosk-web did not answer /healthz"_s);
    const QString base = u"http://127.0.0.1:%1"_s.arg(port);
    const QString jar = dir.filePath(u"cookies"_s);
    QProcess get;
    get.start(u"curl"_s, {u"-s"_s, u"-c"_s, jar, base + u"/login"_s});
    get.waitForFinished();
    const QString csrf = QRegularExpression(u"name=\"csrf\"[^>]*value=\"([^\"]+)\""_s)
                             .match(QString::fromUtf8(get.readAllStandardOutput()))
                             .captured(1);
    QProcess post;
    post.start(u"curl"_s,
               {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-b"_s, jar, u"-c"_s, jar, u"--data-urlencode"_s,
                u"name="_s + user, u"--data-urlencode"_s, u"password="_s + password,
                u"--data-urlencode"_s, u"csrf="_s + csrf, base + u"/login"_s});
    post.waitForFinished();
    QFile cookies(jar);
    QString cookie;
    if (cookies.open(QIODevice::ReadOnly))
        for (const QString &line : QString::fromUtf8(cookies.readAll()).split(u'\n'))
            if (line.contains(u"__Host-session"_s))
                cookie = u"__Host-session="_s + line.section(u'\t', -1);
    if (cookie.isEmpty())
        fail(u"no session after logging in to kiosk-web"_s);
    const QString overview = qEnvironmentVariable("KIOSK_BENCH_OVERVIEW",
                                                  u"/api/overview?from=2025-01-01&to=2025-12-31"_s);
    const QString terminals = qEnvironmentVariable("KIOSK_BENCH_TERMINALS", u"/api/terminals"_s);
    // The first answer reads the daily counts (as after every change of them); the others
    // are given again while the counts' change mark stands.
    QElapsedTimer firstClock;
    firstClock.start();
    QProcess page;
    page.start(u"curl"_s, {u"-sf"_s, u"-H"_s, u"Cookie: "_s + cookie, base + overview});
    page.waitForFinished(120000);
    const double firstMs = double(firstClock.elapsed());
    const QByteArray body = page.readAllStandardOutput();
    if (page.exitCode() != 0 || body.isEmpty())
        fail(u"the overview did not answer: "_s + base + overview);
    QFile same(dir.filePath(u"static/same-size.html"_s));
    if (!same.open(QIODevice::WriteOnly))
        fail(same.errorString());
    same.write(QByteArray(body.size(), 'x'));
    same.close();
    QFile::setPermissions(same.fileName(), QFile::ReadOwner | QFile::ReadOther);
    const int nginxPort = startNginx(dir.path(), dir.filePath(u"static"_s));
    if (nginxPort == 0)
        fail(u"nginx did not start"_s);
    const int seconds = bench::envInt("KIOSK_BENCH_WRK_SECONDS", 10);
    const double webP99 = wrkP99(base + overview, cookie, seconds);
    const double staticP99 =
        wrkP99(u"http://127.0.0.1:%1/same-size.html"_s.arg(nginxPort), {}, seconds);
    const double termP99 = wrkP99(base + terminals, cookie, seconds);
    printLoad(u"after the wrk runs"_s);
    QProcess::execute(u"nginx"_s, {u"-p"_s, dir.path(), u"-c"_s, dir.path() + u"/nginx.conf"_s,
                                   u"-s"_s, u"stop"_s});
    web.terminate();
    web.waitForFinished();
    std::printf("  %-58s %9.0f ms (curl, process start included)\n",
                "overview of one year, first answer after a change", firstMs);
    std::printf("  %-58s p99 %9.3f ms  (%lld bytes)\n", "overview of one year, kiosk-web", webP99,
                static_cast<long long>(body.size()));
    std::printf("  %-58s p99 %9.3f ms\n", "nginx, static file of the same size", staticP99);
    std::printf("  %-58s p99 %9.3f ms\n", "终端 page, 100 kiosks, kiosk-web", termP99);
    bench::printRatio(u"overview p99 / static file p99"_s, webP99 / staticP99, u"(150 ms p99)"_s,
                      webP99 <= 150);
    bench::printRatio(u"终端 page p99 / static file p99"_s, termP99 / staticP99, u"(100 ms p99)"_s,
                      termP99 <= 100);
#else
    Q_UNUSED(url);
    bench::printHeading(u"Dashboard through kiosk-web"_s);
    bench::printNote(u"kiosk-web is not built in this tree: the pages through kiosk-web and nginx "
                     "are not measured."_s);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bench::printHeading(
        u"Central database for the dashboard: %L1 ratings, 100 kiosks, one year"_s.arg(Rows));
    PgServer server(bench::dataDir() + u"/center-pg"_s);
    if (!server.isValid() || !server.start())
        fail(server.lastError());
    keptServer = &server;
    if (server.psql(u"select 1 from pg_database where datname='%1'"_s.arg(Database))
            .trimmed()
            .isEmpty() &&
        !server.createDatabase(Database, u"bench"_s, u"bench"_s))
        fail(server.lastError());
    const QString url = server.url(u"bench"_s, u"bench"_s, Database);
    const QByteArray conninfo =
        u"host=127.0.0.1 port=%1 dbname=%2 user=bench password=bench"_s.arg(server.port())
            .arg(Database)
            .toUtf8();
    // The schema's statements, also after generating (they make the indexes again), without
    // the kiosks' statement timeout.
    const auto schema = [&] {
        Client client(conninfo);
        client.run("begin");
        for (const QString &statement : central::schemaStatements())
            client.run(statement.toUtf8().constData());
        client.run("commit");
    };
    schema();
    const QString counted = server.psql(u"select count(*) from 评价"_s, Database).trimmed();
    if (counted != QString::number(Rows)) {
        generate(conninfo);
        QElapsedTimer clock;
        clock.start();
        schema();
        Client(conninfo).run("vacuum 评价");
        bench::printNote(u"indexes made and analysed in %1 s"_s.arg(
            double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    }

    // The planner's statistics, from a sample (quick also at full size).
    Client(conninfo).run("analyze 评价");
    Client(conninfo).run("analyze 评价_日计");
    Client(conninfo).run("analyze 评价_月计");
    Client(conninfo).run("analyze 评价_终端日计");

    printLoad(u"before the figures"_s);
    Client client(conninfo);
    const int runs = bench::envInt("KIOSK_BENCH_RUNS", 10);
    const bench::Samples months = bench::measure(
        runs,
        [&] {
            client.run(MonthsByName.constData());
            client.run(TerminalDaysByDay.constData());
        },
        {}, 1);
    const bench::Samples daily = bench::measure(
        std::max(3, runs / 3),
        [&] {
            client.run(DailyByName, Year);
            client.run(DailyByDay, Year);
        },
        {}, 1);
    const bench::Samples raw = bench::measure(
        std::max(3, runs / 3),
        [&] {
            client.run(RawByName, Year);
            client.run(RawByDay, Year);
        },
        {}, 1);
    bench::printFigure(u"overview of one year, monthly + per-kiosk daily counts"_s, months);
    bench::printFigure(u"the same from the daily counts 评价_日计 alone"_s, daily);
    bench::printFigure(u"the same from table 评价 (baseline)"_s, raw);
    bench::printRatio(u"monthly counts / daily counts alone"_s, months.median() / daily.median(),
                      u"< 1"_s, months.median() < daily.median());
    bench::printRatio(u"monthly counts / table 评价"_s, months.median() / raw.median(), u"< 1"_s,
                      months.median() < raw.median());

    const bench::Samples together =
        concurrent(20, bench::envInt("KIOSK_BENCH_REQUESTS", 3), conninfo, [](Client &c) {
            c.run(MonthsByName.constData());
            c.run(TerminalDaysByDay.constData());
        });
    printP99(u"overview from the monthly counts, 20 clients at once"_s, together);
    bench::printRatio(u"p99 with 20 clients / median alone"_s,
                      together.quantile(0.99) / months.median(), u"(first answer after a change)"_s,
                      true);

    const bench::Samples perKiosk = bench::measure(
        runs, [&] { client.run(LastPerKiosk); }, {}, 1);
    const bench::Samples grouped = bench::measure(
        std::max(3, runs / 3), [&] { client.run(LastGrouped); }, {}, 1);
    bench::printFigure(u"终端: last rating of 100 kiosks, one index look-up each"_s, perKiosk);
    bench::printFigure(u"the same grouped over table 评价 (baseline)"_s, grouped);
    bench::printRatio(u"look-ups / grouped"_s, perKiosk.median() / grouped.median(), u"< 1"_s,
                      perKiosk.median() < grouped.median());

    throughKioskWeb(url);
    return 0;
}
