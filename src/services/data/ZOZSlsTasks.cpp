#include "ZOZSlsTasks.h"

#include "ZOZSharedInstance.h"

#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

namespace ZOZ {

std::shared_ptr<SlsTasks> SlsTasks::shared()
{
    static SharedInstance<SlsTasks> instance;
    return instance.get([] { return std::shared_ptr<SlsTasks>(new SlsTasks); });
}

SlsTasks::SlsTasks()
{
    start();
}

SlsTasks::~SlsTasks()
{
    m_rounds.stop();
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
    while (m_rounds.waitNextRound(PeriodMs)) {
        QMutexLocker locker(&m_taskMutex);
        for (SlsRunnable *runnable : std::as_const(m_runnables))
            runnable->run();
    }
}

} // namespace ZOZ
