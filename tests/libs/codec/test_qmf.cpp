// QMF analysis followed by synthesis reconstructs the input with a fixed delay for every
// band count; the prototypes and twiddles against their design.
#include "RezQmf_tables.h"
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Reconstruction {
    int delay = -1;
    double gain = 0;
    double errorDb = 0; // error power relative to the signal power
    double residualDb = 0; // the same after scaling the output by the best gain
};

// Runs slots of a test signal through one analysis and one synthesis bank of B bands
// and finds the delay at which the output best matches the input.
Reconstruction reconstruct(int bands, uint32_t flags, const int16_t *prototype = nullptr,
                           const int16_t *cosTable = nullptr, const int16_t *sinTable = nullptr)
{
    constexpr int Slots = 96;
    const int length = Slots * bands;
    std::vector<int16_t> input(static_cast<size_t>(length)), output(static_cast<size_t>(length));
    std::mt19937 rng(static_cast<unsigned>(bands + flags));
    std::uniform_int_distribution<int> noise(-2000, 2000);
    for (int n = 0; n < length; ++n)
        input[n] = static_cast<int16_t>(6000 * std::sin(0.013 * n) + 4000 * std::sin(0.41 * n + 0.002 * n * n) + noise(rng));

    RezQmfFilterBank analysis{}, synthesis{};
    std::vector<int16_t> analysisState(10 * static_cast<size_t>(bands));
    std::vector<int32_t> synthesisState(9 * static_cast<size_t>(bands)), work(2 * static_cast<size_t>(bands));
    EXPECT_EQ(RezTools_QmfAnalysisInit(&analysis, analysisState.data(), 1, bands, bands, bands, flags), 0) << bands;
    EXPECT_EQ(RezTools_QmfSynthesisInit(&synthesis, prototype, cosTable, sinTable, synthesisState.data(), 1, bands,
                                        bands, bands, flags),
              0)
        << bands;
    std::vector<int32_t> re(static_cast<size_t>(bands)), im(static_cast<size_t>(bands));
    int32_t *reSlot = re.data(), *imSlot = im.data();
    for (int slot = 0; slot < Slots; ++slot) {
        int exponent = 0;
        RezTools_QmfAnalysis(&analysis, &reSlot, &imSlot, &exponent, input.data() + slot * bands, 0, 1, work.data());
        const int32_t scales[3] = {exponent, exponent, exponent};
        RezTools_QmfSynthesis(&synthesis, &reSlot, &imSlot, scales, 0, output.data() + slot * bands, 1, work.data());
    }
    Reconstruction best;
    double bestError = 1e300;
    for (int delay = 0; delay <= 12 * bands; ++delay) {
        double xy = 0, yy = 0, xx = 0;
        for (int n = 20 * bands; n < length; ++n) {
            const double x = input[n - delay], y = output[n];
            xy += x * y;
            yy += y * y;
            xx += x * x;
        }
        const double error = xx + yy - 2 * xy;
        if (error < bestError) {
            bestError = error;
            best.delay = delay;
            best.gain = yy > 0 ? xy / xx : 0;
            best.errorDb = 10 * std::log10(std::max(error, 1e-9) / xx);
            best.residualDb = 10 * std::log10(std::max(xx - xy * xy / std::max(yy, 1e-9), 1e-9) / xx);
        }
    }
    return best;
}

// Synthesis twiddles that undo an analysis rotation by pi (2k+1)(64+B)/(256 B) down to
// the pi (2k+1)/(2B) phase that the synthesis modulation expects.
void partnerTwiddles(int bands, std::vector<int16_t> &cosTable, std::vector<int16_t> &sinTable)
{
    cosTable.assign(64, 0);
    sinTable.assign(64, 0);
    for (int k = 0; k < bands; ++k) {
        const double a = M_PI * (2 * k + 1) * (64 + bands) / (256.0 * bands) - M_PI * (2 * k + 1) / (2.0 * bands);
        cosTable[k] = static_cast<int16_t>(std::lround(std::min(32767.0, 32768 * std::cos(a))));
        sinTable[k] = static_cast<int16_t>(std::lround(std::min(32767.0, 32768 * std::sin(a))));
    }
}

