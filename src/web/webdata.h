#pragma once

#include "central/centralconfig.h"
#include "platform/error.h"
#include "reports/figures.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The dashboard's reads and writes on the central PostgreSQL database. Every worker thread of
// the service has its own connection, opened on first use and opened again after a failure, so
// a restarted server is used again without a restart of the service. Every statement runs with
// a short statement timeout and bound values only.
namespace web {

// The central database cannot be reached or did not answer in time; the page says
// "中心数据库暂时无法连接". The message (never with the password) goes to the log only.
class Unavailable : public KioskError
{
public:
    using KioskError::KioskError;
};

// Seconds one statement of the dashboard may take at the server.
constexpr int WebStatementTimeoutSeconds = 5;

// The minimum number of ratings for a place in the ranking (default 10).
constexpr int DefaultMinimumRatings = 10;

// What the figures the service keeps in memory depend on, read in one statement: a figure
// read under other marks is read again.
struct Marks
{
    qint64 ratings = -1;  // the change mark of the counts (sum of 评价_变更)
    qint64 settings = -1; // raised by every change of the accounts and the halls
    QString states;       // the kiosks' reports (终端状态): their number and newest contact
    int minimum = DefaultMinimumRatings;
};

class Central
{
public:
    explicit Central(central::Connection connection) : m_connection(std::move(connection)) {}

    // Rows of a statement with values bound in order. A failure closes this thread's
    // connection and tries once more on a new one; then throws Unavailable.
    QList<QVariantList> select(const QString &statement, const QVariantList &values = {});
    void execute(const QString &statement, const QVariantList &values = {});
    // The rows of several statements read in one snapshot, so they agree with each other.
    QList<QList<QVariantList>>
    selectTogether(const QList<QPair<QString, QVariantList>> &statements);
    // Several statements in one transaction (tried once more on a new connection); the rows of
    // each statement.
    QList<QList<QVariantList>> transaction(const QList<QPair<QString, QVariantList>> &statements);

    // The marks: read once per request on this thread while a RequestMarks lives, otherwise
    // read now.
    Marks marks();

    // Whether the server answers a trivial statement now.
    bool healthy();

    // Creates the dashboard's own tables (accounts, settings, halls) when missing.
    void createWebSchema();

    const central::Connection &connection() const { return m_connection; }

private:
    QList<QList<QVariantList>> inTransaction(const QString &begin,
                                             const QList<QPair<QString, QVariantList>> &statements);

    central::Connection m_connection;
};

// While it lives, the requests's reads on this thread share the marks read first.
class RequestMarks
{
public:
    explicit RequestMarks(Central &db);
    ~RequestMarks();
    RequestMarks(const RequestMarks &) = delete;
    RequestMarks &operator=(const RequestMarks &) = delete;
};

// An account of the dashboard. An administrator sees every kiosk and manages the settings; a
// viewer sees the kiosks of terminals only, or every kiosk when that list is empty.
struct Account
{
    QString name;
    QString role; // "admin" or "viewer"
    QStringList terminals;
    QString hash;
    bool isAdmin() const { return role == QStringLiteral("admin"); }
    // The kiosks this account may see; nothing for all of them.
    std::optional<QStringList> allowed() const;
};

std::optional<Account> findAccount(Central &db, const QString &name);
// The account of a session: kept in memory while the accounts' mark stands, so every change of
// an account (removed, role, kiosks, password, also by kiosk-web --remove-user or another
// service) takes effect at the next request.
std::optional<Account> sessionAccount(Central &db, const QString &name);
QList<Account> accounts(Central &db);
// Adds the account or replaces the one of that name (its sessions stay until they expire).
void saveAccount(Central &db, const Account &account);
bool removeAccount(Central &db, const QString &name);

// What the administrator's changes to the accounts in the dashboard come to. None of them ever
// leaves the dashboard without an administrator.
enum class AccountChange
{
    Done,
    Missing,  // no account of that name
    Exists,   // a new account under a name already taken
    LastAdmin // the change would leave no administrator
};
// The problem with an account's name, role and kiosks as a Chinese message; empty when sound.
// known: the kiosks there are (a list naming others is refused).
QString accountProblem(const QString &name, const QString &role, const QStringList &terminals,
                       const QStringList &known);
// A password's problem (length), empty when it may be used.
QString passwordProblem(const QString &password);
AccountChange addAccount(Central &db, const Account &account);
AccountChange changeAccount(Central &db, const QString &name, const QString &role,
                            const QStringList &terminals);
AccountChange setPassword(Central &db, const QString &name, const QString &hash);
AccountChange deleteAccount(Central &db, const QString &name);

// Every kiosk name the central database knows (from its ratings, halls and reports).
QStringList knownTerminals(Central &db);
// Halls set by an administrator: kiosk name to hall name.
QList<QPair<QString, QString>> halls(Central &db);
void setHall(Central &db, const QString &terminal, const QString &hall);

// The minimum number of ratings for a place in the ranking, from the marks.
int minimumRatings(Central &db);
void setMinimumRatings(Central &db, int minimum);

// The counts over [from, to] of the kiosks in terminals (all kiosks when nothing).
struct ScopedCounts
{
    QList<reports::NameGradeCount> byName;
    QList<reports::DayGradeCount> byDay;
    qint64 suspectedRepeats = 0; // marked 疑似重复, already taken out of the counts
    QList<reports::NameReasonCount> reasons;
    qint64 mark = -1; // the change mark these counts were read under
};
// Read once per change of the counts: an answer read under the same change mark is given
// again, and while one request reads anew the others asking the same get the last answer.
ScopedCounts readScopedCounts(Central &db, const QDate &from, const QDate &to,
                              const std::optional<QStringList> &terminals);

// How often each reason was chosen per name over [from, to] at the kiosks of terminals (all
// kiosks when nothing), from the daily counts 评价_原因_日计 (kept with readScopedCounts).
QList<reports::NameReasonCount> readScopedReasonCounts(Central &db, const QDate &from,
                                                       const QDate &to,
                                                       const std::optional<QStringList> &terminals);

// One name over [from, to]: per day and grade, and per kiosk and grade (in NameGradeCount,
// the kiosk name in name).
struct NameCounts
{
    QList<reports::DayGradeCount> byDay;
    QList<reports::NameGradeCount> byTerminal;
    qint64 suspectedRepeats = 0; // marked 疑似重复, already taken out of the counts
};
NameCounts readNameCounts(Central &db, const QString &name, const QDate &from, const QDate &to,
                          const std::optional<QStringList> &terminals);
// Names rated at the kiosks of terminals, for the choice on the page of one name.
QStringList ratedNames(Central &db, const std::optional<QStringList> &terminals);

// What the 终端 page shows of one kiosk.
struct TerminalState
{
    QString terminal;
    QString hall;
    QDateTime lastRating;  // 接收时间 of its newest rating; invalid when none
    QDateTime lastContact; // its forwarder's last report; invalid when none
    qint64 pending = -1;   // ratings waiting at the kiosk; -1 unknown
    QString version;
    qint64 freeBytes = -1;
};
// In one statement, kept while the marks stand; marks (when given) gets the marks the list was
// read under.
QList<TerminalState> terminalStates(Central &db, const std::optional<QStringList> &terminals,
                                    QString *marks = nullptr);

} // namespace web
