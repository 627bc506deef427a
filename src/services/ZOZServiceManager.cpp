#include "ZOZServiceManager.h"

#include "base/ZOZLog.h"
#include "base/ZOZMainThreadServices.h"
#include "base/ZOZPaths.h"
#include "ZOZService.h"
#include "ZOZServiceDirectory.h"
#include "ZOZServiceList.h"
#include "ZOZServiceListExport.h"
#include "ZOZServiceStore.h"
#include "audio/ZOZServiceAudio.h"
#include "data/ZOZSpiManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QReadLocker>
#include <QRegularExpression>
#include <QWriteLocker>

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

QString ServiceManager::randomIdentifier()
{
    static const char pool[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString id;
    id.reserve(ServerIdLength);
    for (int i = 0; i < ServerIdLength; ++i)
        id += QLatin1Char(pool[QRandomGenerator::global()->bounded(int(sizeof(pool) - 1))]);
    return id;
}

// Services made during construction find the manager through the singleton,
// so it is published before the parts are made.
Settings *ServiceManager::beginConstruction(ServiceManager *manager)
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::ServiceManager()"));
    s_manager.store(manager);
    return Settings::instance();
}

ServiceManager::ServiceManager(std::unique_ptr<EnsembleSource> source, std::unique_ptr<ServiceFactory> factory)
    : m_settings(beginConstruction(this))
    , m_recordings(m_settings,
                   [this](const QString &type, const QString &text, int seconds) {
                       m_notifications.addNotification(text, type, seconds, false, QString(), true, false);
                   })
    , m_directory(std::make_unique<ServiceDirectory>(m_changes, m_settings, std::move(source), std::move(factory),
                                                     CheckIntervalMs))
    , m_selection(m_changes, m_settings, *m_directory)
    , m_list(std::make_unique<ServiceList>(m_changes, m_settings, *m_directory))
    , m_serverId(randomIdentifier())
{
    m_directory->setSelection(&m_selection);
    m_spiManager = SpiManager::instance();
    m_selection.setToolTipSink([this](const QString &text) { emit announceTrayToolTip(text); });
    m_changes.setCycleListener([this](int cycle) { emit refreshCycleChanged(cycle); });
    connect(&m_notifications, &ServiceNotifications::requestBubbleMessage, this,
            &ServiceManager::requestBubbleMessage);
    m_cachePathCounter = m_settings ? m_settings->cachePathGeneration() : 0;
    m_cacheSaveTime.start();
    m_notifications.setNotifyBubbleMode(servicePersistentStore().value(QStringLiteral("notifyBubbleMode"), 0).toInt());
    if (m_settings)
        m_settings->addListener(this);

    m_checkDataTimer.setInterval(CheckDebounceMs);
    m_checkDataTimer.setSingleShot(true);
    connect(&m_checkDataTimer, &QTimer::timeout, this, &ServiceManager::doCheckData);
}

ServiceManager::~ServiceManager()
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::~ServiceManager()"));
    stopSpiScan();
    m_directory->stopWorker(WorkerStopWaitMs);
    m_checkDataTimer.stop();
    m_cacheTimer.stop();
    m_changes.setCycleListener({});
    m_directory->cleanUpServiceList();
    m_list->release();
    m_selection.releaseAll();
    if (m_settings)
        m_settings->removeListener(this);
    {
        QMutexLocker locker(&m_spiManagerMutex);
        m_spiManager.reset();
    }
    emit servicesStopped();

    ZOZ_LOG(LogManager, QStringLiteral("shutting down receiver.."));
    m_directory->source()->shutdown();

    m_list.reset();
    m_directory->setSelection(nullptr);
    if (s_manager.load() == this)
        s_manager.store(nullptr);
}

