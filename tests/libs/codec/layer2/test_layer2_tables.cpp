// The transcribed tables against the rules they follow. The decoding tests on
// streams from independent encoders check them further.
#include "MpegAudio_tables.h"
#include "layer2_tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Layer2Tables, ScalefactorsAreTwoToTheOneMinusAThird)
{
    EXPECT_EQ(Layer2Tables::scalefactor[0], 0x7FFFFFFF); // 2.0 does not fit Q30
    for (int i = 1; i < 63; ++i)
        EXPECT_NEAR(Layer2Tables::scalefactor[static_cast<size_t>(i)], std::ldexp(std::pow(2.0, 1.0 - i / 3.0), 30), 1.0)
            << i;
    EXPECT_EQ(Layer2Tables::scalefactor[63], 0);
}

TEST(Layer2Tables, RequantisationConstantsFollowTheStepCount)
{
    const int steps[17] = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
    for (int i = 0; i < 17; ++i) {
        const int n = steps[i];
        ASSERT_EQ(Layer2Tables::stepsIndex(n), i);
        // A sample of b bits spans 2^b codes, n of them used: C = 2^b / n. Grouped
        // samples use b = 2, 3, 4; the others b = log2(n + 1), and D = 2^(1 - b).
        const int b = n == 3 ? 2 : n == 5 ? 3 : n == 9 ? 4 : static_cast<int>(std::lround(std::log2(n + 1.0)));
        const double c = std::ldexp(1.0, b) / n;
        const double d = Layer2Tables::isGrouped(n) ? 0.5 : std::ldexp(1.0, 1 - b);
        EXPECT_NEAR(Layer2Tables::requantC[static_cast<size_t>(i)], std::ldexp(c, 30), 16.0) << n;
        EXPECT_NEAR(Layer2Tables::requantD[static_cast<size_t>(i)], std::ldexp(d, 30), 16.0) << n;
        const int bits = Layer2Tables::isGrouped(n) ? static_cast<int>(std::ceil(std::log2(std::pow(n, 3.0)))) : b;
        EXPECT_EQ(Layer2Tables::codewordBits(n), bits) << n;
    }
    EXPECT_EQ(Layer2Tables::stepsIndex(4), -1);
}

TEST(Layer2Tables, AllocationTablesAreConsistent)
{
    const Layer2Tables::AllocationTable *tables[] = {&Layer2Tables::table3B2a, &Layer2Tables::table3B2b,
                                                     &Layer2Tables::table3B2c, &Layer2Tables::table3B2d,
                                                     &Layer2Tables::tableLsf};
    const int limits[] = {27, 30, 8, 12, 30};
    for (int t = 0; t < 5; ++t) {
        const auto &table = *tables[t];
        EXPECT_EQ(table.sblimit, limits[t]);
        for (int sb = 0; sb < 32; ++sb) {
            SCOPED_TRACE(testing::Message() << "table " << t << " sub-band " << sb);
            const int nbal = table.rows[sb][0];
            if (sb >= table.sblimit) {
                EXPECT_EQ(nbal, 0);
                continue;
            }
            ASSERT_GE(nbal, 2);
            // Every allocation code has a step count, rising, each one the standard knows.
            int previous = 0;
            for (int code = 1; code < (1 << nbal); ++code) {
                const int steps = table.rows[sb][code];
                EXPECT_GT(steps, previous);
                EXPECT_GE(Layer2Tables::stepsIndex(steps), 0);
                previous = steps;
            }
            for (int code = 1 << nbal; code < 16; ++code)
                EXPECT_EQ(table.rows[sb][code], 0);
            // Allocation bits never grow towards higher sub-bands.
            if (sb > 0) {
                EXPECT_LE(nbal, table.rows[sb - 1][0]);
            }
        }
    }
}

TEST(Layer2Tables, SynthesisWindowHasThePrototypeSymmetry)
{
    const auto &d = Layer2Tables::synthesisWindow;
    EXPECT_EQ(d[0], 0);
    EXPECT_NEAR(d[256], 1229422591, 1); // 1.144989014 in Q30
    for (int i = 1; i < 256; ++i) {
        const int sign = i % 64 == 0 ? 1 : -1;
        EXPECT_EQ(d[static_cast<size_t>(512 - i)], sign * d[static_cast<size_t>(i)]) << i;
    }
    // The prototype is smooth: no single entry sticks out of its neighbours (a
    // misread digit would). The sign changes at multiples of 64 are taken out.
    auto prototype = [&](int i) { return ((i / 64) % 2 ? -1.0 : 1.0) * d[static_cast<size_t>(i)] / 1073741824.0; };
    for (int i = 1; i < 511; ++i) {
        const double curvature = prototype(i - 1) - 2 * prototype(i) + prototype(i + 1);
        if (i % 64 == 0 || (i + 1) % 64 == 0 || (i - 1) % 64 == 0)
            continue;
        EXPECT_LT(std::fabs(curvature), 0.006) << i;
    }
}

TEST(Layer2Tables, SampleRatesAndBitRates)
{
    EXPECT_EQ(Layer2Tables::samplingFrequency[1], 48000);
    EXPECT_EQ(Layer2Tables::samplingFrequency[5], 24000);
    // MPEG-1 Layer II rates rise to 384, the low-frequency ones to 160 kbit/s.
    EXPECT_EQ(MpegAudio_Layer2_bitrate_index[0][14], 384);
    EXPECT_EQ(MpegAudio_Layer2_bitrate_index[1][14], 160);
    for (int v = 0; v < 2; ++v) {
        EXPECT_EQ(MpegAudio_Layer2_bitrate_index[v][0], 0) << "free format";
        EXPECT_EQ(MpegAudio_Layer2_bitrate_index[v][15], 0) << "forbidden";
        for (int i = 2; i < 15; ++i)
            EXPECT_GT(MpegAudio_Layer2_bitrate_index[v][i], MpegAudio_Layer2_bitrate_index[v][i - 1]);
    }
}

} // namespace
