#include "kiosk/tform1.h"

#include "store/statements.h"

#include "central/forwarder.h"
#include "config/settingsfile.h"
#include "evaluation/tform2.h"
#include "kiosk/diskcache.h"
#include "kiosk/layout.h"
#include "kiosk/paging.h"
#include "kiosk/tilecache.h"
#include "kiosk/tileimages.h"
#include "platform/color.h"
#include "platform/error.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "reports/reportwindow.h"
#include "security/pinpadwindow.h"
#include "store/tdatamodule3.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString ShowWelcome = u"欢迎光临四川省CD市JN区综合服务中心3"_s;
// The run folder's cache of tile pictures; deleting it only costs decoding at the next start.
const QString TileCacheFolder = u"图片缓存"_s;
const QString LeftArrowFile = u"pic/xiangzuo.png"_s;
const QString RightArrowFile = u"pic/xiangyou.png"_s;
const QString DefaultBackgroundFile = u"pic/背景图片.jpg"_s;

const QColor Cream(255, 251, 240);

// Caption labels as they stand before any page is shown.
constexpr int DesignCaptionHeight = 15;
// A touch that moves farther than this is a drag, not a hold.
constexpr int HoldSlop = 20;

struct DesignTile
{
    int left, top;
};
constexpr std::array<DesignTile, 10> DesignTiles{{{424, 240},
                                                  {440, 248},
                                                  {448, 256},
                                                  {456, 264},
                                                  {464, 272},
                                                  {472, 280},
                                                  {480, 288},
                                                  {488, 296},
                                                  {496, 304},
                                                  {504, 312}}};

// Runs a computation that fills its result step by step, applies what was filled, and lets a
// failure go on after the partial result is applied.
template <typename Compute, typename Apply> void computeThenApply(Compute &&compute, Apply &&apply)
{
    try {
        compute();
    } catch (...) {
        apply();
        throw;
    }
    apply();
}

void showModeless(QWidget *window)
{
    KioskForm::showCentredOnTop(window);
}

} // namespace

namespace {
QRect primaryScreenArea()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}
} // namespace

TForm1::TForm1(QWidget *parent) : TForm1(primaryScreenArea(), parent) {}

TForm1::TForm1(const QRect &screenArea, QWidget *parent)
    : KioskForm(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_screenArea(screenArea)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Quorvel触摸综合评价系统V1.0"_s);
    QFont defaultFont;
    defaultFont.setFamilies({u"MS Sans Serif"_s, u"WenQuanYi Micro Hei"_s});
    defaultFont.setPixelSize(11);
    setFont(defaultFont);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Cream);
    setPalette(pal);
    setAutoFillBackground(true);
    setGeometry(332, 111, 979, 595);
    KioskForm::setMainWindow(this);

    buildControls();
    buildMenu();
    watchTouchHolds();

    // The maximised window has the size of the screen area when it is created.
    setGeometry(m_screenArea);
    Image3->setGeometry(rect());

    runCreate();
}

