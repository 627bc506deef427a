// The DAB+ decoder: the parser splits the sub-channel into units, and each unit
// goes to the core decoder its kind needs, opened on first use.
#include "DABplusDecoder.h"

#include "AacDec.h"
#include "DABplusDecoderCache.h"
#include "Layer2Dec.h"

#include <cstring>

namespace {

constexpr uint32_t LfeChannelType = 4;
// The AAC stream information's flags.
constexpr uint32_t AacSbrApplied = 0x8000;
constexpr uint32_t AacPsApplied = 0x20000;
constexpr uint32_t AacSurroundInStream = 0x40000;
constexpr uint32_t AacDrcApplied = 0x4000000;
// The library-information flags the decoder needs from its cores.
constexpr uint32_t SurroundCapability = 0x10;
// A configuration for the AAC decoder before the first superframe header: HE-AAC,
// 24 kHz core, stereo, 48 kHz output, 960 samples.
constexpr uint8_t DefaultAacConfig[] = {0x2B, 0x11, 0x8A, 0x00};

bool isConcealableAacError(int r)
{
    return r >= 0x4000 && r <= 0x4FFF;
}

uint8_t byteOf(uint32_t counter)
{
    return static_cast<uint8_t>(counter);
}

} // namespace

struct DABplusDecoderInstance
{
    DABplusParserHandle parser;
    AacDecHandle aac;
    uint32_t aacReconfigure;
    Layer2DecHandle layer2;
    uint32_t layer2ResetPending;
    DABplusAccessUnitTable table;
    int32_t lastParserResult;
    int32_t lastCoreResult;
    int32_t lastLayer2Result;
    uint32_t outputLimit;
    uint32_t subChannelSize;
    uint32_t configCounterSeen;
    uint8_t pad[DABPLUS_DEC_PAD_BUFFER];
    DABplusDecoderFrameInfo *frameInfo;
    DABplusDecoderCache cache;
    int32_t nextUnit;
};

namespace {

bool hasRow(const LIB_INFO *table, uint32_t id)
{
    for (int i = 0; i < REZ_LIB_INFO_ROWS; ++i)
        if (table[i].moduleId == id)
            return true;
    return false;
}

uint32_t moduleFlags(const LIB_INFO *table, uint32_t id)
{
    for (int i = 0; i < REZ_LIB_INFO_ROWS; ++i)
        if (table[i].moduleId == id)
            return table[i].flags;
    return 0;
}

bool hasCapabilities(const LIB_INFO *table)
{
    const uint32_t layer2 = moduleFlags(table, REZ_MODULE_LAYER2_DECODER);
    const uint32_t aac = moduleFlags(table, REZ_MODULE_AAC_DECODER);
    const uint32_t sbr = moduleFlags(table, REZ_MODULE_SBR_DECODER);
    return (layer2 & 0x01) && (aac & 0x01) && (aac & 0x40) && (sbr & 0x03) && (sbr & 0x20);
}

bool surroundPresent()
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    DABplusDecoder_GetLibInfo(table);
    return moduleFlags(table, REZ_MODULE_DABPLUS_DECODER) & SurroundCapability;
}

void resetFrameInfo(DABplusDecoderFrameInfo *info)
{
    info->statisticsValid = 0;
    info->pad = nullptr;
    info->padLength[0] = 0;
    info->padLength[1] = 0;
    info->reconfigurations = 0;
    info->concealed = 0;
    info->bitRate = 0;
}

