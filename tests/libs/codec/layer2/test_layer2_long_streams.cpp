// Six seconds of programme-like signal (sweeps, noise, speech, a chord and a square
// wave that clips), encoded by twolame with the header CRC and by ffmpeg without:
// the decoded PCM must stay the same sample for sample. The checksums were taken
// from the decoder before its inner loops were rewritten for speed; any change to
// the arithmetic of requantisation or synthesis shows up here. Encoders never
// write the extremes, so a built stream of random frames adds them: full-scale
// scale factors, every code of every allocation, saturation in the transform and
// clipping in the output.
#include "layer2_internal.h"
#include "layer2_tables.h"
#include "layer2_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// FNV-1a over the samples as 16-bit little-endian PCM, interleaved.
uint64_t pcmChecksum(const DecodedStream &d)
{
    uint64_t h = 14695981039346656037u;
    const size_t length = d.channels.empty() ? 0 : d.channels[0].size();
    for (size_t i = 0; i < length; ++i) {
        for (const std::vector<double> &channel : d.channels) {
            const auto v = static_cast<uint16_t>(static_cast<int16_t>(std::lround(channel[i] * 32768.0)));
            h = (h ^ (v & 0xFF)) * 1099511628211u;
            h = (h ^ (v >> 8)) * 1099511628211u;
        }
    }
    return h;
}

struct LongStream
{
    const char *file;
    int channels;
    int crc;
    uint64_t checksum;
};

const LongStream longStreams[] = {
    {"long-48k-joint-192-crc.mp2", 2, 1, 0x4e24ea32a9b949edu},
    {"long-48k-stereo-192.mp2", 2, 0, 0x0917a9b2befa7ab7u},
    {"long-48k-mono-96-crc.mp2", 1, 1, 0x1466673d36745936u},
    {"long-48k-mono-96.mp2", 1, 0, 0xf1c4033264d261b2u},
};

TEST(Layer2LongStreams, DecodeToTheSamePcmAsBefore)
{
    constexpr size_t Frames = 250; // 6 s at 48 kHz
    for (const LongStream &s : longStreams) {
        const auto stream = readFixture(s.file);
        ASSERT_FALSE(stream.empty()) << s.file;
        // Interleaved and planar output go through different stores of the synthesis.
        for (int interleaved : {1, 0}) {
            SCOPED_TRACE(std::string(s.file) + (interleaved ? " interleaved" : " planar"));
            const DecodedStream d = decodeStream(stream, 0, 576, interleaved);
            ASSERT_EQ(d.results.size(), Frames);
            for (Layer2DecResult r : d.results)
                ASSERT_EQ(r, LAYER2DEC_OK);
            ASSERT_EQ(d.channels.size(), static_cast<size_t>(s.channels));
            EXPECT_EQ(d.info.crcPresent, s.crc);
            EXPECT_EQ(pcmChecksum(d), s.checksum);
        }
    }
}

class BitWriter
{
public:
    void put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (used % 8 == 0)
                bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (7 - used % 8));
            ++used;
        }
    }
    size_t used = 0;
    std::vector<uint8_t> bytes;
};

// Bits of the samples of one sub-band and channel in a frame (12 granules).
int sampleBits(int steps)
{
    const int codeword = Layer2Tables::codewordBits(steps);
    return 12 * (Layer2Tables::isGrouped(steps) ? codeword : 3 * codeword);
}

