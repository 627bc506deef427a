#include "ReceiverTestSupport.h"
#include "ScriptedLibrary.h"

#include "ZOZDab.h"

#include <QElapsedTimer>
#include <QMutexLocker>

#include <thread>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

constexpr int Channel5C = 0;   // 178352 kHz
constexpr int Channel11D = 3;  // 222064 kHz

class StateMachineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ScriptedLibrary::reset();
        Clock::install(&clock);
        environment.settings->setFrontEndMode(Settings::ModeDab);
        receiver = std::make_unique<Receiver>();
        receiver->setDataFolder(environment.dataFolder());
        receiver->setLibrary(&ScriptedLibrary::api());
        receiver->setDeviceProbe([] { return 600; });
        receiver->setMessageSink([this](const QString &text, QObject *, const char *confirm, QObject *, const char *) {
            messages << text;
            confirmSlots << QString::fromLatin1(confirm);
        });
        ASSERT_TRUE(receiver->init(environment.settings));
        startupCalls = library().calls;
        library().calls.clear();
    }
    void TearDown() override
    {
        receiver.reset();
        Clock::install(nullptr);
    }

    DabUsbPrivate &usb() { return *receiver->usb(); }
    ScriptedLibrary &library() { return ScriptedLibrary::current(); }
    // FIB pushes into the record of an ensemble; -1 without a record.
    int fibPushes(int index)
    {
        const auto locker = receiver->database().lock();
        const DabEnsemble *ensemble = receiver->database().find(index);
        return ensemble ? ensemble->fibPushes : -1;
    }

    // Runs the receiver thread's loop by hand: 40 ms, a tick, and so on.
    void runFor(qint64 ms)
    {
        for (qint64 passed = 0; passed < ms; passed += Receiver::TickIntervalMs) {
            clock.advance(Receiver::TickIntervalMs);
            receiver->tickDabUsb();
        }
    }

    // What the library's thread does once a frame.
    void deliverFic()
    {
        static const quint8 fib[96] = {};
        library().fic(const_cast<quint8 *>(fib), int(sizeof(fib)));
    }

    // The stream slot receives the sub-channel, its data timer just restarted.
    void activateStreamSlot(quint8 subChId)
    {
        DabServiceComponent audio;
        audio.valid = true;
        audio.subChId = subChId;
        usb().channelSlots()[0].setActiveComponent(audio);
        usb().channelSlots()[0].dataTimer.restart();
    }

    void runWithFic(qint64 ms)
    {
        for (qint64 passed = 0; passed < ms; passed += Receiver::TickIntervalMs) {
            deliverFic();
            runFor(Receiver::TickIntervalMs);
        }
    }

    // Tunes to 5C from idle and waits until running with a lock.
    void tuneTo5C()
    {
        receiver->addEnsembleForChannel(Channel5C);
        receiver->requestEnsemble(Channel5C);
        runWithFic(400);
        ASSERT_EQ(usb().state(), DabUsbPrivate::Running);
        ASSERT_TRUE(usb().isLocked());
        library().calls.clear();
    }

    ReceiverEnvironment environment;
    ManualClock clock;
    std::unique_ptr<Receiver> receiver;
    QStringList messages;
    QStringList confirmSlots;
    QStringList startupCalls;
};

TEST_F(StateMachineTest, StartWithoutDatabaseOpensTheStickAndAsksForAScan)
{
    EXPECT_TRUE(receiver->stick().isOpened());
    EXPECT_TRUE(receiver->stick().isStarted());
    EXPECT_EQ(startupCalls, (QStringList{ "open", "start" }));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("Scan required")));
    EXPECT_EQ(confirmSlots.first(), QStringLiteral("1rtkScanRestart()"));
    EXPECT_EQ(usb().state(), DabUsbPrivate::Idle);
}

