// The SPI scan's commands through the real HTTP server, over a service
// manager fed with an ensemble that has SPI services.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "StrictJson.h"
#include "WebStack.h"

#include <QJsonDocument>
#include <QJsonObject>

using ZOZ::ServiceManager;
using ZOZTest::StrictJson;

namespace {

constexpr int Index = 5;
constexpr int WaitMs = 60000;
const QByteArray Accepted = "{\"success\":true}";
const QByteArray NothingScanned =
    "{\"count\":1,\"current\":0,\"estimated\":1,\"taken\":1,\"name\":\"N/A\",\"isComplete\":true,\"success\":true}";

class SpiCommandsTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared),
                                           std::make_unique<ProgressFactory>());
        web = std::make_unique<ZOZTest::WebStack>(manager);
        ASSERT_TRUE(web->init());
        ASSERT_TRUE(manager->init());
        shared->setEnsembles({spiEnsemble(Index, 0x10BC, 2)});
        manager->doCheckDabData();
    }

    void TearDown() override
    {
        web.reset();
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    QByteArray command(const QString &query)
    {
        const ZOZTest::HttpAnswer answer = web->get(QStringLiteral("/ajax?") + query, true);
        EXPECT_EQ(answer.status, 200) << query.toStdString();
        return answer.body;
    }

    // Through the command chain with the access of a client that may read but not control.
    QByteArray readOnlyCommand(const QString &key)
    {
        ZOZ::HttpRequest request;
        request.granted = true;
        request.passwordAccepted = false;
        request.tokenAccepted = true;
        request.query.insert(key, QString());
        ZOZ::HttpResponse response;
        response.body = "unanswered";
        return web->pages->httpAjaxRequest(request, response) ? response.body : QByteArray("not handled");
    }

    ProgressService *guide(int i) const
    {
        return static_cast<ProgressService *>(manager->spiServices().value(Index).at(i));
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
};

} // namespace

TEST_F(SpiCommandsTest, StartTwiceRunsOneScanAndStopWithoutOneIsAccepted)
{
    EXPECT_EQ(command(QStringLiteral("spiStopScan")), Accepted);
    EXPECT_EQ(command(QStringLiteral("spiGetScanInfo")), NothingScanned);
    EXPECT_EQ(command(QStringLiteral("spiStartScan")), Accepted);
    EXPECT_EQ(command(QStringLiteral("spiStartScan")), Accepted);
    EXPECT_FALSE(manager->startSpiScan()) << "one scan runs";
    EXPECT_EQ(command(QStringLiteral("spiStopScan")), Accepted);
    EXPECT_FALSE(manager->stopSpiScan()) << "the scan has ended";
    EXPECT_EQ(command(QStringLiteral("spiStopScan")), Accepted);
}

TEST_F(SpiCommandsTest, ScanInfoFollowsTheScannedService)
{
    ZOZ::Service *radio = topLevelServices(manager, Index).first();
    manager->withServices([&](const auto &) { manager->selectService(radio, true); });
    const quint32 now = quint32(QDateTime::currentSecsSinceEpoch());
    guide(0)->setState(true, 100, now - 50, now);
    guide(1)->setState(false, 30, now - 20, now + 40);
    EXPECT_EQ(command(QStringLiteral("spiStartScan")), Accepted);

    QJsonObject info;
    EXPECT_TRUE(waitUntil(
        [&] {
            const QByteArray body = command(QStringLiteral("spiGetScanInfo"));
            EXPECT_TRUE(StrictJson::isValid(body)) << body.constData();
            info = QJsonDocument::fromJson(body).object();
            return info.value(QStringLiteral("name")).toString() == QStringLiteral("Guide 5.1");
        },
        WaitMs));
    EXPECT_EQ(info.value(QStringLiteral("count")).toInt(), 2);
    EXPECT_EQ(info.value(QStringLiteral("current")).toInt(), 1);
    EXPECT_EQ(info.value(QStringLiteral("estimated")).toInt(), 60);
    EXPECT_GE(info.value(QStringLiteral("taken")).toInt(), 20);
    EXPECT_FALSE(info.value(QStringLiteral("isComplete")).toBool());
    EXPECT_TRUE(info.value(QStringLiteral("success")).toBool());
    {
        QMutexLocker locker(&shared->mutex);
        EXPECT_EQ(shared->selection.value(1), guide(1));
    }

    EXPECT_EQ(command(QStringLiteral("spiStopScan")), Accepted);
    EXPECT_EQ(command(QStringLiteral("spiGetScanInfo")), NothingScanned);
}

TEST_F(SpiCommandsTest, ReadersMayAskHowFarButNotStartOrStop)
{
    EXPECT_EQ(readOnlyCommand(QStringLiteral("spiGetScanInfo")), NothingScanned);
    readOnlyCommand(QStringLiteral("spiStartScan"));
    EXPECT_TRUE(manager->startSpiScan()) << "the reader started no scan";
    readOnlyCommand(QStringLiteral("spiStopScan"));
    EXPECT_TRUE(manager->stopSpiScan()) << "the reader stopped nothing";
}

// The guide is held from the start, so it answers before any SPI service was heard.
TEST_F(SpiCommandsTest, ProgrammeGuideAnswersFromTheStart)
{
    EXPECT_EQ(command(QStringLiteral("spiGetInfo")), QByteArray("{\"success\":true,\"services\":[]}"));
    EXPECT_EQ(readOnlyCommand(QStringLiteral("spiGetInfo")), QByteArray("{\"success\":true,\"services\":[]}"));
}
