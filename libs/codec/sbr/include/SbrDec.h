/* SBR Decoder: spectral band replication and parametric stereo behind the AAC
 * decoder, its only caller.
 *
 * This build carries the interface and its "no SBR" path: an instance exists and
 * takes parameters, but it accepts no SBR element, so the AAC decoder switches
 * SBR off for the stream and plays the core signal at the core sample rate.
 *
 * Calling order: SbrDec_Open with the AAC decoder's QMF domain; per configuration
 * SbrDec_FreeElements (when it changes), then SbrDec_InitElement or the header
 * callback for each SBR element; per frame SbrDec_Parse for each payload, the
 * parameters, SbrDec_Apply; SbrDec_Close. One caller thread per instance. */
#ifndef SBR_DEC_H
#define SBR_DEC_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results (SbrDecError). */
#define SBRDEC_OK 0
#define SBRDEC_INVALID_ARGUMENT 1
#define SBRDEC_PS_CREATE_FAILED 2
#define SBRDEC_INVALID_HANDLE 3       /* null handle, or no element in the slot */
#define SBRDEC_OUT_OF_MEMORY 4
#define SBRDEC_FRAME_REJECTED 5       /* frame data rejected, or an element asked to shrink */
#define SBRDEC_UNSUPPORTED 6          /* rates, object type, element id or index, channels */
#define SBRDEC_INVALID_PARAM 7
#define SBRDEC_OUTPUT_TOO_SMALL 8

/* Element slots of one instance. */
#define SBRDEC_MAX_ELEMENTS 8

/* Parameter ids of SbrDec_SetParam. */
typedef enum SbrDecParam {
    SBRDEC_PARAM_FRAME_DELAY = 0,   /* 0 or 1 frames of delay before SBR data is applied */
    SBRDEC_PARAM_LOW_POWER = 1,     /* 1 sets, anything else clears */
    SBRDEC_PARAM_CONCEAL = 3,       /* non-zero: the coming frame has no new data */
    SBRDEC_PARAM_REINIT = 4,        /* non-zero: re-initialise every element at the next init */
    SBRDEC_PARAM_FLUSH = 5,         /* any value: the next header counts as changed */
    SBRDEC_PARAM_HARMONIC_VARIANT = 6, /* 1 sets, anything else clears */
    SBRDEC_PARAM_OUTPUT_PATH = 7    /* 1 QMF hand-over, 2 MPEG Surround follows, other: neither */
} SbrDecParam;

/* The AAC decoder's QMF domain, shared by core, SBR and MPEG Surround. */
struct RezQmfDomain;

typedef struct SbrDecInstance *SbrDecHandle;

/* Creates the decoder bound to the QMF domain (not owned). SBRDEC_OK,
 * SBRDEC_INVALID_ARGUMENT for a null handle pointer or domain,
 * SBRDEC_OUT_OF_MEMORY. *handle is null on failure. */
int SbrDec_Open(SbrDecHandle *handle, struct RezQmfDomain *qmfDomain);

/* Frees everything and writes null to *handle; nothing for a null pointer or
 * handle. Returns SBRDEC_OK. */
int SbrDec_Close(SbrDecHandle *handle);

/* Frees all elements and channels, keeping the instance. SBRDEC_OK (also for null). */
int SbrDec_FreeElements(SbrDecHandle *handle);

/* (Re)initialises one element: core rate, output rate (0 = twice the core rate),
 * core frame length, core object type, element id (0 single, 1 pair, 3 LFE),
 * element index (below 8), harmonic setting (0, 1, 2 = unchanged), stereo
 * configuration index (ignored), configuration mode (bit 0 = check only),
 * *configChanged set to 1 when the configuration changes, downscale factor, PS
 * allowed. SBRDEC_INVALID_ARGUMENT for a null handle; SBRDEC_UNSUPPORTED for an
 * object type outside 2, 5, 20, 29, 42, 143, 146, an element id other than 0, 1,
 * 3, or an index of 8 or more; without an SBR decoder in this build every other
 * element is refused with SBRDEC_UNSUPPORTED too, which switches SBR off. */
