#include "LibraryVersionTestSupport.h"
#include "PadDecoderHarness.h"
#include "ZOZDab.h"

#include <gtest/gtest.h>

using namespace ZOZ::Test::Pad;

namespace {

constexpr uint8_t AnyType = 5; // an application type with no meaning to the decoder

Bytes counting(size_t n, uint8_t first = 1)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

TEST(PadDecoder, VersionAndSize)
{
    ZOZ::Test::expectVersion(DAB_Bb_Ruz_PadDecoderGetVersion,
                             {"2019-11-27_v1.2.2", "2019-11-27", "2019-11-27", "35197", 35197, "1.2.2", 1, 2, 2});
    EXPECT_GT(DAB_Bb_Ruz_PadDecoderGetSize(), 0u);
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_PadDecoderInit(nullptr));
}

// The length of the PAD field against what its F-PAD announces, each row on a
// fresh decoder with one application that takes every subfield alone.
TEST(PadDecoder, FieldLengths)
{
    struct Row {
        const char *name;
        Bytes pad;
        int result;
        size_t delivered;
    };
    const Bytes shortXPad = shortPad(true, AnyType, {0xA1, 0xA2, 0xA3});
    const Bytes shortOneShort(shortXPad.begin() + 1, shortXPad.end());
    const Bytes noIndicators = padField(Bytes(5, 0x00), XPad::Variable, true);
    const Bytes noIndicatorsOneShort = padField(Bytes(4, 0x00), XPad::Variable, true);
    const Row rows[] = {
        {"empty", {}, PAD_DECODER_INVALID_PARAMETER, 0},
        {"one byte", {0x00}, PAD_DECODER_INVALID_PARAMETER, 0},
        {"F-PAD only", {0x00, 0x00}, PAD_DECODER_OK, 0},
        {"no X-PAD announced", {0x11, 0x22, 0x00, 0x02}, PAD_DECODER_OK, 0},
        {"F-PAD type 1", {0x40, 0x00}, PAD_DECODER_INVALID_XPAD, 0},
        {"F-PAD type 3", {0xC0, 0x00}, PAD_DECODER_INVALID_XPAD, 0},
        {"F-PAD type 2 accepted", {0x11, 0x22, 0x80, 0x02}, PAD_DECODER_OK, 0},
        {"short X-PAD one short (5 bytes)", shortOneShort, PAD_DECODER_INVALID_XPAD, 0},
        {"short X-PAD at the limit (6 bytes)", shortXPad, PAD_DECODER_OK, 1},
        {"variable X-PAD one short (6 bytes)", noIndicatorsOneShort, PAD_DECODER_INVALID_XPAD, 0},
        {"variable X-PAD at the limit (7 bytes)", noIndicators, PAD_DECODER_OK, 0},
        {"short continuation of nothing", shortPad(false, 0, {1, 2, 3, 4}), PAD_DECODER_INVALID_XPAD, 0},
        {"variable continuation of nothing", padField(Bytes(8, 0x11), XPad::Variable, false), PAD_DECODER_OK, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(AnyType, 0));
        EXPECT_EQ(row.result, pad.process(row.pad));
        EXPECT_EQ(row.delivered, pad.deliveries.size());
    }
    const uint8_t bytes[2] = {};
    PadDecoderHarness pad;
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_PadDecoderProcessPad(nullptr, bytes, 2));
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_PadDecoderProcessPad(pad.decoder(), nullptr, 2));
}

TEST(PadDecoder, SubfieldsStayInsideThePad)
{
    struct Row {
        const char *name;
        size_t xpadBytes;
        int result;
        size_t delivered;
    };
    // Indicator, end marker and a 48-byte subfield: 50 X-PAD bytes.
    const Row rows[] = {
        {"one short", 49, PAD_DECODER_INVALID_XPAD, 0},
        {"at the limit", 50, PAD_DECODER_OK, 1},
        {"one past", 51, PAD_DECODER_OK, 1},
    };
    const Bytes full = variableXPad({{AnyType, 7, counting(48)}});
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Bytes xpad = full;
        xpad.resize(row.xpadBytes, 0);
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(AnyType, 0));
        EXPECT_EQ(row.result, pad.process(padField(xpad, XPad::Variable, true)));
        ASSERT_EQ(row.delivered, pad.deliveries.size());
        if (row.delivered) {
            EXPECT_EQ(counting(48), pad.deliveries[0].bytes);
        }
    }
}

