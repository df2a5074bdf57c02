#include "store/database.h"

#include "platform/fileinfo.h"
#include "store/engine.h"
#include "store/statements.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>

using namespace Qt::StringLiterals;

namespace store {

namespace {

std::atomic<quint64> openCounter{0};

QString uriOf(const QString &path, Access access)
{
    const QString mode = access == Access::ReadOnly ? u"ro"_s
                         : access == Access::Create ? u"rwc"_s
                                                    : u"rw"_s;
    return u"file:"_s +
           QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
           u"?mode="_s + mode;
}

bool logFilesExist(const QString &path)
{
    return QFileInfo::exists(path + u"-wal"_s) || QFileInfo::exists(path + u"-shm"_s);
}

// Opens a connection under name, or throws EngineError; nothing stays registered then.
QSqlDatabase openConnection(const QString &name, const QString &path, Access access,
                            int busyTimeoutMs)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
    db.setDatabaseName(uriOf(path, access));
    QString options = u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1"_s.arg(qMax(0, busyTimeoutMs));
    if (access == Access::ReadOnly)
        options += u";QSQLITE_OPEN_READONLY"_s;
    db.setConnectOptions(options);
    if (!db.open()) {
        const EngineError error = engineError(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw error;
    }
    return db;
}

void closeConnection(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

bool isWal(const QVariant &mode)
{
    return mode.toString().compare(u"wal"_s, Qt::CaseInsensitive) == 0;
}

} // namespace

Database::Database(const QString &path, const OpenOptions &options)
    : m_path(QFileInfo(path).absoluteFilePath()),
      m_name(u"%1-%2"_s.arg(options.purpose).arg(++openCounter)), m_options(options)
{
    const bool hadLogFiles = logFilesExist(m_path);
    m_db = openConnection(m_name, m_path, options.access, options.busyTimeoutMs);
    try {
        // The engine reads the file only when it needs to: "file is not a database" comes now.
        firstValue(m_db, statements::probe());
        if (!readOnly()) {
            run(m_db, options.sync == Sync::Full ? statements::synchronousFull()
                                                 : statements::synchronousNormal());
        }
        m_wal = isWal(firstValue(m_db, statements::journalMode()));
        // WAL stays set in the file. An empty file is left to the schema tool, which makes it
        // a database first.
        if (!m_wal && !readOnly() && firstValue(m_db, statements::pageCount()).toLongLong() > 0) {
            try {
                m_wal = isWal(firstValue(m_db, statements::journalModeWal()));
            } catch (const KioskError &) {
                // Another process holds the file; the rollback journal works as well.
            }
        }
    } catch (...) {
        closeConnection(m_db);
        throw;
    }
    m_removeLogFiles = readOnly() && m_wal && !hadLogFiles;
}

Database::~Database()
{
    close();
}

void Database::settle()
{
    if (readOnly() || !m_wal || !m_db.isOpen())
        return;
    try {
        run(m_db, statements::busyTimeout(0));
        firstValue(m_db, statements::checkpoint());
    } catch (const KioskError &) {
    }
    try {
        run(m_db, statements::busyTimeout(m_options.busyTimeoutMs));
    } catch (const KioskError &) {
    }
}

void Database::setBusyTimeout(int milliseconds)
{
    m_options.busyTimeoutMs = milliseconds;
    if (m_db.isOpen())
        run(m_db, statements::busyTimeout(milliseconds));
}

void Database::close()
{
    closeConnection(m_db);
    if (!m_removeLogFiles || !logFilesExist(m_path) ||
        !platform::hasWritePermissionBits(QFileInfo(m_path)))
        return;
    // The engine removes the log files when its last connection to the file closes, but only a
    // connection that may write can do so. This one only reads and waits for no one: with
    // another connection open anywhere, the files stay for that one.
    try {
        QSqlDatabase last = openConnection(m_name + u"-close"_s, m_path, Access::ReadWrite, 0);
        try {
            firstValue(last, statements::probe());
        } catch (const KioskError &) {
        }
        closeConnection(last);
    } catch (const KioskError &) {
    }
}

} // namespace store
