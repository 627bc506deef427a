// Feeds arbitrary PAD fields, frame after frame, to a PAD decoder with a
// Dynamic Label application (whose groups go on to a Dynamic Label decoder),
// data services with and without length indicators and buffers of several
// sizes. Every field sits in a buffer of exactly its size and every delivered
// group is read completely, so a read outside either is caught.
#include "../dl/DlFuzzCallbacks.h"
#include "ZOZDab.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Application {
    uint8_t appType;
    uint8_t useLength;
    uint32_t capacity;
};

// Dynamic Label, MOT with a small and the usual buffer, a type whose subfields
// come alone, and one that shares its continuation type with nothing.
constexpr Application Applications[] = {
    {2, 1, 128}, {12, 1, 8215}, {14, 1, 40}, {5, 0, 20}, {8, 1, 8215},
};

int readGroup(uint8_t *buffer, uint32_t length, void *context)
{
    const auto *app = static_cast<const Application *>(context);
    if (length > app->capacity)
        std::abort();
    DlFuzz::readBytes(buffer, length);
    return static_cast<int>(length & 1);
}

int dynamicLabel(uint8_t *buffer, uint32_t length, void *context)
{
    if (length > Applications[0].capacity)
        std::abort();
    return DAB_Bb_Ruz_DlDecoderProcessDataGroup(static_cast<DabDlDecoder *>(context), buffer, length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks which applications are registered.
    const uint8_t registered = data[0];
    ++data;
    --size;

    auto *dl = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
    DAB_Bb_Ruz_DlDecoderInit(dl, nullptr, DlFuzz::readLabel, DlFuzz::readCommand);
    auto *pad = static_cast<DabPadDecoder *>(std::malloc(DAB_Bb_Ruz_PadDecoderGetSize()));
    DAB_Bb_Ruz_PadDecoderInit(pad);
    uint8_t *buffers[sizeof Applications / sizeof Applications[0]] = {};
    for (size_t i = 0; i < sizeof Applications / sizeof Applications[0]; ++i) {
        if (!(registered & (1u << i)))
            continue;
        const Application &app = Applications[i];
        buffers[i] = static_cast<uint8_t *>(std::malloc(app.capacity));
        DAB_Bb_Ruz_PadDecoderAddApplication(pad, app.appType, app.useLength, buffers[i], app.capacity,
                                            i == 0 ? dynamicLabel : readGroup,
                                            i == 0 ? static_cast<void *>(dl) : const_cast<Application *>(&app));
    }

    size_t position = 0;
    while (position < size) {
        // Each field is announced by a length byte; 255 removes the MOT application.
        const uint8_t announced = data[position++];
        if (announced == 255) {
            DAB_Bb_Ruz_PadDecoderRemoveApplication(pad, 12, nullptr, nullptr);
            continue;
        }
        const size_t take = std::min<size_t>(size - position, announced);
        uint8_t *field = static_cast<uint8_t *>(std::malloc(take ? take : 1));
        if (take)
            std::memcpy(field, data + position, take);
        DAB_Bb_Ruz_PadDecoderProcessPad(pad, field, static_cast<uint32_t>(take));
        std::free(field);
        position += take;
    }

    for (uint8_t *buffer : buffers)
        std::free(buffer);
    std::free(pad);
    std::free(dl);
    return 0;
}
