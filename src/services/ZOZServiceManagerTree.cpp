// The service tree: attaching, connecting, removing and renumbering
// services, and the selected service that follows them.
#include "ZOZServiceManager.h"

#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "base/ZOZMainThreadServices.h"
#include "web/ZOZResourcePath.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"
#include "ZOZServiceStore.h"

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

void ServiceManager::setServiceIdTracked(Service *service, qint32 id)
{
    service->setServiceId(id);
    {
        QMutexLocker locker(&d->selectedServiceMutex);
        if (d->selectedService == service)
            d->selectedServiceId = id;
    }
    QMutexLocker locker(&d->announcementMutex);
    if (d->announcementService == service)
        d->announcementServiceId = id;
}

// Gives a service a new id and its children and siblings the ids that follow from it.
static void renumberTree(ServiceManager *manager, Service *service, qint32 id,
                         void (ServiceManager::*track)(Service *, qint32))
{
    (manager->*track)(service, id);
    for (int i = 0; i < service->children().size(); ++i)
        renumberTree(manager, service->children().at(i), withDataIndex(id, i + 1), track);
    for (int i = 0; i < service->siblings().size(); ++i)
        renumberTree(manager, service->siblings().at(i), withComponentIndex(id, i + 1), track);
}

void ServiceManager::renumberServices(int ensemble, int from)
{
    const QVector<Service *> services = d->ensembleServices.value(ensemble);
    for (int i = qMax(0, from); i < services.size(); ++i)
        renumberTree(this, services.at(i), topLevelId(ensemble, i), &ServiceManager::setServiceIdTracked);
}

Service *ServiceManager::padCarrier(Service *service, bool &shapeError) const
{
    shapeError = false;
    const int e = Service::ensembleIndexOf(service->serviceId());
    const int s = Service::serviceIndexOf(service->serviceId());
    const int x = Service::componentIndexOf(service->serviceId());
    auto it = d->ensembleServices.constFind(e);
    if (it == d->ensembleServices.cend() || s >= it->size()) {
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

bool ServiceManager::attachService(Service *service, qint32 id)
{
    if (!service)
        return false;
    if (id == -1)
        id = service->serviceId();
    const int e = Service::ensembleIndexOf(id);
    const int s = Service::serviceIndexOf(id);
    const int x = Service::componentIndexOf(id);
    const int y = Service::dataIndexOf(id);
    QVector<Service *> &services = d->ensembleServices[e];
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
            renumberTree(this, children.at(i), withDataIndex(parent->serviceId(), i + 1), &ServiceManager::setServiceIdTracked);
    } else {
        children.append(service);
        setServiceIdTracked(service, withDataIndex(parent->serviceId(), int(children.size())));
    }
    if (parent->isAudio())
        service->setAudioStreamPath(parent->requestPath());
    bool reactivate = false;
    {
        QMutexLocker locker(&d->selectedServiceMutex);
        reactivate = d->selectedService == parent;
    }
    {
        QMutexLocker locker(&d->announcementMutex);
        reactivate |= d->announcementService == parent;
    }
    if (reactivate)
        activateServiceComponents(parent);
    if (service->isJournaline() || parent->isJournaline()) {
        service->setHasJournaline(true);
        parent->setHasJournaline(true);
        setDirty(true);
    }
    return true;
}

bool ServiceManager::attachChild(Service *parent, Service *service)
{
    // A data service hangs below one parent only: the same object in several
    // lists would outlive its removal from one of them.
    if (!parent || !service || parent->children().contains(service))
        return parent && service;
    if (parent->children().size() >= 255)
        return false;
    return attachService(service, withDataIndex(parent->serviceId(), int(parent->children().size()) + 1));
}

bool ServiceManager::connectService(Service *service, const bool &flag)
{
    if (!service)
        return false;
    const int e = Service::ensembleIndexOf(service->serviceId());
    auto it = d->ensembleServices.constFind(e);
    if (it == d->ensembleServices.cend())
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
        d->factory->registerPadApplication(carrier, service);
    }
    connect(service, qOverload<>(&Service::newTextMessage), this, &ServiceManager::onNewTextMessage);
    service->setServiceLogo(serviceLogoUrl(service->globalId()));
    checkAutoService(service);
    d->httpServer->addRequestHandler(service);
    d->source->attachStreamHandler(service, flag);
    if (service->applicationId() == ServiceFactory::ServiceProgrammeInformation) {
        QVector<Service *> &spi = d->spiServices[e];
        if (!spi.contains(service)) {
            service->retain();
            spi.append(service);
        }
    }
    return true;
}

