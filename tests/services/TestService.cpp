// The service object on its own: setters, derived names, instance numbers,
// announcements, page variables and the preview image.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "ZOZServiceValues.h"

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

// Services live by their references; the test holds one for each.
struct Held
{
    explicit Held(Service *service)
        : service(service)
    {
        service->retain();
    }
    ~Held() { service->release(); }
    Service *operator->() const { return service; }
    Service *service;
};

ServiceDescriptor descriptor(const QString &shortname, quint8 ecc = 0xE0, qint64 sid = 0xD210)
{
    ServiceDescriptor d;
    d.shortname = shortname;
    d.name = shortname;
    d.ecc = ecc;
    d.serviceIdentifier = sid;
    d.ensembleIdentifier = 4284;
    d.streamId = 3;
    d.applicationType = 2;
    return d;
}

CountingService *initialised(ServiceDescriptor d, bool isData = true)
{
    auto *service = new CountingService(isData);
    service->init(d);
    return service;
}

QVariant variable(const QVector<ZOZ::TemplateVariable> &variables, const QString &name)
{
    for (const ZOZ::TemplateVariable &entry : variables) {
        if (entry.name == name)
            return entry.isList ? QVariant(int(entry.items.size())) : QVariant(entry.value);
    }
    return QVariant();
}

class ServiceTest : public ZOZTest::SettingsFixture
{
};

} // namespace

TEST_F(ServiceTest, SetterReportsChangeLogsOnceAndCleansLabels)
{
    Held service(initialised(descriptor(QStringLiteral("sls"))));
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
    Held stream(initialised(descriptor(QStringLiteral("sls"))));
    EXPECT_EQ(stream->globalId(), QStringLiteral("e0d210"));
    EXPECT_EQ(stream->singleViewPath(), QStringLiteral("4284.3.2/"));
    EXPECT_EQ(stream->cacheKey(), QStringLiteral("e0d210.a2"));
    EXPECT_EQ(stream->cachePath(), settings->cachePath() + QStringLiteral("sls/e0d210.a2/"));

    ServiceDescriptor packet = descriptor(QStringLiteral("bws"), 0xE0, 0x10000);
    packet.packetMode = true;
    packet.packetId = 5;
    Held wide(initialised(packet));
    EXPECT_EQ(wide->globalId(), QStringLiteral("10000"));
    EXPECT_TRUE(wide->cacheKey().endsWith(QStringLiteral(".d5")));

    ServiceDescriptor unset = descriptor(QStringLiteral("spi"));
    unset.applicationType = -1;
    Held noType(initialised(unset));
    EXPECT_TRUE(noType->cacheKey().endsWith(QStringLiteral(".a-1")));
}

TEST_F(ServiceTest, ReloadFollowsPathChangesOnlyOnceInitialised)
{
    auto *service = new CountingService(true);
    Held held(service);
    service->updatePaths();
    EXPECT_EQ(service->reloads, 0);
    ServiceDescriptor d = descriptor(QStringLiteral("sls"));
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
    auto *first = initialised(descriptor(QStringLiteral("regsls"), 0xE0, 0xD210));
    first->retain();
    Held second(initialised(descriptor(QStringLiteral("regsls"), 0xE0, 0xD210)));
    EXPECT_EQ(first->instanceName(), QStringLiteral("0e0-0000d210-regsls-0"));
    EXPECT_EQ(second->instanceName(), QStringLiteral("0e0-0000d210-regsls-1"));
    EXPECT_NE(first->instanceNumber(), second->instanceNumber());
    EXPECT_EQ(first->requestPath(), QStringLiteral("regsls-%1/").arg(first->instanceNumber()));
    const quint32 firstNumber = first->instanceNumber();
    first->release();

    Held again(initialised(descriptor(QStringLiteral("regsls"), 0xE0, 0xD210)));
    EXPECT_EQ(again->instanceName(), QStringLiteral("0e0-0000d210-regsls-0"));
    EXPECT_EQ(again->instanceNumber(), firstNumber);

    ServiceDescriptor component = descriptor(QStringLiteral("regsls"));
    component.sourceFlags = 1;
    component.componentIdS = 5;
    Held withSuffix(initialised(component));
    EXPECT_EQ(withSuffix->instanceName(), QStringLiteral("0e0-0000d210-regsls-05-0"));

    EXPECT_TRUE(logText().contains(QStringLiteral("(serviceId: 0xd210, streamId: 3, shortId: -1, packetId: -1, label: , ensemble: )")));
}

