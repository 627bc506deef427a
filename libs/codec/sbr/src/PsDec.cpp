// Parametric stereo: hybrid analysis of the mono slot, its decorrelated copy, a 2 x 2
// mixing matrix per processing band, hybrid synthesis of both channels.
#include "PsDec.h"
#include "PsDec_tables.h"

#include "RezTools.h"

#include <string.h>

namespace {

constexpr int HybridMode = 0;      // 6 + 2 + 2 sub-bands of QMF bands 0..2
constexpr int HybridFilterWords = 13 * 3 * 2;
constexpr int HybridDelayWords = (2 * PS_QMF_BANDS - 2 * 3) * 6;
constexpr int32_t Sqrt1Half = 0x5A82799A; // 1/sqrt(2), Q31
constexpr int32_t UnityQ30 = 1 << 30;

// Processing band b covers hybrid bands [ProcessingBorders[b], ProcessingBorders[b + 1])
// and takes the parameters of parameter band ProcessingToParameter[b].
constexpr uint8_t ProcessingBorders[PS_PROCESSING_BANDS + 1] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                                                12, 13, 14, 15, 16, 18, 21, 25, 30, 42, 71};
constexpr uint8_t ProcessingToParameter[PS_PROCESSING_BANDS] = {0, 0, 1, 1, 2,  3,  4,  5,  6,  7,  8,
                                                                9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};

enum Coefficient { H11, H12, H21, H22, Coefficients };

inline int32_t mulQ31(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} * b) >> 31); }

inline int32_t saturate(int64_t x)
{
    return x > INT32_MAX ? INT32_MAX : (x < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(x));
}

inline int clamp(int x, int low, int high) { return x < low ? low : (x > high ? high : x); }

} // namespace

struct PsDecInstance
{
    int8_t timeSlots;
    uint8_t qmfBands;
    RezHybridAnalysis analysis;
    RezHybridSynthesis synthesis[2];
    int32_t hybridFilterState[HybridFilterWords];
    int32_t hybridDelay[HybridDelayWords];
    RezDecorrelator decorrelator;
    int32_t decorrelatorState[REZ_DECORRELATOR_MIN_WORDS];
    int32_t mixing[Coefficients][PS_PROCESSING_BANDS];    // Q30
    int32_t target[Coefficients][PS_PROCESSING_BANDS];    // Q30
    int32_t increment[Coefficients][PS_PROCESSING_BANDS]; // Q30 per slot
    int32_t slotsToTarget;
    uint8_t start; // the next run primes the hybrid analysis first
    // One record per frame slot; `previous` is the slot applied next, `current` the one
    // parsed into.
    PsData data[2];
    uint8_t dataPresent[2];
    uint8_t previous, current;
    uint8_t ranBefore;
    // The last envelope's steps of the last frame, in 20 bands, and whether they exist.
    int8_t lastIid[PS_PARAMETER_BANDS];
    int8_t lastIcc[PS_PARAMETER_BANDS];
    uint8_t lastFine;
};

