#include "DabPlusDecode.h"

#include <vector>

uint32_t decodeDabPlusUnits(const EtiSubchannel &sub, const std::function<void(const DabPlusFrame &)> &frame)
{
    AacDecHandle h = nullptr;
    bool configured = false;
    std::vector<int16_t> pcm(8 * 2048);
    const uint32_t streamType = forEachDabPlusUnit(sub, [&](const DabPlusUnit &unit) {
        if (!h) {
            h = AacDec_Open(AACDEC_TT_RAW, 1);
            const uint8_t *configs[1] = {unit.config};
            const uint32_t lengths[1] = {unit.configLength};
            configured = h && AacDec_ConfigRaw(h, configs, lengths) == AACDEC_OK;
        }
        int result = AACDEC_UNSUPPORTED_FORMAT;
        if (configured) {
            const uint8_t *buffers[1] = {unit.data};
            const uint32_t sizes[1] = {unit.length};
            uint32_t valid[1] = {sizes[0]};
            AacDec_Fill(h, buffers, sizes, valid);
            result = AacDec_DecodeFrame(h, pcm.data(), static_cast<int32_t>(pcm.size()), 0);
        }
        if (h)
            frame({unit, result, pcm.data(), *AacDec_GetStreamInfo(h)});
    });
    AacDec_Close(h);
    return streamType;
}
