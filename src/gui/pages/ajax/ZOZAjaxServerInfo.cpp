// "getServerInfo": the state poll of every open page.

#include "ZOZAjaxCommands.h"

#include "ZOZAudioValues.h"
#include "ZOZServerInfoState.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceValues.h"

#include <QDateTime>

#include <cmath>
#include <memory>

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
TemplateValue announcementsValue(const QList<Settings::Announcement> &announcements)
{
    TemplateValue value(QStringLiteral("announcements"), TemplateValue::Map);
    for (const Settings::Announcement &announcement : announcements)
        value << TemplateValue(announcement.type, announcement.mask);
    return value;
}

TemplateValue tunerValue(const ServerInfoState::Tuner &state)
{
    auto option = [&state](int id) { return state.options[size_t(id)]; };
    auto flag = [&option](const char *name, int id) { return TemplateValue(QString::fromLatin1(name), option(id) != 0); };
    auto number = [&option](const char *name, int id) { return TemplateValue(QString::fromLatin1(name), option(id)); };

    TemplateValue signal(QStringLiteral("signal"), TemplateValue::Map);
    signal << TemplateValue(QStringLiteral("show"), state.mode != 0)
           << TemplateValue(QStringLiteral("file"), !state.fileName.isEmpty())
           << TemplateValue(QStringLiteral("present"), state.signalPresent)
           << TemplateValue(QStringLiteral("strength"), state.signalStrength / 10.0)
           << TemplateValue(QStringLiteral("quality"), uint(qMax(0, state.signalQuality)));

    TemplateValue fileNames(QStringLiteral("filenameList"), TemplateValue::Map);
    for (const char *name : {"AM", "FM", "DAB", "DRM30", "DRMplus", "allMode"})
        fileNames << TemplateValue(QString::fromLatin1(name), TemplateValue::List);

    TemplateValue tuner(QStringLiteral("tuner"), TemplateValue::Map);
    tuner << signal << TemplateValue(QStringLiteral("mode"), state.mode)
          << TemplateValue(QStringLiteral("sampleRate"), DefaultSampleRate)
          << TemplateValue(QStringLiteral("frequency"), state.frequency)
          << flag("filterAvailable", FilterAvailable) << flag("filter", Filter) << flag("agcAvailable", AgcAvailable)
          << flag("agc", Agc) << flag("gainAvailable", GainAvailable) << number("gainMin", GainMin)
          << number("gainMax", GainMax) << number("gain", Gain) << flag("mixerAvailable", MixerAvailable)
          << flag("mixer", Mixer) << flag("lnaAvailable", LnaAvailable) << flag("lna", Lna)
          << TemplateValue(QStringLiteral("antennaAvailable"), option(AntennaAvailable) != 0 && option(AntennaCount) > 1)
          << number("antennaCount", AntennaCount) << number("antennaSelect", AntennaSelect)
          << flag("dacAvailable", DacAvailable) << flag("dacAuto", DacAuto) << number("dacValue", DacValue)
          << flag("swapIqAvailable", SwapIqAvailable) << flag("swapIq", SwapIq)
          << TemplateValue(QStringLiteral("filename"), state.fileName) << fileNames;
    return tuner;
}

// Without an audio output the pages show full volume, unmuted.
TemplateValue audioConfigValue(const ServerInfoState &state)
{
    const auto percent = [](float value) { return int(std::floor(double(value) * FullScale + 0.5)); };
    TemplateValue levels(QStringLiteral("levelChannels"), TemplateValue::List);
    for (int channel = 0; channel < AudioChannels; ++channel)
        levels << TemplateValue(QString(), percent(state.levels.channel[size_t(channel)]));
    TemplateValue config(QStringLiteral("config"), TemplateValue::Map);
    config << TemplateValue(QStringLiteral("maxVolume"), percent(state.levels.volumeMax))
           << TemplateValue(QStringLiteral("muted"), state.muted)
           << TemplateValue(QStringLiteral("shift"), percent(state.levels.shift))
           << TemplateValue(QStringLiteral("balance"), percent(state.levels.balance))
           << TemplateValue(QStringLiteral("level"), state.level) << levels
           << TemplateValue(QStringLiteral("isRecording"), state.recording)
           << TemplateValue(QStringLiteral("recordingFile"), state.recordingFile)
           << TemplateValue(QStringLiteral("recordingTime"), state.recordingSeconds);
    return config;
}

// The members of a map's JSON text, without its braces.
QByteArray members(const TemplateValue &map)
{
    const QString json = map.toJson();
    return QStringView(json).mid(1, json.size() - 2).toUtf8();
}

