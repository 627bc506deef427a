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
    usb->scanList.clear();
    if (m_settings) {
        for (const Settings::FrontEndFrequency &entry : m_settings->scanFrequencies()) {
            if (entry.mode == Settings::ModeNone || entry.mode == Settings::ModeDab)
                usb->scanList.append(entry);
        }
    }
    usb->scanPosition = -1;
    publishScanStatus();
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

    int next = -1;
    bool goOn = false;
    if (!usb->scanList.isEmpty()) {
        const int size = usb->scanList.size();
        while (usb->scanPosition < size) {
            ++usb->scanPosition;
            usb->progress = usb->scanPosition * 100 / size;
            if (usb->scanPosition >= size)
                break;
            // An entry that is no channel of the grids is skipped without tuning.
            next = channelIndexOfFrequency(usb->scanList.at(usb->scanPosition).frequency);
            if (next >= 0)
                break;
        }
        goOn = usb->scanPosition < size && next >= 0;
    } else {
        next = current + 1;
        const int channels = channelGridBase(usb->scanAdditional ? 2 : 1);
        usb->progress = channels > 0 ? next * 100 / channels : 100;
        const int bandAfter = bandOfChannelIndex(next);
        goOn = isChannelIndex(next)
            && (bandAfter == bandBefore || (usb->scanAdditional && bandBefore == 0 && bandAfter == 1));
    }
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
        } else {
            ZOZ_LOG(LogSource::ReceiverDab | LogFlag::Notice,
                    QStringLiteral("Receiver::rtkScanNext() -> scan finished: %1 ensembles, %2 services")
                        .arg(usb->numEnsembles)
                        .arg(usb->numServices));
            showNotification(QCoreApplication::translate(
                                 "Scan", "<b>Scan finished</b><br/>The scan is finished and you can now<br/>select a "
                                         "service from the list."),
                             6);
        }
        return;
    }

    usb->currentIndex = next;
    const DabChannel *channel = channelAtIndex(next);
    usb->currentLabel = QString::fromLatin1(channel->label);
    usb->countServices(true);
    publishScanStatus();
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
    publishScanStatus();
    emit signalScanMode(false);
    usb->stateTimer.restart();
    usb->state = DabUsbPrivate::Tune;
}

void Receiver::abortScan()
{
    rtkEndScan();
    if (m_usb->numServices == 0) {
        showMessage(QCoreApplication::translate(
                        "Scan", "<b>Scan aborted</b><br/>The scan was aborted before any valid services could be "
                                "found.<br/>Do you want to restart the scan?<br/>(Selecting <b>No</b> will quit the "
                                "application)"),
                    this, "1rtkScanRestart()", nullptr, "1closeApp()");
    } else {
        showNotification(QCoreApplication::translate(
                             "Scan", "<b>Scan aborted</b><br/>The scan was aborted but some services were "
                                     "found.<br/><br/>You can now select a service from the list<br/>or initiate a "
                                     "<b>Rescan</b> via the right-click context menu."),
                         12);
    }
}

void Receiver::showNotification(const QString &text, int seconds)
{
    if (m_notificationSink)
        m_notificationSink(text, QStringLiteral("info"), seconds);
    else
        ZOZ_LOG(LogSource::ReceiverDab, QStringLiteral("Receiver -> notification: %1").arg(text));
}

void Receiver::publishScanStatus()
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    ReceiverStatus status;
    status.published = true;
    status.devicePresent = usb->opened;
    status.scanning = usb->scanning.load();
    status.progress = usb->progress;
    status.currentEnsemble = usb->currentLabel;
    status.numEnsembles = usb->numEnsembles;
    status.numServices = usb->numServices;
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

int channelIndexOfFrequency(int frequency)
{
    for (int grid = 0; grid < DabChannelGridCount; ++grid) {
        const int position = channelPositionOfFrequency(grid, frequency);
        if (position >= 0)
            return channelGridBase(grid) + position;
    }
    return -1;
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
