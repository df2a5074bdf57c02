#pragma once

#include "alert/alertoptions.h"
#include "alert/channels.h"
#include "central/centralconfig.h"
#include "platform/error.h"
#include "reports/figures.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

// The alert service: the rules over new ratings, the outbox, the delivery to the channels; and
// the administration of channels and rules that the command line offers.
namespace alert {

class PgConnection;

// Milliseconds since the epoch: the system's clock, or in tests one read from a file.
using Clock = std::function<qint64()>;

// At most this many messages a minute to one robot; what waits beyond them goes as one digest.
constexpr int RobotMessagesPerMinute = 20;
// A channel failing this long is shown as failed (状态 故障).
constexpr int FailedAfterSeconds = 600;
// A failing channel is tried again after 5 s, then 10, 20 ... at most 300 s.

// The central schema, then the alert tables and trigger (alertschema.h).
void createSchema(PgConnection &db);

// Adds the channel, or replaces the one of that name (its state starts afresh).
void saveChannel(PgConnection &db, const ChannelSpec &channel);
// A rule names a channel that does not exist.
class MissingChannel : public KioskError
{
public:
    explicit MissingChannel(const QString &name);
    QString channel;
};
// A channel that a rule still sends to cannot be removed.
class ChannelInUse : public KioskError
{
public:
    ChannelInUse(qint64 rule, const QString &name);
    qint64 rule;
};

// Adds the rule and returns its number. Throws MissingChannel when a channel it names does not
// exist; nothing is stored then.
qint64 addRule(PgConnection &db, const RuleSpec &rule);
// Throws ChannelInUse when a rule still sends to the channel; false when there is no such one.
bool removeChannel(PgConnection &db, const QString &name);
bool removeRule(PgConnection &db, qint64 id);
// Switches the rule off (it stays listed, the service skips it) or on again; false when there
// is no such rule.
bool setRuleEnabled(PgConnection &db, qint64 id, bool enabled);

// A channel as an administrator may see it: secrets masked, its state.
struct ChannelView
{
    QString name, type, address, secret, format, from, to;
    QString state, lastError;
    qint64 failingSinceMs = 0; // 0: not failing
};
QList<ChannelView> channelViews(PgConnection &db);
// A rule as listed: its number, kind, what it watches in words, channels, kiosks, hours.
struct RuleView
{
    qint64 id = 0;
    QString type, what;
    QStringList channels, terminals;
    QString hours;
    bool enabled = true;
};
QList<RuleView> ruleViews(PgConnection &db);
// The channels (secrets masked) and the rules, one line each, for --list.
QStringList listing(PgConnection &db);

// What an alert's message says.
struct AlertFacts
{
    qint64 number = 0;
    QString kind; // "bad", "run", "hour", "overdue"
    QString hall, terminal, name, grade, date, time;
    QStringList reasons;
    reports::Figures today; // the name's figures of the rating's day
    int runBad = 0, runOf = 0;
    reports::Figures hour; // hour: the hall's last 60 minutes
    int belowTenths = 0;
    QString link; // the case, or the dashboard
    // overdue: the case, its state, the deadline passed ("回访" or "整改"), its day and length
    qint64 caseId = 0;
    QString caseState, deadline, dueDate, openedDate;
    int deadlineDays = 0;
};
QString alertTitle(const AlertFacts &facts);
QString alertText(const AlertFacts &facts);
// One line of a digest for this alert.
QString alertSummary(const AlertFacts &facts);
// A digest of the summaries that fits in maxBytes of UTF-8 (a robot refuses longer texts); how
// many summaries it holds is in used (at least one).
QString digestText(const QStringList &summaries, int maxBytes, int *used);

struct ServiceSettings
{
    QString dashboard; // base URL for the case links; empty: no link
    int timeoutMs = 10000;
    Clock clock;
    std::function<void(const QString &)> log;
};

class AlertService
{
public:
    AlertService(central::Connection connection, ServiceSettings settings);
    ~AlertService();

    // Runs until stop is set: waits for notifications of new ratings, applies the rules, sends
    // the outbox. A lost connection is made again; nothing is lost meanwhile (the queue and
    // outbox are tables).
    void run(const std::atomic<bool> &stop);

private:
    struct Sender;

    bool processQueue();
    void checkHours();
    // The case deadlines passed since the last look, once per rule, case and deadline.
    void checkOverdue();
    // Wakes the sender of each channel with something due; the milliseconds until a failing
    // channel may be tried again (or a long wait).
    qint64 dispatch();
    // The loop of one channel's sender thread: sends whenever woken, over its own connection.
    void sendLoop(Sender &sender, const QString &channel);
    void stopSenders();
    // One message (or digest) to the channel over db; false when nothing more can go now.
    bool sendOne(PgConnection &db, const QString &channel, qint64 &wake);
    void log(const QString &text) const;

    central::Connection m_connection;
    ServiceSettings m_settings;
    std::unique_ptr<PgConnection> m_db;
    // One long-lived sender per channel, so that a robot that hangs until its time-out delays
    // only its own messages. Touched by the service's own thread only.
    std::map<QString, std::unique_ptr<Sender>> m_senders;
    std::atomic<bool> m_stopping{false};
};

} // namespace alert
