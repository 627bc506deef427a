// Records shared by the parts of the Layer II decoder.
#pragma once

#include "Layer2Dec.h"
#include "layer2_synthesis.h"

#include <cstdint>

struct PcmDmxInstance;

// Status of the synchroniser when a header no longer continues the stream; the
// caller conceals one frame and the next call searches again.
constexpr Layer2DecResult LAYER2DEC_SYNC_LOST = 0x81010002u;

// The fields of one 32-bit frame header and what follows from them.
struct Layer2FrameHeader
{
    uint32_t syncword;
    uint32_t bit20;        // the bit after the 11 sync bits (0 for MPEG-2.5, not supported)
    uint32_t id;           // 1 MPEG-1, 0 MPEG-2
    uint32_t layer;        // 4 - the two layer bits
    uint32_t crcPresent;   // inverse of the protection bit
    uint32_t bitRateIndex;
    uint32_t sampleRateIndex;
    uint32_t padding;
    uint32_t privateBit;
    uint32_t mode;
    uint32_t modeExtension;
    uint32_t copyright;
    uint32_t original;
    uint32_t emphasis;
    uint32_t valid;
    uint32_t versionIndex; // 0 MPEG-1, 1 MPEG-2
    uint32_t channels;
    uint32_t sampleRate;   // Hz
    uint32_t bitRate;      // bit/s
    uint32_t frameBits;    // with padding
    float durationMs;
};

// Bytes of the DAB frame tail, kept from one frame to the next because the
// scale-factor CRC of a frame travels in the tail of the frame after it.
struct Layer2PadTail
{
    uint16_t xpadLength;   // bytes before the scale-factor CRC, at most 196
    uint16_t scfCrcOk;     // 1 when every checked group matched
    uint8_t scfCrc[4];     // reversed: entry 0 is the byte just before the F-PAD
    uint8_t fpad[2];       // reversed: entry 0 is the last byte of the frame
    uint8_t present;       // 1 when the bytes came from a frame that was read
};

struct Layer2ConcealState
{
    int16_t fadeOut[16];   // Q15 gains
    int16_t fadeIn[16];
    uint16_t spareLevel;
    int32_t enabled;
    int32_t goodFramesNeeded;
    uint16_t fadeOutLength;
    uint16_t fadeInLength;
    int32_t noiseLevel;
    int32_t saved[2][Layer2TimeSlots][Layer2SubBands]; // last good frame, Q28
    uint32_t noiseSeed;
    int32_t index;
    uint32_t goodRun;
    int32_t state;         // 0 normal, 1 first bad frame, 2 fading in, 3 muted, 4 fading out
};

struct Layer2DrcState
{
    int32_t factorMantissa; // Q31
    int32_t factorExponent;
    uint8_t enabled;
    uint8_t present;
    uint8_t history[2];     // 0: value applied to this frame, 1: value received with the newest frame
};

enum Layer2FrameFlags : uint32_t {
    Layer2FlagInterleaved = 0x1,
    Layer2FlagDab = 0x2,
    Layer2FlagPad = 0x4,
};

struct Layer2FrameDecoder
{
    int32_t samples[2][Layer2TimeSlots][Layer2SubBands]; // requantised, Q28
    Layer2SynthesisState synthesis;
    // From the header at each frame start.
    int32_t channels;
    int32_t bitRateIndex;
    int32_t sampleRateIndex;
    int32_t frameBits;
    int32_t mode;
    int32_t modeExtension;
    int32_t headerBits;
    int32_t versionIndex;
    int32_t crcPresent;
    int32_t sampleRate;
    int32_t bitRate;
    // Scale factors of the current and the three previous frames, Q30.
    int32_t scalefactors[4][2][Layer2SubBands][3];
    uint8_t slotRing[4];   // slots of the three previous frames, then the current one
    uint8_t allocation[2][Layer2SubBands];
    uint8_t selection[2][Layer2SubBands];
    int32_t quantised[2][Layer2SubBands][Layer2TimeSlots]; // Q30
    uint8_t reliable[Layer2SubBands];
    uint8_t sblimit;
    Layer2PadTail tail;
    Layer2ConcealState conceal;
    Layer2DrcState drc;
    uint32_t ancillaryStart; // valid bits of the input where the audio data ended
    int32_t ancillaryBytes;
    uint32_t flags;          // Layer2FrameFlags
};

// Input stage: the bit stream over the input block and the synchronisation state.
struct Layer2Input
{
    uint8_t *buffer;
    uint32_t bufferSize;
    int ownBuffer;
    RezBitStream bs;
    Layer2DecResult status;
    uint32_t skippedBits;
    uint32_t verifyCount;
    uint32_t reference;
    Layer2FrameHeader header;
    uint16_t directInput;
};

// Stand-in for the spatial decoder until one is linked: it owns nothing and never
// finds spatial data usable.
struct Layer2Spatial;

struct Layer2DecInstance
{
    int32_t dabMode;
    int32_t padMode;
    Layer2StreamInfo info;
    Layer2Input input;
    Layer2FrameDecoder *frame;
    uint16_t endOfStream;
    PcmDmxInstance *downmix;
    int32_t *work;           // 8 x 1152 samples for the downmix
    Layer2Spatial *spatial;
    uint8_t spatialEnable;
    uint8_t spatialOutputMode;
};

// Header parsing and synchronisation.
void Layer2_ParseHeader(uint32_t word, int dabMode, Layer2FrameHeader *header);
void Layer2_InputReset(Layer2Input *input);
Layer2DecResult Layer2_Synchronise(Layer2Input *input, int dabMode);

// Frame decoding.
namespace Layer2Tables {
struct AllocationTable;
}
// The bit-allocation table of a frame; null for a combination that has none.
const Layer2Tables::AllocationTable *Layer2_ChooseTable(int versionIndex, int channels, int sampleRateIndex,
                                                        int bitRateIndex);
void Layer2_FrameReset(Layer2FrameDecoder *frame);
Layer2DecResult Layer2_DecodeFrame(Layer2FrameDecoder *frame, Layer2Input *input, int16_t *pcm, uint32_t pcmCapacity,
                                   uint32_t *samplesOut, uint8_t *padBuffer, uint32_t padBufferSize,
                                   uint32_t *padBitsOut, int conceal);

// Concealment and dynamic range control.
void Layer2_ConcealDefaults(Layer2ConcealState *state);
void Layer2_ConcealReset(Layer2ConcealState *state);
void Layer2_Conceal(Layer2ConcealState *state, int32_t samples[2][Layer2TimeSlots][Layer2SubBands], int good);
int Layer2_FadeTableFromAttenuations(const int16_t *attenuations, int16_t *table);
void Layer2_DrcDefaults(Layer2DrcState *state);
void Layer2_DrcReset(Layer2DrcState *state);
int Layer2_DrcSetFactor(Layer2DrcState *state, int value);
void Layer2_Drc(Layer2DrcState *state, int16_t *pcm, int channels, int interleaved, const uint8_t fpad[2]);
