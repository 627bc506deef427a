// Packet mode, Dynamic Label and Layer II contents of the generator, taken
// apart again field by field.
#include "Contents.h"
#include "Layer2Dec.h"

#include "DabCrc16.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

using namespace ZOZ::EnsembleGen;

bool crcOk(const uint8_t *data, size_t length)
{
    return length >= 2 && DAB_Bb_Ruz_Crc16(data, length - 2) == uint16_t((data[length - 2] << 8) | data[length - 1]);
}

struct Packet {
    int length, continuity, address, usefulLength;
    bool first, last;
    Bytes data;
};

std::vector<Packet> splitPackets(const Bytes &stream)
{
    std::vector<Packet> packets;
    for (size_t at = 0; at + 24 <= stream.size();) {
        Packet p;
        p.length = ((stream[at] >> 6) + 1) * 24;
        EXPECT_TRUE(crcOk(stream.data() + at, size_t(p.length))) << "packet at " << at;
        p.continuity = (stream[at] >> 4) & 3;
        p.first = stream[at] & 0x08;
        p.last = stream[at] & 0x04;
        p.address = ((stream[at] & 3) << 8) | stream[at + 1];
        p.usefulLength = stream[at + 2] & 0x7F;
        p.data.assign(stream.begin() + long(at) + 3, stream.begin() + long(at) + 3 + p.usefulLength);
        packets.push_back(p);
        at += size_t(p.length);
    }
    return packets;
}

TEST(EnsembleContents, PacketModeCarriesDataGroupsWithCrcAndContinuity)
{
    DataGroup group;
    group.address = 5;
    group.type = 3;
    group.segmentNumber = 2;
    group.transportId = 0x1234;
    group.continuity = 9;
    for (int i = 0; i < 150; ++i)
        group.data.push_back(uint8_t(i));
    DataGroup small;
    small.address = 6;
    small.type = 4;
    small.data = {1, 2, 3};
    PacketContent content({group, small}, false);

    Bytes stream;
    for (int frame = 0; frame < 8; ++frame) {
        Bytes bytes(48);  // 16 kbit/s
        content.fill(frame, bytes.data(), bytes.size());
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    const std::vector<Packet> packets = splitPackets(stream);
    std::map<int, Bytes> groups;
    std::map<int, int> nextContinuity;
    int padding = 0;
    for (const Packet &p : packets) {
        if (p.address == 0) {
            ++padding;
            EXPECT_EQ(p.usefulLength, 0);
            continue;
        }
        if (nextContinuity.count(p.address)) {
            EXPECT_EQ(p.continuity, nextContinuity[p.address]);
        }
        nextContinuity[p.address] = (p.continuity + 1) % 4;
        if (p.first)
            groups[p.address].clear();
        groups[p.address].insert(groups[p.address].end(), p.data.begin(), p.data.end());
    }
    EXPECT_GT(padding, 0);
    ASSERT_EQ(groups.size(), 2u);
    const Bytes &dg = groups[5];
    EXPECT_EQ(dg, buildDataGroup(group));
    EXPECT_TRUE(crcOk(dg.data(), dg.size()));
    EXPECT_EQ(dg[0], 0x40 | 0x20 | 0x10 | 3);  // CRC, segment and user access fields, type 3
    EXPECT_EQ(dg[1] >> 4, 9);
    EXPECT_EQ(dg[2], 0x80);  // last segment, number 2
    EXPECT_EQ(dg[3], 2);
    EXPECT_EQ(dg[4] & 0x10, 0x10);
    EXPECT_EQ((dg[5] << 8) | dg[6], 0x1234);
    EXPECT_EQ(groups[6].size(), 2u + 3u + 2u);
}

// GF(2^8) product with the field polynomial 0x11D, bit by bit.
uint8_t gfMultiply(uint8_t a, uint8_t b)
{
    unsigned result = 0;
    unsigned x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1 << bit))
            result ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;
    }
    return uint8_t(result);
}

// The codeword (highest degree first) evaluated at alpha^j, alpha = 2.
uint8_t syndrome(const Bytes &codeword, int j)
{
    uint8_t point = 1;
    for (int i = 0; i < j; ++i)
        point = gfMultiply(point, 2);
    uint8_t value = 0;
    for (uint8_t byte : codeword)
        value = uint8_t(gfMultiply(value, point) ^ byte);
    return value;
}

TEST(EnsembleContents, ReedSolomonParityMakesCodewords)
{
    Bytes data(188);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 37 + 11);
    Bytes codeword = data;
    const Bytes parity = reedSolomonParity(data);
    ASSERT_EQ(parity.size(), 16u);
    codeword.insert(codeword.end(), parity.begin(), parity.end());
    for (int j = 0; j < 16; ++j)
        EXPECT_EQ(syndrome(codeword, j), 0) << j;
    codeword[40] ^= 0x01;
    EXPECT_NE(syndrome(codeword, 1), 0);
}

