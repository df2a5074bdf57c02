#pragma once

#include "platform/widgets/form.h"
#include "security/staffpin.h"

#include <QPixmap>

class ColorEdit;
class LabeledEdit;
class PictureBox;
class PinPadWindow;
class QLabel;
class RzButton;

// The 参数设置窗口: the twelve numeric settings of opt.ini in nine edit boxes and three colour
// pickers, and the welcome title. A button fills the layout boxes with values that suit the
// screen the window is on. Every show fills them from the file; save writes all twelve back and
// restarts the program, since the main window reads most of them only at start. Created once at
// start-up, shown modeless from the administration menu, hidden (never destroyed) by its close
// button.
class TForm5 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);

    // Controls, named as in the form description.
    PictureBox *Image1 = nullptr;         // background, the whole client area
    LabeledEdit *LabeledEdit1 = nullptr;  // pic_width
    LabeledEdit *LabeledEdit2 = nullptr;  // pic_height
    LabeledEdit *LabeledEdit3 = nullptr;  // pic_zuoyoujiange
    LabeledEdit *LabeledEdit4 = nullptr;  // pic_shangxiajiange
    LabeledEdit *LabeledEdit5 = nullptr;  // pic_shangxiaxiuzheng
    LabeledEdit *LabeledEdit6 = nullptr;  // biaoti_top
    LabeledEdit *LabeledEdit7 = nullptr;  // xiaobiaoti1
    LabeledEdit *LabeledEdit8 = nullptr;  // xiaobiaoti2
    LabeledEdit *LabeledEdit9 = nullptr;  // biaoti_size
    LabeledEdit *LabeledEdit10 = nullptr; // biaoti_wenzi, the welcome title
    LabeledEdit *LabeledEdit11 = nullptr; // paiming_zuishao, the least ratings to be ranked
    LabeledEdit *LabeledEdit12 = nullptr; // chongfu_miao, the window of suspected repeats
    LabeledEdit *LabeledEdit13 = nullptr; // chaping_yuanyin, the reasons offered after 1 or 2 stars
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    ColorEdit *RzColorEdit1 = nullptr; // biaoti_color
    ColorEdit *RzColorEdit2 = nullptr; // xiaobiaoti1_color
    ColorEdit *RzColorEdit3 = nullptr; // xiaobiaoti2_color
    RzButton *RzButton1 = nullptr;     // save
    RzButton *RzButton2 = nullptr;     // close
    RzButton *RzButton3 = nullptr;     // set the staff PIN
    PinPadWindow *PinPad = nullptr;    // number pad for the new PIN
    RzButton *RzButton4 = nullptr;     // fill the layout boxes for the current screen

    // Event handlers. Each runs inside the handler guard and may be called directly.
    void RzButton1Click();
    void RzButton2Click();
    // Asks for the new staff PIN twice on the number pad; PinPadSubmitted takes each entry and
    // stores the salted hash (setting guanli_mima) once both agree.
    void RzButton3Click();
    void PinPadSubmitted(const QString &pin);
    // Fills the layout boxes with the values for the screen the window stands on.
    void RzButton4Click();

protected:
    void FormShow() override;

private:
    NewPinEntry m_newPin;
};
