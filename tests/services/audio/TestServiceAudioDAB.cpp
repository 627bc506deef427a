// The DAB audio service: sync tests, intake rules, Layer II and DAB+ decoding
// into the audio stream, DAB+ on real recordings, sync loss.
#include "audio/ZOZServiceAudioDAB.h"

#include "EtiSubchannels.h"
#include "SettingsFixture.h"
#include "SuperframeBuilder.h"
#include "ToneLevel.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using ZOZ::ServiceAudioDAB;

namespace {

using Bytes = std::vector<uint8_t>;

const char *const DemoEnsemble = ZOZ_BINARY_DIR "/resources/demo/5C.eti";
const char *const SecondDemoEnsemble = ZOZ_BINARY_DIR "/resources/demo/11D.eti";
const char *const Slovenia = ZOZ_TESTDATA_DIR "/slovenia-r1.eti";

// A service object held for the test; the service manager would hold it otherwise.
struct Held
{
    Held(int size, bool dabPlus)
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        service = new ServiceAudioDAB(d, size, false, dabPlus);
        service->retain();
        service->setElapsedSource([this] { return nowMs; });
    }
    ~Held() { service->release(); }
    ServiceAudioDAB *operator->() const { return service; }

    // Hands the bytes over one logical frame at a time, as the receiver does.
    void feed(const Bytes &bytes, size_t from = 0, size_t frames = SIZE_MAX)
    {
        const size_t frameSize = service->frameSize();
        for (size_t at = from * frameSize; at + frameSize <= bytes.size() && frames > 0; at += frameSize, --frames)
            service->receiveData(int(frameSize), bytes.data() + at);
    }

    // Up to `count` samples of the left channel of the decoded stereo stream.
    std::vector<int16_t> leftChannel(size_t count)
    {
        std::vector<int16_t> left;
        ZOZ::PcmBlock block;
        while (left.size() < count) {
            service->streamRead(&block);
            if (block.bytes == 0)
                break;
            const auto *samples = reinterpret_cast<const int16_t *>(block.pcm.data());
            for (uint32_t i = 0; i < block.samples; i += 2)
                left.push_back(samples[i]);
        }
        return left;
    }

    ServiceAudioDAB *service;
    qint64 nowMs = 0;
};

// A frame of `size` bytes whose first four are the header.
Bytes withHeader(std::initializer_list<uint8_t> header, size_t size)
{
    Bytes frame(size, 0x55);
    std::copy(header.begin(), header.end(), frame.begin());
    return frame;
}

class ServiceAudioDABTest : public ZOZTest::SettingsFixture
{
};

