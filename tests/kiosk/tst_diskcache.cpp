#include "kiosk/diskcache.h"
#include "kiosk/tilecache.h"
#include "kiosk/tileimages.h"
#include "platform/fileinfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tilecache::DiskCache;
using tilecache::TileRequest;

namespace {

const QSize Tile(150, 180);

// A picture with a different colour in each quarter, so that pixel checks see scaling and
// cropping mistakes, not only the overall colour.
QImage quarters(QSize size, QColor base)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(base);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if ((x < size.width() / 2) != (y < size.height() / 2))
                image.setPixelColor(x, y, base.darker(200));
    return image;
}

bool writeImage(const QImage &image, const QString &path, const QByteArray &kind)
{
    if (kind == "png")
        return image.save(path, "PNG");
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(kind == "progressive");
    return writer.write(image);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QImage loadOne(const QString &path)
{
    return tilecache::loadTiles({TileRequest{path, Tile}}).constFirst();
}

} // namespace

class TestDiskCache : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString folder() const { return path(u"图片缓存"_s); }
    // What a new start of the program has: nothing in memory, a new disk cache object on the
    // folder the last run wrote.
    void restart()
    {
        if (auto disk = tilecache::diskCache())
            disk->waitForWrites();
        tilecache::useDiskCache(QString());
        tilecache::shared().clear();
        tilecache::useDiskCache(folder());
    }
    QStringList cacheFiles() const
    {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        tilecache::waitForPrefetch();
        tilecache::shared().clear();
        tilecache::useDiskCache(folder());
    }
    void cleanup() { tilecache::useDiskCache(QString()); }

    // Tiles are decoded at the size that covers the tile with the photo's proportions.
    void decodedToCoverTheTile_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("wide 16:9") << QSize(1600, 900) << QSize(320, 180);
        QTest::newRow("tall 9:16") << QSize(900, 1600) << QSize(150, 266);
        QTest::newRow("same proportions") << QSize(500, 600) << QSize(150, 180);
        QTest::newRow("smaller than the tile") << QSize(40, 30) << QSize(240, 180);
        QTest::newRow("square") << QSize(800, 800) << QSize(180, 180);
    }
    void decodedToCoverTheTile()
    {
        QFETCH(QSize, photo);
        QFETCH(QSize, decoded);
        QVERIFY(writeImage(quarters(photo, Qt::red), path(u"p.jpg"_s), "baseline"));
        const QImage image = loadOne(path(u"p.jpg"_s));
        QCOMPARE(image.size(), decoded);
        // Proportions kept: the quarters meet in the middle.
        const QColor light = image.pixelColor(image.width() / 4, image.height() / 4);
        const QColor dark = image.pixelColor(image.width() * 3 / 4, image.height() / 4);
        QVERIFY(light.red() > dark.red() + 60);
        QCOMPARE(tileimages::loadCovering(path(u"p.jpg"_s), Tile).size(), decoded);
    }

    // A new cache object on the same folder serves the tiles of the last run without decoding,
    // pixel for pixel.
    void survivesARestart_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("baseline JPEG") << QByteArray("baseline");
        QTest::newRow("progressive JPEG") << QByteArray("progressive");
        QTest::newRow("PNG") << QByteArray("png");
    }
    void survivesARestart()
    {
        QFETCH(QByteArray, kind);
        const QString photo = path(kind == "png" ? u"0001@甲#乙.png"_s : u"0001@甲#乙.jpg"_s);
        QVERIFY(writeImage(quarters({1280, 720}, Qt::blue), photo, kind));

        const int decodes = tilecache::decodeCount();
        const QImage first = loadOne(photo);
        QVERIFY(!first.isNull());
        QCOMPARE(tilecache::decodeCount() - decodes, 1);

        restart();
        const int hits = tilecache::diskHitCount();
        const QImage again = loadOne(photo);
        QCOMPARE(tilecache::decodeCount() - decodes, 1);
        QCOMPARE(tilecache::diskHitCount() - hits, 1);
        QCOMPARE(again.convertToFormat(QImage::Format_RGB32),
                 first.convertToFormat(QImage::Format_RGB32));

        // A cache object of its own reads the same entry.
        DiskCache other(folder());
        const auto kept = other.read(photo, Tile, platform::fileIdentity(photo));
        QVERIFY(kept.has_value());
        QCOMPARE(kept->size(), first.size());
        // Another tile size is another entry.
        QVERIFY(!other.read(photo, QSize(151, 180), platform::fileIdentity(photo)).has_value());
    }

    // A photo replaced or changed on disk is decoded again at the next start, and the entry is
    // rebuilt for the new file.
    void rebuiltAfterThePhotoChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rewritten in place") << u"rewrite"_s;
        QTest::newRow("replaced by renaming another file over it") << u"rename"_s;
        QTest::newRow("modification time changed only") << u"touch"_s;
    }
    void rebuiltAfterThePhotoChanges()
    {
        QFETCH(QString, change);
        const QString photo = path(u"p.jpg"_s);
        QVERIFY(writeImage(quarters({800, 600}, Qt::red), photo, "baseline"));
        QVERIFY(loadOne(photo).pixelColor(10, 10).red() > 150);
        restart();

        QColor expected = Qt::green;
        if (change == u"rewrite"_s) {
            QVERIFY(writeImage(quarters({800, 600}, Qt::green), photo, "progressive"));
        } else if (change == u"rename"_s) {
            QVERIFY(writeImage(quarters({800, 600}, Qt::green), path(u"new.jpg"_s), "baseline"));
            QVERIFY(QFile::remove(photo));
            QVERIFY(QFile::rename(path(u"new.jpg"_s), photo));
        } else {
            expected = Qt::red;
            QFile f(photo);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
        }
        const int decodes = tilecache::decodeCount();
        const QImage image = loadOne(photo);
        QCOMPARE(tilecache::decodeCount() - decodes, 1);
        const QColor corner = image.pixelColor(10, 10);
        QVERIFY(qAbs(corner.red() - expected.red()) < 40 &&
                qAbs(corner.green() - expected.green()) < 40);

        // The rebuilt entry serves the next start.
        restart();
        const int hits = tilecache::diskHitCount();
        loadOne(photo);
        QCOMPARE(tilecache::decodeCount() - decodes, 1);
        QCOMPARE(tilecache::diskHitCount() - hits, 1);
    }

    // A damaged or truncated entry is ignored: the photo is decoded again, shown correctly, and
    // the entry written anew.
    void damagedEntryIgnored_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("empty file") << u"empty"_s;
        QTest::newRow("cut inside the header") << u"cut header"_s;
        QTest::newRow("cut inside the pixels") << u"cut pixels"_s;
        QTest::newRow("one pixel byte flipped") << u"flip pixel"_s;
        QTest::newRow("width in the header changed") << u"flip header"_s;
        QTest::newRow("bytes appended") << u"append"_s;
        QTest::newRow("not an entry at all") << u"garbage"_s;
    }
    void damagedEntryIgnored()
    {
        QFETCH(QString, damage);
        const QString photo = path(u"p.jpg"_s);
        QVERIFY(writeImage(quarters({800, 600}, Qt::red), photo, "baseline"));
        const QImage first = loadOne(photo);
        restart();

        const QString entry = tilecache::diskCache()->entryPath(photo, Tile);
        QByteArray bytes = readAll(entry);
        QVERIFY(bytes.size() > first.sizeInBytes());
        const qsizetype header = bytes.size() - first.sizeInBytes();
        if (damage == u"empty"_s)
            bytes.clear();
        else if (damage == u"cut header"_s)
            bytes.truncate(header / 2);
        else if (damage == u"cut pixels"_s)
            bytes.chop(first.sizeInBytes() / 3);
        else if (damage == u"flip pixel"_s)
            bytes[header + 1000] = char(bytes[header + 1000] ^ 0x40);
        else if (damage == u"flip header"_s) {
            // The picture's width and height (240 x 180) as the header stores them.
            const qsizetype at = bytes.indexOf(QByteArray::fromHex("000000f0000000b4"));
            QVERIFY(at > 0 && at < header);
            bytes[at + 3] = char(bytes[at + 3] ^ 0x01);
        } else if (damage == u"append"_s)
            bytes.append(QByteArray(64, 'x'));
        else
            bytes = QByteArray(4096, '\x5a');
        writeAll(entry, bytes);

        const int decodes = tilecache::decodeCount();
        const QImage image = loadOne(photo);
        QCOMPARE(tilecache::decodeCount() - decodes, 1);
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
                 first.convertToFormat(QImage::Format_RGB32));
        restart();
        QVERIFY(tilecache::diskCache()->read(photo, Tile, platform::fileIdentity(photo)));
    }

    // The folder stays within its budget; the entries used last stay.
    void boundedInSize()
    {
        const QImage picture(Tile, QImage::Format_RGB32);
        const qint64 entryBytes = picture.sizeInBytes() + 1024;
        DiskCache cache(folder(), 4 * entryBytes);
        const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-1000);
        for (int i = 0; i < 10; ++i) {
            const QString photo = path(u"%1.jpg"_s.arg(i));
            writeAll(photo, "x");
            QVERIFY(cache.write(photo, Tile, platform::fileIdentity(photo), picture));
            // Each entry a second older than the next, whatever the clock's resolution.
            QFile entry(cache.entryPath(photo, Tile));
            QVERIFY(entry.open(QIODevice::ReadWrite));
            QVERIFY(entry.setFileTime(base.addSecs(i), QFileDevice::FileModificationTime));
        }
        QVERIFY(cache.bytesOnDisk() <= 4 * entryBytes);
        QVERIFY(cacheFiles().size() >= 2);
        const QString newest = path(u"9.jpg"_s);
        QVERIFY(cache.read(newest, Tile, platform::fileIdentity(newest)).has_value());
        const QString oldest = path(u"0.jpg"_s);
        QVERIFY(!QFile::exists(cache.entryPath(oldest, Tile)));
    }

    // Writing never leaves a half-written entry or a temporary file behind, and a folder that
    // cannot be written only means nothing is kept: the tiles are shown all the same.
    void writesAreAtomicAndOptional()
    {
        const QString photo = path(u"p.jpg"_s);
        QVERIFY(writeImage(quarters({800, 600}, Qt::red), photo, "baseline"));
        loadOne(photo);
        tilecache::diskCache()->waitForWrites();
        const QStringList files = cacheFiles();
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().endsWith(u".tile"_s));

        // A file where the folder should be.
        tilecache::useDiskCache(QString());
        QDir(folder()).removeRecursively();
        writeAll(folder(), "not a folder");
        tilecache::shared().clear();
        tilecache::useDiskCache(folder());
        const int decodes = tilecache::decodeCount();
        QVERIFY(!loadOne(photo).isNull());
        tilecache::diskCache()->waitForWrites();
        QCOMPARE(tilecache::decodeCount() - decodes, 1);
        QCOMPARE(readAll(folder()), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(TestDiskCache)
#include "tst_diskcache.moc"