void copyStreamHeader(DABplusDecoderInstance *d)
{
    const DABplusStreamHeader *header = DABplusParser_GetStreamHeader(d->parser);
    DABplusDecoderFrameInfo *info = d->frameInfo;
    if (!header)
        return;
    info->synced = static_cast<uint8_t>(header->synced);
    const DABplusParserStats &s = header->stats;
    if (s.unitProcessed) {
        info->statisticsValid = 1;
        info->allGood = byteOf(s.allGood);
        info->goodAusAfterRsFailure = byteOf(s.goodAusAfterRsFailure);
        info->noAuLost = byteOf(s.noAuLost);
        for (int i = 0; i < DABPLUS_MAX_ACCESS_UNITS; ++i)
            info->auLost[i] = byteOf(s.auLost[i]);
        info->fireGood = byteOf(s.fireGood);
        info->fireCorrections = byteOf(s.fireCorrections);
        info->fireFailures = byteOf(s.fireFailures);
        info->ausRepaired = byteOf(s.ausRepaired);
        info->rsAllDecodable = byteOf(s.rsAllDecodable);
        info->rsCodewords = byteOf(s.rsCodewords);
        info->rsCodewordsWithErrors = byteOf(s.rsCodewordsWithErrors);
        info->rsCorrected = byteOf(s.rsCodewordsCorrected);
        info->rsUncorrectable = byteOf(s.rsCodewordsUncorrectable);
        info->rsSymbolsCorrected = byteOf(s.rsSymbolsCorrected);
    }
    if (!header->synced) {
        info->channels = 0;
        info->bitRate = 0;
        info->samplesPerChannel = 0;
        info->configLength = 0;
        info->flags = 0;
    }
}

// The PAD at the end of a Layer II frame, without the scale-factor CRC between the
// X-PAD and the two F-PAD bytes.
void takeLayer2Pad(DABplusDecoderInstance *d, uint32_t padBits, const Layer2StreamInfo *info)
{
    const int32_t p = static_cast<int32_t>(padBits) >> 3;
    if (p < 1)
        return;
    uint32_t m = d->subChannelSize;
    if (info && info->codedChannels > 1)
        m /= 2;
    const int32_t c = m < 7 && info && info->codedSampleRate == 48000 ? 2 : 4;
    if (p < c + 2)
        return;
    d->pad[p - c - 2] = d->pad[p - 2];
    d->pad[p - c - 1] = d->pad[p - 1];
    d->frameInfo->padLength[0] = static_cast<uint32_t>(p - c);
    d->frameInfo->pad = d->pad;
}

int decodeLayer2Unit(DABplusDecoderInstance *d, int16_t *pcm, uint32_t pcmBytes, uint32_t *samplesOut)
{
    DABplusDecoderFrameInfo *info = d->frameInfo;
    int result = DABPLUS_DEC_OK;
    info->flags = 0;
    if (!d->layer2) {
        AacDec_Close(d->aac);
        d->aac = nullptr;
        d->layer2 = Layer2Dec_Open(nullptr, 0, 1, 1);
        if (!d->layer2)
            return DABPLUS_DEC_OUT_OF_MEMORY;
        if (Layer2Dec_SetParam(d->layer2, LAYER2DEC_PARAM_DIRECT_INPUT, 1) != LAYER2DEC_OK)
            return DABPLUS_DEC_SETUP_FAILED;
        result = DABplusDecoderCache_ReplayLayer2(&d->cache, d->layer2, surroundPresent());
        d->layer2ResetPending = 0;
    }
    if (d->table.configChanges != d->configCounterSeen) {
        Layer2Dec_Reset(d->layer2);
        d->configCounterSeen = d->table.configChanges;
        ++info->reconfigurations;
        d->layer2ResetPending = 0;
    } else if (d->layer2ResetPending) {
        Layer2Dec_Reset(d->layer2);
        d->layer2ResetPending = 0;
    }
    int32_t conceal = 0;
    if (d->table.auLength[0] > 0) {
        uint32_t valid = d->table.auLength[0];
        Layer2Dec_Fill(d->layer2, d->table.au[0], valid, &valid);
    } else {
        ++info->concealed;
        conceal = 1;
    }
    uint32_t samples = 0;
    uint32_t padBits = 0;
    const Layer2DecResult r = Layer2Dec_DecodeFrame(d->layer2, pcm + *samplesOut, pcmBytes / 2, &samples, d->pad,
                                                    DABPLUS_DEC_PAD_BUFFER, &padBits, conceal);
    d->lastLayer2Result = static_cast<int32_t>(r);
    // The unit is used up whatever happened: a failing frame is not tried again.
    ++d->nextUnit;
    if (!LAYER2DEC_IS_SUCCESS(r)) {
        if (r == LAYER2DEC_NOT_LAYER2 || r == LAYER2DEC_UNSUPPORTED_RATE || r == LAYER2DEC_NO_TABLE)
            return DABPLUS_DEC_LAYER2_FRAME_ERROR;
        return DABPLUS_DEC_CORE_FAILED;
    }
    *samplesOut += samples;
    const Layer2StreamInfo *stream = Layer2Dec_GetStreamInfo(d->layer2);
    info->type = DABPLUS_DEC_TYPE_LAYER2;
    info->samplesPerChannel = LAYER2DEC_FRAME_SAMPLES;
    info->pad = nullptr;
    info->padLength[0] = 0;
    info->padLength[1] = 0;
    if (stream) {
        info->channels = static_cast<uint32_t>(stream->outputChannels);
        info->bitRate = static_cast<uint32_t>(stream->bitRate > 0 ? stream->bitRate : 0);
        if (stream->outputChannels == 6 || stream->outputChannels == 8)
            info->flags |= DABPLUS_DEC_FLAG_MULTICHANNEL;
        if (stream->mode == 2)
            info->flags |= DABPLUS_DEC_FLAG_DUAL_CHANNEL;
        else if (stream->mode == 1)
            info->flags |= DABPLUS_DEC_FLAG_JOINT_STEREO;
        if (stream->drcValue >= 0)
            info->flags |= DABPLUS_DEC_FLAG_DYNAMIC_RANGE;
    }
    if (r == LAYER2DEC_CONCEALED) {
        info->allGood = 0;
        info->noAuLost = 0;
        ++info->auLost[0];
        ++info->concealed;
    } else {
        info->noAuLost = 1;
    }
    if (conceal) {
        if (stream)
            info->sampleRate = static_cast<uint32_t>(stream->outputSampleRate);
    } else if (stream && static_cast<uint32_t>(stream->outputSampleRate) != info->sampleRate) {
        return DABPLUS_DEC_CORE_FAILED;
    }
    takeLayer2Pad(d, padBits, stream);
    return result;
}

