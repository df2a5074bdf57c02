#pragma once

#include "central/centralconfig.h"
#include "central/centralstatements.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QSqlError;

// The central PostgreSQL database: connecting and its schema (the statement texts are in
// centralstatements.h).
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

// Creates table 评价 (终端, 序号, 名称, 日期, 时间, 综合评价, 接收时间, 原序号), unique on (终端,
// 序号), the daily counts 评价_日计 that the reports over all kiosks read, kept by triggers, and
// their indexes. Running it again changes nothing. One transaction; throws KioskError.
void createSchema(QSqlDatabase &db);

} // namespace central
