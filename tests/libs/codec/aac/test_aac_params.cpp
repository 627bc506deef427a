// The AAC decoder's parameters, its concealment settings, and the dynamic range
// payload reader's bound.
#include "AacDec.h"
#include "aac_conceal.h"
#include "aac_core.h"
#include "aac_rawblock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(AacParams, ValuesAcceptedAndRefused)
{
    EXPECT_EQ(AacDec_SetParam(nullptr, AACDEC_PARAM_LIMITER_ENABLE, 1), AACDEC_INVALID_HANDLE);
    AacDecHandle h = AacDec_Open(AACDEC_TT_RAW, 1);
    ASSERT_NE(h, nullptr);
    struct Case
    {
        int32_t id, value;
        int result;
    };
    const Case cases[] = {
        {AACDEC_PARAM_LIMITER_ENABLE, -1, AACDEC_OK},
        {AACDEC_PARAM_LIMITER_ENABLE, 2, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_LIMITER_ATTACK, 5, AACDEC_OK},
        {AACDEC_PARAM_LIMITER_RELEASE, 0, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DOWNMIX_MODE, 3, AACDEC_OK},
        {AACDEC_PARAM_DOWNMIX_MODE, 4, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_METADATA_EXPIRY, -1, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_CONCEAL_METHOD, 1, AACDEC_OK},
        {AACDEC_PARAM_CONCEAL_METHOD, 3, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_CONCEAL_FADE_OUT_FRAMES, 31, AACDEC_OK},
        {AACDEC_PARAM_CONCEAL_FADE_OUT_FRAMES, 32, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_CONCEAL_MUTE_RELEASE_FRAMES, 63, AACDEC_OK},
        {AACDEC_PARAM_CONCEAL_MUTE_RELEASE_FRAMES, 64, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_CONCEAL_COMFORT_NOISE, -1, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_STEREO_UPMIX, -1, AACDEC_OK},
        {AACDEC_PARAM_QMF_RESAMPLING, 1, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_SURROUND_ENABLE, 1, AACDEC_OK},
        {AACDEC_PARAM_SURROUND_BINAURAL, 1, AACDEC_INVALID_HANDLE},
        {AACDEC_PARAM_OUTPUT_CHANNELS, 2, AACDEC_OK},
        {AACDEC_PARAM_OUTPUT_CHANNELS, 6, AACDEC_OK},
        {AACDEC_PARAM_OUTPUT_CHANNELS, 4, AACDEC_INVALID_PARAM}, // four channels: no surround output mode
        {AACDEC_PARAM_OUTPUT_CHANNELS, -1, AACDEC_OK},
        {AACDEC_PARAM_DRC_BOOST, 127, AACDEC_OK},
        {AACDEC_PARAM_DRC_BOOST, 128, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DRC_CUT, -1, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DRC_TARGET_LEVEL, -1, AACDEC_OK},
        {AACDEC_PARAM_DRC_TARGET_LEVEL, 39, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DRC_TARGET_LEVEL, 40, AACDEC_OK},
        {AACDEC_PARAM_DRC_HEAVY, 2, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DRC_DEFAULT_PRESENTATION, 2, AACDEC_OK},
        {AACDEC_PARAM_DRC_DEFAULT_PRESENTATION, 3, AACDEC_INVALID_PARAM},
        {AACDEC_PARAM_DRC_ENCODER_TARGET, 128, AACDEC_INVALID_PARAM},
        {999, 0, AACDEC_INVALID_PARAM},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AacDec_SetParam(h, c.id, c.value), c.result) << c.id << " = " << c.value;
    EXPECT_EQ(AacDec_ConcealGetMethod(&h->concealParams), AacConcealNoise);
    EXPECT_EQ(h->concealParams.fadeOutFrames, 31);
    AacDec_Close(h);
}

