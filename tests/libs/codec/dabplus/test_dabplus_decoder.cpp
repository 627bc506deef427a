// The DAB+ decoder: its arguments, superframes of every access-unit count from
// the test encoder with PAD, configuration changes, the switch between Layer II
// and DAB+, lost and damaged units, and reception errors within and beyond what
// RS(120,110) corrects.
#include "DABplusDecoder.h"

#include "EtiSubchannels.h"
#include "ZozTestSuperframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ZozTestAac::SuperframeFormat;

constexpr uint32_t PcmBytes = 163840;

std::vector<int16_t> chord(int rate, int channels, int samples)
{
    std::vector<int16_t> pcm(static_cast<size_t>(samples) * channels);
    for (int i = 0; i < samples; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / rate;
            const double v = 3000 * std::sin(2 * M_PI * (262 + 68 * c) * t) + 2000 * std::sin(2 * M_PI * 392 * t);
            pcm[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v));
        }
    return pcm;
}

// X-PAD bytes that name their unit, then the two F-PAD bytes.
Bytes padFor(int unit)
{
    return {uint8_t(0x40 + unit), 0x11, 0x22, uint8_t(unit), 0x00, 0x02};
}

struct Stream
{
    int coreRate;
    int channels;
    Bytes bytes;               // whole superframes
    std::vector<int16_t> pcm;  // the encoded signal, interleaved
};

Stream encode(const SuperframeFormat &format, int superframes, bool withPad = true)
{
    const int units = ZozTestAac::accessUnitCount(format);
    Stream s;
    s.coreRate = (format.dacRate48 ? 48000 : 32000) / (format.sbr ? 2 : 1);
    s.channels = format.stereo ? 2 : 1;
    ZozTestAac::EncoderOptions options;
    options.sampleRate = s.coreRate;
    options.channels = s.channels;
    options.frameLength = 960;
    ZozTestAac::Encoder encoder(options);
    s.pcm = chord(s.coreRate, s.channels, (units * superframes + 1) * 960);
    encoder.push(s.pcm.data(), s.pcm.size() / s.channels);
    ZozTestAac::PadSource pad;
    if (withPad)
        pad = padFor;
    for (const Bytes &superframe : ZozTestAac::encodeSuperframes(encoder, format, pad))
        s.bytes.insert(s.bytes.end(), superframe.begin(), superframe.end());
    return s;
}

// One decoded unit as the decoder reported it.
struct Unit
{
    int result;
    DABplusDecoderFrameInfo info;
    Bytes pad;
    std::vector<int16_t> pcm;
};

// Feeds the stream a logical frame at a time and calls the decoder as a caller
// does: again while it hands out units, then with the next frame.
class Decoder
{
public:
    explicit Decoder(uint32_t n) : m_n(n)
    {
        EXPECT_EQ(DABplusDecoder_Open(&m_handle, n), DABPLUS_DEC_OK);
    }
    ~Decoder() { DABplusDecoder_Close(&m_handle); }
    DABplusDecoderHandle handle() const { return m_handle; }

    std::vector<Unit> run(const Bytes &bytes)
    {
        std::vector<Unit> units;
        const size_t frameBytes = 24 * m_n;
        std::vector<int16_t> pcm(PcmBytes / 2);
        for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
            int32_t frames = 1;
            for (int call = 0; call < 8; ++call) {
                uint32_t samples = 0;
                DABplusDecoderFrameInfo *info = nullptr;
                const int r = DABplusDecoder_DecodeFrame(m_handle, bytes.data() + at, &frames, pcm.data(), PcmBytes,
                                                         &samples, &info);
                if (r == DABPLUS_DEC_NEED_INPUT || (r == DABPLUS_DEC_OK && samples == 0 && frames == 0))
                    break;
                Unit u{r, *info, {}, std::vector<int16_t>(pcm.begin(), pcm.begin() + samples)};
                if (info->pad)
                    u.pad.assign(info->pad, info->pad + info->padLength[0]);
                units.push_back(std::move(u));
            }
        }
        return units;
    }

