#include "evaluation/tform2.h"

#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"

TForm2::TForm2(QWidget *parent) : KioskForm(parent)
{
    setObjectName(QStringLiteral("Form2"));
    Image6 = new PictureBox(this);
    Image6->setObjectName(QStringLiteral("Image6"));
    CnAALabel1 = new AALabel(this);
    CnAALabel1->setObjectName(QStringLiteral("CnAALabel1"));
    runCreate();
}
