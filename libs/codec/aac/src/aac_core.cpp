// The AAC core's instance and its configuration step.
#include "aac_core.h"
#include "aac_frame.h"
#include "aac_sfb_tables.h"
#include "aac_tables.h"

#include <cstring>

namespace {

constexpr size_t Alignment = 8;
constexpr uint32_t NoiseSeedFirst = 12345;
constexpr uint32_t NoiseSeedSecond = 67890;
constexpr int32_t UsacLimiterAttackMs = 5;
constexpr int32_t UsacLimiterThreshold = 0x72148300;
// The limiter gain word at unity: Q20.
constexpr int32_t UnityLimiterGain = 0x100000;

bool supportedAot(int32_t aot)
{
    switch (aot) {
    case 2: case 5: case 20: case 29: case 42: case 143: case 146:
        return true;
    default:
        return false;
    }
}

// Channels an element id occupies.
int channelsOfElement(int8_t id, uint8_t stereoConfigIndex)
{
    switch (id) {
    case AacIdSce: case AacIdLfe: case AacIdUsacSce: case AacIdUsacLfe:
        return 1;
    case AacIdCpe:
        return 2;
    case AacIdUsacCpe:
        return stereoConfigIndex == 1 ? 1 : 2;
    default:
        return 0;
    }
}

template <typename T>
void freePlain(T *&p)
{
    void *slot = p;
    AacDec_FreeMem(&slot);
    p = nullptr;
}

template <typename T>
void freeAligned(T *&p)
{
    void *slot = p;
    AacDec_FreeAlignedMem(&slot);
    p = nullptr;
}

int failAllocation(AacDecInstance *h)
{
    AacDec_FreeChannelMemory(h, 0);
    return AACDEC_OUT_OF_MEMORY;
}

} // namespace

void AacDec_FreeMem(void **slot)
{
    if (!slot)
        return;
    RezTools_Free1D(*slot);
    *slot = nullptr;
}

void AacDec_FreeAlignedMem(void **slot)
{
    if (!slot)
        return;
    RezSys_AlignedFree(*slot);
    *slot = nullptr;
}

AacDecInstance *AacDec_AllocInstance()
{
    return static_cast<AacDecInstance *>(RezSys_Calloc(1, sizeof(AacDecInstance)));
}
AacDecChannelInfo *AacDec_AllocChannelInfo()
{
    return static_cast<AacDecChannelInfo *>(RezSys_AlignedCalloc(sizeof(AacDecChannelInfo), Alignment));
}
AacDecChannelState *AacDec_AllocChannelState()
{
    return static_cast<AacDecChannelState *>(RezSys_Calloc(1, sizeof(AacDecChannelState)));
}
AacDecStereoData *AacDec_AllocStereoData()
{
    return static_cast<AacDecStereoData *>(RezSys_Calloc(1, sizeof(AacDecStereoData)));
}
uint8_t *AacDec_AllocPredictionBuffer()
{
    return static_cast<uint8_t *>(RezSys_Calloc(1, AacPredictionBufferBytes));
}
uint8_t *AacDec_AllocResilienceBuffer()
{
    return static_cast<uint8_t *>(RezSys_Calloc(1, AacResilienceBufferBytes));
}
int32_t *AacDec_AllocOverlapBuffer()
{
    return static_cast<int32_t *>(RezSys_AlignedCalloc(AacOverlapBytes, Alignment));
}
uint8_t *AacDec_AllocWorkBuffer()
{
    return static_cast<uint8_t *>(RezSys_AlignedCalloc(AacWorkBufferBytes, Alignment));
}
uint8_t *AacDec_AllocDynamicBuffer()
{
    return static_cast<uint8_t *>(RezSys_AlignedCalloc(AacDynamicBufferBytes, Alignment));
}
int32_t *AacDec_AllocSpectralBlock()
{
    return static_cast<int32_t *>(RezSys_AlignedCalloc(AacSpectralBlockBytes, Alignment));
}
int32_t *AacDec_AllocTimeBuffer()
{
    return static_cast<int32_t *>(RezSys_AlignedCalloc(AacTimeBufferBytes, Alignment));
}
uint32_t AacDec_TimeBufferCapacity()
{
    return AacTimeBufferSamples;
}

