#include "EnsembleSamples.h"
#include "ReceiverTestSupport.h"
#include "ScriptedLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

TEST(ReceiverSingleton, SecondInstanceIsTheFirstAndDestroyTwiceIsHarmless)
{
    ReceiverEnvironment environment;
    Receiver *first = Receiver::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Receiver::instance(), first);
    EXPECT_EQ(Receiver::existingInstance(), first);
    Receiver::destroyInstance();
    EXPECT_EQ(Receiver::existingInstance(), nullptr);
    Receiver::destroyInstance();
}

TEST(ReceiverStart, OtherFrontEndModeNeverOpensTheStick)
{
    ReceiverEnvironment environment; // front-end mode "none"
    ScriptedLibrary::reset();
    Receiver receiver;
    receiver.setDataFolder(environment.dataFolder());
    receiver.setLibrary(&ScriptedLibrary::api());
    receiver.setDeviceProbe([] { return 600; });
    int dataReady = 0;
    QObject::connect(&receiver, &Receiver::dataReady, [&] { ++dataReady; });
    ASSERT_TRUE(receiver.init(environment.settings));
    receiver.tickDabUsb();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ScriptedLibrary::current().calls.isEmpty());
    EXPECT_EQ(dataReady, 0);
    EXPECT_FALSE(receiver.init(nullptr));
}

// A cache that reads without error but yields no ensemble is no cache: with
// the last ensemble remembered in the settings, the start must still ask for a
// scan instead of coming up with an empty list and nothing to do.
TEST(ReceiverStart, CacheWithoutEnsemblesAsksForAScanLikeNoCache)
{
    // The file the program writes for a database of `ensemble` alone.
    auto cacheOf = [](std::unique_ptr<DabEnsemble> ensemble) {
        QTemporaryDir dir;
        DabEnsembleMap map;
        if (ensemble) {
            const int key = ensemble->index;
            map[key] = std::move(ensemble);
        }
        DABEnsembleCache(dir.path() + QStringLiteral("/")).write(QStringLiteral("default"), {}, map);
        QFile file(dir.filePath(DABEnsembleCache::DefaultFileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray good = cacheOf(sampleEnsemble(0, 178352, 2));
    const QByteArray empty = cacheOf(nullptr);
    // The format version follows the magic (a 4-byte length and 11 UTF-16 units).
    constexpr qsizetype VersionOffset = 4 + 22;
    QByteArray newer = good;
    newer[VersionOffset + 3] = 4;
    constexpr qint64 SparseBytes = 200 * 1024 * 1024;

    struct Case
    {
        const char *name;
        QByteArray bytes;
        qint64 sparseSize; // grown to this size with a hole, 0 to leave as is
        bool asksForScan;
    };
    const Case cases[] = {
        { "good cache", good, 0, false },
        { "newer format version", newer, 0, true },
        { "zero ensembles", empty, 0, true },
        { "zero ensembles and a 200 MiB hole", empty, SparseBytes, true },
        { "no record on a channel", cacheOf(sampleEnsemble(0, 178353, 1)), 0, true },
        { "truncated in a record", good.left(good.size() - 7), 0, true },
        { "not a cache", QByteArray("garbage"), 0, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ReceiverEnvironment environment;
        environment.settings->setFrontEndMode(Settings::ModeDab);
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                  QString::fromLatin1(Settings::Application))
            .setValue(QStringLiteral("DAB/lastEnsemble"), 0);
        ASSERT_TRUE(QDir().mkpath(environment.dataFolder()));
        {
            QFile file(environment.dataFolder() + DABEnsembleCache::DefaultFileName);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(c.bytes), c.bytes.size());
            if (c.sparseSize) {
                ASSERT_TRUE(file.resize(c.sparseSize));
            }
        }
        ScriptedLibrary::reset();
        Receiver receiver;
        receiver.setDataFolder(environment.dataFolder());
        receiver.setLibrary(&ScriptedLibrary::api());
        receiver.setDeviceProbe([] { return 600; });
        QStringList messages;
        receiver.setMessageSink([&](const QString &text, QObject *, const char *, QObject *, const char *) {
            messages << text;
        });
        ASSERT_TRUE(receiver.init(environment.settings));
        if (c.asksForScan) {
            EXPECT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages.value(0).contains(QStringLiteral("Scan required")));
            EXPECT_TRUE(receiver.database().isEmpty());
            EXPECT_EQ(receiver.usb()->currentIndex(), -1);
        } else {
            EXPECT_TRUE(messages.isEmpty());
            EXPECT_FALSE(receiver.database().isEmpty());
            EXPECT_EQ(receiver.usb()->currentIndex(), 0);
        }
    }
}

} // namespace
