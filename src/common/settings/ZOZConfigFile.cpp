#include "settings/ZOZConfigFile.h"

#include "DabChannelGrids.h"
#include "base/ZOZLog.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>

namespace ZOZ {

namespace {

constexpr quint32 LogInfo = LogSource::Settings;
constexpr quint32 LogWarning = LogSource::Settings | LogFlag::Warning;
constexpr quint32 LogError = LogSource::Settings | LogFlag::Error;

constexpr int MaxPort = 65535;

void logInfo(const QString &text)
{
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> ") + text);
}

void logWarning(const QString &text)
{
    ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: ") + text);
}

// An element whose text must not be empty: logs what it found; false when empty.
bool takeText(const QString &tag, const char *valueName, const QString &text)
{
    if (text.isEmpty()) {
        logWarning(QStringLiteral("found empty %1 tag").arg(tag));
        return false;
    }
    logInfo(QStringLiteral("found %1 tag, using (%2: '%3')").arg(tag, QLatin1String(valueName), text));
    return true;
}

bool isOn(const QString &text)
{
    return text.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0;
}

// Reads a frequency entry list group of the configuration file.
void readEntryGroup(const QDomElement &group, int mode, QList<Settings::FrontEndFrequency> &frequencies,
                    QList<Settings::FrontEndFile> &files)
{
    for (QDomElement entry = group.firstChildElement(); !entry.isNull(); entry = entry.nextSiblingElement()) {
        if (!entry.hasAttribute(QStringLiteral("value")))
            continue;
        const QString label = entry.attribute(QStringLiteral("label"));
        const QString value = entry.attribute(QStringLiteral("value"));
        if (entry.tagName() == QLatin1String("frequency")) {
            bool ok = false;
            const int frequency = value.toInt(&ok, 10);
            if (!ok)
                continue;
            const Settings::FrontEndFrequency item{mode, label, frequency};
            if (!frequencies.contains(item))
                frequencies.append(item);
        } else if (entry.tagName() == QLatin1String("file")) {
            const Settings::FrontEndFile item{mode, label, Settings::normalizePath(value)};
            if (!files.contains(item))
                files.append(item);
        }
    }
}

} // namespace

ConfigFile::ConfigFile(Settings &settings)
    : m_settings(settings)
{
}

int ConfigFile::scanFrequencyFor(const QString &frequencyOrId)
{
    const DabChannel *channel = findChannelByLabel(frequencyOrId.toUtf8().constData());
    if (channel && channel->frequency > 0)
        return int(channel->frequency);
    return frequencyOrId.toInt(nullptr, 10);
}

bool ConfigFile::parse(Settings::ConfigPass pass)
{
    const bool initial = pass == Settings::ConfigPass::Initial;
    const QDateTime storedTime = m_settings.configFileTime();
    if (storedTime.isValid()) {
        const QFileInfo info(m_settings.configFileName());
        const QDateTime currentTime = info.exists() ? info.lastModified() : QDateTime();
        if (currentTime == storedTime)
            return false;
        // The domains given with "-ad" are kept: the file cannot give them back.
        m_settings.clearScanFrequencies();
        m_settings.addChange(Settings::ConfigFileRead);
    }

    if (initial) {
        QString fileName = m_settings.configFileName();
        if (Settings::findFile(fileName))
            m_settings.setConfigFileName(fileName);
    }
    const QString fileName = m_settings.configFileName();
    const QFileInfo info(fileName);
    if (!info.isFile())
        return false;
    m_settings.setConfigFileTime(info.lastModified());

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        logWarning(QStringLiteral("could not read XML file: '%1' (no read access?)").arg(fileName));
        return false;
    }
    logInfo(QStringLiteral("parsing zoz config file"));
    QDomDocument document;
    if (!document.setContent(&file)) {
        ZOZ_LOG(LogError, QStringLiteral("Settings::parseConfigFile() -> error: could not parse XML doc structure"));
        return false;
    }
    file.close();

    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != QLatin1String("zoz")) {
        logWarning(QStringLiteral("root element is not 'zoz', file ignored"));
        return false;
    }
    for (QDomElement element = root.firstChildElement(); !element.isNull(); element = element.nextSiblingElement())
        apply(element, initial);
    return true;
}

