#include "EtiSubchannels.h"
#include "LibraryVersionTestSupport.h"
#include "PacketTestSupport.h"
#include "ZOZDab.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

using namespace ZOZ::Test::Packet;

namespace {

struct Group {
    uint32_t tag;
    Bytes bytes;
};

// The groups delivered by the decoder under test, in order.
std::vector<Group> &delivered()
{
    static std::vector<Group> groups;
    return groups;
}

int collect(uint8_t *buffer, uint32_t length, uint32_t tag)
{
    delivered().push_back({tag, Bytes(buffer, buffer + length)});
    return 0;
}

struct FreeDeleter {
    void operator()(DabPmDecoder *d) const { std::free(d); }
};

// One decoder with up to 15 addresses, each with its own buffer.
class Decoder {
public:
    explicit Decoder(uint8_t mode = PM_MODE_STANDARD, uint8_t packetLength = 0)
        : m_decoder(static_cast<DabPmDecoder *>(std::malloc(DAB_Bb_Ruz_PmDecoderGetSize())))
    {
        EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderInit(m_decoder.get(), mode, packetLength));
        delivered().clear();
    }

    int add(uint16_t address, uint32_t capacity = 8215, uint8_t type = PM_ADDRESS_DATA_GROUPS)
    {
        m_buffers.push_back(std::make_unique<uint8_t[]>(capacity));
        return DAB_Bb_Ruz_PmDecoderAddAddress(m_decoder.get(), address, type, m_buffers.back().get(), capacity,
                                              collect, 0x1000u + address);
    }

    // Feeds the bytes; returns the result and leaves the unconsumed count in `left`.
    int feed(const Bytes &bytes, uint32_t *left = nullptr)
    {
        uint32_t length = static_cast<uint32_t>(bytes.size());
        const int result = RUZ_PM_Process(m_decoder.get(), bytes.data(), &length);
        if (left)
            *left = length;
        return result;
    }

    DabPmStatistics statistics() const
    {
        DabPmStatistics s{};
        DAB_Bb_Ruz_PmDecoderGetStatistics(m_decoder.get(), &s);
        return s;
    }

    DabPmDecoder *get() const { return m_decoder.get(); }

private:
    std::unique_ptr<DabPmDecoder, FreeDeleter> m_decoder;
    std::vector<std::unique_ptr<uint8_t[]>> m_buffers;
};

std::vector<Bytes> groupsOf(uint16_t address)
{
    std::vector<Bytes> out;
    for (const Group &g : delivered())
        if (g.tag == 0x1000u + address)
            out.push_back(g.bytes);
    return out;
}

} // namespace

TEST(PacketDecoder, VersionAndSize)
{
    EXPECT_EQ(6848u, DAB_Bb_Ruz_PmDecoderGetSize());
    ZOZ::Test::expectVersion(DAB_Bb_Ruz_PmDecoderGetVersion,
                             {"2019-09-17_v1.2.5", "2019-09-17", "2019-09-17", "34651", 34651, "1.2.5", 1, 2, 5});
}

TEST(PacketDecoder, NullArgumentsAndBadMode)
{
    Decoder d;
    uint32_t length = 24;
    const Bytes packet = standardPacket(1, 0, true, true, {1});
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderInit(nullptr, 0, 0));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderInit(d.get(), 2, 0));
    DAB_Bb_Ruz_PmDecoderInit(d.get(), PM_MODE_STANDARD, 0);
    EXPECT_EQ(1, RUZ_PM_Process(nullptr, packet.data(), &length));
    EXPECT_EQ(1, RUZ_PM_Process(d.get(), nullptr, &length));
    EXPECT_EQ(1, RUZ_PM_Process(d.get(), packet.data(), nullptr));
    length = 0;
    EXPECT_EQ(1, RUZ_PM_Process(d.get(), packet.data(), &length));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderSetFec(nullptr, 1, 12, 188));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderRemoveAddress(nullptr, 1, nullptr, nullptr));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderGetStatistics(d.get(), nullptr));
}

