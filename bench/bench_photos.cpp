// Photo folders as staff may leave them, against the fourteen sample photos: the peak resident
// memory (VmHWM) of a kiosk that starts, shows the rating dialog, takes a tap, turns eight pages
// and lists the folder in the picture editing window, and with 5,000 photos the time of its
// start-up, its slowest page turn and the listing.
//   huge headers: a background and a photo whose headers claim 60000 x 60000 pixels
//   large picture: a background and a photo of 10000 x 9000 (90 megapixels)
//   5,000 photos: of 400 x 400 each
// Each run is a process of its own (the peak is the process's), with nothing kept on disk from
// an earlier run. Baseline of the same run: the same steps with the sample photos.
#include "benchsupport.h"

#include "config/settingsfile.h"
#include "config/tform6.h"
#include "evaluation/tform2.h"
#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "kiosk/tilecache.h"
#include "platform/widgets/picturebox.h"
#include "support/pictures.h"
#include "support/recorder.h"
#include "support/runfolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Peak resident memory of this process (VmHWM), in KiB.
qint64 peakKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// In the child: the kiosk's steps in runDir; prints "peak-KiB startup-ms slowest-turn-ms
// listing-ms".
int runScenario(const QString &runDir)
{
    RecordingServices services(runDir, runDir);
    QElapsedTimer clock;
    clock.start();
    CreateForms();
    Form1->show();
    if (!QTest::qWaitForWindowExposed(Form1))
        return 1;
    if (!QTest::qWaitFor([] { return !Form1->Image4->isEmpty(); }, 600000))
        return 1;
    const double startup = double(clock.nsecsElapsed()) / 1e6;
    Form2->show();
    QCoreApplication::processEvents();
    Form1->Image4Click();
    double slowest = 0;
    for (bool forward : {true, true, true, false, false, false, false, true}) {
        clock.restart();
        forward ? Form1->Image2Click() : Form1->Image1Click();
        if (!QTest::qWaitFor([] { return !Form1->Image4->isEmpty(); }, 600000))
            return 1;
        slowest = qMax(slowest, double(clock.nsecsElapsed()) / 1e6);
    }
    clock.restart();
    Form6->show();
    const double listing = double(clock.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    tilecache::waitForPrefetch();
    if (!services.errors.isEmpty()) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(services.errors.first()));
        return 1;
    }
    std::printf("%lld %.1f %.1f %.1f\n", peakKiB(), startup, slowest, listing);
    DestroyForms();
    return 0;
}

struct Figures
{
    bench::Samples peakMiB, startup, slowestTurn, listing;
};

// Runs the scenario of runDir in runs child processes, each with no tile picture kept on disk.
Figures measureIn(const QString &runDir, int runs)
{
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QDir(runDir + u"/图片缓存"_s).removeRecursively();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {u"--scenario"_s, runDir});
        if (!child.waitForFinished(-1) || child.exitCode() != 0) {
            std::fprintf(stderr, "bench: the run in %s failed\n", qPrintable(runDir));
            std::exit(1);
        }
        const QList<QByteArray> v = child.readAllStandardOutput().trimmed().split(' ');
        if (v.size() != 4) {
            std::fprintf(stderr, "bench: unexpected output of the run in %s\n", qPrintable(runDir));
            std::exit(1);
        }
        f.peakMiB.ms << v[0].toDouble() / 1024;
        f.startup.ms << v[1].toDouble();
        f.slowestTurn.ms << v[2].toDouble();
        f.listing.ms << v[3].toDouble();
    }
    return f;
}

// A real JPEG of size, drawn once and kept in the data folder.
QString largeJpeg(QSize size)
{
    const QString path =
        bench::dataDir() + u"/large-%1x%2.jpg"_s.arg(size.width()).arg(size.height());
    if (QFile::exists(path))
        return path;
    std::printf("  (drawing a %d x %d photo into %s)\n", size.width(), size.height(),
                qPrintable(path));
    std::fflush(stdout);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, Qt::darkBlue);
    gradient.setColorAt(1, Qt::yellow);
    p.fillRect(image.rect(), gradient);
    p.end();
    const QString part = path + u".part"_s;
    if (!image.save(part, "JPEG", 85) || !QFile::rename(part, path)) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    if (!runfolder::writeBytes(path, bytes)) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// The sample run folder with the background setting pointing at picture, and photo added
