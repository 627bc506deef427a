// libFuzzer target for the DAB+ parser.
#include "DABplusParser.h"
#include "SuperframeBuilder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Reads every byte the table hands out, CRC included, so that ASan sees any AU that
// points outside the parser's buffer.
uint32_t touch(const DABplusAccessUnitTable &table)
{
    uint32_t sum = 0;
    for (uint32_t i = 0; i < table.auCount && i < DABPLUS_MAX_ACCESS_UNITS; ++i) {
        if (!table.au[i])
            continue;
        const uint32_t extra = table.auCount > 1 ? 2 : 0;
        for (uint32_t b = 0; b < table.auLength[i] + extra; ++b)
            sum += table.au[i][b];
    }
    return sum;
}

// Turns the input into superframes: each 110 * n bytes become the audio part, with
// the Fire check bytes and the RS parity filled in.
std::vector<uint8_t> superframesFrom(const uint8_t *data, size_t size, uint32_t n, bool fixFire)
{
    std::vector<uint8_t> stream;
    const size_t audio = 110 * n;
    for (size_t offset = 0; offset + audio <= size; offset += audio) {
        std::vector<uint8_t> sf(120 * n, 0);
        std::memcpy(sf.data(), data + offset, audio);
        if (fixFire) {
            const uint16_t fire = SuperframeBuilder::fireCheck(&sf[2]);
            sf[0] = static_cast<uint8_t>(fire >> 8);
            sf[1] = static_cast<uint8_t>(fire & 0xFF);
        }
        SuperframeBuilder::encodeColumns(sf, n);
        stream.insert(stream.end(), sf.begin(), sf.end());
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t n = 1 + data[0] % DABPLUS_MAX_SUBCHANNEL_SIZE;
    const int limit = static_cast<int8_t>(data[1]) % 6;
    const uint8_t mode = data[2];
    const uint32_t framesPerCall = 1 + data[3] % 7;
    data += 4;
    size -= 4;

    std::vector<uint8_t> stream;
    if ((mode & 1) && n <= 24)
        stream = superframesFrom(data, size, n, mode & 2);
    else
        stream.assign(data, data + size);

    DABplusParserHandle parser = nullptr;
    if (DABplusParser_Open(&parser, n) != 0 || !parser)
        return 0;
    DABplusParser_SetParam(parser, 0, limit);
    const size_t frameSize = 24 * n;
    uint32_t frames = static_cast<uint32_t>(stream.size() / frameSize);
    const uint8_t *input = stream.data();
    DABplusAccessUnitTable table = {};
    volatile uint32_t sink = 0;
    // Every call takes at least one frame while frames are left; the bound only
    // guards the harness itself.
    for (uint32_t guard = 0; frames > 0 && guard < 4 * frames + 16; ++guard) {
        uint32_t offered = frames < framesPerCall ? frames : framesPerCall;
        const uint32_t before = offered;
        const int result = DABplusParser_ParseSuperframe(parser, input, &offered, &table);
        const uint32_t taken = before - offered;
        input += taken * frameSize;
        frames -= taken;
        if (result != 0)
            break;
        sink = sink + touch(table);
        uint8_t config[4];
        uint32_t mps = 0;
        sink = sink + static_cast<uint32_t>(DABplusParser_GetAudioConfig(parser, config, &mps));
        sink = sink + DABplusParser_GetSampleRate(parser);
        if ((mode & 4) && guard % 13 == 12)
            DABplusParser_Reset(parser, n);
    }
    DABplusParser_Close(&parser);
    return 0;
}
