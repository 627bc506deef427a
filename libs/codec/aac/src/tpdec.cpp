// The transport decoder's instance, input, configuration passes and access-unit
// framing.
#include "aac_tables.h"
#include "tpdec.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t AdtsSyncWord = 0xFFF;
constexpr uint32_t AdtsSyncBits = 12;
constexpr uint32_t LoasSyncWord = 0x2B7;
constexpr uint32_t LoasSyncBits = 11;
constexpr uint32_t LoasLengthBits = 13;

bool isStreamType(int32_t type)
{
    return type == TPDEC_TYPE_ADIF || type == TPDEC_TYPE_ADTS || type == TPDEC_TYPE_LOAS;
}

uint32_t validBits(TpDecHandle tp)
{
    return RezTools_BitStreamGetValidBits(&tp->bs);
}

void seekTo(TpDecHandle tp, int64_t target)
{
    TpDec_SeekTo(&tp->bs, target);
}

int callConfig(TpDecHandle tp, AudioSpecificConfig *config, uint8_t mode)
{
    if (!tp->callbacks.config)
        return 0;
    return tp->callbacks.config(tp->callbacks.configContext, config, mode, &config->configChanged);
}

int callFreeMem(TpDecHandle tp, const AudioSpecificConfig *config)
{
    if (!tp->callbacks.freeMem)
        return 0;
    return tp->callbacks.freeMem(tp->callbacks.freeMemContext, config);
}

bool anyChange(const AudioSpecificConfig &c)
{
    return c.configChanged || c.sbrConfigChanged || c.mpsConfigChanged;
}

// ADTS header with its two configuration passes (the header itself is read twice,
// the second time applying). Returns the access-unit length through *auLength.
int readAdtsHeader(TpDecHandle tp, uint32_t syncStart, uint8_t *configFound)
{
    int r = TPDEC_OK;
    uint8_t changed = 0;
    for (uint8_t mode = 1; mode <= 2; ++mode) {
        if (mode == 2)
            seekTo(tp, syncStart - AdtsSyncBits);
        r = TpDec_ParseAdtsHeader(&tp->adts, &tp->config, &tp->bs,
                                  (tp->flags & TpFlagIgnoreFullness) ? 1 : 0);
        if (r == TPDEC_NOT_ENOUGH_BITS || (r >= 512 && r <= 517))
            break;
        if (r != TPDEC_OK) {
            // A refused frame has been skipped and is reported as such.
            if (r != TPDEC_UNSUPPORTED)
                r = TPDEC_SYNC_LOST;
            break;
        }
        tp->config.configMode = mode;
        tp->config.configChanged = mode == 2 ? changed : 0;
        const int c = callConfig(tp, &tp->config, mode);
        if (c == TPDEC_CONFIG_NOT_READY) {
            r = c;
            break;
        }
        if (c != 0) {
            r = TPDEC_SYNC_LOST;
            break;
        }
        tp->blocksLeft = tp->adts.header.numRawBlocks + 1;
        *configFound = 1;
        if (mode == 1 && anyChange(tp->config)) {
            changed = 1;
            if (callFreeMem(tp, &tp->config) != 0) {
                r = TPDEC_PARSE_ERROR;
                break;
            }
        }
        tp->config.configChanged = changed;
    }
    if (r != TPDEC_OK)
        tp->blocksLeft = 0;
    return r;
}

