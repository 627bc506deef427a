#include "ZOZWaveFile.h"
#include "ZOZWaveOutput.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t readU32(const QByteArray &bytes, int offset)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(uchar(bytes[offset + i])) << (8 * i);
    return value;
}

QByteArray u32(uint32_t value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
    return bytes;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    QByteArray bytes = QByteArray(id, 4) + u32(uint32_t(body.size())) + body;
    if (body.size() & 1)
        bytes.append('\0');
    return bytes;
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + u32(uint32_t(chunks.size() + 4)) + "WAVE" + chunks;
}

// The 16-byte PCM format body: stereo, 48 kHz, 16 bits.
QByteArray pcmFormat()
{
    return ZOZ::makeWaveHeader(48000, 2, 16).mid(20, 16);
}

QString writeTemp(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString name = dir.filePath("in.wav");
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return name;
}

// What soxi reports about a file, one option at a time; empty without soxi.
QString soxi(const char *option, const QString &fileName)
{
    QProcess process;
    process.start("soxi", {option, fileName});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

bool haveSoxi()
{
    return !QStandardPaths::findExecutable("soxi").isEmpty();
}

std::vector<int16_t> ramp(int count)
{
    std::vector<int16_t> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = int16_t(i * 7 - 3000);
    return samples;
}

} // namespace

TEST(WaveOutput, CloseWritesTheSizes)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ZOZ::WaveOutput output;
    ASSERT_TRUE(output.open(&buffer, 48000, 2, 16));
    const std::vector<int16_t> samples = ramp(500);
    ASSERT_TRUE(output.write(samples.data(), 500));
    ASSERT_TRUE(output.close());
    const QByteArray bytes = buffer.data();
    ASSERT_EQ(bytes.size(), 1044);
    EXPECT_EQ(readU32(bytes, 4), 1036u);
    EXPECT_EQ(readU32(bytes, 40), 1000u);
}

TEST(WaveOutput, RefusesFormatsOutOfRange)
{
    const struct
    {
        const char *name;
        uint32_t rate, channels, bits;
        bool accepted;
    } rows[] = {
        {"96 kHz, 6 channels, 32 bits", 96000, 6, 32, true},
        {"7 channels", 48000, 7, 16, false},
        {"96001 Hz", 96001, 2, 16, false},
        {"0 Hz", 0, 2, 16, false},
        {"no channels", 48000, 0, 16, false},
        {"33 bits", 48000, 2, 33, false},
    };
    for (const auto &row : rows) {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        ZOZ::WaveOutput output;
        EXPECT_EQ(output.open(&buffer, row.rate, row.channels, row.bits), row.accepted) << row.name;
        EXPECT_EQ(buffer.size(), row.accepted ? 44 : 0) << row.name;
    }
}

TEST(WaveOutput, WidensAndClampsToTheFileDepth)
{
    const int16_t samples[] = {1, -1, 32767, -32768};
    const struct
    {
        uint32_t bits;
        std::vector<uint8_t> expected;
    } rows[] = {
        {16, {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80}},
        {24, {0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x80}},
        {32, {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}},
    };
    for (const auto &row : rows) {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        ZOZ::WaveOutput output;
        ASSERT_TRUE(output.open(&buffer, 8000, 1, row.bits));
        ASSERT_TRUE(output.write(samples, 4)) << row.bits;
        const QByteArray body = buffer.data().mid(44);
        EXPECT_EQ(body, QByteArray(reinterpret_cast<const char *>(row.expected.data()), int(row.expected.size())))
            << row.bits << " bits";
    }
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ZOZ::WaveOutput output;
    ASSERT_TRUE(output.open(&buffer, 8000, 1, 8));
    EXPECT_FALSE(output.write(samples, 4)) << "8-bit output is not written";
    EXPECT_TRUE(output.write(samples, 0));
}

TEST(WaveOutput, SoxReadsRateChannelsAndLength)
{
    if (!haveSoxi())
        GTEST_SKIP() << "soxi (Debian package sox) is not installed";
    QTemporaryDir dir;
    const struct
    {
        uint32_t rate, channels;
        int frames;
    } rows[] = {{48000, 2, 4800}, {32000, 1, 1234}, {24000, 6, 240}, {22050, 1, 22050}};
    for (const auto &row : rows) {
        const QString name = dir.filePath(QString("out-%1-%2.wav").arg(row.rate).arg(row.channels));
        ZOZ::WaveOutput output;
        ASSERT_TRUE(output.open(name, row.rate, row.channels, 16));
        const std::vector<int16_t> samples = ramp(row.frames * int(row.channels));
        ASSERT_TRUE(output.write(samples.data(), int(samples.size())));
        ASSERT_TRUE(output.close());
        EXPECT_EQ(soxi("-r", name), QString::number(row.rate)) << name.toStdString();
        EXPECT_EQ(soxi("-c", name), QString::number(row.channels)) << name.toStdString();
        EXPECT_EQ(soxi("-s", name), QString::number(row.frames)) << name.toStdString();

        QByteArray data;
        ZOZ::WaveFormat format;
        ASSERT_TRUE(ZOZ::readWaveFile(name, &data, &format));
        EXPECT_EQ(format.sampleRate, row.rate);
        EXPECT_EQ(format.numChannels, row.channels);
        EXPECT_EQ(data, QByteArray(reinterpret_cast<const char *>(samples.data()), int(samples.size() * 2)));
    }
}

