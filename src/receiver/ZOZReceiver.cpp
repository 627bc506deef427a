#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"
#include "ZOZUsbDevices.h"
#include "base/ZOZThreadName.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>

#include <new>

namespace ZOZ {

namespace {

constexpr quint32 LogReceiver = LogSource::Receiver;
constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr quint32 LogSingletonError = LogSource::Singleton | LogFlag::Error;
constexpr int FirstDataReadyDelayMs = 1000;

std::atomic<Receiver *> singleton { nullptr };

} // namespace

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
{
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::Receiver()"));
    m_database.setCacheFolder(ZOZ::dataFolder());
    m_stick.setDeviceProbe([] { return usbDeviceSupported(); });
    // Emitted where the walk runs, mostly on the library's thread; the
    // service manager gets it queued. A scan reports once, at its end.
    connect(&m_database, &EnsembleDatabase::changed, this, [this] {
        if (!isScanning())
            emit dataReady();
    }, Qt::DirectConnection);
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
    m_streams.releaseStreamHandlers();
    m_stick.unloadLibrary();
}

bool Receiver::init(Settings *settings)
{
    if (!settings)
        return false;
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::init()"));
    m_settings = settings;
    m_settings->addListener(this);
    m_database.setSettings(settings);
    return initDAB();
}

void Receiver::settingChanged(const QVector<int> &)
{
}

void Receiver::setDataFolder(const QString &folder)
{
    m_database.setCacheFolder(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void Receiver::setMessageSink(MessageSink sink)
{
    m_messageSink = std::move(sink);
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
        m_usb = std::make_unique<DabUsbPrivate>(*this, m_database, m_stick, m_settings);
        m_database.open();
        publishScanStatus();
    }
    m_usb->publish();

    m_usb->updateEnabled();
    if (!m_usb->isEnabled())
        return true;

    ZOZ_LOG(LogDab, QStringLiteral("Receiver::initDabUsb() -> usb device requested, activating.."));
    m_usb->openDevice();

    ZOZ_LOG(LogDab, QStringLiteral("Receiver::initDabUsb() -> checking for previous ensemble database.."));
    if (m_database.loadCache()) {
        m_database.countServices(m_usb->currentIndex(), false);
        publishScanStatus();
        m_usb->resumeLastEnsemble();
    }
    m_usb->rtkRequestDevice();

    if (!m_database.isEmpty())
        QTimer::singleShot(FirstDataReadyDelayMs, this, [this] { emit dataReady(); });
    return true;
}

void Receiver::run()
{
    setThreadName("Receiver");
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::run()"));
    while (m_running.load()) {
        waitForTick();
        if (m_running.load())
            tickDabUsb();
    }
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::run() -> leaving main loop (Thread stopping)"));
}

// The tick runs when it has something to do: at the next deadline of the
// state machine, or at once when another thread queued a command or a
// selection. A clock driven by hand can jump at any moment, so with one
// installed the thread keeps the plain cadence.
void Receiver::waitForTick()
{
    qint64 waitMs = TickIntervalMs;
    if (m_usb && !Clock::isManual())
        waitMs = std::clamp<qint64>(m_usb->msUntilNextTick(TickIntervalMs), 1, MaxTickWaitMs);
    QMutexLocker locker(&m_wakeMutex);
    if (!m_wakeRequested && m_running.load())
        m_wakeCondition.wait(&m_wakeMutex, QDeadlineTimer(waitMs));
    m_wakeRequested = false;
}

void Receiver::wakeTick()
{
    QMutexLocker locker(&m_wakeMutex);
    m_wakeRequested = true;
    m_wakeCondition.wakeAll();
}

void Receiver::stop()
{
    m_running = false;
    wakeTick();
}

bool Receiver::isScanning() const
{
    return m_usb && m_usb->isScanning();
}

// ---- commands from other threads ----

void Receiver::enqueue(Command command, int argument)
{
    {
        QMutexLocker locker(&m_commandMutex);
        m_commands.push_back({ command, argument });
    }
    wakeTick();
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
            usb->rtkRequestDevice();
            break;
        case Command::ScanStart:
            usb->rtkScanStart((queued.argument & ScanKeepPrevious) != 0, (queued.argument & ScanAdditional) != 0);
            break;
        case Command::ScanRestart:
            usb->rtkScanStart(usb->keepPrevious(), usb->scanAdditional());
            break;
        case Command::ScanContinue:
            usb->rtkScanContinue();
            break;
        case Command::AbortScan:
            usb->abortScan();
            break;
        case Command::RequestEnsemble:
            usb->requestEnsemble(queued.argument);
            break;
        }
    }
}

void Receiver::tickDabUsb()
{
    if (!m_usb)
        return;
    runQueuedCommands();
    m_usb->tickDabUsb();
    m_database.saveCacheIfDue();
}

void Receiver::rtkRequestDevice()
{
    if (QThread::currentThread() == this) {
        if (m_usb)
            m_usb->rtkRequestDevice();
    } else {
        enqueue(Command::RequestDevice);
    }
}

void Receiver::rtkScanStart(bool keepPrevious, bool scanAdditional)
{
    if (m_usb)
        m_usb->rtkScanStart(keepPrevious, scanAdditional);
    wakeTick();
}

void Receiver::addEnsembleForChannel(int index)
{
    // The database takes records only while the receiving side is up.
    m_database.addEnsembleForChannel(index);
}

void Receiver::showNotification(const QString &text, int seconds, const QString &type)
{
    if (m_notificationSink)
        m_notificationSink(text, type, seconds);
    else
        ZOZ_LOG(LogDab, QStringLiteral("Receiver -> notification: %1").arg(text));
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
    if (m_usb)
        m_usb->rtkSetSelectedComponents(selection);
    wakeTick();
}

} // namespace ZOZ