// Reads the transport header of the next access unit (ADTS, LATM, LOAS).
// *payloadBits: bits of the transport frame still to come.
int readHeader(TpDecHandle tp, int ignoreFullness, int32_t *payloadBits, uint8_t *configFound)
{
    *configFound = 0;
    if (tp->type == TPDEC_TYPE_ADTS) {
        if (tp->blocksLeft > 0) {
            RezTools_CrcReset(&tp->adts.crc);
            tp->adts.pceBits = 0;
        } else {
            // The sync word has been read: the header starts 12 bits back.
            tp->headerStart = validBits(tp);
            const int r = readAdtsHeader(tp, tp->headerStart + AdtsSyncBits, configFound);
            if (r != TPDEC_OK)
                return r;
        }
        --tp->blocksLeft;
        const int block = tp->adts.header.numRawBlocks - tp->blocksLeft;
        tp->auLength = TpDec_GetAdtsAccessUnitLength(&tp->adts, block);
        const int64_t read = static_cast<int64_t>(tp->headerStart) - validBits(tp);
        *payloadBits = static_cast<int32_t>(8 * tp->adts.header.frameLength - AdtsSyncBits - read);
        return *payloadBits < 1 ? TPDEC_SYNC_LOST : TPDEC_OK;
    }

    // LATM and LOAS.
    TpDecLatmState &latm = tp->latm;
    if (latm.subFramesLeft == 0) {
        if (tp->type == TPDEC_TYPE_LOAS) {
            latm.audioMuxLengthBytes = RezTools_BitStreamReadBits(&tp->bs, LoasLengthBits);
            *payloadBits = static_cast<int32_t>(8 * latm.audioMuxLengthBytes);
            if (validBits(tp) < 8 * latm.audioMuxLengthBytes)
                return TPDEC_NOT_ENOUGH_BITS;
        }
        tp->headerStart = validBits(tp);
        const int r = TpDec_ParseAudioMuxElement(&tp->bs, &latm, tp->type, &tp->callbacks, &tp->config,
                                                 ignoreFullness, configFound);
        if (r != TPDEC_OK) {
            tp->blocksLeft = 0;
            latm.subFramesLeft = 0;
            if (r == TPDEC_NOT_ENOUGH_BITS || (r >= 512 && r <= 517))
                return r;
            return TPDEC_SYNC_LOST;
        }
        latm.subFramesLeft = latm.numSubFrames;
        if (tp->type == TPDEC_TYPE_LOAS)
            *payloadBits = static_cast<int32_t>(8 * latm.audioMuxLengthBytes) -
                           static_cast<int32_t>(tp->headerStart - validBits(tp));
    } else {
        const int r = TpDec_ParsePayloadLengthInfo(&tp->bs, &latm);
        if (r != TPDEC_OK) {
            latm.subFramesLeft = 0;
            tp->blocksLeft = 0;
            return TPDEC_SYNC_LOST;
        }
    }
    tp->blocksLeft = latm.subFramesLeft;
    int32_t length = 0;
    for (int i = 0; i < latm.numLayers && i < LatmMaxLayers; ++i)
        length += static_cast<int32_t>(latm.layers[i].payloadBits);
    tp->auLength = length;
    --latm.subFramesLeft;
    --tp->blocksLeft;
    return TPDEC_OK;
}

// The fullness test: enough data for the buffering time, so that playback does
// not starve right after synchronising.
int fullnessTest(TpDecHandle tp, uint32_t auLength)
{
    const AudioSpecificConfig &c = tp->config;
    if (tp->bitRate == 0 || tp->bufferingMs == 0 || c.sampleRate == 0 || c.frameLength == 0)
        return TPDEC_OK;
    const uint64_t frames64 =
        (static_cast<uint64_t>(tp->bufferingMs) * c.sampleRate + c.frameLength * 1000ull - 1) / (c.frameLength * 1000ull);
    const int64_t frames = static_cast<int64_t>(frames64) - tp->framesChecked;
    const uint64_t bitsPerFrame =
        (static_cast<uint64_t>(tp->bitRate) * c.frameLength + c.sampleRate - 1) / c.sampleRate;
    int64_t required = (frames > 1 ? frames - 1 : 0) * static_cast<int64_t>(bitsPerFrame) + auLength;
    if (isStreamType(tp->type) || tp->type == TPDEC_TYPE_LATM_MCP0 || tp->type == TPDEC_TYPE_LATM_MCP1)
        required += 31;
    if (required > TpDecMaxFrameBits)
        return TPDEC_SYNC_LOST;
    if (validBits(tp) < required) {
        ++tp->framesChecked;
        return TPDEC_NOT_ENOUGH_BITS;
    }
    tp->framesChecked = 0;
    return TPDEC_OK;
}

// Frames checked after a candidate frame before it is believed.
constexpr int MaxLookAheadFrames = 32;

