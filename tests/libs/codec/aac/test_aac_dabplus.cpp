// Real DAB+ broadcasts (a recorded ETI ensemble): every access unit of every DAB+
// sub-channel, cut out by the superframe parser, decodes through the public path with
// the AudioSpecificConfig that the parser builds: 960-line frames at 32 and 48 kHz,
// mono and stereo, with SBR payloads stepped over (this core decodes the AAC part).
// The same units wrapped in LOAS go through ffmpeg's decoder as a reference; of the
// SBR streams with 960-line frames it also decodes the AAC core only.
#include "AacDec.h"
#include "DABplusParser.h"
#include "DabPlusDecode.h"
#include "EtiSubchannels.h"
#include "aac_test_support.h"

#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Stream
{
    int units = 0;
    int good = 0;
    int channels = 0;
    int frameSize = 0;
    double sumSquares = 0;
    int64_t samples = 0;
    int clipped = 0;
    int rate = 0;
    std::vector<std::vector<double>> pcm; // per channel, full scale 1.0
    std::vector<uint8_t> loas;            // the units in LOAS frames with their configuration
    int32_t outputDelay = 0;
};

// One LOAS frame: sync, length, an audio mux element that carries its stream mux
// configuration (one program, one layer, the AudioSpecificConfig of `configBits`
// bits), the payload length in bytes and the payload.
void appendLoas(std::vector<uint8_t> &out, const uint8_t *config, uint32_t configBits, const uint8_t *unit,
                uint32_t length)
{
    BitWriter m;
    m.put(0, 1);                           // new stream mux configuration
    m.put(0, 1).put(1, 1).put(0, 6).put(0, 4).put(0, 3);
    for (uint32_t i = 0; i < configBits; ++i)
        m.put((config[i / 8] >> (7 - i % 8)) & 1, 1);
    m.put(0, 3).put(0xFF, 8);              // frame length type 0, buffer fullness
    m.put(0, 1).put(0, 1);                 // no other data, no CRC
    for (uint32_t left = length; ; left -= 255) {
        m.put(left >= 255 ? 255 : left, 8);
        if (left < 255)
            break;
    }
    for (uint32_t i = 0; i < length; ++i)
        m.put(unit[i], 8);
    m.align();
    BitWriter f;
    f.put(0x2B7, 11).put(static_cast<uint32_t>(m.bytes.size()), 13);
    out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    out.insert(out.end(), m.bytes.begin(), m.bytes.end());
}

// ffmpeg's decoding of LOAS bytes, or empty without ffmpeg.
Decoded ffmpegLoas(const std::vector<uint8_t> &loas, int channels)
{
    char path[] = "/tmp/zoz-dabplus-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return {};
    const bool written = write(fd, loas.data(), loas.size()) == static_cast<ssize_t>(loas.size());
    close(fd);
    Decoded d;
    if (written) {
        const std::string command = std::string("ffmpeg -hide_banner -loglevel error -f loas -i ") + path +
                                    " -f f32le - 2>/dev/null";
        FILE *pipe = popen(command.c_str(), "r");
        std::vector<float> all;
        float buffer[4096];
        size_t n;
        while (pipe && (n = std::fread(buffer, sizeof(float), 4096, pipe)) > 0)
            all.insert(all.end(), buffer, buffer + n);
        if (pipe)
            pclose(pipe);
        d.channels = channels;
        d.samples.resize(static_cast<size_t>(channels));
        for (size_t i = 0; i + static_cast<size_t>(channels) <= all.size(); i += static_cast<size_t>(channels))
            for (int c = 0; c < channels; ++c)
                d.samples[static_cast<size_t>(c)].push_back(all[i + static_cast<size_t>(c)]);
        if (all.empty())
            d.samples.clear();
    }
    unlink(path);
    return d;
}