int openAac(DABplusDecoderInstance *d)
{
    Layer2Dec_Close(&d->layer2);
    d->aac = AacDec_Open(AACDEC_TT_RAW, 1);
    if (!d->aac)
        return DABPLUS_DEC_OUT_OF_MEMORY;
    if (const int r = DABplusDecoderCache_ReplayAac(&d->cache, d->aac, surroundPresent()))
        return r;
    const uint8_t *config = DefaultAacConfig;
    const uint32_t length = sizeof DefaultAacConfig;
    if (AacDec_ConfigRaw(d->aac, &config, &length) != AACDEC_OK)
        return DABPLUS_DEC_SETUP_FAILED;
    d->aacReconfigure = 0;
    return DABPLUS_DEC_OK;
}

int configureAac(DABplusDecoderInstance *d)
{
    DABplusDecoderFrameInfo *info = d->frameInfo;
    uint32_t mps = 0;
    const int length = DABplusParser_GetAudioConfig(d->parser, info->config, &mps);
    if (length <= 0)
        return DABPLUS_DEC_SUPERFRAME_FAILED;
    info->configLength = static_cast<uint32_t>(length);
    const uint8_t *config = info->config;
    const uint32_t configLength = info->configLength;
    if (AacDec_ConfigRaw(d->aac, &config, &configLength) != AACDEC_OK)
        return DABPLUS_DEC_SETUP_FAILED;
    d->aacReconfigure = 1;
    info->flags = (info->flags & ~DABPLUS_DEC_FLAG_SURROUND_MASK) | ((mps << 4) & DABPLUS_DEC_FLAG_SURROUND_MASK);
    d->configCounterSeen = d->table.configChanges;
    ++info->reconfigurations;
    return DABPLUS_DEC_OK;
}

