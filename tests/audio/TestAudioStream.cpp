#include "ZOZAudioStream.h"

#include <gtest/gtest.h>

namespace {

ZOZ::AudioFormat format(uint32_t rate, uint32_t channels, uint32_t bits = 16)
{
    ZOZ::AudioFormat result;
    result.id = 1;
    result.sampleRate = rate;
    result.numChannels = channels;
    result.bitsPerSample = bits;
    return result;
}

ZOZ::PcmBlock pcm(uint32_t bytes, uint8_t first = 0)
{
    ZOZ::PcmBlock block;
    block.bytes = bytes;
    block.pcm.resize(bytes);
    for (uint32_t i = 0; i < bytes; ++i)
        block.pcm[i] = uint8_t(first + i);
    block.samples = bytes / 2;
    return block;
}

} // namespace

TEST(AudioStream, ChunkAndBlockGeometryForEveryRate)
{
    const struct
    {
        const char *name;
        uint32_t rate, channels;
        uint32_t chunkBytes, chunkMs, blockBytes, blockMs;
    } rows[] = {
        {"48 kHz stereo", 48000, 2, 192, 1, 81792, 426},
        {"44.1 kHz stereo", 44100, 2, 1764, 10, 81144, 460},
        {"48 kHz 5.1", 48000, 6, 576, 1, 81792, 142},
        {"24 kHz five channels", 24000, 5, 240, 1, 81840, 341},
        {"22.05 kHz mono", 22050, 1, 882, 20, 81144, 1840},
        {"20 kHz stereo", 20000, 2, 80, 1, 81920, 1024},
        {"32 kHz stereo", 32000, 2, 128, 1, 81920, 640},
        {"44101 Hz mono: one chunk per block", 44101, 1, 88202, 1000, 88202, 1000},
    };
    for (const auto &row : rows) {
        ZOZ::AudioStream stream;
        stream.streamAdd(format(row.rate, row.channels), pcm(4), false);
        EXPECT_EQ(stream.chunkBytes(), row.chunkBytes) << row.name;
        EXPECT_EQ(stream.chunkMs(), row.chunkMs) << row.name;
        EXPECT_EQ(stream.blockBytes(), row.blockBytes) << row.name;
        EXPECT_EQ(stream.blockMs(), row.blockMs) << row.name;
        EXPECT_EQ(stream.blockBytes() % stream.chunkBytes(), 0u) << row.name;
    }
}

TEST(AudioStream, EmptyFormatDropsTheData)
{
    ZOZ::AudioStream stream;
    stream.streamAdd(format(0, 2), pcm(100), false);
    stream.streamAdd(format(48000, 0), pcm(100), false);
    stream.streamAdd(format(48000, 2, 7), pcm(100), false);
    EXPECT_EQ(stream.blockBytes(), 0u);
    EXPECT_EQ(stream.bufferedBytes(), 0u);
    ZOZ::PcmBlock out;
    stream.streamRead(&out);
    EXPECT_EQ(out.bytes, 0u);
}

TEST(AudioStream, ReadsWholeBlocksAndAdvancesBothClocks)
{
    ZOZ::AudioStream stream;
    stream.streamAdd(format(48000, 2), pcm(81791), true);
    ZOZ::PcmBlock out = pcm(10);
    stream.streamRead(&out);
    EXPECT_EQ(out.bytes, 0u) << "one byte short of a block";
    EXPECT_EQ(out.samples, 0u);

    const uint32_t before = ZOZ::playbackClock().load();
    stream.streamAdd(format(48000, 2), pcm(1, uint8_t(81791)), true);
    stream.streamRead(&out);
    EXPECT_EQ(out.bytes, 81792u);
    EXPECT_EQ(out.samples, 40896u);
    for (uint32_t i = 0; i < out.bytes; ++i)
        ASSERT_EQ(out.pcm[i], uint8_t(i)) << i;
    EXPECT_EQ(ZOZ::playbackClock().load() - before, 426u);
    EXPECT_EQ(stream.streamClock(), ZOZ::playbackClock().load());
    EXPECT_EQ(stream.bufferedBytes(), 0u);
}

TEST(AudioStream, NotPlayingKeepsAtMostFourSeconds)
{
    ZOZ::AudioStream stream;
    stream.streamAdd(format(48000, 2), pcm(192000), false);
    const uint32_t start = stream.streamClock();
    for (int i = 0; i < 3; ++i)
        stream.streamAdd(format(48000, 2), pcm(192000), false);
    EXPECT_EQ(stream.bufferedBytes(), 768000u) << "exactly 4 s is kept";
    stream.streamAdd(format(48000, 2), pcm(192), false);
    EXPECT_EQ(stream.bufferedBytes(), 768192u - 384000u);
    EXPECT_EQ(stream.streamClock() - start, 2000u);

    stream.streamAdd(format(48000, 2), pcm(768000), true);
    EXPECT_EQ(stream.bufferedBytes(), 384192u + 768000u) << "no cap while playing";
}

TEST(AudioStream, NewByteRateDropsTheBufferSameRateKeepsIt)
{
    ZOZ::AudioStream stream;
    stream.streamAdd(format(48000, 2), pcm(1000), false);
    stream.streamAdd(format(96000, 1), pcm(10), false);
    EXPECT_EQ(stream.bufferedBytes(), 1010u) << "same byte rate, other layout";
    stream.streamAdd(format(48000, 1), pcm(10), false);
    EXPECT_EQ(stream.bufferedBytes(), 10u);
    EXPECT_EQ(stream.chunkBytes(), 96u);
}

TEST(AudioStream, SynchronizeDropsWholeBlocksOfALaggingStream)
{
    const struct
    {
        const char *name;
        uint32_t lag;
        uint32_t bufferedBlocks;
        uint32_t remainingBlocks;
    } rows[] = {
        {"no lag", 0, 3, 3},
        {"lag of one block", 426, 3, 3},
        {"lag of 1000 ms drops two blocks", 1000, 3, 1},
        {"lag beyond what is buffered empties it", 3000, 3, 0},
        {"lag of 10001 ms is a stream ahead", 10001, 3, 3},
        {"stream ahead of the clock", uint32_t(-500), 3, 3},
    };
    for (const auto &row : rows) {
        ZOZ::AudioStream stream;
        stream.streamAdd(format(48000, 2), pcm(81792 * row.bufferedBlocks), true);
        ZOZ::playbackClock().fetch_add(row.lag);
        stream.streamSynchronize();
        EXPECT_EQ(stream.bufferedBytes(), 81792 * row.remainingBlocks) << row.name;
        if (row.lag == 1000) {
            EXPECT_EQ(ZOZ::playbackClock().load() - stream.streamClock(), 148u);
        }
    }
}

TEST(AudioStream, ClearEmptiesAndJoinsThePlaybackClock)
{
    ZOZ::AudioStream stream;
    stream.streamAdd(format(48000, 2), pcm(5000), false);
    ZOZ::playbackClock().fetch_add(77);
    stream.streamClear();
    EXPECT_EQ(stream.bufferedBytes(), 0u);
    EXPECT_EQ(stream.streamClock(), ZOZ::playbackClock().load());
}