Stream decodeSubchannel(const EtiSubchannel &sub, uint32_t *streamType)
{
    Stream d;
    *streamType = decodeDabPlusUnits(sub, [&](const DabPlusFrame &f) {
        // AAC-LC: object type, rate, channels, three GA bits; with SBR an extension rate
        // and the core's object type come between.
        const uint32_t configBits = f.unit.configLength == 2 ? 16 : 25;
        appendLoas(d.loas, f.unit.config, configBits, f.unit.data, f.unit.length);
        ++d.units;
        EXPECT_EQ(f.result, AACDEC_OK) << "access unit " << d.units;
        if (f.result != AACDEC_OK)
            return;
        ++d.good;
        const AacDecStreamInfo &info = f.info;
        d.channels = info.numChannels;
        d.frameSize = info.frameSize;
        d.rate = info.sampleRate;
        d.outputDelay = info.outputDelay;
        d.pcm.resize(static_cast<size_t>(info.numChannels));
        for (int k = 0; k < info.frameSize * info.numChannels; ++k)
            d.pcm[static_cast<size_t>(k % info.numChannels)].push_back(f.pcm[k] / 32768.0);
        for (int k = 0; k < info.frameSize * info.numChannels; ++k) {
            const double v = f.pcm[k];
            d.sumSquares += v * v;
            d.clipped += v >= 32767 || v <= -32768;
        }
        d.samples += info.frameSize * info.numChannels;
    });
    return d;
}

TEST(AacDabPlus, EveryAccessUnitOfARecordedEnsembleDecodes)
{
    const auto subchannels = readEtiSubchannels(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    int streams = 0, units = 0, compared = 0;
    for (const auto &[id, sub] : subchannels) {
        if (sub.size == 0 || sub.size > 24)
            continue;
        uint32_t type = 0;
        const Stream d = decodeSubchannel(sub, &type);
        if (type < DABPLUS_STREAM_AAC || d.units == 0)
            continue;
        SCOPED_TRACE("sub-channel " + std::to_string(id));
        ++streams;
        units += d.units;
        EXPECT_EQ(d.good, d.units);
        EXPECT_EQ(d.frameSize, 960);
        EXPECT_GE(d.channels, 1);
        // Programme audio, neither silent nor loud.
        const double rmsDb = 10 * std::log10(d.sumSquares / static_cast<double>(d.samples) / (32768.0 * 32768.0));
        std::printf("sub-channel %u: %d units, %d channels, %.1f dBFS, %d samples at full scale\n", id, d.units,
                    d.channels, rmsDb, d.clipped);
        EXPECT_GT(rmsDb, -50.0);
        EXPECT_LT(rmsDb, -3.0);
        const Decoded ref = ffmpegLoas(d.loas, d.channels);
        if (ref.samples.empty())
            continue;
        ++compared;
        for (int c = 0; c < d.channels; ++c) {
            // ffmpeg starts its first frame differently; from the second frame on the two
            // agree to about 84 dB (the 16-bit output and ffmpeg's float). Where ffmpeg's
            // output goes beyond full scale ours saturates: the reference is clipped alike.
            const std::vector<double> &ours = d.pcm[static_cast<size_t>(c)];
            const std::vector<double> &theirs = ref.samples[static_cast<size_t>(c)];
            const std::vector<double> a(ours.begin() + std::min<size_t>(960, ours.size()), ours.end());
            std::vector<double> b(theirs.begin() + std::min<size_t>(960, theirs.size()), theirs.end());
            int beyond = 0;
            for (double &v : b) {
                beyond += v > 32767.0 / 32768 || v < -1.0;
                v = std::clamp(v, -1.0, 32767.0 / 32768);
            }
            const Comparison r = compare(a, b, d.outputDelay);
            std::printf("  channel %d against ffmpeg: %.1f dB, offset %lld, %d samples beyond full scale\n", c,
                        r.snrDb, static_cast<long long>(r.offset), beyond);
            EXPECT_NEAR(r.gain, 1.0, 0.002) << "channel " << c;
            EXPECT_EQ(r.offset, d.outputDelay) << "channel " << c;
            EXPECT_GE(r.snrDb, 75.0) << "channel " << c;
        }
    }
    // Slovenia: 12 sub-channels carry superframes, 10 whole ones each.
    EXPECT_EQ(streams, 12);
    RecordProperty("units", units);
    if (compared == 0)
        GTEST_SKIP() << "ffmpeg is not installed: decoded without a reference";
}

} // namespace