TEST(EnsembleContents, EnhancedPacketModeAddsFecPacketsAfterEachTable)
{
    DataGroup group;
    group.address = 7;
    for (int i = 0; i < 500; ++i)
        group.data.push_back(uint8_t(i * 3));
    PacketContent content({group}, true, PacketContent::Mode::Enhanced);
    Bytes stream;
    for (int frame = 0; frame < 14; ++frame) {
        Bytes bytes(192);  // 64 kbit/s
        content.fill(frame, bytes.data(), bytes.size());
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    ASSERT_GE(stream.size(), 2472u);
    const Bytes table(stream.begin(), stream.begin() + FecRows * FecColumns);
    for (const Packet &p : splitPackets(table))
        EXPECT_NE(p.address, 1022);
    Bytes parity;
    for (int counter = 0; counter < 9; ++counter) {
        const uint8_t *packet = stream.data() + FecRows * FecColumns + 24 * counter;
        EXPECT_EQ(((packet[0] & 3) << 8) | packet[1], 1022);
        EXPECT_EQ((packet[0] >> 2) & 15, counter);
        parity.insert(parity.end(), packet + 2, packet + 24);
    }
    for (int row = 0; row < FecRows; ++row) {
        SCOPED_TRACE(row);
        Bytes codeword;
        for (int column = 0; column < FecColumns; ++column)
            codeword.push_back(table[size_t(row + column * FecRows)]);
        for (int k = 0; k < 16; ++k)
            codeword.push_back(parity[size_t(row + k * FecRows)]);
        for (int j = 0; j < 16; ++j)
            EXPECT_EQ(syndrome(codeword, j), 0) << j;
    }
    // The next table starts with ordinary packets again.
    const uint8_t *next = stream.data() + 2472;
    EXPECT_EQ(((next[0] & 3) << 8) | next[1], 7);
}

TEST(EnsembleContents, DynamicLabelSegments)
{
    const std::string text = "Now playing: a generated tone, 32+ chars";
    const std::vector<Bytes> groups = dynamicLabelGroups(text, true);
    ASSERT_EQ(groups.size(), 3u);
    std::string joined;
    for (size_t i = 0; i < groups.size(); ++i) {
        SCOPED_TRACE(i);
        const Bytes &g = groups[i];
        EXPECT_TRUE(crcOk(g.data(), g.size()));
        EXPECT_EQ(g[0] & 0x80, 0x80);                // toggle
        EXPECT_EQ(bool(g[0] & 0x40), i == 0);        // first
        EXPECT_EQ(bool(g[0] & 0x20), i == 2);        // last
        EXPECT_EQ(g[0] & 0x0F, int(g.size()) - 5);   // characters - 1
        if (i == 0) {
            EXPECT_EQ(g[1] >> 4, 15);                // UTF-8
        } else {
            EXPECT_EQ((g[1] >> 4) & 7, int(i));      // segment number
        }
        joined.append(g.begin() + 2, g.end() - 2);
    }
    EXPECT_EQ(joined, text);
}

TEST(EnsembleContents, Mp2FramesCarryPadAtTheirEnd)
{
    int scfCrcBytes = 0;
    std::string error;
    const std::vector<Bytes> frames = encodeMp2(makeTone({440, 554.37, 659.25}, 0.5), 128, &scfCrcBytes, &error);
    if (frames.empty() && error.find("libtwolame") != std::string::npos)
        GTEST_SKIP() << error;
    ASSERT_FALSE(frames.empty()) << error;
    EXPECT_EQ(scfCrcBytes, 4);
    EXPECT_GE(frames.size(), 18u);
    for (const Bytes &frame : frames) {
        ASSERT_EQ(frame.size(), 384u);
        // Layer II sync word, MPEG-1, layer II, 128 kbit/s, 48 kHz.
        EXPECT_EQ(frame[0], 0xFF);
        EXPECT_EQ(frame[1] & 0xFE, 0xFC);
        EXPECT_EQ(frame[2] >> 4, 8);
        EXPECT_EQ((frame[2] >> 2) & 3, 1);
    }

    // An independent decoder, when installed, must take the frames without complaint.
    if (std::system("command -v ffmpeg >/dev/null 2>&1") == 0) {
        const std::string path = testing::TempDir() + "ensemble-contents-" + std::to_string(getpid()) + ".mp2";
        {
            std::ofstream out(path, std::ios::binary);
            for (const Bytes &frame : frames)
                out.write(reinterpret_cast<const char *>(frame.data()), std::streamsize(frame.size()));
        }
        const std::string log = path + ".log";
        const std::string command = "ffmpeg -nostdin -v error -f mp3 -i " + path + " -f null - 2>" + log;
        const int status = std::system(command.c_str());
        std::ifstream errors(log);
        const std::string text((std::istreambuf_iterator<char>(errors)), {});
        EXPECT_EQ(status, 0) << text;
        EXPECT_EQ(text, "");
        std::remove(path.c_str());
        std::remove(log.c_str());
    }

    const std::string label = "ZOZ demo: tone";
    Mp2Content content(frames, scfCrcBytes, {label});
    Bytes dataGroup;
    for (int n = 0; n < 4; ++n) {
        Bytes out(384);
        content.fill(n, out.data(), out.size());
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Bytes(frames[size_t(n)].begin(), frames[size_t(n)].begin() + 4));
        EXPECT_EQ(out[382], 0x20);  // variable-size X-PAD
        EXPECT_EQ(out[383], 0x02);  // contents indicator present
        // X-PAD read backwards from before the ScF-CRC field.
        const size_t xpadEnd = 382 - size_t(scfCrcBytes);
        const uint8_t ci = out[xpadEnd - 1];
        EXPECT_EQ(ci >> 5, 2);  // 8-byte subfield
        EXPECT_EQ(ci & 0x1F, n % 3 == 0 ? 2 : 3);  // an 18-byte data group takes three frames
        EXPECT_EQ(out[xpadEnd - 2], 0x00);
        for (size_t i = 0; i < 8; ++i)
            dataGroup.push_back(out[xpadEnd - 3 - i]);
    }
    const Bytes expected = dynamicLabelGroups(label, false)[0];
    dataGroup.resize(expected.size());
    EXPECT_EQ(dataGroup, expected);
}

