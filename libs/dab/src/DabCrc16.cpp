#include "DabCrc16.h"

#include <array>

namespace {

constexpr uint16_t DabPolynomial = 0x1021;

constexpr std::array<uint16_t, 256> makeCrcTable(uint16_t polynomial)
{
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t reg = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ polynomial : reg << 1);
        table[byte] = reg;
    }
    return table;
}

// Index: the byte entering the register XOR its top byte; value: what that byte
// contributes to the register after eight shifts.
constexpr std::array<uint16_t, 256> DabCrcTable = makeCrcTable(DabPolynomial);

uint16_t runTable(const std::array<uint16_t, 256> &table, uint16_t reg, const uint8_t *data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        reg = static_cast<uint16_t>((reg << 8) ^ table[((reg >> 8) ^ data[i]) & 0xFF]);
    return reg;
}

} // namespace

extern "C" uint16_t DAB_Bb_Ruz_Crc16Register(uint16_t polynomial, uint16_t initial, const uint8_t *data, size_t length)
{
    if (data == nullptr || length == 0)
        return initial;
    if (polynomial == DabPolynomial)
        return runTable(DabCrcTable, initial, data, length);
    const std::array<uint16_t, 256> table = makeCrcTable(polynomial);
    return runTable(table, initial, data, length);
}

extern "C" uint16_t DAB_Bb_Ruz_Crc16(const uint8_t *data, size_t length)
{
    if (data == nullptr || length == 0)
        return 0;
    return static_cast<uint16_t>(~DAB_Bb_Ruz_Crc16Register(DabPolynomial, 0xFFFF, data, length));
}

extern "C" int DAB_Bb_Ruz_Crc16Check(const uint8_t *data, size_t length, uint16_t expected)
{
    return DAB_Bb_Ruz_Crc16(data, length) == expected ? 1 : 0;
}
