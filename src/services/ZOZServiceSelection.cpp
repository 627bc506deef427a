// The service that is heard: selection, announcements, the service waited
// for, and the receiver's components that follow from them.

#include "ZOZServiceSelection.h"

#include "ZOZService.h"
#include "ZOZServiceDirectory.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceStore.h"
#include "audio/ZOZAudioOutputPort.h"
#include "audio/ZOZServiceAudio.h"
#include "data/ZOZSLDecoder.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QReadLocker>
#include <QWriteLocker>

namespace ZOZ {

namespace {

bool isAudioService(const Service *service)
{
    return service && !service->isData();
}

} // namespace

ServiceSelection::ServiceSelection(ServiceChanges &changes, Settings *settings, ServiceDirectory &directory)
    : m_changes(changes)
    , m_settings(settings)
    , m_directory(directory)
{
}

ServiceSelection::~ServiceSelection()
{
    releaseAll();
}

void ServiceSelection::releaseService(Service *&held)
{
    Service *service = held;
    held = nullptr;
    if (service)
        service->release();
}

void ServiceSelection::setAudioOutput(AudioOutputPort *output)
{
    QMutexLocker locker(&m_audibleMutex);
    m_audioOutput = output;
    if (m_audioOutput)
        m_audioOutput->setAudioSource(m_audibleService);
}

ServiceAudio *ServiceSelection::audibleService() const
{
    QMutexLocker locker(&m_audibleMutex);
    return m_audibleService;
}

void ServiceSelection::makeAudible(Service *service)
{
    auto *audio = qobject_cast<ServiceAudio *>(service);
    QMutexLocker locker(&m_audibleMutex);
    if (audio == m_audibleService)
        return;
    if (m_audibleService) {
        m_audibleService->stop();
        Service *old = m_audibleService;
        m_audibleService = nullptr;
        old->release();
    }
    if (audio) {
        audio->retain();
        m_audibleService = audio;
        audio->play();
    }
    if (m_audioOutput)
        m_audioOutput->setAudioSource(m_audibleService);
}

void ServiceSelection::releaseAll()
{
    makeAudible(nullptr);
    {
        QMutexLocker locker(&m_selectedMutex);
        releaseService(m_selectedService);
        m_selectedServiceId = -1;
    }
    {
        QMutexLocker locker(&m_announcementMutex);
        releaseService(m_announcementService);
        m_announcementServiceId = -1;
    }
    {
        QMutexLocker locker(&m_spiScanMutex);
        releaseService(m_spiScanService);
    }
    QMutexLocker locker(&m_autoMutex);
    releaseService(m_autoService);
}

bool ServiceSelection::selectService(Service *service, const bool &ignoreSpokenLabel)
{
    // Selecting the selected service again must neither replay the spoken
    // label nor touch the receiver.
    QMutexLocker locker(&m_selectedMutex);
    if (m_selectedService == service)
        return autoService() == service;

    {
        QMutexLocker announcementLocker(&m_announcementMutex);
        if (m_announcementService) {
            releaseService(m_announcementService);
            m_announcementServiceId = -1;
        }
    }

    if (m_selectedService) {
        releaseService(m_selectedService);
        m_selectedServiceId = -1;
        m_selectedEnsembleIdentifier = 0;
        m_selectedServiceIdentifier = 0;
        m_changes.setDirty(false);
        if (m_toolTipSink)
            m_toolTipSink(QString());
    }
    if (!service)
        makeAudible(nullptr);

    if (service) {
        m_selectedServiceId = service->serviceId();
        m_selectedEnsembleIdentifier = service->ensembleIdentifier();
        m_selectedServiceIdentifier = quint32(service->serviceIdentifier());
        service->retain();
        m_selectedService = service;
        activateService(service, ignoreSpokenLabel);

        QSettings store = servicePersistentStore();
        store.setValue(QStringLiteral("lastEnsembleIdentifier"), int(service->ensembleIdentifier()));
        store.setValue(QStringLiteral("lastServiceIdentifier"), qlonglong(service->serviceIdentifier()));
        store.setValue(QStringLiteral("lastServiceComponentIdentifier"),
                       service->isData() ? int(service->componentId()) : -1);

        m_changes.setDirty(false);
        announceServiceToolTip(service);
    }
    return true;
}

bool ServiceSelection::selectAnnouncement(Service *service)
{
    QMutexLocker selectedLocker(&m_selectedMutex);
    QMutexLocker announcementLocker(&m_announcementMutex);
    if (m_announcementService == service)
        return true;

    if (m_announcementService) {
        releaseService(m_announcementService);
        m_announcementServiceId = -1;
        m_changes.setDirty(false);
    }
    if (!m_selectedService)
        return !service;

    if (service) {
        m_announcementServiceId = service->serviceId();
        service->retain();
        m_announcementService = service;
        activateService(service, true);
        m_changes.setDirty(false);
    } else {
        activateService(m_selectedService, true);
    }
    return true;
}

void ServiceSelection::activateService(Service *service, const bool &ignoreSpokenLabel)
{
    if (!ignoreSpokenLabel)
        playSpokenLabel(service, false);
    if (isAudioService(service))
        m_changes.channelsDirty.store(true);
    makeAudible(service);
    activateServiceComponents(service);
}

void ServiceSelection::activateServiceComponents(Service *service)
{
    EnsembleSource *source = m_directory.source();
    if (!service || !source)
        return;
    QVector<Service *> components;
    // A packet-mode container stands for its children and is never received itself.
    if (service->shortname() != QLatin1String("pmc"))
        components << service;
    {
        QMutexLocker locker(&m_spiScanMutex);
        if (m_spiScanService && !components.contains(m_spiScanService))
            components << m_spiScanService;
    }
    // The callers hold the service-list lock or own the tree.
    for (Service *child : service->children()) {
        // Children carried in the audio's programme-associated data arrive with it.
        if (child && child->isPacketMode())
            components << child;
    }
    const int ensemble = Service::ensembleIndexOf(service->serviceId());
    for (Service *spi : m_directory.spiServicesOf(ensemble)) {
        if (spi && !components.contains(spi))
            components << spi;
    }
    source->selectServiceComponents(components);
}

void ServiceSelection::playSpokenLabel(Service *service, const bool &overrideMuted)
{
    if (!service || !m_settings || !m_settings->spokenLabelsActive())
        return;
    // The audio output plays spoken labels; without it nothing is heard.
    QMutexLocker locker(&m_audibleMutex);
    if (!m_audioOutput)
        return;
    const QString file =
        ServiceManager::spokenLabelFile(m_settings->cachePath() + QLatin1String(SLDecoder::FolderName), service->ecc(),
                                        service->serviceIdentifier(), service->shortId());
    if (!file.isEmpty())
        m_audioOutput->playFile(file, overrideMuted);
}

void ServiceSelection::setSpiScanService(Service *service)
{
    QMutexLocker locker(&m_spiScanMutex);
    if (m_spiScanService == service)
        return;
    if (service)
        service->retain();
    releaseService(m_spiScanService);
    m_spiScanService = service;
}

Service *ServiceSelection::spiScanService() const
{
    QMutexLocker locker(&m_spiScanMutex);
    if (m_spiScanService)
        m_spiScanService->retain();
    return m_spiScanService;
}

void ServiceSelection::acknowledgeAnnouncements(Service *service)
{
    if (!service)
        return;
    QWriteLocker listLocker(&m_directory.lock());
    QVector<Announcement> entries = service->announcementEntries();
    for (Announcement &entry : entries)
        entry.ignored = true;
    service->setAnnouncements(entries);
    QMutexLocker locker(&m_selectedMutex);
    if (m_selectedService != service)
        return;
    QMutexLocker announcementLocker(&m_announcementMutex);
    if (m_announcementService) {
        releaseService(m_announcementService);
        m_announcementServiceId = -1;
        activateServiceComponents(service);
        makeAudible(service);
        m_changes.setDirty(false);
    }
}

Service *ServiceSelection::selectedService() const
{
    QMutexLocker locker(&m_selectedMutex);
    return m_selectedService;
}

qint32 ServiceSelection::selectedServiceId() const
{
    QMutexLocker locker(&m_selectedMutex);
    return m_selectedServiceId;
}

ServiceSelection::Selected ServiceSelection::selected() const
{
    QMutexLocker locker(&m_selectedMutex);
    Selected state;
    if (m_selectedService)
        state.ensembleTime = m_selectedService->currentTime();
    state.serviceIdentifier = m_selectedServiceIdentifier;
    state.ensembleIdentifier = quint32(m_selectedEnsembleIdentifier);
    state.selectorId = m_selectedServiceId;
    return state;
}

qint32 ServiceSelection::announcementServiceId() const
{
    QMutexLocker locker(&m_announcementMutex);
    return m_announcementServiceId;
}

void ServiceSelection::waitForService(qint32 ensembleIdentifier, qint64 serviceIdentifier, qint32 componentId)
{
    QMutexLocker locker(&m_autoMutex);
    m_autoEnsembleIdentifier = ensembleIdentifier;
    m_autoServiceIdentifier = serviceIdentifier;
    m_autoComponentId = componentId;
}

void ServiceSelection::rememberSelectedForScan()
{
    // The selected mutex comes before the auto-service mutex, never inside it.
    qint32 ensembleIdentifier = -1;
    qint64 serviceIdentifier = -1;
    qint32 componentId = -1;
    {
        QMutexLocker selectedLocker(&m_selectedMutex);
        const Service *selected = m_selectedService;
        if (!selected)
            return;
        ensembleIdentifier = selected->ensembleIdentifier();
        serviceIdentifier = qint64(quint32(selected->serviceIdentifier()));
        componentId = selected->componentId();
    }
    QMutexLocker autoLocker(&m_autoMutex);
    if (m_autoServiceIdentifier == -1)
        waitForService(ensembleIdentifier, serviceIdentifier, componentId);
}

void ServiceSelection::replaceAutoService(qint64 serviceIdentifier)
{
    QMutexLocker locker(&m_autoMutex);
    releaseService(m_autoService);
    waitForService(-1, serviceIdentifier, -1);
}

Service *ServiceSelection::autoService() const
{
    QMutexLocker locker(&m_autoMutex);
    return m_autoService;
}

ServiceSelection::AutoService ServiceSelection::autoServiceState() const
{
    QMutexLocker locker(&m_autoMutex);
    AutoService state;
    const Service *automatic = m_autoService;
    state.inProgress = automatic || m_autoServiceIdentifier != -1;
    state.found = automatic != nullptr;
    if (automatic) {
        state.serviceId = int(automatic->serviceId());
        state.isData = automatic->isData();
        if (state.isData)
            state.requestPath = automatic->requestPath();
    }
    return state;
}

void ServiceSelection::recheckAutoService()
{
    qint32 ensembleIdentifier;
    qint64 serviceIdentifier;
    qint32 componentId;
    {
        QMutexLocker locker(&m_autoMutex);
        if (m_autoService || m_autoServiceIdentifier == -1)
            return;
        ensembleIdentifier = m_autoEnsembleIdentifier;
        serviceIdentifier = m_autoServiceIdentifier;
        componentId = m_autoComponentId;
    }
    QWriteLocker listLocker(&m_directory.lock());
    Service *match = nullptr;
    for (const QVector<Service *> &services : m_directory.ensembleServices()) {
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
    QMutexLocker locker(&m_autoMutex);
    if (!m_autoService) {
        match->retain();
        m_autoService = match;
    }
}

void ServiceSelection::checkAutoService(Service *service)
{
    if (!service)
        return;
    {
        QMutexLocker locker(&m_autoMutex);
        if (m_autoServiceIdentifier == -1 || service->serviceIdentifier() != m_autoServiceIdentifier)
            return;
        if (m_autoEnsembleIdentifier != -1 && service->ensembleIdentifier() != m_autoEnsembleIdentifier)
            return;
        if (m_autoComponentId != -1 && service->componentId() != quint16(m_autoComponentId))
            return;
        m_autoEnsembleIdentifier = -1;
        m_autoServiceIdentifier = -1;
        m_autoComponentId = -1;
    }
    service->setFixed(m_settings && m_settings->isAutoServiceFixed());
    selectService(service, false);
}

void ServiceSelection::trackServiceId(Service *service, qint32 id)
{
    {
        QMutexLocker locker(&m_selectedMutex);
        if (m_selectedService == service)
            m_selectedServiceId = id;
    }
    QMutexLocker locker(&m_announcementMutex);
    if (m_announcementService == service)
        m_announcementServiceId = id;
}

bool ServiceSelection::isSelectedOrAnnounced(const Service *service) const
{
    bool found = false;
    {
        QMutexLocker locker(&m_selectedMutex);
        found = m_selectedService == service;
    }
    QMutexLocker locker(&m_announcementMutex);
    return found || m_announcementService == service;
}

void ServiceSelection::forgetService(Service *service)
{
    {
        QMutexLocker locker(&m_autoMutex);
        if (m_autoService == service)
            releaseService(m_autoService);
    }
    {
        QMutexLocker locker(&m_spiScanMutex);
        if (m_spiScanService == service)
            releaseService(m_spiScanService);
    }
    {
        QMutexLocker locker(&m_selectedMutex);
        if (m_selectedService == service)
            selectService(nullptr, false);
    }
    if (audibleService() == service)
        makeAudible(nullptr);
    QMutexLocker locker(&m_announcementMutex);
    if (m_announcementService == service) {
        releaseService(m_announcementService);
        m_announcementServiceId = -1;
    }
}

void ServiceSelection::announceServiceToolTip(const Service *service)
{
    if (!service || !m_toolTipSink)
        return;
    m_toolTipSink(QCoreApplication::translate("General", "Current Service: ") + service->label());
}

void ServiceSelection::announceSelectedToolTip()
{
    QMutexLocker locker(&m_selectedMutex);
    announceServiceToolTip(m_selectedService);
}

} // namespace ZOZ
