// MPEG Transport: finds the access units of an MPEG-4 audio stream in its
// carriage format (raw, ADIF, ADTS, LATM, LOAS, DRM), parses the configuration
// carried in band or handed in out of band, and reports each configuration to
// its user through the registered callbacks, first checking, then applying.
//
// The AAC decoder owns one transport; the configuration parsers it calls are the
// AAC library's own, which is why both live in one library.
#pragma once

#include "aac_config.h"

#include <cstdint>

enum TpDecTransportType : int32_t {
    TPDEC_TYPE_RAW = 0,
    TPDEC_TYPE_ADIF = 1,
    TPDEC_TYPE_ADTS = 2,
    TPDEC_TYPE_LATM_MCP1 = 6, // StreamMuxConfig in band
    TPDEC_TYPE_LATM_MCP0 = 7, // StreamMuxConfig out of band
    TPDEC_TYPE_LOAS = 10,
    TPDEC_TYPE_DRM = 12,
};

// The input ring; a power of two.
constexpr uint32_t TpDecBufferSize = 8192;
// Out-of-band configurations above this are refused.
constexpr uint32_t TpDecMaxConfigBytes = 1024;
// Raw data blocks of one ADTS frame, sub-frames and layers of one LATM frame.
constexpr int AdtsMaxRawBlocks = 4;
constexpr int LatmMaxLayers = 1;
// The largest frame the synchronisation waits for before it gives up on a header.
constexpr uint32_t TpDecMaxFrameBits = 65529;

enum : uint32_t {
    TpFlagSynchronised = 0x01,
    TpFlagLookAheadAll = 0x02,
    TpFlagIgnoreFullness = 0x04,
    TpFlagLookAheadConfig = 0x08,
    TpFlagResynchronising = 0x10,
    TpFlagConfigReceived = 0x20,
    TpFlagParam9 = 0x40,
};

struct TpDecAdtsHeader
{
    uint8_t mpegId;
    uint8_t layer;
    uint8_t protectionAbsent;
    uint8_t profile;
    uint8_t samplingFrequencyIndex;
    uint8_t privateBit;
    uint8_t channelConfig;
    uint8_t original;
    uint8_t home;
    uint16_t frameLength;    // bytes
    uint16_t bufferFullness; // 0x7FF: variable rate
    uint8_t numRawBlocks;    // raw data blocks minus one
};

struct TpDecAdtsState
{
    TpDecAdtsHeader header;
    uint32_t pceBits;              // bits of a program config element after the header
    uint8_t acceptMpeg4;
    uint8_t fullnessPending;
    RezCrcEngine crc;
    uint16_t crcWord;
    int crcRegion;
    uint16_t blockPosition[AdtsMaxRawBlocks]; // after parsing: block lengths in bytes
    // The last frame's program config element, reused by frames that do not repeat it.
    uint8_t havePce;
    AacPce pce;
};

struct TpDecAdifHeader
{
    uint8_t idPresent;
    uint8_t original;
    uint8_t home;
    uint8_t bitstreamType;
    uint32_t bitRate;
    uint8_t numPce;
};

struct TpDecLatmLayer
{
    uint8_t streamId;
    uint8_t frameLengthType;
    uint8_t bufferFullness;
    uint16_t frameLength;
    uint32_t payloadBits;
    uint8_t newlyConfigured;
};

struct TpDecLatmState
{
    uint8_t audioMuxVersion;
    uint8_t audioMuxVersionA;
    uint32_t taraBufferFullness;
    uint8_t allStreamsSameTimeFraming;
    uint8_t numSubFrames;
    uint8_t numPrograms;
    uint8_t numLayers;
    TpDecLatmLayer layers[LatmMaxLayers];
    uint8_t otherDataPresent;
    uint32_t otherDataLenBits;
    uint8_t crcCheckPresent;
    uint8_t subFramesLeft;
    uint32_t audioMuxLengthBytes;
    uint8_t fullnessPassed;
    uint8_t configured;
};

struct TpDecDrmState
{
    RezCrcEngine crc;
    uint8_t crcByte;
    int crcRegion;
};

struct TpDecInstance
{
    TpDecTransportType type;
    TpDecCallbacks callbacks;
    RezBitStream bs;
    uint8_t *buffer;
    TpDecAdtsState adts;
    TpDecLatmState latm;
    TpDecDrmState drm;
    TpDecAdifHeader adif;
    AudioSpecificConfig config;    // current configuration of layer 0
    AudioSpecificConfig rawConfig; // an out-of-band configuration before it is taken
    int32_t auStart;               // valid bits at the start of the access unit; 0 after a failed read
    int32_t auLength;              // bits; -1 unknown
    uint32_t headerStart;          // valid bits at the start of the last transport header
    int32_t blocksLeft;
    int32_t auLengthEstimate;
    uint32_t bitRate;
    uint32_t remainder;
    int32_t lostUnits;             // -1 when none is known
    uint32_t bufferingMs;
    uint32_t framesChecked;
    int32_t param7;
    uint32_t skippedBits;          // skipped while resynchronising
    uint32_t flags;
};