TEST(ServiceAudioDABSync, BufferStartTests)
{
    // Two clean superframes of 48 bytes a frame (n = 2), then the first repeated.
    Bytes superframes = SuperframeBuilder::build(2, 0x40, 1);
    const Bytes second = SuperframeBuilder::build(2, 0x40, 9);
    superframes.insert(superframes.end(), second.begin(), second.end());
    Bytes badSixth = SuperframeBuilder::build(2, 0x40, 1);
    badSixth.resize(badSixth.size() + 48, 0x33);
    Bytes damaged = superframes;
    damaged[60] ^= 0x01; // one RS codeword not clean

    struct Case
    {
        const char *name;
        Bytes buffer;
        uint32_t frameSize;
        bool dabPlus;
        bool synced;
    };
    const Case cases[] = {
        {"Layer II, 48 kHz, 128 kbit/s", withHeader({0xFF, 0xFC, 0x84, 0x04}, 384), 384, false, true},
        {"Layer II, 24 kHz, 64 kbit/s", withHeader({0xFF, 0xF4, 0x84, 0x04}, 384), 192, false, true},
        {"Layer II without header CRC", withHeader({0xFF, 0xFD, 0x84, 0x04}, 384), 384, false, true},
        {"Layer II, 44.1 kHz", withHeader({0xFF, 0xFC, 0x80, 0x04}, 384), 384, false, false},
        {"Layer II, free format", withHeader({0xFF, 0xFC, 0x04, 0x04}, 384), 384, false, false},
        {"Layer II, forbidden bit rate", withHeader({0xFF, 0xFC, 0xF4, 0x04}, 384), 384, false, false},
        {"Layer I header", withHeader({0xFF, 0xFE, 0x84, 0x04}, 384), 384, false, false},
        {"one byte short of a frame", withHeader({0xFF, 0xFC, 0x84, 0x04}, 383), 384, false, false},
        {"DAB+: a valid Layer II header is no superframe",
         withHeader({0xFF, 0xFC, 0x84, 0x04}, 6 * 384), 384, true, false},
        {"DAB+: superframe and the next start", superframes, 48, true, true},
        {"DAB+: one frame short of the next start", Bytes(superframes.begin(), superframes.begin() + 5 * 48 + 47), 48,
         true, false},
        {"DAB+: sixth frame no superframe start", badSixth, 48, true, false},
        {"DAB+: a codeword not clean", damaged, 48, true, false},
        {"no frame size", superframes, 0, true, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ServiceAudioDAB::checkSuperframe(c.buffer.data(), uint32_t(c.buffer.size()), c.frameSize, c.dabPlus),
                  c.synced)
            << c.name;
}

// The demo's 128 kbit/s Layer II service (sub-channel 1, a chord of 220, 277,
// 330 and 440 Hz), decoded by the service into its audio stream.
TEST_F(ServiceAudioDABTest, Layer2ServiceDecodesIntoItsStreamOnlyWhilePlaying)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const Bytes &bytes = subchannels.at(1).bytes;
    Held held(16, false);
    ASSERT_EQ(held->frameSize(), 384u);

    // Not heard: nothing is decoded.
    held.feed(bytes, 0, 50);
    EXPECT_EQ(held->bufferedBytes(), 0u);
    EXPECT_FALSE(held->isSynced());

    // A piece that is no whole number of frames is dropped.
    held->play();
    held->receiveData(30, bytes.data());
    EXPECT_FALSE(held->isSynced());

    // Starting in the middle of a frame: the search slides by frames, and a
    // Layer II stream has a header at every frame start.
    held->receiveData(384, bytes.data() + 100);
    held.feed(bytes, 1, 125); // 3 s
    EXPECT_TRUE(held->isSynced());
    EXPECT_EQ(held->codecName(), QStringLiteral("MPEG-1/2 Layer 2"));
    EXPECT_EQ(held->systemName(), QStringLiteral("DAB Classic"));
    EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
    EXPECT_EQ(held->audioFormat().numChannels, 2u);
    EXPECT_EQ(held->channelText(), QStringLiteral("Stereo"));
    EXPECT_EQ(held->streamConfig().format.sampleRate, 48000u);
    EXPECT_EQ(held->measuredBitRate(), 128000);
    EXPECT_GE(held->bufferedMs(), 2900u);

    // The chord is in the stream.
    const std::vector<int16_t> left = held.leftChannel(96000);
    ASSERT_GE(left.size(), 96000u);
    const auto level = [&](double frequency) { return toneLevel(left.data() + 48000, 9600, 1, frequency); };
    const double floor = level(1000);
    for (const double note : {220.0, 277.18, 329.63, 440.0})
        EXPECT_GT(level(note), 20 * floor + 10) << note << " Hz";

    // Stopping drops what was decoded.
    held->stop();
    EXPECT_EQ(held->bufferedBytes(), 0u);
}

// The demo's DAB+ service (11D, sub-channel 6, AAC-LC from the test encoder, a
// chord of 262, 330, 392 and 523 Hz) plays through the DAB+ decoder into its
// stream.
TEST_F(ServiceAudioDABTest, DabPlusServiceDecodesIntoItsStream)
{
    const auto subchannels = readEtiSubchannels(SecondDemoEnsemble);
    if (!subchannels.count(6))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const EtiSubchannel &sub = subchannels.at(6);
    Held held(int(sub.size), true);
    ASSERT_EQ(held->frameSize(), 288u);
    held->play();
    held.feed(sub.bytes, 0, 125); // 3 s
    EXPECT_TRUE(held->isSynced());
    EXPECT_EQ(held->codecName(), QStringLiteral("MPEG-4 AAC-LC"));
    EXPECT_EQ(held->systemName(), QStringLiteral("DAB+"));
    EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
    EXPECT_EQ(held->audioFormat().numChannels, 2u);
    EXPECT_EQ(held->streamConfig().format.sampleRate, 48000u);
    EXPECT_GT(held->measuredBitRate(), 60000);
    EXPECT_LE(held->measuredBitRate(), 96000);
    EXPECT_GE(held->bufferedMs(), 2500u);

    const std::vector<int16_t> left = held.leftChannel(96000);
    ASSERT_GE(left.size(), 96000u);
    const auto level = [&](double frequency) { return toneLevel(left.data() + 48000, 9600, 1, frequency); };
    const double floor = level(1000);
    for (const double note : {261.63, 329.63, 392.0, 523.25})
        EXPECT_GT(level(note), 20 * floor + 10) << note << " Hz";
}

