// The service manager on ensemble snapshots: the tree it builds, renumbering,
// reconnection, the check trigger and shutdown.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "ZOZServiceFactory.h"
#include "audio/ZOZAudioOutputPort.h"
#include "audio/ZOZServiceAudio.h"
#include "base/ZOZPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>

#include <atomic>

using ZOZ::Service;
using ZOZ::ServiceManager;

namespace {

constexpr qint32 EnsembleId = 0x10BC;
constexpr int EnsembleIndex = 5;

std::atomic<int> s_liveServices { 0 };

std::atomic<int> s_cacheClears { 0 };
std::atomic<int> s_cacheLoads { 0 };
std::atomic<int> s_cacheSaves { 0 };

class TrackedService : public Service
{
public:
    explicit TrackedService(bool isData)
        : Service(isData)
    {
        ++s_liveServices;
    }
    ~TrackedService() override { --s_liveServices; }
    void clearData() override
    {
        ++s_cacheClears;
        Service::clearData();
    }
    void loadCache() override
    {
        ++s_cacheLoads;
        Service::loadCache();
    }
    void saveCache() override
    {
        ++s_cacheSaves;
        Service::saveCache();
    }
};

// Makes services the base way but counts them, so that the tests see every
// object go.
class TrackingFactory : public KindFactory
{
protected:
    Service *newService(bool isData) override { return new TrackedService(isData); }
};

ZOZ::DabEnsemble sampleEnsemble()
{
    return Snapshot::sampleEnsemble(EnsembleIndex, EnsembleId);
}

ZOZ::DabEnsemble fourServices(bool withSecond = true)
{
    using namespace Snapshot;
    ZOZ::DabEnsemble e = ensemble(EnsembleIndex, EnsembleId, QStringLiteral("Test Mux"));
    for (int i = 1; i <= 4; ++i) {
        if (i == 2 && !withSecond)
            continue;
        ZOZ::DabServiceComponent component = audio(0xD200 + i, i);
        if (i == 3)
            component.userApplications << xpad(ZOZ::ServiceFactory::SlideShow);
        e.services << service(QStringLiteral("Radio %1").arg(i), component);
    }
    return e;
}

class ServiceManagerTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        auto source = std::make_unique<FakeEnsembleSource>(shared);
        fake = source.get();
        manager = ServiceManager::instance(std::move(source), std::make_unique<TrackingFactory>());
    }

    void TearDown() override
    {
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        EXPECT_EQ(s_liveServices.load(), 0);
        SettingsFixture::TearDown();
    }

    void setSnapshot(const QVector<ZOZ::DabEnsemble> &ensembles) { shared->setEnsembles(ensembles); }
    QVector<Service *> topLevel() const { return topLevelServices(manager, EnsembleIndex); }

    QStringList calls() const
    {
        QMutexLocker locker(&shared->mutex);
        return shared->calls;
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    FakeEnsembleSource *fake = nullptr;
    ServiceManager *manager = nullptr;
};

} // namespace

