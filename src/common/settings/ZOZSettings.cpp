#include "settings/ZOZSettings.h"

#include "settings/ZOZCommandLineOptions.h"
#include "settings/ZOZConfigFile.h"
#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"
#include "settings/ZOZSettingsReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <new>

namespace ZOZ {

std::atomic<Settings *> Settings::s_instance{nullptr};

namespace {

constexpr quint32 LogSettings = LogSource::Settings;
constexpr quint32 LogNotice = LogFlag::Notice | LogSource::Settings;
constexpr quint32 LogSingletonError = LogFlag::Error | LogSource::Singleton;

// Every access opens the store afresh so that values written by another
// process are read.
class Store : public QSettings
{
public:
    Store()
        : QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                    QString::fromLatin1(Settings::Application))
    {
    }
};

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The value in the row's own type, so that the store writes it as it always did.
QVariant typed(const SettingRow &row, const QVariant &value)
{
    switch (row.type) {
    case SettingRow::Type::Bool: return QVariant(value.toBool());
    case SettingRow::Type::Int: return QVariant(value.toInt());
    case SettingRow::Type::UInt: return QVariant(value.toUInt());
    }
    return value;
}

QVariant defaultOf(const SettingRow &row)
{
    return typed(row, QVariant(row.defaultValue));
}

QString logValue(const QVariant &value)
{
    return value.typeId() == QMetaType::Bool ? boolText(value.toBool()) : value.toString();
}

bool isAccepted(const SettingRow &row, const QVariant &value)
{
    return row.type == SettingRow::Type::Bool || row.inRange(value.toLongLong());
}

QString frontEndKey(int mode, const char *name)
{
    return QStringLiteral("Settings/FrontEnd/%1/%2").arg(mode).arg(QLatin1String(name));
}

QString withSlash(QString folder)
{
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

Setting recordingFormatSetting(int recordingType)
{
    return Setting(int(Setting::RecordingFormatDabClassic) + recordingType - Settings::DabClassic);
}

bool isRecordingType(int recordingType)
{
    return recordingType >= Settings::DabClassic && recordingType <= Settings::Am;
}

} // namespace

Settings::Listener::~Listener() = default;

Settings *Settings::create()
{
    if (Settings *existing = instance()) {
        ZOZ_LOG(LogSingletonError, QStringLiteral("already instantiated!"));
        return existing;
    }
    Settings *settings = new (std::nothrow) Settings();
    if (!settings) {
        const QString bytes = QString::number(sizeof(Settings));
        ZOZ_LOG(LogSingletonError, QStringLiteral("fatal error: out of memory - could not request %1 bytes").arg(bytes));
        ZOZ_LOG(LogFlag::FatalBox | LogSource::Singleton,
                QCoreApplication::translate("Error", "Fatal Error: Out of memory - could not request %1 bytes").arg(bytes));
        QCoreApplication::exit(-1);
        return nullptr;
    }
    s_instance.store(settings, std::memory_order_release);
    return settings;
}

void Settings::destroy()
{
    Settings *settings = s_instance.exchange(nullptr, std::memory_order_acq_rel);
    if (!settings) {
        ZOZ_LOG(LogSingletonError, QStringLiteral("trying to destroy non-existing object!"));
        return;
    }
    delete settings;
}

Settings::Settings()
{
    for (const RuntimeFlagRow &row : runtimeFlagRows())
        m_flags[size_t(row.id)].store(row.defaultValue, std::memory_order_relaxed);
    m_homePath = homeFolder();
    m_archivesPath = dataFolder() + QStringLiteral("archives/");
    m_cachePath = dataFolder() + QStringLiteral("cache/");

    ZOZ_LOG(LogSettings, QStringLiteral("Settings::Settings()"));

    for (const ConfigOptionRow &row : configOptionRows()) {
        m_configOptions.insert(row.id, {row.defaultValue, QString::fromLatin1(row.tag),
                                        QCoreApplication::translate("ConfigOptions", row.description)});
    }
    readStoredValues();

    for (int option = 0; option < FrontEndOptionCount; ++option)
        m_feOptions[option] = frontEndOptionDefault(option);
}

void Settings::readStoredValues()
{
    Store store;
    m_registryIndex = store.value(QStringLiteral("registryIdx"), 0u).toUInt();

    for (const AnnouncementRow &row : announcementRows()) {
        const QString type = QString::fromLatin1(row.type);
        m_announcements[type] = store.value(QStringLiteral("Announcements/") + type, row.defaultMask).toUInt();
    }

    QString defaultDirectory = m_homePath + QStringLiteral("Music/Radarovaz/");
    m_recordingDirectory =
        withSlash(store.value(QStringLiteral("Settings/Audio/recordingDirectory"), defaultDirectory).toString());
    if (m_recordingDirectory.isEmpty())
        m_recordingDirectory = defaultDirectory;
    QDir().mkpath(m_recordingDirectory);

    int storedRemoteClients = -1;
    for (const SettingRow &row : settingRows()) {
        if (row.has(SettingRow::Shared))
            continue;
        const QVariant fallback = defaultOf(row);
        QVariant value = typed(row, store.value(QLatin1String(row.key), fallback));
        if (row.retiredValue != SettingRow::NoRetiredValue && value.toInt() == row.retiredValue)
            value = fallback;
        if (row.has(SettingRow::ClampedOnRead) && value.toLongLong() < row.minimum)
            value = typed(row, QVariant(row.minimum));
        if (row.has(SettingRow::OwnSetter)) {
            // Goes through its setter below, which logs the change from the default.
            storedRemoteClients = value.toInt();
            value = fallback;
        }
        m_values[size_t(row.id)] = value;
    }
    store.sync();

    setHttpNumRemoteClients(storedRemoteClients, true);
}

Settings::~Settings()
{
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::~Settings()"));
}

void Settings::addListener(Listener *listener)
{
    if (!listener)
        return;
    QMutexLocker locker(&m_listenerMutex);
    if (!m_listeners.contains(listener))
        m_listeners.append(listener);
}

void Settings::removeListener(Listener *listener)
{
    QMutexLocker locker(&m_listenerMutex);
    m_listeners.removeAll(listener);
}

void Settings::notifyListeners(const QVector<int> &changes)
{
    QMutexLocker locker(&m_listenerMutex);
    for (Listener *listener : std::as_const(m_listeners))
        listener->settingChanged(changes);
}

bool Settings::reload()
{
    bool registryChanged = false;
    {
        Store store;
        QMutexLocker locker(&m_valueMutex);
        m_changeSet.clear();
        const quint32 stored = store.value(QStringLiteral("registryIdx"), m_registryIndex).toUInt();
        if (stored != m_registryIndex) {
            m_registryIndex = stored;
            registryChanged = true;
            m_changeSet.append(SharedSettingChanged);
        }
    }
    const bool configChanged = parseConfigFile(ConfigPass::Reparse);
    if (!registryChanged && !configChanged)
        return false;
    notifyListeners(changeSet());
    return true;
}

QVector<int> Settings::changeSet() const
{
    return get(m_changeSet);
}

void Settings::addChange(int id)
{
    QMutexLocker locker(&m_valueMutex);
    if (!m_changeSet.contains(id))
        m_changeSet.append(id);
}

bool Settings::findFile(QString &path)
{
    QString candidate = path;
    candidate.replace(QLatin1Char('\\'), QLatin1Char('/'));
    static const QRegularExpression slashes(QStringLiteral("/{2,}"));
    candidate.replace(slashes, QStringLiteral("/"));
    if (!candidate.isEmpty() && QFileInfo::exists(candidate)) {
        path = candidate;
        return true;
    }
    if (candidate.startsWith(QLatin1Char('/')))
        candidate.remove(0, 1);
    if (candidate.isEmpty())
        return false;
    const QString tries[] = {
        QDir::currentPath() + QLatin1Char('/') + candidate,
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') + candidate : QString(),
        dataFolder() + candidate,
    };
    for (const QString &attempt : tries) {
        if (!attempt.isEmpty() && QFileInfo::exists(attempt)) {
            path = attempt;
            return true;
        }
    }
    return false;
}

QString Settings::normalizePath(const QString &path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (result.startsWith(QLatin1Char('/')) || result.mid(1, 2) == QLatin1String(":/")
        || result.startsWith(QLatin1String("./")) || result.startsWith(QLatin1String("../")))
        return result;
    return QStringLiteral("./") + result;
}

QVariant Settings::value(Setting id) const
{
    if (settingRow(id).has(SettingRow::Shared))
        return storedValue(id);
    QMutexLocker locker(&m_valueMutex);
    return m_values[size_t(id)];
}

QVariant Settings::storedValue(Setting id)
{
    const SettingRow &row = settingRow(id);
    return typed(row, Store().value(QLatin1String(row.key), defaultOf(row)));
}

void Settings::setValue(Setting id, const QVariant &requested)
{
    const SettingRow &row = settingRow(id);
    if (row.has(SettingRow::OwnSetter)) {
        setHttpNumRemoteClients(requested.toInt(), true);
        return;
    }
    if (!isAccepted(row, requested))
        return;
    const QVariant value = typed(row, requested);
    if (row.has(SettingRow::Shared)) {
        setShared(row, value);
        return;
    }
    QVariant &member = m_values[size_t(id)];
    if (row.has(SettingRow::WrittenFirst)) {
        if (get(member) == value)
            return;
        ZOZ_LOG(LogNotice, QString::fromLatin1(row.logText).arg(logValue(value)));
        Store().setValue(QLatin1String(row.key), value);
        put(member, value);
        return;
    }
    if (!exchange(member, value))
        return;
    ZOZ_LOG(LogNotice, QString::fromLatin1(row.logText).arg(logValue(value)));
    Store().setValue(QLatin1String(row.key), value);
}

void Settings::overrideForThisRun(Setting id, const QVariant &value)
{
    put(m_values[size_t(id)], typed(settingRow(id), value));
}

void Settings::setShared(const SettingRow &row, const QVariant &value)
{
    QVariant stored = Store().value(QLatin1String(row.key), defaultOf(row));
    // The store gives text; compare in the type of the new value.
    if (stored.convert(value.metaType()) && stored == value)
        return;
    ZOZ_LOG(LogNotice, QString::fromLatin1(row.logText).arg(logValue(value)));
    Store().setValue(QLatin1String(row.key), value);
    bumpRegistryIndex();
}

void Settings::bumpRegistryIndex()
{
    quint32 index;
    {
        QMutexLocker locker(&m_valueMutex);
        index = ++m_registryIndex;
    }
    Store().setValue(QStringLiteral("registryIdx"), index);
}

void Settings::setFlag(RuntimeFlag id, bool on)
{
    if (m_flags[size_t(id)].exchange(on, std::memory_order_acq_rel) == on)
        return;
    if (const char *logText = runtimeFlagRow(id).logText)
        ZOZ_LOG(LogNotice, QString::fromLatin1(logText).arg(boolText(on)));
}

quint32 Settings::registryIndex() const
{
    return get(m_registryIndex);
}

quint32 Settings::announcement(const QString &type) const
{
    QMutexLocker locker(&m_valueMutex);
    return m_announcements.value(type, 0u);
}

void Settings::setAnnouncement(const QString &type, quint32 mask)
{
    {
        QMutexLocker locker(&m_valueMutex);
        if (m_announcements.value(type, 0u) == mask)
            return;
        m_announcements[type] = mask;
    }
    Store().setValue(QStringLiteral("Announcements/") + type, mask);
}

QList<Settings::Announcement> Settings::announcements() const
{
    QList<Announcement> list;
    for (const AnnouncementRow &row : announcementRows()) {
        const QString type = QString::fromLatin1(row.type);
        list.append({type, announcement(type)});
    }
    return list;
}

void Settings::setAudioRecordingDirectory(const QString &folder)
{
    // An empty folder would turn into the file-system root.
    const QString value = withSlash(folder);
    if (value.isEmpty() || !exchange(m_recordingDirectory, value))
        return;
    ZOZ_LOG(LogNotice, QStringLiteral("Settings::setAudioRecordingDirectory() -> new value: '%1'").arg(value));
    Store().setValue(QStringLiteral("Settings/Audio/recordingDirectory"), value);
}

int Settings::audioRecordingFormat(int recordingType) const
{
    return isRecordingType(recordingType) ? value(recordingFormatSetting(recordingType)).toInt() : 0;
}

void Settings::setAudioRecordingFormat(int recordingType, int format)
{
    if (isRecordingType(recordingType))
        setValue(recordingFormatSetting(recordingType), format);
}

void Settings::setHttpNumRemoteClients(int clients, bool persist)
{
    int old;
    {
        QMutexLocker locker(&m_valueMutex);
        QVariant &member = m_values[size_t(Setting::NumRemoteClients)];
        old = member.toInt();
        if (clients == old)
            return;
        if (m_httpNumRemoteClientsMaximum >= 0 && clients > m_httpNumRemoteClientsMaximum)
            return;
        member = clients;
    }
    ZOZ_LOG(LogNotice,
            QStringLiteral("Settings::setHttpNumRemoteClients() -> number of allowed remote clients changed %1 -> %2")
                .arg(old)
                .arg(clients));
    if (persist)
        Store().setValue(QLatin1String(settingRow(Setting::NumRemoteClients).key), clients);
}

void Settings::setFrontEndMode(int /*mode*/)
{
    // This program receives DAB only, whatever mode is asked for.
    const int mode = ModeDab;
    if (!exchange(m_feMode, mode))
        return;
    Store().setValue(QStringLiteral("Settings/FrontEnd/mode"), mode);
    loadFrontEndMode(mode);
}

void Settings::loadFrontEndMode(int mode)
{
    struct Loaded
    {
        int option;
        int value;
    };
    QList<Loaded> loaded;
    unsigned frequency;
    {
        Store store;
        for (const FrontEndKeyRow &row : frontEndKeyRows()) {
            const QVariant stored = store.value(frontEndKey(mode, row.name),
                                                row.isUnsigned ? QVariant(uint(row.defaultValue)) : QVariant(int(row.defaultValue)));
            loaded.append({row.option, row.isUnsigned ? int(stored.toUInt()) : stored.toInt()});
        }
        frequency = store.value(frontEndKey(mode, "frequency"), 0u).toUInt();
    }
    for (const Loaded &entry : std::as_const(loaded))
        setFrontEndOption(entry.option, entry.value);
    int swapIq;
    {
        QMutexLocker locker(&m_valueMutex);
        swapIq = m_feSwapIq.value(mode, 0);
    }
    setFrontEndOption(OptionSwapIq, swapIq);
    put(m_feFrequency, frequency);
}

int Settings::frontEndOption(int id) const
{
    if (id < 0 || id >= FrontEndOptionCount)
        return 0;
    QMutexLocker locker(&m_valueMutex);
    return m_feOptions[id];
}

void Settings::setFrontEndOption(int id, int value)
{
    if (id < 0 || id >= FrontEndOptionCount)
        return;
    int mode;
    {
        QMutexLocker locker(&m_valueMutex);
        if (m_feOptions[id] == value)
            return;
        m_feOptions[id] = value;
        mode = m_feMode;
    }
    if (const char *name = frontEndKeyName(id))
        Store().setValue(frontEndKey(mode, name), value);
}

void Settings::setFrontEndOption(int id, bool value)
{
    setFrontEndOption(id, value ? 1 : 0);
}

void Settings::setFrontEndSwapIq(int mode, int value)
{
    put(m_feSwapIq[mode], value);
}

void Settings::setFrontEndFrequency(unsigned frequency)
{
    setFrontEndFileName(QString());
    int mode;
    {
        QMutexLocker locker(&m_valueMutex);
        if (m_feFrequency == frequency)
            return;
        m_feFrequency = frequency;
        m_feOptions[OptionFrequencySet] = 1;
        mode = m_feMode;
    }
    Store().setValue(frontEndKey(mode, "frequency"), frequency);
}

void Settings::setFrontEndFileName(const QString &fileName)
{
    QString value = fileName;
    value.replace(QLatin1Char('\\'), QLatin1Char('/'));
    int mode;
    {
        QMutexLocker locker(&m_valueMutex);
        if (m_feFileName == value)
            return;
        m_feFileName = value;
        mode = m_feMode;
    }
    Store().setValue(frontEndKey(mode, "fileName"), value);
}

QString Settings::frontEndModeName(int mode)
{
    switch (mode) {
    case ModeAm: return QStringLiteral("AM");
    case ModeFm: return QStringLiteral("FM");
    case ModeDab: return QStringLiteral("DAB");
    case ModeDrmAm: return QStringLiteral("DRM-AM");
    case ModeDrmFm: return QStringLiteral("DRM-FM");
    default: return QStringLiteral("none");
    }
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

void Settings::setCachePath(const QString &folder)
{
    QString value = folder;
    value.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!value.isEmpty())
        value = withSlash(QDir::cleanPath(QDir(value).absolutePath()));
    {
        QMutexLocker locker(&m_valueMutex);
        if (value == m_cachePath)
            return;
        m_cachePath = value;
        ++m_cachePathGeneration;
    }
    ZOZ_LOG(LogNotice, QStringLiteral("Settings::setCachePath() -> new value: '%1'").arg(value));
    notifyListeners({CachePathChanged});
}

void Settings::setStyleRootPath(const QString &path)
{
    QString value = path;
    value.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!value.isEmpty())
        value = withSlash(QDir::cleanPath(value));
    if (!exchange(m_styleRoot, value))
        return;
    ZOZ_LOG(LogNotice, QStringLiteral("Settings::setStyleRootPath() -> new value: '%1'").arg(value));
}

