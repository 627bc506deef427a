// The scheduler's commands through the real HTTP server, over a service
// manager fed with an ensemble snapshot and a scheduler on a fixed clock.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "StrictJson.h"
#include "WebStack.h"
#include "ZOZServiceScheduledRecorder.h"
#include "scheduler/ZOZScheduler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

using ZOZ::ScheduleItem;
using ZOZ::Scheduler;
using ZOZ::ServiceManager;
using ZOZTest::StrictJson;

namespace {

constexpr qint64 Now = 1800000000;
constexpr qint32 EnsembleId = 0x10BC;
constexpr qint64 Sid = 0xD201;
const QByteArray Accepted = "{\"success\":true}";
const QByteArray Refused = "{\"success\":false}";

class SchedulerCommandsTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(ZOZ::Settings::Organisation),
                  QString::fromLatin1(ZOZ::Settings::Application))
            .clear();
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared));
        recorder = std::make_unique<ZOZ::ServiceScheduledRecorder>(*manager);
        scheduler = std::make_unique<Scheduler>(settings, recorder.get(), home.dataFolder(), [] { return Now; });
        web = std::make_unique<ZOZTest::WebStack>(manager, nullptr, scheduler.get());
        ASSERT_TRUE(web->init());
        ASSERT_TRUE(manager->init());
        using namespace Snapshot;
        ZOZ::DabEnsemble e = ensemble(5, EnsembleId, QStringLiteral("Test Mux"));
        e.services << service(QStringLiteral("Radio"), audio(Sid, 1));
        {
            QMutexLocker locker(&shared->mutex);
            shared->ensembles = {e};
        }
        manager->doCheckDabData();
    }

    void TearDown() override
    {
        web.reset();
        scheduler.reset();
        recorder.reset();
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

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZ::ServiceScheduledRecorder> recorder;
    std::unique_ptr<Scheduler> scheduler;
    std::unique_ptr<ZOZTest::WebStack> web;
};

TEST_F(SchedulerCommandsTest, RequestsThatAreIncompleteOrBadChangeNothing)
{
    const QString sids = QStringLiteral("eID=%1&sID=%2").arg(EnsembleId).arg(Sid);
    struct Case
    {
        QString query;
        QString logged;
    };
    const Case cases[] = {
        {QStringLiteral("schedule=&sID=1&duration=60&add"), QStringLiteral("with missing parameter (eID)")},
        {QStringLiteral("schedule=&eID=x&start=1&add"), QStringLiteral("with bad parameter (ensembleId: x)")},
        {QStringLiteral("schedule=&eID=1&add"), QStringLiteral("with missing parameter (sID)")},
        {QStringLiteral("schedule=&eID=1&sID=0x12&add"), QStringLiteral("with bad parameter (serviceId: 0x12)")},
        {QStringLiteral("schedule=&eID=%1&sID=77&start=%2&duration=60&add").arg(EnsembleId).arg(Now + 100),
         QStringLiteral("but no service found!")},
        {QStringLiteral("schedule=&%1&duration=60&add").arg(sids), QStringLiteral("with missing parameter (start)")},
        {QStringLiteral("schedule=&%1&start=4294967296&duration=60&add").arg(sids),
         QStringLiteral("with bad parameter (start: 4294967296)")},
        {QStringLiteral("schedule=&%1&start=%2&add").arg(sids).arg(Now + 100), QStringLiteral("with missing parameter (duration)")},
        {QStringLiteral("schedule=&%1&start=%2&duration=1800.5&add").arg(sids).arg(Now + 100),
         QStringLiteral("with bad parameter (duration: 1800.5)")},
    };
    // The checks run in order: a request without eID and start names only eID.
    EXPECT_EQ(command(cases[0].query), Refused);
    EXPECT_FALSE(logText().contains(QStringLiteral("(start)")));
    for (const Case &c : cases) {
        EXPECT_EQ(command(c.query), Refused) << c.query.toStdString();
        EXPECT_TRUE(logText().contains(QStringLiteral("ServiceManager::httpAjaxRequest() -> warning: schedule request ")
                                       + c.logged))
            << c.query.toStdString();
    }
    EXPECT_EQ(scheduler->count(), 0);
}

TEST_F(SchedulerCommandsTest, AddListAndRemove)
{
    const QString entry = QStringLiteral("eID=%1&sID=%2&start=%3&duration=60").arg(EnsembleId).arg(Sid).arg(Now + 100);
    // Only the presence of "add" counts.
    EXPECT_EQ(command(QStringLiteral("schedule=&%1&description=__UTF8__Morning%20news&add=false").arg(entry)), Accepted);
    // A duplicate is refused; the scheduler tells the user why.
    EXPECT_EQ(command(QStringLiteral("schedule=&%1&add").arg(entry)), Refused);
    // The last second of the 32-bit range is a start like any other.
    EXPECT_EQ(command(QStringLiteral("schedule=&eID=%1&sID=%2&start=4294967295&duration=60&add").arg(EnsembleId).arg(Sid)),
              Accepted);
    // A numeric selector skips the look-up; a negative service id is kept with its sign.
    EXPECT_EQ(command(QStringLiteral("schedule=7&eID=%1&sID=-5&start=%2&duration=60&add").arg(EnsembleId).arg(Now + 1000)),
              Accepted);

    const QByteArray body = command(QStringLiteral("getSchedulerInfo"));
    ASSERT_TRUE(StrictJson::isValid(body)) << body.constData();
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    EXPECT_TRUE(body.startsWith("{\"success\":true,\"scheduleItems\":[")) << body.constData();
    EXPECT_TRUE(reply.value(QStringLiteral("success")).toBool());
    EXPECT_EQ(reply.value(QStringLiteral("services")).toArray().size(), 1);
    const QJsonArray items = reply.value(QStringLiteral("scheduleItems")).toArray();
    ASSERT_EQ(items.size(), 3);
    const QJsonObject first = items[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("label")).toString(), QStringLiteral("Radio"));
    EXPECT_EQ(first.value(QStringLiteral("description")).toString(), QStringLiteral("Morning news"));
    EXPECT_EQ(qint64(first.value(QStringLiteral("serviceId")).toDouble()), Sid);
    EXPECT_EQ(first.value(QStringLiteral("format")).toInt(), -1);
    EXPECT_FALSE(first.value(QStringLiteral("recording")).toBool());
    const QJsonObject negative = items[1].toObject();
    EXPECT_EQ(negative.value(QStringLiteral("SID")).toInt(), 7);
    EXPECT_EQ(negative.value(QStringLiteral("serviceId")).toInt(), -5);
    EXPECT_EQ(qint64(items[2].toObject().value(QStringLiteral("timestamp")).toDouble()), 4294967295LL);

    // Without "add" the request removes; the length need not match.
    EXPECT_EQ(command(QStringLiteral("schedule=&eID=%1&sID=%2&start=%3&duration=5").arg(EnsembleId).arg(Sid).arg(Now + 100)),
              Accepted);
    EXPECT_EQ(command(QStringLiteral("schedule=&eID=%1&sID=%2&start=%3&duration=5").arg(EnsembleId).arg(Sid).arg(Now + 100)),
              Refused);
    EXPECT_EQ(scheduler->count(), 2);
}

} // namespace
