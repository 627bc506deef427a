// The service object on its own: setters, derived names, instance numbers,
// announcements and the preview image.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"

#include <memory>

using ZOZ::Announcement;
using ZOZ::Service;
using ZOZ::ServiceDescriptor;

namespace {

// Counts the hooks the base calls.
class CountingService : public Service
{
public:
    explicit CountingService(bool isData)
        : Service(isData)
    {
    }
    void reload() override { ++reloads; }
    void setup() override { ++setups; }
    int reloads = 0;
    int setups = 0;
};

CountingService *initialised(ServiceDescriptor d, bool isData = true)
{
    auto *service = new CountingService(isData);
    service->init(d);
    return service;
}

class ServiceTest : public ZOZTest::SettingsFixture
{
};

} // namespace

TEST_F(ServiceTest, SetterReportsChangeLogsOnceAndCleansLabels)
{
    HeldService service(initialised(serviceDescriptor(QStringLiteral("sls"))));
    EXPECT_FALSE(service->setStreamId(3));
    EXPECT_TRUE(service->setStreamId(7));
    EXPECT_FALSE(service->setStreamId(7));
    EXPECT_EQ(logText().count(QStringLiteral("Service::setStreamId() -> new stream ID: '7' (label[], id[10bc:d210])")), 1);

    EXPECT_TRUE(service->setServiceLabel(QStringLiteral(" A") + QChar(0) + QStringLiteral("B ")));
    EXPECT_EQ(service->label(), QStringLiteral("AB"));
    EXPECT_TRUE(logText().contains(QStringLiteral("new service label: 'AB'")));
    EXPECT_FALSE(service->setServiceLabel(QStringLiteral("AB") + QChar(0)));

    EXPECT_TRUE(service->setServiceIdentifier(qint64(0x10000)));
    EXPECT_TRUE(logText().contains(QStringLiteral("new service identifier: '65536'")));
    EXPECT_TRUE(service->setServiceECC(quint8(0xE1)));
    EXPECT_TRUE(logText().contains(QStringLiteral("new service ECC: '225'")));
}

TEST_F(ServiceTest, DerivedNamesFollowTheIdentifiers)
{
    settings->setCachePath(home.path() + QStringLiteral("/cache/"));
    HeldService stream(initialised(serviceDescriptor(QStringLiteral("sls"))));
    EXPECT_EQ(stream->globalId(), QStringLiteral("e0d210"));
    EXPECT_EQ(stream->singleViewPath(), QStringLiteral("4284.3.2/"));
    EXPECT_EQ(stream->cacheKey(), QStringLiteral("e0d210.a2"));
    EXPECT_EQ(stream->cachePath(), settings->cachePath() + QStringLiteral("sls/e0d210.a2/"));

    ServiceDescriptor packet = serviceDescriptor(QStringLiteral("bws"), 0xE0, 0x10000);
    packet.packetMode = true;
    packet.packetId = 5;
    HeldService wide(initialised(packet));
    EXPECT_EQ(wide->globalId(), QStringLiteral("10000"));
    EXPECT_TRUE(wide->cacheKey().endsWith(QStringLiteral(".d5")));

    ServiceDescriptor unset = serviceDescriptor(QStringLiteral("spi"));
    unset.applicationType = -1;
    HeldService noType(initialised(unset));
    EXPECT_TRUE(noType->cacheKey().endsWith(QStringLiteral(".a-1")));
}

TEST_F(ServiceTest, ReloadFollowsPathChangesOnlyOnceInitialised)
{
    auto *service = new CountingService(true);
    HeldService held(service);
    service->updatePaths();
    EXPECT_EQ(service->reloads, 0);
    ServiceDescriptor d = serviceDescriptor(QStringLiteral("sls"));
    service->init(d);
    EXPECT_EQ(service->reloads, 0);
    EXPECT_EQ(service->setups, 1);
    EXPECT_TRUE(service->setPacketId(9));
    EXPECT_EQ(service->reloads, 1);
    EXPECT_TRUE(service->setEnsembleIdentifier(17)); // names no folder
    EXPECT_EQ(service->reloads, 1);

    const QString before = service->cachePath();
    service->settingChanged({2, 8});
    EXPECT_EQ(service->reloads, 1);
    settings->setCachePath(home.path() + QStringLiteral("/elsewhere/"));
    EXPECT_EQ(service->reloads, 2);
    EXPECT_NE(service->cachePath(), before);
    EXPECT_TRUE(service->cachePath().startsWith(settings->cachePath()));
}

