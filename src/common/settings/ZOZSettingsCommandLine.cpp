#include "settings/ZOZSettings.h"

#include "settings/ZOZCommandLine.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>

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

void Settings::addHelpEntry(std::initializer_list<const char *> variants, const QString &text)
{
    HelpEntry entry;
    for (const char *variant : variants)
        entry.variants.append(QLatin1String(variant));
    entry.text = text;
    QMutexLocker locker(&m_valueMutex);
    m_helpEntries.append(entry);
}

bool Settings::parseCommandLine(const QStringList &arguments)
{
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseCommandLine()"));
    CommandLine commandLine(arguments);
    {
        QMutexLocker locker(&m_valueMutex);
        m_helpEntries.clear();
    }
    QString value;

    addHelpEntry({"-cfg FILENAME"}, QStringLiteral("specifies config filename"));
    if (commandLine.parseString("-cfg", value))
        setConfigFileName(value);
    parseConfigFile(ConfigPass::Initial);

    addHelpEntry({"-h", "--help", "/?"}, QStringLiteral("show this usage information"));
    if (!isHelpWanted() && takeAnyFlag(commandLine, {"--help", "-h", "/?"}))
        put(m_helpWanted, true);

    addHelpEntry({"-value", "--version", "/value"}, QStringLiteral("show version and build date"));
    if (!isVersionWanted() && takeAnyFlag(commandLine, {"--version", "-value", "/value"}))
        put(m_versionWanted, true);

    addHelpEntry({"-l", "--language LANG"},
                 QStringLiteral("set initial language at startup, overriding previously preferred language LANG=[%1] "
                                "(default: none - will use system locale to determine at first startup)")
                     .arg(availableLanguages().join(QLatin1Char('|'))));
    if (takeAnyString(commandLine, {"--language", "-l"}, value))
        setInitialLanguage(value);
    setInitialLanguage(matchLanguage(initialLanguage()));

    QString tag;
    while (commandLine.parseString2("-o", tag, value)) {
        const int newValue = configOptionValueFor(value);
        for (const int old : storeConfigOption(tag, newValue, false)) {
            ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseCommandLine() -> found configOption tag: '%1' value: %2 -> %3")
                                 .arg(tag)
                                 .arg(old)
                                 .arg(newValue));
        }
    }

    addHelpEntry({"-cp", "--cache-path DIR"}, QStringLiteral("override default cache directory"));
    if (takeAnyString(commandLine, {"--cache-path", "-cp"}, value))
        setCachePath(value);

    addHelpEntry({"-wt", "--window-title STRING"}, QStringLiteral("override default window title"));
    if (takeAnyString(commandLine, {"--window-title", "-wt"}, value))
        setWindowTitle(value);

    addHelpEntry({"-ut", "--ui-title STRING"},
                 QStringLiteral("set a title that will be displayed at the top of the UI on the service selection page"));
    if (takeAnyString(commandLine, {"--ui-title", "-ut"}, value))
        setUiTitle(value);

    addHelpEntry({"-ad"}, QStringLiteral("specifies an allowed domain for HTML5 PostMessage API"));
    while (commandLine.parseString("-ad", value)) {
        const QString domain = value.trimmed();
        QMutexLocker locker(&m_valueMutex);
        if (!domain.isEmpty() && !m_allowedDomains.contains(domain))
            m_allowedDomains.append(domain);
    }

    addHelpEntry({"-sr", "--style-root DIR"}, QStringLiteral("specifies style directory"));
    while (takeAnyString(commandLine, {"--style-root", "-sr"}, value))
        setStyleRootPath(value);

    while (takeAnyString(commandLine, {"--theme", "-t"}, value)) {
        if (!value.isEmpty())
            switchTheme(value);
    }

    addHelpEntry({"-npc", "--no-physical-cache"},
                 QStringLiteral("will disable the physical cache of the app (therefore disable offline cache for "
                                "service components)"));
    if (hasPhysicalCache()) {
        if (takeAnyFlag(commandLine, {"--no-physical-cache", "-npc"}))
            put(m_hasPhysicalCache, false);
    } else {
        commandLine.hasFlag("--no-physical-cache");
        commandLine.hasFlag("-npc");
    }

    addHelpEntry({"-fs", "--fullscreen"},
                 QStringLiteral("the window will be started in fullscreen mode (ignores borderless and fixed-geometry)"));
    if (!isFullscreen() && takeAnyFlag(commandLine, {"--fullscreen", "-fs"}))
        setIsFullscreen(true);

    addHelpEntry({"-bl", "--borderless"}, QStringLiteral("the window will be borderless"));
    if (!isBorderless() && takeAnyFlag(commandLine, {"--borderless", "-bl"}))
        setIsBorderless(true);

    addHelpEntry({"-fg", "--fixed-geometry"},
                 QStringLiteral("the window will be set to given geometry position and size, parameters:\n\n"
                                "             X Y WIDTH HEIGHT\n   e.g: '-fg 0 0  1600   1024'"));
    int x = 0, y = 0, width = 0, height = 0;
    if (commandLine.parseInt4("--fixed-geometry", x, y, width, height)
        || commandLine.parseInt4("-fg", x, y, width, height))
        setFixedGeometry(QRect(x, y, width, height));

    addHelpEntry({"-ffem"}, QStringLiteral("force frontend/live mode"));
    if (!forceFrontEndMode() && commandLine.hasFlag("-ffem"))
        setForceFrontEndMode(true);

    addHelpEntry({"-fev"}, QStringLiteral("verbose mode for the frontend"));
    if (!feVerbose() && commandLine.hasFlag("-fev"))
        setFeVerbose(true);

    addHelpEntry({"-feuc"}, QStringLiteral("activate UDP commands for live input over DCP instead of direct tuner "
                                           "access for the frontend"));
    if (!feUdpCommands() && commandLine.hasFlag("-feuc"))
        setFeUdpCommands(true);

    addHelpEntry({"-fem", "--feMode MODE"},
                 QStringLiteral("the frontend mode to run in. Possible values:\n   am, fm, dab, drm-am, drm-fm"));
    if (takeAnyString(commandLine, {"-fem", "--feMode"}, value))
        setFrontEndMode(frontEndModeFor(value));

    addHelpEntry({"-hp", "--http-port"},
                 QStringLiteral("the port to open the local HTTP server on (default: random[30000;60000])"));
    int port = -1;
    bool portRefused = false;
    if (commandLine.parseInt("--http-port", port) || commandLine.parseInt("-hp", port)) {
        // A port beyond 16 bits would be cut to another port by the server.
        if (port < -1 || port > MaxPort)
            portRefused = true;
        else
            put(m_httpPort, port);
    }
    {
        QMutexLocker locker(&m_valueMutex);
        m_httpRootUrl = QStringLiteral("http://127.0.0.1:%1").arg(m_httpPort);
    }

    addHelpEntry({"--sls-disable-alternative-images"}, QStringLiteral("disable download of alternative SlideShow images"));
    if (commandLine.hasFlag("--sls-disable-alternative-images"))
        put(m_slsAltImages, false);

    put(m_commandLineParsed, true);
    ZOZ_LOG(LogNotice, QStringLiteral("Settings:\n%1").arg(dump()));

    QString report;
    const bool failed = !commandLine.isValid() || portRefused;
    if (failed)
        report += QStringLiteral("<b>errors while parsing command line arguments</b><br/>");
    if (commandLine.count() > 1) {
        report += QStringLiteral("<b>found unknown arguments:</b><br/><br/>");
        QString unknown;
        while (commandLine.takeFirst(unknown))
            report += QStringLiteral("unknown argument: %1<br/>").arg(unknown);
    }
    if (report.isEmpty())
        return true;
    ZOZ_LOG(LogSource::Settings | LogFlag::MessageBox | (failed ? LogFlag::Error : 0u), report);
    return !failed;
}

} // namespace ZOZ
