// The core's configuration step: element lists, channel records and their
// sharing, check versus apply, and the limits it enforces.
#include "aac_core.h"

#include <gtest/gtest.h>

namespace {

AudioSpecificConfig lcConfig(int channelConfig, uint32_t rate = 48000, uint32_t frameLength = 960)
{
    AudioSpecificConfig c;
    AacDec_ClearConfig(&c);
    c.aot = 2;
    c.sampleRate = rate;
    c.samplingFrequencyIndex = AacDec_SamplingRateIndex(rate, 4);
    c.frameLength = frameLength;
    c.channelConfig = static_cast<uint8_t>(channelConfig);
    return c;
}

struct Core
{
    AacDecInstance *h = AacDec_CreateInstance(0);
    ~Core() { AacDec_DestroyInstance(h); }
    // Both passes, as the transport runs them.
    int configure(const AudioSpecificConfig &c)
    {
        uint8_t changed = 0;
        const int r = AacDec_InitFromConfig(h, &c, 1, &changed);
        if (r != 0)
            return r;
        if (changed)
            AacDec_ReleaseChannels(h, 0);
        return AacDec_InitFromConfig(h, &c, 2, &changed);
    }
};

} // namespace

TEST(AacCore, InstanceStartsEmptyWithItsBuffers)
{
    Core core;
    ASSERT_NE(core.h, nullptr);
    EXPECT_EQ(core.h->channelCount, 0);
    EXPECT_EQ(core.h->elementList[0], AacIdEnd);
    const AacDecStreamInfo *info = AacDec_StreamInfoOf(core.h);
    EXPECT_EQ(info->aot, -1);
    EXPECT_EQ(info->profile, -1);
    EXPECT_EQ(info->channelConfig, -1);
    EXPECT_EQ(info->epConfig, -1);
    EXPECT_EQ(info->channelTypes, core.h->channelTypes);
    // The time buffer's capacity is counted in samples, as its users count.
    EXPECT_EQ(core.h->timeBufferCapacity, AacTimeBufferBytes / 4);
    EXPECT_EQ(AacDec_StreamInfoOf(nullptr), nullptr);
    AacDec_DestroyInstance(nullptr);
}

TEST(AacCore, ElementListsByChannelConfiguration)
{
    struct Row { int config; int result; int channels; std::vector<int8_t> list; } rows[] = {
        {1, 0, 1, {0, 8, 7}},
        {2, 0, 2, {1, 8, 7}},
        {3, 0, 3, {0, 1, 8, 7}},
        {4, 0, 4, {0, 1, 0, 8, 7}},
        {5, 0, 5, {0, 1, 1, 8, 7}},
        {6, 0, 6, {0, 1, 1, 3, 8, 7}},
        {7, 0, 8, {0, 1, 1, 1, 3, 8, 7}},
        {8, AACDEC_UNSUPPORTED_CHANNEL_CONFIG, 0, {}},
        {11, 0, 7, {0, 1, 1, 0, 3, 8, 7}},
        {12, 0, 8, {0, 1, 1, 1, 3, 8, 7}},
        {13, AACDEC_UNSUPPORTED_CHANNEL_CONFIG, 0, {}},
        {14, 0, 8, {0, 1, 1, 3, 1, 8, 7}},
        {15, AACDEC_UNSUPPORTED_CHANNEL_CONFIG, 0, {}},
    };
    for (const Row &r : rows) {
        Core core;
        EXPECT_EQ(core.configure(lcConfig(r.config)), r.result) << r.config;
        if (r.result != 0)
            continue;
        EXPECT_EQ(core.h->channelCount, r.channels) << r.config;
        for (size_t i = 0; i < r.list.size(); ++i)
            EXPECT_EQ(core.h->elementList[i], r.list[i]) << r.config << " entry " << i;
        EXPECT_EQ(core.h->elementList[7], -1) << r.config;
        for (int ch = 0; ch < 8; ++ch)
            EXPECT_EQ(core.h->channelOutputMap[ch], ch < r.channels ? ch : 255) << r.config;
        EXPECT_EQ(core.h->streamInfo.coreChannels, r.channels) << r.config;
        // A coupling channel exists for the multichannel layouts of AAC-LC.
        EXPECT_EQ(core.h->couplingInfo != nullptr, r.channels > 2) << r.config;
    }
}

