// AudioSpecificConfig, its general-audio and unified-coding cores, the
// backward-compatible extension signalling and the DRM SDC audio configuration.
#include "aac_config.h"
#include "aac_tables.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr uint32_t MaxSampleRate = 96000;

// Sync words of the backward-compatible extension signalling.
constexpr uint32_t SyncSbr = 0x2B7;
constexpr uint32_t SyncPs = 0x548;
constexpr uint32_t SyncMps = 0x76A;
constexpr uint32_t SyncSaoc = 0x7CB;
constexpr uint32_t SyncLdMps = 0x7CC;

uint32_t bitsLeft(RezBitStream *bs)
{
    return RezTools_BitStreamGetValidBits(bs);
}

bool isOneOf(int32_t value, std::initializer_list<int32_t> set)
{
    for (int32_t v : set)
        if (v == value)
            return true;
    return false;
}

// The length field of a skipped or forwarded extension: 8 bits, 255 escapes to
// 255 + 16 bits.
uint32_t readEscapedLength(RezBitStream *bs)
{
    uint32_t length = RezTools_BitStreamReadBits(bs, 8);
    if (length == 255)
        length += RezTools_BitStreamReadBits(bs, 16);
    return length;
}

void skipBytes(RezBitStream *bs, uint32_t bytes)
{
    const uint32_t available = bitsLeft(bs) / 8;
    RezTools_BitStreamPushForward(bs, 8 * (bytes < available ? bytes : available));
}

// Element counts that a channel configuration of the unified coding allows (the
// channel elements themselves; extension elements come on top within the overall
// limit).
int usacChannelElementLimit(uint32_t channelConfig)
{
    return channelConfig == 1 ? 1 : 2;
}

int parseUsacConfigExtension(RezBitStream *bs)
{
    const uint32_t count = AacDec_ReadEscapedValue(bs, 2, 4, 8) + 1;
    for (uint32_t i = 0; i < count && !RezTools_BitStreamGetOverrun(bs); ++i) {
        AacDec_ReadEscapedValue(bs, 4, 8, 16); // type
        const uint32_t length = AacDec_ReadEscapedValue(bs, 4, 8, 16);
        if (bitsLeft(bs) / 8 < length)
            return TPDEC_OK; // a cut extension ends the configuration
        RezTools_BitStreamPushForward(bs, 8 * length);
    }
    return TPDEC_OK;
}

