#include "ZOZAudioSystem.h"
#include "ZOZDesktopHost.h"

#include "AudioTestSource.h"
#include "ZOZWaveFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// Time that moves only when the output sleeps.
class VirtualClock : public ZOZ::AudioSystem::Clock
{
public:
    int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
    int64_t now = 0;
};

// A sound card that keeps what it is given; slots free only when the test says so.
class FakeSink : public ZOZ::AudioSink
{
public:
    struct State
    {
        int openCalls = 0;
        int resets = 0;
        bool failOpen = false;
        bool open = false;
        std::vector<int> openedDevices;
        std::vector<std::vector<uint8_t>> queued;
        int busySlots = 0;
    };
    explicit FakeSink(State *state) : m_state(state) {}

    QStringList devices() override { return {"default", "hw:0,0"}; }
    int open(int deviceId, const ZOZ::AudioSinkFormat &) override
    {
        ++m_state->openCalls;
        m_state->openedDevices.push_back(deviceId);
        if (m_state->failOpen)
            return -19;
        m_state->open = true;
        return 0;
    }
    bool isOpen() const override { return m_state->open; }
    void close() override { m_state->open = false; }
    void reset() override
    {
        ++m_state->resets;
        m_state->busySlots = 0;
    }
    bool queue(const uint8_t *pcm, uint32_t bytes) override
    {
        if (m_state->busySlots == RingSlots)
            return false;
        ++m_state->busySlots;
        m_state->queued.emplace_back(pcm, pcm + bytes);
        return true;
    }
    int freeSlots() const override { return RingSlots - m_state->busySlots; }
    void pump() override {}
    bool takeUnderrun() override { return false; }

private:
    State *m_state;
};

struct TestSource : AudioTestSource
{
    TestSource() : AudioTestSource({1, 48000, 16, 2}) {}
    // Adds `ms` of 48 kHz stereo PCM whose bytes count on from `next`.
    void addMs(uint32_t ms)
    {
        ZOZ::PcmBlock block;
        block.bytes = ms * 192;
        block.samples = block.bytes / 2;
        block.pcm.resize(block.bytes);
        for (uint8_t &byte : block.pcm)
            byte = next++;
        streamAdd(format, block, true);
    }
    uint8_t next = 0;
};

class AudioSystemPasses : public ::testing::Test
{
protected:
    AudioSystemPasses()
        : system(std::make_unique<FakeSink>(&sink), &clock)
    {
        system.init(true);
        system.setNotifier([this](const QString &type, const QString &text) { notes.push_back(type + ": " + text); });
    }

    void passes(int n)
    {
        for (int i = 0; i < n; ++i)
            system.runPass();
    }

    FakeSink::State sink;
    VirtualClock clock;
    // Declared before the output, which holds references to them until it goes.
    TestSource source, first, second;
    ZOZ::AudioSystem system;
    std::vector<QString> notes;
};

} // namespace

TEST_F(AudioSystemPasses, SoundStartsOnlyAfterMoreThanOneSecondIsBuffered)
{
    system.setSource(&source, &source);
    source.addMs(1000);
    passes(5);
    EXPECT_TRUE(sink.queued.empty()) << "exactly 1000 ms is not enough";
    EXPECT_TRUE(system.isPrebuffering());

    source.addMs(1);
    passes(1);
    ASSERT_EQ(sink.queued.size(), 1u);
    EXPECT_FALSE(system.isPrebuffering());
    passes(1);
    ASSERT_EQ(sink.queued.size(), 2u) << "the rest follows without a new prebuffer";
    // The bytes arrive in order, with nothing lost between blocks.
    uint8_t expected = 0;
    for (const auto &block : sink.queued)
        for (uint8_t byte : block)
            ASSERT_EQ(byte, expected++);
    EXPECT_EQ(sink.openCalls, 1);
}

TEST_F(AudioSystemPasses, SourceSwitchMovesTheClockBackAndSynchronisesTheNewStream)
{
    second.addMs(3000); // its clock starts here, before the first source plays
    system.setSource(&first, &first);
    first.addMs(1001 + 5 * 426);
    passes(6);
    ASSERT_EQ(sink.queued.size(), 6u); // 2556 ms of playback clock

    clock.now += 100; // time since the last block was queued
    const uint32_t before = ZOZ::playbackClock().load();
    const int resets = sink.resets;
    system.setSource(&second, &second);
    passes(1);
    // Back by one second plus the 100 ms since the last block, then one block read.
    EXPECT_EQ(before - ZOZ::playbackClock().load(), 1100u - 426u);
    // The second stream lagged by 2556 - 1100 = 1456 ms: three whole blocks
    // were dropped, leaving it within one block; then one was played.
    EXPECT_EQ(second.bufferedMs(), 3000u - 4 * 426u);
    EXPECT_GT(sink.resets, resets);
    EXPECT_EQ(first.referenceCount(), 1) << "the output let go of the first source";
    EXPECT_EQ(second.referenceCount(), 2);
    EXPECT_EQ(sink.queued.size(), 7u);

    system.setSource(nullptr, nullptr);
    passes(1);
    EXPECT_EQ(second.referenceCount(), 1);
}