void TForm1::buildControls()
{
    auto picture = [this](const char16_t *name, int l, int t, int w, int h) {
        auto *box = new PictureBox(this);
        box->setObjectName(QString::fromUtf16(name));
        box->setGeometry(l, t, w, h);
        return box;
    };

    Image3 = picture(u"Image3", 0, 0, 1009, 568);
    Image3->setPicture(builtinPicture(u"main-background.jpg"_s));
    // Created before the arrows, so a shown arrow lies over its area and takes its own taps.
    auto tapArea = [this](const char16_t *name) {
        auto *area = new PictureBox(this);
        area->setObjectName(QString::fromUtf16(name));
        return area;
    };
    auto *area1 = tapArea(u"ArrowArea1");
    auto *area2 = tapArea(u"ArrowArea2");
    ArrowArea1 = area1;
    ArrowArea2 = area2;
    Image1 = picture(u"Image1", 56, 256, 55, 80);
    Image2 = picture(u"Image2", 928, 232, 55, 80);
    placeArrowAreas();

    AALabel **captions[20] = {&CnAALabel1,  &CnAALabel2,  &CnAALabel3,  &CnAALabel4,  &CnAALabel5,
                              &CnAALabel6,  &CnAALabel7,  &CnAALabel8,  &CnAALabel9,  &CnAALabel10,
                              &CnAALabel11, &CnAALabel12, &CnAALabel13, &CnAALabel14, &CnAALabel15,
                              &CnAALabel16, &CnAALabel17, &CnAALabel18, &CnAALabel19, &CnAALabel20};
    for (int i = 0; i < 20; ++i) {
        auto *label = new AALabel(this);
        const QString name = u"CnAALabel%1"_s.arg(i + 1);
        label->setObjectName(name);
        label->setFont(AALabel::heiti(16));
        label->setColor(Qt::white);
        label->setAlignment(Qt::AlignCenter);
        label->setShadow(true);
        // No text and off-screen to the left until a page is filled: a tap on a tile of a
        // window whose start-up failed then rates no made-up name.
        label->setText(QString());
        label->move(-400, 8 + 18 * i);
        *captions[i] = label;
        (i < 10 ? m_line1 : m_line2)[i % 10] = label;
    }

    CnAALabel21 = new AALabel(this);
    CnAALabel21->setObjectName(u"CnAALabel21"_s);
    CnAALabel21->setAutoSize(false);
    CnAALabel21->setFont(AALabel::heiti(53));
    CnAALabel21->setColor(Qt::white);
    CnAALabel21->setAlignment(Qt::AlignCenter);
    CnAALabel21->setShadow(true);
    CnAALabel21->setText(u"CnAALabel21"_s);
    CnAALabel21->setGeometry(24, 16, 985, 113);

    PictureBox **tiles[10] = {&Image4, &Image5,  &Image6,  &Image7,  &Image8,
                              &Image9, &Image10, &Image11, &Image12, &Image13};
    for (int k = 0; k < 10; ++k) {
        const QString name = u"Image%1"_s.arg(k + 4);
        auto *box = new PictureBox(this);
        box->setObjectName(name);
        box->setGeometry(DesignTiles[k].left, DesignTiles[k].top, 105, 105);
        // Photos keep their proportions: each covers its tile, the overflow cut off.
        box->setScaling(PictureBox::Scaling::Cover);
        *tiles[k] = box;
        m_tiles[k] = box;
    }

    CnAALabel22 = new AALabel(this);
    CnAALabel22->setObjectName(u"CnAALabel22"_s);
    CnAALabel22->setAutoSize(false);
    CnAALabel22->setFont(AALabel::heiti(16));
    CnAALabel22->setColor(Cream);
    CnAALabel22->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CnAALabel22->setShadow(true);
    CnAALabel22->setText(u"第1页"_s);
    CnAALabel22->setGeometry(792, 0, 57, 17);

    // Taps: an arrow answers whether it is shown or blinking off (its area takes the tap then).
    for (PictureBox *left : {Image1, area1})
        connect(left, &PictureBox::clicked, this,
                [this] { platform::guarded(this, [this] { Image1Click(); }); });
    for (PictureBox *right : {Image2, area2})
        connect(right, &PictureBox::clicked, this,
                [this] { platform::guarded(this, [this] { Image2Click(); }); });
    void (TForm1::*tapHandlers[10])() = {
        &TForm1::Image4Click,  &TForm1::Image5Click, &TForm1::Image6Click,  &TForm1::Image7Click,
        &TForm1::Image8Click,  &TForm1::Image9Click, &TForm1::Image10Click, &TForm1::Image11Click,
        &TForm1::Image12Click, &TForm1::Image13Click};
    for (int k = 0; k < 10; ++k) {
        const auto handler = tapHandlers[k];
        connect(m_tiles[k], &PictureBox::clicked, this, [this, handler] {
            platform::guarded(this, [this, handler] { (this->*handler)(); });
        });
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(5000);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this,
            [this] { platform::guarded(this, [this] { Timer1Timer(); }); });
    Timer2 = new QTimer(this);
    Timer2->setObjectName(u"Timer2"_s);
    Timer2->setInterval(1000);
    Timer2->setTimerType(Qt::PreciseTimer);
    connect(Timer2, &QTimer::timeout, this,
            [this] { platform::guarded(this, [this] { Timer2Timer(); }); });
    // Every fifth tick of the show timer would fall on the hide tick, and whichever of the two
    // came second would decide whether the arrows blink at all. Half a second between them
    // makes every blink last that long.
    Timer1->start();
    QTimer::singleShot(ArrowBlinkMilliseconds, Timer2, [timer = Timer2] { timer->start(); });
}

