/* AAC Decoder Lib: MPEG-4 AAC access units, with SBR, parametric stereo and MPEG
 * Surround as extensions, to PCM.
 *
 * Calling order: AacDec_Open with a transport type; for raw access units (the
 * DAB+ case) AacDec_ConfigRaw with the AudioSpecificConfig; then per access unit
 * AacDec_Fill. In-band formats (ADTS, ADIF, LATM, LOAS) carry their
 * configuration in the stream. AacDec_Close tears everything down. One caller
 * thread per instance; nothing is shared between instances.
 *
 * This build decodes the AAC core to PCM; SBR, parametric stereo and MPEG
 * Surround are not applied yet (their payloads are stepped over). */
#ifndef AAC_DEC_H
#define AAC_DEC_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results (AacDecError). Bit-stream errors whose frame was concealed lie in
 * 0x4000..0x4FFF. */
#define AACDEC_OK 0x0000
#define AACDEC_OUT_OF_MEMORY 0x0002
#define AACDEC_UNKNOWN 0x0005
#define AACDEC_UNITS_LOST 0x1001
#define AACDEC_NOT_ENOUGH_INPUT 0x1002
#define AACDEC_INVALID_HANDLE 0x2001
#define AACDEC_UNSUPPORTED_AOT 0x2002
#define AACDEC_UNSUPPORTED_FORMAT 0x2003
#define AACDEC_UNSUPPORTED_ER_FORMAT 0x2004
#define AACDEC_UNSUPPORTED_CHANNEL_CONFIG 0x2007
#define AACDEC_UNSUPPORTED_SAMPLING_RATE 0x2008
#define AACDEC_INVALID_PARAM 0x200A
#define AACDEC_NEED_TO_RESTART 0x200B
#define AACDEC_OUTPUT_BUFFER_TOO_SMALL 0x200C
#define AACDEC_ANC_NEGATIVE_SIZE 0x8001

/* Frame flags of AacDec_DecodeFrame (AacDecFrameFlag). */
#define AACDEC_FLAG_CONCEAL 1 /* no new access unit: conceal one frame */
#define AACDEC_FLAG_DRAIN 2   /* no new access unit; resets the input and the statistics */
#define AACDEC_FLAG_RESYNC 4  /* the previous data were interrupted */
#define AACDEC_FLAG_RESET 8   /* decoding restarts after a new configuration */

/* Transport types of AacDec_Open (TpDecTransportType). */
typedef enum AacDecTransportType {
    AACDEC_TT_RAW = 0,
    AACDEC_TT_ADIF = 1,
    AACDEC_TT_ADTS = 2,
    AACDEC_TT_LATM_MCP1 = 6,
    AACDEC_TT_LATM_MCP0 = 7,
    AACDEC_TT_LOAS = 10,
    AACDEC_TT_DRM = 12
} AacDecTransportType;

