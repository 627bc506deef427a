// DL Plus tags and intelliText menus taken from the Dynamic Label of a programme.
#include "audio/ZOZAudioTextState.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ZOZ;

namespace {

struct Tag {
    int type;
    int start;
    int length;
};

// A DL Plus tags command: toggle and running bits, then the tags.
std::vector<uint8_t> command(bool toggle, bool running, const std::vector<Tag> &tags)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(uint8_t((toggle ? 0x08 : 0) | (running ? 0x04 : 0) | ((tags.size() - 1) & 0x03)));
    for (const Tag &tag : tags) {
        bytes.push_back(uint8_t(tag.type));
        bytes.push_back(uint8_t(tag.start));
        bytes.push_back(uint8_t(tag.length - 1));
    }
    return bytes;
}

bool apply(AudioTextState &state, const std::vector<uint8_t> &bytes, const QString &label)
{
    return state.applyDlPlusCommand(bytes.data(), uint32_t(bytes.size()), label);
}

QString itemText(const AudioTexts &texts, int type)
{
    for (const DlPlusItem &item : texts.items) {
        if (item.type == type)
            return item.text;
    }
    return QStringLiteral("<none>");
}

const QString Label = QStringLiteral("Now: Hey  Jude by The Beatles");
//                                    0123456789012345678901234567890

TEST(AudioTextState, DlPlusTagsSetTitleAndArtist)
{
    AudioTextState state;
    EXPECT_TRUE(apply(state, command(false, true, {{1, 5, 9}, {4, 18, 11}}), Label));
    const AudioTexts texts = state.snapshot();
    EXPECT_TRUE(texts.itemRunning);
    // Runs of white space become one blank.
    EXPECT_EQ(QStringLiteral("Hey Jude"), texts.title);
    EXPECT_EQ(QStringLiteral("The Beatles"), texts.artist);
    EXPECT_EQ(QStringLiteral("Hey Jude"), itemText(texts, 1));
    EXPECT_EQ(QStringLiteral("The Beatles"), itemText(texts, 4));
}

TEST(AudioTextState, TagsThatDoNotFitAreIgnored)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"type 0", command(false, true, {{0, 0, 3}})},
        {"type 64", command(false, true, {{64, 0, 3}})},
        {"beyond the label", command(false, true, {{1, 20, 11}})},
        {"command id not 0", {0x10, 1, 0, 2}},
        {"tag cut short", {0x04, 1, 0}},
    };
    for (const Case &c : cases) {
        AudioTextState state;
        apply(state, c.bytes, Label);
        EXPECT_TRUE(state.snapshot().items.isEmpty()) << c.name;
    }
}

TEST(AudioTextState, NewToggleDropsTheItemGroupOnly)
{
    AudioTextState state;
    apply(state, command(false, true, {{1, 5, 9}, {12, 0, 3}}), Label);
    // The toggle flips: the title of the last item goes, the news (type 12) stays.
    EXPECT_TRUE(apply(state, command(true, true, {{4, 18, 11}}), Label));
    const AudioTexts texts = state.snapshot();
    EXPECT_EQ(QStringLiteral("<none>"), itemText(texts, 1));
    EXPECT_EQ(QStringLiteral("The Beatles"), itemText(texts, 4));
    EXPECT_EQ(QStringLiteral("Now"), itemText(texts, 12));
}

TEST(AudioTextState, BlankTagDeletesItsType)
{
    AudioTextState state;
    apply(state, command(false, true, {{4, 18, 11}}), Label);
    EXPECT_TRUE(apply(state, command(false, true, {{4, 4, 1}}), Label));
    const AudioTexts texts = state.snapshot();
    EXPECT_TRUE(texts.artist.isEmpty());
    EXPECT_TRUE(texts.items.isEmpty());
}

TEST(AudioTextState, RunningBitIsReported)
{
    AudioTextState state;
    apply(state, command(false, false, {{1, 5, 9}}), Label);
    EXPECT_FALSE(state.snapshot().itemRunning);
    EXPECT_EQ(QStringLiteral("Hey Jude"), state.snapshot().title);
    apply(state, command(false, true, {{1, 5, 9}}), Label);
    EXPECT_TRUE(state.snapshot().itemRunning);
}

TEST(AudioTextState, IntelliTextFillsMenus)
{
    AudioTextState state;
    EXPECT_TRUE(state.parseIntelliText(QStringLiteral("NEWS[1] - Sport[0]: a;b;c")));
    AudioTexts texts = state.snapshot();
    ASSERT_EQ(1, texts.menus.size());
    EXPECT_EQ(QStringLiteral("NEWS"), texts.menus[0].name);
    ASSERT_EQ(2, texts.menus[0].subMenus.size());
    EXPECT_TRUE(texts.menus[0].subMenus[0].name.isEmpty());
    EXPECT_EQ(QStringLiteral("Sport"), texts.menus[0].subMenus[1].name);
    EXPECT_EQ((QStringList {"a", "b", "c"}), texts.menus[0].subMenus[1].items);

    // Another sub-menu name at the same index takes the place and starts empty.
    EXPECT_TRUE(state.parseIntelliText(QStringLiteral("NEWS[1] - Weather[1]: Sunny...")));
    texts = state.snapshot();
    EXPECT_EQ(QStringLiteral("Weather"), texts.menus[0].subMenus[1].name);
    EXPECT_EQ((QStringList {"", "Sunny"}), texts.menus[0].subMenus[1].items);
}

TEST(AudioTextState, IntelliTextWithoutMenuIndexKeepsSubMenusByName)
{
    AudioTextState state;
    EXPECT_TRUE(state.parseIntelliText(QStringLiteral("Info - Zeta[0]: last.")));
    EXPECT_TRUE(state.parseIntelliText(QStringLiteral("Info - Alpha[0]: first")));
    const AudioTexts texts = state.snapshot();
    ASSERT_EQ(2, texts.menus[0].subMenus.size());
    EXPECT_EQ(QStringLiteral("Alpha"), texts.menus[0].subMenus[0].name);
    // One trailing dot goes too.
    EXPECT_EQ(QStringList {"last"}, texts.menus[0].subMenus[1].items);
}

TEST(AudioTextState, OtherLabelsAreNoIntelliText)
{
    AudioTextState state;
    for (const char *label : {"Just a song title", "NEWS - Sport: no index", "NEWS[1] - Sport[1000]: a",
                              "NEWS[1] - Sport[64]: beyond what is kept"}) {
        EXPECT_FALSE(state.parseIntelliText(QString::fromUtf8(label))) << label;
    }
    EXPECT_TRUE(state.snapshot().menus.isEmpty());
}

} // namespace
