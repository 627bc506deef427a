// Envelope prediction from the low band: per prediction slot the levels (dB) of three
// groups of bands just below the SBR range, smoothed over time, are mapped by the
// frame's coefficient set to the energies of 8 or 6 high bands, which then replace the
// transmitted envelope.
#ifndef SBR_PVC_H
#define SBR_PVC_H

#include <stdint.h>

#define SBR_PVC_SLOTS 16
#define SBR_PVC_MAX_BANDS 8
#define SBR_PVC_GROUPS 3
#define SBR_PVC_SETS 3
#define SBR_PVC_IDS 128
#define SBR_PVC_WINDOWS 4
// Result of SbrDec_PvcInit for a mode or smoothing length the predictor does not know.
#define SBR_PVC_INVALID 1

#ifdef __cplusplus
extern "C" {
#endif

// The predictor's coefficient tables of one mode, which come from the USAC standard:
// coefficients[set][group][band] (the real coefficient is the value times
// 2^(exponent of the group - 6)) and per prediction id a constant row (the value times
// 2^(constant exponent - 7) dB). The decoder does not hold them yet; the caller passes
// what it has.
typedef struct SbrPvcModeTables {
    const int8_t (*coefficients)[SBR_PVC_GROUPS][SBR_PVC_MAX_BANDS];
    const int8_t (*constants)[SBR_PVC_MAX_BANDS];
} SbrPvcModeTables;

// Both modes' tables and the smoothing windows for the lengths 16, 12, 4 and 3 (Q15,
// newest level first).
typedef struct SbrPvcTables {
    SbrPvcModeTables modes[2];
    const int16_t *windows[SBR_PVC_WINDOWS];
} SbrPvcTables;

typedef struct SbrPvcState {
    uint8_t mode; // 0 off, 1 (8 bands), 2 (6 bands)
    uint8_t startBand;
    uint8_t previousMode;
    uint8_t previousStartBand;
    uint8_t smoothingLength;
    const int16_t *window;
    uint8_t firstSlot; // first prediction slot of the frame
    uint8_t timeStep;  // QMF slots per prediction slot
    uint8_t historyCount;    // valid entries of the ring (0..15)
    uint8_t historyPosition; // where the next levels go (0..15)
    const int8_t (*coefficients)[SBR_PVC_GROUPS][SBR_PVC_MAX_BANDS];
    const int8_t (*constants)[SBR_PVC_MAX_BANDS];
    uint8_t thresholds[2];
    const int8_t *exponents; // per group, then for the constant row
    int groupBorders[SBR_PVC_GROUPS + 1]; // absolute QMF bands, may start below 0
    uint8_t bandCount;
    uint8_t bandBorders[SBR_PVC_MAX_BANDS + 1]; // relative to the start band
    uint8_t ids[SBR_PVC_SLOTS];
    int32_t energy[SBR_PVC_SLOTS][SBR_PVC_MAX_BANDS]; // predicted, per slot one exponent
    int8_t energyExponent[SBR_PVC_SLOTS];
    int8_t largestExponent;         // of the frame
    int8_t previousLargestExponent; // of the previous frame that predicted
    int32_t history[SBR_PVC_SLOTS][SBR_PVC_GROUPS]; // levels in dB (Q24)
} SbrPvcState;

// Sets up one frame: mode 0 switches prediction off (0); a mode other than 0..2 or a
// smoothing length other than 3, 4, 12, 16 gives SBR_PVC_INVALID. Otherwise the bands,
// tables and window of the mode and r QMF slots per prediction slot, the frame's ids
// (one per prediction slot from firstSlot on), and the history kept when the previous
// frame predicted from the same start band, else restarted.
int SbrDec_PvcInit(SbrPvcState *pvc, const SbrPvcTables *tables, int mode, int smoothingLength, int r, int startBand,
                   int firstSlot, const uint8_t *ids);

// One prediction slot from the QMF rows; exponent is the slots' block exponent (a sample
// x is worth x · 2^-exponent).
void SbrDec_PvcPredictSlot(SbrPvcState *pvc, int32_t *const *qmfReal, int32_t *const *qmfImag, int slot,
                           int exponent);

// Every prediction slot of the frame from the first one on; QMF slots before
// firstCurrentSlot carry overlapExponent, the others currentExponent.
void SbrDec_PvcPredictFrame(SbrPvcState *pvc, int32_t *const *qmfReal, int32_t *const *qmfImag, int firstCurrentSlot,
                            int overlapExponent, int currentExponent);

// The frame is done: its mode and start band, and with prediction on its largest
// exponent, are what the next frame compares against.
void SbrDec_PvcEndFrame(SbrPvcState *pvc);

// Reference energies of one prediction slot for count QMF bands from the start band: each
// band gets its high band's energy, bands beyond the last border the last band's; all
// with the slot's exponent.
void SbrDec_PvcGetEnvelope(const SbrPvcState *pvc, int slot, int count, int32_t *energy, int8_t *exponent);

#ifdef __cplusplus
}
#endif

#endif