TEST(PacketDecoder, AddressTable)
{
    Decoder d;
    for (uint16_t a = 0; a < 15; ++a)
        EXPECT_EQ(0, d.add(static_cast<uint16_t>(a * 70))) << a;
    EXPECT_EQ(4, d.add(70)) << "duplicate";
    EXPECT_EQ(3, d.add(1023)) << "16th address";

    uint8_t *buffer = nullptr;
    uint32_t tag = 0;
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderRemoveAddress(d.get(), 0, &buffer, &tag));
    EXPECT_NE(nullptr, buffer);
    EXPECT_EQ(0x1000u, tag);
    EXPECT_EQ(5, DAB_Bb_Ruz_PmDecoderRemoveAddress(d.get(), 0, nullptr, nullptr)) << "gone";
    EXPECT_EQ(0, d.add(1023)) << "the freed place is reused";

    // The entry that moved into the freed place still works.
    ASSERT_EQ(0, d.feed(standardPacket(980, 0, true, true, {9, 8, 7})));
    ASSERT_EQ(1u, groupsOf(980).size());

    uint8_t small[199];
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderAddAddress(d.get(), 5, 1, small, 199, collect, 0)) << "capacity 199";
    Decoder e;
    uint8_t room[200];
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderAddAddress(e.get(), 5, 1, room, 200, collect, 0)) << "capacity 200";
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderAddAddress(e.get(), 6, 1, nullptr, 200, collect, 0));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderAddAddress(e.get(), 6, 1, room, 200, nullptr, 0));
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderAddAddress(e.get(), 6, 2, room, 200, collect, 0)) << "type 2";
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderAddAddress(e.get(), 1024, 1, room, 200, collect, 0)) << "address 1024";
    EXPECT_EQ(5, DAB_Bb_Ruz_PmDecoderRemoveAddress(Decoder().get(), 1, nullptr, nullptr)) << "empty table";
}

TEST(PacketDecoder, FecSettings)
{
    struct Row {
        const char *name;
        uint8_t rows, columns;
        int expected;
    } rows[] = {
        {"12 x 188: 2448 bytes", 12, 188, 0},
        {"180 x 1", 180, 1, 0},
        {"1 x 239", 1, 239, 0},
        {"13 x 239: 3315 bytes", 13, 239, 1},
        {"181 rows", 181, 1, 1},
        {"240 columns", 1, 240, 1},
        {"no rows", 0, 10, 1},
        {"no columns", 10, 0, 1},
    };
    for (const Row &row : rows) {
        Decoder d;
        EXPECT_EQ(row.expected, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, row.rows, row.columns)) << row.name;
    }
    Decoder d;
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 0, 0, 0)) << "off while off";
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188));
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188)) << "unchanged";
    EXPECT_EQ(1, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 13, 239)) << "refused, old setting kept";
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 0, 0, 0));
}

TEST(PacketDecoder, GroupsOverEveryPacketLengthAndHighAddresses)
{
    Decoder d;
    ASSERT_EQ(0, d.add(1));
    ASSERT_EQ(0, d.add(300));
    ASSERT_EQ(0, d.add(1021));
    int continuity = 0;
    Bytes stream;
    const int lengths[] = {24, 48, 72, 96};
    std::map<uint16_t, std::vector<Bytes>> sent;
    for (int i = 0; i < 8; ++i) {
        const uint16_t address = i % 3 == 0 ? 1 : i % 3 == 1 ? 300 : 1021;
        const Bytes group = pattern(static_cast<size_t>(50 + 97 * i), static_cast<uint8_t>(i));
        sent[address].push_back(group);
        for (const Bytes &p : groupPackets(address, group, continuity, lengths[i % 4]))
            stream.insert(stream.end(), p.begin(), p.end());
    }
    uint32_t left = 99;
    EXPECT_EQ(0, d.feed(stream, &left));
    EXPECT_EQ(0u, left);
    for (const auto &[address, groups] : sent)
        EXPECT_EQ(groups, groupsOf(address)) << "address " << address;
}

TEST(PacketDecoder, PartialPacketIsLeftForTheNextCall)
{
    Decoder d;
    ASSERT_EQ(0, d.add(7));
    int continuity = 0;
    const Bytes group = pattern(300, 3);
    const Bytes stream = join(groupPackets(7, group, continuity, 72));
    const Bytes head(stream.begin(), stream.begin() + 100); // one packet and 28 bytes of the next
    uint32_t left = 0;
    EXPECT_EQ(0, d.feed(head, &left));
    EXPECT_EQ(28u, left);
    Bytes rest(head.end() - left, head.end());
    rest.insert(rest.end(), stream.begin() + 100, stream.end());
    EXPECT_EQ(0, d.feed(rest, &left));
    EXPECT_EQ(0u, left);
    ASSERT_EQ(1u, groupsOf(7).size());
    EXPECT_EQ(group, groupsOf(7)[0]);
}