// Before synchronising on a frame found by search: reads the headers that follow
// it, on copies of the format state and without callbacks, and says whether they
// confirm it. With parameter 2 alone the first header carrying a configuration
// suffices (every ADTS header and a LOAS frame with a new StreamMuxConfig); with
// parameter 1 every complete frame in the buffer is read. Data that ends before
// the next frame confirms nothing and refutes nothing. The read position is
// restored.
bool framesFollow(TpDecHandle tp, uint32_t candidateStart)
{
    const bool adts = tp->type == TPDEC_TYPE_ADTS;
    const uint32_t syncBits = adts ? AdtsSyncBits : LoasSyncBits;
    const uint32_t syncWord = adts ? AdtsSyncWord : LoasSyncWord;
    const bool all = (tp->flags & TpFlagLookAheadAll) != 0;
    const int64_t saved = TpDec_Position(&tp->bs);
    TpDecAdtsState adtsCopy = tp->adts;
    TpDecLatmState latmCopy = tp->latm;
    AudioSpecificConfig scratch = tp->config;
    int64_t next = static_cast<int64_t>(candidateStart) -
                   (adts ? 8 * static_cast<int64_t>(tp->adts.header.frameLength)
                         : LoasSyncBits + LoasLengthBits + 8 * static_cast<int64_t>(tp->latm.audioMuxLengthBytes));
    bool confirmed = true;
    for (int frame = 0; frame < MaxLookAheadFrames; ++frame) {
        if (next < static_cast<int64_t>(syncBits + 8))
            break;
        seekTo(tp, next);
        if (RezTools_BitStreamReadBits(&tp->bs, syncBits) != syncWord) {
            confirmed = false;
            break;
        }
        uint8_t found = 0;
        int r;
        if (adts) {
            r = TpDec_ParseAdtsHeader(&adtsCopy, &scratch, &tp->bs, 1);
            found = r == TPDEC_OK;
            next -= 8 * static_cast<int64_t>(adtsCopy.header.frameLength);
        } else {
            latmCopy.audioMuxLengthBytes = RezTools_BitStreamReadBits(&tp->bs, LoasLengthBits);
            if (TpDec_Position(&tp->bs) < 8 * static_cast<int64_t>(latmCopy.audioMuxLengthBytes))
                break;
            latmCopy.subFramesLeft = 0;
            r = TpDec_ParseAudioMuxElement(&tp->bs, &latmCopy, tp->type, nullptr, &scratch, 1, &found);
            next -= LoasSyncBits + LoasLengthBits + 8 * static_cast<int64_t>(latmCopy.audioMuxLengthBytes);
        }
        if (r == TPDEC_NOT_ENOUGH_BITS)
            break;
        if (r != TPDEC_OK) {
            confirmed = false;
            break;
        }
        if (!all && found)
            break;
    }
    seekTo(tp, saved);
    RezTools_BitBufferClearOverrun(&tp->bs.bitBuffer);
    return confirmed;
}

