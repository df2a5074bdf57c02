#include "central/centraldb.h"

#include "platform/error.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace central {

namespace {

QString scrubbed(QString text, const Connection &connection)
{
    for (const QString &secret : {connection.password, qEnvironmentVariable("PGPASSWORD")}) {
        if (!secret.isEmpty())
            text.replace(secret, u"***"_s);
    }
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
                if (!setup.exec(statementTimeout(StatementTimeoutSeconds * 1000)))
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

} // namespace central