// Unified-coding streams refuse interpolation, and the refusal leaves no method
// and no frame of delay anywhere: not in the concealment, not in the reported
// output delay, not in the downmix that lines up with it.
TEST(AacParams, UnifiedStreamsRefuseInterpolationWithoutDelay)
{
    AacDecHandle h = AacDec_Open(AACDEC_TT_RAW, 1);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(h->concealDelay, 1);
    h->flags |= 0x4000;
    EXPECT_EQ(AacDec_SetParam(h, AACDEC_PARAM_CONCEAL_METHOD, AacConcealInterpolate), AACDEC_INVALID_PARAM);
    EXPECT_EQ(AacDec_ConcealGetMethod(&h->concealParams), AacConcealNone);
    EXPECT_EQ(AacDec_ConcealGetDelay(&h->concealParams), 0);
    EXPECT_EQ(h->concealDelay, 0);
    int32_t downmixDelay = -1;
    ASSERT_EQ(PcmDmx_GetParam(h->pcmDmx, PCMDMX_PARAM_DELAY, &downmixDelay), PCMDMX_OK);
    EXPECT_EQ(downmixDelay, 0);
    EXPECT_EQ(AacDec_SetParam(h, AACDEC_PARAM_CONCEAL_METHOD, AacConcealNoise), AACDEC_OK);
    EXPECT_EQ(AacDec_ConcealGetMethod(&h->concealParams), AacConcealNoise);
    AacDec_Close(h);
}

TEST(AacParams, ConcealmentDefaultsAndAttenuationTables)
{
    AacDecConcealParams p;
    AacDec_ConcealInitParams(&p);
    EXPECT_EQ(p.method, AacConcealInterpolate);
    EXPECT_EQ(AacDec_ConcealGetDelay(&p), 1); // interpolation plays one frame late
    EXPECT_EQ(AacDec_ConcealGetDelay(nullptr), 0);
    EXPECT_EQ(p.fadeOutFactors[0], 23170);
    EXPECT_EQ(p.fadeOutFactors[1], 23170 * 46340 >> 16);
    for (int i = 1; i < AacConcealFactors; ++i)
        EXPECT_LE(p.fadeInFactors[i], p.fadeInFactors[i - 1]);

    AacDecHandle h = AacDec_Open(AACDEC_TT_RAW, 1);
    ASSERT_NE(h, nullptr);
    std::vector<int16_t> quarterDb(AacConcealFactors);
    for (int i = 0; i < AacConcealFactors; ++i)
        quarterDb[size_t(i)] = int16_t(4 * i);
    EXPECT_EQ(AacDec_SetParamArray(h, AACDEC_PARAM_CONCEAL_FADE_OUT_TABLE, quarterDb.data()), AACDEC_OK);
    for (int i = 0; i < AacConcealFactors; ++i) {
        // 4 quarter decibels a step: -1 dB per entry.
        const double expected = 32768 * std::pow(10.0, -i / 20.0);
        EXPECT_NEAR(h->concealParams.fadeOutFactors[i], std::min(expected, 32767.0), 3) << i;
    }
    quarterDb[5] = 256;
    const int16_t before = h->concealParams.fadeInFactors[5];
    EXPECT_EQ(AacDec_SetParamArray(h, AACDEC_PARAM_CONCEAL_FADE_IN_TABLE, quarterDb.data()), AACDEC_INVALID_PARAM);
    EXPECT_EQ(h->concealParams.fadeInFactors[5], before);
    EXPECT_EQ(AacDec_SetParamArray(h, AACDEC_PARAM_CONCEAL_FADE_IN_TABLE, nullptr), AACDEC_INVALID_PARAM);
    EXPECT_EQ(AacDec_SetParamArray(h, 263, quarterDb.data()), AACDEC_INVALID_PARAM);
    AacDec_Close(h);
}

// A dynamic range payload whose channel exclusion mask never ends (every
// continuation bit set) is read in a bounded number of groups.
TEST(AacParams, DynamicRangeExclusionMaskIsBounded)
{
    std::vector<uint8_t> ones(1024, 0xFF);
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, ones.data(), uint32_t(ones.size()), uint32_t(ones.size() * 8), REZ_BIT_READ);
    AacDecDrc drc {};
    const int32_t bits = AacDec_DrcParsePayload(&drc, &bs, 1);
    // Tag, 16 groups of the mask, 16 bands with their tops, the level, 16 band values.
    EXPECT_EQ(bits, 1 + 8 + 1 + 16 * 8 + 1 + 8 + 16 * 8 + 1 + 8 + 16 * 8);
    EXPECT_EQ(drc.fillPayloads, 1);
}

} // namespace
