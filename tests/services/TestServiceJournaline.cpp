// The Journaline service on its own: data groups in, pages out, and the
// object cache "last.zoz" across two service objects.
#include "CoreFixture.h"
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "journaline/ZOZServiceJournaline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
