// Harmonic high-band generation: band layout, crossover bands, the inverse roots, and
// the kernel's phase multiplication, which puts a tone's harmonics on harmonics.
#include "SbrHbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

SbrBandTables tables(const std::vector<int> &high, const std::vector<int> &low)
{
    SbrBandTables t{};
    for (size_t i = 0; i < high.size(); ++i)
        t.high[i] = static_cast<uint8_t>(high[i]);
    for (size_t i = 0; i < low.size(); ++i)
        t.low[i] = static_cast<uint8_t>(low[i]);
    t.highCount = static_cast<uint8_t>(high.size() - 1);
    t.lowCount = static_cast<uint8_t>(low.size() - 1);
    return t;
}

std::vector<int> range(int from, int to, int step)
{
    std::vector<int> v;
    for (int k = from; k <= to; k += step)
        v.push_back(k);
    return v;
}

struct Transposer {
    SbrHbeTransposer *t = nullptr;
    Transposer(int frameSize, int fourToOne) { EXPECT_EQ(SbrDec_HbeCreate(&t, frameSize, 0, fourToOne), 0); }
    ~Transposer() { SbrDec_HbeClose(t); }
};

TEST(SbrHbe, LayoutFollowsTheFirstSbrBand)
{
    struct Case {
        int kx, frameSize, fourToOne, synthesisBands, firstTransposed;
    };
    for (const Case &c : {Case{32, 1024, 0, 20, 12}, Case{32, 768, 0, 20, 4}, Case{16, 768, 0, 12, 6},
                          Case{5, 1024, 0, 8, 0}, Case{10, 1024, 1, 8, 4}, Case{16, 1024, 1, 12, 4}}) {
        Transposer h(c.frameSize, c.fourToOne);
        const SbrBandTables t = tables(range(c.kx, 64, 2), range(c.kx, 64, 4));
        ASSERT_EQ(SbrDec_HbeReInit(h.t, &t), 0) << c.kx;
        EXPECT_EQ(h.t->synthesisBandCount, c.synthesisBands) << c.kx;
        EXPECT_EQ(h.t->firstTransposedBand, c.firstTransposed) << c.kx << " " << c.frameSize;
    }
    struct Slots {
        int frameSize, fourToOne, slots, analysisBands;
    };
    for (const Slots &c : {Slots{1024, 0, 32, 32}, Slots{768, 0, 32, 24}, Slots{1024, 1, 64, 16}, Slots{512, 0, 16, 32}}) {
        Transposer s(c.frameSize, c.fourToOne);
        EXPECT_EQ(s.t->slotCount, c.slots) << c.frameSize;
        EXPECT_EQ(s.t->analysisBands, c.analysisBands) << c.frameSize;
    }
    Transposer h(1024, 0);
    const SbrBandTables tooHigh = tables(range(36, 62, 2), range(36, 62, 2));
    EXPECT_EQ(SbrDec_HbeReInit(h.t, &tooHigh), SBR_HBE_UNSUPPORTED);
    const SbrBandTables highest = tables(range(35, 63, 2), range(35, 63, 4));
    EXPECT_EQ(SbrDec_HbeReInit(h.t, &highest), 0);
    EXPECT_EQ(SbrDec_HbeCreate(nullptr, 1024, 0, 0), 0);
}

TEST(SbrHbe, CrossoverBands)
{
    struct Case {
        const char *name;
        std::vector<int> high, low, crossover;
        int highestOrder;
    };
    const Case cases[] = {
        {"every factor", range(16, 64, 2), range(16, 64, 4), {16, 32, 48, 64}, 4},
        // 2 · 24 lies above the last border: factor 2 fills the whole range.
        {"factor 2 only", range(24, 44, 2), range(24, 44, 4), {24, 44}, 2},
        // 32 is 5 above the high border 27 and 48 is 4 above 44: the low borders 24 and
        // 36 below them are taken.
        {"far from a high border", {16, 18, 20, 22, 24, 27, 36, 44, 52, 60}, {16, 20, 24, 36, 52, 60},
         {16, 24, 36, 60}, 4},
    };
    for (const Case &c : cases) {
        Transposer h(1024, 0);
        const SbrBandTables t = tables(c.high, c.low);
        ASSERT_EQ(SbrDec_HbeReInit(h.t, &t), 0) << c.name;
        EXPECT_EQ(SbrDec_HbeHighestOrder(h.t), c.highestOrder) << c.name;
        const uint8_t *bands = SbrDec_HbeCrossoverBands(h.t);
        EXPECT_EQ(std::vector<int>(bands, bands + c.crossover.size()), c.crossover) << c.name;
    }
}