// A frame whose 27 sub-bands all carry full-scale samples with the signs of
// `overdrive` (or their negation) in every time slot: the sub-band sums reach
// about 1.4 times the 32-bit range inside the transform, so the saturation there
// is exercised. 15 steps in the lower 23 sub-bands, 3 in the top four; one scale
// factor each, index 0.
std::vector<uint8_t> overdrivenFrame(std::mt19937 &rng, int bitRateIndex, int mode, int frameBytes)
{
    static const int overdrive[27] = {1, -1, -1, 1, 1, -1, -1, 1, 1, -1, -1, 1, 1, -1,
                                      -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, -1, 1, 1};
    const int channels = mode == 3 ? 1 : 2;
    const Layer2Tables::AllocationTable &table = *Layer2_ChooseTable(0, channels, 1, bitRateIndex);
    int code[27];
    for (int sb = 0; sb < 27; ++sb) {
        const int wanted = sb < 23 ? 15 : 3;
        code[sb] = 0;
        for (int c = 1; c < 16 && code[sb] == 0; ++c)
            if (table.rows[sb][c] == wanted)
                code[sb] = c;
    }
    BitWriter w;
    w.put(0xFFFD0000u | static_cast<uint32_t>(bitRateIndex) << 12 | 1u << 10 | static_cast<uint32_t>(mode) << 6, 32);
    for (int sb = 0; sb < 27; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            w.put(static_cast<uint32_t>(code[sb]), table.rows[sb][0]);
    for (int sb = 0; sb < 27 * channels; ++sb)
        w.put(2, 2); // one scale factor for the three parts
    for (int sb = 0; sb < 27 * channels; ++sb)
        w.put(0, 6);
    for (int granule = 0; granule < 12; ++granule) {
        const int sign = rng() % 2 ? 1 : -1;
        for (int sb = 0; sb < 27; ++sb)
            for (int ch = 0; ch < channels; ++ch) {
                const bool high = sign * overdrive[sb] > 0;
                if (sb < 23) {
                    for (int i = 0; i < 3; ++i)
                        w.put(high ? 14 : 0, 4);
                } else {
                    w.put(high ? 2 + 3 * 2 + 9 * 2 : 0, 5); // three samples of the same extreme
                }
            }
    }
    std::vector<uint8_t> frame = w.bytes;
    frame.resize(static_cast<size_t>(frameBytes));
    return frame;
}

// One MPEG-1 48 kHz frame without CRC (mode 0 stereo or 3 mono) with random
// allocations that fit the frame, and scale factors and samples that reach the
// extremes more often than chance would.
std::vector<uint8_t> randomFrame(std::mt19937 &rng, int bitRateIndex, int mode, int frameBytes)
{
    if (rng() % 4 == 0)
        return overdrivenFrame(rng, bitRateIndex, mode, frameBytes);
    const int channels = mode == 3 ? 1 : 2;
    const Layer2Tables::AllocationTable &table = *Layer2_ChooseTable(0, channels, 1, bitRateIndex);
    const int sblimit = table.sblimit;
    int allocation[2][32] = {};
    int budget = 8 * frameBytes - 32;
    for (int sb = 0; sb < sblimit; ++sb)
        budget -= channels * table.rows[sb][0];
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            allocation[ch][sb] = static_cast<int>(rng() % (1u << table.rows[sb][0]));
    auto cost = [&] {
        int bits = 0;
        for (int sb = 0; sb < sblimit; ++sb)
            for (int ch = 0; ch < channels; ++ch)
                if (allocation[ch][sb] != 0)
                    bits += 2 + 18 + sampleBits(table.rows[sb][allocation[ch][sb]]);
        return bits;
    };
    while (cost() > budget) {
        int &a = allocation[rng() % static_cast<unsigned>(channels)][rng() % static_cast<unsigned>(sblimit)];
        a = a / 2;
    }

    BitWriter w;
    w.put(0xFFFD0000u | static_cast<uint32_t>(bitRateIndex) << 12 | 1u << 10 | static_cast<uint32_t>(mode) << 6, 32);
    int selection[2][32] = {};
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            w.put(static_cast<uint32_t>(allocation[ch][sb]), table.rows[sb][0]);
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (allocation[ch][sb] != 0) {
                selection[ch][sb] = static_cast<int>(rng() % 4);
                w.put(static_cast<uint32_t>(selection[ch][sb]), 2);
            }
    static const int scalefactorCount[4] = {3, 2, 1, 2};
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (allocation[ch][sb] != 0)
                for (int i = 0; i < scalefactorCount[selection[ch][sb]]; ++i)
                    w.put(rng() % 2 ? 0 : rng() % 64, 6); // half of them full scale
    for (int granule = 0; granule < 12; ++granule)
        for (int sb = 0; sb < sblimit; ++sb)
            for (int ch = 0; ch < channels; ++ch) {
                if (allocation[ch][sb] == 0)
                    continue;
                const uint32_t steps = table.rows[sb][allocation[ch][sb]];
                const int bits = Layer2Tables::codewordBits(static_cast<int>(steps));
                if (Layer2Tables::isGrouped(static_cast<int>(steps))) {
                    w.put(rng() % (steps * steps * steps), bits);
                } else {
                    for (int i = 0; i < 3; ++i) {
                        // Mostly the largest and smallest codes, so that sums saturate.
                        const uint32_t pick = rng() % 4;
                        w.put(pick == 0 ? 0 : (pick == 1 ? steps - 1 : rng() % (steps + 1)), bits);
                    }
                }
            }
    std::vector<uint8_t> frame = w.bytes;
    frame.resize(static_cast<size_t>(frameBytes));
    for (size_t i = w.bytes.size(); i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(rng());
    return frame;
}

TEST(Layer2LongStreams, ExtremeFramesDecodeToTheSamePcmAsBefore)
{
    struct Case
    {
        const char *name;
        int bitRateIndex;
        int mode;
        int frameBytes;
        uint64_t checksum;
    };
    const Case cases[] = {
        {"stereo 384 kbit/s", 14, 0, 1152, 3003244330288354183u},
        {"mono 192 kbit/s", 10, 3, 576, 10116822368846748377u},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(19);
        std::vector<uint8_t> stream;
        for (int i = 0; i < 100; ++i) {
            const std::vector<uint8_t> f = randomFrame(rng, c.bitRateIndex, c.mode, c.frameBytes);
            stream.insert(stream.end(), f.begin(), f.end());
        }
        const DecodedStream d = decodeStream(stream, 0, 576, 1);
        ASSERT_EQ(d.results.size(), 100u);
        for (Layer2DecResult r : d.results)
            ASSERT_EQ(r, LAYER2DEC_OK);
        size_t clipped = 0;
        for (const std::vector<double> &channel : d.channels)
            clipped += static_cast<size_t>(std::count_if(channel.begin(), channel.end(),
                                                         [](double v) { return std::fabs(v) >= 32767.0 / 32768; }));
        EXPECT_GT(clipped, 1000u) << "the stream no longer reaches the extremes";
        EXPECT_EQ(pcmChecksum(d), c.checksum);
    }
}

} // namespace
