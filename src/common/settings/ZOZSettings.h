#pragma once

#include "web/ZOZTemplateValue.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QVector>

#include <atomic>

class QDomElement;

namespace ZOZ {

class TemplateValue;

// The process-wide configuration: persistent values from the settings store,
// runtime values set by the command line, the configuration file and the
// start-up code. Changes are pushed to listeners with change ids.
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

    // Persistent values
    quint32 registryIndex() const;
    quint32 announcement(const QString &type) const;
    void setAnnouncement(const QString &type, quint32 mask);
    QString audioRecordingDirectory() const;
    void setAudioRecordingDirectory(const QString &folder);
    int audioRecordingTimelimit() const;
    void setAudioRecordingTimelimit(int seconds);
    int audioRecordingFormat(int recordingType) const;
    void setAudioRecordingFormat(int recordingType, int format);
    int audioDecoderMode() const;
    void setAudioDecoderMode(int mode);
    int audioBinauralPreset() const;
    void setAudioBinauralPreset(int preset);
    bool spokenLabelsActive() const;
    void setSpokenLabelsActive(bool active);
    bool slsHasPermaCache() const;
    void slsSetPermaCache(bool on);
    bool slsHasAltImages() const;
    void slsSetAltImages(bool on);
    int httpNumRemoteClients() const;
    void setHttpNumRemoteClients(int clients, bool persist);
    int crashHandlingType() const;
    void setCrashHandlingType(int type);

    // Shared values: read from the store at every use, so that every process
    // sees them; their setters bump "registryIdx".
    static bool getGuiShowBubbles();
    void setGuiShowBubbles(bool show);
    static bool jouGetApIncRoot();
    void jouSetApIncRoot(bool on);
    static bool jouGetApShowButton();
    void jouSetApShowButton(bool on);
    static unsigned jouGetApTimestep();
    void jouSetApTimestep(unsigned seconds);
    static bool jouGetExtEnabled();
    void jouSetExtEnabled(bool on);
    static int getCrashHandlingType();

    // Front end
    int frontEndMode() const;
    void setFrontEndMode(int mode);
    int frontEndOption(int id) const;
    void setFrontEndOption(int id, int value);
    void setFrontEndOption(int id, bool value);
    unsigned frontEndFrequency() const;
    void setFrontEndFrequency(unsigned frequency);
    QString frontEndFileName() const;
    void setFrontEndFileName(const QString &fileName);
    void setFrontEndSwapIq(int mode, int value);
    static QString frontEndModeName(int mode);
    QString frontEndModeName() const { return frontEndModeName(frontEndMode()); }

    // Folders
    QString homePath() const;
    QString archivesPath() const;
    QString cachePath() const;
    int cachePathGeneration() const;
    void setCachePath(const QString &folder);
    QString styleRoot() const;
    void setStyleRootPath(const QString &path);
    QString theme() const;
    void setTheme(const QString &name);
    QString configFileName() const;
    void setConfigFileName(const QString &fileName);

