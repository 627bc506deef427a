// Reads the FIC out of ETI-NI recordings (6144-byte frames) for tests.
#ifndef ZOZ_TESTS_ETI_TEST_READER_H
#define ZOZ_TESTS_ETI_TEST_READER_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ZOZ::Test {

constexpr size_t EtiFrameBytes = 6144;

struct EtiFic {
    std::vector<uint8_t> bytes;   // 96 bytes (3 FIBs) or 128 in mode III
    int numFibs() const { return static_cast<int>(bytes.size() / 32); }
};

inline std::string testDataPath(const char *name) { return std::string(ZOZ_TESTDATA_DIR) + "/" + name; }

inline std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The FIC of every frame with a sync word and the FIC flag; empty when the
// file is missing.
inline std::vector<EtiFic> readEtiFics(const std::string &path)
{
    const std::vector<uint8_t> file = readFile(path);
    std::vector<EtiFic> fics;
    for (size_t offset = 0; offset + EtiFrameBytes <= file.size(); offset += EtiFrameBytes) {
        const uint8_t *frame = file.data() + offset;
        const uint32_t sync = (frame[1] << 16) | (frame[2] << 8) | frame[3];
        if (sync != 0x073AB6 && sync != 0xF8C549)
            continue;
        const bool hasFic = (frame[5] & 0x80) != 0;
        const int streams = frame[5] & 0x7F;
        const int mode = (frame[6] >> 3) & 0x03;
        if (!hasFic)
            continue;
        const size_t ficOffset = 4 + 4 + 4 * static_cast<size_t>(streams) + 4;
        const size_t ficBytes = mode == 3 ? 128 : 96;
        EtiFic fic;
        fic.bytes.assign(frame + ficOffset, frame + ficOffset + ficBytes);
        fics.push_back(std::move(fic));
    }
    return fics;
}

} // namespace ZOZ::Test

#endif
