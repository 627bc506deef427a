#include "DabChannelGrids.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace ZOZ;

TEST(DabChannelGrids, GridsAndFlatIndex)
{
    const int sizes[] = {38, 23, 23, 31, 21};
    const char *names[] = {"European Grid (Band III)", "European Grid (L-Band)", "Canadian Grid (L-Band)",
                           "Chinese Grid (Band III)", "Korean Grid (Band III)"};
    const DabChannelGrid *grids = channelGrids();
    int base = 0;
    for (int g = 0; g < DabChannelGridCount; ++g) {
        SCOPED_TRACE(g);
        EXPECT_STREQ(names[g], grids[g].name);
        EXPECT_EQ(sizes[g], grids[g].count);
        EXPECT_EQ(base, channelGridBase(g));
        std::set<std::string> labels;
        for (int i = 0; i < grids[g].count; ++i) {
            EXPECT_TRUE(labels.insert(grids[g].channels[i].label).second) << grids[g].channels[i].label;
            EXPECT_EQ(2, grids[g].channels[i].bandwidth);
            EXPECT_EQ(g, bandOfChannelIndex(base + i));
            EXPECT_EQ(&grids[g].channels[i], channelAtIndex(base + i));
        }
        base += sizes[g];
    }
    EXPECT_EQ(136, channelGridBase(5));
    EXPECT_EQ(0, channelGridBase(-1));
    EXPECT_EQ(115, channelGridBase(4));
    EXPECT_STREQ("LA", channelAtIndex(38)->label);
    EXPECT_STREQ("10B", channelAtIndex(115)->label);
    EXPECT_EQ(nullptr, channelAtIndex(136));
    EXPECT_EQ(nullptr, channelAtIndex(-1));
    EXPECT_EQ(0, bandOfChannelIndex(136));
    EXPECT_EQ(0, bandOfChannelIndex(-5));
}

TEST(DabChannelGrids, LBandFrequenciesFollowTheirRaster)
{
    const DabChannelGrid *grids = channelGrids();
    for (int n = 0; n < 23; ++n) {
        EXPECT_EQ(std::string("L") + static_cast<char>('A' + n), grids[1].channels[n].label);
        EXPECT_EQ(1452960 + 1712 * n, grids[1].channels[n].frequency);
        EXPECT_EQ("L" + std::to_string(n + 1), grids[2].channels[n].label);
        EXPECT_EQ(1452816 + 1744 * n, grids[2].channels[n].frequency);
    }
}

TEST(DabChannelGrids, BandThreeChannelsAreTheirBlocks)
{
    // Every European Band III channel: 5A-13F, 5A at 174928 kHz, 13F at
    // 239200 kHz; each grid 0 label appears once and within that range.
    const DabChannelGrid &grid = channelGrids()[0];
    for (int i = 0; i < grid.count; ++i) {
        EXPECT_GE(grid.channels[i].frequency, 174928);
        EXPECT_LE(grid.channels[i].frequency, 239200);
    }
    // Channels 5 to 12 sit on a 7 MHz raster with blocks A-D 1712 kHz apart
    // (give or take a few kHz of centring).
    for (int i = 0; i < grid.count; ++i) {
        const std::string label = grid.channels[i].label;
        const int channel = std::stoi(label);
        if (channel > 12)
            continue;
        const int block = label.back() - 'A';
        const int raster = 174928 + (channel - 5) * 7000 + block * 1712;
        EXPECT_NEAR(raster, grid.channels[i].frequency, 16) << label;
    }
    // Positions 12 onwards ascend.
    for (int i = 13; i < grid.count; ++i)
        EXPECT_GT(grid.channels[i].frequency, grid.channels[i - 1].frequency);
}

TEST(DabChannelGrids, FindByLabel)
{
    const DabChannel *c = findChannelByLabel("5c");
    ASSERT_NE(nullptr, c);
    EXPECT_STREQ("5C", c->label);
    EXPECT_EQ(178352, c->frequency);
    c = findChannelByLabel("7A");
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(188928, c->frequency);
    c = findChannelByLabel("l23");
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(1491184, c->frequency);
    EXPECT_EQ(nullptr, findChannelByLabel("14Z"));
    EXPECT_EQ(nullptr, findChannelByLabel(""));
    EXPECT_EQ(nullptr, findChannelByLabel("5"));
    EXPECT_EQ(nullptr, findChannelByLabel(nullptr));
}

TEST(DabChannelGrids, FrequencyLookupInOneGrid)
{
    EXPECT_EQ(0, channelPositionOfFrequency(0, 178352));
    EXPECT_EQ(1, channelPositionOfFrequency(4, 175280));
    EXPECT_EQ(-1, channelPositionOfFrequency(3, 178352));
    EXPECT_EQ(-1, channelPositionOfFrequency(5, 178352));
    EXPECT_EQ(-1, channelPositionOfFrequency(-1, 178352));
}