TEST_F(ServiceTest, FavouriteNeedsAnIdentityAndIsStoredOnce)
{
    ServiceDescriptor anonymous = descriptor(QStringLiteral("audio"));
    anonymous.ensembleIdentifier = -1;
    Held noIdentity(initialised(anonymous, false));
    EXPECT_FALSE(noIdentity->setServiceIsFavourite(true));
    EXPECT_FALSE(noIdentity->isServiceFavourite());

    Held service(initialised(descriptor(QStringLiteral("audio")), false));
    EXPECT_TRUE(service->setServiceIsFavourite(true));
    EXPECT_FALSE(service->setServiceIsFavourite(true));
    EXPECT_TRUE(service->isServiceFavourite());
    QSettings store(home.storeFile(), QSettings::IniFormat);
    EXPECT_TRUE(store.value(QStringLiteral("Services/service-4284-53776")).toBool());
    EXPECT_EQ(store.allKeys().filter(QStringLiteral("Services/")).size(), 1);
}

TEST_F(ServiceTest, DataAndTextMessagesMarkTheServiceOnce)
{
    ServiceDescriptor hidden = descriptor(QStringLiteral("sls"));
    hidden.visible = false;
    Held invisible(initialised(hidden));
    const uchar bytes[] = {1, 2, 3};
    const uchar *data = bytes;
    invisible->receiveData(0, data);
    EXPECT_FALSE(invisible->isReceiving());
    invisible->receiveData(3, data);
    EXPECT_TRUE(invisible->isReceiving());
    EXPECT_FALSE(invisible->isAvailable());

    Held service(initialised(descriptor(QStringLiteral("sls"))));
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
    Held primary(initialised(descriptor(QStringLiteral("audio")), false));
    Held sibling(initialised(descriptor(QStringLiteral("audio")), false));
    Held first(initialised(descriptor(QStringLiteral("sls"))));
    Held second(initialised(descriptor(QStringLiteral("bws"))));
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

TEST_F(ServiceTest, AnnouncementsKeepIgnoredEntriesAndPositions)
{
    Held service(initialised(descriptor(QStringLiteral("audio")), false));
    EXPECT_FALSE(service->setAnnouncements({}));

    Announcement alarm {Announcement::Dab, 0x0001, 100, 0x01020000, false, 254};
    Announcement traffic {Announcement::Dab, 0x0002, 100, 0x01030000, false, 3};
    Announcement drm {Announcement::Drm, 0x0004, 100, 0x01040000, false, 0};
    ASSERT_TRUE(service->setAnnouncements({alarm, traffic, drm}));
    const QString json = ZOZ::announcementsValue(service->announcementEntries()).toJson();
    EXPECT_TRUE(json.contains(QStringLiteral("\"type\":\"DAB\",\"flag\":1,\"pos\":16,\"start\":100,\"ignored\":false,\"SID\":16908288,\"clusterId\":254")))
        << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\"flag\":2,\"pos\":1")));
    EXPECT_TRUE(json.contains(QStringLiteral("\"type\":\"DRM\",\"flag\":4,\"pos\":2,\"start\":100,\"ignored\":false,\"SID\":17039360}")))
        << json.toStdString();

    // Only system, flags and SID identify an entry.
    Announcement later = traffic;
    later.start = 200;
    later.clusterId = 4;
    EXPECT_FALSE(service->setAnnouncements({alarm, later, drm}));
    EXPECT_TRUE(ZOZ::announcementsValue(service->announcementEntries()).toJson().contains(QStringLiteral("\"start\":100")));

    Announcement ignored = traffic;
    ignored.ignored = true;
    EXPECT_TRUE(service->setAnnouncements({alarm, ignored, drm}));
    EXPECT_FALSE(service->setAnnouncements({alarm, traffic, drm}));
    EXPECT_TRUE(service->announcementEntries().at(1).ignored);

    EXPECT_TRUE(service->setAnnouncements({}));
    EXPECT_EQ(ZOZ::announcementsValue(service->announcementEntries()).toJson(), QStringLiteral("\"announcements\":[]"));
}