TEST(PadDecoder, CutSubfieldIsNotContinued)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(AnyType, 0));
    Bytes xpad = variableXPad({{AnyType, 7, counting(48)}});
    xpad.resize(20);
    EXPECT_EQ(PAD_DECODER_INVALID_XPAD, pad.process(padField(xpad, XPad::Variable, true)));
    // A frame without indicators would continue a subfield that never came.
    EXPECT_EQ(PAD_DECODER_OK, pad.process(padField(counting(20), XPad::Variable, false)));
    EXPECT_TRUE(pad.deliveries.empty());
}

// Indicators of type 12 (8 bytes) and 1 (4 bytes), then the end marker: the
// X-PAD is 3 + 8 + 4 = 15 bytes, and a next X-PAD without indicators continues
// type 12 with that many of its bytes.
TEST(PadDecoder, ContinuationRepeatsTheLengthOfTheLastXPad)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart, 0));
    EXPECT_EQ(PAD_DECODER_OK,
              pad.process(variablePad({{MotStart, 2, counting(8)}, {LengthIndicator, 0, lengthIndicator(100)}})));
    EXPECT_EQ(PAD_DECODER_OK, pad.process(padField(counting(20, 0x40), XPad::Variable, false)));
    ASSERT_EQ(2u, pad.deliveries.size());
    EXPECT_EQ(counting(8), pad.deliveries[0].bytes);
    EXPECT_EQ(counting(15, 0x40), pad.deliveries[1].bytes);
}

TEST(PadDecoder, Registration)
{
    PadDecoderHarness pad;
    uint8_t buffer[4];
    auto callback = [](uint8_t *, uint32_t, void *) { return 0; };
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_PadDecoderAddApplication(nullptr, 2, 1, buffer, 4, callback, nullptr));
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_PadDecoderAddApplication(pad.decoder(), 2, 1, nullptr, 4, callback, nullptr));
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_PadDecoderAddApplication(pad.decoder(), 2, 1, buffer, 0, callback, nullptr));
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_PadDecoderAddApplication(pad.decoder(), 2, 1, buffer, 4, nullptr, nullptr));
    EXPECT_EQ(PAD_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_PadDecoderRemoveApplication(nullptr, 2, nullptr, nullptr));
    EXPECT_EQ(PAD_DECODER_NO_APPLICATION, DAB_Bb_Ruz_PadDecoderRemoveApplication(pad.decoder(), 2, nullptr, nullptr));

    EXPECT_EQ(PAD_DECODER_OK, pad.add(DlStart));
    EXPECT_EQ(PAD_DECODER_APPLICATION_EXISTS, pad.add(DlStart));
    EXPECT_EQ(PAD_DECODER_NO_APPLICATION, DAB_Bb_Ruz_PadDecoderRemoveApplication(pad.decoder(), 12, nullptr, nullptr));
    for (uint8_t type = 100; type < 100 + PAD_MAX_APPLICATIONS - 1; ++type)
        ASSERT_EQ(PAD_DECODER_OK, pad.add(type, 1, 16));
    EXPECT_EQ(PAD_DECODER_TABLE_FULL, pad.add(MotStart));
}

