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

void layoutTitle(qint32 windowWidth, const NumberReader &read, TitleLayout &out,
                 qint32 windowHeight)
{
    out.width = sub(windowWidth, 5);
    out.left = 0;
    const qint32 top = read(keyName(Setting::BiaotiTop));
    out.top = windowHeight > 0 ? limitTo(top, -windowHeight, windowHeight) : top;
    const qint32 points = read(keyName(Setting::BiaotiSize));
    out.pointSize = windowHeight > 0 ? limitFontPoints(points, windowHeight) : points;
}

qint32 limitFontPoints(qint32 points, qint32 windowHeight)
{
    return limitTo(points, 1, qMax(1, windowHeight));
}

void layoutGrid(const GridInput &in, const NumberReader &read, GridLayout &out)
{
    constexpr int N = GridLayout::Tiles;
    const qint32 W = qMax(0, in.windowWidth);
    const qint32 H = qMax(0, in.windowHeight);
    for (int k = 0; k < N; ++k) {
        out.tileWidth[k] = limitTo(read(keyName(Setting::PicWidth)), 0, W);
        out.tileHeight[k] = limitTo(read(keyName(Setting::PicHeight)), 0, H);
    }
    const qint32 w = *out.tileWidth[0];
    const qint32 h = *out.tileHeight[0];

    const qint32 gv = limitTo(read(keyName(Setting::PicShangxiajiange)), 0, H);
    const qint32 t = half(sub(sub(in.windowHeight, mul(2, h)), gv));
    const qint32 row1 = add(t, limitTo(read(keyName(Setting::PicShangxiaxiuzheng)), -H, H));
    for (int k = 0; k < 5; ++k)
        out.tileTop[k] = row1;
    const qint32 row2 = add(add(limitTo(read(keyName(Setting::PicShangxiajiange)), 0, H), row1), h);
    for (int k = 5; k < N; ++k)
        out.tileTop[k] = row2;

    const qint32 gh = limitTo(read(keyName(Setting::PicZuoyoujiange)), 0, W);
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

qint32 captionLineHeight(qint32 points)
{
    // Pixels at 96 dots per inch are 4/3 of the points; a line of the caption font takes up to
    // 1.35 times its pixel size, and the shadow adds 2.
    const qint64 pixels = (qint64(qMax(1, points)) * 4 + 2) / 3;
    return qint32((pixels * 135 + 99) / 100 + 2);
}

namespace {

struct Fit
{
    qint32 w, h, gh, gv, block, caption1, caption2;
};

Fit fitFor(qint32 w, bool portrait)
{
    Fit f;
    f.w = w;
    // Staff photos of 5:6; on a portrait screen, where the width limits the tiles and height is
    // plenty, 3:4 like a phone's portrait photos.
    f.h = portrait ? w * 4 / 3 : w * 6 / 5;
    f.gh = qMax(8, w / 6);
    // Captions grow with the tiles: line 1 about a tenth of the tile width in pixels.
    f.caption1 = limitTo(w * 3 / 40, 10, 28);
    f.caption2 = qMax(9, f.caption1 - 2);
    f.block = CaptionGap + qMax(CaptionSlot, captionLineHeight(f.caption1)) +
              captionLineHeight(f.caption2);
    f.gv = f.block + 12;
    return f;
}

} // namespace

ScreenLayout fitToScreen(qint32 screenWidth, qint32 screenHeight)
{
    const qint32 W = qMax(320, screenWidth);
    const qint32 H = qMax(240, screenHeight);
    const qint32 margin = qMax(8, qMin(W, H) / 60);
    constexpr qint32 ArrowWidth = 55, ArrowGap = 20;

    ScreenLayout out;
    out.titleTop = margin;
    // The title text stays inside its label's height and its characters inside the width.
    out.titlePoints = limitTo(qMin(H / 20, (W - 5) * 3 / (4 * TitleCharacters)), 12, 60);

    // The grid lies between the page label under the title and the bottom margin.
    const qint32 gridTop = out.titleTop + TitleHeight + PageLabelGap + PageLabelHeight + 4;
    const qint32 gridBottom = H - margin;
    auto fitsAcross = [&](const Fit &f) {
        return 5 * f.w + 4 * f.gh + 2 * (ArrowWidth + ArrowGap + margin) <= W;
    };
    auto fitsDown = [&](const Fit &f) { return gridTop + 2 * f.h + f.gv + f.block <= gridBottom; };
    const bool portrait = H > W;
    qint32 w = W / 5;
    while (w > 10 && !(fitsAcross(fitFor(w, portrait)) && fitsDown(fitFor(w, portrait))))
        --w;
    const Fit f = fitFor(w, portrait);

    out.picWidth = f.w;
    out.picHeight = f.h;
    out.gapAcross = f.gh;
    out.gapDown = f.gv;
    out.caption1Points = f.caption1;
    out.caption2Points = f.caption2;
    // The grid with its last caption lines is centred in the room under the title; the window
    // centres the rows alone in the whole height, the correction makes up the difference.
    const qint32 total = 2 * f.h + f.gv + f.block;
    const qint32 wantedTop = gridTop + qMax(0, gridBottom - gridTop - total) / 2;
    out.correction = wantedTop - half(H - 2 * f.h - f.gv);
    return out;
}

QList<std::pair<QString, qint32>> screenLayoutSettings(const ScreenLayout &l)
{
    return {{keyName(Setting::PicWidth), l.picWidth},
            {keyName(Setting::PicHeight), l.picHeight},
            {keyName(Setting::PicZuoyoujiange), l.gapAcross},
            {keyName(Setting::PicShangxiajiange), l.gapDown},
            {keyName(Setting::PicShangxiaxiuzheng), l.correction},
            {keyName(Setting::BiaotiTop), l.titleTop},
            {keyName(Setting::Xiaobiaoti1), l.caption1Points},
            {keyName(Setting::Xiaobiaoti2), l.caption2Points},
            {keyName(Setting::BiaotiSize), l.titlePoints}};
}