void TForm1::buildMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    PopupMenu1->setSeparatorsCollapsible(false);
    // Items a finger can hit: at least 44 pixels high, in a larger font.
    QFont menuFont = PopupMenu1->font();
    menuFont.setPixelSize(MenuFontPixels);
    PopupMenu1->setFont(menuFont);
    PopupMenu1->setStyleSheet(
        u"QMenu::item { min-height: %1px; padding: 4px 28px 4px 20px; }"_s.arg(MenuItemPixels - 8));
    struct Item
    {
        QAction **action;
        const char16_t *name;
        QString caption;
        void (TForm1::*handler)();
    };
    const Item items[] = {
        {&N1, u"N1", u"统计查询"_s, &TForm1::N1Click},
        {&N9, u"N9", u"满意度报表"_s, &TForm1::N9Click},
        {&N2, u"N2", u"参数设置"_s, &TForm1::N2Click},
        {&N3, u"N3", u"图片编辑"_s, &TForm1::N3Click},
        {&N5, u"N5", u"更换背景图片"_s, &TForm1::N5Click},
        {&N4, u"N4", u"打开图片文件夹"_s, &TForm1::N4Click},
        {&N7, u"N7", u"退出软件"_s, &TForm1::N7Click},
        {&N8, u"N8", u"Quorvel触摸综合评价系统"_s, nullptr},
    };
    for (const Item &item : items) {
        // The captions carry no "&", so no accelerator letter is made.
        auto *action = PopupMenu1->addAction(item.caption);
        action->setObjectName(QString::fromUtf16(item.name));
        *item.action = action;
        if (const auto handler = item.handler) {
            connect(action, &QAction::triggered, this, [this, handler] {
                platform::guarded(this, [this, handler] { (this->*handler)(); });
            });
        }
    }
    N8->setEnabled(false);

    PinPad = new PinPadWindow(this);
    connect(PinPad, &PinPadWindow::submitted, this, [this](const QString &pin) {
        platform::guarded(this, [this, &pin] { PinPadSubmitted(pin); });
    });
    PinPadTimer = new QTimer(this);
    PinPadTimer->setObjectName(u"PinPadTimer"_s);
    PinPadTimer->setInterval(1000);
    connect(PinPadTimer, &QTimer::timeout, this,
            [this] { platform::guarded(this, [this] { PinPadTimerTimer(); }); });
    connect(PinPad, &PinPadWindow::cancelled, PinPadTimer, &QTimer::stop);

    N10 = PopupMenu1->addAction(QString());
    N10->setObjectName(u"N10"_s);
    N10->setEnabled(false);
    N10->setVisible(false);
    PopupMenu1->setToolTipsVisible(true);
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        N10->setVisible(m_centralLink != nullptr);
        if (m_centralLink) {
            const central::Status status = m_centralLink->status();
            const QString line = central::statusLine(status);
            // A long reason is shortened in its middle, so that the menu stays on the screen
            // with what waits and when the last rating arrived; the tooltip has it whole, with
            // the client library's message, for whoever puts things right.
            const QScreen *shown = screen();
            const int room = (shown ? shown->availableGeometry().width() : 1024) * 3 / 4;
            N10->setText(QFontMetrics(PopupMenu1->font()).elidedText(line, Qt::ElideMiddle, room));
            N10->setToolTip(status.error.isEmpty() ? line : line + u'\n' + status.error);
        }
    });
}

