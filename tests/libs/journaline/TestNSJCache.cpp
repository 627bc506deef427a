// The Journaline core's cache: eviction, expiry, tables of contents, export
// and import, stored state.
#include "CoreFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ZOZ::Test::Journaline;

namespace {

// A plain message that takes `blocks` 128-byte blocks.
Object sized(uint16_t id, int blocks)
{
    return plain(id, "T", std::string(static_cast<size_t>(blocks * 128 - 32 - 8), 'x'));
}

} // namespace

TEST(NSJCache, LayoutOfTheDefaultCache)
{
    Core core;
    const NSJ_Statistics s = core.statistics();
    EXPECT_EQ(128, s.blockSize);
    EXPECT_EQ(12800u, s.cacheSize);
    // 92 blocks: 192 bytes of chain table, 736 of index, 11776 of blocks.
    EXPECT_EQ(92, s.blocks);
    EXPECT_EQ(192u + 736u, s.managementBytes);
    EXPECT_EQ(11776u, s.blockBytes);
    EXPECT_EQ(12800u - 192u - 736u - 11776u, s.unusedRemainder);
    EXPECT_EQ(s.blockBytes, s.freeBlockBytes);
    EXPECT_EQ(92, s.freeIndexEntries);
}

TEST(NSJCache, EvictionSparesWhatTheReaderUses)
{
    Core core(Core::Settings{.cacheSize = 4092, .timeMode = NSJ_TIME_NONE});
    ASSERT_EQ(29, core.statistics().blocks) << "blocks of 128 bytes";
    // The reader is in menu 0 > menu 2 > message 5; 7 is a sibling of 5, 9 an unrelated menu.
    ASSERT_EQ(NSJ_OK, core.feed(menu(0, {{2, "Sub"}})));
    ASSERT_EQ(NSJ_OK, core.feed(menu(2, {{5, "Five"}, {7, "Seven"}})));
    ASSERT_EQ(NSJ_OK, core.feed(sized(5, 4)));
    ASSERT_EQ(NSJ_OK, core.feed(sized(7, 4)));
    ASSERT_EQ(NSJ_OK, core.feed(menu(9, {{11, "Eleven"}})));
    ASSERT_EQ(NSJ_OK, core.open(0));
    ASSERT_EQ(NSJ_OK, core.open(2));
    ASSERT_EQ(NSJ_OK, core.open(5));
    ASSERT_EQ(NSJ_OK, core.feed(sized(20, 8)));
    ASSERT_EQ(NSJ_OK, core.feed(sized(22, 8)));
    ASSERT_LT(core.statistics().freeBlocks, 8);

    // An unrelated plain message evicts only unprotected objects.
    ASSERT_EQ(NSJ_OK, core.feed(sized(24, 8)));
    EXPECT_FALSE(core.has(20));
    for (uint16_t id : {0, 2, 5, 7, 9, 22, 24})
        EXPECT_TRUE(core.has(id)) << id;
    EXPECT_EQ((std::vector<uint16_t>{20}), core.eventsOf(NSJ_EVENT_EVICTED));

    // One that needs more than the unprotected ones give is refused.
    EXPECT_EQ(NSJ_INSUFFICIENT_MEMORY, core.feed(sized(26, 20)));
    for (uint16_t id : {0, 2, 5, 7, 9})
        EXPECT_TRUE(core.has(id)) << id;

    // A child of the current object outranks the menus and the siblings' plain messages.
    Core second(Core::Settings{.cacheSize = 4092, .timeMode = NSJ_TIME_NONE});
    ASSERT_EQ(NSJ_OK, second.feed(menu(0, {{2, "Sub"}})));
    ASSERT_EQ(NSJ_OK, second.feed(menu(2, {{5, "Five"}, {7, "Seven"}})));
    ASSERT_EQ(NSJ_OK, second.feed(menu(9, {{11, "Eleven"}})));
    ASSERT_EQ(NSJ_OK, second.open(0));
    ASSERT_EQ(NSJ_OK, second.open(2));
    ASSERT_EQ(NSJ_OK, second.feed(sized(7, 12)));
    ASSERT_EQ(NSJ_OK, second.feed(sized(30, 12)));
    ASSERT_EQ(NSJ_OK, second.feed(sized(5, 12)));
    EXPECT_FALSE(second.has(30));
    EXPECT_TRUE(second.has(2)) << "the current object stays";
    EXPECT_TRUE(second.has(5));
}

