#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

// A large, non-modal notice for visitors: captioned with the application title, its text in a
// font readable from a few metres and an OK button sized for a finger. It closes by itself after
// its timeout, at a tap anywhere on it, or by its button, and deletes itself when closed. Nothing
// waits for it: show() returns at once, and the windows behind it keep answering taps.
class NoticeWindow : public QWidget
{
    Q_OBJECT
public:
    // Shows a notice centred on the owner's screen, over the owner's window or, when that is
    // hidden, over the first shown window (the primary screen without any). A notice still open
    // is closed first, so two thanks never pile up.
    static NoticeWindow *show(QWidget *owner, const QString &text, int timeoutMs);
    // The notice on show, or nullptr.
    static NoticeWindow *current();

    QLabel *textLabel() const { return m_text; }
    QPushButton *okButton() const { return m_ok; }
    QTimer *closeTimer() const { return m_timer; }

    // Character height of the text and of the button caption, and the button's size.
    static constexpr int TextPixels = 48;
    static constexpr int ButtonPixels = 32;
    static constexpr QSize ButtonSize{220, 88};

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    NoticeWindow(QWidget *parent, const QString &text, int timeoutMs);

    QLabel *m_text = nullptr;
    QPushButton *m_ok = nullptr;
    QTimer *m_timer = nullptr;
    static QPointer<NoticeWindow> s_current;
};
