#include "platform/color.h"

namespace colors {

QColor fromBgr(qint32 value)
{
    const quint32 v = quint32(value);
    if (v >> 24)
        return {};
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

qint32 toBgr(const QColor &color)
{
    if (!color.isValid())
        return None;
    return qint32(quint32(color.red()) | (quint32(color.green()) << 8) |
                  (quint32(color.blue()) << 16));
}

} // namespace colors
