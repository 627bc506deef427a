// Intake of data groups and decoding of objects by the Journaline core.
#include "CoreFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace ZOZ::Test::Journaline;

namespace {

uint32_t fixedTime(void *) { return 1; }

std::string text(const uint8_t *p, size_t n) { return std::string(p, p + n); }

Bytes withoutCrc(Bytes payload)
{
    GroupOptions o;
    o.crc = false;
    return dataGroup(payload, o);
}

} // namespace

TEST(NSJDecoder, ResultTexts)
{
    struct Row {
        int code;
        const char *text;
    } rows[] = {
        {0, "no problems, used command successful"},
        {2, "no further data sections left in selected Journaline object"},
        {11, "CRC check failed"},
        {18, "fragment data is invalid (e.g. faulty continuity index"},
        {27, "Journaline object had a timeout and is no longer valid"},
        {28, "unknown result code"},
        {-1, "unknown result code"},
    };
    for (const Row &row : rows)
        EXPECT_STREQ(row.text, NSJ_GetResultText(row.code)) << "code " << row.code;
    for (int code = 0; code <= 27; ++code)
        EXPECT_STRNE("unknown result code", NSJ_GetResultText(code)) << "code " << code;
}

TEST(NSJDecoder, InitChecksItsArguments)
{
    EXPECT_EQ(31072u, NSJ_GetInstanceSize());
    EXPECT_EQ(sizeof(NSJ_ObjectRecord), NSJ_GetObjectRecordSize());
    std::vector<uint8_t> memory(8000);
    std::unique_ptr<NSJ_Instance, FreeDeleter> instance(static_cast<NSJ_Instance *>(std::malloc(NSJ_GetInstanceSize())));
    const uint8_t state[NSJ_STATE_SIZE] = {};
    struct Row {
        const char *name;
        uint32_t cacheSize;
        bool memory;
        uint32_t timeMode;
        bool clock;
        uint32_t stateSize;
        int expected;
    } rows[] = {
        {"valid", 8000, true, NSJ_TIME_NONE, false, 0, NSJ_OK},
        {"no cache memory", 8000, false, NSJ_TIME_NONE, false, 0, NSJ_INVALID_PARAMETER},
        {"time mode without clock", 8000, true, NSJ_TIME_ABSOLUTE_AND_RELATIVE, false, 0, NSJ_INVALID_PARAMETER},
        {"relative mode without clock", 8000, true, NSJ_TIME_RELATIVE_ONLY, false, 0, NSJ_INVALID_PARAMETER},
        {"cache one byte short", 4091, true, NSJ_TIME_NONE, false, 0, NSJ_INSUFFICIENT_MEMORY},
        {"cache at the minimum", 4092, true, NSJ_TIME_NONE, false, 0, NSJ_OK},
        {"state of the wrong size", 8000, true, NSJ_TIME_NONE, false, 387, NSJ_STATE_INCOMPATIBLE},
        {"state of zeros", 8000, true, NSJ_TIME_NONE, false, NSJ_STATE_SIZE, NSJ_STORAGE_INVALID},
    };
    for (const Row &row : rows) {
        NSJ_InitParams p{};
        p.cacheSize = row.cacheSize;
        p.cacheMemory = row.memory ? memory.data() : nullptr;
        p.timeMode = row.timeMode;
        p.getTime = row.clock ? fixedTime : nullptr;
        if (row.stateSize) {
            p.state = state;
            p.stateSize = row.stateSize;
        }
        EXPECT_EQ(row.expected, NSJ_Init(&p, instance.get())) << row.name;
    }
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_Init(nullptr, instance.get()));
}

TEST(NSJDecoder, CallsBeforeInitAndWithNullArguments)
{
    std::vector<uint8_t> zeros(NSJ_GetInstanceSize(), 0);
    auto *idle = reinterpret_cast<NSJ_Instance *>(zeros.data());
    const uint8_t group[4] = {0x40, 0, 0, 0};
    EXPECT_EQ(NSJ_NOT_INITIALISED, NSJ_ProcessDataGroup(idle, group, 4));
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_ProcessDataGroup(nullptr, group, 4));
    Core core;
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_ProcessDataGroup(core.get(), nullptr, 4));
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_GetObject(core.get(), 0, nullptr));
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_GetHistoryPath(core.get(), nullptr));
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_GetStatistics(nullptr, nullptr));
}

