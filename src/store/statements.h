#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Every statement text the store issues on a ratings file, in one place.
namespace statements {

// One row when table exists in the file, none when not; table is a name of this program's own,
// never typed text.
QString tableExists(const QString &table);

// "select * from 评价"
QString selectAll();
// "DELETE FROM 评价"
QString deleteAll();

// Removes leading and trailing blanks and control characters, as the statistics window and the
// picture editing window trim what was typed.
QString trimmedText(const QString &text);

// Makes text safe inside a single-quoted literal: each "'" is doubled, so typed text can never
// end the literal. "%" and "_" keep their LIKE meaning. NUL characters are dropped and half a
// surrogate pair becomes U+FFFD, so that the statement is always text the engine reads whole.
QString quoted(const QString &text);

// The statistics window's listing ("查  询") and count ("统  计") statements. nameBox and
// gradeBox are the boxes' untrimmed texts: a filter applies unless its text is exactly
// "不限制"; the values in the statement are trimmed and quoted. Dates are "yyyy-MM-dd".
QString listing(const QString &nameBox, const QString &gradeBox, const QString &startDate,
                const QString &endDate);
QString count(const QString &nameBox, const QString &gradeBox, const QString &startDate,
              const QString &endDate);
// The overall satisfaction ("综合满意度") statement over the date range alone.
QString overall(const QString &startDate, const QString &endDate);

// Appends one row; binds 名称, 日期, 时间, 综合评价 in that order.
QString appendRow();

// Deleting one rating (Ctrl+Delete in the statistics window) keeps a copy: the archive
// 评价_已删除 holds the four fields and 删除时间 ("yyyy-MM-dd hh:mm:ss"). Created when missing.
QStringList createDeletedArchive();
// The rowid of exactly one row holding the four bound values 名称, 日期, 时间, 综合评价 (there
// may be several alike), or no row.
QString findOneRow();
// Copies the row of the bound rowid into the archive; binds 删除时间, then the rowid.
QString archiveRow();
// Deletes the row of the bound rowid.
QString deleteRowById();

// The log of the staff PIN, 密码记录: 序号 (never handed out twice, like the outbox), 日期,
// 时间, 事件 (密码正确, 密码错误, 锁定) and 说明. Created when missing.
QStringList createPinLog();
// Starts the log's sequence at the bound number unless it has started already.
QString seedPinLogSequence();
// Whether the log exists (one row) or not (none).
QString pinLogExists();
// Appends one entry; binds 日期, 时间, 事件, 说明.
QString appendPinEvent();
// The entries after the last one whose 事件 is the bound word (all when there is none), oldest
// first: 日期, 时间, 事件, 说明.
QString pinEventsSince();
// The statistics window's view of the log between the two dates (both included), newest first:
// 时刻 ("yyyy-MM-dd hh:mm:ss"), 事件, 说明.
QString pinLogListing(const QString &startDate, const QString &endDate);
// With forwarding, each log entry also waits in 待上传_密码记录 under the log's own 序号, filed
// in the same transaction.
QStringList createPinOutbox();
// Files the entry just appended to the log; binds 终端.
QString appendPinOutbox();
QString pinOutboxExists();
// The oldest waiting entries: 序号, 终端, 日期, 时间, 事件, 说明; binds the number of rows.
QString pendingPinBatch();
// Removes the waiting entries up to and including the bound 序号.
QString removeForwardedPinEvents();

// Connection set-up: a cheap read that fails on a file that is no database, the page count
// (0 for an empty file), durable commits, the journal mode and the switch to WAL.
QString probe();
QString pageCount();
QString synchronousFull();
QString synchronousNormal();
QString journalMode();
QString journalModeWal();
// After a write: copies the write-ahead log into the database file and empties the log, and the
// busy wait set to 0 around it, so that it never waits for anyone.
QString checkpoint();
QString busyTimeout(int milliseconds);
// The write transaction around an append or a delete, and a read transaction, in which several
// statements see the same state of the file.
QString beginWrite();
QString beginRead();
QString commit();
QString rollback();
// Table 评价 and the indexes the statistics use; each statement keeps what exists already.
QStringList createSchema();
// The further indexes the count and the overall satisfaction read, and the planner statistics
// written for them (see schema.cpp).
QStringList statisticsIndexes();
// Creates the planner statistics table without reading table 评价, and empties and fills its
// rows of table 评价.
QString analyzeSchema();
QString clearPlannerStatistics();
QString plannerStatistics();

// The daily counts 评价_日计 and the three triggers that keep them exact; each statement keeps
// what exists already. The delete trigger on its own, which the clear of all ratings sets aside.
QStringList dailyCountsSchema();
QString createDailyDeleteTrigger();
QString dropDailyDeleteTrigger();
// Empties the daily counts; counts table 评价 into them anew.
QString clearDailyCounts();
QStringList dailyCountsBackFill();
// One row, one value: 1 when the daily table and all its triggers exist, else 0.
QString dailyCountsComplete();

// Backups: the integrity check of a copy (one row "ok"), the rows of 评价, a statement that
// reads nothing but fails without table 评价, and the consistent copy into the bound file name.
QString quickCheck();
QString ratingCount();
QString checkRatingsTable();
QString vacuumInto();

// The outbox 待上传 of the ratings still to forward to the central database: 序号 (a sequence
// that never hands out a number twice, also after a clear), 终端 (the kiosk's name) and the
// four fields. Created when missing, with the first rating to forward.
QStringList createOutbox();
// Starts the outbox sequence at the bound number unless it has started already.
QString seedOutboxSequence();
// Raises a started outbox sequence to the bound number; a higher one stays as it is.
QString raiseOutboxSequence();
// The lowest next sequence number at that moment: the milliseconds since 1970 times 1000. A
// db.dll put in place of another (an empty one, or a backup copy) is raised to it before it
// hands out a number, so it goes on above every number the other one handed out unless that
// took more than 1000 ratings a millisecond or the clock was set back since.
qint64 outboxSequenceStart(const QDateTime &now);
// Files one rating; binds 终端, 名称, 日期, 时间, 综合评价.
QString appendOutbox();
// Whether the outbox exists (one row) or not (none).
QString outboxExists();
// The oldest entries: 序号, 终端, 名称, 日期, 时间, 综合评价; binds the number of rows.
QString pendingBatch();
// Removes the entries up to and including the bound 序号, once the server holds them.
QString removeForwarded();
// The number of entries waiting.
QString pendingCount();

// Suspected repeats. 评价_疑似重复 holds the rowid of each marked rating of 评价 (评价号) with its
// 日期, 名称 and 综合评价, so the reports count the marks of a date range without reading 评价;
// triggers drop a mark with its rating and follow a change of it. Created when missing.
QStringList createRepeatMarks();
// The mark's delete trigger on its own, which the clear of all ratings sets aside.
QString createRepeatDeleteTrigger();
QString dropRepeatDeleteTrigger();
QString clearRepeatMarks();
// Whether the marks table exists (one row) or not (none).
QString repeatMarksExist();
// The latest 日期, 时间 of the bound 名称 among the ratings before the newest row (none when the
// name has no earlier rating).
QString previousRatingOfName();
// Marks the newest row of 评价.
QString markNewestRating();
// With forwarding, the 序号 of each marked rating's outbox entry waits in 待上传_疑似重复, filed
// in the same transaction as the entry and removed with it.
QStringList createRepeatOutbox();
QString markNewestOutboxEntry();
QString repeatOutboxExists();
// The marked entries between the two bound 序号, both included.
QString pendingRepeatMarks();
// Removes the marks of the entries up to and including the bound 序号.
QString removeForwardedRepeatMarks();

} // namespace statements
