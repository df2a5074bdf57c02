#include "kiosk/tileimages.h"
#include "platform/error.h"
#include "support/files.h"
#include "support/pictures.h"
#include "support/recorder.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTileImages : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(solid({800, 600}, Qt::red).save(path(u"photo.jpg"_s), "JPEG"));
        QVERIFY(solid({800, 600}, Qt::green).save(path(u"UPPER.JPG"_s), "JPEG"));
        QVERIFY(solid({40, 30}, Qt::blue).save(path(u"arrow.png"_s), "PNG"));
        QFile::copy(path(u"arrow.png"_s), path(u"png-named.jpg"_s));
        QFile::copy(path(u"photo.jpg"_s), path(u"jpeg-named.txt"_s));
        QFile::copy(path(u"arrow.png"_s), path(u"arrow.dat"_s));
        writeBytes(path(u"garbage.jpg"_s), "this is no picture at all");
        writeBytes(path(u"empty.jpg"_s), {});
        QDir(m_dir.path()).mkdir(u"folder.jpg"_s);
    }

    void decodesAtTileSize_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QColor>("color");
        QTest::newRow("jpeg") << u"photo.jpg"_s << QColor(Qt::red);
        QTest::newRow("upper-case .JPG") << u"UPPER.JPG"_s << QColor(Qt::green);
        QTest::newRow("png") << u"arrow.png"_s << QColor(Qt::blue);
    }
    void decodesAtTileSize()
    {
        QFETCH(QString, file);
        QFETCH(QColor, color);
        // 4:3 pictures cover a 150 x 180 tile at 240 x 180, proportions kept.
        const QImage image = loadTileImage(path(file), {150, 180});
        QCOMPARE(image.size(), QSize(240, 180));
        QVERIFY(near(image.pixelColor(75, 90), color));
    }

    void emptyTileSizeKeepsPictureSize()
    {
        QCOMPARE(loadTileImage(path(u"photo.jpg"_s), {0, 0}).size(), QSize(800, 600));
    }

    void failuresGiveEmptyImage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("empty name") << QString();
        QTest::newRow("missing file") << u"nothing-here.jpg"_s;
        QTest::newRow("not a picture") << u"garbage.jpg"_s;
        QTest::newRow("empty file") << u"empty.jpg"_s;
        QTest::newRow("folder named like a photo") << u"folder.jpg"_s;
        QTest::newRow("png data under .jpg") << u"png-named.jpg"_s;
        QTest::newRow("extension no format handles") << u"jpeg-named.txt"_s;
    }
    void failuresGiveEmptyImage()
    {
        QFETCH(QString, file);
        const QString full = file.isEmpty() ? QString() : path(file);
        QVERIFY(loadTileImage(full, {150, 180}).isNull());
        QVERIFY(tileimages::loadByExtension(full).isNull());
    }

    void assetsThrowNamingTheFile()
    {
        RecordingServices services(m_dir.path(), m_dir.path());
        QCOMPARE(tileimages::loadAsset(m_dir.path(), u"arrow.png"_s).size(), QSize(40, 30));
        for (const QString &name : {u"missing.png"_s, u"garbage.jpg"_s}) {
            try {
                tileimages::loadAsset(m_dir.path(), name);
                QFAIL("no error");
            } catch (const KioskError &e) {
                QVERIFY2(e.message().contains(name), qPrintable(e.message()));
            }
        }
    }

    // A JPEG whose header claims 20000 x 20000 pixels is refused before anything is decoded,
    // although a scaled decode would otherwise allocate little and return a grey picture.
    void absurdHeaderRefused()
    {
        QByteArray bytes = readBytes(path(u"photo.jpg"_s));
        const qsizetype sof = bytes.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        // Marker, length (2), precision (1), then height and width, big-endian.
        for (int i : {5, 7}) {
            bytes[sof + i] = char(20000 >> 8);
            bytes[sof + i + 1] = char(20000 & 0xFF);
        }
        writeBytes(path(u"huge.jpg"_s), bytes);
        // Refused before decoding: 20000 x 20000 pixels would take 1.6 GB.
        QVERIFY(loadTileImage(path(u"huge.jpg"_s), {150, 180}).isNull());
        QVERIFY(tileimages::loadByExtension(path(u"huge.jpg"_s)).isNull());
    }
};

QTEST_GUILESS_MAIN(TestTileImages)
#include "tst_tileimages.moc"
