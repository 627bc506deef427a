// The channel element reader on small hand-written elements: the error code of each
// refusal, the bounds on stream-driven loops, and the edges of grouping, sections,
// pulses and TNS.
#include "aac_channel.h"
#include "aac_huffman_tables.h"
#include "aac_rawblock.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Reader
{
    std::vector<uint8_t> buffer;
    RezBitStream bs;
    explicit Reader(const BitWriter &w)
        : buffer(1024, 0)
    {
        std::copy(w.bytes.begin(), w.bytes.end(), buffer.begin());
        RezTools_BitStreamInit(&bs, buffer.data(), static_cast<uint32_t>(buffer.size()), w.bits, REZ_BIT_READ);
    }
    uint32_t bitsRead(const BitWriter &w) { return w.bits - RezTools_BitStreamGetValidBits(&bs); }
};

AacSamplingRateInfo rate48k()
{
    AacSamplingRateInfo sr{};
    AacDec_GetSamplingRateInfo(&sr, 1024, 3, 48000);
    return sr;
}

// Long-window ICS information: reserved bit, sequence, shape, max_sfb, predictor flag.
void putLongIcs(BitWriter &w, int maxSfb, int sequence = 0)
{
    w.put(0, 1).put(static_cast<uint32_t>(sequence), 2).put(0, 1).put(static_cast<uint32_t>(maxSfb), 6).put(0, 1);
}

void putScaleFactorDelta(BitWriter &w, int delta)
{
    const auto &c = AacHuffmanTables::scalefactorCodebook[delta + 60];
    w.put(c.bits, c.length);
}

TEST(AacChannel, WindowGrouping)
{
    const struct { uint32_t grouping; int groups; uint8_t first; } cases[] = {
        {0x7F, 1, 8}, {0x00, 8, 1}, {0x40, 7, 2}, {0x3F, 2, 1},
    };
    const AacSamplingRateInfo sr = rate48k();
    for (const auto &c : cases) {
        BitWriter w;
        w.put(0, 1).put(2, 2).put(1, 1).put(14, 4).put(c.grouping, 7);
        Reader r(w);
        AacDecIcsInfo ics{};
        ASSERT_EQ(AacDec_ReadIcsInfo(&r.bs, &ics, &sr, 0), 0);
        EXPECT_EQ(ics.numWindowGroups, c.groups) << c.grouping;
        EXPECT_EQ(ics.windowGroupLength[0], c.first) << c.grouping;
        int windows = 0;
        for (int g = 0; g < ics.numWindowGroups; ++g)
            windows += ics.windowGroupLength[g];
        EXPECT_EQ(windows, 8) << c.grouping;
    }
}

TEST(AacChannel, IcsRefusals)
{
    const AacSamplingRateInfo sr = rate48k();
    struct Case { const char *name; int result; void (*make)(BitWriter &); };
    const Case cases[] = {
        {"max_sfb one past the long bands", 0x4002, [](BitWriter &w) { putLongIcs(w, 50); }},
        {"max_sfb at the long bands", 0, [](BitWriter &w) { putLongIcs(w, 49); }},
        {"max_sfb one past the short bands", 0x4002, [](BitWriter &w) { w.put(0, 1).put(2, 2).put(0, 1).put(15, 4).put(0, 7); }},
        {"predictor flag", 0x4007, [](BitWriter &w) { w.put(0, 1).put(0, 2).put(0, 1).put(10, 6).put(1, 1); }},
    };
    for (const Case &c : cases) {
        BitWriter w;
        c.make(w);
        w.put(0, 32);
        Reader r(w);
        AacDecIcsInfo ics{};
        EXPECT_EQ(AacDec_ReadIcsInfo(&r.bs, &ics, &sr, 0), c.result) << c.name;
    }
}

struct SectionCase
{
    const char *name;
    bool eightShort;
    int maxSfb;
    bool commonWindow;
    std::vector<std::pair<uint32_t, int>> fields; // value, width
    int result;
};

