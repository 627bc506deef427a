// libFuzzer target for the DAB+ decoder. The first byte chooses the superframe
// format (bit 0 dac_rate 48 kHz, bit 1 SBR, bit 2 stereo, bit 3 PS), the second
// the sub-channel size; the rest are the access units, cut to the share each unit
// has and sealed into superframes, so the AAC decoder sees them past RS and CRC.
#include "DABplusDecoder.h"
#include "ZozTestSuperframe.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr int MaxSuperframes = 4;

std::vector<uint8_t> seal(const uint8_t *data, size_t size, const ZozTestAac::SuperframeFormat &format)
{
    const std::vector<int> budgets = ZozTestAac::accessUnitBudgets(format);
    std::vector<uint8_t> stream;
    size_t at = 0;
    for (int s = 0; s < MaxSuperframes && at < size; ++s) {
        std::vector<std::vector<uint8_t>> units;
        for (int budget : budgets) {
            if (budget < 0)
                return stream;
            std::vector<uint8_t> unit(size_t(budget), 0);
            const size_t take = std::min(unit.size(), size - std::min(at, size));
            std::copy(data + at, data + at + take, unit.begin());
            at += take;
            units.push_back(std::move(unit));
        }
        const std::vector<uint8_t> superframe = ZozTestAac::buildSuperframe(format, units);
        stream.insert(stream.end(), superframe.begin(), superframe.end());
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    ZozTestAac::SuperframeFormat format;
    format.dacRate48 = data[0] & 1;
    format.sbr = data[0] & 2;
    format.stereo = data[0] & 4;
    format.ps = data[0] & 8;
    format.subchannelSize = 1 + data[1] % 24;
    const std::vector<uint8_t> stream = seal(data + 2, size - 2, format);
    const uint32_t n = uint32_t(format.subchannelSize);
    DABplusDecoderHandle h = nullptr;
    if (DABplusDecoder_Open(&h, n) != DABPLUS_DEC_OK)
        return 0;
    std::vector<int16_t> pcm(DABPLUS_DEC_OUTPUT_LIMIT);
    volatile uint32_t sink = 0;
    const size_t frameBytes = 24 * n;
    for (size_t at = 0; at + frameBytes <= stream.size(); at += frameBytes) {
        int32_t frames = 1;
        for (int call = 0; call < 8; ++call) {
            uint32_t samples = 0;
            DABplusDecoderFrameInfo *info = nullptr;
            const int r = DABplusDecoder_DecodeFrame(h, stream.data() + at, &frames, pcm.data(),
                                                     uint32_t(pcm.size() * 2), &samples, &info);
            if (r == DABPLUS_DEC_NEED_INPUT || (r == DABPLUS_DEC_OK && samples == 0 && frames == 0))
                break;
            // Every sample and PAD byte handed out must be readable.
            for (uint32_t i = 0; i < samples && i < pcm.size(); ++i)
                sink = sink + uint16_t(pcm[i]);
            if (info && info->pad)
                for (uint32_t i = 0; i < info->padLength[0]; ++i)
                    sink = sink + info->pad[i];
        }
    }
    DABplusDecoder_Close(&h);
    return 0;
}
