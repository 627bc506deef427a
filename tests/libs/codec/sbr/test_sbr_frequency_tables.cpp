// SBR frequency band tables: every header at every SBR rate against a double-precision
// model that follows the standard's formulas step by step, the start channels against
// known rows, and the edges that decide between tables and "unsupported".
#include "SbrFrequencyTables.h"
#include "SbrStartFrequency_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

int nint(double x) { return static_cast<int>(std::floor(x + 0.5)); }

// The lowest start (kind 0) or stop (kind 1) channel of a rate.
int lowestChannel(uint32_t rate, int kind)
{
    const double hz[2][3] = {{3000, 4000, 5000}, {6000, 8000, 10000}};
    const int rateClass = rate < 32000 ? 0 : (rate < 64000 ? 1 : 2);
    return nint(hz[kind][rateClass] * 128 / rate);
}

struct Model {
    bool supported = false;
    std::vector<int> master, high, low, noise;
};

std::vector<int> edges(int first, const std::vector<int> &widths)
{
    std::vector<int> out{first};
    for (int w : widths)
        out.push_back(out.back() + w);
    return out;
}

// Widths of numBands bands from a to b: NINT(a (b/a)^((k+1)/n)) - NINT(a (b/a)^(k/n)), sorted.
std::vector<int> logWidths(int a, int b, int numBands)
{
    std::vector<int> dk(numBands);
    for (int k = 0; k < numBands; ++k)
        dk[k] = nint(a * std::pow(double(b) / a, double(k + 1) / numBands)) -
                nint(a * std::pow(double(b) / a, double(k) / numBands));
    std::sort(dk.begin(), dk.end());
    return dk;
}

Model model(uint32_t fs, int k0, const SbrBandRequest &h)
{
    Model m;
    int k2;
    if (h.stopFrequency == 15)
        k2 = std::min(64, 3 * k0);
    else if (h.stopFrequency == 14)
        k2 = std::min(64, 2 * k0);
    else {
        const int stopMin = lowestChannel(fs, 1);
        const std::vector<int> stopDk = logWidths(stopMin, 64, 13);
        k2 = stopMin;
        for (int p = 0; p < h.stopFrequency; ++p)
            k2 += stopDk[p];
        k2 = std::min(64, k2);
    }
    if (k2 - k0 <= 0 || k2 - k0 >= 57 || (fs == 44100 && k2 - k0 > 35) || (fs >= 48000 && k2 - k0 > 32))
        return m;

    std::vector<int> vDk;
    if (h.frequencyScale == 0) {
        const int dk = h.alterScale ? 2 : 1;
        const int numBands = h.alterScale ? 2 * nint((k2 - k0) / 4.0) : 2 * ((k2 - k0) / 2);
        if (numBands == 0)
            return m;
        vDk.assign(numBands, dk);
        int k2Diff = k2 - (k0 + numBands * dk);
        int incr = k2Diff < 0 ? 1 : -1, k = k2Diff < 0 ? 0 : numBands - 1;
        while (k2Diff != 0) {
            vDk[k] -= incr;
            k += incr;
            k2Diff += incr;
        }
    } else {
        const int bands = 14 - 2 * h.frequencyScale;
        const double warp = h.alterScale ? 1.3 : 1.0;
        const bool twoRegions = double(k2) / k0 > 2.2449;
        const int k1 = twoRegions ? 2 * k0 : k2;
        const int numBands0 = 2 * nint(bands * std::log(double(k1) / k0) / (2 * std::log(2.0)));
        if (numBands0 <= 0)
            return m;
        vDk = logWidths(k0, k1, numBands0);
        if (twoRegions) {
            const int numBands1 = 2 * nint(bands * std::log(double(k2) / k1) / (2 * std::log(2.0) * warp));
            std::vector<int> vDk1 = logWidths(k1, k2, numBands1);
            if (vDk1[0] < vDk.back()) {
                const int change = std::min(vDk.back() - vDk1[0], (vDk1.back() - vDk1[0]) / 2);
                vDk1[0] += change;
                vDk1.back() -= change;
                std::sort(vDk1.begin(), vDk1.end());
            }
            vDk.insert(vDk.end(), vDk1.begin(), vDk1.end());
        }
    }
    if (vDk.size() > 64 || *std::min_element(vDk.begin(), vDk.end()) <= 0)
        return m;
    m.master = edges(k0, vDk);
    const int nMaster = static_cast<int>(vDk.size());
    if (h.crossoverBand > nMaster)
        return m;
    m.high.assign(m.master.begin() + h.crossoverBand, m.master.end());
    const int nHigh = nMaster - h.crossoverBand;
    const int nLow = nHigh / 2 + (nHigh - 2 * (nHigh / 2));
    if (nLow == 0 || nLow > (h.coreQmfBands == 16 ? 28 : 24))
        return m;
    for (int k = 0; k <= nLow; ++k)
        m.low.push_back(m.high[k == 0 ? 0 : 2 * k - nHigh % 2]);
    const int kx = m.high[0];
    if (kx > 32 || kx >= k2)
        return m;
    int nQ = h.noiseBands == 0 ? 1 : std::max(1, nint(h.noiseBands * std::log(double(k2) / kx) / std::log(2.0)));
    if (nQ > 5)
        return m;
    int i = 0;
    for (int k = 0; k <= nQ; ++k) {
        if (k > 0)
            i += (nLow - i) / (nQ + 1 - k);
        m.noise.push_back(m.low[i]);
    }
    m.supported = true;
    return m;
}

