#include "SettingsFixture.h"

#include "web/ZOZResourcePath.h"

using namespace ZOZ;

namespace {

struct RecordingListener : Settings::Listener
{
    void settingChanged(const QVector<int> &changes) override { calls.append(changes); }
    QVector<QVector<int>> calls;
};

class ConfigFileTest : public ZOZTest::SettingsFixture
{
protected:
    bool parseInitial(const QByteArray &content)
    {
        writeConfig(content, ++m_stamp);
        return settings->parseConfigFile(Settings::ConfigPass::Initial);
    }

private:
    int m_stamp = 0;
};

QList<int> frequencies(const QList<Settings::FrontEndFrequency> &list)
{
    QList<int> result;
    for (const Settings::FrontEndFrequency &entry : list)
        result.append(entry.frequency);
    return result;
}

} // namespace

TEST_F(ConfigFileTest, OnlyAZozRootIsRead)
{
    EXPECT_FALSE(parseInitial("<config><uiTitle>x</uiTitle></config>"));
    EXPECT_EQ(settings->uiTitle(), QString());
    EXPECT_FALSE(parseInitial("<zoz><uiTitle>x</uiTitle>"));
    EXPECT_TRUE(logText().contains(QStringLiteral("could not parse XML doc structure")));
    EXPECT_EQ(settings->uiTitle(), QString());
    EXPECT_TRUE(parseInitial("<zoz><!-- c -->text<unknown/><uiTitle>x</uiTitle></zoz>"));
    EXPECT_EQ(settings->uiTitle(), QStringLiteral("x"));
}

TEST_F(ConfigFileTest, MissingFileIsNoError)
{
    settings->setConfigFileName(QStringLiteral("nowhere/zoz.cfg"));
    EXPECT_FALSE(settings->parseConfigFile(Settings::ConfigPass::Initial));
    EXPECT_EQ(settings->configFileName(), QStringLiteral("nowhere/zoz.cfg"));
}

TEST_F(ConfigFileTest, ElementsApplyTheirSettings)
{
    ASSERT_TRUE(parseInitial(
        "<zoz>"
        "<language>DE</language><cachePath></cachePath><windowTitle>Title</windowTitle>"
        "<serverPort>0x10</serverPort><serverPort>70000</serverPort><serverPort>8080</serverPort>"
        "<httpDefaultRefreshTime>abc</httpDefaultRefreshTime><httpDefaultRefreshTime>2500</httpDefaultRefreshTime>"
        "<httpNoTemplateCache>on</httpNoTemplateCache><httpShowTemplateInstructions>yes</httpShowTemplateInstructions>"
        "<httpNoFileMinimize>On</httpNoFileMinimize>"
        "<styleroot>web\\root</styleroot><theme>DARK</theme><noPhysicalCache/><feVerbose/>"
        "<option name='SHOW_QUIT' value='OFF'/><option name='SETTINGS'/>"
        "<remoteAccessPassword>  s3cret-pass  </remoteAccessPassword>"
        "<version/><slsDisableAlternativeImages/>"
        "</zoz>"));
    EXPECT_EQ(settings->initialLanguage(), QStringLiteral("de"));
    EXPECT_EQ(settings->windowTitle(), QStringLiteral("Title"));
    EXPECT_EQ(settings->httpPort(), 8080);
    EXPECT_EQ(settings->httpRootUrl(), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_EQ(settings->httpRefreshTime(), 2500);
    EXPECT_TRUE(settings->noTemplateCache());
    EXPECT_FALSE(settings->showTemplateInstructions());
    EXPECT_TRUE(settings->noFileMinimize());
    EXPECT_EQ(settings->styleRoot(), QStringLiteral("web/root/"));
    EXPECT_EQ(settings->theme(), QStringLiteral("_themes/DARK/"));
    EXPECT_FALSE(settings->hasPhysicalCache());
    EXPECT_TRUE(settings->feVerbose());
    EXPECT_EQ(settings->configOptionValue(Settings::OptionShowQuit), 0);
    EXPECT_EQ(settings->configOptionValue(Settings::OptionSettings), 1);
    EXPECT_EQ(settings->remoteAccessPassword(), QStringLiteral("s3cret-pass"));
    EXPECT_TRUE(settings->isVersionWanted());
    EXPECT_FALSE(settings->slsHasAltImages());
    EXPECT_EQ(settings->changeSet(), QVector<int>({Settings::LanguageChanged, Settings::HttpPortChanged,
                                                   Settings::ConfigOptionChanged}));

    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("warning: found empty cachePath tag")));
    EXPECT_EQ(log.count(QStringLiteral("warning: found faulty serverPort tag")), 2);
    EXPECT_TRUE(log.contains(QStringLiteral("warning: found faulty httpDefaultRefreshTime tag")));
    EXPECT_TRUE(log.contains(QStringLiteral("config changed: 'SHOW_QUIT' value: 1 -> 0")));
    EXPECT_TRUE(log.contains(QStringLiteral("found theme tag, using (theme: 'DARK')")));
    EXPECT_FALSE(log.contains(QStringLiteral("s3cret-pass")));
}

