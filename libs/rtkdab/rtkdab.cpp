// The receiver library over ETI-NI: one process-wide device, since the C
// interface has no handle, and one delivery thread while it is started.
#include "RTKDAB.h"

#include "DabChannelGrids.h"
#include "rtkdab_source.h"
#include "zoz_eti.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ZOZ::Rtkdab {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto FramePeriod = std::chrono::microseconds(24000);
// Frames are read and handed on in batches of this many, one wake-up per
// batch instead of one per frame: a stick's driver also hands on what its
// buffers collected. 20 frames are 480 ms of air time, half of the audio
// output's 1 s prebuffer, so a batch arriving late does not starve the sound.
constexpr int FramesPerBatch = 20;
// The signal figures look at the frames of the last 1.2 s.
constexpr int SignalWindowFrames = 50;
// A receiver loses lock after this many frames in a row without a good header.
constexpr int LockLossFrames = 5;
// How long an added sub-channel waits for the tuned ensemble's first frame.
constexpr auto StreamTableWait = std::chrono::milliseconds(500);
// After a stall longer than this the pacing starts afresh instead of catching up.
constexpr auto MaxLag = std::chrono::seconds(1);

struct Component {
    bool packetMode = false;
    uint16_t cuStart = 0;
    std::set<uint16_t> packetAddresses;
};

struct StreamEntry {
    uint8_t subChId;
    uint16_t startAddress;
};

// Signal figures from a window of the frames last read.
class SignalMeter {
public:
    void reset()
    {
        m_count = 0;
        m_next = 0;
        m_badRun = 0;
        m_goodSeen = false;
        publish();
    }

    void add(bool headerGood, bool errorFree)
    {
        m_window[m_next] = uint8_t((headerGood ? 1 : 0) | (errorFree ? 2 : 0));
        m_next = (m_next + 1) % SignalWindowFrames;
        if (m_count < SignalWindowFrames)
            ++m_count;
        m_badRun = headerGood ? 0 : m_badRun + 1;
        m_goodSeen = m_goodSeen || headerGood;
        publish();
    }

    std::atomic<int> lock{0}, present{0}, quality{0}, strength{0};

private:
    void publish()
    {
        int good = 0;
        int clean = 0;
        for (int i = 0; i < m_count; ++i) {
            good += m_window[i] & 1;
            clean += (m_window[i] >> 1) & 1;
        }
        lock = (m_goodSeen && m_badRun < LockLossFrames) ? 1 : 0;
        present = m_count > 0 ? 1 : 0;
        strength = m_count ? 100 * good / m_count : 0;
        quality = m_count ? 100 * clean / m_count : 0;
    }

    std::array<uint8_t, SignalWindowFrames> m_window{};
    int m_count = 0;
    int m_next = 0;
    int m_badRun = 0;
    bool m_goodSeen = false;
};

class Device {
public:
    ~Device() { close(); }

