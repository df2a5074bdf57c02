// The pictures the windows carry are compiled into the window library and reachable from any
// executable that links it.
#include <QImage>
#include <QImageReader>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBuiltinPictures : public QObject
{
    Q_OBJECT

private slots:
    void loads_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("main window background") << u":/builtin/main-background.jpg"_s;
        QTest::newRow("rating dialog background") << u":/builtin/dialog-background.jpg"_s;
        QTest::newRow("statistics background") << u":/builtin/stats-background.jpg"_s;
        QTest::newRow("sky of the staff windows") << u":/builtin/sky.jpg"_s;
    }
    void loads()
    {
        QFETCH(QString, path);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(1024, 768));
    }
};

QTEST_MAIN(TestBuiltinPictures)
#include "tst_builtinpictures.moc"
