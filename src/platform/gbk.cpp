#include "platform/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace gbk {

QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLocal8Bit(bytes);
    if (bytes.isEmpty() || quint8(bytes.back()) < 0x80)
        return decoder.decode(bytes);
    // A double-byte character cut off at the end would vanish silently, and the same bytes
    // followed by more text would read differently. A control byte that is never a trail byte,
    // decoded after them and dropped again, makes such a cut-off byte U+FFFD like any other
    // byte that is no character.
    QByteArray padded(bytes.data(), bytes.size());
    padded.append('\x1f');
    QString text = decoder.decode(padded);
    if (text.endsWith(QChar(0x1f)))
        text.chop(1);
    return text;
}

QByteArray encode(QStringView text)
{
    QStringEncoder encoder("GBK");
    if (!encoder.isValid())
        return text.toLocal8Bit();
    return encoder.encode(text);
}

QString leftBytes(const QString &text, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        // A surrogate pair is one character; take it or leave it whole.
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const qsizetype charBytes = encode(QStringView(text).mid(i, len)).size();
        if (bytes + charBytes > maxBytes)
            break;
        bytes += charBytes;
        i += len;
    }
    return text.left(i);
}

} // namespace gbk
