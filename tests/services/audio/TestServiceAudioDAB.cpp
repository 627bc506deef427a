// The DAB audio service: sync tests, intake rules, Layer II and DAB+ decoding
// into the audio stream, DAB+ on real recordings, sync loss, the raw output.
#include "audio/ZOZRawInputCopy.h"
#include "base/ZOZPaths.h"
#include "audio/ZOZServiceAudioDAB.h"

#include "DabCrc16.h"
#include "DabDlDecoder.h"
#include "EtiSubchannels.h"
#include "PadTestSupport.h"
#include "SettingsFixture.h"
#include "SuperframeBuilder.h"
#include "ToneLevel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

using ZOZ::ServiceAudioDAB;

namespace {

using Bytes = std::vector<uint8_t>;

const char *const DemoEnsemble = ZOZ_BINARY_DIR "/resources/demo/5C.eti";
const char *const SecondDemoEnsemble = ZOZ_BINARY_DIR "/resources/demo/11D.eti";
const char *const Slovenia = ZOZ_TESTDATA_DIR "/slovenia-r1.eti";

// A service object held for the test; the service manager would hold it otherwise.
struct Held
{
    Held(int size, bool dabPlus)
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        service = new ServiceAudioDAB(d, size, false, dabPlus);
        service->retain();
        service->setElapsedSource([this] { return nowMs; });
    }
    ~Held() { service->release(); }
    ServiceAudioDAB *operator->() const { return service; }

    // Hands the bytes over one logical frame at a time, as the receiver does.
    void feed(const Bytes &bytes, size_t from = 0, size_t frames = SIZE_MAX)
    {
        const size_t frameSize = service->frameSize();
        for (size_t at = from * frameSize; at + frameSize <= bytes.size() && frames > 0; at += frameSize, --frames)
            service->receiveData(int(frameSize), bytes.data() + at);
    }

    // Up to `count` samples of the left channel of the decoded stereo stream.
    std::vector<int16_t> leftChannel(size_t count)
    {
        std::vector<int16_t> left;
        ZOZ::PcmBlock block;
        while (left.size() < count) {
            service->streamRead(&block);
            if (block.bytes == 0)
                break;
            const auto *samples = reinterpret_cast<const int16_t *>(block.pcm.data());
            for (uint32_t i = 0; i < block.samples; i += 2)
                left.push_back(samples[i]);
        }
        return left;
    }

    ServiceAudioDAB *service;
    qint64 nowMs = 0;
};

// A frame of `size` bytes whose first four are the header.
Bytes withHeader(std::initializer_list<uint8_t> header, size_t size)
{
    Bytes frame(size, 0x55);
    std::copy(header.begin(), header.end(), frame.begin());
    return frame;
}

class ServiceAudioDABTest : public ZOZTest::SettingsFixture
{
};

