#include "platform/clock.h"

#include <QFile>

#include <atomic>
#include <limits>

namespace platform {

namespace {

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace

ClockPtr systemClock()
{
    static const ClockPtr clock = std::make_shared<SystemClock>();
    return clock;
}

std::function<qint64()> fileNumber(const QString &path, std::function<qint64()> fallback)
{
    // The number read last; Unknown until the file held one.
    constexpr qint64 Unknown = std::numeric_limits<qint64>::min();
    auto last = std::make_shared<std::atomic<qint64>>(Unknown);
    return [path, fallback = std::move(fallback), last] {
        QFile file(path);
        bool ok = false;
        const qint64 number =
            file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong(&ok) : 0;
        if (ok) {
            last->store(number);
            return number;
        }
        const qint64 before = last->load();
        return before != Unknown ? before : fallback();
    };
}

} // namespace platform
