#include "settings/ZOZSettings.h"

#include "base/ZOZLog.h"
#include "web/ZOZTemplateValue.h"
#include "base/ZOZVersion.h"

#include <QCoreApplication>

#include <cstdio>

namespace ZOZ {

namespace {

constexpr quint32 LogInfo = LogSource::Settings;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString dumpLine(const char *name, const QString &value)
{
    return QStringLiteral(" - %1: %2\r\n").arg(QLatin1String(name), -20).arg(value);
}

void printLine(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::function<void(const QString &)> &themeSwitcherHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

// A theme is a folder below the built-in themes folder: a plain name only.
bool isPlainFolderName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

} // namespace

QMap<int, Settings::ConfigOption> Settings::defaultConfigOptions()
{
    const auto description = [](const char *text) { return QCoreApplication::translate("ConfigOptions", text); };
    return {
        {OptionSettings, {1, QStringLiteral("SETTINGS"), description("Enable settings for the user interface")}},
        {OptionDeleteCookies,
         {0, QStringLiteral("DELETE_COOKIES"),
          description("Will automatically delete any cookies for active domain when localStorage functionality is "
                      "available in browser")}},
        {OptionThemesRuntime, {0, QStringLiteral("THEMES_RUNTIME"), description("Allow to switch themes at runtime")}},
        {OptionShowHttpConfig, {1, QStringLiteral("SHOW_HTTP_CONFIG"), description("Show HTTP port in settings info tab")}},
        {OptionServiceLogos, {1, QStringLiteral("SERVICE_LOGOS"), description("Show service logos or not")}},
        {OptionShowQuit, {1, QStringLiteral("SHOW_QUIT"), description("Show quit option in UI")}},
    };
}

QMap<int, Settings::ConfigOption> Settings::configOptions() const { return get(m_configOptions); }

int Settings::configOptionValue(int id) const
{
    QMutexLocker locker(&m_valueMutex);
    return m_configOptions.value(id).value;
}

QList<Settings::FrontEndFrequency> Settings::scanFrequencies() const { return get(m_scanFrequencies); }
bool Settings::hideHardCodedFrequencies() const { return get(m_hideHardCodedFrequencies); }
QList<Settings::FrontEndFrequency> Settings::frontEndFrequencies() const { return get(m_frontEndFrequencies); }
QList<Settings::FrontEndFile> Settings::frontEndFiles() const { return get(m_frontEndFiles); }
QStringList Settings::allowedDomains() const { return get(m_allowedDomains); }
bool Settings::isHelpWanted() const { return get(m_helpWanted); }
bool Settings::isVersionWanted() const { return get(m_versionWanted); }
bool Settings::isCommandLineParsed() const { return get(m_commandLineParsed); }
bool Settings::hasPhysicalCache() const { return get(m_hasPhysicalCache); }
QList<Settings::HelpEntry> Settings::helpEntries() const { return get(m_helpEntries); }

QStringList Settings::availableLanguages()
{
    return QStringLiteral("de;en;zh_CN").split(QLatin1Char(';'));
}

// Codes such as "zh_CN" are matched ignoring case, so that they can be chosen
// at all; the code is kept as the list writes it.
QString Settings::matchLanguage(const QString &code)
{
    for (const QString &available : availableLanguages()) {
        if (available.compare(code, Qt::CaseInsensitive) == 0)
            return available;
    }
    return QString();
}

int Settings::frontEndModeFor(const QString &name)
{
    const struct
    {
        const char *prefix;
        int mode;
    } prefixes[] = {
        {"am", ModeAm},        {"fm", ModeFm},          {"dab", ModeDab},        {"drm-am", ModeDrmAm},
        {"drm30", ModeDrmAm},  {"drm-fm", ModeDrmFm},   {"drmplus", ModeDrmFm},
    };
    for (const auto &entry : prefixes) {
        if (name.startsWith(QLatin1String(entry.prefix), Qt::CaseInsensitive))
            return entry.mode;
    }
    return ModeNone;
}

void Settings::setThemeSwitcher(std::function<void(const QString &)> switcher)
{
    themeSwitcherHook() = std::move(switcher);
}

void Settings::switchTheme(const QString &name)
{
    if (themeSwitcherHook()) {
        themeSwitcherHook()(name);
        return;
    }
    if (isPlainFolderName(name))
        setTheme(name);
}

QString Settings::themeName() const
{
    QString folder = theme();
    if (folder.isEmpty())
        return QStringLiteral("default");
    folder.remove(0, int(qstrlen("_themes/")));
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString Settings::dump() const
{
    QString text;
    text += dumpLine("initialLanguage", initialLanguage().isEmpty() ? QStringLiteral("none") : initialLanguage());
    text += dumpLine("homePath", homePath());
    text += dumpLine("archivesPath", archivesPath());
    text += dumpLine("cachePath", cachePath());
    text += dumpLine("styleRoot", styleRoot());
    text += dumpLine("theme", theme().isEmpty() ? QStringLiteral("default") : theme());
    text += dumpLine("configFileName", configFileName());
    QString options;
    for (const ConfigOption &option : configOptions()) {
        if (option.value != 0)
            options += option.tag.toLower() + QLatin1Char(' ');
    }
    text += dumpLine("config options", options);
    text += dumpLine("hasGraphicalUI", boolText(hasGraphicalUI()));
    text += dumpLine("hasRemoteService", boolText(hasRemoteService()));
    text += dumpLine("hasAudioService", boolText(hasAudioService()));
    text += dumpLine("hasAudioSystem", boolText(hasAudioSystem()));
    text += dumpLine("isFullscreen", boolText(isFullscreen()));
    text += dumpLine("isBorderless", boolText(isBorderless()));
    const QRect geometry = fixedGeometry();
    text += dumpLine("fixedGeometry", geometry.isValid() ? QStringLiteral("true (pos:%1,%2) (size:%3,%4)")
                                                               .arg(geometry.x())
                                                               .arg(geometry.y())
                                                               .arg(geometry.width())
                                                               .arg(geometry.height())
                                                         : QStringLiteral("false"));
    text += dumpLine("loopFiles", boolText(loopFiles()));
    text += dumpLine("clearServicesOnLoss",
                     clearServicesOnLoss() ? QStringLiteral("true, timeout: %1").arg(clearServicesTimeout())
                                           : QStringLiteral("false"));
    text += dumpLine("feVerbose", boolText(feVerbose()));
    text += dumpLine("forceFrontEndMode", boolText(forceFrontEndMode()));
    text += dumpLine("feUdpCommands", boolText(feUdpCommands()));
    text += dumpLine("feMode", frontEndModeName());
    text += dumpLine("feAGC", boolText(frontEndOption(OptionAgc) != 0));
    text += dumpLine("feGain", QString::number(frontEndOption(OptionGain)));
    text += dumpLine("feMixer", boolText(frontEndOption(OptionMixer) != 0));
    text += dumpLine("feLna", boolText(frontEndOption(OptionLna) != 0));
    text += dumpLine("feSwapIq", boolText(frontEndOption(OptionSwapIq) != 0));
    text += dumpLine("feFrequency", QString::number(frontEndFrequency()));
    text += dumpLine("feFileName", frontEndFileName());
    const QString serviceId = QString::number(autoServiceId(), 16);
    text += QStringLiteral(" - %1: 0x%2:0x%3%4\r\n")
                .arg(QLatin1String("autoServiceId"), -20)
                .arg(serviceId, serviceId, isAutoServiceFixed() ? QStringLiteral(" (fixed)") : QString());
    text += dumpLine("audioSingleDecode", boolText(audioSingleDecode()));
    text += dumpLine("noSurround", boolText(noSurround()));
    text += dumpLine("hasRawAudioOutput", boolText(hasRawAudioOutput()));
    text += dumpLine("hasWavAudioOutput", boolText(hasWavAudioOutput()));
    text += dumpLine("http-port", httpPort() == -1 ? QStringLiteral("random") : QString::number(httpPort()));
    text += dumpLine("noFileMinimize", boolText(noFileMinimize()));
    text += dumpLine("noTemplateCache", boolText(noTemplateCache()));
    text += dumpLine("showTemplateInstr.", boolText(showTemplateInstructions()));
    text += dumpLine("http-refresh-time", QString::number(httpRefreshTime()));
    text += dumpLine("http-root-url", httpRootUrl());
    return text;
}

QStringList Settings::featureList() const
{
    QStringList features{QStringLiteral("DAB (REVEV)"), QStringLiteral("Audio (Binaural)")};
    if (hasGraphicalUI())
        features.append(QStringLiteral("Gui"));
    features << QStringLiteral("Recording") << QStringLiteral("Data Decoding") << QStringLiteral("SPI");
    return features;
}

QString Settings::featuresText() const
{
    return QStringLiteral("DAB (REVEV), Audio (Binaural), Gui, Recording, Data Decoding, SPI");
}

QString Settings::versionText() const
{
    QString text = QStringLiteral("DAB Radarovaz - digital radio player for DAB and DAB+\n");
    text += QStringLiteral(" Version: %1 Date: %2 Rev: %3")
                .arg(QLatin1String(versionStringLong()), buildDateTime(), QLatin1String(buildNumber()));
    text += QStringLiteral("\n(c) The ZOZ developers");
    text += QStringLiteral("\n\nArchive: ") + QLatin1String(buildTag());
    text += QStringLiteral("\n\nFeatures: ") + featuresText();
    text += QStringLiteral("\n\nLinked Libs:\n");
    for (const VersionPair &library : versionReport())
        text += QStringLiteral("  %1 : %2\n").arg(library.name, -30).arg(library.version);
    text += QLatin1Char('\n');
    return text;
}

TemplateValue Settings::announcementsValue() const
{
    TemplateValue value(QStringLiteral("announcements"), TemplateValue::Map);
    for (const char *type : {"DAB", "DABapps", "DRM", "DRMapps", "Epilog"})
        value.append(TemplateValue(QString::fromLatin1(type), announcement(QString::fromLatin1(type))));
    return value;
}

QString Settings::appendWrapped(QString &remaining, int width, bool skipBlanksAfter)
{
    QString chunk;
    if (remaining.size() <= width) {
        chunk = remaining;
        remaining.clear();
        return chunk;
    }
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'); };
    qsizetype point = width;
    while (point < remaining.size() && !isBlank(remaining.at(point)))
        ++point;
    qsizetype cut = width;
    qsizetype skip = 0;
    if (point == width) {
        cut = width;
        skip = point < remaining.size() ? 1 : 0;
    } else {
        qsizetype blank = point - 1;
        while (blank > 0 && !isBlank(remaining.at(blank)))
            --blank;
        if (blank > 0) {
            cut = blank;
            skip = 1;
        }
    }
    chunk = remaining.left(cut);
    remaining.remove(0, cut + skip);
    if (skipBlanksAfter) {
        qsizetype blanks = 0;
        while (blanks < remaining.size()
               && (remaining.at(blanks) == QLatin1Char(' ') || remaining.at(blanks) == QLatin1Char('\t')))
            ++blanks;
        remaining.remove(0, blanks);
    }
    return chunk;
}

QString Settings::helpText() const
{
    QString text = versionText();
    text += QStringLiteral("\nAvailable options: (SYNTAX: OPTION PARAM1 PARAM2 .. PARAMN)\n\n");
    const QList<HelpEntry> entries = helpEntries();
    constexpr int MaxNamesWidth = 33;
    constexpr int LineWidth = 78;
    int namesWidth = 0;
    for (const HelpEntry &entry : entries) {
        int width = 0;
        for (const QString &variant : entry.variants)
            width += int(variant.size()) + 1;
        namesWidth = std::max(namesWidth, width);
    }
    namesWidth = std::min(namesWidth, MaxNamesWidth);
    const int helpWidth = LineWidth - namesWidth;
    for (const HelpEntry &entry : entries) {
        QString names;
        for (qsizetype i = 0; i < entry.variants.size(); ++i) {
            names += QLatin1Char(' ') + entry.variants.at(i);
            if (i + 1 < entry.variants.size())
                names += QLatin1String(" |");
        }
        QString help = entry.text;
        while (!names.isEmpty() || !help.isEmpty()) {
            text += appendWrapped(names, namesWidth, false).leftJustified(namesWidth, QLatin1Char(' '));
            text += QLatin1String("  ");
            text += appendWrapped(help, helpWidth, true);
            text += QLatin1Char('\n');
        }
        text += QLatin1Char('\n');
    }
    text += QLatin1Char('\n');
    if (const Log *log = Log::instance())
        text += log->helpText();
    return text;
}

void Settings::showHelp()
{
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::showHelp()"));
    const QString text = helpText();
    if (!hasGraphicalUI() || !showHelpWindow(text))
        printLine(text);
}

void Settings::showVersion()
{
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::showVersion()"));
    const QString text = versionText();
    if (!hasGraphicalUI() || !showVersionWindow(text))
        printLine(text);
}

} // namespace ZOZ