// Finds the next ADTS or LOAS frame and reads its header.
int synchronise(TpDecHandle tp)
{
    const bool adts = tp->type == TPDEC_TYPE_ADTS;
    const uint32_t syncBits = adts ? AdtsSyncBits : LoasSyncBits;
    const uint32_t syncWord = adts ? AdtsSyncWord : LoasSyncWord;
    RezBitStream *bs = &tp->bs;

    // Blocks of a frame already found need no synchronisation.
    if (tp->blocksLeft > 0) {
        int32_t payload = 0;
        uint8_t found = 0;
        return readHeader(tp, 1, &payload, &found);
    }

    const uint32_t entry = validBits(tp);
    uint32_t frameStart = entry;
    int result = TPDEC_NOT_ENOUGH_BITS;
    // Each round moves on by at least one byte or returns.
    while (validBits(tp) >= syncBits + 8) {
        const uint32_t start = validBits(tp);
        const uint32_t word = RezTools_BitStreamReadBits(bs, syncBits);
        if (word != syncWord) {
            seekTo(tp, start - 8);
            if (tp->flags & TpFlagSynchronised) {
                tp->flags &= ~TpFlagSynchronised;
                result = TPDEC_SYNC_LOST;
                break;
            }
            continue;
        }
        int32_t payload = 0;
        uint8_t found = 0;
        frameStart = start;
        result = readHeader(tp, 1, &payload, &found);
        if (result >= 512 && result <= 517) {
            seekTo(tp, start - syncBits);
            RezTools_BitStreamByteAlign(bs, start);
            return result;
        }
        if (result == TPDEC_NOT_ENOUGH_BITS) {
            seekTo(tp, start);
            break;
        }
        if (result == TPDEC_OK) {
            if (payload > 0 && validBits(tp) < static_cast<uint32_t>(payload)) {
                const uint32_t total = start - validBits(tp) + static_cast<uint32_t>(payload);
                tp->blocksLeft = 0;
                tp->latm.subFramesLeft = 0;
                if (total < TpDecMaxFrameBits + 1) {
                    seekTo(tp, start);
                    result = TPDEC_NOT_ENOUGH_BITS;
                    break;
                }
                seekTo(tp, start - 8);
                result = TPDEC_SYNC_LOST;
                break;
            }
            if (!(tp->flags & TpFlagSynchronised) && (tp->flags & (TpFlagLookAheadAll | TpFlagLookAheadConfig)) &&
                !framesFollow(tp, start)) {
                // A sync word by chance: the search goes on after it.
                tp->blocksLeft = 0;
                tp->latm.subFramesLeft = 0;
                seekTo(tp, start - 8);
                result = TPDEC_NOT_ENOUGH_BITS;
                continue;
            }
            if (!(tp->flags & TpFlagSynchronised) && !(tp->flags & TpFlagIgnoreFullness) &&
                !(tp->flags & TpFlagResynchronising)) {
                const int f = fullnessTest(tp, tp->auLength > 0 ? static_cast<uint32_t>(tp->auLength) : 0);
                if (f != TPDEC_OK) {
                    tp->blocksLeft = 0;
                    tp->latm.subFramesLeft = 0;
                    seekTo(tp, start);
                    result = f;
                    break;
                }
            }
            break;
        }
        // A damaged header: go on one byte after the sync word's start.
        tp->blocksLeft = 0;
        tp->latm.subFramesLeft = 0;
        if (result == TPDEC_UNSUPPORTED && adts) {
            // The parser skipped the refused frame already.
            tp->flags &= ~TpFlagSynchronised;
            return result;
        }
        seekTo(tp, start - 8);
        if (tp->flags & TpFlagSynchronised) {
            tp->flags &= ~TpFlagSynchronised;
            result = TPDEC_SYNC_LOST;
            break;
        }
        result = TPDEC_NOT_ENOUGH_BITS;
    }

    // A stream that keeps filling with no frame found drops its oldest byte.
    if (result == TPDEC_NOT_ENOUGH_BITS && validBits(tp) > 0 &&
        validBits(tp) >= TpDecMaxFrameBits - tp->bufferingMs * (tp->bitRate / 1000)) {
        RezTools_BitStreamPushForward(bs, 8);
        result = TPDEC_SYNC_LOST;
    }

    // Lost access units, estimated from the bits skipped and the bit rate.
    const uint32_t skipped =
        result == TPDEC_OK ? entry - frameStart : (entry > validBits(tp) ? entry - validBits(tp) : 0);
    tp->lostUnits = -1;
    const AudioSpecificConfig &c = tp->config;
    if (tp->bitRate && c.frameLength && c.sampleRate) {
        if (result == TPDEC_SYNC_LOST) {
            tp->flags |= TpFlagResynchronising;
            tp->skippedBits += skipped;
        } else if (result == TPDEC_OK && (tp->flags & TpFlagResynchronising)) {
            tp->flags &= ~TpFlagResynchronising;
            const uint64_t bits = tp->skippedBits + skipped;
            tp->skippedBits = 0;
            const uint64_t divisor = static_cast<uint64_t>(c.frameLength) * tp->bitRate;
            const uint64_t dividend = bits * c.sampleRate + tp->remainder;
            int64_t lost = static_cast<int64_t>(dividend / divisor);
            tp->remainder = static_cast<uint32_t>(dividend % divisor);
            if (lost > 0 && tp->remainder <= divisor / 2)
                --lost;
            if (lost >= 1) {
                // Deliver the found frame after the lost ones have been concealed.
                tp->lostUnits = static_cast<int32_t>(lost);
                tp->blocksLeft = 0;
                tp->latm.subFramesLeft = 0;
                seekTo(tp, frameStart);
                tp->flags &= ~TpFlagSynchronised;
                return TPDEC_SYNC_LOST;
            }
        }
    }

    if (result == TPDEC_OK)
        tp->flags |= TpFlagSynchronised;
    else if (result == TPDEC_SYNC_LOST)
        tp->flags &= ~TpFlagSynchronised;
    return result;
}