TEST_F(ServiceTest, InstanceNumbersFollowTheNameAndComeBack)
{
    auto *first = initialised(serviceDescriptor(QStringLiteral("regsls"), 0xE0, 0xD210));
    first->retain();
    HeldService second(initialised(serviceDescriptor(QStringLiteral("regsls"), 0xE0, 0xD210)));
    EXPECT_EQ(first->instanceName(), QStringLiteral("0e0-0000d210-regsls-0"));
    EXPECT_EQ(second->instanceName(), QStringLiteral("0e0-0000d210-regsls-1"));
    EXPECT_NE(first->instanceNumber(), second->instanceNumber());
    EXPECT_EQ(first->requestPath(), QStringLiteral("regsls-%1/").arg(first->instanceNumber()));
    const quint32 firstNumber = first->instanceNumber();
    first->release();

    HeldService again(initialised(serviceDescriptor(QStringLiteral("regsls"), 0xE0, 0xD210)));
    EXPECT_EQ(again->instanceName(), QStringLiteral("0e0-0000d210-regsls-0"));
    EXPECT_EQ(again->instanceNumber(), firstNumber);

    ServiceDescriptor component = serviceDescriptor(QStringLiteral("regsls"));
    component.sourceFlags = 1;
    component.componentIdS = 5;
    HeldService withSuffix(initialised(component));
    EXPECT_EQ(withSuffix->instanceName(), QStringLiteral("0e0-0000d210-regsls-05-0"));

    EXPECT_TRUE(logText().contains(QStringLiteral("(serviceId: 0xd210, streamId: 3, shortId: -1, packetId: -1, label: , ensemble: )")));
}

TEST_F(ServiceTest, FavouriteNeedsAnIdentityAndIsStoredOnce)
{
    ServiceDescriptor anonymous = serviceDescriptor(QStringLiteral("audio"));
    anonymous.ensembleIdentifier = -1;
    HeldService noIdentity(initialised(anonymous, false));
    EXPECT_FALSE(noIdentity->setServiceIsFavourite(true));
    EXPECT_FALSE(noIdentity->isServiceFavourite());

    HeldService service(initialised(serviceDescriptor(QStringLiteral("audio")), false));
    EXPECT_TRUE(service->setServiceIsFavourite(true));
    EXPECT_FALSE(service->setServiceIsFavourite(true));
    EXPECT_TRUE(service->isServiceFavourite());
    QSettings store(home.storeFile(), QSettings::IniFormat);
    EXPECT_TRUE(store.value(QStringLiteral("Services/service-4284-53776")).toBool());
    EXPECT_EQ(store.allKeys().filter(QStringLiteral("Services/")).size(), 1);
}

TEST_F(ServiceTest, DataAndTextMessagesMarkTheServiceOnce)
{
    ServiceDescriptor hidden = serviceDescriptor(QStringLiteral("sls"));
    hidden.visible = false;
    HeldService invisible(initialised(hidden));
    const uchar bytes[] = {1, 2, 3};
    const uchar *data = bytes;
    invisible->receiveData(0, data);
    EXPECT_FALSE(invisible->isReceiving());
    invisible->receiveData(3, data);
    EXPECT_TRUE(invisible->isReceiving());
    EXPECT_FALSE(invisible->isAvailable());

    HeldService service(initialised(serviceDescriptor(QStringLiteral("sls"))));
    service->receiveData(3, data);
    EXPECT_TRUE(service->isAvailable());

    int emitted = 0;
    QObject::connect(service.service, qOverload<>(&Service::newTextMessage), [&emitted] { ++emitted; });
    EXPECT_TRUE(service->newTextMessage(QStringLiteral("Now: News")));
    const int cycle = service->refreshCycle();
    EXPECT_FALSE(service->newTextMessage(QStringLiteral("Now: News")));
    EXPECT_EQ(emitted, 1);
    EXPECT_EQ(service->refreshCycle(), cycle);

    service->setMarked();
    EXPECT_FALSE(service->newTextMessage(QStringLiteral("later")));
    EXPECT_EQ(service->child(0, 0), nullptr);
}

