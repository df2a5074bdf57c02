#pragma once

#include "kiosk/catalogue.h"
#include "kiosk/tilecache.h"
#include "platform/widgets/form.h"
#include "security/staffpin.h"

#include <QPoint>
#include <QRect>

#include <array>
#include <memory>
#include <optional>

class AALabel;
class PictureBox;
class PinPadWindow;
class QAction;
namespace central {
class Link;
}
class QMenu;
class QTimer;
class TForm2;
class TDataModule3;
class ReportWindow;

// The full-screen main window: the title, ten photo tiles with two caption lines each, the page
// label, two blinking page arrows over a background picture, and the administration menu that
// a context-menu request anywhere on the window opens.
class TForm1 : public KioskForm
{
    Q_OBJECT
public:
    // The window covers the primary screen.
    explicit TForm1(QWidget *parent = nullptr);
    // The window covers screenArea; its size is the one the layout works with.
    explicit TForm1(const QRect &screenArea, QWidget *parent = nullptr);
    ~TForm1() override;

    // Shows the window borderless, topmost and covering the whole screen area, with or
    // without a window manager.
    void showKiosk();

    // The windows this one opens: the rating dialog on a tile tap, and the statistics,
    // parameter and picture editing windows from the menu. Any of them may be missing (a tap or
    // menu command then does nothing). Set once all are created; none is owned.
    void setWindows(TForm2 *rating, QWidget *statistics, QWidget *parameters, QWidget *pictures);
    // The forwarding to a central database whose state the menu's line N9 shows, or null (the
    // line stays hidden). Not owned.
    // Also handed on to the report window.
    void setCentralLink(const central::Link *link);
    // The database module whose log table 密码记录 keeps every PIN entry and lock. Setting it
    // takes up the lock-out where the log left it, so a restart of the kiosk does not end a
    // lock or forget wrong entries. Null: the count is kept while the program runs. Not owned.
    void setDataModule(TDataModule3 *module);

    // Page fill: pictures, captions, caption lefts and caption font sizes of the current page.
    void Action1Execute();
    void Timer1Timer();
    void Timer2Timer();
    void Image1Click();
    void Image2Click();
    void Image4Click();
    void Image5Click();
    void Image6Click();
    void Image7Click();
    void Image8Click();
    void Image9Click();
    void Image10Click();
    void Image11Click();
    void Image12Click();
    void Image13Click();
    void N1Click();
    // Opens the satisfaction report window, created at its first use.
    void N9Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N7Click();
    // A staff-menu request (right click or press-and-hold) at globalPos: with a staff PIN set
    // the number pad asks for it first. Without one, or when opt.ini cannot be read, the menu
    // stays closed and a notice says for a few seconds what the administrator has to do.
    void MenuRequest(const QPoint &globalPos);
    // The number pad's entry: the right PIN opens the menu where it was requested; wrong ones
    // are counted (PinLockout). Each entry and lock goes into the log.
    void PinPadSubmitted(const QString &pin);
    // Once a second while the pad is shown: the lock-out line and the lock follow the clock.
    void PinPadTimerTimer();

    // Controls in stacking order, bottom first.
    PictureBox *Image3 = nullptr; // background
    PictureBox *Image1 = nullptr; // left page arrow
    PictureBox *Image2 = nullptr; // right page arrow
    // Invisible tap areas under the arrows, a little larger than they are: they take the taps
    // while an arrow blinks off, so no tap on an arrow is lost.
    QWidget *ArrowArea1 = nullptr;
    QWidget *ArrowArea2 = nullptr;
    AALabel *CnAALabel1 = nullptr, *CnAALabel2 = nullptr, *CnAALabel3 = nullptr,
            *CnAALabel4 = nullptr, *CnAALabel5 = nullptr, *CnAALabel6 = nullptr,
            *CnAALabel7 = nullptr, *CnAALabel8 = nullptr, *CnAALabel9 = nullptr,
            *CnAALabel10 = nullptr; // caption line 1 of tiles 1..10
    AALabel *CnAALabel11 = nullptr, *CnAALabel12 = nullptr, *CnAALabel13 = nullptr,
            *CnAALabel14 = nullptr, *CnAALabel15 = nullptr, *CnAALabel16 = nullptr,
            *CnAALabel17 = nullptr, *CnAALabel18 = nullptr, *CnAALabel19 = nullptr,
            *CnAALabel20 = nullptr; // caption line 2 of tiles 1..10
    AALabel *CnAALabel21 = nullptr; // title
    PictureBox *Image4 = nullptr, *Image5 = nullptr, *Image6 = nullptr, *Image7 = nullptr,
               *Image8 = nullptr, *Image9 = nullptr, *Image10 = nullptr, *Image11 = nullptr,
               *Image12 = nullptr, *Image13 = nullptr; // photo tiles 1..10
    AALabel *CnAALabel22 = nullptr;                    // page label

