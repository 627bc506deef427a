#pragma once

#include "settings/ZOZSettingsTable.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <functional>

namespace ZOZ {

// The process-wide configuration: persistent values from the settings store,
// runtime values set by the command line, the configuration file and the
// start-up code. Changes are pushed to listeners with change ids.
//
// Most values are rows of the tables in ZOZSettingsTable.h; the typed getters
// and setters below are thin names for them. The command line
// (CommandLineOptions), the configuration file (ConfigFile) and the texts for
// the user (SettingsReport) are classes of their own that work through the
// public interface.
class Settings
{
public:
    // Change ids handed to listeners.
    enum ChangeId {
        ConfigFileRead = 0,
        HttpPortChanged = 2,
        LanguageChanged = 5,
        ConfigOptionChanged = 7,
        SharedSettingChanged = 8,
        CachePathChanged = 10,
    };

    class Listener
    {
    public:
        virtual ~Listener();
        // Runs on the thread that made the change, with the listener list
        // locked: hand work on, never add or remove listeners here.
        virtual void settingChanged(const QVector<int> &changes) = 0;
    };

    // Front-end option ids of the option array.
    enum FrontEndOption {
        OptionAgc = 1,
        OptionFrequencySet = 6,
        OptionFilter = 9,
        OptionGain = 13,
        OptionMixer = 15,
        OptionLna = 17,
        OptionSwapIq = 19,
        FrontEndOptionCount = 20,
    };
    enum FrontEndMode { ModeNone = 0, ModeAm = 1, ModeFm = 2, ModeDab = 3, ModeDrmAm = 4, ModeDrmFm = 5 };
    // Recording types of setAudioRecordingFormat.
    enum RecordingType { DabClassic = 1, DabPlus = 2, Drm = 3, Fm = 4, Am = 5 };

    static constexpr const char *Organisation = "Dadidozor DAZ";
    static constexpr const char *Application = "Radarovaz";

    // Creates the singleton once; a second call logs and returns the existing one.
    static Settings *create();
    static void destroy();
    static Settings *instance() { return s_instance.load(std::memory_order_acquire); }

    virtual ~Settings();
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    void addListener(Listener *listener);
    void removeListener(Listener *listener);
    void notifyListeners(const QVector<int> &changes);

    // Notices shared settings changed by another process; main thread, every 100 ms.
    bool reload();
    QVector<int> changeSet() const;

    static bool findFile(QString &path);
    static QString normalizePath(const QString &path);

    // Table values. A shared row is read from the store at every call; the
    // others come from the value read at construction or set since.
    QVariant value(Setting id) const;
    // Stores, logs and writes an accepted value; out-of-range and unchanged
    // values are ignored without a trace.
    void setValue(Setting id, const QVariant &value);
    // The stored value of a row, or its default; needs no settings object.
    static QVariant storedValue(Setting id);
    // For this run only: the store keeps its value.
    void overrideForThisRun(Setting id, const QVariant &value);

    bool flag(RuntimeFlag id) const { return m_flags[size_t(id)].load(std::memory_order_acquire); }
    void setFlag(RuntimeFlag id, bool on);

    // Persistent values
    quint32 registryIndex() const;
    struct Announcement
    {
        QString type;
        quint32 mask = 0;