TEST_F(ServiceTest, PageVariablesDescribeTheService)
{
    ServiceDescriptor d = descriptor(QStringLiteral("sls"));
    d.serviceId = 0x01020304;
    Held service(initialised(d));
    const QVector<ZOZ::TemplateVariable> variables = ZOZ::serviceVariables(*service.service);
    ASSERT_EQ(variables.size(), 49);
    EXPECT_EQ(variables.first().name, QStringLiteral("HTTP_REFRESH_CYCLE"));
    EXPECT_EQ(variables.last().name, QStringLiteral("SUB"));
    EXPECT_EQ(variable(variables, QStringLiteral("IDE")).toString(), QStringLiteral("1"));
    EXPECT_EQ(variable(variables, QStringLiteral("IDS")).toString(), QStringLiteral("2"));
    EXPECT_EQ(variable(variables, QStringLiteral("IDC")).toString(), QStringLiteral("3"));
    EXPECT_EQ(variable(variables, QStringLiteral("ID__")).toString(), QString::number(0x01020300));
    EXPECT_EQ(variable(variables, QStringLiteral("ID_")).toString(), QString::number(0x01020000));
    EXPECT_EQ(variable(variables, QStringLiteral("revRequestPath")).toString(), QStringLiteral("../"));
    EXPECT_EQ(variable(variables, QStringLiteral("hasAudio")).toString(), QStringLiteral("false"));
    EXPECT_EQ(variable(variables, QStringLiteral("isAudio")).toString(), QStringLiteral("false"));
    EXPECT_EQ(variable(variables, QStringLiteral("shortId")).toString(), QStringLiteral("65535"));
    EXPECT_EQ(variable(variables, QStringLiteral("SCID")).toString(), QStringLiteral("65535"));

    Held audio(initialised(descriptor(QStringLiteral("audio")), false));
    EXPECT_EQ(variable(ZOZ::serviceVariables(*audio.service), QStringLiteral("hasAudio")).toString(), QStringLiteral("true"));

    Held child(initialised(descriptor(QStringLiteral("sls"))));
    Held other(initialised(descriptor(QStringLiteral("bws"))));
    Held grandchild(initialised(descriptor(QStringLiteral("spi"))));
    audio->children() << child.service << other.service;
    child->children() << grandchild.service;
    const QVector<ZOZ::TemplateVariable> tree = ZOZ::serviceVariables(*audio.service);
    ASSERT_EQ(variable(tree, QStringLiteral("SUB")).toInt(), 2);
    const ZOZ::TemplateVariable &sub = tree.last();
    EXPECT_EQ(variable(sub.items.at(0), QStringLiteral("SUB")).toInt(), 1);
    EXPECT_EQ(variable(sub.items.at(1), QStringLiteral("SUB")).toInt(), 0);
    audio->children().clear();
    child->children().clear();
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
        ServiceDescriptor d = descriptor(QStringLiteral("audio"));
        d.ensembleLabel = row.ensemble;
        Held service(initialised(d, false));
        service->setAudioClassification(row.classification);
        EXPECT_EQ(service->subTitle(), row.expected) << row.name;
    }
}

TEST_F(ServiceTest, DataServiceTypeNames)
{
    EXPECT_EQ(Service::dataServiceTypeName(1504), QStringLiteral("Transparent File Transmission"));
    EXPECT_EQ(Service::dataServiceTypeName(1501), QStringLiteral("Unknown data service (1501)"));
    ServiceDescriptor unnamed = descriptor(QStringLiteral("tpeg"));
    unnamed.name.clear();
    unnamed.applicationId = 4;
    Held service(initialised(unnamed));
    EXPECT_EQ(service->name(), QStringLiteral("TPEG"));
}

TEST_F(ServiceTest, PreviewImageFallsBackAndNeedsTheQueryKey)
{
    settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
    Held sls(initialised(descriptor(QStringLiteral("sls"))));
    Held unknown(initialised(descriptor(QStringLiteral("nosuchkind"))));

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
    ServiceDescriptor packet = descriptor(QStringLiteral("bws"));
    packet.serviceId = qint32(0x07020001);
    packet.packetMode = true;
    packet.packetId = 0x3A1;
    packet.packetModeEnhanced = true;
    packet.sourceFlags = 1;
    Held data(initialised(packet));
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
    EXPECT_FALSE(Held(initialised(container))->streamLocation().ownPacketAddress);
    ServiceDescriptor audio = descriptor(QStringLiteral("audio"));
    audio.packetId = 12;
    Held stream(initialised(audio, false));
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