void TForm1::watchTouchHolds()
{
    m_holdTimer = new QTimer(this);
    m_holdTimer->setSingleShot(true);
    m_holdTimer->setInterval(HoldMilliseconds);
    connect(m_holdTimer, &QTimer::timeout, this, &TForm1::touchHeld);
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            child->installEventFilter(this);
    }
}

void TForm1::setWindows(TForm2 *rating, QWidget *statistics, QWidget *parameters, QWidget *pictures)
{
    m_rating = rating;
    m_statistics = statistics;
    m_parameters = parameters;
    m_pictures = pictures;
}

void TForm1::showKiosk()
{
    const Qt::WindowFlags kiosk = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if ((windowFlags() & kiosk) != kiosk)
        setWindowFlags(windowFlags() | kiosk);
    // On Wayland a window cannot place or size itself: it asks the compositor for full screen.
    if (QGuiApplication::platformName().startsWith(u"wayland"_s)) {
        showFullScreen();
        return;
    }
    // Without a window manager nobody maximises the window, so it takes the screen area itself.
    setGeometry(m_screenArea);
    show();
}

// ---------------------------------------------------------------------------------------------
// Creation and show

void TForm1::FormCreate()
{
    const SettingsFile ini(platform::services().exeDir());
    const NumberReader read = [&ini](const QString &key) { return ini.ReadSettingNumber(key); };

    try {
        setWindowFlag(Qt::FramelessWindowHint, true);
    } catch (...) {
    }
    try {
        catalogue.ListPhotoFolder(platform::exePath(u"图片"_s));
    } catch (...) {
    }
    // Tile pictures of earlier runs: a restart shows the photos seen before without decoding.
    tilecache::useDiskCache(platform::exePath(TileCacheFolder));

    // The hall's own title when opt.ini has one (an empty one is caught by the check at show).
    CnAALabel21->setText(ini.ReadSettingIfPresent(Setting::BiaotiWenzi).value_or(BuiltInTitle()));

    const int W = width();
    const int H = height();

    TitleLayout title;
    computeThenApply([&] { layoutTitle(W, read, title, H); },
                     [&] {
                         if (title.width)
                             CnAALabel21->resize(*title.width, CnAALabel21->height());
                         if (title.left)
                             CnAALabel21->move(*title.left, CnAALabel21->y());
                         if (title.top)
                             CnAALabel21->move(CnAALabel21->x(), *title.top);
                         if (title.pointSize)
                             CnAALabel21->setPointSize(*title.pointSize);
                     });

    // Decoded once, at the size the arrows are shown.
    Image1->setPicture(
        tileimages::loadAsset(platform::services().workDir(), LeftArrowFile, Image1->size()));
    Image2->setPicture(
        tileimages::loadAsset(platform::services().workDir(), RightArrowFile, Image2->size()));

    GridInput in;
    in.windowWidth = W;
    in.windowHeight = H;
    in.arrowWidth = Image1->width();
    in.arrowHeight = Image1->height();
    in.caption1Height = DesignCaptionHeight;
    in.caption6Height = DesignCaptionHeight;
    GridLayout grid;
    computeThenApply([&] { layoutGrid(in, read, grid); },
                     [&] {
                         for (int k = 0; k < GridLayout::Tiles; ++k) {
                             PictureBox *tile = m_tiles[k];
                             if (grid.tileWidth[k])
                                 tile->resize(*grid.tileWidth[k], tile->height());
                             if (grid.tileHeight[k])
                                 tile->resize(tile->width(), *grid.tileHeight[k]);
                             if (grid.tileTop[k])
                                 tile->move(tile->x(), *grid.tileTop[k]);
                             if (grid.tileLeft[k])
                                 tile->move(*grid.tileLeft[k], tile->y());
                         }
                         for (int i = 0; i < 20; ++i) {
                             AALabel *label = i < 10 ? m_line1[i] : m_line2[i - 10];
                             if (grid.captionTop[i])
                                 label->move(label->x(), *grid.captionTop[i]);
                         }
                         if (grid.leftArrowLeft)
                             Image1->move(*grid.leftArrowLeft, Image1->y());
                         if (grid.rightArrowLeft)
                             Image2->move(*grid.rightArrowLeft, Image2->y());
                         if (grid.arrowTop) {
                             Image1->move(Image1->x(), *grid.arrowTop);
                             Image2->move(Image2->x(), *grid.arrowTop);
                         }
                         for (int k = 0; k < 10; ++k) {
                             if (grid.captionTop[k + 10])
                                 m_line2Top[k] = *grid.captionTop[k + 10];
                         }
                         placeArrowAreas();
                     });

    Action1Execute();
    placePageLabel();
}

