#include "security/pinpadwindow.h"

#include "platform/guard.h"
#include "security/staffpin.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int KeyWidth = 110;
constexpr int KeyHeight = 84;

QFont padFont(int pixels, bool bold = false)
{
    QFont font;
    font.setFamilies({u"WenQuanYi Micro Hei"_s, u"SimHei"_s});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

PinPadWindow::PinPadWindow(QWidget *parent) : KioskForm(parent, DialogFlags)
{
    setObjectName(u"PinPad"_s);
    setWindowTitle(u"管理密码"_s);
    setWindowModality(Qt::ApplicationModal);
    setStyleSheet(u"PinPadWindow { background: #1f3b5c; }"
                  "QLabel { color: white; }"
                  "QPushButton { background: #f4f4f0; color: #003c74; border: 2px solid #003c74;"
                  " border-radius: 10px; }"
                  "QPushButton:pressed { background: #ffd75e; }"
                  "QPushButton:disabled { background: #9aa5b1; color: #5b6470; }"_s);
    setAttribute(Qt::WA_StyledBackground);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 24);
    layout->setSpacing(12);

    auto label = [this, layout](const QString &name, int pixels, bool bold) {
        auto *l = new QLabel(this);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignCenter);
        l->setFont(padFont(pixels, bold));
        l->setWordWrap(true);
        layout->addWidget(l);
        return l;
    };
    PromptLabel = label(u"PromptLabel"_s, 24, true);
    EntryLabel = label(u"EntryLabel"_s, 40, true);
    EntryLabel->setMinimumHeight(56);
    EntryLabel->setStyleSheet(u"QLabel { background: white; color: black; border-radius: 8px; }"_s);
    StatusLabel = label(u"StatusLabel"_s, 20, false);
    StatusLabel->setStyleSheet(u"QLabel { color: #ffd75e; }"_s);
    StatusLabel->setMinimumHeight(28);

    auto *grid = new QGridLayout;
    grid->setSpacing(10);
    layout->addLayout(grid);
    auto key = [this](const QString &name, const QString &caption, int pixels) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setFont(padFont(pixels, true));
        button->setFixedSize(KeyWidth, KeyHeight);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    for (int digit = 0; digit <= 9; ++digit) {
        QPushButton *button = key(u"Digit%1"_s.arg(digit), QString::number(digit), 36);
        Digits[size_t(digit)] = button;
        connect(button, &QPushButton::clicked, this,
                [this, digit] { platform::guarded(this, [this, digit] { DigitClick(digit); }); });
        if (digit > 0)
            grid->addWidget(button, (digit - 1) / 3, (digit - 1) % 3);
    }
    ClearButton = key(u"ClearButton"_s, u"清除"_s, 26);
    BackButton = key(u"BackButton"_s, u"删除"_s, 26);
    OkButton = key(u"OkButton"_s, u"确定"_s, 26);
    CancelButton = key(u"CancelButton"_s, u"取消"_s, 26);
    grid->addWidget(ClearButton, 3, 0);
    grid->addWidget(Digits[0], 3, 1);
    grid->addWidget(BackButton, 3, 2);
    grid->addWidget(CancelButton, 4, 0);
    grid->addWidget(OkButton, 4, 1, 1, 2);
    OkButton->setFixedWidth(2 * KeyWidth + grid->spacing());

    connect(ClearButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { ClearClick(); }); });
    connect(BackButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { BackClick(); }); });
    connect(OkButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { OkClick(); }); });
    connect(CancelButton, &QPushButton::clicked, this,
            [this] { platform::guarded(this, [this] { CancelClick(); }); });

    InactivityTimer = new QTimer(this);
    InactivityTimer->setObjectName(u"InactivityTimer"_s);
    InactivityTimer->setSingleShot(true);
    InactivityTimer->setInterval(InactivitySeconds * 1000);
    connect(InactivityTimer, &QTimer::timeout, this,
            [this] { platform::guarded(this, [this] { CancelClick(); }); });

    adjustSize();
    setFixedSize(sizeHint());
    showEntry();
    runCreate();
}

void PinPadWindow::ask(const QString &prompt)
{
    clearEntry();
    setPrompt(prompt);
    setStatus({});
    touched();
    showCentredOnTop(this);
}

void PinPadWindow::setPrompt(const QString &prompt)
{
    PromptLabel->setText(prompt);
}

void PinPadWindow::setStatus(const QString &status)
{
    StatusLabel->setText(status);
}

void PinPadWindow::setLocked(bool locked)
{
    m_locked = locked;
    for (QPushButton *button : Digits)
        button->setEnabled(!locked);
    ClearButton->setEnabled(!locked);
    BackButton->setEnabled(!locked);
    OkButton->setEnabled(!locked);
    if (locked)
        clearEntry();
}

void PinPadWindow::clearEntry()
{
    m_entry.clear();
    showEntry();
}

void PinPadWindow::showEntry()
{
    EntryLabel->setText(m_entry.isEmpty() ? QString() : QString(m_entry.size(), u'●'));
}

void PinPadWindow::touched()
{
    InactivityTimer->start();
}

void PinPadWindow::DigitClick(int digit)
{
    touched();
    if (m_locked || m_entry.size() >= staffpin::MaxDigits)
        return;
    m_entry += QChar(u'0' + digit);
    showEntry();
}

void PinPadWindow::ClearClick()
{
    touched();
    clearEntry();
}

void PinPadWindow::BackClick()
{
    touched();
    m_entry.chop(1);
    showEntry();
}

void PinPadWindow::OkClick()
{
    touched();
    if (m_locked)
        return;
    const QString pin = m_entry;
    clearEntry();
    emit submitted(pin);
}

void PinPadWindow::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    platform::guarded(this, [this, key] {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            DigitClick(key - Qt::Key_0);
        else if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
            BackClick();
        else if (key == Qt::Key_Return || key == Qt::Key_Enter)
            OkClick();
        else if (key == Qt::Key_Escape)
            CancelClick();
    });
    event->accept();
}

void PinPadWindow::CancelClick()
{
    InactivityTimer->stop();
    clearEntry();
    hide();
    emit cancelled();
}
