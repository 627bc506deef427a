#pragma once

#include <QMutex>
#include <QThread>
#include <QVector>

#include "base/ZOZThreadRounds.h"

#include <memory>

namespace ZOZ {

// Periodic work of one SlideShow service.
class SlsRunnable
{
public:
    virtual ~SlsRunnable() = default;
    virtual void run() = 0;
};

// The one thread ("SlsTasks") that runs every registered SlideShow's
// periodic work once a second. Shared by all SlideShow services: it lives
// from the first one's `shared()` to the release of the last reference.
class SlsTasks : public QThread
{
public:
    static constexpr int PeriodMs = 1000;
    // How long the end waits before it logs that the thread is late.
    static constexpr int JoinMs = 10000;

    static std::shared_ptr<SlsTasks> shared();
    ~SlsTasks() override;

    // Registers a runnable unless it is already registered.
    void add(SlsRunnable *runnable);
    // After this returns the runnable is never called again.
    void remove(SlsRunnable *runnable);

protected:
    void run() override;

private:
    SlsTasks();

    QMutex m_taskMutex; // held while the runnables run
    ThreadRounds m_rounds;
    QVector<SlsRunnable *> m_runnables;
};

} // namespace ZOZ
