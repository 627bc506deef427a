#include "base/ZOZStopwatch.h"

#include <cmath>
#include <ctime>

namespace ZOZ {

namespace {

// Counter ticks per millisecond and per microsecond; -1 until the first stopwatch
// asks the counter for its rate. Written once, read afterwards.
double ticksPerMs = -1.0;
double ticksPerUs = -1.0;

constexpr int64_t CounterFrequency = 1000000000; // the monotonic clock counts nanoseconds

bool readCounter(int64_t *ticks)
{
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return false;
    *ticks = int64_t(now.tv_sec) * CounterFrequency + now.tv_nsec;
    return true;
}

} // namespace

Stopwatch::Stopwatch()
{
    if (ticksPerMs == -1.0) {
        ticksPerMs = CounterFrequency / 1000.0;
        ticksPerUs = CounterFrequency / 1000000.0;
    }
}

void Stopwatch::start()
{
    int64_t now = 0;
    if (ticksPerMs == 0.0 || std::isnan(ticksPerMs) || !readCounter(&now)) {
        m_start = 0;
        return;
    }
    // A counter that reads 0 would look stopped; one tick later does no harm.
    m_start = now == 0 ? 1 : now;
}

int32_t Stopwatch::elapsedMs() const
{
    int64_t now = 0;
    if (m_start == 0 || !readCounter(&now))
        return 0;
    return int32_t((now - m_start) / ticksPerMs);
}

} // namespace ZOZ
