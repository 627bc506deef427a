#include "aac_frame.h"

#include "aac_config.h"

#include <cstring>

namespace {

constexpr int ResultNoChannel = AACDEC_UNKNOWN;
constexpr int ResultCrc = 0x4005;
constexpr int ResultSbrChannels = 0x2009;
// The gain word's exponent that makes it Q20, as the limiter takes it.
constexpr int32_t LimiterGainExponent = 11;
constexpr uint32_t ListDrivenSyntax = 0x4358;
// Rates with band tables and a core behind them, in Hz.
constexpr uint32_t coreRates[] = {7350, 8000, 11025, 12000, 16000, 22050, 24000,
                                  32000, 44100, 48000, 64000, 88200, 96000};

bool isBitStreamError(int r)
{
    return r >= 0x4000 && r <= 0x4FFF;
}

bool supportedCoreRate(int32_t rate)
{
    for (uint32_t r : coreRates)
        if (rate > 0 && static_cast<uint32_t>(rate) == r)
            return true;
    return false;
}

// Channels of the configured element list, for a frame whose own elements are lost.
int configuredChannels(const AacDecInstance *h)
{
    int total = 0;
    for (int i = 0; i < AacMaxElements && h->elementList[i] != AacIdEnd; ++i)
        if (h->elementList[i] == AacIdCpe)
            total += 2;
        else if (h->elementList[i] == AacIdSce || h->elementList[i] == AacIdLfe)
            total += 1;
    return total;
}

// Gives each decoded element its output type and index; false when one does not fit
// the layout.
bool assignPositions(AacDecInstance *h, const AacDecRawBlock &block)
{
    AacDec_PceResetElementCount(&h->pce);
    for (int e = 0; e < block.elementCount; ++e) {
        if (!AacDec_PceMapElement(&h->pce, h->streamInfo.channelConfig, block.element[e].elementTag, h->elementList,
                                  AacMaxElements, h->channelTypes, h->channelIndices, AacMaxChannels,
                                  block.elementId[e]))
            return false;
    }
    return true;
}

// The SBR decoder must carry as many channels as the core, not counting the one it
// adds to a mono element for parametric stereo (unless a stereo layout sent a single
// channel).
bool sbrChannelsFit(AacDecInstance *h, const AacDecRawBlock &block)
{
    if (!h->sbrEnabled || !h->sbr)
        return true;
    uint32_t psFromMono = 0;
    int32_t n = SbrDec_GetChannelCount(h->sbr, &psFromMono);
    if (!(h->channelCount == 2 && block.channelCount == 1))
        n -= static_cast<int32_t>(psFromMono);
    return n == h->channelCount;
}

int decodeSpectra(AacDecInstance *h, AacDecRawBlock &block, uint32_t frameLength)
{
    int channel = 0;
    for (int e = 0; e < block.elementCount; ++e) {
        const AacDecElement &element = block.element[e];
        AacDecSpectrum *pair[2] = {&h->work->spectra[channel],
                                   &h->work->spectra[channel + 1 < AacMaxChannels ? channel + 1 : channel]};
        if (const int r = AacDec_DecodeChannelElement(&element, pair, &h->samplingRateInfo, frameLength,
                                                      &h->noiseSeed))
            return r;
        channel += element.channelCount;
    }
    return 0;
}

// The slot in the output of decoded channel c.
uint32_t outputSlot(const AacDecInstance *h, int c, int total)
{
    int j = total - 1;
    for (int i = 0; i <= total - 2; ++i)
        if (h->channelOutputMap[i] == c) {
            j = i;
            break;
        }
    return RezTools_ChannelMapGet(&h->channelMap, static_cast<uint32_t>(j), h->channelMapRow);
}

void synthesize(AacDecInstance *h, int c, bool good, uint32_t mode, int32_t *out, uint32_t frameLength)
{
    AacDecChannelState *state = h->channelState[c];
    AacDecSpectrum &spectrum = h->work->spectra[c];
    AacDecIcsInfo ics{};
    const bool drain = (mode & AacModeDrain) != 0;
    if (good && !drain) {
        ics = h->work->block.channel[c].ics;
        state->lastWindowSequence = static_cast<uint8_t>(ics.windowSequence);
        state->lastWindowShape = ics.windowShape;
    } else {
        // Without a substitute an empty spectrum in the last good frame's window lets
        // the previous frame's overlap fade out.
        std::memset(spectrum.lines, 0, sizeof spectrum.lines);
        std::memset(spectrum.windowExponent, 0, sizeof spectrum.windowExponent);
        ics.windowSequence = state->lastWindowSequence == 255 ? uint32_t{AacOnlyLong} : uint32_t{state->lastWindowSequence};
        ics.windowShape = state->lastWindowShape;
    }
    if (good && !drain) {
        // The limiter takes the loudness normalisation as a Q20 gain word.
        int32_t gainWord = LimiterGainExponent;
        AacDec_DrcApply(&h->drc, h->sbr, &spectrum, &state->drc, &gainWord, c, frameLength,
                        ics.windowSequence == AacEightShort, static_cast<uint8_t>(ics.windowSequence),
                        h->sbrEnabled != 0);
        h->limiterGain = gainWord;
    }
    // A drained frame is an empty good one: it pushes out the frame that
    // interpolation holds back, and the next one lets its overlap fade.
    AacDecConcealChannel *conceal = &h->work->conceal[c];
    AacDec_ConcealApply(conceal, &h->concealParams, &ics, &spectrum, frameLength, good, &h->samplingRateInfo);
    AacDec_SynthesizeChannel(&state->synthesis, &ics, &spectrum, out, frameLength);
    AacDec_ConcealTimeDomain(conceal, &h->concealParams, out, frameLength);
}

} // namespace

