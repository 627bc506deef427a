#include "ZOZServiceManager.h"

#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "base/ZOZMainThreadServices.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"
#include "ZOZServiceStore.h"
#include "base/ZOZThreadName.h"
#include "base/ZOZVersion.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;
constexpr quint32 LogManagerError = LogSource::ServiceManager | LogFlag::Error;
constexpr int ServerIdLength = 16;
constexpr quint32 NoAutoService = 0xFFFFFFFFu;
// Change id of the auto-service setting.
constexpr int AutoServiceChanged = 1;

std::atomic<ServiceManager *> s_manager { nullptr };

} // namespace

// ---- the private part and its worker thread ----

ServiceManagerPrivate::ServiceManagerPrivate(ServiceManager *owner, std::unique_ptr<EnsembleSource> ensembleSource,
                                             std::unique_ptr<ServiceFactory> serviceFactory)
    : manager(owner)
    , serverId(randomIdentifier())
    , settings(Settings::instance())
    , source(ensembleSource ? std::move(ensembleSource) : std::make_unique<ReceiverEnsembleSource>())
    , factory(serviceFactory ? std::move(serviceFactory) : std::make_unique<ServiceFactory>())
    , channels(QStringLiteral("channels"), TemplateValue::List)
{
    cachePathCounter = settings ? settings->cachePathGeneration() : 0;
    cacheSaveTime.start();
    start(QThread::InheritPriority);
}

ServiceManagerPrivate::~ServiceManagerPrivate()
{
    stopWorker(ServiceManager::WorkerStopWaitMs);
}

QString ServiceManagerPrivate::randomIdentifier()
{
    static const char pool[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString id;
    id.reserve(ServerIdLength);
    for (int i = 0; i < ServerIdLength; ++i)
        id += QLatin1Char(pool[QRandomGenerator::global()->bounded(int(sizeof(pool) - 1))]);
    return id;
}

void ServiceManagerPrivate::requestCheck()
{
    checkRequested.store(true);
}

bool ServiceManagerPrivate::stopWorker(unsigned long waitMs)
{
    {
        QMutexLocker locker(&m_sleepMutex);
        running.store(false);
        m_wake.wakeAll();
    }
    if (wait(waitMs))
        return true;
    // A check that hangs is waited for, never cut off: it holds the
    // service-list lock and would leave it locked for ever.
    ZOZ_LOG(LogManager | LogFlag::Warning,
            QStringLiteral("ServiceManagerPrivate::stopWorker() -> warning: check still running after %1 ms, waiting for it")
                .arg(waitMs));
    wait();
    return false;
}

void ServiceManagerPrivate::run()
{
    setThreadName("ServiceManager");
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManagerPrivate::run()"));
    while (running.load()) {
        {
            QMutexLocker locker(&m_sleepMutex);
            if (running.load())
                m_wake.wait(&m_sleepMutex, ServiceManager::CheckIntervalMs);
        }
        if (!running.load())
            break;
        // Cleared before the check, so that a request during the check is served next time.
        if (checkRequested.exchange(false))
            manager->doCheckDabData();
    }
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManagerPrivate::run() -> leaving thread"));
}

// ---- the manager ----

ServiceManager *ServiceManager::instance(std::unique_ptr<EnsembleSource> source,
                                         std::unique_ptr<ServiceFactory> factory)
{
    if (ServiceManager *existing = s_manager.load()) {
        ZOZ_LOG(LogManagerError, QStringLiteral("already instantiated!"));
        return existing;
    }
    auto *manager = new ServiceManager(std::move(source), std::move(factory));
    s_manager.store(manager);
    return manager;
}

ServiceManager *ServiceManager::existingInstance()
{
    return s_manager.load();
}

void ServiceManager::destroyInstance()
{
    ServiceManager *manager = s_manager.load();
    if (!manager) {
        ZOZ_LOG(LogManagerError, QStringLiteral("trying to destroy non-existing object!"));
        return;
    }
    delete manager;
    s_manager.store(nullptr);
}

const QStringList &ServiceManager::templatePaths()
{
    static const QStringList paths {
        QStringLiteral("/templates/index.html"),     QStringLiteral("/templates/services/selection.html"),
        QStringLiteral("/templates/settings.html"),  QStringLiteral("/templates/copyright.html"),
        QStringLiteral("/templates/info.html"),      QStringLiteral("/templates/services/forward.html"),
        QStringLiteral("/templates/frontend.html"),
    };
    return paths;
}

ServiceManager::ServiceManager(std::unique_ptr<EnsembleSource> source, std::unique_ptr<ServiceFactory> factory)
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::ServiceManager()"));
    // Services made during construction find the manager through the singleton.
    s_manager.store(this);
    d = new ServiceManagerPrivate(this, std::move(source), std::move(factory));
    if (d->settings)
        d->settings->addListener(this);
    d->httpServer = new HttpServer(nullptr, nullptr);
    if (d->settings)
        d->httpSettings = std::make_unique<HttpSettingsAdapter>(d->settings, d->httpServer);
    d->httpServer->setDefaultRequestHandler(this);

    if (QCoreApplication *app = QCoreApplication::instance()) {
        if (app->metaObject()->indexOfSignal("retranslate()") >= 0)
            connect(app, SIGNAL(retranslate()), this, SLOT(retranslate()));
    }

    d->checkDataTimer.setInterval(CheckDebounceMs);
    d->checkDataTimer.setSingleShot(true);
    connect(&d->checkDataTimer, &QTimer::timeout, this, &ServiceManager::doCheckData);
    d->dirtiesTimer.setInterval(DirtiesIntervalMs);
    connect(&d->dirtiesTimer, &QTimer::timeout, this, &ServiceManager::checkDirties);
    d->dirtiesTimer.start();
}