    // Runtime values
    QString initialLanguage() const;
    void setInitialLanguage(const QString &language);
    bool hasGraphicalUI() const;
    void setHasGraphicalUI(bool on);
    bool hasRemoteService() const;
    void setHasRemoteService(bool on);
    bool hasAudioService() const;
    void setHasAudioService(bool on);
    bool hasAudioSystem() const;
    void setHasAudioSystem(bool on);
    bool isFullscreen() const;
    void setIsFullscreen(bool on);
    bool isBorderless() const;
    void setIsBorderless(bool on);
    QRect fixedGeometry() const;
    void setFixedGeometry(const QRect &geometry);
    bool loopFiles() const;
    void setLoopFiles(bool on);
    bool clearServicesOnLoss() const;
    int clearServicesTimeout() const;
    void setClearServicesOnLoss(bool on, int timeoutSeconds);
    bool feVerbose() const;
    void setFeVerbose(bool on);
    bool forceFrontEndMode() const;
    void setForceFrontEndMode(bool on);
    bool feUdpCommands() const;
    void setFeUdpCommands(bool on);
    quint32 autoServiceId() const;
    bool isAutoServiceFixed() const;
    void setAutoServiceId(quint32 serviceId, bool fixed);
    bool audioSingleDecode() const;
    void setAudioSingleDecode(bool on);
    bool noSurround() const;
    void setNoSurround(bool on);
    bool hasRawAudioOutput() const;
    void setHasRawAudioOutput(bool on);
    bool hasWavAudioOutput() const;
    void setHasWavAudioOutput(bool on);
    int httpPort() const;
    void setHttpPort(int port);
    QString httpRootUrl() const;
    bool noFileMinimize() const;
    void setNoFileMinimize(bool on);
    bool noTemplateCache() const;
    void setNoTemplateCache(bool on);
    bool showTemplateInstructions() const;
    void setShowTemplateInstructions(bool on);
    int httpRefreshTime() const;
    void setHttpRefreshTime(int milliseconds);
    int httpNumRemoteClientsMaximum() const;
    void setHttpNumRemoteClientsMaximum(int maximum);
    QString remoteAccessPassword() const;
    void setRemoteAccessPassword(const QString &password);
    QString windowTitle() const;
    void setWindowTitle(const QString &title);
    QString uiTitle() const;
    void setUiTitle(const QString &title);
    bool isAudioRecording() const;
    void setIsAudioRecording(bool recording);

    // Configuration file, command line and the texts for the user
    // (ZOZSettingsConfigFile.cpp, ZOZSettingsCommandLine.cpp, ZOZSettingsRuntime.cpp).
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

    // False when a numeric option had an illegal value; unknown arguments are
    // reported but do not fail.
    bool parseCommandLine(const QStringList &arguments);
    // True when the file was read and its elements applied.
    bool parseConfigFile(ConfigPass pass);
    bool isHelpWanted() const;
    bool isVersionWanted() const;
    bool isCommandLineParsed() const;
    void showHelp();
    void showVersion();
    QString helpText() const;
    QList<HelpEntry> helpEntries() const;
    // Cuts the next chunk of at most `width` characters off `remaining` for the help table.
    static QString appendWrapped(QString &remaining, int width, bool skipBlanksAfter);

    QString dump() const;
    QStringList featureList() const;
    QString featuresText() const;
    QString versionText() const;
    TemplateValue announcementsValue() const;

    QMap<int, ConfigOption> configOptions() const;
    int configOptionValue(int id) const;
    // "ON" 1, "OFF" 0, else the decimal number (0 when it is none).
    static int configOptionValueFor(const QString &text);
    QList<FrontEndFrequency> scanFrequencies() const;
    bool hideHardCodedFrequencies() const;
    QList<FrontEndFrequency> frontEndFrequencies() const;
    QList<FrontEndFile> frontEndFiles() const;
    QStringList allowedDomains() const;
    bool hasPhysicalCache() const;

    static QStringList availableLanguages();
    // Translated display name (context "Language") -> code, so ordered by the
    // name the user reads.
    static QMap<QString, QString> languageNames();
    static QString languageIconPath(const QString &code);
    // "LANGUAGE_ICON": where the pages find the language flags.
    static TemplateValue languageIconValue();
    // "LANGUAGES": code -> translated display name, in the order of languageNames.
    static TemplateValue languagesValue();
    // The available language code matching `code` ignoring case; empty when none.
    static QString matchLanguage(const QString &code);
    // Front-end mode number of a name such as "dab" or "DRM-AM"; 0 when unknown.
    static int frontEndModeFor(const QString &name);
    // A channel label or a frequency in kHz; 0 when it is neither.
    static int scanFrequencyFor(const QString &frequencyOrId);
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
    // Cached value: store in the member, log, write the key; nothing when unchanged.
    template <typename T>
    void setPersistent(T &member, const T &value, const char *key, const QString &logText);
    // Value that every process reads from the store: written with a bump of
    // the change counter so that other processes notice it.
    void setShared(const char *key, const QVariant &value, const QVariant &defaultValue, const QString &logText);
    void bumpRegistryIndex();
    void addChange(int id);
    // Sets every config option of the tag; returns their old values.
    QList<int> storeConfigOption(const QString &tag, int value, bool onlyWhenDifferent);
    void applyConfigElement(const QDomElement &element, bool initial);
    void addHelpEntry(std::initializer_list<const char *> variants, const QString &text);
    bool showHelpWindow(const QString &text);
    bool showVersionWindow(const QString &text);
    static QMap<int, ConfigOption> defaultConfigOptions();
    void loadFrontEndMode(int mode);

