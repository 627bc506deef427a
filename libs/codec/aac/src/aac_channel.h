// Reading of single-channel, channel-pair and low-frequency elements of an AAC
// raw data block: individual channel stream information, sections, scale factors
// (with intensity positions and noise energies), pulse, TNS and mid/side side data
// and the quantised spectrum.
#pragma once

#include "aac_core.h"

#include <cstdint>

// Element results.
enum : int {
    AacElementSyntaxError = 0x4002,
    AacElementBoundsError = 0x4004,
    AacElementCodebookError = 0x4006,
    AacElementReservedBit = 0x4007,
    AacElementGainControl = 0x400A,
    AacElementTnsOrder = 0x400C,
};

enum : uint8_t {
    AacOnlyLong = 0,
    AacLongStart = 1,
    AacEightShort = 2,
    AacLongStop = 3,
};

enum : uint8_t {
    AacZeroCodebook = 0,
    AacEscapeCodebook = 11,
    AacReservedCodebook = 12,
    AacNoiseCodebook = 13,
    AacIntensityOutOfPhase = 14,
    AacIntensityInPhase = 15,
};

struct AacDecIcsInfo
{
    uint8_t windowGroupLength[8]; // windows in each group
    uint8_t numWindowGroups;
    uint8_t valid;                // 1 once read completely
    uint8_t windowShape;          // 0 sine, 1 Kaiser-Bessel derived
    uint32_t windowSequence;
    uint8_t maxSfb;
    uint8_t commonMaxSfb;         // larger maxSfb of a pair
    uint8_t scaleFactorGrouping;  // 7 bits
    uint8_t totalSfb;             // bands of the window type
};

struct AacDecPulseData
{
    uint8_t present;
    uint8_t numberPulse; // pulses - 1
    uint8_t startSfb;
    uint8_t offset[4];
    uint8_t amp[4];
};

constexpr int AacTnsMaxOrder = 20;

struct AacDecTnsFilter
{
    uint8_t top;
    uint8_t bottom;
    uint8_t order;
    uint8_t resolution;                   // 3 or 4 coefficient bits before compression
    int8_t direction;                     // +1 upwards, -1 downwards
    int8_t coefficient[AacTnsMaxOrder];   // quantised, sign-extended
};

struct AacDecTnsData
{
    AacDecTnsFilter filter[8][3]; // per window, up to 3 filters (1 for short windows)
    uint8_t nFilt[8];
    uint8_t present;
    uint8_t valid;
    uint8_t active;
};

// Mid/side side data of a channel pair.
struct AacDecJointStereo
{
    uint8_t msMaskPresent; // 0 none, 1 per band, 2 all bands
    uint8_t msUsed[64];    // per band, bit g for window group g
};

// Index of band b of group g in the per-band arrays: rows of 16 for short windows,
// one row of up to 64 bands for long windows.
inline int aacBandIndex(int group, int band)
{
    return group * 16 + band;
}

// What the parser reads of one channel.
struct AacDecChannelData
{
    AacDecIcsInfo ics;
    uint8_t globalGain;
    uint8_t commonWindow;
    int16_t scaleFactor[128];  // scale factor, intensity position or noise energy per group and band
    uint8_t codebook[128];
    uint8_t noiseUsed[128];    // 1 for noise-substituted bands
    AacDecPulseData pulse;
    AacDecTnsData tns;
    int32_t quantized[1024];   // quantised lines; window w starts at w * 128 for short windows
};

// One element's channels as the raw data block hands them over.
struct AacDecElement
{
    AacDecChannelData *channel[2];
    int channelCount;          // 1 or 2
    uint8_t elementTag;
    uint8_t commonWindow;
    AacDecJointStereo stereo;
};

// Element flags this parser follows.
constexpr uint32_t AacElementCoupling = 0x1;
constexpr uint32_t AacElementIsLfe = 0x2000;

int AacDec_ReadIcsInfo(RezBitStream *bs, AacDecIcsInfo *ics, const AacSamplingRateInfo *sr, uint32_t flags);
int AacDec_ReadSectionData(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr, uint32_t flags);
int AacDec_ReadScaleFactors(RezBitStream *bs, AacDecChannelData *ch, uint32_t flags);
int AacDec_ReadPulseData(RezBitStream *bs, AacDecPulseData *pulse, const AacDecIcsInfo *ics,
                         const int16_t *bandOffsets, uint32_t frameLength);
void AacDec_ApplyPulseData(const AacDecPulseData *pulse, const int16_t *bandOffsets, int32_t *lines);
int AacDec_ReadTnsPresent(RezBitStream *bs, AacDecTnsData *tns);
int AacDec_ReadTnsData(RezBitStream *bs, AacDecTnsData *tns, const AacDecIcsInfo *ics, uint32_t flags);
void AacDec_ClearTnsData(AacDecTnsData *tns);
int AacDec_ReadStereoData(RezBitStream *bs, AacDecJointStereo *stereo, const AacDecIcsInfo *ics);
int AacDec_ReadSpectralData(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr,
                            uint32_t frameLength);

// Reads a single-channel or low-frequency element (one channel) or a channel pair
// (two) of the AAC syntax, from the element instance tag on. Results: 0, 0x2003
// (no band tables), or an element error above.
// The element's syntax is the toolbox's list for the object type; tp (or null) takes
// the error check regions that the list marks.
int AacDec_ReadChannelElement(RezBitStream *bs, AacDecElement *element, const AacSamplingRateInfo *sr,
                              uint32_t flags, uint32_t elFlags, uint32_t frameLength, uint32_t aot = 2,
                              TpDecHandle tp = nullptr);

// Reads a coupling channel element from the element instance tag on: its header, its
// one channel stream into ch, and its gain element lists (read and dropped). Results
// as AacDec_ReadChannelElement.
int AacDec_ReadCouplingElement(RezBitStream *bs, AacDecChannelData *ch, const AacSamplingRateInfo *sr,
                               uint32_t flags, uint32_t frameLength, uint32_t aot = 2, TpDecHandle tp = nullptr);