void TForm1::FormShow()
{
    if (statements::trimmedText(CnAALabel21->text()).isEmpty() || CnAALabel21->isHidden()) {
        CnAALabel21->setVisible(true);
        CnAALabel21->setText(ShowWelcome);
    }

    const SettingsFile ini(platform::services().exeDir());

    QImage background;
    try {
        background =
            tileimages::loadByExtension(tileimages::settingPath(platform::services().workDir(),
                                                                ini.ReadSetting(Setting::PicBg)),
                                        Image3->size());
    } catch (...) {
    }
    if (background.isNull())
        background = tileimages::loadAsset(platform::services().workDir(), DefaultBackgroundFile,
                                           Image3->size());
    Image3->setPicture(background);

    // A value that names no colour of its own (no colour, a system colour) leaves the label's
    // colour as it is; a value that is no whole number ends the block.
    auto applyColor = [&ini](AALabel *label, Setting key) {
        const QColor color = colors::fromBgr(ini.ReadSettingNumber(key));
        if (color.isValid())
            label->setColor(color);
    };
    try {
        applyColor(CnAALabel21, Setting::BiaotiColor);
        for (AALabel *label : m_line1)
            applyColor(label, Setting::Xiaobiaoti1Color);
        for (AALabel *label : m_line2)
            applyColor(label, Setting::Xiaobiaoti2Color);
    } catch (...) {
    }

    catalogue.computePageCount();
}

// ---------------------------------------------------------------------------------------------
// Arrows and pages

void TForm1::Timer1Timer()
{
    Image1->setVisible(false);
    Image2->setVisible(false);
}

void TForm1::Timer2Timer()
{
    Image1->setVisible(true);
    Image2->setVisible(true);
}

QList<tilecache::TileRequest> TForm1::pageTiles(int page) const
{
    QList<tilecache::TileRequest> requests;
    requests.reserve(10);
    for (int k = 0; k < 10; ++k) {
        const QString name = catalogue.entry(10 * page + k);
        // A link leading out of the photo folder shows as an empty tile.
        requests.append({photoPathIn(platform::workPath(u"图片"_s), name), m_tiles[k]->size()});
    }
    return requests;
}

