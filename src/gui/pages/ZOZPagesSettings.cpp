// The settings page: its texts in the user's language and the values of the
// moment, filled afresh for every request.
#include "ZOZPages.h"

#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

// The SlideShow cache keeps at most this many slides.
constexpr int SlideCacheSize = 100;
// The theme whose pages have no hotkeys.
constexpr int ThemeWithoutHotkeys = 3;

QString translated(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

// Variables of one context, set in table order.
struct TextRow
{
    const char *variable;
    const char *text;
};

void setTexts(HtmlTemplate &page, const char *context, std::initializer_list<TextRow> rows)
{
    for (const TextRow &row : rows)
        page.setVariable(QString::fromLatin1(row.variable), translated(context, row.text));
}

// Recording types as the variables name them, with their numbers.
struct RecordingType
{
    const char *tag;
    int type;
};
constexpr RecordingType RecordingTypes[] = {
    {"DABclassic", Settings::DabClassic}, {"DABplus", Settings::DabPlus}, {"DRM", Settings::Drm},
    {"FM", Settings::Fm},                 {"AM", Settings::Am},
};

TemplateVariable::Row hotkey(const QString &key, const char *description)
{
    return {TemplateVariable(QStringLiteral("key"), key), TemplateVariable(QStringLiteral("description"), translated("General", description))};
}

QString keyCap(const QString &label)
{
    return QStringLiteral("<div class='button'>") + label + QStringLiteral("</div>");
}

TemplateVariable::Rows focusedHotkeys(bool fullSet)
{
    TemplateVariable::Rows rows {
        hotkey(keyCap(translated("General", "Space")), "Mute/Unmute Audio"),
        hotkey(keyCap(QStringLiteral("&larr;")), "Decrease Volume"),
        hotkey(keyCap(QStringLiteral("&rarr;")), "Increase Volume"),
        hotkey(keyCap(QStringLiteral("&uarr;")), "Select previous service"),
        hotkey(keyCap(QStringLiteral("&darr;")), "Select next service"),
    };
    if (!fullSet)
        return rows;
    const QString plus = QStringLiteral(" + ");
    const QString alt = keyCap(QStringLiteral("Alt"));
    rows << hotkey(alt + plus + keyCap(QStringLiteral("&larr;")), "History: Back")
         << hotkey(alt + plus + keyCap(QStringLiteral("&rarr;")), "History: Forward")
         << hotkey(keyCap(QStringLiteral("J")), "Zoom In") << hotkey(keyCap(QStringLiteral("K")), "Zoom Out")
         << hotkey(keyCap(QStringLiteral("L")), "Default Zoom")
         << hotkey(alt + plus + keyCap(QStringLiteral("&crarr;")), "Switch Fullscreen/Window")
         << hotkey(keyCap(translated("General", "Ctrl")) + plus + keyCap(QStringLiteral("Q")), "Quit Application")
         << hotkey(keyCap(QStringLiteral("Shift")) + plus + keyCap(QStringLiteral("F5")), "Clear cache and reload page")
         << hotkey(keyCap(QStringLiteral("F5")), "Service Selection") << hotkey(keyCap(QStringLiteral("F7")), "Settings")
         << hotkey(keyCap(QStringLiteral("F9")), "Open up interface in default browser");
    return rows;
}

TemplateVariable::Rows mediaHotkeys()
{
    const QString prefix = QStringLiteral("<div class='button'>Media ") + translated("General", "Key");
    return {
        hotkey(prefix + QStringLiteral(": <div class='mplaypause'>&nbsp;</div></div>"), "Mute/Unmute Audio"),
        hotkey(prefix + QStringLiteral(": <div class='mprevtrack'>&nbsp;</div></div>"), "Select previous service"),
        hotkey(prefix + QStringLiteral(": <div class='mnexttrack'>&nbsp;</div></div>"), "Select next service"),
    };
}

} // namespace

const char *recordingFormatSuffix(const int &format)
{
    switch (format) {
    case 1: return "WAV";
    case 2: return "M4A";
    case 3: return "DCP";
    default: return "RAW";
    }
}