TEST(QmfFilterBank, AnalysisThenSynthesisReconstructs)
{
    struct Row {
        const char *name;
        int bands;
        uint32_t flags;
        bool callerTables; // 40 bands: the synthesis runs on the caller's tables
        double gain;       // what the fixed exponent rules leave for a bank paired with itself
    };
    const Row rows[] = {
        {"8 real", 8, REZ_QMF_FLAG_REAL, false, 1.0},
        {"12 real", 12, REZ_QMF_FLAG_REAL, false, 12.0 / 64},
        {"16 real", 16, REZ_QMF_FLAG_REAL, false, 1.0},
        {"20 real", 20, REZ_QMF_FLAG_REAL, false, 20.0 / 128},
        {"24 real", 24, REZ_QMF_FLAG_REAL, false, 4.0 / 3},
        {"32 real", 32, REZ_QMF_FLAG_REAL, false, 1.0},
        {"32 complex, second twiddles", 32, REZ_QMF_FLAG_SECOND_TWIDDLES, false, 1.0},
        {"40 complex, caller synthesis", 40, 0, true, 4.0 / 5},
        {"64 real", 64, REZ_QMF_FLAG_REAL, false, 1.0},
        {"64 complex", 64, 0, false, 1.0},
    };
    for (const Row &row : rows) {
        std::vector<int16_t> cosTable, sinTable;
        partnerTwiddles(row.bands, cosTable, sinTable);
        const Reconstruction r = row.callerTables
                                     ? reconstruct(row.bands, row.flags, RezTools_QmfPrototype40, cosTable.data(), sinTable.data())
                                     : reconstruct(row.bands, row.flags);
        // The delay of a 10 B tap prototype pair.
        EXPECT_EQ(r.delay, 9 * row.bands + 1) << row.name;
        EXPECT_NEAR(r.gain, row.gain, 0.005 * row.gain) << row.name;
        // Aliasing and rounding stay 55 dB below the signal.
        EXPECT_LT(r.residualDb, -55) << row.name;
    }
}

// A sum of tones below the input's Nyquist frequency; tone i has angular frequency
// Fraction[i] x pi per input sample.
struct Tones {
    static constexpr int Count = 6;
    static constexpr double Fraction[Count] = {0.013, 0.11, 0.29, 0.47, 0.66, 0.85};
    static constexpr double Amplitude[Count] = {4000, 3000, 2500, 2500, 2000, 1500};
    // The signal at time t, in input samples.
    static double at(double t)
    {
        double v = 0;
        for (int i = 0; i < Count; ++i)
            v += Amplitude[i] * std::cos(M_PI * Fraction[i] * t + i);
        return v;
    }
};

struct UpsampledFit {
    double delay = 0;      // output samples
    double gain = 0;
    double residualDb = 0; // what the best delayed and scaled tones leave, against the output
};

// Finds the delay (in steps of 1/15 output sample, enough for every ratio 64 / B here) at
// which the tones, stretched by `ratio` output samples per input sample, best explain y.
UpsampledFit fitTones(const std::vector<int16_t> &y, size_t first, double ratio)
{
    // y ~ sum_i A_i cos(w_i (n - D) + i) = sum_i A_i (cos(w_i D) C_i(n) + sin(w_i D) S_i(n)):
    // correlations with C_i and S_i and their Gram matrix make every delay cheap to try.
    constexpr int Basis = 2 * Tones::Count;
    double gram[Basis][Basis] = {}, corr[Basis] = {}, yy = 0;
    for (size_t n = first; n < y.size(); ++n) {
        double b[Basis];
        for (int i = 0; i < Tones::Count; ++i) {
            const double phase = M_PI * Tones::Fraction[i] / ratio * static_cast<double>(n) + i;
            b[2 * i] = std::cos(phase);
            b[2 * i + 1] = std::sin(phase);
        }
        for (int r = 0; r < Basis; ++r) {
            corr[r] += b[r] * y[n];
            for (int c = 0; c < Basis; ++c)
                gram[r][c] += b[r] * b[c];
        }
        yy += double(y[n]) * y[n];
    }
    UpsampledFit best;
    double bestError = 1e300;
    for (int step = 0; step <= 15 * 12 * 64; ++step) {
        const double delay = step / 15.0;
        double a[Basis];
        for (int i = 0; i < Tones::Count; ++i) {
            const double w = M_PI * Tones::Fraction[i] / ratio;
            a[2 * i] = Tones::Amplitude[i] * std::cos(w * delay);
            a[2 * i + 1] = Tones::Amplitude[i] * std::sin(w * delay);
        }
        double xy = 0, xx = 0;
        for (int r = 0; r < Basis; ++r) {
            xy += a[r] * corr[r];
            for (int c = 0; c < Basis; ++c)
                xx += a[r] * gram[r][c] * a[c];
        }
        const double error = yy - xy * xy / xx;
        if (error < bestError) {
            bestError = error;
            best = {delay, xy / xx, 10 * std::log10(std::max(error, 1e-9) / yy)};
        }
    }
    return best;
}

