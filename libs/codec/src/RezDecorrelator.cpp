// Decorrelator: per hybrid band a delay, then an all-pass (a lattice for MPEG Surround,
// a phase factor and three fractional-delay links for parametric stereo), then a
// ducker that keeps the decorrelated signal's energy in step with its input.
#include "RezDecorrelatorInternal.h"
#include "RezDecorrelator_tables.h"
#include "RezTransformInternal.h"

#include <math.h>
#include <string.h>

namespace {

using rez::halfMul;
using rez::hiMul;

constexpr int32_t UnityGain = INT32_MIN;
constexpr int Groups = 4;
// With the alternative layout only the bands below this carry an imaginary part.
constexpr int ComplexBandsAlternative = 15;
// Each parametric-stereo band keeps its three link delay lines in one block: link m
// cycles through the words [LinkStart[m], LinkEnd[m]) two at a time, which makes
// delays of 3, 4 and 5 slots.
constexpr int LinkBlockWords = 24;
constexpr uint8_t LinkStart[3] = {0, 6, 14};
constexpr uint8_t LinkEnd[3] = {6, 14, 24};
constexpr int InitialExponent = 48;

constexpr int KindDelay = 1;
constexpr int KindAllPass = 2;
constexpr int KindLinks = 5;

// Transient ducker: peak decay 0.76593, smoothing 0.25 (Q31).
constexpr int32_t PeakDecay = 0x620A0000;
constexpr int32_t TransientSmoothing = 0x20000000;
// Energy ducker: smoothing 0.8 (Q31).
constexpr int32_t EnergySmoothing = 0x66660000;

// Q31 product formed as twice the upper word.
inline int32_t mulTwiceHigh(int32_t c, int32_t x) { return 2 * hiMul(c, x); }

inline int32_t shiftBy(int32_t x, int n)
{
    if (n >= 0)
        return static_cast<int32_t>(static_cast<uint32_t>(x) << (n > 31 ? 31 : n));
    return x >> (-n > 31 ? 31 : -n);
}

inline uint32_t magnitude(int32_t x) { return x < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(x)) : x; }

inline int32_t saturate(int64_t x)
{
    return x > INT32_MAX ? INT32_MAX : (x < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(x));
}

// The MPEG Surround lattices' coefficient tables are not part of this build, so those
// types cannot be configured.
const int16_t *mpegSurroundCoefficients(int type, int configuration, int group)
{
    (void)type, (void)configuration, (void)group;
    return nullptr;
}

// Direct-form all-pass of order N on u with its states at a quarter of the signal
// scale, every stride-th word of s: numerator a0..aN, denominator the same reversed.
int32_t allPass(int32_t u, int32_t *s, int stride, const int16_t *a, int order)
{
    const int32_t y = 4 * (s[0] + halfMul(u, a[0]));
    for (int k = 1; k < order; ++k)
        s[(k - 1) * stride] = s[k * stride] - halfMul(y, a[order - k]) + halfMul(u, a[k]);
    s[(order - 1) * stride] = halfMul(u, a[order]) - halfMul(y, a[0]);
    return y;
}

// The band's delay ring at word position pos: returns the value of `delay` slots ago
// and stores the new one.
inline void delayComplex(int32_t *ring, int pos, int32_t &re, int32_t &im)
{
    const int32_t oldRe = ring[pos], oldIm = ring[pos + 1];
    ring[pos] = re;
    ring[pos + 1] = im;
    re = oldRe;
    im = oldIm;
}

void links(RezDecorrelatorBand &band, const uint8_t *positions, int32_t &re, int32_t &im)
{
    const int16_t *row = band.linkRow;
    int32_t ur = halfMul(re, row[0]) - halfMul(im, row[1]);
    int32_t ui = halfMul(im, row[0]) + halfMul(re, row[1]);
    for (int m = 0; m < 3; ++m) {
        const int32_t ar = row[2 + 2 * m], ai = row[3 + 2 * m];
        int32_t *state = band.stateA + positions[m];
        const int32_t wr = state[0] + 2 * (halfMul(ur, ar) - halfMul(ui, ai));
        const int32_t wi = state[1] + 2 * (halfMul(ur, ai) + halfMul(ui, ar));
        state[0] = ur + 2 * (halfMul(-wr, ar) - halfMul(wi, ai));
        state[1] = ui - 2 * halfMul(wi, ar) - 2 * halfMul(-wr, ai);
        ur = wr;
        ui = wi;
    }
    re = 2 * ur;
    im = 2 * ui;
}

