// The decorrelator: its responses against the all-pass filters they stand for, the
// delays of the band groups, the duckers, the state reset and the argument checks.
#include "RezDecorrelatorInternal.h"
#include "RezDecorrelator_tables.h"
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;

constexpr int Bands = 71;
constexpr int TailSlots = 600;
constexpr double Impulse = 1 << 26;

// The parametric-stereo decorrelator of band k: z^-2 phi(k) prod_m (Q_m z^-d_m - a_m) /
// (1 - a_m Q_m z^-d_m) with phi = exp(-j pi 0.39 f), Q_m = exp(-j pi q_m f), for the
// bands below 30; a delay of 14 slots up to band 41, of 1 slot above.
constexpr double LinkGain[3] = {0.65143905753106, 0.56471812200776, 0.48954165955695};
constexpr double LinkFraction[3] = {0.43, 0.75, 0.347};
constexpr int LinkDelay[3] = {3, 4, 5};

// Centre of hybrid band k in QMF band widths, as the hybrid analysis orders its
// sub-bands (checked by the probe test below).
double centre(int k)
{
    constexpr double subBands[10] = {-1 / 8., 1 / 8., -3 / 8., 3 / 8., 5 / 8., 7 / 8., 5 / 4., 7 / 4., 9 / 4., 11 / 4.};
    return k < 10 ? subBands[k] : k - 7 + 0.5;
}

Complex parametricStereoResponse(int k, double theta, bool alternative)
{
    const Complex z1 = std::polar(1.0, -theta);
    const int allPassBands = alternative ? 14 : 30;
    if (k >= 42)
        return z1;
    if (k >= allPassBands)
        return std::pow(z1, 14);
    const double f = centre(k);
    Complex h = std::pow(z1, alternative ? 8 : 2) * std::polar(1.0, -M_PI * 0.39 * f);
    for (int m = 0; m < 3; ++m) {
        const Complex q = std::polar(1.0, -M_PI * LinkFraction[m] * f);
        const Complex zd = std::pow(z1, LinkDelay[m]);
        h *= (q * zd - LinkGain[m]) / (1.0 - LinkGain[m] * q * zd);
    }
    return h;
}

struct Decorrelator {
    RezDecorrelator d{};
    std::vector<int32_t> buffer = std::vector<int32_t>(REZ_DECORRELATOR_MIN_WORDS);
    Decorrelator() { EXPECT_EQ(RezTools_DecorrelatorOpen(&d, buffer.data(), static_cast<int32_t>(buffer.size())), 0); }
};

// The parametric-stereo set-up: 71 bands, 20 parameter bands, cleared states.
void initStereo(Decorrelator &dec, int alternative = 0)
{
    ASSERT_EQ(RezTools_DecorrelatorInit(&dec.d, Bands, 1, 0, 0, 0, alternative, 0, 1, 1), 0);
}

// Impulse response of band k over TailSlots slots (ducker off), as complex samples.
std::vector<Complex> impulseResponse(RezDecorrelator &d, int k, bool realOnly = false)
{
    std::vector<Complex> h;
    for (int t = 0; t < TailSlots; ++t) {
        int32_t re[Bands] = {}, im[Bands] = {}, outRe[Bands] = {}, outIm[Bands] = {};
        if (t == 0)
            re[k] = static_cast<int32_t>(Impulse);
        EXPECT_EQ(RezTools_DecorrelatorApply(&d, re, im, outRe, outIm, 0), 0);
        h.emplace_back(outRe[k] / Impulse, realOnly ? 0.0 : outIm[k] / Impulse);
    }
    return h;
}

Complex transform(const std::vector<Complex> &h, double theta)
{
    Complex sum = 0;
    for (size_t t = 0; t < h.size(); ++t)
        sum += h[t] * std::polar(1.0, -theta * static_cast<double>(t));
    return sum;
}

const double Thetas[] = {0.0, 0.3, 1.0, 2.0, 3.0, -1.5};