void AacDec_InitStreamInfo(AacDecStreamInfo *info)
{
    const int32_t *types = info->channelTypes;
    const uint8_t *indices = info->channelIndices;
    std::memset(info, 0, sizeof(*info));
    info->channelTypes = types;
    info->channelIndices = indices;
    info->profile = -1;
    info->aot = -1;
    info->channelConfig = -1;
    info->extensionAot = -1;
    info->epConfig = -1;
    info->drcReferenceLevel = -1;
    info->drcPresentation = -1;
    info->matrixMixdownIndex = -1;
    info->pseudoSurround = -1;
}

AacDecStreamInfo *AacDec_StreamInfoOf(AacDecInstance *h)
{
    return h ? &h->streamInfo : nullptr;
}

AacDecInstance *AacDec_CreateInstance(int32_t)
{
    AacDecInstance *h = AacDec_AllocInstance();
    if (!h)
        return nullptr;
    h->qmfRequest = {};
    h->downscaleFactor = 1;
    h->streamInfo.channelTypes = h->channelTypes;
    h->streamInfo.channelIndices = h->channelIndices;
    AacDec_InitStreamInfo(&h->streamInfo);
    AacDec_PceInit(&h->pce);
    h->elementList[0] = AacIdEnd;
    h->storedAot = -1;
    AacDec_ConcealInitParams(&h->concealParams);
    AacDec_DrcInit(&h->drc);
    h->concealMethod = -1;
    h->concealDelay = 0;
    h->heldLimiterGain = UnityLimiterGain;
    h->noiseSeed = NoiseSeedFirst;
    h->spectralBlock = AacDec_AllocSpectralBlock();
    h->timeBuffer = AacDec_AllocTimeBuffer();
    h->work = static_cast<AacDecFrameWork *>(RezSys_AlignedCalloc(sizeof(AacDecFrameWork), Alignment));
    if (!h->spectralBlock || !h->timeBuffer || !h->work) {
        AacDec_DestroyInstance(h);
        return nullptr;
    }
    h->timeBufferCapacity = AacDec_TimeBufferCapacity();
    return h;
}

void AacDec_FreeChannelMemory(AacDecInstance *h, int32_t)
{
    if (!h)
        return;
    h->configChannels = 0;
    h->elementList[0] = AacIdEnd;
    // Element blocks are shared by the channels of an element: free each once.
    AacDecElementShared *sharedBlocks[AacMaxChannels] = {};
    int sharedCount = 0;
    for (AacDecChannelInfo *info : h->channelInfo) {
        if (!info || !info->elementShared)
            continue;
        bool seen = false;
        for (int i = 0; i < sharedCount; ++i)
            seen = seen || sharedBlocks[i] == info->elementShared;
        if (!seen)
            sharedBlocks[sharedCount++] = info->elementShared;
    }
    for (int i = 0; i < sharedCount; ++i) {
        AacDecElementShared *shared = sharedBlocks[i];
        // Channel 0's element owns the work and resilience buffers the others borrow.
        if (i == 0 && h->channelInfo[0] && h->channelInfo[0]->elementShared == shared) {
            freeAligned(shared->workBuffer);
            freePlain(shared->resilienceBuffer);
        }
        freePlain(shared->predictionBuffer);
        freePlain(shared);
    }
    for (int ch = 0; ch < AacMaxChannels; ++ch) {
        AacDecChannelInfo *info = h->channelInfo[ch];
        if (info) {
            if (info->ownsDynamic)
                freeAligned(info->dynamicData);
            freeAligned(info);
            h->channelInfo[ch] = nullptr;
        }
        AacDecChannelState *state = h->channelState[ch];
        if (state) {
            freeAligned(state->overlap);
            // HOOK(arith-context): released with the unified coding's spectral decoder.
            state->arithContext = nullptr;
            freePlain(state);
            h->channelState[ch] = nullptr;
        }
    }
    if (h->couplingInfo) {
        if (h->couplingInfo->elementShared)
            freePlain(h->couplingInfo->elementShared);
        if (h->couplingInfo->ownsDynamic)
            freeAligned(h->couplingInfo->dynamicData);
        freeAligned(h->couplingInfo);
    }
    for (AacDecStereoData *&stereo : h->elementStereoData)
        freePlain(stereo);
    h->channelCount = 0;
    h->streamInfo.coreChannels = 0;
    h->streamInfo.sampleRate = 0;
    h->samplingRateInfo.sampleRate = 0;
    h->storedSampleRate = 0;
    h->sbrWorkBuffer = nullptr;
}

