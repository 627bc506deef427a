// The application and interface commands: links handed to the desktop, the
// language, closing the program, notifications and remote clients, the
// Journaline and SlideShow switches, and the values of the settings page.

#include "ZOZAjaxCommands.h"
#include "ZOZAjaxValues.h"

#include "ZOZServiceManager.h"
#include "data/ZOZServiceSLS.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

#include <limits>

namespace ZOZ {

namespace {

// Device names are cut here, as the settings page has room for.
constexpr int MaxDeviceName = 31;

using namespace AjaxValues;

constexpr qint64 IntMax = std::numeric_limits<int>::max();
// Remote clients: -1 for no limit.
constexpr qint64 UnlimitedClients = -1;
// Notification bubbles: 0 none, 1 errors, 2 warnings and errors, 3 all.
constexpr qint64 LastNotifyMode = 3;
// Crash handling: quit, restart without asking, ask.
constexpr qint64 LastCrashHandlingType = 2;
// The Journaline autoplay step: at least a second, at most an hour.
constexpr qint64 ShortestTimestep = 1;
constexpr qint64 LongestTimestep = 3600;
// No remote browser is admitted by this server.
constexpr int RemoteClientRecords = 0;

const char *const TimelinePage = "/VLMtimeline/RUZ_DAZ_Timeline.html";

void reply(HttpResponse &response, const QByteArray &body)
{
    response.body = body;
}

// A switch command: writes the opposite of the current value.
void bindSwitch(AjaxTable &table, const char *command, std::function<void()> flip)
{
    table.setHandler(QString::fromLatin1(command), [flip](const HttpRequest &, HttpResponse &response) {
        flip();
        reply(response, Success);
        return true;
    });
}

// The output devices: the default one (-1) first, then every device by its id.
TemplateValue deviceList(const AudioControl &audio)
{
    TemplateValue devices(QStringLiteral("devices"), TemplateValue::List);
    const QStringList names = audio.deviceNames();
    const int selected = audio.device();
    for (int id = -1; id < int(names.size()); ++id) {
        const QString product = deviceEntryName(names.value(std::max(id, 0)));
        const QString name = id < 0 ? QCoreApplication::translate("General", "default") + QStringLiteral(" (") + product
                                          + QStringLiteral(")")
                                    : product;
        TemplateValue entry(QString(), TemplateValue::Map);
        entry << TemplateValue(QStringLiteral("deviceID"), id) << TemplateValue(QStringLiteral("name"), name)
              << TemplateValue(QStringLiteral("selected"), id == selected);
        devices << entry;
    }
    return devices;
}

TemplateValue settingsUpdate(const AjaxContext &context, const HttpRequest &request)
{
    const Settings &settings = *context.settings;
    TemplateValue value(QStringLiteral("success"), true);
    value << TemplateValue(QStringLiteral("isBRXpwValid"), request.passwordAccepted);

    TemplateValue http(QStringLiteral("http"), TemplateValue::Map);
    http << TemplateValue(QStringLiteral("numRemoteClients"), settings.httpNumRemoteClients())
         << TemplateValue(QStringLiteral("numRemoteClientsActive"), RemoteClientRecords);
    value << http;

    TemplateValue jou(QStringLiteral("jou"), TemplateValue::Map);
    jou << TemplateValue(QStringLiteral("extEnabled"), Settings::jouGetExtEnabled())
        << TemplateValue(QStringLiteral("apShowButton"), Settings::jouGetApShowButton())
        << TemplateValue(QStringLiteral("apIncRoot"), Settings::jouGetApIncRoot())
        << TemplateValue(QStringLiteral("apTimestep"), Settings::jouGetApTimestep());
    value << jou;

    TemplateValue sls(QStringLiteral("sls"), TemplateValue::Map);
    sls << TemplateValue(QStringLiteral("hasPermaCache"), settings.slsHasPermaCache())
        << TemplateValue(QStringLiteral("hasAltImages"), settings.slsHasAltImages());
    value << sls;

    QString folder = settings.audioRecordingDirectory();
    folder.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value << TemplateValue(QStringLiteral("bubbleMode"), Settings::getGuiShowBubbles() ? 1 : 0)
          << TemplateValue(QStringLiteral("notifyMode"), context.manager->notifyBubbleMode())
          << TemplateValue(QStringLiteral("crashHandlingType"), Settings::getCrashHandlingType())
          << TemplateValue(QStringLiteral("audioRecordingTimelimit"), settings.audioRecordingTimelimit())
          << TemplateValue(QStringLiteral("audioRecordingDirectory"), folder);

    context.links->withAudio([&value](const AudioControl &audio) {
        TemplateValue system(QStringLiteral("audioSystem"), TemplateValue::Map);
        const TestToneMode test = audio.testMode();
        system << TemplateValue(QStringLiteral("testMode"), test.active)
               << TemplateValue(QStringLiteral("testChannels"), int(test.mask)) << deviceList(audio)
               << TemplateValue(QStringLiteral("device"), audio.device())
               << TemplateValue(QStringLiteral("muted"), audio.isMuted())
               << TemplateValue(QStringLiteral("level"), double(audio.level()));
        value << system;
    });
    value << TemplateValue(QStringLiteral("audioDecoderMode"), settings.audioDecoderMode())
          << TemplateValue(QStringLiteral("audioBinauralPreset"), settings.audioBinauralPreset())
          << TemplateValue(QStringLiteral("audioDecodeAll"), !settings.audioSingleDecode());
    return value;
}

} // namespace

QString deviceEntryName(const QString &productName)
{
    if (productName.size() < MaxDeviceName)
        return productName;
    const QString cut = productName.left(MaxDeviceName);
    return cut.endsWith(QLatin1Char(')')) ? cut : cut + QStringLiteral("..)");
}

bool isAllowedExternalUrl(const QUrl &url)
{
    if (!url.isValid() || url.isRelative())
        return false;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    return scheme == QLatin1String("mailto") || scheme == QLatin1String("tel");
}

void addApplicationCommands(AjaxTable &table, const AjaxContext &context)
{
    Settings *settings = context.settings;
    ServiceManager *manager = context.manager;
    const PageLinks *links = context.links;
    if (!settings || !links)
        return;

    table.setHandler(QStringLiteral("getSettingsUpdate"), [context](const HttpRequest &request, HttpResponse &response) {
        reply(response, settingsUpdate(context, request).toUtf8());
        return true;
    });

    table.setHandler(QStringLiteral("openBlank"), [links](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("openBlank");
        const QString text = request.query.value(key);
        const QUrl url(text, QUrl::StrictMode);
        if (!isAllowedExternalUrl(url)) {
            reply(response, refuse(key, key, text, QStringLiteral("only http, https, mailto and tel links are opened")));
            return true;
        }
        links->withHost([&url](PageHost &host) { host.openUrl(url); });
        reply(response, Success);
        return true;
    });
    table.setHandler(QStringLiteral("openTimeline"), [links](const HttpRequest &, HttpResponse &response) {
        const QUrl url = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QLatin1String(TimelinePage));
        links->withHost([&url](PageHost &host) { host.openUrl(url); });
        reply(response, Success);
        return true;
    });
    table.setHandler(QStringLiteral("openPageInBrowser"), [links, settings](const HttpRequest &, HttpResponse &response) {
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(settings->httpPort()));
        links->withHost([&url](PageHost &host) { host.openUrl(url); });
        reply(response, Success);
        return true;
    });
    table.setHandler(QStringLiteral("switchLanguage"), [links](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("switchLanguage");
        const QString text = request.query.value(key);
        const QString code = Settings::matchLanguage(text);
        if (code.isEmpty()) {
            reply(response, refuse(key, key, text, QStringLiteral("no such language")));
            return true;
        }
        links->withHost([&code](PageHost &host) { host.switchLanguage(code); });
        reply(response, Success);
        return true;
    });
    table.setHandler(QStringLiteral("shutDownApplication"), [links](const HttpRequest &, HttpResponse &response) {
        // The host closes later, on its own thread: the answer goes out first.
        links->withHost([](PageHost &host) { host.closeApplication(); });
        reply(response, Success);
        return true;
    });

    table.setHandler(QStringLiteral("setAnnouncements"), [settings](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("setAnnouncements");
        const QString type = request.query.value(QStringLiteral("type"));
        bool known = false;
        for (const AnnouncementRow &row : announcementRows())
            known = known || type == QLatin1String(row.type);
        if (!known) {
            reply(response, refuse(key, QStringLiteral("type"), type, QStringLiteral("no such announcement type")));
            return true;
        }
        // A mask is a signed 32-bit number, as the pages send it.
        if (const auto mask = integerIn(request, key, key, -IntMax - 1, IntMax, response.body)) {
            settings->setAnnouncement(type, quint32(qint32(*mask)));
            reply(response, Success);
        }
        return true;
    });
    bindInteger(table, QStringLiteral("setHttpNumRemoteClients"), UnlimitedClients, IntMax,
                [settings](qint64 clients) { settings->setHttpNumRemoteClients(int(clients), true); });
    table.setHandler(QStringLiteral("getHttpNumRemoteClients"), [](const HttpRequest &, HttpResponse &response) {
        reply(response, QStringLiteral("{\"success\":true,\"httpNumRemoteClients\":%1}").arg(RemoteClientRecords).toUtf8());
        return true;
    });
    bindInteger(table, QStringLiteral("setBubbleMode"), 0, 1, [settings](qint64 mode) { settings->setGuiShowBubbles(mode == 1); });
    bindInteger(table, QStringLiteral("setNotifyMode"), 0, LastNotifyMode,
                [manager](qint64 mode) { manager->setNotifyBubbleMode(int(mode)); });
    bindInteger(table, QStringLiteral("setCrashHandlingType"), 0, LastCrashHandlingType,
                [settings](qint64 type) { settings->setCrashHandlingType(int(type)); });

    bindSwitch(table, "jouSwitchExtEnabled", [settings] { settings->jouSetExtEnabled(!Settings::jouGetExtEnabled()); });
    bindSwitch(table, "jouSwitchApShowButton", [settings] { settings->jouSetApShowButton(!Settings::jouGetApShowButton()); });
    bindSwitch(table, "jouSwitchApIncRoot", [settings] { settings->jouSetApIncRoot(!Settings::jouGetApIncRoot()); });
    bindInteger(table, QStringLiteral("jouSetApTimestep"), ShortestTimestep, LongestTimestep,
                [settings](qint64 seconds) { settings->jouSetApTimestep(unsigned(seconds)); });
    bindSwitch(table, "slsSwitchPermaCache", [settings] { settings->slsSetPermaCache(!settings->slsHasPermaCache()); });
    bindSwitch(table, "slsSwitchAltImages", [settings] { settings->slsSetAltImages(!settings->slsHasAltImages()); });
    bindSwitch(table, "slsClearCache", [] { ServiceSLS::clearCache(); });
}

// The parts above the pages.

void PageLinks::setHost(PageHost *host)
{
    QMutexLocker locker(&m_mutex);
    m_host = host;
}

void PageLinks::setAudio(AudioControl *audio)
{
    QMutexLocker locker(&m_mutex);
    m_audio = audio;
}

bool PageLinks::withHost(const std::function<void(PageHost &)> &use) const
{
    QMutexLocker locker(&m_mutex);
    if (!m_host)
        return false;
    use(*m_host);
    return true;
}

bool PageLinks::withAudio(const std::function<void(AudioControl &)> &use) const
{
    QMutexLocker locker(&m_mutex);
    if (!m_audio)
        return false;
    use(*m_audio);
    return true;
}

bool PageLinks::hasAudio() const
{
    QMutexLocker locker(&m_mutex);
    return m_audio != nullptr;
}

} // namespace ZOZ
