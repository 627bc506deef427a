#include "ZOZReceiverDABUSB.h"

#include "ZOZDabChannels.h"
#include "ZOZEnsembleDatabase.h"
#include "base/ZOZLog.h"
#include "ZOZReceiver.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>

namespace ZOZ {

namespace {

constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr qint64 ScanNextDelayMs = 500;
// A source problem stays on the page long enough to be read and acted on.
constexpr int SourceProblemNotificationSeconds = 60;
constexpr qint64 ReopenDelayMs = 1201;
constexpr qint64 TuneDelayMs = 21;
constexpr qint64 RunningIntervalMs = 50;
constexpr qint64 ScanNoFicMs = 1001;
constexpr qint64 ScanChannelMs = 3001;
constexpr qint64 FicLostMs = 2000;
constexpr qint64 LockWaitMs = 1201;
// How often the signal figures are read from the stick while nothing else is
// due; the stick's own figures cover more than a second of frames.
constexpr qint64 SignalRefreshMs = 1000;
constexpr int MaxScanTuneFailures = 10;
constexpr int FicPieceBytes = 128;
const char *const StickName = "REVEV DAB Stick";

const char *const LastEnsembleKey = "DAB/lastEnsemble";

// The library's callbacks reach the USB part through this; one at a time.
std::atomic<DabUsbPrivate *> callbackTarget { nullptr };

QString errorText(const char *text)
{
    return QCoreApplication::translate("Error", text);
}

QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                     QString::fromLatin1(Settings::Application));
}

} // namespace

DabUsbPrivate::DabUsbPrivate(Receiver &receiver, EnsembleDatabase &database, DabStick &stick,
                             const Settings *settings)
    : m_receiver(receiver)
    , m_database(database)
    , m_stick(stick)
    , m_settings(settings)
{
}

DabUsbPrivate::~DabUsbPrivate()
{
    unpublish();
}

void DabUsbPrivate::publish()
{
    callbackTarget.store(this, std::memory_order_release);
}

void DabUsbPrivate::unpublish()
{
    DabUsbPrivate *self = this;
    callbackTarget.compare_exchange_strong(self, nullptr);
}

void DabUsbPrivate::updateEnabled()
{
    m_enabled = !m_settings || m_settings->frontEndMode() == Settings::ModeDab;
}

// ---- library callbacks (the library's thread) ----

void DabUsbPrivate::onFicData(const quint8 *data, int length)
{
    m_ficTimer.restart();
    const int current = m_currentIndex.load();
    if (m_switching.load() || current < 0)
        return;
    const auto locker = m_database.lock();
    DabEnsemble *ensemble = m_database.find(current);
    if (!ensemble)
        return;
    if (length <= FicPieceBytes) {
        m_receiver.DAB_parseFIBs(ensemble, data, length);
        return;
    }
    int offset = 0;
    for (; offset + FicPieceBytes <= length; offset += FicPieceBytes)
        m_receiver.DAB_parseFIBs(ensemble, data + offset, FicPieceBytes);
    if (offset < length)
        m_receiver.DAB_parseFIBs(ensemble, data + offset, length - offset);
}

void DabUsbPrivate::onSubchannelData(const quint8 *data, int length, quint8 subChId)
{
    if (!m_slots.noteData(subChId))
        return;
    const int current = m_currentIndex.load();
    if (current < 0)
        return;
    const auto locker = m_database.lock();
    if (DabEnsemble *ensemble = m_database.find(current))
        m_receiver.DAB_parseMscData(ensemble, data, length, subChId);
}

// ---- the tick (the receiver thread) ----

