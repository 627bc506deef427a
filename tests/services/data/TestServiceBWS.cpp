// The Broadcast Website service on its own: the start page the directory
// names, in whichever order directory and page arrive, and what a page
// request below the service's path finds.
#include "data/ZOZServiceBWS.h"

#include "MotCarouselTestSupport.h"
#include "SettingsFixture.h"

#include <gtest/gtest.h>

using ZOZ::ServiceBWS;
using ZOZTest::Carousel::Object;
namespace Mot = ZOZ::Test::Mot;

namespace {

using ZOZTest::Carousel::startPage;

class ServiceBWSTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xE0D010;
        d.applicationType = 3;
        site = new ServiceBWS(d);
        site->retain();
    }

    void TearDown() override
    {
        site->release();
        SettingsFixture::TearDown();
    }

    void send(const std::vector<Mot::Bytes> &groups)
    {
        for (const auto &group : groups)
            site->handlePacket(int(group.size()), group.data());
    }

    QByteArray page(const QString &path, const QString &file, const QMap<QString, QString> &query = {})
    {
        ZOZ::PageAnswer answer;
        EXPECT_TRUE(site->answerPage({site->requestPath() + path, file, query}, answer));
        return answer.body;
    }

    ServiceBWS *site = nullptr;
};

} // namespace

TEST_F(ServiceBWSTest, StartPageNameFromTheDirectory)
{
    const struct {
        const char *row;
        std::string parameter; // profile byte first; empty: no parameter
        const char *expected;
    } rows[] = {
        {"leading slash", std::string("\x01/index.html"), "index.html"},
        {"folder and hyphen", std::string("\x01site/start-page.html"), "site/start-page.html"},
        {"traversal", std::string("\x01../../etc/passwd"), "etc/passwd"},
        {"profile byte only", std::string("\x01"), ""},
        {"none", std::string(), ""},
    };
    for (const auto &row : rows) {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xE0D011;
        auto *service = new ServiceBWS(d);
        service->retain();
        const Mot::Bytes extension = row.parameter.empty() ? Mot::Bytes() : Mot::parameter(0x22, Mot::text(row.parameter));
        for (const auto &group : ZOZTest::Carousel::directoryGroups({{"a.html", "a"}}, extension))
            service->handlePacket(int(group.size()), group.data());
        EXPECT_EQ(QString::fromLatin1(row.expected), service->indexFileName()) << row.row;
        service->release();
    }
}

TEST_F(ServiceBWSTest, StartPageBeforeOrAfterTheDirectoryNamingIt)
{
    // First a directory without the start page's name: the page arrives unnamed.
    const std::vector<Object> objects = {{"home.html", "<p>home</p>"}, {"b.html", "b"}};
    send(ZOZTest::Carousel::carousel(objects));
    EXPECT_FALSE(site->isIndexReceived());
    // Then a new directory names it: the page is there already.
    send(ZOZTest::Carousel::directoryGroups(objects, startPage("/home.html"), 10));
    EXPECT_TRUE(site->isIndexReceived());

    // The other order, on a fresh cache: named first, then received.
    site->release();
    settings->setCachePath(work.path() + QStringLiteral("/other/"));
    ZOZ::ServiceDescriptor d;
    d.serviceIdentifier = 0xE0D012;
    site = new ServiceBWS(d);
    site->retain();
    send(ZOZTest::Carousel::directoryGroups(objects, startPage("/home.html")));
    EXPECT_FALSE(site->isIndexReceived());
    send(ZOZTest::Carousel::bodyGroups(objects));
    EXPECT_TRUE(site->isIndexReceived());
}

TEST_F(ServiceBWSTest, RequestsBelowThePath)
{
    send(ZOZTest::Carousel::carousel({{"index.html", "root"}, {"news/index.html", "news"}, {"page.html", "page"}},
                                     startPage("/index.html")));
    EXPECT_EQ("news", page(QStringLiteral("news/"), QString()));
    EXPECT_EQ("page", page(QString(), QStringLiteral("page.html"), {{QStringLiteral("x"), QStringLiteral("1")}}));
    EXPECT_TRUE(page(QString(), QStringLiteral("absent.html")).contains("has not been received yet"));
    EXPECT_TRUE(page(QString(), QString()).contains("bws-site")); // the service's own page
    EXPECT_TRUE(page(QString(), QString(), {{QStringLiteral("preview"), QString()}}).startsWith("<svg"));
}
