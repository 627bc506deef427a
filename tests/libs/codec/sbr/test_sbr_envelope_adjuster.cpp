// Envelope adjustment: limiter bands, the per-band gains against a double model of the
// gain, limiting and boost formulas, the concealed frame, and the sinusoid phases.
#include "SbrEnvelopeAdjuster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

double value(int32_t m, int e) { return std::ldexp(m / 2147483648.0, e); }

void set(int32_t *m, int8_t *e, int k, double v)
{
    int exponent = 0;
    const double fraction = std::frexp(v, &exponent); // [0.5, 1)
    m[k] = v == 0 ? 0 : static_cast<int32_t>(std::lround(fraction * 2147483647.0));
    e[k] = static_cast<int8_t>(v == 0 ? 0 : exponent);
}

std::vector<int> limiterBands(const std::vector<uint8_t> &low, const std::vector<SbrPatch> &patches, int field,
                              int *result = nullptr, const uint8_t *harmonicBorders = nullptr, int harmonicMode = 0)
{
    uint8_t table[SBR_MAX_ADJUSTED_BANDS + SBR_MAX_PATCHES + 2] = {};
    uint8_t count = 0;
    const int r = SbrDec_LimiterBands(table, &count, low.data(), static_cast<int>(low.size()) - 1, patches.data(),
                                      static_cast<int>(patches.size()), field, harmonicBorders == nullptr,
                                      harmonicBorders, harmonicMode);
    if (result)
        *result = r;
    return r == 0 ? std::vector<int>(table, table + count + 1) : std::vector<int>{};
}

SbrPatch startingAt(int band) { return SbrPatch{0, 0, static_cast<uint8_t>(band), static_cast<uint8_t>(band), 0, 0}; }

TEST(SbrLimiterBands, MergeNarrowNeighboursButKeepPatchBorders)
{
    const std::vector<uint8_t> low = {16, 20, 24, 28, 32, 36, 40, 44, 48};
    const std::vector<SbrPatch> patches = {startingAt(16), startingAt(30), startingAt(44)};
    // Field 0: one band over the whole range.
    EXPECT_EQ(limiterBands(low, patches, 0), (std::vector<int>{0, 32}));
    // Two bands per octave (worked out by hand): 28, 32 and 40 are closer than 0.49 of a
    // limiter band to their lower neighbour; the patch border 30 stays and 44..48 stays
    // because both ends are patch borders.
    EXPECT_EQ(limiterBands(low, patches, 2), (std::vector<int>{0, 4, 8, 14, 20, 28, 32}));
    // 1.2 bands per octave over a narrow range: everything merges into one band.
    EXPECT_EQ(limiterBands({32, 34, 36, 38}, {startingAt(32)}, 1), (std::vector<int>{0, 6}));
}

TEST(SbrLimiterBands, HarmonicCrossoverBandsServeAsPatchBorders)
{
    const std::vector<uint8_t> low = {16, 20, 24, 28, 32, 36, 40, 44, 48};
    // Crossover bands 16, 30, 44 and the stop band: the three leading ones are patch
    // borders, so 30 stays and 44..48 stays as with the copy-up patches above.
    const uint8_t crossover[6] = {16, 30, 44, 48, 0, 0};
    EXPECT_EQ(limiterBands(low, {}, 2, nullptr, crossover, 0), (std::vector<int>{0, 4, 8, 14, 20, 28, 32}));
    // Four-to-one mode counts the non-zero entries among positions 1..5: again three.
    EXPECT_EQ(limiterBands(low, {}, 2, nullptr, crossover, 1), (std::vector<int>{0, 4, 8, 14, 20, 28, 32}));
    // Only factor 2: the first crossover band alone is a patch border, 30 merges away.
    const uint8_t factorTwo[6] = {16, 48, 0, 0, 0, 0};
    EXPECT_EQ(limiterBands(low, {}, 2, nullptr, factorTwo, 0), (std::vector<int>{0, 4, 8, 16, 24, 32}));
}

TEST(SbrLimiterBands, MoreThanTwelveBandsAreRefused)
{
    std::vector<uint8_t> low;
    for (int k = 4; k <= 64; k += 2)
        low.push_back(static_cast<uint8_t>(k));
    int result = 0;
    limiterBands(low, {startingAt(4)}, 3, &result);
    EXPECT_EQ(result, SBR_LPP_UNSUPPORTED);
}