int AacDec_DecodeRawDataBlock(AacDecInstance *h, uint32_t mode, int32_t *timeBuffer, uint32_t capacity,
                              uint32_t frameLength)
{
    if (h->channelCount <= 0)
        return AACDEC_UNSUPPORTED_CHANNEL_CONFIG;
    // The syntaxes whose elements come from a configured list (error-resilient,
    // low-delay, unified coding) are not decoded by this core.
    if (h->flags & ListDrivenSyntax)
        return AACDEC_UNSUPPORTED_FORMAT;
    RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
    RezTools_BitStreamSync(bs);
    const uint32_t auStart = RezTools_BitStreamGetValidBits(bs);
    const int32_t auLength = TpDec_GetAccessUnitLength(h->transport, 0);
    const uint32_t auBits = auLength > 0 ? static_cast<uint32_t>(auLength) : 0;
    const bool concealing = (mode & (AacModeConceal | AacModeDrain)) != 0;
    int result = 0;
    h->frameOk = 1;
    if (!concealing && TpDec_GetAccessUnitBitsLeft(h->transport, 0) < 15) {
        result = AacElementBoundsError;
        h->frameOk = 0;
    }
    AacDec_AncDataSetBuffer(&h->ancData, h->ancData.buffer, h->ancData.size);
    h->drc.fillPayloads = 0;
    h->drc.dataStreamNoted = 0;
    if (!supportedCoreRate(h->streamInfo.coreSampleRate) && !(h->flags & 0x4300))
        return AACDEC_UNSUPPORTED_SAMPLING_RATE;
    if (mode & AacModeReset) {
        for (int c = 0; c < h->channelCount; ++c) {
            AacDec_InitSynthesis(&h->channelState[c]->synthesis);
            h->channelState[c]->lastWindowSequence = 255;
            AacDec_ConcealInitChannel(&h->work->conceal[c]);
        }
        if (h->streamInfo.channelConfig > 0)
            AacDec_PceInit(&h->pce);
    }

    AacDecRawBlock &block = h->work->block;
    block.elementCount = 0;
    block.channelCount = 0;
    if (!concealing && h->frameOk) {
        const int r = AacDec_ReadRawDataBlock(bs, &block, &h->samplingRateInfo, h->flags, frameLength, auStart,
                                              auBits, h->configChannels, h);
        if (r == 0 && !assignPositions(h, block))
            result = AacElementSyntaxError;
        else if (r != 0)
            result = r;
        if (block.programConfigStored)
            AacDec_PublishPceMixdown(h);
        if (result == 0 && !sbrChannelsFit(h, block))
            result = ResultSbrChannels;
        if (result != 0) {
            h->frameOk = 0;
            // The next unit starts where the transport says this one ends.
            if (auBits)
                TpDec_SeekTo(bs, static_cast<int64_t>(auStart) - auBits);
        }
    }
    if (result != 0 && !isBitStreamError(result))
        return result;

    // The channel pass.
    int total = 0;
    if (!concealing && h->frameOk) {
        if (const int r = decodeSpectra(h, block, frameLength)) {
            h->frameOk = 0;
            result = r;
        }
        total = block.channelCount;
    } else {
        total = configuredChannels(h);
    }
    if ((total == 0 || total > h->channelCount) && result == 0) {
        h->frameOk = 0;
        result = AacElementBoundsError;
    }
    if (!concealing && TpDec_CrcCheck(h->transport) != TPDEC_OK) {
        h->frameOk = 0;
        if (result == 0)
            result = ResultCrc;
    }

    // A good frame's layout is what a concealed frame keeps.
    const bool good = h->frameOk && !(mode & AacModeConceal);
    if (good) {
        h->lastChannelCount = total;
        std::memcpy(h->lastChannelTypes, h->channelTypes, sizeof h->channelTypes);
        std::memcpy(h->lastChannelIndices, h->channelIndices, sizeof h->channelIndices);
        h->sbrEnabledSaved = h->sbrEnabled;
    } else {
        total = h->lastChannelCount;
        std::memcpy(h->channelTypes, h->lastChannelTypes, sizeof h->channelTypes);
        std::memcpy(h->channelIndices, h->lastChannelIndices, sizeof h->channelIndices);
        h->sbrEnabled = h->sbrEnabledSaved;
    }
    if (total > h->channelCount)
        total = h->channelCount;
    h->streamInfo.coreChannels = total;
    if (total == 0)
        result = ResultNoChannel;
    if (result != 0 && !isBitStreamError(result))
        return result;

    AacDecDrcChannel *drcChannels[AacMaxChannels];
    for (int c = 0; c < total; ++c)
        drcChannels[c] = &h->channelState[c]->drc;
    // A stream without a program config element is program 0.
    const int programTag = AacDec_PceIsValid(&h->pce) ? h->pce.elementInstanceTag : 0;
    // A damaged block's noted payloads are not trusted.
    RezBitStream *drcStream = good ? bs : nullptr;
    if (AacDec_DrcPrepare(&h->drc, drcStream, drcChannels, programTag, total) > 0)
        h->flags |= AacFlagDrcApplied;
    else
        h->flags &= ~AacFlagDrcApplied;

    const bool fixedLayout = h->streamInfo.channelConfig > 0;
    if (!fixedLayout && !AacDec_PceIsValid(&h->pce))
        h->channelMapRow = static_cast<uint8_t>(total < 7 ? total : 0);

    if (capacity < static_cast<uint32_t>(h->channelCount) * frameLength)
        return AACDEC_OUTPUT_BUFFER_TOO_SMALL;
    // A block with fewer channels than its layout keeps its own order when the map's
    // slots would not cover it one to one.
    uint8_t slot[AacMaxChannels];
    uint32_t taken = 0;
    for (int c = 0; c < total; ++c) {
        slot[c] = static_cast<uint8_t>(outputSlot(h, c, total));
        if (slot[c] < total)
            taken |= 1u << slot[c];
    }
    for (int c = 0; c < total; ++c) {
        if (taken != (1u << total) - 1)
            slot[c] = static_cast<uint8_t>(c);
        synthesize(h, c, good, mode, timeBuffer + slot[c] * frameLength, frameLength);
    }
    // The limiter's normalisation belongs to the frame played: with interpolation the
    // one received at the last call; a concealed or drained frame keeps the last good
    // frame's.
    if (good && !(mode & AacModeDrain)) {
        const int32_t received = h->limiterGain;
        if (h->concealDelay != 0)
            h->limiterGain = h->heldLimiterGain;
        h->heldLimiterGain = received;
    } else {
        h->limiterGain = h->heldLimiterGain;
    }

    AacDec_DrcFinish(&h->drc, drcStream, drcChannels, programTag, total);
    int8_t presentation = -1;
    uint8_t level = 255;
    AacDec_DrcGetInfo(&h->drc, &presentation, &level);
    h->streamInfo.drcPresentation = presentation;
    h->streamInfo.drcReferenceLevel = static_cast<int8_t>(level);

    // Types and indices follow the channels to their output slots.
    int32_t types[AacMaxChannels];
    uint8_t indices[AacMaxChannels];
    std::memcpy(types, h->channelTypes, sizeof types);
    std::memcpy(indices, h->channelIndices, sizeof indices);
    for (int c = 0; c < total; ++c) {
        h->channelTypes[slot[c]] = types[c];
        h->channelIndices[slot[c]] = indices[c];
    }
    ++h->frameCounter;
    return result;
}