    int32_t open()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_opened)
            return RTDAB_RESULT_SUCCESS;
        const SourceConfig config = parseSource(std::getenv("RTKDAB_SOURCE"));
        if (config.kind == SourceConfig::Kind::None) {
            setProblemLocked(config.problem);
            return RTDAB_RESULT_NO_DEVICE;
        }
        m_config = config;
        m_opened = true;
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t start()
    {
        joinIfStopped();
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        if (m_thread.joinable())
            return RTDAB_RESULT_SUCCESS;
        m_stop = false;
        m_interrupt = false;
        m_speed = readSpeed();
        try {
            m_thread = std::thread([this] { run(); });
        } catch (...) {
            return RTDAB_RESULT_FAILED;
        }
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t stop()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (!m_opened)
                return RTDAB_RESULT_FAILED;
        }
        stopThread();
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t close()
    {
        stopThread();
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        m_opened = false;
        m_frequency = 0;
        m_bandwidth = 0;
        ++m_generation;
        m_components.clear();
        m_streamTable.clear();
        m_tableValid = false;
        m_meter.reset();
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t tune(uint32_t kHz, uint32_t bandwidth)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened || kHz == 0)
            return RTDAB_RESULT_FAILED;
        m_frequency = kHz;
        m_bandwidth = bandwidth;
        ++m_generation;
        m_components.clear();
        m_streamTable.clear();
        m_tableValid = false;
        m_meter.reset();
        m_interrupt = true;
        m_wake.notify_all();
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t tuning(uint32_t *kHz, uint32_t *bandwidth)
    {
        if (!kHz || !bandwidth)
            return RTDAB_RESULT_FAILED;
        std::lock_guard<std::mutex> guard(m_mutex);
        *kHz = m_frequency;
        *bandwidth = m_bandwidth;
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t add(bool packetMode, uint8_t subChId, uint16_t cuStart, uint16_t packetAddress)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        if (!m_tableValid && m_thread.joinable())
            m_tableReady.wait_for(lock, StreamTableWait, [this] { return m_tableValid || !m_opened; });
        if (!m_tableValid || !inStreamTable(subChId, cuStart))
            return RTDAB_RESULT_NO_SUCH_COMPONENT;
        auto found = m_components.find(subChId);
        if (found != m_components.end() && found->second.packetMode == packetMode) {
            Component &component = found->second;
            if (!packetMode || component.packetAddresses.count(packetAddress))
                return RTDAB_RESULT_ALREADY_SELECTED;
            component.packetAddresses.insert(packetAddress);
            return RTDAB_RESULT_SUCCESS;
        }
        Component component;
        component.packetMode = packetMode;
        component.cuStart = cuStart;
        if (packetMode)
            component.packetAddresses.insert(packetAddress);
        m_components[subChId] = component;
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t change(uint8_t subChId, uint16_t cuStart)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        auto found = m_components.find(subChId);
        if (found == m_components.end())
            return RTDAB_RESULT_NO_SUCH_COMPONENT;
        found->second.cuStart = cuStart;
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t remove(bool packetMode, uint8_t subChId, uint16_t packetAddress)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        auto found = m_components.find(subChId);
        if (found == m_components.end() || found->second.packetMode != packetMode)
            return RTDAB_RESULT_NO_SUCH_COMPONENT;
        if (packetMode) {
            if (!found->second.packetAddresses.erase(packetAddress))
                return RTDAB_RESULT_NO_SUCH_COMPONENT;
            if (!found->second.packetAddresses.empty())
                return RTDAB_RESULT_SUCCESS;
        }
        m_components.erase(found);
        return RTDAB_RESULT_SUCCESS;
    }

    int32_t signal(int *value, const std::atomic<int> &figure)
    {
        if (!value)
            return RTDAB_RESULT_FAILED;
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_opened)
            return RTDAB_RESULT_FAILED;
        *value = figure.load();
        return RTDAB_RESULT_SUCCESS;
    }

    SignalMeter &meter() { return m_meter; }

    int32_t problem(char *text, int32_t size)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (text && size > 0) {
            const size_t length = std::min(m_problem.size(), size_t(size - 1));
            std::memcpy(text, m_problem.data(), length);
            text[length] = '\0';
        }
        return m_problemSerial;
    }

    std::atomic<RTDAB_FICCallBack> ficCallback{nullptr};
    std::atomic<RTDAB_MSCCallBack> mscCallback{nullptr};
    std::atomic<RTDAB_PacketCallBack> packetCallback{nullptr};
    std::atomic<RTDAB_StreamDataCallBack> streamDataCallback{nullptr};