int complexBands(const RezDecorrelator *d)
{
    return d->alternativeLayout && d->hybridBands > ComplexBandsAlternative ? ComplexBandsAlternative
                                                                            : d->hybridBands;
}

// Energies of bands startBand.. per parameter band; returns their exponent.
int measure(const RezDecorrelator *d, const int32_t *re, const int32_t *im, int startBand, int32_t gain,
            int32_t *energies)
{
    const RezDecorrelatorDucker &ducker = d->ducker;
    const int bands = d->hybridBands, complex = complexBands(d);
    memset(energies, 0, sizeof(int32_t) * REZ_DECORRELATOR_MAX_PARAMETER_BANDS);
    auto scaled = [gain](int32_t x) {
        return gain == UnityGain ? x : static_cast<int32_t>((int64_t{x} * gain) >> 31);
    };
    uint32_t all = 0;
    for (int k = startBand; k < bands; ++k) {
        all |= magnitude(scaled(re[k]));
        if (k < complex)
            all |= magnitude(scaled(im[k]));
    }
    // The values are brought to five bits of headroom, down as well as up: a parameter
    // band sums up to 58 squares, which must not wrap for the full-scale slots SBR
    // hands over.
    int shift = (all ? __builtin_clz(all) : 32) - 5;
    shift = shift > 24 ? 24 : shift;
    auto square = [shift](int32_t x) {
        const int64_t v = shift >= 0 ? int64_t{x} << shift : int64_t{x} >> -shift;
        return static_cast<int32_t>((v * v) >> 32);
    };
    for (int k = startBand; k < bands; ++k) {
        int32_t e = square(scaled(re[k]));
        if (k < complex)
            e += square(scaled(im[k]));
        energies[ducker.bandToParameter[k]] += e;
    }
    return 2 * shift;
}

void scaleBand(RezDecorrelator *d, int32_t *re, int32_t *im, int from, int to, int64_t gain, int gainBits)
{
    const int complex = complexBands(d);
    for (int k = from; k < to; ++k) {
        re[k] = saturate((int64_t{re[k]} * gain) >> gainBits);
        if (k < complex)
            im[k] = saturate((int64_t{im[k]} * gain) >> gainBits);
    }
}

int stateHeadroom(const RezDecorrelatorDucker &ducker)
{
    uint32_t all = 0;
    for (int b = 0; b < ducker.parameterBands; ++b)
        all |= magnitude(ducker.smoothedEnergy[b]) | magnitude(ducker.peakEnergy[b]) |
               magnitude(ducker.peakDifference[b]);
    const int redundant = all ? __builtin_clz(all) - 1 : 31;
    return redundant > 1 ? redundant - 1 : 0;
}

// Brings energies and states to one exponent that leaves the states two bits of room.
void align(RezDecorrelatorDucker &ducker, int32_t *input, int inputExponent, int32_t *output, int outputExponent)
{
    const int stateExponent = ducker.exponents[2];
    if (inputExponent == stateExponent && (!output || outputExponent == stateExponent) && ducker.stateHeadroom > 0)
        return;
    int target = stateExponent + ducker.stateHeadroom - 2;
    target = inputExponent < target ? inputExponent : target;
    if (output)
        target = outputExponent < target ? outputExponent : target;
    for (int b = 0; b < ducker.parameterBands; ++b) {
        input[b] = shiftBy(input[b], target - inputExponent);
        if (output)
            output[b] = shiftBy(output[b], target - outputExponent);
        ducker.smoothedEnergy[b] = shiftBy(ducker.smoothedEnergy[b], target - stateExponent);
        ducker.peakEnergy[b] = shiftBy(ducker.peakEnergy[b], target - stateExponent);
        ducker.peakDifference[b] = shiftBy(ducker.peakDifference[b], target - stateExponent);
    }
    ducker.exponents[0] = static_cast<int8_t>(target);
    ducker.exponents[1] = static_cast<int8_t>(target);
    ducker.exponents[2] = static_cast<int8_t>(target);
}