TEST(DecorrelatorTables, LinkRowsAreThePhaseFactorsAndLinkGainsOfEachBand)
{
    for (int k = 0; k < 30; ++k) {
        const int16_t *row = RezTools_DecorrelatorLinkRows[k];
        const double f = centre(k);
        const Complex phase = std::polar(1.0, -M_PI * f * (0.39 + 0.43 + 0.75 + 0.347));
        EXPECT_NEAR(row[0], 32768 * phase.real(), 1.0) << k;
        EXPECT_NEAR(row[1], 32768 * phase.imag(), 1.0) << k;
        for (int m = 0; m < 3; ++m) {
            const Complex link(row[2 + 2 * m] / 32768.0, row[3 + 2 * m] / 32768.0);
            EXPECT_NEAR(std::abs(link), LinkGain[m], 1e-4) << k << " link " << m;
            const Complex expected = -LinkGain[m] * std::polar(1.0, M_PI * LinkFraction[m] * f);
            EXPECT_NEAR(std::abs(link - expected), 0.0, 5e-5) << k << " link " << m;
        }
    }
    const int16_t row0[8] = {23913, 22403, -21043, 3587, -17708, 5372, -15893, 2179};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(RezTools_DecorrelatorLinkRows[0][i], row0[i]) << i;
}

TEST(DecorrelatorTables, BandMapsInvertTheParameterBorders)
{
    const struct {
        const uint8_t *borders;
        const uint8_t *map;
        int count;
    } rows[] = {{RezTools_DecorrelatorBorders20, RezTools_DecorrelatorBandMap20, 20},
                {RezTools_DecorrelatorBorders28, RezTools_DecorrelatorBandMap28, 28}};
    for (const auto &row : rows) {
        EXPECT_EQ(row.borders[0], 0);
        EXPECT_EQ(row.borders[row.count], Bands);
        for (int b = 0; b < row.count; ++b)
            for (int k = row.borders[b]; k < row.borders[b + 1]; ++k)
                EXPECT_EQ(row.map[k], b) << row.count << " bands, hybrid band " << k;
    }
}

// The sub-band centres assumed above: a tone of f in the QMF band below it lands in
// hybrid band k.
TEST(DecorrelatorTables, HybridSubBandCentresAreWhereTheHybridBankPutsThem)
{
    for (int k = 0; k < 10; ++k) {
        RezHybridAnalysis h{};
        std::vector<int32_t> state(13 * 3 * 2), delay(122 * 6);
        RezTools_HybridAnalysisOpen(&h, state.data(), static_cast<int>(state.size() * 4), delay.data(),
                                    static_cast<int>(delay.size() * 4));
        ASSERT_EQ(RezTools_HybridAnalysisInit(&h, 0, 64, 64, 1), 0);
        const double f = centre(k);
        const int qmf = f < 1 ? 0 : static_cast<int>(f);
        std::vector<double> energy(10);
        for (int t = 0; t < 100; ++t) {
            int32_t re[64] = {}, im[64] = {}, outRe[80], outIm[80];
            re[qmf] = static_cast<int32_t>(1e8 * std::cos(M_PI * f * t));
            im[qmf] = static_cast<int32_t>(1e8 * std::sin(M_PI * f * t));
            RezTools_HybridAnalysisApply(&h, re, im, outRe, outIm);
            for (int b = 0; t > 20 && b < 10; ++b)
                energy[b] += double(outRe[b]) * outRe[b] + double(outIm[b]) * outIm[b];
        }
        EXPECT_EQ(std::max_element(energy.begin(), energy.end()) - energy.begin(), k) << "f = " << f;
    }
}

TEST(Decorrelator, ParametricStereoBandsAreTheirAllPassFilters)
{
    for (bool alternative : {false, true}) {
        for (int k = 0; k < Bands; ++k) {
            Decorrelator dec;
            initStereo(dec, alternative);
            dec.d.duckerMode = 0; // no ducker: the filter alone
            const bool realOnly = alternative && k >= 15;
            const std::vector<Complex> h = impulseResponse(dec.d, k, realOnly);
            for (double theta : Thetas) {
                const Complex measured = transform(h, theta);
                if (realOnly) { // a real-only band is a pure delay: its magnitude is all there is
                    EXPECT_NEAR(std::abs(measured), 1.0, 1e-6) << k;
                    continue;
                }
                EXPECT_NEAR(std::abs(measured), 1.0, 2e-3) << "band " << k << " theta " << theta;
                EXPECT_NEAR(std::abs(measured - parametricStereoResponse(k, theta, alternative)), 0.0, 3e-3)
                    << "band " << k << " theta " << theta << (alternative ? " alternative" : "");
            }
        }
    }
}

