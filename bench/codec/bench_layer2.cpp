// Layer II decoding of 48 kHz stereo at 192 kbit/s, and the limiter on the same
// amount of audio: how many times faster than real time on one core (target for
// the decoder: 300).
#include "Layer2Dec.h"
#include "TdLimiter.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> stream()
{
    std::ifstream in(ZOZ_SOURCE_DIR "/tests/libs/codec/layer2/fixtures/tl-48k-stereo-192-crc.mp2", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Layer2Decode48kStereo192(benchmark::State &state)
{
    const std::vector<uint8_t> bytes = stream();
    constexpr size_t FrameBytes = 576;
    const size_t frames = bytes.size() / FrameBytes;
    if (frames == 0) {
        state.SkipWithError("fixture missing");
        return;
    }
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, 0, 0);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    size_t next = 0;
    int64_t decoded = 0;
    for (auto _ : state) {
        uint32_t valid = FrameBytes;
        Layer2Dec_Fill(dec, &bytes[next * FrameBytes], FrameBytes, &valid);
        uint32_t samples = 0;
        benchmark::DoNotOptimize(Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples,
                                                       nullptr, 0, nullptr, 0));
        next = (next + 1) % frames;
        ++decoded;
    }
    Layer2Dec_Close(&dec);
    // Each frame is 24 ms of audio.
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(decoded) * 0.024, benchmark::Counter::kIsRate);
}
BENCHMARK(Layer2Decode48kStereo192);

void TdLimiter48kStereo(benchmark::State &state)
{
    TdLimiterHandle limiter = TdLimiter_Create(15, 50, 0x7FFFFFFF / 2, 2, 48000);
    std::vector<int32_t> in(2 * 1024), work(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int32_t>((i * 7919) % 65536 - 32768) << 5;
    std::vector<int16_t> out(in.size());
    const int32_t mantissa = 0x7FFFFFFF, exponent = 0;
    int64_t blocks = 0;
    for (auto _ : state) {
        work = in;
        TdLimiter_Apply(limiter, work.data(), out.data(), &mantissa, &exponent, 0, 0, 1024);
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    TdLimiter_Destroy(limiter);
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(blocks) * 1024.0 / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(TdLimiter48kStereo);

} // namespace
