// The SBR interface without SBR processing: what the AAC decoder relies on.
#include "SbrDec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct RezQmfDomainFake
{
    int unused;
};

struct RezQmfDomain *fakeDomain()
{
    static RezQmfDomainFake domain;
    return reinterpret_cast<struct RezQmfDomain *>(&domain);
}

} // namespace

TEST(SbrDec, OpenChecksArgumentsAndCloseClearsTheHandle)
{
    SbrDecHandle h = nullptr;
    EXPECT_EQ(SbrDec_Open(nullptr, fakeDomain()), SBRDEC_INVALID_ARGUMENT);
    EXPECT_EQ(SbrDec_Open(&h, nullptr), SBRDEC_INVALID_ARGUMENT);
    EXPECT_EQ(h, nullptr);
    ASSERT_EQ(SbrDec_Open(&h, fakeDomain()), SBRDEC_OK);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SbrDec_Close(&h), SBRDEC_OK);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(SbrDec_Close(&h), SBRDEC_OK);
    EXPECT_EQ(SbrDec_FreeElements(nullptr), SBRDEC_OK);
}

TEST(SbrDec, ElementsAreRefusedSoTheCoreSwitchesSbrOff)
{
    SbrDecHandle h = nullptr;
    ASSERT_EQ(SbrDec_Open(&h, fakeDomain()), SBRDEC_OK);
    uint8_t changed = 0;
    struct Row { const char *name; int32_t aot, id, index; } rows[] = {
        {"AAC-LC single", 2, 0, 0},
        {"pair", 2, 1, 1},
        {"unsupported object type", 17, 0, 0},
        {"element id 2", 2, 2, 0},
        {"index 8", 2, 0, 8},
    };
    for (const Row &r : rows)
        EXPECT_EQ(SbrDec_InitElement(h, 24000, 48000, 960, r.aot, r.id, r.index, 2, 0, 2, &changed, 1, 1),
                  SBRDEC_UNSUPPORTED) << r.name;
    EXPECT_EQ(SbrDec_InitElement(nullptr, 24000, 48000, 960, 2, 0, 0, 2, 0, 2, &changed, 1, 1),
              SBRDEC_INVALID_ARGUMENT);
    EXPECT_EQ(SbrDec_HeaderCallback(nullptr, nullptr, 24000, 48000, 960, 2, 0, 0, 0, 0, 1, &changed, 1, 0),
              SBRDEC_UNSUPPORTED);
    EXPECT_EQ(changed, 0);

    int32_t bits = 100;
    EXPECT_EQ(SbrDec_Parse(h, nullptr, nullptr, 512, &bits, 100, 0, 0, 0, 0, nullptr), SBRDEC_INVALID_HANDLE);
    EXPECT_EQ(bits, 100);

    int16_t in[16] = {}, out[16] = {};
    int32_t channels = 1, rate = 24000;
    uint8_t ps = 1;
    RezChannelMap map;
    RezTools_ChannelMapInit(&map, nullptr, 0, 0);
    EXPECT_EQ(SbrDec_Apply(h, in, out, 16, &channels, &rate, &map, 1, 1, &ps), SBRDEC_INVALID_HANDLE);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 24000);
    channels = 0;
    EXPECT_EQ(SbrDec_Apply(h, in, out, 16, &channels, &rate, &map, 1, 1, &ps), SBRDEC_INVALID_ARGUMENT);

    EXPECT_EQ(SbrDec_GetDelay(h), 0u);
    uint32_t psFromMono = 7;
    EXPECT_EQ(SbrDec_GetChannelCount(h, &psFromMono), 0);
    EXPECT_EQ(psFromMono, 0u);
    SbrDec_Close(&h);
}

TEST(SbrDec, Parameters)
{
    SbrDecHandle h = nullptr;
    ASSERT_EQ(SbrDec_Open(&h, fakeDomain()), SBRDEC_OK);
    struct Row { int32_t id, value; int expected; } rows[] = {
        {0, 0, SBRDEC_OK}, {0, 1, SBRDEC_OK}, {0, 2, SBRDEC_INVALID_PARAM}, {0, -1, SBRDEC_INVALID_PARAM},
        {1, 1, SBRDEC_OK}, {2, 0, SBRDEC_INVALID_PARAM}, {3, 1, SBRDEC_OK}, {4, 1, SBRDEC_OK},
        {5, 1, SBRDEC_OK}, {6, 1, SBRDEC_OK}, {7, 2, SBRDEC_OK}, {8, 0, SBRDEC_INVALID_PARAM},
    };
    for (const auto &r : rows)
        EXPECT_EQ(SbrDec_SetParam(h, r.id, r.value), r.expected) << "id " << r.id << " value " << r.value;
    EXPECT_EQ(SbrDec_SetParam(nullptr, 3, 0), SBRDEC_OK);
    EXPECT_EQ(SbrDec_SetParam(nullptr, 4, 0), SBRDEC_OK);
    EXPECT_EQ(SbrDec_SetParam(nullptr, 3, 1), SBRDEC_INVALID_HANDLE);
    const int32_t gains[1] = {0x40000000};
    EXPECT_EQ(SbrDec_DrcFeedGains(h, 9, 1, gains, 1, 0, 0, nullptr), SBRDEC_INVALID_PARAM);
    EXPECT_EQ(SbrDec_DrcFeedGains(h, 0, 1, nullptr, 1, 0, 0, nullptr), SBRDEC_INVALID_PARAM);
    EXPECT_EQ(SbrDec_DrcFeedGains(nullptr, 0, 1, gains, 1, 0, 0, nullptr), SBRDEC_INVALID_HANDLE);
    SbrDec_Close(&h);
}

TEST(SbrDec, LibInfoRow)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS];
    std::memset(table, 0, sizeof(table));
    ASSERT_EQ(SbrDec_GetLibInfo(table), 0);
    EXPECT_STREQ(table[0].title, "SBR Decoder");
    EXPECT_EQ(table[0].moduleId, 5u);
    EXPECT_STREQ(table[0].versionText, "2.7.0");
    for (auto &row : table)
        row.moduleId = 99;
    EXPECT_EQ(SbrDec_GetLibInfo(table), -1);
    EXPECT_EQ(SbrDec_GetLibInfo(nullptr), -1);
}
