// The DAB+ parser's instance and its state machine: searching, following Layer II
// frames, following DAB+ superframes.
#include "DABplusParserInternal.h"

#include <cstring>

namespace {

enum State : uint32_t { Searching = 0, FollowingLayer2 = 1, FollowingDabPlus = 2 };

constexpr int DefaultFailureLimit = 4;
constexpr uint32_t Layer2HeaderBytes = 4;

bool validSize(uint32_t n)
{
    return n >= 1 && n <= DABPLUS_MAX_SUBCHANNEL_SIZE;
}

} // namespace

struct DABplusParserInstance {
    uint8_t *superframe;       // up to five logical frames, the oldest first
    uint32_t state;
    uint8_t layer2Header[Layer2HeaderBytes];
    RsCodecContext *rs;
    uint16_t headerByte;       // byte 2 of the last accepted superframe; 0xFFFF = unknown
    int32_t failureLimit;
    int32_t failureCounter;
    int32_t framesBuffered;
    uint32_t n;
    uint32_t frameSize;
    uint32_t framesPerUnit;
    int32_t framesConsumed;
    DABplusStreamHeader *header;

    int32_t knownHeaderByte() const { return headerByte == HeaderUnknown ? -1 : headerByte; }
    uint8_t *frame(int32_t index) { return superframe + static_cast<uint32_t>(index) * frameSize; }
};

