#include "platform/clock.h"

#include <QFile>

#include <atomic>

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
    struct Last
    {
        std::atomic<qint64> value{0};
        std::atomic<bool> known{false};
    };
    auto last = std::make_shared<Last>();
    return [path, fallback = std::move(fallback), last] {
        QFile file(path);
        bool ok = false;
        const qint64 number =
            file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong(&ok) : 0;
        if (ok) {
            last->value = number;
            last->known = true;
            return number;
        }
        return last->known ? last->value.load() : fallback();
    };
}

} // namespace platform
