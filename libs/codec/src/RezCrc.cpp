// CRC over bit-stream regions, computed when a region closes from a private reader
// rewound to the region start.
#include "RezTools.h"

#include <cstdlib>

namespace {

void processRegion(RezCrcEngine *engine, RezBitStream *bs, const RezCrcRegion &region)
{
    RezBitStream reader;
    if (bs->direction == REZ_BIT_WRITE) {
        RezTools_BitStreamInit(&reader, bs->bitBuffer.buffer, bs->bitBuffer.bufSize, bs->bitBuffer.validBits,
                               REZ_BIT_READ);
        RezTools_BitBufferPushForward(&reader.bitBuffer, region.startValidBits, REZ_BIT_READ);
    } else {
        reader = *bs;
        RezTools_BitStreamSync(&reader);
        const int64_t delta = static_cast<int64_t>(reader.bitBuffer.validBits) - region.startValidBits;
        if (delta < 0)
            RezTools_BitBufferPushBack(&reader.bitBuffer, static_cast<uint32_t>(-delta), REZ_BIT_READ);
        else
            RezTools_BitBufferPushForward(&reader.bitBuffer, static_cast<uint32_t>(delta), REZ_BIT_READ);
    }

    const int32_t measured = region.measuredLength > 0 ? region.measuredLength : 0;
    const uint32_t length = static_cast<uint32_t>(std::abs(static_cast<int64_t>(region.fixedLength)));
    uint32_t bits;
    if (region.fixedLength < 0)
        bits = length;
    else if (region.fixedLength > 0)
        bits = static_cast<uint32_t>(measured & ~7) >= length ? length : static_cast<uint32_t>(measured);
    else
        bits = static_cast<uint32_t>(measured);

    uint16_t crc = engine->crc;
    if (engine->table)
        RezTools_CrcUpdateBytes(&crc, engine->table, &reader, bits / 8);
    else
        RezTools_CrcUpdateBits(&crc, engine->topBitMask, engine->polynomial, &reader, 8 * (bits / 8));
    RezTools_CrcUpdateBits(&crc, engine->topBitMask, engine->polynomial, &reader, bits % 8);

    if (length > bits) {
        uint32_t padding = length - bits;
        if (engine->table && padding >= 9) {
            RezTools_CrcUpdateBytes(&crc, engine->table, nullptr, padding / 8);
            padding %= 8;
        }
        RezTools_CrcUpdateBits(&crc, engine->topBitMask, engine->polynomial, nullptr, padding);
    }
    engine->crc = crc;
}

} // namespace

extern "C" {

void RezTools_CrcInit(RezCrcEngine *engine, uint32_t polynomial, uint32_t startValue, uint32_t width)
{
    if (width > 16)
        width = 16;
    *engine = RezCrcEngine{};
    engine->polynomial = static_cast<uint16_t>(polynomial);
    engine->startValue = static_cast<uint16_t>(startValue);
    engine->width = static_cast<uint8_t>(width);
    engine->topBitMask = width ? static_cast<uint16_t>(1u << (width - 1)) : 0;
    engine->crc = engine->startValue;
    engine->table = width == 16 ? RezTools_CrcTable(polynomial) : nullptr;
}

void RezTools_CrcReset(RezCrcEngine *engine)
{
    engine->crc = engine->startValue;
    for (RezCrcRegion &region : engine->regions)
        region.active = 0;
    engine->nextStart = 0;
    engine->nextEnd = 0;
}

int RezTools_CrcStartRegion(RezCrcEngine *engine, RezBitStream *bs, int32_t fixedLength)
{
    const uint32_t index = engine->nextStart;
    RezCrcRegion &region = engine->regions[index];
    region.active = 1;
    region.fixedLength = fixedLength;
    region.startValidBits = RezTools_BitStreamGetValidBits(bs);
    region.measuredLength = 0;
    engine->nextStart = (index + 1) % REZ_CRC_REGIONS;
    return static_cast<int>(index);
}

int RezTools_CrcEndRegion(RezCrcEngine *engine, RezBitStream *bs, int index)
{
    if (index < 0 || index >= REZ_CRC_REGIONS)
        return -1;
    RezCrcRegion &region = engine->regions[index];
    const int64_t now = RezTools_BitStreamGetValidBits(bs);
    const int64_t start = region.startValidBits;
    region.measuredLength = static_cast<int32_t>(bs->direction == REZ_BIT_WRITE ? now - start : start - now);
    if (region.fixedLength == 0)
        region.fixedLength = region.measuredLength;
    processRegion(engine, bs, region);
    region.active = 0;
    engine->nextEnd = static_cast<uint32_t>(index + 1) % REZ_CRC_REGIONS;
    return 0;
}

uint32_t RezTools_CrcGetValue(const RezCrcEngine *engine)
{
    const uint32_t widthMask = (static_cast<uint32_t>(engine->topBitMask) << 1) - 1;
    return engine->crc & widthMask & 0xFFFF;
}

uint32_t RezTools_CrcUpdateBits(uint16_t *crc, uint16_t mask, uint16_t polynomial, RezBitStream *bs, uint32_t n)
{
    uint16_t reg = *crc;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t bit = bs ? RezTools_BitStreamReadBit(bs) : 0;
        const bool feedback = ((reg & mask) != 0) != (bit != 0);
        reg = static_cast<uint16_t>(reg << 1);
        if (feedback)
            reg ^= polynomial;
    }
    *crc = reg;
    return n;
}

uint32_t RezTools_CrcUpdateBytes(uint16_t *crc, const uint16_t *table, RezBitStream *bs, uint32_t nBytes)
{
    uint16_t reg = *crc;
    auto step = [&](uint32_t byte) { reg = static_cast<uint16_t>(reg << 8) ^ table[((reg >> 8) ^ byte) & 0xFF]; };
    uint32_t left = nBytes;
    for (; left >= 4; left -= 4) {
        const uint32_t word = bs ? RezTools_BitStreamReadBits(bs, 32) : 0;
        step(word >> 24);
        step((word >> 16) & 0xFF);
        step((word >> 8) & 0xFF);
        step(word & 0xFF);
    }
    if (left) {
        const uint32_t word = bs ? RezTools_BitStreamReadBits(bs, 8 * left) : 0;
        for (uint32_t i = left; i-- > 0;)
            step((word >> (8 * i)) & 0xFF);
    }
    *crc = reg;
    return nBytes;
}

} // extern "C"
