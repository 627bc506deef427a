// SlideShows on air: the demo ensemble's slides and the recorded ensemble's
// SlideShow services, each in the X-PAD of its audio service.
#include "audio/ZOZServiceAudioDAB.h"
#include "data/ZOZServiceSLS.h"

#include "EtiSubchannels.h"
#include "SettingsFixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <set>

namespace {

using Bytes = std::vector<uint8_t>;

const char *const DemoEnsemble = ZOZ_BINARY_DIR "/resources/demo/5C.eti";
const char *const Slovenia = ZOZ_TESTDATA_DIR "/slovenia-r1.eti";
constexpr int XPadMotType = 12;

// A SlideShow that counts the data groups its decoder took.
class CountingSlideShow : public ZOZ::ServiceSLS
{
public:
    static CountingSlideShow *make()
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        d.applicationId = 2;
        d.applicationType = XPadMotType;
        auto *service = new CountingSlideShow(d);
        service->retain();
        return service;
    }
    bool handlePacket(int length, const uchar *const &data) override
    {
        ++groups;
        const bool taken = ServiceSLS::handlePacket(length, data);
        if (!taken)
            ++refused;
        return taken;
    }
    QString activeUrl()
    {
        ZOZ::PageAnswer answer;
        answerPage({requestPath(), QString(), {{QStringLiteral("getSlides"), QString()}}}, answer);
        return QJsonDocument::fromJson(answer.body).object()[QStringLiteral("active")][QStringLiteral("url")].toString();
    }

    int groups = 0;
    int refused = 0;

private:
    explicit CountingSlideShow(ZOZ::ServiceDescriptor &d)
        : ServiceSLS(d)
    {
    }
};

// An audio service with a SlideShow in its X-PAD, fed frame by frame.
struct Carrier
{
    Carrier(int size, bool dabPlus)
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        audio = new ZOZ::ServiceAudioDAB(d, size, false, dabPlus);
        audio->retain();
        slides = CountingSlideShow::make();
        audio->registerPadApplication(slides, false);
        audio->play();
    }
    ~Carrier()
    {
        audio->unregisterPadApplication(slides);
        slides->release();
        audio->release();
    }
    // Feeds the frames; `afterFrame` runs after each one.
    template <typename Visit>
    void feed(const Bytes &bytes, Visit afterFrame)
    {
        const size_t frameSize = audio->frameSize();
        for (size_t at = 0; at + frameSize <= bytes.size(); at += frameSize) {
            audio->receiveData(int(frameSize), bytes.data() + at);
            afterFrame();
        }
    }

    ZOZ::ServiceAudioDAB *audio;
    CountingSlideShow *slides;
};

QString digestOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex());
}

class SlideShowBroadcastTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
    }
};

// The demo's Layer II service carries two slides, each triggered "now": the
// active slide follows the broadcast from one to the other.
TEST_F(SlideShowBroadcastTest, DemoSlidesTakeTurns)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Carrier carrier(16, false);
    std::vector<QString> shown;
    carrier.feed(subchannels.at(1).bytes, [&] {
        if (carrier.slides->slides().count() == 0)
            return;
        const QString url = carrier.slides->activeUrl();
        if (shown.empty() || shown.back() != url)
            shown.push_back(url);
    });
    EXPECT_EQ(0, carrier.slides->refused);
    EXPECT_EQ(2, carrier.slides->slides().count());
    const QString prefix = carrier.slides->requestPath();
    const QString first = prefix + digestOf(QStringLiteral(ZOZ_SOURCE_DIR "/tools/ensemble/demo/zoz-classic.png"));
    const QString second = prefix + digestOf(QStringLiteral(ZOZ_SOURCE_DIR "/tools/ensemble/demo/zoz-classic-2.png"));
    ASSERT_GE(shown.size(), 3u);
    const std::set<QString> seen(shown.begin(), shown.end());
    EXPECT_EQ((std::set<QString> {first, second}), seen);
}

// The recording is 1.4 s long: in that time no X-PAD data group of any
// application type completes on any of its services, so no slide can; what
// holds is that the SlideShows ride along on every DAB+ service without a
// refused group or a slide made of broken data.
TEST_F(SlideShowBroadcastTest, RecordedSlideShowGroupsReachTheDecoder)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    for (const uint32_t subChannel : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 10u, 11u, 15u}) {
        SCOPED_TRACE("sub-channel " + std::to_string(subChannel));
        ASSERT_TRUE(subchannels.count(subChannel));
        const EtiSubchannel &sub = subchannels.at(subChannel);
        Carrier carrier(int(sub.size), true);
        carrier.feed(sub.bytes, [] {});
        EXPECT_EQ(0, carrier.slides->refused);
        EXPECT_EQ(0, carrier.slides->slides().count());
    }
}

} // namespace
