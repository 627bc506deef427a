// FIB pushes per second for an unchanged FIC (the steady state on air) and for
// pushes that change every service followed by a full walk of the services;
// the unchanged push reports its 99th percentile (target: below 0.1 ms).
#include "FicTestSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace ZOZ::Test;

namespace {

constexpr int Services = 16;

// An ensemble's FIC as pushes of three FIBs: FIG 0/0, sub-channels, services,
// component SCIdS, user applications, ensemble and service labels.
std::vector<Bytes> ensemblePushes(char labelFill)
{
    std::vector<Bytes> figs;
    Bits zero = type0(0);
    zero.put(0x9200, 16).put(0, 2).put(0, 1).put(0, 5).put(0, 8);
    figs.push_back(fig(0, zero));
    for (int s = 0; s < Services; ++s) {
        Bits sub = type0(1);
        sub.put(s, 6).put(s * 36, 10).put(1, 1).put(0, 3).put(2, 2).put(36, 10);
        figs.push_back(fig(0, sub));
        Bits service = type0(2);
        service.put(0x9201 + s, 16).put(0, 1).put(0, 3).put(1, 4).put(0, 2).put(63, 6).put(s, 6).put(1, 1).put(0, 1);
        figs.push_back(fig(0, service));
        Bits scids = type0(8);
        scids.put(0x9201 + s, 16).put(0, 1).put(0, 3).put(0, 4).put(0, 1).put(0, 1).put(s, 6);
        figs.push_back(fig(0, scids));
        Bits apps = type0(13);
        apps.put(0x9201 + s, 16).put(0, 4).put(1, 4).put(2, 11).put(2, 5).put(0x0C, 8).put(0x0D, 8);
        figs.push_back(fig(0, apps));
        char text[17];
        std::snprintf(text, sizeof text, "Service %02d%c%c%c%c%c%c", s, labelFill, labelFill, labelFill, labelFill,
                      labelFill, labelFill);
        Bits label = type1(1);
        label.put(0x9201 + s, 16).text(text).put(0xFF00, 16);
        figs.push_back(fig(1, label));
    }
    Bits ensemble = type1(0);
    ensemble.put(0x9200, 16).text("Bench Ensemble  ").put(0xFF00, 16);
    figs.push_back(fig(1, ensemble));

    // Pack greedily into FIBs, three FIBs to a push.
    std::vector<Bytes> fibs;
    std::vector<Bytes> current;
    size_t used = 0;
    for (const Bytes &f : figs) {
        if (used + f.size() > 30) {
            fibs.push_back(fib(current));
            current.clear();
            used = 0;
        }
        current.push_back(f);
        used += f.size();
    }
    fibs.push_back(fib(current));
    while (fibs.size() % 3 != 0)
        fibs.push_back(fib({}));
    std::vector<Bytes> pushes;
    for (size_t i = 0; i < fibs.size(); i += 3)
        pushes.push_back(join({fibs[i], fibs[i + 1], fibs[i + 2]}));
    return pushes;
}

int walkServices(const FicDecoder *d)
{
    int components = 0;
    const int count = DAB_Bb_Ruz_FicDecoderGetNumServices(d, 0);
    for (int i = 0; i < count; ++i) {
        FicServiceInfo service;
        DAB_Bb_Ruz_FicDecoderGetService(d, 0, i, &service);
        const int n = DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(d, service.serviceId, 0);
        for (int c = 0; c < n; ++c) {
            FicServiceComponentInfo component;
            components += DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, service.serviceId, 0, c, &component) == 0;
        }
    }
    return components;
}

void BM_FicPushUnchanged(benchmark::State &state)
{
    const std::vector<Bytes> pushes = ensemblePushes('a');
    DecoderPtr decoder = makeDecoder();
    for (const Bytes &p : pushes)
        DAB_Bb_Ruz_FicDecoderPushFibs(decoder.get(), p.data(), 3);
    std::vector<double> micros;
    size_t next = 0;
    for (auto _ : state) {
        const Bytes &p = pushes[next++ % pushes.size()];
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(DAB_Bb_Ruz_FicDecoderPushFibs(decoder.get(), p.data(), 3));
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p99_us"] = micros.empty() ? 0.0 : micros[micros.size() * 99 / 100];
    state.counters["pushes"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["services"] = DAB_Bb_Ruz_FicDecoderGetNumServices(decoder.get(), 0);
}
BENCHMARK(BM_FicPushUnchanged);

void BM_FicPushChangedAndWalk(benchmark::State &state)
{
    const std::vector<Bytes> first = ensemblePushes('a');
    const std::vector<Bytes> second = ensemblePushes('b');
    DecoderPtr decoder = makeDecoder();
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<Bytes> &set = (next / first.size()) % 2 ? second : first;
        const Bytes &p = set[next++ % set.size()];
        DAB_Bb_Ruz_FicDecoderPushFibs(decoder.get(), p.data(), 3);
        DAB_Bb_Ruz_FicDecoderGetChangeCounter(decoder.get());
        benchmark::DoNotOptimize(walkServices(decoder.get()));
    }
    state.counters["pushes"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FicPushChangedAndWalk);

} // namespace
