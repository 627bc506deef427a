#include "settings/ZOZSettingsTable.h"

#include <QCoreApplication>

#include <iterator>

namespace ZOZ {

namespace {

using Type = SettingRow::Type;
constexpr qint64 NoLimit = SettingRow::NoLimit;
constexpr int NoRetired = SettingRow::NoRetiredValue;
constexpr unsigned Shared = SettingRow::Shared;

// Recording formats run from 0 to 2; a stored 3 is an old format that this
// program no longer writes.
constexpr qint64 MaxRecordingFormat = 2;
constexpr int RetiredRecordingFormat = 3;
constexpr unsigned RecordingFormatFlags = SettingRow::WrittenFirst;

// Rows are looked up by their id as an index.
template <typename Row, size_t N>
constexpr bool isIndexedById(const Row (&rows)[N])
{
    for (size_t i = 0; i < N; ++i) {
        if (size_t(rows[i].id) != i)
            return false;
    }
    return true;
}

// Indexed by Setting.
constexpr SettingRow Rows[] = {
    {Setting::RecordingTimelimit, "Settings/Audio/recordingTimelimit", Type::Int, 0, 0, NoLimit, NoRetired,
     SettingRow::ClampedOnRead, "Settings::setAudioRecordingTimelimit() -> new value: '%1'"},
    {Setting::RecordingFormatDabClassic, "Settings/Audio/recordingFormatDABclassic", Type::Int, 0, 0,
     MaxRecordingFormat, RetiredRecordingFormat, RecordingFormatFlags,
     "Settings::setAudioRecordingFormat() -> new value for DAB_CLASSIC: '%1'"},
    {Setting::RecordingFormatDabPlus, "Settings/Audio/recordingFormatDABplus", Type::Int, 2, 0, MaxRecordingFormat,
     RetiredRecordingFormat, RecordingFormatFlags, "Settings::setAudioRecordingFormat() -> new value for DAB_PLUS: '%1'"},
    {Setting::RecordingFormatDrm, "Settings/Audio/recordingFormatDRM", Type::Int, 1, 0, MaxRecordingFormat,
     RetiredRecordingFormat, RecordingFormatFlags, "Settings::setAudioRecordingFormat() -> new value for DRM: '%1'"},
    {Setting::RecordingFormatFm, "Settings/Audio/recordingFormatFM", Type::Int, 1, 0, MaxRecordingFormat,
     RetiredRecordingFormat, RecordingFormatFlags, "Settings::setAudioRecordingFormat() -> new value for FM: '%1'"},
    {Setting::RecordingFormatAm, "Settings/Audio/recordingFormatAM", Type::Int, 1, 0, MaxRecordingFormat,
     RetiredRecordingFormat, RecordingFormatFlags, "Settings::setAudioRecordingFormat() -> new value for AM: '%1'"},
    {Setting::DecoderMode, "Settings/Audio/decoderMode", Type::Int, 2, 0, 2, NoRetired, 0,
     "Settings::setAudioDecoderMode() -> new value: '%1'"},
    {Setting::BinauralPreset, "Settings/Audio/binauralPreset", Type::Int, 2, 1, 3, NoRetired, 0,
     "Settings::setAudioBinauralPreset() -> new value: '%1'"},
    {Setting::SpokenLabelsActive, "Settings/Audio/spokenLabelsActive", Type::Bool, true, NoLimit, NoLimit, NoRetired, 0,
     "Settings::setSpokenLabelsActive() -> new value: '%1'"},
    {Setting::SlsPermaCache, "Settings/SlideShow/hasPermaCache", Type::Bool, true, NoLimit, NoLimit, NoRetired, 0,
     "Settings::slsSetPermaCache() -> changed to: '%1'"},
    {Setting::SlsAltImages, "Settings/SlideShow/hasAltImages", Type::Bool, true, NoLimit, NoLimit, NoRetired, 0,
     "Settings::slsSetAltImages() -> changed to: '%1'"},
    // -1: no limit on remote browsers.
    {Setting::NumRemoteClients, "Settings/Http/numRemoteClients", Type::Int, -1, NoLimit, NoLimit, NoRetired,
     SettingRow::OwnSetter, nullptr},
    {Setting::CrashHandlingType, "Settings/App/crashHandlingType", Type::Int, 1, NoLimit, NoLimit, NoRetired, 0,
     "Settings::setCrashHandlingType() -> new value: '%1'"},
    {Setting::GuiShowBubbles, "Settings/Gui/showBubbles", Type::Bool, false, NoLimit, NoLimit, NoRetired, Shared,
     "Settings::setGuiShowBubbles() -> show bubbles: '%1'"},
    {Setting::JouApIncRoot, "Settings/Journaline/apIncRoot", Type::Bool, false, NoLimit, NoLimit, NoRetired, Shared,
     "Settings::jouSetApIncRoot() -> changed to: '%1'"},
    {Setting::JouApShowButton, "Settings/Journaline/apShowButton", Type::Bool, false, NoLimit, NoLimit, NoRetired,
     Shared, "Settings::jouSetApShowButton() -> changed to: '%1'"},
    {Setting::JouApTimestep, "Settings/Journaline/apTimestep", Type::UInt, 15, NoLimit, NoLimit, NoRetired, Shared,
     "Settings::jouSetApTimestep() -> changed to: '%1'"},
    {Setting::JouExtEnabled, "Settings/Journaline/extEnabled", Type::Bool, true, NoLimit, NoLimit, NoRetired, Shared,
     "Settings::jouSetExtEnabled() -> changed to: '%1'"},
};
static_assert(std::size(Rows) == size_t(Setting::Count) && isIndexedById(Rows));

// Indexed by RuntimeFlag.
constexpr RuntimeFlagRow FlagRows[] = {
    {RuntimeFlag::HasGraphicalUI, "hasGraphicalUI", true, nullptr},
    {RuntimeFlag::HasRemoteService, "hasRemoteService", false, nullptr},
    {RuntimeFlag::HasAudioService, "hasAudioService", true, nullptr},
    {RuntimeFlag::HasAudioSystem, "hasAudioSystem", true, nullptr},
    {RuntimeFlag::IsFullscreen, "isFullscreen", false, nullptr},
    {RuntimeFlag::IsBorderless, "isBorderless", false, nullptr},
    {RuntimeFlag::LoopFiles, "loopFiles", true, nullptr},
    {RuntimeFlag::FeVerbose, "feVerbose", false, nullptr},
    {RuntimeFlag::ForceFrontEndMode, "forceFrontEndMode", false, nullptr},
    {RuntimeFlag::FeUdpCommands, "feUdpCommands", false, nullptr},
    {RuntimeFlag::AudioSingleDecode, "audioSingleDecode", true, nullptr},
    {RuntimeFlag::NoSurround, "noSurround", false, nullptr},
    {RuntimeFlag::HasRawAudioOutput, "hasRawAudioOutput", false, nullptr},
    {RuntimeFlag::HasWavAudioOutput, "hasWavAudioOutput", false, nullptr},
    {RuntimeFlag::NoFileMinimize, "noFileMinimize", false, nullptr},
    {RuntimeFlag::NoTemplateCache, "noTemplateCache", false, nullptr},
    {RuntimeFlag::ShowTemplateInstructions, "showTemplateInstr.", false, nullptr},
    {RuntimeFlag::HasPhysicalCache, nullptr, true, nullptr},
    {RuntimeFlag::HideHardCodedFrequencies, nullptr, false, nullptr},
    // Never stored: a recording does not outlive the process.
    {RuntimeFlag::IsAudioRecording, nullptr, false, "Settings::setIsAudioRecording() -> new value: '%1'"},
    {RuntimeFlag::HelpWanted, nullptr, false, nullptr},
    {RuntimeFlag::VersionWanted, nullptr, false, nullptr},
    {RuntimeFlag::CommandLineParsed, nullptr, false, nullptr},
};
static_assert(std::size(FlagRows) == size_t(RuntimeFlag::Count) && isIndexedById(FlagRows));

const AnnouncementRow AnnouncementRows[] = {
    {"DAB", 0xFFFFFFFFu}, {"DABapps", 0xFFFFFFFFu}, {"DRM", 0xFFFFFFFFu}, {"DRMapps", 0xFFFFFFFFu}, {"Epilog", 1u},
};

// Front-end option ids, as Settings::FrontEndOption names them.
constexpr int OptionAgc = 1;
constexpr int OptionFrequencySet = 6;
constexpr int OptionFilter = 9;
constexpr int OptionGain = 13;
constexpr int OptionMixer = 15;
constexpr int OptionLna = 17;

const FrontEndKeyRow FrontEndKeys[] = {
    {OptionFilter, "filter", 1, false}, {OptionAgc, "agc", 1, false}, {OptionGain, "gain", 0, true},
    {OptionMixer, "mixer", 0, false},   {OptionLna, "lna", 0, false},
};

const struct
{
    int option;
    int value;
} FrontEndOptionDefaults[] = {
    {OptionAgc, 1}, {3, 1}, {4, -1}, {OptionFrequencySet, 1}, {OptionFilter, 1}, {12, 59},
};

const ConfigOptionRow ConfigOptions[] = {
    {2, "SETTINGS", 1, QT_TRANSLATE_NOOP("ConfigOptions", "Enable settings for the user interface")},
    {3, "DELETE_COOKIES", 0,
     QT_TRANSLATE_NOOP("ConfigOptions", "Will automatically delete any cookies for active domain when localStorage "
                                        "functionality is available in browser")},
    {4, "THEMES_RUNTIME", 0, QT_TRANSLATE_NOOP("ConfigOptions", "Allow to switch themes at runtime")},
    {5, "SHOW_HTTP_CONFIG", 1, QT_TRANSLATE_NOOP("ConfigOptions", "Show HTTP port in settings info tab")},
    {6, "SERVICE_LOGOS", 1, QT_TRANSLATE_NOOP("ConfigOptions", "Show service logos or not")},
    {7, "SHOW_QUIT", 1, QT_TRANSLATE_NOOP("ConfigOptions", "Show quit option in UI")},
};

} // namespace

std::span<const SettingRow> settingRows()
{
    return Rows;
}

const SettingRow &settingRow(Setting id)
{
    return Rows[size_t(id)];
}

std::span<const RuntimeFlagRow> runtimeFlagRows()
{
    return FlagRows;
}

const RuntimeFlagRow &runtimeFlagRow(RuntimeFlag id)
{
    return FlagRows[size_t(id)];
}

std::span<const AnnouncementRow> announcementRows()
{
    return AnnouncementRows;
}

std::span<const FrontEndKeyRow> frontEndKeyRows()
{
    return FrontEndKeys;
}

const char *frontEndKeyName(int option)
{
    for (const FrontEndKeyRow &row : FrontEndKeys) {
        if (row.option == option)
            return row.name;
    }
    return nullptr;
}

int frontEndOptionDefault(int option)
{
    for (const auto &entry : FrontEndOptionDefaults) {
        if (entry.option == option)
            return entry.value;
    }
    return 0;
}

std::span<const ConfigOptionRow> configOptionRows()
{
    return ConfigOptions;
}

} // namespace ZOZ
