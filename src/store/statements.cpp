#include "store/statements.h"

using namespace Qt::StringLiterals;

namespace statements {

namespace {

const QString NoRestriction = u"不限制"_s;

bool trimmable(QChar c)
{
    return c.unicode() <= 0x20 || c.category() == QChar::Other_Control || c.isSpace();
}

// The WHERE clause shared by the listing and the count: the date range, optionally preceded by
// the grade and the name filters. name and grade are trimmed and quoted already; the pieces
// are joined in this order with nothing between them.
QString whereClause(bool byName, const QString &name, bool byGrade, const QString &grade,
                    const QString &start, const QString &end)
{
    if (!byName && !byGrade)
        return u"(日期>='"_s + start + u"' and 日期<='"_s + end + u"')"_s;
    if (!byName)
        return u"((综合评价 like '%"_s + grade + u"%"_s + u"') and (日期>='"_s + start +
               u"' and 日期<='"_s + end + u"'))"_s;
    if (!byGrade)
        return u"((名称 like '%"_s + name + u"%"_s + u"') and (日期>='"_s + start +
               u"' and 日期<='"_s + end + u"'))"_s;
    return u"((综合评价 like '%"_s + grade + u"%"_s + u"') and (名称 like "_s + u"'"_s + u"%"_s +
           name + u"%"_s + u"') and (日期>='"_s + start + u"' and 日期<='"_s + end + u"'))"_s;
}

QString filtered(const QString &head, const QString &tail, const QString &nameBox,
                 const QString &gradeBox, const QString &startDate, const QString &endDate)
{
    // Whether a filter applies is decided on the box text as typed; its value is trimmed.
    const bool byName = nameBox != NoRestriction;
    const bool byGrade = gradeBox != NoRestriction;
    return head +
           whereClause(byName, quoted(trimmedText(nameBox)), byGrade, quoted(trimmedText(gradeBox)),
                       quoted(startDate), quoted(endDate)) +
           tail;
}

} // namespace

QString tableExists(const QString &table)
{
    return u"select 1 from sqlite_master where type = 'table' and name = '"_s + table + u"'"_s;
}

QString selectAll()
{
    return u"select * from 评价"_s;
}

QString deleteAll()
{
    return u"DELETE FROM 评价"_s;
}

QString trimmedText(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && trimmable(text.at(first)))
        ++first;
    while (last > first && trimmable(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

QString quoted(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\'') {
            result += u"''"_s;
        } else if (c.isNull()) {
            // The engine reads statement text only up to a NUL, so it cannot stand in a
            // literal; no stored name holds one either.
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result += c;
            result += text.at(++i);
        } else if (c.isSurrogate()) {
            // Half a character is no text the engine can take.
            result += QChar(QChar::ReplacementCharacter);
        } else {
            result += c;
        }
    }
    return result;
}

QString listing(const QString &nameBox, const QString &gradeBox, const QString &startDate,
                const QString &endDate)
{
    return filtered(u"select 名称,日期,时间,综合评价 from 评价 where "_s, u" order by 名称,日期"_s,
                    nameBox, gradeBox, startDate, endDate);
}

QString count(const QString &nameBox, const QString &gradeBox, const QString &startDate,
              const QString &endDate)
{
    return filtered(u"select 名称,综合评价,count(综合评价) as 数量 from 评价 where "_s,
                    u" group by 名称,综合评价"_s, nameBox, gradeBox, startDate, endDate);
}

QString overall(const QString &startDate, const QString &endDate)
{
    return u"select 综合评价,count(综合评价) as 数量 from 评价 where (日期>='"_s +
           quoted(startDate) + u"' and 日期<='"_s + quoted(endDate) + u"') group by 综合评价"_s;
}

QString appendRow()
{
    return u"insert into 评价 (名称,日期,时间,综合评价) values (?,?,?,?)"_s;
}

QStringList createDeletedArchive()
{
    return {u"create table if not exists 评价_已删除 (名称 TEXT, 日期 TEXT, 时间 TEXT, "
            "综合评价 TEXT, 删除时间 TEXT not null)"_s};
}

QString findOneRow()
{
    // One row only, also when several rows hold the same four values. IS compares like = but
    // also matches a field that was left empty (NULL).
    return u"select rowid from 评价 where 名称 is ? and 日期 is ? and 时间 is ? and 综合评价 is ? "
           "limit 1"_s;
}

QString archiveRow()
{
    return u"insert into 评价_已删除 (名称,日期,时间,综合评价,删除时间) "
           "select 名称,日期,时间,综合评价,? from 评价 where rowid = ?"_s;
}

QString deleteRowById()
{
    return u"delete from 评价 where rowid = ?"_s;
}

QStringList createPinLog()
{
    return {u"create table if not exists 密码记录 (序号 integer primary key autoincrement, "
            "日期 text not null, 时间 text not null, 事件 text not null, 说明 text)"_s};
}

QString seedPinLogSequence()
{
    return u"insert into sqlite_sequence (name, seq) select '密码记录', ? "
           "where not exists (select 1 from sqlite_sequence where name = '密码记录')"_s;
}

QString pinLogExists()
{
    return tableExists(u"密码记录"_s);
}

QString appendPinEvent()
{
    return u"insert into 密码记录 (日期,时间,事件,说明) values (?,?,?,?)"_s;
}

QString pinEventsSince()
{
    return u"select 日期,时间,事件,说明 from 密码记录 where 序号 > coalesce("
           "(select max(序号) from 密码记录 where 事件 = ?), -1) order by 序号"_s;
}

QString pinLogListing(const QString &startDate, const QString &endDate)
{
    return u"select 日期 || ' ' || 时间 as 时刻,事件,说明 from 密码记录 where (日期>='"_s +
           quoted(startDate) + u"' and 日期<='"_s + quoted(endDate) + u"') order by 序号 desc"_s;
}

QStringList createPinOutbox()
{
    return {u"create table if not exists 待上传_密码记录 (序号 integer primary key, "
            "终端 text not null, 日期 text, 时间 text, 事件 text, 说明 text)"_s};
}

QString appendPinOutbox()
{
    return u"insert into 待上传_密码记录 (序号,终端,日期,时间,事件,说明) "
           "select 序号, ?, 日期, 时间, 事件, 说明 from 密码记录 where 序号 = last_insert_rowid()"_s;
}

QString pinOutboxExists()
{
    return tableExists(u"待上传_密码记录"_s);
}

QString pendingPinBatch()
{
    return u"select 序号,终端,日期,时间,事件,说明 from 待上传_密码记录 order by 序号 limit ?"_s;
}

QString removeForwardedPinEvents()
{
    return u"delete from 待上传_密码记录 where 序号 <= ?"_s;
}

QString probe()
{
    // Reads the file header: a file that is no database fails here, not at the first query.
    return u"pragma schema_version"_s;
}

QString pageCount()
{
    return u"pragma page_count"_s;
}

QString synchronousFull()
{
    return u"pragma synchronous=FULL"_s;
}

QString synchronousNormal()
{
    return u"pragma synchronous=NORMAL"_s;
}

QString journalMode()
{
    return u"pragma journal_mode"_s;
}

QString journalModeWal()
{
    return u"pragma journal_mode=WAL"_s;
}

QString checkpoint()
{
    return u"pragma wal_checkpoint(TRUNCATE)"_s;
}

QString busyTimeout(int milliseconds)
{
    return u"pragma busy_timeout=%1"_s.arg(qMax(0, milliseconds));
}

QString beginWrite()
{
    // Takes the write lock at once, so a writer in another process makes this wait (busy
    // timeout) instead of failing halfway.
    return u"begin immediate"_s;
}

QString beginRead()
{
    return u"begin"_s;
}

QString commit()
{
    return u"commit"_s;
}

QString rollback()
{
    return u"rollback"_s;
}

QStringList createSchema()
{
    // One index ordered by 名称, 日期 that also holds the other two fields: the listing reads
    // it in its "order by 名称,日期" order without sorting (the first rows come at once), and
    // the counts and the name filter read it instead of the table. An index on 日期 alone is
    // left out on purpose: the engine would then prefer it for every date range, and the
    // usual range (from the default start date to today) covers the whole table, where
    // looking up each row through it and sorting is several times slower than this scan.
    return {
        u"create table if not exists 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s,
        u"create index if not exists 评价_名称_日期 on 评价 (名称,日期,时间,综合评价)"_s,
    };
}

QStringList statisticsIndexes()
{
    // Beside the listing's (名称,日期,时间,综合评价) index, each holding every field its
    // statement reads, so that a date range is read as ranges of the index instead of the
    // table: the count ("group by 名称,综合评价") reads (名称,综合评价,日期) in its group order,
    // the overall satisfaction ("group by 综合评价") reads (综合评价,日期). The engine reaches the
    // date range in them by skipping over the leading columns, one seek per name and grade; it
    // does that only when the planner statistics tell it that the leading columns have few
    // distinct values.
    return {
        u"create index if not exists 评价_名称_评价_日期 on 评价 (名称,综合评价,日期)"_s,
        u"create index if not exists 评价_评价_日期 on 评价 (综合评价,日期)"_s,
    };
}

QString analyzeSchema()
{
    return u"analyze sqlite_master"_s;
}

QString clearPlannerStatistics()
{
    return u"delete from sqlite_stat1 where tbl='评价'"_s;
}

QString plannerStatistics()
{
    // A busy hall's table: a million ratings, 200 names, five grades, three years of dates.
    // Written rather than measured, so that the plans do not depend on how full the table was
    // when the schema tool ran: with them every statistics statement reads only its date range
    // of the fitting index, which costs little on a small table too, while plans measured on
    // an empty table would scan the whole table once it has grown.
    return u"insert into sqlite_stat1 (tbl,idx,stat) values "
           "('评价','评价_名称_日期','1000000 5000 5 1 1'),"
           "('评价','评价_名称_评价_日期','1000000 5000 1000 1'),"
           "('评价','评价_评价_日期','1000000 200000 200')"_s;
}

namespace {

const QStringList DailyObjects = {u"评价_日计"_s, u"评价_日计_加"_s, u"评价_日计_减"_s,
                                  u"评价_日计_改"_s};

} // namespace

QStringList dailyCountsSchema()
{
    // One row per day, name and grade word with the number of ratings in table 评价, so that a
    // report over a year sums a few hundred thousand rows instead of walking a million index
    // entries. The triggers keep it exact in the same transaction as each insert, delete and
    // change; a field without a value is counted under the empty text (a primary key field
    // cannot be empty). Rows whose count reaches zero are removed.
    return {
        u"create table if not exists 评价_日计 (日期 text not null, 名称 text not null, "
        "综合评价 text not null, 数量 integer not null, primary key (日期, 名称, 综合评价)) "
        "without rowid"_s,
        u"create trigger if not exists 评价_日计_加 after insert on 评价 begin "
        "insert into 评价_日计 (日期, 名称, 综合评价, 数量) values (coalesce(new.日期, ''), "
        "coalesce(new.名称, ''), coalesce(new.综合评价, ''), 1) "
        "on conflict (日期, 名称, 综合评价) do update set 数量 = 数量 + 1; end"_s,
        createDailyDeleteTrigger(),
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
}

QString createDailyDeleteTrigger()
{
    return u"create trigger if not exists 评价_日计_减 after delete on 评价 begin "
           "update 评价_日计 set 数量 = 数量 - 1 where 日期 = coalesce(old.日期, '') "
           "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, ''); "
           "delete from 评价_日计 where 日期 = coalesce(old.日期, '') "
           "and 名称 = coalesce(old.名称, '') and 综合评价 = coalesce(old.综合评价, '') "
           "and 数量 <= 0; end"_s;
}

QString dropDailyDeleteTrigger()
{
    return u"drop trigger 评价_日计_减"_s;
}

QString clearDailyCounts()
{
    return u"delete from 评价_日计"_s;
}

QStringList dailyCountsBackFill()
{
    return {
        clearDailyCounts(),
        u"insert into 评价_日计 (日期, 名称, 综合评价, 数量) select coalesce(日期, ''), "
        "coalesce(名称, ''), coalesce(综合评价, ''), count(*) from 评价 group by 1, 2, 3"_s,
    };
}

QString dailyCountsComplete()
{
    return u"select count(*) = %1 from sqlite_master where type in ('table', 'trigger') "
           "and name in ('%2')"_s.arg(DailyObjects.size())
               .arg(DailyObjects.join(u"', '"_s));
}

QString quickCheck()
{
    return u"pragma quick_check"_s;
}

QString ratingCount()
{
    return u"select count(*) from 评价"_s;
}

QString checkRatingsTable()
{
    return u"select count(*) from 评价 where 0"_s;
}

QString vacuumInto()
{
    return u"vacuum into ?"_s;
}

QStringList createOutbox()
{
    return {u"create table if not exists 待上传 (序号 integer primary key autoincrement, "
            "终端 text not null, 名称 text, 日期 text, 时间 text, 综合评价 text)"_s};
}

QString seedOutboxSequence()
{
    return u"insert into sqlite_sequence (name, seq) select '待上传', ? "
           "where not exists (select 1 from sqlite_sequence where name = '待上传')"_s;
}

QString raiseOutboxSequence()
{
    return u"update sqlite_sequence set seq = max(seq, ?) where name = '待上传'"_s;
}

qint64 outboxSequenceStart(const QDateTime &now)
{
    return qMax<qint64>(0, now.toMSecsSinceEpoch()) * 1000;
}

QString appendOutbox()
{
    return u"insert into 待上传 (终端,名称,日期,时间,综合评价) values (?,?,?,?,?)"_s;
}

QString outboxExists()
{
    return tableExists(u"待上传"_s);
}

QString pendingBatch()
{
    return u"select 序号,终端,名称,日期,时间,综合评价 from 待上传 order by 序号 limit ?"_s;
}

QString removeForwarded()
{
    return u"delete from 待上传 where 序号 <= ?"_s;
}

QString pendingCount()
{
    return u"select count(*) from 待上传"_s;
}

QStringList createRepeatMarks()
{
    // Keyed by the rating's rowid, which a vacuum into a backup keeps (the table is copied
    // whole, rowids and all). The three fields are the ones the daily counts group by, so the
    // reports subtract the marks of a range read from the 日期 index alone.
    return {
        u"create table if not exists 评价_疑似重复 (评价号 integer primary key, "
        "日期 text not null, 名称 text not null, 综合评价 text not null)"_s,
        u"create index if not exists 评价_疑似重复_日期 on 评价_疑似重复 (日期, 名称, 综合评价)"_s,
        createRepeatDeleteTrigger(),
        u"create trigger if not exists 评价_疑似重复_改 after update of 日期, 名称, 综合评价 "
        "on 评价 begin update 评价_疑似重复 set 日期 = coalesce(new.日期, ''), "
        "名称 = coalesce(new.名称, ''), 综合评价 = coalesce(new.综合评价, '') "
        "where 评价号 = new.rowid; end"_s,
    };
}

QString createRepeatDeleteTrigger()
{
    return u"create trigger if not exists 评价_疑似重复_删 after delete on 评价 begin "
           "delete from 评价_疑似重复 where 评价号 = old.rowid; end"_s;
}

QString dropRepeatDeleteTrigger()
{
    return u"drop trigger if exists 评价_疑似重复_删"_s;
}

QString clearRepeatMarks()
{
    return u"delete from 评价_疑似重复"_s;
}

QString repeatMarksExist()
{
    return tableExists(u"评价_疑似重复"_s);
}

QString previousRatingOfName()
{
    // Read backwards along the (名称,日期,时间,综合评价) index: one seek, whatever the table holds.
    return u"select 日期, 时间 from 评价 where 名称 = ? and rowid <> (select max(rowid) from 评价) "
           "order by 日期 desc, 时间 desc limit 1"_s;
}

QString markNewestRating()
{
    return u"insert into 评价_疑似重复 (评价号, 日期, 名称, 综合评价) "
           "select rowid, coalesce(日期, ''), coalesce(名称, ''), coalesce(综合评价, '') "
           "from 评价 where rowid = (select max(rowid) from 评价)"_s;
}

QStringList createRepeatOutbox()
{
    return {u"create table if not exists 待上传_疑似重复 (序号 integer primary key)"_s};
}

QString markNewestOutboxEntry()
{
    return u"insert into 待上传_疑似重复 (序号) select max(序号) from 待上传"_s;
}

QString repeatOutboxExists()
{
    return tableExists(u"待上传_疑似重复"_s);
}

QString pendingRepeatMarks()
{
    return u"select 序号 from 待上传_疑似重复 where 序号 >= ? and 序号 <= ? order by 序号"_s;
}

QString removeForwardedRepeatMarks()
{
    return u"delete from 待上传_疑似重复 where 序号 <= ?"_s;
}

} // namespace statements