int parseUsacDecoderConfig(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks)
{
    auto &usac = config->usac;
    const uint32_t count = AacDec_ReadEscapedValue(bs, 4, 8, 16) + 1;
    if (count > UsacMaxElements)
        return TPDEC_UNSUPPORTED;
    usac.elementCount = count;
    const bool sbr = usac.sbrRatioIndex > 0;
    int channelElements = 0;
    int sbrIndex = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (RezTools_BitStreamGetOverrun(bs))
            return TPDEC_PARSE_ERROR;
        UsacElementConfig &element = usac.elements[i];
        const uint32_t type = RezTools_BitStreamReadBits(bs, 2);
        if (type <= 2 && ++channelElements > usacChannelElementLimit(config->channelConfig))
            return TPDEC_PARSE_ERROR;
        if (type == 2) {
            element.id = AacIdUsacLfe;
            continue;
        }
        if (type == 3) {
            element.id = AacIdUsacExt;
            element.extensionType = AacDec_ReadEscapedValue(bs, 4, 8, 16);
            const uint32_t configLength = AacDec_ReadEscapedValue(bs, 4, 8, 16);
            if (RezTools_BitStreamReadBit(bs))
                AacDec_ReadEscapedValue(bs, 8, 16, 0); // default payload length
            RezTools_BitStreamReadBit(bs);               // payload fragmentation
            if (bitsLeft(bs) / 8 < configLength)
                return TPDEC_PARSE_ERROR;
            RezTools_BitStreamPushForward(bs, 8 * configLength);
            continue;
        }
        element.id = type == 0 ? AacIdUsacSce : AacIdUsacCpe;
        if (RezTools_BitStreamReadBit(bs)) // time-warped MDCT
            return TPDEC_UNSUPPORTED;
        element.noiseFilling = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        if (sbr) {
            element.harmonicSbr = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
            element.interTes = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
            element.pvc = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
            if (!callbacks || !callbacks->sbr)
                return TPDEC_CALLBACK_FAILED;
            const uint32_t coreRate = config->sampleRate; // set by the caller to the core rate
            if (callbacks->sbr(callbacks->sbrContext, bs, static_cast<int32_t>(coreRate),
                               static_cast<int32_t>(config->extensionSampleRate),
                               static_cast<int32_t>(config->frameLength), config->aot,
                               type == 0 ? AacIdSce : AacIdCpe, sbrIndex++, element.harmonicSbr, 0,
                               config->configMode, &config->sbrConfigChanged, 1, 0) != 0)
                return TPDEC_PARSE_ERROR;
        }
        if (type == 1) {
            element.stereoConfigIndex = sbr ? static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2)) : 0;
            if (element.stereoConfigIndex > 0) {
                if (!callbacks || !callbacks->ssc)
                    return TPDEC_CALLBACK_FAILED;
                uint32_t outputLength = config->frameLength * 2;
                if (usac.sbrRatioIndex == 1)
                    outputLength = config->frameLength * 4;
                else if (usac.sbrRatioIndex == 2)
                    outputLength = config->frameLength * 8 / 3;
                if (callbacks->ssc(callbacks->sscContext, bs, config->aot,
                                   static_cast<int32_t>(config->extensionSampleRate),
                                   static_cast<int32_t>(outputLength), config->channelConfig,
                                   element.stereoConfigIndex, -1, 0, config->configMode,
                                   &config->mpsConfigChanged) != 0)
                    return TPDEC_PARSE_ERROR;
            }
        }
    }
    if (RezTools_BitStreamReadBit(bs))
        return parseUsacConfigExtension(bs);
    return TPDEC_OK;
}

int parseUsacConfig(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks)
{
    auto &usac = config->usac;
    const uint32_t rate = AacDec_ParseSamplingRate(bs, &config->samplingFrequencyIndex, 5);
    if (rate == 0 || rate > MaxSampleRate)
        return TPDEC_PARSE_ERROR;
    usac.coreSbrFrameLengthIndex = RezTools_BitStreamReadBits(bs, 3);
    // Core frame length and SBR ratio by index: 0 768, 1 1024 without SBR; 2 768
    // with 8:3; 3 1024 with 2:1; 4 1024 with 4:1.
    static const struct { uint32_t coreLength; uint32_t ratioIndex; } layouts[5] = {
        {768, 0}, {1024, 0}, {768, 2}, {1024, 3}, {1024, 1}};
    if (usac.coreSbrFrameLengthIndex > 4)
        return TPDEC_PARSE_ERROR;
    config->frameLength = layouts[usac.coreSbrFrameLengthIndex].coreLength;
    usac.sbrRatioIndex = layouts[usac.coreSbrFrameLengthIndex].ratioIndex;
    config->sampleRate = rate;
    if (usac.sbrRatioIndex > 0) {
        config->sbrPresent = 1;
        config->extensionAot = 5;
        config->extensionSampleRate = rate;
        config->extensionSamplingFrequencyIndex = config->samplingFrequencyIndex;
        if (usac.sbrRatioIndex == 2)
            config->sampleRate = rate * 3 / 8;
        else if (usac.sbrRatioIndex == 3)
            config->sampleRate = rate / 2;
        else
            config->sampleRate = rate / 4;
    }
    const uint32_t channelConfig = RezTools_BitStreamReadBits(bs, 5);
    if (channelConfig != 1 && channelConfig != 2)
        return TPDEC_PARSE_ERROR;
    config->channelConfig = static_cast<uint8_t>(channelConfig);
    const int r = parseUsacDecoderConfig(config, bs, callbacks);
    if (r != TPDEC_OK)
        return r;
    return RezTools_BitStreamGetOverrun(bs) ? TPDEC_PARSE_ERROR : TPDEC_OK;
}

} // namespace

