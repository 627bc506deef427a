// The ensemble database behind the receiver: when it takes records and
// touches the cache, what it counts, and which ensemble keeps a service that
// two of them carry.
#include "EnsembleSamples.h"

#include "ZOZClock.h"
#include "ZOZDABEnsembleCache.h"
#include "ZOZEnsembleDatabase.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

constexpr int Channel5C = 0;  // 178352 kHz
constexpr int Channel11D = 3; // 222064 kHz
constexpr qint32 EnsembleOn5C = 0x1234;
constexpr qint32 EnsembleOn11D = 0x5678;

class EnsembleDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        database.setCacheFolder(folder.path() + QStringLiteral("/"));
    }

    // A cache file with two ensembles that carry the same two services.
    void writeCacheWithTwoEnsembles()
    {
        DabEnsembleMap map;
        auto first = sampleEnsemble(0, 178352, 2);
        first->ensembleId = EnsembleOn5C;
        auto second = sampleEnsemble(0, 222064, 2);
        second->ensembleId = EnsembleOn11D;
        map[first->index] = std::move(first);
        map[second->index] = std::move(second);
        DABEnsembleCache cache(folder.path() + QStringLiteral("/"));
        ASSERT_TRUE(cache.write(QStringLiteral("default"), {}, map));
    }

    int servicesOf(int index)
    {
        const auto locker = database.lock();
        const DabEnsemble *ensemble = database.find(index);
        return ensemble ? int(ensemble->services.size()) : -1;
    }

    QTemporaryDir folder;
    EnsembleDatabase database;
};

TEST_F(EnsembleDatabaseTest, TakesRecordsAndTouchesTheCacheOnlyWhileOpen)
{
    const QString file = folder.filePath(DABEnsembleCache::DefaultFileName);
    database.addEnsembleForChannel(Channel5C);
    EXPECT_TRUE(database.isEmpty()) << "a closed database takes no record";
    EXPECT_FALSE(database.saveCache());
    EXPECT_FALSE(QFile::exists(file));

    database.open();
    database.addEnsembleForChannel(Channel5C);
    database.addEnsembleForChannel(Channel11D);
    database.addEnsembleForChannel(Channel5C); // kept, not doubled
    EXPECT_EQ(database.getEnsembles().size(), 2);
    EXPECT_EQ(database.firstValidIndex(), -1) << "no record has data yet";
    ASSERT_TRUE(database.saveCache());
    EXPECT_TRUE(QFile::exists(file));

    database.close();
    EXPECT_TRUE(database.isEmpty());
    EXPECT_FALSE(database.loadCache()) << "a closed database reads no cache";
    database.open();
    ASSERT_TRUE(database.loadCache());
    EXPECT_EQ(database.getEnsembles().size(), 2);
}

TEST_F(EnsembleDatabaseTest, CountsServicesAudioAndDataApplicationsOfValidEnsembles)
{
    writeCacheWithTwoEnsembles();
    database.open();
    ASSERT_TRUE(database.loadCache());
    EXPECT_EQ(database.firstValidIndex(), Channel5C);
    database.countServices(Channel5C, false);
    const EnsembleDatabase::Counts counts = database.counts();
    EXPECT_EQ(counts.ensembles, 2);
    EXPECT_EQ(counts.services, 4);
    EXPECT_EQ(counts.audioComponents, 4);
    EXPECT_EQ(counts.dataApplications, 4);
    EXPECT_FALSE(database.isExcludedService(EnsembleOn5C, 0x4000)) << "nothing is dropped without being asked";
    EXPECT_EQ(servicesOf(Channel5C), 2);
}

TEST_F(EnsembleDatabaseTest, AServiceOnTwoEnsemblesStaysWhereItCameWithFewerErrors)
{
    struct Case
    {
        const char *name;
        int currentErrors;
        int otherErrors;
        qint32 givesUp;
        int currentKeeps;
        int otherKeeps;
    };
    const Case cases[] = {
        { "equal errors: the current ensemble gives up", 0, 0, EnsembleOn5C, 0, 2 },
        { "more errors on the current one", 7, 2, EnsembleOn5C, 0, 2 },
        { "more errors on the other one", 2, 7, EnsembleOn11D, 2, 0 },
    };
    writeCacheWithTwoEnsembles();
    database.open();
    for (const Case &c : cases) {
        ASSERT_TRUE(database.loadCache()) << c.name;
        {
            const auto locker = database.lock();
            DabEnsemble *current = database.find(Channel5C);
            DabEnsemble *other = database.find(Channel11D);
            ASSERT_TRUE(current && other) << c.name;
            current->fibPushErrors = c.currentErrors;
            other->figPushErrors = c.otherErrors;
        }
        database.countServices(Channel5C, true);
        EXPECT_EQ(servicesOf(Channel5C), c.currentKeeps) << c.name;
        EXPECT_EQ(servicesOf(Channel11D), c.otherKeeps) << c.name;
        EXPECT_TRUE(database.isExcludedService(c.givesUp, 0x4000)) << c.name;
        EXPECT_TRUE(database.isExcludedService(c.givesUp, 0x4001)) << c.name;
        const qint32 keeps = c.givesUp == EnsembleOn5C ? EnsembleOn11D : EnsembleOn5C;
        EXPECT_FALSE(database.isExcludedService(keeps, 0x4000)) << c.name;
    }
}

