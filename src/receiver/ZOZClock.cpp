#include "ZOZClock.h"

#include <chrono>

namespace ZOZ {

namespace {

class SystemClock : public Clock
{
public:
    qint64 nowMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

const SystemClock systemClock;
std::atomic<const Clock *> installedClock { &systemClock };

} // namespace

qint64 Clock::now()
{
    return installedClock.load(std::memory_order_acquire)->nowMs();
}

bool Clock::isManual()
{
    return installedClock.load(std::memory_order_acquire) != &systemClock;
}

void Clock::install(const Clock *source)
{
    installedClock.store(source ? source : &systemClock, std::memory_order_release);
}

} // namespace ZOZ