void Settings::setClearServicesOnLoss(bool on, int timeoutSeconds)
{
    QMutexLocker locker(&m_valueMutex);
    m_clearServicesOnLoss = on;
    m_clearServicesTimeout = timeoutSeconds;
}

void Settings::setAutoServiceId(quint32 serviceId, bool fixed)
{
    QMutexLocker locker(&m_valueMutex);
    m_autoServiceId = serviceId;
    m_autoServiceFixed = fixed;
}

void Settings::setHttpPort(int port)
{
    QMutexLocker locker(&m_valueMutex);
    if (m_httpPort == port)
        return;
    m_httpPort = port;
    m_httpRootUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);
}

void Settings::updateHttpRootUrl()
{
    QMutexLocker locker(&m_valueMutex);
    m_httpRootUrl = QStringLiteral("http://127.0.0.1:%1").arg(m_httpPort);
}

QString Settings::windowTitle() const
{
    const QString title = get(m_windowTitle);
    return title.isEmpty() ? Log::applicationTitle() : title;
}

void Settings::setWindowTitle(const QString &title)
{
    if (!exchange(m_windowTitle, title))
        return;
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::setWindowTitle() -> new value: '%1'").arg(title));
}

void Settings::setUiTitle(const QString &title)
{
    if (!exchange(m_uiTitle, title))
        return;
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::setUiTitle() -> new value: '%1'").arg(title));
}

