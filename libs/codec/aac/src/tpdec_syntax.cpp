// Header syntax of the carriage formats: ADTS with its CRC, ADIF, the LATM
// AudioMuxElement with its StreamMuxConfig, and the CRC of DRM super frames.
#include "aac_tables.h"
#include "tpdec.h"

#include <cstring>

namespace {

// ADTS fixed and variable header after the 12-bit sync word.
constexpr uint32_t AdtsHeaderBits = 56;
constexpr uint32_t AdtsSyncBits = 12;
constexpr uint32_t AdtsFieldBits = AdtsHeaderBits - AdtsSyncBits;
constexpr uint8_t AdtsLayerVariableRate = 0;
constexpr uint16_t AdtsVariableRate = 0x7FF;
// Frames larger than this give up waiting for the buffer to fill.
constexpr uint32_t FullnessLimitBits = 65530;

uint32_t validBits(RezBitStream *bs)
{
    return RezTools_BitStreamGetValidBits(bs);
}

void seekTo(RezBitStream *bs, int64_t target)
{
    TpDec_SeekTo(bs, target);
}

} // namespace

int TpDec_AdtsCrcStart(TpDecAdtsState *adts, RezBitStream *bs, int32_t bits)
{
    if (adts->header.protectionAbsent)
        return 0;
    return RezTools_CrcStartRegion(&adts->crc, bs, bits);
}

void TpDec_AdtsCrcEnd(TpDecAdtsState *adts, RezBitStream *bs, int region)
{
    if (!adts->header.protectionAbsent)
        RezTools_CrcEndRegion(&adts->crc, bs, region);
}

int TpDec_AdtsCrcCheck(const TpDecAdtsState *adts)
{
    if (adts->header.protectionAbsent)
        return TPDEC_OK;
    return RezTools_CrcGetValue(&adts->crc) != adts->crcWord ? TPDEC_CRC_ERROR : TPDEC_OK;
}

