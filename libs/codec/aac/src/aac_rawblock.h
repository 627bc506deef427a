// The element walk of one AAC raw data block: channel elements into the block's
// channel records, data stream, program configuration and fill elements checked and
// stepped over, and the block's end checked against the access unit.
#pragma once

#include "aac_channel.h"

#include <cstdint>

constexpr int AacRawBlockMaxChannels = 8;

struct AacDecRawBlock
{
    AacDecChannelData channel[AacRawBlockMaxChannels];
    AacDecElement element[AacRawBlockMaxChannels];
    int8_t elementId[AacRawBlockMaxChannels]; // 0 single channel, 1 pair, 3 low frequency
    int elementCount;
    int channelCount;                          // channels decoded
};

// Reads the elements up to the end element. auStartBits is the bit stream's valid
// bit count at the access unit's start, auBits the unit's length in bits (0: not known);
// maxChannels the configured channel count. Results: 0; 0x2003 (no band tables);
// 0x4002 (bad element, a block that does not end where the unit does); 0x4004
// (too many channels or elements, a coupling channel element, too few bits); the
// element errors of aac_channel.h.
int AacDec_ReadRawDataBlock(RezBitStream *bs, AacDecRawBlock *block, const AacSamplingRateInfo *sr, uint32_t flags,
                            uint32_t frameLength, uint32_t auStartBits, uint32_t auBits, int maxChannels);
