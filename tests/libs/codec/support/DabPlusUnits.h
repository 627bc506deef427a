// The access units of a recorded DAB+ sub-channel as the superframe parser cuts them.
#ifndef ZOZ_TEST_DABPLUS_UNITS_H
#define ZOZ_TEST_DABPLUS_UNITS_H

#include "EtiSubchannels.h"

#include <cstdint>
#include <functional>

// One access unit with the AudioSpecificConfig the parser builds for its stream.
struct DabPlusUnit {
    const uint8_t *config;
    uint32_t configLength; // bytes
    const uint8_t *data;
    uint32_t length;
};

// Calls `unit` for every access unit of every whole superframe, in order. Returns the
// stream type of the last superframe header (DABPLUS_STREAM_...).
uint32_t forEachDabPlusUnit(const EtiSubchannel &sub, const std::function<void(const DabPlusUnit &)> &unit);

#endif