TEST(SbrHbe, InverseRootsHoldFourteenBits)
{
    struct Root {
        int32_t (*f)(int32_t, int, int *);
        double power;
    };
    for (const Root &r : {Root{SbrDec_HbeRoot4, -0.25}, Root{SbrDec_HbeRoot3, -1.0 / 3}, Root{SbrDec_HbeRoot38, -0.375}})
        for (double x : {1e-12, 3e-5, 0.5, 0.61, 0.999, 1.0, 2.5, 7.0, 1e3, 4.4e9}) {
            int e = 0;
            const double fraction = std::frexp(x, &e);
            int eOut = 0;
            const int32_t m = r.f(static_cast<int32_t>(fraction * 2147483647.0), e, &eOut);
            EXPECT_NEAR(std::ldexp(m / 2147483648.0, eOut) / std::pow(x, r.power), 1.0, 6e-5) << r.power << " " << x;
        }
}

TEST(SbrHbe, KernelMultipliesThePhaseAndKeepsTheMagnitude)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> logMagnitude(2, 9), angle(-M_PI, M_PI);
    for (int n = 0; n < 300; ++n) {
        const std::complex<double> x = std::polar(std::pow(10.0, logMagnitude(random)), angle(random));
        const int32_t re = static_cast<int32_t>(std::lround(x.real())), im = static_cast<int32_t>(std::lround(x.imag()));
        const std::complex<double> exact(re, im);
        for (int order = 2; order <= 4; ++order) {
            int32_t yRe = 0, yIm = 0;
            SbrDec_HbeTransposeBand(re, im, order, &yRe, &yIm);
            const std::complex<double> expected = std::abs(exact) * std::pow(exact / std::abs(exact), order);
            EXPECT_NEAR(std::abs(std::complex<double>(yRe, yIm) - expected), 0.0, 2 + 1e-4 * std::abs(exact))
                << x << " T=" << order;
        }
    }
    int32_t yRe = 1, yIm = 1;
    SbrDec_HbeTransposeBand(0, 0, 3, &yRe, &yIm);
    EXPECT_EQ(yRe, 0);
    EXPECT_EQ(yIm, 0);
}

TEST(SbrHbe, ToneLandsOnItsHarmonics)
{
    // A tone at QMF frequency 12 (fine band 12 above the transposed low band's start 6):
    // factor T places it at band 12T, with T times the phase advance from row to row.
    Transposer h(1024, 0);
    const SbrBandTables t = tables(range(16, 64, 2), range(16, 64, 4));
    ASSERT_EQ(SbrDec_HbeReInit(h.t, &t), 0);
    ASSERT_EQ(h.t->firstTransposedBand, 6);
    constexpr int Rows = 6;
    constexpr double Advance = 0.7, Amplitude = 1 << 26;
    std::vector<std::vector<std::complex<double>>> out;
    for (int n = 0; n < Rows; ++n) {
        int32_t inRe[SBR_HBE_BANDS] = {}, inIm[SBR_HBE_BANDS] = {}, outRe[SBR_HBE_BANDS] = {},
                outIm[SBR_HBE_BANDS] = {};
        const std::complex<double> x = std::polar(Amplitude, 0.3 + n * Advance);
        inRe[12] = static_cast<int32_t>(x.real());
        inIm[12] = static_cast<int32_t>(x.imag());
        SbrDec_HbeTransposeRow(h.t, inRe, inIm, outRe, outIm);
        out.emplace_back();
        for (int k = 0; k < SBR_HBE_BANDS; ++k)
            out.back().emplace_back(outRe[k], outIm[k]);
    }
    const std::vector<int> reached = {24, 35, 36, 37, 47, 48, 49};
    for (int k = 0; k < SBR_HBE_BANDS; ++k) {
        const bool harmonic = std::find(reached.begin(), reached.end(), k) != reached.end();
        EXPECT_TRUE(harmonic || std::abs(out[0][k]) == 0.0) << k;
    }
    const double weights[] = {1.0 / 3, 0.4714, 2.0 / 3};
    for (int order = 2; order <= 4; ++order) {
        const int k = 12 * order;
        EXPECT_NEAR(std::abs(out[0][k]) / (Amplitude * weights[order - 2]), 1.0, 2e-3) << order;
        for (int n = 1; n < Rows; ++n) {
            const double step = std::arg(out[n][k] / out[n - 1][k]);
            EXPECT_NEAR(std::remainder(step - order * Advance, 2 * M_PI), 0.0, 2e-3) << order << " row " << n;
        }
    }
}

} // namespace
