// The DAB extensions: the tail of each frame (X-PAD, scale-factor CRC, F-PAD) is
// written by the tests themselves into streams made by twolame with room reserved
// at the end of every frame.
#include "layer2_test_support.h"
#include "MpegAudio_tables.h"
#include "layer2_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct BitReader
{
    const uint8_t *data;
    size_t pos = 0; // bits
    uint32_t read(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos)
            v = (v << 1) | ((data[pos / 8] >> (7 - pos % 8)) & 1);
        return v;
    }
};

// Bit offsets of the transmitted scale factors of one frame, by sub-band.
struct FrameLayout
{
    size_t bytes = 0;
    int channels = 0;
    int sblimit = 0;
    std::vector<std::vector<size_t>> scalefactorBits; // [sub-band] -> offsets of all channels' factors
};

// Parses a stereo or mono Layer II frame at 48 or 24 kHz.
FrameLayout parseFrame(const uint8_t *frame)
{
    BitReader r{frame};
    const uint32_t header = r.read(32);
    const bool mpeg1 = (header >> 19) & 1;
    const int bitRateIndex = (header >> 12) & 15;
    const int padding = (header >> 9) & 1;
    const int mode = (header >> 6) & 3;
    const int channels = mode == 3 ? 1 : 2;
    const bool crc = ((header >> 16) & 1) == 0;
    const int rate = mpeg1 ? 48000 : 24000;
    const int kbps = MpegAudio_Layer2_bitrate_index[mpeg1 ? 0 : 1][bitRateIndex];
    FrameLayout f;
    f.bytes = static_cast<size_t>(144 * kbps * 1000 / rate + padding);
    f.channels = channels;
    if (crc)
        r.read(16);
    // 48 kHz MPEG-1 uses table a, except at the lowest rates (table c).
    const bool low = mpeg1 && Layer2Tables::tableChoice[channels - 1][1][bitRateIndex] == 2;
    const auto &table = !mpeg1 ? Layer2Tables::tableLsf : (low ? Layer2Tables::table3B2c : Layer2Tables::table3B2a);
    f.sblimit = table.sblimit;
    int bound = f.sblimit;
    if (mode == 1)
        bound = 4 * (((header >> 4) & 3) + 1);
    int alloc[2][32] = {}, scfsi[2][32] = {};
    for (int sb = 0; sb < f.sblimit; ++sb) {
        const int nbal = table.rows[sb][0];
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch)
                alloc[ch][sb] = static_cast<int>(r.read(nbal));
        } else {
            alloc[0][sb] = alloc[1][sb] = static_cast<int>(r.read(nbal));
        }
    }
    for (int sb = 0; sb < f.sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb])
                scfsi[ch][sb] = static_cast<int>(r.read(2));
    f.scalefactorBits.resize(static_cast<size_t>(f.sblimit));
    const int count[4] = {3, 2, 1, 2};
    for (int sb = 0; sb < f.sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (alloc[ch][sb])
                for (int i = 0; i < count[scfsi[ch][sb]]; ++i) {
                    f.scalefactorBits[static_cast<size_t>(sb)].push_back(r.pos);
                    r.read(6);
                }
    return f;
}

uint8_t crc8(const std::vector<int> &bits)
{
    uint8_t crc = 0;
    for (int b : bits) {
        const bool top = (crc & 0x80) != 0;
        crc = static_cast<uint8_t>(crc << 1);
        if (top != (b != 0))
            crc ^= 0x1D;
    }
    return crc;
}

// The scale-factor CRC bytes that protect `frame`: group g covers sub-bands up to
// groupEnd[g], each factor contributing its three most significant bits.
std::vector<uint8_t> scalefactorCrcs(const uint8_t *frame, const FrameLayout &f, const int groupEnd[4])
{
    std::vector<uint8_t> crcs;
    int start = 0;
    for (int g = 0; g < 4; ++g) {
        std::vector<int> bits;
        for (int sb = start; sb <= groupEnd[g] && sb < f.sblimit; ++sb)
            for (size_t offset : f.scalefactorBits[static_cast<size_t>(sb)])
                for (size_t k = 0; k < 3; ++k)
                    bits.push_back((frame[(offset + k) / 8] >> (7 - (offset + k) % 8)) & 1);
        crcs.push_back(crc8(bits));
        start = groupEnd[g] + 1;
    }
    return crcs;
}

