// The MOT object service: names that stay in the cache folder, a carousel
// received, stored, repeated without writing, restored; links of HTML
// objects; progress.
#include "data/ZOZMotFile.h"
#include "data/ZOZServiceMOT.h"

#include "MotCarouselTestSupport.h"
#include "SettingsFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

using ZOZ::MotFile;
using ZOZ::ServiceMOT;
using ZOZTest::Carousel::Object;

namespace {

class CountingService : public ServiceMOT
{
public:
    explicit CountingService(ZOZ::ServiceDescriptor &d)
        : ServiceMOT(d, 512000)
    {
        d.name = QStringLiteral("MOT test");
        d.shortname = QStringLiteral("mot");
        init(d);
    }

    void send(const std::vector<ZOZ::Test::Mot::Bytes> &groups)
    {
        for (const auto &group : groups)
            handlePacket(int(group.size()), group.data());
    }

    QByteArray bodyOf(const QString &name)
    {
        QReadLocker locker(&objectMapLock());
        MotFile *file = objects().value(name);
        return file ? file->body : QByteArray();
    }

    bool knows(const QString &name)
    {
        QReadLocker locker(&objectMapLock());
        return objects().contains(name);
    }

    int changed = 0;
    int unchanged = 0;

protected:
    void onObjectChanged(MotFile *) override { ++changed; }
    void onObjectUnchanged(MotFile *) override { ++unchanged; }
};

QByteArray bytes(int seed, int size)
{
    QByteArray b(size, 0);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed * 13 + i * 7 + (i >> 7));
    return b;
}

class ServiceMOTTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
    }

    CountingService *makeService()
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xE0D010;
        d.ensembleIdentifier = 0x10BC;
        d.applicationType = 3;
        auto *service = new CountingService(d);
        service->retain();
        return service;
    }
};

QString nameOf(const std::string &contentName)
{
    MotHeader header {};
    header.contentName = reinterpret_cast<const uint8_t *>(contentName.data());
    header.contentNameLength = uint16_t(contentName.size());
    return ServiceMOT::objectName(header);
}

} // namespace

TEST(MotObjectName, UnusualCharactersAndTraversalSegmentsGo)
{
    const struct {
        const char *contentName;
        const char *expected;
    } rows[] = {
        {"a\\b c.html", "a/b_c.html"},
        {"/x.html", "x.html"},
        {"dir/sub/file.html", "dir/sub/file.html"},
        {"../../etc/passwd", "etc/passwd"},
        {"a/../../b", "a/b"},
        {"./a//b/.", "a/b"},
        {"..\\..\\win.ini", "win.ini"},
        {"..", ""},
        {"/", ""},
        {"", ""},
        {"%2e%2e/x", "_2e_2e/x"},
        {"na\xc3\xafve.html", "na_ve.html"},
        {"...", "..."},
    };
    for (const auto &row : rows)
        EXPECT_EQ(QString::fromUtf8(row.expected), nameOf(row.contentName)) << row.contentName;
}

TEST_F(ServiceMOTTest, CacheFilePathsStayInTheFolder)
{
    const QString folder = work.path() + QStringLiteral("/objects/");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("inner")));
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), folder + QStringLiteral("out")));
    ASSERT_TRUE(QFile::link(outside.path() + QStringLiteral("/none"), folder + QStringLiteral("dangling")));
    const struct {
        const char *name;
        bool allowed;
    } rows[] = {
        {"index.html", true},
        {"inner/page.html", true},
        {"new/deeper/page.html", true},
        {"../escape.html", false},
        {"inner/../../escape.html", false},
        {"__ZOZ_FILES.ini", false},
        {"inner/../__ZOZ_FILES.ini", false},
        {"out/file.html", false},
        {"out", false},
        {"dangling", false},
        {"", false},
    };
    for (const auto &row : rows) {
        const QString path = ServiceMOT::cacheFilePath(folder, QString::fromUtf8(row.name));
        EXPECT_EQ(row.allowed, !path.isEmpty()) << row.name << " -> " << path.toStdString();
        if (row.allowed) {
            EXPECT_TRUE(path.startsWith(QDir::cleanPath(folder) + QLatin1Char('/')));
        }
    }
}

