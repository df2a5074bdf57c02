#pragma once

#include <QPixmap>
#include <QWidget>

// Base of the program's windows. A window's creation handler runs from its constructor; its
// show handler runs each time it goes from hidden to visible. Both run inside the handler guard,
// so a failure ends the handler and is shown in the error box.
class KioskForm : public QWidget
{
    Q_OBJECT
public:
    explicit KioskForm(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    // The program's modeless windows: topmost, with a title bar that has no buttons.
    static constexpr Qt::WindowFlags DialogFlags =
        Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

    // One of the pictures built into the program (":/builtin/<name>").
    static QPixmap builtinPicture(const QString &name);

    // Shows a window of the program centred on the kiosk's screen and in front, without waiting
    // for it; a window already shown is only brought to the front. The window is made a dialog
    // of the main window (its transient parent): on Wayland, where a window cannot place itself,
    // and under cage this is what keeps it centred and above the full-screen main window instead
    // of covering the screen.
    static void showCentredOnTop(QWidget *window);
    // Makes a window without a parent widget a dialog of the main window (see above).
    static void attachToMainWindow(QWidget *window);
    // The full-screen main window the other windows are shown over.
    static void setMainWindow(QWidget *window);

protected:
    // Caption, the "MS Sans Serif" 11-pixel form font (falling back to the installed CJK font),
    // the client size, and the window centred on the screen.
    void setUpWindow(const QString &caption, QSize clientSize = QSize(862, 473));

    // Subclasses call this at the end of their constructor, once the controls exist.
    void runCreate();
    virtual void FormCreate() {}
    virtual void FormShow() {}

    void showEvent(QShowEvent *event) override;
};
