// Real broadcast PAD: the DAB+ sub-channels of a recorded ensemble, split into
// access units by the superframe parser; the PAD of each unit (its leading
// data stream element) goes to a PAD decoder per sub-channel, with Dynamic
// Label and MOT (X-PAD application type 12) registered.
#include "DABplusParser.h"
#include "DabDlDecoder.h"
#include "EtiSubchannels.h"
#include "PadDecoderHarness.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace ZOZ::Test::Pad;

namespace {

constexpr uint8_t DataStreamElement = 4; // raw data block element id

// The PAD of an access unit: the bytes of a data stream element that opens it,
// or nothing.
Bytes accessUnitPad(const uint8_t *au, uint32_t length)
{
    if (length < 2 || (au[0] >> 5) != DataStreamElement)
        return {};
    // 3 bits id, 4 bits tag, 1 bit alignment flag, 8 bits count (+8 when 255):
    // the bytes start on a byte boundary either way.
    uint32_t count = au[1];
    uint32_t start = 2;
    if (count == 255) {
        if (length < 3)
            return {};
        count += au[2];
        start = 3;
    }
    if (start + count > length)
        return {};
    return Bytes(au + start, au + start + count);
}

struct Labels {
    std::vector<std::string> texts;
    static void label(uint8_t, const uint8_t *text, uint32_t length, void *context)
    {
        static_cast<Labels *>(context)->texts.emplace_back(reinterpret_cast<const char *>(text), length);
    }
};

struct SubchannelResult {
    size_t pads = 0;
    std::map<int, size_t> results;
    std::vector<std::string> labels;
};

SubchannelResult decodeSubchannel(const EtiSubchannel &sub)
{
    SubchannelResult out;
    DABplusParserHandle parser = nullptr;
    if (DABplusParser_Open(&parser, sub.size) != 0)
        return out;
    Labels labels;
    auto *dl = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
    DAB_Bb_Ruz_DlDecoderInit(dl, &labels, &Labels::label, nullptr);
    PadDecoderHarness pad;
    pad.add(DlStart, 1, 128);
    pad.add(MotStart, 1, 8215);
    const size_t frameSize = 24 * sub.size;
    DABplusAccessUnitTable table = {};
    for (size_t offset = 0; offset + frameSize <= sub.bytes.size(); offset += frameSize) {
        uint32_t frames = 1;
        if (DABplusParser_ParseSuperframe(parser, &sub.bytes[offset], &frames, &table) != 0)
            break;
        if (DABplusParser_GetStreamHeader(parser)->streamType < DABPLUS_STREAM_AAC)
            continue;
        for (uint32_t i = 0; i < table.auCount; ++i) {
            const Bytes field = accessUnitPad(table.au[i], table.auLength[i]);
            if (field.empty())
                continue;
            ++out.pads;
            ++out.results[pad.process(field)];
        }
    }
    for (const Bytes &group : pad.groupsOf(DlStart))
        DAB_Bb_Ruz_DlDecoderProcessDataGroup(dl, group.data(), uint32_t(group.size()));
    std::free(dl);
    DABplusParser_Close(&parser);
    out.labels = labels.texts;
    return out;
}

// The recording is 1.39 s long: whole labels, but no whole MOT data group (its
// SlideShow subfields continue groups begun before it, which no application
// takes). Every PAD field is valid X-PAD.
TEST(PadRecording, SloveniaLabels)
{
    const auto subchannels = readEtiSubchannels(std::string(ZOZ_TESTDATA_DIR) + "/slovenia-r1.eti");
    if (subchannels.empty())
        GTEST_SKIP() << "slovenia-r1.eti not found in " ZOZ_TESTDATA_DIR;
    const std::map<uint32_t, std::vector<std::string>> expected = {
        {0, {"Vedno prvi"}},
        {1, {"Ujame vse"}},
        // Three segments; the bytes above 127 are the broadcaster's character set, as sent.
        {2, {"Predstavljamo delovanje dinami\xDBnih sporo\xDBil"}},
        {3, {"Radio Slovenija Ars"}},
        {8, {"Ritem Ljubljane"}},
        {9, {"Tvoji najljub\xDCi hiti"}},
        {10, {"100% Rock"}},
    };
    std::map<uint32_t, std::vector<std::string>> labels;
    size_t pads = 0;
    for (const auto &[id, sub] : subchannels) {
        if (sub.size == 0 || sub.size > 24)
            continue;
        SCOPED_TRACE("sub-channel " + std::to_string(id));
        const SubchannelResult r = decodeSubchannel(sub);
        pads += r.pads;
        for (const auto &[code, count] : r.results)
            EXPECT_TRUE(code == PAD_DECODER_OK || code == PAD_DECODER_NO_APPLICATION) << count << " x " << code;
        if (!r.labels.empty())
            labels[id] = r.labels;
    }
    EXPECT_GE(pads, 60u);
    EXPECT_EQ(expected, labels);
}

} // namespace
