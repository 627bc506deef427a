#include "zoz_eti.h"

#include "DabCrc16.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t length, uint8_t seed)
{
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

struct SampleFrame {
    Bytes fic = pattern(96, 1);
    Bytes first = pattern(384, 2);  // 128 kbit/s
    Bytes second = pattern(24, 3);  // 8 kbit/s
    ZozEtiFrameInput input{};

    explicit SampleFrame(uint8_t fct = 17)
    {
        input.err = ZOZ_ETI_ERR_NONE;
        input.fct = fct;
        input.mode = 1;
        input.fic = fic.data();
        input.mnsc = 0xBEEF;
        input.tist = 0x12345678;
        input.nst = 2;
        input.streams[0] = {5, 0, 0x22, first.data(), uint16_t(first.size())};
        input.streams[1] = {13, 1000, 0x03, second.data(), uint16_t(second.size())};
    }

    Bytes write() const
    {
        Bytes out(ZOZ_ETI_FRAME_SIZE);
        EXPECT_EQ(ZozEti_WriteFrame(&input, out.data()), ZOZ_ETI_OK);
        return out;
    }
};

std::string testdata(const char *name)
{
    return std::string(ZOZ_TESTDATA_DIR) + "/" + name;
}

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(EtiFrame, WriteThenParseGivesEveryField)
{
    SampleFrame sample;
    const Bytes frame = sample.write();
    ZozEtiFrame parsed;
    ASSERT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_OK);
    EXPECT_EQ(parsed.fsync, ZOZ_ETI_FSYNC_ODD);
    EXPECT_EQ(parsed.err, ZOZ_ETI_ERR_NONE);
    EXPECT_EQ(parsed.fct, 17);
    EXPECT_EQ(parsed.framePhase, 1);
    EXPECT_EQ(parsed.mode, 1);
    EXPECT_EQ(parsed.nst, 2);
    EXPECT_EQ(parsed.mnsc, 0xBEEF);
    EXPECT_EQ(parsed.tist, 0x12345678u);
    EXPECT_EQ(parsed.frameLength, 2 + 1 + (96 + 384 + 24) / 4);
    EXPECT_TRUE(parsed.mstCrcValid);
    ASSERT_EQ(parsed.ficLength, 96);
    EXPECT_EQ(Bytes(parsed.fic, parsed.fic + 96), sample.fic);
    EXPECT_EQ(parsed.streams[0].subChId, 5);
    EXPECT_EQ(parsed.streams[0].tpl, 0x22);
    EXPECT_EQ(Bytes(parsed.streams[0].data, parsed.streams[0].data + parsed.streams[0].length), sample.first);
    EXPECT_EQ(parsed.streams[1].subChId, 13);
    EXPECT_EQ(parsed.streams[1].startAddress, 1000);
    EXPECT_EQ(Bytes(parsed.streams[1].data, parsed.streams[1].data + parsed.streams[1].length), sample.second);
    EXPECT_EQ(frame.back(), 0x55);
}

TEST(EtiFrame, ModesAndFicPresence)
{
    const struct {
        const char *name;
        uint8_t mode;
        bool withFic;
        int ficLength;
    } rows[] = {
        {"mode I", 1, true, 96}, {"mode II", 2, true, 96}, {"mode III", 3, true, 128},
        {"mode IV", 4, true, 96}, {"no FIC", 1, false, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SampleFrame sample(0);
        Bytes fic = pattern(128, 9);
        sample.input.mode = row.mode;
        sample.input.fic = row.withFic ? fic.data() : nullptr;
        const Bytes frame = sample.write();
        ZozEtiFrame parsed;
        ASSERT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_OK);
        EXPECT_EQ(parsed.fsync, ZOZ_ETI_FSYNC_EVEN);
        EXPECT_EQ(parsed.mode, row.mode);
        EXPECT_EQ(parsed.ficLength, row.ficLength);
        EXPECT_EQ(parsed.ficPresent, row.withFic ? 1 : 0);
        EXPECT_EQ(Bytes(parsed.streams[1].data, parsed.streams[1].data + 24), sample.second);
    }
}

TEST(EtiFrame, ParseRefusesDamagedFrames)
{
    SampleFrame sample;
    const Bytes good = sample.write();
    const size_t eoh = 8 + 4 * 2;
    const size_t mstEnd = eoh + 4 + 96 + 384 + 24;
    const struct {
        const char *name;
        size_t offset;
        uint8_t flip;
        size_t length;
        int expected;
    } rows[] = {
        {"no sync word", 1, 0x01, ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_ERR_SYNC},
        {"header CRC", eoh + 2, 0x80, ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_ERR_HEADER_CRC},
        {"stream table bit", 9, 0x04, ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_ERR_HEADER_CRC},
        {"payload bit", eoh + 4 + 200, 0x10, ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_MST_CRC},
        {"MST CRC", mstEnd, 0x01, ZOZ_ETI_FRAME_SIZE, ZOZ_ETI_MST_CRC},
        {"cut in header", 0, 0, eoh + 2, ZOZ_ETI_ERR_LENGTH},
        {"cut before TIST", 0, 0, mstEnd + 6, ZOZ_ETI_ERR_LENGTH},
        {"ends after TIST", 0, 0, mstEnd + 8, ZOZ_ETI_OK},
        {"too short for FC", 0, 0, 7, ZOZ_ETI_ERR_ARGUMENT},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Bytes frame = good;
        frame[row.offset] ^= row.flip;
        ZozEtiFrame parsed;
        EXPECT_EQ(ZozEti_ParseFrame(frame.data(), row.length, &parsed), row.expected);
    }
}

