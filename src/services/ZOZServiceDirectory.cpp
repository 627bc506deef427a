// The service tree: attaching, connecting, removing and renumbering
// services; the directory's life and its worker.
#include "ZOZServiceDirectory.h"

#include "base/ZOZLog.h"
#include "base/ZOZMainThreadServices.h"
#include "web/ZOZPageSource.h"
#include "web/ZOZResourcePath.h"
#include "ZOZService.h"
#include "ZOZServiceCheckWorker.h"
#include "ZOZServiceSelection.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;
constexpr quint32 LogManagerError = LogSource::ServiceManager | LogFlag::Error;
constexpr quint32 DabFamily = 1;

bool isXPadApplication(const Service *service)
{
    return service->isData() && (service->sourceFlags() & DabFamily) && !service->isPacketMode();
}

} // namespace

ServiceDirectory::ServiceDirectory(ServiceChanges &changes, Settings *settings, std::unique_ptr<EnsembleSource> source,
                                   std::unique_ptr<ServiceFactory> factory, int checkIntervalMs)
    : m_changes(changes)
    , m_settings(settings)
    , m_source(source ? std::move(source) : std::make_unique<ReceiverEnsembleSource>())
    , m_factory(factory ? std::move(factory) : std::make_unique<ServiceFactory>())
    , m_worker(std::make_unique<ServiceCheckWorker>([this] { doCheckDabData(); }, checkIntervalMs))
{
    m_worker->start(QThread::InheritPriority);
}

ServiceDirectory::~ServiceDirectory()
{
    m_worker.reset();
    m_selection = nullptr;
    if (!m_ensembleServices.isEmpty())
        cleanUpServiceList();
}

void ServiceDirectory::requestCheck()
{
    m_worker->requestCheck();
}

bool ServiceDirectory::isCheckRequested() const
{
    return m_worker->isCheckRequested();
}

bool ServiceDirectory::stopWorker(unsigned long waitMs)
{
    return m_worker->stop(waitMs);
}

void ServiceDirectory::onNewTextMessage()
{
    m_changes.setDirty(false);
}

void ServiceDirectory::resetCache()
{
    QReadLocker locker(&m_lock);
    for (const QVector<Service *> &services : std::as_const(m_ensembleServices)) {
        for (Service *service : services) {
            service->clearData();
            service->loadCache();
        }
    }
}

void ServiceDirectory::saveCache()
{
    QReadLocker locker(&m_lock);
    for (const QVector<Service *> &services : std::as_const(m_ensembleServices)) {
        for (Service *service : services)
            service->saveCache();
    }
}

void ServiceDirectory::retranslate()
{
    QWriteLocker locker(&m_lock);
    for (const QVector<Service *> &services : std::as_const(m_ensembleServices)) {
        for (Service *service : services)
            service->retranslate();
    }
}

Service *ServiceDirectory::findService(int selectorId, int ensembleIdentifier, int serviceIdentifier)
{
    QReadLocker locker(&m_lock);
    // Identifiers of 32 bits are stored unsigned; the argument carries the same bits signed.
    auto matches = [&](const Service *service) {
        return (ensembleIdentifier == -1 || service->ensembleIdentifier() == ensembleIdentifier)
            && (serviceIdentifier == -1 || quint32(service->serviceIdentifier()) == quint32(serviceIdentifier));
    };
    if (selectorId != -1) {
        Service *candidate = findService(qint32(selectorId));
        if (candidate && matches(candidate)) {
            candidate->retain();
            return candidate;
        }
    }
    if (serviceIdentifier == -1)
        return nullptr;
    for (const QVector<Service *> &services : std::as_const(m_ensembleServices)) {
        for (Service *service : services) {
            if (service && !service->isMarked() && matches(service)) {
                service->retain();
                return service;
            }
        }
    }
    return nullptr;
}

void ServiceDirectory::setServiceIdTracked(Service *service, qint32 id)
{
    service->setServiceId(id);
    if (m_selection)
        m_selection->trackServiceId(service, id);
}