bool ServiceManager::init()
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::init()"));
    EnsembleSource *source = m_directory->source();

    ZOZ_LOG(LogManager, QStringLiteral("starting receiver.."));
    // The receiver's questions and notices go to the pages. Installed before
    // it starts: it may ask for a scan at once. Both land under the
    // notifications' mutex, whichever thread the receiver asks on; the
    // receiver is stopped before the manager's state goes away.
    source->setNoticeSinks(
        [this](const QString &text, QObject *confirmObject, const char *confirmSlot, QObject *cancelObject,
               const char *cancelSlot) {
            // The receiver names no object for the application's own slots.
            QObject *cancel = cancelObject ? cancelObject : QCoreApplication::instance();
            setMessage(text, confirmObject, QByteArray(confirmSlot), cancelSlot ? cancel : nullptr,
                       QByteArray(cancelSlot));
        },
        [this](const QString &text, const QString &type, int seconds) {
            addNotification(text, type, seconds, false, QString(), true, false);
        });
    if (!source->init(m_settings)) {
        ZOZ_LOG(LogManagerError, QStringLiteral("ServiceManager::init() -> error: could not startup receiver"));
        return false;
    }
    source->connectNotifier([this] { onCheckData(); }, [this](bool active) { onSignalScanMode(active); }, this);
    source->start();

    m_list->loadOrder();
    QSettings store = servicePersistentStore();
    bool ensembleOk = false;
    bool serviceOk = false;
    bool componentOk = false;
    const int lastEnsemble = store.value(QStringLiteral("lastEnsembleIdentifier")).toInt(&ensembleOk);
    const qint64 lastService = store.value(QStringLiteral("lastServiceIdentifier")).toLongLong(&serviceOk);
    const int lastComponent = store.value(QStringLiteral("lastServiceComponentIdentifier")).toInt(&componentOk);
    if (ensembleOk && serviceOk && componentOk) {
        m_selection.waitForService(lastEnsemble, lastService, lastComponent);
        queueAutoServiceCheck();
    }
    if (m_settings && m_settings->autoServiceId() != NoAutoService) {
        m_selection.waitForService(-1, qint64(m_settings->autoServiceId()), -1);
        queueAutoServiceCheck();
    }

    // The timer runs once per save; a new cache path is taken up when the
    // setting changes (settingChanged), not by polling it.
    m_cacheTimer.setSingleShot(true);
    connect(&m_cacheTimer, &QTimer::timeout, this, &ServiceManager::checkCache);
    m_cacheTimer.start(CacheCheckIntervalMs);
    return true;
}

void ServiceManager::queueAutoServiceCheck()
{
    MainThreadServices::queueInvoke({this, QByteArray(SLOT(recheckAutoService())), AutoServiceDelayMs});
}

void ServiceManager::setPageSourceRegistry(PageSourceRegistry *registry)
{
    m_directory->setPageSourceRegistry(registry);
}

void ServiceManager::setDirty(const bool &servicesToo)
{
    m_changes.setDirty(servicesToo);
}

bool ServiceManager::isServiceListDirty() const { return m_changes.serviceListDirty.load(); }
bool ServiceManager::isChannelsDirty() const { return m_changes.channelsDirty.load(); }
bool ServiceManager::isServicesDirty() const { return m_changes.servicesDirty.load(); }
bool ServiceManager::isVariablesDirty() const { return m_changes.variablesDirty.load(); }
bool ServiceManager::isCheckRequested() const { return m_directory->isCheckRequested(); }

void ServiceManager::clearDirtyFlags()
{
    m_changes.serviceListDirty.store(false);
    m_changes.channelsDirty.store(false);
    m_changes.servicesDirty.store(false);
    m_changes.variablesDirty.store(false);
}

QString ServiceManager::getServerId() const
{
    QMutexLocker locker(&m_serverIdMutex);
    return m_serverId;
}

void ServiceManager::connectBubbleMessages(QObject *window)
{
    if (window)
        connect(this, SIGNAL(requestBubbleMessage(QString, int, int)), window, SLOT(showTrayMessage(QString, int, int)),
                Qt::UniqueConnection);
}

void ServiceManager::updateTrayToolTip()
{
    m_selection.announceSelectedToolTip();
}

void ServiceManager::onNewTextMessage()
{
    setDirty(false);
}

void ServiceManager::onCheckData()
{
    m_checkDataTimer.start();
}

