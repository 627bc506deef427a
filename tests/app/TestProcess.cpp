// Runs the real program as a child process in a temporary home.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <functional>
#include <vector>

#include "ChildProcess.h"
#include "DabPlusDecode.h"
#include "EtiSubchannels.h"
#include "Layer2Dec.h"
#include "ToneLevel.h"

#include <gtest/gtest.h>

namespace {

using namespace ZOZTest;


// Each needle must appear after the one before it.
void expectInOrder(const QString &text, const QStringList &needles)
{
    qsizetype from = 0;
    for (const QString &needle : needles) {
        const qsizetype at = text.indexOf(needle, from);
        EXPECT_GE(at, 0) << "missing or out of order: " << needle.toStdString() << "\n" << text.toStdString();
        if (at < 0)
            return;
        from = at + needle.size();
    }
}

} // namespace

TEST(Process, SigtermShutsDownInOrderAndExitsZero)
{
    ChildProcess child(true);
    child.process.start();
    ASSERT_TRUE(child.process.waitForStarted(5000));
    ASSERT_TRUE(child.waitFor([&] { return child.logText().contains(QStringLiteral("finished initialising process.")); }))
        << child.logText().toStdString();

    child.sendSignal(SIGTERM);
    ASSERT_TRUE(child.process.waitForFinished(5000));
    EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.process.exitCode(), 0);
    const QByteArray output = child.process.readAllStandardOutput();
    EXPECT_TRUE(output.contains("\nterminate ZOZ\n"));
    // The user learns where the pages are.
    EXPECT_TRUE(output.contains("ZOZ is serving its pages at http://127.0.0.1:")) << output.toStdString();

    expectInOrder(child.logText(), {
                                       QStringLiteral("App::init()"),
                                       QStringLiteral("Settings::Settings()"),
                                       QStringLiteral("version: 5.1.2 for DAB with Audio ("),
                                       QStringLiteral("defaulting to DAB frontend device"),
                                       QStringLiteral("creating ServiceManager.."),
                                       QStringLiteral("ServiceManager::ServiceManager()"),
                                       QStringLiteral("ServiceManager::init()"),
                                       QStringLiteral("starting receiver.."),
                                       QStringLiteral("Receiver::init()"),
                                       QStringLiteral("finished initialising process."),
                                       QStringLiteral("App::~App()"),
                                       QStringLiteral("stopping service manager.."),
                                       QStringLiteral("ServiceManager::~ServiceManager()"),
                                       QStringLiteral("ServiceManagerPrivate::run() -> leaving thread"),
                                       QStringLiteral("cleaning up service list"),
                                       QStringLiteral("shutting down HTTP server.."),
                                       QStringLiteral("shutting down receiver.."),
                                       QStringLiteral("Receiver::~Receiver()"),
                                       QStringLiteral("clearing disposables list.."),
                                       QStringLiteral("removing settings instance.."),
                                       QStringLiteral("Settings::~Settings()"),
                                       QStringLiteral("finished shutdown process."),
                                   });
}

TEST(Process, SigintWithoutLogSwitchLeavesNoLogFiles)
{
    ChildProcess child(false);
    child.process.start();
    ASSERT_TRUE(child.process.waitForStarted(5000));
    // The front-end mode is stored during start-up.
    ASSERT_TRUE(child.waitFor([&] { return QFileInfo::exists(child.storeFile()); }));
    QThread::msleep(200);

    child.sendSignal(SIGINT);
    ASSERT_TRUE(child.process.waitForFinished(5000));
    EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.process.exitCode(), 0);
    EXPECT_FALSE(QDir(child.dataFolder() + QStringLiteral("logs")).exists());
    EXPECT_FALSE(child.process.readAllStandardOutput().contains("[LOG]"));
}

// Help and version end the start-up before anything else starts; a rejected
// command line is a failed start.
TEST(Process, CommandLineExitCodes)
{
    struct Case
    {
        const char *name;
        QStringList arguments;
        int exitCode;
        QByteArray output;
    };
    const Case cases[] = {
        {"help", {QStringLiteral("-h")}, 0, "--http-port"},
        {"help names the receiver source", {QStringLiteral("-h")}, 0, "RTKDAB_SOURCE=DIR|FILE.eti@CHANNEL"},
        {"version", {QStringLiteral("--version")}, 0, "5.1.2"},
        {"port not a number", {QStringLiteral("--http-port"), QStringLiteral("0x10")}, 1, ""},
    };
    for (const Case &c : cases) {
        ChildProcess child(false);
        child.process.setArguments(c.arguments);
        child.process.start();
        ASSERT_TRUE(child.process.waitForFinished(10000)) << c.name;
        EXPECT_EQ(child.process.exitCode(), c.exitCode) << c.name;
        EXPECT_TRUE(child.process.readAllStandardOutput().contains(c.output)) << c.name;
        EXPECT_FALSE(QFileInfo::exists(child.storeFile() + QStringLiteral(".lock"))) << c.name;
    }
}


