#pragma once

#include <QMutex>
#include <QRecursiveMutex>
#include <QString>
#include <QThread>

#include "base/ZOZThreadRounds.h"

#include <functional>

namespace ZOZ {

class Service;
class ServiceDirectory;
class ServiceSelection;

// How far an SPI scan is, as the scan dialog shows it. The defaults are
// what it shows while no SPI service is being scanned.
struct SpiScanProgress
{
    int count = 1;         // SPI services of the ensemble
    int current = 0;       // position of the one being scanned
    qint64 estimated = 1;  // seconds its carousel is expected to take
    qint64 taken = 1;      // seconds since its first data
    QString name = QStringLiteral("N/A");
    bool isComplete = true;

    bool operator==(const SpiScanProgress &) const = default;
};

// An SPI scan ("SpiScan" thread): collects the programme information of
// every SPI service of the ensemble that is heard. The receiver takes in
// only a few sub-channels at a time, so beside the selected service it is
// handed one SPI service after the other. The scan stays with each until
// its MOT carousel is complete, or until it made no progress for
// `NoProgressSeconds`, so it never waits for ever on a service that stopped
// or never started sending. A new selected ensemble or a change of its SPI
// list starts the walk again.
//
// Locks: the service-list lock (read), the selection's selected mutex,
// then the walk's mutex, then the selection's scan mutex.
class SpiScan : public QThread
{
public:
    static constexpr unsigned long PassPeriodMs = 1000;
    static constexpr qint64 NoProgressSeconds = 600;
    static constexpr unsigned long StopWaitMs = 2000;

    // Seconds since 1970 UTC; tests install their own.
    using WallClock = std::function<qint64()>;
    static qint64 systemNow();

    // The thread is started by the caller.
    SpiScan(ServiceDirectory &directory, ServiceSelection &selection, WallClock clock = &SpiScan::systemNow);
    // Ends the thread; the scanned service leaves the receiver's selection.
    ~SpiScan() override;

    // One step of the walk; public so that tests drive the clock.
    void pass();
    // Forgets the walk and gives the receiver the selection alone again.
    void reset();
    SpiScanProgress progress() const;

    int index() const;
    int count() const;
    int ensembleNumber() const;

protected:
    void run() override;

private:
    // The caller holds the service-list lock and the walk's mutex.
    void resetWalk(Service *selected);
    void scanEntry(Service *selected, Service *entry, qint64 now);
    bool isDone(Service *scanned, qint64 now);

    ServiceDirectory &m_directory;
    ServiceSelection &m_selection;
    const WallClock m_clock;

    ThreadRounds m_rounds;

    mutable QRecursiveMutex m_mutex;
    int m_index = 0;
    int m_count = 0;
    int m_ensembleNumber = -1;
    // The best progress of the scanned service so far and when it was reached.
    int m_bestProgress = -1;
    qint64 m_progressTime = 0;
};

} // namespace ZOZ
