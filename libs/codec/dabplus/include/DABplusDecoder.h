/* DAB+ Decoder: the one entry point that turns the logical frames of a DAB
 * sub-channel into 16-bit PCM. It owns a DAB+ superframe parser and opens on
 * demand the Layer II decoder or the AAC decoder, whichever the stream needs,
 * switching when the stream changes. Each call decodes at most one unit (one
 * Layer II frame or one DAB+ access unit) and reports it in a frame-information
 * record with the unit's programme-associated data (PAD) and the reception
 * statistics. Parameters are cached and replayed into every core decoder it
 * opens. One caller thread per instance. */
#ifndef DABPLUS_DECODER_H
#define DABPLUS_DECODER_H

#include <stdint.h>

#include "DABplusParser.h"
#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes (DABplusDecoderError). */
#define DABPLUS_DEC_OK 0
#define DABPLUS_DEC_NEED_INPUT 1          /* the parser had too few logical frames */
#define DABPLUS_DEC_UNKNOWN_PARAM 2
#define DABPLUS_DEC_PARAM_REJECTED 3
#define DABPLUS_DEC_OUT_OF_MEMORY 0x1001
#define DABPLUS_DEC_BAD_SUBCHANNEL 0x1002 /* size outside 1..48 */
#define DABPLUS_DEC_INVALID_HANDLE 0x2002
#define DABPLUS_DEC_INVALID_ARGUMENT 0x2003
#define DABPLUS_DEC_PCM_TOO_SMALL 0x2004
#define DABPLUS_DEC_SUPERFRAME_FAILED 0x2005
#define DABPLUS_DEC_CORE_FAILED 0x2006
#define DABPLUS_DEC_LAYER2_FRAME_ERROR 0x2007
#define DABPLUS_DEC_SETUP_FAILED 0x3000

/* Decoder types of the frame information. */
#define DABPLUS_DEC_TYPE_LAYER2 1
#define DABPLUS_DEC_TYPE_AAC 2
#define DABPLUS_DEC_TYPE_AAC_SBR 3
#define DABPLUS_DEC_TYPE_AAC_SBR_PS 4

/* Flags of the frame information. */
#define DABPLUS_DEC_FLAG_MULTICHANNEL 0x01
#define DABPLUS_DEC_FLAG_DUAL_CHANNEL 0x02 /* Layer II dual channel; AAC mono played as two */
#define DABPLUS_DEC_FLAG_JOINT_STEREO 0x04
#define DABPLUS_DEC_FLAG_SURROUND_MASK 0x70 /* MPEG Surround configuration << 4 */
#define DABPLUS_DEC_FLAG_DYNAMIC_RANGE 0x80

#define DABPLUS_DEC_PAD_BUFFER 202
#define DABPLUS_DEC_CONFIG_BYTES 32
/* Samples (all channels) of the largest unit; the PCM buffer holds twice as many bytes. */
#define DABPLUS_DEC_OUTPUT_LIMIT 3840
#define DABPLUS_DEC_OUTPUT_LIMIT_SURROUND 11520

typedef struct DABplusDecoderFrameInfo {
    uint32_t type;              /* DABPLUS_DEC_TYPE_*, 0 before the first unit */
    uint32_t channels;          /* output channels of the unit */
    uint32_t sampleRate;        /* Hz */
    uint32_t bitRate;           /* bit/s; 0 when no unit was decoded */
    uint32_t samplesPerChannel; /* 1152 for Layer II, the AAC frame size */
    uint32_t configLength;      /* bytes of config in use */
    uint8_t config[DABPLUS_DEC_CONFIG_BYTES]; /* the AudioSpecificConfig of an AAC stream */
    uint32_t flags;             /* DABPLUS_DEC_FLAG_* */
    uint8_t *pad;               /* the unit's PAD, null without */
    uint32_t padLength[2];      /* bytes at pad, contiguous; only the first is used */
    uint8_t synced;             /* the parser follows a stream */
    uint8_t reconfigurations;   /* core configurations done in this call */
    uint8_t statisticsValid;    /* this call parsed a unit: the counters below are fresh */
    /* The parser's statistics, one byte each. */
    uint8_t allGood;
    uint8_t goodAusAfterRsFailure;
    uint8_t concealed;          /* units concealed in this call */
    uint8_t noAuLost;
    uint8_t auLost[DABPLUS_MAX_ACCESS_UNITS];
    uint8_t fireGood;
    uint8_t fireCorrections;
    uint8_t fireFailures;
    uint8_t ausRepaired;
    uint8_t rsAllDecodable;
    uint8_t rsCodewords;
    uint8_t rsCodewordsWithErrors;
    uint8_t rsCorrected;
    uint8_t rsUncorrectable;
    uint8_t rsSymbolsCorrected;
    uint8_t reserved[4];
} DABplusDecoderFrameInfo;