void ConfigFile::apply(const QDomElement &element, bool initial)
{
    Settings &s = m_settings;
    const QString tag = element.tagName();
    const QString text = element.text();
    // Elements that act by their presence, and only at start-up.
    const auto atStartUp = [&](RuntimeFlag flag, bool on, const char *logged) {
        if (!initial)
            return;
        if (logged)
            logInfo(QStringLiteral("found %1 tag").arg(QLatin1String(logged)));
        s.setFlag(flag, on);
    };

    if (tag == QLatin1String("help")) {
        atStartUp(RuntimeFlag::HelpWanted, true, nullptr);
    } else if (tag == QLatin1String("version")) {
        atStartUp(RuntimeFlag::VersionWanted, true, nullptr);
    } else if (tag == QLatin1String("language")) {
        const QString language = Settings::matchLanguage(text);
        if (!language.isEmpty() && language != s.initialLanguage()) {
            s.setInitialLanguage(language);
            s.addChange(Settings::LanguageChanged);
        }
    } else if (tag == QLatin1String("cachePath")) {
        if (takeText(tag, "cachePath", text))
            s.setCachePath(text);
    } else if (tag == QLatin1String("windowTitle")) {
        if (initial && takeText(tag, "windowTitle", text))
            s.setWindowTitle(text);
    } else if (tag == QLatin1String("uiTitle")) {
        logInfo(QStringLiteral("found uiTitle tag, using (uiTitle: '%1')").arg(text));
        s.setUiTitle(text);
    } else if (tag == QLatin1String("option")) {
        if (!element.hasAttribute(QStringLiteral("name")) || !element.hasAttribute(QStringLiteral("value")))
            return;
        const QString name = element.attribute(QStringLiteral("name"));
        const int value = Settings::configOptionValueFor(element.attribute(QStringLiteral("value")));
        for (const int old : s.storeConfigOption(name, value, true)) {
            logInfo(QStringLiteral("config changed: '%1' value: %2 -> %3").arg(name).arg(old).arg(value));
            s.addChange(Settings::ConfigOptionChanged);
        }
    } else if (tag == QLatin1String("remoteAccessPassword")) {
        // The password itself never goes to the log: log files are shared with bug reports.
        s.setRemoteAccessPassword(text.trimmed());
        logInfo(QStringLiteral("new remote access password set"));
    } else if (tag == QLatin1String("serverPort")) {
        applyServerPort(text);
    } else if (tag == QLatin1String("noPhysicalCache")) {
        atStartUp(RuntimeFlag::HasPhysicalCache, false, "noPhysicalCache");
    } else if (tag == QLatin1String("forceFrontEndMode")) {
        atStartUp(RuntimeFlag::ForceFrontEndMode, true, "forceFrontEndMode");
    } else if (tag == QLatin1String("feVerbose")) {
        atStartUp(RuntimeFlag::FeVerbose, true, "feVerbose");
    } else if (tag == QLatin1String("feUdpCommands")) {
        atStartUp(RuntimeFlag::FeUdpCommands, true, nullptr);
    } else if (tag == QLatin1String("feMode")) {
        logInfo(QStringLiteral("found feMode tag"));
        s.setFrontEndMode(Settings::frontEndModeFor(text));
    } else if (tag == QLatin1String("scanFrequencies")) {
        applyScanFrequencies(element);
    } else if (tag == QLatin1String("hideHardCodedFrequencies")) {
        logInfo(QStringLiteral("found hideHardCodedFrequencies tag"));
        s.setFlag(RuntimeFlag::HideHardCodedFrequencies, true);
    } else if (tag == QLatin1String("feEntryList")) {
        applyEntryList(element);
    } else if (tag == QLatin1String("httpNoFileMinimize")) {
        logInfo(QStringLiteral("found httpNoFileMinimize tag"));
        s.setNoFileMinimize(isOn(text));
    } else if (tag == QLatin1String("httpNoTemplateCache")) {
        logInfo(QStringLiteral("found httpNoTemplateCache tag"));
        s.setNoTemplateCache(isOn(text));
    } else if (tag == QLatin1String("httpShowTemplateInstructions")) {
        logInfo(QStringLiteral("found httpShowTemplateInstructions tag"));
        s.setShowTemplateInstructions(isOn(text));
    } else if (tag == QLatin1String("httpDefaultRefreshTime")) {
        applyRefreshTime(text);
    } else if (tag == QLatin1String("styleroot")) {
        if (takeText(tag, "styleRoot", text))
            s.setStyleRootPath(text);
    } else if (tag == QLatin1String("theme")) {
        if (text.isEmpty())
            return;
        s.switchTheme(text);
        logInfo(QStringLiteral("found theme tag, using (theme: '%1')").arg(s.themeName()));
    } else if (tag == QLatin1String("slsDisableAlternativeImages")) {
        if (!initial)
            return;
        logInfo(QStringLiteral("found slsDisableAlternativeImages tag"));
        // For this run only: the stored choice stays.
        s.overrideForThisRun(Setting::SlsAltImages, false);
    }
}

