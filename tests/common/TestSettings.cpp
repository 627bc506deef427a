#include "SettingsFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

// Settings with a log that writes every source id to a file in a temporary home.
class SettingsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ZOZTest::startFullLog(home, log));
    }

    void TearDown() override
    {
        if (Settings::instance())
            Settings::destroy();
        Log::setInstance(nullptr);
        log.reset();
    }

    void writeStore(const QByteArray &ini)
    {
        QDir().mkpath(QFileInfo(home.storeFile()).path());
        QFile file(home.storeFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(ini);
    }

    QVariant stored(const QString &key)
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Dadidozor DAZ"),
                        QStringLiteral("Radarovaz"));
        return store.value(key);
    }

    QString logText()
    {
        QFile file(log->currentFileName());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QString::fromUtf8(file.readAll());
    }

    TemporaryHome home;
    std::unique_ptr<Log> log;
};

struct RecordingListener : Settings::Listener
{
    void settingChanged(const QVector<int> &changes) override { calls.append(changes); }
    QVector<QVector<int>> calls;
};

} // namespace

TEST_F(SettingsTest, DefaultsWithEmptyStore)
{
    Settings *settings = Settings::create();
    EXPECT_EQ(settings->announcement(QStringLiteral("DAB")), 0xFFFFFFFFu);
    EXPECT_EQ(settings->announcement(QStringLiteral("Epilog")), 1u);
    EXPECT_EQ(settings->announcement(QStringLiteral("Unknown")), 0u);
    EXPECT_EQ(settings->audioRecordingDirectory(), home.path() + QStringLiteral("/Music/Radarovaz/"));
    EXPECT_TRUE(QDir(settings->audioRecordingDirectory()).exists());
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabClassic), 0);
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 2);
    EXPECT_EQ(settings->audioRecordingFormat(Settings::Fm), 1);
    EXPECT_EQ(settings->audioDecoderMode(), 2);
    EXPECT_EQ(settings->audioBinauralPreset(), 2);
    EXPECT_EQ(settings->httpNumRemoteClients(), -1);
    EXPECT_EQ(settings->crashHandlingType(), 1);
    EXPECT_EQ(Settings::jouGetApTimestep(), 15u);
    EXPECT_TRUE(Settings::jouGetExtEnabled());
    EXPECT_FALSE(Settings::getGuiShowBubbles());
    EXPECT_EQ(settings->frontEndOption(Settings::OptionAgc), 1);
    EXPECT_EQ(settings->frontEndOption(4), -1);
    EXPECT_EQ(settings->frontEndOption(12), 59);
    EXPECT_EQ(settings->frontEndOption(Settings::OptionGain), 0);
    EXPECT_EQ(settings->cachePath(), home.dataFolder() + QStringLiteral("cache/"));
    EXPECT_EQ(settings->httpPort(), -1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Settings::Settings()")));
}

TEST_F(SettingsTest, StoredValuesAreRead)
{
    writeStore("[Settings]\n"
               "Audio\\recordingFormatDABplus=3\n"
               "Audio\\recordingFormatDABclassic=3\n"
               "Audio\\recordingFormatFM=3\n"
               "Audio\\recordingFormatAM=4\n"
               "Audio\\recordingTimelimit=120\n"
               "Audio\\recordingDirectory=/tmp/zoz-recordings-test\n"
               "Http\\numRemoteClients=2\n");
    Settings *settings = Settings::create();
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 2);
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabClassic), 0);
    EXPECT_EQ(settings->audioRecordingFormat(Settings::Fm), 1);
    EXPECT_EQ(settings->audioRecordingFormat(Settings::Am), 4);
    EXPECT_EQ(settings->audioRecordingTimelimit(), 120);
    EXPECT_EQ(settings->audioRecordingDirectory().toStdString(), "/tmp/zoz-recordings-test/");
    EXPECT_EQ(settings->httpNumRemoteClients(), 2);
    QDir(QStringLiteral("/tmp/zoz-recordings-test")).removeRecursively();
}

