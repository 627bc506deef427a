// The SPI scan: the walk over the SPI services of the heard ensemble on a
// clock of the test's (completion, time-outs, a changed list, another
// ensemble, reset), and the scan thread as the manager starts and stops it.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "ZOZSpiScan.h"

#include <gtest/gtest.h>

#include <memory>

using ZOZ::ReceptionState;
using ZOZ::Service;
using ZOZ::ServiceManager;
using ZOZ::SpiScan;
using ZOZ::SpiScanProgress;

namespace {

constexpr int FirstIndex = 5;
constexpr int SecondIndex = 6;
constexpr qint64 Start = 1800000000;

class SpiScanTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared),
                                           std::make_unique<ProgressFactory>());
        ASSERT_TRUE(manager->init());
    }

    void TearDown() override
    {
        scan.reset();
        ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    void load(const QVector<ZOZ::DabEnsemble> &ensembles)
    {
        shared->setEnsembles(ensembles);
        manager->doCheckDabData();
    }

    QVector<Service *> spi(int index) const { return manager->spiServices().value(index); }
    ProgressService *guide(int index, int i) const { return static_cast<ProgressService *>(spi(index).at(i)); }

    void select(int index)
    {
        Service *radio = topLevelServices(manager, index).first();
        manager->withServices([&](const auto &) { manager->selectService(radio, true); });
    }

    // The walk on the test's clock, its thread not started.
    void startWalk() { scan = manager->createSpiScan([this] { return now; }); }

    void passAt(qint64 time)
    {
        now = time;
        scan->pass();
    }

    // The first guide of the first ensemble complete, the walk on at the second.
    void walkToSecondGuide()
    {
        select(FirstIndex);
        startWalk();
        guide(FirstIndex, 0)->setState(true, 100, quint32(Start));
        guide(FirstIndex, 1)->setState(false, 5, quint32(Start));
        passAt(Start);
        passAt(Start + 1);
        ASSERT_EQ(scanned(), guide(FirstIndex, 1));
    }

    QVector<Service *> receiverSelection() const
    {
        QMutexLocker locker(&shared->mutex);
        return shared->selection;
    }

    // The scanned service comes right after the selected one.
    Service *scanned() const
    {
        const QVector<Service *> selection = receiverSelection();
        const SpiScanProgress progress = scan->progress();
        return progress.name == QStringLiteral("N/A") ? nullptr : selection.value(1);
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::unique_ptr<SpiScan> scan;
    qint64 now = Start;
};

} // namespace

TEST_F(SpiScanTest, EnsembleWithoutSpiWaitsAndReportsNothing)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 0)});
    select(FirstIndex);
    startWalk();
    passAt(Start);
    EXPECT_EQ(scan->ensembleNumber(), FirstIndex);
    EXPECT_EQ(scan->count(), 0);
    EXPECT_EQ(scan->progress(), SpiScanProgress());
    EXPECT_EQ(receiverSelection(), QVector<Service *> {topLevelServices(manager, FirstIndex).first()});
}

TEST_F(SpiScanTest, StepsToTheNextServiceWhenTheCarouselIsComplete)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 3)});
    select(FirstIndex);
    startWalk();
    for (int i = 0; i < 3; ++i)
        guide(FirstIndex, i)->setState(false, 10, Start - 100, Start + 200);

    passAt(Start);
    ASSERT_EQ(scanned(), guide(FirstIndex, 0));
    SpiScanProgress expected;
    expected.count = 3;
    expected.current = 0;
    expected.estimated = 300;
    expected.taken = 100;
    expected.name = QStringLiteral("Guide 5.0");
    expected.isComplete = false;
    EXPECT_EQ(scan->progress(), expected);

    passAt(Start + 1);
    EXPECT_EQ(scanned(), guide(FirstIndex, 0));
    guide(FirstIndex, 0)->setState(true, 100, Start - 100, Start + 2);
    passAt(Start + 2);
    EXPECT_EQ(scanned(), guide(FirstIndex, 1));
    EXPECT_EQ(scan->progress().current, 1);
    guide(FirstIndex, 1)->setState(true, 100, Start - 100, Start + 3);
    guide(FirstIndex, 2)->setState(true, 100, Start - 100, Start + 3);
    passAt(Start + 3);
    EXPECT_EQ(scanned(), guide(FirstIndex, 2));
    // The last one done: nothing is scanned until the list or the ensemble changes.
    passAt(Start + 4);
    EXPECT_EQ(scanned(), nullptr);
    EXPECT_EQ(scan->progress(), SpiScanProgress());
    passAt(Start + 5);
    EXPECT_EQ(scanned(), nullptr);
}

