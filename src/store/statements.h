#pragma once

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
// Deletes exactly one row holding the four bound values 名称, 日期, 时间, 综合评价.
QString deleteOneRow();

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

} // namespace statements