TEST(AacCore, PairSharesItsElementBuffers)
{
    Core core;
    ASSERT_EQ(core.configure(lcConfig(2)), 0);
    AacDecChannelInfo *left = core.h->channelInfo[0];
    AacDecChannelInfo *right = core.h->channelInfo[1];
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(left->elementShared, right->elementShared);
    EXPECT_EQ(left->elementDynamic, right->elementDynamic);
    EXPECT_EQ(right->spectrum, left->spectrum + AacSpectrumWords);
    EXPECT_EQ(left->spectrum, core.h->spectralBlock);
    EXPECT_NE(left->elementShared->workBuffer, nullptr);
    EXPECT_EQ(core.h->sbrWorkBuffer, left->elementShared->workBuffer);
    EXPECT_EQ(core.h->sbrWorkBufferLength, 512);
    EXPECT_EQ(left->granuleLength, 120u);
    EXPECT_EQ(core.h->streamInfo.coreFrameLength, 960);
    EXPECT_EQ(core.h->streamInfo.coreSampleRate, 48000);
    EXPECT_EQ(core.h->channelState[0]->windowSequence, 255);
}

TEST(AacCore, CheckPassAllocatesNothingAndReportsChanges)
{
    Core core;
    const AudioSpecificConfig c = lcConfig(2);
    uint8_t changed = 0;
    ASSERT_EQ(AacDec_InitFromConfig(core.h, &c, 1, &changed), 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(core.h->channelInfo[0], nullptr);
    EXPECT_EQ(core.h->channelCount, 0);

    ASSERT_EQ(core.configure(c), 0);
    AacDecChannelState *state = core.h->channelState[0];
    int32_t *overlap = state->overlap;
    overlap[3] = 77;
    changed = 0;
    ASSERT_EQ(AacDec_InitFromConfig(core.h, &c, 1, &changed), 0);
    EXPECT_EQ(changed, 0);
    // Applying an identical configuration keeps the records and their history.
    ASSERT_EQ(AacDec_InitFromConfig(core.h, &c, 2, &changed), 0);
    EXPECT_EQ(core.h->channelState[0], state);
    EXPECT_EQ(state->overlap[3], 77);

    // A different rate counts as a change.
    const AudioSpecificConfig other = lcConfig(2, 32000);
    changed = 0;
    ASSERT_EQ(AacDec_InitFromConfig(core.h, &other, 1, &changed), 0);
    EXPECT_EQ(changed, 1);
}

TEST(AacCore, RefusedConfigurations)
{
    struct Row { const char *name; AudioSpecificConfig config; int expected; } rows[] = {
        {"object type 1", lcConfig(2), AACDEC_UNSUPPORTED_AOT},
        {"object type 17", lcConfig(2), AACDEC_UNSUPPORTED_AOT},
        {"layer number", lcConfig(2), AACDEC_UNSUPPORTED_FORMAT},
        {"scale factor resilience", lcConfig(2), AACDEC_UNSUPPORTED_ER_FORMAT},
        {"no PCE with configuration 0", lcConfig(0), AACDEC_UNSUPPORTED_CHANNEL_CONFIG},
        {"unified coding with 62 elements", lcConfig(1), AACDEC_OUT_OF_MEMORY},
        {"unified coding with 12 elements", lcConfig(1), AACDEC_OUT_OF_MEMORY},
    };
    rows[0].config.aot = 1;
    rows[1].config.aot = 17;
    rows[2].config.ga.layerNr = 1;
    rows[3].config.scalefactorDataResilience = 1;
    rows[5].config.aot = 42;
    rows[5].config.usac.elementCount = 62;
    rows[6].config.aot = 42;
    rows[6].config.usac.elementCount = 12;
    for (Row &r : rows) {
        Core core;
        EXPECT_EQ(core.configure(r.config), r.expected) << r.name;
        EXPECT_EQ(core.h->channelInfo[0], nullptr) << r.name;
    }
}

TEST(AacCore, ProgramConfigurationLayout)
{
    AudioSpecificConfig c = lcConfig(0);
    AacDec_PceDefault(&c.pce, 6);
    c.pce.matrixMixdownPresent = 1;
    c.pce.matrixMixdownIndex = 2;
    Core core;
    ASSERT_EQ(core.configure(c), 0);
    EXPECT_EQ(core.h->channelCount, 6);
    const int8_t expected[] = {0, 1, 1, 3, 7};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(core.h->elementList[i], expected[i]) << i;
    EXPECT_EQ(core.h->streamInfo.matrixMixdownIndex, 2);
}

TEST(AacCore, ReleaseFreesAllChannelRecords)
{
    Core core;
    ASSERT_EQ(core.configure(lcConfig(6)), 0);
    ASSERT_NE(core.h->couplingInfo, nullptr);
    EXPECT_EQ(AacDec_ReleaseChannels(core.h, 0), 0);
    for (int ch = 0; ch < AacMaxChannels; ++ch) {
        EXPECT_EQ(core.h->channelInfo[ch], nullptr);
        EXPECT_EQ(core.h->channelState[ch], nullptr);
    }
    EXPECT_EQ(core.h->couplingInfo, nullptr);
    EXPECT_EQ(core.h->channelCount, 0);
    EXPECT_EQ(core.h->elementList[0], AacIdEnd);
    // And a new configuration builds them again.
    ASSERT_EQ(core.configure(lcConfig(1)), 0);
    EXPECT_EQ(core.h->channelCount, 1);
}

TEST(AacCore, DecoderConfiguresThroughItsTransport)
{
    AacDecHandle h = AacDec_Open(AACDEC_TT_RAW, 2);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->numLayers, 1);
    const uint8_t dab[4] = {0x2B, 0x11, 0x8A, 0x00}; // SBR, 24/48 kHz, stereo, 960
    const uint8_t *buffers[1] = {dab};
    uint32_t lengths[1] = {0};
    EXPECT_EQ(AacDec_ConfigRaw(h, buffers, lengths), AACDEC_OK);
    EXPECT_EQ(h->channelCount, 0);
    lengths[0] = 4;
    ASSERT_EQ(AacDec_ConfigRaw(h, buffers, lengths), AACDEC_OK);
    const AacDecStreamInfo *info = AacDec_GetStreamInfo(h);
    EXPECT_EQ(info->coreSampleRate, 24000);
    EXPECT_EQ(info->extensionSampleRate, 48000);
    EXPECT_EQ(info->extensionAot, 5);
    EXPECT_EQ(info->coreChannels, 2);
    EXPECT_EQ(info->flags & AacFlagSbr, AacFlagSbr);
    const uint8_t bad[2] = {0x41, 0x90}; // object type 8
    buffers[0] = bad;
    lengths[0] = 2;
    EXPECT_EQ(AacDec_ConfigRaw(h, buffers, lengths), AACDEC_UNSUPPORTED_FORMAT);
    EXPECT_EQ(AacDec_ConfigRaw(nullptr, buffers, lengths), AACDEC_INVALID_HANDLE);
    AacDec_Close(h);
    AacDec_Close(nullptr);
    EXPECT_EQ(AacDec_Open(3, 1), nullptr);

    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    ASSERT_EQ(AacDec_GetLibInfo(table), 0);
    bool found = false;
    for (const LIB_INFO &row : table)
        if (row.moduleId == REZ_MODULE_AAC_DECODER) {
            found = true;
            EXPECT_STREQ(row.title, "AAC Decoder Lib");
            EXPECT_STREQ(row.versionText, "2.12.0");
        }
    EXPECT_TRUE(found);
}

