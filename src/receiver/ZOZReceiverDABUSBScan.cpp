#include "ZOZReceiverDABUSB.h"

#include "ZOZDabChannels.h"
#include "ZOZEnsembleDatabase.h"
#include "base/ZOZLog.h"
#include "ZOZReceiver.h"

#include <QCoreApplication>

namespace ZOZ {

// The channel scan steps through grid 0 (and grid 1 with the additional
// band), making an ensemble record for every channel it tunes to.

void DabUsbPrivate::rtkScanStart(bool keepPrevious, bool scanAdditional)
{
    m_state = Idle;
    m_switching = true;
    m_scanning = true;
    m_keepPrevious = keepPrevious;
    m_scanAdditional = scanAdditional;
    m_currentIndex = -1;
    m_progress = 0;
    m_scanList.clear();
    if (m_settings) {
        for (const Settings::FrontEndFrequency &entry : m_settings->scanFrequencies()) {
            if (entry.mode == Settings::ModeNone || entry.mode == Settings::ModeDab)
                m_scanList.append(entry);
        }
    }
    m_scanPosition = -1;
    m_receiver.publishScanStatus();
    if (!keepPrevious)
        m_database.clear();
    emit m_receiver.signalScanMode(true);
    m_stateTimer.restart();
    m_state = ScanNext;
}

void DabUsbPrivate::rtkScanNext()
{
    m_state = Idle;
    m_switching = true;
    const int current = m_currentIndex.load();
    const int bandBefore = current < 0 ? 0 : bandOfChannelIndex(current);
    m_previousIndex = current;

    int next = -1;
    bool goOn = false;
    if (!m_scanList.isEmpty()) {
        const int size = m_scanList.size();
        while (m_scanPosition < size) {
            ++m_scanPosition;
            m_progress = m_scanPosition * 100 / size;
            if (m_scanPosition >= size)
                break;
            // An entry that is no channel of the grids is skipped without tuning.
            next = channelIndexOfFrequency(m_scanList.at(m_scanPosition).frequency);
            if (next >= 0)
                break;
        }
        goOn = m_scanPosition < size && next >= 0;
    } else {
        next = current + 1;
        const int channels = channelGridBase(m_scanAdditional ? 2 : 1);
        m_progress = channels > 0 ? next * 100 / channels : 100;
        const int bandAfter = bandOfChannelIndex(next);
        goOn = isChannelIndex(next)
            && (bandAfter == bandBefore || (m_scanAdditional && bandBefore == 0 && bandAfter == 1));
    }
    if (!goOn) {
        m_currentIndex = -1;
        m_requestedIndex = -1;
        rtkEndScan();
        const EnsembleDatabase::Counts counts = m_database.counts();
        if (counts.ensembles == 0) {
            m_receiver.showMessage(QCoreApplication::translate(
                            "Scan", "<b>Scan finished</b><br/>The scan is finished but no services<br/>could be "
                                    "found.<br/>Do you want to restart the scan?<br/>(Selecting <b>No</b> will quit "
                                    "the application)"),
                        &m_receiver, "1rtkScanRestart()", nullptr, "1closeApp()");
        } else {
            ZOZ_LOG(LogSource::ReceiverDab | LogFlag::Notice,
                    QStringLiteral("Receiver::rtkScanNext() -> scan finished: %1 ensembles, %2 services")
                        .arg(counts.ensembles)
                        .arg(counts.services));
            m_receiver.showNotification(QCoreApplication::translate(
                                 "Scan", "<b>Scan finished</b><br/>The scan is finished and you can now<br/>select a "
                                         "service from the list."),
                             6);
        }
        return;
    }

    m_currentIndex = next;
    const DabChannel *channel = channelAtIndex(next);
    m_currentLabel = QString::fromLatin1(channel->label);
    countServices(true);
    m_receiver.publishScanStatus();
    m_database.addEnsembleForChannel(next);
    m_stateTimer.restart();
    m_tuneFailures = 0;
    m_state = Tune;
}

void DabUsbPrivate::rtkEndScan()
{
    m_state = Idle;
    m_switching = true;
    m_scanning = false;
    countServices(true);
    m_receiver.publishScanStatus();
    emit m_receiver.signalScanMode(false);
    m_stateTimer.restart();
    m_state = Tune;
}

void DabUsbPrivate::abortScan()
{
    rtkEndScan();
    if (m_database.counts().services == 0) {
        m_receiver.showMessage(QCoreApplication::translate(
                        "Scan", "<b>Scan aborted</b><br/>The scan was aborted before any valid services could be "
                                "found.<br/>Do you want to restart the scan?<br/>(Selecting <b>No</b> will quit the "
                                "application)"),
                    &m_receiver, "1rtkScanRestart()", nullptr, "1closeApp()");
    } else {
        m_receiver.showNotification(QCoreApplication::translate(
                             "Scan", "<b>Scan aborted</b><br/>The scan was aborted but some services were "
                                     "found.<br/><br/>You can now select a service from the list<br/>or initiate a "
                                     "<b>Rescan</b> via the right-click context menu."),
                         12);
    }
}

void DabUsbPrivate::rtkScanContinue()
{
    m_stateTimer.restart();
    m_state = Reopen;
}

void DabUsbPrivate::countServices(bool dropEmptyCurrent)
{
    m_database.countServices(m_currentIndex.load(), dropEmptyCurrent);
}

} // namespace ZOZ
