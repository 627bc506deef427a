// The spectral tools of the AAC core and the frequency-domain synthesis: inverse
// quantisation into block-floating lines (Q31 mantissas, one exponent per window and
// band), mid/side and intensity stereo, noise substitution, the per-window block
// exponent, TNS, and the inverse MDCT with overlap-add.
#pragma once

#include "aac_channel.h"

#include <cstdint>

// One channel's scaled spectrum.
struct AacDecSpectrum
{
    int32_t lines[1024];       // window w starts at w * granule length
    int16_t bandExponent[8][64]; // per window and band
    int16_t windowExponent[8]; // per window after the block exponent
};

// Returns 0 or 0x4002 (a quantised magnitude above 8191).
int AacDec_DequantizeSpectrum(const AacDecChannelData *ch, const AacSamplingRateInfo *sr, uint32_t granule,
                              AacDecSpectrum *out);
void AacDec_ApplyJointStereo(const AacDecElement *element, AacDecSpectrum *left, AacDecSpectrum *right,
                             const AacSamplingRateInfo *sr, uint32_t granule);
void AacDec_ApplyIntensityStereo(const AacDecElement *element, AacDecSpectrum *left, AacDecSpectrum *right,
                                 const AacSamplingRateInfo *sr, uint32_t granule);
void AacDec_ScaleSpectrum(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr,
                          uint32_t granule);
// Seeds kept per window and band (window * 16 + band) for the pair's second channel.
constexpr int AacPnsBandSeeds = 128;
// seed: the decoder's running noise seed. bandSeed (AacPnsBandSeeds entries, or null)
// keeps each band's starting seed; a channel above 0 whose band is flagged in
// correlated (per group * 16 + band, or null) replays it instead.
void AacDec_ApplyPns(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr, uint32_t granule,
                     uint32_t *seed, uint32_t *bandSeed = nullptr, const uint8_t *correlated = nullptr,
                     int channelIndex = 0);
void AacDec_ApplyTns(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr, uint32_t granule);

// Decodes the element's channels from quantised lines to scaled spectra. Returns 0
// or 0x4002.
int AacDec_DecodeChannelElement(const AacDecElement *element, AacDecSpectrum *spectra[2],
                                const AacSamplingRateInfo *sr, uint32_t frameLength, uint32_t *seed);

void AacDec_InitSynthesis(AacDecSynthesisState *state);
// Inverse MDCT with overlap-add of one frame into frameLength samples (the frame's
// samples shifted right by 6, saturated).
void AacDec_SynthesizeChannel(AacDecSynthesisState *state, const AacDecIcsInfo *ics, AacDecSpectrum *s,
                              int32_t *out, uint32_t frameLength);
