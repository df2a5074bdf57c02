#include "kiosk/tileimages.h"

#include "kiosk/tilecache.h"
#include "platform/error.h"

#include <QDir>

#include <QFileInfo>
#include <QImageReader>

#include <mutex>

namespace tileimages {

namespace {

// Enough for the largest admitted picture at 32 bits a pixel; larger allocations are refused
// by the reader even when a format reports no size in its header.
constexpr int AllocationLimitMB = int(MaxPixels * 4 / (1024 * 1024)) + 1;

void applyAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(AllocationLimitMB); });
}

QImage decode(const QString &path, const QByteArray &format, QSize scaledTo, bool cover = false)
{
    if (path.isEmpty() || format.isEmpty())
        return {};
    if (!QImageReader::supportedImageFormats().contains(format) || !QFileInfo(path).isFile())
        return {};
    applyAllocationLimit();

    QImageReader reader(path, format);
    // The format is the one named, never guessed from the content.
    reader.setAutoDetectImageFormat(false);
    const QSize full = reader.size();
    if (full.isValid() && qint64(full.width()) * qint64(full.height()) > MaxPixels)
        return {};
    if (!scaledTo.isEmpty()) {
        // Covering keeps the proportions; a picture of unknown size is decoded whole.
        if (cover)
            scaledTo = full.isValid() && !full.isEmpty()
                           ? full.scaled(scaledTo, Qt::KeepAspectRatioByExpanding)
                           : QSize();
        if (!scaledTo.isEmpty())
            reader.setScaledSize(scaledTo);
    }

    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace

QImage loadByExtension(const QString &path, QSize scaledTo)
{
    if (path.isEmpty())
        return {};
    return decode(path, QFileInfo(path).suffix().toLower().toLatin1(), scaledTo);
}

QImage loadCovering(const QString &path, QSize box)
{
    if (path.isEmpty())
        return {};
    return decode(path, QFileInfo(path).suffix().toLower().toLatin1(), box, true);
}

QString settingPath(const QString &folder, const QString &setting)
{
    if (setting.isEmpty())
        return {};
    QString path = setting;
    path.replace(u'\\', u'/');
    return QDir::isAbsolutePath(path) ? path : QDir::cleanPath(folder + u'/' + path);
}

QImage loadAsset(const QString &folder, const QString &relative, QSize scaledTo)
{
    const QString path = QDir::cleanPath(folder + u'/' + relative);
    const QImage image = loadByExtension(path, scaledTo);
    if (image.isNull()) {
        const QString shown = QDir::toNativeSeparators(relative);
        if (!QFileInfo::exists(path))
            throw KioskError(QStringLiteral("无法打开图片文件 %1：文件不存在").arg(shown));
        throw KioskError(QStringLiteral("无法加载图片文件 %1：不是有效的图片").arg(shown));
    }
    return image;
}

} // namespace tileimages

QImage loadTileImage(const QString &path, QSize tileSize)
{
    return tilecache::loadTiles({tilecache::TileRequest{path, tileSize}}).constFirst();
}
