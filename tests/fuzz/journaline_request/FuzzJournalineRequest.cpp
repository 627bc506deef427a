// Feeds arbitrary request texts to the Journaline request frame (parse,
// percent-decoding, the "hist" navigation path, the response header) and
// arbitrary bytes to its text functions.
#include "NSJRenderer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Renderer : public NSJRenderer {
public:
    using NSJRenderer::Handle_HttpRequest;
    int Handle_HttpRequest(const Request &request, std::string &output) override
    {
        output = request.file + request.directory;
        return writeResponse(output, request.file);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Renderer *renderer = [] {
        auto *r = new Renderer;
        r->start(true, 0);
        return r;
    }();
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::string out;
    renderer->Handle_HttpRequest(text, out);
    renderer->Handle_HttpRequest("GET /jour/0.html?" + text + " HTTP/1.0\r\n", out);
    NSJ_HistoryPath path{};
    if (renderer->historyPath(&path) != NSJ_OK || path.depth >= NSJ_MAX_PATH)
        std::abort();
    const std::string display = NSJRenderer::nmlToDisplay(text);
    const std::vector<uint32_t> points = NSJRenderer::utf8ToCodePoints(text);
    if (points.size() > text.size())
        std::abort();
    NSJRenderer::textToHex(display, ":");
    return 0;
}