TEST_F(AudioSystemPasses, MuteDropsBlocksAndUnmutePrebuffers)
{
    system.setSource(&source, &source);
    source.addMs(1500);
    passes(1);
    ASSERT_EQ(sink.queued.size(), 1u);

    const int resets = sink.resets;
    system.setMuted(true);
    source.addMs(1000);
    passes(4);
    EXPECT_EQ(sink.queued.size(), 1u) << "nothing is played while muted";
    EXPECT_EQ(sink.resets, resets + 1) << "muting empties the device queue at once";
    EXPECT_EQ(source.bufferedMs(), 2500u - 5 * 426u) << "blocks are still taken from the stream";

    system.setMuted(false);
    source.addMs(500); // 370 ms were left over

    passes(2);
    EXPECT_EQ(sink.queued.size(), 1u);
    EXPECT_TRUE(system.isPrebuffering());
    source.addMs(200);
    passes(1);
    EXPECT_EQ(sink.queued.size(), 2u);
}

TEST_F(AudioSystemPasses, FailingDeviceNotifiesOnceAndRetriesEveryTenSeconds)
{
    sink.failOpen = true;
    system.setDevice(1);
    system.setSource(&source, &source);
    source.addMs(3000);
    passes(2);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].startsWith("error: <b>Audio Device Error</b>"));
    EXPECT_EQ(system.device(), ZOZ::AudioSystem::FallbackDevice);
    EXPECT_EQ(sink.openedDevices, (std::vector<int>{1, 0})) << "the fallback is tried at once";

    const int calls = sink.openCalls;
    clock.now += ZOZ::AudioSystem::ReopenIntervalMs - 100;
    source.addMs(1000);
    passes(2);
    EXPECT_EQ(sink.openCalls, calls) << "no new attempt within ten seconds";

    sink.failOpen = false;
    clock.now += 100;
    source.addMs(1000);
    passes(1);
    EXPECT_EQ(sink.openCalls, calls + 1);
    EXPECT_EQ(notes.size(), 1u) << "the fallback failing again shows nothing new";
    EXPECT_FALSE(sink.queued.empty());
}

TEST_F(AudioSystemPasses, WaitsForAFreeSlotWithoutLosingTheBlock)
{
    system.setSource(&source, &source);
    source.addMs(1001 + 8 * 426);
    passes(8);
    ASSERT_EQ(sink.queued.size(), 8u);
    ASSERT_EQ(sink.busySlots, 8);
    // With every slot busy the pass waits; muting ends the wait.
    system.setMuted(true);
    passes(1);
    EXPECT_EQ(sink.queued.size(), 8u);
}