struct DabStream
{
    std::vector<uint8_t> bytes;
    std::vector<size_t> frameStarts;
    std::vector<FrameLayout> frames;
};

// Splits the stream into frames and writes every frame's tail: X-PAD filler bytes
// 0xA0, 0xA1, ..., then the scale-factor CRCs of the next frame (entry 0, for the
// lowest group, next to the F-PAD), then the F-PAD pair of `fpad(n)`.
template <typename Fpad>
DabStream makeDabStream(const char *file, int tailBytes, const int groupEnd[4], Fpad fpad)
{
    DabStream s;
    s.bytes = readFixture(file);
    for (size_t pos = 0; pos + 4 <= s.bytes.size();) {
        FrameLayout f = parseFrame(&s.bytes[pos]);
        if (pos + f.bytes > s.bytes.size())
            break;
        s.frameStarts.push_back(pos);
        s.frames.push_back(f);
        pos += f.bytes;
    }
    s.bytes.resize(s.frameStarts.back() + s.frames.back().bytes);
    for (size_t n = 0; n < s.frames.size(); ++n) {
        uint8_t *frame = &s.bytes[s.frameStarts[n]];
        const size_t end = s.frames[n].bytes;
        for (size_t k = end - 12; k < end - static_cast<size_t>(tailBytes); ++k)
            frame[k] = static_cast<uint8_t>(0xA0 + (k - (end - 12)));
        std::vector<uint8_t> crcs(4, 0);
        if (n + 1 < s.frames.size())
            crcs = scalefactorCrcs(&s.bytes[s.frameStarts[n + 1]], s.frames[n + 1], groupEnd);
        const int groups = tailBytes - 2;
        for (int g = 0; g < groups; ++g)
            frame[end - 3 - static_cast<size_t>(g)] = crcs[static_cast<size_t>(g)];
        const auto pair = fpad(n);
        frame[end - 2] = pair.first;
        frame[end - 1] = pair.second;
    }
    return s;
}

std::pair<uint8_t, uint8_t> noDrc(size_t)
{
    return {0x00, 0x00};
}

const int groups48[4] = {3, 7, 15, 26};
const int groups24[4] = {3, 7, 15, 29};

struct FrameResult
{
    std::vector<Layer2DecResult> results;
    std::vector<int16_t> pcm; // interleaved
    std::vector<std::vector<uint8_t>> pads;
    std::vector<int> drcValues;
};

FrameResult decodeDab(const DabStream &s, int drcFactor = 0, int padMode = 0)
{
    FrameResult out;
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, 1, padMode);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DRC_FACTOR, drcFactor);
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    std::vector<uint8_t> pad(256);
    for (size_t n = 0; n < s.frames.size(); ++n) {
        uint32_t valid = static_cast<uint32_t>(s.frames[n].bytes);
        Layer2Dec_Fill(dec, &s.bytes[s.frameStarts[n]], valid, &valid);
        uint32_t samples = 0, padBits = 0;
        const Layer2DecResult r = Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples,
                                                        padMode ? pad.data() : nullptr, static_cast<uint32_t>(pad.size()),
                                                        &padBits, 0);
        out.results.push_back(r);
        out.pcm.insert(out.pcm.end(), pcm.begin(), pcm.begin() + samples);
        out.pads.emplace_back(pad.begin(), pad.begin() + padBits / 8);
        out.drcValues.push_back(Layer2Dec_GetStreamInfo(dec)->drcValue);
    }
    Layer2Dec_Close(&dec);
    return out;
}

TEST(Layer2Dab, CorrectTailsDecodeWithoutWarnings)
{
    struct Case { const char *file; int tailBytes; const int *groups; };
    const Case cases[] = {{"tl-48k-stereo-128-dab.mp2", 6, groups48}, {"tl-24k-stereo-64-dab.mp2", 6, groups24}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const DabStream s = makeDabStream(c.file, c.tailBytes, c.groups, noDrc);
        ASSERT_GT(s.frames.size(), 10u);
        const FrameResult r = decodeDab(s);
        for (size_t n = 0; n < r.results.size(); ++n)
            EXPECT_EQ(r.results[n], LAYER2DEC_OK) << "frame " << n;
    }
}