TEST(SbrEnvelopeAdjuster, SquareRootHoldsSixteenBits)
{
    for (double v : {1e-9, 0.001, 0.25, 0.3, 0.5, 0.77, 1.0, 2.0, 3.5, 1234.5, 1e12}) {
        int32_t m[1];
        int8_t e[1];
        set(m, e, 0, v);
        int re = 0;
        const int32_t r = SbrDec_Sqrt(m[0], e[0], &re);
        EXPECT_NEAR(value(r, re) / std::sqrt(v), 1.0, 2e-4) << v;
    }
    int re = 0;
    EXPECT_EQ(SbrDec_Sqrt(0, 5, &re), 0);
}

// Double model of one envelope's gains (energy domain until the final square roots).
struct ModelGains
{
    std::vector<double> gain, noise, sine;
};

ModelGains model(const std::vector<double> &ref, const std::vector<double> &est, const std::vector<double> &q,
                 const std::vector<bool> &sineBand, const std::vector<bool> &sineHere, const std::vector<int> &limiter,
                 double limiterGain, bool noNoise, bool concealed)
{
    const size_t n = ref.size();
    ModelGains m{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    for (size_t k = 0; k < n; ++k) {
        m.noise[k] = ref[k] * q[k] / (1 + q[k]);
        if (sineBand[k]) {
            m.gain[k] = ref[k] * q[k] / ((1 + est[k]) * (1 + q[k]));
            m.sine[k] = sineHere[k] ? ref[k] / (1 + q[k]) : 0;
        } else {
            m.gain[k] = noNoise ? ref[k] / (1 + est[k]) : ref[k] / ((1 + est[k]) * (1 + q[k]));
        }
    }
    for (size_t b = 0; b + 1 < limiter.size(); ++b) {
        double sumRef = 0, sumEst = 0;
        for (int k = limiter[b]; k < limiter[b + 1]; ++k) {
            sumRef += ref[static_cast<size_t>(k)];
            sumEst += est[static_cast<size_t>(k)];
        }
        const double maxGain = std::min(sumRef / sumEst * limiterGain, concealed ? 1.0 : std::ldexp(1.0, 33));
        double total = 0;
        for (int k = limiter[b]; k < limiter[b + 1]; ++k) {
            const size_t i = static_cast<size_t>(k);
            if (m.gain[i] > maxGain) {
                m.noise[i] *= maxGain / m.gain[i];
                m.gain[i] = maxGain;
            }
            total += m.gain[i] * est[i] + m.sine[i] + (!noNoise && !sineBand[i] ? m.noise[i] : 0);
        }
        double boost = total == 0 ? std::pow(10, 0.4) : std::min(sumRef / total, std::pow(10, 0.4));
        if (concealed)
            boost = std::min(boost, 1.0);
        for (int k = limiter[b]; k < limiter[b + 1]; ++k) {
            const size_t i = static_cast<size_t>(k);
            m.gain[i] *= boost;
            m.noise[i] *= boost;
            m.sine[i] *= boost;
        }
    }
    for (size_t k = 0; k < n; ++k) {
        m.gain[k] = std::sqrt(m.gain[k]);
        m.noise[k] = std::sqrt(m.noise[k]);
        m.sine[k] = std::sqrt(m.sine[k]);
    }
    return m;
}

struct Envelope
{
    static constexpr int Bands = 24;
    std::vector<double> ref = std::vector<double>(Bands), est = std::vector<double>(Bands), q = std::vector<double>(Bands);
    std::vector<bool> sineBand = std::vector<bool>(Bands), sineHere = std::vector<bool>(Bands);
    std::vector<int> limiter = {0, 5, 11, 18, 24};
    SbrBandLevels levels{};

    explicit Envelope(unsigned seed, double referenceScale = 1.0)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> decibels(-30.0, 30.0), floor(-30.0, 0.0);
        for (int k = 0; k < Bands; ++k) {
            const size_t i = static_cast<size_t>(k);
            est[i] = std::pow(10, (60 + decibels(random)) / 10);
            ref[i] = referenceScale * est[i] * std::pow(10, decibels(random) / 10);
            q[i] = std::pow(10, floor(random) / 10);
        }
        // A sinusoid in band 13, a scale-factor band of its own.
        sineBand[13] = sineHere[13] = true;
        fill();
    }
    void fill()
    {
        for (int k = 0; k < Bands; ++k) {
            const size_t i = static_cast<size_t>(k);
            set(levels.referenceEnergy, levels.referenceExponent, k, ref[i]);
            set(levels.estimatedEnergy, levels.estimatedExponent, k, est[i]);
            set(levels.noiseFloor, levels.noiseFloorExponent, k, q[i]);
            levels.sineInScaleFactorBand[k] = sineBand[i];
            levels.sineHere[k] = sineHere[i];
        }
    }
    SbrBandGains gains(int limiterGains, bool noNoise, bool concealed) const
    {
        std::vector<uint8_t> table(limiter.begin(), limiter.end());
        SbrBandGains g{};
        SbrDec_EnvelopeGains(&levels, Bands, table.data(), static_cast<int>(limiter.size()) - 1, limiterGains,
                             noNoise ? 1 : 0, concealed ? 1 : 0, &g);
        return g;
    }
};

