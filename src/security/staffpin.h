#pragma once

#include "store/record.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class SettingsFile;

// The staff PIN that guards the administration menu. opt.ini keeps only a salted hash of it
// (setting guanli_mima), never the digits.
namespace staffpin {

// The settings key that holds the hash.
QString settingKey();

// A PIN is 4 to 8 decimal digits.
constexpr int MinDigits = 4;
constexpr int MaxDigits = 8;
bool isValidPin(const QString &pin);

// The stored form of a PIN: "pbkdf2-sha256$<iterations>$<salt, base64>$<key, base64>"
// (PBKDF2-HMAC-SHA256). makeHash draws a fresh random salt; hashWithSalt is its deterministic
// core.
constexpr int Iterations = 20000;
QString makeHash(const QString &pin);
QString hashWithSalt(const QString &pin, const QByteArray &salt, int iterations = Iterations);

// Whether a stored value is a well-formed hash. Anything else (the key's own name that a missing
// key reads as, an empty value, digits typed into the file by hand) means that no PIN is set.
bool isHash(const QString &stored);

// Whether pin is the PIN of the stored hash. False for a value that is no well-formed hash.
// The comparison takes the same time wherever the keys differ.
bool matches(const QString &pin, const QString &stored);

// What opt.ini says about the PIN. The menu opens only in state Set; Unreadable (a folder in the
// file's place, a file without read permission) keeps it closed like NotSet, whatever the file
// may hold.
struct StoredPin
{
    enum class State
    {
        Set,
        NotSet,
        Unreadable,
    } state = State::NotSet;
    QString hash;    // the well-formed hash in state Set
    QString message; // what staff are told when the menu stays closed
};
StoredPin readStoredPin(const SettingsFile &settings);

// The notice shown instead of the menu while no PIN is set.
QString notSetNotice();

// The events of the log, table 密码记录.
QString eventAccepted(); // 密码正确
QString eventRejected(); // 密码错误
QString eventLocked();   // 锁定

} // namespace staffpin

// Counts wrong PIN entries: after MaxAttempts wrong entries in a row the pad stays locked. The
// first lock lasts FirstLockSeconds, each further one twice as long as the one before, up to
// LongestLockSeconds (1, 2, 4 ... 60 minutes); only the right PIN starts again from the first.
// The time always comes from the caller (the program's clock), so nothing here waits. A clock set
// back while locked starts the lock anew from the new time. The state can be rebuilt from the
// log entries it asks to be written (restore), so a restart of the kiosk keeps it.
class PinLockout
{
public:
    static constexpr int MaxAttempts = 5;
    static constexpr int FirstLockSeconds = 60;
    static constexpr int LongestLockSeconds = 60 * 60;

    enum class Outcome
    {
        Accepted,  // right PIN: the count starts again
        Rejected,  // wrong PIN, attempts remain
        LockedOut, // wrong PIN that used up the last attempt, or any entry while locked
    };

    // Records one entry that was right or wrong at time now. With log, appends the entries for
    // the log: 密码正确, or 密码错误 with the attempts left, followed by 锁定 with the lock's
    // length when it locked the pad; nothing for an entry refused because the pad was locked.
    Outcome submit(bool correct, const QDateTime &now, QList<PinLogRecord> *log = nullptr);
    // Rebuilds the state from the log entries written since the last 密码正确, oldest first.
    void restore(const QList<PinLogRecord> &sinceLastSuccess);

    bool isLocked(const QDateTime &now);
    // Whole seconds until the lock ends, rounded up; 0 when not locked.
    int secondsLeft(const QDateTime &now);
    // Wrong entries still allowed before the lock.
    int attemptsLeft() const { return MaxAttempts - m_failures; }
    // The locks since the last right PIN, and the length of the latest (or of the first, when
    // there was none).
    int locks() const { return m_locks; }
    int lockSeconds() const;

    // The line the number pad shows for the state at time now: empty, "密码错误，还可以再试N次"
    // after a wrong entry, "错误次数过多，请N秒后再试" while locked (minutes, rounded up, once
    // more than a minute is left).
    QString statusText(const QDateTime &now);

private:
    void expire(const QDateTime &now);

    int m_failures = 0;
    int m_locks = 0;
    QDateTime m_lockedAt; // invalid while not locked
};

// Setting a new PIN on the number pad: the PIN, then the same PIN again.
class NewPinEntry
{
public:
    // The pad's prompt for the current step.
    QString prompt() const;
    // Takes one entry. Returns the line the pad shows below the prompt: empty when the step
    // was taken, else why the entry was refused (the entry then starts again from the first
    // step when the two entries differed).
    QString submit(const QString &pin);
    // Both entries agree; pin() is the new PIN.
    bool done() const { return m_done; }
    QString pin() const { return m_done ? m_first : QString(); }

private:
    QString m_first;
    bool m_confirming = false;
    bool m_done = false;
};