private:
    uint32_t m_n;
    DABplusDecoderHandle m_handle = nullptr;
};

double rms(const int16_t *x, size_t count, size_t stride = 1)
{
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += double(x[i * stride]) * x[i * stride];
    return count ? std::sqrt(sum / double(count)) : 0;
}

// The 12-bit field at a bit position (the access-unit starts of a superframe).
int twelveBits(const Bytes &bytes, int bit)
{
    const int word = bytes[size_t(bit / 8)] << 8 | bytes[size_t(bit / 8) + 1];
    return (word >> (4 - bit % 8)) & 0xFFF;
}

// SNR in dB of the decoded signal against the input at the best delay of up to
// three frames (the coder's frame and the limiter's look-ahead).
double bestSnrDb(const std::vector<int16_t> &input, const std::vector<int16_t> &decoded, int channels)
{
    const size_t maxLag = 3 * 960, from = 960;
    const size_t frames = std::min(input.size(), decoded.size()) / size_t(channels);
    if (frames < from + maxLag + 960)
        return -100;
    const size_t count = frames - from - maxLag;
    double best = -100;
    for (size_t lag = 0; lag <= maxLag; ++lag) {
        double signal = 0, noise = 0;
        for (size_t i = from; i < from + count; ++i)
            for (int c = 0; c < channels; ++c) {
                const double x = input[i * size_t(channels) + size_t(c)];
                const double y = decoded[(i + lag) * size_t(channels) + size_t(c)];
                signal += x * x;
                noise += (x - y) * (x - y);
            }
        best = std::max(best, 10 * std::log10(signal / std::max(noise, 1.0)));
    }
    return best;
}

std::vector<int16_t> joined(const std::vector<Unit> &units)
{
    std::vector<int16_t> pcm;
    for (const Unit &u : units)
        pcm.insert(pcm.end(), u.pcm.begin(), u.pcm.end());
    return pcm;
}