        bool operator==(const Announcement &) const = default;
    };
    quint32 announcement(const QString &type) const;
    void setAnnouncement(const QString &type, quint32 mask);
    // The masks of the known announcement types, in their fixed order.
    QList<Announcement> announcements() const;
    QString audioRecordingDirectory() const { return get(m_recordingDirectory); }
    void setAudioRecordingDirectory(const QString &folder);
    int audioRecordingTimelimit() const { return value(Setting::RecordingTimelimit).toInt(); }
    void setAudioRecordingTimelimit(int seconds) { setValue(Setting::RecordingTimelimit, seconds); }
    int audioRecordingFormat(int recordingType) const;
    void setAudioRecordingFormat(int recordingType, int format);
    int audioDecoderMode() const { return value(Setting::DecoderMode).toInt(); }
    void setAudioDecoderMode(int mode) { setValue(Setting::DecoderMode, mode); }
    int audioBinauralPreset() const { return value(Setting::BinauralPreset).toInt(); }
    void setAudioBinauralPreset(int preset) { setValue(Setting::BinauralPreset, preset); }
    bool spokenLabelsActive() const { return value(Setting::SpokenLabelsActive).toBool(); }
    void setSpokenLabelsActive(bool active) { setValue(Setting::SpokenLabelsActive, active); }
    bool slsHasPermaCache() const { return value(Setting::SlsPermaCache).toBool(); }
    void slsSetPermaCache(bool on) { setValue(Setting::SlsPermaCache, on); }
    bool slsHasAltImages() const { return value(Setting::SlsAltImages).toBool(); }
    void slsSetAltImages(bool on) { setValue(Setting::SlsAltImages, on); }
    int httpNumRemoteClients() const { return value(Setting::NumRemoteClients).toInt(); }
    void setHttpNumRemoteClients(int clients, bool persist);
    int crashHandlingType() const { return value(Setting::CrashHandlingType).toInt(); }
    void setCrashHandlingType(int type) { setValue(Setting::CrashHandlingType, type); }

    // Shared values: read from the store at every use, so that every process
    // sees them; their setters bump "registryIdx".
    static bool getGuiShowBubbles() { return storedValue(Setting::GuiShowBubbles).toBool(); }
    void setGuiShowBubbles(bool show) { setValue(Setting::GuiShowBubbles, show); }
    static bool jouGetApIncRoot() { return storedValue(Setting::JouApIncRoot).toBool(); }
    void jouSetApIncRoot(bool on) { setValue(Setting::JouApIncRoot, on); }
    static bool jouGetApShowButton() { return storedValue(Setting::JouApShowButton).toBool(); }
    void jouSetApShowButton(bool on) { setValue(Setting::JouApShowButton, on); }
    static unsigned jouGetApTimestep() { return storedValue(Setting::JouApTimestep).toUInt(); }
    void jouSetApTimestep(unsigned seconds) { setValue(Setting::JouApTimestep, seconds); }
    static bool jouGetExtEnabled() { return storedValue(Setting::JouExtEnabled).toBool(); }
    void jouSetExtEnabled(bool on) { setValue(Setting::JouExtEnabled, on); }
    static int getCrashHandlingType() { return storedValue(Setting::CrashHandlingType).toInt(); }

    // Front end
    int frontEndMode() const { return get(m_feMode); }
    void setFrontEndMode(int mode);
    int frontEndOption(int id) const;
    void setFrontEndOption(int id, int value);
    void setFrontEndOption(int id, bool value);
    unsigned frontEndFrequency() const { return get(m_feFrequency); }
    void setFrontEndFrequency(unsigned frequency);
    QString frontEndFileName() const { return get(m_feFileName); }
    void setFrontEndFileName(const QString &fileName);
    void setFrontEndSwapIq(int mode, int value);
    static QString frontEndModeName(int mode);
    QString frontEndModeName() const { return frontEndModeName(frontEndMode()); }
    // Front-end mode number of a name such as "dab" or "DRM-AM"; 0 when unknown.
    static int frontEndModeFor(const QString &name);

    // Folders
    QString homePath() const { return get(m_homePath); }
    QString archivesPath() const { return get(m_archivesPath); }
    QString cachePath() const { return get(m_cachePath); }
    int cachePathGeneration() const { return get(m_cachePathGeneration); }
    void setCachePath(const QString &folder);
    QString styleRoot() const { return get(m_styleRoot); }
    void setStyleRootPath(const QString &path);
    QString theme() const { return get(m_theme); }
    void setTheme(const QString &name);
    QString configFileName() const { return get(m_configFileName); }
    void setConfigFileName(const QString &fileName) { put(m_configFileName, fileName); }

