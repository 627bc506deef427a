// The programme guide with the real service manager: a schedule of a
// service on air takes its label, and a saved logo becomes the service's
// logo in the list.
#include "ZOZServiceManager.h"
#include "data/ZOZSpiManager.h"

#include "ServiceTestSupport.h"
#include "SettingsFixture.h"
#include "SpiEncoder.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

using namespace ZOZ;
using namespace ZOZTest::Spi;

namespace {

constexpr int EnsembleIndex = 5;
constexpr quint32 Sid = 0xD201;

class SpiServicesTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(cache.path());
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared),
                                           std::make_unique<ServiceFactory>());
        ASSERT_TRUE(manager->init());
        using namespace Snapshot;
        ZOZ::DabEnsemble e = ensemble(EnsembleIndex, 0x4FFF, QStringLiteral("Test Mux"));
        e.services << service(QStringLiteral("Radio One"), audio(Sid, 1), 0xE4);
        shared->setEnsembles({e});
        manager->doCheckDabData();
        guide = SpiManager::instance();
    }

    void TearDown() override
    {
        guide.reset();
        ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    SpiDocument document(const QByteArray &body, int type) const
    {
        SpiDocument document;
        document.spiServiceId = QStringLiteral("e4d2f0.d1");
        document.serviceCountryKey = 0xE49;
        document.fullContentIdForm = true;
        document.type = type;
        document.body = body;
        return document;
    }

    QTemporaryDir cache;
    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::shared_ptr<SpiManager> guide;
};

TEST_F(SpiServicesTest, scheduleAndLogoReachTheServiceOnAir)
{
    ContentId id;
    id.sid = Sid;
    Programme programme;
    programme.shortName = "News";
    programme.start = QDateTime::currentDateTimeUtc().addSecs(3600);
    programme.duration = 600;
    const QByteArray pi = element(Tag::Spi, block(Tag::DefaultContentId, id.bytes())
                                                + element(Tag::Schedule, attribute(0x80, be16(1)) + programme.bytes()));
    guide->decodeDocument(document(pi, SpiDocument::ProgrammeInformation));
    {
        QReadLocker locker(&guide->store().lock);
        const SpiService service = guide->store().index.value(0xE49).services.value(Sid);
        EXPECT_TRUE(service.hasSi);
        EXPECT_EQ(service.mediumName, QStringLiteral("Radio One"));
    }

    const QByteArray si = element(
        Tag::ServiceInformation,
        element(Tag::Service, element(Tag::MediaDescription, multimedia("logo.png", 2, 128, 128))
                                  + element(Tag::ServiceId, attribute(0x80, id.bytes()))));
    guide->decodeDocument(document(si, SpiDocument::ServiceInformation));
    guide->logoArrived(QStringLiteral("e4d2f0.d1"), QStringLiteral("logo.png"), SpiLogos::PngCode, "png bytes");
    guide->waitForBackgroundWork();
    QCoreApplication::processEvents(); // the logo reaches the service on the main thread
    EXPECT_TRUE(QFile::exists(cache.filePath(QStringLiteral("logos/e4d201.png"))));
    Service *radio = manager->findService(-1, -1, int(Sid));
    ASSERT_NE(radio, nullptr);
    EXPECT_TRUE(radio->logo().startsWith(QStringLiteral("logos/e4d201.png?lm="))) << qPrintable(radio->logo());
    radio->release();
}

} // namespace
