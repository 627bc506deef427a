#include "aac_test_support.h"

#include "aac_core.h"

#include <fstream>
#include <iterator>

std::vector<uint8_t> readFixture(const std::string &name)
{
    std::ifstream in(std::string(AAC_FIXTURES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int forEachAdtsUnit(const std::string &name, bool (*unit)(AacDecInstance *h, void *context), void *context)
{
    const std::vector<uint8_t> stream = readFixture(name);
    AacDecHandle h = AacDec_Open(AACDEC_TT_ADTS, 1);
    if (!h || stream.empty())
        return -1;
    const uint8_t *buffers[1] = {stream.data()};
    const uint32_t sizes[1] = {static_cast<uint32_t>(stream.size())};
    uint32_t valid[1] = {sizes[0]};
    int units = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        if (valid[0] > 0 && AacDec_Fill(h, buffers, sizes, valid) != AACDEC_OK)
            break;
        const int result = TpDec_ReadAccessUnit(h->transport, 0);
        if (result == TPDEC_NOT_ENOUGH_BITS && valid[0] > 0)
            continue;
        if (result != TPDEC_OK) {
            if (result != TPDEC_NOT_ENOUGH_BITS)
                units = -1;
            break;
        }
        ++units;
        const bool more = unit(h, context);
        TpDec_EndAccessUnit(h->transport);
        if (!more)
            break;
    }
    AacDec_Close(h);
    return units;
}
