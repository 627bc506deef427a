// SBR high-band generation and envelope adjustment per frame of a stereo 48 kHz stream
// (960-sample frames: 30 QMF slots after 6 overlap slots, SBR range 16..48, two
// envelopes per channel): the gains and their application to the slots with smoothing
// and noise.
#include "SbrEnvelopeAdjuster.h"
#include "SbrLpp.h"
#include "SbrSlotAdjuster.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int Slots = 36, Bands = 32;

struct Channel
{
    std::vector<int32_t> re = std::vector<int32_t>(Slots * SBR_QMF_BANDS), im = re;
    int32_t *reRows[Slots], *imRows[Slots];
    SbrLppTransposer lpp{};
    SbrQmfScaling scale{};
    explicit Channel(unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int32_t> value(-(1 << 26), 1 << 26);
        for (int i = 0; i < Slots; ++i) {
            reRows[i] = re.data() + i * SBR_QMF_BANDS;
            imRows[i] = im.data() + i * SBR_QMF_BANDS;
        }
        for (auto *v : {&re, &im})
            for (int32_t &x : *v)
                x = value(random);
    }
};

void SbrHighBandPerStereoFrame(benchmark::State &state)
{
    SbrTransposerConfig settings{};
    Channel channels[2] = {Channel(1), Channel(2)};
    std::vector<uint8_t> master;
    for (int k = 16; k <= 48; k += 2)
        master.push_back(static_cast<uint8_t>(k));
    const uint8_t noise[] = {16, 30, 48};
    for (int c = 0; c < 2; ++c)
        SbrDec_LppCreate(&channels[c].lpp, &settings, 16, master.data(), 16, 48, 15, 30, noise, 2, 48000, c, 6);

    SbrBandLevels levels{};
    for (int k = 0; k < Bands; ++k) {
        levels.referenceEnergy[k] = levels.estimatedEnergy[k] = 0x40000000 + k * 0x100000;
        levels.referenceExponent[k] = static_cast<int8_t>(40 + (k & 3));
        levels.estimatedExponent[k] = 40;
        levels.noiseFloor[k] = 0x40000000;
        levels.noiseFloorExponent[k] = -6;
    }
    const uint8_t limiter[] = {0, 4, 8, 14, 20, 28, 32};
    uint8_t modes[2] = {2, 2};
    int32_t alias[SBR_QMF_BANDS];
    SbrBandGains gains{};
    // Silent stand-in for the noise sequence: the work per sample is the same.
    const std::vector<SbrNoiseEntry> noiseTable(SBR_NOISE_ENTRIES);
    SbrEnvelopeAdjuster adjusters[2] = {};
    for (SbrEnvelopeAdjuster &a : adjusters)
        SbrDec_EnvelopeAdjusterRestart(&a);
    const int borders[] = {6, 21, Slots};
    for (auto _ : state) {
        for (int c = 0; c < 2; ++c) {
            Channel &ch = channels[c];
            SbrDec_LppTranspose(&ch.lpp, &ch.scale, ch.reRows, alias, ch.imRows, 0, 0, 16, 2, 0, 0, 2, modes, modes);
            for (int envelope = 0; envelope < 2; ++envelope) {
                SbrDec_EnvelopeGains(&levels, Bands, limiter, 6, 2, 0, 0, &gains);
                SbrDec_AdjustEnvelopeSlots(&adjusters[c], &gains, ch.reRows, ch.imRows, 16, Bands, borders[envelope],
                                           borders[envelope + 1], SBR_SLOTS_COMPLEX, 0, 0, 0, 0, 0,
                                           noiseTable.data());
            }
            benchmark::DoNotOptimize(ch.re.data());
            benchmark::DoNotOptimize(&gains);
        }
    }
    // Frames of 20 ms: items per second over 50 is the real-time factor.
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SbrHighBandPerStereoFrame);

} // namespace
