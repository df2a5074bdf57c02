#pragma once

// Looks into db.dll from outside the kiosk, as a second program would: integrity, rows, bytes.
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <atomic>

namespace dbcheck {

// Runs one statement on its own connection and returns its rows, each as a list of texts.
// Never creates the file. An error gives one row with "error: <message>", so a comparison shows
// it.
inline QList<QStringList> rows(const QString &path, const QString &statement)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("dbcheck-%1").arg(++counter);
    QList<QStringList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral("file:") + path + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            result.append({QStringLiteral("error: ") + db.lastError().text()});
        } else {
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                result.append({QStringLiteral("error: ") + query.lastError().text()});
            } else {
                while (query.next()) {
                    QStringList row;
                    for (int i = 0; i < query.record().count(); ++i)
                        row.append(query.value(i).toString());
                    result.append(row);
                }
            }
            query.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// "ok" for a sound file, otherwise what the engine found.
inline QString integrity(const QString &path)
{
    QStringList lines;
    for (const QStringList &row : rows(path, QStringLiteral("pragma integrity_check")))
        lines.append(row.join(u' '));
    return lines.join(u'\n');
}

// The four fields of every row of 评价, in storage order.
inline QList<QStringList> table(const QString &path)
{
    return rows(path, QStringLiteral("select 名称,日期,时间,综合评价 from 评价 order by rowid"));
}

inline QByteArray bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace dbcheck
