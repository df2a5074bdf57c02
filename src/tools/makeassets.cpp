// kiosk-assets: writes the kiosk's pictures, sample photos and default opt.ini.
//
//   kiosk-assets --run-folder DIR [--count N]      pic/ anew; opt.ini and 图片/ only when missing
//   kiosk-assets --pic DIR                          the five files of folder pic into DIR
//   kiosk-assets --photos DIR [--count N] [--size WxH]
//   kiosk-assets --camera-photos DIR --count N [--size WxH]
//   kiosk-assets --builtin DIR                      the built-in window pictures
//   kiosk-assets --opt-ini PATH [--screen WxH]      a fresh default opt.ini
//   --screen WxH fits the layout of a new opt.ini (also with --run-folder) to that screen.

#include "artwork.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QRegularExpression>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void say(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
}

int fail(const QString &text)
{
    std::fputs(qPrintable(u"kiosk-assets: "_s + text + u'\n'), stderr);
    return 1;
}

// Qt's own start-up chatter (no XDG runtime folder on a bare build machine) is not ours to show.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || message.startsWith(u"QStandardPaths:"_s))
        return;
    std::fputs(qPrintable(message + u'\n'), stderr);
}

bool parseSize(const QString &text, QSize &size)
{
    static const QRegularExpression re(u"^(\\d+)[xX](\\d+)$"_s);
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    return size.width() > 0 && size.height() > 0 && size.width() <= 20000 && size.height() <= 20000;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing text needs a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(u"kiosk-assets"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Writes the kiosk's pictures, sample photos and opt.ini."_s);
    parser.addHelpOption();
    const QCommandLineOption runFolder(u"run-folder"_s, u"Prepare a run folder."_s, u"dir"_s);
    const QCommandLineOption pic(u"pic"_s, u"Write the files of folder pic into dir."_s, u"dir"_s);
    const QCommandLineOption photos(u"photos"_s, u"Write sample photos into dir."_s, u"dir"_s);
    const QCommandLineOption camera(u"camera-photos"_s,
                                    u"Write large camera-like photos into dir."_s, u"dir"_s);
    const QCommandLineOption builtin(u"builtin"_s,
                                     u"Write the built-in window pictures into dir."_s, u"dir"_s);
    const QCommandLineOption optIni(u"opt-ini"_s, u"Write a default opt.ini at path."_s, u"path"_s);
    const QCommandLineOption count(u"count"_s, u"Number of photos."_s, u"n"_s);
    const QCommandLineOption size(u"size"_s, u"Photo size, e.g. 600x720."_s, u"WxH"_s);
    const QCommandLineOption screen(
        u"screen"_s, u"Fit the layout of a new opt.ini to a screen, e.g. 1920x1080."_s, u"WxH"_s);
    parser.addOptions({runFolder, pic, photos, camera, builtin, optIni, count, size, screen});
    parser.process(app);

    int n = -1;
    if (parser.isSet(count)) {
        bool ok = false;
        n = parser.value(count).toInt(&ok);
        if (!ok || n < 0)
            return fail(u"--count wants a whole number of 0 or more"_s);
    }
    QSize photoSize;
    if (parser.isSet(size) && !parseSize(parser.value(size), photoSize))
        return fail(u"--size wants WIDTHxHEIGHT, e.g. 600x720"_s);
    QSize screenSize;
    if (parser.isSet(screen) && !parseSize(parser.value(screen), screenSize))
        return fail(u"--screen wants WIDTHxHEIGHT, e.g. 1920x1080"_s);

    bool didSomething = false;
    if (parser.isSet(runFolder)) {
        didSomething = true;
        const QString dir = parser.value(runFolder);
        const artwork::RunFolderReport r = artwork::writeRunFolder(dir, n < 0 ? 14 : n, screenSize);
        if (!r.ok)
            return fail(u"could not write everything into "_s + dir);
        const QString fitted =
            screenSize.isValid() ? u" for %1x%2"_s.arg(screenSize.width()).arg(screenSize.height())
                                 : QString();
        say(u"%1: pic/ written; opt.ini %2; 图片/ %3"_s.arg(
            dir, r.wroteOptIni ? u"written"_s + fitted : u"kept"_s,
            r.wrotePhotos ? u"written"_s : u"kept"_s));
    }
    if (parser.isSet(pic)) {
        didSomething = true;
        if (!artwork::writePicFolder(parser.value(pic)))
            return fail(u"could not write into "_s + parser.value(pic));
        say(parser.value(pic) + u": pic files written"_s);
    }
    if (parser.isSet(photos)) {
        didSomething = true;
        const int c = n < 0 ? 14 : n;
        if (!artwork::writeSamplePhotos(parser.value(photos), c,
                                        photoSize.isValid() ? photoSize : QSize(600, 720)))
            return fail(u"could not write into "_s + parser.value(photos));
        say(u"%1: %2 sample photos written"_s.arg(parser.value(photos)).arg(c));
    }
    if (parser.isSet(camera)) {
        didSomething = true;
        if (n < 0)
            return fail(u"--camera-photos needs --count"_s);
        if (!artwork::writeCameraPhotos(parser.value(camera), n,
                                        photoSize.isValid() ? photoSize : QSize(4000, 3000)))
            return fail(u"could not write into "_s + parser.value(camera));
        say(u"%1: %2 camera photos written"_s.arg(parser.value(camera)).arg(n));
    }
    if (parser.isSet(builtin)) {
        didSomething = true;
        if (!artwork::writeBuiltinPictures(parser.value(builtin)))
            return fail(u"could not write into "_s + parser.value(builtin));
        say(parser.value(builtin) + u": built-in pictures written"_s);
    }
    if (parser.isSet(optIni)) {
        didSomething = true;
        if (!artwork::writeDefaultOptIni(parser.value(optIni), screenSize))
            return fail(u"could not write "_s + parser.value(optIni));
        say(parser.value(optIni) + u" written"_s +
            (screenSize.isValid() ? u" for %1x%2"_s.arg(screenSize.width()).arg(screenSize.height())
                                  : QString()));
    }
    if (!didSomething) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    return 0;
}
