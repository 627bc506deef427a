// Pseudo-QMF analysis and synthesis filter banks over caller-owned state.
#include "RezQmf_tables.h"
#include "RezTools.h"
#include "RezTransformInternal.h"

#include <string.h>

namespace {

using rez::halfMul;

constexpr int32_t UnityGain = static_cast<int32_t>(0x80000000u);

const int16_t *group(const RezQmfFilterBank *bank, int i)
{
    return bank->prototype + 5 * bank->prototypeStride * i;
}

void rescale(int32_t *values, int n, int shift)
{
    if (shift > 0)
        RezTools_ScaleValuesSaturated(values, n, shift);
    else if (shift < 0)
        RezTools_ScaleValues(values, n, shift);
}

int clampShift(int shift)
{
    return shift > 31 ? 31 : (shift < -31 ? -31 : shift);
}

// Band count -> tables and exponent rules. Caller tables serve the counts without
// built-in ones (synthesis only).
struct BankLayout {
    int bands;
    const int16_t *prototype; // null: the caller's
    int stride;
    const int16_t *cosTable, *sinTable;
    int prototypeScale;
    int exponentOffset;
};

const BankLayout Layouts[] = {
    {8, RezTools_QmfPrototype640, 8, nullptr, nullptr, 0, -2},
    {12, RezTools_QmfPrototype12, 1, nullptr, nullptr, 0, 1},
    {16, RezTools_QmfPrototype640, 4, RezTools_QmfTwiddleCos16, RezTools_QmfTwiddleSin16, 0, -1},
    {20, RezTools_QmfPrototype20, 1, nullptr, nullptr, 0, 2},
    {24, RezTools_QmfPrototype24, 1, RezTools_QmfTwiddleCos24, RezTools_QmfTwiddleSin24, 1, 0},
    {32, RezTools_QmfPrototype640, 2, RezTools_QmfTwiddleCos32, RezTools_QmfTwiddleSin32, 0, 0},
    {40, RezTools_QmfPrototype40, 1, RezTools_QmfTwiddleCos40, RezTools_QmfTwiddleSin40, 1, 0},
    {64, RezTools_QmfPrototype640, 1, RezTools_QmfTwiddleCos64, RezTools_QmfTwiddleSin64, 0, 1},
    {48, nullptr, 1, nullptr, nullptr, 0, 3},
    {96, nullptr, 1, nullptr, nullptr, 0, 3},
    {160, nullptr, 1, nullptr, nullptr, 0, 3},
    {256, nullptr, 1, nullptr, nullptr, 0, 3},
    {80, nullptr, 1, nullptr, nullptr, 0, 2},
    {128, nullptr, 1, nullptr, nullptr, 0, 2},
    {192, nullptr, 1, nullptr, nullptr, 0, 4},
    {240, nullptr, 1, nullptr, nullptr, 0, 4},
    {320, nullptr, 1, nullptr, nullptr, 0, 7},
    {384, nullptr, 1, nullptr, nullptr, 0, 5},
};

} // namespace

