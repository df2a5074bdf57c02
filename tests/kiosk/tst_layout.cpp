#include "kiosk/layout.h"
#include "platform/error.h"

#include <QHash>
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

    void absurdValuesWrapInsteadOfOverflowing()
    {
        FakeSettings s = workedExample();
        s.values[u"pic_width"_s] = 2147483647;
        s.values[u"pic_zuoyoujiange"_s] = -2147483647 - 1;
        GridLayout g;
        layoutGrid({1024, 768}, s.reader(), g);
        QVERIFY(g.rightArrowLeft.has_value());
    }
};

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
