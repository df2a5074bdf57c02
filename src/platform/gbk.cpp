#include "platform/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace gbk {

QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLocal8Bit(bytes);
    return decoder.decode(bytes);
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
