// Fixed-point functions swept against double arithmetic.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

namespace {

double value(int32_t m, int e)
{
    return std::ldexp(static_cast<double>(m), e - 31);
}

double q31(int32_t m)
{
    return value(m, 0);
}

std::vector<int32_t> sweep(int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<int32_t> values = {1, -1, 2, 3, 0x40000000, INT32_MAX, INT32_MIN, -0x40000000, 12345, -777};
    while (static_cast<int>(values.size()) < count) {
        const int bits = 1 + static_cast<int>(rng() % 31);
        int32_t v = static_cast<int32_t>(rng() & RezTools_BitMask[bits]);
        values.push_back(rng() & 1 ? -v : v);
    }
    return values;
}

TEST(FixedPoint, EdgeValues)
{
    int e = 99;
    EXPECT_EQ(RezTools_MultiplyNormalized(INT32_MIN, INT32_MIN, &e), 0x40000000);
    EXPECT_EQ(e, 1);
    EXPECT_EQ(RezTools_Divide(1, 2), 0x40000000);
    EXPECT_EQ(RezTools_Divide(5, 5), 0x7FFFFFFF);
    EXPECT_EQ(RezTools_DivideSigned(12345, 0, &e), 0x7FFFFFFF);
    EXPECT_EQ(e, 14);
    EXPECT_EQ(RezTools_ScaleValueSaturate(0x40000000, 1), 0x7FFFFFFF);
    EXPECT_EQ(RezTools_ScaleValueSaturate(-2, -1), 0);
    EXPECT_EQ(RezTools_ScaleValueSaturate(-3, -1), -2);
    EXPECT_EQ(RezTools_ScaleValueSaturate(-0x40000001, 1), INT32_MIN + 1);
    EXPECT_EQ(RezTools_ScaleValueSaturate(-0x40000000, 1), INT32_MIN + 1);
    const int32_t extremes[2] = {INT32_MAX, INT32_MIN};
    int16_t pcm[2];
    RezTools_ConvertToPcm16(pcm, extremes, 2, 0);
    EXPECT_EQ(pcm[0], 32767);
    EXPECT_EQ(pcm[1], -32768);
    EXPECT_EQ(RezTools_Log2Int(2), 0x2000000);
    EXPECT_EQ(RezTools_Log2Int(193), 0);
    EXPECT_EQ(RezTools_Log2Int(0), 0);
    EXPECT_EQ(RezTools_Log2(0, 5, &e), INT32_MIN);
    EXPECT_EQ(e, 31);
    EXPECT_EQ(RezTools_PowerInt(0x12345678, 3, 0, &e), 0x40000000);
    EXPECT_EQ(e, 1);
    EXPECT_EQ(RezTools_MultiplyCeil(48000, RezTools_Divide(20, 1000)), 960);
    EXPECT_EQ(RezTools_DivideNormalized(7, 0, &e), 0x7FFFFFFF) << "a zero divisor gives the largest value";
    EXPECT_EQ(RezTools_Norm(0), 31);
    EXPECT_EQ(RezTools_Norm(-1), 31);
    EXPECT_EQ(RezTools_Norm(1), 30);
    EXPECT_EQ(RezTools_ShiftRightRoundToZero(-5 << 16, 15), -5);
    EXPECT_EQ(RezTools_ShiftRightRoundToZero((-5 << 16) - 1, 15), -5);
    EXPECT_EQ(RezTools_ShiftRightRoundToZero((5 << 16) + 1, 15), 5);
}

TEST(FixedPoint, Log2TableIsTheLogarithm)
{
    for (int i = 1; i <= 192; ++i)
        EXPECT_NEAR(RezTools_Log2Int(i) / 33554432.0, std::log2(i), 1e-7) << i;
}

TEST(FixedPoint, MultiplyAndDivideMatchDouble)
{
    const auto values = sweep(400, 1);
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        const int32_t a = values[i], b = values[i + 1];
        int e;
        const int32_t m = RezTools_MultiplyNormalized(a, b, &e);
        const double product = q31(a) * q31(b);
        EXPECT_NEAR(value(m, e), product, std::fabs(product) * 4e-9) << a << " * " << b;

        if (b != 0) {
            const double quotient = q31(a) / q31(b);
            const int32_t d = RezTools_DivideNormalized(a, b, &e);
            EXPECT_NEAR(value(d, e), quotient, std::fabs(quotient) * 4e-9) << a << " / " << b;
            const int32_t s = RezTools_DivideSigned(a, b, &e);
            EXPECT_NEAR(value(s, e), quotient, std::fabs(quotient) * 8e-9) << a << " / " << b;
            if (std::fabs(quotient) < 0.999) {
                EXPECT_NEAR(q31(RezTools_Divide(a, b)), quotient, 2e-9) << a << " / " << b;
            }
        }
    }
}