// A source the receiver library cannot use is named on the console and on the
// pages, instead of a request to plug in a USB stick or a silent empty scan.
TEST(Process, BadSourceIsNamedOnConsoleAndPage)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString noise = work.filePath(QStringLiteral("noise.eti"));
    {
        QFile file(noise);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // Text, many times the size of a frame: nothing of it syncs as ETI-NI.
        for (int i = 0; i < 4000; ++i)
            file.write("this is not an ETI-NI recording\n");
    }
    struct Case
    {
        const char *name;
        QString source;
        bool needsScan;   // found only once the scan tunes to it
        QString named;    // the path or command the report names
    };
    const QString missingFile = work.filePath(QStringLiteral("missing.eti"));
    const QString missingFolder = work.filePath(QStringLiteral("missing-folder"));
    const Case cases[] = {
        {"missing file", missingFile + QStringLiteral("@5C"), false, missingFile},
        {"missing folder", missingFolder, false, missingFolder},
        {"not ETI", noise + QStringLiteral("@5A"), true, noise},
        {"failing command", QStringLiteral("|exit 3"), true, QStringLiteral("exit 3")},
        {"missing command", QStringLiteral("|zoz-no-such-command %c"), true, QStringLiteral("zoz-no-such-command %c")},
    };
    for (const Case &c : cases) {
        SourceChild child(c.source);
        ASSERT_TRUE(child.child.process.waitForStarted(5000)) << c.name;
        const quint16 port = child.port();
        ASSERT_NE(port, 0) << c.name << "\n" << child.output.toStdString();
        if (c.needsScan) {
            ASSERT_TRUE(child.waitFor([&] { return child.confirm(port); })) << c.name;
        }
        // One console line, starting with the variable's name, names the path or command.
        const auto consoleLine = [&] {
            const qsizetype at = child.output.indexOf("ZOZ: RTKDAB_SOURCE: ");
            if (at < 0)
                return QByteArray();
            const qsizetype end = child.output.indexOf('\n', at);
            return end < 0 ? QByteArray() : child.output.mid(at, end - at);
        };
        EXPECT_TRUE(child.waitFor([&] { return consoleLine().contains(c.named.toUtf8()); }))
            << c.name << "\n" << child.output.toStdString();
        QString notes;
        EXPECT_TRUE(child.waitFor([&] {
            notes = child.notifications(port);
            return notes.contains(c.named.toHtmlEscaped());
        })) << c.name << "\n" << notes.toStdString();
        // Not the question meant for a missing USB stick.
        EXPECT_FALSE(child.serverInfo(port).value(QStringLiteral("confirm")).toString().contains(
            QStringLiteral("insert the USB device")))
            << c.name;
    }
}

// Declining the scan ends the player; the console says why.
TEST(Process, DecliningTheScanEndsWithAConsoleLine)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString recording = work.filePath(QStringLiteral("empty.eti"));
    QFile(recording).open(QIODevice::WriteOnly);
    SourceChild child(recording + QStringLiteral("@5C"));
    ASSERT_TRUE(child.child.process.waitForStarted(5000));
    const quint16 port = child.port();
    ASSERT_NE(port, 0) << child.output.toStdString();
    ASSERT_TRUE(child.waitFor([&] { return child.confirm(port, false); }));
    ASSERT_TRUE(child.child.process.waitForFinished(10000));
    child.output += child.child.process.readAllStandardOutput();
    EXPECT_EQ(child.child.process.exitCode(), 0);
    EXPECT_TRUE(child.output.contains("ZOZ ends: you answered No to \"Scan required The application needs to scan"))
        << child.output.toStdString();
}

