// Slides on the road a listener's slides take: images made with QImage, sent
// as MOT objects in the X-PAD of an audio service, decoded by the SlideShow
// service and fetched over a real connection from the HTTP server.
#include "HttpTestClient.h"
#include "PadTestSupport.h"
#include "SettingsFixture.h"
#include "SlideShowTestSupport.h"
#include "ZOZHttpSettingsAdapter.h"
#include "ZOZServicePageRegistry.h"
#include "ZOZServiceValues.h"
#include "audio/ZOZServiceAudioDAB.h"
#include "data/ZOZServiceSLS.h"
#include "http/ZOZHttpServer.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using ZOZTest::HttpAnswer;
using ZOZTest::requestWhileServing;
using namespace ZOZ::Test::Pad;

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

// A photograph-like picture: smooth gradients.
QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x + y) % 256));
    return image;
}

// Noise does not compress: a PNG of about 500 KB.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(33);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar(random.bounded(256));
    }
    return image;
}

class SlideShowPagesTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
        ZOZ::ServiceDescriptor audioDescriptor;
        audioDescriptor.serviceIdentifier = 0xD210;
        audio = new ZOZ::ServiceAudioDAB(audioDescriptor, 16, false, false);
        audio->retain();
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        d.applicationId = 2;
        d.applicationType = MotStart;
        slides = new ZOZ::ServiceSLS(d);
        slides->retain();
        audio->registerPadApplication(slides, false);
        server = std::make_unique<ZOZ::HttpServer>(nullptr, nullptr);
        adapter = std::make_unique<ZOZ::HttpSettingsAdapter>(settings, server.get());
        server->setSettings(adapter.get());
        ASSERT_TRUE(server->open());
        registry = std::make_unique<ZOZ::ServicePageRegistry>(server.get());
        registry->addPageSource(slides);
    }

    void TearDown() override
    {
        registry.reset();
        server->close();
        server.reset();
        adapter.reset();
        audio->unregisterPadApplication(slides);
        slides->release();
        audio->release();
        SettingsFixture::TearDown();
    }

    // The slide's groups in X-PAD, frame after frame, each group announced
    // by its length.
    void broadcast(uint16_t transportId, const QByteArray &image, const ZOZTest::Sls::SlideSpec &spec)
    {
        std::vector<Item> items;
        for (const Bytes &group : ZOZTest::Sls::slideGroups(transportId, image, spec)) {
            items.push_back({LengthIndicator, LengthIndicator, lengthIndicator(group.size())});
            items.push_back({MotStart, MotContinuation, group});
        }
        for (const Bytes &pad : variablePads(items, 7, false))
            audio->processPad(pad.data(), uint32_t(pad.size()));
    }

    HttpAnswer get(const QString &target)
    {
        const int port = server->port();
        return requestWhileServing(
            port, QStringLiteral("GET /%1 HTTP/1.1\r\nHost: 127.0.0.1:%2\r\n\r\n").arg(target).arg(port).toLatin1(), 10000);
    }

    QJsonObject getSlides()
    {
        const HttpAnswer answer = get(slides->requestPath() + QStringLiteral("?getSlides"));
        EXPECT_EQ(200, answer.status);
        return QJsonDocument::fromJson(answer.body).object();
    }

    ZOZ::ServiceAudioDAB *audio = nullptr;
    ZOZ::ServiceSLS *slides = nullptr;
    std::unique_ptr<ZOZ::HttpServer> server;
    std::unique_ptr<ZOZ::HttpSettingsAdapter> adapter;
    std::unique_ptr<ZOZ::ServicePageRegistry> registry;
};

QString variable(const QVector<ZOZ::TemplateVariable> &variables, const QString &name)
{
    for (const ZOZ::TemplateVariable &entry : variables) {
        if (entry.name == name)
            return entry.value;
    }
    return QStringLiteral("(none)");
}