void DabUsbPrivate::tickDabUsb()
{
    updateEnabled();
    reportSourceProblem();

    if (!m_enabled) {
        if (m_stick.isOpened() || m_stick.isStarted())
            closeOrDie("Receiver::tickDabUsb()");
        m_stick.resetSignalInfo();
        return;
    }

    if (m_state == Tune || m_state == Running) {
        if (m_requestedIndex >= 0 && m_requestedIndex != m_currentIndex.load()) {
            ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::tickDabUsb() -> SWITCHING ensemble!"));
            m_stick.resetSignalInfo();
            m_switching = true;
            m_currentIndex = m_requestedIndex;
            m_state = Tune;
        }
        m_requestedIndex = -1;
        if (!(m_stick.isOpened() && m_stick.isStarted())) {
            m_stateTimer.restart();
            m_state = Reopen;
        }
    }

    switch (m_state) {
    case Idle:
        break;
    case ScanNext:
        if (m_stateTimer.elapsed() > ScanNextDelayMs)
            rtkScanNext();
        break;
    case Reopen:
        if (m_stateTimer.elapsed() < ReopenDelayMs)
            break;
        if (openDevice()) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> (re)opened connection to USB device!"));
            m_stateTimer.restart();
            m_state = Tune;
        } else if (!m_scanning) {
            m_stateTimer.restart();
        } else {
            m_state = Idle;
            m_switching = true;
            m_receiver.showMessage(QCoreApplication::translate(
                            "Scan", "<b>Scan on hold</b><br/>Connection to device was lost<br/>Please reinsert the "
                                    "device and click <b>Yes</b> or click <b>No</b> to abort current scan progress."),
                        &m_receiver, "1rtkScanContinue()", &m_receiver, "1rtkOnAbortScan()");
        }
        break;
    case Tune:
        if (m_stateTimer.elapsed() < TuneDelayMs)
            break;
        if (rtkActivateEnsemble(true)) {
            if (m_scanning) {
                ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> SCANNING ensembleID: %1")
                                    .arg(m_currentIndex.load()));
                m_channelTimer.restart();
            }
            m_stateTimer.restart();
            m_state = Running;
        } else {
            if (!closeOrDie("Receiver::tickDabUsb()"))
                return;
            m_stick.resetSignalInfo();
            if (m_scanning && ++m_tuneFailures > MaxScanTuneFailures) {
                ZOZ_LOG(LogDab | LogFlag::Warning,
                        QStringLiteral("Receiver::tickDabUsb() -> could not tune to ensemble, skipping ensembleID: %1")
                            .arg(m_currentIndex.load()));
                rtkScanNext();
            } else {
                m_stateTimer.restart();
            }
        }
        break;
    case Running:
        if (m_stateTimer.elapsed() > RunningIntervalMs)
            runningStep();
        break;
    }
}

qint64 DabUsbPrivate::msUntilNextTick(qint64 tickMs) const
{
    const auto until = [](const auto &timer, qint64 delayMs) {
        const qint64 elapsed = timer.elapsed();
        return elapsed > delayMs ? 0 : delayMs + 1 - elapsed;
    };
    if (!m_enabled.load())
        return (m_stick.isOpened() || m_stick.isStarted()) ? tickMs : SignalRefreshMs;
    if ((m_state == Tune || m_state == Running) && (m_requestedIndex >= 0 || !(m_stick.isOpened() && m_stick.isStarted())))
        return tickMs;
    switch (m_state) {
    case Idle:
        return SignalRefreshMs;
    case ScanNext:
        return until(m_stateTimer, ScanNextDelayMs);
    case Reopen:
        return until(m_stateTimer, ReopenDelayMs - 1);
    case Tune:
        return until(m_stateTimer, TuneDelayMs - 1);
    case Running:
        break;
    }
    // While scanning, waiting for the lock or activating sub-channels the
    // stick is asked at every tick.
    if (m_scanning.load() || !m_locked || m_slots.anyPending() || m_ficTimer.elapsed() > FicLostMs)
        return tickMs;
    // Steady reception: the next reading of the signal figures, or the first
    // moment the FIC or the sub-channel data would count as lost.
    const qint64 next = std::min({SignalRefreshMs, until(m_ficTimer, FicLostMs), m_slots.msUntilTimeout()});
    return std::max(next, RunningIntervalMs + 1 - std::min(m_stateTimer.elapsed(), RunningIntervalMs + 1));
}

