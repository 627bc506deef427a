// What the program relies on from the receiver library, checked through its
// C interface with recordings written by the test.
#include "RTKDAB.h"
#include "etifixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using EtiFixture::Bytes;

constexpr uint32_t Channel5C = 178352;
constexpr uint32_t Channel5D = 180064;

struct Piece {
    enum Kind { Fic, Msc, Packet } kind;
    int subChId;
    Bytes bytes;
};

// Everything the callbacks saw; the callbacks run on the library's thread.
struct Recorder {
    std::mutex mutex;
    std::vector<Piece> pieces;
    size_t limit = 100000;
    std::atomic<int> callbacks{0};
    std::atomic<bool> stopped{false};
    std::atomic<int> afterStop{0};
    std::atomic<bool> stopFromCallback{false};

    void add(Piece::Kind kind, int subChId, const uint8_t *data, int length)
    {
        ++callbacks;
        if (stopped)
            ++afterStop;
        if (stopFromCallback.exchange(false))
            RTDAB_Stop();
        std::lock_guard<std::mutex> guard(mutex);
        if (pieces.size() < limit)
            pieces.push_back({kind, subChId, Bytes(data, data + length)});
    }

    std::vector<Piece> take()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return pieces;
    }

    size_t count()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return pieces.size();
    }
};

Recorder *recorder = nullptr;

void onFic(uint8_t *data, int length)
{
    recorder->add(Piece::Fic, -1, data, length);
}

void onMsc(uint8_t *data, int length, uint8_t subChId)
{
    recorder->add(Piece::Msc, subChId, data, length);
}

void onPacket(uint8_t *data, int length, uint32_t, uint8_t subChId)
{
    recorder->add(Piece::Packet, subChId, data, length);
}

class RtkdabContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/rtkdab-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        EtiFixture::writeRecording(m_folder / "5C.eti", 10, {4});
        recorder = &m_recorder;
        setenv("RTKDAB_SOURCE", m_folder.c_str(), 1);
        // Twenty times real time: quick, yet paced, so the recorder keeps up.
        setenv("RTKDAB_SPEED", "20", 1);
        RTDAB_SetFICCallBack(onFic);
        RTDAB_SetMSCCallBack(onMsc);
        RTDAB_SetPacketCallBack(onPacket);
    }

    void TearDown() override
    {
        RTDAB_CloseDevice();
        RTDAB_SetFICCallBack(nullptr);
        RTDAB_SetMSCCallBack(nullptr);
        RTDAB_SetPacketCallBack(nullptr);
        recorder = nullptr;
        std::filesystem::remove_all(m_folder);
    }

    void openAndTune(uint32_t kHz)
    {
        ASSERT_EQ(RTDAB_OpenDevice(), RTDAB_RESULT_SUCCESS);
        ASSERT_EQ(RTDAB_SetFreqAndBW(kHz, 2), RTDAB_RESULT_SUCCESS);
        ASSERT_EQ(RTDAB_Start(), RTDAB_RESULT_SUCCESS);
    }

    bool waitForPieces(size_t count, std::chrono::milliseconds limit = 5000ms)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (size_t(m_recorder.callbacks.load()) < count) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    std::filesystem::path m_folder;
    Recorder m_recorder;
};

TEST_F(RtkdabContract, WithoutASourceThereIsNoDevice)
{
    const std::string file = (m_folder / "5C.eti").string();
    const struct {
        const char *name;
        std::string value;
        bool set;
    } rows[] = {
        {"unset", "", false},
        {"empty", "", true},
        {"missing folder", "/nonexistent/recordings", true},
        {"missing file", "/nonexistent/rec.eti@5C", true},
        {"file without channel", file, true},
        {"file with unknown channel", file + "@5Z", true},
        {"bare pipe sign", "|", true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.set)
            setenv("RTKDAB_SOURCE", row.value.c_str(), 1);
        else
            unsetenv("RTKDAB_SOURCE");
        EXPECT_EQ(RTDAB_OpenDevice(), RTDAB_RESULT_NO_DEVICE);
        EXPECT_EQ(RTDAB_Start(), RTDAB_RESULT_FAILED);
        int value = 0;
        EXPECT_EQ(RTDAB_GetSignalLock(&value), RTDAB_RESULT_FAILED);
    }
}

