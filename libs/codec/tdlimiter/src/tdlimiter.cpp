// Look-ahead peak limiter.
#include "TdLimiter.h"

#include <algorithm>
#include <cstring>

struct TdLimiterInstance
{
    uint32_t attack;           // A, samples (at least 1)
    int32_t attackCoefficient; // Q31, 0.1^(1/(A + 1))
    int32_t releaseCoefficient;
    uint32_t attackMs, releaseMs, maxAttackMs;
    int32_t threshold;         // working format
    uint32_t channels, maxChannels, sampleRate, maxSampleRate;
    int32_t minGain;           // Q30
    int32_t windowMax;
    int32_t *window;           // A_max + 1 peaks
    uint32_t windowIndex;
    int32_t *delay;            // A_max slots of all channels
    uint32_t delayIndex;
    uint32_t maxAttack;
    int32_t gain;              // Q30
    int32_t lowestGain;        // Q30
    int32_t previousTarget;    // working format, 1.0 = 0x100000
    int32_t smoothState[2];
};

namespace {

constexpr int32_t OneQ30 = 0x40000000;
constexpr int32_t OneWorking = 0x100000;
constexpr int WorkingShift = 11;
constexpr int32_t OneTenthQ31 = 0xCCCCCD0; // 0.1 with exponent 0 (0.1 * 2^31)

int32_t mulQ31(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 31);
}

int32_t mulQ30(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 30);
}

int32_t saturate32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

int16_t toPcm16(int32_t v)
{
    const int32_t s = v >> 5;
    return s > 32767 ? int16_t{32767} : (s < -32768 ? int16_t{-32768} : static_cast<int16_t>(s));
}

// 0.1^(1/(n + 1)) as plain Q31: the gain that falls to a tenth in n + 1 steps.
int32_t coefficient(uint32_t n)
{
    int e = 0;
    const int32_t m = RezTools_Power(OneTenthQ31, 0, TdLimiter_ReciprocalQ31(n + 1), 0, &e);
    if (e >= 0)
        return saturate32(static_cast<int64_t>(m) << std::min(e, 31));
    return m >> std::min(-e, 31);
}

uint32_t samplesOf(uint32_t ms, uint32_t rate)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(ms) * rate / 1000u);
}

void updateAttack(TdLimiterInstance *l)
{
    l->attack = std::clamp<uint32_t>(samplesOf(l->attackMs, l->sampleRate), 1u, l->maxAttack);
    l->attackCoefficient = coefficient(l->attack);
    if (l->windowIndex > l->attack)
        l->windowIndex = 0;
    if (l->delayIndex >= l->attack)
        l->delayIndex = 0;
}

void updateRelease(TdLimiterInstance *l)
{
    l->releaseCoefficient = coefficient(samplesOf(l->releaseMs, l->sampleRate));
}

} // namespace

int32_t TdLimiter_ReciprocalQ31(uint32_t n)
{
    if (n <= 1)
        return 0x7FFFFFFF;
    const float r = 1.0f / static_cast<float>(n);
    return static_cast<int32_t>(r * 2147483648.0f);
}

TdLimiterHandle TdLimiter_Create(uint32_t attackMs, uint32_t releaseMs, int32_t threshold, uint32_t maxChannels,
                                 uint32_t maxSampleRate)
{
    if (maxChannels == 0 || maxSampleRate == 0)
        return nullptr;
    auto *l = static_cast<TdLimiterInstance *>(RezSys_Calloc(1, sizeof(TdLimiterInstance)));
    if (!l)
        return nullptr;
    // A window of at least one sample keeps the delay line and its index arithmetic sound.
    l->maxAttack = std::max<uint32_t>(samplesOf(attackMs, maxSampleRate), 1u);
    l->window = static_cast<int32_t *>(RezSys_Calloc(l->maxAttack + 1, sizeof(int32_t)));
    l->delay = static_cast<int32_t *>(RezSys_Calloc(static_cast<size_t>(l->maxAttack) * maxChannels, sizeof(int32_t)));
    if (!l->window || !l->delay) {
        TdLimiter_Destroy(l);
        return nullptr;
    }
    l->attackMs = l->maxAttackMs = attackMs;
    l->releaseMs = releaseMs;
    l->threshold = threshold >> WorkingShift;
    l->channels = l->maxChannels = maxChannels;
    l->sampleRate = l->maxSampleRate = maxSampleRate;
    updateAttack(l);
    updateRelease(l);
    TdLimiter_Reset(l);
    return l;
}

