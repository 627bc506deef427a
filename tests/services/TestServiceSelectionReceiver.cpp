// The pages' road end to end: the receiver library serves a generated
// ensemble, the receiver and the manager build its services, and a real HTTP
// client selects, steps and polls through the server.
#include "HttpTestClient.h"
#include "SettingsFixture.h"
#include "StrictJson.h"
#include "ZOZDab.h"
#include "ZOZHttpServer.h"
#include "ZOZReceiver.h"
#include "ZOZService.h"
#include "ZOZServiceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <thread>

using ZOZ::Service;
using ZOZ::ServiceManager;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;

namespace {

int channelIndex(const char *label)
{
    for (int index = 0; ZOZ::channelAtIndex(index); ++index) {
        if (qstrcmp(ZOZ::channelAtIndex(index)->label, label) == 0)
            return index;
    }
    return -1;
}

class SelectionReceiverTest : public ZOZTest::SettingsFixture
{
protected:
    void TearDown() override
    {
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        qunsetenv("RTKDAB_SOURCE");
        SettingsFixture::TearDown();
    }

    HttpAnswer get(const QString &query)
    {
        const int port = manager->httpServer()->port();
        HttpAnswer answer;
        std::atomic<bool> done {false};
        std::thread client([&] {
            HttpTestClient connection(port);
            answer = connection.request(QStringLiteral("GET /ajax?%1 HTTP/1.1\r\nHost: localhost:%2\r\n").arg(query).arg(port).toLatin1()
                                        + "X-ZOZ-Token: " + ZOZ::HttpServer::accessToken() + "\r\n\r\n");
            done = true;
        });
        QElapsedTimer timer;
        timer.start();
        while (!done.load() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        client.join();
        EXPECT_EQ(answer.status, 200) << query.toStdString();
        EXPECT_TRUE(ZOZTest::StrictJson::isValid(answer.body)) << answer.body.constData();
        return answer;
    }

    QJsonObject serverInfo() { return QJsonDocument::fromJson(get(QStringLiteral("getServerInfo")).body).object(); }

    ServiceManager *manager = nullptr;
};

} // namespace

TEST_F(SelectionReceiverTest, GeneratedEnsembleSelectsStepsAndPolls)
{
    const QString recording = QStringLiteral(SELECTION_ENSEMBLE);
    ASSERT_TRUE(QFileInfo::exists(recording));
    qputenv("RTKDAB_SOURCE", (recording + QStringLiteral("@5C")).toLocal8Bit());
    settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
    settings->setFrontEndMode(ZOZ::Settings::ModeDab);

    ZOZ::Receiver *receiver = ZOZ::Receiver::instance();
    receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIRECTORY));
    receiver->setDataFolder(home.dataFolder());
    manager = ServiceManager::instance();
    ASSERT_TRUE(manager->init());
    const int channel = channelIndex("5C");
    ASSERT_GE(channel, 0);
    receiver->addEnsembleForChannel(channel);
    receiver->requestEnsemble(channel);

    QElapsedTimer timer;
    timer.start();
    QJsonArray services;
    while (timer.elapsed() < 20000) {
        services = serverInfo().value(QStringLiteral("services")).toArray();
        if (services.size() == 3)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    ASSERT_EQ(services.size(), 3) << logText().right(3000).toStdString();

    // The "services" value lists the sorted list backwards.
    QStringList labels;
    QVector<int> ids;
    for (const QJsonValue &entry : services) {
        labels.prepend(entry.toObject().value(QStringLiteral("label")).toString());
        ids.prepend(entry.toObject().value(QStringLiteral("ID")).toInt());
    }
    // The broadcast character set has no backslash; quotes and angle brackets arrive escaped.
    QStringList expected;
    for (Service *service : manager->sortedServices())
        expected << service->label().toHtmlEscaped();
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(labels.size(), 3);
    EXPECT_TRUE(labels.value(0).endsWith(QStringLiteral("DC &quot;x&quot; &lt;b&gt;"))) << labels.value(0).toStdString();
    EXPECT_EQ(labels.mid(1), (QStringList {QStringLiteral("alpha"), QStringLiteral("Zulu")}));

    EXPECT_EQ(get(QStringLiteral("selectService=%1&selectorID=page").arg(ids.at(1))).body, "{\"success\":true}");
    QJsonObject info = serverInfo();
    EXPECT_EQ(info.value(QStringLiteral("selectedSID")).toInt(), ids.at(1));
    EXPECT_EQ(info.value(QStringLiteral("selectedServiceId")).toInt(), 0xE1D3);
    EXPECT_EQ(info.value(QStringLiteral("selectedEnsembleId")).toInt(), 0xE0C7);
    EXPECT_EQ(info.value(QStringLiteral("selectorID")).toString(), QStringLiteral("page"));

    // Previous twice wraps from the first entry to the last.
    get(QStringLiteral("selectServiceDirected=0"));
    get(QStringLiteral("selectServiceDirected=0"));
    EXPECT_EQ(serverInfo().value(QStringLiteral("selectedSID")).toInt(), ids.at(2));
    get(QStringLiteral("selectServiceDirected=1"));
    EXPECT_EQ(serverInfo().value(QStringLiteral("selectedSID")).toInt(), ids.at(0));

    EXPECT_EQ(get(QStringLiteral("selectServiceById=%1").arg(0xE1D1)).body, "{\"success\":true}");
    EXPECT_EQ(manager->selectedService()->label(), QStringLiteral("Zulu"));

    // The receiver's scan status and its own command travel through the manager's chain.
    const QJsonObject scan = info.value(QStringLiteral("receiver")).toObject();
    EXPECT_TRUE(scan.contains(QStringLiteral("devicePresent")));
    EXPECT_FALSE(scan.value(QStringLiteral("scanning")).toBool(true));
    EXPECT_EQ(get(QStringLiteral("scan=unknown")).body, "{\"success\":false}");

    settings->setIsAudioRecording(true);
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=1")).body, "{\"success\":false}");
    info = serverInfo();
    EXPECT_EQ(info.value(QStringLiteral("selectedSID")).toInt(), ids.at(2));
    EXPECT_EQ(info.value(QStringLiteral("notify")).toArray().at(0).toObject().value(QStringLiteral("ID")).toString(),
              QStringLiteral("recording-warning"));
}