int TpDec_ParseAdtsHeader(TpDecAdtsState *adts, AudioSpecificConfig *config, RezBitStream *bs, int ignoreFullness)
{
    RezTools_BitStreamSync(bs);
    if (validBits(bs) < AdtsFieldBits)
        return TPDEC_NOT_ENOUGH_BITS;
    const uint32_t frameStart = validBits(bs) + AdtsSyncBits; // valid bits at the sync word

    TpDecAdtsHeader h{};
    h.mpegId = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    h.layer = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
    h.protectionAbsent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    h.profile = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
    h.samplingFrequencyIndex = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    h.privateBit = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    h.channelConfig = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 3));
    h.original = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    h.home = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    RezTools_BitStreamReadBits(bs, 2); // copyright identification bit and start
    h.frameLength = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 13));
    h.bufferFullness = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 11));
    h.numRawBlocks = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));

    auto rewind = [&]() { seekTo(bs, frameStart - AdtsSyncBits); };
    // A frame shorter than its own header cannot be skipped past: treat it as no frame.
    const uint32_t frameBits = 8u * h.frameLength;
    if (frameBits < AdtsHeaderBits + (h.protectionAbsent ? 0 : 16)) {
        seekTo(bs, frameStart);
        return TPDEC_PARSE_ERROR;
    }
    if (frameStart < frameBits) {
        rewind();
        return TPDEC_NOT_ENOUGH_BITS;
    }
    auto skipFrame = [&]() { seekTo(bs, frameStart - frameBits); };

    const int blocks = h.numRawBlocks + 1;
    uint16_t positions[AdtsMaxRawBlocks + 1] = {};
    uint16_t crcWord = 0;
    adts->header.protectionAbsent = h.protectionAbsent;
    if (!h.protectionAbsent) {
        RezTools_CrcReset(&adts->crc);
        RezTools_BitStreamPushBack(bs, AdtsHeaderBits);
        const int region = RezTools_CrcStartRegion(&adts->crc, bs, 0);
        RezTools_BitStreamPushForward(bs, AdtsHeaderBits);
        if (blocks > 1) {
            if (validBits(bs) < 16u * h.numRawBlocks) {
                rewind();
                return TPDEC_NOT_ENOUGH_BITS;
            }
            for (int i = 1; i < blocks; ++i)
                positions[i] = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 16));
            positions[blocks] = static_cast<uint16_t>(h.frameLength - 2 * h.numRawBlocks - 9);
            for (int i = blocks; i > 0; --i)
                positions[i] = static_cast<uint16_t>(positions[i] - positions[i - 1]);
        }
        RezTools_CrcEndRegion(&adts->crc, bs, region);
        if (validBits(bs) < 16) {
            rewind();
            return TPDEC_NOT_ENOUGH_BITS;
        }
        crcWord = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 16));
        if (blocks > 1) {
            if (RezTools_CrcGetValue(&adts->crc) != crcWord)
                return TPDEC_CRC_ERROR;
            RezTools_CrcReset(&adts->crc);
        }
    }

    if (h.layer != AdtsLayerVariableRate || h.samplingFrequencyIndex >= 13 || (h.mpegId == 0 && !adts->acceptMpeg4)) {
        skipFrame();
        return TPDEC_UNSUPPORTED;
    }

    if (!ignoreFullness && h.bufferFullness != AdtsVariableRate && adts->fullnessPending) {
        const uint32_t required =
            (h.frameLength + h.bufferFullness * AacTables::adtsChannelCount[h.channelConfig] * 4u) * 8u;
        if (frameStart < required) {
            const uint32_t headerBits = frameStart - validBits(bs);
            rewind();
            return required + headerBits < FullnessLimitBits ? TPDEC_NOT_ENOUGH_BITS : TPDEC_SYNC_LOST;
        }
        adts->fullnessPending = 0;
    }

    AacDec_ClearConfig(config);
    config->frameLength = 1024;
    config->aot = h.profile + 1;
    config->samplingFrequencyIndex = h.samplingFrequencyIndex;
    config->sampleRate = AacTables::samplingFrequency[h.samplingFrequencyIndex];
    config->channelConfig = h.channelConfig;

    uint32_t pceBits = 0;
    if (h.channelConfig == 0) {
        if (RezTools_BitStreamReadBits(bs, 3) == static_cast<uint32_t>(AacIdPce)) {
            const uint32_t before = validBits(bs);
            adts->header.protectionAbsent = h.protectionAbsent;
            const int region = TpDec_AdtsCrcStart(adts, bs, 0);
            AacDec_ParseProgramConfig(&config->pce, bs, before + 3);
            TpDec_AdtsCrcEnd(adts, bs, region);
            pceBits = before - validBits(bs) + 3;
            adts->havePce = config->pce.isValid;
            if (config->pce.isValid)
                adts->pce = config->pce;
        } else {
            RezTools_BitStreamPushBack(bs, 3);
            const TpDecAdtsHeader &previous = adts->header;
            if (adts->havePce && previous.samplingFrequencyIndex == h.samplingFrequencyIndex &&
                previous.channelConfig == h.channelConfig && previous.mpegId == h.mpegId) {
                config->pce = adts->pce;
            } else if (h.mpegId == 0) {
                skipFrame();
                return TPDEC_UNSUPPORTED;
            }
        }
    }
    if (RezTools_BitStreamGetOverrun(bs)) {
        rewind();
        return TPDEC_NOT_ENOUGH_BITS;
    }

    adts->header = h;
    adts->pceBits = pceBits;
    adts->crcWord = crcWord;
    std::memcpy(adts->blockPosition, positions + 1, sizeof(adts->blockPosition));
    return TPDEC_OK;
}

int32_t TpDec_GetAdtsAccessUnitLength(const TpDecAdtsState *adts, int blockIndex)
{
    const TpDecAdtsHeader &h = adts->header;
    int32_t length;
    if (h.numRawBlocks == 0)
        length = 8 * h.frameLength - static_cast<int32_t>(AdtsHeaderBits) - (h.protectionAbsent ? 0 : 16);
    else if (!h.protectionAbsent && blockIndex >= 0 && blockIndex < AdtsMaxRawBlocks)
        length = 8 * adts->blockPosition[blockIndex] - 16;
    else
        return -1;
    if (blockIndex == 0 && length > 0)
        length -= static_cast<int32_t>(adts->pceBits);
    return length;
}

int TpDec_ParseAdifHeader(TpDecAdifHeader *adif, AacPce *pce, RezBitStream *bs)
{
    RezTools_BitStreamSync(bs);
    const uint32_t start = validBits(bs);
    if (start < 63)
        return TPDEC_NOT_ENOUGH_BITS;
    if (RezTools_BitStreamReadBits(bs, 32) != 0x41444946u) // "ADIF"
        return TPDEC_SYNC_LOST;
    *adif = TpDecAdifHeader{};
    adif->idPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    if (adif->idPresent) {
        RezTools_BitStreamPushForward(bs, 64);
        RezTools_BitStreamPushForward(bs, 8);
    }
    adif->original = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    adif->home = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    adif->bitstreamType = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    adif->bitRate = RezTools_BitStreamReadBits(bs, 16) << 7;
    adif->bitRate |= RezTools_BitStreamReadBits(bs, 7);
    adif->numPce = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4) + 1);
    for (uint8_t i = 0; i < adif->numPce && !RezTools_BitStreamGetOverrun(bs); ++i) {
        if (adif->bitstreamType == 0)
            RezTools_BitStreamPushForward(bs, 20);
        AacDec_ParseProgramConfig(pce, bs, start);
    }
    RezTools_BitStreamByteAlign(bs, start);
    return RezTools_BitStreamGetOverrun(bs) ? TPDEC_NOT_ENOUGH_BITS : TPDEC_OK;
}

