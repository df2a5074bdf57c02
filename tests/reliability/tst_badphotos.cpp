// The photo folder as staff may leave it: broken pictures, pictures that lie about their size,
// odd file names and thousands of files. Each tile shows what it can, paging works, and a tap
// stores the name as the tile shows it.
#include "config/tform6.h"
#include "evaluation/tform2.h"
#include "kiosk/catalogue.h"
#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "kiosk/tilecache.h"
#include "kiosk/tileimages.h"
#include "platform/cover.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/labelededit.h"
#include "platform/widgets/picturebox.h"
#include "support/dbcheck.h"
#include "support/recorder.h"
#include "support/runfolder.h"
#include "support/startup.h"

#include <QListWidget>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using runfolder::RunFolder;

namespace {

const QString Thanks = u"评价成功！谢谢。"_s;

// Whether box shows a picture of no more pixels than it takes to cover the box with a picture
// of size full (its proportions kept); a picture decoded at its own size is far larger.
bool heldAtShownSize(const PictureBox *box, QSize full)
{
    const QSize held = box->picture().size();
    const QSize covering = cover::coveringSize(full, box->size());
    return !box->isEmpty() && held.width() <= covering.width() &&
           held.height() <= covering.height();
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG header (with its checksum) claiming width x height, followed by the data of a
// small picture.
QByteArray pngClaiming(int width, int height)
{
    QByteArray bytes = runfolder::encoded(solid({16, 16}, Qt::blue), "PNG");
    // Signature (8), IHDR length (4), "IHDR" at 12, width at 16, height at 20, CRC at 29.
    auto put32 = [&bytes](qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
    };
    put32(16, quint32(width));
    put32(20, quint32(height));
    put32(29, crc32(bytes.mid(12, 17)));
    return bytes;
}

QString longName()
{
    // 255 bytes in UTF-8, the longest name the file system holds.
    const QString name =
        u"0010@"_s + QString(60, u'长') + u'#' + QString(20, u'名') + u"abcde.jpg"_s;
    Q_ASSERT(name.toUtf8().size() == 255);
    return name;
}

struct Photo
{
    QString name;
    QByteArray bytes;
    bool showsPicture; // false: the tile must be empty; true: it must show the picture
    bool maybePartial; // a picture cut short may show its first part or nothing
};

QList<Photo> mixedFolder()
{
    const QByteArray good = runfolder::encoded(solid({200, 200}, Qt::red), "JPEG");
    const QByteArray png = runfolder::encoded(solid({200, 200}, Qt::red), "PNG");
    return {
        {u"0001@零字节#空文件.jpg"_s, QByteArray(), false, false},
        {u"0002@截断#一半.jpg"_s, good.left(good.size() / 2), false, true},
        {u"0003@截断#文件头.jpg"_s, good.left(20), false, false},
        {u"0004@PNG#改名为jpg.jpg"_s, png, false, false},
        {u"0005@巨大#60000x60000.jpg"_s, runfolder::jpegClaiming(60000, 60000), false, false},
        {u"0006@王'五#\"引号\".jpg"_s, good, true, false},
        {u"0007@100%#满意_率.jpg"_s, good, true, false},
        {u"0008@笑脸😀#表情🎉.jpg"_s, good, true, false},
        {u"0009@Ωmega한국어#ąęł€.jpg"_s, good, true, false},
        {longName(), good, true, false},
        {u"0011@第二页#照片.jpg"_s, good, true, false},
        {u"0012@第二页#'; DROP TABLE 评价; --.jpg"_s, good, true, false},
    };
}

std::array<PictureBox *, 10> tiles()
{
    return {Form1->Image4, Form1->Image5,  Form1->Image6,  Form1->Image7,  Form1->Image8,
            Form1->Image9, Form1->Image10, Form1->Image11, Form1->Image12, Form1->Image13};
}
std::array<AALabel *, 10> line1()
{
    return {Form1->CnAALabel1, Form1->CnAALabel2, Form1->CnAALabel3, Form1->CnAALabel4,
            Form1->CnAALabel5, Form1->CnAALabel6, Form1->CnAALabel7, Form1->CnAALabel8,
            Form1->CnAALabel9, Form1->CnAALabel10};
}
std::array<AALabel *, 10> line2()
{
    return {Form1->CnAALabel11, Form1->CnAALabel12, Form1->CnAALabel13, Form1->CnAALabel14,
            Form1->CnAALabel15, Form1->CnAALabel16, Form1->CnAALabel17, Form1->CnAALabel18,
            Form1->CnAALabel19, Form1->CnAALabel20};
}

void tapTile(int k)
{
    void (TForm1::*taps[10])() = {
        &TForm1::Image4Click,  &TForm1::Image5Click, &TForm1::Image6Click,  &TForm1::Image7Click,
        &TForm1::Image8Click,  &TForm1::Image9Click, &TForm1::Image10Click, &TForm1::Image11Click,
        &TForm1::Image12Click, &TForm1::Image13Click};
    (Form1->*taps[k])();
}

} // namespace

class TestBadPhotos : public QObject
{
    Q_OBJECT

private:
    StartupRun m_run;