/* Parameter ids of AacDec_SetParam and AacDec_SetParamArray (AacDecParam). */
typedef enum AacDecParam {
    AACDEC_PARAM_CHANNEL_MAP = 3,               /* 0 decoder order, 1 output order (default) */
    AACDEC_PARAM_SURROUND_STEREO = 4,           /* the downmix's stereo kind */
    AACDEC_PARAM_LIMITER_ENABLE = 16,           /* -1 automatic (default), 0 off, 1 on */
    AACDEC_PARAM_LIMITER_ATTACK = 17,           /* ms, at least 1 */
    AACDEC_PARAM_LIMITER_RELEASE = 18,          /* ms, at least 1 */
    AACDEC_PARAM_DOWNMIX_MODE = 32,             /* 0..3; 3 also sets 550 ms of metadata expiry */
    AACDEC_PARAM_METADATA_EXPIRY = 33,          /* ms, 0 never */
    AACDEC_PARAM_CONCEAL_METHOD = 256,          /* 0 muting, 1 noise substitution, 2 interpolation */
    AACDEC_PARAM_CONCEAL_FADE_OUT_FRAMES = 257, /* 0..31 */
    AACDEC_PARAM_CONCEAL_FADE_IN_FRAMES = 258,  /* 0..31 */
    AACDEC_PARAM_CONCEAL_MUTE_RELEASE_FRAMES = 259, /* 0..63 */
    AACDEC_PARAM_CONCEAL_COMFORT_NOISE = 260,   /* level, at least 0 */
    AACDEC_PARAM_CONCEAL_FADE_OUT_TABLE = 261,  /* array: 32 attenuations 0..255 in 0.25 dB */
    AACDEC_PARAM_CONCEAL_FADE_IN_TABLE = 262,   /* array: 32 attenuations 0..255 in 0.25 dB */
    AACDEC_PARAM_DRC_BOOST = 512,               /* 0..127: share of the stream's boost */
    AACDEC_PARAM_DRC_CUT = 513,                 /* 0..127: share of the stream's cut */
    AACDEC_PARAM_DRC_TARGET_LEVEL = 514,        /* -1 off, 40..127 in 0.25 dB below full scale */
    AACDEC_PARAM_DRC_HEAVY = 515,               /* 0, 1: heavy compression */
    AACDEC_PARAM_DRC_DEFAULT_PRESENTATION = 516, /* -1..2 */
    AACDEC_PARAM_DRC_ENCODER_TARGET = 517,      /* 0..127 */
    AACDEC_PARAM_STEREO_UPMIX = 768,            /* -1 automatic (default), 0 off, 1 on */
    AACDEC_PARAM_QMF_RESAMPLING = 769,          /* 0 only: resampling is not built */
    AACDEC_PARAM_SURROUND_ENABLE = 1280,        /* 0 (default), 1 */
    AACDEC_PARAM_SURROUND_BINAURAL = 1281,      /* no surround decoder: AACDEC_INVALID_HANDLE */
    AACDEC_PARAM_TP_LOOK_AHEAD_ALL = 1536,
    AACDEC_PARAM_TP_IGNORE_FULLNESS = 1537,
    AACDEC_PARAM_TP_LOOK_AHEAD_CONFIG = 1538,
    AACDEC_PARAM_TP_RESET_INPUT = 1539,         /* also clears lostUnits, totalBytes and badBytes */
    AACDEC_PARAM_TP_BIT_RATE = 1540,
    AACDEC_PARAM_TP_BUFFERING_MS = 1541,
    AACDEC_PARAM_SBR_HARMONIC = 2048,           /* 0, 1 */
    AACDEC_PARAM_OUTPUT_CHANNELS = 2304         /* channel layout code of the most output channels; -1, 0 none */
} AacDecParam;

/* Stream information; -1 marks "not known" where noted. */
typedef struct AacDecStreamInfo {
    int32_t sampleRate;          /* output, Hz */
    int32_t frameSize;           /* output samples per channel; 0 after a failed frame */
    int32_t reserved;            /* always 0 */
    int32_t numChannels;         /* output */
    const int32_t *channelTypes; /* one per output channel, at most 8 */
    const uint8_t *channelIndices;
    int32_t coreSampleRate;      /* 0 at open */
    int32_t profile;             /* -1 at open */
    int32_t aot;                 /* core audio object type, -1 at open */
    int32_t channelConfig;       /* -1 at open */
    int32_t bitRate;             /* bit/s, measured */
    int32_t coreFrameLength;     /* samples */
    int32_t coreChannels;
    int32_t extensionAot;        /* -1 at open */
    int32_t extensionSampleRate; /* 0 at open */
    int32_t outputDelay;         /* samples */
    uint32_t flags;              /* decoder flags after each frame */
    int8_t epConfig;             /* -1 at open */
    int32_t lostUnits;
    uint32_t totalBytes;
    uint32_t badBytes;
    uint32_t totalUnits;
    uint32_t badUnits;
    int8_t drcReferenceLevel;    /* -1 when the stream carries none */
    int8_t drcPresentation;
    int8_t matrixMixdownIndex;   /* -1 without a matrix mixdown */
    int8_t pseudoSurround;
} AacDecStreamInfo;

typedef struct AacDecInstance *AacDecHandle;

/* Opens a decoder for a transport type (numLayers is clamped to 1). Null for an
 * unknown type or when memory is short. */
