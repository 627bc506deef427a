// Syntax element lists of the AAC channel element parser and the loudspeaker layouts.
#include "RezChannelElement_tables.h"

// Element ids as the channel element parser defines them; every list ends with 40, and
// a list ending in 39 continues with the second list for selector 0 or the third for 1.

// Object types 2, 5, 29.
static const uint32_t AacSingle[] = {31, 0, 2, 3, 8, 9, 10, 11, 12, 13, 17, 33, 40};
static const uint32_t AacPair[] = {31, 0, 1, 39};
static const uint32_t AacPairSeparate[] = {2, 3, 8, 9, 10, 11, 12, 13, 17, 37, 32, 2, 3, 8, 9, 10, 11, 12, 13, 17, 33, 34, 40};
static const uint32_t AacPairCommon[] = {3, 5, 2, 8, 9, 10, 11, 12, 13, 17, 37, 32, 2, 8, 9, 10, 11, 12, 13, 17, 33, 34, 40};
// The coupling channel element (element flag 0x1): header, one channel stream, gain lists.
static const uint32_t AacCoupling[] = {0, 29, 2, 3, 8, 9, 10, 11, 12, 13, 17, 30, 40};

// Object types 42 and 50: core mode chooses the frequency-domain or the linear-prediction
// stream; a pair reads both core modes, then the common window.
static const uint32_t UsacSingle[] = {19, 39};
static const uint32_t UsacSingleFrequency[] = {26, 2, 23, 3, 18, 12, 24, 25, 40};
static const uint32_t UsacSingleLpd[] = {21, 40};
static const uint32_t UsacPair[] = {19, 37, 19, 37, 26, 1, 39};
static const uint32_t UsacPairSeparate[] = {5, 27, 2, 23, 3, 18, 12, 24, 25, 37, 2, 23, 3, 18, 12, 24, 25, 40};
static const uint32_t UsacPairCommon[] = {3, 28, 5, 27, 2, 23, 18, 12, 24, 25, 37, 2, 23, 18, 12, 24, 25, 40};
static const uint32_t UsacLowFrequency[] = {2, 3, 18, 24, 40};

// Object types 143 to 146: error-resilient order, codeword-reordering side information
// before the spectral data.
static const uint32_t ErSingle[] = {0, 2, 3, 8, 9, 10, 11, 13, 15, 12, 17, 40};
static const uint32_t ErPair[] = {0, 1, 39};
static const uint32_t ErPairSeparate[] = {2, 3, 8, 9, 10, 11, 13, 15, 12, 17, 37, 2, 3, 8, 9, 10, 11, 13, 15, 12, 17, 40};
static const uint32_t ErPairCommon[] = {3, 5, 2, 8, 9, 10, 11, 13, 15, 12, 17, 37, 2, 8, 9, 10, 11, 13, 15, 12, 17, 40};

// Object type 256, the MPEG Surround residual: no tag; a pair always shares its window.
static const uint32_t ResidualSingle[] = {2, 3, 8, 9, 10, 11, 12, 13, 17, 40};
static const uint32_t ResidualPair[] = {3, 5, 2, 8, 9, 10, 11, 12, 13, 17, 37, 2, 8, 9, 10, 11, 12, 13, 17, 40};

const RezChannelElementSyntax RezTools_SyntaxAacMono = {{AacSingle, nullptr, nullptr}};
const RezChannelElementSyntax RezTools_SyntaxAacStereo = {{AacPair, AacPairSeparate, AacPairCommon}};
const RezChannelElementSyntax RezTools_SyntaxAacCoupling = {{AacCoupling, nullptr, nullptr}};
const RezChannelElementSyntax RezTools_SyntaxUsacMono = {{UsacSingle, UsacSingleFrequency, UsacSingleLpd}};
const RezChannelElementSyntax RezTools_SyntaxUsacStereo = {{UsacPair, UsacPairSeparate, UsacPairCommon}};
const RezChannelElementSyntax RezTools_SyntaxUsacLowFrequency = {{UsacLowFrequency, nullptr, nullptr}};
const RezChannelElementSyntax RezTools_SyntaxErMono = {{ErSingle, nullptr, nullptr}};
const RezChannelElementSyntax RezTools_SyntaxErStereo = {{ErPair, ErPairSeparate, ErPairCommon}};
const RezChannelElementSyntax RezTools_SyntaxResidualMono = {{ResidualSingle, nullptr, nullptr}};
const RezChannelElementSyntax RezTools_SyntaxResidualStereo = {{ResidualPair, nullptr, nullptr}};