/* Parameter ids (DABplusDecoderParam). */
typedef enum DABplusDecoderParam {
    DABPLUS_DEC_PARAM_INTERLEAVED = 0,      /* 1 (default); 0 is forwarded and cached but refused */
    DABPLUS_DEC_PARAM_OUTPUT_CHANNELS = 1,  /* 0 no limit, 1 mono, 2 stereo, 3 binaural, 4 5.1 */
    DABPLUS_DEC_PARAM_FAILURE_LIMIT = 2,    /* the parser's failed units before it searches again */
    DABPLUS_DEC_PARAM_LIMITER_ENABLE = 16,  /* AAC limiter: -1 automatic, 0, 1 */
    DABPLUS_DEC_PARAM_LIMITER_ATTACK = 17,
    DABPLUS_DEC_PARAM_LIMITER_RELEASE = 18,
    DABPLUS_DEC_PARAM_AAC_FADE_OUT = 256,   /* AAC concealment frames and level */
    DABPLUS_DEC_PARAM_AAC_FADE_IN = 257,
    DABPLUS_DEC_PARAM_AAC_MUTE_RELEASE = 258,
    DABPLUS_DEC_PARAM_AAC_COMFORT_NOISE = 259,
    DABPLUS_DEC_PARAM_L2_FADE_OUT = 512,    /* Layer II concealment */
    DABPLUS_DEC_PARAM_L2_FADE_IN = 513,
    DABPLUS_DEC_PARAM_L2_GOOD_FRAMES = 514,
    DABPLUS_DEC_PARAM_L2_NOISE_LEVEL = 515,
    DABPLUS_DEC_PARAM_L2_SPARE_LEVEL = 518,
    DABPLUS_DEC_PARAM_L2_RESERVED = 519,
    DABPLUS_DEC_PARAM_AAC_DRC_BOOST = 768,  /* AAC dynamic range control */
    DABPLUS_DEC_PARAM_AAC_DRC_CUT = 769,
    DABPLUS_DEC_PARAM_AAC_DRC_TARGET = 770,
    DABPLUS_DEC_PARAM_L2_DRC = 1024,
    DABPLUS_DEC_PARAM_SURROUND = 1280,      /* surround output 0, 1 */
    DABPLUS_DEC_PARAM_BINAURAL_PRESET = 1281,
    DABPLUS_DEC_PARAM_SURROUND_1285 = 1285,
    DABPLUS_DEC_PARAM_SURROUND_1286 = 1286,
    DABPLUS_DEC_PARAM_SURROUND_1287 = 1287,
    DABPLUS_DEC_PARAM_SURROUND_1288 = 1288,
    DABPLUS_DEC_PARAM_STEREO_UPMIX = 1536
} DABplusDecoderParam;

typedef struct DABplusDecoderInstance *DABplusDecoderHandle;

/* Opens a decoder for sub-channel size n (1..48, units of 8 kbit/s). 0 with the
 * decoder in *handle; DABPLUS_DEC_OUT_OF_MEMORY, DABPLUS_DEC_BAD_SUBCHANNEL,
 * DABPLUS_DEC_SETUP_FAILED (the core libraries lack a capability), with *handle
 * not written. */
int DABplusDecoder_Open(DABplusDecoderHandle *handle, uint32_t n);
/* Closes everything and writes null to *handle. 0, or DABPLUS_DEC_INVALID_HANDLE
 * for a null *handle. */
int DABplusDecoder_Close(DABplusDecoderHandle *handle);
/* Starts searching again for sub-channel size n; the open core decoder stays and
 * restarts with its next unit. 0, DABPLUS_DEC_BAD_SUBCHANNEL, DABPLUS_DEC_SETUP_FAILED,
 * DABPLUS_DEC_INVALID_HANDLE. */
int DABplusDecoder_Reset(DABplusDecoderHandle handle, uint32_t n);
/* input holds *frames whole logical frames of 24 * n bytes; *frames is lowered by
 * the frames taken (the caller drops as many from its buffer). Decodes at most one
 * unit into pcm (interleaved 16-bit, pcmBytes its size: at least twice the output
 * limit) and writes the samples of all channels to *samplesOut. *frameInfo gets
 * the frame information (null after DABPLUS_DEC_PCM_TOO_SMALL; untouched after
 * DABPLUS_DEC_INVALID_HANDLE and for a null frameInfo). A missing access unit is
 * concealed, never an error. After a unit fails in its core decoder
 * (DABPLUS_DEC_CORE_FAILED, DABPLUS_DEC_LAYER2_FRAME_ERROR) the next call moves on
 * to the next unit. */
int DABplusDecoder_DecodeFrame(DABplusDecoderHandle handle, const uint8_t *input, int32_t *frames, int16_t *pcm,
                               uint32_t pcmBytes, uint32_t *samplesOut, DABplusDecoderFrameInfo **frameInfo);
/* Sets (or caches, while its decoder is closed) one parameter: 0, 2 unknown id, 3
 * refused or out of range, DABPLUS_DEC_INVALID_HANDLE. */
int DABplusDecoder_SetParam(DABplusDecoderHandle handle, int32_t id, int32_t value);
/* The access units of the current superframe and the index of the next one to be
 * decoded (for recording the raw units). 0 or DABPLUS_DEC_INVALID_HANDLE. */
int DABplusDecoder_GetAccessUnits(DABplusDecoderHandle handle, DABplusAccessUnitTable **table, int32_t *nextIndex);
/* Registers the parser, the AAC and Layer II decoders and then "DAB+ Decoder"
 * (module 13, 2.1.0). 0, or -1 for a null or full table or a second registration. */
int DABplusDecoder_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* DABPLUS_DECODER_H */