TEST_F(RtkdabContract, DeliversEachGoodFramesFicAndSkipsBadHeaders)
{
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(30));
    int lock = 0, present = 0, quality = 0, strength = 0;
    EXPECT_EQ(RTDAB_GetSignalLock(&lock), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_GetSignalPresent(&present), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_GetSignalQuality(&quality), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_GetSignalStrength(&strength), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(RTDAB_Stop(), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(lock, 1);
    EXPECT_EQ(present, 1);
    // One frame in ten has a bad header.
    EXPECT_GE(strength, 85);
    EXPECT_LE(strength, 95);
    EXPECT_LE(quality, strength);

    const std::vector<Piece> pieces = m_recorder.take();
    // Frames 0..9 looping, without frame 4.
    const int order[] = {0, 1, 2, 3, 5, 6, 7, 8, 9};
    for (size_t i = 0; i < 27; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(pieces[i].kind, Piece::Fic);
        ASSERT_EQ(pieces[i].bytes.size(), 96u);
        EXPECT_EQ(pieces[i].bytes[0], EtiFixture::ficByte(order[i % 9], 0));
        EXPECT_EQ(pieces[i].bytes[95], EtiFixture::ficByte(order[i % 9], 95));
    }
}

TEST_F(RtkdabContract, AFrequencyWithoutARecordingGivesNoLockAndNoFic)
{
    openAndTune(Channel5D);
    std::this_thread::sleep_for(200ms);
    int lock = -1, present = -1;
    EXPECT_EQ(RTDAB_GetSignalLock(&lock), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_GetSignalPresent(&present), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(lock, 0);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(m_recorder.callbacks.load(), 0);
    // Nothing to add either: there is no stream table.
    EXPECT_EQ(RTDAB_AddServiceCom(0, 3, 0, 1, 0, 2, 96, 0, 0), RTDAB_RESULT_NO_SUCH_COMPONENT);

    // Tuning to a recorded channel brings the data.
    ASSERT_EQ(RTDAB_SetFreqAndBW(Channel5C, 2), RTDAB_RESULT_SUCCESS);
    EXPECT_TRUE(waitForPieces(5));
    // And tuning away stops it.
    ASSERT_EQ(RTDAB_SetFreqAndBW(Channel5D, 2), RTDAB_RESULT_SUCCESS);
    std::this_thread::sleep_for(50ms);
    const int before = m_recorder.callbacks.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(m_recorder.callbacks.load(), before);
}

TEST_F(RtkdabContract, AddedSubChannelsArriveOncePerFrame)
{
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(1));
    const struct {
        const char *name;
        uint8_t packet;
        uint8_t subChId;
        uint16_t cuStart;
        uint16_t address;
        int32_t expected;
    } rows[] = {
        {"stream", 0, 3, 0, 0, RTDAB_RESULT_SUCCESS},
        {"stream again", 0, 3, 0, 0, RTDAB_RESULT_ALREADY_SELECTED},
        {"absent sub-channel", 0, 9, 0, 0, RTDAB_RESULT_NO_SUCH_COMPONENT},
        {"wrong start address", 0, 7, 95, 0, RTDAB_RESULT_NO_SUCH_COMPONENT},
        {"packet address 1", 1, 7, 96, 1, RTDAB_RESULT_SUCCESS},
        {"packet address 2", 1, 7, 96, 2, RTDAB_RESULT_SUCCESS},
        {"packet address 1 again", 1, 7, 96, 1, RTDAB_RESULT_ALREADY_SELECTED},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RTDAB_AddServiceCom(row.packet, row.subChId, row.cuStart, 1, 0, 2, 96, row.address, 0),
                  row.expected);
    }
    const size_t start = m_recorder.count();
    ASSERT_TRUE(waitForPieces(start + 90));
    ASSERT_EQ(RTDAB_Stop(), RTDAB_RESULT_SUCCESS);

    const std::vector<Piece> pieces = m_recorder.take();
    // Frames already on their way when the last sub-channel was added lack it:
    // start at the first frame that carries all three pieces.
    size_t i = start;
    while (i + 2 < pieces.size() && !(pieces[i].kind == Piece::Fic && pieces[i + 2].kind == Piece::Packet))
        ++i;
    int frames = 0;
    for (; i + 2 < pieces.size() && frames < 25; i += 3, ++frames) {
        SCOPED_TRACE(i);
        ASSERT_EQ(pieces[i].kind, Piece::Fic);
        const int frame = [&] {
            for (int n = 0; n < 10; ++n)
                if (pieces[i].bytes[0] == EtiFixture::ficByte(n, 0))
                    return n;
            return -1;
        }();
        ASSERT_GE(frame, 0);
        ASSERT_EQ(pieces[i + 1].kind, Piece::Msc);
        EXPECT_EQ(pieces[i + 1].subChId, 3);
        ASSERT_EQ(pieces[i + 1].bytes.size(), 128u * 3);
        EXPECT_EQ(pieces[i + 1].bytes[383], EtiFixture::streamByte(frame, 0, 383));
        ASSERT_EQ(pieces[i + 2].kind, Piece::Packet);
        EXPECT_EQ(pieces[i + 2].subChId, 7);
        ASSERT_EQ(pieces[i + 2].bytes.size(), 16u * 3);
        EXPECT_EQ(pieces[i + 2].bytes[47], EtiFixture::streamByte(frame, 1, 47));
    }
    EXPECT_EQ(frames, 25);

    EXPECT_EQ(RTDAB_DelServiceCom(1, 7, 1), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_DelServiceCom(1, 7, 1), RTDAB_RESULT_NO_SUCH_COMPONENT);
    EXPECT_EQ(RTDAB_DelServiceCom(0, 7, 0), RTDAB_RESULT_NO_SUCH_COMPONENT);
    EXPECT_EQ(RTDAB_DelServiceCom(1, 7, 2), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_DelServiceCom(0, 3, 0), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_DelServiceCom(0, 3, 0), RTDAB_RESULT_NO_SUCH_COMPONENT);
}