TEST(PacketDecoder, MissingPacketLosesOnlyItsOwnGroup)
{
    Decoder d;
    ASSERT_EQ(0, d.add(1));
    ASSERT_EQ(0, d.add(2));
    int c1 = 0, c2 = 0;
    std::vector<Bytes> one = groupPackets(1, pattern(300, 1), c1, 96); // four packets
    ASSERT_EQ(4u, one.size());
    one.erase(one.begin() + 1);
    const std::vector<Bytes> two = groupPackets(2, pattern(200, 2), c2, 96);
    // Interleaved: the broken group of address 1 and a whole one of address 2.
    const Bytes stream = join({one[0], two[0], one[1], two[1], one[2], two[2]});
    EXPECT_EQ(7, d.feed(stream));
    EXPECT_TRUE(groupsOf(1).empty());
    ASSERT_EQ(1u, groupsOf(2).size());
    EXPECT_EQ(pattern(200, 2), groupsOf(2)[0]);
    EXPECT_EQ(1u, d.statistics().continuityErrors);

    // The next group of address 1 comes through.
    const Bytes next = pattern(150, 9);
    EXPECT_EQ(0, d.feed(join(groupPackets(1, next, c1, 96))));
    ASSERT_EQ(1u, groupsOf(1).size());
    EXPECT_EQ(next, groupsOf(1)[0]);
}

TEST(PacketDecoder, SinglePacketGroupInsideAnUnfinishedOne)
{
    Decoder d;
    ASSERT_EQ(0, d.add(4));
    int c = 0;
    const std::vector<Bytes> big = groupPackets(4, pattern(200, 4), c, 96);
    const Bytes small = standardPacket(4, 0, true, true, {1, 2, 3});
    EXPECT_EQ(0, d.feed(join({big[0], small, big[1], big[2]})));
    ASSERT_EQ(1u, groupsOf(4).size());
    EXPECT_EQ((Bytes{1, 2, 3}), groupsOf(4)[0]);
}

TEST(PacketDecoder, BadCrcIsDropped)
{
    Decoder d;
    ASSERT_EQ(0, d.add(5));
    Bytes bad = standardPacket(5, 0, true, true, {1, 2});
    bad[4] ^= 0x10;
    EXPECT_EQ(0, d.feed(join({bad, standardPacket(5, 1, true, true, {3})})));
    ASSERT_EQ(1u, groupsOf(5).size());
    EXPECT_EQ(Bytes{3}, groupsOf(5)[0]);
    EXPECT_EQ(2u, d.statistics().packets);
    EXPECT_EQ(1u, d.statistics().goodPackets);
}

TEST(PacketDecoder, GroupLargerThanItsBufferIsGivenUpWhole)
{
    Decoder d;
    ASSERT_EQ(0, d.add(6, 200));
    int c = 0;
    EXPECT_EQ(0, d.feed(join(groupPackets(6, pattern(300, 6), c, 96))));
    EXPECT_TRUE(groupsOf(6).empty()) << "never a group with a hole in it";
    EXPECT_EQ(1u, d.statistics().oversizedGroups);
    const Bytes fits = pattern(180, 1);
    EXPECT_EQ(0, d.feed(join(groupPackets(6, fits, c, 96))));
    ASSERT_EQ(1u, groupsOf(6).size());
    EXPECT_EQ(fits, groupsOf(6)[0]);
}

TEST(PacketDecoder, PerPacketAddressDeliversEachContinuation)
{
    Decoder d;
    ASSERT_EQ(0, d.add(8, 8215, PM_ADDRESS_PER_PACKET));
    EXPECT_EQ(0, d.feed(join({standardPacket(8, 0, true, false, {1}), standardPacket(8, 1, false, false, {2}),
                              standardPacket(8, 2, false, true, {3})})));
    ASSERT_EQ(2u, groupsOf(8).size());
    EXPECT_EQ((Bytes{1, 2}), groupsOf(8)[0]);
    EXPECT_EQ(Bytes{3}, groupsOf(8)[1]);
}

