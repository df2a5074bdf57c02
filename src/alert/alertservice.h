#pragma once

#include "alert/alertoptions.h"
#include "alert/channels.h"
#include "central/centralconfig.h"
#include "reports/figures.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
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
// Adds the rule and returns its number. Throws KioskError ("没有这个渠道：…") when a channel it
// names does not exist; nothing is stored then.
qint64 addRule(PgConnection &db, const RuleSpec &rule);
// Throws KioskError when a rule still sends to the channel; false when there is no such one.
bool removeChannel(PgConnection &db, const QString &name);
bool removeRule(PgConnection &db, qint64 id);
// The channels (secrets masked) and the rules, one line each, for --list.
QStringList listing(PgConnection &db);

// What an alert's message says.
struct AlertFacts
{
    qint64 number = 0;
    QString kind; // "bad", "run", "hour"
    QString hall, terminal, name, grade, date, time;
    QStringList reasons;
    reports::Figures today; // the name's figures of the rating's day
    int runBad = 0, runOf = 0;
    reports::Figures hour; // hour: the hall's last 60 minutes
    int belowTenths = 0;
    QString link; // the case, or the dashboard
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
    bool processQueue();
    void checkHours();
    // Sends what is due; the milliseconds until something else falls due (or a long wait).
    qint64 sendDue();
    // One message (or digest) to the channel over db; false when nothing more can go now.
    bool sendOne(PgConnection &db, const QString &channel, qint64 &wake);
    void log(const QString &text) const;

    central::Connection m_connection;
    ServiceSettings m_settings;
    std::unique_ptr<PgConnection> m_db;
};

} // namespace alert