// Gives a service a new id and its children and siblings the ids that follow from it.
void ServiceDirectory::renumberTree(Service *service, qint32 id)
{
    setServiceIdTracked(service, id);
    for (int i = 0; i < service->children().size(); ++i)
        renumberTree(service->children().at(i), withDataIndex(id, i + 1));
    for (int i = 0; i < service->siblings().size(); ++i)
        renumberTree(service->siblings().at(i), withComponentIndex(id, i + 1));
}

void ServiceDirectory::renumberServices(int ensemble, int from)
{
    const QVector<Service *> services = m_ensembleServices.value(ensemble);
    for (int i = qMax(0, from); i < services.size(); ++i)
        renumberTree(services.at(i), topLevelId(ensemble, i));
}

Service *ServiceDirectory::padCarrier(Service *service, bool &shapeError) const
{
    shapeError = false;
    const int e = Service::ensembleIndexOf(service->serviceId());
    const int s = Service::serviceIndexOf(service->serviceId());
    const int x = Service::componentIndexOf(service->serviceId());
    auto it = m_ensembleServices.constFind(e);
    if (it == m_ensembleServices.cend() || s >= it->size()) {
        shapeError = true;
        return nullptr;
    }
    Service *carrier = it->at(s);
    if (x == 0)
        return carrier;
    if (x > carrier->siblings().size()) {
        shapeError = true;
        return nullptr;
    }
    return carrier->siblings().at(x - 1);
}

bool ServiceDirectory::attachService(Service *service, qint32 id)
{
    if (!service)
        return false;
    if (id == -1)
        id = service->serviceId();
    const int e = Service::ensembleIndexOf(id);
    const int s = Service::serviceIndexOf(id);
    const int x = Service::componentIndexOf(id);
    const int y = Service::dataIndexOf(id);
    QVector<Service *> &services = m_ensembleServices[e];
    Service *primary = s < services.size() ? services.at(s) : nullptr;

    // The broadcast is not trusted to be consistent: a list shape that the id
    // contradicts skips the service.
    const auto refuse = [&](const char *what) {
        ZOZ_LOG(LogManagerError, QStringLiteral("ServiceManager::attachService() -> error: %1, skipping service (id: 0x%2, label: '%3')")
                                     .arg(QLatin1String(what), QString::number(quint32(id), 16), service->label()));
        return false;
    };

    if (y == 0 && x != 0) {
        if (!primary)
            return refuse("expected primary service before adding secondary");
        MainThreadServices::addDisposable(service);
        setServiceIdTracked(service, withComponentIndex(topLevelId(e, s), int(primary->siblings().size()) + 1));
        service->retain();
        primary->siblings().append(service);
        return true;
    }
    if (y == 0) {
        if (primary)
            return refuse("unexpected primary service in list");
        MainThreadServices::addDisposable(service);
        service->retain();
        services.append(service);
        if (s != services.size() - 1)
            setServiceIdTracked(service, topLevelId(e, int(services.size()) - 1));
        return true;
    }

    if (!primary)
        return refuse("unexpected service list of children");
    Service *parent = primary;
    if (x != 0) {
        if (x > primary->siblings().size())
            return refuse("unexpected service list of siblings");
        parent = primary->siblings().at(x - 1);
    }
    MainThreadServices::addDisposable(service);
    service->retain();
    QVector<Service *> &children = parent->children();
    if (service->shortname() == QLatin1String("journaline")) {
        children.prepend(service);
        for (int i = 0; i < children.size(); ++i)
            renumberTree(children.at(i), withDataIndex(parent->serviceId(), i + 1));
    } else {
        children.append(service);
        setServiceIdTracked(service, withDataIndex(parent->serviceId(), int(children.size())));
    }
    if (parent->isAudio())
        service->setAudioStreamPath(parent->requestPath());
    if (m_selection && m_selection->isSelectedOrAnnounced(parent))
        m_selection->activateServiceComponents(parent);
    if (service->isJournaline() || parent->isJournaline()) {
        service->setHasJournaline(true);
        parent->setHasJournaline(true);
        m_changes.setDirty(true);
    }
    return true;
}

