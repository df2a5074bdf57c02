#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Accounts and sessions of the dashboard: password hashes, session tokens with their idle
// expiry, and the lock after repeated wrong passwords. The clock is handed in (seconds since
// 1970), so expiry and locks are tested without waiting.
namespace web {

using Clock = std::function<qint64()>;

// An Argon2id hash in libsodium's string form (algorithm, parameters and salt included).
// Throws KioskError when the library cannot work (out of memory).
QString hashPassword(const QString &password);
bool verifyPassword(const QString &hash, const QString &password);

// 128 random bits as 32 hex digits, from the system's random source.
QString randomToken();
// Compares two texts in a time that does not depend on where they differ.
bool sameToken(const QString &a, const QString &b);

// What a session carries: who is logged in and the token every POST must repeat.
struct Session
{
    QString user;
    QString csrf;
    qint64 lastUsed = 0;
    QString hash; // the account's password hash at login: a new password ends the session
};

// The sessions of the running service, in memory: a restart logs everybody out.
class SessionTable
{
public:
    explicit SessionTable(Clock clock) : m_clock(std::move(clock)) {}

    static constexpr qint64 IdleSeconds = 30 * 60;

    // A new session with fresh token and CSRF token; returns the token.
    QString create(const QString &user, const QString &hash);
    // The session of a token, its idle time renewed; nothing for an unknown, forged or expired
    // token (an expired one is forgotten).
    std::optional<Session> use(const QString &token);
    void remove(const QString &token);
    // Ends every session of an account (removed account, new password) but the one of except.
    void removeUser(const QString &user, const QString &except = {});
    // The session of token goes on under the account's new password hash.
    void setHash(const QString &token, const QString &hash);

private:
    Clock m_clock;
    QMutex m_mutex;
    QHash<QString, Session> m_sessions;
};

// Wrong passwords per login name. After MaxFailures in a row the name is locked for
// LockSeconds, also for the right password. Unknown names are counted like known ones, so the
// answers tell nothing about which names exist.
class LoginGuard
{
public:
    explicit LoginGuard(Clock clock) : m_clock(std::move(clock)) {}

    static constexpr int MaxFailures = 5;
    static constexpr qint64 LockSeconds = 15 * 60;

    bool isLocked(const QString &name);
    void failed(const QString &name);
    void succeeded(const QString &name);

private:
    struct Entry
    {
        int failures = 0;
        qint64 lockedUntil = 0;
    };
    Clock m_clock;
    QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};

} // namespace web