TEST(NSJDecoder, DataGroupResultCodes)
{
    Object tooBigObject = plain(7, "T", std::string(4100, 'x'));
    Object unsupported = plain(8);
    Bytes unsupportedRaw = raw(unsupported);
    unsupportedRaw[2] |= 0x08; // compressed, with method 9 in front of the payload
    unsupportedRaw.insert(unsupportedRaw.begin() + 3, 0x09);
    Bytes badType = raw(plain(9));
    badType[2] = 0x05 << 5;
    Bytes noTitle = raw(plain(10));
    noTitle[3] = 0x03; // the title code replaced by a body code

    struct Row {
        const char *name;
        Bytes group;
        int expected;
    } rows[] = {
        {"valid object", objectGroup(plain(1)), NSJ_OK},
        {"empty", {}, NSJ_DATAGROUP_SIZE},
        {"one byte", {0x40}, NSJ_DATAGROUP_SIZE},
        {"extension without its bytes", {0xC0, 0x00, 0x00}, NSJ_DATAGROUP_SIZE},
        {"segmented", dataGroup(raw(plain(2)), {.segmented = true}), NSJ_DATAGROUP_SEGMENTED},
        {"without CRC", withoutCrc(raw(plain(3))), NSJ_DATAGROUP_INVALID},
        {"header and CRC only one short", {0x40, 0x00, 0x00}, NSJ_DATAGROUP_INVALID},
        {"CRC mismatch", dataGroup(raw(plain(4)), {.breakCrc = true}), NSJ_CRC_ERROR},
        {"unknown data group type", dataGroup(raw(plain(5)), {.type = 3}), NSJ_DATAGROUP_INVALID},
        {"with extension field", dataGroup(raw(plain(6)), {.extension = true}), NSJ_OK},
        {"object too small", dataGroup({0x00, 0x0B, 0x40, 0x01}), NSJ_OBJECT_TOO_SMALL},
        {"object too large", objectGroup(tooBigObject), NSJ_OBJECT_TOO_LARGE},
        {"unknown object type", dataGroup(badType), NSJ_OBJECT_INVALID},
        {"no title", dataGroup(noTitle), NSJ_OBJECT_INVALID},
        {"compression method not deflate", dataGroup(unsupportedRaw), NSJ_COMPRESSION_UNSUPPORTED},
        {"table of contents without mark", dataGroup(Bytes(13, 0), {.type = 6}), NSJ_TOC_ERROR},
        {"table of contents one short", dataGroup(Bytes{0x54, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0}, {.type = 6}),
         NSJ_TOC_ERROR},
    };
    Core core;
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, core.feed(row.group)) << row.name;
    const NSJ_Statistics s = core.statistics();
    EXPECT_EQ(std::size(rows), s.dataGroupsProcessed);
    EXPECT_EQ(std::size(rows) - 2, s.dataGroupsFailed);
    EXPECT_EQ(2u, s.tocDataGroups);
}

TEST(NSJDecoder, CrcCheckCanBeOff)
{
    Core core(Core::Settings{.crcCheck = 0});
    EXPECT_EQ(NSJ_OK, core.feed(dataGroup(raw(plain(4)), {.breakCrc = true})));
    EXPECT_TRUE(core.has(4));
}

TEST(NSJDecoder, PlainMessageListAndTitleOnly)
{
    Core core;
    Object list = plain(12, "Prices", "a\x10" "b");
    list.type = List;
    Object ticker = plain(14, "Ticker");
    ticker.type = TitleOnly;
    Object message = plain(16, "Headline", "Text body");
    message.terminators = true;
    Object emptyList = plain(18, "Waiting");
    emptyList.type = List;
    emptyList.hasBody = false;
    for (const Object &o : {list, ticker, message, emptyList})
        ASSERT_EQ(NSJ_OK, core.feed(o)) << o.id;

    ASSERT_EQ(NSJ_OK, core.retrieve(12));
    EXPECT_EQ("Prices", core.title());
    EXPECT_EQ("a\x10" "b", text(core.record()->body, core.record()->bodyLength));
    uint8_t type = 0;
    NSJ_GetObjectType(core.record(), &type);
    EXPECT_EQ(NSJ_TYPE_LIST, type);

    ASSERT_EQ(NSJ_OK, core.retrieve(14));
    EXPECT_EQ("Ticker", core.title());
    EXPECT_EQ(0, core.record()->bodyLength);

    ASSERT_EQ(NSJ_OK, core.retrieve(16));
    EXPECT_EQ("Text body", text(core.record()->body, core.record()->bodyLength));

    ASSERT_EQ(NSJ_OK, core.retrieve(18));
    EXPECT_EQ(0, core.record()->bodyLength);
    EXPECT_EQ(nullptr, core.record()->body);

    const NSJ_Statistics s = core.statistics();
    EXPECT_EQ(4, s.objectsCached);
    EXPECT_EQ(2, s.lists);
    EXPECT_EQ(1, s.titleOnly);
    EXPECT_EQ(1, s.plainMessages);
}