TEST(PacketDecoder, ShortHeaderPackets)
{
    // 16-byte packets: one header byte, optional length byte, CRC.
    Decoder d(PM_MODE_SHORT_HEADER, 13);
    ASSERT_EQ(0, d.add(2));
    Bytes stream;
    Bytes expected;
    for (int i = 0; i < 10; ++i) {
        const bool first = i == 0, last = i == 9;
        const Bytes data = last ? Bytes{0xEE, 0xEF} : pattern(13, static_cast<uint8_t>(i));
        expected.insert(expected.end(), data.begin(), data.end());
        const Bytes p = shortPacket(13, 2, i % 8, first, last, data, last);
        ASSERT_EQ(16u, p.size());
        stream.insert(stream.end(), p.begin(), p.end());
    }
    EXPECT_EQ(0, d.feed(stream)) << "the continuity index wraps after 7";
    ASSERT_EQ(1u, groupsOf(2).size());
    EXPECT_EQ(expected, groupsOf(2)[0]);

    // A length byte that claims more than the packet holds stays inside it.
    Bytes liar = shortPacket(13, 2, 0, true, true, pattern(12, 0), true);
    liar.resize(14);
    liar[1] = 200;
    appendCrc(liar);
    EXPECT_EQ(0, d.feed(liar));
    ASSERT_EQ(2u, groupsOf(2).size());
    EXPECT_EQ(12u, groupsOf(2)[1].size());
}

namespace {

// Four groups on two addresses in 96-byte packets: 4 + 4 + 5 + 5 packets,
// 1728 bytes of a 12 x 188 table (2256 bytes); padding packets fill the rest.
std::vector<Bytes> frameGroups(std::vector<Bytes> &packets)
{
    std::vector<Bytes> groups;
    int c1 = 0, c2 = 0;
    for (int i = 0; i < 4; ++i) {
        const uint16_t address = i % 2 ? 2 : 1;
        groups.push_back(pattern(static_cast<size_t>(300 + 40 * i), static_cast<uint8_t>(i * 31)));
        for (const Bytes &p : groupPackets(address, groups.back(), address == 1 ? c1 : c2, 96))
            packets.push_back(p);
    }
    return groups;
}

} // namespace

TEST(PacketDecoder, EnhancedModeCorrectsUpToEightErrorsPerRow)
{
    std::vector<Bytes> packets;
    const std::vector<Bytes> groups = frameGroups(packets);
    ASSERT_LE(join(packets).size(), 12u * 188u);
    const Bytes clean = enhancedFrame(packets);

    struct Row {
        const char *name;
        int errorsPerRow;
        bool allRows;
    } rows[] = {{"clean", 0, true}, {"one error in a row", 1, false}, {"eight errors in every row", 8, true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Decoder d;
        ASSERT_EQ(0, d.add(1));
        ASSERT_EQ(0, d.add(2));
        ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188));
        Bytes frame = clean;
        for (int r = 0; r < (row.allRows ? 12 : 1); ++r)
            for (int e = 0; e < row.errorsPerRow; ++e)
                frame[tableOffset(r, 3 + e * 23)] ^= static_cast<uint8_t>(0x5A + e);
        // A leading FEC run synchronises; a trailing one ends the frame.
        Bytes stream(clean.end() - FecPackets * 24, clean.end());
        stream.insert(stream.end(), frame.begin(), frame.end());
        EXPECT_EQ(0, d.feed(stream));
        EXPECT_EQ((std::vector<Bytes>{groups[0], groups[2]}), groupsOf(1));
        EXPECT_EQ((std::vector<Bytes>{groups[1], groups[3]}), groupsOf(2));
        const DabPmStatistics s = d.statistics();
        EXPECT_EQ(12u, s.rsRows);
        EXPECT_EQ(0u, s.rsRowsUncorrectable);
        EXPECT_EQ(static_cast<uint32_t>(row.errorsPerRow * (row.allRows ? 12 : 1)), s.rsCorrectedSymbols);
    }
}

