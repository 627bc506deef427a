// Raw data blocks of streams from an independent encoder (ffmpeg's AAC-LC encoder,
// tools/aac/make-fixtures.sh and make-core-fixtures.sh): every access unit parses
// and ends exactly where the transport says the unit ends. Any wrong codeword,
// symbol order or band table shifts the reading and breaks that, so these streams
// check the transcribed tables; the tool counts show which tools they exercise.
#include "aac_core.h"
#include "aac_rawblock.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ToolCounts
{
    int units = 0;
    int eightShort = 0;
    int tns = 0;
    int pulse = 0;
    int midSide = 0;
    int intensity = 0;
    int noise = 0;
    int escape = 0;
};

void countTools(const AacDecRawBlock &block, ToolCounts &counts)
{
    for (int e = 0; e < block.elementCount; ++e) {
        const AacDecElement &element = block.element[e];
        if (element.stereo.msMaskPresent)
            ++counts.midSide;
        for (int c = 0; c < element.channelCount; ++c) {
            const AacDecChannelData &ch = *element.channel[c];
            counts.eightShort += ch.ics.windowSequence == AacEightShort;
            counts.tns += ch.tns.present;
            counts.pulse += ch.pulse.present;
            for (int i = 0; i < 128; ++i) {
                counts.intensity += ch.codebook[i] == AacIntensityInPhase || ch.codebook[i] == AacIntensityOutOfPhase;
                counts.noise += ch.codebook[i] == AacNoiseCodebook;
                counts.escape += ch.codebook[i] == AacEscapeCodebook;
            }
        }
    }
}

struct ParseContext
{
    const char *file;
    int expectedChannels;
    ToolCounts counts;
    std::unique_ptr<AacDecRawBlock> block = std::make_unique<AacDecRawBlock>();
};

bool parseUnit(AacDecInstance *h, void *context)
{
    ParseContext &x = *static_cast<ParseContext *>(context);
    RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
    const uint32_t start = RezTools_BitStreamGetValidBits(bs);
    const uint32_t length = static_cast<uint32_t>(TpDec_GetAccessUnitLength(h->transport, 0));
    const int r = AacDec_ReadRawDataBlock(bs, x.block.get(), &h->samplingRateInfo, h->flags,
                                          h->streamInfo.coreFrameLength, start, length, h->channelCount);
    EXPECT_EQ(r, 0) << x.file << " unit " << x.counts.units;
    if (r != 0)
        return false;
    EXPECT_EQ(x.block->channelCount, x.expectedChannels) << x.file << " unit " << x.counts.units;
    countTools(*x.block, x.counts);
    ++x.counts.units;
    return true;
}

// Parses every unit of an ADTS file; fails the test at the first unit that does not parse.
ToolCounts parseFile(const char *file, int expectedChannels)
{
    ParseContext x{file, expectedChannels, {}};
    EXPECT_GT(forEachAdtsUnit(file, parseUnit, &x), 0) << file;
    return x.counts;
}

TEST(AacRawBlock, EncoderStreamsParseToTheEndOfEveryUnit)
{
    const struct { const char *file; int channels; } files[] = {
        {"ff-32k-mono.aac", 1},
        {"ff-32k-stereo.aac", 2},
        {"ff-32k-5.1.aac", 6},
        {"ff-48k-mono.aac", 1},
        {"ff-48k-stereo.aac", 2},
        {"ff-48k-5.1.aac", 6},
        {"core-16k-mono-32k-tns.aac", 1},
        {"core-22k-mono-48k-pns.aac", 1},
        {"core-24k-stereo-64k-pns.aac", 2},
        {"core-32k-stereo-256k-tns.aac", 2},
        {"core-44k-stereo-128k-ms.aac", 2},
        {"core-48k-stereo-64k-is.aac", 2},
        {"core-48k-5.1-256k.aac", 6},
    };
    ToolCounts total;
    for (const auto &f : files) {
        const ToolCounts c = parseFile(f.file, f.channels);
        EXPECT_GT(c.units, 3) << f.file;
        total.units += c.units;
        total.eightShort += c.eightShort;
        total.tns += c.tns;
        total.pulse += c.pulse;
        total.midSide += c.midSide;
        total.intensity += c.intensity;
        total.noise += c.noise;
        total.escape += c.escape;
    }
    // The streams exercise the tools whose side data the parser reads.
    EXPECT_GT(total.eightShort, 0);
    EXPECT_GT(total.tns, 0);
    EXPECT_GT(total.midSide, 0);
    EXPECT_GT(total.intensity, 0);
    EXPECT_GT(total.noise, 0);
    EXPECT_GT(total.escape, 0);
    RecordProperty("units", total.units);
    std::printf("units %d, eight-short %d, tns %d, pulse %d, m/s %d, intensity bands %d, noise bands %d, escape bands %d\n",
                total.units, total.eightShort, total.tns, total.pulse, total.midSide, total.intensity, total.noise,
                total.escape);
}

} // namespace
