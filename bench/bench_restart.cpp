// Restart: start-up to the first shown frame (the six objects created in start-up order, the
// main window shown and painted, on the offscreen platform, in this process) with nothing in
// memory, as after every save in 参数设置 and every close of 图片编辑.
//   seen before: the photos were shown by an earlier run, whose tile pictures are on disk
//   first start ever: nothing kept on disk either
// Photos: ten camera photos of 5120 x 2880 on the first page, every other one a progressive
// JPEG, against the fourteen sample photos of 600 x 720. Baseline of the same run: libjpeg-turbo
// decoding the ten large files on one thread at the smallest DCT scale that covers the tile.
#include "benchsupport.h"
#include "jpeglimit.h"

#include "artwork.h"
#include "kiosk/diskcache.h"
#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "kiosk/tilecache.h"
#include "store/schema.h"
#include "support/recorder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize BigPhoto(5120, 2880);
constexpr int BigPhotos = 10;

class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

bool progressive(int index)
{
    return index % 2 == 1;
}

// Ten 5120 x 2880 photos, every other one progressive, made when missing.
QStringList bigPhotos()
{
    const QString dir = bench::dataDir() + u"/camera-5120"_s;
    QStringList paths;
    QDir().mkpath(dir);
    for (int i = 0; i < BigPhotos; ++i) {
        const QString path = dir + u'/' + artwork::cameraPhotoName(i);
        paths << path;
        if (QFileInfo(path).size() > 0)
            continue;
        std::printf("  (writing %s photo %d of 5120 x 2880)\n",
                    progressive(i) ? "progressive" : "baseline", i + 1);
        std::fflush(stdout);
        QImageWriter writer(path + u".part"_s, "jpeg");
        writer.setQuality(92);
        writer.setProgressiveScanWrite(progressive(i));
        if (!writer.write(artwork::cameraPhoto(i, BigPhoto)) ||
            !QFile::rename(path + u".part"_s, path)) {
            std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
    }
    return paths;
}

QString cacheFolder(const QString &run)
{
    return run + u"/图片缓存"_s;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = qMax(3, bench::envInt("KIOSK_BENCH_RUNS", 9));

    bench::printHeading(u"6. Restart: start-up to the first shown frame, nothing in memory"_s);
    const QStringList big = bigPhotos();
    qint64 bytes = 0;
    for (const QString &photo : big)
        bytes += QFileInfo(photo).size();
    bench::printNote(u"first page: %1 JPEGs of 5120 x 2880 (%2 progressive), %3 MB; tiles 150 x "
                     "180"_s.arg(BigPhotos)
                         .arg(BigPhotos / 2)
                         .arg(double(bytes) / 1e6, 0, 'f', 1));

    const QString bigRun = bench::dataDir() + u"/run-restart-5120"_s;
    const QString smallRun = bench::dataDir() + u"/run-restart-small"_s;
    bench::makeRunFolder(bigRun, big);
    bench::makeRunFolder(smallRun, {});
    store::createDatabaseFile(bigRun + u"/db.dll"_s);
    store::createDatabaseFile(smallRun + u"/db.dll"_s);

    RecordingServices services(smallRun, smallRun);
    auto startOnce = [&](const QString &dir, bool firstEver) {
        services.setDirs(dir, dir);
        tilecache::waitForPrefetch();
        tilecache::shared().clear();
        // The folder the main window will use; the same one keeps the same cache object.
        tilecache::useDiskCache(cacheFolder(dir));
        if (firstEver)
            tilecache::diskCache()->clear();
        QElapsedTimer clock;
        clock.start();
        CreateForms();
        PaintWatch watch;
        Form1->installEventFilter(&watch);
        Form1->showKiosk();
        while (!watch.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        Form1->removeEventFilter(&watch);
        tilecache::cancelPrefetch();
        tilecache::waitForPrefetch();
        tilecache::diskCache()->waitForWrites();
        DestroyForms();
        QCoreApplication::processEvents();
        return ms;
    };

    // Seen before: one unmeasured start each leaves the tile pictures on disk.
    startOnce(smallRun, true);
    startOnce(bigRun, true);
    const int decodesBefore = tilecache::decodeCount();
    bench::Samples smallSeen, bigSeen;
    for (int i = 0; i < runs; ++i) {
        smallSeen.ms << startOnce(smallRun, false);
        bigSeen.ms << startOnce(bigRun, false);
    }
    const int seenDecodes = tilecache::decodeCount() - decodesBefore;
    bench::Samples smallFirst, bigFirst;
    for (int i = 0; i < runs; ++i) {
        smallFirst.ms << startOnce(smallRun, true);
        bigFirst.ms << startOnce(bigRun, true);
    }

    // The first fill on its own, as the page-fill benchmark measures it, against the limit.
    services.setDirs(bigRun, bigRun);
    bench::Samples firstFill;
    {
        TForm1 form(QRect(0, 0, 1024, 768));
        form.Timer1->stop();
        form.Timer2->stop();
        firstFill = bench::measure(
            runs, [&] { form.Action1Execute(); },
            [&] {
                tilecache::cancelPrefetch();
                tilecache::waitForPrefetch();
                tilecache::shared().clear();
                tilecache::diskCache()->clear();
                form.pageIndex = 0;
            },
            1);
        tilecache::diskCache()->waitForWrites();
    }
    QList<QByteArray> files;
    for (const QString &path : big)
        files << QFile::encodeName(path);
    const bench::Samples limit = bench::measure(runs, [&] {
        for (const QByteArray &file : files)
            bench::libjpegCoveringDecode(file, QSize(150, 180));
    });
    const bench::Samples limit2 = bench::measure(runs, [&] {
        std::atomic<int> next{0};
        auto worker = [&] {
            for (int i; (i = next.fetch_add(1)) < files.size();)
                bench::libjpegCoveringDecode(files.at(i), QSize(150, 180));
        };
        std::thread other(worker);
        worker();
        other.join();
    });
    tilecache::useDiskCache(QString());

    bench::printFigure(u"restart, sample photos seen before"_s, smallSeen);
    bench::printFigure(u"restart, 5120 x 2880 photos seen before"_s, bigSeen);
    bench::printFigure(u"first start ever, sample photos"_s, smallFirst);
    bench::printFigure(u"first start ever, 5120 x 2880 photos"_s, bigFirst);
    bench::printFigure(u"first fill ever, 5120 x 2880 photos (Action1Execute)"_s, firstFill);
    bench::printFigure(u"baseline: libjpeg-turbo covering decode, one thread"_s, limit);
    bench::printNote(
        u"photos decoded during the %1 starts with photos seen before: %2"_s.arg(2 * runs).arg(
            seenDecodes));
    if (!services.errors.isEmpty())
        bench::printNote(u"errors shown: %1"_s.arg(services.errors.join(u"; "_s)));
    const double restartRatio = bigSeen.median() / smallSeen.median();
    bench::printRatio(u"restart: 5120 x 2880 seen before / samples seen before"_s, restartRatio,
                      u"<= 1.3"_s, restartRatio <= 1.3);
    const double firstRatio = firstFill.median() / limit.median();
    bench::printRatio(u"first fill ever / single-thread decode limit"_s, firstRatio, u"<= 0.65"_s,
                      firstRatio <= 0.65);
    bench::printRatio(u"decodes during starts with photos seen before"_s, seenDecodes, u"0"_s,
                      seenDecodes == 0);
    return 0;
}
