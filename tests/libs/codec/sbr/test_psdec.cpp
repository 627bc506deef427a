// Parametric stereo on a mono signal: the level difference and coherence the parameters
// ask for, L = R without a difference, and its set-up checks.
#include "PsDec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

// The quantisation grids: IID in dB per step, ICC as a correlation per step.
constexpr double IidDecibels[8] = {0, 2, 4, 7, 10, 14, 18, 25};
constexpr double IidFineDecibels[16] = {0, 2, 4, 6, 8, 10, 13, 16, 19, 22, 25, 30, 35, 40, 45, 50};
constexpr double Coherence[8] = {1.0, 0.937, 0.84118, 0.60092, 0.36764, 0.0, -0.589, -1.0};

// Every band of the test slots is at the common exponent already.
constexpr PsSlotScaling Unscaled = {0, 0, 0, PS_QMF_BANDS, PS_QMF_BANDS};

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
        EXPECT_EQ(PsDec_ApplySlot(ps, re, im, rightRe, rightIm, &Unscaled), 0);
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

// A decoder for 960-sample frames (30 slots) whose data record is filled by hand.
struct Frames {
    PsDecHandle ps = nullptr;
    Frames() { EXPECT_EQ(PsDec_Create(&ps, 960), 0); }
    ~Frames() { PsDec_Destroy(&ps); }
    PsData &data() { return *PsDec_DataRecord(ps); }
    // One frame: data read (or not), prepared, done.
    int frame(bool withData, int frameError, PsFrameParameters &out)
    {
        if (withData)
            PsDec_DataRead(ps);
        const int runs = PsDec_PrepareFrame(ps, frameError, &out);
        PsDec_FrameDone(ps, runs);
        return runs;
    }
};

void enable(PsData &d, int envelopes, int variable)
{
    d.enabled = 1;
    d.enableIid = d.enableIcc = 1;
    d.iidMode = d.iccMode = 1; // 20 bands, normal grid
    d.iidBandClass = d.iccBandClass = 1;
    d.fineIid = 0;
    d.variableBorders = static_cast<uint8_t>(variable);
    d.envelopes = static_cast<uint8_t>(envelopes);
}

TEST(PsDecFrames, FixedBordersSplitTheFrameEvenly)
{
    const struct {
        int envelopes;
        std::vector<int> borders;
    } rows[] = {{1, {0, 30}}, {2, {0, 15, 30}}, {4, {0, 7, 15, 22, 30}}};
    for (const auto &row : rows) {
        Frames f;
        enable(f.data(), row.envelopes, 0);
        PsFrameParameters out;
        ASSERT_EQ(f.frame(true, 0, out), 1);
        ASSERT_EQ(out.envelopes, row.envelopes);
        EXPECT_EQ(std::vector<int>(out.borders, out.borders + out.envelopes + 1), row.borders) << row.envelopes;
    }
}

TEST(PsDecFrames, VariableBordersRiseAndEndTheFrame)
{
    const struct {
        const char *name;
        std::vector<int> read;
        std::vector<int> borders;
    } rows[] = {
        {"ends early: an envelope is added", {10, 20}, {0, 10, 20, 30}},
        {"ends at the last slot", {10, 30}, {0, 10, 30}},
        {"falling borders are lifted", {12, 5, 9}, {0, 12, 13, 14, 30}},
        {"beyond the frame", {40, 50}, {0, 29, 30}},
    };
    for (const auto &row : rows) {
        Frames f;
        enable(f.data(), static_cast<int>(row.read.size()), 1);
        for (size_t e = 0; e < row.read.size(); ++e)
            f.data().borders[e] = static_cast<uint8_t>(row.read[e]);
        PsFrameParameters out;
        ASSERT_EQ(f.frame(true, 0, out), 1);
        EXPECT_EQ(std::vector<int>(out.borders, out.borders + out.envelopes + 1), row.borders) << row.name;
        // An added envelope repeats the last values.
        if (out.envelopes > static_cast<int>(row.read.size())) {
            EXPECT_EQ(out.iid[out.envelopes - 1][3], out.iid[out.envelopes - 2][3]) << row.name;
        }
    }
}

