// DAB+ parser: Fire code, AU split, the search/follow state machine, and real
// sub-channels from ETI recordings.
#include "DABplusParser.h"
#include "DABplusParserInternal.h"
#include "EtiSubchannels.h"
#include "SuperframeBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

std::vector<uint8_t> readFile(const char *name)
{
    std::vector<uint8_t> bytes;
    FILE *file = std::fopen((std::string(ZOZ_TESTDATA_DIR "/") + name).c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    return bytes;
}

#define SKIP_WITHOUT(bytes)                                                                                 \
    if ((bytes).empty())                                                                                     \
    GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR

// Owns a parser and feeds it logical frames one call at a time, as a caller would.
class Feeder {
public:
    explicit Feeder(uint32_t n) : n(n) { EXPECT_EQ(DABplusParser_Open(&parser, n), 0); }
    ~Feeder() { DABplusParser_Close(&parser); }

    // Feeds the frames one by one; returns the units handed out.
    std::vector<DABplusAccessUnitTable> feed(const std::vector<uint8_t> &bytes)
    {
        std::vector<DABplusAccessUnitTable> units;
        const size_t frameSize = 24 * n;
        for (size_t offset = 0; offset + frameSize <= bytes.size(); offset += frameSize) {
            uint32_t frames = 1;
            EXPECT_EQ(DABplusParser_ParseSuperframe(parser, &bytes[offset], &frames, &table), 0);
            EXPECT_EQ(frames, 0u);
            if (table.auCount > 0) {
                if (firstUnitCall < 0)
                    firstUnitCall = calls;
                units.push_back(table);
                // The table points into the parser's buffer, which the next call reuses.
                std::vector<std::vector<uint8_t>> copies;
                for (uint32_t i = 0; i < table.auCount; ++i)
                    copies.emplace_back(table.au[i], table.au[i] + (table.auLength[i] ? table.auLength[i] + 2 : 0));
                accessUnits.push_back(copies);
            }
            ++calls;
        }
        return units;
    }
    const DABplusStreamHeader &header() const { return *DABplusParser_GetStreamHeader(parser); }

    uint32_t n;
    DABplusParserHandle parser = nullptr;
    DABplusAccessUnitTable table = {};
    std::vector<std::vector<std::vector<uint8_t>>> accessUnits; // per unit: AU bytes with their CRC
    int calls = 0;
    int firstUnitCall = -1; // index of the call that handed out the first unit
};

std::vector<uint8_t> repeat(const std::vector<std::vector<uint8_t>> &parts)
{
    std::vector<uint8_t> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(DabPlusParser, OpenAndParameters)
{
    DABplusParserHandle parser = reinterpret_cast<DABplusParserHandle>(1);
    EXPECT_EQ(DABplusParser_Open(nullptr, 4), 18);
    EXPECT_EQ(DABplusParser_Open(&parser, 0), 20);
    EXPECT_EQ(parser, nullptr);
    EXPECT_EQ(DABplusParser_Open(&parser, 49), 20);
    ASSERT_EQ(DABplusParser_Open(&parser, 48), 0);
    ASSERT_NE(parser, nullptr);
    EXPECT_EQ(DABplusParser_Reset(parser, 0), 20);
    EXPECT_EQ(DABplusParser_Reset(parser, 49), 20);
    EXPECT_EQ(DABplusParser_Reset(nullptr, 4), 20);
    EXPECT_EQ(DABplusParser_SetParam(parser, 1, 0), 20);
    EXPECT_EQ(DABplusParser_SetParam(nullptr, 1, 0), 20) << "the id is tested first";
    EXPECT_EQ(DABplusParser_SetParam(nullptr, 0, 0), 18);
    EXPECT_EQ(DABplusParser_SetParam(parser, 0, -7), 0);
    uint32_t frames = 0;
    DABplusAccessUnitTable table;
    uint8_t byte = 0;
    EXPECT_EQ(DABplusParser_ParseSuperframe(parser, &byte, &frames, &table), 21);
    EXPECT_EQ(DABplusParser_ParseSuperframe(parser, nullptr, &frames, &table), 18);
    uint8_t config[4];
    EXPECT_EQ(DABplusParser_GetAudioConfig(parser, config, nullptr), 0);
    EXPECT_EQ(DABplusParser_GetSampleRate(parser), 0u);
    EXPECT_EQ(DABplusParser_GetStreamHeader(nullptr), nullptr);
    EXPECT_EQ(DABplusParser_Close(&parser), 0);
    EXPECT_EQ(parser, nullptr);
    EXPECT_EQ(DABplusParser_Close(&parser), 0);
}

TEST(DabPlusParser, LibraryInformationRow)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    EXPECT_EQ(DABplusParser_GetLibInfo(nullptr), 18);
    EXPECT_EQ(DABplusParser_GetLibInfo(table), 0);
    EXPECT_EQ(DABplusParser_GetLibInfo(table), 0) << "no duplicate check";
    EXPECT_STREQ(table[1].title, "DAB+ Parser");
    EXPECT_EQ(table[1].moduleId, 14u);
    EXPECT_STREQ(table[1].versionText, "2.5.0");
    EXPECT_STREQ(table[1].buildTime, "16:54:19");
    EXPECT_EQ(table[1].flags, 0u);
    for (auto &row : table)
        row.moduleId = 3;
    EXPECT_EQ(DABplusParser_GetLibInfo(table), 1);
}

TEST(DabPlusParser, RecordedSuperframeHeader)
{
    std::vector<uint8_t> header = readFile("dabplus-superframe-header.bin");
    SKIP_WITHOUT(header);
    ASSERT_EQ(header.size(), 11u);
    EXPECT_EQ(header[0] << 8 | header[1], 0xEA6E);
    EXPECT_EQ(SuperframeBuilder::fireCheck(&header[2]), 0xEA6E) << "the test-side encoder agrees";
    EXPECT_EQ(DABplusParser_CheckFireCode(header.data(), 1), 0);
    const uint8_t byte = header[2];
    EXPECT_TRUE(byte & HeaderDacRate);
    EXPECT_TRUE(byte & HeaderChannelMode);
    EXPECT_TRUE(byte & HeaderSbr);
    EXPECT_FALSE(byte & HeaderPs);
    // Starts 436 and 872 behind the first at 6.
    EXPECT_EQ(header[3] << 4 | header[4] >> 4, 436);
    EXPECT_EQ((header[4] & 0x0F) << 8 | header[5], 872);
}

TEST(DabPlusParser, FireCodeCorrectsBurstsAnywhere)
{
    std::vector<uint8_t> sf = SuperframeBuilder::build(4, 0x70, 1);
    const std::vector<uint8_t> clean(sf.begin(), sf.begin() + 11);
    // Codeword bit b (0 = first): protected bytes 2..10, then the check bytes 0..1.
    auto flip = [](uint8_t *bytes, int bit) {
        const int k = bit / 8;
        uint8_t &byte = k < 9 ? bytes[2 + k] : bytes[k - 9];
        byte ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    };
    for (int length = 1; length <= 5; ++length) {
        for (int first = 0; first + length <= 88; ++first) {
            std::vector<uint8_t> bytes = clean;
            flip(bytes.data(), first); // a burst: both ends set
            if (length > 1)
                flip(bytes.data(), first + length - 1);
            if (length > 2)
                flip(bytes.data(), first + 1);
            std::vector<uint8_t> received = bytes;
            ASSERT_EQ(DABplusParser_CheckFireCode(bytes.data(), 0), 1) << length << " at " << first;
            ASSERT_EQ(bytes, received) << "a check without correction changes nothing";
            ASSERT_EQ(DABplusParser_CheckFireCode(bytes.data(), 1), 1) << length << " at " << first;
            ASSERT_EQ(bytes, clean) << length << " at " << first;
        }
    }
    std::vector<uint8_t> bytes = clean;
    flip(bytes.data(), 3);
    flip(bytes.data(), 60);
    EXPECT_NE(DABplusParser_CheckFireCode(bytes.data(), 1), 0) << "two distant errors are not a clean header";
    EXPECT_EQ(DABplusParser_PolyMod(0x801, 0x801, 11), 0u);
    EXPECT_EQ(DABplusParser_PolyMod(0x1000, 0x801, 11), 0x2u);
}

TEST(DabPlusParser, AccessUnitCrcCheckValue)
{
    std::vector<uint8_t> au = readFile("dabplus-au-428.bin");
    SKIP_WITHOUT(au);
    au.push_back(26751 >> 8);
    au.push_back(26751 & 0xFF);
    EXPECT_EQ(DABplusParser_CheckAuCrc(au.data(), 428), 1);
    au[100] ^= 0x10;
    EXPECT_EQ(DABplusParser_CheckAuCrc(au.data(), 428), 0);
}

TEST(DabPlusParser, AudioSpecificConfig)
{
    struct Case {
        const char *name;
        uint8_t header;
        std::vector<uint8_t> expected;
    };
    // audioObjectType(5) samplingFrequencyIndex(4) channelConfiguration(4) ...
    const Case cases[] = {
        {"AAC 48 kHz stereo", 0x50, {0x11, 0x94}},                 // 2, 3, 2, 960 frames
        {"AAC 32 kHz mono", 0x00, {0x12, 0x8C}},                   // 2, 5, 1
        {"SBR 48 kHz stereo", 0x70, {0x2B, 0x11, 0x8A, 0x00}},     // 5, 6, 2, 3, 2
        {"SBR 32 kHz mono", 0x20, {0x2C, 0x0A, 0x8A, 0x00}},       // 5, 8, 1, 5, 2
        {"PS 48 kHz", 0x78, {0xEB, 0x09, 0x8A, 0x00}},             // 29, 6, 1, 3, 2
    };
    for (const Case &c : cases) {
        uint8_t out[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        uint32_t mps = 9;
        const int length = DABplusParser_BuildAudioSpecificConfig(c.header | 0x03, out, &mps);
        ASSERT_EQ(static_cast<size_t>(length), c.expected.size()) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(out, out + length), c.expected) << c.name;
        EXPECT_EQ(mps, 3u) << c.name;
    }
}

TEST(DabPlusParser, RecordedSuperframe96k)
{
    std::vector<uint8_t> sf = readFile("dabplus-superframe-96k.bin");
    SKIP_WITHOUT(sf);
    ASSERT_EQ(sf.size(), 5u * 288);
    Feeder feeder(12);
    const auto units = feeder.feed(sf);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(feeder.firstUnitCall, 4);
    const DABplusAccessUnitTable &unit = units[0];
    EXPECT_EQ(unit.auCount, 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_GT(unit.auLength[i], 0u) << i;
    const DABplusStreamHeader &h = feeder.header();
    EXPECT_EQ(h.synced, 1u);
    EXPECT_EQ(h.streamType, static_cast<uint32_t>(DABPLUS_STREAM_AAC_SBR));
    EXPECT_EQ(h.stats.allGood, 1u);
    EXPECT_EQ(h.stats.noAuLost, 1u);
    EXPECT_EQ(h.stats.rsAllDecodable, 1u);
    EXPECT_EQ(h.stats.rsCodewords, 12u);
    EXPECT_EQ(DABplusParser_GetSampleRate(feeder.parser), 48000u);
    uint8_t config[4];
    uint32_t mps = 7;
    EXPECT_EQ(DABplusParser_GetAudioConfig(feeder.parser, config, &mps), 4);
    EXPECT_EQ(config[0], 0x2B);
    EXPECT_EQ(mps, 0u);
    EXPECT_EQ(unit.configChanges, 1u);
}

TEST(DabPlusParser, AccessUnitLayouts)
{
    struct Case {
        const char *name;
        uint8_t header;
        uint32_t n;
        uint32_t count, firstStart, type, rate;
    };
    const Case cases[] = {
        {"48 kHz AAC", 0x50, 8, 6, 11, DABPLUS_STREAM_AAC, 48000},
        {"32 kHz AAC", 0x10, 8, 4, 8, DABPLUS_STREAM_AAC, 32000},
        {"48 kHz SBR", 0x60, 3, 3, 6, DABPLUS_STREAM_AAC_SBR, 48000},
        {"32 kHz SBR", 0x20, 1, 2, 5, DABPLUS_STREAM_AAC_SBR, 32000},
        {"48 kHz PS", 0x68, 24, 3, 6, DABPLUS_STREAM_AAC_SBR_PS, 48000},
    };
    for (const Case &c : cases) {
        std::vector<int> starts;
        const std::vector<uint8_t> sf = SuperframeBuilder::build(c.n, c.header, 0x30, &starts);
        Feeder feeder(c.n);
        const auto units = feeder.feed(repeat({sf, sf}));
        ASSERT_EQ(units.size(), 2u) << c.name;
        const DABplusAccessUnitTable &unit = units[1];
        ASSERT_EQ(unit.auCount, c.count) << c.name;
        EXPECT_EQ(unit.au[0] - unit.au[0] + starts[0], static_cast<int>(c.firstStart)) << c.name;
        for (uint32_t i = 0; i < c.count; ++i) {
            EXPECT_EQ(unit.auLength[i], static_cast<uint32_t>(starts[i + 1] - starts[i] - 2)) << c.name << " AU " << i;
            EXPECT_EQ(unit.au[i][0], static_cast<uint8_t>(0x30 + i)) << c.name << " AU " << i;
        }
        EXPECT_EQ(feeder.header().streamType, c.type) << c.name;
        EXPECT_EQ(DABplusParser_GetSampleRate(feeder.parser), c.rate) << c.name;
        EXPECT_EQ(unit.configChanges, 1u) << c.name;
    }
}

TEST(DabPlusParser, CorrectsByteErrorsInEveryColumn)
{
    const uint32_t n = 6;
    std::vector<uint8_t> sf = SuperframeBuilder::build(n, 0x70, 0x11);
    const std::vector<uint8_t> clean = sf;
    std::mt19937 rng(8);
    for (uint32_t column = 0; column < n; ++column)
        for (uint32_t k = 0; k < 5; ++k)
            sf[column + (k * 23 + column) % 120 * n] ^= static_cast<uint8_t>(1 + rng() % 255);
    Feeder feeder(n);
    const auto units = feeder.feed(repeat({clean, sf}));
    ASSERT_EQ(units.size(), 2u);
    const DABplusParserStats &stats = feeder.header().stats;
    EXPECT_EQ(stats.allGood, 1u);
    EXPECT_EQ(stats.rsCodewordsCorrected, n);
    EXPECT_EQ(stats.rsSymbolsCorrected, 5 * n);
    EXPECT_EQ(stats.rsCodewordsUncorrectable, 0u);
    EXPECT_EQ(std::memcmp(units[1].au[0], &clean[6], units[1].auLength[0]), 0);
}

TEST(DabPlusParser, UncorrectableColumnLosesOnlyItsAccessUnits)
{
    const uint32_t n = 6;
    std::vector<uint8_t> sf = SuperframeBuilder::build(n, 0x70, 0x11);
    const std::vector<uint8_t> clean = sf;
    // Eight errors in column 5, all in the last AU.
    for (uint32_t k = 100; k < 108; ++k)
        sf[5 + k * n] ^= 0xA5;
    Feeder feeder(n);
    const auto units = feeder.feed(repeat({clean, sf}));
    ASSERT_EQ(units.size(), 2u);
    const DABplusAccessUnitTable &unit = units[1];
    const DABplusParserStats &stats = feeder.header().stats;
    EXPECT_EQ(unit.auCount, 3u);
    EXPECT_GT(unit.auLength[0], 0u);
    EXPECT_GT(unit.auLength[1], 0u);
    EXPECT_EQ(unit.auLength[2], 0u);
    EXPECT_EQ(stats.auLost[2], 1u);
    EXPECT_EQ(stats.rsAllDecodable, 0u);
    EXPECT_EQ(stats.rsCodewordsUncorrectable, 1u);
    EXPECT_EQ(stats.goodAusAfterRsFailure, 2u);
    EXPECT_EQ(stats.allGood, 0u);
    EXPECT_EQ(feeder.header().synced, 1u);
}

// Feeds a clean superframe, then a damaged one whose RS parity covers the damage, so
// that only the Fire code and the AU CRCs can notice it.
std::vector<DABplusAccessUnitTable> feedCleanThenDamaged(Feeder &feeder, const std::vector<uint8_t> &clean,
                                                         std::vector<uint8_t> damaged)
{
    SuperframeBuilder::encodeColumns(damaged, feeder.n);
    const auto units = feeder.feed(repeat({clean, damaged}));
    EXPECT_EQ(units.size(), 2u);
    return units;
}

TEST(DabPlusParser, HeaderNeedingFireCorrectionKeepsThePreviousHeaderByte)
{
    const uint32_t n = 4;
    const std::vector<uint8_t> first = SuperframeBuilder::build(n, 0x70, 0x40);
    // Same layout, other header byte (PS on), and its byte 2 hit by a burst.
    std::vector<uint8_t> second = SuperframeBuilder::build(n, 0x78, 0x40);
    second[2] ^= 0x18;
    Feeder feeder(n);
    const auto units = feedCleanThenDamaged(feeder, first, second);
    ASSERT_EQ(units.size(), 2u);
    const DABplusParserStats &stats = feeder.header().stats;
    EXPECT_EQ(stats.fireCorrections, 1u);
    EXPECT_EQ(stats.fireGood, 1u);
    EXPECT_EQ(feeder.header().streamType, static_cast<uint32_t>(DABPLUS_STREAM_AAC_SBR)) << "0x70 kept";
    EXPECT_EQ(units[1].configChanges, 1u);
    EXPECT_EQ(units[1].auCount, 3u);
    EXPECT_EQ(stats.allGood, 1u) << "AUs are still split with the known boundaries";
}

TEST(DabPlusParser, DamagedBoundaryIsRepairedFromTheFireCorrectedHeader)
{
    const uint32_t n = 4;
    std::vector<int> starts;
    const std::vector<uint8_t> first = SuperframeBuilder::build(n, 0x70, 0x40, &starts);
    std::vector<uint8_t> second = first;
    second[4] ^= 0x30; // low nibble of AU 1's start, inside the Fire code's reach
    Feeder feeder(n);
    const auto units = feedCleanThenDamaged(feeder, first, second);
    ASSERT_EQ(units.size(), 2u);
    const DABplusParserStats &stats = feeder.header().stats;
    EXPECT_EQ(stats.allGood, 1u);
    EXPECT_EQ(stats.ausRepaired, 2u);
    EXPECT_EQ(units[1].au[1] - units[1].au[0], starts[1] - starts[0]);
}

TEST(DabPlusParser, AllZeroFramesNeverSync)
{
    Feeder feeder(4);
    const auto units = feeder.feed(std::vector<uint8_t>(96 * 12, 0));
    EXPECT_TRUE(units.empty());
    EXPECT_EQ(feeder.header().synced, 0u);
}

TEST(DabPlusParser, FreshSyncWithoutAGoodAccessUnitSearchesAgain)
{
    const uint32_t n = 4;
    std::vector<uint8_t> sf = SuperframeBuilder::build(n, 0x70, 0x40);
    // Break every AU's CRC while keeping Fire and RS intact.
    for (int at : {20, 200, 400})
        sf[at] ^= 0xFF;
    SuperframeBuilder::encodeColumns(sf, n);
    Feeder feeder(n);
    const auto units = feeder.feed(sf);
    ASSERT_EQ(units.size(), 0u);
    EXPECT_EQ(feeder.header().synced, 0u);
    // The next good superframe is found again straight away.
    const auto later = feeder.feed(SuperframeBuilder::build(n, 0x70, 0x41));
    EXPECT_EQ(later.size(), 1u);
}

TEST(DabPlusParser, FailureLimitDecidesWhenAKnownStreamIsSearchedAgain)
{
    const uint32_t n = 4;
    const std::vector<uint8_t> good = SuperframeBuilder::build(n, 0x70, 0x40);
    // Reception lost: noise that neither the Fire code nor RS accepts.
    std::vector<uint8_t> bad(good.size());
    std::mt19937 rng(12);
    for (auto &b : bad)
        b = static_cast<uint8_t>(rng());
    struct Case {
        int limit;
        size_t unitsAfter; // units handed out for 6 superframes of noise
        uint32_t syncedAfter;
    };
    for (const Case c : {Case{4, 4, 0}, Case{-1, 6, 1}, Case{1, 1, 0}}) {
        Feeder feeder(n);
        DABplusParser_SetParam(feeder.parser, 0, c.limit);
        ASSERT_EQ(feeder.feed(good).size(), 1u);
        const auto units = feeder.feed(repeat({bad, bad, bad, bad, bad, bad}));
        EXPECT_EQ(units.size(), c.unitsAfter) << "limit " << c.limit;
        EXPECT_EQ(feeder.header().synced, c.syncedAfter) << "limit " << c.limit;
        for (const auto &unit : units)
            EXPECT_EQ(unit.auLength[0], 0u) << "lost AUs carry length 0";
    }
}

// A Layer II frame of `bytes` bytes starting with the header.
std::vector<uint8_t> layer2Frame(uint8_t b1, uint8_t b2, uint8_t b3, size_t bytes)
{
    std::vector<uint8_t> frame(bytes, 0x55);
    frame[0] = 0xFF;
    frame[1] = b1;
    frame[2] = b2;
    frame[3] = b3;
    return frame;
}

TEST(DabPlusParser, Layer2StreamsAreHandedOutFrameByFrame)
{
    // 48 kHz, 128 kbit/s, stereo: 384 bytes = 16 units of 8 kbit/s.
    const auto frame = layer2Frame(0xFD, 0x84, 0x00, 384);
    const auto otherMode = layer2Frame(0xFD, 0x84, 0x10, 384);   // mode extension only
    const auto mono = layer2Frame(0xFD, 0x84, 0xC0, 384);        // channel count changes
    {
        Feeder feeder(16);
        const auto units = feeder.feed(repeat({frame, frame, otherMode, frame}));
        ASSERT_EQ(units.size(), 4u);
        for (const auto &unit : units) {
            EXPECT_EQ(unit.auCount, 1u);
            EXPECT_EQ(unit.auLength[0], 384u);
        }
        EXPECT_EQ(units[3].configChanges, 1u);
        EXPECT_EQ(feeder.header().streamType, static_cast<uint32_t>(DABPLUS_STREAM_LAYER2));
        EXPECT_EQ(feeder.header().stats.allGood, 1u);
        EXPECT_EQ(DABplusParser_GetSampleRate(feeder.parser), 48000u);
        uint8_t config[4];
        EXPECT_EQ(DABplusParser_GetAudioConfig(feeder.parser, config, nullptr), 4);
        EXPECT_EQ(config[1], 0xFD);
    }
    {
        // Limit 4: four concealed units, then a new search finds the new header.
        Feeder feeder(16);
        const auto units = feeder.feed(repeat({frame, mono, mono, mono, mono, mono, mono}));
        ASSERT_EQ(units.size(), 7u);
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(units[i].auLength[0], 0u) << i;
        EXPECT_EQ(units[5].auLength[0], 384u);
        EXPECT_EQ(units[5].configChanges, 2u);
    }
    {
        Feeder feeder(16);
        DABplusParser_SetParam(feeder.parser, 0, 0);
        const auto units = feeder.feed(repeat({frame, mono, mono}));
        ASSERT_EQ(units.size(), 3u);
        EXPECT_EQ(units[1].auLength[0], 384u) << "limit 0 takes the new header at once";
        EXPECT_EQ(units[1].configChanges, 2u);
    }
    {
        Feeder feeder(16);
        DABplusParser_SetParam(feeder.parser, 0, -1);
        const auto units = feeder.feed(repeat({frame, mono, mono, mono, mono, mono, mono, mono}));
        ASSERT_EQ(units.size(), 8u);
        for (size_t i = 1; i < units.size(); ++i)
            EXPECT_EQ(units[i].auLength[0], 0u) << "a negative limit never falls back";
        EXPECT_EQ(feeder.header().synced, 1u);
    }
}

TEST(DabPlusParser, Layer2HeadersOfEveryBitRate)
{
    // Layer II bit rates (kbit/s) as the MPEG audio standards list them, with the
    // frame length 144 * bit rate / sampling frequency.
    const int full[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
    const int low[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    for (int id = 0; id <= 1; ++id) {
        for (int index = 0; index < 16; ++index) {
            const int kbps = id ? full[index] : low[index];
            const int frameLength = kbps ? 144 * kbps * 1000 / (id ? 48000 : 24000) : 0;
            const uint8_t header[4] = {0xFF, static_cast<uint8_t>(0xF5 | id << 3), static_cast<uint8_t>(index << 4 | 0x04),
                                       0x00};
            DABplusLayer2Header fields;
            DABplusLayer2Info info = {};
            ASSERT_EQ(DABplusParser_ParseLayer2Header(&fields, header, 4), 0);
            const bool valid = frameLength > 0 && frameLength <= 1152;
            ASSERT_EQ(DABplusParser_CheckLayer2Header(&fields, &info), valid ? 1 : 0) << id << "/" << index;
            if (valid) {
                EXPECT_EQ(info.frameLength, static_cast<uint32_t>(frameLength)) << id << "/" << index;
                EXPECT_EQ(info.bitRate, static_cast<uint32_t>(kbps * 1000));
                EXPECT_EQ(info.sampleRate, id ? 48000u : 24000u);
            }
        }
    }
    DABplusLayer2Header fields;
    const uint8_t layer1[4] = {0xFF, 0xFF, 0x84, 0x00};
    DABplusLayer2Info info;
    DABplusParser_ParseLayer2Header(&fields, layer1, 4);
    EXPECT_EQ(DABplusParser_CheckLayer2Header(&fields, &info), 0) << "layer I";
    const uint8_t at44k[4] = {0xFF, 0xFD, 0x80, 0x00};
    DABplusParser_ParseLayer2Header(&fields, at44k, 4);
    EXPECT_EQ(DABplusParser_CheckLayer2Header(&fields, &info), 0) << "44.1 kHz is no DAB rate";
    EXPECT_EQ(DABplusParser_ParseLayer2Header(&fields, at44k, 3), -1);
}

TEST(DabPlusParser, Layer2At24kHzWaitsForTwoLogicalFrames)
{
    // ID 0 (24 kHz), 64 kbit/s: 384-byte frames over two 192-byte logical frames (n = 8).
    const auto frame = layer2Frame(0xF5, 0x84, 0x00, 384);
    Feeder feeder(8);
    const auto units = feeder.feed(repeat({std::vector<uint8_t>(192, 0x55), frame, frame}));
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].auLength[0], 384u);
    EXPECT_EQ(feeder.accessUnits[0][0][1], 0xF5);
    EXPECT_EQ(DABplusParser_GetSampleRate(feeder.parser), 24000u);
    // A frame length that does not fill two logical frames is not taken.
    Feeder wrong(7);
    EXPECT_TRUE(wrong.feed(repeat({frame, frame})).empty());
}

TEST(DabPlusParser, LargeSubchannelsFindOnlyLayer2)
{
    // 256 kbit/s at 48 kHz fills a 768-byte logical frame (n = 32).
    const auto frame = layer2Frame(0xFD, 0xC4, 0x00, 768);
    Feeder feeder(32);
    EXPECT_EQ(feeder.feed(repeat({frame, frame, frame, frame, frame, frame})).size(), 6u);
    // Noise: only three frames fit, the buffer is emptied, nothing is ever found.
    Feeder noise(32);
    std::vector<uint8_t> bytes(768 * 12);
    std::mt19937 rng(1);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(rng() & 0x7F);
    EXPECT_TRUE(noise.feed(bytes).empty());
    EXPECT_EQ(noise.header().synced, 0u);
}

TEST(DabPlusParser, SwitchFromLayer2ToDabPlusForgetsTheOldHeaderByte)
{
    const uint32_t n = 16;
    const auto frame = layer2Frame(0xFD, 0x84, 0x00, 384);
    const std::vector<uint8_t> sf = SuperframeBuilder::build(n, 0x50, 0x20);
    Feeder feeder(n);
    DABplusParser_SetParam(feeder.parser, 0, 1);
    const auto units = feeder.feed(repeat({frame, frame, sf, sf}));
    ASSERT_GE(units.size(), 3u);
    EXPECT_EQ(units.back().auCount, 6u);
    EXPECT_EQ(feeder.header().streamType, static_cast<uint32_t>(DABPLUS_STREAM_AAC));
}

struct RecordingExpectation {
    const char *name;
    const char *file;
    size_t dabPlusSubchannels; // sub-channels that carry superframes
    int latestPhase;           // frames before the first superframe the parser accepts
};

class RecordedEnsembles : public ::testing::TestWithParam<RecordingExpectation> {};

// Every DAB+ sub-channel of the recording: every superframe after the first sync is
// handed out, every AU passes an independent CRC check (RS repairs what the
// reception damaged), and the stream header says what the header bytes carry.
TEST_P(RecordedEnsembles, EveryDabPlusSubchannelDecodes)
{
    const RecordingExpectation expectation = GetParam();
    const auto subchannels = readEtiSubchannels(std::string(ZOZ_TESTDATA_DIR "/") + expectation.file);
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    size_t dabPlus = 0, good = 0, total = 0;
    for (const auto &[id, sub] : subchannels) {
        if (sub.size == 0 || sub.size > 24)
            continue;
        Feeder feeder(sub.size);
        const size_t frameSize = 24 * sub.size;
        std::vector<DABplusAccessUnitTable> units;
        for (size_t offset = 0; offset + frameSize <= sub.bytes.size(); offset += frameSize) {
            const auto got = feeder.feed(std::vector<uint8_t>(sub.bytes.begin() + static_cast<long>(offset),
                                                              sub.bytes.begin() + static_cast<long>(offset + frameSize)));
            if (!got.empty())
                units.push_back(got[0]);
        }
        if (units.empty() || feeder.header().streamType < DABPLUS_STREAM_AAC)
            continue;
        ++dabPlus;
        SCOPED_TRACE("sub-channel " + std::to_string(id));
        const int phase = feeder.firstUnitCall - 4;
        ASSERT_GE(phase, 0);
        ASSERT_LE(phase, expectation.latestPhase);
        EXPECT_EQ(units.size(), (sub.frames - static_cast<uint32_t>(phase)) / 5);
        const uint8_t *first = &sub.bytes[static_cast<size_t>(phase) * frameSize];
        const uint8_t headerByte = first[2];
        const uint32_t expectedType = !(headerByte & 0x20) ? DABPLUS_STREAM_AAC
                                      : (headerByte & 0x08) ? DABPLUS_STREAM_AAC_SBR_PS
                                                            : DABPLUS_STREAM_AAC_SBR;
        EXPECT_EQ(feeder.header().streamType, expectedType);
        EXPECT_EQ(DABplusParser_GetSampleRate(feeder.parser), (headerByte & 0x40) ? 48000u : 32000u);
        for (size_t u = 0; u < units.size(); ++u) {
            ASSERT_EQ(units[u].auCount, static_cast<uint32_t>(SuperframeBuilder::accessUnitCount(headerByte)));
            ASSERT_EQ(units[u].configChanges, 1u);
            for (uint32_t i = 0; i < units[u].auCount; ++i) {
                ++total;
                const std::vector<uint8_t> &au = feeder.accessUnits[u][i];
                ASSERT_FALSE(au.empty()) << "unit " << u << " lost AU " << i;
                const size_t length = au.size() - 2;
                ASSERT_EQ(SuperframeBuilder::accessUnitCrc(au.data(), length), au[length] << 8 | au[length + 1])
                    << "unit " << u << " AU " << i;
                ++good;
            }
        }
        uint8_t config[4];
        uint32_t mps = 9;
        EXPECT_EQ(DABplusParser_GetAudioConfig(feeder.parser, config, &mps), (headerByte & 0x20) ? 4 : 2);
        EXPECT_EQ(mps, headerByte & 0x07u);
    }
    EXPECT_EQ(dabPlus, expectation.dabPlusSubchannels);
    EXPECT_EQ(good, total);
}

// Slovenia: 13 DAB+ services, one of whose sub-channels carries only zeros (never a
// superframe). The Netherlands recording has real reception errors: its first
// superframe on one sub-channel needs the Fire code's help, so sync comes one
// superframe later; everything after that is repaired by the RS code.
INSTANTIATE_TEST_SUITE_P(Recordings, RecordedEnsembles,
                         ::testing::Values(RecordingExpectation{"Slovenia", "slovenia-r1.eti", 12, 4},
                                           RecordingExpectation{"Netherlands", "netherlands-dabplus-fixed.eti", 18, 9}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