void TForm1::Action1Execute()
{
    const SettingsFile ini(platform::services().exeDir());

    // Everything of the new page is prepared first and then set in one go, so no half page
    // is ever drawn. Each file is checked again at every fill: a photo replaced on disk shows
    // at once, an unchanged one comes from the tile cache without decoding.
    const QList<QImage> pictures = tilecache::loadTiles(pageTiles(pageIndex));
    std::array<Captions, 10> captions;
    for (int k = 0; k < 10; ++k)
        captions[k] = SplitPhotoName(catalogue.entry(10 * pageIndex + k));
    for (int k = 0; k < 10; ++k) {
        m_tiles[k]->setPicture(pictures.at(k));
        m_line1[k]->setText(captions[k].line1);
        m_line2[k]->setText(captions[k].line2);
        m_line1[k]->move(m_tiles[k]->x(), m_line1[k]->y());
        m_line2[k]->move(m_tiles[k]->x(), m_line2[k]->y());
    }
    if (m_prefetching)
        QTimer::singleShot(0, this, &TForm1::prefetchOtherPages);

    // Sizes no screen can show are limited to the window's height.
    const qint32 size1 = limitFontPoints(ini.ReadSettingNumber(Setting::Xiaobiaoti1), height());
    for (AALabel *label : m_line1)
        label->setPointSize(size1);
    // The second line keeps its laid-out top unless a larger first line would overlap it; then
    // it stands right under the first.
    for (int k = 0; k < 10; ++k) {
        if (m_line2Top[k])
            m_line2[k]->move(m_line2[k]->x(),
                             qMax(*m_line2Top[k], m_line1[k]->y() + m_line1[k]->height()));
    }
    const qint32 size2 = limitFontPoints(ini.ReadSettingNumber(Setting::Xiaobiaoti2), height());
    for (AALabel *label : m_line2)
        label->setPointSize(size2);
}

void TForm1::prefetchOtherPages()
{
    tilecache::prefetch(paging::choosePrefetch(pageIndex, PageCountFor(catalogue.count()),
                                               tilecache::shared().budget(),
                                               [this](int page) { return pageTiles(page); }));
}

void TForm1::placePageLabel()
{
    const Point32 p = pageLabelPlace(Image8->x(), Image8->y(), Image8->width(),
                                     CnAALabel22->width(), CnAALabel22->height());
    CnAALabel22->move(p.left, p.top);
}

void TForm1::placeArrowAreas()
{
    const QMargins reach(ArrowAreaMargin, ArrowAreaMargin, ArrowAreaMargin, ArrowAreaMargin);
    ArrowArea1->setGeometry(Image1->geometry() + reach);
    ArrowArea2->setGeometry(Image2->geometry() + reach);
}

void TForm1::Image1Click()
{
    pageIndex = paging::previousPage(pageIndex, catalogue.PageCount);
    CnAALabel22->setText(u"第%1页"_s.arg(pageIndex + 1));
    placePageLabel();
    Action1Execute();
}

void TForm1::Image2Click()
{
    pageIndex = paging::nextPage(pageIndex, catalogue.PageCount);
    CnAALabel22->setText(u"第%1页"_s.arg(pageIndex + 1));
    placePageLabel();
    Action1Execute();
}

// ---------------------------------------------------------------------------------------------
// Tile taps

void TForm1::tileTap(int tile)
{
    // A tile without a photo takes no rating: a row nobody can be named for helps no report.
    if (!m_rating || catalogue.entry(10 * pageIndex + tile).isEmpty())
        return;
    // The dialog's show-time actions run before it receives the picture and the name; showing
    // a dialog that is already shown only brings it to the front.
    showModeless(m_rating);
    m_rating->Image6->setPicture(m_tiles[tile]->picture().copy());
    m_rating->CnAALabel1->setText(m_line1[tile]->text() + u"  "_s + m_line2[tile]->text());
}

void TForm1::Image4Click()
{
    tileTap(0);
}
void TForm1::Image5Click()
{
    tileTap(1);
}
void TForm1::Image6Click()
{
    tileTap(2);
}
void TForm1::Image7Click()
{
    tileTap(3);
}
void TForm1::Image8Click()
{
    tileTap(4);
}
void TForm1::Image9Click()
{
    tileTap(5);
}
void TForm1::Image10Click()
{
    tileTap(6);
}
void TForm1::Image11Click()
{
    tileTap(7);
}
void TForm1::Image12Click()
{
    tileTap(8);
}
void TForm1::Image13Click()
{
    tileTap(9);
}

