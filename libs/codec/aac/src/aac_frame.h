// Decoding of one access unit's raw data block into the core's time buffer: the
// element walk, the channel pass through the spectral tools, the layout kept for
// concealed frames, the output order and the synthesis of every channel.
#pragma once

#include "aac_conceal_channel.h"
#include "aac_rawblock.h"
#include "aac_spectral.h"

#include <cstdint>

// The instance's scratch of one frame.
struct AacDecFrameWork
{
    AacDecRawBlock block;
    AacDecSpectrum spectra[AacMaxChannels];
    int32_t interleaved[AacMaxChannels * AacSpectrumWords];
    int16_t pcm16[AacMaxChannels * AacSpectrumWords];
    // What each output channel's concealment keeps from frame to frame.
    AacDecConcealChannel conceal[AacMaxChannels];
};

// Bits of the mode argument (the frame flags of AacDec_DecodeFrame).
enum : uint32_t {
    AacModeConceal = 0x1,
    AacModeDrain = 0x2,
    AacModeResync = 0x4,
    AacModeReset = 0x8,
};

// Decodes the raw data block at the transport's position; channel c's samples go to
// timeBuffer + position(c) * frameLength, where position is the output slot of the
// channel map. Results: 0; 5 (no channel, or a channel beyond the configured ones);
// 0x2007 (no channels configured); 0x2008 (unsupported core rate); 0x200C (capacity
// below the configured channels' samples); bit-stream errors 0x4002, 0x4004, 0x4005
// and those of the element readers, whose frame was concealed.
int AacDec_DecodeRawDataBlock(AacDecInstance *h, uint32_t mode, int32_t *timeBuffer, uint32_t capacity,
                              uint32_t frameLength);
