// The spoken-label decoder: clips stored in the cache's "spokenlabels/"
// folder, the external decoder program started there with two names, names
// that try to leave the folder, and the end with clips still queued.
#include "data/ZOZSLDecoder.h"

#include "SettingsFixture.h"

#include "ZOZWaveFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using ZOZ::SLDecoder;

namespace {

constexpr int WaitMs = 60000; // generous: the machine may be loaded

template <typename Condition>
bool waitFor(Condition condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > WaitMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SLDecoderTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
        folder = work.path() + QStringLiteral("/cache/spokenlabels/");
    }

    // The decoder program in the current folder (the test's work folder).
    void installProgram(const QByteArray &script)
    {
        const QString path = work.filePath(QLatin1String(SLDecoder::ProgramName));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\n" + script);
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    // A program that writes where it ran and its arguments beside the clip.
    void installRecordingProgram()
    {
        installProgram("printf '%s\\n' \"$(pwd)\" \"$1\" \"$2\" > \"$1.args.tmp\"\n"
                       "mv \"$1.args.tmp\" \"$1.args\"\n");
    }

    QStringList recordedCall(const QString &storedName)
    {
        const QString path = folder + storedName + QStringLiteral(".args");
        if (!waitFor([&] { return QFileInfo::exists(path); }))
            return {};
        return QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Every clip queued before a marker has been handled once the marker is stored.
    void settle(SLDecoder &decoder)
    {
        decoder.enqueue(QStringLiteral("marker.m4a"), "marker");
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(folder + QStringLiteral("marker.m4a")); }));
    }

    QString folder;
};

TEST(SLDecoderNames, DecoderArguments)
{
    struct Case
    {
        const char *name;
        const char *clip;
        const char *wave;
    };
    const Case cases[] = {
        {"e1s2c3.m4a", "e1s2c3.m4a", "e1s2c3.wav"},
        {"m4ae1s2c3.m4a", "m4ae1s2c3.m4a", "wave1s2c3.wav"},
        {"label_e1As2c0.M4A", "label_e1As2c0.M4A", "label_e1As2c0.wav"},
        {"sub/e1s2c3.m4a", "sub/e1s2c3.m4a", "sub/e1s2c3.wav"},
        // A name that looks like an option is never passed as one.
        {"-e1s2c3.m4a", "./-e1s2c3.m4a", "./-e1s2c3.wav"},
        {"--help", "./--help", "./--help"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList arguments = SLDecoder::decoderArguments(QString::fromLatin1(c.name));
        EXPECT_EQ(arguments, QStringList({QString::fromLatin1(c.clip), QString::fromLatin1(c.wave)}));
        for (const QString &argument : arguments)
            EXPECT_FALSE(argument.startsWith(QLatin1Char('-')));
    }
}

TEST(SLDecoderNames, FolderFileName)
{
    const std::pair<const char *, const char *> cases[] = {
        {"e1s2c3.m4a", "e1s2c3.m4a"},
        {"/e1s2c3.m4a", "e1s2c3.m4a"},
        {"../../e1s2c3.m4a", "e1s2c3.m4a"},
        {"a/./b/../c.m4a", "a/b/c.m4a"},
        {"a//b.m4a", "a/b.m4a"},
        {"..", ""},
        {"./.", ""},
        {"", ""},
    };
    for (const auto &[name, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(SLDecoder::folderFileName(QString::fromLatin1(name)), QString::fromLatin1(expected));
    }
}

TEST_F(SLDecoderTest, StoresClipAndStartsDecoderInTheFolder)
{
    installRecordingProgram();
    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "first clip");
    decoder.enqueue(QStringLiteral("m4ae1s2c3.m4a"), "second clip");
    decoder.enqueue(QStringLiteral("-e1s2c4.m4a"), "third clip");

    const QStringList first = recordedCall(QStringLiteral("e1s2c3.m4a"));
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    EXPECT_EQ(first, QStringList({canonicalFolder, QStringLiteral("e1s2c3.m4a"), QStringLiteral("e1s2c3.wav")}));
    EXPECT_EQ(recordedCall(QStringLiteral("m4ae1s2c3.m4a")),
              QStringList({canonicalFolder, QStringLiteral("m4ae1s2c3.m4a"), QStringLiteral("wave1s2c3.wav")}));
    EXPECT_EQ(recordedCall(QStringLiteral("-e1s2c4.m4a")),
              QStringList({canonicalFolder, QStringLiteral("./-e1s2c4.m4a"), QStringLiteral("./-e1s2c4.wav")}));
    EXPECT_EQ(readAll(folder + QStringLiteral("e1s2c3.m4a")), QByteArray("first clip"));
    EXPECT_EQ(readAll(folder + QStringLiteral("-e1s2c4.m4a")), QByteArray("third clip"));
}

TEST_F(SLDecoderTest, AgainReceivedClipReplacesTheOld)
{
    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "old");
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "new and longer");
    settle(decoder);
    EXPECT_EQ(readAll(folder + QStringLiteral("e1s2c3.m4a")), QByteArray("new and longer"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("e1s2c3.m4a.tmp")));
}

