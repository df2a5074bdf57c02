#pragma once

#include "platform/widgets/form.h"

// The 统计窗口.
class TForm4 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);
};
