// The QMF domain's configuration, buffers and slots; custom synthesis tables and the
// QMF resampler.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Domain {
    RezQmfDomain d;
    Domain() { std::memset(&d, 0, sizeof d); }
    ~Domain() { RezTools_QmfDomainClose(&d); }
    RezQmfDomainConfig &request() { return d.requested; }
};

void requestSbrLike(RezQmfDomainConfig &r, int inputs, int processing, int slots, int analysisBands,
                    int synthesisBands)
{
    r.inputChannels = static_cast<uint8_t>(inputs);
    r.outputChannels = static_cast<uint8_t>(inputs);
    r.analysisBands = static_cast<uint8_t>(analysisBands);
    r.synthesisBands = static_cast<uint16_t>(synthesisBands);
    r.timeSlots = static_cast<uint8_t>(slots);
    r.overlapSlots = static_cast<uint8_t>(slots == 16 ? 3 : 6); // what the slot arrays hold
    r.processingBands = 64;
    r.processingChannels = static_cast<uint8_t>(processing);
}

TEST(QmfDomain, RefusesInvalidRequests)
{
    struct Row {
        const char *name;
        int processingChannels, processingBands, analysisBands, overlapSlots, inputChannels;
        int result;
    };
    const Row rows[] = {
        {"processing bands 32", 1, 32, 32, 0, 1, 2},
        {"analysis above processing, no processing channels", 0, 32, 64, 0, 1, 2},
        {"13 overlap slots", 1, 64, 64, 13, 1, 2},
        {"more slots than the pointer arrays hold", 1, 64, 64, 4, 1, 2},
        {"nine input channels", 1, 64, 64, 0, 9, 1},
    };
    for (const Row &row : rows) {
        Domain domain;
        RezQmfDomainConfig &r = domain.request();
        r.processingChannels = static_cast<uint8_t>(row.processingChannels);
        r.processingBands = static_cast<uint8_t>(row.processingBands);
        r.analysisBands = static_cast<uint8_t>(row.analysisBands);
        r.overlapSlots = static_cast<uint8_t>(row.overlapSlots);
        r.inputChannels = static_cast<uint8_t>(row.inputChannels);
        r.timeSlots = 16;
        EXPECT_EQ(RezTools_QmfDomainConfigure(&domain.d), row.result) << row.name;
        EXPECT_EQ(domain.d.active.processingChannels, 0) << row.name;
        EXPECT_EQ(domain.d.pages[0], nullptr) << row.name;
    }
}

