// The commands that change settings and the pages that show them, through
// the real HTTP server: good values are stored, garbage and values out of
// range are refused with a reason and change nothing, links reach the desktop
// only for the allowed schemes.
#include "HttpTestClient.h"
#include "ServiceTestSupport.h"
#include "SettingsFixture.h"
#include "StrictJson.h"
#include "WebStack.h"
#include "ajax/ZOZAjaxCommands.h"
#include "http/ZOZHttpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

using ZOZ::Settings;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;
using ZOZTest::StrictJson;

namespace {

class FakeHost : public ZOZ::PageHost
{
public:
    void openUrl(const QUrl &url) override { opened << url; }
    void chooseRecordingDirectory() override { ++folderDialogs; }
    void closeApplication() override { ++closes; }
    void switchLanguage(const QString &code) override { languages << code; }
    int currentTheme() const override { return theme; }
    QString fullApplicationName() const override { return QStringLiteral("ZOZ Test Player"); }
    QDateTime startTime() const override { return QDateTime(QDate(2026, 6, 21), QTime(10, 0)); }

    QList<QUrl> opened;
    int folderDialogs = 0;
    int closes = 0;
    QStringList languages;
    int theme = 0;
};

class FakeAudio : public ZOZ::AudioControl
{
public:
    void setDevice(int id) override { deviceId = id; }
    int device() const override { return deviceId; }
    bool isMuted() const override { return muted; }
    void setMuted(bool on) override { muted = on; ++muteChanges; }
    float level() const override { return currentLevel; }
    void setLevel(float value) override { currentLevel = value; }
    ZOZ::AudioLevelValues levels() const override { return values; }
    void setVolumeMax(float value) override { values.volumeMax = value; }
    void setShift(float value) override { values.shift = value; }
    void setBalance(float value) override { values.balance = value; }
    void setLevelChannel(unsigned channel, float value) override
    {
        if (channel < 6)
            values.channel[channel] = value;
    }
    ZOZ::TestToneMode testMode() const override { return test; }
    void setTestMode(const ZOZ::TestToneMode &mode) override { test = mode; }
    QStringList deviceNames() const override { return devices; }

