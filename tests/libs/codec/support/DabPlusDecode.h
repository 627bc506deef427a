// The access units of a recorded DAB+ sub-channel through the AAC decoder.
#ifndef ZOZ_TEST_DABPLUS_DECODE_H
#define ZOZ_TEST_DABPLUS_DECODE_H

#include "AacDec.h"
#include "DabPlusUnits.h"

#include <cstdint>
#include <functional>

// What one access unit decoded to: the decoder's result and, for a usable result, its
// interleaved output as the stream info describes it.
struct DabPlusFrame {
    const DabPlusUnit &unit;
    int result;
    const int16_t *pcm;
    const AacDecStreamInfo &info;
};

// Decodes every access unit of every whole superframe in order, with a raw-transport
// decoder configured from the first unit's AudioSpecificConfig, and calls `frame`
// after each. Returns the stream type as forEachDabPlusUnit does.
uint32_t decodeDabPlusUnits(const EtiSubchannel &sub, const std::function<void(const DabPlusFrame &)> &frame);

#endif
