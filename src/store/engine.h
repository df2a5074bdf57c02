#pragma once

#include <QString>
#include <QVariant>

class QSqlDatabase;
class QSqlError;

// Running statements on an open connection and reading the engine's own message on failure.
namespace store {

// The engine's own message for an error, without Qt's wording around it; never empty, so a
// failure can never pass for success.
QString engineMessage(const QSqlError &error);

// Runs a statement that returns no rows. Throws KioskError with the engine's message.
void run(QSqlDatabase &db, const QString &text);
// The same with values bound to the statement's placeholders, in order.
void run(QSqlDatabase &db, const QString &text, const QVariantList &values);

// The first value of a one-row statement (invalid when it returns no row). The statement is
// finished before this returns, so it holds no read open. Throws KioskError with the engine's
// message.
QVariant firstValue(QSqlDatabase &db, const QString &text);
// The same with values bound to the statement's placeholders, in order.
QVariant firstValue(QSqlDatabase &db, const QString &text, const QVariantList &values);

} // namespace store