uint32_t TpDec_LatmGetValue(RezBitStream *bs)
{
    const uint32_t bytes = RezTools_BitStreamReadBits(bs, 2) + 1;
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        value = value << 8 | RezTools_BitStreamReadBits(bs, 8);
    return value;
}

int TpDec_ParseStreamMuxConfig(RezBitStream *bs, TpDecLatmState *latm, const TpDecCallbacks *callbacks,
                               AudioSpecificConfig *config, uint8_t *configFound, uint8_t configMode,
                               uint8_t configChanged)
{
    *configFound = 0;
    const uint32_t keepLength = latm->audioMuxLengthBytes;
    auto fail = [&](int code) {
        *latm = TpDecLatmState{};
        latm->audioMuxLengthBytes = keepLength;
        return code;
    };
    latm->audioMuxVersion = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    latm->audioMuxVersionA = 0;
    if (latm->audioMuxVersion) {
        latm->audioMuxVersionA = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        if (latm->audioMuxVersionA)
            return fail(TPDEC_UNSUPPORTED);
        latm->taraBufferFullness = TpDec_LatmGetValue(bs);
    }
    latm->allStreamsSameTimeFraming = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    latm->numSubFrames = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 6) + 1);
    latm->numPrograms = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4) + 1);
    if (latm->numPrograms != 1)
        return fail(TPDEC_UNSUPPORTED);
    latm->numLayers = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 3) + 1);
    if (latm->numLayers != LatmMaxLayers)
        return fail(TPDEC_UNSUPPORTED);

    TpDecLatmLayer &layer = latm->layers[0];
    layer = TpDecLatmLayer{};
    layer.streamId = 0;
    // The first layer of the first programme always carries its configuration.
    if (latm->audioMuxVersion) {
        const uint32_t ascLen = TpDec_LatmGetValue(bs);
        if (ascLen > validBits(bs))
            return fail(TPDEC_PARSE_ERROR);
        RezBitStream copy = *bs;
        RezTools_BitStreamSync(&copy);
        // The copy sees only the configuration's bits.
        const uint32_t cut = validBits(&copy) - ascLen;
        copy.bitBuffer.validBits -= cut;
        const int r = AacDec_ParseAudioSpecificConfig(config, &copy, 1, callbacks, configMode, configChanged);
        if (r != TPDEC_OK)
            return fail(r);
        RezTools_BitStreamPushForward(bs, ascLen);
    } else {
        const int r = AacDec_ParseAudioSpecificConfig(config, bs, 0, callbacks, configMode, configChanged);
        if (r != TPDEC_OK)
            return fail(r);
    }
    layer.newlyConfigured = 1;

    layer.frameLengthType = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 3));
    if (layer.frameLengthType == 0) {
        layer.bufferFullness = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    } else if (layer.frameLengthType == 1) {
        layer.frameLength = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 9));
    } else {
        return fail(TPDEC_PARSE_ERROR);
    }

    latm->otherDataPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    latm->otherDataLenBits = 0;
    if (latm->otherDataPresent) {
        if (latm->audioMuxVersion) {
            latm->otherDataLenBits = TpDec_LatmGetValue(bs);
        } else {
            // At most four bytes of length: the value fits 32 bits.
            for (int i = 0; i < 4; ++i) {
                const uint32_t escape = RezTools_BitStreamReadBit(bs);
                latm->otherDataLenBits = (latm->otherDataLenBits << 8) + RezTools_BitStreamReadBits(bs, 8);
                if (!escape)
                    break;
            }
        }
        if (latm->otherDataLenBits / 8 > latm->audioMuxLengthBytes)
            return fail(TPDEC_PARSE_ERROR);
    }
    latm->crcCheckPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    if (latm->crcCheckPresent)
        RezTools_BitStreamReadBits(bs, 8);
    if (RezTools_BitStreamGetOverrun(bs))
        return fail(TPDEC_NOT_ENOUGH_BITS);

    if (layer.newlyConfigured && callbacks && callbacks->config) {
        const int r = callbacks->config(callbacks->configContext, config, configMode, &config->configChanged);
        if (r == TPDEC_CONFIG_NOT_READY)
            return fail(TPDEC_CONFIG_NOT_READY);
        if (r != 0)
            return fail(TPDEC_SYNC_LOST);
    }
    latm->configured = 1;
    *configFound = 1;
    return TPDEC_OK;
}

