// Building blocks of the DAB+ parser, shared by its source files and its tests.
#ifndef DABPLUS_PARSER_INTERNAL_H
#define DABPLUS_PARSER_INTERNAL_H

#include "DABplusParser.h"
#include "RsCodec.h"

#include <cstdint>

// Superframe header byte (byte 2 of a superframe).
constexpr uint32_t HeaderDacRate = 0x40;
constexpr uint32_t HeaderSbr = 0x20;
constexpr uint32_t HeaderChannelMode = 0x10;
constexpr uint32_t HeaderPs = 0x08;
constexpr uint32_t HeaderMpegSurround = 0x07;
constexpr uint16_t HeaderUnknown = 0xFFFF;

// Five logical frames of at most 24 * 24 bytes: the largest DAB+ superframe.
constexpr uint32_t SuperframeBufferSize = 2880;
constexpr uint32_t FramesPerSuperframe = 5;

// 1 when the CRC-16 of data[0..length) matches the two bytes that follow.
int DABplusParser_CheckAuCrc(const uint8_t *data, uint32_t length);
// Writes the AudioSpecificConfig for a superframe header byte; returns 2 or 4.
int DABplusParser_BuildAudioSpecificConfig(uint32_t headerByte, uint8_t *out, uint32_t *mpsConfig);
// RS correction of the n columns of a superframe. Returns -(uncorrectable codewords)
// when any, else the number of corrected codewords.
int DABplusParser_CorrectSuperframe(uint8_t *buffer, const RsCodecContext *rs, uint32_t n, int writeBack,
                                    DABplusParserStats *stats);
// 1 when five buffered logical frames hold a superframe that the Fire code and the
// RS code accept.
int DABplusParser_CheckSuperframeSync(uint8_t *buffer, const RsCodecContext *rs, uint32_t n,
                                      DABplusParserStats *stats);
// Corrects the superframe and fills the table with its CRC-checked AUs; takes byte 2
// as *headerByte when the header is trustworthy. Returns the number of good AUs.
int DABplusParser_SplitAccessUnits(DABplusAccessUnitTable *table, uint8_t *buffer, const RsCodecContext *rs,
                                   uint32_t n, DABplusParserStats *stats, int32_t *headerByte);

// The fields of a Layer II header, MSB first.
struct DABplusLayer2Header {
    uint32_t syncword;
    uint32_t id;
    uint32_t layer;
    uint32_t protection;
    uint32_t bitrateIndex;
    uint32_t samplingFrequencyIndex;
    uint32_t padding;
    uint32_t privateBit;
    uint32_t mode;
    uint32_t modeExtension;
};

struct DABplusLayer2Info {
    uint32_t sampleRate;
    uint32_t samplesPerFrame;
    uint32_t frameLength; // bytes
    uint32_t bitRate;     // bit/s
    uint32_t layer;
    uint32_t channels;
};

// -1 for fewer than 4 bytes or a null pointer, else 0.
int DABplusParser_ParseLayer2Header(DABplusLayer2Header *fields, const uint8_t *bytes, uint32_t length);
// 1 when the header is one of a DAB Layer II stream (48 or 24 kHz), with info filled.
int DABplusParser_CheckLayer2Header(const DABplusLayer2Header *fields, DABplusLayer2Info *info);
// -1 without a stored header or for an invalid new one, 0 for the same stream, 1 for
// a changed valid header.
int DABplusParser_CompareLayer2Header(const uint8_t *stored, const uint8_t *frame, uint32_t length);

#endif