TEST_F(SettingsTest, SettersWriteAndLogOnlyAcceptedChanges)
{
    Settings *settings = Settings::create();
    const struct
    {
        const char *name;
        std::function<void()> call;
        const char *key;
        QVariant expected; // invalid: the key is not written
        const char *logText;
    } rows[] = {
        {"preset below range", [&] { settings->setAudioBinauralPreset(0); }, "Settings/Audio/binauralPreset", {}, nullptr},
        {"preset above range", [&] { settings->setAudioBinauralPreset(4); }, "Settings/Audio/binauralPreset", {}, nullptr},
        {"preset unchanged", [&] { settings->setAudioBinauralPreset(2); }, "Settings/Audio/binauralPreset", {}, nullptr},
        {"preset taken", [&] { settings->setAudioBinauralPreset(3); }, "Settings/Audio/binauralPreset", 3,
         "Settings::setAudioBinauralPreset() -> new value: '3'"},
        {"decoder mode above range", [&] { settings->setAudioDecoderMode(3); }, "Settings/Audio/decoderMode", {}, nullptr},
        {"decoder mode taken", [&] { settings->setAudioDecoderMode(0); }, "Settings/Audio/decoderMode", 0,
         "Settings::setAudioDecoderMode() -> new value: '0'"},
        {"negative time limit", [&] { settings->setAudioRecordingTimelimit(-1); }, "Settings/Audio/recordingTimelimit", {},
         nullptr},
        {"format out of range", [&] { settings->setAudioRecordingFormat(Settings::DabPlus, 3); },
         "Settings/Audio/recordingFormatDABplus", {}, nullptr},
        {"unknown recording type", [&] { settings->setAudioRecordingFormat(6, 1); }, "Settings/Audio/recordingFormatAM", {},
         nullptr},
        {"format taken", [&] { settings->setAudioRecordingFormat(Settings::DabPlus, 1); },
         "Settings/Audio/recordingFormatDABplus", 1, "Settings::setAudioRecordingFormat() -> new value for DAB_PLUS: '1'"},
        {"spoken labels unchanged", [&] { settings->setSpokenLabelsActive(true); }, "Settings/Audio/spokenLabelsActive", {},
         nullptr},
        {"spoken labels off", [&] { settings->setSpokenLabelsActive(false); }, "Settings/Audio/spokenLabelsActive", false,
         "Settings::setSpokenLabelsActive() -> new value: 'false'"},
        {"perma cache off", [&] { settings->slsSetPermaCache(false); }, "Settings/SlideShow/hasPermaCache", false,
         "Settings::slsSetPermaCache() -> changed to: 'false'"},
        {"empty recording folder", [&] { settings->setAudioRecordingDirectory(QString()); },
         "Settings/Audio/recordingDirectory", {}, nullptr},
        {"recording folder gets its slash", [&] { settings->setAudioRecordingDirectory(QStringLiteral("/data\\rec")); },
         "Settings/Audio/recordingDirectory", QStringLiteral("/data/rec/"),
         "Settings::setAudioRecordingDirectory() -> new value: '/data/rec/'"},
        {"crash handling type", [&] { settings->setCrashHandlingType(2); }, "Settings/App/crashHandlingType", 2,
         "Settings::setCrashHandlingType() -> new value: '2'"},
        {"bubbles as stored", [&] { settings->setGuiShowBubbles(false); }, "Settings/Gui/showBubbles", {}, nullptr},
        {"bubbles on", [&] { settings->setGuiShowBubbles(true); }, "Settings/Gui/showBubbles", true,
         "Settings::setGuiShowBubbles() -> show bubbles: 'true'"},
        {"journaline time step", [&] { settings->jouSetApTimestep(30); }, "Settings/Journaline/apTimestep", 30u,
         "Settings::jouSetApTimestep() -> changed to: '30'"},
    };
    for (const auto &row : rows) {
        const QString before = logText();
        row.call();
        const QString added = logText().mid(before.size());
        const QVariant value = stored(QString::fromLatin1(row.key));
        if (row.expected.isValid())
            EXPECT_EQ(value.toString(), row.expected.toString()) << row.name;
        else
            EXPECT_FALSE(value.isValid()) << row.name;
        if (row.logText) {
            EXPECT_TRUE(added.contains(QLatin1String(row.logText))) << row.name << ": " << added.toStdString();
            EXPECT_EQ(added.count(QStringLiteral("\n\n")), 1) << row.name;
        } else {
            EXPECT_TRUE(added.isEmpty()) << row.name << ": " << added.toStdString();
        }
    }
    EXPECT_EQ(settings->audioRecordingDirectory().toStdString(), "/data/rec/");
    // Only the two shared settings that changed bumped the change counter.
    EXPECT_EQ(stored(QStringLiteral("registryIdx")).toUInt(), 2u);
    EXPECT_EQ(settings->registryIndex(), 2u);
}

