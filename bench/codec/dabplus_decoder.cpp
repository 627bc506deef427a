// DAB+ through the DAB+ decoder: AAC-LC with 960-sample frames, 48 kHz stereo at
// 128 kbit/s (six access units a superframe) from the test encoder, superframe
// parsing, RS and CRC checks, the AAC core, downmix and limiter to 16-bit PCM, as
// times faster than real time on one core (target: 300).
#include "DABplusDecoder.h"
#include "ZozTestSuperframe.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int SubchannelSize = 16; // 128 kbit/s
constexpr int Superframes = 25;    // 3 s
constexpr double SuperframeSeconds = 0.12;

std::vector<uint8_t> superframes()
{
    ZozTestAac::EncoderOptions options;
    options.frameLength = 960;
    ZozTestAac::Encoder encoder(options);
    std::vector<int16_t> pcm(size_t(6 * Superframes + 2) * 960 * 2);
    for (size_t i = 0; i < pcm.size() / 2; ++i)
        for (size_t c = 0; c < 2; ++c) {
            const double t = double(i) / 48000;
            pcm[2 * i + c] = int16_t(4000 * std::sin(2 * M_PI * (220 + 110 * double(c)) * t) +
                                     2000 * std::sin(2 * M_PI * 1760 * t) + 500 * std::sin(2 * M_PI * 7040 * t));
        }
    encoder.push(pcm.data(), pcm.size() / 2);
    ZozTestAac::SuperframeFormat format;
    format.subchannelSize = SubchannelSize;
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t> &superframe : ZozTestAac::encodeSuperframes(encoder, format))
        bytes.insert(bytes.end(), superframe.begin(), superframe.end());
    return bytes;
}

void DabPlusAacLc128kStereo(benchmark::State &state)
{
    const std::vector<uint8_t> bytes = superframes();
    const size_t frameBytes = 24 * SubchannelSize;
    DABplusDecoderHandle h = nullptr;
    if (bytes.size() < Superframes * 5 * frameBytes || DABplusDecoder_Open(&h, SubchannelSize) != DABPLUS_DEC_OK) {
        state.SkipWithError("no stream or no decoder");
        return;
    }
    std::vector<int16_t> pcm(81920);
    int64_t units = 0;
    for (auto _ : state) {
        for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
            int32_t frames = 1;
            for (int call = 0; call < 8; ++call) {
                uint32_t samples = 0;
                DABplusDecoderFrameInfo *info = nullptr;
                const int r = DABplusDecoder_DecodeFrame(h, bytes.data() + at, &frames, pcm.data(),
                                                         uint32_t(pcm.size() * 2), &samples, &info);
                if (r != DABPLUS_DEC_OK || samples == 0)
                    break;
                benchmark::DoNotOptimize(pcm.data());
                ++units;
            }
        }
    }
    DABplusDecoder_Close(&h);
    state.counters["realtime"] =
        benchmark::Counter(double(units) * SuperframeSeconds / 6, benchmark::Counter::kIsRate);
}
BENCHMARK(DabPlusAacLc128kStereo);

} // namespace