TEST(FixedPoint, Log2Exp2AndPowersMatchDouble)
{
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        const int32_t m = 1 + static_cast<int32_t>(rng() % INT32_MAX);
        const int e = static_cast<int>(rng() % 41) - 20;
        int eOut;
        const int32_t log = RezTools_Log2(m, e, &eOut);
        // Ten terms of the series of ln(1 - z), z up to 0.5, leave up to about 1.3e-4.
        EXPECT_NEAR(value(log, eOut), std::log2(value(m, e)), 1.4e-4) << m << " e " << e;

        const int32_t x = static_cast<int32_t>(rng()) ;
        const int ex = static_cast<int>(rng() % 8) - 4;
        const int32_t p = RezTools_Exp2(x, ex, &eOut);
        const double expected = std::exp2(value(x, ex));
        EXPECT_NEAR(value(p, eOut), expected, expected * 3e-5) << x << " e " << ex;
    }
    struct Case {
        const char *name;
        int32_t (*run)(int *e);
        double expected, tolerance;
    };
    const Case cases[] = {
        {"0.75^3", [](int *e) { return RezTools_PowerInt(0x60000000, 0, 3, e); }, 0.421875, 1e-8},
        {"0.75^-2", [](int *e) { return RezTools_PowerInt(0x60000000, 0, -2, e); }, 1 / 0.5625, 1e-8},
        {"(3 * 2^4)^2", [](int *e) { return RezTools_PowerInt(0x60000000, 6, 2, e); }, 48.0 * 48.0, 1e-6},
        {"0.5^0.5", [](int *e) { return RezTools_Power(0x40000000, 0, 0x40000000, 0, e); }, std::sqrt(0.5), 5e-5},
        {"10^1.5", [](int *e) { return RezTools_Power(0x50000000, 4, 0x60000000, 1, e); }, std::pow(10, 1.5), 5e-3},
        {"2^(0.5 * 0.25)", [](int *e) { return RezTools_Exp2OfProduct(0x40000000, 0, 0x20000000, 0, e); },
         std::exp2(0.125), 5e-5},
    };
    for (const Case &c : cases) {
        int e;
        const int32_t m = c.run(&e);
        EXPECT_NEAR(value(m, e), c.expected, c.tolerance) << c.name;
    }
    EXPECT_NEAR(q31(RezTools_Exp2OfProductToQ31(0x40000000, 0, INT32_MIN, 0)), std::sqrt(0.5), 5e-5);
    EXPECT_EQ(RezTools_Exp2OfProductToQ31(0x40000000, 6, 0x40000000, 6), INT32_MAX) << "2^256 saturates";
}

TEST(FixedPoint, VectorScaling)
{
    int32_t x[6] = {1, -1, 0x40000000, -0x40000000, 0x12345, INT32_MIN};
    int32_t y[6];
    EXPECT_EQ(RezTools_GetHeadroom(x + 1, 1), 31);
    EXPECT_EQ(RezTools_GetHeadroom(x, 2), 30);
    EXPECT_EQ(RezTools_GetHeadroom(x + 4, 1), 14);
    EXPECT_EQ(RezTools_GetHeadroom(x, 0), 31);
    EXPECT_EQ(RezTools_GetHeadroom(x, 6), 0);

    RezTools_ScaleCopySaturated(y, x, 6, 1);
    const int32_t saturated[6] = {2, -2, INT32_MAX, INT32_MIN + 1, 0x2468A, INT32_MIN + 1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(y[i], saturated[i]) << i;
    RezTools_ScaleCopy(y, x, 6, -4);
    EXPECT_EQ(y[4], 0x1234);
    EXPECT_EQ(y[5], INT32_MIN >> 4);
    RezTools_ScaleCopy(y, x, 6, 0);
    EXPECT_EQ(y[2], x[2]);
    int32_t z[2] = {0x40000000, -0x20000000};
    RezTools_ScaleValuesWithFactor(z, 0x40000000, 2, 1); // times 0.5, times 2
    EXPECT_EQ(z[0], 0x40000000);
    EXPECT_EQ(z[1], -0x20000000);
    int32_t w[3] = {100, 0x7FFF0000, INT32_MIN};
    RezTools_ScaleValuesSaturated(w, 3, 100);
    EXPECT_EQ(w[0], INT32_MAX);
    EXPECT_EQ(w[2], INT32_MIN + 1);

    // 16-bit conversion rounds to nearest.
    const int32_t in[3] = {0x00018000, 0x00017FFF, -0x00018000};
    int16_t pcm[3];
    RezTools_ConvertToPcm16(pcm, in, 3, 0);
    EXPECT_EQ(pcm[0], 2);
    EXPECT_EQ(pcm[1], 1);
    EXPECT_EQ(pcm[2], -1);
}

} // namespace