    ZOZ::AudioLevelValues values;
    ZOZ::TestToneMode test;
    QStringList devices {QStringLiteral("default"), QStringLiteral("hw:0,0")};
    int deviceId = -1;
    bool muted = false;
    int muteChanges = 0;
    float currentLevel = 1.0f;
};

class AjaxSettingsTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                  QString::fromLatin1(Settings::Application))
            .clear();
        settings->setStyleRootPath(home.path() + QStringLiteral("/no-style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ZOZ::ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared));
        web = std::make_unique<ZOZTest::WebStack>(manager);
        ASSERT_TRUE(web->init());
        ASSERT_TRUE(manager->init());
        web->pages->setHost(&host);
        web->pages->setAudioControl(&audio);
    }

    void TearDown() override
    {
        web.reset();
        if (ZOZ::ServiceManager::existingInstance())
            ZOZ::ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    HttpAnswer get(const QString &target, bool withToken = true) { return web->get(target, withToken); }

    QByteArray ajax(const QString &query) { return get(QStringLiteral("/ajax?") + query).body; }
    QByteArray page(const QString &query) { return get(QStringLiteral("/?") + query).body; }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ZOZ::ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
    FakeHost host;
    FakeAudio audio;
};

const QByteArray Acknowledged = "{\"success\":true}";

// A query value as the pages send one that is not plain: the marker, then
// "%XX" for every other character up to 255.
QString pageEncoded(const QString &text)
{
    QString out = QStringLiteral("__UTF8__");
    for (const QChar c : text) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            out += c;
        else
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

} // namespace

TEST_F(AjaxSettingsTest, GoodValuesAreStoredAndBadOnesRefusedWithAReason)
{
    QTemporaryDir folder;
    const QString recording = folder.filePath(QStringLiteral("input.eti"));
    {
        QFile file(recording);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    settings->setFrontEndMode(Settings::ModeDab);

    using Reading = std::function<QString()>;
    const Reading decoderMode = [this] { return QString::number(settings->audioDecoderMode()); };
    const Reading timelimit = [this] { return QString::number(settings->audioRecordingTimelimit()); };
    const Reading dabPlusFormat = [this] { return QString::number(settings->audioRecordingFormat(Settings::DabPlus)); };
    const Reading binaural = [this] { return QString::number(settings->audioBinauralPreset()); };
    const Reading spoken = [this] { return settings->spokenLabelsActive() ? QStringLiteral("on") : QStringLiteral("off"); };
    const Reading agc = [this] { return QString::number(settings->frontEndOption(Settings::OptionAgc)); };
    const Reading gain = [this] { return QString::number(settings->frontEndOption(Settings::OptionGain)); };
    const Reading frequency = [this] { return QString::number(settings->frontEndFrequency()); };
    const Reading input = [this] { return settings->frontEndFileName(); };
    const Reading remoteClients = [this] { return QString::number(settings->httpNumRemoteClients()); };
    const Reading notifyMode = [this] { return QString::number(manager->notifyBubbleMode()); };
    const Reading bubbles = [] { return Settings::getGuiShowBubbles() ? QStringLiteral("on") : QStringLiteral("off"); };
    const Reading timestep = [] { return QString::number(Settings::jouGetApTimestep()); };
    const Reading announcements = [this] { return QString::number(settings->announcement(QStringLiteral("DAB"))); };
    const Reading device = [this] { return QString::number(audio.deviceId); };
    const Reading level = [this] { return QString::number(double(audio.currentLevel), 'f', 2); };
    const Reading muted = [this] { return audio.muted ? QStringLiteral("muted") : QStringLiteral("open"); };
    const auto percent = [](float value) { return QString::number(qRound(value * 100)); };
    const Reading centre = [this, percent] { return percent(audio.values.channel[2]); };
    const Reading maxVolume = [this, percent] { return percent(audio.values.volumeMax); };
    const Reading shift = [this, percent] { return percent(audio.values.shift); };
    const Reading balance = [this, percent] { return percent(audio.values.balance); };
    const Reading test = [this] {
        return QStringLiteral("%1/%2/%3").arg(audio.test.active).arg(audio.test.channels).arg(audio.test.mask);
    };

    const struct
    {
        QString query;
        bool accepted;
        const Reading *reading;
        QString expected; // the reading after the command
    } rows[] = {
        {QStringLiteral("setAudioDecoderMode=1"), true, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode=3"), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode=-1"), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode=abc"), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode="), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode=%201"), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioDecoderMode=99999999999999999999"), false, &decoderMode, QStringLiteral("1")},
        {QStringLiteral("setAudioRecordingTimelimit=0"), true, &timelimit, QStringLiteral("0")},
        {QStringLiteral("setAudioRecordingTimelimit=3600"), true, &timelimit, QStringLiteral("3600")},
        {QStringLiteral("setAudioRecordingTimelimit=-1"), false, &timelimit, QStringLiteral("3600")},
        {QStringLiteral("setAudioRecordingTimelimit=1e3"), false, &timelimit, QStringLiteral("3600")},
        {QStringLiteral("setAudioRecordingFormat=1&class=2"), true, &dabPlusFormat, QStringLiteral("1")},
        {QStringLiteral("setAudioRecordingFormat=2"), false, &dabPlusFormat, QStringLiteral("1")},
        {QStringLiteral("setAudioRecordingFormat=3&class=2"), false, &dabPlusFormat, QStringLiteral("1")},
        {QStringLiteral("setAudioRecordingFormat=0&class=6"), false, &dabPlusFormat, QStringLiteral("1")},
        {QStringLiteral("setAudioBinauralPreset=3"), true, &binaural, QStringLiteral("3")},
        {QStringLiteral("setAudioBinauralPreset=0"), false, &binaural, QStringLiteral("3")},
        {QStringLiteral("setSpokenLabelsActive=false"), true, &spoken, QStringLiteral("off")},
        {QStringLiteral("setSpokenLabelsActive=1"), false, &spoken, QStringLiteral("off")},
        {QStringLiteral("setSpokenLabelsActive=true"), true, &spoken, QStringLiteral("on")},
        {QStringLiteral("setFeAgc=false"), true, &agc, QStringLiteral("0")},
        {QStringLiteral("setFeAgc=yes"), false, &agc, QStringLiteral("0")},
        {QStringLiteral("setFeGain=250"), true, &gain, QStringLiteral("250")},
        {QStringLiteral("setFeGain=abc"), false, &gain, QStringLiteral("250")},
        {QStringLiteral("setFeFrequency=227360"), true, &frequency, QStringLiteral("227360")},
        {QStringLiteral("setFeFrequency=-5"), false, &frequency, QStringLiteral("227360")},
        {QStringLiteral("setFeInput=225648"), true, &frequency, QStringLiteral("225648")},
        {QStringLiteral("setFeInput=") + recording, true, &input, recording},
        {QStringLiteral("setFeInput=0225648"), false, &input, recording},
        {QStringLiteral("setFeInput=") + folder.path(), false, &input, recording},
        {QStringLiteral("setFeInput=/dev/null"), false, &input, recording},
        {QStringLiteral("setHttpNumRemoteClients=-1"), true, &remoteClients, QStringLiteral("-1")},
        {QStringLiteral("setHttpNumRemoteClients=-2"), false, &remoteClients, QStringLiteral("-1")},
        {QStringLiteral("setNotifyMode=2"), true, &notifyMode, QStringLiteral("2")},
        {QStringLiteral("setNotifyMode=7"), false, &notifyMode, QStringLiteral("2")},
        {QStringLiteral("setBubbleMode=1"), true, &bubbles, QStringLiteral("on")},
        {QStringLiteral("setBubbleMode=true"), false, &bubbles, QStringLiteral("on")},
        {QStringLiteral("jouSetApTimestep=30"), true, &timestep, QStringLiteral("30")},
        {QStringLiteral("jouSetApTimestep=0"), false, &timestep, QStringLiteral("30")},
        {QStringLiteral("jouSetApTimestep=3601"), false, &timestep, QStringLiteral("30")},
        {QStringLiteral("setAnnouncements=-1&type=DAB"), true, &announcements, QStringLiteral("4294967295")},
        {QStringLiteral("setAnnouncements=6&type=DAB"), true, &announcements, QStringLiteral("6")},
        {QStringLiteral("setAnnouncements=4294967295&type=DAB"), false, &announcements, QStringLiteral("6")},
        {QStringLiteral("setAnnouncements=5&type=FM"), false, &announcements, QStringLiteral("6")},
        {QStringLiteral("setAnnouncements=5"), false, &announcements, QStringLiteral("6")},
        {QStringLiteral("setDevice=2"), true, &device, QStringLiteral("2")},
        {QStringLiteral("setDevice=abc"), false, &device, QStringLiteral("2")},
        {QStringLiteral("setDevice=-2"), false, &device, QStringLiteral("2")},
        {QStringLiteral("setAudioLevel=150"), true, &level, QStringLiteral("1.50")},
        {QStringLiteral("setAudioLevel=100000"), true, &level, QStringLiteral("2.00")},
        {QStringLiteral("setAudioLevel=150"), true, &level, QStringLiteral("1.50")},
        {QStringLiteral("setAudioLevel=-1"), false, &level, QStringLiteral("1.50")},
        {QStringLiteral("setAudioLevel=nan"), false, &level, QStringLiteral("1.50")},
        {QStringLiteral("setAudioLevel=50&channel=6"), false, &level, QStringLiteral("1.50")},
        {QStringLiteral("setAudioLevel=50&channel=2"), true, &centre, QStringLiteral("50")},
        {QStringLiteral("setAudioLevel=60&channel=6"), false, &centre, QStringLiteral("50")},
        {QStringLiteral("setAudioLevel=60&channel=x"), false, &centre, QStringLiteral("50")},
        {QStringLiteral("setAudioMaxVolume=80"), true, &maxVolume, QStringLiteral("80")},
        {QStringLiteral("setAudioMaxVolume=-1"), false, &maxVolume, QStringLiteral("80")},
        {QStringLiteral("setAudioShift=-50"), true, &shift, QStringLiteral("-50")},
        {QStringLiteral("setAudioShift=101"), false, &shift, QStringLiteral("-50")},
        {QStringLiteral("setAudioBalance=25"), true, &balance, QStringLiteral("25")},
        {QStringLiteral("setAudioBalance=-101"), false, &balance, QStringLiteral("25")},
        {QStringLiteral("switchAudioTestMode"), true, &test, QStringLiteral("1/6/0")},
        {QStringLiteral("setAudioTestChannel=3"), true, &test, QStringLiteral("1/2/3")},
        {QStringLiteral("setAudioTestChannel=8"), true, &test, QStringLiteral("1/6/8")},
        {QStringLiteral("setAudioTestChannel=abc"), false, &test, QStringLiteral("1/6/8")},
        {QStringLiteral("switchAudioTestMode"), true, &test, QStringLiteral("0/6/63")},
        {QStringLiteral("setAudioLevel=15"), true, &level, QStringLiteral("0.15")},
        {QStringLiteral("adjustVolume=0"), true, &level, QStringLiteral("0.10")},
        {QStringLiteral("adjustVolume=0"), true, &level, QStringLiteral("0.10")},
        {QStringLiteral("adjustVolume=up"), false, &level, QStringLiteral("0.10")},
        {QStringLiteral("setAudioLevel=95"), true, &level, QStringLiteral("0.95")},
        {QStringLiteral("adjustVolume=1"), true, &level, QStringLiteral("1.00")},
        {QStringLiteral("adjustVolume=1"), true, &level, QStringLiteral("1.00")},
        {QStringLiteral("setAudioMuted=1"), true, &muted, QStringLiteral("muted")},
        {QStringLiteral("setAudioMuted=true"), false, &muted, QStringLiteral("muted")},
        {QStringLiteral("setAudioMuted=0"), true, &muted, QStringLiteral("open")},
    };
    for (const auto &row : rows) {
        const QByteArray answer = ajax(row.query);
        ASSERT_TRUE(StrictJson::isValid(answer)) << qPrintable(row.query) << ": " << answer.constData();
        const QJsonObject reply = QJsonDocument::fromJson(answer).object();
        EXPECT_EQ(reply.value(QStringLiteral("success")).toBool(), row.accepted) << qPrintable(row.query);
        if (row.accepted)
            EXPECT_EQ(answer, Acknowledged) << qPrintable(row.query);
        else
            EXPECT_FALSE(reply.value(QStringLiteral("error")).toString().isEmpty()) << qPrintable(row.query);
        EXPECT_EQ((*row.reading)(), row.expected) << qPrintable(row.query);
    }
    // A state already held is not set again.
    const int changes = audio.muteChanges;
    EXPECT_EQ(ajax(QStringLiteral("setAudioMuted=0")), Acknowledged);
    EXPECT_EQ(audio.muteChanges, changes);
}

