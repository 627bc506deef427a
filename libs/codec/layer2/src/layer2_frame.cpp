// Reading one Layer II frame: allocation, scale factors, samples, the header CRC,
// the DAB tail (scale-factor CRC, F-PAD, X-PAD), and requantisation.
#include "layer2_internal.h"
#include "layer2_tables.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int PadBufferMinimum = LAYER2DEC_MIN_PAD_BUFFER;
constexpr int MaxXpadBytes = 196;

enum class ReadResult { Good, Bad, NoTable };

int32_t mulhi(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 32);
}

uint32_t validBits(RezBitStream *bs)
{
    return RezTools_BitStreamGetValidBits(bs);
}

// Moves the read position to where `target` bits were still readable.
void seekToValid(RezBitStream *bs, uint32_t target)
{
    const uint32_t current = validBits(bs);
    if (current > target)
        RezTools_BitStreamPushForward(bs, current - target);
    else if (current < target)
        RezTools_BitStreamPushBack(bs, target - current);
}

const Layer2Tables::AllocationTable *chooseTable(const Layer2FrameDecoder *f)
{
    return Layer2_ChooseTable(f->versionIndex, f->channels, f->sampleRateIndex, f->bitRateIndex);
}

// Bytes of scale-factor CRC and F-PAD at the end of a DAB frame.
int dabTailBytes(const Layer2FrameDecoder *f)
{
    const int perChannel = f->channels == 2 ? f->bitRate / 2 : f->bitRate;
    return (f->sampleRate == 48000 && perChannel < 56000) ? 4 : 6;
}

int scalefactorCount(int selection)
{
    static const int count[4] = {3, 2, 1, 2};
    return count[selection & 3];
}

// Checks the scale factors of this frame against the CRC bytes that the previous
// frame's tail carried; the read position is left where it started.
void checkScalefactorCrc(Layer2FrameDecoder *f, RezBitStream *bs, Layer2PadTail *working)
{
    const uint32_t start = validBits(bs);
    const uint8_t *groupEnd = Layer2Tables::scfCrcGroupEnd[f->versionIndex];
    int groups = 4;
    if (f->versionIndex == 0) {
        const int perChannel = f->channels == 2 ? f->frameBits / 2 : f->frameBits;
        if (perChannel < 1344)
            groups = 2;
    }
    uint16_t crc = 0;
    int group = 0;
    int groupStart = 0;
    for (int sb = 0; sb < f->sblimit && group < groups; ++sb) {
        for (int ch = 0; ch < f->channels; ++ch) {
            if (f->allocation[ch][sb] == 0)
                continue;
            const int n = scalefactorCount(f->selection[ch][sb]);
            for (int i = 0; i < n; ++i) {
                RezTools_CrcUpdateBits(&crc, 0x80, 0x1D, bs, 3);
                RezTools_BitStreamPushForward(bs, 3);
            }
        }
        if (sb == groupEnd[group]) {
            if ((crc & 0xFF) != working->scfCrc[group]) {
                working->scfCrcOk = 0;
                for (int k = groupStart; k <= sb; ++k)
                    f->reliable[k] = 0;
            }
            crc = 0;
            groupStart = sb + 1;
            ++group;
        }
    }
    seekToValid(bs, start);
}

// How the three samples of one granule of a sub-band are coded.
struct SampleCoding
{
    int steps;        // quantisation steps
    int valueBits;    // bits of one value: 2, 3 or 4 for 3, 5 or 9 steps, else the codeword size
    int codewordBits; // bits of one codeword: one per sample, or one for all three when grouped
    bool grouped;
};

SampleCoding sampleCoding(int steps)
{
    SampleCoding c;
    c.steps = steps;
    c.grouped = Layer2Tables::isGrouped(steps);
    c.codewordBits = Layer2Tables::codewordBits(steps);
    c.valueBits = c.grouped ? (steps == 3 ? 2 : (steps == 5 ? 3 : 4)) : c.codewordBits;
    return c;
}

// The three values of a grouped codeword, the first sample being the remainder.
// The number of steps is a constant here, so the divisions become multiplications.
template <uint32_t Steps>
void ungroup(uint32_t word, uint32_t (&values)[3])
{
    values[0] = word % Steps;
    word /= Steps;
    values[1] = word % Steps;
    values[2] = (word / Steps) % Steps;
}

