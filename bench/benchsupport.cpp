#include "benchsupport.h"

#include "artwork.h"
#include "config/settingsfile.h"
#include "store/record.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

QList<double> sorted(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values;
}

void fail(const QString &what)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(what));
    std::exit(1);
}

} // namespace

double Samples::median() const
{
    return quantile(0.5);
}

double Samples::min() const
{
    return ms.isEmpty() ? 0 : *std::min_element(ms.cbegin(), ms.cend());
}

double Samples::max() const
{
    return ms.isEmpty() ? 0 : *std::max_element(ms.cbegin(), ms.cend());
}

double Samples::quantile(double q) const
{
    if (ms.isEmpty())
        return 0;
    const QList<double> s = sorted(ms);
    if (q == 0.5 && s.size() % 2 == 0)
        return (s.at(s.size() / 2 - 1) + s.at(s.size() / 2)) / 2;
    const qsizetype i =
        qBound<qsizetype>(0, qsizetype(q * double(s.size() - 1) + 0.5), s.size() - 1);
    return s.at(i);
}

Samples measure(int runs, const std::function<void()> &body, const std::function<void()> &setup,
                int warmup)
{
    Samples s;
    for (int i = 0; i < warmup + runs; ++i) {
        if (setup)
            setup();
        QElapsedTimer clock;
        clock.start();
        body();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (i >= warmup)
            s.ms.append(ms);
    }
    return s;
}

void printFigure(const QString &name, const Samples &s, const char *unit)
{
    std::printf("  %-58s median %9.3f %-3s  min %9.3f   max %9.3f   (n=%lld)\n", qPrintable(name),
                s.median(), unit, s.min(), s.max(), static_cast<long long>(s.ms.size()));
    std::fflush(stdout);
}

void printRatio(const QString &name, double ratio, const QString &target, bool ok)
{
    std::printf("  %-58s %9.3f   target %-14s %s\n", qPrintable(name), ratio, qPrintable(target),
                ok ? "met" : "NOT MET");
    std::fflush(stdout);
}

void printHeading(const QString &title)
{
    std::printf("\n== %s\n", qPrintable(title));
    std::fflush(stdout);
}

void printNote(const QString &text)
{
    std::printf("  %s\n", qPrintable(text));
    std::fflush(stdout);
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

QString dataDir()
{
    QString dir = qEnvironmentVariable("KIOSK_BENCH_DATA");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + u"/bench-data"_s;
    if (!QDir().mkpath(dir))
        fail(u"cannot create "_s + dir);
    return dir;
}

QStringList cameraPhotos(const QString &name, int count)
{
    const QString dir = dataDir() + u'/' + name;
    QStringList paths;
    bool complete = true;
    for (int i = 0; i < count; ++i) {
        paths << dir + u'/' + artwork::cameraPhotoName(i);
        complete = complete && QFileInfo(paths.last()).size() > 0;
    }
    if (!complete) {
        std::printf("  (writing %d camera photos of 4000 x 3000 into %s)\n", count,
                    qPrintable(dir));
        std::fflush(stdout);
        QDir(dir).removeRecursively();
        if (!artwork::writeCameraPhotos(dir, count))
            fail(u"cannot write camera photos into "_s + dir);
    }
    return paths;
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        fail(u"cannot copy %1 to %2"_s.arg(from, to));
}

void makeRunFolder(const QString &dir, const QStringList &photos, const QString &database)
{
    QDir(dir).removeRecursively();
    const int samples = photos.isEmpty() ? 14 : 0;
    if (!QDir().mkpath(dir) || !artwork::writeRunFolder(dir, samples).ok)
        fail(u"cannot prepare run folder "_s + dir);
    const SettingsFile ini(dir);
    ini.WriteSetting(Setting::PicWidth, u"150"_s);
    ini.WriteSetting(Setting::PicHeight, u"180"_s);
    for (const QString &photo : photos)
        copyFile(photo, dir + u"/图片/"_s + QFileInfo(photo).fileName());
    if (!database.isEmpty())
        copyFile(database, dir + u"/db.dll"_s);
}

QString ratingName(int index)
{
    const artwork::SampleEntry e = artwork::sampleEntry(index);
    return e.line1 + u"  "_s + e.line2;
}

QString ratingsDatabase(int rows)
{
    const QString path = dataDir() + u"/ratings-%1.dll"_s.arg(rows);
    const QString done = path + u".done"_s;
    if (QFile::exists(done) && QFile::exists(path))
        return path;
    std::printf("  (generating %d ratings into %s)\n", rows, qPrintable(path));
    std::fflush(stdout);
    QFile::remove(path);
    QFile::remove(path + u"-wal"_s);
    QFile::remove(path + u"-shm"_s);
    {
        // The rows go in first without the indexes; the schema tool then adds them (and its
        // planner statistics), as it does for an existing database.
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-generate"_s);
        db.setDatabaseName(path);
        if (!db.open())
            fail(db.lastError().text());
        QSqlQuery q(db);
        q.exec(u"pragma synchronous=OFF"_s);
        if (!q.exec(u"create table 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s))
            fail(q.lastError().text());
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(u"insert into 评价 (名称,日期,时间,综合评价) values (?,?,?,?)"_s);
        QRandomGenerator random(20240601);
        const QDate first(2022, 1, 1);
        const int days = int(first.daysTo(QDate(2024, 12, 31))) + 1;
        QStringList names;
        for (int i = 0; i < RatingNames; ++i)
            names << ratingName(i);
        QStringList grades;
        for (int star = 1; star <= 5; ++star)
            grades << grades::word(star);
        for (int i = 0; i < rows; ++i) {
            insert.addBindValue(names.at(random.bounded(RatingNames)));
            insert.addBindValue(first.addDays(random.bounded(days)).toString(u"yyyy-MM-dd"_s));
            const int second = 8 * 3600 + random.bounded(10 * 3600);
            insert.addBindValue(u"%1:%2:%3"_s.arg(second / 3600, 2, 10, QChar(u'0'))
                                    .arg(second / 60 % 60, 2, 10, QChar(u'0'))
                                    .arg(second % 60, 2, 10, QChar(u'0')));
            insert.addBindValue(grades.at(random.bounded(5)));
            if (!insert.exec())
                fail(insert.lastError().text());
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"bench-generate"_s);
    store::createDatabaseFile(path);
    QFile marker(done);
    marker.open(QIODevice::WriteOnly);
    return path;
}

qint64 residentKiB(qint64 pid)
{
    QFile status(pid > 0 ? u"/proc/%1/status"_s.arg(pid) : u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace bench
