#include "config/tform5.h"

#include "config/badreasons.h"
#include "config/settingsfile.h"
#include "kiosk/layout.h"
#include "platform/color.h"
#include "platform/gbk.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/coloredit.h"
#include "platform/widgets/labelededit.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "reports/figures.h"
#include "security/pinpadwindow.h"
#include "store/repeats.h"
#include "store/statements.h"

#include <QLabel>
#include <QScreen>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString SavedText = u"保存成功！"_s;
const QString FailedText = u"保存失败！"_s;
const QString AutoLayoutCaption = u"按屏幕自动排版"_s;

// Buttons a finger hits: the designed places and widths, 44 pixels high.
constexpr int ButtonHeight = 44;
// A title of this many characters still fits the 2047 bytes a value is read as.
constexpr int TitleMaxLength = 1000;

// The characters of text that GBK cannot store (each once, in order); empty when all can.
QString notInGbk(const QString &text)
{
    QString missing;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString ch = text.mid(i, len);
        if (gbk::decode(gbk::encode(ch)) != ch && !missing.contains(ch))
            missing += ch;
        i += len;
    }
    return missing;
}

// An edit box or colour picker of the window: the setting it shows and edits (its label is
// the setting's meaning in the table of keys) and where it stands.
struct EditPlace
{
    LabeledEdit *TForm5::*edit;
    const char16_t *name;
    Setting setting;
    int left, top;
};

// The nine edit boxes in the order the window fills and saves them.
constexpr std::array<EditPlace, 9> Edits{{
    {&TForm5::LabeledEdit1, u"LabeledEdit1", Setting::PicWidth, 40, 59},
    {&TForm5::LabeledEdit2, u"LabeledEdit2", Setting::PicHeight, 198, 59},
    {&TForm5::LabeledEdit3, u"LabeledEdit3", Setting::PicZuoyoujiange, 353, 59},
    {&TForm5::LabeledEdit4, u"LabeledEdit4", Setting::PicShangxiajiange, 515, 59},
    {&TForm5::LabeledEdit5, u"LabeledEdit5", Setting::PicShangxiaxiuzheng, 674, 59},
    {&TForm5::LabeledEdit6, u"LabeledEdit6", Setting::BiaotiTop, 42, 139},
    {&TForm5::LabeledEdit7, u"LabeledEdit7", Setting::Xiaobiaoti1, 44, 211},
    {&TForm5::LabeledEdit8, u"LabeledEdit8", Setting::Xiaobiaoti2, 353, 211},
    {&TForm5::LabeledEdit9, u"LabeledEdit9", Setting::BiaotiSize, 200, 140},
}};

struct ColorPlace
{
    ColorEdit *TForm5::*picker;
    const char16_t *pickerName;
    QLabel *TForm5::*label;
    const char16_t *labelName;
    Setting setting;
    QRect labelRect;
    QRect pickerRect;
};

// The three colour pickers in the order the window fills and saves them.
const std::array<ColorPlace, 3> Colors{{
    {&TForm5::RzColorEdit1, u"RzColorEdit1", &TForm5::Label1, u"Label1", Setting::BiaotiColor,
     QRect(353, 123, 84, 13), QRect(352, 140, 121, 21)},
    {&TForm5::RzColorEdit2, u"RzColorEdit2", &TForm5::Label2, u"Label2", Setting::Xiaobiaoti1Color,
     QRect(200, 192, 108, 13), QRect(201, 211, 121, 21)},
    {&TForm5::RzColorEdit3, u"RzColorEdit3", &TForm5::Label3, u"Label3", Setting::Xiaobiaoti2Color,
     QRect(520, 192, 137, 13), QRect(520, 211, 121, 21)},
}};

QString meaning(Setting setting)
{
    return settingKey(setting).meaning.toString();
}

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

} // namespace

