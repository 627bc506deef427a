// Constants of the custom QMF tables and the QMF resampler.
#include "RezQmfCustom_tables.h"

// Band count, offset A, scale S, angle step T (T = round((pi/32 - 2 pi / B) 2^28)).
const RezQmfCustomBands RezTools_QmfCustomBands[13] = {
    {8, 0x00000000, 0x00000000, static_cast<int32_t>(0xF501220Bu)},
    {12, 0x457E4B18, 0x5553EBC1, static_cast<int32_t>(0xF9317699u)},
    {20, 0x235C28F6, 0x33325D34, static_cast<int32_t>(0xFC8B53D8u)},
    {40, 0x09C71B48, 0x199923ED, static_cast<int32_t>(0xFF0EB9C6u)},
    {48, 0x057E4B18, 0x1554FD38, static_cast<int32_t>(0xFF79F56Eu)},
    {80, static_cast<int32_t>(0xFCF5C28Fu), 0x0CCC981C, 0x00506CBE},
    {96, static_cast<int32_t>(0xFAD3A06Du), 0x0AAA7ECB, 0x00860A92},
    {128, static_cast<int32_t>(0xF828F5C3u), 0x07FFDF21, 0x00C90FDB},
    {160, static_cast<int32_t>(0xF68F5C29u), 0x06664C1F, 0x00F1463A},
    {192, static_cast<int32_t>(0xF57E4B18u), 0x05553F71, 0x010C1524},
    {240, static_cast<int32_t>(0xF46D3A07u), 0x044432C3, 0x0126E40D},
    {256, static_cast<int32_t>(0xF428F5C3u), 0x03FFEF97, 0x012D97C8},
    {320, static_cast<int32_t>(0xF35C28F6u), 0x03332614, 0x0141B2F7},
};

// The curvature term adds at most a few units of 2^-16 of a coefficient step, below the
// rounding of the Q15 result, so a flat table serves as well as any other.
const int32_t RezTools_QmfCurvature[322] = {};

// Input rates to 44100 and 48000 Hz and the synthesis band count (output = input x B / 64).
const RezQmfResampleRate RezTools_QmfResampleRates[9] = {
    {8820, 9600, 320},   {11025, 12000, 256}, {11760, 12800, 240}, {14700, 16000, 192}, {17640, 19200, 160},
    {22050, 24000, 128}, {29400, 32000, 96},  {35280, 38400, 80},  {44100, 48000, 64},
};
