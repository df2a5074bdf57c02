// Start-up to the first shown frame with the first page filled: the six objects created in
// start-up order (CreateForms), the main window shown, and the event loop run until the window
// has painted, on the offscreen platform, in this process. Once with an empty table and once
// with a million stored ratings, interleaved; ten sample photos of 4000 x 3000 on the first page,
// none of them kept from an earlier run (in memory or on disk).
#include "benchsupport.h"

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

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = qMax(3, bench::envInt("KIOSK_BENCH_RUNS", 9));

    bench::printHeading(u"2. Start-up to the first shown frame, first page filled"_s);
    const QStringList photos = bench::cameraPhotos(u"camera"_s, 20);
    const QString big = bench::ratingsDatabase(1'000'000);

    const QString emptyRun = bench::dataDir() + u"/run-startup-empty"_s;
    const QString bigRun = bench::dataDir() + u"/run-startup-million"_s;
    bench::makeRunFolder(emptyRun, photos);
    store::createDatabaseFile(emptyRun + u"/db.dll"_s);
    bench::makeRunFolder(bigRun, photos, big);

    RecordingServices services(emptyRun, emptyRun);
    auto startOnce = [&](const QString &dir) {
        services.setDirs(dir, dir);
        tilecache::waitForPrefetch();
        tilecache::shared().clear();
        if (auto disk = tilecache::diskCache())
            disk->clear();
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
        DestroyForms();
        QCoreApplication::processEvents();
        return ms;
    };

    // One unmeasured start each, so that both measure the same warm process.
    startOnce(emptyRun);
    startOnce(bigRun);
    bench::Samples empty, million;
    for (int i = 0; i < runs; ++i) {
        empty.ms << startOnce(emptyRun);
        million.ms << startOnce(bigRun);
    }
    const int errors = int(services.errors.size());

    bench::printFigure(u"start-up, empty table"_s, empty);
    bench::printFigure(u"start-up, 1 000 000 ratings"_s, million);
    if (errors)
        bench::printNote(u"errors shown during start-up: %1 (%2)"_s.arg(errors).arg(
            services.errors.join(u"; "_s)));
    const double ratio = million.median() / empty.median();
    bench::printRatio(u"1 000 000 ratings / empty table"_s, ratio, u"<= 1.1"_s, ratio <= 1.1);
    return 0;
}
