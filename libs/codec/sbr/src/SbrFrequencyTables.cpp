// SBR frequency band tables. Computed in double precision: every quantity is rounded
// to whole QMF channels, and the rounding points lie far from where double
// precision could tip them.
#include "SbrFrequencyTables.h"
#include "SbrStartFrequency_tables.h"

#include <math.h>
#include <string.h>

namespace {

constexpr int Unsupported = SBR_BANDS_UNSUPPORTED;
constexpr int QmfChannels = 64;
// Above this ratio of stop to start the master table has a second, coarser region.
constexpr double TwoRegionRatio = 2.2449;
constexpr double SecondRegionWarp = 1.3;
// The stop-frequency codes step through a 13-band logarithmic split up to channel 64.
constexpr int StopSplitBands = 13;

int roundHalfUp(double x) { return static_cast<int>(floor(x + 0.5)); }

void sortAscending(int *values, int count)
{
    // Shell sort with the gaps 1, 4, 13, ...
    int gap = 1;
    while (gap < count / 3)
        gap = 3 * gap + 1;
    for (; gap > 0; gap /= 3)
        for (int i = gap; i < count; ++i) {
            const int v = values[i];
            int j = i;
            for (; j >= gap && values[j - gap] > v; j -= gap)
                values[j] = values[j - gap];
            values[j] = v;
        }
}

// Widths of count bands between start and end whose edges are spaced evenly on a
// logarithmic scale (each edge rounded to a channel), sorted ascending.
void logarithmicSplit(int start, int end, int count, int *widths)
{
    const double ratio = pow(static_cast<double>(start) / end, 1.0 / count);
    double edge = end;
    int upper = end;
    for (int i = count - 1; i >= 0; --i) {
        edge *= ratio;
        const int lower = i == 0 ? start : roundHalfUp(edge);
        widths[i] = upper - lower;
        upper = lower;
    }
    sortAscending(widths, count);
}

int startChannel(uint32_t rate, int code)
{
    for (int r = 0; r < 9; ++r)
        if (SbrDec_StartRates[r] == rate) {
            const double lowest = rate < 32000 ? 3000.0 : (rate < 64000 ? 4000.0 : 5000.0);
            return roundHalfUp(lowest * 2 * QmfChannels / rate) + SbrDec_StartOffsets[r][code];
        }
    return -1;
}

int stopChannel(uint32_t rate, int code, int k0)
{
    if (code == 14)
        return 2 * k0 < QmfChannels ? 2 * k0 : QmfChannels;
    if (code == 15)
        return 3 * k0 < QmfChannels ? 3 * k0 : QmfChannels;
    const double lowest = rate < 32000 ? 6000.0 : (rate < 64000 ? 8000.0 : 10000.0);
    const int stopMin = roundHalfUp(lowest * 2 * QmfChannels / rate);
    int widths[StopSplitBands];
    logarithmicSplit(stopMin, QmfChannels, StopSplitBands, widths);
    int k2 = stopMin;
    for (int p = 0; p < code; ++p)
        k2 += widths[p];
    return k2 < QmfChannels ? k2 : QmfChannels;
}

bool rangeAllowed(const SbrBandRequest &r, int k0, int k2)
{
    const int range = k2 - k0;
    if (range <= 0 || range >= 57)
        return false;
    if (r.extendedSyntax)
        return !(r.sbrRate >= 46009 ? range > 32 : (r.sbrRate >= 42000 && range > 35));
    return !(r.sbrRate >= 48000 ? range > 32 : (r.sbrRate == 44100 && range > 35));
}

// Master band widths for a logarithmic scale; returns the band count, 0 unsupported.
int logarithmicWidths(const SbrBandRequest &r, int k0, int k2, int *widths)
{
    static constexpr int BandsPerOctave[3] = {12, 10, 8};
    const int bands = BandsPerOctave[r.frequencyScale - 1];
    const bool twoRegions = k2 > TwoRegionRatio * k0;
    const int k1 = twoRegions ? 2 * k0 : k2;
    const int count0 = 2 * roundHalfUp(bands * log2(static_cast<double>(k1) / k0) / 2);
    if (count0 <= 0)
        return 0;
    logarithmicSplit(k0, k1, count0, widths);
    if (!twoRegions)
        return count0;
    const double warp = r.alterScale ? SecondRegionWarp : 1.0;
    const int count1 = 2 * roundHalfUp(bands * log2(static_cast<double>(k2) / k1) / (2 * warp));
    if (count1 <= 0 || count0 + count1 > SBR_MAX_MASTER_BANDS)
        return 0;
    int *second = widths + count0;
    logarithmicSplit(k1, k2, count1, second);
    // The second region must not start with bands narrower than the first one ends with.
    if (second[0] < widths[count0 - 1]) {
        const int needed = widths[count0 - 1] - second[0];
        const int spare = (second[count1 - 1] - second[0]) / 2;
        const int change = needed < spare ? needed : spare;
        second[0] += change;
        second[count1 - 1] -= change;
        sortAscending(second, count1);
    }
    return count0 + count1;
}

// Master band widths for a linear scale; returns the band count, 0 unsupported.
int linearWidths(const SbrBandRequest &r, int k0, int k2, int *widths)
{
    const int width = r.alterScale ? 2 : 1;
    const int count = r.alterScale ? 2 * roundHalfUp((k2 - k0) / 4.0) : 2 * ((k2 - k0) / 2);
    if (count <= 0 || count > SBR_MAX_MASTER_BANDS)
        return 0;
    for (int i = 0; i < count; ++i)
        widths[i] = width;
    // The remainder is worked off a channel at a time: too wide narrows from the first
    // band on, too narrow widens from the last band back.
    int remainder = k2 - k0 - count * width;
    for (int k = 0; remainder < 0 && k < count; ++k, ++remainder)
        --widths[k];
    for (int k = count - 1; remainder > 0 && k >= 0; --k, --remainder)
        ++widths[k];
    return remainder == 0 ? count : 0;
}

} // namespace

