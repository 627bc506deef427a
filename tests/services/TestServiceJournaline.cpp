// The Journaline service on its own: data groups in, pages out, and the
// object cache "last.zoz" across two service objects.
#include "CoreFixture.h"
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "ZOZServicePageValues.h"
#include "journaline/ZOZServiceJournaline.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <functional>

using ZOZ::PageAnswer;
using ZOZ::ServiceJournaline;
using namespace ZOZ::Test::Journaline;

namespace {

class ServiceJournalineTest : public ZOZTest::SettingsFixture
{
};

bool feed(ServiceJournaline &service, const Object &o)
{
    const Bytes g = objectGroup(o);
    const uchar *data = g.data();
    return service.handlePacket(int(g.size()), data);
}

QByteArray page(ServiceJournaline &service, const QString &file)
{
    PageAnswer answer;
    if (!service.answerPage({service.requestPath(), file, {}}, answer))
        return {};
    return answer.body;
}

} // namespace

TEST_F(ServiceJournalineTest, PagesFromDataGroupsAndBrokenGroupsLogged)
{
    ZOZ::ServiceDescriptor d = serviceDescriptor(QStringLiteral("journaline"));
    HeldService held(new ServiceJournaline(d));
    auto &service = static_cast<ServiceJournaline &>(*held.service);
    ASSERT_TRUE(service.isRunning());
    EXPECT_EQ(service.name(), QStringLiteral("Journaline"));
    EXPECT_TRUE(page(service, QString()).contains("Waiting for a Journaline configuration"));
    EXPECT_TRUE(feed(service, menu(0, {{1, "Sport"}}, "Journaline Service")));
    EXPECT_TRUE(page(service, QString()).contains("<h1>Journaline Service</h1>"));
    EXPECT_TRUE(page(service, QStringLiteral("index.html")).contains("<h1>Journaline Service</h1>"));
    PageAnswer style;
    ASSERT_TRUE(service.answerPage({service.requestPath() + QStringLiteral("jourc/css/"), QStringLiteral("journaline.css"), {}}, style));
    EXPECT_EQ(style.mimeType, QStringLiteral("text/css"));
    EXPECT_TRUE(style.body.contains(".journaline"));

    const uchar junk[] = {0x00, 0x01, 0x02};
    const uchar *data = junk;
    EXPECT_FALSE(service.handlePacket(3, data));
    EXPECT_TRUE(logText().contains(QStringLiteral("ServiceJournaline::handlePacket( data[")));
    EXPECT_TRUE(logText().contains(QStringLiteral("dataLength[3] ) -> error: '")));

    PageAnswer ajax;
    ASSERT_TRUE(service.answerPage({QStringLiteral("journaline-1/"), QStringLiteral("ajax"),
                                    {{QStringLiteral("getObject"), QStringLiteral("0")}}},
                                   ajax));
    EXPECT_EQ(ajax.mimeType, QStringLiteral("application/json"));
    EXPECT_TRUE(ajax.body.startsWith("{\"success\":true,\"ID\":0,")) << ajax.body.toStdString();
}

TEST_F(ServiceJournalineTest, ObjectCacheSurvivesInLastZoz)
{
    ZOZ::ServiceDescriptor d = serviceDescriptor(QStringLiteral("journaline"));
    QString cacheFile;
    {
        HeldService held(new ServiceJournaline(d));
        auto &service = static_cast<ServiceJournaline &>(*held.service);
        ASSERT_TRUE(feed(service, menu(0, {{1, "Sport"}}, "Kept Menu")));
        ASSERT_TRUE(feed(service, plain(1, "Kept Article", "Text")));
        service.saveCache();
        cacheFile = QDir(service.cachePath()).filePath(ServiceJournaline::CacheFileName);
        ASSERT_TRUE(QFile::exists(cacheFile)) << cacheFile.toStdString();
    }
    ZOZ::ServiceDescriptor again = serviceDescriptor(QStringLiteral("journaline"));
    HeldService held(new ServiceJournaline(again));
    auto &service = static_cast<ServiceJournaline &>(*held.service);
    EXPECT_TRUE(page(service, QStringLiteral("0.html")).contains("<h1>Kept Menu</h1>"));
    EXPECT_TRUE(page(service, QStringLiteral("1.html")).contains("<h1>Kept Article</h1>"));

    // A damaged file is refused and leaves the service empty.
    QFile damaged(cacheFile);
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    const QByteArray bytes = damaged.readAll();
    damaged.resize(bytes.size() - 20);
    damaged.close();
    ZOZ::JournalineCache cache(QFileInfo(cacheFile).path());
    QByteArray objects;
    EXPECT_FALSE(cache.isValid() && cache.read(objects));
}