namespace {

// Interleaved stereo 16-bit PCM.
using Pcm = std::vector<int16_t>;

// The whole sub-channel decoded by the Layer II decoder in DAB mode, played
// twice over, as the receiver library loops the recording.
Pcm referenceDecode(const EtiSubchannel &sub)
{
    Pcm pcm;
    Layer2DecHandle decoder = Layer2Dec_Open(nullptr, 0, 1, 0);
    if (!decoder)
        return pcm;
    std::vector<uint8_t> bytes = sub.bytes;
    bytes.insert(bytes.end(), sub.bytes.begin(), sub.bytes.end());
    const uint32_t frameSize = sub.size * 24;
    std::vector<int16_t> out(LAYER2DEC_FRAME_SAMPLES * 2);
    for (size_t at = 0; at + frameSize <= bytes.size(); at += frameSize) {
        uint32_t left = frameSize;
        Layer2Dec_Fill(decoder, bytes.data() + at, frameSize, &left);
        uint32_t samples = 0;
        const Layer2DecResult result =
            Layer2Dec_DecodeFrame(decoder, out.data(), uint32_t(out.size()), &samples, nullptr, 0, nullptr, 0);
        if (LAYER2DEC_IS_SUCCESS(result))
            pcm.insert(pcm.end(), out.begin(), out.begin() + samples);
    }
    Layer2Dec_Close(&decoder);
    return pcm;
}

// Whether the state poll's entry of the playing audio service shows what a test
// waits for.
using PlayingCheck = std::function<bool(const QJsonObject &)>;

// Runs the player on ETI input (`source` as RTKDAB_SOURCE) tuned to one channel,
// with an ALSA default device that writes raw PCM to a file, selects a service
// through the pages' command and returns the first `seconds` of 48 kHz stereo it
// played (less when it did not play). With a check, the state poll must also show
// the playing service passing it before the player ends.
Pcm playService(const QString &source, const QString &channel, int sid, int seconds, const PlayingCheck &check = {})
{
    QTemporaryDir work;
    EXPECT_TRUE(work.isValid());
    const QString pcmFile = work.filePath(QStringLiteral("played.raw"));
    const QString config = work.filePath(QStringLiteral("zoz.cfg"));
    {
        QFile file(config);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        // Only the recording's channel: the scan is over in seconds.
        file.write("<?xml version=\"1.0\"?>\n<zoz>\n  <scanFrequencies>\n    <dab>\n      <frequency frequencyOrId=\""
                   + channel.toUtf8() + "\" label=\"" + channel.toUtf8()
                   + "\"/>\n    </dab>\n  </scanFrequencies>\n</zoz>\n");
    }
    SourceChild player(source, {QStringLiteral("-cfg"), config}, QStringLiteral("1"));
    {
        // ALSA reads the user's configuration from the home folder the child runs in.
        QFile asoundrc(player.child.home.filePath(QStringLiteral(".asoundrc")));
        EXPECT_TRUE(asoundrc.open(QIODevice::WriteOnly));
        asoundrc.write("pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" + pcmFile.toUtf8() +
                       "\"\n  format \"raw\"\n}\n");
    }
    if (!player.child.process.waitForStarted(5000))
        return {};
    const quint16 port = player.port();
    if (port == 0 || !player.waitFor([&] { return player.confirm(port); }, 30000))
        return {};
    const QByteArray token = player.token(port);
    const bool selected = player.waitFor([&] {
        return httpGet(port, "/ajax?selectServiceById=" + QByteArray::number(sid), token).contains("true");
    }, 60000);
    EXPECT_TRUE(selected) << player.output.toStdString();

    constexpr qint64 BytesPerSecond = 48000 * 4;
    const qint64 wanted = seconds * BytesPerSecond;
    EXPECT_TRUE(selected && player.waitFor([&] { return QFileInfo(pcmFile).size() >= wanted; }, 60000))
        << "PCM written: " << QFileInfo(pcmFile).size();
    if (check) {
        EXPECT_TRUE(player.waitFor([&] {
            const QJsonObject info = QJsonDocument::fromJson(httpGet(port, "/ajax?getServerInfo", token)).object();
            const QJsonArray channels =
                info.value(QStringLiteral("audio")).toObject().value(QStringLiteral("channels")).toArray();
            for (const QJsonValue &value : channels) {
                const QJsonObject entry = value.toObject();
                if (entry.value(QStringLiteral("playing")).toBool() && check(entry))
                    return true;
            }
            return false;
        }, 30000)) << "the playing service does not show what the test waits for";
    }
    player.child.sendSignal(SIGTERM);
    EXPECT_TRUE(player.child.process.waitForFinished(10000));

    QFile file(pcmFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    Pcm played(size_t(bytes.size()) / 2);
    std::memcpy(played.data(), bytes.constData(), played.size() * 2);
    return played;
}

// The same on a channel of the demo ensembles, given as the README's run command
// gives them (the folder of recordings named by channel).
Pcm playDemoService(const QString &channel, int sid, int seconds, const PlayingCheck &check = {})
{
    return playService(QStringLiteral(ZOZ_BINARY_DIR "/resources/demo"), channel, sid, seconds, check);
}

} // namespace

// The player as a user runs it, with an ALSA set-up whose default device writes
// raw PCM to a file: selecting the demo's Layer II service through the pages'
// command plays the chord the generator put in, without a gap once the
// prebuffer is through: the file is one unbroken run of the service's audio.
TEST(Process, SelectedLayer2ServicePlaysThroughTheDefaultAlsaDevice)
{
    const QString demo = QStringLiteral(ZOZ_BINARY_DIR "/resources/demo/5C.eti");
    const auto subchannels = readEtiSubchannels(demo.toStdString());
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame): " << demo.toStdString();
    // "ZOZ Classic", service 0xE1C1: 128 kbit/s Layer II with a chord of 220, 277, 330 and 440 Hz.
    // What the now-playing panel shows: the playing service's Dynamic Label.
    const QStringList labels = {QStringLiteral("Morning chords in A major"),
                                QStringLiteral("ZOZ Classic - generated music for the demo")};
    const Pcm played = playDemoService(QStringLiteral("5C"), 0xE1C1, 4, [&](const QJsonObject &entry) {
        return labels.contains(entry.value(QStringLiteral("textMessage")).toString());
    });
    const size_t frames = played.size() / 2;
    ASSERT_GE(frames, size_t(4 * 48000));