TEST_F(EnsembleDatabaseTest, CountingDropsAnInvalidCurrentRecordOnlyWhenAsked)
{
    database.open();
    database.addEnsembleForChannel(Channel5C);
    database.countServices(Channel5C, false);
    EXPECT_FALSE(database.isEmpty());
    database.countServices(Channel5C, true);
    EXPECT_TRUE(database.isEmpty());
    EXPECT_EQ(database.counts().ensembles, 0);
}

// A feed whose service data changes all the time (an alternating label, a
// damaged stream) must not rewrite and sync the cache on every change: one
// write per interval, the latest state in it, and nothing lost at the close.
TEST_F(EnsembleDatabaseTest, ChangesAreWrittenAtMostOncePerIntervalAndAtTheClose)
{
    struct InstalledClock : ManualClock
    {
        InstalledClock() { Clock::install(this); }
        ~InstalledClock() { Clock::install(nullptr); }
    } clock;
    const QString file = folder.filePath(DABEnsembleCache::DefaultFileName);
    const QString cacheFolder = folder.path() + QStringLiteral("/");
    database.open();
    database.addEnsembleForChannel(Channel5C);

    int writes = 0;
    QString labelOnDisk;
    // The walk's last step with a changed label; every write of the cache is
    // seen here once, because the file is taken away after each look.
    auto change = [&](const QString &label) {
        const auto locker = database.lock();
        DabEnsemble *ensemble = database.find(Channel5C);
        ASSERT_NE(ensemble, nullptr);
        ensemble->label = label;
        bool changed = true;
        database.finishEnsembleUpdate(ensemble, changed);
    };
    auto look = [&] {
        if (!QFile::exists(file))
            return;
        ++writes;
        DABEnsembleCache cache(cacheFolder);
        QString setName;
        QList<DabEnsembleCacheEntry> excluded;
        DabEnsembleMap map;
        labelOnDisk = cache.read(setName, excluded, map) && map.count(Channel5C) ? map.at(Channel5C)->label : QString();
        QFile::remove(file);
    };

    change(QStringLiteral("first"));
    look();
    EXPECT_EQ(writes, 1) << "a change after a quiet time is written at once";
    EXPECT_EQ(labelOnDisk, QStringLiteral("first"));

    // Hundreds of changes a second, for just under one interval.
    const int burst = int(EnsembleDatabase::CacheSaveIntervalMs / 5) - 1;
    for (int i = 0; i < burst; ++i) {
        clock.advance(5);
        change(i % 2 ? QStringLiteral("odd") : QStringLiteral("even"));
        database.saveCacheIfDue();
        look();
    }
    EXPECT_EQ(writes, 1) << "no write within the interval";

    clock.advance(5);
    database.saveCacheIfDue();
    look();
    EXPECT_EQ(writes, 2) << "the held-back change is written once the interval has passed";
    EXPECT_EQ(labelOnDisk, QStringLiteral("even")) << "the write holds the latest state";

    clock.advance(10 * EnsembleDatabase::CacheSaveIntervalMs);
    database.saveCacheIfDue();
    look();
    EXPECT_EQ(writes, 2) << "nothing is written without a change";

    // Ten seconds of a change every 10 ms: one write at the start, then one
    // per interval.
    for (int i = 0; i < 1000; ++i) {
        clock.advance(10);
        change(QStringLiteral("label %1").arg(i));
        database.saveCacheIfDue();
        look();
    }
    EXPECT_EQ(writes, 2 + 2);

    clock.advance(1);
    change(QStringLiteral("last"));
    database.saveCacheIfDue();
    look();
    EXPECT_EQ(writes, 4);
    database.close();
    look();
    EXPECT_EQ(writes, 5) << "the close writes what was held back";
    EXPECT_EQ(labelOnDisk, QStringLiteral("last"));

    database.open();
    database.close();
    look();
    EXPECT_EQ(writes, 5) << "a close without a held-back change writes nothing";
}

} // namespace
