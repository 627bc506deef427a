// The PAD road of a Layer II service: frames made by twolame, their tails
// rewritten with X-PAD and F-PAD as a broadcaster puts them there (twolame only
// reserves the room), the PAD taken out by the Layer II decoder, the
// scale-factor CRC bytes removed as the audio service does, then the PAD
// decoder, which feeds the Dynamic Label decoder and a data service registered
// under its X-PAD application type.
#include "DabDlDecoder.h"
#include "Layer2Dec.h"
#include "PadDecoderHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

using namespace ZOZ::Test::Pad;

namespace {

const double Pi = std::acos(-1.0);
constexpr int SampleRate = 48000;
constexpr int BitRate = 128;                       // kbit/s, stereo: 64 per channel
constexpr size_t FrameBytes = BitRate * 3;         // 24 ms at 48 kHz, no padding slot
constexpr size_t ScfCrcBytes = 4;                  // 56 kbit/s per channel and more
constexpr size_t FpadBytes = 2;
constexpr size_t TailBytes = 64;                   // reserved at the end of every frame
constexpr size_t XPadRoom = TailBytes - ScfCrcBytes - FpadBytes;

// Two seconds of a stereo tone, encoded by the twolame command with room for
// the tail; empty when twolame is missing.
std::vector<uint8_t> twolameFrames()
{
    if (std::system("command -v twolame >/dev/null 2>&1") != 0)
        return {};
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zoz-pad-layer2-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path raw = dir / "tone.raw", mp2 = dir / "tone.mp2";
    {
        std::ofstream out(raw, std::ios::binary);
        for (int n = 0; n < 2 * SampleRate; ++n) {
            const double t = double(n) / SampleRate;
            const int16_t left = int16_t(8000 * std::sin(2 * Pi * 440 * t));
            const int16_t right = int16_t(8000 * std::sin(2 * Pi * 660 * t));
            for (int16_t s : {left, right}) {
                out.put(char(s & 0xFF));
                out.put(char((s >> 8) & 0xFF));
            }
        }
    }
    const std::string command = "twolame --quiet -r -s " + std::to_string(SampleRate) + " -N 2 -m s -b " +
                                std::to_string(BitRate) + " -R " + std::to_string(TailBytes * 8) + " '" +
                                raw.string() + "' '" + mp2.string() + "'";
    std::vector<uint8_t> bytes;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(mp2, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::remove_all(dir);
    return bytes;
}

// Writes a PAD field (X-PAD reversed, F-PAD) into the tail of a frame: the
// X-PAD ends where the scale-factor CRC begins, the F-PAD ends the frame.
void writeTail(uint8_t *frame, const Bytes &padField)
{
    uint8_t *tail = frame + FrameBytes - TailBytes;
    std::fill(tail, tail + TailBytes, 0);
    const size_t xpadBytes = padField.size() - FpadBytes;
    ASSERT_LE(xpadBytes, XPadRoom);
    std::copy(padField.begin(), padField.begin() + long(xpadBytes),
              frame + FrameBytes - FpadBytes - ScfCrcBytes - xpadBytes);
    frame[FrameBytes - 2] = padField[xpadBytes];
    frame[FrameBytes - 1] = padField[xpadBytes + 1];
}

// What a data service attached to the audio service would do with its groups.
struct FakeDataService {
    std::vector<Bytes> received;
    static int receiveData(uint8_t *buffer, uint32_t length, void *context)
    {
        static_cast<FakeDataService *>(context)->received.emplace_back(buffer, buffer + length);
        return 0;
    }
};

struct Labels {
    std::vector<std::string> texts;
    static void label(uint8_t, const uint8_t *text, uint32_t length, void *context)
    {
        static_cast<Labels *>(context)->texts.emplace_back(reinterpret_cast<const char *>(text), length);
    }
};

// The Dynamic Label application: each group to the DL decoder; its errors
// are told apart from the PAD decoder's own results by adding 8.
int dynamicLabelGroup(uint8_t *buffer, uint32_t length, void *context)
{
    const int r = DAB_Bb_Ruz_DlDecoderProcessDataGroup(static_cast<DabDlDecoder *>(context), buffer, length);
    return r == 0 ? 0 : r + 8;
}

TEST(PadLayer2, TwolameFramesCarryLabelAndSlideShowGroups)
{
    std::vector<uint8_t> stream = twolameFrames();
    if (stream.empty())
        GTEST_SKIP() << "twolame (Debian package twolame) is not installed";
    const size_t frames = stream.size() / FrameBytes;
    ASSERT_GE(frames, 60u);
    for (size_t f = 0; f < frames; ++f)
        ASSERT_EQ(0xFFF, (stream[f * FrameBytes] << 4) | (stream[f * FrameBytes + 1] >> 4)) << "frame " << f;

    const std::string text = "ZOZ on air: the PAD road through a Layer II frame";
    const Bytes slide = sampleGroup(500, 0x21);
    const Bytes directory = sampleGroup(90, 0x42);
    std::vector<Item> items;
    for (const Bytes &segment : dlLabel(false, text))
        items.push_back({DlStart, DlContinuation, segment});
    for (const Bytes *group : {&slide, &directory})
        for (const Item &item : motItems(*group))
            items.push_back(item);

    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "continuation without indicators" : "continuation indicators");
        const std::vector<Bytes> pads = variablePads(items, 6, plain);
        ASSERT_LE(pads.size(), frames);
        for (size_t f = 0; f < frames; ++f)
            writeTail(&stream[f * FrameBytes], f < pads.size() ? pads[f] : padField({}, XPad::None, false));

        Labels labels;
        auto *dl = static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize()));
        ASSERT_EQ(DL_DECODER_OK, DAB_Bb_Ruz_DlDecoderInit(dl, &labels, &Labels::label, nullptr));
        auto *pad = static_cast<DabPadDecoder *>(std::malloc(DAB_Bb_Ruz_PadDecoderGetSize()));
        ASSERT_EQ(PAD_DECODER_OK, DAB_Bb_Ruz_PadDecoderInit(pad));
        uint8_t dlBuffer[128];
        ASSERT_EQ(PAD_DECODER_OK, DAB_Bb_Ruz_PadDecoderAddApplication(pad, DlStart, 1, dlBuffer, sizeof dlBuffer,
                                                                      dynamicLabelGroup, dl));
        FakeDataService slideShow;
        std::vector<uint8_t> slideBuffer(8215);
        ASSERT_EQ(PAD_DECODER_OK,
                  DAB_Bb_Ruz_PadDecoderAddApplication(pad, MotStart, 1, slideBuffer.data(), uint32_t(slideBuffer.size()),
                                                      &FakeDataService::receiveData, &slideShow));

        Layer2DecHandle decoder = Layer2Dec_Open(nullptr, 0, 1, 1);
        ASSERT_NE(nullptr, decoder);
        Layer2Dec_SetParam(decoder, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
        std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
        std::vector<uint8_t> padArea(256);
        for (size_t f = 0; f < frames; ++f) {
            uint32_t valid = uint32_t(FrameBytes);
            Layer2Dec_Fill(decoder, &stream[f * FrameBytes], valid, &valid);
            uint32_t samples = 0, padBits = 0;
            const Layer2DecResult r = Layer2Dec_DecodeFrame(decoder, pcm.data(), uint32_t(pcm.size()), &samples,
                                                            padArea.data(), uint32_t(padArea.size()), &padBits, 0);
            ASSERT_TRUE(LAYER2DEC_IS_SUCCESS(r)) << "frame " << f;
            // The Layer II PAD area ends with X-PAD, scale-factor CRC, F-PAD:
            // the F-PAD moves down over the CRC so that it follows the X-PAD.
            const size_t p = padBits / 8;
            ASSERT_GE(p, ScfCrcBytes + FpadBytes + XPadRoom);
            padArea[p - ScfCrcBytes - 2] = padArea[p - 2];
            padArea[p - ScfCrcBytes - 1] = padArea[p - 1];
            EXPECT_EQ(PAD_DECODER_OK, DAB_Bb_Ruz_PadDecoderProcessPad(pad, padArea.data(), uint32_t(p - ScfCrcBytes)))
                << "frame " << f;
        }
        Layer2Dec_Close(&decoder);
        std::free(pad);
        std::free(dl);

        EXPECT_EQ((std::vector<Bytes>{slide, directory}), slideShow.received);
        EXPECT_EQ(std::vector<std::string>{text}, labels.texts);
    }
}

} // namespace
