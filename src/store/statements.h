#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Every statement text the program issues, in one place.
namespace statements {

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

// Whether a statement's result lists rows of the table itself with its four fields (the
// start-up statement or a listing), as opposed to counts.
bool listsTableRows(const QString &statement);

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
QString journalMode();
QString journalModeWal();
// After a write: copies the write-ahead log into the database file and empties the log, and the
// busy wait set off and on around it, so that it never waits for anyone.
QString checkpoint();
QString busyTimeoutOff();
QString busyTimeoutOn();
// The write transaction around an append or a delete.
QString beginWrite();
QString commit();
QString rollback();
// Table 评价 and the indexes the statistics use; each statement keeps what exists already.
QStringList createSchema();

// The outbox 待上传 of the ratings still to forward to the central database: 序号 (a sequence
// that never hands out a number twice, also after a clear), 终端 (the kiosk's name) and the
// four fields. Created when missing, with the first rating to forward.
QStringList createOutbox();
// Starts the outbox sequence at the bound number unless it has started already.
QString seedOutboxSequence();
// The first sequence number of an outbox made at that moment: the milliseconds since 1970
// times 1000. A later db.dll of the same kiosk therefore starts above every number an earlier
// one handed out unless it took more than 1000 ratings a millisecond.
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

} // namespace statements
