#include "ZOZService.h"

#include "base/ZOZLog.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceStore.h"

#include <QDateTime>
#include <QHash>

namespace ZOZ {

namespace {

constexpr quint32 LogService = LogSource::Service;

// Instance numbers follow the instance name, not the object: a service that
// vanishes and comes back keeps its number and so its web path. A positive
// number is in use, a negative one released and kept for that name.
struct InstanceRegistry
{
    QMutex mutex;
    QHash<QString, int> numbers;
    int counter = 0;
};

InstanceRegistry &instanceRegistry()
{
    static InstanceRegistry registry;
    return registry;
}

} // namespace

Service::Service(const bool &isData)
    : QObject(nullptr)
    , m_manager(ServiceManager::existingInstance())
    , m_settings(Settings::instance())
    , m_isData(isData)
{
    m_descriptor.fecSettings = {0, 0};
    if (m_settings)
        m_settings->addListener(this);
}

Service::~Service()
{
    if (m_settings)
        m_settings->removeListener(this);
    releaseInstanceNumber();
    delete static_cast<Service **>(m_handle);
    m_handle = nullptr;
}

void Service::releaseInstanceNumber()
{
    if (m_instanceName.isEmpty())
        return;
    InstanceRegistry &registry = instanceRegistry();
    QMutexLocker locker(&registry.mutex);
    auto it = registry.numbers.find(m_instanceName);
    if (it != registry.numbers.end() && it.value() > 0)
        it.value() = -it.value();
}

void Service::assignInstanceNumber()
{
    QString base = QStringLiteral("%1-%2-%3-")
                       .arg(m_descriptor.ecc, 3, 16, QLatin1Char('0'))
                       .arg(quint32(m_descriptor.serviceIdentifier), 8, 16, QLatin1Char('0'))
                       .arg(m_descriptor.shortname);
    if (m_descriptor.sourceFlags & 1)
        base += QStringLiteral("%1-").arg(m_descriptor.componentIdS & 0xFF, 2, 16, QLatin1Char('0'));

    InstanceRegistry &registry = instanceRegistry();
    QMutexLocker locker(&registry.mutex);
    QString candidate;
    for (int suffix = 0;; ++suffix) {
        candidate = base + QString::number(suffix);
        if (registry.numbers.value(candidate, 0) <= 0)
            break;
    }
    auto it = registry.numbers.find(candidate);
    if (it != registry.numbers.end())
        m_instanceNumber = quint32(-it.value());
    else
        m_instanceNumber = quint32(++registry.counter);
    m_instanceName = candidate;
    registry.numbers.insert(candidate, int(m_instanceNumber));
}

void Service::init(ServiceDescriptor &descriptor)
{
    const auto cleaned = [](const QString &text) { return text.trimmed().remove(QChar(0)); };
    m_descriptor = descriptor;
    m_descriptor.label = cleaned(descriptor.label);
    m_descriptor.labelShort = cleaned(descriptor.labelShort);
    m_descriptor.labelExt = cleaned(descriptor.labelExt);
    m_descriptor.labelExtShort = cleaned(descriptor.labelExtShort);
    m_descriptor.componentLabel = cleaned(descriptor.componentLabel);
    m_descriptor.componentLabelShort = cleaned(descriptor.componentLabelShort);
    m_descriptor.ensembleLabel = cleaned(descriptor.ensembleLabel);
    m_descriptor.ensembleLabelShort = cleaned(descriptor.ensembleLabelShort);
    m_descriptor.name = cleaned(descriptor.name);
    m_descriptor.shortname = cleaned(descriptor.shortname);
    m_descriptor.language = descriptor.language.trimmed();
    m_descriptor.country = descriptor.country.trimmed();
    m_descriptor.programType = descriptor.programType.trimmed();

    m_isJournaline = m_descriptor.shortname == QLatin1String("journaline");
    m_hasJournaline = m_isJournaline;
    if (m_descriptor.name.isEmpty())
        m_descriptor.name = dataServiceTypeName(m_descriptor.applicationId);
    updatePaths();
    assignInstanceNumber();
    retranslate();
    setRequestPath(QStringLiteral("%1-%2/").arg(m_descriptor.shortname).arg(m_instanceNumber));

    const auto optionalId = [](quint16 id) {
        return id < 0xFFFF ? QStringLiteral("0x") + QString::number(id, 16) : QStringLiteral("-1");
    };
    ZOZ_LOG(LogService,
            QStringLiteral("Service::init()[%1] (serviceId: 0x%2, streamId: %3, shortId: %4, packetId: %5, label: %6, ensemble: %7)")
                .arg(m_instanceNumber)
                .arg(QString::number(quint32(m_descriptor.serviceIdentifier), 16))
                .arg(m_descriptor.streamId)
                .arg(optionalId(m_descriptor.shortId), optionalId(m_descriptor.packetId), m_descriptor.label, m_descriptor.ensembleLabel));

    m_initialised = true;
    setup();
    m_handle = new Service *(this);
}

void Service::clearData()
{
    for (Service *service : std::as_const(m_children))
        service->clearData();
    for (Service *service : std::as_const(m_siblings))
        service->clearData();
}

void Service::loadCache()
{
    for (Service *service : std::as_const(m_children))
        service->loadCache();
    for (Service *service : std::as_const(m_siblings))
        service->loadCache();
}

void Service::saveCache()
{
    for (Service *service : std::as_const(m_children))
        service->saveCache();
    for (Service *service : std::as_const(m_siblings))
        service->saveCache();
}

void Service::receiveDlDataGroup(const uchar *, const uint &)
{
}

bool Service::newTextMessage(const QString &text)
{
    if (isMarked())
        return false;
    {
        QMutexLocker locker(&m_mutex);
        if (text == m_textMessage)
            return false;
        m_textMessage = text;
        ZOZ_LOG(LogService, QStringLiteral("Service::newTextMessage() -> new textmessage: '%1'").arg(text));
        setRefreshCycle(refreshCycle() + 1);
    }
    emit newTextMessage();
    return true;
}

QString Service::textMessage() const
{
    QMutexLocker locker(&const_cast<Service *>(this)->m_mutex);
    return m_textMessage;
}

void Service::dynamicLabelCommand(int, const uchar &)
{
}

StreamConsumer::Location Service::streamLocation() const
{
    Location where;
    where.ensembleIndex = ensembleIndex();
    where.streamId = m_descriptor.streamId;
    where.packetMode = m_descriptor.packetMode;
    where.ownPacketAddress = hasOwnPacketAddress();
    where.packetAddress = m_descriptor.packetMode ? m_descriptor.packetId : NoPacketAddress;
    where.packetModeEnhanced = m_descriptor.packetModeEnhanced;
    where.packetModeLength = m_descriptor.packetModeLength;
    where.reedSolomonRows = reedSolomonRows();
    where.reedSolomonColumns = reedSolomonColumns();
    where.transportFlags = transportFlags();
    return where;
}

void Service::receiveData(int length, const uchar *const &data)
{
    if (isMarked() || length == 0 || !data)
        return;
    m_isReceiving.store(true, std::memory_order_relaxed);
    if (isVisible() && !m_isAvailable.load(std::memory_order_relaxed)) {
        m_isAvailable.store(true, std::memory_order_relaxed);
        if (m_manager)
            m_manager->setDirty(true);
    }
    handlePacket(length, data);
}

void Service::stop(uint)
{
}

bool Service::handlePacket(int, const uchar *const &)
{
    return false;
}

ReceptionState *Service::receptionProgress()
{
    return &m_receptionState;
}

bool Service::isVisible() const
{
    return m_descriptor.visible;
}

void Service::setup()
{
}

void Service::reload()
{
}

QString Service::requestPath() const
{
    QMutexLocker locker(&m_pageMutex);
    return m_requestPath;
}

void Service::setRequestPath(const QString &path)
{
    QMutexLocker locker(&m_pageMutex);
    m_requestPath = path;
}

void Service::setPageCycleObserver(PageCycleObserver *observer)
{
    QMutexLocker locker(&m_pageMutex);
    m_cycleObserver = observer;
}

void Service::setRefreshCycle(int cycle)
{
    m_refreshCycle.store(cycle, std::memory_order_relaxed);
    QMutexLocker locker(&m_pageMutex);
    if (m_cycleObserver)
        m_cycleObserver->pageCycleChanged(cycle);
}

void Service::setMarked()
{
    Pointer::setMarked();
    releaseInstanceNumber();
}

void Service::settingChanged(const QVector<int> &ids)
{
    if (ids.contains(Settings::CachePathChanged))
        updatePaths();
}

bool Service::setServiceIsFavourite(const bool &favourite)
{
    if (m_descriptor.ensembleIdentifier == -1 || m_descriptor.serviceIdentifier == -1)
        return false;
    QSettings store = servicePersistentStore();
    const QString key = QStringLiteral("Services/service-%1-%2").arg(m_descriptor.ensembleIdentifier).arg(m_descriptor.serviceIdentifier);
    if (store.value(key, false).toBool() == favourite)
        return false;
    ZOZ_LOG(LogService, QStringLiteral("Service::setServiceIsFavourite() -> service is now %1a favourite (label[%2], id[%3])")
                            .arg(favourite ? QString() : QStringLiteral("not "), m_descriptor.label, idText()));
    store.setValue(key, favourite);
    return true;
}

bool Service::isServiceFavourite() const
{
    if (m_descriptor.ensembleIdentifier == -1 || m_descriptor.serviceIdentifier == -1)
        return false;
    return servicePersistentStore()
        .value(QStringLiteral("Services/service-%1-%2").arg(m_descriptor.ensembleIdentifier).arg(m_descriptor.serviceIdentifier), false)
        .toBool();
}

void Service::setFecSettings(const std::array<quint8, 2> &settings)
{
    m_descriptor.fecSettings = settings;
}

bool Service::setHasJournaline(const bool &value)
{
    if (m_isJournaline || value == m_hasJournaline)
        return false;
    m_hasJournaline = value;
    return true;
}

void Service::setServiceIsPresent(const bool &present)
{
    m_isPresent = present;
    if (present)
        return;
    for (Service *service : std::as_const(m_children))
        service->setServiceIsPresent(false);
    for (Service *service : std::as_const(m_siblings))
        service->setServiceIsPresent(false);
}

bool Service::setServiceFlags(const quint16 &flags)
{
    if (flags == m_serviceFlags)
        return false;
    m_serviceFlags = flags;
    return true;
}

bool Service::setAnnouncements(QVector<Announcement> entries)
{
    bool changed = entries.size() != m_announcementEntries.size();
    for (Announcement &entry : entries) {
        const Announcement *stored = nullptr;
        for (const Announcement &old : std::as_const(m_announcementEntries)) {
            if (old.system == entry.system && old.flags == entry.flags && old.sid == entry.sid) {
                stored = &old;
                break;
            }
        }
        if (!stored)
            changed = true;
        else if (stored->ignored)
            entry.ignored = true;
        else if (entry.ignored)
            changed = true;
    }
    if (!changed)
        return false;

    m_announcementEntries = entries;
    return true;
}

Service *Service::child(const int &componentIndex, const int &dataIndex)
{
    if (isMarked())
        return nullptr;
    Service *reached = this;
    if (componentIndex != 0) {
        if (componentIndex < 1 || componentIndex > m_siblings.size())
            return nullptr;
        reached = m_siblings.at(componentIndex - 1);
    }
    if (dataIndex >= 1 && dataIndex <= reached->m_children.size())
        return reached->m_children.at(dataIndex - 1);
    return reached;
}

void Service::markDirty()
{
    if (m_isAvailable.exchange(true, std::memory_order_relaxed))
        return;
    if (m_manager)
        m_manager->setDirty(false);
}

void Service::receiveCheckTimeout()
{
    if (m_isReceiving.load(std::memory_order_relaxed))
        return;
    m_isAvailable.store(false, std::memory_order_relaxed);
    if (m_manager)
        m_manager->setDirty(false);
}

quint32 Service::currentTime() const
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}

} // namespace ZOZ