std::vector<int> asVector(const uint8_t *edges, int count) { return std::vector<int>(edges, edges + count + 1); }

TEST(SbrFrequencyTables, EveryHeaderAtEveryRateMatchesTheModel)
{
    int supported = 0;
    for (int r = 0; r < 9; ++r) {
        const uint32_t fs = SbrDec_StartRates[r];
        for (int start = 0; start < 16; ++start) {
            const int k0 = lowestChannel(fs, 0) + SbrDec_StartOffsets[r][start];
            for (int code = 0; code < 16 * 4 * 2 * 4 * 8 * 2; ++code) {
                SbrBandRequest h{};
                h.sbrRate = fs;
                h.startFrequency = static_cast<uint8_t>(start);
                h.stopFrequency = static_cast<uint8_t>(code % 16);
                h.frequencyScale = static_cast<uint8_t>(code / 16 % 4);
                h.alterScale = static_cast<uint8_t>(code / 64 % 2);
                h.noiseBands = static_cast<uint8_t>(code / 128 % 4);
                h.crossoverBand = static_cast<uint8_t>(code / 512 % 8);
                h.coreQmfBands = code / 4096 ? 16 : 32;
                const Model m = model(fs, k0, h);
                SbrBandTables t{};
                const int result = SbrDec_BuildBandTables(&h, &t);
                const auto where = [&] {
                    return testing::Message() << fs << " Hz start " << start << " stop " << int(h.stopFrequency)
                                              << " scale " << int(h.frequencyScale) << " alter "
                                              << int(h.alterScale) << " noise " << int(h.noiseBands) << " xover "
                                              << int(h.crossoverBand) << " core bands " << int(h.coreQmfBands);
                };
                ASSERT_EQ(result, m.supported ? 0 : SBR_BANDS_UNSUPPORTED) << where();
                if (!m.supported)
                    continue;
                ++supported;
                ASSERT_EQ(asVector(t.master, t.masterCount), m.master) << where();
                ASSERT_EQ(asVector(t.high, t.highCount), m.high) << where();
                ASSERT_EQ(asVector(t.low, t.lowCount), m.low) << where();
                ASSERT_EQ(asVector(t.noise, t.noiseCount), m.noise) << where();
                ASSERT_EQ(t.kx, m.high.front()) << where();
                ASSERT_EQ(t.endBand, m.high.back()) << where();
            }
        }
    }
    EXPECT_GT(supported, 100000);
}

TEST(SbrFrequencyTables, StartChannelsOfTheRates)
{
    const int rows[2][16] = {{8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 23, 25, 28, 32},
                             {7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 22, 24, 27, 31}};
    const uint32_t rates[2] = {44100, 48000};
    for (int i = 0; i < 2; ++i)
        for (int code = 0; code < 16; ++code) {
            SbrBandRequest h{};
            h.sbrRate = rates[i];
            h.startFrequency = static_cast<uint8_t>(code);
            h.stopFrequency = 15; // 3 k0: always a range above the start
            h.frequencyScale = 0;
            h.crossoverBand = 0;
            h.coreQmfBands = 32;
            SbrBandTables t{};
            if (SbrDec_BuildBandTables(&h, &t) == 0) {
                EXPECT_EQ(t.master[0], rows[i][code]) << rates[i] << " Hz code " << code;
            }
            EXPECT_EQ(lowestChannel(rates[i], 0) + SbrDec_StartOffsets[i + 4][code], rows[i][code]);
        }
    // Every row rises strictly and stays within the channels SBR may start at.
    for (int r = 0; r < 9; ++r) {
        for (int code = 1; code < 16; ++code)
            EXPECT_GT(SbrDec_StartOffsets[r][code], SbrDec_StartOffsets[r][code - 1]) << SbrDec_StartRates[r];
        const int lowest = lowestChannel(SbrDec_StartRates[r], 0);
        EXPECT_GE(lowest + SbrDec_StartOffsets[r][0], 1);
        EXPECT_LE(lowest + SbrDec_StartOffsets[r][15], 32);
    }
}

SbrBandTables build(uint32_t rate, int start, int stop, int scale, int alter, int noise, int xover, int *result)
{
    SbrBandRequest h{};
    h.sbrRate = rate;
    h.startFrequency = static_cast<uint8_t>(start);
    h.stopFrequency = static_cast<uint8_t>(stop);
    h.frequencyScale = static_cast<uint8_t>(scale);
    h.alterScale = static_cast<uint8_t>(alter);
    h.noiseBands = static_cast<uint8_t>(noise);
    h.crossoverBand = static_cast<uint8_t>(xover);
    h.coreQmfBands = 32;
    SbrBandTables t{};
    *result = SbrDec_BuildBandTables(&h, &t);
    return t;
}

