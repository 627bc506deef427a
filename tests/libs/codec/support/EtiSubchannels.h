// Reads the stream sub-channels out of an ETI-NI recording (6144-byte frames).
#ifndef ZOZ_TEST_ETI_SUBCHANNELS_H
#define ZOZ_TEST_ETI_SUBCHANNELS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct EtiSubchannel {
    uint32_t id = 0;          // SCID
    uint32_t size = 0;        // n: 24 * n bytes per logical frame
    std::vector<uint8_t> bytes; // the logical frames of every ETI frame, in order
    uint32_t frames = 0;
};

// Sub-channels by id; empty when the file cannot be read. Frames that do not
// parse (no sync word, wrong header CRC, lengths beyond the frame) are skipped.
std::map<uint32_t, EtiSubchannel> readEtiSubchannels(const std::string &path);

#endif
