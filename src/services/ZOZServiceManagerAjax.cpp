// The ajax command chain: which client may use which command, in which order
// the commands are tried, and which of them change the player's state.

#include "ZOZServiceManager.h"

#include "ZOZEnsembleSource.h"
#include "ZOZReceiver.h"
#include "ZOZServiceManagerPrivate.h"

namespace ZOZ {

namespace {

enum class Access {
    Open,         // every client
    Granted,      // the local browser or an admitted remote one
    Control,      // granted, with the remote-access password accepted
    LocalControl, // control, from this machine only
};

enum class Effect { ReadsOnly, ChangesState };

bool mayUse(const HttpRequest &request, Access access)
{
    switch (access) {
    case Access::Open:
        return true;
    case Access::Granted:
        return request.granted;
    case Access::Control:
        return request.granted && request.passwordAccepted;
    case Access::LocalControl:
        return request.granted && request.passwordAccepted && !request.remote;
    }
    return false;
}

} // namespace

struct ServiceManager::AjaxCommand
{
    QString key;
    Access access;
    Effect effect;
    // Null while the command's subsystem is not part of this build: the key is
    // then passed over like an unknown one.
    bool (ServiceManager::*handler)(const HttpRequest &, HttpResponse &);
};

const QVector<ServiceManager::AjaxCommand> &ServiceManager::ajaxCommands()
{
    using M = ServiceManager;
    constexpr Access O = Access::Open;
    constexpr Access G = Access::Granted;
    constexpr Access C = Access::Control;
    constexpr Access L = Access::LocalControl;
    constexpr Effect R = Effect::ReadsOnly;
    constexpr Effect S = Effect::ChangesState;
    auto row = [](const char *key, Access access, Effect effect,
                  bool (M::*handler)(const HttpRequest &, HttpResponse &) = nullptr) {
        return AjaxCommand {QString::fromLatin1(key), access, effect, handler};
    };
    // The first key of a request found in this order is the one that runs.
    static const QVector<AjaxCommand> commands {
        row("getCredits", O, R),
        row("getServerInfo", O, R, &M::ajaxGetServerInfo),
        row("clearNotify", O, S),
        row("checkVirtualAddress", O, R),
        row("getSettingsUpdate", O, R),
        // The receiver answers its own command before the manager's granted ones.
        row("scan", G, S, &M::ajaxReceiver),
        row("getServiceList", G, R),
        row("getSchedulerInfo", G, R),
        row("schedule", C, S),
        row("readLabel", C, S, &M::ajaxReadLabel),
        row("selectService", C, S, &M::ajaxSelectService),
        row("selectServiceById", C, S, &M::ajaxSelectServiceById),
        row("selectServiceDirected", C, S, &M::ajaxSelectServiceDirected),
        row("selectAnnouncement", C, S, &M::ajaxSelectAnnouncement),
        row("ignoreAnnouncements", C, S, &M::ajaxIgnoreAnnouncements),
        row("switchTheme", C, S),
        row("switchAudioTestMode", C, S),
        row("setAudioTestChannel", C, S),
        row("openBlank", C, S),
        row("setAnnouncements", C, S),
        row("spiStartScan", C, S),
        row("spiStopScan", C, S),
        row("spiGetScanInfo", G, R),
        row("spiGetInfo", G, R),
        row("setServiceFavourite", C, S, &M::ajaxSetServiceFavourite),
        row("setFeMode", C, S),
        row("setFeInput", C, S),
        row("setFeSwapIq", C, S),
        row("setFeFrequency", C, S),
        row("setFeDacAuto", C, S),
        row("setFeDacValue", C, S),
        row("setFeFilter", C, S),
        row("setFeAgc", C, S),
        row("setFeGain", C, S),
        row("setFeMixer", C, S),
        row("setFeLna", C, S),
        row("setFeAntennaSelect", C, S),
        row("setDevice", C, S),
        row("setSpokenLabelsActive", C, S),
        row("setAudioDecoderMode", C, S),
        row("switchRecording", C, S),
        row("setAudioRecordingTimelimit", C, S),
        row("setAudioRecordingFormat", C, S),
        row("setAudioBinauralPreset", C, S),
        row("adjustVolume", C, S),
        row("setAudioMaxVolume", C, S),
        row("setAudioMuted", C, S),
        row("setAudioShift", C, S),
        row("setAudioBalance", C, S),
        row("setAudioLevel", C, S),
        row("setHttpNumRemoteClients", C, S),
        row("getHttpNumRemoteClients", C, R),
        row("setBubbleMode", C, S),
        row("setNotifyMode", C, S),
        row("setCrashHandlingType", C, S),
        row("requestRecordingDirectoryChange", L, S),
        row("requestRecordingDirectoryOpen", L, S),
        row("openTimeline", C, S),
        row("switchLanguage", C, S),
        row("openPageInBrowser", G, S),
        row("setSortType", G, S),
        row("switchFavourites", G, S),
        row("confirmed", G, S, &M::ajaxConfirmed),
        row("shutDownApplication", C, S),
        row("httpGet", G, S),
        row("httpPost", G, S),
        row("jouSwitchExtEnabled", C, S),
        row("jouSwitchApShowButton", C, S),
        row("jouSwitchApIncRoot", C, S),
        row("jouSetApTimestep", C, S),
        row("slsSwitchPermaCache", C, S),
        row("slsSwitchAltImages", C, S),
        row("slsClearCache", C, S),
    };
    return commands;
}

const ServiceManager::AjaxCommand *ServiceManager::matchAjaxCommand(const HttpRequest &request) const
{
    for (const AjaxCommand &command : ajaxCommands()) {
        if (command.handler && mayUse(request, command.access) && request.query.contains(command.key))
            return &command;
    }
    return nullptr;
}

bool ServiceManager::isStateChanging(const HttpRequest &request) const
{
    // Only the command that would run counts: a poll that also carries a
    // command it may not use must still be answered.
    const AjaxCommand *command = matchAjaxCommand(request);
    return command && command->effect == Effect::ChangesState;
}

bool ServiceManager::httpAjaxRequest(const HttpRequest &request, HttpResponse &response)
{
    // A handler that does not answer passes the request on to the later commands.
    for (const AjaxCommand &command : ajaxCommands()) {
        if (command.handler && mayUse(request, command.access) && request.query.contains(command.key)
            && (this->*command.handler)(request, response))
            return true;
    }
    return false;
}

Receiver *ServiceManager::receiver() const
{
    auto *source = dynamic_cast<ReceiverEnsembleSource *>(d->source.get());
    return source ? source->receiver() : nullptr;
}

bool ServiceManager::ajaxReceiver(const HttpRequest &request, HttpResponse &response)
{
    Receiver *dab = receiver();
    return dab && dab->httpAjaxRequest(request, response);
}

} // namespace ZOZ
