#pragma once

#include <QColor>

// Colours are stored as 32-bit values in the layout 0x00BBGGRR (pure red 255, white 16777215).
namespace colors {

// The value that stands for no colour.
constexpr qint32 None = 0x1FFFFFFF;

// The colour a stored value names. Values with a high byte other than zero (system colours,
// "no colour") have no colour of their own and give an invalid QColor.
QColor fromBgr(qint32 value);
// The stored value of a colour.
qint32 toBgr(const QColor &color);

} // namespace colors