int decodeAacUnit(DABplusDecoderInstance *d, int16_t *pcm, uint32_t pcmBytes, uint32_t *samplesOut)
{
    DABplusDecoderFrameInfo *info = d->frameInfo;
    info->flags &= DABPLUS_DEC_FLAG_SURROUND_MASK;
    // A decoder opened anew takes the stream's configuration even when the parser
    // saw no new header since the last AAC stream.
    bool opened = false;
    if (!d->aac) {
        if (const int r = openAac(d))
            return r;
        opened = true;
    }
    if (opened || d->table.configChanges != d->configCounterSeen) {
        if (const int r = configureAac(d))
            return r;
    }
    const uint32_t unit = static_cast<uint32_t>(d->nextUnit);
    uint32_t flags = 0;
    bool missing = false;
    if (d->table.auLength[unit] > 0) {
        const uint8_t *au = d->table.au[unit];
        const uint32_t length = d->table.auLength[unit];
        uint32_t valid = length;
        if (AacDec_Fill(d->aac, &au, &length, &valid) != AACDEC_OK ||
            AacDec_AncDataInit(d->aac, d->pad + info->padLength[0],
                               static_cast<int32_t>(DABPLUS_DEC_PAD_BUFFER - info->padLength[0])) != AACDEC_OK)
            return DABPLUS_DEC_SETUP_FAILED;
    } else {
        ++info->concealed;
        missing = true;
        flags = AACDEC_FLAG_CONCEAL;
    }
    if (d->aacReconfigure) {
        flags |= AACDEC_FLAG_RESYNC | AACDEC_FLAG_RESET;
        d->aacReconfigure = 0;
    }
    const int r = AacDec_DecodeFrame(d->aac, pcm + *samplesOut, static_cast<int32_t>(pcmBytes / 2), flags);
    d->lastCoreResult = r;
    // The unit is used up whatever happened: a failing unit is not tried again.
    ++d->nextUnit;
    if (r != AACDEC_OK && !isConcealableAacError(r)) {
        // What the core did not take must not run into the next unit.
        AacDec_SetParam(d->aac, AACDEC_PARAM_TP_RESET_INPUT, 1);
        return DABPLUS_DEC_CORE_FAILED;
    }
    if (r != AACDEC_OK && !missing)
        ++info->concealed;
    const AacDecStreamInfo *stream = AacDec_GetStreamInfo(d->aac);
    const DABplusStreamHeader *header = DABplusParser_GetStreamHeader(d->parser);
    if (!(stream->flags & AacSbrApplied))
        info->type = DABPLUS_DEC_TYPE_AAC;
    else if ((stream->flags & AacPsApplied) || (header && header->streamType == DABPLUS_STREAM_AAC_SBR_PS))
        info->type = DABPLUS_DEC_TYPE_AAC_SBR_PS;
    else
        info->type = DABPLUS_DEC_TYPE_AAC_SBR;
    info->bitRate = static_cast<uint32_t>(stream->bitRate > 0 ? stream->bitRate : 0);
    info->channels = static_cast<uint32_t>(stream->numChannels > 0 ? stream->numChannels : 0);
    info->samplesPerChannel = static_cast<uint32_t>(stream->frameSize > 0 ? stream->frameSize : 0);
    info->sampleRate = static_cast<uint32_t>(stream->sampleRate > 0 ? stream->sampleRate : 0);
    if (info->channels == 2 && stream->channelConfig == 1 && !(stream->flags & AacPsApplied))
        info->flags |= DABPLUS_DEC_FLAG_DUAL_CHANNEL;
    for (uint32_t c = 0; c < info->channels && c < 8 && stream->channelTypes; ++c)
        if (static_cast<uint32_t>(stream->channelTypes[c]) == LfeChannelType)
            info->flags |= DABPLUS_DEC_FLAG_MULTICHANNEL;
    if ((stream->flags & AacSurroundInStream) && !(info->flags & DABPLUS_DEC_FLAG_SURROUND_MASK))
        info->flags |= DABPLUS_DEC_FLAG_SURROUND_MASK;
    if (stream->flags & AacDrcApplied)
        info->flags |= DABPLUS_DEC_FLAG_DYNAMIC_RANGE;
    *samplesOut += info->samplesPerChannel * info->channels;
    uint8_t *data = nullptr;
    int32_t size = 0;
    d->lastCoreResult = AacDec_AncDataGet(d->aac, 0, &data, &size);
    if (d->lastCoreResult == AACDEC_OK && data && size > 0) {
        info->pad = d->pad;
        info->padLength[0] += static_cast<uint32_t>(size);
    }
    return DABPLUS_DEC_OK;
}

