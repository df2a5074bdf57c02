#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>
#include <utility>

// Reads one numeric setting; throws KioskError when the value is no whole number.
using NumberReader = std::function<qint32(const QString &key)>;

// Half of x with the quotient truncated toward zero (7 gives 3, -7 gives -3).
constexpr qint32 half(qint32 x)
{
    return x / 2;
}

// Keeps value within lo..hi (lo <= hi).
constexpr qint32 limitTo(qint32 value, qint32 lo, qint32 hi)
{
    return value < lo ? lo : (value > hi ? hi : value);
}

// The title's geometry. Fields are filled one after another; when a setting fails the ones
// before it stay filled and the error is thrown on.
struct TitleLayout
{
    std::optional<qint32> width, left, top, pointSize;
};
// Settings no screen can show are limited to what the window can: the top to -H..H and the
// font size to 1..H points (windowHeight 0 leaves both as read).
void layoutTitle(qint32 windowWidth, const NumberReader &read, TitleLayout &out,
                 qint32 windowHeight = 0);

// Tiles, caption lines and arrows, filled in the order the settings are read.
struct GridLayout
{
    static constexpr int Tiles = 10;
    std::array<std::optional<qint32>, Tiles> tileWidth, tileHeight, tileTop, tileLeft;
    // Tops of the caption labels: [0..9] first lines, [10..19] second lines.
    std::array<std::optional<qint32>, 2 * Tiles> captionTop;
    std::optional<qint32> leftArrowLeft, rightArrowLeft, arrowTop;
};

struct GridInput
{
    qint32 windowWidth = 0, windowHeight = 0;
    qint32 arrowWidth = 55, arrowHeight = 80;
    // Heights of the first caption labels of each row as they stand before any page is shown.
    qint32 caption1Height = 15, caption6Height = 15;
};
// Settings no screen can show are limited to what the window can before they are used: the
// tile width to 0..W and height to 0..H, the gaps to 0..W and 0..H, the correction to -H..H.
// Values that fit are applied exactly as read.
void layoutGrid(const GridInput &in, const NumberReader &read, GridLayout &out);

// A caption or title font size as the window applies it: 1..H points.
qint32 limitFontPoints(qint32 points, qint32 windowHeight);

// The settings that fill a screen of the given size well: five columns of tiles in two rows
// (5:6 tiles, 3:4 on a portrait screen, as large as fit), both caption lines and the arrows on
// screen, the title above the grid clear of the page label. The title size suits a title of up to
// TitleCharacters characters.
struct ScreenLayout
{
    qint32 picWidth = 0, picHeight = 0;            // pic_width, pic_height
    qint32 gapAcross = 0, gapDown = 0;             // pic_zuoyoujiange, pic_shangxiajiange
    qint32 correction = 0;                         // pic_shangxiaxiuzheng
    qint32 titleTop = 0, titlePoints = 0;          // biaoti_top, biaoti_size
    qint32 caption1Points = 0, caption2Points = 0; // xiaobiaoti1, xiaobiaoti2
    bool operator==(const ScreenLayout &) const = default;
};
constexpr int TitleCharacters = 18;
// Height of the title label, which keeps its designed height whatever its font.
constexpr qint32 TitleHeight = 113;
// Height of the page label above the top-right tile, and its distance to the tile.
constexpr qint32 PageLabelHeight = 17, PageLabelGap = 2;
// What the fit assumes for a caption line at a font size: the label height (text and shadow) at
// 96 dots per inch, rounded up generously.
qint32 captionLineHeight(qint32 points);
// The first caption line's top lies this far under the tile, and the second line's top at least
// CaptionSlot under the first (further when the first line is higher).
constexpr qint32 CaptionGap = 10, CaptionSlot = 25;
ScreenLayout fitToScreen(qint32 screenWidth, qint32 screenHeight);
// The settings in opt.ini key order of the parameter window's boxes, as key and value.
QList<std::pair<QString, qint32>> screenLayoutSettings(const ScreenLayout &layout);

// The page label's place: right edge on the top-right tile's right edge, 2 pixels above it.
struct Point32
{
    qint32 left = 0, top = 0;
    bool operator==(const Point32 &) const = default;
};
Point32 pageLabelPlace(qint32 tileLeft, qint32 tileTop, qint32 tileWidth, qint32 labelWidth,
                       qint32 labelHeight);
