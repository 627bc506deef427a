#pragma once

#include <cstdint>

namespace ZOZ {

// Measures elapsed time on the monotonic high-resolution counter. One user each.
class Stopwatch
{
public:
    Stopwatch();

    void start();
    // Milliseconds since start(), truncated; 0 when stopped. Does not stop the watch.
    int32_t elapsedMs() const;
    bool isNull() const { return m_start == 0; }
    void invalidate() { m_start = 0; }

private:
    int64_t m_start = 0; // counter value at start(); 0 = not running
};

} // namespace ZOZ
