// The dynamic range control's band gains on a channel's spectrum, checked against
// the gain each payload value stands for: 0.25 dB per step for dynamic range info,
// 48.164 dB - 6.0206 dB x upper nibble - 0.4014 dB x lower nibble for heavy
// compression.
#include "aac_core.h"
#include "aac_drc.h"
#include "aac_rawblock.h"
#include "aac_spectral.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t FrameLength = 1024;
constexpr int32_t Line = 1 << 20;
constexpr int WindowExponent = 3;

// The value of line k in dB relative to an untouched line.
double lineDb(const AacDecSpectrum &s, uint32_t k, uint32_t granule)
{
    const double v = s.lines[k] * std::ldexp(1.0, s.windowExponent[k / granule]);
    return 20 * std::log10(v / std::ldexp(double(Line), WindowExponent));
}

struct Fixture
{
    AacDecDrc drc{};
    AacDecDrcChannel channel{};
    std::unique_ptr<AacDecSpectrum> spectrum = std::make_unique<AacDecSpectrum>();
    int32_t gainWord = 11;

    Fixture()
    {
        AacDec_DrcInit(&drc);
        AacDec_DrcResetChannel(&channel);
        for (int32_t &x : spectrum->lines)
            x = Line;
        for (int16_t &e : spectrum->windowExponent)
            e = WindowExponent;
    }
    void set(int32_t id, int32_t value) { ASSERT_EQ(AacDec_DrcSetParam(&drc, id, value), AACDEC_OK); }
    void payload(uint8_t type, std::vector<uint16_t> tops, std::vector<uint8_t> values)
    {
        channel.type = type;
        channel.bandCount = static_cast<uint8_t>(tops.size());
        for (size_t b = 0; b < tops.size(); ++b) {
            channel.bandTop[b] = tops[b];
            channel.bandValue[b] = values[b];
        }
    }
    void apply(bool eightShort = false)
    {
        AacDecDrcChannel *channels[1] = {&channel};
        AacDec_DrcPrepare(&drc, nullptr, channels, 0, 1);
        AacDec_DrcApply(&drc, nullptr, spectrum.get(), &channel, &gainWord, 0, FrameLength, eightShort,
                        eightShort ? 2 : 0, false);
    }
};

TEST(AacDrc, BandsOfAnEightShortFrameCoverLinesAcrossItsWindows)
{
    Fixture f;
    f.set(0, 127); // full cut
    f.set(2, -1);
    // Band 0 ends with window 0's 128 lines, band 1 with window 2's.
    f.payload(1, {31, 95}, {0x80 | 24, 0x80 | 12});
    f.apply(true);
    const uint32_t granule = FrameLength / 8;
    for (uint32_t k = 0; k < FrameLength; ++k) {
        const double expected = k < 128 ? 20 * std::log10(0.5) : k < 384 ? 20 * std::log10(std::sqrt(0.5)) : 0;
        ASSERT_NEAR(lineDb(*f.spectrum, k, granule), expected, 0.001) << "line " << k;
    }
}

TEST(AacDrc, LongFrameLinesBeyondTheLastBandKeepTheirLevel)
{
    Fixture f;
    f.set(1, 127); // full boost
    f.set(2, -1);
    f.payload(1, {63}, {48}); // +12 dB on lines 0..255
    f.apply();
    EXPECT_NEAR(lineDb(*f.spectrum, 0, FrameLength), 20 * std::log10(4.0), 0.001);
    EXPECT_NEAR(lineDb(*f.spectrum, 255, FrameLength), 20 * std::log10(4.0), 0.001);
    EXPECT_NEAR(lineDb(*f.spectrum, 256, FrameLength), 0, 0.001);
    EXPECT_NEAR(lineDb(*f.spectrum, 1023, FrameLength), 0, 0.001);
}

// A boost of 127 steps (31.75 dB) over the whole frame: the lines' headroom takes
// the gains' exponent, so that even lines of 3 come out within a step of the exact
// product rather than losing the exponent's six bits.
TEST(AacDrc, WholeFrameBoostKeepsQuietLinesPrecise)
{
    for (bool eightShort : {false, true}) {
        Fixture f;
        for (int32_t &x : f.spectrum->lines)
            x = 3;
        f.set(1, 127);
        f.set(2, -1);
        f.payload(1, {255}, {0x7F});
        f.apply(eightShort);
        const double exact = 3 * std::pow(2.0, 127.0 / 24);
        for (uint32_t k : {0u, 500u, 1023u}) {
            const int window = eightShort ? int(k / 128) : 0;
            const double v = f.spectrum->lines[k] * std::ldexp(1.0, f.spectrum->windowExponent[window] - WindowExponent);
            EXPECT_NEAR(v, exact, 1.0) << k << (eightShort ? " eight short" : " long");
        }
    }
}

TEST(AacDrc, HeavyCompressionValues)
{
    const struct { uint8_t value; double db; } cases[] = {
        {0x00, 48.164}, {0x80, 48.164 - 8 * 6.0206}, {0x95, 48.164 - 9 * 6.0206 - 5 * 0.4014}, {0x7F, 0},
    };
    for (const auto &c : cases) {
        Fixture f;
        f.set(6, 1);
        f.set(2, -1);
        f.payload(2, {255}, {c.value});
        f.apply();
        // Heavy compression comes with the cut and boost at full strength.
        EXPECT_EQ(f.drc.effectiveCut, AacDrcFull);
        EXPECT_NEAR(lineDb(*f.spectrum, 500, FrameLength), c.db, 0.01) << int(c.value);
    }
}