// SBR's pairing: a complex analysis of B bands at the core rate, synthesised by a 64-band
// bank with the bands from B up empty, is the signal at 64 / B times the rate.
TEST(QmfFilterBank, ComplexAnalysisIntoSixtyFourBandSynthesisRaisesTheRate)
{
    for (const int bands : {16, 24, 32, 40}) {
        constexpr int Slots = 120;
        const double ratio = 64.0 / bands;
        std::vector<int16_t> input(static_cast<size_t>(Slots * bands)), output(Slots * 64);
        for (size_t m = 0; m < input.size(); ++m)
            input[m] = static_cast<int16_t>(std::lround(Tones::at(static_cast<double>(m))));
        RezQmfFilterBank analysis{}, synthesis{};
        std::vector<int16_t> analysisState(10 * static_cast<size_t>(bands));
        std::vector<int32_t> synthesisState(9 * 64), work(128);
        ASSERT_EQ(RezTools_QmfAnalysisInit(&analysis, analysisState.data(), 1, bands, bands, bands, 0), 0) << bands;
        ASSERT_EQ(RezTools_QmfSynthesisInit(&synthesis, nullptr, nullptr, nullptr, synthesisState.data(), 1, 64, 64, 64,
                                            0),
                  0);
        for (int slot = 0; slot < Slots; ++slot) {
            std::vector<int32_t> re(64), im(64);
            int32_t *reSlot = re.data(), *imSlot = im.data();
            int exponent = 0;
            RezTools_QmfAnalysis(&analysis, &reSlot, &imSlot, &exponent, input.data() + slot * bands, 0, 1, work.data());
            const int32_t scales[3] = {exponent, exponent, exponent};
            RezTools_QmfSynthesis(&synthesis, &reSlot, &imSlot, scales, 0, output.data() + slot * 64, 1, work.data());
        }
        const UpsampledFit fit = fitTones(output, 30 * 64, ratio);
        // The two prototypes' delay, 576 output samples, and one input sample.
        EXPECT_NEAR(fit.delay, 576 + ratio, 0.01) << bands;
        EXPECT_NEAR(fit.gain, 1.0, 0.005) << bands;
        EXPECT_LT(fit.residualDb, -55) << bands;
    }
}

