// Frame headers and synchronisation of the input stage.
#include "layer2_internal.h"
#include "layer2_tables.h"
#include "MpegAudio_tables.h"

#include <cstring>

namespace {

// Sync, ID, layer and sampling-frequency bits: what stays the same from frame to frame.
constexpr uint32_t ReferenceMask = 0xFFFE0C00u;
constexpr uint32_t VerifyFrames = 10;
constexpr uint32_t HeaderBits = 32;

uint32_t validBits(RezBitStream *bs)
{
    return RezTools_BitStreamGetValidBits(bs);
}

uint32_t peekWord(RezBitStream *bs)
{
    const uint32_t word = RezTools_BitStreamReadBits(bs, HeaderBits);
    RezTools_BitStreamPushBack(bs, HeaderBits);
    return word;
}

// The 32 bits that start `offset` bits ahead; the position is kept.
uint32_t peekWordAt(RezBitStream *bs, uint32_t offset)
{
    RezTools_BitStreamPushForward(bs, offset);
    const uint32_t word = RezTools_BitStreamReadBits(bs, HeaderBits);
    RezTools_BitStreamPushBack(bs, offset + HeaderBits);
    return word;
}

// In DAB mode only 48 and 24 kHz exist, so damaged sync, layer and sampling
// frequency bits can be put right; the ID bit is kept.
uint32_t repairDabHeader(uint32_t word, uint32_t reference)
{
    word = (word & ~0xC00u) | 0x400u;
    if ((word & 0xFFFE0000u) != (reference & 0xFFFE0000u)) {
        word |= 0xFFF00000u;
        word = (word & ~0x60000u) | 0x40000u;
    }
    return word;
}

} // namespace

void Layer2_ParseHeader(uint32_t word, int dabMode, Layer2FrameHeader *header)
{
    Layer2FrameHeader h{};
    h.syncword = word >> 21;
    h.bit20 = (word >> 20) & 1;
    h.id = (word >> 19) & 1;
    h.layer = 4 - ((word >> 17) & 3);
    h.crcPresent = ((word >> 16) & 1) ^ 1;
    h.bitRateIndex = (word >> 12) & 15;
    h.sampleRateIndex = (word >> 10) & 3;
    h.padding = (word >> 9) & 1;
    h.privateBit = (word >> 8) & 1;
    h.mode = (word >> 6) & 3;
    h.modeExtension = (word >> 4) & 3;
    h.copyright = (word >> 3) & 1;
    h.original = (word >> 2) & 1;
    h.emphasis = word & 3;

    const bool valid = h.syncword == 0x7FF && h.bit20 == 1 && h.layer == 2 && h.bitRateIndex != 0
                       && h.bitRateIndex != 15 && h.sampleRateIndex != 3 && (dabMode <= 0 || h.sampleRateIndex == 1);
    if (!valid) {
        *header = Layer2FrameHeader{};
        return;
    }
    h.valid = 1;
    h.versionIndex = h.id ? 0 : 1;
    h.channels = h.mode == 3 ? 1 : 2;
    h.sampleRate = static_cast<uint32_t>(Layer2Tables::samplingFrequency[h.versionIndex * 4 + h.sampleRateIndex]);
    h.bitRate = static_cast<uint32_t>(MpegAudio_Layer2_bitrate_index[h.versionIndex][h.bitRateIndex]) * 1000u;
    const uint32_t samples = static_cast<uint32_t>(Layer2Tables::samplesPerFrame[h.versionIndex][h.layer - 1]);
    const uint32_t slot = static_cast<uint32_t>(Layer2Tables::slotBits[h.layer - 1]);
    h.frameBits = ((h.bitRate / slot) * samples / h.sampleRate + h.padding) * slot;
    h.durationMs = static_cast<float>(samples) * 1000.0f / static_cast<float>(h.sampleRate);
    *header = h;
}

void Layer2_InputReset(Layer2Input *input)
{
    RezTools_BitStreamInit(&input->bs, input->buffer, input->bufferSize, 0, REZ_BIT_READ);
    input->status = LAYER2DEC_NOT_SYNCHRONISED;
    input->skippedBits = 0;
    input->verifyCount = 0;
    input->reference = 0;
    input->header = Layer2FrameHeader{};
}