// A DAB+ service never takes the Layer II stream of another sub-channel for
// its own: no sync, the search drops frame after frame.
TEST_F(ServiceAudioDABTest, DabPlusServiceDoesNotSyncOnLayer2Frames)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Held held(16, true);
    held->play();
    held.feed(subchannels.at(1).bytes, 0, 100);
    EXPECT_FALSE(held->isSynced());
    EXPECT_EQ(held->superframeCounts().superframes, 0u);
    EXPECT_EQ(held->superframeCounts().discardedBytes, 90u * 384);
}

// Every DAB+ sub-channel of the recording synchronises once and then takes
// every superframe that follows, with no codeword left uncorrected.
TEST_F(ServiceAudioDABTest, RecordedDabPlusSubchannelsSynchroniseOnEverySuperframe)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    struct Case
    {
        uint32_t subChannel;
        const char *codec;
    };
    // Sub-channels 6 and 13 are packet data; 12 carries only zero bytes.
    const Case cases[] = {
        {0, "MPEG-4 AAC-LC"},   {1, "MPEG-4 AAC-LC"},    {2, "MPEG-4 AAC-LC"},    {3, "MPEG-4 AAC-LC"},
        {4, "MPEG-4 HE-AAC v1"}, {5, "MPEG-4 HE-AAC v1"}, {7, "MPEG-4 HE-AAC v1"}, {8, "MPEG-4 HE-AAC v1"},
        {9, "MPEG-4 HE-AAC v1"}, {10, "MPEG-4 HE-AAC v1"}, {11, "MPEG-4 HE-AAC v1"}, {15, "MPEG-4 HE-AAC v1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("sub-channel " + std::to_string(c.subChannel));
        ASSERT_TRUE(subchannels.count(c.subChannel));
        const EtiSubchannel &sub = subchannels.at(c.subChannel);
        Held held(int(sub.size), true);
        held->play();
        held.feed(sub.bytes);
        const ServiceAudioDAB::SuperframeCounts counts = held->superframeCounts();
        EXPECT_TRUE(held->isSynced());
        EXPECT_EQ(counts.syncs, 1u);
        // The first superframe starts at frame 4; every whole one after the sync is taken.
        const uint32_t afterSync = (sub.frames - 4 - counts.discardedBytes / held->frameSize() + 4) / 5;
        EXPECT_EQ(counts.superframes, afterSync);
        EXPECT_GE(counts.superframes, 9u);
        EXPECT_EQ(counts.rsFailures, 0u);
        EXPECT_EQ(held->codecName(), QString::fromLatin1(c.codec));
        EXPECT_EQ(held->systemName(), QStringLiteral("DAB+"));
        // Every unit decodes: the AAC-LC services as 48 kHz stereo, the HE-AAC
        // services as their AAC core.
        EXPECT_GE(held->bufferedMs(), counts.superframes * 120 - 120);
        if (c.subChannel <= 3) {
            EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
            EXPECT_EQ(held->audioFormat().numChannels, 2u);
        }
    }
}

// Synced, but nothing comes out: after 5000 ms the search starts again.
TEST_F(ServiceAudioDABTest, SyncIsLostAfterFiveSecondsWithoutOutput)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (!subchannels.count(0))
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    const EtiSubchannel &sub = subchannels.at(0);
    Held held(int(sub.size), true);
    held->play();
    held.feed(sub.bytes, 0, 20);
    ASSERT_TRUE(held->isSynced());
    const Bytes noise(held->frameSize(), 0xA5);
    struct Step
    {
        qint64 advanceMs;
        bool synced;
    };
    const Step steps[] = {{4000, true}, {1000, true}, {1, false}};
    for (const Step &step : steps) {
        held.nowMs += step.advanceMs;
        held->receiveData(int(noise.size()), noise.data());
        EXPECT_EQ(held->isSynced(), step.synced) << held.nowMs;
    }
}

// A piece longer than the frame buffer is refused with a warning, whole
// frames or not; the service goes on with the next piece.
TEST_F(ServiceAudioDABTest, PieceLongerThanTheFrameBufferIsRefused)
{
    Held held(1, false);
    held->play();
    const Bytes piece(32784, 0); // 1366 frames of 24 bytes
    EXPECT_FALSE(held->handlePacket(int(piece.size()), piece.data()));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("ServiceAudio::handlePacket() -> warning: buffer too small to handle incoming data (32784 > 32768)!")));
    EXPECT_TRUE(held->handlePacket(24, piece.data()));
}

} // namespace
