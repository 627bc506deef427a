// Concealment settings of an AAC decoder: the method, the fade lengths and the
// fade tables that a lost or damaged access unit is played out with.
#pragma once

#include <cstdint>

constexpr int AacConcealFactors = 32;
// An argument of AacDec_ConcealSetParams with this value leaves its field alone.
constexpr int32_t AacConcealKeep = 65534;

enum AacConcealMethod : int32_t {
    AacConcealNone = -1, // none chosen: a lost frame is silent, as with muting
    AacConcealMute = 0,
    AacConcealNoise = 1,
    AacConcealInterpolate = 2, // a single loss from both neighbours, one frame late
};

struct AacDecConcealParams
{
    int16_t fadeOutFactors[AacConcealFactors]; // Q15 gains
    int16_t fadeInFactors[AacConcealFactors];
    int32_t method;
    int32_t fadeOutFrames;     // 0..31
    int32_t fadeInFrames;      // 0..31
    int32_t muteReleaseFrames; // 0..63
    int32_t comfortNoiseLevel; // >= 0
};

void AacDec_ConcealInitParams(AacDecConcealParams *params);
// 0, 0x200A for a value out of range (nothing changes), 0x2001 for a null record.
int AacDec_ConcealSetParams(AacDecConcealParams *params, int32_t method, int32_t fadeOutFrames, int32_t fadeInFrames,
                            int32_t muteReleaseFrames, int32_t comfortNoiseLevel);
// Tables of 32 attenuations 0..255 in quarter decibels; either may be null, not both.
// 0, 0x200A (nothing changes), 0x2001 for a null record.
int AacDec_ConcealSetAttenuation(AacDecConcealParams *params, const int16_t *fadeOut, const int16_t *fadeIn);
// The method, -1 for a null record.
int32_t AacDec_ConcealGetMethod(const AacDecConcealParams *params);
// Frames of delay the method adds: 1 for interpolation, else 0 (0 for a null record).
int32_t AacDec_ConcealGetDelay(const AacDecConcealParams *params);
