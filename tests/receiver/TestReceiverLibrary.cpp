#include "ReceiverTestSupport.h"

#include "ZOZDABEnsembleCache.h"
#include "ZOZRtkLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

// The FIC of a real recording, served by our receiver library on channel 5C,
// through the receiver thread into the ensemble database.
TEST(ReceiverLibrary, SloveniaThroughTheLibraryFillsTheDatabase)
{
    const QString recording = QStringLiteral(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (!QFile::exists(recording))
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    qputenv("RTKDAB_SOURCE", (recording + QStringLiteral("@5C")).toLocal8Bit());
    qputenv("RTKDAB_SPEED", "4");

    ReceiverEnvironment environment;
    environment.settings->setFrontEndMode(Settings::ModeDab);
    auto receiver = std::make_unique<Receiver>();
    receiver->setDataFolder(environment.dataFolder());
    receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIR));
    // Like the service manager, take the signal on this thread, queued.
    QObject mainThreadContext;
    int dataReadyCount = 0;
    QObject::connect(receiver.get(), &Receiver::dataReady, &mainThreadContext, [&] { ++dataReadyCount; },
                     Qt::QueuedConnection);
    ASSERT_TRUE(receiver->init(environment.settings));
    ASSERT_TRUE(rtkIsLoaded());
    EXPECT_NE(receiver->deviceModel(), 0) << "the configured source counts as a stick";

    receiver->addEnsembleForChannel(0);
    receiver->requestEnsemble(0);
    receiver->start();

    QElapsedTimer timer;
    timer.start();
    QVector<DabEnsemble> ensembles;
    auto validServices = [](const DabEnsemble &ensemble) {
        return std::count_if(ensemble.services.begin(), ensemble.services.end(),
                             [](const DabService &service) { return service.valid; });
    };
    while (timer.elapsed() < 8000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ensembles = receiver->getEnsembles();
        if (ensembles.size() == 1 && validServices(ensembles.first()) == 15 && dataReadyCount > 0
            && ensembles.first().label != QStringLiteral("5C"))
            break;
    }
    ASSERT_EQ(ensembles.size(), 1);
    const DabEnsemble &ensemble = ensembles.first();
    EXPECT_EQ(ensemble.label, QStringLiteral("MULTIPLEX R1"));
    EXPECT_EQ(ensemble.ensembleId, 0x9200);
    EXPECT_EQ(validServices(ensemble), 15);
    EXPECT_GT(dataReadyCount, 0);
    EXPECT_TRUE(receiver->signalPresent() || timer.elapsed() < 1500);

    receiver.reset(); // stops the thread and the library, unloads it
    EXPECT_FALSE(rtkIsLoaded());

    QString setName;
    const DabEnsembleMap map = readEnsembleCache(environment.dataFolder(), &setName);
    ASSERT_TRUE(map.count(0));
    EXPECT_EQ(map.at(0)->label, QStringLiteral("MULTIPLEX R1"));
    EXPECT_EQ(map.at(0)->services.size(), 15);
    qunsetenv("RTKDAB_SOURCE");
    qunsetenv("RTKDAB_SPEED");
}

} // namespace
