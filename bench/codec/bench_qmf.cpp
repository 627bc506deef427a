// Nanoseconds per time slot of the QMF banks as SBR runs them: 32-band complex analysis
// of the core signal, 64-band complex synthesis of the output.
#include "RezTools.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void qmfAnalysis32(benchmark::State &state)
{
    RezQmfFilterBank bank{};
    std::vector<int16_t> history(320), input(32 * 64);
    std::vector<int32_t> work(64), re(32), im(32);
    std::mt19937 rng(3);
    for (int16_t &v : input)
        v = static_cast<int16_t>(rng() % 20000 - 10000);
    RezTools_QmfAnalysisInit(&bank, history.data(), 1, 32, 32, 32, 0);
    size_t slot = 0;
    for (auto _ : state) {
        RezTools_QmfAnalysisSlot(&bank, re.data(), im.data(), input.data() + 32 * (slot++ % 64), 1, work.data());
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(qmfAnalysis32);

void qmfSynthesis64(benchmark::State &state)
{
    RezQmfFilterBank bank{};
    std::vector<int32_t> history(9 * 64), work(128), re(64), im(64);
    std::vector<int16_t> output(64);
    std::mt19937 rng(4);
    for (size_t k = 0; k < 64; ++k) {
        re[k] = static_cast<int32_t>(rng() % (1 << 20)) - (1 << 19);
        im[k] = static_cast<int32_t>(rng() % (1 << 20)) - (1 << 19);
    }
    RezTools_QmfSynthesisInit(&bank, nullptr, nullptr, nullptr, history.data(), 1, 64, 64, 64, 0);
    for (auto _ : state) {
        RezTools_QmfSynthesisSlot(&bank, re.data(), im.data(), 0, 0, output.data(), 1, work.data());
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(qmfSynthesis64);

} // namespace
