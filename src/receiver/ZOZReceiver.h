#pragma once

#include "ZOZDabEnsemble.h"
#include "ZOZDabUsbPrivate.h"
#include "ZOZRtkLibrary.h"
#include "ZOZSettings.h"
#include "ZOZStreamConsumer.h"

#include <QMap>
#include <QMutex>
#include <QThread>
#include <QVector>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace ZOZ {

struct DabSelection;
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
};

// The receiving side of the program: the receiver library, the stick, the tune
// state machine and the ensemble database. Its thread ticks the state machine
// every 40 ms; the library delivers FIC and sub-channel bytes on a thread of
// its own; other threads talk to it through queued commands.
class Receiver : public QThread, public Settings::Listener
{
    Q_OBJECT

public:
    static constexpr int TickIntervalMs = 40;
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
    void setLibrary(const RtkFunctions *functions);
    void setDataFolder(const QString &folder);
    QString dataFolder() const { return m_dataFolder; }
    void setMessageSink(MessageSink sink);
    // Shows the user a short notification (text, type "info" or "warning",
    // seconds). Installed by the service manager.
    using NotificationSink = std::function<void(const QString &text, const QString &type, int seconds)>;
    void setNotificationSink(NotificationSink sink) { m_notificationSink = std::move(sink); }
    // Where the receiver library is looked for before the system's paths.
    void setLibraryDirectory(const QString &directory) { m_libraryDirectory = directory; }
    // The model code of the first supported stick that is present, 0 for none.
    void setDeviceProbe(std::function<int()> probe);
    int deviceModel() const { return m_deviceModel; }
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
    void attachStreamHandler(StreamConsumer *service);
    void detachStreamHandler(StreamConsumer *service);
    // Appends the handlers of a stream with a reference each; the caller releases them.
    void collectStreamHandlers(int ensembleIndex, int streamId, QVector<StreamHandler *> &out);
    // Feeds one sub-channel piece to the handlers of its stream.
    void __DAB_parseSubchannel(QVector<StreamHandler *> &handlers, const quint8 *data, int *length);
    // The packet-mode decoder's data-group callback.
    static int packetModeDataCallback(uint8_t *buffer, uint32_t length, uint32_t tag);

    // FIC and MSC intake (the library's thread).
    bool DAB_parseFIBs(DabEnsemble *ensemble, const quint8 *data, int length);
    bool DAB_parseFIGs(DabEnsemble *ensemble, const quint8 *data, int length);
    void DAB_parseMscData(DabEnsemble *ensemble, const quint8 *data, int length, quint8 subChId);
    bool initDAB();
    void closeDAB();

    // The ensemble database.
    bool updateDatabase(DabEnsemble *ensemble);
    bool finishEnsembleUpdate(DabEnsemble *ensemble, bool &changed);
    QVector<DabEnsemble> getEnsembles();
    bool rtkLoadEnsembleCache();
    bool rtkSaveEnsembleCache();
    DabDateTime &dateTime() { return m_dateTime; }

    // The state machine (the receiver thread).
    void tickDabUsb();
    bool rtkActivateEnsemble(bool quiet);
    bool rtkOpenDevice(bool quiet);
    bool rtkCloseDevice(bool quiet);
    bool rtkLoad(bool quiet);
    bool openDevice();
    // The services whose components the stick is to deliver (any thread); the
    // tick queues and activates their sub-channels.
    void selectServiceComponents(const QVector<StreamConsumer *> &services);
    void rtkSetSelectedComponents(const QVector<DabSelection> &selection);

    // Callback bodies (the library's thread).
    void onFicData(const quint8 *data, int length);
    void onSubchannelData(const quint8 *data, int length, quint8 subChId);

    void rtkScanStart(bool keepPrevious, bool scanAdditional);
    // Makes the record of a channel as the scan does, keeping an existing one
    // of the same grid and frequency.
    void addEnsembleForChannel(int index);
    bool rtkActivateServiceComponent(const DabServiceComponent &component, quint16 address);
    bool rtkRemoveServiceComponent(const DabServiceComponent &component, quint16 address);

    bool isScanning() const;
    // Starts a channel scan at the next tick: `keepPrevious` keeps the known
    // ensembles, `scanAdditional` adds the second channel grid. A running
    // scan stops with rtkOnAbortScan().
    void startScan(bool keepPrevious, bool scanAdditional);
    // The status of the latest publishScanStatus (any thread).
    ReceiverStatus receiverStatus() const;
    void publishScanStatus();
    bool signalPresent() const { return m_signalPresent.load(); }
    int signalQuality() const { return m_signalQuality.load(); }
    int signalStrength() const { return m_signalStrength.load(); }
    void resetSignalInfo();

    DabUsbPrivate *usb() const { return m_usb.get(); }

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

    static void ficCallback(uint8_t *data, int length);
    static void mscCallback(uint8_t *data, int length, uint8_t subChId);
    static void packetCallback(uint8_t *data, int length, uint32_t ignored, uint8_t subChId);
    static void streamDataCallback(uint8_t *data, int length);
    void activatePacketSlot(DabUsbPrivate::SubChannelSlot &slot);
    // Start and stop go through the binding, which must know whether the
    // tuner runs before it may unload the library.
    int32_t startTuner();
    int32_t stopTuner();
    void publishUsb();
    void unpublishUsb();

    bool initDabUsb();
    void enqueue(Command command, int argument = -1);
    void runQueuedCommands();
    void doRequestDevice();
    void runningStep();
    bool closeOrDie(const char *what);
    void fatalExit(const QString &what);
    void showMessage(const QString &text, QObject *confirmObject, const char *confirmSlot,
                     QObject *cancelObject, const char *cancelSlot);
    int lastEnsembleSetting() const;
    void storeLastEnsembleSetting(int index);
    void rtkScanNext();
    void rtkEndScan();
    void abortScan();
    void showNotification(const QString &text, int seconds);
    void rtkActivateServiceComponents(bool quiet);
    void rtkEnableServiceComponentInternal(const DabSelection &selection);
    void releaseStreamHandlers();

    std::unique_ptr<DabUsbPrivate> m_usb;
    Settings *m_settings = nullptr;
    const RtkFunctions *m_api = nullptr;
    bool m_apiGiven = false;
    QString m_dataFolder;
    QString m_libraryDirectory;
    MessageSink m_messageSink;
    NotificationSink m_notificationSink;
    mutable QMutex m_statusMutex;
    ReceiverStatus m_status;
    MscSink m_mscSink;
    std::function<int()> m_deviceProbe;
    int m_deviceModel = 0;
    DabDateTime m_dateTime;

    std::atomic<bool> m_signalPresent { false };
    std::atomic<int> m_signalQuality { 0 };
    std::atomic<int> m_signalStrength { 0 };
    std::atomic<bool> m_running { true };

    // The receiver the library's callbacks reach; one at a time.
    static std::atomic<Receiver *> s_callbackReceiver;

    QMutex m_commandMutex;
    std::deque<QueuedCommand> m_commands;

    // Ensemble index -> stream id -> handlers, each entry one reference.
    QMutex m_handlerMapMutex;
    QMap<int, QMap<int, QVector<StreamHandler *>>> m_handlers;
};

} // namespace ZOZ
