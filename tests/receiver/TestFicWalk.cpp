#include "ReceiverTestSupport.h"

#include "ZOZClock.h"
#include "ZOZDABEnsembleCache.h"
#include "ZOZDab.h"
#include "ZOZDabLabels.h"

#include <QFile>
#include <QMutexLocker>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

struct ExpectedService
{
    qint64 serviceId;
    const char *label;
    const char *shortLabel;
    int subChId;
    int bitRate; // units of 8 kbit/s
    const char *programmeType;
};

// What the FIC of the recording declares (FIG 0/1, 0/2, 0/17, 1/1).
const ExpectedService SloveniaAudio[] = {
    { 0x9201, "Slo 1 Prvi", "Prvi", 0, 16, "Varied" },
    { 0x9202, "Slo 2 Val 202", "Val 202", 1, 16, "Varied" },
    { 0x9203, "Slo 3 ARS", "ARS", 3, 16, "Light Classical" },
    { 0x933a, "Slo Int Radio SI", "Radio SI", 2, 16, "Travel" },
    { 0x940b, "Radio Antena", "Antena", 8, 3, "Pop Music" },
    { 0x9414, "Radio Center Slo", "Center S", 5, 9, "Pop Music" },
    { 0x942f, "Radio Ognjisce", "Ognjisce", 4, 4, "Varied" },
    { 0x9436, "A-Radio", "A-Radio", 12, 3, "Varied" },
    { 0x9442, "Radio 1 DAB", "1 DAB", 7, 6, "Pop Music" },
    { 0x9459, "Radio 2", "Radio 2", 9, 3, "Pop Music" },
    { 0x945b, "Radio BOB", "BOB", 10, 3, "Rock Music" },
    { 0x9462, "Glasbeni Radio", "Glasbeni", 15, 4, "Oldies Music" },
    { 0x9516, "Rock Radio Slo", "Rock S", 11, 9, "Rock Music" },
};

const DabService *findService(const DabEnsemble &ensemble, qint64 serviceId)
{
    for (const DabService &service : ensemble.services) {
        if (service.serviceId == serviceId)
            return &service;
    }
    return nullptr;
}

class FicWalkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fics = sloveniaFic();
        if (fics.empty())
            GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
        Clock::install(&clock);
        receiver.setDataFolder(environment.dataFolder());
        // Front-end mode "none": the receiver keeps its database but opens no stick.
        ASSERT_TRUE(receiver.init(environment.settings));
        QObject::connect(&receiver, &Receiver::dataReady, [this] { ++dataReadyCount; });
    }
    void TearDown() override { Clock::install(nullptr); }

    // A record for a channel in the receiver's map, as a scan makes it.
    DabEnsemble &channelRecord(int index)
    {
        receiver.addEnsembleForChannel(index);
        return *receiver.database().find(index);
    }

    bool push(DabEnsemble &ensemble, const EtiFic &fic)
    {
        const auto locker = receiver.database().lock();
        return receiver.DAB_parseFIBs(&ensemble, fic.bytes.data(), int(fic.bytes.size()));
    }

    void pushAll(DabEnsemble &ensemble)
    {
        for (const EtiFic &fic : fics)
            push(ensemble, fic);
    }

    ReceiverEnvironment environment;
    ManualClock clock;
    Receiver receiver;
    std::vector<EtiFic> fics;
    int dataReadyCount = 0;
};

