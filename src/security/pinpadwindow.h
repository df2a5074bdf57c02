#pragma once

#include "platform/widgets/form.h"

#include <array>

class QLabel;
class QPushButton;
class QTimer;

// A large on-screen number pad for the staff PIN, sized for a finger: a prompt, the entry shown
// as dots, a status line, the digits 0 to 9, 清除 (clear), 删除 (delete the last digit), 确定
// (submit) and 取消 (cancel). A keyboard works as well: the digits (also of the keypad), Backspace,
// Enter and Escape stand for the keys of the same meaning. It only collects digits; whoever opened
// it decides what an entry means. It closes itself after InactivitySeconds without a tap, so a pad
// opened by chance does not stay over the kiosk.
class PinPadWindow : public KioskForm
{
    Q_OBJECT
public:
    explicit PinPadWindow(QWidget *parent = nullptr);

    static constexpr int InactivitySeconds = 30;

    // Empties the entry and the status line, sets the prompt and shows the pad centred, on top.
    void ask(const QString &prompt);
    void setPrompt(const QString &prompt);
    void setStatus(const QString &status);
    // A locked pad takes no digits and no submit; cancel still works.
    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }
    QString entered() const { return m_entry; }
    void clearEntry();

    // Event handlers.
    void DigitClick(int digit);
    void ClearClick();
    void BackClick();
    void OkClick();
    void CancelClick();

    QLabel *PromptLabel = nullptr;
    QLabel *EntryLabel = nullptr;
    QLabel *StatusLabel = nullptr;
    std::array<QPushButton *, 10> Digits{}; // Digit0 .. Digit9
    QPushButton *ClearButton = nullptr;
    QPushButton *BackButton = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QTimer *InactivityTimer = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

signals:
    void submitted(const QString &pin);
    void cancelled();

private:
    void showEntry();
    void touched();

    QString m_entry;
    bool m_locked = false;
};