TEST(NSJDecoder, MenuKeepsAtMostThirtyTwoItems)
{
    Core core;
    std::vector<std::pair<uint16_t, std::string>> items;
    for (uint16_t i = 1; i <= 33; ++i)
        items.emplace_back(static_cast<uint16_t>(100 + i), "Item " + std::to_string(i));
    Object big = menu(0, items);
    big.terminators = true;
    ASSERT_EQ(NSJ_OK, core.feed(big));
    ASSERT_EQ(NSJ_OK, core.open(0));
    EXPECT_EQ(32, core.record()->menuItemCount);
    NSJ_MenuItem item{};
    ASSERT_EQ(NSJ_OK, NSJ_GetMenuItem(core.record(), 31, &item));
    EXPECT_EQ(132, item.targetId);
    EXPECT_EQ("Item 32", text(item.text, item.textLength));
    EXPECT_EQ(NSJ_INVALID_PARAMETER, NSJ_GetMenuItem(core.record(), 32, &item));

    EXPECT_EQ(NSJ_OBJECT_INVALID, core.feed(menu(2, {}))) << "a menu without items";
    // Target ids whose bytes look like NML codes are still ids.
    ASSERT_EQ(NSJ_OK, core.feed(menu(4, {{0x1A01, "A"}, {0x0203, "B"}})));
    ASSERT_EQ(NSJ_OK, core.retrieve(4));
    ASSERT_EQ(2, core.record()->menuItemCount);
    EXPECT_EQ(0x1A01, core.record()->menuItems[0].targetId);
    EXPECT_EQ(0x0203, core.record()->menuItems[1].targetId);
    EXPECT_EQ("B", text(core.record()->menuItems[1].text, core.record()->menuItems[1].textLength));
}

TEST(NSJDecoder, CompressedObjectsInflate)
{
    Core core;
    Object o = plain(20, "Packed", std::string(3000, 'z'));
    o.compressed = true;
    ASSERT_LT(raw(o).size(), 200u);
    ASSERT_EQ(NSJ_OK, core.feed(o));
    ASSERT_EQ(NSJ_OK, core.retrieve(20));
    EXPECT_EQ("Packed", core.title());
    EXPECT_EQ(std::string(3000, 'z'), text(core.record()->body, core.record()->bodyLength));

    Object huge = plain(22, "Too much", std::string(5000, 'z'));
    huge.compressed = true;
    EXPECT_EQ(NSJ_OBJECT_TOO_LARGE, core.feed(huge)) << "inflates beyond 4092 bytes";

    Bytes broken = raw(o);
    broken[0] = 0;
    broken[1] = 24;
    broken.resize(broken.size() / 2);
    EXPECT_EQ(NSJ_OBJECT_INVALID, core.feed(dataGroup(broken))) << "a cut deflate stream";
}

