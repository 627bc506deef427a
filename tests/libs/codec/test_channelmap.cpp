// Channel map: built-in table, caller tables, passthrough.
#include "RezTools.h"

#include <gtest/gtest.h>

namespace {

TEST(ChannelMap, BuiltInRows)
{
    RezChannelMap map;
    RezTools_ChannelMapInit(&map, nullptr, 0, 0);
    EXPECT_EQ(map.rowCount, 15u);
    EXPECT_EQ(RezTools_ChannelMapValidate(&map), 1);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 3, 6), 4);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 6, 6), 6) << "index beyond the row";
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 0, 3), 2);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 1, 7), 6);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 9, 13), 8);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 2, 15), 2) << "row beyond the table";
    EXPECT_EQ(RezTools_ChannelMapGet(nullptr, 5, 1), 5);
}

TEST(ChannelMap, CallerTablesAreCheckedFirst)
{
    const uint8_t swap[2] = {1, 0};
    const uint8_t repeat[3] = {0, 1, 1};
    const uint8_t tooLarge[2] = {0, 40};
    const RezChannelMapRow good[1] = {{swap, 2}};
    const RezChannelMapRow bad[2] = {{swap, 2}, {repeat, 3}};
    const RezChannelMapRow outside[1] = {{tooLarge, 2}};
    RezChannelMap map;
    RezTools_ChannelMapInit(&map, good, 1, 0);
    EXPECT_EQ(map.rows, good);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 0, 0), 1);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 1, 0), 0);
    RezTools_ChannelMapInit(&map, bad, 2, 0);
    EXPECT_EQ(map.rowCount, 15u) << "a repeated entry falls back to the built-in table";
    RezTools_ChannelMapInit(&map, outside, 1, 0);
    EXPECT_EQ(map.rowCount, 15u);

    uint8_t long32[40];
    for (int i = 0; i < 40; ++i)
        long32[i] = static_cast<uint8_t>(39 - i);
    RezChannelMapRow longRow[1] = {{long32, 40}};
    RezChannelMap check = {longRow, 1, 0};
    EXPECT_EQ(RezTools_ChannelMapValidate(&check), 1);
    long32[5] = long32[6];
    EXPECT_EQ(RezTools_ChannelMapValidate(&check), 0);
    EXPECT_EQ(RezTools_ChannelMapValidate(nullptr), 0);
    RezChannelMap empty = {nullptr, 0, 0};
    EXPECT_EQ(RezTools_ChannelMapValidate(&empty), 1);
}

TEST(ChannelMap, Passthrough)
{
    RezChannelMap map;
    RezTools_ChannelMapInit(&map, nullptr, 0, 1);
    for (uint32_t row = 0; row < 15; ++row)
        for (uint32_t index = 0; index < 24; ++index)
            ASSERT_EQ(RezTools_ChannelMapGet(&map, index, row), index);
    EXPECT_EQ(RezTools_ChannelMapPassthrough(&map, 0), 0);
    EXPECT_EQ(RezTools_ChannelMapGet(&map, 0, 3), 2);
    RezChannelMap none = {nullptr, 0, 0};
    EXPECT_EQ(RezTools_ChannelMapPassthrough(&none, 1), 1);
    EXPECT_EQ(RezTools_ChannelMapPassthrough(nullptr, 1), 1);
}

} // namespace
