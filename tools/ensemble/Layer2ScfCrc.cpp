#include "Layer2ScfCrc.h"

#include "Layer2ScfCrc_tables.h"

namespace ZOZ::EnsembleGen {

namespace {

class BitReader
{
public:
    BitReader(const uint8_t *data, size_t length) : m_data(data), m_bits(length * 8) {}
    bool has(size_t n) const { return m_position + n <= m_bits; }
    uint32_t read(size_t n)
    {
        uint32_t value = 0;
        for (size_t i = 0; i < n; ++i, ++m_position)
            value = value << 1 | ((m_data[m_position / 8] >> (7 - m_position % 8)) & 1);
        return value;
    }

private:
    const uint8_t *m_data;
    size_t m_bits;
    size_t m_position = 0;
};

// CRC-8 with x^8 + x^4 + x^3 + x^2 + 1, register starting at 0, over `bits` bits.
void crc8Update(uint8_t &crc, uint32_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i) {
        const bool feedback = ((crc & 0x80) != 0) != (((value >> i) & 1) != 0);
        crc = uint8_t(crc << 1);
        if (feedback)
            crc ^= 0x1D;
    }
}

} // namespace

std::vector<uint8_t> layer2ScfCrc(const uint8_t *frame, size_t length, size_t groups)
{
    BitReader in(frame, length);
    if (!frame || !in.has(48) || groups == 0 || groups > 4)
        return {};
    const uint32_t header = in.read(32);
    const bool mpeg1 = (header >> 19) & 1;
    const uint32_t layer = (header >> 17) & 3;
    const bool crcPresent = ((header >> 16) & 1) == 0;
    const uint32_t bitRateIndex = (header >> 12) & 0xF;
    const uint32_t rateIndex = (header >> 10) & 3;
    const uint32_t mode = (header >> 6) & 3;
    const uint32_t modeExtension = (header >> 4) & 3;
    if ((header >> 20) != 0xFFF || !mpeg1 || layer != 2 || rateIndex != 1 || bitRateIndex == 0 || bitRateIndex == 15)
        return {};
    if (crcPresent)
        in.read(16);

    const int channels = mode == ModeSingleChannel ? 1 : 2;
    const uint32_t perChannel = Layer2BitRateKbps[bitRateIndex] / uint32_t(channels);
    const Layer2AllocationShape &shape = perChannel <= 48 ? Layer2AllocationNarrow : Layer2AllocationWide;
    const int bound = mode == ModeJointStereo ? int(4 + 4 * modeExtension) : shape.sblimit;

    int allocation[2][MaxSubbands] = {};
    for (int sb = 0; sb < shape.sblimit; ++sb) {
        const int bits = shape.nbal[sb];
        for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
            if (!in.has(size_t(bits)))
                return {};
            allocation[ch][sb] = int(in.read(size_t(bits)));
        }
        if (sb >= bound)
            allocation[1][sb] = allocation[0][sb];
    }
    int selection[2][MaxSubbands] = {};
    for (int sb = 0; sb < shape.sblimit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0)
                continue;
            if (!in.has(2))
                return {};
            selection[ch][sb] = int(in.read(2));
        }
    }

    // Only the three most significant bits of each 6-bit scale factor are protected.
    static const int scalefactorsOf[4] = {3, 2, 1, 2};
    std::vector<uint8_t> crcs;
    uint8_t crc = 0;
    size_t group = 0;
    for (int sb = 0; sb < shape.sblimit && group < groups; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0)
                continue;
            for (int i = 0; i < scalefactorsOf[selection[ch][sb]]; ++i) {
                if (!in.has(6))
                    return {};
                crc8Update(crc, in.read(6) >> 3, 3);
            }
        }
        if (sb == int(ScfCrcGroupEnd[group]) || sb == shape.sblimit - 1) {
            crcs.push_back(crc);
            crc = 0;
            ++group;
        }
    }
    crcs.resize(groups, 0);
    return crcs;
}

} // namespace ZOZ::EnsembleGen
