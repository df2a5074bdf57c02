#include "central/centralstatements.h"

#include "central/reasonstatements.h"

#include <tuple>

using namespace Qt::StringLiterals;

namespace central {

QStringList schemaStatements()
{
    QStringList statements = {
        // Serialises concurrent runs of the tool and keeps kiosks from inserting while the
        // daily counts are filled in below.
        u"select pg_advisory_xact_lock(775501)"_s,
        u"create table if not exists 评价 ("
        "终端 text not null, 序号 bigint not null, 名称 text, 日期 text, 时间 text, "
        "综合评价 text, 接收时间 timestamptz not null default now(), "
        "constraint 评价_终端_序号 unique (终端, 序号))"_s,
        // Kept under a new number after a collision: the number the kiosk had sent.
        u"alter table 评价 add column if not exists 原序号 bigint"_s,
        u"create sequence if not exists 评价_另存序号"_s,
        u"create index if not exists 评价_终端_原序号 on 评价 (终端, 原序号) "
        "where 原序号 is not null"_s,
        u"create index if not exists 评价_日期 on 评价 (日期, 终端)"_s,
        u"create index if not exists 评价_接收时间 on 评价 (接收时间)"_s,
        u"create table if not exists 评价_日计 ("
        "日期 text not null, 终端 text not null, 名称 text not null, 综合评价 text not null, "
        "数量 bigint not null, primary key (日期, 终端, 名称, 综合评价))"_s,
        // Per statement, from the rows the statement really inserted or deleted (a resent
        // rating that the server already held adds nothing).
        u"create or replace function 评价_日计_加() returns trigger language plpgsql as $$ "
        "begin "
        "insert into 评价_日计 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(日期, ''), 终端, coalesce(名称, ''), coalesce(综合评价, ''), count(*) "
        "from 新行 group by 1, 2, 3, 4 "
        "on conflict (日期, 终端, 名称, 综合评价) do update set 数量 = 评价_日计.数量 + "
        "excluded.数量; "
        "return null; end $$"_s,
        u"create or replace function 评价_日计_减() returns trigger language plpgsql as $$ "
        "begin "
        "update 评价_日计 d set 数量 = d.数量 - o.n from ("
        "select coalesce(日期, '') as 日期, 终端, coalesce(名称, '') as 名称, "
        "coalesce(综合评价, '') as 综合评价, count(*) as n from 旧行 group by 1, 2, 3, 4) o "
        "where d.日期 = o.日期 and d.终端 = o.终端 and d.名称 = o.名称 and d.综合评价 = "
        "o.综合评价; "
        "delete from 评价_日计 where 数量 <= 0; "
        "return null; end $$"_s,
        u"create or replace trigger 评价_日计_加 after insert on 评价 "
        "referencing new table as 新行 for each statement execute function 评价_日计_加()"_s,
        u"create or replace trigger 评价_日计_减 after delete on 评价 "
        "referencing old table as 旧行 for each statement execute function 评价_日计_减()"_s,
        // The staff PIN log of every kiosk: each right and wrong entry and each lock.
        u"create table if not exists 密码记录 ("
        "终端 text not null, 序号 bigint not null, 日期 text, 时间 text, 事件 text, 说明 text, "
        "接收时间 timestamptz not null default now(), "
        "constraint 密码记录_终端_序号 unique (终端, 序号))"_s,
        terminalStateTableStatement(),
        // Daily counts for rows that came before the counts existed; nothing when they agree.
        u"insert into 评价_日计 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(日期, ''), 终端, coalesce(名称, ''), coalesce(综合评价, ''), count(*) "
        "from 评价 where not exists (select 1 from 评价_日计) group by 1, 2, 3, 4"_s,
        // A counter per kiosk that grows with every statement changing its daily counts: the
        // dashboard tells from their sum whether a figure it read is still right. One row per
        // kiosk, so kiosks forwarding at once never wait for each other here.
        u"create table if not exists 评价_变更 (终端 text primary key, 版本 bigint not null)"_s,
        u"create or replace function 评价_变更_记() returns trigger language plpgsql as $$ "
        "begin "
        "if TG_OP = 'TRUNCATE' then update 评价_变更 set 版本 = 版本 + 1; return null; end if; "
        "insert into 评价_变更 (终端, 版本) select distinct 终端, 1 from 变更行 order by 终端 "
        "on conflict (终端) do update set 版本 = 评价_变更.版本 + 1; "
        "return null; end $$"_s,
        u"create or replace trigger 评价_变更_增 after insert on 评价_日计 "
        "referencing new table as 变更行 for each statement execute function 评价_变更_记()"_s,
        u"create or replace trigger 评价_变更_改 after update on 评价_日计 "
        "referencing new table as 变更行 for each statement execute function 评价_变更_记()"_s,
        u"create or replace trigger 评价_变更_删 after delete on 评价_日计 "
        "referencing old table as 变更行 for each statement execute function 评价_变更_记()"_s,
        u"create or replace trigger 评价_变更_清 after truncate on 评价_日计 "
        "for each statement execute function 评价_变更_记()"_s,
        // The follow-up of bad ratings. Every 不满意 or 非常不满意 that reaches 评价 opens one
        // case (差评案件); each step of a case is a row of 差评案件_记录, which nobody may
        // change or delete. Created with the cases of the bad ratings held already, once.
        u"do $$ begin if to_regclass('差评案件') is null then "
        "create table 差评案件 (编号 bigserial primary key, 终端 text not null, "
        "序号 bigint not null, 状态 text not null default '待核实' check (状态 in "
        "('待核实', '已回访', '已整改', '已办结', '申诉')), "
        "开立时间 timestamptz not null default now(), 回访时间 timestamptz, "
        "整改时间 timestamptz, 办结时间 timestamptz, "
        "constraint 差评案件_终端_序号 unique (终端, 序号)); "
        "create table 差评案件_记录 (编号 bigserial primary key, "
        "案件 bigint not null references 差评案件 (编号), 原状态 text, 新状态 text not null, "
        "操作人 text not null, 时间 timestamptz not null, 说明 text not null); "
        "create index 差评案件_记录_案件 on 差评案件_记录 (案件, 编号); "
        "with c as (insert into 差评案件 (终端, 序号, 开立时间) "
        "select 终端, 序号, 接收时间 from 评价 where 综合评价 in ('不满意', '非常不满意') "
        "order by 接收时间, 终端, 序号 returning 编号, 开立时间) "
        "insert into 差评案件_记录 (案件, 新状态, 操作人, 时间, 说明) "
        "select 编号, '待核实', '系统', 开立时间, '差评自动立案' from c; "
        "end if; end $$"_s,
        u"create index if not exists 差评案件_状态 on 差评案件 (状态, 编号)"_s,
        u"create or replace function 差评案件_开立() returns trigger language plpgsql as $$ "
        "begin "
        "with c as (insert into 差评案件 (终端, 序号, 开立时间) "
        "select 终端, 序号, 接收时间 from 新行 where 综合评价 in ('不满意', '非常不满意') "
        "order by 终端, 序号 on conflict (终端, 序号) do nothing returning 编号, 开立时间) "
        "insert into 差评案件_记录 (案件, 新状态, 操作人, 时间, 说明) "
        "select 编号, '待核实', '系统', 开立时间, '差评自动立案' from c; "
        "return null; end $$"_s,
        u"create or replace trigger 差评案件_开立 after insert on 评价 "
        "referencing new table as 新行 for each statement execute function 差评案件_开立()"_s,
        // The history only grows: the database refuses to change or remove a step, for every
        // role, whatever program asks.
        u"create or replace function 差评案件_记录_只增() returns trigger language plpgsql as $$ "
        "begin raise exception '案件记录只能新增，不能修改或删除'; end $$"_s,
        u"create or replace trigger 差评案件_记录_只增 before update or delete on 差评案件_记录 "
        "for each row execute function 差评案件_记录_只增()"_s,
        u"create or replace trigger 差评案件_记录_不清空 before truncate on 差评案件_记录 "
        "for each statement execute function 差评案件_记录_只增()"_s,
        // The working-day calendar of the deadlines: dates that differ from Monday to Friday,
        // a holiday (假日) or a weekend day worked (调休).
        u"create table if not exists 工作日历 (日期 date primary key, "
        "类型 text not null check (类型 in ('假日', '调休')), 说明 text not null default '')"_s,
    };
    // The suspected repeats and their daily counts, then the reasons of bad ratings and their
    // daily counts, which leave out the reasons of the suspected repeats.
    statements += repeatSchemaStatements();
    statements += reasonSchemaStatements();
    // The monthly counts and the daily counts per kiosk (after the reasons, whose daily counts
    // raise the change mark).
    statements += summarySchemaStatements();
    return statements;
}

namespace {

// A counts table kept from 评价_日计 by triggers: its key columns, the expressions giving them
// from a row of 评价_日计 and the condition a row must meet to be counted there.
struct Summary
{
    QString table;
    QString keys;
    QString fromDaily;
    QString condition;
};

// The function keeping a summary: the change of 评价_日计's statement (rows inserted count up,
// rows deleted count down, an update both) is added per key, and keys reaching 0 leave.
QString summaryFunction(const Summary &s)
{
    const auto delta = [&](const QString &rows) {
        return u"insert into %1 (%2, 数量) select %2, sum(n) from (%3) d (%2, n) group by %2 "
               "having sum(n) <> 0 on conflict (%2) do update set 数量 = %1.数量 + excluded.数量; "_s
                   .arg(s.table, s.keys, rows);
    };
    const QString added = u"select %1, 数量 from 新日计 where %2"_s.arg(s.fromDaily, s.condition);
    const QString removed =
        u"select %1, -数量 from 旧日计 where %2"_s.arg(s.fromDaily, s.condition);
    QString gone;
    for (const QString &key : s.keys.split(u", "_s))
        gone += u" and t.%1 = o.%1"_s.arg(key);
    const QString cleanUp =
        u"delete from %1 t using (select distinct %2 from 旧日计 where %3) o (%4) "
        "where t.数量 <= 0%5; "_s.arg(s.table, s.fromDaily, s.condition, s.keys, gone);
    return u"create or replace function %1_记() returns trigger language plpgsql as $$ begin "
           "if TG_OP = 'TRUNCATE' then truncate %1; "
           "elsif TG_OP = 'INSERT' then %2"
           "elsif TG_OP = 'DELETE' then %3%4"
           "else %5%4"
           "end if; return null; end $$"_s.arg(s.table, delta(added), delta(removed), cleanUp,
                                               delta(added + u" union all "_s + removed));
}

QStringList summaryStatements(const Summary &s)
{
    return {
        summaryFunction(s),
        u"create or replace trigger %1_增 after insert on 评价_日计 referencing new table as "
        "新日计 for each statement execute function %1_记()"_s.arg(s.table),
        u"create or replace trigger %1_改 after update on 评价_日计 referencing old table as "
        "旧日计 new table as 新日计 for each statement execute function %1_记()"_s.arg(s.table),
        u"create or replace trigger %1_删 after delete on 评价_日计 referencing old table as "
        "旧日计 for each statement execute function %1_记()"_s.arg(s.table),
        u"create or replace trigger %1_清 after truncate on 评价_日计 "
        "for each statement execute function %1_记()"_s.arg(s.table),
        // Filled once from the daily counts on a database that had them before this table;
        // with the triggers in place first, no change of 评价_日计 is missed meanwhile.
        u"insert into %1 (%2, 数量) select %2, sum(数量) from (select %3, 数量 from 评价_日计 "
        "where %4 and not exists (select 1 from %1)) d (%2, 数量) group by %2"_s.arg(
            s.table, s.keys, s.fromDaily, s.condition),
    };
}

QString dateText(const QDate &date)
{
    return date.toString(u"yyyy-MM-dd"_s);
}

const QString ScopeTable = u"with 范围 (终端) as (select jsonb_array_elements_text(?::jsonb)) "_s;
const QString InScope = u" and 终端 in (select 终端 from 范围)"_s;

} // namespace

QStringList summarySchemaStatements()
{
    QStringList statements = {
        // A day of a real calendar date "yyyy-MM-dd"; only these are counted per month (a
        // month's days then lie between its first and its last day in any text order).
        u"create or replace function 评价_是日期(d text) returns boolean language sql "
        "immutable strict parallel safe as $$ select case when d ~ "
        "'^[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])$' then "
        "substr(d, 9, 2)::int <= case substr(d, 6, 2) when '02' then case when "
        "substr(d, 1, 4)::int % 4 = 0 and (substr(d, 1, 4)::int % 100 <> 0 or "
        "substr(d, 1, 4)::int % 400 = 0) then 29 else 28 end "
        "when '04' then 30 when '06' then 30 when '09' then 30 when '11' then 30 else 31 end "
        "else false end $$"_s,
        // The few daily counts of other days, which the monthly figures read from 评价_日计.
        u"create index if not exists 评价_日计_非日期 on 评价_日计 (日期) "
        "where not 评价_是日期(日期)"_s,
        u"create table if not exists 评价_月计 (月份 text not null, 终端 text not null, "
        "名称 text not null, 综合评价 text not null, 数量 bigint not null, "
        "primary key (月份, 终端, 名称, 综合评价))"_s,
        u"create table if not exists 评价_终端日计 (日期 text not null, 终端 text not null, "
        "综合评价 text not null, 数量 bigint not null, primary key (日期, 终端, 综合评价))"_s,
    };
    statements +=
        summaryStatements({u"评价_月计"_s, u"月份, 终端, 名称, 综合评价"_s,
                           u"left(日期, 7), 终端, 名称, 综合评价"_s, u"评价_是日期(日期)"_s});
    statements += summaryStatements(
        {u"评价_终端日计"_s, u"日期, 终端, 综合评价"_s, u"日期, 终端, 综合评价"_s, u"true"_s});
    // The reasons' counts change the figures the dashboard keeps too.
    for (const auto &[name, event, table] :
         {std::tuple{u"增"_s, u"insert"_s, u"new"_s}, std::tuple{u"改"_s, u"update"_s, u"new"_s},
          std::tuple{u"删"_s, u"delete"_s, u"old"_s}})
        statements.append(u"create or replace trigger 评价_变更_原因_%1 after %2 on 评价_原因_日计 "
                          "referencing %3 table as 变更行 for each statement execute function "
                          "评价_变更_记()"_s.arg(name, event, table));
    return statements;
}

QString countsPerNameAndGradeByMonths(const QDate &from, const QDate &to, bool scoped)
{
    const QString scope = scoped ? InScope : QString();
    const QString with = scoped ? ScopeTable : QString();
    // The whole months inside the range: first from the month of from (when from is its first
    // day) up to the month of to (when to is its last day).
    const QDate first = from.day() == 1 ? from : QDate(from.year(), from.month(), 1).addMonths(1);
    QDate lastStart(to.year(), to.month(), 1);
    if (to.day() != to.daysInMonth())
        lastStart = lastStart.addMonths(-1);
    if (first > lastStart)
        return with + u"select 名称, 综合评价, sum(数量)::bigint from 评价_日计 "
                      "where 日期 >= '%1' and 日期 <= '%2'%3 group by 名称, 综合评价"_s.arg(
                          dateText(from), dateText(to), scope);
    const QDate last = lastStart.addDays(lastStart.daysInMonth() - 1);
    return with +
           u"select 名称, 综合评价, sum(数量)::bigint from ("
           "select 名称, 综合评价, 数量 from 评价_月计 where 月份 >= '%1' and 月份 <= '%2'%7 "
           "union all select 名称, 综合评价, 数量 from 评价_日计 "
           "where 日期 >= '%3' and 日期 < '%5'%7 "
           "union all select 名称, 综合评价, 数量 from 评价_日计 "
           "where 日期 > '%6' and 日期 <= '%4'%7 "
           "union all select 名称, 综合评价, 数量 from 评价_日计 "
           "where 日期 >= '%5' and 日期 <= '%6' and not 评价_是日期(日期)%7"
           ") c group by 名称, 综合评价"_s.arg(
               first.toString(u"yyyy-MM"_s), lastStart.toString(u"yyyy-MM"_s), dateText(from),
               dateText(to), dateText(first), dateText(last), scope);
}

QString countsPerDayAndGradeOfTerminals(const QDate &from, const QDate &to, bool scoped)
{
    return (scoped ? ScopeTable : QString()) +
           u"select 日期, 综合评价, sum(数量)::bigint from 评价_终端日计 "
           "where 日期 >= '%1' and 日期 <= '%2'%3 group by 日期, 综合评价"_s.arg(
               dateText(from), dateText(to), scoped ? InScope : QString());
}

QStringList repeatSchemaStatements()
{
    return {
        // The ratings a kiosk marked as suspected repeats, keyed like the row as it was kept.
        u"create table if not exists 评价_疑似重复 (终端 text not null, 序号 bigint not null, "
        "primary key (终端, 序号))"_s,
        // Their daily counts, kept beside 评价_日计 (which counts every rating): the figures
        // subtract the range of this small table instead of looking at any rating.
        u"create table if not exists 评价_日计_疑似重复 ("
        "日期 text not null, 终端 text not null, 名称 text not null, 综合评价 text not null, "
        "数量 bigint not null, primary key (日期, 终端, 名称, 综合评价))"_s,
        u"create or replace function 评价_疑似重复_加() returns trigger language plpgsql as $$ "
        "begin "
        "insert into 评价_日计_疑似重复 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(e.日期, ''), e.终端, coalesce(e.名称, ''), coalesce(e.综合评价, ''), "
        "count(*) from 新标 m join 评价 e on e.终端 = m.终端 and e.序号 = m.序号 "
        "group by 1, 2, 3, 4 "
        "on conflict (日期, 终端, 名称, 综合评价) do update set 数量 = 评价_日计_疑似重复.数量 + "
        "excluded.数量; "
        "return null; end $$"_s,
        // A mark removed on its own: its rating is still there to say what it counted.
        u"create or replace function 评价_疑似重复_减() returns trigger language plpgsql as $$ "
        "begin "
        "update 评价_日计_疑似重复 d set 数量 = d.数量 - o.n from ("
        "select coalesce(e.日期, '') as 日期, e.终端, coalesce(e.名称, '') as 名称, "
        "coalesce(e.综合评价, '') as 综合评价, count(*) as n from 旧标 m join 评价 e "
        "on e.终端 = m.终端 and e.序号 = m.序号 group by 1, 2, 3, 4) o "
        "where d.日期 = o.日期 and d.终端 = o.终端 and d.名称 = o.名称 "
        "and d.综合评价 = o.综合评价; "
        "delete from 评价_日计_疑似重复 where 数量 <= 0; "
        "return null; end $$"_s,
        // A rating deleted: its mark leaves the counts and goes with it (the mark's own trigger
        // then finds no rating and subtracts nothing more).
        u"create or replace function 评价_疑似重复_随删() returns trigger language plpgsql as $$ "
        "begin "
        "update 评价_日计_疑似重复 d set 数量 = d.数量 - o.n from ("
        "select coalesce(r.日期, '') as 日期, r.终端, coalesce(r.名称, '') as 名称, "
        "coalesce(r.综合评价, '') as 综合评价, count(*) as n from 旧行 r join 评价_疑似重复 m "
        "on m.终端 = r.终端 and m.序号 = r.序号 group by 1, 2, 3, 4) o "
        "where d.日期 = o.日期 and d.终端 = o.终端 and d.名称 = o.名称 "
        "and d.综合评价 = o.综合评价; "
        "delete from 评价_日计_疑似重复 where 数量 <= 0; "
        "delete from 评价_疑似重复 m using 旧行 r where m.终端 = r.终端 and m.序号 = r.序号; "
        "return null; end $$"_s,
        u"create or replace trigger 评价_疑似重复_加 after insert on 评价_疑似重复 "
        "referencing new table as 新标 for each statement execute function 评价_疑似重复_加()"_s,
        u"create or replace trigger 评价_疑似重复_减 after delete on 评价_疑似重复 "
        "referencing old table as 旧标 for each statement execute function 评价_疑似重复_减()"_s,
        u"create or replace trigger 评价_疑似重复_随删 after delete on 评价 "
        "referencing old table as 旧行 for each statement execute function "
        "评价_疑似重复_随删()"_s,
        // A mark changes the figures like a change of 评价_日计 does: the same change counter
        // tells the dashboard that what it read before is out of date.
        u"create or replace trigger 评价_变更_疑似重复_增 after insert on 评价_日计_疑似重复 "
        "referencing new table as 变更行 for each statement execute function 评价_变更_记()"_s,
        u"create or replace trigger 评价_变更_疑似重复_改 after update on 评价_日计_疑似重复 "
        "referencing new table as 变更行 for each statement execute function 评价_变更_记()"_s,
        u"create or replace trigger 评价_变更_疑似重复_删 after delete on 评价_日计_疑似重复 "
        "referencing old table as 变更行 for each statement execute function 评价_变更_记()"_s,
        // Counts for marks that came before their counts existed; nothing when they agree.
        u"insert into 评价_日计_疑似重复 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(e.日期, ''), e.终端, coalesce(e.名称, ''), coalesce(e.综合评价, ''), "
        "count(*) from 评价_疑似重复 m join 评价 e on e.终端 = m.终端 and e.序号 = m.序号 "
        "where not exists (select 1 from 评价_日计_疑似重复) group by 1, 2, 3, 4"_s,
    };
}

QString insertRepeatMarks(int rows)
{
    QString text = u"with 标 (终端, 序号, 名称, 日期, 时间, 综合评价) as (values "_s;
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            text += u',';
        text += u"(cast(? as text),cast(? as bigint),cast(? as text),cast(? as text),"
                "cast(? as text),cast(? as text))"_s;
    }
    // The row as it was kept: under the kiosk's own number, or after a collision under a new
    // one with the kiosk's number in 原序号; told apart by its content. Sent again, a mark is
    // left as it is.
    text += u") insert into 评价_疑似重复 (终端, 序号) select 终端, 序号 from ("
            "select e.终端, e.序号 from 标 m join 评价 e on e.终端 = m.终端 and e.序号 = m.序号 "
            "and (e.名称, e.日期, e.时间, e.综合评价) is not distinct from "
            "(m.名称, m.日期, m.时间, m.综合评价) "
            "union "
            "select e.终端, e.序号 from 标 m join 评价 e on e.终端 = m.终端 and e.原序号 = m.序号 "
            "and (e.名称, e.日期, e.时间, e.综合评价) is not distinct from "
            "(m.名称, m.日期, m.时间, m.综合评价)) k "
            "on conflict (终端, 序号) do nothing"_s;
    return text;
}