bool ServiceDirectory::attachChild(Service *parent, Service *service)
{
    // A data service hangs below one parent only: the same object in several
    // lists would outlive its removal from one of them.
    if (!parent || !service || parent->children().contains(service))
        return parent && service;
    if (parent->children().size() >= 255)
        return false;
    return attachService(service, withDataIndex(parent->serviceId(), int(parent->children().size()) + 1));
}

bool ServiceDirectory::connectService(Service *service, const bool &flag)
{
    if (!service)
        return false;
    const int e = Service::ensembleIndexOf(service->serviceId());
    auto it = m_ensembleServices.constFind(e);
    if (it == m_ensembleServices.cend())
        return false;
    if (service->isData() && Service::serviceIndexOf(service->serviceId()) >= it->size())
        return false;
    if (isXPadApplication(service)) {
        bool shapeError = false;
        Service *carrier = padCarrier(service, shapeError);
        if (shapeError) {
            ZOZ_LOG(LogManagerError,
                    QStringLiteral("ServiceManager::connectService() -> error: unexpected service list configuration, skipping service (label: '%1')")
                        .arg(service->label()));
            return false;
        }
        m_factory->registerPadApplication(carrier, service);
    }
    connect(service, qOverload<>(&Service::newTextMessage), this, &ServiceDirectory::onNewTextMessage);
    service->setServiceLogo(serviceLogoUrl(service->globalId()));
    if (m_selection)
        m_selection->checkAutoService(service);
    if (PageSourceRegistry *pages = m_pages.load())
        pages->addPageSource(service);
    m_source->attachStreamHandler(service, flag);
    if (service->applicationId() == ServiceFactory::ServiceProgrammeInformation) {
        QVector<Service *> &spi = m_spiServices[e];
        if (!spi.contains(service)) {
            service->retain();
            spi.append(service);
        }
    }
    return true;
}

void ServiceDirectory::disconnectService(Service *service)
{
    if (isXPadApplication(service)) {
        bool shapeError = false;
        Service *carrier = padCarrier(service, shapeError);
        if (shapeError) {
            ZOZ_LOG(LogManagerError,
                    QStringLiteral("ServiceManager::disconnectService() -> error: unexpected service list configuration (label: '%1')")
                        .arg(service->label()));
        } else if (carrier->isAudio()) {
            m_factory->unregisterPadApplication(carrier, service);
        }
    }
    disconnect(service, qOverload<>(&Service::newTextMessage), this, &ServiceDirectory::onNewTextMessage);
    if (PageSourceRegistry *pages = m_pages.load())
        pages->removePageSource(service);
    if (m_selection)
        m_selection->forgetService(service);
    m_source->detachStreamHandler(service);
    if (service->applicationId() == ServiceFactory::ServiceProgrammeInformation) {
        for (QVector<Service *> &spi : m_spiServices) {
            if (spi.removeOne(service))
                service->release();
        }
    }
}

void ServiceDirectory::removeService(Service *service)
{
    if (!service || service->isMarked())
        return;
    service->setMarked();
    if (service->shortname() != QLatin1String("pmc")) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::removeService()[%1|%2] (shortName: '%3', label: '%4')")
                                .arg(logAddress(service))
                                .arg(service->serviceId())
                                .arg(service->shortname(), service->label()));
    }
    service->setAudioStreamPath(QString());
    disconnectService(service);
    for (Service *child : QVector<Service *>(service->children()))
        removeService(child);
    for (Service *sibling : QVector<Service *>(service->siblings()))
        removeService(sibling);

    const int e = Service::ensembleIndexOf(service->serviceId());
    QVector<ActiveAnnouncement> &running = m_activeAnnouncements[e];
    for (int i = int(running.size()) - 1; i >= 0; --i) {
        if (running.at(i).service == service) {
            running.at(i).service->release();
            running.removeAt(i);
        }
    }

    // Found by address, not by id: the list that holds it is the one to change.
    QVector<Service *> &services = m_ensembleServices[e];
    const qsizetype top = services.indexOf(service);
    if (top >= 0) {
        services.removeAt(top);
        renumberServices(e, int(top));
    } else {
        for (Service *primary : std::as_const(services)) {
            QVector<Service *> &siblings = primary->siblings();
            const qsizetype sibling = siblings.indexOf(service);
            if (sibling >= 0) {
                siblings.removeAt(sibling);
                for (qsizetype i = sibling; i < siblings.size(); ++i) {
                    renumberTree(siblings.at(i), withComponentIndex(primary->serviceId(), int(i) + 1));
                }
                break;
            }
            bool found = false;
            for (Service *parent : QVector<Service *> {primary} + siblings) {
                QVector<Service *> &children = parent->children();
                const qsizetype child = children.indexOf(service);
                if (child < 0)
                    continue;
                children.removeAt(child);
                for (qsizetype i = child; i < children.size(); ++i) {
                    renumberTree(children.at(i), withDataIndex(parent->serviceId(), int(i) + 1));
                }
                found = true;
                break;
            }
            if (found)
                break;
        }
    }
    service->release();
}