TEST_F(SettingsTest, RemoteClientsRespectTheConfiguredMaximum)
{
    Settings *settings = Settings::create();
    settings->setHttpNumRemoteClientsMaximum(3);
    settings->setHttpNumRemoteClients(5, true);
    EXPECT_EQ(settings->httpNumRemoteClients(), -1);
    settings->setHttpNumRemoteClients(3, false);
    EXPECT_EQ(settings->httpNumRemoteClients(), 3);
    EXPECT_FALSE(stored(QStringLiteral("Settings/Http/numRemoteClients")).isValid());
    settings->setHttpNumRemoteClientsMaximum(-1);
    settings->setHttpNumRemoteClients(5, true);
    EXPECT_EQ(settings->httpNumRemoteClients(), 5);
    EXPECT_EQ(stored(QStringLiteral("Settings/Http/numRemoteClients")).toInt(), 5);
    EXPECT_TRUE(logText().contains(QStringLiteral("number of allowed remote clients changed 3 -> 5")));
}

TEST_F(SettingsTest, FrontEndIsAlwaysDab)
{
    writeStore("[Settings]\nFrontEnd\\3\\gain=7\nFrontEnd\\3\\frequency=178352\n");
    Settings *settings = Settings::create();
    EXPECT_EQ(settings->frontEndMode(), Settings::ModeNone);
    settings->setFrontEndMode(Settings::ModeAm);
    EXPECT_EQ(settings->frontEndMode(), Settings::ModeDab);
    EXPECT_EQ(settings->frontEndModeName().toStdString(), "DAB");
    EXPECT_EQ(settings->frontEndOption(Settings::OptionGain), 7);
    EXPECT_EQ(settings->frontEndFrequency(), 178352u);
    EXPECT_EQ(stored(QStringLiteral("Settings/FrontEnd/mode")).toInt(), 3);

    settings->setFrontEndOption(Settings::OptionLna, true);
    EXPECT_EQ(stored(QStringLiteral("Settings/FrontEnd/3/lna")).toInt(), 1);
    settings->setFrontEndOption(Settings::OptionSwapIq, 1);
    EXPECT_FALSE(stored(QStringLiteral("Settings/FrontEnd/3/swapIq")).isValid());

    settings->setFrontEndFileName(QStringLiteral("C:\\rec\\a.eti"));
    EXPECT_EQ(settings->frontEndFileName().toStdString(), "C:/rec/a.eti");
    settings->setFrontEndFrequency(227360);
    EXPECT_TRUE(settings->frontEndFileName().isEmpty());
    EXPECT_EQ(stored(QStringLiteral("Settings/FrontEnd/3/frequency")).toUInt(), 227360u);
}

TEST_F(SettingsTest, ReloadNoticesChangesOfAnotherProcess)
{
    Settings *settings = Settings::create();
    RecordingListener listener;
    settings->addListener(&listener);
    settings->addListener(&listener);

    EXPECT_FALSE(settings->reload());
    // Another process changes a value without the change counter: not noticed.
    writeStore("[General]\nregistryIdx=0\n[Settings]\nGui\\showBubbles=true\n");
    EXPECT_FALSE(settings->reload());
    // With the counter it is.
    QThread::msleep(20);
    writeStore("[General]\nregistryIdx=7\n[Settings]\nGui\\showBubbles=true\n");
    EXPECT_TRUE(settings->reload());
    EXPECT_FALSE(settings->reload());
    ASSERT_EQ(listener.calls.size(), 1);
    EXPECT_EQ(listener.calls[0], QVector<int>{Settings::SharedSettingChanged});
    EXPECT_TRUE(Settings::getGuiShowBubbles());
    // The value read back from the file is the same: no write, no bump.
    settings->setGuiShowBubbles(true);
    EXPECT_EQ(stored(QStringLiteral("registryIdx")).toUInt(), 7u);

    settings->removeListener(&listener);
    QThread::msleep(20);
    writeStore("[General]\nregistryIdx=8\n");
    EXPECT_TRUE(settings->reload());
    EXPECT_EQ(listener.calls.size(), 1);
}

