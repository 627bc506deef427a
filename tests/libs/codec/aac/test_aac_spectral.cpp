// The spectral tools' tables against their formulas in double precision, and the
// inverse quantisation against |q|^(4/3) * 2^(sf/4).
#include "aac_spectral.h"
#include "aac_spectral_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using namespace AacSpectralTables;

TEST(AacSpectralTables, PowerTableFollowsItsFormula)
{
    for (int i = 0; i < 256; ++i) {
        const double expected = std::pow(1.0 + i / 256.0, 4.0 / 3.0) * std::pow(2.0, 26.0 - 1.0 / 3.0);
        EXPECT_NEAR(inverseQuantPower[static_cast<size_t>(i)], expected, 1.0) << "index " << i;
    }
    EXPECT_EQ(inverseQuantPower[256], (1u << 27) - 1);
}

TEST(AacSpectralTables, ScaleTableFollowsItsFormula)
{
    for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 14; ++k) {
            const double value = std::pow(2.0, 4.0 * k / 3.0) * std::pow(2.0, q / 4.0);
            const int e = static_cast<int>(std::floor(std::log2(value))) + 1;
            EXPECT_EQ(inverseQuantScale.exponent[q][k], e) << q << ", " << k;
            const double m = inverseQuantScale.mantissa[q][k] / 2147483648.0;
            EXPECT_NEAR(m * std::pow(2.0, e), value, value * 1e-7) << q << ", " << k;
            EXPECT_GE(m, 0.5);
            EXPECT_LT(m, 1.0);
        }
    // The rows' first mantissas as they are known.
    EXPECT_EQ(inverseQuantScale.mantissa[0][1], 0x50A28C00);
    EXPECT_EQ(inverseQuantScale.mantissa[2][2], 0x47D66B00);
    EXPECT_EQ(inverseQuantScale.mantissa[3][1], 0x43CE3E80);
}

TEST(AacSpectralTables, IntensityAndTnsCoefficients)
{
    for (int r = 0; r < 4; ++r)
        // Rounded to 24 bits like the scale table.
        EXPECT_NEAR(intensityFactor[r] / 2147483648.0, 0.5 * std::pow(2.0, r / 4.0), 1e-7) << r;
    for (int v = -4; v < 4; ++v) {
        const double d = (v < 0 ? 4.5 : 3.5) / (M_PI / 2);
        EXPECT_NEAR(tnsCoefficient3[v + 4] / 2147483648.0, std::sin(v / d), 1e-9) << v;
    }
    for (int v = -8; v < 8; ++v) {
        const double d = (v < 0 ? 8.5 : 7.5) / (M_PI / 2);
        EXPECT_NEAR(tnsCoefficient4[v + 8] / 2147483648.0, std::sin(v / d), 1e-9) << v;
    }
}

TEST(AacSpectralTools, InverseQuantisationFollowsThePowerLaw)
{
    AacSamplingRateInfo sr{};
    ASSERT_EQ(AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000), 0);
    auto ch = std::make_unique<AacDecChannelData>();
    ch->ics.windowSequence = AacOnlyLong;
    ch->ics.maxSfb = 4;
    ch->ics.totalSfb = sr.bandsLong;
    ch->ics.numWindowGroups = 1;
    ch->ics.windowGroupLength[0] = 1;
    const int scale[4] = {100, 101, 133, 70};
    const int32_t values[4][4] = {{1, 2, 3, -4}, {8191, -1, 0, 5}, {16, 17, 100, 1000}, {0, 0, 0, 0}};
    for (int b = 0; b < 4; ++b) {
        ch->codebook[b] = 11;
        ch->scaleFactor[b] = static_cast<int16_t>(scale[b]);
        for (int k = 0; k < 4; ++k)
            ch->quantized[b * 4 + k] = values[b][k];
    }
    ch->quantized[100] = 7; // above max_sfb: cleared
    auto s = std::make_unique<AacDecSpectrum>();
    ASSERT_EQ(AacDec_DequantizeSpectrum(ch.get(), &sr, 1024, s.get()), 0);
    for (int b = 0; b < 3; ++b) {
        // Block floating point: a band keeps about 28 bits below its largest line.
        double bandMax = 0;
        for (int k = 0; k < 4; ++k)
            bandMax = std::max(bandMax, std::pow(std::abs(values[b][k]), 4.0 / 3.0) * std::pow(2.0, (scale[b] - 100) / 4.0));
        for (int k = 0; k < 4; ++k) {
            const int32_t q = values[b][k];
            const double expected = (q < 0 ? -1 : 1) * std::pow(std::abs(q), 4.0 / 3.0) * std::pow(2.0, (scale[b] - 100) / 4.0);
            const double got = s->lines[b * 4 + k] * std::pow(2.0, s->bandExponent[0][b] - 31.0 + 0.0);
            // One common scale: compare ratios to band 0's first line.
            const double unit = s->lines[0] * std::pow(2.0, s->bandExponent[0][0] - 31.0);
            EXPECT_NEAR(got / unit, expected, std::fabs(expected) * 2e-6 + bandMax * 1e-7) << "band " << b << " line " << k;
        }
    }
    EXPECT_EQ(s->lines[100], 0);
    // A magnitude past 8191 (the escape marker) is refused.
    ch->quantized[0] = 8192;
    EXPECT_EQ(AacDec_DequantizeSpectrum(ch.get(), &sr, 1024, s.get()), 0x4002);
}

} // namespace

