#include "central/reasonstatements.h"

using namespace Qt::StringLiterals;

namespace central {

QStringList reasonSchemaStatements()
{
    return {
        u"create table if not exists 评价_原因 ("
        "终端 text not null, 序号 bigint not null, 原因 text not null, "
        "primary key (终端, 序号, 原因))"_s,
        u"create table if not exists 评价_原因_日计 ("
        "日期 text not null, 终端 text not null, 名称 text not null, 原因 text not null, "
        "数量 bigint not null, primary key (日期, 终端, 名称, 原因))"_s,
        // Per statement, from the reasons really inserted, with the day and name of their rating.
        // The reasons of a rating marked as a suspected repeat are not counted, as its grade is
        // not: the triggers on 评价_疑似重复 below take them out and put them back.
        u"create or replace function 评价_原因_日计_加() returns trigger language plpgsql as $$ "
        "begin "
        "insert into 评价_原因_日计 (日期, 终端, 名称, 原因, 数量) "
        "select coalesce(e.日期, ''), n.终端, coalesce(e.名称, ''), n.原因, count(*) "
        "from 新原因 n join 评价 e on e.终端 = n.终端 and e.序号 = n.序号 "
        "where not exists (select 1 from 评价_疑似重复 m where m.终端 = n.终端 "
        "and m.序号 = n.序号) group by 1, 2, 3, 4 "
        "on conflict (日期, 终端, 名称, 原因) do update set 数量 = 评价_原因_日计.数量 + "
        "excluded.数量; "
        "return null; end $$"_s,
        // Reasons deleted on their own, while their rating is still there.
        u"create or replace function 评价_原因_日计_减() returns trigger language plpgsql as $$ "
        "begin "
        "update 评价_原因_日计 d set 数量 = d.数量 - o.n from ("
        "select coalesce(e.日期, '') as 日期, r.终端, coalesce(e.名称, '') as 名称, r.原因, "
        "count(*) as n from 旧原因 r join 评价 e on e.终端 = r.终端 and e.序号 = r.序号 "
        "where not exists (select 1 from 评价_疑似重复 m where m.终端 = r.终端 "
        "and m.序号 = r.序号) group by 1, 2, 3, 4) o "
        "where d.日期 = o.日期 and d.终端 = o.终端 and d.名称 = o.名称 and d.原因 = o.原因; "
        "delete from 评价_原因_日计 where 数量 <= 0; "
        "return null; end $$"_s,
        // A rating deleted takes its reasons with it; they are counted down here, from the
        // deleted rating (the trigger above no longer finds it). Its mark, if any, is still
        // there: triggers of one event fire in the order of their names, and this one comes
        // before 评价_疑似重复_随删, which removes the marks.
        u"create or replace function 评价_原因_随评价删除() returns trigger language plpgsql "
        "as $$ begin "
        "with 删 as (delete from 评价_原因 r using 旧行 o where r.终端 = o.终端 "
        "and r.序号 = o.序号 returning coalesce(o.日期, '') as 日期, o.终端, "
        "coalesce(o.名称, '') as 名称, r.原因, exists (select 1 from 评价_疑似重复 m "
        "where m.终端 = o.终端 and m.序号 = o.序号) as 重复) "
        "update 评价_原因_日计 d set 数量 = d.数量 - c.n from ("
        "select 日期, 终端, 名称, 原因, count(*) as n from 删 where not 重复 "
        "group by 1, 2, 3, 4) c "
        "where d.日期 = c.日期 and d.终端 = c.终端 and d.名称 = c.名称 and d.原因 = c.原因; "
        "delete from 评价_原因_日计 where 数量 <= 0; "
        "return null; end $$"_s,
        u"create or replace trigger 评价_原因_日计_加 after insert on 评价_原因 "
        "referencing new table as 新原因 for each statement execute function 评价_原因_日计_加()"_s,
        u"create or replace trigger 评价_原因_日计_减 after delete on 评价_原因 "
        "referencing old table as 旧原因 for each statement execute function 评价_原因_日计_减()"_s,
        u"create or replace trigger 评价_原因_随评价删除 after delete on 评价 "
        "referencing old table as 旧行 for each statement execute function "
        "评价_原因_随评价删除()"_s,
        // A rating marked: its reasons leave the counts; a mark removed while its rating stays:
        // they come back. (A mark removed with its rating finds neither rating nor reasons.)
        u"create or replace function 评价_原因_随标记() returns trigger language plpgsql as $$ "
        "declare 符号 bigint := case when TG_OP = 'INSERT' then -1 else 1 end; "
        "begin "
        "insert into 评价_原因_日计 (日期, 终端, 名称, 原因, 数量) "
        "select coalesce(e.日期, ''), r.终端, coalesce(e.名称, ''), r.原因, 符号 * count(*) "
        "from 标记 m join 评价 e on e.终端 = m.终端 and e.序号 = m.序号 "
        "join 评价_原因 r on r.终端 = m.终端 and r.序号 = m.序号 group by 1, 2, 3, 4 "
        "on conflict (日期, 终端, 名称, 原因) do update set 数量 = 评价_原因_日计.数量 + "
        "excluded.数量; "
        "delete from 评价_原因_日计 where 数量 <= 0; "
        "return null; end $$"_s,
        u"create or replace trigger 评价_原因_随标记_加 after insert on 评价_疑似重复 "
        "referencing new table as 标记 for each statement execute function 评价_原因_随标记()"_s,
        u"create or replace trigger 评价_原因_随标记_减 after delete on 评价_疑似重复 "
        "referencing old table as 标记 for each statement execute function 评价_原因_随标记()"_s,
        // The counts made anew from the rows once, on a server whose counts may still hold the
        // reasons of suspected repeats (or have none yet); the version row makes it happen once,
        // also when several kiosks connect at the same moment.
        u"create table if not exists 评价_计数版本 (名称 text primary key)"_s,
        u"do $$ begin "
        "insert into 评价_计数版本 (名称) values ('原因不计疑似重复') on conflict do nothing; "
        "if found then "
        "delete from 评价_原因_日计; "
        "insert into 评价_原因_日计 (日期, 终端, 名称, 原因, 数量) "
        "select coalesce(e.日期, ''), r.终端, coalesce(e.名称, ''), r.原因, count(*) "
        "from 评价_原因 r join 评价 e on e.终端 = r.终端 and e.序号 = r.序号 "
        "where not exists (select 1 from 评价_疑似重复 m where m.终端 = r.终端 "
        "and m.序号 = r.序号) group by 1, 2, 3, 4; "
        "end if; end $$"_s,
    };
}

QString insertReasons(int rows)
{
    QString text = u"with 新 (终端, 序号, 名称, 日期, 时间, 综合评价, 原因) as (values "_s;
    text.reserve(text.size() + rows * 100 + 700);
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            text += u',';
        text += u"(cast(? as text),cast(? as bigint),cast(? as text),cast(? as text),"
                "cast(? as text),cast(? as text),cast(? as text))"_s;
    }
    // The rating as the server kept it: under the kiosk's number with the same content, or,
    // after a collision, under a new number with the kiosk's in 原序号 and the same content.
    text += u"), 评 as (select e.终端, e.序号, n.原因 from 新 n join 评价 e on e.终端 = n.终端 "
            "and e.序号 = n.序号 where (e.名称, e.日期, e.时间, e.综合评价) is not distinct from "
            "(n.名称, n.日期, n.时间, n.综合评价) "
            "union "
            "select e.终端, e.序号, n.原因 from 新 n join 评价 e on e.终端 = n.终端 "
            "and e.原序号 = n.序号 where (e.名称, e.日期, e.时间, e.综合评价) is not distinct from "
            "(n.名称, n.日期, n.时间, n.综合评价)) "
            "insert into 评价_原因 (终端, 序号, 原因) select 终端, 序号, 原因 from 评 "
            "on conflict (终端, 序号, 原因) do nothing"_s;
    return text;
}

QString countPerNameAndReason()
{
    return u"select 名称, 原因, sum(数量)::bigint as 数量 from 评价_原因_日计 "
           "where 日期 >= ? and 日期 <= ? group by 名称, 原因 order by 名称, 原因"_s;
}

QString reasonCountsExist()
{
    return u"select to_regclass('评价_原因_日计') is not null"_s;
}

} // namespace central