TEST_F(ServiceManagerTest, BuildsAudioWithPadChildSecondaryComponentAndPacketContainer)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({sampleEnsemble()});
    manager->doCheckDabData();

    const QVector<Service *> services = topLevel();
    ASSERT_EQ(services.size(), 2);
    Service *radio = services.at(0);
    EXPECT_TRUE(radio->isAudio());
    EXPECT_EQ(radio->serviceId(), 0x05000000);
    EXPECT_EQ(radio->sourceFlags(), 3u);
    EXPECT_EQ(radio->label(), QStringLiteral("Radio One"));
    EXPECT_EQ(radio->ensembleLabel(), QStringLiteral("Test Mux"));
    EXPECT_EQ(radio->ensembleIdentifier(), EnsembleId);
    EXPECT_EQ(radio->streamId(), 1);
    ASSERT_EQ(radio->children().size(), 1);
    Service *slides = radio->children().first();
    EXPECT_EQ(slides->shortname(), QStringLiteral("sls"));
    EXPECT_EQ(slides->serviceId(), 0x05000001);
    EXPECT_EQ(slides->applicationId(), 2);
    EXPECT_EQ(slides->applicationType(), 12);
    EXPECT_FALSE(slides->isPacketMode());
    EXPECT_EQ(slides->audioStreamPath(), radio->requestPath());

    ASSERT_EQ(radio->siblings().size(), 1);
    Service *sport = radio->siblings().first();
    EXPECT_EQ(sport->serviceId(), 0x05000100);
    EXPECT_EQ(sport->label(), QStringLiteral("Radio One / Sport"));
    EXPECT_EQ(sport->sourceFlags(), 1u);

    Service *container = services.at(1);
    EXPECT_EQ(container->shortname(), QStringLiteral("pmc"));
    EXPECT_EQ(container->serviceId(), 0x05010000);
    EXPECT_TRUE(container->isPacketMode());
    ASSERT_EQ(container->children().size(), 1);
    Service *news = container->children().first();
    EXPECT_EQ(news->shortname(), QStringLiteral("journaline"));
    EXPECT_EQ(news->serviceId(), 0x05010001);
    EXPECT_EQ(news->packetId(), 1);
    EXPECT_EQ(news->label(), QStringLiteral("News Data"));
    EXPECT_TRUE(container->hasJournaline());
    EXPECT_EQ(manager->findService(0x05010001), news);
    EXPECT_EQ(manager->findService(0x05000100), sport);

    // The same snapshot again changes nothing and connects nothing twice.
    const QStringList before = calls();
    manager->clearDirtyFlags();
    manager->doCheckDabData();
    EXPECT_EQ(calls(), before);
    EXPECT_FALSE(manager->isServiceListDirty());
    EXPECT_EQ(topLevel().size(), 2);
}

TEST_F(ServiceManagerTest, RemovingAServiceRenumbersTheRestAndTheSelectionFollows)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    QVector<Service *> services = topLevel();
    ASSERT_EQ(services.size(), 4);
    Service *third = services.at(2);
    Service *fourth = services.at(3);
    ASSERT_EQ(third->children().size(), 1);
    EXPECT_EQ(third->children().first()->serviceId(), 0x05020001);
    manager->withServices([&](const auto &) { manager->selectService(third, true); });
    EXPECT_EQ(manager->selectedServiceId(), 0x05020000);

    setSnapshot({fourServices(false)});
    manager->doCheckDabData();
    services = topLevel();
    ASSERT_EQ(services.size(), 3);
    EXPECT_EQ(services.at(1), third);
    EXPECT_EQ(third->serviceId(), 0x05010000);
    EXPECT_EQ(third->children().first()->serviceId(), 0x05010001);
    EXPECT_EQ(fourth->serviceId(), 0x05020000);
    EXPECT_EQ(manager->selectedService(), third);
    EXPECT_EQ(manager->selectedServiceId(), 0x05010000);
    EXPECT_EQ(s_liveServices.load(), 4); // three services and the slide show
    EXPECT_TRUE(logText().contains(QStringLiteral("(shortName: 'audio', label: 'Radio 2')")));

    // The selected service vanishing deselects it.
    ZOZ::DabEnsemble rest = fourServices(false);
    rest.services.removeAt(1);
    setSnapshot({rest});
    manager->doCheckDabData();
    EXPECT_EQ(manager->selectedService(), nullptr);
    EXPECT_EQ(manager->selectedServiceId(), -1);
}

TEST_F(ServiceManagerTest, ChangedFecSettingsAloneReconnect)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({sampleEnsemble()});
    manager->doCheckDabData();
    Service *news = topLevel().at(1)->children().first();
    news->setFecSettings({0, 0});
    const qsizetype before = calls().size();

    manager->doCheckDabData();
    EXPECT_EQ(calls().mid(before), (QStringList {QStringLiteral("detach News Data"), QStringLiteral("attach News Data")}));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("ServiceManager::reconnectService()[journaline] reconnecting service (label: 'News Data', FEC settings: 0,0 -> 12,188)\n")))
        << logText().toStdString();
    EXPECT_EQ(news->fecSettings(), (std::array<quint8, 2> {12, 188}));

    // A new sub-channel is a reconnection as well.
    ZOZ::DabEnsemble moved = sampleEnsemble();
    moved.services[0].primary.subChId = 9;
    setSnapshot({moved});
    manager->doCheckDabData();
    EXPECT_TRUE(logText().contains(QStringLiteral("reconnecting service (label: 'Radio One', streamId 1 -> 9)")));
}