struct GainCase
{
    int limiterGains;
    double limiterGain;
    bool noNoise, concealed;
};

TEST(SbrEnvelopeAdjuster, GainsFollowTheDoubleModel)
{
    const GainCase cases[] = {
        {0, 0.50119, false, false}, {1, 1.0, false, false}, {2, 1.99526, true, false}, {3, 1e20, false, false},
        {2, 1.99526, false, true},
    };
    for (const GainCase &c : cases)
        for (unsigned seed : {1u, 2u, 3u}) {
            const Envelope env(seed);
            const SbrBandGains got = env.gains(c.limiterGains, c.noNoise, c.concealed);
            const ModelGains want = model(env.ref, env.est, env.q, env.sineBand, env.sineHere, env.limiter,
                                          c.limiterGain, c.noNoise, c.concealed);
            for (int k = 0; k < Envelope::Bands; ++k) {
                const size_t i = static_cast<size_t>(k);
                const std::string where = "limiter gains " + std::to_string(c.limiterGains) + " seed " +
                                          std::to_string(seed) + " band " + std::to_string(k);
                EXPECT_NEAR(value(got.gain[k], got.gainExponent[k]), want.gain[i], 2e-3 * want.gain[i] + 1e-9) << where;
                EXPECT_NEAR(value(got.noiseLevel[k], got.noiseExponent[k]), want.noise[i], 2e-3 * want.noise[i] + 1e-9)
                    << where;
                EXPECT_NEAR(value(got.sineLevel[k], got.sineExponent[k]), want.sine[i], 2e-3 * want.sine[i] + 1e-9)
                    << where;
            }
        }
}

TEST(SbrEnvelopeAdjuster, UnlimitedBandsReachTheirEnergyWithinHalfADecibel)
{
    const Envelope env(5);
    const SbrBandGains g = env.gains(3, false, false);
    for (int k = 0; k < Envelope::Bands; ++k) {
        const size_t i = static_cast<size_t>(k);
        const double gain = value(g.gain[k], g.gainExponent[k]), noise = value(g.noiseLevel[k], g.noiseExponent[k]);
        const double sine = value(g.sineLevel[k], g.sineExponent[k]);
        // Noise sounds only in bands without a sinusoid.
        const double energy = gain * gain * env.est[i] + sine * sine + (env.sineBand[i] ? 0 : noise * noise);
        EXPECT_NEAR(10 * std::log10(energy / env.ref[i]), 0.0, 0.5) << "band " << k;
    }
}

TEST(SbrEnvelopeAdjuster, ConcealedFrameNeverAmplifies)
{
    // References far above the estimates: an ordinary frame would raise every band.
    const Envelope env(9, 1000.0);
    const SbrBandGains normal = env.gains(3, false, false), concealed = env.gains(3, false, true);
    bool amplifies = false;
    for (int k = 0; k < Envelope::Bands; ++k) {
        amplifies = amplifies || value(normal.gain[k], normal.gainExponent[k]) > 1.0;
        EXPECT_LE(value(concealed.gain[k], concealed.gainExponent[k]), 1.0) << "band " << k;
    }
    EXPECT_TRUE(amplifies);
}

