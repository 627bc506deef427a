#include "ZOZSpiScan.h"

#include "ZOZService.h"
#include "ZOZServiceDirectory.h"
#include "ZOZServiceSelection.h"
#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

#include <QDateTime>
#include <QReadLocker>

#include <algorithm>

namespace ZOZ {

qint64 SpiScan::systemNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

SpiScan::SpiScan(ServiceDirectory &directory, ServiceSelection &selection, WallClock clock)
    : m_directory(directory)
    , m_selection(selection)
    , m_clock(std::move(clock))
{
    reset();
}

SpiScan::~SpiScan()
{
    m_rounds.stop();
    // A pass only reads progress records and hands a list to the receiver,
    // so the thread ends at once; it is never cut off holding a lock.
    if (!wait(StopWaitMs)) {
        ZOZ_LOG(LogSource::ServiceManager | LogFlag::Warning,
                QStringLiteral("SpiScan::~SpiScan() -> the scan thread is late to end"));
        wait();
    }
    reset();
}

void SpiScan::run()
{
    setThreadName("SpiScan");
    while (m_rounds.waitNextRound(PassPeriodMs))
        pass();
}

void SpiScan::reset()
{
    QReadLocker listLocker(&m_directory.lock());
    QMutexLocker locker(&m_mutex);
    resetWalk(m_selection.selectedService());
}

void SpiScan::resetWalk(Service *selected)
{
    m_index = 0;
    m_count = 0;
    m_ensembleNumber = -1;
    m_selection.setSpiScanService(nullptr);
    m_selection.activateServiceComponents(selected);
}

void SpiScan::pass()
{
    const qint64 now = m_clock();
    // The tree keeps the selected service alive while the lock is held.
    QReadLocker listLocker(&m_directory.lock());
    Service *selected = m_selection.selectedService();
    QMutexLocker locker(&m_mutex);
    if (!selected) {
        resetWalk(nullptr);
    } else {
        const int ensemble = Service::ensembleIndexOf(selected->serviceId());
        if (ensemble != m_ensembleNumber) {
            resetWalk(selected);
            m_ensembleNumber = ensemble;
        }
    }
    if (m_ensembleNumber == -1)
        return;

    // An ensemble whose SPI services all vanished counts as an empty list.
    const QVector<Service *> list = m_directory.spiServicesOf(m_ensembleNumber);
    if (list.size() != m_count) {
        m_count = int(list.size());
        m_index = 0;
        scanEntry(selected, list.value(0), now);
    }

    Service *scanned = m_selection.spiScanService();
    if (!scanned)
        return;
    const bool done = isDone(scanned, now);
    scanned->release();
    if (!done)
        return;
    if (m_index + 1 < list.size()) {
        ++m_index;
        scanEntry(selected, list.at(m_index), now);
    } else {
        // The last one is done; the walk waits for a new list or ensemble.
        scanEntry(selected, nullptr, now);
    }
}

void SpiScan::scanEntry(Service *selected, Service *entry, qint64 now)
{
    m_selection.setSpiScanService(entry);
    m_bestProgress = -1;
    m_progressTime = now;
    m_selection.activateServiceComponents(selected);
}

bool SpiScan::isDone(Service *scanned, qint64 now)
{
    const ReceptionState state = *scanned->receptionProgress();
    if (state.complete)
        return true;
    // Sent something once, then nothing arrived for long.
    if (state.startTime != 0 && now - qint64(state.startTime) > NoProgressSeconds && state.progress == 0)
        return true;
    if (int(state.progress) > m_bestProgress) {
        m_bestProgress = state.progress;
        m_progressTime = now;
        return false;
    }
    // No data, or no more of it, since the scan came or since the last rise.
    return now - m_progressTime > NoProgressSeconds;
}

SpiScanProgress SpiScan::progress() const
{
    QMutexLocker locker(&m_mutex);
    SpiScanProgress result;
    if (m_ensembleNumber == -1 || m_count == 0)
        return result;
    Service *scanned = m_selection.spiScanService();
    if (!scanned)
        return result;
    const ReceptionState state = *scanned->receptionProgress();
    result.count = m_count;
    result.current = m_index;
    // Before any data the estimate is still 0; it never goes negative.
    result.estimated = std::max<qint64>(0, qint64(state.estimatedEnd) - qint64(state.startTime));
    result.taken = state.startTime != 0 ? m_clock() - qint64(state.startTime) : 0;
    result.name = scanned->label();
    result.isComplete = state.complete;
    scanned->release();
    return result;
}

int SpiScan::index() const
{
    QMutexLocker locker(&m_mutex);
    return m_index;
}

int SpiScan::count() const
{
    QMutexLocker locker(&m_mutex);
    return m_count;
}

int SpiScan::ensembleNumber() const
{
    QMutexLocker locker(&m_mutex);
    return m_ensembleNumber;
}

} // namespace ZOZ
