#pragma once

#include <QColor>
#include <QPushButton>

// Push button with a face colour, a frame colour and a highlight under the pointer. Taps on a
// touch screen arrive as clicks.
class RzButton : public QPushButton
{
    Q_OBJECT
public:
    explicit RzButton(const QString &text = {}, QWidget *parent = nullptr);
    // A button with the shared colours, named and placed.
    static RzButton *create(const QString &name, const QString &caption, const QRect &geometry,
                            QWidget *parent);

    void setFaceColor(const QColor &color);
    void setFrameColor(const QColor &color);
    void setTextColor(const QColor &color);
    // Character height of the caption font in pixels.
    void setPixelHeight(int pixels);

    // The buttons' shared colours: face RGB(244, 244, 240), frame RGB(0, 60, 116).
    static QColor defaultFace() { return QColor(244, 244, 240); }
    static QColor defaultFrame() { return QColor(0, 60, 116); }

    // Holds a small integer for the owner (the chosen star of the rating dialog).
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

private:
    void restyle();

    QColor m_face = defaultFace();
    QColor m_frame = defaultFrame();
    QColor m_text;
    int m_tag = 0;
};
