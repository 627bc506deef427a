// The downmix against hand-computed mixes.
#include "PcmDmx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double InvSqrt2 = 0.70710678;

struct Downmix
{
    PcmDmxHandle h = nullptr;
    Downmix() { PcmDmx_Open(&h); }
    ~Downmix() { PcmDmx_Close(&h); }
};

// A channel description: kind (and layer) and index per buffer position.
struct Description
{
    uint32_t types[PCMDMX_MAX_CHANNELS] = {};
    uint8_t indices[PCMDMX_MAX_CHANNELS] = {};
};

Description stereo()
{
    Description d;
    d.types[0] = d.types[1] = PCMDMX_CHANNEL_FRONT;
    d.indices[1] = 1;
    return d;
}

// 5.1 in the output order of the built-in channel map: L, R, C, LFE, Ls, Rs.
Description fivePointOne()
{
    Description d;
    const uint32_t types[6] = {1, 1, 1, 4, 3, 3};
    const uint8_t indices[6] = {1, 2, 0, 0, 0, 1};
    for (int i = 0; i < 6; ++i) {
        d.types[i] = types[i];
        d.indices[i] = indices[i];
    }
    return d;
}

// One sample instant per row; runs ApplyFrame on interleaved data and returns the
// delivered instants.
std::vector<std::vector<double>> apply(Downmix &dmx, Description desc, const std::vector<std::vector<double>> &rows,
                                       int *channels, int *result, int32_t *headroom = nullptr)
{
    const int in = *channels;
    std::vector<int32_t> buffer(rows.size() * 8, 0);
    for (size_t n = 0; n < rows.size(); ++n)
        for (int c = 0; c < in; ++c)
            buffer[n * static_cast<size_t>(in) + static_cast<size_t>(c)] =
                static_cast<int32_t>(std::lround(rows[n][static_cast<size_t>(c)] * 2147483647.0));
    int32_t count = in;
    *result = PcmDmx_ApplyFrame(dmx.h, buffer.data(), static_cast<uint32_t>(buffer.size()),
                                static_cast<uint32_t>(rows.size()), &count, 1, desc.types, desc.indices, nullptr,
                                headroom);
    *channels = count;
    std::vector<std::vector<double>> out(rows.size(), std::vector<double>(static_cast<size_t>(count)));
    const double scale = headroom ? std::ldexp(1.0, *headroom) : 1.0;
    for (size_t n = 0; n < rows.size(); ++n)
        for (int c = 0; c < count; ++c)
            out[n][static_cast<size_t>(c)] = buffer[n * static_cast<size_t>(count) + static_cast<size_t>(c)] / 2147483647.0 * scale;
    return out;
}

TEST(PcmDmx, InRangeStereoIsUntouched)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, 2), PCMDMX_OK);
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 2), PCMDMX_OK);
    int channels = 2, result = -1;
    const auto out = apply(dmx, stereo(), {{0.25, -0.5}}, &channels, &result);
    EXPECT_EQ(result, PCMDMX_OK);
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(out[0][0], 0.25, 1e-9);
    EXPECT_NEAR(out[0][1], -0.5, 1e-9);
}

TEST(PcmDmx, DualChannelModes)
{
    struct Case { int mode; double left, right; };
    const Case cases[] = {{1, 0.2 * InvSqrt2, 0.2 * InvSqrt2}, {2, -0.4 * InvSqrt2, -0.4 * InvSqrt2}, {3, -0.1, -0.1}};
    for (const Case &c : cases) {
        Downmix dmx;
        ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_DUAL_CHANNEL, c.mode), PCMDMX_OK);
        int channels = 2, result = -1;
        const auto out = apply(dmx, stereo(), {{0.2, -0.4}}, &channels, &result);
        EXPECT_EQ(channels, 2);
        EXPECT_NEAR(out[0][0], c.left, 1e-4) << c.mode;
        EXPECT_NEAR(out[0][1], c.right, 1e-4) << c.mode;
    }
}

TEST(PcmDmx, MonoBecomesTwoEqualChannels)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, 2), PCMDMX_OK);
    Description mono;
    mono.types[0] = PCMDMX_CHANNEL_FRONT;
    int channels = 1, result = -1;
    const auto out = apply(dmx, mono, {{0.3}, {-0.6}}, &channels, &result);
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(out[0][0], 0.3, 1e-9);
    EXPECT_NEAR(out[0][1], 0.3, 1e-9);
    EXPECT_NEAR(out[1][0], -0.6, 1e-9);
    EXPECT_NEAR(out[1][1], -0.6, 1e-9);
}

TEST(PcmDmx, StereoToMonoAddsBothChannels)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 1), PCMDMX_OK);
    int channels = 2, result = -1;
    const auto out = apply(dmx, stereo(), {{0.125, 0.25}, {0.75, 0.5}}, &channels, &result);
    EXPECT_EQ(result, PCMDMX_OK);
    EXPECT_EQ(channels, 1);
    EXPECT_NEAR(out[0][0], 0.375, 1e-4);
    EXPECT_NEAR(out[1][0], 1.0, 1e-4); // saturates
}