TEST(AacChannel, SectionData)
{
    const AacSamplingRateInfo sr = rate48k();
    const SectionCase cases[] = {
        {"one section over all bands", false, 20, false, {{1, 4}, {20, 5}}, 0},
        {"escape then zero adds the escape value", false, 31, false, {{1, 4}, {31, 5}, {0, 5}}, 0},
        {"escape then one is one past max_sfb", false, 31, false, {{1, 4}, {31, 5}, {1, 5}}, 0x4004},
        {"escapes without end stop at max_sfb", false, 40, false, {{1, 4}, {31, 5}, {31, 5}, {31, 5}, {31, 5}}, 0x4004},
        {"empty section", false, 10, false, {{1, 4}, {0, 5}}, 0x4004},
        {"reserved codebook 12", false, 10, false, {{12, 4}, {10, 5}}, 0x4006},
        {"intensity without common window", false, 10, false, {{15, 4}, {10, 5}}, 0x4006},
        {"intensity with common window", false, 10, true, {{14, 4}, {10, 5}}, 0},
        {"short section top past max_sfb", true, 12, false, {{1, 4}, {7, 3}, {6, 3}}, 0x4004},
        {"short section ending at max_sfb", true, 12, false, {{1, 4}, {7, 3}, {5, 3}}, 0},
    };
    for (const SectionCase &c : cases) {
        BitWriter w;
        for (const auto &[value, width] : c.fields)
            w.put(value, width);
        w.put(0, 32);
        Reader r(w);
        auto ch = std::make_unique<AacDecChannelData>();
        ch->ics.windowSequence = c.eightShort ? AacEightShort : AacOnlyLong;
        ch->ics.maxSfb = static_cast<uint8_t>(c.maxSfb);
        ch->ics.numWindowGroups = 1;
        ch->ics.windowGroupLength[0] = c.eightShort ? 8 : 1;
        ch->commonWindow = c.commonWindow;
        EXPECT_EQ(AacDec_ReadSectionData(&r.bs, ch.get(), &sr, 0), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_NE(ch->codebook[c.maxSfb - 1], 0) << c.name;
        }
    }
}

TEST(AacChannel, ScaleFactorsIntensityAndNoise)
{
    auto ch = std::make_unique<AacDecChannelData>();
    ch->ics.maxSfb = 4;
    ch->ics.numWindowGroups = 1;
    ch->globalGain = 100;
    const uint8_t books[4] = {1, 13, 15, 13};
    std::copy(books, books + 4, ch->codebook);
    BitWriter w;
    putScaleFactorDelta(w, -3);  // band 0: 97
    w.put(256 + 5, 9);           // band 1: first noise band, 100 - 90 + 5
    putScaleFactorDelta(w, 7);   // band 2: intensity position 7
    putScaleFactorDelta(w, -2);  // band 3: noise 13
    w.put(0, 32);
    Reader r(w);
    ASSERT_EQ(AacDec_ReadScaleFactors(&r.bs, ch.get(), 0), 0);
    EXPECT_EQ(ch->scaleFactor[0], 97);
    EXPECT_EQ(ch->scaleFactor[1], 15);
    EXPECT_EQ(ch->scaleFactor[2], 7);
    EXPECT_EQ(ch->scaleFactor[3], 13);
    EXPECT_EQ(ch->noiseUsed[1], 1);
    EXPECT_EQ(ch->noiseUsed[2], 0);
}

TEST(AacChannel, PulseData)
{
    const AacSamplingRateInfo sr = rate48k();
    AacDecIcsInfo ics{};
    ics.maxSfb = 40;
    struct Case { const char *name; uint32_t sequence; int startSfb; int offset; int result; };
    const Case cases[] = {
        {"inside the frame", AacOnlyLong, 39, 31, 0},
        {"start band at max_sfb", AacOnlyLong, 40, 0, 0x4004},
        {"eight short windows", AacEightShort, 1, 0, 0x4004},
    };
    for (const Case &c : cases) {
        ics.windowSequence = c.sequence;
        BitWriter w;
        w.put(1, 1).put(0, 2).put(static_cast<uint32_t>(c.startSfb), 6).put(static_cast<uint32_t>(c.offset), 5).put(3, 4);
        w.put(0, 32);
        Reader r(w);
        AacDecPulseData pulse{};
        EXPECT_EQ(AacDec_ReadPulseData(&r.bs, &pulse, &ics, sr.bandOffsetLong, 1024), c.result) << c.name;
    }
    // A pulse on a zero line makes it -amp; on a positive one it adds.
    AacDecPulseData pulse{1, 1, 0, {2, 1}, {5, 3}};
    int32_t lines[8] = {0, 0, 0, 4, 0, 0, 0, 0};
    AacDec_ApplyPulseData(&pulse, sr.bandOffsetLong, lines);
    EXPECT_EQ(lines[2], -5);
    EXPECT_EQ(lines[3], 7);
}

