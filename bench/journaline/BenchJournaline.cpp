// Journaline intake and page reads: data groups per second for a carousel of
// 100 objects that repeats (the steady state on air: every object already
// cached) and for a cache under pressure (every object new, eviction at
// work), and retrievals per second of a compressed 3000-byte message. A
// Journaline service delivers a few data groups per second, so any rate in
// the thousands leaves the delivery thread idle.
#include "CoreFixture.h"

#include <benchmark/benchmark.h>

using namespace ZOZ::Test::Journaline;

namespace {

std::vector<Bytes> carousel(uint16_t firstId, int count)
{
    std::vector<Bytes> groups;
    for (int i = 0; i < count; ++i)
        groups.push_back(objectGroup(plain(static_cast<uint16_t>(firstId + i), "Title " + std::to_string(i),
                                           std::string(600, static_cast<char>('a' + i % 26)))));
    return groups;
}

// Feeds the carousel round and round into a core of `cacheSize` bytes,
// after one unmeasured round when `warm`.
void feedCarousel(benchmark::State &state, uint32_t cacheSize, int objects, bool warm)
{
    Core core(CoreSettings{.cacheSize = cacheSize});
    const std::vector<Bytes> groups = carousel(1, objects);
    if (warm)
        for (const Bytes &g : groups)
            core.feed(g);
    size_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(core.feed(groups[n++ % groups.size()]));
    state.SetItemsProcessed(state.iterations());
}

void RepeatedCarousel(benchmark::State &state) { feedCarousel(state, 200000, 100, true); }
BENCHMARK(RepeatedCarousel);

void NewObjectsUnderEviction(benchmark::State &state) { feedCarousel(state, 12800, 1000, false); }
BENCHMARK(NewObjectsUnderEviction);

void RetrieveCompressed(benchmark::State &state)
{
    Core core;
    Object o = plain(10, "Packed", std::string(3000, 'z'));
    o.compressed = true;
    core.feed(o);
    for (auto _ : state)
        benchmark::DoNotOptimize(core.retrieve(10));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RetrieveCompressed);

} // namespace
