#pragma once

#include "central/centralconfig.h"
#include "platform/clock.h"
#include "platform/fileinfo.h"
#include "store/database.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace central {

// What staff see of the forwarding.
struct Status
{
    bool connected = false;
    // What went wrong last, in Chinese and without the password; empty while all is well.
    QString error;
    // Ratings waiting in the outbox of db.dll; -1 until the first look.
    qint64 pending = -1;
    // When the server last confirmed a rating (local clock); before the first confirmation
    // since start, when the server received this kiosk's last rating; invalid when never.
    QDateTime lastArrived;
    // Ratings the server confirmed since start.
    qint64 forwarded = 0;
    // Of those, the ratings whose number the server held already under other content (a
    // db.dll put back from a backup while the clock was set back), kept under a new number.
    qint64 renumbered = 0;
};

// One line for the staff menu: connected or not (with the Chinese reason of the error, without
// the client library's own text, which can be long), how many wait, when the last one arrived.
QString statusLine(const Status &status);
// The Chinese reason of an error message made by describe(): without the library's text in the
// last pair of full-width brackets.
QString errorReason(const QString &error);

// Forwards the outbox of db.dll to the central database. Lives in a thread of its own with its
// own two connections (SQLite to db.dll, PostgreSQL to the server); nothing here runs on the GUI
// thread. Each round reads a batch of the oldest entries in a short read, inserts them at the
// server in one transaction (a rating the server already holds is skipped), and removes them
// from the outbox only after the commit returned, so a kill at any moment at worst sends a batch
// twice, which the server tells from a collision by its content and ignores. A failure is retried
// with a backoff that grows from 0.5 s to at most 8 s, so ratings reach a server that is reachable
// again within 15 s.
class Forwarder final : public QObject
{
    Q_OBJECT
public:
    // clock stamps what staff see of the last arrival; it is read on the forwarder's thread.
    // Statements on db.dll wait up to busyTimeoutMs while another process holds it locked.
    Forwarder(const QString &databasePath, const Config &config, platform::ClockPtr clock,
              int busyTimeoutMs = store::DefaultBusyTimeoutMs);
    ~Forwarder() override;

    // Thread-safe.
    Status status() const;
    // Thread-safe: cuts the connection to the server when a round has made no progress for
    // longer than limitMs (a server that stopped answering in the middle of a statement), or
    // at once when limitMs is 0. The round then fails and is retried.
    void abortIfStuck(qint64 limitMs);
    // Thread-safe: the running round ends after its current batch.
    void requestStop() { m_stopping = true; }

    static constexpr int BatchRows = 500;
    static constexpr int IdlePollMs = 1000;
    static constexpr int FirstRetryMs = 500;
    static constexpr int LongestRetryMs = 8000;
    static constexpr int KeepAliveMs = 10000;
    // How often the kiosk reports its state (table 终端状态), also when idle.
    static constexpr int ReportStateMs = 60000;

public slots:
    // In the forwarder's thread: the first round at once, then rounds by the timer.
    void start();
    // A rating was just stored: forward it soon instead of at the next poll.
    void poke();
    // In the forwarder's thread: closes both connections; no round follows.
    void stop();

signals:
    void statusChanged();

private:
    void round();
    void openLocal();
    void closeLocal();
    void openCentral();
    void closeCentral();
    // Whether db.dll has the table an exists statement of the outboxes asks for.
    bool hasTable(const QString &existsStatement);
    qint64 countPending();
    // Rows of an outbox as its batch statement reads them: 序号, 终端 and four fields.
    using Batch = QList<QList<QVariant>>;
    // The oldest BatchRows entries of an outbox.
    Batch readBatch(const QString &batchStatement);
    // The one loop of both outboxes: reads a batch, has send put it at the server, and only
    // then has remove take it out of db.dll; until the outbox is empty or a stop is requested.
    void forwardBatches(const QString &batchStatement,
                        const std::function<void(const Batch &)> &send,
                        const std::function<void(const Batch &)> &remove);
    // Sends batches until the outbox is empty or a stop is requested. Throws KioskError.
    void forwardAll();
    // The same for the staff PIN log's outbox, when db.dll has one.
    void forwardPinLog();
    // The suspected repeats among a batch of the outbox (rows as read, 序号 first): the rows
    // marked in 待上传_疑似重复; at the server, in the batch's transaction, their marks; and
    // their removal from db.dll with the batch.
    QList<qsizetype> markedRows(const Batch &rows);
    void sendRepeatMarks(const Batch &rows, const QList<qsizetype> &marked);
    void removeForwardedRepeatMarks(qint64 last);
    void settleLocal();
    // After a restart: when the server last received a rating of this kiosk.
    void askLastArrived();
    void reportState(qint64 pending);
    void setError(const QString &message);
    template <typename F> void updateStatus(F &&change);

    QString m_databasePath;
    Config m_config;
    platform::ClockPtr m_clock;
    Connection m_connection;
    QString m_urlError;
    int m_busyTimeoutMs;
    QString m_centralName;
    std::unique_ptr<store::Database> m_localFile;
    QSqlDatabase m_central;
    platform::FileIdentity m_localIdentity;
    QTimer *m_timer = nullptr;
    int m_retryMs = FirstRetryMs;
    qint64 m_lastContactMs = 0;
    qint64 m_lastReportMs = 0;

    mutable QMutex m_statusMutex;
    Status m_status;

    // The watchdog's view of a round waiting on the server.
    QMutex m_socketMutex;
    int m_socket = -1;
    std::atomic<qint64> m_busySinceMs{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_stopped{false};
};

// The GUI side: starts a Forwarder in its own thread, passes on its status, watches it for a
// server that stopped answering, and stops it (waiting for its thread) when destroyed.
class Link final : public QObject
{
    Q_OBJECT
public:
    // clock goes to the forwarder, which reads it on its own thread.
    Link(const QString &databasePath, const Config &config, platform::ClockPtr clock,
         QObject *parent = nullptr, int busyTimeoutMs = store::DefaultBusyTimeoutMs);
    ~Link() override;

    const Config &config() const { return m_config; }
    // The forwarder's state, with the ratings waiting counted in the outbox at this moment (a
    // short read of db.dll on this thread), so that a rating just stored shows at once.
    Status status() const;
    // Ask for the outbox to be forwarded now (after a rating). Never waits.
    void poke();

    // A round waiting this long on the server is cut off (a little above the statement
    // timeout, which a server that is merely slow answers first).
    static constexpr qint64 StuckMs = 45000;

signals:
    void statusChanged();

private:
    // The outbox entries now, or -1 when db.dll cannot be read.
    qint64 countPendingNow() const;

    Config m_config;
    QString m_databasePath;
    int m_busyTimeoutMs;
    // Read-only, opened at the first count and again when db.dll is replaced.
    mutable std::unique_ptr<store::Database> m_counter;
    mutable platform::FileIdentity m_counterIdentity;
    QThread m_thread;
    Forwarder *m_forwarder;
    QTimer m_watchdog;
};

} // namespace central
