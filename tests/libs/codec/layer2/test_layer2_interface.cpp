// The decoder's interface: parameters, buffers, synchronisation, damaged and
// hostile frames, the spatial stage and the library information.
#include "layer2_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// A 48 kHz MPEG-1 Layer II header without CRC.
std::vector<uint8_t> header(int bitRateIndex, int mode, bool crc = false)
{
    const uint32_t word = 0xFFFC0000u | (crc ? 0u : 0x10000u) | static_cast<uint32_t>(bitRateIndex) << 12 | 1u << 10
                          | static_cast<uint32_t>(mode) << 6;
    return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
            static_cast<uint8_t>(word)};
}

// A whole frame: header, then `fill` for the rest.
std::vector<uint8_t> frame(int bitRateIndex, int mode, uint8_t fill)
{
    static const int kbps[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    std::vector<uint8_t> f = header(bitRateIndex, mode);
    f.resize(static_cast<size_t>(144 * kbps[bitRateIndex] / 48), fill);
    return f;
}

struct Decoder
{
    Layer2DecHandle h;
    explicit Decoder(int dab = 0, int pad = 0) : h(Layer2Dec_Open(nullptr, 0, dab, pad)) {}
    ~Decoder() { Layer2Dec_Close(&h); }
    Layer2DecResult fill(const std::vector<uint8_t> &bytes)
    {
        uint32_t valid = static_cast<uint32_t>(bytes.size());
        return Layer2Dec_Fill(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &valid);
    }
};

TEST(Layer2Interface, ParametersAreCheckedBeforeTheHandle)
{
    struct Case { int32_t id, value; Layer2DecResult expected; };
    const Case cases[] = {
        {LAYER2DEC_PARAM_OUTPUT_CHANNELS, 7, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_OUTPUT_CHANNELS, -2, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_RESERVED, 0, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_INTERLEAVED, 2, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_FADE_OUT_FRAMES, 16, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_GOOD_FRAMES, 32, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_NOISE_LEVEL, 128, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_SPARE_LEVEL, 257, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_DRC_FACTOR, -1, LAYER2DEC_INVALID_ARGUMENT},
        {4, 0, LAYER2DEC_INVALID_ARGUMENT},
        {LAYER2DEC_PARAM_DRC_FACTOR, 127, LAYER2DEC_INVALID_HANDLE},
        {LAYER2DEC_PARAM_SPATIAL_ENABLE, 1, LAYER2DEC_INVALID_HANDLE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Layer2Dec_SetParam(nullptr, c.id, c.value), c.expected) << c.id << " = " << c.value;

    Decoder d;
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_OUTPUT_CHANNELS, 7), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_OUTPUT_CHANNELS, 2), LAYER2DEC_OK);
    // The downmix knows no layout of three to five channels.
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_OUTPUT_CHANNELS, 4), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_DRC_FACTOR, 64), LAYER2DEC_OK);
    // No spatial decoder is linked: its parameters find no component.
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_SPATIAL_770, 1), LAYER2DEC_INVALID_HANDLE);
    EXPECT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_SPATIAL_ENABLE, 1), LAYER2DEC_OK);

    const int16_t good[16] = {12, 24, 36, 48, 60, 72, 84, 96, 108, 120, 132, 144, 156, 168, 180, 192};
    int16_t bad[16];
    std::memcpy(bad, good, sizeof bad);
    bad[15] = 300;
    EXPECT_EQ(Layer2Dec_SetParamArray(d.h, LAYER2DEC_PARAM_FADE_OUT_TABLE, good), LAYER2DEC_OK);
    EXPECT_EQ(Layer2Dec_SetParamArray(d.h, LAYER2DEC_PARAM_FADE_IN_TABLE, bad), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_SetParamArray(d.h, LAYER2DEC_PARAM_FADE_IN_TABLE, nullptr), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_SetParamArray(d.h, LAYER2DEC_PARAM_NOISE_LEVEL, good), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_SetParamArray(nullptr, LAYER2DEC_PARAM_FADE_OUT_TABLE, good), LAYER2DEC_INVALID_HANDLE);
}

