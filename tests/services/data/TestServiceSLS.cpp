// The SlideShow service: slides from MOT objects, trigger and expiry on a
// time source of the test's, the limit of 100 slides, the cache on disk.
#include "data/ZOZServiceSLS.h"
#include "data/ZOZSlideCache.h"

#include "SettingsFixture.h"
#include "SlideShowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using ZOZ::ServiceSLS;
using ZOZTest::Sls::SlideSpec;
using ZOZTest::Sls::dabNow;
using ZOZTest::Sls::dabTime;
using ZOZTest::Sls::slideGroups;

namespace {

constexpr quint32 Start = 1800000000; // a whole minute

QByteArray body(int seed, int size = 600)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed * 31 + i * 7 + (i >> 8));
    return bytes;
}

class ServiceSLSTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
    }

    ServiceSLS *makeService()
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        d.ensembleIdentifier = 0x10BC;
        d.applicationId = 2;
        d.applicationType = 12;
        auto *service = new ServiceSLS(d);
        service->retain();
        service->setTimeSource([this] { return now; });
        return service;
    }

    void send(ServiceSLS *service, uint16_t transportId, const QByteArray &bytes, const SlideSpec &spec)
    {
        for (const auto &group : slideGroups(transportId, bytes, spec))
            service->handlePacket(int(group.size()), group.data());
    }

    QJsonObject getSlides(ServiceSLS *service)
    {
        ZOZ::PageAnswer answer;
        EXPECT_TRUE(service->answerPage({service->requestPath(), QString(), {{QStringLiteral("getSlides"), QString()}}},
                                        answer));
        return QJsonDocument::fromJson(answer.body).object();
    }

    QString activeUrl(ServiceSLS *service) { return getSlides(service)[QStringLiteral("active")][QStringLiteral("url")].toString(); }

    QStringList listed(ServiceSLS *service)
    {
        QStringList names;
        for (const QJsonValue category : getSlides(service)[QStringLiteral("categories")].toArray())
            for (const QJsonValue slide : category[QStringLiteral("slides")].toArray())
                names << slide[QStringLiteral("md5")].toString();
        return names;
    }

    static QString nameOf(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    }

    quint32 now = Start;
};

TEST_F(ServiceSLSTest, NoSlidesAnswerAnEmptyList)
{
    ServiceSLS *service = makeService();
    const QJsonObject answer = getSlides(service);
    EXPECT_TRUE(answer[QStringLiteral("success")].toBool());
    EXPECT_EQ(QString(), answer[QStringLiteral("active")][QStringLiteral("url")].toString());
    EXPECT_TRUE(answer[QStringLiteral("categories")].toArray().isEmpty());
    service->release();
}

// Trigger "now" shows at once, a trigger in the future when the time comes,
// a slide without trigger never; an expired slide goes with its file.
TEST_F(ServiceSLSTest, TriggerAndExpiryFollowTheTimeSource)
{
    ServiceSLS *service = makeService();
    const QString prefix = service->requestPath();
    const QByteArray first = body(1), later = body(2), never = body(3), brief = body(4);

    send(service, 1, first, {"first.jpg", dabNow()});
    EXPECT_EQ(prefix + nameOf(first), activeUrl(service));
    EXPECT_EQ(32, nameOf(first).size());

    send(service, 2, later, {"later.jpg", dabTime(Start + 600)});
    send(service, 3, never, {"never.jpg"});
    EXPECT_EQ(prefix + nameOf(first), activeUrl(service));
    now = Start + 599;
    EXPECT_EQ(prefix + nameOf(first), activeUrl(service));
    now = Start + 600;
    EXPECT_EQ(prefix + nameOf(later), activeUrl(service));

    send(service, 4, brief, {"brief.jpg", dabNow(), dabTime(Start + 1200)});
    EXPECT_EQ(prefix + nameOf(brief), activeUrl(service));
    const QString file = service->cachePath() + nameOf(brief);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(listed(service).contains(nameOf(brief)));
    now = Start + 1200;
    EXPECT_FALSE(listed(service).contains(nameOf(brief)));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(QString(), activeUrl(service));
    EXPECT_EQ(3, listed(service).size());
    service->release();
}