TEST(EtiFrame, FrameLengthMustMatchTheStreams)
{
    SampleFrame sample;
    Bytes frame = sample.write();
    frame[7] += 1;  // FL one word too long, header CRC recomputed
    const uint16_t crc = DAB_Bb_Ruz_Crc16(frame.data() + 4, 8 + 4 * 2 + 2 - 4);
    frame[8 + 8 + 2] = uint8_t(crc >> 8);
    frame[8 + 8 + 3] = uint8_t(crc);
    ZozEtiFrame parsed;
    EXPECT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_ERR_LENGTH);
}

TEST(EtiFrame, WriterRefusesWhatCannotBeAFrame)
{
    Bytes big = pattern(8000, 1);
    const struct {
        const char *name;
        void (*change)(ZozEtiFrameInput &, const Bytes &);
        int expected;
    } rows[] = {
        {"mode 0", [](ZozEtiFrameInput &in, const Bytes &) { in.mode = 0; }, ZOZ_ETI_ERR_ARGUMENT},
        {"frame count 250", [](ZozEtiFrameInput &in, const Bytes &) { in.fct = 250; }, ZOZ_ETI_ERR_ARGUMENT},
        {"sub-channel 64", [](ZozEtiFrameInput &in, const Bytes &) { in.streams[0].subChId = 64; }, ZOZ_ETI_ERR_ARGUMENT},
        {"65 streams", [](ZozEtiFrameInput &in, const Bytes &) { in.nst = 65; }, ZOZ_ETI_ERR_ARGUMENT},
        {"length not in 8s", [](ZozEtiFrameInput &in, const Bytes &) { in.streams[0].length = 20; }, ZOZ_ETI_ERR_LENGTH},
        {"too much for a frame",
         [](ZozEtiFrameInput &in, const Bytes &b) {
             in.streams[0].data = b.data();
             in.streams[0].length = 6104;
         },
         ZOZ_ETI_ERR_LENGTH},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SampleFrame sample;
        row.change(sample.input, big);
        Bytes out(ZOZ_ETI_FRAME_SIZE, 0xAA);
        EXPECT_EQ(ZozEti_WriteFrame(&sample.input, out.data()), row.expected);
        EXPECT_EQ(out[0], 0xAA);
    }
}

