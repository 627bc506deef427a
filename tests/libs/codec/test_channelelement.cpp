// Channel element syntax list selection and loudspeaker layout counts.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<uint32_t> listOf(const uint32_t *list)
{
    std::vector<uint32_t> out;
    for (int i = 0; list && i < 64; ++i) {
        out.push_back(list[i]);
        if (list[i] == 40 || list[i] == 39)
            break;
    }
    return out;
}

TEST(ChannelElementSyntax, AacListsAreTheStandardOrder)
{
    for (uint32_t aot : {2u, 5u, 29u}) {
        const RezChannelElementSyntax *mono = RezTools_GetChannelElementSyntax(aot, 0, 1, 0, 0);
        ASSERT_NE(mono, nullptr);
        EXPECT_EQ(listOf(mono->lists[0]), (std::vector<uint32_t>{31, 0, 2, 3, 8, 9, 10, 11, 12, 13, 17, 33, 40}));
        EXPECT_EQ(mono->lists[1], nullptr);
        const RezChannelElementSyntax *stereo = RezTools_GetChannelElementSyntax(aot, 0, 2, 0, 0);
        ASSERT_NE(stereo, nullptr);
        EXPECT_EQ(listOf(stereo->lists[0]), (std::vector<uint32_t>{31, 0, 1, 39}));
        EXPECT_EQ(listOf(stereo->lists[1]), (std::vector<uint32_t>{2, 3, 8, 9, 10, 11, 12, 13, 17, 37, 32, 2, 3, 8, 9,
                                                                   10, 11, 12, 13, 17, 33, 34, 40}));
        EXPECT_EQ(listOf(stereo->lists[2]), (std::vector<uint32_t>{3, 5, 2, 8, 9, 10, 11, 12, 13, 17, 37, 32, 2, 8, 9,
                                                                   10, 11, 12, 13, 17, 33, 34, 40}));
        EXPECT_EQ(RezTools_GetChannelElementSyntax(aot, 0, 6, 0, 0), stereo);
    }
}

TEST(ChannelElementSyntax, SelectionByObjectTypeChannelsAndFlags)
{
    struct Row {
        uint32_t aot, channels, flags;
        bool exists;
    };
    const Row rows[] = {{2, 1, 1, true},   {42, 1, 0, true},  {42, 2, 0, true}, {42, 1, 0x20, true},
                        {50, 2, 0x20, true}, {143, 1, 0, true}, {146, 2, 0, true}, {256, 1, 0, true},
                        {256, 2, 0, true}, {1, 1, 0, false},  {20, 2, 0, false}, {147, 1, 0, false}};
    for (const Row &row : rows)
        EXPECT_EQ(RezTools_GetChannelElementSyntax(row.aot, 0, row.channels, 0, row.flags) != nullptr, row.exists)
            << row.aot << " " << row.channels << " " << row.flags;
    // Ten distinct records, every list ending in 40 or in 39 with both sub-lists.
    std::vector<const RezChannelElementSyntax *> seen;
    for (const Row &row : rows) {
        const RezChannelElementSyntax *record = RezTools_GetChannelElementSyntax(row.aot, 0, row.channels, 0, row.flags);
        if (!record)
            continue;
        const std::vector<uint32_t> first = listOf(record->lists[0]);
        ASSERT_FALSE(first.empty());
        if (first.back() == 39) {
            EXPECT_EQ(listOf(record->lists[1]).back(), 40u);
            EXPECT_EQ(listOf(record->lists[2]).back(), 40u);
        } else {
            EXPECT_EQ(first.back(), 40u);
        }
        if (std::find(seen.begin(), seen.end(), record) == seen.end())
            seen.push_back(record);
    }
    seen.push_back(RezTools_GetChannelElementSyntax(2, 0, 1, 0, 0));
    seen.push_back(RezTools_GetChannelElementSyntax(2, 0, 2, 0, 0));
    EXPECT_EQ(seen.size(), 10u);
}

TEST(LoudspeakerLayouts, Counts)
{
    struct Row {
        uint32_t layout;
        int result, ordinary, lowFrequency;
    };
    const Row rows[] = {{1, 0, 1, 0},  {2, 0, 2, 0},   {6, 0, 5, 1},  {7, 0, 7, 1},   {12, 0, 7, 1},
                        {13, 0, 22, 2}, {20, 0, 13, 1}, {0, -990, -1, -1}, {8, -990, -1, -1}, {21, -990, -1, -1}};
    for (const Row &row : rows) {
        int ordinary = 99, lowFrequency = 99, total = 99;
        EXPECT_EQ(RezTools_ChannelElementTableLookup(row.layout, nullptr, &ordinary, &lowFrequency), row.result)
            << row.layout;
        EXPECT_EQ(ordinary, row.ordinary) << row.layout;
        EXPECT_EQ(lowFrequency, row.lowFrequency) << row.layout;
        EXPECT_EQ(RezTools_ChannelElementCount(row.layout, &total), row.result) << row.layout;
        EXPECT_EQ(total, row.ordinary + row.lowFrequency) << row.layout;
    }
}

TEST(LoudspeakerLayouts, Descriptors)
{
    RezSpeakerPosition positions[32] = {};
    int ordinary = 0, lowFrequency = 0;
    ASSERT_EQ(RezTools_ChannelElementTableLookup(6, positions, &ordinary, &lowFrequency), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(positions[i].index, i);
    EXPECT_EQ(positions[0].azimuth, 30);
    EXPECT_EQ(positions[0].elevation, 0);
    EXPECT_EQ(positions[3].isLowFrequency, 1);
    EXPECT_EQ(positions[3].elevation, -15);
    ASSERT_EQ(RezTools_ChannelElementTableLookup(12, positions, &ordinary, &lowFrequency), 0);
    const int expected[] = {0, 1, 2, 3, 4, 5, 8, 9};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(positions[i].index, expected[i]);
    ASSERT_EQ(RezTools_ChannelElementTableLookup(1, positions, &ordinary, &lowFrequency), 0);
    EXPECT_EQ(positions[0].index, 2);
}

} // namespace
