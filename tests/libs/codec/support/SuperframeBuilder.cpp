#include "SuperframeBuilder.h"
#include "RsReference.h"

#include <cstddef>

namespace SuperframeBuilder {

uint16_t accessUnitCrc(const uint8_t *data, std::size_t length)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc >> 15) & 1) != ((data[i] >> bit) & 1);
            crc = static_cast<uint16_t>(crc << 1);
            if (feedback)
                crc ^= 0x1021;
        }
    }
    return static_cast<uint16_t>(~crc);
}

uint16_t fireCheck(const uint8_t *protectedBytes)
{
    // g(x) = (x^11 + 1)(x^5 + x^3 + x^2 + x + 1), multiplied out here.
    uint32_t g = 0;
    for (int i = 0; i <= 5; ++i)
        if ((0x2F >> i) & 1)
            g ^= (1u << (i + 11)) ^ (1u << i);
    uint32_t remainder = 0;
    for (int k = 0; k < 9; ++k) {
        for (int bit = 7; bit >= 0; --bit) {
            const uint32_t in = (protectedBytes[k] >> bit) & 1;
            const bool top = ((remainder >> 15) & 1) != in;
            remainder = (remainder << 1) & 0xFFFF;
            if (top)
                remainder ^= g & 0xFFFF;
        }
    }
    return static_cast<uint16_t>(remainder);
}

int accessUnitCount(uint8_t headerByte)
{
    const bool sbr = headerByte & 0x20, rate48 = headerByte & 0x40;
    return sbr ? (rate48 ? 3 : 2) : (rate48 ? 6 : 4);
}

void encodeColumns(std::vector<uint8_t> &superframe, uint32_t n)
{
    for (uint32_t column = 0; column < n; ++column) {
        std::vector<uint8_t> data(110);
        for (uint32_t k = 0; k < 110; ++k)
            data[k] = superframe[column + k * n];
        const std::vector<uint8_t> word = RsReference::encode(data);
        for (uint32_t k = 110; k < 120; ++k)
            superframe[column + k * n] = word[k];
    }
}

std::vector<uint8_t> build(uint32_t n, uint8_t headerByte, uint8_t seed, std::vector<int> *starts)
{
    std::vector<uint8_t> sf(120 * n, 0);
    const int count = accessUnitCount(headerByte);
    const int first = 3 + ((count - 1) * 3 + 1) / 2;
    const int end = static_cast<int>(110 * n);
    std::vector<int> start(count + 1);
    const int share = (end - first) / count;
    for (int i = 0; i < count; ++i)
        start[i] = first + i * share;
    start[count] = end;
    sf[2] = headerByte;
    for (int i = 1; i < count; ++i) {
        uint8_t *p = &sf[3 + (i - 1) / 2 * 3];
        if ((i - 1) % 2 == 0) {
            p[0] = static_cast<uint8_t>(start[i] >> 4);
            p[1] = static_cast<uint8_t>((p[1] & 0x0F) | (start[i] & 0x0F) << 4);
        } else {
            p[1] = static_cast<uint8_t>((p[1] & 0xF0) | (start[i] >> 8));
            p[2] = static_cast<uint8_t>(start[i] & 0xFF);
        }
    }
    for (int i = 0; i < count; ++i) {
        const int length = start[i + 1] - start[i] - 2;
        for (int b = 0; b < length; ++b)
            sf[start[i] + b] = static_cast<uint8_t>(seed + i + b * 7);
        const uint16_t crc = accessUnitCrc(&sf[start[i]], static_cast<std::size_t>(length));
        sf[start[i] + length] = static_cast<uint8_t>(crc >> 8);
        sf[start[i] + length + 1] = static_cast<uint8_t>(crc & 0xFF);
    }
    const uint16_t fire = fireCheck(&sf[2]);
    sf[0] = static_cast<uint8_t>(fire >> 8);
    sf[1] = static_cast<uint8_t>(fire & 0xFF);
    encodeColumns(sf, n);
    if (starts)
        *starts = start;
    return sf;
}

} // namespace SuperframeBuilder
