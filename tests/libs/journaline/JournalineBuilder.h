// Builds Journaline broadcast data for tests, from the object format of the
// Journaline standard (ETSI TS 102 979): NML objects (menus, plain messages,
// title-only objects, lists) with data sections, deflate-compressed objects,
// tables of contents, fragments and MSC data groups with their CRC. The CRC
// is computed bit by bit here, and compression is zlib's own deflate, so
// nothing is shared with the decoder.
#ifndef ZOZ_TESTS_JOURNALINE_BUILDER_H
#define ZOZ_TESTS_JOURNALINE_BUILDER_H

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ZOZ::Test::Journaline {

using Bytes = std::vector<uint8_t>;

enum ObjectType : uint8_t { Menu = 1, PlainMessage = 2, TitleOnly = 3, List = 4 };

inline void append(Bytes &to, const Bytes &bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }
inline void append(Bytes &to, const std::string &text) { to.insert(to.end(), text.begin(), text.end()); }
inline void append16(Bytes &to, uint16_t v)
{
    to.push_back(static_cast<uint8_t>(v >> 8));
    to.push_back(static_cast<uint8_t>(v));
}

// CRC-16 of the DAB data group: x^16 + x^12 + x^5 + 1, preset ones,
// complemented, computed one bit at a time.
inline uint16_t crc16(const Bytes &bytes)
{
    uint16_t crc = 0xFFFF;
    for (const uint8_t byte : bytes)
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc >> 15) & 1) != (((byte >> bit) & 1) != 0);
            crc = static_cast<uint16_t>(crc << 1);
            if (feedback)
                crc ^= 0x1021;
        }
    return static_cast<uint16_t>(~crc);
}

// A data section: code 0x1A, length - 1, then the type and its data.
inline Bytes section(uint8_t type, const Bytes &data)
{
    Bytes s{0x1A, static_cast<uint8_t>(data.size()), type};
    append(s, data);
    return s;
}

// A link data section: its kind, the address, a zero and the link text.
inline Bytes linkSection(uint8_t kind, const std::string &address, const std::string &text)
{
    Bytes data{kind};
    append(data, address);
    data.push_back(0);
    append(data, text);
    return section(0x03, data);
}

struct Object {
    uint16_t id = 0;
    ObjectType type = PlainMessage;
    bool isStatic = false;
    uint8_t revision = 0;
    bool compressed = false;
    Bytes extHeader;
    std::string title = "Title";
    Bytes titleSections;                             // data sections right after the title text
    std::vector<std::pair<uint16_t, std::string>> items; // menus: target id, text
    bool terminators = false;                       // a 0x00 after the title and after each item
    std::string body;                               // plain messages and lists
    bool hasBody = true;
};

inline Bytes nmlPayload(const Object &o)
{
    Bytes p{0x01};
    append(p, o.title);
    append(p, o.titleSections);
    if (o.terminators)
        p.push_back(0x00);
    if (o.type == Menu) {
        for (const auto &[target, text] : o.items) {
            p.push_back(0x02);
            append16(p, target);
            append(p, text);
            if (o.terminators)
                p.push_back(0x00);
        }
    } else if ((o.type == PlainMessage || o.type == List) && o.hasBody) {
        p.push_back(o.type == PlainMessage ? 0x03 : 0x04);
        append(p, o.body);
    }
    return p;
}

inline Bytes rawDeflate(const Bytes &in)
{
    z_stream s{};
    deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&s, in.size()) + 16);
    s.next_in = const_cast<uint8_t *>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// The raw object: id, header byte, extended header, payload.
inline Bytes raw(const Object &o)
{
    Bytes r;
    append16(r, o.id);
    r.push_back(static_cast<uint8_t>((o.type << 5) | (o.isStatic ? 0x10 : 0) | (o.compressed ? 0x08 : 0)
                                     | (o.revision & 7)));
    append(r, o.extHeader);
    const Bytes payload = nmlPayload(o);
    if (o.compressed) {
        r.push_back(0x08); // deflate
        append(r, rawDeflate(payload));
    } else {
        append(r, payload);
    }
    return r;
}

struct GroupOptions {
    uint8_t type = 0;       // 0 object, 6 table of contents
    bool fragment = false;
    bool extension = false;
    bool crc = true;
    bool segmented = false;
    bool breakCrc = false;
};

// An MSC data group around `payload`.
inline Bytes dataGroup(const Bytes &payload, GroupOptions options = {})
{
    Bytes g;
    g.push_back(static_cast<uint8_t>((options.extension ? 0x80 : 0) | (options.crc ? 0x40 : 0)
                                     | (options.segmented ? 0x20 : 0) | (options.fragment ? 0x08 : 0)
                                     | (options.type & 7)));
    g.push_back(0x00); // continuity and repetition index
    if (options.extension)
        append16(g, 0x1234);
    append(g, payload);
    if (options.crc) {
        uint16_t crc = crc16(g);
        if (options.breakCrc)
            crc ^= 1;
        append16(g, crc);
    }
    return g;
}

inline Bytes objectGroup(const Object &o) { return dataGroup(raw(o)); }

struct TocRecord {
    uint16_t id;
    uint8_t header;
};

inline uint8_t headerByte(ObjectType type, uint8_t revision = 0) { return static_cast<uint8_t>((type << 5) | revision); }

// A table of contents: 'T', range flag, lowest id, the table-of-contents
// field, validity in minutes, record size 3 and the records.
inline Bytes tableOfContents(const std::vector<TocRecord> &records, bool ranged = false, uint16_t lowest = 0,
                             uint16_t field = 1, uint16_t validityMinutes = 0)
{
    Bytes t{0x54, 0x00, static_cast<uint8_t>(ranged ? 1 : 0), 0x00};
    append16(t, lowest);
    append16(t, field);
    append16(t, validityMinutes);
    t.push_back(3);
    append16(t, 0);
    for (const TocRecord &r : records) {
        append16(t, r.id);
        t.push_back(r.header);
    }
    return t;
}

// Fragment data groups carrying `bytes` (object type 0 unless given) in
// pieces of `piece` bytes, continuity counting from `continuity`; the
// reassembled bytes end with their own CRC.
inline std::vector<Bytes> fragments(const Bytes &bytes, size_t piece, uint8_t continuity = 0, uint8_t type = 0)
{
    Bytes whole = bytes;
    append16(whole, crc16(bytes));
    std::vector<Bytes> groups;
    for (size_t at = 0; at < whole.size(); at += piece) {
        const size_t take = std::min(piece, whole.size() - at);
        Bytes payload{static_cast<uint8_t>((at == 0 ? 0x80 : 0) | (at + take >= whole.size() ? 0x40 : 0)
                                           | (continuity & 0x3F))};
        payload.insert(payload.end(), whole.begin() + static_cast<long>(at),
                       whole.begin() + static_cast<long>(at + take));
        GroupOptions options;
        options.fragment = true;
        options.type = type;
        groups.push_back(dataGroup(payload, options));
        continuity = static_cast<uint8_t>((continuity + 1) & 0x3F);
    }
    return groups;
}

} // namespace ZOZ::Test::Journaline

#endif