void TdLimiter_Destroy(TdLimiterHandle l)
{
    if (!l)
        return;
    RezTools_Free1D(l->window);
    RezTools_Free1D(l->delay);
    RezTools_Free1D(l);
}

int TdLimiter_Reset(TdLimiterHandle l)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    l->windowIndex = 0;
    l->delayIndex = 0;
    l->windowMax = 0;
    l->minGain = OneQ30;
    l->gain = OneQ30;
    l->lowestGain = OneQ30;
    l->previousTarget = OneWorking;
    l->smoothState[0] = l->smoothState[1] = OneWorking;
    std::memset(l->window, 0, sizeof(int32_t) * (l->maxAttack + 1));
    std::memset(l->delay, 0, sizeof(int32_t) * l->maxAttack * l->maxChannels);
    return TDLIMIT_OK;
}

int TdLimiter_SetAttack(TdLimiterHandle l, uint32_t attackMs)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    if (attackMs > l->maxAttackMs)
        return TDLIMIT_INVALID_PARAMETER;
    l->attackMs = attackMs;
    updateAttack(l);
    return TDLIMIT_OK;
}

int TdLimiter_SetRelease(TdLimiterHandle l, uint32_t releaseMs)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    l->releaseMs = releaseMs;
    updateRelease(l);
    return TDLIMIT_OK;
}

int TdLimiter_SetThreshold(TdLimiterHandle l, int32_t threshold)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    l->threshold = threshold >> WorkingShift;
    return TDLIMIT_OK;
}

int TdLimiter_SetNumChannels(TdLimiterHandle l, uint32_t channels)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    if (channels == 0 || channels > l->maxChannels)
        return TDLIMIT_INVALID_PARAMETER;
    l->channels = channels;
    return TDLIMIT_OK;
}

int TdLimiter_SetSampleRate(TdLimiterHandle l, uint32_t sampleRate)
{
    if (!l)
        return TDLIMIT_INVALID_HANDLE;
    if (sampleRate == 0 || sampleRate > l->maxSampleRate)
        return TDLIMIT_INVALID_PARAMETER;
    l->sampleRate = sampleRate;
    updateAttack(l);
    updateRelease(l);
    return TDLIMIT_OK;
}

uint32_t TdLimiter_GetDelay(TdLimiterHandle l)
{
    return l ? l->attack : 0;
}

int32_t TdLimiter_GetLowestGain(TdLimiterHandle l)
{
    return l ? l->lowestGain : 0;
}

namespace {

// Brings the gain mantissa up by as much of the exponent as its headroom allows;
// the rest scales the samples.
int32_t normaliseGain(int32_t g, int32_t exponent, int32_t *samples, uint32_t count)
{
    if (exponent <= 0)
        return g >> std::min(-exponent, 31);
    const int s = std::min<int>(exponent, RezTools_Norm(g));
    g = static_cast<int32_t>(static_cast<uint32_t>(g) << s);
    if (s < exponent)
        RezTools_ScaleValuesSaturated(samples, static_cast<int>(count), exponent - s);
    return g;
}

} // namespace