TEST(Layer2Interface, BufferChecks)
{
    const auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    {
        Decoder d;
        d.fill(stream);
        std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES - 1);
        uint32_t samples = 99;
        EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples, nullptr, 0,
                                        nullptr, 0),
                  LAYER2DEC_BUFFER_TOO_SMALL);
        EXPECT_EQ(samples, 0u);
        EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, nullptr, 0, &samples, nullptr, 0, nullptr, 0), LAYER2DEC_INVALID_ARGUMENT);
    }
    {
        Decoder d(0, 1);
        d.fill(stream);
        std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
        uint8_t pad[LAYER2DEC_MIN_PAD_BUFFER];
        EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, nullptr, 0,
                                        nullptr, 0),
                  LAYER2DEC_INVALID_ARGUMENT);
        EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, pad,
                                        sizeof pad - 1, nullptr, 0),
                  LAYER2DEC_BUFFER_TOO_SMALL);
        EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, pad, sizeof pad,
                                        nullptr, 0),
                  LAYER2DEC_OK);
    }
    Decoder d;
    uint32_t valid = 10;
    uint8_t bytes[4] = {};
    EXPECT_EQ(Layer2Dec_Fill(d.h, bytes, 4, &valid), LAYER2DEC_INVALID_ARGUMENT);
    EXPECT_EQ(Layer2Dec_Fill(nullptr, bytes, 4, &valid), LAYER2DEC_INVALID_HANDLE);
}

TEST(Layer2Interface, PlanarAndInterleavedCarryTheSameSignal)
{
    const auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    const DecodedStream a = decodeStream(stream, 0, 333, 1);
    const DecodedStream b = decodeStream(stream, 0, 333, 0);
    ASSERT_EQ(a.channels.size(), 2u);
    EXPECT_EQ(a.channels, b.channels);
}

TEST(Layer2Interface, SynchronisesAfterGarbageAndInAnyPieces)
{
    auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    const DecodedStream clean = decodeStream(stream);
    const uint8_t garbage[] = {0xFF, 0xF0, 0x12, 0xFF, 0xFF, 0x00, 0x13, 0x37};
    std::vector<uint8_t> noisy(sizeof garbage + stream.size());
    std::memcpy(noisy.data(), garbage, sizeof garbage);
    std::memcpy(noisy.data() + sizeof garbage, stream.data(), stream.size());
    for (size_t chunk : {1u, 7u, 576u, 5000u}) {
        SCOPED_TRACE(chunk);
        const DecodedStream d = decodeStream(noisy, 0, chunk);
        EXPECT_EQ(d.channels, clean.channels);
    }
}

TEST(Layer2Interface, ConcealRequestWithoutAnyFrameIsRefused)
{
    Decoder d;
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    uint32_t samples = 0;
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples, nullptr, 0, nullptr,
                                    1),
              LAYER2DEC_UNSUPPORTED_RATE);
    EXPECT_EQ(samples, 0u);
}

TEST(Layer2Interface, ConcealRequestRepeatsTheLastFrameQuieter)
{
    const auto stream = readFixture("tl-48k-mono-192-crc.mp2");
    Decoder d;
    d.fill(stream);
    std::vector<int16_t> pcm(LAYER2DEC_FRAME_SAMPLES);
    uint32_t samples = 0;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), LAYER2DEC_FRAME_SAMPLES, &samples, nullptr, 0, nullptr, 0),
                  LAYER2DEC_OK);
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), LAYER2DEC_FRAME_SAMPLES, &samples, nullptr, 0, nullptr, 1),
              LAYER2DEC_OK);
    EXPECT_EQ(samples, static_cast<uint32_t>(LAYER2DEC_FRAME_SAMPLES));
    EXPECT_EQ(Layer2Dec_GetStreamInfo(d.h)->concealed, 0);
    // Nothing was read: the next call decodes the next frame of the input.
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), LAYER2DEC_FRAME_SAMPLES, &samples, nullptr, 0, nullptr, 0),
              LAYER2DEC_OK);
}

TEST(Layer2Interface, AFrameThatFailsIsSkipped)
{
    // A two-channel frame at 80 kbit/s has no allocation table; the frames around it decode.
    const auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    std::vector<uint8_t> input(stream.begin(), stream.begin() + 3 * 576);
    const auto bad = frame(5, 0, 0x00);
    input.insert(input.end(), bad.begin(), bad.end());
    input.insert(input.end(), stream.begin() + 3 * 576, stream.begin() + 6 * 576);
    Decoder d;
    d.fill(input);
    std::vector<Layer2DecResult> results;
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    for (int i = 0; i < 20; ++i) {
        const Layer2DecResult r = Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr,
                                                        nullptr, 0, nullptr, 0);
        if (LAYER2DEC_NEEDS_INPUT(r))
            break;
        results.push_back(r);
    }
    const std::vector<Layer2DecResult> expected = {0, 0, 0, LAYER2DEC_NO_TABLE, 0, 0, 0};
    EXPECT_EQ(results, expected);
}