TEST_F(ServiceManagerTest, EnsembleWithoutCountryDataStillShowsItsServices)
{
    ASSERT_TRUE(manager->init());
    ZOZ::DabEnsemble e = fourServices();
    for (ZOZ::DabService &record : e.services)
        record.ecc = 0xFF;
    e.services[0].ecc = 0;
    setSnapshot({e});
    manager->doCheckDabData();
    EXPECT_EQ(topLevel().size(), 4);
}

TEST_F(ServiceManagerTest, MoreServicesThanTheSelectorHoldsAreSkippedNotFatal)
{
    ASSERT_TRUE(manager->init());
    ZOZ::DabEnsemble e = Snapshot::ensemble(EnsembleIndex, EnsembleId, QStringLiteral("Crowded"));
    for (int i = 0; i < 300; ++i)
        e.services << Snapshot::service(QStringLiteral("S%1").arg(i), Snapshot::audio(0x1000 + i, i % 64));
    setSnapshot({e});
    manager->doCheckDabData();
    const QVector<Service *> services = topLevel();
    ASSERT_EQ(services.size(), 255);
    EXPECT_EQ(services.last()->serviceId(), 0x05FE0000);
    EXPECT_TRUE(logText().contains(QStringLiteral("more than 255 services in ensemble 5")));
}

TEST_F(ServiceManagerTest, ShutdownDisconnectsEveryServiceBeforeTheReceiverGoes)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({sampleEnsemble()});
    manager->doCheckDabData();
    manager->withServices([&](const auto &) { manager->selectService(topLevel().first(), true); });
    EXPECT_GT(s_liveServices.load(), 0);

    ServiceManager::destroyInstance();
    EXPECT_EQ(ServiceManager::existingInstance(), nullptr);
    EXPECT_EQ(s_liveServices.load(), 0);
    const QStringList sequence = calls();
    ASSERT_FALSE(sequence.isEmpty());
    EXPECT_EQ(sequence.last(), QStringLiteral("shutdown"));
    for (const QString &call : sequence.filter(QStringLiteral("attach "))) {
        const QString label = call.mid(7);
        EXPECT_GT(sequence.lastIndexOf(QStringLiteral("detach ") + label), sequence.lastIndexOf(call)) << call.toStdString();
    }

    const QString text = logText();
    const QStringList order {
        QStringLiteral("ServiceManager::~ServiceManager()"),
        QStringLiteral("ServiceManagerPrivate::run() -> leaving thread"),
        QStringLiteral("cleaning up service list"),
        QStringLiteral("shutting down receiver.."),
    };
    qsizetype from = 0;
    for (const QString &line : order) {
        const qsizetype at = text.indexOf(line, from);
        ASSERT_GE(at, 0) << line.toStdString();
        from = at;
    }
}

TEST_F(ServiceManagerTest, SelectionOfTheLastRunIsFoundAgain)
{
    {
        QSettings store(home.storeFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("lastEnsembleIdentifier"), EnsembleId);
        store.setValue(QStringLiteral("lastServiceIdentifier"), 0xD203);
        store.setValue(QStringLiteral("lastServiceComponentIdentifier"), -1);
    }
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    ASSERT_NE(manager->selectedService(), nullptr);
    EXPECT_EQ(manager->selectedService()->label(), QStringLiteral("Radio 3"));

    manager->withServices([&](const auto &) { manager->selectService(topLevel().at(0), true); });
    QSettings store(home.storeFile(), QSettings::IniFormat);
    EXPECT_EQ(store.value(QStringLiteral("lastServiceIdentifier")).toLongLong(), 0xD201);
    EXPECT_EQ(store.value(QStringLiteral("lastServiceComponentIdentifier")).toInt(), -1);
}

TEST_F(ServiceManagerTest, PartialLastSelectionSetsNoAutoService)
{
    {
        QSettings store(home.storeFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("lastEnsembleIdentifier"), EnsembleId);
        store.setValue(QStringLiteral("lastServiceIdentifier"), 0xD203);
    }
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    EXPECT_EQ(manager->selectedService(), nullptr);
}

TEST_F(ServiceManagerTest, BurstOfDataReadyGivesOneCheck)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    for (int i = 0; i < 20; ++i) {
        emit fake->m_notifier.dataReady();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return !topLevel().isEmpty(); }, 2500));
    waitUntil([] { return false; }, 300);
    QMutexLocker locker(&shared->mutex);
    EXPECT_EQ(shared->snapshots, 1);
}

