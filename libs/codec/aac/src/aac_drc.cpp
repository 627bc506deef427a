// Dynamic range control of the AAC core: parameters, payload parsing, the
// per-frame gain update and the per-channel spectral gains.
#include "aac_drc.h"

#include "AacDec.h"
#include "aac_spectral.h"
#include "tpdec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t FactorStep = 8454660; // 1/254 in Q31: a parameter of 127 is full strength
constexpr int DefaultTargetLevel = 96;
constexpr uint32_t AncillarySyncByte = 0xBC;
// Exclusion groups a payload may carry: enough for every channel this decoder has.
constexpr int MaxExclusionGroups = 16;
// Heavy compression values at or below this level bring in heavy compression.
constexpr int HeavyTargetLimit = 123;
constexpr int32_t HeavyUnity = 127;
// Heavy compression: 6.0206 dB per upper-nibble step is 2^-1; one lower-nibble step
// is -0.4014 dB; the last factor trims 2^8 to 48.164 dB.
constexpr double HeavyFineStep = 0x7A382752 / 2147483648.0;
constexpr double HeavyTrim = 2147285867 / 2147483648.0;
constexpr double LevelStepsPerOctave = 24.0; // 0.25 dB steps in 6.02 dB
// 4 x 6.0206, the 0.25 dB steps in an octave of level, as a Q31 mantissa with
// exponent 5.
constexpr int32_t DownmixStepsMantissa = 1616142506;
constexpr int DownmixStepsExponent = 5;
// Level targets in 0.25 dB steps, with 16 fractional bits.
constexpr int LevelFraction = 16;

struct Payload
{
    int tag = -1;
    uint32_t exclusion = 0;               // bit i: channel i (stream order) keeps its data
    uint8_t bandCount = 1;
    uint16_t bandTop[AacDrcMaxBands] = {255};
    uint8_t interpolation = 0;
    uint8_t bandValue[AacDrcMaxBands] = {};
    int level = -1;
    int presentation = -1;
    uint8_t type = 0;
};

bool readFill(RezBitStream *bs, Payload *p)
{
    if (RezTools_BitStreamReadBits(bs, 1)) {
        p->tag = static_cast<int>(RezTools_BitStreamReadBits(bs, 4));
        RezTools_BitStreamReadBits(bs, 4);
    }
    if (RezTools_BitStreamReadBits(bs, 1)) {
        int channel = 0;
        for (int group = 0; group < MaxExclusionGroups; ++group) {
            for (int b = 0; b < 7; ++b, ++channel)
                if (RezTools_BitStreamReadBits(bs, 1) && channel < 32)
                    p->exclusion |= 1u << channel;
            if (!RezTools_BitStreamReadBits(bs, 1))
                break;
        }
    }
    if (RezTools_BitStreamReadBits(bs, 1)) {
        p->bandCount = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4) + 1);
        p->interpolation = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
        for (int b = 0; b < p->bandCount; ++b)
            p->bandTop[b] = static_cast<uint16_t>(RezTools_BitStreamReadBits(bs, 8));
    }
    if (RezTools_BitStreamReadBits(bs, 1)) {
        p->level = static_cast<int>(RezTools_BitStreamReadBits(bs, 7));
        RezTools_BitStreamReadBits(bs, 1);
    }
    for (int b = 0; b < p->bandCount; ++b)
        p->bandValue[b] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    p->type = 1;
    return true;
}