void DabUsbPrivate::runningStep()
{
    auto done = [this] { m_stateTimer.restart(); };

    if (m_scanning) {
        if (m_ficTimer.elapsed() >= ScanNoFicMs) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> no FIC received in a while, skipping to next ensemble!"));
            rtkScanNext();
        } else if (m_channelTimer.elapsed() >= ScanChannelMs) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> scanned one ensemble long enough, skipping to next ensemble!"));
            rtkScanNext();
        } else {
            done();
        }
        return;
    }

    QVector<DabSelection> selection;
    if (m_slots.takeSelection(selection)) {
        if (!selection.isEmpty()) {
            ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> user selected new components!"));
            const int ensembleIndex = selection.first().ensembleIndex;
            if (ensembleIndex == m_currentIndex.load()) {
                m_slots.queueSelection(selection, SubChannelSlots::QueueMode::KeepActive);
            } else {
                m_switching = true;
                m_currentIndex = -1;
                m_requestedIndex = ensembleIndex;
                m_slots.queueSelection(selection, SubChannelSlots::QueueMode::Reset);
            }
        }
        if (m_requestedIndex >= 0)
            return;
    }

    if (m_slots.anyPending()) {
        m_slots.rtkActivateServiceComponents(m_database, m_currentIndex.load(), m_stick, true);
        done();
        return;
    }

    if (m_slots.hasTimedOut()) {
        m_stick.resetSignalInfo();
        m_slots.requeueActive();
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> detected lost connection to USB device, trying to reset (SUBCHANNEL timeout)"));
        closeOrDie("Receiver::tickDabUsb()");
        return;
    }

    if (m_ficTimer.elapsed() > FicLostMs) {
        m_stick.resetSignalInfo();
        return;
    }

    if (!m_locked) {
        int lock = 0;
        if (m_stick.signalLock(&lock) != RTDAB_RESULT_SUCCESS) {
            if (m_ficTimer.elapsed() > FicLostMs) {
                ZOZ_LOG(LogDab, QStringLiteral("Receiver::tickDabUsb() -> something went wrong, reopen device"));
                if (!closeOrDie("Receiver::tickDabUsb()"))
                    return;
                m_stick.resetSignalInfo();
            }
            done();
            return;
        }
        if (!lock) {
            if (m_stateTimer.elapsed() < LockWaitMs)
                return;
            if (closeOrDie("Receiver::tickDabUsb()"))
                m_stick.resetSignalInfo();
            return;
        }
        m_locked = true;
        m_ficTimer.restart();
    }

    m_stick.readSignalValues();
    done();
}

bool DabUsbPrivate::closeOrDie(const char *where)
{
    if (m_stick.rtkCloseDevice(false))
        return true;
    fatalExit(QStringLiteral("%1 -> fatal error: could not close the USB DAB device, ending the application")
                  .arg(QLatin1String(where)));
    return false;
}

void DabUsbPrivate::fatalExit(const QString &what)
{
    ZOZ_LOG(LogDab | LogFlag::Error, what);
    QCoreApplication::exit(-1);
}