TEST(NSJDecoder, DataSectionsLinksImagesAndExpiry)
{
    Core core;
    Object o = plain(30, "Sections", "Body");
    const Bytes link0{0x00, 0x00, 0x2A, 0x00, 'G', 'o'};      // object link to 42, text "Go"
    const Bytes link2{0x02, 'w', 'w', 'w', 0x00, 'S', 'i', 't', 'e'}; // address and its text
    const Bytes image{0x01, 0x00, 0x03, 'a', 'b', 'c', 0x02, 'c', 'p'};
    const Bytes validity{0x00, 0x0A}; // ten minutes
    append(o.titleSections, section(0x03, link0));
    append(o.titleSections, section(0x03, link2));
    append(o.titleSections, section(0xC0, image));
    append(o.titleSections, section(0x02, validity));
    append(o.titleSections, Bytes{0x1A, 0x01, 0x21, 0x00, 0x1B, 0x05, 0x00, 0x1A, 0x02, 0x77, 0x01, 0x02});
    ASSERT_EQ(NSJ_OK, core.feed(o));
    ASSERT_EQ(NSJ_OK, core.retrieve(30));
    const NSJ_ObjectRecord &r = *core.record();
    EXPECT_EQ(0, core.title().compare(0, 9, "Sections\x1A")) << "the title keeps its sections for the renderer";
    EXPECT_EQ(600u, r.relativeValidity);
    ASSERT_EQ(2, r.linkCount);
    EXPECT_EQ(0, r.links[0].kind);
    EXPECT_EQ(Bytes({0x00, 0x2A}), Bytes(r.links[0].first, r.links[0].first + r.links[0].firstLength));
    EXPECT_EQ("Go", text(r.links[0].second, r.links[0].secondLength));
    EXPECT_EQ("www", text(r.links[1].first, r.links[1].firstLength));
    EXPECT_EQ("Site", text(r.links[1].second, r.links[1].secondLength));
    ASSERT_EQ(1, r.imageCount);
    EXPECT_EQ("abc", text(r.images[0].first, r.images[0].firstLength));
    EXPECT_EQ("cp", text(r.images[0].second, r.images[0].secondLength));

    // Iteration: every section, then the nested one found inside the 0x21 section.
    std::vector<uint8_t> types;
    NSJ_DataSection s{};
    while (NSJ_GetNextDataSection(core.record(), NSJ_ANY_SECTION, &s) == NSJ_OK)
        types.push_back(s.type);
    EXPECT_EQ((std::vector<uint8_t>{0x03, 0x03, 0xC0, 0x02, 0x21, 0x77}), types);
    EXPECT_EQ(NSJ_NO_MORE_SECTIONS, NSJ_GetNextDataSection(core.record(), NSJ_ANY_SECTION, &s));
    NSJ_ResetDataSectionIterator(core.record());
    ASSERT_EQ(NSJ_OK, NSJ_GetNextDataSection(core.record(), 0x21, &s));
    EXPECT_EQ(7, s.length) << "the 0x21 section with its continuation";
    ASSERT_EQ(NSJ_OK, NSJ_GetNextDataSection(core.record(), 0x77, &s));
    EXPECT_EQ(Bytes({0x01, 0x02}), Bytes(s.data, s.data + s.length));
}

TEST(NSJDecoder, SameObjectTwiceAndUpdates)
{
    Core core;
    ASSERT_EQ(NSJ_OK, core.feed(plain(40, "One")));
    ASSERT_EQ(NSJ_OK, core.feed(plain(40, "One")));
    NSJ_Statistics s = core.statistics();
    EXPECT_EQ(1, s.objectsCached);
    EXPECT_EQ(1u, s.objectsAdded);
    Object next = plain(40, "Two");
    next.revision = 1;
    ASSERT_EQ(NSJ_OK, core.feed(next));
    s = core.statistics();
    EXPECT_EQ(1, s.objectsCached);
    EXPECT_EQ(1u, s.objectsUpdated);
    EXPECT_EQ(0u, s.objectsRemoved) << "a replacement is no removal";
    ASSERT_EQ(NSJ_OK, core.retrieve(40));
    EXPECT_EQ("Two", core.title());
    EXPECT_EQ((std::vector<uint16_t>{40}), core.eventsOf(NSJ_EVENT_NEW));
    EXPECT_EQ((std::vector<uint16_t>{40}), core.eventsOf(NSJ_EVENT_UPDATED));
    EXPECT_EQ((std::vector<uint16_t>{40}), core.eventsOf(NSJ_EVENT_REPLACED));
    EXPECT_EQ(3u, core.eventsOf(NSJ_EVENT_RECEIVED).size());

    // A broken update keeps the old copy.
    Bytes broken = raw(plain(40));
    broken[3] = 0x05;
    EXPECT_EQ(NSJ_OBJECT_INVALID, core.feed(dataGroup(broken)));
    EXPECT_TRUE(core.has(40));

    core.refuseReceived = 99;
    EXPECT_EQ(99, core.feed(plain(42))) << "the event callback may refuse an object";
    EXPECT_FALSE(core.has(42));
}

