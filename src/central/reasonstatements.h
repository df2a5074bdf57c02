#pragma once

#include <QString>
#include <QStringList>

// The statements on the central PostgreSQL database for the reasons of bad ratings.
namespace central {

// Table 评价_原因 (终端, 序号, 原因): the reasons a visitor chose, keyed like the 评价 row as the
// server kept it (after a collision: under its new, negative 序号). The daily counts
// 评价_原因_日计 (日期, 终端, 名称, 原因, 数量), kept exact by triggers on the insert and delete of
// reasons, of ratings (which take their reasons with them) and of the marks of suspected repeats,
// whose reasons are left out as their grades are. Each keeps what exists already; run after the
// statements of the suspected repeats.
QStringList reasonSchemaStatements();

// Inserts rows reasons at once, in the transaction of their ratings and after them; binds 终端,
// 序号 (the kiosk's), 名称, 日期, 时间, 综合评价 (the rating's content), 原因 for each row in turn.
// Each reason goes to the rating the server kept for that number and content: under the same
// 序号, or under the new one whose 原序号 it is. A reason the server holds already is left as
// it is, so a batch sent again adds nothing.
QString insertReasons(int rows);

// The counts over all kiosks per name and reason (名称, 原因, 数量), from the daily counts; binds
// the start and end date ("yyyy-MM-dd", both included).
QString countPerNameAndReason();
// One row, one value: whether the server has the daily counts of the reasons.
QString reasonCountsExist();

} // namespace central
