// The hybrid filter bank: sub-bands against double-precision filters, split and merge as
// a pure delay, the high-band delay, and its initialisation checks.
#include "RezHybrid_tables.h"
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;

// The 8-band prototype of the parametric stereo hybrid filter (taps 0..6, symmetric).
constexpr double G8[7] = {0.00746082949812, 0.02270420949825, 0.04546865930473, 0.07266113929591,
                          0.09885108575264, 0.11793710567217, 0.125};

double g8(int n) { return G8[n <= 6 ? n : 12 - n]; }

TEST(HybridTables, EightBandFilterIsTheModulatedPrototype)
{
    for (int n = 0; n < 13; ++n) {
        const Complex h = g8(n) * std::polar(1.0, -M_PI * (n - 6) / 8);
        EXPECT_NEAR(RezTools_Hybrid8Real[n], 32768 * h.real(), 1.0) << n;
        EXPECT_NEAR(RezTools_Hybrid8Imag[n], 32768 * h.imag(), 1.0) << n;
    }
    for (int n = 0; n < 13; ++n)
        EXPECT_EQ(RezTools_Hybrid4Prototype[n], RezTools_Hybrid4Prototype[12 - n]) << n;
    EXPECT_EQ(RezTools_Hybrid4Prototype[6], 8192);
}

struct Bank {
    RezHybridAnalysis analysis{};
    RezHybridSynthesis synthesis{};
    std::vector<int32_t> state = std::vector<int32_t>(13 * 3 * 2);
    std::vector<int32_t> delay = std::vector<int32_t>(64 * 2 * 6);
    explicit Bank(int mode, int bands = 64)
    {
        RezTools_HybridAnalysisOpen(&analysis, state.data(), static_cast<int>(state.size() * 4), delay.data(),
                                    static_cast<int>(delay.size() * 4));
        EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, mode, bands, bands, 1), 0);
        EXPECT_EQ(RezTools_HybridSynthesisInit(&synthesis, mode, bands, bands), 0);
    }
};

// Double-precision sub-bands of one split band from its last 13 inputs (oldest first).
std::vector<Complex> reference(int type, const std::vector<Complex> &x)
{
    std::vector<Complex> out;
    if (std::abs(type) == 2) {
        const double c[13] = {0, 622, 0, -2390, 0, 10026, 16384, 10026, 0, -2390, 0, 622, 0};
        Complex low = 0, high = 0;
        for (int n = 0; n < 13; ++n) {
            const double v = c[n] / 32768;
            low += v * x[n];
            high += (n == 6 ? v : -v) * x[n];
        }
        return type > 0 ? std::vector<Complex>{low, high} : std::vector<Complex>{high, low};
    }
    const int bands = std::abs(type);
    std::vector<Complex> f(static_cast<size_t>(bands));
    // Sub-band q: tap n modulated by -pi (n - 6)(2q + 1) / bands, with the Q15 coefficients
    // (the 8-band ones carry the half-band phase already).
    for (int q = 0; q < bands; ++q)
        for (int n = 0; n < 13; ++n) {
            const Complex h = bands == 8 ? Complex(RezTools_Hybrid8Real[n], RezTools_Hybrid8Imag[n]) / 32768.0 *
                                               std::polar(1.0, -2 * M_PI * (n - 6) * q / 8)
                                         : RezTools_Hybrid4Prototype[n] / 32768.0 *
                                               std::polar(1.0, -M_PI * (n - 6) * (2 * q + 1) / 4);
            f[q] += h * x[n];
        }
    if (type != -8)
        return f;
    return {f[7], f[0], f[6], f[1], f[2] + f[5], f[3] + f[4]};
}

TEST(HybridFilterBank, SubBandsMatchDoubleFilters)
{
    struct Row {
        int mode;
        int types[3];
        int counts[3];
    };
    const Row rows[] = {{0, {-8, -2, 2}, {6, 2, 2}}, {1, {8, 2, 2}, {8, 2, 2}}, {2, {8, 4, 4}, {8, 4, 4}}};
    std::mt19937 rng(127);
    std::uniform_int_distribution<int32_t> value(-(1 << 28), 1 << 28);
    for (const Row &row : rows) {
        Bank bank(row.mode);
        std::vector<std::vector<Complex>> history(3, std::vector<Complex>(13));
        double worst = 0;
        for (int slot = 0; slot < 40; ++slot) {
            std::vector<int32_t> re(64), im(64), outRe(80), outIm(80);
            for (int k = 0; k < 64; ++k) {
                re[k] = value(rng);
                im[k] = value(rng);
            }
            ASSERT_EQ(RezTools_HybridAnalysisApply(&bank.analysis, re.data(), im.data(), outRe.data(), outIm.data()), 0);
            int offset = 0;
            for (int i = 0; i < 3; ++i) {
                history[i].erase(history[i].begin());
                history[i].push_back(Complex(re[i], im[i]));
                const auto expected = reference(row.types[i], history[i]);
                ASSERT_EQ(static_cast<int>(expected.size()), row.counts[i]);
                for (int q = 0; q < row.counts[i]; ++q)
                    worst = std::max(worst, std::abs(Complex(outRe[offset + q], outIm[offset + q]) - expected[q]));
                offset += row.counts[i];
            }
        }
        // 16-bit coefficients (the FFT's cos(pi/4) among them): below 2^-16 of the input range.
        EXPECT_LT(worst, (1 << 28) / 65536.0) << "mode " << row.mode;
    }
}

