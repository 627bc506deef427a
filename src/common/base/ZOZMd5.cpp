#include "base/ZOZMd5.h"

#include "base/ZOZMd5_tables.h"

#include <algorithm>
#include <cstring>

namespace ZOZ {

namespace {

uint32_t rotateLeft(uint32_t value, unsigned bits)
{
    return (value << bits) | (value >> (32 - bits));
}

uint32_t readLittleEndian(const uint8_t *bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

void writeLittleEndian(uint8_t *bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
}

void transform(uint32_t state[4], const uint8_t block[64])
{
    uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = readLittleEndian(block + 4 * i);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int step = 0; step < 64; ++step) {
        const int pass = step / 16;
        uint32_t mixed;
        int wordIndex;
        switch (pass) {
        case 0:
            mixed = (b & c) | (~b & d);
            wordIndex = step;
            break;
        case 1:
            mixed = (b & d) | (c & ~d);
            wordIndex = (5 * step + 1) % 16;
            break;
        case 2:
            mixed = b ^ c ^ d;
            wordIndex = (3 * step + 5) % 16;
            break;
        default:
            mixed = c ^ (b | ~d);
            wordIndex = (7 * step) % 16;
            break;
        }
        const uint32_t rotated = rotateLeft(a + mixed + words[wordIndex] + Md5SineTable[step],
                                            Md5ShiftTable[pass][step % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void md5Init(Md5Context *context)
{
    *context = Md5Context{};
    context->state[0] = 0x67452301;
    context->state[1] = 0xEFCDAB89;
    context->state[2] = 0x98BADCFE;
    context->state[3] = 0x10325476;
}

void md5Update(Md5Context *context, const uint8_t *bytes, size_t length)
{
    size_t used = (context->bitCount[0] >> 3) & 63;
    const uint64_t bits = (uint64_t(context->bitCount[1]) << 32 | context->bitCount[0]) + uint64_t(length) * 8;
    context->bitCount[0] = uint32_t(bits);
    context->bitCount[1] = uint32_t(bits >> 32);

    while (length > 0) {
        const size_t take = std::min(length, 64 - used);
        std::memcpy(context->block + used, bytes, take);
        used += take;
        bytes += take;
        length -= take;
        if (used == 64) {
            transform(context->state, context->block);
            used = 0;
        }
    }
}

Md5Digest md5Final(Md5Context *context)
{
    uint8_t lengthBytes[8];
    writeLittleEndian(lengthBytes, context->bitCount[0]);
    writeLittleEndian(lengthBytes + 4, context->bitCount[1]);

    const size_t used = (context->bitCount[0] >> 3) & 63;
    const size_t padLength = used < 56 ? 56 - used : 120 - used;
    uint8_t padding[64] = {0x80};
    md5Update(context, padding, padLength);
    md5Update(context, lengthBytes, 8);

    Md5Digest digest;
    for (int i = 0; i < 4; ++i)
        writeLittleEndian(context->digest + 4 * i, context->state[i]);
    std::memcpy(digest.data(), context->digest, 16);
    return digest;
}

} // namespace ZOZ
