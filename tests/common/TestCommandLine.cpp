#include "SettingsFixture.h"

#include "settings/ZOZCommandLine.h"

#include <functional>

using namespace ZOZ;

namespace {

QStringList arguments(std::initializer_list<const char *> entries)
{
    QStringList list{QStringLiteral("/usr/bin/zoz")};
    for (const char *entry : entries)
        list.append(QString::fromUtf8(entry));
    return list;
}

class CommandLineTest : public ZOZTest::SettingsFixture
{
};

} // namespace

TEST(CommandLine, FindAndConsume)
{
    CommandLine empty(arguments({}));
    QString a, b;
    int i = 7, j = 0, k = 0, l = 0;
    EXPECT_FALSE(empty.hasFlag("-h"));
    EXPECT_FALSE(empty.parseString("-l", a));
    EXPECT_FALSE(empty.parseInt("-hp", i));
    EXPECT_FALSE(empty.takeFirst(a));
    EXPECT_EQ(empty.count(), 1);

    CommandLine last(arguments({"-H", "--http-port"}));
    EXPECT_FALSE(last.parseInt("--http-port", i));
    EXPECT_FALSE(last.hasFlag("-h"));
    EXPECT_EQ(last.count(), 3);
    EXPECT_TRUE(last.isValid());
    EXPECT_EQ(i, 7);

    CommandLine twice(arguments({"--http-port", "abc", "--http-port", "8080", "-o", "A", "1", "-o", "B", "2"}));
    EXPECT_TRUE(twice.parseInt("--http-port", i));
    EXPECT_EQ(i, 8080);
    EXPECT_FALSE(twice.isValid());
    EXPECT_TRUE(twice.parseString2("-o", a, b));
    EXPECT_EQ(a + b, QStringLiteral("A1"));
    EXPECT_EQ(twice.remaining(), arguments({"--http-port", "abc", "-o", "B", "2"}));
    EXPECT_TRUE(twice.takeFirst(a));
    EXPECT_EQ(a, QStringLiteral("--http-port"));

    CommandLine geometry(arguments({"-fg", "0", "0", "800", "x"}));
    EXPECT_FALSE(geometry.parseInt4("-fg", i, j, k, l));
    EXPECT_EQ(QList<int>({i, j, k, l}), QList<int>({0, 0, 800, 0}));
    EXPECT_EQ(geometry.count(), 6);
    EXPECT_FALSE(geometry.isValid());

    // A value that looks like an option is taken as the value.
    CommandLine flagValue(arguments({"-l", "-h"}));
    EXPECT_TRUE(flagValue.parseString("-l", a));
    EXPECT_EQ(a, QStringLiteral("-h"));
    EXPECT_FALSE(flagValue.hasFlag("-h"));
}

