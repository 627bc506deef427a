#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "ZOZDabUsbPrivate.h"
#include "base/ZOZLog.h"
#include "ZOZRtkLibrary.h"
#include "ZOZUsbDevices.h"

#include <QCoreApplication>
#include <QMutexLocker>

namespace ZOZ {

namespace {

constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr qint64 ScanNextDelayMs = 500;
constexpr qint64 ReopenDelayMs = 1201;
constexpr qint64 TuneDelayMs = 21;
constexpr qint64 RunningIntervalMs = 50;
constexpr qint64 ScanNoFicMs = 1001;
constexpr qint64 ScanChannelMs = 3001;
constexpr qint64 FicLostMs = 2000;
constexpr qint64 LockWaitMs = 1201;
constexpr qint64 StreamSlotTimeoutMs = 2500;
constexpr qint64 PacketSlotTimeoutMs = 30000;
constexpr int MaxScanTuneFailures = 10;
constexpr int FicPieceBytes = 128;
const char *const StickName = "REVEV DAB Stick";

QString errorText(const char *text)
{
    return QCoreApplication::translate("Error", text);
}

} // namespace

// ---- library callbacks (the library's thread) ----

void Receiver::onFicData(const quint8 *data, int length)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    usb->ficTimer.restart();
    const int current = usb->currentIndex.load();
    if (usb->switching.load() || current < 0)
        return;
    QMutexLocker locker(&usb->ensembleMutex);
    auto it = usb->ensembles.find(current);
    if (it == usb->ensembles.end())
        return;
    DabEnsemble *ensemble = it->second.get();
    if (length <= FicPieceBytes) {
        DAB_parseFIBs(ensemble, data, length);
        return;
    }
    int offset = 0;
    for (; offset + FicPieceBytes <= length; offset += FicPieceBytes)
        DAB_parseFIBs(ensemble, data + offset, FicPieceBytes);
    if (offset < length)
        DAB_parseFIBs(ensemble, data + offset, length - offset);
}

void Receiver::onSubchannelData(const quint8 *data, int length, quint8 subChId)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    DabUsbPrivate::SubChannelSlot *slot = nullptr;
    for (auto &candidate : usb->channelSlots) {
        if (candidate.activeId() == subChId) {
            slot = &candidate;
            break;
        }
    }
    if (!slot)
        return;
    slot->dataTimer.restart();
    const int current = usb->currentIndex.load();
    if (current < 0)
        return;
    QMutexLocker locker(&usb->ensembleMutex);
    auto it = usb->ensembles.find(current);
    if (it != usb->ensembles.end())
        DAB_parseMscData(it->second.get(), data, length, subChId);
}

// ---- the tick (the receiver thread) ----

void Receiver::tickDabUsb()
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    runQueuedCommands();
    usb->enabled = !m_settings || m_settings->frontEndMode() == Settings::ModeDab;

    if (!usb->enabled) {
        if (usb->opened || usb->started)
            closeOrDie("Receiver::tickDabUsb()");
        resetSignalInfo();
        return;
    }

    if (usb->state == DabUsbPrivate::Tune || usb->state == DabUsbPrivate::Running) {
        if (usb->requestedIndex >= 0 && usb->requestedIndex != usb->currentIndex.load()) {
            ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::tickDabUsb() -> SWITCHING ensemble!"));
            resetSignalInfo();
            usb->switching = true;
            usb->currentIndex = usb->requestedIndex;
            usb->state = DabUsbPrivate::Tune;
        }
        usb->requestedIndex = -1;
        if (!(usb->opened && usb->started)) {
            usb->stateTimer.restart();
            usb->state = DabUsbPrivate::Reopen;
        }
    }

    switch (usb->state) {
    case DabUsbPrivate::Idle:
        break;
    case DabUsbPrivate::ScanNext:
        if (usb->stateTimer.elapsed() > ScanNextDelayMs)
            rtkScanNext();
        break;
    case DabUsbPrivate::Reopen:
        if (usb->stateTimer.elapsed() < ReopenDelayMs)
            break;
        if (openDevice()) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> (re)opened connection to USB device!"));
            usb->stateTimer.restart();
            usb->state = DabUsbPrivate::Tune;
        } else if (!usb->scanning) {
            usb->stateTimer.restart();
        } else {
            usb->state = DabUsbPrivate::Idle;
            usb->switching = true;
            showMessage(QCoreApplication::translate(
                            "Scan", "<b>Scan on hold</b><br/>Connection to device was lost<br/>Please reinsert the "
                                    "device and click <b>Yes</b> or click <b>No</b> to abort current scan progress."),
                        this, "1rtkScanContinue()", this, "1rtkOnAbortScan()");
        }
        break;
    case DabUsbPrivate::Tune:
        if (usb->stateTimer.elapsed() < TuneDelayMs)
            break;
        if (rtkActivateEnsemble(true)) {
            if (usb->scanning) {
                ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> SCANNING ensembleID: %1")
                                    .arg(usb->currentIndex.load()));
                usb->channelTimer.restart();
            }
            usb->stateTimer.restart();
            usb->state = DabUsbPrivate::Running;
        } else {
            if (!closeOrDie("Receiver::tickDabUsb()"))
                return;
            resetSignalInfo();
            if (usb->scanning && ++usb->tuneFailures > MaxScanTuneFailures) {
                ZOZ_LOG(LogDab | LogFlag::Warning,
                        QStringLiteral("Receiver::tickDabUsb() -> could not tune to ensemble, skipping ensembleID: %1")
                            .arg(usb->currentIndex.load()));
                rtkScanNext();
            } else {
                usb->stateTimer.restart();
            }
        }
        break;
    case DabUsbPrivate::Running:
        if (usb->stateTimer.elapsed() > RunningIntervalMs)
            runningStep();
        break;
    }
}

