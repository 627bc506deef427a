// Builds MOT for tests, field by field as the standards lay it out: MSC data
// groups with session header and user access field, the segmentation header,
// header core and extension parameters, directories (plain and compressed)
// and gzip members made with zlib.
#ifndef ZOZ_TESTS_MOT_TEST_SUPPORT_H
#define ZOZ_TESTS_MOT_TEST_SUPPORT_H

#include "PacketTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ZOZ::Test::Mot {

using Packet::appendCrc;
using Packet::Bytes;

// Data group types.
constexpr uint8_t Header = 3;
constexpr uint8_t Body = 4;
constexpr uint8_t Directory = 6;
constexpr uint8_t CompressedDirectory = 7;

inline Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// One extension parameter in the shortest form its length allows.
inline Bytes parameter(uint8_t id, const Bytes &data)
{
    Bytes p;
    uint8_t indicator = 3;
    if (data.empty())
        indicator = 0;
    else if (data.size() == 1)
        indicator = 1;
    else if (data.size() == 4)
        indicator = 2;
    p.push_back(static_cast<uint8_t>(indicator << 6 | (id & 0x3F)));
    if (indicator == 3) {
        if (data.size() > 127)
            p.push_back(static_cast<uint8_t>(0x80 | data.size() >> 8));
        p.push_back(static_cast<uint8_t>(data.size()));
    }
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

// ContentName with a character set (15 UTF-8).
inline Bytes contentName(const std::string &name, uint8_t charset = 15)
{
    Bytes data(1 + name.size());
    data[0] = static_cast<uint8_t>(charset << 4);
    std::copy(name.begin(), name.end(), data.begin() + 1);
    return parameter(12, data);
}

// Header core (BodySize 28 bits, HeaderSize 13, ContentType 6, ContentSubType
// 9) and the extension.
inline Bytes header(uint32_t bodySize, uint16_t type, uint16_t subType, const Bytes &extension = {})
{
    const uint64_t headerSize = 7 + extension.size();
    const uint64_t core = uint64_t(bodySize & 0x0FFFFFFF) << 28 | (headerSize & 0x1FFF) << 15 |
                          uint64_t(type & 0x3F) << 9 | (subType & 0x1FF);
    Bytes h;
    for (int shift = 48; shift >= 0; shift -= 8)
        h.push_back(static_cast<uint8_t>(core >> shift));
    h.insert(h.end(), extension.begin(), extension.end());
    return h;
}

struct GroupOptions {
    bool crc = true;
    bool userAccess = true;
    bool transportIdFlag = true;
    bool segmentField = true;
    bool extensionField = false;
    uint8_t repetition = 0;
};

// One data group carrying one segment.
inline Bytes dataGroup(uint8_t type, uint16_t transportId, uint32_t segmentNumber, bool last, const Bytes &segment,
                       const GroupOptions &o = {})
{
    Bytes g;
    g.push_back(static_cast<uint8_t>((o.extensionField ? 0x80 : 0) | (o.crc ? 0x40 : 0) | (o.segmentField ? 0x20 : 0) |
                                     (o.userAccess ? 0x10 : 0) | (type & 0x0F)));
    g.push_back(o.repetition & 0x0F); // continuity index 0
    if (o.extensionField) {
        g.push_back(0);
        g.push_back(0);
    }
    if (o.segmentField) {
        const uint32_t field = (last ? 0x8000 : 0) | (segmentNumber & 0x7FFF);
        g.push_back(static_cast<uint8_t>(field >> 8));
        g.push_back(static_cast<uint8_t>(field));
    }
    if (o.userAccess) {
        g.push_back(static_cast<uint8_t>((o.transportIdFlag ? 0x10 : 0) | 2));
        g.push_back(static_cast<uint8_t>(transportId >> 8));
        g.push_back(static_cast<uint8_t>(transportId));
    }
    // Segmentation header: repetition count 0, 13-bit segment size.
    g.push_back(static_cast<uint8_t>(segment.size() >> 8 & 0x1F));
    g.push_back(static_cast<uint8_t>(segment.size()));
    g.insert(g.end(), segment.begin(), segment.end());
    if (o.crc)
        appendCrc(g);
    return g;
}

// The data groups of `bytes` cut into segments of `segmentSize` bytes.
inline std::vector<Bytes> segments(uint8_t type, uint16_t transportId, const Bytes &bytes, size_t segmentSize)
{
    std::vector<Bytes> groups;
    const size_t count = std::max<size_t>(1, (bytes.size() + segmentSize - 1) / segmentSize);
    for (size_t n = 0; n < count; ++n) {
        const size_t begin = n * segmentSize;
        const size_t end = std::min(bytes.size(), begin + segmentSize);
        groups.push_back(dataGroup(type, transportId, static_cast<uint32_t>(n), n + 1 == count,
                                   Bytes(bytes.begin() + long(begin), bytes.begin() + long(end))));
    }
    return groups;
}

struct Entry {
    uint16_t transportId;
    Bytes header;
};

// An uncompressed directory; `numberOfObjects` defaults to the entries given.
inline Bytes directory(const std::vector<Entry> &entries, const Bytes &extension = {}, int numberOfObjects = -1,
                       uint16_t segmentSize = 1024)
{
    Bytes body;
    for (const Entry &e : entries) {
        body.push_back(static_cast<uint8_t>(e.transportId >> 8));
        body.push_back(static_cast<uint8_t>(e.transportId));
        body.insert(body.end(), e.header.begin(), e.header.end());
    }
    const uint32_t size = static_cast<uint32_t>(13 + extension.size() + body.size());
    const uint32_t count = numberOfObjects < 0 ? uint32_t(entries.size()) : uint32_t(numberOfObjects);
    const uint32_t period = 100; // tenths of a second
    Bytes d{static_cast<uint8_t>(size >> 24 & 0x3F), static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
            static_cast<uint8_t>(size),        static_cast<uint8_t>(count >> 8),  static_cast<uint8_t>(count),
            static_cast<uint8_t>(period >> 16), static_cast<uint8_t>(period >> 8), static_cast<uint8_t>(period),
            static_cast<uint8_t>(segmentSize >> 8 & 0x1F), static_cast<uint8_t>(segmentSize),
            static_cast<uint8_t>(extension.size() >> 8), static_cast<uint8_t>(extension.size())};
    d.insert(d.end(), extension.begin(), extension.end());
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

// A gzip member of `data` made by zlib, with a file name when one is given.
inline Bytes gzip(const Bytes &data, const std::string &name = {})
{
    z_stream s{};
    if (deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    gz_header h{};
    std::string storedName = name;
    if (!name.empty()) {
        h.name = reinterpret_cast<Bytef *>(storedName.data());
        deflateSetHeader(&s, &h);
    }
    Bytes out(deflateBound(&s, uLong(data.size())) + 64 + name.size());
    s.next_in = const_cast<Bytef *>(data.data());
    s.avail_in = uInt(data.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// The compressed form of a directory: flag and size, gzip id, the
// uncompressed length, the gzip member.
inline Bytes compressedDirectory(const Bytes &plain)
{
    const Bytes member = gzip(plain);
    const uint32_t size = static_cast<uint32_t>(9 + member.size());
    const uint32_t length = static_cast<uint32_t>(plain.size());
    Bytes c{static_cast<uint8_t>(0x80 | (size >> 24 & 0x3F)), static_cast<uint8_t>(size >> 16),
            static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size), 1,
            static_cast<uint8_t>(length >> 24 & 0x3F), static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    c.insert(c.end(), member.begin(), member.end());
    return c;
}

} // namespace ZOZ::Test::Mot

#endif
