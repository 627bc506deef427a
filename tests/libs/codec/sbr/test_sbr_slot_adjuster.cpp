// The slot side of the envelope adjustment against a double model: gains smoothed over
// the first slots of an envelope, the noise sequence's positions, sinusoids instead of
// noise, the reset, and the real-mode sinusoids.
#include "SbrSlotAdjuster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int Kx = 20, Bands = 12, Slots = 10;
constexpr double Ratios[4] = {0x5555 / 32768.0, 0x2EBE / 32768.0, 0x12D1 / 32768.0, 0x0413 / 32768.0};

// A stand-in noise sequence for the tests only: the decoder's own table is the
// standard's and is not part of the tree.
std::vector<SbrNoiseEntry> testNoise()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32767, 32767);
    std::vector<SbrNoiseEntry> table(SBR_NOISE_ENTRIES);
    for (SbrNoiseEntry &v : table)
        v = {static_cast<int16_t>(value(random)), static_cast<int16_t>(value(random))};
    return table;
}

void setPair(int32_t &m, int8_t &e, double v)
{
    int exponent = 0;
    const double fraction = std::frexp(v, &exponent);
    m = v == 0 ? 0 : static_cast<int32_t>(std::lround(fraction * 2147483647.0));
    e = static_cast<int8_t>(v == 0 ? 0 : exponent);
}

struct Envelope {
    std::vector<double> gain = std::vector<double>(Bands), noise = gain, sine = gain;
    SbrBandGains pairs() const
    {
        SbrBandGains g{};
        for (int k = 0; k < Bands; ++k) {
            setPair(g.gain[k], g.gainExponent[k], gain[k]);
            setPair(g.noiseLevel[k], g.noiseExponent[k], noise[k]);
            setPair(g.sineLevel[k], g.sineExponent[k], sine[k]);
        }
        return g;
    }
};

struct Slots2D {
    std::vector<int32_t> re = std::vector<int32_t>(Slots * SBR_QMF_BANDS), im = re;
    int32_t *reRows[Slots], *imRows[Slots];
    explicit Slots2D(unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int32_t> value(-(1 << 24), 1 << 24);
        for (int i = 0; i < Slots; ++i) {
            reRows[i] = re.data() + i * SBR_QMF_BANDS;
            imRows[i] = im.data() + i * SBR_QMF_BANDS;
        }
        for (auto *v : {&re, &im})
            for (int32_t &x : *v)
                x = value(random);
    }
};

// The double model of the complex slot adjuster, with its own state.
struct Model {
    std::vector<double> smoothedGain = std::vector<double>(Bands), smoothedNoise = smoothedGain;
    bool first = true;
    int position = 0, phase = 0;
    void envelope(const Envelope &env, std::vector<double> &re, std::vector<double> &im, int startSlot, int stopSlot,
                  bool noNoise, int smoothingMode, const std::vector<SbrNoiseEntry> &noise)
    {
        if (first) {
            smoothedGain = env.gain;
            smoothedNoise = env.noise;
            first = false;
        }
        const int smoothing = !noNoise && smoothingMode == 0 ? 4 : 0;
        for (int i = startSlot; i < stopSlot; ++i) {
            const double r = i - startSlot < smoothing ? Ratios[i - startSlot] : 0;
            for (int j = 0; j < Bands; ++j) {
                const int k = Kx + j, at = i * SBR_QMF_BANDS + k;
                const double g = r * smoothedGain[j] + (1 - r) * env.gain[j];
                re[at] *= g;
                im[at] *= g;
                if (env.sine[j] != 0) {
                    const double s = env.sine[j], sign = (k & 1) ? -1 : 1;
                    switch (phase) {
                    case 0: re[at] += s; break;
                    case 1: im[at] += sign * s; break;
                    case 2: re[at] -= s; break;
                    default: im[at] -= sign * s; break;
                    }
                } else if (!noNoise) {
                    const double n = r * smoothedNoise[j] + (1 - r) * env.noise[j];
                    const SbrNoiseEntry v = noise[(position + j + 1) % SBR_NOISE_ENTRIES];
                    re[at] += n * v.re / 32768.0;
                    im[at] += n * v.im / 32768.0;
                }
            }
            position = (position + Bands) % SBR_NOISE_ENTRIES;
            phase = (phase + 1) % 4;
        }
        smoothedGain = env.gain;
        smoothedNoise = env.noise;
    }
};

std::vector<double> asDouble(const std::vector<int32_t> &v) { return {v.begin(), v.end()}; }

void expectClose(const std::vector<int32_t> &actual, const std::vector<double> &expected, const char *what)
{
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_NEAR(actual[i], expected[i], 4 + 2e-4 * std::fabs(expected[i])) << what << " sample " << i;
}

Envelope randomEnvelope(unsigned seed, bool withSine)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> gain(0.05, 6.0), noise(1e4, 3e6), sine(1e5, 8e6);
    Envelope env;
    for (int k = 0; k < Bands; ++k) {
        env.gain[k] = gain(random);
        env.noise[k] = noise(random);
    }
    if (withSine)
        env.sine[5] = sine(random);
    return env;
}

