#include "platform/color.h"
#include "platform/gbk.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestGbk : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        const QString text = u"欢迎光临四川省CD市JN区综合服务中心"_s;
        const QByteArray bytes = gbk::encode(text);
        QCOMPARE(bytes.size(), 2 * 15 + 4);
        QCOMPARE(gbk::decode(bytes), text);
    }

    void leftBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii") << u"0012@一号"_s << 4 << u"0012"_s;
        QTest::newRow("two double-byte characters") << u"一号窗口.jpg"_s << 4 << u"一号"_s;
        QTest::newRow("never half a character") << u"1一号"_s << 4 << u"1一"_s;
        QTest::newRow("shorter than limit") << u"12"_s << 4 << u"12"_s;
        QTest::newRow("mixed") << u"12@AB#CD.jpg"_s << 4 << u"12@A"_s;
        QTest::newRow("zero") << u"abc"_s << 0 << QString();
    }
    void leftBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        QFETCH(QString, expected);
        QCOMPARE(gbk::leftBytes(text, bytes), expected);
    }

    void surrogatePairNeverSplit()
    {
        // GBK cannot hold an emoji; whatever it counts for, it is taken or left whole.
        for (int limit = 1; limit <= 6; ++limit) {
            const QString left = gbk::leftBytes(u"a😀b"_s, limit);
            QVERIFY2(left.isEmpty() || !left.back().isHighSurrogate(), qPrintable(left));
        }
    }

    void colours_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QColor>("color");
        QTest::newRow("red") << 255 << QColor(255, 0, 0);
        QTest::newRow("white") << 16777215 << QColor(255, 255, 255);
        QTest::newRow("blue") << 0xFF0000 << QColor(0, 0, 255);
        QTest::newRow("cream") << 0xF0FBFF << QColor(255, 251, 240);
        QTest::newRow("no colour") << 536870911 << QColor();
        QTest::newRow("system colour") << int(0x80000005) << QColor();
    }
    void colours()
    {
        QFETCH(int, value);
        QFETCH(QColor, color);
        QCOMPARE(colors::fromBgr(value), color);
        if (color.isValid())
            QCOMPARE(colors::toBgr(color), value);
    }
};

QTEST_APPLESS_MAIN(TestGbk)
#include "tst_gbk.moc"