    // The chord, far above what lies between its notes.
    const size_t window = 9600;
    const int16_t *second = played.data() + 2 * 48000;
    const double floor = toneLevel(second, window, 2, 1000);
    for (const double note : {220.0, 277.18, 329.63, 440.0})
        EXPECT_GT(toneLevel(second, window, 2, note), 20 * floor + 10) << note << " Hz";

    // Unbroken: from half a second in (past the decoder's fade-in), every sample
    // is the next one of the service's own audio.
    const Pcm reference = referenceDecode(subchannels.at(1));
    const size_t start = 24000;
    const size_t probe = 1152;
    ASSERT_GT(reference.size(), 2 * probe);
    size_t offset = SIZE_MAX;
    for (size_t at = 0; at + probe <= reference.size() / 2; ++at) {
        if (std::equal(played.begin() + long(2 * start), played.begin() + long(2 * (start + probe)),
                       reference.begin() + long(2 * at))) {
            offset = at;
            break;
        }
    }
    ASSERT_NE(offset, SIZE_MAX) << "the played audio is not the service's audio";
    const size_t compared = std::min(frames - start, reference.size() / 2 - offset);
    ASSERT_GE(compared, size_t(3 * 48000));
    size_t firstDifference = SIZE_MAX;
    for (size_t n = 0; n < compared * 2; ++n) {
        if (played[2 * start + n] != reference[2 * offset + n]) {
            firstDifference = n / 2;
            break;
        }
    }
    EXPECT_EQ(firstDifference, SIZE_MAX) << "a gap or a jump " << double(firstDifference) / 48000 << " s in";
}

// The demo's DAB+ service the same way, as the README's run command plays it:
// "ZOZ Plus" on 11D, service 0xE2D3, AAC-LC at 96 kbit/s with a chord of 262, 330,
// 392 and 523 Hz, heard through the DAB+ decoder, the downmix and the limiter, with
// the codec in the now-playing panel's state.
TEST(Process, SelectedDabPlusServicePlaysThroughTheDefaultAlsaDevice)
{
    const QString demo = QStringLiteral(ZOZ_BINARY_DIR "/resources/demo/11D.eti");
    if (!readEtiSubchannels(demo.toStdString()).count(6))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame): " << demo.toStdString();
    const Pcm played = playDemoService(QStringLiteral("11D"), 0xE2D3, 3, [](const QJsonObject &entry) {
        return entry.value(QStringLiteral("info")).toObject().value(QStringLiteral("codec")).toString().contains(
            QStringLiteral("AAC-LC"));
    });
    ASSERT_GE(played.size() / 2, size_t(3 * 48000));
    const size_t window = 9600;
    const int16_t *second = played.data() + 2 * 48000;
    const double floor = toneLevel(second, window, 2, 1000);
    for (const double note : {261.63, 329.63, 392.0, 523.25})
        EXPECT_GT(toneLevel(second, window, 2, note), 20 * floor + 10) << note << " Hz";
}

