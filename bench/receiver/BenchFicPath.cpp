// The FIC path on the library's thread: a push that changes nothing (every
// frame of a stable ensemble) and a full walk of a 40-service ensemble.
#include "EnsembleGenerator.h"
#include "ZOZClock.h"
#include "ZOZReceiver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace ZOZ;

namespace {

constexpr int ServiceCount = 40;

EnsembleGen::EnsembleDescription fortyServices()
{
    EnsembleGen::EnsembleDescription description;
    description.eid = 0xC123;
    description.ecc = 0xE0;
    description.label = { "Bench Forty", 0xFF00 };
    for (int i = 0; i < ServiceCount; ++i) {
        EnsembleGen::SubChannel subChannel;
        subChannel.id = i;
        subChannel.bitRate = 16;
        subChannel.fecScheme = 0;
        description.subChannels.push_back(subChannel);
        EnsembleGen::Service service;
        service.sid = 0xD000 + uint32_t(i);
        service.label = { "Service " + std::to_string(i), 0xFF00 };
        service.programmeType = 1 + i % 30;
        EnsembleGen::Component component;
        component.subChId = i;
        component.type = 63;
        component.applications.push_back({ 2, { 0x00, 0x0C } });
        service.components.push_back(component);
        description.services.push_back(service);
    }
    return description;
}

// The FIC of every frame of the generated ensemble until its FIGs repeat.
std::vector<std::vector<uint8_t>> generatedFic(int frames)
{
    EnsembleGen::EnsembleDescription description = fortyServices();
    EnsembleGen::prepare(description);
    EnsembleGen::EnsembleGenerator generator(description);
    std::vector<std::vector<uint8_t>> fics;
    std::vector<uint8_t> frame(6144);
    for (int n = 0; n < frames; ++n) {
        generator.nextFrame(frame.data());
        fics.push_back(generator.lastFic());
    }
    return fics;
}

struct Fixture
{
    Fixture()
        : fics(generatedFic(400))
        , ensemble(0)
    {
        Clock::install(&clock);
        ensemble.frequency = 178352;
        ensemble.resolveChannel();
        for (int round = 0; round < 2; ++round) {
            for (const auto &fic : fics) {
                receiver.DAB_parseFIBs(&ensemble, fic.data(), int(fic.size()));
                clock.advance(24);
            }
        }
    }
    ~Fixture() { Clock::install(nullptr); }

    ManualClock clock;
    std::vector<std::vector<uint8_t>> fics;
    Receiver receiver;
    DabEnsemble ensemble;
};

// Times every run of `step` on its own and reports the 50th and 99th percentile.
template<typename Step>
void timeEach(benchmark::State &state, const Fixture &fixture, Step step)
{
    std::vector<double> microseconds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(step());
        const auto end = std::chrono::steady_clock::now();
        microseconds.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    if (fixture.ensemble.services.size() != ServiceCount)
        state.SkipWithError("the generated ensemble did not reach the database");
    if (microseconds.empty())
        return;
    std::sort(microseconds.begin(), microseconds.end());
    state.counters["p50_us"] = microseconds[microseconds.size() / 2];
    state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}

// A push of a frame whose FIGs the decoder already holds: the walk stops after
// reading the counters. The clock stands still, so no once-a-second walk.
void BM_UnchangedPush(benchmark::State &state)
{
    Fixture fixture;
    const auto &fic = fixture.fics.back();
    fixture.receiver.DAB_parseFIBs(&fixture.ensemble, fic.data(), int(fic.size()));
    timeEach(state, fixture, [&] { return fixture.receiver.DAB_parseFIBs(&fixture.ensemble, fic.data(), int(fic.size())); });
}
BENCHMARK(BM_UnchangedPush);

// A walk over every list and every service, as once a second.
void BM_FullWalk40Services(benchmark::State &state)
{
    Fixture fixture;
    timeEach(state, fixture, [&] {
        fixture.clock.advance(1001);
        return fixture.receiver.updateDatabase(&fixture.ensemble);
    });
}
BENCHMARK(BM_FullWalk40Services);

} // namespace