// Transient ducker: a band whose input energy falls behind its decaying peak (an
// onset just passed) gets its decorrelated signal lowered.
void duckTransients(RezDecorrelator *d, int32_t *re, int32_t *im, int startBand, int32_t *energies, int exponent)
{
    RezDecorrelatorDucker &ducker = d->ducker;
    align(ducker, energies, exponent, nullptr, 0);
    for (int b = ducker.bandToParameter[startBand]; b < ducker.parameterBands; ++b) {
        const int32_t e = energies[b];
        int32_t &peak = ducker.peakEnergy[b];
        int32_t &difference = ducker.peakDifference[b];
        int32_t &smoothed = ducker.smoothedEnergy[b];
        const int32_t decayed = mulTwiceHigh(PeakDecay, peak);
        peak = e > decayed ? e : decayed;
        difference += mulTwiceHigh(TransientSmoothing, peak - e - difference);
        smoothed += mulTwiceHigh(TransientSmoothing, e - smoothed);
        if (smoothed < 0)
            smoothed = 0;
        const int from = startBand > ducker.parameterBorders[b] ? startBand : ducker.parameterBorders[b];
        const int to = ducker.parameterBorders[b + 1] < d->hybridBands ? ducker.parameterBorders[b + 1] : d->hybridBands;
        if (smoothed == 0 && difference <= 0)
            scaleBand(d, re, im, from, to, 0, 0);
        else if (difference > 0 && 3 * int64_t{difference} > 2 * int64_t{smoothed})
            scaleBand(d, re, im, from, to, (int64_t{smoothed} << 32) / (3 * int64_t{difference}), 31);
    }
    ducker.stateHeadroom = stateHeadroom(ducker);
}

// Energy ducker: smoothed input and output energies; the output is pulled towards
// the input's energy when they differ by more than 1.5, by at most a factor of 2 up.
void duckEnergy(RezDecorrelator *d, int32_t *re, int32_t *im, int startBand, int32_t *input, int inputExponent,
                int32_t *output, int outputExponent)
{
    RezDecorrelatorDucker &ducker = d->ducker;
    align(ducker, input, inputExponent, output, outputExponent);
    for (int b = ducker.bandToParameter[startBand]; b < ducker.parameterBands; ++b) {
        int32_t &direct = ducker.smoothedEnergy[b];
        int32_t &diffuse = ducker.peakEnergy[b];
        direct = mulTwiceHigh(EnergySmoothing, direct) + hiMul(EnergySmoothing, input[b]);
        diffuse = mulTwiceHigh(EnergySmoothing, diffuse) + hiMul(EnergySmoothing, output[b]);
        double gain;
        if (2 * int64_t{diffuse} > 3 * int64_t{direct})
            gain = sqrt(1.5 * direct / diffuse);
        else if (2 * int64_t{direct} > 3 * int64_t{diffuse})
            gain = 6 * int64_t{diffuse} > direct ? sqrt(direct / (1.5 * diffuse)) : 2.0;
        else
            continue;
        const int from = startBand > ducker.parameterBorders[b] ? startBand : ducker.parameterBorders[b];
        const int to = ducker.parameterBorders[b + 1] < d->hybridBands ? ducker.parameterBorders[b + 1] : d->hybridBands;
        scaleBand(d, re, im, from, to, static_cast<int64_t>(gain * (1 << 30) + 0.5), 30);
    }
    ducker.stateHeadroom = stateHeadroom(ducker);
}

void initDucker(RezDecorrelator *d, int type, int keepDuckerMode, int alternativeLayout, int twentyParameterBands,
                int reset)
{
    RezDecorrelatorDucker &ducker = d->ducker;
    if (!keepDuckerMode)
        d->duckerMode = type == 1 || (type == 0 && alternativeLayout) ? 2 : 1;
    const bool twenty = type == 1 && twentyParameterBands && !keepDuckerMode;
    ducker.hybridBands = d->hybridBands;
    ducker.alternativeLayout = alternativeLayout;
    ducker.parameterBands = twenty ? 20 : 28;
    ducker.parameterBorders = twenty ? RezTools_DecorrelatorBorders20 : RezTools_DecorrelatorBorders28;
    ducker.bandToParameter = twenty ? RezTools_DecorrelatorBandMap20 : RezTools_DecorrelatorBandMap28;
    ducker.gain[0] = UnityGain;
    ducker.gain[1] = UnityGain;
    if (reset) {
        memset(ducker.smoothedEnergy, 0, sizeof ducker.smoothedEnergy);
        memset(ducker.peakEnergy, 0, sizeof ducker.peakEnergy);
        memset(ducker.peakDifference, 0, sizeof ducker.peakDifference);
        for (int8_t &e : ducker.exponents)
            e = InitialExponent;
        ducker.stateHeadroom = stateHeadroom(ducker);
    }
}

} // namespace

