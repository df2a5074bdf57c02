#pragma once

#include "central/centralconfig.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QSqlError;

// The central PostgreSQL database: connecting, its schema, and the statements run on it.
namespace central {

// Opens a connection under that Qt connection name with the timeouts of driverOptions and a
// statement timeout at the server. Throws KioskError with a Chinese message (never holding the
// password) when the server cannot be reached or refuses; nothing is left registered then.
QSqlDatabase open(const Connection &connection, const QString &name);
// Closes and unregisters a connection made by open.
void close(QSqlDatabase &db);

// A Chinese description of a failure at the server or on the way to it, with the library's
// own text after it; the password never appears.
QString describe(const QSqlError &error, const Connection &connection);

// Creates table 评价 (终端, 序号, 名称, 日期, 时间, 综合评价, 接收时间), unique on (终端, 序号),
// the daily counts 评价_日计 that the reports over all kiosks read, kept by triggers, and their
// indexes. Running it again changes nothing. One transaction; throws KioskError.
void createSchema(QSqlDatabase &db);
// The statements of createSchema, in order (for tests and the README).
QStringList schemaStatements();

// Table 终端状态: what each kiosk's forwarder last reported of itself (终端, 最近联系 at the
// server's clock, 待发送 waiting in its outbox, 版本 of the program, 可用空间 free bytes).
QString terminalStateTableStatement();
// Records a kiosk's report; binds 终端, 待发送, 版本, 可用空间.
QString reportTerminalState();

// Inserts rows ratings at once; binds 终端, 序号, 名称, 日期, 时间, 综合评价 for each row in
// turn. A rating the server already holds (same 终端 and 序号) is left as it is.
QString insertRatings(int rows);

// The figures over all kiosks, from the daily counts; both bind the start and end date
// ("yyyy-MM-dd", both included). Per name and grade (名称, 综合评价, 数量), and per grade
// (综合评价, 数量): the same figures the statistics window gives for one kiosk.
QString countPerNameAndGrade();
QString countPerGrade();
// Per day and grade (日期, 综合评价, 数量), for the reports over all kiosks.
QString countPerDayAndGrade();

} // namespace central