// Long product names are cut so the settings page's list stays narrow.
TEST(AjaxDeviceNames, LongNamesAreCutTo31Characters)
{
    const QString exact = QStringLiteral("USB Audio Device (hw:1,0 front)");
    ASSERT_EQ(exact.size(), 31);
    EXPECT_EQ(ZOZ::deviceEntryName(exact), exact);
    const QString long35 = QStringLiteral("HDA Intel PCH ALC3246 Analog (hw:0)");
    ASSERT_EQ(long35.size(), 35);
    EXPECT_EQ(ZOZ::deviceEntryName(long35), long35.left(31) + QStringLiteral("..)"));
    EXPECT_EQ(ZOZ::deviceEntryName(QStringLiteral("hw:0,0")), QStringLiteral("hw:0,0"));
}

TEST_F(AjaxSettingsTest, SwitchesFlipAndTwoFlipsRestore)
{
    const bool before = Settings::jouGetApIncRoot();
    EXPECT_EQ(ajax(QStringLiteral("jouSwitchApIncRoot")), Acknowledged);
    EXPECT_NE(Settings::jouGetApIncRoot(), before);
    EXPECT_EQ(ajax(QStringLiteral("jouSwitchApIncRoot=ignored")), Acknowledged);
    EXPECT_EQ(Settings::jouGetApIncRoot(), before);

    const bool cache = settings->slsHasPermaCache();
    EXPECT_EQ(ajax(QStringLiteral("slsSwitchPermaCache")), Acknowledged);
    EXPECT_NE(settings->slsHasPermaCache(), cache);
}