TEST(NSJDecoder, FragmentsReassemble)
{
    Core core;
    const Bytes object = raw(plain(50, "Fragmented", std::string(300, 'f')));
    for (const Bytes &g : fragments(object, 100, 5))
        ASSERT_EQ(NSJ_OK, core.feed(g));
    ASSERT_EQ(NSJ_OK, core.retrieve(50));
    EXPECT_EQ("Fragmented", core.title());
    EXPECT_EQ(4u, core.statistics().fragmentDataGroups);

    // A gap in the continuity index frees the slot.
    std::vector<Bytes> parts = fragments(raw(plain(52)), 5);
    ASSERT_GE(parts.size(), 3u);
    ASSERT_EQ(NSJ_OK, core.feed(parts[0]));
    EXPECT_EQ(NSJ_FRAGMENT_INVALID, core.feed(parts[2]));
    EXPECT_EQ(NSJ_FRAGMENT_INVALID, core.feed(parts[1])) << "the slot was released";

    // Four channels (data-group types) at once; a fifth finds no slot.
    for (uint8_t type = 0; type < 4; ++type)
        ASSERT_EQ(NSJ_OK, core.feed(fragments(raw(plain(60)), 5, 0, type)[0])) << int(type);
    EXPECT_EQ(NSJ_FRAGMENT_CHANNEL_OCCUPIED, core.feed(fragments(raw(plain(62)), 5, 0, 4)[0]));

    // Reassembled bytes with a broken inner CRC.
    Core other;
    std::vector<Bytes> bad = fragments(raw(plain(64)), 1000);
    ASSERT_EQ(1u, bad.size());
    Bytes payload(bad[0].begin() + 2, bad[0].end() - 2);
    payload[payload.size() - 1] ^= 0xFF;
    EXPECT_EQ(NSJ_CRC_ERROR, other.feed(dataGroup(payload, {.fragment = true})));

    // More than a slot holds.
    Core third;
    std::vector<Bytes> many = fragments(Bytes(4200, 0x41), 200);
    int last = NSJ_OK;
    for (const Bytes &g : many)
        if ((last = third.feed(g)) != NSJ_OK)
            break;
    EXPECT_EQ(NSJ_OBJECT_TOO_LARGE, last);
}

TEST(NSJDecoder, FailureOfTheCurrentObjectIsRemembered)
{
    Core core;
    core.open(70);
    EXPECT_EQ(NSJ_OBJECT_NOT_AVAILABLE, core.open(70));
    Object big = plain(70, "Big", std::string(4100, 'b'));
    EXPECT_EQ(NSJ_OBJECT_TOO_LARGE, core.feed(big));
    EXPECT_EQ((std::vector<uint16_t>{70}), core.eventsOf(NSJ_EVENT_CURRENT_FAILED));
    EXPECT_EQ(NSJ_OBJECT_TOO_LARGE, NSJ_IsObjectAvailable(core.get(), 70));
    EXPECT_EQ(NSJ_OBJECT_TOO_LARGE, core.feed(big));
    EXPECT_EQ(1u, core.eventsOf(NSJ_EVENT_CURRENT_FAILED).size()) << "reported once";
}

TEST(NSJDecoder, BrokenFragmentsOfTheCurrentObjectAreReported)
{
    Core core;
    core.open(90);
    const std::vector<Bytes> parts = fragments(raw(plain(90, "Ninety", std::string(50, 'n'))), 20);
    ASSERT_GE(parts.size(), 3u);
    ASSERT_EQ(NSJ_OK, core.feed(parts[0]));
    EXPECT_TRUE(core.eventsOf(NSJ_EVENT_CURRENT_FAILED).empty()) << "nothing yet: the object is still arriving";
    EXPECT_EQ(NSJ_FRAGMENT_INVALID, core.feed(parts[2]));
    EXPECT_EQ((std::vector<uint16_t>{90}), core.eventsOf(NSJ_EVENT_CURRENT_FAILED));
    EXPECT_EQ(NSJ_FRAGMENT_INVALID, NSJ_IsObjectAvailable(core.get(), 90)) << "the remembered error answers for it";
    core.open(90);
    EXPECT_EQ(NSJ_OBJECT_NOT_AVAILABLE, NSJ_IsObjectAvailable(core.get(), 90)) << "opening it again forgets";
}
