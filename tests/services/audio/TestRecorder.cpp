// One audio service's recording file against real files in a temporary folder.
#include "SettingsFixture.h"
#include "ZOZWaveFile.h"
#include "audio/ZOZRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace {

using ZOZ::Recorder;
using ZOZ::RecordingFormat;

class RecorderTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        folder = home.path() + QStringLiteral("/Rec/");
        settings->setAudioRecordingDirectory(folder);
        settings->setAudioRecordingFormat(ZOZ::Settings::DabClassic, int(RecordingFormat::Wave));
        control = std::make_unique<ZOZ::RecordingControl>(
            settings, [this](const QString &type, const QString &text, int) { notes << type + QLatin1Char(' ') + text; });
        recorder.setControl(control.get());
        source.serviceLabel = QStringLiteral("Radio 1");
        source.recordingType = ZOZ::Settings::DabClassic;
        source.rawExtension = QStringLiteral("mp2");
        source.format = {1, 48000, 16, 2};
        source.playing = true;
    }

    void TearDown() override
    {
        recorder.setControl(nullptr);
        SettingsFixture::TearDown();
    }

    // One packet's work: the flag is looked at, then a block of PCM is written when wanted.
    void packet(int frames = 1152)
    {
        recorder.poll(source);
        if (recorder.wants(RecordingFormat::Wave, source)) {
            const std::vector<char> pcm(size_t(frames) * 4, 1);
            recorder.write(RecordingFormat::Wave, source, pcm.data(), qint64(pcm.size()));
        }
    }

    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    QString folder;
    std::unique_ptr<ZOZ::RecordingControl> control;
    Recorder recorder;
    ZOZ::RecordingSource source;
    QStringList notes;
};

// Whether the WAVE file's header counts exactly the samples it holds.
bool isCompleteWave(const QString &fileName, qint64 dataBytes)
{
    QByteArray data;
    ZOZ::WaveFormat format;
    return ZOZ::readWaveFile(fileName, &data, &format) && format.sampleRate == 48000 && format.numChannels == 2
           && data.size() == dataBytes && QFileInfo(fileName).size() == dataBytes + ZOZ::WaveHeaderBytes;
}

} // namespace

