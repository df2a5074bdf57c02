// Helper process for the tests that need another kiosk process on the same run folder.
//
//   kiosk_helper append WORKDIR PREFIX COUNT
//       A second kiosk: appends ratings named PREFIX-<i> (i = 0, 1, ...) to WORKDIR/db.dll through
//       the database module, COUNT of them, or without end when COUNT is negative. After each
//       Append has returned, the line "<i>" goes to standard output in one write, so the parent
//       knows which ratings were reported as stored when it kills this process. A failed Append
//       writes "failed <i> after <n> ms: <message>" to standard error. Exit code: the number of
//       failures (at most 100).
//
//   kiosk_helper append-as WORKDIR COUNT NAME
//       Appends COUNT ratings all named NAME, silently. Exit code: the number of failures (at
//       most 100), their messages on standard error.
//
//   kiosk_helper lock WORKDIR MILLISECONDS
//       Opens WORKDIR/db.dll, takes the write lock with BEGIN EXCLUSIVE, writes "locked" and holds
//       the lock until MILLISECONDS have passed or standard input closes, then rolls back.
//
//   kiosk_helper forward WORKDIR TERMINAL URL COUNT
//       A kiosk that forwards: opens WORKDIR/db.dll with forwarding under TERMINAL, starts the
//       forwarder to URL and appends ratings named TERMINAL-<i> one after another from the event
//       loop (the forwarder works meanwhile in its thread), COUNT of them or without end when COUNT
//       is negative, writing "<i>" after each as append does. With COUNT >= 0 it then waits until
//       the outbox is empty and exits 0 (1 when an Append failed); 2 when the outbox is not empty
//       after 60 s.
//
// Every subcommand exits 100 when db.dll cannot be opened, 101 on a wrong command line.
#include "central/forwarder.h"
#include "platform/error.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int CannotOpen = 100, Usage = 101;

// One write per line: a kill can never leave half a line that looks like a whole one.
void report(const QByteArray &line)
{
    const QByteArray out = line + '\n';
    qsizetype done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, out.constData() + done, size_t(out.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

// The rating the i-th append of a numbered run stores: hh:mm:ss counts up from midnight.
EvaluationRecord numbered(const QString &prefix, qint64 i, const QString &grade)
{
    return {u"%1-%2"_s.arg(prefix).arg(i), u"2024-03-01"_s,
            u"%1:%2:%3"_s.arg(i / 3600 % 24, 2, 10, QChar(u'0'))
                .arg(i / 60 % 60, 2, 10, QChar(u'0'))
                .arg(i % 60, 2, 10, QChar(u'0')),
            grade};
}

// The database module of WORKDIR, open (forwarding under terminal unless that is empty); null
// when it cannot be opened, with the reason on standard error.
std::unique_ptr<TDataModule3> openModule(const QString &workDir, const QString &terminal = {})
{
    auto module = std::make_unique<TDataModule3>(workDir, platform::systemClock());
    if (!terminal.isEmpty())
        module->setForwarding(terminal);
    try {
        module->OpenConnection();
    } catch (const KioskError &e) {
        QTextStream(stderr) << "cannot open: " << e.message() << Qt::endl;
        return nullptr;
    }
    return module;
}

int append(const QString &workDir, const QString &prefix, qint64 count)
{
    const auto module = openModule(workDir);
    if (!module)
        return CannotOpen;
    QTextStream err(stderr);
    int failures = 0;
    for (qint64 i = 0; count < 0 || i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        try {
            module->Append(numbered(prefix, i, u"比较满意"_s));
            report(QByteArray::number(i));
        } catch (const KioskError &e) {
            ++failures;
            err << "failed " << i << " after " << clock.elapsed() << " ms: " << e.message()
                << Qt::endl;
        }
    }
    return qMin(failures, 100);
}

int appendAs(const QString &workDir, int count, const QString &name)
{
    const auto module = openModule(workDir);
    if (!module)
        return CannotOpen;
    QTextStream err(stderr);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        try {
            module->Append(
                {name, u"2024-03-01"_s,
                 u"10:%1:%2"_s.arg(i / 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')),
                 u"一般"_s});
        } catch (const KioskError &e) {
            ++failures;
            err << e.message() << Qt::endl;
        }
    }
    return qMin(failures, 100);
}

int lock(const QString &workDir, int milliseconds)
{
    QTextStream err(stderr);
    int rc = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"locker"_s);
        db.setDatabaseName(workDir + u"/db.dll"_s);
        if (!db.open()) {
            err << db.lastError().text() << Qt::endl;
            return CannotOpen;
        }
        QSqlQuery query(db);
        if (!query.exec(u"begin exclusive"_s)) {
            err << query.lastError().text() << Qt::endl;
            rc = CannotOpen;
        } else {
            report("locked");
            // Hold until the time is up or the parent closes our standard input.
            const QDeadlineTimer deadline(milliseconds);
            while (!deadline.hasExpired()) {
                pollfd in{STDIN_FILENO, POLLIN, 0};
                const int remaining = int(qMin<qint64>(deadline.remainingTime(), 1000));
                if (::poll(&in, 1, remaining) > 0) {
                    char buffer[64];
                    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                        break;
                }
            }
            query.exec(u"rollback"_s);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"locker"_s);
    return rc;
}

// Whether the outbox of db.dll is empty, read directly (the forwarder's count may be a round old).
bool outboxEmpty(const QString &path)
{
    bool empty = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"helper-check"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery count(db);
            empty = count.exec(statements::pendingCount()) && count.next() &&
                    count.value(0).toLongLong() == 0;
            count.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"helper-check"_s);
    return empty;
}

