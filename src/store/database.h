#pragma once

#include "platform/error.h"
#include "store/engine.h"

#include <QSqlDatabase>
#include <QString>

namespace store {

// How long a statement waits while another process holds the file locked, unless the caller
// chooses otherwise.
constexpr int DefaultBusyTimeoutMs = 5000;

enum class Access
{
    ReadWrite, // an existing file, read and written
    ReadOnly,  // an existing file, only read: nothing of it is ever changed
    Create,    // read-write, made empty when missing (only the schema tool)
};

enum class Sync
{
    // Every commit is on disk when it returns: a stored rating survives a power cut.
    Full,
    // Commits reach the disk at the next checkpoint: for writes that may be lost and redone.
    Normal,
};

struct OpenOptions
{
    Access access = Access::ReadWrite;
    int busyTimeoutMs = DefaultBusyTimeoutMs;
    Sync sync = Sync::Full;
    // The start of the connection's name, which says who opened it.
    QString purpose = QStringLiteral("kiosk-db");
};

// One connection to a ratings file (SQLite, db.dll or a copy of it), opened the same way
// everywhere: by URI with the access mode (a missing file is never created unless asked for),
// the busy timeout, the synchronous level and the write-ahead log (a file that is not yet in
// WAL mode is switched when it is opened for writing), under a connection name no other open
// shares. Opening reads the file header, so a file that is no database fails here and not at
// the first statement. The connection belongs to the thread that opened it.
//
// A read-only open of a WAL file makes the engine create db.dll-wal and db.dll-shm beside it,
// which it cannot remove again. When they were not there before, closing removes them once no
// other connection (of this or another process) has the file open; then the log is empty, and
// nothing of the file's content changes.
class Database
{
public:
    // Throws EngineError with the engine's message when the file cannot be opened.
    Database(const QString &path, const OpenOptions &options = {});
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    QSqlDatabase &handle() { return m_db; }
    const QString &path() const { return m_path; }
    const QString &connectionName() const { return m_name; }
    bool readOnly() const { return m_options.access == Access::ReadOnly; }
    bool wal() const { return m_wal; }
    int busyTimeoutMs() const { return m_options.busyTimeoutMs; }
    // Changes how long a statement of this open connection waits for another writer.
    void setBusyTimeout(int milliseconds);

    // After a write in WAL mode: copies the log into the file and empties it, without waiting
    // for anyone; a reader elsewhere only makes it stop short. Never fails: what was written
    // is stored either way. Does nothing on a read-only connection or without WAL.
    void settle();

private:
    void close();

    QString m_path;
    QString m_name;
    OpenOptions m_options;
    QSqlDatabase m_db;
    bool m_wal = false;
    // Whether this read-only open may have left the log files that closing removes.
    bool m_removeLogFiles = false;
};

} // namespace store