TEST_F(CommandLineTest, OptionTable)
{
    struct Case
    {
        const char *name;
        QStringList arguments;
        bool result;
        std::function<void(const Settings &)> check;
        const char *logged;
    };
    const Case cases[] = {
        {"no options", arguments({}), true,
         [](const Settings &s) { EXPECT_EQ(s.httpRootUrl(), QStringLiteral("http://127.0.0.1:-1")); }, nullptr},
        {"language upper case", arguments({"-l", "DE"}), true,
         [](const Settings &s) { EXPECT_EQ(s.initialLanguage(), QStringLiteral("de")); }, nullptr},
        {"language with region", arguments({"--language", "zh_cn"}), true,
         [](const Settings &s) { EXPECT_EQ(s.initialLanguage(), QStringLiteral("zh_CN")); }, nullptr},
        {"unknown language", arguments({"-l", "xx"}), true,
         [](const Settings &s) { EXPECT_EQ(s.initialLanguage(), QString()); }, nullptr},
        {"config options", arguments({"-o", "SETTINGS", "off", "-o", "SHOW_QUIT", "2", "-o", "NOPE", "1", "-o", "THEMES_RUNTIME", "ON"}), true,
         [](const Settings &s) {
             EXPECT_EQ(s.configOptionValue(Settings::OptionSettings), 0);
             EXPECT_EQ(s.configOptionValue(Settings::OptionShowQuit), 2);
             EXPECT_EQ(s.configOptionValue(Settings::OptionThemesRuntime), 1);
         },
         "found configOption tag: 'SHOW_QUIT' value: 1 -> 2"},
        {"hex port refused", arguments({"--http-port", "0x10"}), false,
         [](const Settings &s) { EXPECT_EQ(s.httpPort(), -1); },
         "errors while parsing command line arguments"},
        {"port beyond 16 bits refused", arguments({"-hp", "70000"}), false,
         [](const Settings &s) { EXPECT_EQ(s.httpPort(), -1); }, "errors while parsing command line arguments"},
        {"port", arguments({"-hp", "8080"}), true,
         [](const Settings &s) { EXPECT_EQ(s.httpRootUrl(), QStringLiteral("http://127.0.0.1:8080")); }, nullptr},
        {"unknown argument", arguments({"-x"}), true, [](const Settings &) {}, "unknown argument: -x<br/>"},
        {"cache path twice", arguments({"--cache-path", "/tmp/zoz-a", "--cache-path", "/tmp/zoz-b"}), true,
         [](const Settings &s) { EXPECT_EQ(s.cachePath(), QStringLiteral("/tmp/zoz-a/")); },
         "unknown argument: --cache-path<br/>unknown argument: /tmp/zoz-b<br/>"},
        {"config file name without value", arguments({"-cfg"}), true,
         [](const Settings &s) { EXPECT_EQ(s.configFileName(), QStringLiteral("zoz.cfg")); }, "unknown argument: -cfg"},
        {"allowed domains", arguments({"-ad", " a.example ", "-ad", "a.example", "-ad", "  ", "-ad", "b.example"}), true,
         [](const Settings &s) { EXPECT_EQ(s.allowedDomains(), QStringList({"a.example", "b.example"})); }, nullptr},
        {"style root, last wins", arguments({"-sr", "one", "--style-root", "two"}), true,
         [](const Settings &s) { EXPECT_EQ(s.styleRoot(), QStringLiteral("one/")); }, nullptr},
        {"flags and geometry", arguments({"-fs", "--borderless", "-fg", "1", "2", "300", "400", "-npc", "-fev", "-feuc", "-ffem"}), true,
         [](const Settings &s) {
             EXPECT_TRUE(s.isFullscreen());
             EXPECT_TRUE(s.isBorderless());
             EXPECT_EQ(s.fixedGeometry(), QRect(1, 2, 300, 400));
             EXPECT_FALSE(s.hasPhysicalCache());
             EXPECT_TRUE(s.feVerbose() && s.feUdpCommands() && s.forceFrontEndMode());
         },
         nullptr},
        {"help and version", arguments({"/?", "--version"}), true,
         [](const Settings &s) { EXPECT_TRUE(s.isHelpWanted() && s.isVersionWanted()); }, nullptr},
        {"theme", arguments({"--theme", "DARK", "-t", ""}), true,
         [](const Settings &s) { EXPECT_EQ(s.theme(), QStringLiteral("_themes/DARK/")); }, nullptr},
        {"theme outside its folder", arguments({"--theme", "../x"}), true,
         [](const Settings &s) { EXPECT_EQ(s.theme(), QString()); }, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Settings::destroy();
        settings = Settings::create();
        settings->setHasGraphicalUI(false);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(settings->parseCommandLine(c.arguments), c.result);
        ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(settings->isCommandLineParsed());
        c.check(*settings);
        if (c.logged) {
            EXPECT_TRUE(logText().contains(QLatin1String(c.logged))) << c.logged;
        }
    }
    EXPECT_TRUE(logText().contains(QStringLiteral("Settings:\n - initialLanguage     : none\r\n")));
}

TEST_F(CommandLineTest, HelpFromTheConfigFileLeavesTheFlagUnknown)
{
    writeConfig("<zoz><help/></zoz>");
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(settings->parseCommandLine(arguments({"-h"})));
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(settings->isHelpWanted());
    EXPECT_TRUE(logText().contains(QStringLiteral("unknown argument: -h<br/>")));
}

TEST_F(CommandLineTest, FrontEndModeNames)
{
    const std::pair<const char *, int> names[] = {
        {"am", 1}, {"FM", 2}, {"DABplus", 3}, {"drm", 0}, {"drm-am", 4}, {"DRM30", 4}, {"drm-fm", 5}, {"drmplus", 5}, {"", 0},
    };
    for (const auto &[name, mode] : names)
        EXPECT_EQ(Settings::frontEndModeFor(QString::fromLatin1(name)), mode) << name;
}

TEST_F(CommandLineTest, HelpTextLayout)
{
    ::testing::internal::CaptureStdout();
    settings->parseCommandLine(arguments({}));
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    settings->showHelp();
    const QString out = QString::fromStdString(::testing::internal::GetCapturedStdout());

    EXPECT_TRUE(out.startsWith(settings->versionText()));
    EXPECT_TRUE(out.contains(QStringLiteral("\nAvailable options: (SYNTAX: OPTION PARAM1 PARAM2 .. PARAMN)\n\n")));
    EXPECT_TRUE(out.contains(QStringLiteral("\n -h | --help | /?                  show this usage information\n\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\n -l | --language LANG              set initial language at startup, overriding\n"
                                            "                                   previously preferred language\n"
                                            "                                   LANG=[de|en|zh_CN] (default: none - will use\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("'log.it'")));
    for (const QString &line : out.section(QStringLiteral("Available options"), 1).split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

TEST(HelpWrapping, Chunks)
{
    struct Case
    {
        const char *text;
        int width;
        const char *chunk;
        const char *rest;
    };
    const Case cases[] = {
        {"short", 10, "short", ""},
        {"abcde fgh", 5, "abcde", "fgh"},
        {"ab cdefgh ij", 5, "ab", "cdefgh ij"},
        {"abcdefgh ij", 5, "abcde", "fgh ij"},
        {" abcdefgh", 5, " abcd", "efgh"},
        {"ab\ncdefg", 4, "ab", "cdefg"},
    };
    for (const Case &c : cases) {
        QString rest = QString::fromLatin1(c.text);
        EXPECT_EQ(Settings::appendWrapped(rest, c.width, false), QLatin1String(c.chunk)) << c.text;
        EXPECT_EQ(rest, QLatin1String(c.rest)) << c.text;
    }
    QString rest = QStringLiteral("abc   \t def");
    EXPECT_EQ(Settings::appendWrapped(rest, 3, true), QStringLiteral("abc"));
    EXPECT_EQ(rest, QStringLiteral("def"));
}

TEST_F(CommandLineTest, DumpVersionAndFeatures)
{
    settings->setHttpPort(8080);
    settings->setAutoServiceId(0xE01234, true);
    const QString dump = settings->dump();
    EXPECT_TRUE(dump.contains(QStringLiteral(" - http-port           : 8080\r\n"))) << dump.toStdString();
    EXPECT_TRUE(dump.contains(QStringLiteral(" - showTemplateInstr.  : false\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" - theme               : default\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" - autoServiceId       : 0xe01234:0xe01234 (fixed)\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" - config options      : settings show_http_config service_logos show_quit \r\n")));
    settings->setHttpPort(-1);
    EXPECT_TRUE(settings->dump().contains(QStringLiteral(" - http-port           : random\r\n")));

    EXPECT_EQ(settings->featureList().size(), 5);
    settings->setHasGraphicalUI(true);
    EXPECT_EQ(settings->featureList().size(), 6);
    EXPECT_EQ(settings->featuresText().count(QLatin1Char(',')), 5);
    settings->setHasGraphicalUI(false);

    ::testing::internal::CaptureStdout();
    settings->showVersion();
    const QString out = QString::fromStdString(::testing::internal::GetCapturedStdout());
    EXPECT_EQ(out, settings->versionText() + QLatin1Char('\n'));
    EXPECT_TRUE(out.contains(QStringLiteral("\n\nLinked Libs:\n  Radarovaz                      : ")));

    QStringList announcements;
    for (const Settings::Announcement &announcement : settings->announcements())
        announcements << QStringLiteral("%1:%2").arg(announcement.type).arg(announcement.mask);
    EXPECT_EQ(announcements, QStringList({"DAB:4294967295", "DABapps:4294967295", "DRM:4294967295",
                                          "DRMapps:4294967295", "Epilog:1"}));
}

TEST_F(CommandLineTest, CommandLineWinsOverTheConfigFile)
{
    const QString path = writeConfig("<zoz><uiTitle>file</uiTitle><option name='SHOW_QUIT' value='OFF'/>"
                                     "<styleroot>from-file</styleroot><feVerbose/></zoz>",
                                     0, QStringLiteral("other.cfg"));
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(settings->parseCommandLine(arguments({"-ut", "command line", "-cfg", path.toUtf8().constData(), "-o",
                                                      "SHOW_QUIT", "ON", "-fev"})));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(settings->configFileName(), path);
    EXPECT_EQ(settings->uiTitle(), QStringLiteral("command line"));
    EXPECT_EQ(settings->configOptionValue(Settings::OptionShowQuit), 1);
    EXPECT_EQ(settings->styleRoot(), QStringLiteral("from-file/"));
    EXPECT_TRUE(settings->feVerbose());
    // The flag was on already, so "-fev" is left over.
    EXPECT_TRUE(logText().contains(QStringLiteral("unknown argument: -fev<br/>")));
}