TEST_F(ServiceManagerTest, ScanEmptiesTheListAndPausesTheCheck)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    ASSERT_EQ(topLevel().size(), 4);
    emit fake->m_notifier.signalScanMode(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(topLevel().isEmpty());
    manager->doCheckDabData();
    EXPECT_TRUE(topLevel().isEmpty());
    emit fake->m_notifier.signalScanMode(false);
    QCoreApplication::processEvents();
    manager->doCheckDabData();
    EXPECT_EQ(topLevel().size(), 4);
}

TEST_F(ServiceManagerTest, InitFailsWithoutReceiver)
{
    // Without templates the pages fail before the manager starts (TestPages.cpp).
    fake->initResult = false;
    EXPECT_FALSE(manager->init());
    EXPECT_TRUE(logText().contains(QStringLiteral("ServiceManager::init() -> error: could not startup receiver")));
}

TEST_F(ServiceManagerTest, AcknowledgedAnnouncementsStayIgnored)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    Service *radio = topLevel().first();
    const ZOZ::Announcement traffic {ZOZ::Announcement::Dab, 0x0002, 100, 0x05010000, false, 3};
    radio->setAnnouncements({traffic});
    manager->acknowledgeAnnouncements(radio);
    ASSERT_EQ(radio->announcementEntries().size(), 1);
    EXPECT_TRUE(radio->announcementEntries().first().ignored);
    EXPECT_FALSE(radio->setAnnouncements({traffic}));
    EXPECT_TRUE(radio->announcementEntries().first().ignored);
}

TEST_F(ServiceManagerTest, AnnouncementsNameTheCarryingServiceAndEndWithTheirSwitch)
{
    ASSERT_TRUE(manager->init());
    ZOZ::DabEnsemble e = fourServices();
    e.services[0].announcementSupport.insert(0x0002, QByteArray(1, char(3)));
    ZOZ::DabAnnouncement traffic;
    traffic.clusterId = 3;
    traffic.aswFlags = 0x0002;
    traffic.subChId = 4;
    e.announcements.insert(4 * 256 + 3, traffic);
    setSnapshot({e});
    manager->doCheckDabData();
    Service *listener = topLevel().at(0);
    ASSERT_EQ(listener->announcementEntries().size(), 1);
    const ZOZ::Announcement entry = listener->announcementEntries().first();
    EXPECT_EQ(entry.flags, 0x0002);
    EXPECT_EQ(entry.clusterId, 3);
    EXPECT_EQ(entry.sid, topLevel().at(3)->serviceId());
    EXPECT_GT(entry.start, 0u);
    EXPECT_TRUE(topLevel().at(1)->announcementEntries().isEmpty());

    // The same switch keeps its start; its end empties the list.
    manager->doCheckDabData();
    EXPECT_EQ(listener->announcementEntries().first().start, entry.start);
    e.announcements.clear();
    setSnapshot({e});
    manager->doCheckDabData();
    EXPECT_TRUE(listener->announcementEntries().isEmpty());
}

TEST_F(ServiceManagerTest, CacheHooksRunOnPathChangeAndPeriodically)
{
    ASSERT_TRUE(manager->init());
    setSnapshot({sampleEnsemble()});
    manager->doCheckDabData();
    s_cacheClears = 0;
    s_cacheLoads = 0;
    s_cacheSaves = 0;
    settings->setCachePath(home.path() + QStringLiteral("/one/"));
    settings->setCachePath(home.path() + QStringLiteral("/two/"));
    QMetaObject::invokeMethod(manager, "checkCache");
    // Two top-level services; the base passes the call on to the children
    // and siblings, each counted once.
    EXPECT_EQ(s_cacheClears.load(), 5);
    EXPECT_EQ(s_cacheLoads.load(), 5);
    QMetaObject::invokeMethod(manager, "checkCache");
    EXPECT_EQ(s_cacheClears.load(), 5);
    EXPECT_EQ(s_cacheSaves.load(), 0);
    QMetaObject::invokeMethod(manager, "doSaveCache");
    EXPECT_EQ(s_cacheSaves.load(), 5);
}