AacDecHandle AacDec_Open(int32_t transportType, uint32_t numLayers);

/* Frees everything; null is ignored. */
void AacDec_Close(AacDecHandle handle);

/* Out-of-band configuration, one buffer per layer (a zero length configures
 * nothing). AACDEC_OK; AACDEC_NEED_TO_RESTART when the configuration is not
 * usable yet; AACDEC_UNSUPPORTED_FORMAT; AACDEC_UNKNOWN for any other failure;
 * AACDEC_INVALID_HANDLE. */
int AacDec_ConfigRaw(AacDecHandle handle, const uint8_t *const buffers[], const uint32_t lengths[]);

/* Copies input into the transport buffer, one entry per layer; bytesValid[i] is
 * lowered by what was taken. AACDEC_OK, AACDEC_UNKNOWN (input not taken, or a
 * null argument), AACDEC_INVALID_HANDLE. */
int AacDec_Fill(AacDecHandle handle, const uint8_t *const buffers[], const uint32_t sizes[], uint32_t bytesValid[]);

/* Decodes one access unit (or, with AACDEC_FLAG_CONCEAL, conceals one frame) into
 * pcm: frameSize samples of numChannels interleaved 16-bit channels in output order
 * (front left, front right, centre, LFE, surrounds), as the stream information then
 * says; pcmSize is the capacity in samples. Results: AACDEC_OK; AACDEC_NOT_ENOUGH_INPUT;
 * AACDEC_UNITS_LOST (conceal the lostUnits count with AACDEC_FLAG_CONCEAL);
 * AACDEC_INVALID_HANDLE; AACDEC_UNSUPPORTED_FORMAT; AACDEC_UNSUPPORTED_CHANNEL_CONFIG
 * (nothing configured); AACDEC_UNSUPPORTED_SAMPLING_RATE; AACDEC_NEED_TO_RESTART (no
 * usable configuration yet); AACDEC_OUTPUT_BUFFER_TOO_SMALL; AACDEC_UNKNOWN for any
 * other failure; 0x4000..0x4FFF a bit-stream error whose frame was concealed (0x4002
 * syntax, 0x4004 unexpected element or too few bits, 0x4005 CRC). The output is valid
 * for AACDEC_OK and the concealed errors only; otherwise frameSize is 0. */
int AacDec_DecodeFrame(AacDecHandle handle, int16_t *pcm, int32_t pcmSize, uint32_t flags);

/* Sets the buffer that collects the data stream elements' bytes of each frame (up to
 * 7 blocks). AACDEC_OK, AACDEC_ANC_NEGATIVE_SIZE, AACDEC_INVALID_HANDLE. */
int AacDec_AncDataInit(AacDecHandle handle, uint8_t *buffer, int32_t size);

/* Block index of the last frame: *data and *size, or null and 0 for an index above 6 or
 * not below the block count. AACDEC_OK, or AACDEC_INVALID_HANDLE. */
int AacDec_AncDataGet(AacDecHandle handle, int32_t index, uint8_t **data, int32_t *size);

/* Sets one parameter (AacDecParam). AACDEC_OK; AACDEC_INVALID_PARAM for an unknown id
 * or a value out of range; AACDEC_INVALID_HANDLE for a null handle or a module that is
 * missing (the surround decoder's ids). A lost frame is muted (method 0) or repeats the
 * last good spectrum with random signs while it fades out (methods 1 and 2). */
int AacDec_SetParam(AacDecHandle handle, int32_t id, int32_t value);

/* Ids 261 and 262 with 32 values. AACDEC_OK; AACDEC_INVALID_PARAM for another id, a
 * null array or a value out of range (nothing changes); AACDEC_INVALID_HANDLE. */
int AacDec_SetParamArray(AacDecHandle handle, int32_t id, const int16_t *values);

/* The embedded stream information; null for a null handle. */
AacDecStreamInfo *AacDec_GetStreamInfo(AacDecHandle handle);

/* Registers the SBR decoder, the transport, the toolbox, the PCM downmix and the
 * limiter, then "AAC Decoder Lib" (module 3, 2.12.0). 0, or -1 for a null or full
 * table. */
int AacDec_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* AAC_DEC_H */