TEST_F(ServiceJournalineTest, CacheSwitchDecidesOverLastZoz)
{
    ZOZ::ServiceDescriptor d = serviceDescriptor(QStringLiteral("journaline"));
    QString cacheFile;
    {
        HeldService held(new ServiceJournaline(d));
        auto &service = static_cast<ServiceJournaline &>(*held.service);
        EXPECT_FALSE(service.isAvailable());
        ASSERT_TRUE(feed(service, menu(0, {{1, "Sport"}}, "Kept Menu")));
        service.saveCache();
        cacheFile = QDir(service.cachePath()).filePath(ServiceJournaline::CacheFileName);
        ASSERT_TRUE(QFile::exists(cacheFile));
    }
    {
        // A stored main menu makes the service available at once.
        HeldService held(new ServiceJournaline(d));
        EXPECT_TRUE(held.service->isAvailable());
    }

    settings->setFlag(ZOZ::RuntimeFlag::HasPhysicalCache, false);
    HeldService held(new ServiceJournaline(d));
    auto &service = static_cast<ServiceJournaline &>(*held.service);
    EXPECT_FALSE(service.isAvailable());
    EXPECT_TRUE(page(service, QStringLiteral("0.html")).contains("Waiting for a Journaline configuration"));
    ASSERT_TRUE(QFile::remove(cacheFile));
    ASSERT_TRUE(feed(service, menu(0, {{1, "Sport"}}, "Kept Menu")));
    service.saveCache();
    EXPECT_FALSE(QFile::exists(cacheFile));
}

namespace {

// Makes the real Journaline service for Journaline components, plain
// services for the rest.
class JournalineFactory : public KindFactory
{
public:
    ZOZ::Service *createDataService(int type, ZOZ::ServiceDescriptor &descriptor) override
    {
        if (type == ZOZ::ServiceFactory::Journaline)
            return new ServiceJournaline(descriptor);
        return KindFactory::createDataService(type, descriptor);
    }
};

// Stands in for the pages: fixed names, and a service's values as two fields.
class FixedPageValues : public ZOZ::ServicePageValues
{
public:
    QString applicationFullName() const override { return QStringLiteral("ZOZ Full <Test>"); }
    QString applicationName() const override { return QStringLiteral("ZOZ"); }
    QString language() const override { return QStringLiteral("de"); }
    QVector<ZOZ::TemplateVariable> serviceVariables(const ZOZ::Service &service) const override
    {
        if (whileServiceListHeld)
            whileServiceListHeld();
        return {ZOZ::TemplateVariable(QStringLiteral("label"), service.label(), true),
                ZOZ::TemplateVariable(QStringLiteral("requestPath"), service.requestPath())};
    }

    // Runs where the caller holds the service-list lock.
    std::function<void()> whileServiceListHeld;
};

class ServiceJournalineManagerTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ZOZ::ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared),
                                                std::make_unique<JournalineFactory>());
        ASSERT_TRUE(manager->init());
        shared->setEnsembles({Snapshot::sampleEnsemble(5, 0x10BC)});
        manager->doCheckDabData();
        manager->withServices([&](const QMap<int, QVector<ZOZ::Service *>> &tree) {
            for (ZOZ::Service *service : tree.value(5)) {
                for (ZOZ::Service *child : service->children()) {
                    if (child->shortname() == QLatin1String("journaline"))
                        journaline = static_cast<ServiceJournaline *>(child);
                    if (child->shortname() == QLatin1String("sls"))
                        slides = child;
                }
            }
        });
        ASSERT_NE(journaline, nullptr);
        ASSERT_NE(slides, nullptr);
    }

    void TearDown() override
    {
        ZOZ::ServicePageValues::install(nullptr);
        if (ZOZ::ServiceManager::existingInstance())
            ZOZ::ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ZOZ::ServiceManager *manager = nullptr;
    ServiceJournaline *journaline = nullptr;
    ZOZ::Service *slides = nullptr;
};

} // namespace

