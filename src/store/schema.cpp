#include "store/schema.h"

#include "platform/error.h"
#include "platform/fileinfo.h"
#include "store/database.h"
#include "store/engine.h"
#include "store/reasons.h"
#include "store/statements.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace store {

namespace {

bool dailyCountsComplete(QSqlDatabase &db)
{
    return firstValue(db, statements::dailyCountsComplete()).toBool();
}

} // namespace

bool hasDailyCounts(QSqlDatabase &db)
{
    return dailyCountsComplete(db);
}

void deleteAllRatings(QSqlDatabase &db)
{
    // A delete trigger makes the engine delete row by row (a million ratings: most of a
    // minute); without it the whole table is emptied at once. So the trigger is set aside for
    // the clear and the daily counts emptied with it, all in one transaction that takes the
    // write lock at its start: another kiosk on the same file never sees a state in between.
    run(db, statements::beginWrite());
    try {
        const bool daily = dailyCountsComplete(db);
        if (daily)
            run(db, statements::dropDailyDeleteTrigger());
        // The marks of suspected repeats go with the ratings, also at once.
        const bool marks = firstValue(db, statements::repeatMarksExist()).isValid();
        if (marks)
            run(db, statements::dropRepeatDeleteTrigger());
        run(db, statements::deleteAll());
        reasons::deleteAll(db);
        if (daily) {
            run(db, statements::clearDailyCounts());
            run(db, statements::createDailyDeleteTrigger());
        }
        if (marks) {
            run(db, statements::clearRepeatMarks());
            run(db, statements::createRepeatDeleteTrigger());
        }
        run(db, statements::commit());
    } catch (...) {
        QSqlQuery(db).exec(statements::rollback());
        throw;
    }
}

void createSchema(QSqlDatabase &db)
{
    // Fails on a file that is no database before anything is written.
    firstValue(db, statements::probe());
    // WAL is a property of the file: set once here, every later connection uses it. It cannot
    // change inside a transaction, so it comes first.
    const QString mode = firstValue(db, statements::journalModeWal()).toString();
    if (mode.compare(u"wal"_s, Qt::CaseInsensitive) != 0)
        throw KioskError(u"cannot switch the journal mode to WAL (it stays %1)"_s.arg(mode));
    run(db, statements::synchronousFull());
    if (!db.transaction())
        throw KioskError(engineMessage(db.lastError()));
    try {
        for (const QString &statement : statements::createSchema())
            run(db, statement);
        for (const QString &statement : statements::statisticsIndexes())
            run(db, statement);
        // A file without the daily table, or with a trigger missing (so its counts may be
        // stale), gets it counted anew from table 评价, in this same transaction.
        const bool dailyWasComplete = dailyCountsComplete(db);
        for (const QString &statement : statements::dailyCountsSchema())
            run(db, statement);
        if (!dailyWasComplete) {
            for (const QString &statement : statements::dailyCountsBackFill())
                run(db, statement);
        }
        // Creates the statistics table without reading table 评价.
        run(db, statements::analyzeSchema());
        run(db, statements::clearPlannerStatistics());
        run(db, statements::plannerStatistics());
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString message = engineMessage(db.lastError());
        db.rollback();
        throw KioskError(message);
    }
}

void checkNoForeignLog(const QString &path)
{
    // A log holds its 32-byte header and then one frame per page written; emptied, it has none.
    const QFileInfo log(path + u"-wal"_s);
    if (!log.isFile() || log.size() <= 32)
        return;
    const QFileInfo file(path);
    if (file.exists()) {
        // A log of this file was written after the file came into being. Where the file system
        // keeps no creation time, only a missing file is known to be new.
        const QDateTime born = file.birthTime();
        if (!born.isValid() || born <= log.lastModified())
            return;
    }
    const QString name = file.fileName();
    throw KioskError(
        u"%1 旁边还有另一个数据库文件留下的 %1-wal，里面是尚未写入原来那个 %1 的评价（软件上次没有"
        "正常退出）。新的 %1 不能放在它旁边。请先退出软件，把 %1-wal 和 %1-shm 移到原来的 %1 旁边"
        "（或者把原来的 %1 连同这两个文件放回这里，启动一次软件再正常退出，它们就会写入并消失），"
        "然后再放入或创建新的 %1。"_s.arg(name));
}

void createDatabaseFile(const QString &path)
{
    checkNoForeignLog(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw KioskError(u"unable to open database file"_s);
    // A file whose write permission bits are off is opened for reading only, also for a
    // privileged user, so it is never changed behind its owner's back (and the schema then
    // fails with the engine's "readonly database").
    const bool readOnly = info.exists() && !platform::hasWritePermissionBits(info);
    Database file(path, {.access = readOnly ? Access::ReadOnly : Access::Create,
                         .purpose = u"kiosk-schema"_s});
    createSchema(file.handle());
}

} // namespace store