TEST(HybridFilterBank, SplitAndMergeIsASixSlotDelay)
{
    for (int mode = 0; mode < 3; ++mode) {
        Bank bank(mode);
        std::mt19937 rng(static_cast<unsigned>(mode));
        std::uniform_int_distribution<int32_t> value(-(1 << 28), 1 << 28);
        std::vector<std::vector<int32_t>> inputsRe, inputsIm;
        for (int slot = 0; slot < 30; ++slot) {
            std::vector<int32_t> re(64), im(64), hre(80), him(80), outRe(64), outIm(64);
            for (int k = 0; k < 64; ++k) {
                re[k] = value(rng);
                im[k] = value(rng);
            }
            inputsRe.push_back(re);
            inputsIm.push_back(im);
            RezTools_HybridAnalysisApply(&bank.analysis, re.data(), im.data(), hre.data(), him.data());
            RezTools_HybridSynthesisApply(&bank.synthesis, hre.data(), him.data(), outRe.data(), outIm.data());
            for (int k = 0; k < 64; ++k) {
                const int32_t expectedRe = slot >= 6 ? inputsRe[slot - 6][k] : 0;
                const int32_t expectedIm = slot >= 6 ? inputsIm[slot - 6][k] : 0;
                // Split bands: the filters sum to the centre tap within their rounding.
                const int tolerance = k < 3 ? 64 : 0;
                ASSERT_NEAR(outRe[k], expectedRe, tolerance) << "mode " << mode << " slot " << slot << " band " << k;
                ASSERT_NEAR(outIm[k], expectedIm, tolerance) << "mode " << mode << " slot " << slot << " band " << k;
            }
        }
    }
}

TEST(HybridFilterBank, NoDelayPassesTheHighBands)
{
    Bank bank(1);
    bank.analysis.noDelay = 1;
    std::vector<int32_t> re(64), im(64), outRe(80), outIm(80);
    for (int k = 0; k < 64; ++k) {
        re[k] = k * 1000;
        im[k] = -k;
    }
    RezTools_HybridAnalysisApply(&bank.analysis, re.data(), im.data(), outRe.data(), outIm.data());
    for (int k = 3; k < 64; ++k) {
        EXPECT_EQ(outRe[12 + k - 3], re[k]) << k;
        EXPECT_EQ(outIm[12 + k - 3], im[k]) << k;
    }
}

TEST(HybridFilterBank, InitialisationChecks)
{
    std::vector<int32_t> state(13 * 3 * 2), delay(64 * 2 * 6);
    RezHybridAnalysis analysis{};
    RezHybridSynthesis synthesis{};
    RezTools_HybridAnalysisOpen(&analysis, state.data(), 13 * 3 * 8, delay.data(), static_cast<int>(delay.size() * 4));
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, 3, 64, 64, 1), -1);
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, -1, 64, 64, 1), -1);
    EXPECT_EQ(RezTools_HybridSynthesisInit(&synthesis, 3, 64, 64), -1);
    RezTools_HybridAnalysisOpen(&analysis, state.data(), 13 * 3 * 8 - 1, delay.data(), static_cast<int>(delay.size() * 4));
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, 0, 64, 64, 1), -2);
    // (64 + 64 - 6) x 6 x 4 bytes needed.
    RezTools_HybridAnalysisOpen(&analysis, state.data(), 13 * 3 * 8, delay.data(), 122 * 6 * 4 - 1);
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, 0, 64, 64, 1), -3);
    RezTools_HybridAnalysisOpen(&analysis, state.data(), 13 * 3 * 8, delay.data(), 122 * 6 * 4);
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, 0, 64, 64, 1), 0);
    // No delay buffer: the check is skipped.
    RezTools_HybridAnalysisOpen(&analysis, state.data(), 13 * 3 * 8, nullptr, 0);
    EXPECT_EQ(RezTools_HybridAnalysisInit(&analysis, 2, 64, 64, 1), 0);
}

} // namespace
