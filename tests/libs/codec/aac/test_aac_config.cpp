// AudioSpecificConfig, extension signalling and program config elements, from
// configurations written bit by bit after the MPEG-4 audio syntax.
#include "aac_config.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

namespace {

struct Parsed
{
    int result;
    AudioSpecificConfig config;
};

Parsed parse(const std::vector<uint8_t> &bytes, uint32_t bits, const TpDecCallbacks *callbacks = nullptr)
{
    std::vector<uint8_t> buffer(1024, 0);
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, buffer.data(), 1024, bits, REZ_BIT_READ);
    Parsed p{};
    p.result = AacDec_ParseAudioSpecificConfig(&p.config, &bs, 1, callbacks, 1, 0);
    return p;
}

Parsed parse(const BitWriter &w, const TpDecCallbacks *callbacks = nullptr)
{
    return parse(w.bytes, w.bits, callbacks);
}

// GASpecificConfig of DAB+: 960-sample frames, no core coder, no extension.
void dabGa(BitWriter &w)
{
    w.put(1, 1).put(0, 1).put(0, 1);
}

} // namespace

TEST(AacConfig, DabPlusTwoAndFourByteConfigurations)
{
    struct Row
    {
        const char *name;
        int aot;        // signalled object type
        int rateIndex;  // core, or the explicit SBR's core index
        int extIndex;   // -1 without SBR
        int channels;
        uint32_t expectRate, expectExtRate;
        int expectPs;
    } rows[] = {
        {"AAC-LC 48 kHz stereo", 2, 3, -1, 2, 48000, 0, 0},
        {"AAC-LC 32 kHz mono", 2, 5, -1, 1, 32000, 0, 0},
        {"SBR 24/48 kHz", 5, 6, 3, 2, 24000, 48000, 0},
        {"SBR 16/32 kHz", 5, 8, 5, 1, 16000, 32000, 0},
        {"SBR+PS 24/48 kHz", 29, 6, 3, 1, 24000, 48000, 1},
        {"SBR+PS 16/32 kHz", 29, 8, 5, 1, 16000, 32000, 1},
    };
    for (const Row &r : rows) {
        BitWriter w;
        w.put(r.aot, 5).put(r.rateIndex, 4).put(r.channels, 4);
        if (r.extIndex >= 0)
            w.put(r.extIndex, 4).put(2, 5);
        dabGa(w);
        w.align();
        EXPECT_EQ(w.bytes.size(), r.extIndex >= 0 ? 4u : 2u) << r.name;
        const Parsed p = parse(w);
        ASSERT_EQ(p.result, TPDEC_OK) << r.name;
        EXPECT_EQ(p.config.aot, 2) << r.name;
        EXPECT_EQ(p.config.frameLength, 960u) << r.name;
        EXPECT_EQ(p.config.sampleRate, r.expectRate) << r.name;
        EXPECT_EQ(p.config.channelConfig, r.channels) << r.name;
        EXPECT_EQ(p.config.samplingFrequencyIndex, r.rateIndex) << r.name;
        EXPECT_EQ(p.config.sbrPresent, r.extIndex >= 0 ? 1 : 0) << r.name;
        EXPECT_EQ(p.config.extensionAot, r.extIndex >= 0 ? 5 : 0) << r.name;
        EXPECT_EQ(p.config.extensionSampleRate, r.expectExtRate) << r.name;
        EXPECT_EQ(p.config.psPresent, r.expectPs) << r.name;
    }
}

