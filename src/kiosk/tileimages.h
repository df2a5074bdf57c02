#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Picture loading for the main window: photo tiles, arrow images and background pictures.
// Every function returns an empty image on any failure (missing or unreadable file, unknown
// format, bad data, empty path, header claiming an absurd size); none throws.
namespace tileimages {

// Pictures whose header claims more pixels than this are refused before decoding.
constexpr qint64 MaxPixels = 100'000'000;

// Decodes the picture at path in the format its extension names (".jpg" JPEG, ".png" PNG and
// the other formats of the toolkit). When scaledTo is not empty the picture is decoded straight
// at that size (JPEG through DCT scaling), which is what a stretched control shows anyway.
QImage loadByExtension(const QString &path, QSize scaledTo = {});

// Decodes the picture at path as loadByExtension does, at the size that covers box while
// keeping the picture's proportions: the smallest such size at least as wide and as high as
// box (a 16:9 photo for a 150 x 180 tile comes out 320 x 180). An empty box decodes the full
// picture. A tile drawn to cover its box then needs no more pixels than these.
QImage loadCovering(const QString &path, QSize box);

// The file a picture setting (pic_bg) names: an absolute path as it stands, a relative one
// against folder (the kiosk's current directory). "\" counts as a separator, as in paths typed
// on Windows.
QString settingPath(const QString &folder, const QString &setting);

// Loads one of the program's asset pictures ("pic/huidu.png"), relative to folder (the kiosk's
// current directory) and decoded by its extension, anew on every call. Throws KioskError naming
// the file when it is missing or cannot be decoded.
QImage loadAsset(const QString &folder, const QString &relative, QSize scaledTo = {});

} // namespace tileimages

// The picture of one photo tile: the file at path decoded to cover tileSize (loadCovering), or kept
// from an earlier call while the file is unchanged (tilecache.h; a whole page at once:
// tilecache::loadTiles). An empty tileSize decodes the full picture and keeps nothing. The returned
// image is implicitly shared and cheap to copy.
QImage loadTileImage(const QString &path, QSize tileSize);
