// Layer II frame decoding on hostile input. Every frame header found in the input
// gets a correct CRC word, so that mutations get past the header check and reach
// the scale factors, the samples and the DAB tail.
#include "Layer2Dec.h"
#include "layer2_internal.h"
#include "layer2_tables.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Recomputes the CRC word of a frame at `frame` (at least `available` bytes).
void fixHeaderCrc(uint8_t *frame, size_t available)
{
    if (available < 6)
        return;
    const uint32_t word = static_cast<uint32_t>(frame[0]) << 24 | frame[1] << 16 | frame[2] << 8 | frame[3];
    Layer2FrameHeader h;
    Layer2_ParseHeader(word, 0, &h);
    if (!h.valid || !h.crcPresent)
        return;
    const auto *table = Layer2_ChooseTable(static_cast<int>(h.versionIndex), static_cast<int>(h.channels),
                                           static_cast<int>(h.sampleRateIndex), static_cast<int>(h.bitRateIndex));
    if (!table)
        return;
    // Count the allocation and selection bits, then run the CRC over them.
    std::vector<uint8_t> copy(frame, frame + available);
    RezBitStream bs;
    uint32_t size = 1;
    while (size < copy.size())
        size <<= 1;
    copy.resize(size, 0);
    RezTools_BitStreamInit(&bs, copy.data(), size, static_cast<uint32_t>(available * 8), REZ_BIT_READ);
    RezTools_BitStreamPushForward(&bs, 48);
    const int channels = static_cast<int>(h.channels);
    int bound = table->sblimit;
    if (h.mode == 1)
        bound = std::min<int>(bound, 4 * (static_cast<int>(h.modeExtension) + 1));
    uint32_t bits = 0;
    uint8_t alloc[2][32] = {};
    for (int sb = 0; sb < table->sblimit; ++sb) {
        const int nbal = table->rows[sb][0];
        for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
            alloc[ch][sb] = static_cast<uint8_t>(RezTools_BitStreamReadBits(&bs, static_cast<uint32_t>(nbal)));
            if (sb >= bound)
                alloc[1][sb] = alloc[0][sb];
            bits += static_cast<uint32_t>(nbal);
        }
    }
    for (int sb = 0; sb < table->sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb])
                bits += 2;
    if (48 + bits > available * 8)
        return;
    RezTools_BitStreamInit(&bs, copy.data(), size, static_cast<uint32_t>(available * 8), REZ_BIT_READ);
    uint16_t crc = 0xFFFF;
    RezTools_BitStreamPushForward(&bs, 16);
    RezTools_CrcUpdateBits(&crc, 0x8000, 0x8005, &bs, 16);
    RezTools_BitStreamPushForward(&bs, 16);
    RezTools_CrcUpdateBits(&crc, 0x8000, 0x8005, &bs, bits);
    frame[4] = static_cast<uint8_t>(crc >> 8);
    frame[5] = static_cast<uint8_t>(crc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t options = data[0];
    std::vector<uint8_t> input(data + 1, data + size);
    for (size_t i = 0; i + 6 <= input.size(); ++i)
        if (input[i] == 0xFF && (input[i + 1] & 0xE0) == 0xE0)
            fixHeaderCrc(&input[i], input.size() - i);

    const int dab = options & 1;
    const int pad = (options >> 1) & 1;
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, dab, pad);
    if (!dec)
        return 0;
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DIRECT_INPUT, (options >> 2) & 1);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_INTERLEAVED, (options >> 3) & 1);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_SPATIAL_ENABLE, (options >> 4) & 1);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DRC_FACTOR, (options >> 5) & 1 ? 127 : 0);
    static const int outputs[4] = {0, 1, 2, 6};
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_OUTPUT_CHANNELS, outputs[options >> 6]);

    std::vector<int16_t> pcm(6 * LAYER2DEC_FRAME_SAMPLES);
    std::vector<uint8_t> padBuffer(256);
    const bool direct = (options >> 2) & 1;
    size_t offset = 0;
    for (int calls = 0; calls < 4096; ++calls) {
        uint32_t samples = 0, padBits = 0;
        const Layer2DecResult r = Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples,
                                                        padBuffer.data(), static_cast<uint32_t>(padBuffer.size()),
                                                        &padBits, calls % 13 == 12 ? 1 : 0);
        if (samples > pcm.size() || padBits > 8 * padBuffer.size())
            __builtin_trap();
        if (LAYER2DEC_NEEDS_INPUT(r) || (direct && offset < input.size())) {
            if (offset >= input.size())
                break;
            // Direct input takes one piece per call, as a frame; streamed input fills up.
            const size_t n = std::min<size_t>(direct ? 1 + input[offset] * 8u : 777u, input.size() - offset);
            uint32_t valid = static_cast<uint32_t>(n);
            Layer2Dec_Fill(dec, input.data() + offset, static_cast<uint32_t>(n), &valid);
            offset += n - valid;
            if (valid == n && !direct)
                break; // no room and nothing decodable
        }
    }
    Layer2Dec_Close(&dec);
    return 0;
}
