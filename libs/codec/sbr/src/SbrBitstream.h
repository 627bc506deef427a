// Reading of SBR payloads: the header with its band tables, and the frame data of one
// element (time/frequency grid, coding directions, inverse-filtering modes, envelope and
// noise-floor deltas, added sinusoids) with its extensions, of which parametric stereo
// goes to the PS decoder. Plain syntax, as DAB+ and HE-AAC streams carry it.
#ifndef SBR_BITSTREAM_H
#define SBR_BITSTREAM_H

#include <stdint.h>

#include "PsDec.h"
#include "RezTools.h"
#include "SbrFrequencyTables.h"

#define SBR_MAX_ENVELOPES 8
#define SBR_MAX_NOISE_ENVELOPES 2
#define SBR_MAX_ENVELOPE_VALUES 448
// QMF slots of the overlap a frame's borders may reach into.
#define SBR_OVERLAP_SLOTS 6

// Results of SbrDec_ReadHeader.
#define SBR_HEADER_UNCHANGED 2
#define SBR_HEADER_CHANGED 3

#ifdef __cplusplus
extern "C" {
#endif

typedef enum SbrSyncState {
    SBR_SYNC_UNINITIALISED = 0,
    SBR_SYNC_UPSAMPLING = 1, // no header yet: the core is only upsampled
    SBR_SYNC_HEADER = 2,     // a header built the band tables
    SBR_SYNC_ACTIVE = 3      // a frame was dequantised against it
} SbrSyncState;

// Header status bits.
#define SBR_HEADER_RESET_PENDING 0x1 // channels must be reset against new tables
#define SBR_HEADER_RESET_FORCED 0x2  // the next header counts as changed

// The header fields as sent.
typedef struct SbrHeaderFields {
    uint8_t startFrequency, stopFrequency, frequencyScale, alterScale, noiseBands;
    uint8_t limiterBands, limiterGains, interpolation, smoothing;
} SbrHeaderFields;

typedef struct SbrHeaderData {
    uint32_t syncState; // SbrSyncState
    uint8_t status;
    uint8_t frameError;
    uint8_t timeSlots;    // SBR time slots of a frame
    uint8_t coreQmfBands; // QMF bands of the core signal
    uint8_t timeStep;     // QMF slots per SBR time slot
    uint32_t sbrRate;     // Hz, the standard rate the band tables are built for
    SbrHeaderFields fields;
    uint8_t ampRes;       // 0: 1.5 dB steps, 1: 3 dB steps
    uint8_t crossoverBand;
    SbrBandTables bands;
} SbrHeaderData;

// Grid classes.
enum { SBR_FIXFIX = 0, SBR_FIXVAR = 1, SBR_VARFIX = 2, SBR_VARVAR = 3 };

// Time/frequency grid of a frame, borders in SBR time slots.
typedef struct SbrFrameInfo {
    uint8_t frameClass;
    uint8_t envelopes;
    uint8_t borders[SBR_MAX_ENVELOPES + 1];
    uint8_t freqRes[SBR_MAX_ENVELOPES]; // 0 low, 1 high resolution
    int8_t transient;                   // envelope where a transient starts, -1 none
    uint8_t noiseEnvelopes;
    uint8_t noiseBorders[SBR_MAX_NOISE_ENVELOPES + 1];
} SbrFrameInfo;

// Coupling of a channel pair's channels.
enum { SBR_COUPLING_NONE = 0, SBR_COUPLING_LEVEL = 1, SBR_COUPLING_BALANCE = 2 };

// One channel's data of one frame as read.
typedef struct SbrFrameData {
    uint32_t envelopeValueCount;
    SbrFrameInfo grid;
    uint8_t envelopeTime[SBR_MAX_ENVELOPES];    // 1: deltas against the previous envelope
    uint8_t noiseTime[SBR_MAX_NOISE_ENVELOPES];
    uint32_t invfModes[SBR_MAX_NOISE_BANDS];
    uint32_t coupling;
    uint32_t ampRes; // in use in this frame
    uint32_t sinusoids[2]; // one bit per high-resolution band, from the top bit of word 0
    int16_t envelope[SBR_MAX_ENVELOPE_VALUES]; // balance values doubled
    int16_t noise[SBR_MAX_NOISE_ENVELOPES * SBR_MAX_NOISE_BANDS];
} SbrFrameData;

// Sets the stream properties of a header record from the rates (output 0: twice the
// core rate), the core frame length and the downscale factor; with resetFields also the
// default header. 0, or 6 (unsupported) for a rate ratio or frame length the decoder
// does not handle. The record is then uninitialised until a header builds its tables.
int SbrDec_InitHeaderData(SbrHeaderData *header, uint32_t coreRate, uint32_t outputRate, uint32_t frameLength,
                          uint32_t downscaleFactor, int resetFields);

// Reads an SBR header (or, with skipOnly, steps over it). SBR_HEADER_CHANGED when the
// band tables must be rebuilt (no header before, or a field they depend on changed),
// else SBR_HEADER_UNCHANGED; fields that need no new tables are taken over.
int SbrDec_ReadHeader(RezBitStream *bs, SbrHeaderData *header, int skipOnly);

// Rebuilds the band tables from the header fields. 0, or 6 when they are unsupported.
int SbrDec_RebuildBandTables(SbrHeaderData *header);

// Reads the grid of one channel: 1, or 0 when the stream asks for an impossible one.
int SbrDec_ReadGrid(RezBitStream *bs, const SbrHeaderData *header, SbrFrameData *frame);

// 1 when the grid is one the decoder can follow for frames of timeSlots slots.
int SbrDec_CheckFrameInfo(const SbrFrameInfo *info, int timeSlots, int overlap, int timeStep);

// Reads the frame data of a single channel (elementId 0, frames[1] unused) or of a
// channel pair (1) against the header, then its extensions: parametric stereo goes to
// ps when there is one. endValidBits is the stream's valid-bit count at the end of the
// payload. 1, or 0 when the data is not decodable.
int SbrDec_ReadElementData(RezBitStream *bs, const SbrHeaderData *header, SbrFrameData *frames[2], int elementId,
                           PsDecHandle ps, uint32_t endValidBits);

// Reads one element's SBR payload of payloadBits bits (CRC word first when crcPresent):
// the header when one is flagged, rebuilding the tables when it changed, then the frame
// data. 0, or 5 when the frame is rejected (CRC mismatch, no header yet, bad data, an
// over-read, or with checkFill 8 or more bits left over). *payloadBits is lowered by
// the bits read.
int SbrDec_ReadPayload(RezBitStream *bs, SbrHeaderData *header, SbrFrameData *frames[2], int elementId,
                       PsDecHandle ps, int32_t *payloadBits, int crcPresent, int checkFill);

#ifdef __cplusplus
}
#endif

#endif
