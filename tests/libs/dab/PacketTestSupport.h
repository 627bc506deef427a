// Builds packet-mode sub-channel bytes for tests: standard and short-header
// packets, data groups split into packets, and enhanced packet mode frames
// whose parity comes from a Reed-Solomon encoder written here from the code's
// definition (the reference field multiplication, generator from its roots),
// so that it shares nothing with the decoder's tables.
#ifndef ZOZ_TESTS_PACKET_TEST_SUPPORT_H
#define ZOZ_TESTS_PACKET_TEST_SUPPORT_H

#include "DabCrc16.h"
#include "RsReference.h"

#include <array>
#include <cstdint>
#include <vector>

namespace ZOZ::Test::Packet {

using Bytes = std::vector<uint8_t>;

inline void appendCrc(Bytes &bytes)
{
    const uint16_t crc = DAB_Bb_Ruz_Crc16(bytes.data(), bytes.size());
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    bytes.push_back(static_cast<uint8_t>(crc));
}

// A standard packet of `length` bytes (24, 48, 72 or 96) carrying `data`
// (at most length - 5 bytes), zero padded.
inline Bytes standardPacket(uint16_t address, int continuity, bool first, bool last, const Bytes &data,
                            int length = 24)
{
    Bytes p;
    p.push_back(static_cast<uint8_t>(((length / 24 - 1) << 6) | ((continuity & 3) << 4) | (first ? 8 : 0)
                                     | (last ? 4 : 0) | ((address >> 8) & 3)));
    p.push_back(static_cast<uint8_t>(address));
    p.push_back(static_cast<uint8_t>(data.size() & 127));
    p.insert(p.end(), data.begin(), data.end());
    p.resize(static_cast<size_t>(length - 2), 0);
    appendCrc(p);
    return p;
}

// A short-header packet of packetLength + 3 bytes; with a length byte when
// `lengthByte` is set, else the data fill the packet.
inline Bytes shortPacket(int packetLength, int address, int continuity, bool first, bool last, const Bytes &data,
                         bool lengthByte)
{
    Bytes p;
    p.push_back(static_cast<uint8_t>((first ? 0x80 : 0) | (last ? 0x40 : 0) | ((address & 3) << 4)
                                     | (lengthByte ? 8 : 0) | (continuity & 7)));
    if (lengthByte)
        p.push_back(static_cast<uint8_t>(data.size()));
    p.insert(p.end(), data.begin(), data.end());
    p.resize(static_cast<size_t>(packetLength + 3 - 2), 0);
    appendCrc(p);
    return p;
}

// `size` bytes counting up from `seed`.
inline Bytes pattern(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

// A data group cut into standard packets of `length` bytes; `continuity`
// carries on from call to call like a broadcaster's counter.
inline std::vector<Bytes> groupPackets(uint16_t address, const Bytes &group, int &continuity, int length = 96)
{
    const size_t room = static_cast<size_t>(length - 5);
    std::vector<Bytes> packets;
    for (size_t at = 0; at < group.size() || packets.empty(); at += room) {
        const size_t take = std::min(room, group.size() - at);
        const Bytes data(group.begin() + static_cast<long>(at), group.begin() + static_cast<long>(at + take));
        packets.push_back(standardPacket(address, continuity, at == 0, at + take >= group.size(), data, length));
        continuity = (continuity + 1) & 3;
    }
    return packets;
}

inline Bytes join(const std::vector<Bytes> &parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The 16 parity bytes of RS(255, 239) (roots alpha^0..alpha^15) for the data
// bytes, highest-degree symbol first: the remainder of data(x) * x^16 by g(x).
inline std::array<uint8_t, 16> rsParity(const Bytes &data)
{
    std::array<uint8_t, 17> g{}; // g[i]: coefficient of x^i
    g[0] = 1;
    uint8_t root = 1;
    for (int i = 0; i < 16; ++i) {
        // g(x) *= (x + root)
        for (int j = 16; j >= 0; --j)
            g[j] = static_cast<uint8_t>(RsReference::multiply(g[j], root) ^ (j > 0 ? g[j - 1] : 0));
        root = RsReference::multiply(root, 2);
    }
    std::array<uint8_t, 16> remainder{}; // remainder[0]: coefficient of x^15
    for (uint8_t byte : data) {
        const uint8_t feedback = byte ^ remainder[0];
        for (int k = 0; k < 15; ++k)
            remainder[k] = static_cast<uint8_t>(remainder[k + 1] ^ RsReference::multiply(feedback, g[15 - k]));
        remainder[15] = RsReference::multiply(feedback, g[0]);
    }
    return remainder;
}

constexpr uint16_t FecAddress = 1022;
constexpr int FecPackets = 9;
constexpr int FecPacketData = 22;

// One enhanced packet mode frame: the packets (whose lengths must not exceed
// the table) fill the application data table column by column, padding
// packets fill the rest, then nine FEC packets carry the parity of every row.
// `table` receives the data table as sent, for tests that damage it.
inline Bytes enhancedFrame(const std::vector<Bytes> &packets, int rows = 12, int columns = 188)
{
    Bytes table = join(packets);
    const size_t size = static_cast<size_t>(rows * columns);
    while (table.size() + 24 <= size)
        for (const uint8_t b : standardPacket(0, 0, true, true, {}))
            table.push_back(b);
    table.resize(size, 0);
    Bytes parity(static_cast<size_t>(FecPackets * FecPacketData), 0);
    for (int r = 0; r < rows; ++r) {
        Bytes row;
        for (int j = 0; j < columns; ++j)
            row.push_back(table[static_cast<size_t>(r + j * rows)]);
        const auto p = rsParity(row);
        for (int k = 0; k < 16; ++k)
            parity[static_cast<size_t>(r + k * rows)] = p[static_cast<size_t>(k)];
    }
    Bytes frame = table;
    for (int counter = 0; counter < FecPackets; ++counter) {
        frame.push_back(static_cast<uint8_t>((counter << 2) | (FecAddress >> 8)));
        frame.push_back(static_cast<uint8_t>(FecAddress & 0xFF));
        frame.insert(frame.end(), parity.begin() + counter * FecPacketData,
                     parity.begin() + (counter + 1) * FecPacketData);
    }
    return frame;
}

// Byte `column` of row `row` of a frame's data table (column-major layout).
inline size_t tableOffset(int row, int column, int rows = 12) { return static_cast<size_t>(row + column * rows); }

} // namespace ZOZ::Test::Packet

#endif
