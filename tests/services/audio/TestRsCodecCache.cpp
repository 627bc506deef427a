// The process-wide Reed-Solomon codec cache and the DAB+ Fire code check.
#include "audio/ZOZRsCodecCache.h"

#include "SuperframeBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr int DabPlusCode[] = {8, 0x11D, 0, 1, 10, 135};

int dabPlusHandle()
{
    return ZOZ::rsInit(DabPlusCode[0], DabPlusCode[1], DabPlusCode[2], DabPlusCode[3], DabPlusCode[4], DabPlusCode[5]);
}

// One RS(120,110) codeword: a superframe of one column.
std::vector<uint8_t> codeword()
{
    return SuperframeBuilder::build(1, 0x40, 7);
}

TEST(RsCodecCache, SameParametersShareAHandleAndTheTableHoldsSixteen)
{
    ZOZ::rsFreeAll();
    const int first = dabPlusHandle();
    ASSERT_GE(first, 0);
    EXPECT_EQ(dabPlusHandle(), first);
    // Fifteen more distinct codes fill the table; the seventeenth has no room.
    for (int roots = 2; roots <= 16; ++roots)
        EXPECT_GE(ZOZ::rsInit(8, 0x11D, 0, 1, roots, 100), 0) << roots;
    EXPECT_EQ(ZOZ::rsInit(8, 0x11D, 0, 1, 17, 100), -1);
    // Known codes are still found.
    EXPECT_EQ(dabPlusHandle(), first);
    ZOZ::rsFreeAll();
    EXPECT_EQ(ZOZ::rsDecode(first, codeword().data(), nullptr, 0), -1);
    EXPECT_GE(dabPlusHandle(), 0);
}

TEST(RsCodecCache, CorrectsErrorsAndErasuresAndRefusesTheUncorrectable)
{
    const int handle = dabPlusHandle();
    ASSERT_GE(handle, 0);
    const std::vector<uint8_t> clean = codeword();
    ASSERT_EQ(clean.size(), 120u);
    std::vector<uint8_t> word = clean;
    EXPECT_EQ(ZOZ::rsDecode(handle, word.data(), nullptr, 0), 0);

    struct Case
    {
        const char *name;
        std::vector<int> errors;
        bool erased;
        int result;
    };
    const Case cases[] = {
        {"one error", {0}, false, 1},
        {"five errors, the limit", {1, 30, 64, 110, 119}, false, 5},
        {"ten erasures", {0, 11, 22, 33, 44, 55, 66, 77, 88, 99}, true, 10},
        {"parity only", {110, 119}, false, 2},
    };
    for (const Case &c : cases) {
        word = clean;
        for (int at : c.errors)
            word[size_t(at)] ^= 0x5A;
        EXPECT_EQ(ZOZ::rsDecode(handle, word.data(), c.erased ? c.errors.data() : nullptr,
                                c.erased ? int(c.errors.size()) : 0),
                  c.result)
            << c.name;
        EXPECT_EQ(word, clean) << c.name;
    }

    // A recorded codeword whose errors lie outside the shortened code.
    FILE *file = std::fopen(ZOZ_TESTDATA_DIR "/rs-120-110-codeword.bin", "rb");
    if (!file)
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    std::vector<uint8_t> recorded(120);
    const size_t read = std::fread(recorded.data(), 1, recorded.size(), file);
    std::fclose(file);
    ASSERT_EQ(read, 120u);
    const std::vector<uint8_t> before = recorded;
    EXPECT_EQ(ZOZ::rsDecode(handle, recorded.data(), nullptr, 0), -1);
    EXPECT_EQ(recorded, before);
}

TEST(FireCode, FindsAndCorrectsSingleBitErrorsAndRefusesWhatItCannotPlace)
{
    const std::vector<uint8_t> superframe = SuperframeBuilder::build(2, 0x40, 3);
    std::array<uint8_t, 11> header;
    std::copy(superframe.begin(), superframe.begin() + 11, header.begin());
    std::array<uint8_t, 11> probe = header;
    EXPECT_EQ(ZOZ::checkFireCode(probe.data(), false), 0);

    for (int bit = 0; bit < 88; ++bit) {
        probe = header;
        probe[size_t(bit / 8)] ^= uint8_t(0x80 >> (bit % 8));
        const std::array<uint8_t, 11> damaged = probe;
        EXPECT_EQ(ZOZ::checkFireCode(probe.data(), true), 1) << bit;
        EXPECT_EQ(probe, damaged) << "checked only, yet changed: bit " << bit;
        EXPECT_EQ(ZOZ::checkFireCode(probe.data(), false), 1) << bit;
        EXPECT_EQ(probe, header) << "not corrected: bit " << bit;
    }

    // Two bits 11 apart: the x^11 + 1 factor sees nothing, the other one does.
    probe = header;
    probe[3] ^= 0x80; // codeword bit 8
    probe[4] ^= 0x10; // codeword bit 19
    EXPECT_EQ(ZOZ::checkFireCode(probe.data(), false), 2);
}

TEST(FireCode, PolynomialRemainder)
{
    struct Case
    {
        uint32_t value, poly, degree, remainder;
    };
    const Case cases[] = {
        {0, 0x2F, 5, 0},
        {1, 0x2F, 5, 1},
        {0x1F, 0x2F, 5, 0x1F},      // already below the degree
        {0x2F, 0x2F, 5, 0},         // the polynomial itself
        {0x20, 0x2F, 5, 0x0F},      // x^5 = x^3 + x^2 + x + 1
        {0x801, 0x801, 11, 0},      // x^11 + 1 modulo itself
        {0x1000, 0x801, 11, 0x002}, // x^12 = x modulo x^11 + 1
    };
    for (const Case &c : cases)
        EXPECT_EQ(ZOZ::polyMod2(c.value, c.poly, c.degree), c.remainder) << std::hex << c.value;
}

} // namespace
