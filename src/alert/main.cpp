// kiosk-alert: the alert service over the central database, and the management of its
// channels and rules. See docs/alerts.md.
#include "alert/alertoptions.h"
#include "alert/alertservice.h"
#include "alert/channels.h"
#include "alert/pgconnection.h"
#include "central/centralconfig.h"
#include "platform/clock.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr int BadInput = 2;
constexpr int Failed = 1;

std::atomic<bool> stopping{false};

void stopOnSignal(int)
{
    stopping = true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments().mid(1);
    // Secrets on the command line (the address, a webhook's key, the signing secret) are blanked
    // at once, so the process list shows them only for the moment before this.
    for (int position : alert::secretArgumentPositions(arguments)) {
        if (position + 1 < argc)
            memset(argv[position + 1], 'x', strlen(argv[position + 1]));
    }

    alert::AlertOptions options;
    QString problem;
    if (!alert::parseAlertOptions(arguments, options, problem)) {
        err << u"kiosk-alert：%1"_s.arg(problem) << Qt::endl << alert::alertUsage() << Qt::endl;
        return BadInput;
    }
    // "--secret -" reads the secret from standard input, off the process list altogether.
    if (options.command == alert::Command::AddChannel && options.channel.secret == u"-"_s) {
        std::string line;
        std::getline(std::cin, line);
        options.channel.secret = QString::fromStdString(line).trimmed();
        if (options.channel.secret.isEmpty()) {
            err << u"kiosk-alert：标准输入没有给出密钥"_s << Qt::endl;
            return BadInput;
        }
    }
    central::Connection connection;
    try {
        const QString url =
            options.central.isEmpty() ? central::readUrlFile(options.centralFile) : options.central;
        connection = central::parseUrl(url);
    } catch (const KioskError &e) {
        err << u"kiosk-alert：%1"_s.arg(e.message()) << Qt::endl;
        return BadInput;
    }

    if (options.command != alert::Command::Serve) {
        try {
            alert::PgConnection db(connection);
            alert::createSchema(db);
            switch (options.command) {
            case alert::Command::AddChannel:
                alert::saveChannel(db, options.channel);
                out << u"已保存渠道：%1（%2）"_s.arg(options.channel.name,
                                                     alert::maskedUrl(options.channel.url))
                    << Qt::endl;
                break;
            case alert::Command::AddRule:
                out << u"已添加规则 %1"_s.arg(alert::addRule(db, options.rule)) << Qt::endl;
                break;
            case alert::Command::RemoveChannel:
                if (!alert::removeChannel(db, options.name)) {
                    err << u"kiosk-alert：没有这个渠道：%1"_s.arg(options.name) << Qt::endl;
                    return BadInput;
                }
                out << u"已删除渠道：%1"_s.arg(options.name) << Qt::endl;
                break;
            case alert::Command::RemoveRule:
                if (!alert::removeRule(db, options.ruleId)) {
                    err << u"kiosk-alert：没有这个规则：%1"_s.arg(options.ruleId) << Qt::endl;
                    return BadInput;
                }
                out << u"已删除规则 %1"_s.arg(options.ruleId) << Qt::endl;
                break;
            case alert::Command::DisableRule:
            case alert::Command::EnableRule: {
                const bool enable = options.command == alert::Command::EnableRule;
                if (!alert::setRuleEnabled(db, options.ruleId, enable)) {
                    err << u"kiosk-alert：没有这个规则：%1"_s.arg(options.ruleId) << Qt::endl;
                    return BadInput;
                }
                out << (enable ? u"已启用规则 %1"_s : u"已停用规则 %1"_s).arg(options.ruleId)
                    << Qt::endl;
                break;
            }
            case alert::Command::List:
                for (const QString &line : alert::listing(db))
                    out << line << Qt::endl;
                break;
            case alert::Command::Serve:
                break;
            }
        } catch (const KioskError &e) {
            err << u"kiosk-alert：%1"_s.arg(e.message()) << Qt::endl;
            return e.message().startsWith(u"没有这个渠道"_s) ? BadInput : Failed;
        }
        return 0;
    }

    // The clock of the limits and retries: the system's, or for tests the milliseconds
    // written in a file, so that minutes pass without waiting.
    alert::Clock clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    if (!options.clockFile.isEmpty())
        clock = platform::fileNumber(options.clockFile, clock);
    alert::setMailTrust(options.smtpCa);
    alert::ServiceSettings settings;
    settings.dashboard = options.dashboard;
    settings.timeoutMs = options.timeoutMs;
    settings.clock = clock;
    settings.log = [&err](const QString &line) {
        err << u"kiosk-alert：%1"_s.arg(line) << Qt::endl;
    };
    std::signal(SIGTERM, stopOnSignal);
    std::signal(SIGINT, stopOnSignal);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    out << u"kiosk-alert：服务已启动"_s << Qt::endl;
    alert::AlertService service(connection, settings);
    service.run(stopping);
    return 0;
}