int SbrDec_InitElement(SbrDecHandle handle, uint32_t coreRate, uint32_t outputRate, uint32_t coreFrameLength,
                       int32_t aot, int32_t elementId, int32_t elementIndex, uint8_t harmonicSbr,
                       uint8_t stereoConfigIndex, uint8_t configMode, uint8_t *configChanged,
                       uint32_t downscaleFactor, int32_t psAllowed);

/* The transport's SBR configuration callback: initialises the element as above
 * and reads the SBR header of the configuration. SBRDEC_UNSUPPORTED for a null
 * handle, an element index of 8 or more or an unsupported object type; otherwise
 * the result of the element initialisation. */
int SbrDec_HeaderCallback(void *handle, RezBitStream *bs, int32_t coreRate, int32_t outputRate,
                          int32_t coreFrameLength, int32_t aot, int32_t elementId, int32_t elementIndex,
                          uint8_t harmonicSbr, uint8_t stereoConfigIndex, uint8_t configMode,
                          uint8_t *configChanged, int32_t downscaleFactor, int32_t psAllowed);

/* Reads one SBR payload of *payloadBits bits, lowering the count by what it used.
 * SBRDEC_OK or SBRDEC_FRAME_REJECTED (SBR stays on); SBRDEC_INVALID_HANDLE for a
 * null handle or an empty element slot (this build never has elements: the
 * payload is left to the caller to skip). */
int SbrDec_Parse(SbrDecHandle handle, RezBitStream *bs, uint8_t *workBuffer, uint32_t workBufferSize,
                 int32_t *payloadBits, int32_t payloadLength, int32_t crcPresent, int32_t elementId,
                 int32_t elementIndex, uint32_t frameFlags, const uint32_t *elementFlags);

/* Applies SBR (and parametric stereo when allowed) to one frame. SBRDEC_OK,
 * SBRDEC_INVALID_ARGUMENT for a null pointer or fewer than one channel,
 * SBRDEC_INVALID_HANDLE without elements (always so in this build: the caller
 * keeps its core output), SBRDEC_OUTPUT_TOO_SMALL. */
int SbrDec_Apply(SbrDecHandle handle, const int16_t *input, int16_t *output, uint32_t outputCapacity,
                 int32_t *channels, int32_t *sampleRate, const RezChannelMap *channelMap, uint8_t channelMapRow,
                 uint8_t frameOk, uint8_t *psByte);

/* SBRDEC_OK; SBRDEC_INVALID_HANDLE for null (ids 3 and 4 with value 0 return OK
 * first); SBRDEC_INVALID_PARAM for id 2, ids above 7 or a frame delay above 1. */
int SbrDec_SetParam(SbrDecHandle handle, int32_t id, int32_t value);

/* Delay added by SBR in output samples; 0 without elements. */
uint32_t SbrDec_GetDelay(SbrDecHandle handle);

/* SBR channels in use; *psFromMono receives 1 when a mono element was given a
 * second channel for parametric stereo. 0 for a null handle. */
int32_t SbrDec_GetChannelCount(SbrDecHandle handle, uint32_t *psFromMono);

/* Stores DRC gains for a channel (at most 8): SBRDEC_OK, SBRDEC_INVALID_HANDLE,
 * SBRDEC_INVALID_PARAM for a channel above 8 or null gains. */
int SbrDec_DrcFeedGains(SbrDecHandle handle, int32_t channel, int32_t bandCount, const int32_t *gains,
                        int32_t exponent, uint16_t transition, uint8_t windowMode, const uint16_t *bandTops);

/* Clears a channel's DRC gains; ignored for null, an index of 9 or more, or no elements. */
void SbrDec_DrcResetChannel(SbrDecHandle handle, int32_t channel);

/* Registers "SBR Decoder" (module 5, 2.7.0) in the first free row. 0, or -1 for a
 * null or full table. */
int SbrDec_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* SBR_DEC_H */
