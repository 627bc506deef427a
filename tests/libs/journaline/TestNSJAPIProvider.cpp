// The locked provider around the Journaline core: data groups, growing the
// cache, export and import.
#include "CoreFixture.h"
#include "NSJAPIProvider.h"

#include <gtest/gtest.h>

#include <thread>

using namespace ZOZ::Test::Journaline;

namespace {

class EventLog : public NSJAPIProvider {
public:
    bool onObjectEvent(uint16_t objectId, uint32_t event) override
    {
        events.emplace_back(objectId, event);
        return false;
    }
    std::vector<std::pair<uint16_t, uint32_t>> events;
};

std::string feed(NSJAPIProvider &p, const Bytes &group)
{
    return p.processDataGroup(group.data(), static_cast<uint16_t>(group.size()));
}

std::unique_ptr<NSJ_ObjectRecord, FreeDeleter> newRecord()
{
    return std::unique_ptr<NSJ_ObjectRecord, FreeDeleter>(
        static_cast<NSJ_ObjectRecord *>(std::malloc(NSJ_GetObjectRecordSize())));
}

} // namespace

TEST(NSJAPIProvider, DataGroupsAndMessages)
{
    EventLog p;
    ASSERT_EQ(0, p.init(true, 0));
    EXPECT_EQ("", feed(p, objectGroup(menu(0, {{2, "Two"}}))));
    EXPECT_TRUE(p.rootAvailable());
    EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>>{{0, NSJ_EVENT_NEW}}), p.events)
        << "every event but the one that could refuse";
    const NSJ_Statistics before = p.statistics();
    EXPECT_EQ("unable to process datagroup in core decoder: 'CRC check failed'",
              feed(p, dataGroup(raw(plain(2)), {.breakCrc = true})));
    EXPECT_EQ(before.objectsCached, p.statistics().objectsCached);

    auto record = newRecord();
    ASSERT_EQ(NSJ_OK, p.object(0, record.get(), NSJAPIProvider::Navigation::MakeCurrent));
    std::vector<NSJAPIProvider::DataSection> sections;
    EXPECT_EQ(0, p.sections(record.get(), sections));
    EXPECT_EQ(NSJ_OBJECT_NOT_AVAILABLE, p.object(2, record.get(), NSJAPIProvider::Navigation::Keep));
    EXPECT_TRUE(p.resetObjectCache());
    EXPECT_FALSE(p.rootAvailable());
}

TEST(NSJAPIProvider, GrowsWhenFewerThan5000BytesAreFree)
{
    NSJAPIProvider p;
    ASSERT_EQ(0, p.init(true, 0));
    ASSERT_EQ(NSJAPIProvider::InitialCacheSize, p.cacheSize());
    ASSERT_EQ("", feed(p, objectGroup(menu(0, {{1, "One"}, {3, "Three"}}))));
    ASSERT_EQ("", feed(p, objectGroup(plain(1, "One"))));
    auto record = newRecord();
    ASSERT_EQ(NSJ_OK, p.object(0, record.get(), NSJAPIProvider::Navigation::MakeCurrent));
    ASSERT_EQ(NSJ_OK, p.object(1, record.get(), NSJAPIProvider::Navigation::MakeCurrent));
    // Objects of 10 blocks each until the free bytes drop below 5000.
    uint16_t id = 2;
    while (p.statistics().freeBlockBytes - 1280 >= NSJAPIProvider::MinimumFreeBytes) {
        ASSERT_EQ("", feed(p, objectGroup(plain(id, "T", std::string(1200, 'x')))));
        id = static_cast<uint16_t>(id + 2);
    }
    ASSERT_EQ(NSJAPIProvider::InitialCacheSize, p.cacheSize()) << "no grow while 5000 bytes or more are free";
    const uint16_t cachedBefore = p.statistics().objectsCached;
    const uint32_t addedBefore = p.statistics().objectsAdded;
    ASSERT_EQ("", feed(p, objectGroup(plain(id, "T", std::string(1200, 'x')))));
    EXPECT_EQ(NSJAPIProvider::InitialCacheSize + NSJAPIProvider::CacheGrowStep, p.cacheSize());
    EXPECT_EQ(cachedBefore + 1, p.statistics().objectsCached);
    EXPECT_EQ(addedBefore + 1, p.statistics().objectsAdded) << "counters survive the grow";
    for (uint16_t kept = 0; kept <= id; kept = static_cast<uint16_t>(kept + 2))
        EXPECT_EQ(NSJ_OK, p.objectAvailable(kept)) << kept;
    NSJ_HistoryPath path{};
    ASSERT_EQ(NSJ_OK, p.historyPath(&path));
    EXPECT_EQ(1, path.depth);
    EXPECT_EQ(1, path.ids[1]);
}