// Reads one granule's three samples of a sub-band and channel and stores each as
// the Q30 fraction of its code with the top bit inverted, read as a two's-
// complement number.
inline void readSampleTriple(RezBitStream *bs, const SampleCoding &c, int32_t *out)
{
    const int n = c.codewordBits;
    uint32_t values[3];
    if (c.grouped) {
        const uint32_t word = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(n));
        switch (c.steps) {
        case 3: ungroup<3>(word, values); break;
        case 5: ungroup<5>(word, values); break;
        default: ungroup<9>(word, values); break;
        }
    } else if (3 * n <= 32) {
        // Three codewords in one read: the reader's cost is per call, not per bit.
        const uint32_t word = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(3 * n));
        const uint32_t mask = (1u << n) - 1;
        values[0] = word >> (2 * n);
        values[1] = (word >> n) & mask;
        values[2] = word & mask;
    } else {
        for (uint32_t &v : values)
            v = RezTools_BitStreamReadBits(bs, static_cast<uint32_t>(n));
    }
    const int bits = c.valueBits;
    for (int i = 0; i < 3; ++i) {
        const uint32_t flipped = values[i] ^ (1u << (bits - 1));
        out[i] = static_cast<int32_t>(flipped << (32 - bits)) >> 1;
    }
}

// Reads allocation, selection, scale factors and samples of one frame.
ReadResult readAudioData(Layer2FrameDecoder *f, RezBitStream *bs, uint32_t frameStart, Layer2PadTail *working)
{
    const Layer2Tables::AllocationTable *table = chooseTable(f);
    if (!table)
        return ReadResult::NoTable;
    const int sblimit = table->sblimit;
    f->sblimit = static_cast<uint8_t>(sblimit);
    int bound = sblimit;
    if (f->mode == 1)
        bound = std::min(sblimit, 4 * (f->modeExtension + 1));
    const int channels = f->channels;

    std::memset(f->quantised, 0, sizeof f->quantised);
    std::memset(f->allocation, 0, sizeof f->allocation);
    std::memset(f->selection, 0, sizeof f->selection);

    // The header CRC covers the last 16 header bits, then allocation and selection.
    RezCrcEngine crc;
    RezTools_CrcInit(&crc, 0x8005, 0xFFFF, 16);
    seekToValid(bs, frameStart - 16);
    int region = RezTools_CrcStartRegion(&crc, bs, 0);
    RezTools_BitStreamPushForward(bs, 16);
    RezTools_CrcEndRegion(&crc, bs, region);
    const bool checkCrc = f->crcPresent != 0;
    const uint32_t crcWord = checkCrc ? RezTools_BitStreamReadBits(bs, 16) : 0;

    region = RezTools_CrcStartRegion(&crc, bs, 0);
    for (int sb = 0; sb < sblimit; ++sb) {
        const int nbal = table->rows[sb][0];
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch)
                f->allocation[ch][sb] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, nbal));
        } else {
            const uint8_t a = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, nbal));
            f->allocation[0][sb] = a;
            f->allocation[1][sb] = a;
        }
    }
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (f->allocation[ch][sb] != 0)
                f->selection[ch][sb] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
    RezTools_CrcEndRegion(&crc, bs, region);
    if (checkCrc && RezTools_CrcGetValue(&crc) != crcWord)
        return ReadResult::Bad;

    std::memset(f->reliable, 1, static_cast<size_t>(sblimit));

    // Right after a reset, or after a frame whose tail could not be read, there are
    // no check bytes: the scale factors are taken as they are.
    if ((f->flags & Layer2FlagDab) && working->present)
        checkScalefactorCrc(f, bs, working);

    const int slot = f->slotRing[3];
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            int32_t *sf = f->scalefactors[slot][ch][sb];
            if (f->allocation[ch][sb] == 0) {
                sf[0] = sf[1] = sf[2] = 0;
                continue;
            }
            const auto &scale = Layer2Tables::scalefactor;
            switch (f->selection[ch][sb]) {
            case 0:
                sf[0] = scale[RezTools_BitStreamReadBits(bs, 6)];
                sf[1] = scale[RezTools_BitStreamReadBits(bs, 6)];
                sf[2] = scale[RezTools_BitStreamReadBits(bs, 6)];
                break;
            case 1:
                sf[0] = sf[1] = scale[RezTools_BitStreamReadBits(bs, 6)];
                sf[2] = scale[RezTools_BitStreamReadBits(bs, 6)];
                break;
            case 2:
                sf[0] = sf[1] = sf[2] = scale[RezTools_BitStreamReadBits(bs, 6)];
                break;
            default:
                sf[0] = scale[RezTools_BitStreamReadBits(bs, 6)];
                sf[1] = sf[2] = scale[RezTools_BitStreamReadBits(bs, 6)];
                break;
            }
        }
    }
    // Channels that do not exist keep no scale factors.
    for (int ch = channels; ch < 2; ++ch)
        std::memset(f->scalefactors[slot][ch], 0, sizeof f->scalefactors[slot][ch]);

    // How each coded sub-band's samples are written, looked up once per frame.
    SampleCoding coding[2][Layer2SubBands] = {};
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (f->allocation[ch][sb] != 0)
                coding[ch][sb] = sampleCoding(table->rows[sb][f->allocation[ch][sb]]);

    for (int granule = 0; granule < 12; ++granule) {
        for (int sb = 0; sb < sblimit; ++sb) {
            const bool shared = sb >= bound;
            const int readChannels = shared ? 1 : channels;
            for (int ch = 0; ch < readChannels; ++ch) {
                if (f->allocation[ch][sb] == 0)
                    continue;
                int32_t *out = &f->quantised[ch][sb][3 * granule];
                readSampleTriple(bs, coding[ch][sb], out);
                if (shared && channels == 2)
                    std::memcpy(&f->quantised[1][sb][3 * granule], out, 3 * sizeof *out);
            }
        }
    }
    return ReadResult::Good;
}