    // Runtime values
    QString initialLanguage() const { return get(m_initialLanguage); }
    void setInitialLanguage(const QString &language) { put(m_initialLanguage, language); }
    bool hasGraphicalUI() const { return flag(RuntimeFlag::HasGraphicalUI); }
    void setHasGraphicalUI(bool on) { setFlag(RuntimeFlag::HasGraphicalUI, on); }
    bool hasRemoteService() const { return flag(RuntimeFlag::HasRemoteService); }
    void setHasRemoteService(bool on) { setFlag(RuntimeFlag::HasRemoteService, on); }
    bool hasAudioService() const { return flag(RuntimeFlag::HasAudioService); }
    void setHasAudioService(bool on) { setFlag(RuntimeFlag::HasAudioService, on); }
    bool hasAudioSystem() const { return flag(RuntimeFlag::HasAudioSystem); }
    void setHasAudioSystem(bool on) { setFlag(RuntimeFlag::HasAudioSystem, on); }
    bool isFullscreen() const { return flag(RuntimeFlag::IsFullscreen); }
    void setIsFullscreen(bool on) { setFlag(RuntimeFlag::IsFullscreen, on); }
    bool isBorderless() const { return flag(RuntimeFlag::IsBorderless); }
    void setIsBorderless(bool on) { setFlag(RuntimeFlag::IsBorderless, on); }
    QRect fixedGeometry() const { return get(m_fixedGeometry); }
    void setFixedGeometry(const QRect &geometry) { put(m_fixedGeometry, geometry); }
    bool loopFiles() const { return flag(RuntimeFlag::LoopFiles); }
    void setLoopFiles(bool on) { setFlag(RuntimeFlag::LoopFiles, on); }
    bool clearServicesOnLoss() const { return get(m_clearServicesOnLoss); }
    int clearServicesTimeout() const { return get(m_clearServicesTimeout); }
    void setClearServicesOnLoss(bool on, int timeoutSeconds);
    bool feVerbose() const { return flag(RuntimeFlag::FeVerbose); }
    void setFeVerbose(bool on) { setFlag(RuntimeFlag::FeVerbose, on); }
    bool forceFrontEndMode() const { return flag(RuntimeFlag::ForceFrontEndMode); }
    void setForceFrontEndMode(bool on) { setFlag(RuntimeFlag::ForceFrontEndMode, on); }
    bool feUdpCommands() const { return flag(RuntimeFlag::FeUdpCommands); }
    void setFeUdpCommands(bool on) { setFlag(RuntimeFlag::FeUdpCommands, on); }
    quint32 autoServiceId() const { return get(m_autoServiceId); }
    bool isAutoServiceFixed() const { return get(m_autoServiceFixed); }
    void setAutoServiceId(quint32 serviceId, bool fixed);
    bool audioSingleDecode() const { return flag(RuntimeFlag::AudioSingleDecode); }
    void setAudioSingleDecode(bool on) { setFlag(RuntimeFlag::AudioSingleDecode, on); }
    bool noSurround() const { return flag(RuntimeFlag::NoSurround); }
    void setNoSurround(bool on) { setFlag(RuntimeFlag::NoSurround, on); }
    bool hasRawAudioOutput() const { return flag(RuntimeFlag::HasRawAudioOutput); }
    void setHasRawAudioOutput(bool on) { setFlag(RuntimeFlag::HasRawAudioOutput, on); }
    bool hasWavAudioOutput() const { return flag(RuntimeFlag::HasWavAudioOutput); }
    void setHasWavAudioOutput(bool on) { setFlag(RuntimeFlag::HasWavAudioOutput, on); }
    int httpPort() const { return get(m_httpPort); }
    // Also rebuilds the base URL when the port changes.
    void setHttpPort(int port);
    // The base URL from the port as it stands.
    void updateHttpRootUrl();
    QString httpRootUrl() const { return get(m_httpRootUrl); }
    bool noFileMinimize() const { return flag(RuntimeFlag::NoFileMinimize); }
    void setNoFileMinimize(bool on) { setFlag(RuntimeFlag::NoFileMinimize, on); }
    bool noTemplateCache() const { return flag(RuntimeFlag::NoTemplateCache); }
    void setNoTemplateCache(bool on) { setFlag(RuntimeFlag::NoTemplateCache, on); }
    bool showTemplateInstructions() const { return flag(RuntimeFlag::ShowTemplateInstructions); }
    void setShowTemplateInstructions(bool on) { setFlag(RuntimeFlag::ShowTemplateInstructions, on); }
    int httpRefreshTime() const { return get(m_httpRefreshTime); }
    void setHttpRefreshTime(int milliseconds) { put(m_httpRefreshTime, milliseconds); }
    int httpNumRemoteClientsMaximum() const { return get(m_httpNumRemoteClientsMaximum); }
    void setHttpNumRemoteClientsMaximum(int maximum) { put(m_httpNumRemoteClientsMaximum, maximum); }
    QString remoteAccessPassword() const { return get(m_remoteAccessPassword); }
    void setRemoteAccessPassword(const QString &password) { put(m_remoteAccessPassword, password); }
    QString windowTitle() const;
    void setWindowTitle(const QString &title);
    QString uiTitle() const { return get(m_uiTitle); }
    void setUiTitle(const QString &title);
    bool isAudioRecording() const { return flag(RuntimeFlag::IsAudioRecording); }
    void setIsAudioRecording(bool recording) { setFlag(RuntimeFlag::IsAudioRecording, recording); }
    bool hasPhysicalCache() const { return flag(RuntimeFlag::HasPhysicalCache); }
    bool hideHardCodedFrequencies() const { return flag(RuntimeFlag::HideHardCodedFrequencies); }
    bool isHelpWanted() const { return flag(RuntimeFlag::HelpWanted); }
    bool isVersionWanted() const { return flag(RuntimeFlag::VersionWanted); }
    bool isCommandLineParsed() const { return flag(RuntimeFlag::CommandLineParsed); }