TEST_F(ServiceTest, ChildResolvesComponentAndDataIndexes)
{
    HeldService primary(initialised(serviceDescriptor(QStringLiteral("audio")), false));
    HeldService sibling(initialised(serviceDescriptor(QStringLiteral("audio")), false));
    HeldService first(initialised(serviceDescriptor(QStringLiteral("sls"))));
    HeldService second(initialised(serviceDescriptor(QStringLiteral("bws"))));
    primary->siblings() << sibling.service;
    sibling->children() << first.service << second.service;

    EXPECT_EQ(primary->child(0, 0), primary.service);
    EXPECT_EQ(primary->child(2, 0), nullptr);
    EXPECT_EQ(primary->child(1, 5), sibling.service);
    EXPECT_EQ(primary->child(1, 2), second.service);

    primary->setServiceIsPresent(false);
    EXPECT_FALSE(sibling->isPresent());
    EXPECT_FALSE(second->isPresent());
    primary->setServiceIsPresent(true);
    EXPECT_TRUE(primary->isPresent());
    EXPECT_FALSE(first->isPresent());
    primary->siblings().clear();
    sibling->children().clear();
}

TEST_F(ServiceTest, AnnouncementsKeepIgnoredEntries)
{
    HeldService service(initialised(serviceDescriptor(QStringLiteral("audio")), false));
    EXPECT_FALSE(service->setAnnouncements({}));

    Announcement alarm {Announcement::Dab, 0x0001, 100, 0x01020000, false, 254};
    Announcement traffic {Announcement::Dab, 0x0002, 100, 0x01030000, false, 3};
    Announcement drm {Announcement::Drm, 0x0004, 100, 0x01040000, false, 0};
    ASSERT_TRUE(service->setAnnouncements({alarm, traffic, drm}));
    ASSERT_EQ(service->announcementEntries().size(), 3);

    // Only system, flags and SID identify an entry.
    Announcement later = traffic;
    later.start = 200;
    later.clusterId = 4;
    EXPECT_FALSE(service->setAnnouncements({alarm, later, drm}));
    EXPECT_EQ(service->announcementEntries().at(1).start, 100u);

    Announcement ignored = traffic;
    ignored.ignored = true;
    EXPECT_TRUE(service->setAnnouncements({alarm, ignored, drm}));
    EXPECT_FALSE(service->setAnnouncements({alarm, traffic, drm}));
    EXPECT_TRUE(service->announcementEntries().at(1).ignored);

    EXPECT_TRUE(service->setAnnouncements({}));
    EXPECT_TRUE(service->announcementEntries().isEmpty());
}

TEST_F(ServiceTest, SubtitleJoinsTheNonEmptyParts)
{
    struct Row
    {
        const char *name;
        QString ensemble;
        QString classification;
        QString expected;
    };
    const Row rows[] = {
        {"ensemble only", QStringLiteral("Radio"), QString(), QStringLiteral(" Radio")},
        {"classification only", QString(), QStringLiteral("Music"), QStringLiteral("(Music)")},
        {"nothing", QString(), QString(), QString()},
        {"both", QStringLiteral("Radio"), QStringLiteral("Music"), QStringLiteral(" Radio (Music)")},
    };
    for (const Row &row : rows) {
        ServiceDescriptor d = serviceDescriptor(QStringLiteral("audio"));
        d.ensembleLabel = row.ensemble;
        HeldService service(initialised(d, false));
        service->setAudioClassification(row.classification);
        EXPECT_EQ(service->subTitle(), row.expected) << row.name;
    }
}