namespace rez {

int decorrelatorInit(RezDecorrelator *d, int hybridBands, int type, int keepDuckerMode, int layoutIndex,
                     int configuration, int alternativeLayout, int extraFlag, int twentyParameterBands, int reset,
                     const int16_t *const coefficients[4])
{
    if (!d || !d->stateA || hybridBands < 1 || hybridBands > REZ_DECORRELATOR_MAX_BANDS)
        return REZ_DECORRELATOR_INVALID;
    const bool alternative = alternativeLayout != 0;
    int layoutRow;
    const uint8_t *delays = RezTools_DecorrelatorDelays[type == 1 ? 1 : (type == 2 ? 2 : 0)];
    switch (type) {
    case 0:
        if (layoutIndex < 0 || layoutIndex > 2 || configuration < 0 || configuration >= 5 || extraFlag)
            return REZ_DECORRELATOR_INVALID;
        layoutRow = alternative ? 3 : layoutIndex;
        break;
    case 2:
        if (layoutIndex < 0 || layoutIndex > 2 || configuration != 0 || alternative || extraFlag)
            return REZ_DECORRELATOR_INVALID;
        layoutRow = layoutIndex;
        break;
    case 1:
        layoutRow = alternative ? 5 : 4;
        if (alternative)
            delays = RezTools_DecorrelatorDelaysAlternative;
        break;
    default:
        return REZ_DECORRELATOR_INVALID;
    }
    if (type != 1)
        for (int g = 0; g < Groups; ++g)
            if (!coefficients || !coefficients[g])
                return REZ_DECORRELATOR_UNAVAILABLE;

    const int32_t sizeA = RezTools_DecorrelatorStateSizes[type][alternative ? 1 : 0][0];
    const int32_t sizeB = RezTools_DecorrelatorStateSizes[type][alternative ? 1 : 0][1];
    if (sizeA + sizeB > d->bufferWords)
        return REZ_DECORRELATOR_INVALID;

    const uint8_t *layout = RezTools_DecorrelatorLayouts[layoutRow];
    const int8_t *orders = RezTools_DecorrelatorOrders[type];
    const int32_t *kinds = RezTools_DecorrelatorStageKinds[type];
    int32_t *stateA = d->stateA, *stateB = d->stateA + sizeA;
    RezDecorrelatorBand bands[REZ_DECORRELATOR_MAX_BANDS] = {};
    int usedA = 0, usedB = 0, lower = 0;
    for (int g = 0; g < Groups; ++g) {
        const int upper = layout[g] < hybridBands ? layout[g] : hybridBands;
        for (int k = lower; k < upper; ++k) {
            RezDecorrelatorBand &band = bands[k];
            if (kinds[g] == KindLinks) {
                band.stateA = stateA + usedA;
                band.linkRow = RezTools_DecorrelatorLinkRows[k];
                usedA += LinkBlockWords;
            } else if (kinds[g] == KindAllPass) {
                band.stateA = stateA + usedA;
                band.coefficients = coefficients[g];
                usedA += 2 * orders[g];
            }
            band.stateB = stateB + usedB;
            usedB += 2 * delays[g];
        }
        lower = upper > lower ? upper : lower;
    }
    if (usedA > sizeA || usedB > sizeB)
        return REZ_DECORRELATOR_INVALID;

    d->stateASize = sizeA;
    d->stateBSize = sizeB;
    d->stateB = stateB;
    d->stageKinds = kinds;
    d->layout = layout;
    d->delays = delays;
    d->orders = orders;
    d->hybridBands = hybridBands;
    d->alternativeLayout = alternative;
    memcpy(d->bands, bands, sizeof bands);
    for (int g = 0; g < Groups; ++g)
        if (reset || d->ringPositions[g] >= 2 * delays[g])
            d->ringPositions[g] = 0;
    if (reset || d->linkPositions[1] < LinkStart[1]) {
        for (int m = 0; m < 3; ++m)
            d->linkPositions[m] = LinkStart[m];
    }
    if (reset)
        memset(d->stateA, 0, sizeof(int32_t) * static_cast<size_t>(sizeA + sizeB));
    initDucker(d, type, keepDuckerMode, alternative, twentyParameterBands, reset);
    return REZ_DECORRELATOR_OK;
}

} // namespace rez

