// What the pages make of the services: announcement and template values, and
// each service's own pages below its web path on the real server.
#include "HttpTestClient.h"
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "WebStack.h"
#include "ZOZServiceValues.h"

#include <QRegularExpression>

#include <atomic>
#include <thread>

using ZOZ::Announcement;
using ZOZ::Service;
using ZOZ::ServiceDescriptor;
using ZOZ::ServiceManager;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;

namespace {

constexpr int EnsembleIndex = 5;

Service *initialised(ServiceDescriptor d, bool isData = true)
{
    auto *service = new Service(isData);
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

class ServiceValuesTest : public ZOZTest::SettingsFixture
{
protected:
    void TearDown() override
    {
        web.reset();
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    void startManager()
    {
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared), std::make_unique<KindFactory>());
        web = std::make_unique<ZOZTest::WebStack>(manager);
        ASSERT_TRUE(web->init());
        ASSERT_TRUE(manager->init());
    }

    void setSnapshot(const QVector<ZOZ::DabEnsemble> &ensembles) { shared->setEnsembles(ensembles); }
    QVector<Service *> topLevel() const { return topLevelServices(manager, EnsembleIndex); }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
};

} // namespace

TEST(ServiceValues, AnnouncementsNameTheirTypeAndPosition)
{
    // An alarm (type 0 in cluster 254) takes the position after the 16 types.
    const QVector<Announcement> entries {
        {Announcement::Dab, 0x0001, 100, 0x01020000, false, 254},
        {Announcement::Dab, 0x0002, 100, 0x01030000, true, 3},
        {Announcement::Drm, 0x0004, 100, 0x01040000, false, 0},
    };
    const QString json = ZOZ::announcementsValue(entries).toJson();
    EXPECT_TRUE(json.contains(QStringLiteral("\"type\":\"DAB\",\"flag\":1,\"pos\":16,\"start\":100,\"ignored\":false,\"SID\":16908288,\"clusterId\":254")))
        << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\"flag\":2,\"pos\":1,\"start\":100,\"ignored\":true")));
    EXPECT_TRUE(json.contains(QStringLiteral("\"type\":\"DRM\",\"flag\":4,\"pos\":2,\"start\":100,\"ignored\":false,\"SID\":17039360}")))
        << json.toStdString();
    EXPECT_EQ(ZOZ::announcementsValue({}).toJson(), QStringLiteral("\"announcements\":[]"));
}

TEST_F(ServiceValuesTest, PageVariablesDescribeTheService)
{
    ServiceDescriptor d = serviceDescriptor(QStringLiteral("sls"));
    d.serviceId = 0x01020304;
    HeldService service(initialised(d));
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

    HeldService audio(initialised(serviceDescriptor(QStringLiteral("audio")), false));
    EXPECT_EQ(variable(ZOZ::serviceVariables(*audio.service), QStringLiteral("hasAudio")).toString(), QStringLiteral("true"));

    HeldService child(initialised(serviceDescriptor(QStringLiteral("sls"))));
    HeldService other(initialised(serviceDescriptor(QStringLiteral("bws"))));
    HeldService grandchild(initialised(serviceDescriptor(QStringLiteral("spi"))));
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

TEST_F(ServiceValuesTest, ServicesAnswerBelowTheirRegisteredWebPaths)
{
    startManager();
    setSnapshot({Snapshot::sampleEnsemble(EnsembleIndex, 0x10BC)});
    manager->doCheckDabData();
    Service *slides = topLevel().at(0)->children().first();
    Service *news = topLevel().at(1)->children().first();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^sls-\\d+/$")).match(slides->requestPath()).hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^journaline-\\d+/$")).match(news->requestPath()).hasMatch());
    EXPECT_NE(slides->instanceNumber(), news->instanceNumber());

    const int port = web->server->port();
    ASSERT_GT(port, 0);
    // The server accepts on this thread's event loop, so the client runs beside it.
    const auto get = [port](const QString &path) {
        HttpAnswer answer;
        std::atomic<bool> done {false};
        std::thread client([&] {
            HttpTestClient connection(port);
            answer = connection.request(
                QStringLiteral("GET /%1 HTTP/1.1\r\nHost: 127.0.0.1:%2\r\n\r\n").arg(path).arg(port).toLatin1());
            done = true;
        });
        waitUntil([&] { return done.load(); }, 5000);
        client.join();
        return answer;
    };
    const HttpAnswer own = get(slides->requestPath() + QStringLiteral("x?preview"));
    EXPECT_EQ(own.status, 200);
    EXPECT_TRUE(own.body.contains("id=\"sls\""));
    const HttpAnswer fallback = get(news->requestPath() + QStringLiteral("x?preview"));
    EXPECT_EQ(fallback.status, 200);
    EXPECT_TRUE(fallback.body.contains("id=\"na\""));

    // A vanished service leaves the server with it.
    const QString gone = slides->requestPath();
    ZOZ::DabEnsemble withoutSlides = Snapshot::sampleEnsemble(EnsembleIndex, 0x10BC);
    withoutSlides.services[0].primary.userApplications.clear();
    setSnapshot({withoutSlides});
    manager->doCheckDabData();
    EXPECT_FALSE(web->server->hasHandlerForPath(gone));
}

TEST_F(ServiceValuesTest, InitFailsWithoutTemplates)
{
    // This test has no built-in web content: the style folder is all there is.
    settings->setStyleRootPath(home.path() + QStringLiteral("/empty/"));
    shared = std::make_shared<FakeEnsembleSource::Shared>();
    manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared), std::make_unique<KindFactory>());
    web = std::make_unique<ZOZTest::WebStack>(manager);
    EXPECT_FALSE(web->init());
    EXPECT_TRUE(logText().contains(QStringLiteral("ServiceManager::init() -> error: could not open template '/templates/index.html'")));
}
