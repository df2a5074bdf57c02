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
