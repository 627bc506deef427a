// SBR payload reader: header, grid, coding directions, inverse filtering, envelope and
// noise-floor deltas, sinusoids and extensions, most significant bit first.
#include "SbrBitstream.h"
#include "SbrHuffman.h"

#include <string.h>

namespace {

constexpr int Unsupported = 6;
constexpr int Rejected = 5;
constexpr uint32_t CrcPolynomial = 0x233; // x^10 + x^9 + x^5 + x^4 + x + 1 without x^10
constexpr int CrcBits = 10;
constexpr int ExtensionPs = 2;

uint32_t bits(RezBitStream *bs, uint32_t n) { return RezTools_BitStreamReadBits(bs, n); }

int bitLength(int v)
{
    int n = 0;
    for (; v > 0; v >>= 1)
        ++n;
    return n;
}

// FIXFIX borders per envelope count (1, 2, 4, 8) for frames of 15 and of 16 time slots.
void fixFixGrid(SbrFrameInfo &g, int envelopes, int timeSlots)
{
    g.envelopes = static_cast<uint8_t>(envelopes);
    for (int e = 0; e < envelopes; ++e)
        g.borders[e] = static_cast<uint8_t>(e * 16 / envelopes);
    g.borders[envelopes] = static_cast<uint8_t>(timeSlots);
    g.transient = -1;
    g.noiseEnvelopes = envelopes > 1 ? 2 : 1;
    g.noiseBorders[0] = 0;
    g.noiseBorders[1] = envelopes > 1 ? 8 : static_cast<uint8_t>(timeSlots);
    g.noiseBorders[2] = static_cast<uint8_t>(timeSlots);
}

const SbrHuffmanNode *envelopeTree(bool time, bool balance, uint32_t ampRes)
{
    if (ampRes)
        return balance ? (time ? t_huffman_env_bal_3_0dB : f_huffman_env_bal_3_0dB)
                       : (time ? t_huffman_env_3_0dB : f_huffman_env_3_0dB);
    return balance ? (time ? t_huffman_env_bal_1_5dB : f_huffman_env_bal_1_5dB)
                   : (time ? t_huffman_env_1_5dB : f_huffman_env_1_5dB);
}

void readDirections(RezBitStream *bs, SbrFrameData &f)
{
    for (int e = 0; e < f.grid.envelopes; ++e)
        f.envelopeTime[e] = static_cast<uint8_t>(bits(bs, 1));
    for (int n = 0; n < f.grid.noiseEnvelopes; ++n)
        f.noiseTime[n] = static_cast<uint8_t>(bits(bs, 1));
}

void readInverseFiltering(RezBitStream *bs, const SbrHeaderData &h, SbrFrameData &f)
{
    for (int n = 0; n < h.bands.noiseCount; ++n)
        f.invfModes[n] = bits(bs, 2);
}

bool readEnvelope(RezBitStream *bs, const SbrHeaderData &h, SbrFrameData &f)
{
    const bool balance = f.coupling == SBR_COUPLING_BALANCE;
    const int shift = balance ? 1 : 0;
    uint32_t count = 0;
    for (int e = 0; e < f.grid.envelopes; ++e) {
        const int bands = f.grid.freqRes[e] ? h.bands.highCount : h.bands.lowCount;
        if (count + static_cast<uint32_t>(bands) > SBR_MAX_ENVELOPE_VALUES)
            return false;
        const bool time = f.envelopeTime[e] != 0;
        const SbrHuffmanNode *tree = envelopeTree(time, balance, f.ampRes);
        int b = 0;
        if (!time) {
            // The first value is sent plainly: 7 bits at 1.5 dB, 6 at 3 dB, one less for balance.
            const uint32_t width = (f.ampRes ? 6u : 7u) - (balance ? 1u : 0u);
            f.envelope[count++] = static_cast<int16_t>(bits(bs, width) << shift);
            b = 1;
        }
        for (; b < bands; ++b)
            f.envelope[count++] = static_cast<int16_t>(SbrDec_DecodeHuffman(bs, tree) * (1 << shift));
    }
    f.envelopeValueCount = count;
    return true;
}

void readNoise(RezBitStream *bs, const SbrHeaderData &h, SbrFrameData &f)
{
    const bool balance = f.coupling == SBR_COUPLING_BALANCE;
    const int shift = balance ? 1 : 0;
    const int bands = h.bands.noiseCount;
    int16_t *value = f.noise;
    for (int n = 0; n < f.grid.noiseEnvelopes; ++n) {
        if (f.noiseTime[n]) {
            const SbrHuffmanNode *tree = balance ? t_huffman_noise_bal_3_0dB : t_huffman_noise_3_0dB;
            for (int b = 0; b < bands; ++b)
                *value++ = static_cast<int16_t>(SbrDec_DecodeHuffman(bs, tree) * (1 << shift));
        } else {
            const SbrHuffmanNode *tree = balance ? f_huffman_env_bal_3_0dB : f_huffman_env_3_0dB;
            *value++ = static_cast<int16_t>(bits(bs, 5) << shift);
            for (int b = 1; b < bands; ++b)
                *value++ = static_cast<int16_t>(SbrDec_DecodeHuffman(bs, tree) * (1 << shift));
        }
    }
}

void readSinusoids(RezBitStream *bs, const SbrHeaderData &h, SbrFrameData &f)
{
    f.sinusoids[0] = f.sinusoids[1] = 0;
    if (!bits(bs, 1))
        return;
    const int bands = h.bands.highCount;
    for (int word = 0; word < 2 && word * 32 < bands; ++word) {
        const int n = bands - word * 32 < 32 ? bands - word * 32 : 32;
        f.sinusoids[word] = bits(bs, static_cast<uint32_t>(n)) << (32 - n);
    }
}

int64_t left(RezBitStream *bs, uint32_t endValidBits)
{
    return static_cast<int64_t>(RezTools_BitStreamGetValidBits(bs)) - endValidBits;
}

void skip(RezBitStream *bs, int64_t n)
{
    if (n > 0)
        RezTools_BitStreamPushForward(bs, static_cast<uint32_t>(n));
}

// The extension block of a frame; false when its size runs past the payload.
bool readExtensions(RezBitStream *bs, PsDecHandle ps, uint32_t endValidBits)
{
    if (!bits(bs, 1))
        return true;
    uint32_t size = bits(bs, 4);
    if (size == 15)
        size += bits(bs, 8);
    int64_t remaining = int64_t{8} * size;
    bool fits = true;
    if (remaining > left(bs, endValidBits)) {
        remaining = left(bs, endValidBits) > 0 ? left(bs, endValidBits) : 0;
        fits = false;
    }
    bool psRead = false;
    bool psHeader = false;
    while (remaining > 7) {
        const uint32_t id = bits(bs, 2);
        remaining -= 2;
        if (id == ExtensionPs && ps && (!psRead || psHeader)) {
            // The first bit says whether this PS data carries a header.
            psHeader = bits(bs, 1) != 0;
            RezTools_BitStreamPushBack(bs, 1);
            const int used = PsDec_ReadData(ps, bs, static_cast<int>(remaining));
            psRead = true;
            remaining -= used;
        } else {
            skip(bs, remaining & ~int64_t{7});
            remaining &= 7;
        }
    }
    if (remaining < 0)
        return false;
    skip(bs, remaining);
    return fits;
}

// The CRC-10 of the next n bits; the stream is moved back to where it was.
uint32_t crc10(RezBitStream *bs, uint32_t n)
{
    uint16_t crc = 0;
    RezTools_CrcUpdateBits(&crc, 1u << (CrcBits - 1), CrcPolynomial, bs, n);
    RezTools_BitStreamPushBack(bs, n);
    return crc & ((1u << CrcBits) - 1);
}

} // namespace

