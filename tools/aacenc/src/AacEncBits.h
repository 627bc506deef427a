// MSB-first bit writer of the encoder and its transports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZozTestAac {

class BitWriter {
public:
    // Appends the low `count` bits of value, highest first (count 0..32).
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_bits % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
            ++m_bits;
        }
    }
    void putBytes(const std::vector<uint8_t> &bytes)
    {
        for (uint8_t b : bytes)
            put(b, 8);
    }
    void alignToByte()
    {
        while (m_bits % 8)
            put(0, 1);
    }
    std::size_t bits() const { return m_bits; }
    const std::vector<uint8_t> &bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    std::size_t m_bits = 0;
};

} // namespace ZozTestAac