int AacDec_ReleaseChannels(AacDecInstance *h, int32_t)
{
    AacDec_FreeChannelMemory(h, 0);
    return 0;
}

void AacDec_DestroyInstance(AacDecInstance *h)
{
    if (!h)
        return;
    AacDec_FreeChannelMemory(h, 0);
    freeAligned(h->spectralBlock);
    freeAligned(h->timeBuffer);
    freeAligned(h->work);
    RezTools_Free1D(h);
}

namespace {

struct BandTableRow
{
    const int16_t *longOffsets;
    const int16_t *shortOffsets;
    uint8_t bandsLong;
    uint8_t bandsShort;
};

using namespace AacSfbTables;

// By sampling-frequency index 0..12 (13..15 have no tables).
const BandTableRow bandTables1024[13] = {
    {swb_offset_1024_96, swb_offset_128_96, 41, 12}, {swb_offset_1024_96, swb_offset_128_96, 41, 12},
    {swb_offset_1024_64, swb_offset_128_96, 47, 12}, {swb_offset_1024_48, swb_offset_128_48, 49, 14},
    {swb_offset_1024_48, swb_offset_128_48, 49, 14}, {swb_offset_1024_32, swb_offset_128_48, 51, 14},
    {swb_offset_1024_24, swb_offset_128_24, 47, 15}, {swb_offset_1024_24, swb_offset_128_24, 47, 15},
    {swb_offset_1024_16, swb_offset_128_16, 43, 15}, {swb_offset_1024_16, swb_offset_128_16, 43, 15},
    {swb_offset_1024_16, swb_offset_128_16, 43, 15}, {swb_offset_1024_8, swb_offset_128_8, 40, 15},
    {swb_offset_1024_8, swb_offset_128_8, 40, 15},
};

const BandTableRow bandTables960[13] = {
    {swb_offset_960_96, swb_offset_120_96, 40, 12}, {swb_offset_960_96, swb_offset_120_96, 40, 12},
    {swb_offset_960_64, swb_offset_120_96, 46, 12}, {swb_offset_960_48, swb_offset_120_48, 49, 14},
    {swb_offset_960_48, swb_offset_120_48, 49, 14}, {swb_offset_960_48, swb_offset_120_48, 49, 14},
    {swb_offset_960_24, swb_offset_120_24, 46, 15}, {swb_offset_960_24, swb_offset_120_24, 46, 15},
    {swb_offset_960_16, swb_offset_120_16, 42, 15}, {swb_offset_960_16, swb_offset_120_16, 42, 15},
    {swb_offset_960_16, swb_offset_120_16, 42, 15}, {swb_offset_960_8, swb_offset_120_8, 40, 15},
    {swb_offset_960_8, swb_offset_120_8, 40, 15},
};

// 768-line frames use the 1024-line tables up to line 768 (96 for short windows).
const uint8_t bandsLong768[13] = {37, 41, 43, 43, 43, 43, 43, 43, 39, 39, 39, 37, 37};
const uint8_t bandsShort768[13] = {12, 12, 12, 12, 12, 12, 14, 14, 14, 14, 14, 14, 14};

// Lower edges of the rate ranges that map to each sampling-frequency index.
const uint32_t rateIndexBounds[12] = {0xFFFFFFFFu, 92017, 75132, 55426, 46009, 37566,
                                      27713,       23004, 18783, 13856, 11502, 9391};

uint32_t samplingIndexOfRate(uint32_t rate)
{
    for (uint32_t i = 0; i < 11; ++i)
        if (rateIndexBounds[i] > rate && rate >= rateIndexBounds[i + 1])
            return i;
    return 11;
}

} // namespace