TEST(DABplusDecoder, ArgumentsAndLibraryInformation)
{
    DABplusDecoderHandle h = nullptr;
    EXPECT_EQ(DABplusDecoder_Open(&h, 0), DABPLUS_DEC_BAD_SUBCHANNEL);
    EXPECT_EQ(DABplusDecoder_Open(&h, 49), DABPLUS_DEC_BAD_SUBCHANNEL);
    EXPECT_EQ(h, nullptr);
    ASSERT_EQ(DABplusDecoder_Open(&h, 8), DABPLUS_DEC_OK);

    std::vector<int16_t> pcm(PcmBytes / 2);
    int32_t frames = 0;
    uint32_t samples = 7;
    DABplusDecoderFrameInfo *info = reinterpret_cast<DABplusDecoderFrameInfo *>(&frames);
    EXPECT_EQ(DABplusDecoder_DecodeFrame(nullptr, nullptr, &frames, pcm.data(), PcmBytes, &samples, &info),
              DABPLUS_DEC_INVALID_HANDLE);
    EXPECT_EQ(info, reinterpret_cast<DABplusDecoderFrameInfo *>(&frames));
    EXPECT_EQ(DABplusDecoder_DecodeFrame(h, nullptr, &frames, pcm.data(), PcmBytes, &samples, nullptr),
              DABPLUS_DEC_INVALID_ARGUMENT);
    EXPECT_EQ(DABplusDecoder_DecodeFrame(h, nullptr, &frames, nullptr, PcmBytes, &samples, &info),
              DABPLUS_DEC_INVALID_ARGUMENT);
    EXPECT_NE(info, nullptr);
    // Twice the largest unit of 3840 samples, in bytes.
    EXPECT_EQ(DABplusDecoder_DecodeFrame(h, nullptr, &frames, pcm.data(), 7679, &samples, &info),
              DABPLUS_DEC_PCM_TOO_SMALL);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(samples, 0u);
    frames = -3;
    EXPECT_EQ(DABplusDecoder_DecodeFrame(h, nullptr, &frames, pcm.data(), 7680, &samples, &info),
              DABPLUS_DEC_NEED_INPUT);
    EXPECT_EQ(frames, 0);

    struct Param
    {
        int32_t id, value;
        int result;
    };
    const Param params[] = {
        {DABPLUS_DEC_PARAM_OUTPUT_CHANNELS, 2, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_OUTPUT_CHANNELS, 5, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_INTERLEAVED, 0, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_INTERLEAVED, 1, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_FAILURE_LIMIT, -7, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_LIMITER_ENABLE, 1, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_L2_FADE_OUT, 16, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_L2_RESERVED, 0, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_SURROUND, 0, DABPLUS_DEC_OK},
        {99, 0, DABPLUS_DEC_UNKNOWN_PARAM},
    };
    for (const Param &p : params)
        EXPECT_EQ(DABplusDecoder_SetParam(h, p.id, p.value), p.result) << p.id << " = " << p.value;
    EXPECT_EQ(DABplusDecoder_SetParam(nullptr, 1, 2), DABPLUS_DEC_INVALID_HANDLE);

    DABplusAccessUnitTable *table = nullptr;
    int32_t next = -1;
    EXPECT_EQ(DABplusDecoder_GetAccessUnits(h, &table, &next), DABPLUS_DEC_OK);
    EXPECT_NE(table, nullptr);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(DABplusDecoder_Reset(h, 0), DABPLUS_DEC_BAD_SUBCHANNEL);
    EXPECT_EQ(DABplusDecoder_Reset(nullptr, 8), DABPLUS_DEC_INVALID_HANDLE);
    EXPECT_EQ(DABplusDecoder_Close(&h), DABPLUS_DEC_OK);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(DABplusDecoder_Close(&h), DABPLUS_DEC_INVALID_HANDLE);

    LIB_INFO rows[REZ_LIB_INFO_ROWS] = {};
    ASSERT_EQ(DABplusDecoder_GetLibInfo(rows), 0);
    const LIB_INFO *row = nullptr;
    for (const LIB_INFO &r : rows)
        if (r.moduleId == REZ_MODULE_DABPLUS_DECODER)
            row = &r;
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->title, "DAB+ Decoder");
    EXPECT_STREQ(row->versionText, "2.1.0");
    EXPECT_EQ(row->flags, 0x0Fu); // Layer II, AAC, DAB+, Layer II surround data; no surround decoder
    EXPECT_EQ(DABplusDecoder_GetLibInfo(rows), -1);
    EXPECT_EQ(DABplusDecoder_GetLibInfo(nullptr), -1);
}

