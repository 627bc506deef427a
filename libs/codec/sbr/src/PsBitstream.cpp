// Parametric-stereo data block: header fields, envelope grid, IID and ICC deltas, and
// an extension that is stepped over (phase data is not used).
#include "PsDec.h"
#include "SbrHuffman.h"

namespace {

uint32_t bits(RezBitStream *bs, uint32_t n) { return RezTools_BitStreamReadBits(bs, n); }

constexpr uint8_t FixedEnvelopes[4] = {0, 1, 2, 4};
constexpr int BandsOfClass[3] = {10, 20, 34};
constexpr uint8_t ReservedMode = 6;

void readParameter(RezBitStream *bs, int envelopes, int bands, const SbrHuffmanNode *timeTree,
                   const SbrHuffmanNode *frequencyTree, uint8_t *timeDirection, int8_t (*values)[PS_MAX_BANDS])
{
    for (int e = 0; e < envelopes; ++e) {
        timeDirection[e] = static_cast<uint8_t>(bits(bs, 1));
        const SbrHuffmanNode *tree = timeDirection[e] ? timeTree : frequencyTree;
        for (int b = 0; b < bands; ++b)
            values[e][b] = static_cast<int8_t>(SbrDec_DecodeHuffman(bs, tree));
    }
}

} // namespace

extern "C" int PsDec_ReadData(PsDecHandle ps, RezBitStream *bs, int bitsAvailable)
{
    PsData *d = PsDec_DataRecord(ps);
    if (!d || !bs || bitsAvailable <= 0)
        return 0;
    const uint32_t start = RezTools_BitStreamGetValidBits(bs);
    if (bits(bs, 1)) {
        d->enabled = 1;
        d->enableIid = static_cast<uint8_t>(bits(bs, 1));
        if (d->enableIid)
            d->iidMode = static_cast<uint8_t>(bits(bs, 3));
        d->enableIcc = static_cast<uint8_t>(bits(bs, 1));
        if (d->enableIcc)
            d->iccMode = static_cast<uint8_t>(bits(bs, 3));
        d->enableExtension = static_cast<uint8_t>(bits(bs, 1));
        d->fineIid = d->iidMode >= 3 && d->iidMode < ReservedMode;
        d->iidBandClass = static_cast<uint8_t>(d->iidMode % 3);
        d->iccBandClass = static_cast<uint8_t>(d->iccMode % 3);
    }
    d->variableBorders = static_cast<uint8_t>(bits(bs, 1));
    const uint32_t index = bits(bs, 2);
    d->envelopes = d->variableBorders ? static_cast<uint8_t>(index + 1) : FixedEnvelopes[index];
    if (d->variableBorders)
        for (int e = 0; e < d->envelopes; ++e)
            d->borders[e] = static_cast<uint8_t>(bits(bs, 5) + 1);
    if (d->enableIid && d->iidMode < ReservedMode)
        readParameter(bs, d->envelopes, BandsOfClass[d->iidBandClass], d->fineIid ? huff_iid_fine_dt : huff_iid_dt,
                      d->fineIid ? huff_iid_fine_df : huff_iid_df, d->iidTime, d->iid);
    if (d->enableIcc && d->iccMode < ReservedMode)
        readParameter(bs, d->envelopes, BandsOfClass[d->iccBandClass], huff_icc_dt, huff_icc_df, d->iccTime, d->icc);
    if (d->enableExtension) {
        uint32_t size = bits(bs, 4);
        if (size == 15)
            size += bits(bs, 8);
        RezTools_BitStreamPushForward(bs, 8 * size);
    }
    PsDec_DataRead(ps);
    return static_cast<int>(start - RezTools_BitStreamGetValidBits(bs));
}