void Receiver::runningStep()
{
    DabUsbPrivate *usb = m_usb.get();
    auto done = [usb] { usb->stateTimer.restart(); };

    if (usb->scanning) {
        if (usb->ficTimer.elapsed() >= ScanNoFicMs) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> no FIC received in a while, skipping to next ensemble!"));
            rtkScanNext();
        } else if (usb->channelTimer.elapsed() >= ScanChannelMs) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> scanned one ensemble long enough, skipping to next ensemble!"));
            rtkScanNext();
        } else {
            done();
        }
        return;
    }

    if (usb->selectionMutex.tryLock()) {
        if (!usb->selected.isEmpty()) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> user selected new components!"));
            const int ensembleIndex = usb->selected.first().ensembleIndex;
            if (ensembleIndex == usb->currentIndex.load()) {
                for (auto &slot : usb->channelSlots)
                    slot.clearRequest();
            } else {
                usb->switching = true;
                usb->currentIndex = -1;
                usb->requestedIndex = ensembleIndex;
                for (auto &slot : usb->channelSlots)
                    slot.reset();
            }
            for (const DabSelection &selection : usb->selected)
                rtkEnableServiceComponentInternal(selection);
            // The stick takes one packet sub-channel beside a stream one.
            if (usb->channelSlots[0].pending && usb->channelSlots[2].pending)
                usb->channelSlots[2].clearRequest();
            usb->selected.clear();
        }
        usb->selectionMutex.unlock();
        if (usb->requestedIndex >= 0)
            return;
    }

    for (const auto &slot : usb->channelSlots) {
        if (slot.pending) {
            rtkActivateServiceComponents(true);
            done();
            return;
        }
    }

    const auto &stream = usb->channelSlots[0];
    const bool streamTimedOut = stream.isActive() && stream.dataTimer.elapsed() > StreamSlotTimeoutMs;
    const bool packetTimedOut = !stream.isActive()
        && ((usb->channelSlots[1].isActive() && usb->channelSlots[1].dataTimer.elapsed() > PacketSlotTimeoutMs)
            || (usb->channelSlots[2].isActive() && usb->channelSlots[2].dataTimer.elapsed() > PacketSlotTimeoutMs));
    if (streamTimedOut || packetTimedOut) {
        resetSignalInfo();
        for (auto &slot : usb->channelSlots) {
            if (slot.isActive())
                slot.makeActivePending();
        }
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> detected lost connection to USB device, trying to reset (SUBCHANNEL timeout)"));
        closeOrDie("Receiver::tickDabUsb()");
        return;
    }

    if (usb->ficTimer.elapsed() > FicLostMs) {
        resetSignalInfo();
        return;
    }

    if (!usb->locked) {
        int lock = 0;
        if (m_api->getSignalLock(&lock) != RTDAB_RESULT_SUCCESS) {
            if (usb->ficTimer.elapsed() > FicLostMs) {
                ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> something went wrong, reopen device"));
                if (!closeOrDie("Receiver::tickDabUsb()"))
                    return;
                resetSignalInfo();
            }
            done();
            return;
        }
        if (!lock) {
            if (usb->stateTimer.elapsed() < LockWaitMs)
                return;
            if (closeOrDie("Receiver::tickDabUsb()"))
                resetSignalInfo();
            return;
        }
        usb->locked = true;
        usb->ficTimer.restart();
    }

    int value = 0;
    if (m_api->getSignalPresent(&value) == RTDAB_RESULT_SUCCESS)
        m_signalPresent = value != 0;
    if (m_api->getSignalQuality(&value) == RTDAB_RESULT_SUCCESS)
        m_signalQuality = value;
    if (m_api->getSignalStrength(&value) == RTDAB_RESULT_SUCCESS)
        m_signalStrength = value;
    done();
}

