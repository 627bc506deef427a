// The pages' dispatch: which template or file answers which request, the
// ajax table and the parts' wiring.
#include "ZOZPages.h"

#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpContentType.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "web/ZOZResourcePath.h"
#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"
#include "base/ZOZVersion.h"
#include "ajax/ZOZAjaxCommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ZOZ {

namespace {

constexpr quint32 LogPages = LogSource::ServiceManager;
// The "Serving LOCAL" line goes to the log file only.
constexpr quint32 LogServingLocal = LogSource::ServiceManager | LogFlag::Notice;

// No audio is streamed to remote browsers in this build.
constexpr bool RemoteStreamEnabled = false;

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

} // namespace

bool Pages::httpPageRequest(const HttpRequest &request, HttpResponse &response)
{
    static const QRegularExpression trailingSlashes(QStringLiteral("/+$"));
    QString pagePath = request.path;
    pagePath.remove(trailingSlashes);

    if (pagePath.contains(QLatin1Char('.')) && request.file == QLatin1String("index.html")) {
        PageTemplate &forward = m_templates[ForwardPage];
        QMutexLocker locker(&forward.mutex);
        forward.page->reset();
        forward.page->setVariable(QStringLiteral("SERVICE:revRequestPath"), revRequestPath(request.path));
        forward.page->setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
        response.status = 200;
        response.lastModified = Pages::nowInSeconds();
        response.filePath = forward.page->templateName();
        response.body = forward.page->render();
        return true;
    }

    if (!request.file.isEmpty())
        return serveFile(request, response);

    const auto &query = request.query;
    TemplateIndex page = IndexPage;
    if (query.contains(QStringLiteral("copyright")))
        page = CopyrightPage;
    else if (query.contains(QStringLiteral("info")) && request.hasIsZOZ)
        page = InfoPage;
    else if (query.contains(QStringLiteral("settings")))
        page = SettingsPage;
    else if (query.contains(QStringLiteral("selection")))
        page = SelectionPage;
    else if (query.contains(QStringLiteral("frontend")))
        page = FrontEndPage;

    switch (page) {
    case SelectionPage: {
        if (m_settings && m_settings->noTemplateCache())
            m_manager->changes().servicesDirty.store(true);
        checkDirties();
        PageTemplate &selection = m_templates[SelectionPage];
        QMutexLocker locker(&selection.mutex);
        response.status = 200;
        response.filePath = selection.page->templateName();
        response.body = selection.page->render();
        response.lastModified = m_selectionPageTime;
        return true;
    }
    case IndexPage:
        break;
    default: {
        // The settings, front-end, copyright and info pages are filled afresh
        // for every request and sent without a time of change.
        PageTemplate &other = m_templates[page];
        QMutexLocker locker(&other.mutex);
        HtmlTemplate &filled = *other.page;
        filled.reset();
        filled.setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
        if (page == SettingsPage && m_settings)
            fillSettingsPage(filled, request);
        else if (page == FrontEndPage)
            fillFrontEndPage(filled, request);
        else if (page == CopyrightPage)
            fillCopyrightPage(filled);
        else if (page == InfoPage)
            fillInfoPage(filled);
        response.status = 200;
        response.filePath = filled.templateName();
        response.body = filled.render();
        return true;
    }
    }

    refreshIndexPage();
    PageTemplate &index = m_templates[IndexPage];
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
    response.lastModified = m_indexPageTime;
    return true;
}