    static std::atomic<Settings *> s_instance;

    QMutex m_listenerMutex;
    QList<Listener *> m_listeners;
    // Guards the values below; never held while listeners run or while logging.
    mutable QMutex m_valueMutex;
    QVector<int> m_changeSet;
    quint32 m_registryIndex = 0;
    int m_crashHandlingType = 1;
    QString m_homePath;
    QString m_archivesPath;
    int m_cachePathGeneration = 0;
    QString m_cachePath;
    QString m_styleRoot = QStringLiteral("style/");
    QString m_configFileName = QStringLiteral("zoz.cfg");
    QDateTime m_configFileTime;

    QMap<QString, quint32> m_announcements;
    QString m_recordingDirectory;
    int m_recordingTimelimit = 0;
    int m_recordingFormat[6] = {0, 0, 2, 1, 1, 1};
    int m_decoderMode = 2;
    int m_binauralPreset = 2;
    bool m_spokenLabelsActive = true;
    bool m_slsPermaCache = true;
    bool m_slsAltImages = true;
    int m_numRemoteClients = -1;

    int m_feMode = ModeNone;
    int m_feOptions[FrontEndOptionCount] = {};
    unsigned m_feFrequency = 0;
    QString m_feFileName;
    QMap<int, int> m_feSwapIq;

    QString m_initialLanguage;
    QString m_theme;
    bool m_hasGraphicalUI = true;
    bool m_hasRemoteService = false;
    bool m_hasAudioService = true;
    bool m_hasAudioSystem = true;
    bool m_isFullscreen = false;
    bool m_isBorderless = false;
    QRect m_fixedGeometry;
    bool m_loopFiles = true;
    bool m_clearServicesOnLoss = false;
    int m_clearServicesTimeout = 12;
    bool m_feVerbose = false;
    bool m_forceFrontEndMode = false;
    bool m_feUdpCommands = false;
    quint32 m_autoServiceId = 0xFFFFFFFFu;
    bool m_autoServiceFixed = false;
    bool m_audioSingleDecode = true;
    bool m_noSurround = false;
    bool m_hasRawAudioOutput = false;
    bool m_hasWavAudioOutput = false;
    int m_httpPort = -1;
    bool m_noFileMinimize = false;
    bool m_noTemplateCache = false;
    bool m_showTemplateInstructions = false;
    int m_httpRefreshTime = 1000;
    QString m_httpRootUrl;
    int m_httpNumRemoteClientsMaximum = -1;
    QString m_remoteAccessPassword = QStringLiteral("zir7oro");
    QString m_windowTitle;
    QString m_uiTitle;
    bool m_isAudioRecording = false;

    QMap<int, ConfigOption> m_configOptions = defaultConfigOptions();
    QList<FrontEndFrequency> m_scanFrequencies;
    bool m_hideHardCodedFrequencies = false;
    QList<FrontEndFrequency> m_frontEndFrequencies;
    QList<FrontEndFile> m_frontEndFiles;
    QStringList m_allowedDomains;
    bool m_hasPhysicalCache = true;
    bool m_helpWanted = false;
    bool m_versionWanted = false;
    bool m_commandLineParsed = false;
    QList<HelpEntry> m_helpEntries;
};

} // namespace ZOZ
