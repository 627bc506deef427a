#include "ZOZSlsTasks.h"

#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

namespace ZOZ {

namespace {

QMutex singletonMutex;
std::weak_ptr<SlsTasks> singleton;

} // namespace

std::shared_ptr<SlsTasks> SlsTasks::shared()
{
    QMutexLocker locker(&singletonMutex);
    std::shared_ptr<SlsTasks> tasks = singleton.lock();
    if (!tasks) {
        tasks.reset(new SlsTasks);
        singleton = tasks;
    }
    return tasks;
}

SlsTasks::SlsTasks()
{
    start();
}

SlsTasks::~SlsTasks()
{
    {
        QMutexLocker locker(&m_stateMutex);
        m_running = false;
        m_wake.wakeAll();
    }
    // The work of one round is bounded (downloads time out before JoinMs),
    // so the thread ends by itself; it is never cut off in the middle of
    // writing a slide.
    if (!wait(JoinMs)) {
        ZOZ_LOG(LogSource::ServiceSls | LogFlag::Warning,
                QStringLiteral("SlsTasks::~SlsTasks() -> the task thread is late to end"));
        wait();
    }
}

void SlsTasks::add(SlsRunnable *runnable)
{
    QMutexLocker locker(&m_taskMutex);
    if (!m_runnables.contains(runnable))
        m_runnables.append(runnable);
}

void SlsTasks::remove(SlsRunnable *runnable)
{
    QMutexLocker locker(&m_taskMutex);
    m_runnables.removeAll(runnable);
}

void SlsTasks::run()
{
    setThreadName("SlsTasks");
    for (;;) {
        {
            QMutexLocker locker(&m_stateMutex);
            if (m_running)
                m_wake.wait(&m_stateMutex, PeriodMs);
            if (!m_running)
                return;
        }
        QMutexLocker locker(&m_taskMutex);
        for (SlsRunnable *runnable : std::as_const(m_runnables))
            runnable->run();
    }
}

} // namespace ZOZ
