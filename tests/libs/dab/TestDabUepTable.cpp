// The UEP table checked against what the protection levels mean rather than
// against a second copy of the table.
#include "DabUepTable.h"

#include <gtest/gtest.h>

using namespace ZOZ;

TEST(DabUepTable, CodeRatesFitTheirProtectionLevels)
{
    // Transmitted bits per 24 ms frame (64 per CU) over payload bits: each
    // protection level has its own narrow band of overall code rates.
    const double lowest[6] = {0, 2.7, 2.3, 1.9, 1.6, 1.3};
    const double highest[6] = {0, 3.0, 2.5, 2.05, 1.8, 1.4};
    for (int i = 0; i < DabUepTableSize; ++i) {
        SCOPED_TRACE(i);
        const DabUepEntry *e = uepTableEntry(i);
        ASSERT_NE(nullptr, e);
        ASSERT_GE(e->protectionLevel, 1);
        ASSERT_LE(e->protectionLevel, 5);
        EXPECT_EQ(0, e->bitRate % 8);
        const double ratio = e->size * 64.0 / (e->bitRate * 24.0);
        EXPECT_GE(ratio, lowest[e->protectionLevel]);
        EXPECT_LE(ratio, highest[e->protectionLevel]);
    }
}

TEST(DabUepTable, OrderedByBitRateThenWeakerProtectionFirst)
{
    for (int i = 1; i < DabUepTableSize; ++i) {
        SCOPED_TRACE(i);
        const DabUepEntry *previous = uepTableEntry(i - 1);
        const DabUepEntry *e = uepTableEntry(i);
        if (e->bitRate == previous->bitRate) {
            EXPECT_LT(e->protectionLevel, previous->protectionLevel);
            EXPECT_GT(e->size, previous->size);
        } else {
            EXPECT_GT(e->bitRate, previous->bitRate);
        }
    }
    EXPECT_EQ(32, uepTableEntry(0)->bitRate);
    EXPECT_EQ(384, uepTableEntry(63)->bitRate);
    EXPECT_EQ(nullptr, uepTableEntry(-1));
    EXPECT_EQ(nullptr, uepTableEntry(64));
}
