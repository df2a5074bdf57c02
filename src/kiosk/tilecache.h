#pragma once

#include "platform/fileinfo.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <mutex>
#include <optional>

// Tile pictures kept at the size their tile shows them, so that turning back to a page costs
// no decoding. Every lookup checks the file's identity first: a photo replaced, changed or
// removed on disk is never served from the cache. Only tile-sized pictures are kept, within a
// byte budget; the least recently used go first.
namespace tilecache {

// What the cache compares to tell whether a file is still the one it decoded: its whole
// identity (existence, kind, size, modification and status-change time, file number).
using FileStamp = platform::FileIdentity;

// One tile picture to provide: the file and the size of its tile.
struct TileRequest
{
    QString path;
    QSize size;
};

class TileCache final
{
    Q_DISABLE_COPY_MOVE(TileCache)
public:
    explicit TileCache(qint64 budgetBytes);

    // The kept picture for path at size when it was decoded from the file as stamp describes
    // it now; nothing otherwise. A hit counts as a use.
    std::optional<QImage> find(const QString &path, QSize size, const FileStamp &stamp);
    // Whether find would hit, without counting as a use.
    bool holds(const QString &path, QSize size, const FileStamp &stamp) const;
    // Keeps image (possibly null: a file that is no picture) for the file as stamp describes it,
    // replacing what was kept for path at size, then drops the least recently used pictures
    // until the budget holds again.
    void insert(const QString &path, QSize size, const FileStamp &stamp, const QImage &image);
    // As insert, but keeps nothing when an entry for path at size exists already.
    void insertIfAbsent(const QString &path, QSize size, const FileStamp &stamp,
                        const QImage &image);
    void remove(const QString &path, QSize size);
    void clear();

    void setBudget(qint64 budgetBytes);
    qint64 budget() const;
    // Bytes of picture data kept, and the number of entries.
    qint64 bytes() const;
    int count() const;

private:
    struct Key
    {
        QString path;
        QSize size;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed) noexcept
    {
        return qHashMulti(seed, key.path, key.size.width(), key.size.height());
    }
    struct Entry
    {
        FileStamp stamp;
        QImage image;
        quint64 lastUse = 0;
    };

    void store(Key key, const FileStamp &stamp, const QImage &image);
    void evict();

    mutable std::mutex m_mutex;
    QHash<Key, Entry> m_entries;
    qint64 m_budget;
    qint64 m_bytes = 0;
    quint64 m_clock = 0;
};

// The cache behind loadTileImage: 32 MiB, about 300 tiles of 150 x 180.
TileCache &shared();
constexpr qint64 DefaultBudgetBytes = 32LL * 1024 * 1024;

// The pictures for requests, in order, each decoded to cover its tile (proportions kept) unless
// the cache in memory, or else the disk cache in use (diskcache.h), holds it for the file as it
// is now; a missing or undecodable file gives a null picture (and a missing file's entry is
// dropped). Pictures decoded here are written to the disk cache in the background. The files to
// decode are decoded in parallel, on the calling thread and on the foreground pool, and the call
// returns when all are done.
QList<QImage> loadTiles(const QList<TileRequest> &requests);

// Decodes the requested tiles in the background, at the lowest thread priority, nearest first,
// and hands each picture to the thread that owns the prefetcher, which puts it in the cache;
// nothing else is touched. A new call replaces the requests not yet started. Tiles the cache
// already holds for the file as it is now are skipped.
void prefetch(const QList<TileRequest> &requests);
// Drops the background requests not yet started.
void cancelPrefetch();
// Test and benchmark hook: waits until the background work has finished and its pictures are in
// the cache. Call from the thread that made the first prefetch call.
void waitForPrefetch();

// Test hook: how many tile pictures were decoded from files so far, in the foreground and in the
// background.
int decodeCount();

} // namespace tilecache