TEST(AacCore, DrmConfigurationSetsResilience)
{
    AacDecHandle h = AacDec_Open(AACDEC_TT_DRM, 1);
    ASSERT_NE(h, nullptr);
    // AAC, SBR, mono, 24 kHz core, no text, coder field 0.
    const uint8_t sdc[2] = {0x23, 0x00};
    const uint8_t *buffers[1] = {sdc};
    const uint32_t lengths[1] = {2};
    ASSERT_EQ(AacDec_ConfigRaw(h, buffers, lengths), AACDEC_OK);
    const AacDecStreamInfo *info = AacDec_GetStreamInfo(h);
    EXPECT_EQ(info->aot, 143);
    EXPECT_EQ(info->coreSampleRate, 24000);
    EXPECT_EQ(info->coreFrameLength, 960);
    EXPECT_EQ(info->extensionSampleRate, 48000);
    EXPECT_EQ(info->epConfig, 1);
    EXPECT_EQ(info->flags & 0x90008u, 0x90008u);
    EXPECT_EQ(info->flags & 0x5u, 0x5u); // section and spectral data resilience
    ASSERT_NE(h->channelInfo[0], nullptr);
    EXPECT_NE(h->channelInfo[0]->elementShared->resilienceBuffer, nullptr);
    AacDec_Close(h);
}
