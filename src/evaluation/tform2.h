#pragma once

#include "platform/widgets/form.h"

class AALabel;
class PictureBox;

// The rating dialog.
class TForm2 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    PictureBox *Image6 = nullptr;    // photo of the rated person or window
    AALabel *CnAALabel1 = nullptr;   // the rated name
};
