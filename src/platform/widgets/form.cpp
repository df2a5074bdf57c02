#include "platform/widgets/form.h"

#include "platform/guard.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

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
