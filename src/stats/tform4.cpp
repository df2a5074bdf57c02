#include "stats/tform4.h"

TForm4::TForm4(QWidget *parent) : KioskForm(parent)
{
    setObjectName(QStringLiteral("Form4"));
    runCreate();
}
