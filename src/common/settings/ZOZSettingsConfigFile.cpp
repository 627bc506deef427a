#include "settings/ZOZSettings.h"

#include "DabChannelGrids.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>
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

int channelFrequencyForLabel(const QString &label)
{
    const DabChannel *channel = findChannelByLabel(label.toUtf8().constData());
    return channel ? int(channel->frequency) : 0;
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

int Settings::configOptionValueFor(const QString &text)
{
    if (text == QLatin1String("ON"))
        return 1;
    if (text == QLatin1String("OFF"))
        return 0;
    return text.toInt(nullptr, 10);
}

int Settings::scanFrequencyFor(const QString &frequencyOrId)
{
    const int gridFrequency = channelFrequencyForLabel(frequencyOrId);
    if (gridFrequency > 0)
        return gridFrequency;
    return frequencyOrId.toInt(nullptr, 10);
}

QList<int> Settings::storeConfigOption(const QString &tag, int value, bool onlyWhenDifferent)
{
    QList<int> oldValues;
    QMutexLocker locker(&m_valueMutex);
    for (ConfigOption &option : m_configOptions) {
        if (option.tag != tag || (onlyWhenDifferent && option.value == value))
            continue;
        oldValues.append(option.value);
        option.value = value;
    }
    return oldValues;
}

void Settings::addChange(int id)
{
    QMutexLocker locker(&m_valueMutex);
    if (!m_changeSet.contains(id))
        m_changeSet.append(id);
}

bool Settings::parseConfigFile(ConfigPass pass)
{
    const bool initial = pass == ConfigPass::Initial;
    const QDateTime storedTime = get(m_configFileTime);
    if (storedTime.isValid()) {
        const QFileInfo info(configFileName());
        const QDateTime currentTime = info.exists() ? info.lastModified() : QDateTime();
        if (currentTime == storedTime)
            return false;
        // The domains given with "-ad" are kept: the file cannot give them back.
        {
            QMutexLocker locker(&m_valueMutex);
            m_scanFrequencies.clear();
        }
        addChange(ConfigFileRead);
    }

    if (initial) {
        QString fileName = configFileName();
        if (findFile(fileName))
            setConfigFileName(fileName);
    }
    const QString fileName = configFileName();
    const QFileInfo info(fileName);
    if (!info.isFile())
        return false;
    put(m_configFileTime, info.lastModified());

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        ZOZ_LOG(LogWarning,
                QStringLiteral("Settings::parseConfigFile() -> warning: could not read XML file: '%1' (no read access?)")
                    .arg(fileName));
        return false;
    }
    ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> parsing zoz config file"));
    QDomDocument document;
    if (!document.setContent(&file)) {
        ZOZ_LOG(LogError, QStringLiteral("Settings::parseConfigFile() -> error: could not parse XML doc structure"));
        return false;
    }
    file.close();

    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != QLatin1String("zoz")) {
        ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: root element is not 'zoz', file ignored"));
        return false;
    }
    for (QDomElement element = root.firstChildElement(); !element.isNull(); element = element.nextSiblingElement())
        applyConfigElement(element, initial);
    return true;
}

