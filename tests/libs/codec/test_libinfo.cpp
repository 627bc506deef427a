// Library-information registry and system functions.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LibInfo, ToolboxRowAndDuplicate)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    EXPECT_EQ(RezTools_GetLibInfo(table), 0);
    EXPECT_STREQ(table[0].title, "REZ Tools");
    EXPECT_STREQ(table[0].buildDate, "Jun 25 2019");
    EXPECT_STREQ(table[0].buildTime, "16:54:12");
    EXPECT_EQ(table[0].moduleId, 1u);
    EXPECT_EQ(table[0].version, 0x02060000u);
    EXPECT_EQ(table[0].flags, 0x1u);
    EXPECT_STREQ(table[0].versionText, "2.6.0");
    EXPECT_EQ(RezTools_GetLibInfo(table), -1);
    EXPECT_EQ(table[1].moduleId, 0u);
    EXPECT_EQ(RezTools_GetLibInfo(nullptr), -1);
}

TEST(LibInfo, FullTableIsReported)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    for (auto &row : table)
        row.moduleId = REZ_MODULE_AAC_DECODER;
    EXPECT_EQ(RezTools_GetLibInfo(table), -1);
    int duplicate = 7;
    EXPECT_EQ(RezTools_LibInfoFreeRow(table, 0, &duplicate), nullptr);
    EXPECT_EQ(duplicate, 0);
}

TEST(System, FirstInitWord)
{
    EXPECT_EQ(RezSys_CheckFirstInit(), 1);
    EXPECT_EQ(RezSys_CheckFirstInit(), 0);
    EXPECT_EQ(RezSys_SetInitWord(), 0);
    EXPECT_EQ(RezSys_CheckFirstInit(), 0);
}

TEST(System, AlignedBlocksAreZeroedAndAligned)
{
    for (size_t alignment : {0, 1, 4, 8, 16, 64}) {
        for (size_t size : {1, 3, 100}) {
            auto *p = static_cast<unsigned char *>(RezSys_AlignedCalloc(size, alignment));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
            for (size_t i = 0; i < size; ++i)
                ASSERT_EQ(p[i], 0);
            RezSys_AlignedFree(p);
        }
    }
    EXPECT_EQ(RezSys_AlignedCalloc(0, 8), nullptr);
    EXPECT_EQ(RezSys_AlignedCalloc(SIZE_MAX - 4, 8), nullptr);
}

TEST(System, ArraysShareOneDataBlock)
{
    EXPECT_EQ(RezTools_Calloc2D(0, 5, 4), nullptr);
    EXPECT_EQ(RezTools_Calloc3D(2, 0, 3, 4), nullptr);
    EXPECT_EQ(RezTools_Calloc2D(SIZE_MAX / 2, 4, 4), nullptr);

    auto **a = reinterpret_cast<int32_t **>(RezTools_AlignedCalloc2D(3, 5, sizeof(int32_t)));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[2], a[0] + 10);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a[0]) % 8, 0u);
    a[2][4] = 7;
    RezTools_AlignedFree2D(reinterpret_cast<void **>(a));

    auto ***c = reinterpret_cast<int16_t ***>(RezTools_Calloc3D(2, 3, 4, sizeof(int16_t)));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c[1][2], c[0][0] + (1 * 3 + 2) * 4);
    c[1][2][3] = 1;
    RezTools_Free3D(reinterpret_cast<void ***>(c));
    RezTools_Free2D(nullptr);
    RezTools_Free3D(nullptr);
    RezTools_AlignedFree3D(nullptr);
}

TEST(System, MemCompareIsUnsignedAndFormattingIsBounded)
{
    const uint8_t a[3] = {1, 2, 0xFF}, b[3] = {1, 2, 0x01};
    EXPECT_EQ(RezSys_MemCompare(a, b, 3), 1);
    EXPECT_EQ(RezSys_MemCompare(b, a, 3), -1);
    EXPECT_EQ(RezSys_MemCompare(a, a, 3), 0);

    char text[8];
    EXPECT_EQ(RezSys_Sprintf(text, sizeof text, "%d.%d.%d", 2, 14, 0), 6);
    EXPECT_STREQ(text, "2.14.0");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(RezSys_Sprintf(text, sizeof text, "%s", "far too long for it"), -1);
    EXPECT_EQ(text[7], '\0');
}

} // namespace