void closeInstance(DABplusDecoderInstance *d)
{
    Layer2Dec_Close(&d->layer2);
    AacDec_Close(d->aac);
    d->aac = nullptr;
    DABplusParser_Close(&d->parser);
    RezSys_AlignedFree(d->frameInfo);
    RezSys_AlignedFree(d);
}

} // namespace

extern "C" {

int DABplusDecoder_Open(DABplusDecoderHandle *handle, uint32_t n)
{
    if (!handle)
        return DABPLUS_DEC_INVALID_ARGUMENT;
    RezSys_CheckFirstInit();
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    DABplusDecoder_GetLibInfo(table);
    auto *d = static_cast<DABplusDecoderInstance *>(RezSys_AlignedCalloc(sizeof(DABplusDecoderInstance), 8));
    if (!d)
        return DABPLUS_DEC_OUT_OF_MEMORY;
    d->frameInfo = static_cast<DABplusDecoderFrameInfo *>(RezSys_AlignedCalloc(sizeof(DABplusDecoderFrameInfo), 8));
    if (!d->frameInfo) {
        closeInstance(d);
        return DABPLUS_DEC_OUT_OF_MEMORY;
    }
    DABplusDecoderCache_Init(&d->cache);
    const int r = DABplusParser_Open(&d->parser, n);
    if (r == DABPLUS_PARSER_BAD_PARAMETER || (r == DABPLUS_PARSER_OK && !d->parser)) {
        closeInstance(d);
        return r == DABPLUS_PARSER_BAD_PARAMETER ? DABPLUS_DEC_BAD_SUBCHANNEL : DABPLUS_DEC_OUT_OF_MEMORY;
    }
    if (r != DABPLUS_PARSER_OK) {
        closeInstance(d);
        return DABPLUS_DEC_OUT_OF_MEMORY;
    }
    d->subChannelSize = n;
    if (!hasCapabilities(table)) {
        closeInstance(d);
        return DABPLUS_DEC_SETUP_FAILED;
    }
    d->outputLimit = moduleFlags(table, REZ_MODULE_DABPLUS_DECODER) & SurroundCapability
                         ? DABPLUS_DEC_OUTPUT_LIMIT_SURROUND
                         : DABPLUS_DEC_OUTPUT_LIMIT;
    *handle = d;
    return DABPLUS_DEC_OK;
}

int DABplusDecoder_Close(DABplusDecoderHandle *handle)
{
    if (!handle || !*handle)
        return DABPLUS_DEC_INVALID_HANDLE;
    closeInstance(*handle);
    *handle = nullptr;
    return DABPLUS_DEC_OK;
}

int DABplusDecoder_Reset(DABplusDecoderHandle d, uint32_t n)
{
    if (!d)
        return DABPLUS_DEC_INVALID_HANDLE;
    const int r = DABplusParser_Reset(d->parser, n);
    if (r == DABPLUS_PARSER_BAD_PARAMETER)
        return DABPLUS_DEC_BAD_SUBCHANNEL;
    if (r != DABPLUS_PARSER_OK)
        return DABPLUS_DEC_SETUP_FAILED;
    d->subChannelSize = n;
    d->nextUnit = 0;
    d->table.auCount = 0;
    d->frameInfo->synced = 0;
    resetFrameInfo(d->frameInfo);
    if (d->aac)
        d->aacReconfigure = 1;
    if (d->layer2)
        d->layer2ResetPending = 1;
    return DABPLUS_DEC_OK;
}

int DABplusDecoder_DecodeFrame(DABplusDecoderHandle d, const uint8_t *input, int32_t *frames, int16_t *pcm,
                               uint32_t pcmBytes, uint32_t *samplesOut, DABplusDecoderFrameInfo **frameInfo)
{
    if (!d)
        return DABPLUS_DEC_INVALID_HANDLE;
    if (!frameInfo)
        return DABPLUS_DEC_INVALID_ARGUMENT;
    *frameInfo = nullptr;
    if (!pcm || !frames || !samplesOut) {
        *frameInfo = d->frameInfo;
        return DABPLUS_DEC_INVALID_ARGUMENT;
    }
    *samplesOut = 0;
    if (pcmBytes < 2 * d->outputLimit)
        return DABPLUS_DEC_PCM_TOO_SMALL;
    *frameInfo = d->frameInfo;
    if (*frames < 0)
        *frames = 0;
    resetFrameInfo(d->frameInfo);

    if (static_cast<uint32_t>(d->nextUnit) >= d->table.auCount) {
        d->nextUnit = 0;
        // Without input the parser is asked with no frames: it hands out what it holds.
        static const uint8_t noInput = 0;
        uint32_t count = input ? static_cast<uint32_t>(*frames) : 0;
        const int r = DABplusParser_ParseSuperframe(d->parser, input ? input : &noInput, &count, &d->table);
        d->lastParserResult = r;
        *frames = static_cast<int32_t>(count);
        if (r == DABPLUS_PARSER_NEED_INPUT)
            return DABPLUS_DEC_NEED_INPUT;
        if (r != DABPLUS_PARSER_OK)
            return DABPLUS_DEC_SUPERFRAME_FAILED;
        copyStreamHeader(d);
    }
    if (static_cast<uint32_t>(d->nextUnit) >= d->table.auCount)
        return DABPLUS_DEC_OK;
    d->frameInfo->sampleRate = DABplusParser_GetSampleRate(d->parser);
    switch (d->table.auCount) {
    case 1:
        return decodeLayer2Unit(d, pcm, pcmBytes, samplesOut);
    case 2:
    case 3:
    case 4:
    case 6:
        return decodeAacUnit(d, pcm, pcmBytes, samplesOut);
    default:
        return DABPLUS_DEC_SETUP_FAILED;
    }
}

int DABplusDecoder_SetParam(DABplusDecoderHandle d, int32_t id, int32_t value)
{
    if (!d)
        return DABPLUS_DEC_INVALID_HANDLE;
    if (id == DABPLUS_DEC_PARAM_FAILURE_LIMIT) {
        DABplusParser_SetParam(d->parser, 0, value);
        return DABPLUS_DEC_OK;
    }
    return DABplusDecoderCache_Set(&d->cache, id, value, surroundPresent(), d->aac, d->layer2);
}

int DABplusDecoder_GetAccessUnits(DABplusDecoderHandle d, DABplusAccessUnitTable **table, int32_t *nextIndex)
{
    if (!d)
        return DABPLUS_DEC_INVALID_HANDLE;
    if (table)
        *table = &d->table;
    if (nextIndex)
        *nextIndex = d->nextUnit;
    return DABPLUS_DEC_OK;
}

int DABplusDecoder_GetLibInfo(LIB_INFO *table)
{
    if (!table)
        return -1;
    DABplusParser_GetLibInfo(table);
    AacDec_GetLibInfo(table);
    Layer2Dec_GetLibInfo(table);
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, REZ_MODULE_DABPLUS_DECODER, nullptr);
    if (!row)
        return -1;
    const uint32_t layer2 = moduleFlags(table, REZ_MODULE_LAYER2_DECODER);
    const uint32_t aac = moduleFlags(table, REZ_MODULE_AAC_DECODER);
    uint32_t flags = (layer2 & 0x01) ? 0x07 : 0x06;
    if ((aac & 0x1000) && (layer2 & 0x10))
        flags |= 0x08;
    if (hasRow(table, REZ_MODULE_MPS_DECODER) && (layer2 & 0x08))
        flags |= SurroundCapability;
    RezTools_LibInfoFill(row, "DAB+ Decoder", "16:54:18", REZ_MODULE_DABPLUS_DECODER, 2, 1, flags);
    return 0;
}

} // extern "C"
