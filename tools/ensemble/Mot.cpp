#include "Mot.h"

#include <algorithm>

namespace ZOZ::EnsembleGen {

namespace {

constexpr int ContentNameParameter = 0x0C;
constexpr int CharsetUtf8 = 15;
constexpr int HeaderCoreBytes = 7;
constexpr int DataGroupMotHeader = 3;
constexpr int DataGroupMotBody = 4;
// The segment size field has 13 bits.
constexpr size_t MaxSegmentBytes = 8191;

Bytes segment(const uint8_t *data, size_t length)
{
    // Segmentation header: repetition count 0, segment size.
    Bytes bytes{uint8_t((length >> 8) & 0x1F), uint8_t(length)};
    bytes.insert(bytes.end(), data, data + length);
    return bytes;
}

} // namespace

Bytes motParameter(int id, const Bytes &data)
{
    Bytes bytes;
    int indicator = 3;
    if (data.empty())
        indicator = 0;
    else if (data.size() == 1)
        indicator = 1;
    else if (data.size() == 4)
        indicator = 2;
    bytes.push_back(uint8_t((indicator << 6) | (id & 0x3F)));
    if (indicator == 3) {
        if (data.size() < 128) {
            bytes.push_back(uint8_t(data.size()));
        } else {
            bytes.push_back(uint8_t(0x80 | ((data.size() >> 8) & 0x7F)));
            bytes.push_back(uint8_t(data.size()));
        }
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes motHeader(const MotObject &object)
{
    Bytes extension;
    if (!object.contentName.empty()) {
        Bytes name(1 + object.contentName.size());
        name[0] = uint8_t(CharsetUtf8 << 4);
        std::copy(object.contentName.begin(), object.contentName.end(), name.begin() + 1);
        extension = motParameter(ContentNameParameter, name);
    }
    extension.insert(extension.end(), object.extraParameters.begin(), object.extraParameters.end());
    const uint32_t bodySize = uint32_t(object.body.size());
    const uint32_t headerSize = uint32_t(HeaderCoreBytes + extension.size());
    // Body size 28 bits, header size 13, content type 6, content subtype 9.
    const uint64_t core = (uint64_t(bodySize & 0x0FFFFFFF) << 28) | (uint64_t(headerSize & 0x1FFF) << 15) |
                          (uint64_t(object.contentType & 0x3F) << 9) | uint64_t(object.contentSubType & 0x1FF);
    Bytes header;
    for (int shift = 48; shift >= 0; shift -= 8)
        header.push_back(uint8_t(core >> shift));
    header.insert(header.end(), extension.begin(), extension.end());
    return header;
}

std::vector<DataGroup> motDataGroups(const MotObject &object, int address, size_t segmentBytes, int continuity[16])
{
    segmentBytes = std::clamp<size_t>(segmentBytes, 1, MaxSegmentBytes);
    std::vector<DataGroup> groups;
    auto add = [&](int type, int number, bool last, const uint8_t *data, size_t length) {
        DataGroup group;
        group.address = address;
        group.type = type;
        group.segmentNumber = number;
        group.lastSegment = last;
        group.transportId = object.transportId;
        group.continuity = continuity[type];
        continuity[type] = (continuity[type] + 1) % 16;
        group.data = segment(data, length);
        groups.push_back(group);
    };
    const Bytes header = motHeader(object);
    add(DataGroupMotHeader, 0, true, header.data(), header.size());
    const size_t count = std::max<size_t>(1, (object.body.size() + segmentBytes - 1) / segmentBytes);
    for (size_t n = 0; n < count; ++n) {
        const size_t begin = n * segmentBytes;
        const size_t length = std::min(segmentBytes, object.body.size() - std::min(begin, object.body.size()));
        add(DataGroupMotBody, int(n), n + 1 == count, object.body.data() + begin, length);
    }
    return groups;
}

} // namespace ZOZ::EnsembleGen
