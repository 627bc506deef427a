// The slot side of the envelope adjustment: one envelope's gains brought to common
// exponents and aligned with the smoothing state, then applied slot by slot to the
// generated high band with the gain and noise smoothing, the noise floor and the
// sinusoids.
#ifndef SBR_SLOT_ADJUSTER_H
#define SBR_SLOT_ADJUSTER_H

#include <stdint.h>

#include "SbrEnvelopeAdjuster.h"

// The noise sequence added to the high band: 512 complex entries (Q15). It is the SBR
// noise table of the MPEG-4 audio standard and belongs in tables/ under that name; the
// decoder does not hold it yet, so every caller passes the table it has.
#define SBR_NOISE_ENTRIES 512
typedef struct SbrNoiseEntry {
    int16_t re, im;
} SbrNoiseEntry;

// Smoothing ratios (Q15) of the first four slots of a smoothed envelope.
#define SBR_SMOOTHING_SLOTS 4

#ifdef __cplusplus
extern "C" {
#endif

// One envelope's levels ready for the slots: gains per band (mantissa and exponent, a
// band's exponent at least the envelope's largest), noise levels with one exponent, and
// the sinusoid amplitudes in sample words.
typedef struct SbrSlotGains {
    int32_t gain[SBR_MAX_ADJUSTED_BANDS];
    int8_t gainExponent[SBR_MAX_ADJUSTED_BANDS];
    int32_t noiseLevel[SBR_MAX_ADJUSTED_BANDS];
    int8_t noiseExponent;
    int32_t sineAmplitude[SBR_MAX_ADJUSTED_BANDS];
    uint8_t concealed; // the frame is concealed: no slot's gain above 1.0, smoothed or not
} SbrSlotGains;

// The flavour of the slots: complex samples, real samples only (low-power mode), or
// complex samples whose high band is shaped in time before the sinusoids go in.
enum { SBR_SLOTS_COMPLEX = 0, SBR_SLOTS_REAL = 1, SBR_SLOTS_INTER_TES = 2 };

// Brings the amplitudes of one envelope (bandCount bands) to common exponents, the gains'
// at least minimumExponent; after a reset the smoothing state takes these gains, else the
// state's exponents are aligned to them (the state keeps what its headroom allows, the
// current gain gives up the rest). frameError marks a concealed frame.
void SbrDec_PrepareSlotGains(SbrEnvelopeAdjuster *envCalc, const SbrBandGains *gains, int bandCount,
                             int minimumExponent, int frameError, SbrSlotGains *out);

// The smoothing filter's buffers shift to other exponents: per band the smoothed gain
// moves to gainExponent[k] (left as far as its headroom allows, the rest taken from the
// current gain, whose exponent grows by it).
void SbrDec_AlignFilterBuffer(SbrEnvelopeAdjuster *envCalc, SbrSlotGains *gains, int bandCount);

// One slot of complex samples (re, im point at QMF band 0 of the slot): each SBR band
// [kx, kx + bandCount) is multiplied by its gain, smoothed against the previous envelope
// with ratio (Q15, 0 = none), then gets its sinusoid or, unless noNoise, its noise
// entry. Advances the noise position and the sine phase.
void SbrDec_AdjustSlot(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im, int kx,
                       int bandCount, int ratio, int noNoise, const SbrNoiseEntry *noiseTable);

// As SbrDec_AdjustSlot without the sinusoids, which follow the temporal shaping
// (SbrDec_AddSlotSinusoids). Advances the noise position.
void SbrDec_AdjustSlotGainNoise(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im,
                                int kx, int bandCount, int ratio, int noNoise, const SbrNoiseEntry *noiseTable);

// The sinusoids of one slot at the current sine phase, which then advances.
void SbrDec_AddSlotSinusoids(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im,
                             int kx, int bandCount);

// One slot of real samples: gain, noise from the table's real parts, and sinusoids,
// whose quarter-period phases spill into the two neighbouring bands (0.00815 of the
// level; the lower neighbour with the sign the imaginary part would have in complex
// mode, the upper one with the opposite sign). Advances the noise position and the
// sine phase.
void SbrDec_AdjustSlotReal(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int kx,
                           int bandCount, int noNoise, const SbrNoiseEntry *noiseTable);

// One envelope over the slots [startSlot, stopSlot) of the rows qmfReal/qmfImag: the
// amplitudes brought to the slots (SbrDec_PrepareSlotGains), the slot adjuster of the
// flavour per slot, with smoothing over the first four slots when smoothingMode is 0 and
// the envelope adds noise (complex flavours only), the temporal shaping with
// interTesShape, and the gains kept as the next envelope's smoothing state. In a
// concealed frame (frameError) smoothing against a louder previous envelope does not
// lift a gain above 1.0.
void SbrDec_AdjustEnvelopeSlots(SbrEnvelopeAdjuster *envCalc, const SbrBandGains *gains, int32_t *const *qmfReal,
                                int32_t *const *qmfImag, int kx, int bandCount, int startSlot, int stopSlot,
                                int flavour, int noNoise, int smoothingMode, int interTesShape, int minimumExponent,
                                int frameError, const SbrNoiseEntry *noiseTable);

#ifdef __cplusplus
}
#endif

#endif