// first in the folder.
QString folderWith(const QString &name, const QByteArray &picture, const QString &photoName)
{
    const QString dir = bench::dataDir() + u'/' + name;
    bench::makeRunFolder(dir, {});
    writeFile(dir + u"/pic/background.jpg"_s, picture);
    writeFile(dir + u"/图片/"_s + photoName, picture);
    SettingsFile(dir).WriteSetting(Setting::PicBg, u"pic\\background.jpg"_s);
    return dir;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--scenario")
        return runScenario(QString::fromLocal8Bit(argv[2]));
    const int runs = qMax(1, bench::envInt("KIOSK_BENCH_RUNS", 3));

    bench::printHeading(u"7. Photo folders: peak memory, and 5,000 photos"_s);
    const QString samples = bench::dataDir() + u"/run-photos-samples"_s;
    bench::makeRunFolder(samples, {});
    const QString huge = folderWith(u"run-photos-huge"_s, runfolder::jpegClaiming(60000, 60000),
                                    u"0001@巨大#照片.jpg"_s);
    QFile largeFile(largeJpeg({10000, 9000}));
    if (!largeFile.open(QIODevice::ReadOnly))
        return 1;
    const QString large =
        folderWith(u"run-photos-large"_s, largeFile.readAll(), u"0001@大图#照片.jpg"_s);
    const QString many = bench::dataDir() + u"/run-photos-5000"_s;
    bench::makeRunFolder(many, {});
    QDir photos(many + u"/图片"_s);
    for (const QString &sample : photos.entryList(QDir::Files))
        photos.remove(sample);
    const QByteArray photo = runfolder::encoded(solid({400, 400}, Qt::red), "JPEG");
    for (int n = 1; n <= 5000; ++n)
        writeFile(many + u"/图片/%1@窗口%2#业务.jpg"_s.arg(n, 4, 10, QChar(u'0')).arg(n), photo);

    const Figures base = measureIn(samples, runs);
    const Figures hugeF = measureIn(huge, runs);
    const Figures largeF = measureIn(large, runs);
    const Figures manyF = measureIn(many, runs);

    bench::printNote(u"%1 runs each, a process each, nothing kept on disk:"_s.arg(runs));
    bench::printFigure(u"baseline: peak memory, 14 sample photos"_s, base.peakMiB, "MiB");
    bench::printFigure(u"peak memory, headers claiming 60000 x 60000"_s, hugeF.peakMiB, "MiB");
    bench::printFigure(u"peak memory, a 10000 x 9000 background and photo"_s, largeF.peakMiB,
                       "MiB");
    bench::printFigure(u"peak memory, 5,000 photos"_s, manyF.peakMiB, "MiB");
    const auto added = [&](const Figures &f) { return f.peakMiB.median() - base.peakMiB.median(); };
    const auto ratio = [&](const Figures &f) { return f.peakMiB.median() / base.peakMiB.median(); };
    bench::printRatio(u"peak memory, huge headers / baseline"_s, ratio(hugeF),
                      u"<= 64 MiB added (%1)"_s.arg(added(hugeF), 0, 'f', 0), added(hugeF) <= 64);
    bench::printRatio(u"peak memory, 90-megapixel pictures / baseline"_s, ratio(largeF),
                      u"<= 150 MiB added (%1)"_s.arg(added(largeF), 0, 'f', 0),
                      added(largeF) <= 150);
    bench::printRatio(u"peak memory, 5,000 photos / baseline"_s, ratio(manyF),
                      u"<= 256 MiB added (%1)"_s.arg(added(manyF), 0, 'f', 0), added(manyF) <= 256);

    bench::printFigure(u"baseline: start-up, 14 sample photos"_s, base.startup);
    bench::printFigure(u"start-up, 5,000 photos"_s, manyF.startup);
    bench::printFigure(u"baseline: slowest of 8 page turns, 14 sample photos"_s, base.slowestTurn);
    bench::printFigure(u"slowest of 8 page turns, 5,000 photos"_s, manyF.slowestTurn);
    bench::printFigure(u"baseline: listing in 图片编辑, 14 sample photos"_s, base.listing);
    bench::printFigure(u"listing in 图片编辑, 5,000 photos"_s, manyF.listing);
    bench::printRatio(u"start-up, 5,000 photos / baseline"_s,
                      manyF.startup.median() / base.startup.median(), u"(reference)"_s, true);
    bench::printRatio(u"slowest page turn, 5,000 photos / baseline"_s,
                      manyF.slowestTurn.median() / base.slowestTurn.median(), u"(reference)"_s,
                      true);
    bench::printRatio(u"listing, 5,000 photos / baseline"_s,
                      manyF.listing.median() / base.listing.median(), u"(reference)"_s, true);
    return 0;
}