void requantise(Layer2FrameDecoder *f)
{
    const auto &table = *chooseTable(f);
    const int slot = f->slotRing[3];
    std::memset(f->samples, 0, sizeof f->samples);
    for (int ch = 0; ch < f->channels; ++ch) {
        for (int sb = 0; sb < f->sblimit; ++sb) {
            const int code = f->allocation[ch][sb];
            if (code == 0)
                continue;
            const int index = Layer2Tables::stepsIndex(table.rows[sb][code]);
            const int32_t c = Layer2Tables::requantC[static_cast<size_t>(index)];
            const int32_t d = Layer2Tables::requantD[static_cast<size_t>(index)];
            const int32_t *sf = f->scalefactors[slot][ch][sb];
            const int32_t *q = f->quantised[ch][sb];
            for (int t = 0; t < Layer2TimeSlots; ++t) {
                const int32_t r = 2 * mulhi(q[t] + d, c);
                f->samples[ch][t][sb] = 2 * mulhi(r, sf[t / 12]);
            }
        }
    }
}

// Sub-bands whose scale factors cannot be trusted take the mean of the three
// previous frames, so that later frames have something sensible to refer to.
void replaceUnreliableScalefactors(Layer2FrameDecoder *f)
{
    constexpr int32_t NinthQ32 = 477218588; // 2^32 / 9
    const int slot = f->slotRing[3];
    for (int sb = 0; sb < f->sblimit; ++sb) {
        if (f->reliable[sb])
            continue;
        for (int ch = 0; ch < 2; ++ch) {
            int32_t sum = 0;
            for (int prev = 0; prev < 3; ++prev)
                for (int part = 0; part < 3; ++part)
                    sum += mulhi(f->scalefactors[f->slotRing[prev]][ch][sb][part], NinthQ32);
            int32_t *sf = f->scalefactors[slot][ch][sb];
            sf[0] = sf[1] = sf[2] = sum;
        }
    }
}

void readTail(Layer2FrameDecoder *f, RezBitStream *bs, Layer2PadTail *working)
{
    const int t = dabTailBytes(f);
    working->xpadLength = 0;
    working->present = 0;
    if (f->ancillaryBytes < t) {
        // No room for a tail: nothing of it can be trusted.
        std::memset(working->scfCrc, 0, sizeof working->scfCrc);
        std::memset(working->fpad, 0, sizeof working->fpad);
        return;
    }
    working->present = 1;
    const uint32_t keep = validBits(bs);
    seekToValid(bs, f->ancillaryStart - 8u * static_cast<uint32_t>(f->ancillaryBytes - t));
    if (t == 6) {
        working->scfCrc[3] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
        working->scfCrc[2] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    } else {
        working->scfCrc[3] = working->scfCrc[2] = 0;
    }
    working->scfCrc[1] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    working->scfCrc[0] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    working->fpad[1] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    working->fpad[0] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    working->xpadLength = static_cast<uint16_t>(std::min(f->ancillaryBytes - t, MaxXpadBytes));
    seekToValid(bs, keep);
}

