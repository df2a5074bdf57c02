#pragma once

// Looks at both ends of the forwarding from outside the kiosk: the rows of db.dll and of the
// central database, each on a connection of the test's own. Header-only: the tests that include
// it link kiosk_central.
#include "central/centralconfig.h"
#include "central/centraldb.h"
#include "platform/error.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

#include <atomic>

namespace centralcheck {

// The rows of a statement on any connection, each row's fields joined by "|"; an error gives
// the one row "error: <message>", so a comparison shows it.
inline QStringList rowsOf(QSqlDatabase db, const QString &statement, const QVariantList &binds = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(statement);
    for (const QVariant &value : binds)
        query.addBindValue(value);
    if (!query.exec())
        return {QStringLiteral("error: ") + query.lastError().text()};
    QStringList rows;
    while (query.next()) {
        QStringList fields;
        for (int c = 0; c < query.record().count(); ++c)
            fields << query.value(c).toString();
        rows << fields.join(u'|');
    }
    return rows;
}

inline QString connectionName(const char *kind)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1-check-%2").arg(QLatin1String(kind)).arg(++counter);
}

// The rows of statements run in turn on db.dll beside the kiosk (as staff or a killed forwarder
// would leave it); "cannot open" when the file cannot be opened.
inline QStringList localRows(const QString &path, const QStringList &statements)
{
    const QString name = connectionName("local");
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            rows = {QStringLiteral("cannot open")};
        for (const QString &statement : statements) {
            if (db.isOpen())
                rows += rowsOf(db, statement);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline QStringList localRows(const QString &path, const QString &statement)
{
    return localRows(path, QStringList{statement});
}

// The rows of a statement at the central database of url, on a connection of its own (the
// server may have been restarted since the last look).
inline QStringList centralRows(const QString &url, const QString &statement,
                               const QVariantList &binds = {})
{
    try {
        QSqlDatabase db = central::open(central::parseUrl(url), connectionName("central"));
        const QStringList rows = rowsOf(db, statement, binds);
        central::close(db);
        return rows;
    } catch (const KioskError &e) {
        return {QStringLiteral("error: ") + e.message()};
    }
}

} // namespace centralcheck
