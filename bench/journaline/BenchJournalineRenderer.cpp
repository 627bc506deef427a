// Journaline page rendering: the page of a menu with 32 items (the most a
// menu holds), every target received, produced through the whole request
// road (parse, fetch, template fill, render). Target: under 5 ms a page, so
// that a page opens without a noticeable wait.
#include "CoreFixture.h"
#include "NSJRendererHTML.h"

#include <benchmark/benchmark.h>

using namespace ZOZ::Test::Journaline;

namespace {

void MenuPage32Items(benchmark::State &state)
{
    NSJRendererHTML renderer(false, false, "no-such-style-folder", "");
    renderer.setResponseHeader(NSJRenderer::ResponseHeader::Off);
    renderer.start(true, 0);
    std::vector<std::pair<uint16_t, std::string>> items;
    for (uint16_t id = 1; id <= 32; ++id)
        items.emplace_back(id, "Item number " + std::to_string(id) + " with a longer caption \xC3\xA9");
    for (const Object &o : {menu(0, items, "Journaline Service")}) {
        const Bytes g = objectGroup(o);
        renderer.processDataGroup(g.data(), static_cast<uint16_t>(g.size()));
    }
    for (uint16_t id = 1; id <= 32; ++id) {
        const Bytes g = objectGroup(plain(id, "Article " + std::to_string(id), std::string(400, 'x')));
        renderer.processDataGroup(g.data(), static_cast<uint16_t>(g.size()));
    }
    std::string out;
    for (auto _ : state) {
        renderer.Handle_HttpRequest("GET /jour/0.html?hist=0 HTTP/1.0\r\n\r\n", out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MenuPage32Items)->Unit(benchmark::kMillisecond);

} // namespace