TEST(Decorrelator, DelayGroupsPassTheInputOfDSlotsEarlier)
{
    const struct {
        const char *name;
        int alternative;
        int band;
        int delay;
    } rows[] = {
        {"band 30, group 1", 0, 30, 14}, {"band 41, group 1", 0, 41, 14}, {"band 42, group 2", 0, 42, 1},
        {"band 70, group 2", 0, 70, 1},  {"alternative band 14", 1, 14, 14}, {"alternative band 50", 1, 50, 1},
    };
    for (const auto &row : rows) {
        Decorrelator dec;
        initStereo(dec, row.alternative);
        dec.d.duckerMode = 0;
        std::mt19937 rng(7);
        std::vector<int32_t> sent;
        for (int t = 0; t < 40; ++t) {
            int32_t re[Bands] = {}, im[Bands] = {}, outRe[Bands], outIm[Bands];
            re[row.band] = static_cast<int32_t>(rng() >> 4) - (1 << 27);
            im[row.band] = row.alternative ? 0 : static_cast<int32_t>(rng() >> 4) - (1 << 27);
            sent.push_back(re[row.band]);
            RezTools_DecorrelatorApply(&dec.d, re, im, outRe, outIm, 0);
            EXPECT_EQ(outRe[row.band], t >= row.delay ? sent[t - row.delay] : 0) << row.name << " slot " << t;
        }
    }
}

TEST(Decorrelator, AllPassGroupOutputStartsAfterItsDelay)
{
    for (bool alternative : {false, true}) {
        Decorrelator dec;
        initStereo(dec, alternative);
        dec.d.duckerMode = 0;
        const std::vector<Complex> h = impulseResponse(dec.d, 5);
        const int delay = alternative ? 8 : 2;
        for (int t = 0; t < delay; ++t)
            EXPECT_EQ(h[t], Complex(0)) << t;
        // The first sample through three links is the product of their gains.
        EXPECT_NEAR(std::abs(h[delay]), LinkGain[0] * LinkGain[1] * LinkGain[2], 1e-3);
    }
}

// Stable all-pass coefficients for the lattice types, from small reflection
// coefficients (a0..aN, aN = 16384): stand-ins for the coefficient tables.
std::vector<int16_t> latticeCoefficients(int order, double seed)
{
    std::vector<double> a{1.0};
    for (int i = 1; i <= order; ++i) {
        const double k = seed * std::pow(-0.8, i);
        std::vector<double> next(a.size() + 1, 0.0);
        for (size_t j = 0; j < a.size(); ++j) {
            next[j] += a[j];
            next[a.size() - j] += k * a[j];
        }
        a = next;
    }
    // a is the monic denominator 1 + d1 z^-1 + ...; the table holds d_N .. d_1, 1.
    std::vector<int16_t> table(order + 1);
    for (int j = 0; j <= order; ++j)
        table[j] = static_cast<int16_t>(std::lround(16384 * a[order - j]));
    return table;
}

Complex latticeResponse(const std::vector<int16_t> &table, int delay, double theta)
{
    const int order = static_cast<int>(table.size()) - 1;
    Complex numerator = 0, denominator = 0;
    for (int k = 0; k <= order; ++k) {
        numerator += table[k] / 16384.0 * std::polar(1.0, -theta * k);
        denominator += table[order - k] / 16384.0 * std::polar(1.0, -theta * k);
    }
    return std::polar(1.0, -theta * delay) * numerator / denominator;
}

struct Lattice {
    std::vector<int16_t> tables[4];
    const int16_t *pointers[4];
    explicit Lattice(const int8_t *orders)
    {
        for (int g = 0; g < 4; ++g) {
            tables[g] = latticeCoefficients(orders[g], 0.3 + 0.1 * g);
            pointers[g] = tables[g].data();
        }
    }
};

