// Envelope prediction against a double model of the level, smoothing and mapping
// formulas. The coefficient tables and windows here are test stand-ins: the decoder's
// own are the standard's and not part of the tree.
#include "SbrPvc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numeric>
#include <random>
#include <vector>

namespace {

constexpr int Rows = 32;

struct TestTables {
    int8_t coefficients[2][SBR_PVC_SETS][SBR_PVC_GROUPS][SBR_PVC_MAX_BANDS];
    int8_t constants[2][SBR_PVC_IDS][SBR_PVC_MAX_BANDS];
    std::vector<int16_t> windows[SBR_PVC_WINDOWS];
    SbrPvcTables tables{};
    TestTables()
    {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> coefficient(-20, 25), constant(0, 40), weight(1, 100);
        for (int m = 0; m < 2; ++m) {
            for (auto &set : coefficients[m])
                for (auto &group : set)
                    for (int8_t &c : group)
                        c = static_cast<int8_t>(coefficient(random));
            for (auto &row : constants[m])
                for (int8_t &c : row)
                    c = static_cast<int8_t>(constant(random));
            tables.modes[m] = {coefficients[m], constants[m]};
        }
        const int lengths[] = {16, 12, 4, 3};
        for (int w = 0; w < SBR_PVC_WINDOWS; ++w) {
            std::vector<int> raw(lengths[w]);
            for (int &v : raw)
                v = weight(random);
            const int total = std::accumulate(raw.begin(), raw.end(), 0);
            for (int v : raw)
                windows[w].push_back(static_cast<int16_t>(v * 32767 / total));
            tables.windows[w] = windows[w].data();
        }
    }
};

// The double model with its own history.
struct Model {
    const TestTables &t;
    std::vector<std::vector<double>> history;
    int count = 0;
    // The predicted levels (dB) of every high band of one slot.
    std::vector<double> predict(int mode, int ns, int r, int kx, int id,
                                const std::vector<std::vector<std::complex<double>>> &slots, int firstRow)
    {
        std::vector<double> levels(3);
        for (int g = 0; g < 3; ++g) {
            const int lo = kx - (3 - g) * 8 / r, hi = lo + 8 / r;
            double e = 0;
            for (int i = firstRow; i < firstRow + r; ++i)
                for (int k = std::max(lo, 0); k < hi; ++k)
                    e += std::norm(slots[i][k]);
            levels[g] = lo < 0 || e == 0 ? -10.0 : std::max(10 * std::log10(e), -10.0);
        }
        history.insert(history.begin(), levels);
        const int window = ns == 16 ? 0 : ns == 12 ? 1 : ns == 4 ? 2 : 3;
        std::vector<double> smoothed(3);
        int at = 0;
        for (int j = 0; j < ns; ++j) {
            for (int g = 0; g < 3; ++g)
                smoothed[g] += t.windows[window][j] / 32768.0 * history[at][g];
            if (j < count)
                ++at;
        }
        count = std::min(count + 1, 15);
        const int thresholds[2][2] = {{17, 68}, {16, 52}};
        const int set = id < thresholds[mode - 1][0] ? 0 : id < thresholds[mode - 1][1] ? 1 : 2;
        const int exponents[2][4] = {{-1, -1, 0, 6}, {0, 0, 1, 7}};
        std::vector<double> bands;
        for (int b = 0; b < (mode == 1 ? 8 : 6); ++b) {
            double level = t.constants[mode - 1][id][b] * std::ldexp(1.0, exponents[mode - 1][3] - 7);
            for (int g = 0; g < 3; ++g)
                level += t.coefficients[mode - 1][set][g][b] * std::ldexp(1.0, exponents[mode - 1][g] - 6) * smoothed[g];
            bands.push_back(level);
        }
        return bands;
    }
};

struct Frame {
    std::vector<int32_t> re = std::vector<int32_t>(Rows * 64), im = re;
    int32_t *reRows[Rows], *imRows[Rows];
    std::vector<std::vector<std::complex<double>>> values; // at exponent 0
    Frame(unsigned seed, int exponent)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> level(6, 14);
        std::uniform_int_distribution<int> sign(0, 1);
        for (int i = 0; i < Rows; ++i) {
            reRows[i] = re.data() + i * 64;
            imRows[i] = im.data() + i * 64;
            values.emplace_back(64);
            for (int k = 0; k < 64; ++k) {
                reRows[i][k] = static_cast<int32_t>(std::exp2(level(random))) * (sign(random) ? 1 : -1);
                imRows[i][k] = static_cast<int32_t>(std::exp2(level(random))) * (sign(random) ? 1 : -1);
                values[i][k] = std::complex<double>(reRows[i][k], imRows[i][k]) * std::exp2(-exponent);
            }
        }
    }
};

