// The sorted service list: order, favourites filter and the entries of the
// state poll.

#include "ZOZServiceList.h"

#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceDirectory.h"
#include "settings/ZOZSettings.h"
#include "ZOZServiceStore.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>
#include <numeric>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;

ServiceListEntry entryOf(const Service *service, bool isVisible, bool isFavourite)
{
    ServiceListEntry entry;
    entry.serviceId = service->serviceId();
    entry.isAudio = !service->isData();
    entry.isVisible = isVisible;
    entry.isFavourite = isFavourite;
    entry.label = service->label();
    for (const Service *child : service->children()) {
        if (!child)
            continue;
        // A packet-mode application that stops during announcements says so in bit 0.
        const bool stopsInAnnouncement = (child->sourceFlags() & 1u) && child->isPacketMode();
        entry.applications.append({child->shortname(), child->singleViewPath(), child->requestPath(),
                                   !stopsInAnnouncement});
    }
    entry.announcements = service->announcementEntries();
    return entry;
}

} // namespace

bool ServiceList::lessByLabel(const Service *a, const Service *b)
{
    return a->label().toLower() < b->label().toLower();
}

bool ServiceList::lessByEnsembleLabel(const Service *a, const Service *b)
{
    return a->ensembleLabel().toLower() < b->ensembleLabel().toLower();
}

bool ServiceList::lessByEnsembleNumber(const Service *a, const Service *b)
{
    return Service::ensembleIndexOf(a->serviceId()) < Service::ensembleIndexOf(b->serviceId());
}

bool ServiceList::lessByType(const Service *a, const Service *b)
{
    return a->programTypeText().toLower() < b->programTypeText().toLower();
}

bool ServiceList::lessByLanguage(const Service *a, const Service *b)
{
    return a->languageText().toLower() < b->languageText().toLower();
}

bool ServiceList::lessByCountry(const Service *a, const Service *b)
{
    return a->countryText().toLower() < b->countryText().toLower();
}

ServiceList::ServiceList(ServiceChanges &changes, Settings *settings, ServiceDirectory &directory)
    : m_changes(changes)
    , m_settings(settings)
    , m_directory(directory)
{
}

ServiceList::~ServiceList()
{
    release();
}

void ServiceList::loadOrder()
{
    QSettings store = servicePersistentStore();
    bool ok = false;
    const int type = store.value(QStringLiteral("sortType")).toInt(&ok);
    if (ok)
        m_sortType = type;
    m_sortFavouritesOnly = store.value(QStringLiteral("sortFavouritesOnly"), false).toBool();
}

void ServiceList::update()
{
    if (!m_changes.serviceListDirty.load())
        return;
    QMutexLocker rebuildLocker(&m_rebuildMutex);
    // Concurrent callers wait here and find the work done.
    if (!m_changes.serviceListDirty.exchange(false))
        return;
    sort();
    m_changes.bumpRefreshCycle();
}

