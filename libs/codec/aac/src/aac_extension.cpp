// What a raw data block carries besides channels: extension payloads of fill
// elements, data stream elements (ancillary data, dynamic range and downmix
// metadata), in-band program configurations, and the ancillary data collector.
#include "aac_rawblock.h"

#include <cstring>

namespace {

// Extension payload types (4 bits).
enum : uint32_t {
    ExtFill = 0,
    ExtFillData = 1,
    ExtDataElement = 2,
    ExtDataLength = 3,
    ExtSpatialAudio = 9,
    ExtDynamicRange = 11,
    ExtSpatialAudioLowDelay = 12,
    ExtSbrData = 13,
    ExtSbrDataCrc = 14,
    ExtFillReserved = 15,
};

constexpr uint32_t FillByte = 0xA5;
constexpr uint32_t AncillarySyncByte = 0xBC;
constexpr int32_t AncMaxBlocks = 7;
constexpr uint32_t SbrWorkBufferLength = 512;
// Errors of the collector.
constexpr int AncNegativeSize = 0x8001;
constexpr int AncFull = 0x8002;
constexpr int AncTooManyBlocks = 0x8003;

int64_t validBits(RezBitStream *bs)
{
    return RezTools_BitStreamGetValidBits(bs);
}

// Moves the stream by n bits, forwards for positive n; never past what it holds.
void skipBits(RezBitStream *bs, int64_t n)
{
    if (n > 0) {
        const int64_t held = validBits(bs);
        RezTools_BitStreamPushForward(bs, static_cast<uint32_t>(n < held ? n : held));
    } else if (n < 0) {
        RezTools_BitStreamPushBack(bs, static_cast<uint32_t>(-n));
    }
}

bool isChannelElement(int id)
{
    return id == AacIdSce || id == AacIdCpe || id == AacIdLfe || id == AacIdUsacSce || id == AacIdUsacCpe ||
           id == AacIdUsacLfe;
}

// Fill data: a zero nibble, then bytes that all carry the fill pattern.
int readFillData(RezBitStream *bs, int32_t *bitCount)
{
    if (RezTools_BitStreamReadBits(bs, 4) != 0)
        return AacElementSyntaxError;
    *bitCount -= 4;
    int result = 0;
    for (; *bitCount >= 8; *bitCount -= 8)
        if (RezTools_BitStreamReadBits(bs, 8) != FillByte)
            result = AacElementSyntaxError;
    return result;
}

int readDataElement(AacDecInstance *h, RezBitStream *bs, int32_t *bitCount)
{
    if (RezTools_BitStreamReadBits(bs, 4) != 0) // data element version
        return AacElementSyntaxError;
    *bitCount -= 4;
    int32_t length = 0;
    for (;;) {
        if (*bitCount < 8)
            return AacElementSyntaxError;
        const uint32_t part = RezTools_BitStreamReadBits(bs, 8);
        *bitCount -= 8;
        length += static_cast<int32_t>(part);
        if (part != 255)
            break;
    }
    if (length * 8 > *bitCount)
        return AacElementSyntaxError;
    if (h)
        AacDec_AncDataCollect(&h->ancData, bs, length);
    else
        skipBits(bs, length * 8);
    *bitCount -= length * 8;
    return 0;
}

} // namespace

bool AacDec_SbrInitElement(AacDecInstance *h, int id, int elementIndex)
{
    uint8_t changed = 0;
    const AacDecStreamInfo &info = h->streamInfo;
    // Parametric stereo only where the core carries one or two channels.
    const int32_t psAllowed = h->channelCount == 1 || h->channelCount == 2 ? 1 : 0;
    if (SbrDec_InitElement(h->sbr, static_cast<uint32_t>(info.coreSampleRate),
                           static_cast<uint32_t>(info.extensionSampleRate), static_cast<uint32_t>(info.coreFrameLength),
                           info.aot, id, elementIndex, 2, 0, 0, &changed, h->downscaleFactor, psAllowed) != SBRDEC_OK) {
        h->sbrEnabled = 0;
        return false;
    }
    return true;
}