TEST(QmfFilterBank, PrototypesAndTwiddles)
{
    // The 640-tap prototype is symmetric about its centre group.
    const int16_t *centre = RezTools_QmfPrototype640 + 5 * 64;
    EXPECT_EQ(centre[0], centre[4]);
    EXPECT_EQ(centre[1], centre[3]);
    // Resampled prototypes keep the end groups of the 640-tap one (scaled for 24 and 40).
    struct Ends {
        const int16_t *table;
        int bands;
        int16_t first[5], last[5];
    };
    const Ends ends[] = {
        {RezTools_QmfPrototype12, 12, {0, 435, 11834, -11834, -435}, {86, 2305, 27975, 2305, 86}},
        {RezTools_QmfPrototype20, 20, {0, 435, 11834, -11834, -435}, {86, 2305, 27975, 2305, 86}},
        {RezTools_QmfPrototype24, 24, {0, 290, 7890, -7890, -290}, {57, 1537, 18650, 1537, 57}},
        {RezTools_QmfPrototype40, 40, {0, 348, 9468, -9468, -348}, {69, 1844, 22380, 1844, 69}},
    };
    for (const Ends &e : ends)
        for (int m = 0; m < 5; ++m) {
            EXPECT_EQ(e.table[m], e.first[m]) << e.bands;
            EXPECT_EQ(e.table[5 * e.bands + m], e.last[m]) << e.bands;
        }
    struct Twiddles {
        const int16_t *cosTable, *sinTable;
        int bands;
        bool second;
    };
    const Twiddles sets[] = {{RezTools_QmfTwiddleCos16, RezTools_QmfTwiddleSin16, 16, false},
                             {RezTools_QmfTwiddleCos24, RezTools_QmfTwiddleSin24, 24, false},
                             {RezTools_QmfTwiddleCos32, RezTools_QmfTwiddleSin32, 32, false},
                             {RezTools_QmfTwiddleCos32B, RezTools_QmfTwiddleSin32B, 32, true},
                             {RezTools_QmfTwiddleCos40, RezTools_QmfTwiddleSin40, 40, false},
                             {RezTools_QmfTwiddleCos64, RezTools_QmfTwiddleSin64, 64, false}};
    for (const Twiddles &t : sets)
        for (int k = 0; k < t.bands; ++k) {
            const double a = t.second ? M_PI * (2 * k + 1) / 64 : M_PI * (2 * k + 1) * (64 + t.bands) / (256.0 * t.bands);
            ASSERT_NEAR(t.cosTable[k], 32768 * std::cos(a), 1.0) << t.bands << " " << k;
            ASSERT_NEAR(t.sinTable[k], 32768 * std::sin(a), 1.0) << t.bands << " " << k;
        }
}

TEST(QmfFilterBank, InitialisationRefusals)
{
    struct Row {
        const char *name;
        int bands;
        uint32_t flags;
        bool synthesis;
        int result;
    };
    const Row rows[] = {
        {"flag 4", 32, REZ_QMF_FLAG_RESERVED_4, false, -1},
        {"flag 16", 32, REZ_QMF_FLAG_RESERVED_16, true, -1},
        {"flag 4 and 16", 32, REZ_QMF_FLAG_RESERVED_4 | REZ_QMF_FLAG_RESERVED_16, false, -1},
        {"unknown count", 36, REZ_QMF_FLAG_REAL, false, -1},
        {"caller-table count without tables", 48, 0, true, -1},
        {"caller-table count in analysis", 96, 0, false, -1},
        {"complex 12 without twiddles", 12, 0, false, -1},
        {"full prototype analysis", 64, REZ_QMF_FLAG_FULL_PROTOTYPE, false, -1},
        {"64 complex", 64, 0, false, 0},
        {"24 complex", 24, 0, true, 0},
    };
    std::vector<int32_t> state(9 * 400);
    for (const Row &row : rows) {
        RezQmfFilterBank bank{};
        const int result = row.synthesis
                               ? RezTools_QmfSynthesisInit(&bank, nullptr, nullptr, nullptr, state.data(), 1, 0,
                                                           row.bands, row.bands, row.flags)
                               : RezTools_QmfAnalysisInit(&bank, reinterpret_cast<int16_t *>(state.data()), 1, 0,
                                                          row.bands, row.bands, row.flags);
        EXPECT_EQ(result, row.result) << row.name;
    }
}

TEST(QmfFilterBank, ZeroSlotsOnlyWriteTheExponent)
{
    RezQmfFilterBank bank{};
    std::vector<int16_t> state(640);
    ASSERT_EQ(RezTools_QmfAnalysisInit(&bank, state.data(), 0, 0, 24, 24, 0), 0);
    int exponent = 99;
    int32_t *slot = nullptr;
    RezTools_QmfAnalysis(&bank, &slot, &slot, &exponent, nullptr, 2, 1, nullptr);
    EXPECT_EQ(exponent, -7 - 2 - 1);
}

