#pragma once

#include "platform/backgroundjob.h"
#include "platform/clock.h"
#include "store/database.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

class QTimer;

// Copies of the evaluation database in folder "备份" of the run folder: an archive written before
// all records are cleared, and one copy a day. Each copy is a consistent snapshot (SQLite's
// VACUUM INTO, which only reads, so the kiosk keeps writing meanwhile), checked, flushed to disk
// and then given its final name, so a file with a final name is always complete.
namespace backup {

// The folder of the copies: workDir/备份.
QString folder(const QString &workDir);

// The archive written before a clear at time now: 备份/清除前备份_yyyyMMdd_hhmmss.db.
QString clearArchivePath(const QString &workDir, const QDateTime &now);
// The daily copy of date: 备份/每日备份_yyyy-MM-dd.db.
QString dailyPath(const QString &workDir, const QDate &date);

// Writes a consistent copy of the database at dbPath to target (which must not exist yet),
// creating the folder as needed, and returns the number of rows of table 评价 in the copy.
// Throws KioskError with the reason when the source cannot be read, the copy cannot be written
// or it does not read back with table 评价 intact; nothing is left under target's name then.
// Waits up to busyTimeoutMs while another process holds the source locked.
qint64 copyDatabase(const QString &dbPath, const QString &target,
                    int busyTimeoutMs = store::DefaultBusyTimeoutMs);

// Removes the oldest daily copies in the folder so that at most keep remain. Other files
// (archives of clears, anything staff put there) are never touched. Returns how many went.
int pruneDailyCopies(const QString &workDir, int keep);

} // namespace backup

// Takes the daily copy of db.dll off the GUI thread: checks every interval whether today's copy
// (today by the clock it is given) exists and, when not, writes it on a worker thread at idle
// priority and then keeps the last Keep copies. Never waits for the copy; a failure is tried again
// at the next check.
class DailyBackup : public QObject
{
    Q_OBJECT
public:
    static constexpr int Keep = 30;

    DailyBackup(QString workDir, platform::ClockPtr clock, QObject *parent = nullptr);
    ~DailyBackup() override;

    // Checks first after firstDelayMs, then every intervalMs.
    void start(int firstDelayMs = 60'000, int intervalMs = 10 * 60'000);

    // Starts today's copy when it is missing and none is running, and returns whether it did;
    // finished() tells its end.
    bool runIfDue();

signals:
    // The path written, or an empty path and the failure.
    void finished(const QString &path, const QString &failure);

private:
    QString m_workDir;
    platform::ClockPtr m_clock;
    QTimer *m_timer = nullptr;
    // The path the worker wrote, or empty when the copy failed.
    platform::Handover<QString> m_written;
    // Last, so that it is destroyed first: it waits for a worker that still uses the members.
    platform::BackgroundJob m_job;
};