TEST_F(SettingsTest, CachePathChangesNotifyOnce)
{
    Settings *settings = Settings::create();
    RecordingListener listener;
    settings->addListener(&listener);
    const QString folder = home.path() + QStringLiteral("/cache");
    settings->setCachePath(folder);
    EXPECT_EQ(settings->cachePath(), folder + QLatin1Char('/'));
    settings->setCachePath(folder + QStringLiteral("/"));
    settings->setCachePath(QString(folder).replace(QLatin1Char('/'), QLatin1Char('\\')));
    settings->setCachePath(home.path() + QStringLiteral("//cache/./"));
    ASSERT_EQ(listener.calls.size(), 1);
    EXPECT_EQ(listener.calls[0], QVector<int>{Settings::CachePathChanged});
    EXPECT_EQ(settings->cachePathGeneration(), 1);
    settings->removeListener(&listener);
}

TEST_F(SettingsTest, SecondCreateAndMissingDestroyAreLogged)
{
    Settings *settings = Settings::create();
    EXPECT_EQ(Settings::create(), settings);
    Settings::destroy();
    EXPECT_EQ(Settings::instance(), nullptr);
    Settings::destroy();
    const QString text = logText();
    EXPECT_TRUE(text.contains(QStringLiteral("already instantiated!")));
    EXPECT_TRUE(text.contains(QStringLiteral("trying to destroy non-existing object!")));
    EXPECT_TRUE(text.contains(QStringLiteral("Settings::~Settings()")));
}

