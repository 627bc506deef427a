// Reads the FIC out of ETI-NI recordings (6144-byte frames) for tests.
#ifndef ZOZ_TESTS_ETI_TEST_READER_H
#define ZOZ_TESTS_ETI_TEST_READER_H

#include "zoz_eti.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ZOZ::Test {

constexpr size_t EtiFrameBytes = ZOZ_ETI_FRAME_SIZE;

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

// The FIC of every frame that parses and carries one (a wrong MST CRC is the
// FIBs' own CRCs to catch); empty when the file is missing.
inline std::vector<EtiFic> readEtiFics(const std::string &path)
{
    const std::vector<uint8_t> file = readFile(path);
    std::vector<EtiFic> fics;
    for (size_t offset = 0; offset + EtiFrameBytes <= file.size(); offset += EtiFrameBytes) {
        ZozEtiFrame frame;
        const int result = ZozEti_ParseFrame(file.data() + offset, EtiFrameBytes, &frame);
        if ((result != ZOZ_ETI_OK && result != ZOZ_ETI_MST_CRC) || !frame.fic)
            continue;
        EtiFic fic;
        fic.bytes.assign(frame.fic, frame.fic + frame.ficLength);
        fics.push_back(std::move(fic));
    }
    return fics;
}

} // namespace ZOZ::Test

#endif
