#pragma once

#include <QColor>
#include <QWidget>

// Anti-aliased text label with a transparent background and a soft drop shadow. With auto size
// on (the default) the label resizes itself to its text whenever the text or font changes.
class AALabel : public QWidget
{
    Q_OBJECT
public:
    explicit AALabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    bool shadow() const { return m_shadow; }
    void setShadow(bool on);

    // Font size in points; values below 1 are ignored, as the toolkit ignores them.
    void setPointSize(int points);
    // Font size as a character height in pixels.
    void setPixelHeight(int pixels);

    QSize sizeHint() const override;

    // The labels' font: bold "黑体" (or the installed CJK font standing in for it) at a
    // character height in pixels.
    static QFont heiti(int pixelHeight);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void fitToText();

    QString m_text;
    QColor m_color = Qt::white;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_autoSize = true;
    bool m_shadow = true;
    bool m_pressed = false;
};