using TpDecHandle = TpDecInstance *;

TpDecHandle TpDec_Open(int32_t type, uint32_t flags, int32_t numLayers);
void TpDec_Close(TpDecHandle *handle);

int TpDec_RegisterConfigCallback(TpDecHandle tp, TpDecConfigCallback callback, void *context);
int TpDec_RegisterFreeMemCallback(TpDecHandle tp, TpDecFreeMemCallback callback, void *context);
int TpDec_RegisterSscCallback(TpDecHandle tp, TpDecSscCallback callback, void *context);
int TpDec_RegisterSbrCallback(TpDecHandle tp, TpDecSbrCallback callback, void *context);

int TpDec_FillData(TpDecHandle tp, const uint8_t *bytes, uint32_t size, uint32_t *bytesValid, int32_t layer);
int TpDec_ParseConfig(TpDecHandle tp, const uint8_t *bytes, uint32_t length, int32_t layer);
int TpDec_ReadAccessUnit(TpDecHandle tp, int32_t layer);
int TpDec_EndAccessUnit(TpDecHandle tp);

RezBitStream *TpDec_GetBitStream(TpDecHandle tp, int32_t layer);
int32_t TpDec_GetAccessUnitLength(TpDecHandle tp, int32_t layer);
int32_t TpDec_GetAccessUnitBitsLeft(TpDecHandle tp, int32_t layer);
int TpDec_GetLostUnits(int32_t *out, TpDecHandle tp);
int32_t TpDec_GetTransportType(TpDecHandle tp);

int TpDec_CrcStartRegion(TpDecHandle tp, int32_t bits);
void TpDec_CrcEndRegion(TpDecHandle tp, int region);
int TpDec_CrcCheck(TpDecHandle tp);

int TpDec_SetParam(TpDecHandle tp, int32_t id, int32_t value);
int TpDec_GetLibInfo(LIB_INFO *table);

// Carriage syntax (the format states above).
int TpDec_ParseAdtsHeader(TpDecAdtsState *adts, AudioSpecificConfig *config, RezBitStream *bs, int ignoreFullness);
int32_t TpDec_GetAdtsAccessUnitLength(const TpDecAdtsState *adts, int blockIndex);
int TpDec_AdtsCrcStart(TpDecAdtsState *adts, RezBitStream *bs, int32_t bits);
void TpDec_AdtsCrcEnd(TpDecAdtsState *adts, RezBitStream *bs, int region);
int TpDec_AdtsCrcCheck(const TpDecAdtsState *adts);
int TpDec_ParseAdifHeader(TpDecAdifHeader *adif, AacPce *pce, RezBitStream *bs);
int TpDec_ParseAudioMuxElement(RezBitStream *bs, TpDecLatmState *latm, int32_t type, const TpDecCallbacks *callbacks,
                               AudioSpecificConfig *config, int ignoreFullness, uint8_t *configFound);
int TpDec_ParseStreamMuxConfig(RezBitStream *bs, TpDecLatmState *latm, const TpDecCallbacks *callbacks,
                               AudioSpecificConfig *config, uint8_t *configFound, uint8_t configMode,
                               uint8_t configChanged);
int TpDec_ParsePayloadLengthInfo(RezBitStream *bs, TpDecLatmState *latm);
uint32_t TpDec_LatmGetValue(RezBitStream *bs);
void TpDec_DrmInit(TpDecDrmState *drm);
int TpDec_DrmCrcStart(TpDecDrmState *drm, RezBitStream *bs);
void TpDec_DrmCrcEnd(TpDecDrmState *drm, RezBitStream *bs);
int TpDec_DrmCrcCheck(const TpDecDrmState *drm);

// Read positions as valid bits still ahead; negative once a read went past the
// data (those bits are owed back before the position means anything).
inline int64_t TpDec_Position(RezBitStream *bs)
{
    RezTools_BitStreamSync(bs);
    return static_cast<int64_t>(bs->bitBuffer.validBits) - bs->bitBuffer.overrunBits;
}

// Moves the read position to `target` (a TpDec_Position value), never past the data.
inline void TpDec_SeekTo(RezBitStream *bs, int64_t target)
{
    const int64_t now = TpDec_Position(bs);
    if (target > now)
        RezTools_BitStreamPushBack(bs, static_cast<uint32_t>(target - now));
    else if (target < now)
        RezTools_BitStreamPushForward(bs, static_cast<uint32_t>(now - target));
}

// Takes back the bits read past the data, so that new input lines up.
inline void TpDec_SettleOverrun(RezBitStream *bs)
{
    RezTools_BitStreamSync(bs);
    if (bs->bitBuffer.overrunBits)
        RezTools_BitStreamPushBack(bs, bs->bitBuffer.overrunBits);
}