// Copies the PAD as it stands at the end of the frame, in stream order.
void copyPad(Layer2FrameDecoder *f, RezBitStream *bs, uint32_t frameEnd, uint32_t frameBytesAfterHeader,
             uint8_t *padBuffer, uint32_t padBufferSize, uint32_t *padBitsOut)
{
    uint32_t count = static_cast<uint32_t>(f->ancillaryBytes);
    const bool dab = (f->flags & Layer2FlagDab) != 0;
    if (dab)
        count = std::max(count, static_cast<uint32_t>(dabTailBytes(f) + 4));
    count = std::min({count, padBufferSize, frameBytesAfterHeader});
    const uint32_t keep = validBits(bs);
    seekToValid(bs, dab ? frameEnd + 8u * count : f->ancillaryStart);
    for (uint32_t i = 0; i < count; ++i)
        padBuffer[i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
    if (padBitsOut)
        *padBitsOut = 8u * count;
    seekToValid(bs, keep);
}

void advanceSlotRing(Layer2FrameDecoder *f)
{
    const uint8_t last = f->slotRing[3];
    f->slotRing[0] = f->slotRing[1];
    f->slotRing[1] = f->slotRing[2];
    f->slotRing[2] = last;
    f->slotRing[3] = static_cast<uint8_t>((last + 1) & 3);
}

bool supportedRate(int rate, bool dab)
{
    if (dab)
        return rate == 24000 || rate == 48000;
    switch (rate) {
    case 8000: case 11025: case 12000: case 16000: case 22050: case 24000: case 32000: case 44100: case 48000:
        return true;
    default:
        return false;
    }
}

} // namespace

const Layer2Tables::AllocationTable *Layer2_ChooseTable(int versionIndex, int channels, int sampleRateIndex,
                                                        int bitRateIndex)
{
    if (versionIndex == 1)
        return &Layer2Tables::tableLsf;
    if (channels < 1 || channels > 2 || sampleRateIndex < 0 || sampleRateIndex > 2 || bitRateIndex < 0
        || bitRateIndex > 15)
        return nullptr;
    switch (Layer2Tables::tableChoice[channels - 1][sampleRateIndex][bitRateIndex]) {
    case 0: return &Layer2Tables::table3B2a;
    case 1: return &Layer2Tables::table3B2b;
    case 2: return &Layer2Tables::table3B2c;
    case 3: return &Layer2Tables::table3B2d;
    default: return nullptr;
    }
}

void Layer2_FrameReset(Layer2FrameDecoder *f)
{
    Layer2Synthesis_Init(&f->synthesis);
    std::memset(f->samples, 0, sizeof f->samples);
    std::memset(f->quantised, 0, sizeof f->quantised);
    std::memset(f->scalefactors, 0, sizeof f->scalefactors);
    std::memset(f->reliable, 0, sizeof f->reliable);
    f->tail = Layer2PadTail{};
    for (uint8_t i = 0; i < 4; ++i)
        f->slotRing[i] = i;
    f->ancillaryStart = 0;
    f->ancillaryBytes = 0;
    Layer2_ConcealReset(&f->conceal);
    Layer2_DrcReset(&f->drc);
}