TEST(PsDecFrames, DeltasDecodeAcrossBandsAndAlongTime)
{
    Frames f;
    PsData &d = f.data();
    enable(d, 2, 0);
    d.iidBandClass = 0; // ten bands, spread over pairs
    for (int b = 0; b < 10; ++b) {
        d.iid[0][b] = 1;                      // across bands: 1, 2, 3, ... clamped at 7
        d.iid[1][b] = static_cast<int8_t>(-2); // along time: two below the first envelope
    }
    d.iidTime[0] = 0;
    d.iidTime[1] = 1;
    for (int b = 0; b < 20; ++b) {
        d.icc[0][b] = static_cast<int8_t>(b == 0 ? 3 : 0);
        d.icc[1][b] = static_cast<int8_t>(b == 0 ? 9 : 0); // along bands: 9 is clamped to 7
    }
    PsFrameParameters out;
    ASSERT_EQ(f.frame(true, 0, out), 1);
    for (int b = 0; b < 20; ++b) {
        const int first = std::min(b / 2 + 1, 7);
        EXPECT_EQ(out.iid[0][b], first) << b;
        EXPECT_EQ(out.iid[1][b], first - 2) << b;
        EXPECT_EQ(out.icc[0][b], 3) << b;
        EXPECT_EQ(out.icc[1][b], 7) << b;
    }
    // The next frame's time deltas start from this frame's last envelope.
    enable(d, 1, 0);
    d.iidBandClass = 1;
    d.iidTime[0] = 1;
    for (int b = 0; b < 20; ++b)
        d.iid[0][b] = 1;
    ASSERT_EQ(f.frame(true, 0, out), 1);
    EXPECT_EQ(out.iid[0][0], 0);
    EXPECT_EQ(out.iid[0][19], 6);
}

TEST(PsDecFrames, LostFrameHoldsAndMissingDataSwitchesOff)
{
    Frames f;
    PsData &d = f.data();
    PsFrameParameters out;
    EXPECT_EQ(f.frame(false, 0, out), 0) << "no data before PS ran";
    enable(d, 1, 0);
    EXPECT_EQ(f.frame(true, 1, out), 0) << "a lost frame before PS ran";
    for (int b = 0; b < 20; ++b) {
        d.iid[0][b] = static_cast<int8_t>(b == 0 ? 4 : 0);
        d.icc[0][b] = static_cast<int8_t>(b == 0 ? 2 : 0);
    }
    ASSERT_EQ(f.frame(true, 0, out), 1);
    // Lost: one envelope over the frame with the held values.
    ASSERT_EQ(f.frame(false, 1, out), 1);
    ASSERT_EQ(out.envelopes, 1);
    EXPECT_EQ(out.borders[1], 30);
    EXPECT_EQ(out.iid[0][10], 4);
    EXPECT_EQ(out.icc[0][10], 2);
    // Data that does not switch PS on holds as well.
    d.enabled = 0;
    ASSERT_EQ(f.frame(true, 0, out), 1);
    EXPECT_EQ(out.iid[0][10], 4);
    // A good frame without data switches PS off: the caller copies the mono signal.
    EXPECT_EQ(f.frame(false, 0, out), 0);
    EXPECT_EQ(f.frame(false, 0, out), 0);
}

