// The AAC-LC core on 48 kHz stereo from ADTS (ffmpeg's encoder, 64 kbit/s, with
// intensity and mid/side): transport, raw data block, spectral tools and synthesis,
// as times faster than real time on one core (target: 300). The same stream and a 5.1
// one through the public path (AacDec_DecodeFrame to 16-bit PCM with the limiter).
#include "aac_core.h"
#include "aac_rawblock.h"
#include "aac_spectral.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> stream(const char *name = "core-48k-stereo-64k-is.aac")
{
    std::ifstream in(std::string(ZOZ_SOURCE_DIR "/tests/libs/codec/aac/fixtures/") + name, std::ios::binary);
    const std::vector<uint8_t> once((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // 0.3 s repeated 100 times, so that opening the decoder does not count.
    std::vector<uint8_t> all;
    for (int i = 0; i < 100 && !once.empty(); ++i)
        all.insert(all.end(), once.begin(), once.end());
    return all;
}

// A fresh ADTS decoder fed from the whole stream.
struct AdtsFeed
{
    AacDecHandle h = AacDec_Open(AACDEC_TT_ADTS, 1);
    const uint8_t *buffers[1];
    uint32_t sizes[1];
    uint32_t valid[1];

    explicit AdtsFeed(const std::vector<uint8_t> &bytes)
        : buffers{bytes.data()}, sizes{static_cast<uint32_t>(bytes.size())}, valid{sizes[0]}
    {
    }
    ~AdtsFeed() { AacDec_Close(h); }
    void fill()
    {
        if (valid[0] > 0)
            AacDec_Fill(h, buffers, sizes, valid);
    }
};

void AacCore48kStereo(benchmark::State &state)
{
    const std::vector<uint8_t> bytes = stream();
    if (bytes.empty()) {
        state.SkipWithError("fixture missing");
        return;
    }
    auto block = std::make_unique<AacDecRawBlock>();
    auto spectra = std::make_unique<AacDecSpectrum[]>(2);
    auto synth = std::make_unique<AacDecSynthesisState[]>(2);
    AacDec_InitSynthesis(&synth[0]);
    AacDec_InitSynthesis(&synth[1]);
    std::vector<int32_t> out(1024);
    uint32_t seed = 0x3039;
    int64_t frames = 0;
    for (auto _ : state) {
        AdtsFeed feed(bytes);
        AacDecHandle h = feed.h;
        for (int guard = 0; guard < 100000; ++guard) {
            feed.fill();
            const int r = TpDec_ReadAccessUnit(h->transport, 0);
            if (r == TPDEC_NOT_ENOUGH_BITS && feed.valid[0] > 0)
                continue;
            if (r != TPDEC_OK)
                break;
            RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
            const uint32_t start = RezTools_BitStreamGetValidBits(bs);
            const uint32_t length = static_cast<uint32_t>(TpDec_GetAccessUnitLength(h->transport, 0));
            if (AacDec_ReadRawDataBlock(bs, block.get(), &h->samplingRateInfo, h->flags, 1024, start, length, 2) == 0) {
                AacDecSpectrum *pair[2] = {&spectra[0], &spectra[1]};
                AacDec_DecodeChannelElement(&block->element[0], pair, &h->samplingRateInfo, 1024, &seed);
                for (int c = 0; c < block->element[0].channelCount; ++c) {
                    AacDec_SynthesizeChannel(&synth[c], &block->element[0].channel[c]->ics, &spectra[c], out.data(), 1024);
                    benchmark::DoNotOptimize(out.data());
                }
                ++frames;
            }
            TpDec_EndAccessUnit(h->transport);
        }
    }
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(frames) * 1024.0 / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(AacCore48kStereo);

void decodeFrames(benchmark::State &state, const char *file)
{
    const std::vector<uint8_t> bytes = stream(file);
    if (bytes.empty()) {
        state.SkipWithError("fixture missing");
        return;
    }
    std::vector<int16_t> pcm(8 * 1024);
    int64_t frames = 0;
    for (auto _ : state) {
        AdtsFeed feed(bytes);
        for (int guard = 0; guard < 100000; ++guard) {
            feed.fill();
            const int r = AacDec_DecodeFrame(feed.h, pcm.data(), static_cast<int32_t>(pcm.size()), 0);
            if (r == AACDEC_NOT_ENOUGH_INPUT)
                break;
            benchmark::DoNotOptimize(pcm.data());
            frames += r == AACDEC_OK;
        }
    }
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(frames) * 1024.0 / 48000.0, benchmark::Counter::kIsRate);
}

void AacDecodeFrame48kStereo(benchmark::State &state)
{
    decodeFrames(state, "core-48k-stereo-64k-is.aac");
}
BENCHMARK(AacDecodeFrame48kStereo);

void AacDecodeFrame48k51(benchmark::State &state)
{
    decodeFrames(state, "core-48k-5.1-256k.aac");
}
BENCHMARK(AacDecodeFrame48k51);

} // namespace
