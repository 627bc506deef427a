// Small ETI-NI recordings written by the tests themselves.
#pragma once

#include "zoz_eti.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace EtiFixture {

using Bytes = std::vector<uint8_t>;

// The two streams of every fixture frame.
struct StreamShape {
    uint8_t subChId;
    uint16_t startAddress;
    uint16_t bitRate;  // kbit/s: bit rate x 3 bytes per frame
};
inline const StreamShape Streams[] = {{3, 0, 128}, {7, 96, 16}};

// Byte `i` of frame `n`'s FIC, so every frame differs.
inline uint8_t ficByte(int n, int i)
{
    return uint8_t(n * 31 + i);
}

inline uint8_t streamByte(int n, int stream, int i)
{
    return uint8_t(n * 17 + stream * 101 + i * 3);
}

inline Bytes frame(int n, bool badHeaderCrc = false)
{
    Bytes fic(96);
    for (int i = 0; i < 96; ++i)
        fic[size_t(i)] = ficByte(n, i);
    std::vector<Bytes> data;
    ZozEtiFrameInput input{};
    input.err = ZOZ_ETI_ERR_NONE;
    input.fct = uint8_t(n % 250);
    input.mode = 1;
    input.fic = fic.data();
    input.nst = 2;
    for (int s = 0; s < 2; ++s) {
        Bytes bytes(size_t(Streams[s].bitRate) * 3);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = streamByte(n, s, int(i));
        data.push_back(bytes);
    }
    for (int s = 0; s < 2; ++s)
        input.streams[s] = {Streams[s].subChId, Streams[s].startAddress, 0, data[size_t(s)].data(),
                            uint16_t(data[size_t(s)].size())};
    Bytes out(ZOZ_ETI_FRAME_SIZE);
    ZozEti_WriteFrame(&input, out.data());
    if (badHeaderCrc)
        out[8 + 4 * 2 + 2] ^= 0xFF;
    return out;
}

// Writes `count` frames; frames listed in `bad` get a wrong header CRC.
inline void writeRecording(const std::filesystem::path &path, int count, const std::vector<int> &bad = {})
{
    std::ofstream out(path, std::ios::binary);
    for (int n = 0; n < count; ++n) {
        bool isBad = false;
        for (int b : bad)
            isBad = isBad || b == n;
        const Bytes bytes = frame(n, isBad);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
}

} // namespace EtiFixture
