// The settable parameters of an AAC decoder: limiter, downmix, concealment,
// transport and the stereo-upmix and surround switches.
#include "aac_core.h"

#include <cstdint>

namespace {

// A limiter call given this value reports a missing limiter.
constexpr int32_t LimiterMissing = -99;
constexpr int32_t DownmixExpiryMs = 550;

bool within(int32_t value, int32_t lo, int32_t hi)
{
    return value >= lo && value <= hi;
}

int fromDownmix(int r)
{
    if (r == PCMDMX_OK)
        return AACDEC_OK;
    return r == PCMDMX_INVALID_HANDLE ? AACDEC_INVALID_HANDLE : AACDEC_INVALID_PARAM;
}

} // namespace

int AacDec_ApplyConcealMethod(AacDecInstance *h, int32_t method)
{
    AacDecConcealParams &params = h->concealParams;
    if ((h->flags & 0x4300) && method >= AacConcealInterpolate) {
        // Unified-coding streams cannot afford interpolation's frame of delay: no
        // method stays chosen, and nothing is left waiting for a delayed frame.
        AacDec_ConcealSetParams(&params, AacConcealNone, AacConcealKeep, AacConcealKeep, AacConcealKeep,
                                AacConcealKeep);
        SbrDec_SetParam(h->sbr, SBRDEC_PARAM_FRAME_DELAY, 0);
        PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_DELAY, 0);
        h->concealDelay = 0;
        return AACDEC_INVALID_PARAM;
    }
    const int32_t oldMethod = AacDec_ConcealGetMethod(&params);
    const int32_t oldDelay = AacDec_ConcealGetDelay(&params);
    const int r = AacDec_ConcealSetParams(&params, method, AacConcealKeep, AacConcealKeep, AacConcealKeep,
                                          AacConcealKeep);
    if (r != AACDEC_OK)
        return r;
    const int32_t delay = AacDec_ConcealGetDelay(&params);
    const int s = SbrDec_SetParam(h->sbr, SBRDEC_PARAM_FRAME_DELAY, delay);
    const int d = PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_DELAY, delay);
    if ((s == SBRDEC_OK || s == 3) && d == PCMDMX_OK) {
        h->concealDelay = delay;
        return AACDEC_OK;
    }
    AacDec_ConcealSetParams(&params, oldMethod, AacConcealKeep, AacConcealKeep, AacConcealKeep, AacConcealKeep);
    SbrDec_SetParam(h->sbr, SBRDEC_PARAM_FRAME_DELAY, oldDelay);
    PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_DELAY, oldDelay);
    return d == PCMDMX_INVALID_HANDLE ? AACDEC_INVALID_HANDLE : AACDEC_INVALID_PARAM;
}

namespace {

int setConcealField(AacDecInstance *h, int32_t id, int32_t value)
{
    const int32_t k = AacConcealKeep;
    AacDecConcealParams &p = h->concealParams;
    switch (id) {
    case AACDEC_PARAM_CONCEAL_FADE_OUT_FRAMES: return AacDec_ConcealSetParams(&p, k, value, k, k, k);
    case AACDEC_PARAM_CONCEAL_FADE_IN_FRAMES: return AacDec_ConcealSetParams(&p, k, k, value, k, k);
    case AACDEC_PARAM_CONCEAL_MUTE_RELEASE_FRAMES: return AacDec_ConcealSetParams(&p, k, k, k, value, k);
    default: return AacDec_ConcealSetParams(&p, k, k, k, k, value);
    }
}

// Most output channels, as a channel layout code (-1 or 0: no limit).
int setOutputChannels(AacDecInstance *h, int32_t layout)
{
    int channels = 0;
    if (layout > 0 && RezTools_ChannelElementCount(static_cast<uint32_t>(layout), &channels) != 0)
        return AACDEC_INVALID_PARAM;
    if (int r = fromDownmix(PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_MIN_CHANNELS, channels)))
        return r;
    if (int r = fromDownmix(PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_MAX_CHANNELS, channels)))
        return r;
    AacDec_DrcSetParam(&h->drc, 9, channels);
    // The surround stage knows output modes only for these counts.
    return channels == 0 || channels == 1 || channels == 2 || channels == 6 || channels == 8 ? AACDEC_OK
                                                                                              : AACDEC_INVALID_PARAM;
}

} // namespace

