// The scan over a configured frequency list, with generated ensembles served
// by our receiver library, and the ajax command that drives it.
#include "ReceiverTestSupport.h"

#include "ZOZRtkLibrary.h"
#include "ajax/ZOZAjaxCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

const QString DemoFolder = QStringLiteral(ZOZ_BINARY_DIR "/resources/demo");

struct Notice {
    QString text;
    QString type;
    int seconds;
};

// A receiver over the real library, its clock run by the test at ten times
// the speed of the library's own pacing.
class ScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(DemoFolder + QStringLiteral("/5C.eti")) || !QFile::exists(DemoFolder + QStringLiteral("/11D.eti")))
            GTEST_SKIP() << "the generated demo ensembles are missing in " << qPrintable(DemoFolder);
        qputenv("RTKDAB_SOURCE", DemoFolder.toLocal8Bit());
        qputenv("RTKDAB_SPEED", "10");
        Clock::install(&clock);
        environment.settings->setFrontEndMode(Settings::ModeDab);
        // 5C and 11D have recordings, 12A has none; 1 kHz is no channel at all.
        const QString config = environment.dataFolder() + QStringLiteral("zoz.cfg");
        QDir().mkpath(environment.dataFolder());
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<zoz><scanFrequencies><dab><frequency frequencyOrId='5C'/><frequency frequencyOrId='1'/>"
                   "<frequency frequencyOrId='12A'/><frequency frequencyOrId='222064'/></dab></scanFrequencies></zoz>");
        file.close();
        environment.settings->setConfigFileName(config);
        ASSERT_TRUE(environment.settings->parseConfigFile(Settings::ConfigPass::Initial));
        ASSERT_EQ(environment.settings->scanFrequencies().size(), 4);
    }
    void TearDown() override
    {
        receiver.reset();
        Clock::install(nullptr);
        qunsetenv("RTKDAB_SOURCE");
        qunsetenv("RTKDAB_SPEED");
    }

    void start()
    {
        receiver = std::make_unique<Receiver>();
        receiver->setDataFolder(environment.dataFolder());
        receiver->setLibraryDirectory(QStringLiteral(RTKDAB_DIR));
        receiver->setMessageSink([this](const QString &text, QObject *, const char *, QObject *, const char *) {
            messages << text;
        });
        receiver->setNotificationSink([this](const QString &text, const QString &type, int seconds) {
            notices.push_back({text, type, seconds});
        });
        connect();
        ASSERT_TRUE(receiver->init(environment.settings));
    }
    void connect()
    {
        QObject::connect(receiver.get(), &Receiver::signalScanMode, [this](bool on) { scanModes << on; });
    }

    // One tick per 4 ms of real time, 40 ms on the receiver's clock.
    void tick()
    {
        QThread::msleep(4);
        clock.advance(Receiver::TickIntervalMs);
        receiver->tickDabUsb();
    }

    QString ajax(const QMap<QString, QString> &query, bool *handled)
    {
        HttpRequest request;
        request.query = query;
        HttpResponse response;
        // The "scan" command as the pages' table runs it.
        AjaxTable table;
        addReceiverCommands(table, {nullptr, receiver.get(), nullptr});
        request.granted = true;
        *handled = table.dispatch(request, response);
        return QString::fromUtf8(response.body);
    }

    int validEnsembles()
    {
        int n = 0;
        for (const DabEnsemble &e : receiver->getEnsembles())
            n += e.valid ? 1 : 0;
        return n;
    }

    ReceiverEnvironment environment;
    ManualClock clock;
    std::unique_ptr<Receiver> receiver;
    QStringList messages;
    std::vector<Notice> notices;
    QList<bool> scanModes;
};

} // namespace

TEST_F(ScanTest, FindsTheTwoEnsemblesOfTheListAndStartsFromTheCacheAfterwards)
{
    start();
    ASSERT_EQ(messages.size(), 1) << "no database yet: a scan is asked for";
    bool handled = false;
    EXPECT_EQ(ajax({{QStringLiteral("scan"), QStringLiteral("start")}}, &handled), QStringLiteral("{\"success\":true}"));
    ASSERT_TRUE(handled);

    QList<int> progress;
    QStringList labels;
    for (int i = 0; i < 1000 && (scanModes.isEmpty() || scanModes.last()); ++i) {
        tick();
        const TemplateValue status = receiverStatusValue(receiver->receiverStatus());
        ASSERT_EQ(status.name(), QStringLiteral("receiver"));
        const QVector<TemplateValue> &members = status.mapChildren();
        ASSERT_EQ(members.size(), 6);
        const int p = members.at(2).value().toInt();
        if (progress.isEmpty() || progress.last() != p)
            progress << p;
        const QString label = members.at(3).value();
        if (labels.isEmpty() || labels.last() != label)
            labels << label;
    }
    ASSERT_EQ(scanModes, (QList<bool>{true, false}));
    EXPECT_EQ(labels, (QStringList{QString(), QStringLiteral("5C"), QStringLiteral("12A"), QStringLiteral("11D")}));
    EXPECT_EQ(progress, (QList<int>{0, 50, 75, 100}));
    EXPECT_EQ(validEnsembles(), 2);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.startsWith(QStringLiteral("<b>Scan finished</b><br/>The scan is finished and you")));
    EXPECT_EQ(notices[0].type, QStringLiteral("info"));
    EXPECT_EQ(notices[0].seconds, 6);
    EXPECT_EQ(receiverStatusValue(receiver->receiverStatus()).toJson(),
              QStringLiteral("\"receiver\":{\"devicePresent\":true,\"scanning\":false,\"progress\":100,"
                             "\"currentEnsemble\":\"11D\",\"numEnsembles\":2,\"numServices\":%1}")
                  .arg(receiverStatusValue(receiver->receiverStatus()).mapChildren().at(5).value()));

    // A restart reads the cache: no scan, the same two ensembles.
    receiver.reset();
    messages.clear();
    scanModes.clear();
    int cached = 0;
    for (const auto &[index, ensemble] : readEnsembleCache(environment.dataFolder()))
        cached += ensemble->valid ? 1 : 0;
    EXPECT_EQ(cached, 2);
    start();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(validEnsembles(), 2);
    EXPECT_FALSE(receiver->isScanning());
}

TEST_F(ScanTest, AjaxCommandsAndAbort)
{
    start();
    bool handled = true;
    ajax({{QStringLiteral("scan"), QStringLiteral("pause")}}, &handled);
    EXPECT_FALSE(handled) << "other values are left to other handlers";
    ajax({{QStringLiteral("other"), QStringLiteral("start")}}, &handled);
    EXPECT_FALSE(handled);

    ajax({{QStringLiteral("scan"), QStringLiteral("start")}, {QStringLiteral("scanAdditional"), QStringLiteral("false")}},
         &handled);
    EXPECT_TRUE(handled);
    tick();
    EXPECT_TRUE(receiver->isScanning());
    EXPECT_FALSE(receiver->usb()->scanAdditional());
    EXPECT_FALSE(receiver->usb()->keepPrevious());

    // Stopped before anything was found: the user is asked to scan again.
    messages.clear();
    EXPECT_EQ(ajax({{QStringLiteral("scan"), QStringLiteral("stop")}}, &handled), QStringLiteral("{\"success\":true}"));
    tick();
    EXPECT_FALSE(receiver->isScanning());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("<b>Scan aborted</b><br/>The scan was aborted before any")));
    EXPECT_TRUE(notices.empty());
}
