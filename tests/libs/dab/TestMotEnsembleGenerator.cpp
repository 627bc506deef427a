// The test-ensemble generator's MOT (the demo's SlideShow) reassembled by the
// decoder in header mode, as the SlideShow will take it.
#include "DabMotDecoder.h"
#include "Mot.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Received {
    std::vector<uint8_t> body;
    std::string name;
    uint16_t transportId = 0;
    int count = 0;
};

int keep(const uint8_t *object, uint32_t size, const MotHeader *header, void *context)
{
    auto &r = *static_cast<Received *>(context);
    ++r.count;
    r.body.assign(object, object + size);
    r.transportId = header->transportId;
    r.name.assign(reinterpret_cast<const char *>(header->contentName), header->contentNameLength);
    return 0;
}

TEST(MotEnsembleGenerator, SlideGroupsReassemble)
{
    using namespace ZOZ::EnsembleGen;
    MotObject slide;
    slide.transportId = 0x2A;
    slide.contentName = "zoz-classic.png";
    slide.contentSubType = 3;
    for (int i = 0; i < 20000; ++i)
        slide.body.push_back(static_cast<uint8_t>(i * 13));
    int continuity[16] = {};
    const std::vector<DataGroup> groups = motDataGroups(slide, 1, 1024, continuity);

    std::vector<uint8_t> instance(DAB_Bb_Ruz_MotDecoderGetSize());
    std::vector<uint8_t> entity(MOT_DECODER_HEADER_AREA + 30000);
    Received received;
    auto *decoder = reinterpret_cast<DabMotDecoder *>(instance.data());
    ASSERT_EQ(0, DAB_Bb_Ruz_MotDecoderInit(decoder, 0, entity.data(), uint32_t(entity.size()), keep, &received,
                                           nullptr, 0));
    for (const DataGroup &group : groups) {
        const Bytes bytes = buildDataGroup(group);
        EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderProcessDataGroup(decoder, bytes.data(), uint32_t(bytes.size())));
    }
    EXPECT_EQ(1, received.count);
    EXPECT_EQ(slide.body, received.body);
    EXPECT_EQ(0x2A, received.transportId);
    EXPECT_EQ("zoz-classic.png", received.name);
}

} // namespace