TEST(AacConfig, EscapedRatesAndObjectTypes)
{
    struct Row { const char *name; uint32_t rate; int expected; } rows[] = {
        {"rate 0", 0, TPDEC_PARSE_ERROR},
        {"rate 96001", 96001, TPDEC_PARSE_ERROR},
        {"rate 96000", 96000, TPDEC_OK},
        {"odd rate 22000", 22000, TPDEC_OK},
    };
    for (const Row &r : rows) {
        BitWriter w;
        w.put(2, 5).put(15, 4).put(r.rate, 24).put(1, 4);
        dabGa(w);
        const Parsed p = parse(w);
        EXPECT_EQ(p.result, r.expected) << r.name;
        if (r.expected == TPDEC_OK) {
            EXPECT_EQ(p.config.sampleRate, r.rate) << r.name;
            EXPECT_EQ(p.config.samplingFrequencyIndex, r.rate == 96000 ? 0 : 15) << r.name;
        }
    }
    // An escaped rate whose 24 bits are missing reads as 0.
    BitWriter cut;
    cut.put(2, 5).put(15, 4).put(0xBB, 8);
    EXPECT_EQ(parse(cut).result, TPDEC_PARSE_ERROR);

    // Object type escape: 31 then 6 bits, 32 + 10 = 42.
    BitWriter escaped;
    escaped.put(31, 5).put(10, 6);
    RezBitStream bs;
    std::vector<uint8_t> buffer(4, 0);
    std::copy(escaped.bytes.begin(), escaped.bytes.end(), buffer.begin());
    RezTools_BitStreamInit(&bs, buffer.data(), 4, escaped.bits, REZ_BIT_READ);
    EXPECT_EQ(AacDec_ParseAot(&bs), 42);

    // SBR signalled explicitly over an object type other than 2 or 22.
    BitWriter sbrOver17;
    sbrOver17.put(5, 5).put(6, 4).put(2, 4).put(3, 4).put(17, 5);
    dabGa(sbrOver17);
    EXPECT_EQ(parse(sbrOver17).result, TPDEC_UNSUPPORTED);

    // Object types this parser does not configure.
    BitWriter celp;
    celp.put(8, 5).put(3, 4).put(1, 4).put(0, 16);
    EXPECT_EQ(parse(celp).result, TPDEC_UNSUPPORTED);
}

TEST(AacConfig, BackwardCompatibleExtensionSignalling)
{
    auto base = [] {
        BitWriter w;
        w.put(2, 5).put(6, 4).put(2, 4);
        dabGa(w);
        return w;
    };
    {
        BitWriter w = base();
        w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4).put(0x548, 11).put(1, 1);
        const Parsed p = parse(w);
        ASSERT_EQ(p.result, TPDEC_OK);
        EXPECT_EQ(p.config.sbrPresent, 1);
        EXPECT_EQ(p.config.extensionAot, 5);
        EXPECT_EQ(p.config.extensionSampleRate, 48000u);
        EXPECT_EQ(p.config.psPresent, 1);
        EXPECT_EQ(p.config.sampleRate, 24000u);
    }
    {
        // The sampling index 13 has no rate.
        BitWriter w = base();
        w.put(0x2B7, 11).put(5, 5).put(1, 1).put(13, 4);
        EXPECT_EQ(parse(w).result, TPDEC_PARSE_ERROR);
    }
    {
        // sbrPresentFlag 0: signalled as absent.
        BitWriter w = base();
        w.put(0x2B7, 11).put(5, 5).put(0, 1);
        const Parsed p = parse(w);
        ASSERT_EQ(p.result, TPDEC_OK);
        EXPECT_EQ(p.config.sbrPresent, 0);
    }
    {
        // Unknown sync words end the signalling without error; trailing bits
        // shorter than a sync word are ignored.
        BitWriter w = base();
        w.put(0x123, 11).put(0, 5);
        EXPECT_EQ(parse(w).result, TPDEC_OK);
    }
    {
        // A spatial extension with no callback is skipped over its length.
        BitWriter w = base();
        w.put(0x7CC, 11).put(1, 1).put(2, 8).put(0xAB, 8).put(0xCD, 8).put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        const Parsed p = parse(w);
        ASSERT_EQ(p.result, TPDEC_OK);
        EXPECT_EQ(p.config.sbrPresent, 1);
    }
}

