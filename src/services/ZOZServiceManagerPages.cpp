#include "web/ZOZHtmlTemplate.h"
#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpContentType.h"
#include "base/ZOZLog.h"
#include "web/ZOZResourcePath.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceManagerPrivate.h"
#include "settings/ZOZSettings.h"
#include "base/ZOZVersion.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace ZOZ {

namespace {

constexpr quint32 LogPages = LogSource::ServiceManager;
// The "Serving LOCAL" line goes to the log file only.
constexpr quint32 LogServingLocal = LogSource::ServiceManager | LogFlag::Notice;

// Values this build has no source for: the server port is never fixed, no
// audio is streamed to remote browsers, the timeline is off, and the receiver
// reads recorded ensembles, so its input rate is the stick's nominal one.
constexpr int FixedServerPort = -1;
constexpr bool RemoteStreamEnabled = false;
constexpr bool TimelineEnabled = false;
constexpr unsigned ReceiverSampleRate = 192000;

// Only a virtual address (two or three decimal numbers joined by points) is
// put into the index page; any other path leaves the address empty.
const QRegularExpression &virtualAddressPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\d+(\\.\\d+){1,2}$"));
    return pattern;
}

QString revRequestPath(const QString &path)
{
    return QStringLiteral("../").repeated(path.count(QLatin1Char('/')));
}