bool Receiver::closeOrDie(const char *where)
{
    if (rtkCloseDevice(false))
        return true;
    fatalExit(QStringLiteral("%1 -> fatal error: could not close the USB DAB device, ending the application")
                  .arg(QLatin1String(where)));
    return false;
}

void Receiver::fatalExit(const QString &what)
{
    ZOZ_LOG(LogDab | LogFlag::Error, what);
    QCoreApplication::exit(-1);
}

bool Receiver::rtkActivateEnsemble(bool quiet)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!m_api)
        return false;
    int index = usb->currentIndex.load();
    if (index < 0) {
        ZOZ_LOG(LogDab | LogFlag::Warning,
                QStringLiteral("Receiver::rtkActivateEnsemble() -> warning: no valid ensemble chosen - selecting first valid ensemble.."));
        QMutexLocker locker(&usb->ensembleMutex);
        for (const auto &[key, ensemble] : usb->ensembles) {
            if (ensemble->valid) {
                index = key;
                break;
            }
        }
        if (index < 0) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkActivateEnsemble() -> error: no valid ensemble available!"));
            return false;
        }
    }
    const DabChannel *channel = channelAtIndex(index);
    if (!channel) {
        ZOZ_LOG(LogDab | LogFlag::Error,
                QStringLiteral("Receiver::rtkActivateEnsemble() -> error: ensemble index %1 is on no channel").arg(index));
        return false;
    }
    const QString label = QString::fromLatin1(channel->label);
    usb->locked = false;
    usb->switching = true;
    const int32_t result = m_api->setFreqAndBW(uint32_t(channel->frequency), uint32_t(channel->bandwidth));
    if (result != RTDAB_RESULT_SUCCESS) {
        ZOZ_LOG(LogDab | LogFlag::Error,
                QStringLiteral("Receiver::rtkActivateEnsemble() -> fatal error: could not set frequency of USB DAB tuner! (%1) [frequency: %2, bandwidth: %3, label: '%4']")
                    .arg(rtkResultText(result))
                    .arg(channel->frequency)
                    .arg(channel->bandwidth)
                    .arg(label));
        if (!quiet)
            ZOZ_LOG(LogDab | LogFlag::FatalBox,
                    errorText("Fatal Error: Could not setup the %1!").arg(QLatin1String(StickName)));
        return false;
    }
    ZOZ_LOG(LogDab | (quiet ? 0 : LogFlag::Notice),
            QStringLiteral("Receiver::rtkActivateEnsemble() -> setup of USB DAB tuner successful [frequency: %1, bandwidth: %2, label: '%3']")
                .arg(channel->frequency)
                .arg(channel->bandwidth)
                .arg(label));
    if (!usb->scanning) {
        usb->currentIndex = index;
        storeLastEnsembleSetting(index);
    }
    usb->switching = false;
    usb->ficTimer.restart();
    return true;
}

// ---- opening and closing the stick ----

bool Receiver::rtkOpenDevice(bool quiet)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!m_api)
        return false;
    if (!usb->opened) {
        const int model = m_deviceProbe ? m_deviceProbe() : 0;
        if (model == 0) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: unsupported USB DAB device!"));
            return false;
        }
        m_deviceModel = model;
        const int32_t result = m_api->openDevice();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: could not open USB DAB device! (%1)")
                        .arg(rtkResultText(result)));
            return false;
        }
        ZOZ_LOG(LogDab | (quiet ? 0 : LogFlag::Notice),
                QStringLiteral("Receiver::rtkOpenDevice() -> opened USB DAB device and checked out ok"));
        usb->opened = true;
    }
    if (!usb->started) {
        const int32_t result = startTuner();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: could not start USB DAB tuner! (%1)")
                        .arg(rtkResultText(result)));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox,
                        errorText("Fatal Error: Could not start up the %1!").arg(QLatin1String(StickName)));
            return false;
        }
        usb->started = true;
    }
    return true;
}

