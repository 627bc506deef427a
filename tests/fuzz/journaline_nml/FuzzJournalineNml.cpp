// Converts arbitrary NML texts to HTML in every mode. The first byte picks
// the mode; the text is an exact-size copy, so a read past it is caught.
#include "NSJNmlToHtml.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    std::map<uint8_t, std::string> nested;
    NSJNml::Context context;
    context.debug = (mode & 1) != 0;
    context.nestedTexts = &nested;
    context.resolveLink = [](const std::string &reference) { return reference; };
    std::vector<NSJNml::Image> images;
    NSJNml::Options options;
    options.inlineImages = (mode & 2) != 0;
    options.raw = (mode & 4) != 0;
    options.images = (mode & 8) != 0 ? &images : nullptr;
    NSJNml::toHtml(context, 7, text, options);
    return 0;
}