ServiceManager::~ServiceManager()
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::~ServiceManager()"));
    d->stopWorker(WorkerStopWaitMs);
    d->checkDataTimer.stop();
    d->dirtiesTimer.stop();
    d->cacheTimer.stop();
    cleanUpServiceList(false);
    releaseSortedList();
    {
        QMutexLocker locker(&d->selectedServiceMutex);
        releaseService(d->selectedService);
        d->selectedServiceId = -1;
    }
    {
        QMutexLocker locker(&d->announcementMutex);
        releaseService(d->announcementService);
        d->announcementServiceId = -1;
    }
    {
        QMutexLocker locker(&d->autoServiceMutex);
        releaseService(d->autoService);
    }
    if (d->settings)
        d->settings->removeListener(this);

    ZOZ_LOG(LogManager, QStringLiteral("shutting down HTTP server.."));
    d->httpServer->setDefaultRequestHandler(nullptr);
    delete d->httpServer;
    d->httpServer = nullptr;
    d->httpSettings.reset();

    ZOZ_LOG(LogManager, QStringLiteral("shutting down receiver.."));
    d->source->shutdown();

    delete d;
    d = nullptr;
    if (s_manager.load() == this)
        s_manager.store(nullptr);
}

bool ServiceManager::init()
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::init()"));

    for (int i = 0; i < ServiceManagerPrivate::PageCount; ++i) {
        const QString &path = templatePaths().at(i);
        auto page = std::make_unique<HtmlTemplate>(QString());
        if (!page->load(path)) {
            ZOZ_LOG(LogManagerError,
                    QStringLiteral("ServiceManager::init() -> error: could not open template '%1'").arg(path));
            ZOZ_LOG(LogManagerError | LogFlag::FatalBox,
                    QCoreApplication::translate("Error", "Fatal Error: ServiceManager could not load required templates!"));
            return false;
        }
        QMutexLocker locker(&d->templates[i].mutex);
        d->templates[i].page = std::move(page);
    }

    TemplateVariable::Rows content;
    for (const VersionPair &entry : versionReport()) {
        content << TemplateVariable::Row {TemplateVariable(QStringLiteral("key"), entry.name),
                                          TemplateVariable(QStringLiteral("value"), entry.version)};
    }
    d->infoVariables << TemplateVariable(QStringLiteral("CONTENT"), content);

    if (!d->httpServer->open())
        return false;

    ZOZ_LOG(LogManager, QStringLiteral("starting receiver.."));
    // Installed before the receiver starts: it may ask for a scan at once.
    installReceiverSinks();
    if (!d->source->init(d->settings)) {
        ZOZ_LOG(LogManagerError, QStringLiteral("ServiceManager::init() -> error: could not startup receiver"));
        return false;
    }
    QObject *notifier = d->source->notifier();
    connect(notifier, SIGNAL(dataReady()), this, SLOT(onCheckData()));
    connect(notifier, SIGNAL(signalScanMode(bool)), this, SLOT(onSignalScanMode(bool)));
    d->source->start();

    QSettings store = servicePersistentStore();
    bool ok = false;
    const int sortType = store.value(QStringLiteral("sortType")).toInt(&ok);
    if (ok)
        m_sortType = sortType;
    m_sortFavouritesOnly = store.value(QStringLiteral("sortFavouritesOnly"), false).toBool();
    bool ensembleOk = false;
    bool serviceOk = false;
    bool componentOk = false;
    const int lastEnsemble = store.value(QStringLiteral("lastEnsembleIdentifier")).toInt(&ensembleOk);
    const qint64 lastService = store.value(QStringLiteral("lastServiceIdentifier")).toLongLong(&serviceOk);
    const int lastComponent = store.value(QStringLiteral("lastServiceComponentIdentifier")).toInt(&componentOk);
    if (ensembleOk && serviceOk && componentOk) {
        QMutexLocker locker(&d->autoServiceMutex);
        d->autoEnsembleIdentifier = lastEnsemble;
        d->autoServiceIdentifier = lastService;
        d->autoComponentId = lastComponent;
        MainThreadServices::queueInvoke({this, QByteArray(SLOT(recheckAutoService())), AutoServiceDelayMs});
    }
    if (d->settings && d->settings->autoServiceId() != NoAutoService) {
        QMutexLocker locker(&d->autoServiceMutex);
        d->autoEnsembleIdentifier = -1;
        d->autoServiceIdentifier = qint64(d->settings->autoServiceId());
        d->autoComponentId = -1;
        MainThreadServices::queueInvoke({this, QByteArray(SLOT(recheckAutoService())), AutoServiceDelayMs});
    }

    connect(&d->cacheTimer, &QTimer::timeout, this, &ServiceManager::checkCache);
    d->cacheTimer.start(CacheCheckIntervalMs);
    d->dirtiesTimer.start();
    return true;
}

