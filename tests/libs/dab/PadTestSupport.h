// Builds programme-associated data for tests: Dynamic Label data groups, data
// group length indicators, and PAD fields (short and variable-size X-PAD) in
// the order an audio frame carries them: the X-PAD reversed, then the F-PAD.
#ifndef ZOZ_TESTS_PAD_TEST_SUPPORT_H
#define ZOZ_TESTS_PAD_TEST_SUPPORT_H

#include "PacketTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace ZOZ::Test::Pad {

using Packet::appendCrc;
using Packet::Bytes;

// X-PAD application types.
constexpr uint8_t EndMarker = 0;
constexpr uint8_t LengthIndicator = 1;
constexpr uint8_t DlStart = 2;
constexpr uint8_t DlContinuation = 3;
constexpr uint8_t MotStart = 12;
constexpr uint8_t MotContinuation = 13;

constexpr uint8_t CharsetUtf8 = 15;

// Subfield bytes of each length index of a contents indicator, written out here
// as the standard lists them.
inline size_t subfieldBytes(int lengthIndex)
{
    switch (lengthIndex) {
    case 0: return 4;
    case 1: return 6;
    case 2: return 8;
    case 3: return 12;
    case 4: return 16;
    case 5: return 24;
    case 6: return 32;
    default: return 48;
    }
}

// One segment of a label: prefix, the characters, CRC.
inline Bytes dlSegment(bool toggle, int segment, bool last, const std::string &text, uint8_t charset = CharsetUtf8)
{
    const size_t count = std::max<size_t>(text.size(), 1);
    Bytes g(2 + text.size());
    g[0] = static_cast<uint8_t>((toggle ? 0x80 : 0) | (segment == 0 ? 0x40 : 0) | (last ? 0x20 : 0)
                                | ((count - 1) & 0x0F));
    g[1] = static_cast<uint8_t>(segment == 0 ? charset << 4 : (segment & 7) << 4);
    std::copy(text.begin(), text.end(), g.begin() + 2);
    appendCrc(g);
    return g;
}

// A whole label as its segments of up to 16 characters, in order.
inline std::vector<Bytes> dlLabel(bool toggle, const std::string &text)
{
    std::vector<Bytes> groups;
    const size_t segments = std::max<size_t>(1, (text.size() + 15) / 16);
    for (size_t s = 0; s < segments; ++s)
        groups.push_back(dlSegment(toggle, static_cast<int>(s), s + 1 == segments, text.substr(s * 16, 16)));
    return groups;
}

// A command group (first and last set): remove label has no body, DL Plus
// carries its link bit and body.
inline Bytes dlCommand(bool toggle, uint8_t command, bool link = false, const Bytes &body = {})
{
    Bytes g(2 + body.size());
    g[0] = static_cast<uint8_t>((toggle ? 0x80 : 0) | 0x40 | 0x20 | 0x10 | (command & 0x0F));
    g[1] = static_cast<uint8_t>(body.empty() ? 0 : ((link ? 0x80 : 0) | ((body.size() - 1) & 0x0F)));
    std::copy(body.begin(), body.end(), g.begin() + 2);
    appendCrc(g);
    return g;
}

// The 4 bytes that announce an X-PAD data group of `length` bytes.
inline Bytes lengthIndicator(size_t length)
{
    Bytes b{static_cast<uint8_t>((length >> 8) & 0x3F), static_cast<uint8_t>(length)};
    appendCrc(b);
    return b;
}

// F-PAD byte L-1 of type 0 with its X-PAD indicator, byte L with the CI flag.
enum class XPad : uint8_t { None = 0, Short = 1, Variable = 2 };

// A PAD field in frame order: the X-PAD (given in its own order) reversed,
// then the two F-PAD bytes.
inline Bytes padField(const Bytes &xpad, XPad kind, bool ciFlag)
{
    Bytes pad(xpad.rbegin(), xpad.rend());
    pad.push_back(static_cast<uint8_t>(static_cast<uint8_t>(kind) << 4));
    pad.push_back(ciFlag ? 0x02 : 0x00);
    return pad;
}

struct Subfield {
    uint8_t appType;
    int lengthIndex;
    Bytes bytes; // at most the length the index gives; zero padded
};