namespace {

int setUp(PsDecInstance *ps, int frameLength)
{
    ps->timeSlots = static_cast<int8_t>(frameLength / PS_QMF_BANDS * 2);
    ps->qmfBands = PS_QMF_BANDS;
    RezTools_HybridAnalysisOpen(&ps->analysis, ps->hybridFilterState, sizeof ps->hybridFilterState,
                                ps->hybridDelay, sizeof ps->hybridDelay);
    if (RezTools_HybridAnalysisInit(&ps->analysis, HybridMode, PS_QMF_BANDS, PS_QMF_BANDS, 1) != 0)
        return -1;
    for (RezHybridSynthesis &s : ps->synthesis)
        if (RezTools_HybridSynthesisInit(&s, HybridMode, PS_QMF_BANDS, PS_QMF_BANDS) != 0)
            return -1;
    if (RezTools_DecorrelatorOpen(&ps->decorrelator, ps->decorrelatorState, REZ_DECORRELATOR_MIN_WORDS) != 0 ||
        RezTools_DecorrelatorInit(&ps->decorrelator, PS_HYBRID_BANDS, 1, 0, 0, 0, 0, 0, 1, 1) != 0)
        return -1;
    for (int b = 0; b < PS_PROCESSING_BANDS; ++b) {
        ps->mixing[H11][b] = ps->target[H11][b] = UnityQ30;
        ps->mixing[H12][b] = ps->target[H12][b] = 0;
        ps->mixing[H21][b] = ps->target[H21][b] = 0;
        ps->mixing[H22][b] = ps->target[H22][b] = UnityQ30;
        for (int c = 0; c < Coefficients; ++c)
            ps->increment[c][b] = 0;
    }
    ps->slotsToTarget = 0;
    ps->start = 1;
    memset(ps->data, 0, sizeof ps->data);
    memset(ps->dataPresent, 0, sizeof ps->dataPresent);
    // The frame before the first one counts as parsed into slot 1, without data: with two
    // slots the first frame applied is then the empty one, as the SBR element's.
    ps->previous = ps->current = 1;
    ps->ranBefore = 0;
    memset(ps->lastIid, 0, sizeof ps->lastIid);
    memset(ps->lastIcc, 0, sizeof ps->lastIcc);
    ps->lastFine = 0;
    return 0;
}

// The slot at the common exponent, as the hybrid analysis takes it.
void scaleSlot(const int32_t *in, int32_t *out, const PsSlotScaling &scaling)
{
    constexpr int Split = 3;
    const int lowEnd = clamp(scaling.lowEnd, Split, PS_QMF_BANDS);
    const int highEnd = clamp(scaling.highEnd, lowEnd, PS_QMF_BANDS);
    RezTools_ScaleCopySaturated(out, in, Split, clamp(scaling.lowestShift, -31, 31));
    RezTools_ScaleCopySaturated(out + Split, in + Split, lowEnd - Split, clamp(scaling.lowShift, -31, 31));
    RezTools_ScaleCopySaturated(out + lowEnd, in + lowEnd, highEnd - lowEnd, clamp(scaling.highShift, -31, 31));
    memcpy(out + highEnd, in + highEnd, sizeof(int32_t) * static_cast<size_t>(PS_QMF_BANDS - highEnd));
}

constexpr int BandsOfClass[2] = {10, 20};

// Decodes one parameter of every envelope into 20 bands. Deltas run across bands from
// 0, or along time from the previous envelope (the first from the last frame's values);
// every value is clamped to [low, high]. The last envelope's values become *last.
void decodeParameter(const int8_t (*deltas)[PS_MAX_BANDS], const uint8_t *timeDirection, int bandClass, int low,
                     int high, int envelopes, int8_t *last, int8_t (*out)[PS_PARAMETER_BANDS])
{
    const int bands = BandsOfClass[bandClass];
    const int spread = PS_PARAMETER_BANDS / bands; // ten-band values cover two bands each
    const int8_t *previous = last;
    for (int e = 0; e < envelopes; ++e) {
        int value = 0;
        for (int b = 0; b < bands; ++b) {
            const int base = timeDirection[e] ? previous[spread * b] : (b == 0 ? 0 : value);
            value = clamp(base + deltas[e][b], low, high);
            for (int i = 0; i < spread; ++i)
                out[e][spread * b + i] = static_cast<int8_t>(value);
        }
        previous = out[e];
    }
    if (envelopes > 0)
        memcpy(last, out[envelopes - 1], PS_PARAMETER_BANDS);
}

} // namespace

