// Recordings made by the real program on the demo ensemble, started and
// stopped through the pages' commands, read back by soxi and ffprobe.
#include "ChildProcess.h"
#include "EtiSubchannels.h"

#include <QDateTime>
#include <QFileInfo>

#include <sys/resource.h>

#include <gtest/gtest.h>

namespace {

using namespace ZOZTest;

QString demoFile(const QString &channel)
{
    return QStringLiteral(ZOZ_BINARY_DIR "/resources/demo/") + channel + QStringLiteral(".eti");
}

// The output of a checking tool, trimmed; empty when it failed.
QString toolOutput(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

// The player on one demo channel in real time, with a null sound card, its pages
// granted control.
class Player
{
public:
    // `fileSizeLimit` > 0: no file the player writes may grow past it.
    Player(const QString &channel, qint64 fileSizeLimit = 0)
        : m_channel(channel)
    {
        QFile config(work.filePath(QStringLiteral("zoz.cfg")));
        config.open(QIODevice::WriteOnly);
        config.write("<?xml version=\"1.0\"?>\n<zoz>\n  <scanFrequencies>\n    <dab>\n      <frequency frequencyOrId=\""
                     + channel.toUtf8() + "\" label=\"" + channel.toUtf8()
                     + "\"/>\n    </dab>\n  </scanFrequencies>\n</zoz>\n");
        config.close();
        if (fileSizeLimit > 0) {
            // A full disk as the program sees it: writes past the limit fail
            // with an error instead of the signal that would end it.
            child().process.setChildProcessModifier([fileSizeLimit] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        QFile asoundrc(child().home.filePath(QStringLiteral(".asoundrc")));
        asoundrc.open(QIODevice::WriteOnly);
        asoundrc.write("pcm.!default { type null }\n");
        asoundrc.close();
        QProcessEnvironment env = child().process.processEnvironment();
        env.insert(QStringLiteral("RTKDAB_SOURCE"), demoFile(channel) + QStringLiteral("@") + channel);
        env.insert(QStringLiteral("RTKDAB_SPEED"), QStringLiteral("1"));
        child().process.setProcessEnvironment(env);
        child().process.setArguments({QStringLiteral("-cfg"), work.filePath(QStringLiteral("zoz.cfg"))});
        child().process.start();
    }

    ChildProcess &child() { return m_source.child; }

    // Starts, answers the scan question and selects the service.
    bool selectService(int sid)
    {
        if (!child().process.waitForStarted(5000))
            return false;
        port = m_source.port();
        if (port == 0 || !m_source.waitFor([&] { return m_source.confirm(port); }, 30000))
            return false;
        token = m_source.token(port);
        return m_source.waitFor([&] {
            return command("selectServiceById=" + QByteArray::number(sid)).contains("true");
        }, 60000);
    }

    QByteArray command(const QByteArray &query) { return httpGet(port, "/ajax?" + query, token); }

    QJsonObject audioConfig()
    {
        return m_source.serverInfo(port).value(QStringLiteral("audio")).toObject().value(QStringLiteral("config")).toObject();
    }

    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs = 30000)
    {
        return m_source.waitFor(condition, timeoutMs);
    }

    QString notifications() { return m_source.notifications(port); }

    // The file being recorded, once it holds at least `bytes`.
    QString recordingOf(qint64 bytes)
    {
        QString file;
        waitFor([&] {
            file = audioConfig().value(QStringLiteral("recordingFile")).toString();
            return !file.isEmpty() && QFileInfo(file).size() >= bytes;
        });
        return file;
    }

    QTemporaryDir work;
    quint16 port = 0;
    QByteArray token;

private:
    QString m_channel;
    SourceChild m_source {QString(), {}, QStringLiteral("1"), false};
};

bool haveDemo(const QString &channel, int subchannel)
{
    return readEtiSubchannels(demoFile(channel).toStdString()).count(subchannel) > 0;
}

} // namespace

// A WAVE recording of the Layer II service is a valid file with the service's
// format even when the player is killed while it records.
TEST(Recording, WaveFileIsValidAfterTheProcessIsKilled)
{
    if (!haveDemo(QStringLiteral("5C"), 1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Player player(QStringLiteral("5C"));
    ASSERT_TRUE(player.selectService(0xE1C1));
    ASSERT_TRUE(player.command("setAudioRecordingFormat=1&class=1").contains("true"));
    ASSERT_TRUE(player.command("switchRecording=true").contains("true"));
    constexpr qint64 TwoSeconds = 2 * 48000 * 4;
    const QString file = player.recordingOf(44 + TwoSeconds);
    ASSERT_FALSE(file.isEmpty()) << player.notifications().toStdString();
    EXPECT_TRUE(file.endsWith(QStringLiteral("-ZOZ_Classic.wav"))) << file.toStdString();
    EXPECT_TRUE(player.audioConfig().value(QStringLiteral("isRecording")).toBool());
    EXPECT_TRUE(player.notifications().contains(QStringLiteral("Started manual recording")));

    player.child().sendSignal(SIGKILL);
    ASSERT_TRUE(player.child().process.waitForFinished(5000));

    EXPECT_EQ(toolOutput(QStringLiteral("soxi"), {QStringLiteral("-r"), file}), QStringLiteral("48000"));
    EXPECT_EQ(toolOutput(QStringLiteral("soxi"), {QStringLiteral("-c"), file}), QStringLiteral("2"));
    // The header counts every sample on disk: the file was complete after each write.
    const qint64 samples = toolOutput(QStringLiteral("soxi"), {QStringLiteral("-s"), file}).toLongLong();
    EXPECT_EQ(samples * 4 + 44, QFileInfo(file).size());
    EXPECT_GE(samples, 2 * 48000);
    const double duration = toolOutput(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"),
                                                                  QStringLiteral("-show_entries"), QStringLiteral("format=duration"),
                                                                  QStringLiteral("-of"), QStringLiteral("csv=p=0"), file})
                                .toDouble();
    EXPECT_NEAR(duration, double(samples) / 48000, 0.01);
}

// The raw recording of a Layer II service is its MPEG audio as broadcast; the
// stop button closes it and says how long it ran.
TEST(Recording, RawLayer2RecordingIsAnMp2FileAndStopsOnCommand)
{
    if (!haveDemo(QStringLiteral("5C"), 1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Player player(QStringLiteral("5C"));
    ASSERT_TRUE(player.selectService(0xE1C1));
    ASSERT_TRUE(player.command("setAudioRecordingFormat=0&class=1").contains("true"));
    ASSERT_TRUE(player.command("switchRecording=true").contains("true"));
    // 128 kbit/s: 16000 bytes a second.
    const QString file = player.recordingOf(3 * 16000);
    ASSERT_FALSE(file.isEmpty()) << player.notifications().toStdString();
    EXPECT_TRUE(file.endsWith(QStringLiteral(".mp2"))) << file.toStdString();
    ASSERT_TRUE(player.command("switchRecording=false").contains("true"));
    ASSERT_TRUE(player.waitFor([&] {
        return player.audioConfig().value(QStringLiteral("recordingFile")).toString().isEmpty()
               && player.notifications().contains(QStringLiteral("Stopped manual recording"));
    }));
    EXPECT_FALSE(player.audioConfig().value(QStringLiteral("isRecording")).toBool());
    const qint64 size = QFileInfo(file).size();
    const QString probe = toolOutput(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=codec_name,sample_rate,channels:format=duration"), QStringLiteral("-of"),
         QStringLiteral("default=nw=1"), file});
    EXPECT_TRUE(probe.contains(QStringLiteral("codec_name=mp2"))) << probe.toStdString();
    EXPECT_TRUE(probe.contains(QStringLiteral("sample_rate=48000"))) << probe.toStdString();
    EXPECT_TRUE(probe.contains(QStringLiteral("channels=2"))) << probe.toStdString();
    const double duration = probe.section(QStringLiteral("duration="), 1, 1).section(QLatin1Char('\n'), 0, 0).toDouble();
    EXPECT_NEAR(duration, double(size) / 16000, 0.1) << probe.toStdString();
    // Nothing more is written once it stopped.
    QThread::msleep(300);
    EXPECT_EQ(QFileInfo(file).size(), size);
}

// A full disk ends the recording with an error, not the player: the service
// plays on and the file holds what fitted, as a valid WAVE file.
TEST(Recording, FullDiskEndsTheRecordingNotThePlayer)
{
    if (!haveDemo(QStringLiteral("5C"), 1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    constexpr qint64 Limit = 256 * 1024;
    Player player(QStringLiteral("5C"), Limit);
    ASSERT_TRUE(player.selectService(0xE1C1));
    ASSERT_TRUE(player.command("setAudioRecordingFormat=1&class=1").contains("true"));
    ASSERT_TRUE(player.command("switchRecording=true").contains("true"));
    ASSERT_TRUE(player.waitFor([&] {
        return player.notifications().contains(QStringLiteral("lack of free space/write error"));
    })) << player.notifications().toStdString();
    EXPECT_FALSE(player.audioConfig().value(QStringLiteral("isRecording")).toBool());
    EXPECT_EQ(player.child().process.state(), QProcess::Running);
    // Still playing and answering.
    const QJsonArray channels = QJsonDocument::fromJson(httpGet(player.port, "/ajax?getServerInfo"))
                                    .object()
                                    .value(QStringLiteral("audio"))
                                    .toObject()
                                    .value(QStringLiteral("channels"))
                                    .toArray();
    bool playing = false;
    for (const QJsonValue &entry : channels)
        playing = playing || entry.toObject().value(QStringLiteral("playing")).toBool();
    EXPECT_TRUE(playing);

    const QDir folder(player.child().home.filePath(QStringLiteral("Music/Radarovaz")));
    const QStringList files = folder.entryList({QStringLiteral("*.wav")});
    ASSERT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
    const QString file = folder.filePath(files.first());
    const qint64 samples = toolOutput(QStringLiteral("soxi"), {QStringLiteral("-s"), file}).toLongLong();
    EXPECT_GT(samples, 0);
    EXPECT_EQ(samples * 4 + 44, QFileInfo(file).size());
    EXPECT_LE(QFileInfo(file).size(), Limit);
}

// DAB+ recordings default to MP4, which this version cannot write: the user is
// told and the service plays on.
TEST(Recording, Mp4RecordingIsRefusedWithANotification)
{
    if (!haveDemo(QStringLiteral("11D"), 6))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Player player(QStringLiteral("11D"));
    ASSERT_TRUE(player.selectService(0xE2D3));
    ASSERT_TRUE(player.command("switchRecording=true").contains("true"));
    ASSERT_TRUE(player.waitFor([&] { return player.notifications().contains(QStringLiteral("MP4 is not available")); }))
        << player.notifications().toStdString();
    EXPECT_FALSE(player.audioConfig().value(QStringLiteral("isRecording")).toBool());
    EXPECT_TRUE(player.audioConfig().value(QStringLiteral("recordingFile")).toString().isEmpty());
}

// A recording planned through the pages a few seconds ahead starts at its
// time (the list shows it recording), ends at its end, leaves the list and
// leaves its file, named with the plan's description, in the recording folder.
TEST(Recording, ScheduledRecordingStartsAndEndsOverHttp)
{
    if (!haveDemo(QStringLiteral("5C"), 1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Player player(QStringLiteral("5C"));
    // "ZOZ Classic" (0xE1C1) of the ensemble 0xE0C5.
    ASSERT_TRUE(player.selectService(0xE1C1));
    auto items = [&] {
        return QJsonDocument::fromJson(player.command("getSchedulerInfo"))
            .object()
            .value(QStringLiteral("scheduleItems"))
            .toArray();
    };

    const qint64 start = QDateTime::currentSecsSinceEpoch() + 2;
    const QByteArray request = "schedule=&eID=" + QByteArray::number(0xE0C5) + "&sID=" + QByteArray::number(0xE1C1)
        + "&start=" + QByteArray::number(start) + "&duration=3&description=planned";
    EXPECT_EQ(player.command(request + "&add"), QByteArray("{\"success\":true}"));
    EXPECT_EQ(player.command(request + "&add"), QByteArray("{\"success\":false}"));
    const QJsonArray planned = items();
    ASSERT_EQ(planned.size(), 1);
    EXPECT_EQ(planned[0].toObject().value(QStringLiteral("label")).toString(), QStringLiteral("ZOZ Classic"));
    EXPECT_EQ(qint64(planned[0].toObject().value(QStringLiteral("timestamp")).toDouble()), start);

    EXPECT_TRUE(player.waitFor([&] {
        const QJsonArray now = items();
        return !now.isEmpty() && now[0].toObject().value(QStringLiteral("recording")).toBool();
    }));
    EXPECT_TRUE(player.waitFor([&] { return player.notifications().contains(QStringLiteral("Started scheduled recording")); }));
    EXPECT_TRUE(player.waitFor([&] { return items().isEmpty(); }));
    EXPECT_TRUE(player.waitFor([&] { return player.notifications().contains(QStringLiteral("Scheduled recording finished")); }));

    const QDir folder(player.child().home.filePath(QStringLiteral("Music/Radarovaz")));
    const QFileInfoList files = folder.entryInfoList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << folder.path().toStdString();
    EXPECT_TRUE(files.first().fileName().contains(QStringLiteral("planned"))) << files.first().fileName().toStdString();
    EXPECT_GT(files.first().size(), 0);

    player.child().sendSignal(SIGTERM);
    EXPECT_TRUE(player.child().process.waitForFinished(10000));
    EXPECT_FALSE(QFileInfo::exists(player.child().dataFolder() + QStringLiteral("Scheduler.zoz")));
}
