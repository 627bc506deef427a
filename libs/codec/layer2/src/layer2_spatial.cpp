#include "layer2_spatial.h"

#include <cstring>

namespace {

constexpr uint32_t SyncBits = 12;
constexpr uint32_t SyncCrc8 = 0x8E4;
constexpr uint32_t SyncCrc16 = 0x8E5;
constexpr uint32_t MaxBlockBytes = 1024;
constexpr int NoDecoder = -998;

} // namespace

Layer2Spatial *Layer2Spatial_Open()
{
    return static_cast<Layer2Spatial *>(RezSys_Calloc(1, sizeof(Layer2Spatial)));
}

void Layer2Spatial_Close(Layer2Spatial *spatial)
{
    RezTools_Free1D(spatial);
}

bool Layer2Spatial_Available(const Layer2Spatial *)
{
    return false;
}

int Layer2Spatial_SetParam(Layer2Spatial *, int, int)
{
    return NoDecoder;
}

SpatialBlock Layer2Spatial_FindBlock(Layer2Spatial *spatial, RezBitStream *bs, uint32_t endValid)
{
    const uint32_t start = RezTools_BitStreamGetValidBits(bs);
    auto remaining = [&]() -> uint32_t {
        const uint32_t v = RezTools_BitStreamGetValidBits(bs);
        return v > endValid ? v - endValid : 0;
    };
    auto restore = [&](SpatialBlock result) {
        const uint32_t v = RezTools_BitStreamGetValidBits(bs);
        if (v < start)
            RezTools_BitStreamPushBack(bs, start - v);
        else if (v > start)
            RezTools_BitStreamPushForward(bs, v - start);
        return result;
    };
    spatial->blockBits = 0;
    while (remaining() >= 24) {
        const uint32_t sync = RezTools_BitStreamReadBits(bs, SyncBits);
        if (sync != SyncCrc8 && sync != SyncCrc16) {
            RezTools_BitStreamPushBack(bs, SyncBits - 8);
            continue;
        }
        const bool wide = sync == SyncCrc16;
        RezCrcEngine crc;
        if (wide)
            RezTools_CrcInit(&crc, 0x8005, 0xFFFF, 16);
        else
            RezTools_CrcInit(&crc, 0x07, 0xFF, 8);
        int region = RezTools_CrcStartRegion(&crc, bs, 0);
        const uint32_t field = RezTools_BitStreamReadBits(bs, 4);
        uint32_t length = RezTools_BitStreamReadBits(bs, 8);
        if (length == 255)
            length = RezTools_BitStreamReadBits(bs, 16) + 255;
        RezTools_CrcEndRegion(&crc, bs, region);
        const uint32_t expected = RezTools_BitStreamReadBits(bs, wide ? 16 : 8);
        if (length >= MaxBlockBytes || remaining() < 8 * length || RezTools_BitStreamGetOverrun(bs))
            return restore(SpatialBlock::None);
        region = RezTools_CrcStartRegion(&crc, bs, 0);
        spatial->block[0] = static_cast<uint8_t>(field);
        for (uint32_t i = 0; i < length && i + 1 < MaxBlockBytes; ++i)
            spatial->block[i + 1] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
        RezTools_CrcEndRegion(&crc, bs, region);
        spatial->blockBits = 8 * (length + 1);
        return restore(RezTools_CrcGetValue(&crc) == expected ? SpatialBlock::Good : SpatialBlock::CrcError);
    }
    return restore(SpatialBlock::None);
}