// One synthesis slot of the same random bands through a fresh bank with a set-up.
std::vector<int16_t> synthesiseOnce(int upperBand, int32_t gainWord, int outputScale, int lowerBand = 64,
                                    int lowShift = 0, int highShift = 0, int zeroFrom = 64)
{
    RezQmfFilterBank bank{};
    std::vector<int32_t> state(9 * 64), work(128), re(64), im(64);
    std::mt19937 rng(125);
    std::uniform_int_distribution<int32_t> value(-(1 << 20), 1 << 20);
    for (int k = 0; k < 64; ++k) {
        re[k] = k < zeroFrom ? value(rng) : 0;
        im[k] = k < zeroFrom ? value(rng) : 0;
    }
    EXPECT_EQ(RezTools_QmfSynthesisInit(&bank, nullptr, nullptr, nullptr, state.data(), 1, lowerBand, upperBand, 64, 0), 0);
    RezTools_QmfSetOutputGain(&bank, gainWord, outputScale);
    std::vector<int16_t> out(64 * 12);
    for (int slot = 0; slot < 12; ++slot)
        RezTools_QmfSynthesisSlot(&bank, re.data(), im.data(), lowShift, highShift, out.data() + 64 * slot, 1, work.data());
    return out;
}

TEST(QmfFilterBank, SynthesisBandsGainAndSaturation)
{
    // An upper band below B gives what zero bands give.
    EXPECT_EQ(synthesiseOnce(40, static_cast<int32_t>(0x80000000u), 0),
              synthesiseOnce(64, static_cast<int32_t>(0x80000000u), 0, 64, 0, 0, 40));
    // Lower band 0: the whole range takes the high shift.
    EXPECT_EQ(synthesiseOnce(64, static_cast<int32_t>(0x80000000u), 0, 0, 5, 0),
              synthesiseOnce(64, static_cast<int32_t>(0x80000000u), 0, 64, 0, 0));
    // A Q15 gain of one half halves the output (within rounding).
    const auto unity = synthesiseOnce(64, static_cast<int32_t>(0x80000000u), 0);
    const auto halved = synthesiseOnce(64, 0x40000000, 0);
    for (size_t i = 0; i < unity.size(); ++i)
        ASSERT_NEAR(halved[i], unity[i] / 2.0, 1.5) << i;
    // An output scale that makes the shift negative saturates rather than wrapping.
    const auto loud = synthesiseOnce(64, static_cast<int32_t>(0x80000000u), 40);
    bool saturated = false;
    for (size_t i = 0; i < loud.size(); ++i) {
        if (unity[i] > 0) {
            ASSERT_EQ(loud[i], 32767) << i;
        } else if (unity[i] < 0) {
            ASSERT_EQ(loud[i], -32768) << i;
        }
        saturated = saturated || loud[i] == 32767;
    }
    EXPECT_TRUE(saturated);
}

TEST(QmfFilterBank, KeptStateFollowsTheNewExponent)
{
    RezQmfFilterBank bank{};
    std::vector<int32_t> state(9 * 64, 1 << 12);
    ASSERT_EQ(RezTools_QmfSynthesisInit(&bank, nullptr, nullptr, nullptr, state.data(), 1, 64, 64, 64,
                                        REZ_QMF_FLAG_KEEP_STATES),
              0);
    const int before = bank.stateExponent;
    // A zeroed record has exponent 0: the kept values move to the bank's exponent (8).
    EXPECT_EQ(before, 8);
    EXPECT_EQ(state[0], (1 << 12) >> 8);
    state.assign(state.size(), 1 << 12);
    // 64 -> 32 bands: the state exponent drops by one, the kept values double.
    ASSERT_EQ(RezTools_QmfSynthesisInit(&bank, nullptr, nullptr, nullptr, state.data(), 1, 32, 32, 32,
                                        REZ_QMF_FLAG_KEEP_STATES | REZ_QMF_FLAG_SECOND_TWIDDLES),
              0);
    EXPECT_EQ(bank.stateExponent, before - 1);
    EXPECT_EQ(state[0], 1 << 13);
    // An extra state scale and its read-back.
    RezTools_QmfRescaleState(&bank, 2);
    EXPECT_EQ(RezTools_QmfGetStateScale(&bank), 2);
    EXPECT_EQ(state[0], 1 << 11);
}

} // namespace
