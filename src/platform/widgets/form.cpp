#include "platform/widgets/form.h"

#include "platform/guard.h"

#include <QShowEvent>

KioskForm::KioskForm(QWidget *parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

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
