#include "central/centralconfig.h"

#include "config/settingsfile.h"
#include "platform/error.h"

#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace central {

namespace {

const QString Section = u"zhongxin"_s;

// A value in the client library's key=value form: quoted, with quote and backslash escaped.
QString quotedOption(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'\'', u"\\'"_s);
    return u"'"_s + escaped + u"'"_s;
}

bool hasOption(const Connection &connection, const QString &key)
{
    for (const auto &[name, value] : connection.options) {
        if (name == key)
            return true;
    }
    return false;
}

} // namespace

std::optional<Config> readConfig(const SettingsFile &settings)
{
    const std::optional<QString> url = settings.ReadSectionValue(Section, u"url"_s);
    if (!url || url->trimmed().isEmpty())
        return std::nullopt;
    Config config;
    config.url = url->trimmed();
    const std::optional<QString> terminal = settings.ReadSectionValue(Section, u"zhongduan"_s);
    config.terminal = terminal ? terminal->trimmed() : QString();
    if (config.terminal.isEmpty())
        config.terminal = QSysInfo::machineHostName();
    if (config.terminal.isEmpty())
        config.terminal = u"kiosk"_s;
    return config;
}

Connection parseUrl(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"postgresql"_s && scheme != u"postgres"_s))
        throw KioskError(u"中心数据库地址无效：应形如 postgresql://用户:密码@主机:5432/数据库"_s);
    Connection connection;
    connection.host = url.host(QUrl::FullyDecoded);
    if (connection.host.isEmpty())
        throw KioskError(u"中心数据库地址缺少主机名"_s);
    connection.port = url.port(5432);
    if (connection.port <= 0 || connection.port > 65535)
        throw KioskError(u"中心数据库地址的端口无效"_s);
    connection.database = url.path(QUrl::FullyDecoded);
    if (connection.database.startsWith(u'/'))
        connection.database.remove(0, 1);
    if (connection.database.isEmpty() || connection.database.contains(u'/'))
        throw KioskError(u"中心数据库地址缺少数据库名"_s);
    connection.user = url.userName(QUrl::FullyDecoded);
    connection.password = url.password(QUrl::FullyDecoded);
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        // The driver joins options with ";" and the library reads key=value words: a key must
        // be a plain word, and no value may hold ";" (the driver would cut it there).
        const bool plainKey = !key.isEmpty() && std::all_of(key.cbegin(), key.cend(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
        });
        if (!plainKey || value.contains(u';'))
            throw KioskError(u"中心数据库地址的参数无效：%1"_s.arg(plainKey ? key : u"?"_s));
        connection.options.append({key, value});
    }
    return connection;
}

QString redactedUrl(const QString &text)
{
    QUrl url(text.trimmed());
    if (!url.isValid())
        return u"（无效地址）"_s;
    if (!url.password().isEmpty())
        url.setPassword(u"***"_s);
    return url.toString();
}

QString driverOptions(const Connection &connection)
{
    QStringList words;
    for (const auto &[key, value] : connection.options)
        words.append(key + u'=' + quotedOption(value));
    // A server that accepts the connection and never answers, or a network that drops it
    // silently, ends the attempt instead of holding the sender for good.
    const QList<QPair<QString, QString>> defaults = {
        {u"connect_timeout"_s, QString::number(ConnectTimeoutSeconds)},
        {u"keepalives"_s, u"1"_s},
        {u"keepalives_idle"_s, u"10"_s},
        {u"keepalives_interval"_s, u"5"_s},
        {u"keepalives_count"_s, u"3"_s},
        {u"tcp_user_timeout"_s, u"20000"_s},
        {u"application_name"_s, u"quorvel-kiosk"_s},
    };
    for (const auto &[key, value] : defaults) {
        if (!hasOption(connection, key))
            words.append(key + u'=' + quotedOption(value));
    }
    return words.join(u';');
}

} // namespace central
