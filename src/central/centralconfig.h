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
// password when the text is no usable URI (the address in it shown by redactedUrl).
Connection parseUrl(const QString &url);

// Keeping the password of a central database off screens, logs and process lists. Every
// program that talks to the central database (the kiosk, kiosk-report, kiosk-mkdb, the web and
// alert services) gets its address through these and shows nothing else of it.
//
// The address: "--central URL" on a command line, or "--central-file FILE", whose first line
// that is not blank is the URL (keep the file readable by the program's user alone: a process
// list shows a command line, never a file). A URL without a password leaves the password to
// the client library, which takes PGPASSWORD, else the password file PGPASSFILE (~/.pgpass
// when unset).
//
// readUrlFile: the URL in that file. Throws KioskError with a Chinese message (naming the file,
// never its content) when it cannot be read or holds no URL.
QString readUrlFile(const QString &path);
// The text with the password replaced by "***", whatever the text's shape: also one that does
// not parse ("postgresql//kiosk:pw@@host::5432/db") and a password holding "@", ":", "%" or
// blanks. The password is taken to run from the first ":" after the scheme to the last "@";
// without an "@", what follows a ":" before the first "/" unless it is a port number. When in
// doubt more is hidden, never less.
QString redactedUrl(const QString &url);
// The message with every form of the URL's password (as written, percent-decoded) and the
// password of PGPASSWORD replaced by "***", and the URL itself by redactedUrl: for any message
// that may quote the address or the client library's text.
QString scrubbed(const QString &message, const QString &url);

// The options string handed to the Qt PostgreSQL driver: the URI's own options plus the
// timeouts that keep a silent server from holding the sender (each unless the URI sets it).
QString driverOptions(const Connection &connection);

// Seconds the sender waits for a connection, and for one statement at the server.
constexpr int ConnectTimeoutSeconds = 5;
constexpr int StatementTimeoutSeconds = 30;

} // namespace central
