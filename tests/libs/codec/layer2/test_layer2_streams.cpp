// Decoding streams of independent encoders: the decoded signal must match the
// source. These tests are also the check on the transcribed tables (allocation,
// bit rates, scale factors, requantisation constants and the synthesis window).
#include "layer2_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct SineCase
{
    const char *file;
    int rate;
    int mode;            // header mode: 0 stereo, 1 joint, 2 dual, 3 mono
    int bitRate;         // kbit/s
    int crc;
    double frequency[2]; // per channel
    double minSnrDb;     // measured, minus a margin
};

// Minimum SNRs: the lower channel's measured value less 3 dB. ffmpeg's encoder
// spreads its bits without a psychoacoustic model and leaves more noise near
// sub-band edges than twolame; the decoder reaches 84 to 87 dB on twolame streams
// whatever the tone's place in its sub-band.
const SineCase sineCases[] = {
    {"tl-48k-stereo-192-crc.mp2", 48000, 0, 192, 1, {440, 1000}, 75},
    {"tl-48k-dual-384-crc.mp2", 48000, 2, 384, 1, {440, 1000}, 83},
    {"tl-48k-stereo-64.mp2", 48000, 0, 64, 0, {440, 1000}, 65},
    {"tl-48k-mono-32.mp2", 48000, 3, 32, 0, {1000, 0}, 76},
    {"tl-48k-mono-192-crc.mp2", 48000, 3, 192, 1, {1000, 0}, 83},
    {"tl-44k-mono-160.mp2", 44100, 3, 160, 0, {1000, 0}, 83},
    {"tl-32k-mono-48.mp2", 32000, 3, 48, 0, {1000, 0}, 85},
    {"tl-24k-stereo-96-crc.mp2", 24000, 0, 96, 1, {440, 1500}, 59},
    {"tl-24k-mono-32.mp2", 24000, 3, 32, 0, {700, 0}, 52},
    {"ff-48k-stereo-256.mp2", 48000, -1, 256, -1, {440, 1000}, 47},
    {"ff-24k-mono-96.mp2", 24000, 3, 96, -1, {700, 0}, 59},
};

TEST(Layer2Streams, SineTonesDecodeAtHighSnr)
{
    for (const SineCase &c : sineCases) {
        SCOPED_TRACE(c.file);
        const auto stream = readFixture(c.file);
        ASSERT_FALSE(stream.empty());
        const DecodedStream d = decodeStream(stream);
        ASSERT_FALSE(d.channels.empty());
        for (Layer2DecResult r : d.results)
            EXPECT_EQ(r, LAYER2DEC_OK);
        const int channels = c.mode == 3 ? 1 : 2;
        ASSERT_EQ(d.channels.size(), static_cast<size_t>(channels));
        EXPECT_EQ(d.info.codedSampleRate, c.rate);
        EXPECT_EQ(d.info.bitRate, c.bitRate * 1000);
        if (c.mode >= 0) {
            EXPECT_EQ(d.info.mode, c.mode);
        }
        if (c.crc >= 0) {
            EXPECT_EQ(d.info.crcPresent, c.crc);
        }
        const size_t length = d.channels[0].size();
        // Skip the encoder's start-up and the last frame.
        const size_t begin = 2 * LAYER2DEC_FRAME_SAMPLES;
        const size_t end = length - LAYER2DEC_FRAME_SAMPLES;
        ASSERT_GT(end, begin + 1000);
        for (int ch = 0; ch < channels; ++ch) {
            const double snr = sineSnrDb(d.channels[static_cast<size_t>(ch)], c.frequency[ch], c.rate, begin, end);
            EXPECT_GE(snr, c.minSnrDb) << "channel " << ch;
        }
    }
}

struct BandCase
{
    const char *file;
    const char *source; // raw 16-bit little-endian, interleaved
    int channels;
    int expectJointFrames;
};

const BandCase bandCases[] = {
    {"tl-48k-mono-noise-192.mp2", "noise-48k-mono.raw", 1, 0},
    {"tl-48k-mono-speech-128.mp2", "speech-48k-mono.raw", 1, 0},
    {"tl-48k-joint-192-noise.mp2", "noise-48k-stereo.raw", 2, 1},
};

TEST(Layer2Streams, NoiseAndSpeechKeepTheirBandEnergies)
{
    const std::vector<double> edges = {100, 200, 400, 800, 1600, 3200, 6400, 12800, 19000};
    for (const BandCase &c : bandCases) {
        SCOPED_TRACE(c.file);
        const DecodedStream d = decodeStream(readFixture(c.file));
        ASSERT_EQ(d.channels.size(), static_cast<size_t>(c.channels));
        if (c.expectJointFrames) {
            EXPECT_NE(std::count(d.modes.begin(), d.modes.end(), 1), 0);
        }
        for (Layer2DecResult r : d.results)
            EXPECT_EQ(r, LAYER2DEC_OK);
        const std::vector<double> all = rawToDoubles(readFixture(c.source));
        for (int ch = 0; ch < c.channels; ++ch) {
            std::vector<double> source;
            for (size_t i = static_cast<size_t>(ch); i < all.size(); i += static_cast<size_t>(c.channels))
                source.push_back(all[i]);
            const std::vector<double> &decoded = d.channels[static_cast<size_t>(ch)];
            const int delay = bestDelay(source, decoded, 2000);
            std::vector<double> aligned(decoded.begin() + delay, decoded.end());
            const size_t length = std::min(source.size(), aligned.size()) - 2048;
            const auto expected = bandEnergiesDb(source, 1024, length, 48000, edges);
            const auto got = bandEnergiesDb(aligned, 1024, length, 48000, edges);
            const double loudest = *std::max_element(expected.begin(), expected.end());
            for (size_t b = 0; b < expected.size(); ++b) {
                if (expected[b] < loudest - 40)
                    continue; // too quiet in the source to say anything
                // Measured: at most 0.65 dB off (the highest bands of joint stereo).
                EXPECT_NEAR(got[b], expected[b], 1.0) << "band " << b << " channel " << ch;
            }
        }
    }
}

} // namespace
