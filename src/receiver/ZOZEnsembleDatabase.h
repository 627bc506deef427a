#pragma once

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
class EnsembleDatabase : public QObject
{
    Q_OBJECT

public:
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
    // take new records and read or write the cache. Closing empties it and
    // frees every FIC decoder.
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

    bool loadCache();
    bool saveCache();

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

    mutable QRecursiveMutex m_mutex;
    DabEnsembleMap m_ensembles;
    QList<DabEnsembleCacheEntry> m_excludedServices;
    Counts m_counts;
    bool m_open = false;
    QString m_cacheFolder;
    const Settings *m_settings = nullptr;
    // The time of the ensemble being received (FIG 0/10); the records point here.
    DabDateTime m_dateTime;
};

} // namespace ZOZ
