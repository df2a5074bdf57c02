#pragma once

#include <QRectF>
#include <QSize>

// Geometry of a picture shown so that it covers a box without distortion: scaled keeping its
// proportions until both sides reach the box, centred, the overflow cut off.
namespace cover {

// The part of a picture of size picture that fills box: the centred rectangle with the box's
// proportions, as large as the picture allows. The whole picture when either size is empty.
QRectF sourceRect(QSize picture, QSize box);

// The smallest size with the picture's proportions that covers box (rounded up, so no edge of
// the box stays uncovered). box itself when either size is empty.
QSize coveringSize(QSize picture, QSize box);

} // namespace cover