TEST_F(RtkdabContract, RetuningRemovesTheAddedSubChannels)
{
    openAndTune(Channel5C);
    ASSERT_EQ(RTDAB_AddServiceCom(0, 3, 0, 1, 0, 2, 96, 0, 0), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(RTDAB_SetFreqAndBW(Channel5C, 2), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(RTDAB_AddServiceCom(0, 3, 0, 1, 0, 2, 96, 0, 0), RTDAB_RESULT_SUCCESS);
}

TEST_F(RtkdabContract, NoCallbackAfterStopReturns)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        m_recorder.stopped = false;
        if (round == 0)
            openAndTune(Channel5C);
        else
            ASSERT_EQ(RTDAB_Start(), RTDAB_RESULT_SUCCESS);
        RTDAB_AddServiceCom(0, 3, 0, 1, 0, 2, 96, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * round));
        ASSERT_EQ(RTDAB_Stop(), RTDAB_RESULT_SUCCESS);
        m_recorder.stopped = true;
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(m_recorder.afterStop.load(), 0);
    }
    // Closing a running device stops it the same way.
    m_recorder.stopped = false;
    ASSERT_EQ(RTDAB_Start(), RTDAB_RESULT_SUCCESS);
    ASSERT_TRUE(waitForPieces(size_t(m_recorder.callbacks.load()) + 3));
    ASSERT_EQ(RTDAB_CloseDevice(), RTDAB_RESULT_SUCCESS);
    m_recorder.stopped = true;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(m_recorder.afterStop.load(), 0);
}

TEST_F(RtkdabContract, StopFromInsideACallbackEndsDelivery)
{
    openAndTune(Channel5C);
    m_recorder.stopFromCallback = true;
    std::this_thread::sleep_for(100ms);
    const int seen = m_recorder.callbacks.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(m_recorder.callbacks.load(), seen);
    // The device starts again afterwards.
    ASSERT_EQ(RTDAB_Start(), RTDAB_RESULT_SUCCESS);
    EXPECT_TRUE(waitForPieces(size_t(seen) + 5));
}

TEST_F(RtkdabContract, CommandSourceGetsTheChannelAndFrequency)
{
    // The command finds the recording by label; %f must be the kHz.
    const std::string command = "|test %f = 178352 && exec cat " + m_folder.string() + "/%c.eti";
    setenv("RTKDAB_SOURCE", command.c_str(), 1);
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(9));
    // A pipe does not loop: the nine good frames, then silence.
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(m_recorder.count(), 9u);
    int lock = -1;
    RTDAB_GetSignalLock(&lock);
    EXPECT_EQ(lock, 0);
}

TEST_F(RtkdabContract, RetuningRestartsACommandThatWentQuiet)
{
    const std::string command = "|cat " + m_folder.string() + "/%c.eti; exec sleep 30";
    setenv("RTKDAB_SOURCE", command.c_str(), 1);
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(9));
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(m_recorder.callbacks.load(), 9);
    ASSERT_EQ(RTDAB_SetFreqAndBW(Channel5C, 2), RTDAB_RESULT_SUCCESS);
    EXPECT_TRUE(waitForPieces(18, 2000ms));
}

