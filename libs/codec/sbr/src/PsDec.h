// Parametric stereo: the mono QMF signal of a single-channel element becomes two
// channels, per band mixed from the signal and its decorrelated copy by the intensity
// difference (IID) and coherence (ICC) of the band's parameters.
#ifndef PS_DEC_H
#define PS_DEC_H

#include <stdint.h>

// QMF bands of a slot, hybrid bands (10 sub-bands of QMF bands 0..2, then bands 3..63),
// processing bands (groups of hybrid bands sharing one mixing matrix) and parameter
// bands.
#define PS_QMF_BANDS 64
#define PS_HYBRID_BANDS 71
#define PS_PROCESSING_BANDS 22
#define PS_PARAMETER_BANDS 20

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PsDecInstance *PsDecHandle;

// Creates the decoder for frames of 960 or 1024 core samples (30 or 32 QMF slots) when
// *handle is null, else re-initialises it in place. 0, or -1 for a null pointer, another
// frame length, no memory or a failed decorrelator set-up (a new instance is then freed
// and *handle cleared).
int PsDec_Create(PsDecHandle *handle, int frameLength);

// Frees the decoder and clears *handle. 0, or -1 for a null handle.
int PsDec_Destroy(PsDecHandle *handle);

// QMF slots per frame.
int PsDec_TimeSlots(PsDecHandle handle);

// Sets up the mixing of an envelope of `slots` slots from its 20 IID steps (-7..7, fine:
// -15..15) and ICC steps (0..7), both clamped to their range: the matrices move in equal
// steps from where they are to their targets, which they reach at the envelope's last slot.
void PsDec_SetupMixing(PsDecHandle handle, const int8_t *iid, const int8_t *icc, int fineIid, int slots);

// One QMF slot: the mono slot in re and im (64 bands, one exponent) becomes the left
// channel in place; the right channel goes to rightRe and rightIm. Both come out six slots
// late (the hybrid filters' delay). 0, or -1 for a null argument or a failed stage.
int PsDec_ApplySlot(PsDecHandle handle, int32_t *re, int32_t *im, int32_t *rightRe, int32_t *rightIm);

#ifdef __cplusplus
}
#endif

#endif
