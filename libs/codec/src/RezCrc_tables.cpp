// MSB-first CRC-16 tables: entry i is the CRC of byte i with a zero register.
// Built at compile time from the polynomial, so nothing is pasted by hand.
#include "RezTools.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> crc16Table(uint16_t polynomial)
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ polynomial : crc << 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

// Slice k: the CRC of byte i followed by k zero bytes, so that four bytes are
// folded into the register with four independent look-ups.
using Slices = std::array<std::array<uint16_t, 256>, 4>;

constexpr Slices crc16Slices(uint16_t polynomial)
{
    Slices slices{};
    slices[0] = crc16Table(polynomial);
    for (int k = 1; k < 4; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t previous = slices[k - 1][i];
            slices[k][i] = static_cast<uint16_t>(previous << 8) ^ slices[0][previous >> 8];
        }
    return slices;
}

constexpr Slices slices8005 = crc16Slices(0x8005);
constexpr Slices slices1021 = crc16Slices(0x1021);
constexpr Slices slices8021 = crc16Slices(0x8021);
constexpr const std::array<uint16_t, 256> &table8005 = slices8005[0];
constexpr const std::array<uint16_t, 256> &table1021 = slices1021[0];
constexpr const std::array<uint16_t, 256> &table8021 = slices8021[0];

const Slices *slicesOf(uint32_t polynomial)
{
    switch (polynomial) {
    case 0x8005:
        return &slices8005;
    case 0x1021:
        return &slices1021;
    case 0x8021:
        return &slices8021;
    default:
        return nullptr;
    }
}

} // namespace

extern "C" uint16_t RezTools_CrcMemory16(uint32_t polynomial, uint16_t crc, const uint8_t *data, size_t length)
{
    const Slices *slices = slicesOf(polynomial);
    if (!slices) {
        for (size_t i = 0; i < length; ++i)
            for (int bit = 7; bit >= 0; --bit) {
                const bool feedback = ((crc >> 15) & 1) != ((data[i] >> bit) & 1);
                crc = static_cast<uint16_t>(crc << 1);
                if (feedback)
                    crc ^= static_cast<uint16_t>(polynomial);
            }
        return crc;
    }
    const Slices &t = *slices;
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        const uint16_t x = crc ^ static_cast<uint16_t>(data[i] << 8 | data[i + 1]);
        crc = t[3][x >> 8] ^ t[2][x & 0xFF] ^ t[1][data[i + 2]] ^ t[0][data[i + 3]];
    }
    for (; i < length; ++i)
        crc = static_cast<uint16_t>(crc << 8) ^ t[0][((crc >> 8) ^ data[i]) & 0xFF];
    return crc;
}

extern "C" const uint16_t *RezTools_CrcTable(uint32_t polynomial)
{
    switch (polynomial) {
    case 0x8005:
        return table8005.data();
    case 0x1021:
        return table1021.data();
    case 0x8021:
        return table8021.data();
    default:
        return nullptr;
    }
}