TEST(ServiceAudioDABSync, BufferStartTests)
{
    // Two clean superframes of 48 bytes a frame (n = 2), then the first repeated.
    Bytes superframes = SuperframeBuilder::build(2, 0x40, 1);
    const Bytes second = SuperframeBuilder::build(2, 0x40, 9);
    superframes.insert(superframes.end(), second.begin(), second.end());
    Bytes badSixth = SuperframeBuilder::build(2, 0x40, 1);
    badSixth.resize(badSixth.size() + 48, 0x33);
    Bytes damaged = superframes;
    damaged[60] ^= 0x01; // one RS codeword not clean

    struct Case
    {
        const char *name;
        Bytes buffer;
        uint32_t frameSize;
        bool dabPlus;
        bool synced;
    };
    const Case cases[] = {
        {"Layer II, 48 kHz, 128 kbit/s", withHeader({0xFF, 0xFC, 0x84, 0x04}, 384), 384, false, true},
        {"Layer II, 24 kHz, 64 kbit/s", withHeader({0xFF, 0xF4, 0x84, 0x04}, 384), 192, false, true},
        {"Layer II without header CRC", withHeader({0xFF, 0xFD, 0x84, 0x04}, 384), 384, false, true},
        {"Layer II, 44.1 kHz", withHeader({0xFF, 0xFC, 0x80, 0x04}, 384), 384, false, false},
        {"Layer II, free format", withHeader({0xFF, 0xFC, 0x04, 0x04}, 384), 384, false, false},
        {"Layer II, forbidden bit rate", withHeader({0xFF, 0xFC, 0xF4, 0x04}, 384), 384, false, false},
        {"Layer I header", withHeader({0xFF, 0xFE, 0x84, 0x04}, 384), 384, false, false},
        {"one byte short of a frame", withHeader({0xFF, 0xFC, 0x84, 0x04}, 383), 384, false, false},
        {"DAB+: a valid Layer II header is no superframe",
         withHeader({0xFF, 0xFC, 0x84, 0x04}, 6 * 384), 384, true, false},
        {"DAB+: superframe and the next start", superframes, 48, true, true},
        {"DAB+: one frame short of the next start", Bytes(superframes.begin(), superframes.begin() + 5 * 48 + 47), 48,
         true, false},
        {"DAB+: sixth frame no superframe start", badSixth, 48, true, false},
        {"DAB+: a codeword not clean", damaged, 48, true, false},
        {"no frame size", superframes, 0, true, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ServiceAudioDAB::checkSuperframe(c.buffer.data(), uint32_t(c.buffer.size()), c.frameSize, c.dabPlus),
                  c.synced)
            << c.name;
}

// The demo's 128 kbit/s Layer II service (sub-channel 1, a chord of 220, 277,
// 330 and 440 Hz), decoded by the service into its audio stream.
TEST_F(ServiceAudioDABTest, Layer2ServiceDecodesIntoItsStreamOnlyWhilePlaying)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const Bytes &bytes = subchannels.at(1).bytes;
    Held held(16, false);
    ASSERT_EQ(held->frameSize(), 384u);

    // Not heard: nothing is decoded.
    held.feed(bytes, 0, 50);
    EXPECT_EQ(held->bufferedBytes(), 0u);
    EXPECT_FALSE(held->isSynced());

    // A piece that is no whole number of frames is dropped.
    held->play();
    held->receiveData(30, bytes.data());
    EXPECT_FALSE(held->isSynced());

    // Starting in the middle of a frame: the search slides by frames, and a
    // Layer II stream has a header at every frame start.
    held->receiveData(384, bytes.data() + 100);
    held.feed(bytes, 1, 125); // 3 s
    EXPECT_TRUE(held->isSynced());
    EXPECT_EQ(held->codecName(), QStringLiteral("MPEG-1/2 Layer 2"));
    EXPECT_EQ(held->systemName(), QStringLiteral("DAB Classic"));
    EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
    EXPECT_EQ(held->audioFormat().numChannels, 2u);
    EXPECT_EQ(held->channelText(), QStringLiteral("Stereo"));
    EXPECT_EQ(held->streamConfig().format.sampleRate, 48000u);
    EXPECT_EQ(held->measuredBitRate(), 128000);
    EXPECT_GE(held->bufferedMs(), 2900u);

    // The chord is in the stream.
    const std::vector<int16_t> left = held.leftChannel(96000);
    ASSERT_GE(left.size(), 96000u);
    const auto level = [&](double frequency) { return toneLevel(left.data() + 48000, 9600, 1, frequency); };
    const double floor = level(1000);
    for (const double note : {220.0, 277.18, 329.63, 440.0})
        EXPECT_GT(level(note), 20 * floor + 10) << note << " Hz";

    // Stopping drops what was decoded.
    held->stop();
    EXPECT_EQ(held->bufferedBytes(), 0u);
}

// A data service carried in X-PAD: what reaches it is kept.
class FakeDataService : public ZOZ::Service
{
public:
    explicit FakeDataService(int xpadType)
        : Service(true)
    {
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xD210;
        d.applicationId = 2; // SlideShow
        d.applicationType = xpadType;
        d.name = QStringLiteral("Slideshow");
        d.shortname = QStringLiteral("sls");
        init(d);
        retain();
    }
    bool handlePacket(int length, const uchar *const &data) override
    {
        groups.emplace_back(data, data + length);
        return true;
    }
    std::vector<Bytes> groups;
};

