// Raw AAC access units on hostile input with a random configuration: the first two
// bytes choose the sampling-rate index, the frame length (1024 or 960) and the
// configured channel count; the rest is one raw data block, parsed, decoded through
// the spectral tools and synthesised.
#include "aac_rawblock.h"
#include "aac_spectral.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t rateIndex = data[0] & 15;
    const uint32_t frameLength = (data[0] & 0x10) ? 960 : 1024;
    const int channels = 1 + data[1] % AacRawBlockMaxChannels;
    static const uint32_t rates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                       16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    AacSamplingRateInfo sr{};
    if (AacDec_GetSamplingRateInfo(&sr, frameLength, rateIndex, rates[rateIndex] ? rates[rateIndex] : 48000) != 0)
        return 0;

    // The bit stream needs a power-of-two buffer.
    const size_t payload = size - 2;
    uint32_t bufferSize = 1;
    while (bufferSize < payload + 8)
        bufferSize <<= 1;
    std::vector<uint8_t> buffer(bufferSize, 0);
    std::memcpy(buffer.data(), data + 2, payload);
    RezBitStream bs;
    const uint32_t bits = static_cast<uint32_t>(payload * 8);
    RezTools_BitStreamInit(&bs, buffer.data(), bufferSize, bits, REZ_BIT_READ);

    static auto block = std::make_unique<AacDecRawBlock>();
    static auto spectra = std::make_unique<AacDecSpectrum[]>(AacRawBlockMaxChannels);
    static auto synth = std::make_unique<AacDecSynthesisState[]>(AacRawBlockMaxChannels);
    for (int c = 0; c < AacRawBlockMaxChannels; ++c)
        AacDec_InitSynthesis(&synth[c]);
    if (AacDec_ReadRawDataBlock(&bs, block.get(), &sr, 0, frameLength, bits, bits, channels) != 0)
        return 0;
    uint32_t seed = 0x3039;
    int32_t out[1024];
    int channel = 0;
    for (int e = 0; e < block->elementCount; ++e) {
        const AacDecElement &element = block->element[e];
        AacDecSpectrum *pair[2] = {&spectra[channel], &spectra[std::min(channel + 1, AacRawBlockMaxChannels - 1)]};
        if (AacDec_DecodeChannelElement(&element, pair, &sr, frameLength, &seed) != 0)
            return 0;
        for (int c = 0; c < element.channelCount; ++c, ++channel)
            AacDec_SynthesizeChannel(&synth[channel], &element.channel[c]->ics, &spectra[channel], out, frameLength);
    }
    return 0;
}
