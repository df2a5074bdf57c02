#include "kiosk/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCatalogue : public QObject
{
    Q_OBJECT

private:
    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    }

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("line2");
        QTest::newRow("full scheme")
            << u"0012@一号窗口#社保业务.jpg"_s << u"一号窗口"_s << u"社保业务"_s;
        QTest::newRow("no @") << u"0012#社保业务.jpg"_s << u"0012"_s << u"社保业务"_s;
        QTest::newRow("no #") << u"0012@一号窗口.jpg"_s << QString() << u"0012@一号窗口"_s;
        QTest::newRow("neither") << u"一号窗口.jpg"_s << QString() << u"一号窗口"_s;
        // Cameras and phones name their files in other ways; the extension is never a caption.
        QTest::newRow("upper-case .JPG")
            << u"0012@一号窗口#社保业务.JPG"_s << u"一号窗口"_s << u"社保业务"_s;
        QTest::newRow("mixed-case .Jpg") << u"0012@a#b.Jpg"_s << u"a"_s << u"b"_s;
        QTest::newRow(".jpeg") << u"0012@一号窗口#社保业务.jpeg"_s << u"一号窗口"_s
                               << u"社保业务"_s;
        QTest::newRow(".JPEG") << u"0012@a#b.JPEG"_s << u"a"_s << u"b"_s;
        QTest::newRow(".png") << u"0012@一号窗口#社保业务.png"_s << u"一号窗口"_s << u"社保业务"_s;
        QTest::newRow(".PNG without #")
            << u"0012@一号窗口.PNG"_s << QString() << u"0012@一号窗口"_s;
        QTest::newRow(".JPG inside, .png at the end") << u"1@a#b.JPG.png"_s << u"a"_s << u"b.JPG"_s;
        QTest::newRow("no photo extension") << u"1@a#b.gif"_s << u"a"_s << QString();
        QTest::newRow("extension alone") << u".png"_s << QString() << QString();
        QTest::newRow("empty line 2") << u"0012@一号窗口#.jpg"_s << u"一号窗口"_s << QString();
        QTest::newRow("empty line 1") << u"0012@#社保业务.jpg"_s << QString() << u"社保业务"_s;
        QTest::newRow("empty name") << QString() << QString() << QString();
        QTest::newRow("# before @") << u"12#a@b.jpg"_s << QString() << u"a@b"_s;
        QTest::newRow("further @ in line 1") << u"1@a@b#c.jpg"_s << u"a@b"_s << u"c"_s;
        QTest::newRow("further # in line 2") << u"1@a#b#c.jpg"_s << u"a"_s << u"b#c"_s;
        QTest::newRow(".jpg inside name") << u"1@a.jpg#b.jpg"_s << u"a.jpg"_s << QString();
        QTest::newRow("@ at the end") << u"abc@"_s << QString() << QString();
        QTest::newRow("# last") << u"1@ab#"_s << u"ab"_s << QString();
        QTest::newRow("emoji and quotes") << u"0001@'😀'#50%_x.jpg"_s << u"'😀'"_s << u"50%_x"_s;
        // In GBK "@" (0x40) is also a valid trail byte, e.g. of 丂 (0x81 0x40); a byte search
        // would split such a name inside the character.
        QTest::newRow("GBK trail byte 0x40")
            << u"0001@丂号#乀业务.jpg"_s << u"丂号"_s << u"乀业务"_s;
        QTest::newRow("trail byte without @") << u"丂号#x.jpg"_s << u"丂号"_s << u"x"_s;
    }
    void split()
    {
        QFETCH(QString, name);
        QFETCH(QString, line1);
        QFETCH(QString, line2);
        const Captions c = SplitPhotoName(name);
        QCOMPARE(c.line1, line1);
        QCOMPARE(c.line2, line2);
    }

    void photoExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::newRow(".jpg") << u"a.jpg"_s << u".jpg"_s;
        QTest::newRow(".JPG") << u"a.JPG"_s << u".JPG"_s;
        QTest::newRow(".jpeg") << u"a.jpeg"_s << u".jpeg"_s;
        QTest::newRow(".JpEg") << u"a.JpEg"_s << u".JpEg"_s;
        QTest::newRow(".png") << u"a.png"_s << u".png"_s;
        QTest::newRow(".PNG") << u"a.PNG"_s << u".PNG"_s;
        QTest::newRow(".bmp") << u"a.bmp"_s << QString();
        QTest::newRow(".jpg.bak") << u"a.jpg.bak"_s << QString();
        QTest::newRow("no dot") << u"ajpg"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void photoExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QCOMPARE(photoExtensionOf(name), extension);
        QCOMPARE(isPhotoFileName(name), !extension.isEmpty());
    }

    void pageCount_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("pages");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("ten") << 10 << 1;
        QTest::newRow("eleven") << 11 << 2;
        QTest::newRow("twenty") << 20 << 2;
        QTest::newRow("twenty-one") << 21 << 3;
        QTest::newRow("twenty-five") << 25 << 3;
        QTest::newRow("5000") << 5000 << 500;
    }
    void pageCount()
    {
        QFETCH(int, n);
        QFETCH(int, pages);
        QCOMPARE(PageCountFor(n), pages);
    }

    void listingOrderAndFilter()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QStringList files = {u"0100@b#c.jpg"_s,    u"0012@a#b.jpg"_s,  u"120@x#y.jpg"_s,
                                   u"1000@z#w.jpg"_s,    u"0012@A#a.jpg"_s,  u"UPPER@u#v.JPG"_s,
                                   u".hidden@h#i.jpg"_s, u"photo.jpeg"_s,    u"photo.png"_s,
                                   u"photo.bmp"_s,       u"x.jpg.bak"_s,     u"Thumbs.db"_s,
                                   u"0050@P#q.PNG"_s,    u"0051@J#k.JPEG"_s, u"y.png.txt"_s};
        for (const QString &f : files)
            touch(d + u'/' + f);
        QVERIFY(QDir(d).mkdir(u"folder.jpg"_s));

        Catalogue c;
        c.ListPhotoFolder(d + u'/');
        QCOMPARE(c.names(), (QStringList{u".hidden@h#i.jpg"_s, u"0012@A#a.jpg"_s, u"0012@a#b.jpg"_s,
                                         u"0050@P#q.PNG"_s, u"0051@J#k.JPEG"_s, u"0100@b#c.jpg"_s,
                                         u"1000@z#w.jpg"_s, u"120@x#y.jpg"_s, u"photo.jpeg"_s,
                                         u"photo.png"_s, u"UPPER@u#v.JPG"_s}));
        QCOMPARE(c.PageCount, 0); // computed only when the window is shown
        c.computePageCount();
        QCOMPARE(c.PageCount, 2);
    }

    void lookupOutsideIsEmpty()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 3; ++i)
            touch(dir.path() + u"/%1@a#b.jpg"_s.arg(i));
        Catalogue c;
        c.ListPhotoFolder(dir.path());
        QCOMPARE(c.entry(0), u"0@a#b.jpg"_s);
        QCOMPARE(c.entry(2), u"2@a#b.jpg"_s);
        QCOMPARE(c.entry(3), QString());
        QCOMPARE(c.entry(-1), QString());
        QCOMPARE(c.entry(-10), QString());
    }

    void missingOrEmptyFolder()
    {
        QTemporaryDir dir;
        Catalogue c;
        c.ListPhotoFolder(dir.path() + u"/图片"_s);
        c.ListPhotoFolder(dir.path());
        c.ListPhotoFolder(QString());
        QCOMPARE(c.count(), 0);
        c.computePageCount();
        QCOMPARE(c.PageCount, 0);
    }

    // A link in the photo folder is listed and loaded only while what it names lies inside the
    // folder; one leading out (to a secret file, through a linked folder, dangling) is neither.
    void linksLeavingTheFolder_data()
    {
        QTest::addColumn<QString>("linkName");
        QTest::addColumn<QString>("target"); // relative to the test folder
        QTest::addColumn<bool>("listed");
        QTest::newRow("to a file outside") << u"0002@外#链.jpg"_s << u"secret.jpg"_s << false;
        QTest::newRow("to a photo inside")
            << u"0002@内#链.jpg"_s << u"photos/0001@a#b.jpg"_s << true;
        QTest::newRow("dangling") << u"0002@断#链.jpg"_s << u"missing.jpg"_s << false;
        QTest::newRow("through dot-dot")
            << u"0002@上#级.jpg"_s << u"photos/../secret.jpg"_s << false;
    }
    void linksLeavingTheFolder()
    {
        QFETCH(QString, linkName);
        QFETCH(QString, target);
        QFETCH(bool, listed);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"photos"_s));
        const QString photos = dir.filePath(u"photos"_s);
        touch(dir.filePath(u"photos/0001@a#b.jpg"_s));
        touch(dir.filePath(u"secret.jpg"_s));
        QVERIFY(QFile::link(dir.filePath(target), photos + u'/' + linkName));

        Catalogue catalogue;
        catalogue.ListPhotoFolder(photos);
        QCOMPARE(catalogue.names().contains(linkName), listed);
        QVERIFY(catalogue.names().contains(u"0001@a#b.jpg"_s));
        QCOMPARE(photoPathIn(photos, linkName).isEmpty(), !listed);
        QCOMPARE(photoPathIn(photos, u"0001@a#b.jpg"_s), photos + u"/0001@a#b.jpg"_s);
        QCOMPARE(photoPathIn(photos, QString()), QString());
    }
};

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
