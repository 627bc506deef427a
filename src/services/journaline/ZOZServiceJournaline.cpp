#include "ZOZServiceJournaline.h"

#include "HtmlTemplate.h"
#include "NSJRendererHTML.h"
#include "ZOZServiceManager.h"
#include "ZOZServicePageValues.h"
#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

#include <QDateTime>
#include <QSettings>
#include <QUrl>

namespace ZOZ {

namespace {

constexpr quint32 LogJournaline = LogSource::ServiceJournaline;
constexpr quint32 LogJournalineError = LogSource::ServiceJournaline | LogFlag::Error;
constexpr quint32 LogJournalineWarning = LogSource::ServiceJournaline | LogFlag::Warning;

// The Journaline settings group; the renderer reads them whenever they are applied.
const QString ExtEnabledKey = QStringLiteral("Settings/Journaline/extEnabled");
const QString ShowButtonKey = QStringLiteral("Settings/Journaline/apShowButton");
const QString IncludeRootKey = QStringLiteral("Settings/Journaline/apIncRoot");
const QString TimestepKey = QStringLiteral("Settings/Journaline/apTimestep");
const QString RegistryPrefix = QStringLiteral("Journaline/registry/");

// A request line for the renderer from what the web layer parsed: the
// renderer finds its root below "/jour/".
std::string requestLine(const PageRequest &request)
{
    QByteArray target = "/jour/" + QUrl::toPercentEncoding(request.path, "/") +
                        QUrl::toPercentEncoding(request.file);
    bool first = true;
    for (auto it = request.query.cbegin(); it != request.query.cend(); ++it) {
        target += first ? '?' : '&';
        target += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value(), ",");
        first = false;
    }
    return ("GET " + target + " HTTP/1.0\r\n\r\n").toStdString();
}

QString registryKey(void *context)
{
    auto *service = static_cast<ServiceJournaline *>(context);
    return RegistryPrefix + service->cacheKey();
}

// The Journaline templates insert values as they are given: texts from
// outside are escaped here, for HTML text and quoted attributes alike.
std::string escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")).toStdString();
}

std::vector<HtmlTemplateRow> templateRows(const TemplateVariable::Rows &rows);

HtmlTemplateVariable templateVariable(const TemplateVariable &variable)
{
    if (variable.isList)
        return HtmlTemplateVariable(variable.name.toStdString(), templateRows(variable.items));
    return HtmlTemplateVariable(variable.name.toStdString(), escaped(variable.value));
}

std::vector<HtmlTemplateRow> templateRows(const TemplateVariable::Rows &rows)
{
    std::vector<HtmlTemplateRow> out;
    out.reserve(size_t(rows.size()));
    for (const TemplateVariable::Row &row : rows) {
        HtmlTemplateRow fields;
        fields.reserve(size_t(row.size()));
        for (const TemplateVariable &field : row)
            fields.push_back(templateVariable(field));
        out.push_back(std::move(fields));
    }
    return out;
}

} // namespace

const QString ServiceJournaline::CacheFileName = QStringLiteral("last.zoz");

JournalineCache::JournalineCache(const QString &directory)
    : Storage(directory, ServiceJournaline::CacheFileName, JournalineType)
{
}

bool JournalineCache::read(QByteArray &objects)
{
    if (!m_valid)
        return false;
    return StorageRead::byteArray(m_stream, objects, MaxBytes);
}

bool JournalineCache::write(const QByteArray &objects)
{
    if (!setWriteMode(FormatVersion))
        return false;
    m_stream << objects;
    return finishWrite();
}

ServiceJournaline::ServiceJournaline(ServiceDescriptor &descriptor)
    : Service(true)
{
    ZOZ_LOG(LogJournaline, QStringLiteral("ServiceJournaline::ServiceJournaline()"));
    descriptor.name = QStringLiteral("Journaline");
    descriptor.shortname = QStringLiteral("journaline");
    init(descriptor);
}

ServiceJournaline::~ServiceJournaline()
{
    ZOZ_LOG(LogJournaline, QStringLiteral("ServiceJournaline::~ServiceJournaline()"));
    QMutexLocker locker(&m_lock);
    saveCache();
    m_renderer.reset();
}

bool ServiceJournaline::isRunning() const
{
    return m_renderer != nullptr;
}

