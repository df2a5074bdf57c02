// Helper process for the central tests: a kiosk that stores ratings and forwards them.
//
//   centralworker WORKDIR TERMINAL URL COUNT
//       Opens WORKDIR/db.dll with forwarding under TERMINAL and starts the forwarder to URL.
//       Appends ratings named TERMINAL-<i> one after another from the event loop (the
//       forwarder works meanwhile in its thread), COUNT of them or without end when COUNT is
//       negative, writing "<i>" to standard output in one write after each Append returned.
//       With COUNT >= 0 it then waits until the outbox is empty and exits 0 (1 when an Append
//       failed); exit 2 when the
//       outbox is not empty after 60 s, 100 when db.dll cannot be opened.
#include "central/forwarder.h"
#include "platform/error.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

// Whether the outbox of db.dll is empty, read directly (the forwarder's count may be a round old).
bool outboxEmpty(const QString &path)
{
    bool empty = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"worker-check"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery count(db);
            empty = count.exec(statements::pendingCount()) && count.next() &&
                    count.value(0).toLongLong() == 0;
            count.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"worker-check"_s);
    return empty;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        QTextStream(stderr) << "usage: centralworker WORKDIR TERMINAL URL COUNT" << Qt::endl;
        return 101;
    }
    const QString workDir = args.at(1);
    const central::Config config{args.at(3), args.at(2)};
    const qint64 count = args.at(4).toLongLong();

    TDataModule3 module(workDir);
    module.setForwarding(config.terminal);
    try {
        module.OpenConnection();
    } catch (const KioskError &e) {
        QTextStream(stderr) << "cannot open: " << e.message() << Qt::endl;
        return 100;
    }
    central::Link link(workDir + u"/db.dll"_s, config);
    QObject::connect(&module, &TDataModule3::appended, &link, &central::Link::poke);

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
            module.Append({u"%1-%2"_s.arg(config.terminal).arg(i), u"2024-03-01"_s,
                           u"%1:%2:%3"_s.arg(i / 3600 % 24, 2, 10, QChar(u'0'))
                               .arg(i / 60 % 60, 2, 10, QChar(u'0'))
                               .arg(i % 60, 2, 10, QChar(u'0')),
                           i % 3 == 0 ? u"非常满意"_s : u"一般"_s});
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