// Loudspeaker positions, index 0..42: index, azimuth and elevation in degrees,
// low-frequency flag, screen-relative flag, four zero words, valid (1; -1 reserved).
const RezSpeakerPosition RezTools_SpeakerPositions[43] = {
    {0, 30, 0, 0, 0, {0, 0, 0, 0}, 1},     {1, -30, 0, 0, 0, {0, 0, 0, 0}, 1},
    {2, 0, 0, 0, 0, {0, 0, 0, 0}, 1},      {3, 0, -15, 1, 0, {0, 0, 0, 0}, 1},
    {4, 110, 0, 0, 0, {0, 0, 0, 0}, 1},    {5, -110, 0, 0, 0, {0, 0, 0, 0}, 1},
    {6, 22, 0, 0, 0, {0, 0, 0, 0}, 1},     {7, -22, 0, 0, 0, {0, 0, 0, 0}, 1},
    {8, 135, 0, 0, 0, {0, 0, 0, 0}, 1},    {9, -135, 0, 0, 0, {0, 0, 0, 0}, 1},
    {10, 180, 0, 0, 0, {0, 0, 0, 0}, 1},   {11, 0, 0, 0, 0, {0, 0, 0, 0}, -1},
    {12, 0, 0, 0, 0, {0, 0, 0, 0}, -1},    {13, 90, 0, 0, 0, {0, 0, 0, 0}, 1},
    {14, -90, 0, 0, 0, {0, 0, 0, 0}, 1},   {15, 60, 0, 0, 0, {0, 0, 0, 0}, 1},
    {16, -60, 0, 0, 0, {0, 0, 0, 0}, 1},   {17, 30, 35, 0, 0, {0, 0, 0, 0}, 1},
    {18, -30, 35, 0, 0, {0, 0, 0, 0}, 1},  {19, 0, 35, 0, 0, {0, 0, 0, 0}, 1},
    {20, 135, 35, 0, 0, {0, 0, 0, 0}, 1},  {21, -135, 35, 0, 0, {0, 0, 0, 0}, 1},
    {22, 180, 35, 0, 0, {0, 0, 0, 0}, 1},  {23, 90, 35, 0, 0, {0, 0, 0, 0}, 1},
    {24, -90, 35, 0, 0, {0, 0, 0, 0}, 1},  {25, 0, 90, 0, 0, {0, 0, 0, 0}, 1},
    {26, 45, -15, 1, 0, {0, 0, 0, 0}, 1},  {27, 45, -15, 0, 0, {0, 0, 0, 0}, 1},
    {28, -45, -15, 0, 0, {0, 0, 0, 0}, 1}, {29, 0, -15, 0, 0, {0, 0, 0, 0}, 1},
    {30, 110, 35, 0, 0, {0, 0, 0, 0}, 1},  {31, -110, 35, 0, 0, {0, 0, 0, 0}, 1},
    {32, 45, 35, 0, 0, {0, 0, 0, 0}, 1},   {33, -45, 35, 0, 0, {0, 0, 0, 0}, 1},
    {34, 45, 0, 0, 0, {0, 0, 0, 0}, 1},    {35, -45, 0, 0, 0, {0, 0, 0, 0}, 1},
    {36, -45, -15, 1, 0, {0, 0, 0, 0}, 1}, {37, 15, 0, 0, 1, {0, 0, 0, 0}, 1},
    {38, -15, 0, 0, 1, {0, 0, 0, 0}, 1},   {39, 30, 0, 0, 1, {0, 0, 0, 0}, 1},
    {40, -30, 0, 0, 1, {0, 0, 0, 0}, 1},   {41, 60, 35, 0, 0, {0, 0, 0, 0}, 1},
    {42, -60, 35, 0, 0, {0, 0, 0, 0}, 1},
};

// Loudspeaker layouts 1-7 and 9-20: the position index of each loudspeaker.
const RezSpeakerLayout RezTools_SpeakerLayouts[19] = {
    {1, 1, {2}},
    {2, 2, {0, 1}},
    {3, 3, {0, 1, 2}},
    {4, 4, {0, 1, 2, 10}},
    {5, 5, {0, 1, 2, 4, 5}},
    {6, 6, {0, 1, 2, 3, 4, 5}},
    {7, 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {9, 3, {0, 1, 10}},
    {10, 4, {0, 1, 4, 5}},
    {11, 7, {0, 1, 2, 3, 4, 5, 10}},
    {12, 8, {0, 1, 2, 3, 4, 5, 8, 9}},
    {13, 24, {0, 1, 2, 3, 8, 9, 6, 7, 10, 13, 14, 26, 17, 18, 19, 25, 20, 21, 22, 23, 24, 29, 27, 28}},
    {14, 8, {0, 1, 2, 3, 4, 5, 17, 18}},
    {15, 12, {0, 1, 2, 3, 4, 5, 26, 17, 18, 19, 30, 31}},
    {16, 10, {0, 1, 2, 3, 4, 5, 17, 18, 30, 31}},
    {17, 12, {0, 1, 2, 3, 4, 5, 17, 18, 19, 30, 31, 25}},
    {18, 14, {0, 1, 2, 3, 4, 5, 8, 9, 17, 18, 19, 30, 31, 25}},
    {19, 12, {0, 1, 2, 3, 13, 14, 8, 9, 17, 18, 20, 21}},
    {20, 14, {0, 1, 2, 3, 13, 14, 8, 9, 17, 18, 20, 21, 37, 38}},
};
