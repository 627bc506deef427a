#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "ZOZReceiverDABUSB.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>
#include <QMutexLocker>

namespace ZOZ {

void Receiver::publishScanStatus()
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    const EnsembleDatabase::Counts counts = m_database.counts();
    ReceiverStatus status;
    status.published = true;
    status.devicePresent = m_stick.isOpened();
    status.scanning = usb->isScanning();
    status.progress = usb->progress();
    status.currentEnsemble = usb->currentLabel();
    status.numEnsembles = counts.ensembles;
    status.numServices = counts.services;
    {
        QMutexLocker locker(&m_statusMutex);
        m_status = status;
    }
    emit receiverStatusChanged();
}

ReceiverStatus Receiver::receiverStatus() const
{
    QMutexLocker locker(&m_statusMutex);
    return m_status;
}

void Receiver::startScan(bool keepPrevious, bool scanAdditional)
{
    enqueue(Command::ScanStart, (keepPrevious ? ScanKeepPrevious : 0) | (scanAdditional ? ScanAdditional : 0));
}

} // namespace ZOZ
