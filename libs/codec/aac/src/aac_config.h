// The MPEG-4 audio configuration: the AudioSpecificConfig record that the core
// initialises from, the program config element with the services that map
// elements to output channels, and the parsers that fill them.
#pragma once

#include "RezTools.h"

#include <cstdint>

// Results shared with the transport decoder (TpDecError).
enum : int {
    TPDEC_OK = 0,
    TPDEC_NOT_ENOUGH_BITS = 257,
    TPDEC_SYNC_LOST = 258,
    TPDEC_CALLBACK_FAILED = 513,
    TPDEC_INVALID_HANDLE = 514,
    TPDEC_CONFIG_NOT_READY = 515,
    TPDEC_INPUT_NOT_TAKEN = 516,
    TPDEC_PARSE_ERROR = 1025,
    TPDEC_UNSUPPORTED = 1026,
    TPDEC_CRC_ERROR = 1027,
};

constexpr int PceMaxElements = 16;
constexpr int PceMaxLfe = 4;
constexpr int PceMaxAssocData = 8;
constexpr int PceMaxCoupling = 16;
constexpr int PceMaxComment = 256;

// Height layers of front, side and back elements.
enum : uint8_t { PceLayerNormal = 0, PceLayerTop = 1, PceLayerBottom = 2 };

struct AacPce
{
    uint8_t elementInstanceTag;
    uint8_t objectType;
    uint8_t samplingFrequencyIndex; // 15 after clearing
    uint8_t numFront, numSide, numBack, numLfe, numAssocData, numValidCc;
    uint8_t monoMixdownPresent, monoMixdownElement;
    uint8_t stereoMixdownPresent, stereoMixdownElement;
    uint8_t matrixMixdownPresent, matrixMixdownIndex, pseudoSurround;
    uint8_t frontIsCpe[PceMaxElements], frontTag[PceMaxElements], frontHeight[PceMaxElements];
    uint8_t sideIsCpe[PceMaxElements], sideTag[PceMaxElements], sideHeight[PceMaxElements];
    uint8_t backIsCpe[PceMaxElements], backTag[PceMaxElements], backHeight[PceMaxElements];
    uint8_t lfeTag[PceMaxLfe];
    uint8_t assocDataTag[PceMaxAssocData];
    uint8_t ccIsIndSw[PceMaxCoupling];
    uint8_t ccTag[PceMaxCoupling];
    uint8_t commentBytes;
    uint8_t comment[PceMaxComment];
    uint8_t isValid;
    uint8_t numChannels;    // a pair counts 2, an LFE 1
    uint8_t numFrontChannels, numSideChannels, numBackChannels; // without LFE
    uint8_t elementCounter; // used while mapping elements
};

// Element ids of the core's element lists.
enum : int8_t {
    AacIdSce = 0,
    AacIdCpe = 1,
    AacIdCce = 2,
    AacIdLfe = 3,
    AacIdDse = 4,
    AacIdPce = 5,
    AacIdFil = 6,
    AacIdEnd = 7,
    AacIdExtensionPosition = 8,
    AacIdUsacSce = 16,
    AacIdUsacCpe = 17,
    AacIdUsacLfe = 18,
    AacIdUsacExt = 19,
};

// Elements of a unified speech and audio configuration; more are refused.
constexpr int UsacMaxElements = 11;

struct UsacElementConfig
{
    int8_t id;                 // AacIdUsacSce .. AacIdUsacExt
    uint8_t stereoConfigIndex; // pairs only
    uint8_t noiseFilling;
    uint8_t harmonicSbr;       // the three SBR options (with SBR only)
    uint8_t interTes;
    uint8_t pvc;
    uint32_t extensionType;    // extension elements
};

struct AudioSpecificConfig
{
    // General-audio core fields.
    struct {
        uint32_t frameLengthFlag;
        uint32_t dependsOnCoreCoder;
        uint32_t coreCoderDelay;
        uint32_t extensionFlag;
        uint32_t extensionFlag3;
        uint32_t layerNr;
        uint32_t numOfSubFrame;
        uint32_t layerLength;
    } ga;
    // Unified speech and audio core fields (object type 42).
    struct {
        uint32_t coreSbrFrameLengthIndex;
        uint32_t sbrRatioIndex; // 0 none, 1 4:1, 2 8:3, 3 2:1
        uint32_t elementCount;
        UsacElementConfig elements[UsacMaxElements];
    } usac;
    AacPce pce;
    int32_t aot;               // -1 after clearing
    uint32_t sampleRate;
    uint32_t frameLength;
    int32_t extensionAot;      // 0 after clearing, 5 with SBR
    uint32_t extensionSampleRate;
    uint8_t channelConfig;
    int8_t epConfig;           // -1 after clearing
    uint8_t sectionDataResilience;
    uint8_t scalefactorDataResilience;
    uint8_t spectralDataResilience;
    uint8_t sbrPresent;
    uint8_t psPresent;
    uint8_t samplingFrequencyIndex;          // 15 after clearing
    uint8_t extensionSamplingFrequencyIndex;
    uint8_t extensionChannelConfig;
    uint8_t configMode;        // 1 checking pass, 2 applying pass
    uint8_t configChanged;
    uint8_t sbrConfigChanged;
    uint8_t mpsConfigChanged;
};

