#include "kiosk/tilecache.h"

#include "kiosk/diskcache.h"
#include "kiosk/tileimages.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <vector>

namespace tilecache {

namespace {

std::atomic<int> decodes{0};

QImage decodeTile(const QString &path, QSize size)
{
    decodes.fetch_add(1, std::memory_order_relaxed);
    return tileimages::loadCovering(path, size);
}

// Only pictures decoded at a tile's size are kept; an empty size means the full picture.
bool cacheable(QSize size)
{
    return !size.isEmpty();
}

// The tile picture from the disk cache when it holds one for the file as stamp describes it,
// decoded otherwise; a decoded picture is handed to the disk cache's background writer.
QImage provideTile(const QString &path, QSize size, const FileStamp &stamp,
                   const std::shared_ptr<DiskCache> &disk)
{
    if (!disk || !cacheable(size) || !stamp.regular)
        return decodeTile(path, size);
    if (std::optional<QImage> kept = disk->read(path, size, stamp)) {
        disk->touchLater(path, size);
        return *kept;
    }
    QImage image = decodeTile(path, size);
    // A file that changed while it was decoded is not kept under its earlier identity.
    if (platform::fileIdentity(path) == stamp)
        disk->writeLater(path, size, stamp, image);
    return image;
}

// Decodes next to the GUI thread while a page is filled; the GUI thread takes its share too.
QThreadPool &foregroundPool()
{
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount() - 1));
        pool.setExpiryTimeout(60'000);
        return true;
    }();
    Q_UNUSED(configured);
    return pool;
}

// The files of one fill that the cache does not hold, decoded by whoever takes them first.
struct Batch
{
    struct Job
    {
        qsizetype index;
        QString path;
        QSize size;
        FileStamp stamp;
        QImage image;
    };
    std::vector<Job> jobs;
    std::shared_ptr<DiskCache> disk = diskCache();
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    size_t done = 0;

    void work()
    {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= jobs.size())
                return;
            jobs[i].image = provideTile(jobs[i].path, jobs[i].size, jobs[i].stamp, disk);
            std::lock_guard lock(mutex);
            if (++done == jobs.size())
                finished.notify_all();
        }
    }
    void waitAll()
    {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done == jobs.size(); });
    }
};

// Background preparation. Lives in the thread that first asked for it (the GUI thread); its
// workers hand every picture back to that thread, which alone puts it in the cache.
class Prefetcher final : public QObject
{
public:
    Prefetcher()
    {
        m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
        m_pool.setThreadPriority(QThread::IdlePriority);
        m_pool.setExpiryTimeout(10'000);
    }
    ~Prefetcher() override
    {
        cancel();
        m_pool.waitForDone();
    }

    void plan(const QList<TileRequest> &requests)
    {
        int workers = 0;
        {
            std::lock_guard lock(m_mutex);
            m_queue.assign(requests.cbegin(), requests.cend());
            workers = int(
                qMin<qsizetype>(m_pool.maxThreadCount() - m_running, qsizetype(m_queue.size())));
            m_running += qMax(0, workers);
        }
        for (int i = 0; i < workers; ++i)
            m_pool.start([this] { run(); });
    }
    void cancel()
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
    }
    void wait()
    {
        m_pool.waitForDone();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }

private:
    void run()
    {
        for (;;) {
            TileRequest request;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty()) {
                    --m_running;
                    return;
                }
                request = std::move(m_queue.front());
                m_queue.pop_front();
            }
            const FileStamp stamp = platform::fileIdentity(request.path);
            if (!stamp.regular || !cacheable(request.size) ||
                shared().holds(request.path, request.size, stamp))
                continue;
            QImage image = provideTile(request.path, request.size, stamp, diskCache());
            // The picture goes back through a list guarded by the prefetcher's own mutex, so the
            // handover to the GUI thread is ordered by a lock the program itself takes (and
            // ThreadSanitizer sees), not only by Qt's event queue; the queued call just asks
            // that thread to take what is there.
            {
                std::lock_guard lock(m_mutex);
                m_done.push_back(Finished{std::move(request), stamp, std::move(image)});
            }
            QMetaObject::invokeMethod(
                this, [this] { takeFinished(); }, Qt::QueuedConnection);
        }
    }
    // On the GUI thread: puts every picture the workers have finished into the cache.
    void takeFinished()
    {
        std::deque<Finished> done;
        {
            std::lock_guard lock(m_mutex);
            done.swap(m_done);
        }
        for (const Finished &f : done)
            shared().insertIfAbsent(f.request.path, f.request.size, f.stamp, f.image);
    }

    struct Finished
    {
        TileRequest request;
        FileStamp stamp;
        QImage image;
    };

    QThreadPool m_pool;
    std::mutex m_mutex;
    std::deque<TileRequest> m_queue;
    std::deque<Finished> m_done; // finished by a worker, not yet in the cache
    int m_running = 0;
};

QPointer<Prefetcher> &prefetcherPointer()
{
    static QPointer<Prefetcher> pointer;
    return pointer;
}