namespace {

// A PCE: front elements (is_cpe, tag), side, back, LFE tags, an optional comment.
BitWriter pceBits(std::vector<std::pair<int, int>> front, std::vector<std::pair<int, int>> side,
                  std::vector<std::pair<int, int>> back, std::vector<int> lfe, bool matrix = false)
{
    BitWriter w;
    w.put(0, 4).put(1, 2).put(3, 4);
    w.put(front.size(), 4).put(side.size(), 4).put(back.size(), 4).put(lfe.size(), 2).put(0, 3).put(0, 4);
    w.put(0, 1).put(0, 1).put(matrix ? 1 : 0, 1);
    if (matrix)
        w.put(2, 2).put(1, 1);
    for (auto *group : {&front, &side, &back})
        for (auto [cpe, tag] : *group)
            w.put(cpe, 1).put(tag, 4);
    for (int tag : lfe)
        w.put(tag, 4);
    w.align();
    w.put(0, 8);
    return w;
}

AacPce parsePce(const BitWriter &w, int *valid)
{
    std::vector<uint8_t> buffer(512, 0);
    std::copy(w.bytes.begin(), w.bytes.end(), buffer.begin());
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, buffer.data(), 512, w.bits, REZ_BIT_READ);
    AacPce pce;
    *valid = AacDec_ParseProgramConfig(&pce, &bs, w.bits);
    return pce;
}

} // namespace

TEST(AacConfig, ProgramConfigElementValidity)
{
    struct Row
    {
        const char *name;
        BitWriter bits;
        int valid;
        int channels;
        int expectConfig; // channel configuration the element list matches
    } rows[] = {
        {"5.1", pceBits({{0, 0}, {1, 0}}, {}, {{1, 1}}, {0}, true), 1, 6, 6},
        {"stereo", pceBits({{1, 0}}, {}, {}, {}), 1, 2, 2},
        {"two front singles tagged 0", pceBits({{0, 0}, {0, 0}}, {}, {}, {}), 0, 2, 2},
        {"same pair tag in front and back", pceBits({{1, 3}}, {}, {{1, 3}}, {}), 0, 4, 0},
        {"single and pair may share a tag", pceBits({{0, 0}, {1, 0}}, {}, {}, {}), 1, 3, 3},
        {"repeated LFE tag", pceBits({{0, 0}}, {}, {}, {2, 2}), 0, 3, 0},
        {"7.1 with side pair", pceBits({{0, 0}, {1, 0}}, {{1, 1}}, {{1, 2}}, {0}), 1, 8, 12},
    };
    for (Row &r : rows) {
        int valid = -1;
        const AacPce pce = parsePce(r.bits, &valid);
        EXPECT_EQ(valid, r.valid) << r.name;
        EXPECT_EQ(pce.numChannels, r.channels) << r.name;
        if (!r.valid)
            continue;
        int8_t types[16];
        uint8_t config = 99;
        const int n = AacDec_PceGetElementList(&pce, types, 16, &config);
        EXPECT_GT(n, 0) << r.name;
        EXPECT_EQ(config, r.expectConfig) << r.name;
    }

    // A PCE cut short is not valid.
    BitWriter full = pceBits({{0, 0}, {1, 0}}, {}, {{1, 1}}, {0});
    BitWriter cut;
    for (uint32_t i = 0; i < 20; ++i)
        cut.put((full.bytes[i / 8] >> (7 - i % 8)) & 1, 1);
    int valid = -1;
    parsePce(cut, &valid);
    EXPECT_EQ(valid, 0);
}

TEST(AacConfig, ProgramConfigInsideTheAudioSpecificConfig)
{
    BitWriter w;
    w.put(2, 5).put(3, 4).put(0, 4); // channel configuration 0: a PCE follows
    w.put(0, 1).put(0, 1).put(0, 1);
    // The PCE inside; its byte alignment counts from the configuration's start.
    BitWriter body;
    body.put(0, 4).put(1, 2).put(3, 4).put(2, 4).put(0, 4).put(1, 4).put(1, 2).put(0, 3).put(0, 4);
    body.put(0, 1).put(0, 1).put(1, 1).put(2, 2).put(1, 1);
    body.put(0, 1).put(0, 4).put(1, 1).put(0, 4).put(1, 1).put(1, 4).put(0, 4);
    for (uint32_t i = 0; i < body.bits; ++i)
        w.put((body.bytes[i / 8] >> (7 - i % 8)) & 1, 1);
    w.align();
    w.put(0, 8);
    const Parsed p = parse(w);
    ASSERT_EQ(p.result, TPDEC_OK);
    EXPECT_EQ(p.config.pce.isValid, 1);
    EXPECT_EQ(p.config.pce.numChannels, 6);
    EXPECT_EQ(p.config.pce.matrixMixdownIndex, 2);
}