Bytes sampleStream(int frames)
{
    Bytes all;
    for (int i = 0; i < frames; ++i) {
        SampleFrame sample{uint8_t(i)};
        const Bytes frame = sample.write();
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

TEST(EtiReader, FindsSyncAfterGarbageAndAcrossPieces)
{
    Bytes input = pattern(1000, 42);
    // A false sync word inside the garbage must not lock the reader.
    input[100] = 0x07;
    input[101] = 0x3A;
    input[102] = 0xB6;
    const Bytes frames = sampleStream(3);
    input.insert(input.end(), frames.begin(), frames.end());

    for (size_t piece : {size_t(1), size_t(333), size_t(5000), input.size()}) {
        SCOPED_TRACE(piece);
        ZozEtiReader *reader = ZozEtiReader_Create();
        ASSERT_NE(reader, nullptr);
        std::vector<int> counts;
        Bytes frame(ZOZ_ETI_FRAME_SIZE);
        size_t position = 0;
        while (position < input.size()) {
            const size_t length = std::min(piece, input.size() - position);
            const int taken = ZozEtiReader_Feed(reader, input.data() + position, length);
            ASSERT_GE(taken, 0);
            position += size_t(taken);
            while (ZozEtiReader_Next(reader, frame.data()) == 1) {
                ZozEtiFrame parsed;
                ASSERT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_OK);
                counts.push_back(parsed.fct);
            }
        }
        EXPECT_EQ(counts, (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(ZozEtiReader_SkippedBytes(reader), 1000u);
        ZozEtiReader_Destroy(reader);
    }
}

TEST(EtiReader, KeepsBadHeaderFramesInSyncAndResyncsAfterASlip)
{
    Bytes input = sampleStream(5);
    input[ZOZ_ETI_FRAME_SIZE + 10] ^= 0xFF;           // frame 1: header CRC wrong
    input.erase(input.begin() + 2 * ZOZ_ETI_FRAME_SIZE + 100,  // frame 2: 10 bytes lost
                input.begin() + 2 * ZOZ_ETI_FRAME_SIZE + 110);
    ZozEtiReader *reader = ZozEtiReader_Create();
    std::vector<int> results;
    Bytes frame(ZOZ_ETI_FRAME_SIZE);
    size_t position = 0;
    while (position < input.size()) {
        position += size_t(ZozEtiReader_Feed(reader, input.data() + position, input.size() - position));
        while (ZozEtiReader_Next(reader, frame.data()) == 1) {
            ZozEtiFrame parsed;
            const int result = ZozEti_ParseFrame(frame.data(), frame.size(), &parsed);
            results.push_back(result == ZOZ_ETI_OK ? parsed.fct : result);
        }
    }
    // Frame 2 is read with the first bytes of frame 3 (its payload fails the
    // MST CRC); frame 3 then lacks its start, and sync returns with frame 4.
    EXPECT_EQ(results, (std::vector<int>{0, ZOZ_ETI_ERR_HEADER_CRC, ZOZ_ETI_MST_CRC, 4}));
    ZozEtiReader_Destroy(reader);
}

TEST(EtiReader, ReadsFramesFromAPipe)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const Bytes frames = sampleStream(5);
    // A pipe holds 64 KiB: five frames fit without a writer thread.
    ASSERT_EQ(write(fds[1], frames.data(), frames.size()), ssize_t(frames.size()));
    close(fds[1]);
    ZozEtiReader *reader = ZozEtiReader_Create();
    Bytes frame(ZOZ_ETI_FRAME_SIZE);
    int count = 0;
    while (ZozEtiReader_ReadFd(reader, fds[0], frame.data()) == 1)
        ++count;
    EXPECT_EQ(count, 5);
    EXPECT_EQ(ZozEtiReader_ReadFd(reader, -1, frame.data()), ZOZ_ETI_ERR_ARGUMENT);
    close(fds[0]);
    ZozEtiReader_Destroy(reader);
}

struct Recording {
    const char *name;
    int frames;
    bool mstCrcValid;
};

TEST(EtiReader, ReadsTheRealRecordings)
{
    const Recording recordings[] = {
        {"slovenia-r1.eti", 58, true},
        {"netherlands-dabplus.eti", 65, false},
        {"netherlands-dabplus-fixed.eti", 65, true},
    };
    if (!std::filesystem::exists(testdata("slovenia-r1.eti")))
        GTEST_SKIP() << "recordings not found in " << ZOZ_TESTDATA_DIR;
    for (const Recording &recording : recordings) {
        SCOPED_TRACE(recording.name);
        const int fd = open(testdata(recording.name).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ZozEtiReader *reader = ZozEtiReader_Create();
        Bytes frame(ZOZ_ETI_FRAME_SIZE);
        int count = 0;
        while (ZozEtiReader_ReadFd(reader, fd, frame.data()) == 1) {
            ZozEtiFrame parsed;
            const int result = ZozEti_ParseFrame(frame.data(), frame.size(), &parsed);
            ASSERT_EQ(result, recording.mstCrcValid ? ZOZ_ETI_OK : ZOZ_ETI_MST_CRC) << "frame " << count;
            EXPECT_EQ(parsed.mode, 1);
            EXPECT_EQ(parsed.ficLength, 96);
            ++count;
        }
        EXPECT_EQ(count, recording.frames);
        EXPECT_EQ(ZozEtiReader_SkippedBytes(reader), 0u);
        ZozEtiReader_Destroy(reader);
        close(fd);
    }
}

TEST(EtiReader, RewritingARecordingReproducesItByteForByte)
{
    const Bytes file = readFile(testdata("slovenia-r1.eti"));
    if (file.empty())
        GTEST_SKIP() << "slovenia-r1.eti not found in " << ZOZ_TESTDATA_DIR;
    for (size_t offset = 0; offset + ZOZ_ETI_FRAME_SIZE <= file.size(); offset += ZOZ_ETI_FRAME_SIZE) {
        ZozEtiFrame parsed;
        ASSERT_EQ(ZozEti_ParseFrame(file.data() + offset, ZOZ_ETI_FRAME_SIZE, &parsed), ZOZ_ETI_OK);
        ZozEtiFrameInput input{};
        input.err = parsed.err;
        input.fct = parsed.fct;
        input.mode = parsed.mode;
        input.fic = parsed.fic;
        input.mnsc = parsed.mnsc;
        input.tist = parsed.tist;
        input.nst = parsed.nst;
        for (int i = 0; i < parsed.nst; ++i) {
            const ZozEtiStream &s = parsed.streams[i];
            input.streams[i] = {s.subChId, s.startAddress, s.tpl, s.data, s.length};
        }
        Bytes rewritten(ZOZ_ETI_FRAME_SIZE);
        ASSERT_EQ(ZozEti_WriteFrame(&input, rewritten.data()), ZOZ_ETI_OK);
        // Up to the TIST word; the padding after it is the recorder's.
        const size_t used = 8 + 4 * parsed.nst + 4 + size_t(parsed.frameLength - parsed.nst - 1) * 4 + 8;
        ASSERT_EQ(Bytes(rewritten.begin(), rewritten.begin() + used),
                  Bytes(file.begin() + offset, file.begin() + offset + used))
            << "frame at " << offset;
    }
}

} // namespace
