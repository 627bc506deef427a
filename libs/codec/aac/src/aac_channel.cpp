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

// Syntax element ids of the element lists.
enum : uint32_t {
    SynTag = 0,
    SynCommonWindow = 1,
    SynGlobalGain = 2,
    SynIcsInfo = 3,
    SynStereoData = 5,
    SynReservedBit = 6,
    SynSectionData = 8,
    SynScaleFactors = 9,
    SynPulse = 10,
    SynTnsPresent = 11,
    SynTnsData = 12,
    SynGainControl = 13,
    SynSpectralData = 17,
    SynCouplingHeader = 29,
    SynGainLists = 30,
    SynCrcStartA = 31,
    SynCrcStartB = 32,
    SynCrcEndA = 33,
    SynCrcEndB = 34,
    SynCrcStartAWhole = 35,
    SynCrcEndAToo = 36,
    SynNextChannel = 37,
    SynBranch = 39,
    SynEnd = 40,
};

// Bits the error check covers of a channel element's first and second channel.
constexpr int32_t CrcRegionABits = 192;
constexpr int32_t CrcRegionBBits = 128;
// The longest list, with its sub-lists, is far below this.
constexpr int MaxSyntaxSteps = 128;

struct CrcRegion
{
    TpDecHandle tp;
    int index = -1;
    bool open = false;

    void start(int32_t bits)
    {
        index = TpDec_CrcStartRegion(tp, bits);
        open = true;
    }
    void end()
    {
        if (open)
            TpDec_CrcEndRegion(tp, index);
        open = false;
    }
};

// What the walk keeps between ids.
struct Walk
{
    RezBitStream *bs;
    AacDecElement *element;      // null for a coupling channel
    AacDecChannelData *channel[2];
    int channelCount;
    int current = 0;
    const AacSamplingRateInfo *sr;
    uint32_t flags;
    uint32_t elFlags;
    uint32_t frameLength;
    uint32_t selector = 0;
    // Coupling channel: independently switched, gain element lists.
    uint32_t independentlySwitched = 0;
    uint32_t gainLists = 0;
};

void readCouplingHeader(Walk &w)
{
    w.independentlySwitched = readBits(w.bs, 1);
    const uint32_t targets = readBits(w.bs, 3) + 1;
    w.gainLists = 0;
    for (uint32_t t = 0; t < targets; ++t) {
        ++w.gainLists;
        const uint32_t targetIsPair = readBits(w.bs, 1);
        readBits(w.bs, 4); // target tag
        if (targetIsPair) {
            const uint32_t left = readBits(w.bs, 1);
            const uint32_t right = readBits(w.bs, 1);
            if (left && right)
                ++w.gainLists;
        }
    }
    readBits(w.bs, 4); // domain, gain sign, gain scale
}

// The gains are read to find the element's end; nothing applies them.
void readGainLists(Walk &w)
{
    const AacDecChannelData *ch = w.channel[0];
    for (uint32_t list = 1; list < w.gainLists; ++list) {
        if (w.independentlySwitched || readBits(w.bs, 1)) {
            AacDec_ReadScaleFactorCodeword(w.bs);
            continue;
        }
        for (int g = 0; g < ch->ics.numWindowGroups; ++g)
            for (int b = 0; b < ch->ics.maxSfb; ++b)
                if (ch->codebook[aacBandIndex(g, b)] != AacZeroCodebook)
                    AacDec_ReadScaleFactorCodeword(w.bs);
    }
}

int readIcs(Walk &w)
{
    AacDecChannelData *ch = w.channel[w.current];
    if (const int r = AacDec_ReadIcsInfo(w.bs, &ch->ics, w.sr, w.flags))
        return r;
    if ((w.elFlags & AacElementIsLfe) && ch->ics.windowSequence != AacOnlyLong)
        return AacElementSyntaxError;
    if (w.channelCount == 2 && ch->commonWindow)
        w.channel[1]->ics = w.channel[0]->ics;
    return 0;
}

int readStereo(Walk &w)
{
    AacDecIcsInfo &left = w.channel[0]->ics;
    AacDecIcsInfo &right = w.channel[1]->ics;
    left.commonMaxSfb = right.commonMaxSfb = std::max(left.maxSfb, right.maxSfb);
    return AacDec_ReadStereoData(w.bs, &w.element->stereo, &left) != 0 ? AacElementSyntaxError : 0;
}

