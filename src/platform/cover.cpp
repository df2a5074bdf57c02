#include "platform/cover.h"

#include <cmath>

namespace cover {

QRectF sourceRect(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty())
        return QRectF(QPointF(0, 0), QSizeF(picture));
    const double pw = picture.width(), ph = picture.height();
    const double bw = box.width(), bh = box.height();
    // Compare the proportions without dividing: pw/ph > bw/bh means the picture is wider.
    if (pw * bh > bw * ph) {
        const double w = ph * bw / bh;
        return QRectF((pw - w) / 2, 0, w, ph);
    }
    const double h = pw * bh / bw;
    return QRectF(0, (ph - h) / 2, pw, h);
}

QSize coveringSize(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty())
        return box;
    const double scale =
        std::max(double(box.width()) / picture.width(), double(box.height()) / picture.height());
    const int w = std::max(box.width(), int(std::ceil(picture.width() * scale - 1e-9)));
    const int h = std::max(box.height(), int(std::ceil(picture.height() * scale - 1e-9)));
    return QSize(w, h);
}

} // namespace cover
