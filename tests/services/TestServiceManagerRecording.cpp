// The whole road on a real recording: the receiver library serves the ETI
// file, the receiver builds its ensemble database and the manager its services.
#include "ReceiverTestSupport.h"
#include "SettingsFixture.h"
#include "ZOZDab.h"
#include "ZOZReceiver.h"
#include "ZOZService.h"
#include "ZOZServiceManager.h"
#include "data/ZOZServiceSLS.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

using ZOZ::Service;
using ZOZ::ServiceManager;

namespace {

class ServiceManagerRecordingTest : public ZOZTest::ReceiverManagerFixture
{
protected:
    // The receiver library serves the recording on channel 5C; the manager starts on it.
    void startSlovenia(const QString &recording, ServiceManager *&manager)
    {
        qputenv("RTKDAB_SOURCE", (recording + QStringLiteral("@5C")).toLocal8Bit());
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        settings->setFrontEndMode(ZOZ::Settings::ModeDab);
        ZOZ::Receiver *receiver = ZOZ::Receiver::instance();
        receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIRECTORY));
        receiver->setDataFolder(home.dataFolder());
        manager = ServiceManager::instance();
        ASSERT_TRUE(manager->init());
        const int channel = ZOZTest::channelIndex("5C");
        ASSERT_GE(channel, 0);
        receiver->addEnsembleForChannel(channel);
        receiver->requestEnsemble(channel);
    }
};

} // namespace

TEST_F(ServiceManagerRecordingTest, SloveniaBuildsItsAudioAndDataServices)
{
    const QString recording = QStringLiteral(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (!QFileInfo::exists(recording))
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    ServiceManager *manager = nullptr;
    ASSERT_NO_FATAL_FAILURE(startSlovenia(recording, manager));

    QVector<Service *> audio;
    QVector<Service *> data;
    const auto collect = [&] {
        audio.clear();
        data.clear();
        manager->withServices([&](const QMap<int, QVector<Service *>> &tree) {
            for (const QVector<Service *> &services : tree) {
                for (Service *service : services) {
                    if (service->isAudio())
                        audio << service;
                    else
                        data << service->children();
                }
            }
        });
        return audio.size() >= 13 && data.size() >= 2;
    };
    QElapsedTimer timer;
    timer.start();
    while (!collect() && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    ASSERT_EQ(audio.size(), 13) << logText().right(4000).toStdString();
    QSet<QString> labels;
    int slideShows = 0;
    for (Service *service : std::as_const(audio)) {
        EXPECT_FALSE(service->label().isEmpty());
        EXPECT_EQ(service->ensembleLabel(), QStringLiteral("MULTIPLEX R1"));
        EXPECT_EQ(service->sourceFlags(), 3u) << service->label().toStdString();
        labels << service->label();
        for (Service *child : service->children())
            slideShows += qobject_cast<ZOZ::ServiceSLS *>(child) != nullptr;
    }
    EXPECT_EQ(labels.size(), 13);
    EXPECT_EQ(slideShows, 8);

    ASSERT_EQ(data.size(), 2);
    QMap<QString, QString> kinds;
    for (Service *service : std::as_const(data))
        kinds.insert(service->shortname(), service->label());
    EXPECT_EQ(kinds.value(QStringLiteral("journaline")), QStringLiteral("Info"));
    EXPECT_EQ(kinds.value(QStringLiteral("spi")), QStringLiteral("Spored"));
}

TEST_F(ServiceManagerRecordingTest, SloveniaJournalineShowsItsRootMenu)
{
    const QString recording = QStringLiteral(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (!QFileInfo::exists(recording))
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    ServiceManager *manager = nullptr;
    ASSERT_NO_FATAL_FAILURE(startSlovenia(recording, manager));

    // The "Info" service's Journaline component: sub-channel 13, packet address 1.
    Service *journaline = nullptr;
    Service *info = nullptr;
    const auto find = [&] {
        manager->withServices([&](const QMap<int, QVector<Service *>> &tree) {
            for (const QVector<Service *> &services : tree)
                for (Service *service : services)
                    for (Service *child : service->children())
                        if (child->shortname() == QLatin1String("journaline")) {
                            journaline = child;
                            info = service;
                        }
        });
        return journaline != nullptr;
    };
    QElapsedTimer timer;
    timer.start();
    while (!find() && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_NE(journaline, nullptr) << logText().right(4000).toStdString();
    EXPECT_EQ(journaline->packetId(), 1);
    journaline->retain();
    // Selecting the service on air ("Info") brings its Journaline component's data.
    EXPECT_EQ(info->label(), QStringLiteral("Info"));
    manager->selectService(info, false);

    ZOZ::PageAnswer answer;
    const auto menuShown = [&] {
        answer = {};
        return journaline->answerPage({QString(), QStringLiteral("0.html"), {}}, answer) &&
               answer.body.contains("Journaline Service");
    };
    timer.restart();
    while (!menuShown() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(answer.body.contains("<h1>Journaline Service</h1>")) << answer.body.left(2000).toStdString();
    EXPECT_EQ(answer.mimeType, QStringLiteral("text/html"));

    // A menu item opens as a page of its own.
    const qsizetype menu = answer.body.indexOf("<ul class=\"menu\">");
    const qsizetype link = answer.body.indexOf("<a href=\"", menu);
    ASSERT_GE(menu, 0);
    ASSERT_GE(link, 0);
    const QByteArray href = answer.body.mid(link + 9, answer.body.indexOf('"', link + 9) - link - 9);
    const QUrl url(QString::fromUtf8(href));
    ZOZ::PageAnswer item;
    QMap<QString, QString> query;
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        query.insert(key, value);
    ASSERT_TRUE(journaline->answerPage({QString(), url.path(), query}, item));
    EXPECT_EQ(item.status, 200);
    EXPECT_TRUE(item.body.contains("<h1>")) << item.body.left(2000).toStdString();
    journaline->release();
}