// Expected stereo mix of one 5.1 instant {L, R, C, LFE, Ls, Rs}.
struct MixCase
{
    const char *name;
    int surroundStereo;  // parameter 49
    bool matrixMixdown;  // metadata from a program configuration, mode 2
    double gl[6], gr[6]; // gains of L, R, C, LFE, Ls, Rs
};

TEST(PcmDmx, FivePointOneToStereoMatrices)
{
    const double a = 0.7071, n = 13573.0 / 32768, c3 = 23167.0 / 32768;
    const MixCase cases[] = {
        {"plain stereo, default levels", -1, false, {1, 0, c3, 0, c3, 0}, {0, 1, c3, 0, 0, c3}},
        {"surround-compatible", 1, false, {1, 0, c3, 0, -c3, -c3}, {0, 1, c3, 0, c3, c3}},
        {"matrix mixdown, index 0", -1, true,
         {n, 0, n * c3, 0, n * a, 0}, {0, n, n * c3, 0, 0, n * a}},
    };
    const std::vector<double> instant = {0.11, -0.07, 0.05, 0.3, 0.09, -0.13};
    for (const MixCase &c : cases) {
        SCOPED_TRACE(c.name);
        Downmix dmx;
        ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 2), PCMDMX_OK);
        ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_SURROUND_STEREO, c.surroundStereo), PCMDMX_OK);
        if (c.matrixMixdown) {
            ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MODE, 2), PCMDMX_OK);
            ASSERT_EQ(PcmDmx_SetPceMetadata(dmx.h, 1, 0, 0), PCMDMX_OK);
        }
        int channels = 6, result = -1;
        int32_t headroom = -1;
        const auto out = apply(dmx, fivePointOne(), {instant}, &channels, &result, &headroom);
        EXPECT_EQ(result, PCMDMX_OK);
        ASSERT_EQ(channels, 2);
        EXPECT_GE(headroom, 0);
        EXPECT_LE(headroom, 3);
        double left = 0, right = 0;
        for (int i = 0; i < 6; ++i) {
            left += c.gl[i] * instant[static_cast<size_t>(i)];
            right += c.gr[i] * instant[static_cast<size_t>(i)];
        }
        EXPECT_NEAR(out[0][0], left, 1e-3);
        EXPECT_NEAR(out[0][1], right, 1e-3);
    }
}

TEST(PcmDmx, MetadataSetsTheCentreLevel)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 2), PCMDMX_OK);
    // 0xBC | 6 skipped bits, pseudo-surround 0, 4 skipped bits | levels present,
    // no extension, no skipped blocks | centre level set to index 4 (-6 dB),
    // surround level not set.
    uint8_t buffer[4] = {0xBC, 0x00, 0x10, 0xC0};
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, buffer, 4, 32, REZ_BIT_READ);
    ASSERT_EQ(PcmDmx_ParseMetadata(dmx.h, &bs, 32, 0), PCMDMX_OK);
    int channels = 6, result = -1;
    const std::vector<double> instant = {0, 0, 0.2, 0, 0, 0};
    const auto out = apply(dmx, fivePointOne(), {instant}, &channels, &result);
    EXPECT_NEAR(out[0][0], 0.1, 1e-3);
    EXPECT_NEAR(out[0][1], 0.1, 1e-3);
}

TEST(PcmDmx, PlanarStereoUpmixKeepsLeftAndRight)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, 6), PCMDMX_OK);
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 6), PCMDMX_OK);
    constexpr uint32_t N = 4;
    std::vector<int32_t> buffer(6 * N, 77);
    for (uint32_t i = 0; i < N; ++i) {
        buffer[i] = static_cast<int32_t>(100 + i);     // left block
        buffer[N + i] = static_cast<int32_t>(200 + i); // right block
    }
    Description desc = stereo();
    int32_t channels = 2;
    ASSERT_EQ(PcmDmx_ApplyFrame(dmx.h, buffer.data(), 6 * N, N, &channels, 0, desc.types, desc.indices, nullptr,
                                nullptr),
              PCMDMX_OK);
    ASSERT_EQ(channels, 6);
    for (uint32_t i = 0; i < N; ++i) {
        EXPECT_EQ(buffer[i], static_cast<int32_t>(100 + i));
        EXPECT_EQ(buffer[N + i], static_cast<int32_t>(200 + i));
        for (uint32_t c = 2; c < 6; ++c)
            EXPECT_EQ(buffer[c * N + i], 0) << c;
    }
    // The added places carry no channel in the rewritten description.
    EXPECT_EQ(desc.types[2], static_cast<uint32_t>(PCMDMX_CHANNEL_NONE));
}

