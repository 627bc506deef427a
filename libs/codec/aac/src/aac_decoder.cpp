// The AAC decoder's interface: opening and closing with the modules it owns,
// out-of-band configuration, input, and the transport callbacks that connect
// each parsed configuration to the core.
#include "aac_core.h"

namespace {

constexpr uint32_t LimiterAttackMs = 15;
constexpr uint32_t LimiterReleaseMs = 50;
constexpr int32_t LimiterThreshold = 0x7FFFFFFF;
constexpr uint32_t LimiterMaxRate = 96000;

// Frames after which downmix metadata expires: the stored time over the frame
// duration of the current configuration, rounded up.
void refreshMetadataExpiry(AacDecInstance *h)
{
    const int64_t ms = h->metadataExpiryMs;
    const int64_t rate = h->streamInfo.coreSampleRate;
    const int64_t length = h->streamInfo.coreFrameLength;
    int32_t frames = 0;
    if (ms > 0 && length > 0)
        frames = static_cast<int32_t>((ms * rate + length * 1000 - 1) / (length * 1000));
    if (h->pcmDmx)
        PcmDmx_SetParam(h->pcmDmx, PCMDMX_PARAM_EXPIRY, frames);
}

int configCallback(void *context, const AudioSpecificConfig *config, uint8_t configMode, uint8_t *configChanged)
{
    auto *h = static_cast<AacDecInstance *>(context);
    const int r = AacDec_InitFromConfig(h, config, configMode, configChanged);
    if (!RezTools_ChannelMapValidate(&h->channelMap))
        return TPDEC_UNSUPPORTED;
    if (r == 0) {
        refreshMetadataExpiry(h);
        return 0;
    }
    if (r == AACDEC_NEED_TO_RESTART)
        return TPDEC_CONFIG_NOT_READY;
    if (r < 0x2000 || r > 0x2FFF)
        return TPDEC_CALLBACK_FAILED;
    return TPDEC_UNSUPPORTED;
}

int freeMemCallback(void *context, const AudioSpecificConfig *)
{
    auto *h = static_cast<AacDecInstance *>(context);
    if (AacDec_ReleaseChannels(h, 0) != 0)
        return TPDEC_CALLBACK_FAILED;
    if (h->sbr && SbrDec_FreeElements(&h->sbr) != 0)
        return TPDEC_CALLBACK_FAILED;
    return 0;
}

} // namespace

extern "C" {

AacDecHandle AacDec_Open(int32_t transportType, uint32_t numLayers)
{
    RezSys_CheckFirstInit();
    const int32_t layers = numLayers > 1 ? 1 : static_cast<int32_t>(numLayers);
    TpDecHandle tp = TpDec_Open(transportType, 1, layers);
    if (!tp)
        return nullptr;
    AacDecInstance *h = AacDec_CreateInstance(0);
    if (!h) {
        TpDec_Close(&tp);
        return nullptr;
    }
    h->transport = tp;
    h->numLayers = layers;
    RezTools_ChannelMapInit(&h->channelMap, nullptr, 0, 0);
    TpDec_RegisterConfigCallback(tp, configCallback, h);
    TpDec_RegisterFreeMemCallback(tp, freeMemCallback, h);

    // HOOK(qmf-domain): the toolbox's RezQmfDomain is not built yet. SBR gets the
    // address of the instance's QMF request, which stands where the domain will be
    // embedded; the SBR interface of this build never reads through it.
    auto *qmfDomain = reinterpret_cast<struct RezQmfDomain *>(&h->qmfRequest);
    if (SbrDec_Open(&h->sbr, qmfDomain) != SBRDEC_OK) {
        AacDec_Close(h);
        return nullptr;
    }
    h->stereoUpmixMode = -1;
    TpDec_RegisterSbrCallback(tp, SbrDec_HeaderCallback, h->sbr);
    // HOOK(mps): no MPEG Surround decoder is linked in: without a spatial-configuration
    // callback the transport skips those configurations.

    if (PcmDmx_Open(&h->pcmDmx) != PCMDMX_OK) {
        AacDec_Close(h);
        return nullptr;
    }
    h->limiter = TdLimiter_Create(LimiterAttackMs, LimiterReleaseMs, LimiterThreshold, AacMaxChannels, LimiterMaxRate);
    if (!h->limiter) {
        AacDec_Close(h);
        return nullptr;
    }
    h->limiterEnable = 255;
    h->limiterActive = 0;
    return h;
}

void AacDec_Close(AacDecHandle h)
{
    if (!h)
        return;
    if (h->limiter)
        TdLimiter_Destroy(h->limiter);
    if (h->pcmDmx)
        PcmDmx_Close(&h->pcmDmx);
    if (h->sbr)
        SbrDec_Close(&h->sbr);
    if (h->transport)
        TpDec_Close(&h->transport);
    AacDec_DestroyInstance(h);
}

int AacDec_ConfigRaw(AacDecHandle h, const uint8_t *const buffers[], const uint32_t lengths[])
{
    if (!h || !buffers || !lengths)
        return AACDEC_INVALID_HANDLE;
    for (int layer = 0; layer < h->numLayers; ++layer) {
        if (lengths[layer] == 0)
            continue;
        const int r = TpDec_ParseConfig(h->transport, buffers[layer], lengths[layer], layer);
        if (r == TPDEC_OK)
            continue;
        if (layer > 0) {
            h->numLayers = layer;
            return AACDEC_OK;
        }
        if (r == TPDEC_CONFIG_NOT_READY)
            return AACDEC_NEED_TO_RESTART;
        return r == TPDEC_UNSUPPORTED ? AACDEC_UNSUPPORTED_FORMAT : AACDEC_UNKNOWN;
    }
    return AACDEC_OK;
}

int AacDec_Fill(AacDecHandle h, const uint8_t *const buffers[], const uint32_t sizes[], uint32_t bytesValid[])
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    if (!buffers || !sizes || !bytesValid)
        return AACDEC_UNKNOWN;
    for (int layer = 0; layer < h->numLayers; ++layer) {
        if (TpDec_FillData(h->transport, buffers[layer], sizes[layer], &bytesValid[layer], layer) != TPDEC_OK)
            return AACDEC_UNKNOWN;
    }
    return AACDEC_OK;
}

AacDecStreamInfo *AacDec_GetStreamInfo(AacDecHandle h)
{
    return AacDec_StreamInfoOf(h);
}

int AacDec_GetLibInfo(LIB_INFO *table)
{
    if (!table)
        return -1;
    SbrDec_GetLibInfo(table);
    TpDec_GetLibInfo(table);
    RezTools_GetLibInfo(table);
    PcmDmx_GetLibInfo(table);
    TdLimiter_GetLibInfo(table);
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return -1;
    RezTools_LibInfoFill(row, "AAC Decoder Lib", "16:53:57", REZ_MODULE_AAC_DECODER, 2, 12, 0x387BC5);
    return 0;
}

} // extern "C"
