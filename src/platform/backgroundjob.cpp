#include "platform/backgroundjob.h"

#include <QtGlobal>

#include <pthread.h>
#include <sched.h>

namespace platform {

BackgroundJob::BackgroundJob(Priority priority, QObject *parent)
    : QObject(parent), m_priority(priority)
{
    // Queued even when emitted on this thread: the join must never run on the worker itself.
    connect(this, &BackgroundJob::workReturned, this, &BackgroundJob::join, Qt::QueuedConnection);
}

BackgroundJob::~BackgroundJob()
{
    // A report of the end still queued is dropped with this object.
    if (m_thread.joinable())
        m_thread.join();
}

bool BackgroundJob::start(std::function<void()> work)
{
    if (m_running)
        return false;
    m_running = true;
    m_thread = std::thread([this, work = std::move(work), idle = m_priority == Priority::Idle] {
        if (idle) {
            // The lowest class Linux has: the work only gets the processor nothing else wants.
            const sched_param none{};
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
        }
        try {
            work();
        } catch (...) {
            // A thread that ends with an exception ends the program; the kiosk keeps running.
            qCritical("a background job ended with an exception");
        }
        // Only this object crosses: the signal has no arguments, and the queued call to join()
        // was made on this object's thread when it was built.
        emit workReturned(QPrivateSignal());
    });
    return true;
}

void BackgroundJob::join()
{
    m_thread.join();
    m_running = false;
    emit finished();
}

} // namespace platform
