#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <utility>

// The pictures the kiosk ships with, all drawn here with QPainter: the page arrows and stars of
// folder pic, the default and built-in backgrounds, sample staff photos and large camera-like
// photos for benchmarks. Text is drawn, so a QGuiApplication must exist.
//
// The writers create the target folder as needed and return false when a file cannot be written.
namespace artwork {

// ---- folder pic ----------------------------------------------------------------------------

// File names inside folder pic, in this order: left arrow, right arrow, default background,
// grey star, lit star.
QStringList picFileNames();

enum class Direction
{
    Left,
    Right
};
// A page arrow on a transparent ground; the default size has the arrows' 55 x 80 aspect.
QImage arrow(Direction direction, QSize size = QSize(110, 160));
// A five-pointed star on a transparent ground: golden when lit, grey otherwise.
QImage star(bool lit, int side = 156);
// The default main background, pic/背景图片.jpg: a calm blue hall backdrop for white text.
QImage defaultBackground(QSize size = QSize(1024, 768));

// Writes the five files of folder pic straight into picDir (not into picDir/pic).
bool writePicFolder(const QString &picDir);

// ---- built-in window pictures --------------------------------------------------------------

// Names of the built-in pictures (the files under assets/builtin, the resources
// ":/builtin/<name>"): main-background.jpg, dialog-background.jpg, stats-background.jpg, sky.jpg.
QStringList builtinPictureNames();
// The picture of one of those names, 1024 x 768; a null image for any other name.
QImage builtinPicture(const QString &name);
// Writes every built-in picture into dir as a JPEG.
bool writeBuiltinPictures(const QString &dir);

// ---- photos --------------------------------------------------------------------------------

struct SampleEntry
{
    QString line1, line2; // the two caption lines
    int windowNumber = 0; // a service window's number, 0 for a member of staff
    bool female = false;
};
// The captions of sample photo index (from 0). The first fourteen are a hall's windows and staff;
// later ones are further numbered windows, so any count of photos has distinct names.
SampleEntry sampleEntry(int index);
// "NNNN@caption1#caption2.jpg" with order number index + 1, e.g. "0001@一号窗口#社保业务.jpg".
QString samplePhotoName(int index);
// A coloured card with a staff silhouette or a service-window counter and the captions on it.
QImage samplePhoto(int index, QSize size = QSize(600, 720));
// Writes samplePhoto(0 .. count-1) under their samplePhotoName into photoDir.
bool writeSamplePhotos(const QString &photoDir, int count = 14, QSize size = QSize(600, 720));

// A large noisy picture that compresses like a camera shot (2-5 MB as a quality-92 JPEG at the
// default size), for loading benchmarks.
QImage cameraPhoto(int index, QSize size = QSize(4000, 3000));
// The name of camera photo index: "NNNN@员工N#现场照片.jpg".
QString cameraPhotoName(int index);
bool writeCameraPhotos(const QString &dir, int count, QSize size = QSize(4000, 3000));

// ---- settings ------------------------------------------------------------------------------

// The twelve numeric keys of the delivered opt.ini with their values, in file order. They fit a
// 1024 x 768 screen with the arrows visible and both caption lines of row two on screen, and
// a 1920 x 1080 one as well.
QList<std::pair<QString, qint32>> defaultSettings();
// The layout keys fitted to a screen of that size (fitToScreen), the colours of
// defaultSettings(); an empty screen gives defaultSettings() itself.
QList<std::pair<QString, qint32>> settingsForScreen(QSize screen);
// The welcome title of a delivered opt.ini (key biaoti_wenzi).
QString defaultTitle();
// Writes a new opt.ini at path: section [canshu] with settingsForScreen(screen) and the
// default title, GBK, CRLF line ends. Replaces an existing file.
bool writeDefaultOptIni(const QString &path, QSize screen = {});

// ---- run folder ----------------------------------------------------------------------------

struct RunFolderReport
{
    bool ok = false;          // every file that was to be written was written
    bool wroteOptIni = false; // false when opt.ini was there already
    bool wrotePhotos = false; // false when folder 图片 was there already
};
// Prepares a folder to run the kiosk in: pic/ is always written anew; opt.ini and the photo
// folder 图片 with photoCount sample photos only when they are missing, so staff edits stay.
// opt.ini is fitted to screen when it is given.
RunFolderReport writeRunFolder(const QString &runDir, int photoCount = 14, QSize screen = {});

} // namespace artwork