namespace {

int readSbrPayload(AacDecInstance *h, RezBitStream *bs, int32_t *bitCount, uint32_t type, int previousId,
                   int elementIndex, int inFillElement)
{
    if (!isChannelElement(previousId))
        return AacElementSyntaxError;
    if (!h || !h->sbr)
        return 0;
    if (!AacDec_SbrInitElement(h, previousId, elementIndex))
        return 0;
    const int r = SbrDec_Parse(h->sbr, bs, h->sbrWorkBuffer, SbrWorkBufferLength, bitCount, *bitCount,
                               type == ExtSbrDataCrc, previousId, elementIndex, h->flags,
                               elementIndex < AacMaxElements ? &h->elementFlags[elementIndex] : nullptr);
    if (r == SBRDEC_OK || r == SBRDEC_FRAME_REJECTED)
        h->sbrEnabled = 1;
    else if (!inFillElement)
        h->frameOk = 0;
    return 0;
}

int readPayload(AacDecInstance *h, RezBitStream *bs, int32_t *bitCount, int previousId, int elementIndex,
                int inFillElement)
{
    if (*bitCount < 4)
        return AacElementSyntaxError;
    if (*bitCount > validBits(bs))
        return AacElementBoundsError;
    const uint32_t type = RezTools_BitStreamReadBits(bs, 4);
    *bitCount -= 4;
    switch (type) {
    case ExtFillData:
        return readFillData(bs, bitCount);
    case ExtDataElement:
        return readDataElement(h, bs, bitCount);
    case ExtDataLength: {
        if (inFillElement || !h || !(h->flags & AacFlagEpConfig))
            return 0;
        int32_t length = static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 4));
        *bitCount -= 4;
        if (length == 15) {
            const int32_t add = static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 8));
            *bitCount -= 8;
            length += add;
            if (add == 255) {
                length += static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 16));
                *bitCount -= 16;
            }
        }
        if (RezTools_BitStreamReadBits(bs, 4) == ExtDataLength)
            return AacElementSyntaxError;
        RezTools_BitStreamPushBack(bs, 4);
        int32_t inner = length * 8;
        if (inner > *bitCount)
            return AacElementSyntaxError;
        *bitCount -= inner;
        const int r = AacDec_ParseExtensionPayload(h, bs, &inner, previousId, elementIndex, inFillElement);
        skipBits(bs, inner);
        return r;
    }
    case ExtSpatialAudio:
    case ExtSpatialAudioLowDelay:
        // No spatial decoder runs behind this core: the payload is stepped over.
        if (h && (h->flags & AacFlagPs))
            return AacElementSyntaxError;
        return 0;
    case ExtDynamicRange: {
        const int32_t used = h ? AacDec_DrcParsePayload(&h->drc, bs, 1) : AacDec_DrcParsePayload(nullptr, bs, 1);
        *bitCount -= used;
        return *bitCount < 0 ? AacElementSyntaxError : 0;
    }
    case ExtSbrData:
    case ExtSbrDataCrc:
        return readSbrPayload(h, bs, bitCount, type, previousId, elementIndex, inFillElement);
    default: // fill, reserved and types this decoder does not use
        return 0;
    }
}

} // namespace

int AacDec_ParseExtensionPayload(AacDecInstance *h, RezBitStream *bs, int32_t *bitCount, int previousId,
                                 int elementIndex, int inFillElement)
{
    const int r = readPayload(h, bs, bitCount, previousId, elementIndex, inFillElement);
    if (r != 0 && !inFillElement)
        return r;
    // The rest of the payload (all of it after an error) is stepped over, backwards when
    // a reader went past its end.
    skipBits(bs, *bitCount);
    *bitCount = 0;
    return r;
}

int AacDec_AncDataSetBuffer(AacDecAncData *anc, uint8_t *buffer, int32_t size)
{
    if (size < 0)
        return AncNegativeSize;
    anc->buffer = buffer;
    anc->size = size;
    std::memset(anc->offset, 0, sizeof anc->offset);
    anc->blocks = 0;
    return 0;
}

int AacDec_AncDataGetBlock(const AacDecAncData *anc, int32_t index, uint8_t **data, int32_t *size)
{
    *data = nullptr;
    *size = 0;
    if (index >= 0 && index < AncMaxBlocks && index < anc->blocks) {
        *data = anc->buffer + anc->offset[index];
        *size = anc->offset[index + 1] - anc->offset[index];
    }
    return 0;
}

