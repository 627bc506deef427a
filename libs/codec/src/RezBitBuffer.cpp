// Ring bit buffer over caller memory, MSB first.
//
// Reading never touches bytes beyond the fed data: bits past validBits read as zeros
// and are counted in overrunBits, so a push-back or a later feed can settle them and
// no count ever wraps.
#include "RezTools.h"
#include "RezBitBufferInternal.h"

#include <cstring>

namespace {

// Largest ring we accept: its size in bits must fit the 32-bit positions.
constexpr uint32_t MaxBufSize = 1u << 28;

uint32_t floorPowerOfTwo(uint32_t v)
{
    if (v == 0)
        return 0;
    return 1u << (31 - __builtin_clz(v));
}

} // namespace

const uint32_t RezTools_BitMask[33] = {
    0x0,        0x1,        0x3,        0x7,        0xF,        0x1F,       0x3F,       0x7F,       0xFF,
    0x1FF,      0x3FF,      0x7FF,      0xFFF,      0x1FFF,     0x3FFF,     0x7FFF,     0xFFFF,     0x1FFFF,
    0x3FFFF,    0x7FFFF,    0xFFFFF,    0x1FFFFF,   0x3FFFFF,   0x7FFFFF,   0xFFFFFF,   0x1FFFFFF,  0x3FFFFFF,
    0x7FFFFFF,  0xFFFFFFF,  0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF,
};

namespace RezBits {

uint32_t peek(const RezBitBuffer *bb, uint32_t n)
{
    const uint32_t take = n < bb->validBits ? n : bb->validBits;
    if (take == 0 || !bb->buffer || bb->bufSize == 0)
        return 0;
    const uint32_t offset = bb->bitIndex & 7;
    const uint32_t firstByte = bb->bitIndex >> 3;
    const uint32_t bytes = (offset + take + 7) >> 3;
    const uint32_t byteMask = bb->bufSize - 1;
    uint64_t word = 0;
    for (uint32_t i = 0; i < bytes; ++i)
        word = word << 8 | bb->buffer[(firstByte + i) & byteMask];
    const uint32_t value = static_cast<uint32_t>(word >> (bytes * 8 - offset - take)) & RezTools_BitMask[take];
    return take == n ? value : value << (n - take);
}

void consume(RezBitBuffer *bb, uint32_t n)
{
    if (n > bb->validBits) {
        bb->overrunBits += n - bb->validBits;
        bb->validBits = 0;
    } else {
        bb->validBits -= n;
    }
    bb->bitCounter += static_cast<int32_t>(n);
    bb->bitIndex = (bb->bitIndex + n) & (bb->bufBits - 1);
}

uint32_t take(RezBitBuffer *bb, uint32_t n)
{
    const uint32_t value = peek(bb, n);
    consume(bb, n);
    return value;
}

} // namespace RezBits

