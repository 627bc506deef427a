// Parametric stereo: the mono QMF signal of a single-channel element becomes two
// channels, per band mixed from the signal and its decorrelated copy by the intensity
// difference (IID) and coherence (ICC) of the band's parameters.
#ifndef PS_DEC_H
#define PS_DEC_H

#include <stdint.h>

#include "RezTools.h"

// QMF bands of a slot, hybrid bands (10 sub-bands of QMF bands 0..2, then bands 3..63),
// processing bands (groups of hybrid bands sharing one mixing matrix) and parameter
// bands.
#define PS_QMF_BANDS 64
#define PS_HYBRID_BANDS 71
#define PS_PROCESSING_BANDS 22
#define PS_PARAMETER_BANDS 20

// Slots the hybrid analysis is primed with before parametric stereo starts: the
// overlap slots of the SBR channel.
#define PS_PRIMING_SLOTS 6

// Envelopes a frame's data may carry, and the one the frame set-up may add.
#define PS_MAX_ENVELOPES 4
#define PS_MAX_FRAME_ENVELOPES 5
#define PS_MAX_BANDS 34

// One frame's parametric-stereo data as read from the payload: the header fields are
// kept from the last header; envelopes, borders and deltas are the frame's own.
#ifdef __cplusplus
extern "C" {
#endif

typedef struct PsData {
    uint8_t enabled;          // a header was read
    uint8_t enableIid, enableIcc, enableExtension;
    uint8_t iidMode, iccMode; // 0..5 (6, 7: reserved, the parameters are not read)
    uint8_t fineIid;          // IID modes 3..5
    uint8_t iidBandClass, iccBandClass; // mode modulo 3: 0 10 bands, 1 20 bands, 2 34 bands
    uint8_t variableBorders;  // frame class 1
    uint8_t envelopes;        // fixed class 0, 1, 2 or 4; variable class 1..4
    uint8_t borders[PS_MAX_ENVELOPES]; // variable class: first slot after each envelope
    uint8_t iidTime[PS_MAX_ENVELOPES]; // 1: deltas against the previous envelope, 0: across bands
    uint8_t iccTime[PS_MAX_ENVELOPES];
    int8_t iid[PS_MAX_ENVELOPES][PS_MAX_BANDS]; // deltas as read
    int8_t icc[PS_MAX_ENVELOPES][PS_MAX_BANDS];
} PsData;

// The parameters of one frame for the mixing: envelope e ends before slot borders[e + 1]
// (borders[0] = 0) and has 20 IID and ICC steps.
typedef struct PsFrameParameters {
    int envelopes;
    uint8_t borders[PS_MAX_FRAME_ENVELOPES + 1];
    uint8_t fineIid;
    int8_t iid[PS_MAX_FRAME_ENVELOPES][PS_PARAMETER_BANDS];
    int8_t icc[PS_MAX_FRAME_ENVELOPES][PS_PARAMETER_BANDS];
} PsFrameParameters;

// What brings one mono QMF slot to the common exponent the stereo processing works at:
// left shifts (negative: right, at most 31 either way, saturating) of QMF bands 0..2, of
// bands 3..lowEnd-1 (the core's low band) and of bands lowEnd..highEnd-1 (the SBR band);
// bands from highEnd up are taken as they are.
typedef struct PsSlotScaling {
    int lowestShift;
    int lowShift;
    int highShift;
    int lowEnd;
    int highEnd;
} PsSlotScaling;

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

// Frames are held in a ring of frame slots as the SBR element holds its own (one slot,
// or two when the data of a frame is applied one frame later): before a frame is parsed
// into the element's slot `slot` (0 or 1), the slot of the frame before becomes the one
// PsDec_PrepareFrame reads, and the new slot starts as a copy of it (the PS header
// fields carry over) without data. Before the first call both are slot 1, without data.
void PsDec_SetFrameSlots(PsDecHandle handle, int slot);

// The record the payload reader fills for the frame being parsed (null for a null
// handle); PsDec_DataRead marks it as read.
PsData *PsDec_DataRecord(PsDecHandle handle);
void PsDec_DataRead(PsDecHandle handle);

// Reads one parametric-stereo data block (at most bitsAvailable bits are its own) into
// the record of the frame being parsed and marks it as read; the header fields carry
// over from the frame before when the block has none. Returns the bits it read.
int PsDec_ReadData(PsDecHandle handle, RezBitStream *bs, int bitsAvailable);

// Decodes the parameters of the frame to be applied (the slot of the frame before the
// one parsed last, the same slot with one slot) into *out. 1 when parametric stereo runs in this frame,
// 0 when the mono signal is to be copied to both channels: no data before PS ever ran,
// or a good frame without data after it ran (PS is then switched off). A lost frame, or
// data that did not switch PS on, holds the last values. 34-band data is not mapped: its
// parameter counts as absent (all zero).
int PsDec_PrepareFrame(PsDecHandle handle, int frameError, PsFrameParameters *out);

// Ends a frame: whether PS ran, and the applied record counts as unread again. A frame
// without PS makes the next run start by priming.
void PsDec_FrameDone(PsDecHandle handle, int ran);

// Before the first slot of a frame: when PS starts (after creation or a frame without
// PS) the hybrid analysis is cleared and fed the PS_PRIMING_SLOTS slots re[0..5],
// im[0..5] (scaled as in PsDec_ApplySlot, left unchanged), so that its delay lines hold
// the signal before the frame instead of silence. 1 when it primed (the caller then
// copies the left synthesis state to the right channel's), 0 when PS was already running,
// -1 for a null argument.
int PsDec_Prime(PsDecHandle handle, const int32_t *const *re, const int32_t *const *im,
                const PsSlotScaling *scaling);

// One QMF slot: the mono slot in re and im (64 bands), brought to the common exponent by
// *scaling, becomes the left channel in place; the right channel goes to rightRe and
// rightIm, both at the common exponent. They come out six slots late (the hybrid
// filters' delay). 0, or -1 for a null argument or a failed stage.
int PsDec_ApplySlot(PsDecHandle handle, int32_t *re, int32_t *im, int32_t *rightRe, int32_t *rightIm,
                    const PsSlotScaling *scaling);

#ifdef __cplusplus
}
#endif

#endif