    // Config options and the lists that the configuration file fills.
    enum ConfigOptionId {
        OptionSettings = 2,
        OptionDeleteCookies = 3,
        OptionThemesRuntime = 4,
        OptionShowHttpConfig = 5,
        OptionServiceLogos = 6,
        OptionShowQuit = 7,
    };
    struct ConfigOption
    {
        int value = 0;
        QString tag;
        QString description;
    };
    struct FrontEndFrequency
    {
        int mode = ModeNone;
        QString label;
        int frequency = 0; // kHz
        bool operator==(const FrontEndFrequency &) const = default;
    };
    struct FrontEndFile
    {
        int mode = ModeNone;
        QString label;
        QString path;
        bool operator==(const FrontEndFile &) const = default;
    };
    struct HelpEntry
    {
        QStringList variants;
        QString text;
    };
    enum class ConfigPass { Initial, Reparse };

    QMap<int, ConfigOption> configOptions() const { return get(m_configOptions); }
    int configOptionValue(int id) const;
    // Sets every config option of the tag; returns their old values.
    QList<int> storeConfigOption(const QString &tag, int value, bool onlyWhenDifferent);
    // "ON" 1, "OFF" 0, else the decimal number (0 when it is none).
    static int configOptionValueFor(const QString &text);
    QList<FrontEndFrequency> scanFrequencies() const { return get(m_scanFrequencies); }
    void clearScanFrequencies();
    void addScanFrequency(const FrontEndFrequency &frequency);
    QList<FrontEndFrequency> frontEndFrequencies() const { return get(m_frontEndFrequencies); }
    QList<FrontEndFile> frontEndFiles() const { return get(m_frontEndFiles); }
    void setFrontEndEntries(const QList<FrontEndFrequency> &frequencies, const QList<FrontEndFile> &files);
    QStringList allowedDomains() const { return get(m_allowedDomains); }
    // Adds a trimmed, non-empty domain not yet in the list.
    void addAllowedDomain(const QString &domain);
    QDateTime configFileTime() const { return get(m_configFileTime); }
    void setConfigFileTime(const QDateTime &time) { put(m_configFileTime, time); }
    // Adds a change id to the change set of the running reload, once.
    void addChange(int id);

