// The scale-factor band tables: every table rises strictly from 0 to the window's
// line count, band counts per rate are those the standard lists, and the lookup
// picks the right table for each rate and frame length.
#include "aac_core.h"

#include <gtest/gtest.h>

namespace {

struct RateCase
{
    uint32_t index;
    uint32_t rate;
    uint32_t frameLength;
    int bandsLong;
    int bandsShort;
};

// Counts per sampling-frequency index 0..12 for 1024, 960 and 768 lines.
const RateCase rateCases[] = {
    {0, 96000, 1024, 41, 12},  {1, 88200, 1024, 41, 12},  {2, 64000, 1024, 47, 12},  {3, 48000, 1024, 49, 14},
    {4, 44100, 1024, 49, 14},  {5, 32000, 1024, 51, 14},  {6, 24000, 1024, 47, 15},  {7, 22050, 1024, 47, 15},
    {8, 16000, 1024, 43, 15},  {9, 12000, 1024, 43, 15},  {10, 11025, 1024, 43, 15}, {11, 8000, 1024, 40, 15},
    {12, 7350, 1024, 40, 15},  {0, 96000, 960, 40, 12},   {1, 88200, 960, 40, 12},   {2, 64000, 960, 46, 12},
    {3, 48000, 960, 49, 14},   {4, 44100, 960, 49, 14},   {5, 32000, 960, 49, 14},   {6, 24000, 960, 46, 15},
    {7, 22050, 960, 46, 15},   {8, 16000, 960, 42, 15},   {9, 12000, 960, 42, 15},   {10, 11025, 960, 42, 15},
    {11, 8000, 960, 40, 15},   {12, 7350, 960, 40, 15},
};

TEST(AacBandTables, EveryTableRisesToTheWindowLength)
{
    for (const RateCase &c : rateCases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << ", " << c.frameLength << " lines");
        AacSamplingRateInfo info{};
        ASSERT_EQ(AacDec_GetSamplingRateInfo(&info, c.frameLength, c.index, c.rate), 0);
        EXPECT_EQ(info.bandsLong, c.bandsLong);
        EXPECT_EQ(info.bandsShort, c.bandsShort);
        EXPECT_EQ(info.sampleRate, c.rate);
        const struct { const int16_t *t; int n; int end; } windows[] = {
            {info.bandOffsetLong, c.bandsLong, static_cast<int>(c.frameLength)},
            {info.bandOffsetShort, c.bandsShort, static_cast<int>(c.frameLength / 8)},
        };
        for (const auto &w : windows) {
            ASSERT_NE(w.t, nullptr);
            EXPECT_EQ(w.t[0], 0);
            EXPECT_EQ(w.t[w.n], w.end);
            for (int b = 0; b < w.n; ++b) {
                EXPECT_LT(w.t[b], w.t[b + 1]) << "band " << b;
                // Bands are whole groups of four lines.
                EXPECT_EQ(w.t[b] % 4, 0) << "band " << b;
            }
        }
    }
}

TEST(AacBandTables, LowDelayFramesCutTheLongTables)
{
    const int bandsLong[13] = {37, 41, 43, 43, 43, 43, 43, 43, 39, 39, 39, 37, 37};
    const uint32_t rates[13] = {72000, 66150, 48000, 36000, 33075, 24000, 18000, 16538, 12000, 9000, 8269, 6000, 5513};
    // The rate mapping never yields index 12 (it shares 8 kHz's range), so rows 0..11.
    for (uint32_t i = 0; i < 12; ++i) {
        AacSamplingRateInfo info{};
        ASSERT_EQ(AacDec_GetSamplingRateInfo(&info, 768, 15, rates[i]), 0) << "rate " << rates[i];
        EXPECT_EQ(info.samplingFrequencyIndex, i) << "rate " << rates[i];
        EXPECT_EQ(info.bandsLong, bandsLong[i]) << "rate " << rates[i];
    }
}

TEST(AacBandTables, ExtendedRatesMapToTheNearestTable)
{
    const struct { uint32_t rate; uint32_t index; } cases[] = {
        {92017, 0}, {92016, 1}, {57600, 2}, {55425, 3}, {46009, 3}, {37566, 4}, {37565, 5},
        {9391, 10}, {9390, 11}, {100, 11},
    };
    for (const auto &c : cases) {
        AacSamplingRateInfo info{};
        ASSERT_EQ(AacDec_GetSamplingRateInfo(&info, 1024, 20, c.rate), 0);
        EXPECT_EQ(info.samplingFrequencyIndex, c.index) << "rate " << c.rate;
    }
}

TEST(AacBandTables, RefusesLengthsAndIndicesWithoutTables)
{
    AacSamplingRateInfo info{};
    EXPECT_EQ(AacDec_GetSamplingRateInfo(&info, 512, 3, 48000), 0x2003);
    EXPECT_EQ(info.bandOffsetLong, nullptr);
    EXPECT_EQ(AacDec_GetSamplingRateInfo(&info, 1024, 13, 48000), 0x2003);
    EXPECT_EQ(info.sampleRate, 0u);
    EXPECT_EQ(AacDec_GetSamplingRateInfo(&info, 1024, 14, 48000), 0x2003);
}

} // namespace