TEST(PcmDmx, SevenPointOneFoldsToFivePointOne)
{
    Downmix dmx;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 6), PCMDMX_OK);
    // Buffer order of the built-in map: L, R, C, LFE, Lb, Rb, Ls, Rs.
    Description d;
    const uint32_t types[8] = {1, 1, 1, 4, 3, 3, 3, 3};
    const uint8_t indices[8] = {1, 2, 0, 0, 2, 3, 0, 1};
    for (int i = 0; i < 8; ++i) {
        d.types[i] = types[i];
        d.indices[i] = indices[i];
    }
    const std::vector<double> instant = {0.1, -0.1, 0.2, 0.05, 0.3, -0.3, 0.15, -0.25};
    int channels = 8, result = -1;
    const auto out = apply(dmx, d, {instant}, &channels, &result);
    EXPECT_EQ(result, PCMDMX_OK);
    ASSERT_EQ(channels, 6);
    const double g = 23167.0 / 32768; // levels A and B at their default, -3 dB
    // Output order L, R, C, LFE, Ls, Rs.
    EXPECT_NEAR(out[0][0], 0.1, 1e-3);
    EXPECT_NEAR(out[0][1], -0.1, 1e-3);
    EXPECT_NEAR(out[0][2], 0.2, 1e-3);
    EXPECT_NEAR(out[0][3], 0.05, 1e-3);
    EXPECT_NEAR(out[0][4], g * 0.15 + g * 0.3, 1e-3);
    EXPECT_NEAR(out[0][5], g * -0.25 + g * -0.3, 1e-3);
}

TEST(PcmDmx, ParametersAndErrors)
{
    Downmix dmx;
    int32_t value = 0;
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, 6), PCMDMX_OK);
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 2), PCMDMX_OK);
    ASSERT_EQ(PcmDmx_GetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, &value), PCMDMX_OK);
    EXPECT_EQ(value, 2); // a maximum below the minimum lowers it
    EXPECT_EQ(PcmDmx_SetParam(dmx.h, 50, 0), PCMDMX_UNKNOWN_PARAM);
    EXPECT_EQ(PcmDmx_SetParam(dmx.h, 2, 0), PCMDMX_UNKNOWN_PARAM);
    EXPECT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 3), PCMDMX_INVALID_VALUE);
    EXPECT_EQ(PcmDmx_SetParam(nullptr, PCMDMX_PARAM_MAX_CHANNELS, 3), PCMDMX_INVALID_VALUE);
    EXPECT_EQ(PcmDmx_SetParam(nullptr, PCMDMX_PARAM_MAX_CHANNELS, 2), PCMDMX_INVALID_HANDLE);
    EXPECT_EQ(PcmDmx_GetParam(dmx.h, 2, &value), PCMDMX_UNKNOWN_PARAM);

    // A metadata block without its sync byte is refused and changes nothing.
    uint8_t bytes[4] = {0xBD, 0xFF, 0xFF, 0xFF};
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes, 4, 32, REZ_BIT_READ);
    EXPECT_EQ(PcmDmx_ParseMetadata(dmx.h, &bs, 32, 0), PCMDMX_METADATA_ERROR);
    RezTools_BitStreamInit(&bs, bytes, 4, 32, REZ_BIT_READ);
    EXPECT_EQ(PcmDmx_ParseMetadata(dmx.h, &bs, 40, 0), PCMDMX_METADATA_ERROR); // longer than the stream

    int32_t samples[16] = {};
    Description desc = stereo();
    int32_t channels = 9;
    EXPECT_EQ(PcmDmx_ApplyFrame(dmx.h, samples, 16, 1, &channels, 1, desc.types, desc.indices, nullptr, nullptr),
              PCMDMX_UNSUPPORTED_CHANNELS);
    channels = 2;
    EXPECT_EQ(PcmDmx_ApplyFrame(dmx.h, nullptr, 16, 1, &channels, 1, desc.types, desc.indices, nullptr, nullptr),
              PCMDMX_NO_SAMPLES);
    EXPECT_EQ(PcmDmx_ApplyFrame(nullptr, samples, 16, 1, &channels, 1, desc.types, desc.indices, nullptr, nullptr),
              PCMDMX_INVALID_HANDLE);
    const uint8_t repeated[2] = {0, 0};
    const RezChannelMapRow row = {repeated, 2};
    const RezChannelMap badMap = {&row, 1, 0};
    EXPECT_EQ(PcmDmx_ApplyFrame(dmx.h, samples, 16, 1, &channels, 1, desc.types, desc.indices, &badMap, nullptr),
              PCMDMX_INVALID_HANDLE);
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MIN_CHANNELS, 6), PCMDMX_OK);
    ASSERT_EQ(PcmDmx_SetParam(dmx.h, PCMDMX_PARAM_MAX_CHANNELS, 6), PCMDMX_OK);
    EXPECT_EQ(PcmDmx_ApplyFrame(dmx.h, samples, 11, 2, &channels, 1, desc.types, desc.indices, nullptr, nullptr),
              PCMDMX_OUTPUT_TOO_SMALL);

    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    EXPECT_EQ(PcmDmx_GetLibInfo(table), PCMDMX_OK);
    EXPECT_STREQ(table[0].title, "PCM Downmix Lib");
    EXPECT_EQ(table[1].moduleId, static_cast<uint32_t>(REZ_MODULE_TOOLS));
    EXPECT_EQ(PcmDmx_GetLibInfo(nullptr), PCMDMX_NO_SAMPLES);
}

} // namespace