void AacDec_ClearConfig(AudioSpecificConfig *config)
{
    std::memset(config, 0, sizeof(*config));
    config->aot = -1;
    config->epConfig = -1;
    config->samplingFrequencyIndex = 15;
    AacDec_PceInit(&config->pce);
}

uint32_t AacDec_ReadEscapedValue(RezBitStream *bs, int nBits1, int nBits2, int nBits3)
{
    uint32_t value = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(nBits1));
    if (value == RezTools_BitMask[nBits1]) {
        const uint32_t add = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(nBits2));
        value += add;
        if (add == RezTools_BitMask[nBits2])
            value += RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(nBits3));
    }
    return value;
}

int32_t AacDec_ParseAot(RezBitStream *bs)
{
    int32_t aot = static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 5));
    if (aot == 31)
        aot = 32 + static_cast<int32_t>(RezTools_BitStreamReadBits(bs, 6));
    return aot;
}

uint32_t AacDec_ParseSamplingRate(RezBitStream *bs, uint8_t *index, int indexBits)
{
    const uint32_t escape = RezTools_BitMask[indexBits];
    const uint32_t i = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(indexBits));
    *index = static_cast<uint8_t>(i);
    if (i != escape)
        return AacTables::samplingFrequency[i & 31];
    if (bitsLeft(bs) < 24)
        return 0;
    const uint32_t rate = RezTools_BitStreamReadBits(bs, 24);
    *index = AacDec_SamplingRateIndex(rate, indexBits);
    return rate;
}

uint8_t AacDec_SamplingRateIndex(uint32_t rate, int bits)
{
    const uint32_t escape = RezTools_BitMask[bits];
    if (rate == 0)
        return static_cast<uint8_t>(escape);
    for (uint32_t i = 0; i < escape && i < 32; ++i)
        if (AacTables::samplingFrequency[i] == rate)
            return static_cast<uint8_t>(i);
    return static_cast<uint8_t>(escape);
}

int AacDec_ParseGaSpecificConfig(AudioSpecificConfig *config, RezBitStream *bs, uint32_t startBits)
{
    auto &ga = config->ga;
    const int32_t aot = config->aot;
    ga.frameLengthFlag = RezTools_BitStreamReadBit(bs);
    ga.dependsOnCoreCoder = RezTools_BitStreamReadBit(bs);
    if (ga.dependsOnCoreCoder)
        ga.coreCoderDelay = RezTools_BitStreamReadBits(bs, 14);
    ga.extensionFlag = RezTools_BitStreamReadBit(bs);
    if (config->channelConfig == 0)
        AacDec_ParseProgramConfig(&config->pce, bs, startBits);
    if (aot == 6 || aot == 20)
        ga.layerNr = RezTools_BitStreamReadBits(bs, 3);
    if (ga.extensionFlag) {
        if (aot == 22) {
            ga.numOfSubFrame = RezTools_BitStreamReadBits(bs, 5);
            ga.layerLength = RezTools_BitStreamReadBits(bs, 11);
        }
        if (isOneOf(aot, {17, 19, 20, 23})) {
            config->sectionDataResilience = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
            config->scalefactorDataResilience = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
            config->spectralDataResilience = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        }
        ga.extensionFlag3 = RezTools_BitStreamReadBit(bs);
    }
    return TPDEC_OK;
}

