#pragma once

#include "kiosk/tilecache.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tilecache {

// Tile pictures kept on disk between runs of the program, so that a restart shows photos seen
// before without decoding them. One file per photo and tile size, named after both, holding the
// photo file's identity (FileStamp) and the pixels with their checksum. An entry is served only
// for the file as it is now; one that is damaged, truncated or made for another version of the
// photo is ignored and removed, and the photo is decoded again. Entries are written in the
// background, each to a temporary file renamed into place, and the folder is kept within its
// byte budget by removing the least recently used entries. A folder that cannot be written
// only means nothing is kept.
class DiskCache final
{
    Q_DISABLE_COPY_MOVE(DiskCache)
public:
    explicit DiskCache(const QString &folder, qint64 budgetBytes = DefaultBudget);
    // Lets a write in progress finish; writes still waiting are dropped.
    ~DiskCache();

    static constexpr qint64 DefaultBudget = 256LL * 1024 * 1024;

    const QString &folder() const { return m_folder; }

    // The picture kept for path at size when it was made from the file as stamp describes it
    // now (possibly a null picture: a file that is no picture); nothing otherwise. Safe to call
    // from several threads at once.
    std::optional<QImage> read(const QString &path, QSize size, const FileStamp &stamp) const;
    // Writes the entry at once, replacing an earlier one, then trims the folder to the budget.
    // Returns false when it could not be written.
    bool write(const QString &path, QSize size, const FileStamp &stamp, const QImage &image);
    // Queues the write for the background writer and returns at once.
    void writeLater(const QString &path, QSize size, const FileStamp &stamp, const QImage &image);
    // Marks the entry as just used (in the background), so trimming removes it last.
    void touchLater(const QString &path, QSize size);
    // Waits until every queued write has been done.
    void waitForWrites();
    // Removes every entry.
    void clear();

    // The file an entry for path at size is kept in.
    QString entryPath(const QString &path, QSize size) const;
    // Bytes of all entries in the folder.
    qint64 bytesOnDisk() const;

    static constexpr const char *Suffix = ".tile";

private:
    void trim();
    void run();
    void post(std::function<void()> job);

    QString m_folder;
    qint64 m_budget;

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_writer;
};

// The disk cache loadTiles and the background preparation use: none until useDiskCache names
// a folder (an empty folder turns it off). Naming the folder in use again keeps the cache.
void useDiskCache(const QString &folder);
// The cache in use, or nothing.
std::shared_ptr<DiskCache> diskCache();
// Test hook: how many tile pictures were served from the disk cache so far.
int diskHitCount();

} // namespace tilecache