TEST_F(FicWalkTest, SloveniaFicFillsTheDatabase)
{
    DabEnsemble &ensemble = channelRecord(0);
    pushAll(ensemble);

    EXPECT_EQ(ensemble.ensembleId, 0x9200);
    EXPECT_EQ(ensemble.label, QStringLiteral("MULTIPLEX R1"));
    EXPECT_TRUE(ensemble.valid);
    EXPECT_EQ(ensemble.services.size(), 15);
    EXPECT_GT(dataReadyCount, 0);
    for (const ExpectedService &expected : SloveniaAudio) {
        SCOPED_TRACE(expected.label);
        const DabService *service = findService(ensemble, expected.serviceId);
        ASSERT_NE(service, nullptr);
        EXPECT_TRUE(service->valid);
        EXPECT_EQ(service->label, QString::fromLatin1(expected.label));
        EXPECT_EQ(service->shortLabel, QString::fromLatin1(expected.shortLabel));
        EXPECT_EQ(service->countryName, QStringLiteral("Slovenia"));
        EXPECT_EQ(service->programmeTypeName, QString::fromLatin1(expected.programmeType));
        const DabServiceComponent &audio = service->primary;
        EXPECT_TRUE(audio.audio);
        EXPECT_TRUE(audio.dabPlus);
        EXPECT_TRUE(audio.dabPlusAudio);
        EXPECT_FALSE(audio.isPacketMode);
        EXPECT_EQ(audio.subChId, expected.subChId);
        EXPECT_EQ(audio.bitRate, expected.bitRate);
        EXPECT_TRUE(audio.isEep);
        // EEP-A: 6 capacity units per 8 kbit/s at level 3, 12 at level 1... the
        // size and the rate agree with the protection the FIC gives.
        EXPECT_EQ(subChannelBitrate(ensemble.ficDecoderInstance(), quint8(audio.subChId)), audio.bitRate);
        EXPECT_GT(audio.cuCount, 0);
    }

    struct ExpectedData
    {
        qint64 serviceId;
        const char *label;
        int subChId;
        int bitRate;
        int packetAddress;
        int applicationType;
    };
    for (const ExpectedData &expected : { ExpectedData{ 0xE4910001LL, "Info", 13, 1, 1, 0x44A },
                                          ExpectedData{ 0xE4910002LL, "Spored", 6, 2, 2, 0x7 } }) {
        SCOPED_TRACE(expected.label);
        const DabService *service = findService(ensemble, expected.serviceId);
        ASSERT_NE(service, nullptr);
        EXPECT_TRUE(service->valid);
        EXPECT_EQ(service->label, QString::fromLatin1(expected.label));
        // A data service's country comes from its 32-bit identifier.
        EXPECT_EQ(service->ecc, 0xE4);
        EXPECT_EQ(service->countryId, 9);
        const DabServiceComponent &data = service->primary;
        EXPECT_FALSE(data.audio);
        EXPECT_TRUE(data.isPacketMode);
        EXPECT_EQ(data.subChId, expected.subChId);
        EXPECT_EQ(data.bitRate, expected.bitRate);
        EXPECT_EQ(data.packetAddress, expected.packetAddress);
        ASSERT_EQ(data.userApplications.size(), 1);
        EXPECT_EQ(data.userApplications.first().type, expected.applicationType);
        EXPECT_EQ(data.userApplications.first().packetAddress, expected.packetAddress);
    }
}

