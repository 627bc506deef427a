// Envelope prediction from the low band's levels.
#include "SbrPvc.h"

#include "RezTools.h"
#include "SbrPair.h"

#include <algorithm>

namespace {

using namespace sbr;

constexpr int SmoothingLengths[SBR_PVC_WINDOWS] = {16, 12, 4, 3};
constexpr int GroupWidth = 8; // QMF bands of a low-band group at one QMF slot per prediction slot
constexpr int BandWidths[2] = {8, 12};
constexpr int BandCounts[2] = {8, 6};
constexpr uint8_t Thresholds[2][2] = {{17, 68}, {16, 52}};
// Exponents of the three coefficient rows and of the constant row.
constexpr int8_t Exponents[2][SBR_PVC_GROUPS + 1] = {{-1, -1, 0, 6}, {0, 0, 1, 7}};
constexpr int32_t FloorLevel = -0x0A000000;  // -10 dB in Q24
constexpr int LevelFraction = 24;            // levels are dB in Q24
constexpr Pair DecibelsPerOctave{0x60540000, 2}; // 10 · log10(2)
constexpr int32_t Log2TenFifths = 0x550B0000;    // log2(10) / 5, halved by its exponent to log2(10) / 10
constexpr int8_t NoExponent = -100;

// 10 · log10 of the group's energy over the prediction slot, floored.
int32_t groupLevel(int32_t *const *re, int32_t *const *im, int firstRow, int rows, int lo, int hi, int exponent)
{
    if (lo < 0)
        return FloorLevel;
    unsigned __int128 total = 0;
    for (int i = firstRow; i < firstRow + rows; ++i)
        for (int k = lo; k < hi; ++k)
            total += static_cast<unsigned __int128>(int64_t{re[i][k]} * re[i][k]) +
                     static_cast<unsigned __int128>(int64_t{im[i][k]} * im[i][k]);
    if (total == 0)
        return FloorLevel;
    int e = 31 - 2 * exponent; // a sample x is worth x · 2^-exponent
    while (total > static_cast<unsigned __int128>(INT32_MAX)) {
        total >>= 1;
        ++e;
    }
    const Pair energy = normalised(static_cast<int64_t>(total), e);
    Pair log;
    log.m = RezTools_Log2(energy.m, energy.e, &log.e);
    const Pair decibels = product(log, DecibelsPerOctave);
    return std::max(shiftedWord(decibels.m, decibels.e - 31 + LevelFraction), FloorLevel);
}

} // namespace

