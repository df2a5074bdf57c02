#include "store/schema.h"

#include "platform/error.h"
#include "store/statements.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace store {

namespace {

std::atomic<quint64> toolConnectionCounter{0};

QString engineMessage(const QSqlError &error)
{
    if (!error.databaseText().isEmpty())
        return error.databaseText();
    return error.driverText();
}

QString firstValue(QSqlDatabase &db, const QString &text)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(text))
        throw KioskError(engineMessage(query.lastError()));
    const QString value = query.next() ? query.value(0).toString() : QString();
    query.finish();
    return value;
}

void run(QSqlDatabase &db, const QString &text)
{
    QSqlQuery query(db);
    if (!query.exec(text))
        throw KioskError(engineMessage(query.lastError()));
}

} // namespace

void createSchema(QSqlDatabase &db)
{
    // Fails on a file that is no database before anything is written.
    firstValue(db, statements::probe());
    // WAL is a property of the file: set once here, every later connection uses it. It cannot
    // change inside a transaction, so it comes first.
    const QString mode = firstValue(db, statements::journalModeWal());
    if (mode.compare(u"wal"_s, Qt::CaseInsensitive) != 0)
        throw KioskError(u"cannot switch the journal mode to WAL (it stays %1)"_s.arg(mode));
    run(db, statements::synchronousFull());
    if (!db.transaction())
        throw KioskError(engineMessage(db.lastError()));
    try {
        for (const QString &statement : statements::createSchema())
            run(db, statement);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString message = engineMessage(db.lastError());
        db.rollback();
        throw KioskError(message);
    }
}

void createDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw KioskError(u"unable to open database file"_s);
    // A file whose write permission bits are off is opened for reading only, also for a
    // privileged user, so it is never changed behind its owner's back.
    const bool readOnly =
        info.exists() && !(info.permissions() & (QFileDevice::WriteOwner | QFileDevice::WriteGroup |
                                                 QFileDevice::WriteOther));
    const QString name = u"kiosk-schema-%1"_s.arg(++toolConnectionCounter);
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        if (!db.open()) {
            failure = engineMessage(db.lastError());
        } else {
            try {
                createSchema(db);
            } catch (const KioskError &e) {
                failure = e.message();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty())
        throw KioskError(failure);
}

} // namespace store