int AacDec_GetSamplingRateInfo(AacSamplingRateInfo *info, uint32_t frameLength, uint32_t samplingFrequencyIndex,
                               uint32_t sampleRate)
{
    uint32_t index = samplingFrequencyIndex;
    if (index >= 15 || frameLength == 768)
        index = samplingIndexOfRate(frameLength == 768 ? sampleRate * 4 / 3 : sampleRate);
    info->samplingFrequencyIndex = static_cast<uint8_t>(index);
    info->sampleRate = sampleRate;
    info->bandOffsetLong = nullptr;
    info->bandOffsetShort = nullptr;
    info->bandsLong = 0;
    info->bandsShort = 0;
    if (frameLength != 1024 && frameLength != 960 && frameLength != 768)
        return AACDEC_UNSUPPORTED_FORMAT;
    if (index > 12) {
        info->sampleRate = 0;
        return AACDEC_UNSUPPORTED_FORMAT;
    }
    const BandTableRow &row = frameLength == 960 ? bandTables960[index] : bandTables1024[index];
    info->bandOffsetLong = row.longOffsets;
    info->bandOffsetShort = row.shortOffsets;
    info->bandsLong = frameLength == 768 ? bandsLong768[index] : row.bandsLong;
    info->bandsShort = frameLength == 768 ? bandsShort768[index] : row.bandsShort;
    return 0;
}

