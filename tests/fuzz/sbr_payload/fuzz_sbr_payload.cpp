// SBR payloads on hostile data: a run of payloads of any length (with or without CRC,
// single channel with parametric stereo or channel pair) read against one header
// record, as an element receives them frame after frame. The reader must stay within
// its arrays and never report more bits read than the payload had.
#include "PsDec.h"
#include "SbrBitstream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int elementId = data[0] & 1;
    const int crc = (data[0] >> 1) & 1;
    SbrHeaderData header{};
    if (SbrDec_InitHeaderData(&header, (data[0] & 4) ? 16000 : 24000, 0, (data[0] & 8) ? 1024 : 960, 1, 1) != 0)
        return 0;
    PsDecHandle ps = nullptr;
    if (elementId == 0 && PsDec_Create(&ps, (data[0] & 8) ? 1024 : 960) != 0)
        return 0;
    SbrFrameData frames[2]{};
    SbrFrameData *pointers[2] = {&frames[0], &frames[1]};
    size_t offset = 1;
    int slot = 0;
    while (offset + 1 < size) {
        // Each payload: one length byte, then that many bytes (as far as there are).
        const size_t length = data[offset++];
        const size_t available = size - offset < length ? size - offset : length;
        std::vector<uint8_t> buffer(512, 0);
        std::memcpy(buffer.data(), data + offset, available);
        offset += available;
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, buffer.data(), static_cast<uint32_t>(buffer.size()),
                               static_cast<uint32_t>(8 * available), REZ_BIT_READ);
        if (ps)
            PsDec_SetFrameSlots(ps, slot);
        slot ^= 1;
        int32_t bits = static_cast<int32_t>(8 * available);
        SbrDec_ReadPayload(&bs, &header, pointers, elementId, ps, &bits, crc, 1);
        if (frames[0].envelopeValueCount > SBR_MAX_ENVELOPE_VALUES || frames[1].envelopeValueCount > SBR_MAX_ENVELOPE_VALUES)
            std::abort();
    }
    PsDec_Destroy(&ps);
    return 0;
}
