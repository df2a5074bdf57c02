#include "platform/widgets/form.h"

#include "platform/guard.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace {
QPointer<QWidget> g_mainWindow;
}

KioskForm::KioskForm(QWidget *parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

QPixmap KioskForm::builtinPicture(const QString &name)
{
    return QPixmap(QStringLiteral(":/builtin/") + name);
}

void KioskForm::setUpWindow(const QString &caption, QSize clientSize)
{
    setWindowTitle(caption);
    QFont f = font();
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("SimHei")});
    f.setPixelSize(11);
    setFont(f);
    resize(clientSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void KioskForm::runCreate()
{
    platform::guarded(this, [this] { FormCreate(); });
}

void KioskForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Only the window's own change from hidden to visible counts, not a restore by the system.
    if (!event->spontaneous())
        platform::guarded(this, [this] { FormShow(); });
}

void KioskForm::setMainWindow(QWidget *window)
{
    g_mainWindow = window;
}

void KioskForm::attachToMainWindow(QWidget *window)
{
    QWidget *main = g_mainWindow.data();
    if (!window || !main || main == window || window->parentWidget())
        return;
    window->winId();
    main->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(main->windowHandle());
}

void KioskForm::showCentredOnTop(QWidget *window)
{
    if (!window)
        return;
    if (!window->isVisible()) {
        QWidget *main = g_mainWindow.data();
        attachToMainWindow(window);
        const QScreen *screen = main ? main->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame(QPoint(), window->frameGeometry().size());
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
}
