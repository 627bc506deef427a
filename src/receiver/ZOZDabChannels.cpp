#include "ZOZDabChannels.h"

namespace ZOZ {

int channelIndexOfFrequency(int frequency)
{
    for (int grid = 0; grid < DabChannelGridCount; ++grid) {
        const int position = channelPositionOfFrequency(grid, frequency);
        if (position >= 0)
            return channelGridBase(grid) + position;
    }
    return -1;
}

} // namespace ZOZ