void ConfigFile::applyServerPort(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    if (!ok || port < -1 || port > MaxPort) {
        logWarning(QStringLiteral("found faulty serverPort tag"));
        return;
    }
    const int old = m_settings.httpPort();
    if (port == old)
        return;
    logInfo(QStringLiteral("HTTP server port changed: %1 -> %2").arg(old).arg(port));
    m_settings.setHttpPort(port);
    m_settings.addChange(Settings::HttpPortChanged);
}

void ConfigFile::applyScanFrequencies(const QDomElement &element)
{
    const QDomElement dab = element.firstChildElement(QStringLiteral("dab"));
    for (QDomElement entry = dab.firstChildElement(QStringLiteral("frequency")); !entry.isNull();
         entry = entry.nextSiblingElement(QStringLiteral("frequency"))) {
        if (!entry.hasAttribute(QStringLiteral("frequencyOrId")))
            continue;
        const int frequency = scanFrequencyFor(entry.attribute(QStringLiteral("frequencyOrId")));
        // Neither a channel nor a frequency: nothing to tune to.
        if (frequency <= 0)
            continue;
        m_settings.addScanFrequency({Settings::ModeDab, entry.attribute(QStringLiteral("label")), frequency});
    }
}

void ConfigFile::applyEntryList(const QDomElement &element)
{
    QList<Settings::FrontEndFrequency> frequencies = m_settings.frontEndFrequencies();
    QList<Settings::FrontEndFile> files = m_settings.frontEndFiles();
    readEntryGroup(element.firstChildElement(QStringLiteral("dab")), Settings::ModeDab, frequencies, files);
    readEntryGroup(element.firstChildElement(QStringLiteral("all")), Settings::ModeNone, frequencies, files);
    m_settings.setFrontEndEntries(frequencies, files);
}

void ConfigFile::applyRefreshTime(const QString &text)
{
    bool ok = false;
    const int milliseconds = text.toInt(&ok, 10);
    // Pages poll at this period: zero or less would make them poll without pause.
    if (!ok || milliseconds <= 0) {
        logWarning(QStringLiteral("found faulty httpDefaultRefreshTime tag"));
        return;
    }
    logInfo(QStringLiteral("found httpDefaultRefreshTime tag: '%1'").arg(milliseconds));
    m_settings.setHttpRefreshTime(milliseconds);
}

} // namespace ZOZ