int TpDec_ParsePayloadLengthInfo(RezBitStream *bs, TpDecLatmState *latm)
{
    if (!latm->allStreamsSameTimeFraming)
        return TPDEC_PARSE_ERROR;
    uint32_t total = 0;
    for (int i = 0; i < latm->numLayers && i < LatmMaxLayers; ++i) {
        TpDecLatmLayer &layer = latm->layers[i];
        if (layer.frameLengthType != 0)
            return TPDEC_PARSE_ERROR;
        // A run of 255s: bounded by the data, as each step reads 8 bits.
        uint32_t bytes = 0;
        for (;;) {
            const uint32_t tmp = RezTools_BitStreamReadBits(bs, 8);
            bytes += tmp;
            if (tmp != 255 || RezTools_BitStreamGetOverrun(bs))
                break;
        }
        layer.payloadBits = 8 * bytes;
        total += layer.payloadBits;
    }
    if (RezTools_BitStreamGetOverrun(bs))
        return TPDEC_NOT_ENOUGH_BITS;
    if (latm->audioMuxLengthBytes > 0 && total > 8 * latm->audioMuxLengthBytes)
        return TPDEC_PARSE_ERROR;
    return TPDEC_OK;
}

int TpDec_ParseAudioMuxElement(RezBitStream *bs, TpDecLatmState *latm, int32_t type, const TpDecCallbacks *callbacks,
                               AudioSpecificConfig *config, int ignoreFullness, uint8_t *configFound)
{
    *configFound = 0;
    if (validBits(bs) < 9)
        return TPDEC_NOT_ENOUGH_BITS;
    if (type == TPDEC_TYPE_LATM_MCP1 || type == TPDEC_TYPE_LOAS) {
        const uint32_t useSameStreamMux = RezTools_BitStreamReadBit(bs);
        if (!useSameStreamMux) {
            RezTools_BitStreamSync(bs);
            const uint32_t start = validBits(bs);
            uint8_t changed = 0;
            for (uint8_t mode = 1; mode <= 2; ++mode) {
                if (mode == 2)
                    RezTools_BitStreamPushBack(bs, start - validBits(bs));
                const int r = TpDec_ParseStreamMuxConfig(bs, latm, callbacks, config, configFound, mode, changed);
                if (r != TPDEC_OK)
                    return r;
                if (mode == 1 && (config->configChanged || config->sbrConfigChanged || config->mpsConfigChanged)) {
                    changed = 1;
                    if (callbacks && callbacks->freeMem &&
                        callbacks->freeMem(callbacks->freeMemContext, config) != 0)
                        return TPDEC_PARSE_ERROR;
                }
            }
        }
    }
    if (!latm->configured)
        return TPDEC_SYNC_LOST;
    if (latm->audioMuxVersionA == 0) {
        const int r = TpDec_ParsePayloadLengthInfo(bs, latm);
        if (r == TPDEC_NOT_ENOUGH_BITS)
            return r;
        if (r != TPDEC_OK)
            return TPDEC_UNSUPPORTED;
    }
    if (!ignoreFullness && latm->layers[0].bufferFullness != 255 && !latm->fullnessPassed) {
        if (validBits(bs) < config->channelConfig * latm->layers[0].bufferFullness * 32u + 24u)
            return TPDEC_NOT_ENOUGH_BITS;
        latm->fullnessPassed = 1;
    }
    return TPDEC_OK;
}

void TpDec_DrmInit(TpDecDrmState *drm)
{
    RezTools_CrcInit(&drm->crc, 0x1D, 0xFF, 8);
    drm->crcByte = 0;
    drm->crcRegion = 0;
}

int TpDec_DrmCrcStart(TpDecDrmState *drm, RezBitStream *bs)
{
    drm->crcByte = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    RezTools_CrcReset(&drm->crc);
    drm->crcRegion = RezTools_CrcStartRegion(&drm->crc, bs, 0);
    return drm->crcRegion;
}

void TpDec_DrmCrcEnd(TpDecDrmState *drm, RezBitStream *bs)
{
    RezTools_CrcEndRegion(&drm->crc, bs, drm->crcRegion);
}

int TpDec_DrmCrcCheck(const TpDecDrmState *drm)
{
    return (RezTools_CrcGetValue(&drm->crc) ^ 0xFF) != drm->crcByte ? TPDEC_CRC_ERROR : TPDEC_OK;
}
