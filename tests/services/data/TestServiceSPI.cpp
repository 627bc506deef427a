// The programme guide service: the objects of its carousel sorted into guide
// documents, spoken labels and logos; its guide as JSON, its page and its
// objects; and the guide service of the recorded Slovenian ensemble.
#include "data/ZOZServiceSPI.h"
#include "data/ZOZSLDecoder.h"
#include "data/ZOZSpiManager.h"

#include "DabMotDecoder.h"
#include "DabPacketDecoder.h"
#include "EtiSubchannels.h"
#include "MotCarouselTestSupport.h"
#include "SettingsFixture.h"
#include "SpiEncoder.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace ZOZ;
using namespace ZOZTest::Spi;
using ZOZTest::Carousel::Object;

namespace {

const char *const Slovenia = ZOZ_TESTDATA_DIR "/slovenia-r1.eti";
constexpr quint32 CarrierSid = 0xE0D2D1;
constexpr quint32 GuideSid = 0xD2D1;
constexpr int PacketSubChannel = 6;
constexpr uint16_t GuidePacketAddress = 2;

class GuideService : public ServiceSPI
{
public:
    static GuideService *make()
    {
        ServiceDescriptor d;
        d.serviceIdentifier = CarrierSid;
        d.ensembleIdentifier = 0x1ABC;
        d.ecc = 0xE0;
        d.countryId = 0xD;
        d.sourceFlags = 1; // a DAB service: content IDs in their full form
        d.packetMode = true;
        d.packetId = GuidePacketAddress;
        d.applicationType = 7;
        auto *service = new GuideService(d);
        service->retain();
        service->setup();
        return service;
    }

    int feed(const std::vector<ZOZTest::Carousel::Bytes> &groups)
    {
        int refused = 0;
        for (const auto &group : groups) {
            const uchar *data = group.data();
            refused += handlePacket(int(group.size()), data) ? 0 : 1;
        }
        return refused;
    }

    PageAnswer page(const QString &file, const QString &query = QString())
    {
        // As the server asks: the path below the service's own.
        PageRequest request;
        request.path = requestPath();
        request.file = file;
        if (!query.isEmpty())
            request.query.insert(query, QString());
        PageAnswer answer;
        answer.status = answerPage(request, answer) ? answer.status : 0;
        return answer;
    }

    const MotDirectory *directory() { return currentDirectory(); }

    QJsonArray guide()
    {
        const PageAnswer answer = page(QString(), QStringLiteral("getServices"));
        const QJsonObject object = QJsonDocument::fromJson(answer.body).object();
        EXPECT_TRUE(object.value(QStringLiteral("success")).toBool());
        return object.value(QStringLiteral("services")).toArray();
    }

private:
    explicit GuideService(ServiceDescriptor &d)
        : ServiceSPI(d)
    {
    }
};

struct Released
{
    void operator()(Pointer *pointer) const { pointer->release(); }
};

QDateTime utcToday(int hour)
{
    return QDateTime(QDate::currentDate(), QTime(hour, 0), Qt::UTC);
}

QByteArray sid16(quint32 sid)
{
    ContentId id;
    id.sid = sid;
    return id.bytes();
}

QByteArray serviceInformation(const QByteArray &description)
{
    const QByteArray service =
        element(Tag::Service, textElement(Tag::MediumName, "Radio One")
                                  + element(Tag::MediaDescription, textElement(Tag::LongDescription, description))
                                  + element(Tag::MediaDescription, multimedia("logo128.png", 2, 128, 128))
                                  + element(Tag::ServiceId, attribute(0x80, sid16(GuideSid))));
    const QByteArray ensemble = element(Tag::Ensemble, attribute(0x80, QByteArray("\xE0\x1A\xBC", 3))
                                                           + textElement(Tag::MediumName, "Ensemble") + service);
    return element(Tag::ServiceInformation, attribute(0x80, be16(1)) + ensemble);
}

QByteArray programmeInformation()
{
    Programme morning;
    morning.mediumName = "Morning";
    morning.start = utcToday(6);
    morning.duration = 3 * 3600;
    Programme news;
    news.mediumName = "News <b>at nine</b>";
    news.longDescription = "Headlines\nand weather";
    news.start = utcToday(9);
    news.duration = 1800;
    const QByteArray schedule = attribute(0x80, be16(3)) + morning.bytes() + news.bytes();
    return element(Tag::Spi, block(Tag::DefaultContentId, sid16(GuideSid)) + element(Tag::Schedule, schedule));
}

Object document(const std::string &name, const QByteArray &body, uint16_t subType)
{
    Object object(name, body);
    object.contentType = 7;
    object.contentSubType = subType;
    return object;
}

Object image(const std::string &name, const QByteArray &body, uint16_t subType)
{
    Object object(name, body);
    object.contentType = 2;
    object.contentSubType = subType; // 1 JPEG, 3 PNG
    return object;
}

const QByteArray PngBytes = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray(64, 'p');

template <typename Condition>
bool waitFor(Condition condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 20000)
            return false;
        QThread::msleep(10);
    }
    return true;
}

class ServiceSpiTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        cache = work.path() + QStringLiteral("/cache/");
        settings->setCachePath(cache);
        service.reset(GuideService::make());
    }

    void TearDown() override
    {
        service.reset();
        SettingsFixture::TearDown();
    }

    QString cache;
    std::unique_ptr<GuideService, Released> service;
};

} // namespace

TEST(ServiceSpiObjects, SortedByContentTypeAndName)
{
    using Kind = ServiceSPI::ObjectKind;
    const struct {
        int type;
        int subType;
        const char *name;
        Kind expected;
    } rows[] = {
        {7, 0, "si.bin", Kind::Document},
        {7, 1, "pi.bin", Kind::Document},
        {7, 2, "gi.bin", Kind::Document},
        {7, 3, "other.bin", Kind::LogoCandidate},
        {1, 0, "e1s2c3.m4a", Kind::SpokenLabel},
        {1, 0, "label_e1As2c0.m4a", Kind::SpokenLabel},
        {1, 0, "e1s2c3.M4A", Kind::SpokenLabel},
        {1, 0, "E1S2C3.m4a", Kind::LogoCandidate},
        {1, 0, "e1s2c3.mp4", Kind::LogoCandidate},
        {2, 3, "logo.png", Kind::LogoCandidate},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.expected, ServiceSPI::kindOf(row.type, row.subType, QString::fromLatin1(row.name))) << row.name;
}

TEST_F(ServiceSpiTest, WithoutServiceInformationTheGuideIsEmpty)
{
    EXPECT_EQ(0, service->guide().size());
    EXPECT_EQ(QStringLiteral("spi"), service->shortname());
}

// A carousel of service and programme information, a logo and a spoken
// label: the guide lists the service with its programmes, the logo is saved
// for the service, the clip goes to the spoken-label folder.
TEST_F(ServiceSpiTest, CarouselFillsGuideLogoAndSpokenLabels)
{
    const std::vector<Object> objects {
        document("si.bin", serviceInformation("Line one\nLine \"two\""), 0),
        document("pi.bin", programmeInformation(), 1),
        image("logo128.png", PngBytes, 3),
        Object("e1s2c3.m4a", QByteArray("clip")),
    };
    EXPECT_EQ(0, service->feed(ZOZTest::Carousel::carousel(objects)));

    const QJsonArray guide = service->guide();
    ASSERT_EQ(1, guide.size());
    const QJsonObject entry = guide.at(0).toObject();
    EXPECT_EQ(int(GuideSid), entry.value(QStringLiteral("serviceIdentifier")).toInt());
    EXPECT_EQ(QStringLiteral("Radio One"), entry.value(QStringLiteral("nameMedium")).toString());
    // Line breaks arrive as markup and double quotes as single ones, HTML-escaped.
    EXPECT_EQ(QStringLiteral("Line one&lt;br/&gt;Line 'two'"), entry.value(QStringLiteral("description")).toString());
    const QJsonArray programmes = entry.value(QStringLiteral("programmes")).toArray();
    ASSERT_EQ(2, programmes.size());
    EXPECT_EQ(utcToday(6).toSecsSinceEpoch(), programmes.at(0).toObject().value(QStringLiteral("start")).toInteger());
    EXPECT_EQ(utcToday(9).addSecs(1800).toSecsSinceEpoch(),
              programmes.at(1).toObject().value(QStringLiteral("stop")).toInteger());
    EXPECT_EQ(QStringLiteral("News &lt;b&gt;at nine&lt;/b&gt;"),
              programmes.at(1).toObject().value(QStringLiteral("nameMedium")).toString());

    QFile logo(cache + QStringLiteral("logos/e0d2d1.png"));
    ASSERT_TRUE(logo.open(QIODevice::ReadOnly)) << "the chosen logo is saved under the service's key";
    EXPECT_EQ(PngBytes, logo.readAll());

    const QString clip = cache + QLatin1String(SLDecoder::FolderName) + QStringLiteral("e1s2c3.m4a");
    EXPECT_TRUE(waitFor([&] { return QFile::exists(clip); }));
    // Nothing of the carousel goes to the service's own cache folder.
    EXPECT_FALSE(QFile::exists(service->cachePath() + ServiceMOT::IndexFileName));
}

