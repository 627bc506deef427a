// The FFT against a double-precision DFT, its scaling shifts, and its computed tables.
#include "RezFft_tables.h"
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

struct LengthShift {
    int length;
    int shift;
};

// Every supported length with the shift it adds to the exponent.
constexpr LengthShift Lengths[] = {
    {2, 1},   {3, 1},   {4, 1},   {5, 1},    {6, 4},   {8, 2},   {10, 5},  {12, 3},  {15, 3},  {16, 3},
    {20, 4},  {24, 6},  {30, 6},  {32, 4},   {40, 5},  {48, 6},  {60, 6},  {64, 5},  {80, 6},  {96, 7},
    {120, 7}, {128, 6}, {160, 10}, {192, 8}, {256, 7}, {384, 9}, {480, 9}, {512, 8},
};

std::vector<std::complex<double>> dft(const std::vector<int32_t> &data)
{
    const size_t n = data.size() / 2;
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const double angle = -2 * M_PI * static_cast<double>((i * k) % n) / static_cast<double>(n);
            sum += std::complex<double>(data[2 * i], data[2 * i + 1]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

TEST(Fft, MatchesDoubleDftForEveryLength)
{
    std::mt19937 rng(22);
    for (const LengthShift &row : Lengths) {
        // Amplitude with headroom for the worst case of the kernel's scaling.
        const double gain = std::ldexp(1.0, row.shift) / row.length;
        const double amplitude = std::ldexp(1.0, 29) * std::min(1.0, gain);
        std::uniform_real_distribution<double> value(-amplitude, amplitude);
        double worst = 0, power = 0;
        for (int trial = 0; trial < 8; ++trial) {
            std::vector<int32_t> data(2 * static_cast<size_t>(row.length));
            for (int32_t &v : data)
                v = static_cast<int32_t>(value(rng));
            const auto expected = dft(data);
            int scale = 3;
            RezTools_Fft(row.length, data.data(), &scale);
            ASSERT_EQ(scale, 3 + row.shift) << "length " << row.length;
            const double factor = std::ldexp(1.0, -row.shift);
            for (int k = 0; k < row.length; ++k) {
                const std::complex<double> got(data[2 * k], data[2 * k + 1]);
                worst = std::max(worst, std::abs(got - expected[k] * factor));
                power += std::norm(expected[k] * factor);
            }
        }
        const double rms = std::sqrt(power / (8.0 * row.length));
        // 16-bit coefficients: the largest error stays below 2^-13 of the spectrum's rms
        // level (measured: about 2^-14 for the long composites and radix-2 lengths).
        EXPECT_LT(worst / rms, 1.0 / 8192) << "length " << row.length << " worst " << worst << " rms " << rms;
    }
}

TEST(Fft, UnsupportedLengthsLeaveDataAndExponent)
{
    for (int length : {0, 1, 7, 9, 14, 36, 100, 240, 1024, -4}) {
        std::vector<int32_t> data(2048, 12345);
        int scale = 7;
        RezTools_Fft(length, data.data(), &scale);
        EXPECT_EQ(scale, 7) << length;
        for (int32_t v : data)
            ASSERT_EQ(v, 12345) << length;
    }
}

TEST(Fft, TwoPointHalvesSumAndDifference)
{
    int32_t data[4] = {1000001, -7, 3, 9};
    int scale = 0;
    RezTools_Fft(2, data, &scale);
    EXPECT_EQ(scale, 1);
    EXPECT_EQ(data[0], (1000001 + 3) / 2);
    EXPECT_EQ(data[1], 1);
    EXPECT_EQ(data[2], (1000001 - 3) / 2);
    EXPECT_EQ(data[3], -8);
}

TEST(Fft, ConstantInputGoesToBinZero)
{
    const int32_t v = 1 << 24;
    for (const LengthShift &row : Lengths) {
        std::vector<int32_t> data(2 * static_cast<size_t>(row.length));
        for (int i = 0; i < row.length; ++i)
            data[2 * i] = v;
        int scale = 0;
        RezTools_Fft(row.length, data.data(), &scale);
        const double expected = std::ldexp(static_cast<double>(v) * row.length, -row.shift);
        EXPECT_NEAR(data[0], expected, expected * 1e-4 + 64) << row.length;
        for (int k = 1; k < row.length; ++k) {
            ASSERT_NEAR(data[2 * k], 0, expected * 1e-4 + 64) << row.length << " bin " << k;
            ASSERT_NEAR(data[2 * k + 1], 0, expected * 1e-4 + 64) << row.length << " bin " << k;
        }
    }
    // Ten points: everything is shifted down by 5 at once.
    int32_t ten[20] = {};
    for (int i = 0; i < 10; ++i)
        ten[2 * i] = 3200;
    int scale = 0;
    RezTools_Fft(10, ten, &scale);
    EXPECT_EQ(ten[0], 3200 * 10 / 32);
}

TEST(Fft, Radix2ImpulseIsFlat)
{
    for (int ldn = 6; ldn <= 9; ++ldn) {
        const int n = 1 << ldn;
        std::vector<int32_t> data(2 * static_cast<size_t>(n));
        data[0] = 0x40000000;
        RezTools_FftRadix2(data.data(), ldn, RezTools_SineTable, 512);
        const int32_t expected = 0x40000000 >> (ldn - 1);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(data[2 * k], expected) << n << " bin " << k;
            ASSERT_EQ(data[2 * k + 1], 0) << n << " bin " << k;
        }
    }
}

TEST(Fft, BitReverseIsThePermutation)
{
    for (int n : {4, 8, 64, 128, 256, 512}) {
        int bits = 0;
        while ((1 << bits) < n)
            ++bits;
        std::vector<int32_t> data(2 * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            data[2 * i] = i;
            data[2 * i + 1] = -i;
        }
        RezTools_FftBitReverse(data.data(), n);
        for (int i = 0; i < n; ++i) {
            int reversed = 0;
            for (int b = 0; b < bits; ++b)
                reversed |= ((i >> b) & 1) << (bits - 1 - b);
            ASSERT_EQ(data[2 * i], reversed) << n;
            ASSERT_EQ(data[2 * i + 1], -reversed) << n;
        }
    }
}

int nearestQ15(double value)
{
    return std::min(static_cast<int>(std::floor(value * 32768.0 + 0.5)), 32767);
}

TEST(FftTables, PackedSineTablesHoldTheirAngles)
{
    struct Table {
        const uint32_t *table;
        int turn;
    };
    const Table tables[] = {{RezTools_SineTable4096, 4096}, {RezTools_SineTable1536, 1536},
                            {RezTools_SineTable640, 640}, {RezTools_SineTable1920, 1920}};
    for (const Table &t : tables) {
        EXPECT_EQ(t.table[0], 0x00007FFFu);
        EXPECT_EQ(t.table[t.turn / 8], 0x5A825A82u);
        for (int i = 0; i <= t.turn / 8; ++i) {
            const double angle = 2 * M_PI * i / t.turn;
            ASSERT_EQ(static_cast<int16_t>(t.table[i] & 0xFFFF), nearestQ15(std::cos(angle))) << t.turn << " " << i;
            ASSERT_EQ(static_cast<int16_t>(t.table[i] >> 16), nearestQ15(std::sin(angle))) << t.turn << " " << i;
        }
    }
}

TEST(FftTables, CompositeTwiddlesFollowTheRowColumnAngle)
{
    struct Composite {
        int n, l1;
        const int16_t *cosTable, *sinTable;
        int used;
    };
    const Composite composites[] = {
        {6, 2, RezTools_FftTwiddleCos6, RezTools_FftTwiddleSin6, 2},
        {20, 4, RezTools_FftTwiddleCos20, RezTools_FftTwiddleSin20, 12},
        {24, 2, RezTools_FftTwiddleCos24, RezTools_FftTwiddleSin24, 11},
        {30, 2, RezTools_FftTwiddleCos30, RezTools_FftTwiddleSin30, 14},
        {40, 5, RezTools_FftTwiddleCos40, RezTools_FftTwiddleSin40, 28},
        {48, 4, RezTools_FftTwiddleCos48, RezTools_FftTwiddleSin48, 33},
        {60, 4, RezTools_FftTwiddleCos60, RezTools_FftTwiddleSin60, 42},
        {80, 5, RezTools_FftTwiddleCos80, RezTools_FftTwiddleSin80, 60},
        {96, 3, RezTools_FftTwiddleCos96, RezTools_FftTwiddleSin96, 62},
        {120, 8, RezTools_FftTwiddleCos120, RezTools_FftTwiddleSin120, 98},
        {160, 10, RezTools_FftTwiddleCos160, RezTools_FftTwiddleSin160, 135},
        {192, 16, RezTools_FftTwiddleCos192, RezTools_FftTwiddleSin192, 165},
        {384, 12, RezTools_FftTwiddleCos384, RezTools_FftTwiddleSin384, 341},
        {480, 32, RezTools_FftTwiddleCos480, RezTools_FftTwiddleSin480, 434},
    };
    for (const Composite &c : composites) {
        const int l2 = c.n / c.l1;
        EXPECT_EQ((l2 - 1) * (c.l1 - 1), c.used) << c.n;
        for (int i = 0; i < c.n; ++i) {
            if (i >= c.used) {
                ASSERT_EQ(c.cosTable[i], 0) << c.n;
                ASSERT_EQ(c.sinTable[i], 0) << c.n;
                continue;
            }
            const int r = i / (c.l1 - 1) + 1, k = i % (c.l1 - 1) + 1;
            const double angle = 2 * M_PI * r * k / c.n;
            ASSERT_EQ(c.cosTable[i], nearestQ15(std::cos(angle))) << c.n << " " << i;
            ASSERT_EQ(c.sinTable[i], nearestQ15(std::sin(angle))) << c.n << " " << i;
        }
    }
}

} // namespace
