#include "kiosk/diskcache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tilecache {

namespace {

// Entry layout: the magic, then in QDataStream form (version 6.4) the key (path, tile size),
// the photo's FileStamp, the picture's width, height, format and bytes per line, the pixel
// bytes' length and their MD5, and finally the pixel bytes themselves.
constexpr char Magic[8] = {'Q', 'K', 'T', 'I', 'L', 'E', '0', '1'};
constexpr int MaxSide = 20000;
// Temporary files older than this are left-overs of a program that ended while writing.
constexpr qint64 StaleTemporarySeconds = 60;

std::atomic<int> diskHits{0};

struct Header
{
    QString path;
    qint32 tileWidth = 0, tileHeight = 0;
    FileStamp stamp;
    qint32 width = 0, height = 0, format = 0, bytesPerLine = 0;
    qint64 length = 0;
    QByteArray md5;
};

QDataStream &operator<<(QDataStream &out, const Header &h)
{
    out << h.path << h.tileWidth << h.tileHeight << h.stamp.exists << h.stamp.regular
        << h.stamp.size << h.stamp.modifiedNs << h.stamp.changedNs << h.stamp.device
        << h.stamp.inode << h.width << h.height << h.format << h.bytesPerLine << h.length << h.md5;
    return out;
}

QDataStream &operator>>(QDataStream &in, Header &h)
{
    in >> h.path >> h.tileWidth >> h.tileHeight >> h.stamp.exists >> h.stamp.regular >>
        h.stamp.size >> h.stamp.modifiedNs >> h.stamp.changedNs >> h.stamp.device >>
        h.stamp.inode >> h.width >> h.height >> h.format >> h.bytesPerLine >> h.length >> h.md5;
    return in;
}

QByteArray md5(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
}

bool isEntry(const QFileInfo &info)
{
    return info.fileName().endsWith(QLatin1StringView(DiskCache::Suffix));
}

} // namespace

DiskCache::DiskCache(const QString &folder, qint64 budgetBytes)
    : m_folder(QDir::cleanPath(folder)), m_budget(budgetBytes)
{
    m_writer = std::thread([this] { run(); });
}

DiskCache::~DiskCache()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    m_writer.join();
}

QString DiskCache::entryPath(const QString &path, QSize size) const
{
    const QByteArray key = path.toUtf8() + '\n' + QByteArray::number(size.width()) + 'x' +
                           QByteArray::number(size.height());
    return m_folder + u'/' +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QLatin1StringView(Suffix);
}

std::optional<QImage> DiskCache::read(const QString &path, QSize size, const FileStamp &stamp) const
{
    if (!stamp.regular)
        return std::nullopt;
    const QString file = entryPath(path, size);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = in.readAll();
    in.close();

    auto damaged = [&]() -> std::optional<QImage> {
        QFile::remove(file);
        return std::nullopt;
    };
    if (bytes.size() < qsizetype(sizeof Magic) ||
        QByteArrayView(bytes).first(sizeof Magic) != QByteArrayView(Magic, sizeof Magic))
        return damaged();
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_6_4);
    stream.skipRawData(int(sizeof Magic));
    Header h;
    stream >> h;
    if (stream.status() != QDataStream::Ok)
        return damaged();
    // Made for another photo at this name's hash, or another tile size: not ours to judge.
    if (h.path != path || h.tileWidth != size.width() || h.tileHeight != size.height())
        return std::nullopt;
    // The photo was replaced or changed since: the entry is of no use any more.
    if (!(h.stamp == stamp))
        return damaged();

    const qint64 offset = stream.device()->pos();
    if (h.width < 0 || h.height < 0 || h.width > MaxSide || h.height > MaxSide ||
        h.length != qint64(bytes.size()) - offset)
        return damaged();
    const QByteArrayView pixels = QByteArrayView(bytes).sliced(offset);
    if (md5(pixels) != h.md5)
        return damaged();
    if (h.width == 0 || h.height == 0) {
        diskHits.fetch_add(1, std::memory_order_relaxed);
        return QImage(); // a file that is no picture, as decoding found it
    }
    const auto format = QImage::Format(h.format);
    if (h.format <= int(QImage::Format_Invalid) || h.format >= int(QImage::NImageFormats))
        return damaged();
    QImage probe(1, 1, format);
    const qint64 minLine = (qint64(h.width) * probe.depth() + 7) / 8;
    if (h.bytesPerLine < minLine || h.bytesPerLine % 4 != 0 ||
        qint64(h.bytesPerLine) * h.height != h.length)
        return damaged();
    QImage image(reinterpret_cast<const uchar *>(pixels.data()), h.width, h.height, h.bytesPerLine,
                 format);
    diskHits.fetch_add(1, std::memory_order_relaxed);
    return image.copy();
}

