// Fixed-point sine, cosine and arctangent swept against double.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

namespace {

constexpr double Q29 = 536870912.0, Q30 = 1073741824.0, Q31 = 2147483648.0;

TEST(Trigonometry, EdgeValues)
{
    EXPECT_EQ(RezTools_Atan2(0, 0), 0);
    EXPECT_EQ(RezTools_Atan2(0, -1), REZ_PI_Q29);
    EXPECT_EQ(RezTools_Atan2(1, 0), 843314857);
    EXPECT_EQ(RezTools_Atan2(-5, 0), -843314857);
    EXPECT_EQ(RezTools_Atan(0x2000000), 843314842);
    int32_t s = 1, c = 1;
    EXPECT_EQ(RezTools_SinCosTable(0, 0, &s, &c), 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(c, 32767 << 16);
}

TEST(Trigonometry, SineTableIsTheCircle)
{
    for (int k = 0; k <= 256; ++k) {
        const double angle = 2 * M_PI * k / 2048;
        const auto sine = static_cast<int16_t>(RezTools_SineTable[k] >> 16);
        const auto cosine = static_cast<int16_t>(RezTools_SineTable[k] & 0xFFFF);
        EXPECT_NEAR(sine / 32768.0, std::sin(angle), 1.0 / 32768) << k;
        EXPECT_NEAR(cosine / 32768.0, std::cos(angle), 1.0 / 32768) << k;
    }
}

TEST(Trigonometry, SineAndCosineMatchDouble)
{
    std::mt19937 rng(3);
    for (int exponent : {0, 2, 3, 5}) {
        for (int i = 0; i < 3000; ++i) {
            const auto angle = static_cast<int32_t>(rng());
            const double radians = std::ldexp(angle, exponent - 31);
            // Table step of 2 pi / 2048 with a first-order correction: 2e-4 covers it.
            ASSERT_NEAR(RezTools_Sin(angle, exponent) / Q31, std::sin(radians), 2e-4) << angle << " e " << exponent;
            ASSERT_NEAR(RezTools_Cos(angle, exponent) / Q31, std::cos(radians), 2e-4) << angle << " e " << exponent;
        }
    }
}

TEST(Trigonometry, ArctangentMatchesDouble)
{
    std::mt19937 rng(4);
    for (int i = 0; i < 20000; ++i) {
        const int bits = 1 + static_cast<int>(rng() % 31);
        auto x = static_cast<int32_t>(rng() & RezTools_BitMask[bits]);
        if (rng() & 1)
            x = -x;
        ASSERT_NEAR(RezTools_Atan(x) / Q30, std::atan(x / 33554432.0), 6e-3) << x;
    }
    // Below 1.0 the odd polynomial is much closer; up to 1.28 the second-order
    // series around 1 leaves up to h^3 / 12.
    for (int32_t x = -33554431; x <= 33554431; x += 12345)
        ASSERT_NEAR(RezTools_Atan(x) / Q30, std::atan(x / 33554432.0), 1e-4) << x;
    for (int32_t x = 33554432; x < 42949673; x += 1234)
        ASSERT_NEAR(RezTools_Atan(x) / Q30, std::atan(x / 33554432.0), 2e-3) << x;
}

TEST(Trigonometry, Atan2CoversEveryQuadrant)
{
    std::mt19937 rng(6);
    for (int i = 0; i < 20000; ++i) {
        const auto y = static_cast<int32_t>(rng()), x = static_cast<int32_t>(rng()) >> (rng() % 20);
        const double angle = RezTools_Atan2(y, x) / Q29;
        const double expected = std::atan2(static_cast<double>(y), static_cast<double>(x));
        double difference = std::fabs(angle - expected);
        difference = std::min(difference, 2 * M_PI - difference); // -pi and pi are one angle
        // Ratios from 32 on come from one table entry per power of two, at most
        // atan(128) - atan(32) away.
        const double ratio = std::fabs(static_cast<double>(y) / x);
        ASSERT_LT(difference, ratio < 32 ? 6e-3 : 0.024) << y << " / " << x;
        ASSERT_GT(angle, -M_PI - 1e-9);
        ASSERT_LE(angle, M_PI + 1e-9);
    }
    EXPECT_NEAR(RezTools_Atan2(INT32_MIN, INT32_MIN) / Q29, -3 * M_PI / 4, 1e-3);
    EXPECT_NEAR(RezTools_Atan2(INT32_MAX, 1) / Q29, M_PI / 2, 1e-3);
}

} // namespace
