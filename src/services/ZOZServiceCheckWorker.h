#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>

namespace ZOZ {

// The thread that runs the ensemble check when one was asked for. It sleeps
// while nothing is asked; a request is served at the next whole interval of
// the thread's clock (once a second), so a burst of requests makes one check.
class ServiceCheckWorker : public QThread
{
    Q_OBJECT

public:
    ServiceCheckWorker(std::function<void()> check, int intervalMs);
    ~ServiceCheckWorker() override;

    void requestCheck();
    bool isCheckRequested() const { return m_checkRequested.load(); }
    // Ends the loop at once (wakes the sleeping thread) and joins it; false
    // when the check outlasted `waitMs` and was waited for to the end.
    bool stop(unsigned long waitMs);

protected:
    void run() override;

private:
    std::function<void()> m_check;
    const int m_intervalMs;
    std::atomic<bool> m_running { true };
    std::atomic<bool> m_checkRequested { false };
    QMutex m_sleepMutex;
    QWaitCondition m_wake;
};

} // namespace ZOZ