extern "C" {

int SbrDec_InitHeaderData(SbrHeaderData *h, uint32_t coreRate, uint32_t outputRate, uint32_t frameLength,
                          uint32_t downscaleFactor, int resetFields)
{
    if (!h || coreRate == 0 || downscaleFactor == 0)
        return Unsupported;
    if (outputRate == 0)
        outputRate = 2 * coreRate;
    uint32_t coreBands;
    if (outputRate == 2 * coreRate || outputRate == coreRate)
        coreBands = 32;
    else if (8 * coreRate == 3 * outputRate)
        coreBands = 24;
    else
        return Unsupported;
    coreBands /= downscaleFactor;
    const uint32_t timeStep = 2;
    const uint32_t slots = coreBands ? frameLength / coreBands / timeStep : 0;
    if (slots == 0 || slots > 16)
        return Unsupported;
    h->syncState = SBR_SYNC_UNINITIALISED;
    h->status = 0;
    h->frameError = 0;
    h->timeSlots = static_cast<uint8_t>(slots);
    h->coreQmfBands = static_cast<uint8_t>(coreBands);
    h->timeStep = static_cast<uint8_t>(timeStep);
    h->sbrRate = SbrDec_MapRate(outputRate * downscaleFactor, 0) * (outputRate == coreRate ? 2 : 1);
    if (resetFields) {
        const uint32_t rate = outputRate * downscaleFactor;
        h->ampRes = 1;
        h->fields = SbrHeaderFields{5, 0, 0, 1, 2, 2, 2, 1, 1};
        if (rate >= 96000) {
            h->fields.startFrequency = 4;
            h->fields.stopFrequency = 3;
        } else if (rate > 24000) {
            h->fields.startFrequency = 7;
            h->fields.stopFrequency = 3;
        }
        h->crossoverBand = 0;
    }
    return 0;
}

int SbrDec_ReadHeader(RezBitStream *bs, SbrHeaderData *h, int skipOnly)
{
    if (skipOnly) {
        RezTools_BitStreamPushForward(bs, 1 + 8 + 3 + 2);
        const uint32_t extra1 = bits(bs, 1);
        const uint32_t extra2 = bits(bs, 1);
        RezTools_BitStreamPushForward(bs, (extra1 ? 5 : 0) + (extra2 ? 6 : 0));
        return SBR_HEADER_UNCHANGED;
    }
    const SbrHeaderFields before = h->fields;
    const uint8_t crossoverBefore = h->crossoverBand;
    h->ampRes = static_cast<uint8_t>(bits(bs, 1));
    h->fields.startFrequency = static_cast<uint8_t>(bits(bs, 4));
    h->fields.stopFrequency = static_cast<uint8_t>(bits(bs, 4));
    h->crossoverBand = static_cast<uint8_t>(bits(bs, 3));
    bits(bs, 2); // reserved
    const uint32_t extra1 = bits(bs, 1);
    const uint32_t extra2 = bits(bs, 1);
    SbrHeaderFields &f = h->fields;
    if (extra1) {
        f.frequencyScale = static_cast<uint8_t>(bits(bs, 2));
        f.alterScale = static_cast<uint8_t>(bits(bs, 1));
        f.noiseBands = static_cast<uint8_t>(bits(bs, 2));
    } else {
        f.frequencyScale = 2;
        f.alterScale = 1;
        f.noiseBands = 2;
    }
    if (extra2) {
        f.limiterBands = static_cast<uint8_t>(bits(bs, 2));
        f.limiterGains = static_cast<uint8_t>(bits(bs, 2));
        f.interpolation = static_cast<uint8_t>(bits(bs, 1));
        f.smoothing = static_cast<uint8_t>(bits(bs, 1));
    } else {
        f.limiterBands = 2;
        f.limiterGains = 2;
        f.interpolation = 1;
        f.smoothing = 1;
    }
    const bool changed = h->syncState < SBR_SYNC_HEADER || f.startFrequency != before.startFrequency ||
                         f.stopFrequency != before.stopFrequency || f.frequencyScale != before.frequencyScale ||
                         f.alterScale != before.alterScale || f.noiseBands != before.noiseBands ||
                         h->crossoverBand != crossoverBefore;
    return changed ? SBR_HEADER_CHANGED : SBR_HEADER_UNCHANGED;
}

int SbrDec_RebuildBandTables(SbrHeaderData *h)
{
    SbrBandRequest request{};
    request.sbrRate = h->sbrRate;
    request.startFrequency = h->fields.startFrequency;
    request.stopFrequency = h->fields.stopFrequency;
    request.frequencyScale = h->fields.frequencyScale;
    request.alterScale = h->fields.alterScale;
    request.noiseBands = h->fields.noiseBands;
    request.crossoverBand = h->crossoverBand;
    request.coreQmfBands = h->coreQmfBands;
    return SbrDec_BuildBandTables(&request, &h->bands);
}

int SbrDec_ReadGrid(RezBitStream *bs, const SbrHeaderData *h, SbrFrameData *f)
{
    SbrFrameInfo &g = f->grid;
    const int slots = h->timeSlots;
    f->ampRes = h->ampRes;
    g.frameClass = static_cast<uint8_t>(bits(bs, 2));
    int start = 0, end = slots;
    int forward[3] = {}, backward[3] = {};
    int forwardCount = 0, backwardCount = 0;
    switch (g.frameClass) {
    case SBR_FIXFIX: {
        const int envelopes = 1 << bits(bs, 2);
        fixFixGrid(g, envelopes, slots);
        const uint8_t resolution = static_cast<uint8_t>(bits(bs, 1));
        memset(g.freqRes, resolution, sizeof g.freqRes);
        if (envelopes == 1)
            f->ampRes = 0; // a single envelope always comes in 1.5 dB steps
        return 1;
    }
    case SBR_FIXVAR:
        end = slots + static_cast<int>(bits(bs, 2));
        backwardCount = static_cast<int>(bits(bs, 2));
        for (int i = 0; i < backwardCount; ++i)
            backward[i] = 2 * static_cast<int>(bits(bs, 2)) + 2;
        break;
    case SBR_VARFIX:
        start = static_cast<int>(bits(bs, 2));
        forwardCount = static_cast<int>(bits(bs, 2));
        for (int i = 0; i < forwardCount; ++i)
            forward[i] = 2 * static_cast<int>(bits(bs, 2)) + 2;
        break;
    default:
        start = static_cast<int>(bits(bs, 2));
        end = slots + static_cast<int>(bits(bs, 2));
        forwardCount = static_cast<int>(bits(bs, 2));
        backwardCount = static_cast<int>(bits(bs, 2));
        for (int i = 0; i < forwardCount; ++i)
            forward[i] = 2 * static_cast<int>(bits(bs, 2)) + 2;
        for (int i = 0; i < backwardCount; ++i)
            backward[i] = 2 * static_cast<int>(bits(bs, 2)) + 2;
        break;
    }
    const int envelopes = forwardCount + backwardCount + 1;
    g.envelopes = static_cast<uint8_t>(envelopes);
    const int pointer = static_cast<int>(bits(bs, static_cast<uint32_t>(bitLength(envelopes))));
    if (pointer > envelopes)
        return 0;
    for (int e = 0; e < envelopes; ++e) {
        const int index = g.frameClass == SBR_FIXVAR ? envelopes - 1 - e : e;
        g.freqRes[index] = static_cast<uint8_t>(bits(bs, 1));
    }
    // Borders: forward from the start, backward from the end; a negative or oversized
    // border fails the check below.
    int border[SBR_MAX_ENVELOPES + 1];
    border[0] = start;
    for (int i = 0; i < forwardCount; ++i)
        border[i + 1] = border[i] + forward[i];
    border[envelopes] = end;
    for (int i = 0; i < backwardCount; ++i)
        border[envelopes - 1 - i] = border[envelopes - i] - backward[i];
    for (int e = 0; e <= envelopes; ++e) {
        if (border[e] < 0 || border[e] > 255)
            return 0;
        g.borders[e] = static_cast<uint8_t>(border[e]);
    }
    int middle;
    if (g.frameClass == SBR_VARFIX) {
        g.transient = static_cast<int8_t>(pointer > 1 ? pointer - 1 : -1);
        middle = pointer == 0 ? border[1] : (pointer == 1 ? border[envelopes - 1] : border[g.transient]);
    } else {
        g.transient = static_cast<int8_t>(pointer ? envelopes + 1 - pointer : -1);
        middle = pointer <= 1 ? border[envelopes - 1] : border[g.transient];
    }
    g.noiseEnvelopes = envelopes > 1 ? 2 : 1;
    g.noiseBorders[0] = g.borders[0];
    if (envelopes > 1) {
        g.noiseBorders[1] = static_cast<uint8_t>(middle);
        g.noiseBorders[2] = g.borders[envelopes];
    } else {
        g.noiseBorders[1] = g.borders[envelopes];
    }
    return 1;
}

int SbrDec_CheckFrameInfo(const SbrFrameInfo *g, int timeSlots, int overlap, int timeStep)
{
    if (g->envelopes < 1 || g->envelopes > SBR_MAX_ENVELOPES || g->noiseEnvelopes > SBR_MAX_NOISE_ENVELOPES)
        return 0;
    if (overlap < 0 || overlap > 12 || timeStep < 1 || timeStep > 4)
        return 0;
    const int maxOffset = overlap / timeStep;
    const int start = g->borders[0], end = g->borders[g->envelopes];
    if (start >= end || start > maxOffset || end < timeSlots || end > timeSlots + maxOffset)
        return 0;
    for (int e = 0; e < g->envelopes; ++e)
        if (g->borders[e] >= g->borders[e + 1])
            return 0;
    if (g->transient > g->envelopes)
        return 0;
    if (g->envelopes == 1 && g->noiseEnvelopes > 1)
        return 0;
    if (g->noiseBorders[0] != start || g->noiseBorders[g->noiseEnvelopes] != end)
        return 0;
    for (int n = 0; n < g->noiseEnvelopes; ++n)
        if (g->noiseBorders[n] >= g->noiseBorders[n + 1])
            return 0;
    for (int n = 1; n < g->noiseEnvelopes; ++n) {
        bool onEnvelopeBorder = false;
        for (int e = 0; e <= g->envelopes; ++e)
            onEnvelopeBorder = onEnvelopeBorder || g->borders[e] == g->noiseBorders[n];
        if (!onEnvelopeBorder)
            return 0;
    }
    return 1;
}

int SbrDec_ReadElementData(RezBitStream *bs, const SbrHeaderData *h, SbrFrameData *frames[2], int elementId,
                           PsDecHandle ps, uint32_t endValidBits)
{
    SbrFrameData &a = *frames[0];
    auto gridOk = [&](SbrFrameData &f) {
        return SbrDec_ReadGrid(bs, h, &f) &&
               SbrDec_CheckFrameInfo(&f.grid, h->timeSlots, SBR_OVERLAP_SLOTS, h->timeStep);
    };
    if (elementId == 0) {
        if (bits(bs, 1))
            bits(bs, 4); // reserved
        a.coupling = SBR_COUPLING_NONE;
        if (!gridOk(a))
            return 0;
        readDirections(bs, a);
        readInverseFiltering(bs, *h, a);
        if (!readEnvelope(bs, *h, a))
            return 0;
        readNoise(bs, *h, a);
        readSinusoids(bs, *h, a);
    } else {
        SbrFrameData &b = *frames[1];
        if (bits(bs, 1))
            bits(bs, 8); // reserved
        const bool coupled = bits(bs, 1) != 0;
        a.coupling = coupled ? SBR_COUPLING_LEVEL : SBR_COUPLING_NONE;
        b.coupling = coupled ? SBR_COUPLING_BALANCE : SBR_COUPLING_NONE;
        if (!gridOk(a))
            return 0;
        if (coupled) {
            b.grid = a.grid;
            b.ampRes = a.ampRes;
        } else if (!gridOk(b)) {
            return 0;
        }
        readDirections(bs, a);
        readDirections(bs, b);
        readInverseFiltering(bs, *h, a);
        if (coupled)
            memcpy(b.invfModes, a.invfModes, sizeof b.invfModes);
        else
            readInverseFiltering(bs, *h, b);
        if (coupled) {
            if (!readEnvelope(bs, *h, a))
                return 0;
            readNoise(bs, *h, a);
            if (!readEnvelope(bs, *h, b))
                return 0;
            readNoise(bs, *h, b);
        } else {
            if (!readEnvelope(bs, *h, a) || !readEnvelope(bs, *h, b))
                return 0;
            readNoise(bs, *h, a);
            readNoise(bs, *h, b);
        }
        readSinusoids(bs, *h, a);
        readSinusoids(bs, *h, b);
    }
    return readExtensions(bs, elementId == 0 ? ps : nullptr, endValidBits) ? 1 : 0;
}

int SbrDec_ReadPayload(RezBitStream *bs, SbrHeaderData *h, SbrFrameData *frames[2], int elementId,
                       PsDecHandle ps, int32_t *payloadBits, int crcPresent, int checkFill)
{
    const uint32_t startBits = RezTools_BitStreamGetValidBits(bs);
    const int32_t length = *payloadBits;
    const uint32_t endValidBits = length > 0 && static_cast<uint32_t>(length) < startBits
                                      ? startBits - static_cast<uint32_t>(length)
                                      : 0;
    bool valid = length > 0 && (elementId == 0 || elementId == 1);
    if (valid && crcPresent) {
        if (length < CrcBits) {
            valid = false;
        } else {
            const uint32_t sent = bits(bs, CrcBits);
            const int64_t covered = left(bs, endValidBits);
            valid = covered >= 0 && crc10(bs, static_cast<uint32_t>(covered)) == sent;
        }
    }
    if (valid && bits(bs, 1)) {
        if (SbrDec_ReadHeader(bs, h, 0) == SBR_HEADER_CHANGED) {
            if (SbrDec_RebuildBandTables(h) != 0) {
                h->syncState = SBR_SYNC_UNINITIALISED;
                valid = false;
            } else {
                h->status |= SBR_HEADER_RESET_PENDING;
                h->syncState = SBR_SYNC_HEADER;
            }
        }
    }
    if (valid && h->syncState < SBR_SYNC_HEADER)
        valid = false;
    if (valid)
        valid = SbrDec_ReadElementData(bs, h, frames, elementId, ps, endValidBits) != 0;
    const int64_t remaining = left(bs, endValidBits);
    if (remaining < 0 || RezTools_BitStreamGetOverrun(bs) || (checkFill && remaining >= 8))
        valid = false;
    *payloadBits -= static_cast<int32_t>(startBits - RezTools_BitStreamGetValidBits(bs));
    return valid ? 0 : Rejected;
}

} // extern "C"
