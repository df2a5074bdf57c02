#pragma once

#include "kiosk/catalogue.h"
#include "platform/widgets/form.h"

// The full-screen main window.
class TForm1 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);

    // Shows the window borderless, topmost and covering the whole screen.
    void showKiosk();

    Catalogue catalogue;

protected:
    void FormCreate() override;
    void FormShow() override;
};
