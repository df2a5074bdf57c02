#pragma once

#include <QDateTime>

#include <functional>
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

// The number a file holds, read at each call: the test clocks of the services (--clock-file),
// which a test moves on by rewriting the file. A file being rewritten is empty for a moment
// between its truncation and the write; then, or when it holds no number, the number read
// before is given again, so the clock never jumps to the machine's time for an instant (a send
// stamped months ahead would count against a limit until the test's clock got there). Before
// the file ever held a number: fallback(). Safe to call from any number of threads at once.
std::function<qint64()> fileNumber(const QString &path, std::function<qint64()> fallback);

} // namespace platform
