#include "settings/ZOZSettings.h"

#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"

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

const char *const announcementTypes[] = {"DAB", "DABapps", "DRM", "DRMapps", "Epilog"};
const quint32 announcementDefaults[] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 1u};

struct RecordingFormatKey
{
    const char *key;
    const char *logName;
    int defaultFormat;
};
// Indexed by recording type 1 to 5.
const RecordingFormatKey recordingFormatKeys[] = {
    {nullptr, nullptr, 0},
    {"Settings/Audio/recordingFormatDABclassic", "DAB_CLASSIC", 0},
    {"Settings/Audio/recordingFormatDABplus", "DAB_PLUS", 2},
    {"Settings/Audio/recordingFormatDRM", "DRM", 1},
    {"Settings/Audio/recordingFormatFM", "FM", 1},
    {"Settings/Audio/recordingFormatAM", "AM", 1},
};
constexpr int MaxRecordingFormat = 2;
// A stored 3 is an old format that this program no longer writes.
constexpr int RetiredRecordingFormat = 3;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString frontEndKey(int mode, const char *name)
{
    return QStringLiteral("Settings/FrontEnd/%1/%2").arg(mode).arg(QLatin1String(name));
}

const char *optionKeyName(int id)
{
    switch (id) {
    case Settings::OptionAgc: return "agc";
    case Settings::OptionFilter: return "filter";
    case Settings::OptionGain: return "gain";
    case Settings::OptionMixer: return "mixer";
    case Settings::OptionLna: return "lna";
    default: return nullptr;
    }
}

