// The ensemble check: brings the service tree in line with a copy of the
// receiver's ensemble database.
#include "ZOZServiceDirectory.h"

#include "ZOZDab.h"
#include "base/ZOZLog.h"
#include "base/ZOZMainThreadServices.h"
#include "base/ZOZPointer.h"
#include "web/ZOZResourcePath.h"
#include "ZOZService.h"
#include "ZOZServiceSelection.h"

#include <QDateTime>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;
constexpr quint32 LogManagerWarning = LogSource::ServiceManager | LogFlag::Warning;
constexpr quint32 DabFamily = 1;
constexpr quint32 DabPlusAudio = 3;
// The selector id gives each index one byte; 0 stands for the service itself.
constexpr int MaxIndex = 255;
// Reed-Solomon frame of enhanced packet mode: 12 rows of 188 data bytes.
constexpr std::array<quint8, 2> PacketFecSettings {12, 188};

bool firstApplicationValid(const DabServiceComponent &component)
{
    return !component.userApplications.isEmpty() && component.userApplications.first().valid;
}

quint16 packetAddressOf(const DabUserApplication &application)
{
    return application.packetAddress < 0 ? quint16(0xFFFF) : quint16(application.packetAddress);
}

} // namespace

QString ServiceDirectory::composeServiceLabel(const QString &serviceLabel, const QString &componentLabel)
{
    if (componentLabel.isEmpty() || serviceLabel == componentLabel)
        return serviceLabel;
    if (serviceLabel.isEmpty())
        return componentLabel;
    return serviceLabel + QStringLiteral(" / ") + componentLabel;
}

QString ServiceDirectory::frequencyText(const DabEnsemble &ensemble)
{
    const DabChannel *channel = channelAtIndex(ensemble.index);
    QString text = channel ? QString::fromLatin1(channel->label) : QString();
    if (ensemble.frequency > 0)
        text += QStringLiteral(" %1 kHz").arg(ensemble.frequency);
    return text;
}

void ServiceDirectory::fillDescriptor(ServiceDescriptor &descriptor, qint32 id, const DabEnsemble &ensemble,
                                    const DabService &record, const DabServiceComponent &component)
{
    descriptor.sourceFlags = DabFamily;
    descriptor.serviceId = id;
    descriptor.ensembleIdentifier = ensemble.ensembleId;
    descriptor.ecc = record.ecc;
    descriptor.countryId = record.countryId;
    descriptor.serviceIdentifier = component.serviceId;
    descriptor.streamId = component.subChId;
    descriptor.componentId = quint16(component.scId);
    descriptor.componentIdS = quint16(component.scIdS);
    descriptor.label = composeServiceLabel(record.label, component.label);
    descriptor.labelShort = record.shortLabel;
    descriptor.labelExt = record.extendedLabel;
    descriptor.labelExtShort = record.extendedShortLabel;
    descriptor.componentLabel = component.label;
    descriptor.componentLabelShort = component.shortLabel;
    descriptor.ensembleLabel = ensemble.label;
    descriptor.ensembleLabelShort = frequencyText(ensemble);
    descriptor.language = component.languageName;
    descriptor.country = record.countryName;
    descriptor.programType = record.programmeTypeName;
}

