// Copy-up high-frequency generation: the patch table for the rates DAB+ uses, the chirp
// factors, and one frame of patching and whitening against a double-precision model of
// the prediction-error filter.
#include "SbrLpp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using cplx = std::complex<double>;

struct PatchCase
{
    const char *name;
    uint32_t fs;
    std::vector<uint8_t> master; // edges
    int kx, usb;
    std::vector<SbrPatch> patches;
    int lowest, limit;
};

std::vector<uint8_t> edges(int from, int to, int step)
{
    std::vector<uint8_t> e;
    for (int k = from; k <= to; k += step)
        e.push_back(static_cast<uint8_t>(k));
    return e;
}

// {sourceFirst, sourceEnd, guardFirst, targetFirst, shift, width}, worked out by hand.
const PatchCase PatchCases[] = {
    // goalSb 43 is raised to the master edge 44; the last patch fills up to 48.
    {"48kHz", 48000, edges(16, 48, 2), 16, 48, {{2, 16, 16, 16, 14, 14}, {2, 16, 30, 30, 28, 14}, {12, 16, 44, 44, 32, 4}}, 2, 16},
    // The same with the range ending at 46: the two-band last patch is dropped.
    {"48kHzShortLastPatch", 48000, edges(16, 48, 2), 16, 46, {{2, 16, 16, 16, 14, 14}, {2, 16, 30, 30, 28, 14}}, 2, 16},
    // goalSb 85 lies above the master range and stays; the second patch ends at the top
    // of the SBR range instead of running past band 63.
    {"24kHz", 24000, edges(32, 64, 4), 32, 64, {{4, 32, 32, 32, 28, 28}, {28, 32, 60, 60, 32, 4}}, 4, 32},
};

class LppPatches : public ::testing::TestWithParam<PatchCase>
{};

TEST_P(LppPatches, BuildsThePatchTable)
{
    const PatchCase &c = GetParam();
    SbrTransposerConfig settings{};
    SbrLppTransposer lpp{};
    const uint8_t noise[] = {static_cast<uint8_t>(c.kx), 40, static_cast<uint8_t>(c.usb)};
    ASSERT_EQ(SbrDec_LppCreate(&lpp, &settings, c.kx, c.master.data(), static_cast<int>(c.master.size()) - 1, c.usb,
                               15, 30, noise, 2, c.fs, 0, 6),
              0);
    ASSERT_EQ(settings.patchCount, c.patches.size());
    for (size_t i = 0; i < c.patches.size(); ++i) {
        const SbrPatch &got = settings.patches[i], &want = c.patches[i];
        EXPECT_EQ(got.patchSourceFirst, want.patchSourceFirst) << "patch " << i;
        EXPECT_EQ(got.patchSourceEnd, want.patchSourceEnd) << "patch " << i;
        EXPECT_EQ(got.patchGuardFirst, want.patchGuardFirst) << "patch " << i;
        EXPECT_EQ(got.patchTargetFirst, want.patchTargetFirst) << "patch " << i;
        EXPECT_EQ(got.patchTargetShift, want.patchTargetShift) << "patch " << i;
        EXPECT_EQ(got.patchWidth, want.patchWidth) << "patch " << i;
    }
    EXPECT_EQ(settings.patchingLowestSource, c.lowest);
    EXPECT_EQ(settings.patchingSourceLimit, c.limit);
    EXPECT_EQ(settings.inverseFilterBorders[0], 40);
    EXPECT_EQ(settings.inverseFilterBorders[1], c.usb);
    for (int i = 2; i < SBR_INVF_BORDERS; ++i)
        EXPECT_EQ(settings.inverseFilterBorders[i], 255);
}