TEST(SettingsPaths, NormalizePath)
{
    const struct
    {
        const char *in;
        const char *out;
    } rows[] = {
        {"C:/data", "C:/data"},         {"../up", "../up"},         {"./here", "./here"},
        {"file.cfg", "./file.cfg"},     {"/abs/x", "/abs/x"},       {"dir\\file", "./dir/file"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Settings::normalizePath(QString::fromLatin1(row.in)).toStdString(), row.out) << row.in;
}

TEST(SettingsPaths, FindFileCleansSeparatorsFirst)
{
    TemporaryHome home;
    QDir().mkpath(home.path() + QStringLiteral("/a"));
    QFile file(home.path() + QStringLiteral("/a/zoz.cfg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QString messy = home.path() + QStringLiteral("//a\\\\zoz.cfg");
    EXPECT_TRUE(Settings::findFile(messy));
    EXPECT_EQ(messy, home.path() + QStringLiteral("/a/zoz.cfg"));

    QDir().mkpath(home.dataFolder());
    QFile inData(home.dataFolder() + QStringLiteral("only-here.cfg"));
    ASSERT_TRUE(inData.open(QIODevice::WriteOnly));
    inData.close();
    QString relative = QStringLiteral("/only-here.cfg");
    EXPECT_TRUE(Settings::findFile(relative));
    EXPECT_EQ(relative, home.dataFolder() + QStringLiteral("only-here.cfg"));

    QString missing = QStringLiteral("no/such/file.cfg");
    EXPECT_FALSE(Settings::findFile(missing));
    EXPECT_EQ(missing.toStdString(), "no/such/file.cfg");
}

namespace {

QVariant typedDefault(const SettingRow &row)
{
    switch (row.type) {
    case SettingRow::Type::Bool: return QVariant(row.defaultValue != 0);
    case SettingRow::Type::Int: return QVariant(int(row.defaultValue));
    case SettingRow::Type::UInt: return QVariant(uint(row.defaultValue));
    }
    return {};
}

} // namespace

TEST_F(SettingsTest, EveryTableRowReadsItsDefaultFromAnEmptyStore)
{
    Settings *settings = Settings::create();
    for (const SettingRow &row : settingRows()) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(settings->value(row.id), typedDefault(row));
        EXPECT_EQ(Settings::storedValue(row.id), typedDefault(row));
        // Its default again is no change: nothing written, nothing logged.
        const QString before = logText();
        settings->setValue(row.id, typedDefault(row));
        EXPECT_FALSE(stored(QString::fromLatin1(row.key)).isValid());
        EXPECT_EQ(logText(), before);
    }
    for (const AnnouncementRow &row : announcementRows())
        EXPECT_EQ(settings->announcement(QString::fromLatin1(row.type)), row.defaultMask) << row.type;
    for (int option = 0; option < Settings::FrontEndOptionCount; ++option)
        EXPECT_EQ(settings->frontEndOption(option), frontEndOptionDefault(option)) << option;
    EXPECT_EQ(stored(QStringLiteral("registryIdx")), QVariant());
}

TEST_F(SettingsTest, EveryRangedRowRefusesOnePastEachBoundAndTakesTheBound)
{
    Settings *settings = Settings::create();
    int ranged = 0;
    for (const SettingRow &row : settingRows()) {
        if (!row.isRanged())
            continue;
        ++ranged;
        SCOPED_TRACE(row.key);
        const QString key = QString::fromLatin1(row.key);
        for (const qint64 bound : {row.minimum, row.maximum}) {
            if (bound == SettingRow::NoLimit)
                continue;
            const qint64 outside = bound == row.minimum ? bound - 1 : bound + 1;
            const QString before = logText();
            settings->setValue(row.id, QVariant(int(outside)));
            EXPECT_EQ(settings->value(row.id), typedDefault(row)) << outside;
            EXPECT_FALSE(stored(key).isValid()) << outside;
            EXPECT_EQ(logText(), before) << outside;
        }
        for (const qint64 bound : {row.minimum, row.maximum}) {
            if (bound == SettingRow::NoLimit || bound == row.defaultValue)
                continue;
            settings->setValue(row.id, QVariant(int(bound)));
            EXPECT_EQ(settings->value(row.id).toLongLong(), bound);
            EXPECT_EQ(stored(key).toLongLong(), bound);
            EXPECT_TRUE(logText().contains(QString::fromLatin1(row.logText).arg(bound))) << bound;
        }
    }
    // Time limit, five recording formats, decoder mode, binaural preset.
    EXPECT_EQ(ranged, 8);
}

// The store file keeps the exact text that earlier versions wrote and read.
TEST_F(SettingsTest, StoreFileTextOfTheSetters)
{
    Settings *settings = Settings::create();
    settings->setAudioDecoderMode(0);
    settings->setAudioRecordingFormat(Settings::DabPlus, 1);
    settings->setSpokenLabelsActive(false);
    settings->setAudioRecordingTimelimit(90);
    settings->setGuiShowBubbles(true);
    settings->jouSetApTimestep(30);
    settings->setAnnouncement(QStringLiteral("Epilog"), 3);
    settings->setHttpNumRemoteClients(4, true);
    settings->setFrontEndMode(Settings::ModeDab);
    settings->setFrontEndOption(Settings::OptionGain, 7);
    settings->setFrontEndFrequency(227360);
    QFile file(home.storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "[General]\n"
                                            "registryIdx=2\n"
                                            "\n"
                                            "[Announcements]\n"
                                            "Epilog=3\n"
                                            "\n"
                                            "[Settings]\n"
                                            "Audio\\decoderMode=0\n"
                                            "Audio\\recordingFormatDABplus=1\n"
                                            "Audio\\recordingTimelimit=90\n"
                                            "Audio\\spokenLabelsActive=false\n"
                                            "FrontEnd\\3\\frequency=227360\n"
                                            "FrontEnd\\3\\gain=7\n"
                                            "FrontEnd\\mode=3\n"
                                            "Gui\\showBubbles=true\n"
                                            "Http\\numRemoteClients=4\n"
                                            "Journaline\\apTimestep=30\n");
}

TEST_F(SettingsTest, EveryRuntimeFlagStartsAtItsDefaultAndDumpsUnderItsName)
{
    Settings *settings = Settings::create();
    const QString dump = settings->dump();
    for (const RuntimeFlagRow &row : runtimeFlagRows()) {
        EXPECT_EQ(settings->flag(row.id), row.defaultValue) << int(row.id);
        if (!row.dumpName)
            continue;
        const QString line = QStringLiteral(" - %1: %2\r\n")
                                 .arg(QLatin1String(row.dumpName), -20)
                                 .arg(row.defaultValue ? QStringLiteral("true") : QStringLiteral("false"));
        EXPECT_TRUE(dump.contains(line)) << line.toStdString();
    }
}
