#include "platform/widgets/rzbutton.h"

using namespace Qt::StringLiterals;

RzButton::RzButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    restyle();
}

RzButton *RzButton::create(const QString &name, const QString &caption, const QRect &geometry,
                           QWidget *parent)
{
    auto *button = new RzButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

void RzButton::setFaceColor(const QColor &color)
{
    m_face = color;
    restyle();
}

void RzButton::setFrameColor(const QColor &color)
{
    m_frame = color;
    restyle();
}

void RzButton::setTextColor(const QColor &color)
{
    m_text = color;
    restyle();
}

void RzButton::setPixelHeight(int pixels)
{
    QFont f = font();
    f.setPixelSize(pixels);
    setFont(f);
}

void RzButton::restyle()
{
    const QString text = m_text.isValid() ? u"color: %1;"_s.arg(m_text.name()) : QString();
    const QColor hover(255, 244, 200); // warm highlight under the pointer
    setStyleSheet(
        u"RzButton { background-color: %1; border: 1px solid %2; border-radius: 2px; %3 }"
        "RzButton:hover { background-color: %4; border: 2px solid %2; }"
        "RzButton:pressed { background-color: %5; }"
        // A button that stays down (a reason tapped in the rating dialog) shows it plainly.
        "RzButton:checked { background-color: %2; color: white; border: 2px solid %2; }"
        "RzButton:disabled { color: #a0a0a0; border-color: #a0a0a0; }"_s.arg(
            m_face.name(), m_frame.name(), text, hover.name(), m_face.darker(115).name()));
}