QString hasRepeatCounts()
{
    return u"select to_regclass('评价_日计_疑似重复') is not null"_s;
}

QString repeatsPerNameAndGrade()
{
    return u"select 名称, 综合评价, sum(数量)::bigint as 数量 from 评价_日计_疑似重复 "
           "where 日期 >= ? and 日期 <= ? group by 名称, 综合评价"_s;
}

QString repeatsPerDayAndGrade()
{
    return u"select 日期, 综合评价, sum(数量)::bigint as 数量 from 评价_日计_疑似重复 "
           "where 日期 >= ? and 日期 <= ? group by 日期, 综合评价"_s;
}

QString statementTimeout(int milliseconds)
{
    return u"set statement_timeout = %1"_s.arg(milliseconds);
}

QString keepAlive()
{
    return u"select 1"_s;
}

QString beginSnapshot()
{
    return u"begin isolation level repeatable read read only"_s;
}

QString commit()
{
    return u"commit"_s;
}

QString terminalStateTableStatement()
{
    return u"create table if not exists 终端状态 (终端 text primary key, "
           "最近联系 timestamptz not null, 待发送 bigint, 版本 text, 可用空间 bigint)"_s;
}

QString reportTerminalState()
{
    return u"insert into 终端状态 (终端, 最近联系, 待发送, 版本, 可用空间) "
           "values (?, now(), ?, ?, ?) on conflict (终端) do update set "
           "最近联系 = excluded.最近联系, 待发送 = excluded.待发送, 版本 = excluded.版本, "
           "可用空间 = excluded.可用空间"_s;
}