int readAdif(TpDecHandle tp)
{
    if (tp->flags & TpFlagConfigReceived) {
        tp->auLength = -1;
        return TPDEC_OK;
    }
    RezTools_BitStreamSync(&tp->bs);
    const uint32_t start = validBits(tp);
    int result = TPDEC_OK;
    uint8_t changed = 0;
    for (uint8_t mode = 1; mode <= 2; ++mode) {
        if (mode == 2)
            seekTo(tp, start);
        AacDec_ClearConfig(&tp->config);
        const int r = TpDec_ParseAdifHeader(&tp->adif, &tp->config.pce, &tp->bs);
        if (r != TPDEC_OK)
            return r;
        AudioSpecificConfig &c = tp->config;
        c.configMode = mode;
        c.configChanged = changed;
        c.aot = c.pce.objectType + 1;
        c.samplingFrequencyIndex = c.pce.samplingFrequencyIndex;
        c.sampleRate = AacTables::samplingFrequency[c.pce.samplingFrequencyIndex & 31];
        c.channelConfig = 0;
        c.frameLength = 1024;
        tp->bitRate = tp->adif.bitRate;
        if (callConfig(tp, &c, mode) != 0)
            return TPDEC_PARSE_ERROR;
        tp->flags |= TpFlagConfigReceived;
        if (mode == 1 && c.configChanged) {
            changed = 1;
            if (callFreeMem(tp, &c) != 0)
                result = TPDEC_PARSE_ERROR;
        }
    }
    tp->auLength = -1;
    return result;
}

} // namespace

TpDecHandle TpDec_Open(int32_t type, uint32_t flags, int32_t numLayers)
{
    switch (type) {
    case TPDEC_TYPE_RAW: case TPDEC_TYPE_ADIF: case TPDEC_TYPE_ADTS: case TPDEC_TYPE_LATM_MCP1:
    case TPDEC_TYPE_LATM_MCP0: case TPDEC_TYPE_LOAS: case TPDEC_TYPE_DRM:
        break;
    default:
        return nullptr;
    }
    if (numLayers >= 2)
        return nullptr;
    auto *tp = static_cast<TpDecInstance *>(RezSys_Calloc(1, sizeof(TpDecInstance)));
    if (!tp)
        return nullptr;
    tp->buffer = static_cast<uint8_t *>(RezSys_Calloc(1, TpDecBufferSize));
    if (!tp->buffer) {
        RezTools_Free1D(tp);
        return nullptr;
    }
    tp->type = static_cast<TpDecTransportType>(type);
    AacDec_ClearConfig(&tp->config);
    AacDec_ClearConfig(&tp->rawConfig);
    tp->auLength = -1;
    tp->lostUnits = -1;
    if (type == TPDEC_TYPE_ADTS) {
        tp->adts.acceptMpeg4 = static_cast<uint8_t>(flags & 1);
        RezTools_CrcInit(&tp->adts.crc, 0x8005, 0xFFFF, 16);
        tp->adts.fullnessPending = 1;
    }
    if (type == TPDEC_TYPE_DRM)
        TpDec_DrmInit(&tp->drm);
    if (numLayers == 1)
        RezTools_BitStreamInit(&tp->bs, tp->buffer, TpDecBufferSize, 0, REZ_BIT_READ);
    tp->bufferingMs = 0;
    return tp;
}

void TpDec_Close(TpDecHandle *handle)
{
    if (!handle || !*handle)
        return;
    RezTools_Free1D((*handle)->buffer);
    RezTools_Free1D(*handle);
    *handle = nullptr;
}

int TpDec_RegisterConfigCallback(TpDecHandle tp, TpDecConfigCallback callback, void *context)
{
    if (!tp)
        return -1;
    tp->callbacks.config = callback;
    tp->callbacks.configContext = context;
    return 0;
}

int TpDec_RegisterFreeMemCallback(TpDecHandle tp, TpDecFreeMemCallback callback, void *context)
{
    if (!tp)
        return -1;
    tp->callbacks.freeMem = callback;
    tp->callbacks.freeMemContext = context;
    return 0;
}

int TpDec_RegisterSscCallback(TpDecHandle tp, TpDecSscCallback callback, void *context)
{
    if (!tp)
        return -1;
    tp->callbacks.ssc = callback;
    tp->callbacks.sscContext = context;
    return 0;
}