TForm5::TForm5(QWidget *parent) : KioskForm(parent, DialogFlags)
{
    setObjectName(u"Form5"_s);
    setUpWindow(u"参数设置 只能填入阿拉伯数字"_s);

    Image1 = new PictureBox(this);
    Image1->setObjectName(u"Image1"_s);
    Image1->setGeometry(0, 0, 862, 473);
    Image1->setPicture(builtinPicture(u"sky.jpg"_s));

    for (const EditPlace &place : Edits) {
        auto *edit = new LabeledEdit(meaning(place.setting), this);
        edit->setObjectName(text(place.name));
        edit->setGeometry(place.left, place.top, 121, 21);
        this->*place.edit = edit;
    }

    for (const ColorPlace &place : Colors) {
        auto *label = new QLabel(meaning(place.setting), this);
        label->setObjectName(text(place.labelName));
        label->setGeometry(place.labelRect);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->setStyleSheet(u"color: white; background: transparent;"_s);
        auto *picker = new ColorEdit(this);
        picker->setObjectName(text(place.pickerName));
        picker->setGeometry(place.pickerRect);
        label->setBuddy(picker);
        this->*place.label = label;
        this->*place.picker = picker;
    }

    LabeledEdit10 = new LabeledEdit(meaning(Setting::BiaotiWenzi), this);
    LabeledEdit10->setObjectName(u"LabeledEdit10"_s);
    LabeledEdit10->setGeometry(515, 140, 280, 21);
    LabeledEdit10->setMaxLength(TitleMaxLength);

    LabeledEdit11 = new LabeledEdit(meaning(Setting::PaimingZuishao), this);
    LabeledEdit11->setObjectName(u"LabeledEdit11"_s);
    LabeledEdit11->setGeometry(674, 211, 121, 21);

    LabeledEdit12 = new LabeledEdit(meaning(Setting::ChongfuMiao), this);
    LabeledEdit12->setObjectName(u"LabeledEdit12"_s);
    LabeledEdit12->setGeometry(44, 262, 121, 21);

    LabeledEdit13 = new LabeledEdit(meaning(Setting::ChapingYuanyin), this);
    LabeledEdit13->setObjectName(u"LabeledEdit13"_s);
    LabeledEdit13->setGeometry(200, 262, 595, 21);
    // Eight reasons of eight characters and their separators, with room for blanks.
    LabeledEdit13->setMaxLength(200);

    RzButton1 =
        RzButton::create(u"RzButton1"_s, u"保存修改"_s, QRect(344, 296, 75, ButtonHeight), this);
    RzButton2 =
        RzButton::create(u"RzButton2"_s, u" 关  闭"_s, QRect(464, 296, 75, ButtonHeight), this);
    RzButton3 = RzButton::create(u"RzButton3"_s, u"设置管理密码"_s,
                                 QRect(584, 296, 100, ButtonHeight), this);
    connect(RzButton3, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton3Click(); }); });
    PinPad = new PinPadWindow(this);
    connect(PinPad, &PinPadWindow::submitted, this, [this](const QString &pin) {
        platform::guarded(this, [this, &pin] { PinPadSubmitted(pin); });
    });
    RzButton4 = RzButton::create(u"RzButton4"_s, AutoLayoutCaption,
                                 QRect(164, 296, 140, ButtonHeight), this);
    // Captions readable on a button sized for a finger.
    for (RzButton *button : {RzButton1, RzButton2, RzButton3, RzButton4}) {
        QFont f = button->font();
        f.setPixelSize(14);
        button->setFont(f);
    }
    connect(RzButton1, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton1Click(); }); });
    connect(RzButton2, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton2Click(); }); });
    connect(RzButton4, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { RzButton4Click(); }); });

    // Keyboard focus order of the form description.
    const QList<QWidget *> order{LabeledEdit1, LabeledEdit2,  LabeledEdit3,  LabeledEdit4,
                                 LabeledEdit5, LabeledEdit6,  LabeledEdit7,  LabeledEdit8,
                                 RzButton1,    RzButton2,     LabeledEdit9,  RzColorEdit1,
                                 RzColorEdit2, RzColorEdit3,  RzButton3,     LabeledEdit10,
                                 RzButton4,    LabeledEdit11, LabeledEdit12, LabeledEdit13};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    runCreate();
}

void TForm5::FormShow()
{
    const SettingsFile settings(platform::services().exeDir());
    // The texts as they stand in the file, unconverted; a missing key shows its own name.
    for (const EditPlace &place : Edits)
        (this->*place.edit)->setText(settings.ReadSetting(place.setting));
    // The title as the main window shows it: the built-in one while opt.ini has none.
    LabeledEdit10->setText(
        settings.ReadSettingIfPresent(Setting::BiaotiWenzi).value_or(BuiltInTitle()));
    // The minimum the reports use: the default while opt.ini has none.
    LabeledEdit11->setText(settings.ReadSettingIfPresent(Setting::PaimingZuishao)
                               .value_or(QString::number(reports::DefaultMinimumRatings)));
    // The reasons the rating dialog offers: the defaults while opt.ini has none. A value written
    // by hand that the dialog does not use is shown as it stands, so staff can mend it.
    LabeledEdit13->setText(settings.ReadSettingIfPresent(Setting::ChapingYuanyin)
                               .value_or(badreasons::joined(badreasons::defaults())));
    // The window of suspected repeats: the default while opt.ini has none.
    LabeledEdit12->setText(settings.ReadSettingIfPresent(Setting::ChongfuMiao)
                               .value_or(QString::number(repeats::DefaultSeconds)));

    // One guarded block: the first colour that is missing or no whole number ends it silently,
    // and the pickers after it keep what they held.
    try {
        for (const ColorPlace &place : Colors)
            (this->*place.picker)->setSelectedColor(settings.ReadSettingNumber(place.setting));
    } catch (...) {
    }
}

