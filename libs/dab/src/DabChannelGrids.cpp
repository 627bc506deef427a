#include "DabChannelGrids.h"

#include "DabChannelGridsData.h"

namespace ZOZ {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
    }
    return *a == *b;
}

} // namespace

const DabChannelGrid *channelGrids() { return Grids; }

const DabChannel *findChannelByLabel(const char *label)
{
    if (label == nullptr)
        return nullptr;
    for (const DabChannelGrid &grid : Grids) {
        for (int i = 0; i < grid.count; ++i) {
            if (equalsIgnoringCase(grid.channels[i].label, label))
                return &grid.channels[i];
        }
    }
    return nullptr;
}

int channelGridBase(int grid)
{
    int base = 0;
    for (int i = 0; i < grid && i < DabChannelGridCount; ++i)
        base += Grids[i].count;
    return base;
}

int bandOfChannelIndex(int flatIndex)
{
    if (flatIndex < 0)
        return 0;
    for (int grid = 0; grid < DabChannelGridCount; ++grid) {
        if (flatIndex < Grids[grid].count)
            return grid;
        flatIndex -= Grids[grid].count;
    }
    return 0;
}

const DabChannel *channelAtIndex(int flatIndex)
{
    if (flatIndex < 0 || flatIndex >= channelGridBase(DabChannelGridCount))
        return nullptr;
    const int grid = bandOfChannelIndex(flatIndex);
    return &Grids[grid].channels[flatIndex - channelGridBase(grid)];
}

int channelPositionOfFrequency(int grid, int32_t frequency)
{
    if (grid < 0 || grid >= DabChannelGridCount)
        return -1;
    for (int i = 0; i < Grids[grid].count; ++i) {
        if (Grids[grid].channels[i].frequency == frequency)
            return i;
    }
    return -1;
}

} // namespace ZOZ
