#pragma once

#include "ZOZClock.h"
#include "ZOZDabEnsemble.h"

#include <QList>
#include <QMutexLocker>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QVector>

namespace ZOZ {

class Settings;

// The receiver's ensemble database: one record per channel that was tuned,
// keyed by ensemble index, kept up to date by the FIC walk (update) and kept
// in the ensemble cache file so that the program starts without a new scan.
//
// Three threads reach it: the library's thread (FIC intake, holding the lock
// for the whole push and walk), the receiver thread (scan, tune, selection)
// and any reader of a copy (getEnsembles). One recursive mutex, the ensemble
// mutex, guards everything here; it is recursive because the walk saves the
// cache while its caller holds it.
//
// A change found by the walk is written to the cache at most once per
// CacheSaveIntervalMs: every write replaces the whole file and syncs it to the
// disk, and a broadcast whose service data keeps changing (an alternating
// label, a damaged stream) must not turn into a stream of disk writes. What is
// held back is written by the receiver's tick once the interval has passed,
// and at the latest when the database closes.
class EnsembleDatabase : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 CacheSaveIntervalMs = 5000;

    // What countServices found among the valid ensembles.
    struct Counts
    {
        int ensembles = 0;
        int services = 0;
        int audioComponents = 0;
        int dataApplications = 0;
    };
    using Locker = QMutexLocker<QRecursiveMutex>;

    explicit EnsembleDatabase(QObject *parent = nullptr);
    ~EnsembleDatabase() override;

    // Read for the pruning of lost services; may be null.
    void setSettings(const Settings *settings) { m_settings = settings; }
    void setCacheFolder(const QString &folder);
    QString cacheFolder() const
    {
        Locker locker(&m_mutex);
        return m_cacheFolder;
    }

    // The database is open while the receiving side is up: only then does it
    // take new records and read or write the cache. Closing writes a change
    // still held back, then empties the database and frees every FIC decoder.
    void open();
    void close();

    // Holds the ensemble mutex for a caller that works on a record in place
    // (the FIC and MSC intake, the sub-channel activation).
    [[nodiscard]] Locker lock() { return Locker(&m_mutex); }
    // The record of an ensemble index, or null; call with the lock held.
    DabEnsemble *find(int index);

    bool isEmpty();
    // Index of the first ensemble, in index order, with its valid flag set; -1 for none.
    int firstValidIndex();
    // Makes the record of a channel as the scan does, keeping an existing one
    // of the same grid and frequency.
    void addEnsembleForChannel(int index);
    // Forgets every ensemble and every excluded service (a scan from scratch).
    void clear();
    // A copy of every record; the change flags of the records are cleared.
    QVector<DabEnsemble> getEnsembles();

    // Fills the database from the cache. A cache that yields no ensemble
    // (a newer format, an empty or unusable list) counts as no cache: false,
    // so that the start-up asks for a scan.
    bool loadCache();
    // Writes the cache now.
    bool saveCache();
    // Writes a change that was held back once CacheSaveIntervalMs have passed
    // since the last write; called on every tick of the receiver thread.
    void saveCacheIfDue();

    // Whether a service moved to another ensemble and is not to be listed in this one.
    bool isExcludedService(qint32 ensembleId, qint64 serviceId) const;
    // Counts ensembles, services, audio components and data applications.
    // With dropEmptyCurrent, an invalid record of the current ensemble is
    // dropped first and services that two ensembles carry are given to one.
    void countServices(int currentIndex, bool dropEmptyCurrent);
    Counts counts() const;

    // The walk over the FIC decoder of one ensemble after a push; true when
    // the record changed. Call with the lock held when the record is in the map.
    bool updateDatabase(DabEnsemble *ensemble);
    bool finishEnsembleUpdate(DabEnsemble *ensemble, bool &changed);

    DabDateTime &dateTime() { return m_dateTime; }

signals:
    // The records changed; emitted on the thread of the change (mostly the
    // library's thread), with the ensemble mutex held.
    void changed();

private:
    // Of two ensembles that carry one service, keeps it where it was received
    // with fewer errors and remembers the other pair as excluded.
    void removeDuplicateServices(DabEnsemble &current, DabEnsemble &other);
    // Writes the cache for a change of the walk now, or holds it back while
    // the last write is more recent than CacheSaveIntervalMs.
    void requestCacheSave();

    mutable QRecursiveMutex m_mutex;
    DabEnsembleMap m_ensembles;
    QList<DabEnsembleCacheEntry> m_excludedServices;
    Counts m_counts;
    bool m_open = false;
    bool m_cacheSavePending = false;
    Stamp m_lastCacheSave;
    QString m_cacheFolder;
    const Settings *m_settings = nullptr;
    // The time of the ensemble being received (FIG 0/10); the records point here.
    DabDateTime m_dateTime;
};

} // namespace ZOZ