TEST(AacSpectral, IntensitySignFollowsCodebookAndPerBandMidSide)
{
    AacSamplingRateInfo sr{};
    ASSERT_EQ(AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000), 0);
    // Inversion comes from the codebook (14 out of phase) and, only where the mask flags
    // bands one by one, from the band's mid/side bit. All-band mid/side (mask 2) leaves
    // the sign to the codebook.
    const struct { uint8_t mask; uint8_t msBit; uint8_t codebook; int sign; } rows[] = {
        {0, 0, AacIntensityInPhase, 1},   {0, 0, AacIntensityOutOfPhase, -1},
        {1, 0, AacIntensityInPhase, 1},   {1, 1, AacIntensityInPhase, -1},
        {1, 1, AacIntensityOutOfPhase, 1}, {2, 1, AacIntensityInPhase, 1},
        {2, 1, AacIntensityOutOfPhase, -1},
    };
    for (const auto &row : rows) {
        auto left = std::make_unique<AacDecChannelData>();
        auto right = std::make_unique<AacDecChannelData>();
        for (AacDecChannelData *ch : {left.get(), right.get()}) {
            ch->ics.maxSfb = 1;
            ch->ics.numWindowGroups = 1;
            ch->ics.windowGroupLength[0] = 1;
        }
        right->codebook[0] = row.codebook;
        right->scaleFactor[0] = 100; // intensity position 0
        AacDecElement element{};
        element.channel[0] = left.get();
        element.channel[1] = right.get();
        element.channelCount = 2;
        element.commonWindow = 1;
        element.stereo.msMaskPresent = row.mask;
        element.stereo.msUsed[0] = row.msBit;
        auto l = std::make_unique<AacDecSpectrum>();
        auto r = std::make_unique<AacDecSpectrum>();
        *l = {};
        *r = {};
        l->lines[0] = 1 << 20;
        AacDec_ApplyIntensityStereo(&element, l.get(), r.get(), &sr, 1024);
        EXPECT_EQ(r->lines[0] > 0 ? 1 : -1, row.sign)
            << "mask " << int(row.mask) << " bit " << int(row.msBit) << " codebook " << int(row.codebook);
    }
}

TEST(AacSpectral, NoiseBandsUnderMidSideShareTheirNoise)
{
    AacSamplingRateInfo sr{};
    ASSERT_EQ(AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000), 0);
    // Band 0 is noise in both channels; band 1 is noise in both without the flag.
    for (const uint8_t msBits : {uint8_t{1}, uint8_t{0}}) {
        auto left = std::make_unique<AacDecChannelData>();
        auto right = std::make_unique<AacDecChannelData>();
        for (AacDecChannelData *ch : {left.get(), right.get()}) {
            *ch = {};
            ch->ics.maxSfb = 2;
            ch->ics.numWindowGroups = 1;
            ch->ics.windowGroupLength[0] = 1;
            for (int b = 0; b < 2; ++b) {
                ch->codebook[b] = AacNoiseCodebook;
                ch->noiseUsed[b] = 1;
                ch->scaleFactor[b] = 120;
            }
        }
        AacDecElement element{};
        element.channel[0] = left.get();
        element.channel[1] = right.get();
        element.channelCount = 2;
        element.commonWindow = 1;
        element.stereo.msMaskPresent = 1;
        element.stereo.msUsed[0] = msBits;
        auto l = std::make_unique<AacDecSpectrum>();
        auto r = std::make_unique<AacDecSpectrum>();
        AacDecSpectrum *spectra[2] = {l.get(), r.get()};
        uint32_t seed = 12345;
        ASSERT_EQ(AacDec_DecodeChannelElement(&element, spectra, &sr, 1024, &seed), 0);
        const int width0 = sr.bandOffsetLong[1];
        bool same0 = true, same1 = true;
        for (int k = 0; k < width0; ++k)
            same0 = same0 && l->lines[k] == r->lines[k] && l->lines[k] != 0;
        for (int k = width0; k < sr.bandOffsetLong[2]; ++k)
            same1 = same1 && l->lines[k] == r->lines[k];
        EXPECT_EQ(same0, msBits == 1) << "flagged band";
        EXPECT_FALSE(same1) << "unflagged band";
        EXPECT_EQ(l->windowExponent[0], r->windowExponent[0]);
    }
}