// The members from "nowEnsemble" to the pending question.
QByteArray stateBeforeScripts(const ServerInfoState &state)
{
    TemplateValue part;
    part << TemplateValue(QStringLiteral("nowEnsemble"), state.selected.ensembleTime)
         << TemplateValue(QStringLiteral("selectorID"), state.selectorId)
         << TemplateValue(QStringLiteral("selectedServiceId"), uint(state.selected.serviceIdentifier))
         << TemplateValue(QStringLiteral("selectedEnsembleId"), uint(state.selected.ensembleIdentifier))
         << TemplateValue(QStringLiteral("selectedSID"), int(state.selected.selectorId))
         << TemplateValue(QStringLiteral("selectedAID"), int(state.announcementServiceId))
         << TemplateValue(QStringLiteral("sortOrder"), state.sortType)
         << TemplateValue(QStringLiteral("hasFavourites"), state.hasFavourites)
         << TemplateValue(QStringLiteral("showFavouritesOnly"), state.favouritesOnly)
         << TemplateValue(QStringLiteral("jouExtEnabled"), state.jouExtEnabled)
         << TemplateValue(QStringLiteral("spiVersion"), uint(state.spiVersion))
         << TemplateValue(QStringLiteral("audioDecodeAll"), false)
         << TemplateValue(QStringLiteral("binauralMode"), state.binauralMode)
         << TemplateValue(QStringLiteral("binauralPreset"), state.binauralPreset)
         << TemplateValue(QStringLiteral("spokenLabels"), state.spokenLabels);
    if (state.receiver)
        part << receiverStatusValue(*state.receiver);
    part << notificationsValue(state.notifications);
    if (!state.question.isEmpty())
        part << TemplateValue(QStringLiteral("confirm"), state.question).setEscape(false);
    return members(part);
}

// The members from "serverConfig" to the end.
QByteArray stateAfterScripts(const ServerInfoState &state)
{
    const ServiceSelection::AutoService &automatic = state.automatic;
    TemplateValue config(QStringLiteral("serverConfig"), TemplateValue::Map);
    config << TemplateValue(QStringLiteral("serverId"), state.serverId)
           << TemplateValue(QStringLiteral("autoServiceInProgress"), automatic.inProgress)
           << TemplateValue(QStringLiteral("autoServiceId"), automatic.found ? automatic.serviceId : -1)
           << TemplateValue(QStringLiteral("autoServiceUrl"), automatic.requestPath)
           << TemplateValue(QStringLiteral("autoServiceFixed"), state.autoServiceFixed)
           << TemplateValue(QStringLiteral("autoServiceIsAudio"), automatic.found && !automatic.isData);

    TemplateValue part;
    part << config << servicesValue(state.entries);
    if (state.announcements)
        part << announcementsValue(*state.announcements);
    part << tunerValue(state.tuner);
    TemplateValue audio(QStringLiteral("audio"), TemplateValue::Map);
    audio << audioConfigValue(state) << channelsValue(state.channels);
    part << audio;
    return members(part);
}

// The answer's text for one state, kept until the state changes. The pages
// poll far more often than anything changes, and every open page asks.
class ServerInfoAnswer
{
public:
    QByteArray answer(const AjaxContext &context, const HttpRequest &request)
    {
        // Brought up to date first, so that the favourites flags agree with the list.
        context.manager->updateServiceList();
        QStringList scripts;
        ServerInfoState state = ServerInfoState::read(context, scripts);
        const std::shared_ptr<const Built> built = builtFor(std::move(state));

        // What differs from request to request: the access, the time and the
        // scripts, which go out once, to whichever page asks first.
        TemplateValue head(QStringLiteral("success"), true);
        head << TemplateValue(QStringLiteral("isActive"), request.granted)
             << TemplateValue(QStringLiteral("now"), uint(QDateTime::currentSecsSinceEpoch()));
        TemplateValue injected;
        TemplateValue list(QStringLiteral("injectJS"), TemplateValue::List);
        for (const QString &script : scripts)
            list << TemplateValue(QString(), script).setEscape(false);
        injected << list;

        QByteArray body;
        body.reserve(built->before.size() + built->after.size() + 128);
        body += '{';
        body += members(head);
        body += ',';
        body += built->before;
        body += ',';
        body += members(injected);
        body += ',';
        body += built->after;
        body += '}';
        return body;
    }

private:
    struct Built
    {
        ServerInfoState state;
        QByteArray before;
        QByteArray after;
    };

    std::shared_ptr<const Built> builtFor(ServerInfoState &&state)
    {
        std::shared_ptr<const Built> built;
        {
            QMutexLocker locker(&m_mutex);
            built = m_built;
        }
        if (built && built->state == state)
            return built;
        // Built outside the lock: a page that finds the answer current is not kept waiting.
        auto fresh = std::make_shared<Built>();
        fresh->before = stateBeforeScripts(state);
        fresh->after = stateAfterScripts(state);
        fresh->state = std::move(state);
        QMutexLocker locker(&m_mutex);
        m_built = fresh;
        return fresh;
    }

    QMutex m_mutex;
    std::shared_ptr<const Built> m_built;
};

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
    auto answer = std::make_shared<ServerInfoAnswer>();
    table.setHandler(QStringLiteral("getServerInfo"), [context, answer](const HttpRequest &request, HttpResponse &response) {
        response.body = answer->answer(context, request);
        return true;
    });
}

} // namespace ZOZ