TEST(Decorrelator, LatticeBandsAreAllPassFiltersBehindTheirDelays)
{
    const struct {
        const char *name;
        int type;
        int layoutIndex;
        int alternative;
        int probeBands[4];
    } rows[] = {
        {"type 0 layout 0", 0, 0, 0, {0, 8, 21, 30}},
        {"type 0 layout 1", 0, 1, 0, {7, 8, 55, 56}},
        {"type 0 alternative (real above 15)", 0, 0, 1, {3, 14, 20, 40}},
        {"type 2 layout 0", 2, 0, 0, {0, 8, 21, 70}},
    };
    for (const auto &row : rows) {
        const int type = row.type;
        Lattice lattice(RezTools_DecorrelatorOrders[type]);
        const uint8_t *layout = RezTools_DecorrelatorLayouts[row.alternative ? 3 : row.layoutIndex];
        for (int k : row.probeBands) {
            Decorrelator dec;
            ASSERT_EQ(rez::decorrelatorInit(&dec.d, Bands, type, 0, row.layoutIndex, 0, row.alternative, 0, 0, 1,
                                            lattice.pointers),
                      0)
                << row.name;
            dec.d.duckerMode = 0;
            int group = 0;
            while (k >= layout[group])
                ++group;
            const bool realOnly = row.alternative && k >= 15;
            const std::vector<Complex> h = impulseResponse(dec.d, k, realOnly);
            for (double theta : Thetas) {
                const Complex expected =
                    latticeResponse(lattice.tables[group], RezTools_DecorrelatorDelays[type][group], theta);
                const Complex measured = transform(h, theta);
                EXPECT_NEAR(std::abs(measured), 1.0, 2e-3) << row.name << " band " << k << " theta " << theta;
                EXPECT_NEAR(std::abs(measured - expected), 0.0, 3e-3) << row.name << " band " << k;
            }
        }
    }
}

// Complex noise of a stationary level in every band.
struct Noise {
    std::mt19937 rng{11};
    std::normal_distribution<double> normal{0.0, 1 << 24};
    void fill(int32_t *re, int32_t *im, double level = 1.0)
    {
        // Loud levels clip at full scale.
        auto sample = [&] { return static_cast<int32_t>(std::clamp(level * normal(rng), -2147483647.0, 2147483647.0)); };
        for (int k = 0; k < Bands; ++k) {
            re[k] = sample();
            im[k] = sample();
        }
    }
};

// Over 3000 slots of stationary noise, the output energy of each parameter band
// stays near its input energy with the ducker at work, also for noise near full scale,
// whose band energies must not wrap.
TEST(Decorrelator, DuckersKeepTheEnergyOfStationaryNoise)
{
    const int8_t *orders = RezTools_DecorrelatorOrders[0];
    Lattice lattice(orders);
    for (const double level : {1.0, 40.0})
    for (int type : {1, 0}) {
        Decorrelator dec;
        ASSERT_EQ(rez::decorrelatorInit(&dec.d, Bands, type, 0, 0, 0, 0, 0, 1, 1, lattice.pointers), 0);
        EXPECT_EQ(dec.d.duckerMode, type == 1 ? 2 : 1);
        const int parameterBands = type == 1 ? 20 : 28;
        const uint8_t *map = type == 1 ? RezTools_DecorrelatorBandMap20 : RezTools_DecorrelatorBandMap28;
        std::vector<double> in(parameterBands), out(parameterBands);
        Noise noise;
        for (int t = 0; t < 3000; ++t) {
            int32_t re[Bands], im[Bands], outRe[Bands], outIm[Bands];
            noise.fill(re, im, level);
            RezTools_DecorrelatorApply(&dec.d, re, im, outRe, outIm, 0);
            for (int k = 0; t >= 100 && k < Bands; ++k) {
                in[map[k]] += double(re[k]) * re[k] + double(im[k]) * im[k];
                out[map[k]] += double(outRe[k]) * outRe[k] + double(outIm[k]) * outIm[k];
            }
        }
        for (int b = 0; b < parameterBands; ++b) {
            EXPECT_GT(out[b] / in[b], 0.6) << "level " << level << " type " << type << " parameter band " << b;
            EXPECT_LT(out[b] / in[b], 1.3) << "level " << level << " type " << type << " parameter band " << b;
        }
    }
}

// After a loud passage stops, the all-pass tails ring on; the transient ducker
// silences them where the undamped filter would not.
TEST(Decorrelator, TransientDuckerSilencesTheTailAfterASuddenStop)
{
    double tail[2] = {};
    for (int ducked = 0; ducked < 2; ++ducked) {
        Decorrelator dec;
        initStereo(dec);
        if (!ducked)
            dec.d.duckerMode = 0;
        Noise noise;
        for (int t = 0; t < 60; ++t) {
            int32_t re[Bands], im[Bands], outRe[Bands], outIm[Bands];
            noise.fill(re, im, t < 40 ? 1.0 : 0.0);
            RezTools_DecorrelatorApply(&dec.d, re, im, outRe, outIm, 0);
            for (int k = 0; t >= 43 && k < 30; ++k)
                tail[ducked] += double(outRe[k]) * outRe[k] + double(outIm[k]) * outIm[k];
        }
    }
    EXPECT_GT(tail[0], 0.0);
    EXPECT_LT(tail[1], 0.1 * tail[0]);
}

