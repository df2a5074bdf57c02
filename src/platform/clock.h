#pragma once

#include <QDateTime>

#include <memory>

namespace platform {

// The local time as the window-free code reads it. Whatever needs the time is given a clock by
// its maker, rather than reaching for the program-wide services, so that a thread of its own
// (the forwarder, the daily copy) reads nothing a window or a test changes meanwhile. now() may
// be called from any number of threads at once.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// Shared, so that an object on another thread keeps its clock alive for as long as it runs.
using ClockPtr = std::shared_ptr<const Clock>;

// The machine's clock.
ClockPtr systemClock();

} // namespace platform