void ServiceManager::doCheckData()
{
    if (m_lastCheckTime.isValid() && m_lastCheckTime.elapsed() < CheckIntervalMs) {
        const qint64 remaining = qMax<qint64>(0, CheckIntervalMs - m_lastCheckTime.elapsed());
        QTimer::singleShot(int(remaining), this, &ServiceManager::onCheckData);
        return;
    }
    m_lastCheckTime.start();
    m_directory->requestCheck();
}

void ServiceManager::doCheckDabData()
{
    m_directory->doCheckDabData();
}

bool ServiceManager::cleanUpServiceList(const bool &dabOnly)
{
    // Every ensemble of this receiver is a DAB one, so both forms clear the whole list.
    Q_UNUSED(dabOnly);
    return m_directory->cleanUpServiceList();
}

void ServiceManager::onSignalScanMode(bool active)
{
    m_changes.scanActive.store(active);
    // The database is complete when the scan ends, and the receiver reports no
    // further change for it: rebuild the services from it now.
    if (!active) {
        m_checkDataTimer.start();
        return;
    }
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::onSignalScanMode() -> removing ensembles"));
    // The service heard now is selected again once the scan finds it.
    m_selection.rememberSelectedForScan();
    if (cleanUpServiceList(true)) {
        m_changes.setDirty(false);
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::onSignalScanMode() -> cycle: %1").arg(refreshCycle()));
    }
}

void ServiceManager::checkCache()
{
    if (m_settings && m_cachePathCounter != m_settings->cachePathGeneration()) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::checkCache() -> cache path changed: resetting cache!"));
        m_cachePathCounter = m_settings->cachePathGeneration();
        doResetCache();
    }
    if (m_cacheSaveTime.elapsed() > CacheSaveIntervalMs) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::checkCache() -> saving cache"));
        doSaveCache();
        m_cacheSaveTime.restart();
    }
    if (!m_cacheTimer.isActive())
        m_cacheTimer.start(int(qMax<qint64>(CacheCheckIntervalMs, CacheSaveIntervalMs + 1 - m_cacheSaveTime.elapsed())));
}

void ServiceManager::doResetCache()
{
    m_directory->resetCache();
}

void ServiceManager::doSaveCache()
{
    m_directory->saveCache();
}

void ServiceManager::settingChanged(const QVector<int> &changes)
{
    if (changes.contains(Settings::CachePathChanged))
        QMetaObject::invokeMethod(this, "checkCache", Qt::QueuedConnection);
    if (changes.contains(Settings::ConfigOptionChanged))
        setDirty(true);
    if (changes.contains(Settings::ConfigOptionChanged) || changes.contains(Settings::SharedSettingChanged)) {
        QMutexLocker locker(&m_serverIdMutex);
        m_serverId = randomIdentifier();
        m_changes.variablesDirty.store(true);
    }
    if (changes.contains(AutoServiceChanged) && m_settings && m_settings->autoServiceId() != NoAutoService) {
        m_selection.replaceAutoService(qint64(m_settings->autoServiceId()));
        queueAutoServiceCheck();
    }
}

void ServiceManager::retranslate()
{
    m_directory->retranslate();
    setDirty(true);
    {
        QMutexLocker locker(&m_serverIdMutex);
        m_serverId = randomIdentifier();
        // The pages reload their templates with the variables.
        m_changes.variablesDirty.store(true);
    }
    m_selection.announceSelectedToolTip();
    emit retranslated();
}

void ServiceManager::recheckAutoService()
{
    m_selection.recheckAutoService();
}

void ServiceManager::checkAutoService(Service *service)
{
    m_selection.checkAutoService(service);
}

Service *ServiceManager::autoService() const
{
    return m_selection.autoService();
}

ServiceSelection::AutoService ServiceManager::autoServiceState() const
{
    return m_selection.autoServiceState();
}

// ---- selection ----

bool ServiceManager::selectService(Service *service, const bool &ignoreSpokenLabel)
{
    return m_selection.selectService(service, ignoreSpokenLabel);
}

bool ServiceManager::selectAnnouncement(Service *service)
{
    return m_selection.selectAnnouncement(service);
}

void ServiceManager::activateServiceComponents(Service *service)
{
    m_selection.activateServiceComponents(service);
}

