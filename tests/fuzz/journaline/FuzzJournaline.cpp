// Feeds arbitrary data groups to a Journaline core with a small cache (so
// that eviction runs), then walks everything it kept: retrieval, sections,
// navigation, export and re-import. Each group is an exact-size copy, so a
// read past its bytes is caught. The first byte picks the CRC check and the
// extended-header length, so that the decoder sees every path.
#include "NSJDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint32_t clock2000(void *context) { return *static_cast<uint32_t *>(context); }

// Opens every cached object (their ids come from the export image) and reads
// all it points to.
void walk(NSJ_Instance *core, NSJ_ObjectRecord *record)
{
    std::vector<uint8_t> image(NSJ_GetObjectCacheSize(core));
    if (image.size() < 4 || NSJ_GetObjectCache(core, image.data(), static_cast<uint32_t>(image.size())) != NSJ_OK)
        return;
    NSJ_DataSection section;
    for (size_t at = 4; at + 4 <= image.size();) {
        const size_t length = (size_t(image[at]) << 8) | image[at + 1];
        if (length < 2 || at + 2 + length > image.size())
            break;
        const uint16_t id = static_cast<uint16_t>((image[at + 2] << 8) | image[at + 3]);
        at += 2 + length;
        if (NSJ_GetObject(core, id, record) != NSJ_OK)
            continue;
        unsigned sum = 0;
        for (uint16_t i = 0; i < record->titleLength; ++i)
            sum += record->title[i];
        for (uint16_t i = 0; i < record->bodyLength; ++i)
            sum += record->body[i];
        for (uint8_t n = 0; n < record->menuItemCount; ++n)
            for (uint16_t i = 0; i < record->menuItems[n].textLength; ++i)
                sum += record->menuItems[n].text[i];
        for (uint8_t n = 0; n < record->linkCount; ++n)
            for (uint16_t i = 0; i < record->links[n].secondLength; ++i)
                sum += record->links[n].second[i];
        for (uint8_t n = 0; n < record->imageCount; ++n)
            for (uint16_t i = 0; i < record->images[n].secondLength; ++i)
                sum += record->images[n].second[i];
        while (NSJ_GetNextDataSection(record, NSJ_ANY_SECTION, &section) == NSJ_OK)
            for (uint16_t i = 0; i < section.length; ++i)
                sum += section.data[i];
        if (sum == 0xFFFFFFFFu)
            std::abort();
        NSJ_GetNextObject(core, record, 1);
        NSJ_GetPreviousObject(core, record, 0);
        NSJ_GetUpperObject(core, record, 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t setup = data[0];
    ++data;
    --size;
    uint32_t now = 1000000;
    std::vector<uint8_t> memory(4092 + (setup & 0x30) * 64);
    auto *core = static_cast<NSJ_Instance *>(std::malloc(NSJ_GetInstanceSize()));
    auto *record = static_cast<NSJ_ObjectRecord *>(std::malloc(NSJ_GetObjectRecordSize()));
    NSJ_InitParams params{};
    params.cacheSize = static_cast<uint32_t>(memory.size());
    params.cacheMemory = memory.data();
    params.userContext = &now;
    params.crcCheck = setup & 1;
    params.extHeaderLength = (setup >> 1) & 7;
    params.timeMode = NSJ_TIME_ABSOLUTE_AND_RELATIVE;
    params.getTime = clock2000;
    if (NSJ_Init(&params, core) == NSJ_OK) {
        // Groups are announced by a two-byte length, as the packet decoder hands them over.
        size_t at = 0;
        while (at + 2 <= size) {
            const size_t length = std::min<size_t>(size - at - 2, (size_t(data[at]) << 8) | data[at + 1]);
            at += 2;
            uint8_t *group = static_cast<uint8_t *>(std::malloc(length ? length : 1));
            std::memcpy(group, data + at, length);
            NSJ_ProcessDataGroup(core, group, static_cast<uint32_t>(length));
            std::free(group);
            at += length;
            now += 60;
        }
        walk(core, record);
        uint8_t state[NSJ_STATE_SIZE];
        NSJ_GetInstanceState(core, state, sizeof state);
        NSJ_SetInstanceState(core, state, sizeof state);
        const uint32_t exportSize = NSJ_GetObjectCacheSize(core);
        std::vector<uint8_t> image(exportSize);
        if (NSJ_GetObjectCache(core, image.data(), exportSize) == NSJ_OK) {
            NSJ_ResetObjectCache(core);
            NSJ_SetObjectCache(core, image.data(), exportSize);
        }
        // Arbitrary bytes as an export image too.
        NSJ_SetObjectCache(core, data, static_cast<uint32_t>(size));
        walk(core, record);
    }
    std::free(record);
    std::free(core);
    return 0;
}