// ---------------------------------------------------------------------------------------------
// Administration menu

void TForm1::N1Click()
{
    showModeless(m_statistics);
}

TForm1::~TForm1() = default;

void TForm1::setCentralLink(const central::Link *link)
{
    m_centralLink = link;
    if (m_reportWindow)
        linkReportWindow();
}

void TForm1::linkReportWindow()
{
    disconnect(m_reportStatus);
    ReportWindow *window = m_reportWindow.get();
    window->setCentralSource(m_centralLink ? m_centralLink->config().url : QString());
    if (!m_centralLink)
        return;
    const central::Link *link = m_centralLink;
    const auto show = [window, link] {
        platform::guarded(window,
                          [&] { window->showCentralState(central::statusLine(link->status())); });
    };
    m_reportStatus = connect(link, &central::Link::statusChanged, window, show);
    show();
}

void TForm1::N9Click()
{
    if (!m_reportWindow) {
        m_reportWindow = std::make_unique<ReportWindow>(platform::workPath(u"db.dll"_s));
        linkReportWindow();
    }
    showModeless(m_reportWindow.get());
}

void TForm1::N2Click()
{
    showModeless(m_parameters);
}

void TForm1::N3Click()
{
    showModeless(m_pictures);
}

void TForm1::N5Click()
{
    try {
        const SettingsFile ini(platform::services().exeDir());
        const QString path = platform::services().openPicture(this, u"JPEG 图像文件 (*.jpg)"_s);
        if (path.isEmpty())
            return;
        ini.WriteSetting(Setting::PicBg, QDir::toNativeSeparators(path));
        platform::services().message(this, u"更改成功！重新打开软件后生效。"_s);
    } catch (...) {
        // The background stays as it was configured; nothing is reported.
    }
}

void TForm1::N4Click()
{
    // The program ends only when a file manager was started: on a PC without one, ending would
    // leave staff in front of a black screen.
    bool opened = false;
    try {
        opened = platform::services().openFolder(platform::exePath(u"图片"_s) + u'/');
    } catch (...) {
    }
    if (opened) {
        platform::services().quit();
        return;
    }
    platform::services().message(
        this, u"无法打开图片文件夹：这台电脑没有可用的文件管理器，或文件夹“%1”不存在。"
              u"请用其他方法把照片复制到这个文件夹，然后重新启动软件。"_s.arg(
                  QDir::toNativeSeparators(platform::exePath(u"图片"_s))));
}

void TForm1::N7Click()
{
    const QString text = u"程序即将关闭退出！点\"是\"退出程序，点\"否\"返回程序！"_s;
    if (platform::services().question(this, u"提示"_s, text))
        platform::services().quit();
}

void TForm1::openMenu(const QPoint &globalPos)
{
    PopupMenu1->popup(globalPos);
    emit menuOpened(globalPos);
}

void TForm1::setDataModule(TDataModule3 *module)
{
    m_module = module;
    pinLockout = PinLockout();
    if (!m_module)
        return;
    try {
        pinLockout.restore(m_module->PinEventsAfterLast(staffpin::eventAccepted()));
    } catch (const KioskError &) {
        // No log to read (db.dll missing or broken, which start-up reports on its own): the
        // count starts at nothing and is kept from here on.
    }
}

void TForm1::logPinEntries(const QList<PinLogRecord> &entries)
{
    if (!m_module)
        return;
    try {
        for (const PinLogRecord &entry : entries)
            m_module->AppendPinEvent(entry);
    } catch (const KioskError &) {
        // db.dll cannot take it (read-only, missing): the lock-out still holds while the
        // program runs, and nobody in front of the kiosk is told about the database.
    }
}

