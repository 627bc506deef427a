// The service that is heard: selection, announcements, stepping through the
// sorted list, spoken labels and finding services by identifiers or URI.

#include "ZOZServiceManager.h"

#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"
#include "ZOZServiceStore.h"

#include <QDir>
#include <QReadLocker>
#include <QRegularExpression>
#include <QWriteLocker>

namespace ZOZ {

namespace {

bool isAudioService(const Service *service)
{
    return service && !service->isData();
}

} // namespace

bool ServiceManager::selectService(Service *service, const bool &ignoreSpokenLabel)
{
    // Selecting the selected service again must neither replay the spoken
    // label nor touch the receiver.
    QMutexLocker locker(&d->selectedServiceMutex);
    if (d->selectedService == service)
        return autoService() == service;

    {
        QMutexLocker announcementLocker(&d->announcementMutex);
        if (d->announcementService) {
            releaseService(d->announcementService);
            d->announcementServiceId = -1;
        }
    }

    if (d->selectedService) {
        releaseService(d->selectedService);
        d->selectedServiceId = -1;
        d->selectedEnsembleIdentifier = 0;
        d->selectedServiceIdentifier = 0;
        setDirty(false);
        emit announceTrayToolTip(QString());
    }

    if (service) {
        d->selectedServiceId = service->serviceId();
        d->selectedEnsembleIdentifier = service->ensembleIdentifier();
        d->selectedServiceIdentifier = quint32(service->serviceIdentifier());
        service->retain();
        d->selectedService = service;
        activateService(service, ignoreSpokenLabel);

        QSettings store = servicePersistentStore();
        store.setValue(QStringLiteral("lastEnsembleIdentifier"), int(service->ensembleIdentifier()));
        store.setValue(QStringLiteral("lastServiceIdentifier"), qlonglong(service->serviceIdentifier()));
        store.setValue(QStringLiteral("lastServiceComponentIdentifier"),
                       service->isData() ? int(service->componentId()) : -1);

        setDirty(false);
        announceServiceToolTip(service);
    }
    return true;
}

bool ServiceManager::selectAnnouncement(Service *service)
{
    QMutexLocker selectedLocker(&d->selectedServiceMutex);
    QMutexLocker announcementLocker(&d->announcementMutex);
    if (d->announcementService == service)
        return true;

    if (d->announcementService) {
        releaseService(d->announcementService);
        d->announcementServiceId = -1;
        setDirty(false);
    }
    if (!d->selectedService)
        return !service;

    if (service) {
        d->announcementServiceId = service->serviceId();
        service->retain();
        d->announcementService = service;
        activateService(service, true);
        setDirty(false);
    } else {
        activateService(d->selectedService, true);
    }
    return true;
}

void ServiceManager::activateService(Service *service, const bool &ignoreSpokenLabel)
{
    if (!ignoreSpokenLabel)
        playSpokenLabel(service, false);
    if (isAudioService(service))
        d->channelsDirty.store(true);
    activateServiceComponents(service);
}

void ServiceManager::activateServiceComponents(Service *service)
{
    if (!service || !d->source)
        return;
    QVector<Service *> components;
    // A packet-mode container stands for its children and is never received itself.
    if (service->shortname() != QLatin1String("pmc"))
        components << service;
    // The callers hold the service-list lock or own the tree.
    for (Service *child : service->children()) {
        // Children carried in the audio's programme-associated data arrive with it.
        if (child && child->isPacketMode())
            components << child;
    }
    const int ensemble = Service::ensembleIndexOf(service->serviceId());
    for (Service *spi : d->spiServices.value(ensemble)) {
        if (spi)
            components << spi;
    }
    d->source->selectServiceComponents(components);
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
    QReadLocker locker(&d->lists.sortedListLock);
    const QVector<Service *> &list = d->lists.sortedList;
    Service *target = nullptr;
    if (!list.isEmpty()) {
        const qsizetype count = list.size();
        const qsizetype at = list.indexOf(d->selectedService);
        if (at < 0)
            target = list.first();
        else
            target = list.at((at + step + count) % count);
    }
    selectService(target, false);
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

void ServiceManager::playSpokenLabel(Service *service, const bool &overrideMuted)
{
    // The audio output plays spoken labels; without it nothing is heard.
    Q_UNUSED(service);
    Q_UNUSED(overrideMuted);
}

Service *ServiceManager::findService(const int &selectorId, const int &ensembleIdentifier,
                                     const int &serviceIdentifier)
{
    QReadLocker locker(&d->serviceListLock);
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
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (Service *service : services) {
            if (service && !service->isMarked() && matches(service)) {
                service->retain();
                return service;
            }
        }
    }
    return nullptr;
}

unsigned long ServiceManager::parseUriNumber(QString text)
{
    int base = 10;
    if (text.startsWith(QLatin1String("0x"))) {
        base = 16;
        text.remove(0, 2);
    } else if (text.startsWith(QLatin1String("0b"))) {
        base = 2;
        text.remove(0, 2);
    } else if (text.startsWith(QLatin1Char('0'))) {
        base = 8;
        text.remove(0, 1);
    }
    bool ok = false;
    const unsigned long value = text.toULong(&ok, base);
    return ok ? value : 0;
}

void ServiceManager::findServiceByUri(QByteArray &uri)
{
    static const QRegularExpression pattern(
        QStringLiteral("(((dab|drm)\\.srv(\\.(bws|sls|jou|spi|tpeg|tft|tdc))?)://(([0-9a-fA-Fx]*):)?([0-9a-fA-Fx]*)(\\.[0-9]*)?/)(.*)"));
    const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(uri));
    if (!match.hasMatch())
        return;
    const QString application = match.captured(5);
    const QString ensemblePart = match.captured(7);
    const int ensembleIdentifier = ensemblePart.isEmpty() ? -1 : int(parseUriNumber(ensemblePart));
    const int serviceIdentifier = int(parseUriNumber(match.captured(8)));
    const int index = qMax(0, match.captured(9).mid(1).toInt());

    Service *service = findService(-1, ensembleIdentifier, serviceIdentifier);
    if (!service)
        return;
    Service *target = service;
    {
        QReadLocker locker(&d->serviceListLock);
        if (!application.isEmpty()) {
            int count = -1;
            for (Service *child : service->children()) {
                if (child && child->shortname() == application && ++count == index) {
                    target = child;
                    break;
                }
            }
        }
        if (target->shortname() == application)
            uri = (target->requestPath() + match.captured(10)).toUtf8();
    }
    service->release();
}

} // namespace ZOZ