QString insertRatings(int rows)
{
    // The batch as a table of its own (the casts give the bound texts their column types).
    QString text = u"with 新 (终端, 序号, 名称, 日期, 时间, 综合评价) as (values "_s;
    text.reserve(text.size() + rows * 80 + 900);
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            text += u',';
        text += u"(cast(? as text),cast(? as bigint),cast(? as text),cast(? as text),"
                "cast(? as text),cast(? as text))"_s;
    }
    // A number the server holds already under other content is a collision (a db.dll put back
    // from a backup, a clock set back): unless that same rating was kept under a new number
    // before, it is kept now under a new, negative number, with the kiosk's own number in
    // 原序号. A number held under the same content is the same rating sent again: nothing.
    text += u"), 冲突 as (select n.* from 新 n join 评价 e on e.终端 = n.终端 and e.序号 = n.序号 "
            "where (e.名称, e.日期, e.时间, e.综合评价) is distinct from "
            "(n.名称, n.日期, n.时间, n.综合评价) "
            "and not exists (select 1 from 评价 r where r.终端 = n.终端 and r.原序号 = n.序号 "
            "and (r.名称, r.日期, r.时间, r.综合评价) is not distinct from "
            "(n.名称, n.日期, n.时间, n.综合评价))), "
            "另存 as (insert into 评价 (终端, 序号, 原序号, 名称, 日期, 时间, 综合评价) "
            "select 终端, -nextval('评价_另存序号'), 序号, 名称, 日期, 时间, 综合评价 from 冲突 "
            "returning 1), "
            "收下 as (insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) "
            "select 终端, 序号, 名称, 日期, 时间, 综合评价 from 新 "
            "on conflict (终端, 序号) do nothing returning 1) "
            "select (select count(*) from 收下), (select count(*) from 另存)"_s;
    return text;
}

QString insertPinEvents(int rows)
{
    QString text = u"insert into 密码记录 (终端, 序号, 日期, 时间, 事件, 说明) values "_s;
    for (int i = 0; i < rows; ++i)
        text += i == 0 ? u"(?,?,?,?,?,?)"_s : u",(?,?,?,?,?,?)"_s;
    text += u" on conflict (终端, 序号) do nothing"_s;
    return text;
}

QString countPerNameAndGrade()
{
    return u"select 名称, 综合评价, sum(数量)::bigint as 数量 from 评价_日计 "
           "where 日期 >= ? and 日期 <= ? group by 名称, 综合评价 order by 名称, 综合评价"_s;
}

QString countPerGrade()
{
    return u"select 综合评价, sum(数量)::bigint as 数量 from 评价_日计 "
           "where 日期 >= ? and 日期 <= ? group by 综合评价 order by 综合评价"_s;
}

QString countPerDayAndGrade()
{
    return u"select 日期, 综合评价, sum(数量)::bigint as 数量 from 评价_日计 "
           "where 日期 >= ? and 日期 <= ? group by 日期, 综合评价 order by 日期, 综合评价"_s;
}

} // namespace central