int AacDec_AncDataCollect(AacDecAncData *anc, RezBitStream *bs, int32_t n)
{
    int result = 0;
    int32_t copied = 0;
    if (anc->buffer && n >= 1) {
        if (anc->offset[anc->blocks] + n > anc->size) {
            result = AncFull;
        } else if (anc->blocks >= AncMaxBlocks) {
            result = AncTooManyBlocks;
        } else {
            uint8_t *out = anc->buffer + anc->offset[anc->blocks];
            for (; copied < n; ++copied)
                out[copied] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
            ++anc->blocks;
            anc->offset[anc->blocks] = anc->offset[anc->blocks - 1] + n;
        }
    }
    if (n > copied)
        skipBits(bs, static_cast<int64_t>(n - copied) * 8);
    return result;
}

int32_t AacDec_DrcParsePayload(AacDecDrc *drc, RezBitStream *bs, int kind)
{
    const int64_t start = TpDec_Position(bs);
    int32_t bits = 0;
    auto read = [&](uint32_t n) {
        bits += static_cast<int32_t>(n);
        return RezTools_BitStreamReadBits(bs, n);
    };
    if (kind == 1) {
        if (read(1)) // programme config tag present
            read(8);
        if (read(1)) // channel exclusion: groups of 7 with a continuation bit
            for (int guard = 0; guard < 16; ++guard) {
                read(7);
                if (!read(1))
                    break;
            }
        uint32_t bands = 1;
        if (read(1)) {
            bands = read(4) + 1;
            read(4); // interpolation scheme
            for (uint32_t b = 0; b < bands; ++b)
                read(8);
        }
        if (read(1)) // programme reference level and a reserved bit
            read(8);
        for (uint32_t b = 0; b < bands; ++b)
            read(8);
        if (drc && drc->fillPayloads < AacDrcMaxFillPayloads && start >= 0)
            drc->fillPosition[drc->fillPayloads++] = start;
        return bits;
    }
    if (read(8) != AncillarySyncByte)
        return bits;
    read(8); // stream information
    const uint32_t status = read(8);
    if (status & 0x10) // downmix levels
        read(8);
    if (status & 0x04) // coding mode and compression value
        read(16);
    if (drc && !drc->dataStreamNoted && start >= 0) {
        drc->dataStreamNoted = 1;
        drc->dataStreamPosition = start;
    }
    return bits;
}

int AacDec_ParseDataStreamElement(AacDecInstance *h, RezBitStream *bs, uint8_t *tag, uint32_t auStartBits)
{
    *tag = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    const uint32_t align = RezTools_BitStreamReadBits(bs, 1);
    int32_t count = static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 8));
    if (count == 255)
        count += static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 8));
    if (align)
        RezTools_BitStreamByteAlign(bs, auStartBits);
    if (count * 8 > validBits(bs))
        return AacElementBoundsError;
    const int64_t start = TpDec_Position(bs);
    int result = 0;
    if (h) {
        result = AacDec_AncDataCollect(&h->ancData, bs, count);
        TpDec_SeekTo(bs, start);
        if (count * 8 >= 24)
            AacDec_DrcParsePayload(&h->drc, bs, 2);
        TpDec_SeekTo(bs, start);
        if (h->pcmDmx && PcmDmx_ParseMetadata(h->pcmDmx, bs, static_cast<uint32_t>(count) * 8, 0) != PCMDMX_OK &&
            result == 0)
            result = AACDEC_UNKNOWN;
    }
    TpDec_SeekTo(bs, start - count * 8);
    return result;
}

int AacDec_ParseInBandPce(RezBitStream *bs, AacPce *stored, int channelConfig, uint32_t auStartBits)
{
    AacPce fresh;
    AacDec_PceInit(&fresh);
    AacDec_ParseProgramConfig(&fresh, bs, auStartBits);
    if (!AacDec_PceIsValid(&fresh))
        return 0;
    if (!AacDec_PceIsValid(stored) && channelConfig > 0)
        AacDec_PceDefault(stored, channelConfig);
    const int c = AacDec_PceCompare(stored, &fresh);
    if (c == 1 || !AacDec_PceIsValid(stored)) {
        *stored = fresh;
        return 1;
    }
    return c == -1 || c == 2 ? -1 : 0;
}