TEST(PacketDecoder, EnhancedModeReportsRowsBeyondItsPower)
{
    std::vector<Bytes> packets;
    const std::vector<Bytes> groups = frameGroups(packets);
    const Bytes clean = enhancedFrame(packets);
    Decoder d;
    ASSERT_EQ(0, d.add(1));
    ASSERT_EQ(0, d.add(2));
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188));
    Bytes frame = clean;
    // Nine errors in row 0, columns 0..8: table bytes 0..96, the first two packets.
    for (int e = 0; e < 9; ++e)
        frame[tableOffset(0, e)] ^= 0xA5;
    Bytes stream(clean.end() - FecPackets * 24, clean.end());
    stream.insert(stream.end(), frame.begin(), frame.end());
    d.feed(stream);
    const DabPmStatistics s = d.statistics();
    EXPECT_EQ(12u, s.rsRows);
    EXPECT_EQ(1u, s.rsRowsUncorrectable);
    EXPECT_EQ(188u, s.rsUncorrectableBytes);
    // The damaged packets fail their CRC: their group is lost, the others arrive.
    EXPECT_EQ((std::vector<Bytes>{groups[2]}), groupsOf(1));
    EXPECT_EQ((std::vector<Bytes>{groups[1], groups[3]}), groupsOf(2));
}

TEST(PacketDecoder, EnhancedModeIncompleteFrameComesOutUncorrectedInOrder)
{
    std::vector<Bytes> packets;
    const std::vector<Bytes> groups = frameGroups(packets);
    const Bytes clean = enhancedFrame(packets);
    const Bytes fec(clean.end() - FecPackets * 24, clean.end());
    Decoder d;
    ASSERT_EQ(0, d.add(1));
    ASSERT_EQ(0, d.add(2));
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188));
    // Only the first ten packets (960 bytes) before the parity: the table is not full.
    Bytes stream = fec;
    for (int i = 0; i < 10; ++i)
        stream.insert(stream.end(), packets[static_cast<size_t>(i)].begin(), packets[static_cast<size_t>(i)].end());
    stream.insert(stream.end(), fec.begin(), fec.end());
    EXPECT_EQ(0, d.feed(stream));
    // Groups 0 and 1 (4 packets each) are whole, group 2 (5 packets) is cut.
    EXPECT_EQ((std::vector<Bytes>{groups[0]}), groupsOf(1));
    EXPECT_EQ((std::vector<Bytes>{groups[1]}), groupsOf(2));
    EXPECT_EQ(0u, d.statistics().rsRows);
    EXPECT_GE(d.statistics().incompleteFrames, 1u);

    // Switching the correction off hands over whatever was held.
    Decoder e;
    ASSERT_EQ(0, e.add(1));
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(e.get(), 1, 12, 188));
    Bytes held = fec;
    held.insert(held.end(), packets[0].begin(), packets[0].end());
    held.insert(held.end(), packets[1].begin(), packets[1].end());
    held.insert(held.end(), packets[2].begin(), packets[2].end());
    held.insert(held.end(), packets[3].begin(), packets[3].end());
    EXPECT_EQ(0, e.feed(held));
    EXPECT_TRUE(groupsOf(1).empty());
    EXPECT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(e.get(), 0, 0, 0));
    EXPECT_EQ((std::vector<Bytes>{groups[0]}), groupsOf(1));
}

TEST(PacketDecoder, EnhancedShortHeaderFrameOfManySmallPackets)
{
    // 4-byte short-header packets with one data byte: 564 of them fill a
    // 12 x 188 table; each FEC packet (address 3) carries one parity byte.
    constexpr int Packets = 12 * 188 / 4;
    Decoder d(PM_MODE_SHORT_HEADER, 1);
    ASSERT_EQ(0, d.add(1));
    ASSERT_EQ(0, DAB_Bb_Ruz_PmDecoderSetFec(d.get(), 1, 12, 188));
    Bytes table;
    Bytes expected;
    for (int i = 0; i < Packets; ++i) {
        const uint8_t b = static_cast<uint8_t>(i * 3);
        expected.push_back(b);
        const Bytes p = shortPacket(1, 1, i % 8, i == 0, i == Packets - 1, {b}, false);
        table.insert(table.end(), p.begin(), p.end());
    }
    Bytes parity(16 * 12);
    for (int r = 0; r < 12; ++r) {
        Bytes row;
        for (int j = 0; j < 188; ++j)
            row.push_back(table[tableOffset(r, j)]);
        const auto p = rsParity(row);
        for (int k = 0; k < 16; ++k)
            parity[static_cast<size_t>(r + k * 12)] = p[static_cast<size_t>(k)];
    }
    Bytes stream = shortPacket(1, 3, 0, true, true, {0}, false); // the previous frame's last FEC packet
    for (int r = 0; r < 12; ++r) {
        table[tableOffset(r, 10)] ^= 0x33; // a header byte
        table[tableOffset(r, 100)] ^= 0x81;
    }
    stream.insert(stream.end(), table.begin(), table.end());
    for (size_t k = 0; k < parity.size(); ++k) {
        const Bytes p = shortPacket(1, 3, 0, k == 0, k + 1 == parity.size(), {parity[k]}, false);
        stream.insert(stream.end(), p.begin(), p.end());
    }
    EXPECT_EQ(0, d.feed(stream));
    ASSERT_EQ(1u, groupsOf(1).size());
    EXPECT_EQ(expected, groupsOf(1)[0]);
    EXPECT_EQ(24u, d.statistics().rsCorrectedSymbols);
}