namespace {

// Steps 15 to 17 of the configuration: the channel records of every placed
// channel. Returns 0, 2 (memory, too many channels or stereo elements) or 0x2007.
int allocateChannels(AacDecInstance *h, const AudioSpecificConfig *config, int count, bool countChanged)
{
    if (count > AacMaxChannels)
        return failAllocation(h);
    for (int ch = 0; ch < count; ++ch)
        if (!h->channelInfo[ch] && !(h->channelInfo[ch] = AacDec_AllocChannelInfo()))
            return failAllocation(h);

    const bool usac = (h->flags & (AacFlagUsac | AacFlagRsvd200)) != 0;
    const int listLength = usac ? h->configuredElements : AacMaxPceElements;
    const bool stopAtCount = (h->flags & 0x4370) != 0;
    int placed = 0;
    for (int e = 0; e < listLength && e < AacMaxElements; ++e) {
        const int8_t id = h->elementList[e];
        if (id == AacIdEnd)
            break;
        if (stopAtCount && placed >= count)
            break;
        const int n = channelsOfElement(id, h->stereoConfigIndex[e]);
        if (n == 0)
            continue;
        if (placed >= count)
            return failAllocation(h);
        const int ch = placed;
        AacDecChannelInfo *first = h->channelInfo[ch];
        if (!first->elementShared) {
            first->elementShared = static_cast<AacDecElementShared *>(RezSys_Calloc(1, sizeof(AacDecElementShared)));
            if (!first->elementShared)
                return failAllocation(h);
        }
        AacDecElementShared *shared = first->elementShared;
        if (ch == 0) {
            if (!first->dynamicData) {
                first->dynamicData = AacDec_AllocDynamicBuffer();
                first->ownsDynamic = 1;
            }
            if (!shared->workBuffer)
                shared->workBuffer = AacDec_AllocWorkBuffer();
            if ((h->flags & AacFlagSpectralResilience) && !shared->resilienceBuffer)
                shared->resilienceBuffer = AacDec_AllocResilienceBuffer();
            if (!first->dynamicData || !shared->workBuffer ||
                ((h->flags & AacFlagSpectralResilience) && !shared->resilienceBuffer))
                return failAllocation(h);
        } else {
            if (!first->dynamicData) {
                first->dynamicData = static_cast<uint8_t *>(RezSys_AlignedCalloc(AacDynamicBufferSmallBytes, Alignment));
                first->ownsDynamic = 1;
                if (!first->dynamicData)
                    return failAllocation(h);
            }
            AacDecElementShared *owner = h->channelInfo[0]->elementShared;
            shared->workBuffer = owner->workBuffer;
            shared->resilienceBuffer = owner->resilienceBuffer;
        }
        first->elementDynamic = first->dynamicData;
        first->spectrum = h->spectralBlock + ch * AacSpectrumWords;
        if (n == 2) {
            if (ch + 1 >= AacMaxChannels)
                return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
            if (ch + 1 >= count)
                return failAllocation(h);
            AacDecChannelInfo *second = h->channelInfo[ch + 1];
            second->elementShared = shared;
            second->elementDynamic = first->dynamicData;
            second->dynamicData = first->dynamicData + AacDynamicBufferSmallBytes / 2;
            second->ownsDynamic = 0;
            second->spectrum = first->spectrum + AacSpectrumWords;
        }
        placed += n;
    }

    const int32_t aot = config->aot;
    if ((aot == 2 || aot == 5 || aot == 29) && placed > 2 && !h->couplingInfo) {
        h->couplingInfo = AacDec_AllocChannelInfo();
        if (!h->couplingInfo)
            return failAllocation(h);
        h->couplingInfo->elementShared =
            static_cast<AacDecElementShared *>(RezSys_Calloc(1, sizeof(AacDecElementShared)));
        h->couplingInfo->dynamicData = static_cast<uint8_t *>(RezSys_AlignedCalloc(AacDynamicBufferSmallBytes, Alignment));
        h->couplingInfo->ownsDynamic = 1;
        if (!h->couplingInfo->elementShared || !h->couplingInfo->dynamicData)
            return failAllocation(h);
        h->couplingInfo->elementShared->workBuffer = h->channelInfo[0]->elementShared->workBuffer;
        h->couplingInfo->elementShared->resilienceBuffer = h->channelInfo[0]->elementShared->resilienceBuffer;
        h->couplingInfo->elementDynamic = h->couplingInfo->dynamicData;
    }

    for (int ch = 0; ch < count; ++ch) {
        AacDecChannelState *&state = h->channelState[ch];
        if (!state) {
            state = AacDec_AllocChannelState();
            if (!state)
                return failAllocation(h);
        }
        if (!state->overlap && !(state->overlap = AacDec_AllocOverlapBuffer()))
            return failAllocation(h);
        // HOOK(arith-context, noise-seeds): with the unified coding an arithmetic-decoder context comes here, and
        // without it the noise-substitution seeds; both arrive with the spectral
        // decoding.
    }

    if (usac) {
        int ch = 0;
        for (int e = 0; e < h->configuredElements && e < AacMaxElements; ++e) {
            const int8_t id = h->elementList[e];
            const int n = channelsOfElement(id, h->stereoConfigIndex[e]);
            if ((h->elementFlags[e] & AacElementStereoPrediction) && n > 0) {
                // Only the first elements have a stereo record; a stream that needs
                // one further on is refused rather than written past the table.
                if (e >= AacMaxStereoRecords)
                    return failAllocation(h);
                AacDecStereoData *&stereo = h->elementStereoData[e];
                if (!stereo && !(stereo = AacDec_AllocStereoData()))
                    return failAllocation(h);
                for (int c = 0; c < n && ch + c < count; ++c) {
                    AacDecChannelState *state = h->channelState[ch + c];
                    state->stereo = stereo;
                    stereo->previousSpectrum[c] = state->previousSpectrum;
                    stereo->history[c] = state->history;
                }
                stereo->workBuffer = h->channelInfo[ch]->elementShared->workBuffer;
                if (n == 2) {
                    AacDecElementShared *shared = h->channelInfo[ch]->elementShared;
                    if (!shared->predictionBuffer && !(shared->predictionBuffer = AacDec_AllocPredictionBuffer()))
                        return failAllocation(h);
                }
            }
            for (int c = 0; c < n && ch + c < count; ++c)
                h->channelState[ch + c]->noiseSeed = c == 0 ? NoiseSeedFirst : NoiseSeedSecond;
            ch += n;
        }
    }
    if (countChanged)
        h->channelCount = placed;
    h->configChannels = count;
    h->lastChannelCount = 0;
    return 0;
}

} // namespace

void AacDec_PublishPceMixdown(AacDecInstance *h)
{
    const AacPce &pce = h->pce;
    h->streamInfo.matrixMixdownIndex = pce.matrixMixdownPresent ? static_cast<int8_t>(pce.matrixMixdownIndex) : -1;
    h->streamInfo.pseudoSurround = pce.matrixMixdownPresent ? static_cast<int8_t>(pce.pseudoSurround) : -1;
    if (h->pcmDmx)
        PcmDmx_SetPceMetadata(h->pcmDmx, pce.matrixMixdownPresent, pce.matrixMixdownIndex, pce.pseudoSurround);
}