TEST_F(SLDecoderTest, WithoutProgramTheClipIsOnlyStored)
{
    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "clip");
    settle(decoder);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("e1s2c3.m4a"), QStringLiteral("marker.m4a")}));
}

TEST_F(SLDecoderTest, UnwritableTemporaryKeepsOldClipAndStillDecodes)
{
    installRecordingProgram();
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("e1s2c3.m4a.tmp")));
    QFile old(folder + QStringLiteral("e1s2c3.m4a"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old clip");
    old.close();

    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "new clip");
    EXPECT_EQ(recordedCall(QStringLiteral("e1s2c3.m4a")).value(1), QStringLiteral("e1s2c3.m4a"));
    EXPECT_EQ(readAll(folder + QStringLiteral("e1s2c3.m4a")), QByteArray("old clip"));
}

TEST_F(SLDecoderTest, NamesNeverLeaveTheFolder)
{
    const QString outside = work.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("link")));
    // A link at the temporary name is replaced, not written through.
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/victim"), folder + QStringLiteral("e9s9c9.m4a.tmp")));

    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("../../escape.m4a"), "climbed");
    decoder.enqueue(QStringLiteral("link/e1s2c3.m4a"), "through a link");
    decoder.enqueue(QStringLiteral("link/new/e1s2c3.m4a"), "through a link, new folder");
    decoder.enqueue(QStringLiteral("/../"), "nothing left");
    decoder.enqueue(QStringLiteral("e9s9c9.m4a"), "beside a link");
    settle(decoder);

    EXPECT_EQ(readAll(folder + QStringLiteral("escape.m4a")), QByteArray("climbed"));
    EXPECT_EQ(readAll(folder + QStringLiteral("e9s9c9.m4a")), QByteArray("beside a link"));
    EXPECT_TRUE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(work.path() + QStringLiteral("/escape.m4a")));
    EXPECT_TRUE(logText().contains(QStringLiteral("refusing an audio file outside the spokenlabels cache directory "
                                                  "[filename: link/e1s2c3.m4a]")));
    EXPECT_TRUE(logText().contains(QStringLiteral("[filename: /../]")));
}

TEST_F(SLDecoderTest, FolderThatCannotBeMadeSkipsTheClip)
{
    QFile blocker(work.path() + QStringLiteral("/blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings->setCachePath(work.path() + QStringLiteral("/blocked/cache/"));
    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e1s2c3.m4a"), "clip");
    EXPECT_TRUE(waitFor([&] {
        return logText().contains(
            QStringLiteral("SLDecoder::run() -> warning: could not create spokenlabels cache directory (%1), "
                           "skipping an audio file [filename: e1s2c3.m4a]")
                .arg(work.path() + QStringLiteral("/blocked/cache/spokenlabels/")));
    }));
}

TEST_F(SLDecoderTest, EndDropsQueuedClips)
{
    constexpr int Queued = 50;
    {
        SLDecoder decoder;
        for (int i = 0; i < Queued; ++i)
            decoder.enqueue(QStringLiteral("e1s2c%1.m4a").arg(i), "clip");
    }
    // One pass stores one clip; the end does not store the rest.
    EXPECT_LT(QDir(folder).entryList(QDir::Files).size(), Queued / 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("SLDecoder::run() -> leaving main loop")));
}

// A real clip made from speech, decoded by ffmpeg as the external program.
TEST_F(SLDecoderTest, RealClipBecomesWaveFile)
{
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (espeak.isEmpty() || ffmpeg.isEmpty())
        GTEST_SKIP() << "espeak-ng and ffmpeg make the clip; not installed";
    const QString speech = work.filePath(QStringLiteral("speech.wav"));
    const QString clipPath = work.filePath(QStringLiteral("speech.m4a"));
    ASSERT_EQ(QProcess::execute(espeak, {QStringLiteral("-w"), speech, QStringLiteral("Radio one")}), 0);
    ASSERT_EQ(QProcess::execute(ffmpeg, {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                                         QStringLiteral("error"), QStringLiteral("-i"), speech,
                                         QStringLiteral("-c:a"), QStringLiteral("aac"), clipPath}),
              0);
    const QByteArray clip = readAll(clipPath);
    ASSERT_FALSE(clip.isEmpty());
    installProgram("\"" + ffmpeg.toUtf8() + "\" -nostdin -loglevel error -y -i \"$1\" \"$2.part.wav\" && "
                   "mv \"$2.part.wav\" \"$2\"\n");

    SLDecoder decoder;
    decoder.enqueue(QStringLiteral("e0s1F01c0.m4a"), clip);
    const QString wave = folder + QStringLiteral("e0s1F01c0.wav");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(wave); }));
    EXPECT_EQ(readAll(folder + QStringLiteral("e0s1F01c0.m4a")), clip);
    QByteArray pcm;
    ZOZ::WaveFormat format;
    ASSERT_TRUE(ZOZ::readWaveFile(wave, &pcm, &format));
    EXPECT_GT(pcm.size(), 1000);
}

} // namespace
