#include "platform/widgets/picturebox.h"

#include "platform/cover.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void PictureBox::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureBox::setPicture(const QImage &image)
{
    setPicture(QPixmap::fromImage(image));
}

void PictureBox::setScaling(Scaling scaling)
{
    m_scaling = scaling;
    update();
}

void PictureBox::clear()
{
    setPicture(QPixmap());
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter p(this);
    // The part of the picture that is drawn: all of it, or the centred piece with the box's
    // proportions.
    const QRectF source = m_scaling == Scaling::Cover ? cover::sourceRect(m_picture.size(), size())
                                                      : QRectF(QPointF(0, 0), m_picture.size());
    if (source.size() != QSizeF(size()))
        p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(QRectF(rect()), m_picture, source);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QWidget::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