void Pages::fillSettingsPage(HtmlTemplate &page, const HttpRequest &request)
{
    const Settings &settings = *m_settings;
    int theme = 0;
    m_links.withHost([&theme](PageHost &host) { theme = host.currentTheme(); });
    if (request.query.contains(QStringLiteral("category")))
        page.setTextVariable(QStringLiteral("PRESELECTED_CATEGORY"), request.query.value(QStringLiteral("category")));
    page.setVariable(QStringLiteral("IS_ZOZ"), request.hasIsZOZ);
    page.setVariable(QStringLiteral("ENABLE_REC_DIR_CHANGE"), true);
    page.setVariable(QStringLiteral("ENABLE_DAB"), true);
    page.setVariable(QStringLiteral("REMOTE_SETTINGS"), request.remote);

    setTexts(page, "General",
             {{"STR_DAYS", "days"},         {"STR_OFF", "Off"},           {"STR_ON", "On"},
              {"STR_AND", "and"},           {"STR_DELAYED", "Delayed"},   {"STR_INSTANT", "Instant"},
              {"STR_NORMAL", "Normal"},     {"STR_GENERAL", "General"},   {"STR_SETTINGS", "Settings"},
              {"STR_RIGHT", "Right"},       {"STR_LEFT", "Left"},         {"STR_BACK", "Back"},
              {"STR_FRONT", "Front"},       {"STR_CENTER", "Center"},     {"STR_PRESETS", "Presets"},
              {"STR_DATA", "data"},         {"STR_DISABLED", "disabled"}, {"STR_UNLIMITED", "unlimited"},
              {"STR_CHANGE", "Change"},     {"STR_PLEASE_NOTE", "Note"}});

    setTexts(page, "Settings",
             {{"STR_ACCESS_VIOLATION", "<b>Access Violation</b><br/>You do not have the rights to change this setting!"},
              {"STR_HTTP_TITLE", "HTTP"},
              {"STR_AUTO_ORIENTATION_TITLE", "Orientation Settings"},
              {"STR_AUTO_ORIENTATION_DESCRIPTION",
               "Certain pages of the user interface can adapt to orientation changes (e.g. on mobile devices) and show an "
               "alternative layout. You can enable and disable this feature here."},
              {"STR_AUTO_ORIENTATION", "Activate alternative layout for landscape mode"},
              {"STR_TOOLTIP_TITLE", "Tooltip Settings"},
              {"STR_TOOLTIP_DESCRIPTION",
               "Mouseover Tooltips give short hints about certain functions and features. You can select whether to show "
               "them in a delayed fashion or at all."}});

    setTexts(page, "Settings",
             {{"STR_JOU_TITLE", "Journaline Settings"},
              {"STR_JOU_DESCRIPTION",
               "You can change the behaviour of the Journaline AutoPlay feature. By default, the AutoPlay feature will "
               "not include the root object and step from one Journaline object to another in 15 seconds."},
              {"STR_JOU_EXT_ENABLED", "Enable extended Journaline"}});
    page.setVariable(QStringLiteral("JOU_EXT_ENABLED"), Settings::jouGetExtEnabled());
    page.setVariable(QStringLiteral("STR_JOU_AP_SHOW_BUTTON"), translated("Settings", "Show AutoPlay button"));
    page.setVariable(QStringLiteral("JOU_AP_SHOW_BUTTON"), Settings::jouGetApShowButton());
    page.setVariable(QStringLiteral("STR_JOU_AP_INC_ROOT"), translated("Settings", "Include root object when auto playing"));
    page.setVariable(QStringLiteral("JOU_AP_INC_ROOT"), Settings::jouGetApIncRoot());
    page.setVariable(QStringLiteral("STR_JOU_AP_TIMESTEP"), translated("Settings", "Time between one object to another"));
    if (request.hasIsZOZ)
        page.setVariable(QStringLiteral("CURRENT_JOU_AP_TIMESTEP"), Settings::jouGetApTimestep());
    else
        page.setVariable(QStringLiteral("CURRENT_JOU_AP_TIMESTEP"), QString());

    setTexts(page, "Settings",
             {{"STR_SLS_TITLE", "SlideShow Settings"},
              {"STR_SLS_DESCRIPTION",
               "You can change the behaviour of the SlideShow decoder. By default, slides will be cached locally for easy "
               "access at restart of this application. However, you may want to prevent usage on a system with low "
               "memory space. You can also deny access to alternative images that are downloaded over HTTP Internet "
               "connection."},
              {"STR_SLS_PERMA_CACHE", "Store slides in local file cache"}});
    page.setVariable(QStringLiteral("STR_SLS_PERMA_CACHE_NOTES"),
                     translated("Settings", "<ul><li>There is a maximum cache size of %1 slides (not including downloaded "
                                    "alternative images)</li><li>Slides are automatically deleted, if expiration time is "
                                    "signalled correctly</li></ul>")
                         .arg(SlideCacheSize));
    setTexts(page, "Settings",
             {{"STR_SLS_ALT_IMAGES", "Download alternative images over HTTP Internet connection (if available)"},
              {"STR_SLS_ALT_IMAGES_NOTES",
               "<ul><li>Deactivation of alternative images prevents seeing future slides that are only available over "
               "Internet</li></ul>"},
              {"STR_SLS_CLEAR_CACHE", "Delete all slides from local file cache"}});
    page.setVariable(QStringLiteral("SLS_PERMA_CACHE"), settings.slsHasPermaCache());
    page.setVariable(QStringLiteral("SLS_ALT_IMAGES"), settings.slsHasAltImages());

    page.setVariable(QStringLiteral("OPTION_GUI"), true);
    setTexts(page, "Settings",
             {{"STR_BUBBLE_TITLE", "Bubble Settings"},
              {"STR_BUBBLE_DESCRIPTION",
               "A bubble message will be shown whenever Dynamic Label+ signals the starts of a new song. You can turn "
               "these messages on if so desired."}});
    page.setVariable(QStringLiteral("CURRENT_BUBBLE_MODE"), Settings::getGuiShowBubbles() ? "1" : "0");

    setTexts(page, "Settings",
             {{"STR_ANNOUNCEMENTS_TITLE", "Announcements"},
              {"STR_ANNOUNCEMENTS_DESCRIPTION_FLAGS",
               "Here you can decide which announcement types you would like to listen to. If the selected service "
               "supports that announcement, you will automatically hear the announcement and resume your normal "
               "listening experience as soon as it is over. Some announcement services also carry additional Journaline "
               "or SlideShow. The default behaviour is to automatically view the available component if present."},
              {"STR_ANNOUNCEMENTS_FLAG_TYPE_D", "Listen to announcement and view available Journaline/SlideShow"},
              {"STR_ANNOUNCEMENTS_FLAG_TYPE_A", "Listen to announcement only"},
              {"STR_ANNOUNCEMENTS_FLAG_TYPE_I", "Ignore this announcement"},
              {"STR_ANNOUNCEMENTS_DESCRIPTION_EPILOG",
               "You can define the behaviour for when an announcement is finished here. The default is to return to the "
               "last page you currently had open. Please note that selecting another service during an announcement "
               "will restart this mechanism."},
              {"STR_ANNOUNCEMENTS_EPILOG_0", "Stay on current page / Do nothing"},
              {"STR_ANNOUNCEMENTS_EPILOG_1",
               "Switch back to last page before announcement (only if Journaline/SlideShow was autoselected)"},
              {"STR_ANNOUNCEMENTS_EPILOG_2", "Go back to service selection page"}});

    if (settings.configOptionValue(Settings::OptionThemesRuntime) != 0) {
        page.setVariable(QStringLiteral("OPTION_THEMES"), true);
        setTexts(page, "Settings",
                 {{"STR_THEMES_TITLE", "Theme Settings"},
                  {"STR_THEMES_DESCRIPTION",
                   "You can change themes at runtime. Just choose one, but remember that the changes take effect "
                   "immediately."}});
        page.setVariable(QStringLiteral("CURRENT_THEME"), unsigned(theme));
        // This build has no theme table: no theme is available to offer.
        page.expandLoops(QStringLiteral("THEMES"), {});
    }

    setTexts(page, "Settings",
             {{"STR_NOTIFY_TITLE", "Notify Settings"},
              {"STR_NOTIFY_DESCRIPTION",
               "A bubble message will be shown whenever a notification is popping up. This will be helpful if you don't "
               "want to miss out on important messages while the application is minimized."},
              {"STR_NOTIFY_MODE_1", "Only report errors"},
              {"STR_NOTIFY_MODE_2", "Report errors and warnings"},
              {"STR_NOTIFY_MODE_3", "Forward all notifies"}});
    page.setVariable(QStringLiteral("CURRENT_NOTIFY_MODE"), m_manager->notifyBubbleMode());

    page.setVariable(QStringLiteral("OPTION_CRASH_HANDLING"), false);
    setTexts(page, "Settings",
             {{"STR_CRASH_HANDLING_TITLE", "Crash Handling"},
              {"STR_CRASH_HANDLING_DESCRIPTION",
               "In case of a crash the application can be restarted. Please select the default behaviour:"},
              {"STR_CRASH_HANDLING_QUIT", "Quit the application"},
              {"STR_CRASH_HANDLING_RESTART", "Restart the application without asking"},
              {"STR_CRASH_HANDLING_ASK", "Ask the user what to do"}});
    page.setVariable(QStringLiteral("CURRENT_CRASH_HANDLING_TYPE"), Settings::getCrashHandlingType());

    fillAudioSections(page);

    page.setVariable(QStringLiteral("SETTINGS_INFO_HOTKEYS_DENIED"), theme == ThemeWithoutHotkeys);
    page.setVariable(QStringLiteral("STR_INFO"), translated("General", "Info"));
    page.setVariable(QStringLiteral("STR_HOTKEYS_TITLE"), translated("General", "Hotkeys"));
    setTexts(page, "Settings",
             {{"STR_HOTKEYS_DESCRIPTION_FOCUSED",
               "These are the predefined hotkeys to control the application while in focus."},
              {"STR_HOTKEYS_DESCRIPTION_GLOBAL",
               "The following hotkeys are predefined globally and will be active even if application is minimized to "
               "tray."}});
    page.expandLoops(QStringLiteral("HOTKEYS1"), focusedHotkeys(request.hasIsZOZ));
    if (request.hasIsZOZ)
        page.expandLoops(QStringLiteral("HOTKEYS2"), mediaHotkeys());
    if (!request.remote)
        page.setVariable(QStringLiteral("ZOZ_IS_LOCAL"), true);
}