HttpServer *ServiceManager::httpServer() const
{
    return d->httpServer;
}

void ServiceManager::setDirty(const bool &servicesToo)
{
    d->serviceListDirty.store(true);
    d->channelsDirty.store(true);
    if (servicesToo)
        d->servicesDirty.store(true);
}

bool ServiceManager::isServiceListDirty() const { return d->serviceListDirty.load(); }
bool ServiceManager::isChannelsDirty() const { return d->channelsDirty.load(); }
bool ServiceManager::isServicesDirty() const { return d->servicesDirty.load(); }
bool ServiceManager::isVariablesDirty() const { return d->variablesDirty.load(); }
bool ServiceManager::isCheckRequested() const { return d->checkRequested.load(); }

void ServiceManager::clearDirtyFlags()
{
    d->serviceListDirty.store(false);
    d->channelsDirty.store(false);
    d->servicesDirty.store(false);
    d->variablesDirty.store(false);
}

QString ServiceManager::getServerId() const
{
    QMutexLocker locker(&d->serverIdMutex);
    return d->serverId;
}

void ServiceManager::connectBubbleMessages()
{
    // The main window with its tray does not exist in this build; bubbles stay unconnected.
}

void ServiceManager::onNewTextMessage()
{
    setDirty(false);
}

void ServiceManager::onCheckData()
{
    d->checkDataTimer.start();
}

void ServiceManager::doCheckData()
{
    if (d->lastCheckTime.isValid() && d->lastCheckTime.elapsed() < CheckIntervalMs) {
        const qint64 remaining = qMax<qint64>(0, CheckIntervalMs - d->lastCheckTime.elapsed());
        QTimer::singleShot(int(remaining), this, &ServiceManager::onCheckData);
        return;
    }
    d->lastCheckTime.start();
    d->requestCheck();
}

void ServiceManager::onSignalScanMode(bool active)
{
    d->scanActive.store(active);
    // The database is complete when the scan ends, and the receiver reports no
    // further change for it: rebuild the services from it now.
    if (!active) {
        d->checkDataTimer.start();
        return;
    }
    cleanUpServiceList(true);
}

void ServiceManager::checkCache()
{
    if (d->settings && d->cachePathCounter != d->settings->cachePathGeneration()) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::checkCache() -> cache path changed: resetting cache!"));
        d->cachePathCounter = d->settings->cachePathGeneration();
        doResetCache();
    }
    if (d->cacheSaveTime.elapsed() > CacheSaveIntervalMs) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::checkCache() -> saving cache"));
        doSaveCache();
        d->cacheSaveTime.restart();
    }
}

void ServiceManager::doResetCache()
{
    QReadLocker locker(&d->serviceListLock);
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (Service *service : services) {
            service->clearData();
            service->loadCache();
        }
    }
}