// With two frame slots, as with an SBR frame delay of one, the data parsed in one frame
// is applied in the next; the PS header read once carries over from slot to slot.
TEST(PsDecFrames, TwoFrameSlotsApplyEachFrameOneFrameLater)
{
    Frames f;
    PsFrameParameters out;
    auto parse = [&](int frame, bool header) {
        PsDec_SetFrameSlots(f.ps, frame % 2);
        PsData &d = f.data();
        if (header)
            enable(d, 1, 0);
        d.envelopes = 1;
        d.iidTime[0] = 0;
        for (int b = 0; b < 20; ++b)
            d.iid[0][b] = static_cast<int8_t>(b == 0 ? frame + 1 : 0);
        PsDec_DataRead(f.ps);
    };
    auto apply = [&](int frameError) {
        const int runs = PsDec_PrepareFrame(f.ps, frameError, &out);
        PsDec_FrameDone(f.ps, runs);
        return runs;
    };
    parse(0, true);
    EXPECT_EQ(apply(0), 0) << "the first frame applied holds nothing yet";
    for (int frame = 1; frame < 5; ++frame) {
        parse(frame, false);
        ASSERT_EQ(apply(0), 1) << frame;
        EXPECT_EQ(out.iid[0][0], frame) << "frame " << frame << " applies the data of frame " << frame - 1;
    }
    // A frame parsed without PS data switches PS off when it is applied, one frame on.
    PsDec_SetFrameSlots(f.ps, 1);
    EXPECT_EQ(apply(0), 1);
    EXPECT_EQ(out.iid[0][0], 5);
    PsDec_SetFrameSlots(f.ps, 0);
    EXPECT_EQ(apply(0), 0);
}

TEST(PsDecFrames, DisabledAndThirtyFourBandParametersAreZero)
{
    Frames f;
    PsData &d = f.data();
    enable(d, 1, 0);
    d.enableIcc = 0;
    d.iidBandClass = 2; // 34 bands
    for (int b = 0; b < 34; ++b)
        d.iid[0][b] = d.icc[0][b] = 3;
    PsFrameParameters out;
    ASSERT_EQ(f.frame(true, 0, out), 1);
    for (int b = 0; b < 20; ++b)
        EXPECT_TRUE(out.iid[0][b] == 0 && out.icc[0][b] == 0) << b;
}

// A stretch of mono slots with random bands whose lowest eight bits are zero, so that the
// shifts of the scaling tests lose nothing.
std::vector<std::vector<int32_t>> randomSlots(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> value(-(1 << 12), 1 << 12);
    std::vector<std::vector<int32_t>> slots(static_cast<size_t>(count), std::vector<int32_t>(PS_QMF_BANDS));
    for (auto &slot : slots)
        for (int32_t &v : slot)
            v = value(rng) * 256;
    return slots;
}

struct StereoSlot {
    std::vector<int32_t> leftRe, leftIm, rightRe, rightIm;
    bool operator==(const StereoSlot &) const = default;
};

StereoSlot applyOnce(PsDecHandle ps, std::vector<int32_t> re, std::vector<int32_t> im, const PsSlotScaling &scaling)
{
    StereoSlot out{{}, {}, std::vector<int32_t>(PS_QMF_BANDS), std::vector<int32_t>(PS_QMF_BANDS)};
    EXPECT_EQ(PsDec_ApplySlot(ps, re.data(), im.data(), out.rightRe.data(), out.rightIm.data(), &scaling), 0);
    out.leftRe = re;
    out.leftIm = im;
    return out;
}

TEST(PsDec, BandsAtTheirOwnExponentsComeOutAtTheCommonOne)
{
    // The lowest bands two bits, the core's band three bits the other way and the SBR band
    // one bit away from the common exponent; the bands above the SBR range are as they are.
    const PsSlotScaling scaling = {2, -3, 1, 20, 50};
    const auto re = randomSlots(40, 7), im = randomSlots(40, 8);
    auto own = [&](std::vector<int32_t> slot) {
        for (int k = 0; k < PS_QMF_BANDS; ++k)
            slot[k] = k < 3 ? slot[k] >> 2 : (k < 20 ? slot[k] * 8 : (k < 50 ? slot[k] >> 1 : slot[k]));
        return slot;
    };
    PsDecHandle common = nullptr, mixed = nullptr;
    ASSERT_EQ(PsDec_Create(&common, 960), 0);
    ASSERT_EQ(PsDec_Create(&mixed, 960), 0);
    const std::vector<int8_t> iid(PS_PARAMETER_BANDS, 3), icc(PS_PARAMETER_BANDS, 4);
    PsDec_SetupMixing(common, iid.data(), icc.data(), 0, 30);
    PsDec_SetupMixing(mixed, iid.data(), icc.data(), 0, 30);
    for (size_t t = 0; t < re.size(); ++t)
        ASSERT_EQ(applyOnce(mixed, own(re[t]), own(im[t]), scaling), applyOnce(common, re[t], im[t], Unscaled)) << t;
    PsDec_Destroy(&common);
    PsDec_Destroy(&mixed);
}