TEST_F(AjaxSettingsTest, OnlyWebMailAndPhoneLinksReachTheDesktop)
{
    const struct
    {
        const char *url;
        bool opened;
    } rows[] = {
        {"https://www.example.org/a?b=c", true},
        {"http://example.org/", true},
        {"mailto:radio@example.org", true},
        {"tel:+3861234567", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://example.org/", false},
        {"/relative/page", false},
        {"http://", false},
        {"", false},
        {"smb://host/share", false},
    };
    for (const auto &row : rows) {
        host.opened.clear();
        const QByteArray answer = ajax(QStringLiteral("openBlank=") + pageEncoded(QString::fromLatin1(row.url)));
        EXPECT_EQ(answer == Acknowledged, row.opened) << row.url << ": " << answer.constData();
        EXPECT_EQ(host.opened.size(), row.opened ? 1 : 0) << row.url;
    }
    // Local pages are built by the player itself, as local file URLs.
    host.opened.clear();
    settings->setAudioRecordingDirectory(home.path());
    EXPECT_EQ(ajax(QStringLiteral("requestRecordingDirectoryOpen")), Acknowledged);
    ASSERT_EQ(host.opened.size(), 1);
    EXPECT_TRUE(host.opened.first().isLocalFile());
    EXPECT_EQ(QDir::cleanPath(host.opened.first().toLocalFile()), QDir::cleanPath(home.path()));
    EXPECT_EQ(ajax(QStringLiteral("requestRecordingDirectoryChange")), Acknowledged);
    EXPECT_EQ(host.folderDialogs, 1);
    EXPECT_EQ(ajax(QStringLiteral("openPageInBrowser=x")), Acknowledged);
    EXPECT_EQ(host.opened.last(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(settings->httpPort())));
}

TEST_F(AjaxSettingsTest, LanguageMustBeKnownAndShutdownGoesToTheHost)
{
    EXPECT_EQ(ajax(QStringLiteral("switchLanguage=DE")), Acknowledged);
    EXPECT_EQ(host.languages, QStringList {QStringLiteral("de")});
    const QByteArray refused = ajax(QStringLiteral("switchLanguage=") + pageEncoded(QStringLiteral("../../etc")));
    EXPECT_TRUE(refused.startsWith("{\"success\":false,\"error\":")) << refused.constData();
    EXPECT_EQ(host.languages.size(), 1);

    EXPECT_EQ(ajax(QStringLiteral("shutDownApplication")), Acknowledged);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(ajax(QStringLiteral("getHttpNumRemoteClients")), "{\"success\":true,\"httpNumRemoteClients\":0}");
}

TEST_F(AjaxSettingsTest, CommandsNeedTheTokenAndDirectoryCommandsALocalClient)
{
    EXPECT_EQ(get(QStringLiteral("/ajax?setAudioDecoderMode=0"), false).status, 403);
    EXPECT_NE(settings->audioDecoderMode(), 0);

    ZOZ::HttpRequest remote;
    remote.granted = true;
    remote.passwordAccepted = true;
    remote.remote = true;
    remote.tokenAccepted = true;
    remote.query.insert(QStringLiteral("requestRecordingDirectoryChange"), QString());
    ZOZ::HttpResponse response;
    EXPECT_FALSE(web->pages->httpAjaxRequest(remote, response));
    EXPECT_EQ(host.folderDialogs, 0);
}

TEST_F(AjaxSettingsTest, SettingsUpdateCarriesTheValuesInOrder)
{
    settings->setAudioRecordingDirectory(home.path() + QStringLiteral("/Rec"));
    audio.muted = true;
    const QByteArray answer = ajax(QStringLiteral("getSettingsUpdate"));
    ASSERT_TRUE(StrictJson::isValid(answer)) << answer.constData();
    EXPECT_TRUE(answer.startsWith("{\"success\":true,\"isBRXpwValid\":true,\"http\":{\"numRemoteClients\":-1,"
                                  "\"numRemoteClientsActive\":0},\"jou\":{"))
        << answer.constData();
    const QJsonObject reply = QJsonDocument::fromJson(answer).object();
    EXPECT_EQ(QDir::cleanPath(reply.value(QStringLiteral("audioRecordingDirectory")).toString()),
              QDir::cleanPath(home.path() + QStringLiteral("/Rec")));
    const QJsonObject system = reply.value(QStringLiteral("audioSystem")).toObject();
    EXPECT_TRUE(system.value(QStringLiteral("muted")).toBool());
    EXPECT_TRUE(answer.contains("\"audioSystem\":{\"testMode\":false,\"testChannels\":63,\"devices\":["
                                "{\"deviceID\":-1,\"name\":\"default (default)\",\"selected\":true},"
                                "{\"deviceID\":0,\"name\":\"default\",\"selected\":false},"
                                "{\"deviceID\":1,\"name\":\"hw:0,0\",\"selected\":false}]"))
        << answer.constData();

    // Without an audio output the member is left out.
    web->pages->setAudioControl(nullptr);
    EXPECT_FALSE(ajax(QStringLiteral("getSettingsUpdate")).contains("\"audioSystem\""));
}

TEST_F(AjaxSettingsTest, SettingsPageShowsTheStoredValuesAndTheHotkeys)
{
    settings->setAudioRecordingFormat(Settings::DabClassic, 1);
    settings->setAudioRecordingFormat(Settings::DabPlus, 2);
    settings->setAudioRecordingDirectory(QStringLiteral("/music/<b>rec</b>"));
    manager->setNotifyBubbleMode(3);

    QByteArray body = page(QStringLiteral("settings&category=AUDIO"));
    EXPECT_TRUE(body.contains("data-category=\"AUDIO\""));
    EXPECT_TRUE(body.contains("id=\"settings-notify\" data-current=\"3\""));
    EXPECT_TRUE(body.contains("value=\"1\" selected>")) << "DAB classic as WAVE";
    EXPECT_TRUE(body.contains("value=\"2\" selected>")) << "DAB+ as MPEG-4";
    EXPECT_EQ(body.count(" selected>"), 2);
    EXPECT_TRUE(body.contains("/music/&lt;b&gt;rec&lt;/b&gt;"));
    EXPECT_FALSE(body.contains("<b>rec</b>"));
    EXPECT_TRUE(body.contains("id=\"settings-device\"")) << "an audio output exists";
    EXPECT_TRUE(body.contains("settings-local-address"));
    EXPECT_EQ(body.count("<dt>"), 5);
    EXPECT_TRUE(body.contains("<dt><div class='button'>Space</div></dt>"));
    EXPECT_FALSE(QString::fromUtf8(body).contains(QRegularExpression(QStringLiteral("\\{[A-Z_:]+\\}")))) << "no placeholder left";

    EXPECT_TRUE(body.contains("id=\"settings-announcement-flags\""));
    EXPECT_FALSE(body.contains("id=\"settings-themes\"")) << "themes are not switched at run time";

    body = page(QStringLiteral("settings&isZOZ"));
    EXPECT_EQ(body.count("<dt>"), 16 + 3);
    EXPECT_TRUE(body.contains("<dt><div class='button'>Ctrl</div> + <div class='button'>Q</div></dt>"));

    // Switching themes allowed, but no theme to offer: an empty choice.
    settings->storeConfigOption(QStringLiteral("THEMES_RUNTIME"), 1, false);
    body = page(QStringLiteral("settings"));
    EXPECT_TRUE(body.contains("id=\"settings-themes\""));
    EXPECT_TRUE(body.contains("data-command=\"switchTheme\" data-current=\"0\">\n        </select>"));

    host.theme = 3;
    web->pages->setAudioControl(nullptr);
    body = page(QStringLiteral("settings"));
    EXPECT_EQ(body.count("<dt>"), 0) << "this theme has no hotkeys";
    EXPECT_FALSE(body.contains("id=\"settings-device\""));
}

TEST_F(AjaxSettingsTest, FrontEndCopyrightAndInfoPages)
{
    QByteArray body = page(QStringLiteral("frontend=PRESETS"));
    EXPECT_TRUE(body.contains("data-category=\"PRESETS\""));
    EXPECT_TRUE(body.contains("<h1>Frontend Configuration</h1>"));
    EXPECT_TRUE(body.contains("Swap I &amp; Q") || body.contains("Swap I & Q"));
    body = page(QStringLiteral("frontend=") + pageEncoded(QStringLiteral("<script>")));
    EXPECT_FALSE(body.contains("<script>"));

    body = page(QStringLiteral("copyright"));
    EXPECT_TRUE(body.contains("ZOZ Test Player v"));
    EXPECT_TRUE(body.contains("Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler"));
    EXPECT_TRUE(body.contains("Copyright (C) 2016-2022 The Qt Company Ltd."));
    EXPECT_TRUE(body.contains("GNU Lesser General Public License\nversion 3"));
    EXPECT_TRUE(body.contains("Copyright (C) 1998-2022 Jaroslav Kysela"));
    EXPECT_TRUE(body.contains("Copyright (C) 2026 the ZOZ makers."));
    // Exactly the components the program is built from: no test framework.
    EXPECT_EQ(body.count("<details class=\"licence\""), 4);
    EXPECT_FALSE(body.contains("GoogleTest"));
    EXPECT_FALSE(body.contains("<!--"));

    body = page(QStringLiteral("info&isZOZ"));
    EXPECT_TRUE(body.contains("<th scope=\"row\">Build&nbsp;Platform</th>"));
    EXPECT_TRUE(body.contains("<th scope=\"row\">Version</th>"));
    EXPECT_TRUE(body.contains("2026-06-21 10:00:00"));
    EXPECT_TRUE(body.contains("Log Path")) << "the fixture writes a log";
    EXPECT_EQ(body.count("<th scope=\"row\">"), 7 + 3);
}