void AacDec_RefreshMetadataExpiry(AacDecInstance *h)
{
    const int64_t ms = h->metadataExpiryMs;
    const int64_t rate = h->streamInfo.coreSampleRate;
    const int64_t length = h->streamInfo.coreFrameLength;
    int32_t frames = 0;
    if (ms > 0 && length > 0)
        frames = static_cast<int32_t>((ms * rate + length * 1000 - 1) / (length * 1000));
    AacDec_DrcSetParam(&h->drc, 4, frames);
    if (h->pcmDmx)
        PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_EXPIRY, frames);
}

extern "C" {

int AacDec_SetParam(AacDecHandle h, int32_t id, int32_t value)
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    switch (id) {
    case AACDEC_PARAM_CHANNEL_MAP:
        if (!within(value, 0, 1))
            return AACDEC_INVALID_PARAM;
        RezTools_ChannelMapPassthrough(&h->channelMap, value ? 0 : 1);
        return AACDEC_OK;
    case AACDEC_PARAM_SURROUND_STEREO:
        return fromDownmix(PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_SURROUND_STEREO, value));
    case AACDEC_PARAM_LIMITER_ENABLE:
        if (!within(value, -1, 1))
            return AACDEC_INVALID_PARAM;
        h->limiterEnable = static_cast<uint8_t>(value < 0 ? 255 : value);
        return AACDEC_OK;
    case AACDEC_PARAM_LIMITER_ATTACK:
    case AACDEC_PARAM_LIMITER_RELEASE: {
        if (value < 1)
            return AACDEC_INVALID_PARAM;
        const uint32_t ms = static_cast<uint32_t>(value);
        const int r = id == AACDEC_PARAM_LIMITER_ATTACK ? TdLimiter_SetAttack(h->limiter, ms)
                                                        : TdLimiter_SetRelease(h->limiter, ms);
        if (r == LimiterMissing)
            return AACDEC_INVALID_HANDLE;
        return r == 0 ? AACDEC_OK : AACDEC_INVALID_PARAM;
    }
    case AACDEC_PARAM_DOWNMIX_MODE: {
        if (!within(value, 0, 3))
            return AACDEC_INVALID_PARAM;
        if (int r = fromDownmix(PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_MODE, value)))
            return r;
        if (value == 3) {
            h->metadataExpiryMs = DownmixExpiryMs;
            AacDec_RefreshMetadataExpiry(h);
        }
        return AACDEC_OK;
    }
    case AACDEC_PARAM_METADATA_EXPIRY:
        if (value < 0)
            return AACDEC_INVALID_PARAM;
        h->metadataExpiryMs = value;
        AacDec_RefreshMetadataExpiry(h);
        return AACDEC_OK;
    case AACDEC_PARAM_CONCEAL_METHOD: {
        const int r = AacDec_ApplyConcealMethod(h, value);
        if (r == AACDEC_OK)
            h->concealMethod = value;
        return r;
    }
    case AACDEC_PARAM_CONCEAL_FADE_OUT_FRAMES:
    case AACDEC_PARAM_CONCEAL_FADE_IN_FRAMES:
    case AACDEC_PARAM_CONCEAL_MUTE_RELEASE_FRAMES:
    case AACDEC_PARAM_CONCEAL_COMFORT_NOISE:
        return setConcealField(h, id, value);
    case AACDEC_PARAM_DRC_BOOST: return AacDec_DrcSetParam(&h->drc, 1, value);
    case AACDEC_PARAM_DRC_CUT: return AacDec_DrcSetParam(&h->drc, 0, value);
    case AACDEC_PARAM_DRC_TARGET_LEVEL:
        if (value != -1 && !within(value, 40, 127))
            return AACDEC_INVALID_PARAM;
        return AacDec_DrcSetParam(&h->drc, 2, value);
    case AACDEC_PARAM_DRC_HEAVY: return AacDec_DrcSetParam(&h->drc, 6, value);
    case AACDEC_PARAM_DRC_DEFAULT_PRESENTATION: return AacDec_DrcSetParam(&h->drc, 7, value);
    case AACDEC_PARAM_DRC_ENCODER_TARGET: return AacDec_DrcSetParam(&h->drc, 8, value);
    case AACDEC_PARAM_STEREO_UPMIX:
        if (!within(value, -1, 1))
            return AACDEC_INVALID_PARAM;
        h->stereoUpmixMode = value;
        return AACDEC_OK;
    case AACDEC_PARAM_QMF_RESAMPLING:
        // Resampling in the QMF domain is not built: only "off" is taken.
        return value == 0 ? AACDEC_OK : AACDEC_INVALID_PARAM;
    case AACDEC_PARAM_SURROUND_ENABLE:
        if (!within(value, 0, 1))
            return AACDEC_INVALID_PARAM;
        h->mpsEnableParam = static_cast<uint8_t>(value);
        return AACDEC_OK;
    case AACDEC_PARAM_TP_LOOK_AHEAD_ALL: return TpDec_SetParam(h->transport, 1, value) ? AACDEC_INVALID_PARAM : 0;
    case AACDEC_PARAM_TP_IGNORE_FULLNESS: return TpDec_SetParam(h->transport, 3, value) ? AACDEC_INVALID_PARAM : 0;
    case AACDEC_PARAM_TP_LOOK_AHEAD_CONFIG: return TpDec_SetParam(h->transport, 2, value) ? AACDEC_INVALID_PARAM : 0;
    case AACDEC_PARAM_TP_BIT_RATE: return TpDec_SetParam(h->transport, 4, value) ? AACDEC_INVALID_PARAM : 0;
    case AACDEC_PARAM_TP_BUFFERING_MS: return TpDec_SetParam(h->transport, 6, value) ? AACDEC_INVALID_PARAM : 0;
    case AACDEC_PARAM_TP_RESET_INPUT:
        TpDec_SetParam(h->transport, 5, 1);
        h->streamInfo.lostUnits = 0;
        h->streamInfo.totalBytes = 0;
        h->streamInfo.badBytes = 0;
        return AACDEC_OK;
    case AACDEC_PARAM_SBR_HARMONIC:
        if (!within(value, 0, 1))
            return AACDEC_INVALID_PARAM;
        return SbrDec_SetParam(h->sbr, SBRDEC_PARAM_HARMONIC_VARIANT, value) ? AACDEC_INVALID_PARAM : AACDEC_OK;
    case AACDEC_PARAM_OUTPUT_CHANNELS:
        return setOutputChannels(h, value);
    default:
        break;
    }
    // The surround decoder's own parameters: no surround decoder is built in.
    if (id == AACDEC_PARAM_SURROUND_BINAURAL || (id >= 1284 && id <= 1289) || id == 1296)
        return AACDEC_INVALID_HANDLE;
    return AACDEC_INVALID_PARAM;
}

int AacDec_SetParamArray(AacDecHandle h, int32_t id, const int16_t *values)
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    if (id == AACDEC_PARAM_CONCEAL_FADE_OUT_TABLE)
        return AacDec_ConcealSetAttenuation(&h->concealParams, values, nullptr);
    if (id == AACDEC_PARAM_CONCEAL_FADE_IN_TABLE)
        return AacDec_ConcealSetAttenuation(&h->concealParams, nullptr, values);
    return AACDEC_INVALID_PARAM;
}

} // extern "C"
