#include "ZOZServiceCheckWorker.h"

#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;

} // namespace

ServiceCheckWorker::ServiceCheckWorker(std::function<void()> check, int intervalMs)
    : m_check(std::move(check))
    , m_intervalMs(intervalMs)
{
}

ServiceCheckWorker::~ServiceCheckWorker()
{
    stop(ULONG_MAX);
}

bool ServiceCheckWorker::stop(unsigned long waitMs)
{
    {
        QMutexLocker locker(&m_sleepMutex);
        m_running.store(false);
        m_wake.wakeAll();
    }
    if (wait(waitMs))
        return true;
    // A check that hangs is waited for, never cut off: it holds the
    // service-list lock and would leave it locked for ever.
    ZOZ_LOG(LogManager | LogFlag::Warning,
            QStringLiteral("ServiceManagerPrivate::stopWorker() -> warning: check still running after %1 ms, waiting for it")
                .arg(waitMs));
    wait();
    return false;
}

void ServiceCheckWorker::requestCheck()
{
    QMutexLocker locker(&m_sleepMutex);
    m_checkRequested.store(true);
    m_wake.wakeAll();
}

void ServiceCheckWorker::run()
{
    setThreadName("ServiceManager");
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManagerPrivate::run()"));
    QElapsedTimer clock;
    clock.start();
    while (m_running.load()) {
        {
            QMutexLocker locker(&m_sleepMutex);
            while (m_running.load() && !m_checkRequested.load())
                m_wake.wait(&m_sleepMutex);
            // The rest of the current interval gathers the requests of a burst.
            const qint64 interval = qMax(1, m_intervalMs);
            const qint64 nextLook = (clock.elapsed() / interval + 1) * interval;
            QDeadlineTimer deadline(nextLook - clock.elapsed());
            while (m_running.load() && !deadline.hasExpired())
                m_wake.wait(&m_sleepMutex, deadline);
        }
        if (!m_running.load())
            break;
        // Cleared before the check, so that a request during the check is served next time.
        if (m_checkRequested.exchange(false))
            m_check();
    }
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManagerPrivate::run() -> leaving thread"));
}

} // namespace ZOZ
