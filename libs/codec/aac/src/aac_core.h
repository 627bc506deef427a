// The AAC decoder core: its instance record, per-channel records, and the
// configuration step that checks an AudioSpecificConfig against what the decoder
// supports, derives the element and channel layout, and (re)allocates the
// per-channel memory.
#pragma once

#include "AacDec.h"
#include "PcmDmx.h"
#include "SbrDec.h"
#include "TdLimiter.h"
#include "aac_conceal.h"
#include "aac_config.h"
#include "aac_drc.h"
#include "tpdec.h"

#include <cstdint>

constexpr int AacMaxChannels = 8;
constexpr int AacMaxElements = 61;
// Element-stereo records: one per stereo element among the first this many elements.
constexpr int AacMaxStereoRecords = 16;
// Elements listed from a program config element.
constexpr int AacMaxPceElements = 16;

// Frame samples of one channel's spectrum.
constexpr uint32_t AacSpectrumWords = 1024;
constexpr uint32_t AacSpectralBlockBytes = 655360;
constexpr uint32_t AacTimeBufferBytes = 655360;
// The time buffer's capacity in 32-bit samples, which is what its users count in.
constexpr uint32_t AacTimeBufferSamples = AacTimeBufferBytes / sizeof(int32_t);
constexpr uint32_t AacOverlapBytes = 2048;
constexpr uint32_t AacWorkBufferBytes = 8192;
constexpr uint32_t AacDynamicBufferBytes = 8192;
constexpr uint32_t AacDynamicBufferSmallBytes = 5040;
constexpr uint32_t AacPredictionBufferBytes = 2052;
constexpr uint32_t AacResilienceBufferBytes = 11312;
constexpr uint16_t AacSbrWorkBufferLength = 512;

// Decoder flags word.
enum : uint32_t {
    AacFlagSectionResilience = 0x1,
    AacFlagScalefactorResilience = 0x2,
    AacFlagSpectralResilience = 0x4,
    AacFlagErrorResilient = 0x8,
    AacFlagLowDelay = 0x10,
    AacFlagLowDelayExtended = 0x20,
    AacFlagEpConfig = 0x40,
    AacFlagUsac = 0x100,
    AacFlagRsvd200 = 0x200,
    AacFlagRsvd4000 = 0x4000,
    AacFlagSbr = 0x8000,
    AacFlagPs = 0x20000,
    AacFlagMps = 0x40000,
    AacFlagIndependent = 0x100000,
    AacFlagDrcApplied = 0x4000000,
    AacFlagUsacStereoIndex3 = 0x8000000,
};

// Element flags of the unified configuration.
constexpr uint32_t AacElementHarmonicSbr = 0x2;
constexpr uint32_t AacElementInterTes = 0x4;
constexpr uint32_t AacElementPvc = 0x8;
constexpr uint32_t AacElementStereoIndex = 0x10;
constexpr uint32_t AacElementLfe = 0x20 | 0x2000;
constexpr uint32_t AacElementStereoPrediction = 0x40;

// Band tables of the current rate and frame length.
struct AacSamplingRateInfo
{
    const int16_t *bandOffsetLong;  // numbers of first lines, bandsLong + 1 entries
    const int16_t *bandOffsetShort;
    uint8_t bandsLong;
    uint8_t bandsShort;
    uint8_t samplingFrequencyIndex;
    uint32_t sampleRate;
};

struct AacDecElementShared
{
    uint8_t *workBuffer;       // owned by channel 0
    uint8_t *predictionBuffer; // stereo elements with prediction
    uint8_t *resilienceBuffer; // owned by channel 0
};

struct AacDecChannelInfo
{
    int32_t *spectrum;         // inside spectralBlock
    uint32_t granuleLength;
    uint8_t renderMode;        // 1 frequency domain, 3 second decoding path
    uint8_t *dynamicData;
    uint8_t *elementDynamic;   // the element's first channel's dynamic buffer
    AacDecElementShared *elementShared;
    uint8_t ownsDynamic;       // 1 when dynamicData is this channel's own block
};

struct AacDecStereoData;

// The inverse MDCT of one channel with its overlap between frames.
struct AacDecSynthesisState
{
    RezImdctState imdct;
    int32_t overlap[1024];
};

struct AacDecChannelState
{
    int32_t *overlap;          // AacOverlapBytes, 8-aligned
    void *imdct;               // the inverse MDCT state over the overlap buffer
    void *arithContext;        // unified coding only
    uint8_t windowSequence;    // 255: none yet
    uint16_t value256;
    uint32_t noiseSeed;
    AacDecStereoData *stereo;
    AacDecSynthesisState synthesis;
    // The window of the last good frame, which a concealed frame keeps.
    uint8_t lastWindowSequence;
    uint8_t lastWindowShape;
    int32_t previousSpectrum[AacSpectrumWords];
    int32_t history[AacSpectrumWords];
    AacDecDrcChannel drc;
};

struct AacDecStereoData
{
    int32_t reserved;
    uint8_t *workBuffer;
    int32_t *previousSpectrum[2];
    int32_t *history[2];
    uint8_t predictionReal[1024];
    uint8_t predictionImag[1024];
    uint8_t previousWindowSequence;
    uint8_t previousWindowShape;
};

struct AacDecFrameWork;

struct AacDecAncData
{
    uint8_t *buffer;
    int32_t size;
    int32_t offset[8];
    int32_t blocks;
};