TEST(SbrEnvelopeAdjuster, SilentEnvelopeGivesZeroLevels)
{
    Envelope env(3);
    std::fill(env.ref.begin(), env.ref.end(), 0.0);
    env.fill();
    const SbrBandGains g = env.gains(2, false, false);
    for (int k = 0; k < Envelope::Bands; ++k) {
        EXPECT_EQ(g.gain[k], 0) << k;
        EXPECT_EQ(g.noiseLevel[k], 0) << k;
        EXPECT_EQ(g.sineLevel[k], 0) << k;
    }
}

TEST(SbrEnvelopeAdjuster, SinusoidPhasesTurnByQuarterPeriods)
{
    // Per phase: the part that moves and its sign for an even and an odd QMF band.
    struct Expect
    {
        bool imaginary;
        int evenSign, oddSign;
    };
    const Expect phases[4] = {{false, 1, 1}, {true, 1, -1}, {false, -1, -1}, {true, -1, 1}};
    const int32_t level = 1000;
    for (int firstBand : {16, 17})
        for (int phase = 0; phase < 4; ++phase) {
            int32_t re[2] = {7, 7}, im[2] = {-7, -7};
            const int32_t sine[2] = {level, level};
            SbrDec_AddSinusoids(re, im, sine, 2, firstBand, phase);
            for (int k = 0; k < 2; ++k) {
                const bool odd = ((firstBand + k) & 1) != 0;
                const int sign = odd ? phases[phase].oddSign : phases[phase].evenSign;
                EXPECT_EQ(re[k], phases[phase].imaginary ? 7 : 7 + sign * level) << phase << " band " << firstBand + k;
                EXPECT_EQ(im[k], phases[phase].imaginary ? -7 + sign * level : -7) << phase << " band " << firstBand + k;
            }
        }
}

// Bands 0..7 of an SBR range from QMF band 20; the aliasing degrees of bands 1..3 and
// 5..6 are full: groups 0..3 and 4..6 take one gain each and keep their energy.
TEST(SbrEnvelopeAdjuster, AliasingReductionEvensGroupsAndKeepsTheirEnergy)
{
    constexpr int Kx = 20, Count = 8;
    int32_t alias[SBR_QMF_BANDS] = {};
    for (int k : {1, 2, 3, 5, 6})
        alias[Kx + k] = 0x7FFFFFFF;
    SbrBandLevels levels{};
    SbrBandGains gains{};
    const double estimate[Count] = {1e6, 3e5, 2e6, 8e5, 1e5, 5e6, 7e5, 1e6};
    const double gain[Count] = {0.5, 2.0, 1.25, 0.1, 3.0, 0.7, 1.1, 0.9};
    for (int k = 0; k < Count; ++k) {
        set(levels.estimatedEnergy, levels.estimatedExponent, k, estimate[k]);
        set(gains.gain, gains.gainExponent, k, gain[k]);
    }
    auto gainOf = [&](const SbrBandGains &g, int k) { return value(g.gain[k], g.gainExponent[k]); };
    auto energy = [&](const SbrBandGains &g, int lo, int hi) {
        double e = 0;
        for (int k = lo; k <= hi; ++k)
            e += gainOf(g, k) * estimate[k];
        return e;
    };

    SbrBandGains reduced = gains;
    SbrDec_AliasingReduction(&reduced, &levels, alias, Kx, Count);
    for (auto [lo, hi] : {std::pair{0, 3}, std::pair{4, 6}}) {
        for (int k = lo; k <= hi; ++k)
            EXPECT_NEAR(gainOf(reduced, k) / gainOf(reduced, lo), 1.0, 1e-4) << "band " << k;
        EXPECT_NEAR(energy(reduced, lo, hi) / energy(gains, lo, hi), 1.0, 1e-5) << "group from " << lo;
    }
    EXPECT_EQ(gainOf(reduced, 7), gainOf(gains, 7));

    // A sinusoid in band 5 keeps bands 4..6 out of any group.
    SbrBandGains withSine = gains;
    set(withSine.sineLevel, withSine.sineExponent, 5, 100.0);
    SbrDec_AliasingReduction(&withSine, &levels, alias, Kx, Count);
    for (int k = 4; k < Count; ++k)
        EXPECT_EQ(gainOf(withSine, k), gainOf(gains, k)) << "band " << k;
}

