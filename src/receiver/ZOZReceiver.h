#pragma once

#include "ZOZDabEnsemble.h"
#include "ZOZDabStick.h"
#include "ZOZEnsembleDatabase.h"
#include "ZOZReceiverDABUSB.h"
#include "ZOZRtkLibrary.h"
#include "settings/ZOZSettings.h"
#include "ZOZStreamConsumer.h"
#include "ZOZStreamRouter.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <QVector>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace ZOZ {

class StreamHandler;

// What the pages show of the receiver: the stick and the progress of a scan.
struct ReceiverStatus
{
    bool published = false; // false until the receiver first reported
    bool devicePresent = false;
    bool scanning = false;
    int progress = 0; // percent of the channels scanned
    QString currentEnsemble;
    int numEnsembles = 0;
    int numServices = 0;

    bool operator==(const ReceiverStatus &) const = default;
};

// The receiving side of the program, as one object the rest of the program
// talks to. It is a thread that ticks the tune state machine every 40 ms and
// a façade over the parts that do the work:
//   EnsembleDatabase  the ensembles, services and components, and their cache;
//   StreamRouter      MSC and packet data to the registered stream consumers;
//   DabStick          the receiver library and the stick;
//   DabUsbPrivate     the tune and scan state machine and the library's
//                     callbacks (ZOZReceiverDABUSB), with the sub-channel
//                     slots of the selection (SubChannelSlots).
// The receiver itself keeps the FIC and MSC intake (ZOZReceiverDAB), the
// commands that other threads queue for its thread, and the scan status.
//
// Threads: the main thread (construction, init, slots, ajax, selection), the
// receiver thread (run and every tick) and the library's callback thread.
// Locks, in the order they may be taken: the ensemble mutex (database), the
// handler-map mutex (router), a stream handler's lock, a reference count.
// The selection mutex (slots) is only tried by the tick and taken alone by
// the hand-over; the command queue and the scan status have a lock each that
// is taken alone.
class Receiver : public QThread, public Settings::Listener
{
    Q_OBJECT

public:
    static constexpr int TickIntervalMs = 40;
    // The longest the thread sleeps while nothing is due (the coalesced cache
    // writes are checked at least this often).
    static constexpr qint64 MaxTickWaitMs = 1000;
    static constexpr unsigned long StopWaitMs = 5000;

    // Shows the user a question with a yes and a no answer; each answer calls
    // the named slot ("1slotName()") on its object. A null cancel object
    // stands for the application object. Installed by the service manager.
    using MessageSink = std::function<void(const QString &text, QObject *confirmObject, const char *confirmSlot,
                                           QObject *cancelObject, const char *cancelSlot)>;

    static Receiver *instance();
    static Receiver *existingInstance();
    static void destroyInstance();

    // A receiver of its own; the program uses the singleton. Tests may pass a
    // scripted library and a data folder.
    explicit Receiver(QObject *parent = nullptr);
    ~Receiver() override;

    bool init(Settings *settings);
    void settingChanged(const QVector<int> &changes) override;

    // Everything that needs the receiver library goes through this table; it
    // is loaded on the first opening unless one was given here.
    void setLibrary(const RtkFunctions *functions) { m_stick.setLibrary(functions); }
    void setDataFolder(const QString &folder);
    QString dataFolder() const { return m_database.cacheFolder(); }
    void setMessageSink(MessageSink sink);
    // Shows the user a short notification (text, type "info" or "warning",
    // seconds). Installed by the service manager.
    using NotificationSink = std::function<void(const QString &text, const QString &type, int seconds)>;
    void setNotificationSink(NotificationSink sink) { m_notificationSink = std::move(sink); }
    // Where the receiver library is looked for before the system's paths.
    void setLibraryDirectory(const QString &directory) { m_stick.setLibraryDirectory(directory); }
    // The model code of the first supported stick that is present, 0 for none.
    void setDeviceProbe(std::function<int()> probe) { m_stick.setDeviceProbe(std::move(probe)); }
    int deviceModel() const { return m_stick.deviceModel(); }
    // Takes the bytes of the selected sub-channels (the library's thread,
    // with the ensemble mutex held): ensemble index, sub-channel id, bytes.
    using MscSink = std::function<void(int ensembleIndex, quint8 subChId, const quint8 *data, int length)>;
    void setMscSink(MscSink sink) { m_mscSink = std::move(sink); }

    // Stops the thread cooperatively: the current tick finishes, no new one starts.
    void stop();

    // Commands from any thread; the receiver thread carries them out at its
    // next tick. Tunes to an ensemble: switches while receiving, else tunes
    // from idle (not during a scan).
    void requestEnsemble(int ensembleIndex);

