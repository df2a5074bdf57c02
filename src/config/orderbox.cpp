#include "config/orderbox.h"

#include <QtCore/qnamespace.h>

namespace orderbox {

bool accepts(QChar typed)
{
    return typed == u'\b' || (typed >= u'0' && typed <= u'9');
}

bool passesUnchecked(int qtKey, const QString &text)
{
    switch (qtKey) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return text.isEmpty();
    }
}

QString typedCharacters(int qtKey, const QString &text)
{
    if (qtKey == Qt::Key_Backspace)
        return QString(text.size(), QChar(u'\b'));
    return text;
}

QString keptPart(const QString &typed)
{
    qsizetype n = 0;
    while (n < typed.size() && accepts(typed.at(n)))
        ++n;
    return typed.left(n);
}

} // namespace orderbox
