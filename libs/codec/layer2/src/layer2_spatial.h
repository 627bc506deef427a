// The spatial (MPEG Surround) stage behind the Layer II decoder. Spatial data
// travels in the ancillary bytes of a frame; this part finds and checks it. No
// spatial decoder is linked into this build, so the stage reports itself as
// unavailable and the decoder plays the core channels unchanged.
#pragma once

#include "RezTools.h"

#include <cstdint>

struct Layer2Spatial
{
    uint8_t block[1024];  // the last block: its 4-bit field byte, then its payload
    uint32_t blockBits;
};

// Result of a spatial block search.
enum class SpatialBlock { None = -1, Good = 0, CrcError = 1 };

Layer2Spatial *Layer2Spatial_Open();
void Layer2Spatial_Close(Layer2Spatial *spatial);

// Whether a spatial decoder can run on found blocks.
bool Layer2Spatial_Available(const Layer2Spatial *spatial);

// Forwards one parameter to the spatial decoder. Returns its result: 0, -997 for an
// invalid id or value, -998 when there is no decoder.
int Layer2Spatial_SetParam(Layer2Spatial *spatial, int id, int value);

// Looks for a spatial block between the read position and `endValid` (valid bits of
// the input at the end of the frame); the read position is restored.
SpatialBlock Layer2Spatial_FindBlock(Layer2Spatial *spatial, RezBitStream *bs, uint32_t endValid);
