// The pages' road end to end: the receiver library serves a generated
// ensemble, the receiver and the manager build its services, and a real HTTP
// client selects, steps and polls through the server.
#include "HttpTestClient.h"
#include "ReceiverTestSupport.h"
#include "SettingsFixture.h"
#include "StrictJson.h"
#include "WebStack.h"
#include "ZOZClock.h"
#include "ZOZDab.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZMainThreadServices.h"
#include "ZOZReceiver.h"
#include "ZOZService.h"
#include "ZOZServiceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <thread>

using ZOZ::Service;
using ZOZ::ServiceManager;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;

namespace {

class SelectionReceiverTest : public ZOZTest::ReceiverManagerFixture
{
protected:
    void TearDown() override
    {
        web.reset();
        ReceiverManagerFixture::TearDown();
    }

    HttpAnswer get(const QString &query)
    {
        const int port = web->server->port();
        HttpAnswer answer;
        std::atomic<bool> done {false};
        std::thread client([&] {
            HttpTestClient connection(port);
            answer = connection.request(QStringLiteral("GET /ajax?%1 HTTP/1.1\r\nHost: localhost:%2\r\n").arg(query, QString::number(port)).toLatin1()
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

    // The receiver over the library and the manager started on it; null when the start failed.
    ZOZ::Receiver *startPlayer()
    {
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        settings->setFrontEndMode(ZOZ::Settings::ModeDab);
        ZOZ::Receiver *receiver = ZOZ::Receiver::instance();
        receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIRECTORY));
        receiver->setDataFolder(home.dataFolder());
        manager = ServiceManager::instance(std::make_unique<ZOZ::ReceiverEnsembleSource>(receiver));
        web = std::make_unique<ZOZTest::WebStack>(manager, receiver);
        return web->init() && manager->init() ? receiver : nullptr;
    }

    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
};

// The receiver's timers run four times as fast as the wall clock, in step
// with the library's delivery.
class FastClock : public ZOZ::Clock
{
public:
    static constexpr int Factor = 4;
    FastClock() { m_timer.start(); }
    qint64 nowMs() const override { return 1000000 + m_timer.elapsed() * Factor; }

private:
    QElapsedTimer m_timer;
};

// A first start: no ensemble database, so the receiver asks for a scan
// through the pages; the deferred calls of the main thread carry the answer.
class FirstStartTest : public SelectionReceiverTest
{
protected:
    void TearDown() override
    {
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        mainThread.clearDisposables();
        ZOZ::Clock::install(nullptr);
        qunsetenv("RTKDAB_SPEED");
        SelectionReceiverTest::TearDown();
    }

    // Polls the server information, with the main thread's work in between,
    // until the predicate holds or 15 s passed.
    QJsonObject pollUntil(const std::function<bool(const QJsonObject &)> &done)
    {
        QElapsedTimer timer;
        timer.start();
        QJsonObject info = serverInfo();
        while (!done(info) && timer.elapsed() < 15000) {
            mainThread.runDeferredCalls();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            info = serverInfo();
        }
        return info;
    }

    // The log without the server's lines, which the polling fills it with.
    std::string receiverLog() const
    {
        QStringList lines = logText().split(QLatin1Char('\n'));
        lines.removeIf([](const QString &line) { return line.contains(QLatin1String("HttpClient")) || line.isEmpty(); });
        return lines.mid(lines.size() - 60).join(QLatin1Char('\n')).toStdString();
    }

    ZOZ::MainThreadServices mainThread;
    FastClock clock;
};

bool hasNotice(const QJsonObject &info, const QString &start)
{
    for (const QJsonValue &entry : info.value(QStringLiteral("notify")).toArray()) {
        if (entry.toObject().value(QStringLiteral("message")).toString().startsWith(start))
            return true;
    }
    return false;
}

} // namespace

TEST_F(SelectionReceiverTest, GeneratedEnsembleSelectsStepsAndPolls)
{
    const QString recording = QStringLiteral(SELECTION_ENSEMBLE);
    ASSERT_TRUE(QFileInfo::exists(recording));
    qputenv("RTKDAB_SOURCE", (recording + QStringLiteral("@5C")).toLocal8Bit());
    ZOZ::Receiver *receiver = startPlayer();
    ASSERT_NE(receiver, nullptr);
    const int channel = ZOZTest::channelIndex("5C");
    ASSERT_GE(channel, 0);
    receiver->addEnsembleForChannel(channel);
    receiver->requestEnsemble(channel);

    QElapsedTimer timer;
    timer.start();
    QJsonArray services;
    // Services may be listed before their labels arrived: wait for both.
    const auto labelled = [](const QJsonArray &list) {
        for (const QJsonValue &entry : list) {
            if (entry.toObject().value(QStringLiteral("label")).toString().isEmpty())
                return false;
        }
        return true;
    };
    while (timer.elapsed() < 20000) {
        services = serverInfo().value(QStringLiteral("services")).toArray();
        if (services.size() == 3 && labelled(services))
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

TEST_F(FirstStartTest, ScanQuestionScanSelectionAndDataReachTheService)
{
    const QString demo = QStringLiteral(ZOZ_BINARY_DIR "/resources/demo");
    if (!QFileInfo::exists(demo + QStringLiteral("/5C.eti")))
        GTEST_SKIP() << "the generated demo ensembles are missing in " << qPrintable(demo);
    qputenv("RTKDAB_SOURCE", demo.toLocal8Bit());
    qputenv("RTKDAB_SPEED", QByteArray::number(FastClock::Factor));
    ZOZ::Clock::install(&clock);
    settings->setConfigFileName(writeConfig(
        "<zoz><scanFrequencies><dab><frequency frequencyOrId='5C'/></dab></scanFrequencies></zoz>"));
    ASSERT_TRUE(settings->parseConfigFile(ZOZ::Settings::ConfigPass::Initial));
    ZOZ::Receiver *receiver = startPlayer();
    ASSERT_NE(receiver, nullptr);

    // The question the receiver asked during its start is the page's pending one.
    QJsonObject info = serverInfo();
    const QString question = info.value(QStringLiteral("confirm")).toString();
    ASSERT_TRUE(question.startsWith(QStringLiteral("<b>Scan required</b><br/>"))) << receiverLog();
    EXPECT_TRUE(info.value(QStringLiteral("services")).toArray().isEmpty());

    // Another question's answer changes nothing; the right one starts the scan, once.
    // The pages mark an encoded value as they send it.
    const QString encoded = QStringLiteral("__UTF8__") + QString::fromLatin1(QUrl::toPercentEncoding(question));
    EXPECT_EQ(get(QStringLiteral("confirmed=other&yes")).body, "{\"success\":true}");
    EXPECT_EQ(serverInfo().value(QStringLiteral("confirm")).toString(), question);
    EXPECT_EQ(get(QStringLiteral("confirmed=%1&yes").arg(encoded)).body, "{\"success\":true}");
    EXPECT_EQ(get(QStringLiteral("confirmed=%1&yes").arg(encoded)).body, "{\"success\":true}");
    info = serverInfo();
    EXPECT_FALSE(info.contains(QStringLiteral("confirm")));

    info = pollUntil([](const QJsonObject &state) {
        return state.value(QStringLiteral("services")).toArray().size() == 3
            && hasNotice(state, QStringLiteral("<b>Scan finished</b><br/>The scan is finished and you"));
    });
    const QJsonArray services = info.value(QStringLiteral("services")).toArray();
    ASSERT_EQ(services.size(), 3) << receiverLog();
    EXPECT_TRUE(hasNotice(info, QStringLiteral("<b>Scan finished</b><br/>The scan is finished and you")));
    EXPECT_EQ(logText().count(QStringLiteral("Receiver::rtkScanNext() -> scan finished")), 1);

    int talk = -1;
    for (const QJsonValue &entry : services) {
        if (entry.toObject().value(QStringLiteral("label")).toString() == QLatin1String("ZOZ Talk"))
            talk = entry.toObject().value(QStringLiteral("ID")).toInt();
    }
    ASSERT_NE(talk, -1);
    EXPECT_EQ(get(QStringLiteral("selectService=%1").arg(talk)).body, "{\"success\":true}");
    Service *selected = manager->selectedService();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->streamId(), 2);

    // The receiver activates the service's sub-channel, and its bytes reach the service.
    QElapsedTimer timer;
    timer.start();
    ZOZ::DabUsbPrivate *usb = receiver->usb();
    while ((usb->channelSlots()[0].activeId() != 2 || !selected->isReceiving()) && timer.elapsed() < 10000) {
        mainThread.runDeferredCalls();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(usb->channelSlots()[0].activeId(), 2) << receiverLog();
    EXPECT_TRUE(selected->isReceiving());
    EXPECT_TRUE(selected->isAvailable());
}
