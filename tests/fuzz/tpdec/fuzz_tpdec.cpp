// The transport decoder on hostile ADTS, LATM and LOAS byte streams, with the AAC
// core behind it taking every configuration found. The first byte picks the
// format and the fill sizes; each access unit's payload is skipped as the core
// would read it.
#include "aac_core.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const int32_t types[4] = {AACDEC_TT_ADTS, AACDEC_TT_LOAS, AACDEC_TT_LATM_MCP1, AACDEC_TT_ADIF};
    const uint8_t options = data[0];
    const int32_t type = types[options & 3];
    AacDecHandle h = AacDec_Open(type, 1);
    if (!h)
        return 0;
    TpDecHandle tp = h->transport;
    TpDec_SetParam(tp, 3, (options >> 2) & 1);
    TpDec_SetParam(tp, 4, (options >> 3) & 1 ? 64000 : 0);
    TpDec_SetParam(tp, 6, (options >> 4) & 1 ? 100 : 0);
    const std::vector<uint8_t> input(data + 1, data + size);
    TpDec_SetParam(tp, 1, (options >> 7) & 1);
    const size_t piece = 1 + ((options >> 5) & 3) * 97u;
    size_t offset = 0;
    for (int calls = 0; calls < 4096; ++calls) {
        const bool latm = type == AACDEC_TT_LATM_MCP1;
        if (offset < input.size() && (latm || calls % 2 == 0)) {
            // LATM takes one element per fill; the stream formats take pieces.
            const size_t n = std::min(latm ? piece * 8 : piece, input.size() - offset);
            uint32_t valid = static_cast<uint32_t>(n);
            TpDec_FillData(tp, input.data() + offset, static_cast<uint32_t>(n), &valid, 0);
            offset += n - valid;
            if (latm)
                offset += valid;
        }
        const int r = TpDec_ReadAccessUnit(tp, 0);
        if (r == TPDEC_OK) {
            const int32_t left = TpDec_GetAccessUnitBitsLeft(tp, 0);
            const uint32_t valid = RezTools_BitStreamGetValidBits(TpDec_GetBitStream(tp, 0));
            if (left > 0)
                RezTools_BitStreamPushForward(TpDec_GetBitStream(tp, 0), std::min<uint32_t>(left, valid));
            TpDec_CrcCheck(tp);
            TpDec_EndAccessUnit(tp);
        } else if (r == TPDEC_NOT_ENOUGH_BITS && offset >= input.size()) {
            break;
        }
    }
    AacDec_Close(h);
    return 0;
}
