#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "ZOZDabUsbPrivate.h"
#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"
#include "ZOZRtkLibrary.h"
#include "ZOZUsbDevices.h"
#include "base/ZOZThreadName.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QSettings>
#include <QTimer>

#include <new>

namespace ZOZ {

namespace {

constexpr quint32 LogReceiver = LogSource::Receiver;
constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr quint32 LogSingletonError = LogSource::Singleton | LogFlag::Error;
constexpr int FirstDataReadyDelayMs = 1000;
const char *const LastEnsembleKey = "DAB/lastEnsemble";

std::atomic<Receiver *> singleton { nullptr };

QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                     QString::fromLatin1(Settings::Application));
}

} // namespace

// ---- slots of the sub-channel slot ----

void DabUsbPrivate::SubChannelSlot::setActiveComponent(const DabServiceComponent &component)
{
    activeComponent = component;
    m_activeId.store(isActive() ? component.subChId : -1, std::memory_order_relaxed);
}

void DabUsbPrivate::SubChannelSlot::clearRequest()
{
    pending = false;
    requestedId = -1;
    requestedAddresses.clear();
}

void DabUsbPrivate::SubChannelSlot::reset()
{
    clearRequest();
    service.reset();
    dataTimer.invalidate();
    setActiveComponent(DabServiceComponent());
    requestedComponent = DabServiceComponent();
    activeAddresses.clear();
}

void DabUsbPrivate::SubChannelSlot::makeActivePending()
{
    requestedId = activeComponent.subChId;
    requestedAddresses = activeAddresses;
    activeAddresses.clear();
    pending = true;
}

DabUsbPrivate::DabUsbPrivate(Receiver *receiver)
    : receiver(receiver)
{
}

DabEnsemble *DabUsbPrivate::currentEnsemble()
{
    auto it = ensembles.find(currentIndex.load());
    return it == ensembles.end() ? nullptr : it->second.get();
}

// ---- the receiver ----

Receiver *Receiver::instance()
{
    if (Receiver *existing = singleton.load()) {
        ZOZ_LOG(LogSingletonError, QStringLiteral("already instantiated!"));
        return existing;
    }
    auto *receiver = new (std::nothrow) Receiver();
    if (!receiver) {
        ZOZ_LOG(LogSingletonError, QStringLiteral("fatal error: out of memory - could not request %1 bytes")
                                       .arg(sizeof(Receiver)));
        ZOZ_LOG(LogSingletonError | LogFlag::FatalBox,
                QCoreApplication::translate("Error", "Fatal Error: Out of memory - could not request %1 bytes")
                    .arg(sizeof(Receiver)));
        QCoreApplication::exit(-1);
        return nullptr;
    }
    singleton = receiver;
    return receiver;
}

Receiver *Receiver::existingInstance()
{
    return singleton.load();
}

void Receiver::destroyInstance()
{
    Receiver *receiver = singleton.exchange(nullptr);
    if (!receiver) {
        ZOZ_LOG(LogSingletonError, QStringLiteral("trying to destroy non-existing object!"));
        return;
    }
    delete receiver;
}

Receiver::Receiver(QObject *parent)
    : QThread(parent)
    , m_dataFolder(ZOZ::dataFolder())
    , m_deviceProbe([] { return usbDeviceSupported(); })
{
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::Receiver()"));
}

Receiver::~Receiver()
{
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::~Receiver()"));
    if (m_settings)
        m_settings->removeListener(this);
    // The thread leaves its loop at the next tick; a tick that hangs in the
    // library is waited for, never cut off, so no lock stays held for ever.
    stop();
    if (!wait(StopWaitMs)) {
        ZOZ_LOG(LogReceiver | LogFlag::Warning,
                QStringLiteral("Receiver::~Receiver() -> warning: thread still in a tick after %1 ms, waiting for it")
                    .arg(StopWaitMs));
        wait();
    }
    closeDAB();
    releaseStreamHandlers();
    if (m_apiGiven)
        return;
    while (!rtkUnloadLibrary()) {
    }
}

bool Receiver::init(Settings *settings)
{
    if (!settings)
        return false;
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::init()"));
    m_settings = settings;
    m_settings->addListener(this);
    return initDAB();
}

void Receiver::settingChanged(const QVector<int> &)
{
}

void Receiver::setLibrary(const RtkFunctions *functions)
{
    m_api = functions;
    m_apiGiven = functions != nullptr;
}

