// kiosk-web: the dashboard over the central database, for browsers behind nginx; and the
// management of its accounts. See docs/web.md.
#include "central/centralconfig.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "web/service.h"
#include "web/webauth.h"
#include "web/webdata.h"
#include "web/weboptions.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <csignal>
#include <iostream>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int BadInput = 2;
constexpr int Failed = 1;

void quietToolkit(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        QTextStream(stderr) << message << Qt::endl;
}

// One line of standard input; without echo when it is a terminal.
std::optional<QString> readSecretLine(const char *prompt)
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::cerr << prompt << std::flush;
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    const bool ok = bool(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << std::endl;
    }
    if (!ok)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

web::Service *running = nullptr;

void stopOnSignal(int)
{
    // The server's stop only flags and shuts its listening socket: safe from the handler.
    if (running)
        running->stop();
}

} // namespace

int main(int argc, char *argv[])
{
    // The PDF export draws with the toolkit's painter; nothing is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietToolkit);
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    web::WebOptions options;
    QString problem;
    if (!web::parseWebOptions(app.arguments().mid(1), options, problem)) {
        err << u"kiosk-web：%1"_s.arg(problem) << Qt::endl << web::webUsage() << Qt::endl;
        return BadInput;
    }
    central::Connection connection;
    try {
        connection = central::parseUrl(web::centralUrl(options));
    } catch (const KioskError &e) {
        err << u"kiosk-web：%1"_s.arg(e.message()) << Qt::endl;
        return BadInput;
    }
    web::Central central(connection);

    try {
        if (options.command != web::Command::Serve)
            central.createWebSchema();
        switch (options.command) {
        case web::Command::AddUser: {
            const std::optional<QString> password = readSecretLine("密码：");
            if (!password || password->size() < 8 || password->size() > 256) {
                err << u"kiosk-web：密码至少 8 个字符，最多 256 个字符"_s << Qt::endl;
                return BadInput;
            }
            if (isatty(STDIN_FILENO)) {
                const std::optional<QString> again = readSecretLine("再输入一次：");
                if (!again || *again != *password) {
                    err << u"kiosk-web：两次输入的密码不一致"_s << Qt::endl;
                    return BadInput;
                }
            }
            // The same password keeps its hash, so the account's sessions go on under their
            // new role and kiosks; a new password ends them.
            const std::optional<web::Account> old =
                web::findAccount(central, options.user.trimmed());
            const QString hash = old && web::verifyPassword(old->hash, *password)
                                     ? old->hash
                                     : web::hashPassword(*password);
            web::saveAccount(central,
                             {options.user.trimmed(), options.role, options.terminals, hash});
            out << u"已保存账户：%1"_s.arg(options.user.trimmed()) << Qt::endl;
            return 0;
        }
        case web::Command::RemoveUser:
            if (!web::removeAccount(central, options.user)) {
                err << u"kiosk-web：没有这个账户：%1"_s.arg(options.user) << Qt::endl;
                return BadInput;
            }
            out << u"已删除账户：%1"_s.arg(options.user) << Qt::endl;
            return 0;
        case web::Command::ListUsers:
            for (const web::Account &a : web::accounts(central))
                out << a.name << u'\t' << a.role << u'\t'
                    << (a.terminals.isEmpty() ? u"全部终端"_s : a.terminals.join(u',')) << Qt::endl;
            return 0;
        case web::Command::Serve:
            break;
        }
    } catch (const KioskError &e) {
        err << u"kiosk-web：%1"_s.arg(e.message()) << Qt::endl;
        return Failed;
    }

    // The clock of sessions and locks: the system's, or for tests the seconds written in a
    // file, so that expiry is tested without waiting.
    web::Clock clock = [] { return QDateTime::currentSecsSinceEpoch(); };
    if (!options.clockFile.isEmpty())
        clock = platform::fileNumber(options.clockFile, clock);

    web::Service service(central, clock);
    const int port = service.bind(options.host, options.port);
    if (port <= 0) {
        err << u"kiosk-web：无法监听 %1:%2"_s.arg(options.host).arg(options.port) << Qt::endl;
        return Failed;
    }
    out << u"kiosk-web：正在监听 http://%1:%2/"_s.arg(options.host).arg(port) << Qt::endl;
    if (!central.healthy())
        err << u"kiosk-web：中心数据库暂时无法连接，稍后自动重试"_s << Qt::endl;
    running = &service;
    std::signal(SIGTERM, stopOnSignal);
    std::signal(SIGINT, stopOnSignal);
    // A parent that blocked them (a shell script's trap) must not keep the service from stopping.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    service.run();
    running = nullptr;
    return 0;
}