extern "C" {

void PsDec_SetFrameSlots(PsDecHandle ps, int slot)
{
    if (!ps || slot < 0 || slot > 1)
        return;
    ps->previous = ps->current;
    ps->current = static_cast<uint8_t>(slot);
    if (ps->current != ps->previous)
        ps->data[ps->current] = ps->data[ps->previous];
    ps->dataPresent[ps->current] = 0;
}

PsData *PsDec_DataRecord(PsDecHandle ps) { return ps ? &ps->data[ps->current] : nullptr; }

void PsDec_DataRead(PsDecHandle ps)
{
    if (ps)
        ps->dataPresent[ps->current] = 1;
}

void PsDec_FrameDone(PsDecHandle ps, int ran)
{
    if (!ps)
        return;
    ps->ranBefore = ran != 0;
    ps->dataPresent[ps->previous] = 0;
    if (!ran)
        ps->start = 1;
}

int PsDec_Prime(PsDecHandle ps, const int32_t *const *re, const int32_t *const *im, const PsSlotScaling *scaling)
{
    if (!ps || !re || !im || !scaling)
        return -1;
    if (!ps->start)
        return 0;
    // Whatever an earlier run left in the filters belongs to another stretch of signal.
    if (RezTools_HybridAnalysisInit(&ps->analysis, HybridMode, PS_QMF_BANDS, PS_QMF_BANDS, 1) != 0)
        return -1;
    for (int slot = 0; slot < PS_PRIMING_SLOTS; ++slot) {
        if (!re[slot] || !im[slot])
            return -1;
        int32_t inRe[PS_QMF_BANDS], inIm[PS_QMF_BANDS], outRe[PS_HYBRID_BANDS], outIm[PS_HYBRID_BANDS];
        scaleSlot(re[slot], inRe, *scaling);
        scaleSlot(im[slot], inIm, *scaling);
        if (RezTools_HybridAnalysisApply(&ps->analysis, inRe, inIm, outRe, outIm) != 0)
            return -1;
    }
    ps->start = 0;
    return 1;
}

int PsDec_PrepareFrame(PsDecHandle ps, int frameError, PsFrameParameters *out)
{
    if (!ps || !out)
        return 0;
    PsData &d = ps->data[ps->previous];
    const bool present = ps->dataPresent[ps->previous] != 0;
    const bool usable = !frameError && present && d.enabled;
    if (!ps->ranBefore && !usable)
        return 0;
    if (ps->ranBefore && !frameError && !present) {
        d.enabled = 0;
        return 0;
    }
    // A lost frame, or data without PS switched on, has no envelopes: the last values hold.
    int envelopes = usable ? clamp(d.envelopes, 0, PS_MAX_ENVELOPES) : 0;
    const int slots = ps->timeSlots;
    memset(out, 0, sizeof *out);
    if (usable) {
        const bool iid = d.enableIid && d.iidMode < 6 && d.iidBandClass < 2;
        const bool icc = d.enableIcc && d.iccMode < 6 && d.iccBandClass < 2;
        if (iid) {
            if (d.fineIid != ps->lastFine) // the held values were steps of the other grid
                memset(ps->lastIid, 0, sizeof ps->lastIid);
            decodeParameter(d.iid, d.iidTime, d.iidBandClass, d.fineIid ? -15 : -7, d.fineIid ? 15 : 7, envelopes,
                            ps->lastIid, out->iid);
            ps->lastFine = d.fineIid;
        } else {
            memset(ps->lastIid, 0, sizeof ps->lastIid);
        }
        if (icc)
            decodeParameter(d.icc, d.iccTime, d.iccBandClass, 0, 7, envelopes, ps->lastIcc, out->icc);
        else
            memset(ps->lastIcc, 0, sizeof ps->lastIcc);
    }
    out->fineIid = ps->lastFine;

    if (envelopes == 0) {
        envelopes = 1;
        memcpy(out->iid[0], ps->lastIid, sizeof out->iid[0]);
        memcpy(out->icc[0], ps->lastIcc, sizeof out->icc[0]);
        out->borders[1] = static_cast<uint8_t>(slots);
    } else if (d.variableBorders) {
        for (int e = 0; e < envelopes; ++e) {
            // Strictly rising, leaving each later envelope at least one slot.
            const int border = clamp(d.borders[e], out->borders[e] + 1, slots - (envelopes - 1 - e));
            out->borders[e + 1] = static_cast<uint8_t>(border);
        }
        if (out->borders[envelopes] < slots) {
            memcpy(out->iid[envelopes], out->iid[envelopes - 1], sizeof out->iid[0]);
            memcpy(out->icc[envelopes], out->icc[envelopes - 1], sizeof out->icc[0]);
            ++envelopes;
            out->borders[envelopes] = static_cast<uint8_t>(slots);
        }
    } else {
        for (int e = 0; e < envelopes; ++e)
            out->borders[e + 1] = static_cast<uint8_t>(slots * (e + 1) / envelopes);
    }
    out->envelopes = envelopes;
    return 1;
}

int PsDec_Create(PsDecHandle *handle, int frameLength)
{
    if (!handle || (frameLength != 960 && frameLength != 1024))
        return -1;
    const bool created = *handle == nullptr;
    PsDecInstance *ps = created ? static_cast<PsDecInstance *>(RezSys_Calloc(1, sizeof(PsDecInstance))) : *handle;
    if (!ps)
        return -1;
    if (setUp(ps, frameLength) != 0) {
        if (created)
            RezTools_Free1D(ps);
        *handle = nullptr;
        return -1;
    }
    *handle = ps;
    return 0;
}

int PsDec_Destroy(PsDecHandle *handle)
{
    if (!handle || !*handle)
        return -1;
    RezTools_DecorrelatorClose(&(*handle)->decorrelator);
    RezTools_Free1D(*handle);
    *handle = nullptr;
    return 0;
}

int PsDec_TimeSlots(PsDecHandle handle) { return handle ? handle->timeSlots : 0; }

void PsDec_SetupMixing(PsDecHandle ps, const int8_t *iid, const int8_t *icc, int fineIid, int slots)
{
    if (!ps || !iid || !icc)
        return;
    const int32_t *scale = fineIid ? PsDec_IidScaleFine : PsDec_IidScale;
    const int steps = fineIid ? 15 : 7;
    slots = slots < 1 ? 1 : slots;
    for (int b = 0; b < PS_PROCESSING_BANDS; ++b) {
        const int p = ProcessingToParameter[b];
        const int step = clamp(iid[p], -steps, steps);
        // c1 scales the right channel, c2 the left (both over sqrt(2)).
        const int32_t c1 = scale[steps + step], c2 = scale[steps - step];
        const int32_t alpha = PsDec_IccAlpha[clamp(icc[p], 0, 7)] >> 1; // Q29
        const int32_t beta = static_cast<int32_t>((int64_t{alpha} * (int64_t{c1} - c2)) >> 31);
        const int32_t angles[2] = {beta + alpha, beta - alpha};
        int32_t rotation[4]; // cos(beta + alpha), sin(beta + alpha), cos(beta - alpha), sin(beta - alpha)
        RezTools_SinCosPairs(angles, 2, 2, rotation);
        // sqrt(2) c cos in Q30 is c cos in Q31 over sqrt(2).
        ps->target[H11][b] = mulQ31(mulQ31(c2, rotation[0]), Sqrt1Half);
        ps->target[H21][b] = mulQ31(mulQ31(c2, rotation[1]), Sqrt1Half);
        ps->target[H12][b] = mulQ31(mulQ31(c1, rotation[2]), Sqrt1Half);
        ps->target[H22][b] = mulQ31(mulQ31(c1, rotation[3]), Sqrt1Half);
        for (int c = 0; c < Coefficients; ++c)
            ps->increment[c][b] = static_cast<int32_t>((int64_t{ps->target[c][b]} - ps->mixing[c][b]) / slots);
    }
    ps->slotsToTarget = slots;
}

int PsDec_ApplySlot(PsDecHandle ps, int32_t *re, int32_t *im, int32_t *rightRe, int32_t *rightIm,
                    const PsSlotScaling *scaling)
{
    if (!ps || !re || !im || !rightRe || !rightIm || !scaling)
        return -1;
    int32_t inRe[PS_QMF_BANDS], inIm[PS_QMF_BANDS];
    scaleSlot(re, inRe, *scaling);
    scaleSlot(im, inIm, *scaling);
    int32_t sRe[PS_HYBRID_BANDS], sIm[PS_HYBRID_BANDS], dRe[PS_HYBRID_BANDS], dIm[PS_HYBRID_BANDS];
    if (RezTools_HybridAnalysisApply(&ps->analysis, inRe, inIm, sRe, sIm) != 0 ||
        RezTools_DecorrelatorApply(&ps->decorrelator, sRe, sIm, dRe, dIm, 0) != 0)
        return -1;

    if (ps->slotsToTarget > 0) {
        const bool last = --ps->slotsToTarget == 0;
        for (int c = 0; c < Coefficients; ++c)
            for (int b = 0; b < PS_PROCESSING_BANDS; ++b)
                ps->mixing[c][b] = last ? ps->target[c][b] : ps->mixing[c][b] + ps->increment[c][b];
    }

    int32_t lRe[PS_HYBRID_BANDS], lIm[PS_HYBRID_BANDS], rRe[PS_HYBRID_BANDS], rIm[PS_HYBRID_BANDS];
    for (int b = 0; b < PS_PROCESSING_BANDS; ++b) {
        const int32_t h11 = ps->mixing[H11][b], h12 = ps->mixing[H12][b];
        const int32_t h21 = ps->mixing[H21][b], h22 = ps->mixing[H22][b];
        for (int k = ProcessingBorders[b]; k < ProcessingBorders[b + 1]; ++k) {
            lRe[k] = saturate(2 * (int64_t{mulQ31(h11, sRe[k])} + mulQ31(h21, dRe[k])));
            lIm[k] = saturate(2 * (int64_t{mulQ31(h11, sIm[k])} + mulQ31(h21, dIm[k])));
            rRe[k] = saturate(2 * (int64_t{mulQ31(h12, sRe[k])} + mulQ31(h22, dRe[k])));
            rIm[k] = saturate(2 * (int64_t{mulQ31(h12, sIm[k])} + mulQ31(h22, dIm[k])));
        }
    }
    RezTools_HybridSynthesisApply(&ps->synthesis[0], lRe, lIm, re, im);
    RezTools_HybridSynthesisApply(&ps->synthesis[1], rRe, rIm, rightRe, rightIm);
    return 0;
}

} // extern "C"
