// Photos keep their proportions: the covering geometry, and the pixels a picture box draws.
#include "platform/cover.h"
#include "platform/widgets/picturebox.h"

#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Three bands across the picture's long side: red, green, blue, of the given lengths.
QImage bands(Qt::Orientation along, int red, int green, int blue, int across)
{
    const int length = red + green + blue;
    QImage image(along == Qt::Horizontal ? QSize(length, across) : QSize(across, length),
                 QImage::Format_RGB32);
    QPainter p(&image);
    const auto band = [&](int from, int size, QColor color) {
        p.fillRect(along == Qt::Horizontal ? QRect(from, 0, size, across)
                                           : QRect(0, from, across, size),
                   color);
    };
    band(0, red, Qt::red);
    band(red, green, Qt::green);
    band(red + green, blue, Qt::blue);
    return image;
}

QChar colourName(QColor c)
{
    if (c.red() > 180 && c.green() < 80 && c.blue() < 80)
        return u'R';
    if (c.green() > 180 && c.red() < 80 && c.blue() < 80)
        return u'G';
    if (c.blue() > 180 && c.red() < 80 && c.green() < 80)
        return u'B';
    return u'?';
}

} // namespace

class TestPictureBox : public QObject
{
    Q_OBJECT
private slots:
    void coveringSize_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("camera photo in a tile")
            << QSize(5120, 2880) << QSize(140, 168) << QSize(299, 168);
        QTest::newRow("portrait photo in a wide box")
            << QSize(1080, 1920) << QSize(200, 100) << QSize(200, 356);
        QTest::newRow("same proportions") << QSize(600, 720) << QSize(150, 180) << QSize(150, 180);
        QTest::newRow("small picture grows") << QSize(10, 20) << QSize(100, 100) << QSize(100, 200);
        QTest::newRow("empty picture: the box") << QSize() << QSize(140, 168) << QSize(140, 168);
    }
    void coveringSize()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, box);
        QFETCH(QSize, expected);
        const QSize got = cover::coveringSize(picture, box);
        QCOMPARE(got, expected);
        // Never short of the box on either side.
        QVERIFY(got.width() >= box.width() && got.height() >= box.height());
    }

    // What a box draws, sampled along its middle line: R, G or B per sample. A wide picture of
    // bands 150 | 100 | 150 covers a 100 x 50 box at half size: the middle 200 of its 400 show,
    // so the red band takes the first quarter of the box, green the middle half, blue the last
    // quarter. Stretched, the bands would take 37, 25 and 37 percent.
    void drawnPixels_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<bool>("coverMode");
        QTest::addColumn<QString>("samples"); // at 6, 18, 30, 50, 70, 82, 94 % of the length
        QTest::newRow("wide photo, cover")
            << bands(Qt::Horizontal, 150, 100, 150, 100) << QSize(100, 50) << true << u"RRGGGBB"_s;
        QTest::newRow("tall photo, cover")
            << bands(Qt::Vertical, 150, 100, 150, 100) << QSize(50, 100) << true << u"RRGGGBB"_s;
        QTest::newRow("wide photo in a square box, cover: only the middle")
            << bands(Qt::Horizontal, 100, 100, 100, 100) << QSize(100, 100) << true << u"GGGGGGG"_s;
        QTest::newRow("tall photo in a square box, cover: only the middle")
            << bands(Qt::Vertical, 100, 100, 100, 100) << QSize(100, 100) << true << u"GGGGGGG"_s;
        QTest::newRow("wide photo, stretch (backgrounds)")
            << bands(Qt::Horizontal, 150, 100, 150, 100) << QSize(100, 50) << false << u"RRRGBBB"_s;
    }
    void drawnPixels()
    {
        QFETCH(QImage, picture);
        QFETCH(QSize, box);
        QFETCH(bool, coverMode);
        QFETCH(QString, samples);
        PictureBox pictureBox;
        pictureBox.resize(box);
        pictureBox.setScaling(coverMode ? PictureBox::Scaling::Cover
                                        : PictureBox::Scaling::Stretch);
        pictureBox.setPicture(picture);
        const QImage drawn = pictureBox.grab().toImage();
        QCOMPARE(drawn.size(), box);
        const bool wide = picture.width() > picture.height();
        const int length = wide ? box.width() : box.height();
        QString got;
        for (const int percent : {6, 18, 30, 50, 70, 82, 94}) {
            const int along = length * percent / 100;
            const QPoint at =
                wide ? QPoint(along, box.height() / 2) : QPoint(box.width() / 2, along);
            got += colourName(drawn.pixelColor(at));
        }
        QCOMPARE(got, samples);
        // The box is covered to its corners: nothing of the background shows.
        for (const QPoint corner : {QPoint(0, 0), QPoint(box.width() - 1, box.height() - 1)})
            QVERIFY(colourName(drawn.pixelColor(corner)) != u'?');
    }
};

QTEST_MAIN(TestPictureBox)
#include "tst_picturebox.moc"
