#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Every statement text run on the central PostgreSQL database, in one place.
namespace central {

// The statements of createSchema, in order: table 评价 (终端, 序号, 名称, 日期, 时间, 综合评价,
// 接收时间, 原序号), unique on (终端, 序号), its indexes, and the daily counts 评价_日计 kept by
// triggers, and the staff PIN log 密码记录 (终端, 序号, 日期, 时间, 事件, 说明, 接收时间); the
// change mark 评价_变更 (终端, 版本) of the daily counts. Each keeps what exists already.
QStringList schemaStatements();

// Table 终端状态: what each kiosk's forwarder last reported of itself (终端, 最近联系 at the
// server's clock, 待发送 waiting in its outbox, 版本 of the program, 可用空间 free bytes).
QString terminalStateTableStatement();
// Records a kiosk's report; binds 终端, 待发送, 版本, 可用空间.
QString reportTerminalState();

// Sets the server's statement timeout of the session.
QString statementTimeout(int milliseconds);
// A cheap question that tells whether the server still answers.
QString keepAlive();
// A read-only snapshot in which several statements see the same state, and its end.
QString beginSnapshot();
QString commit();

// Inserts rows ratings at once; binds 终端, 序号, 名称, 日期, 时间, 综合评价 for each row in
// turn. A rating the server already holds (same 终端, 序号 and content) is left as it is; one
// whose 终端 and 序号 the server holds with other content is kept under a new negative 序号
// with the sent number in 原序号 (once: sent again, it is left as it is too). One result row:
// the ratings stored under their own number, and those kept under a new one.
QString insertRatings(int rows);

// Inserts rows entries of the staff PIN log at once; binds 终端, 序号, 日期, 时间, 事件, 说明 for
// each row in turn. An entry the server already holds is left as it is.
QString insertPinEvents(int rows);

// The figures over all kiosks, from the daily counts; both bind the start and end date
// ("yyyy-MM-dd", both included). Per name and grade (名称, 综合评价, 数量), and per grade
// (综合评价, 数量): the same figures the statistics window gives for one kiosk.
QString countPerNameAndGrade();
QString countPerGrade();
// Per day and grade (日期, 综合评价, 数量), for the reports over all kiosks.
QString countPerDayAndGrade();

// Suspected repeats, the last block of schemaStatements: 评价_疑似重复 (终端, 序号), the ratings
// a kiosk marked, keyed like the 评价 row as it was kept, and their daily counts
// 评价_日计_疑似重复 (日期, 终端, 名称, 综合评价, 数量), kept by triggers on both tables.
QStringList repeatSchemaStatements();
// Marks rows ratings in the same transaction as their insertRatings; binds 终端, 序号, 名称,
// 日期, 时间, 综合评价 of each marked rating as the kiosk sent it. The mark goes to the row the
// rating was kept as, also under a new number after a collision; a mark held already stays.
QString insertRepeatMarks(int rows);
// One row, one value: whether the server has the daily counts of the marks (a database made
// before them has none, and no marks either).
QString hasRepeatCounts();
// The marked ratings of the daily counts, bound and grouped like countPerNameAndGrade and
// countPerDayAndGrade, for subtracting from them.
QString repeatsPerNameAndGrade();
QString repeatsPerDayAndGrade();

// Monthly counts, the block after the suspected repeats: 评价_月计 (月份 "yyyy-MM", 终端, 名称,
// 综合评价, 数量), the daily counts of real calendar dates summed per month, and 评价_终端日计
// (日期, 终端, 综合评价, 数量), the daily counts without the name. Both follow 评价_日计 through
// its own triggers, so they agree with it in every committed state; an existing database gets
// them filled from 评价_日计 once. The reasons' daily counts raise the change mark 评价_变更.
QStringList summarySchemaStatements();

// The counts over [from, to] (both included) per name and grade (名称, 综合评价, 数量): whole
// months from 评价_月计, the days before and after them from 评价_日计, and any day that is
// no calendar date from 评价_日计. The same numbers as summing 评价_日计 over the range. The
// dates are written into the text (they are dates, never a caller's text); scoped: one bound
// value, the kiosks as a JSON array of names.
QString countsPerNameAndGradeByMonths(const QDate &from, const QDate &to, bool scoped);
// The counts over [from, to] per day and grade (日期, 综合评价, 数量) from 评价_终端日计; bound
// like countsPerNameAndGradeByMonths.
QString countsPerDayAndGradeOfTerminals(const QDate &from, const QDate &to, bool scoped);

} // namespace central