TEST(WaveOutput, StartsANewFileBeforeTheSizeLimit)
{
    // Each file holds at most 1000 data bytes here; the real limit is what the
    // 32-bit RIFF size can announce.
    QTemporaryDir dir;
    const QString name = dir.filePath("stream.wav");
    ZOZ::WaveOutput output(1000);
    ASSERT_TRUE(output.open(name, 8000, 2, 16));
    const std::vector<int16_t> samples = ramp(200); // 400 bytes
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(output.write(samples.data(), 200)) << i;
    EXPECT_EQ(output.currentFileName(), dir.filePath("stream-2.wav"));
    ASSERT_TRUE(output.close());

    const struct
    {
        const char *file;
        int dataBytes;
    } rows[] = {{"stream.wav", 800}, {"stream-2.wav", 400}};
    for (const auto &row : rows) {
        QFile file(dir.filePath(row.file));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << row.file;
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(bytes.size(), 44 + row.dataBytes) << row.file;
        EXPECT_EQ(readU32(bytes, 4), uint32_t(row.dataBytes + 36)) << row.file;
        EXPECT_EQ(readU32(bytes, 40), uint32_t(row.dataBytes)) << row.file;
        if (haveSoxi()) {
            EXPECT_EQ(soxi("-s", dir.filePath(row.file)), QString::number(row.dataBytes / 4)) << row.file;
        }
    }

    // A caller's device cannot be split, so a write past the limit fails instead of wrapping.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ZOZ::WaveOutput onDevice(1000);
    ASSERT_TRUE(onDevice.open(&buffer, 8000, 2, 16));
    EXPECT_TRUE(onDevice.write(samples.data(), 200));
    EXPECT_TRUE(onDevice.write(samples.data(), 200));
    EXPECT_FALSE(onDevice.write(samples.data(), 200));
    EXPECT_EQ(onDevice.dataBytes(), 800u);
}

TEST(WaveFile, HeaderOfAGrowingFileIsFinished)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write(ZOZ::makeWaveHeader(48000, 2, 16));
    buffer.write(QByteArray(100, 'x'));
    ZOZ::finishWaveHeader(&buffer);
    EXPECT_EQ(readU32(buffer.data(), 4), 136u);
    EXPECT_EQ(readU32(buffer.data(), 40), 100u);
    EXPECT_EQ(buffer.pos(), 144);

    QByteArray bytes;
    const int16_t samples[] = {0x0102, -2};
    ZOZ::pcmToBytes(&bytes, samples, 2);
    EXPECT_EQ(bytes, QByteArray("\x02\x01\xfe\xff", 4));
}

TEST(WaveFile, ReadsWhatItCanAndRefusesWhatIsNotWave)
{
    QByteArray extensible = pcmFormat() + QByteArray(24, '\0');
    extensible[0] = char(0xFE);
    extensible[1] = char(0xFF);
    const QByteArray factOfEight = chunk("fact", u32(77) + u32(0));
    const struct
    {
        const char *name;
        QByteArray file;
        bool ok;
        QByteArray data;
        uint16_t formatTag;
        uint32_t factSamples;
    } rows[] = {
        {"plain", riff(chunk("fmt ", pcmFormat()) + chunk("data", "abcd")), true, "abcd", 1, 0},
        {"exactly 20 bytes", riff(QByteArray(8, 'z')), true, "", 0, 0},
        {"odd data then fact", riff(chunk("fmt ", pcmFormat()) + chunk("data", "abc") + chunk("fact", u32(3))), true,
         "abc", 1, 3},
        {"extensible format", riff(chunk("fmt ", extensible) + chunk("data", "ab")), true, "ab", 0xFFFE, 0},
        {"LIST before data", riff(chunk("fmt ", pcmFormat()) + chunk("LIST", "INFOISFT....") + chunk("data", "ab")),
         true, "ab", 1, 0},
        {"fact of eight bytes", riff(chunk("fmt ", pcmFormat()) + factOfEight + chunk("data", "ab")), true, "ab", 1,
         77},
        {"data cut short", riff(chunk("fmt ", pcmFormat()) + chunk("data", "abcdef")).chopped(2), false, "", 0, 0},
        {"too short", "RIFF\x04\0\0\0WAV", false, "", 0, 0},
        {"not RIFF", "RIFX" + u32(4) + "WAVE", false, "", 0, 0},
        {"not WAVE", "RIFF" + u32(4) + "AVI ", false, "", 0, 0},
    };
    QTemporaryDir dir;
    for (const auto &row : rows) {
        QByteArray data = "stale";
        ZOZ::WaveFormat format;
        format.factSamples = 99;
        EXPECT_EQ(ZOZ::readWaveFile(writeTemp(dir, row.file), &data, &format), row.ok) << row.name;
        EXPECT_EQ(data, row.data) << row.name;
        EXPECT_EQ(format.formatTag, row.formatTag) << row.name;
        EXPECT_EQ(format.factSamples, row.factSamples) << row.name;
    }
    QByteArray data;
    ZOZ::WaveFormat format;
    EXPECT_FALSE(ZOZ::readWaveFile(dir.filePath("missing.wav"), &data, &format));
}

TEST(WaveFile, DataChunkLongerThanTheFileIsReadAsFarAsItGoes)
{
    // A recording cut off before its header was finished announces more than it holds.
    QByteArray file = riff(chunk("fmt ", pcmFormat()) + "data" + u32(0x7FFFFFDB) + "abcd");
    QTemporaryDir dir;
    QByteArray data;
    ZOZ::WaveFormat format;
    ASSERT_TRUE(ZOZ::readWaveFile(writeTemp(dir, file), &data, &format));
    EXPECT_EQ(data, "abcd");
    EXPECT_EQ(format.sampleRate, 48000u);
    EXPECT_EQ(format.bitsPerSample, 16);
}
