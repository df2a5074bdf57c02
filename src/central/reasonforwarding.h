#pragma once

#include "central/centralconfig.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// Forwarding the reasons of bad ratings with their ratings: the forwarder's steps on the outbox
// 待上传_原因 of db.dll and on table 评价_原因 of the server.
namespace central::reasons {

struct Waiting
{
    qint64 seq = 0; // the outbox 序号 of the rating
    QString reason;
};

// The reasons waiting for the outbox entries firstSeq .. lastSeq, in a read that ends before
// this returns; none when db.dll has no reason outbox. Throws KioskError naming db.dll.
QList<Waiting> readWaiting(QSqlDatabase &local, qint64 firstSeq, qint64 lastSeq);

// Inside the server transaction of the batch, after its ratings were inserted: the reasons of
// the batch's ratings. batch holds the outbox rows as the forwarder read them (序号, 终端, 名称,
// 日期, 时间, 综合评价). Throws KioskError with the server's message, without the password.
void insertAtServer(QSqlDatabase &central, const Connection &connection,
                    const QList<QList<QVariant>> &batch, const QList<Waiting> &waiting);

// Inside the local transaction that removes the forwarded outbox entries up to lastSeq: their
// reasons with them. Throws KioskError naming db.dll.
void removeForwarded(QSqlDatabase &local, qint64 lastSeq);

} // namespace central::reasons
