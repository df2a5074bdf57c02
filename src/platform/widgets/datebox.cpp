#include "platform/widgets/datebox.h"

#include <QKeyEvent>
#include <QLineEdit>

using namespace Qt::StringLiterals;

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    lineEdit()->installEventFilter(this);
}

bool DateBox::eventFilter(QObject *watched, QEvent *event)
{
    // A tap places the cursor anew: the next digit starts the part under it.
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress)
        m_typing = false;
    return QDateEdit::eventFilter(watched, event);
}

void DateBox::focusInEvent(QFocusEvent *event)
{
    m_typing = false;
    QDateEdit::focusInEvent(event);
}

void DateBox::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    const bool digit = text.size() == 1 && text.at(0).isDigit();
    const bool separator = text == u"-"_s || text == u"/"_s || text == u"."_s;
    if (digit) {
        QLineEdit *edit = lineEdit();
        if (edit->hasSelectedText() && edit->selectedText() == edit->text())
            setSelectedSection(QDateTimeEdit::YearSection);
        else if (!m_typing)
            setSelectedSection(currentSection());
        m_typing = true;
        const Section before = currentSection();
        QDateEdit::keyPressEvent(event);
        m_advanced = currentSection() != before;
        return;
    }
    if (separator && m_typing && m_advanced) {
        m_advanced = false;
        event->accept();
        return;
    }
    m_advanced = false;
    if (!separator)
        m_typing = false;
    QDateEdit::keyPressEvent(event);
}