TEST_F(ServiceManagerTest, ConfigurationChangesRenewTheServerIdOnce)
{
    const QString first = manager->getServerId();
    EXPECT_EQ(first.size(), 16);
    manager->clearDirtyFlags();
    manager->settingChanged({ZOZ::Settings::ConfigOptionChanged, ZOZ::Settings::SharedSettingChanged});
    EXPECT_NE(manager->getServerId(), first);
    EXPECT_TRUE(manager->isVariablesDirty());
    EXPECT_TRUE(manager->isServicesDirty());
    const QString second = manager->getServerId();
    manager->settingChanged({2});
    EXPECT_EQ(manager->getServerId(), second);
}

TEST_F(ServiceManagerTest, JournalineChildGoesFirstAndTheOthersMoveUp)
{
    ASSERT_TRUE(manager->init());
    ZOZ::DabEnsemble e = fourServices();
    ZOZ::DabServiceComponent &radio = e.services[0].primary;
    radio.userApplications << Snapshot::xpad(ZOZ::ServiceFactory::SlideShow)
                           << Snapshot::xpad(ZOZ::ServiceFactory::BroadcastWebsite);
    setSnapshot({e});
    manager->doCheckDabData();
    Service *parent = topLevel().first();
    ASSERT_EQ(parent->children().size(), 2);
    Service *slides = parent->children().at(0);
    Service *website = parent->children().at(1);

    radio.userApplications << Snapshot::xpad(ZOZ::ServiceFactory::Journaline);
    setSnapshot({e});
    manager->doCheckDabData();
    ASSERT_EQ(parent->children().size(), 3);
    Service *news = parent->children().first();
    EXPECT_EQ(news->shortname(), QStringLiteral("journaline"));
    EXPECT_EQ(news->serviceId(), 0x05000001);
    EXPECT_EQ(slides->serviceId(), 0x05000002);
    EXPECT_EQ(website->serviceId(), 0x05000003);
    EXPECT_TRUE(parent->hasJournaline());
    EXPECT_EQ(manager->findService(0x05000003), website);

    // Nothing new on the next pass.
    manager->doCheckDabData();
    EXPECT_EQ(parent->children().size(), 3);
}

namespace {

// The audio output as the selection sees it: the sources handed over, in order.
class RecordingAudioOutput : public ZOZ::AudioOutputPort
{
public:
    void setAudioSource(ZOZ::ServiceAudio *service) override { sources << service; }
    void playFile(const QString &fileName, bool overrideMuted) override { files << qMakePair(fileName, overrideMuted); }
    QVector<ZOZ::ServiceAudio *> sources;
    QVector<QPair<QString, bool>> files;
};

// Audio components become the real audio service; the rest as the kind factory makes them.
class AudioFactory : public TrackingFactory
{
public:
    Service *createAudioService(ZOZ::ServiceDescriptor &descriptor, bool dabPlus, int subChannelSize) override
    {
        return ZOZ::ServiceFactory::createAudioService(descriptor, dabPlus, subChannelSize);
    }
};

} // namespace

// The selected audio service plays and its stream goes to the audio output; the
// one before stops; an announcement is heard while it lasts; no selection is silence.
TEST_F(ServiceManagerTest, SelectedAudioServicePlaysThroughTheAudioOutput)
{
    ServiceManager::destroyInstance();
    shared = std::make_shared<FakeEnsembleSource::Shared>();
    manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared), std::make_unique<AudioFactory>());
    ASSERT_TRUE(manager->init());
    RecordingAudioOutput output;
    manager->setAudioOutput(&output);
    ASSERT_EQ(output.sources, QVector<ZOZ::ServiceAudio *>({nullptr}));

    setSnapshot({fourServices()});
    manager->doCheckDabData();
    const QVector<Service *> services = topLevel();
    ASSERT_EQ(services.size(), 4);
    auto *first = qobject_cast<ZOZ::ServiceAudio *>(services.at(0));
    auto *second = qobject_cast<ZOZ::ServiceAudio *>(services.at(1));
    auto *fourth = qobject_cast<ZOZ::ServiceAudio *>(services.at(3));
    ASSERT_TRUE(first && second && fourth);

    manager->withServices([&](const auto &) { manager->selectService(first, true); });
    EXPECT_TRUE(first->isPlaying());
    EXPECT_EQ(output.sources.last(), first);
    manager->withServices([&](const auto &) { manager->selectService(second, true); });
    EXPECT_FALSE(first->isPlaying());
    EXPECT_TRUE(second->isPlaying());
    EXPECT_EQ(output.sources.last(), second);

    ASSERT_TRUE(manager->selectAnnouncement(fourth));
    EXPECT_FALSE(second->isPlaying());
    EXPECT_EQ(output.sources.last(), fourth);
    manager->acknowledgeAnnouncements(second);
    EXPECT_FALSE(fourth->isPlaying());
    EXPECT_TRUE(second->isPlaying());
    EXPECT_EQ(output.sources.last(), second);

    manager->withServices([&](const auto &) { manager->selectService(nullptr, true); });
    EXPECT_FALSE(second->isPlaying());
    EXPECT_EQ(output.sources.last(), nullptr);
    manager->setAudioOutput(nullptr);
}

