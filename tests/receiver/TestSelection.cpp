// Service component selection: the receiver queues the selected services'
// sub-channels into its three slots and activates them with the sub-channel
// organisation the FIC gave.
#include "ReceiverTestSupport.h"
#include "ScriptedLibrary.h"

#include "ZOZDab.h"

#include <QMutexLocker>

#include <cstdlib>
#include <memory>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

constexpr int Channel5C = 0;

class FakeService : public Pointer, public StreamConsumer
{
public:
    explicit FakeService(Location where) : m_where(where) { retain(); }
    Location streamLocation() const override { return m_where; }
    void receiveData(int, const uchar *const &) override {}
    Pointer *streamReference() override { return this; }

private:
    Location m_where;
};

struct Held {
    explicit Held(StreamConsumer::Location where) : service(new FakeService(where)) {}
    ~Held() { service->release(); }
    FakeService *service;
};

StreamConsumer::Location located(int subChId, quint16 address = StreamConsumer::NoPacketAddress)
{
    StreamConsumer::Location where;
    where.ensembleIndex = Channel5C;
    where.streamId = subChId;
    where.packetMode = address != StreamConsumer::NoPacketAddress;
    where.packetAddress = address;
    return where;
}

// The "add" line the library should see for a sub-channel, from the FIG 0/1
// and FIG 0/14 of the recording, read with the FIC decoder alone.
QString expectedAdd(int subChId, int packetMode, quint16 address)
{
    FicDecoderConfig config;
    DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config);
    std::unique_ptr<FicDecoder, decltype(&std::free)> d(static_cast<FicDecoder *>(std::malloc(config.instanceSize)),
                                                        &std::free);
    DAB_Bb_Ruz_FicDecoderInit(d.get());
    for (const EtiFic &fic : sloveniaFic())
        DAB_Bb_Ruz_FicDecoderPushFibs(d.get(), fic.bytes.data(), quint8(fic.numFibs()));
    FicFigRecord record;
    int fec = 0;
    for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(d.get(), 0, 14); e; e = DAB_Bb_Ruz_FicDecoderGetNext(e)) {
        DAB_Bb_Ruz_FicDecoderGetFigData(e, &record);
        if (record.u.fig0_14.subChId == subChId)
            fec = record.u.fig0_14.fecScheme;
    }
    for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(d.get(), 0, 1); e; e = DAB_Bb_Ruz_FicDecoderGetNext(e)) {
        DAB_Bb_Ruz_FicDecoderGetFigData(e, &record);
        const FicFig0_1 &s = record.u.fig0_1;
        if (s.subChId != subChId)
            continue;
        const int size = s.longForm ? s.size : uepTableEntry(s.tableIndex)->size;
        return QStringLiteral("add %1 %2 %3 %4 %5 eep %6 uep %7 protection %8 fec %9")
            .arg(packetMode).arg(subChId).arg(s.startAddress).arg(size).arg(address)
            .arg(s.longForm).arg(s.longForm ? 0 : s.tableIndex)
            .arg(s.longForm ? s.option * 4 + s.protectionLevel : 0).arg(fec);
    }
    return {};
}

class SelectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (sloveniaFic().empty())
            GTEST_SKIP() << "needs the test recording slovenia-r1.eti";
        ScriptedLibrary::reset();
        Clock::install(&clock);
        environment.settings->setFrontEndMode(Settings::ModeDab);
        receiver = std::make_unique<Receiver>();
        receiver->setDataFolder(environment.dataFolder());
        receiver->setLibrary(&ScriptedLibrary::api());
        receiver->setDeviceProbe([] { return 600; });
        receiver->setMessageSink([](const QString &, QObject *, const char *, QObject *, const char *) {});
        ASSERT_TRUE(receiver->init(environment.settings));
        receiver->addEnsembleForChannel(Channel5C);
        receiver->requestEnsemble(Channel5C);
        run(600);
        ASSERT_EQ(receiver->usb()->state(), DabUsbPrivate::Running);
        library().calls.clear();
    }
    void TearDown() override
    {
        receiver.reset();
        Clock::install(nullptr);
    }

    ScriptedLibrary &library() { return ScriptedLibrary::current(); }
    DabUsbPrivate &usb() { return *receiver->usb(); }

    // Ticks with the recording's FIC arriving as the library's thread delivers it.
    void run(qint64 ms)
    {
        static const std::vector<EtiFic> fics = sloveniaFic();
        for (qint64 passed = 0; passed < ms; passed += Receiver::TickIntervalMs) {
            const EtiFic &fic = fics[size_t(m_frame++) % fics.size()];
            library().fic(const_cast<quint8 *>(fic.bytes.data()), int(fic.bytes.size()));
            clock.advance(Receiver::TickIntervalMs);
            receiver->tickDabUsb();
        }
    }
    QStringList adds() const
    {
        QStringList out;
        for (const QString &call : ScriptedLibrary::current().calls)
            if (call.startsWith(QLatin1String("add")))
                out << call;
        return out;
    }
    bool anyPending() { return usb().channelSlots()[0].pending || usb().channelSlots()[1].pending || usb().channelSlots()[2].pending; }

    // The sub-channel of a service of the recording.
    int subChannelOf(qint64 serviceId)
    {
        const auto locker = receiver->database().lock();
        for (const DabService &s : receiver->database().find(Channel5C)->services)
            if (s.serviceId == serviceId)
                return s.primary.subChId;
        return -1;
    }

    ReceiverEnvironment environment;
    ManualClock clock;
    std::unique_ptr<Receiver> receiver;

private:
    int m_frame = 0;
};

} // namespace

TEST_F(SelectionTest, ActivatesWithTheSubChannelOrganisationOfTheFic)
{
    const int audio = subChannelOf(0x9201);
    ASSERT_GE(audio, 0);
    Held radio(located(audio)), journaline(located(13, 1)), spi(located(6, 2));
    receiver->selectServiceComponents({radio.service, journaline.service, nullptr, spi.service});
    run(200);
    // One stream and one packet sub-channel: the second packet one is dropped.
    EXPECT_EQ(adds(), (QStringList{expectedAdd(audio, 0, 0), expectedAdd(13, 1, 1)}));
    EXPECT_FALSE(anyPending());
    EXPECT_EQ(usb().channelSlots()[0].activeId(), audio);
    EXPECT_EQ(usb().channelSlots()[1].activeId(), 13);
    EXPECT_EQ(usb().channelSlots()[0].service.get(), radio.service);
    EXPECT_EQ(radio.service->referenceCount(), 2) << "held by the stream slot";
}

TEST_F(SelectionTest, SelectingAgainOrExtendingAnActivePacketSubChannel)
{
    Held journaline(located(13, 1)), second(located(13, 5));
    receiver->selectServiceComponents({journaline.service});
    run(200);
    ASSERT_EQ(adds(), QStringList{expectedAdd(13, 1, 1)});
    library().calls.clear();

    // The same selection again: nothing to add and nothing left waiting.
    receiver->selectServiceComponents({journaline.service});
    run(200);
    EXPECT_TRUE(adds().isEmpty());
    EXPECT_FALSE(anyPending());

    // A further address on the active sub-channel is added without removing the first.
    receiver->selectServiceComponents({journaline.service, second.service});
    run(200);
    EXPECT_EQ(adds(), QStringList{expectedAdd(13, 1, 5)});
    EXPECT_EQ(library().count("del"), 0);
    EXPECT_FALSE(anyPending());
    EXPECT_EQ(usb().channelSlots()[1].activeAddresses, (QVector<quint16>{1, 5}));
}

TEST_F(SelectionTest, ThirdPacketSubChannelIsRefusedAndAlreadyActiveCountsAsSuccess)
{
    Held a(located(13, 1)), b(located(6, 2)), c(located(7, 3)), d(located(6, 4));
    library().addResult = RTDAB_RESULT_ALREADY_SELECTED;
    receiver->selectServiceComponents({a.service, b.service, c.service, d.service});
    EXPECT_EQ(usb().channelSlots()[1].requestedAddresses.size(), 0) << "queued on the next tick";
    run(200);
    QStringList expected{expectedAdd(13, 1, 1), expectedAdd(6, 1, 2), expectedAdd(6, 1, 4)};
    EXPECT_EQ(adds(), expected);
    EXPECT_EQ(usb().channelSlots()[1].activeAddresses, QVector<quint16>{1});
    EXPECT_EQ(usb().channelSlots()[2].activeAddresses, (QVector<quint16>{2, 4}));
    EXPECT_FALSE(anyPending());
}
