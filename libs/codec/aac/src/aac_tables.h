// Constant tables of the AAC configuration and transport parsers.
#pragma once

#include <cstdint>

namespace AacTables {

// Sampling frequency in Hz by sampling-frequency index (4-bit field, or 5-bit for
// the unified speech and audio configuration). 0..12: the MPEG-4 audio rates from
// 96000 down to 7350 Hz; 13, 14: reserved (0); 15..27: the extended rates of the
// unified coding; 28..31: reserved (0).
extern const uint32_t samplingFrequency[32];

// ADTS buffer-fullness test: coded channels (without LFE) by ADTS channel
// configuration 0..15.
extern const uint8_t adtsChannelCount[16];

// Core channels by channel configuration 0..14; 0 = not a fixed layout (0 needs a
// program config element, 8, 9, 10 and 13 are not supported).
extern const uint8_t channelsOfConfiguration[15];

// Element ids of a channel configuration, in stream order, ending with the end id.
// Ids: 0 single channel, 1 channel pair, 3 low frequency, 8 extension position,
// 7 end. Rows without a layout (0, 8, 9, 10, 13) are empty (first entry 7, and
// channelsOfConfiguration is 0 for them).
constexpr int MaxDefaultElements = 7;
extern const int8_t elementListOfConfiguration[15][MaxDefaultElements];

// DRM SDC audio sampling-rate codes (3 bits) for the AAC coding: the sampling
// frequency index, or -1 where the code is not used with AAC.
extern const int8_t drmAacRateIndex[8];
// The same codes for the unified coding, in Hz.
extern const uint32_t drmUsacRate[8];

} // namespace AacTables