int AacDec_ParseExtensionSignalling(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks)
{
    uint32_t left = bitsLeft(bs);
    bool afterSbrSync = false;
    // Each round consumes at least the 11-bit sync word, so the loop ends with the data.
    while (left >= 11) {
        const uint32_t sync = RezTools_BitStreamReadBits(bs, 11);
        const bool psCandidate = afterSbrSync;
        afterSbrSync = false;
        if (sync == SyncSbr) {
            if (config->extensionAot != 5 && bitsLeft(bs) >= 5) {
                const int32_t extensionAot = AacDec_ParseAot(bs);
                if (extensionAot == 5 || extensionAot == 22) {
                    config->extensionAot = extensionAot;
                    config->sbrPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
                    if (config->aot == 42 && config->sbrPresent && config->usac.sbrRatioIndex == 0)
                        return TPDEC_PARSE_ERROR;
                    if (config->sbrPresent) {
                        config->extensionSampleRate =
                            AacDec_ParseSamplingRate(bs, &config->extensionSamplingFrequencyIndex, 4);
                        if (config->extensionSampleRate < 1)
                            return TPDEC_PARSE_ERROR;
                    }
                    if (extensionAot == 22)
                        config->extensionChannelConfig = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
                }
            }
            afterSbrSync = true;
        } else if (sync == SyncPs && psCandidate) {
            if (config->extensionAot == 5 && bitsLeft(bs) >= 1)
                config->psPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        } else if (sync == SyncSaoc) {
            if (config->extensionAot != 43 && RezTools_BitStreamReadBit(bs))
                skipBytes(bs, readEscapedLength(bs));
        } else if (sync == SyncLdMps || sync == SyncMps) {
            const bool ignored = sync == SyncMps ? config->extensionAot == 30 : config->extensionAot == 44;
            if (!ignored && bitsLeft(bs) >= 1 && RezTools_BitStreamReadBit(bs)) {
                const uint32_t length = readEscapedLength(bs);
                if (callbacks && callbacks->ssc) {
                    if (callbacks->ssc(callbacks->sscContext, bs, config->aot, static_cast<int32_t>(config->sampleRate),
                                       static_cast<int32_t>(config->frameLength), config->channelConfig, 1, -1,
                                       static_cast<int32_t>(length), config->configMode,
                                       &config->mpsConfigChanged) != 0)
                        return TPDEC_PARSE_ERROR;
                } else {
                    skipBytes(bs, length);
                }
            }
        } else {
            return TPDEC_OK;
        }
        if (RezTools_BitStreamGetOverrun(bs))
            return TPDEC_OK;
        left = bitsLeft(bs);
    }
    return TPDEC_OK;
}

int AacDec_ParseAudioSpecificConfig(AudioSpecificConfig *config, RezBitStream *bs, int parseExtensions,
                                    const TpDecCallbacks *callbacks, uint8_t configMode, uint8_t configChanged)
{
    RezTools_BitStreamSync(bs);
    const uint32_t startBits = bitsLeft(bs);
    AacDec_ClearConfig(config);
    config->configMode = configMode;
    config->configChanged = configChanged;
    config->sbrConfigChanged = configChanged;
    config->mpsConfigChanged = configChanged;

    config->aot = AacDec_ParseAot(bs);
    config->sampleRate = AacDec_ParseSamplingRate(bs, &config->samplingFrequencyIndex, 4);
    if (config->sampleRate == 0 || config->sampleRate > MaxSampleRate)
        return TPDEC_PARSE_ERROR;
    config->channelConfig = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));

    if (config->aot == 5 || config->aot == 29) {
        config->extensionAot = 5;
        config->sbrPresent = 1;
        config->psPresent = config->aot == 29 ? 1 : 0;
        config->extensionSampleRate = AacDec_ParseSamplingRate(bs, &config->extensionSamplingFrequencyIndex, 4);
        config->aot = AacDec_ParseAot(bs);
        if (config->aot != 2 && config->aot != 22)
            return TPDEC_UNSUPPORTED;
        if (config->aot == 22)
            config->extensionChannelConfig = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    } else {
        config->extensionAot = 0;
    }

    const int32_t aot = config->aot;
    int r = TPDEC_OK;
    if (isOneOf(aot, {2, 6, 17, 20, 22, 23})) {
        r = AacDec_ParseGaSpecificConfig(config, bs, startBits);
    } else if (aot == 30) {
        if (!callbacks || !callbacks->ssc)
            return TPDEC_UNSUPPORTED;
        if (callbacks->ssc(callbacks->sscContext, bs, aot, static_cast<int32_t>(config->sampleRate),
                           static_cast<int32_t>(config->frameLength), config->channelConfig, 1, -1, 0, configMode,
                           &config->mpsConfigChanged) != 0)
            return TPDEC_UNSUPPORTED;
    } else if (aot == 42) {
        // The unified configuration carries its own sampling rate and channel
        // configuration, which replace those read above.
        r = parseUsacConfig(config, bs, callbacks);
    } else {
        return TPDEC_UNSUPPORTED;
    }
    if (r != TPDEC_OK)
        return r;

    if (isOneOf(aot, {2, 6, 17, 20, 22}))
        config->frameLength = config->ga.frameLengthFlag ? 960 : 1024;
    else if (aot == 23)
        config->frameLength = config->ga.frameLengthFlag ? 480 : 512;

    if (isOneOf(aot, {17, 20, 22, 23, 24, 25, 39})) {
        config->epConfig = static_cast<int8_t>(RezTools_BitStreamReadBits(bs, 2));
        if (config->epConfig > 1)
            return TPDEC_UNSUPPORTED;
    }
    if (RezTools_BitStreamGetOverrun(bs))
        return TPDEC_PARSE_ERROR;
    if (parseExtensions && isOneOf(aot, {2, 22, 23}))
        return AacDec_ParseExtensionSignalling(config, bs, callbacks);
    return TPDEC_OK;
}

