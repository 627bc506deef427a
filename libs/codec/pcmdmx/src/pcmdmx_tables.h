// Gain tables of the downmix (Q15 mantissas, 32768 = 1.0).
#pragma once

#include <cstdint>

namespace PcmDmxTables {

struct Gain
{
    int16_t mantissa;
    int8_t exponent; // value = mantissa * 2^exponent / 32768
};

// Mix levels by 3-bit index: 0, -1.5, -3, -4.5, -6, -7.5, -9 dB and off.
extern const Gain mixLevel[8];
// Level C by 4-bit index: +10, +6, +4.5, +3, +1.5, 0, -1.5, -3, -4.5, -6, -10, -15,
// -20, -30, -40 dB and off.
extern const Gain levelC[16];
// Matrix mixdown by its 2-bit index: surround gain alpha, and the normalisations
// of plain stereo, surround-compatible stereo and mono.
extern const int16_t matrixAlpha[4];
extern const int16_t matrixNormLoRo[4];
extern const int16_t matrixNormLtRt[4];
extern const int16_t matrixNormMono[4];

constexpr int16_t MinusThreeDb = 23167;  // 0.7071 as a mix level
constexpr int16_t InvSqrt2 = 23170;      // 1/sqrt(2)
constexpr int16_t Half = 16384;

inline double value(Gain g)
{
    return static_cast<double>(g.mantissa) * static_cast<double>(1 << g.exponent) / 32768.0;
}

} // namespace PcmDmxTables