extern "C" {

int RezTools_DecorrelatorOpen(RezDecorrelator *d, int32_t *buffer, int32_t bufferWords)
{
    if (!d || !buffer || bufferWords < REZ_DECORRELATOR_MIN_WORDS)
        return REZ_DECORRELATOR_INVALID;
    d->stateA = buffer;
    d->bufferWords = bufferWords;
    d->stateASize = 0;
    d->stateBSize = 0;
    d->stateB = nullptr;
    return REZ_DECORRELATOR_OK;
}

int RezTools_DecorrelatorInit(RezDecorrelator *d, int hybridBands, int type, int keepDuckerMode, int layoutIndex,
                              int configuration, int alternativeLayout, int extraFlag, int twentyParameterBands,
                              int reset)
{
    const int16_t *tables[Groups] = {};
    for (int g = 0; g < Groups; ++g)
        tables[g] = mpegSurroundCoefficients(type, configuration, g);
    return rez::decorrelatorInit(d, hybridBands, type, keepDuckerMode, layoutIndex, configuration, alternativeLayout,
                                 extraFlag, twentyParameterBands, reset, tables);
}

int RezTools_DecorrelatorApply(RezDecorrelator *d, const int32_t *realIn, const int32_t *imagIn, int32_t *realOut,
                               int32_t *imagOut, int startBand)
{
    if (!d)
        return 0;
    if (!d->layout || !d->stateB)
        return 1;
    const int bands = d->hybridBands, complex = complexBands(d);
    if (startBand < 0)
        startBand = 0;
    if (startBand >= bands)
        return 0;

    // Refuse before anything is written, so that a failed slot leaves the states alone.
    for (int g = 0, lower = 0; g < Groups; ++g) {
        const int upper = d->layout[g] < bands ? d->layout[g] : bands;
        const int first = startBand > lower ? startBand : lower;
        const int kind = d->stageKinds[g];
        if (first < upper && kind != KindDelay && kind != KindAllPass && (kind != KindLinks || upper > complex))
            return 1;
        lower = upper > lower ? upper : lower;
    }

    int32_t inputEnergy[REZ_DECORRELATOR_MAX_PARAMETER_BANDS];
    int inputExponent = 0;
    if (d->duckerMode == 1 || d->duckerMode == 2)
        inputExponent = measure(d, realIn, imagIn, startBand, d->ducker.gain[0], inputEnergy);

    bool linksRan = false;
    for (int g = 0, lower = 0; g < Groups; ++g) {
        const int upper = d->layout[g] < bands ? d->layout[g] : bands;
        const int first = startBand > lower ? startBand : lower;
        const int kind = d->stageKinds[g];
        const int pos = d->ringPositions[g];
        for (int k = first; k < upper; ++k) {
            RezDecorrelatorBand &band = d->bands[k];
            int32_t re = realIn[k];
            if (k < complex) {
                int32_t im = imagIn[k];
                delayComplex(band.stateB, pos, re, im);
                if (kind == KindAllPass) {
                    re = allPass(re, band.stateA, 2, band.coefficients, d->orders[g]);
                    im = allPass(im, band.stateA + 1, 2, band.coefficients, d->orders[g]);
                } else if (kind == KindLinks) {
                    links(band, d->linkPositions, re, im);
                    linksRan = true;
                }
                imagOut[k] = im;
            } else {
                const int32_t old = band.stateB[pos];
                band.stateB[pos] = re;
                re = old;
                if (kind == KindAllPass)
                    re = allPass(re, band.stateA, 2, band.coefficients, d->orders[g]);
            }
            realOut[k] = re;
        }
        lower = upper > lower ? upper : lower;
    }

    for (int g = 0; g < Groups; ++g) {
        d->ringPositions[g] += 2;
        if (d->ringPositions[g] >= 2 * d->delays[g])
            d->ringPositions[g] = 0;
    }
    if (linksRan)
        for (int m = 0; m < 3; ++m) {
            d->linkPositions[m] += 2;
            if (d->linkPositions[m] >= LinkEnd[m])
                d->linkPositions[m] = LinkStart[m];
        }

    if (d->duckerMode == 2) {
        duckTransients(d, realOut, imagOut, startBand, inputEnergy, inputExponent);
    } else if (d->duckerMode == 1) {
        int32_t outputEnergy[REZ_DECORRELATOR_MAX_PARAMETER_BANDS];
        const int outputExponent = measure(d, realOut, imagOut, startBand, UnityGain, outputEnergy);
        duckEnergy(d, realOut, imagOut, startBand, inputEnergy, inputExponent, outputEnergy, outputExponent);
    }
    return 0;
}

int RezTools_DecorrelatorClose(RezDecorrelator *d)
{
    if (!d)
        return 1;
    d->stateA = nullptr;
    d->stateB = nullptr;
    d->stateASize = 0;
    d->stateBSize = 0;
    d->bufferWords = 0;
    return 0;
}

int32_t *RezTools_DecorrelatorGetParamPtr(RezDecorrelator *d) { return d ? &d->ducker.gain[0] : nullptr; }

} // extern "C"
