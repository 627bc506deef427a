// The sorted service list: order, favourites filter, the "services" value of
// the server information and the page rows.

#include "ZOZServiceManager.h"

#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"
#include "ZOZServiceStore.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>
#include <numeric>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;

// The selector id of a service and its components share the upper 16 bits.
constexpr quint32 ServiceBitsMask = 0xFFFF0000u;

TemplateValue appsValue(const Service *service)
{
    TemplateValue apps(QStringLiteral("apps"), TemplateValue::List);
    for (const Service *child : service->children()) {
        if (!child)
            continue;
        // A packet-mode application that stops during announcements says so in bit 0.
        const bool stopsInAnnouncement = (child->sourceFlags() & 1u) && child->isPacketMode();
        TemplateValue app;
        app << TemplateValue(QStringLiteral("shortName"), child->shortname())
            << TemplateValue(QStringLiteral("singleViewPath"), child->singleViewPath())
            << TemplateValue(QStringLiteral("requestPath"), child->requestPath())
            << TemplateValue(QStringLiteral("activeInAnnouncement"), !stopsInAnnouncement);
        apps << app;
    }
    return apps;
}

TemplateValue serviceValue(const Service *service, bool isVisible, bool isFavourite)
{
    TemplateValue value;
    value << TemplateValue(QStringLiteral("ID"), int(service->serviceId()))
          << TemplateValue(QStringLiteral("ID_"), uint(quint32(service->serviceId()) & ServiceBitsMask))
          << TemplateValue(QStringLiteral("isAudio"), !service->isData())
          << TemplateValue(QStringLiteral("isVisible"), isVisible)
          << TemplateValue(QStringLiteral("isFavourite"), isFavourite)
          << TemplateValue(QStringLiteral("label"), service->label()) << appsValue(service)
          << TemplateValue(QStringLiteral("announcements"), service->announcements());
    return value;
}

} // namespace

bool ServiceManager::lessByLabel(const Service *a, const Service *b)
{
    return a->label().toLower() < b->label().toLower();
}

bool ServiceManager::lessByEnsembleLabel(const Service *a, const Service *b)
{
    return a->ensembleLabel().toLower() < b->ensembleLabel().toLower();
}

bool ServiceManager::lessByEnsembleNumber(const Service *a, const Service *b)
{
    return Service::ensembleIndexOf(a->serviceId()) < Service::ensembleIndexOf(b->serviceId());
}

bool ServiceManager::lessByType(const Service *a, const Service *b)
{
    return a->programTypeText().toLower() < b->programTypeText().toLower();
}

bool ServiceManager::lessByLanguage(const Service *a, const Service *b)
{
    return a->languageText().toLower() < b->languageText().toLower();
}

bool ServiceManager::lessByCountry(const Service *a, const Service *b)
{
    return a->countryText().toLower() < b->countryText().toLower();
}

void ServiceManager::updateServiceList()
{
    if (!d->serviceListDirty.load())
        return;
    ServiceListState &lists = d->lists;
    QWriteLocker jsonLocker(&lists.serviceListJsonLock);
    // Concurrent callers wait here and find the work done.
    if (!d->serviceListDirty.exchange(false))
        return;
    sortServiceList();

    const quint32 selected = quint32(selectedServiceId()) & ServiceBitsMask;
    lists.pageRows.clear();
    {
        QReadLocker sortedLocker(&lists.sortedListLock);
        for (Service *service : std::as_const(lists.sortedList)) {
            TemplateVariable::Row row;
            row << TemplateVariable(QStringLiteral("selected"), (quint32(service->serviceId()) & ServiceBitsMask) == selected);
            row << service->fillTemplateVariables();
            row << TemplateVariable(QStringLiteral("SECONDARY"), service->siblingTemplateRows());
            lists.pageRows << row;
        }
    }
    lists.pageRowsValue = TemplateVariable::rowsToTemplateValue(lists.pageRows);
    setRefreshCycle(refreshCycle() + 1);
}

void ServiceManager::sortServiceList()
{
    ServiceListState &lists = d->lists;
    QWriteLocker sortedLocker(&lists.sortedListLock);
    for (Service *service : std::as_const(lists.sortedList))
        service->release();
    lists.sortedList.clear();
    lists.servicesValue = TemplateValue(QStringLiteral("services"), TemplateValue::List);

    QReadLocker serviceLocker(&d->serviceListLock);
    QVector<Service *> list;
    for (const QVector<Service *> &services : std::as_const(d->ensembleServices)) {
        for (Service *service : services) {
            if (!service)
                continue;
            service->retain();
            list << service;
        }
    }

    if (d->settings && d->settings->isAutoServiceFixed()) {
        // A fixed service is the only one the listener may choose.
        const quint32 fixedIdentifier = d->settings->autoServiceId();
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
    lists.hasFavourites.store(hasFavourites);

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
    sortBy(&ServiceManager::lessByLabel, false);
    switch (m_sortType.load()) {
    case 1:
        sortBy(&ServiceManager::lessByEnsembleNumber, true);
        sortBy(&ServiceManager::lessByEnsembleLabel, true);
        break;
    case 2:
        sortBy(&ServiceManager::lessByType, true);
        break;
    case 3:
        sortBy(&ServiceManager::lessByLanguage, true);
        break;
    case 4:
        sortBy(&ServiceManager::lessByCountry, true);
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
        lists.servicesValue << serviceValue(service, isVisible, sortedFavourite.at(i));
        if (!isVisible) {
            sorted.removeAt(i);
            service->release();
        }
    }
    lists.sortedList = sorted;
}

void ServiceManager::setSortType(int type)
{
    if (type == m_sortType)
        return;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::setSortType() -> new sort type: %1").arg(type));
    m_sortType = type;
    servicePersistentStore().setValue(QStringLiteral("sortType"), type);
    setDirty(true);
}

void ServiceManager::setSortFavouritesOnly(bool favouritesOnly)
{
    if (favouritesOnly == m_sortFavouritesOnly && (!favouritesOnly || d->lists.hasFavourites.load()))
        return;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::setSortFavouritesOnly() -> %1")
                            .arg(favouritesOnly ? QStringLiteral("filtering for favourites") : QStringLiteral("showing all")));
    m_sortFavouritesOnly = favouritesOnly;
    servicePersistentStore().setValue(QStringLiteral("sortFavouritesOnly"), favouritesOnly);
    setDirty(true);
}

int ServiceManager::sortType() const
{
    return m_sortType;
}

bool ServiceManager::isSortFavouritesOnly() const
{
    return m_sortFavouritesOnly;
}

bool ServiceManager::hasFavourites() const
{
    return d->lists.hasFavourites.load();
}

TemplateValue ServiceManager::servicesValue() const
{
    QReadLocker locker(&d->lists.sortedListLock);
    return d->lists.servicesValue;
}

QVector<Service *> ServiceManager::sortedServices() const
{
    QReadLocker locker(&d->lists.sortedListLock);
    return d->lists.sortedList;
}

TemplateVariable::Rows ServiceManager::serviceRows() const
{
    QReadLocker locker(&d->lists.serviceListJsonLock);
    return d->lists.pageRows;
}

TemplateValue ServiceManager::serviceRowsValue() const
{
    QReadLocker locker(&d->lists.serviceListJsonLock);
    return d->lists.pageRowsValue;
}

void ServiceManager::releaseSortedList()
{
    QWriteLocker locker(&d->lists.sortedListLock);
    for (Service *service : std::as_const(d->lists.sortedList))
        service->release();
    d->lists.sortedList.clear();
}

} // namespace ZOZ
