#include "alert/alertschema.h"

using namespace Qt::StringLiterals;

namespace alert {

QStringList schemaStatements()
{
    return {
        u"select pg_advisory_xact_lock(775520)"_s,
        u"create table if not exists 终端大厅 (终端 text primary key, 大厅 text not null)"_s,
        u"create table if not exists 告警_渠道 ("
        "名称 text primary key, 类型 text not null check (类型 in ('wecom', 'dingtalk', 'smtp')), "
        "地址 text not null, 密钥 text not null default '', 格式 text not null default 'text', "
        "发件人 text not null default '', 收件人 text not null default '', "
        "状态 text not null default '正常', 最近错误 text not null default '', "
        "失败起始 timestamptz, 连续失败 int not null default 0, 重试时间 timestamptz, "
        "最近成功 timestamptz)"_s,
        u"create table if not exists 告警_规则 ("
        "编号 bigserial primary key, 类型 text not null constraint 告警_规则_类型_check check "
        "(类型 in ('bad', 'run', 'hour', 'overdue')), "
        "差评数 int, 评价数 int, 低于 numeric(4, 1), 最少 int, 渠道 text not null, "
        "终端 text not null default '', 时段 text not null default '', "
        "创建 timestamptz not null default now(), 停用 boolean not null default false)"_s,
        // Rules switched off stay listed (停用); the case deadline rule (overdue) came later: a
        // table made before either gets the column and the wider check of the kind.
        u"alter table 告警_规则 add column if not exists 停用 boolean not null default false"_s,
        u"do $$ begin if not exists (select 1 from pg_constraint where conrelid = "
        "'告警_规则'::regclass and conname = '告警_规则_类型_check' and "
        "pg_get_constraintdef(oid) like '%overdue%') then "
        "alter table 告警_规则 drop constraint if exists 告警_规则_类型_check; "
        "alter table 告警_规则 add constraint 告警_规则_类型_check check "
        "(类型 in ('bad', 'run', 'hour', 'overdue')); end if; end $$"_s,
        // Each case deadline an overdue rule has told of, so it is told once.
        u"create table if not exists 告警_逾期状态 (规则 bigint not null, 案件 bigint not null, "
        "期限 text not null check (期限 in ('回访', '整改')), "
        "primary key (规则, 案件, 期限))"_s,
        u"create table if not exists 告警_待判 (编号 bigserial primary key, "
        "终端 text not null, 序号 bigint not null)"_s,
        u"create table if not exists 告警_发件箱 ("
        "编号 bigserial primary key, 规则 bigint, 渠道 text not null, 终端 text, 序号 bigint, "
        "标题 text not null, 正文 text not null, 摘要 text not null default '', 创建 timestamptz "
        "not null default now(), "
        "尝试次数 int not null default 0, 最近错误 text not null default '', "
        "已发送 timestamptz, 汇总 bigint)"_s,
        u"create index if not exists 告警_发件箱_待发 on 告警_发件箱 (渠道, 编号) "
        "where 已发送 is null"_s,
        u"create table if not exists 告警_发送记录 (渠道 text not null, "
        "时间 timestamptz not null, 告警数 int not null)"_s,
        u"create index if not exists 告警_发送记录_渠道 on 告警_发送记录 (渠道, 时间)"_s,
        u"create table if not exists 告警_连续状态 (规则 bigint not null, 名称 text not null, "
        "日期 text not null, 时间 text not null, 终端 text not null, 序号 bigint not null, "
        "primary key (规则, 名称))"_s,
        u"create table if not exists 告警_低分状态 (规则 bigint not null, 大厅 text not null, "
        "开始 timestamptz not null, primary key (规则, 大厅))"_s,
        // Once per inserting statement, from the rows it really inserted: the bad ones are
        // queued for the rules in the same transaction (a rating and its queue entry commit
        // together, so a service that is down misses nothing), and one notification wakes the
        // service at commit. Security definer: the kiosks' role needs no right on these tables.
        u"create or replace function 告警_新评价() returns trigger language plpgsql "
        "security definer set search_path from current as $$ "
        "begin "
        "insert into 告警_待判 (终端, 序号) select 终端, 序号 from 新行 "
        "where 综合评价 in ('不满意', '非常不满意'); "
        "perform pg_notify('quorvel_alert', ''); "
        "return null; end $$"_s,
        u"create or replace trigger 告警_新评价 after insert on 评价 "
        "referencing new table as 新行 for each statement execute function 告警_新评价()"_s,
    };
}

QStringList indexStatements()
{
    return {
        u"create index concurrently if not exists 评价_名称_时刻 on 评价 (名称, 日期, 时间)"_s,
    };
}

} // namespace alert