void ServiceJournaline::setup()
{
    Settings *settings = Settings::instance();
    auto renderer = std::make_unique<NSJRendererHTML>(false, false, "style", "");
    renderer->setStyleOption((settings ? settings->styleRoot() : QStringLiteral("style/")).toStdString());
    renderer->setResponseHeader(NSJRenderer::ResponseHeader::Off);
    if (settings) {
        renderer->setLoadOption(settings->noTemplateCache());
        renderer->setRenderOption(settings->showTemplateInstructions());
    }
    renderer->setLinkResolver(&ServiceJournaline::resolveLink, this);
    renderer->setTemplateCallback(&ServiceJournaline::expandTemplate, this);
    if (renderer->start(true, 0) == -1) {
        // One service without its decoder is no reason to end the program.
        ZOZ_LOG(LogJournalineError, QStringLiteral("ServiceJournaline::ServiceJournaline() -> fatal error: could not "
                                                   "initialise NSJRenderer"));
        return;
    }
    {
        QMutexLocker locker(&m_lock);
        m_renderer = std::move(renderer);
        applySettings();
    }
    loadCache();
    installRegistry();
}

void ServiceJournaline::installRegistry()
{
    QMutexLocker locker(&m_lock);
    if (!m_renderer)
        return;
    m_renderer->setRegistryCallbacks(
        [](std::string &out, void *context) {
            out = QSettings().value(registryKey(context)).toByteArray().toStdString();
        },
        [](const std::string &in, void *context) {
            QSettings().setValue(registryKey(context), QByteArray::fromStdString(in));
        },
        this);
}

void ServiceJournaline::applySettings()
{
    if (!m_renderer)
        return;
    const QSettings stored;
    m_renderer->setExtEnabled(stored.value(ExtEnabledKey, true).toBool());
    m_renderer->setAutoplayButtonShown(stored.value(ShowButtonKey, false).toBool());
    m_renderer->setAutoplayIncludesRoot(stored.value(IncludeRootKey, false).toBool());
    m_renderer->setAutoplayStep(stored.value(TimestepKey, 15u).toUInt());
    if (Settings *settings = Settings::instance())
        m_renderer->setSecondOption(settings->theme().toStdString());
}

void ServiceJournaline::reload()
{
    QMutexLocker locker(&m_lock);
    if (!m_renderer)
        return;
    clearData();
    loadCache();
    installRegistry();
}

void ServiceJournaline::settingChanged(const QVector<int> &ids)
{
    Service::settingChanged(ids);
    // The Journaline group lives among the shared settings.
    if (ids.contains(Settings::SharedSettingChanged)) {
        QMutexLocker locker(&m_lock);
        applySettings();
    }
}

void ServiceJournaline::clearData()
{
    QMutexLocker locker(&m_lock);
    if (m_renderer)
        m_renderer->resetObjectCache();
}

void ServiceJournaline::loadCache()
{
    Settings *settings = Settings::instance();
    if (!settings || !settings->hasPhysicalCache() || cachePath().isEmpty())
        return;
    JournalineCache cache(cachePath());
    if (!cache.isValid())
        return;
    QByteArray objects;
    if (!cache.read(objects))
        return;
    QMutexLocker locker(&m_lock);
    if (!m_renderer)
        return;
    m_renderer->importCache(NSJAPIProvider::Bytes(objects.cbegin(), objects.cend()));
    if (m_renderer->rootAvailable())
        markDirty();
}

void ServiceJournaline::saveCache()
{
    Settings *settings = Settings::instance();
    if (!settings || !settings->hasPhysicalCache() || cachePath().isEmpty())
        return;
    QMutexLocker locker(&m_lock);
    if (!m_renderer)
        return;
    NSJAPIProvider::Bytes objects;
    m_renderer->exportCache(objects);
    JournalineCache cache(cachePath());
    cache.write(QByteArray(reinterpret_cast<const char *>(objects.data()), qsizetype(objects.size())));
}

bool ServiceJournaline::handlePacket(int length, const uchar *const &data)
{
    const QString where = QStringLiteral("ServiceJournaline::handlePacket( data[%1], dataLength[%2] )")
                              .arg(logAddress(data))
                              .arg(length);
    QMutexLocker locker(&m_lock);
    if (!m_renderer) {
        ZOZ_LOG(LogJournalineWarning, where + QStringLiteral(" -> NSJRenderer not running"));
        return false;
    }
    if (length <= 0 || length > 0xFFFF || !data)
        return false;
    const std::string error = m_renderer->processDataGroup(data, static_cast<uint16_t>(length));
    if (!error.empty()) {
        ZOZ_LOG(LogJournalineError, where + QStringLiteral(" -> error: '%1' (streamId: %2)")
                                                .arg(QString::fromStdString(error))
                                                .arg(streamId()));
        return false;
    }
    ZOZ_LOG(LogJournaline, where);
    return true;
}