extern "C" {

int SbrDec_PvcInit(SbrPvcState *pvc, const SbrPvcTables *tables, int mode, int smoothingLength, int r, int startBand,
                   int firstSlot, const uint8_t *ids)
{
    const int previousFirstSlot = pvc->firstSlot;
    pvc->mode = static_cast<uint8_t>(mode);
    pvc->startBand = static_cast<uint8_t>(startBand);
    pvc->timeStep = static_cast<uint8_t>(r);
    pvc->largestExponent = NoExponent;
    if (mode == 0)
        return 0;
    const int window = static_cast<int>(std::find(SmoothingLengths, SmoothingLengths + SBR_PVC_WINDOWS, smoothingLength) -
                                        SmoothingLengths);
    if (mode < 0 || mode > 2 || window == SBR_PVC_WINDOWS || (r != 1 && r != 2 && r != 4) || firstSlot < 0 ||
        firstSlot >= SBR_PVC_SLOTS || startBand < 0 || startBand >= 64)
        return SBR_PVC_INVALID;
    const SbrPvcModeTables &modeTables = tables->modes[mode - 1];
    if (!modeTables.coefficients || !modeTables.constants || !tables->windows[window])
        return SBR_PVC_INVALID;
    for (int s = firstSlot; s < SBR_PVC_SLOTS; ++s)
        if (ids[s] >= SBR_PVC_IDS)
            return SBR_PVC_INVALID;
    std::copy(ids, ids + SBR_PVC_SLOTS, pvc->ids);
    pvc->smoothingLength = static_cast<uint8_t>(smoothingLength);
    pvc->window = tables->windows[window];
    pvc->coefficients = modeTables.coefficients;
    pvc->constants = modeTables.constants;
    pvc->thresholds[0] = Thresholds[mode - 1][0];
    pvc->thresholds[1] = Thresholds[mode - 1][1];
    pvc->exponents = Exponents[mode - 1];
    const int groupWidth = GroupWidth / r, bandWidth = BandWidths[mode - 1] / r;
    for (int g = 0; g <= SBR_PVC_GROUPS; ++g)
        pvc->groupBorders[g] = startBand - (SBR_PVC_GROUPS - g) * groupWidth;
    pvc->bandCount = static_cast<uint8_t>(BandCounts[mode - 1]);
    for (int b = 0; b <= pvc->bandCount; ++b)
        pvc->bandBorders[b] = static_cast<uint8_t>(b * bandWidth);
    pvc->firstSlot = static_cast<uint8_t>(firstSlot);
    const bool continues = pvc->previousMode != 0 && pvc->previousStartBand == startBand;
    pvc->historyCount = static_cast<uint8_t>(continues ? std::clamp(SBR_PVC_SLOTS - previousFirstSlot, 0, 15) : 0);
    return 0;
}

void SbrDec_PvcPredictSlot(SbrPvcState *pvc, int32_t *const *qmfReal, int32_t *const *qmfImag, int slot, int exponent)
{
    if (pvc->mode == 0 || slot < 0 || slot >= SBR_PVC_SLOTS)
        return;
    int32_t *levels = pvc->history[pvc->historyPosition];
    for (int g = 0; g < SBR_PVC_GROUPS; ++g)
        levels[g] = groupLevel(qmfReal, qmfImag, slot * pvc->timeStep, pvc->timeStep, pvc->groupBorders[g],
                               pvc->groupBorders[g + 1], exponent);

    // Smoothing over the newest levels; while the history is short the oldest valid
    // entry stands in for the missing ones.
    int64_t smoothed[SBR_PVC_GROUPS] = {};
    int at = pvc->historyPosition;
    for (int j = 0; j < pvc->smoothingLength; ++j) {
        for (int g = 0; g < SBR_PVC_GROUPS; ++g)
            smoothed[g] += int64_t{pvc->window[j]} * pvc->history[at][g];
        if (j < pvc->historyCount)
            at = at == 0 ? SBR_PVC_SLOTS - 1 : at - 1;
    }

    const int id = pvc->ids[slot];
    const int set = id < pvc->thresholds[0] ? 0 : id < pvc->thresholds[1] ? 1 : 2;
    Pair energy[SBR_PVC_MAX_BANDS];
    int largest = INT8_MIN;
    for (int b = 0; b < pvc->bandCount; ++b) {
        int64_t level = int64_t{pvc->constants[id][b]} * (int64_t{1} << (pvc->exponents[SBR_PVC_GROUPS] + 17));
        for (int g = 0; g < SBR_PVC_GROUPS; ++g) {
            const int64_t term = (int64_t{pvc->coefficients[set][g][b]} * (smoothed[g] >> 15)) >> 7;
            level += term * (int64_t{1} << (pvc->exponents[g] + 1)); // exponents from -1 on
        }
        // 10^(level / 10) = 2^(level · log2(10) / 10).
        energy[b].m = RezTools_Exp2OfProduct(saturatedWord(level), 31 - LevelFraction, Log2TenFifths, -1, &energy[b].e);
        largest = std::max(largest, energy[b].e);
    }
    for (int b = 0; b < pvc->bandCount; ++b)
        pvc->energy[slot][b] = largest - energy[b].e >= 31 ? 0 : energy[b].m >> (largest - energy[b].e);
    pvc->energyExponent[slot] = static_cast<int8_t>(std::clamp(largest, -127, 127));
    pvc->largestExponent = std::max(pvc->largestExponent, pvc->energyExponent[slot]);

    pvc->historyPosition = static_cast<uint8_t>((pvc->historyPosition + 1) % SBR_PVC_SLOTS);
    pvc->historyCount = static_cast<uint8_t>(std::min(pvc->historyCount + 1, 15));
}

void SbrDec_PvcPredictFrame(SbrPvcState *pvc, int32_t *const *qmfReal, int32_t *const *qmfImag, int firstCurrentSlot,
                            int overlapExponent, int currentExponent)
{
    for (int slot = pvc->firstSlot; slot < SBR_PVC_SLOTS; ++slot)
        SbrDec_PvcPredictSlot(pvc, qmfReal, qmfImag, slot,
                              slot * pvc->timeStep < firstCurrentSlot ? overlapExponent : currentExponent);
}

void SbrDec_PvcEndFrame(SbrPvcState *pvc)
{
    pvc->previousMode = pvc->mode;
    pvc->previousStartBand = pvc->startBand;
    if (pvc->mode != 0)
        pvc->previousLargestExponent = pvc->largestExponent;
}

void SbrDec_PvcGetEnvelope(const SbrPvcState *pvc, int slot, int count, int32_t *energy, int8_t *exponent)
{
    if (slot < 0 || slot >= SBR_PVC_SLOTS || pvc->bandCount == 0)
        return;
    int b = 0;
    for (int k = 0; k < count; ++k) {
        while (b + 1 < pvc->bandCount && k >= pvc->bandBorders[b + 1])
            ++b;
        energy[k] = pvc->energy[slot][b];
        exponent[k] = pvc->energyExponent[slot];
    }
}

} // extern "C"