// Energy of the difference between two interleaved stereo decodes over one frame.
double frameErrorDb(const std::vector<int16_t> &a, const std::vector<int16_t> &b, size_t frame)
{
    double e = 1e-9;
    for (size_t i = frame * 2 * LAYER2DEC_FRAME_SAMPLES; i < (frame + 1) * 2 * LAYER2DEC_FRAME_SAMPLES; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        e += d * d;
    }
    return 10 * std::log10(e);
}

TEST(Layer2Dab, DamagedScalefactorConcealsItsGroup)
{
    const DabStream clean = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, noDrc);
    DabStream damaged = clean;
    // The top bit of the first scale factor of sub-band 0 (the 440 Hz tone) of frame 8.
    const size_t frame = 8;
    const size_t bit = damaged.frames[frame].scalefactorBits[0][0];
    damaged.bytes[damaged.frameStarts[frame] + bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));

    const FrameResult good = decodeDab(clean);
    const FrameResult repaired = decodeDab(damaged);
    EXPECT_EQ(repaired.results[frame], LAYER2DEC_CONCEALED);
    EXPECT_EQ(repaired.results[frame - 1], LAYER2DEC_OK);
    EXPECT_EQ(repaired.results[frame + 1], LAYER2DEC_OK);

    // Without the check the broken factor plays; with it the group takes the mean
    // of the previous frames' factors and stays close to the clean signal.
    const DecodedStream unchecked = decodeStream(damaged.bytes);
    std::vector<int16_t> uncheckedPcm;
    for (size_t i = 0; i < unchecked.channels[0].size(); ++i)
        for (int ch = 0; ch < 2; ++ch)
            uncheckedPcm.push_back(static_cast<int16_t>(std::lround(unchecked.channels[static_cast<size_t>(ch)][i] * 32768)));
    const double repairedError = frameErrorDb(good.pcm, repaired.pcm, frame);
    const double uncheckedError = frameErrorDb(good.pcm, uncheckedPcm, frame);
    EXPECT_LT(repairedError, uncheckedError - 20);
}

TEST(Layer2Dab, ShortTailGuardsBothGroupsOfTheLowRateTable)
{
    // 48 kHz stereo at 96 kbit/s: table c (sub-bands 0..7) and two check bytes,
    // for sub-bands 0..3 and 4..7.
    const DabStream clean = makeDabStream("tl-48k-stereo-96-dab.mp2", 4, groups48, noDrc);
    const FrameResult good = decodeDab(clean);
    for (size_t n = 0; n < good.results.size(); ++n)
        EXPECT_EQ(good.results[n], LAYER2DEC_OK) << n;
    const size_t frame = 6;
    ASSERT_EQ(clean.frames[frame].sblimit, 8);
    for (size_t sb : {0u, 4u, 5u, 6u, 7u}) {
        if (clean.frames[frame].scalefactorBits[sb].empty())
            continue;
        DabStream s = clean;
        const size_t bit = s.frames[frame].scalefactorBits[sb][0];
        s.bytes[s.frameStarts[frame] + bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
        EXPECT_EQ(decodeDab(s).results[frame], LAYER2DEC_CONCEALED) << "sub-band " << sb;
    }
}

TEST(Layer2Dab, ConcealRequestAfterAScalefactorErrorKeepsTheWarning)
{
    DabStream s = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, noDrc);
    const size_t bit = s.frames[4].scalefactorBits[0][0];
    s.bytes[s.frameStarts[4] + bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, 1, 0);
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_DIRECT_INPUT, 1);
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    std::vector<Layer2DecResult> results;
    for (size_t n = 0; n < 5; ++n) {
        uint32_t valid = static_cast<uint32_t>(s.frames[n].bytes);
        Layer2Dec_Fill(dec, &s.bytes[s.frameStarts[n]], valid, &valid);
        results.push_back(Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, nullptr,
                                                0, nullptr, 0));
    }
    results.push_back(Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), nullptr, nullptr, 0,
                                            nullptr, 1));
    Layer2Dec_Close(&dec);
    const std::vector<Layer2DecResult> expected = {0, 0, 0, 0, LAYER2DEC_CONCEALED, LAYER2DEC_CONCEALED};
    EXPECT_EQ(results, expected);
}

