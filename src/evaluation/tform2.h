#pragma once

#include "kiosk/assetpictures.h"
#include "platform/error.h"
#include "platform/widgets/form.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QStringList>

#include <optional>

class AALabel;
class PictureBox;
class QTimer;
class RzButton;
class TDataModule3;

// The rating dialog "欢迎评价": the visitor taps one of five stars, then the submit button, and
// one record is stored. Created once at start-up; afterwards it is only shown and hidden, so its
// controls keep their state between showings except where a handler resets them.
//
// States: Ready (hidden, all stars grey, submit disabled, timer stopped), Waiting (shown, no
// star chosen, timer running), Chosen (shown, star k lit up to k, submit enabled with Tag k).
class TForm2 : public KioskForm
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    // The database module that submit stores through (not owned). Without one, submit shows
    // "评价失败！" and stores nothing.
    void setDataModule(TDataModule3 *module) { m_module = module; }

    // Controls, named as in the form description.
    PictureBox *Image7 = nullptr; // background, fills the client area
    PictureBox *Image6 = nullptr; // photo of the rated person or window
    PictureBox *Image1 = nullptr; // stars 1 to 5, left to right
    PictureBox *Image2 = nullptr;
    PictureBox *Image3 = nullptr;
    PictureBox *Image4 = nullptr;
    PictureBox *Image5 = nullptr;
    AALabel *CnAALabel1 = nullptr; // the rated name; its text is what gets stored
    // The grade words under stars 1 to 5, so their meaning shows before the first tap; a tap on
    // a word chooses its star.
    AALabel *GradeLabel1 = nullptr, *GradeLabel2 = nullptr, *GradeLabel3 = nullptr,
            *GradeLabel4 = nullptr, *GradeLabel5 = nullptr;
    RzButton *RzButton1 = nullptr; // submit; Tag holds the chosen star, 0 for none
    RzButton *RzButton2 = nullptr; // close
    // The reasons a visitor may tap after star 1 or 2 (ReasonButton1 .. ReasonButton8), shown
    // under the stars with the texts of setting chaping_yuanyin; hidden for stars 3 to 5.
    QList<RzButton *> ReasonButtons;
    QTimer *Timer1 = nullptr; // closes the dialog 30 s after it was shown

    // How many times a star picture was decoded so far (once per file, while it is unchanged).
    int starDecodes() const { return m_assets.decodes(); }

    // The idle caption of the submit button.
    static QString submitPrompt();
    // Submit caption for star 1 to 5, e.g. "一般！60分！点我提交评价。".
    static QString submitCaption(int star);

    // The reasons tapped so far, in the order they are offered.
    QStringList chosenReasons() const;

    // Event handlers. Each runs inside the handler guard and may be called directly.
    void Image1Click();
    void Image2Click();
    void Image3Click();
    void Image4Click();
    void Image5Click();
    void RzButton1Click();
    void RzButton2Click();
    void Timer1Timer();

protected:
    void FormCreate() override;
    void FormShow() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Star tap for star k: lights 1..k, greys the rest, arms the submit button.
    void starClick(int star);
    // Puts the grey star into all five stars (throws when it cannot be loaded).
    void greyAllStars();
    // The reset of submit, close and timeout: grey stars, or empty ones when the grey star
    // cannot be loaded. The load error is handed back so the handler finishes its reset and
    // closes anyway (a kiosk must not stay open with a stale choice), then reports it.
    std::optional<KioskError> resetStars();
    // Back to Ready but for the visibility: timer stopped, stars reset, submit disabled with
    // its prompt and no star. Hands back the star load error as resetStars does.
    std::optional<KioskError> resetChoice();
    PictureBox *star(int index) const; // index 1..5
    // Shows the offered reasons under the stars (bad: star 1 or 2) or hides them and forgets
    // what was tapped.
    void showReasons(bool bad);
    // The reasons of opt.ini put on the buttons, read at each showing of the dialog.
    void loadReasons();
    // The lit or grey star at the stars' size: decoded once, then kept while the file stays the
    // same, so a tap never waits for a decode.
    QPixmap starPicture(const QString &file);

    AssetPictures m_assets;
    struct StarPixmap
    {
        qint64 imageKey = 0;
        QPixmap pixmap;
    };
    QHash<QString, StarPixmap> m_starPixmaps;
    TDataModule3 *m_module = nullptr;
    QStringList m_reasons; // the reasons on the buttons, in order
};