int step(Walk &w, uint32_t id, CrcRegion &a, CrcRegion &b)
{
    AacDecChannelData *ch = w.channel[w.current];
    switch (id) {
    case SynTag: {
        const uint8_t tag = static_cast<uint8_t>(readBits(w.bs, 4));
        if (w.element)
            w.element->elementTag = tag;
        return 0;
    }
    case SynCommonWindow:
        w.selector = readBits(w.bs, 1);
        w.channel[0]->commonWindow = w.channel[1]->commonWindow = static_cast<uint8_t>(w.selector);
        w.element->commonWindow = static_cast<uint8_t>(w.selector);
        return 0;
    case SynGlobalGain:
        ch->globalGain = static_cast<uint8_t>(readBits(w.bs, 8));
        return 0;
    case SynIcsInfo:
        return readIcs(w);
    case SynStereoData:
        return readStereo(w);
    case SynReservedBit:
        return readBits(w.bs, 1) ? AacElementReservedBit : 0;
    case SynSectionData:
        return AacDec_ReadSectionData(w.bs, ch, w.sr, w.flags);
    case SynScaleFactors:
        return (w.flags & AacFlagScalefactorResilience) ? 0 : AacDec_ReadScaleFactors(w.bs, ch, w.flags);
    case SynPulse:
        return AacDec_ReadPulseData(w.bs, &ch->pulse, &ch->ics, w.sr->bandOffsetLong, w.frameLength);
    case SynTnsPresent:
        AacDec_ReadTnsPresent(w.bs, &ch->tns);
        return ch->tns.present && (w.elFlags & AacElementIsLfe) ? AacElementSyntaxError : 0;
    case SynTnsData:
        return AacDec_ReadTnsData(w.bs, &ch->tns, &ch->ics, w.flags);
    case SynGainControl:
        return readBits(w.bs, 1) ? AacElementGainControl : 0;
    case SynSpectralData:
        return AacDec_ReadSpectralData(w.bs, ch, w.sr, w.frameLength);
    case SynCouplingHeader:
        readCouplingHeader(w);
        return 0;
    case SynGainLists:
        readGainLists(w);
        return 0;
    case SynCrcStartA:
        a.start(CrcRegionABits);
        return 0;
    case SynCrcStartB:
        b.start(CrcRegionBBits);
        return 0;
    case SynCrcEndA:
    case SynCrcEndAToo:
        a.end();
        return 0;
    case SynCrcEndB:
        if (a.open)
            return AacElementBoundsError;
        b.end();
        return 0;
    case SynCrcStartAWhole:
        a.start(0);
        return 0;
    case SynNextChannel:
        w.current = (w.current + 1) % w.channelCount;
        return 0;
    default: // ids of the unified and error-resilient syntaxes: not decoded here
        return AACDEC_UNSUPPORTED_FORMAT;
    }
}

// Executes the element's syntax list: the first list, then the sub-list that a branch
// id selects by the last selector read.
int walk(Walk &w, const RezChannelElementSyntax *syntax, TpDecHandle tp)
{
    if (!syntax || !syntax->lists[0])
        return AACDEC_UNSUPPORTED_FORMAT;
    CrcRegion a{tp}, b{tp};
    const uint32_t *list = syntax->lists[0];
    int result = 0;
    for (int i = 0, n = 0; n < MaxSyntaxSteps; ++i, ++n) {
        const uint32_t id = list[i];
        if (id == SynEnd)
            break;
        if (id == SynBranch) {
            const uint32_t *next = w.selector < 2 ? syntax->lists[1 + w.selector] : nullptr;
            if (!next) {
                result = AACDEC_UNSUPPORTED_FORMAT;
                break;
            }
            list = next;
            i = -1;
            continue;
        }
        if ((result = step(w, id, a, b)) != 0)
            break;
    }
    if (a.open || b.open) {
        a.end();
        b.end();
        if (result == 0)
            result = AacElementBoundsError;
    }
    return result;
}

void clearChannel(AacDecChannelData *ch)
{
    AacDec_ClearTnsData(&ch->tns);
    ch->commonWindow = 0;
    ch->pulse.present = 0;
}

} // namespace

int AacDec_ReadChannelElement(RezBitStream *bs, AacDecElement *element, const AacSamplingRateInfo *sr,
                              uint32_t flags, uint32_t elFlags, uint32_t frameLength, uint32_t aot, TpDecHandle tp)
{
    if (!sr->bandOffsetLong || !sr->bandOffsetShort || element->channelCount < 1 || element->channelCount > 2)
        return AACDEC_UNSUPPORTED_FORMAT;
    for (int c = 0; c < element->channelCount; ++c)
        clearChannel(element->channel[c]);
    element->commonWindow = 0;
    element->stereo.msMaskPresent = 0;
    std::memset(element->stereo.msUsed, 0, sizeof element->stereo.msUsed);
    Walk w{bs, element, {element->channel[0], element->channel[element->channelCount - 1]}, element->channelCount,
           0, sr, flags, elFlags, frameLength};
    return walk(w, RezTools_GetChannelElementSyntax(aot, 0, static_cast<uint32_t>(element->channelCount), 0,
                                                    elFlags & ~AacElementCoupling),
                tp);
}

int AacDec_ReadCouplingElement(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr,
                               uint32_t flags, uint32_t frameLength, uint32_t aot, TpDecHandle tp)
{
    if (!sr->bandOffsetLong || !sr->bandOffsetShort)
        return AACDEC_UNSUPPORTED_FORMAT;
    clearChannel(ch);
    Walk w{bs, nullptr, {ch, ch}, 1, 0, sr, flags, AacElementCoupling, frameLength};
    return walk(w, RezTools_GetChannelElementSyntax(aot, 0, 1, 0, AacElementCoupling), tp);
}