bool Receiver::rtkCloseDevice(bool quiet)
{
    DabUsbPrivate *usb = m_usb.get();
    if (!m_api)
        return false;
    if (usb->started) {
        const int32_t result = stopTuner();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkCloseDevice() -> fatal error: could not stop USB DAB tuner! (%1)")
                        .arg(rtkResultText(result)));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox,
                        errorText("Fatal Error: Could not stop the %1!").arg(QLatin1String(StickName)));
            return false;
        }
        usb->started = false;
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkCloseDevice() -> stopped USB DAB tuner"));
    }
    if (!usb->opened)
        return true;
    const int32_t result = m_api->closeDevice();
    if (result == RTDAB_RESULT_SUCCESS) {
        usb->opened = false;
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkCloseDevice() -> closed USB DAB device"));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error,
            QStringLiteral("Receiver::rtkCloseDevice() -> fatal error: could not close USB DAB device! (%1)")
                .arg(rtkResultText(result)));
    if (!quiet)
        ZOZ_LOG(LogDab | LogFlag::FatalBox,
                errorText("Fatal Error: Could not close connection to the %1!").arg(QLatin1String(StickName)));
    return false;
}

bool Receiver::rtkLoad(bool quiet)
{
    if (m_apiGiven) {
        // A library handed in stays; only the callbacks are registered again.
    } else if ((m_usb->started || m_usb->opened) && rtkIsLoaded()) {
        // Never unload a library with an open stick: its delivery thread
        // would be cut off in the middle of a callback.
    } else {
        while (!rtkUnloadLibrary()) {
        }
        if (!rtkLoadLibrary(m_libraryDirectory)) {
            ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkLoad() -> fatal error: could not load up RTK modules!"));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox, errorText("Fatal Error: Could not find RTK*.dll modules!"));
            m_api = nullptr;
            return false;
        }
        m_api = rtkFunctions();
    }
    ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkLoad() -> successfully loaded RTK modules"));

    static const char *const CallbackNames[] = { "FIC callback", "MSC callback", "packetMode callback",
                                                 "streamData callback" };
    const int32_t results[] = {
        m_api->setFICCallBack(&Receiver::ficCallback),
        m_api->setMSCCallBack(&Receiver::mscCallback),
        m_api->setPacketCallBack(&Receiver::packetCallback),
        m_api->setStreamDataCallBack(&Receiver::streamDataCallback),
    };
    for (size_t i = 0; i < std::size(results); ++i) {
        if (results[i] != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkLoad() -> fatal error: could not set %1! (%2)")
                                                 .arg(QLatin1String(CallbackNames[i]), rtkResultText(results[i])));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox, errorText("Fatal Error: Could not setup RTK modules!"));
            return false;
        }
    }
    ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkLoad() -> successfully setup all callbacks"));
    return true;
}

int32_t Receiver::startTuner()
{
    return m_apiGiven ? m_api->start() : rtkStart();
}

int32_t Receiver::stopTuner()
{
    return m_apiGiven ? m_api->stop() : rtkStop();
}

bool Receiver::openDevice()
{
    if (!rtkLoad(false)) {
        fatalExit(QStringLiteral("DabUsbPrivate::openDevice() -> fatal error: the receiver library could not be loaded, ending the application"));
        return false;
    }
    return rtkOpenDevice(true);
}

void Receiver::rtkRequestDevice()
{
    if (QThread::currentThread() == this)
        doRequestDevice();
    else
        enqueue(Command::RequestDevice);
}

void Receiver::doRequestDevice()
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    if (!openDevice()) {
        showMessage(QCoreApplication::translate("Scan", "<b>No device detected</b><br/>Please insert the USB device and try "
                                                        "again.<br/>Aborting will terminate the application."),
                    this, "1rtkRequestDevice()", nullptr, "1closeApp()");
        return;
    }
    if (usb->currentIndex.load() < 0) {
        showMessage(QCoreApplication::translate("Scan", "<b>Scan required</b><br/>The application needs to scan for all "
                                                        "available services.<br/>This procedure could take a few "
                                                        "minutes.<br/><br/>Do you want to continue?"),
                    this, "1rtkScanRestart()", nullptr, "1closeApp()");
        return;
    }
    usb->stateTimer.restart();
    usb->state = DabUsbPrivate::Tune;
}

// ---- the callbacks the library calls ----

void Receiver::ficCallback(uint8_t *data, int length)
{
    if (!data || length < 1)
        return;
    if (Receiver *receiver = s_callbackReceiver.load(std::memory_order_acquire))
        receiver->onFicData(data, length);
}

void Receiver::mscCallback(uint8_t *data, int length, uint8_t subChId)
{
    if (!data || length < 1)
        return;
    if (Receiver *receiver = s_callbackReceiver.load(std::memory_order_acquire))
        receiver->onSubchannelData(data, length, subChId);
}

void Receiver::packetCallback(uint8_t *data, int length, uint32_t, uint8_t subChId)
{
    mscCallback(data, length, subChId);
}

void Receiver::streamDataCallback(uint8_t *, int)
{
}

} // namespace ZOZ