int Settings::configOptionValue(int id) const
{
    QMutexLocker locker(&m_valueMutex);
    return m_configOptions.value(id).value;
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

int Settings::configOptionValueFor(const QString &text)
{
    if (text == QLatin1String("ON"))
        return 1;
    if (text == QLatin1String("OFF"))
        return 0;
    return text.toInt(nullptr, 10);
}

void Settings::clearScanFrequencies()
{
    QMutexLocker locker(&m_valueMutex);
    m_scanFrequencies.clear();
}

void Settings::addScanFrequency(const FrontEndFrequency &frequency)
{
    QMutexLocker locker(&m_valueMutex);
    m_scanFrequencies.append(frequency);
}

void Settings::setFrontEndEntries(const QList<FrontEndFrequency> &frequencies, const QList<FrontEndFile> &files)
{
    QMutexLocker locker(&m_valueMutex);
    m_frontEndFrequencies = frequencies;
    m_frontEndFiles = files;
}

void Settings::addAllowedDomain(const QString &domain)
{
    const QString trimmed = domain.trimmed();
    QMutexLocker locker(&m_valueMutex);
    if (!trimmed.isEmpty() && !m_allowedDomains.contains(trimmed))
        m_allowedDomains.append(trimmed);
}

bool Settings::parseCommandLine(const QStringList &arguments)
{
    return CommandLineOptions(*this).apply(arguments);
}

bool Settings::parseConfigFile(ConfigPass pass)
{
    return ConfigFile(*this).parse(pass);
}

void Settings::showHelp()
{
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::showHelp()"));
    SettingsReport::show(SettingsReport::Window::Help, helpText(), hasGraphicalUI());
}

void Settings::showVersion()
{
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::showVersion()"));
    SettingsReport::show(SettingsReport::Window::Version, versionText(), hasGraphicalUI());
}

QString Settings::helpText() const
{
    return SettingsReport::helpText(helpEntries());
}

QString Settings::appendWrapped(QString &remaining, int width, bool skipBlanksAfter)
{
    return SettingsReport::appendWrapped(remaining, width, skipBlanksAfter);
}

QString Settings::dump() const
{
    return SettingsReport::dump(*this);
}

QStringList Settings::featureList() const
{
    return SettingsReport::featureList(hasGraphicalUI());
}

QString Settings::featuresText() const
{
    return SettingsReport::featuresText();
}

QString Settings::versionText() const
{
    return SettingsReport::versionText();
}

} // namespace ZOZ