TEST(NSJCache, ExpiryThroughTheTimeCallback)
{
    Core core;
    Object relative = plain(80);
    append(relative.titleSections, section(0x02, {0x00, 0x02})); // two minutes
    ASSERT_EQ(NSJ_OK, core.feed(relative));
    core.now += 120;
    EXPECT_TRUE(core.has(80)) << "valid up to and including the last second";
    core.now += 1;
    EXPECT_EQ(NSJ_OBJECT_TIMEOUT, core.retrieve(80));
    EXPECT_EQ((std::vector<uint16_t>{80}), core.eventsOf(NSJ_EVENT_EXPIRED));
    EXPECT_EQ(NSJ_OBJECT_NOT_AVAILABLE, core.retrieve(80));

    // Absolute expiry in quarter hours since 2000.
    const uint32_t quarter = core.now / 900 + 2;
    Object absolute = plain(82);
    append(absolute.titleSections,
           section(0x01, {static_cast<uint8_t>(quarter >> 16), static_cast<uint8_t>(quarter >> 8),
                          static_cast<uint8_t>(quarter)}));
    ASSERT_EQ(NSJ_OK, core.feed(absolute));
    core.now = quarter * 900;
    EXPECT_TRUE(core.has(82));
    core.now += 1;
    EXPECT_FALSE(core.has(82));
    EXPECT_EQ(NSJ_OK, core.feed(absolute)) << "an expired object is refused without error";
    EXPECT_FALSE(core.has(82));

    // A reception time in the future means the clock went back.
    ASSERT_EQ(NSJ_OK, core.feed(plain(84)));
    core.now -= 10;
    EXPECT_EQ(NSJ_TIMESTAMP_INVALID, core.retrieve(84));

    // Objects without their own expiry follow the table of contents' validity.
    Core toc;
    ASSERT_EQ(NSJ_OK, toc.feed(plain(86)));
    ASSERT_EQ(NSJ_OK, toc.feed(dataGroup(tableOfContents({{86, headerByte(PlainMessage)}}, false, 0, 1, 5), {.type = 6})));
    toc.now += 301;
    EXPECT_FALSE(toc.has(86));
}

TEST(NSJCache, TableOfContentsRemovesWhatItDoesNotList)
{
    Core core;
    for (uint16_t id : {1, 2, 3, 10, 11})
        ASSERT_EQ(NSJ_OK, core.feed(plain(id)));
    // Ranged from 2 to 10: 3 is not listed, 10 is listed with another revision.
    const Bytes toc = tableOfContents({{2, headerByte(PlainMessage)}, {10, headerByte(PlainMessage, 1)}}, true, 2, 7);
    ASSERT_EQ(NSJ_OK, core.feed(dataGroup(toc, {.type = 6})));
    EXPECT_TRUE(core.has(1)) << "below the range";
    EXPECT_TRUE(core.has(2));
    EXPECT_FALSE(core.has(3));
    EXPECT_FALSE(core.has(10));
    EXPECT_TRUE(core.has(11)) << "above the range";
    EXPECT_EQ((std::vector<uint16_t>{10, 3}), core.eventsOf(NSJ_EVENT_TOC_REMOVED));
    EXPECT_EQ(7, core.statistics().tocField);

    // Thirteen bytes without records and without range: everything goes.
    ASSERT_EQ(NSJ_OK, core.feed(dataGroup(tableOfContents({}), {.type = 6})));
    EXPECT_EQ(0, core.statistics().objectsCached);

    Bytes ragged = tableOfContents({{1, 0x40}});
    ragged.push_back(0);
    EXPECT_EQ(NSJ_TOC_ERROR, core.feed(dataGroup(ragged, {.type = 6}))) << "records not whole";
}

