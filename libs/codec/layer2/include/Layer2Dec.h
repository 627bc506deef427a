/* Layer-2 Decoder Lib: MPEG-1 and MPEG-2 (low sampling frequency) Audio Layer II
 * frames, as carried in DAB sub-channels, to 16-bit PCM, 1152 samples per channel
 * and frame.
 *
 * Besides plain decoding it has a DAB mode (header repair, 48/24 kHz only, the
 * scale-factor CRC of the frame tail and the dynamic range control carried in the
 * F-PAD), hands out the programme-associated data (PAD) at the tail of each frame,
 * conceals damaged frames and passes every frame through the PCM downmix.
 *
 * Every operation returns a Layer2DecResult; its two top bits give the class:
 * 00 success, 01 success with a warning, 10 more input needed, 11 error. */
#ifndef LAYER2_DEC_H
#define LAYER2_DEC_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t Layer2DecResult;

/* The frame was decoded. */
#define LAYER2DEC_OK 0x00000000u
/* PCM was written, but the frame was concealed or damaged: header CRC error, a
 * scale-factor CRC error in DAB mode, a lost frame, or a CRC error in the spatial
 * ancillary block. */
#define LAYER2DEC_CONCEALED 0x41010001u
/* Not synchronised yet; the search goes on with more input. */
#define LAYER2DEC_NOT_SYNCHRONISED 0x81010001u
/* Synchronised, but the input does not yet hold the whole frame. */
#define LAYER2DEC_NEED_MORE_INPUT 0x81010003u
/* Invalid argument or parameter value, or an unknown parameter id. */
#define LAYER2DEC_INVALID_ARGUMENT 0xC0000001u
/* Opening the spatial (MPEG Surround) stage failed. */
#define LAYER2DEC_SPATIAL_OPEN_FAILED 0xC0000002u
/* Null handle, or the component the parameter belongs to is missing. */
#define LAYER2DEC_INVALID_HANDLE 0xC0000003u
/* The frame is not Layer II. */
#define LAYER2DEC_NOT_LAYER2 0xC1010002u
/* The PCM buffer holds fewer than 1152 x channels samples, or the PAD buffer is
 * smaller than 202 bytes. */
#define LAYER2DEC_BUFFER_TOO_SMALL 0xC1010003u
/* Unsupported sample rate. */
#define LAYER2DEC_UNSUPPORTED_RATE 0xC1010004u
/* Bit rate and mode have no allocation table, or the downmix refused the frame. */
#define LAYER2DEC_NO_TABLE 0xC1010005u
/* The spatial stage failed. */
#define LAYER2DEC_SPATIAL_FAILED 0xC1010006u

/* Class tests: success (with or without warning), more input needed, error. */
#define LAYER2DEC_IS_SUCCESS(r) ((((uint32_t)(r)) >> 30) <= 1u)
#define LAYER2DEC_NEEDS_INPUT(r) ((((uint32_t)(r)) >> 30) == 2u)
#define LAYER2DEC_IS_ERROR(r) ((((uint32_t)(r)) >> 30) == 3u)

/* The PAD buffer must hold at least this many bytes when PAD extraction is on. */
#define LAYER2DEC_MIN_PAD_BUFFER 202

/* Samples per channel and frame. */
#define LAYER2DEC_FRAME_SAMPLES 1152

/* Parameter ids of Layer2Dec_SetParam and Layer2Dec_SetParamArray. */
typedef enum Layer2DecParam {
    LAYER2DEC_PARAM_INTERLEAVED = 1,       /* 0 planar, 1 interleaved (default) */
    LAYER2DEC_PARAM_OUTPUT_CHANNELS = 2,   /* -1..6: downmix maximum and minimum */
    LAYER2DEC_PARAM_DIRECT_INPUT = 3,      /* 0, 1: one whole frame per Fill */
    LAYER2DEC_PARAM_CONCEAL_ENABLE = 257,  /* 0, 1 (default 1) */
    LAYER2DEC_PARAM_FADE_OUT_FRAMES = 258, /* 0..15 (default 5) */
    LAYER2DEC_PARAM_FADE_IN_FRAMES = 259,  /* 0..15 (default 5) */
    LAYER2DEC_PARAM_GOOD_FRAMES = 260,     /* 0..31 good frames before recovery (default 3) */
    LAYER2DEC_PARAM_NOISE_LEVEL = 261,     /* 0..127 comfort noise while muted, 62 and above: silence (default 46) */
    LAYER2DEC_PARAM_FADE_OUT_TABLE = 262,  /* array of 16 attenuations 0..255 in 0.25 dB */
    LAYER2DEC_PARAM_FADE_IN_TABLE = 263,   /* array of 16 attenuations 0..255 in 0.25 dB */
    LAYER2DEC_PARAM_SPARE_LEVEL = 264,     /* 0..256, stored only */
    LAYER2DEC_PARAM_RESERVED = 265,        /* always refused */
    LAYER2DEC_PARAM_DRC_FACTOR = 513,      /* 0..127: 0 off (default), 127 full */
    LAYER2DEC_PARAM_SPATIAL_ENABLE = 769,  /* 0, 1 */
    LAYER2DEC_PARAM_SPATIAL_770 = 770,
    LAYER2DEC_PARAM_SPATIAL_OUTPUT_MODE = 785, /* 0, 1 */
    LAYER2DEC_PARAM_SPATIAL_786 = 786,
    LAYER2DEC_PARAM_SPATIAL_787 = 787,
    LAYER2DEC_PARAM_SPATIAL_788 = 788,
    LAYER2DEC_PARAM_SPATIAL_789 = 789,
    LAYER2DEC_PARAM_SPATIAL_790 = 790,
    LAYER2DEC_PARAM_SPATIAL_791 = 791,
    LAYER2DEC_PARAM_SPATIAL_800 = 800,
    LAYER2DEC_PARAM_SPATIAL_1025 = 1025
} Layer2DecParam;

