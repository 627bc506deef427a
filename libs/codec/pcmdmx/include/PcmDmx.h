/* PCM Downmix Lib: the last stage of the audio decoders. Per frame it brings a
 * block of 32-bit PCM from the decoded channel count to a count between a
 * configured minimum and maximum: it leaves the block alone when the count is in
 * range, selects or mixes the halves of a dual-channel signal, duplicates mono to
 * stereo, places channels into a larger standard layout (zero-filled), or mixes a
 * larger layout down with gains from the channel configuration and from downmix
 * metadata. It works in place, interleaved or planar.
 *
 * Channel configuration code: front | side << 4 | back << 8 | low-frequency << 12. */
#ifndef PCM_DMX_H
#define PCM_DMX_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define PCMDMX_OK 0
#define PCMDMX_OUT_OF_MEMORY 3
#define PCMDMX_INVALID_HANDLE 5      /* null handle or argument, invalid channel map */
#define PCMDMX_NO_SAMPLES 6          /* null samples, 0 samples or channels; lib-info table missing or full */
#define PCMDMX_UNSUPPORTED_CHANNELS 7 /* more than 8 channels, or a layout that cannot be classified */
#define PCMDMX_NO_RULE 8             /* the input layout has no downmix rule (the frame is still processed) */
#define PCMDMX_UNKNOWN_PARAM 9
#define PCMDMX_INVALID_VALUE 10
#define PCMDMX_METADATA_ERROR 11     /* metadata block not readable */
#define PCMDMX_OUTPUT_TOO_SMALL 12

/* Most channels in and out. */
#define PCMDMX_MAX_CHANNELS 8

/* Parameter ids of PcmDmx_SetParam and PcmDmx_GetParam. */
typedef enum PcmDmxParam {
    PCMDMX_PARAM_MODE = 1,              /* 0..3: how metadata chooses the downmix type */
    PCMDMX_PARAM_EXPIRY = 16,           /* frames after which metadata expires; 0 never */
    PCMDMX_PARAM_DELAY = 17,            /* 0, 1: use the previous frame's metadata */
    PCMDMX_PARAM_MIN_CHANNELS = 32,     /* -1, 0 (none), 1, 2, 6, 8 */
    PCMDMX_PARAM_MAX_CHANNELS = 33,     /* -1, 0 (none), 1, 2, 6, 8 */
    PCMDMX_PARAM_DUAL_CHANNEL = 48,     /* 0 both, 1 first, 2 second, 3 mix */
    PCMDMX_PARAM_SURROUND_STEREO = 49   /* -1 plain stereo, 1 surround-compatible, 0 as the metadata says */
} PcmDmxParam;

/* Channel kinds of the per-frame channel description (low nibble of a type; the
 * high nibble is the layer: 0 main, 1 upper). */
typedef enum PcmDmxChannelKind {
    PCMDMX_CHANNEL_NONE = 0,
    PCMDMX_CHANNEL_FRONT = 1,
    PCMDMX_CHANNEL_SIDE = 2,
    PCMDMX_CHANNEL_BACK = 3,
    PCMDMX_CHANNEL_LFE = 4
} PcmDmxChannelKind;

typedef struct PcmDmxInstance *PcmDmxHandle;

/* Creates an instance with default parameters and metadata and writes it to *handle.
 * PCMDMX_OK, PCMDMX_INVALID_HANDLE (null slot), PCMDMX_OUT_OF_MEMORY. */
int PcmDmx_Open(PcmDmxHandle *handle);
/* Frees *handle (null allowed) and writes null. PCMDMX_OK or PCMDMX_INVALID_HANDLE (null slot). */
int PcmDmx_Close(PcmDmxHandle *handle);
/* flags 1: parameters 16, 17, 32, 33, 48 to 0 and 49 to -1 (the mode is kept);
 * flags 2: both metadata records to the default. PCMDMX_OK or PCMDMX_INVALID_HANDLE. */
int PcmDmx_Reset(PcmDmxHandle handle, uint32_t flags);
/* PCMDMX_OK; PCMDMX_UNKNOWN_PARAM for an id it does not know (checked first);
 * PCMDMX_INVALID_VALUE for a value out of range; PCMDMX_INVALID_HANDLE for null. */
int PcmDmx_SetParam(PcmDmxHandle handle, int32_t id, int32_t value);
/* PCMDMX_OK, PCMDMX_INVALID_HANDLE (null handle or pointer), PCMDMX_UNKNOWN_PARAM. */
int PcmDmx_GetParam(PcmDmxHandle handle, int32_t id, int32_t *value);
/* Reads one downmix metadata block of bitCount bits (type 0) from the stream into
 * the newest record. PCMDMX_OK, PCMDMX_INVALID_HANDLE, PCMDMX_METADATA_ERROR (too
 * short, too long for the stream, wrong sync byte, or reading past the end). */
int PcmDmx_ParseMetadata(PcmDmxHandle handle, RezBitStream *bs, uint32_t bitCount, int32_t type);
/* Matrix-mixdown fields of a program configuration. PCMDMX_OK or PCMDMX_INVALID_HANDLE. */
int PcmDmx_SetPceMetadata(PcmDmxHandle handle, int32_t present, int32_t matrixMixdownIndex, int32_t pseudoSurround);

/* Processes one frame in place. samples holds samplesPerChannel samples of
 * *channels channels (interleaved, or planar blocks of samplesPerChannel); capacity
 * is the buffer size in samples. types[8] and indices[8] describe the channel at
 * each buffer position (rewritten when channels are added); map turns the standard
 * channel order into buffer positions. *channels becomes the delivered count. With
 * headroom given, up to 3 bits of a downmix's scaling are left to the caller and
 * added to *headroom.
 * Results: PCMDMX_OK, 1 (the channel description had to be renumbered),
 * PCMDMX_NO_RULE, PCMDMX_INVALID_HANDLE, PCMDMX_NO_SAMPLES,
 * PCMDMX_UNSUPPORTED_CHANNELS, PCMDMX_OUTPUT_TOO_SMALL. */
int PcmDmx_ApplyFrame(PcmDmxHandle handle, int32_t *samples, uint32_t capacity, uint32_t samplesPerChannel,
                      int32_t *channels, int32_t interleaved, uint32_t types[PCMDMX_MAX_CHANNELS],
                      uint8_t indices[PCMDMX_MAX_CHANNELS], const RezChannelMap *map, int32_t *headroom);

/* Registers "PCM Downmix Lib" (module 31, 2.14.0, flags 0x7F), then the toolbox.
 * PCMDMX_OK, or PCMDMX_NO_SAMPLES for a null or full table. */
int PcmDmx_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* PCM_DMX_H */