extern "C" {

uint32_t RezTools_BitBufferInit(RezBitBuffer *bb, uint8_t *buffer, uint32_t bufSize, uint32_t validBits)
{
    // A size that is not a power of two would let the ring masks reach past the memory.
    bufSize = floorPowerOfTwo(bufSize < MaxBufSize ? bufSize : MaxBufSize);
    std::memset(bb, 0, sizeof *bb);
    bb->buffer = buffer;
    bb->bufSize = bufSize;
    bb->bufBits = 8 * bufSize;
    bb->validBits = validBits < bb->bufBits ? validBits : bb->bufBits;
    return bb->bufBits;
}

void RezTools_BitBufferReset(RezBitBuffer *bb)
{
    bb->validBits = 0;
    bb->writeOffset = 0;
    bb->bitCounter = 0;
    bb->bitIndex = 0;
    bb->overrunBits = 0;
    bb->overrun = 0;
}

void RezTools_BitBufferFeed(RezBitBuffer *bb, const uint8_t *input, uint32_t inputSize, uint32_t *bytesValid)
{
    if (!input || !bytesValid || !bb->buffer)
        return;
    const uint32_t unread = *bytesValid < inputSize ? *bytesValid : inputSize;
    const uint32_t space = (bb->bufBits - (bb->validBits < bb->bufBits ? bb->validBits : bb->bufBits)) / 8;
    const uint32_t count = unread < space ? unread : space;
    const uint8_t *from = input + (inputSize - unread);
    const uint32_t toEnd = bb->bufSize - bb->writeOffset;
    const uint32_t first = count < toEnd ? count : toEnd;
    std::memcpy(bb->buffer + bb->writeOffset, from, first);
    std::memcpy(bb->buffer, from + first, count - first);
    bb->writeOffset = (bb->writeOffset + count) & (bb->bufSize - 1);
    // Bits the reader already took past the end are now real data it has passed.
    uint32_t added = 8 * count;
    const uint32_t settled = added < bb->overrunBits ? added : bb->overrunBits;
    bb->overrunBits -= settled;
    bb->validBits += added - settled;
    *bytesValid -= count;
}

uint32_t RezTools_BitBufferReadBits(RezBitBuffer *bb, uint32_t n)
{
    if (n == 0)
        return 0;
    if (n > 32)
        n = 32;
    const uint32_t value = RezBits::take(bb, n);
    if (bb->overrunBits)
        bb->overrun = 1;
    return value;
}

uint32_t RezTools_BitBufferRead32(RezBitBuffer *bb)
{
    return RezTools_BitBufferReadBits(bb, 32);
}

void RezTools_BitBufferWriteBits(RezBitBuffer *bb, uint32_t value, uint32_t n)
{
    if (n == 0 || !bb->buffer || bb->bufSize == 0)
        return;
    if (n > 32)
        n = 32;
    const uint32_t byteMask = bb->bufSize - 1;
    uint32_t position = bb->bitIndex;
    uint32_t remaining = n;
    while (remaining) {
        const uint32_t offset = position & 7;
        const uint32_t chunk = remaining < 8 - offset ? remaining : 8 - offset;
        const uint32_t shift = 8 - offset - chunk;
        const uint32_t bits = (value >> (remaining - chunk)) & RezTools_BitMask[chunk];
        uint8_t &byte = bb->buffer[(position >> 3) & byteMask];
        byte = static_cast<uint8_t>((byte & ~(RezTools_BitMask[chunk] << shift)) | bits << shift);
        remaining -= chunk;
        position = (position + chunk) & (bb->bufBits - 1);
    }
    bb->bitCounter += static_cast<int32_t>(n);
    bb->validBits += n;
    bb->bitIndex = position;
}

void RezTools_BitBufferPushBack(RezBitBuffer *bb, uint32_t n, uint32_t direction)
{
    bb->bitCounter -= static_cast<int32_t>(n);
    bb->bitIndex = (bb->bitIndex - n) & (bb->bufBits - 1);
    if (direction == REZ_BIT_READ) {
        const uint32_t settled = n < bb->overrunBits ? n : bb->overrunBits;
        bb->overrunBits -= settled;
        bb->validBits += n - settled;
    } else {
        bb->validBits = n < bb->validBits ? bb->validBits - n : 0;
    }
}

void RezTools_BitBufferPushForward(RezBitBuffer *bb, uint32_t n, uint32_t direction)
{
    if (direction == REZ_BIT_READ) {
        RezBits::consume(bb, n);
        if (bb->overrunBits)
            bb->overrun = 1;
    } else {
        bb->bitCounter += static_cast<int32_t>(n);
        bb->bitIndex = (bb->bitIndex + n) & (bb->bufBits - 1);
        bb->validBits += n;
    }
}

int32_t RezTools_BitBufferGetBitCount(const RezBitBuffer *bb)
{
    return bb->bitCounter;
}

void RezTools_BitBufferSetBitCount(RezBitBuffer *bb, int32_t value)
{
    bb->bitCounter = value;
}

uint32_t RezTools_BitBufferGetValidBits(const RezBitBuffer *bb)
{
    return bb->validBits;
}

int RezTools_BitBufferGetOverrun(const RezBitBuffer *bb)
{
    return bb->overrun ? 1 : 0;
}

void RezTools_BitBufferClearOverrun(RezBitBuffer *bb)
{
    bb->overrun = 0;
}

} // extern "C"
