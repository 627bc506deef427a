#include "aac_channel.h"

#include "aac_huffman.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t readBits(RezBitStream *bs, uint32_t n)
{
    return RezTools_BitStreamReadBits(bs, n);
}

const int16_t *bandOffsetsOf(const AacDecIcsInfo *ics, const AacSamplingRateInfo *sr)
{
    return ics->windowSequence == AacEightShort ? sr->bandOffsetShort : sr->bandOffsetLong;
}

bool isIntensity(uint8_t codebook)
{
    return codebook == AacIntensityOutOfPhase || codebook == AacIntensityInPhase;
}

} // namespace

int AacDec_ReadIcsInfo(RezBitStream *bs, AacDecIcsInfo *ics, const AacSamplingRateInfo *sr, uint32_t flags)
{
    ics->valid = 0;
    if (!(flags & 0x4300))
        readBits(bs, 1); // reserved
    ics->windowSequence = readBits(bs, 2);
    ics->windowShape = static_cast<uint8_t>(readBits(bs, 1));
    const bool eightShort = ics->windowSequence == AacEightShort;
    ics->maxSfb = static_cast<uint8_t>(readBits(bs, eightShort ? 4 : 6));
    ics->totalSfb = eightShort ? sr->bandsShort : sr->bandsLong;
    if (ics->maxSfb > ics->totalSfb)
        return AacElementSyntaxError;
    if (eightShort) {
        ics->scaleFactorGrouping = static_cast<uint8_t>(readBits(bs, 7));
        uint8_t groups = 0;
        ics->windowGroupLength[0] = 1;
        for (int bit = 6; bit >= 0; --bit) {
            if ((ics->scaleFactorGrouping >> bit) & 1) {
                ++ics->windowGroupLength[groups];
            } else {
                ++groups;
                ics->windowGroupLength[groups] = 1;
            }
        }
        ics->numWindowGroups = static_cast<uint8_t>(groups + 1);
    } else {
        if (!(flags & 0x4398) && readBits(bs, 1))
            return AacElementReservedBit; // prediction is not part of the low-complexity profile
        ics->numWindowGroups = 1;
        ics->windowGroupLength[0] = 1;
    }
    ics->valid = 1;
    return 0;
}

int AacDec_ReadSectionData(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *, uint32_t)
{
    const AacDecIcsInfo &ics = ch->ics;
    std::memset(ch->codebook, 0, sizeof ch->codebook);
    const bool eightShort = ics.windowSequence == AacEightShort;
    const uint32_t width = eightShort ? 3 : 5;
    const uint32_t escape = (1u << width) - 1;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        int k = 0;
        while (k < ics.maxSfb) {
            const uint8_t codebook = static_cast<uint8_t>(readBits(bs, 4));
            // The escaped length can only grow while it still fits in the bands; a longer
            // one (or an empty section, which would never advance) is a broken stream.
            int length = 0;
            uint32_t field;
            do {
                field = readBits(bs, width);
                length += static_cast<int>(field);
            } while (field == escape && k + length <= ics.maxSfb);
            const int top = k + length;
            if (length == 0 || top > ics.maxSfb)
                return AacElementBoundsError;
            if (codebook == AacReservedCodebook)
                return AacElementCodebookError;
            if (isIntensity(codebook) && !ch->commonWindow)
                return AacElementCodebookError;
            std::memset(ch->codebook + aacBandIndex(g, k), codebook, static_cast<size_t>(length));
            k = top;
        }
    }
    return 0;
}

int AacDec_ReadScaleFactors(RezBitStream *bs, AacDecChannelData *ch, uint32_t flags)
{
    const AacDecIcsInfo &ics = ch->ics;
    int sf = ch->globalGain;
    int position = 0;
    int energy = ch->globalGain - 90;
    bool firstNoise = true;
    std::memset(ch->noiseUsed, 0, sizeof ch->noiseUsed);
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int b = 0; b < ics.maxSfb; ++b) {
            const int i = aacBandIndex(g, b);
            const uint8_t codebook = ch->codebook[i];
            if (codebook == AacZeroCodebook) {
                ch->scaleFactor[i] = 0;
            } else if (codebook == AacNoiseCodebook) {
                if (flags & 0x204300)
                    return AacElementSyntaxError;
                energy += firstNoise ? static_cast<int>(readBits(bs, 9)) - 256
                                     : static_cast<int>(AacDec_ReadScaleFactorCodeword(bs)) - 60;
                firstNoise = false;
                ch->scaleFactor[i] = static_cast<int16_t>(energy);
                ch->noiseUsed[i] = 1;
            } else if (isIntensity(codebook)) {
                position += static_cast<int>(AacDec_ReadScaleFactorCodeword(bs)) - 60;
                ch->scaleFactor[i] = static_cast<int16_t>(position);
            } else {
                sf += static_cast<int>(AacDec_ReadScaleFactorCodeword(bs)) - 60;
                ch->scaleFactor[i] = static_cast<int16_t>(sf);
            }
        }
    }
    return 0;
}

