// Forwarding to the central database, against a private PostgreSQL 15 server started here with
// its durable settings:
//  1. catching up 100,000 ratings waiting in the outbox of db.dll, from the forwarder's start to
//     an empty outbox; baseline: PostgreSQL's own COPY of the same rows into the same table;
//  2. a submit (TDataModule3::Append with its outbox entry) while the forwarder is busy
//     catching up, against a bare durable insert (WAL, synchronous=FULL, one transaction);
//  3. the reports over all kiosks (per name and grade, per grade) for one year with
//     10,000,000 central rows (ten kiosks, 200 names, every day of 550); for comparison the same
//     figures counted from the rows.
#include "benchsupport.h"

#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "central/forwarder.h"
#include "platform/error.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/pgserver.h"
#include "support/recorder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>

#include <libpq-fe.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString User = u"kiosk"_s;
const QString Password = u"bench-Passw0rd"_s;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_central: %s\n", qPrintable(what));
    std::exit(1);
}

EvaluationRecord rating(qint64 i)
{
    static const QStringList Grades = {u"非常满意"_s, u"比较满意"_s, u"一般"_s, u"不满意"_s,
                                       u"非常不满意"_s};
    const QDate day = QDate(2024, 1, 1).addDays(i % 366);
    return {bench::ratingName(int(i % bench::RatingNames)), day.toString(u"yyyy-MM-dd"_s),
            u"%1:%2:%3"_s.arg(8 + i / 3600 % 10, 2, 10, QChar(u'0'))
                .arg(i / 60 % 60, 2, 10, QChar(u'0'))
                .arg(i % 60, 2, 10, QChar(u'0')),
            Grades.at(int(i % 5))};
}

void exec(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        fail(statement + u": "_s + query.lastError().text());
}

// A db.dll whose outbox holds count ratings, written in one transaction.
void fillOutbox(const QString &path, const QString &terminal, qint64 count)
{
    store::createDatabaseFile(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-fill"_s);
        db.setDatabaseName(path);
        if (!db.open())
            fail(db.lastError().text());
        exec(db, u"begin"_s);
        for (const QString &statement : statements::createOutbox())
            exec(db, statement);
        QSqlQuery insert(db);
        insert.prepare(statements::appendOutbox());
        for (qint64 i = 0; i < count; ++i) {
            const EvaluationRecord r = rating(i);
            insert.addBindValue(terminal);
            insert.addBindValue(r.name);
            insert.addBindValue(r.date);
            insert.addBindValue(r.time);
            insert.addBindValue(r.grade);
            if (!insert.exec())
                fail(insert.lastError().text());
        }
        exec(db, u"commit"_s);
        db.close();
    }
    QSqlDatabase::removeDatabase(u"bench-fill"_s);
}