TEST_F(ServiceJournalineManagerTest, ServiceLinksLeadToTheNamedServicesPages)
{
    Object article = plain(1, "Linked", "Text");
    append(article.titleSections, linkSection(1, "dab.srv.sls://0x10bc:0xd201/show.html", "Slides of Radio One"));
    append(article.titleSections, linkSection(1, "dab.srv.sls://0x10bc:0xbeef/x", "Not on air"));
    append(article.titleSections, linkSection(3, "+49123", "Call"));
    ASSERT_TRUE(feed(*journaline, article));

    const QByteArray body = page(*journaline, QStringLiteral("1.html"));
    const QByteArray slidesLink = "<a href=\"/" + slides->requestPath().toUtf8() + "show.html\">Slides of Radio One</a>";
    EXPECT_TRUE(body.contains(slidesLink)) << body.toStdString();
    // A service that is not on air gives no address; a telephone number stays one.
    EXPECT_TRUE(body.contains("<a href=\"\">Not on air</a>")) << body.toStdString();
    EXPECT_TRUE(body.contains("<a href=\"tel:+49123\">Call</a>")) << body.toStdString();
}

TEST_F(ServiceJournalineManagerTest, PageTakesTheServiceListWithoutHoldingItsOwnLock)
{
    ASSERT_TRUE(feed(*journaline, plain(1, "Linked", "Text")));
    // The manager's worker holds the service list and then takes a service's
    // own lock (clearData, reload). While a page reads the service list, its
    // service lock must be free: another thread takes it then and finishes.
    FixedPageValues values;
    bool otherThreadFinished = false;
    int calls = 0;
    values.whileServiceListHeld = [&] {
        if (calls++ > 0)
            return;
        QThread *other = QThread::create([service = journaline] { service->clearData(); });
        other->start();
        otherThreadFinished = other->wait(QDeadlineTimer(10000));
        // A thread still waiting for the lock this page holds is left to end after it.
        if (otherThreadFinished)
            delete other;
    };
    ZOZ::ServicePageValues::install(&values);
    const QByteArray body = page(*journaline, QStringLiteral("1.html"));
    EXPECT_GE(calls, 1);
    EXPECT_TRUE(otherThreadFinished);
    EXPECT_TRUE(body.contains("<h1>"));
}

TEST_F(ServiceJournalineManagerTest, PagesCarryTheProgramsValues)
{
    FixedPageValues values;
    ZOZ::ServicePageValues::install(&values);
    settings->setShowTemplateInstructions(true);
    settings->setHttpRefreshTime(2500);
    // The renderer takes the instructions switch when it starts.
    ZOZ::ServiceDescriptor d = serviceDescriptor(QStringLiteral("journaline"));
    d.label = QStringLiteral("News <Data>");
    HeldService held(new ServiceJournaline(d));
    auto &service = static_cast<ServiceJournaline &>(*held.service);
    ASSERT_TRUE(feed(service, menu(0, {{1, "Sport"}}, "Root")));
    const QByteArray body = page(service, QStringLiteral("0.html"));
    auto row = [](const char *name, const QByteArray &value) {
        return "<tr><th>" + QByteArray(name) + "</th><td>:</td><td>" + value + "</td></tr>";
    };
    // The table shows each value as the page receives it, escaped once more
    // for the table itself: "<" reaches the page as "&lt;".
    EXPECT_TRUE(body.contains(row("ZOZ_APP_NAME_FULL", "ZOZ Full &amp;lt;Test&amp;gt;"))) << body.toStdString();
    EXPECT_TRUE(body.contains(row("ZOZ_APP_NAME", "ZOZ")));
    EXPECT_TRUE(body.contains(row("LANGUAGE", "de")));
    EXPECT_TRUE(body.contains(row("ZOZ_SERVER_ID", manager->getServerId().toUtf8())));
    EXPECT_FALSE(manager->getServerId().isEmpty());
    EXPECT_TRUE(body.contains(row("PAGE-REFRESH", "2500")));
    // The page polls at that cycle.
    EXPECT_TRUE(body.contains("data-refresh=\"2500\"")) << body.toStdString();
    EXPECT_TRUE(body.contains(row("ENABLE_AUDIO", settings->hasAudioService() ? "true" : "false")));
    const QMap<int, ZOZ::Settings::ConfigOption> options = settings->configOptions();
    for (const ZOZ::Settings::ConfigOption &option : options)
        EXPECT_TRUE(body.contains(row(("ENABLE_" + option.tag).toUtf8().constData(), option.value ? "true" : "false")))
            << option.tag.toStdString();
    // The service's own values, the broadcast label escaped.
    EXPECT_TRUE(body.contains("<th>label</th><td>:</td><td>News &amp;lt;Data&amp;gt;</td>")) << body.toStdString();
    EXPECT_TRUE(body.contains("<th>requestPath</th><td>:</td><td>" + service.requestPath().toUtf8() + "</td>"));
}
