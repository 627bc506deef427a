// The DAB+ decoder's parameter cache: every value the application sets is kept
// and replayed into each core decoder the DAB+ decoder opens.
#pragma once

#include "AacDec.h"
#include "Layer2Dec.h"

#include <cstdint>

// One slot per settable parameter, in the order of the slot table.
constexpr int DABplusDecoderCacheSlots = 26;

struct DABplusDecoderCache
{
    int32_t value[DABplusDecoderCacheSlots]; // unset: -1 (32, 16 bit), 255 (8 bit); see the table
    uint8_t binaural;                        // with the output channel mode; 255 unset
};

void DABplusDecoderCache_Init(DABplusDecoderCache *cache);
// Forwards a value to the open decoders (a closed one takes it into the cache only)
// and caches what they accepted. 0, 2 unknown id, 3 refused or out of range.
int DABplusDecoderCache_Set(DABplusDecoderCache *cache, int32_t id, int32_t value, bool surround, AacDecHandle aac,
                            Layer2DecHandle layer2);
// Replays the cache into a new decoder: 0, 3 at the first refusal.
int DABplusDecoderCache_ReplayAac(const DABplusDecoderCache *cache, AacDecHandle aac, bool surround);
int DABplusDecoderCache_ReplayLayer2(const DABplusDecoderCache *cache, Layer2DecHandle layer2, bool surround);
