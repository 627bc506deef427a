#pragma once

#include <cstdint>

namespace ZOZ {

// The additive constants T[1..64] of the MD5 steps, zero-based.
extern const uint32_t Md5SineTable[64];
// The per-step rotation amounts of MD5, by pass and step modulo 4.
extern const uint8_t Md5ShiftTable[4][4];

} // namespace ZOZ