void ServiceDirectory::doCheckDabData()
{
    if (m_changes.scanActive.load() || !m_source)
        return;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::doCheckDabData() -> checking for DAB data"));
    const QVector<DabEnsemble> ensembles = m_source->getEnsembles();
    const bool audioOn = !m_settings || m_settings->hasAudioService();
    bool changed = false;

    QWriteLocker locker(&m_lock);
    clearPresentFlags(DabFamily);
    for (const DabEnsemble &ensemble : ensembles) {
        if (ensemble.index < 0 || ensemble.index > MaxIndex || !ensemble.valid)
            continue;
        const int e = ensemble.index;
        m_ensembleServices[e];
        for (const DabService &record : ensemble.services) {
            if (!record.valid || !record.primary.valid)
                continue;
            const DabServiceComponent &primary = record.primary;
            QVector<Service *> &services = m_ensembleServices[e];
            int s = -1;
            for (int i = 0; i < services.size(); ++i) {
                if (services.at(i)->serviceIdentifier() == primary.serviceId) {
                    s = i;
                    break;
                }
            }
            Service *service = s >= 0 ? services.at(s) : nullptr;
            if (!service) {
                if (services.size() >= MaxIndex) {
                    ZOZ_LOG(LogManagerWarning,
                            QStringLiteral("ServiceManager::doCheckDabData() -> warning: more than %1 services in ensemble %2, skipping service 0x%3")
                                .arg(MaxIndex)
                                .arg(e)
                                .arg(QString::number(quint32(primary.serviceId), 16)));
                    continue;
                }
                s = services.size();
                if (primary.audio) {
                    if (!audioOn)
                        continue;
                    service = createAudioService(topLevelId(e, s), ensemble, record, primary);
                } else {
                    service = createContainer(topLevelId(e, s), ensemble, record);
                }
                if (!service)
                    continue;
                changed = true;
            }
            if (service->isAudio() != primary.audio)
                continue;
            if (service->isAudio()) {
                service->setServiceIsPresent(true);
                changed |= m_factory->initDecoder(service, primary.bitRate, primary.dabPlus, false);
            }
            updateService(service, ensemble, record, primary, nullptr, changed);

            if (primary.audio) {
                checkXPadApplications(service, service->serviceId(), ensemble, record, primary, nullptr, changed);
            } else if (firstApplicationValid(primary)) {
                const DabUserApplication &application = primary.userApplications.first();
                Service *child = nullptr;
                for (Service *candidate : service->children()) {
                    if (candidate->serviceIdentifier() == primary.serviceId
                        && candidate->applicationId() == application.type
                        && candidate->packetId() == packetAddressOf(application)) {
                        child = candidate;
                        break;
                    }
                }
                if (child) {
                    child->setServiceIsPresent(true);
                } else if (service->children().size() < MaxIndex) {
                    child = addServiceDAB(withDataIndex(service->serviceId(), int(service->children().size()) + 1),
                                          ensemble, record, primary, application);
                    changed |= child != nullptr;
                }
                if (child) {
                    attachChild(service, child);
                    updateService(child, ensemble, record, primary, &application, changed);
                }
            }

            for (const DabServiceComponent &component : record.components) {
                if (!component.valid)
                    continue;
                if (!component.audio) {
                    if (!firstApplicationValid(component))
                        continue;
                    const DabUserApplication &application = component.userApplications.first();
                    Service *child = findOrAddComponentChild(service, service->serviceId(), ensemble, record,
                                                             component, application, changed);
                    if (child) {
                        attachChild(service, child);
                        updateService(child, ensemble, record, component, &application, changed);
                    }
                    continue;
                }

                Service *sibling = nullptr;
                for (Service *candidate : service->siblings()) {
                    if (candidate->serviceIdentifier() == component.serviceId
                        && candidate->componentIdS() == quint16(component.scIdS)) {
                        sibling = candidate;
                        break;
                    }
                }
                if (sibling) {
                    sibling->setServiceIsPresent(true);
                } else {
                    if (!audioOn || service->siblings().size() >= MaxIndex)
                        continue;
                    sibling = createAudioService(
                        withComponentIndex(service->serviceId(), int(service->siblings().size()) + 1), ensemble,
                        record, component);
                    if (!sibling)
                        continue;
                    changed = true;
                }
                changed |= m_factory->initDecoder(sibling, component.bitRate, component.dabPlus, false);
                updateService(sibling, ensemble, record, component, nullptr, changed);
                const QString childLabel = component.label.isEmpty() ? record.label : component.label;
                checkXPadApplications(sibling, sibling->serviceId(), ensemble, record, component, &childLabel,
                                      changed);
            }

            if (service->isData() && (!service->children().isEmpty() || !service->siblings().isEmpty()))
                service->setServiceIsPresent(true);
        }
    }
    for (const PendingAnnouncements &pending : std::as_const(m_pendingAnnouncements))
        changed |= updateAnnouncements(pending.service, *pending.ensemble, *pending.record);
    m_pendingAnnouncements.clear();
    changed |= removeVanishedServices(DabFamily);
    locker.unlock();

    if (changed) {
        m_changes.setDirty(true);
        ZOZ_LOG(LogManager, QStringLiteral("DAB - cycle: %1").arg(m_changes.refreshCycle()));
    }
}

