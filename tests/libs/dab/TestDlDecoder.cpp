#include "DabDlDecoder.h"
#include "LibraryVersionTestSupport.h"
#include "PadTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace ZOZ::Test::Pad;

namespace {

// What the callbacks received, in order: "label:<charset>:<text>" and
// "command:<code>:<body bytes as hex>".
class DlHarness {
public:
    DlHarness() : m_decoder(static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize())))
    {
        EXPECT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderInit(m_decoder.get(), this, label, command));
    }

    int feed(const Bytes &group)
    {
        const std::unique_ptr<uint8_t[]> copy(new uint8_t[std::max<size_t>(group.size(), 1)]);
        std::copy(group.begin(), group.end(), copy.get());
        return DAB_Bb_Ruz_DlDecoderProcessDataGroup(m_decoder.get(), copy.get(), static_cast<uint32_t>(group.size()));
    }

    void feedAll(const std::vector<Bytes> &groups)
    {
        for (const Bytes &g : groups)
            EXPECT_EQ(DL_DECODER_OK, feed(g));
    }

    DabDlDecoder *decoder() { return m_decoder.get(); }

    std::vector<std::string> events;

private:
    static void label(uint8_t charset, const uint8_t *text, uint32_t length, void *context)
    {
        EXPECT_EQ(0, text[length]) << "the text is zero-terminated";
        static_cast<DlHarness *>(context)->events.push_back(
            "label:" + std::to_string(charset) + ":" + std::string(reinterpret_cast<const char *>(text), length));
    }

    static void command(uint8_t code, const uint8_t *body, uint32_t length, void *context)
    {
        std::string hex;
        for (uint32_t i = 0; i < length; ++i) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[body[i] >> 4];
            hex += digits[body[i] & 15];
        }
        static_cast<DlHarness *>(context)->events.push_back("command:" + std::to_string(code) + ":" + hex);
    }

    struct FreeDeleter {
        void operator()(DabDlDecoder *d) const { std::free(d); }
    };
    std::unique_ptr<DabDlDecoder, FreeDeleter> m_decoder;
};

using Events = std::vector<std::string>;

std::string labelEvent(const std::string &text, int charset = CharsetUtf8)
{
    return "label:" + std::to_string(charset) + ":" + text;
}

Bytes withCrc(Bytes b)
{
    appendCrc(b);
    return b;
}

TEST(DlDecoder, VersionAndSize)
{
    ZOZ::Test::expectVersion(DAB_Bb_Ruz_DlDecoderGetVersion,
                             {"2019-09-04_v1.1.1", "2019-09-17", "2019-09-04", "34570", 34570, "1.1.1", 1, 1, 1});
    EXPECT_GT(DAB_Bb_Ruz_DlDecoderGetSize(), 0u);
    EXPECT_EQ(DL_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_DlDecoderInit(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DL_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_DlDecoderReset(nullptr));
}

TEST(DlDecoder, ResultsOfSingleGroups)
{
    const Bytes sixteen = dlSegment(false, 0, true, "0123456789abcdef");
    Bytes badCrc = dlCommand(false, DL_COMMAND_REMOVE_LABEL);
    badCrc[3] ^= 0x80;
    // Prefixes that promise more than the group holds, with valid CRCs.
    const Bytes labelTooShort = withCrc({0x4F, 0xF0, 'a'});
    const Bytes dlPlusTooShort = withCrc({0x72, 0x0F, 0x01, 0x02});
    struct Row {
        const char *name;
        Bytes group;
        int result;
        Events events;
    };
    const Row rows[] = {
        {"empty", {}, DL_DECODER_INVALID_PARAMETER, {}},
        {"3 bytes", {0x60, 0x00, 0x00}, DL_DECODER_INVALID_PARAMETER, {}},
        {"4 bytes, wrong CRC", badCrc, DL_DECODER_CRC_ERROR, {}},
        {"remove label, 4 bytes", dlCommand(false, DL_COMMAND_REMOVE_LABEL), DL_DECODER_OK, {"command:1:"}},
        {"one character", dlSegment(false, 0, true, "x"), DL_DECODER_OK, {labelEvent("x")}},
        {"16 characters", sixteen, DL_DECODER_OK, {labelEvent("0123456789abcdef")}},
        {"16 characters announced, one there", labelTooShort, DL_DECODER_ASSEMBLY_FAILED, {}},
        {"DL Plus body longer than the group", dlPlusTooShort, DL_DECODER_ASSEMBLY_FAILED, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        DlHarness dl;
        EXPECT_EQ(row.result, dl.feed(row.group));
        EXPECT_EQ(row.events, dl.events);
    }
    const uint8_t bytes[4] = {};
    DlHarness dl;
    EXPECT_EQ(DL_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_DlDecoderProcessDataGroup(nullptr, bytes, 4));
    EXPECT_EQ(DL_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_DlDecoderProcessDataGroup(dl.decoder(), nullptr, 4));
}

TEST(DlDecoder, SegmentsOutOfOrderAreJoinedInOrder)
{
    DlHarness dl;
    const std::string a = "The first sixtee", b = "n characters, th", c = "en the rest";
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 0, false, a)));
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 2, true, c)));
    EXPECT_TRUE(dl.events.empty());
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 1, false, b)));
    EXPECT_EQ(Events{labelEvent(a + b + c)}, dl.events);
}

TEST(DlDecoder, ShortSegmentBeforeTheLastLeavesNoGap)
{
    DlHarness dl;
    dl.feedAll({dlSegment(true, 0, false, "Radio "), dlSegment(true, 1, true, "Zoz")});
    EXPECT_EQ(Events{labelEvent("Radio Zoz")}, dl.events);
}

