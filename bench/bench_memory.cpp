// Resident memory (VmRSS) of the running kiosk, idle after start-up with the fourteen sample
// photos, with an empty table and with a million stored ratings. The kiosk itself runs in a
// run folder on the offscreen platform; it is ended once measured.
#include "benchsupport.h"

#include "store/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int IdleMilliseconds = 4000;

// The kiosk started in dir; its resident memory once it has been idle a while, in KiB.
qint64 idleResident(const QString &dir)
{
    QProcess kiosk;
    kiosk.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    kiosk.setProcessEnvironment(env);
    kiosk.start(dir + u"/kiosk"_s, {});
    if (!kiosk.waitForStarted()) {
        std::fprintf(stderr, "bench: the kiosk did not start\n");
        std::exit(1);
    }
    // Settled: start-up done, the other pages prepared, nothing going on.
    kiosk.waitForFinished(IdleMilliseconds);
    if (kiosk.state() != QProcess::Running) {
        std::fprintf(stderr, "bench: the kiosk ended early: %s\n",
                     kiosk.readAllStandardError().constData());
        std::exit(1);
    }
    const qint64 kib = bench::residentKiB(kiosk.processId());
    kiosk.terminate();
    if (!kiosk.waitForFinished(5000)) {
        kiosk.kill();
        kiosk.waitForFinished(5000);
    }
    return kib;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = 3;

    bench::printHeading(u"5. Memory: resident memory of the idle kiosk"_s);
    const QString big = bench::ratingsDatabase(1'000'000);
    const QString emptyDir = bench::dataDir() + u"/run-memory-empty"_s;
    const QString bigDir = bench::dataDir() + u"/run-memory-million"_s;
    bench::makeRunFolder(emptyDir, {});
    store::createDatabaseFile(emptyDir + u"/db.dll"_s);
    bench::makeRunFolder(bigDir, {}, big);
    for (const QString &dir : {emptyDir, bigDir}) {
        bench::copyFile(QStringLiteral(KIOSK_BINARY), dir + u"/kiosk"_s);
        QFile::setPermissions(dir + u"/kiosk"_s, QFile::permissions(QStringLiteral(KIOSK_BINARY)));
    }

    bench::Samples empty, million;
    for (int i = 0; i < runs; ++i) {
        empty.ms << double(idleResident(emptyDir)) / 1024;
        million.ms << double(idleResident(bigDir)) / 1024;
    }
    bench::printNote(u"idle %1 s after start, 14 sample photos"_s.arg(IdleMilliseconds / 1000));
    bench::printFigure(u"VmRSS, empty table"_s, empty, "MiB");
    bench::printFigure(u"VmRSS, 1 000 000 ratings"_s, million, "MiB");
    bench::printRatio(u"VmRSS with an empty table, MiB"_s, empty.median(), u"<= 60 MB"_s,
                      empty.median() * 1.048576 <= 60);
    const double added = million.median() - empty.median();
    bench::printRatio(u"added by 1 000 000 ratings, MiB"_s, added, u"<= 10 MB"_s,
                      added * 1.048576 <= 10);
    return 0;
}