ServiceJournaline::PageSnapshot ServiceJournaline::takePageSnapshot() const
{
    PageSnapshot snapshot;
    const ServicePageValues *values = ServicePageValues::installed();
    ServiceManager *serviceManager = manager();
    if (!serviceManager) {
        if (values)
            snapshot.ownValues = values->serviceVariables(*this);
        return snapshot;
    }
    serviceManager->withServices([&](const QMap<int, QVector<Service *>> &tree) {
        snapshot.links = ServiceUriTable::fromServices(tree);
        if (values)
            snapshot.ownValues = values->serviceVariables(*this);
    });
    return snapshot;
}

std::string ServiceJournaline::resolveLink(const std::string &link, void *context)
{
    auto *service = static_cast<ServiceJournaline *>(context);
    QMutexLocker locker(&service->m_lock);
    QByteArray uri = QByteArray::fromStdString(link);
    if (!service->m_snapshot.links.resolve(uri))
        return {};
    // The request path is relative to the server's root, the page is not.
    return '/' + uri.toStdString();
}

void ServiceJournaline::expandTemplate(::HtmlTemplate *page, void *context)
{
    auto *service = static_cast<ServiceJournaline *>(context);
    QMutexLocker locker(&service->m_lock);
    const ServicePageValues *values = ServicePageValues::installed();
    page->setVariable("ZOZ_APP_NAME_FULL", values ? escaped(values->applicationFullName()) : std::string());
    page->setVariable("ZOZ_APP_NAME", values ? escaped(values->applicationName()) : std::string());
    page->setVariable("LANGUAGE", values ? escaped(values->language()) : std::string());
    ServiceManager *serviceManager = service->manager();
    page->setVariable("ZOZ_SERVER_ID", serviceManager ? escaped(serviceManager->getServerId()) : std::string());
    const Settings *settings = Settings::instance();
    page->setNumber("PAGE-REFRESH", settings ? settings->httpRefreshTime() : 1000);
    page->setBool("ENABLE_AUDIO", settings && settings->hasAudioService());
    if (settings) {
        const QMap<int, Settings::ConfigOption> options = settings->configOptions();
        for (const Settings::ConfigOption &option : options)
            page->setBool("ENABLE_" + option.tag.toStdString(), option.value != 0);
    }
    std::vector<HtmlTemplateRow> own;
    HtmlTemplateRow fields;
    for (const TemplateVariable &variable : service->m_snapshot.ownValues)
        fields.push_back(templateVariable(variable));
    if (!fields.empty())
        own.push_back(std::move(fields));
    page->setList("SERVICE", own);
}

bool ServiceJournaline::answerPage(const PageRequest &request, PageAnswer &answer)
{
    if (request.query.contains(QStringLiteral("preview")))
        return Service::answerPage(request, answer);
    // Before the service lock: the snapshot takes the service-list lock.
    PageSnapshot snapshot = takePageSnapshot();
    QMutexLocker locker(&m_lock);
    if (!m_renderer)
        return false;
    m_snapshot = std::move(snapshot);
    applySettings();
    std::string output;
    PageRequest effective = request;
    // The renderer sees the paths below the service's own.
    const QString own = requestPath();
    if (!own.isEmpty() && effective.path.startsWith(own))
        effective.path.remove(0, own.size());
    if (effective.file.isEmpty())
        effective.file = QStringLiteral("0.html");
    if (m_renderer->Handle_HttpRequest(requestLine(effective), output) <= 0 && output.empty()) {
        if (m_renderer->contentType() != "404")
            return false;
    }
    const std::string type = m_renderer->contentType();
    if (type == "404" || type == "500") {
        answer.status = type == "404" ? 404 : 500;
        answer.mimeType = QStringLiteral("text/html");
    } else {
        answer.status = 200;
        answer.mimeType = QString::fromStdString(type);
    }
    answer.body = QByteArray::fromStdString(output);
    if (const uint32_t modified = m_renderer->lastModified())
        answer.lastModified = QDateTime::fromSecsSinceEpoch(modified, Qt::UTC);
    return true;
}

} // namespace ZOZ
