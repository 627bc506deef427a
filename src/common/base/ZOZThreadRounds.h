#pragma once

#include <QMutex>
#include <QWaitCondition>

namespace ZOZ {

// The pause of a thread that works in rounds: it waits for the next round
// unless it is asked to end, so that ending never waits out a whole period.
class ThreadRounds
{
public:
    // Waits `periodMs` or until stop(); false once stopped (also at once
    // when stop() came before).
    bool waitNextRound(unsigned long periodMs);
    // Any thread; the waiting thread wakes at once.
    void stop();

private:
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopped = false;
};

} // namespace ZOZ
