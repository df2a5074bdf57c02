#include "alert/pgconnection.h"

#include "central/centralstatements.h"

#include "platform/error.h"

#include <libpq-fe.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace alert {

namespace {

QString hideSecrets(QString text, const central::Connection &connection)
{
    for (const QString &secret : {connection.password, qEnvironmentVariable("PGPASSWORD")}) {
        if (!secret.isEmpty())
            text.replace(secret, u"***"_s);
    }
    return text.trimmed();
}

// The statement with each ? outside quotes as $1, $2 ... in turn, the client library's form.
QByteArray numbered(const QString &statement)
{
    QString text;
    text.reserve(statement.size() + 16);
    int next = 1;
    QChar quote;
    for (const QChar c : statement) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            text += u'$' + QString::number(next++);
            continue;
        }
        text += c;
    }
    return text.toUtf8();
}

} // namespace

PgConnection::PgConnection(const central::Connection &connection) : m_connection(connection)
{
    std::vector<QByteArray> keys, values;
    auto add = [&](const QString &key, const QString &value) {
        if (!value.isEmpty()) {
            keys.push_back(key.toUtf8());
            values.push_back(value.toUtf8());
        }
    };
    add(u"host"_s, connection.host);
    add(u"port"_s, QString::number(connection.port));
    add(u"dbname"_s, connection.database);
    add(u"user"_s, connection.user);
    add(u"password"_s, connection.password);
    add(u"application_name"_s, u"kiosk-alert"_s);
    bool timeoutGiven = false;
    for (const auto &[key, value] : connection.options) {
        add(key, value);
        timeoutGiven = timeoutGiven || key == u"connect_timeout"_s;
    }
    if (!timeoutGiven)
        add(u"connect_timeout"_s, QString::number(central::ConnectTimeoutSeconds));
    std::vector<const char *> k, v;
    for (size_t i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    m_conn = PQconnectdbParams(k.data(), v.data(), 0);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString message = failure(u"无法连接中心数据库"_s);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw KioskError(message);
    }
    PQsetClientEncoding(m_conn, "UTF8");
    // The schema's "already exists, skipping" notices say nothing worth a log line.
    PQsetNoticeProcessor(
        m_conn, [](void *, const char *) {}, nullptr);
    execute(central::statementTimeout(central::StatementTimeoutSeconds * 1000));
}

PgConnection::~PgConnection()
{
    if (m_conn)
        PQfinish(m_conn);
}

QString PgConnection::failure(const QString &what) const
{
    return u"%1：%2"_s.arg(what,
                           hideSecrets(QString::fromUtf8(PQerrorMessage(m_conn)), m_connection));
}

QList<QStringList> PgConnection::query(const QString &statement, const QStringList &values)
{
    std::vector<QByteArray> texts;
    std::vector<const char *> pointers;
    texts.reserve(size_t(values.size()));
    for (const QString &value : values) {
        texts.push_back(value.toUtf8());
        pointers.push_back(value.isNull() ? nullptr : texts.back().constData());
    }
    const QByteArray sql = numbered(statement);
    PGresult *result = PQexecParams(m_conn, sql.constData(), int(pointers.size()), nullptr,
                                    pointers.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const QString message = u"中心数据库出错：%1"_s.arg(
            hideSecrets(QString::fromUtf8(PQresultErrorMessage(result)), m_connection));
        PQclear(result);
        throw KioskError(message);
    }
    QList<QStringList> rows;
    const int count = PQntuples(result), columns = PQnfields(result);
    rows.reserve(count);
    for (int r = 0; r < count; ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row.append(PQgetisnull(result, r, c) ? QString()
                                                 : QString::fromUtf8(PQgetvalue(result, r, c)));
        rows.append(row);
    }
    PQclear(result);
    return rows;
}

void PgConnection::execute(const QString &statement, const QStringList &values)
{
    query(statement, values);
}

QString PgConnection::value(const QString &statement, const QStringList &values)
{
    const auto rows = query(statement, values);
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
}

bool PgConnection::isOk() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

int PgConnection::socket() const
{
    return m_conn ? PQsocket(m_conn) : -1;
}

int PgConnection::takeNotifications()
{
    if (!PQconsumeInput(m_conn))
        throw KioskError(failure(u"与中心数据库的连接中断"_s));
    int count = 0;
    while (PGnotify *notify = PQnotifies(m_conn)) {
        ++count;
        PQfreemem(notify);
    }
    return count;
}

} // namespace alert
