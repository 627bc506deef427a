#pragma once

#include <QtGlobal>

#include <atomic>
#include <limits>

namespace ZOZ {

// Source of monotonic milliseconds for every receiver timer and "seen" stamp.
// The program runs on the steady system clock; tests install their own source
// so that time-outs of seconds pass without waiting.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;

    // The installed source (the system clock unless a test replaced it).
    static qint64 now();
    // Installs a source; nullptr restores the system clock. The source must
    // outlive every use, so tests install it before any receiver thread runs.
    static void install(const Clock *source);
    // True while a source other than the system clock is installed.
    static bool isManual();
};

// Manually driven clock for tests.
class ManualClock : public Clock
{
public:
    qint64 nowMs() const override { return m_now.load(std::memory_order_relaxed); }
    void advance(qint64 ms) { m_now.fetch_add(ms, std::memory_order_relaxed); }
    void set(qint64 ms) { m_now.store(ms, std::memory_order_relaxed); }

private:
    std::atomic<qint64> m_now { 1000000 };
};

// A restartable stamp: "how long ago was this restarted". A stamp that was
// never started reports an elapsed time longer than any time-out.
class Stamp
{
public:
    static constexpr qint64 NeverStarted = std::numeric_limits<qint64>::min();

    void restart() { m_start = Clock::now(); }
    void invalidate() { m_start = NeverStarted; }
    bool isNull() const { return m_start == NeverStarted; }
    qint64 elapsed() const
    {
        return isNull() ? std::numeric_limits<qint64>::max() : Clock::now() - m_start;
    }

private:
    qint64 m_start = NeverStarted;
};

// The same for stamps that one thread restarts while another reads them
// (the FIC and sub-channel data timers, restarted on the library's thread).
class AtomicStamp
{
public:
    AtomicStamp() = default;
    AtomicStamp(const AtomicStamp &) = delete;
    AtomicStamp &operator=(const AtomicStamp &) = delete;

    void restart() { m_start.store(Clock::now(), std::memory_order_relaxed); }
    void invalidate() { m_start.store(Stamp::NeverStarted, std::memory_order_relaxed); }
    bool isNull() const { return m_start.load(std::memory_order_relaxed) == Stamp::NeverStarted; }
    qint64 elapsed() const
    {
        const qint64 start = m_start.load(std::memory_order_relaxed);
        return start == Stamp::NeverStarted ? std::numeric_limits<qint64>::max()
                                            : Clock::now() - start;
    }

private:
    std::atomic<qint64> m_start { Stamp::NeverStarted };
};

} // namespace ZOZ
