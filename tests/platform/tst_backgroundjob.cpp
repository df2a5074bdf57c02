#include "platform/backgroundjob.h"

#include <QTest>
#include <QThread>

#include <future>
#include <sched.h>

using platform::BackgroundJob;

Q_DECLARE_METATYPE(BackgroundJob::Priority)

// A job's function, its priority and its end as its owner sees them; the function waits for the
// test's gate, so every check made while it runs is certain to find it running.
class TestBackgroundJob : public QObject
{
    Q_OBJECT
private slots:
    void reportsOnTheOwnersThread_data();
    void reportsOnTheOwnersThread();
    void destroyedWhileRunningWaits();
};

void TestBackgroundJob::reportsOnTheOwnersThread_data()
{
    QTest::addColumn<BackgroundJob::Priority>("priority");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<int>("policy");
    const int own = sched_getscheduler(0);
    QTest::newRow("normal") << BackgroundJob::Priority::Normal << false << own;
    QTest::newRow("idle") << BackgroundJob::Priority::Idle << false << int(SCHED_IDLE);
    QTest::newRow("throws") << BackgroundJob::Priority::Normal << true << own;
}

void TestBackgroundJob::reportsOnTheOwnersThread()
{
    QFETCH(BackgroundJob::Priority, priority);
    QFETCH(bool, throws);
    QFETCH(int, policy);

    BackgroundJob job(priority);
    platform::Handover<int> result;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    QList<QThread *> reportedOn;
    connect(&job, &BackgroundJob::finished, this,
            [&reportedOn] { reportedOn.append(QThread::currentThread()); });

    if (throws)
        QTest::ignoreMessage(QtCriticalMsg, "a background job ended with an exception");
    QVERIFY(job.start([&result, opened, throws] {
        opened.wait();
        if (throws)
            throw std::runtime_error("stop");
        result.put(sched_getscheduler(0));
    }));
    QVERIFY(job.isRunning());
    // One at a time: a second start while the first runs does nothing.
    QVERIFY(!job.start([&result] { result.put(-1); }));
    gate.set_value();
    QTRY_COMPARE(reportedOn.size(), 1);
    QCOMPARE(reportedOn.first(), QThread::currentThread());
    QVERIFY(!job.isRunning());
    // What the function put, read on this thread; nothing when it threw.
    QCOMPARE(result.take(), throws ? std::nullopt : std::optional<int>(policy));
    QCOMPARE(result.take(), std::nullopt);

    // Once reported, the job takes the next function.
    QVERIFY(job.start([&result] { result.put(7); }));
    QTRY_COMPARE(reportedOn.size(), 2);
    QCOMPARE(result.take(), std::optional<int>(7));
}

void TestBackgroundJob::destroyedWhileRunningWaits()
{
    platform::Handover<int> result;
    int reports = 0;
    std::promise<void> gate, started;
    {
        BackgroundJob job;
        connect(&job, &BackgroundJob::finished, this, [&reports] { ++reports; });
        QVERIFY(job.start([&result, &started, opened = gate.get_future().share()] {
            started.set_value();
            opened.wait();
            result.put(1);
        }));
        started.get_future().wait();
        gate.set_value();
    }
    // The destructor waited for the function, and no end is reported by a job that is gone.
    QCOMPARE(result.take(), std::optional<int>(1));
    QCoreApplication::processEvents();
    QCOMPARE(reports, 0);
}

QTEST_GUILESS_MAIN(TestBackgroundJob)
#include "tst_backgroundjob.moc"