struct AacDecInstance
{
    int32_t channelCount;
    int32_t configChannels;
    uint32_t frameCounter;
    TpDecHandle transport;
    int32_t numLayers;
    AacSamplingRateInfo samplingRateInfo;
    uint8_t frameOk;
    uint32_t flags;
    uint32_t elementFlags[AacMaxElements];
    int8_t elementList[AacMaxElements];
    uint8_t channelOutputMap[AacMaxChannels];
    int8_t decodedElements[AacMaxElements];
    int32_t channelTypes[AacMaxChannels];
    uint8_t channelIndices[AacMaxChannels];
    RezChannelMap channelMap;
    uint8_t channelMapRow;
    AacPce pce;
    AacDecStreamInfo streamInfo;
    AacDecChannelInfo *channelInfo[AacMaxChannels];
    AacDecChannelInfo *couplingInfo;
    AacDecChannelState *channelState[AacMaxChannels];
    int32_t *spectralBlock;
    int32_t *timeBuffer;
    uint32_t timeBufferCapacity; // samples
    AacDecStereoData *elementStereoData[AacMaxStereoRecords];
    AacDecConcealParams concealParams;
    int32_t concealMethod;       // set by the user; -1 never
    int32_t concealDelay;        // frames
    int32_t configuredElements;
    uint8_t stereoConfigIndex[AacMaxElements];
    const AudioSpecificConfig *configRecord;
    int32_t lastChannelCount;
    int32_t lastChannelTypes[AacMaxChannels];
    uint8_t lastChannelIndices[AacMaxChannels];
    uint8_t downscaleFactor;
    SbrDecHandle sbr;
    uint8_t sbrEnabled;
    uint8_t sbrEnabledSaved;
    uint8_t psWithoutMps;
    uint8_t *sbrWorkBuffer;
    uint16_t sbrWorkBufferLength;
    // The QMF domain shared with SBR and MPEG Surround; only its request is kept
    // until the toolbox's QMF domain arrives.
    struct QmfRequest {
        uint8_t active;
        uint8_t inputChannels, outputChannels;
        uint8_t extraChannelsActive, extraChannelsRequested;
        uint32_t flags;
        uint8_t analysisBands, synthesisBands, timeSlots, overlapSlots, processingBands, processingChannels;
    } qmfRequest;
    uint8_t mpsActive;
    uint8_t mpsEnableParam;
    AacDecAncData ancData;
    AacDecDrc drc;
    AacDecFrameWork *work;       // the frame's parsed elements and spectra
    uint32_t noiseSeed;          // running noise-substitution seed, shared by all channels
    uint8_t lastSbrEnabled;
    PcmDmxHandle pcmDmx;
    TdLimiterHandle limiter;
    uint8_t limiterEnable;     // 255 automatic
    uint8_t limiterActive;
    int32_t limiterGain;       // Q20, the loudness normalisation the limiter applies
    int32_t heldLimiterGain;   // Q20, that of the last good frame received
    int32_t stereoUpmixMode;   // -1 automatic
    int32_t metadataExpiryMs;
    // Stored core values compared by the configuration step.
    int32_t storedAot;
    uint32_t storedExtensionRate;
    uint32_t storedSampleRate;
    uint32_t storedFrameLength;
};

// Downmix metadata expires after the stored time, in frames of the current
// configuration (rounded up).
void AacDec_RefreshMetadataExpiry(AacDecInstance *h);
// Sets the concealment method and passes the frames of delay it adds to SBR and the
// downmix, which line up with the core; a refusal puts the old method back.
// 0, 0x200A, or 0x2001 from the downmix.
int AacDec_ApplyConcealMethod(AacDecInstance *h, int32_t method);

// Instance life.
AacDecInstance *AacDec_CreateInstance(int32_t ignored);
void AacDec_DestroyInstance(AacDecInstance *h);
void AacDec_FreeChannelMemory(AacDecInstance *h, int32_t ignored);
int AacDec_ReleaseChannels(AacDecInstance *h, int32_t ignored);
AacDecStreamInfo *AacDec_StreamInfoOf(AacDecInstance *h);
void AacDec_InitStreamInfo(AacDecStreamInfo *info);

// Configuration: mode bit 0 checks (reports *changed, allocates nothing), bit 1
// applies. Results: 0; 2 memory or element-list failure (all channel memory freed);
// 0x2001..0x2008 as in AacDec.h.
int AacDec_InitFromConfig(AacDecInstance *h, const AudioSpecificConfig *config, uint8_t mode, uint8_t *changed);
// The stored program configuration's matrix mixdown to the stream info and the PCM
// downmix.
void AacDec_PublishPceMixdown(AacDecInstance *h);

// Fills the band tables for a frame length and rate.
// Results: 0, or 0x2003 for a frame length other than 1024, 960 and 768 or a rate without
// tables (the rate is then 0).
int AacDec_GetSamplingRateInfo(AacSamplingRateInfo *info, uint32_t frameLength, uint32_t samplingFrequencyIndex,
                               uint32_t sampleRate);

// Allocation of the core's records.
AacDecInstance *AacDec_AllocInstance();
AacDecChannelInfo *AacDec_AllocChannelInfo();
AacDecChannelState *AacDec_AllocChannelState();
AacDecStereoData *AacDec_AllocStereoData();
uint8_t *AacDec_AllocPredictionBuffer();
uint8_t *AacDec_AllocResilienceBuffer();
int32_t *AacDec_AllocOverlapBuffer();
uint8_t *AacDec_AllocWorkBuffer();
uint8_t *AacDec_AllocDynamicBuffer();
int32_t *AacDec_AllocSpectralBlock();
int32_t *AacDec_AllocTimeBuffer();
uint32_t AacDec_TimeBufferCapacity();
void AacDec_FreeMem(void **slot);
void AacDec_FreeAlignedMem(void **slot);