Service *ServiceDirectory::findOrAddComponentChild(Service *parent, qint32 parentId, const DabEnsemble &ensemble,
                                                const DabService &record, const DabServiceComponent &component,
                                                const DabUserApplication &application, bool &changed)
{
    for (Service *candidate : parent->children()) {
        if (candidate->componentId() == quint16(component.scId)
            && candidate->componentIdS() == quint16(component.scIdS)
            && candidate->applicationId() == application.type
            && candidate->packetId() == packetAddressOf(application)) {
            candidate->setServiceIsPresent(true);
            return candidate;
        }
    }
    if (parent->children().size() >= MaxIndex)
        return nullptr;
    Service *child = addServiceDAB(withDataIndex(parentId, int(parent->children().size()) + 1), ensemble, record,
                                   component, application);
    changed |= child != nullptr;
    return child;
}

void ServiceDirectory::checkXPadApplications(Service *carrier, qint32 carrierId, const DabEnsemble &ensemble,
                                           const DabService &record, const DabServiceComponent &component,
                                           const QString *childLabel, bool &changed)
{
    for (const DabUserApplication &application : component.userApplications) {
        if (!application.valid)
            continue;
        Service *child =
            findOrAddComponentChild(carrier, carrierId, ensemble, record, component, application, changed);
        if (!child)
            continue;
        updateService(child, ensemble, record, component, &application, changed);
        if (childLabel)
            child->setServiceLabel(*childLabel);
    }
}

Service *ServiceDirectory::createAudioService(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                                            const DabServiceComponent &component)
{
    ServiceDescriptor descriptor;
    fillDescriptor(descriptor, id, ensemble, record, component);
    descriptor.sourceFlags = component.dabPlus ? DabPlusAudio : DabFamily;
    Service *service = m_factory->createAudioService(descriptor, component.dabPlus, component.bitRate);
    if (!service)
        return nullptr;
    PointerLocker guard(service);
    addAudioService(service);
    // Only the lists keep it: a service that could not be attached goes with the guard.
    return service->referenceCount() > 1 ? service : nullptr;
}

void ServiceDirectory::addAudioService(Service *service)
{
    if (!service || !m_ensembleServices.contains(Service::ensembleIndexOf(service->serviceId())))
        return;
    if (!connectService(service, false))
        return;
    if (!attachService(service, -1)) {
        disconnectService(service);
        return;
    }
    ZOZ_LOG(LogManager,
            QStringLiteral("ServiceManager::addAudioService()[%1|%2] (eID: %3, serviceIdentifier: 0x%4, SubChId/StreamId: %5, label: '%6')")
                .arg(logAddress(service), service->shortname())
                .arg(Service::ensembleIndexOf(service->serviceId()))
                .arg(QString::number(quint32(service->serviceIdentifier()), 16))
                .arg(service->streamId())
                .arg(service->label()));
}

Service *ServiceDirectory::createContainer(qint32 id, const DabEnsemble &ensemble, const DabService &record)
{
    ServiceDescriptor descriptor;
    fillDescriptor(descriptor, id, ensemble, record, record.primary);
    descriptor.labelShort.clear();
    descriptor.labelExt.clear();
    descriptor.labelExtShort.clear();
    descriptor.componentLabel.clear();
    descriptor.componentLabelShort.clear();
    descriptor.packetMode = true;
    Service *container = m_factory->createContainer(descriptor);
    if (!container)
        return nullptr;
    container->retain();
    MainThreadServices::addDisposable(container);
    m_ensembleServices[Service::ensembleIndexOf(id)].append(container);
    container->setServiceLogo(serviceLogoUrl(container->globalId()));
    return container;
}