// Ancillary data with a heavy compression value; false when it carries none.
bool readAncillary(RezBitStream *bs, Payload *p)
{
    if (RezTools_BitStreamGetValidBits(bs) < 24 || RezTools_BitStreamReadBits(bs, 8) != AncillarySyncByte)
        return false;
    if (RezTools_BitStreamReadBits(bs, 2) != 3)
        return false;
    RezTools_BitStreamReadBits(bs, 2);
    const int presentation = static_cast<int>(RezTools_BitStreamReadBits(bs, 2));
    RezTools_BitStreamReadBits(bs, 1);
    if (RezTools_BitStreamReadBits(bs, 1) != 0 || RezTools_BitStreamReadBits(bs, 3) != 0)
        return false;
    const bool downmixLevels = RezTools_BitStreamReadBits(bs, 1) != 0;
    RezTools_BitStreamReadBits(bs, 1);
    const bool compression = RezTools_BitStreamReadBits(bs, 1) != 0;
    RezTools_BitStreamReadBits(bs, 2);
    if (!compression)
        return false;
    if (downmixLevels)
        RezTools_BitStreamReadBits(bs, 8);
    if (RezTools_BitStreamReadBits(bs, 7) != 0)
        return false;
    const bool on = RezTools_BitStreamReadBits(bs, 1) != 0;
    const uint32_t value = RezTools_BitStreamReadBits(bs, 8);
    if (!on)
        return false;
    p->presentation = presentation;
    p->bandValue[0] = static_cast<uint8_t>(value);
    p->type = 2;
    return true;
}

void setChannel(AacDecDrcChannel *ch, const Payload &p)
{
    ch->frames = 0;
    ch->bandCount = p.bandCount;
    std::memcpy(ch->bandTop, p.bandTop, sizeof ch->bandTop);
    std::memcpy(ch->bandValue, p.bandValue, sizeof ch->bandValue);
    ch->interpolation = p.interpolation;
    ch->type = p.type;
}

void assign(AacDecDrc *drc, const Payload &p, AacDecDrcChannel *const *channels, int programTag, int channelCount)
{
    if (p.tag >= 0 && programTag >= 0 && p.tag != programTag)
        return;
    const uint32_t all = channelCount >= 32 ? ~0u : (1u << channelCount) - 1;
    if (channelCount > 0 && (p.exclusion & all) == all)
        return;
    if (p.level >= 0) {
        drc->programmeReferenceLevel = static_cast<uint8_t>(p.level);
        drc->levelReceived = 1;
        drc->ageCounter = 0;
    }
    if (p.type == 2)
        drc->presentationByte = static_cast<int8_t>(p.presentation);
    for (int c = 0; c < channelCount; ++c) {
        if (c < 32 && (p.exclusion >> c) & 1)
            continue;
        AacDecDrcChannel *ch = channels[c];
        if (!ch)
            continue;
        const bool heavyInForce =
            ch->type == 2 && (drc->expiryFrames == 0 || ch->frames <= drc->expiryFrames);
        if (p.type == 1 && heavyInForce)
            continue;
        if (p.type == 2 && !drc->effectiveHeavy)
            continue;
        setChannel(ch, p);
    }
}

// The level change of a downmix from channelCount to downmix channels in 0.25 dB
// steps with LevelFraction fractional bits: 4 x 6.0206 x log2(downmix / channelCount).
int64_t downmixLevelChange(int downmix, int channelCount)
{
    const int32_t ratio = RezTools_Divide(downmix, channelCount);
    int logExponent = 0;
    const int32_t log = RezTools_Log2(ratio, 0, &logExponent);
    int productExponent = 0;
    const int32_t product = RezTools_MultiplyNormalized(log, DownmixStepsMantissa, &productExponent);
    const int shift = productExponent + logExponent + DownmixStepsExponent - 31 + LevelFraction;
    return shift >= 0 ? int64_t{product} * (int64_t{1} << shift) : int64_t{product} >> -shift;
}