QString withSlash(QString folder)
{
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
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
    m_homePath = homeFolder();
    m_archivesPath = dataFolder() + QStringLiteral("archives/");
    m_cachePath = dataFolder() + QStringLiteral("cache/");
    m_crashHandlingType = getCrashHandlingType();

    ZOZ_LOG(LogSettings, QStringLiteral("Settings::Settings()"));

    Store store;
    m_registryIndex = store.value(QStringLiteral("registryIdx"), 0u).toUInt();

    for (size_t i = 0; i < std::size(announcementTypes); ++i) {
        const QString type = QString::fromLatin1(announcementTypes[i]);
        m_announcements[type] = store.value(QStringLiteral("Announcements/") + type, announcementDefaults[i]).toUInt();
    }

    QString defaultDirectory = m_homePath + QStringLiteral("Music/Radarovaz/");
    m_recordingDirectory =
        withSlash(store.value(QStringLiteral("Settings/Audio/recordingDirectory"), defaultDirectory).toString());
    if (m_recordingDirectory.isEmpty())
        m_recordingDirectory = defaultDirectory;
    QDir().mkpath(m_recordingDirectory);
    m_recordingTimelimit = qMax(0, store.value(QStringLiteral("Settings/Audio/recordingTimelimit"), 0).toInt());
    for (int type = DabClassic; type <= Am; ++type) {
        const RecordingFormatKey &key = recordingFormatKeys[type];
        int format = store.value(QLatin1String(key.key), key.defaultFormat).toInt();
        if (format == RetiredRecordingFormat)
            format = key.defaultFormat;
        m_recordingFormat[type] = format;
    }
    m_decoderMode = store.value(QStringLiteral("Settings/Audio/decoderMode"), 2).toInt();
    m_binauralPreset = store.value(QStringLiteral("Settings/Audio/binauralPreset"), 2).toInt();
    m_spokenLabelsActive = store.value(QStringLiteral("Settings/Audio/spokenLabelsActive"), true).toBool();
    m_slsPermaCache = store.value(QStringLiteral("Settings/SlideShow/hasPermaCache"), true).toBool();
    m_slsAltImages = store.value(QStringLiteral("Settings/SlideShow/hasAltImages"), true).toBool();
    const int storedRemoteClients = store.value(QStringLiteral("Settings/Http/numRemoteClients"), -1).toInt();
    store.sync();

    setHttpNumRemoteClients(storedRemoteClients, true);

    m_feOptions[OptionAgc] = 1;
    m_feOptions[3] = 1;
    m_feOptions[4] = -1;
    m_feOptions[OptionFrequencySet] = 1;
    m_feOptions[OptionFilter] = 1;
    m_feOptions[12] = 59;
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

quint32 Settings::registryIndex() const
{
    return get(m_registryIndex);
}

template <typename T>
void Settings::setPersistent(T &member, const T &value, const char *key, const QString &logText)
{
    if (!exchange(member, value))
        return;
    ZOZ_LOG(LogNotice, logText);
    Store().setValue(QLatin1String(key), value);
}

void Settings::setShared(const char *key, const QVariant &value, const QVariant &defaultValue, const QString &logText)
{
    QVariant stored = Store().value(QLatin1String(key), defaultValue);
    // The store gives text; compare in the type of the new value.
    if (stored.convert(value.metaType()) && stored == value)
        return;
    ZOZ_LOG(LogNotice, logText);
    Store().setValue(QLatin1String(key), value);
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

QString Settings::audioRecordingDirectory() const
{
    return get(m_recordingDirectory);
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

int Settings::audioRecordingTimelimit() const
{
    return get(m_recordingTimelimit);
}

void Settings::setAudioRecordingTimelimit(int seconds)
{
    if (seconds < 0)
        return;
    setPersistent(m_recordingTimelimit, seconds, "Settings/Audio/recordingTimelimit",
                  QStringLiteral("Settings::setAudioRecordingTimelimit() -> new value: '%1'").arg(QString::number(seconds)));
}

int Settings::audioRecordingFormat(int recordingType) const
{
    if (recordingType < DabClassic || recordingType > Am)
        return 0;
    QMutexLocker locker(&m_valueMutex);
    return m_recordingFormat[recordingType];
}

void Settings::setAudioRecordingFormat(int recordingType, int format)
{
    if (recordingType < DabClassic || recordingType > Am || format < 0 || format > MaxRecordingFormat)
        return;
    if (audioRecordingFormat(recordingType) == format)
        return;
    const RecordingFormatKey &key = recordingFormatKeys[recordingType];
    ZOZ_LOG(LogNotice, QStringLiteral("Settings::setAudioRecordingFormat() -> new value for %1: '%2'")
                           .arg(QLatin1String(key.logName))
                           .arg(format));
    Store().setValue(QLatin1String(key.key), format);
    put(m_recordingFormat[recordingType], format);
}

int Settings::audioDecoderMode() const
{
    return get(m_decoderMode);
}

void Settings::setAudioDecoderMode(int mode)
{
    if (mode < 0 || mode > 2)
        return;
    setPersistent(m_decoderMode, mode, "Settings/Audio/decoderMode",
                  QStringLiteral("Settings::setAudioDecoderMode() -> new value: '%1'").arg(QString::number(mode)));
}

int Settings::audioBinauralPreset() const
{
    return get(m_binauralPreset);
}

void Settings::setAudioBinauralPreset(int preset)
{
    if (preset < 1 || preset > 3)
        return;
    setPersistent(m_binauralPreset, preset, "Settings/Audio/binauralPreset",
                  QStringLiteral("Settings::setAudioBinauralPreset() -> new value: '%1'").arg(QString::number(preset)));
}

bool Settings::spokenLabelsActive() const
{
    return get(m_spokenLabelsActive);
}

void Settings::setSpokenLabelsActive(bool active)
{
    setPersistent(m_spokenLabelsActive, active, "Settings/Audio/spokenLabelsActive",
                  QStringLiteral("Settings::setSpokenLabelsActive() -> new value: '%1'").arg(boolText(active)));
}

bool Settings::slsHasPermaCache() const
{
    return get(m_slsPermaCache);
}

void Settings::slsSetPermaCache(bool on)
{
    setPersistent(m_slsPermaCache, on, "Settings/SlideShow/hasPermaCache",
                  QStringLiteral("Settings::slsSetPermaCache() -> changed to: '%1'").arg(boolText(on)));
}

bool Settings::slsHasAltImages() const
{
    return get(m_slsAltImages);
}

void Settings::slsSetAltImages(bool on)
{
    setPersistent(m_slsAltImages, on, "Settings/SlideShow/hasAltImages",
                  QStringLiteral("Settings::slsSetAltImages() -> changed to: '%1'").arg(boolText(on)));
}

int Settings::httpNumRemoteClients() const
{
    return get(m_numRemoteClients);
}

void Settings::setHttpNumRemoteClients(int clients, bool persist)
{
    int old;
    {
        QMutexLocker locker(&m_valueMutex);
        if (clients == m_numRemoteClients)
            return;
        if (m_httpNumRemoteClientsMaximum >= 0 && clients > m_httpNumRemoteClientsMaximum)
            return;
        old = m_numRemoteClients;
        m_numRemoteClients = clients;
    }
    ZOZ_LOG(LogNotice,
            QStringLiteral("Settings::setHttpNumRemoteClients() -> number of allowed remote clients changed %1 -> %2")
                .arg(old)
                .arg(clients));
    if (persist)
        Store().setValue(QStringLiteral("Settings/Http/numRemoteClients"), clients);
}

int Settings::crashHandlingType() const
{
    return get(m_crashHandlingType);
}

void Settings::setCrashHandlingType(int type)
{
    setPersistent(m_crashHandlingType, type, "Settings/App/crashHandlingType",
                  QStringLiteral("Settings::setCrashHandlingType() -> new value: '%1'").arg(QString::number(type)));
}

int Settings::getCrashHandlingType()
{
    return Store().value(QStringLiteral("Settings/App/crashHandlingType"), 1).toInt();
}

bool Settings::getGuiShowBubbles()
{
    return Store().value(QStringLiteral("Settings/Gui/showBubbles"), false).toBool();
}

void Settings::setGuiShowBubbles(bool show)
{
    setShared("Settings/Gui/showBubbles", show, false,
              QStringLiteral("Settings::setGuiShowBubbles() -> show bubbles: '%1'").arg(boolText(show)));
}

bool Settings::jouGetApIncRoot()
{
    return Store().value(QStringLiteral("Settings/Journaline/apIncRoot"), false).toBool();
}

void Settings::jouSetApIncRoot(bool on)
{
    setShared("Settings/Journaline/apIncRoot", on, false,
              QStringLiteral("Settings::jouSetApIncRoot() -> changed to: '%1'").arg(boolText(on)));
}

bool Settings::jouGetApShowButton()
{
    return Store().value(QStringLiteral("Settings/Journaline/apShowButton"), false).toBool();
}

void Settings::jouSetApShowButton(bool on)
{
    setShared("Settings/Journaline/apShowButton", on, false,
              QStringLiteral("Settings::jouSetApShowButton() -> changed to: '%1'").arg(boolText(on)));
}

unsigned Settings::jouGetApTimestep()
{
    return Store().value(QStringLiteral("Settings/Journaline/apTimestep"), 15u).toUInt();
}

void Settings::jouSetApTimestep(unsigned seconds)
{
    setShared("Settings/Journaline/apTimestep", seconds, 15u,
              QStringLiteral("Settings::jouSetApTimestep() -> changed to: '%1'").arg(QString::number(seconds)));
}

bool Settings::jouGetExtEnabled()
{
    return Store().value(QStringLiteral("Settings/Journaline/extEnabled"), true).toBool();
}

void Settings::jouSetExtEnabled(bool on)
{
    setShared("Settings/Journaline/extEnabled", on, true,
              QStringLiteral("Settings::jouSetExtEnabled() -> changed to: '%1'").arg(boolText(on)));
}

int Settings::frontEndMode() const
{
    return get(m_feMode);
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
    int filter, agc, mixer, lna;
    unsigned gain, frequency;
    {
        Store store;
        filter = store.value(frontEndKey(mode, "filter"), 1).toInt();
        agc = store.value(frontEndKey(mode, "agc"), 1).toInt();
        gain = store.value(frontEndKey(mode, "gain"), 0u).toUInt();
        mixer = store.value(frontEndKey(mode, "mixer"), 0).toInt();
        lna = store.value(frontEndKey(mode, "lna"), 0).toInt();
        frequency = store.value(frontEndKey(mode, "frequency"), 0u).toUInt();
    }
    setFrontEndOption(OptionFilter, filter);
    setFrontEndOption(OptionAgc, agc);
    setFrontEndOption(OptionGain, int(gain));
    setFrontEndOption(OptionMixer, mixer);
    setFrontEndOption(OptionLna, lna);
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
    if (const char *name = optionKeyName(id))
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

unsigned Settings::frontEndFrequency() const
{
    return get(m_feFrequency);
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

QString Settings::frontEndFileName() const
{
    return get(m_feFileName);
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

QString Settings::homePath() const { return get(m_homePath); }
QString Settings::archivesPath() const { return get(m_archivesPath); }
QString Settings::cachePath() const { return get(m_cachePath); }
int Settings::cachePathGeneration() const { return get(m_cachePathGeneration); }

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

QString Settings::styleRoot() const { return get(m_styleRoot); }

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

QString Settings::theme() const { return get(m_theme); }

void Settings::setTheme(const QString &name)
{
    put(m_theme, name.isEmpty() ? QString() : QStringLiteral("_themes/") + name + QLatin1Char('/'));
}

QString Settings::configFileName() const { return get(m_configFileName); }
void Settings::setConfigFileName(const QString &fileName) { put(m_configFileName, fileName); }

QString Settings::initialLanguage() const { return get(m_initialLanguage); }
void Settings::setInitialLanguage(const QString &language) { put(m_initialLanguage, language); }
bool Settings::hasGraphicalUI() const { return get(m_hasGraphicalUI); }
void Settings::setHasGraphicalUI(bool on) { put(m_hasGraphicalUI, on); }
bool Settings::hasRemoteService() const { return get(m_hasRemoteService); }
void Settings::setHasRemoteService(bool on) { put(m_hasRemoteService, on); }
bool Settings::hasAudioService() const { return get(m_hasAudioService); }
void Settings::setHasAudioService(bool on) { put(m_hasAudioService, on); }
bool Settings::hasAudioSystem() const { return get(m_hasAudioSystem); }
void Settings::setHasAudioSystem(bool on) { put(m_hasAudioSystem, on); }
bool Settings::isFullscreen() const { return get(m_isFullscreen); }
void Settings::setIsFullscreen(bool on) { put(m_isFullscreen, on); }
bool Settings::isBorderless() const { return get(m_isBorderless); }
void Settings::setIsBorderless(bool on) { put(m_isBorderless, on); }
QRect Settings::fixedGeometry() const { return get(m_fixedGeometry); }
void Settings::setFixedGeometry(const QRect &geometry) { put(m_fixedGeometry, geometry); }
bool Settings::loopFiles() const { return get(m_loopFiles); }
void Settings::setLoopFiles(bool on) { put(m_loopFiles, on); }
bool Settings::clearServicesOnLoss() const { return get(m_clearServicesOnLoss); }
int Settings::clearServicesTimeout() const { return get(m_clearServicesTimeout); }

void Settings::setClearServicesOnLoss(bool on, int timeoutSeconds)
{
    QMutexLocker locker(&m_valueMutex);
    m_clearServicesOnLoss = on;
    m_clearServicesTimeout = timeoutSeconds;
}

bool Settings::feVerbose() const { return get(m_feVerbose); }
void Settings::setFeVerbose(bool on) { put(m_feVerbose, on); }
bool Settings::forceFrontEndMode() const { return get(m_forceFrontEndMode); }
void Settings::setForceFrontEndMode(bool on) { put(m_forceFrontEndMode, on); }
bool Settings::feUdpCommands() const { return get(m_feUdpCommands); }
void Settings::setFeUdpCommands(bool on) { put(m_feUdpCommands, on); }
quint32 Settings::autoServiceId() const { return get(m_autoServiceId); }
bool Settings::isAutoServiceFixed() const { return get(m_autoServiceFixed); }

void Settings::setAutoServiceId(quint32 serviceId, bool fixed)
{
    QMutexLocker locker(&m_valueMutex);
    m_autoServiceId = serviceId;
    m_autoServiceFixed = fixed;
}

bool Settings::audioSingleDecode() const { return get(m_audioSingleDecode); }
void Settings::setAudioSingleDecode(bool on) { put(m_audioSingleDecode, on); }
bool Settings::noSurround() const { return get(m_noSurround); }
void Settings::setNoSurround(bool on) { put(m_noSurround, on); }
bool Settings::hasRawAudioOutput() const { return get(m_hasRawAudioOutput); }
void Settings::setHasRawAudioOutput(bool on) { put(m_hasRawAudioOutput, on); }
bool Settings::hasWavAudioOutput() const { return get(m_hasWavAudioOutput); }
void Settings::setHasWavAudioOutput(bool on) { put(m_hasWavAudioOutput, on); }
int Settings::httpPort() const { return get(m_httpPort); }

void Settings::setHttpPort(int port)
{
    QMutexLocker locker(&m_valueMutex);
    if (m_httpPort == port)
        return;
    m_httpPort = port;
    m_httpRootUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);
}

QString Settings::httpRootUrl() const { return get(m_httpRootUrl); }
bool Settings::noFileMinimize() const { return get(m_noFileMinimize); }
void Settings::setNoFileMinimize(bool on) { put(m_noFileMinimize, on); }
bool Settings::noTemplateCache() const { return get(m_noTemplateCache); }
void Settings::setNoTemplateCache(bool on) { put(m_noTemplateCache, on); }
bool Settings::showTemplateInstructions() const { return get(m_showTemplateInstructions); }
void Settings::setShowTemplateInstructions(bool on) { put(m_showTemplateInstructions, on); }
int Settings::httpRefreshTime() const { return get(m_httpRefreshTime); }
void Settings::setHttpRefreshTime(int milliseconds) { put(m_httpRefreshTime, milliseconds); }
int Settings::httpNumRemoteClientsMaximum() const { return get(m_httpNumRemoteClientsMaximum); }
void Settings::setHttpNumRemoteClientsMaximum(int maximum) { put(m_httpNumRemoteClientsMaximum, maximum); }
QString Settings::remoteAccessPassword() const { return get(m_remoteAccessPassword); }
void Settings::setRemoteAccessPassword(const QString &password) { put(m_remoteAccessPassword, password); }

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

QString Settings::uiTitle() const { return get(m_uiTitle); }

void Settings::setUiTitle(const QString &title)
{
    if (!exchange(m_uiTitle, title))
        return;
    ZOZ_LOG(LogSettings, QStringLiteral("Settings::setUiTitle() -> new value: '%1'").arg(title));
}

bool Settings::isAudioRecording() const { return get(m_isAudioRecording); }

void Settings::setIsAudioRecording(bool recording)
{
    if (!exchange(m_isAudioRecording, recording))
        return;
    ZOZ_LOG(LogNotice, QStringLiteral("Settings::setIsAudioRecording() -> new value: '%1'").arg(boolText(recording)));
}

} // namespace ZOZ
