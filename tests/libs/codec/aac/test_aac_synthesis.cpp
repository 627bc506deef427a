// Whole frames of streams from an independent encoder (ffmpeg's AAC-LC encoder)
// through parsing, spectral tools and synthesis, compared with ffmpeg's own decoder
// run as a command (skipped when it is not installed).
#include "aac_core.h"
#include "aac_rawblock.h"
#include "aac_spectral.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// Our core's output word: full scale at 2^23.
constexpr double OutputScale = 1.0 / (1u << 23);

struct DecodeContext
{
    Decoded d;
    std::unique_ptr<AacDecRawBlock> block = std::make_unique<AacDecRawBlock>();
    std::unique_ptr<AacDecSpectrum[]> spectra = std::make_unique<AacDecSpectrum[]>(AacRawBlockMaxChannels);
    std::unique_ptr<AacDecSynthesisState[]> synth = std::make_unique<AacDecSynthesisState[]>(AacRawBlockMaxChannels);
    uint32_t seed = 0x3039;
};

bool decodeUnit(AacDecInstance *h, void *context)
{
    DecodeContext &x = *static_cast<DecodeContext *>(context);
    RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
    const uint32_t start = RezTools_BitStreamGetValidBits(bs);
    const uint32_t length = static_cast<uint32_t>(TpDec_GetAccessUnitLength(h->transport, 0));
    const uint32_t frameLength = static_cast<uint32_t>(h->streamInfo.coreFrameLength);
    AacDecRawBlock *block = x.block.get();
    if (AacDec_ReadRawDataBlock(bs, block, &h->samplingRateInfo, h->flags, frameLength, start, length,
                                h->channelCount) != 0) {
        ++x.d.errors;
        return false;
    }
    x.d.channels = block->channelCount;
    x.d.rate = h->streamInfo.coreSampleRate;
    x.d.samples.resize(static_cast<size_t>(x.d.channels));
    std::vector<int32_t> out(frameLength);
    int channel = 0;
    for (int e = 0; e < block->elementCount; ++e) {
        const AacDecElement &element = block->element[e];
        AacDecSpectrum *pair[2] = {&x.spectra[channel], &x.spectra[std::min(channel + 1, AacRawBlockMaxChannels - 1)]};
        if (AacDec_DecodeChannelElement(&element, pair, &h->samplingRateInfo, frameLength, &x.seed) != 0)
            ++x.d.errors;
        for (int c = 0; c < element.channelCount; ++c, ++channel) {
            AacDec_SynthesizeChannel(&x.synth[channel], &element.channel[c]->ics, &x.spectra[channel], out.data(),
                                     frameLength);
            for (uint32_t i = 0; i < frameLength; ++i)
                x.d.samples[static_cast<size_t>(channel)].push_back(out[i] * OutputScale);
        }
    }
    return true;
}

Decoded decodeFile(const std::string &file)
{
    DecodeContext x;
    for (int c = 0; c < AacRawBlockMaxChannels; ++c)
        AacDec_InitSynthesis(&x.synth[c]);
    if (forEachAdtsUnit(file, decodeUnit, &x) < 0)
        ++x.d.errors;
    return std::move(x.d);
}


struct SynthesisCase
{
    const char *file;
    int channels;
    int referenceChannel[6]; // ffmpeg's output position of each of our channels
    double minSnrDb;         // sample by sample against ffmpeg; 0: noise substitution, bands only
    double maxBandDeltaDb;   // largest 1/3-octave band difference against ffmpeg
    bool faad = false;       // compared with faad instead (it drops the first frame)
};

// SNRs measured at the time of writing (rounded down by about 5 dB): the two decoders
// differ by rounding only. The noise-substituted streams differ in their noise, so
// only their band energies are compared.
const SynthesisCase synthesisCases[] = {
    {"ff-48k-stereo.aac", 2, {0, 1}, 50, 1.0},
    {"ff-32k-mono.aac", 1, {0}, 55, 1.0},
    {"core-16k-mono-32k-tns.aac", 1, {0}, 85, 1.0},
    {"core-22k-mono-48k-pns.aac", 1, {0}, 0, 3.0},
    {"core-24k-stereo-64k-pns.aac", 2, {0, 1}, 0, 3.0},
    {"core-32k-stereo-256k-tns.aac", 2, {0, 1}, 85, 1.0},
    // Its two TNS frames: a filter run the wrong way or with negated coefficients
    // falls to 44..51 dB.
    // Intensity bands under all-band mid/side (mask 2) keep their sign, as faad and the
    // standard have it; ffmpeg's decoder inverts them, and the right channels of these
    // two streams fall to 57 and 4 dB against it.
    {"core-44k-stereo-128k-ms.aac", 2, {0, 1}, 85, 1.0, true},
    {"core-48k-stereo-64k-is.aac", 2, {0, 1}, 84, 1.0, true},
    // The stream's order C, L R, Ls Rs, LFE; ffmpeg writes L R C LFE Ls Rs.
    {"core-48k-5.1-256k.aac", 6, {2, 0, 1, 4, 5, 3}, 50, 1.0},
};