TEST(SbrSlotAdjuster, ComplexEnvelopesFollowTheDoubleModel)
{
    const std::vector<SbrNoiseEntry> noise = testNoise();
    struct Case {
        const char *name;
        int smoothingMode;
        bool noNoise;
        int startPosition;
    };
    for (const Case &c : {Case{"smoothed", 0, false, 0}, Case{"unsmoothed", 1, false, 0},
                          Case{"no noise", 0, true, 0}, Case{"noise position wraps", 0, false, 500}}) {
        SbrEnvelopeAdjuster adjuster{};
        SbrDec_EnvelopeAdjusterRestart(&adjuster);
        adjuster.noiseTablePosition = static_cast<uint16_t>(c.startPosition);
        Model model;
        model.position = c.startPosition;
        Slots2D slots(3);
        std::vector<double> re = asDouble(slots.re), im = asDouble(slots.im);
        // Three envelopes: the first loads the smoothing state, the next ones are smoothed
        // against their predecessor; the second has a sinusoid in one band.
        const int borders[] = {0, 3, 7, Slots};
        for (int l = 0; l < 3; ++l) {
            const Envelope env = randomEnvelope(10 + l, l == 1);
            const SbrBandGains gains = env.pairs();
            SbrDec_AdjustEnvelopeSlots(&adjuster, &gains, slots.reRows, slots.imRows, Kx, Bands, borders[l],
                                       borders[l + 1], SBR_SLOTS_COMPLEX, c.noNoise, c.smoothingMode, 0, 0, 0,
                                       noise.data());
            model.envelope(env, re, im, borders[l], borders[l + 1], c.noNoise, c.smoothingMode, noise);
        }
        expectClose(slots.re, re, c.name);
        expectClose(slots.im, im, c.name);
        EXPECT_EQ(adjuster.noiseTablePosition, model.position) << c.name;
        EXPECT_EQ(adjuster.sinePhase, Slots % 4) << c.name;
    }
}

TEST(SbrSlotAdjuster, FirstEnvelopeAfterResetIsNotSmoothedAgainstZero)
{
    SbrEnvelopeAdjuster adjuster{};
    SbrBandRequest request{};
    SbrBandTables tables{};
    EXPECT_EQ(SbrDec_EnvelopeAdjusterReset(&adjuster, &request, &tables, 1), 0);
    EXPECT_TRUE(adjuster.firstEnvelopePending);
    EXPECT_EQ(adjuster.previousTransientEnvelope, -1);
    Envelope env;
    env.gain.assign(Bands, 2.0);
    const SbrBandGains gains = env.pairs();
    Slots2D slots(5);
    const std::vector<int32_t> before = slots.re;
    SbrDec_AdjustEnvelopeSlots(&adjuster, &gains, slots.reRows, slots.imRows, Kx, Bands, 0, 1, SBR_SLOTS_COMPLEX, 0, 0,
                               0, 0, 0, nullptr);
    for (int k = Kx; k < Kx + Bands; ++k)
        EXPECT_NEAR(slots.re[k], 2.0 * before[k], 4) << k;
    EXPECT_FALSE(adjuster.firstEnvelopePending);
}

TEST(SbrSlotAdjuster, ConcealedFrameIsNotLiftedBySmoothing)
{
    // A loud envelope (gain 4) and then a concealed one (gain 0.5): the smoothed gains of
    // its first slots would lie above 1.0, but a concealed frame never amplifies.
    SbrEnvelopeAdjuster adjuster{};
    SbrDec_EnvelopeAdjusterRestart(&adjuster);
    Envelope loud, concealed;
    loud.gain.assign(Bands, 4.0);
    concealed.gain.assign(Bands, 0.5);
    Slots2D slots(6);
    const std::vector<int32_t> before = slots.re;
    const SbrBandGains loudGains = loud.pairs(), concealedGains = concealed.pairs();
    SbrDec_AdjustEnvelopeSlots(&adjuster, &loudGains, slots.reRows, slots.imRows, Kx, Bands, 0, 2, SBR_SLOTS_COMPLEX, 0,
                               0, 0, 0, 0, nullptr);
    SbrDec_AdjustEnvelopeSlots(&adjuster, &concealedGains, slots.reRows, slots.imRows, Kx, Bands, 2, Slots,
                               SBR_SLOTS_COMPLEX, 0, 0, 0, 0, 1, nullptr);
    for (int i = 2; i < Slots; ++i)
        for (int k = Kx; k < Kx + Bands; ++k) {
            const int at = i * SBR_QMF_BANDS + k;
            EXPECT_LE(std::abs(slots.re[at]), std::abs(before[at]) + 1) << i << " " << k;
        }
    // The last slots, past the smoothing, carry the concealed gain itself.
    const int at = (Slots - 1) * SBR_QMF_BANDS + Kx;
    EXPECT_NEAR(slots.re[at], 0.5 * before[at], 2);
}

