#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Shared pieces of the benchmarks: figures over repeated runs, printing, and the data they
// generate for themselves (camera photos, run folders, rating databases). Generated data is
// kept in the data folder between runs and made again when missing.
namespace bench {

// Milliseconds of repeated runs of one measurement.
struct Samples
{
    QList<double> ms;
    double median() const;
    double min() const;
    double max() const;
    // The value below which the given share of the runs lie (0.99 for p99).
    double quantile(double q) const;
};

// Runs body repeatedly (after warmup unmeasured runs) and returns its times; setup runs
// before each measured run, outside the clock.
Samples measure(int runs, const std::function<void()> &body,
                const std::function<void()> &setup = {}, int warmup = 0);

// One printed line: name, median and spread of the runs.
void printFigure(const QString &name, const Samples &s, const char *unit = "ms");
// One printed line: a ratio between two medians and the target it is held against.
// ok is printed as met / NOT MET.
void printRatio(const QString &name, double ratio, const QString &target, bool ok);
void printHeading(const QString &title);
void printNote(const QString &text);

// The whole number in environment variable name, or fallback when it is unset or no number.
int envInt(const char *name, int fallback);

// The folder generated data is kept in: $KIOSK_BENCH_DATA, else bench-data beside the
// benchmark executables.
QString dataDir();

// count camera-like photos of 4000 x 3000 (2-5 MB each) in dir/name, made when missing.
// Returns their full paths in catalogue order.
QStringList cameraPhotos(const QString &name, int count);

// A run folder in dir: the pictures of folder pic, opt.ini with tiles of 150 x 180, and
// folder 图片 with the given photos copied in (or the sample photos when photos is empty);
// db.dll copied from database when that is not empty.
void makeRunFolder(const QString &dir, const QStringList &photos, const QString &database = {});

// The path of a database with table 评价 holding rows ratings (200 names, three years of dates
// from 2022-01-01 to 2024-12-31, all five grades), made with the schema tool when missing.
QString ratingsDatabase(int rows);

// Names of the generated ratings, and the date ranges the statistics figures use.
QString ratingName(int index);
constexpr int RatingNames = 200;

// Copies a file, replacing the target.
void copyFile(const QString &from, const QString &to);

// Resident memory of a process in KiB (VmRSS of /proc/<pid>/status); -1 when unknown.
qint64 residentKiB(qint64 pid = 0);

} // namespace bench