void ServiceList::sort()
{
    QWriteLocker sortedLocker(&m_sortedListLock);
    for (Service *service : std::as_const(m_sortedList))
        service->release();
    m_sortedList.clear();
    m_entries.clear();

    QReadLocker serviceLocker(&m_directory.lock());
    QVector<Service *> list;
    for (const QVector<Service *> &services : m_directory.ensembleServices()) {
        for (Service *service : services) {
            if (!service)
                continue;
            service->retain();
            list << service;
        }
    }

    if (m_settings && m_settings->isAutoServiceFixed()) {
        // A fixed service is the only one the listener may choose.
        const quint32 fixedIdentifier = m_settings->autoServiceId();
        for (qsizetype i = list.size() - 1; i >= 0; --i) {
            if (quint32(list.at(i)->serviceIdentifier()) != fixedIdentifier) {
                list.at(i)->release();
                list.removeAt(i);
            }
        }
    }
    QVector<bool> favourite(list.size());
    bool hasFavourites = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        favourite[i] = list.at(i)->isServiceFavourite();
        hasFavourites = hasFavourites || favourite.at(i);
    }
    m_hasFavourites.store(hasFavourites);

    // Sorted by label first, so every other order keeps labels in order within its groups.
    QVector<qsizetype> order(list.size());
    std::iota(order.begin(), order.end(), 0);
    auto sortBy = [&](bool (*less)(const Service *, const Service *), bool stable) {
        auto compare = [&](qsizetype a, qsizetype b) { return less(list.at(a), list.at(b)); };
        if (stable)
            std::stable_sort(order.begin(), order.end(), compare);
        else
            std::sort(order.begin(), order.end(), compare);
    };
    sortBy(&ServiceList::lessByLabel, false);
    switch (m_sortType.load()) {
    case 1:
        sortBy(&ServiceList::lessByEnsembleNumber, true);
        sortBy(&ServiceList::lessByEnsembleLabel, true);
        break;
    case 2:
        sortBy(&ServiceList::lessByType, true);
        break;
    case 3:
        sortBy(&ServiceList::lessByLanguage, true);
        break;
    case 4:
        sortBy(&ServiceList::lessByCountry, true);
        break;
    default:
        break;
    }

    if (!list.isEmpty() && m_sortFavouritesOnly && !hasFavourites) {
        m_sortFavouritesOnly = false;
        servicePersistentStore().setValue(QStringLiteral("sortFavouritesOnly"), false);
    }

    // Walked from the end so that removing keeps the positions still to come.
    QVector<Service *> sorted;
    for (qsizetype i = 0; i < order.size(); ++i)
        sorted << list.at(order.at(i));
    QVector<bool> sortedFavourite;
    for (qsizetype i = 0; i < order.size(); ++i)
        sortedFavourite << favourite.at(order.at(i));
    for (qsizetype i = sorted.size() - 1; i >= 0; --i) {
        Service *service = sorted.at(i);
        const bool passesFilter = !m_sortFavouritesOnly || sortedFavourite.at(i) || service->isRecording();
        const bool isVisible = passesFilter && service->isVisible();
        m_entries << entryOf(service, isVisible, sortedFavourite.at(i));
        if (!isVisible) {
            sorted.removeAt(i);
            service->release();
        }
    }
    m_sortedList = sorted;
}

void ServiceList::setSortType(int type)
{
    if (type == m_sortType)
        return;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::setSortType() -> new sort type: %1").arg(type));
    m_sortType = type;
    servicePersistentStore().setValue(QStringLiteral("sortType"), type);
    m_changes.setDirty(true);
}

void ServiceList::setSortFavouritesOnly(bool favouritesOnly)
{
    if (favouritesOnly == m_sortFavouritesOnly && (!favouritesOnly || m_hasFavourites.load()))
        return;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::setSortFavouritesOnly() -> %1")
                            .arg(favouritesOnly ? QStringLiteral("filtering for favourites") : QStringLiteral("showing all")));
    m_sortFavouritesOnly = favouritesOnly;
    servicePersistentStore().setValue(QStringLiteral("sortFavouritesOnly"), favouritesOnly);
    m_changes.setDirty(true);
}

QVector<ServiceListEntry> ServiceList::entries() const
{
    QReadLocker locker(&m_sortedListLock);
    return m_entries;
}

void ServiceList::withSortedServices(const std::function<void(const QVector<Service *> &)> &visit) const
{
    QReadLocker locker(&m_sortedListLock);
    visit(m_sortedList);
}

QVector<Service *> ServiceList::sortedServices() const
{
    QReadLocker locker(&m_sortedListLock);
    return m_sortedList;
}

Service *ServiceList::neighbour(const Service *from, int step) const
{
    QReadLocker locker(&m_sortedListLock);
    if (m_sortedList.isEmpty())
        return nullptr;
    const qsizetype count = m_sortedList.size();
    const qsizetype at = m_sortedList.indexOf(const_cast<Service *>(from));
    Service *target = at < 0 ? m_sortedList.first() : m_sortedList.at((at + step + count) % count);
    target->retain();
    return target;
}

void ServiceList::release()
{
    QWriteLocker locker(&m_sortedListLock);
    for (Service *service : std::as_const(m_sortedList))
        service->release();
    m_sortedList.clear();
}

} // namespace ZOZ