// The demo's Layer II frames carry, in their PAD, a Dynamic Label that changes
// every 8 s and a SlideShow image in MOT data groups (X-PAD type 12). The
// labels reach the service's text, the groups the data service registered
// under the X-PAD type; one registered under type 2, the SlideShow's user
// application type, is refused and takes nothing from the labels.
TEST_F(ServiceAudioDABTest, Layer2PadReachesLabelAndDataService)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Held held(16, false);
    auto *slideShow = new FakeDataService(12);
    auto *colliding = new FakeDataService(2);
    held->registerPadApplication(slideShow, true);
    held->registerPadApplication(slideShow, false); // the same service once
    held->registerPadApplication(colliding, true);
    EXPECT_EQ(2, slideShow->referenceCount());
    EXPECT_EQ(1, colliding->referenceCount());

    std::set<QString> labels;
    QObject::connect(held.service, qOverload<>(&ZOZ::Service::newTextMessage), [&] {
        labels.insert(held->textMessage());
    });
    held->play();
    held.feed(subchannels.at(1).bytes);

    EXPECT_EQ((std::set<QString> {QStringLiteral("Morning chords in A major"),
                                  QStringLiteral("ZOZ Classic - generated music for the demo")}),
              labels);
    ASSERT_FALSE(slideShow->groups.empty());
    for (const Bytes &group : slideShow->groups) {
        ASSERT_GE(group.size(), 4u);
        const uint16_t crc = uint16_t(group[group.size() - 2] << 8 | group[group.size() - 1]);
        EXPECT_TRUE(DAB_Bb_Ruz_Crc16Check(group.data(), group.size() - 2, crc));
    }
    EXPECT_TRUE(colliding->groups.empty());

    held->unregisterPadApplication(slideShow);
    EXPECT_EQ(1, slideShow->referenceCount());
    slideShow->release();
    colliding->release();
}

// Dynamic Label groups as the PAD decoder hands them over: the label becomes
// the service's text, the DL Plus command linked to it names title and artist,
// an intelliText label fills a menu, remove label empties the text.
TEST_F(ServiceAudioDABTest, DynamicLabelGroupsReachTextAndPageData)
{
    using namespace ZOZ::Test::Pad;
    Held held(16, false);
    const auto give = [&](const Bytes &group) {
        return held->processDlDataGroup(group.data(), uint32_t(group.size()));
    };
    for (const Bytes &group : dlLabel(false, "Hey Jude - The Beatles"))
        EXPECT_EQ(give(group), DL_DECODER_OK);
    EXPECT_EQ(held->textMessage(), QStringLiteral("Hey Jude - The Beatles"));

    // Two tags, item running: title at 0 (8 characters), artist at 11 (11).
    const Bytes tags = {0x05, 1, 0, 7, 4, 11, 10};
    EXPECT_EQ(give(dlCommand(false, DL_COMMAND_DL_PLUS, false, tags)), DL_DECODER_OK);
    ZOZ::AudioServiceInfo info = held->audioInfo();
    EXPECT_TRUE(info.texts.itemRunning);
    EXPECT_EQ(info.texts.title, QStringLiteral("Hey Jude"));
    EXPECT_EQ(info.texts.artist, QStringLiteral("The Beatles"));

    for (const Bytes &group : dlLabel(true, "NEWS[0] - Sport[0]: Win;Loss"))
        give(group);
    info = held->audioInfo();
    ASSERT_EQ(info.texts.menus.size(), 1);
    EXPECT_EQ(info.texts.menus[0].subMenus[0].items, (QStringList {"Win", "Loss"}));

    EXPECT_EQ(give(dlCommand(false, DL_COMMAND_REMOVE_LABEL)), DL_DECODER_OK);
    EXPECT_TRUE(held->textMessage().isEmpty());
    // A damaged group is refused and changes nothing.
    Bytes damaged = dlLabel(false, "Other text").front();
    damaged.back() ^= 0x01;
    EXPECT_EQ(give(damaged), DL_DECODER_CRC_ERROR);
    EXPECT_TRUE(held->textMessage().isEmpty());
}