// For a value that the index page carries in an attribute and its scripts read:
// nothing in it may end the attribute or start markup or a script string.
QByteArray escapeForPage(const QString &text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\\': out += "&#92;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

bool journalineExtendedEnabled()
{
    QSettings store(QStringLiteral("Dadidozor DAZ"), QStringLiteral("Radarovaz"));
    return store.value(QStringLiteral("Settings/Journaline/extEnabled"), true).toBool();
}

// Page times go out as Last-Modified, which has whole seconds; a time with
// milliseconds would never match the If-Modified-Since a browser sends back.
QDateTime nowInSeconds()
{
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

} // namespace

bool ServiceManager::httpPageRequest(const HttpRequest &request, HttpResponse &response)
{
    static const QRegularExpression trailingSlashes(QStringLiteral("/+$"));
    QString pagePath = request.path;
    pagePath.remove(trailingSlashes);

    if (pagePath.contains(QLatin1Char('.')) && request.file == QLatin1String("index.html")) {
        ServiceManagerPrivate::PageTemplate &forward = d->templates[ServiceManagerPrivate::ForwardPage];
        QMutexLocker locker(&forward.mutex);
        forward.page->reset();
        forward.page->setVariable(QStringLiteral("SERVICE:revRequestPath"), revRequestPath(request.path));
        forward.page->setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
        response.status = 200;
        response.lastModified = nowInSeconds();
        response.filePath = forward.page->templateName();
        response.body = forward.page->render();
        return true;
    }

    if (!request.file.isEmpty()) {
        const QString styleRoot = d->settings ? d->settings->styleRoot() : QString();
        const QString theme = d->settings ? d->settings->theme() : QString();
        // The resolver refuses paths that would leave the resource roots.
        const QString resolved = resolveResourcePath(styleRoot, theme, request.path + request.file);
        if (resolved.isEmpty())
            return false;
        QFile file(resolved);
        if (!QFileInfo(resolved).isFile() || !file.open(QIODevice::ReadOnly))
            return false;
        response.status = 200;
        response.contentType = mimeTypeForExtension(request.file, HttpContentBinary);
        response.filePath = resolved;
        response.body = file.readAll();
        response.lastModified = QFileInfo(file).lastModified().toUTC();
        return true;
    }

    const auto &query = request.query;
    ServiceManagerPrivate::TemplateIndex page = ServiceManagerPrivate::IndexPage;
    if (query.contains(QStringLiteral("copyright")))
        page = ServiceManagerPrivate::CopyrightPage;
    else if (query.contains(QStringLiteral("info")) && request.hasIsZOZ)
        page = ServiceManagerPrivate::InfoPage;
    else if (query.contains(QStringLiteral("settings")))
        page = ServiceManagerPrivate::SettingsPage;
    else if (query.contains(QStringLiteral("selection")))
        page = ServiceManagerPrivate::SelectionPage;
    else if (query.contains(QStringLiteral("frontend")))
        page = ServiceManagerPrivate::FrontEndPage;

    switch (page) {
    case ServiceManagerPrivate::SelectionPage: {
        if (d->settings && d->settings->noTemplateCache())
            d->servicesDirty.store(true);
        checkDirties();
        ServiceManagerPrivate::PageTemplate &selection = d->templates[ServiceManagerPrivate::SelectionPage];
        QMutexLocker locker(&selection.mutex);
        response.status = 200;
        response.filePath = selection.page->templateName();
        response.body = selection.page->render();
        response.lastModified = d->selectionPageTime;
        return true;
    }
    case ServiceManagerPrivate::IndexPage:
        break;
    default:
        // The settings, front-end, copyright and info pages come with their own
        // variables; until then they show their template as it is.
        {
            ServiceManagerPrivate::PageTemplate &other = d->templates[page];
            QMutexLocker locker(&other.mutex);
            other.page->reset();
            response.status = 200;
            response.filePath = other.page->templateName();
            response.body = other.page->render();
            response.lastModified = nowInSeconds();
        }
        return true;
    }

    refreshIndexPage();
    ServiceManagerPrivate::PageTemplate &index = d->templates[ServiceManagerPrivate::IndexPage];
    QMutexLocker locker(&index.mutex);
    if (request.remote)
        return false;
    const auto flag = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    ZOZ_LOG(LogServingLocal, QStringLiteral("Serving LOCAL '%1' [isZOZ: %2, remoteStream: %3, remote: %4]")
                                 .arg(request.uri, flag(request.hasIsZOZ), flag(RemoteStreamEnabled),
                                      flag(request.remote)));
    response.status = 200;
    response.filePath = index.page->templateName();
    QByteArray body = index.page->render();
    const QByteArray virtualAddress =
        virtualAddressPattern().match(pagePath).hasMatch() ? pagePath.toUtf8() : QByteArray();
    body.replace("ZOZ_VIRTUAL_ADDRESS", virtualAddress);
    body.replace("ZOZ_IS_REMOTE", request.remote ? "true" : "false");
    body.replace("IS_ZOZ_PW_CORRECT", request.passwordAccepted ? "true" : "false");
    body.replace("IS_ZOZ_LAST_PASSWORD", escapeForPage(request.isZOZ));
    response.body = body;
    response.lastModified = d->indexPageTime;
    return true;
}

void ServiceManager::refreshIndexPage()
{
    const auto wanted = [this] { return d->variablesDirty.load() || (d->settings && d->settings->noTemplateCache()); };
    if (!wanted())
        return;
    ServiceManagerPrivate::PageTemplate &index = d->templates[ServiceManagerPrivate::IndexPage];
    QMutexLocker locker(&index.mutex);
    if (!wanted())
        return;
    d->variablesDirty.store(false);

    const QString strings = uiStrings();
    TemplateVariable::Rows domains;
    if (d->settings) {
        for (const QString &domain : d->settings->allowedDomains())
            domains << TemplateVariable::Row {TemplateVariable(QStringLiteral("domain"), domain)};
    }

    HtmlTemplate &page = *index.page;
    page.reset();
    page.setVariable(QStringLiteral("IS_ZOZ"), true);
    page.setVariable(QStringLiteral("ZOZ_STRINGS"), strings);
    page.setVariable(QStringLiteral("ZOZ_VERSION"), versionString());
    page.setVariable(QStringLiteral("ZOZ_SERVER_ID"), getServerId());
    page.setVariable(QStringLiteral("ZOZ_SERVER_PORT"), FixedServerPort);
    page.setVariable(QStringLiteral("HTTP_PORT"), d->settings ? d->settings->httpPort() : -1);
    page.setVariable(QStringLiteral("SERVER-REMOTE"), false);
    page.setVariable(QStringLiteral("REMOTE_CONTROL"), true);
    page.setVariable(QStringLiteral("jouExtEnabled"), journalineExtendedEnabled());
    page.expandLoops(QStringLiteral("PM_DOMAINS"), domains);
    page.expandLoops(QStringLiteral("AUDIOFORMATS"), TemplateVariable::Rows());
    page.setVariable(QStringLiteral("AUDIO_STREAM"), false);
    // This build has no audio system yet, so the seven audio values stay unset.
    page.setVariable(QStringLiteral("FE_MODES"), QString());
    const int mode = d->settings ? d->settings->frontEndMode() : 0;
    const QString inputFile = d->settings ? d->settings->frontEndFileName() : QString();
    page.setVariable(QStringLiteral("ENABLE_SCAN_MODE"), mode != 0 && inputFile.isEmpty());
    page.setVariable(QStringLiteral("TUNER_MODE"), mode);
    page.setVariable(QStringLiteral("TUNER_SAMPLERATE"), ReceiverSampleRate);
    page.setVariable(QStringLiteral("TUNER_FREQUENCY"), d->settings ? d->settings->frontEndFrequency() : 0u);
    page.setVariable(QStringLiteral("TUNER_FILENAME"), inputFile);
    page.setVariable(QStringLiteral("ENABLE_SPI"), true);
    page.setVariable(QStringLiteral("ENABLE_SCHEDULER"), true);
    page.setVariable(QStringLiteral("audioRecording"), d->settings && d->settings->isAudioRecording());
    page.setVariable(QStringLiteral("spokenLabels"), d->settings && d->settings->spokenLabelsActive());
    page.setVariable(QStringLiteral("audioDecodeAll"), !(d->settings && d->settings->audioSingleDecode()));
    page.setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
    d->indexPageTime = nowInSeconds();
}

void ServiceManager::checkDirties()
{
    if (!d->servicesDirty.load())
        return;
    ServiceManagerPrivate::PageTemplate &selection = d->templates[ServiceManagerPrivate::SelectionPage];
    QMutexLocker locker(&selection.mutex);
    if (!d->servicesDirty.exchange(false) || !selection.page)
        return;

    HtmlTemplate &page = *selection.page;
    page.reset();
    page.setVariable(QStringLiteral("ENABLE_RECORDING"), true);
    page.setVariable(QStringLiteral("ENABLE_FAVOURITES"), true);
    page.setVariable(QStringLiteral("HIDE_LANDSCAPE_FOOTER"), true);
    page.setVariable(QStringLiteral("SERVICE:HTTP_REFRESH_CYCLE"), refreshCycle());
    page.setVariable(QStringLiteral("DADIDOZOR_TIMELINE"), TimelineEnabled);
    page.setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
    updateServiceList();
    page.expandLoops(QStringLiteral("SERVICES"), serviceRows());
    d->selectionPageTime = nowInSeconds();
    setRefreshCycle(refreshCycle() + 1);
}

} // namespace ZOZ
