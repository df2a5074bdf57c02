#include "kiosk/photorename.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RenameResult)

class TestPhotoRename : public QObject
{
    Q_OBJECT

private:
    static QStringList filesIn(const QString &dir)
    {
        QStringList names =
            QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        return names;
    }

private slots:
    void orderNumber_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("order");
        QTest::newRow("four digits") << u"0012@一号窗口#社保业务.jpg"_s << u"0012"_s;
        QTest::newRow("two Chinese characters are four bytes") << u"一号窗口.jpg"_s << u"一号"_s;
        QTest::newRow("short number takes the separator") << u"12@AB#CD.jpg"_s << u"12@A"_s;
        QTest::newRow("never cuts a double-byte character") << u"1一号.jpg"_s << u"1一"_s;
        QTest::newRow("three bytes then a Chinese character") << u"123号.jpg"_s << u"123"_s;
        QTest::newRow("shorter than four bytes") << u"ab"_s << u"ab"_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void orderNumber()
    {
        QFETCH(QString, name);
        QFETCH(QString, order);
        QCOMPARE(orderNumberOf(name), order);
    }

    void compose_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("line2");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension"); // empty: the default
        QTest::newRow("plain") << u"0003"_s << u"一号窗口"_s << u"社保业务"_s
                               << u"0003@一号窗口#社保业务.jpg"_s << QString();
        QTest::newRow("camera's .JPG kept")
            << u"0003"_s << u"a"_s << u"b"_s << u"0003@a#b.JPG"_s << u".JPG"_s;
        QTest::newRow(".png kept")
            << u"0003"_s << u"a"_s << u"b"_s << u"0003@a#b.png"_s << u".png"_s;
        QTest::newRow("blanks and control characters trimmed")
            << u" 0003\t"_s << u"\r 一号 窗口  "_s << u"\n社保业务\u0001"_s
            << u"0003@一号 窗口#社保业务.jpg"_s << QString();
        QTest::newRow("all empty")
            << QString() << QString() << QString() << u"@#.jpg"_s << QString();
        QTest::newRow("nothing padded or checked")
            << u"12@A"_s << u"AB"_s << u"CD"_s << u"12@A@AB#CD.jpg"_s << QString();
    }
    void compose()
    {
        QFETCH(QString, order);
        QFETCH(QString, line1);
        QFETCH(QString, line2);
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QCOMPARE(extension.isEmpty() ? composePhotoName(order, line1, line2)
                                     : composePhotoName(order, line1, line2, extension),
                 name);
    }

    // A renamed file keeps its own photo extension; anything else becomes a ".jpg".
    void renamedExtension_data()
    {
        QTest::addColumn<QString>("oldName");
        QTest::addColumn<QString>("extension");
        QTest::newRow(".jpg") << u"0001@a#b.jpg"_s << u".jpg"_s;
        QTest::newRow(".JPG") << u"IMG_0001.JPG"_s << u".JPG"_s;
        QTest::newRow(".jpeg") << u"0001@a#b.jpeg"_s << u".jpeg"_s;
        QTest::newRow(".PNG") << u"screen.PNG"_s << u".PNG"_s;
        QTest::newRow("no extension") << u"0001@a#b"_s << u".jpg"_s;
        QTest::newRow("other file") << u"notes.txt"_s << u".jpg"_s;
    }
    void renamedExtension()
    {
        QFETCH(QString, oldName);
        QFETCH(QString, extension);
        QCOMPARE(::renamedExtension(oldName), extension);
    }

    void listing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path();
        for (const QString &name :
             {u"0002@乙#二.jpg"_s, u"0001@甲#一.JPG"_s, u"Thumbs.db"_s, u"thumbs.db"_s,
              u"说明.txt"_s, u".hidden.jpg"_s, u"b.png"_s, u"A.png"_s, u"0010@x#y.jpeg"_s})
            writeBytes(folder + u'/' + name, "x");
        QVERIFY(QDir(folder).mkdir(u"0003@子#文件夹.jpg"_s));
        QVERIFY(QDir(folder).mkdir(u"sub"_s));

        const QStringList expected{u".hidden.jpg"_s,   u"0001@甲#一.JPG"_s, u"0002@乙#二.jpg"_s,
                                   u"0010@x#y.jpeg"_s, u"A.png"_s,          u"b.png"_s,
                                   u"thumbs.db"_s,     u"说明.txt"_s};
        QCOMPARE(ListPictureFiles(folder), expected);
        QCOMPARE(ListPictureFiles(folder + u'/'), expected);
    }

    void listingNothing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(ListPictureFiles(dir.path()).isEmpty());
        QVERIFY(ListPictureFiles(dir.path() + u"/图片"_s).isEmpty());
        QVERIFY(ListPictureFiles(QString()).isEmpty());
    }

    void rename_data()
    {
        QTest::addColumn<QString>("oldName");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<RenameResult>("result");
        QTest::newRow("new order number")
            << u"0012@一号窗口#社保业务.jpg"_s << u"0003@一号窗口#社保业务.jpg"_s
            << RenameResult::Renamed;
        QTest::newRow("case only") << u"a.jpg"_s << u"A.jpg"_s << RenameResult::Renamed;
        QTest::newRow("same name") << u"0012@一号窗口#社保业务.jpg"_s
                                   << u"0012@一号窗口#社保业务.jpg"_s << RenameResult::TargetExists;
        QTest::newRow("target exists")
            << u"0012@一号窗口#社保业务.jpg"_s << u"0001@甲#一.jpg"_s << RenameResult::TargetExists;
        QTest::newRow("slash moves into a folder")
            << u"0012@一号窗口#社保业务.jpg"_s << u"sub/x.jpg"_s << RenameResult::InvalidName;
        QTest::newRow("slash leaves the folder")
            << u"0012@一号窗口#社保业务.jpg"_s << u"0003@../x#y.jpg"_s << RenameResult::InvalidName;
        QTest::newRow("backslash")
            << u"0012@一号窗口#社保业务.jpg"_s << u"0003@a\\b#c.jpg"_s << RenameResult::InvalidName;
        QTest::newRow("empty") << u"0012@一号窗口#社保业务.jpg"_s << QString()
                               << RenameResult::InvalidName;
        QTest::newRow("dot") << u"0012@一号窗口#社保业务.jpg"_s << u"."_s
                             << RenameResult::InvalidName;
        QTest::newRow("dot dot") << u"0012@一号窗口#社保业务.jpg"_s << u".."_s
                                 << RenameResult::InvalidName;
        QTest::newRow("NUL character") << u"0012@一号窗口#社保业务.jpg"_s
                                       << u"0003@a\u0000b#c.jpg"_s << RenameResult::InvalidName;
        QTest::newRow("name too long")
            << u"0012@一号窗口#社保业务.jpg"_s << (u"0003@"_s + QString(300, u'长') + u"#x.jpg"_s)
            << RenameResult::Failed;
        QTest::newRow("missing source")
            << u"9999@无#此.jpg"_s << u"0003@a#b.jpg"_s << RenameResult::Failed;
        QTest::newRow("source outside the folder")
            << u"../outside.jpg"_s << u"0003@a#b.jpg"_s << RenameResult::InvalidName;
    }
    void rename()
    {
        QFETCH(QString, oldName);
        QFETCH(QString, newName);
        QFETCH(RenameResult, result);
        const bool renamed = result == RenameResult::Renamed;

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + u"/图片"_s;
        QVERIFY(QDir().mkpath(folder + u"/sub"_s));
        writeBytes(dir.path() + u"/outside.jpg"_s, "outside");
        const QStringList originals{u"0012@一号窗口#社保业务.jpg"_s, u"0001@甲#一.jpg"_s,
                                    u"a.jpg"_s};
        for (const QString &name : originals)
            writeBytes(folder + u'/' + name, name.toUtf8());

        QCOMPARE(renamePhoto(folder, oldName, newName), result);

        QStringList expected = originals;
        if (renamed) {
            expected.removeOne(oldName);
            expected.append(newName);
        }
        expected.sort();
        QCOMPARE(filesIn(folder), expected);
        // Every file still holds its own content; nothing was replaced or moved elsewhere.
        for (const QString &name : originals) {
            const QString now = (renamed && name == oldName) ? newName : name;
            QCOMPARE(readBytes(folder + u'/' + now), name.toUtf8());
        }
        QVERIFY(filesIn(folder + u"/sub"_s).isEmpty());
        QCOMPARE(filesIn(dir.path()), QStringList{u"outside.jpg"_s});
        QCOMPARE(readBytes(dir.path() + u"/outside.jpg"_s), QByteArray("outside"));
    }
};

QTEST_GUILESS_MAIN(TestPhotoRename)
#include "tst_photorename.moc"
