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

} // namespace

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
