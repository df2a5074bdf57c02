#include "store/schema.h"

#include "platform/error.h"
#include "platform/fileinfo.h"
#include "store/engine.h"
#include "store/statements.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace store {

namespace {

std::atomic<quint64> toolConnectionCounter{0};

// Indexes beside the listing's (名称,日期,时间,综合评价) one, each holding every field its
// statement reads, so that a date range is read as ranges of the index instead of the table:
// the count ("group by 名称,综合评价") reads (名称,综合评价,日期) in its group order, the overall
// satisfaction ("group by 综合评价") reads (综合评价,日期). The engine reaches the date range
// in them by skipping over the leading columns, one seek per name and grade; it does that only
// when the statistics below tell it that the leading columns have few distinct values.
const QStringList StatisticsIndexes = {
    u"create index if not exists 评价_名称_评价_日期 on 评价 (名称,综合评价,日期)"_s,
    u"create index if not exists 评价_评价_日期 on 评价 (综合评价,日期)"_s,
};

// Planner statistics of a busy hall's table: a million ratings, 200 names, five grades, three
// years of dates. They are written rather than measured, so that the plans do not depend on
// how full the table was when this tool ran: with them every statistics statement reads only
// its date range of the fitting index, which costs little on a small table too, while plans
// measured on an empty table would scan the whole table once it has grown.
const QString PlannerStatistics = u"insert into sqlite_stat1 (tbl,idx,stat) values "
                                  "('评价','评价_名称_日期','1000000 5000 5 1 1'),"
                                  "('评价','评价_名称_评价_日期','1000000 5000 1000 1'),"
                                  "('评价','评价_评价_日期','1000000 200000 200')"_s;

// The daily counts: one row per day, name and grade word with the number of ratings in table 评价,
// so that a report over a year sums a few hundred thousand rows instead of walking a million
// index entries. Triggers on 评价 keep it exact in the same transaction as each insert, delete and
// change; a field without a value is counted under the empty text (a primary key field cannot
// be empty). Rows whose count reaches zero are removed.
const QString DailyTable = u"评价_日计"_s;
const QStringList DailyObjects = {DailyTable, u"评价_日计_加"_s, u"评价_日计_减"_s,
                                  u"评价_日计_改"_s};

const QStringList DailyCountsSchema = {
    u"create table if not exists 评价_日计 (日期 text not null, 名称 text not null, "
    "综合评价 text not null, 数量 integer not null, primary key (日期, 名称, 综合评价)) "
    "without rowid"_s,
    u"create trigger if not exists 评价_日计_加 after insert on 评价 begin "
    "insert into 评价_日计 (日期, 名称, 综合评价, 数量) values (coalesce(new.日期, ''), "
    "coalesce(new.名称, ''), coalesce(new.综合评价, ''), 1) "
    "on conflict (日期, 名称, 综合评价) do update set 数量 = 数量 + 1; end"_s,
    u"create trigger if not exists 评价_日计_减 after delete on 评价 begin "
    "update 评价_日计 set 数量 = 数量 - 1 where 日期 = coalesce(old.日期, '') "
    "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, ''); "
    "delete from 评价_日计 where 日期 = coalesce(old.日期, '') "
    "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, '') "
    "and 数量 <= 0; end"_s,
    u"create trigger if not exists 评价_日计_改 after update of 日期, 名称, 综合评价 on 评价 "
    "begin "
    "update 评价_日计 set 数量 = 数量 - 1 where 日期 = coalesce(old.日期, '') "
    "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, ''); "
    "delete from 评价_日计 where 日期 = coalesce(old.日期, '') "
    "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, '') "
    "and 数量 <= 0; "
    "insert into 评价_日计 (日期, 名称, 综合评价, 数量) values (coalesce(new.日期, ''), "
    "coalesce(new.名称, ''), coalesce(new.综合评价, ''), 1) "
    "on conflict (日期, 名称, 综合评价) do update set 数量 = 数量 + 1; end"_s,
};

// Counts table 评价 into the daily table anew.
const QStringList DailyCountsBackFill = {
    u"delete from 评价_日计"_s,
    u"insert into 评价_日计 (日期, 名称, 综合评价, 数量) select coalesce(日期, ''), "
    "coalesce(名称, ''), coalesce(综合评价, ''), count(*) from 评价 group by 1, 2, 3"_s,
};

bool dailyCountsComplete(QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(dailyCountsCompleteStatement()) || !query.next())
        throw KioskError(engineMessage(query.lastError()));
    return query.value(0).toBool();
}

} // namespace

QString dailyCountsCompleteStatement()
{
    return u"select count(*) = %1 from sqlite_master where type in ('table', 'trigger') "
           "and name in ('%2')"_s.arg(DailyObjects.size())
               .arg(DailyObjects.join(u"', '"_s));
}

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
    run(db, u"begin immediate"_s);
    try {
        const bool daily = dailyCountsComplete(db);
        if (daily)
            run(db, u"drop trigger 评价_日计_减"_s);
        run(db, statements::deleteAll());
        if (daily) {
            run(db, u"delete from 评价_日计"_s);
            run(db, DailyCountsSchema.at(2));
        }
        run(db, u"commit"_s);
    } catch (...) {
        QSqlQuery(db).exec(u"rollback"_s);
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
        for (const QString &statement : StatisticsIndexes)
            run(db, statement);
        // A file without the daily table, or with a trigger missing (so its counts may be
        // stale), gets it counted anew from table 评价, in this same transaction.
        const bool dailyWasComplete = dailyCountsComplete(db);
        for (const QString &statement : DailyCountsSchema)
            run(db, statement);
        if (!dailyWasComplete) {
            for (const QString &statement : DailyCountsBackFill)
                run(db, statement);
        }
        // Creates the statistics table without reading table 评价.
        run(db, u"analyze sqlite_master"_s);
        run(db, u"delete from sqlite_stat1 where tbl='评价'"_s);
        run(db, PlannerStatistics);
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

void createDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw KioskError(u"unable to open database file"_s);
    // A file whose write permission bits are off is opened for reading only, also for a
    // privileged user, so it is never changed behind its owner's back.
    const bool readOnly = info.exists() && !platform::hasWritePermissionBits(info);
    const QString name = u"kiosk-schema-%1"_s.arg(++toolConnectionCounter);
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        if (!db.open()) {
            failure = engineMessage(db.lastError());
        } else {
            try {
                createSchema(db);
            } catch (const KioskError &e) {
                failure = e.message();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty())
        throw KioskError(failure);
}

} // namespace store