// The four callbacks through which the transport reports configurations, in the
// order they are registered.
using TpDecConfigCallback = int (*)(void *context, const AudioSpecificConfig *config, uint8_t configMode,
                                    uint8_t *configChanged);
using TpDecFreeMemCallback = int (*)(void *context, const AudioSpecificConfig *config);
using TpDecSscCallback = int (*)(void *context, RezBitStream *bs, int32_t coreAot, int32_t sampleRate,
                                 int32_t frameLength, int32_t channelConfig, int32_t a, int32_t b,
                                 int32_t configBytes, uint8_t configMode, uint8_t *configChanged);
using TpDecSbrCallback = int (*)(void *context, RezBitStream *bs, int32_t coreRate, int32_t outputRate,
                                 int32_t frameLength, int32_t aot, int32_t elementId, int32_t elementIndex,
                                 uint8_t harmonicSbr, uint8_t stereoConfigIndex, uint8_t configMode,
                                 uint8_t *configChanged, int32_t downscaleFactor, int32_t psAllowed);

struct TpDecCallbacks
{
    TpDecConfigCallback config;
    void *configContext;
    TpDecFreeMemCallback freeMem;
    void *freeMemContext;
    TpDecSscCallback ssc;
    void *sscContext;
    TpDecSbrCallback sbr;
    void *sbrContext;
};

// Clears the record: object type -1, epConfig -1, sampling index 15, PCE cleared.
void AacDec_ClearConfig(AudioSpecificConfig *config);

// The parsers write the stream's cache back first and return a TpDecError.
int AacDec_ParseAudioSpecificConfig(AudioSpecificConfig *config, RezBitStream *bs, int parseExtensions,
                                    const TpDecCallbacks *callbacks, uint8_t configMode, uint8_t configChanged);
int AacDec_ParseExtensionSignalling(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks);
int AacDec_ParseGaSpecificConfig(AudioSpecificConfig *config, RezBitStream *bs, uint32_t startBits);
int AacDec_ParseDrmSdcConfig(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks,
                             uint8_t configMode, uint8_t configChanged);
int32_t AacDec_ParseAot(RezBitStream *bs);
uint32_t AacDec_ParseSamplingRate(RezBitStream *bs, uint8_t *index, int indexBits);
uint8_t AacDec_SamplingRateIndex(uint32_t rate, int bits);
// The escaped value of the unified configuration: nBits1 bits, extended by nBits2
// and then nBits3 bits when all ones.
uint32_t AacDec_ReadEscapedValue(RezBitStream *bs, int nBits1, int nBits2, int nBits3);

// Program config element. Parse returns 1 when the element is valid.
int AacDec_ParseProgramConfig(AacPce *pce, RezBitStream *bs, uint32_t startBits);
void AacDec_PceInit(AacPce *pce);
int AacDec_PceIsValid(const AacPce *pce);
void AacDec_PceDefault(AacPce *pce, int channelConfig);
// 0 identical; -1 different channel counts; 1 same elements in a different order or
// with different tags; 2 different layout.
int AacDec_PceCompare(const AacPce *a, const AacPce *b);
int AacDec_PceGetElementList(const AacPce *pce, int8_t *elementTypes, int max, uint8_t *channelConfig);
int AacDec_PceChannelIndices(const AacPce *pce, uint8_t *indices, int max);
int AacDec_PceCheckLayout(const AacPce *pce);
void AacDec_PceResetElementCount(AacPce *pce);
void AacDec_PceSlotForLayout(uint8_t *type, uint8_t *index, int channelConfig, int position);
// Assigns a decoded element its output channel type and index; 1 decode, 0 skip.
// elementList is the configured list (stream order), used for fixed layouts.
int AacDec_PceMapElement(AacPce *pce, int channelConfig, int tag, const int8_t *elementList, int listLength,
                         int32_t *channelTypes, uint8_t *channelIndices, int maxChannels, int elementType);

// Output channel types of the mapping.
enum : uint8_t {
    AacChannelNone = 0,
    AacChannelFront = 1,
    AacChannelSide = 2,
    AacChannelBack = 3,
    AacChannelLfe = 4,
    AacChannelTopLayer = 16,
};
