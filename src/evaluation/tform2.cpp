#include "evaluation/tform2.h"

#include "kiosk/tileimages.h"

#include "config/badreasons.h"
#include "config/settingsfile.h"
#include "evaluation/rating.h"
#include "platform/error.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "store/record.h"
#include "store/repeats.h"
#include "store/tdatamodule3.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The window of suspected repeats, read anew at every submit; an opt.ini that cannot be read
// gives the default, so a rating is never refused for it.
int repeatWindow()
{
    try {
        const SettingsFile settings(platform::services().exeDir());
        return repeats::secondsSetting(settings.ReadSettingIfPresent(Setting::ChongfuMiao));
    } catch (...) {
        return repeats::DefaultSeconds;
    }
}

const QString LitStar = u"pic/zhengchang.png"_s;
const QString GreyStar = u"pic/huidu.png"_s;

constexpr int StarLefts[5] = {328, 428, 528, 628, 728};
constexpr int StarTop = 256;
constexpr int StarSize = 78;
// The grade words stand centred under their stars, one star pitch wide.
constexpr int GradeTop = StarTop + StarSize + 8;
constexpr int GradeWidth = 100;
constexpr int GradeHeight = 30;
constexpr int GradePixels = 19;

// The reason buttons: up to two rows under the grade words, from the first star's left to the
// dialog's right margin, each at least as large as a finger needs.
constexpr int ReasonTop = GradeTop + GradeHeight + 2;
constexpr int ReasonLeft = StarLefts[0];
constexpr int ReasonRight = 850;
constexpr int ReasonHeight = 44;
constexpr int ReasonGap = 6;
constexpr int ReasonPixels = 16;

// How long the thanks and the failure notice stay before they close by themselves.
constexpr int ThanksMilliseconds = 3000;
constexpr int FailureMilliseconds = 5000;

} // namespace

QString TForm2::submitPrompt()
{
    return u"点击星星评分后点我提交"_s;
}

QString TForm2::submitCaption(int star)
{
    return u"%1！%2分！点我提交评价。"_s.arg(grades::word(star)).arg(grades::points(star));
}

TForm2::TForm2(QWidget *parent) : KioskForm(parent, DialogFlags)
{
    setObjectName(u"Form2"_s);
    setUpWindow(u"欢迎评价"_s);

    Image7 = new PictureBox(this);
    Image7->setObjectName(u"Image7"_s);
    Image7->setGeometry(rect());
    Image7->setPicture(builtinPicture(u"dialog-background.jpg"_s));

    Image6 = new PictureBox(this);
    Image6->setObjectName(u"Image6"_s);
    Image6->setGeometry(24, 48, 225, 297);
    // A photo keeps its proportions: it covers the box and the overflow is cut off.
    Image6->setScaling(PictureBox::Scaling::Cover);

    PictureBox **stars[5] = {&Image1, &Image2, &Image3, &Image4, &Image5};
    for (int i = 0; i < 5; ++i) {
        auto *box = new PictureBox(this);
        box->setObjectName(u"Image%1"_s.arg(i + 1));
        box->setGeometry(StarLefts[i], StarTop, StarSize, StarSize);
        box->setCursor(Qt::PointingHandCursor);
        *stars[i] = box;
    }

    AALabel **grades[5] = {&GradeLabel1, &GradeLabel2, &GradeLabel3, &GradeLabel4, &GradeLabel5};
    for (int i = 0; i < 5; ++i) {
        auto *word = new AALabel(this);
        word->setObjectName(u"GradeLabel%1"_s.arg(i + 1));
        word->setAutoSize(false);
        word->setFont(AALabel::heiti(GradePixels));
        word->setColor(Qt::white);
        word->setShadow(true);
        word->setAlignment(Qt::AlignCenter);
        word->setText(grades::word(i + 1));
        word->setGeometry(StarLefts[i] + StarSize / 2 - GradeWidth / 2, GradeTop, GradeWidth,
                          GradeHeight);
        word->setCursor(Qt::PointingHandCursor);
        *grades[i] = word;
    }

    CnAALabel1 = new AALabel(this);
    CnAALabel1->setObjectName(u"CnAALabel1"_s);
    CnAALabel1->setFont(AALabel::heiti(21));
    CnAALabel1->setColor(Qt::white);
    CnAALabel1->setAutoSize(true);
    CnAALabel1->move(344, 72);
    CnAALabel1->setText(u"CnAALabel1"_s);

    QFont buttonFont = font();
    buttonFont.setFamilies(
        {u"MS Sans Serif"_s, u"Microsoft Sans Serif"_s, u"WenQuanYi Micro Hei"_s});
    buttonFont.setPixelSize(16);

    RzButton1 = new RzButton(submitPrompt(), this);
    RzButton1->setObjectName(u"RzButton1"_s);
    RzButton1->setGeometry(346, 152, 369, 44);
    RzButton1->setFont(buttonFont);
    RzButton1->setTag(0);
    RzButton1->setEnabled(false);

    RzButton2 = new RzButton(u"关  闭"_s, this);
    RzButton2->setObjectName(u"RzButton2"_s);
    RzButton2->setGeometry(722, 152, 75, 44);
    RzButton2->setFont(buttonFont);

    for (int i = 0; i < badreasons::MaxReasons; ++i) {
        auto *button = new RzButton(QString(), this);
        button->setObjectName(u"ReasonButton%1"_s.arg(i + 1));
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setPixelHeight(ReasonPixels);
        button->hide();
        ReasonButtons.append(button);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(30000);

    connect(Image1, &PictureBox::clicked, this, &TForm2::Image1Click);
    connect(Image2, &PictureBox::clicked, this, &TForm2::Image2Click);
    connect(Image3, &PictureBox::clicked, this, &TForm2::Image3Click);
    connect(Image4, &PictureBox::clicked, this, &TForm2::Image4Click);
    connect(Image5, &PictureBox::clicked, this, &TForm2::Image5Click);
    connect(GradeLabel1, &AALabel::clicked, this, &TForm2::Image1Click);
    connect(GradeLabel2, &AALabel::clicked, this, &TForm2::Image2Click);
    connect(GradeLabel3, &AALabel::clicked, this, &TForm2::Image3Click);
    connect(GradeLabel4, &AALabel::clicked, this, &TForm2::Image4Click);
    connect(GradeLabel5, &AALabel::clicked, this, &TForm2::Image5Click);
    connect(RzButton1, &RzButton::clicked, this, &TForm2::RzButton1Click);
    connect(RzButton2, &RzButton::clicked, this, &TForm2::RzButton2Click);
    connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);

    runCreate();
}