// The same body twice is one slide; a MOT transport object (a header
// without body) shows a slide that has an image again.
TEST_F(ServiceSLSTest, RepeatedBodyAndHeaderUpdate)
{
    ServiceSLS *service = makeService();
    const QString prefix = service->requestPath();
    const QByteArray a = body(5), b = body(6);
    send(service, 1, a, {"a.jpg", dabNow()});
    send(service, 1, a, {"a.jpg", dabNow()});
    EXPECT_EQ(1, service->slides().count());
    send(service, 2, b, {"b.jpg", dabNow()});
    EXPECT_EQ(prefix + nameOf(b), activeUrl(service));

    SlideSpec update {"a.jpg", dabNow()};
    update.contentType = 5;
    update.subType = 0;
    send(service, 3, QByteArray(), update);
    EXPECT_EQ(prefix + nameOf(a), activeUrl(service));
    EXPECT_EQ(2, service->slides().count());
    service->release();
}

// The 101st slide evicts the one received first; when that was active, the
// next pending slide takes its place.
TEST_F(ServiceSLSTest, HundredAndFirstSlideEvictsTheOldest)
{
    ServiceSLS *service = makeService();
    const QString prefix = service->requestPath();
    send(service, 1, body(0), {"slide0.jpg", dabNow()});
    for (int n = 1; n < 100; ++n) {
        ++now;
        send(service, uint16_t(n + 1), body(n), {"slide" + std::to_string(n) + ".jpg"});
    }
    EXPECT_EQ(100, service->slides().count());
    EXPECT_EQ(prefix + nameOf(body(0)), activeUrl(service));
    const QString oldest = service->cachePath() + nameOf(body(0));
    EXPECT_TRUE(QFileInfo::exists(oldest));

    ++now;
    send(service, 200, body(100), {"slide100.jpg", dabTime(Start + 3600)});
    EXPECT_EQ(100, service->slides().count());
    const QStringList names = listed(service);
    EXPECT_FALSE(names.contains(nameOf(body(0))));
    EXPECT_TRUE(names.contains(nameOf(body(1))));
    EXPECT_TRUE(names.contains(nameOf(body(100))));
    EXPECT_FALSE(QFileInfo::exists(oldest));
    EXPECT_EQ(QString(), activeUrl(service));
    now = Start + 3600;
    EXPECT_EQ(prefix + nameOf(body(100)), activeUrl(service));
    service->release();
}