TEST(Decorrelator, OutputIsUncorrelatedWithItsInput)
{
    Decorrelator dec;
    initStereo(dec);
    Noise noise;
    std::vector<Complex> cross(Bands);
    std::vector<double> inEnergy(Bands), outEnergy(Bands);
    for (int t = 0; t < 4000; ++t) {
        int32_t re[Bands], im[Bands], outRe[Bands], outIm[Bands];
        noise.fill(re, im);
        RezTools_DecorrelatorApply(&dec.d, re, im, outRe, outIm, 0);
        for (int k = 0; k < Bands; ++k) {
            const Complex x(re[k], im[k]), y(outRe[k], outIm[k]);
            cross[k] += x * std::conj(y);
            inEnergy[k] += std::norm(x);
            outEnergy[k] += std::norm(y);
        }
    }
    for (int k = 0; k < Bands; ++k)
        EXPECT_LT(std::abs(cross[k]) / std::sqrt(inEnergy[k] * outEnergy[k]), 0.1) << "band " << k;
}

TEST(Decorrelator, ResetClearsEveryStateAndReconfigurationKeepsThem)
{
    Decorrelator fresh, used;
    for (Decorrelator *dec : {&fresh, &used})
        initStereo(*dec);
    Noise noise;
    for (int t = 0; t < 37; ++t) {
        int32_t re[Bands], im[Bands], outRe[Bands], outIm[Bands];
        noise.fill(re, im);
        RezTools_DecorrelatorApply(&used.d, re, im, outRe, outIm, 0);
    }
    Decorrelator kept = used;
    kept.d.stateA = kept.buffer.data(); // the copy's pointers into its own buffer
    ASSERT_EQ(RezTools_DecorrelatorInit(&kept.d, Bands, 1, 0, 0, 0, 0, 0, 1, 0), 0);
    initStereo(used);
    bool keptDiffers = false;
    for (int t = 0; t < 50; ++t) {
        int32_t re[Bands], im[Bands], a[2][Bands], b[2][Bands], c[2][Bands];
        noise.fill(re, im);
        RezTools_DecorrelatorApply(&fresh.d, re, im, a[0], a[1], 0);
        RezTools_DecorrelatorApply(&used.d, re, im, b[0], b[1], 0);
        RezTools_DecorrelatorApply(&kept.d, re, im, c[0], c[1], 0);
        for (int k = 0; k < Bands; ++k) {
            ASSERT_EQ(a[0][k], b[0][k]) << "slot " << t << " band " << k;
            ASSERT_EQ(a[1][k], b[1][k]) << "slot " << t << " band " << k;
            keptDiffers |= a[0][k] != c[0][k];
        }
    }
    EXPECT_TRUE(keptDiffers);
}

TEST(Decorrelator, BandsBelowTheStartBandAreNotWrittenAndInPlaceWorks)
{
    Decorrelator apart, inPlace;
    for (Decorrelator *dec : {&apart, &inPlace})
        initStereo(*dec);
    Noise noise;
    for (int t = 0; t < 30; ++t) {
        int32_t re[Bands], im[Bands], outRe[Bands], outIm[Bands];
        noise.fill(re, im);
        std::fill(outRe, outRe + Bands, 12345);
        std::fill(outIm, outIm + Bands, -12345);
        ASSERT_EQ(RezTools_DecorrelatorApply(&apart.d, re, im, outRe, outIm, 9), 0);
        for (int k = 0; k < 9; ++k)
            ASSERT_TRUE(outRe[k] == 12345 && outIm[k] == -12345) << "band " << k;
        ASSERT_EQ(RezTools_DecorrelatorApply(&inPlace.d, re, im, re, im, 9), 0);
        for (int k = 9; k < Bands; ++k)
            ASSERT_TRUE(re[k] == outRe[k] && im[k] == outIm[k]) << "band " << k;
    }
}

