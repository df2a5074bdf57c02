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
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace tilecache {

namespace {

// Entry layout: the magic, then in QDataStream form (version 6.4) the key (path, tile size),
// the photo's FileStamp, the picture's width, height, format and bytes per line, the pixel
// bytes' length and checksum, zero bytes up to the next multiple of 16, and finally the pixel
// bytes themselves (so that the picture can use the read buffer as it is).
constexpr char Magic[8] = {'Q', 'K', 'T', 'I', 'L', 'E', '0', '2'};
constexpr qint64 PixelAlignment = 16;
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
    quint64 sumA = 0, sumB = 0;
};

QDataStream &operator<<(QDataStream &out, const Header &h)
{
    out << h.path << h.tileWidth << h.tileHeight << h.stamp.exists << h.stamp.regular
        << h.stamp.size << h.stamp.modifiedNs << h.stamp.changedNs << h.stamp.device
        << h.stamp.inode << h.width << h.height << h.format << h.bytesPerLine << h.length << h.sumA
        << h.sumB;
    return out;
}

QDataStream &operator>>(QDataStream &in, Header &h)
{
    in >> h.path >> h.tileWidth >> h.tileHeight >> h.stamp.exists >> h.stamp.regular >>
        h.stamp.size >> h.stamp.modifiedNs >> h.stamp.changedNs >> h.stamp.device >>
        h.stamp.inode >> h.width >> h.height >> h.format >> h.bytesPerLine >> h.length >> h.sumA >>
        h.sumB;
    return in;
}

// A checksum that catches damage (a changed bit changes the first sum, bytes moved or swapped
// the second) at memory speed; the entries guard against damage, not against forgery.
std::pair<quint64, quint64> checksum(QByteArrayView bytes)
{
    quint64 a = 0x9E3779B97F4A7C15ULL, b = 0;
    const qsizetype words = bytes.size() / 8;
    const char *data = bytes.data();
    for (qsizetype i = 0; i < words; ++i) {
        quint64 w;
        std::memcpy(&w, data + 8 * i, 8);
        a += w;
        b += a;
    }
    for (qsizetype i = 8 * words; i < bytes.size(); ++i) {
        a += quint8(data[i]);
        b += a;
    }
    return {a, b};
}

qint64 alignedOffset(qint64 offset)
{
    return (offset + PixelAlignment - 1) / PixelAlignment * PixelAlignment;
}

void releaseBuffer(void *buffer)
{
    delete static_cast<QByteArray *>(buffer);
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
    auto buffer = std::make_unique<QByteArray>(in.readAll());
    const QByteArray &bytes = *buffer;
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

    const qint64 offset = alignedOffset(stream.device()->pos());
    if (h.width < 0 || h.height < 0 || h.width > MaxSide || h.height > MaxSide ||
        offset > bytes.size() || h.length != qint64(bytes.size()) - offset)
        return damaged();
    const QByteArrayView pixels = QByteArrayView(bytes).sliced(offset);
    if (checksum(pixels) != std::pair(h.sumA, h.sumB))
        return damaged();
    if (h.width == 0 || h.height == 0) {
        diskHits.fetch_add(1, std::memory_order_relaxed);
        return QImage(); // a file that is no picture, as decoding found it
    }
    const auto format = QImage::Format(h.format);
    if (h.format <= int(QImage::Format_Invalid) || h.format >= int(QImage::NImageFormats))
        return damaged();
    const qint64 minLine = (qint64(h.width) * QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
    if (h.bytesPerLine < minLine || h.bytesPerLine % 4 != 0 ||
        qint64(h.bytesPerLine) * h.height != h.length)
        return damaged();
    diskHits.fetch_add(1, std::memory_order_relaxed);
    uchar *data = reinterpret_cast<uchar *>(buffer->data()) + offset;
    if (quintptr(data) % 4 != 0) // not as aligned as a picture's lines must be
        return QImage(data, h.width, h.height, h.bytesPerLine, format).copy();
    // The picture keeps the read buffer and releases it with its last copy.
    QByteArray *owner = buffer.release();
    return QImage(data, h.width, h.height, h.bytesPerLine, format, releaseBuffer, owner);
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
    std::tie(h.sumA, h.sumB) = checksum(pixels);

    QSaveFile out(entryPath(path, size));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(Magic, sizeof Magic);
    QDataStream stream(&out);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << h;
    const qint64 padding = alignedOffset(out.pos()) - out.pos();
    out.write(QByteArray(padding, '\0'));
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