TEST(AacConfig, DefaultLayoutsAndTheirComparison)
{
    // Channels by configuration, counted from the layouts the configurations name.
    struct Row { int config; int channels; } rows[] = {
        {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 8}, {11, 7}, {12, 8}, {14, 8}, {32, 8},
    };
    for (const Row &r : rows) {
        AacPce pce;
        AacDec_PceDefault(&pce, r.config);
        EXPECT_EQ(pce.isValid, 1) << r.config;
        EXPECT_EQ(pce.numChannels, r.channels) << r.config;
        EXPECT_EQ(AacDec_PceCheckLayout(&pce), 0) << r.config;
        AacPce same;
        AacDec_PceDefault(&same, r.config);
        EXPECT_EQ(AacDec_PceCompare(&pce, &same), 0) << r.config;
    }
    AacPce a, b;
    AacDec_PceDefault(&a, 5);
    AacDec_PceDefault(&b, 6);
    EXPECT_EQ(AacDec_PceCompare(&a, &b), -1);
    AacDec_PceDefault(&b, 5);
    b.backTag[0] = 9;
    EXPECT_EQ(AacDec_PceCompare(&a, &b), 1);
    AacDec_PceDefault(&a, 7);
    AacDec_PceDefault(&b, 14);
    EXPECT_EQ(AacDec_PceCompare(&a, &b), 2);
    AacDec_PceDefault(&a, 13);
    EXPECT_EQ(a.isValid, 0);

    // Back pair then single is a good layout; a single followed by a pair is not.
    AacDec_PceDefault(&a, 11);
    EXPECT_EQ(AacDec_PceCheckLayout(&a), 0);
    a.backIsCpe[0] = 0;
    a.backIsCpe[1] = 1;
    EXPECT_EQ(AacDec_PceCheckLayout(&a), 1);
}

TEST(AacConfig, ChannelIndicesPutLfeAfterTheNormalLayer)
{
    AacPce pce;
    AacDec_PceDefault(&pce, 14);
    uint8_t indices[8];
    ASSERT_EQ(AacDec_PceChannelIndices(&pce, indices, 8), 8);
    // Front C, L R (normal), top L R, back L R, LFE: the top pair comes last.
    const uint8_t expected[8] = {0, 1, 2, 6, 7, 3, 4, 5};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(indices[i], expected[i]) << i;
    EXPECT_EQ(AacDec_PceChannelIndices(&pce, indices, 7), -1);
}

TEST(AacConfig, SamplingRateIndex)
{
    // The MPEG-4 audio rates by index; the index function must find each one.
    const uint32_t rates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(AacDec_SamplingRateIndex(rates[i], 4), i) << rates[i];
    // The extended rates of the unified coding, reachable with the 5-bit index.
    const uint32_t extended[13] = {57600, 51200, 40000, 38400, 34150, 28800, 25600,
                                   20000, 19200, 17075, 14400, 12800, 9600};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(AacDec_SamplingRateIndex(extended[i], 5), 15 + i) << extended[i];
    EXPECT_EQ(AacDec_SamplingRateIndex(0, 4), 15);
    EXPECT_EQ(AacDec_SamplingRateIndex(57600, 4), 15);
    EXPECT_EQ(AacDec_SamplingRateIndex(57600, 5), 15);
    EXPECT_EQ(AacDec_SamplingRateIndex(9600, 5), 27);
    EXPECT_EQ(AacDec_SamplingRateIndex(12345, 5), 31);
}

