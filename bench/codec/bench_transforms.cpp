// Nanoseconds per call of the transforms that carry every AAC frame: the FFT of 480 and
// 512 points, the DCT-IV of 960 and 1024 and the inverse MDCT of a 960-sample frame.
#include "RezTools.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<int32_t> noise(size_t n, int bits)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> value(-(1 << bits), 1 << bits);
    std::vector<int32_t> out(n);
    for (int32_t &v : out)
        v = value(rng);
    return out;
}

// Times transform(data) on a fresh copy of the input in every iteration (the transforms
// work in place).
template <typename Transform>
void timeInPlace(benchmark::State &state, const std::vector<int32_t> &input, Transform transform)
{
    std::vector<int32_t> data(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(data.data(), input.data(), input.size() * sizeof(int32_t));
        state.ResumeTiming();
        transform(data.data());
        benchmark::DoNotOptimize(data.data());
    }
}

void fft(benchmark::State &state)
{
    const int length = static_cast<int>(state.range(0));
    timeInPlace(state, noise(2 * static_cast<size_t>(length), 24), [length](int32_t *data) {
        int scale = 0;
        RezTools_Fft(length, data, &scale);
    });
}
BENCHMARK(fft)->Arg(480)->Arg(512);

void dctIv(benchmark::State &state)
{
    const int length = static_cast<int>(state.range(0));
    timeInPlace(state, noise(static_cast<size_t>(length), 24), [length](int32_t *data) {
        int scale = 0;
        RezTools_DctIV(data, length, &scale);
    });
}
BENCHMARK(dctIv)->Arg(960)->Arg(1024);

void inverseMdct960(benchmark::State &state)
{
    std::vector<int32_t> overlap(480), output(960);
    RezImdctState imdct;
    std::memset(&imdct, 0, sizeof imdct);
    RezTools_ImdctInit(&imdct, overlap.data(), 480);
    const uint32_t *slope = RezTools_GetWindowSlope(960, 1);
    const int16_t scale = 17;
    timeInPlace(state, noise(960, 24), [&](int32_t *spectrum) {
        RezTools_InverseMdct(&imdct, output.data(), spectrum, &scale, 1, 960, 960, slope, 960, slope, 960, 0, 0);
    });
}
BENCHMARK(inverseMdct960);

} // namespace
