#include "aac_conceal.h"

#include "AacDec.h"
#include "RezTools.h"

namespace {

constexpr int16_t FirstFactor = 23170;    // -3 dB in Q15
constexpr int32_t StepFactor = 46340;     // -3 dB in Q16
constexpr int32_t MaxFadeFrames = 31;
constexpr int32_t MaxMuteReleaseFrames = 63;
constexpr int16_t MaxAttenuation = 255;
// -log2(10) / 80: a quarter decibel in powers of two, Q31 with exponent 0.
constexpr int32_t QuarterDbLog2 = -89172328;
constexpr int AttenuationShift = 23;

bool within(int32_t value, int32_t lo, int32_t hi)
{
    return value >= lo && value <= hi;
}

bool keptOr(int32_t value, int32_t lo, int32_t hi)
{
    return value == AacConcealKeep || within(value, lo, hi);
}

bool attenuationsValid(const int16_t *values)
{
    if (!values)
        return true;
    for (int i = 0; i < AacConcealFactors; ++i)
        if (!within(values[i], 0, MaxAttenuation))
            return false;
    return true;
}

// 10^(-value / 80), the value scaled up by 2^23 (or 2^23 - 1) so that the product
// with the quarter-decibel step keeps its precision, to Q15.
void toFactors(const int16_t *values, int16_t *factors, int32_t scale)
{
    for (int i = 0; i < AacConcealFactors; ++i) {
        const int32_t q31 = RezTools_Exp2OfProductToQ31(QuarterDbLog2, 0, values[i] * scale, 31 - AttenuationShift);
        factors[i] = static_cast<int16_t>(q31 >> 16);
    }
}

} // namespace

void AacDec_ConcealInitParams(AacDecConcealParams *params)
{
    params->fadeOutFactors[0] = FirstFactor;
    params->fadeInFactors[0] = FirstFactor;
    for (int i = 1; i < AacConcealFactors; ++i) {
        const auto next = static_cast<int16_t>((params->fadeOutFactors[i - 1] * StepFactor) >> 16);
        params->fadeOutFactors[i] = next;
        params->fadeInFactors[i] = next;
    }
    params->method = AacConcealInterpolate;
    params->fadeOutFrames = 6;
    params->fadeInFrames = 5;
    params->muteReleaseFrames = 0;
    params->comfortNoiseLevel = 0x100000;
}

int AacDec_ConcealSetParams(AacDecConcealParams *params, int32_t method, int32_t fadeOutFrames, int32_t fadeInFrames,
                            int32_t muteReleaseFrames, int32_t comfortNoiseLevel)
{
    if (!params)
        return AACDEC_INVALID_HANDLE;
    if (!keptOr(method, AacConcealNone, AacConcealInterpolate) || !keptOr(fadeOutFrames, 0, MaxFadeFrames) ||
        !keptOr(fadeInFrames, 0, MaxFadeFrames) || !keptOr(muteReleaseFrames, 0, MaxMuteReleaseFrames) ||
        (comfortNoiseLevel != AacConcealKeep && comfortNoiseLevel < 0))
        return AACDEC_INVALID_PARAM;
    auto set = [](int32_t &field, int32_t value) {
        if (value != AacConcealKeep)
            field = value;
    };
    set(params->method, method);
    set(params->fadeOutFrames, fadeOutFrames);
    set(params->fadeInFrames, fadeInFrames);
    set(params->muteReleaseFrames, muteReleaseFrames);
    set(params->comfortNoiseLevel, comfortNoiseLevel);
    return AACDEC_OK;
}

int AacDec_ConcealSetAttenuation(AacDecConcealParams *params, const int16_t *fadeOut, const int16_t *fadeIn)
{
    if (!params)
        return AACDEC_INVALID_HANDLE;
    if ((!fadeOut && !fadeIn) || !attenuationsValid(fadeOut) || !attenuationsValid(fadeIn))
        return AACDEC_INVALID_PARAM;
    if (fadeOut)
        toFactors(fadeOut, params->fadeOutFactors, 1 << AttenuationShift);
    if (fadeIn)
        toFactors(fadeIn, params->fadeInFactors, (1 << AttenuationShift) - 1);
    return AACDEC_OK;
}

int32_t AacDec_ConcealGetMethod(const AacDecConcealParams *params)
{
    return params ? params->method : -1;
}

int32_t AacDec_ConcealGetDelay(const AacDecConcealParams *params)
{
    return params && params->method == AacConcealInterpolate ? 1 : 0;
}
