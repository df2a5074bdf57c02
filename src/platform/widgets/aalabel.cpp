#include "platform/widgets/aalabel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int ShadowOffset = 2;
}

AALabel::AALabel(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

QFont AALabel::heiti(int pixelHeight)
{
    QFont f;
    f.setFamilies(
        {QStringLiteral("黑体"), QStringLiteral("SimHei"), QStringLiteral("WenQuanYi Micro Hei")});
    f.setBold(true);
    f.setPixelSize(pixelHeight);
    return f;
}

void AALabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    fitToText();
    update();
}

void AALabel::setAutoSize(bool on)
{
    m_autoSize = on;
    fitToText();
}

void AALabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void AALabel::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void AALabel::setShadow(bool on)
{
    m_shadow = on;
    fitToText();
    update();
}

void AALabel::setPointSize(int points)
{
    if (points < 1)
        return;
    QFont f = font();
    f.setPointSize(points);
    setFont(f);
}

void AALabel::setPixelHeight(int pixels)
{
    if (pixels < 1)
        return;
    QFont f = font();
    f.setPixelSize(pixels);
    setFont(f);
}

QSize AALabel::sizeHint() const
{
    const QFontMetrics fm(font());
    const int extra = m_shadow ? ShadowOffset : 0;
    return {fm.horizontalAdvance(m_text) + extra, fm.height() + extra};
}

void AALabel::fitToText()
{
    if (m_autoSize)
        resize(sizeHint());
}

void AALabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        fitToText();
    QWidget::changeEvent(event);
}

void AALabel::paintEvent(QPaintEvent *)
{
    if (m_text.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    const int extra = m_shadow ? ShadowOffset : 0;
    const QRect area = rect().adjusted(0, 0, -extra, -extra);
    if (m_shadow) {
        p.setPen(QColor(0, 0, 0, 110));
        p.drawText(area.translated(ShadowOffset, ShadowOffset), int(m_alignment), m_text);
    }
    p.setPen(m_color);
    p.drawText(area, int(m_alignment), m_text);
}

void AALabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QWidget::mousePressEvent(event);
}

void AALabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
