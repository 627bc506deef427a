// The Journaline service "Info" of a real ensemble: sub-channel 13 of
// slovenia-r1.eti, packet address 1, through the packet-mode decoder into
// the Journaline core.
#include "CommonText.h"
#include "CoreFixture.h"
#include "NSJRenderer.h"
#include "EtiSubchannels.h"
#include "ZOZDab.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace ZOZ::Test::Journaline;

namespace {

std::vector<Bytes> &groups()
{
    static std::vector<Bytes> all;
    return all;
}

int collect(uint8_t *buffer, uint32_t length, uint32_t)
{
    groups().emplace_back(buffer, buffer + length);
    return 0;
}

} // namespace

TEST(JournalineRecording, SloveniaInfoYieldsObjects)
{
    const std::string path = std::string(ZOZ_TESTDATA_DIR) + "/slovenia-r1.eti";
    if (!std::ifstream(path).good())
        GTEST_SKIP() << "needs the test recording " << path;
    const std::map<uint32_t, EtiSubchannel> subchannels = readEtiSubchannels(path);
    ASSERT_TRUE(subchannels.count(13));
    const EtiSubchannel &sub = subchannels.at(13);

    std::unique_ptr<DabPmDecoder, FreeDeleter> decoder(static_cast<DabPmDecoder *>(std::malloc(DAB_Bb_Ruz_PmDecoderGetSize())));
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderInit(decoder.get(), PM_MODE_STANDARD, 0));
    std::vector<uint8_t> buffer(8215);
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderAddAddress(decoder.get(), 1, PM_ADDRESS_DATA_GROUPS, buffer.data(),
                                                static_cast<uint32_t>(buffer.size()), collect, 0));
    groups().clear();
    const size_t frameBytes = sub.bytes.size() / sub.frames;
    Bytes pending;
    for (size_t at = 0; at + frameBytes <= sub.bytes.size(); at += frameBytes) {
        pending.insert(pending.end(), sub.bytes.begin() + static_cast<long>(at),
                       sub.bytes.begin() + static_cast<long>(at + frameBytes));
        uint32_t left = static_cast<uint32_t>(pending.size());
        RUZ_PM_Process(decoder.get(), pending.data(), &left);
        pending.erase(pending.begin(), pending.end() - left);
    }
    ASSERT_FALSE(groups().empty());

    Core core;
    int accepted = 0;
    for (const Bytes &g : groups()) {
        const int result = core.feed(g);
        EXPECT_NE(NSJ_CRC_ERROR, result);
        if (result == NSJ_OK)
            ++accepted;
    }
    const NSJ_Statistics s = core.statistics();
    EXPECT_EQ(groups().size(), s.dataGroupsProcessed);
    EXPECT_GT(accepted, 0);
    EXPECT_GT(s.objectsCached, 0);
    // Every cached object retrieves and has a title.
    int retrieved = 0;
    for (uint32_t id = 0; id < 65535; ++id)
        if (core.has(static_cast<uint16_t>(id))) {
            ASSERT_EQ(NSJ_OK, core.retrieve(static_cast<uint16_t>(id))) << id;
            EXPECT_GT(core.record()->titleLength, 0) << id;
            ++retrieved;
        }
    EXPECT_EQ(s.objectsCached, retrieved);
    // Its 1.39 s carry the main menu alone, repeated in every data group:
    // the menu's one target is not on air in the recording.
    EXPECT_EQ(1, retrieved);
    EXPECT_FALSE(core.has(6000));

    // The service repeats its compressed main menu: one item, and the
    // language of the service in a data section of the title.
    ASSERT_EQ(NSJ_OK, core.open(0));
    const NSJ_ObjectRecord &root = *core.record();
    EXPECT_EQ(NSJ_TYPE_MENU, root.header >> 5);
    EXPECT_TRUE(root.header & 0x08) << "compressed";
    EXPECT_EQ("Journaline Service", NSJRenderer::nmlToDisplay(core.title()));
    ASSERT_EQ(1, root.menuItemCount);
    EXPECT_EQ(6000, root.menuItems[0].targetId);
    EXPECT_EQ("journal", std::string(root.menuItems[0].text, root.menuItems[0].text + root.menuItems[0].textLength));
    NSJ_DataSection language{};
    ASSERT_EQ(NSJ_OK, NSJ_GetNextDataSection(core.record(), 0xA0, &language));
    EXPECT_EQ("Slovenian", Common::languageName(std::string(language.data, language.data + language.length)));
    RecordProperty("dataGroups", static_cast<int>(groups().size()));
    RecordProperty("objects", retrieved);
}