Service *ServiceManager::selectedService() const
{
    return m_selection.selectedService();
}

qint32 ServiceManager::selectedServiceId() const
{
    return m_selection.selectedServiceId();
}

ServiceSelection::Selected ServiceManager::selected() const
{
    return m_selection.selected();
}

qint32 ServiceManager::announcementServiceId() const
{
    return m_selection.announcementServiceId();
}

void ServiceManager::acknowledgeAnnouncements(Service *service)
{
    m_selection.acknowledgeAnnouncements(service);
}

void ServiceManager::playSpokenLabel(Service *service, const bool &overrideMuted)
{
    m_selection.playSpokenLabel(service, overrideMuted);
}

void ServiceManager::selectNextService()
{
    selectNeighbour(+1);
}

void ServiceManager::selectPreviousService()
{
    selectNeighbour(-1);
}

void ServiceManager::selectNeighbour(int step)
{
    updateServiceList();
    Service *target = m_list->neighbour(m_selection.selectedService(), step);
    selectService(target, false);
    if (target)
        target->release();
}

QString ServiceManager::spokenLabelFile(const QString &folder, const quint8 &ecc, const qint64 &serviceIdentifier,
                                        const quint16 &shortId)
{
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    // Leading zeros are optional in the names the spoken-label decoder writes.
    const QRegularExpression pattern(QStringLiteral("e0*%1s0*%2c%3.wav")
                                         .arg(QString::number(ecc >> 4, 16).toUpper(),
                                              QString::number(quint32(serviceIdentifier), 16).toUpper(),
                                              QString::number(shortId, 16).toUpper()));
    for (const QString &name : names) {
        if (pattern.match(name).hasMatch())
            return QDir(folder).filePath(name);
    }
    return QString();
}

// ---- the tree ----

Service *ServiceManager::findService(qint32 selectorId) const
{
    return m_directory->findService(selectorId);
}

Service *ServiceManager::findService(const int &selectorId, const int &ensembleIdentifier,
                                     const int &serviceIdentifier)
{
    return m_directory->findService(selectorId, ensembleIdentifier, serviceIdentifier);
}

void ServiceManager::withServices(const std::function<void(const QMap<int, QVector<Service *>> &)> &visit) const
{
    m_directory->withServices(visit);
}

bool ServiceManager::withService(qint32 selectorId, const std::function<void(Service *)> &action)
{
    QWriteLocker locker(&m_directory->lock());
    Service *service = m_directory->findService(selectorId);
    if (!service)
        return false;
    action(service);
    return true;
}

QMap<int, QVector<Service *>> ServiceManager::spiServices() const
{
    return m_directory->spiServices();
}

bool ServiceManager::startSpiScan()
{
    QMutexLocker locker(&m_spiScanMutex);
    if (m_spiScan)
        return false;
    m_spiScan = createSpiScan();
    m_spiScan->start(QThread::InheritPriority);
    return true;
}

bool ServiceManager::stopSpiScan()
{
    QMutexLocker locker(&m_spiScanMutex);
    if (!m_spiScan)
        return false;
    m_spiScan.reset();
    return true;
}

SpiScanProgress ServiceManager::spiScanProgress() const
{
    QMutexLocker locker(&m_spiScanMutex);
    return m_spiScan ? m_spiScan->progress() : SpiScanProgress();
}

std::unique_ptr<SpiScan> ServiceManager::createSpiScan(SpiScan::WallClock clock)
{
    return std::make_unique<SpiScan>(*m_directory, m_selection, std::move(clock));
}

bool ServiceManager::withSpiManager(const std::function<void(SpiManager &)> &use)
{
    QMutexLocker locker(&m_spiManagerMutex);
    if (!m_spiManager)
        return false;
    use(*m_spiManager);
    return true;
}

unsigned long ServiceManager::parseUriNumber(QString text)
{
    return ServiceUriTable::parseUriNumber(std::move(text));
}

ServiceUriTable ServiceManager::uriTable() const
{
    ServiceUriTable table;
    withServices([&](const QMap<int, QVector<Service *>> &tree) { table = ServiceUriTable::fromServices(tree); });
    return table;
}