void TForm5::RzButton1Click()
{
    // Nothing is validated: whatever stands in a box is written, trimmed of blanks and
    // control characters at both ends. A refused write ends the save; the keys written
    // before it keep their new values. A title GBK cannot store would come back as question
    // marks, so nothing is saved then and staff are told which characters to replace.
    const QString title = statements::trimmedText(LabeledEdit10->text());
    if (const QString missing = notInGbk(title); !missing.isEmpty()) {
        platform::services().message(
            this, u"大标题文字中的“%1”无法保存，请换用其他字。未保存任何修改。"_s.arg(missing));
        return;
    }
    // The reports would quietly use the default for anything else, so it is refused here.
    const QString minimum = statements::trimmedText(LabeledEdit11->text());
    if (!reports::isMinimumRatingsValue(minimum)) {
        platform::services().message(
            this, u"排名最少评价数应为 1 到 %1 之间的整数。未保存任何修改。"_s.arg(
                      reports::MaximumMinimumRatings));
        return;
    }
    // The reasons become buttons of the rating dialog: a list it could not show is refused.
    const QStringList reasons = badreasons::split(LabeledEdit13->text());
    if (const std::optional<QString> refused = badreasons::refusal(LabeledEdit13->text())) {
        platform::services().message(this, *refused + u"未保存任何修改。"_s);
        return;
    }
    // The kiosk would quietly use the default for anything else, so it is refused here.
    const QString repeatSeconds = statements::trimmedText(LabeledEdit12->text());
    if (!repeats::isSecondsValue(repeatSeconds)) {
        platform::services().message(
            this,
            u"疑似重复间隔秒数应为 0 到 %1 之间的整数（0 表示不标记）。未保存任何修改。"_s.arg(
                repeats::MaximumSeconds));
        return;
    }
    try {
        const SettingsFile settings(platform::services().exeDir());
        for (const EditPlace &place : Edits)
            settings.WriteSetting(place.setting,
                                  statements::trimmedText((this->*place.edit)->text()));
        for (const ColorPlace &place : Colors)
            settings.WriteSetting(place.setting,
                                  QString::number((this->*place.picker)->selectedColor()));
        settings.WriteSetting(Setting::BiaotiWenzi, title);
        settings.WriteSetting(Setting::PaimingZuishao, minimum);
        settings.WriteSetting(Setting::ChongfuMiao, repeatSeconds);
        settings.WriteSetting(Setting::ChapingYuanyin, badreasons::joined(reasons));
    } catch (...) {
        platform::services().message(this, FailedText);
        return;
    }
    platform::services().message(this, SavedText);
    // Every write is on disk by now, so the new instance reads the complete file.
    platform::services().restart();
}

void TForm5::RzButton2Click()
{
    // Hidden, not destroyed; what was typed stays until the next show fills the boxes anew.
    hide();
}

void TForm5::RzButton3Click()
{
    m_newPin = NewPinEntry();
    PinPad->ask(m_newPin.prompt());
}

void TForm5::PinPadSubmitted(const QString &pin)
{
    const QString refusal = m_newPin.submit(pin);
    PinPad->setPrompt(m_newPin.prompt());
    PinPad->setStatus(refusal);
    if (!m_newPin.done())
        return;
    PinPad->hide();
    // Only the salted hash is stored, never the digits.
    try {
        const SettingsFile settings(platform::services().exeDir());
        settings.WriteSetting(staffpin::settingKey(), staffpin::makeHash(m_newPin.pin()));
    } catch (...) {
        platform::services().message(this, FailedText);
        return;
    }
    platform::services().message(this, u"管理密码已设置。"_s);
}

void TForm5::RzButton4Click()
{
    // The values for the screen the window stands on; nothing is written until staff save.
    const QScreen *shown = screen();
    const QSize size = shown ? shown->geometry().size() : QSize(1024, 768);
    const ScreenLayout fit = fitToScreen(size.width(), size.height());
    for (const auto &[key, value] : screenLayoutSettings(fit)) {
        for (const EditPlace &place : Edits) {
            if (keyName(place.setting) == key)
                (this->*place.edit)->setText(QString::number(value));
        }
    }
}
