// Helper process for the reliability tests: a second kiosk, or a process that holds db.dll.
//
//   kioskworker append WORKDIR PREFIX COUNT
//       Appends ratings named PREFIX-<i> (i = 0, 1, ...) to WORKDIR/db.dll through the database
//       module, COUNT of them, or without end when COUNT is negative. After each Append has
//       returned, the line "<i>" goes to standard output in one write, so the parent knows which
//       ratings were reported as stored when it kills this process. A failed Append writes
//       "failed <i>: <message>" to standard error. Exit code: the number of failures (at most
//       100), 100 when the connection cannot be opened.
//
//   kioskworker lock WORKDIR MILLISECONDS
//       Opens WORKDIR/db.dll, takes the write lock with BEGIN EXCLUSIVE, writes "locked" and holds
//       the lock until MILLISECONDS have passed or standard input closes, then rolls back.
#include "platform/error.h"
#include "store/tdatamodule3.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

int append(const QString &workDir, const QString &prefix, qint64 count)
{
    QTextStream err(stderr);
    TDataModule3 module(workDir);
    try {
        module.OpenConnection();
    } catch (const KioskError &e) {
        err << "cannot open: " << e.message() << Qt::endl;
        return 100;
    }
    int failures = 0;
    for (qint64 i = 0; count < 0 || i < count; ++i) {
        const EvaluationRecord record{u"%1-%2"_s.arg(prefix).arg(i), u"2024-03-01"_s,
                                      u"%1:%2:%3"_s.arg(i / 3600 % 24, 2, 10, QChar(u'0'))
                                          .arg(i / 60 % 60, 2, 10, QChar(u'0'))
                                          .arg(i % 60, 2, 10, QChar(u'0')),
                                      u"比较满意"_s};
        QElapsedTimer clock;
        clock.start();
        try {
            module.Append(record);
            report(QByteArray::number(i));
        } catch (const KioskError &e) {
            ++failures;
            err << "failed " << i << " after " << clock.elapsed() << " ms: " << e.message()
                << Qt::endl;
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
            return 100;
        }
        QSqlQuery query(db);
        if (!query.exec(u"begin exclusive"_s)) {
            err << query.lastError().text() << Qt::endl;
            rc = 100;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == u"append")
        return append(args.at(2), args.at(3), args.at(4).toLongLong());
    if (args.size() == 4 && args.at(1) == u"lock")
        return lock(args.at(2), args.at(3).toInt());
    QTextStream(stderr) << "usage: kioskworker append WORKDIR PREFIX COUNT | lock WORKDIR MS"
                        << Qt::endl;
    return 101;
}