Prefetcher *prefetcher(bool create)
{
    QPointer<Prefetcher> &p = prefetcherPointer();
    if (!p && create && QCoreApplication::instance()) {
        p = new Prefetcher;
        // Ends with the application, before static destruction, waiting for its workers.
        p->setParent(QCoreApplication::instance());
    }
    return p.data();
}

} // namespace

// ---- TileCache ------------------------------------------------------------------------------

TileCache::TileCache(qint64 budgetBytes) : m_budget(budgetBytes) {}

std::optional<QImage> TileCache::find(const QString &path, QSize size, const FileStamp &stamp)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(Key{path, size});
    if (it == m_entries.end() || !(it->stamp == stamp))
        return std::nullopt;
    it->lastUse = ++m_clock;
    return it->image;
}

bool TileCache::holds(const QString &path, QSize size, const FileStamp &stamp) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.constFind(Key{path, size});
    return it != m_entries.cend() && it->stamp == stamp;
}

void TileCache::insert(const QString &path, QSize size, const FileStamp &stamp, const QImage &image)
{
    std::lock_guard lock(m_mutex);
    store(Key{path, size}, stamp, image);
}

void TileCache::insertIfAbsent(const QString &path, QSize size, const FileStamp &stamp,
                               const QImage &image)
{
    std::lock_guard lock(m_mutex);
    Key key{path, size};
    if (m_entries.contains(key))
        return;
    store(std::move(key), stamp, image);
}

void TileCache::remove(const QString &path, QSize size)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(Key{path, size});
    if (it == m_entries.end())
        return;
    m_bytes -= it->image.sizeInBytes();
    m_entries.erase(it);
}

void TileCache::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_bytes = 0;
}

void TileCache::setBudget(qint64 budgetBytes)
{
    std::lock_guard lock(m_mutex);
    m_budget = budgetBytes;
    evict();
}

qint64 TileCache::budget() const
{
    std::lock_guard lock(m_mutex);
    return m_budget;
}

qint64 TileCache::bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

int TileCache::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_entries.size());
}

void TileCache::store(Key key, const FileStamp &stamp, const QImage &image)
{
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        m_bytes -= it->image.sizeInBytes();
        it->stamp = stamp;
        it->image = image;
        it->lastUse = ++m_clock;
    } else {
        m_entries.insert(std::move(key), Entry{stamp, image, ++m_clock});
    }
    m_bytes += image.sizeInBytes();
    evict();
}

void TileCache::evict()
{
    // A few hundred entries at most: a linear search for the oldest is cheap enough.
    while (m_bytes > m_budget && !m_entries.isEmpty()) {
        auto oldest = m_entries.begin();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        }
        m_bytes -= oldest->image.sizeInBytes();
        m_entries.erase(oldest);
    }
}

TileCache &shared()
{
    static TileCache cache(DefaultBudgetBytes);
    return cache;
}

// ---- loading --------------------------------------------------------------------------------

QList<QImage> loadTiles(const QList<TileRequest> &requests)
{
    QList<QImage> pictures(requests.size());
    auto batch = std::make_shared<Batch>();
    TileCache &cache = shared();
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const TileRequest &request = requests.at(i);
        if (request.path.isEmpty())
            continue;
        const FileStamp stamp = platform::fileIdentity(request.path);
        if (!cacheable(request.size)) {
            batch->jobs.push_back({i, request.path, request.size, stamp, {}});
            continue;
        }
        if (!stamp.regular) {
            // Gone (or no file): nothing to decode, and nothing of it stays kept.
            cache.remove(request.path, request.size);
            continue;
        }
        if (std::optional<QImage> kept = cache.find(request.path, request.size, stamp))
            pictures[i] = *kept;
        else
            batch->jobs.push_back({i, request.path, request.size, stamp, {}});
    }

    if (!batch->jobs.empty()) {
        QThreadPool &pool = foregroundPool();
        const int helpers =
            int(qMin<size_t>(batch->jobs.size() - 1, size_t(pool.maxThreadCount())));
        for (int h = 0; h < helpers; ++h)
            pool.start([batch] { batch->work(); });
        batch->work();
        batch->waitAll();
        // The stamp was taken before decoding: a file changed meanwhile differs at the next
        // lookup and is decoded again.
        for (const Batch::Job &job : batch->jobs) {
            pictures[job.index] = job.image;
            if (cacheable(job.size))
                cache.insert(job.path, job.size, job.stamp, job.image);
        }
    }
    return pictures;
}

void prefetch(const QList<TileRequest> &requests)
{
    if (Prefetcher *p = prefetcher(true))
        p->plan(requests);
}

void cancelPrefetch()
{
    if (Prefetcher *p = prefetcher(false))
        p->cancel();
}

void waitForPrefetch()
{
    if (Prefetcher *p = prefetcher(false))
        p->wait();
}

int decodeCount()
{
    return decodes.load();
}

} // namespace tilecache