TEST(PsDec, PrimingCarriesTheSignalBeforeTheFrameIntoItsFirstSlots)
{
    // Level difference without decorrelated signal, reached at once: the output depends
    // only on the hybrid analysis' history.
    const std::vector<int8_t> iid(PS_PARAMETER_BANDS, 3), icc(PS_PARAMETER_BANDS, 0);
    const auto re = randomSlots(PS_PRIMING_SLOTS + 12, 9), im = randomSlots(PS_PRIMING_SLOTS + 12, 10);
    PsDecHandle running = nullptr, primed = nullptr, cold = nullptr;
    for (PsDecHandle *ps : {&running, &primed, &cold}) {
        ASSERT_EQ(PsDec_Create(ps, 960), 0);
        PsDec_SetupMixing(*ps, iid.data(), icc.data(), 0, 1);
    }
    std::vector<const int32_t *> overlapRe, overlapIm;
    for (int t = 0; t < PS_PRIMING_SLOTS; ++t) {
        applyOnce(running, re[t], im[t], Unscaled);
        overlapRe.push_back(re[t].data());
        overlapIm.push_back(im[t].data());
    }
    EXPECT_EQ(PsDec_Prime(primed, overlapRe.data(), overlapIm.data(), &Unscaled), 1);
    bool coldDiffers = false;
    for (size_t t = PS_PRIMING_SLOTS; t < re.size(); ++t) {
        const StereoSlot expected = applyOnce(running, re[t], im[t], Unscaled);
        ASSERT_EQ(applyOnce(primed, re[t], im[t], Unscaled), expected) << t;
        coldDiffers = coldDiffers || !(applyOnce(cold, re[t], im[t], Unscaled) == expected);
    }
    EXPECT_TRUE(coldDiffers) << "without priming the first slots come out of empty delay lines";

    // Once running, a frame with parametric stereo needs no priming; one without it does.
    EXPECT_EQ(PsDec_Prime(primed, overlapRe.data(), overlapIm.data(), &Unscaled), 0);
    PsDec_FrameDone(primed, 1);
    EXPECT_EQ(PsDec_Prime(primed, overlapRe.data(), overlapIm.data(), &Unscaled), 0);
    PsDec_FrameDone(primed, 0);
    EXPECT_EQ(PsDec_Prime(primed, overlapRe.data(), overlapIm.data(), &Unscaled), 1);
    for (PsDecHandle *ps : {&running, &primed, &cold})
        PsDec_Destroy(ps);
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
    EXPECT_EQ(PsDec_ApplySlot(ps, slot, slot, nullptr, slot, &Unscaled), -1);
    EXPECT_EQ(PsDec_ApplySlot(ps, slot, slot, slot, slot, nullptr), -1);
    const int32_t *slots[PS_PRIMING_SLOTS] = {slot, slot, slot, slot, slot, slot};
    EXPECT_EQ(PsDec_Prime(ps, slots, slots, nullptr), -1);
    EXPECT_EQ(PsDec_Prime(nullptr, slots, slots, &Unscaled), -1);
    EXPECT_EQ(PsDec_Destroy(&ps), 0);
    EXPECT_EQ(ps, nullptr);
    EXPECT_EQ(PsDec_Destroy(&ps), -1);
}

} // namespace