TEST(Decorrelator, OpenAndInitCheckTheirArguments)
{
    RezDecorrelator d{};
    std::vector<int32_t> buffer(REZ_DECORRELATOR_MIN_WORDS);
    EXPECT_EQ(RezTools_DecorrelatorOpen(&d, buffer.data(), REZ_DECORRELATOR_MIN_WORDS - 1), 1);
    EXPECT_EQ(RezTools_DecorrelatorOpen(&d, nullptr, REZ_DECORRELATOR_MIN_WORDS), 1);
    EXPECT_EQ(RezTools_DecorrelatorOpen(nullptr, buffer.data(), REZ_DECORRELATOR_MIN_WORDS), 1);
    EXPECT_EQ(RezTools_DecorrelatorInit(&d, Bands, 1, 0, 0, 0, 0, 0, 1, 1), 1) << "not opened";

    const struct {
        const char *name;
        int bands, type, layoutIndex, configuration, alternative, extraFlag;
        int expected;
    } rows[] = {
        {"parametric stereo", 71, 1, 0, 0, 0, 0, 0},
        {"parametric stereo, alternative layout", 71, 1, 0, 0, 1, 0, 0},
        {"parametric stereo, 39 bands", 39, 1, 0, 0, 0, 0, 0},
        {"no bands", 0, 1, 0, 0, 0, 0, 1},
        {"72 bands", 72, 1, 0, 0, 0, 0, 1},
        {"type 3", 71, 3, 0, 0, 0, 0, 1},
        {"type -1", 71, -1, 0, 0, 0, 0, 1},
        {"type 0 configuration 5", 71, 0, 0, 5, 0, 0, 1},
        {"type 0 layout 3", 71, 0, 3, 0, 0, 0, 1},
        {"type 0 extra flag", 71, 0, 0, 0, 0, 1, 1},
        {"type 2 configuration 1", 71, 2, 0, 1, 0, 0, 1},
        {"type 2 alternative layout", 71, 2, 0, 0, 1, 0, 1},
        {"type 0 without its tables", 71, 0, 0, 4, 0, 0, REZ_DECORRELATOR_UNAVAILABLE},
        {"type 2 without its tables", 71, 2, 0, 0, 0, 0, REZ_DECORRELATOR_UNAVAILABLE},
    };
    for (const auto &row : rows) {
        ASSERT_EQ(RezTools_DecorrelatorOpen(&d, buffer.data(), REZ_DECORRELATOR_MIN_WORDS), 0);
        EXPECT_EQ(RezTools_DecorrelatorInit(&d, row.bands, row.type, 0, row.layoutIndex, row.configuration,
                                            row.alternative, row.extraFlag, 1, 1),
                  row.expected)
            << row.name;
    }

    // With tables, the lattice layouts that do not fit the type's state sizes are refused.
    Lattice lattice(RezTools_DecorrelatorOrders[2]);
    const struct {
        const char *name;
        int type, layoutIndex;
        int expected;
    } sized[] = {{"type 0 layout 1 fills the buffer", 0, 1, 0},
                 {"type 2 layout 0", 2, 0, 0},
                 {"type 2 layout 1 exceeds its states", 2, 1, 1},
                 {"type 2 layout 2 exceeds its states", 2, 2, 1}};
    for (const auto &row : sized) {
        Lattice tables(RezTools_DecorrelatorOrders[row.type]);
        ASSERT_EQ(RezTools_DecorrelatorOpen(&d, buffer.data(), REZ_DECORRELATOR_MIN_WORDS), 0);
        EXPECT_EQ(rez::decorrelatorInit(&d, Bands, row.type, 0, row.layoutIndex, 0, 0, 0, 0, 1, tables.pointers),
                  row.expected)
            << row.name;
    }
}

TEST(Decorrelator, NullInstanceAndParameterWord)
{
    int32_t re[Bands] = {}, im[Bands] = {};
    EXPECT_EQ(RezTools_DecorrelatorApply(nullptr, re, im, re, im, 0), 0);
    EXPECT_EQ(RezTools_DecorrelatorClose(nullptr), 1);
    EXPECT_EQ(RezTools_DecorrelatorGetParamPtr(nullptr), nullptr);

    Decorrelator dec;
    initStereo(dec);
    int32_t *gain = RezTools_DecorrelatorGetParamPtr(&dec.d);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(static_cast<uint32_t>(*gain), 0x80000000u);
    EXPECT_EQ(RezTools_DecorrelatorClose(&dec.d), 0);
    EXPECT_EQ(RezTools_DecorrelatorApply(&dec.d, re, im, re, im, 0), 1) << "closed";
}

} // namespace
