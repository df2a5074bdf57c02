#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

// Runs one function at a time on a thread of its own and reports its end on the thread this
// object lives on. Everything crosses between the two threads in ways the program orders itself
// (so that ThreadSanitizer checks them too, not only Qt's uninstrumented pool and futures): the
// function and what it captured are handed over by starting the thread, and the end is
// reported only after the thread has been joined, so all the function wrote is visible to the
// slots of finished(). A result belongs in a Handover (below), written by the function and
// taken in a slot of finished().
class BackgroundJob final : public QObject
{
    Q_OBJECT
public:
    enum class Priority
    {
        Normal,
        Idle
    };

    explicit BackgroundJob(Priority priority = Priority::Normal, QObject *parent = nullptr);
    // Waits for a function still running: it may use what its owner handed it.
    ~BackgroundJob() override;

    // On this object's thread: starts work on a new thread and returns true, or returns false
    // and does nothing while the previous function has not been reported finished yet. An
    // exception work lets out is logged and stops it, nothing more.
    bool start(std::function<void()> work);
    // On this object's thread: true from start() until finished() is emitted.
    bool isRunning() const { return m_running; }

signals:
    // On this object's thread, after the function returned and its thread ended.
    void finished();
    // From the worker thread when the function returned (connected queued to the join).
    void workReturned(QPrivateSignal);

private:
    void join();

    Priority m_priority;
    std::thread m_thread;
    bool m_running = false;
};

// A value passed from one thread to another under a mutex of its own.
template <typename T> class Handover
{
public:
    void put(T value)
    {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }
    // The value put last, or nullopt; empties the handover.
    std::optional<T> take()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_value, std::nullopt);
    }

private:
    std::mutex m_mutex;
    std::optional<T> m_value;
};

} // namespace platform
