#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of kiosk-alert: running the service, or managing its channels and rules.
namespace alert {

enum class Command
{
    Serve,
    AddChannel,
    AddRule,
    RemoveChannel,
    RemoveRule,
    DisableRule,
    EnableRule,
    List
};

// A channel as given on the command line.
struct ChannelSpec
{
    QString name;
    QString type;                            // "wecom", "dingtalk" or "smtp"
    QString url;                             // the webhook, or smtp://HOST:PORT
    QString secret;                          // the 钉钉 robot's signing secret
    QString format = QStringLiteral("text"); // "text" or "markdown" (robots)
    QString from;
    QStringList to;
};

// A rule as given on the command line.
struct RuleSpec
{
    QString type;          // "bad", "run", "hour" or "overdue"
    int bad = 0, of = 0;   // run: at least bad of the last of ratings
    int belowTenths = 0;   // hour: 满意度得分 below this, × 10
    int minimum = 0;       // hour: with at least this many ratings
    QStringList channels;  // one or more
    QStringList terminals; // empty: every kiosk
    QString hours;         // "HH:MM-HH:MM", or empty for all day
};

struct AlertOptions
{
    Command command = Command::Serve;
    QString central, centralFile;
    QString dashboard;     // base URL of the dashboard, for the link to a case
    QString clockFile;     // tests: the clock in milliseconds since the epoch, read from a file
    int timeoutMs = 10000; // one delivery's time-out
    QString smtpCa;        // CA file for the mail servers' certificates; empty: the system's
    ChannelSpec channel;
    RuleSpec rule;
    QString name;      // --remove-channel
    qint64 ruleId = 0; // --remove-rule, --disable-rule, --enable-rule
};

// The kinds of rule: every bad rating, a run of bad ones, a low hour, a case past a deadline.
const QStringList &ruleTypes();

// Who a problem is told to: the command line names its options ("--to 须为…"), the dashboard
// the fields of its forms ("收件人须为…"). The checks themselves are the same.
enum class Wording
{
    CommandLine,
    Dashboard
};

// Why the channel cannot be stored (its name, kind, address, secret, sender and recipients),
// or nothing when it can. Never repeats a secret.
std::optional<QString> channelProblem(const ChannelSpec &channel, Wording wording);

// A rule as the command line or a form gives it, before it is checked.
struct RuleInput
{
    QString type;
    QString bad, of;        // run
    QString below, minimum; // hour
    QStringList channels;
    QStringList terminals; // empty: every kiosk
    QString hours;         // "HH:MM-HH:MM", or empty
};
// Checks input and fills rule from it; why not, when it cannot be a rule.
std::optional<QString> ruleProblem(const RuleInput &input, Wording wording, RuleSpec &rule);

// Parses the arguments (without the program name). On bad input returns false with a Chinese
// problem that never repeats a secret.
bool parseAlertOptions(const QStringList &arguments, AlertOptions &options, QString &problem);
QString alertUsage();
// The positions in arguments (without the program name) of values that hold a secret (the
// address, webhooks, the 钉钉 secret), so that main can blank them in the process list.
QList<int> secretArgumentPositions(const QStringList &arguments);

// A secret as it may be shown: "****" and its last 4 characters (only "****" when it is so
// short that 4 characters would be most of it).
QString maskSecret(const QString &secret);
// A URL as it may be shown: the values of its query (a robot's key or access_token), and a
// password in it, masked by maskSecret.
QString maskedUrl(const QString &url);
// Whether text is "HH:MM-HH:MM" with the start before the end.
bool isHoursValue(const QString &text);
// Whether time ("HH:MM" or "HH:MM:SS") lies within hours (start included, end excluded);
// empty hours is the whole day.
bool withinHours(const QString &hours, const QString &time);

} // namespace alert
