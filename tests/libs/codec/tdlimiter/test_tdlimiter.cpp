// The look-ahead limiter: delay, gain, threshold and parameter limits.
#include "TdLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int32_t Unity = 0x7FFFFFFF; // gain mantissa 1.0 with exponent 0
constexpr int32_t FullScaleWorking = 0x7FFFFFFF >> 11;

struct Limiter
{
    TdLimiterHandle h;
    Limiter(uint32_t attackMs, uint32_t releaseMs, int32_t threshold, uint32_t channels, uint32_t rate)
        : h(TdLimiter_Create(attackMs, releaseMs, threshold, channels, rate))
    {
    }
    ~Limiter() { TdLimiter_Destroy(h); }
    std::vector<int16_t> run(std::vector<int32_t> in, int32_t mantissa = Unity, int32_t exponent = 0,
                             uint32_t smooth = 0)
    {
        const uint32_t channels = 2;
        std::vector<int16_t> out(in.size());
        TdLimiter_Apply(h, in.data(), out.data(), &mantissa, &exponent, 0, smooth,
                        static_cast<uint32_t>(in.size() / channels));
        return out;
    }
};

TEST(TdLimiter, QuietSignalPassesDelayedByTheAttack)
{
    Limiter l(5, 50, 0x7FFFFFFF, 2, 48000);
    ASSERT_NE(l.h, nullptr);
    const uint32_t delay = TdLimiter_GetDelay(l.h);
    EXPECT_EQ(delay, 240u);
    std::vector<int32_t> in(2 * 1000);
    for (size_t j = 0; j < 1000; ++j) {
        in[2 * j] = static_cast<int32_t>(j * 32) << 5; // 16-bit value j * 32 in the working format
        in[2 * j + 1] = -in[2 * j];
    }
    const auto out = l.run(in);
    for (size_t j = 0; j < 1000; ++j) {
        const int expected = j < delay ? 0 : static_cast<int>((j - delay) * 32);
        ASSERT_NEAR(out[2 * j], expected, 1) << j;
        ASSERT_NEAR(out[2 * j + 1], -expected, 1) << j;
    }
    EXPECT_EQ(TdLimiter_GetLowestGain(l.h), 0x40000000);
}

TEST(TdLimiter, PeakIsHeldToTheThresholdWithoutOvershoot)
{
    const int32_t threshold = 0x7FFFFFFF / 4; // -12 dB: 8191 in 16 bits
    Limiter l(5, 50, threshold, 2, 48000);
    const size_t delay = TdLimiter_GetDelay(l.h);
    std::vector<int32_t> in(2 * 2000, 0);
    const size_t peakAt = 1000;
    in[2 * peakAt] = FullScaleWorking;
    in[2 * peakAt + 1] = -FullScaleWorking;
    const auto out = l.run(in);
    const int limit = threshold >> 16;
    for (size_t j = 0; j < 2000; ++j) {
        ASSERT_LE(std::abs(out[2 * j]), limit + 1) << j;
        ASSERT_LE(std::abs(out[2 * j + 1]), limit + 1) << j;
    }
    EXPECT_NEAR(out[2 * (peakAt + delay)], limit, 2);
    EXPECT_NEAR(out[2 * (peakAt + delay) + 1], -limit, 2);
    EXPECT_LT(TdLimiter_GetLowestGain(l.h), 0x40000000 / 3);
}

TEST(TdLimiter, LoudNoiseNeverExceedsTheThreshold)
{
    const int32_t threshold = static_cast<int32_t>(0x7FFFFFFF * 0.5);
    Limiter l(5, 50, threshold, 2, 48000);
    std::srand(7);
    const int limit = (threshold >> 16) + 1;
    for (int block = 0; block < 20; ++block) {
        std::vector<int32_t> in(2 * 1024);
        for (auto &v : in)
            v = static_cast<int32_t>((std::rand() % 65536 - 32768) * ((block % 3) + 1)) << 4;
        const auto out = l.run(in, Unity, block % 2);
        for (int16_t v : out)
            ASSERT_LE(std::abs(v), limit) << block;
    }
}

TEST(TdLimiter, GainExponentScalesInputsBeyondTheMantissaHeadroom)
{
    // Mantissa 0.25 (one bit of headroom) with exponent 3: the gain is 2; one bit of
    // the exponent goes into the mantissa and the rest scales the input by 4, saturating.
    Limiter l(1, 50, 0x7FFFFFFF, 2, 48000);
    std::vector<int32_t> in = {1000 << 5, -(1000 << 5), 0x7FFFFFF0, -0x7FFFFFF0};
    const int32_t mantissa = 0x20000000;
    const int32_t exponent = 3;
    std::vector<int16_t> out(4);
    std::vector<int32_t> work = in;
    TdLimiter_Apply(l.h, work.data(), out.data(), &mantissa, &exponent, 0, 0, 2);
    EXPECT_EQ(work[0], 4 * (1000 << 5));
    EXPECT_EQ(work[1], -4 * (1000 << 5));
    EXPECT_EQ(work[2], 0x7FFFFFFF);
    EXPECT_EQ(work[3], -0x7FFFFFFF);
}

