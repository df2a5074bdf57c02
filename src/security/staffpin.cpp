#include "security/staffpin.h"

#include "config/settingsfile.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace staffpin {

namespace {

const QString Scheme = u"pbkdf2-sha256"_s;
constexpr int SaltBytes = 16;
constexpr int KeyBytes = 32;
// Bounds on the iteration count read back from the file, so a hand-edited value can neither
// weaken the hash to nothing nor freeze the pad.
constexpr int MinIterations = 1000;
constexpr int MaxIterations = 1000000;

QByteArray deriveKey(const QString &pin, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(), salt,
                                              iterations, KeyBytes);
}

struct Parsed
{
    int iterations = 0;
    QByteArray salt, key;
};

bool parse(const QString &stored, Parsed &out)
{
    const QStringList parts = stored.trimmed().split(u'$');
    if (parts.size() != 4 || parts[0] != Scheme)
        return false;
    bool ok = false;
    out.iterations = parts[1].toInt(&ok);
    if (!ok || out.iterations < MinIterations || out.iterations > MaxIterations)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(),
                                                     QByteArray::AbortOnBase64DecodingErrors);
    const auto key = QByteArray::fromBase64Encoding(parts[3].toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !key || salt.decoded.size() < 8 || key.decoded.size() != KeyBytes)
        return false;
    out.salt = salt.decoded;
    out.key = key.decoded;
    return true;
}

} // namespace

QString settingKey()
{
    return u"guanli_mima"_s;
}

bool isValidPin(const QString &pin)
{
    if (pin.size() < MinDigits || pin.size() > MaxDigits)
        return false;
    for (const QChar c : pin) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

QString hashWithSalt(const QString &pin, const QByteArray &salt, int iterations)
{
    return Scheme + u'$' + QString::number(iterations) + u'$' +
           QString::fromLatin1(salt.toBase64()) + u'$' +
           QString::fromLatin1(deriveKey(pin, salt, iterations).toBase64());
}

QString makeHash(const QString &pin)
{
    QByteArray salt(SaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return hashWithSalt(pin, salt);
}

bool isHash(const QString &stored)
{
    Parsed parsed;
    return parse(stored, parsed);
}

bool matches(const QString &pin, const QString &stored)
{
    Parsed parsed;
    if (!parse(stored, parsed))
        return false;
    const QByteArray key = deriveKey(pin, parsed.salt, parsed.iterations);
    unsigned char difference = 0;
    for (int i = 0; i < KeyBytes; ++i)
        difference |= static_cast<unsigned char>(key[i] ^ parsed.key[i]);
    return difference == 0;
}

StoredPin readStoredPin(const SettingsFile &settings)
{
    StoredPin pin;
    if (const auto unreadable = settings.unreadableReason()) {
        pin.state = StoredPin::State::Unreadable;
        pin.message = *unreadable;
        return pin;
    }
    const QString stored = settings.ReadSetting(settingKey());
    if (isHash(stored)) {
        pin.state = StoredPin::State::Set;
        pin.hash = stored.trimmed();
        return pin;
    }
    pin.message = notSetNotice();
    return pin;
}

QString notSetNotice()
{
    return u"未设置管理密码，请管理员在这台电脑上运行 quorvel-kiosk --set-pin"_s;
}

QString eventAccepted()
{
    return u"密码正确"_s;
}

QString eventRejected()
{
    return u"密码错误"_s;
}

QString eventLocked()
{
    return u"锁定"_s;
}

} // namespace staffpin

namespace {

const QString LogDateFormat = u"yyyy-MM-dd"_s;
const QString LogTimeFormat = u"hh:mm:ss"_s;

} // namespace

int PinLockout::lockSeconds() const
{
    // 1, 2, 4 ... minutes: the n-th lock lasts 2^(n-1) times the first, up to the longest.
    qint64 seconds = FirstLockSeconds;
    for (int i = 1; i < m_locks && seconds < LongestLockSeconds; ++i)
        seconds *= 2;
    return int(qMin<qint64>(seconds, LongestLockSeconds));
}

void PinLockout::restore(const QList<PinLogRecord> &sinceLastSuccess)
{
    *this = PinLockout();
    // The wrong entries decide, replayed at their times; the locks follow from them as they did
    // when the entries were made.
    for (const PinLogRecord &entry : sinceLastSuccess) {
        if (entry.event != staffpin::eventRejected())
            continue;
        const QDateTime at(QDate::fromString(entry.date, LogDateFormat),
                           QTime::fromString(entry.time, LogTimeFormat));
        if (at.isValid())
            submit(false, at);
    }
}

void PinLockout::expire(const QDateTime &now)
{
    if (!m_lockedAt.isValid())
        return;
    if (now < m_lockedAt) {
        // The clock went back: the lock runs its full time from the new time.
        m_lockedAt = now;
        return;
    }
    if (m_lockedAt.secsTo(now) >= lockSeconds()) {
        m_lockedAt = QDateTime();
        m_failures = 0;
    }
}

bool PinLockout::isLocked(const QDateTime &now)
{
    expire(now);
    return m_lockedAt.isValid();
}

int PinLockout::secondsLeft(const QDateTime &now)
{
    if (!isLocked(now))
        return 0;
    const qint64 elapsedMs = m_lockedAt.msecsTo(now);
    const qint64 leftMs = qint64(lockSeconds()) * 1000 - elapsedMs;
    return int((leftMs + 999) / 1000);
}

PinLockout::Outcome PinLockout::submit(bool correct, const QDateTime &now, QList<PinLogRecord> *log)
{
    if (isLocked(now))
        return Outcome::LockedOut;
    const QString date = now.toString(LogDateFormat);
    const QString time = now.toString(LogTimeFormat);
    if (correct) {
        m_failures = 0;
        m_locks = 0;
        if (log)
            log->append({date, time, staffpin::eventAccepted(), QString()});
        return Outcome::Accepted;
    }
    ++m_failures;
    if (log)
        log->append({date, time, staffpin::eventRejected(), u"还剩%1次"_s.arg(attemptsLeft())});
    if (m_failures >= MaxAttempts) {
        m_lockedAt = now;
        ++m_locks;
        if (log)
            log->append({date, time, staffpin::eventLocked(), u"%1分钟"_s.arg(lockSeconds() / 60)});
        return Outcome::LockedOut;
    }
    return Outcome::Rejected;
}

QString PinLockout::statusText(const QDateTime &now)
{
    if (isLocked(now)) {
        const int left = secondsLeft(now);
        if (left > 60)
            return u"错误次数过多，请%1分钟后再试"_s.arg((left + 59) / 60);
        return u"错误次数过多，请%1秒后再试"_s.arg(left);
    }
    if (m_failures > 0)
        return u"密码错误，还可以再试%1次"_s.arg(attemptsLeft());
    return {};
}

QString NewPinEntry::prompt() const
{
    return m_confirming ? u"请再次输入新的管理密码"_s : u"请输入新的管理密码（4至8位数字）"_s;
}

QString NewPinEntry::submit(const QString &pin)
{
    if (m_done)
        return {};
    if (!m_confirming) {
        if (!staffpin::isValidPin(pin))
            return u"管理密码须为4至8位数字"_s;
        m_first = pin;
        m_confirming = true;
        return {};
    }
    if (pin != m_first) {
        m_first.clear();
        m_confirming = false;
        return u"两次输入不一致，请重新输入"_s;
    }
    m_done = true;
    return {};
}
