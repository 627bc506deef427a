// Concealment on the sub-band samples: fade-out, mute with comfort noise, fade-in.
#include "layer2_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using Samples = int32_t[2][Layer2TimeSlots][Layer2SubBands];

struct ConcealFixture : testing::Test
{
    Layer2ConcealState state{};
    Samples frame{};
    Samples out{};

    void SetUp() override
    {
        Layer2_ConcealDefaults(&state);
        Layer2_ConcealReset(&state);
        for (int ch = 0; ch < 2; ++ch)
            for (int t = 0; t < Layer2TimeSlots; ++t)
                for (int sb = 0; sb < Layer2SubBands; ++sb)
                    frame[ch][t][sb] = (sb + 1) * 1000000 * (t % 2 ? 1 : -1);
    }

    // Gain in dB of the output relative to the good frame (NaN-free: -200 for silence).
    double step(bool good)
    {
        std::memcpy(out, frame, sizeof out);
        if (!good)
            std::memset(out, 0x55, sizeof out); // what a damaged frame leaves behind
        Layer2_Conceal(&state, out, good ? 1 : 0);
        double e = 0, ref = 0;
        for (int t = 0; t < Layer2TimeSlots; ++t)
            for (int sb = 0; sb < Layer2SubBands; ++sb) {
                e += std::pow(static_cast<double>(out[0][t][sb]), 2);
                ref += std::pow(static_cast<double>(frame[0][t][sb]), 2);
            }
        return e == 0 ? -200.0 : 10 * std::log10(e / ref);
    }
};

TEST_F(ConcealFixture, FadesOutMutesAndFadesBackIn)
{
    EXPECT_NEAR(step(true), 0.0, 1e-6);
    const double fadeOut[] = {-3, -6, -9, -12, -15};
    for (double expected : fadeOut)
        EXPECT_NEAR(step(false), expected, 0.05);
    // Muted: comfort noise far below the signal.
    const double muted = step(false);
    EXPECT_LT(muted, -60.0);
    EXPECT_GT(muted, -200.0);
    // Three good frames are not enough; the fourth starts the fade-in.
    for (int i = 0; i < 3; ++i)
        EXPECT_LT(step(true), -60.0) << i;
    const double fadeIn[] = {-15, -12, -9, -6, -3};
    for (double expected : fadeIn)
        EXPECT_NEAR(step(true), expected, 0.05);
    EXPECT_NEAR(step(true), 0.0, 1e-6);
}

TEST_F(ConcealFixture, OneBadFrameBetweenGoodOnesIsRepeatedOnce)
{
    step(true);
    EXPECT_NEAR(step(false), -3.0, 0.05);
    EXPECT_NEAR(step(true), 0.0, 1e-6);
}

TEST_F(ConcealFixture, BadFrameWhileFadingInFadesOutFromTheSameLevel)
{
    step(true);
    for (int i = 0; i < 6; ++i)
        step(false);
    for (int i = 0; i < 4; ++i)
        step(true);                       // fade-in starts at -15 dB
    EXPECT_NEAR(step(true), -12.0, 0.05); // then -12
    // Fade-out continues below the level reached.
    EXPECT_NEAR(step(false), -15.0, 0.05);
}

TEST_F(ConcealFixture, HighNoiseLevelMeansSilence)
{
    state.noiseLevel = 62;
    step(true);
    for (int i = 0; i < 5; ++i)
        step(false);
    EXPECT_EQ(step(false), -200.0);
}

TEST_F(ConcealFixture, DisabledConcealmentZeroesBadFrames)
{
    state.enabled = 0;
    step(true);
    EXPECT_EQ(step(false), -200.0);
    EXPECT_NEAR(step(true), 0.0, 1e-6);
}

TEST(Layer2FadeTables, AttenuationsInQuarterDecibels)
{
    int16_t attenuation[16];
    for (int k = 0; k < 16; ++k)
        attenuation[k] = static_cast<int16_t>(k * 16); // 4 dB steps
    int16_t table[16];
    ASSERT_EQ(Layer2_FadeTableFromAttenuations(attenuation, table), 0);
    EXPECT_GE(table[0], 32700); // 0 dB saturates just below 1.0
    for (int k = 1; k < 16; ++k)
        EXPECT_NEAR(table[k], 32768.0 * std::pow(10.0, -4.0 * k / 20.0), 2.0) << k;
    attenuation[3] = 256;
    EXPECT_EQ(Layer2_FadeTableFromAttenuations(attenuation, table), -1);
}

} // namespace
