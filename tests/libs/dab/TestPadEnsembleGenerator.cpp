// The PAD that the test-ensemble generator writes into its Layer II frames (the
// demo ensemble's Dynamic Label) comes out of the PAD decoder as the labels
// that went in, each time the text changes.
#include "Contents.h"
#include "DabDlDecoder.h"
#include "PadDecoderHarness.h"

#include <gtest/gtest.h>

#include <string>

using namespace ZOZ::Test::Pad;

namespace {

struct Labels {
    std::vector<std::string> texts;
    static void label(uint8_t, const uint8_t *text, uint32_t length, void *context)
    {
        static_cast<Labels *>(context)->texts.emplace_back(reinterpret_cast<const char *>(text), length);
    }
};

TEST(PadEnsembleGenerator, LabelsComeBack)
{
    constexpr size_t FrameBytes = 384;
    constexpr int ScfCrcBytes = 4;
    constexpr size_t PadArea = 64; // the tail a Layer II decoder hands out
    const std::vector<std::string> texts = {"ZOZ demo: first label", "Second label, a little longer than 16"};
    ZOZ::EnsembleGen::Mp2Content content({Bytes(FrameBytes, 0x55)}, ScfCrcBytes, texts, 150);

    Labels labels;
    auto *dl = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
    ASSERT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderInit(dl, &labels, &Labels::label, nullptr));
    PadDecoderHarness pad;
    ASSERT_EQ(PAD_DECODER_OK, pad.add(DlStart, 1, 128));

    Bytes frame(FrameBytes);
    for (int f = 0; f < 600; ++f) {
        content.fill(f, frame.data(), frame.size());
        // The F-PAD moves down over the scale-factor CRC.
        Bytes field(frame.end() - PadArea, frame.end() - ScfCrcBytes);
        field[field.size() - 2] = frame[FrameBytes - 2];
        field[field.size() - 1] = frame[FrameBytes - 1];
        EXPECT_EQ(PAD_DECODER_OK, pad.process(field)) << "frame " << f;
    }
    for (const Bytes &group : pad.groupsOf(DlStart))
        EXPECT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderProcessDataGroup(dl, group.data(), uint32_t(group.size())));
    std::free(dl);

    ASSERT_GE(labels.texts.size(), 3u);
    for (size_t i = 0; i < labels.texts.size(); ++i)
        EXPECT_EQ(texts[i % 2], labels.texts[i]) << "label " << i;
}

} // namespace
