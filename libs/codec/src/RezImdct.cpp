// Inverse MDCT with windowing and overlap-add, and the window slopes it uses.
#include "RezTools.h"
#include "RezTransformInternal.h"
#include "RezWindow_tables.h"

#include <string.h>

namespace {

using rez::halfMul;

constexpr int MaxTransformLength = 1024;

enum SlopeClass { PowerOfTwo = 0, FifteenTimes = 1, ThreeTimes = 2 };

// Row: length class, plus 4 for the Kaiser-Bessel-derived shape; column: ceil(log2 L) - 2,
// less 4 more for that shape. The KBD rows take the sine slope where the two coincide.
const uint32_t *const SlopeTable[7][9] = {
    {RezTools_SineSlope4, RezTools_SineSlope8, RezTools_SineSlope16, RezTools_SineSlope32, RezTools_SineSlope64,
     RezTools_SineSlope128, RezTools_SineSlope256, RezTools_SineSlope512, RezTools_SineSlope1024},
    {nullptr, nullptr, RezTools_SineSlope15, RezTools_SineSlope30, RezTools_SineSlope60, RezTools_SineSlope120,
     RezTools_SineSlope240, nullptr, RezTools_SineSlope960},
    {nullptr, nullptr, RezTools_SineSlope12, RezTools_SineSlope24, RezTools_SineSlope48, RezTools_SineSlope96,
     RezTools_SineSlope192, RezTools_SineSlope384, RezTools_SineSlope768},
    {},
    {nullptr, RezTools_KbdSlope128, RezTools_KbdSlope256, RezTools_SineSlope512, RezTools_KbdSlope1024},
    {nullptr, RezTools_KbdSlope120, nullptr, nullptr, RezTools_KbdSlope960},
    {nullptr, RezTools_KbdSlope96, RezTools_SineSlope192, nullptr, RezTools_KbdSlope768},
};

int highestBit(uint32_t value)
{
    int p = 31;
    while (p > 0 && !(value >> p))
        --p;
    return p;
}

// Collects a block's samples: the first ones go to the caller's output, the rest become
// pending at the start of the overlap buffer (as far as it has room beside the saved half).
struct Sink {
    int32_t *output;
    int written;
    int wanted;
    int32_t *pendingBuffer;
    int pending;
    int pendingRoom;

    void put(int32_t value)
    {
        if (written < wanted)
            output[written++] = value;
        else if (pending < pendingRoom)
            pendingBuffer[pending++] = value;
    }
};

} // namespace