TEST_F(ConfigFileTest, ScanFrequenciesAndEntryLists)
{
    ASSERT_TRUE(parseInitial(
        "<zoz><scanFrequencies><dab>"
        "<frequency label='12C' frequencyOrId='227360'/><frequency frequencyOrId='abc'/><frequency frequencyOrId='5c'/>"
        "<frequency frequencyOrId='7A'/>"
        "<frequency label='none'/><frequency frequencyOrId='-5'/><other frequencyOrId='1'/>"
        "<frequency frequencyOrId='227360'/>"
        "</dab><dab><frequency frequencyOrId='1'/></dab></scanFrequencies>"
        "<feEntryList>"
        "<dab><frequency label='a' value='178352'/><frequency label='a' value='178352'/><frequency value='x'/>"
        "<file label='f' value='rec\\a.eti'/><file value='/abs.eti'/><file value='C:/d.eti'/><file value='../up.eti'/></dab>"
        "<all><frequency label='a' value='178352'/></all>"
        "</feEntryList></zoz>"));
    const QList<Settings::FrontEndFrequency> scan = settings->scanFrequencies();
    // Labels resolve through the channel grids, the first grid that has one wins.
    EXPECT_EQ(frequencies(scan), QList<int>({227360, 178352, 188928, 227360}));
    EXPECT_EQ(scan.first().label, QStringLiteral("12C"));
    EXPECT_EQ(scan.first().mode, Settings::ModeDab);

    const QList<Settings::FrontEndFrequency> entries = settings->frontEndFrequencies();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0).mode, Settings::ModeDab);
    EXPECT_EQ(entries.at(1).mode, Settings::ModeNone);
    QStringList paths;
    for (const Settings::FrontEndFile &file : settings->frontEndFiles())
        paths.append(file.path);
    EXPECT_EQ(paths, QStringList({"./rec/a.eti", "/abs.eti", "C:/d.eti", "../up.eti"}));
}

TEST_F(ConfigFileTest, ReparseOnChangeKeepsWhatTheFileCannotGiveBack)
{
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(settings->parseCommandLine({QStringLiteral("zoz"), QStringLiteral("-ad"), QStringLiteral("a.example")}));
    ::testing::internal::GetCapturedStdout();
    writeConfig("<zoz><option name='SHOW_QUIT' value='OFF'/><serverPort>9000</serverPort>"
                "<scanFrequencies><dab><frequency frequencyOrId='227360'/></dab></scanFrequencies>"
                "<feEntryList><all><frequency value='1'/></all></feEntryList></zoz>",
                1);
    RecordingListener listener;
    settings->addListener(&listener);

    // First reload: the file is new to the settings.
    EXPECT_TRUE(settings->reload());
    ASSERT_EQ(listener.calls.size(), 1);
    EXPECT_EQ(listener.calls.at(0), QVector<int>({Settings::ConfigOptionChanged, Settings::HttpPortChanged}));
    EXPECT_FALSE(settings->reload());

    // Touched, and the option written in another case: re-read, no option change.
    writeConfig("<zoz><option name='SHOW_QUIT' value='off'/><serverPort>9000</serverPort>"
                "<windowTitle>late</windowTitle><noPhysicalCache/>"
                "<scanFrequencies><dab><frequency frequencyOrId='227360'/></dab></scanFrequencies>"
                "<feEntryList><all><frequency value='2'/></all></feEntryList></zoz>",
                2);
    EXPECT_TRUE(settings->reload());
    ASSERT_EQ(listener.calls.size(), 2);
    EXPECT_EQ(listener.calls.at(1), QVector<int>({Settings::ConfigFileRead}));
    EXPECT_EQ(settings->configOptionValue(Settings::OptionShowQuit), 0);
    EXPECT_EQ(frequencies(settings->scanFrequencies()), QList<int>({227360}));
    EXPECT_EQ(frequencies(settings->frontEndFrequencies()), QList<int>({1, 2}));
    EXPECT_EQ(settings->allowedDomains(), QStringList({"a.example"}));
    EXPECT_NE(settings->windowTitle(), QStringLiteral("late"));
    EXPECT_TRUE(settings->hasPhysicalCache());

    // Gone: the scan list empties, nobody is told, until the file is back.
    QFile::remove(work.filePath(QStringLiteral("zoz.cfg")));
    EXPECT_FALSE(settings->reload());
    EXPECT_TRUE(settings->scanFrequencies().isEmpty());
    EXPECT_EQ(listener.calls.size(), 2);
    settings->removeListener(&listener);
}

TEST_F(ConfigFileTest, ServiceLogosFollowTheirOptionAndTheCacheFolder)
{
    settings->setCachePath(work.filePath(QStringLiteral("cache")));
    QDir().mkpath(work.filePath(QStringLiteral("cache/logos")));
    QFile logo(work.filePath(QStringLiteral("cache/logos/77.png")));
    ASSERT_TRUE(logo.open(QIODevice::WriteOnly));
    logo.close();
    EXPECT_TRUE(serviceLogoUrl(QStringLiteral("77")).startsWith(QStringLiteral("logos/77.png?lm=")));
    EXPECT_EQ(resolveResourcePath(settings->styleRoot(), settings->theme(), QStringLiteral("/logos/77.jpg")),
              work.filePath(QStringLiteral("cache/logos/77.png")));
    ASSERT_TRUE(parseInitial("<zoz><option name='SERVICE_LOGOS' value='OFF'/></zoz>"));
    EXPECT_EQ(serviceLogoUrl(QStringLiteral("77")), QString());
}