extern "C" {

uint32_t SbrDec_MapRate(uint32_t rate, int extendedSyntax)
{
    struct Step {
        uint32_t threshold, rate;
    };
    static constexpr Step Plain[] = {{92017, 96000}, {75132, 88200}, {55426, 64000}, {46009, 48000},
                                     {37566, 44100}, {27713, 32000}, {23004, 24000}, {18783, 22050},
                                     {13856, 16000}, {11502, 12000}, {9391, 11025}, {0, 8000}};
    static constexpr Step Extended[] = {{92017, 96000}, {75132, 88200}, {55426, 64000}, {46009, 48000},
                                        {42000, 44100}, {35777, 40000}, {27713, 32000}, {23004, 24000},
                                        {18783, 22050}, {0, 16000}};
    const Step *steps = extendedSyntax ? Extended : Plain;
    for (int i = 0;; ++i)
        if (rate >= steps[i].threshold)
            return steps[i].rate;
}

int SbrDec_BuildBandTables(const SbrBandRequest *request, SbrBandTables *tables)
{
    const SbrBandRequest &r = *request;
    // 4:1 mode needs start offsets of its own, which this decoder does not carry.
    if (r.quadRate || r.startFrequency > 15 || r.stopFrequency > 15 || r.frequencyScale > 3 || r.noiseBands > 3)
        return Unsupported;
    const int k0 = startChannel(r.sbrRate, r.startFrequency);
    if (k0 < 0)
        return Unsupported;
    const int k2 = stopChannel(r.sbrRate, r.stopFrequency, k0);
    if (!rangeAllowed(r, k0, k2))
        return Unsupported;

    int widths[SBR_MAX_MASTER_BANDS];
    const int masterCount = r.frequencyScale ? logarithmicWidths(r, k0, k2, widths) : linearWidths(r, k0, k2, widths);
    if (masterCount == 0)
        return Unsupported;
    SbrBandTables t = *tables;
    t.master[0] = static_cast<uint8_t>(k0);
    for (int i = 0; i < masterCount; ++i) {
        // A band without width would divide by zero further on.
        if (widths[i] <= 0)
            return Unsupported;
        t.master[i + 1] = static_cast<uint8_t>(t.master[i] + widths[i]);
    }
    t.masterCount = static_cast<uint8_t>(masterCount);

    if (r.crossoverBand > masterCount)
        return Unsupported;
    const int highCount = masterCount - r.crossoverBand;
    const int lowCount = highCount - highCount / 2;
    const int lowLimit = r.coreQmfBands == 16 ? 28 : 24;
    if (lowCount == 0 || lowCount > lowLimit)
        return Unsupported;
    memcpy(t.high, t.master + r.crossoverBand, static_cast<size_t>(highCount) + 1);
    t.highCount = static_cast<uint8_t>(highCount);
    const int odd = highCount & 1;
    t.low[0] = t.high[0];
    for (int k = 1; k <= lowCount; ++k)
        t.low[k] = t.high[2 * k - odd];
    t.lowCount = static_cast<uint8_t>(lowCount);
    const int kx = t.high[0], endBand = t.high[highCount];
    if (kx > 32 || kx >= endBand)
        return Unsupported;

    int noiseCount = 1;
    if (r.noiseBands) {
        noiseCount = roundHalfUp(r.noiseBands * log2(static_cast<double>(endBand) / kx));
        noiseCount = noiseCount < 1 ? 1 : noiseCount;
    }
    if (noiseCount > SBR_MAX_NOISE_BANDS)
        return Unsupported;
    int index = 0;
    t.noise[0] = t.low[0];
    for (int k = 1; k <= noiseCount; ++k) {
        index += (lowCount - index) / (noiseCount + 1 - k);
        t.noise[k] = t.low[index];
    }
    t.noiseCount = static_cast<uint8_t>(noiseCount);
    t.previousEndBand = tables->endBand;
    t.kx = static_cast<uint8_t>(kx);
    t.endBand = static_cast<uint8_t>(endBand);
    *tables = t;
    return 0;
}

} // extern "C"