TEST_F(StateMachineTest, NoLockFor1201MsClosesReopensAndTunesAgain)
{
    receiver->addEnsembleForChannel(Channel5C);
    library().lock = 0;
    receiver->requestEnsemble(Channel5C);
    runFor(80);
    EXPECT_EQ(library().calls, (QStringList{ "tune 178352" }));
    EXPECT_EQ(usb().state(), DabUsbPrivate::Running);

    runFor(1080);
    EXPECT_EQ(library().count("close"), 0) << "no lock yet, but still within 1201 ms";
    runFor(200);
    EXPECT_EQ(library().calls, (QStringList{ "tune 178352", "stop", "close" }));
    EXPECT_FALSE(receiver->stick().isOpened());
    EXPECT_FALSE(receiver->signalPresent());

    // The next tick finds the stick closed and waits 1201 ms before reopening.
    runFor(40);
    EXPECT_EQ(usb().state(), DabUsbPrivate::Reopen);
    runFor(1120);
    EXPECT_EQ(library().count("open"), 0);
    library().lock = 1;
    runFor(120);
    EXPECT_EQ(library().calls.mid(3, 2), (QStringList{ "open", "start" }));
    runFor(80);
    EXPECT_EQ(library().calls.mid(3), (QStringList{ "open", "start", "tune 178352" }));
    runWithFic(200);
    EXPECT_TRUE(usb().isLocked());
    EXPECT_TRUE(receiver->signalPresent());
    EXPECT_EQ(receiver->signalQuality(), 80);
    EXPECT_EQ(receiver->signalStrength(), 90);
}

TEST_F(StateMachineTest, ReopenFailuresAreRetriedEvery1201MsOutsideAScan)
{
    receiver->addEnsembleForChannel(Channel5C);
    library().lock = 0;
    receiver->requestEnsemble(Channel5C);
    library().openResult = RTDAB_RESULT_NO_DEVICE;
    runFor(1400); // no lock: closed
    ASSERT_FALSE(receiver->stick().isOpened());
    runFor(3 * 1201 + 200);
    EXPECT_EQ(library().count("open"), 3);
    EXPECT_EQ(usb().state(), DabUsbPrivate::Reopen);
    EXPECT_EQ(messages.size(), 1) << "only the start-up question; no dialog outside a scan";
}

TEST_F(StateMachineTest, FicGapOutsideAScanOnlyClearsTheSignalValues)
{
    tuneTo5C();
    runWithFic(200);
    ASSERT_TRUE(receiver->signalPresent());
    ASSERT_EQ(receiver->signalQuality(), 80);

    runFor(2100); // the library delivers nothing
    EXPECT_FALSE(receiver->signalPresent());
    EXPECT_EQ(receiver->signalQuality(), 0);
    EXPECT_EQ(receiver->signalStrength(), 0);
    EXPECT_EQ(library().count("stop"), 0);
    EXPECT_EQ(library().count("close"), 0);
    EXPECT_TRUE(receiver->stick().isOpened());
    EXPECT_EQ(usb().state(), DabUsbPrivate::Running);

    runWithFic(200);
    EXPECT_TRUE(receiver->signalPresent());
    EXPECT_EQ(receiver->signalQuality(), 80);
}

TEST_F(StateMachineTest, EnsembleSwitchRetunesAndFeedsTheNewRecord)
{
    tuneTo5C();
    receiver->addEnsembleForChannel(Channel11D);
    receiver->requestEnsemble(Channel11D);
    runFor(40);
    EXPECT_EQ(usb().currentIndex(), Channel11D);
    EXPECT_EQ(library().calls, (QStringList{ "tune 222064" }));
    EXPECT_FALSE(usb().isSwitching());
    EXPECT_EQ(usb().state(), DabUsbPrivate::Running);
    EXPECT_FALSE(receiver->signalPresent()) << "the old ensemble's signal values are gone";
    deliverFic();
    EXPECT_EQ(fibPushes(Channel11D), 1);
    EXPECT_GT(fibPushes(Channel5C), 0);
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                    QString::fromLatin1(Settings::Application));
    EXPECT_EQ(store.value(QStringLiteral("DAB/lastEnsemble")).toInt(), Channel11D);
}