int AacDec_ParseDrmSdcConfig(AudioSpecificConfig *config, RezBitStream *bs, const TpDecCallbacks *callbacks,
                             uint8_t configMode, uint8_t configChanged)
{
    (void)callbacks;
    RezTools_BitStreamSync(bs);
    AacDec_ClearConfig(config);
    config->configMode = configMode;
    config->configChanged = configChanged;
    config->sbrConfigChanged = configChanged;
    config->mpsConfigChanged = configChanged;
    if (bitsLeft(bs) < 16)
        return TPDEC_PARSE_ERROR;

    const uint32_t coding = RezTools_BitStreamReadBits(bs, 2);
    const uint32_t sbrFlag = RezTools_BitStreamReadBit(bs);
    const uint32_t mode = RezTools_BitStreamReadBits(bs, 2);
    const uint32_t rateCode = RezTools_BitStreamReadBits(bs, 3);
    RezTools_BitStreamReadBits(bs, 2); // text and enhancement flags
    const uint32_t coderField = RezTools_BitStreamReadBits(bs, 5);
    RezTools_BitStreamReadBit(bs);

    switch (coding) {
    case 0: {
        const int8_t index = AacTables::drmAacRateIndex[rateCode];
        if (index < 0)
            return TPDEC_PARSE_ERROR;
        config->samplingFrequencyIndex = static_cast<uint8_t>(index);
        config->sampleRate = AacTables::samplingFrequency[index];
        config->aot = coderField > 3 && mode != 1 ? 146 : 143;
        config->epConfig = 1;
        config->sectionDataResilience = 1;
        config->spectralDataResilience = 1;
        if (mode == 3)
            return TPDEC_PARSE_ERROR;
        config->channelConfig = mode == 2 ? 2 : 1;
        if (mode == 1)
            config->psPresent = 1;
        config->frameLength = 960;
        break;
    }
    case 1:
    case 2:
        config->aot = coding == 1 ? 24 : 25;
        config->channelConfig = 1;
        config->sampleRate = AacTables::drmUsacRate[rateCode];
        config->samplingFrequencyIndex = AacDec_SamplingRateIndex(config->sampleRate, 4);
        break;
    default:
        // Unified coding over DRM carries its own configuration layout, which this
        // decoder does not take.
        return TPDEC_UNSUPPORTED;
    }
    if (sbrFlag) {
        config->extensionAot = 5;
        config->sbrPresent = 1;
        config->extensionSampleRate = 2 * config->sampleRate;
        config->extensionSamplingFrequencyIndex = AacDec_SamplingRateIndex(config->extensionSampleRate, 4);
    }
    if (config->psPresent && !config->sbrPresent)
        return TPDEC_PARSE_ERROR;
    return TPDEC_OK;
}