void ServiceManager::findServiceByUri(QByteArray &uri)
{
    uriTable().resolve(uri);
}

// ---- the sorted list ----

void ServiceManager::updateServiceList() { m_list->update(); }
int ServiceManager::sortType() const { return m_list->sortType(); }
bool ServiceManager::isSortFavouritesOnly() const { return m_list->isSortFavouritesOnly(); }
bool ServiceManager::hasFavourites() const { return m_list->hasFavourites(); }
QVector<ServiceListEntry> ServiceManager::listEntries() const { return m_list->entries(); }
QVector<Service *> ServiceManager::sortedServices() const { return m_list->sortedServices(); }
void ServiceManager::withSortedServices(const std::function<void(const QVector<Service *> &)> &visit) const
{
    m_list->withSortedServices(visit);
}
void ServiceManager::setSortType(int type) { m_list->setSortType(type); }
void ServiceManager::setSortFavouritesOnly(bool favouritesOnly) { m_list->setSortFavouritesOnly(favouritesOnly); }

// ---- notifications ----

void ServiceManager::addNotification(const QString &message, const QString &type, const int &duration,
                                     const bool &clickable, const QString &ID, const bool &withTimestamp,
                                     const bool &isZozOnly)
{
    m_notifications.addNotification(message, type, duration, clickable, ID, withTimestamp, isZozOnly);
}

QVector<Notification> ServiceManager::notifications() const
{
    return m_notifications.notifications();
}

void ServiceManager::setNotifyBubbleMode(int mode)
{
    m_notifications.setNotifyBubbleMode(mode);
    servicePersistentStore().setValue(QStringLiteral("notifyBubbleMode"), mode);
}

int ServiceManager::notifyBubbleMode() const
{
    return m_notifications.notifyBubbleMode();
}

void ServiceManager::setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                                QObject *cancelReceiver, const QByteArray &cancelSlot)
{
    m_notifications.setMessage(text, confirmReceiver, confirmSlot, cancelReceiver, cancelSlot);
}

QString ServiceManager::pendingMessage() const
{
    return m_notifications.pendingMessage();
}

QString ServiceManager::lastSelectorId() const
{
    return m_notifications.lastSelectorId();
}

void ServiceManager::announceServiceToolTip(Service *service)
{
    m_selection.announceServiceToolTip(service);
}

bool ServiceManager::prettyPrintServiceList()
{
    // A snapshot under the list's read lock; the files are written after it.
    QVector<ServiceListExport::Ensemble> ensembles;
    withServices([&ensembles](const QMap<int, QVector<Service *>> &tree) {
        for (const QVector<Service *> &services : tree) {
            ServiceListExport::Ensemble ensemble;
            for (const Service *service : services) {
                if (!service)
                    continue;
                if (ensemble.services.isEmpty()) {
                    ensemble.label = service->ensembleLabel();
                    ensemble.identifier = service->ensembleIdentifier();
                }
                ServiceListExport::Entry entry;
                entry.label = service->label();
                entry.serviceIdentifier = service->serviceIdentifier();
                entry.streamId = service->streamId();
                entry.shortId = service->shortId();
                entry.isData = service->isData();
                entry.audioClassification = service->audioClassification();
                if (const auto *audio = dynamic_cast<const ServiceAudio *>(service)) {
                    entry.codec = audio->codecName();
                    // The decoder's rate once it measured one, else the sub-channel's.
                    entry.bitRate = audio->measuredBitRate() > 0 ? audio->measuredBitRate() : audio->nominalBitRate();
                }
                for (const Service *child : service->children()) {
                    if (child)
                        entry.children.append({child->name(), child->streamId(), child->packetId()});
                }
                ensemble.services.append(entry);
            }
            ensembles.append(ensemble);
        }
    });
    // The folder exists once anything of the user's was kept; a first export may come before.
    QDir().mkpath(dataFolder());
    return ServiceListExport::write(dataFolder(), ensembles, QDateTime::currentDateTime());
}

void ServiceManager::onSwitchMute()
{
    // Muting belongs to the audio output; without one there is nothing to switch.
}

} // namespace ZOZ