TEST(TdLimiter, SmoothedGainGlidesFromTheOldToTheNewGain)
{
    Limiter l(1, 50, 0x7FFFFFFF, 2, 48000);
    const uint32_t delay = TdLimiter_GetDelay(l.h);
    const int32_t level = 8000 << 5;
    std::vector<int32_t> block(2 * 2000, level);
    // Gain 1.0 (0.5 with exponent 1), then 0.5 (0.5 with exponent 0) after 100 instants.
    l.run(block, 0x40000000, 1, 0);
    const auto out = l.run(block, 0x40000000, 0, 100);
    EXPECT_NEAR(out[2 * (50 + delay)], 8000, 40);    // still the old gain
    EXPECT_LT(out[2 * (400 + delay)], 7000);          // on its way down
    EXPECT_NEAR(out[2 * (1990)], 4000, 40);          // arrived
    for (size_t j = 1; j + 1 < 2000; ++j)
        ASSERT_LE(out[2 * (j + 1)], out[2 * j] + 1) << j; // no step upwards
}

TEST(TdLimiter, ParameterLimits)
{
    Limiter l(15, 50, 0x7FFFFFFF, 2, 48000);
    EXPECT_EQ(TdLimiter_SetSampleRate(l.h, 96000), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_SetSampleRate(l.h, 0), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_GetDelay(l.h), 720u);
    EXPECT_EQ(TdLimiter_SetSampleRate(l.h, 32000), TDLIMIT_OK);
    EXPECT_EQ(TdLimiter_GetDelay(l.h), 480u);
    EXPECT_EQ(TdLimiter_SetAttack(l.h, 16), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_SetAttack(l.h, 0), TDLIMIT_OK);
    EXPECT_EQ(TdLimiter_GetDelay(l.h), 1u); // never shorter than one sample
    EXPECT_EQ(TdLimiter_SetNumChannels(l.h, 3), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_SetNumChannels(l.h, 0), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_SetNumChannels(l.h, 1), TDLIMIT_OK);
    EXPECT_EQ(TdLimiter_SetRelease(nullptr, 10), TDLIMIT_INVALID_HANDLE);
    EXPECT_EQ(TdLimiter_Create(15, 50, 0x7FFFFFFF, 2, 0), nullptr);
    // An attack of 0 ms still makes a working limiter.
    Limiter shortest(0, 50, 0x7FFFFFFF, 2, 48000);
    ASSERT_NE(shortest.h, nullptr);
    EXPECT_EQ(TdLimiter_GetDelay(shortest.h), 1u);
    // 1.0 as a gain of 0.5 with exponent 1: exact, so the output is the input one sample later.
    const auto out = shortest.run({100 << 5, 200 << 5, 300 << 5, 400 << 5}, 0x40000000, 1);
    EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 100, 200}));
}

TEST(TdLimiter, ReciprocalAndLibraryInformation)
{
    EXPECT_EQ(TdLimiter_ReciprocalQ31(0), 0x7FFFFFFF);
    EXPECT_EQ(TdLimiter_ReciprocalQ31(1), 0x7FFFFFFF);
    EXPECT_EQ(TdLimiter_ReciprocalQ31(2), 0x40000000);
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    EXPECT_EQ(TdLimiter_GetLibInfo(nullptr), TDLIMIT_INVALID_PARAMETER);
    EXPECT_EQ(TdLimiter_GetLibInfo(table), 0);
    EXPECT_EQ(TdLimiter_GetLibInfo(table), 0);
    EXPECT_EQ(table[0].moduleId, static_cast<uint32_t>(REZ_MODULE_TD_LIMITER));
    EXPECT_EQ(table[1].moduleId, static_cast<uint32_t>(REZ_MODULE_TOOLS));
    EXPECT_EQ(table[2].moduleId, static_cast<uint32_t>(REZ_MODULE_TD_LIMITER));
    EXPECT_STREQ(table[0].versionText, "2.14.0");
}

TEST(TdLimiter, InterleaveHelpers)
{
    const int16_t planar[6] = {1, 2, 3, 10, 20, 30};
    int16_t out[6];
    RezTools_InterleavePcm16(planar, out, 2, 3, 3);
    EXPECT_EQ(std::vector<int16_t>(out, out + 6), (std::vector<int16_t>{1, 10, 2, 20, 3, 30}));
    const int32_t planar32[4] = {1, 2, 10, 20};
    int32_t out32[4];
    RezTools_Interleave32(planar32, out32, 2, 2, 2);
    EXPECT_EQ(std::vector<int32_t>(out32, out32 + 4), (std::vector<int32_t>{1, 10, 2, 20}));
}

} // namespace