TEST_F(ServiceSpiTest, RepeatedDocumentIsDecodedAgainWithoutChange)
{
    const std::vector<Object> objects {document("si.bin", serviceInformation("About"), 0)};
    EXPECT_EQ(0, service->feed(ZOZTest::Carousel::carousel(objects)));
    ASSERT_EQ(1, service->guide().size());
    const quint32 version = SpiManager::version();
    // The object was requested again at once: the next round delivers it again.
    EXPECT_EQ(0, service->feed(ZOZTest::Carousel::bodyGroups(objects)));
    EXPECT_EQ(version, SpiManager::version());
}

// Objects are served by name, as broadcast content that stays apart from the
// player's pages.
TEST_F(ServiceSpiTest, ObjectsServedByNameAsBroadcastContent)
{
    const std::vector<Object> objects {
        image("logo128.png", PngBytes, 3),
        Object("evil.html", QByteArray("<script>alert(1)</script>"), "text/html"),
    };
    EXPECT_EQ(0, service->feed(ZOZTest::Carousel::carousel(objects)));

    const PageAnswer logo = service->page(QStringLiteral("logo128.png"));
    EXPECT_EQ(200, logo.status);
    EXPECT_EQ(QStringLiteral("image/png"), logo.mimeType);
    EXPECT_EQ(PngBytes, logo.body);
    EXPECT_TRUE(logo.broadcastContent);
    const PageAnswer html = service->page(QStringLiteral("evil.html"));
    EXPECT_EQ(200, html.status);
    EXPECT_TRUE(html.broadcastContent);
    EXPECT_EQ(QStringLiteral("evil.html"), html.contentName);
    EXPECT_EQ(0, service->page(QStringLiteral("missing.png")).status);

    const PageAnswer guidePage = service->page(QString());
    EXPECT_EQ(200, guidePage.status);
    EXPECT_EQ(QStringLiteral("text/html"), guidePage.mimeType);
    EXPECT_TRUE(guidePage.body.contains("spi-programmes"));
    const PageAnswer preview = service->page(QString(), QStringLiteral("preview"));
    EXPECT_EQ(QStringLiteral("image/svg+xml"), preview.mimeType);
}

// The recording's guide service "Spored" (packet address 2 of sub-channel 6)
// sends its directory: it announces no objects, and every group is taken.
TEST_F(ServiceSpiTest, RecordedGuideServiceDeliversItsDirectory)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (subchannels.empty())
        GTEST_SKIP() << "slovenia-r1.eti not found in " ZOZ_TESTDATA_DIR;
    ASSERT_TRUE(subchannels.count(PacketSubChannel));
    const EtiSubchannel &sub = subchannels.at(PacketSubChannel);

    std::unique_ptr<DabPmDecoder, decltype(&std::free)> decoder(
        static_cast<DabPmDecoder *>(std::malloc(DAB_Bb_Ruz_PmDecoderGetSize())), &std::free);
    ASSERT_EQ(PM_DECODER_OK, DAB_Bb_Ruz_PmDecoderInit(decoder.get(), PM_MODE_STANDARD, 0));
    static GuideService *target = nullptr;
    static int groups = 0;
    static int refused = 0;
    target = service.get();
    groups = refused = 0;
    std::vector<uint8_t> buffer(8216);
    ASSERT_EQ(PM_DECODER_OK,
              DAB_Bb_Ruz_PmDecoderAddAddress(decoder.get(), GuidePacketAddress, PM_ADDRESS_DATA_GROUPS, buffer.data(),
                                             uint32_t(buffer.size()),
                                             [](uint8_t *data, uint32_t length, uint32_t) {
                                                 ++groups;
                                                 const uchar *bytes = data;
                                                 refused += target->handlePacket(int(length), bytes) ? 0 : 1;
                                                 return 0;
                                             },
                                             0));
    uint32_t length = uint32_t(sub.bytes.size());
    RUZ_PM_Process(decoder.get(), sub.bytes.data(), &length);

    EXPECT_GT(groups, 0);
    EXPECT_EQ(0, refused);
    const MotDirectory *directory = service->directory();
    ASSERT_NE(nullptr, directory);
    EXPECT_EQ(11355, directory->transportId);
    EXPECT_EQ(0, directory->numberOfObjects);
    EXPECT_EQ(0, service->directoryObjects());
    // Nothing announced, nothing to wait for: an SPI scan moves on.
    EXPECT_TRUE(service->receptionProgress()->complete);
}