// A low band with a loud slot 5 and a flat high band: the high band takes the low band's
// temporal shape as far as the shape mode asks and keeps its energy.
TEST(SbrEnvelopeAdjuster, InterTesShapesTheHighBandInTime)
{
    constexpr int SlotCount = 16, Kx = 16, HighStop = 32;
    for (int mode = 0; mode < 4; ++mode) {
        std::vector<int32_t> re(SlotCount * SBR_QMF_BANDS), im(re.size());
        int32_t *reRows[SlotCount], *imRows[SlotCount];
        std::vector<double> low(SlotCount), high(SlotCount);
        for (int i = 0; i < SlotCount; ++i) {
            reRows[i] = re.data() + i * SBR_QMF_BANDS;
            imRows[i] = im.data() + i * SBR_QMF_BANDS;
            for (int k = 0; k < HighStop; ++k) {
                const double a = k < Kx ? (i == 5 ? 8e5 : 1e5) * (1 + 0.01 * k) : 3e5 * (1 + 0.02 * i);
                reRows[i][k] = static_cast<int32_t>(a * std::cos(0.3 * i + k));
                imRows[i][k] = static_cast<int32_t>(a * std::sin(0.3 * i + k));
                (k < Kx ? low : high)[size_t(i)] += double(reRows[i][k]) * reRows[i][k] + double(imRows[i][k]) * imRows[i][k];
            }
        }
        // Double model.
        double lowTotal = 0, before = 0, after = 0;
        for (int i = 0; i < SlotCount; ++i)
            lowTotal += low[size_t(i)];
        std::vector<double> gain(SlotCount, 1.0);
        for (int i = 0; i < SlotCount; ++i) {
            if (mode > 0)
                gain[size_t(i)] = std::max(0.2, 1 + std::ldexp(1.0, mode - 1) * (std::sqrt(low[size_t(i)] * SlotCount / lowTotal) - 1));
            before += high[size_t(i)];
            after += gain[size_t(i)] * gain[size_t(i)] * high[size_t(i)];
        }
        SbrDec_InterTes(reRows, imRows, 0, SlotCount, Kx, HighStop, mode);
        double total = 0;
        for (int i = 0; i < SlotCount; ++i) {
            double e = 0;
            for (int k = Kx; k < HighStop; ++k)
                e += double(reRows[i][k]) * reRows[i][k] + double(imRows[i][k]) * imRows[i][k];
            total += e;
            const double want = high[size_t(i)] * gain[size_t(i)] * gain[size_t(i)] * before / after;
            EXPECT_NEAR(e / want, 1.0, 2e-3) << "mode " << mode << " slot " << i;
        }
        EXPECT_NEAR(total / before, 1.0, 2e-3) << "mode " << mode;
    }
}

TEST(SbrEnvelopeAdjuster, SinusoidsStartAtTheTransientOrContinueFromEnvelopeZero)
{
    const uint8_t high[] = {16, 18, 20, 24, 28, 32};
    SbrEnvelopeAdjuster state{};
    uint8_t mapped[SBR_MAX_ADJUSTED_BANDS];
    auto expectOnly = [&](std::vector<std::pair<int, int>> entries, const char *frame) {
        std::vector<int> want(SBR_MAX_ADJUSTED_BANDS, SBR_NO_SINE);
        for (auto [band, envelope] : entries)
            want[static_cast<size_t>(band - 16)] = envelope;
        EXPECT_EQ(std::vector<int>(mapped, mapped + SBR_MAX_ADJUSTED_BANDS), want) << frame;
    };
    // New sinusoids in the middle bands 19 and 26 start at the transient envelope 2.
    const uint8_t first[] = {0, 1, 0, 1, 0};
    SbrDec_SineMapping(&state, high, 5, first, 2, mapped);
    expectOnly({{19, 2}, {26, 2}}, "first");
    // 19 continues from envelope 0; 30 is new in a frame without a transient.
    const uint8_t second[] = {0, 1, 0, 0, 1};
    SbrDec_SineMapping(&state, high, 5, second, -1, mapped);
    expectOnly({{19, 0}, {30, 0}}, "second");
    // 26 stopped a frame ago: it starts anew at the transient.
    const uint8_t third[] = {0, 0, 0, 1, 1};
    SbrDec_SineMapping(&state, high, 5, third, 1, mapped);
    expectOnly({{26, 1}, {30, 0}}, "third");
}

