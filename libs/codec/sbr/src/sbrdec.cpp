// The SBR decoder's instance and parameters. No SBR element is ever created in
// this build: element initialisation refuses, so the AAC decoder plays its core
// signal unchanged; everything else keeps the state the full decoder will use.
#include "SbrDec.h"

namespace {

// Flags word bits set through parameters.
constexpr uint32_t FlagLowPower = 0x20;
constexpr uint32_t FlagConcealFrame = 0x4000;
constexpr uint32_t FlagReinit = 0x8000;
constexpr uint32_t FlagHarmonicVariant = 0x10000;
constexpr uint32_t FlagQmfHandOver = 0x200000;
constexpr uint32_t FlagMpsFollows = 0x400000;

constexpr int32_t SupportedAot[] = {2, 5, 20, 29, 42, 143, 146};

bool supportedAot(int32_t aot)
{
    for (int32_t a : SupportedAot)
        if (a == aot)
            return true;
    return false;
}

} // namespace

struct SbrDecInstance
{
    struct RezQmfDomain *qmfDomain; // not owned
    uint32_t psFromMono;
    int32_t elementCount;
    int32_t channelCount;
    uint8_t frameDelay;
    uint32_t flags;
};

extern "C" {

int SbrDec_Open(SbrDecHandle *handle, struct RezQmfDomain *qmfDomain)
{
    if (!handle)
        return SBRDEC_INVALID_ARGUMENT;
    *handle = nullptr;
    if (!qmfDomain)
        return SBRDEC_INVALID_ARGUMENT;
    auto *h = static_cast<SbrDecInstance *>(RezSys_Calloc(1, sizeof(SbrDecInstance)));
    if (!h)
        return SBRDEC_OUT_OF_MEMORY;
    h->qmfDomain = qmfDomain;
    h->frameDelay = 1;
    *handle = h;
    return SBRDEC_OK;
}

int SbrDec_Close(SbrDecHandle *handle)
{
    if (handle && *handle) {
        RezTools_Free1D(*handle);
        *handle = nullptr;
    }
    return SBRDEC_OK;
}

int SbrDec_FreeElements(SbrDecHandle *handle)
{
    if (handle && *handle) {
        (*handle)->elementCount = 0;
        (*handle)->channelCount = 0;
        (*handle)->psFromMono = 0;
    }
    return SBRDEC_OK;
}

int SbrDec_InitElement(SbrDecHandle handle, uint32_t coreRate, uint32_t outputRate, uint32_t coreFrameLength,
                       int32_t aot, int32_t elementId, int32_t elementIndex, uint8_t harmonicSbr,
                       uint8_t stereoConfigIndex, uint8_t configMode, uint8_t *configChanged,
                       uint32_t downscaleFactor, int32_t psAllowed)
{
    (void)coreRate, (void)outputRate, (void)coreFrameLength, (void)harmonicSbr, (void)stereoConfigIndex,
        (void)configMode, (void)configChanged, (void)downscaleFactor, (void)psAllowed;
    if (!handle)
        return SBRDEC_INVALID_ARGUMENT;
    if (!supportedAot(aot) || elementIndex < 0 || elementIndex >= SBRDEC_MAX_ELEMENTS)
        return SBRDEC_UNSUPPORTED;
    if (elementId != 0 && elementId != 1 && elementId != 3)
        return SBRDEC_UNSUPPORTED;
    // No SBR tool in this build: the element is refused and SBR stays off.
    return SBRDEC_UNSUPPORTED;
}

int SbrDec_HeaderCallback(void *handle, RezBitStream *bs, int32_t coreRate, int32_t outputRate,
                          int32_t coreFrameLength, int32_t aot, int32_t elementId, int32_t elementIndex,
                          uint8_t harmonicSbr, uint8_t stereoConfigIndex, uint8_t configMode,
                          uint8_t *configChanged, int32_t downscaleFactor, int32_t psAllowed)
{
    (void)bs;
    auto *h = static_cast<SbrDecInstance *>(handle);
    if (!h || elementIndex >= SBRDEC_MAX_ELEMENTS || !supportedAot(aot))
        return SBRDEC_UNSUPPORTED;
    // A check pass leaves the flags as they were, whatever the result.
    const uint32_t saved = h->flags;
    const int r = SbrDec_InitElement(h, static_cast<uint32_t>(coreRate), static_cast<uint32_t>(outputRate),
                                     static_cast<uint32_t>(coreFrameLength), aot, elementId, elementIndex, harmonicSbr,
                                     stereoConfigIndex, configMode, configChanged,
                                     static_cast<uint32_t>(downscaleFactor), psAllowed);
    if (configMode & 1)
        h->flags = saved;
    return r;
}

int SbrDec_Parse(SbrDecHandle handle, RezBitStream *bs, uint8_t *workBuffer, uint32_t workBufferSize,
                 int32_t *payloadBits, int32_t payloadLength, int32_t crcPresent, int32_t elementId,
                 int32_t elementIndex, uint32_t frameFlags, const uint32_t *elementFlags)
{
    (void)bs, (void)workBuffer, (void)workBufferSize, (void)payloadBits, (void)payloadLength, (void)crcPresent,
        (void)elementId, (void)elementIndex, (void)frameFlags, (void)elementFlags;
    if (!handle)
        return SBRDEC_INVALID_HANDLE;
    // Every slot is empty.
    return SBRDEC_INVALID_HANDLE;
}

int SbrDec_Apply(SbrDecHandle handle, const int16_t *input, int16_t *output, uint32_t outputCapacity,
                 int32_t *channels, int32_t *sampleRate, const RezChannelMap *channelMap, uint8_t channelMapRow,
                 uint8_t frameOk, uint8_t *psByte)
{
    (void)input, (void)outputCapacity, (void)channelMapRow, (void)frameOk;
    if (!handle || !output || !channels || !sampleRate || !psByte || !RezTools_ChannelMapValidate(channelMap) ||
        *channels < 1)
        return SBRDEC_INVALID_ARGUMENT;
    if (handle->elementCount == 0)
        return SBRDEC_INVALID_HANDLE;
    return SBRDEC_INVALID_HANDLE;
}

int SbrDec_SetParam(SbrDecHandle handle, int32_t id, int32_t value)
{
    if ((id == SBRDEC_PARAM_CONCEAL || id == SBRDEC_PARAM_REINIT) && value == 0)
        return SBRDEC_OK;
    if (!handle)
        return SBRDEC_INVALID_HANDLE;
    auto setFlag = [&](uint32_t bit, bool on) {
        if (on)
            handle->flags |= bit;
        else
            handle->flags &= ~bit;
    };
    switch (id) {
    case SBRDEC_PARAM_FRAME_DELAY:
        if (value < 0 || value > 1)
            return SBRDEC_INVALID_PARAM;
        handle->frameDelay = static_cast<uint8_t>(value);
        return SBRDEC_OK;
    case SBRDEC_PARAM_LOW_POWER:
        setFlag(FlagLowPower, value == 1);
        return SBRDEC_OK;
    case SBRDEC_PARAM_CONCEAL:
        setFlag(FlagConcealFrame, true);
        return SBRDEC_OK;
    case SBRDEC_PARAM_REINIT:
        setFlag(FlagReinit, true);
        return SBRDEC_OK;
    case SBRDEC_PARAM_FLUSH:
        return SBRDEC_OK; // no element has a header to flush
    case SBRDEC_PARAM_HARMONIC_VARIANT:
        setFlag(FlagHarmonicVariant, value == 1);
        return SBRDEC_OK;
    case SBRDEC_PARAM_OUTPUT_PATH:
        setFlag(FlagQmfHandOver, value == 1);
        setFlag(FlagMpsFollows, value == 2);
        return SBRDEC_OK;
    default:
        return SBRDEC_INVALID_PARAM;
    }
}

uint32_t SbrDec_GetDelay(SbrDecHandle handle)
{
    (void)handle;
    return 0; // no elements
}

int32_t SbrDec_GetChannelCount(SbrDecHandle handle, uint32_t *psFromMono)
{
    if (!handle)
        return 0;
    if (psFromMono)
        *psFromMono = handle->psFromMono;
    return handle->channelCount;
}

int SbrDec_DrcFeedGains(SbrDecHandle handle, int32_t channel, int32_t bandCount, const int32_t *gains,
                        int32_t exponent, uint16_t transition, uint8_t windowMode, const uint16_t *bandTops)
{
    (void)bandCount, (void)exponent, (void)transition, (void)windowMode, (void)bandTops;
    if (!handle)
        return SBRDEC_INVALID_HANDLE;
    if (channel < 0 || channel > 8 || !gains)
        return SBRDEC_INVALID_PARAM;
    return SBRDEC_OK;
}

void SbrDec_DrcResetChannel(SbrDecHandle handle, int32_t channel)
{
    (void)handle, (void)channel;
}

int SbrDec_GetLibInfo(LIB_INFO *table)
{
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return -1;
    RezTools_LibInfoFill(row, "SBR Decoder", "16:54:40", REZ_MODULE_SBR_DECODER, 2, 7, 319);
    return 0;
}

} // extern "C"