TEST_F(FicWalkTest, UnchangedPushLeavesTheDatabaseUntouched)
{
    DabEnsemble &ensemble = channelRecord(0);
    pushAll(ensemble);
    pushAll(ensemble);
    receiver.getEnsembles(); // hands the changes over and clears their flags
    const DabEnsemble before = ensemble;
    const int signalsBefore = dataReadyCount;
    const QByteArray cacheBefore = [&] {
        QFile file(environment.dataFolder() + QStringLiteral("DAB.default.zoz"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_FALSE(cacheBefore.isEmpty()) << "changes are saved to the cache";

    // Within a second, a push that changes nothing stops after the counters.
    EXPECT_FALSE(push(ensemble, fics.back()));
    EXPECT_FALSE(push(ensemble, fics.back()));
    EXPECT_EQ(dataReadyCount, signalsBefore);
    EXPECT_TRUE(ensemble.storedFieldsEqual(before));
    EXPECT_FALSE(ensemble.changed);
    for (const DabService &service : ensemble.services)
        EXPECT_FALSE(service.changed);
    QFile file(environment.dataFolder() + QStringLiteral("DAB.default.zoz"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), cacheBefore);
}

TEST_F(FicWalkTest, CopiesCarryNoDecoderAndChangesAreHandedOverOnce)
{
    DabEnsemble &ensemble = channelRecord(0);
    pushAll(ensemble);
    ASSERT_NE(ensemble.ficDecoderInstance(), nullptr);
    const QVector<DabEnsemble> first = receiver.getEnsembles();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first.first().ficDecoderInstance(), nullptr);
    EXPECT_TRUE(first.first().changed);
    const QVector<DabEnsemble> second = receiver.getEnsembles();
    EXPECT_FALSE(second.first().changed);
    EXPECT_NE(ensemble.ficDecoderInstance(), nullptr) << "the live record keeps its decoder";
}

TEST_F(FicWalkTest, AnotherEnsembleIdResetsTheRecordAndTheNextWalkRefillsIt)
{
    DabEnsemble &ensemble = channelRecord(0);
    pushAll(ensemble);
    ASSERT_EQ(ensemble.services.size(), 15);
    ensemble.ensembleId = 0x1111;
    clock.advance(1001); // the next walk is a full one
    EXPECT_TRUE(push(ensemble, fics.front()));
    EXPECT_TRUE(ensemble.services.isEmpty());
    EXPECT_EQ(ensemble.ficDecoderInstance(), nullptr);
    EXPECT_EQ(ensemble.gridIndex, 0);
    pushAll(ensemble);
    EXPECT_EQ(ensemble.ensembleId, 0x9200);
    EXPECT_EQ(ensemble.services.size(), 15);
}

TEST_F(FicWalkTest, EnsemblesOnEveryGridAreSavedButNotSignalledWhileScanning)
{
    // The last channel of the Korean grid, far beyond the first 64.
    const int lastChannel = channelGridBase(DabChannelGridCount) - 1;
    DabEnsemble &ensemble = channelRecord(lastChannel);
    ASSERT_EQ(ensemble.index, lastChannel);
    receiver.rtkScanStart(true, true); // keeps the records
    ASSERT_TRUE(receiver.isScanning());
    pushAll(ensemble);
    EXPECT_EQ(dataReadyCount, 0);

    QString setName;
    const DabEnsembleMap map = readEnsembleCache(environment.dataFolder(), &setName);
    ASSERT_TRUE(map.count(lastChannel));
    EXPECT_EQ(map.at(lastChannel)->services.size(), 15);
    EXPECT_EQ(setName, QStringLiteral("default"));
}

TEST_F(FicWalkTest, LostServicesArePrunedOnlyWhenAsked)
{
    DabEnsemble &ensemble = channelRecord(0);
    pushAll(ensemble);
    ensemble.channelResolved = false;
    environment.settings->setClearServicesOnLoss(true, 12);
    clock.advance(11000);
    pushAll(ensemble);
    EXPECT_EQ(ensemble.services.size(), 15);
    // A service the FIC no longer lists goes after its time-out.
    DabService ghost;
    ghost.serviceId = 0x9999;
    ghost.valid = true;
    ghost.lastSeen.restart();
    ensemble.services.append(ghost);
    clock.advance(12000);
    ensemble.forceUpdate = true;
    pushAll(ensemble);
    EXPECT_EQ(findService(ensemble, 0x9999), nullptr);
    EXPECT_EQ(ensemble.services.size(), 15);
}

TEST_F(FicWalkTest, FicPiecesAndMscPiecesAreCheckedAtTheDoor)
{
    DabEnsemble &ensemble = channelRecord(0);
    std::vector<quint8> fibs(160);
    std::copy(fics.front().bytes.begin(), fics.front().bytes.end(), fibs.begin());
    {
        const auto locker = receiver.database().lock();
        EXPECT_FALSE(receiver.DAB_parseFIBs(&ensemble, fibs.data(), 160)) << "five FIBs are refused";
        EXPECT_EQ(ensemble.fibPushErrors, 1);
        EXPECT_EQ(ensemble.fibPushes, 1);
        EXPECT_TRUE(ensemble.services.isEmpty());
        receiver.DAB_parseFIBs(&ensemble, fibs.data(), 128); // four FIBs, the last one empty
        EXPECT_EQ(ensemble.fibPushes, 2);
        EXPECT_EQ(ensemble.fibPushErrors, 1);
    }

    QVector<int> delivered;
    receiver.setMscSink([&](int index, quint8 subChId, const quint8 *, int length) {
        delivered << index << subChId << length;
    });
    const quint8 bytes[3] = {};
    receiver.DAB_parseMscData(&ensemble, bytes, 2, 4);
    EXPECT_TRUE(delivered.isEmpty()) << "two bytes are dropped";
    receiver.DAB_parseMscData(&ensemble, bytes, 3, 4);
    EXPECT_EQ(delivered, (QVector<int>{ 0, 4, 3 }));
    // Every channel of the grids delivers, also those past index 64.
    DabEnsemble &korean = channelRecord(channelGridBase(4) + 3);
    receiver.DAB_parseMscData(&korean, bytes, 3, 5);
    EXPECT_EQ(delivered.size(), 6);
}

TEST_F(FicWalkTest, CloseLeavesNoEnsembleAndNoDecoder)
{
    pushAll(channelRecord(0));
    receiver.closeDAB();
    EXPECT_EQ(receiver.usb(), nullptr);
    EXPECT_TRUE(receiver.getEnsembles().isEmpty());
}

TEST(DabLabels, ShortLabelTakesFlaggedCharactersUpToEight)
{
    EXPECT_EQ(shortLabel(QStringLiteral("Slo 1 Prvi"), 0x01E0), QStringLiteral("rvi")); // a flag past the end
    EXPECT_EQ(shortLabel(QStringLiteral("Slo 1 Prvi      "), 0x03C0), QStringLiteral("Prvi"));
    EXPECT_EQ(shortLabel(QStringLiteral("ABCDEFGHIJKLMNOP"), 0xFFFF), QStringLiteral("ABCDEFGH"));
    EXPECT_EQ(shortLabel(QStringLiteral("ABC"), 0x8000 | 0x2000), QStringLiteral("AC"));
}

} // namespace
