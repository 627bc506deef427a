#include "DabCodeTables.h"

#include <gtest/gtest.h>

#include <string>

using namespace ZOZ;

TEST(DabCodeTables, CountryNames)
{
    struct Row { uint16_t key; const char *name; } rows[] = {
        {0xE01, "Germany"}, {0xE0D, "Germany"}, {0xA0B, ""}, {0xE49, "Slovenia"}, {0xE38, "Netherlands"},
        {0xA01, "United States of America"}, {0xA0E, "United States of America"}, {0xF08, "Australia"},
        {0xF3F, "Mongolia"}, {0xD3C, "Sudan"}, {0xE1C, "United Kingdom"}, {0xE00, ""}, {0x000, ""},
        {0xA7F, ""}, {0xFFFF, ""},
    };
    for (const Row &row : rows)
        EXPECT_STREQ(row.name, countryName(row.key)) << std::hex << row.key;

    int named = 0;
    for (unsigned key = 0; key <= 0xFFF; ++key)
        named += *countryName(static_cast<uint16_t>(key)) != '\0' ? 1 : 0;
    EXPECT_EQ(231, named);
}

TEST(DabCodeTables, LanguageNames)
{
    EXPECT_STREQ("", languageName(127));
    EXPECT_STREQ("", languageName(255));
    EXPECT_STREQ("rfu", languageName(44));
    EXPECT_STREQ("rfu", languageName(68));
    EXPECT_STREQ("", languageName(48));
    EXPECT_STREQ("Unknown/not applicable", languageName(0));
    EXPECT_STREQ("Slovene", languageName(38));
    EXPECT_STREQ("Background sound/clean feed", languageName(64));
    EXPECT_STREQ("Arabic", languageName(126));
    int named = 0;
    for (int code = 0; code < 256; ++code) {
        const std::string name = languageName(static_cast<uint8_t>(code));
        named += !name.empty() && name != "rfu" ? 1 : 0;
    }
    EXPECT_EQ(103, named);
}

TEST(DabCodeTables, ProgrammeTypeNames)
{
    EXPECT_STREQ("", programmeTypeName(0));
    EXPECT_STREQ("News", programmeTypeName(1));
    EXPECT_STREQ("Pop Music", programmeTypeName(10));
    EXPECT_STREQ("Not Used", programmeTypeName(30));
    EXPECT_STREQ("", programmeTypeName(31));
    EXPECT_STREQ("", programmeTypeName(255));
}

TEST(DabCodeTables, DecoderResultTexts)
{
    EXPECT_STREQ("no error", ficDecoderErrorText(0));
    EXPECT_STREQ("no error", ficDecoderErrorText(3));
    EXPECT_STREQ("FIB splitter", ficDecoderErrorText(1));
    EXPECT_STREQ("too many subitems in FIG", ficDecoderErrorText(32));
    EXPECT_STREQ("FIG contains no valid data", ficDecoderErrorText(64));
    EXPECT_STREQ("no error", ficDecoderErrorText(128));

    const uint32_t mot[] = {0, 1, 5, 14, 15, 16};
    const char *motTexts[] = {"no error", "unknown error", "The CRC check for the MSC data group failed.",
                              "unknown error", "Internal ZOZ error.", "unknown error"};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_STREQ(motTexts[i], motErrorText(mot[i])) << mot[i];

    const uint32_t ok = 0, last = 7, beyond = 8;
    EXPECT_STREQ("Operation was successful.", packetModeErrorText(ok));
    EXPECT_STREQ("Received packet had faulty continuity index and will be discarded.", packetModeErrorText(last));
    EXPECT_STREQ("unknown error", packetModeErrorText(beyond));
}
