#pragma once

#include "platform/widgets/form.h"

// The 参数设置窗口.
class TForm5 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
};