    // The configuration sources and the texts for the user; each forwards to
    // the class that does the work.
    // False when a numeric option had an illegal value; unknown arguments are
    // reported but do not fail (CommandLineOptions).
    bool parseCommandLine(const QStringList &arguments);
    // True when the file was read and its elements applied (ConfigFile).
    bool parseConfigFile(ConfigPass pass);
    QList<HelpEntry> helpEntries() const { return get(m_helpEntries); }
    void setHelpEntries(const QList<HelpEntry> &entries) { put(m_helpEntries, entries); }
    void showHelp();
    void showVersion();
    QString helpText() const;
    // Cuts the next chunk of at most `width` characters off `remaining` for the help table.
    static QString appendWrapped(QString &remaining, int width, bool skipBlanksAfter);
    QString dump() const;
    QStringList featureList() const;
    QString featuresText() const;
    QString versionText() const;

    // Languages and themes (ZOZSettingsLanguages.cpp)
    static QStringList availableLanguages();
    // Translated display name (context "Language") -> code, so ordered by the
    // name the user reads.
    static QMap<QString, QString> languageNames();
    static QString languageIconPath(const QString &code);
    // Where the pages find the language flags: folder + code + suffix.
    static QString languageIconFolder();
    static QString languageIconSuffix();
    // The available language code matching `code` ignoring case; empty when none.
    static QString matchLanguage(const QString &code);

    // Theme changes go through the application, which knows the theme table;
    // without it a plain folder name is taken as it is.
    static void setThemeSwitcher(std::function<void(const QString &)> switcher);
    void switchTheme(const QString &name);
    QString themeName() const;

private:
    Settings();

    template <typename T>
    T get(const T &member) const
    {
        QMutexLocker locker(&m_valueMutex);
        return member;
    }
    // Stores the value; false when it equals the member.
    template <typename T>
    bool exchange(T &member, const T &value)
    {
        QMutexLocker locker(&m_valueMutex);
        if (member == value)
            return false;
        member = value;
        return true;
    }
    template <typename T>
    void put(T &member, const T &value)
    {
        QMutexLocker locker(&m_valueMutex);
        member = value;
    }
    void readStoredValues();
    // Value that every process reads from the store: written with a bump of
    // the change counter so that other processes notice it.
    void setShared(const SettingRow &row, const QVariant &value);
    void bumpRegistryIndex();
    void loadFrontEndMode(int mode);

    static std::atomic<Settings *> s_instance;

    QMutex m_listenerMutex;
    QList<Listener *> m_listeners;
    std::atomic<bool> m_flags[size_t(RuntimeFlag::Count)];
    // Guards the values below; never held while listeners run or while logging.
    mutable QMutex m_valueMutex;
    QVariant m_values[size_t(Setting::Count)];
    QVector<int> m_changeSet;
    quint32 m_registryIndex = 0;
    QString m_homePath;
    QString m_archivesPath;
    int m_cachePathGeneration = 0;
    QString m_cachePath;
    QString m_styleRoot = QStringLiteral("style/");
    QString m_configFileName = QStringLiteral("zoz.cfg");
    QDateTime m_configFileTime;

    QMap<QString, quint32> m_announcements;
    QString m_recordingDirectory;

    int m_feMode = ModeNone;
    int m_feOptions[FrontEndOptionCount] = {};
    unsigned m_feFrequency = 0;
    QString m_feFileName;
    QMap<int, int> m_feSwapIq;

    QString m_initialLanguage;
    QString m_theme;
    QRect m_fixedGeometry;
    bool m_clearServicesOnLoss = false;
    int m_clearServicesTimeout = 12;
    quint32 m_autoServiceId = 0xFFFFFFFFu;
    bool m_autoServiceFixed = false;
    int m_httpPort = -1;
    int m_httpRefreshTime = 1000;
    QString m_httpRootUrl;
    int m_httpNumRemoteClientsMaximum = -1;
    QString m_remoteAccessPassword = QStringLiteral("zir7oro");
    QString m_windowTitle;
    QString m_uiTitle;

    QMap<int, ConfigOption> m_configOptions;
    QList<FrontEndFrequency> m_scanFrequencies;
    QList<FrontEndFrequency> m_frontEndFrequencies;
    QList<FrontEndFile> m_frontEndFiles;
    QStringList m_allowedDomains;
    QList<HelpEntry> m_helpEntries;
};

} // namespace ZOZ