// The demo's DAB+ service (11D, sub-channel 6, AAC-LC from the test encoder, a
// chord of 262, 330, 392 and 523 Hz) plays through the DAB+ decoder into its
// stream.
TEST_F(ServiceAudioDABTest, DabPlusServiceDecodesIntoItsStream)
{
    const auto subchannels = readEtiSubchannels(SecondDemoEnsemble);
    if (!subchannels.count(6))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const EtiSubchannel &sub = subchannels.at(6);
    Held held(int(sub.size), true);
    ASSERT_EQ(held->frameSize(), 288u);
    held->play();
    held.feed(sub.bytes, 0, 125); // 3 s
    EXPECT_TRUE(held->isSynced());
    EXPECT_EQ(held->codecName(), QStringLiteral("MPEG-4 AAC-LC"));
    EXPECT_EQ(held->systemName(), QStringLiteral("DAB+"));
    EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
    EXPECT_EQ(held->audioFormat().numChannels, 2u);
    EXPECT_EQ(held->streamConfig().format.sampleRate, 48000u);
    EXPECT_GT(held->measuredBitRate(), 60000);
    EXPECT_LE(held->measuredBitRate(), 96000);
    EXPECT_GE(held->bufferedMs(), 2500u);

    const std::vector<int16_t> left = held.leftChannel(96000);
    ASSERT_GE(left.size(), 96000u);
    const auto level = [&](double frequency) { return toneLevel(left.data() + 48000, 9600, 1, frequency); };
    const double floor = level(1000);
    for (const double note : {261.63, 329.63, 392.0, 523.25})
        EXPECT_GT(level(note), 20 * floor + 10) << note << " Hz";
}

// A DAB+ service never takes the Layer II stream of another sub-channel for
// its own: no sync, the search drops frame after frame.
TEST_F(ServiceAudioDABTest, DabPlusServiceDoesNotSyncOnLayer2Frames)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    Held held(16, true);
    held->play();
    held.feed(subchannels.at(1).bytes, 0, 100);
    EXPECT_FALSE(held->isSynced());
    EXPECT_EQ(held->superframeCounts().superframes, 0u);
    EXPECT_EQ(held->superframeCounts().discardedBytes, 90u * 384);
}

