#include "central/centralconfig.h"

#include "config/settingsfile.h"
#include "platform/error.h"

#include <QFile>
#include <QRegularExpression>
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

// Where a password may stand in a URL's text: start and length of each place, last first.
// Works on the text alone, so that a text no parser takes is hidden as well: the user part's
// password from its first ":" to the last "@", and what follows a ":" in the host part (up to
// "/" or "?") unless it is a port number.
QList<QPair<qsizetype, qsizetype>> passwordSpans(const QString &text)
{
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.\\-]*:?//"_s);
    static const QRegularExpression digits(u"^:?[0-9]*$"_s);
    const QRegularExpressionMatch prefix = scheme.match(text);
    qsizetype from = prefix.hasMatch() ? prefix.capturedEnd() : 0;
    QList<QPair<qsizetype, qsizetype>> spans;
    const qsizetype at = text.lastIndexOf(u'@');
    if (at >= from) {
        const qsizetype colon = text.indexOf(u':', from);
        if (colon >= 0 && colon < at)
            spans.prepend({colon + 1, at - colon - 1});
        from = at + 1;
    }
    qsizetype end = text.size();
    for (const QChar stop : {u'/', u'?'}) {
        const qsizetype i = text.indexOf(stop, from);
        if (i >= 0 && i < end)
            end = i;
    }
    const qsizetype colon = text.indexOf(u':', from);
    if (colon >= 0 && colon < end) {
        const qsizetype start = colon + 1;
        if (!digits.match(text.mid(start, end - start)).hasMatch())
            spans.prepend({start, end - start});
    }
    return spans;
}

} // namespace

QString readUrlFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw KioskError(u"无法读取中心数据库地址文件 %1：%2"_s.arg(path, file.errorString()));
    const QByteArray content = file.read(64 * 1024);
    for (const QByteArray &line : content.split('\n')) {
        const QString url = QString::fromUtf8(line).trimmed();
        if (!url.isEmpty())
            return url;
    }
    throw KioskError(
        u"中心数据库地址文件 %1 是空的：第一行应为 postgresql://用户@主机:5432/数据库"_s.arg(path));
}

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
    QString shown = text.trimmed();
    for (const auto &[start, length] : passwordSpans(shown)) {
        if (length > 0)
            shown.replace(start, length, u"***"_s);
    }
    return shown;
}

QString scrubbed(const QString &message, const QString &url)
{
    QString text = message;
    const QString trimmed = url.trimmed();
    if (!trimmed.isEmpty())
        text.replace(trimmed, redactedUrl(trimmed));
    QStringList secrets;
    for (const auto &[start, length] : passwordSpans(trimmed)) {
        const QString written = trimmed.mid(start, length);
        secrets << written << QUrl::fromPercentEncoding(written.toUtf8());
    }
    secrets << qEnvironmentVariable("PGPASSWORD");
    // The longest first, so that a password holding another one is hidden whole.
    std::sort(secrets.begin(), secrets.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &secret : secrets) {
        if (!secret.isEmpty())
            text.replace(secret, u"***"_s);
    }
    return text;
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
