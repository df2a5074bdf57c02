#include "central/forwarder.h"
#include "config/settingsfile.h"
#include "evaluation/tform2.h"
#include "kiosk/tform1.h"
#include "platform/gbk.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "reports/reportwindow.h"
#include "store/schema.h"
#include "support/files.h"
#include "support/pictures.h"
#include "support/recorder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QPainter>
#include <QPointingDevice>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QRect Screen(0, 0, 1024, 768);
const QString CreationWelcome = u"欢迎光临四川省CD市JN区综合服务中心0"_s;
const QString ShowWelcome = u"欢迎光临四川省CD市JN区综合服务中心3"_s;
const QColor DefaultBackground(40, 90, 160);

// The worked example of the grid plus font sizes and colours.
QMap<QString, QString> goodSettings()
{
    return {{u"pic_width"_s, u"150"_s},           {u"pic_height"_s, u"180"_s},
            {u"pic_zuoyoujiange"_s, u"40"_s},     {u"pic_shangxiajiange"_s, u"100"_s},
            {u"pic_shangxiaxiuzheng"_s, u"20"_s}, {u"biaoti_top"_s, u"30"_s},
            {u"biaoti_size"_s, u"36"_s},          {u"biaoti_color"_s, u"255"_s},
            {u"xiaobiaoti1"_s, u"12"_s},          {u"xiaobiaoti2"_s, u"10"_s},
            {u"xiaobiaoti1_color"_s, u"65280"_s}, {u"xiaobiaoti2_color"_s, u"16711680"_s}};
}

QColor centre(const PictureBox *box)
{
    return ::centre(box->picture().toImage());
}

// Counts how often the dialog's show-time actions run.
class CountingForm2 : public TForm2
{
public:
    int shows = 0;
    QString nameAtShow;

protected:
    void FormShow() override
    {
        ++shows;
        nameAtShow = CnAALabel1->text();
        TForm2::FormShow();
    }
};

} // namespace

