#include "config/tform5.h"

TForm5::TForm5(QWidget *parent) : KioskForm(parent)
{
    setObjectName(QStringLiteral("Form5"));
    runCreate();
}