Service *ServiceDirectory::addServiceDAB(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                                       const DabServiceComponent &component, const DabUserApplication &application)
{
    int xpadType = 0;
    if (application.data.size() > 1 && quint8(application.data.at(0)) != 0)
        xpadType = quint8(application.data.at(0));
    else if (application.type == ServiceFactory::SlideShow || application.type == ServiceFactory::BroadcastWebsite)
        xpadType = 12;
    else if (application.type == ServiceFactory::Journaline)
        xpadType = 4;

    ServiceDescriptor descriptor;
    fillDescriptor(descriptor, id, ensemble, record, component);
    descriptor.applicationId = application.type;
    descriptor.applicationType = xpadType;
    descriptor.packetModeEnhanced = component.fecScheme == 1;
    descriptor.packetModeLength = 0;
    descriptor.packetId = packetAddressOf(application);
    descriptor.packetMode = component.isPacketMode;

    Service *service = m_factory->createDataService(application.type, descriptor);
    if (!service) {
        ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::addServiceDAB() -> unknown appId: %1").arg(application.type));
        return nullptr;
    }
    PointerLocker guard(service);
    if (!connectService(service, false))
        return nullptr;
    bool attached = false;
    if (component.isPacketMode) {
        const QVector<Service *> &services = m_ensembleServices.value(Service::ensembleIndexOf(id));
        const int s = Service::serviceIndexOf(id);
        if (s < services.size())
            attached = attachChild(services.at(s), service);
    } else {
        attached = attachService(service, -1);
    }
    if (!attached) {
        disconnectService(service);
        return nullptr;
    }
    Service *held = m_selection ? m_selection->autoService() : nullptr;
    ZOZ_LOG(LogManager,
            QStringLiteral("ServiceManager::addServiceDAB()[%1|%2] (appId: 0x%3, eID: %4, serviceIdentifier: 0x%5, SCId: %6, SCIdS: %7, SubChId: %8, label: '%9', pAutoService: %10)")
                .arg(logAddress(service), service->shortname(),
                     QString::number(application.type, 16))
                .arg(Service::ensembleIndexOf(id))
                .arg(QString::number(quint32(service->serviceIdentifier()), 16))
                .arg(component.scId)
                .arg(component.scIdS)
                .arg(component.subChId)
                .arg(service->label(), held == service ? QStringLiteral("true") : QStringLiteral("false")));
    return service;
}

bool ServiceDirectory::updateService(Service *service, const DabEnsemble &ensemble, const DabService &record,
                                   const DabServiceComponent &component, const DabUserApplication *application,
                                   bool &changed)
{
    bool result = false;
    result |= service->setServiceLabel(composeServiceLabel(record.label, component.label));
    result |= service->setServiceLabelShort(record.shortLabel);
    result |= service->setServiceLabelExt(record.extendedLabel);
    result |= service->setServiceLabelExtShort(record.extendedShortLabel);
    result |= service->setServiceComponentLabel(component.label);
    result |= service->setServiceComponentLabelShort(component.shortLabel);
    result |= service->setEnsembleIdentifier(ensemble.ensembleId);
    result |= service->setServiceEnsembleLabel(ensemble.label);
    result |= service->setServiceCountry(record.countryName);
    result |= service->setServiceECC(record.ecc);
    result |= service->setServiceLogo(serviceLogoUrl(service->globalId()));
    result |= service->setServiceComponentId(quint16(component.scId));
    result |= service->setServiceComponentIdS(quint16(component.scIdS));
    result |= service->setServiceLanguage(component.languageName);
    result |= service->setServiceType(record.programmeTypeName);

    const bool data = service->isData() && application;
    result |= reconnectService(service, component.subChId, data ? packetAddressOf(*application) : quint16(0xFFFF), 0,
                               data && component.fecScheme == 1, PacketFecSettings);
    m_pendingAnnouncements.append({service, &ensemble, &record});
    result |= service->setServiceFlags(quint16(ensemble.alarmFlag));
    changed |= result;
    return result;
}

