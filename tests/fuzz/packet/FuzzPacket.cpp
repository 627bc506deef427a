// Feeds arbitrary sub-channel bytes to packet-mode decoders in both header
// modes, with and without enhanced packet mode, in pieces of arbitrary size,
// carrying the unconsumed tail over as the receiver does. Every data group is
// read completely, so a length past its buffer is caught.
#include "ZOZDab.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t Capacity = 8215;

int readGroup(uint8_t *buffer, uint32_t length, uint32_t)
{
    if (length > Capacity)
        std::abort();
    unsigned sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum += buffer[i];
    return sum == 0xFFFFFFFFu ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    // Set-up from the first four bytes: mode, packet length, FEC rows and columns.
    const uint8_t mode = data[0] & 1;
    const uint8_t packetLength = data[1];
    const bool enhanced = (data[0] & 2) != 0;
    const uint8_t rows = data[2] % 16 + 1;
    const uint8_t columns = static_cast<uint8_t>(data[3] % 239 + 1);
    data += 4;
    size -= 4;

    auto *decoder = static_cast<DabPmDecoder *>(std::malloc(DAB_Bb_Ruz_PmDecoderGetSize()));
    DAB_Bb_Ruz_PmDecoderInit(decoder, mode, packetLength);
    if (enhanced)
        DAB_Bb_Ruz_PmDecoderSetFec(decoder, 1, rows, columns);
    static uint8_t buffers[4][Capacity];
    const uint16_t addresses[4] = {0, 1, 2, mode == PM_MODE_STANDARD ? uint16_t(1000) : uint16_t(3)};
    for (int i = 0; i < 4; ++i)
        DAB_Bb_Ruz_PmDecoderAddAddress(decoder, addresses[i], i == 2 ? PM_ADDRESS_PER_PACKET : PM_ADDRESS_DATA_GROUPS,
                                       buffers[i], Capacity, readGroup, static_cast<uint32_t>(i));

    std::vector<uint8_t> pending;
    size_t position = 0;
    while (position < size) {
        // Each piece is announced by a length byte, like the pieces a sub-channel delivers.
        const size_t take = std::min<size_t>(size - position - 1, data[position] * 4u);
        ++position;
        pending.insert(pending.end(), data + position, data + position + take);
        position += take;
        if (pending.empty())
            continue;
        // An exact-size copy, so that reads past the bytes are caught.
        uint8_t *bytes = static_cast<uint8_t *>(std::malloc(pending.size()));
        std::memcpy(bytes, pending.data(), pending.size());
        uint32_t length = static_cast<uint32_t>(pending.size());
        RUZ_PM_Process(decoder, bytes, &length);
        std::free(bytes);
        if (length > pending.size())
            std::abort();
        pending.erase(pending.begin(), pending.end() - length);
    }
    DAB_Bb_Ruz_PmDecoderSetFec(decoder, 0, 0, 0);
    std::free(decoder);
    return 0;
}
