// "getServerInfo": the state poll of every open page.

#include "ZOZAjaxCommands.h"

#include "ZOZAudioValues.h"
#include "ZOZReceiver.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceValues.h"

#include <QDateTime>

namespace ZOZ {

namespace {

// The sample rate the pages show while no receiver runs.
constexpr uint DefaultSampleRate = 192000;
constexpr int AudioChannels = 6;
constexpr int FullScale = 100;

// Front-end option ids as the settings keep them.
enum FrontEndOptionId {
    AgcAvailable = 0,
    Agc = 1,
    AntennaAvailable = 2,
    AntennaCount = 3,
    AntennaSelect = 4,
    DacAvailable = 5,
    DacAuto = 6,
    DacValue = 7,
    FilterAvailable = 8,
    Filter = 9,
    GainAvailable = 10,
    GainMin = 11,
    GainMax = 12,
    Gain = 13,
    MixerAvailable = 14,
    Mixer = 15,
    LnaAvailable = 16,
    Lna = 17,
    SwapIqAvailable = 18,
    SwapIq = 19,
};

// "announcements": the announcement mask of each type.
TemplateValue announcementsValue(const Settings &settings)
{
    TemplateValue value(QStringLiteral("announcements"), TemplateValue::Map);
    for (const Settings::Announcement &announcement : settings.announcements())
        value << TemplateValue(announcement.type, announcement.mask);
    return value;
}

TemplateValue tunerValue(const Settings *settings, const Receiver *receiver)
{
    auto option = [settings](int id) { return settings ? settings->frontEndOption(id) : 0; };
    auto flag = [&option](const char *name, int id) { return TemplateValue(QString::fromLatin1(name), option(id) != 0); };
    auto number = [&option](const char *name, int id) { return TemplateValue(QString::fromLatin1(name), option(id)); };
    const int mode = settings ? settings->frontEndMode() : 0;
    const QString fileName = settings ? settings->frontEndFileName() : QString();

    TemplateValue signal(QStringLiteral("signal"), TemplateValue::Map);
    signal << TemplateValue(QStringLiteral("show"), mode != 0) << TemplateValue(QStringLiteral("file"), !fileName.isEmpty())
           << TemplateValue(QStringLiteral("present"), receiver && receiver->signalPresent())
           << TemplateValue(QStringLiteral("strength"), receiver ? receiver->signalStrength() / 10.0 : 0.0)
           << TemplateValue(QStringLiteral("quality"), uint(receiver ? qMax(0, receiver->signalQuality()) : 0));

    TemplateValue fileNames(QStringLiteral("filenameList"), TemplateValue::Map);
    for (const char *name : {"AM", "FM", "DAB", "DRM30", "DRMplus", "allMode"})
        fileNames << TemplateValue(QString::fromLatin1(name), TemplateValue::List);

    TemplateValue tuner(QStringLiteral("tuner"), TemplateValue::Map);
    tuner << signal << TemplateValue(QStringLiteral("mode"), mode)
          << TemplateValue(QStringLiteral("sampleRate"), DefaultSampleRate)
          << TemplateValue(QStringLiteral("frequency"), uint(settings ? settings->frontEndFrequency() : 0))
          << flag("filterAvailable", FilterAvailable) << flag("filter", Filter) << flag("agcAvailable", AgcAvailable)
          << flag("agc", Agc) << flag("gainAvailable", GainAvailable) << number("gainMin", GainMin)
          << number("gainMax", GainMax) << number("gain", Gain) << flag("mixerAvailable", MixerAvailable)
          << flag("mixer", Mixer) << flag("lnaAvailable", LnaAvailable) << flag("lna", Lna)
          << TemplateValue(QStringLiteral("antennaAvailable"), option(AntennaAvailable) != 0 && option(AntennaCount) > 1)
          << number("antennaCount", AntennaCount) << number("antennaSelect", AntennaSelect)
          << flag("dacAvailable", DacAvailable) << flag("dacAuto", DacAuto) << number("dacValue", DacValue)
          << flag("swapIqAvailable", SwapIqAvailable) << flag("swapIq", SwapIq)
          << TemplateValue(QStringLiteral("filename"), fileName) << fileNames;
    return tuner;
}

// Without an audio output the pages show full volume, unmuted.
TemplateValue audioConfigValue(const AjaxContext &context)
{
    int level = FullScale;
    bool muted = false;
    if (context.links) {
        context.links->withAudio([&](const AudioControl &audio) {
            level = qRound(audio.level() * FullScale);
            muted = audio.isMuted();
        });
    }
    TemplateValue levels(QStringLiteral("levelChannels"), TemplateValue::List);
    for (int channel = 0; channel < AudioChannels; ++channel)
        levels << TemplateValue(QString(), FullScale);
    TemplateValue config(QStringLiteral("config"), TemplateValue::Map);
    config << TemplateValue(QStringLiteral("maxVolume"), FullScale) << TemplateValue(QStringLiteral("muted"), muted)
           << TemplateValue(QStringLiteral("shift"), 0) << TemplateValue(QStringLiteral("balance"), 0)
           << TemplateValue(QStringLiteral("level"), level) << levels
           << TemplateValue(QStringLiteral("isRecording"), context.settings && context.settings->isAudioRecording());
    return config;
}

bool getServerInfo(const AjaxContext &context, const HttpRequest &request, HttpResponse &response)
{
    ServiceManager *manager = context.manager;
    Settings *settings = context.settings;
    const Receiver *dab = context.receiver;

    // Brought up to date first, so that the favourites flags agree with the list.
    manager->updateServiceList();

    TemplateValue reply(QStringLiteral("success"), true);
    reply << TemplateValue(QStringLiteral("isActive"), request.granted);

    const ServiceSelection::Selected selected = manager->selected();
    reply << TemplateValue(QStringLiteral("now"), uint(QDateTime::currentSecsSinceEpoch()))
          << TemplateValue(QStringLiteral("nowEnsemble"), selected.ensembleTime)
          << TemplateValue(QStringLiteral("selectorID"), manager->lastSelectorId())
          << TemplateValue(QStringLiteral("selectedServiceId"), uint(selected.serviceIdentifier))
          << TemplateValue(QStringLiteral("selectedEnsembleId"), uint(selected.ensembleIdentifier))
          << TemplateValue(QStringLiteral("selectedSID"), int(selected.selectorId))
          << TemplateValue(QStringLiteral("selectedAID"), int(manager->announcementServiceId()))
          << TemplateValue(QStringLiteral("sortOrder"), manager->sortType())
          << TemplateValue(QStringLiteral("hasFavourites"), manager->hasFavourites())
          << TemplateValue(QStringLiteral("showFavouritesOnly"), manager->isSortFavouritesOnly())
          << TemplateValue(QStringLiteral("jouExtEnabled"), Settings::jouGetExtEnabled())
          << TemplateValue(QStringLiteral("spiVersion"), 0u)
          << TemplateValue(QStringLiteral("audioDecodeAll"), false)
          << TemplateValue(QStringLiteral("binauralMode"), settings && settings->audioDecoderMode() == 1)
          << TemplateValue(QStringLiteral("binauralPreset"), settings ? settings->audioBinauralPreset() : 0)
          << TemplateValue(QStringLiteral("spokenLabels"), settings && settings->spokenLabelsActive());

    if (dab)
        reply << receiverStatusValue(dab->receiverStatus());

    {
        const NotificationSnapshot notes = manager->notes().takeSnapshot();
        reply << notificationsValue(notes.notifications);
        if (!notes.question.isEmpty())
            reply << TemplateValue(QStringLiteral("confirm"), notes.question).setEscape(false);
        TemplateValue scripts(QStringLiteral("injectJS"), TemplateValue::List);
        for (const QString &script : notes.injectScripts)
            scripts << TemplateValue(QString(), script).setEscape(false);
        reply << scripts;
    }

    {
        const ServiceSelection::AutoService automatic = manager->autoServiceState();
        TemplateValue config(QStringLiteral("serverConfig"), TemplateValue::Map);
        config << TemplateValue(QStringLiteral("serverId"), manager->getServerId())
               << TemplateValue(QStringLiteral("autoServiceInProgress"), automatic.inProgress)
               << TemplateValue(QStringLiteral("autoServiceId"), automatic.found ? automatic.serviceId : -1)
               << TemplateValue(QStringLiteral("autoServiceUrl"), automatic.requestPath)
               << TemplateValue(QStringLiteral("autoServiceFixed"),
                                automatic.found && settings && settings->isAutoServiceFixed())
               << TemplateValue(QStringLiteral("autoServiceIsAudio"), automatic.found && !automatic.isData);
        reply << config;
    }

    reply << servicesValue(manager->listEntries());
    if (settings)
        reply << announcementsValue(*settings);
    reply << tunerValue(settings, dab);

    TemplateValue audio(QStringLiteral("audio"), TemplateValue::Map);
    audio << audioConfigValue(context) << channelsValue(*manager);
    reply << audio;

    response.body = reply.toUtf8();
    return true;
}

} // namespace

TemplateValue notificationsValue(const QVector<Notification> &notifications)
{
    TemplateValue list(QStringLiteral("notify"), TemplateValue::List);
    for (const Notification &entry : notifications) {
        TemplateValue item;
        item << TemplateValue(QStringLiteral("ID"), entry.id)
             << TemplateValue(QStringLiteral("message"), entry.message).setEscape(false)
             << TemplateValue(QStringLiteral("type"), entry.type)
             << TemplateValue(QStringLiteral("isZozOnly"), entry.isZozOnly)
             << TemplateValue(QStringLiteral("timestamp"), entry.timestamp)
             << TemplateValue(QStringLiteral("duration"), entry.duration)
             << TemplateValue(QStringLiteral("clickable"), entry.clickable);
        list << item;
    }
    return list;
}

void addServerInfoCommands(AjaxTable &table, const AjaxContext &context)
{
    table.setHandler(QStringLiteral("getServerInfo"), [context](const HttpRequest &request, HttpResponse &response) {
        return getServerInfo(context, request, response);
    });
}

} // namespace ZOZ