int AacDec_ReadPulseData(RezBitStream *bs, AacDecPulseData *pulse, const AacDecIcsInfo *ics,
                         const int16_t *bandOffsets, uint32_t frameLength)
{
    pulse->present = static_cast<uint8_t>(readBits(bs, 1));
    if (!pulse->present)
        return 0;
    if (ics->windowSequence == AacEightShort)
        return AacElementBoundsError;
    pulse->numberPulse = static_cast<uint8_t>(readBits(bs, 2));
    pulse->startSfb = static_cast<uint8_t>(readBits(bs, 6));
    if (pulse->startSfb >= ics->maxSfb)
        return AacElementBoundsError;
    uint32_t k = static_cast<uint32_t>(bandOffsets[pulse->startSfb]);
    for (int i = 0; i <= pulse->numberPulse; ++i) {
        pulse->offset[i] = static_cast<uint8_t>(readBits(bs, 5));
        pulse->amp[i] = static_cast<uint8_t>(readBits(bs, 4));
        k += pulse->offset[i];
    }
    return k >= frameLength ? AacElementBoundsError : 0;
}

void AacDec_ApplyPulseData(const AacDecPulseData *pulse, const int16_t *bandOffsets, int32_t *lines)
{
    if (!pulse->present)
        return;
    int k = bandOffsets[pulse->startSfb];
    for (int i = 0; i <= pulse->numberPulse; ++i) {
        k += pulse->offset[i];
        if (lines[k] > 0)
            lines[k] += pulse->amp[i];
        else
            lines[k] -= pulse->amp[i];
    }
}

void AacDec_ClearTnsData(AacDecTnsData *tns)
{
    std::memset(tns, 0, sizeof *tns);
}

int AacDec_ReadTnsPresent(RezBitStream *bs, AacDecTnsData *tns)
{
    tns->present = static_cast<uint8_t>(readBits(bs, 1));
    return 0;
}

int AacDec_ReadTnsData(RezBitStream *bs, AacDecTnsData *tns, const AacDecIcsInfo *ics, uint32_t flags)
{
    if (tns->present != 1)
        return 0;
    tns->active = 0;
    const bool eightShort = ics->windowSequence == AacEightShort;
    const bool usac = (flags & 0x4300) != 0;
    const int windows = eightShort ? 8 : 1;
    for (int w = 0; w < windows; ++w) {
        const uint8_t nFilt = static_cast<uint8_t>(readBits(bs, eightShort ? 1 : 2));
        tns->nFilt[w] = nFilt;
        if (nFilt == 0)
            continue;
        const uint32_t coefRes = readBits(bs, 1);
        int top = ics->totalSfb;
        for (int f = 0; f < nFilt; ++f) {
            AacDecTnsFilter &filter = tns->filter[w][f];
            const int length = static_cast<int>(readBits(bs, eightShort ? 4 : 6));
            filter.top = static_cast<uint8_t>(top);
            filter.bottom = static_cast<uint8_t>(top - std::min(top, length));
            top = filter.bottom;
            const uint32_t order = readBits(bs, eightShort ? 3 : (usac ? 4 : 5));
            if (order > AacTnsMaxOrder)
                return AacElementTnsOrder;
            filter.order = static_cast<uint8_t>(order);
            if (order == 0)
                continue;
            filter.direction = readBits(bs, 1) ? -1 : 1;
            const uint32_t compress = readBits(bs, 1);
            filter.resolution = static_cast<uint8_t>(coefRes + 3);
            const uint32_t width = coefRes + 3 - compress;
            for (uint32_t i = 0; i < order; ++i) {
                const uint32_t raw = readBits(bs, width);
                // Sign-extend a width-bit two's complement value.
                const int value = static_cast<int>(raw) - ((raw >> (width - 1)) ? (1 << width) : 0);
                filter.coefficient[i] = static_cast<int8_t>(value);
            }
            tns->active = 4;
        }
    }
    tns->valid = 1;
    return 0;
}