void updateGains(AacDecDrc *drc, int channelCount)
{
    int downmix = 0;
    if ((drc->downmixChannels == 1 || drc->downmixChannels == 2) && drc->downmixChannels < channelCount)
        downmix = drc->downmixChannels;
    const int presentation = drc->presentationByte == 1 || drc->presentationByte == 2 ? drc->presentationByte
                                                                                      : drc->defaultPresentation;
    drc->effectiveCut = drc->cutFactor;
    drc->effectiveBoost = drc->boostFactor;
    drc->effectiveHeavy = static_cast<uint8_t>(drc->heavyEnabled);
    const bool heavyTarget = drc->targetLevel >= 0 && drc->targetLevel <= HeavyTargetLimit;
    if (presentation == 1) {
        if (heavyTarget)
            drc->effectiveHeavy = 1;
        else if (downmix)
            drc->effectiveCut = AacDrcFull;
    } else if (presentation == 2) {
        if (heavyTarget && downmix == 1) {
            drc->effectiveHeavy = 1;
        } else if (heavyTarget) {
            drc->effectiveHeavy = 0;
            drc->effectiveCut = AacDrcFull;
        } else {
            drc->effectiveHeavy = 0;
            if (downmix)
                drc->effectiveCut = AacDrcFull;
        }
    } else if (presentation == 0) {
        int64_t t = drc->targetLevel >= 0 ? drc->targetLevel - drc->programmeReferenceLevel : 0;
        t *= int64_t{1} << LevelFraction;
        if (downmix)
            t += downmixLevelChange(downmix, channelCount);
        if (t < 0) {
            const int64_t m = std::min(drc->encoderTargetLevel - drc->programmeReferenceLevel, 0);
            const int64_t below = m * (int64_t{1} << LevelFraction);
            if (below < t) {
                // 127 x t / m, rounded to the nearest step; both are negative.
                const int64_t steps = (2 * 127 * -t + -below) / (2 * -below);
                const int32_t cut = static_cast<int32_t>(steps) * FactorStep;
                drc->effectiveCut = std::max(drc->effectiveCut, cut);
            } else {
                drc->effectiveCut = AacDrcFull;
                if (t - below < -39 * (int64_t{1} << LevelFraction))
                    drc->effectiveHeavy = 1;
            }
        }
    }
    if (drc->effectiveHeavy) {
        drc->effectiveCut = AacDrcFull;
        drc->effectiveBoost = AacDrcFull;
    }
    drc->active = (drc->effectiveBoost > 0 || drc->effectiveCut > 0 || drc->effectiveHeavy || drc->targetLevel >= 0) &&
                  drc->bypass == 0;
    drc->lastChannelCount = channelCount;
    drc->changed = 0;
}

int prepare(AacDecDrc *drc, RezBitStream *bs, AacDecDrcChannel *const *channels, int programTag, int channelCount)
{
    const uint8_t oldLevel = drc->programmeReferenceLevel;
    const int8_t oldPresentation = drc->presentationByte;
    if (bs) {
        const int64_t here = TpDec_Position(bs);
        for (int i = 0; i < drc->fillPayloads; ++i) {
            Payload p;
            TpDec_SeekTo(bs, drc->fillPosition[i]);
            if (readFill(bs, &p))
                assign(drc, p, channels, programTag, channelCount);
        }
        if (drc->dataStreamNoted) {
            Payload p;
            TpDec_SeekTo(bs, drc->dataStreamPosition);
            if (readAncillary(bs, &p))
                assign(drc, p, channels, programTag, channelCount);
        }
        TpDec_SeekTo(bs, here);
    }
    drc->fillPayloads = 0;
    drc->dataStreamNoted = 0;
    if (drc->expiryFrames > 0 && drc->levelReceived && ++drc->ageCounter > drc->expiryFrames) {
        drc->levelReceived = 0;
        drc->programmeReferenceLevel = static_cast<uint8_t>(std::max<int>(drc->targetLevel, 0));
    }
    if (drc->changed || oldLevel != drc->programmeReferenceLevel || oldPresentation != drc->presentationByte ||
        channelCount != drc->lastChannelCount)
        updateGains(drc, channelCount);
    return drc->active ? 1 : 0;
}

} // namespace

