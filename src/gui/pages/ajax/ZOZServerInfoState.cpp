#include "ZOZServerInfoState.h"

#include "ZOZAjaxCommands.h"
#include "ZOZAudioValues.h"
#include "ZOZServiceManager.h"
#include "data/ZOZSpiManager.h"

namespace ZOZ {

namespace {

constexpr int FullScale = 100;

ServerInfoState::Tuner readTuner(const Settings *settings, const Receiver *receiver)
{
    ServerInfoState::Tuner tuner;
    if (settings) {
        tuner.mode = settings->frontEndMode();
        tuner.fileName = settings->frontEndFileName();
        tuner.frequency = settings->frontEndFrequency();
        for (int id = 0; id < Settings::FrontEndOptionCount; ++id)
            tuner.options[size_t(id)] = settings->frontEndOption(id);
    }
    if (receiver) {
        tuner.signalPresent = receiver->signalPresent();
        tuner.signalStrength = receiver->signalStrength();
        tuner.signalQuality = receiver->signalQuality();
    }
    return tuner;
}

} // namespace

ServerInfoState ServerInfoState::read(const AjaxContext &context, QStringList &scripts)
{
    ServiceManager *manager = context.manager;
    const Settings *settings = context.settings;

    ServerInfoState state;
    state.selected = manager->selected();
    state.selectorId = manager->lastSelectorId();
    state.announcementServiceId = manager->announcementServiceId();
    state.sortType = manager->sortType();
    state.hasFavourites = manager->hasFavourites();
    state.favouritesOnly = manager->isSortFavouritesOnly();
    state.jouExtEnabled = Settings::jouGetExtEnabled();
    state.spiVersion = SpiManager::version();
    if (settings) {
        state.binauralMode = settings->audioDecoderMode() == 1;
        state.binauralPreset = settings->audioBinauralPreset();
        state.spokenLabels = settings->spokenLabelsActive();
        state.announcements = settings->announcements();
        state.recording = settings->isAudioRecording();
    }
    const RecordingStatus recording = context.manager->recordings().status();
    state.recordingFile = recording.fileName;
    state.recordingSeconds = recording.elapsedMs / 1000;
    if (context.receiver)
        state.receiver = context.receiver->receiverStatus();

    NotificationSnapshot notes = context.manager->notes().takeSnapshot();
    state.notifications = std::move(notes.notifications);
    state.question = std::move(notes.question);
    scripts = std::move(notes.injectScripts);

    state.serverId = manager->getServerId();
    state.automatic = manager->autoServiceState();
    state.autoServiceFixed = state.automatic.found && settings && settings->isAutoServiceFixed();
    state.entries = manager->listEntries();
    state.tuner = readTuner(settings, context.receiver);
    if (context.links) {
        context.links->withAudio([&state](const AudioControl &audio) {
            state.level = qRound(audio.level() * FullScale);
            state.muted = audio.isMuted();
            state.levels = audio.levels();
        });
    }
    state.channels = visibleAudioServices(*manager);
    return state;
}

} // namespace ZOZ
