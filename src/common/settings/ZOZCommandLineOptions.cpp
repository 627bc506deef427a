#include "settings/ZOZCommandLineOptions.h"

#include "settings/ZOZCommandLine.h"
#include "base/ZOZLog.h"

namespace ZOZ {

namespace {

constexpr quint32 LogInfo = LogSource::Settings;
constexpr quint32 LogNotice = LogSource::Settings | LogFlag::Notice;

constexpr int MaxPort = 65535;

// Looks for the variants in order and stops at the first one found.
bool takeAnyFlag(CommandLine &commandLine, std::initializer_list<const char *> variants)
{
    for (const char *variant : variants) {
        if (commandLine.hasFlag(variant))
            return true;
    }
    return false;
}

bool takeAnyString(CommandLine &commandLine, std::initializer_list<const char *> variants, QString &value)
{
    for (const char *variant : variants) {
        if (commandLine.parseString(variant, value))
            return true;
    }
    return false;
}

} // namespace

CommandLineOptions::CommandLineOptions(Settings &settings)
    : m_settings(settings)
{
}

void CommandLineOptions::addHelp(std::initializer_list<const char *> variants, const QString &text)
{
    Settings::HelpEntry entry;
    for (const char *variant : variants)
        entry.variants.append(QLatin1String(variant));
    entry.text = text;
    m_help.append(entry);
}

bool CommandLineOptions::apply(const QStringList &arguments)
{
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseCommandLine()"));
    CommandLine commandLine(arguments);
    m_help.clear();
    Settings &s = m_settings;
    QString value;

    addHelp({"-cfg FILENAME"}, QStringLiteral("specifies config filename"));
    if (commandLine.parseString("-cfg", value))
        s.setConfigFileName(value);
    s.parseConfigFile(Settings::ConfigPass::Initial);

    // Flags the configuration file switched on already are not looked for.
    const auto switchOn = [&](RuntimeFlag flag, std::initializer_list<const char *> variants) {
        if (!s.flag(flag) && takeAnyFlag(commandLine, variants))
            s.setFlag(flag, true);
    };

    addHelp({"-h", "--help", "/?"}, QStringLiteral("show this usage information"));
    switchOn(RuntimeFlag::HelpWanted, {"--help", "-h", "/?"});

    addHelp({"-value", "--version", "/value"}, QStringLiteral("show version and build date"));
    switchOn(RuntimeFlag::VersionWanted, {"--version", "-value", "/value"});

    addHelp({"-l", "--language LANG"},
            QStringLiteral("set initial language at startup, overriding previously preferred language LANG=[%1] "
                           "(default: none - will use system locale to determine at first startup)")
                .arg(Settings::availableLanguages().join(QLatin1Char('|'))));
    if (takeAnyString(commandLine, {"--language", "-l"}, value))
        s.setInitialLanguage(value);
    s.setInitialLanguage(Settings::matchLanguage(s.initialLanguage()));

    QString tag;
    while (commandLine.parseString2("-o", tag, value)) {
        const int newValue = Settings::configOptionValueFor(value);
        for (const int old : s.storeConfigOption(tag, newValue, false)) {
            ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseCommandLine() -> found configOption tag: '%1' value: %2 -> %3")
                                 .arg(tag)
                                 .arg(old)
                                 .arg(newValue));
        }
    }

    addHelp({"-cp", "--cache-path DIR"}, QStringLiteral("override default cache directory"));
    if (takeAnyString(commandLine, {"--cache-path", "-cp"}, value))
        s.setCachePath(value);

    addHelp({"-wt", "--window-title STRING"}, QStringLiteral("override default window title"));
    if (takeAnyString(commandLine, {"--window-title", "-wt"}, value))
        s.setWindowTitle(value);

    addHelp({"-ut", "--ui-title STRING"},
            QStringLiteral("set a title that will be displayed at the top of the UI on the service selection page"));
    if (takeAnyString(commandLine, {"--ui-title", "-ut"}, value))
        s.setUiTitle(value);

    addHelp({"-ad"}, QStringLiteral("specifies an allowed domain for HTML5 PostMessage API"));
    while (commandLine.parseString("-ad", value))
        s.addAllowedDomain(value);

    addHelp({"-sr", "--style-root DIR"}, QStringLiteral("specifies style directory"));
    while (takeAnyString(commandLine, {"--style-root", "-sr"}, value))
        s.setStyleRootPath(value);