// Every DAB+ sub-channel of the recording synchronises once and then takes
// every superframe that follows, with no codeword left uncorrected.
TEST_F(ServiceAudioDABTest, RecordedDabPlusSubchannelsSynchroniseOnEverySuperframe)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    struct Case
    {
        uint32_t subChannel;
        const char *codec;
    };
    // Sub-channels 6 and 13 are packet data; 12 carries only zero bytes.
    const Case cases[] = {
        {0, "MPEG-4 AAC-LC"},   {1, "MPEG-4 AAC-LC"},    {2, "MPEG-4 AAC-LC"},    {3, "MPEG-4 AAC-LC"},
        {4, "MPEG-4 HE-AAC v1"}, {5, "MPEG-4 HE-AAC v1"}, {7, "MPEG-4 HE-AAC v1"}, {8, "MPEG-4 HE-AAC v1"},
        {9, "MPEG-4 HE-AAC v1"}, {10, "MPEG-4 HE-AAC v1"}, {11, "MPEG-4 HE-AAC v1"}, {15, "MPEG-4 HE-AAC v1"},
    };
    // The labels the recording carries whole (null: one with characters of the
    // broadcaster's own set, only checked to be there).
    const std::map<uint32_t, const char *> labels = {
        {0, "Vedno prvi"}, {1, "Ujame vse"}, {2, nullptr}, {3, "Radio Slovenija Ars"},
        {8, "Ritem Ljubljane"}, {9, nullptr}, {10, "100% Rock"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("sub-channel " + std::to_string(c.subChannel));
        ASSERT_TRUE(subchannels.count(c.subChannel));
        const EtiSubchannel &sub = subchannels.at(c.subChannel);
        Held held(int(sub.size), true);
        held->play();
        held.feed(sub.bytes);
        const ServiceAudioDAB::SuperframeCounts counts = held->superframeCounts();
        EXPECT_TRUE(held->isSynced());
        EXPECT_EQ(counts.syncs, 1u);
        // The first superframe starts at frame 4; every whole one after the sync is taken.
        const uint32_t afterSync = (sub.frames - 4 - counts.discardedBytes / held->frameSize() + 4) / 5;
        EXPECT_EQ(counts.superframes, afterSync);
        EXPECT_GE(counts.superframes, 9u);
        EXPECT_EQ(counts.rsFailures, 0u);
        EXPECT_EQ(held->codecName(), QString::fromLatin1(c.codec));
        EXPECT_EQ(held->systemName(), QStringLiteral("DAB+"));
        // Every unit decodes: the AAC-LC services as 48 kHz stereo, the HE-AAC
        // services as their AAC core.
        EXPECT_GE(held->bufferedMs(), counts.superframes * 120 - 120);
        if (c.subChannel <= 3) {
            EXPECT_EQ(held->audioFormat().sampleRate, 48000u);
            EXPECT_EQ(held->audioFormat().numChannels, 2u);
        }
        // The decoder's PAD reaches the label decoder: the Dynamic Label the
        // recording carries whole becomes the service's text.
        const auto label = labels.find(c.subChannel);
        if (label == labels.end())
            EXPECT_TRUE(held->textMessage().isEmpty()) << held->textMessage().toStdString();
        else if (label->second)
            EXPECT_EQ(held->textMessage(), QString::fromLatin1(label->second));
        else
            EXPECT_FALSE(held->textMessage().isEmpty());
    }
}

// Synced, but nothing comes out: after 5000 ms the search starts again.
TEST_F(ServiceAudioDABTest, SyncIsLostAfterFiveSecondsWithoutOutput)
{
    const auto subchannels = readEtiSubchannels(Slovenia);
    if (!subchannels.count(0))
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    const EtiSubchannel &sub = subchannels.at(0);
    Held held(int(sub.size), true);
    held->play();
    held.feed(sub.bytes, 0, 20);
    ASSERT_TRUE(held->isSynced());
    const Bytes noise(held->frameSize(), 0xA5);
    struct Step
    {
        qint64 advanceMs;
        bool synced;
    };
    const Step steps[] = {{4000, true}, {1000, true}, {1, false}};
    for (const Step &step : steps) {
        held.nowMs += step.advanceMs;
        held->receiveData(int(noise.size()), noise.data());
        EXPECT_EQ(held->isSynced(), step.synced) << held.nowMs;
    }
}

// A DAB+ stream joined k frames into a superframe: the search waits for more
// than ten frames, then slides a frame at a time to the next superframe start.
TEST_F(ServiceAudioDABTest, SearchSlidesToTheNextSuperframeStart)
{
    Bytes stream;
    for (uint8_t seed = 1; seed <= 5; ++seed) {
        const Bytes superframe = SuperframeBuilder::build(2, 0x40, seed);
        stream.insert(stream.end(), superframe.begin(), superframe.end());
    }
    for (uint32_t k = 0; k < 5; ++k) {
        SCOPED_TRACE("joined " + std::to_string(k) + " frames in");
        Held held(2, true);
        held->play();
        held.feed(stream, k);
        const ServiceAudioDAB::SuperframeCounts counts = held->superframeCounts();
        EXPECT_TRUE(held->isSynced());
        EXPECT_EQ(counts.syncs, 1u);
        EXPECT_EQ(counts.discardedBytes, (5 - k) % 5 * held->frameSize());
        EXPECT_EQ(counts.rsFailures, 0u);
    }
}

