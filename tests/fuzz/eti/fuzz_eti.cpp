// Arbitrary bytes through the frame parser and the sync reader.
#include "zoz_eti.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ZozEtiFrame frame;
    if (ZozEti_ParseFrame(data, size, &frame) >= 0) {
        // Touch the last byte of every field so that ASan checks the bounds.
        uint8_t sum = 0;
        for (int i = 0; i < frame.nst; ++i)
            if (frame.streams[i].length)
                sum = uint8_t(sum ^ frame.streams[i].data[frame.streams[i].length - 1]);
        if (frame.fic)
            sum = uint8_t(sum ^ frame.fic[frame.ficLength - 1]);
        volatile uint8_t sink = sum;
        (void)sink;
    }

    ZozEtiReader *reader = ZozEtiReader_Create();
    std::vector<uint8_t> out(ZOZ_ETI_FRAME_SIZE);
    size_t position = 0;
    // Odd piece sizes exercise the buffer boundaries.
    const size_t piece = size ? 1 + data[0] % 97 : 1;
    while (position < size) {
        const size_t length = size - position < piece ? size - position : piece;
        const int taken = ZozEtiReader_Feed(reader, data + position, length);
        if (taken <= 0)
            break;
        position += size_t(taken);
        while (ZozEtiReader_Next(reader, out.data()) == 1)
            ZozEti_ParseFrame(out.data(), out.size(), &frame);
    }
    ZozEtiReader_Destroy(reader);
    return 0;
}