class TestTForm1 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingServices> m_services;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<CountingForm2> m_dialog;
    QPointingDevice *m_touch = nullptr;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    void writeSettings(const QMap<QString, QString> &settings)
    {
        QString text = u"[canshu]\r\n"_s;
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            text += it.key() + u'=' + it.value() + u"\r\n"_s;
        QFile f(path(u"opt.ini"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk::encode(text));
    }
    void writeArrows()
    {
        QDir(m_dir->path()).mkpath(u"pic"_s);
        QVERIFY(solid({55, 80}, Qt::yellow).save(path(u"pic/xiangzuo.png"_s), "PNG"));
        QVERIFY(solid({55, 80}, Qt::cyan).save(path(u"pic/xiangyou.png"_s), "PNG"));
        QVERIFY(solid({320, 240}, DefaultBackground).save(path(u"pic/背景图片.jpg"_s), "JPEG"));
    }
    void writePhotos(int count)
    {
        QDir(m_dir->path()).mkpath(u"图片"_s);
        for (int n = 1; n <= count; ++n)
            QVERIFY(solid({200, 200}, photoColor(n)).save(path(u"图片/"_s + photoName(n)), "JPEG"));
    }
    // A complete run folder: settings, assets and photos.
    void writeFolder(int photos)
    {
        writeSettings(goodSettings());
        writeArrows();
        writePhotos(photos);
    }
    TForm1 *createForm()
    {
        m_form = std::make_unique<TForm1>(Screen);
        m_form->setWindows(m_dialog.get(), nullptr, nullptr, nullptr);
        // The blink would hide the arrows in the middle of a test.
        m_form->Timer1->stop();
        return m_form.get();
    }
    CountingForm2 *createDialog()
    {
        m_dialog = std::make_unique<CountingForm2>();
        if (m_form)
            m_form->setWindows(m_dialog.get(), nullptr, nullptr, nullptr);
        return m_dialog.get();
    }
    TForm1 *showForm()
    {
        TForm1 *form = m_form ? m_form.get() : createForm();
        form->show();
        if (!QTest::qWaitForWindowExposed(form))
            return nullptr;
        return form;
    }
    // A complete folder with photos, the main window created (with the dialog when asked) and
    // shown; nullptr when the window does not come up.
    TForm1 *shownForm(int photos, CountingForm2 **dialog = nullptr)
    {
        writeFolder(photos);
        createForm();
        if (dialog)
            *dialog = createDialog();
        return showForm();
    }

    static std::array<PictureBox *, 10> tiles(const TForm1 *f)
    {
        return {f->Image4, f->Image5,  f->Image6,  f->Image7,  f->Image8,
                f->Image9, f->Image10, f->Image11, f->Image12, f->Image13};
    }
    static std::array<AALabel *, 10> line1(const TForm1 *f)
    {
        return {f->CnAALabel1, f->CnAALabel2, f->CnAALabel3, f->CnAALabel4, f->CnAALabel5,
                f->CnAALabel6, f->CnAALabel7, f->CnAALabel8, f->CnAALabel9, f->CnAALabel10};
    }
    static std::array<AALabel *, 10> line2(const TForm1 *f)
    {
        return {f->CnAALabel11, f->CnAALabel12, f->CnAALabel13, f->CnAALabel14, f->CnAALabel15,
                f->CnAALabel16, f->CnAALabel17, f->CnAALabel18, f->CnAALabel19, f->CnAALabel20};
    }
    static QRect designTile(int k)
    {
        static const QPoint places[10] = {{424, 240}, {440, 248}, {448, 256}, {456, 264},
                                          {464, 272}, {472, 280}, {480, 288}, {488, 296},
                                          {496, 304}, {504, 312}};
        return {places[k], QSize(105, 105)};
    }

private slots:
    void initTestCase() { m_touch = QTest::createTouchDevice(); }
    // The test owns the device; deleting it unregisters it.
    void cleanupTestCase() { delete m_touch; }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_services = std::make_unique<RecordingServices>(m_dir->path(), m_dir->path());
    }

    void cleanup()
    {
        if (m_form && m_form->PopupMenu1)
            m_form->PopupMenu1->hide();
        m_dialog.reset();
        m_form.reset();
        m_services.reset();
        m_dir.reset();
    }

    // ---- creation -------------------------------------------------------------------------

    void workedExampleLayout()
    {
        writeFolder(3);
        TForm1 *f = createForm();
        QCOMPARE(m_services->errors, QStringList());

        QCOMPARE(f->CnAALabel21->geometry(), QRect(0, 30, 1019, 113));
        QCOMPARE(f->CnAALabel21->font().pointSize(), 36);
        QCOMPARE(f->CnAALabel21->text(), CreationWelcome);

        const int lefts[5] = {57, 247, 437, 627, 817};
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(tiles(f)[k]->geometry(), QRect(lefts[k % 5], k < 5 ? 174 : 454, 150, 180));
            QCOMPARE(line1(f)[k]->y(), k < 5 ? 364 : 644);
            QCOMPARE(line2(f)[k]->y(), k < 5 ? 389 : 669);
            QCOMPARE(line1(f)[k]->x(), lefts[k % 5]);
            QCOMPARE(line2(f)[k]->x(), lefts[k % 5]);
            QCOMPARE(line1(f)[k]->font().pointSize(), 12);
            QCOMPARE(line2(f)[k]->font().pointSize(), 10);
        }
        QCOMPARE(f->Image1->geometry(), QRect(-18, 344, 55, 80));
        QCOMPARE(f->Image2->geometry(), QRect(987, 344, 55, 80));
        QCOMPARE(f->CnAALabel22->geometry(), QRect(910, 155, 57, 17));
        QCOMPARE(f->CnAALabel22->text(), u"第1页"_s);

        // The first page is filled before the window is shown.
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(line1(f)[k]->text(), u"窗口%1"_s.arg(k + 1));
            QCOMPARE(line2(f)[k]->text(), u"业务%1"_s.arg(k + 1));
            QVERIFY(near(centre(tiles(f)[k]), photoColor(k + 1)));
        }
        for (int k = 3; k < 10; ++k) {
            QVERIFY(tiles(f)[k]->isEmpty());
            QCOMPARE(line1(f)[k]->text(), QString());
        }
        QVERIFY(!f->Image1->isEmpty());
        QVERIFY(!f->Image2->isEmpty());
        QCOMPARE(f->catalogue.PageCount, 0);
    }

    void creationWithoutSettings()
    {
        writeArrows();
        writePhotos(3);
        TForm1 *f = createForm();
        QCOMPARE(m_services->errors, QStringList{u"'biaoti_top' is not a valid integer value."_s});

        QCOMPARE(f->CnAALabel21->text(), CreationWelcome);
        QCOMPARE(f->CnAALabel21->geometry(), QRect(0, 16, 1019, 113));
        QCOMPARE(f->CnAALabel21->font().pixelSize(), 53);
        QVERIFY(f->Image1->isEmpty());
        QVERIFY(f->Image2->isEmpty());
        QCOMPARE(f->Image1->geometry(), QRect(56, 256, 55, 80));
        QCOMPARE(f->Image2->geometry(), QRect(928, 232, 55, 80));
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(tiles(f)[k]->geometry(), designTile(k));
            QVERIFY(tiles(f)[k]->isEmpty());
            QCOMPARE(line1(f)[k]->text(), QString());
        }
        QCOMPARE(f->CnAALabel22->geometry(), QRect(792, 0, 57, 17));

        // At show the default background comes, the labels stay white, the pages are counted.
        QVERIFY(showForm());
        QCOMPARE(m_services->errors.size(), 1);
        QVERIFY(near(centre(f->Image3), DefaultBackground));
        QCOMPARE(f->CnAALabel21->color(), QColor(Qt::white));
        QCOMPARE(f->CnAALabel1->color(), QColor(Qt::white));
        QCOMPARE(f->catalogue.PageCount, 1);
    }

    // Where the creation stops decides what is laid out; the rest keeps its design values.
    void creationStopsAt_data()
    {
        QTest::addColumn<QString>("removeKey");
        QTest::addColumn<QString>("badFile");
        QTest::addColumn<QByteArray>("badContent"); // empty: the file is removed
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("leftArrowLoaded");
        QTest::addColumn<bool>("rightArrowLoaded");
        QTest::addColumn<QRect>("tile1");
        QTest::addColumn<QRect>("tile6");
        QTest::addColumn<QRect>("leftArrow");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<QPoint>("pageLabel");

        const QRect designArrow(56, 256, 55, 80);
        QTest::newRow("left arrow missing")
            << QString() << u"pic/xiangzuo.png"_s << QByteArray() << u"xiangzuo.png"_s << false
            << false << designTile(0) << designTile(5) << designArrow << false << QPoint(792, 0);
        QTest::newRow("right arrow not a picture")
            << QString() << u"pic/xiangyou.png"_s << QByteArray("no png") << u"xiangyou.png"_s
            << true << false << designTile(0) << designTile(5) << designArrow << false
            << QPoint(792, 0);
        QTest::newRow("biaoti_size missing")
            << u"biaoti_size"_s << QString() << QByteArray()
            << u"'biaoti_size' is not a valid integer value."_s << false << false << designTile(0)
            << designTile(5) << designArrow << false << QPoint(792, 0);
        QTest::newRow("pic_height missing")
            << u"pic_height"_s << QString() << QByteArray()
            << u"'pic_height' is not a valid integer value."_s << true << true
            << QRect(424, 240, 150, 105) << designTile(5) << designArrow << false << QPoint(792, 0);
        QTest::newRow("pic_zuoyoujiange missing")
            << u"pic_zuoyoujiange"_s << QString() << QByteArray()
            << u"'pic_zuoyoujiange' is not a valid integer value."_s << true << true
            << QRect(424, 174, 150, 180) << QRect(472, 454, 150, 180) << designArrow << false
            << QPoint(792, 0);
        QTest::newRow("xiaobiaoti1 missing")
            << u"xiaobiaoti1"_s << QString() << QByteArray()
            << u"'xiaobiaoti1' is not a valid integer value."_s << true << true
            << QRect(57, 174, 150, 180) << QRect(57, 454, 150, 180) << QRect(-18, 344, 55, 80)
            << true << QPoint(792, 0);
    }
    void creationStopsAt()
    {
        QFETCH(QString, removeKey);
        QFETCH(QString, badFile);
        QFETCH(QByteArray, badContent);
        QFETCH(QString, error);
        QFETCH(bool, leftArrowLoaded);
        QFETCH(bool, rightArrowLoaded);
        QFETCH(QRect, tile1);
        QFETCH(QRect, tile6);
        QFETCH(QRect, leftArrow);
        QFETCH(bool, filled);
        QFETCH(QPoint, pageLabel);

        auto settings = goodSettings();
        settings.remove(removeKey);
        writeSettings(settings);
        writeArrows();
        writePhotos(3);
        if (!badFile.isEmpty()) {
            QFile::remove(path(badFile));
            if (!badContent.isEmpty()) {
                QFile f(path(badFile));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(badContent);
            }
        }

        TForm1 *f = createForm();
        QCOMPARE(m_services->errors.size(), 1);
        QVERIFY2(m_services->errors.first().contains(error),
                 qPrintable(m_services->errors.first()));
        QCOMPARE(!f->Image1->isEmpty(), leftArrowLoaded);
        QCOMPARE(!f->Image2->isEmpty(), rightArrowLoaded);
        QCOMPARE(f->Image4->geometry(), tile1);
        QCOMPARE(f->Image9->geometry(), tile6);
        QCOMPARE(f->Image1->geometry(), leftArrow);
        QCOMPARE(f->CnAALabel1->text() == u"窗口1"_s, filled);
        QCOMPARE(!f->Image4->isEmpty(), filled);
        QCOMPARE(f->CnAALabel22->pos(), pageLabel);
        // The title is sized before any of these failures.
        QCOMPARE(f->CnAALabel21->width(), 1019);
    }

    void otherCurrentDirectory()
    {
        // Listed from the executable's folder, loaded relative to the current one.
        writeSettings(goodSettings());
        writePhotos(2);
        QTemporaryDir work;
        m_services->setDirs(m_dir->path(), work.path());
        QDir(work.path()).mkpath(u"pic"_s);
        QVERIFY(solid({55, 80}, Qt::yellow).save(work.filePath(u"pic/xiangzuo.png"_s), "PNG"));
        QVERIFY(solid({55, 80}, Qt::yellow).save(work.filePath(u"pic/xiangyou.png"_s), "PNG"));
        TForm1 *f = createForm();
        QCOMPARE(m_services->errors, QStringList());
        QCOMPARE(f->CnAALabel1->text(), u"窗口1"_s);
        QCOMPARE(f->CnAALabel12->text(), u"业务2"_s);
        QVERIFY(f->Image4->isEmpty());
        QVERIFY(f->Image5->isEmpty());
    }

    void stackingOrder()
    {
        writeFolder(0);
        TForm1 *f = createForm();
        // The arrows' tap areas lie under the arrows, so a shown arrow takes its own taps.
        QStringList expected{u"Image3"_s, u"ArrowArea1"_s, u"ArrowArea2"_s, u"Image1"_s,
                             u"Image2"_s};
        for (int i = 1; i <= 21; ++i)
            expected << u"CnAALabel%1"_s.arg(i);
        for (int i = 4; i <= 13; ++i)
            expected << u"Image%1"_s.arg(i);
        expected << u"CnAALabel22"_s;
        QStringList actual;
        for (QObject *child : f->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            if (w && !w->isWindow())
                actual << w->objectName();
        }
        QCOMPARE(actual, expected);
        QCOMPARE(f->windowTitle(), u"Quorvel触摸综合评价系统V1.0"_s);
    }

    // ---- show -----------------------------------------------------------------------------

    void showBackground_data()
    {
        QTest::addColumn<QString>("picBg"); // "<abs>" stands for the absolute path of bg.png
        QTest::addColumn<bool>("defaultPresent");
        QTest::addColumn<QColor>("expected"); // invalid: the built-in picture stays
        QTest::addColumn<int>("errors");
        const QColor mine(200, 30, 30);
        QTest::newRow("absolute path") << u"<abs>"_s << true << mine << 0;
        QTest::newRow("relative to the current folder") << u"bg/bg.png"_s << true << mine << 0;
        QTest::newRow("missing file") << u"bg/none.jpg"_s << true << DefaultBackground << 0;
        QTest::newRow("no pic_bg") << QString() << true << DefaultBackground << 0;
        QTest::newRow("unknown extension") << u"bg/bg.xyz"_s << true << DefaultBackground << 0;
        QTest::newRow("default missing too") << u"bg/none.jpg"_s << false << QColor() << 1;
    }
    void showBackground()
    {
        QFETCH(QString, picBg);
        QFETCH(bool, defaultPresent);
        QFETCH(QColor, expected);
        QFETCH(int, errors);

        auto settings = goodSettings();
        QDir(m_dir->path()).mkpath(u"bg"_s);
        QVERIFY(solid({64, 48}, QColor(200, 30, 30)).save(path(u"bg/bg.png"_s), "PNG"));
        QFile::copy(path(u"bg/bg.png"_s), path(u"bg/bg.xyz"_s));
        if (picBg == u"<abs>"_s)
            settings[u"pic_bg"_s] = path(u"bg/bg.png"_s);
        else if (!picBg.isEmpty())
            settings[u"pic_bg"_s] = picBg;
        writeSettings(settings);
        writeArrows();
        writePhotos(12);
        if (!defaultPresent)
            QFile::remove(path(u"pic/背景图片.jpg"_s));

        TForm1 *f = createForm();
        const QImage builtin = f->Image3->picture().toImage();
        QVERIFY(showForm());
        QCOMPARE(m_services->errors.size(), errors);
        if (expected.isValid()) {
            QVERIFY(near(centre(f->Image3), expected));
            QCOMPARE(f->catalogue.PageCount, 2);
            QCOMPARE(f->CnAALabel21->color(), QColor(255, 0, 0));
        } else {
            QVERIFY(m_services->errors.first().contains(u"背景图片.jpg"_s));
            QCOMPARE(f->Image3->picture().toImage(), builtin);
            // The rest of the show is skipped.
            QCOMPARE(f->CnAALabel21->color(), QColor(Qt::white));
            QCOMPARE(f->catalogue.PageCount, 0);
        }
        QVERIFY(f->isVisible());
    }

    void showColours_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: the key is removed
        QTest::addColumn<QColor>("title");
        QTest::addColumn<QColor>("caption1");
        QTest::addColumn<QColor>("caption2");
        const QColor white(Qt::white), red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255);
        QTest::newRow("all set") << QString() << QString() << red << green << blue;
        QTest::newRow("xiaobiaoti1_color not a number")
            << u"xiaobiaoti1_color"_s << u"green"_s << red << white << white;
        QTest::newRow("xiaobiaoti2_color missing")
            << u"xiaobiaoti2_color"_s << QString() << red << green << white;
        QTest::newRow("biaoti_color missing")
            << u"biaoti_color"_s << QString() << white << white << white;
        QTest::newRow("title without colour of its own")
            << u"biaoti_color"_s << u"536870911"_s << white << green << blue;
        QTest::newRow("hexadecimal value")
            << u"biaoti_color"_s << u"$FF0000"_s << blue << green << blue;
    }
    void showColours()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QColor, title);
        QFETCH(QColor, caption1);
        QFETCH(QColor, caption2);

        auto settings = goodSettings();
        if (value.isEmpty())
            settings.remove(key);
        else
            settings[key] = value;
        writeSettings(settings);
        writeArrows();
        writePhotos(21);
        TForm1 *f = createForm();
        QVERIFY(showForm());
        QCOMPARE(m_services->errors, QStringList());
        QCOMPARE(f->CnAALabel21->color(), title);
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(line1(f)[k]->color(), caption1);
            QCOMPARE(line2(f)[k]->color(), caption2);
        }
        QCOMPARE(f->catalogue.PageCount, 3);
    }

    void showTitleCheck_data()
    {
        QTest::addColumn<bool>("hide");
        QTest::addColumn<QString>("text"); // empty: as created
        QTest::addColumn<QString>("expected");
        QTest::newRow("as created") << false << QString() << CreationWelcome;
        QTest::newRow("hidden") << true << QString() << ShowWelcome;
        QTest::newRow("blanks and control characters") << false << u" \t\x01 "_s << ShowWelcome;
    }
    void showTitleCheck()
    {
        QFETCH(bool, hide);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        writeFolder(1);
        TForm1 *f = createForm();
        if (hide)
            f->CnAALabel21->hide();
        if (!text.isEmpty())
            f->CnAALabel21->setText(text);
        QVERIFY(showForm());
        QCOMPARE(f->CnAALabel21->text(), expected);
        QVERIFY(!f->CnAALabel21->isHidden());
    }

    // The hall's own title from biaoti_wenzi (GBK); the built-in one while the key is missing;
    // an empty one is caught by the title check at show.
    void titleFromSettings_data()
    {
        QTest::addColumn<QString>("value"); // null: no key
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("shown");
        const QString hall = u"欢迎光临东城区政务服务中心"_s;
        QTest::newRow("hall title") << hall << hall << hall;
        QTest::newRow("missing key") << QString() << CreationWelcome << CreationWelcome;
        QTest::newRow("empty value") << u""_s << QString() << ShowWelcome;
        QTest::newRow("blanks only") << u"   "_s << QString() << ShowWelcome;
    }
    void titleFromSettings()
    {
        QFETCH(QString, value);
        QFETCH(QString, created);
        QFETCH(QString, shown);
        QMap<QString, QString> settings = goodSettings();
        if (!value.isNull())
            settings.insert(u"biaoti_wenzi"_s, value);
        writeSettings(settings);
        writeArrows();
        writePhotos(1);
        TForm1 *f = createForm();
        QCOMPARE(f->CnAALabel21->text(), created);
        QVERIFY(showForm());
        QCOMPARE(f->CnAALabel21->text(), shown);
        QCOMPARE(m_services->errors, QStringList());
    }

    // Sizes no screen can show are limited to the window: the tiles, their pictures and the
    // fonts stay within the screen's size (no picture of 2147483647 pixels is ever made).
    void absurdSizesLimitedToTheScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("pic_width 2147483647") << u"pic_width"_s << u"2147483647"_s;
        QTest::newRow("pic_height 2147483647") << u"pic_height"_s << u"2147483647"_s;
        QTest::newRow("pic_width negative") << u"pic_width"_s << u"-300"_s;
        QTest::newRow("xiaobiaoti1 2147483647") << u"xiaobiaoti1"_s << u"2147483647"_s;
        QTest::newRow("biaoti_size 2147483647") << u"biaoti_size"_s << u"2147483647"_s;
    }
    void absurdSizesLimitedToTheScreen()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QMap<QString, QString> settings = goodSettings();
        settings.insert(key, value);
        writeSettings(settings);
        writeArrows();
        writePhotos(3);
        TForm1 *f = createForm();
        QCOMPARE(m_services->errors, QStringList());
        for (PictureBox *tile : tiles(f)) {
            QVERIFY(tile->width() >= 0 && tile->width() <= Screen.width());
            QVERIFY(tile->height() >= 0 && tile->height() <= Screen.height());
            // A picture covering the tile: never more than four screens of pixels.
            QVERIFY(tile->picture().toImage().sizeInBytes() <=
                    4LL * Screen.width() * Screen.height() * 4);
        }
        QVERIFY(f->CnAALabel21->font().pointSize() <= Screen.height());
        for (AALabel *label : line1(f))
            QVERIFY(label->font().pointSize() <= Screen.height());
    }

    // The second caption line keeps its laid-out top unless the first line is taller than the
    // room above it; then it stands right under the first, never over it.
    void secondLineClearOfTheFirst_data()
    {
        QTest::addColumn<QString>("size1");
        QTest::addColumn<bool>("laidOutTop");
        QTest::newRow("12 pt keeps the laid-out top") << u"12"_s << true;
        QTest::newRow("28 pt moves it down") << u"28"_s << false;
        QTest::newRow("48 pt moves it down") << u"48"_s << false;
    }
    void secondLineClearOfTheFirst()
    {
        QFETCH(QString, size1);
        QFETCH(bool, laidOutTop);
        QMap<QString, QString> settings = goodSettings();
        settings.insert(u"xiaobiaoti1"_s, size1);
        writeSettings(settings);
        writeArrows();
        writePhotos(12);
        TForm1 *f = showForm();
        QVERIFY(f);
        for (int turn = 0; turn < 2; ++turn) { // the same after a page turn
            for (int k = 0; k < 10; ++k) {
                const AALabel *first = line1(f)[k];
                const AALabel *second = line2(f)[k];
                QVERIFY(second->y() >= first->y() + first->height());
                if (laidOutTop)
                    QCOMPARE(second->y(), k < 5 ? 389 : 669);
                else
                    QCOMPARE(second->y(), first->y() + first->height());
            }
            f->Image2Click();
        }
    }

    void showKioskCoversScreen()
    {
        writeFolder(1);
        auto form = std::make_unique<TForm1>();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(form->CnAALabel21->width(), screen.width() - 5);
        form->showKiosk();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->geometry(), screen);
        QCOMPARE(form->Image3->geometry(), QRect(QPoint(0, 0), screen.size()));
        QVERIFY(form->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    // ---- paging ---------------------------------------------------------------------------

    void paging_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<QString>("taps"); // L left arrow, R right arrow
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QList<int>>("indexes");
        QTest::newRow("25 photos, right three times")
            << 25 << u"RRR"_s << QStringList{u"第2页"_s, u"第3页"_s, u"第1页"_s}
            << QList<int>{1, 2, 0};
        QTest::newRow("25 photos, left from the first page")
            << 25 << u"LL"_s << QStringList{u"第3页"_s, u"第2页"_s} << QList<int>{2, 1};
        QTest::newRow("7 photos stay on page 1")
            << 7 << u"RL"_s << QStringList{u"第1页"_s, u"第1页"_s} << QList<int>{0, 0};
        QTest::newRow("no photos")
            << 0 << u"LRL"_s << QStringList{u"第0页"_s, u"第1页"_s, u"第0页"_s}
            << QList<int>{-1, 0, -1};
    }
    void paging()
    {
        QFETCH(int, photos);
        QFETCH(QString, taps);
        QFETCH(QStringList, labels);
        QFETCH(QList<int>, indexes);
        TForm1 *f = shownForm(photos);
        QVERIFY(f);
        QCOMPARE(m_services->errors, QStringList());
        QCOMPARE(f->CnAALabel22->text(), u"第1页"_s);
        for (int i = 0; i < taps.size(); ++i) {
            QTest::mouseClick(taps.at(i) == u'L' ? f->Image1 : f->Image2, Qt::LeftButton);
            QCOMPARE(f->CnAALabel22->text(), labels.at(i));
            QCOMPARE(f->pageIndex, indexes.at(i));
            QCOMPARE(f->CnAALabel22->pos(), QPoint(910, 155));
            const int first = 10 * f->pageIndex;
            for (int k = 0; k < 10; ++k) {
                const int n = first + k + 1; // photo number shown in tile k
                const bool shown = n >= 1 && n <= photos;
                QCOMPARE(!tiles(f)[k]->isEmpty(), shown);
                QCOMPARE(line1(f)[k]->text(), shown ? u"窗口%1"_s.arg(n) : QString());
                QCOMPARE(line2(f)[k]->text(), shown ? u"业务%1"_s.arg(n) : QString());
                if (shown)
                    QVERIFY(near(centre(tiles(f)[k]), photoColor(n)));
            }
        }
        QCOMPARE(m_services->errors, QStringList());
    }

    // An arrow answers a tap whether it is shown or blinking off: the tap goes to whatever lies
    // under the finger (hit-testing as the window system does), which turns the page.
    void arrowTaps_data()
    {
        QTest::addColumn<bool>("right");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QPoint>("offset"); // from the arrow's centre
        QTest::addColumn<int>("pageAfter");
        QTest::newRow("right arrow shown") << true << false << QPoint() << 1;
        QTest::newRow("right arrow blinking off") << true << true << QPoint() << 1;
        QTest::newRow("left arrow shown") << false << false << QPoint() << 2;
        QTest::newRow("left arrow blinking off") << false << true << QPoint() << 2;
        QTest::newRow("just left of the right arrow, off")
            << true << true << QPoint(-(27 + TForm1::ArrowAreaMargin - 2), 0) << 1;
        QTest::newRow("just above the left arrow, shown")
            << false << false << QPoint(0, -40 - TForm1::ArrowAreaMargin + 2) << 2;
    }
    void arrowTaps()
    {
        QFETCH(bool, right);
        QFETCH(bool, hidden);
        QFETCH(QPoint, offset);
        QFETCH(int, pageAfter);
        TForm1 *f = shownForm(25);
        QVERIFY(f);
        QCOMPARE(f->Timer1->interval(), 5000);
        QCOMPARE(f->Timer2->interval(), 1000);
        if (hidden) {
            f->Timer1Timer();
            QVERIFY(f->Image1->isHidden());
            QVERIFY(f->Image2->isHidden());
        }
        const PictureBox *arrow = right ? f->Image2 : f->Image1;
        const QPoint at = arrow->geometry().center() + offset;
        QWidget *under = f->childAt(at);
        QVERIFY(under);
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(f, at));
        QCOMPARE(f->pageIndex, pageAfter);
        QCOMPARE(f->CnAALabel22->text(), u"第%1页"_s.arg(pageAfter + 1));
        // The blink itself stays visible.
        QCOMPARE(f->Image1->isHidden(), hidden);
    }

    // The real timers: the arrows vanish and come back by themselves. How long they stay hidden
    // depends on the machine's load, so only the order is checked here; the intervals above.
    void arrowsBlink()
    {
        writeFolder(0);
        auto form = std::make_unique<TForm1>(Screen);
        QVERIFY(!form->Image1->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(form->Image1->isHidden(), 30000);
        QVERIFY(form->Image2->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(!form->Image1->isHidden(), 30000);
        QVERIFY(!form->Image2->isHidden());
    }

    // A tile keeps its photo's proportions all the way from the file to the screen: a photo of
    // three bands (red, green, blue) across its long side covers the tile with its middle band
    // alone, where a squeezed one would show all three.
    void tileKeepsProportions_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("wide photo") << QSize(900, 120);
        QTest::newRow("tall photo") << QSize(120, 1500);
    }
    void tileKeepsProportions()
    {
        QFETCH(QSize, size);
        writeFolder(0);
        const bool wide = size.width() > size.height();
        QImage bands(size, QImage::Format_RGB32);
        const int third = (wide ? size.width() : size.height()) / 3;
        const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
        for (int b = 0; b < 3; ++b)
            QPainter(&bands).fillRect(wide ? QRect(b * third, 0, third, size.height())
                                           : QRect(0, b * third, size.width(), third),
                                      colours[b]);
        QDir(m_dir->path()).mkpath(u"图片"_s);
        QVERIFY(bands.save(path(u"图片/"_s + photoName(1)), "JPEG", 95));
        createForm();
        TForm1 *f = showForm();
        QVERIFY(f);
        const QImage drawn = f->Image4->grab().toImage();
        QCOMPARE(drawn.size(), f->Image4->size());
        const int w = drawn.width(), h = drawn.height();
        for (const QPoint at : {QPoint(3, 3), QPoint(w / 2, h / 2), QPoint(w - 4, h - 4),
                                QPoint(3, h - 4), QPoint(w - 4, 3)})
            QVERIFY2(near(drawn.pixel(at), Qt::green),
                     qPrintable(u"%1,%2"_s.arg(at.x()).arg(at.y())));
    }

    void photoReplacedShowsAtNextTurn()
    {
        TForm1 *f = shownForm(3);
        QVERIFY(f);
        QVERIFY(near(centre(f->Image4), photoColor(1)));
        QVERIFY(solid({200, 200}, Qt::black).save(path(u"图片/"_s + photoName(1)), "JPEG"));
        QTest::mouseClick(f->Image2, Qt::LeftButton);
        QVERIFY(near(centre(f->Image4), Qt::black));
    }

    void fontSizeFailure_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("line1Sized");
        QTest::newRow("xiaobiaoti1 bad") << u"xiaobiaoti1"_s << false;
        QTest::newRow("xiaobiaoti2 bad") << u"xiaobiaoti2"_s << true;
    }
    void fontSizeFailure()
    {
        QFETCH(QString, key);
        QFETCH(bool, line1Sized);
        auto settings = goodSettings();
        settings[key] = u"12pt"_s;
        writeSettings(settings);
        writeArrows();
        writePhotos(15);
        TForm1 *f = createForm();
        const QStringList once{u"'12pt' is not a valid integer value."_s};
        QCOMPARE(m_services->errors, once);
        QVERIFY(showForm());

        QTest::mouseClick(f->Image2, Qt::LeftButton);
        QCOMPARE(m_services->errors, once + once);
        // The new page's pictures, captions and places are set before the failing read.
        QCOMPARE(f->CnAALabel1->text(), u"窗口11"_s);
        QCOMPARE(f->CnAALabel11->text(), u"业务11"_s);
        QVERIFY(near(centre(f->Image4), photoColor(11)));
        QVERIFY(f->Image9->isEmpty());
        QCOMPARE(f->CnAALabel6->text(), QString());
        QCOMPARE(f->CnAALabel1->x(), f->Image4->x());
        QCOMPARE(f->CnAALabel22->text(), u"第2页"_s);
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(line1(f)[k]->font().pointSize() == 12, line1Sized);
            QVERIFY(line2(f)[k]->font().pointSize() != 10);
        }
    }

    // ---- tile taps ------------------------------------------------------------------------

    void tileTapHandsPhotoAndName()
    {
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(3, &dialog);
        QVERIFY(f);
        m_services->clearRecords();

        QTest::mouseClick(f->Image4, Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->shows, 1);
        QCOMPARE(dialog->CnAALabel1->text(), u"窗口1  业务1"_s);
        // The show-time actions ran before the name was handed over.
        QVERIFY(dialog->nameAtShow != dialog->CnAALabel1->text());
        QCOMPARE(dialog->Image6->picture().toImage(), f->Image4->picture().toImage());

        // A second tile replaces photo and name; the show-time actions do not run again.
        QTest::mouseClick(f->Image6, Qt::LeftButton);
        QCOMPARE(dialog->shows, 1);
        QCOMPARE(dialog->CnAALabel1->text(), u"窗口3  业务3"_s);
        QVERIFY(near(centre(dialog->Image6), photoColor(3)));

        // The name is read back from the labels as they stand.
        f->CnAALabel2->setText(u"改过"_s);
        QTest::mouseClick(f->Image5, Qt::LeftButton);
        QCOMPARE(dialog->CnAALabel1->text(), u"改过  业务2"_s);

        // The dialog holds a copy: the tile's next page does not change it.
        const QImage handed = dialog->Image6->picture().toImage();
        QTest::mouseClick(f->Image2, Qt::LeftButton);
        QCOMPARE(dialog->Image6->picture().toImage(), handed);
    }

    // A tile without a photo takes no rating: no dialog, so no nameless row can be stored.
    void emptyTileTap_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<int>("tile"); // 0..9
        QTest::newRow("no photos at all") << 0 << 9;
        QTest::newRow("after the last photo") << 3 << 3;
        QTest::newRow("last tile of a short page") << 13 << 9;
    }
    void emptyTileTap()
    {
        QFETCH(int, photos);
        QFETCH(int, tile);
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(photos, &dialog);
        QVERIFY(f);
        if (photos > 10)
            f->Image2Click();
        QVERIFY(tiles(f)[tile]->isEmpty());
        QTest::mouseClick(tiles(f)[tile], Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->shows, 0);
        // The page's first tile, with a photo, still opens the dialog.
        if (photos > 0) {
            QTest::mouseClick(tiles(f)[0], Qt::LeftButton);
            QVERIFY(dialog->isVisible());
            QVERIFY(dialog->CnAALabel1->text().trimmed().size() > 0);
        }
    }

    void touchTapOpensDialog()
    {
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(3, &dialog);
        QVERIFY(f);
        const QPoint pos = f->Image5->geometry().center();
        QTest::touchEvent(f, m_touch).press(0, pos, f);
        QTest::touchEvent(f, m_touch).release(0, pos, f);
        QTRY_VERIFY(dialog->isVisible());
        QCOMPARE(dialog->CnAALabel1->text(), u"窗口2  业务2"_s);
        QVERIFY(!f->PopupMenu1->isVisible());
    }

    void touchHoldOpensMenuNotDialog_data()
    {
        QTest::addColumn<bool>("tappedBefore");
        QTest::newRow("fresh touch") << false;
        // The press of the hold then arrives as a double click.
        QTest::newRow("right after a click at the same place") << true;
    }
    void touchHoldOpensMenuNotDialog()
    {
        QFETCH(bool, tappedBefore);
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(3, &dialog);
        QVERIFY(f);
        const QPoint pos = f->Image4->geometry().center();
        if (tappedBefore) {
            QTest::mouseClick(f->Image4, Qt::LeftButton);
            QVERIFY(dialog->isVisible());
            dialog->hide();
        }
        // Without a PIN the hold asks for the menu, which stays closed and says why.
        QSignalSpy opened(f, &TForm1::menuOpened);
        m_services->clearRecords();
        QTest::touchEvent(f, m_touch).press(0, pos, f);
        QTRY_VERIFY_WITH_TIMEOUT(m_services->notices.size() == 1, 3 * TForm1::HoldMilliseconds);
        QTest::touchEvent(f, m_touch).release(0, pos, f);
        QCoreApplication::processEvents();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(opened.size(), 0);
        QVERIFY(!f->PopupMenu1->isVisible());
    }

    void mouseHoldIsAClick()
    {
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(3, &dialog);
        QVERIFY(f);
        QTest::mousePress(f->Image4, Qt::LeftButton);
        // A mouse press starts no hold: no hold timer is running that could open the menu.
        for (const QTimer *timer : f->findChildren<QTimer *>())
            QVERIFY(!(timer->isActive() && timer->isSingleShot() &&
                      timer->interval() == TForm1::HoldMilliseconds));
        QVERIFY(!f->PopupMenu1->isVisible());
        QTest::mouseRelease(f->Image4, Qt::LeftButton);
        QVERIFY(dialog->isVisible());
    }

    // ---- menu -----------------------------------------------------------------------------

    void menuItems()
    {
        writeFolder(0);
        TForm1 *f = createForm();
        const QList<QAction *> actions = f->PopupMenu1->actions();
        const QStringList names{u"N1"_s, u"N9"_s, u"N2"_s, u"N3"_s,
                                u"N5"_s, u"N4"_s, u"N7"_s, u"N8"_s};
        const QStringList texts{
            u"统计查询"_s,     u"满意度报表"_s,     u"参数设置"_s, u"图片编辑"_s,
            u"更换背景图片"_s, u"打开图片文件夹"_s, u"退出软件"_s, u"Quorvel触摸综合评价系统"_s};
        QCOMPARE(actions.size(), names.size() + 1);
        // The central database's state line exists only with forwarding.
        QCOMPARE(actions.last()->objectName(), u"N10"_s);
        emit f->PopupMenu1->aboutToShow();
        QVERIFY(!actions.last()->isVisible());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(actions[i]->objectName(), names[i]);
            QCOMPARE(actions[i]->text(), texts[i]);
            QVERIFY(!actions[i]->isSeparator());
            QVERIFY(actions[i]->shortcut().isEmpty());
            QCOMPARE(actions[i]->isEnabled(), i != names.size() - 1);
        }
        // Items a finger can hit, in a larger font than the window's.
        f->PopupMenu1->popup(QPoint(200, 200));
        QTRY_VERIFY(f->PopupMenu1->isVisible());
        for (int i = 0; i < 7; ++i)
            QVERIFY2(
                f->PopupMenu1->actionGeometry(actions[i]).height() >= 44,
                qPrintable(QString::number(f->PopupMenu1->actionGeometry(actions[i]).height())));
        QVERIFY(f->PopupMenu1->font().pixelSize() >= 18);
        f->PopupMenu1->hide();
    }

    // With forwarding, the line below the last one tells staff the central database's state;
    // it is greyed like the last line and read afresh each time the menu opens. A long line is
    // shortened in its middle so that the menu stays on the screen; the tooltip has it whole.
    void menuShowsCentralState_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("error");
        QTest::newRow("short reason")
            << u"postgresql://k:Geheim-1@/d"_s << u"中心数据库地址缺少主机名"_s;
        QTest::newRow("long reason")
            << u"kein Ort"_s
            << u"中心数据库地址无效：应形如 postgresql://用户:密码@主机:5432/数据库"_s;
    }

    void menuShowsCentralState()
    {
        QFETCH(QString, url);
        QFETCH(QString, error);
        writeFolder(0);
        TForm1 *f = createForm();
        store::createDatabaseFile(path(u"db.dll"_s));
        central::Link link(path(u"db.dll"_s), central::Config{url, u"t"_s}, m_services->clock());
        f->setCentralLink(&link);
        QTRY_VERIFY((emit f->PopupMenu1->aboutToShow(), f->N10->toolTip().contains(error)));
        QVERIFY(f->N10->isVisible());
        QVERIFY(!f->N10->isEnabled());
        const QString line = u"中心数据库：未连接（%1），待发送 0 条，尚无送达"_s.arg(error);
        QCOMPARE(f->N10->toolTip(), line + u'\n' + error);
        const QFontMetrics metrics(f->PopupMenu1->font());
        const int screenWidth = f->screen()->availableGeometry().width();
        if (metrics.horizontalAdvance(line) <= screenWidth * 3 / 4) {
            QCOMPARE(f->N10->text(), line);
        } else {
            QVERIFY2(f->N10->text().startsWith(u"中心数据库：未连接（"_s) &&
                         f->N10->text().endsWith(u"，待发送 0 条，尚无送达"_s),
                     qPrintable(f->N10->text()));
        }
        f->PopupMenu1->popup(QPoint(0, 0));
        QTRY_VERIFY(f->PopupMenu1->isVisible());
        QVERIFY2(f->PopupMenu1->width() <= screenWidth,
                 qPrintable(u"%1 > %2"_s.arg(f->PopupMenu1->width()).arg(screenWidth)));
        f->PopupMenu1->hide();
    }

    // The report window opened from the menu gets the link's central database and shows its
    // state, whether the link came before or after the window; without the link its scope
    // buttons are hidden again.
    void reportWindowFollowsLink_data()
    {
        QTest::addColumn<bool>("linkFirst");
        QTest::newRow("link before the window") << true;
        QTest::newRow("link after the window") << false;
    }
    void reportWindowFollowsLink()
    {
        QFETCH(bool, linkFirst);
        writeFolder(0);
        TForm1 *f = createForm();
        store::createDatabaseFile(path(u"db.dll"_s));
        central::Link link(path(u"db.dll"_s),
                           central::Config{u"postgresql://k:Geheim-1@/d"_s, u"t"_s},
                           m_services->clock());
        if (linkFirst)
            f->setCentralLink(&link);
        f->N9Click();
        ReportWindow *w = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *r = qobject_cast<ReportWindow *>(top))
                w = r;
        QVERIFY(w);
        if (!linkFirst) {
            QVERIFY(!w->AllButton->isVisibleTo(w));
            f->setCentralLink(&link);
        }
        QVERIFY(w->AllButton->isVisibleTo(w));
        QTRY_COMPARE(w->CentralLabel->text(),
                     u"中心数据库：未连接（中心数据库地址缺少主机名），待发送 0 条，尚无送达"_s);
        f->setCentralLink(nullptr);
        QVERIFY(!w->AllButton->isVisibleTo(w));
        QVERIFY(w->CentralLabel->text().isEmpty());
    }

    void contextMenuAnywhere_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("background") << u"Image3"_s;
        QTest::newRow("tile") << u"Image4"_s;
        QTest::newRow("caption") << u"CnAALabel1"_s;
        QTest::newRow("title") << u"CnAALabel21"_s;
        QTest::newRow("arrow") << u"Image2"_s;
        QTest::newRow("page label") << u"CnAALabel22"_s;
    }
    void contextMenuAnywhere()
    {
        QFETCH(QString, target);
        CountingForm2 *dialog = nullptr;
        TForm1 *f = shownForm(3, &dialog);
        QVERIFY(f);
        auto *widget = f->findChild<QWidget *>(target);
        QVERIFY(widget);
        QPoint pos = widget->rect().center();
        if (target == u"Image3"_s)
            pos = QPoint(5, f->height() - 5); // a spot no other control covers
        QCOMPARE(f->childAt(widget->mapTo(f, pos)), widget);
        QSignalSpy opened(f, &TForm1::menuOpened);
        m_services->clearRecords();
        QTest::mouseClick(f->windowHandle(), Qt::RightButton, {}, widget->mapTo(f, pos));
        // Without a PIN the request is answered by the notice, from anywhere, not by the menu.
        QTRY_COMPARE(
            m_services->noticeTexts(),
            QStringList{u"未设置管理密码，请管理员在这台电脑上运行 quorvel-kiosk --set-pin"_s});
        QCOMPARE(opened.size(), 0);
        QVERIFY(!f->PopupMenu1->isVisible());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(f->pageIndex, 0);
    }

    void exitCommand_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("quits");
        QTest::newRow("yes") << true << 1;
        QTest::newRow("no") << false << 0;
    }
    void exitCommand()
    {
        QFETCH(bool, answer);
        QFETCH(int, quits);
        writeFolder(0);
        TForm1 *f = createForm();
        m_services->questionAnswers = {answer};
        f->N7->trigger();
        QCOMPARE(m_services->questions.size(), 1);
        QCOMPARE(m_services->questions.first().caption, u"提示"_s);
        QCOMPARE(m_services->questions.first().text,
                 u"程序即将关闭退出！点\"是\"退出程序，点\"否\"返回程序！"_s);
        QCOMPARE(m_services->quits, quits);
    }

    void backgroundCommand_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: cancelled
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("written");
        QTest::newRow("cancelled") << QString() << false << false;
        QTest::newRow("chosen") << u"/srv/图库/新背景.jpg"_s << false << true;
        QTest::newRow("settings file write-protected") << u"/srv/x.jpg"_s << true << false;
    }
    void backgroundCommand()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, readOnly);
        QFETCH(bool, written);
        writeFolder(0);
        TForm1 *f = createForm();
        const QString ini = path(u"opt.ini"_s);
        if (readOnly)
            QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadUser);
        const QByteArray before = readBytes(ini);
        m_services->clearRecords();
        m_services->pictureAnswers = {chosen};
        f->N5->trigger();

        QCOMPARE(m_services->pictureFilters, QStringList{u"JPEG 图像文件 (*.jpg)"_s});
        QCOMPARE(m_services->errors, QStringList());
        if (written) {
            QCOMPARE(SettingsFile(m_dir->path()).ReadSetting(u"pic_bg"_s),
                     QDir::toNativeSeparators(chosen));
            QCOMPARE(m_services->messages, QStringList{u"更改成功！重新打开软件后生效。"_s});
        } else {
            QCOMPARE(readBytes(ini), before);
            QCOMPARE(m_services->messages, QStringList());
        }
        QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
    }

    // The program ends only when a file manager was started; otherwise staff are told and the
    // kiosk keeps running.
    void openFolderCommand_data()
    {
        QTest::addColumn<bool>("started");
        QTest::newRow("file manager started: the program ends") << true;
        QTest::newRow("no file manager: says so and keeps running") << false;
    }
    void openFolderCommand()
    {
        QFETCH(bool, started);
        writeSettings(goodSettings());
        writeArrows();
        TForm1 *f = createForm();
        m_services->openFolderAnswers = {started};
        f->N4->trigger();
        QCOMPARE(m_services->openedFolders, QStringList{path(u"图片"_s) + u'/'});
        QCOMPARE(m_services->quits, started ? 1 : 0);
        QCOMPARE(m_services->errors, QStringList());
        if (started) {
            QVERIFY(m_services->messages.isEmpty());
            return;
        }
        QCOMPARE(m_services->messages.size(), 1);
        QVERIFY(m_services->messages[0].startsWith(u"无法打开图片文件夹"_s));
        QVERIFY(m_services->messages[0].contains(QDir::toNativeSeparators(path(u"图片"_s))));
    }
};

QTEST_MAIN(TestTForm1)
#include "tst_tform1.moc"
