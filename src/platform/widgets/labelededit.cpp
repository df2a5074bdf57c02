#include "platform/widgets/labelededit.h"

#include <QLabel>
#include <QMouseEvent>

LabeledEdit::LabeledEdit(const QString &label, QWidget *parent)
    : QLineEdit(parent), m_label(new QLabel(label, parent))
{
    m_label->setAttribute(Qt::WA_TranslucentBackground);
    m_label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    m_label->setBuddy(this);
    placeLabel();
}

void LabeledEdit::setLabelText(const QString &text)
{
    m_label->setText(text);
    placeLabel();
}

void LabeledEdit::placeLabel()
{
    m_label->adjustSize();
    m_label->move(x(), y() - m_label->height() - 3);
}

void LabeledEdit::moveEvent(QMoveEvent *event)
{
    QLineEdit::moveEvent(event);
    placeLabel();
}

void LabeledEdit::showEvent(QShowEvent *event)
{
    QLineEdit::showEvent(event);
    m_label->show();
    placeLabel();
}

void LabeledEdit::hideEvent(QHideEvent *event)
{
    QLineEdit::hideEvent(event);
    if (!isVisible() && parentWidget() && parentWidget()->isVisible())
        m_label->hide();
}

void LabeledEdit::mousePressEvent(QMouseEvent *event)
{
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}