    QTimer *Timer1 = nullptr; // hides the arrows
    QTimer *Timer2 = nullptr; // shows the arrows again, half a second out of phase

    QMenu *PopupMenu1 = nullptr;
    QAction *N1 = nullptr, *N9 = nullptr, *N2 = nullptr, *N3 = nullptr, *N5 = nullptr,
            *N4 = nullptr, *N7 = nullptr, *N8 = nullptr;

    PinPadWindow *PinPad = nullptr;
    QTimer *PinPadTimer = nullptr;
    // Wrong PIN entries and locks, taken up from the log at start.
    PinLockout pinLockout;
    // Below the last line, only when the kiosk forwards to a central database: its state.
    QAction *N10 = nullptr;

    // The photo file names in display order, and the page count.
    Catalogue catalogue;
    // The current page, counted from 0.
    int pageIndex = 0;

    // How long the arrows stay hidden at each blink.
    static constexpr int ArrowBlinkMilliseconds = 500;
    // The staff menu's item height and font, for a finger.
    static constexpr int MenuItemPixels = 48;
    static constexpr int MenuFontPixels = 20;
    // How far the arrows' tap areas reach beyond the arrows, on every side.
    static constexpr int ArrowAreaMargin = 16;
    // How long a touch has to stay put to open the menu.
    static constexpr int HoldMilliseconds = 1000;
    // How long the notice stays that the menu is closed for want of a PIN.
    static constexpr int NoPinNoticeMilliseconds = 6000;

    // The area the window covers and the layout is computed for.
    QRect screenArea() const { return m_screenArea; }

signals:
    // Emitted after the administration menu has been opened at globalPos.
    void menuOpened(QPoint globalPos);

protected:
    void FormCreate() override;
    void FormShow() override;

    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const central::Link *m_centralLink = nullptr;
    QMetaObject::Connection m_reportStatus;
    // Hands the report window the central database of the link and keeps its state line current.
    void linkReportWindow();
    void buildControls();
    void buildMenu();
    void watchTouchHolds();
    void openMenu(const QPoint &globalPos);
    void placePageLabel();
    // Puts the arrows' tap areas around the arrows.
    void placeArrowAreas();
    void tileTap(int tile);
    void touchHeld();
    // The tile requests of a page: its photo files (empty path for an empty entry) at the
    // sizes of the ten tiles.
    QList<tilecache::TileRequest> pageTiles(int page) const;
    // Prepares the pictures of the other pages in the background (tilecache::prefetch).
    void prefetchOtherPages();

    void refreshPinPad();
    // Writes the entries into the log; a log that cannot be written keeps the pad working.
    void logPinEntries(const QList<PinLogRecord> &entries);
    TDataModule3 *m_module = nullptr;

    QRect m_screenArea;
    TForm2 *m_rating = nullptr;
    QWidget *m_statistics = nullptr;
    QWidget *m_parameters = nullptr;
    QWidget *m_pictures = nullptr;
    // The report window, made when the menu first opens it; deleted with this window.
    std::unique_ptr<ReportWindow> m_reportWindow;
    QPoint m_menuRequestPos; // where the menu was asked for while the pad asks for the PIN
    std::array<PictureBox *, 10> m_tiles{};
    std::array<AALabel *, 10> m_line1{};
    std::array<AALabel *, 10> m_line2{};
    // Tops of the second caption lines as laid out at creation (none when the layout failed).
    std::array<std::optional<int>, 10> m_line2Top{};

    // Press-and-hold on a touch screen.
    QTimer *m_holdTimer = nullptr;
    QPoint m_holdStart;       // global position of the touch
    bool m_holdFired = false; // the hold opened the menu: the rest of the touch is no tap
    // Set once the window was first painted: from then on every fill also prepares the pages
    // around the new one.
    bool m_prefetching = false;
};