// Received, stored with its index group; the same bytes again write nothing
// and count as unchanged; changed bytes are written again.
TEST_F(ServiceMOTTest, CarouselIsStoredOnceAndRestored)
{
    CountingService *service = makeService();
    const QString folder = service->cachePath();
    std::vector<Object> objects = {{"index.html", "<p>start</p>"}, {"dir/sub/file.css", bytes(1, 9000)}};
    service->send(ZOZTest::Carousel::carousel(objects));
    EXPECT_EQ(2, service->changed);
    EXPECT_EQ(objects[1].body, service->bodyOf(QStringLiteral("dir/sub/file.css")));
    QFile stored(folder + QStringLiteral("dir/sub/file.css"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(objects[1].body, stored.readAll());
    stored.close();
    service->reload(); // closes the index
    {
        QSettings index(folder + ServiceMOT::IndexFileName, QSettings::IniFormat);
        EXPECT_TRUE(index.childGroups().contains(QStringLiteral("dir--SLASH--sub--SLASH--file.css")));
        EXPECT_NE(0u, index.value(QStringLiteral("index.html/timeReceived")).toUInt());
    }
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1600000000);
    for (const QString &name : {QStringLiteral("index.html"), QStringLiteral("dir/sub/file.css"), ServiceMOT::IndexFileName}) {
        QFile file(folder + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    }

    // The restored objects arrive again with the same bytes.
    service->send(ZOZTest::Carousel::carousel(objects, {}, 100));
    EXPECT_EQ(2, service->unchanged);
    EXPECT_EQ(2, service->changed);
    service->reload();
    for (const QString &name : {QStringLiteral("index.html"), QStringLiteral("dir/sub/file.css"), ServiceMOT::IndexFileName})
        EXPECT_EQ(old, QFileInfo(folder + name).lastModified()) << name.toStdString();

    objects[0].body = "<p>changed</p>";
    service->send(ZOZTest::Carousel::carousel(objects, {}, 200));
    EXPECT_EQ(3, service->changed);
    service->release();

    // A fresh service restores both from the cache.
    CountingService *restored = makeService();
    EXPECT_EQ(QByteArray("<p>changed</p>"), restored->bodyOf(QStringLiteral("index.html")));
    EXPECT_EQ(objects[1].body, restored->bodyOf(QStringLiteral("dir/sub/file.css")));
    restored->release();
}

TEST_F(ServiceMOTTest, ProgressReachesCompleteOncePerDirectory)
{
    CountingService *service = makeService();
    const std::vector<Object> objects = {{"a.html", "a"}, {"b.html", "b"}, {"c.html", "c"}, {"d.html", "d"}};
    service->send(ZOZTest::Carousel::directoryGroups(objects));
    EXPECT_FALSE(service->receptionProgress()->complete);
    const auto bodies = ZOZTest::Carousel::bodyGroups(objects);
    service->send({bodies[0]});
    EXPECT_EQ(25, service->receptionProgress()->progress);
    EXPECT_FALSE(service->receptionProgress()->complete);
    service->send(bodies);
    EXPECT_EQ(4, service->receivedObjects());
    EXPECT_EQ(100, service->receptionProgress()->progress);
    EXPECT_TRUE(service->receptionProgress()->complete);
    service->release();
}

// The recorded ensembles' guide service sends a directory of no objects: there is
// nothing left to wait for.
TEST_F(ServiceMOTTest, AnEmptyDirectoryIsComplete)
{
    CountingService *service = makeService();
    service->send(ZOZTest::Carousel::directoryGroups({}));
    EXPECT_EQ(100, service->receptionProgress()->progress);
    EXPECT_TRUE(service->receptionProgress()->complete);
    service->release();
}

TEST_F(ServiceMOTTest, LinksOfHtmlObjectsStayBelowTheServicePath)
{
    CountingService *service = makeService();
    const QString prefix = service->requestPath();
    const std::vector<Object> objects = {
        {"page.html", "<a href=\"/img/a.png\">x</a><img src='/b.png'><a href=a.png>y</a><a href=\"rel.html\">"},
        {"data.txt", "<a href=\"/img/a.png\">", "text/plain"},
        {"latin1.html", "<p>caf\xe9 \xa0<a href=\"/caf\xe9.html\">\xff</a><img src='/\xc3\xa0'>"},
    };
    service->send(ZOZTest::Carousel::carousel(objects));
    EXPECT_EQ(QStringLiteral("<a href=\"/%1img/a.png\">x</a><img src='/%1b.png'><a href=a.png>y</a><a href=\"rel.html\">")
                  .arg(prefix),
              QString::fromUtf8(service->bodyOf(QStringLiteral("page.html"))));
    EXPECT_EQ(objects[1].body, service->bodyOf(QStringLiteral("data.txt")));
    // Bytes that are no UTF-8 stay as they were.
    EXPECT_EQ(QByteArray("<p>caf\xe9 \xa0<a href=\"/") + prefix.toLatin1() + QByteArray("caf\xe9.html\">\xff</a><img src='/")
                  + prefix.toLatin1() + QByteArray("\xc3\xa0'>"),
              service->bodyOf(QStringLiteral("latin1.html")));
    service->release();
}

TEST_F(ServiceMOTTest, CompressedBodiesAreInflatedOrDropped)
{
    CountingService *service = makeService();
    Object packed {"packed.css", bytes(3, 5000)};
    packed.gzipped = true;
    Object broken {"broken.css", {}};
    broken.rawBody = ZOZ::Test::Mot::Bytes(40, 0x55);
    service->send(ZOZTest::Carousel::carousel({packed, broken}));
    EXPECT_EQ(packed.body, service->bodyOf(QStringLiteral("packed.css")));
    EXPECT_TRUE(service->bodyOf(QStringLiteral("broken.css")).isEmpty());
    EXPECT_TRUE(logText().contains(QStringLiteral("could not retrieve uncompressed length to object 'broken.css'")));
    service->release();
}

TEST_F(ServiceMOTTest, WithoutPhysicalCacheNothingIsWrittenOrRestored)
{
    CountingService *service = makeService();
    const QString folder = service->cachePath();
    service->send(ZOZTest::Carousel::carousel({{"x.html", "x"}}));
    service->release();
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("x.html")));
    QDir(folder).removeRecursively();

    settings->setFlag(ZOZ::RuntimeFlag::HasPhysicalCache, false);
    service = makeService();
    service->send(ZOZTest::Carousel::carousel({{"y.html", "y"}}));
    service->release();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(ServiceMOTTest, AnIndexGroupWithoutItsFileRestoresAnEmptyBody)
{
    CountingService *service = makeService();
    const QString folder = service->cachePath();
    service->release();
    QDir().mkpath(folder);
    {
        QSettings index(folder + ServiceMOT::IndexFileName, QSettings::IniFormat);
        index.setValue(QStringLiteral("gone--SLASH--page.html/mime"), QStringLiteral("text/html"));
        index.setValue(QStringLiteral("..--SLASH--..--SLASH--outside.html/mime"), QStringLiteral("text/html"));
    }
    service = makeService();
    EXPECT_FALSE(service->knows(QStringLiteral("../../outside.html")));
    EXPECT_TRUE(service->knows(QStringLiteral("gone/page.html")));
    EXPECT_TRUE(service->bodyOf(QStringLiteral("gone/page.html")).isEmpty());
    service->release();
}

// The decoder collects a limited number of bodies at once and does not hand
// an unchanged directory over again: the rest are requested as earlier ones
// complete, so a large carousel arrives whole in one pass.
TEST_F(ServiceMOTTest, MoreObjectsThanTheDecoderCollectsAtOnce)
{
    CountingService *service = makeService();
    std::vector<Object> objects;
    for (int i = 0; i < 450; ++i)
        objects.emplace_back("o" + std::to_string(i) + ".html", QByteArray::number(i));
    service->send(ZOZTest::Carousel::carousel(objects));
    EXPECT_EQ(450, service->receivedObjects());
    EXPECT_EQ(450, service->changed);
    EXPECT_EQ(100, service->receptionProgress()->progress);
    EXPECT_TRUE(service->receptionProgress()->complete);
    service->release();
}

// A size field of the broadcast is not allocated as announced.
TEST_F(ServiceMOTTest, OversizedObjectsAreNotRequested)
{
    CountingService *service = makeService();
    namespace Mot = ZOZ::Test::Mot;
    const Mot::Bytes huge = Mot::header(MotFile::MaxBodySize + 1, 1, 0, Mot::contentName("huge.html"));
    const Mot::Bytes small = Mot::header(1, 1, 0, Mot::contentName("small.html"));
    service->send(Mot::segments(Mot::Directory, 0, Mot::directory({{1, huge}, {2, small}}), 4000));
    service->send(Mot::segments(Mot::Body, 2, Mot::Bytes {'s'}, 4000));
    EXPECT_EQ(QByteArray("s"), service->bodyOf(QStringLiteral("small.html")));
    EXPECT_TRUE(service->knows(QStringLiteral("huge.html")));
    EXPECT_TRUE(logText().contains(QStringLiteral("could not request object with transport ID: 1 (name: 'huge.html')")));
    service->release();
}

// A name the carousel moves to another transport id while its body is on its
// way is requested under the new one; the old request does not hold it back.
TEST_F(ServiceMOTTest, ANameMovedToAnotherTransportIdArrives)
{
    CountingService *service = makeService();
    std::vector<Object> objects = {{"x.html", bytes(5, 9000)}};
    service->send(ZOZTest::Carousel::directoryGroups(objects));
    service->send({ZOZTest::Carousel::bodyGroups(objects).front()}); // the first of three segments
    objects[0].body = bytes(6, 9000);
    service->send(ZOZTest::Carousel::carousel(objects, {}, 50));
    EXPECT_EQ(objects[0].body, service->bodyOf(QStringLiteral("x.html")));
    service->release();
}
