// Star and arrow pictures are decoded once, at the size they are shown, and again only when
// their file changes.
#include "kiosk/assetpictures.h"
#include "platform/error.h"
#include "support/recorder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Star = u"pic/huidu.png"_s;
const QSize Shown(78, 78);

bool writeStar(const QString &dir, QSize size, QColor color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(dir + u'/' + Star, "PNG");
}

} // namespace

class TestAssetPictures : public QObject
{
    Q_OBJECT
private slots:
    void decodes_data()
    {
        QTest::addColumn<QString>("between"); // what happens between two gets
        QTest::addColumn<int>("decodes");     // decodes after both
        QTest::addColumn<QColor>("second");   // the colour the second get shows
        QTest::newRow("unchanged file: decoded once") << u"nothing"_s << 1 << QColor(Qt::gray);
        QTest::newRow("file rewritten: decoded again") << u"rewrite"_s << 2 << QColor(Qt::yellow);
        QTest::newRow("file replaced by another: decoded again")
            << u"replace"_s << 2 << QColor(Qt::yellow);
        QTest::newRow("other size asked: decoded again") << u"size"_s << 2 << QColor(Qt::gray);
    }
    void decodes()
    {
        QFETCH(QString, between);
        QFETCH(int, decodes);
        QFETCH(QColor, second);
        QTemporaryDir dir;
        RecordingServices services(dir.path());
        QVERIFY(QDir(dir.path()).mkpath(u"pic"_s));
        // A large file: what is kept is the shown size, never the file's.
        QVERIFY(writeStar(dir.path(), {800, 800}, Qt::gray));
        AssetPictures assets;
        const QImage first = assets.get(dir.path(), Star, Shown);
        QCOMPARE(first.size(), Shown);
        QCOMPARE(first.pixelColor(39, 39), QColor(Qt::gray));

        QSize size = Shown;
        if (between == u"rewrite") {
            QVERIFY(writeStar(dir.path(), {801, 800}, Qt::yellow));
        } else if (between == u"replace") {
            QVERIFY(writeStar(dir.path(), {800, 800}, Qt::yellow));
            const QString other = dir.filePath(u"pic/other.png"_s);
            QVERIFY(QFile::rename(dir.filePath(Star), other));
            QVERIFY(QFile::copy(other, dir.filePath(Star)));
        } else if (between == u"size") {
            size = QSize(40, 40);
        }
        const QImage again = assets.get(dir.path(), Star, size);
        QCOMPARE(again.size(), size);
        QCOMPARE(again.pixelColor(size.width() / 2, size.height() / 2), second);
        QCOMPARE(assets.decodes(), decodes);
        // Many more taps cost no decode.
        for (int i = 0; i < 20; ++i)
            assets.get(dir.path(), Star, size);
        QCOMPARE(assets.decodes(), decodes);
    }

    void failures_data()
    {
        QTest::addColumn<bool>("keptBefore");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing from the start") << false << u"missing"_s << u"文件不存在"_s;
        QTest::newRow("removed after a good decode") << true << u"missing"_s << u"文件不存在"_s;
        QTest::newRow("no picture") << false << u"garbage"_s << u"不是有效的图片"_s;
        QTest::newRow("damaged after a good decode") << true << u"garbage"_s << u"不是有效的图片"_s;
    }
    void failures()
    {
        QFETCH(bool, keptBefore);
        QFETCH(QString, fault);
        QFETCH(QString, says);
        QTemporaryDir dir;
        RecordingServices services(dir.path());
        QVERIFY(QDir(dir.path()).mkpath(u"pic"_s));
        AssetPictures assets;
        if (keptBefore) {
            QVERIFY(writeStar(dir.path(), {80, 80}, Qt::gray));
            assets.get(dir.path(), Star, Shown);
        }
        QFile::remove(dir.filePath(Star));
        if (fault == u"garbage") {
            QFile f(dir.filePath(Star));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture at all");
        }
        // Every get reports the fault again; nothing stale is served.
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                assets.get(dir.path(), Star, Shown);
                QFAIL("no error");
            } catch (const KioskError &e) {
                QVERIFY2(e.message().contains(says), qPrintable(e.message()));
                QVERIFY(e.message().contains(u"huidu.png"_s));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestAssetPictures)
#include "tst_assetpictures.moc"