namespace {

// Root mean square of interleaved samples.
double rms(const int16_t *x, size_t n)
{
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(x[i]) * x[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

// Every access unit of a recorded DAB+ sub-channel through the AAC decoder (which
// the codec tests hold to ffmpeg's and faad's decoding of the same units): the
// level the service has.
double decodedLevel(const EtiSubchannel &sub)
{
    double sum = 0;
    size_t samples = 0;
    decodeDabPlusUnits(sub, [&](const DabPlusFrame &f) {
        if (f.result != AACDEC_OK)
            return;
        const size_t n = size_t(f.info.frameSize * f.info.numChannels);
        sum += std::pow(rms(f.pcm, n), 2) * double(n);
        samples += n;
    });
    return samples ? std::sqrt(sum / double(samples)) : 0;
}

} // namespace

// "Done when": a user selects an AAC-LC service of the recorded Slovenian ensemble
// in the pages and hears it. "Slo 2 Val 202" (0x9202) is sub-channel 1, AAC-LC
// stereo at 48 kHz. The player loops the 1.39 s recording, and each wrap breaks the
// superframes around it: the decoder conceals those units (fade-out, comfort noise,
// fade-in), so the sound dips there and only there. Between the dips it is the
// service's stereo programme at the level its access units decode to.
TEST(Process, RecordedDabPlusServicePlaysThroughTheDefaultAlsaDevice)
{
    const QString recording = QStringLiteral(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    const auto subchannels = readEtiSubchannels(recording.toStdString());
    if (!subchannels.count(1))
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    const double reference = decodedLevel(subchannels.at(1));
    ASSERT_GT(reference, 1000);

    constexpr int Seconds = 5;
    const Pcm played = playService(recording + QStringLiteral("@5C"), QStringLiteral("5C"), 0x9202, Seconds, [](const QJsonObject &entry) {
        const QJsonObject info = entry.value(QStringLiteral("info")).toObject();
        return info.value(QStringLiteral("codec")).toString().contains(QStringLiteral("AAC-LC"));
    });
    const size_t frames = played.size() / 2;
    ASSERT_GE(frames, size_t(Seconds * 48000));

    // Levels of 100 ms windows from the first sound on; a dip is a window below 1 %
    // of the service's level.
    constexpr size_t Window = 4800;
    size_t start = 0;
    while (start < frames && played[2 * start] == 0 && played[2 * start + 1] == 0)
        ++start;
    std::vector<double> levels;
    for (size_t at = start; at + Window <= frames; at += Window)
        levels.push_back(rms(played.data() + 2 * at, 2 * Window));
    std::vector<size_t> dipStarts;
    size_t longestDip = 0, dip = 0;
    double sum = 0;
    size_t heard = 0;
    for (size_t w = 0; w < levels.size(); ++w) {
        const bool low = levels[w] < reference / 100;
        if (low && dip == 0)
            dipStarts.push_back(w);
        dip = low ? dip + 1 : 0;
        longestDip = std::max(longestDip, dip);
        // Away from the wraps: neither in a dip nor in the fades around it.
        if (levels[w] > reference / 10 && (w == 0 || levels[w - 1] > reference / 10) &&
            (w + 1 == levels.size() || levels[w + 1] > reference / 10)) {
            sum += levels[w] * levels[w];
            ++heard;
        }
    }
    // Dips only where the recording wraps: one every 1.39 s, each shorter than the
    // broken superframes and the resynchronisation around it.
    ASSERT_FALSE(dipStarts.empty()) << "the recording wraps within the capture";
    EXPECT_LE(dipStarts.size(), size_t(Seconds / 1.39) + 1);
    EXPECT_LE(longestDip, 4u) << "a dip of " << longestDip * 100 << " ms";
    for (size_t k = 1; k < dipStarts.size(); ++k)
        EXPECT_NEAR(double(dipStarts[k] - dipStarts[k - 1]), 13.9, 1.5) << "dips at windows " << dipStarts[k - 1]
                                                                          << " and " << dipStarts[k];
    // Between them, the service's level: the limiter and the downmix leave it
    // within half a decibel of what its access units decode to (measured: 0.02 dB).
    ASSERT_GT(heard, levels.size() / 2);
    const double level = std::sqrt(sum / double(heard));
    std::printf("played %.2f dB against the decoded access units\n", 20 * std::log10(level / reference));
    EXPECT_NEAR(20 * std::log10(level / reference), 0.0, 0.5) << level << " against " << reference;

    // Stereo: two channels that differ, neither of them silent.
    size_t differing = 0;
    double left = 0, right = 0;
    for (size_t i = 48000; i < frames; ++i) {
        differing += played[2 * i] != played[2 * i + 1];
        left += double(played[2 * i]) * played[2 * i];
        right += double(played[2 * i + 1]) * played[2 * i + 1];
    }
    EXPECT_GT(differing, (frames - 48000) / 2);
    EXPECT_GT(left, right / 10);
    EXPECT_GT(right, left / 10);
}