void TForm2::resizeEvent(QResizeEvent *event)
{
    KioskForm::resizeEvent(event);
    Image7->setGeometry(rect());
}

PictureBox *TForm2::star(int index) const
{
    PictureBox *const stars[5] = {Image1, Image2, Image3, Image4, Image5};
    return stars[index - 1];
}

void TForm2::FormCreate()
{
    const SettingsFile settings(platform::services().exeDir());
    // The photo gets the size of a main-screen tile. A bad value ends creation here.
    Image6->resize(settings.ReadSettingNumber(Setting::PicWidth), Image6->height());
    Image6->resize(Image6->width(), settings.ReadSettingNumber(Setting::PicHeight));
    // A configured background that cannot be used leaves the built-in one, silently. It is
    // decoded at the size it is shown at, so a large picture costs no more than a screenful.
    try {
        const QImage background(tileimages::loadByExtension(
            tileimages::settingPath(platform::services().workDir(),
                                    settings.ReadSetting(Setting::PicBg)),
            Image7->size()));
        if (!background.isNull())
            Image7->setPicture(background);
    } catch (...) {
    }
    greyAllStars();
    // The lit star is decoded now too, so that not even the first tap waits for a decode. A
    // lit star that cannot be loaded is reported at the tap that needs it.
    try {
        starPicture(LitStar);
    } catch (const KioskError &) {
    }
}

void TForm2::FormShow()
{
    // The visitor has the full 30 seconds from now.
    Timer1->start();
    try {
        loadReasons();
    } catch (...) {
        // A settings file that cannot be read leaves the reasons of the last showing.
    }
}

void TForm2::loadReasons()
{
    const QStringList reasons = badreasons::offered(SettingsFile(platform::services().exeDir()));
    if (reasons == m_reasons)
        return;
    m_reasons = reasons;
    // Two rows at most: up to four reasons in one row, more split evenly over two.
    const int count = int(reasons.size());
    const int columns = count <= 4 ? qMax(count, 1) : (count + 1) / 2;
    const int width = (ReasonRight - ReasonLeft - (columns - 1) * ReasonGap) / columns;
    for (int i = 0; i < ReasonButtons.size(); ++i) {
        RzButton *button = ReasonButtons.at(i);
        button->setChecked(false);
        button->hide();
        button->setText(reasons.value(i));
        // A long reason gets a smaller font rather than a cut-off caption.
        for (int pixels = ReasonPixels;; --pixels) {
            button->setPixelHeight(pixels);
            if (pixels <= 10 ||
                button->fontMetrics().horizontalAdvance(button->text()) <= width - 2 * ReasonGap)
                break;
        }
        button->setGeometry(ReasonLeft + (i % columns) * (width + ReasonGap),
                            ReasonTop + (i / columns) * (ReasonHeight + ReasonGap), width,
                            ReasonHeight);
    }
}