TEST_F(ServiceTest, DataServiceTypeNames)
{
    EXPECT_EQ(Service::dataServiceTypeName(1504), QStringLiteral("Transparent File Transmission"));
    EXPECT_EQ(Service::dataServiceTypeName(1501), QStringLiteral("Unknown data service (1501)"));
    ServiceDescriptor unnamed = serviceDescriptor(QStringLiteral("tpeg"));
    unnamed.name.clear();
    unnamed.applicationId = 4;
    HeldService service(initialised(unnamed));
    EXPECT_EQ(service->name(), QStringLiteral("TPEG"));
}

TEST_F(ServiceTest, PreviewImageFallsBackAndNeedsTheQueryKey)
{
    settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
    HeldService sls(initialised(serviceDescriptor(QStringLiteral("sls"))));
    HeldService unknown(initialised(serviceDescriptor(QStringLiteral("nosuchkind"))));

    ZOZ::PageRequest request;
    request.path = sls->pagePath();
    request.file = QStringLiteral("x");
    ZOZ::PageAnswer response;
    EXPECT_FALSE(sls->answerPage(request, response));

    request.query.insert(QStringLiteral("preview"), QString());
    ASSERT_TRUE(sls->answerPage(request, response));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.mimeType, QStringLiteral("image/svg+xml"));
    EXPECT_TRUE(response.body.contains("id=\"sls\""));
    EXPECT_TRUE(response.lastModified.isValid());

    ZOZ::PageAnswer fallback;
    ASSERT_TRUE(unknown->answerPage(request, fallback));
    EXPECT_TRUE(fallback.body.contains("id=\"na\""));
}

TEST_F(ServiceTest, StreamLocationIsWhatTheReceiverNeeds)
{
    ServiceDescriptor packet = serviceDescriptor(QStringLiteral("bws"));
    packet.serviceId = qint32(0x07020001);
    packet.packetMode = true;
    packet.packetId = 0x3A1;
    packet.packetModeEnhanced = true;
    packet.sourceFlags = 1;
    HeldService data(initialised(packet));
    ZOZ::StreamConsumer::Location where = data->streamLocation();
    EXPECT_EQ(where.ensembleIndex, 7);
    EXPECT_EQ(where.streamId, 3);
    EXPECT_TRUE(where.packetMode);
    EXPECT_TRUE(where.ownPacketAddress);
    // The full 10-bit address, not only its low byte.
    EXPECT_EQ(where.packetAddress, 0x3A1);
    EXPECT_TRUE(where.packetModeEnhanced);
    EXPECT_EQ(where.reedSolomonRows, 12);
    EXPECT_EQ(where.reedSolomonColumns, 188);
    EXPECT_FALSE(where.shortHeaders());

    // A container stands for its children; a stream-mode service has no address.
    ServiceDescriptor container = packet;
    container.shortname = QStringLiteral("pmc");
    EXPECT_FALSE(HeldService(initialised(container))->streamLocation().ownPacketAddress);
    ServiceDescriptor audio = serviceDescriptor(QStringLiteral("audio"));
    audio.packetId = 12;
    HeldService stream(initialised(audio, false));
    where = stream->streamLocation();
    EXPECT_FALSE(where.packetMode);
    EXPECT_EQ(where.packetAddress, ZOZ::StreamConsumer::NoPacketAddress);
    // Without a selector id the service is on no ensemble the receiver knows.
    EXPECT_GT(where.ensembleIndex, 64);

    // The receiver's references are the service's own.
    const int count = stream->referenceCount();
    ZOZ::retainConsumer(stream.service);
    EXPECT_EQ(stream->referenceCount(), count + 1);
    ZOZ::releaseConsumer(stream.service);
    EXPECT_EQ(stream->referenceCount(), count);
}