Layer2DecResult Layer2_DecodeFrame(Layer2FrameDecoder *f, Layer2Input *input, int16_t *pcm, uint32_t pcmCapacity,
                                   uint32_t *samplesOut, uint8_t *padBuffer, uint32_t padBufferSize,
                                   uint32_t *padBitsOut, int conceal)
{
    const Layer2FrameHeader &h = input->header;
    RezBitStream *bs = &input->bs;
    const bool dab = (f->flags & Layer2FlagDab) != 0;
    const bool read = conceal == 0;
    Layer2DecResult result = LAYER2DEC_OK;
    Layer2PadTail working = f->tail;
    working.scfCrcOk = 1;
    const uint32_t frameStart = read ? validBits(bs) : 0;
    const uint32_t frameEnd = frameStart - (read ? h.frameBits : 0);

    // A frame that cannot be decoded is still consumed, so the next call moves on.
    auto fail = [&](Layer2DecResult code) {
        if (read)
            seekToValid(bs, frameEnd);
        advanceSlotRing(f);
        return code;
    };

    if (!supportedRate(static_cast<int>(h.sampleRate), dab))
        return fail(LAYER2DEC_UNSUPPORTED_RATE);
    if (h.layer != 2)
        return fail(LAYER2DEC_NOT_LAYER2);
    if (pcmCapacity < LAYER2DEC_FRAME_SAMPLES * h.channels)
        return LAYER2DEC_BUFFER_TOO_SMALL;
    if (f->flags & Layer2FlagPad) {
        if (!padBuffer)
            return LAYER2DEC_INVALID_ARGUMENT;
        if (padBufferSize < PadBufferMinimum)
            return LAYER2DEC_BUFFER_TOO_SMALL;
    }

    std::memset(f->reliable, 0, sizeof f->reliable);
    bool good = false;
    if (read) {
        f->channels = static_cast<int32_t>(h.channels);
        f->bitRateIndex = static_cast<int32_t>(h.bitRateIndex);
        f->sampleRateIndex = static_cast<int32_t>(h.sampleRateIndex);
        f->frameBits = static_cast<int32_t>(h.frameBits);
        f->mode = static_cast<int32_t>(h.mode);
        f->modeExtension = static_cast<int32_t>(h.modeExtension);
        // DAB frames always carry the header CRC; a damaged protection bit must not
        // shift everything that follows.
        f->crcPresent = (h.crcPresent || dab) ? 1 : 0;
        f->headerBits = f->crcPresent ? 48 : 32;
        f->versionIndex = static_cast<int32_t>(h.versionIndex);
        f->sampleRate = static_cast<int32_t>(h.sampleRate);
        f->bitRate = static_cast<int32_t>(h.bitRate);

        const ReadResult r = readAudioData(f, bs, frameStart, &working);
        if (r == ReadResult::NoTable)
            return fail(LAYER2DEC_NO_TABLE);
        good = r == ReadResult::Good;
        const int64_t used = static_cast<int64_t>(frameStart) - validBits(bs);
        const int64_t ancillaryBits = static_cast<int64_t>(h.frameBits) - used;
        // Audio data that runs past the frame cannot be trusted, and such a frame has
        // no ancillary data either.
        const bool fits = ancillaryBits >= 0 && !RezTools_BitStreamGetOverrun(bs);
        if (!fits)
            good = false;
        if (fits) {
            RezTools_BitStreamPushForward(bs, static_cast<uint32_t>(ancillaryBits % 8));
            f->ancillaryBytes = static_cast<int32_t>(ancillaryBits / 8);
            f->ancillaryStart = validBits(bs);
            if (dab)
                readTail(f, bs, &working);
            if (f->flags & Layer2FlagPad)
                copyPad(f, bs, frameEnd, (h.frameBits - 32) / 8, padBuffer, padBufferSize, padBitsOut);
        } else {
            f->ancillaryBytes = 0;
            f->ancillaryStart = frameEnd;
            working.xpadLength = 0;
            working.present = 0;
            std::memset(working.scfCrc, 0, sizeof working.scfCrc);
            std::memset(working.fpad, 0, sizeof working.fpad);
        }
        if (!good)
            std::memset(f->reliable, 0, sizeof f->reliable);
        if (dab)
            f->tail = working;
        seekToValid(bs, frameEnd);
    } else if (dab) {
        // The check bytes belonged to the frame that was lost. The flag of the last
        // frame that was read stays, so its damage is still reported.
        f->tail.present = 0;
    }

    replaceUnreliableScalefactors(f);
    if (read && good)
        requantise(f);

    const int channels = f->channels > 0 ? f->channels : static_cast<int>(h.channels);
    const bool interleaved = (f->flags & Layer2FlagInterleaved) != 0;
    int16_t *pcm1 = channels == 2 ? (interleaved ? pcm + 1 : pcm + LAYER2DEC_FRAME_SAMPLES) : nullptr;
    const int stride = (channels == 2 && interleaved) ? 2 : 1;

    Layer2_Conceal(&f->conceal, f->samples, read && good);
    Layer2Synthesis_Run(&f->synthesis, f->samples, channels, pcm, pcm1, stride);

    if (samplesOut)
        *samplesOut = LAYER2DEC_FRAME_SAMPLES * static_cast<uint32_t>(channels);
    if (read && !good)
        result = LAYER2DEC_CONCEALED;
    if (dab && f->tail.scfCrcOk == 0 && LAYER2DEC_IS_SUCCESS(result))
        result = LAYER2DEC_CONCEALED;
    if (dab)
        Layer2_Drc(&f->drc, pcm, channels, interleaved, f->tail.fpad);
    advanceSlotRing(f);
    return result;
}
