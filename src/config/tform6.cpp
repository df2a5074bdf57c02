#include "config/tform6.h"

TForm6::TForm6(QWidget *parent) : KioskForm(parent)
{
    setObjectName(QStringLiteral("Form6"));
    runCreate();
}