namespace {

// Synchronised: the next header must continue the stream.
Layer2DecResult checkNextHeader(Layer2Input *input, int dabMode)
{
    RezBitStream *bs = &input->bs;
    const uint32_t readable = validBits(bs);
    uint32_t word = peekWord(bs);
    if (dabMode > 0)
        word = repairDabHeader(word, input->reference);
    Layer2FrameHeader header;
    Layer2_ParseHeader(word, dabMode, &header);
    if ((word & ReferenceMask) != input->reference || !header.valid)
        return LAYER2DEC_SYNC_LOST;
    if (readable < header.frameBits)
        return LAYER2DEC_NEED_MORE_INPUT;
    if (input->verifyCount != 0 && readable >= header.frameBits + HeaderBits) {
        if ((peekWordAt(bs, header.frameBits) & ReferenceMask) != input->reference)
            return LAYER2DEC_SYNC_LOST;
    }
    if (input->verifyCount != 0)
        --input->verifyCount;
    input->header = header;
    return LAYER2DEC_OK;
}

// The header at the read position of a stream that is being searched; false
// when too few bits are readable for one.
bool candidateHeader(RezBitStream *bs, int dabMode, uint32_t *word, Layer2FrameHeader *header)
{
    if (validBits(bs) < HeaderBits)
        return false;
    *word = peekWord(bs);
    Layer2_ParseHeader(*word, dabMode, header);
    return true;
}

// Takes the candidate as the stream's reference; the next `verifyFrames`
// headers must also stand where the frame lengths put them.
void lockOnto(Layer2Input *input, uint32_t word, const Layer2FrameHeader &header, uint32_t verifyFrames)
{
    input->verifyCount = verifyFrames;
    input->reference = word & ReferenceMask;
    input->header = header;
}

Layer2DecResult searchDirect(Layer2Input *input, int dabMode)
{
    uint32_t word;
    Layer2FrameHeader header;
    if (!candidateHeader(&input->bs, dabMode, &word, &header) || !header.valid)
        return LAYER2DEC_NOT_SYNCHRONISED;
    // Kept also for an incomplete frame, so that the rest of it is checked against it.
    lockOnto(input, word, header, 0);
    return validBits(&input->bs) < header.frameBits ? LAYER2DEC_NEED_MORE_INPUT : LAYER2DEC_OK;
}

Layer2DecResult searchBitByBit(Layer2Input *input, int dabMode)
{
    RezBitStream *bs = &input->bs;
    for (;;) {
        uint32_t word;
        Layer2FrameHeader header;
        if (!candidateHeader(bs, dabMode, &word, &header))
            return LAYER2DEC_NOT_SYNCHRONISED;
        if (header.valid) {
            // DAB mode also wants the next header in place before trusting a candidate.
            const bool wantNext = dabMode > 0;
            if (validBits(bs) < header.frameBits + (wantNext ? HeaderBits : 0))
                return LAYER2DEC_NOT_SYNCHRONISED;
            if (!wantNext || ((peekWordAt(bs, header.frameBits) >> 10) & 3) == header.sampleRateIndex) {
                lockOnto(input, word, header, VerifyFrames);
                return LAYER2DEC_OK;
            }
        }
        ++input->skippedBits;
        RezTools_BitStreamPushForward(bs, 1);
    }
}

} // namespace

Layer2DecResult Layer2_Synchronise(Layer2Input *input, int dabMode)
{
    RezBitStream *bs = &input->bs;
    const Layer2DecResult last = input->status;
    const bool synchronised = last == LAYER2DEC_OK || last == LAYER2DEC_NEED_MORE_INPUT;
    Layer2DecResult status;
    if (validBits(bs) < HeaderBits)
        status = synchronised ? LAYER2DEC_NEED_MORE_INPUT : LAYER2DEC_NOT_SYNCHRONISED;
    else if (synchronised)
        status = checkNextHeader(input, dabMode);
    else if (input->directInput)
        status = searchDirect(input, dabMode);
    else
        status = searchBitByBit(input, dabMode);
    input->status = status;
    return status;
}
