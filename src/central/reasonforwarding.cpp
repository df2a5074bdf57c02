#include "central/reasonforwarding.h"

#include "central/centraldb.h"
#include "central/reasonstatements.h"
#include "platform/error.h"
#include "store/reasons.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace central::reasons {

namespace {

KioskError localError(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return KioskError(u"本机数据库 db.dll：%1"_s.arg(text.isEmpty() ? u"未知错误"_s : text));
}

bool hasOutbox(QSqlDatabase &local)
{
    QSqlQuery exists(local);
    exists.setForwardOnly(true);
    if (!exists.exec(statements::reasonOutboxExists()))
        throw localError(exists.lastError());
    const bool found = exists.next();
    exists.finish();
    return found;
}

// Text the server can store: PostgreSQL text holds no NUL character.
QVariant serverText(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    QString text = value.toString();
    text.remove(QChar(u'\0'));
    return text;
}

// Rows per statement: seven values each, well below the server's limit of bound values.
constexpr int ChunkRows = 1000;

} // namespace

QList<Waiting> readWaiting(QSqlDatabase &local, qint64 firstSeq, qint64 lastSeq)
{
    QList<Waiting> waiting;
    if (!hasOutbox(local))
        return waiting;
    QSqlQuery read(local);
    read.setForwardOnly(true);
    if (!read.prepare(statements::pendingReasons()))
        throw localError(read.lastError());
    read.addBindValue(firstSeq);
    read.addBindValue(lastSeq);
    if (!read.exec())
        throw localError(read.lastError());
    while (read.next())
        waiting.append({read.value(0).toLongLong(), read.value(1).toString()});
    const QSqlError error = read.lastError();
    read.finish();
    if (error.isValid())
        throw localError(error);
    return waiting;
}

void insertAtServer(QSqlDatabase &central, const Connection &connection,
                    const QList<QList<QVariant>> &batch, const QList<Waiting> &waiting)
{
    if (waiting.isEmpty())
        return;
    QHash<qint64, const QList<QVariant> *> bySeq;
    for (const QList<QVariant> &row : batch)
        bySeq.insert(row.at(0).toLongLong(), &row);
    for (qsizetype from = 0; from < waiting.size(); from += ChunkRows) {
        const qsizetype count = qMin<qsizetype>(ChunkRows, waiting.size() - from);
        QSqlQuery insert(central);
        if (!insert.prepare(insertReasons(int(count))))
            throw KioskError(describe(insert.lastError(), connection));
        int at = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const Waiting &reason = waiting.at(i);
            const QList<QVariant> *row = bySeq.value(reason.seq);
            // A reason is filed with its outbox entry in one transaction: it always has one.
            if (!row)
                throw KioskError(u"本机数据库 db.dll：差评原因没有对应的待发送评价"_s);
            insert.bindValue(at++, serverText(row->at(1))); // 终端
            insert.bindValue(at++, reason.seq);             // 序号
            for (int c = 2; c < 6; ++c)
                insert.bindValue(at++, serverText(row->at(c))); // 名称 .. 综合评价
            insert.bindValue(at++, serverText(reason.reason));
        }
        if (!insert.exec())
            throw KioskError(describe(insert.lastError(), connection));
        insert.finish();
    }
}

void removeForwarded(QSqlDatabase &local, qint64 lastSeq)
{
    if (!hasOutbox(local))
        return;
    QSqlQuery remove(local);
    if (!remove.prepare(statements::removeForwardedReasons()))
        throw localError(remove.lastError());
    remove.addBindValue(lastSeq);
    if (!remove.exec())
        throw localError(remove.lastError());
}

} // namespace central::reasons