void ServiceDirectory::clearPresentFlags(quint32 mask)
{
    for (const QVector<Service *> &services : std::as_const(m_ensembleServices)) {
        for (Service *service : services) {
            if (service->sourceFlags() & mask)
                service->setServiceIsPresent(false);
        }
    }
}

bool ServiceDirectory::removeVanishedServices(quint32 mask)
{
    bool removed = false;
    const QList<int> ensembles = m_ensembleServices.keys();
    for (int e : ensembles) {
        const QVector<Service *> services = m_ensembleServices.value(e);
        for (auto it = services.crbegin(); it != services.crend(); ++it) {
            Service *service = *it;
            if (!(service->sourceFlags() & mask))
                continue;
            const QVector<Service *> siblings = service->siblings();
            for (auto sibling = siblings.crbegin(); sibling != siblings.crend(); ++sibling) {
                for (Service *child : QVector<Service *>((*sibling)->children())) {
                    if (!child->isPresent()) {
                        removeService(child);
                        removed = true;
                    }
                }
                if (!(*sibling)->isPresent() || ((*sibling)->isData() && (*sibling)->children().isEmpty())) {
                    removeService(*sibling);
                    removed = true;
                }
            }
            for (Service *child : QVector<Service *>(service->children())) {
                if (!child->isPresent()) {
                    removeService(child);
                    removed = true;
                }
            }
            const bool keep = service->isPresent()
                              && (service->isAudio() || !service->children().isEmpty() || !service->siblings().isEmpty());
            if (!keep) {
                removeService(service);
                removed = true;
            }
        }
    }
    return removed;
}

bool ServiceDirectory::cleanUpServiceList()
{
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::cleanUpServiceList() -> cleaning up service list"));
    bool removed = false;
    QWriteLocker locker(&m_lock);
    const QList<int> ensembles = m_ensembleServices.keys();
    for (int e : ensembles) {
        const QVector<Service *> services = m_ensembleServices.value(e);
        for (auto it = services.crbegin(); it != services.crend(); ++it) {
            removeService(*it);
            removed = true;
        }
        m_ensembleServices.remove(e);
    }
    for (const QVector<Service *> &spi : std::as_const(m_spiServices)) {
        for (Service *service : spi)
            service->release();
    }
    m_spiServices.clear();
    for (const QVector<ActiveAnnouncement> &running : std::as_const(m_activeAnnouncements)) {
        for (const ActiveAnnouncement &entry : running)
            entry.service->release();
    }
    m_activeAnnouncements.clear();
    if (removed)
        m_changes.setDirty(true);
    return removed;
}

Service *ServiceDirectory::findService(qint32 selectorId) const
{
    if (selectorId == -1)
        return nullptr;
    auto it = m_ensembleServices.constFind(Service::ensembleIndexOf(selectorId));
    if (it == m_ensembleServices.cend())
        return nullptr;
    const int s = Service::serviceIndexOf(selectorId);
    if (s >= it->size())
        return nullptr;
    return it->at(s)->child(Service::componentIndexOf(selectorId), Service::dataIndexOf(selectorId));
}

void ServiceDirectory::withServices(const std::function<void(const Tree &)> &visit) const
{
    QReadLocker locker(&m_lock);
    visit(m_ensembleServices);
}

ServiceDirectory::Tree ServiceDirectory::spiServices() const
{
    QReadLocker locker(&m_lock);
    return m_spiServices;
}

} // namespace ZOZ