private:
    static double readSpeed()
    {
        const char *text = std::getenv("RTKDAB_SPEED");
        if (!text || !*text)
            return 1.0;
        char *end = nullptr;
        const double speed = std::strtod(text, &end);
        return (end && *end == '\0' && speed >= 0.0 && speed < 1e6) ? speed : 1.0;
    }

    // The same problem again (every channel of a scan over a failing command)
    // is no new problem.
    void setProblemLocked(const std::string &problem)
    {
        if (problem.empty() || problem == m_problem)
            return;
        m_problem = problem;
        if (m_problemSerial < INT32_MAX)
            ++m_problemSerial;
    }

    bool inStreamTable(uint8_t subChId, uint16_t cuStart) const
    {
        for (const StreamEntry &entry : m_streamTable)
            if (entry.subChId == subChId && entry.startAddress == cuStart)
                return true;
        return false;
    }

    void stopThread()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_thread.joinable())
            return;
        m_stop = true;
        m_interrupt = true;
        m_wake.notify_all();
        if (m_thread.get_id() == std::this_thread::get_id())
            return;  // called from a callback: the thread ends after it returns
        std::thread thread = std::move(m_thread);
        lock.unlock();
        thread.join();
    }

    // A thread told to stop from inside one of its own callbacks is joined here.
    void joinIfStopped()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_thread.joinable() || !m_stop || m_thread.get_id() == std::this_thread::get_id())
            return;
        std::thread thread = std::move(m_thread);
        lock.unlock();
        thread.join();
    }

    struct Delivery {
        uint8_t subChId;
        bool packetMode;
        const uint8_t *data;
        int length;
    };

    void run()
    {
        std::vector<uint8_t> frame(ZOZ_ETI_FRAME_SIZE);
        std::unique_ptr<FrameSource> source;
        uint64_t tunedGeneration = ~uint64_t(0);
        SourceConfig config;
        uint32_t kHz = 0;
        double speed = 1.0;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            config = m_config;
            speed = m_speed;
        }
        auto deadline = Clock::now();
        int framesInBatch = 0;
        std::vector<Delivery> deliveries;
        while (!m_stop.load()) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_generation != tunedGeneration) {
                    tunedGeneration = m_generation;
                    kHz = m_frequency;
                    if (!m_stop.load())
                        m_interrupt = false;
                    lock.unlock();
                    source.reset();
                    std::string problem;
                    source = openSource(config, kHz, &problem);
                    deadline = Clock::now();
                    framesInBatch = 0;
                    lock.lock();
                    setProblemLocked(problem);
                }
                if (!source) {
                    m_wake.wait(lock, [&] { return m_stop.load() || m_generation != tunedGeneration; });
                    continue;
                }
            }
            // A retune interrupts a source that waits for its next frame.
            const FrameSource::Result result = source->read(frame.data(), m_interrupt);
            if (result == FrameSource::Cancelled)
                continue;
            if (result != FrameSource::Frame) {
                const std::string problem = source->problem();
                source.reset();
                std::lock_guard<std::mutex> guard(m_mutex);
                setProblemLocked(problem);
                if (tunedGeneration == m_generation)
                    m_meter.reset();
                continue;
            }

            ZozEtiFrame parsed;
            const int parseResult = ZozEti_ParseFrame(frame.data(), frame.size(), &parsed);
            const bool headerGood = parseResult >= 0;
            RTDAB_FICCallBack fic = nullptr;
            RTDAB_MSCCallBack msc = nullptr;
            RTDAB_PacketCallBack packet = nullptr;
            deliveries.clear();
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                if (tunedGeneration != m_generation)
                    continue;  // tuned away while reading: the frame is of the old ensemble
                m_meter.add(headerGood, parseResult == ZOZ_ETI_OK && parsed.err == ZOZ_ETI_ERR_NONE);
                if (headerGood) {
                    m_streamTable.clear();
                    for (int i = 0; i < parsed.nst; ++i)
                        m_streamTable.push_back({parsed.streams[i].subChId, parsed.streams[i].startAddress});
                    m_tableValid = true;
                    m_tableReady.notify_all();
                    fic = ficCallback.load();
                    msc = mscCallback.load();
                    packet = packetCallback.load();
                    for (int i = 0; i < parsed.nst; ++i) {
                        const ZozEtiStream &stream = parsed.streams[i];
                        auto found = m_components.find(stream.subChId);
                        if (found != m_components.end() && stream.length > 0)
                            deliveries.push_back({stream.subChId, found->second.packetMode, stream.data, stream.length});
                    }
                }
            }
            // Callbacks run without the lock, so they may call back into the library.
            if (headerGood) {
                if (fic && parsed.fic && !m_stop.load())
                    fic(const_cast<uint8_t *>(parsed.fic), parsed.ficLength);
                for (const Delivery &delivery : deliveries) {
                    if (m_stop.load())
                        break;
                    uint8_t *data = const_cast<uint8_t *>(delivery.data);
                    if (delivery.packetMode && packet)
                        packet(data, delivery.length, 0, delivery.subChId);
                    else if (!delivery.packetMode && msc)
                        msc(data, delivery.length, delivery.subChId);
                }
            }
            pace(deadline, speed, tunedGeneration, framesInBatch);
        }
        source.reset();
    }

    // Sleeps once per batch until the air time of the frames read so far has
    // passed; a retune cuts the batch short, so that the new ensemble's first
    // frames come at once.
    void pace(Clock::time_point &deadline, double speed, uint64_t tunedGeneration, int &framesInBatch)
    {
        if (speed <= 0.0)
            return;
        deadline += std::chrono::duration_cast<Clock::duration>(FramePeriod / speed);
        if (++framesInBatch < FramesPerBatch && !m_interrupt.load())
            return;
        framesInBatch = 0;
        const auto now = Clock::now();
        if (now > deadline + MaxLag)
            deadline = now;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_until(lock, deadline, [&] { return m_stop.load() || m_generation != tunedGeneration; });
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_tableReady;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_interrupt{false};
    bool m_opened = false;
    SourceConfig m_config;
    double m_speed = 1.0;
    uint32_t m_frequency = 0;
    uint32_t m_bandwidth = 0;
    uint64_t m_generation = 0;
    std::map<uint8_t, Component> m_components;
    std::vector<StreamEntry> m_streamTable;
    bool m_tableValid = false;
    SignalMeter m_meter;
    std::string m_problem;
    int32_t m_problemSerial = 0;
};