// The ScF-CRC each frame carries is that of the next frame's scale factors: the
// Layer II decoder in DAB mode takes every frame after the first as undamaged,
// across the loop's wrap, and a damaged CRC byte makes it conceal that frame.
TEST(EnsembleContents, Mp2ScaleFactorCrcsPassTheDabDecoder)
{
    struct Case
    {
        int bitRate;
        const char *what;
    };
    const Case cases[] = {
        {128, "stereo, four CRC groups"},
        {96, "joint stereo, two CRC groups"},
        {48, "mono, narrow allocation table"},
        {192, "stereo, wide"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int scfCrcBytes = 0;
        std::string error;
        const std::vector<Bytes> frames = encodeMp2(makeTone({440, 660}, 0.3), c.bitRate, &scfCrcBytes, &error);
        if (frames.empty() && error.find("libtwolame") != std::string::npos)
            GTEST_SKIP() << error;
        ASSERT_FALSE(frames.empty()) << error;
        Mp2Content content(frames, scfCrcBytes, {"label"});
        const size_t frameBytes = size_t(c.bitRate) * 3;
        const size_t total = frames.size() + 3; // past the wrap
        for (int damage = 0; damage < 2; ++damage) {
            Layer2DecHandle decoder = Layer2Dec_Open(nullptr, 0, 1, 0);
            ASSERT_NE(decoder, nullptr);
            std::vector<int16_t> pcm(LAYER2DEC_FRAME_SAMPLES * 2);
            const size_t damaged = 5; // its tail protects frame 6
            int concealed = 0;
            for (size_t n = 0; n < total; ++n) {
                Bytes out(frameBytes);
                content.fill(int(n), out.data(), out.size());
                if (damage && n == damaged)
                    out[frameBytes - 3] ^= 0x01;
                uint32_t left = uint32_t(out.size());
                ASSERT_EQ(Layer2Dec_Fill(decoder, out.data(), uint32_t(out.size()), &left), LAYER2DEC_OK);
                uint32_t samples = 0;
                const Layer2DecResult result =
                    Layer2Dec_DecodeFrame(decoder, pcm.data(), uint32_t(pcm.size()), &samples, nullptr, 0, nullptr, 0);
                if (n == 0)
                    continue; // nothing came before it to protect it
                EXPECT_TRUE(result == LAYER2DEC_OK || result == LAYER2DEC_CONCEALED) << "frame " << n;
                concealed += result == LAYER2DEC_CONCEALED;
            }
            // The decoder answers for a frame once the next one's header is in, so
            // only the count says which frame it was: the one damaged byte, no other.
            EXPECT_EQ(concealed, damage);
            Layer2Dec_Close(&decoder);
        }
    }
}

} // namespace