int TpDec_RegisterSbrCallback(TpDecHandle tp, TpDecSbrCallback callback, void *context)
{
    if (!tp)
        return -1;
    tp->callbacks.sbr = callback;
    tp->callbacks.sbrContext = context;
    return 0;
}

int TpDec_FillData(TpDecHandle tp, const uint8_t *bytes, uint32_t size, uint32_t *bytesValid, int32_t layer)
{
    if (!tp || layer != 0 || !bytesValid || (!bytes && *bytesValid))
        return TPDEC_INVALID_HANDLE;
    if (*bytesValid > size)
        *bytesValid = size;
    if (isStreamType(tp->type)) {
        if (*bytesValid == 0 || tp->blocksLeft > 0)
            return TPDEC_OK;
        TpDec_SettleOverrun(&tp->bs);
        RezTools_BitBufferFeed(&tp->bs.bitBuffer, bytes, size, bytesValid);
        return TPDEC_OK;
    }
    if (tp->blocksLeft > 0)
        return TPDEC_OK;
    RezTools_BitStreamSync(&tp->bs);
    RezTools_BitBufferReset(&tp->bs.bitBuffer);
    tp->bs.cache = 0;
    tp->bs.cachedBits = 0;
    tp->auStart = 0;
    tp->auLength = -1;
    if (*bytesValid)
        RezTools_BitBufferFeed(&tp->bs.bitBuffer, bytes, size, bytesValid);
    return *bytesValid != 0 ? TPDEC_INPUT_NOT_TAKEN : TPDEC_OK;
}

int TpDec_ParseConfig(TpDecHandle tp, const uint8_t *bytes, uint32_t length, int32_t layer)
{
    if (!tp || layer != 0)
        return TPDEC_INVALID_HANDLE;
    if (length > TpDecMaxConfigBytes)
        return TPDEC_UNSUPPORTED;
    if (!bytes && length)
        return TPDEC_INVALID_HANDLE;
    uint8_t area[TpDecMaxConfigBytes] = {};
    if (length)
        std::memcpy(area, bytes, length);
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, area, TpDecMaxConfigBytes, 8 * length, REZ_BIT_READ);

    int result = TPDEC_OK;
    uint8_t changed = 0;
    uint8_t found = 0;
    for (uint8_t mode = 1; mode <= 2; ++mode) {
        if (mode == 2)
            RezTools_BitStreamInit(&bs, area, TpDecMaxConfigBytes, 8 * length, REZ_BIT_READ);
        AudioSpecificConfig *record = &tp->config;
        switch (tp->type) {
        case TPDEC_TYPE_LATM_MCP1:
        case TPDEC_TYPE_LATM_MCP0:
        case TPDEC_TYPE_LOAS:
            result = TpDec_ParseStreamMuxConfig(&bs, &tp->latm, &tp->callbacks, &tp->config, &found, mode, changed);
            break;
        case TPDEC_TYPE_DRM:
            result = AacDec_ParseDrmSdcConfig(&tp->config, &bs, &tp->callbacks, mode, changed);
            if (result == TPDEC_OK) {
                found = 1;
                if (callConfig(tp, &tp->config, mode) != 0)
                    result = TPDEC_PARSE_ERROR;
            }
            break;
        default:
            result = AacDec_ParseAudioSpecificConfig(&tp->rawConfig, &bs, 1, &tp->callbacks, mode, changed);
            if (result == TPDEC_OK) {
                tp->config = tp->rawConfig;
                found = 1;
                if (callConfig(tp, &tp->config, mode) != 0)
                    result = TPDEC_PARSE_ERROR;
            }
            break;
        }
        if (result != TPDEC_OK)
            return result;
        if (mode == 1 && anyChange(*record)) {
            changed = 1;
            if (callFreeMem(tp, record) != 0)
                return TPDEC_PARSE_ERROR;
        }
    }
    if (found)
        tp->flags |= TpFlagConfigReceived;
    return result;
}

