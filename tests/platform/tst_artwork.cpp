// The generated run folder: pictures the program can load, photo names the catalogue splits
// back into their captions, and an opt.ini whose values lay the screen out sensibly.
#include "artwork.h"
#include "config/settingsfile.h"
#include "kiosk/catalogue.h"
#include "kiosk/layout.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QRgb meanColour(const QImage &image)
{
    const QImage tiny = image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return tiny.pixel(0, 0);
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private slots:
    void freshRunFolder()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const artwork::RunFolderReport report = artwork::writeRunFolder(tmp.path());
        QVERIFY(report.ok);
        QVERIFY(report.wroteOptIni);
        QVERIFY(report.wrotePhotos);
        for (const QString &name : artwork::picFileNames())
            QVERIFY2(QFileInfo::exists(tmp.filePath(u"pic/"_s + name)), qPrintable(name));
        QCOMPARE(QDir(tmp.filePath(u"图片"_s)).entryList({u"*.jpg"_s}, QDir::Files).size(), 14);
    }

    void picFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<QSize>("size");
        QTest::newRow("left arrow")
            << u"xiangzuo.png"_s << QByteArray("png") << true << QSize(110, 160);
        QTest::newRow("right arrow")
            << u"xiangyou.png"_s << QByteArray("png") << true << QSize(110, 160);
        QTest::newRow("default background")
            << u"背景图片.jpg"_s << QByteArray("jpeg") << false << QSize(1024, 768);
        QTest::newRow("grey star")
            << u"huidu.png"_s << QByteArray("png") << true << QSize(156, 156);
        QTest::newRow("lit star") << u"zhengchang.png"_s << QByteArray("png") << true
                                  << QSize(156, 156);
    }
    void picFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(bool, transparent);
        QFETCH(QSize, size);
        QTemporaryDir tmp;
        QVERIFY(artwork::writePicFolder(tmp.path()));
        // The program picks the decoder by extension, so the content must match it.
        QImageReader reader(tmp.filePath(name));
        QCOMPARE(reader.format(), format);
        const QImage image = reader.read();
        QCOMPARE(image.size(), size);
        if (transparent) {
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
        }
    }

    void arrowsMirrorEachOther()
    {
        const QImage left = artwork::arrow(artwork::Direction::Left);
        const QImage right = artwork::arrow(artwork::Direction::Right);
        // The left arrow's tip is on its left: more paint in its left third than the right one has.
        auto opaqueIn = [](const QImage &img, int x0, int x1) {
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = x0; x < x1; ++x)
                    n += qAlpha(img.pixel(x, y)) > 128;
            return n;
        };
        const int third = left.width() / 3;
        QVERIFY(opaqueIn(left, 0, third) < opaqueIn(left, 2 * third, left.width()));
        QVERIFY(opaqueIn(right, 0, third) > opaqueIn(right, 2 * third, right.width()));
    }

    void litAndGreyStarsDiffer()
    {
        const QRgb lit = meanColour(artwork::star(true));
        const QRgb grey = meanColour(artwork::star(false));
        // Golden: clearly more red than blue. Grey: about as much of each.
        QVERIFY(qRed(lit) - qBlue(lit) > 60);
        QVERIFY(qAbs(qRed(grey) - qBlue(grey)) < 20);
    }

    // Staff edits survive: opt.ini and the photo folder are left alone, pic/ is renewed.
    void runFolderKeepsStaffFiles()
    {
        QTemporaryDir tmp;
        const QByteArray ini =
            gbk::encode(u"[canshu]\r\npic_width=99\r\npic_bg=D:\\照片\\大厅.jpg\r\n"_s);
        QVERIFY(writeBytes(tmp.filePath(u"opt.ini"_s), ini));
        QVERIFY(QDir(tmp.path()).mkpath(u"图片"_s));
        QVERIFY(writeBytes(tmp.filePath(u"图片/0001@我的窗口#业务.jpg"_s), "staff photo"));
        QVERIFY(QDir(tmp.path()).mkpath(u"pic"_s));
        QVERIFY(writeBytes(tmp.filePath(u"pic/xiangzuo.png"_s), "broken"));

        const artwork::RunFolderReport report = artwork::writeRunFolder(tmp.path());
        QVERIFY(report.ok);
        QVERIFY(!report.wroteOptIni);
        QVERIFY(!report.wrotePhotos);
        QCOMPARE(readBytes(tmp.filePath(u"opt.ini"_s)), ini);
        QCOMPARE(QDir(tmp.filePath(u"图片"_s)).entryList(QDir::Files),
                 QStringList{u"0001@我的窗口#业务.jpg"_s});
        QVERIFY(!QImage(tmp.filePath(u"pic/xiangzuo.png"_s)).isNull());
    }

    void optIniIsAWindowsProfile()
    {
        QTemporaryDir tmp;
        QVERIFY(artwork::writeDefaultOptIni(tmp.filePath(u"opt.ini"_s)));
        const QByteArray bytes = readBytes(tmp.filePath(u"opt.ini"_s));
        QVERIFY(bytes.startsWith("[canshu]\r\n"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        const SettingsFile settings(tmp.path());
        const auto expected = artwork::defaultSettings();
        QCOMPARE(expected.size(), 12);
        for (const auto &[key, value] : expected)
            QCOMPARE(settings.ReadSettingNumber(key), value);
    }

    // The delivered values lay the grid out on common kiosk screens with the arrows, all caption
    // lines and the page label on screen and clear of the title and of each other.
    // The delivered values, and those fitted to a screen, lay the grid out with the arrows, all
    // caption lines and the page label on screen and clear of the title and of each other.
    void defaultLayoutFits_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("fittedTo"); // empty: the delivered values
        QTest::newRow("1024x768") << QSize(1024, 768) << QSize();
        QTest::newRow("1366x768") << QSize(1366, 768) << QSize();
        QTest::newRow("1280x1024") << QSize(1280, 1024) << QSize();
        QTest::newRow("1920x1080") << QSize(1920, 1080) << QSize();
        for (const QSize s : {QSize(1024, 768), QSize(1366, 768), QSize(1920, 1080),
                              QSize(1080, 1920), QSize(800, 600)})
            QTest::addRow("fitted to %dx%d", s.width(), s.height()) << s << s;
    }
    void defaultLayoutFits()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, fittedTo);
        QTemporaryDir tmp;
        QVERIFY(artwork::writeDefaultOptIni(tmp.filePath(u"opt.ini"_s), fittedTo));
        const SettingsFile settings(tmp.path());
        const NumberReader read = [&settings](const QString &key) {
            return settings.ReadSettingNumber(key);
        };
        if (fittedTo.isValid()) {
            const ScreenLayout fit = fitToScreen(fittedTo.width(), fittedTo.height());
            for (const auto &[key, value] : screenLayoutSettings(fit))
                QCOMPARE(read(key), value);
        }
        QCOMPARE(settings.ReadSetting(u"biaoti_wenzi"_s), artwork::defaultTitle());
        QCOMPARE(read(u"biaoti_color"_s), 65535);

        TitleLayout title;
        layoutTitle(screen.width(), read, title, screen.height());
        GridInput in;
        in.windowWidth = screen.width();
        in.windowHeight = screen.height();
        GridLayout grid;
        layoutGrid(in, read, grid);

        const int line1 = captionLineHeight(read(u"xiaobiaoti1"_s));
        const int line2 = captionLineHeight(read(u"xiaobiaoti2"_s));
        const int titleBottom = *title.top + TitleHeight;
        const int pageLabelTop =
            pageLabelPlace(*grid.tileLeft[4], *grid.tileTop[4], *grid.tileWidth[4], 57, 17).top;
        QVERIFY2(pageLabelTop >= titleBottom, "page label under the title");
        QVERIFY(*grid.leftArrowLeft >= 0);
        QVERIFY(*grid.rightArrowLeft + in.arrowWidth <= screen.width());
        const int row1Line2 = qMax(*grid.captionTop[10], *grid.captionTop[0] + line1);
        const int row2Line2 = qMax(*grid.captionTop[15], *grid.captionTop[5] + line1);
        QVERIFY2(row1Line2 + line2 <= *grid.tileTop[5], "row 1 captions above row 2");
        QVERIFY2(row2Line2 + line2 <= screen.height(), "row 2 captions on screen");
    }

    // The catalogue lists the sample photos in their order and splits every name back into the
    // captions it was made from.
    void samplePhotosRoundTrip()
    {
        QTemporaryDir tmp;
        const int count = 23;
        QVERIFY(artwork::writeSamplePhotos(tmp.path(), count, QSize(60, 72)));
        Catalogue catalogue;
        catalogue.ListPhotoFolder(tmp.path());
        QCOMPARE(catalogue.count(), count);
        QSet<QString> lines;
        for (int i = 0; i < count; ++i) {
            QCOMPARE(catalogue.entry(i), artwork::samplePhotoName(i));
            const artwork::SampleEntry e = artwork::sampleEntry(i);
            QCOMPARE(SplitPhotoName(catalogue.entry(i)), (Captions{e.line1, e.line2}));
            QCOMPARE(gbk::decode(gbk::encode(catalogue.entry(i))), catalogue.entry(i));
            lines.insert(e.line1);
        }
        QCOMPARE(lines.size(), count);
        QCOMPARE(QImage(tmp.filePath(catalogue.entry(0))).size(), QSize(60, 72));
    }

    void neighbouringPhotosLookDifferent()
    {
        for (int i = 0; i + 1 < 14; ++i) {
            const QRgb a = meanColour(artwork::samplePhoto(i, QSize(120, 144)));
            const QRgb b = meanColour(artwork::samplePhoto(i + 1, QSize(120, 144)));
            const int distance =
                qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
            QVERIFY2(distance > 30, qPrintable(u"photos %1 and %2"_s.arg(i + 1).arg(i + 2)));
        }
    }

    // Benchmarks need photos as heavy as a camera's: 2 to 5 MB each at full size.
    void cameraPhotosAreHeavy_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("least noise") << 0;
        QTest::newRow("most noise") << 3;
    }
    void cameraPhotosAreHeavy()
    {
        QFETCH(int, index);
        QTemporaryDir tmp;
        QVERIFY(artwork::writeCameraPhotos(tmp.path(), index + 1));
        const QFileInfo file(tmp.filePath(artwork::cameraPhotoName(index)));
        QVERIFY(file.size() > 2'000'000);
        QVERIFY(file.size() < 5'000'000);
        QCOMPARE(QImageReader(file.filePath()).size(), QSize(4000, 3000));
    }
};

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
