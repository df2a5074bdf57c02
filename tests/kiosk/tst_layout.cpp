#include "kiosk/layout.h"
#include "platform/error.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Settings as a table; a key that is absent fails like a missing key. Records the reads.
struct FakeSettings
{
    QHash<QString, qint32> values;
    QStringList reads;
    NumberReader reader()
    {
        return [this](const QString &key) {
            reads.append(key);
            if (!values.contains(key))
                throw KioskError(u"'%1' is not a valid integer value"_s.arg(key));
            return values.value(key);
        };
    }
};

FakeSettings workedExample()
{
    FakeSettings s;
    s.values = {{u"biaoti_top"_s, 40},          {u"biaoti_size"_s, 36},
                {u"pic_width"_s, 150},          {u"pic_height"_s, 180},
                {u"pic_zuoyoujiange"_s, 40},    {u"pic_shangxiajiange"_s, 100},
                {u"pic_shangxiaxiuzheng"_s, 20}};
    return s;
}

// The rules a layout for a screen must keep, checked on the geometry the window computes from
// the settings; each broken rule is named.
QStringList problems(QSize screen, const ScreenLayout &fit)
{
    FakeSettings s;
    for (const auto &[key, value] : screenLayoutSettings(fit))
        s.values.insert(key, value);
    TitleLayout title;
    layoutTitle(screen.width(), s.reader(), title, screen.height());
    GridLayout g;
    GridInput in;
    in.windowWidth = screen.width();
    in.windowHeight = screen.height();
    layoutGrid(in, s.reader(), g);

    QStringList found;
    const QRect area(QPoint(0, 0), screen);
    const int line1 = captionLineHeight(fit.caption1Points);
    const int line2 = captionLineHeight(fit.caption2Points);
    QList<QRect> tiles;
    for (int k = 0; k < 10; ++k) {
        const QRect tile(*g.tileLeft[k], *g.tileTop[k], *g.tileWidth[k], *g.tileHeight[k]);
        if (!area.contains(tile))
            found << u"tile %1 off screen"_s.arg(k + 1);
        for (const QRect &other : tiles)
            if (other.intersects(tile))
                found << u"tile %1 overlaps another"_s.arg(k + 1);
        tiles << tile;
    }
    // The second line stands under the first, further down when the first is higher.
    const int row1Line2 = qMax(*g.captionTop[10], *g.captionTop[0] + line1);
    const int row2Line2 = qMax(*g.captionTop[15], *g.captionTop[5] + line1);
    if (row1Line2 + line2 > *g.tileTop[5])
        found << u"row 1 captions reach row 2"_s;
    if (row2Line2 + line2 > screen.height())
        found << u"row 2 captions off screen"_s;
    if (*g.tileLeft[1] - *g.tileLeft[0] < fit.caption1Points * 4 / 3 * 4)
        found << u"columns too narrow for a four-character caption"_s;
    const QRect left(*g.leftArrowLeft, *g.arrowTop, in.arrowWidth, in.arrowHeight);
    const QRect right(*g.rightArrowLeft, *g.arrowTop, in.arrowWidth, in.arrowHeight);
    // Arrows a finger can reach: on screen and at least 8 pixels from its edge.
    const QRect reachable = area.adjusted(8, 8, -8, -8);
    if (!reachable.contains(left) || !reachable.contains(right))
        found << u"arrow off screen or at its very edge"_s;
    for (const QRect &tile : tiles)
        if (tile.intersects(left) || tile.intersects(right))
            found << u"arrow over a tile"_s;
    const int titleBottom = *title.top + TitleHeight;
    if (*title.top < 0)
        found << u"title off screen"_s;
    const Point32 page =
        pageLabelPlace(*g.tileLeft[4], *g.tileTop[4], *g.tileWidth[4], 57, PageLabelHeight);
    if (page.top < titleBottom)
        found << u"page label under the title"_s;
    // The title text (about 4/3 pixel a point, TitleCharacters of them) inside its label.
    const int titlePixels = *title.pointSize * 4 / 3;
    if (titlePixels * 135 / 100 > TitleHeight || titlePixels * TitleCharacters > *title.width)
        found << u"title text larger than its label"_s;
    return found;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void workedExample1024x768()
    {
        FakeSettings s = workedExample();
        TitleLayout title;
        layoutTitle(1024, s.reader(), title);
        QCOMPARE(*title.width, 1019);
        QCOMPARE(*title.left, 0);
        QCOMPARE(*title.top, 40);
        QCOMPARE(*title.pointSize, 36);

        GridLayout g;
        layoutGrid({1024, 768}, s.reader(), g);
        const qint32 lefts[] = {57, 247, 437, 627, 817};
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(*g.tileWidth[k], 150);
            QCOMPARE(*g.tileHeight[k], 180);
            QCOMPARE(*g.tileTop[k], k < 5 ? 174 : 454);
            QCOMPARE(*g.tileLeft[k], lefts[k % 5]);
        }
        for (int k = 0; k < 5; ++k) {
            QCOMPARE(*g.captionTop[k], 364);
            QCOMPARE(*g.captionTop[k + 5], 644);
            QCOMPARE(*g.captionTop[k + 10], 389);
            QCOMPARE(*g.captionTop[k + 15], 669);
        }
        QCOMPARE(*g.leftArrowLeft, -18);
        QCOMPARE(*g.rightArrowLeft, 987);
        QCOMPARE(*g.arrowTop, 344);
        QCOMPARE(pageLabelPlace(817, 174, 150, 57, 17), (Point32{910, 155}));
    }

    void readsInOrder()
    {
        FakeSettings s = workedExample();
        GridLayout g;
        layoutGrid({1024, 768}, s.reader(), g);
        QStringList expected;
        for (int k = 0; k < 10; ++k)
            expected << u"pic_width"_s << u"pic_height"_s;
        expected << u"pic_shangxiajiange"_s << u"pic_shangxiaxiuzheng"_s << u"pic_shangxiajiange"_s;
        expected << u"pic_zuoyoujiange"_s;
        QCOMPARE(s.reads, expected);
    }

    void truncationTowardZero()
    {
        QCOMPARE(half(7), 3);
        QCOMPARE(half(-7), -3);
        // W - 5w - 4gh = -7 puts the first column at -3, not -4.
        FakeSettings s = workedExample();
        s.values[u"pic_width"_s] = 200;
        s.values[u"pic_zuoyoujiange"_s] = 7;
        GridLayout g;
        layoutGrid({1021, 768}, s.reader(), g); // 1021 - 1000 - 28 = -7
        QCOMPARE(*g.tileLeft[0], -3);
    }

    void negativeCorrectionMovesGridUp()
    {
        FakeSettings s = workedExample();
        s.values[u"pic_shangxiaxiuzheng"_s] = -30;
        GridLayout g;
        layoutGrid({1024, 768}, s.reader(), g);
        QCOMPARE(*g.tileTop[0], 124);
        QCOMPARE(*g.tileTop[5], 404);
        QCOMPARE(*g.captionTop[0], 314);
        QCOMPARE(*g.arrowTop, 344); // arrows stay centred
    }

    void failureLeavesLaterFieldsUnset_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("widths"); // all tile widths set
        QTest::addColumn<bool>("firstHeight");
        QTest::addColumn<bool>("tops");
        QTest::addColumn<bool>("lefts");
        QTest::newRow("pic_width") << u"pic_width"_s << false << false << false << false;
        QTest::newRow("pic_height") << u"pic_height"_s << false << false << false << false;
        QTest::newRow("pic_shangxiajiange")
            << u"pic_shangxiajiange"_s << true << true << false << false;
        QTest::newRow("pic_shangxiaxiuzheng")
            << u"pic_shangxiaxiuzheng"_s << true << true << false << false;
        QTest::newRow("pic_zuoyoujiange") << u"pic_zuoyoujiange"_s << true << true << true << false;
    }
    void failureLeavesLaterFieldsUnset()
    {
        QFETCH(QString, failing);
        QFETCH(bool, widths);
        QFETCH(bool, firstHeight);
        QFETCH(bool, tops);
        QFETCH(bool, lefts);
        FakeSettings s = workedExample();
        s.values.remove(failing);
        GridLayout g;
        QVERIFY_THROWS_EXCEPTION(KioskError, layoutGrid({1024, 768}, s.reader(), g));
        QCOMPARE(g.tileWidth[9].has_value(), widths);
        QCOMPARE(g.tileHeight[0].has_value(), firstHeight);
        QCOMPARE(g.tileTop[9].has_value(), tops);
        QCOMPARE(g.tileLeft[0].has_value(), lefts);
        QVERIFY(!g.captionTop[0].has_value());
        QVERIFY(!g.leftArrowLeft.has_value());
        if (failing == u"pic_height"_s) // the first width is set before the first height fails
            QVERIFY(g.tileWidth[0].has_value());
    }

    void titleFailure()
    {
        FakeSettings s;
        TitleLayout t;
        QVERIFY_THROWS_EXCEPTION(KioskError, layoutTitle(1024, s.reader(), t));
        QCOMPARE(*t.width, 1019);
        QCOMPARE(*t.left, 0);
        QVERIFY(!t.top && !t.pointSize);
        s.values[u"biaoti_top"_s] = 5;
        TitleLayout t2;
        QVERIFY_THROWS_EXCEPTION(KioskError, layoutTitle(1024, s.reader(), t2));
        QCOMPARE(*t2.top, 5);
        QVERIFY(!t2.pointSize);
    }

    // Values no screen can show are limited to the window before they are used; values that fit
    // stay as read.
    void valuesLimitedToTheScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<qint32>("tileWidth");
        QTest::addColumn<qint32>("tileHeight");
        QTest::addColumn<qint32>("firstLeft");
        QTest::addColumn<qint32>("firstTop");
        QTest::newRow("width 2147483647")
            << u"pic_width"_s << 2147483647 << 1024 << 180 << -2128 << 174;
        QTest::newRow("width negative") << u"pic_width"_s << -150 << 0 << 180 << 432 << 174;
        QTest::newRow("height 2147483647")
            << u"pic_height"_s << 2147483647 << 150 << 768 << 57 << -414;
        QTest::newRow("height negative") << u"pic_height"_s << -1 << 150 << 0 << 57 << 354;
        QTest::newRow("gap across negative")
            << u"pic_zuoyoujiange"_s << -40 << 150 << 180 << 137 << 174;
        QTest::newRow("gap across huge")
            << u"pic_zuoyoujiange"_s << 2147483647 << 150 << 180 << -1911 << 174;
        QTest::newRow("gap down negative")
            << u"pic_shangxiajiange"_s << -100 << 150 << 180 << 57 << 224;
        QTest::newRow("correction huge")
            << u"pic_shangxiaxiuzheng"_s << 2147483647 << 150 << 180 << 57 << 922;
        QTest::newRow("correction very negative")
            << u"pic_shangxiaxiuzheng"_s << -2147483647 - 1 << 150 << 180 << 57 << -614;
        QTest::newRow("fitting value kept")
            << u"pic_width"_s << 1000 << 1000 << 180 << -2068 << 174;
    }
    void valuesLimitedToTheScreen()
    {
        QFETCH(QString, key);
        QFETCH(qint32, value);
        QFETCH(qint32, tileWidth);
        QFETCH(qint32, tileHeight);
        QFETCH(qint32, firstLeft);
        QFETCH(qint32, firstTop);
        FakeSettings s = workedExample();
        s.values[key] = value;
        GridLayout g;
        layoutGrid({1024, 768}, s.reader(), g);
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(*g.tileWidth[k], tileWidth);
            QCOMPARE(*g.tileHeight[k], tileHeight);
        }
        QCOMPARE(*g.tileLeft[0], firstLeft);
        QCOMPARE(*g.tileTop[0], firstTop);
    }

    void titleLimitedToTheScreen_data()
    {
        QTest::addColumn<qint32>("top");
        QTest::addColumn<qint32>("size");
        QTest::addColumn<qint32>("appliedTop");
        QTest::addColumn<qint32>("appliedSize");
        QTest::newRow("fitting") << 40 << 36 << 40 << 36;
        QTest::newRow("huge") << 2147483647 << 2147483647 << 768 << 768;
        QTest::newRow("negative") << -2147483647 - 1 << -5 << -768 << 1;
    }
    void titleLimitedToTheScreen()
    {
        QFETCH(qint32, top);
        QFETCH(qint32, size);
        FakeSettings s = workedExample();
        s.values[u"biaoti_top"_s] = top;
        s.values[u"biaoti_size"_s] = size;
        TitleLayout t;
        layoutTitle(1024, s.reader(), t, 768);
        QTEST(*t.top, "appliedTop");
        QTEST(*t.pointSize, "appliedSize");
    }

    // The settings fitted to a screen, laid out by the window's own rules: everything on
    // screen, nothing overlapping, and tiles as large as fit (5 % larger ones break a rule).
    void fittedToScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("minWidth"); // the tiles are at least this wide
        QTest::newRow("1024x768") << QSize(1024, 768) << 140;
        QTest::newRow("1366x768") << QSize(1366, 768) << 180;
        QTest::newRow("1280x1024") << QSize(1280, 1024) << 180;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << 270;
        QTest::newRow("portrait 1080x1920") << QSize(1080, 1920) << 150;
        QTest::newRow("portrait 768x1024") << QSize(768, 1024) << 100;
        QTest::newRow("3840x2160") << QSize(3840, 2160) << 540;
    }
    void fittedToScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(int, minWidth);
        const ScreenLayout fit = fitToScreen(screen.width(), screen.height());
        QVERIFY2(problems(screen, fit).isEmpty(), qPrintable(problems(screen, fit).join(u"; "_s)));
        QVERIFY(fit.picWidth >= minWidth);
        // Tiles of 5:6, of 3:4 on a portrait screen.
        QCOMPARE(fit.picHeight,
                 screen.height() > screen.width() ? fit.picWidth * 4 / 3 : fit.picWidth * 6 / 5);
        QVERIFY(fit.caption1Points >= 10 && fit.caption2Points >= 9);
        QVERIFY(fit.titlePoints >= 24);

        ScreenLayout larger = fit;
        larger.picWidth = fit.picWidth * 105 / 100;
        larger.picHeight = larger.picWidth * fit.picHeight / fit.picWidth;
        QVERIFY2(!problems(screen, larger).isEmpty(), "5 % larger tiles would still fit");
    }

    // What the fit assumes of a caption line holds for the real caption font.
    void captionLineHeightCoversTheFont_data()
    {
        QTest::addColumn<int>("points");
        for (int p : {9, 10, 12, 14, 18, 22, 28, 40, 60})
            QTest::addRow("%d pt", p) << p;
    }
    void captionLineHeightCoversTheFont()
    {
        QFETCH(int, points);
        QFont f;
        f.setFamilies({u"黑体"_s, u"SimHei"_s, u"WenQuanYi Micro Hei"_s});
        f.setBold(true);
        f.setPointSize(points);
        const int shadow = 2;
        QVERIFY(QFontMetrics(f).height() + shadow <= captionLineHeight(points));
        QVERIFY(captionLineHeight(points) <= (QFontMetrics(f).height() + shadow) * 3 / 2);
    }

    void screenLayoutSettingsInBoxOrder()
    {
        const ScreenLayout l{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QList<std::pair<QString, qint32>> expected{{u"pic_width"_s, 1},
                                                   {u"pic_height"_s, 2},
                                                   {u"pic_zuoyoujiange"_s, 3},
                                                   {u"pic_shangxiajiange"_s, 4},
                                                   {u"pic_shangxiaxiuzheng"_s, 5},
                                                   {u"biaoti_top"_s, 6},
                                                   {u"xiaobiaoti1"_s, 8},
                                                   {u"xiaobiaoti2"_s, 9},
                                                   {u"biaoti_size"_s, 7}};
        QCOMPARE(screenLayoutSettings(l), expected);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