TEST_F(SpiScanTest, MovesOnOnlyAfterTheNoProgressTimeOut)
{
    struct Case
    {
        const char *name;
        int progress;
        qint64 startAgo;   // seconds before the first pass; 0: no data yet
        qint64 secondPass; // seconds after the first pass
        bool movesOn;
    };
    const Case cases[] = {
        {"40 % after 700 s stays", 40, 700, 0, false},
        {"0 % after 601 s moves on", 0, 601, 0, true},
        {"0 % after exactly 600 s stays", 0, 600, 0, false},
        {"no data for 600 s stays", 0, 0, 600, false},
        {"no data for 601 s moves on", 0, 0, 601, true},
        {"40 % unchanged for 600 s stays", 40, 10, 600, false},
        {"40 % unchanged for 601 s moves on", 40, 10, 601, true},
    };
    load({spiEnsemble(FirstIndex, 0x10BC, 2)});
    select(FirstIndex);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const quint32 started = c.startAgo != 0 ? quint32(Start - c.startAgo) : 0u;
        guide(FirstIndex, 0)->setState(false, c.progress, started);
        guide(FirstIndex, 1)->setState(false, 0, 0);
        startWalk();
        passAt(Start);
        if (c.secondPass != 0)
            passAt(Start + c.secondPass);
        EXPECT_EQ(scanned(), guide(FirstIndex, c.movesOn ? 1 : 0));
        scan.reset();
    }
}

TEST_F(SpiScanTest, RisingProgressKeepsTheScanWaiting)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 2)});
    select(FirstIndex);
    startWalk();
    guide(FirstIndex, 0)->setState(false, 10, quint32(Start));
    passAt(Start);
    guide(FirstIndex, 0)->setState(false, 20, quint32(Start));
    passAt(Start + 500);
    passAt(Start + 1000);
    EXPECT_EQ(scanned(), guide(FirstIndex, 0));
    passAt(Start + 1101);
    EXPECT_EQ(scanned(), guide(FirstIndex, 1));
}

TEST_F(SpiScanTest, NewSpiServiceRestartsTheWalk)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 2)});
    ASSERT_NO_FATAL_FAILURE(walkToSecondGuide());

    load({spiEnsemble(FirstIndex, 0x10BC, 3)});
    guide(FirstIndex, 0)->setState(false, 5, quint32(Start));
    passAt(Start + 2);
    EXPECT_EQ(scan->count(), 3);
    EXPECT_EQ(scan->index(), 0);
    EXPECT_EQ(scanned(), guide(FirstIndex, 0));
}

TEST_F(SpiScanTest, AnotherEnsembleStartsOverOnItsList)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 2), spiEnsemble(SecondIndex, 0x10BD, 1)});
    ASSERT_NO_FATAL_FAILURE(walkToSecondGuide());

    select(SecondIndex);
    guide(SecondIndex, 0)->setState(false, 5, quint32(Start));
    passAt(Start + 2);
    EXPECT_EQ(scan->ensembleNumber(), SecondIndex);
    EXPECT_EQ(scan->count(), 1);
    EXPECT_EQ(scanned(), guide(SecondIndex, 0));
    EXPECT_EQ(receiverSelection().first(), topLevelServices(manager, SecondIndex).first());
}

TEST_F(SpiScanTest, ResetAndTheEndTakeTheScannedServiceOut)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 2)});
    Service *radio = topLevelServices(manager, FirstIndex).first();
    ASSERT_NO_FATAL_FAILURE(walkToSecondGuide());

    // Without a selection the walk forgets its place.
    manager->withServices([&](const auto &) { manager->selectService(nullptr, true); });
    passAt(Start + 2);
    EXPECT_EQ(scan->ensembleNumber(), -1);
    EXPECT_EQ(scan->progress(), SpiScanProgress());
    select(FirstIndex);
    passAt(Start + 3);
    EXPECT_EQ(scan->index(), 1);
    ASSERT_EQ(receiverSelection(), QVector<Service *>({radio, guide(FirstIndex, 1), guide(FirstIndex, 0)}));

    // A reset hands the receiver the selection and its ensemble's guides in their order.
    scan->reset();
    EXPECT_EQ(scan->count(), 0);
    EXPECT_EQ(receiverSelection(), QVector<Service *>({radio, guide(FirstIndex, 0), guide(FirstIndex, 1)}));
    passAt(Start + 4);
    ASSERT_EQ(receiverSelection().value(1), guide(FirstIndex, 1));
    // So does the end of the scan.
    scan.reset();
    EXPECT_EQ(receiverSelection(), QVector<Service *>({radio, guide(FirstIndex, 0), guide(FirstIndex, 1)}));
}

// The manager runs one scan thread at a time; it walks on its own once a second.
TEST_F(SpiScanTest, ManagerStartsOneScanAndStopsIt)
{
    load({spiEnsemble(FirstIndex, 0x10BC, 2)});
    select(FirstIndex);
    guide(FirstIndex, 0)->setState(true, 100, quint32(Start));
    guide(FirstIndex, 1)->setState(false, 5, quint32(Start));
    EXPECT_FALSE(manager->stopSpiScan());
    EXPECT_EQ(manager->spiScanProgress(), SpiScanProgress());
    EXPECT_TRUE(manager->startSpiScan());
    EXPECT_FALSE(manager->startSpiScan());
    EXPECT_TRUE(waitUntil([&] { return manager->spiScanProgress().name == QStringLiteral("Guide 5.1"); }, 60000));
    EXPECT_EQ(manager->spiScanProgress().current, 1);
    EXPECT_TRUE(manager->stopSpiScan());
    EXPECT_EQ(manager->spiScanProgress(), SpiScanProgress());
    EXPECT_FALSE(manager->stopSpiScan());
}