void AacDec_DrcInit(AacDecDrc *drc)
{
    *drc = {};
    drc->targetLevel = DefaultTargetLevel;
    drc->normalise = 1;
    drc->defaultPresentation = -1;
    drc->encoderTargetLevel = 127;
    drc->programmeReferenceLevel = DefaultTargetLevel;
    drc->presentationByte = -1;
    drc->lastChannelCount = -1;
    drc->changed = 1;
}

int AacDec_DrcSetParam(AacDecDrc *drc, int32_t id, int32_t value)
{
    if (!drc)
        return AACDEC_INVALID_HANDLE;
    auto inRange = [&](int32_t lo, int32_t hi) { return value >= lo && value <= hi; };
    switch (id) {
    case 0:
    case 1:
        if (!inRange(0, 127))
            return AACDEC_INVALID_PARAM;
        (id == 0 ? drc->cutFactor : drc->boostFactor) = value * FactorStep;
        break;
    case 2:
        if (!inRange(-127, 127))
            return AACDEC_INVALID_PARAM;
        if (drc->targetLevel != value) {
            drc->targetLevel = static_cast<int8_t>(value);
            if (!drc->levelReceived)
                drc->programmeReferenceLevel = static_cast<uint8_t>(std::max<int32_t>(value, 0));
            drc->changed = 1;
        }
        return AACDEC_OK;
    case 3:
    case 5:
    case 6:
        if (!inRange(0, 1))
            return AACDEC_INVALID_PARAM;
        if (id == 3)
            drc->lateProcessing = static_cast<uint8_t>(value);
        else if (id == 5)
            drc->normalise = static_cast<uint8_t>(value);
        else
            drc->heavyEnabled = value;
        if (id != 6)
            return AACDEC_OK;
        break;
    case 4:
        drc->expiryFrames = std::max<int32_t>(value, 0);
        return AACDEC_OK;
    case 7:
        if (!inRange(-1, 2))
            return AACDEC_INVALID_PARAM;
        drc->defaultPresentation = value;
        break;
    case 8:
        if (!inRange(0, 127))
            return AACDEC_INVALID_PARAM;
        drc->encoderTargetLevel = value;
        break;
    case 9:
        drc->downmixChannels = value;
        break;
    case 10:
        drc->bypass = value;
        return AACDEC_OK;
    default:
        return AACDEC_INVALID_PARAM;
    }
    drc->changed = 1;
    return AACDEC_OK;
}

void AacDec_DrcResetChannel(AacDecDrcChannel *channel)
{
    *channel = {};
    channel->bandCount = 1;
    channel->bandTop[0] = 255;
    channel->interpolation = 255;
}

int AacDec_DrcPrepare(AacDecDrc *drc, RezBitStream *bs, AacDecDrcChannel *const *channels, int programTag,
                      int channelCount)
{
    if (!drc)
        return -1;
    if (drc->lateProcessing)
        return 0;
    return prepare(drc, bs, channels, programTag, channelCount);
}

int AacDec_DrcFinish(AacDecDrc *drc, RezBitStream *bs, AacDecDrcChannel *const *channels, int programTag,
                     int channelCount)
{
    if (!drc)
        return -1;
    if (!drc->lateProcessing)
        return 0;
    return prepare(drc, bs, channels, programTag, channelCount);
}

