#include "ZOZThreadRounds.h"

namespace ZOZ {

bool ThreadRounds::waitNextRound(unsigned long periodMs)
{
    QMutexLocker locker(&m_mutex);
    if (!m_stopped)
        m_wake.wait(&m_mutex, periodMs);
    return !m_stopped;
}

void ThreadRounds::stop()
{
    QMutexLocker locker(&m_mutex);
    m_stopped = true;
    m_wake.wakeAll();
}

} // namespace ZOZ
