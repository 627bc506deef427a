// Cached bit-stream accessor: up to 32 bits held in a word, the buffer touched once
// per 32 bits.
#include "RezTools.h"
#include "RezBitBufferInternal.h"

namespace {

// Prefetched bits beyond the data are not an overrun until the reader gets to them.
inline void noteOverrun(RezBitStream *bs)
{
    if (bs->bitBuffer.overrunBits > bs->cachedBits)
        bs->bitBuffer.overrun = 1;
}

inline void refill(RezBitStream *bs)
{
    bs->cache = RezBits::take(&bs->bitBuffer, 32);
}

} // namespace

extern "C" {

void RezTools_BitStreamInit(RezBitStream *bs, uint8_t *buffer, uint32_t bufSize, uint32_t validBits,
                            uint32_t direction)
{
    bs->cache = 0;
    bs->cachedBits = 0;
    RezTools_BitBufferInit(&bs->bitBuffer, buffer, bufSize, validBits);
    bs->direction = direction == REZ_BIT_WRITE ? REZ_BIT_WRITE : REZ_BIT_READ;
}

uint32_t RezTools_BitStreamReadBits(RezBitStream *bs, uint32_t n)
{
    if (n == 0)
        return 0;
    if (n > 32)
        n = 32;
    uint32_t high = 0;
    if (n > bs->cachedBits) {
        const uint32_t missing = n - bs->cachedBits;
        if (missing != 32)
            high = bs->cache << missing;
        refill(bs);
        bs->cachedBits += 32;
    }
    bs->cachedBits -= n;
    const uint32_t low = bs->cachedBits < 32 ? bs->cache >> bs->cachedBits : 0;
    noteOverrun(bs);
    return (low | high) & RezTools_BitMask[n];
}

uint32_t RezTools_BitStreamReadBit(RezBitStream *bs)
{
    if (bs->cachedBits > 0) {
        --bs->cachedBits;
        return (bs->cache >> bs->cachedBits) & 1;
    }
    refill(bs);
    bs->cachedBits = 31;
    noteOverrun(bs);
    return bs->cache >> 31;
}

void RezTools_BitStreamSync(RezBitStream *bs)
{
    if (bs->direction == REZ_BIT_READ)
        RezTools_BitBufferPushBack(&bs->bitBuffer, bs->cachedBits, REZ_BIT_READ);
    else
        RezTools_BitBufferWriteBits(&bs->bitBuffer, bs->cache, bs->cachedBits);
    bs->cache = 0;
    bs->cachedBits = 0;
}

void RezTools_BitStreamPushForward(RezBitStream *bs, uint32_t n)
{
    if (bs->direction == REZ_BIT_READ && n < bs->cachedBits) {
        bs->cachedBits -= n;
        return;
    }
    RezTools_BitStreamSync(bs);
    RezTools_BitBufferPushForward(&bs->bitBuffer, n, bs->direction);
}

void RezTools_BitStreamPushBack(RezBitStream *bs, uint32_t n)
{
    if (bs->direction == REZ_BIT_READ && bs->cachedBits + n < 32) {
        bs->cachedBits += n;
        RezTools_BitStreamSync(bs);
        return;
    }
    RezTools_BitStreamSync(bs);
    RezTools_BitBufferPushBack(&bs->bitBuffer, n, bs->direction);
}

void RezTools_BitStreamPushBits(RezBitStream *bs, int32_t n)
{
    if (n < 0)
        RezTools_BitStreamPushBack(bs, static_cast<uint32_t>(-static_cast<int64_t>(n)));
    else
        RezTools_BitStreamPushForward(bs, static_cast<uint32_t>(n));
}

uint32_t RezTools_BitStreamGetValidBits(RezBitStream *bs)
{
    RezTools_BitStreamSync(bs);
    return bs->bitBuffer.validBits;
}

void RezTools_BitStreamByteAlign(RezBitStream *bs, uint32_t anchor)
{
    RezTools_BitStreamSync(bs);
    if (bs->direction == REZ_BIT_READ)
        RezTools_BitBufferPushForward(&bs->bitBuffer, (bs->bitBuffer.validBits - anchor) & 7, REZ_BIT_READ);
    else
        RezTools_BitBufferWriteBits(&bs->bitBuffer, 0, (anchor - bs->bitBuffer.validBits) & 7);
}

int RezTools_BitStreamGetOverrun(const RezBitStream *bs)
{
    return bs->bitBuffer.overrun ? 1 : 0;
}

} // extern "C"