TEST_F(StateMachineTest, SelectionOnAnotherEnsembleSwitchesThenQueuesItsSubChannel)
{
    tuneTo5C();
    receiver->addEnsembleForChannel(Channel11D);
    receiver->rtkSetSelectedComponents({ DabSelection{ Channel11D, 5, 0xFFFF } });
    for (int tick = 0; tick < 3 && usb().currentIndex() != -1; ++tick)
        runFor(40);
    // The selection is taken: no ensemble until the next tick switches.
    EXPECT_EQ(usb().currentIndex(), -1);
    EXPECT_TRUE(usb().isSwitching());
    EXPECT_TRUE(usb().channelSlots()[0].pending);
    EXPECT_EQ(usb().channelSlots()[0].requestedId, 5);
    deliverFic(); // dropped: nothing is current while switching
    runFor(40);
    EXPECT_EQ(usb().currentIndex(), Channel11D);
    EXPECT_EQ(library().calls, (QStringList{ "tune 222064" }));
    EXPECT_EQ(usb().state(), DabUsbPrivate::Running);
    EXPECT_EQ(fibPushes(Channel11D), 0);
    // The component is not in the database yet: the slot stays pending and no
    // lock polling happens meanwhile.
    runWithFic(400);
    EXPECT_TRUE(usb().channelSlots()[0].pending);
    EXPECT_EQ(library().count("add"), 0);
}

TEST_F(StateMachineTest, SubChannelTimeOutsCloseTheStickAndRequeueTheSlots)
{
    tuneTo5C();
    activateStreamSlot(3);
    DabServiceComponent packet;
    packet.valid = true;
    packet.isPacketMode = true;
    packet.subChId = 6;
    usb().channelSlots()[1].setActiveComponent(packet);
    usb().channelSlots()[1].activeAddresses = { 2 };
    usb().channelSlots()[1].dataTimer.restart();

    // Stream data keeps coming for a while: nothing happens.
    for (int i = 0; i < 50; ++i) {
        static quint8 bytes[12] = {};
        library().msc(bytes, int(sizeof(bytes)), 3);
        runWithFic(40);
    }
    EXPECT_EQ(library().count("close"), 0);
    // Then the stream sub-channel falls silent for 2500 ms.
    runWithFic(2600);
    EXPECT_EQ(library().count("close"), 1);
    EXPECT_TRUE(usb().channelSlots()[0].pending);
    EXPECT_EQ(usb().channelSlots()[0].requestedId, 3);
    EXPECT_TRUE(usb().channelSlots()[1].pending);
    EXPECT_EQ(usb().channelSlots()[1].requestedId, 6);
    EXPECT_EQ(usb().channelSlots()[1].requestedAddresses, (QVector<quint16>{ 2 }));
    EXPECT_TRUE(usb().channelSlots()[1].activeAddresses.isEmpty());
}

TEST_F(StateMachineTest, SteadyReceptionSleepsUntilTheNextDeadline)
{
    constexpr qint64 Tick = Receiver::TickIntervalMs;
    tuneTo5C();
    deliverFic();
    // Nothing due but the next reading of the signal figures.
    EXPECT_EQ(usb().msUntilNextTick(Tick), 1000);
    // The FIC falls silent: the thread wakes when it would count as lost.
    clock.advance(1500);
    EXPECT_EQ(usb().msUntilNextTick(Tick), 501);
    clock.advance(600);
    EXPECT_EQ(usb().msUntilNextTick(Tick), Tick);

    // A stream sub-channel whose data stopped 2000 ms ago times out first.
    deliverFic();
    activateStreamSlot(3);
    clock.advance(2000);
    deliverFic();
    EXPECT_EQ(usb().msUntilNextTick(Tick), 501);

    // The time-out closes the stick; the reopen sleeps out its 1201 ms.
    runFor(600);
    ASSERT_EQ(usb().state(), DabUsbPrivate::Reopen);
    EXPECT_GT(usb().msUntilNextTick(Tick), 1201 - 2 * Tick);
    EXPECT_LE(usb().msUntilNextTick(Tick), 1201);
}

