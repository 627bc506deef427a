// Scale-factor band offset tables of MPEG-4 AAC (swb_offset_long_window and
// swb_offset_short_window per sampling rate), for 1024/128-line and 960/120-line
// frames. Each table lists the first spectral line of every band and ends with the
// line count of the window, so table[b + 1] - table[b] is the width of band b.
#pragma once

#include <cstdint>

namespace AacSfbTables {

// 1024-line long windows (index: band, value: first line).
extern const int16_t swb_offset_1024_96[42]; // 96000, 88200 Hz: 41 bands
extern const int16_t swb_offset_1024_64[48]; // 64000 Hz: 47 bands
extern const int16_t swb_offset_1024_48[50]; // 48000, 44100 Hz: 49 bands
extern const int16_t swb_offset_1024_32[52]; // 32000 Hz: 51 bands
extern const int16_t swb_offset_1024_24[48]; // 24000, 22050 Hz: 47 bands
extern const int16_t swb_offset_1024_16[44]; // 16000, 12000, 11025 Hz: 43 bands
extern const int16_t swb_offset_1024_8[41];  // 8000, 7350 Hz: 40 bands

// 128-line short windows.
extern const int16_t swb_offset_128_96[13]; // 96000 .. 64000 Hz: 12 bands
extern const int16_t swb_offset_128_48[15]; // 48000 .. 32000 Hz: 14 bands
extern const int16_t swb_offset_128_24[16]; // 24000, 22050 Hz: 15 bands
extern const int16_t swb_offset_128_16[16]; // 16000 .. 11025 Hz: 15 bands
extern const int16_t swb_offset_128_8[16];  // 8000, 7350 Hz: 15 bands

// 960-line long windows.
extern const int16_t swb_offset_960_96[41]; // 96000, 88200 Hz: 40 bands
extern const int16_t swb_offset_960_64[47]; // 64000 Hz: 46 bands
extern const int16_t swb_offset_960_48[50]; // 48000, 44100, 32000 Hz: 49 bands
extern const int16_t swb_offset_960_24[47]; // 24000, 22050 Hz: 46 bands
extern const int16_t swb_offset_960_16[43]; // 16000, 12000, 11025 Hz: 42 bands
extern const int16_t swb_offset_960_8[41];  // 8000, 7350 Hz: 40 bands

// 120-line short windows.
extern const int16_t swb_offset_120_96[13]; // 96000 .. 64000 Hz: 12 bands
extern const int16_t swb_offset_120_48[15]; // 48000 .. 32000 Hz: 14 bands
extern const int16_t swb_offset_120_24[16]; // 24000, 22050 Hz: 15 bands
extern const int16_t swb_offset_120_16[16]; // 16000 .. 11025 Hz: 15 bands
extern const int16_t swb_offset_120_8[16];  // 8000, 7350 Hz: 15 bands

} // namespace AacSfbTables