TEST(NSJAPIProvider, ExportAndImportGrowTheCache)
{
    NSJAPIProvider source;
    ASSERT_EQ(0, source.init(true, 0));
    ASSERT_EQ("", feed(source, objectGroup(menu(0, {{1, "One"}}))));
    ASSERT_EQ("", feed(source, objectGroup(plain(1, "One"))));
    NSJAPIProvider::Bytes image;
    ASSERT_TRUE(source.exportCache(image));
    EXPECT_EQ(source.exportSize(), image.size());

    NSJAPIProvider target;
    ASSERT_EQ(0, target.init(true, 0));
    ASSERT_TRUE(target.importCache(image));
    EXPECT_TRUE(target.rootAvailable());
    EXPECT_EQ(NSJ_OK, target.objectAvailable(1));

    // A 10000-byte image: max(42000, 14000) reached in 32000 steps from 12800.
    NSJAPIProvider big;
    ASSERT_EQ(0, big.init(true, 0));
    NSJAPIProvider::Bytes padded(10000, 0);
    padded[0] = 0;
    padded[1] = 0;
    padded[2] = static_cast<uint8_t>((10000 - 4) >> 8);
    padded[3] = static_cast<uint8_t>(10000 - 4);
    ASSERT_TRUE(big.importCache(padded));
    EXPECT_EQ(44800u, big.cacheSize());
}

TEST(NSJAPIProvider, CallbacksAndConcurrentCallers)
{
    struct Registry {
        std::string stored;
        int changes = 0;
    } registry;
    class Watcher : public NSJAPIProvider {
    public:
        void onCallbacksChanged() override { ++changes; }
        int changes = 0;
    } p;
    ASSERT_EQ(0, p.init(true, 0));
    EXPECT_EQ("", p.resolveLink("dab://x")) << "nothing without a resolver";
    std::string prefix = "resolved:";
    p.setLinkResolver([](const std::string &link, void *c) { return *static_cast<std::string *>(c) + link; }, &prefix);
    EXPECT_EQ("resolved:dab://x", p.resolveLink("dab://x"));
    p.setRegistryCallbacks([](std::string &out, void *c) { out = static_cast<Registry *>(c)->stored; },
                           [](const std::string &in, void *c) { static_cast<Registry *>(c)->stored = in; }, &registry);
    EXPECT_EQ(1, p.changes);
    p.registryWrite("apMode=true");
    std::string read;
    p.registryRead(read);
    EXPECT_EQ("apMode=true", read);

    // One thread feeds, another reads pages: every object arrives intact.
    std::thread feeder([&p] {
        for (uint16_t id = 1; id <= 200; ++id)
            feed(p, objectGroup(plain(id, "Title " + std::to_string(id))));
    });
    auto record = newRecord();
    for (int i = 0; i < 2000; ++i)
        if (p.object(static_cast<uint16_t>(i % 200 + 1), record.get(), NSJAPIProvider::Navigation::MakeCurrent) == NSJ_OK) {
            ASSERT_EQ(0, std::string(record->title, record->title + record->titleLength).compare(0, 6, "Title "));
        }
    feeder.join();
    EXPECT_EQ(200u, p.statistics().dataGroupsProcessed);
}

TEST(NSJAPIProvider, GrowthStopsAtTheMaximum)
{
    NSJAPIProvider p;
    ASSERT_EQ(0, p.init(true, 0));
    EXPECT_EQ(NSJAPIProvider::DefaultMaximumCacheSize, p.maximumCacheSize());
    p.setMaximumCacheSize(50000); // room for one grow step only
    // A broadcaster sending ever new objects: the cache grows once, then the
    // core makes room by evicting.
    for (uint16_t id = 1; id <= 200; ++id)
        ASSERT_EQ("", feed(p, objectGroup(plain(id, "T", std::string(1200, 'x'))))) << id;
    EXPECT_EQ(NSJAPIProvider::InitialCacheSize + NSJAPIProvider::CacheGrowStep, p.cacheSize());
    EXPECT_EQ(NSJ_OK, p.objectAvailable(200));
    EXPECT_NE(NSJ_OK, p.objectAvailable(2)) << "evicted in index order, even ids first";
    EXPECT_GT(p.statistics().objectsRemoved, 100u);
    EXPECT_EQ("", p.growCache(200000)) << "nothing to do beyond the maximum";
    EXPECT_EQ(44800u, p.cacheSize());
    p.setMaximumCacheSize(1000);
    EXPECT_EQ(44800u, p.maximumCacheSize()) << "never below the present size";
}
