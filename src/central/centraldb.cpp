#include "central/centraldb.h"

#include "platform/error.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace central {

namespace {

QString scrubbed(QString text, const Connection &connection)
{
    if (!connection.password.isEmpty())
        text.replace(connection.password, u"***"_s);
    return text.trimmed();
}

void run(QSqlDatabase &db, const QString &statement, const Connection *connection = nullptr)
{
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        const Connection none;
        throw KioskError(describe(query.lastError(), connection ? *connection : none));
    }
}

} // namespace

QString describe(const QSqlError &error, const Connection &connection)
{
    const QString text = scrubbed(
        error.databaseText().isEmpty() ? error.driverText() : error.databaseText(), connection);
    const QString lower = text.toLower();
    QString what;
    if (lower.contains(u"password authentication failed"_s) ||
        lower.contains(u"no password supplied"_s) || lower.contains(u"authentication failed"_s))
        what = u"用户名或密码错误"_s;
    else if (lower.contains(u"timeout expired"_s) || lower.contains(u"timed out"_s))
        what = u"连接超时，服务器没有应答"_s;
    else if (lower.contains(u"connection refused"_s))
        what = u"服务器未运行或端口不对"_s;
    else if (lower.contains(u"could not translate host name"_s))
        what = u"找不到服务器主机"_s;
    else if (lower.contains(u"does not exist"_s) && lower.contains(u"database"_s))
        what = u"数据库不存在"_s;
    else if (lower.contains(u"relation"_s) && lower.contains(u"does not exist"_s))
        what = u"中心数据库还没有表 评价（请运行 kiosk-mkdb --postgres）"_s;
    else if (lower.contains(u"ssl"_s) || lower.contains(u"certificate"_s))
        what = u"加密连接失败"_s;
    else if (lower.contains(u"statement timeout"_s) || lower.contains(u"canceling statement"_s))
        what = u"服务器处理超时"_s;
    else if (lower.contains(u"server closed the connection"_s) ||
             lower.contains(u"terminating connection"_s) || lower.contains(u"no connection"_s) ||
             lower.contains(u"connection to server"_s) || lower.contains(u"broken pipe"_s) ||
             lower.contains(u"connection reset"_s))
        what = u"与服务器的连接中断"_s;
    else
        what = u"中心数据库出错"_s;
    return text.isEmpty() ? what : u"%1（%2）"_s.arg(what, text.simplified());
}

QSqlDatabase open(const Connection &connection, const QString &name)
{
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        if (!db.isValid()) {
            failure = u"缺少 PostgreSQL 驱动（Debian 软件包 libqt6sql6-psql）"_s;
        } else {
            db.setHostName(connection.host);
            db.setPort(connection.port);
            db.setDatabaseName(connection.database);
            db.setUserName(connection.user);
            db.setPassword(connection.password);
            db.setConnectOptions(driverOptions(connection));
            if (!db.open()) {
                failure = describe(db.lastError(), connection);
            } else {
                QSqlQuery setup(db);
                if (!setup.exec(
                        u"set statement_timeout = %1"_s.arg(StatementTimeoutSeconds * 1000)))
                    failure = describe(setup.lastError(), connection);
                else
                    return db;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    throw KioskError(failure);
}

void close(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

QStringList schemaStatements()
{
    return {
        // Serialises concurrent runs of the tool and keeps kiosks from inserting while the
        // daily counts are filled in below.
        u"select pg_advisory_xact_lock(775501)"_s,
        u"create table if not exists 评价 ("
        "终端 text not null, 序号 bigint not null, 名称 text, 日期 text, 时间 text, "
        "综合评价 text, 接收时间 timestamptz not null default now(), "
        "constraint 评价_终端_序号 unique (终端, 序号))"_s,
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
        terminalStateTableStatement(),
        // Daily counts for rows that came before the counts existed; nothing when they agree.
        u"insert into 评价_日计 (日期, 终端, 名称, 综合评价, 数量) "
        "select coalesce(日期, ''), 终端, coalesce(名称, ''), coalesce(综合评价, ''), count(*) "
        "from 评价 where not exists (select 1 from 评价_日计) group by 1, 2, 3, 4"_s,
    };
}

void createSchema(QSqlDatabase &db)
{
    if (!db.transaction())
        throw KioskError(describe(db.lastError(), Connection()));
    try {
        for (const QString &statement : schemaStatements())
            run(db, statement);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString message = describe(db.lastError(), Connection());
        db.rollback();
        throw KioskError(message);
    }
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
    QString text = u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) values "_s;
    text.reserve(text.size() + rows * 16 + 40);
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