extern "C" {

int RezTools_QmfInitCommon(RezQmfFilterBank *bank, const int16_t *prototype, const int16_t *cosTable,
                           const int16_t *sinTable, void *state, int timeSlots, int lowerBand, int upperBand,
                           int bands, uint32_t flags, int isSynthesis)
{
    memset(bank, 0, sizeof *bank);
    if (flags & (REZ_QMF_FLAG_RESERVED_4 | REZ_QMF_FLAG_RESERVED_16))
        return -1;
    const BankLayout *layout = nullptr;
    for (const BankLayout &candidate : Layouts)
        if (candidate.bands == bands)
            layout = &candidate;
    if (!layout)
        return -1;
    bank->prototypeStride = static_cast<uint8_t>(layout->stride);
    bank->prototypeScale = layout->prototypeScale;
    bank->prototype = layout->prototype;
    bank->cosTable = layout->cosTable;
    bank->sinTable = layout->sinTable;
    int offset = layout->exponentOffset;
    if (bands == 40 && isSynthesis) {
        // The synthesis of 40 bands runs on the caller's tables.
        bank->prototype = nullptr;
        bank->prototypeScale = 0;
        offset = 1;
    }
    if (!bank->prototype) {
        if (!isSynthesis || !prototype)
            return -1;
        bank->prototype = prototype;
        bank->cosTable = cosTable;
        bank->sinTable = sinTable;
    }
    if (bands == 32 && (flags & REZ_QMF_FLAG_SECOND_TWIDDLES)) {
        bank->cosTable = RezTools_QmfTwiddleCos32B;
        bank->sinTable = RezTools_QmfTwiddleSin32B;
    }
    // Complex modulation needs twiddles; banks without them are real-valued only.
    if (!(flags & REZ_QMF_FLAG_REAL) && bands != 64 && (!bank->cosTable || !bank->sinTable))
        return -1;
    bank->prototypeLength = bank->prototype == RezTools_QmfPrototype640 ? 640 : 10 * bands;
    bank->flags = flags;
    bank->bands = bands;
    bank->timeSlots = timeSlots;
    bank->lowerBand = lowerBand < bands ? lowerBand : bands;
    bank->upperBand = isSynthesis ? (upperBand < bands ? upperBand : bands) : upperBand;
    bank->state = state;
    bank->filterExponentOffset = bank->prototypeScale + offset;
    bank->stateExponent = bank->filterExponentOffset + 7 + bank->prototypeScale;
    bank->outputGain = UnityGain;
    bank->outputScale = 0;
    return 0;
}

int RezTools_QmfAnalysisInit(RezQmfFilterBank *bank, int16_t *state, int timeSlots, int lowerBand, int upperBand,
                             int bands, uint32_t flags)
{
    // The full-length prototype form reads 2 B groups; the built-in tables hold B + 1.
    if (flags & REZ_QMF_FLAG_FULL_PROTOTYPE) {
        memset(bank, 0, sizeof *bank);
        return -1;
    }
    const int result = RezTools_QmfInitCommon(bank, nullptr, nullptr, nullptr, state, timeSlots, lowerBand,
                                              upperBand, bands, flags, 0);
    if (result == 0 && state && !(flags & REZ_QMF_FLAG_KEEP_STATES))
        memset(state, 0, sizeof(int16_t) * 9 * static_cast<size_t>(bands));
    return result;
}

int RezTools_QmfSynthesisInit(RezQmfFilterBank *bank, const int16_t *prototype, const int16_t *cosTable,
                              const int16_t *sinTable, int32_t *state, int timeSlots, int lowerBand,
                              int upperBand, int bands, uint32_t flags)
{
    const int oldExponent = bank->stateExponent;
    const int result = RezTools_QmfInitCommon(bank, prototype, cosTable, sinTable, state, timeSlots, lowerBand,
                                              upperBand, bands, flags, 1);
    if (result == 0 && state) {
        if (!(flags & REZ_QMF_FLAG_KEEP_STATES))
            memset(state, 0, sizeof(int32_t) * 9 * static_cast<size_t>(bands));
        else
            rescale(state, 9 * bands, clampShift(oldExponent - bank->stateExponent));
    }
    return result;
}

void RezTools_QmfAnalysisSlot(RezQmfFilterBank *bank, int32_t *real, int32_t *imag, const int16_t *input,
                              int inputStride, int32_t *work)
{
    const int b = bank->bands;
    int16_t *state = static_cast<int16_t *>(bank->state);
    for (int k = 0; k < b; ++k)
        state[9 * b + k] = input[k * inputStride];

    int32_t *x = work;
    for (int i = 0; i < b; ++i) {
        const int16_t *g = group(bank, i), *h = group(bank, i + 1);
        int32_t first = 0, second = 0;
        for (int m = 0; m < 5; ++m) {
            first += g[m] * state[10 * b - 1 - i - 2 * b * m];
            second += h[m] * state[i + 2 * b * m];
        }
        x[i] = 2 * first;
        x[2 * b - 1 - i] = 2 * second;
    }

    int scale = 0;
    if (bank->flags & REZ_QMF_FLAG_REAL) {
        const int half = b / 2;
        real[0] = x[3 * half] >> 1;
        for (int i = 1; i < half; ++i)
            real[i] = (x[3 * half + i] >> 1) + (x[3 * half - i] >> 1);
        for (int i = 0; i < half; ++i)
            real[half + i] = (x[2 * half - i] >> 1) - (x[i] >> 1);
        RezTools_DctIII(real, x, b, &scale);
    } else if (b == 64) {
        real[0] = (x[0] >> 1) + (x[1] >> 1);
        imag[0] = (x[1] >> 1) - (x[0] >> 1);
        for (int k = 1; k < 64; ++k) {
            real[k] = (x[k + 1] >> 1) - (x[128 - k] >> 1);
            imag[k] = (x[k + 1] >> 1) + (x[128 - k] >> 1);
        }
        RezTools_DctIV(real, 64, &scale);
        RezTools_DstIV(imag, 64, &scale);
    } else {
        for (int k = 0; k < b; ++k) {
            real[k] = (x[k] >> 1) - (x[2 * b - 1 - k] >> 1);
            imag[k] = (x[k] >> 1) + (x[2 * b - 1 - k] >> 1);
        }
        RezTools_DctIV(real, b, &scale);
        RezTools_DstIV(imag, b, &scale);
        for (int k = 0; k < b; ++k) {
            const int32_t c = bank->cosTable[k], s = bank->sinTable[k], re = real[k], im = imag[k];
            real[k] = 2 * (halfMul(re, c) + halfMul(im, s));
            imag[k] = 2 * halfMul(im, c) - 2 * halfMul(re, s);
        }
    }
    memmove(state, state + b, sizeof(int16_t) * 9 * static_cast<size_t>(b));
}

void RezTools_QmfAnalysis(RezQmfFilterBank *bank, int32_t **realSlots, int32_t **imagSlots, int *exponentOut,
                          const int16_t *input, int inputShift, int inputStride, int32_t *work)
{
    *exponentOut = -7 - inputShift - bank->prototypeScale;
    const bool isReal = (bank->flags & REZ_QMF_FLAG_REAL) != 0;
    for (int n = 0; n < bank->timeSlots; ++n)
        RezTools_QmfAnalysisSlot(bank, realSlots[n], isReal ? nullptr : imagSlots[n],
                                 input + static_cast<size_t>(n) * bank->bands * inputStride, inputStride, work);
}

void RezTools_QmfSynthesisSlot(RezQmfFilterBank *bank, const int32_t *real, const int32_t *imag, int lowShift,
                               int highShift, int16_t *output, int outputStride, int32_t *work)
{
    const int b = bank->bands, lower = bank->lowerBand, upper = bank->upperBand < 0 ? 0 : bank->upperBand;
    const int low = lower < upper ? lower : upper;
    int32_t *r = work, *t = work + b;
    lowShift = clampShift(lowShift);
    highShift = clampShift(highShift);
    RezTools_ScaleCopy(r, real, low, lowShift);
    RezTools_ScaleCopy(r + low, real + low, upper - low, highShift);
    memset(r + upper, 0, sizeof(int32_t) * static_cast<size_t>(b - upper));

    int scale = 0;
    if (!(bank->flags & REZ_QMF_FLAG_REAL)) {
        RezTools_ScaleCopy(t, imag, low, lowShift);
        RezTools_ScaleCopy(t + low, imag + low, upper - low, highShift);
        memset(t + upper, 0, sizeof(int32_t) * static_cast<size_t>(b - upper));
        if (b != 16 && b != 24 && b != 32 && b != 64) {
            const int rotated = b < 64 ? b : 64;
            for (int k = 0; k < rotated; ++k) {
                const int32_t c = bank->cosTable[k], s = bank->sinTable[k], re = r[k], im = t[k];
                r[k] = 2 * (halfMul(re, c) - halfMul(im, s));
                t[k] = 2 * (halfMul(re, s) + halfMul(im, c));
            }
        }
        RezTools_DctIV(r, b, &scale);
        RezTools_DstIV(t, b, &scale);
        for (int j = 0; j < b / 2; ++j) {
            const int32_t r0 = r[j], t0 = t[j], r1 = r[b - 1 - j], t1 = t[b - 1 - j];
            r[j] = (t0 - r0) >> 1;
            t[b - 1 - j] = (r0 + t0) >> 1;
            r[b - 1 - j] = (t1 - r1) >> 1;
            t[j] = (r1 + t1) >> 1;
        }
    } else {
        const int half = b / 2, quarter = half / 2;
        RezTools_DctII(r, t, b, &scale);
        t[0] = r[half];
        t[half] = 0;
        {
            const int32_t v = r[0];
            r[0] = r[half];
            r[half] = v;
        }
        for (int i = 1; i < quarter; ++i) {
            const int32_t a = r[b - i], bv = r[half + i], c = r[i], d = r[half - i];
            t[half - i] = a;
            t[half + i] = -a;
            t[i] = bv;
            t[b - i] = -bv;
            r[half + i] = c;
            r[b - i] = d;
            r[i] = d;
            r[half - i] = c;
        }
        const int32_t v = r[half + quarter];
        t[quarter] = v;
        t[half + quarter] = -v;
        r[half + quarter] = r[quarter];
    }
    if (bank->flags & REZ_QMF_FLAG_FULL_PROTOTYPE)
        return;

    int shift = 15 - bank->outputScale - bank->stateExponent;
    int32_t round = 0;
    if (shift > 0) {
        if (shift > 31)
            shift = 31;
        round = static_cast<int32_t>(1u << (shift - 1));
    } else if (shift < -31) {
        shift = -31;
    }
    const int32_t gain = static_cast<int16_t>(static_cast<uint32_t>(bank->outputGain) >> 16);
    const bool applyGain = (static_cast<uint32_t>(bank->outputGain) >> 16) != 0x8000;
    int32_t *stateBase = static_cast<int32_t *>(bank->state);
    for (int k = b - 1; k >= 0; --k) {
        int32_t *s = stateBase + 9 * (b - 1 - k);
        const int16_t *a = group(bank, k), *g = group(bank, b - k);
        const int32_t rk = r[k], tk = t[k];
        int32_t acc = halfMul(rk, a[0]) + s[0];
        if (applyGain)
            acc = 2 * halfMul(acc, gain);
        int32_t y;
        if (shift >= 0) {
            y = static_cast<int32_t>((int64_t{round} + acc) >> shift);
            y = y > 32767 ? 32767 : (y < -32768 ? -32768 : y);
        } else {
            const int32_t limit = 32767 >> -shift;
            if (acc > limit)
                y = 32767;
            else if (acc < ~limit)
                y = -32768;
            else
                y = static_cast<int16_t>(static_cast<uint32_t>(acc) << -shift);
        }
        output[k * outputStride] = static_cast<int16_t>(y);
        s[0] = halfMul(tk, g[4]) + s[1];
        s[1] = halfMul(rk, a[1]) + s[2];
        s[2] = halfMul(tk, g[3]) + s[3];
        s[3] = halfMul(rk, a[2]) + s[4];
        s[4] = halfMul(tk, g[2]) + s[5];
        s[5] = halfMul(rk, a[3]) + s[6];
        s[6] = halfMul(tk, g[1]) + s[7];
        s[7] = halfMul(rk, a[4]) + s[8];
        s[8] = halfMul(tk, g[0]);
    }
}

void RezTools_QmfSynthesis(RezQmfFilterBank *bank, int32_t **realSlots, int32_t **imagSlots, const int32_t *scales,
                           int overlapSlots, int16_t *output, int outputStride, int32_t *work)
{
    const int base = -7 - bank->prototypeScale;
    const bool isReal = (bank->flags & REZ_QMF_FLAG_REAL) != 0;
    for (int n = 0; n < bank->timeSlots; ++n) {
        const int lowShift = n < overlapSlots ? base - scales[1] : base - scales[0];
        RezTools_QmfSynthesisSlot(bank, realSlots[n], isReal ? nullptr : imagSlots[n], lowShift, base - scales[2],
                                  output + static_cast<size_t>(n) * bank->bands * outputStride, outputStride, work);
    }
}

void RezTools_QmfSetOutputGain(RezQmfFilterBank *bank, int32_t gainWord, int outputScale)
{
    bank->outputGain = gainWord;
    bank->outputScale = outputScale;
}

void RezTools_QmfRescaleState(RezQmfFilterBank *bank, int extraScale)
{
    if (!bank)
        return;
    const int exponent = bank->filterExponentOffset + bank->prototypeScale + 7 + extraScale;
    if (exponent != bank->stateExponent && bank->state)
        rescale(static_cast<int32_t *>(bank->state), 9 * bank->bands, clampShift(bank->stateExponent - exponent));
    bank->stateExponent = exponent;
}

int RezTools_QmfGetStateScale(const RezQmfFilterBank *bank)
{
    if (bank->stateExponent == 0)
        return 0;
    return bank->stateExponent - bank->filterExponentOffset - bank->prototypeScale - 7;
}

void RezTools_QmfClearSlots(int channelPairs, int bands, int slots, int32_t ***imagSlots, int32_t ***realSlots)
{
    for (int slot = 0; slot < slots; ++slot)
        for (int c = 0; c < 2 * channelPairs; ++c) {
            memset(realSlots[slot][c], 0, sizeof(int32_t) * static_cast<size_t>(bands));
            memset(imagSlots[slot][c], 0, sizeof(int32_t) * static_cast<size_t>(bands));
        }
}

} // extern "C"
