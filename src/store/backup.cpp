#include "store/backup.h"

#include "platform/error.h"
#include "store/database.h"
#include "store/engine.h"
#include "store/statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace backup {

namespace {

const QString DailyPrefix = u"每日备份_"_s;
const QString ArchivePrefix = u"清除前备份_"_s;
const QString Suffix = u".db"_s;

bool syncPath(const QString &path, bool directory)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), directory ? (O_RDONLY | O_DIRECTORY) : O_RDWR);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

qint64 checkedRowCount(const QString &path)
{
    store::Database copy(path, {.access = store::Access::ReadOnly, .purpose = u"kiosk-backup"_s});
    const QString check = store::firstValue(copy.handle(), statements::quickCheck()).toString();
    if (check != u"ok"_s)
        throw KioskError(u"备份文件校验失败：%1"_s.arg(check));
    return store::firstValue(copy.handle(), statements::ratingCount()).toLongLong();
}

} // namespace

QString folder(const QString &workDir)
{
    return QDir::cleanPath(workDir + u"/备份"_s);
}

QString clearArchivePath(const QString &workDir, const QDateTime &now)
{
    return folder(workDir) + u'/' + ArchivePrefix + now.toString(u"yyyyMMdd_hhmmss"_s) + Suffix;
}

QString dailyPath(const QString &workDir, const QDate &date)
{
    return folder(workDir) + u'/' + DailyPrefix + date.toString(u"yyyy-MM-dd"_s) + Suffix;
}

qint64 copyDatabase(const QString &dbPath, const QString &target, int busyTimeoutMs)
{
    if (!QFileInfo(dbPath).isFile())
        throw KioskError(u"找不到数据库文件 %1"_s.arg(QDir::toNativeSeparators(dbPath)));
    if (QFileInfo::exists(target))
        throw KioskError(u"备份文件已存在：%1"_s.arg(QDir::toNativeSeparators(target)));
    const QString dir = QFileInfo(target).absolutePath();
    const QString part = target + u".part"_s;
    auto discard = [&part] { QFile::remove(part); };
    try {
        {
            store::Database source(dbPath, {.access = store::Access::ReadOnly,
                                            .busyTimeoutMs = busyTimeoutMs,
                                            .purpose = u"kiosk-backup"_s});
            // Fails on a file without table 评价 before anything is written anywhere.
            store::firstValue(source.handle(), statements::checkRatingsTable());
            if (!QDir().mkpath(dir))
                throw KioskError(u"无法创建备份文件夹 %1"_s.arg(QDir::toNativeSeparators(dir)));
            QFile::remove(part);
            store::run(source.handle(), statements::vacuumInto(), {part});
        }
        const qint64 rows = checkedRowCount(part);
        if (!syncPath(part, false))
            throw KioskError(u"无法写入备份文件 %1"_s.arg(QDir::toNativeSeparators(part)));
        if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) !=
            0)
            throw KioskError(u"无法命名备份文件 %1"_s.arg(QDir::toNativeSeparators(target)));
        syncPath(dir, true);
        return rows;
    } catch (...) {
        discard();
        throw;
    }
}

int pruneDailyCopies(const QString &workDir, int keep)
{
    QDir dir(folder(workDir));
    QStringList names = dir.entryList({DailyPrefix + u"*"_s + Suffix}, QDir::Files, QDir::Name);
    // The date in the name sorts as text; only names of exactly this form are counted.
    names.removeIf([](const QString &name) {
        const QString date =
            name.mid(DailyPrefix.size(), name.size() - DailyPrefix.size() - Suffix.size());
        return !QDate::fromString(date, u"yyyy-MM-dd"_s).isValid();
    });
    int removed = 0;
    for (qsizetype i = 0; i + keep < names.size(); ++i) {
        if (dir.remove(names[i]))
            ++removed;
    }
    return removed;
}

} // namespace backup

DailyBackup::DailyBackup(QString workDir, platform::ClockPtr clock, QObject *parent)
    : QObject(parent), m_workDir(std::move(workDir)), m_clock(std::move(clock)),
      m_job(platform::BackgroundJob::Priority::Idle)
{
    connect(&m_job, &platform::BackgroundJob::finished, this, [this] {
        const QString written = m_written.take().value_or(QString());
        emit finished(written, written.isEmpty() ? u"备份失败"_s : QString());
    });
}

// The job waits for a copy still running, so the program does not end in the middle of one.
DailyBackup::~DailyBackup() = default;

void DailyBackup::start(int firstDelayMs, int intervalMs)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, [this] { runIfDue(); });
    }
    m_timer->start(intervalMs);
    QTimer::singleShot(firstDelayMs, this, [this] { runIfDue(); });
}

bool DailyBackup::runIfDue()
{
    if (m_job.isRunning())
        return false;
    const QString dbPath = QDir::cleanPath(m_workDir + u"/db.dll"_s);
    const QString target = backup::dailyPath(m_workDir, m_clock->now().date());
    if (QFileInfo::exists(target) || !QFileInfo(dbPath).isFile())
        return false;
    return m_job.start([this, dbPath, target, workDir = m_workDir] {
        QString written;
        try {
            backup::copyDatabase(dbPath, target);
            backup::pruneDailyCopies(workDir, Keep);
            written = target;
        } catch (const KioskError &e) {
            qWarning("daily backup failed: %s", qUtf8Printable(e.message()));
        }
        m_written.put(written);
    });
}