// What the pages set through their audio control is what the sound card gets.
TEST_F(AudioSystemPasses, LevelAndMuteFromThePagesReachTheSink)
{
    ZOZ::AudioSystemControl control(&system);
    control.setLevel(0.5f);
    system.setSource(&source, &source);
    source.addMs(1001);
    passes(1);
    ASSERT_EQ(sink.queued.size(), 1u);
    const std::vector<uint8_t> &block = sink.queued.front();
    for (size_t i = 0; i + 1 < block.size(); i += 2) {
        const int16_t in = int16_t(uint16_t(uint8_t(i)) | uint16_t(uint8_t(i + 1)) << 8);
        const int16_t out = int16_t(uint16_t(block[i]) | uint16_t(block[i + 1]) << 8);
        ASSERT_LE(std::abs(out - in / 2), 1) << "sample " << i / 2;
    }

    // Levels stay finite and within what the pages may ask for.
    control.setLevel(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(control.level(), 1.0f);
    control.setLevel(50.0f);
    EXPECT_EQ(control.level(), ZOZ::AudioControl::MaximumLevel);
    control.setLevel(-1.0f);
    EXPECT_EQ(control.level(), ZOZ::AudioControl::MinimumLevel);

    control.setMuted(true);
    EXPECT_TRUE(system.isMuted());
    source.addMs(1000);
    passes(3);
    EXPECT_EQ(sink.queued.size(), 1u) << "nothing reaches the card while muted";
}

namespace {

// The device kept between runs is found again by its name where the list
// moved it; a name that is gone falls back to the default device; a choice is
// saved with its name.
TEST(AudioSystemDevice, StoredDeviceIsFoundByItsName)
{
    struct Case
    {
        const char *name;
        ZOZ::AudioSystem::DeviceChoice stored;
        int device;
    };
    // The fake sink lists "default" and "hw:0,0".
    const Case cases[] = {
        {"nothing stored", {-1, QString()}, -1},
        {"moved index", {5, QStringLiteral("hw:0,0")}, 1},
        {"name gone", {1, QStringLiteral("hw:3,0")}, -1},
        {"index without a name", {1, QString()}, 1},
        {"index past the list", {7, QString()}, -1},
    };
    for (const Case &c : cases) {
        FakeSink::State state;
        VirtualClock clock;
        ZOZ::AudioSystem system(std::make_unique<FakeSink>(&state), &clock);
        std::vector<ZOZ::AudioSystem::DeviceChoice> saved;
        system.restoreDevice(c.stored, [&](const ZOZ::AudioSystem::DeviceChoice &choice) { saved.push_back(choice); });
        EXPECT_EQ(system.device(), c.device) << c.name;
        EXPECT_TRUE(saved.empty()) << c.name;
        system.setDevice(c.device == 1 ? -1 : 1);
        ASSERT_EQ(saved.size(), 1u) << c.name;
        EXPECT_EQ(saved[0].id, c.device == 1 ? -1 : 1) << c.name;
        EXPECT_EQ(saved[0].name, c.device == 1 ? QString() : QStringLiteral("hw:0,0")) << c.name;
    }
}

} // namespace

// A WAVE file plays before the source, in whole blocks and in its own format,
// also while muted when it overrides the mute; it ends once the ring has played
// out, and the source starts again with its prebuffer.
TEST_F(AudioSystemPasses, WaveFilePlaysBeforeTheSourceAndEndsWhenTheRingIsEmpty)
{
    QTemporaryDir dir;
    const QString wave = dir.filePath(QStringLiteral("label.wav"));
    QByteArray pcm(96000, 0); // 1 s of 24 kHz stereo: two blocks, 81920 and 14080 bytes
    for (int i = 0; i < pcm.size(); ++i)
        pcm[i] = char(i * 7);
    {
        QFile file(wave);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ZOZ::makeWaveHeader(24000, 2, 16));
        file.write(pcm);
        ZOZ::finishWaveHeader(&file);
    }
    EXPECT_FALSE(system.playFileWAVE(dir.filePath(QStringLiteral("missing.wav"))));

    struct Case
    {
        const char *name;
        bool muted;
        bool overrideMuted;
        bool heard;
    };
    const Case cases[] = {
        {"not muted", false, false, true},
        {"muted, overriding the mute", true, true, true},
        {"muted", true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sink.queued.clear();
        sink.busySlots = 0;
        system.setMuted(c.muted);
        system.setSource(&source, &source);
        source.addMs(500);
        passes(1); // the source is taken over; too little for sound yet
        source.addMs(1000);
        const uint32_t buffered = source.bufferedBytes();
        ASSERT_TRUE(system.playFileWAVE(wave, c.overrideMuted));
        passes(2);
        EXPECT_EQ(source.bufferedBytes(), buffered) << "the source is not read while the file plays";
        if (c.heard) {
            ASSERT_EQ(sink.queued.size(), 2u);
            QByteArray played;
            for (const auto &block : sink.queued)
                played.append(reinterpret_cast<const char *>(block.data()), qsizetype(block.size()));
            EXPECT_EQ(played, pcm);
            EXPECT_EQ(system.outputConfig().format.sampleRate, 24000u);
        } else {
            EXPECT_TRUE(sink.queued.empty());
        }
        // The ring still holds the file's blocks: the playback waits for them.
        const size_t queued = sink.queued.size();
        passes(1);
        EXPECT_EQ(sink.queued.size(), queued);
        EXPECT_EQ(system.isPlayingFile(), c.heard);
        sink.busySlots = 0;
        passes(1);
        EXPECT_FALSE(system.isPlayingFile());
        system.setMuted(false);
        passes(3);
        EXPECT_EQ(system.outputConfig().format.sampleRate, 48000u) << "the source plays again";
        EXPECT_GT(sink.queued.size(), queued);
        system.setSource(nullptr, nullptr);
        passes(1);
    }
}