void ServiceManager::doSaveCache()
{
    QReadLocker locker(&d->serviceListLock);
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (Service *service : services)
            service->saveCache();
    }
}

void ServiceManager::settingChanged(const QVector<int> &changes)
{
    if (changes.contains(Settings::ConfigOptionChanged))
        setDirty(true);
    if (changes.contains(Settings::ConfigOptionChanged) || changes.contains(Settings::SharedSettingChanged)) {
        QMutexLocker locker(&d->serverIdMutex);
        d->serverId = ServiceManagerPrivate::randomIdentifier();
        d->variablesDirty.store(true);
    }
    if (changes.contains(AutoServiceChanged) && d->settings && d->settings->autoServiceId() != NoAutoService) {
        QMutexLocker locker(&d->autoServiceMutex);
        releaseService(d->autoService);
        d->autoEnsembleIdentifier = -1;
        d->autoServiceIdentifier = qint64(d->settings->autoServiceId());
        d->autoComponentId = -1;
        MainThreadServices::queueInvoke({this, QByteArray(SLOT(recheckAutoService())), AutoServiceDelayMs});
    }
}

void ServiceManager::retranslate()
{
    {
        QWriteLocker locker(&d->serviceListLock);
        for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
            for (Service *service : services)
                service->retranslate();
        }
    }
    for (ServiceManagerPrivate::PageTemplate &page : d->templates) {
        QMutexLocker locker(&page.mutex);
        if (page.page)
            page.page->setReloadNeeded();
    }
    setDirty(true);
    {
        QMutexLocker locker(&d->serverIdMutex);
        d->serverId = ServiceManagerPrivate::randomIdentifier();
        d->variablesDirty.store(true);
    }
    QMutexLocker locker(&d->selectedServiceMutex);
    if (d->selectedService) {
        emit announceTrayToolTip(QCoreApplication::translate("General", "Current Service: ")
                                 + d->selectedService->label());
    }
}

void ServiceManager::recheckAutoService()
{
    qint32 ensembleIdentifier;
    qint64 serviceIdentifier;
    qint32 componentId;
    {
        QMutexLocker locker(&d->autoServiceMutex);
        if (d->autoService || d->autoServiceIdentifier == -1)
            return;
        ensembleIdentifier = d->autoEnsembleIdentifier;
        serviceIdentifier = d->autoServiceIdentifier;
        componentId = d->autoComponentId;
    }
    QWriteLocker listLocker(&d->serviceListLock);
    Service *match = nullptr;
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (auto it = services.crbegin(); it != services.crend() && !match; ++it) {
            Service *service = *it;
            // An identifier from the command line names no ensemble.
            if (service->serviceIdentifier() != serviceIdentifier
                || (ensembleIdentifier != -1 && service->ensembleIdentifier() != ensembleIdentifier))
                continue;
            match = service;
            if (componentId == -1)
                break;
            const quint32 flags = service->sourceFlags();
            if (flags == 1 || flags == 3) {
                for (Service *child : service->children()) {
                    if (child->shortId() == quint16(componentId)) {
                        match = child;
                        break;
                    }
                }
            } else if ((flags == 4 || flags == 8 || flags == 12) && !service->children().isEmpty()) {
                match = service->children().first();
            }
        }
        if (match)
            break;
    }
    if (!match)
        return;
    QMutexLocker locker(&d->autoServiceMutex);
    if (!d->autoService) {
        match->retain();
        d->autoService = match;
    }
}

void ServiceManager::checkAutoService(Service *service)
{
    if (!service)
        return;
    {
        QMutexLocker locker(&d->autoServiceMutex);
        if (d->autoServiceIdentifier == -1 || service->serviceIdentifier() != d->autoServiceIdentifier)
            return;
        if (d->autoEnsembleIdentifier != -1 && service->ensembleIdentifier() != d->autoEnsembleIdentifier)
            return;
        if (d->autoComponentId != -1 && service->componentId() != quint16(d->autoComponentId))
            return;
        d->autoEnsembleIdentifier = -1;
        d->autoServiceIdentifier = -1;
        d->autoComponentId = -1;
    }
    service->setFixed(d->settings && d->settings->isAutoServiceFixed());
    selectService(service, false);
}

Service *ServiceManager::autoService() const
{
    QMutexLocker locker(&d->autoServiceMutex);
    return d->autoService;
}

void ServiceManager::releaseService(Service *&held)
{
    Service *service = held;
    held = nullptr;
    if (service)
        service->release();
}

} // namespace ZOZ
