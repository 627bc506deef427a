#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "ZOZDabUsbPrivate.h"
#include "ZOZLog.h"

#include <QCoreApplication>
#include <QMutexLocker>

namespace ZOZ {

// The channel scan steps through grid 0 (and grid 1 with the additional
// band), making an ensemble record for every channel it tunes to.

void Receiver::rtkScanStart(bool keepPrevious, bool scanAdditional)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    usb->state = DabUsbPrivate::Idle;
    usb->switching = true;
    usb->scanning = true;
    usb->keepPrevious = keepPrevious;
    usb->scanAdditional = scanAdditional;
    usb->currentIndex = -1;
    usb->progress = 0;
    if (!keepPrevious) {
        QMutexLocker locker(&usb->ensembleMutex);
        usb->ensembles.clear();
        usb->excludedServices.clear();
    }
    emit signalScanMode(true);
    usb->stateTimer.restart();
    usb->state = DabUsbPrivate::ScanNext;
}

void Receiver::rtkScanNext()
{
    DabUsbPrivate *usb = m_usb.get();
    usb->state = DabUsbPrivate::Idle;
    usb->switching = true;
    const int current = usb->currentIndex.load();
    const int bandBefore = current < 0 ? 0 : bandOfChannelIndex(current);
    usb->previousIndex = current;

    const int next = current + 1;
    const int channels = channelGridBase(usb->scanAdditional ? 2 : 1);
    usb->progress = channels > 0 ? next * 100 / channels : 100;
    const int bandAfter = bandOfChannelIndex(next);
    const bool goOn = isChannelIndex(next)
        && (bandAfter == bandBefore || (usb->scanAdditional && bandBefore == 0 && bandAfter == 1));
    if (!goOn) {
        usb->currentIndex = -1;
        usb->requestedIndex = -1;
        rtkEndScan();
        if (usb->numEnsembles == 0) {
            showMessage(QCoreApplication::translate(
                            "Scan", "<b>Scan finished</b><br/>The scan is finished but no services<br/>could be "
                                    "found.<br/>Do you want to restart the scan?<br/>(Selecting <b>No</b> will quit "
                                    "the application)"),
                        this, "1rtkScanRestart()", nullptr, "1closeApp()");
        }
        return;
    }

    usb->currentIndex = next;
    const DabChannel *channel = channelAtIndex(next);
    usb->currentLabel = QString::fromLatin1(channel->label);
    usb->countServices(true);
    addEnsembleForChannel(next);
    usb->stateTimer.restart();
    usb->tuneFailures = 0;
    usb->state = DabUsbPrivate::Tune;
}

void Receiver::rtkEndScan()
{
    DabUsbPrivate *usb = m_usb.get();
    usb->state = DabUsbPrivate::Idle;
    usb->switching = true;
    usb->scanning = false;
    usb->countServices(true);
    emit signalScanMode(false);
    usb->stateTimer.restart();
    usb->state = DabUsbPrivate::Tune;
}

void Receiver::addEnsembleForChannel(int index)
{
    DabUsbPrivate *usb = m_usb.get();
    const DabChannel *channel = channelAtIndex(index);
    if (!usb || !channel)
        return;
    auto ensemble = std::make_unique<DabEnsemble>(bandOfChannelIndex(index));
    ensemble->frequency = channel->frequency;
    ensemble->dateTime = &m_dateTime;
    ensemble->resolveChannel();
    QMutexLocker locker(&usb->ensembleMutex);
    auto it = usb->ensembles.find(ensemble->index);
    if (it != usb->ensembles.end() && it->second->gridIndex == ensemble->gridIndex
        && it->second->frequency == ensemble->frequency) {
        it->second->resolveChannel();
        return;
    }
    const int key = ensemble->index;
    usb->ensembles[key] = std::move(ensemble);
}

} // namespace ZOZ