// A variable-size X-PAD with contents indicators: the list (closed by an end
// marker when shorter than 4), then the subfields; `totalBytes` pads the X-PAD
// with zeros at its end (0: no padding).
inline Bytes variableXPad(const std::vector<Subfield> &subfields, size_t totalBytes = 0)
{
    Bytes xpad;
    for (const Subfield &s : subfields)
        xpad.push_back(static_cast<uint8_t>((s.lengthIndex << 5) | s.appType));
    if (subfields.size() < 4)
        xpad.push_back(EndMarker);
    for (const Subfield &s : subfields) {
        Bytes field = s.bytes;
        field.resize(subfieldBytes(s.lengthIndex), 0);
        xpad.insert(xpad.end(), field.begin(), field.end());
    }
    if (xpad.size() < totalBytes)
        xpad.resize(totalBytes, 0);
    return xpad;
}

inline Bytes variablePad(const std::vector<Subfield> &subfields, size_t totalBytes = 0)
{
    return padField(variableXPad(subfields, totalBytes), XPad::Variable, true);
}

// A short X-PAD: with a contents indicator and 3 data bytes, or 4 data bytes.
inline Bytes shortPad(bool withIndicator, uint8_t appType, Bytes data)
{
    Bytes xpad;
    if (withIndicator)
        xpad.push_back(appType);
    data.resize(withIndicator ? 3 : 4, 0);
    xpad.insert(xpad.end(), data.begin(), data.end());
    return padField(xpad, XPad::Short, withIndicator);
}

// A data group to carry in X-PAD: its start and continuation types; MOT
// groups get a length indicator in front.
struct Item {
    uint8_t startType;
    uint8_t continuationType;
    Bytes bytes;
};

// The PAD fields of consecutive frames that carry the items in variable-size
// X-PAD, one subfield of `lengthIndex` per frame. A group's first frame holds
// its start type; with `plainContinuation` the frames after it carry no
// contents indicator, so they repeat the X-PAD's length, else each names the
// continuation type.
inline std::vector<Bytes> variablePads(const std::vector<Item> &items, int lengthIndex, bool plainContinuation)
{
    std::vector<Bytes> pads;
    for (const Item &item : items) {
        // A length indicator is always a subfield of its own 4 bytes.
        const int index = item.startType == LengthIndicator ? 0 : lengthIndex;
        const size_t field = subfieldBytes(index);
        const size_t xpadBytes = field + 2; // indicator, end marker, subfield
        size_t offset = 0;
        while (offset < item.bytes.size()) {
            if (offset > 0 && plainContinuation) {
                const size_t take = std::min(xpadBytes, item.bytes.size() - offset);
                Bytes xpad(item.bytes.begin() + long(offset), item.bytes.begin() + long(offset + take));
                xpad.resize(xpadBytes, 0);
                pads.push_back(padField(xpad, XPad::Variable, false));
                offset += take;
                continue;
            }
            const size_t take = std::min(field, item.bytes.size() - offset);
            const uint8_t type = offset == 0 ? item.startType : item.continuationType;
            pads.push_back(variablePad({{type, index,
                                         Bytes(item.bytes.begin() + long(offset),
                                               item.bytes.begin() + long(offset + take))}}));
            offset += take;
        }
    }
    return pads;
}

// The same in short X-PAD: 3 bytes after the indicator, then 4 per frame.
inline std::vector<Bytes> shortPads(const std::vector<Item> &items)
{
    std::vector<Bytes> pads;
    for (const Item &item : items) {
        size_t offset = 0;
        while (offset < item.bytes.size()) {
            const bool first = offset == 0;
            const size_t take = std::min<size_t>(first ? 3 : 4, item.bytes.size() - offset);
            pads.push_back(shortPad(first, item.startType,
                                    Bytes(item.bytes.begin() + long(offset), item.bytes.begin() + long(offset + take))));
            offset += take;
        }
    }
    return pads;
}

// A MOT data group as X-PAD carries it: length indicator, then the group.
inline std::vector<Item> motItems(const Bytes &group)
{
    return {{LengthIndicator, LengthIndicator, lengthIndicator(group.size())}, {MotStart, MotContinuation, group}};
}

// Some data group bytes: a counter pattern with a CRC at the end.
inline Bytes sampleGroup(size_t length, uint8_t seed)
{
    Bytes g;
    for (size_t i = 0; i + 2 < length; ++i)
        g.push_back(static_cast<uint8_t>(seed + i * 7));
    appendCrc(g);
    return g;
}

} // namespace ZOZ::Test::Pad

#endif