TEST(NSJCache, ExportImportRoundTrip)
{
    Core source;
    Object packed = plain(3, "Packed", std::string(500, 'p'));
    packed.compressed = true;
    for (const Object &o : {menu(0, {{1, "One"}, {3, "Three"}}), plain(1, "One"), packed})
        ASSERT_EQ(NSJ_OK, source.feed(o));
    const uint32_t size = NSJ_GetObjectCacheSize(source.get());
    EXPECT_EQ(4u + 2 + raw(menu(0, {{1, "One"}, {3, "Three"}})).size() + 2 + raw(plain(1, "One")).size() + 2
                  + raw(packed).size(),
              size);
    std::vector<uint8_t> image(size + 10, 0xEE);
    EXPECT_EQ(NSJ_STORAGE_SIZE, NSJ_GetObjectCache(source.get(), image.data(), size - 1));
    ASSERT_EQ(NSJ_OK, NSJ_GetObjectCache(source.get(), image.data(), static_cast<uint32_t>(image.size())));
    EXPECT_EQ(size + 6, (uint32_t(image[2]) << 8) | image[3]) << "the length field counts the whole buffer";
    EXPECT_TRUE(std::all_of(image.begin() + size, image.end(), [](uint8_t b) { return b == 0; }));

    Core target;
    EXPECT_EQ(NSJ_STORAGE_SIZE, NSJ_SetObjectCache(target.get(), image.data(), 3));
    EXPECT_EQ(NSJ_STORAGE_SIZE, NSJ_SetObjectCache(target.get(), image.data(), 20)) << "length field beyond";
    ASSERT_EQ(NSJ_OK, NSJ_SetObjectCache(target.get(), image.data(), static_cast<uint32_t>(image.size())));
    for (uint16_t id : {0, 1, 3})
        EXPECT_TRUE(target.has(id)) << id;
    ASSERT_EQ(NSJ_OK, target.retrieve(3));
    EXPECT_EQ(std::string(500, 'p'), std::string(target.record()->body, target.record()->body + 500));
    EXPECT_TRUE(target.eventsOf(NSJ_EVENT_NEW).empty()) << "imports are not news";

    // A truncated import keeps the complete records (in index order: even
    // ids from the bottom, odd ids from the top).
    Core partial;
    std::vector<uint8_t> cut(image.begin(), image.begin() + size - 5);
    cut[0] = cut[1] = cut[2] = 0;
    cut[3] = static_cast<uint8_t>(cut.size() - 4);
    cut[2] = static_cast<uint8_t>((cut.size() - 4) >> 8);
    ASSERT_EQ(NSJ_OK, NSJ_SetObjectCache(partial.get(), cut.data(), static_cast<uint32_t>(cut.size())));
    EXPECT_TRUE(partial.has(0));
    EXPECT_TRUE(partial.has(3));
    EXPECT_FALSE(partial.has(1));
}

TEST(NSJCache, StoredStateOverTheSameMemory)
{
    Core first;
    ASSERT_EQ(NSJ_OK, first.feed(menu(0, {{2, "Two"}})));
    ASSERT_EQ(NSJ_OK, first.feed(plain(2, "Two")));
    ASSERT_EQ(NSJ_OK, first.open(2));
    uint8_t state[NSJ_STATE_SIZE];
    EXPECT_EQ(NSJ_STORAGE_SIZE, NSJ_GetInstanceState(first.get(), state, NSJ_STATE_SIZE - 1));
    ASSERT_EQ(NSJ_OK, NSJ_GetInstanceState(first.get(), state, NSJ_STATE_SIZE));

    Core second(Core::Settings{.state = state});
    // The cache memory must hold what was saved with the state.
    second.memory() = first.memory();
    ASSERT_EQ(NSJ_OK, NSJ_SetInstanceState(second.get(), state, NSJ_STATE_SIZE));
    EXPECT_TRUE(second.has(2));
    EXPECT_EQ(1, second.path().depth);
    EXPECT_EQ(2, second.path().ids[1]);

    uint8_t damaged[NSJ_STATE_SIZE];
    std::copy(state, state + NSJ_STATE_SIZE, damaged);
    damaged[1] = 79;
    EXPECT_EQ(NSJ_STORAGE_INVALID, NSJ_SetInstanceState(second.get(), damaged, NSJ_STATE_SIZE));
    EXPECT_EQ(NSJ_STORAGE_SIZE, NSJ_SetInstanceState(second.get(), state, NSJ_STATE_SIZE + 1));

    // Cache memory that does not hold what the state promises: no free block
    // is where the bookkeeping says, and the store refuses instead of writing.
    // Every index entry empty, every block chained to block 0.
    std::fill(second.memory().begin(), second.memory().end(), 0xFF);
    std::fill(second.memory().begin(), second.memory().begin() + 2 * second.statistics().blocks, 0);
    EXPECT_EQ(NSJ_FATAL_ERROR, second.feed(plain(9)));
    EXPECT_NE(NSJ_OK, second.retrieve(2));
}

TEST(NSJCache, ResetEmptiesCacheButKeepsCounters)
{
    Core core;
    ASSERT_EQ(NSJ_OK, core.feed(plain(5)));
    ASSERT_EQ(NSJ_OK, core.open(5));
    ASSERT_EQ(NSJ_OK, NSJ_ResetObjectCache(core.get()));
    EXPECT_FALSE(core.has(5));
    EXPECT_EQ(0, core.path().depth);
    EXPECT_EQ(1u, core.statistics().dataGroupsProcessed);
    EXPECT_EQ(core.statistics().blocks, core.statistics().freeBlocks);
}
