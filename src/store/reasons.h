#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlDatabase;

// The reasons a visitor chose for a bad rating, kept beside table 评价 (which keeps its four
// fields): 评价_原因 (评价, 原因), 评价 being the rowid of the rating, and with forwarding
// 待上传_原因 (序号, 原因) beside the outbox entry of the rating. Both are made with the first
// reason they hold. Every function runs inside the caller's write transaction and throws
// store::EngineError with the engine's message.
namespace store::reasons {

// Right after the rating's insert into 评价: files its reasons under its rowid.
void storeWithRating(QSqlDatabase &db, const QStringList &reasons);
// Right after the rating's outbox entry: files its reasons under the entry's 序号, the highest
// of the outbox (the transaction holds the write lock, so it is this rating's).
void fileForForwarding(QSqlDatabase &db, const QStringList &reasons);
// Before the rating of that rowid is deleted, right after it was copied into the archive
// 评价_已删除: its reasons are copied into 评价_已删除_原因 under the archive row and removed.
void archiveWithRating(QSqlDatabase &db, const QVariant &rowid);
// Inside the clear of all ratings: every reason goes with them (the file was copied before).
void deleteAll(QSqlDatabase &db);

} // namespace store::reasons

// The statement texts on a ratings file.
namespace statements {

// Whether table 评价_原因 exists (one row) or not (none).
QString reasonsExist();
QStringList createReasons();
QString lastRatingId();
// Binds the rating's rowid and one reason.
QString appendReason();
QStringList createReasonOutbox();
QString reasonOutboxExists();
// Binds one reason; the 序号 is the newest outbox entry's.
QString appendReasonOutbox();
QStringList createDeletedReasons();
// Binds the rowid of the rating: its reasons under the newest archive row.
QString archiveReasons();
// Binds the rowid of the rating.
QString deleteReasons();
QString deleteAllReasons();
// The waiting reasons of the outbox entries from the first to the last bound 序号: 序号, 原因.
QString pendingReasons();
// Removes the waiting reasons up to and including the bound 序号.
QString removeForwardedReasons();

} // namespace statements
