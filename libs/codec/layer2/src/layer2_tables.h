// Constant tables of MPEG-1 and MPEG-2 (low sampling frequency) Audio Layer II,
// transcribed from ISO/IEC 11172-3 and ISO/IEC 13818-3 under the names those
// standards use.
#pragma once

#include <array>
#include <cstdint>

// The bit rates by bitrate_index are MpegAudio_Layer2_bitrate_index of the
// codec toolbox (MpegAudio_tables.h), shared with the DAB+ parser.
namespace Layer2Tables {

// Sampling frequency in Hz by [version index * 4 + sampling_frequency index];
// version index 0 is MPEG-1, 1 is MPEG-2 low sampling frequency; index 3 is reserved (0).
extern const int32_t samplingFrequency[8];

// Samples per frame by [version index][layer - 1].
extern const int16_t samplesPerFrame[2][3];

// Slot size in bits by [layer - 1].
extern const int8_t slotBits[3];

// One bit-allocation table: per sub-band, nbal (the number of allocation bits)
// followed by the number of quantisation steps for allocation codes 1..15
// (0 where the table has no entry). Sub-bands at and above sblimit are all 0.
struct AllocationTable
{
    uint8_t sblimit;
    uint16_t rows[32][16];
};

// ISO/IEC 11172-3 Tables 3-B.2a, 3-B.2b, 3-B.2c and 3-B.2d.
extern const AllocationTable table3B2a;
extern const AllocationTable table3B2b;
extern const AllocationTable table3B2c;
extern const AllocationTable table3B2d;
// ISO/IEC 13818-3 Table B.1, the Layer II table of the low sampling frequencies.
extern const AllocationTable tableLsf;

// Which of the MPEG-1 tables applies, by [channels - 1][sampling_frequency index]
// [bitrate_index]: 0..3 for tables a..d, NotAllowed for a combination that the
// standard does not permit.
constexpr uint8_t NotAllowed = 15;
extern const uint8_t tableChoice[2][3][16];

// Scale factors 2^(1 - i/3) of Table 3-B.1 in Q30, entry 0 saturated to 0x7FFFFFFF;
// entry 63 (not a valid index) is 0.
extern const std::array<int32_t, 64> scalefactor;

// Requantisation constants C and D of Table 3-B.4 in Q30, by the index of the
// number of steps: 3, 5, 7, 9, 15, 31, 63, ..., 65535 -> 0..16.
extern const std::array<int32_t, 17> requantC;
extern const std::array<int32_t, 17> requantD;

// n for a count of 2^n - 1 steps (n = 2..16), else 0.
inline int ungroupedBits(int steps)
{
    const unsigned next = static_cast<unsigned>(steps) + 1u;
    if (steps < 3 || steps > 65535 || (next & (next - 1)) != 0)
        return 0;
    return __builtin_ctz(next);
}

// Index 0..16 into requantC/requantD for a number of quantisation steps; -1 when unknown.
inline int stepsIndex(int steps)
{
    switch (steps) {
    case 3: return 0;
    case 5: return 1;
    case 7: return 2;
    case 9: return 3;
    default: break;
    }
    // 15, 31, ..., 65535 -> 4..16
    const int n = ungroupedBits(steps);
    return n >= 4 ? n : -1;
}

// Bits of one codeword for a number of steps: 5, 7 and 10 for the grouped 3, 5
// and 9 steps, n for 2^n - 1 steps; 0 for any other count.
inline int codewordBits(int steps)
{
    switch (steps) {
    case 3: return 5;
    case 5: return 7;
    case 9: return 10;
    default: return ungroupedBits(steps);
    }
}

// Whether three samples share one codeword (3, 5 and 9 steps).
inline bool isGrouped(int steps)
{
    return steps == 3 || steps == 5 || steps == 9;
}

// Last sub-band of each scale-factor CRC group of the DAB tail, by version index.
extern const uint8_t scfCrcGroupEnd[2][4];

// Synthesis window D[i] of Table 3-B.3 in Q30, i = 0..511.
extern const std::array<int32_t, 512> synthesisWindow;

} // namespace Layer2Tables
