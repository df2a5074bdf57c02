#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

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

} // namespace staffpin

// Counts wrong PIN entries: after MaxAttempts wrong entries in a row the pad stays locked for
// LockSeconds. The time always comes from the caller (the program's clock), so nothing here
// waits. A clock set back while locked starts the lock anew from the new time.
class PinLockout
{
public:
    static constexpr int MaxAttempts = 5;
    static constexpr int LockSeconds = 60;

    enum class Outcome
    {
        Accepted,  // right PIN: the count starts again
        Rejected,  // wrong PIN, attempts remain
        LockedOut, // wrong PIN that used up the last attempt, or any entry while locked
    };

    // Records one entry that was right or wrong at time now.
    Outcome submit(bool correct, const QDateTime &now);

    bool isLocked(const QDateTime &now);
    // Whole seconds until the lock ends, rounded up; 0 when not locked.
    int secondsLeft(const QDateTime &now);
    // Wrong entries still allowed before the lock.
    int attemptsLeft() const { return MaxAttempts - m_failures; }

    // The line the number pad shows for the state at time now: empty, "密码错误，还可以再试N次"
    // after a wrong entry, "错误次数过多，请N秒后再试" while locked.
    QString statusText(const QDateTime &now);

private:
    void expire(const QDateTime &now);

    int m_failures = 0;
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