void TForm2::showReasons(bool bad)
{
    for (int i = 0; i < ReasonButtons.size(); ++i) {
        RzButton *button = ReasonButtons.at(i);
        if (!bad)
            button->setChecked(false);
        button->setVisible(bad && i < m_reasons.size());
    }
}

QStringList TForm2::chosenReasons() const
{
    QStringList chosen;
    for (int i = 0; i < ReasonButtons.size() && i < m_reasons.size(); ++i) {
        if (!ReasonButtons.at(i)->isHidden() && ReasonButtons.at(i)->isChecked())
            chosen << m_reasons.at(i);
    }
    return chosen;
}

QPixmap TForm2::starPicture(const QString &file)
{
    const QImage image =
        m_assets.get(platform::services().workDir(), file, QSize(StarSize, StarSize));
    // The screen copy is made once per decoded picture too.
    StarPixmap &kept = m_starPixmaps[file];
    if (kept.imageKey != image.cacheKey()) {
        kept.pixmap = QPixmap::fromImage(image);
        kept.imageKey = image.cacheKey();
    }
    return kept.pixmap;
}

void TForm2::greyAllStars()
{
    const QPixmap grey = starPicture(GreyStar);
    for (int i = 1; i <= 5; ++i)
        star(i)->setPicture(grey);
}

void TForm2::starClick(int k)
{
    platform::guarded(this, [this, k] {
        const QPixmap lit = starPicture(LitStar);
        for (int i = 1; i <= k; ++i)
            star(i)->setPicture(lit);
        if (k < 5) {
            const QPixmap grey = starPicture(GreyStar);
            for (int i = k + 1; i <= 5; ++i)
                star(i)->setPicture(grey);
        }
        RzButton1->setEnabled(true);
        RzButton1->setText(submitCaption(k));
        RzButton1->setTag(k);
        showReasons(grades::isBad(k));
    });
}

void TForm2::Image1Click()
{
    starClick(1);
}
void TForm2::Image2Click()
{
    starClick(2);
}
void TForm2::Image3Click()
{
    starClick(3);
}
void TForm2::Image4Click()
{
    starClick(4);
}
void TForm2::Image5Click()
{
    starClick(5);
}

void TForm2::RzButton1Click()
{
    platform::guarded(this, [this] {
        // The record is stored first; the visitor is thanked only for a row that is on disk.
        bool stored = false;
        try {
            if (!m_module)
                throw KioskError(u"数据库模块不存在"_s);
            m_module->setRepeatSeconds(repeatWindow());
            m_module->Append(rating::makeRecord(
                CnAALabel1->text(), [] { return platform::services().now(); }, RzButton1->tag(),
                chosenReasons()));
            stored = true;
        } catch (...) {
            // The module stores nothing when it throws; the visitor is told it failed.
        }
        const std::optional<KioskError> starError = resetChoice();
        hide();
        // The thanks closes by itself and blocks nothing: the next visitor can tap a tile at
        // once. It comes only after the row is on disk.
        if (stored)
            platform::services().notice(this, u"评价成功！谢谢。"_s, ThanksMilliseconds);
        else
            platform::services().notice(this, u"评价失败！"_s, FailureMilliseconds);
        if (starError)
            throw *starError;
    });
}

std::optional<KioskError> TForm2::resetStars()
{
    try {
        greyAllStars();
        return std::nullopt;
    } catch (const KioskError &e) {
        // Without the grey star no previous choice stays on show.
        for (int i = 1; i <= 5; ++i)
            star(i)->clear();
        return e;
    }
}

std::optional<KioskError> TForm2::resetChoice()
{
    Timer1->stop();
    const std::optional<KioskError> starError = resetStars();
    RzButton1->setEnabled(false);
    RzButton1->setText(submitPrompt());
    RzButton1->setTag(0);
    showReasons(false);
    return starError;
}

void TForm2::RzButton2Click()
{
    platform::guarded(this, [this] {
        const std::optional<KioskError> starError = resetChoice();
        hide();
        if (starError)
            throw *starError;
    });
}

void TForm2::Timer1Timer()
{
    platform::guarded(this, [this] {
        hide();
        const std::optional<KioskError> starError = resetChoice();
        if (starError)
            throw *starError;
    });
}
