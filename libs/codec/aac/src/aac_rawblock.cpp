#include "aac_rawblock.h"

#include "aac_config.h"

namespace {

enum : uint32_t {
    IdSingle = 0,
    IdPair = 1,
    IdCoupling = 2,
    IdLowFrequency = 3,
    IdDataStream = 4,
    IdProgramConfig = 5,
    IdFill = 6,
    IdEnd = 7,
};

// Bits of the unit read so far.
uint32_t bitsRead(RezBitStream *bs, uint32_t auStartBits)
{
    return auStartBits - RezTools_BitStreamGetValidBits(bs);
}

// Skips n bytes when the stream holds them.
int skipBytes(RezBitStream *bs, uint32_t n)
{
    if (RezTools_BitStreamGetValidBits(bs) < n * 8)
        return AacElementBoundsError;
    RezTools_BitStreamPushForward(bs, n * 8);
    return 0;
}

int readDataStream(RezBitStream *bs, uint32_t auStartBits)
{
    RezTools_BitStreamReadBits(bs, 4); // element instance tag
    const uint32_t align = RezTools_BitStreamReadBits(bs, 1);
    uint32_t count = RezTools_BitStreamReadBits(bs, 8);
    if (count == 255)
        count += RezTools_BitStreamReadBits(bs, 8);
    if (align)
        RezTools_BitStreamByteAlign(bs, auStartBits);
    return skipBytes(bs, count);
}

int readFill(RezBitStream *bs)
{
    uint32_t count = RezTools_BitStreamReadBits(bs, 4);
    if (count == 15)
        count = 14 + RezTools_BitStreamReadBits(bs, 8);
    return skipBytes(bs, count);
}

} // namespace

int AacDec_ReadRawDataBlock(RezBitStream *bs, AacDecRawBlock *block, const AacSamplingRateInfo *sr, uint32_t flags,
                            uint32_t frameLength, uint32_t auStartBits, uint32_t auBits, int maxChannels)
{
    block->elementCount = 0;
    block->channelCount = 0;
    if (maxChannels > AacRawBlockMaxChannels)
        maxChannels = AacRawBlockMaxChannels;
    if (auBits != 0 && auBits < 15)
        return AacElementBoundsError;
    bool ended = false;
    for (int n = 0; n < AacMaxElements && !ended; ++n) {
        if (RezTools_BitStreamGetValidBits(bs) < 3)
            return AacElementBoundsError;
        const uint32_t id = RezTools_BitStreamReadBits(bs, 3);
        int result = 0;
        switch (id) {
        case IdSingle:
        case IdPair:
        case IdLowFrequency: {
            const int channels = id == IdPair ? 2 : 1;
            if (block->channelCount + channels > maxChannels)
                return AacElementBoundsError;
            AacDecElement &element = block->element[block->elementCount];
            element.channelCount = channels;
            for (int c = 0; c < channels; ++c)
                element.channel[c] = &block->channel[block->channelCount + c];
            result = AacDec_ReadChannelElement(bs, &element, sr, flags, id == IdLowFrequency ? AacElementIsLfe : 0,
                                               frameLength);
            block->elementId[block->elementCount++] = static_cast<int8_t>(id);
            block->channelCount += channels;
            break;
        }
        case IdDataStream:
            result = readDataStream(bs, auStartBits);
            break;
        case IdProgramConfig: {
            AacPce pce;
            AacDec_PceInit(&pce);
            AacDec_ParseProgramConfig(&pce, bs, auStartBits);
            break;
        }
        case IdFill:
            result = readFill(bs);
            break;
        case IdEnd:
            ended = true;
            break;
        default: // coupling channels are not carried by the streams this decoder plays
            return AacElementBoundsError;
        }
        if (result != 0)
            return result;
        if (RezTools_BitStreamGetOverrun(bs))
            return AacElementBoundsError;
        if (auBits != 0 && bitsRead(bs, auStartBits) > auBits)
            return AacElementSyntaxError;
    }
    if (!ended)
        return AacElementSyntaxError;
    RezTools_BitStreamByteAlign(bs, auStartBits);
    if (auBits != 0 && bitsRead(bs, auStartBits) != auBits)
        return AacElementSyntaxError;
    return 0;
}