// A selected service's spoken label (a WAVE file the spoken-label decoder
// made) is played through the audio output while spoken labels are on.
TEST_F(ServiceManagerTest, SelectionPlaysTheSpokenLabelThroughTheAudioOutput)
{
    ASSERT_TRUE(manager->init());
    settings->setCachePath(work.path() + QStringLiteral("/cache/"));
    RecordingAudioOutput output;
    manager->setAudioOutput(&output);
    setSnapshot({fourServices()});
    manager->doCheckDabData();
    const QVector<Service *> services = topLevel();
    ASSERT_EQ(services.size(), 4);
    Service *first = services.at(0);
    Service *second = services.at(1);
    const QString folder = work.path() + QStringLiteral("/cache/spokenlabels/");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString label = folder + QStringLiteral("e%1s%2c%3.wav")
                                       .arg(QString::number(first->ecc() >> 4, 16).toUpper(),
                                            QString::number(first->serviceIdentifier(), 16).toUpper(),
                                            QString::number(first->shortId(), 16).toUpper());
    QFile file(label);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const auto select = [&](Service *service, bool ignoreSpokenLabel) {
        manager->withServices([&](const auto &) { manager->selectService(service, ignoreSpokenLabel); });
    };

    settings->setSpokenLabelsActive(false);
    select(first, false);
    EXPECT_TRUE(output.files.isEmpty()) << "spoken labels are off";
    settings->setSpokenLabelsActive(true);
    select(second, false);
    select(first, true);
    EXPECT_TRUE(output.files.isEmpty()) << "no label for the second, the first ignored";
    select(second, false);
    select(first, false);
    EXPECT_EQ(output.files, (QVector<QPair<QString, bool>>{{label, false}}));
    select(first, false);
    EXPECT_EQ(output.files.size(), 1) << "selecting the selected service again is silent";
    manager->playSpokenLabel(first, true);
    EXPECT_EQ(output.files.last(), qMakePair(label, true));
    manager->setAudioOutput(nullptr);
    manager->playSpokenLabel(first, true);
    EXPECT_EQ(output.files.size(), 2);
}

// The export lists what the services report: an audio service's codec (its
// classification until the decoder names one) and its bit rate.
TEST_F(ServiceManagerTest, ServiceListExportCarriesTheAudioServicesRates)
{
    ServiceManager::destroyInstance();
    shared = std::make_shared<FakeEnsembleSource::Shared>();
    manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared), std::make_unique<AudioFactory>());
    ASSERT_TRUE(manager->init());
    ZOZ::DabEnsemble mux = fourServices();
    mux.services[0].primary.bitRate = 12; // 96 kbit/s of DAB+
    setSnapshot({mux});
    manager->doCheckDabData();
    auto *first = qobject_cast<ZOZ::ServiceAudio *>(topLevel().value(0));
    ASSERT_TRUE(first);
    ASSERT_EQ(first->nominalBitRate(), 96000);

    QDir(ZOZ::dataFolder()).removeRecursively();
    ASSERT_TRUE(manager->prettyPrintServiceList());
    QFile csv(ZOZ::dataFolder() + QStringLiteral("zoz.ServiceList.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(csv.readAll());
    const QString mode = first->codecName().isEmpty() ? first->audioClassification() : first->codecName();
    const QString rate = QString::number(first->nominalBitRate() / 1000.0, 'f', 1);
    EXPECT_TRUE(lines.contains(QStringLiteral("\r\nTest Mux;Radio 1;%1;%2;0x10bc;").arg(mode, rate))) << qPrintable(lines);
    EXPECT_EQ(lines.count(QStringLiteral("\r\n")), 1 + 4);
}
