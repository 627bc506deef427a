// High-frequency generation by copy-up: QMF bands of the decoded low band are patched
// into the SBR range and whitened by a second-order linear predictor whose strength
// follows the inverse-filtering mode of each noise band.
#ifndef SBR_LPP_H
#define SBR_LPP_H

#include <stdint.h>

#define SBR_MAX_PATCHES 6
#define SBR_INVF_BORDERS 10
#define SBR_MAX_INVF_BANDS 6
#define SBR_LPP_MAX_OVERLAP 12
// Filter-state rows: two prediction-order samples and the overlap slots.
#define SBR_LPP_STATE_ROWS (2 + SBR_LPP_MAX_OVERLAP)
#define SBR_LPP_LOW_BANDS 32
#define SBR_QMF_BANDS 64

// Result of the set-up for a configuration the generator cannot patch.
#define SBR_LPP_UNSUPPORTED 6

#ifdef __cplusplus
extern "C" {
#endif

// One patch: QMF bands [patchSourceFirst, patchSourceEnd) copied to patchTargetFirst on.
typedef struct SbrPatch {
    uint8_t patchSourceFirst;
    uint8_t patchSourceEnd;
    uint8_t patchGuardFirst; // first target band, for the limiter band table
    uint8_t patchTargetFirst;
    uint8_t patchTargetShift; // target minus source, always even
    uint8_t patchWidth;
} SbrPatch;

// Per SBR element, shared by its channels and built by channel 0.
typedef struct SbrTransposerConfig {
    uint8_t slotCount; // QMF slots of a frame
    uint8_t patchCount;
    uint8_t patchingLowestSource;
    uint8_t patchingSourceLimit;
    uint8_t inverseFilterBorders[SBR_INVF_BORDERS]; // upper border of each noise band, then 255
    SbrPatch patches[SBR_MAX_PATCHES];
    int32_t whiteningOff, whiteningTransition, whiteningLow, whiteningMid, whiteningHigh; // Q31
    uint8_t overlap; // slots of the previous frame processed again
} SbrTransposerConfig;

// Block exponents of a channel's QMF slots (owned by the channel driver).
typedef struct SbrQmfScaling {
    int lowBandExponent;     // the frame's own low-band slots
    int overlapLowExponent;  // the overlap slots taken from the previous frame
    int highBandExponent;    // the generated high band
    int overlapHighExponent;
} SbrQmfScaling;

// Per channel.
typedef struct SbrLppTransposer {
    SbrTransposerConfig *settings;
    int32_t previousChirpFactors[SBR_MAX_INVF_BANDS]; // Q31
    // History samples of the low bands before the frame's first processed slot, kept
    // by the channel driver from the last slots of each frame.
    int32_t lpcStateReal[SBR_LPP_STATE_ROWS][SBR_LPP_LOW_BANDS];
    int32_t lpcStateImag[SBR_LPP_STATE_ROWS][SBR_LPP_LOW_BANDS];
} SbrLppTransposer;

// Links the element's settings to the channel's generator; channel 0 builds them
// (SbrDec_LppReset). timeSlots must be 15 or 16, else SBR_LPP_UNSUPPORTED.
int SbrDec_LppCreate(SbrLppTransposer *lpp, SbrTransposerConfig *settings, int highBandStart,
                     const uint8_t *masterTable, int masterCount, int usb, int timeSlots, int slotCount,
                     const uint8_t *noiseBandTable, int noiseBandCount, uint32_t fs, int channel, int overlap);

// Builds the patches, the inverse-filtering borders and the whitening factors. 0, or
// SBR_LPP_UNSUPPORTED for a too low start band, an empty first patch in the 64-slot
// case or more than six patches.
int SbrDec_LppReset(SbrLppTransposer *lpp, int highBandStart, const uint8_t *masterTable, int masterCount,
                    const uint8_t *noiseBandTable, int noiseBandCount, int usb, uint32_t fs);

// The frame's chirp factor per inverse-filtering band from the modes of this and the
// previous frame and the previous factors.
void SbrDec_LppChirpFactors(const SbrLppTransposer *lpp, int invfBandCount, const uint8_t *invfModes,
                            const uint8_t *prevInvfModes, int32_t *chirpFactors);

// Flattening gains (amplitude, as pairs) of the bandCount lowest bands: the inverse of a
// cubic fit of their levels in dB over the slots [startSample, stopSample), slots before
// overlap counting with overlapExponent, the others with lowBandExponent (a sample x is
// worth x · 2^-exponent). Fewer than five bands are flattened each on its own.
void SbrDec_PreFlatteningGains(int32_t *const *qmfReal, int32_t *const *qmfImag, int bandCount, int startSample,
                               int stopSample, int overlap, int overlapExponent, int lowBandExponent, int32_t *gain,
                               int *gainExponent);

// One frame: patches and whitens the high band of slots [firstSlotOffset·timeStep,
// slotCount + lastSlotOffset·timeStep) in place. qmfImag and the imaginary state are
// unused in real mode, which writes aliasDegree (64 × Q31) instead. preFlatten (complex
// mode only) flattens the kMaster0 lowest bands' spectral shape in the patches.
void SbrDec_LppTranspose(SbrLppTransposer *lpp, SbrQmfScaling *scale, int32_t **qmfReal, int32_t *aliasDegree,
                         int32_t **qmfImag, int realMode, int preFlatten, int kMaster0, int timeStep, int firstSlotOffset,
                         int lastSlotOffset, int invfBandCount, const uint8_t *invfModes,
                         const uint8_t *prevInvfModes);

#ifdef __cplusplus
}
#endif

#endif