// Every access-unit count, both rates, mono and stereo: one unit per call, the
// whole superframe before the next is parsed, the PAD of each unit, and the
// signal back.
TEST(DABplusDecoder, SuperframesOfEveryUnitCountDecodeWithTheirPad)
{
    struct Case
    {
        const char *name;
        SuperframeFormat format;
        int units;
    };
    const Case cases[] = {
        {"48 kHz stereo, 6 units", {12, true, false, true, false, 0}, 6},
        {"48 kHz mono, 6 units", {8, true, false, false, false, 0}, 6},
        {"32 kHz stereo, 4 units", {10, false, false, true, false, 0}, 4},
        {"32 kHz mono, 4 units", {6, false, false, false, false, 0}, 4},
        {"24 kHz core (SBR signalled) stereo, 3 units", {8, true, true, true, false, 0}, 3},
        {"16 kHz core (SBR signalled) mono, 2 units", {8, false, true, false, false, 0}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Stream s = encode(c.format, 4);
        ASSERT_EQ(s.bytes.size(), size_t(4 * 120 * c.format.subchannelSize));
        Decoder d(uint32_t(c.format.subchannelSize));
        const std::vector<Unit> units = d.run(s.bytes);
        ASSERT_EQ(units.size(), size_t(4 * c.units));
        for (size_t i = 0; i < units.size(); ++i) {
            const Unit &u = units[i];
            SCOPED_TRACE("unit " + std::to_string(i));
            EXPECT_EQ(u.result, DABPLUS_DEC_OK);
            // The decoder reports the SBR the stream signals; its output is the core's.
            EXPECT_EQ(u.info.type, uint32_t(c.format.sbr ? DABPLUS_DEC_TYPE_AAC_SBR : DABPLUS_DEC_TYPE_AAC));
            EXPECT_EQ(u.info.sampleRate, uint32_t(s.coreRate));
            EXPECT_EQ(u.info.channels, uint32_t(s.channels));
            EXPECT_EQ(u.info.samplesPerChannel, 960u);
            EXPECT_EQ(u.pcm.size(), size_t(960 * s.channels));
            EXPECT_GT(u.info.bitRate, 0u);
            EXPECT_EQ(u.info.synced, 1);
            EXPECT_EQ(u.info.concealed, 0);
            EXPECT_EQ(u.info.reconfigurations, i == 0 ? 1 : 0);
            // The statistics come with the first unit of each superframe.
            EXPECT_EQ(u.info.statisticsValid, i % c.units == 0 ? 1 : 0);
            EXPECT_EQ(u.pad, padFor(int(i)));
        }
        EXPECT_EQ(units[0].info.allGood, 1);
        EXPECT_EQ(units[0].info.rsCodewords, c.format.subchannelSize);
        EXPECT_EQ(units[0].info.rsCodewordsWithErrors, 0);
        EXPECT_GT(bestSnrDb(s.pcm, joined(units), s.channels), 20.0);
    }
}

// A new superframe configuration reconfigures the AAC decoder once; a reset
// restarts it on the next unit.
TEST(DABplusDecoder, ConfigurationChangeAndReset)
{
    const Stream a = encode({10, true, false, true, false, 0}, 2);
    const Stream b = encode({10, false, false, false, false, 0}, 2);
    Bytes both = a.bytes;
    both.insert(both.end(), b.bytes.begin(), b.bytes.end());
    Decoder d(10);
    std::vector<Unit> units = d.run(both);
    ASSERT_EQ(units.size(), 12u + 8u);
    int reconfigurations = 0;
    for (const Unit &u : units)
        reconfigurations += u.info.reconfigurations;
    EXPECT_EQ(reconfigurations, 2);
    EXPECT_EQ(units[12].info.reconfigurations, 1);
    EXPECT_EQ(units[11].info.sampleRate, 48000u);
    EXPECT_EQ(units[11].info.channels, 2u);
    EXPECT_EQ(units[12].info.sampleRate, 32000u);
    EXPECT_EQ(units[12].info.channels, 1u);
    for (const Unit &u : units)
        EXPECT_EQ(u.result, DABPLUS_DEC_OK);

    // The dynamic range settings reach the AAC decoder, which checks their ranges.
    const struct { int32_t id, value; int result; } drc[] = {
        {DABPLUS_DEC_PARAM_AAC_DRC_BOOST, 127, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_AAC_DRC_CUT, 128, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_AAC_DRC_CUT, 0, DABPLUS_DEC_OK},
        {DABPLUS_DEC_PARAM_AAC_DRC_TARGET, 39, DABPLUS_DEC_PARAM_REJECTED},
        {DABPLUS_DEC_PARAM_AAC_DRC_TARGET, -1, DABPLUS_DEC_OK},
    };
    for (const auto &p : drc)
        EXPECT_EQ(DABplusDecoder_SetParam(d.handle(), p.id, p.value), p.result) << p.id << " = " << p.value;

    ASSERT_EQ(DABplusDecoder_Reset(d.handle(), 10), DABPLUS_DEC_OK);
    units = d.run(a.bytes);
    ASSERT_EQ(units.size(), 12u);
    EXPECT_EQ(units[0].info.reconfigurations, 1);
    EXPECT_EQ(units[0].info.sampleRate, 48000u);
    EXPECT_EQ(units[0].info.channels, 2u);
}

// A sub-channel that changes from Layer II to DAB+ and back: each unit goes to
// the decoder of its kind.
TEST(DABplusDecoder, SwitchBetweenLayer2AndDabPlus)
{
    std::ifstream file(LAYER2_FIXTURES "/long-48k-stereo-192.mp2", std::ios::binary);
    const Bytes layer2((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(layer2.size(), 250u * 576);
    const Bytes firstLayer2(layer2.begin(), layer2.begin() + 40 * 576);
    const Bytes laterLayer2(layer2.begin() + 40 * 576, layer2.begin() + 80 * 576);
    const Stream dabPlus = encode({24, true, false, true, false, 0}, 6);

    Bytes stream = firstLayer2;
    stream.insert(stream.end(), dabPlus.bytes.begin(), dabPlus.bytes.end());
    stream.insert(stream.end(), laterLayer2.begin(), laterLayer2.end());
    // The same DAB+ stream again: its configuration is taken anew.
    stream.insert(stream.end(), dabPlus.bytes.begin(), dabPlus.bytes.end());
    Decoder d(24);
    const std::vector<Unit> units = d.run(stream);
    std::vector<uint32_t> runs;
    for (const Unit &u : units) {
        if (u.result != DABPLUS_DEC_OK || u.pcm.empty())
            continue;
        if (runs.empty() || runs.back() != u.info.type)
            runs.push_back(u.info.type);
        EXPECT_EQ(u.info.sampleRate, 48000u);
        EXPECT_EQ(u.info.channels, 2u);
        EXPECT_EQ(u.pcm.size(), size_t(u.info.type == DABPLUS_DEC_TYPE_LAYER2 ? 2304 : 1920));
    }
    const std::vector<uint32_t> expected = {DABPLUS_DEC_TYPE_LAYER2, DABPLUS_DEC_TYPE_AAC, DABPLUS_DEC_TYPE_LAYER2,
                                            DABPLUS_DEC_TYPE_AAC};
    EXPECT_EQ(runs, expected);
    size_t aacUnits = 0;
    for (const Unit &u : units)
        aacUnits += u.info.type == DABPLUS_DEC_TYPE_AAC && u.result == DABPLUS_DEC_OK ? 1 : 0;
    // The search costs at most the first superframe after each switch.
    EXPECT_GE(aacUnits, 2u * 5 * 6);
}

// Units lost to their CRC are concealed and counted. A lost unit repeats the
// last good one while the output fades by about 3 dB a unit, a long run ends in
// silence (from the seventh, and the limiter's look-ahead), and good units fade
// back in.
TEST(DABplusDecoder, LostUnitsAreConcealedAndCounted)
{
    const SuperframeFormat format{12, true, false, true, false, 0};
    const int superframes = 6;
    const Stream clean = encode(format, superframes, false);
    const size_t superframeBytes = 120 * 12;
    const int auCount = 6;
    struct Case
    {
        const char *name;
        std::vector<int> lost; // units counted from the stream's start
        double lastLostBelow;  // level of the last lost unit against the good level
    };
    const Case cases[] = {
        {"one unit", {14}, 1.5},
        {"two in a row", {14, 15}, 1.0},
        {"first and last of a superframe", {12, 17}, 1.5},
        {"a whole superframe", {12, 13, 14, 15, 16, 17}, 0.5},
        // Muted by then: only the comfort noise, some 60 dB down.
        {"nine in a row", {12, 13, 14, 15, 16, 17, 18, 19, 20}, 0.004},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = clean.bytes;
        // Damage the lost units' bytes, then seal each superframe again so that only
        // the units' CRCs tell.
        for (int s = 0; s < superframes; ++s) {
            Bytes sf(bytes.begin() + long(s * superframeBytes), bytes.begin() + long((s + 1) * superframeBytes));
            std::vector<int> starts(auCount);
            starts[0] = ZozTestAac::firstAccessUnitStart(auCount);
            for (int i = 1; i < auCount; ++i)
                starts[size_t(i)] = twelveBits(sf, 24 + 12 * (i - 1));
            for (int unit : c.lost)
                if (unit / auCount == s)
                    sf[size_t(starts[size_t(unit % auCount)]) + 1] ^= 0x5A;
            ZozTestAac::writeReedSolomonParity(sf, 12);
            std::copy(sf.begin(), sf.end(), bytes.begin() + long(s * superframeBytes));
        }

        Decoder d(12);
        const std::vector<Unit> units = d.run(bytes);
        ASSERT_EQ(units.size(), size_t(superframes * auCount));
        int concealed = 0;
        for (const Unit &u : units) {
            EXPECT_EQ(u.result, DABPLUS_DEC_OK);
            EXPECT_EQ(u.pcm.size(), 1920u);
            concealed += u.info.concealed;
        }
        EXPECT_EQ(concealed, int(c.lost.size()));
        EXPECT_EQ(units[12].info.allGood, c.lost.front() < 18 ? 0 : 1);
        for (int unit : c.lost) {
            if (unit < 18) {
                EXPECT_EQ(units[12].info.auLost[unit - 12], 1) << unit;
            }
        }

        // Unit n is heard in the output of call n + 1: the concealment's interpolation
        // plays every unit one unit late.
        std::vector<double> levels;
        for (size_t k = 1; k < units.size(); ++k)
            levels.push_back(rms(units[k].pcm.data(), units[k].pcm.size()));
        const double good = levels[10];
        ASSERT_GT(good, 1000);
        // The first lost unit still sounds: no gap.
        EXPECT_GT(levels[size_t(c.lost.front())], 0.3 * good);
        for (size_t k = 1; k < c.lost.size(); ++k) {
            if (c.lost[k] == c.lost[k - 1] + 1) {
                EXPECT_LT(levels[size_t(c.lost[k])], levels[size_t(c.lost[k - 1])] * 1.05) << c.lost[k];
            }
        }
        EXPECT_LT(levels[size_t(c.lost.back())], c.lastLostBelow * good);
        // Six good units after the loss the level is back.
        EXPECT_GT(levels[size_t(c.lost.back()) + 7], 0.7 * good);
    }
}

// Layer II frames the decoder has no allocation table for (mono at 384 kbit/s):
// each fails on its own, and the next call goes on with the next frame.
TEST(DABplusDecoder, FailingUnitIsGivenUp)
{
    const uint32_t n = 48; // 1152-byte frames
    Bytes frame(24 * n, 0);
    const uint8_t header[] = {0xFF, 0xFD, 0xE4, 0xC0};
    std::copy(std::begin(header), std::end(header), frame.begin());
    Bytes stream;
    for (int i = 0; i < 12; ++i)
        stream.insert(stream.end(), frame.begin(), frame.end());
    Decoder d(n);
    const std::vector<Unit> units = d.run(stream);
    size_t failed = 0;
    for (const Unit &u : units) {
        EXPECT_TRUE(u.result == DABPLUS_DEC_LAYER2_FRAME_ERROR || u.result == DABPLUS_DEC_OK) << u.result;
        failed += u.result == DABPLUS_DEC_LAYER2_FRAME_ERROR ? 1 : 0;
        EXPECT_TRUE(u.pcm.empty());
    }
    // Once in sync, every frame fails once: none is tried again.
    EXPECT_GE(failed, 6u);
    EXPECT_LE(failed, 12u);
    DABplusAccessUnitTable *table = nullptr;
    int32_t next = 0;
    ASSERT_EQ(DABplusDecoder_GetAccessUnits(d.handle(), &table, &next), DABPLUS_DEC_OK);
    EXPECT_EQ(uint32_t(next), table->auCount);
}

// Byte errors in the RS columns: up to 5 per column are corrected and counted
// and the audio is as sent; more make the units of that column fail their CRC.
TEST(DABplusDecoder, ChannelErrorsCorrectedOrConcealed)
{
    const uint32_t n = 8;
    const Stream clean = encode({int(n), true, false, true, false, 0}, 3, false);
    Decoder reference(n);
    const std::vector<int16_t> expected = joined(reference.run(clean.bytes));
    ASSERT_EQ(expected.size(), 18u * 1920);
    const size_t superframeBytes = 120 * n;
    for (int errors = 1; errors <= 7; ++errors) {
        SCOPED_TRACE(std::to_string(errors) + " byte errors in column 3 of the second superframe");
        Bytes bytes = clean.bytes;
        // Rows 20, 35, 50, ... of the column: inside the audio part, past the header.
        for (int e = 0; e < errors; ++e)
            bytes[superframeBytes + size_t(20 + 15 * e) * n + 3] ^= uint8_t(0x81 + e);
        Decoder d(n);
        const std::vector<Unit> units = d.run(bytes);
        ASSERT_EQ(units.size(), 18u);
        const DABplusDecoderFrameInfo &stats = units[6].info;
        ASSERT_EQ(stats.statisticsValid, 1);
        int concealed = 0;
        for (const Unit &u : units)
            concealed += u.info.concealed;
        if (errors <= 5) {
            EXPECT_EQ(stats.rsCodewordsWithErrors, 1);
            EXPECT_EQ(stats.rsCorrected, 1);
            EXPECT_EQ(stats.rsSymbolsCorrected, errors);
            EXPECT_EQ(stats.rsUncorrectable, 0);
            EXPECT_EQ(concealed, 0);
            EXPECT_EQ(joined(units), expected);
        } else {
            EXPECT_EQ(stats.rsUncorrectable, 1);
            EXPECT_GE(concealed, 1);
            EXPECT_EQ(concealed, 6 - stats.goodAusAfterRsFailure);
        }
    }
}

// The recording's DAB+ services through the decoder: every unit of the AAC-LC
// services gives stereo PCM, the HE-AAC services their AAC core, none fails.
TEST(DABplusDecoder, RecordedEnsembleDecodes)
{
    const auto subchannels = readEtiSubchannels(ZOZ_TESTDATA_DIR "/slovenia-r1.eti");
    if (subchannels.empty())
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    // Sub-channels 0..3 carry AAC-LC at 48 kHz; the others HE-AAC.
    for (uint32_t id : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 10u, 11u, 15u}) {
        SCOPED_TRACE("sub-channel " + std::to_string(id));
        const EtiSubchannel &sub = subchannels.at(id);
        Decoder d(sub.size);
        const std::vector<Unit> units = d.run(sub.bytes);
        ASSERT_GE(units.size(), 18u); // nine superframes or more
        for (const Unit &u : units) {
            EXPECT_EQ(u.result, DABPLUS_DEC_OK);
            EXPECT_EQ(u.info.concealed, 0);
            EXPECT_EQ(u.info.type, uint32_t(id <= 3 ? DABPLUS_DEC_TYPE_AAC : DABPLUS_DEC_TYPE_AAC_SBR));
            EXPECT_EQ(u.info.samplesPerChannel, 960u);
            EXPECT_EQ(u.pcm.size(), size_t(u.info.samplesPerChannel * u.info.channels));
            if (id <= 3) {
                EXPECT_EQ(u.info.channels, 2u);
                EXPECT_EQ(u.info.sampleRate, 48000u);
            }
        }
    }
}

} // namespace