TEST(RecorderNames, LabelsAreCleanedForFileSystems)
{
    const struct
    {
        const char *label;
        const char *name;
    } rows[] = {
        {"Radio 1", "Radio_1"},
        {"a/b\\c:d", "a_b_c_d"},
        {"What? 100% *Live*", "What__100___Live_"},
        {"<tag>|\"q\"$", "_tag___q__"},
        {"tab\there  and\nline", "tab_here_and_line"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"Öko Welle", "Öko_Welle"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Recorder::cleanName(QString::fromUtf8(row.label)), QString::fromUtf8(row.name)) << row.label;
    const QDateTime when(QDate(2019, 6, 25), QTime(16, 54, 18));
    EXPECT_EQ(Recorder::recordingFileName(QStringLiteral("/rec/"), when, QStringLiteral("  Radio: 1  "), QString(),
                                          QStringLiteral("wav")),
              QStringLiteral("/rec/2019-06-25_16.54.18-Radio__1.wav"));
    EXPECT_EQ(Recorder::recordingFileName(QStringLiteral("/rec/"), when, QStringLiteral("Radio 1"),
                                          QStringLiteral("Morning/Show"), QStringLiteral("mp2")),
              QStringLiteral("/rec/2019-06-25_16.54.18-Radio_1-Morning_Show.mp2"));
}

// The record button's recording, then a scheduled one over it: the first file
// is closed complete before the second, named after the schedule, begins.
TEST_F(RecorderTest, ScheduledStartClosesTheManualRecordingFirst)
{
    control->startManual();
    packet();
    packet();
    ASSERT_EQ(files().size(), 1);
    const QString first = folder + files().first();
    EXPECT_TRUE(isCompleteWave(first, 2 * 1152 * 4));
    EXPECT_EQ(control->status().fileName, first);
    EXPECT_TRUE(notes.last().startsWith(QStringLiteral("recording-start <b>Started manual recording</b>")));

    control->startScheduled(QStringLiteral("Morning Show"));
    packet();
    EXPECT_TRUE(notes.join(QLatin1Char('\n')).contains(QStringLiteral("Stopped manual recording")));
    ASSERT_EQ(files().size(), 2) << files().join(QLatin1Char(' ')).toStdString();
    const QString second = control->status().fileName;
    EXPECT_NE(second, first);
    EXPECT_TRUE(second.endsWith(QStringLiteral("-Radio_1-Morning_Show.wav"))) << second.toStdString();
    EXPECT_TRUE(isCompleteWave(first, 2 * 1152 * 4));
    EXPECT_TRUE(isCompleteWave(second, 1152 * 4));
    EXPECT_TRUE(control->status().scheduled);

    control->stop();
    packet();
    EXPECT_FALSE(control->status().fileOpen);
    EXPECT_TRUE(control->status().fileName.isEmpty());
    EXPECT_EQ(files().size(), 2);
}

// A folder that cannot be written ends the recording with an error notice.
TEST_F(RecorderTest, UnwritableFolderEndsTheRecordingWithAnError)
{
    QFile blocker(home.path() + QStringLiteral("/not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings->setAudioRecordingDirectory(blocker.fileName() + QStringLiteral("/Rec/"));
    control->startManual();
    packet();
    EXPECT_FALSE(settings->isAudioRecording());
    EXPECT_FALSE(control->status().fileOpen);
    ASSERT_FALSE(notes.isEmpty());
    EXPECT_TRUE(notes.last().startsWith(QStringLiteral("error <b>Recording</b><br/>Could not open file"))) << notes.last().toStdString();
    // Nothing more is tried until the user starts again.
    const int count = int(notes.size());
    packet();
    EXPECT_EQ(notes.size(), count);
}

// Two recordings in the same second do not overwrite each other, and a service
// that is not playing or has no codec yet records nothing.
TEST_F(RecorderTest, SameSecondGetsANewNameAndSilentServicesRecordNothing)
{
    source.playing = false;
    control->startManual();
    packet();
    EXPECT_TRUE(files().isEmpty());
    source.playing = true;
    source.recordingType = 0;
    packet();
    EXPECT_TRUE(files().isEmpty());
    source.recordingType = ZOZ::Settings::DabClassic;
    packet();
    control->stop();
    packet();
    control->startManual();
    packet();
    control->stop();
    packet();
    const QStringList names = files();
    ASSERT_GE(names.size(), 2);
    for (const QString &name : names)
        EXPECT_TRUE(isCompleteWave(folder + name, 1152 * 4)) << name.toStdString();
}

// The time limit ends a manual recording on the first packet after it, with
// the limit's notice before the stop's; a scheduled one runs past it.
TEST_F(RecorderTest, TimeLimitEndsOnlyManualRecordings)
{
    settings->setAudioRecordingTimelimit(1);
    control->startScheduled(QStringLiteral("Show"));
    packet();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1100)
        QThread::msleep(20);
    packet();
    EXPECT_TRUE(settings->isAudioRecording());

    control->startManual(); // kept: a recording runs
    control->stop();
    packet();
    control->startManual();
    packet();
    timer.start();
    while (settings->isAudioRecording() && timer.elapsed() < 10000) {
        QThread::msleep(20);
        packet();
    }
    EXPECT_FALSE(settings->isAudioRecording());
    const QString all = notes.join(QLatin1Char('\n'));
    const qsizetype limit = all.lastIndexOf(QStringLiteral("info <b>Timelimit reached</b>"));
    const qsizetype stop = all.lastIndexOf(QStringLiteral("recording-stop <b>Stopped manual recording</b>"));
    ASSERT_GE(limit, 0) << all.toStdString();
    EXPECT_GT(stop, limit);
    EXPECT_TRUE(all.contains(QStringLiteral("current timelimit: 1s"))) << all.toStdString();
}
