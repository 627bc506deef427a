// Nanoseconds per time slot of the QMF banks as SBR runs them (32-band complex analysis
// of the core signal, 64-band complex synthesis of the output) and of the hybrid bank
// as parametric stereo runs it (64 bands, analysis and synthesis), and of the
// decorrelator between them.
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

void hybrid(benchmark::State &state)
{
    const int mode = static_cast<int>(state.range(0));
    RezHybridAnalysis analysis{};
    RezHybridSynthesis synthesis{};
    std::vector<int32_t> filterState(13 * 3 * 2), delay(122 * 6), re(64), im(64), hre(80), him(80), outRe(64), outIm(64);
    std::mt19937 rng(5);
    for (size_t k = 0; k < 64; ++k) {
        re[k] = static_cast<int32_t>(rng() % (1 << 24)) - (1 << 23);
        im[k] = static_cast<int32_t>(rng() % (1 << 24)) - (1 << 23);
    }
    RezTools_HybridAnalysisOpen(&analysis, filterState.data(), static_cast<int>(filterState.size() * 4), delay.data(),
                                static_cast<int>(delay.size() * 4));
    RezTools_HybridAnalysisInit(&analysis, mode, 64, 64, 1);
    RezTools_HybridSynthesisInit(&synthesis, mode, 64, 64);
    for (auto _ : state) {
        RezTools_HybridAnalysisApply(&analysis, re.data(), im.data(), hre.data(), him.data());
        RezTools_HybridSynthesisApply(&synthesis, hre.data(), him.data(), outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
    }
}
BENCHMARK(hybrid)->Arg(0)->Arg(2);

} // namespace

// The parametric-stereo decorrelator over all 71 hybrid bands with its ducker.
namespace {

void decorrelator(benchmark::State &state)
{
    RezDecorrelator d{};
    std::vector<int32_t> buffer(REZ_DECORRELATOR_MIN_WORDS), re(71 * 64), im(71 * 64), outRe(71), outIm(71);
    std::mt19937 rng(6);
    for (size_t k = 0; k < re.size(); ++k) {
        re[k] = static_cast<int32_t>(rng() % (1 << 24)) - (1 << 23);
        im[k] = static_cast<int32_t>(rng() % (1 << 24)) - (1 << 23);
    }
    RezTools_DecorrelatorOpen(&d, buffer.data(), static_cast<int32_t>(buffer.size()));
    RezTools_DecorrelatorInit(&d, 71, 1, 0, 0, 0, 0, 0, 1, 1);
    size_t slot = 0;
    for (auto _ : state) {
        const size_t offset = 71 * (slot++ % 64);
        RezTools_DecorrelatorApply(&d, re.data() + offset, im.data() + offset, outRe.data(), outIm.data(), 0);
        benchmark::DoNotOptimize(outRe.data());
    }
}
BENCHMARK(decorrelator);

} // namespace