TEST(AacConfig, DrmSdcConfiguration)
{
    struct Row
    {
        const char *name;
        uint32_t coding, sbr, mode, rate, coder;
        int expected;
        int32_t aot;
        uint32_t sampleRate;
        int channels;
    } rows[] = {
        {"AAC mono 24 kHz SBR", 0, 1, 0, 3, 0, TPDEC_OK, 143, 24000, 1},
        {"AAC stereo 48 kHz", 0, 0, 2, 5, 0, TPDEC_OK, 143, 48000, 2},
        {"AAC stereo coder above 3", 0, 0, 2, 5, 4, TPDEC_OK, 146, 48000, 2},
        {"AAC parametric stereo with SBR", 0, 1, 1, 3, 0, TPDEC_OK, 143, 24000, 1},
        {"parametric stereo without SBR", 0, 0, 1, 3, 0, TPDEC_PARSE_ERROR, 143, 24000, 1},
        {"AAC rate code 4", 0, 0, 0, 4, 0, TPDEC_PARSE_ERROR, -1, 0, 0},
        {"AAC mode 3", 0, 0, 3, 3, 0, TPDEC_PARSE_ERROR, 143, 24000, 0},
    };
    for (const Row &r : rows) {
        BitWriter w;
        w.put(r.coding, 2).put(r.sbr, 1).put(r.mode, 2).put(r.rate, 3).put(0, 2).put(r.coder, 5).put(0, 1);
        std::vector<uint8_t> buffer(16, 0);
        std::copy(w.bytes.begin(), w.bytes.end(), buffer.begin());
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, buffer.data(), 16, w.bits, REZ_BIT_READ);
        AudioSpecificConfig c;
        const int result = AacDec_ParseDrmSdcConfig(&c, &bs, nullptr, 1, 0);
        EXPECT_EQ(result, r.expected) << r.name;
        if (result != TPDEC_OK)
            continue;
        EXPECT_EQ(c.aot, r.aot) << r.name;
        EXPECT_EQ(c.sampleRate, r.sampleRate) << r.name;
        EXPECT_EQ(c.channelConfig, r.channels) << r.name;
        EXPECT_EQ(c.frameLength, 960u) << r.name;
        EXPECT_EQ(c.extensionSampleRate, r.sbr ? 2 * r.sampleRate : 0u) << r.name;
    }
    RezBitStream bs;
    uint8_t one[8] = {};
    RezTools_BitStreamInit(&bs, one, 8, 15, REZ_BIT_READ);
    AudioSpecificConfig c;
    EXPECT_EQ(AacDec_ParseDrmSdcConfig(&c, &bs, nullptr, 1, 0), TPDEC_PARSE_ERROR);
}