void AacDec_DrcApply(AacDecDrc *drc, SbrDecHandle sbr, AacDecSpectrum *spectrum, AacDecDrcChannel *channel,
                     int32_t *gainWord, int channelIndex, uint32_t frameLength, bool eightShort, uint8_t windowSequence,
                     bool sbrEnabled)
{
    const int wordExponent = std::min(*gainWord, 32);
    if (drc->expiryFrames > 0 && ++channel->frames > drc->expiryFrames)
        AacDec_DrcResetChannel(channel);
    if (!drc->active || drc->bypass) {
        SbrDec_DrcResetChannel(sbr, channelIndex);
        *gainWord = static_cast<int32_t>(std::min<int64_t>(int64_t{1} << (31 - std::max(wordExponent, 0)), 0x7FFFFFFF));
        return;
    }
    double normalisation = 1;
    if (drc->targetLevel >= 0)
        normalisation = std::exp2(-(drc->targetLevel - drc->programmeReferenceLevel) / LevelStepsPerOctave);
    *gainWord = static_cast<int32_t>(
        std::min<double>(std::llround(normalisation * std::exp2(31 - wordExponent)), 0x7FFFFFFF));
    if (!drc->normalise)
        normalisation = 1;

    const int bands = std::clamp<int>(channel->bandCount, 1, AacDrcMaxBands);
    double gain[AacDrcMaxBands];
    bool unity = true;
    for (int b = 0; b < bands; ++b) {
        const uint8_t v = channel->bandValue[b];
        double g = 1;
        if (channel->type == 2 && drc->effectiveHeavy && v != HeavyUnity) {
            g = std::exp2(8 - (v >> 4)) * std::pow(HeavyFineStep, v & 0xF) * HeavyTrim;
        } else if (channel->type == 1 && (v & 0x7F) != 0) {
            const bool cut = (v & 0x80) != 0;
            const double f = (cut ? drc->effectiveCut : drc->effectiveBoost) / static_cast<double>(AacDrcFull);
            g = std::exp2((cut ? -1 : 1) * (v & 0x7F) * f / LevelStepsPerOctave);
        }
        gain[b] = g * normalisation;
        unity = unity && gain[b] == 1;
    }
    if (unity) {
        SbrDec_DrcResetChannel(sbr, channelIndex);
        return;
    }
    // One exponent for all bands: the largest, never below unity's.
    int exponent = 0;
    int32_t mantissa[AacDrcMaxBands];
    for (int b = 0; b < bands; ++b) {
        int e = 0;
        std::frexp(gain[b], &e);
        exponent = std::max(exponent, e);
    }
    for (int b = 0; b < bands; ++b)
        mantissa[b] = static_cast<int32_t>(
            std::min<double>(std::llround(std::ldexp(gain[b], 31 - exponent)), 0x7FFFFFFF));
    if (sbrEnabled) {
        SbrDec_DrcFeedGains(sbr, channelIndex, bands, mantissa, exponent, channel->interpolation, windowSequence,
                            channel->bandTop);
        return;
    }
    int32_t *lines = spectrum->lines;
    // Bands that cover the whole frame leave no line to be shifted down: the lines'
    // own headroom takes what it can of the exponent, so that quiet lines keep their
    // precision through the multiplication.
    const bool covered = std::min<uint32_t>(channel->bandTop[bands - 1] * 4u + 4u, frameLength) == frameLength;
    if (covered && exponent > 0) {
        const int headroom = std::min(RezTools_GetHeadroom(lines, static_cast<int>(frameLength)), exponent);
        for (uint32_t i = 0; i < frameLength; ++i)
            lines[i] *= 1 << headroom;
        exponent -= headroom;
    }
    uint32_t k = 0;
    for (int b = 0; b < bands && k < frameLength; ++b) {
        const uint32_t top = std::min<uint32_t>(channel->bandTop[b] * 4u + 4u, frameLength);
        for (; k < top; ++k)
            lines[k] = static_cast<int32_t>((static_cast<int64_t>(lines[k]) * mantissa[b]) >> 31);
    }
    for (; k < frameLength; ++k)
        lines[k] >>= exponent;
    const int windows = eightShort ? 8 : 1;
    for (int w = 0; w < windows; ++w)
        spectrum->windowExponent[w] = static_cast<int16_t>(spectrum->windowExponent[w] + exponent);
}

void AacDec_DrcGetInfo(const AacDecDrc *drc, int8_t *presentation, uint8_t *referenceLevel)
{
    *presentation = drc->presentationByte;
    *referenceLevel = drc->levelReceived ? drc->programmeReferenceLevel : 255;
}