    // Checks one page: captions from the names, pictures where they can be shown, empty tiles
    // elsewhere and after the last photo.
    void verifyPage(const QList<Photo> &photos, int page)
    {
        for (int k = 0; k < 10; ++k) {
            const int i = 10 * page + k;
            const QString name = i < photos.size() ? photos[i].name : QString();
            const Captions c = SplitPhotoName(name);
            QCOMPARE(line1()[k]->text(), c.line1);
            QCOMPARE(line2()[k]->text(), c.line2);
            if (i < photos.size() && photos[i].showsPicture)
                QTRY_VERIFY2(!tiles()[k]->isEmpty(), qPrintable(name));
        }
        // Once the good ones are there, the others have had their chance too.
        for (int k = 0; k < 10; ++k) {
            const int i = 10 * page + k;
            if (i >= photos.size() || (!photos[i].showsPicture && !photos[i].maybePartial))
                QVERIFY2(tiles()[k]->isEmpty(), qPrintable(u"tile %1"_s.arg(k + 1)));
        }
    }

private slots:
    void init()
    {
        QVERIFY(m_run.begin());
        m_run.rec->setNow(QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0)));
    }

    void cleanup() { m_run.end(); }

    void eachTileShowsWhatItCan()
    {
        const QList<Photo> photos = mixedFolder();
        for (const Photo &p : photos)
            QVERIFY2(m_run.folder->writePhoto(p.name, p.bytes), qPrintable(p.name));
        // The names really are beyond the system code page where they claim to be.
        QVERIFY(gbk::decode(gbk::encode(photos[8].name)) != photos[8].name);

        CreateForms();
        QCOMPARE(m_run.rec->errors, QStringList());
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QCOMPARE(Form1->catalogue.count(), photos.size());
        QCOMPARE(Form1->catalogue.PageCount, 2);
        verifyPage(photos, 0);

        Form1->Image2Click();
        QCOMPARE(Form1->CnAALabel22->text(), u"第2页"_s);
        verifyPage(photos, 1);
        Form1->Image2Click(); // wraps to the first page
        QCOMPARE(Form1->CnAALabel22->text(), u"第1页"_s);
        verifyPage(photos, 0);
        Form1->Image1Click(); // and back to the last
        QCOMPARE(Form1->CnAALabel22->text(), u"第2页"_s);
        verifyPage(photos, 1);
        QCOMPARE(m_run.rec->errors, QStringList());
    }

    // A tap on any tile with a photo, broken picture or odd name, stores the name exactly as its
    // two caption lines show it.
    void tapStoresTheNameAsShown()
    {
        const QList<Photo> photos = mixedFolder();
        for (const Photo &p : photos)
            QVERIFY(m_run.folder->writePhoto(p.name, p.bytes));
        CreateForms();
        QCOMPARE(m_run.rec->errors, QStringList());
        Form1->show(); // counts the pages
        QVERIFY(QTest::qWaitForWindowExposed(Form1));

        QList<QStringList> expected;
        for (int page = 0; page < 2; ++page) {
            for (int k = 0; k < 10; ++k) {
                const int i = 10 * page + k;
                const Captions c = SplitPhotoName(i < photos.size() ? photos[i].name : QString());
                const QString shown = c.line1 + u"  "_s + c.line2;
                QTRY_COMPARE(line1()[k]->text() + u"  "_s + line2()[k]->text(), shown);
                tapTile(k);
                // A tile after the last photo takes no rating.
                if (i >= photos.size()) {
                    QVERIFY(!Form2->isVisible());
                    continue;
                }
                QVERIFY(Form2->isVisible());
                QCOMPARE(Form2->CnAALabel1->text(), shown);
                Form2->Image4Click();
                Form2->RzButton1Click();
                QCOMPARE(m_run.rec->noticeTexts().last(), Thanks);
                expected.append({shown, u"2024-03-01"_s, u"10:00:00"_s, u"比较满意"_s});
            }
            Form1->Image2Click();
        }
        QCOMPARE(m_run.rec->errors, QStringList());
        QCOMPARE(dbcheck::table(m_run.folder->db()), expected);
    }

    // The picture editing window lists the same folder and fills its boxes for every name it can
    // show; the others leave the boxes as they were, silently.
    void pictureEditingWindowListsOddNames()
    {
        const QList<Photo> photos = mixedFolder();
        for (const Photo &p : photos)
            QVERIFY(m_run.folder->writePhoto(p.name, p.bytes));
        CreateForms();
        Form6->show();
        QCOMPARE(Form6->ListBox1->count(), photos.size());
        for (int i = 0; i < photos.size(); ++i) {
            QCOMPARE(Form6->ListBox1->item(i)->text(), photos[i].name);
            Form6->ListBox1->setCurrentRow(i);
            if (photos[i].showsPicture) {
                const Captions c = SplitPhotoName(photos[i].name);
                QCOMPARE(Form6->LabeledEdit1->text(), c.line1);
                QCOMPARE(Form6->LabeledEdit2->text(), c.line2);
            }
        }
        QCOMPARE(m_run.rec->errors, QStringList());
    }

    // Pictures whose header claims far more pixels than any screen shows are refused before
    // anything is allocated for them, in tiles and as the configured background (what that
    // costs in memory is a figure of make bench).
    void hugeHeadersRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("JPEG 60000 x 60000") << runfolder::jpegClaiming(60000, 60000) << u"jpg"_s;
        QTest::newRow("JPEG 65535 x 65535") << runfolder::jpegClaiming(65535, 65535) << u"jpg"_s;
        QTest::newRow("JPEG 20000 x 6000 (just over the limit)")
            << runfolder::jpegClaiming(20000, 6000) << u"jpg"_s;
        QTest::newRow("PNG 60000 x 60000") << pngClaiming(60000, 60000) << u"png"_s;
        QTest::newRow("PNG 2^31-1 wide") << pngClaiming(0x7FFFFFFF, 1) << u"png"_s;
    }
    void hugeHeadersRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        const QString picture = m_run.folder->path(u"pic/huge."_s + suffix);
        QVERIFY(runfolder::writeBytes(picture, bytes));
        if (suffix == u"jpg")
            QVERIFY(m_run.folder->writePhoto(u"0001@巨大#照片.jpg"_s, bytes));
        QVERIFY(m_run.folder->writeSettings(runfolder::section(runfolder::goodSettings()) +
                                            "pic_bg=pic\\huge." + suffix.toLatin1() + "\r\n"));

        QVERIFY(tileimages::loadByExtension(picture).isNull());
        QVERIFY(loadTileImage(picture, {150, 180}).isNull());
        CreateForms();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form2->show();
        QCoreApplication::processEvents();

        QCOMPARE(m_run.rec->errors, QStringList());
        QVERIFY(Form1->Image4->isEmpty());
        // The main window falls back to the default background, the dialog keeps its own.
        const QImage shown = Form1->Image3->picture().toImage();
        QVERIFY(!shown.isNull());
        const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY2(qAbs(centre.blue() - RunFolder::DefaultBackground.blue()) < 24,
                 qPrintable(centre.name()));
        QVERIFY(!Form2->Image7->isEmpty());
    }

    // A picture within the pixel limit is decoded at the size it is shown at, not at its own:
    // the background, the tile, the dialog's background and the editing window's preview each
    // hold no more than their box shows (the peak memory that takes is a figure of make bench).
    void largePictureDecodedAtShownSize()
    {
        const QSize full(10000, 9000);
        const QByteArray bytes = runfolder::jpegClaiming(full.width(), full.height());
        QVERIFY(runfolder::writeBytes(m_run.folder->path(u"pic/large.jpg"_s), bytes));
        QVERIFY(m_run.folder->writePhoto(u"0001@大图#照片.jpg"_s, bytes));
        QVERIFY(m_run.folder->writeSettings(runfolder::section(runfolder::goodSettings()) +
                                            "pic_bg=pic\\large.jpg\r\n"));
        CreateForms();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form2->show();
        QCoreApplication::processEvents();
        QTRY_VERIFY(!Form1->Image4->isEmpty());
        tapTile(0);
        Form6->show();
        QCoreApplication::processEvents();
        QCOMPARE(m_run.rec->errors, QStringList());
        QCOMPARE(Form6->ListBox1->currentRow(), 0);
        for (const PictureBox *box : {Form1->Image3, Form1->Image4, Form2->Image7, Form6->Image2})
            QVERIFY2(heldAtShownSize(box, full),
                     qPrintable(u"%1 holds %2 x %3"_s.arg(box->objectName())
                                    .arg(box->picture().width())
                                    .arg(box->picture().height())));
    }

    // 5,000 photos: start-up shows the first page, every page turn the right one, and what is
    // kept stays within the cache's budget (the times and the memory are figures of make bench).
    void fiveThousandPhotos()
    {
        const int count = 5000;
        const QByteArray photo = runfolder::encoded(solid({400, 400}, Qt::red), "JPEG");
        for (int n = 1; n <= count; ++n)
            QVERIFY(m_run.folder->writePhoto(
                u"%1@窗口%2#业务.jpg"_s.arg(n, 4, 10, QChar(u'0')).arg(n), photo));

        CreateForms();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QTRY_VERIFY(!Form1->Image13->isEmpty());
        QCOMPARE(m_run.rec->errors, QStringList());
        QCOMPARE(Form1->catalogue.PageCount, count / 10);

        // Forward, backward over the wrap to the last page, and a jump from there to the first.
        const QList<bool> turns = {true, true, true, false, false, false, false, true};
        for (bool forward : turns) {
            forward ? Form1->Image2Click() : Form1->Image1Click();
            const int first = 10 * Form1->pageIndex + 1;
            QTRY_COMPARE(line1()[9]->text(), u"窗口%1"_s.arg(first + 9));
            QTRY_VERIFY(!Form1->Image13->isEmpty());
            QCOMPARE(line1()[0]->text(), u"窗口%1"_s.arg(first));
        }
        QCOMPARE(Form1->CnAALabel22->text(), u"第1页"_s);

        // The picture editing window lists them all.
        Form6->show();
        QCOMPARE(Form6->ListBox1->count(), count);

        // Whatever is prepared or kept in the background stays within the cache's budget, not a
        // picture per file of the folder: only the pages shown and their neighbours are decoded.
        QCoreApplication::processEvents();
        tilecache::waitForPrefetch();
        const tilecache::TileCache &cache = tilecache::shared();
        QVERIFY2(cache.bytes() <= cache.budget(), qPrintable(QString::number(cache.bytes())));
        QVERIFY2(tilecache::decodeCount() < count / 10,
                 qPrintable(QString::number(tilecache::decodeCount())));
    }
};

QTEST_MAIN(TestBadPhotos)
#include "tst_badphotos.moc"
