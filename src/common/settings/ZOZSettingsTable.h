#pragma once

#include <QtGlobal>

#include <limits>
#include <span>

namespace ZOZ {

// The persistent values that follow one pattern: a key of the settings store,
// a type, a default, an accepted range and the text logged when they change.
// Values with rules of their own (the recording folder, the announcement
// masks, the front end's per-mode keys) keep their own code in Settings.
enum class Setting {
    RecordingTimelimit,
    RecordingFormatDabClassic,
    RecordingFormatDabPlus,
    RecordingFormatDrm,
    RecordingFormatFm,
    RecordingFormatAm,
    DecoderMode,
    BinauralPreset,
    SpokenLabelsActive,
    SlsPermaCache,
    SlsAltImages,
    NumRemoteClients,
    CrashHandlingType,
    GuiShowBubbles,
    JouApIncRoot,
    JouApShowButton,
    JouApTimestep,
    JouExtEnabled,
    Count
};

struct SettingRow
{
    enum class Type { Bool, Int, UInt };
    enum Flag : unsigned {
        // Never cached: every user reads the store, so every process sees a
        // change. The setter compares with the stored value and bumps
        // "registryIdx", which other processes see as SharedSettingChanged.
        Shared = 1u << 0,
        // A stored value below the minimum is read as the minimum.
        ClampedOnRead = 1u << 1,
        // The setter writes the store before it updates its cached value.
        WrittenFirst = 1u << 2,
        // The setter has rules beyond the row (Settings::setHttpNumRemoteClients).
        OwnSetter = 1u << 3,
    };
    static constexpr qint64 NoLimit = std::numeric_limits<qint64>::min();
    static constexpr int NoRetiredValue = std::numeric_limits<int>::min();

    Setting id;
    const char *key;
    Type type;
    qint64 defaultValue;
    qint64 minimum; // NoLimit: unbounded
    qint64 maximum; // NoLimit: unbounded
    // A stored value that this program no longer writes; it reads as the default.
    int retiredValue;
    unsigned flags;
    // Logged with the notice bit when an accepted value is stored; %1 is the value.
    const char *logText;

    bool has(Flag flag) const { return (flags & flag) != 0; }
    bool isRanged() const { return minimum != NoLimit || maximum != NoLimit; }
    bool inRange(qint64 value) const
    {
        return (minimum == NoLimit || value >= minimum) && (maximum == NoLimit || value <= maximum);
    }
};

// Every row, in the order in which the settings object reads them.
std::span<const SettingRow> settingRows();
const SettingRow &settingRow(Setting id);

// Values that live for one run only, switched by the command line, the
// configuration file and the start-up code.
enum class RuntimeFlag {
    HasGraphicalUI,
    HasRemoteService,
    HasAudioService,
    HasAudioSystem,
    IsFullscreen,
    IsBorderless,
    LoopFiles,
    FeVerbose,
    ForceFrontEndMode,
    FeUdpCommands,
    AudioSingleDecode,
    NoSurround,
    HasRawAudioOutput,
    HasWavAudioOutput,
    NoFileMinimize,
    NoTemplateCache,
    ShowTemplateInstructions,
    HasPhysicalCache,
    HideHardCodedFrequencies,
    IsAudioRecording,
    HelpWanted,
    VersionWanted,
    CommandLineParsed,
    Count
};

struct RuntimeFlagRow
{
    RuntimeFlag id;
    const char *dumpName; // the label of the settings dump; null when not dumped
    bool defaultValue;
    // Logged with the notice bit when the flag changes; null: silent.
    const char *logText;
};

std::span<const RuntimeFlagRow> runtimeFlagRows();
const RuntimeFlagRow &runtimeFlagRow(RuntimeFlag id);

// The announcement masks kept under "Announcements/" + type.
struct AnnouncementRow
{
    const char *type;
    quint32 defaultMask;
};
std::span<const AnnouncementRow> announcementRows();

// The front end's keys per mode, "Settings/FrontEnd/<mode>/<name>", in the
// order in which a mode change applies them.
struct FrontEndKeyRow
{
    int option; // the front-end option id the key holds
    const char *name;
    qint64 defaultValue;
    bool isUnsigned;
};
std::span<const FrontEndKeyRow> frontEndKeyRows();
// The key name of a front-end option; null for options kept in memory only.
const char *frontEndKeyName(int option);
// The value a front-end option starts with (0 for most).
int frontEndOptionDefault(int option);

// The config options switched with "-o" and the configuration file's option
// element; descriptions are translated in context "ConfigOptions".
struct ConfigOptionRow
{
    int id;
    const char *tag;
    int defaultValue;
    const char *description;
};
std::span<const ConfigOptionRow> configOptionRows();

} // namespace ZOZ