QDateTime Pages::nowInSeconds()
{
    // Page times go out as Last-Modified, which has whole seconds; a time with
    // milliseconds would never match the If-Modified-Since a browser sends back.
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

bool Pages::serveFile(const HttpRequest &request, HttpResponse &response)
{
    const QString styleRoot = m_settings ? m_settings->styleRoot() : QString();
    const QString theme = m_settings ? m_settings->theme() : QString();
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

bool Pages::httpAjaxRequest(const HttpRequest &request, HttpResponse &response)
{
    return m_ajax.dispatch(request, response);
}

bool Pages::isStateChanging(const HttpRequest &request) const
{
    return m_ajax.isStateChanging(request);
}

const QStringList &Pages::templatePaths()
{
    static const QStringList paths {
        QStringLiteral("/templates/index.html"),     QStringLiteral("/templates/services/selection.html"),
        QStringLiteral("/templates/settings.html"),  QStringLiteral("/templates/copyright.html"),
        QStringLiteral("/templates/info.html"),      QStringLiteral("/templates/services/forward.html"),
        QStringLiteral("/templates/frontend.html"),
    };
    return paths;
}

Pages::Pages(ServiceManager *manager, HttpServer *server, Receiver *receiver, Settings *settings,
             Scheduler *scheduler)
    : m_manager(manager)
    , m_server(server)
    , m_settings(settings)
    , m_registry(server)
{
    ServicePageValues::install(&m_serviceValues);
    const AjaxContext context {manager, receiver, settings, &m_links, scheduler};
    addServerInfoCommands(m_ajax, context);
    addServiceListCommands(m_ajax, context);
    addReceiverCommands(m_ajax, context);
    addSelectionCommands(m_ajax, context);
    addFrontEndCommands(m_ajax, context);
    addAudioCommands(m_ajax, context);
    addApplicationCommands(m_ajax, context);
    addSchedulerCommands(m_ajax, context);
    addSpiCommands(m_ajax, context);

    // The cycle of the list the pages poll is the manager's.
    setRefreshCycle(manager->refreshCycle());
    connect(manager, &ServiceManager::refreshCycleChanged, this, [this](int cycle) { setRefreshCycle(cycle); },
            Qt::DirectConnection);
    connect(manager, &ServiceManager::retranslated, this, &Pages::reloadTemplates);
    // The selection page is rebuilt at most 200 ms after it turned stale, and
    // only then: the timer runs once per change instead of polling the flag.
    m_dirtiesTimer.setInterval(DirtiesIntervalMs);
    m_dirtiesTimer.setSingleShot(true);
    connect(&m_dirtiesTimer, &QTimer::timeout, this, &Pages::checkDirties);
    manager->changes().setServicesDirtyListener([this] {
        QMetaObject::invokeMethod(this, [this] {
            if (m_taking && !m_dirtiesTimer.isActive())
                m_dirtiesTimer.start();
        }, Qt::QueuedConnection);
    });
}

Pages::~Pages()
{
    shutdown();
    ServicePageValues::install(nullptr);
    m_manager->changes().setServicesDirtyListener({});
}

bool Pages::init()
{
    for (int i = 0; i < PageCount; ++i) {
        const QString &path = templatePaths().at(i);
        auto page = std::make_unique<HtmlTemplate>(QString());
        if (!page->load(path)) {
            ZOZ_LOG(LogPages | LogFlag::Error,
                    QStringLiteral("ServiceManager::init() -> error: could not open template '%1'").arg(path));
            ZOZ_LOG(LogPages | LogFlag::Error | LogFlag::FatalBox,
                    QCoreApplication::translate("Error", "Fatal Error: ServiceManager could not load required templates!"));
            return false;
        }
        QMutexLocker locker(&m_templates[i].mutex);
        m_templates[i].page = std::move(page);
    }

    TemplateVariable::Rows content;
    for (const VersionPair &entry : versionReport()) {
        content << TemplateVariable::Row {TemplateVariable(QStringLiteral("key"), entry.name),
                                          TemplateVariable(QStringLiteral("value"), entry.version)};
    }
    m_infoVariables << TemplateVariable(QStringLiteral("CONTENT"), content);

    m_server->setDefaultRequestHandler(this);
    m_manager->setPageSourceRegistry(&m_registry);
    m_taking = true;
    if (!m_server->open())
        return false;
    m_dirtiesTimer.start();
    return true;
}

void Pages::shutdown()
{
    if (!m_taking)
        return;
    m_taking = false;
    m_dirtiesTimer.stop();
    m_manager->setPageSourceRegistry(nullptr);
    m_server->setDefaultRequestHandler(nullptr);
    m_registry.clear();
}

void Pages::reloadTemplates()
{
    for (PageTemplate &page : m_templates) {
        QMutexLocker locker(&page.mutex);
        if (page.page)
            page.page->setReloadNeeded();
    }
}

} // namespace ZOZ