// Runs the event loop until the forwarder reports an empty outbox; milliseconds taken.
double waitUntilForwarded(central::Link &link, qint64 expected, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    const QDeadlineTimer deadline(timeoutMs);
    while (!(link.status().pending == 0 && link.status().forwarded >= expected)) {
        if (deadline.hasExpired())
            fail(u"forwarding did not finish: "_s + central::statusLine(link.status()));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

// PostgreSQL's own COPY of the same rows into the same table, through the client library.
double copyBaseline(const central::Connection &c, const QString &terminal, qint64 count)
{
    const QByteArray conninfo = u"host=%1 port=%2 dbname=%3 user=%4 password=%5"_s.arg(c.host)
                                    .arg(c.port)
                                    .arg(c.database, c.user, c.password)
                                    .toUtf8();
    PGconn *conn = PQconnectdb(conninfo.constData());
    if (PQstatus(conn) != CONNECTION_OK)
        fail(QString::fromUtf8(PQerrorMessage(conn)));
    QByteArray data;
    for (qint64 i = 0; i < count; ++i) {
        const EvaluationRecord r = rating(i);
        data +=
            (QStringList{terminal, QString::number(i + 1), r.name, r.date, r.time, r.grade}.join(
                 u'\t') +
             u'\n')
                .toUtf8();
    }
    QElapsedTimer clock;
    clock.start();
    PGresult *res = PQexec(conn, "copy 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) from stdin");
    if (PQresultStatus(res) != PGRES_COPY_IN)
        fail(QString::fromUtf8(PQerrorMessage(conn)));
    PQclear(res);
    if (PQputCopyData(conn, data.constData(), int(data.size())) != 1 ||
        PQputCopyEnd(conn, nullptr) != 1)
        fail(QString::fromUtf8(PQerrorMessage(conn)));
    res = PQgetResult(conn);
    if (PQresultStatus(res) != PGRES_COMMAND_OK)
        fail(QString::fromUtf8(PQerrorMessage(conn)));
    PQclear(res);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    PQfinish(conn);
    return ms;
}

QSqlDatabase connect(PgServer &server, const QString &name)
{
    if (!server.createDatabase(name, User, Password))
        fail(server.lastError());
    QSqlDatabase db = central::open(central::parseUrl(server.url(User, Password, name)), name);
    central::createSchema(db);
    return db;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RecordingServices services;
    PgServer server(/*durable=*/true);
    if (!server.isValid() || !server.start())
        fail(server.lastError());

    const qint64 pendingRatings = bench::envInt("KIOSK_CENTRAL_PENDING", 100000);
    const qint64 centralRows = bench::envInt("KIOSK_CENTRAL_ROWS", 10000000);

    // 1. Catching up.
    bench::printHeading(u"Central database: catching up %1 waiting ratings"_s.arg(pendingRatings));
    QTemporaryDir dir;
    const QString terminal = u"一号厅-1"_s;
    fillOutbox(dir.filePath(u"db.dll"_s), terminal, pendingRatings);
    QSqlDatabase target = connect(server, u"catchup"_s);
    double forwardMs = 0;
    {
        const central::Config config{server.url(User, Password, u"catchup"_s), terminal};
        central::Link link(dir.filePath(u"db.dll"_s), config, services.clock());
        forwardMs = waitUntilForwarded(link, pendingRatings, 600000);
    }
    QSqlQuery count(u"select count(*) from 评价"_s, target);
    count.next();
    if (count.value(0).toLongLong() != pendingRatings)
        fail(u"central table holds %1 rows"_s.arg(count.value(0).toLongLong()));
    count.finish();
    QSqlDatabase copyTarget = connect(server, u"copybaseline"_s);
    const double copyMs = copyBaseline(
        central::parseUrl(server.url(User, Password, u"copybaseline"_s)), terminal, pendingRatings);
    const double perSecond = double(pendingRatings) / (forwardMs / 1000.0);
    const double copyPerSecond = double(pendingRatings) / (copyMs / 1000.0);
    bench::printNote(u"forwarder: %1 ms, %2 ratings/s; COPY of the same rows: %3 ms, %4 rows/s"_s
                         .arg(forwardMs, 0, 'f', 0)
                         .arg(perSecond, 0, 'f', 0)
                         .arg(copyMs, 0, 'f', 0)
                         .arg(copyPerSecond, 0, 'f', 0));
    bench::printRatio(u"catch-up rate, ratings/s (COPY/forwarder time ratio %1)"_s.arg(
                          copyMs / forwardMs, 0, 'f', 2),
                      perSecond, u">= 5000 ratings/s"_s, perSecond >= 5000);

    // 2. A submit while the forwarder is busy.
    bench::printHeading(u"Central database: a submit while the forwarder catches up"_s);
    QTemporaryDir bareDir;
    store::createDatabaseFile(bareDir.filePath(u"db.dll"_s));
    QSqlDatabase bare = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-bare"_s);
    bare.setDatabaseName(bareDir.filePath(u"db.dll"_s));
    if (!bare.open())
        fail(bare.lastError().text());
    exec(bare, statements::synchronousFull());
    QSqlQuery bareInsert(bare);
    bareInsert.prepare(statements::appendRow());

    QTemporaryDir busyDir;
    const QString busyTerminal = u"一号厅-2"_s;
    fillOutbox(busyDir.filePath(u"db.dll"_s), busyTerminal, pendingRatings);
    connect(server, u"busy"_s);
    TDataModule3 module(busyDir.path(), services.clock());
    module.setForwarding(busyTerminal);
    module.OpenConnection();
    central::Link busyLink(busyDir.filePath(u"db.dll"_s),
                           {server.url(User, Password, u"busy"_s), busyTerminal}, services.clock());
    // Wait until the forwarder is really at work.
    while (busyLink.status().forwarded == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    bench::Samples bareSamples;
    bench::Samples busySamples;
    qint64 i = 0;
    const int runs = bench::envInt("KIOSK_CENTRAL_SUBMITS", 300);
    for (int run = 0; run < runs && busyLink.status().pending != 0; ++run) {
        const EvaluationRecord r = rating(pendingRatings + i++);
        QElapsedTimer clock;
        clock.start();
        exec(bare, statements::beginWrite());
        bareInsert.addBindValue(r.name);
        bareInsert.addBindValue(r.date);
        bareInsert.addBindValue(r.time);
        bareInsert.addBindValue(r.grade);
        if (!bareInsert.exec())
            fail(bareInsert.lastError().text());
        exec(bare, statements::commit());
        bareSamples.ms << double(clock.nsecsElapsed()) / 1e6;

        clock.restart();
        module.Append(r);
        busySamples.ms << double(clock.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
    }
    const bool stillBusy = busyLink.status().pending != 0;
    bench::printFigure(u"bare durable insert"_s, bareSamples);
    bench::printFigure(u"submit while forwarding (rating and outbox entry)"_s, busySamples);
    bench::printNote(stillBusy ? u"the forwarder was busy during every submit"_s
                               : u"the forwarder finished before the last submit"_s);
    const double submitRatio = busySamples.median() / bareSamples.median();
    bench::printRatio(u"submit while forwarding / bare durable insert"_s, submitRatio, u"<= 1.5"_s,
                      submitRatio <= 1.5);

    // 3. The reports over all kiosks.
    bench::printHeading(u"Central database: reports over all kiosks, %1 rows"_s.arg(centralRows));
    QSqlDatabase reports = connect(server, u"reports"_s);
    exec(reports, u"set statement_timeout = 0"_s);
    {
        // Ten kiosks with 20 names each, five grades, 550 days from 2023-07-01: every day has
        // every kiosk, name and grade, as in a busy organisation (366,000 daily counts in 2024).
        QElapsedTimer load;
        load.start();
        exec(reports,
             u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) "
             "select 'kiosk-' || (i % 10), i, "
             "(i % 10) || '号厅 窗口' || lpad(((i / 10) % 20)::text, 2, '0'), "
             "to_char(date '2023-07-01' + ((i / 1000) % 550)::int, 'YYYY-MM-DD'), "
             "'09:00:00', "
             "(array['非常满意','比较满意','一般','不满意','非常不满意'])[1 + (i / 200) % 5] "
             "from generate_series(1, %1) i"_s.arg(centralRows));
        exec(reports, u"vacuum analyze 评价"_s);
        exec(reports, u"vacuum analyze 评价_日计"_s);
        bench::printNote(u"loaded %1 rows in %2 s"_s.arg(centralRows)
                             .arg(double(load.elapsed()) / 1000.0, 0, 'f', 1));
    }
    const auto runReport = [&reports](const QString &statement) {
        QSqlQuery query(reports);
        query.setForwardOnly(true);
        query.prepare(statement);
        query.addBindValue(u"2024-01-01"_s);
        query.addBindValue(u"2024-12-31"_s);
        if (!query.exec())
            fail(query.lastError().text());
        qint64 total = 0;
        while (query.next())
            total += query.value(query.record().count() - 1).toLongLong();
        return total;
    };
    const QString direct = u"select 综合评价, count(*) from 评价 where 日期 >= ? and 日期 <= ? "
                           "group by 综合评价"_s;
    const qint64 expected = runReport(direct);
    if (runReport(central::countPerGrade()) != expected ||
        runReport(central::countPerNameAndGrade()) != expected)
        fail(u"the daily counts disagree with the rows"_s);
    const bench::Samples perName = bench::measure(
        5, [&] { runReport(central::countPerNameAndGrade()); }, {}, 1);
    const bench::Samples perGrade = bench::measure(
        5, [&] { runReport(central::countPerGrade()); }, {}, 1);
    const bench::Samples fromRows = bench::measure(
        3, [&] { runReport(direct); }, {}, 0);
    bench::printNote(u"one year (2024) holds %1 of the rows"_s.arg(expected));
    bench::printFigure(u"report per name and grade, one year, all kiosks"_s, perName);
    bench::printFigure(u"report per grade, one year, all kiosks"_s, perGrade);
    bench::printFigure(u"baseline: per grade counted from the rows"_s, fromRows);
    const double worst = qMax(perName.max(), perGrade.max());
    bench::printRatio(u"slowest report run, s"_s, worst / 1000.0, u"<= 1.5 s"_s, worst <= 1500);

    central::close(reports);
    central::close(target);
    central::close(copyTarget);
    return 0;
}