void Receiver::setDataFolder(const QString &folder)
{
    m_dataFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void Receiver::setMessageSink(MessageSink sink)
{
    m_messageSink = std::move(sink);
}

void Receiver::setDeviceProbe(std::function<int()> probe)
{
    m_deviceProbe = std::move(probe);
}

void Receiver::showMessage(const QString &text, QObject *confirmObject, const char *confirmSlot,
                           QObject *cancelObject, const char *cancelSlot)
{
    if (m_messageSink)
        m_messageSink(text, confirmObject, confirmSlot, cancelObject, cancelSlot);
    else
        ZOZ_LOG(LogDab | LogFlag::Warning, QStringLiteral("Receiver -> question left unasked: %1").arg(text));
}

bool Receiver::initDabUsb()
{
    ZOZ_LOG(LogDab, QStringLiteral("Receiver::initDabUsb()"));
    buildSupportedDeviceTable();
    if (!m_usb) {
        m_usb = std::make_unique<DabUsbPrivate>(this);
        publishScanStatus();
    }
    publishUsb();

    m_usb->enabled = !m_settings || m_settings->frontEndMode() == Settings::ModeDab;
    if (!m_usb->enabled)
        return true;

    ZOZ_LOG(LogDab, QStringLiteral("Receiver::initDabUsb() -> usb device requested, activating.."));
    openDevice();

    ZOZ_LOG(LogDab, QStringLiteral("Receiver::initDabUsb() -> checking for previous ensemble database.."));
    if (rtkLoadEnsembleCache()) {
        m_usb->countServices(false);
        publishScanStatus();
        const int lastEnsemble = lastEnsembleSetting();
        if (lastEnsemble >= 0) {
            m_usb->currentIndex = lastEnsemble;
        } else {
            ZOZ_LOG(LogDab | LogFlag::Warning,
                    QStringLiteral("Receiver::init() -> warning: no settings for previous DAB list -> tuning to first ensemble with data"));
            QMutexLocker locker(&m_usb->ensembleMutex);
            for (const auto &[index, ensemble] : m_usb->ensembles) {
                if (ensemble->valid) {
                    m_usb->currentIndex = index;
                    break;
                }
            }
        }
    }
    doRequestDevice();

    bool hasEnsembles = false;
    {
        QMutexLocker locker(&m_usb->ensembleMutex);
        hasEnsembles = !m_usb->ensembles.empty();
    }
    if (hasEnsembles)
        QTimer::singleShot(FirstDataReadyDelayMs, this, [this] { emit dataReady(); });
    return true;
}

void Receiver::publishUsb()
{
    s_callbackReceiver.store(this, std::memory_order_release);
}

void Receiver::unpublishUsb()
{
    Receiver *self = this;
    s_callbackReceiver.compare_exchange_strong(self, nullptr);
}

int Receiver::lastEnsembleSetting() const
{
    bool ok = false;
    const int value = userSettings().value(QLatin1String(LastEnsembleKey), -1).toInt(&ok);
    return ok && isChannelIndex(value) ? value : -1;
}

void Receiver::storeLastEnsembleSetting(int index)
{
    userSettings().setValue(QLatin1String(LastEnsembleKey), index);
}

void Receiver::run()
{
    setThreadName("Receiver");
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::run()"));
    while (m_running.load()) {
        QThread::msleep(TickIntervalMs);
        if (m_running.load())
            tickDabUsb();
    }
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::run() -> leaving main loop (Thread stopping)"));
}

void Receiver::stop()
{
    m_running = false;
}

void Receiver::resetSignalInfo()
{
    m_signalPresent = false;
    m_signalQuality = 0;
    m_signalStrength = 0;
}

bool Receiver::isScanning() const
{
    return m_usb && m_usb->scanning.load();
}

// ---- commands from other threads ----

void Receiver::enqueue(Command command, int argument)
{
    QMutexLocker locker(&m_commandMutex);
    m_commands.push_back({ command, argument });
}

void Receiver::requestEnsemble(int ensembleIndex)
{
    enqueue(Command::RequestEnsemble, ensembleIndex);
}

void Receiver::rtkScanRestart()
{
    enqueue(Command::ScanRestart);
}

void Receiver::rtkScanContinue()
{
    enqueue(Command::ScanContinue);
}

void Receiver::rtkOnAbortScan()
{
    enqueue(Command::AbortScan);
}

void Receiver::runQueuedCommands()
{
    std::deque<QueuedCommand> commands;
    {
        QMutexLocker locker(&m_commandMutex);
        commands.swap(m_commands);
    }
    DabUsbPrivate *usb = m_usb.get();
    for (const QueuedCommand &queued : commands) {
        switch (queued.command) {
        case Command::RequestDevice:
            doRequestDevice();
            break;
        case Command::ScanStart:
            rtkScanStart((queued.argument & ScanKeepPrevious) != 0, (queued.argument & ScanAdditional) != 0);
            break;
        case Command::ScanRestart:
            rtkScanStart(usb->keepPrevious, usb->scanAdditional);
            break;
        case Command::ScanContinue:
            usb->stateTimer.restart();
            usb->state = DabUsbPrivate::Reopen;
            break;
        case Command::AbortScan:
            abortScan();
            break;
        case Command::RequestEnsemble:
            if (!isChannelIndex(queued.argument) || usb->scanning)
                break;
            if (usb->state == DabUsbPrivate::Tune || usb->state == DabUsbPrivate::Running) {
                usb->requestedIndex = queued.argument;
            } else {
                usb->currentIndex = queued.argument;
                usb->stateTimer.restart();
                usb->state = DabUsbPrivate::Tune;
            }
            break;
        }
    }
}

void Receiver::selectServiceComponents(const QVector<StreamConsumer *> &services)
{
    QVector<DabSelection> selection;
    for (StreamConsumer *service : services) {
        if (!service)
            continue;
        const StreamConsumer::Location where = service->streamLocation();
        DabSelection item;
        item.ensembleIndex = where.ensembleIndex;
        item.streamId = where.streamId;
        item.packetMode = where.packetMode;
        item.packetAddress = where.packetMode ? where.packetAddress : StreamConsumer::NoPacketAddress;
        item.service = ConsumerReference(service);
        selection.append(item);
    }
    rtkSetSelectedComponents(selection);
}

void Receiver::rtkSetSelectedComponents(const QVector<DabSelection> &selection)
{
    if (!m_usb || !m_usb->enabled)
        return;
    QMutexLocker locker(&m_usb->selectionMutex);
    m_usb->selected = selection;
}

std::atomic<Receiver *> Receiver::s_callbackReceiver { nullptr };

} // namespace ZOZ