// The manager reopens the decoder when the sub-channel changes: a new size or
// kind restarts the search; an unchanged one leaves the service as it is; a
// size the kind cannot have leaves it silent; a closed decoder opens again.
TEST_F(ServiceAudioDABTest, ReconfigurationTransitions)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const Bytes &layer2 = subchannels.at(1).bytes;
    Held held(8, true);
    held->setServiceType(QStringLiteral("Pop Music"));
    held->play();
    EXPECT_EQ(held->audioFormat().id, 2);
    EXPECT_EQ(held->systemName(), QStringLiteral("DAB+"));
    EXPECT_EQ(held->codecName(), QStringLiteral("not determined yet"));

    struct Step
    {
        const char *name;
        int size;
        bool dabPlus;
        bool changed;
        uint32_t frameSize;
        int nominalBitRate;
    };
    const Step steps[] = {
        {"DAB+ to DAB, 128 kbit/s", 16, false, true, 384, 128000},
        {"the same again", 16, false, false, 384, 128000},
        {"DAB+ beyond its largest size", 25, true, true, 0, 0},
        {"the same again", 25, true, false, 0, 0},
        {"DAB, 64 kbit/s", 8, false, true, 192, 64000},
        {"back to 128 kbit/s", 16, false, true, 384, 128000},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(held->initDecoder(step.size, false, step.dabPlus, -1), step.changed);
        EXPECT_EQ(held->frameSize(), step.frameSize);
        EXPECT_EQ(held->nominalBitRate(), step.nominalBitRate);
        EXPECT_EQ(held->audioFormat().id, step.dabPlus ? 2 : 1);
        EXPECT_FALSE(held->isSynced());
    }
    // After all that the Layer II stream plays, and its label comes through
    // the PAD decoder opened with the last reconfiguration.
    held.feed(layer2, 0, 250);
    EXPECT_TRUE(held->isSynced());
    EXPECT_EQ(held->codecName(), QStringLiteral("MPEG-1/2 Layer 2"));
    EXPECT_EQ(held->textMessage(), QStringLiteral("Morning chords in A major"));
    // The stream's system has a text of its own; the programme type stays.
    EXPECT_EQ(held->serviceTypeText(), QStringLiteral("DAB Classic"));
    EXPECT_EQ(held->programTypeText(), QStringLiteral("Pop Music"));

    // Closed, the decoder takes nothing; the same sub-channel opens it again.
    held->closeDecoder();
    EXPECT_EQ(held->frameSize(), 0u);
    EXPECT_TRUE(held->initDecoder(16, false, false, -1));
    EXPECT_EQ(held->frameSize(), 384u);
}

// A piece longer than the frame buffer is refused with a warning, whole
// frames or not; the service goes on with the next piece.
TEST_F(ServiceAudioDABTest, PieceLongerThanTheFrameBufferIsRefused)
{
    Held held(1, false);
    held->play();
    const Bytes piece(32784, 0); // 1366 frames of 24 bytes
    EXPECT_FALSE(held->handlePacket(int(piece.size()), piece.data()));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("ServiceAudio::handlePacket() -> warning: buffer too small to handle incoming data (32784 > 32768)!")));
    EXPECT_TRUE(held->handlePacket(24, piece.data()));
}

// With the raw output on, the pieces reach the per-user "audio/" folder as
// they came, once the codec is known, in one file named by the service, the
// format and the sub-channel.
TEST_F(ServiceAudioDABTest, RawOutputCopiesTheIncomingBytes)
{
    struct Case
    {
        const char *ensemble;
        int subchannel;
        bool dabPlus;
        const char *nameEnd;
    };
    const Case cases[] = {
        {DemoEnsemble, 1, false, "-2_48000_16.%1.mp2"},
        {SecondDemoEnsemble, 6, true, "-2_48000_16.%1.dab"},
    };
    settings->setHasRawAudioOutput(true);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.nameEnd);
        const auto subchannels = readEtiSubchannels(c.ensemble);
        if (!subchannels.count(c.subchannel))
            GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
        const EtiSubchannel &sub = subchannels.at(c.subchannel);
        QDir(home.dataFolder() + QStringLiteral("audio")).removeRecursively();
        Held held(int(sub.size), c.dabPlus);
        held->play();
        const size_t frames = 125;
        held.feed(sub.bytes, 0, frames);
        ASSERT_TRUE(held->isSynced());

        const QString expected = QStringLiteral("audio-%1-%2").arg(held->instanceName()).arg(held->instanceNumber())
            + QString::fromLatin1(c.nameEnd).arg(sub.size);
        const QDir folder(home.dataFolder() + QStringLiteral("audio"));
        ASSERT_EQ(folder.entryList(QDir::Files), QStringList {expected});
        QFile file(folder.filePath(expected));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray copy = file.readAll();
        const size_t fed = frames * held->frameSize();
        // Only the first superframe or two go by before the codec is known.
        ASSERT_GE(copy.size(), qsizetype(fed - 10 * held->frameSize()));
        ASSERT_LE(copy.size(), qsizetype(fed));
        EXPECT_EQ(copy, QByteArray(reinterpret_cast<const char *>(sub.bytes.data()) + fed - copy.size(), copy.size()));
    }
}

