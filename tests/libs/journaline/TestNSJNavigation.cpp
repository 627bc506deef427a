// Navigation over the Journaline core's objects.
#include "CoreFixture.h"

#include <gtest/gtest.h>

using namespace ZOZ::Test::Journaline;

TEST(NSJNavigation, PathNeverExceedsTwentyEntries)
{
    Core core;
    for (uint16_t id = 1; id <= 25; ++id)
        core.open(id);
    const NSJ_HistoryPath path = core.path();
    EXPECT_EQ(NSJ_MAX_PATH - 1, path.depth);
    EXPECT_EQ(0, path.ids[0]);
    EXPECT_EQ(18, path.ids[18]);
    EXPECT_EQ(25, path.ids[19]) << "the top is replaced once the path is full";

    core.open(5);
    EXPECT_EQ(5, core.path().depth) << "an id on the path cuts it there";
    core.open(0);
    EXPECT_EQ(0, core.path().depth);

    NSJ_HistoryPath tooDeep{};
    tooDeep.depth = NSJ_MAX_PATH;
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_SetHistoryPath(core.get(), &tooDeep));
    NSJ_HistoryPath deepest{};
    deepest.depth = NSJ_MAX_PATH - 1;
    EXPECT_EQ(NSJ_OK, NSJ_SetHistoryPath(core.get(), &deepest));
}

TEST(NSJNavigation, SiblingsUpAndAround)
{
    Core core;
    ASSERT_EQ(NSJ_OK, core.feed(menu(0, {{10, "A"}, {20, "B"}, {30, "C"}})));
    ASSERT_EQ(NSJ_OK, core.feed(plain(10, "A")));
    ASSERT_EQ(NSJ_OK, core.feed(plain(30, "C")));
    ASSERT_EQ(NSJ_OK, core.open(0));
    ASSERT_EQ(NSJ_OK, core.open(10));

    // 20 is missing: without skipping its error comes back and 10 stays current.
    EXPECT_EQ(NSJ_OBJECT_NOT_AVAILABLE, NSJ_GetNextObject(core.get(), core.record(), 0));
    EXPECT_EQ(10, core.path().ids[1]);
    ASSERT_EQ(NSJ_OK, NSJ_GetNextObject(core.get(), core.record(), 1));
    EXPECT_EQ("C", core.title());
    EXPECT_EQ(30, core.path().ids[1]);
    ASSERT_EQ(NSJ_OK, NSJ_GetNextObject(core.get(), core.record(), 1));
    EXPECT_EQ("A", core.title()) << "wraps at the end";
    ASSERT_EQ(NSJ_OK, NSJ_GetPreviousObject(core.get(), core.record(), 1));
    EXPECT_EQ("C", core.title()) << "wraps at the start, passing over 20";

    ASSERT_EQ(NSJ_OK, NSJ_GetUpperObject(core.get(), core.record(), 0));
    EXPECT_EQ("Menu", core.title());
    EXPECT_EQ(0, core.path().depth);
    ASSERT_EQ(NSJ_OK, NSJ_GetUpperObject(core.get(), core.record(), 0)) << "at the root the root again";
    EXPECT_EQ(NSJ_OK, NSJ_GetNextObject(core.get(), core.record(), 1)) << "the root has no siblings: itself";
    EXPECT_EQ("Menu", core.title());

    // Only missing siblings: after one round the current object is retrieved again.
    Core lonely;
    ASSERT_EQ(NSJ_OK, lonely.feed(menu(0, {{10, "A"}, {20, "B"}})));
    ASSERT_EQ(NSJ_OK, lonely.feed(plain(10, "A")));
    lonely.open(10);
    EXPECT_EQ(NSJ_OK, NSJ_GetNextObject(lonely.get(), lonely.record(), 1));
    EXPECT_EQ("A", lonely.title());
}
