// The whole road on a real recording: the receiver library serves the ETI
// file, the receiver builds its ensemble database and the manager its services.
#include "ReceiverTestSupport.h"
#include "SettingsFixture.h"
#include "ZOZDab.h"
#include "ZOZReceiver.h"
#include "ZOZService.h"
#include "ZOZServiceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

using ZOZ::Service;
using ZOZ::ServiceManager;

namespace {

using ServiceManagerRecordingTest = ZOZTest::ReceiverManagerFixture;

} // namespace

TEST_F(ServiceManagerRecordingTest, SloveniaBuildsItsAudioAndDataServices)
{
    const QString recording = QStringLiteral(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (!QFileInfo::exists(recording))
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    qputenv("RTKDAB_SOURCE", (recording + QStringLiteral("@5C")).toLocal8Bit());
    settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));

    settings->setFrontEndMode(ZOZ::Settings::ModeDab);

    ZOZ::Receiver *receiver = ZOZ::Receiver::instance();
    receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIRECTORY));
    receiver->setDataFolder(home.dataFolder());
    ServiceManager *manager = ServiceManager::instance();
    ASSERT_TRUE(manager->init());
    const int channel = ZOZTest::channelIndex("5C");
    ASSERT_GE(channel, 0);
    receiver->addEnsembleForChannel(channel);
    receiver->requestEnsemble(channel);

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
            slideShows += child->shortname() == QLatin1String("sls");
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