// A raw output that cannot be opened stops the copy with one error line; the
// service plays on, and the flag off writes nothing.
TEST_F(ServiceAudioDABTest, RawOutputThatCannotBeOpenedStopsTheCopyOnly)
{
    const auto subchannels = readEtiSubchannels(DemoEnsemble);
    if (!subchannels.count(1))
        GTEST_SKIP() << "no demo ensemble (the generator needs libtwolame)";
    const Bytes &bytes = subchannels.at(1).bytes;
    const QString audioFolder = home.dataFolder() + QStringLiteral("audio");

    {
        Held held(16, false);
        held->play();
        held.feed(bytes, 0, 50);
        EXPECT_TRUE(held->isSynced());
        EXPECT_FALSE(QFileInfo::exists(audioFolder));
    }

    // A file where the folder should be.
    QFile blocker(audioFolder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings->setHasRawAudioOutput(true);
    Held held(16, false);
    held->play();
    held.feed(bytes, 0, 125);
    EXPECT_TRUE(held->isSynced());
    EXPECT_GE(held->bufferedMs(), 2900u);
    EXPECT_EQ(logText().count(
                  QStringLiteral("ServiceAudio::writeRawOutput() -> fatal error: could not open file for raw output!")),
              1);
    EXPECT_TRUE(QFileInfo(audioFolder).isFile());
}

// A broadcast label with separators stays one name inside the folder.
TEST(RawInputCopy, NameStaysInTheAudioFolder)
{
    const QString name = ZOZ::RawInputCopy::fileName(QStringLiteral("0e1-0000d210-../../x/y-0"), 3, 2, 48000, 16,
                                                     QStringLiteral(".raw"));
    const QString folder = ZOZ::dataFolder() + QStringLiteral("audio/");
    ASSERT_TRUE(name.startsWith(folder)) << name.toStdString();
    EXPECT_FALSE(name.mid(folder.size()).contains(QLatin1Char('/'))) << name.toStdString();
}

// A new name while the copy is open: the base renames the file (and replaces
// an old file of the new name), the DAB service keeps writing the open one.
TEST(RawInputCopy, NewNameWhileOpen)
{
    using ZOZ::RawInputCopy;
    struct Case
    {
        RawInputCopy::NameChange nameChange;
        const char *first;  // expected content, "" for no file
        const char *second;
    };
    const Case cases[] = {
        {RawInputCopy::NameChange::RenameOpenFile, "", "abcd"},
        {RawInputCopy::NameChange::KeepOpenFile, "abcd", "old"},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("a/first.raw"));
        const QString second = dir.filePath(QStringLiteral("a/second.raw"));
        QDir().mkpath(dir.filePath(QStringLiteral("a")));
        QFile old(second);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        {
            RawInputCopy copy(c.nameChange);
            EXPECT_EQ(copy.append(first, "ab", 2), RawInputCopy::Result::Written);
            EXPECT_EQ(copy.append(second, "cd", 2), RawInputCopy::Result::Written);
        }
        const auto content = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        EXPECT_EQ(content(first), QByteArray(c.first)) << int(c.nameChange);
        EXPECT_EQ(content(second), QByteArray(c.second)) << int(c.nameChange);
    }
}

} // namespace