bool DiskCache::write(const QString &path, QSize size, const FileStamp &stamp, const QImage &image)
{
    if (!stamp.regular || !QDir().mkpath(m_folder))
        return false;
    Header h;
    h.path = path;
    h.tileWidth = size.width();
    h.tileHeight = size.height();
    h.stamp = stamp;
    QByteArrayView pixels;
    if (!image.isNull()) {
        h.width = image.width();
        h.height = image.height();
        h.format = int(image.format());
        h.bytesPerLine = int(image.bytesPerLine());
        pixels =
            QByteArrayView(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    }
    h.length = pixels.size();
    h.md5 = md5(pixels);

    QSaveFile out(entryPath(path, size));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(Magic, sizeof Magic);
    QDataStream stream(&out);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << h;
    out.write(pixels.data(), pixels.size());
    if (stream.status() != QDataStream::Ok || !out.commit())
        return false;
    trim();
    return true;
}

void DiskCache::trim()
{
    const QDir dir(m_folder);
    QFileInfoList entries;
    qint64 total = 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isEntry(info)) {
            entries << info;
            total += info.size();
        } else if (info.lastModified().secsTo(now) > StaleTemporarySeconds) {
            QFile::remove(info.filePath());
        }
    }
    if (total <= m_budget)
        return;
    // The least recently used first; down to nine tenths of the budget, so that trimming is
    // not needed again at the very next write.
    std::sort(entries.begin(), entries.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    for (const QFileInfo &info : entries) {
        if (total <= m_budget / 10 * 9)
            break;
        if (QFile::remove(info.filePath()))
            total -= info.size();
    }
}

void DiskCache::writeLater(const QString &path, QSize size, const FileStamp &stamp,
                           const QImage &image)
{
    post([this, path, size, stamp, image] { write(path, size, stamp, image); });
}

void DiskCache::touchLater(const QString &path, QSize size)
{
    post([this, file = entryPath(path, size)] {
        QFile f(file);
        if (f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            f.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    });
}

void DiskCache::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void DiskCache::run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            if (m_jobs.empty())
                m_idle.notify_all();
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
        }
        job();
    }
}

void DiskCache::waitForWrites()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stop || (m_jobs.empty() && !m_busy); });
}

void DiskCache::clear()
{
    waitForWrites();
    const QDir dir(m_folder);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(info.filePath());
}

qint64 DiskCache::bytesOnDisk() const
{
    qint64 total = 0;
    for (const QFileInfo &info : QDir(m_folder).entryInfoList(QDir::Files)) {
        if (isEntry(info))
            total += info.size();
    }
    return total;
}

namespace {

std::mutex inUseMutex;
std::shared_ptr<DiskCache> &inUse()
{
    static std::shared_ptr<DiskCache> cache;
    return cache;
}

} // namespace

void useDiskCache(const QString &folder)
{
    std::lock_guard lock(inUseMutex);
    std::shared_ptr<DiskCache> &cache = inUse();
    if (folder.isEmpty()) {
        cache.reset();
        return;
    }
    if (cache && cache->folder() == QDir::cleanPath(folder))
        return;
    cache = std::make_shared<DiskCache>(folder);
}

std::shared_ptr<DiskCache> diskCache()
{
    std::lock_guard lock(inUseMutex);
    return inUse();
}

int diskHitCount()
{
    return diskHits.load();
}

} // namespace tilecache