TEST(SbrPvc, PredictedEnvelopesFollowTheDoubleModel)
{
    const TestTables tables;
    struct Case {
        const char *name;
        int mode, ns, r, kx;
    };
    // The 6-band case has its lowest group partly below band 0: it takes the floor level.
    for (const Case &c : {Case{"8 bands", 1, 16, 2, 32}, Case{"6 bands", 2, 4, 1, 20}, Case{"short window", 1, 3, 1, 40},
                          Case{"12 levels", 2, 12, 2, 28}}) {
        SbrPvcState pvc{};
        Model model{tables, {}, 0};
        uint8_t ids[SBR_PVC_SLOTS] = {0, 15, 16, 17, 51, 52, 67, 68, 100, 127, 3, 16, 17, 52, 68, 5};
        for (int frame = 0; frame < 2; ++frame) {
            const int firstSlot = frame == 0 ? 0 : 3;
            ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, c.mode, c.ns, c.r, c.kx, firstSlot, ids), 0) << c.name;
            const int exponent = 8 + frame; // group levels of about 30 to 50 dB
            Frame f(frame + 1, exponent);
            SbrDec_PvcPredictFrame(&pvc, f.reRows, f.imRows, 0, 0, exponent);
            const int bandWidth = (c.mode == 1 ? 8 : 12) / c.r, bands = c.mode == 1 ? 8 : 6;
            for (int slot = firstSlot; slot < SBR_PVC_SLOTS; ++slot) {
                int32_t energy[64];
                int8_t e[64];
                SbrDec_PvcGetEnvelope(&pvc, slot, bands * bandWidth + 3, energy, e);
                const std::vector<double> expected = model.predict(c.mode, c.ns, c.r, c.kx, ids[slot], f.values, slot * c.r);
                const double loudest = *std::max_element(expected.begin(), expected.end());
                for (int k = 0; k < bands * bandWidth + 3; ++k) {
                    const double want = expected[std::min(k / bandWidth, bands - 1)];
                    if (want < loudest - 60)
                        continue; // below the slot's common exponent's precision
                    const double got = 10 * std::log10(std::ldexp(energy[k] / 2147483648.0, e[k]));
                    ASSERT_NEAR(got, want, 0.05) << c.name << " frame " << frame << " slot " << slot << " band " << k;
                }
            }
            SbrDec_PvcEndFrame(&pvc);
            std::rotate(ids, ids + 5, ids + SBR_PVC_SLOTS);
        }
    }
}

TEST(SbrPvc, HistoryRestartsWhenTheStartBandMoves)
{
    const TestTables tables;
    const uint8_t ids[SBR_PVC_SLOTS] = {};
    SbrPvcState pvc{};
    ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 2, 32, 4, ids), 0);
    EXPECT_EQ(pvc.historyCount, 0);
    SbrDec_PvcEndFrame(&pvc);
    // Same start band: the history of the previous frame from its first slot 4 counts.
    ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 2, 32, 0, ids), 0);
    EXPECT_EQ(pvc.historyCount, 12);
    SbrDec_PvcEndFrame(&pvc);
    ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 2, 30, 0, ids), 0);
    EXPECT_EQ(pvc.historyCount, 0);
    SbrDec_PvcEndFrame(&pvc);
    // A frame without prediction in between also restarts it.
    ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 0, 16, 2, 30, 0, ids), 0);
    SbrDec_PvcEndFrame(&pvc);
    ASSERT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 2, 30, 0, ids), 0);
    EXPECT_EQ(pvc.historyCount, 0);
}

TEST(SbrPvc, InvalidSettingsAreRefused)
{
    const TestTables tables;
    uint8_t ids[SBR_PVC_SLOTS] = {};
    SbrPvcState pvc{};
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 3, 16, 2, 32, 0, ids), SBR_PVC_INVALID);
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 8, 2, 32, 0, ids), SBR_PVC_INVALID);
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 3, 32, 0, ids), SBR_PVC_INVALID);
    ids[15] = 128;
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &tables.tables, 1, 16, 2, 32, 0, ids), SBR_PVC_INVALID);
    const SbrPvcTables none{};
    ids[15] = 0;
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &none, 2, 16, 2, 32, 0, ids), SBR_PVC_INVALID);
    EXPECT_EQ(SbrDec_PvcInit(&pvc, &none, 0, 16, 2, 32, 0, ids), 0);
}

} // namespace
