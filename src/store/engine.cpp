#include "store/engine.h"

#include "platform/error.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace store {

QString engineMessage(const QSqlError &error)
{
    if (!error.databaseText().isEmpty())
        return error.databaseText();
    if (!error.driverText().isEmpty())
        return error.driverText();
    return u"unknown database error"_s;
}

EngineError engineError(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return EngineError(engineMessage(error), ok ? (code & 0xff) : -1);
}

void run(QSqlDatabase &db, const QString &text)
{
    QSqlQuery query(db);
    if (!query.exec(text))
        throw engineError(query.lastError());
}

void run(QSqlDatabase &db, const QString &text, const QVariantList &values)
{
    QSqlQuery query(db);
    if (!query.prepare(text))
        throw engineError(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw engineError(query.lastError());
}

QVariant firstValue(QSqlDatabase &db, const QString &text)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(text))
        throw engineError(query.lastError());
    const QVariant value = query.next() ? query.value(0) : QVariant();
    query.finish();
    return value;
}

QVariant firstValue(QSqlDatabase &db, const QString &text, const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw KioskError(engineMessage(query.lastError()));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw KioskError(engineMessage(query.lastError()));
    const QVariant value = query.next() ? query.value(0) : QVariant();
    query.finish();
    return value;
}

} // namespace store