int TpDec_ReadAccessUnit(TpDecHandle tp, int32_t layer)
{
    if (!tp || layer != 0)
        return TPDEC_INVALID_HANDLE;
    // Each access unit starts with a fresh overrun flag; parsers test it per unit.
    TpDec_SettleOverrun(&tp->bs);
    RezTools_BitBufferClearOverrun(&tp->bs.bitBuffer);
    int pending = TPDEC_OK;
    if (validBits(tp) == 0) {
        tp->blocksLeft = 0;
        pending = TPDEC_NOT_ENOUGH_BITS;
    }
    int result;
    switch (tp->type) {
    case TPDEC_TYPE_RAW:
    case TPDEC_TYPE_DRM:
        tp->auLength = static_cast<int32_t>(validBits(tp));
        tp->flags |= TpFlagSynchronised;
        result = pending;
        break;
    case TPDEC_TYPE_ADIF:
        result = pending != TPDEC_OK ? pending : readAdif(tp);
        break;
    case TPDEC_TYPE_ADTS:
    case TPDEC_TYPE_LOAS:
        result = synchronise(tp);
        break;
    case TPDEC_TYPE_LATM_MCP0:
    case TPDEC_TYPE_LATM_MCP1: {
        result = pending;
        if (validBits(tp) > 0) {
            int32_t payload = 0;
            uint8_t found = 0;
            result = readHeader(tp, 1, &payload, &found);
            if (found)
                tp->flags |= TpFlagConfigReceived;
        }
        break;
    }
    default:
        result = TPDEC_UNSUPPORTED;
        break;
    }
    tp->auStart = result == TPDEC_OK ? static_cast<int32_t>(validBits(tp)) : 0;
    return result;
}

namespace {

// Moves to the end of the current ADTS raw data block and reads its CRC word;
// after the frame's last block, on to the end of the frame.
void finishAdtsBlock(TpDecHandle tp)
{
    const TpDecAdtsState &adts = tp->adts;
    if (adts.header.protectionAbsent)
        return;
    if (adts.header.numRawBlocks > 0 && tp->auStart > 0) {
        const int block = adts.header.numRawBlocks - tp->blocksLeft;
        if (block >= 0 && block < AdtsMaxRawBlocks) {
            const int64_t target = static_cast<int64_t>(tp->auStart) - 8 * static_cast<int64_t>(adts.blockPosition[block]) +
                                   16 + (block == 0 ? adts.pceBits : 0);
            if (target >= 16) {
                seekTo(tp, target);
                tp->adts.crcWord = static_cast<uint16_t>(RezTools_BitStreamReadBits(&tp->bs, 16));
            }
        }
    }
    if (tp->blocksLeft == 0) {
        const int64_t end = static_cast<int64_t>(tp->headerStart) + AdtsSyncBits - 8 * adts.header.frameLength;
        if (end >= 0)
            seekTo(tp, end);
    }
}

} // namespace

int TpDec_EndAccessUnit(TpDecHandle tp)
{
    if (!tp)
        return TPDEC_INVALID_HANDLE;
    const bool latm = tp->type == TPDEC_TYPE_LATM_MCP0 || tp->type == TPDEC_TYPE_LATM_MCP1 ||
                      tp->type == TPDEC_TYPE_LOAS;
    if (latm) {
        if (tp->latm.subFramesLeft > 0 && validBits(tp) == 0)
            tp->latm.subFramesLeft = 0;
        if (tp->latm.subFramesLeft == 0 && tp->latm.otherDataPresent) {
            if (validBits(tp) >= tp->latm.otherDataLenBits) {
                RezTools_BitStreamPushForward(&tp->bs, tp->latm.otherDataLenBits);
            } else {
                RezTools_BitStreamByteAlign(&tp->bs, tp->headerStart);
                return TPDEC_NOT_ENOUGH_BITS;
            }
        }
    }
    switch (tp->type) {
    case TPDEC_TYPE_ADTS:
        finishAdtsBlock(tp);
        break;
    case TPDEC_TYPE_LATM_MCP0:
    case TPDEC_TYPE_LATM_MCP1:
    case TPDEC_TYPE_LOAS:
        if (tp->latm.subFramesLeft == 0) {
            RezTools_BitStreamByteAlign(&tp->bs, tp->headerStart);
            if (tp->type == TPDEC_TYPE_LOAS && tp->latm.audioMuxLengthBytes > 0) {
                // The header start was taken after the length field, where the
                // AudioMuxElement begins.
                const int64_t target = static_cast<int64_t>(tp->headerStart) -
                                       8 * static_cast<int64_t>(tp->latm.audioMuxLengthBytes);
                if (target > static_cast<int64_t>(validBits(tp)) || target < 0)
                    return TPDEC_PARSE_ERROR;
                seekTo(tp, static_cast<uint32_t>(target));
            }
        }
        break;
    default:
        break;
    }
    return TPDEC_OK;
}

