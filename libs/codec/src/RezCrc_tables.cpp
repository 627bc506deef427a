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

constexpr std::array<uint16_t, 256> table8005 = crc16Table(0x8005);
constexpr std::array<uint16_t, 256> table1021 = crc16Table(0x1021);
constexpr std::array<uint16_t, 256> table8021 = crc16Table(0x8021);

} // namespace

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