namespace {

void clearStats(DABplusParserInstance *p)
{
    std::memset(&p->header->stats, 0, sizeof p->header->stats);
}

// Returns -1 when a frame was needed but none was given.
int bufferFrames(DABplusParserInstance *p, const uint8_t *input, uint32_t *frames)
{
    int32_t read;
    if (p->state == FollowingDabPlus) {
        p->framesBuffered -= p->framesConsumed;
        p->framesConsumed = 0;
        read = static_cast<int32_t>(FramesPerSuperframe) - p->framesBuffered;
    } else if (p->state == FollowingLayer2 && p->failureCounter <= 0) {
        if (p->framesConsumed > 0 && p->framesBuffered > p->framesConsumed)
            std::memmove(p->superframe, p->frame(p->framesConsumed),
                         static_cast<size_t>(p->framesBuffered - p->framesConsumed) * p->frameSize);
        p->framesBuffered -= p->framesConsumed;
        p->framesConsumed = 0;
        read = static_cast<int32_t>(p->framesPerUnit) - p->framesBuffered;
    } else {
        // A sliding window over the last five frames, so that a fall-back can test
        // DAB+ sync on frames already received.
        if (p->framesBuffered == static_cast<int32_t>(FramesPerSuperframe)) {
            std::memmove(p->superframe, p->frame(1), (FramesPerSuperframe - 1) * p->frameSize);
            --p->framesBuffered;
            if (p->framesConsumed > 0)
                --p->framesConsumed;
        }
        read = 1;
    }
    if (read < 1)
        return 0;
    if (*frames == 0)
        return -1;
    if (static_cast<uint32_t>(p->framesBuffered + read) * p->frameSize > SuperframeBufferSize) {
        p->framesBuffered = 0;
        p->framesConsumed = 0;
    }
    const uint32_t copy = *frames < static_cast<uint32_t>(read) ? *frames : static_cast<uint32_t>(read);
    std::memcpy(p->frame(p->framesBuffered), input, copy * p->frameSize);
    *frames -= copy;
    p->framesBuffered += static_cast<int32_t>(copy);
    return static_cast<int>(copy);
}

void searchLayer2(DABplusParserInstance *p, DABplusAccessUnitTable *table)
{
    DABplusLayer2Header fields;
    DABplusLayer2Info info;
    const uint8_t *newest = p->frame(p->framesBuffered - 1);
    if (DABplusParser_ParseLayer2Header(&fields, newest, p->frameSize) < 0 ||
        !DABplusParser_CheckLayer2Header(&fields, &info))
        return;
    p->framesPerUnit = info.sampleRate == 24000 ? 2 : 1;
    if (info.frameLength != p->framesPerUnit * p->frameSize)
        return;
    std::memcpy(p->layer2Header, newest, Layer2HeaderBytes);
    ++table->configChanges;
    p->framesConsumed = p->framesBuffered - 1;
    p->state = FollowingLayer2;
}

void searchDabPlus(DABplusParserInstance *p)
{
    clearStats(p);
    if (!DABplusParser_CheckSuperframeSync(p->superframe, p->rs, p->n, &p->header->stats))
        return;
    // After another kind of stream the old header byte says nothing about this one.
    if (p->header->streamType < DABPLUS_STREAM_AAC)
        p->headerByte = HeaderUnknown;
    p->framesPerUnit = FramesPerSuperframe;
    p->state = FollowingDabPlus;
    p->framesConsumed = 0;
}

void noteFailure(DABplusParserInstance *p)
{
    ++p->failureCounter;
    if (p->failureLimit >= 0 && p->failureCounter >= p->failureLimit)
        p->state = Searching;
}

// Returns true when the unit held a good frame.
bool layer2Unit(DABplusParserInstance *p, DABplusAccessUnitTable *table)
{
    if (p->framesBuffered - p->framesConsumed < static_cast<int32_t>(p->framesPerUnit))
        return false;
    clearStats(p);
    uint8_t *unit = p->frame(p->framesConsumed);
    const int compare = DABplusParser_CompareLayer2Header(p->layer2Header, unit, p->frameSize);
    DABplusParserStats &stats = p->header->stats;
    stats.unitProcessed = 1;
    table->auCount = 1;
    p->framesConsumed += static_cast<int32_t>(p->framesPerUnit);
    if (compare == 0 || (compare == 1 && p->failureLimit == 0)) {
        if (compare == 0) {
            stats.allGood = 1;
        } else {
            std::memcpy(p->layer2Header, unit, Layer2HeaderBytes);
            ++table->configChanges;
        }
        table->au[0] = unit;
        table->auLength[0] = p->framesPerUnit * p->frameSize;
        return true;
    }
    noteFailure(p);
    return false;
}

bool dabPlusUnit(DABplusParserInstance *p, DABplusAccessUnitTable *table)
{
    if (p->framesBuffered < static_cast<int32_t>(FramesPerSuperframe))
        return false;
    clearStats(p);
    int32_t working = p->knownHeaderByte();
    const int good = DABplusParser_SplitAccessUnits(table, p->superframe, p->rs, p->n, &p->header->stats, &working);
    p->header->stats.unitProcessed = 1;
    p->framesConsumed += static_cast<int32_t>(FramesPerSuperframe);
    if (good > 0) {
        if (working != p->knownHeaderByte()) {
            p->headerByte = static_cast<uint16_t>(working);
            ++table->configChanges;
        }
        return true;
    }
    if (p->headerByte == HeaderUnknown) {
        table->auCount = 0;
        p->state = Searching;
        return false;
    }
    noteFailure(p);
    return false;
}

void publishState(DABplusParserInstance *p)
{
    DABplusStreamHeader *h = p->header;
    switch (p->state) {
    case FollowingLayer2:
        h->synced = 1;
        h->streamType = DABPLUS_STREAM_LAYER2;
        break;
    case FollowingDabPlus:
        h->synced = 1;
        if (p->headerByte == HeaderUnknown)
            h->streamType = DABPLUS_STREAM_UNKNOWN;
        else if (!(p->headerByte & HeaderSbr))
            h->streamType = DABPLUS_STREAM_AAC;
        else
            h->streamType = (p->headerByte & HeaderPs) ? DABPLUS_STREAM_AAC_SBR_PS : DABPLUS_STREAM_AAC_SBR;
        break;
    default:
        h->synced = 0;
        break;
    }
}

} // namespace