int forward(QCoreApplication &app, const QString &workDir, const central::Config &config,
            qint64 count)
{
    const auto module = openModule(workDir, config.terminal);
    if (!module)
        return CannotOpen;
    central::Link link(workDir + u"/db.dll"_s, config, platform::systemClock());
    QObject::connect(module.get(), &TDataModule3::appended, &link, &central::Link::poke);

    qint64 next = 0;
    int failures = 0;
    QTimer rater;
    QTimer drained;
    QDeadlineTimer deadline;
    rater.setInterval(1);
    QObject::connect(&rater, &QTimer::timeout, [&] {
        if (count >= 0 && next >= count) {
            rater.stop();
            deadline = QDeadlineTimer(60000);
            drained.start(20);
            return;
        }
        const qint64 i = next++;
        try {
            module->Append(numbered(config.terminal, i, i % 3 == 0 ? u"非常满意"_s : u"一般"_s));
            report(QByteArray::number(i));
        } catch (const KioskError &e) {
            ++failures;
            QTextStream(stderr) << "failed " << i << ": " << e.message() << Qt::endl;
        }
    });
    QObject::connect(&drained, &QTimer::timeout, [&] {
        const central::Status status = link.status();
        if (outboxEmpty(workDir + u"/db.dll"_s)) {
            app.exit(failures == 0 ? 0 : 1);
        } else if (deadline.hasExpired()) {
            QTextStream(stderr) << "still waiting: " << central::statusLine(status) << Qt::endl;
            app.exit(2);
        }
    });
    rater.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString command = args.value(1);
    if (command == u"append" && args.size() == 5)
        return append(args.at(2), args.at(3), args.at(4).toLongLong());
    if (command == u"append-as" && args.size() == 5)
        return appendAs(args.at(2), args.at(3).toInt(), args.at(4));
    if (command == u"lock" && args.size() == 4)
        return lock(args.at(2), args.at(3).toInt());
    if (command == u"forward" && args.size() == 6)
        return forward(app, args.at(2), central::Config{args.at(4), args.at(3)},
                       args.at(5).toLongLong());
    QTextStream(stderr) << "usage: kiosk_helper append WORKDIR PREFIX COUNT\n"
                           "       kiosk_helper append-as WORKDIR COUNT NAME\n"
                           "       kiosk_helper lock WORKDIR MILLISECONDS\n"
                           "       kiosk_helper forward WORKDIR TERMINAL URL COUNT"
                        << Qt::endl;
    return Usage;
}
