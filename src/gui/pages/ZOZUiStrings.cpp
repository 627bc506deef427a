#include "ZOZPages.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZTemplateValue.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

enum class UiEntry {
    Text,          // a translated string
    Map,           // opens a nested map, closed by End
    List,          // opens a list of unnamed strings, closed by End
    End,
    Reserved,      // a translated text with %1 replaced by the entry's number
    LanguageIcon,  // the settings' language icon map
    Languages,     // the settings' language names map
    FeedbackTypes, // option tags around three translated feedback kinds
};

struct UiString
{
    UiEntry kind;
    const char *key;     // nullptr for list entries and End
    const char *context; // translation context
    const char *source;  // English source text
    int number;          // the %1 of Reserved entries
};

// Every text the pages show, in the order the pages receive it. The pair of
// context and source text is the key of the translation files.
const UiString UiStringTable[] = {
    {UiEntry::Text, "ADDITIONAL_LICENSES", "General", QT_TRANSLATE_NOOP("General", "Licensing of third party modules"), 0},
    {UiEntry::Text, "ADDRESS", "General", QT_TRANSLATE_NOOP("General", "Address"), 0},
    {UiEntry::Map, "ANNOUNCEMENTS", nullptr, nullptr, 0},
        {UiEntry::Text, "RESET", "General", QT_TRANSLATE_NOOP("General", "<b>Announcement finished</b>"), 0},
        {UiEntry::Text, "NEW", "General", QT_TRANSLATE_NOOP("General", "<b>Announcement in progress</b><br/>"), 0},
        {UiEntry::Text, "IGNORED", "General", QT_TRANSLATE_NOOP("General", "<b>Announcement ignored</b><br/>"), 0},
        {UiEntry::Text, "IN_PROGRESS", "General", QT_TRANSLATE_NOOP("General", "Announcements"), 0},
        {UiEntry::Text, "SWITCH_TO", "General", QT_TRANSLATE_NOOP("General", "Switch to"), 0},
        {UiEntry::Text, "BACK_TO", "General", QT_TRANSLATE_NOOP("General", "Back to"), 0},
        {UiEntry::Map, "TYPES", nullptr, nullptr, 0},
            {UiEntry::List, "DAB", nullptr, nullptr, 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Emergency Alert"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Traffic News"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Transport News"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Warning"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "News"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Weather"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Event"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Special event"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Radio info"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Sports news"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Financial news"), 0},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 11},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 12},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 13},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 14},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 15},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Test Alarm"), 0},
            {UiEntry::End, nullptr, nullptr, nullptr, 0},
            {UiEntry::List, "DRM", nullptr, nullptr, 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Travel"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "News"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Weather"), 0},
                {UiEntry::Text, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Emergency Alert"), 0},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 4},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 5},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 6},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 7},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 8},
                {UiEntry::Reserved, nullptr, "Announcements", QT_TRANSLATE_NOOP("Announcements", "Reserved (#%1)"), 9},
            {UiEntry::End, nullptr, nullptr, nullptr, 0},
        {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "ANTENNA", "General", QT_TRANSLATE_NOOP("General", "Antenna"), 0},
    {UiEntry::Text, "CANCEL", "General", QT_TRANSLATE_NOOP("General", "Cancel"), 0},
    {UiEntry::Text, "CHANGE", "General", QT_TRANSLATE_NOOP("General", "Change"), 0},
    {UiEntry::Text, "CLOSE", "General", QT_TRANSLATE_NOOP("General", "Close"), 0},
    {UiEntry::Text, "COMPLETED", "General", QT_TRANSLATE_NOOP("General", "Completed"), 0},
    {UiEntry::Text, "COMPONENTS_LICENSED_BY", "General", QT_TRANSLATE_NOOP("General", "The following components are licensed to the makers of ZOZ by:"), 0},
    {UiEntry::Map, "CONTEXTMENU", nullptr, nullptr, 0},
        {UiEntry::Text, "ABOUT", "General", QT_TRANSLATE_NOOP("General", "About"), 0},
        {UiEntry::Map, "BINAURAL", nullptr, nullptr, 0},
            {UiEntry::Text, "TITLE", "General", QT_TRANSLATE_NOOP("General", "Binaural / Surround for Headphones"), 0},
            {UiEntry::Text, "MODE_OFF", "General", QT_TRANSLATE_NOOP("General", "Off"), 0},
            {UiEntry::Text, "MODE_DRY_ROOM", "General", QT_TRANSLATE_NOOP("General", "Dry Room"), 0},
            {UiEntry::Text, "MODE_LIVING_ROOM", "General", QT_TRANSLATE_NOOP("General", "Living Room"), 0},
            {UiEntry::Text, "MODE_CINEMA", "General", QT_TRANSLATE_NOOP("General", "Cinema"), 0},
        {UiEntry::End, nullptr, nullptr, nullptr, 0},
        {UiEntry::Text, "COPYRIGHT", "General", QT_TRANSLATE_NOOP("General", "Copyright"), 0},
        {UiEntry::Text, "CLOSE_APP", "General", QT_TRANSLATE_NOOP("General", "Quit Application"), 0},
        {UiEntry::Text, "SPI", "General", QT_TRANSLATE_NOOP("General", "Programme Guide (EPG/SPI)"), 0},
        {UiEntry::Text, "SPI_SCAN", "General", QT_TRANSLATE_NOOP("General", "Scan for SPI"), 0},
        {UiEntry::Text, "FEEDBACK", "General", QT_TRANSLATE_NOOP("General", "Feedback"), 0},
        {UiEntry::Text, "FRONTEND_CONFIG", "General", QT_TRANSLATE_NOOP("General", "Frontend Configuration"), 0},
        {UiEntry::Text, "INFO", "General", QT_TRANSLATE_NOOP("General", "Info"), 0},
        {UiEntry::Text, "JOURNALINE", "General", QT_TRANSLATE_NOOP("General", "Journaline"), 0},
        {UiEntry::Text, "LANGUAGE", "General", QT_TRANSLATE_NOOP("General", "Language"), 0},
        {UiEntry::LanguageIcon, "LANGUAGE_ICON", nullptr, nullptr, 0},
        {UiEntry::Languages, "LANGUAGES", nullptr, nullptr, 0},
        {UiEntry::Text, "RECORDING_ARCHIVE", "General", QT_TRANSLATE_NOOP("General", "Recording Archive"), 0},
        {UiEntry::Text, "RECORDING_DIRECTORY", "General", QT_TRANSLATE_NOOP("General", "Open Recording Directory"), 0},
        {UiEntry::Text, "RESCAN", "General", QT_TRANSLATE_NOOP("General", "Rescan"), 0},
        {UiEntry::Text, "SCHEDULER", "General", QT_TRANSLATE_NOOP("General", "Recording Scheduler"), 0},
        {UiEntry::Map, "SERVICE_ORDER", nullptr, nullptr, 0},
            {UiEntry::Text, "TITLE", "General", QT_TRANSLATE_NOOP("General", "Service Order"), 0},
            {UiEntry::Text, "SERVICE", "General", QT_TRANSLATE_NOOP("General", "Service name"), 0},
            {UiEntry::Text, "ENSEMBLE", "General", QT_TRANSLATE_NOOP("General", "Ensemble name"), 0},
            {UiEntry::Text, "PROGRAMME_TYPE", "General", QT_TRANSLATE_NOOP("General", "Programme type"), 0},
            {UiEntry::Text, "LANGUAGE", "General", QT_TRANSLATE_NOOP("General", "Language"), 0},
            {UiEntry::Text, "COUNTRY", "General", QT_TRANSLATE_NOOP("General", "Country"), 0},
            {UiEntry::Text, "FAVOURITES_ONLY", "General", QT_TRANSLATE_NOOP("General", "Favourites Only"), 0},
        {UiEntry::End, nullptr, nullptr, nullptr, 0},
        {UiEntry::Text, "SERVICE_SELECTION", "General", QT_TRANSLATE_NOOP("General", "Service Selection"), 0},
        {UiEntry::Text, "SETTINGS", "General", QT_TRANSLATE_NOOP("General", "Settings"), 0},
        {UiEntry::Text, "STATISTIC", "General", QT_TRANSLATE_NOOP("General", "Statistic"), 0},
        {UiEntry::Text, "STATISTIC_LINKS_DISABLE", "General", QT_TRANSLATE_NOOP("General", "Disable Statistic Links"), 0},
        {UiEntry::Text, "STATISTIC_LINKS_ENABLE", "General", QT_TRANSLATE_NOOP("General", "Enable Statistic Links"), 0},
        {UiEntry::Text, "TUNE", "General", QT_TRANSLATE_NOOP("General", "Tune"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "COPYRIGHT", "General", QT_TRANSLATE_NOOP("General", "Copyright"), 0},
    {UiEntry::Text, "DESCRIPTION", "General", QT_TRANSLATE_NOOP("General", "Description"), 0},
    {UiEntry::Text, "DURATION", "General", QT_TRANSLATE_NOOP("General", "Duration"), 0},
    {UiEntry::Text, "DAY", "General", QT_TRANSLATE_NOOP("General", "day"), 0},
    {UiEntry::Text, "DAYS", "General", QT_TRANSLATE_NOOP("General", "days"), 0},
    {UiEntry::List, "DAY_SHORT", nullptr, nullptr, 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Su"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Mo"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Tu"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "We"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Th"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Fr"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Sa"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "END", "General", QT_TRANSLATE_NOOP("General", "End"), 0},
    {UiEntry::Map, "ERROR", nullptr, nullptr, 0},
        {UiEntry::Text, "SPAWN_REDIRECT_NO_SERVER_CONNECTION", "Spawn", QT_TRANSLATE_NOOP("Spawn", "<b>Server connection unavailable</b><br/>Operation currently not possible!"), 0},
        {UiEntry::Text, "REDIRECT_NO_SERVER_CONNECTION", "Error", QT_TRANSLATE_NOOP("Error", "<b>Redirect not possible</b><br/>The server connection is currently unavailable!"), 0},
        {UiEntry::Text, "HTML5_NO_SUPPORT", "Error", QT_TRANSLATE_NOOP("Error", "<b>HTML5 Audio Playback is disabled</b><br/>Your browser does not support HTML5 audio playback!"), 0},
        {UiEntry::Text, "AUDIO_NO_SUPPORT", "Error", QT_TRANSLATE_NOOP("Error", "<b>Audio Playback is disabled</b><br/>Your browser does not support audio playback!"), 0},
        {UiEntry::Text, "HTML5_FORMATS", "Error", QT_TRANSLATE_NOOP("Error", "<b>Audio Playback is disabled</b><br/>Your browser does not support any of the following media types:<br/>"), 0},
        {UiEntry::Text, "REMOTE_CLIENTS_MAX", "Error", QT_TRANSLATE_NOOP("Error", "<b>Remote connection is disabled</b><br/>The maximum number of remote HTTP clients has been reached."), 0},
        {UiEntry::Text, "AUDIO_STREAM_MAX", "Error", QT_TRANSLATE_NOOP("Error", "<b>Audio Playback is disabled</b><br/>The maximum number of audio streaming clients has been reached.<br/>Playback is paused until a free slot becomes available."), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "FRONTEND_CONFIG", nullptr, nullptr, 0},
        {UiEntry::Text, "TEXT", "General", QT_TRANSLATE_NOOP("General", "Here you can setup the frequency and different filter values."), 0},
        {UiEntry::Text, "TOOLTIP", "General", QT_TRANSLATE_NOOP("General", "Click to edit value or select from previously defined values"), 0},
        {UiEntry::Text, "VALUE_AUTO", "General", QT_TRANSLATE_NOOP("General", "This value is set automatically"), 0},
        {UiEntry::Text, "VALUE_NO_MOD", "General", QT_TRANSLATE_NOOP("General", "This value cannot be modified"), 0},
        {UiEntry::Text, "MOD_IMMEDIATE", "General", QT_TRANSLATE_NOOP("General", "Modifications will take immediate effect"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "HOMECALL", nullptr, nullptr, 0},
        {UiEntry::Text, "INITIAL_QUESTION_TITLE", "Homecall", QT_TRANSLATE_NOOP("Homecall", "Anonymous Statistics"), 0},
        {UiEntry::Text, "INITIAL_QUESTION", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<p>You can help improve the application by agreeing to send anonymous statistics. Rest assured that no personal data is sent and no information can be traced back to your person. Any received data is only used to ensure the highest quality possible for this application.</p>"), 0},
        {UiEntry::Text, "INITIAL_DETAILS_TITLE", "Homecall", QT_TRANSLATE_NOOP("Homecall", "Click here for details"), 0},
        {UiEntry::Text, "INITIAL_DETAILS", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<p>The anonymous usage statistics are written locally on hard disk and will be sent when the application is closed down or the next time the application is started depending on internet availability. The last ten sessions are stored to be sent as soon as internet is available. Older session informations will be discarded automatically. Following information is sent:</p><ul><li>Version and compilation flags of the user application</li><li>Start time and duration of application runtime</li></ul>"), 0},
        {UiEntry::Text, "INITIAL_ACCEPT", "Homecall", QT_TRANSLATE_NOOP("Homecall", "Send anonymous statistics to support application quality"), 0},
        {UiEntry::Text, "FEEDBACK_TITLE", "Homecall", QT_TRANSLATE_NOOP("Homecall", "Feedback"), 0},
        {UiEntry::Text, "FEEDBACK_DESCRIPTION", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<p>Here you can send us feedback. Please select the appropriate category and enter your comment in the textarea below.</p><p>You can optionally give us your E-Mail if you should want any response. However, we cannot guarantee that we will be able to respond to each feedback.</p><p>You can close the feedback window anytime and it will remember the last state when reopened.</p><p>Thank you very much for your most valuable feedback!</p>"), 0},
        {UiEntry::FeedbackTypes, "FEEDBACK_TYPES", "Homecall", nullptr, 0},
        {UiEntry::Text, "FEEDBACK_PLACEHOLDER", "Homecall", QT_TRANSLATE_NOOP("Homecall", "Your feedback"), 0},
        {UiEntry::Text, "ERROR_SERVER", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Server Error</b><br/>There has been an unexpected server error!"), 0},
        {UiEntry::Text, "ERROR_FEEDBACK_NO_CONTENT", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Missing values</b><br/>You have to enter a feedback note first!"), 0},
        {UiEntry::Text, "ERROR_FEEDBACK_TIMEOUT_LEFT", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Sending Feedback</b><br/>You are sending feedbacks too fast.<br/>Please wait before trying to send your feedback again:<br/>"), 0},
        {UiEntry::Text, "ERROR_FEEDBACK_UNKNOWN", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Sending Feedback</b><br/>An unknown error has occurred"), 0},
        {UiEntry::Text, "ERROR_FEEDBACK_SERVER_TIMEOUT", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Sending Feedback</b><br/>Your feedback could not be sent since the<br/>server did not respond.<br/>Please try again later."), 0},
        {UiEntry::Text, "SUCCESS_FEEDBACK", "Homecall", QT_TRANSLATE_NOOP("Homecall", "<b>Sending Feedback</b><br/>Your feedback has been successfully received. Thank you!"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "JOU", nullptr, nullptr, 0},
        {UiEntry::Text, "AUTO_MODE_ON", "Journaline", QT_TRANSLATE_NOOP("Journaline", "AutoPlay"), 0},
        {UiEntry::Text, "AUTO_MODE_OFF", "Journaline", QT_TRANSLATE_NOOP("Journaline", "Interactive"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "MODULE_VERSIONS", "General", QT_TRANSLATE_NOOP("General", "Module Versions"), 0},
    {UiEntry::List, "MONTH_LONG", nullptr, nullptr, 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "January"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "Feburary"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "March"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "April"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "May"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "June"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "July"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "August"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "September"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "October"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "November"), 0},
        {UiEntry::Text, nullptr, "General", QT_TRANSLATE_NOOP("General", "December"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "ESTIMATED", "General", QT_TRANSLATE_NOOP("General", "Estimated"), 0},
    {UiEntry::Map, "NOTIFICATIONS", nullptr, nullptr, 0},
        {UiEntry::Text, "AUDIO_DECODE_ALL_ON", "Notifications", QT_TRANSLATE_NOOP("Notifications", "<b>Switched audio decoding mode</b><br/>Decoding <font color='red'>all</font> audio streams in parallel"), 0},
        {UiEntry::Text, "AUDIO_DECODE_ALL_OFF", "Notifications", QT_TRANSLATE_NOOP("Notifications", "<b>Switched audio decoding mode</b><br/>Decoding only currently selected audio stream"), 0},
        {UiEntry::Text, "JOU_EXT_ENABLED_ON", "Notifications", QT_TRANSLATE_NOOP("Notifications", "<b>Switched Journaline Extended Mode</b><br/>Extended Mode now <font color='green'>enabled</font>"), 0},
        {UiEntry::Text, "JOU_EXT_ENABLED_OFF", "Notifications", QT_TRANSLATE_NOOP("Notifications", "<b>Switched Journaline Extended Mode</b><br/>Extended Mode now <font color='red'>disabled</font>"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "MORE_INFO", "General", QT_TRANSLATE_NOOP("General", "More Info"), 0},
    {UiEntry::Text, "NEXT_2_DAYS", "General", QT_TRANSLATE_NOOP("General", "Next 2 Days"), 0},
    {UiEntry::Text, "NOW", "General", QT_TRANSLATE_NOOP("General", "Now"), 0},
    {UiEntry::Text, "NO_SERVICES", "General", QT_TRANSLATE_NOOP("General", "No Services Available"), 0},
    {UiEntry::Map, "POPUP", nullptr, nullptr, 0},
        {UiEntry::Text, "ANNOUNCEMENTS", "General", QT_TRANSLATE_NOOP("General", "Announcements"), 0},
        {UiEntry::Text, "AUDIO_INFO", "General", QT_TRANSLATE_NOOP("General", "Audio Configuration"), 0},
        {UiEntry::Text, "CODEC", "General", QT_TRANSLATE_NOOP("General", "Codec"), 0},
        {UiEntry::Text, "AUDIO_BITRATE", "General", QT_TRANSLATE_NOOP("General", "Audio Bitrate"), 0},
        {UiEntry::Text, "SUBCHANNEL_BITRATE", "General", QT_TRANSLATE_NOOP("General", "Subchannel Bitrate"), 0},
        {UiEntry::Text, "AUDIO_MODE", "General", QT_TRANSLATE_NOOP("General", "Audio Mode"), 0},
        {UiEntry::Text, "STREAMING_AS", "General", QT_TRANSLATE_NOOP("General", "Streaming as"), 0},
        {UiEntry::Text, "CHANGE", "General", QT_TRANSLATE_NOOP("General", "Configure"), 0},
        {UiEntry::Text, "DLPLUS_INFO", "General", QT_TRANSLATE_NOOP("General", "DL+ Programme-Infos"), 0},
        {UiEntry::Text, "CLICK_FOR_PLAYBACK", "General", QT_TRANSLATE_NOOP("General", "<b>Click to start playback</b>"), 0},
        {UiEntry::Text, "CLICK_UNMUTE_FOR_PLAYBACK", "General", QT_TRANSLATE_NOOP("General", "<b>Click unmute to start playback</b>"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "OF", "General", QT_TRANSLATE_NOOP("General", "of"), 0},
    {UiEntry::Text, "RECORDING_NO_SWITCH", "General", QT_TRANSLATE_NOOP("General", "You may not select another service while recording is active!"), 0},
    {UiEntry::Map, "SCAN", nullptr, nullptr, 0},
        {UiEntry::Text, "TITLE", "Scan", QT_TRANSLATE_NOOP("Scan", "Scan"), 0},
        {UiEntry::Text, "SCAN_ADDITIONAL", "Scan", QT_TRANSLATE_NOOP("Scan", "Scan additional frequencies (L-Band)"), 0},
        {UiEntry::Text, "KEEP_PREVIOUS", "Scan", QT_TRANSLATE_NOOP("Scan", "Keep previously scanned services"), 0},
        {UiEntry::Text, "CURRENT_ENSEMBLE", "Scan", QT_TRANSLATE_NOOP("Scan", "Current ensemble"), 0},
        {UiEntry::Text, "NUM_ENSEMBLES", "Scan", QT_TRANSLATE_NOOP("Scan", "Ensembles"), 0},
        {UiEntry::Text, "NUM_SERVICES", "Scan", QT_TRANSLATE_NOOP("Scan", "Services"), 0},
        {UiEntry::Text, "START_SCAN", "Scan", QT_TRANSLATE_NOOP("Scan", "Start Scan"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "SCHEDULER", nullptr, nullptr, 0},
        {UiEntry::Text, "ASK_FOR_DELETION", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "<b>Do you really want to remove this entry?</b>"), 0},
        {UiEntry::Text, "ERROR_ENDTIME_NEGATIVE", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "<b>Invalid recording parameters</b><br/>The endtime has been reset to ensure correct values!"), 0},
        {UiEntry::Text, "LIST_LOADING", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Loading list"), 0},
        {UiEntry::Text, "LIST_EMPTY", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Currently no scheduled recordings"), 0},
        {UiEntry::Text, "NOTE", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Note:<br/>The application must be running to perform a recording.<br/>The scheduler will automatically switch to the required service."), 0},
        {UiEntry::Text, "TITLE", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Recording Scheduler"), 0},
        {UiEntry::Text, "TITLE_ADD", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Schedule a new recording"), 0},
        {UiEntry::Text, "TITLE_LIST", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Scheduled Recordings"), 0},
        {UiEntry::Text, "WARN_RUNNING", "Scheduler", QT_TRANSLATE_NOOP("Scheduler", "Deleting this entry will stop the recording."), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "SEND", "General", QT_TRANSLATE_NOOP("General", "Send"), 0},
    {UiEntry::Text, "SERVICE", "General", QT_TRANSLATE_NOOP("General", "Service"), 0},
    {UiEntry::Text, "SERVICES", "General", QT_TRANSLATE_NOOP("General", "service(s)"), 0},
    {UiEntry::Text, "SETTINGS", "General", QT_TRANSLATE_NOOP("General", "Settings"), 0},
    {UiEntry::Text, "SETUP", "General", QT_TRANSLATE_NOOP("General", "Setup"), 0},
    {UiEntry::Map, "SIGNAL", nullptr, nullptr, 0},
        {UiEntry::Text, "OFF", "Receiver", QT_TRANSLATE_NOOP("Receiver", "Connection to antenna lost"), 0},
        {UiEntry::Text, "LOW", "Receiver", QT_TRANSLATE_NOOP("Receiver", "Insufficient reception quality"), 0},
        {UiEntry::Text, "MIDDLE", "Receiver", QT_TRANSLATE_NOOP("Receiver", "Weak reception quality"), 0},
        {UiEntry::Text, "HIGH", "Receiver", QT_TRANSLATE_NOOP("Receiver", "Good reception quality"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "SLS", nullptr, nullptr, 0},
        {UiEntry::Text, "AUTO_MODE_ON", "SlideShow", QT_TRANSLATE_NOOP("SlideShow", "SlideShow"), 0},
        {UiEntry::Text, "AUTO_MODE_OFF", "SlideShow", QT_TRANSLATE_NOOP("SlideShow", "Interactive"), 0},
        {UiEntry::Text, "CONFIRM_CLEAR_CACHE", "SlideShow", QT_TRANSLATE_NOOP("SlideShow", "<b>Delete local file cache</b><br/>This will delete all local cache files of all SlideShows.<br/>Are you sure?"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Map, "SPI", nullptr, nullptr, 0},
        {UiEntry::Text, "SCAN_STOP", "SPI", QT_TRANSLATE_NOOP("SPI", "Stop Scan"), 0},
        {UiEntry::Text, "SCAN_RET_INFO", "SPI", QT_TRANSLATE_NOOP("SPI", "Retrieving Info"), 0},
        {UiEntry::Text, "SCAN_DESCR", "SPI", QT_TRANSLATE_NOOP("SPI", "This dialog will automatically scan for all SPI services in current ensemble and wait until each of them has received all currently available information.<br/>Note that you will have to keep this dialog open in order for this to work. During this time, you will not be able to view any data services.<br/>Thank you for your patience."), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "START", "General", QT_TRANSLATE_NOOP("General", "Start"), 0},
    {UiEntry::Map, "TOOLTIPS", nullptr, nullptr, 0},
        {UiEntry::Text, "ACTIVATED", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Activated"), 0},
        {UiEntry::Text, "ANNOUNCEMENTS_ACTIVE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Active Announcement<br/>You are currently listening to this announcement"), 0},
        {UiEntry::Text, "ANNOUNCEMENTS_IGNORE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Ignore current Announcements<br/>(Return to selected service)"), 0},
        {UiEntry::Text, "ANNOUNCEMENTS_MAXIMIZE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to maximize"), 0},
        {UiEntry::Text, "ANNOUNCEMENTS_MINIMIZE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to minimize"), 0},
        {UiEntry::Text, "ANNOUNCEMENTS_SWITCH", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "You can switch to this announcement"), 0},
        {UiEntry::Text, "AUDIO_INFO", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Show Audio Configuration"), 0},
        {UiEntry::Text, "AUDIO_INFO_PLUS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Show DL+ Programme-Infos<br/>and Audio Configuration"), 0},
        {UiEntry::Text, "CANCEL", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Cancel input"), 0},
        {UiEntry::Text, "CLICK_TO_ENLARGE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to enlarge"), 0},
        {UiEntry::Text, "CLICK_TO_CLOSE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to close"), 0},
        {UiEntry::Text, "CLOSE", "General", QT_TRANSLATE_NOOP("General", "Close"), 0},
        {UiEntry::Text, "DEACTIVATED", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Deactivated"), 0},
        {UiEntry::Text, "DOWNLOAD_AUDIO", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Download Audio Stream"), 0},
        {UiEntry::Text, "DP_MONTH_FORWARD", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Next month"), 0},
        {UiEntry::Text, "DP_MONTH_BACK", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Previous month"), 0},
        {UiEntry::Text, "FAVOURITE_MARK", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Mark as favourite"), 0},
        {UiEntry::Text, "FAVOURITE_UNMARK", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Remove from<br/>favourite list"), 0},
        {UiEntry::Text, "RUZ_TIMELINE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Will open up in default browser"), 0},
        {UiEntry::Text, "GOTO_NOW", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Jump to current time"), 0},
        {UiEntry::Text, "HOME", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Back to service selection"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_OBJECT", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to jump to the indicated Journaline page"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_DABDRMURI", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to tune to the indicated broadcast service"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_BLANK", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Will open up in default browser"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_MAIL", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to send an e-mail"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_PHONE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to initiate the phone call"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_SMS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to send an SMS text message"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_KML", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to show the indicated position or region in Google Earth"), 0},
        {UiEntry::Text, "JOURNALINE_LINK_GOOGLE_EARTH", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Will try to open up in Google Earth if available"), 0},
        {UiEntry::Text, "MASTER_MUTER_MUTE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Mute audio playback"), 0},
        {UiEntry::Text, "MASTER_MUTER_UNMUTE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Unmute audio playback"), 0},
        {UiEntry::Text, "SWITCH_AUDIO_DEVICE_HEADSET", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Use headset"), 0},
        {UiEntry::Text, "SWITCH_AUDIO_DEVICE_SPEAKER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Use speaker"), 0},
        {UiEntry::Text, "MASTER_VOLUME", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Adjust Audio Volume"), 0},
        {UiEntry::Text, "NO", "General", QT_TRANSLATE_NOOP("General", "No"), 0},
        {UiEntry::Text, "NO_FAVOURITES", "General", QT_TRANSLATE_NOOP("General", "You currently have no favourites"), 0},
        {UiEntry::Text, "OK", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Accept settings"), 0},
        {UiEntry::Text, "OPEN_DEFAULT_BROWSER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Will open up in default browser"), 0},
        {UiEntry::Text, "OPEN_MAILTO_HANDLER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open default Mail application"), 0},
        {UiEntry::Text, "OPEN_MMS_HANDLER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open default MMS application"), 0},
        {UiEntry::Text, "OPEN_SCHEDULER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Recording Scheduler"), 0},
        {UiEntry::Text, "OPEN_TOOLS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Tools"), 0},
        {UiEntry::Text, "OPEN_SMS_HANDLER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open default SMS application"), 0},
        {UiEntry::Text, "OPEN_TEL_HANDLER", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open default Phone application"), 0},
        {UiEntry::Text, "RECORDING", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Recording in progress"), 0},
        {UiEntry::Text, "RECORD_TURN_ON", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Start recording"), 0},
        {UiEntry::Text, "RECORD_TURN_OFF", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Stop recording<br/>(Service cannot be switched while recording)"), 0},
        {UiEntry::Text, "RECORD_ADD", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Schedule recording"), 0},
        {UiEntry::Text, "RECORD_DELETE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Unschedule recording"), 0},
        {UiEntry::Text, "RESET", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Reset"), 0},
        {UiEntry::Text, "REFRESH", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Refresh"), 0},
        {UiEntry::Text, "SCHEDULER_ADD", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Add as a planned recording"), 0},
        {UiEntry::Text, "SCHEDULER_EDIT", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Edit this entry"), 0},
        {UiEntry::Text, "SCHEDULER_REMOVE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Remove this scheduled recording"), 0},
        {UiEntry::Text, "SELECT_SERVICE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Switch to service"), 0},
        {UiEntry::Text, "SELECTED_SERVICE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Selected service"), 0},
        {UiEntry::Text, "SERVICE_AUDIO", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This service includes an Audio Component"), 0},
        {UiEntry::Text, "SERVICE_DATA", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This service includes a Data Component"), 0},
        {UiEntry::Text, "SERVICE_BOTH", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This service includes both Audio and Data"), 0},
        {UiEntry::Text, "SERVICE_NOT_AVAILABLE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Waiting for valid data"), 0},
        {UiEntry::Text, "SERVICE_NOT_SUPPORTED", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This service is not supported!"), 0},
        {UiEntry::Text, "SERVICE_JOURNALINE_AVAILABLE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Journaline available"), 0},
        {UiEntry::Text, "SERVICE_journaline", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Journaline"), 0},
        {UiEntry::Text, "SERVICE_sls", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Slideshow"), 0},
        {UiEntry::Text, "SERVICE_bws", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Broadcast Website"), 0},
        {UiEntry::Text, "SERVICE_bws", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open Broadcast Website"), 0},
        {UiEntry::Text, "SERVICE_spi", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open SPI"), 0},
        {UiEntry::Text, "SERVICE_tdc", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open TDC"), 0},
        {UiEntry::Text, "SERVICE_tft", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open TFT"), 0},
        {UiEntry::Text, "SERVICE_tpeg", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Open TPEG"), 0},
        {UiEntry::Text, "SHOW_CONTENT", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Show content page to this service"), 0},
        {UiEntry::Text, "SHOW_COPYRIGHT", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Copyright of the ZOZ makers and of ZOZ DAB Radio"), 0},
        {UiEntry::Text, "SHOW_STATISTICS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Show Statistics to this service"), 0},
        {UiEntry::Text, "SIGNAL", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to rescan"), 0},
        {UiEntry::Text, "SLS_IMAGE_OLD", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This image was loaded from<br/>cache and might be outdated"), 0},
        {UiEntry::Text, "SLS_AUTO_MODE_BUTTON", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click here to switch between<br/>automatic SlideShow and interactive mode"), 0},
        {UiEntry::Text, "SLS_LINK_BUTTON", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "This image provides an additional web link<br/>Clicking here will open up your default browser"), 0},
        {UiEntry::Text, "SPAWN_CHANGE_SELECTION", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Show list of recording archives"), 0},
        {UiEntry::Text, "SPAWN_CLOSE_TO_MAIN", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Close session<br/>(back to list of recording archives)"), 0},
        {UiEntry::Text, "TIMEPICKER_COMPLETE", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to set the date and time"), 0},
        {UiEntry::Text, "TIMEPICKER_SHORT", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Click to set the time"), 0},
        {UiEntry::Text, "TIMEPICKER_YEAR", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Year"), 0},
        {UiEntry::Text, "TIMEPICKER_MONTH", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Month"), 0},
        {UiEntry::Text, "TIMEPICKER_DAY", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Day"), 0},
        {UiEntry::Text, "TIMEPICKER_HOURS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Hour"), 0},
        {UiEntry::Text, "TIMEPICKER_MINUTES", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Minute"), 0},
        {UiEntry::Text, "TIMEPICKER_SECONDS", "Tooltips", QT_TRANSLATE_NOOP("Tooltips", "Seconds"), 0},
        {UiEntry::Text, "YES", "General", QT_TRANSLATE_NOOP("General", "Yes"), 0},
    {UiEntry::End, nullptr, nullptr, nullptr, 0},
    {UiEntry::Text, "TODAY", "General", QT_TRANSLATE_NOOP("General", "Today"), 0},
    {UiEntry::Text, "THIS_MONTH", "General", QT_TRANSLATE_NOOP("General", "This month"), 0},
    {UiEntry::Text, "UNLIMITED", "General", QT_TRANSLATE_NOOP("General", "Unlimited"), 0},
    {UiEntry::Text, "WAITING_FOR_INFO", "General", QT_TRANSLATE_NOOP("General", "Waiting for Information"), 0},
    {UiEntry::Text, "WAITING_FOR_DATA", "General", QT_TRANSLATE_NOOP("General", "Waiting for valid data"), 0},
    {UiEntry::Text, "WEBSITE", "General", QT_TRANSLATE_NOOP("General", "Website"), 0},
    {UiEntry::Text, "WEEK", "General", QT_TRANSLATE_NOOP("General", "Week"), 0},
};

constexpr int UiStringCount = int(sizeof(UiStringTable) / sizeof(UiStringTable[0]));

QString translated(const UiString &entry)
{
    return QCoreApplication::translate(entry.context, entry.source);
}

QString feedbackTypes()
{
    return QStringLiteral("<option value='1'>") + QCoreApplication::translate("Homecall", "Give normal feedback")
        + QStringLiteral("</option><option value='2'>") + QCoreApplication::translate("Homecall", "Report a bug")
        + QStringLiteral("</option><option value='3'>")
        + QCoreApplication::translate("Homecall", "Comment on design and application flow") + QStringLiteral("</option>");
}

// "LANGUAGE_ICON": where the pages find the language flags.
TemplateValue languageIconValue()
{
    TemplateValue icon(QStringLiteral("LANGUAGE_ICON"), TemplateValue::Map);
    icon << TemplateValue(QStringLiteral("FOLDER"), Settings::languageIconFolder())
         << TemplateValue(QStringLiteral("SUFFIX"), Settings::languageIconSuffix());
    return icon;
}

// "LANGUAGES": code -> translated display name, ordered by the name.
TemplateValue languagesValue()
{
    TemplateValue languages(QStringLiteral("LANGUAGES"), TemplateValue::Map);
    const QMap<QString, QString> names = Settings::languageNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        languages << TemplateValue(it.value(), it.key());
    return languages;
}

// Fills `parent` from the table, starting at `index`, until the End that
// closes it (or the table's end); returns the index after that End.
int appendEntries(TemplateValue &parent, int index)
{
    while (index < UiStringCount) {
        const UiString &entry = UiStringTable[index++];
        const QString key = entry.key ? QString::fromLatin1(entry.key) : QString();
        switch (entry.kind) {
        case UiEntry::End:
            return index;
        case UiEntry::Text:
            parent << TemplateValue(key, translated(entry));
            break;
        case UiEntry::Reserved:
            parent << TemplateValue(key, translated(entry).arg(entry.number));
            break;
        case UiEntry::FeedbackTypes:
            parent << TemplateValue(key, feedbackTypes());
            break;
        case UiEntry::LanguageIcon:
            parent << languageIconValue();
            break;
        case UiEntry::Languages:
            parent << languagesValue();
            break;
        case UiEntry::Map:
        case UiEntry::List: {
            TemplateValue nested(key, entry.kind == UiEntry::Map ? TemplateValue::Map : TemplateValue::List);
            index = appendEntries(nested, index);
            parent << nested;
            break;
        }
        }
    }
    return index;
}

} // namespace

QString Pages::uiStrings()
{
    TemplateValue root;
    appendEntries(root, 0);
    return root.toJsonDocument();
}

} // namespace ZOZ