TEST(SbrSlotAdjuster, AlignedFilterBufferKeepsItsValue)
{
    // A smoothed gain at a larger exponent than the new gains: it takes what its
    // headroom allows and the current gain moves up for the rest.
    SbrEnvelopeAdjuster adjuster{};
    SbrSlotGains gains{};
    adjuster.smoothedGains[0] = 0x10000000; // 0.125 · 2^10 = 128, two bits of headroom
    adjuster.smoothedGainExponents[0] = 10;
    adjuster.smoothedGains[1] = 0x60000000; // 0.75 · 2^1, no headroom needed
    adjuster.smoothedGainExponents[1] = 1;
    gains.gain[0] = gains.gain[1] = 0x40000000;
    gains.gainExponent[0] = gains.gainExponent[1] = 4;
    SbrDec_AlignFilterBuffer(&adjuster, &gains, 2);
    EXPECT_EQ(gains.gainExponent[0], 8);
    EXPECT_EQ(adjuster.smoothedGainExponents[0], 8);
    EXPECT_DOUBLE_EQ(std::ldexp(adjuster.smoothedGains[0] / 2147483648.0, 8), 128.0);
    EXPECT_DOUBLE_EQ(std::ldexp(gains.gain[0] / 2147483648.0, 8), 8.0);
    EXPECT_EQ(gains.gainExponent[1], 4);
    EXPECT_DOUBLE_EQ(std::ldexp(adjuster.smoothedGains[1] / 2147483648.0, 4), 1.5);
}

TEST(SbrSlotAdjuster, InterTesAddsTheSinusoidsAfterTheSlots)
{
    // With shape mode 0 the temporal shaping leaves the slots alone, so the inter-TES
    // flavour must give what the plain complex flavour gives.
    const std::vector<SbrNoiseEntry> noise = testNoise();
    Slots2D plain(9), shaped(9);
    for (auto [slots, flavour] : {std::pair{&plain, SBR_SLOTS_COMPLEX}, std::pair{&shaped, SBR_SLOTS_INTER_TES}}) {
        SbrEnvelopeAdjuster adjuster{};
        SbrDec_EnvelopeAdjusterRestart(&adjuster);
        const SbrBandGains gains = randomEnvelope(4, true).pairs();
        SbrDec_AdjustEnvelopeSlots(&adjuster, &gains, slots->reRows, slots->imRows, Kx, Bands, 0, Slots, flavour, 0, 0,
                                   0, 0, 0, noise.data());
    }
    EXPECT_EQ(plain.re, shaped.re);
    EXPECT_EQ(plain.im, shaped.im);
}

TEST(SbrSlotAdjuster, RealModeSinusoidsSpillIntoTheNeighboursAtQuarterPhases)
{
    SbrSlotGains gains{};
    const int band = 5; // QMF band Kx + 5, odd
    gains.sineAmplitude[band] = 1 << 24;
    const int32_t spill = static_cast<int32_t>((int64_t{1 << 24} * 0x2160000) >> 32);
    struct Case {
        int phase;
        int32_t own, lower, upper;
    };
    for (const Case &c : {Case{0, 1 << 24, 0, 0}, Case{1, 0, -spill, spill}, Case{2, -(1 << 24), 0, 0},
                          Case{3, 0, spill, -spill}}) {
        SbrEnvelopeAdjuster adjuster{};
        adjuster.sinePhase = static_cast<uint8_t>(c.phase);
        int32_t re[SBR_QMF_BANDS] = {};
        SbrDec_AdjustSlotReal(&adjuster, &gains, re, Kx, Bands, 0, nullptr);
        EXPECT_EQ(re[Kx + band], c.own) << c.phase;
        EXPECT_EQ(re[Kx + band - 1], c.lower) << c.phase;
        EXPECT_EQ(re[Kx + band + 1], c.upper) << c.phase;
        EXPECT_EQ(adjuster.sinePhase, (c.phase + 1) & 3);
    }
}

TEST(SbrSlotAdjuster, RealModeAddsTheNoiseTablesRealParts)
{
    const std::vector<SbrNoiseEntry> noise = testNoise();
    SbrSlotGains gains{};
    for (int k = 0; k < Bands; ++k) {
        gains.gain[k] = 0x40000000;
        gains.gainExponent[k] = 1; // 1.0
        gains.noiseLevel[k] = 0x40000000;
    }
    gains.noiseExponent = 21; // 2^20 words
    SbrEnvelopeAdjuster adjuster{};
    adjuster.noiseTablePosition = 510;
    int32_t re[SBR_QMF_BANDS] = {};
    SbrDec_AdjustSlotReal(&adjuster, &gains, re, Kx, Bands, 0, noise.data());
    for (int j = 0; j < Bands; ++j)
        EXPECT_NEAR(re[Kx + j], noise[(510 + j + 1) % 512].re * 32.0, 1) << j;
    EXPECT_EQ(adjuster.noiseTablePosition, (510 + Bands) % 512);
}

} // namespace