extern "C" {

void RezTools_ImdctInit(RezImdctState *state, int32_t *overlap, int size)
{
    state->overlap = overlap;
    state->overlapSize = size > 0 ? size : 0;
    state->slope = nullptr;
    state->pending = 0;
    state->prevLength = 0;
    state->flatCount = 0;
    state->slopeLength = 0;
    state->sineKind = 0;
    state->prevSineKind = 0;
    state->addVector = nullptr;
    state->altOverlap = nullptr;
}

const uint32_t *RezTools_GetWindowSlope(int length, int shape)
{
    if (length < 4 || (shape != 0 && shape != 1))
        return nullptr;
    const int p = highestBit(static_cast<uint32_t>(length));
    const int lead = p >= 3 ? length >> (p - 3) : length << (3 - p);
    if (p >= 3 && (length & ((1 << (p - 3)) - 1)) != 0)
        return nullptr;
    int row;
    switch (lead) {
    case 8: row = PowerOfTwo; break;
    case 15: row = FifteenTimes; break;
    case 12: row = ThreeTimes; break;
    default: return nullptr;
    }
    const bool powerOfTwo = (length & (length - 1)) == 0;
    int column = p + (powerOfTwo ? 0 : 1) - 2; // ceil(log2 length) - 2
    if (shape == 1) {
        row += 4;
        column -= 4;
    }
    if (column < 0 || column > 8)
        return nullptr;
    return SlopeTable[row][column];
}

void RezTools_ImdctScaleForLength(int32_t *gain, int *exponent, int length)
{
    if (length < 1)
        return;
    const int p = highestBit(static_cast<uint32_t>(length));
    *exponent -= 17 + p;
    const int lead = p >= 2 ? length >> (p - 2) : length << (2 - p);
    int32_t factor = 0;
    if (lead == 6)
        factor = 0x55555555; // 2/3: 3 x 2^k
    else if (lead == 7)
        factor = 0x44444480; // 8/15: 15 x 2^k
    else if (lead == 5)
        factor = 0x66666666; // 4/5: 5 x 2^k
    if (factor == 0)
        return;
    if (*gain == 0)
        *gain = factor;
    else
        *gain = static_cast<int32_t>(static_cast<uint32_t>(rez::hiMul(*gain, factor)) << 1);
}

void RezTools_ImdctAdaptWindow(RezImdctState *state, int *slopeLength, int *flatCount, int transformLength,
                               const uint32_t *slope, int outputWanted)
{
    (void)transformLength;
    const int requested = *slopeLength;
    const bool first = state->prevLength == 0;
    if (first) {
        state->slope = slope;
        state->slopeLength = requested;
        state->flatCount = (outputWanted - requested) / 2;
        state->prevLength = outputWanted;
        state->pending = 0;
    }
    const int d = (state->slopeLength - requested) / 2;
    const int stateFlat = state->flatCount + d;
    const int callerFlat = *flatCount - d;
    if (stateFlat >= 1 || first) {
        if (callerFlat > 0 && requested < state->slopeLength) {
            *slopeLength = state->slopeLength;
            *flatCount = callerFlat;
        } else {
            state->flatCount = stateFlat;
            state->slopeLength = requested;
            state->slope = slope;
        }
    } else {
        *slopeLength = state->slopeLength;
        *flatCount = callerFlat;
    }
}

int RezTools_InverseMdct(RezImdctState *state, int32_t *output, int32_t *spectrum, const int16_t *blockScales,
                         int blockCount, int outputWanted, int transformLength, const uint32_t *leftSlope,
                         int leftSlopeLength, const uint32_t *rightSlope, int rightSlopeLength, int32_t gain,
                         int sineKind)
{
    const int n = transformLength;
    if (!state || !state->overlap || !spectrum || !blockScales || blockCount < 1 || n < 2 ||
        n > MaxTransformLength || n % 2 != 0 || !leftSlope || !rightSlope || leftSlopeLength < 2 ||
        leftSlopeLength > n || rightSlopeLength < 2 || rightSlopeLength > n || outputWanted < 0 ||
        (outputWanted > 0 && !output))
        return 0;
    const int halfN = n / 2;
    const int rightFlat = (n - rightSlopeLength) / 2;
    int baseExponent = 0;
    RezTools_ImdctScaleForLength(&gain, &baseExponent, n);

    Sink sink{output, 0, outputWanted, state->overlap, 0, 0};
    sink.pendingRoom = state->overlapSize - halfN > 0 ? state->overlapSize - halfN : 0;
    if (state->prevLength == 0 || state->pending < 0)
        state->pending = 0;
    if (state->pending > state->overlapSize)
        state->pending = state->overlapSize;
    if (outputWanted > 0) {
        const int carried = state->pending < outputWanted ? state->pending : outputWanted;
        memmove(output, state->overlap, sizeof(int32_t) * static_cast<size_t>(carried));
        sink.written = carried;
        // What did not fit stays pending, moved to the front.
        sink.pending = state->pending - carried;
        memmove(state->overlap, state->overlap + carried, sizeof(int32_t) * static_cast<size_t>(sink.pending));
    } else {
        sink.pending = state->pending;
    }
    // Samples still pending must not reach into the tail where this call saves its half.
    if (sink.pending > sink.pendingRoom)
        sink.pending = sink.pendingRoom;

    // The previous block's saved half, read backwards from its last value. The first
    // block's comes from the overlap buffer, copied so that pending samples may overwrite it.
    alignas(8) int32_t previous[MaxTransformLength / 2];
    int previousCount = state->prevLength > 0 ? state->prevLength / 2 : halfN;
    if (previousCount > state->overlapSize)
        previousCount = state->overlapSize;
    if (previousCount > MaxTransformLength / 2)
        previousCount = MaxTransformLength / 2;
    for (int i = 0; i < previousCount; ++i)
        previous[i] = state->overlap[state->overlapSize - 1 - i];
    const int32_t *prevSource = previous; // read forwards: value i is the i-th backwards
    int prevStride = 1;

    alignas(8) int32_t work[MaxTransformLength];
    for (int b = 0; b < blockCount; ++b) {
        int32_t *x = spectrum + static_cast<size_t>(b) * n;
        int slopeLength = leftSlopeLength, leftFlat = (n - leftSlopeLength) / 2;
        if (state->slopeLength != slopeLength || state->prevLength == 0)
            RezTools_ImdctAdaptWindow(state, &slopeLength, &leftFlat, n, leftSlope, outputWanted > 0 ? outputWanted : n);
        if (leftFlat < 0)
            leftFlat = 0;

        // (a) The kernel follows this block's sine bit and the previous block's.
        const int blockSine = sineKind & 1;
        int exponent = 0;
        if (!blockSine && !state->sineKind)
            RezTools_DctIV(x, n, &exponent);
        else if (!blockSine)
            RezTools_DctIII(x, work, n, &exponent);
        else if (!state->sineKind)
            RezTools_DstIII(x, work, n, &exponent);
        else
            RezTools_DstIV(x, n, &exponent);
        // (b) To the output's scale.
        const int shift = blockScales[b] + baseExponent + exponent;
        if (gain != 0)
            RezTools_ScaleValuesWithFactor(x, gain, n, shift);
        else
            RezTools_ScaleValues(x, n, shift);

        state->prevSineKind = state->sineKind;
        state->sineKind = blockSine;
        const bool previousSine = state->prevSineKind != 0, currentSine = blockSine != 0;
        auto prevAt = [&](int i) -> int32_t {
            return i < previousCount ? prevSource[i * prevStride] : 0;
        };

        // (c) Where only the previous block contributes.
        const int flat = state->flatCount > 0 ? state->flatCount : 0;
        const int slope = state->slopeLength;
        if (state->addVector && flat == slope / 2) {
            for (int i = 0; i < flat; ++i)
                sink.put(state->addVector[i] - prevAt(i));
            state->addVector = nullptr;
        } else {
            for (int i = 0; i < flat; ++i)
                sink.put(previousSine ? prevAt(i) : -prevAt(i));
        }

        // (d) The slope region: forward and mirrored halves computed together.
        const int halfSlope = slope / 2;
        int32_t region[MaxTransformLength];
        const uint32_t *w = state->slope;
        const int32_t *alt = state->altOverlap;
        // An odd slope's middle sample is its own mirror: the forward value is written last.
        for (int k = 0; k < (slope + 1) / 2; ++k) {
            const int32_t xv = x[n - halfSlope + k];
            const int32_t o = prevAt(flat + k);
            const int32_t a = static_cast<int16_t>(w[k] >> 16), bw = static_cast<int16_t>(w[k] & 0xFFFF);
            int32_t forward, mirrored;
            if (!previousSine) {
                forward = 2 * (halfMul(xv, a) - halfMul(o, bw));
                if (alt)
                    mirrored = 2 * (halfMul(alt[halfSlope - 1 - k], a) - halfMul(xv, bw));
                else if (!currentSine)
                    mirrored = -2 * (halfMul(xv, bw) + halfMul(o, a));
                else
                    mirrored = 2 * (halfMul(xv, bw) + halfMul(o, a));
            } else {
                forward = 2 * (halfMul(xv, a) + halfMul(o, bw));
                mirrored = !currentSine ? 2 * (halfMul(o, a) - halfMul(xv, bw)) : 2 * (halfMul(xv, bw) - halfMul(o, a));
            }
            region[slope - 1 - k] = mirrored;
            region[k] = forward;
        }
        state->altOverlap = nullptr;
        // (e)
        if (state->addVector) {
            for (int k = 0; k < slope; ++k)
                region[k] += state->addVector[k];
            state->addVector = nullptr;
        }
        for (int k = 0; k < slope; ++k)
            sink.put(region[k]);

        // (f) Where only this block contributes.
        for (int i = 0; i < leftFlat; ++i) {
            const int index = n - halfSlope - 1 - i;
            const int32_t v = index >= 0 ? x[index] : 0;
            sink.put(currentSine ? v : -v);
        }

        // (g) The next block continues from this one's first half, read backwards.
        state->flatCount = rightFlat;
        state->slopeLength = rightSlopeLength;
        state->slope = rightSlope;
        state->prevLength = n;
        prevSource = x + halfN - 1;
        prevStride = -1;
        previousCount = halfN;
    }

    state->pending = sink.pending;
    const int32_t *last = spectrum + static_cast<size_t>(blockCount - 1) * n;
    const int saved = state->overlapSize < halfN ? state->overlapSize : halfN;
    memcpy(state->overlap + state->overlapSize - saved, last + (halfN - saved), sizeof(int32_t) * static_cast<size_t>(saved));
    return sink.written;
}

int RezTools_ImdctFlushOverlap(RezImdctState *state, int32_t *output, int n)
{
    if (n < 1)
        return 0;
    int count = state->pending < n ? state->pending : n;
    memmove(output, state->overlap, sizeof(int32_t) * static_cast<size_t>(count));
    const int room = n - count;
    int tail = state->flatCount < room ? state->flatCount : room;
    if (tail > state->overlapSize)
        tail = state->overlapSize;
    for (int i = 0; i < tail; ++i) {
        const int32_t v = state->overlap[state->overlapSize - 1 - i];
        output[count++] = state->prevSineKind ? v : -v;
    }
    return count;
}

int RezTools_ImdctDrainPending(RezImdctState *state, int32_t *output, int n)
{
    if (n < 1)
        return 0;
    const int count = state->pending < n ? state->pending : n;
    memmove(output, state->overlap, sizeof(int32_t) * static_cast<size_t>(count));
    state->pending -= count;
    memmove(state->overlap, state->overlap + count, sizeof(int32_t) * static_cast<size_t>(state->pending));
    return count;
}

} // extern "C"
