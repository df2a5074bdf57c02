#pragma once

#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>

class QString;

// Reads one numeric setting; throws KioskError when the value is no whole number.
using NumberReader = std::function<qint32(const QString &key)>;

// Half of x with the quotient truncated toward zero (7 gives 3, -7 gives -3).
constexpr qint32 half(qint32 x)
{
    return x / 2;
}

// The title's geometry. Fields are filled one after another; when a setting fails the ones
// before it stay filled and the error is thrown on.
struct TitleLayout
{
    std::optional<qint32> width, left, top, pointSize;
};
void layoutTitle(qint32 windowWidth, const NumberReader &read, TitleLayout &out);

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
void layoutGrid(const GridInput &in, const NumberReader &read, GridLayout &out);

// The page label's place: right edge on the top-right tile's right edge, 2 pixels above it.
struct Point32
{
    qint32 left = 0, top = 0;
    bool operator==(const Point32 &) const = default;
};
Point32 pageLabelPlace(qint32 tileLeft, qint32 tileTop, qint32 tileWidth, qint32 labelWidth,
                       qint32 labelHeight);
