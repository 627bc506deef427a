// The ajax command table: which client may use which command, in which order
// the commands are tried, and which of them change the player's state.

#include "ZOZAjaxTable.h"

namespace ZOZ {

namespace {

struct Policy
{
    const char *key;
    AjaxAccess access;
    AjaxEffect effect;
};

constexpr AjaxAccess O = AjaxAccess::Open;
constexpr AjaxAccess G = AjaxAccess::Granted;
constexpr AjaxAccess C = AjaxAccess::Control;
constexpr AjaxAccess L = AjaxAccess::LocalControl;
constexpr AjaxEffect R = AjaxEffect::ReadsOnly;
constexpr AjaxEffect S = AjaxEffect::ChangesState;

// The first key of a request found in this order is the one that runs.
const Policy CommandPolicy[] = {
    {"getCredits", O, R},
    {"getServerInfo", O, R},
    {"clearNotify", O, S},
    {"checkVirtualAddress", O, R},
    {"getSettingsUpdate", O, R},
    // The receiver's own command comes before the granted ones of the services.
    {"scan", G, S},
    {"getServiceList", G, R},
    {"getSchedulerInfo", G, R},
    {"schedule", C, S},
    {"readLabel", C, S},
    {"selectService", C, S},
    {"selectServiceById", C, S},
    {"selectServiceDirected", C, S},
    {"selectAnnouncement", C, S},
    {"ignoreAnnouncements", C, S},
    {"switchTheme", C, S},
    {"switchAudioTestMode", C, S},
    {"setAudioTestChannel", C, S},
    {"openBlank", C, S},
    {"setAnnouncements", C, S},
    {"spiStartScan", C, S},
    {"spiStopScan", C, S},
    {"spiGetScanInfo", G, R},
    {"spiGetInfo", G, R},
    {"setServiceFavourite", C, S},
    {"setFeMode", C, S},
    {"setFeInput", C, S},
    {"setFeSwapIq", C, S},
    {"setFeFrequency", C, S},
    {"setFeDacAuto", C, S},
    {"setFeDacValue", C, S},
    {"setFeFilter", C, S},
    {"setFeAgc", C, S},
    {"setFeGain", C, S},
    {"setFeMixer", C, S},
    {"setFeLna", C, S},
    {"setFeAntennaSelect", C, S},
    {"setDevice", C, S},
    {"setSpokenLabelsActive", C, S},
    {"setAudioDecoderMode", C, S},
    {"switchRecording", C, S},
    {"setAudioRecordingTimelimit", C, S},
    {"setAudioRecordingFormat", C, S},
    {"setAudioBinauralPreset", C, S},
    {"adjustVolume", C, S},
    {"setAudioMaxVolume", C, S},
    {"setAudioMuted", C, S},
    {"setAudioShift", C, S},
    {"setAudioBalance", C, S},
    {"setAudioLevel", C, S},
    {"setHttpNumRemoteClients", C, S},
    {"getHttpNumRemoteClients", C, R},
    {"setBubbleMode", C, S},
    {"setNotifyMode", C, S},
    {"setCrashHandlingType", C, S},
    {"requestRecordingDirectoryChange", L, S},
    {"requestRecordingDirectoryOpen", L, S},
    {"openTimeline", C, S},
    {"switchLanguage", C, S},
    {"openPageInBrowser", G, S},
    {"setSortType", G, S},
    {"switchFavourites", G, S},
    {"confirmed", G, S},
    {"shutDownApplication", C, S},
    {"httpGet", G, S},
    {"httpPost", G, S},
    {"jouSwitchExtEnabled", C, S},
    {"jouSwitchApShowButton", C, S},
    {"jouSwitchApIncRoot", C, S},
    {"jouSetApTimestep", C, S},
    {"slsSwitchPermaCache", C, S},
    {"slsSwitchAltImages", C, S},
    {"slsClearCache", C, S},
};

} // namespace

AjaxTable::AjaxTable()
{
    for (const Policy &policy : CommandPolicy)
        m_rows.append({QString::fromLatin1(policy.key), policy.access, policy.effect, {}});
}

bool AjaxTable::mayUse(const HttpRequest &request, AjaxAccess access)
{
    switch (access) {
    case AjaxAccess::Open:
        return true;
    case AjaxAccess::Granted:
        return request.granted;
    case AjaxAccess::Control:
        return request.granted && request.passwordAccepted;
    case AjaxAccess::LocalControl:
        return request.granted && request.passwordAccepted && !request.remote;
    }
    return false;
}

bool AjaxTable::setHandler(const QString &key, AjaxHandler handler)
{
    QWriteLocker locker(&m_lock);
    for (Row &row : m_rows) {
        if (row.key == key) {
            row.handler = std::move(handler);
            return true;
        }
    }
    return false;
}

void AjaxTable::addCommand(const QString &key, AjaxAccess access, AjaxEffect effect, AjaxHandler handler)
{
    QWriteLocker locker(&m_lock);
    for (Row &row : m_rows) {
        if (row.key == key) {
            row = {key, access, effect, std::move(handler)};
            return;
        }
    }
    m_rows.append({key, access, effect, std::move(handler)});
}

QVector<AjaxTable::Row> AjaxTable::rowsSnapshot() const
{
    QReadLocker locker(&m_lock);
    return m_rows;
}

bool AjaxTable::isStateChanging(const HttpRequest &request) const
{
    QReadLocker locker(&m_lock);
    for (const Row &row : m_rows) {
        if (row.handler && mayUse(request, row.access) && request.query.contains(row.key))
            return row.effect == AjaxEffect::ChangesState;
    }
    return false;
}

bool AjaxTable::dispatch(const HttpRequest &request, HttpResponse &response) const
{
    // Handlers run on a copy, so that a slow one does not hold up registration.
    // The copy is shared with the table's own list; only a const walk keeps it so.
    const QVector<Row> rows = rowsSnapshot();
    for (const Row &row : rows) {
        if (row.handler && mayUse(request, row.access) && request.query.contains(row.key)
            && row.handler(request, response))
            return true;
    }
    return false;
}

} // namespace ZOZ
