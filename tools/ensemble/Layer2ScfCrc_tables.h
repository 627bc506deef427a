// Layer II tables the scale-factor CRC needs (ISO/IEC 11172-3, EN 300 401).
#pragma once

#include <cstdint>

namespace ZOZ::EnsembleGen {

constexpr int MaxSubbands = 32;
constexpr uint32_t ModeJointStereo = 1;
constexpr uint32_t ModeSingleChannel = 3;

// Layer II bitrate_index of MPEG-1 (ISO/IEC 11172-3): index -> kbit/s; 0 free format, 15 forbidden.
extern const uint16_t Layer2BitRateKbps[16];

// One of the allocation tables of ISO/IEC 11172-3 Table B.2: the sub-bands coded
// and the bits of each sub-band's allocation field (nbal).
struct Layer2AllocationShape
{
    int sblimit;
    uint8_t nbal[MaxSubbands];
};
// Table B.2a: 48 kHz at 56 kbit/s per channel and above.
extern const Layer2AllocationShape Layer2AllocationWide;
// Table B.2c: 48 kHz at 32 and 48 kbit/s per channel.
extern const Layer2AllocationShape Layer2AllocationNarrow;

// EN 300 401: the last sub-band of each ScF-CRC group (index = group).
extern const uint8_t ScfCrcGroupEnd[4];

} // namespace ZOZ::EnsembleGen
