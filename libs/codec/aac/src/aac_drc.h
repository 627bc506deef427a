// Dynamic range control and loudness normalisation of the AAC core: the payloads
// noted while the elements are read (fill element dynamic range info, ancillary
// data heavy compression) are parsed after the block, handed to the channels,
// and turned into band gains that scale each channel's spectrum.
#pragma once

#include "RezTools.h"
#include "SbrDec.h"

#include <cstdint>

struct AacDecSpectrum;

constexpr int AacDrcMaxFillPayloads = 9;
constexpr int AacDrcMaxBands = 16;
// A gain factor of 127, in force (Q31 0.5 = full strength).
constexpr int32_t AacDrcFull = 0x3FFFFFFC;

// What a channel received last.
struct AacDecDrcChannel
{
    int32_t frames;                       // since the last data
    uint8_t bandCount;                    // 1..16
    uint16_t bandTop[AacDrcMaxBands];     // in units of 4 lines; 255 = whole spectrum
    uint8_t interpolation;
    uint8_t bandValue[AacDrcMaxBands];    // bit 7 sign (cut), bits 0-6 value
    uint8_t type;                         // 0 none, 1 dynamic range info, 2 heavy compression
};

struct AacDecDrc
{
    int32_t cutFactor, boostFactor;       // Q31, value x 8454660
    int32_t heavyEnabled;
    int32_t effectiveCut, effectiveBoost;
    int8_t targetLevel;                   // 0.25 dB below full scale; negative: off
    uint8_t effectiveHeavy;
    int32_t expiryFrames;                 // 0: never
    uint8_t lateProcessing;
    uint8_t normalise;
    int32_t defaultPresentation;
    int32_t encoderTargetLevel;
    uint8_t active;
    uint8_t changed;
    int32_t downmixChannels;
    int32_t lastChannelCount;
    int32_t fillPayloads;                 // noted this frame
    uint8_t programmeReferenceLevel;
    uint8_t levelReceived;
    int32_t ageCounter;
    int8_t presentationByte;              // -1: none
    uint8_t dataStreamNoted;
    int64_t dataStreamPosition;
    int64_t fillPosition[AacDrcMaxFillPayloads]; // bit positions in the transport buffer
    int32_t bypass;
};

void AacDec_DrcInit(AacDecDrc *drc);
// 0, 0x200A for an unknown id or a value out of range, 0x2001 for a null record.
int AacDec_DrcSetParam(AacDecDrc *drc, int32_t id, int32_t value);
void AacDec_DrcResetChannel(AacDecDrcChannel *channel);

// Parses the noted payloads at their positions (the stream is left where it was),
// hands them to the channels (given in stream order) and updates the gains.
// Positive when gains apply; 0 with late processing; -1 for a null record.
int AacDec_DrcPrepare(AacDecDrc *drc, RezBitStream *bs, AacDecDrcChannel *const *channels, int programTag,
                      int channelCount);
// The same after the channel pass, when late processing is set; else 0.
int AacDec_DrcFinish(AacDecDrc *drc, RezBitStream *bs, AacDecDrcChannel *const *channels, int programTag,
                     int channelCount);

// Scales one channel's spectrum by its band gains, or hands them to SBR when SBR
// runs. *gainWord holds an exponent on entry (at most 32) and receives the
// normalisation gain at that exponent.
void AacDec_DrcApply(AacDecDrc *drc, SbrDecHandle sbr, AacDecSpectrum *spectrum, AacDecDrcChannel *channel,
                     int32_t *gainWord, int channelIndex, uint32_t frameLength, bool eightShort, uint8_t windowSequence,
                     bool sbrEnabled);

// The presentation byte (-1 none) and the received programme reference level (255 none).
void AacDec_DrcGetInfo(const AacDecDrc *drc, int8_t *presentation, uint8_t *referenceLevel);
