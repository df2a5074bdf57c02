#pragma once

#include <QString>
#include <QStringList>

// The command line of kiosk-web: serving the dashboard, or managing its accounts.
namespace web {

enum class Command
{
    Serve,
    AddUser,
    RemoveUser,
    ListUsers
};

struct WebOptions
{
    Command command = Command::Serve;
    QString central;     // --central URL
    QString centralFile; // --central-file FILE: a file whose first line is the URL
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080; // 0: any free port, printed on standard output
    QString clockFile;
    QString user;
    QString role;
    QStringList terminals;
};

// Parses the arguments (without the program name). On bad input returns false with a Chinese
// problem; the problem never repeats a value, so a password in a mistyped URL is not echoed.
bool parseWebOptions(const QStringList &arguments, WebOptions &options, QString &problem);
QString webUsage();

// The URL the options name: --central as given, or the first line of --central-file. Throws
// KioskError when the file cannot be read. A password missing from the URL comes from
// PGPASSWORD or PGPASSFILE through the client library.
QString centralUrl(const WebOptions &options);

} // namespace web
