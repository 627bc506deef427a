// Output slot of each decoded channel per channel configuration.
#include "RezTools.h"

namespace {

constexpr uint8_t Identity24[24] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};
constexpr uint8_t Mono[2] = {0, 1};
constexpr uint8_t Three[3] = {2, 0, 1};
constexpr uint8_t Four[4] = {2, 0, 1, 3};
constexpr uint8_t Five[5] = {2, 0, 1, 3, 4};
constexpr uint8_t FiveOne[6] = {2, 0, 1, 4, 5, 3};
constexpr uint8_t SevenOneFront[8] = {2, 6, 7, 0, 1, 4, 5, 3};
constexpr uint8_t SixOne[7] = {2, 0, 1, 4, 5, 6, 3};
constexpr uint8_t SevenOneBack[8] = {2, 0, 1, 6, 7, 4, 5, 3};
constexpr uint8_t TwentyTwoTwo[24] = {2, 6, 7, 0, 1, 10, 11, 4, 5, 8, 3, 9, 14, 12, 13, 18, 19, 15, 16, 17, 20, 21, 22, 23};
constexpr uint8_t SevenOneTop[8] = {2, 0, 1, 4, 5, 3, 6, 7};

// Rows indexed by channel configuration 0..14.
constexpr RezChannelMapRow BuiltInRows[15] = {
    {Identity24, 24}, {Mono, 2},          {Mono, 2},         {Three, 3},         {Four, 4},
    {Five, 5},        {FiveOne, 6},       {SevenOneFront, 8}, {Identity24, 24},  {Identity24, 24},
    {Identity24, 24}, {SixOne, 7},        {SevenOneBack, 8}, {TwentyTwoTwo, 24}, {SevenOneTop, 8},
};

bool isPermutation(const RezChannelMapRow &row)
{
    if (row.len == 0)
        return true;
    if (!row.map)
        return false;
    if (row.len < 32) {
        uint32_t seen = 0;
        for (unsigned i = 0; i < row.len; ++i) {
            if (row.map[i] >= 32)
                return false;
            seen |= 1u << row.map[i];
        }
        return seen == RezTools_BitMask[row.len];
    }
    for (unsigned i = 0; i < row.len; ++i) {
        if (row.map[i] >= row.len)
            return false;
        for (unsigned j = i + 1; j < row.len; ++j)
            if (row.map[i] == row.map[j])
                return false;
    }
    return true;
}

} // namespace

extern "C" {

void RezTools_ChannelMapInit(RezChannelMap *map, const RezChannelMapRow *rows, uint32_t rowCount, uint32_t passthrough)
{
    if (!map)
        return;
    map->passthrough = passthrough != 0;
    if (rows && rowCount) {
        const RezChannelMap candidate = {rows, rowCount, 0};
        if (RezTools_ChannelMapValidate(&candidate)) {
            map->rows = rows;
            map->rowCount = rowCount;
            return;
        }
    }
    map->rows = BuiltInRows;
    map->rowCount = 15;
}

uint8_t RezTools_ChannelMapGet(const RezChannelMap *map, uint32_t index, uint32_t row)
{
    if (!map || map->passthrough || !map->rows || row >= map->rowCount || index >= map->rows[row].len)
        return static_cast<uint8_t>(index);
    return map->rows[row].map[index];
}

int RezTools_ChannelMapValidate(const RezChannelMap *map)
{
    if (!map)
        return 0;
    if (map->rowCount == 0)
        return 1;
    if (!map->rows)
        return 0;
    for (uint32_t r = 0; r < map->rowCount; ++r)
        if (!isPermutation(map->rows[r]))
            return 0;
    return 1;
}

int RezTools_ChannelMapPassthrough(RezChannelMap *map, uint32_t flag)
{
    if (!map || !map->rows || map->rowCount == 0)
        return 1;
    map->passthrough = flag != 0;
    return 0;
}

} // extern "C"