    // Registration of the services that consume a stream, or one packet
    // address of a packet-mode stream (any thread but the library's).
    void attachStreamHandler(StreamConsumer *service) { m_streams.attachStreamHandler(service); }
    void detachStreamHandler(StreamConsumer *service) { m_streams.detachStreamHandler(service); }
    // Appends the handlers of a stream with a reference each; the caller releases them.
    void collectStreamHandlers(int ensembleIndex, int streamId, QVector<StreamHandler *> &out)
    {
        m_streams.collectStreamHandlers(ensembleIndex, streamId, out);
    }

    // FIC and MSC intake (the library's thread, with the ensemble mutex held
    // when the record is in the database).
    bool DAB_parseFIBs(DabEnsemble *ensemble, const quint8 *data, int length);
    bool DAB_parseFIGs(DabEnsemble *ensemble, const quint8 *data, int length);
    void DAB_parseMscData(DabEnsemble *ensemble, const quint8 *data, int length, quint8 subChId);
    bool initDAB();
    void closeDAB();

    // The ensemble database.
    bool updateDatabase(DabEnsemble *ensemble) { return m_database.updateDatabase(ensemble); }
    QVector<DabEnsemble> getEnsembles() { return m_database.getEnsembles(); }
    // Makes the record of a channel as the scan does, keeping an existing one
    // of the same grid and frequency.
    void addEnsembleForChannel(int index);

    // One tick of the state machine (the receiver thread): the queued
    // commands, then the state machine's own step.
    void tickDabUsb();
    // The services whose components the stick is to deliver (any thread); the
    // tick queues and activates their sub-channels.
    void selectServiceComponents(const QVector<StreamConsumer *> &services);
    void rtkSetSelectedComponents(const QVector<DabSelection> &selection);
    // Starts a scan at once (the receiver thread).
    void rtkScanStart(bool keepPrevious, bool scanAdditional);

    // Shows the user a question through the message sink, or logs it.
    void showMessage(const QString &text, QObject *confirmObject, const char *confirmSlot,
                     QObject *cancelObject, const char *cancelSlot);
    // Shows the user a notification through the notification sink, or logs it.
    void showNotification(const QString &text, int seconds, const QString &type = QStringLiteral("info"));

    bool isScanning() const;
    // Starts a channel scan at the next tick: `keepPrevious` keeps the known
    // ensembles, `scanAdditional` adds the second channel grid. A running
    // scan stops with rtkOnAbortScan().
    void startScan(bool keepPrevious, bool scanAdditional);
    // The status of the latest publishScanStatus (any thread).
    ReceiverStatus receiverStatus() const;
    void publishScanStatus();
    bool signalPresent() const { return m_stick.signalPresent(); }
    int signalQuality() const { return m_stick.signalQuality(); }
    int signalStrength() const { return m_stick.signalStrength(); }
    void resetSignalInfo() { m_stick.resetSignalInfo(); }

    // The parts, for tests and for the parts themselves.
    DabUsbPrivate *usb() const { return m_usb.get(); }
    EnsembleDatabase &database() { return m_database; }
    DabStick &stick() { return m_stick; }

signals:
    void dataReady();
    void signalScanMode(bool scanning);
    // receiverStatus() changed (the receiver's thread).
    void receiverStatusChanged();

public slots:
    void rtkRequestDevice();
    void rtkScanRestart();
    void rtkScanContinue();
    void rtkOnAbortScan();

protected:
    void run() override;

private:
    enum class Command { RequestDevice, ScanStart, ScanRestart, ScanContinue, AbortScan, RequestEnsemble };
    // Argument bits of Command::ScanStart.
    static constexpr int ScanKeepPrevious = 1;
    static constexpr int ScanAdditional = 2;
    struct QueuedCommand
    {
        Command command;
        int argument = -1;
    };

    bool initDabUsb();
    void enqueue(Command command, int argument = -1);
    // Sleeps until the state machine's next deadline or a wake-up.
    void waitForTick();
    // Any thread: the next tick runs at once.
    void wakeTick();
    void runQueuedCommands();

    // Declared before the USB part, which refers to them.
    EnsembleDatabase m_database;
    StreamRouter m_streams;
    DabStick m_stick;
    std::unique_ptr<DabUsbPrivate> m_usb;
    Settings *m_settings = nullptr;
    MessageSink m_messageSink;
    NotificationSink m_notificationSink;
    mutable QMutex m_statusMutex;
    ReceiverStatus m_status;
    MscSink m_mscSink;
    std::atomic<bool> m_running { true };

    QMutex m_commandMutex;
    std::deque<QueuedCommand> m_commands;

    QMutex m_wakeMutex;
    QWaitCondition m_wakeCondition;
    bool m_wakeRequested = false;
};

} // namespace ZOZ
