// The five DAB band plans (grids) and the flat channel index: the position of
// a channel in the grids taken one after another. Constant data, safe to read
// from any thread.
#ifndef ZOZ_DAB_CHANNEL_GRIDS_H
#define ZOZ_DAB_CHANNEL_GRIDS_H

#include <cstdint>

namespace ZOZ {

constexpr int DabChannelGridCount = 5;
constexpr int32_t DabBandwidthCode = 2;

struct DabChannel {
    const char *label;     // "5C", "LA", "L12"
    int32_t frequency;     // centre frequency, kHz
    int32_t bandwidth;     // bandwidth code, 2 for every channel
};

struct DabChannelGrid {
    const char *name;
    const DabChannel *channels;
    int count;
};

// The DabChannelGridCount grids in index order.
const DabChannelGrid *channelGrids();

// First channel, in grid and position order, whose label equals `label`
// ignoring ASCII case; null when none (or for a null label).
const DabChannel *findChannelByLabel(const char *label);

// Flat index of the first channel of grid `grid` (0-5); 5 gives the total
// number of channels. 0 for negative grids, the total for grids above 5.
int channelGridBase(int grid);

// Grid of a flat index; 0 for a negative index or one beyond the last channel.
int bandOfChannelIndex(int flatIndex);

// Channel of a flat index; null outside every grid.
const DabChannel *channelAtIndex(int flatIndex);

// Position of the channel with that centre frequency in grid `grid`; -1 when
// the grid has none or the grid index is out of range.
int channelPositionOfFrequency(int grid, int32_t frequency);

} // namespace ZOZ

#endif
