#include "kiosk/tform1.h"

TForm1::TForm1(QWidget *parent) : KioskForm(parent)
{
    setObjectName(QStringLiteral("Form1"));
    runCreate();
}

void TForm1::showKiosk()
{
    showMaximized();
}

void TForm1::FormCreate() {}

void TForm1::FormShow() {}
