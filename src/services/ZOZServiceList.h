#pragma once

#include "ZOZTemplateValue.h"
#include "ZOZTemplateVariable.h"

#include <QReadWriteLock>
#include <QVector>

#include <atomic>

namespace ZOZ {

class Service;
class ServiceChanges;
class ServiceDirectory;
class ServiceSelection;
class Settings;

// The sorted service list the pages show and step through: order,
// favourites filter, the "services" value of the state poll and the rows of
// the selection page. Rebuilt when the services changed.
//
// Lock order: the rows lock, then the sorted-list lock, then the directory's
// service-list lock (and the selection's mutexes after it).
class ServiceList
{
public:
    ServiceList(ServiceChanges &changes, Settings *settings, ServiceDirectory &directory,
                const ServiceSelection &selection);
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

    TemplateValue servicesValue() const;
    // Without references: valid while the caller keeps the list from being rebuilt.
    QVector<Service *> sortedServices() const;
    // The service `step` places after `from` in the list, wrapping; the first
    // when `from` is not listed; null for an empty list. The result carries a
    // reference for the caller.
    Service *neighbour(const Service *from, int step) const;
    TemplateVariable::Rows serviceRows() const;
    TemplateValue serviceRowsValue() const;

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
    const ServiceSelection &m_selection;

    // Set by the pages' threads and the main thread, read by the rebuild.
    std::atomic<bool> m_sortFavouritesOnly { false };
    std::atomic<int> m_sortType { 0 };
    std::atomic<bool> m_hasFavourites { false };

    // Guards `m_sortedList` and `m_servicesValue`. Each entry holds one reference.
    mutable QReadWriteLock m_sortedListLock;
    QVector<Service *> m_sortedList;
    TemplateValue m_servicesValue { QStringLiteral("services"), TemplateValue::List };

    // Guards the page rows; taken before `m_sortedListLock`.
    mutable QReadWriteLock m_rowsLock { QReadWriteLock::Recursive };
    TemplateVariable::Rows m_pageRows;
    TemplateValue m_pageRowsValue { TemplateValue::List };
};

} // namespace ZOZ
