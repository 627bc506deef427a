// MSB-first bit reader over one FIG. It never reads past the FIG's declared
// length: a read beyond it yields zero bits and sets the sticky overrun flag,
// which the FIG readers turn into a length fault.
#ifndef ZOZ_DAB_FIC_BIT_READER_H
#define ZOZ_DAB_FIC_BIT_READER_H

#include <cstdint>

namespace ZOZ::Fic {

class BitReader
{
public:
    BitReader(const uint8_t *data, unsigned lengthBytes) : m_data(data), m_limit(lengthBytes * 8u) {}

    uint32_t read(unsigned bits)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < bits; ++i) {
            value <<= 1;
            if (m_position >= m_limit) {
                m_overrun = true;
                continue;
            }
            value |= (m_data[m_position >> 3] >> (7 - (m_position & 7))) & 1u;
            ++m_position;
        }
        return value;
    }

    uint8_t read8(unsigned bits) { return static_cast<uint8_t>(read(bits)); }
    uint16_t read16(unsigned bits) { return static_cast<uint16_t>(read(bits)); }

    void skip(unsigned bits)
    {
        if (m_limit - m_position < bits) {
            m_position = m_limit;
            m_overrun = true;
        } else {
            m_position += bits;
        }
    }

    bool overrun() const { return m_overrun; }
    bool atEnd() const { return m_position >= m_limit; }
    unsigned bytePosition() const { return (m_position + 7) / 8; }
    unsigned bitsLeft() const { return m_limit - m_position; }

private:
    const uint8_t *m_data;
    unsigned m_limit;
    unsigned m_position = 0;
    bool m_overrun = false;
};

} // namespace ZOZ::Fic

#endif
