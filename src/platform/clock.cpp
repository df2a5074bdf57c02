#include "platform/clock.h"

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

} // namespace platform