TEST(PadDecoder, RemovingHandsBackBufferAndContextAndKeepsTheOthers)
{
    PadDecoderHarness pad;
    uint8_t dlBuffer[128];
    int dlContext = 0;
    auto callback = [](uint8_t *, uint32_t, void *) { return 0; };
    ASSERT_EQ(PAD_DECODER_OK,
              DAB_Bb_Ruz_PadDecoderAddApplication(pad.decoder(), DlStart, 1, dlBuffer, 128, callback, &dlContext));
    ASSERT_EQ(PAD_DECODER_OK, pad.add(AnyType, 0));
    ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart));
    uint8_t *buffer = nullptr;
    void *context = nullptr;
    EXPECT_EQ(PAD_DECODER_OK, DAB_Bb_Ruz_PadDecoderRemoveApplication(pad.decoder(), DlStart, &buffer, &context));
    EXPECT_EQ(dlBuffer, buffer);
    EXPECT_EQ(&dlContext, context);
    EXPECT_EQ(PAD_DECODER_NO_APPLICATION,
              DAB_Bb_Ruz_PadDecoderRemoveApplication(pad.decoder(), DlStart, &buffer, &context));

    const Bytes group = sampleGroup(30, 9);
    pad.processAll(variablePads(motItems(group), 4, false));
    EXPECT_EQ(PAD_DECODER_OK, pad.process(variablePad({{AnyType, 0, {1, 2, 3, 4}}})));
    EXPECT_EQ(std::vector<Bytes>{group}, pad.groupsOf(MotStart));
    EXPECT_EQ(std::vector<Bytes>{Bytes({1, 2, 3, 4})}, pad.groupsOf(AnyType));
}

// A label segment of 16 characters is a 20-byte group: 3 bytes after the
// indicator, then 4 per frame, the last frame's bytes cut to the one missing.
TEST(PadDecoder, DynamicLabelInShortXPad)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128));
    const Bytes segment = dlSegment(false, 0, true, "0123456789abcdef");
    ASSERT_EQ(20u, segment.size());
    std::vector<Bytes> pads = shortPads({{DlStart, DlContinuation, segment}});
    ASSERT_EQ(6u, pads.size());
    // The last frame is full of bytes that belong to nothing.
    pads.back() = shortPad(false, 0, {segment.back(), 0xEE, 0xEE, 0xEE});
    for (const Bytes &p : pads)
        EXPECT_EQ(PAD_DECODER_OK, pad.process(p));
    EXPECT_EQ(std::vector<Bytes>{segment}, pad.groupsOf(DlStart));
}

// The ways a group reaches its application: each packing of the same groups,
// Dynamic Label (type 2) and a SlideShow registered under its X-PAD type 12,
// whose user application type 2 would collide with Dynamic Label.
TEST(PadDecoder, SlideShowRegisteredAsXPadType12ReceivesItsDataGroups)
{
    const Bytes first = sampleGroup(300, 1);
    const Bytes second = sampleGroup(45, 2);
    const std::vector<Bytes> label = dlLabel(true, "Now playing: a song with a title of some length");
    std::vector<Item> items;
    for (const Bytes &segment : label)
        items.push_back({DlStart, DlContinuation, segment});
    for (const Bytes *group : {&first, &second})
        for (const Item &item : motItems(*group))
            items.push_back(item);

    struct Row {
        const char *name;
        std::vector<Bytes> pads;
    };
    const Row rows[] = {
        {"variable, continuation indicators, 4 bytes", variablePads(items, 0, false)},
        {"variable, continuation indicators, 48 bytes", variablePads(items, 7, false)},
        {"variable, continuation without indicators, 16 bytes", variablePads(items, 4, true)},
        {"short X-PAD", shortPads(items)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128));
        ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart, 1, 8215));
        for (size_t i = 0; i < row.pads.size(); ++i)
            EXPECT_EQ(PAD_DECODER_OK, pad.process(row.pads[i])) << "frame " << i;
        EXPECT_EQ(label, pad.groupsOf(DlStart));
        EXPECT_EQ((std::vector<Bytes>{first, second}), pad.groupsOf(MotStart));
    }
}

TEST(PadDecoder, UnregisteredTypeIsReported)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128));
    const std::vector<Bytes> pads = variablePads(motItems(sampleGroup(20, 3)), 2, false);
    EXPECT_EQ(PAD_DECODER_OK, pad.process(pads[0])); // the length indicator
    EXPECT_EQ(PAD_DECODER_NO_APPLICATION, pad.process(pads[1]));
    EXPECT_TRUE(pad.deliveries.empty());
}

