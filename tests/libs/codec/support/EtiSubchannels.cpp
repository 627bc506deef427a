#include "EtiSubchannels.h"

#include <cstdio>

namespace {

constexpr size_t FrameBytes = 6144;
constexpr uint32_t SyncEven = 0x073AB6, SyncOdd = 0xF8C549;

} // namespace

std::map<uint32_t, EtiSubchannel> readEtiSubchannels(const std::string &path)
{
    std::map<uint32_t, EtiSubchannel> subchannels;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return subchannels;
    std::vector<uint8_t> frame(FrameBytes);
    while (std::fread(frame.data(), 1, FrameBytes, file) == FrameBytes) {
        const uint32_t sync = frame[1] << 16 | frame[2] << 8 | frame[3];
        if (sync != SyncEven && sync != SyncOdd)
            continue;
        // FC: FCT, FICF + NST, FP + MID + FL.
        const bool hasFic = frame[5] & 0x80;
        const uint32_t streams = frame[5] & 0x7F;
        const uint32_t mode = (frame[6] >> 3) & 3;
        size_t offset = 8 + 4 * streams + 4; // stream descriptors, then EOH
        if (hasFic)
            offset += mode == 3 ? 128 : 96;
        for (uint32_t s = 0; s < streams; ++s) {
            const uint8_t *d = &frame[8 + 4 * s];
            const uint32_t id = d[0] >> 2;
            const uint32_t words = (d[2] & 0x03) << 8 | d[3]; // STL, 64-bit words
            const size_t length = 8 * static_cast<size_t>(words);
            if (offset + length > FrameBytes)
                break;
            EtiSubchannel &sub = subchannels[id];
            sub.id = id;
            sub.size = words / 3;
            sub.bytes.insert(sub.bytes.end(), frame.begin() + static_cast<long>(offset),
                             frame.begin() + static_cast<long>(offset + length));
            ++sub.frames;
            offset += length;
        }
    }
    std::fclose(file);
    return subchannels;
}
