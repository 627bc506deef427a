#pragma once

#include "ZOZDab.h"

namespace ZOZ {

// Number of channels of all grids together: the ensemble indices are 0 to
// this minus one.
inline int channelCount()
{
    return channelGridBase(DabChannelGridCount);
}

inline bool isChannelIndex(int index)
{
    return index >= 0 && index < channelCount();
}

// Flat index of the first channel, in grid and position order, with that
// centre frequency (kHz); -1 when no grid has one.
int channelIndexOfFrequency(int frequency);

} // namespace ZOZ