bool DabUsbPrivate::rtkActivateEnsemble(bool quiet)
{
    if (!m_stick.hasLibrary())
        return false;
    int index = m_currentIndex.load();
    if (index < 0) {
        ZOZ_LOG(LogDab | LogFlag::Warning,
                QStringLiteral("Receiver::rtkActivateEnsemble() -> warning: no valid ensemble chosen - selecting first valid ensemble.."));
        index = m_database.firstValidIndex();
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
    m_locked = false;
    m_switching = true;
    const int32_t result = m_stick.setFrequency(quint32(channel->frequency), quint32(channel->bandwidth));
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
    if (!m_scanning) {
        m_currentIndex = index;
        userSettings().setValue(QLatin1String(LastEnsembleKey), index);
    }
    m_switching = false;
    m_ficTimer.restart();
    return true;
}

// ---- opening the stick ----

bool DabUsbPrivate::openDevice()
{
    const DabStick::Callbacks callbacks { &DabUsbPrivate::ficCallback, &DabUsbPrivate::mscCallback,
                                          &DabUsbPrivate::packetCallback, &DabUsbPrivate::streamDataCallback };
    if (!m_stick.rtkLoad(false, callbacks)) {
        fatalExit(QStringLiteral("DabUsbPrivate::openDevice() -> fatal error: the receiver library could not be loaded, ending the application"));
        return false;
    }
    return m_stick.rtkOpenDevice(true);
}

bool DabUsbPrivate::reportSourceProblem()
{
    const QString problem = m_stick.takeSourceProblem();
    if (problem.isEmpty())
        return false;
    ZOZ_LOG(LogDab | LogFlag::ConsoleLine | LogFlag::Error, QStringLiteral("ZOZ: %1").arg(problem));
    m_receiver.showNotification(problem.toHtmlEscaped(), SourceProblemNotificationSeconds, QStringLiteral("error"));
    return true;
}

void DabUsbPrivate::rtkRequestDevice()
{
    if (!openDevice()) {
        reportSourceProblem();
        if (!m_stick.sourceProblem().isEmpty()) {
            m_receiver.showMessage(QCoreApplication::translate("Scan", "<b>Receiver source not usable</b><br/>%1<br/>Correct "
                                                                       "RTKDAB_SOURCE and try again.<br/>Aborting will "
                                                                       "terminate the application.")
                                       .arg(m_stick.sourceProblem().toHtmlEscaped()),
                                   &m_receiver, "1rtkRequestDevice()", nullptr, "1closeApp()");
            return;
        }
        if (qEnvironmentVariableIsEmpty("RTKDAB_SOURCE"))
            ZOZ_LOG(LogDab | LogFlag::ConsoleLine,
                    QStringLiteral("ZOZ: no DAB stick found and RTKDAB_SOURCE is not set (see zoz -h)"));
        m_receiver.showMessage(QCoreApplication::translate("Scan", "<b>No device detected</b><br/>Please insert the USB device and try "
                                                        "again.<br/>Aborting will terminate the application."),
                    &m_receiver, "1rtkRequestDevice()", nullptr, "1closeApp()");
        return;
    }
    if (m_currentIndex.load() < 0) {
        m_receiver.showMessage(QCoreApplication::translate("Scan", "<b>Scan required</b><br/>The application needs to scan for all "
                                                        "available services.<br/>This procedure could take a few "
                                                        "minutes.<br/><br/>Do you want to continue?"),
                    &m_receiver, "1rtkScanRestart()", nullptr, "1closeApp()");
        return;
    }
    m_stateTimer.restart();
    m_state = Tune;
}

void DabUsbPrivate::resumeLastEnsemble()
{
    bool ok = false;
    const int lastEnsemble = userSettings().value(QLatin1String(LastEnsembleKey), -1).toInt(&ok);
    if (ok && isChannelIndex(lastEnsemble)) {
        m_currentIndex = lastEnsemble;
        return;
    }
    ZOZ_LOG(LogDab | LogFlag::Warning,
            QStringLiteral("Receiver::init() -> warning: no settings for previous DAB list -> tuning to first ensemble with data"));
    const int first = m_database.firstValidIndex();
    if (first >= 0)
        m_currentIndex = first;
}

// ---- commands, carried out at the next tick ----

void DabUsbPrivate::requestEnsemble(int ensembleIndex)
{
    if (!isChannelIndex(ensembleIndex) || m_scanning)
        return;
    if (m_state == Tune || m_state == Running) {
        m_requestedIndex = ensembleIndex;
    } else {
        m_currentIndex = ensembleIndex;
        m_stateTimer.restart();
        m_state = Tune;
    }
}

void DabUsbPrivate::rtkSetSelectedComponents(const QVector<DabSelection> &selection)
{
    if (m_enabled)
        m_slots.handOver(selection);
}

// ---- the callbacks the library calls ----

void DabUsbPrivate::ficCallback(uint8_t *data, int length)
{
    if (!data || length < 1)
        return;
    if (DabUsbPrivate *usb = callbackTarget.load(std::memory_order_acquire))
        usb->onFicData(data, length);
}

void DabUsbPrivate::mscCallback(uint8_t *data, int length, uint8_t subChId)
{
    if (!data || length < 1)
        return;
    if (DabUsbPrivate *usb = callbackTarget.load(std::memory_order_acquire))
        usb->onSubchannelData(data, length, subChId);
}

void DabUsbPrivate::packetCallback(uint8_t *data, int length, uint32_t, uint8_t subChId)
{
    mscCallback(data, length, subChId);
}

void DabUsbPrivate::streamDataCallback(uint8_t *, int)
{
}

} // namespace ZOZ
