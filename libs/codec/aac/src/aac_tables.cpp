#include "aac_tables.h"

namespace AacTables {

const uint32_t samplingFrequency[32] = {
    96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350, // 0..12
    0, 0,                                                                                     // 13, 14
    57600, 51200, 40000, 38400, 34150, 28800, 25600, 20000, 19200, 17075, 14400, 12800, 9600, // 15..27
    0, 0, 0, 0,                                                                               // 28..31
};

// Configuration 0 carries its layout in a program config element (0 here); 13 has
// 22 coded channels; 8..10 and 15 are reserved.
const uint8_t adtsChannelCount[16] = {0, 1, 2, 3, 4, 5, 5, 7, 0, 0, 0, 6, 7, 22, 7, 0};

const uint8_t channelsOfConfiguration[15] = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 7, 8, 0, 8};

const int8_t elementListOfConfiguration[15][MaxDefaultElements] = {
    {7},                     // 0: program config element
    {0, 8, 7},               // 1: C
    {1, 8, 7},               // 2: L R
    {0, 1, 8, 7},            // 3: C, L R
    {0, 1, 0, 8, 7},         // 4: C, L R, back C
    {0, 1, 1, 8, 7},         // 5: C, L R, Ls Rs
    {0, 1, 1, 3, 8, 7},      // 6: 5.1
    {0, 1, 1, 1, 3, 8, 7},   // 7: 7.1 front
    {7}, {7}, {7},           // 8..10: not supported
    {0, 1, 1, 0, 3, 8, 7},   // 11: 6.1
    {0, 1, 1, 1, 3, 8, 7},   // 12: 7.1 back
    {7},                     // 13: not supported
    {0, 1, 1, 3, 1, 8, 7},   // 14: 7.1 top front
};

const int8_t drmAacRateIndex[8] = {11, 9, 8, 6, -1, 3, -1, -1};
const uint32_t drmUsacRate[8] = {9600, 12000, 16000, 19200, 24000, 32000, 38400, 48000};

} // namespace AacTables
