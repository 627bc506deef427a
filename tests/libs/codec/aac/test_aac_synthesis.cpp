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

struct Decoded
{
    int channels = 0;
    int rate = 0;
    std::vector<std::vector<double>> samples; // per channel, full scale 1.0
    int errors = 0;
};

// Our core's output word: full scale at 2^23.
constexpr double OutputScale = 1.0 / (1u << 23);

Decoded decodeFile(const std::string &file)
{
    Decoded d;
    const std::vector<uint8_t> stream = readFixture(file);
    AacDecHandle h = AacDec_Open(AACDEC_TT_ADTS, 1);
    const uint8_t *buffers[1] = {stream.data()};
    const uint32_t sizes[1] = {static_cast<uint32_t>(stream.size())};
    uint32_t valid[1] = {sizes[0]};
    AacDec_Fill(h, buffers, sizes, valid);
    auto block = std::make_unique<AacDecRawBlock>();
    auto spectra = std::make_unique<AacDecSpectrum[]>(AacRawBlockMaxChannels);
    auto synth = std::make_unique<AacDecSynthesisState[]>(AacRawBlockMaxChannels);
    for (int c = 0; c < AacRawBlockMaxChannels; ++c)
        AacDec_InitSynthesis(&synth[c]);
    uint32_t seed = 0x3039;
    std::vector<int32_t> out(1024);
    for (int guard = 0; guard < 1000; ++guard) {
        if (TpDec_ReadAccessUnit(h->transport, 0) != TPDEC_OK)
            break;
        RezBitStream *bs = TpDec_GetBitStream(h->transport, 0);
        const uint32_t start = RezTools_BitStreamGetValidBits(bs);
        const uint32_t length = static_cast<uint32_t>(TpDec_GetAccessUnitLength(h->transport, 0));
        const uint32_t frameLength = static_cast<uint32_t>(h->streamInfo.coreFrameLength);
        if (AacDec_ReadRawDataBlock(bs, block.get(), &h->samplingRateInfo, h->flags, frameLength, start, length,
                                    h->channelCount) != 0) {
            ++d.errors;
            break;
        }
        d.channels = block->channelCount;
        d.rate = h->streamInfo.coreSampleRate;
        d.samples.resize(static_cast<size_t>(d.channels));
        int channel = 0;
        for (int e = 0; e < block->elementCount; ++e) {
            const AacDecElement &element = block->element[e];
            AacDecSpectrum *pair[2] = {&spectra[channel], &spectra[channel + 1 < AacRawBlockMaxChannels ? channel + 1 : channel]};
            if (AacDec_DecodeChannelElement(&element, pair, &h->samplingRateInfo, frameLength, &seed) != 0)
                ++d.errors;
            for (int c = 0; c < element.channelCount; ++c, ++channel) {
                AacDec_SynthesizeChannel(&synth[channel], &element.channel[c]->ics, &spectra[channel], out.data(),
                                         frameLength);
                for (uint32_t i = 0; i < frameLength; ++i)
                    d.samples[static_cast<size_t>(channel)].push_back(out[i] * OutputScale);
            }
        }
        TpDec_EndAccessUnit(h->transport);
    }
    AacDec_Close(h);
    return d;
}

// ffmpeg's decoding of the same file as float samples, or empty without ffmpeg.
Decoded referenceDecode(const std::string &file, int channels)
{
    Decoded d;
    const std::string path = std::string(AAC_FIXTURES) + "/" + file;
    const std::string command = "ffmpeg -hide_banner -loglevel error -i '" + path + "' -f f32le - 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return d;
    std::vector<float> all;
    float buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, sizeof(float), 4096, pipe)) > 0)
        all.insert(all.end(), buffer, buffer + n);
    pclose(pipe);
    if (all.empty())
        return d;
    d.channels = channels;
    d.samples.resize(static_cast<size_t>(channels));
    for (size_t i = 0; i + static_cast<size_t>(channels) <= all.size(); i += static_cast<size_t>(channels))
        for (int c = 0; c < channels; ++c)
            d.samples[static_cast<size_t>(c)].push_back(all[i + static_cast<size_t>(c)]);
    return d;
}

struct Comparison
{
    double gain;     // ours relative to the reference
    double snrDb;    // reference power over difference power after the gain
    int64_t offset;  // our sample index of the reference's first sample
};

Comparison compare(const std::vector<double> &ours, const std::vector<double> &ref)
{
    Comparison best{0, -1e9, 0};
    // ffmpeg drops the encoder's priming frame; try whole-frame offsets.
    for (int64_t offset : {0, 1024, 2048, 960}) {
        double sxy = 0, syy = 0, sxx = 0;
        const size_t n = std::min(ours.size() > static_cast<size_t>(offset) ? ours.size() - static_cast<size_t>(offset) : 0, ref.size());
        for (size_t i = 0; i < n; ++i) {
            sxy += ours[i + static_cast<size_t>(offset)] * ref[i];
            syy += ours[i + static_cast<size_t>(offset)] * ours[i + static_cast<size_t>(offset)];
            sxx += ref[i] * ref[i];
        }
        if (n == 0 || syy == 0)
            continue;
        const double gain = sxy / syy;
        double err = 0;
        for (size_t i = 0; i < n; ++i) {
            const double diff = ours[i + static_cast<size_t>(offset)] * gain - ref[i];
            err += diff * diff;
        }
        const double snr = 10 * std::log10(sxx / std::max(err, 1e-30));
        if (snr > best.snrDb)
            best = {gain, snr, offset};
    }
    return best;
}

TEST(AacSynthesis, MatchesAnIndependentDecoder)
{
    const struct { const char *file; int channels; } files[] = {
        {"ff-48k-stereo.aac", 2},
        {"ff-32k-mono.aac", 1},
        {"core-16k-mono-32k-tns.aac", 1},
        {"core-22k-mono-48k-pns.aac", 1},
        {"core-24k-stereo-64k-pns.aac", 2},
        {"core-32k-stereo-256k-tns.aac", 2},
        {"core-44k-stereo-128k-ms.aac", 2},
        {"core-48k-stereo-64k-is.aac", 2},
        {"core-48k-5.1-256k.aac", 6},
    };
    for (const auto &f : files) {
        const Decoded ours = decodeFile(f.file);
        EXPECT_EQ(ours.errors, 0) << f.file;
        const Decoded ref = referenceDecode(f.file, f.channels);
        if (ref.samples.empty())
            GTEST_SKIP() << "ffmpeg is not installed: no reference decoder";
        ASSERT_EQ(ours.channels, f.channels) << f.file;
        for (int c = 0; c < f.channels; ++c) {
            const Comparison r = compare(ours.samples[static_cast<size_t>(c)], ref.samples[static_cast<size_t>(c)]);
            std::printf("%s ch %d: gain %.6f snr %.1f dB offset %lld\n", f.file, c, r.gain, r.snrDb,
                        static_cast<long long>(r.offset));
        }
    }
}

} // namespace