/* Stream information, refreshed after every decoded frame. */
typedef struct Layer2StreamInfo {
    int32_t layer;              /* 2 */
    int32_t versionIndex;       /* 0 MPEG-1, 1 MPEG-2 low sampling frequency */
    int32_t bitRate;            /* bit/s */
    int32_t bitRateIndex;
    int32_t codedChannels;      /* 1 or 2 */
    int32_t codedSampleRate;    /* Hz */
    int32_t outputChannels;     /* after the spatial stage and the downmix */
    int32_t outputSampleRate;   /* Hz */
    int32_t bitsPerSample;      /* 16 */
    int32_t frameLengthBits;    /* with padding */
    float frameDurationMs;
    int32_t concealed;          /* 1 when the result was LAYER2DEC_CONCEALED */
    int32_t reserved;           /* 0 */
    int32_t padding;
    int32_t mode;               /* 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel */
    int32_t modeExtension;
    int32_t crcPresent;
    int32_t copyright;
    int32_t original;
    int32_t privateBit;
    int32_t emphasis;
    int32_t drcValue;           /* 0..63 while the F-PAD carries DRC data, else -1 */
} Layer2StreamInfo;

typedef struct Layer2DecInstance *Layer2DecHandle;

/* Opens a decoder. The input is kept in an own block; buffer and bufferSize name
 * a caller block to use instead, taken only when bufferSize is a power of two of at
 * least 4096 bytes. dabMode > 0 turns on DAB mode, padMode > 0 PAD extraction.
 * Returns null when memory is short. */
Layer2DecHandle Layer2Dec_Open(uint8_t *buffer, uint32_t bufferSize, int32_t dabMode, int32_t padMode);

/* Closes the decoder and writes null to *handle; nothing for a null *handle. */
void Layer2Dec_Close(Layer2DecHandle *handle);

/* Forgets the input and the decoding history (parameters are kept).
 * LAYER2DEC_OK or LAYER2DEC_INVALID_HANDLE. */
Layer2DecResult Layer2Dec_Reset(Layer2DecHandle handle);

/* Hands input over. The unread bytes are the last *bytesValid bytes of
 * data[0..dataSize); *bytesValid is lowered by the number taken. With direct input
 * (parameter 3) the call takes one whole frame, replacing earlier input, and
 * *bytesValid becomes 0. LAYER2DEC_OK, LAYER2DEC_INVALID_HANDLE, or
 * LAYER2DEC_INVALID_ARGUMENT for null data or pointer, or more valid bytes than
 * dataSize (or than the input block holds, with direct input). */
Layer2DecResult Layer2Dec_Fill(Layer2DecHandle handle, const uint8_t *data, uint32_t dataSize, uint32_t *bytesValid);

/* Decodes the next frame into pcm (capacity in samples) and writes the samples
 * written (all channels) to *samplesOut. With PAD extraction the frame's PAD bytes
 * (X-PAD, ScF-CRC and F-PAD as they stand at the end of the frame) go to padBuffer
 * and their bit count to *padBitsOut. With conceal non-zero nothing is read and the
 * concealment signal is output.
 * Results: LAYER2DEC_OK, LAYER2DEC_CONCEALED (output written, frame concealed),
 * LAYER2DEC_NOT_SYNCHRONISED and LAYER2DEC_NEED_MORE_INPUT (no output),
 * LAYER2DEC_INVALID_HANDLE, LAYER2DEC_INVALID_ARGUMENT (null pcm, or null PAD
 * buffer with PAD extraction), LAYER2DEC_NOT_LAYER2, LAYER2DEC_BUFFER_TOO_SMALL,
 * LAYER2DEC_UNSUPPORTED_RATE, LAYER2DEC_NO_TABLE, LAYER2DEC_SPATIAL_OPEN_FAILED,
 * LAYER2DEC_SPATIAL_FAILED. A failing frame is skipped: the next call moves on to
 * the frame after it. */
Layer2DecResult Layer2Dec_DecodeFrame(Layer2DecHandle handle, int16_t *pcm, uint32_t pcmCapacity,
                                      uint32_t *samplesOut, uint8_t *padBuffer, uint32_t padBufferSize,
                                      uint32_t *padBitsOut, int32_t conceal);

/* The stream information of the last frame; null for a null handle. */
const Layer2StreamInfo *Layer2Dec_GetStreamInfo(Layer2DecHandle handle);

/* Sets one parameter (Layer2DecParam). LAYER2DEC_OK; LAYER2DEC_INVALID_ARGUMENT
 * for a value out of range or an unknown id (checked before the handle);
 * LAYER2DEC_INVALID_HANDLE for a null handle or a missing component. */
Layer2DecResult Layer2Dec_SetParam(Layer2DecHandle handle, int32_t id, int32_t value);

/* Sets a table parameter: ids 262 and 263 with 16 values 0..255. LAYER2DEC_OK,
 * LAYER2DEC_INVALID_ARGUMENT (other id, null array or a value out of range; nothing
 * changes), LAYER2DEC_INVALID_HANDLE. */
Layer2DecResult Layer2Dec_SetParamArray(Layer2DecHandle handle, int32_t id, const int16_t *values);

/* Registers the toolbox row, then "Layer-2 Decoder Lib" (module 12, 2.3.0, flags
 * 0x1F) in the first free row. 0, or -1 for a null table or when no row is free. */
int Layer2Dec_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* LAYER2_DEC_H */
