// Parametric stereo on a mono signal: the level difference and coherence the parameters
// ask for, L = R without a difference, and its set-up checks.
#include "PsDec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

// The quantisation grids: IID in dB per step, ICC as a correlation per step.
constexpr double IidDecibels[8] = {0, 2, 4, 7, 10, 14, 18, 25};
constexpr double IidFineDecibels[16] = {0, 2, 4, 6, 8, 10, 13, 16, 19, 22, 25, 30, 35, 40, 45, 50};
constexpr double Coherence[8] = {1.0, 0.937, 0.84118, 0.60092, 0.36764, 0.0, -0.589, -1.0};

struct Stereo {
    double left = 0, right = 0;
    std::complex<double> cross = 0;
    bool identical = true;
};

// Runs `slots` slots of complex noise through the decoder with one set of parameters for
// every band and measures the two channels over the slots after the first 40.
Stereo run(int iid, int icc, int fine, int slots = 1500)
{
    PsDecHandle ps = nullptr;
    EXPECT_EQ(PsDec_Create(&ps, 960), 0);
    std::vector<int8_t> iids(PS_PARAMETER_BANDS, static_cast<int8_t>(iid)), iccs(PS_PARAMETER_BANDS, static_cast<int8_t>(icc));
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1 << 22);
    Stereo m;
    for (int t = 0; t < slots; ++t) {
        if (t % 30 == 0)
            PsDec_SetupMixing(ps, iids.data(), iccs.data(), fine, 30);
        int32_t re[PS_QMF_BANDS], im[PS_QMF_BANDS], rightRe[PS_QMF_BANDS], rightIm[PS_QMF_BANDS];
        for (int k = 0; k < PS_QMF_BANDS; ++k) {
            re[k] = static_cast<int32_t>(noise(rng));
            im[k] = static_cast<int32_t>(noise(rng));
        }
        EXPECT_EQ(PsDec_ApplySlot(ps, re, im, rightRe, rightIm), 0);
        for (int k = 0; t >= 40 && k < PS_QMF_BANDS; ++k) {
            const std::complex<double> l(re[k], im[k]), r(rightRe[k], rightIm[k]);
            m.left += std::norm(l);
            m.right += std::norm(r);
            m.cross += l * std::conj(r);
            m.identical = m.identical && re[k] == rightRe[k] && im[k] == rightIm[k];
        }
    }
    PsDec_Destroy(&ps);
    return m;
}

TEST(PsDec, NoDifferenceAndFullCoherenceGiveIdenticalChannels)
{
    const Stereo m = run(0, 0, 0, 200);
    EXPECT_TRUE(m.identical);
    EXPECT_GT(m.left, 0.0);
}

TEST(PsDec, LevelDifferenceIsTheStepOfTheGrid)
{
    const struct {
        int step;
        int fine;
        double decibels;
    } rows[] = {
        {1, 0, IidDecibels[1]},  {3, 0, IidDecibels[3]},   {-4, 0, -IidDecibels[4]},    {7, 0, IidDecibels[7]},
        {-7, 0, -IidDecibels[7]}, {6, 1, IidFineDecibels[6]}, {-11, 1, -IidFineDecibels[11]},
        {15, 1, IidFineDecibels[15]},
    };
    for (const auto &row : rows) {
        const Stereo m = run(row.step, 0, row.fine, 300);
        EXPECT_NEAR(10 * std::log10(m.left / m.right), row.decibels, 0.1) << "step " << row.step << " fine " << row.fine;
    }
}

TEST(PsDec, CoherenceIsTheStepOfTheGrid)
{
    for (int step = 0; step < 8; ++step) {
        const Stereo m = run(0, step, 0);
        const double coherence = m.cross.real() / std::sqrt(m.left * m.right);
        EXPECT_NEAR(coherence, Coherence[step], 0.08) << "step " << step;
        EXPECT_NEAR(10 * std::log10(m.left / m.right), 0.0, 0.5) << "step " << step;
    }
}

TEST(PsDec, CreateChecksItsArguments)
{
    PsDecHandle ps = nullptr;
    EXPECT_EQ(PsDec_Create(nullptr, 960), -1);
    EXPECT_EQ(PsDec_Create(&ps, 1000), -1);
    EXPECT_EQ(ps, nullptr);
    ASSERT_EQ(PsDec_Create(&ps, 1024), 0);
    EXPECT_EQ(PsDec_TimeSlots(ps), 32);
    PsDecHandle same = ps;
    ASSERT_EQ(PsDec_Create(&ps, 960), 0) << "re-initialised in place";
    EXPECT_EQ(ps, same);
    EXPECT_EQ(PsDec_TimeSlots(ps), 30);
    int32_t slot[PS_QMF_BANDS] = {};
    EXPECT_EQ(PsDec_ApplySlot(ps, slot, slot, nullptr, slot), -1);
    EXPECT_EQ(PsDec_Destroy(&ps), 0);
    EXPECT_EQ(ps, nullptr);
    EXPECT_EQ(PsDec_Destroy(&ps), -1);
}

} // namespace
