#pragma once

#include "platform/error.h"

#include <QString>
#include <QVariant>

class QSqlDatabase;
class QSqlError;

// Running statements on an open connection and reading the engine's own message on failure.
namespace store {

// An engine failure with SQLite's primary result code (SQLITE_BUSY, SQLITE_NOTADB, ...), or -1
// when the driver gave none. The message is the engine's own (see engineMessage).
class EngineError : public KioskError
{
public:
    EngineError(QString message, int code) : KioskError(std::move(message)), m_code(code) {}
    int code() const noexcept { return m_code; }

    static constexpr int Busy = 5;
    static constexpr int Locked = 6;
    static constexpr int NotADatabase = 26;

private:
    int m_code;
};

// The EngineError of a failed statement or open.
EngineError engineError(const QSqlError &error);

// The engine's own message for an error, without Qt's wording around it; never empty, so a
// failure can never pass for success.
QString engineMessage(const QSqlError &error);

// Runs a statement that returns no rows. Throws EngineError with the engine's message.
void run(QSqlDatabase &db, const QString &text);
// The same with values bound to the statement's placeholders, in order.
void run(QSqlDatabase &db, const QString &text, const QVariantList &values);

// The first value of a one-row statement (invalid when it returns no row). The statement is
// finished before this returns, so it holds no read open. Throws EngineError with the engine's
// message.
QVariant firstValue(QSqlDatabase &db, const QString &text);
// The same with values bound to the statement's placeholders, in order.
QVariant firstValue(QSqlDatabase &db, const QString &text, const QVariantList &values);

} // namespace store
