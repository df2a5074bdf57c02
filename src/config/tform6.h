#pragma once

#include "platform/widgets/form.h"

// The 图片编辑窗口.
class TForm6 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);
};