RezBitStream *TpDec_GetBitStream(TpDecHandle tp, int32_t layer)
{
    return tp && layer == 0 ? &tp->bs : nullptr;
}

int32_t TpDec_GetAccessUnitLength(TpDecHandle tp, int32_t layer)
{
    return tp && layer == 0 ? tp->auLength : -1;
}

int32_t TpDec_GetAccessUnitBitsLeft(TpDecHandle tp, int32_t layer)
{
    if (!tp || layer != 0)
        return 0;
    const int32_t now = static_cast<int32_t>(validBits(tp));
    if (tp->auStart > 0 && tp->auLength > 0)
        return tp->auLength - (tp->auStart - now);
    return now;
}

int TpDec_GetLostUnits(int32_t *out, TpDecHandle tp)
{
    if (out)
        *out = tp ? tp->lostUnits : -1;
    return 0;
}

int32_t TpDec_GetTransportType(TpDecHandle tp)
{
    return tp ? tp->type : -1;
}

int TpDec_CrcStartRegion(TpDecHandle tp, int32_t bits)
{
    if (!tp)
        return -1;
    if (tp->type == TPDEC_TYPE_ADTS)
        return TpDec_AdtsCrcStart(&tp->adts, &tp->bs, bits);
    if (tp->type == TPDEC_TYPE_DRM)
        return RezTools_CrcStartRegion(&tp->drm.crc, &tp->bs, bits);
    return -1;
}

void TpDec_CrcEndRegion(TpDecHandle tp, int region)
{
    if (!tp)
        return;
    if (tp->type == TPDEC_TYPE_ADTS)
        TpDec_AdtsCrcEnd(&tp->adts, &tp->bs, region);
    else if (tp->type == TPDEC_TYPE_DRM)
        RezTools_CrcEndRegion(&tp->drm.crc, &tp->bs, region);
}

int TpDec_CrcCheck(TpDecHandle tp)
{
    if (!tp)
        return TPDEC_INVALID_HANDLE;
    if (tp->type == TPDEC_TYPE_ADTS) {
        if (tp->adts.header.protectionAbsent)
            return TPDEC_OK;
        if (tp->adts.header.numRawBlocks > 0)
            finishAdtsBlock(tp);
        return TpDec_AdtsCrcCheck(&tp->adts);
    }
    if (tp->type == TPDEC_TYPE_DRM)
        return TpDec_DrmCrcCheck(&tp->drm);
    return TPDEC_OK;
}

int TpDec_SetParam(TpDecHandle tp, int32_t id, int32_t value)
{
    if (!tp)
        return TPDEC_INVALID_HANDLE;
    auto flag = [&](uint32_t bit) {
        if (value)
            tp->flags |= bit;
        else
            tp->flags &= ~bit;
    };
    switch (id) {
    case 1: flag(TpFlagLookAheadAll); break;
    case 2: flag(TpFlagLookAheadConfig); break;
    case 3: flag(TpFlagIgnoreFullness); break;
    case 4: tp->bitRate = static_cast<uint32_t>(value); break;
    case 5:
        RezTools_BitStreamSync(&tp->bs);
        RezTools_BitBufferReset(&tp->bs.bitBuffer);
        tp->bs.cache = 0;
        tp->bs.cachedBits = 0;
        tp->auStart = 0;
        tp->auLength = 0;
        tp->flags &= ~(TpFlagSynchronised | TpFlagResynchronising | TpFlagConfigReceived);
        tp->remainder = 0;
        tp->bitRate = 0;
        tp->lostUnits = 0;
        tp->blocksLeft = 0;
        tp->latm.subFramesLeft = 0;
        tp->headerStart = 0;
        tp->framesChecked = 0;
        tp->skippedBits = 0;
        break;
    case 6: tp->bufferingMs = static_cast<uint32_t>(value); break;
    case 7: tp->param7 = value; break;
    case 9: flag(TpFlagParam9); break;
    default: break;
    }
    return TPDEC_OK;
}

int TpDec_GetLibInfo(LIB_INFO *table)
{
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return TPDEC_CALLBACK_FAILED;
    RezTools_LibInfoFill(row, "MPEG Transport", "16:54:26", REZ_MODULE_MPEG_TRANSPORT, 2, 7, 63);
    return TPDEC_OK;
}