Device &device()
{
    // Destroyed when the library is unloaded: its destructor joins the thread.
    static Device instance;
    return instance;
}

} // namespace
} // namespace ZOZ::Rtkdab

using ZOZ::Rtkdab::device;

extern "C" {

int32_t RTDAB_OpenDevice(void)
{
    return device().open();
}

int32_t RTDAB_Start(void)
{
    return device().start();
}

int32_t RTDAB_Stop(void)
{
    return device().stop();
}

int32_t RTDAB_CloseDevice(void)
{
    return device().close();
}

int32_t RTDAB_SetFreqAndBW(uint32_t frequency, uint32_t bandwidth)
{
    return device().tune(frequency, bandwidth);
}

int32_t RTDAB_GetFreqAndBW(uint32_t *frequency, uint32_t *bandwidth)
{
    return device().tuning(frequency, bandwidth);
}

int32_t RTDAB_GetTunerRange(uint32_t *lowest, uint32_t *highest)
{
    if (!lowest || !highest)
        return RTDAB_RESULT_FAILED;
    uint32_t low = UINT32_MAX;
    uint32_t high = 0;
    const ZOZ::DabChannelGrid *grids = ZOZ::channelGrids();
    for (int grid = 0; grid < ZOZ::DabChannelGridCount; ++grid)
        for (int i = 0; i < grids[grid].count; ++i) {
            low = std::min(low, uint32_t(grids[grid].channels[i].frequency));
            high = std::max(high, uint32_t(grids[grid].channels[i].frequency));
        }
    *lowest = low;
    *highest = high;
    return RTDAB_RESULT_SUCCESS;
}

int32_t RTDAB_AddServiceCom(uint8_t isPacketMode, uint8_t subChId, uint16_t cuStart, uint8_t, uint8_t, uint8_t,
                            uint16_t, uint16_t packetAddress, uint8_t)
{
    return device().add(isPacketMode != 0, subChId, cuStart, packetAddress);
}

int32_t RTDAB_ChangeSCOrg(uint8_t, uint8_t subChId, uint16_t cuStart, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t,
                          uint8_t)
{
    return device().change(subChId, cuStart);
}

int32_t RTDAB_DelServiceCom(uint8_t isPacketMode, uint8_t subChId, uint16_t packetAddress)
{
    return device().remove(isPacketMode != 0, subChId, packetAddress);
}

int32_t RTDAB_GetSignalLock(int *value)
{
    return device().signal(value, device().meter().lock);
}

int32_t RTDAB_GetSignalPresent(int *value)
{
    return device().signal(value, device().meter().present);
}

int32_t RTDAB_GetSignalQuality(int *value)
{
    return device().signal(value, device().meter().quality);
}

int32_t RTDAB_GetSignalStrength(int *value)
{
    return device().signal(value, device().meter().strength);
}

int32_t RTDAB_SetFICCallBack(RTDAB_FICCallBack callback)
{
    device().ficCallback = callback;
    return RTDAB_RESULT_SUCCESS;
}

int32_t RTDAB_SetMSCCallBack(RTDAB_MSCCallBack callback)
{
    device().mscCallback = callback;
    return RTDAB_RESULT_SUCCESS;
}

int32_t RTDAB_SetPacketCallBack(RTDAB_PacketCallBack callback)
{
    device().packetCallback = callback;
    return RTDAB_RESULT_SUCCESS;
}

int32_t RTDAB_SetStreamDataCallBack(RTDAB_StreamDataCallBack callback)
{
    device().streamDataCallback = callback;
    return RTDAB_RESULT_SUCCESS;
}

int32_t RTDAB_DebugCMD(uint32_t, uint32_t)
{
    return RTDAB_RESULT_FAILED;
}

int32_t RTDAB_GetSourceProblem(char *text, int32_t size)
{
    return device().problem(text, size);
}

} // extern "C"
