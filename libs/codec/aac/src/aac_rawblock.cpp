#include "aac_rawblock.h"

#include "aac_config.h"

namespace {

// Bits of the unit read so far.
uint32_t bitsRead(RezBitStream *bs, uint32_t auStartBits)
{
    return auStartBits - RezTools_BitStreamGetValidBits(bs);
}

int readDataStream(AacDecInstance *h, RezBitStream *bs, uint32_t auStartBits)
{
    uint8_t tag = 0;
    const int r = AacDec_ParseDataStreamElement(h, bs, &tag, auStartBits);
    // The collector's and the downmix reader's complaints cost only their copy of the bytes.
    return r == AacElementBoundsError ? r : 0;
}

int readFill(AacDecInstance *h, RezBitStream *bs, int previousId, int elementIndex)
{
    uint32_t count = RezTools_BitStreamReadBits(bs, 4);
    if (count == 15)
        count = 14 + RezTools_BitStreamReadBits(bs, 8);
    if (RezTools_BitStreamGetValidBits(bs) < count * 8)
        return AacElementBoundsError;
    int32_t bits = static_cast<int32_t>(count * 8);
    int result = 0;
    // Every payload takes at least its 4 type bits, so this ends.
    while (bits > 0) {
        const int r = AacDec_ParseExtensionPayload(h, bs, &bits, previousId, elementIndex, 1);
        if (r != 0 && result == 0)
            result = r;
    }
    return result;
}

int readProgramConfig(AacDecInstance *h, RezBitStream *bs, uint32_t auStartBits, AacDecRawBlock *block)
{
    if (!h) {
        AacPce pce;
        AacDec_PceInit(&pce);
        AacDec_ParseProgramConfig(&pce, bs, auStartBits);
        return 0;
    }
    const int r = AacDec_ParseInBandPce(bs, &h->pce, h->streamInfo.channelConfig, auStartBits);
    if (r > 0)
        block->programConfigStored = true;
    return r < 0 ? AacElementSyntaxError : 0;
}

} // namespace

int AacDec_ReadRawDataBlock(RezBitStream *bs, AacDecRawBlock *block, const AacSamplingRateInfo *sr, uint32_t flags,
                            uint32_t frameLength, uint32_t auStartBits, uint32_t auBits, int maxChannels,
                            AacDecInstance *h)
{
    block->elementCount = 0;
    block->channelCount = 0;
    block->lastId = -1;
    block->programConfigStored = false;
    for (int &c : block->counter)
        c = 0;
    if (maxChannels > AacRawBlockMaxChannels)
        maxChannels = AacRawBlockMaxChannels;
    if (auBits != 0 && auBits < 15)
        return AacElementBoundsError;
    // Without an instance the lists of AAC-LC apply and no error check is kept.
    const uint32_t aot = h && h->streamInfo.aot > 0 ? static_cast<uint32_t>(h->streamInfo.aot) : 2;
    TpDecHandle tp = h ? h->transport : nullptr;
    int previousId = AacIdEnd;
    bool ended = false;
    for (int index = 0; index < AacMaxElements && !ended; ++index) {
        if (RezTools_BitStreamGetValidBits(bs) < 3)
            return AacElementBoundsError;
        const int id = static_cast<int>(RezTools_BitStreamReadBits(bs, 3));
        block->lastId = static_cast<int8_t>(id);
        int result = 0;
        switch (id) {
        case AacIdSce:
        case AacIdCpe:
        case AacIdLfe: {
            const int channels = id == AacIdCpe ? 2 : 1;
            // A stream carries no more elements of a kind than its channels allow.
            if (block->counter[id] >= (maxChannels >> (channels - 1)) ||
                block->channelCount + channels > maxChannels)
                return AacElementBoundsError;
            block->elementStartBit[block->elementCount] = bitsRead(bs, auStartBits) - 3;
            AacDecElement &element = block->element[block->elementCount];
            element.channelCount = channels;
            for (int c = 0; c < channels; ++c)
                element.channel[c] = &block->channel[block->channelCount + c];
            result = AacDec_ReadChannelElement(bs, &element, sr, flags, id == AacIdLfe ? AacElementIsLfe : 0,
                                               frameLength, aot, tp);
            block->elementId[block->elementCount++] = static_cast<int8_t>(id);
            block->channelCount += channels;
            // Each channel element has its SBR element, also in frames that carry no SBR data.
            if (result == 0 && h && h->sbr && ((h->flags & AacFlagSbr) || h->sbrEnabled == 1))
                AacDec_SbrInitElement(h, id, index);
            break;
        }
        case AacIdCce:
            if (block->counter[id] > maxChannels || !h || !h->couplingInfo)
                return AacElementBoundsError;
            result = AacDec_ReadCouplingElement(bs, &block->coupling, sr, flags, frameLength, aot, tp);
            break;
        case AacIdDse:
            result = readDataStream(h, bs, auStartBits);
            break;
        case AacIdPce:
            result = readProgramConfig(h, bs, auStartBits, block);
            break;
        case AacIdFil:
            result = readFill(h, bs, previousId, index);
            break;
        default: // the end element
            ended = true;
            block->endElementBit = bitsRead(bs, auStartBits) - 3;
            break;
        }
        if (result != 0)
            return result;
        if (RezTools_BitStreamGetOverrun(bs))
            return AacElementBoundsError;
        if (auBits != 0 && bitsRead(bs, auStartBits) > auBits)
            return AacElementSyntaxError;
        ++block->counter[id];
        previousId = id;
    }
    if (!ended)
        return AacElementSyntaxError;
    RezTools_BitStreamByteAlign(bs, auStartBits);
    if (auBits != 0 && bitsRead(bs, auStartBits) != auBits)
        return AacElementSyntaxError;
    return 0;
}