// Slides written to the cache come back old and not pending; a group whose
// image is gone is dropped from the index; a damaged index is passed over.
TEST_F(ServiceSLSTest, CacheRestoresSlides)
{
    const QByteArray kept = body(7), lost = body(8);
    QString folder;
    {
        ServiceSLS *service = makeService();
        folder = service->cachePath();
        SlideSpec withCategory {"kept.jpg", dabNow()};
        withCategory.categoryId = 3;
        withCategory.slideId = 1;
        withCategory.link = "https://example.org/kept";
        send(service, 1, kept, withCategory);
        send(service, 2, lost, {"lost.jpg"});
        service->release();
    }
    ASSERT_TRUE(QFile::remove(folder + nameOf(lost)));

    ServiceSLS *restored = makeService();
    const QJsonObject answer = getSlides(restored);
    EXPECT_EQ(restored->requestPath() + nameOf(kept), answer[QStringLiteral("active")][QStringLiteral("url")].toString());
    EXPECT_TRUE(answer[QStringLiteral("active")][QStringLiteral("isOld")].toBool());
    EXPECT_EQ(3, answer[QStringLiteral("active")][QStringLiteral("CID")].toInt());
    EXPECT_EQ(QStringLiteral("https://example.org/kept"), answer[QStringLiteral("active")][QStringLiteral("link")].toString());
    const QJsonArray categories = answer[QStringLiteral("categories")].toArray();
    ASSERT_EQ(1, categories.size());
    EXPECT_EQ(QStringLiteral("Category 3"), categories[0][QStringLiteral("title")].toString());
    EXPECT_EQ(1, restored->slides().count());
    restored->loadCache();
    EXPECT_EQ(1, restored->slides().count());
    EXPECT_FALSE(QSettings(folder + QStringLiteral("slides.ini"), QSettings::IniFormat).childGroups().contains(nameOf(lost)));
    restored->release();

    QFile index(folder + QStringLiteral("slides.ini"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
    index.write("\xff\xfe[\x01\n=\n[[[\n\x00\x00garbage=\"\n", 22);
    index.close();
    ServiceSLS *damaged = makeService();
    EXPECT_LE(damaged->slides().count(), 1);
    damaged->release();
}

TEST_F(ServiceSLSTest, PermanentCacheSwitchKeepsImagesOffTheDisk)
{
    settings->slsSetPermaCache(false);
    ServiceSLS *service = makeService();
    send(service, 1, body(9), {"a.jpg", dabNow(), dabTime(Start + 60)});
    EXPECT_FALSE(QFileInfo::exists(service->cachePath() + nameOf(body(9))));
    EXPECT_EQ(1, listed(service).size());
    now = Start + 60;
    EXPECT_TRUE(listed(service).isEmpty());
    service->release();
}

TEST_F(ServiceSLSTest, ClearCacheRemovesOnlySlideShowFolders)
{
    const QString root = settings->cachePath() + QStringLiteral("sls/");
    for (const char *folder : {"a", "b", "c"})
        ASSERT_TRUE(QDir().mkpath(root + QLatin1String(folder)));
    QFile(root + QStringLiteral("a/slides.ini")).open(QIODevice::WriteOnly);
    QFile(root + QStringLiteral("b/last.ini")).open(QIODevice::WriteOnly);
    QFile(root + QStringLiteral("c/other")).open(QIODevice::WriteOnly);
    ServiceSLS::clearCache();
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("a")));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("b")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("c/other")));
}

// Previews are made off the delivering thread, on the task thread or for the
// page that asks: at most 160 × 120.
TEST_F(ServiceSLSTest, PreviewOfTheActiveSlide)
{
    QImage image(800, 400, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    ServiceSLS *service = makeService();
    SlideSpec spec {"wide.png", dabNow()};
    spec.subType = 3;
    send(service, 1, png, spec);
    ZOZ::PageAnswer answer;
    ASSERT_TRUE(service->answerPage({service->requestPath(), QStringLiteral("x"), {{QStringLiteral("preview"), QString()}}},
                                    answer));
    EXPECT_EQ(QStringLiteral("image/png"), answer.mimeType);
    const QImage preview = QImage::fromData(answer.body);
    EXPECT_EQ(QSize(160, 80), preview.size());
    service->release();
}

} // namespace

namespace {

// The task thread calls what is registered, not after it was removed, and
// ends when its last user lets it go.
TEST(SlsTasks, RunsRegisteredWorkAndEndsWhenReleased)
{
    struct Counting : ZOZ::SlsRunnable
    {
        void run() override { ++calls; }
        std::atomic<int> calls {0};
    } work;
    std::shared_ptr<ZOZ::SlsTasks> tasks = ZOZ::SlsTasks::shared();
    EXPECT_EQ(tasks, ZOZ::SlsTasks::shared());
    tasks->add(&work);
    tasks->add(&work);
    QElapsedTimer waited;
    waited.start();
    while (work.calls.load() < 2 && waited.elapsed() < 10000)
        QThread::msleep(10);
    EXPECT_GE(work.calls.load(), 2);
    tasks->remove(&work);
    const int after = work.calls.load();
    QThread *thread = tasks.get();
    EXPECT_TRUE(thread->isRunning());
    tasks.reset();
    EXPECT_EQ(after, work.calls.load());
}

} // namespace
