// Feeds arbitrary Dynamic Label data groups to a Dynamic Label decoder. Most
// groups get a correct CRC written over their last two bytes, so the decoder's
// assembly is reached and not only its CRC check. Every group sits in a buffer
// of exactly its size and every delivered text is read completely.
#include "DlFuzzCallbacks.h"
#include "ZOZDab.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *dl = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
    DAB_Bb_Ruz_DlDecoderInit(dl, nullptr, DlFuzz::readLabel, DlFuzz::readCommand);
    size_t position = 0;
    while (position < size) {
        // A control byte: bits 0-5 the group's length, bit 6 keeps its CRC as
        // given, bit 7 resets the decoder first.
        const uint8_t control = data[position++];
        if (control & 0x80)
            DAB_Bb_Ruz_DlDecoderReset(dl);
        const size_t take = std::min<size_t>(size - position, control & 0x3F);
        uint8_t *group = static_cast<uint8_t *>(std::malloc(take ? take : 1));
        if (take)
            std::memcpy(group, data + position, take);
        if (!(control & 0x40) && take >= 4) {
            const uint16_t crc = DAB_Bb_Ruz_Crc16(group, take - 2);
            group[take - 2] = static_cast<uint8_t>(crc >> 8);
            group[take - 1] = static_cast<uint8_t>(crc);
        }
        DAB_Bb_Ruz_DlDecoderProcessDataGroup(dl, group, static_cast<uint32_t>(take));
        std::free(group);
        position += take;
    }
    std::free(dl);
    return 0;
}