TEST(DabMemory, RoutinesReportTheirDestination)
{
    uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t b[8] = {};
    EXPECT_EQ(1, DAB_Bb_Ruz_MemCopy(b, a, 8));
    EXPECT_EQ(0, std::memcmp(a, b, 8));
    EXPECT_EQ(1, DAB_Bb_Ruz_MemMove(a + 1, a, 7));
    EXPECT_EQ((Bytes{1, 1, 2, 3, 4, 5, 6, 7}), Bytes(a, a + 8));
    EXPECT_EQ(1, DAB_Bb_Ruz_MemSet(a, 0x5A, 8));
    EXPECT_EQ(Bytes(8, 0x5A), Bytes(a, a + 8));
    EXPECT_EQ(0, DAB_Bb_Ruz_MemCopy(nullptr, a, 1));
    EXPECT_EQ(0, DAB_Bb_Ruz_MemMove(b, nullptr, 1));
    EXPECT_EQ(0, DAB_Bb_Ruz_MemSet(nullptr, 0, 1));
    EXPECT_EQ(1, DAB_Bb_Ruz_MemCopy(nullptr, nullptr, 0)) << "nothing to copy";
}

TEST(PacketDecoderRecording, SloveniaJournalineAndSpiDataGroups)
{
    const std::string path = std::string(ZOZ_TESTDATA_DIR) + "/slovenia-r1.eti";
    if (!std::ifstream(path).good())
        GTEST_SKIP() << "needs the test recording " << path;
    struct Row {
        const char *name;
        int subChId;
        uint16_t address;
    } rows[] = {{"Journaline", 13, 1}, {"SPI", 6, 2}};
    const std::map<uint32_t, EtiSubchannel> subchannels = readEtiSubchannels(path);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(subchannels.count(static_cast<uint32_t>(row.subChId)));
        const Bytes &subchannel = subchannels.at(static_cast<uint32_t>(row.subChId)).bytes;
        Decoder d;
        ASSERT_EQ(0, d.add(row.address));
        // Fed frame by frame as the receiver does, carrying partial packets over.
        const size_t frameBytes = subchannel.size() / 58;
        Bytes pending;
        for (size_t at = 0; at < subchannel.size(); at += frameBytes) {
            pending.insert(pending.end(), subchannel.begin() + static_cast<long>(at),
                           subchannel.begin() + static_cast<long>(at + frameBytes));
            uint32_t left = 0;
            const int result = d.feed(pending, &left);
            EXPECT_TRUE(result == 0 || result == 7) << result;
            pending.erase(pending.begin(), pending.end() - left);
        }
        const std::vector<Bytes> groups = groupsOf(row.address);
        ASSERT_FALSE(groups.empty());
        for (const Bytes &g : groups) {
            ASSERT_GE(g.size(), 4u);
            ASSERT_TRUE(g[0] & 0x40) << "data group with a CRC";
            const uint16_t crc = static_cast<uint16_t>((g[g.size() - 2] << 8) | g.back());
            EXPECT_EQ(1, DAB_Bb_Ruz_Crc16Check(g.data(), g.size() - 2, crc));
        }
        EXPECT_GT(d.statistics().goodPackets, 0u);
    }
}