extern "C" {

int DABplusParser_Open(DABplusParserHandle *handle, uint32_t n)
{
    if (!handle)
        return DABPLUS_PARSER_NULL_ARGUMENT;
    *handle = nullptr;
    if (!validSize(n))
        return DABPLUS_PARSER_BAD_PARAMETER;
    auto *p = static_cast<DABplusParserInstance *>(RezSys_Calloc(1, sizeof(DABplusParserInstance)));
    if (!p)
        return DABPLUS_PARSER_OK;
    p->headerByte = HeaderUnknown;
    p->header = static_cast<DABplusStreamHeader *>(RezSys_Calloc(1, sizeof(DABplusStreamHeader)));
    p->superframe = static_cast<uint8_t *>(RezSys_AlignedCalloc(SuperframeBufferSize, 8));
    p->rs = static_cast<RsCodecContext *>(RezSys_Calloc(1, sizeof(RsCodecContext)));
    if (!p->header || !p->superframe || !p->rs || RsCodec_Init(p->rs, 8, 0x11D, 0, 1, 10, 135) != 0) {
        DABplusParser_Close(&p);
        return DABPLUS_PARSER_OK;
    }
    DABplusParser_Reset(p, n);
    p->failureLimit = DefaultFailureLimit;
    *handle = p;
    return DABPLUS_PARSER_OK;
}

int DABplusParser_Close(DABplusParserHandle *handle)
{
    if (!handle || !*handle)
        return DABPLUS_PARSER_OK;
    DABplusParserInstance *p = *handle;
    RezTools_Free1D(p->rs);
    RezSys_AlignedFree(p->superframe);
    RezTools_Free1D(p->header);
    RezTools_Free1D(p);
    *handle = nullptr;
    return DABPLUS_PARSER_OK;
}

int DABplusParser_Reset(DABplusParserHandle p, uint32_t n)
{
    if (!p || !validSize(n))
        return DABPLUS_PARSER_BAD_PARAMETER;
    p->n = n;
    p->frameSize = 24 * n;
    p->framesBuffered = 0;
    p->header->synced = 0;
    p->header->streamType = DABPLUS_STREAM_UNKNOWN;
    clearStats(p);
    p->state = Searching;
    p->framesPerUnit = 1;
    p->framesConsumed = 0;
    p->failureCounter = 0;
    return DABPLUS_PARSER_OK;
}

int DABplusParser_SetParam(DABplusParserHandle p, int id, int value)
{
    if (id != 0)
        return DABPLUS_PARSER_BAD_PARAMETER;
    if (!p)
        return DABPLUS_PARSER_NULL_ARGUMENT;
    p->failureLimit = value < 0 ? -1 : value;
    return DABPLUS_PARSER_OK;
}

int DABplusParser_ParseSuperframe(DABplusParserHandle p, const uint8_t *input, uint32_t *frames,
                                  DABplusAccessUnitTable *table)
{
    if (!p || !input || !frames || !table)
        return DABPLUS_PARSER_NULL_ARGUMENT;
    std::memset(table->au, 0, sizeof table->au);
    std::memset(table->auLength, 0, sizeof table->auLength);
    table->auCount = 0;

    if (bufferFrames(p, input, frames) < 0) {
        publishState(p);
        return DABPLUS_PARSER_NEED_INPUT;
    }
    if (p->state == Searching) {
        searchLayer2(p, table);
        if (p->state == Searching && p->framesBuffered == static_cast<int32_t>(FramesPerSuperframe))
            searchDabPlus(p);
    }
    bool good = false;
    if (p->state == FollowingLayer2)
        good = layer2Unit(p, table);
    else if (p->state == FollowingDabPlus)
        good = dabPlusUnit(p, table);
    if (good)
        p->failureCounter = 0;
    publishState(p);
    return DABPLUS_PARSER_OK;
}

int DABplusParser_GetAudioConfig(DABplusParserHandle p, uint8_t *out, uint32_t *mpsConfig)
{
    if (!p || !out)
        return 0;
    if (p->state == FollowingLayer2) {
        std::memcpy(out, p->layer2Header, Layer2HeaderBytes);
        return static_cast<int>(Layer2HeaderBytes);
    }
    if (p->state == FollowingDabPlus && p->headerByte != HeaderUnknown)
        return DABplusParser_BuildAudioSpecificConfig(p->headerByte, out, mpsConfig);
    return 0;
}

const DABplusStreamHeader *DABplusParser_GetStreamHeader(DABplusParserHandle p)
{
    return p ? p->header : nullptr;
}

uint32_t DABplusParser_GetSampleRate(DABplusParserHandle p)
{
    if (!p)
        return 0;
    switch (p->header->streamType) {
    case DABPLUS_STREAM_LAYER2:
        return (p->layer2Header[1] & 0x08) ? 48000 : 24000;
    case DABPLUS_STREAM_AAC:
    case DABPLUS_STREAM_AAC_SBR:
    case DABPLUS_STREAM_AAC_SBR_PS:
        return (p->headerByte & HeaderDacRate) ? 48000 : 32000;
    default:
        return 0;
    }
}

int DABplusParser_GetLibInfo(LIB_INFO *table)
{
    if (!table)
        return DABPLUS_PARSER_NULL_ARGUMENT;
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, REZ_MODULE_NONE, nullptr);
    if (!row)
        return 1;
    RezTools_LibInfoFill(row, "DAB+ Parser", "16:54:19", REZ_MODULE_DABPLUS_PARSER, 2, 5, 0);
    return 0;
}

} // extern "C"