TEST(AacChannel, TnsData)
{
    AacDecIcsInfo ics{};
    ics.windowSequence = AacOnlyLong;
    ics.totalSfb = 49;
    {
        // Two filters; the first's length runs past the top, the second then has none left.
        BitWriter w;
        w.put(2, 2).put(1, 1);                                   // n_filt 2, coef_res 1 (4 bits)
        w.put(60, 6).put(2, 5).put(1, 1).put(1, 1).put(0b101, 3).put(0b011, 3); // compressed: 3-bit coefficients
        w.put(10, 6).put(0, 5);
        w.put(0, 32);
        Reader r(w);
        AacDecTnsData tns{};
        tns.present = 1;
        ASSERT_EQ(AacDec_ReadTnsData(&r.bs, &tns, &ics, 0), 0);
        EXPECT_EQ(tns.valid, 1);
        EXPECT_EQ(tns.filter[0][0].top, 49);
        EXPECT_EQ(tns.filter[0][0].bottom, 0);
        EXPECT_EQ(tns.filter[0][0].direction, -1);
        EXPECT_EQ(tns.filter[0][0].coefficient[0], -3);
        EXPECT_EQ(tns.filter[0][0].coefficient[1], 3);
        EXPECT_EQ(tns.filter[0][1].top, 0);
        EXPECT_EQ(tns.filter[0][1].bottom, 0);
    }
    {
        BitWriter w;
        w.put(1, 2).put(0, 1).put(10, 6).put(21, 5);
        w.put(0, 32);
        Reader r(w);
        AacDecTnsData tns{};
        tns.present = 1;
        EXPECT_EQ(AacDec_ReadTnsData(&r.bs, &tns, &ics, 0), 0x400C);
    }
    {
        // Short windows with n_filt 0 read no coef_res bit: 8 bits in all.
        ics.windowSequence = AacEightShort;
        ics.totalSfb = 14;
        BitWriter w;
        w.put(0, 8).put(0xFFFF, 16);
        Reader r(w);
        AacDecTnsData tns{};
        tns.present = 1;
        ASSERT_EQ(AacDec_ReadTnsData(&r.bs, &tns, &ics, 0), 0);
        EXPECT_EQ(r.bitsRead(w), 8u);
    }
}

TEST(AacChannel, RawDataBlockRefusals)
{
    const AacSamplingRateInfo sr = rate48k();
    auto block = std::make_unique<AacDecRawBlock>();
    struct Case { const char *name; int maxChannels; int result; void (*make)(BitWriter &); };
    const Case cases[] = {
        {"a unit of fewer than 15 bits", 2, 0x4004, [](BitWriter &w) { w.put(7, 3).align(); }},
        {"fill element of 15 + 0 bytes carries 14", 2, 0,
         [](BitWriter &w) { w.put(6, 3).put(15, 4).put(0, 8); for (int i = 0; i < 14; ++i) w.put(0xA5, 8); w.put(7, 3).align(); }},
        {"coupling channel element", 2, 0x4004, [](BitWriter &w) { w.put(2, 3).put(0, 32).put(7, 3).align(); }},
        {"second pair in a stereo stream", 2, 0x4004,
         [](BitWriter &w) {
             for (int e = 0; e < 2; ++e) {
                 w.put(1, 3).put(0, 4).put(1, 1);
                 putLongIcs(w, 0);
                 w.put(0, 2);                                  // no mid/side
                 for (int c = 0; c < 2; ++c)
                     w.put(100, 8).put(0, 1).put(0, 1).put(0, 1); // gain, no pulse, TNS, gain control
             }
             w.put(7, 3).align();
         }},
        {"unit runs out before the end element", 2, 0x4004, [](BitWriter &w) { w.put(6, 3).put(1, 4).put(0, 8).align(); }},
        {"end element after the element limit", 2, 0x4002,
         [](BitWriter &w) { for (int i = 0; i < 61; ++i) w.put(6, 3).put(0, 4); w.put(7, 3).align(); }},
        {"bits left after the end", 2, 0x4002, [](BitWriter &w) { w.put(7, 3).align().put(0, 8); }},
    };
    for (const Case &c : cases) {
        BitWriter w;
        c.make(w);
        Reader r(w);
        EXPECT_EQ(AacDec_ReadRawDataBlock(&r.bs, block.get(), &sr, 0, 1024, w.bits, w.bits, c.maxChannels), c.result)
            << c.name;
    }
}

} // namespace
