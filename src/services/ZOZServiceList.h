#pragma once

#include "ZOZService.h"

#include <QReadWriteLock>
#include <QVector>

#include <atomic>
#include <functional>

namespace ZOZ {

class ServiceChanges;
class ServiceDirectory;
class Settings;

// One service of the list as the state poll reports it, taken when the list
// was rebuilt. Hidden services are reported too, marked invisible.
struct ServiceListEntry
{
    // A data service of the entry.
    struct Application
    {
        QString shortName;
        QString singleViewPath;
        QString requestPath;
        bool activeInAnnouncement = true;

        bool operator==(const Application &) const = default;
    };

    qint32 serviceId = -1;
    bool isAudio = true;
    bool isVisible = true;
    bool isFavourite = false;
    QString label;
    QVector<Application> applications;
    QVector<Announcement> announcements;

    bool operator==(const ServiceListEntry &) const = default;
};

// The sorted service list the pages show and step through: order,
// favourites filter and the entries of the state poll. Rebuilt when the
// services changed.
//
// Lock order: the rebuild lock, then the sorted-list lock, then the
// directory's service-list lock.
class ServiceList
{
public:
    ServiceList(ServiceChanges &changes, Settings *settings, ServiceDirectory &directory);
    ~ServiceList();

    // The order and filter the user chose in an earlier run.
    void loadOrder();

    // Rebuilds when the list is stale; concurrent callers wait and find it done.
    void update();
    void release();

    int sortType() const { return m_sortType.load(); }
    void setSortType(int type);
    bool isSortFavouritesOnly() const { return m_sortFavouritesOnly.load(); }
    void setSortFavouritesOnly(bool favouritesOnly);
    bool hasFavourites() const { return m_hasFavourites.load(); }

    // Every service of the last rebuild, the sorted list backwards.
    QVector<ServiceListEntry> entries() const;
    // Without references: valid while the caller keeps the list from being rebuilt.
    QVector<Service *> sortedServices() const;
    // Runs `visit` on the sorted list, which is not rebuilt meanwhile.
    void withSortedServices(const std::function<void(const QVector<Service *> &)> &visit) const;
    // The service `step` places after `from` in the list, wrapping; the first
    // when `from` is not listed; null for an empty list. The result carries a
    // reference for the caller.
    Service *neighbour(const Service *from, int step) const;

private:
    void sort();
    static bool lessByLabel(const Service *a, const Service *b);
    static bool lessByEnsembleLabel(const Service *a, const Service *b);
    static bool lessByEnsembleNumber(const Service *a, const Service *b);
    static bool lessByType(const Service *a, const Service *b);
    static bool lessByLanguage(const Service *a, const Service *b);
    static bool lessByCountry(const Service *a, const Service *b);

    ServiceChanges &m_changes;
    Settings *m_settings;
    ServiceDirectory &m_directory;

    // Set by the pages' threads and the main thread, read by the rebuild.
    std::atomic<bool> m_sortFavouritesOnly { false };
    std::atomic<int> m_sortType { 0 };
    std::atomic<bool> m_hasFavourites { false };

    // Guards `m_sortedList` and `m_entries`. Each list item holds one reference.
    mutable QReadWriteLock m_sortedListLock;
    QVector<Service *> m_sortedList;
    QVector<ServiceListEntry> m_entries;

    // Makes concurrent rebuilds wait; taken before `m_sortedListLock`.
    mutable QMutex m_rebuildMutex;
};

} // namespace ZOZ