TEST_F(StateMachineTest, PacketSlotsTimeOutOnlyWithoutAStreamSlot)
{
    tuneTo5C();
    DabServiceComponent packet;
    packet.valid = true;
    packet.isPacketMode = true;
    packet.subChId = 6;
    usb().channelSlots()[2].setActiveComponent(packet);
    usb().channelSlots()[2].dataTimer.restart();
    runWithFic(29000);
    EXPECT_EQ(library().count("close"), 0);
    runWithFic(1200);
    EXPECT_EQ(library().count("close"), 1);
    EXPECT_TRUE(usb().channelSlots()[2].pending);
}

TEST_F(StateMachineTest, StreamAndSecondPacketSlotInOneSelectionDropTheSecond)
{
    tuneTo5C();
    receiver->rtkSetSelectedComponents({ DabSelection{ Channel5C, 1, 0xFFFF }, DabSelection{ Channel5C, 6, 2 },
                                         DabSelection{ Channel5C, 6, 3 }, DabSelection{ Channel5C, 13, 1 },
                                         DabSelection{ Channel5C, 14, 1 } });
    runWithFic(120);
    EXPECT_TRUE(usb().channelSlots()[0].pending);
    EXPECT_EQ(usb().channelSlots()[1].requestedId, 6);
    EXPECT_EQ(usb().channelSlots()[1].requestedAddresses, (QVector<quint16>{ 2, 3 }));
    EXPECT_FALSE(usb().channelSlots()[2].pending);
    EXPECT_EQ(usb().channelSlots()[2].requestedId, -1);
}

TEST_F(StateMachineTest, CommandsFromOtherThreadsWaitForTheNextTick)
{
    std::thread other([this] { receiver->rtkScanRestart(); });
    other.join();
    EXPECT_FALSE(receiver->isScanning());
    EXPECT_EQ(usb().state(), DabUsbPrivate::Idle);
    runFor(40);
    EXPECT_TRUE(receiver->isScanning());
    EXPECT_EQ(usb().state(), DabUsbPrivate::ScanNext);
    std::thread abort([this] { receiver->rtkOnAbortScan(); });
    abort.join();
    EXPECT_TRUE(receiver->isScanning());
    runFor(40);
    EXPECT_FALSE(receiver->isScanning());
    // Nothing was found: the user is asked to scan again.
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.last().contains(QStringLiteral("Scan aborted")));
}

TEST_F(StateMachineTest, ScanTriesAFailingChannelElevenTimesThenMovesOn)
{
    receiver->rtkScanStart(false, false);
    library().tuneResult = RTDAB_RESULT_FAILED;
    runFor(600);
    ASSERT_EQ(usb().currentIndex(), 0);
    // Each failed tune closes the stick; it is reopened 1201 ms later.
    runFor(11 * 1300);
    EXPECT_EQ(library().count("tune 178352"), 11);
    EXPECT_EQ(usb().currentIndex(), 1);
}

TEST(ReceiverThread, StopsCooperativelyWithoutWaitingForATimeout)
{
    ReceiverEnvironment environment;
    ScriptedLibrary::reset();
    auto receiver = std::make_unique<Receiver>();
    receiver->setDataFolder(environment.dataFolder());
    receiver->setLibrary(&ScriptedLibrary::api());
    receiver->setDeviceProbe([] { return 600; });
    ASSERT_TRUE(receiver->init(environment.settings));
    receiver->start();
    QThread::msleep(100);
    QElapsedTimer timer;
    timer.start();
    receiver.reset();
    EXPECT_LT(timer.elapsed(), 1000);
}

} // namespace