TEST(SbrFrequencyTables, EdgesBetweenTablesAndUnsupported)
{
    int result;
    // 48 kHz: no range wider than 32 channels, whatever start and stop.
    for (int start = 0; start < 16; ++start)
        for (int stop = 0; stop < 16; ++stop) {
            const SbrBandTables t = build(48000, start, stop, 2, 1, 2, 0, &result);
            if (result == 0) {
                EXPECT_LE(t.endBand - t.master[0], 32) << start << " " << stop;
            }
        }
    // 48 kHz start 5 is channel 13: stop 14 doubles it, stop 15 triples it.
    SbrBandTables t = build(48000, 5, 14, 0, 0, 1, 0, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(t.endBand, 26);
    t = build(48000, 5, 15, 0, 0, 1, 0, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(t.endBand, 39);
    // 44.1 kHz start 15 is channel 32: tripled it would pass 64, doubled it is exactly 64.
    t = build(44100, 15, 14, 1, 0, 2, 0, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(t.endBand, 64);
    // A crossover at the master count leaves no band; one beyond it is refused as well.
    int masterCount = 0;
    for (int stop = 0; stop < 14 && !masterCount; ++stop) {
        t = build(48000, 13, stop, 3, 0, 2, 0, &result);
        if (result == 0 && t.masterCount < 7)
            masterCount = t.masterCount;
    }
    ASSERT_GT(masterCount, 0);
    for (int xover : {masterCount, masterCount + 1}) {
        bool refused = true;
        for (int stop = 0; stop < 14; ++stop) {
            const SbrBandTables small = build(48000, 13, stop, 3, 0, 2, 0, &result);
            if (result == 0 && small.masterCount == masterCount) {
                build(48000, 13, stop, 3, 0, 2, xover, &result);
                refused = refused && result == SBR_BANDS_UNSUPPORTED;
            }
        }
        EXPECT_TRUE(refused) << "crossover " << xover << " of " << masterCount;
    }
    // A narrow range gives one noise band even where its logarithm rounds to 0.
    bool narrowSeen = false;
    for (int stop = 0; stop < 14; ++stop) {
        t = build(48000, 15, stop, 0, 0, 1, 0, &result);
        if (result == 0 && std::log2(double(t.endBand) / t.kx) < 0.5) {
            narrowSeen = true;
            EXPECT_EQ(t.noiseCount, 1) << "stop " << stop;
        }
    }
    EXPECT_TRUE(narrowSeen);
    // A rate without start channels, and 4:1 mode.
    build(40000, 5, 9, 0, 0, 2, 0, &result);
    EXPECT_EQ(result, SBR_BANDS_UNSUPPORTED);
    SbrBandRequest quad{};
    quad.sbrRate = 48000;
    quad.quadRate = 1;
    EXPECT_EQ(SbrDec_BuildBandTables(&quad, &t), SBR_BANDS_UNSUPPORTED);
}

TEST(SbrFrequencyTables, FailureKeepsTheTablesAndSuccessRemembersTheEndBand)
{
    SbrBandRequest h{};
    h.sbrRate = 48000;
    h.startFrequency = 5;
    h.stopFrequency = 9;
    h.noiseBands = 2;
    h.coreQmfBands = 32;
    SbrBandTables t{};
    ASSERT_EQ(SbrDec_BuildBandTables(&h, &t), 0);
    const SbrBandTables before = t;
    h.crossoverBand = static_cast<uint8_t>(t.masterCount < 7 ? t.masterCount + 1 : 7);
    h.stopFrequency = 15;
    h.startFrequency = 15; // 31..64 would be wider than 32 channels
    EXPECT_EQ(SbrDec_BuildBandTables(&h, &t), SBR_BANDS_UNSUPPORTED);
    EXPECT_EQ(memcmp(&before, &t, sizeof t), 0);
    h.crossoverBand = 0;
    h.startFrequency = 5;
    h.stopFrequency = 14;
    ASSERT_EQ(SbrDec_BuildBandTables(&h, &t), 0);
    EXPECT_EQ(t.previousEndBand, before.endBand);
}

TEST(SbrFrequencyTables, RatesMapToTheirStandardRate)
{
    const struct {
        uint32_t rate;
        int extended;
        uint32_t expected;
    } rows[] = {
        {48000, 0, 48000}, {46009, 0, 48000}, {46008, 0, 44100}, {37566, 0, 44100}, {37565, 0, 32000},
        {32000, 0, 32000}, {9391, 0, 11025},  {9390, 0, 8000},   {96000, 0, 96000}, {200000, 0, 96000},
        {40000, 1, 40000}, {35777, 1, 40000}, {35776, 1, 32000}, {42000, 1, 44100}, {18782, 1, 16000},
        {8000, 1, 16000},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SbrDec_MapRate(row.rate, row.extended), row.expected) << row.rate << " extended " << row.extended;
}

} // namespace
