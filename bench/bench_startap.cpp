// One star tap in the rating dialog (TForm2::Image1Click ... Image5Click, handler and repaint),
// with the delivered star pictures and with two 100-megapixel PNG star pictures (10000 x 10000,
// the largest a picture may claim), median and worst of many taps against one frame (16 ms).
// Baseline in the same run: what a tap cost when it loaded both star files anew at full size.
#include "benchsupport.h"

#include "evaluation/tform2.h"
#include "kiosk/tileimages.h"
#include "support/recorder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString LitStar = u"pic/zhengchang.png"_s;
const QString GreyStar = u"pic/huidu.png"_s;

// A star picture of side x side pixels in one colour on a transparent ground, kept in the data
// folder between runs.
QString hugeStar(const QString &name, int side, QColor colour)
{
    const QString path = bench::dataDir() + u'/' + name;
    if (QFile::exists(path))
        return path;
    std::printf("  (drawing a %d x %d star picture into %s)\n", side, side, qPrintable(path));
    std::fflush(stdout);
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(colour);
        p.setPen(Qt::NoPen);
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2 ? 0.2 : 0.48) * side;
            const double a = M_PI / 2 + i * M_PI / 5;
            star << QPointF(side / 2 + r * std::cos(a), side / 2 - r * std::sin(a));
        }
        p.drawPolygon(star);
    }
    const QString part = path + u".part"_s;
    if (!image.save(part, "PNG", 90) || !QFile::rename(part, path)) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

struct TapFigures
{
    bench::Samples tap;
    double creationMs = 0;
};

// Creates the dialog in runDir (which decodes both stars), shows it, and taps the stars in
// turn from the very first tap, each tap with its repaint.
TapFigures tapStars(const QString &runDir, int taps)
{
    RecordingServices services(runDir, runDir);
    TapFigures f;
    QElapsedTimer clock;
    clock.start();
    auto *form = new TForm2;
    f.creationMs = double(clock.nsecsElapsed()) / 1e6;
    form->show();
    QCoreApplication::processEvents();
    void (TForm2::*const handlers[5])() = {&TForm2::Image1Click, &TForm2::Image2Click,
                                           &TForm2::Image3Click, &TForm2::Image4Click,
                                           &TForm2::Image5Click};
    int next = 0;
    f.tap = bench::measure(
        taps,
        [&] {
            (form->*handlers[next % 5])();
            form->repaint();
        },
        [&] { ++next; });
    if (!services.errors.isEmpty()) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(services.errors.first()));
        std::exit(1);
    }
    delete form;
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int taps = qMax(20, bench::envInt("KIOSK_BENCH_TAPS", 200));

    bench::printHeading(u"6. One star tap in the rating dialog"_s);
    const QString small = bench::dataDir() + u"/run-startap"_s;
    bench::makeRunFolder(small, {});
    const TapFigures delivered = tapStars(small, taps);

    const QString huge = bench::dataDir() + u"/run-startap-huge"_s;
    bench::makeRunFolder(huge, {});
    bench::copyFile(hugeStar(u"star-lit-10000.png"_s, 10000, QColor(255, 200, 0)),
                    huge + u'/' + LitStar);
    bench::copyFile(hugeStar(u"star-grey-10000.png"_s, 10000, QColor(150, 150, 150)),
                    huge + u'/' + GreyStar);
    const TapFigures large = tapStars(huge, taps);

    // The baseline: a tap that loads both star files anew at full size, as every tap once did.
    RecordingServices services(huge, huge);
    const bench::Samples reload = bench::measure(3, [&huge] {
        const QImage lit = tileimages::loadAsset(huge, LitStar);
        const QImage grey = tileimages::loadAsset(huge, GreyStar);
        if (lit.isNull() || grey.isNull())
            std::exit(1);
    });

    bench::printNote(u"%1 taps, stars 1 to 5 in turn, handler and repaint:"_s.arg(taps));
    bench::printFigure(u"star tap, delivered star pictures"_s, delivered.tap);
    bench::printFigure(u"star tap, two 100-megapixel PNG stars"_s, large.tap);
    bench::printNote(u"    dialog creation with the 100-megapixel stars (one decode): %1 ms"_s.arg(
        large.creationMs, 0, 'f', 0));
    bench::printFigure(u"baseline: both 100-megapixel stars loaded at full size"_s, reload);
    bench::printRatio(u"star tap, 100-megapixel stars / baseline (medians)"_s,
                      large.tap.median() / reload.median(), u"(reference)"_s, true);
    bench::printRatio(u"worst star tap, 100-megapixel stars, ms"_s, large.tap.max(), u"< 16 ms"_s,
                      large.tap.max() < 16);
    bench::printRatio(u"worst star tap, delivered stars, ms"_s, delivered.tap.max(), u"< 16 ms"_s,
                      delivered.tap.max() < 16);
    return 0;
}