TEST(QmfDomain, PagesAndLayouts)
{
    Domain domain;
    requestSbrLike(domain.request(), 2, 2, 32, 32, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    for (int k = 0; k < 4; ++k)
        EXPECT_NE(domain.d.pages[k], nullptr) << k;
    EXPECT_EQ(domain.d.pages[4], nullptr);
    EXPECT_EQ(domain.d.input[1].layoutOffset, 4096);
    int32_t *re = nullptr, *im = nullptr;
    RezTools_QmfDomainGetSlotPointers(&domain.d.input[1], 0, &re, &im);
    EXPECT_EQ(re, domain.d.pages[2]);
    EXPECT_EQ(im, domain.d.pages[2] + 64);
    EXPECT_EQ(domain.d.input[1].realSlots[6], re);

    // The same request again keeps every buffer and the banks' states.
    int16_t *state = domain.d.input[0].analysisState;
    state[5] = 1234;
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    EXPECT_EQ(domain.d.input[0].analysisState, state);
    EXPECT_EQ(state[5], 1234);

    // Three channels of 38 slots need 14592 words: refused, and the domain is cleared.
    requestSbrLike(domain.request(), 3, 3, 38, 32, 64);
    domain.request().overlapSlots = 0;
    EXPECT_EQ(RezTools_QmfDomainConfigure(&domain.d), 1);
    EXPECT_EQ(domain.d.pages[0], nullptr);
    EXPECT_EQ(domain.d.active.inputChannels, 0);
}

TEST(QmfDomain, ChannelsBeyondTheProcessingOnesShareItsSlots)
{
    Domain domain;
    requestSbrLike(domain.request(), 3, 1, 16, 32, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    EXPECT_EQ(domain.d.input[2].realSlots[3], domain.d.input[0].realSlots[3]);
    EXPECT_EQ(domain.d.input[2].imagSlots[18], domain.d.input[0].imagSlots[18]);
    EXPECT_NE(domain.d.input[2].realSlots[0], domain.d.input[0].realSlots[0]); // own overlap
}

TEST(QmfDomain, SecondTwiddlesForThirtyTwoBands)
{
    Domain domain;
    requestSbrLike(domain.request(), 1, 1, 16, 32, 32);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    EXPECT_TRUE(domain.d.active.flags & REZ_QMF_FLAG_SECOND_TWIDDLES);
}

TEST(QmfDomain, LargerConfigurationsGetLargerBuffers)
{
    // Analysis bands 16 -> 64, time slots 16 -> 32, overlap slots 3 -> 6: every buffer
    // the second configuration uses must have its size, not the first one's.
    Domain domain;
    requestSbrLike(domain.request(), 1, 1, 16, 16, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    EXPECT_EQ(domain.d.input[0].analysisStateSize, 320u);
    EXPECT_EQ(domain.d.input[0].overlapSize, 1536u);
    EXPECT_EQ(domain.d.input[0].slotArraySize, 19 * sizeof(int32_t *));

    requestSbrLike(domain.request(), 1, 1, 32, 64, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    EXPECT_GE(domain.d.input[0].analysisStateSize, 1280u);
    EXPECT_GE(domain.d.input[0].overlapSize, 3072u);
    EXPECT_GE(domain.d.input[0].slotArraySize, 38 * sizeof(int32_t *));
    // Every slot of the new layout is usable: a whole frame of analysis fills them.
    std::vector<int16_t> input(32 * 64, 1000);
    std::vector<int32_t> work(128);
    int exponent = 0;
    RezQmfDomainInput &in = domain.d.input[0];
    RezTools_QmfAnalysis(&in.bank, in.realSlots + 6, in.imagSlots + 6, &exponent, input.data(), 0, 1, work.data());
    RezTools_QmfDomainSaveOverlap(&in, 0);
    EXPECT_EQ(in.realSlots[0][0], in.realSlots[32][0]);
}

TEST(QmfDomain, ScaledSlotClearsAboveTheUpperBand)
{
    Domain domain;
    requestSbrLike(domain.request(), 1, 1, 16, 32, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    RezQmfDomainInput &in = domain.d.input[0];
    for (int k = 0; k < 64; ++k) {
        in.realSlots[7][k] = 1 << 10;
        in.imagSlots[7][k] = -(1 << 10);
    }
    in.bank.lowerBand = 16;
    in.bank.upperBand = 40;
    in.lowBandExponent = 15 - 7 - 2; // low shift 2
    in.highBandExponent = 15 - 7 + 1; // high shift -1
    std::vector<int32_t> re(64, 77), im(64, 77);
    RezTools_QmfDomainGetScaledSlot(&in, 7, 0, 64, re.data(), im.data(), 0);
    EXPECT_EQ(re[0], 1 << 12);
    EXPECT_EQ(im[15], -(1 << 12));
    EXPECT_EQ(re[16], 1 << 9);
    EXPECT_EQ(im[39], -(1 << 9));
    for (int k = 40; k < 64; ++k) {
        ASSERT_EQ(re[k], 0) << k;
        ASSERT_EQ(im[k], 0) << k;
    }
}

// Writes value(slot, band) into the real and minus it into the imaginary array of each of
// `slots` slots.
template <typename Value>
void fillSlots(int32_t *const *re, int32_t *const *im, int slots, int bands, Value value)
{
    for (int t = 0; t < slots; ++t)
        for (int k = 0; k < bands; ++k) {
            re[t][k] = value(t, k);
            im[t][k] = -value(t, k);
        }
}

TEST(QmfDomain, SlotsExchangedWithAnSbrChannel)
{
    // One channel whose slot arrays are the pages: the caller's slots and the analysed
    // ones change places, over the analysis bands.
    Domain domain;
    requestSbrLike(domain.request(), 1, 1, 16, 32, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    RezQmfDomainInput &in = domain.d.input[0];
    fillSlots(in.realSlots + 3, in.imagSlots + 3, 16, 64, [](int t, int k) { return 1000 * t + k; });
    std::vector<std::vector<int32_t>> callerRe(16, std::vector<int32_t>(64)), callerIm = callerRe;
    std::vector<int32_t *> re, im;
    for (int t = 0; t < 16; ++t) {
        re.push_back(callerRe[t].data());
        im.push_back(callerIm[t].data());
    }
    fillSlots(re.data(), im.data(), 16, 64, [](int t, int k) { return -7 - 100 * t - k; });
    RezTools_QmfDomainPrepareSlots(&in, re.data(), im.data());
    for (int t = 0; t < 16; ++t) {
        for (int k = 0; k < 32; ++k) {
            ASSERT_EQ(in.realSlots[3 + t][k], -7 - 100 * t - k) << t << " " << k;
            ASSERT_EQ(in.imagSlots[3 + t][k], 7 + 100 * t + k) << t << " " << k;
            ASSERT_EQ(callerRe[t][k], 1000 * t + k) << t << " " << k;
            ASSERT_EQ(callerIm[t][k], -(1000 * t + k)) << t << " " << k;
        }
        EXPECT_EQ(in.realSlots[3 + t][40], 1000 * t + 40) << "above the analysis bands nothing moves";
        EXPECT_EQ(callerRe[t][40], -7 - 100 * t - 40);
    }

    // The extra channel keeps its own slot area in the pages (analysis bands wide), while
    // its slot arrays are those of the processing channel: loading copies the area over.
    Domain extra;
    requestSbrLike(extra.request(), 2, 1, 16, 32, 64);
    extra.request().extraChannel = 1;
    ASSERT_EQ(RezTools_QmfDomainConfigure(&extra.d), 0);
    RezQmfDomainInput &second = extra.d.input[1];
    EXPECT_EQ(second.layoutOffset, 16 * 64 * 2);
    EXPECT_EQ(second.layoutBands, 32);
    std::vector<int32_t *> pagedRe(16), pagedIm(16);
    for (int t = 0; t < 16; ++t)
        RezTools_QmfDomainGetSlotPointers(&second, t, &pagedRe[t], &pagedIm[t]);
    fillSlots(pagedRe.data(), pagedIm.data(), 16, 32, [](int t, int k) { return 5000 + 64 * t + k; });
    RezTools_QmfDomainLoadSlots(&second);
    for (int t = 0; t < 16; ++t)
        for (int k = 0; k < 32; ++k) {
            ASSERT_EQ(second.realSlots[3 + t][k], 5000 + 64 * t + k) << t << " " << k;
            ASSERT_EQ(second.imagSlots[3 + t][k], -(5000 + 64 * t + k)) << t << " " << k;
        }
    // Exchanging: the caller's slots go to the slot arrays, the paged area to the caller.
    fillSlots(re.data(), im.data(), 16, 32, [](int t, int k) { return 9 * t + k; });
    RezTools_QmfDomainPrepareSlots(&second, re.data(), im.data());
    for (int t = 0; t < 16; ++t)
        for (int k = 0; k < 32; ++k) {
            ASSERT_EQ(second.realSlots[3 + t][k], 9 * t + k) << t << " " << k;
            ASSERT_EQ(callerRe[t][k], 5000 + 64 * t + k) << t << " " << k;
            ASSERT_EQ(callerIm[t][k], -(5000 + 64 * t + k)) << t << " " << k;
        }
}

TEST(QmfDomain, OverlapCarriedToTheNextFrameAndClearedOnReset)
{
    Domain domain;
    requestSbrLike(domain.request(), 1, 1, 16, 32, 64);
    ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0);
    RezQmfDomainInput &in = domain.d.input[0];
    fillSlots(in.realSlots, in.imagSlots, 19, 64, [](int t, int k) { return 100 * t + k + 1; });
    in.lowBandExponent = -4;
    // From overlap slot 1 on: slots 17 and 18 move to 1 and 2; slot 0 stays.
    RezTools_QmfDomainSaveOverlap(&in, 1);
    EXPECT_EQ(in.realSlots[0][5], 6);
    EXPECT_EQ(in.realSlots[1][5], 1706);
    EXPECT_EQ(in.imagSlots[2][63], -1864);
    EXPECT_EQ(in.overlapLowBandExponent, -4);

    // Re-initialising with kept states leaves the analysis history; a reset clears the
    // overlap and the history.
    in.analysisState[10] = 321;
    EXPECT_EQ(RezTools_QmfDomainInitFilterBanks(&domain.d, REZ_QMF_FLAG_KEEP_STATES), 0);
    EXPECT_EQ(in.analysisState[10], 321);
    EXPECT_EQ(domain.d.active.flags & REZ_QMF_FLAG_KEEP_STATES, 0u) << "the extra flags are for this call only";
    EXPECT_EQ(RezTools_QmfDomainResetFilterBanks(&domain.d), 0);
    EXPECT_EQ(in.analysisState[10], 0);
    for (int t = 0; t < 3; ++t)
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(in.realSlots[t][k], 0) << t << " " << k;
            ASSERT_EQ(in.imagSlots[t][k], 0) << t << " " << k;
        }
    EXPECT_EQ(in.realSlots[3][5], 306) << "the current slots are not the overlap";
}

TEST(QmfCustomTables, BuildTables)
{
    std::vector<int16_t> cos(64, 5), sin(64, 5), prototype(1610, 5);
    EXPECT_EQ(RezTools_QmfDomainBuildTables(cos.data(), sin.data(), prototype.data(), nullptr, 64), 0);
    EXPECT_EQ(cos[0], 5);
    EXPECT_EQ(prototype[0], 5);
    EXPECT_EQ(RezTools_QmfDomainBuildTables(cos.data(), sin.data(), prototype.data(), nullptr, 24), -1);
    EXPECT_EQ(RezTools_QmfDomainBuildTables(cos.data(), sin.data(), prototype.data(), nullptr, 384), -1);
    ASSERT_EQ(RezTools_QmfDomainBuildTables(cos.data(), sin.data(), prototype.data(), nullptr, 96), 0);
    EXPECT_EQ(prototype[482], 27975);
    EXPECT_EQ(prototype[480], 0);
    EXPECT_EQ(prototype[489], 5); // 5 B + 9 values written
    // Twiddle k at (2k + 1) T / 8, T = pi/32 - 2 pi / 96.
    const double t = M_PI / 32 - 2 * M_PI / 96;
    for (int k = 0; k < 64; ++k) {
        ASSERT_NEAR(cos[k], 32768 * std::cos((2 * k + 1) * t / 8), 8) << k;
        ASSERT_NEAR(sin[k], 32768 * std::sin((2 * k + 1) * t / 8), 8) << k;
    }
    // The interpolated prototype follows the 64-band one: its centre group holds the peak
    // and the groups fall off smoothly towards group 0.
    EXPECT_GT(prototype[5 * 96 + 2], prototype[5 * 48 + 2]);
    EXPECT_GT(prototype[5 * 48 + 2], prototype[2]);
}

TEST(QmfCustomTables, DomainWithCustomTablesForAnUnknownCountFails)
{
    Domain domain;
    domain.d.customTables = 1;
    requestSbrLike(domain.request(), 1, 1, 16, 24, 24);
    EXPECT_EQ(RezTools_QmfDomainConfigure(&domain.d), 3);
    EXPECT_EQ(domain.d.active.inputChannels, 0);
}

TEST(QmfResampler, RateTable)
{
    struct Row {
        int32_t rate;
        int result;
        int32_t target;
        int16_t bands;
    };
    const Row rows[] = {{8820, 0, 44100, 320}, {9600, 0, 48000, 320}, {24000, 0, 48000, 128},
                        {38400, 0, 48000, 80}, {44100, 0, 44100, 64}, {22000, -1, 0, 0}, {0, -1, 0, 0}};
    for (const Row &row : rows) {
        int32_t target = 0;
        int16_t bands = 0;
        EXPECT_EQ(RezTools_QmfResampleTargetRate(row.rate, &target), row.result) << row.rate;
        EXPECT_EQ(RezTools_QmfResampleBands(row.rate, &bands), row.result) << row.rate;
        EXPECT_EQ(target, row.target) << row.rate;
        EXPECT_EQ(bands, row.bands) << row.rate;
    }
}

// Fits a sine of `frequency` (cycles per sample) to y[first..] by least squares; returns
// what it leaves, in dB against y, and sets the fitted amplitude.
double toneResidualDb(const std::vector<int16_t> &y, size_t first, double frequency, double &amplitude)
{
    double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0, yy = 0;
    for (size_t n = first; n < y.size(); ++n) {
        const double c = std::cos(2 * M_PI * frequency * static_cast<double>(n));
        const double s = std::sin(2 * M_PI * frequency * static_cast<double>(n));
        cc += c * c;
        ss += s * s;
        cs += c * s;
        yc += y[n] * c;
        ys += y[n] * s;
        yy += double(y[n]) * y[n];
    }
    const double det = cc * ss - cs * cs;
    const double a = (yc * ss - ys * cs) / det, b = (ys * cc - yc * cs) / det;
    amplitude = std::hypot(a, b);
    return 10 * std::log10(std::max(yy - a * yc - b * ys, 1e-9) / yy);
}

TEST(QmfResampler, ToneKeepsItsFrequencyAndLevelAtEveryBandCount)
{
    // One input rate per synthesis band count, towards both output rates.
    const int32_t rates[] = {9600, 11025, 12800, 16000, 17640, 24000, 29400, 38400, 44100};
    for (const int32_t rate : rates) {
        // A domain configured as the decoder's output resampler.
        Domain domain;
        domain.d.customTables = 1;
        RezQmfDomainConfig &r = domain.request();
        r.inputChannels = r.outputChannels = 1;
        r.analysisBands = 64;
        r.processingBands = 64;
        r.processingChannels = 1;
        r.timeSlots = 1;
        int16_t bands = 0;
        int32_t target = 0;
        ASSERT_EQ(RezTools_QmfResampleBands(rate, &bands), 0);
        ASSERT_EQ(RezTools_QmfResampleTargetRate(rate, &target), 0);
        r.synthesisBands = static_cast<uint16_t>(bands);
        ASSERT_EQ(RezTools_QmfDomainConfigure(&domain.d), 0) << rate;

        constexpr int Frames = 8, FrameLength = 1024;
        const double tone = 0.37 * rate / 2; // well inside the input band
        const size_t outLength = static_cast<size_t>(FrameLength) / 64 * static_cast<size_t>(bands);
        std::vector<int16_t> out(Frames * outLength);
        for (int f = 0; f < Frames; ++f) {
            std::vector<int16_t> in(FrameLength);
            for (int n = 0; n < FrameLength; ++n)
                in[n] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * tone * (f * FrameLength + n) / rate));
            RezTools_QmfResampleBlock(1, FrameLength, &domain.d.input[0].bank, &domain.d.output[0].bank, in.data(),
                                      out.data() + f * outLength);
        }
        // The settled part: the tone at its own frequency on the output clock, and
        // nothing else 50 dB up.
        double amplitude = 0;
        const double residual = toneResidualDb(out, 3 * outLength, tone / target, amplitude);
        EXPECT_LT(residual, -50) << rate << " Hz, " << bands << " bands";
        EXPECT_NEAR(amplitude, 8000, 80) << rate << " Hz, " << bands << " bands";
    }
}

} // namespace