TEST(Layer2Interface, LostSynchronisationIsReportedAsConcealed)
{
    auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    stream[5 * 576] = 0x00; // the header of frame 5 is gone
    const DecodedStream d = decodeStream(stream);
    for (size_t n = 0; n < 4; ++n)
        EXPECT_EQ(d.results[n], LAYER2DEC_OK) << n;
    // While the stream is young the next header is checked too, so frame 4 already
    // sees the loss. Each loss is filled with concealment and counted as such; the
    // search then finds its way back and decoding goes on to the end.
    const auto concealed = std::count(d.results.begin(), d.results.end(), LAYER2DEC_CONCEALED);
    EXPECT_GE(concealed, 1);
    EXPECT_LE(concealed, 2);
    EXPECT_EQ(std::count(d.results.begin(), d.results.end(), LAYER2DEC_OK),
              static_cast<long>(stream.size() / 576 - 1));
    EXPECT_EQ(d.results.back(), LAYER2DEC_OK);
}

TEST(Layer2Interface, AudioDataLongerThanTheFrameIsABadFrame)
{
    // 32 kbit/s mono (table c): every allocation at its largest asks for about 2600
    // bits in a frame of 768.
    std::vector<uint8_t> f = frame(1, 3, 0xFF);
    Decoder d(0, 1);
    Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
    std::vector<int16_t> pcm(LAYER2DEC_FRAME_SAMPLES, 1234);
    uint8_t pad[LAYER2DEC_MIN_PAD_BUFFER];
    uint32_t samples = 0, padBits = 99;
    d.fill(f);
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), LAYER2DEC_FRAME_SAMPLES, &samples, pad, sizeof pad, &padBits, 0),
              LAYER2DEC_CONCEALED);
    EXPECT_EQ(padBits, 0u);
    EXPECT_EQ(samples, static_cast<uint32_t>(LAYER2DEC_FRAME_SAMPLES));
    for (int16_t v : pcm)
        ASSERT_EQ(v, 0); // nothing good to repeat yet
    EXPECT_EQ(Layer2Dec_GetStreamInfo(d.h)->concealed, 1);
}

TEST(Layer2Interface, DirectInputReadsOnlyTheBytesGiven)
{
    // The header promises 576 bytes; only 300 arrive. The decoder waits, reading
    // nothing beyond them.
    const auto stream = readFixture("tl-48k-stereo-192-crc.mp2");
    Decoder d;
    Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
    std::vector<uint8_t> part(stream.begin(), stream.begin() + 300);
    d.fill(part);
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, nullptr, 0, nullptr,
                                    0),
              LAYER2DEC_NEED_MORE_INPUT);
    std::vector<uint8_t> whole(stream.begin(), stream.begin() + 576);
    d.fill(whole);
    EXPECT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, nullptr, 0, nullptr,
                                    0),
              LAYER2DEC_OK);
}

// Writes a spatial ancillary block (16-bit CRC) into the last bytes of every frame.
std::vector<uint8_t> withSpatialBlocks(bool correctCrc)
{
    auto stream = readFixture("tl-48k-stereo-128-dab.mp2");
    const size_t frameBytes = 384;
    const uint8_t payload[2] = {0x12, 0x34};
    // Bits after the sync: 4-bit field 0, 8-bit length 2, then the payload.
    std::vector<int> bits;
    auto put = [&](uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            bits.push_back((v >> i) & 1);
    };
    put(0, 4);
    put(2, 8);
    put(payload[0], 8);
    put(payload[1], 8);
    uint16_t crc = 0xFFFF;
    for (int b : bits) {
        const bool top = (crc & 0x8000) != 0;
        crc = static_cast<uint16_t>(crc << 1);
        if (top != (b != 0))
            crc ^= 0x8005;
    }
    if (!correctCrc)
        crc ^= 1;
    // 0x8E5 | field 0 | length 2 | CRC | payload
    const uint8_t block[7] = {0x8E, 0x50, 0x02, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc), 0x12, 0x34};
    for (size_t start = 0; start + frameBytes <= stream.size(); start += frameBytes)
        std::memcpy(&stream[start + frameBytes - 10], block, sizeof block);
    return stream;
}

