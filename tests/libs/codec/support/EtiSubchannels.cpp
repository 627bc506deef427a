#include "EtiSubchannels.h"

#include "zoz_eti.h"

#include <cstdio>

std::map<uint32_t, EtiSubchannel> readEtiSubchannels(const std::string &path)
{
    std::map<uint32_t, EtiSubchannel> subchannels;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return subchannels;
    std::vector<uint8_t> bytes(ZOZ_ETI_FRAME_SIZE);
    while (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size()) {
        ZozEtiFrame frame;
        const int result = ZozEti_ParseFrame(bytes.data(), bytes.size(), &frame);
        if (result != ZOZ_ETI_OK && result != ZOZ_ETI_MST_CRC)
            continue;
        for (uint32_t s = 0; s < frame.nst; ++s) {
            const ZozEtiStream &stream = frame.streams[s];
            EtiSubchannel &sub = subchannels[stream.subChId];
            sub.id = stream.subChId;
            sub.size = stream.length / 24u;
            sub.bytes.insert(sub.bytes.end(), stream.data, stream.data + stream.length);
            ++sub.frames;
        }
    }
    std::fclose(file);
    return subchannels;
}