// The service's page values name the active slide, or the SlideShow's own
// picture while there is none.
TEST_F(SlideShowPagesTest, PageValuesNameTheActiveSlide)
{
    EXPECT_EQ(QStringLiteral("img/preview/sls.svg"), variable(ZOZ::serviceVariables(*slides), QStringLiteral("imageURL")));
    ZOZTest::Sls::SlideSpec spec("photo.jpg", ZOZTest::Sls::dabNow());
    spec.categoryId = 4;
    spec.slideId = 1;
    spec.link = "https://example.org/?a=1&b=<2>";
    broadcast(0x10, encoded(gradient(64, 48), "JPEG"), spec);
    const QVector<ZOZ::TemplateVariable> values = ZOZ::serviceVariables(*slides);
    EXPECT_TRUE(variable(values, QStringLiteral("imageURL")).startsWith(slides->requestPath()));
    EXPECT_EQ(QStringLiteral("4"), variable(values, QStringLiteral("imageCID")));
    EXPECT_EQ(QStringLiteral("https://example.org/?a=1&b=<2>"), variable(values, QStringLiteral("imageLink")));
}

TEST_F(SlideShowPagesTest, SlidesFromXPadReachThePagesByteForByte)
{
    const QByteArray jpeg = encoded(gradient(640, 480), "JPEG");
    const QByteArray png = encoded(noise(408, 408), "PNG");
    ASSERT_GT(png.size(), 490000);
    ASSERT_LT(png.size(), qsizetype(ZOZ::ServiceSLS::EntityBufferSize - 500));

    struct Case
    {
        const char *name;
        const QByteArray &image;
        uint16_t subType;
        const char *mime;
    };
    const Case cases[] = {{"photo.jpg", jpeg, 1, "image/jpeg"}, {"noise.png", png, 3, "image/png"}};
    uint16_t transportId = 0x100;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ZOZTest::Sls::SlideSpec spec(c.name, ZOZTest::Sls::dabNow());
        spec.subType = c.subType;
        spec.link = "https://example.org/slides";
        broadcast(transportId++, c.image, spec);

        const QJsonObject answer = getSlides();
        EXPECT_TRUE(answer[QStringLiteral("success")].toBool());
        const QJsonObject active = answer[QStringLiteral("active")].toObject();
        const QString url = active[QStringLiteral("url")].toString();
        ASSERT_TRUE(url.startsWith(slides->requestPath())) << url.toStdString();
        EXPECT_FALSE(active[QStringLiteral("isOld")].toBool());
        EXPECT_EQ(QStringLiteral("https://example.org/slides"), active[QStringLiteral("link")].toString());

        const HttpAnswer file = get(url);
        EXPECT_EQ(200, file.status);
        EXPECT_EQ(QByteArray(c.mime), file.header("content-type").split(';').first());
        EXPECT_TRUE(file.body == c.image) << "the image differs from what was sent";

        const HttpAnswer preview = get(slides->requestPath() + QStringLiteral("x?preview"));
        EXPECT_EQ(200, preview.status);
        const QImage small = QImage::fromData(preview.body);
        EXPECT_FALSE(small.isNull());
        EXPECT_LE(small.width(), 160);
        EXPECT_LE(small.height(), 120);
    }
    const QJsonArray categories = getSlides()[QStringLiteral("categories")].toArray();
    ASSERT_EQ(1, categories.size());
    EXPECT_EQ(2, categories[0][QStringLiteral("slides")].toArray().size());
}

TEST_F(SlideShowPagesTest, SlidePageAndUnknownFiles)
{
    settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/resources/web/"));
    const HttpAnswer page = get(slides->requestPath());
    EXPECT_EQ(200, page.status);
    EXPECT_TRUE(page.body.contains("sls.js"));
    EXPECT_EQ(404, get(slides->requestPath() + QStringLiteral("0123456789abcdef0123456789abcdef")).status);
}

} // namespace
