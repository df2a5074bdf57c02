#include "web/webauth.h"

#include "platform/error.h"

#include <sodium.h>

using namespace Qt::StringLiterals;

namespace web {

namespace {

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw KioskError(u"无法初始化密码库 libsodium"_s);
}

} // namespace

QString hashPassword(const QString &password)
{
    ensureSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw KioskError(u"计算密码散列时内存不足"_s);
    return QString::fromLatin1(out);
}

bool verifyPassword(const QString &hash, const QString &password)
{
    ensureSodium();
    const QByteArray stored = hash.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    if (stored.isEmpty() || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(stored.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

QString randomToken()
{
    ensureSodium();
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex());
}

bool sameToken(const QString &a, const QString &b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.isEmpty() || x.size() != y.size())
        return false;
    return sodium_memcmp(x.constData(), y.constData(), static_cast<size_t>(x.size())) == 0;
}

QString SessionTable::create(const QString &user, const QString &hash)
{
    const QString token = randomToken();
    QMutexLocker lock(&m_mutex);
    m_sessions.insert(token, {user, randomToken(), m_clock(), hash});
    return token;
}

void SessionTable::setHash(const QString &token, const QString &hash)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_sessions.find(token);
    if (it != m_sessions.end())
        it->hash = hash;
}

std::optional<Session> SessionTable::use(const QString &token)
{
    const qint64 now = m_clock();
    QMutexLocker lock(&m_mutex);
    // Drops every expired session now and then, so abandoned ones do not pile up.
    if (m_sessions.size() > 1000) {
        for (auto it = m_sessions.begin(); it != m_sessions.end();)
            it = now - it->lastUsed >= IdleSeconds ? m_sessions.erase(it) : std::next(it);
    }
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    if (now - it->lastUsed >= IdleSeconds || now < it->lastUsed - IdleSeconds) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    it->lastUsed = now;
    return *it;
}

void SessionTable::remove(const QString &token)
{
    QMutexLocker lock(&m_mutex);
    m_sessions.remove(token);
}

void SessionTable::removeUser(const QString &user, const QString &except)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = it->user == user && it.key() != except ? m_sessions.erase(it) : std::next(it);
}

bool LoginGuard::isLocked(const QString &name)
{
    const qint64 now = m_clock();
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.find(name);
    return it != m_entries.end() && it->lockedUntil > now;
}

void LoginGuard::failed(const QString &name)
{
    const qint64 now = m_clock();
    QMutexLocker lock(&m_mutex);
    // Names are bounded in size by the form's limits; the table is cleared when a flood of
    // invented names fills it, which at worst unlocks a name early.
    if (m_entries.size() > 100000)
        m_entries.clear();
    Entry &entry = m_entries[name];
    if (entry.lockedUntil != 0 && entry.lockedUntil <= now)
        entry = {};
    if (++entry.failures >= MaxFailures)
        entry.lockedUntil = now + LockSeconds;
}

void LoginGuard::succeeded(const QString &name)
{
    QMutexLocker lock(&m_mutex);
    m_entries.remove(name);
}

} // namespace web