INSTANTIATE_TEST_SUITE_P(Rates, LppPatches, ::testing::ValuesIn(PatchCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LppTransposer, RefusesWhatItCannotPatch)
{
    SbrTransposerConfig settings{};
    SbrLppTransposer lpp{};
    const auto master = edges(16, 48, 2);
    const uint8_t noise[] = {16, 48};
    // Only 960- and 1024-sample frames (15 or 16 time slots).
    EXPECT_EQ(SbrDec_LppCreate(&lpp, &settings, 16, master.data(), 16, 48, 14, 28, noise, 1, 48000, 0, 6),
              SBR_LPP_UNSUPPORTED);
    // A start band too low to leave a source band.
    const auto low = edges(4, 36, 2);
    EXPECT_EQ(SbrDec_LppCreate(&lpp, &settings, 4, low.data(), 16, 36, 16, 32, noise, 1, 48000, 0, 6),
              SBR_LPP_UNSUPPORTED);
    // Other channels only link to the element's settings.
    SbrTransposerConfig untouched{};
    EXPECT_EQ(SbrDec_LppCreate(&lpp, &untouched, 4, low.data(), 16, 36, 16, 32, noise, 1, 48000, 1, 6), 0);
    EXPECT_EQ(lpp.settings, &untouched);
    EXPECT_EQ(untouched.patchCount, 0);
}

// Whatever master table a header leads to, the patches stay inside the QMF bands: sources
// within the low band, targets within the SBR range, or the set-up refuses.
TEST(LppTransposer, PatchesStayInsideTheBandsForAnyMasterTable)
{
    std::mt19937 random(3);
    const uint32_t rates[] = {16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
    int accepted = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::uniform_int_distribution<int> start(1, 40), step(1, 6), count(1, 40);
        std::vector<uint8_t> master{static_cast<uint8_t>(start(random))};
        const int bands = count(random);
        while (static_cast<int>(master.size()) <= bands && master.back() + 1 <= 64)
            master.push_back(static_cast<uint8_t>(std::min(64, master.back() + step(random))));
        const int masterCount = static_cast<int>(master.size()) - 1;
        if (masterCount < 1)
            continue;
        const int kx = master[static_cast<size_t>(std::uniform_int_distribution<int>(0, masterCount - 1)(random))];
        const int usb = std::uniform_int_distribution<int>(kx + 1, 64)(random);
        const uint8_t noise[] = {static_cast<uint8_t>(kx), static_cast<uint8_t>(usb)};
        SbrTransposerConfig settings{};
        SbrLppTransposer lpp{};
        const uint32_t fs = rates[std::uniform_int_distribution<size_t>(0, 8)(random)];
        if (SbrDec_LppCreate(&lpp, &settings, kx, master.data(), masterCount, usb, 16, 32, noise, 1, fs, 0, 6) != 0)
            continue;
        ++accepted;
        ASSERT_GE(settings.patchCount, 1);
        ASSERT_LE(settings.patchCount, SBR_MAX_PATCHES);
        for (int p = 0; p < settings.patchCount; ++p) {
            const SbrPatch &patch = settings.patches[p];
            ASSERT_GT(patch.patchWidth, 0);
            ASSERT_LE(patch.patchSourceEnd, master[0]) << "trial " << trial;
            ASSERT_LE(patch.patchSourceEnd, SBR_LPP_LOW_BANDS);
            ASSERT_EQ(patch.patchSourceFirst + patch.patchTargetShift, patch.patchTargetFirst);
            ASSERT_LE(patch.patchTargetFirst + patch.patchWidth, std::min(usb, 64)) << "trial " << trial;
        }
    }
    EXPECT_GT(accepted, 1000);
}

// The settings of a 48 kHz element with the first patch table above.
struct Element
{
    SbrTransposerConfig settings{};
    SbrLppTransposer lpp{};
    Element()
    {
        const auto master = edges(16, 48, 2);
        const uint8_t noise[] = {16, 30, 48};
        EXPECT_EQ(SbrDec_LppCreate(&lpp, &settings, 16, master.data(), 16, 48, 15, 30, noise, 2, 48000, 0, 6), 0);
    }
};

struct ChirpCase
{
    uint8_t mode, previousMode;
    double old, expected;
};

// The whitening constants carry 24 bits. Expected: 0.75 target + 0.25 old towards a weaker target, else 0.90625 target + 0.09375
// old; below 1/64 the factor is 0. Targets 0, 0.6 (switching between off and low), 0.75,
// 0.9, 0.98.
const ChirpCase ChirpCases[] = {
    {0, 0, 0.0, 0.0},
    {0, 1, 0.0, 0.90625 * 0.6},
    {1, 0, 0.5, 0.90625 * 0.6 + 0.09375 * 0.5},
    {1, 1, 0.9, 0.75 * 0.75 + 0.25 * 0.9},
    {2, 3, 0.0, 0.90625 * 0.9},
    {3, 3, 0.98, 0.98},
    {3, 0, 0.99609375, 0.75 * 0.98 + 0.25 * 0.99609375},
    {0, 0, 0.05, 0.0}, // 0.0125 falls below the floor
};

TEST(LppTransposer, ChirpFactorsFollowTheModes)
{
    Element e;
    for (const ChirpCase &c : ChirpCases) {
        e.lpp.previousChirpFactors[0] = static_cast<int32_t>(std::lround(c.old * 2147483648.0 - (c.old >= 1.0)));
        int32_t bw = -1;
        SbrDec_LppChirpFactors(&e.lpp, 1, &c.mode, &c.previousMode, &bw);
        EXPECT_NEAR(bw / 2147483648.0, c.expected, 1e-7) << "mode " << int{c.mode} << " after " << int{c.previousMode};
    }
}

// QMF slot arrays of one channel: the frame's 30 slots after 6 overlap slots.
struct Slots
{
    static constexpr int Count = 36;
    std::vector<int32_t> re = std::vector<int32_t>(Count * SBR_QMF_BANDS), im = std::vector<int32_t>(Count * SBR_QMF_BANDS);
    int32_t *reRows[Count], *imRows[Count];
    Slots()
    {
        for (int i = 0; i < Count; ++i) {
            reRows[i] = re.data() + i * SBR_QMF_BANDS;
            imRows[i] = im.data() + i * SBR_QMF_BANDS;
        }
    }
};

void transpose(Element &e, Slots &s, uint8_t mode, bool realMode, int32_t *alias = nullptr)
{
    SbrQmfScaling scale{};
    const uint8_t modes[2] = {mode, mode};
    int32_t unusedAlias[SBR_QMF_BANDS];
    SbrDec_LppTranspose(&e.lpp, &scale, s.reRows, alias ? alias : unusedAlias, s.imRows, realMode ? 1 : 0, 0, 16, 2, 0, 0,
                        2, modes, modes);
    EXPECT_EQ(scale.highBandExponent, -2);
}

TEST(LppTransposer, AllZeroLowBandGivesSilenceAndClearsTheTop)
{
    Element e;
    Slots s;
    for (int i = 0; i < Slots::Count; ++i)
        for (int k = 16; k < SBR_QMF_BANDS; ++k)
            s.reRows[i][k] = s.imRows[i][k] = 12345; // stale high band
    for (uint8_t mode : {0, 3})
        transpose(e, s, mode, false);
    for (int i = 0; i < 30; ++i)
        for (int k = 16; k < SBR_QMF_BANDS; ++k) {
            EXPECT_EQ(s.reRows[i][k], 0) << "slot " << i << " band " << k;
            EXPECT_EQ(s.imRows[i][k], 0) << "slot " << i << " band " << k;
        }
}

TEST(LppTransposer, WithoutWhiteningPatchesAreCopiesWithTwoGuardBits)
{
    Element e;
    Slots s;
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> value(-(1 << 28), 1 << 28);
    for (int i = 0; i < Slots::Count; ++i)
        for (int k = 0; k < 16; ++k) {
            s.reRows[i][k] = value(random);
            s.imRows[i][k] = value(random);
        }
    transpose(e, s, 0, false);
    for (int i = 0; i < 30; ++i)
        for (const SbrPatch &p : e.settings.patches)
            for (int k = p.patchSourceFirst; k < p.patchSourceEnd; ++k) {
                EXPECT_EQ(s.reRows[i][k + p.patchTargetShift], s.reRows[i][k] >> 2);
                EXPECT_EQ(s.imRows[i][k + p.patchTargetShift], s.imRows[i][k] >> 2);
            }
}

// Double model: covariance over the band's 36 samples after two zero history samples,
// alpha1 = (phi01 phi12 - phi02 phi11) / (phi11 phi22 - |phi12|^2), alpha0 = -(phi01 +
// alpha1 conj(phi12)) / phi11, and the high band X + bw alpha0 X(-1) + bw^2 alpha1 X(-2),
// a quarter of it for the two guard bits.
std::vector<cplx> whitened(const std::vector<cplx> &x, double bw)
{
    const int n = static_cast<int>(x.size());
    auto at = [&](int j) { return j < 0 ? cplx{} : x[static_cast<size_t>(j)]; };
    auto phi = [&](int a, int b) {
        cplx sum;
        for (int m = 0; m < n; ++m)
            sum += at(m - a) * std::conj(at(m - b));
        return sum;
    };
    const cplx p01 = phi(0, 1), p02 = phi(0, 2), p12 = phi(1, 2);
    const double p11 = phi(1, 1).real(), p22 = phi(2, 2).real();
    const double det = p11 * p22 - std::norm(p12);
    const cplx a1 = (p01 * p12 - p02 * p11) / det;
    const cplx a0 = -(p01 + a1 * std::conj(p12)) / p11;
    std::vector<cplx> out(static_cast<size_t>(n));
    for (int l = 0; l < n; ++l)
        out[static_cast<size_t>(l)] = (at(l) + bw * a0 * at(l - 1) + bw * bw * a1 * at(l - 2)) / 4.0;
    return out;
}

TEST(LppTransposer, StrongWhiteningFollowsTheDoubleModel)
{
    Element e;
    Slots s;
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double amplitude = 1 << 26;
    std::vector<std::vector<cplx>> low(16);
    for (int k = 0; k < 16; ++k) {
        const double w = 0.3 + 0.17 * k;
        for (int i = 0; i < Slots::Count; ++i) {
            const cplx v = amplitude * (0.6 * std::polar(1.0, w * i) + 0.2 * cplx{noise(random), noise(random)});
            s.reRows[i][k] = static_cast<int32_t>(std::lround(v.real()));
            s.imRows[i][k] = static_cast<int32_t>(std::lround(v.imag()));
            low[static_cast<size_t>(k)].push_back({double(s.reRows[i][k]), double(s.imRows[i][k])});
        }
    }
    // Strong mode after strong: the chirp factor stays at 0.98.
    const int32_t strong = 0x7D70A400;
    for (int32_t &f : e.lpp.previousChirpFactors)
        f = strong;
    const double bw = (strong >> 16) / 32768.0;
    transpose(e, s, 3, false);

    double worst = 0;
    for (const SbrPatch &p : e.settings.patches)
        for (int k = p.patchSourceFirst; k < p.patchSourceEnd; ++k) {
            const auto model = whitened(low[static_cast<size_t>(k)], bw);
            for (int i = 0; i < 30; ++i) {
                const cplx got{double(s.reRows[i][k + p.patchTargetShift]), double(s.imRows[i][k + p.patchTargetShift])};
                worst = std::max(worst, std::abs(got - model[static_cast<size_t>(i)]));
            }
        }
    // 16-bit coefficients: errors of a few 1e-4 of the band's level.
    EXPECT_LT(worst, 2e-3 * amplitude / 4);
    // And the whitening did something: the tone is mostly predicted away.
    const auto model = whitened(low[2], bw);
    double in = 0, out = 0;
    for (int i = 0; i < 30; ++i) {
        in += std::norm(low[2][static_cast<size_t>(i)] / 4.0);
        out += std::norm(model[static_cast<size_t>(i)]);
    }
    EXPECT_LT(out, 0.5 * in);
}

TEST(LppTransposer, ChirpFactorsDecayToZeroWhenWhiteningStops)
{
    Element e;
    Slots s;
    for (int32_t &f : e.lpp.previousChirpFactors)
        f = 0x7D70A400;
    for (int frame = 0; frame < 20; ++frame)
        transpose(e, s, 0, false);
    EXPECT_EQ(e.lpp.previousChirpFactors[0], 0);
    EXPECT_EQ(e.lpp.previousChirpFactors[1], 0);
}

// Low bands whose levels in dB follow a cubic (or any shape for fewer than five bands):
// the flattening gains bring every band to the mean level.
struct TiltedLowBand
{
    Slots s;
    std::vector<double> amplitude;
    TiltedLowBand(int bands, double (*decibels)(int))
    {
        for (int k = 0; k < bands; ++k) {
            amplitude.push_back(std::ldexp(std::pow(10.0, decibels(k) / 20), 22));
            for (int i = 0; i < Slots::Count; ++i) {
                const cplx v = std::polar(amplitude.back(), 0.7 * i + k);
                s.reRows[i][k] = static_cast<int32_t>(std::lround(v.real()));
                s.imRows[i][k] = static_cast<int32_t>(std::lround(v.imag()));
            }
        }
    }
    // Levels after flattening, in dB, and their spread.
    double spread(int bands)
    {
        int32_t gain[SBR_LPP_LOW_BANDS];
        int exponent[SBR_LPP_LOW_BANDS];
        SbrDec_PreFlatteningGains(s.reRows, s.imRows, bands, 0, 30, 6, 0, 0, gain, exponent);
        double lo = 1e9, hi = -1e9;
        for (int k = 0; k < bands; ++k) {
            const double level = 20 * std::log10(std::ldexp(gain[k] / 2147483648.0, exponent[k]) * amplitude[size_t(k)]);
            lo = std::min(lo, level);
            hi = std::max(hi, level);
        }
        return hi - lo;
    }
};

TEST(LppTransposer, PreFlatteningEvensACubicTilt)
{
    TiltedLowBand cubic(16, [](int k) { return 0.02 * (k - 8) * (k - 8) * (k - 8) - 0.5 * k + 3; });
    EXPECT_LT(cubic.spread(16), 0.05);
    // Four bands are flattened each on its own, whatever their shape.
    TiltedLowBand jagged(4, [](int k) { return k % 2 ? 12.0 : -5.0 + k; });
    EXPECT_LT(jagged.spread(4), 0.05);
}

TEST(LppTransposer, PreFlatteningScalesThePatches)
{
    Element e;
    TiltedLowBand tilt(16, [](int k) { return -1.5 * k; });
    int32_t gain[SBR_LPP_LOW_BANDS];
    int exponent[SBR_LPP_LOW_BANDS];
    SbrDec_PreFlatteningGains(tilt.s.reRows, tilt.s.imRows, 16, 0, 30, 6, 0, 0, gain, exponent);
    SbrQmfScaling scale{};
    const uint8_t off[2] = {0, 0};
    int32_t alias[SBR_QMF_BANDS];
    SbrDec_LppTranspose(&e.lpp, &scale, tilt.s.reRows, alias, tilt.s.imRows, 0, 1, 16, 2, 0, 0, 2, off, off);
    for (const SbrPatch &p : e.settings.patches)
        for (int k = p.patchSourceFirst; k < p.patchSourceEnd; ++k) {
            const double g = std::ldexp(gain[k] / 2147483648.0, exponent[k]);
            const double want = tilt.s.reRows[5][k] / 4.0 * g;
            EXPECT_NEAR(tilt.s.reRows[5][k + p.patchTargetShift], want, 1e-4 * std::abs(want) + 2) << "band " << k;
        }
}

// Real mode: a slowly varying signal in every low band (reflection coefficient near -1)
// marks the even bands as aliased; the marks are copied along each patch except onto
// its first target band.
TEST(LppTransposer, RealModeAliasingDegreesFollowThePatches)
{
    Element e;
    Slots s;
    for (int i = 0; i < Slots::Count; ++i)
        for (int k = 0; k < 16; ++k)
            s.reRows[i][k] = (1 << 24) + (i << 16);
    int32_t alias[SBR_QMF_BANDS];
    transpose(e, s, 0, true, alias);
    for (int k = 2; k < 16; ++k)
        EXPECT_EQ(alias[k], (k & 1) ? 0 : 0x7FFFFFFF) << "band " << k;
    for (const SbrPatch &p : e.settings.patches)
        for (int k = p.patchSourceFirst; k < p.patchSourceEnd; ++k) {
            const int target = k + p.patchTargetShift;
            EXPECT_EQ(alias[target], target == p.patchTargetFirst ? 0 : alias[k]) << "band " << target;
        }
    // Real mode leaves the imaginary arrays alone.
    for (int i = 0; i < Slots::Count; ++i)
        for (int k = 0; k < SBR_QMF_BANDS; ++k)
            ASSERT_EQ(s.imRows[i][k], 0);
}

} // namespace
