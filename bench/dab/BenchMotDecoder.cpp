// MOT intake in directory mode: a 5 MB directory (50 000 entries) arriving in
// segments of 8 KB, reassembled and parsed; bytes of data groups per second
// (target: at least 50 MB/s).
#include "DabMotDecoder.h"
#include "MotTestSupport.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace ZOZ::Test::Mot;

namespace {

constexpr int Entries = 50000;
constexpr size_t SegmentBytes = 8000;

std::vector<Bytes> directoryGroups()
{
    std::vector<Entry> entries;
    for (int i = 0; i < Entries; ++i) {
        std::string name = "pages/section-" + std::to_string(i) + "/";
        name.resize(84, 'x');
        entries.push_back({static_cast<uint16_t>(i + 1), header(4000, 1, 0, contentName(name))});
    }
    return segments(Directory, 0xFFFF, directory(entries), SegmentBytes);
}

int countDirectory(const uint8_t *, uint32_t, const MotHeader *header, void *context)
{
    if (!header)
        ++*static_cast<int *>(context);
    return 0;
}

void BM_MotIntakeDirectory5MB(benchmark::State &state)
{
    const std::vector<Bytes> groups = directoryGroups();
    size_t bytes = 0;
    for (const Bytes &g : groups)
        bytes += g.size();
    std::vector<uint8_t> instance(DAB_Bb_Ruz_MotDecoderGetSize());
    std::vector<uint8_t> entity(bytes + 1024 * 1024);
    auto *decoder = reinterpret_cast<DabMotDecoder *>(instance.data());
    int directories = 0;
    for (auto _ : state) {
        DAB_Bb_Ruz_MotDecoderInit(decoder, 1, entity.data(), uint32_t(entity.size()), countDirectory, &directories,
                                  nullptr, 0);
        for (const Bytes &g : groups)
            DAB_Bb_Ruz_MotDecoderProcessDataGroup(decoder, g.data(), uint32_t(g.size()));
    }
    if (directories != int(state.iterations()))
        state.SkipWithError("the directory was not delivered");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["directory_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_MotIntakeDirectory5MB)->Unit(benchmark::kMillisecond);

} // namespace
