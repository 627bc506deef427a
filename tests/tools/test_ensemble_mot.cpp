// MOT objects from the generator, taken apart again: header fields, segments,
// data groups in packet mode and in X-PAD.
#include "Mot.h"

#include "DabCrc16.h"

#include <gtest/gtest.h>

namespace {

using namespace ZOZ::EnsembleGen;

MotObject sampleSlide()
{
    MotObject object;
    object.transportId = 0x2345;
    object.contentType = 2;
    object.contentSubType = 1;
    object.contentName = "slide.jpg";
    for (int i = 0; i < 1000; ++i)
        object.body.push_back(uint8_t(i * 13));
    return object;
}

TEST(EnsembleMot, HeaderCoreAndContentName)
{
    const Bytes header = motHeader(sampleSlide());
    ASSERT_EQ(header.size(), 7u + 2u + 1u + 9u);
    const uint64_t core = (uint64_t(header[0]) << 48) | (uint64_t(header[1]) << 40) | (uint64_t(header[2]) << 32) |
                          (uint64_t(header[3]) << 24) | (uint64_t(header[4]) << 16) | (uint64_t(header[5]) << 8) |
                          header[6];
    EXPECT_EQ(core >> 28, 1000u);                 // body size
    EXPECT_EQ((core >> 15) & 0x1FFF, header.size());  // header size
    EXPECT_EQ((core >> 9) & 0x3F, 2u);            // image
    EXPECT_EQ(core & 0x1FF, 1u);                  // JPEG
    EXPECT_EQ(header[7], 0xCC);                   // variable length, ContentName
    EXPECT_EQ(header[8], 10);
    EXPECT_EQ(header[9], 0xF0);                   // UTF-8
    EXPECT_EQ(std::string(header.begin() + 10, header.end()), "slide.jpg");
}

TEST(EnsembleMot, ParameterLengthForms)
{
    EXPECT_EQ(motParameter(5, {}), (Bytes{0x05}));
    EXPECT_EQ(motParameter(5, {7}), (Bytes{0x45, 7}));
    EXPECT_EQ(motParameter(5, {1, 2, 3, 4}), (Bytes{0x85, 1, 2, 3, 4}));
    EXPECT_EQ(motParameter(5, {1, 2}), (Bytes{0xC5, 2, 1, 2}));
    const Bytes longParameter = motParameter(5, Bytes(300, 9));
    EXPECT_EQ(longParameter[0], 0xC5);
    EXPECT_EQ(longParameter[1], 0x80 | 1);
    EXPECT_EQ(longParameter[2], 300 - 256);
    EXPECT_EQ(longParameter.size(), 303u);
}

TEST(EnsembleMot, DataGroupsCarryHeaderAndBodySegments)
{
    int continuity[16] = {};
    const MotObject slide = sampleSlide();
    const std::vector<DataGroup> groups = motDataGroups(slide, 12, 400, continuity);
    ASSERT_EQ(groups.size(), 1u + 3u);
    EXPECT_EQ(groups[0].type, 3);
    EXPECT_EQ(groups[0].segmentNumber, 0);
    EXPECT_TRUE(groups[0].lastSegment);
    Bytes body;
    for (size_t i = 1; i < groups.size(); ++i) {
        SCOPED_TRACE(i);
        const DataGroup &group = groups[i];
        EXPECT_EQ(group.type, 4);
        EXPECT_EQ(group.address, 12);
        EXPECT_EQ(group.transportId, 0x2345);
        EXPECT_EQ(group.segmentNumber, int(i - 1));
        EXPECT_EQ(group.lastSegment, i == 3);
        EXPECT_EQ(group.continuity, int(i - 1));
        const size_t size = size_t(((group.data[0] & 0x1F) << 8) | group.data[1]);
        EXPECT_EQ(size, group.data.size() - 2);
        body.insert(body.end(), group.data.begin() + 2, group.data.end());
        const Bytes bytes = buildDataGroup(group);
        EXPECT_EQ(DAB_Bb_Ruz_Crc16(bytes.data(), bytes.size() - 2),
                  uint16_t((bytes[bytes.size() - 2] << 8) | bytes.back()));
    }
    EXPECT_EQ(body, slide.body);
    EXPECT_EQ(continuity[3], 1);
    EXPECT_EQ(continuity[4], 3);
}

TEST(EnsembleMot, XPadAnnouncesEachDataGroupByItsLength)
{
    int continuity[16] = {};
    const std::vector<DataGroup> groups = motDataGroups(sampleSlide(), 0, 100, continuity);
    std::vector<Bytes> bytes;
    for (const DataGroup &group : groups)
        bytes.push_back(buildDataGroup(group));
    // Frames of zeros stand in for the audio; 4 bytes of ScF-CRC.
    Mp2Content content({Bytes(384, 0)}, 4, {"Hi"}, 400, bytes);
    std::vector<std::pair<int, Bytes>> subfields;
    std::vector<int> lengthIndices;
    for (int n = 0; n < 40; ++n) {
        Bytes out(384);
        content.fill(n, out.data(), out.size());
        const size_t end = 382 - 4;
        Bytes data;
        for (size_t i = 0; i < 8; ++i)
            data.push_back(out[end - 3 - i]);
        subfields.emplace_back(out[end - 1] & 0x1F, data);
        lengthIndices.push_back(out[end - 1] >> 5);
    }
    // "Hi" takes one subfield (2 + 2 + 2 bytes), then the length indicator,
    // then the first data group (the MOT header) from its start.
    EXPECT_EQ(subfields[0].first, 2);
    ASSERT_EQ(subfields[1].first, 1);
    // The indicator has a subfield of 4 bytes (length index 0), the data 8 (index 2).
    EXPECT_EQ(lengthIndices[1], 0);
    EXPECT_EQ(lengthIndices[2], 2);
    const Bytes &indicator = subfields[1].second;
    const size_t length = size_t(((indicator[0] & 0x3F) << 8) | indicator[1]);
    EXPECT_EQ(length, bytes[0].size());
    EXPECT_EQ(DAB_Bb_Ruz_Crc16(indicator.data(), 2), uint16_t((indicator[2] << 8) | indicator[3]));
    Bytes group;
    size_t i = 2;
    EXPECT_EQ(subfields[i].first, 12);
    while (group.size() < length) {
        ASSERT_EQ(subfields[i].first, i == 2 ? 12 : 13) << i;
        group.insert(group.end(), subfields[i].second.begin(), subfields[i].second.end());
        ++i;
    }
    group.resize(length);
    EXPECT_EQ(group, bytes[0]);
    // Then the label again, and the next data group.
    EXPECT_EQ(subfields[i].first, 2);
    EXPECT_EQ(subfields[i + 1].first, 1);
}

} // namespace