void Pages::fillAudioSections(HtmlTemplate &page)
{
    const Settings &settings = *m_settings;
    page.setVariable(QStringLiteral("SETTINGS_AUDIO"), true);
    page.setVariable(QStringLiteral("SETTINGS_SPOKENLABELS"), true);
    setTexts(page, "Settings",
             {{"STR_SPOKENLABELS_TITLE", "SpokenLabels"},
              {"STR_SPOKENLABELS_DESCRIPTION", "Here you can change whether the service labels are read out on selection or not."}});
    page.setVariable(QStringLiteral("STR_AUDIO"), translated("General", "Audio"));
    setTexts(page, "Settings",
             {{"STR_MAXVOL_TITLE", "Maximum Volume"},
              {"STR_MAXVOL_DESCRIPTION", "Here you can change the currently possible maximum volume level."},
              {"STR_MAXVOL_TOOLTIP", "Maximum Volume Level"},
              {"STR_ACTIVATE_TESTMODE", "Activate Test Mode"},
              {"STR_DEACTIVATE_TESTMODE", "Deactivate Test Mode"},
              {"STR_TOOLTIP_TESTMODE",
               "The Test Mode allows for playback of a simple test sound on one the channels.<br/>Just click on the "
               "appropriate channel symbol to start testing."}});

    if (m_links.hasAudio()) {
        page.setVariable(QStringLiteral("SETTINGS_AUDIO_DEVICE"), true);
        setTexts(page, "Settings",
                 {{"STR_DEVICE_TITLE", "Audio Output Device"},
                  {"STR_DEVICE_DESCRIPTION",
                   "Here you can change the currently assigned audio output device. Simply chose another and the "
                   "application will automatically switch to that device."}});
    }

    page.setVariable(QStringLiteral("RECORDING_ENABLED"), true);
    page.setVariable(QStringLiteral("CURRENT_AUDIO_RECORDER_TIMELIMIT"), settings.audioRecordingTimelimit());
    // A folder name is the user's text: escaped where it stands.
    page.setTextVariable(QStringLiteral("CURRENT_AUDIO_RECORDER_DIRECTORY"), settings.audioRecordingDirectory());
    page.setTextVariable(QStringLiteral("CURRENT_RECORDER_DIRECTORY"), settings.audioRecordingDirectory());
    for (const RecordingType &type : RecordingTypes) {
        const int format = settings.audioRecordingFormat(type.type);
        page.setVariable(QStringLiteral("CURRENT_RECORDER_FORMAT_%1_%2")
                             .arg(QLatin1String(type.tag), QLatin1String(recordingFormatSuffix(format))),
                         true);
    }
    page.setVariable(QStringLiteral("RECORDING_FORMAT_TYPE_RAW"), 0);
    page.setVariable(QStringLiteral("RECORDING_FORMAT_TYPE_WAVE"), 1);
    page.setVariable(QStringLiteral("RECORDING_FORMAT_TYPE_M4A"), 2);
    page.setVariable(QStringLiteral("RECORDING_FORMAT_TYPE_DCP"), 3);
    for (const RecordingType &type : RecordingTypes)
        page.setVariable(QStringLiteral("RECORDING_FORMAT_") + QLatin1String(type.tag), type.type);
    page.setVariable(QStringLiteral("STR_RECORDER_DIRECTORY"), translated("Settings", "Recorder Directory"));
    page.setVariable(QStringLiteral("STR_RECORDER_OPEN"), translated("General", "Open Recording Directory"));
    setTexts(page, "Settings",
             {{"STR_RECORDER_AAC_WARNING",
               "File format of DAB+ mp4 is not playable with every playback software! (The player needs to support the "
               "AAC option of 960 transformation length.)<br/>File format of DAB+ Subchannel is not playable with "
               "currently known playback software!"},
              {"STR_RECORDER_STEREO_SURROUND_WARNING", "For 5.1 Surround transmissions the wave file will carry 6 channels."},
              {"STR_RECORDER_NOTIFICATION",
               "ATTENTION: Recording is currently in progress. Changing these settings will immediately take effect and "
               "create a new recording file."}});
    const QString recorderFormat = translated("Settings", "Recorder Format");
    page.setVariable(QStringLiteral("STR_RECORDER_FORMAT_DABclassic"), recorderFormat + QStringLiteral(" DAB Classic"));
    page.setVariable(QStringLiteral("STR_RECORDER_FORMAT_DABplus"), recorderFormat + QStringLiteral(" DAB+"));
    page.setVariable(QStringLiteral("STR_RECORDER_FORMAT_DRM"), recorderFormat + QStringLiteral(" DRM"));
    page.setVariable(QStringLiteral("STR_RECORDER_FORMAT_FM"), recorderFormat + QStringLiteral(" FM"));
    page.setVariable(QStringLiteral("STR_RECORDER_FORMAT_AM"), recorderFormat + QStringLiteral(" AM"));
    setTexts(page, "Settings",
             {{"STR_RECORDER_FORMAT_WAV", "Uncompressed Wave File (.wav)"},
              {"STR_RECORDER_FORMAT_DCP", "Whole Multiplex DCP (.dcp)"},
              {"STR_RECORDER_FORMAT_DABplus_M4A", "DAB+ audio file (.mp4, MPEG-4 HE-AAC)"},
              {"STR_RECORDER_FORMAT_DRM_M4A", "DRM audio file (AAC: .mp4; HVXC/CELP: .wav)"},
              {"STR_RECORDER_TIMELIMIT", "Timelimit of Recording Process"},
              {"STR_RECORDER_SETTINGS", "Recorder Settings"},
              {"STR_RECORDER_DIRECTORY_REMOTE_NOTE", "The recording directory can only be changed locally at the moment."}});

    page.setVariable(QStringLiteral("SETTINGS_AUDIO_BINAURAL"), true);
    setTexts(page, "Settings",
             {{"STR_BINAURAL_DESCRIPTION",
               "Services that support DAB Surround may play the surround sound over headphones. Please make sure to use "
               "headphones while this mode is active."},
              {"STR_AUDIO_DECODER_BINAURAL", "Binaural playback (Surround via Headphones) if possible"}});
    page.setVariable(QStringLiteral("CURRENT_AUDIO_BINAURAL_PRESET"), settings.audioBinauralPreset());
    setTexts(page, "General", {{"STR_DRY_ROOM", "Dry Room"}, {"STR_LIVING_ROOM", "Living Room"}, {"STR_CINEMA", "Cinema"}});

    page.setVariable(QStringLiteral("SETTINGS_AUDIO_SURROUND"), true);
    page.setVariable(QStringLiteral("CURRENT_AUDIO_DECODER_MODE"), settings.audioDecoderMode());
    setTexts(page, "General", {{"STR_DECODER_SETTINGS", "Decoder Settings"}, {"STR_VOLUME_SETTINGS", "Volume Settings"}});
    setTexts(page, "Settings",
             {{"STR_AUDIO_DECODER_STEREO", "Mono and Stereo playback only"},
              {"STR_AUDIO_DECODER_SURROUND", "Surround playback if possible"},
              {"STR_SPEAKER_FRONT_LEFT", "Front Left Speaker"},
              {"STR_SPEAKER_FRONT_RIGHT", "Front Right Speaker"},
              {"STR_SPEAKER_CENTER", "Center Speaker"},
              {"STR_SPEAKER_SUBWOOFER", "Subwoofer"},
              {"STR_SPEAKER_BACK_LEFT", "Back Left Speaker"},
              {"STR_SPEAKER_BACK_RIGHT", "Back Right Speaker"},
              {"STR_SPEAKER_BACK_FRONT", "Back Front Adjustment"},
              {"STR_SPEAKER_BALANCE", "Speaker Balance"},
              {"STR_ACTIVATE_MODE", "Activate this mode"},
              {"STR_SELECT_PREFERRED_MODE", "Select your preferred Mode"}});
    page.setVariable(QStringLiteral("TOOLTIP_MODE_ACTIVE"), translated("General", "currently active"));
}

} // namespace ZOZ