TEST(AacSynthesis, MatchesAnIndependentDecoder)
{
    for (const SynthesisCase &f : synthesisCases) {
        SCOPED_TRACE(f.file);
        const Decoded ours = decodeFile(f.file);
        EXPECT_EQ(ours.errors, 0);
        ASSERT_EQ(ours.channels, f.channels);
        const Decoded ref = f.faad ? referenceDecodeFaad(f.file, f.channels) : referenceDecode(f.file, f.channels);
        if (ref.samples.empty())
            GTEST_SKIP() << "ffmpeg or faad is not installed: no reference decoder";
        const int64_t firstFrame = f.faad ? 1024 : 0;
        for (int c = 0; c < f.channels; ++c) {
            const std::vector<double> &all = ours.samples[static_cast<size_t>(c)];
            const std::vector<double> mine(all.begin() + firstFrame, all.end());
            const std::vector<double> &theirs = ref.samples[static_cast<size_t>(f.referenceChannel[c])];
            const Comparison r = compare(mine, theirs);
            if (f.minSnrDb > 0) {
                EXPECT_NEAR(r.gain, 1.0, 0.001) << "channel " << c;
                EXPECT_GE(r.snrDb, f.minSnrDb) << "channel " << c;
                EXPECT_EQ(r.offset, 0) << "channel " << c;
            }
            // Over the samples both decoders delivered (ffmpeg trims the stream's end).
            const size_t common = std::min(mine.size(), theirs.size());
            const std::vector<double> a = thirdOctaveEnergies({mine.begin(), mine.begin() + static_cast<long>(common)}, ours.rate);
            const std::vector<double> b = thirdOctaveEnergies({theirs.begin(), theirs.begin() + static_cast<long>(common)}, ours.rate);
            double peak = -1e9;
            for (double v : b)
                peak = std::max(peak, v);
            for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
                if (b[k] > peak - 30) { // bands that carry the signal
                    EXPECT_NEAR(a[k], b[k], f.maxBandDeltaDb) << "channel " << c << " band " << k;
                }
            }
        }
    }
}

TEST(AacSynthesis, TonesMatchTheirSourceInChannelOrderWithoutFrameSeams)
{
    // tools/aac/make-core-fixtures.sh: 0.3 s of one tone per channel, given in ffmpeg's
    // 5.1 order L R C LFE Ls Rs; the stream and our output carry C, L R, Ls Rs, LFE.
    // Bounds: SNRs measured at the time of writing less 3 dB (the encoder's quality at
    // 43 kbit/s a channel, which ffmpeg's decoder shows alike); a channel out of order
    // would carry another tone and fall to about 0 dB.
    const struct { int channel; double frequency; double minSnrDb; } rows[] = {
        {0, 660, 10}, {1, 440, 6.5}, {2, 550, 10.5}, {3, 770, 9}, {4, 880, 7.5}, {5, 60, 43},
    };
    const Decoded ours = decodeFile("core-48k-5.1-256k.aac");
    ASSERT_EQ(ours.channels, 6);
    // The source starts after the encoder's 1024-sample delay; the first and last 256
    // samples carry the encoder's ramps.
    const size_t from = 1024 + 256;
    const size_t to = 1024 + static_cast<size_t>(ours.rate * 3 / 10) - 256;
    for (const auto &r : rows) {
        const std::vector<double> &x = ours.samples[static_cast<size_t>(r.channel)];
        ASSERT_LE(to, x.size());
        const double snr = toneSnr(x, r.frequency, ours.rate, from, to);
        EXPECT_GE(snr, r.minSnrDb) << "channel " << r.channel;
        // No seam at frame boundaries: the largest step across a boundary is no larger
        // than the largest step inside frames.
        double inside = 0, across = 0;
        for (size_t i = from + 1; i < to; ++i) {
            double &largest = i % 1024 == 0 ? across : inside;
            largest = std::max(largest, std::fabs(x[i] - x[i - 1]));
        }
        EXPECT_LE(across, inside * 1.05) << "channel " << r.channel;
    }
}

} // namespace