TEST(Layer2Interface, SurroundSwitchedOnNeverStopsPlainPlayback)
{
    for (bool correct : {true, false}) {
        SCOPED_TRACE(correct);
        const auto stream = withSpatialBlocks(correct);
        Decoder d;
        ASSERT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_SPATIAL_ENABLE, 1), LAYER2DEC_OK);
        d.fill(stream);
        std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
        int frames = 0;
        for (;;) {
            uint32_t samples = 0;
            const Layer2DecResult r = Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()),
                                                            &samples, nullptr, 0, nullptr, 0);
            if (LAYER2DEC_NEEDS_INPUT(r))
                break;
            // A damaged spatial block is a warning; the core channels still play.
            EXPECT_EQ(r, correct ? LAYER2DEC_OK : LAYER2DEC_CONCEALED);
            EXPECT_EQ(samples, 2u * LAYER2DEC_FRAME_SAMPLES);
            ++frames;
        }
        EXPECT_GT(frames, 10);
    }
}

TEST(Layer2Interface, DownmixToMonoAndUpmixToSixChannels)
{
    const auto stream = readFixture("tl-48k-dual-384-crc.mp2");
    Decoder d;
    d.fill(stream);
    ASSERT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_OUTPUT_CHANNELS, 1), LAYER2DEC_OK);
    std::vector<int16_t> pcm(6 * LAYER2DEC_FRAME_SAMPLES);
    uint32_t samples = 0;
    ASSERT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples, nullptr, 0, nullptr,
                                    0),
              LAYER2DEC_OK);
    EXPECT_EQ(samples, static_cast<uint32_t>(LAYER2DEC_FRAME_SAMPLES));
    EXPECT_EQ(Layer2Dec_GetStreamInfo(d.h)->outputChannels, 1);
    ASSERT_EQ(Layer2Dec_SetParam(d.h, LAYER2DEC_PARAM_OUTPUT_CHANNELS, 6), LAYER2DEC_OK);
    ASSERT_EQ(Layer2Dec_DecodeFrame(d.h, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples, nullptr, 0, nullptr,
                                    0),
              LAYER2DEC_OK);
    EXPECT_EQ(samples, 6u * LAYER2DEC_FRAME_SAMPLES);
    EXPECT_EQ(Layer2Dec_GetStreamInfo(d.h)->codedChannels, 2);
    EXPECT_EQ(Layer2Dec_GetStreamInfo(d.h)->outputChannels, 6);
    // Left and right keep their places (0 and 1); centre, LFE and surrounds are silent.
    bool leftSounds = false;
    for (uint32_t i = 0; i < LAYER2DEC_FRAME_SAMPLES; ++i) {
        leftSounds = leftSounds || pcm[6 * i] != 0;
        for (int c = 2; c < 6; ++c)
            ASSERT_EQ(pcm[6 * i + static_cast<uint32_t>(c)], 0);
    }
    EXPECT_TRUE(leftSounds);
}

TEST(Layer2Interface, LibraryInformation)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    EXPECT_EQ(Layer2Dec_GetLibInfo(nullptr), -1);
    ASSERT_EQ(Layer2Dec_GetLibInfo(table), 0);
    EXPECT_EQ(table[0].moduleId, static_cast<uint32_t>(REZ_MODULE_TOOLS));
    EXPECT_EQ(table[1].moduleId, static_cast<uint32_t>(REZ_MODULE_LAYER2_DECODER));
    EXPECT_STREQ(table[1].title, "Layer-2 Decoder Lib");
    EXPECT_STREQ(table[1].versionText, "2.3.0");
    EXPECT_EQ(table[1].version, 0x02030000u);
    EXPECT_EQ(table[1].flags, 0x1Fu);
    LIB_INFO full[REZ_LIB_INFO_ROWS];
    for (auto &row : full)
        row.moduleId = 99;
    EXPECT_EQ(Layer2Dec_GetLibInfo(full), -1);
}

} // namespace
