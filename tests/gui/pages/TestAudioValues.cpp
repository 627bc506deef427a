// The page values of an audio service: the channel entry of the state poll
// with its members in their order, DL Plus groups and intelliText menus.
#include "ZOZAudioValues.h"

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

AudioServiceInfo playingLayer2Service()
{
    AudioServiceInfo info;
    info.selectorId = 0x01020000;
    info.playing = true;
    info.textMessage = QStringLiteral("<b>Hey</b> & more");
    info.requestPath = QStringLiteral("audio-3/");
    info.announcementsDab = 3;
    info.nominalBitRate = 128000;
    info.measuredBitRate = 127500;
    info.channelText = QStringLiteral("Stereo");
    info.codecName = QStringLiteral("MPEG-1/2 Layer 2");
    info.serviceTypeText = QStringLiteral("DAB Classic");
    info.format = AudioFormat {1, 48000, 16, 2};
    return info;
}

TEST(AudioValues, ChannelEntryKeepsItsMemberOrder)
{
    EXPECT_EQ(audioJson(playingLayer2Service()).toJson(),
              QStringLiteral("{\"SID\":16908288,\"playing\":true,\"textMessage\":\"&lt;b&gt;Hey&lt;/b&gt; &amp; more\","
                             "\"requestPath\":\"audio-3/\",\"info\":{\"isDab\":true,\"announcementsDAB\":3,"
                             "\"announcementsDRM\":0,\"bitrate\":\"128.0 kBit/s\",\"bitrateNet\":\"127.5 kBit/s\","
                             "\"type\":\"Stereo\",\"codec\":\"MPEG-1/2 Layer 2 (DAB Classic)\"},\"coding\":1,"
                             "\"sampleRate\":48000,\"bitsPerSample\":16,\"numChannels\":2,\"dlPlusInfo\":[],"
                             "\"intelliTextInfo\":[]}"));
}

TEST(AudioValues, MeasuredRateIsEmptyUntilKnown)
{
    AudioServiceInfo info = playingLayer2Service();
    info.measuredBitRate = 0;
    EXPECT_TRUE(audioJson(info).toJson().contains(QStringLiteral("\"bitrateNet\":\"\"")));
}

TEST(AudioValues, DlPlusGroupsInOrderWithTheItemGroupOnlyWhileItRuns)
{
    AudioTexts texts;
    texts.items = {{1, QStringLiteral("Hey Jude")}, {4, QStringLiteral("The Beatles")}, {12, QStringLiteral("Weather")},
                   {41, QStringLiteral("0800 123")}};
    EXPECT_EQ(dlPlusJson(texts).toJson(),
              QStringLiteral("\"dlPlusInfo\":[{\"name\":\"Info\",\"data\":[{\"type\":12,\"name\":\"News\",\"content\":\"Weather\"}]},"
                             "{\"name\":\"Interactivity\",\"data\":[{\"type\":41,\"name\":\"Phone Hotline\","
                             "\"content\":\"0800 123\"}]}]"));
    texts.itemRunning = true;
    EXPECT_TRUE(dlPlusJson(texts).toJson().startsWith(
        QStringLiteral("\"dlPlusInfo\":[{\"name\":\"Item\",\"data\":[{\"type\":1,\"name\":\"Title\",\"content\":\"Hey Jude\"},"
                       "{\"type\":4,\"name\":\"Artist\",\"content\":\"The Beatles\"}]}")));
}

TEST(AudioValues, TypeNames)
{
    EXPECT_EQ(dlPlusTypeName(24), QStringLiteral("Date & Time"));
    EXPECT_EQ(dlPlusTypeName(53), QStringLiteral("Vote Centre"));
    EXPECT_EQ(dlPlusTypeName(59), QStringLiteral("Place"));
    EXPECT_EQ(dlPlusTypeName(63), QStringLiteral("SMS number or url"));
    for (int type : {0, 54, 58, 64})
        EXPECT_EQ(dlPlusTypeName(type), QStringLiteral("unknown")) << type;
}

TEST(AudioValues, IntelliTextLeavesOutSubMenusWithoutText)
{
    AudioTexts texts;
    texts.menus = {{QStringLiteral("NEWS"),
                    {{QString(), {}}, {QStringLiteral("Sport"), {QString(), QStringLiteral("b")}}}}};
    EXPECT_EQ(intelliTextJson(texts).toJson(),
              QStringLiteral("\"intelliTextInfo\":[{\"name\":\"NEWS\",\"subMenus\":[{\"name\":\"Sport\",\"data\":[\"b\"]}]}]"));
}

} // namespace
