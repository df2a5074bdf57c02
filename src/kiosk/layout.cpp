#include "kiosk/layout.h"

#include "config/settingkeys.h"

#include <QString>

using namespace Qt::StringLiterals;

// The arithmetic is on 32-bit integers as the stored settings are; products of absurd values
// wrap instead of invoking undefined behaviour.
namespace {
constexpr qint32 add(qint32 a, qint32 b)
{
    return qint32(quint32(a) + quint32(b));
}
constexpr qint32 sub(qint32 a, qint32 b)
{
    return qint32(quint32(a) - quint32(b));
}
constexpr qint32 mul(qint32 a, qint32 b)
{
    return qint32(quint32(a) * quint32(b));
}
} // namespace

void layoutTitle(qint32 windowWidth, const NumberReader &read, TitleLayout &out)
{
    out.width = sub(windowWidth, 5);
    out.left = 0;
    out.top = read(keyName(Setting::BiaotiTop));
    out.pointSize = read(keyName(Setting::BiaotiSize));
}

void layoutGrid(const GridInput &in, const NumberReader &read, GridLayout &out)
{
    constexpr int N = GridLayout::Tiles;
    for (int k = 0; k < N; ++k) {
        out.tileWidth[k] = read(keyName(Setting::PicWidth));
        out.tileHeight[k] = read(keyName(Setting::PicHeight));
    }
    const qint32 w = *out.tileWidth[0];
    const qint32 h = *out.tileHeight[0];

    const qint32 gv = read(keyName(Setting::PicShangxiajiange));
    const qint32 t = half(sub(sub(in.windowHeight, mul(2, h)), gv));
    const qint32 row1 = add(t, read(keyName(Setting::PicShangxiaxiuzheng)));
    for (int k = 0; k < 5; ++k)
        out.tileTop[k] = row1;
    const qint32 row2 = add(add(read(keyName(Setting::PicShangxiajiange)), row1), h);
    for (int k = 5; k < N; ++k)
        out.tileTop[k] = row2;

    const qint32 gh = read(keyName(Setting::PicZuoyoujiange));
    const qint32 left0 = half(sub(sub(in.windowWidth, mul(5, w)), mul(4, gh)));
    for (int k = 0; k < 5; ++k) {
        out.tileLeft[k] = add(mul(add(gh, w), k), left0);
        out.tileLeft[k + 5] = out.tileLeft[k];
    }

    const qint32 line1Row1 = add(add(row1, h), 10);
    const qint32 line1Row2 = add(add(row2, h), 10);
    const qint32 row2Height = *out.tileHeight[5];
    for (int k = 0; k < 5; ++k) {
        out.captionTop[k] = line1Row1;
        out.captionTop[k + 5] = line1Row2;
        out.captionTop[k + 10] = add(add(line1Row1, in.caption1Height), 10);
        out.captionTop[k + 15] = add(add(add(add(row2, row2Height), 10), in.caption6Height), 10);
    }

    out.leftArrowLeft = sub(sub(left0, in.arrowWidth), 20);
    out.rightArrowLeft = add(add(*out.tileLeft[4], *out.tileWidth[4]), 20);
    out.arrowTop = half(sub(in.windowHeight, in.arrowHeight));
}

Point32 pageLabelPlace(qint32 tileLeft, qint32 tileTop, qint32 tileWidth, qint32 labelWidth,
                       qint32 labelHeight)
{
    return {sub(add(tileLeft, tileWidth), labelWidth), sub(sub(tileTop, labelHeight), 2)};
}