    while (takeAnyString(commandLine, {"--theme", "-t"}, value)) {
        if (!value.isEmpty())
            s.switchTheme(value);
    }

    addHelp({"-npc", "--no-physical-cache"},
            QStringLiteral("will disable the physical cache of the app (therefore disable offline cache for "
                           "service components)"));
    if (s.hasPhysicalCache()) {
        if (takeAnyFlag(commandLine, {"--no-physical-cache", "-npc"}))
            s.setFlag(RuntimeFlag::HasPhysicalCache, false);
    } else {
        commandLine.hasFlag("--no-physical-cache");
        commandLine.hasFlag("-npc");
    }

    addHelp({"-fs", "--fullscreen"},
            QStringLiteral("the window will be started in fullscreen mode (ignores borderless and fixed-geometry)"));
    switchOn(RuntimeFlag::IsFullscreen, {"--fullscreen", "-fs"});

    addHelp({"-bl", "--borderless"}, QStringLiteral("the window will be borderless"));
    switchOn(RuntimeFlag::IsBorderless, {"--borderless", "-bl"});

    addHelp({"-fg", "--fixed-geometry"},
            QStringLiteral("the window will be set to given geometry position and size, parameters:\n\n"
                           "             X Y WIDTH HEIGHT\n   e.g: '-fg 0 0  1600   1024'"));
    int x = 0, y = 0, width = 0, height = 0;
    if (commandLine.parseInt4("--fixed-geometry", x, y, width, height)
        || commandLine.parseInt4("-fg", x, y, width, height))
        s.setFixedGeometry(QRect(x, y, width, height));

    addHelp({"-ffem"}, QStringLiteral("force frontend/live mode"));
    switchOn(RuntimeFlag::ForceFrontEndMode, {"-ffem"});

    addHelp({"-fev"}, QStringLiteral("verbose mode for the frontend"));
    switchOn(RuntimeFlag::FeVerbose, {"-fev"});

    addHelp({"-feuc"}, QStringLiteral("activate UDP commands for live input over DCP instead of direct tuner "
                                      "access for the frontend"));
    switchOn(RuntimeFlag::FeUdpCommands, {"-feuc"});

    addHelp({"-fem", "--feMode MODE"},
            QStringLiteral("the frontend mode to run in. Possible values:\n   am, fm, dab, drm-am, drm-fm"));
    if (takeAnyString(commandLine, {"-fem", "--feMode"}, value))
        s.setFrontEndMode(Settings::frontEndModeFor(value));

    addHelp({"-hp", "--http-port"},
            QStringLiteral("the port to open the local HTTP server on (default: random[30000;60000])"));
    int port = -1;
    bool portRefused = false;
    if (commandLine.parseInt("--http-port", port) || commandLine.parseInt("-hp", port)) {
        // A port beyond 16 bits would be cut to another port by the server.
        if (port < -1 || port > MaxPort)
            portRefused = true;
        else
            s.setHttpPort(port);
    }
    s.updateHttpRootUrl();

    addHelp({"--sls-disable-alternative-images"}, QStringLiteral("disable download of alternative SlideShow images"));
    if (commandLine.hasFlag("--sls-disable-alternative-images"))
        s.overrideForThisRun(Setting::SlsAltImages, false);

    s.setHelpEntries(m_help);
    s.setFlag(RuntimeFlag::CommandLineParsed, true);
    ZOZ_LOG(LogNotice, QStringLiteral("Settings:\n%1").arg(s.dump()));
    return report(commandLine, portRefused);
}

bool CommandLineOptions::report(CommandLine &commandLine, bool portRefused)
{
    QString text;
    const bool failed = !commandLine.isValid() || portRefused;
    if (failed)
        text += QStringLiteral("<b>errors while parsing command line arguments</b><br/>");
    if (commandLine.count() > 1) {
        text += QStringLiteral("<b>found unknown arguments:</b><br/><br/>");
        QString unknown;
        while (commandLine.takeFirst(unknown))
            text += QStringLiteral("unknown argument: %1<br/>").arg(unknown);
    }
    if (text.isEmpty())
        return true;
    ZOZ_LOG(LogSource::Settings | LogFlag::MessageBox | (failed ? LogFlag::Error : 0u), text);
    return !failed;
}

} // namespace ZOZ
