// Feeds arbitrary data groups to the HTML renderer, then asks for every kind
// of answer about the objects they made: pages (also in the debug view),
// ajax replies, KML, the statistics and the autoplay list. Input: groups, each a big-endian u16
// length and its bytes; CRC checking is off so that objects get through.
#include "NSJRendererHTML.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NSJRendererHTML renderer(false, false, "no-such-style-folder", "");
    renderer.setResponseHeader(NSJRenderer::ResponseHeader::Off);
    if (renderer.start(false, 0) != 0)
        return 0;
    std::vector<uint16_t> ids{0};
    for (size_t at = 0; at + 2 <= size;) {
        const size_t length = (size_t(data[at]) << 8) | data[at + 1];
        at += 2;
        if (length > size - at)
            break;
        const std::vector<uint8_t> group(data + at, data + at + length);
        renderer.processDataGroup(group.data(), static_cast<uint16_t>(group.size()));
        if (group.size() >= 4)
            ids.push_back(static_cast<uint16_t>((group[2] << 8) | group[3]));
        at += length;
    }
    std::string out;
    for (const uint16_t id : ids) {
        const std::string n = std::to_string(id);
        for (const std::string &target : std::vector<std::string>{n + ".html?hist=0," + n, n + ".html?debug&hist=0," + n,
                                          "ajax?getObject=" + n, "ajax?getUpdate=" + n,
                                          n + ".kml", "nav_next", "ajax?getAutoPlayList=0," + n, "statistics"})
            renderer.Handle_HttpRequest("GET /jour/" + target + " HTTP/1.0\r\n\r\n", out);
    }
    renderer.Handle_HttpRequest("GET /jour/ajax?hist=0&setAutoPlay=0 HTTP/1.0\r\n\r\n", out);
    return 0;
}
