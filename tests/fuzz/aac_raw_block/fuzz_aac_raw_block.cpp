// Raw AAC access units on hostile input with a random configuration, through the
// decoder's public path: the first two bytes choose the sampling-rate index, the
// frame length (1024 or 960), the channel layout and the dynamic range settings
// (heavy compression, cut, boost, normalisation, limiter); the rest is one access unit,
// decoded to PCM and then concealed once.
#include "AacDec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Channel configuration by channel count 1..8 (7 channels: 3/2/1 with LFE behind).
const uint8_t configurationOfChannels[8] = {1, 2, 3, 4, 5, 6, 11, 7};

struct Decoder
{
    AacDecHandle h = AacDec_Open(AACDEC_TT_RAW, 1);
    ~Decoder() { AacDec_Close(h); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t rateIndex = data[0] & 15;
    const uint32_t frameLength960 = (data[0] & 0x10) ? 1 : 0;
    const uint32_t channelConfig = configurationOfChannels[data[1] % 8];
    // AudioSpecificConfig: AAC-LC, the rate index, the layout, the GA bits.
    const uint8_t config[2] = {static_cast<uint8_t>((2 << 3) | (rateIndex >> 1)),
                               static_cast<uint8_t>(((rateIndex & 1) << 7) | (channelConfig << 3) |
                                                    (frameLength960 << 2))};
    static Decoder decoder;
    const uint8_t *configs[1] = {config};
    const uint32_t configLengths[1] = {2};
    if (AacDec_ConfigRaw(decoder.h, configs, configLengths) != AACDEC_OK)
        return 0;
    const uint8_t drc = static_cast<uint8_t>(data[1] >> 3);
    AacDec_SetParam(decoder.h, AACDEC_PARAM_DRC_HEAVY, drc & 1);
    AacDec_SetParam(decoder.h, AACDEC_PARAM_DRC_CUT, (drc & 2) ? 127 : 0);
    AacDec_SetParam(decoder.h, AACDEC_PARAM_DRC_BOOST, (drc & 4) ? 127 : 0);
    AacDec_SetParam(decoder.h, AACDEC_PARAM_DRC_TARGET_LEVEL, (drc & 8) ? -1 : 96);
    AacDec_SetParam(decoder.h, AACDEC_PARAM_LIMITER_ENABLE, (drc & 16) ? 0 : -1);
    static std::vector<uint8_t> ancillary(512);
    AacDec_AncDataInit(decoder.h, ancillary.data(), static_cast<int32_t>(ancillary.size()));

    static std::vector<int16_t> pcm(8 * 1024);
    const uint8_t *buffers[1] = {data + 2};
    const uint32_t sizes[1] = {static_cast<uint32_t>(size - 2)};
    uint32_t valid[1] = {sizes[0]};
    AacDec_Fill(decoder.h, buffers, sizes, valid);
    AacDec_DecodeFrame(decoder.h, pcm.data(), static_cast<int32_t>(pcm.size()), 0);
    AacDec_DecodeFrame(decoder.h, pcm.data(), static_cast<int32_t>(pcm.size()), AACDEC_FLAG_CONCEAL);
    return 0;
}