TEST(DlDecoder, CharsetOfTheFirstSegment)
{
    DlHarness dl;
    dl.feedAll({dlSegment(false, 1, true, "def", 0), dlSegment(false, 0, false, "abc", 4)});
    EXPECT_EQ(Events{labelEvent("abcdef", 4)}, dl.events);
}

TEST(DlDecoder, BadCrcKeepsTheCollection)
{
    DlHarness dl;
    Bytes broken = dlSegment(false, 1, true, "world");
    broken[4] ^= 0x20;
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 0, false, "hello ")));
    EXPECT_EQ(DL_DECODER_CRC_ERROR, dl.feed(broken));
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 1, true, "world")));
    EXPECT_EQ(Events{labelEvent("hello world")}, dl.events);
}

TEST(DlDecoder, BrokenGroupStartsTheCollectionAgain)
{
    DlHarness dl;
    // Segment 1 claims 16 characters and carries 2.
    const Bytes broken = withCrc({0x0F, 0x10, 'x', 'y'});
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 0, false, "hello ")));
    EXPECT_EQ(DL_DECODER_ASSEMBLY_FAILED, dl.feed(broken));
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 1, true, "world")));
    EXPECT_TRUE(dl.events.empty());
    EXPECT_EQ(DL_DECODER_OK, dl.feed(dlSegment(false, 0, false, "hello ")));
    EXPECT_EQ(Events{labelEvent("hello world")}, dl.events);
}

// Sequences of groups and what reaches the callbacks.
TEST(DlDecoder, DeliveryRules)
{
    const Bytes plusBody = {0x80, 0x01, 0x05, 0x06};
    const Bytes plusLinked0 = dlCommand(false, DL_COMMAND_DL_PLUS, false, plusBody);
    const Bytes plusLinked1 = dlCommand(false, DL_COMMAND_DL_PLUS, true, plusBody);
    const Bytes plusLinked0Toggled = dlCommand(true, DL_COMMAND_DL_PLUS, false, plusBody);
    const Bytes remove = dlCommand(true, DL_COMMAND_REMOVE_LABEL);
    const std::string plusEvent = "command:2:80010506";
    struct Row {
        const char *name;
        std::vector<Bytes> groups;
        Events events;
    };
    const Row rows[] = {
        {"same label, same toggle: once",
         {dlSegment(false, 0, true, "A"), dlSegment(false, 0, true, "A")},
         {labelEvent("A")}},
        {"same text, new toggle: not again",
         {dlSegment(false, 0, true, "A"), dlSegment(true, 0, true, "A")},
         {labelEvent("A")}},
        {"new text, new toggle",
         {dlSegment(false, 0, true, "A"), dlSegment(true, 0, true, "B")},
         {labelEvent("A"), labelEvent("B")}},
        {"new text, same toggle: the label was delivered already",
         {dlSegment(false, 0, true, "A"), dlSegment(false, 0, true, "B")},
         {labelEvent("A")}},
        {"DL Plus linked to the label shown",
         {dlSegment(false, 0, true, "A"), plusLinked0, plusLinked0},
         {labelEvent("A"), plusEvent}},
        {"DL Plus linked to another label",
         {dlSegment(false, 0, true, "A"), plusLinked1},
         {labelEvent("A")}},
        {"DL Plus before any label",
         {plusLinked0},
         {}},
        {"DL Plus again with a new toggle",
         {dlSegment(false, 0, true, "A"), plusLinked0, dlSegment(false, 0, true, "A"), plusLinked0Toggled},
         {labelEvent("A"), plusEvent, plusEvent}},
        {"remove label, then the same text again",
         {dlSegment(false, 0, true, "A"), remove, dlSegment(false, 0, true, "A")},
         {labelEvent("A"), "command:1:", labelEvent("A")}},
        {"remove label repeated",
         {dlSegment(false, 0, true, "A"), remove, remove},
         {labelEvent("A"), "command:1:"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        DlHarness dl;
        dl.feedAll(row.groups);
        EXPECT_EQ(row.events, dl.events);
    }
}

TEST(DlDecoder, ResetForgetsTheLabelShown)
{
    DlHarness dl;
    dl.feedAll({dlSegment(false, 0, true, "A")});
    EXPECT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderReset(dl.decoder()));
    dl.feedAll({dlSegment(false, 0, true, "A")});
    EXPECT_EQ((Events{labelEvent("A"), labelEvent("A")}), dl.events);
}

TEST(DlDecoder, WithoutCallbacksGroupsAreTaken)
{
    auto *decoder = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
    ASSERT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderInit(decoder, nullptr, nullptr, nullptr));
    for (const Bytes &g : {dlSegment(false, 0, true, "A"), dlCommand(true, DL_COMMAND_REMOVE_LABEL)})
        EXPECT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderProcessDataGroup(decoder, g.data(), uint32_t(g.size())));
    std::free(decoder);
}

TEST(DlDecoder, LongestLabel)
{
    DlHarness dl;
    std::string text;
    for (int i = 0; i < DL_MAX_LABEL_BYTES; ++i)
        text += static_cast<char>('A' + i % 26);
    const std::vector<Bytes> segments = dlLabel(false, text);
    ASSERT_EQ(8u, segments.size());
    // Last segment first, then the rest backwards.
    for (auto it = segments.rbegin(); it != segments.rend(); ++it)
        EXPECT_EQ(DL_DECODER_OK, dl.feed(*it));
    EXPECT_EQ(Events{labelEvent(text)}, dl.events);
}

} // namespace