TEST_F(RtkdabContract, StopEndsACommandThatIgnoresTheRequest)
{
    const std::string command = "|trap '' TERM; cat " + m_folder.string() + "/%c.eti; sleep 30";
    setenv("RTKDAB_SOURCE", command.c_str(), 1);
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(9));
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(RTDAB_Stop(), RTDAB_RESULT_SUCCESS);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
}

TEST_F(RtkdabContract, ARealRecordingIsServedByteIdentical)
{
    const std::string path = std::string(ZOZ_TESTDATA_DIR) + "/slovenia-r1.eti";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    const Bytes file((std::istreambuf_iterator<char>(in)), {});
    const size_t frames = file.size() / ZOZ_ETI_FRAME_SIZE;
    std::vector<ZozEtiFrame> parsed(frames);
    for (size_t n = 0; n < frames; ++n)
        ASSERT_EQ(ZozEti_ParseFrame(file.data() + n * ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_FRAME_SIZE, &parsed[n]), ZOZ_ETI_OK);

    setenv("RTKDAB_SOURCE", (path + "@5C").c_str(), 1);
    openAndTune(Channel5C);
    ASSERT_TRUE(waitForPieces(1));
    // Sub-channels 6 and 13 carry packet mode.
    const ZozEtiFrame &first = parsed[0];
    for (int s = 0; s < first.nst; ++s) {
        const ZozEtiStream &stream = first.streams[s];
        const uint8_t packet = (stream.subChId == 6 || stream.subChId == 13) ? 1 : 0;
        ASSERT_EQ(RTDAB_AddServiceCom(packet, stream.subChId, stream.startAddress, 1, 0, 2, 0, packet, 0),
                  RTDAB_RESULT_SUCCESS);
    }
    const size_t perFrame = 1 + first.nst;
    const size_t marker = m_recorder.count();
    ASSERT_TRUE(waitForPieces(marker + 3 * frames * perFrame, 20000ms));
    ASSERT_EQ(RTDAB_Stop(), RTDAB_RESULT_SUCCESS);

    const std::vector<Piece> pieces = m_recorder.take();
    // The first frame 0 that came whole, with every sub-channel added.
    auto whole = [&](size_t at) {
        if (at + perFrame >= pieces.size() || pieces[at].kind != Piece::Fic || pieces[at + perFrame].kind != Piece::Fic)
            return false;
        for (size_t k = at + 1; k < at + perFrame; ++k)
            if (pieces[k].kind == Piece::Fic)
                return false;
        return pieces[at].bytes == Bytes(first.fic, first.fic + 96);
    };
    size_t i = marker;
    while (i < pieces.size() && !whole(i))
        ++i;
    ASSERT_LT(i + frames * perFrame, pieces.size());
    for (size_t n = 0; n < frames; ++n) {
        SCOPED_TRACE(n);
        ASSERT_EQ(pieces[i].kind, Piece::Fic);
        ASSERT_EQ(pieces[i].bytes, Bytes(parsed[n].fic, parsed[n].fic + parsed[n].ficLength));
        ++i;
        for (int s = 0; s < parsed[n].nst; ++s, ++i) {
            const ZozEtiStream &stream = parsed[n].streams[s];
            const bool packet = stream.subChId == 6 || stream.subChId == 13;
            EXPECT_EQ(pieces[i].kind, packet ? Piece::Packet : Piece::Msc);
            EXPECT_EQ(pieces[i].subChId, stream.subChId);
            ASSERT_EQ(pieces[i].bytes, Bytes(stream.data, stream.data + stream.length));
        }
    }
}

TEST(RtkdabInterface, AnswersWithoutAnOpenDevice)
{
    uint32_t low = 0, high = 0, kHz = 1, bandwidth = 1;
    EXPECT_EQ(RTDAB_GetTunerRange(&low, &high), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(low, 168160u);    // Chinese 6A
    EXPECT_EQ(high, 1491184u);  // Canadian L23
    EXPECT_EQ(RTDAB_GetTunerRange(nullptr, &high), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_GetFreqAndBW(&kHz, &bandwidth), RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(kHz, 0u);
    EXPECT_EQ(RTDAB_SetFreqAndBW(Channel5C, 2), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_AddServiceCom(0, 3, 0, 1, 0, 2, 96, 0, 0), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_DelServiceCom(0, 3, 0), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_Stop(), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_CloseDevice(), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_DebugCMD(0, 0), RTDAB_RESULT_FAILED);
    EXPECT_EQ(RTDAB_SetStreamDataCallBack(nullptr), RTDAB_RESULT_SUCCESS);
}

} // namespace