int AacDec_ReadStereoData(RezBitStream *bs, AacDecJointStereo *stereo, const AacDecIcsInfo *ics)
{
    stereo->msMaskPresent = static_cast<uint8_t>(readBits(bs, 2));
    std::memset(stereo->msUsed, 0, sizeof stereo->msUsed);
    switch (stereo->msMaskPresent) {
    case 1:
        for (int g = 0; g < ics->numWindowGroups; ++g)
            for (int b = 0; b < ics->maxSfb; ++b)
                stereo->msUsed[b] |= static_cast<uint8_t>(readBits(bs, 1) << g);
        break;
    case 2:
        std::memset(stereo->msUsed, 0xFF, ics->maxSfb);
        break;
    case 3:
        return -1; // complex prediction belongs to the unified coding only
    default:
        break;
    }
    return 0;
}

int AacDec_ReadSpectralData(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr,
                            uint32_t frameLength)
{
    const AacDecIcsInfo &ics = ch->ics;
    std::memset(ch->quantized, 0, sizeof ch->quantized);
    const int16_t *offsets = bandOffsetsOf(&ics, sr);
    const uint32_t granule = ics.windowSequence == AacEightShort ? frameLength / 8 : frameLength;
    int window = 0;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int b = 0; b < ics.maxSfb; ++b) {
            uint8_t &codebook = ch->codebook[aacBandIndex(g, b)];
            if (codebook >= 16)
                codebook = AacEscapeCodebook;
            if (codebook == AacZeroCodebook || codebook >= AacNoiseCodebook)
                continue;
            const AacDecCodebookInfo &book = aacCodebookInfo[codebook];
            const uint32_t mask = (1u << book.bitsPerValue) - 1;
            for (int w = 0; w < ics.windowGroupLength[g]; ++w) {
                int32_t *lines = ch->quantized + (window + w) * granule;
                for (int k = offsets[b]; k < offsets[b + 1]; k += book.dimension) {
                    const uint32_t symbol = AacDec_HuffmanDecode(bs, &book);
                    for (int i = 0; i < book.dimension; ++i) {
                        int32_t v = static_cast<int32_t>((symbol >> (i * book.bitsPerValue)) & mask) - book.valueOffset;
                        if (book.valueOffset == 0 && v != 0 && readBits(bs, 1))
                            v = -v;
                        lines[k + i] = v;
                    }
                    if (codebook == AacEscapeCodebook) {
                        for (int i = 0; i < 2; ++i) {
                            lines[k + i] = AacDec_ReadEscape(bs, lines[k + i]);
                            if (lines[k + i] > 8191 || lines[k + i] < -8191)
                                return AacElementSyntaxError;
                        }
                    }
                }
            }
        }
        window += ics.windowGroupLength[g];
    }
    if (ics.windowSequence != AacEightShort)
        AacDec_ApplyPulseData(&ch->pulse, sr->bandOffsetLong, ch->quantized);
    return 0;
}

namespace {

// One individual channel stream from the global gain on; the ICS information is
// read here unless the pair shares it.
int readChannelStream(RezBitStream *bs, AacDecChannelData *ch, bool readIcs, const AacSamplingRateInfo *sr,
                      uint32_t flags, uint32_t elFlags, uint32_t frameLength)
{
    ch->globalGain = static_cast<uint8_t>(readBits(bs, 8));
    if (readIcs) {
        if (const int r = AacDec_ReadIcsInfo(bs, &ch->ics, sr, flags))
            return r;
        if ((elFlags & AacElementIsLfe) && ch->ics.windowSequence != AacOnlyLong)
            return AacElementSyntaxError;
    }
    if (int r = AacDec_ReadSectionData(bs, ch, sr, flags))
        return r;
    if (int r = AacDec_ReadScaleFactors(bs, ch, flags))
        return r;
    if (int r = AacDec_ReadPulseData(bs, &ch->pulse, &ch->ics, sr->bandOffsetLong, frameLength))
        return r;
    AacDec_ReadTnsPresent(bs, &ch->tns);
    if (ch->tns.present && (elFlags & AacElementIsLfe))
        return AacElementSyntaxError;
    if (int r = AacDec_ReadTnsData(bs, &ch->tns, &ch->ics, flags))
        return r;
    if (readBits(bs, 1))
        return AacElementGainControl;
    return AacDec_ReadSpectralData(bs, ch, sr, frameLength);
}

} // namespace