void TForm1::MenuRequest(const QPoint &globalPos)
{
    if (PinPad->isVisible())
        return;
    const staffpin::StoredPin stored =
        staffpin::readStoredPin(SettingsFile(platform::services().exeDir()));
    if (stored.state != staffpin::StoredPin::State::Set) {
        // Closed by default: without a PIN that can be read, nobody reaches the staff functions.
        platform::services().notice(this, stored.message, NoPinNoticeMilliseconds);
        return;
    }
    m_menuRequestPos = globalPos;
    PinPad->ask(u"请输入管理密码"_s);
    refreshPinPad();
    PinPadTimer->start();
}

void TForm1::PinPadSubmitted(const QString &pin)
{
    const staffpin::StoredPin stored =
        staffpin::readStoredPin(SettingsFile(platform::services().exeDir()));
    if (stored.state != staffpin::StoredPin::State::Set) {
        // The PIN went from the file meanwhile: the menu stays closed.
        PinPadTimer->stop();
        PinPad->hide();
        platform::services().notice(this, stored.message, NoPinNoticeMilliseconds);
        return;
    }
    const bool correct = staffpin::matches(pin, stored.hash);
    const QDateTime now = platform::services().now();
    QList<PinLogRecord> log;
    const PinLockout::Outcome outcome = pinLockout.submit(correct, now, &log);
    logPinEntries(log);
    if (outcome == PinLockout::Outcome::Accepted) {
        PinPadTimer->stop();
        PinPad->hide();
        openMenu(m_menuRequestPos);
        return;
    }
    refreshPinPad();
}

void TForm1::PinPadTimerTimer()
{
    if (!PinPad->isVisible()) {
        PinPadTimer->stop();
        return;
    }
    refreshPinPad();
}

void TForm1::refreshPinPad()
{
    const QDateTime now = platform::services().now();
    PinPad->setLocked(pinLockout.isLocked(now));
    PinPad->setStatus(pinLockout.statusText(now));
}

void TForm1::contextMenuEvent(QContextMenuEvent *event)
{
    // Children leave context-menu requests to the window, so this sees them from anywhere.
    const QPoint pos = event->globalPos();
    platform::guarded(this, [this, pos] { MenuRequest(pos); });
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Window events

void TForm1::resizeEvent(QResizeEvent *event)
{
    KioskForm::resizeEvent(event);
    // The background fills the whole client area.
    Image3->setGeometry(rect());
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program, also while other windows are open.
    event->accept();
    platform::services().quit();
}

// A touch that stays put for HoldMilliseconds opens the menu, as a right click does. Touches
// reach the controls as synthesized mouse events; a real mouse never starts a hold.
bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    const auto type = event->type();
    if (type == QEvent::Paint && watched == this && !m_prefetching) {
        // The first page is on screen: the other pages are prepared from now on.
        m_prefetching = true;
        QTimer::singleShot(0, this, &TForm1::prefetchOtherPages);
    }
    // A press soon after another one at the same place arrives as a double click; for a hold
    // it is a press like any other.
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return KioskForm::eventFilter(watched, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    const bool fromTouch = mouse->pointingDevice() &&
                           mouse->pointingDevice()->type() == QInputDevice::DeviceType::TouchScreen;
    if (!fromTouch)
        return KioskForm::eventFilter(watched, event);

    const QPoint global = mouse->globalPosition().toPoint();
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // A press that bubbles up from a control to the window is the same touch.
        if (!m_holdTimer->isActive() || global != m_holdStart) {
            m_holdFired = false;
            m_holdStart = global;
            m_holdTimer->start();
        }
        break;
    case QEvent::MouseMove:
        if (m_holdTimer->isActive() && (global - m_holdStart).manhattanLength() > HoldSlop)
            m_holdTimer->stop();
        break;
    default: // release
        m_holdTimer->stop();
        if (m_holdFired) {
            // The hold has opened the menu: the end of the touch is no tap.
            m_holdFired = false;
            return true;
        }
        break;
    }
    return KioskForm::eventFilter(watched, event);
}

void TForm1::touchHeld()
{
    m_holdFired = true;
    platform::guarded(this, [this] { MenuRequest(m_holdStart); });
}