TEST(PadDecoder, BadLengthIndicatorDropsItsGroupOnly)
{
    const Bytes lost = sampleGroup(40, 4);
    const Bytes kept = sampleGroup(24, 5);
    std::vector<Item> items = motItems(lost);
    items[0].bytes[3] ^= 0x01;
    for (const Item &item : motItems(kept))
        items.push_back(item);
    struct Row {
        const char *name;
        std::vector<Bytes> pads;
        size_t crcFrame; // the frame whose result is the CRC error
    };
    const Row rows[] = {
        {"variable", variablePads(items, 2, false), 0},
        {"short", shortPads(items), 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart));
        const std::vector<int> results = pad.processAll(row.pads);
        EXPECT_EQ(PAD_DECODER_CRC_ERROR, results[row.crcFrame]);
        EXPECT_EQ(std::vector<Bytes>{kept}, pad.groupsOf(MotStart));
    }
}

// A group longer than the application's buffer is dropped; the entry is free
// for the next group.
TEST(PadDecoder, OversizedGroupDoesNotBlockTheNext)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart, 1, 100));
    const struct {
        size_t length;
        bool delivered;
    } groups[] = {{101, false}, {100, true}, {300, false}, {60, true}};
    std::vector<Bytes> expected;
    for (const auto &g : groups) {
        SCOPED_TRACE(g.length);
        const Bytes group = sampleGroup(g.length, static_cast<uint8_t>(g.length));
        const std::vector<int> results = pad.processAll(variablePads(motItems(group), 4, false));
        EXPECT_EQ(g.delivered ? PAD_DECODER_OK : PAD_DECODER_BUFFER_TOO_SMALL, results[1]);
        if (g.delivered)
            expected.push_back(group);
        EXPECT_EQ(expected, pad.groupsOf(MotStart));
    }
}

// A group whose end was lost gives way to the next start, which arrives whole.
TEST(PadDecoder, NewStartReplacesAnUnfinishedGroup)
{
    const Bytes broken = sampleGroup(120, 6);
    const Bytes whole = sampleGroup(70, 7);
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "continuation without indicators" : "continuation indicators");
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(MotStart));
        std::vector<Bytes> pads = variablePads(motItems(broken), 4, plain);
        pads.resize(4);
        for (const Bytes &p : variablePads(motItems(whole), 4, plain))
            pads.push_back(p);
        pad.processAll(pads);
        EXPECT_EQ(std::vector<Bytes>{whole}, pad.groupsOf(MotStart));
    }
}

TEST(PadDecoder, RemoveLabelCommandReachesTheLabelApplication)
{
    const Bytes command = dlCommand(true, 1);
    const Bytes dlPlus = dlCommand(false, 2, true, {0x11, 0x22, 0x33});
    struct Row {
        const char *name;
        std::vector<Bytes> pads;
    };
    const std::vector<Item> items = {{DlStart, DlContinuation, command}, {DlStart, DlContinuation, dlPlus}};
    const Row rows[] = {
        {"short", shortPads(items)},
        {"variable, 4-byte subfield", variablePads(items, 0, false)},
        {"variable, 12-byte subfield", variablePads(items, 3, false)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        PadDecoderHarness pad;
        ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128));
        pad.processAll(row.pads);
        EXPECT_EQ((std::vector<Bytes>{command, dlPlus}), pad.groupsOf(DlStart));
    }
}

TEST(PadDecoder, CallbackResultIsTheResult)
{
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128, 11));
    const std::vector<int> results = pad.processAll(variablePads({{DlStart, DlContinuation, dlSegment(false, 0, true, "Hello")}}, 0, false));
    ASSERT_EQ(3u, results.size());
    EXPECT_EQ(PAD_DECODER_OK, results[0]);
    EXPECT_EQ(11, results[2]);
}

TEST(PadDecoder, ResultTexts)
{
    EXPECT_STREQ("Operation was successful.", ZOZ::padDecoderErrorText(PAD_DECODER_OK));
    EXPECT_STREQ("Received X-PAD data was invalid.", ZOZ::padDecoderErrorText(PAD_DECODER_INVALID_XPAD));
    EXPECT_STREQ("unknown error", ZOZ::padDecoderErrorText(8));
    EXPECT_STREQ("The CRC check failed.", ZOZ::dlDecoderErrorText(DL_DECODER_CRC_ERROR));
    EXPECT_STREQ("unknown error", ZOZ::dlDecoderErrorText(4));
}

} // namespace