TEST(AacConfig, ElementsMapToOutputChannels)
{
    struct Call { int type; int tag; int result; };
    struct Slot { int channel; int32_t type; uint8_t index; };
    struct Row
    {
        const char *name;
        int channelConfig; // 0: through the PCE of configuration 6
        std::vector<Call> calls;
        std::vector<Slot> slots;
    } rows[] = {
        {"5.1 by configuration", 6,
         {{AacIdSce, 0, 1}, {AacIdCpe, 0, 1}, {AacIdCpe, 1, 1}, {AacIdLfe, 0, 1}},
         {{0, AacChannelFront, 0}, {1, AacChannelFront, 1}, {2, AacChannelFront, 2},
          {3, AacChannelBack, 0}, {4, AacChannelBack, 1}, {5, AacChannelLfe, 0}}},
        {"wrong element for the layout", 6, {{AacIdCpe, 0, 0}}, {}},
        {"single in stereo placed as mono", 2, {{AacIdSce, 0, 1}}, {{0, AacChannelFront, 0}}},
        {"5.1 by PCE tags, out of order", 0,
         {{AacIdLfe, 0, 1}, {AacIdCpe, 1, 1}, {AacIdCpe, 0, 1}, {AacIdSce, 0, 1}, {AacIdCpe, 7, 0}},
         {{0, AacChannelFront, 0}, {1, AacChannelFront, 1}, {2, AacChannelFront, 2},
          {3, AacChannelBack, 0}, {4, AacChannelBack, 1}, {5, AacChannelLfe, 0}}},
    };
    for (Row &r : rows) {
        AacPce pce;
        AacDec_PceDefault(&pce, r.channelConfig == 0 ? 6 : r.channelConfig);
        if (r.channelConfig != 0)
            pce.isValid = 0;
        AacDec_PceResetElementCount(&pce);
        const int8_t list6[7] = {0, 1, 1, 3, 8, 7, -1};
        const int8_t list2[3] = {1, 8, 7};
        const int8_t *list = r.channelConfig == 2 ? list2 : list6;
        int32_t types[8] = {};
        uint8_t indices[8] = {};
        for (const Call &c : r.calls)
            EXPECT_EQ(AacDec_PceMapElement(&pce, r.channelConfig, c.tag, list, 7, types, indices, 8, c.type), c.result)
                << r.name << " element " << c.type << "/" << c.tag;
        for (const Slot &s : r.slots) {
            EXPECT_EQ(types[s.channel], s.type) << r.name << " channel " << s.channel;
            EXPECT_EQ(indices[s.channel], s.index) << r.name << " channel " << s.channel;
        }
    }
}

TEST(AacConfig, UnifiedConfigurationWithoutSbr)
{
    BitWriter w;
    w.put(31, 5).put(10, 6).put(3, 4).put(2, 4); // object type 42, then the ASC's own rate and channels
    w.put(3, 5).put(1, 3).put(2, 5);             // 48 kHz, 1024 without SBR, stereo
    w.put(1, 4);                                 // two elements
    w.put(1, 2).put(0, 1).put(1, 1);             // pair: no time warping, noise filling
    w.put(3, 2).put(2, 4).put(2, 4).put(0, 1).put(0, 1).put(0xA5, 8).put(0xA5, 8); // extension, 2 config bytes
    w.put(0, 1);                                 // no configuration extension
    const Parsed p = parse(w);
    ASSERT_EQ(p.result, TPDEC_OK);
    EXPECT_EQ(p.config.aot, 42);
    EXPECT_EQ(p.config.sampleRate, 48000u);
    EXPECT_EQ(p.config.frameLength, 1024u);
    EXPECT_EQ(p.config.channelConfig, 2);
    EXPECT_EQ(p.config.sbrPresent, 0);
    ASSERT_EQ(p.config.usac.elementCount, 2u);
    EXPECT_EQ(p.config.usac.elements[0].id, AacIdUsacCpe);
    EXPECT_EQ(p.config.usac.elements[0].noiseFilling, 1);
    EXPECT_EQ(p.config.usac.elements[1].id, AacIdUsacExt);
    EXPECT_EQ(p.config.usac.elements[1].extensionType, 2u);

    // With SBR the element needs the SBR decoder's header callback.
    BitWriter sbr;
    sbr.put(31, 5).put(10, 6).put(3, 4).put(1, 4);
    sbr.put(3, 5).put(3, 3).put(1, 5).put(0, 4);
    sbr.put(0, 2).put(0, 1).put(0, 1).put(0, 3);
    EXPECT_EQ(parse(sbr).result, TPDEC_CALLBACK_FAILED);

    // Time-warped MDCT is not supported; a bad frame-length index is an error.
    BitWriter warped;
    warped.put(31, 5).put(10, 6).put(3, 4).put(1, 4).put(3, 5).put(1, 3).put(1, 5).put(0, 4).put(0, 2).put(1, 1);
    EXPECT_EQ(parse(warped).result, TPDEC_UNSUPPORTED);
    BitWriter index5;
    index5.put(31, 5).put(10, 6).put(3, 4).put(1, 4).put(3, 5).put(5, 3).put(1, 5);
    EXPECT_EQ(parse(index5).result, TPDEC_PARSE_ERROR);
}