namespace {

// A pair of one long band each, sharing one window.
struct OneBandPair
{
    std::unique_ptr<AacDecChannelData> left = std::make_unique<AacDecChannelData>();
    std::unique_ptr<AacDecChannelData> right = std::make_unique<AacDecChannelData>();
    std::unique_ptr<AacDecSpectrum> l = std::make_unique<AacDecSpectrum>();
    std::unique_ptr<AacDecSpectrum> r = std::make_unique<AacDecSpectrum>();
    AacDecElement element{};

    OneBandPair()
    {
        for (AacDecChannelData *ch : {left.get(), right.get()}) {
            *ch = {};
            ch->ics.maxSfb = 1;
            ch->ics.numWindowGroups = 1;
            ch->ics.windowGroupLength[0] = 1;
        }
        *l = {};
        *r = {};
        element.channel[0] = left.get();
        element.channel[1] = right.get();
        element.channelCount = 2;
        element.commonWindow = 1;
    }
};

double valueOf(const AacDecSpectrum &s, int line)
{
    return s.lines[line] * std::pow(2.0, s.bandExponent[0][0]);
}

} // namespace

TEST(AacSpectral, MidSideAlignsBothBandsOneAboveTheLarger)
{
    AacSamplingRateInfo sr{};
    ASSERT_EQ(AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000), 0);
    const struct { int eL, eR; } rows[] = {{5, 5}, {7, 3}, {-2, 40}};
    for (const auto &row : rows) {
        OneBandPair p;
        p.element.stereo.msMaskPresent = 1;
        p.element.stereo.msUsed[0] = 1;
        p.l->bandExponent[0][0] = static_cast<int16_t>(row.eL);
        p.r->bandExponent[0][0] = static_cast<int16_t>(row.eR);
        p.l->lines[0] = 3 << 24;
        p.r->lines[0] = 1 << 24;
        const double m = valueOf(*p.l, 0), s = valueOf(*p.r, 0);
        AacDec_ApplyJointStereo(&p.element, p.l.get(), p.r.get(), &sr, 1024);
        const int e = std::max(row.eL, row.eR) + 1;
        EXPECT_EQ(p.l->bandExponent[0][0], e) << row.eL << " " << row.eR;
        EXPECT_EQ(p.r->bandExponent[0][0], e) << row.eL << " " << row.eR;
        // The smaller input may lose its bits below the shared exponent, never more.
        const double tolerance = std::pow(2.0, e);
        EXPECT_NEAR(valueOf(*p.l, 0), m + s, tolerance) << row.eL << " " << row.eR;
        EXPECT_NEAR(valueOf(*p.r, 0), m - s, tolerance) << row.eL << " " << row.eR;
    }
}

TEST(AacSpectral, IntensityScalesByItsPositionAlsoBelowZero)
{
    AacSamplingRateInfo sr{};
    ASSERT_EQ(AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000), 0);
    // Positions above 0 give a negative q: the exponent takes floor(q / 4), the factor
    // q mod 4.
    for (const int position : {0, 1, 3, 4, 5, 9, -1, -4, -7}) {
        OneBandPair p;
        p.right->codebook[0] = AacIntensityInPhase;
        p.right->scaleFactor[0] = static_cast<int16_t>(position);
        p.l->bandExponent[0][0] = 10;
        p.l->lines[0] = 0x30000000;
        AacDec_ApplyIntensityStereo(&p.element, p.l.get(), p.r.get(), &sr, 1024);
        const double expected = valueOf(*p.l, 0) * std::pow(2.0, -position / 4.0);
        // The table's factors carry 24 bits.
        EXPECT_NEAR(valueOf(*p.r, 0) / expected, 1.0, 1e-7) << "position " << position;
    }
}
