#include "store/reasons.h"

#include "store/engine.h"
#include "store/statements.h"

using namespace Qt::StringLiterals;

namespace store::reasons {

void storeWithRating(QSqlDatabase &db, const QStringList &reasons)
{
    if (reasons.isEmpty())
        return;
    // Read before anything else is inserted: the rowid the rating was just given. The rowid of
    // 评价 stays with its row through the copies VACUUM INTO makes.
    const QVariant rating = firstValue(db, statements::lastRatingId());
    for (const QString &statement : statements::createReasons())
        run(db, statement);
    for (const QString &reason : reasons)
        run(db, statements::appendReason(), {rating, reason});
}

void fileForForwarding(QSqlDatabase &db, const QStringList &reasons)
{
    if (reasons.isEmpty())
        return;
    for (const QString &statement : statements::createReasonOutbox())
        run(db, statement);
    for (const QString &reason : reasons)
        run(db, statements::appendReasonOutbox(), {reason});
}

void archiveWithRating(QSqlDatabase &db, const QVariant &rowid)
{
    if (!firstValue(db, statements::reasonsExist()).isValid())
        return;
    for (const QString &statement : statements::createDeletedReasons())
        run(db, statement);
    run(db, statements::archiveReasons(), {rowid});
    // A later rating may be given the same rowid: it must not inherit these.
    run(db, statements::deleteReasons(), {rowid});
}

void deleteAll(QSqlDatabase &db)
{
    if (firstValue(db, statements::reasonsExist()).isValid())
        run(db, statements::deleteAllReasons());
}

} // namespace store::reasons

namespace statements {

QString reasonsExist()
{
    return tableExists(u"评价_原因"_s);
}

QStringList createReasons()
{
    return {u"create table if not exists 评价_原因 (评价 integer not null, 原因 text not null, "
            "primary key (评价, 原因)) without rowid"_s};
}

QString lastRatingId()
{
    return u"select last_insert_rowid()"_s;
}

QString appendReason()
{
    return u"insert or ignore into 评价_原因 (评价, 原因) values (?, ?)"_s;
}

QStringList createReasonOutbox()
{
    return {u"create table if not exists 待上传_原因 (序号 integer not null, 原因 text not null, "
            "primary key (序号, 原因)) without rowid"_s};
}

QString reasonOutboxExists()
{
    return tableExists(u"待上传_原因"_s);
}

QString appendReasonOutbox()
{
    return u"insert or ignore into 待上传_原因 (序号, 原因) select max(序号), ? from 待上传"_s;
}

QStringList createDeletedReasons()
{
    return {u"create table if not exists 评价_已删除_原因 (已删除 integer not null, "
            "原因 text not null)"_s};
}

QString archiveReasons()
{
    return u"insert into 评价_已删除_原因 (已删除, 原因) select (select max(rowid) from "
           "评价_已删除), 原因 from 评价_原因 where 评价 = ?"_s;
}

QString deleteReasons()
{
    return u"delete from 评价_原因 where 评价 = ?"_s;
}

QString deleteAllReasons()
{
    return u"delete from 评价_原因"_s;
}

QString pendingReasons()
{
    return u"select 序号, 原因 from 待上传_原因 where 序号 >= ? and 序号 <= ? order by 序号, 原因"_s;
}

QString removeForwardedReasons()
{
    return u"delete from 待上传_原因 where 序号 <= ?"_s;
}

} // namespace statements
