#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class SettingsFile;

namespace central {

// What section [zhongxin] of opt.ini asks for: the server's connection URI (key url) and the
// name this kiosk's ratings carry there (key zhongduan, the machine's host name when missing).
struct Config
{
    QString url;
    QString terminal;
};

// The configuration, or nothing when opt.ini has no url in section [zhongxin]: then the kiosk
// forwards nothing and behaves as without a central database.
std::optional<Config> readConfig(const SettingsFile &settings);

// The connection parameters of a postgresql:// (or postgres://) URI. Query parameters (such as
// sslmode=require, sslrootcert=...) are passed on to the client library as they are.
struct Connection
{
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;
    QList<QPair<QString, QString>> options;
};

// Parses a connection URI. Throws KioskError with a Chinese message that never contains the
// password when the text is no usable URI.
Connection parseUrl(const QString &url);

// The URI with its password replaced by "***", for messages and logs.
QString redactedUrl(const QString &url);

// The options string handed to the Qt PostgreSQL driver: the URI's own options plus the
// timeouts that keep a silent server from holding the sender (each unless the URI sets it).
QString driverOptions(const Connection &connection);

// Seconds the sender waits for a connection, and for one statement at the server.
constexpr int ConnectTimeoutSeconds = 5;
constexpr int StatementTimeoutSeconds = 30;

} // namespace central