void Settings::applyConfigElement(const QDomElement &element, bool initial)
{
    const QString tag = element.tagName();
    const QString text = element.text();

    if (tag == QLatin1String("help")) {
        if (initial)
            put(m_helpWanted, true);
    } else if (tag == QLatin1String("version")) {
        if (initial)
            put(m_versionWanted, true);
    } else if (tag == QLatin1String("language")) {
        const QString language = matchLanguage(text);
        if (!language.isEmpty() && language != initialLanguage()) {
            setInitialLanguage(language);
            addChange(LanguageChanged);
        }
    } else if (tag == QLatin1String("cachePath")) {
        if (text.isEmpty()) {
            ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: found empty cachePath tag"));
        } else {
            ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found cachePath tag, using (cachePath: '%1')")
                                 .arg(text));
            setCachePath(text);
        }
    } else if (tag == QLatin1String("windowTitle")) {
        if (!initial)
            return;
        if (text.isEmpty()) {
            ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: found empty windowTitle tag"));
        } else {
            ZOZ_LOG(LogInfo,
                    QStringLiteral("Settings::parseConfigFile() -> found windowTitle tag, using (windowTitle: '%1')")
                        .arg(text));
            setWindowTitle(text);
        }
    } else if (tag == QLatin1String("uiTitle")) {
        ZOZ_LOG(LogInfo,
                QStringLiteral("Settings::parseConfigFile() -> found uiTitle tag, using (uiTitle: '%1')").arg(text));
        setUiTitle(text);
    } else if (tag == QLatin1String("option")) {
        if (!element.hasAttribute(QStringLiteral("name")) || !element.hasAttribute(QStringLiteral("value")))
            return;
        const QString name = element.attribute(QStringLiteral("name"));
        const int value = configOptionValueFor(element.attribute(QStringLiteral("value")));
        for (const int old : storeConfigOption(name, value, true)) {
            ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> config changed: '%1' value: %2 -> %3")
                                 .arg(name)
                                 .arg(old)
                                 .arg(value));
            addChange(ConfigOptionChanged);
        }
    } else if (tag == QLatin1String("remoteAccessPassword")) {
        // The password itself never goes to the log: log files are shared with bug reports.
        setRemoteAccessPassword(text.trimmed());
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> new remote access password set"));
    } else if (tag == QLatin1String("serverPort")) {
        bool ok = false;
        const int port = text.toInt(&ok, 10);
        if (!ok || port < -1 || port > MaxPort) {
            ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: found faulty serverPort tag"));
            return;
        }
        const int old = httpPort();
        if (port == old)
            return;
        ZOZ_LOG(LogInfo,
                QStringLiteral("Settings::parseConfigFile() -> HTTP server port changed: %1 -> %2").arg(old).arg(port));
        setHttpPort(port);
        addChange(HttpPortChanged);
    } else if (tag == QLatin1String("noPhysicalCache")) {
        if (!initial)
            return;
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found noPhysicalCache tag"));
        put(m_hasPhysicalCache, false);
    } else if (tag == QLatin1String("forceFrontEndMode")) {
        if (!initial)
            return;
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found forceFrontEndMode tag"));
        setForceFrontEndMode(true);
    } else if (tag == QLatin1String("feVerbose")) {
        if (!initial)
            return;
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found feVerbose tag"));
        setFeVerbose(true);
    } else if (tag == QLatin1String("feUdpCommands")) {
        if (initial)
            setFeUdpCommands(true);
    } else if (tag == QLatin1String("feMode")) {
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found feMode tag"));
        setFrontEndMode(frontEndModeFor(text));
    } else if (tag == QLatin1String("scanFrequencies")) {
        const QDomElement dab = element.firstChildElement(QStringLiteral("dab"));
        for (QDomElement entry = dab.firstChildElement(QStringLiteral("frequency")); !entry.isNull();
             entry = entry.nextSiblingElement(QStringLiteral("frequency"))) {
            if (!entry.hasAttribute(QStringLiteral("frequencyOrId")))
                continue;
            const int frequency = scanFrequencyFor(entry.attribute(QStringLiteral("frequencyOrId")));
            // Neither a channel nor a frequency: nothing to tune to.
            if (frequency <= 0)
                continue;
            QMutexLocker locker(&m_valueMutex);
            m_scanFrequencies.append({ModeDab, entry.attribute(QStringLiteral("label")), frequency});
        }
    } else if (tag == QLatin1String("hideHardCodedFrequencies")) {
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found hideHardCodedFrequencies tag"));
        put(m_hideHardCodedFrequencies, true);
    } else if (tag == QLatin1String("feEntryList")) {
        QList<FrontEndFrequency> frequencies = frontEndFrequencies();
        QList<FrontEndFile> files = frontEndFiles();
        readEntryGroup(element.firstChildElement(QStringLiteral("dab")), ModeDab, frequencies, files);
        readEntryGroup(element.firstChildElement(QStringLiteral("all")), ModeNone, frequencies, files);
        QMutexLocker locker(&m_valueMutex);
        m_frontEndFrequencies = frequencies;
        m_frontEndFiles = files;
    } else if (tag == QLatin1String("httpNoFileMinimize")) {
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found httpNoFileMinimize tag"));
        setNoFileMinimize(isOn(text));
    } else if (tag == QLatin1String("httpNoTemplateCache")) {
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found httpNoTemplateCache tag"));
        setNoTemplateCache(isOn(text));
    } else if (tag == QLatin1String("httpShowTemplateInstructions")) {
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found httpShowTemplateInstructions tag"));
        setShowTemplateInstructions(isOn(text));
    } else if (tag == QLatin1String("httpDefaultRefreshTime")) {
        bool ok = false;
        const int milliseconds = text.toInt(&ok, 10);
        // Pages poll at this period: zero or less would make them poll without pause.
        if (!ok || milliseconds <= 0) {
            ZOZ_LOG(LogWarning,
                    QStringLiteral("Settings::parseConfigFile() -> warning: found faulty httpDefaultRefreshTime tag"));
            return;
        }
        ZOZ_LOG(LogInfo,
                QStringLiteral("Settings::parseConfigFile() -> found httpDefaultRefreshTime tag: '%1'").arg(milliseconds));
        setHttpRefreshTime(milliseconds);
    } else if (tag == QLatin1String("styleroot")) {
        if (text.isEmpty()) {
            ZOZ_LOG(LogWarning, QStringLiteral("Settings::parseConfigFile() -> warning: found empty styleroot tag"));
        } else {
            ZOZ_LOG(LogInfo,
                    QStringLiteral("Settings::parseConfigFile() -> found styleroot tag, using (styleRoot: '%1')").arg(text));
            setStyleRootPath(text);
        }
    } else if (tag == QLatin1String("theme")) {
        if (text.isEmpty())
            return;
        switchTheme(text);
        ZOZ_LOG(LogInfo,
                QStringLiteral("Settings::parseConfigFile() -> found theme tag, using (theme: '%1')").arg(themeName()));
    } else if (tag == QLatin1String("slsDisableAlternativeImages")) {
        if (!initial)
            return;
        ZOZ_LOG(LogInfo, QStringLiteral("Settings::parseConfigFile() -> found slsDisableAlternativeImages tag"));
        // For this run only: the stored choice stays.
        put(m_slsAltImages, false);
    }
}

} // namespace ZOZ