bool ServiceDirectory::reconnectService(Service *service, const qint32 &streamId, const quint16 &packetId,
                                      const quint8 &length, const bool &enhanced, const std::array<quint8, 2> &fec)
{
    if (!service || service->shortname() == QLatin1String("pmc"))
        return false;
    const std::array<quint8, 2> oldFec = service->fecSettings();
    if (service->streamId() == streamId && service->packetId() == packetId && service->packetModeLength() == length
        && service->isPacketModeEnhanced() == enhanced && oldFec == fec)
        return false;

    QString details;
    if (service->streamId() != streamId)
        details += QStringLiteral(", streamId %1 -> %2").arg(service->streamId()).arg(streamId);
    if (service->packetId() != packetId)
        details += QStringLiteral(", pmAddr %1 -> %2").arg(service->packetId()).arg(packetId);
    if (service->packetModeLength() != length)
        details += QStringLiteral(", pmLen %1 -> %2").arg(service->packetModeLength()).arg(length);
    if (service->isPacketModeEnhanced() != enhanced)
        details += enhanced ? QStringLiteral(", packetmode: standard -> enhanced")
                            : QStringLiteral(", packetmode: enhanced -> standard");
    if (oldFec != fec) {
        details += QStringLiteral(", FEC settings: %1,%2 -> %3,%4").arg(oldFec[0]).arg(oldFec[1]).arg(fec[0]).arg(fec[1]);
    }
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::reconnectService()[%1] reconnecting service (label: '%2'%3)")
                            .arg(service->shortname(), service->label(), details));

    m_source->detachStreamHandler(service);
    service->setStreamId(streamId);
    service->setPacketId(packetId);
    service->setPacketModeLength(length);
    service->setServiceIsPacketModeEnhanced(enhanced);
    service->setFecSettings(fec);
    m_source->attachStreamHandler(service, true);
    return true;
}

bool ServiceDirectory::updateAnnouncements(Service *service, const DabEnsemble &ensemble, const DabService &record)
{
    const int e = ensemble.index;
    QVector<ActiveAnnouncement> &running = m_activeAnnouncements[e];
    QVector<Announcement> entries;
    QVector<QPair<quint16, quint8>> active;
    for (const DabAnnouncement &switching : ensemble.announcements) {
        for (int bit = 0; bit < 16; ++bit) {
            const quint16 flag = quint16(1u << bit);
            if (!(switching.aswFlags & flag))
                continue;
            active.append({flag, switching.clusterId});
            // The service takes part when it supports that type in that cluster.
            bool concerns = false;
            for (auto it = record.announcementSupport.cbegin(); it != record.announcementSupport.cend(); ++it) {
                if ((it.key() & flag) && it.value().contains(char(switching.clusterId)))
                    concerns = true;
            }
            if (!concerns)
                continue;
            ActiveAnnouncement *entry = nullptr;
            for (ActiveAnnouncement &candidate : running) {
                if (candidate.flag == flag && candidate.clusterId == switching.clusterId
                    && candidate.service->streamId() == switching.subChId) {
                    entry = &candidate;
                    break;
                }
            }
            if (!entry) {
                Service *announcing = nullptr;
                for (Service *candidate : m_ensembleServices.value(e)) {
                    if (candidate->streamId() == switching.subChId) {
                        announcing = candidate;
                        break;
                    }
                }
                if (!announcing)
                    continue;
                announcing->retain();
                running.append({quint32(QDateTime::currentSecsSinceEpoch()), announcing, switching.clusterId, flag});
                entry = &running.last();
            }
            Announcement announcement;
            announcement.system = Announcement::Dab;
            announcement.flags = flag;
            announcement.start = entry->start;
            announcement.sid = entry->service->serviceId();
            announcement.clusterId = switching.clusterId;
            entries.append(announcement);
        }
    }
    for (int i = int(running.size()) - 1; i >= 0; --i) {
        if (!active.contains(qMakePair(running.at(i).flag, running.at(i).clusterId))) {
            running.at(i).service->release();
            running.removeAt(i);
        }
    }
    return service->setAnnouncements(entries);
}

} // namespace ZOZ
