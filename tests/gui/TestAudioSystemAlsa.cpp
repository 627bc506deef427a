// The audio output through the real ALSA library, with an ALSA configuration
// whose "default" device writes what it is given into a file.
#include "ZOZAlsaSink.h"
#include "ZOZAudioSystem.h"

#include "AudioTestSource.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int Channels = 6;

struct SixChannelSource : AudioTestSource
{
    SixChannelSource() : AudioTestSource({1, 48000, 16, Channels}) {}
    // Channel c of frame n holds (c + 1) * 1000 + n % 500, so order and continuity show.
    void addFrames(int frames)
    {
        ZOZ::PcmBlock block;
        block.samples = uint32_t(frames * Channels);
        block.bytes = block.samples * 2;
        block.pcm.resize(block.bytes);
        auto *samples = reinterpret_cast<int16_t *>(block.pcm.data());
        for (int f = 0; f < frames; ++f, ++frame)
            for (int c = 0; c < Channels; ++c)
                samples[f * Channels + c] = int16_t((c + 1) * 1000 + frame % 500);
        streamAdd(format, block, true);
    }
    int frame = 0;
};

} // namespace

// Gain, channel order and continuity of what reaches the device. 5.1 goes out in
// the order the device's channel map asks for, or, without a map, in ALSA's
// usual order front left, front right, back left, back right, centre, low frequency.
TEST(AudioSystemAlsa, FileDeviceReceivesScaledChannelsInOrderWithoutGaps)
{
    struct Case
    {
        const char *name;
        const char *sink;   // the null device the file plugin writes through
        int channelOf[Channels]; // our channel at each position of the device's frame
    };
    const Case cases[] = {
        {"no channel map", "pcm.sink { type null }", {0, 1, 4, 5, 2, 3}},
        {"channel map in our order", "pcm.sink { type null chmap [ \"FL,FR,FC,LFE,RL,RR\" ] }", {0, 1, 2, 3, 4, 5}},
        {"channel map with side channels", "pcm.sink { type null chmap [ \"FC,FL,FR,SL,SR,LFE\" ] }", {2, 0, 1, 4, 5, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString output = dir.filePath("played.raw");
        const QString config = dir.filePath("asound.conf");
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("pcm.!default {\n type file\n slave.pcm \"sink\"\n file \"%1\"\n format \"raw\"\n}\n%2\n")
                       .arg(output, QString::fromLatin1(c.sink))
                       .toUtf8());
        file.close();
        setenv("ALSA_CONFIG_PATH", config.toLocal8Bit().constData(), 1);

        auto sink = std::make_unique<ZOZ::AlsaSink>();
        const ZOZ::AlsaSink *ring = sink.get();
        SixChannelSource source;
        const int seconds = 3;
        source.addFrames(48000 * seconds);
        // 3 s buffered: every whole block is played after the prebuffer.
        const qint64 blockBytes = source.blockBytes();
        const qint64 expected = (48000 * seconds * Channels * 2) / blockBytes * blockBytes;
        {
            ZOZ::AudioSystem system(std::move(sink));
            system.init(true);
            system.levels().setLevel(0.5f);
            system.setSource(&source, &source);
            system.start();
            while (source.bufferedBytes() >= uint32_t(blockBytes) || ring->freeSlots() < ZOZ::AudioSink::RingSlots)
                QThread::msleep(5);
            // Closing the device makes ALSA's file plugin write out what it still holds.
        }

        QFile played(output);
        ASSERT_TRUE(played.open(QIODevice::ReadOnly));
        const QByteArray bytes = played.readAll();
        ASSERT_EQ(bytes.size(), expected);
        const auto *samples = reinterpret_cast<const int16_t *>(bytes.constData());
        // Half volume, truncated toward zero (1001 becomes 500).
        for (qint64 f = 0; f < expected / (Channels * 2); ++f)
            for (int p = 0; p < Channels; ++p)
                ASSERT_EQ(samples[f * Channels + p], ((c.channelOf[p] + 1) * 1000 + f % 500) / 2)
                    << "frame " << f << " position " << p;
    }
}

namespace {

// Points ALSA's default device at a file in `dir`; returns the file's name.
QString fileDevice(const QTemporaryDir &dir)
{
    const QString output = dir.filePath("played.raw");
    const QString config = dir.filePath("asound.conf");
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("pcm.!default {\n type file\n slave.pcm \"sink\"\n file \"%1\"\n format \"raw\"\n}\n"
                              "pcm.sink { type null }\n")
                   .arg(output)
                   .toUtf8());
    file.close();
    setenv("ALSA_CONFIG_PATH", config.toLocal8Bit().constData(), 1);
    return output;
}

QByteArray waitForBytes(const QString &fileName, qint64 bytes)
{
    QElapsedTimer timer;
    timer.start();
    while (QFileInfo(fileName).size() < bytes && timer.elapsed() < 20000)
        QThread::msleep(10);
    QFile played(fileName);
    played.open(QIODevice::ReadOnly);
    return played.readAll();
}

} // namespace

// The balance reaches the card: 0.25 takes the left channel to three quarters.
TEST(AudioSystemAlsa, BalanceLowersOneChannelAtTheDevice)
{
    QTemporaryDir dir;
    const QString output = fileDevice(dir);
    AudioTestSource source({1, 48000, 16, 2});
    ZOZ::PcmBlock block;
    const int frames = 48000 * 2;
    block.samples = uint32_t(frames * 2);
    block.bytes = block.samples * 2;
    block.pcm.resize(block.bytes);
    auto *samples = reinterpret_cast<int16_t *>(block.pcm.data());
    for (int n = 0; n < frames * 2; ++n)
        samples[n] = 4000;
    source.streamAdd(source.format, block, true);
    QByteArray bytes;
    {
        ZOZ::AudioSystem system(std::make_unique<ZOZ::AlsaSink>());
        system.init(true);
        system.levels().setBalance(0.25f);
        system.setSource(&source, &source);
        system.start();
        bytes = waitForBytes(output, 48000 * 4 / 2);
    }
    ASSERT_GE(bytes.size(), 48000 * 4 / 2);
    const auto *played = reinterpret_cast<const int16_t *>(bytes.constData());
    for (qsizetype f = 0; f < bytes.size() / 4; ++f) {
        ASSERT_EQ(played[2 * f], 3000) << f;
        ASSERT_EQ(played[2 * f + 1], 4000) << f;
    }
}

// The speaker test plays without a service: mask 1 in the stereo test sounds
// the left channel with the 1800 Hz tone and leaves the right one silent.
TEST(AudioSystemAlsa, TestToneSoundsOnTheChosenChannelOnly)
{
    QTemporaryDir dir;
    const QString output = fileDevice(dir);
    QByteArray bytes;
    {
        ZOZ::AudioSystem system(std::make_unique<ZOZ::AlsaSink>());
        system.init(true);
        system.setTestMode({true, 2, 1});
        system.start();
        bytes = waitForBytes(output, 2 * ZOZ::TestTone::BlockValues * 2);
    }
    ASSERT_GE(bytes.size(), 2 * ZOZ::TestTone::BlockValues * 2);
    const auto *played = reinterpret_cast<const int16_t *>(bytes.constData());
    // The first second is the 1800 Hz step.
    for (qsizetype f = 0; f < std::min<qsizetype>(bytes.size() / 4, 48000); ++f) {
        ASSERT_EQ(played[2 * f], int16_t(std::sin(2 * M_PI * 1800.0 * double(f) / 48000) * 9830)) << f;
        ASSERT_EQ(played[2 * f + 1], 0) << f;
    }
}
