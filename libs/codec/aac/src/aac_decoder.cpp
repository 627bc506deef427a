// The AAC decoder's interface: opening and closing with the modules it owns,
// out-of-band configuration, input, and the transport callbacks that connect
// each parsed configuration to the core.
#include "aac_core.h"
#include "aac_frame.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t LimiterAttackMs = 15;
constexpr uint32_t LimiterReleaseMs = 50;
constexpr int32_t LimiterThreshold = 0x7FFFFFFF;
constexpr uint32_t LimiterMaxRate = 96000;

int configCallback(void *context, const AudioSpecificConfig *config, uint8_t configMode, uint8_t *configChanged)
{
    auto *h = static_cast<AacDecInstance *>(context);
    const int r = AacDec_InitFromConfig(h, config, configMode, configChanged);
    if (!RezTools_ChannelMapValidate(&h->channelMap))
        return TPDEC_UNSUPPORTED;
    if (r == 0) {
        // Low-delay and unified-coding streams would lose what interpolation gains
        // to its frame of delay: they repeat instead, unless the user chose.
        const uint32_t delayAverse = AacFlagLowDelay | AacFlagLowDelayExtended | 0x4300;
        if (h->concealMethod == -1 && h->concealDelay != 0 && (h->flags & delayAverse))
            AacDec_ApplyConcealMethod(h, AacConcealNoise);
        AacDec_RefreshMetadataExpiry(h);
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

// Transport results the frame decoding tells apart.
constexpr int TpUnitsLost = 258;
constexpr int TpCrcMismatch = 1027;
// The limiter gain word: Q20, unity.
constexpr int32_t UnityGainQ20 = 0x100000;
// The 16-bit output stage's working samples carry 8 bits below the 16-bit word.
constexpr int OutputShift = 8;
constexpr int32_t HalfLsb = 0x4000;
constexpr int32_t Limit30 = 1 << 30;

bool isBitStreamError(int r)
{
    return r >= 0x4000 && r <= 0x4FFF;
}

// A core sample, shifted up to Q31 with saturation, to 16 bits with rounding.
int16_t toPcm16(int32_t core)
{
    const int64_t wide = static_cast<int64_t>(core) * (1 << OutputShift);
    const int32_t x = static_cast<int32_t>(wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide);
    int32_t y = (x >> 1) + HalfLsb;
    y = y < -Limit30 ? -Limit30 : y > Limit30 - 1 ? Limit30 - 1 : y;
    return static_cast<int16_t>((y * 2) >> 16);
}

// Statistics, the flags copy and the frame size of a failed frame.
int finishFrame(AacDecInstance *h, int result, uint32_t entryBits)
{
    AacDecStreamInfo &info = h->streamInfo;
    if ((result == AACDEC_OK || isBitStreamError(result)) &&
        (info.numChannels < 1 || info.frameSize < 1 || info.sampleRate < 1))
        result = AACDEC_UNKNOWN;
    info.flags = h->flags;
    RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
    const uint32_t now = bs ? RezTools_BitStreamGetValidBits(bs) : entryBits;
    const uint32_t bits = entryBits > now ? entryBits - now : 0;
    if (info.frameSize > 0 && (result == AACDEC_OK || isBitStreamError(result))) {
        const int64_t rate = static_cast<int64_t>(bits) * info.sampleRate / info.frameSize;
        info.bitRate = static_cast<int32_t>(rate > INT32_MAX ? INT32_MAX : rate);
    }
    info.totalBytes += bits >> 3;
    if (result == AACDEC_OK || isBitStreamError(result))
        ++info.totalUnits;
    if (isBitStreamError(result)) {
        info.badBytes += bits >> 3;
        ++info.badUnits;
    }
    if (result != AACDEC_OK && !isBitStreamError(result))
        info.frameSize = 0;
    return result;
}

// The planar core output, in output order, to interleaved 16-bit PCM through the
// downmix and the limiter.
int outputStage(AacDecInstance *h, int16_t *pcm, uint32_t pcmSize, uint32_t flags, int result)
{
    AacDecStreamInfo &info = h->streamInfo;
    const uint32_t n = static_cast<uint32_t>(info.frameSize);
    int32_t channels = info.numChannels;
    int32_t *time = h->timeBuffer;
    int16_t *planar = h->work->pcm16;
    for (int32_t c = 0; c < channels; ++c) {
        int32_t *x = time + c * n;
        for (uint32_t i = 0; i < n; ++i)
            x[i] = static_cast<int32_t>(toPcm16(x[i])) * (1 << OutputShift);
    }
    if (flags & (AACDEC_FLAG_RESYNC | AACDEC_FLAG_RESET))
        PcmDmx_Reset(h->pcmDmx, 2);
    int32_t headroom = 0;
    const int d = PcmDmx_ApplyFrame(h->pcmDmx, time, h->timeBufferCapacity, n, &channels, 0,
                                    reinterpret_cast<uint32_t *>(h->channelTypes), h->channelIndices, &h->channelMap,
                                    h->limiterActive ? &headroom : nullptr);
    if (d == PCMDMX_OUTPUT_TOO_SMALL)
        return AACDEC_OUTPUT_BUFFER_TOO_SMALL;
    if (d == PCMDMX_NO_RULE && result == AACDEC_OK)
        result = 0x4004;
    info.numChannels = channels;
    if (static_cast<uint64_t>(channels) * n > pcmSize)
        return AACDEC_OUTPUT_BUFFER_TOO_SMALL;
    if (flags & AACDEC_FLAG_RESET)
        TdLimiter_Reset(h->limiter);
    if (h->limiterActive) {
        TdLimiter_SetNumChannels(h->limiter, static_cast<uint32_t>(channels));
        TdLimiter_SetSampleRate(h->limiter, static_cast<uint32_t>(info.sampleRate));
        headroom += OutputShift;
        int32_t *in = time;
        if (channels > 1) {
            RezTools_Interleave32(time, h->work->interleaved, static_cast<uint32_t>(channels), n, n);
            in = h->work->interleaved;
        }
        TdLimiter_Apply(h->limiter, in, pcm, &h->limiterGain, &headroom, 0, 0, n);
        info.outputDelay += static_cast<int32_t>(TdLimiter_GetDelay(h->limiter));
    } else if (channels == 1) {
        RezTools_ConvertToPcm16(pcm, time, static_cast<int>(n), OutputShift);
    } else {
        RezTools_ConvertToPcm16(planar, time, static_cast<int>(n * static_cast<uint32_t>(channels)), OutputShift);
        RezTools_InterleavePcm16(planar, pcm, static_cast<uint32_t>(channels), n, n);
    }
    return result;
}

} // namespace

extern "C" {

int AacDec_DecodeFrame(AacDecHandle h, int16_t *pcm, int32_t pcmSize, uint32_t flags)
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    if (!pcm || pcmSize < 0)
        return AACDEC_UNKNOWN;
    AacDecStreamInfo &info = h->streamInfo;
    if (flags & AACDEC_FLAG_RESYNC)
        info.lostUnits = 0;
    info.reserved = 0;
    RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
    const uint32_t entryBits = bs ? RezTools_BitStreamGetValidBits(bs) : 0;

    // 1. The transport positions the access unit.
    const bool noInput = (flags & (AACDEC_FLAG_CONCEAL | AACDEC_FLAG_DRAIN)) != 0;
    bool unitsLost = false;
    bool transportError = false;
    if (noInput) {
        if (info.lostUnits > 0)
            --info.lostUnits;
    } else {
        for (int layer = 0; layer < h->numLayers || layer == 0; ++layer) {
            const int r = TpDec_ReadAccessUnit(h->transport, layer);
            if (r == TPDEC_OK)
                continue;
            if (r == TPDEC_NOT_ENOUGH_BITS)
                return finishFrame(h, AACDEC_NOT_ENOUGH_INPUT, entryBits);
            if (r == TpUnitsLost) {
                TpDec_GetLostUnits(&info.lostUnits, h->transport);
                unitsLost = true;
            } else if (r == TPDEC_CONFIG_NOT_READY) {
                return finishFrame(h, AACDEC_NEED_TO_RESTART, entryBits);
            } else if (r == TPDEC_UNSUPPORTED) {
                return finishFrame(h, AACDEC_UNSUPPORTED_FORMAT, entryBits);
            } else if (r == TpCrcMismatch) {
                transportError = true;
            } else {
                return finishFrame(h, AACDEC_UNKNOWN, entryBits);
            }
        }
    }
    h->frameOk = 1;
    if (unitsLost || (flags & AACDEC_FLAG_RESYNC)) {
        SbrDec_SetParam(h->sbr, 5, 1);
        if (!(flags & AACDEC_FLAG_RESYNC))
            return finishFrame(h, AACDEC_UNITS_LOST, entryBits);
    }
    if (flags & AACDEC_FLAG_RESET)
        SbrDec_SetParam(h->sbr, 4, 1);
    if ((flags & 3) == AACDEC_FLAG_DRAIN) {
        TpDec_SetParam(h->transport, 5, 1);
        info.lostUnits = 0;
        info.totalBytes = 0;
        info.badBytes = 0;
    }
    h->limiterActive = h->limiterEnable == 255 ? (h->flags & 0x430) == 0 : h->limiterEnable;
    h->limiterGain = UnityGainQ20;
    // Without the limiter the loudness normalisation goes into the spectrum.
    AacDec_DrcSetParam(&h->drc, 5, h->limiterActive ? 0 : 1);
    info.outputDelay = 0;

    // 2. The core.
    const uint32_t coreFlags = flags | (transportError ? AACDEC_FLAG_CONCEAL : 0);
    const int d = AacDec_DecodeRawDataBlock(h, coreFlags, h->timeBuffer, h->timeBufferCapacity,
                                            static_cast<uint32_t>(info.coreFrameLength));
    if (!noInput && !transportError && TpDec_EndAccessUnit(h->transport) != TPDEC_OK)
        h->frameOk = 0;
    if (d != AACDEC_OK && !isBitStreamError(d))
        return finishFrame(h, d, entryBits);
    info.sampleRate = info.coreSampleRate;
    info.frameSize = info.coreFrameLength;
    info.numChannels = info.coreChannels;
    // Interpolating concealment plays each frame one frame late.
    info.outputDelay = h->concealDelay * info.coreFrameLength;

    // 3. Output.
    return finishFrame(h, outputStage(h, pcm, static_cast<uint32_t>(pcmSize), flags, d), entryBits);
}

int AacDec_AncDataInit(AacDecHandle h, uint8_t *buffer, int32_t size)
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    return AacDec_AncDataSetBuffer(&h->ancData, buffer, size);
}

int AacDec_AncDataGet(AacDecHandle h, int32_t index, uint8_t **data, int32_t *size)
{
    if (!h)
        return AACDEC_INVALID_HANDLE;
    return AacDec_AncDataGetBlock(&h->ancData, index, data, size);
}

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
    // The default method's delay reaches the modules that line up with the core.
    AacDec_ApplyConcealMethod(h, AacDec_ConcealGetMethod(&h->concealParams));
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
