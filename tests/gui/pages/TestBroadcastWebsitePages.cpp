// A Broadcast Website from a fixture folder, sent as a MOT carousel to the
// service and fetched over a real connection from the HTTP server: the files
// as they were, with the site's absolute links below the service's path, and
// served sandboxed, apart from the player's pages and commands.
#include "HttpTestClient.h"
#include "MotCarouselTestSupport.h"
#include "SettingsFixture.h"
#include "ZOZHttpSettingsAdapter.h"
#include "ZOZServicePageRegistry.h"
#include "data/ZOZServiceBWS.h"
#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpServer.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using ZOZTest::HttpAnswer;
using ZOZTest::requestWhileServing;
using ZOZTest::Carousel::Object;

namespace {

const QString Fixture = QStringLiteral(BWS_FIXTURE_DIR);

// The fixture's files by name relative to the folder.
QMap<QString, QByteArray> fixtureFiles()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(Fixture, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(Fixture).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

class BroadcastWebsitePagesTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xE0D010;
        d.ensembleIdentifier = 0x10BC;
        d.applicationType = 3;
        site = new ZOZ::ServiceBWS(d);
        site->retain();
        server = std::make_unique<ZOZ::HttpServer>(nullptr, nullptr);
        adapter = std::make_unique<ZOZ::HttpSettingsAdapter>(settings, server.get());
        server->setSettings(adapter.get());
        ASSERT_TRUE(server->open());
        registry = std::make_unique<ZOZ::ServicePageRegistry>(server.get());
        registry->addPageSource(site);
        prefix = site->requestPath();
    }

    void TearDown() override
    {
        registry.reset();
        server->close();
        server.reset();
        adapter.reset();
        site->release();
        SettingsFixture::TearDown();
    }

    void broadcast(const QMap<QString, QByteArray> &files)
    {
        std::vector<Object> objects;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            objects.emplace_back("/" + it.key().toStdString(), it.value());
        for (const auto &group : ZOZTest::Carousel::carousel(objects, ZOZTest::Carousel::startPage("/index.html")))
            site->handlePacket(int(group.size()), group.data());
    }

    HttpAnswer get(const QString &target)
    {
        const int port = server->port();
        return requestWhileServing(
            port, QStringLiteral("GET /%1 HTTP/1.1\r\nHost: 127.0.0.1:%2\r\n\r\n").arg(target).arg(port).toLatin1(), 30000);
    }

    // The site's absolute links as the service writes them.
    QByteArray rewritten(QByteArray html) const
    {
        const QByteArray root = '/' + prefix.toUtf8();
        return html.replace("href=\"/", "href=\"" + root)
            .replace("href='/", "href='" + root)
            .replace("src=\"/", "src=\"" + root)
            .replace("src = \"/", "src=\"" + root);
    }

    ZOZ::ServiceBWS *site = nullptr;
    std::unique_ptr<ZOZ::HttpServer> server;
    std::unique_ptr<ZOZ::HttpSettingsAdapter> adapter;
    std::unique_ptr<ZOZ::ServicePageRegistry> registry;
    QString prefix;
};

} // namespace

TEST_F(BroadcastWebsitePagesTest, TheSiteIsServedAsSentWithItsLinksBelowTheServicePath)
{
    const QMap<QString, QByteArray> files = fixtureFiles();
    ASSERT_EQ(5, files.size()) << Fixture.toStdString();
    broadcast(files);

    const struct {
        const char *name;
        const char *type;
    } rows[] = {
        {"index.html", "text/html"},
        {"css/site.css", "text/css"},
        {"img/logo.svg", "image/svg+xml"},
        {"news/index.html", "text/html"},
        {"news/today.html", "text/html"},
    };
    for (const auto &row : rows) {
        const QString name = QString::fromLatin1(row.name);
        const HttpAnswer answer = get(prefix + name);
        EXPECT_EQ(200, answer.status) << row.name;
        const QByteArray expected = name.endsWith(QLatin1String(".html")) ? rewritten(files.value(name)) : files.value(name);
        EXPECT_EQ(expected, answer.body) << row.name;
        EXPECT_TRUE(answer.header("Content-Type").startsWith(row.type)) << row.name << ": " << answer.header("Content-Type").toStdString();
        const QByteArray policy = answer.header("Content-Security-Policy");
        EXPECT_TRUE(policy.startsWith("sandbox allow-scripts;")) << row.name << ": " << policy.toStdString();
        EXPECT_TRUE(policy.contains("connect-src 'none'")) << row.name;
        EXPECT_FALSE(answer.body.contains(ZOZ::accessToken())) << row.name;
    }
    // The rewritten links point at files the server has.
    EXPECT_TRUE(rewritten(files.value(QStringLiteral("index.html"))).contains("href=\"/" + prefix.toUtf8() + "css/site.css\""));
    EXPECT_EQ(files.value(QStringLiteral("css/site.css")), get(prefix + QStringLiteral("css/site.css")).body);
}

TEST_F(BroadcastWebsitePagesTest, FoldersQueriesAndMissingFiles)
{
    const QMap<QString, QByteArray> files = fixtureFiles();
    broadcast(files);
    const QByteArray news = rewritten(files.value(QStringLiteral("news/index.html")));
    EXPECT_EQ(news, get(prefix + QStringLiteral("news/")).body);
    EXPECT_EQ(news, get(prefix + QStringLiteral("news/index.html?x=1")).body);

    const HttpAnswer missing = get(prefix + QStringLiteral("news/yesterday.html"));
    EXPECT_EQ(200, missing.status);
    EXPECT_TRUE(missing.body.contains("has not been received yet"));

    // The service's own page is the player's: its policy, not the sandbox.
    const HttpAnswer page = get(prefix);
    EXPECT_EQ(200, page.status);
    EXPECT_TRUE(page.body.contains("bws-site"));
    EXPECT_FALSE(page.header("Content-Security-Policy").contains("sandbox"));
}

TEST_F(BroadcastWebsitePagesTest, ObjectListNamesTheStartPage)
{
    const HttpAnswer empty = get(prefix + QStringLiteral("?getObjectList"));
    QJsonObject answer = QJsonDocument::fromJson(empty.body).object();
    EXPECT_TRUE(answer[QStringLiteral("success")].toBool());
    EXPECT_FALSE(answer[QStringLiteral("indexReceived")].toBool());
    EXPECT_EQ(QString(), answer[QStringLiteral("indexFilename")].toString());

    broadcast(fixtureFiles());
    answer = QJsonDocument::fromJson(get(prefix + QStringLiteral("?getObjectList")).body).object();
    EXPECT_TRUE(answer[QStringLiteral("indexReceived")].toBool());
    EXPECT_EQ(prefix + QStringLiteral("index.html"), answer[QStringLiteral("indexFilename")].toString());
    QStringList names;
    for (const QJsonValue object : answer[QStringLiteral("objects")].toArray()) {
        names << object[QStringLiteral("filename")].toString();
        EXPECT_TRUE(object[QStringLiteral("received")].toBool());
    }
    EXPECT_EQ(QStringList({QStringLiteral("css/site.css"), QStringLiteral("img/logo.svg"), QStringLiteral("index.html"),
                           QStringLiteral("news/index.html"), QStringLiteral("news/today.html")}),
              names);
}