TEST(Layer2Dab, DrcValueRampsInOnTheNextFrame)
{
    // Frames 0..9 carry no DRC, frames from 10 on carry value 8 (+2 dB).
    auto drc = [](size_t n) -> std::pair<uint8_t, uint8_t> {
        if (n < 10)
            return {0x00, 0x00};
        return {0x01, static_cast<uint8_t>(8 << 2)};
    };
    const DabStream s = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, drc);
    const FrameResult plain = decodeDab(s, 0);
    const FrameResult boosted = decodeDab(s, 127);
    auto level = [](const std::vector<int16_t> &pcm, size_t frame, size_t from, size_t to) {
        double e = 0;
        for (size_t i = from; i < to; ++i) {
            const double v = pcm[(frame * LAYER2DEC_FRAME_SAMPLES + i) * 2];
            e += v * v;
        }
        return e;
    };
    // The value received with frame 10 acts on frame 11, ramping across it from
    // 0 dB; frame 12 is 2 dB up throughout.
    for (size_t frame = 0; frame <= 10; ++frame)
        EXPECT_EQ(frameErrorDb(plain.pcm, boosted.pcm, frame), 10 * std::log10(1e-9)) << frame;
    const double startGain = 10 * std::log10(level(boosted.pcm, 11, 0, 200) / level(plain.pcm, 11, 0, 200));
    const double endGain = 10 * std::log10(level(boosted.pcm, 11, 952, 1152) / level(plain.pcm, 11, 952, 1152));
    const double fullGain = 10 * std::log10(level(boosted.pcm, 12, 0, 1152) / level(plain.pcm, 12, 0, 1152));
    EXPECT_NEAR(startGain, 0.15, 0.2);
    EXPECT_NEAR(endGain, 1.85, 0.2);
    EXPECT_NEAR(fullGain, 2.0, 0.05);
    EXPECT_EQ(boosted.drcValues[9], -1);
    EXPECT_EQ(boosted.drcValues[11], 8);
}

TEST(Layer2Dab, PadComesOutInStreamOrder)
{
    auto fpad = [](size_t n) -> std::pair<uint8_t, uint8_t> { return {0x02, static_cast<uint8_t>(n)}; };
    const DabStream s = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, fpad);
    const FrameResult r = decodeDab(s, 0, 1);
    for (size_t n = 0; n < s.frames.size(); ++n) {
        const std::vector<uint8_t> &pad = r.pads[n];
        ASSERT_GE(pad.size(), 12u) << n;
        const uint8_t *frameEnd = &s.bytes[s.frameStarts[n] + s.frames[n].bytes];
        EXPECT_TRUE(std::equal(pad.begin(), pad.end(), frameEnd - pad.size())) << n;
        EXPECT_EQ(pad[pad.size() - 1], static_cast<uint8_t>(n));
        EXPECT_EQ(pad[pad.size() - 2], 0x02);
        EXPECT_EQ(pad[pad.size() - 12], 0xA0);
    }
}

TEST(Layer2Dab, DamagedSyncBitsAreRepaired)
{
    DabStream s = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, noDrc);
    s.bytes[s.frameStarts[5]] = 0x7F; // sync word broken
    s.bytes[s.frameStarts[6] + 1] ^= 0x06; // layer bits broken
    const FrameResult r = decodeDab(s);
    for (size_t n = 0; n < r.results.size(); ++n)
        EXPECT_EQ(r.results[n], LAYER2DEC_OK) << "frame " << n;
}

TEST(Layer2Dab, HeaderCrcErrorConcealsTheFrame)
{
    DabStream s = makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, noDrc);
    s.bytes[s.frameStarts[7] + 6] ^= 0x10; // inside the allocation
    const FrameResult r = decodeDab(s);
    EXPECT_EQ(r.results[7], LAYER2DEC_CONCEALED);
    EXPECT_EQ(r.results[8], LAYER2DEC_OK);
    // The first bad frame repeats the last good one at -3 dB (measured past the
    // filter bank's memory of the frame before).
    const FrameResult clean = decodeDab(makeDabStream("tl-48k-stereo-128-dab.mp2", 6, groups48, noDrc));
    double concealed = 0, previous = 0;
    for (size_t i = 2 * 600; i < 2 * LAYER2DEC_FRAME_SAMPLES; ++i) {
        concealed += std::pow(r.pcm[7 * 2 * LAYER2DEC_FRAME_SAMPLES + i], 2);
        previous += std::pow(clean.pcm[6 * 2 * LAYER2DEC_FRAME_SAMPLES + i], 2);
    }
    EXPECT_NEAR(10 * std::log10(concealed / previous), -3.0, 0.3);
}

} // namespace