TEST(AacDrc, NormalisationGoesToTheSpectrumOrToTheGainWord)
{
    for (int normalise : {0, 1}) {
        Fixture f;
        f.set(5, normalise);
        f.drc.programmeReferenceLevel = 80; // received: 4 dB above the target of 96
        f.drc.levelReceived = 1;
        f.payload(1, {255}, {0});
        f.apply();
        EXPECT_NEAR(20 * std::log10(f.gainWord / double(0x100000)), -4, 0.02);
        EXPECT_NEAR(lineDb(*f.spectrum, 10, FrameLength), normalise ? -4 : 0, 0.02);
    }
}

TEST(AacDrc, OffOrUnityLeavesTheSpectrumAlone)
{
    Fixture f;
    f.set(0, 127);
    f.set(10, 1); // bypass
    f.payload(1, {255}, {0x80 | 40});
    f.apply();
    EXPECT_EQ(f.spectrum->lines[7], Line);
    EXPECT_EQ(f.spectrum->windowExponent[0], WindowExponent);
    EXPECT_EQ(f.gainWord, 0x100000);
}

TEST(AacDrc, ChannelDataExpire)
{
    Fixture f;
    f.set(0, 127);
    f.set(2, -1);
    f.set(4, 2);
    f.payload(1, {255}, {0x80 | 24});
    for (int frame = 1; frame <= 3; ++frame) {
        Fixture fresh;
        std::swap(f.spectrum, fresh.spectrum);
        f.apply();
        EXPECT_NEAR(lineDb(*f.spectrum, 3, FrameLength), frame <= 2 ? 20 * std::log10(0.5) : 0, 0.001) << frame;
    }
}

TEST(AacDrc, OnlyNineFillPayloadsAreNotedPerFrame)
{
    // Ten payloads of one band, no options: 4 flag bits and a band value each.
    std::vector<uint8_t> bytes(32, 0);
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes.data(), uint32_t(bytes.size()), uint32_t(bytes.size() * 8), REZ_BIT_READ);
    AacDecDrc drc;
    AacDec_DrcInit(&drc);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(AacDec_DrcParsePayload(&drc, &bs, 1), 12);
    EXPECT_EQ(drc.fillPayloads, AacDrcMaxFillPayloads);
}

// Without a payload's presentation, a downmix lowers the level by 6.02 dB per halving
// of the channels: the cut follows the share of that change in the encoder's
// headroom (rounded to the parameter's steps), or goes full beyond it, with heavy
// compression once it overshoots by more than 39 steps.
TEST(AacDrc, DownmixLevelChangeSetsTheCut)
{
    const struct { int downmix, channels, encoderTarget; } cases[] = {
        {2, 3, 100}, {2, 6, 90}, {1, 2, 110}, {2, 6, 127}, {1, 6, 127}, {2, 3, 127},
    };
    constexpr int TargetLevel = 124;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.downmix) + " of " + std::to_string(c.channels) + ", encoder target " +
                     std::to_string(c.encoderTarget));
        AacDecDrc drc;
        AacDec_DrcInit(&drc);
        ASSERT_EQ(AacDec_DrcSetParam(&drc, 2, TargetLevel), AACDEC_OK);
        ASSERT_EQ(AacDec_DrcSetParam(&drc, 7, 0), AACDEC_OK);
        ASSERT_EQ(AacDec_DrcSetParam(&drc, 8, c.encoderTarget), AACDEC_OK);
        ASSERT_EQ(AacDec_DrcSetParam(&drc, 9, c.downmix), AACDEC_OK);
        std::vector<AacDecDrcChannel> states(static_cast<size_t>(c.channels));
        std::vector<AacDecDrcChannel *> channels;
        for (AacDecDrcChannel &s : states) {
            AacDec_DrcResetChannel(&s);
            channels.push_back(&s);
        }
        AacDec_DrcPrepare(&drc, nullptr, channels.data(), 0, c.channels);

        const double t = 4 * 6.0206 * std::log2(double(c.downmix) / c.channels);
        const double m = std::min(c.encoderTarget - TargetLevel, 0);
        if (m < t) {
            EXPECT_EQ(drc.effectiveCut, std::lround(127 * t / m) * 8454660);
            EXPECT_EQ(drc.effectiveHeavy, 0);
        } else {
            EXPECT_EQ(drc.effectiveCut, AacDrcFull);
            EXPECT_EQ(drc.effectiveHeavy, t - m < -39 ? 1 : 0);
        }
    }
}

TEST(AacDrc, ParameterRanges)
{
    AacDecDrc drc;
    AacDec_DrcInit(&drc);
    const struct { int32_t id, value; int result; } cases[] = {
        {0, 127, AACDEC_OK}, {0, 128, AACDEC_INVALID_PARAM}, {1, -1, AACDEC_INVALID_PARAM},
        {2, -127, AACDEC_OK}, {2, 128, AACDEC_INVALID_PARAM}, {3, 2, AACDEC_INVALID_PARAM},
        {4, -5, AACDEC_OK}, {7, -2, AACDEC_INVALID_PARAM}, {8, 127, AACDEC_OK}, {11, 0, AACDEC_INVALID_PARAM},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AacDec_DrcSetParam(&drc, c.id, c.value), c.result) << c.id << " = " << c.value;
    EXPECT_EQ(drc.cutFactor, 127 * 8454660);
    EXPECT_EQ(drc.expiryFrames, 0);
    EXPECT_EQ(AacDec_DrcSetParam(nullptr, 0, 0), AACDEC_INVALID_HANDLE);
}

} // namespace