TEST(SbrEnvelopeAdjuster, SinusoidSoundsInItsBandFromItsEnvelopeOn)
{
    // Low-resolution bands 16..24 and 24..32; a sinusoid in band 19 from envelope 1.
    const uint8_t low[] = {16, 24, 32};
    uint8_t mapped[SBR_MAX_ADJUSTED_BANDS];
    std::fill(std::begin(mapped), std::end(mapped), static_cast<uint8_t>(SBR_NO_SINE));
    mapped[19 - 16] = 1;
    for (int envelope = 0; envelope < 3; ++envelope) {
        SbrBandLevels levels{};
        SbrDec_EnvelopeSineFlags(mapped, low, 2, envelope, &levels);
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(levels.sineInScaleFactorBand[k], envelope >= 1 && k < 8) << envelope << " " << k;
            EXPECT_EQ(levels.sineHere[k], envelope >= 1 && k == 3) << envelope << " " << k;
        }
    }
}

TEST(SbrEnvelopeAdjuster, TransientEnvelopesAddNoNoise)
{
    SbrEnvelopeAdjuster state{};
    state.previousTransientEnvelope = -1;
    EXPECT_TRUE(SbrDec_EnvelopeWithoutNoise(&state, 1, 1));
    EXPECT_FALSE(SbrDec_EnvelopeWithoutNoise(&state, 0, 1));
    EXPECT_FALSE(SbrDec_EnvelopeWithoutNoise(&state, 0, -1));
    // A transient at the end of a two-envelope frame: the next frame's first envelope.
    SbrDec_EndOfFrameTransient(&state, 2, 2);
    EXPECT_TRUE(SbrDec_EnvelopeWithoutNoise(&state, 0, -1));
    EXPECT_FALSE(SbrDec_EnvelopeWithoutNoise(&state, 1, -1));
    SbrDec_EndOfFrameTransient(&state, 1, 2);
    EXPECT_FALSE(SbrDec_EnvelopeWithoutNoise(&state, 0, -1));
}

TEST(SbrEnvelopeAdjuster, EstimatedEnergyIsTheMeanSquareOfTheSlots)
{
    constexpr int SlotCount = 12;
    std::vector<int32_t> re(SlotCount * SBR_QMF_BANDS), im(re.size());
    int32_t *reRows[SlotCount], *imRows[SlotCount];
    std::mt19937 random(4);
    std::uniform_int_distribution<int32_t> sample(-(1 << 30), 1 << 30);
    for (int i = 0; i < SlotCount; ++i) {
        reRows[i] = re.data() + i * SBR_QMF_BANDS;
        imRows[i] = im.data() + i * SBR_QMF_BANDS;
        for (int k = 0; k < SBR_QMF_BANDS; ++k) {
            reRows[i][k] = sample(random) >> (k % 20); // levels over 120 dB
            imRows[i][k] = sample(random) >> (k % 20);
        }
    }
    auto mean = [&](bool realMode, int lo, int hi) {
        double sum = 0;
        for (int i = 2; i < 10; ++i)
            for (int k = lo; k < hi; ++k)
                sum += double(reRows[i][k]) * reRows[i][k] + (realMode ? 0.0 : double(imRows[i][k]) * imRows[i][k]);
        return sum / (8.0 * (hi - lo));
    };
    const uint8_t sfb[] = {20, 22, 25, 30, 40};
    for (int realMode : {0, 1}) {
        int32_t energy[SBR_MAX_ADJUSTED_BANDS];
        int8_t exponent[SBR_MAX_ADJUSTED_BANDS];
        SbrDec_EstimateEnergyPerBand(reRows, imRows, realMode, 2, 10, 20, 20, energy, exponent);
        for (int k = 0; k < 20; ++k)
            EXPECT_NEAR(value(energy[k], exponent[k]) / mean(realMode, 20 + k, 21 + k), 1.0, 1e-6) << k;
        SbrDec_EstimateEnergyPerSfb(reRows, imRows, realMode, 2, 10, sfb, 4, energy, exponent);
        for (int j = 0; j < 4; ++j)
            for (int k = sfb[j]; k < sfb[j + 1]; ++k)
                EXPECT_NEAR(value(energy[k - 20], exponent[k - 20]) / mean(realMode, sfb[j], sfb[j + 1]), 1.0, 1e-6)
                    << k;
    }
}

} // namespace