void ServiceManager::disconnectService(Service *service)
{
    if (isXPadApplication(service)) {
        bool shapeError = false;
        Service *carrier = padCarrier(service, shapeError);
        if (shapeError) {
            ZOZ_LOG(LogManagerError,
                    QStringLiteral("ServiceManager::disconnectService() -> error: unexpected service list configuration (label: '%1')")
                        .arg(service->label()));
        } else if (carrier->isAudio()) {
            d->factory->unregisterPadApplication(carrier, service);
        }
    }
    disconnect(service, qOverload<>(&Service::newTextMessage), this, &ServiceManager::onNewTextMessage);
    d->httpServer->removeRequestHandler(service);
    {
        QMutexLocker locker(&d->autoServiceMutex);
        if (d->autoService == service)
            releaseService(d->autoService);
    }
    {
        QMutexLocker locker(&d->selectedServiceMutex);
        if (d->selectedService == service)
            selectService(nullptr, false);
    }
    {
        QMutexLocker locker(&d->announcementMutex);
        if (d->announcementService == service) {
            releaseService(d->announcementService);
            d->announcementServiceId = -1;
        }
    }
    d->source->detachStreamHandler(service);
    if (service->applicationId() == ServiceFactory::ServiceProgrammeInformation) {
        for (QVector<Service *> &spi : d->spiServices) {
            if (spi.removeOne(service))
                service->release();
        }
    }
}

void ServiceManager::removeService(Service *service)
{
    if (!service || service->isMarked())
        return;
    service->setMarked();
    if (service->shortname() != QLatin1String("pmc")) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::removeService()[%1|%2] (shortName: '%3', label: '%4')")
                                .arg(QString::number(quintptr(service), 16))
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
    QVector<ServiceManagerPrivate::ActiveAnnouncement> &running = d->activeAnnouncements[e];
    for (int i = int(running.size()) - 1; i >= 0; --i) {
        if (running.at(i).service == service) {
            running.at(i).service->release();
            running.removeAt(i);
        }
    }

    // Found by address, not by id: the list that holds it is the one to change.
    QVector<Service *> &services = d->ensembleServices[e];
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
                    renumberTree(this, siblings.at(i), withComponentIndex(primary->serviceId(), int(i) + 1),
                                 &ServiceManager::setServiceIdTracked);
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
                    renumberTree(this, children.at(i), withDataIndex(parent->serviceId(), int(i) + 1),
                                 &ServiceManager::setServiceIdTracked);
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

void ServiceManager::clearPresentFlags(quint32 mask)
{
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (Service *service : services) {
            if (service->sourceFlags() & mask)
                service->setServiceIsPresent(false);
        }
    }
}

bool ServiceManager::removeVanishedServices(quint32 mask)
{
    bool removed = false;
    const QList<int> ensembles = d->ensembleServices.keys();
    for (int e : ensembles) {
        const QVector<Service *> services = d->ensembleServices.value(e);
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

bool ServiceManager::cleanUpServiceList(const bool &dabOnly)
{
    // Every ensemble of this receiver is a DAB one, so both forms clear the whole list.
    Q_UNUSED(dabOnly);
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::cleanUpServiceList() -> cleaning up service list"));
    bool removed = false;
    QWriteLocker locker(&d->serviceListLock);
    const QList<int> ensembles = d->ensembleServices.keys();
    for (int e : ensembles) {
        const QVector<Service *> services = d->ensembleServices.value(e);
        for (auto it = services.crbegin(); it != services.crend(); ++it) {
            removeService(*it);
            removed = true;
        }
        d->ensembleServices.remove(e);
    }
    for (const QVector<Service *> &spi : std::as_const(d->spiServices)) {
        for (Service *service : spi)
            service->release();
    }
    d->spiServices.clear();
    for (const QVector<ServiceManagerPrivate::ActiveAnnouncement> &running : std::as_const(d->activeAnnouncements)) {
        for (const ServiceManagerPrivate::ActiveAnnouncement &entry : running)
            entry.service->release();
    }
    d->activeAnnouncements.clear();
    if (removed)
        setDirty(true);
    return removed;
}

Service *ServiceManager::findService(qint32 selectorId) const
{
    if (selectorId == -1)
        return nullptr;
    auto it = d->ensembleServices.constFind(Service::ensembleIndexOf(selectorId));
    if (it == d->ensembleServices.cend())
        return nullptr;
    const int s = Service::serviceIndexOf(selectorId);
    if (s >= it->size())
        return nullptr;
    return it->at(s)->child(Service::componentIndexOf(selectorId), Service::dataIndexOf(selectorId));
}

void ServiceManager::withServices(const std::function<void(const QMap<int, QVector<Service *>> &)> &visit) const
{
    QReadLocker locker(&d->serviceListLock);
    visit(d->ensembleServices);
}

QMap<int, QVector<Service *>> ServiceManager::spiServices() const
{
    QReadLocker locker(&d->serviceListLock);
    return d->spiServices;
}

Service *ServiceManager::selectedService() const
{
    QMutexLocker locker(&d->selectedServiceMutex);
    return d->selectedService;
}

qint32 ServiceManager::selectedServiceId() const
{
    QMutexLocker locker(&d->selectedServiceMutex);
    return d->selectedServiceId;
}

void ServiceManager::acknowledgeAnnouncements(Service *service)
{
    if (!service)
        return;
    QWriteLocker listLocker(&d->serviceListLock);
    QVector<Announcement> entries = service->announcementEntries();
    for (Announcement &entry : entries)
        entry.ignored = true;
    service->setAnnouncements(entries);
    QMutexLocker locker(&d->selectedServiceMutex);
    if (d->selectedService != service)
        return;
    QMutexLocker announcementLocker(&d->announcementMutex);
    if (d->announcementService) {
        releaseService(d->announcementService);
        d->announcementServiceId = -1;
        activateServiceComponents(service);
        setDirty(false);
    }
}

} // namespace ZOZ