int TdLimiter_Apply(TdLimiterHandle l, int32_t *in32, int16_t *out16, const int32_t *gainMantissa,
                    const int32_t *gainExponent, uint32_t, uint32_t smoothLength, uint32_t frames)
{
    if (!l || !in32 || !out16 || !gainMantissa || !gainExponent)
        return TDLIMIT_INVALID_HANDLE;
    const uint32_t channels = l->channels;
    const uint32_t attack = l->attack;
    const int32_t threshold = l->threshold;
    const int32_t exponent = *gainExponent;
    // The whole gain in the working format (1.0 = 0x100000), for the glide between calls.
    const int64_t scaledTarget = exponent >= 0 ? (static_cast<int64_t>(*gainMantissa) << std::min(exponent, 20)) >> WorkingShift
                                               : static_cast<int64_t>(*gainMantissa) >> std::min(WorkingShift - exponent, 63);
    const int32_t target = saturate32(scaledTarget);

    int32_t g = 0;
    if (smoothLength == 0)
        g = normaliseGain(*gainMantissa, exponent, in32, frames * channels);

    int32_t gain = l->gain;
    int32_t minGain = l->minGain;
    int32_t windowMax = l->windowMax;
    int32_t lowest = OneQ30;

    constexpr int64_t SmoothC = 0x3F60000;                         // about 0.015472 (Q32)
    constexpr int64_t SmoothKeep = (int64_t{1} << 32) - 2 * SmoothC; // about 0.969056
    for (uint32_t j = 0; j < frames; ++j) {
        int32_t *frame = in32 + static_cast<size_t>(j) * channels;
        if (smoothLength != 0) {
            const int32_t t = j < smoothLength ? l->previousTarget : target;
            const int64_t y = ((SmoothC * (static_cast<int64_t>(t) + l->smoothState[0])) >> 32)
                              + ((SmoothKeep * l->smoothState[1]) >> 32);
            l->smoothState[0] = t;
            l->smoothState[1] = saturate32(y);
            const int32_t level = l->smoothState[1];
            if (level <= 0) {
                g = 0;
            } else {
                const int n = RezTools_Norm(level);
                g = normaliseGain(level << n, WorkingShift - n, frame, channels);
            }
        }

        int32_t peak = 0;
        for (uint32_t c = 0; c < channels; ++c) {
            const int32_t v = frame[c];
            const int32_t a = v == INT32_MIN ? INT32_MAX : (v < 0 ? -v : v);
            peak = std::max(peak, a);
        }
        const int32_t p = std::max(mulQ31(peak, g), threshold);
        const int32_t leaving = l->window[l->windowIndex];
        l->window[l->windowIndex] = p;
        if (p >= windowMax) {
            windowMax = p;
        } else if (leaving >= windowMax) {
            windowMax = 0;
            for (uint32_t k = 0; k <= attack; ++k)
                windowMax = std::max(windowMax, l->window[k]);
        }
        l->windowIndex = l->windowIndex + 1 > attack ? 0 : l->windowIndex + 1;

        int32_t t = OneQ30;
        if (windowMax > threshold)
            t = RezTools_Divide(threshold, windowMax) >> 1;

        if (t < gain) {
            const int32_t v =
                static_cast<int32_t>(((static_cast<int64_t>(t - static_cast<int32_t>((static_cast<int64_t>(gain) * 0x199A0000) >> 32))
                                       * 0x471C0000) >> 30) & ~int64_t{3});
            minGain = std::min(minGain, v);
            gain = std::max(minGain + mulQ31(gain - minGain, l->attackCoefficient), t);
        } else {
            minGain = t;
            gain = t - mulQ31(t - gain, l->releaseCoefficient);
        }

        int32_t *slot = l->delay + static_cast<size_t>(l->delayIndex) * channels;
        int16_t *out = out16 + static_cast<size_t>(j) * channels;
        for (uint32_t c = 0; c < channels; ++c) {
            const int32_t leavingSample = slot[c];
            slot[c] = mulQ31(frame[c], g);
            out[c] = toPcm16(gain < OneQ30 ? mulQ30(leavingSample, gain) : leavingSample);
        }
        l->delayIndex = l->delayIndex + 1 >= attack ? 0 : l->delayIndex + 1;
        lowest = std::min(lowest, gain);
    }
    l->gain = gain;
    l->minGain = minGain;
    l->windowMax = windowMax;
    l->lowestGain = lowest;
    l->previousTarget = target;
    return TDLIMIT_OK;
}

int TdLimiter_GetLibInfo(LIB_INFO *table)
{
    if (!table)
        return TDLIMIT_INVALID_PARAMETER;
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return -1;
    RezTools_LibInfoFill(row, "TD Limiter Lib", "16:54:27", REZ_MODULE_TD_LIMITER, 2, 14, 0x2000);
    RezTools_GetLibInfo(table);
    return TDLIMIT_OK;
}

void RezTools_InterleavePcm16(const int16_t *in, int16_t *out, uint32_t channels, uint32_t channelStride,
                              uint32_t frames)
{
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t j = 0; j < frames; ++j)
            out[c + j * channels] = in[c * channelStride + j];
}

void RezTools_Interleave32(const int32_t *in, int32_t *out, uint32_t channels, uint32_t channelStride,
                           uint32_t frames)
{
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t j = 0; j < frames; ++j)
            out[c + j * channels] = in[c * channelStride + j];
}