int AacDec_ReadChannelElement(RezBitStream *bs, AacDecElement *element, const AacSamplingRateInfo *sr,
                              uint32_t flags, uint32_t elFlags, uint32_t frameLength)
{
    if (!sr->bandOffsetLong || !sr->bandOffsetShort || element->channelCount < 1 || element->channelCount > 2)
        return AACDEC_UNSUPPORTED_FORMAT;
    for (int c = 0; c < element->channelCount; ++c) {
        AacDec_ClearTnsData(&element->channel[c]->tns);
        element->channel[c]->commonWindow = 0;
        element->channel[c]->pulse.present = 0;
    }
    element->elementTag = static_cast<uint8_t>(readBits(bs, 4));
    element->commonWindow = 0;
    element->stereo.msMaskPresent = 0;
    std::memset(element->stereo.msUsed, 0, sizeof element->stereo.msUsed);
    if (element->channelCount == 1)
        return readChannelStream(bs, element->channel[0], true, sr, flags, elFlags, frameLength);

    AacDecChannelData *left = element->channel[0];
    AacDecChannelData *right = element->channel[1];
    element->commonWindow = static_cast<uint8_t>(readBits(bs, 1));
    left->commonWindow = right->commonWindow = element->commonWindow;
    if (element->commonWindow) {
        if (int r = AacDec_ReadIcsInfo(bs, &left->ics, sr, flags))
            return r;
        right->ics = left->ics;
        left->ics.commonMaxSfb = right->ics.commonMaxSfb = left->ics.maxSfb;
        if (AacDec_ReadStereoData(bs, &element->stereo, &left->ics) != 0)
            return AacElementSyntaxError;
    }
    const bool separate = !element->commonWindow;
    if (int r = readChannelStream(bs, left, separate, sr, flags, elFlags, frameLength))
        return r;
    return readChannelStream(bs, right, separate, sr, flags, elFlags, frameLength);
}

int AacDec_ReadCouplingElement(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr,
                               uint32_t flags, uint32_t frameLength)
{
    if (!sr->bandOffsetLong || !sr->bandOffsetShort)
        return AACDEC_UNSUPPORTED_FORMAT;
    AacDec_ClearTnsData(&ch->tns);
    ch->commonWindow = 0;
    ch->pulse.present = 0;
    readBits(bs, 4); // element instance tag
    const uint32_t independentlySwitched = readBits(bs, 1);
    const uint32_t targets = readBits(bs, 3) + 1;
    uint32_t gainLists = 0;
    for (uint32_t t = 0; t < targets; ++t) {
        ++gainLists;
        const uint32_t targetIsPair = readBits(bs, 1);
        readBits(bs, 4); // target tag
        if (targetIsPair) {
            const uint32_t left = readBits(bs, 1);
            const uint32_t right = readBits(bs, 1);
            if (left && right)
                ++gainLists;
        }
    }
    readBits(bs, 4); // domain, gain sign, gain scale
    if (int r = readChannelStream(bs, ch, true, sr, flags, 0, frameLength))
        return r;
    // The gains are read to find the element's end; nothing applies them.
    for (uint32_t list = 1; list < gainLists; ++list) {
        const bool common = independentlySwitched || readBits(bs, 1);
        if (common) {
            AacDec_ReadScaleFactorCodeword(bs);
            continue;
        }
        for (int g = 0; g < ch->ics.numWindowGroups; ++g)
            for (int b = 0; b < ch->ics.maxSfb; ++b)
                if (ch->codebook[aacBandIndex(g, b)] != AacZeroCodebook)
                    AacDec_ReadScaleFactorCodeword(bs);
    }
    return 0;
}