int AacDec_InitFromConfig(AacDecInstance *h, const AudioSpecificConfig *config, uint8_t mode, uint8_t *changed)
{
    if (!h || !config || !changed)
        return AACDEC_INVALID_HANDLE;
    const bool apply = (mode & 2) != 0;
    const bool checkOnly = (mode & 1) != 0 && !apply;
    const int32_t aot = config->aot;
    bool change = false;

    // 1. Object type.
    if (aot < 2 || aot > 146 || !supportedAot(aot))
        return AACDEC_UNSUPPORTED_AOT;
    if ((aot == 2 || aot == 20) && config->ga.layerNr != 0)
        return AACDEC_UNSUPPORTED_FORMAT;
    if (aot == 2)
        h->streamInfo.profile = 1;

    // 2. The stored program configuration survives only when it still fits.
    const int channelConfig = static_cast<int8_t>(config->channelConfig);
    if (AacDec_PceIsValid(&h->pce) && channelConfig > 0) {
        AacPce reference;
        AacDec_PceDefault(&reference, channelConfig);
        const int c = AacDec_PceCompare(&h->pce, &reference);
        if (c < 0 || c > 1)
            AacDec_PceInit(&h->pce);
    } else if (channelConfig <= 0) {
        AacDec_PceInit(&h->pce);
    }

    // 3. Channel count.
    if (channelConfig < 0 || channelConfig > 14)
        return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
    int count = 0;
    int8_t pceList[AacMaxPceElements + 1];
    int pceElements = 0;
    if (channelConfig > 0) {
        count = AacTables::channelsOfConfiguration[channelConfig];
        if (count == 0)
            return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
    } else if (aot == 42) {
        count = 0;
        for (uint32_t e = 0; e < config->usac.elementCount && e < UsacMaxElements; ++e)
            count += channelsOfElement(config->usac.elements[e].id, 0);
    } else {
        if (!AacDec_PceIsValid(&config->pce)) {
            h->channelMapRow = 0;
            return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
        }
        count = config->pce.numChannels;
        if (count < 1)
            return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
        h->pce = config->pce;
        uint8_t pceConfig = 0;
        pceElements = AacDec_PceGetElementList(&config->pce, pceList, AacMaxPceElements, &pceConfig);
    }

    // 4. Unified coding: a pair coded as one channel plus parameters counts one.
    if (aot == 42)
        for (uint32_t e = 0; e < config->usac.elementCount && e < UsacMaxElements; ++e)
            if (config->usac.elements[e].id == AacIdUsacCpe && config->usac.elements[e].stereoConfigIndex == 1)
                --count;
    if (count < 1 || count > AacMaxChannels)
        return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;

    // 5., 6. Element list and flags.
    std::memset(h->elementFlags, 0, sizeof(h->elementFlags));
    if (aot == 42) {
        const int n = static_cast<int>(config->usac.elementCount);
        // The record holds at most UsacMaxElements; a count beyond it cannot be read.
        if (n > AacMaxElements || n > UsacMaxElements) {
            AacDec_FreeChannelMemory(h, 0);
            return AACDEC_OUT_OF_MEMORY;
        }
        for (int e = 0; e < n; ++e) {
            const UsacElementConfig &el = config->usac.elements[e];
            if (h->elementList[e] != el.id || h->stereoConfigIndex[e] != el.stereoConfigIndex)
                change = true;
            if (apply) {
                h->elementList[e] = el.id;
                h->stereoConfigIndex[e] = el.stereoConfigIndex;
            }
            if (el.id == AacIdUsacCpe && el.stereoConfigIndex > 0)
                h->mpsActive = 1;
            uint32_t f = 0;
            f |= el.harmonicSbr ? AacElementHarmonicSbr : 0;
            f |= el.interTes ? AacElementInterTes : 0;
            f |= el.pvc ? AacElementPvc : 0;
            f |= el.stereoConfigIndex > 0 ? AacElementStereoIndex : 0;
            f |= el.id == AacIdUsacLfe ? AacElementLfe : 0;
            f |= el.id == AacIdUsacCpe && el.stereoConfigIndex == 0 ? AacElementStereoPrediction : 0;
            h->elementFlags[e] = f;
        }
        if (apply) {
            if (n < AacMaxElements)
                h->elementList[n] = AacIdEnd;
            h->configuredElements = n;
        }
    } else if (channelConfig == 0) {
        for (int e = 0; e < AacMaxElements; ++e)
            h->elementList[e] = e < pceElements ? pceList[e] : (e == pceElements ? AacIdEnd : -1);
        AacDec_PublishPceMixdown(h);
    } else {
        for (int e = 0; e < AacMaxElements; ++e)
            h->elementList[e] = e < AacTables::MaxDefaultElements
                                    ? AacTables::elementListOfConfiguration[channelConfig][e]
                                    : static_cast<int8_t>(-1);
    }

    // 7. Output order and the channel-map row.
    for (int i = 0; i < AacMaxChannels; ++i)
        h->channelOutputMap[i] = i < count ? static_cast<uint8_t>(i) : 255;
    h->channelMapRow = static_cast<uint8_t>(channelConfig);
    h->streamInfo.channelConfig = channelConfig;
    if (h->storedAot != aot) {
        change = true;
        if (apply) {
            h->storedAot = aot;
            h->streamInfo.aot = aot;
        }
    }

    // 8. Frame length and extension.
    if (config->frameLength % h->downscaleFactor != 0)
        return AACDEC_UNSUPPORTED_SAMPLING_RATE;
    h->streamInfo.bitRate = 0;
    h->streamInfo.extensionAot = config->extensionAot;
    uint32_t extensionRate = config->extensionSampleRate;

    // 9. SBR and parametric stereo.
    h->flags = 0;
    if (config->sbrPresent)
        h->flags |= AacFlagSbr;
    if (config->psPresent)
        h->flags |= AacFlagPs;
    h->sbrEnabled = h->sbrEnabledSaved = config->sbrPresent ? 1 : 0;
    if (config->sbrPresent && extensionRate) {
        if (h->downscaleFactor != 1 && (h->downscaleFactor & 1))
            return AACDEC_UNSUPPORTED_SAMPLING_RATE;
        extensionRate /= h->downscaleFactor;
    }
    if (h->storedExtensionRate != extensionRate) {
        change = true;
        if (apply) {
            h->storedExtensionRate = extensionRate;
            h->streamInfo.extensionSampleRate = static_cast<int32_t>(extensionRate);
        }
    }

    // 10. Error resilience and protection.
    if (config->sectionDataResilience)
        h->flags |= AacFlagSectionResilience;
    if (config->scalefactorDataResilience)
        return AACDEC_UNSUPPORTED_ER_FORMAT;
    if (config->spectralDataResilience)
        h->flags |= AacFlagSpectralResilience;
    if (config->epConfig >= 0)
        h->flags |= AacFlagEpConfig;
    if (aot == 42) {
        h->flags |= AacFlagUsac;
        if (config->usac.elementCount > 0 && config->usac.elements[0].stereoConfigIndex > 0)
            h->flags |= AacFlagMps;
    }
    if (aot == 143)
        h->flags |= 0x90008;
    if (aot == 146)
        h->flags |= 0xD0008;
    if (aot == 6 || aot == 20)
        h->flags |= AacFlagErrorResilient;
    if (config->epConfig >= 0 && channelConfig == 0)
        return AACDEC_UNSUPPORTED_ER_FORMAT;
    h->streamInfo.epConfig = config->epConfig;
    if (config->epConfig > 1)
        return AACDEC_UNSUPPORTED_ER_FORMAT;

    // 11. Rate and frame length.
    const uint32_t coreLength = config->frameLength / h->downscaleFactor;
    if (config->sampleRate != h->storedSampleRate || coreLength != h->storedFrameLength) {
        change = true;
        if (apply) {
            const int r = AacDec_GetSamplingRateInfo(&h->samplingRateInfo, config->frameLength,
                                                     config->samplingFrequencyIndex, config->sampleRate);
            if (r != 0)
                return r;
            h->storedSampleRate = config->sampleRate;
            h->storedFrameLength = coreLength;
            h->streamInfo.coreSampleRate = static_cast<int32_t>(config->sampleRate / h->downscaleFactor);
            h->streamInfo.coreFrameLength = static_cast<int32_t>(coreLength);
        }
    }

    // 12. Channel count; a check ends here.
    if (count != h->configChannels)
        change = true;
    if (checkOnly) {
        if (change)
            *changed = 1;
        return 0;
    }

    // 13. Unified coding with SBR: the stereo configuration of the channel elements.
    if (aot == 42 && config->sbrPresent) {
        int firstIndex = -1, found = 0;
        for (int e = 0; e < h->configuredElements; ++e) {
            const int8_t id = h->elementList[e];
            if (id != AacIdUsacSce && id != AacIdUsacCpe && id != AacIdUsacLfe)
                continue;
            if (found++ == 0)
                firstIndex = h->stereoConfigIndex[e];
            else if (firstIndex != 0 || h->stereoConfigIndex[e] != 0)
                return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
        }
        if (found == 0) {
            AacDec_FreeChannelMemory(h, 0);
            return AACDEC_OUT_OF_MEMORY;
        }
        if (firstIndex == 3)
            h->flags |= AacFlagUsacStereoIndex3;
    }

    if (*changed) {
        // 15. The QMF domain request of the unified coding.
        if (aot == 42 && config->sbrPresent) {
            const uint8_t index = h->stereoConfigIndex[0];
            const uint32_t ratio = config->usac.sbrRatioIndex;
            auto &q = h->qmfRequest;
            q.active = 1;
            q.inputChannels = static_cast<uint8_t>(count);
            q.outputChannels = static_cast<uint8_t>(index == 1 ? 2 : count);
            q.extraChannelsActive = q.extraChannelsRequested = index == 3 ? 1 : 0;
            q.flags = 0;
            q.analysisBands = ratio == 1 ? 16 : ratio == 2 ? 24 : 32;
            q.synthesisBands = 64;
            q.timeSlots = ratio == 1 ? 64 : 32;
            q.overlapSlots = ratio == 1 ? 12 : 6;
            q.processingBands = 64;
            q.processingChannels = 1;
        } else {
            h->qmfRequest.active = 0;
        }
        // 16., 17. Channel records.
        const int r = allocateChannels(h, config, count, count != h->configChannels || h->channelCount == 0);
        if (r != 0)
            return r;
    }

    // 18. SBR works in channel 0's element buffer.
    if (h->channelInfo[0] && h->channelInfo[0]->elementShared) {
        h->sbrWorkBuffer = h->channelInfo[0]->elementShared->workBuffer;
        h->sbrWorkBufferLength = AacSbrWorkBufferLength;
    }

    // 19. Fresh per-channel state.
    if (*changed) {
        const uint32_t granule = aot == 23 || aot == 39 ? coreLength : coreLength / 8;
        for (int ch = 0; ch < h->channelCount && ch < AacMaxChannels; ++ch) {
            if (!h->channelInfo[ch] || !h->channelState[ch])
                continue;
            h->channelInfo[ch]->granuleLength = granule;
            h->channelInfo[ch]->renderMode = 1;
            AacDecChannelState *state = h->channelState[ch];
            std::memset(state->overlap, 0, AacOverlapBytes);
            AacDec_InitSynthesis(&state->synthesis);
            state->lastWindowSequence = 255;
            state->windowSequence = 255;
            state->value256 = 256;
            AacDec_DrcResetChannel(&state->drc);
            AacDec_ConcealInitChannel(&h->work->conceal[ch]);
        }
        h->heldLimiterGain = UnityLimiterGain;
        if (h->pcmDmx)
            PcmDmx_Reset(h->pcmDmx, 2);
    }

    // 20.
    h->streamInfo.flags = h->flags;
    h->streamInfo.coreChannels = h->channelCount;
    h->configRecord = config;
    if (aot == 42 && h->limiter) {
        TdLimiter_SetAttack(h->limiter, UsacLimiterAttackMs);
        TdLimiter_SetThreshold(h->limiter, UsacLimiterThreshold);
    }
    return 0;
}
