// The test AAC encoder against Debian's decoders, run as black boxes: its ADTS
// streams decode with ffmpeg and faad to the input within a stated SNR for each tool
// it can use, and its 960-sample frames decode with ffmpeg from LOAS.
#include "AacEncTestSupport.h"
#include "ZozTestAacEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

using namespace ZozTestAac;
using namespace AacEncTestSupport;

namespace {

struct Scratch
{
    Scratch()
    {
        dir = std::filesystem::temp_directory_path() / ("zoz-aacenc-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string path(const std::string &name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

enum class Signal { Sine, Chord, PannedChord, InvertedPan, Bursts, Noise };

// Interleaved test signals of `seconds` at `rate`; the second channel differs from
// the first in a way that gives the stereo tools something to do.
std::vector<int16_t> makeSignal(Signal signal, int rate, int channels, double seconds)
{
    const int n = static_cast<int>(rate * seconds);
    std::vector<int16_t> pcm(static_cast<size_t>(n) * channels);
    uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (static_cast<int32_t>(seed >> 8) - (1 << 23)) / double(1 << 23);
    };
    const double chord[] = {262, 330, 392, 523, 1760, 5200, 7100};
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        double left = 0, right = 0;
        switch (signal) {
        case Signal::Sine:
            left = 8000 * std::sin(2 * M_PI * 440 * t);
            right = 6000 * std::sin(2 * M_PI * 660 * t);
            break;
        case Signal::Chord:
            for (double f : chord)
                left += 2000 * std::sin(2 * M_PI * f * t);
            right = 0.8 * left + 1500 * std::sin(2 * M_PI * 880 * t);
            break;
        case Signal::PannedChord:
        case Signal::InvertedPan:
            for (double f : chord)
                left += 2000 * std::sin(2 * M_PI * f * t);
            right = (signal == Signal::PannedChord ? 0.5 : -0.25) * left;
            break;
        case Signal::Bursts: {
            // A click train over a quiet tone: attacks for the short windows.
            const double phase = std::fmod(t, 0.25);
            const double envelope = phase < 0.03 ? std::exp(-phase * 150) : 0.0;
            left = 1000 * std::sin(2 * M_PI * 300 * t) + 12000 * envelope * std::sin(2 * M_PI * 2500 * t);
            right = 0.7 * left;
            break;
        }
        case Signal::Noise:
            left = 4000 * noise();
            right = 4000 * noise();
            break;
        }
        pcm[static_cast<size_t>(i) * channels] = static_cast<int16_t>(std::lround(left));
        if (channels == 2)
            pcm[static_cast<size_t>(i) * channels + 1] = static_cast<int16_t>(std::lround(right));
    }
    return pcm;
}

double power(const std::vector<int16_t> &x, size_t from, size_t count)
{
    double p = 0;
    for (size_t i = from; i < from + count && i < x.size(); ++i)
        p += double(x[i]) * x[i];
    return p;
}

struct Case
{
    const char *name;
    Signal signal;
    int channels;
    EncoderOptions options;
    double minSnrDb;   // waveform SNR both decoders must reach; 0 = compare levels only
    const char *mustUse; // the tool the report must show in use
    int dataStreamBytes = 0; // a data stream element of this many bytes in every unit
    int exactBytes = 0;      // every unit filled to this size
};

EncoderOptions with(std::initializer_list<void (*)(EncoderOptions &)> changes)
{
    EncoderOptions o;
    for (auto change : changes)
        change(o);
    return o;
}

std::vector<Case> cases()
{
    return {
        {"sine stereo", Signal::Sine, 2, with({}), 70, ""},
        {"sine mono", Signal::Sine, 1, with({}), 70, ""},
        {"chord stereo", Signal::Chord, 2, with({}), 65, ""},
        {"chord mid/side", Signal::Chord, 2, with({[](EncoderOptions &o) { o.midSide = true; }}), 64, "ms"},
        {"chord KBD windows", Signal::Chord, 2, with({[](EncoderOptions &o) { o.shape = WindowShapeChoice::Kbd; }}), 65,
         ""},
        {"chord short window cycle, alternating shapes", Signal::Chord, 2,
         with({[](EncoderOptions &o) {
             o.windows = WindowPlan::Cycle;
             o.shape = WindowShapeChoice::Alternating;
         }}),
         57, "short"},
        {"chord short windows grouped", Signal::Chord, 1,
         with({[](EncoderOptions &o) {
             o.windows = WindowPlan::Cycle;
             o.shortGrouping = 0x5B;
         }}),
         57, "short"},
        {"bursts on attacks", Signal::Bursts, 2, with({[](EncoderOptions &o) { o.windows = WindowPlan::Transients; }}),
         55, "short"},
        {"chord pulses", Signal::Chord, 2, with({[](EncoderOptions &o) { o.pulses = true; }}), 65, "pulse"},
        {"chord coarse escapes", Signal::Chord, 2, with({[](EncoderOptions &o) { o.step = 100; }}), 78, "escape"},
        {"panned chord intensity", Signal::PannedChord, 2,
         with({[](EncoderOptions &o) { o.intensityFromHz = 4000; }}), 64, "intensity"},
        {"inverted pan intensity", Signal::InvertedPan, 2,
         with({[](EncoderOptions &o) { o.intensityFromHz = 4000; }}), 64, "intensity"},
        {"noise substitution", Signal::Noise, 2, with({[](EncoderOptions &o) { o.noiseFromHz = 6000; }}), 0, "pns"},
        {"long data stream and fill", Signal::Chord, 2, with({}), 65, "", 300, 2500},
        {"intensity in short windows", Signal::PannedChord, 2,
         with({[](EncoderOptions &o) {
             o.intensityFromHz = 4000;
             o.windows = WindowPlan::Cycle;
         }}),
         57, "intensity"},
        {"noise substitution in short windows", Signal::Noise, 1,
         with({[](EncoderOptions &o) {
             o.noiseFromHz = 6000;
             o.windows = WindowPlan::Cycle;
         }}),
         0, "pns"},
        {"sine 22.05 kHz mono", Signal::Sine, 1, with({[](EncoderOptions &o) { o.sampleRate = 22050; }}), 70, ""},
        {"chord 32 kHz", Signal::Chord, 2, with({[](EncoderOptions &o) { o.sampleRate = 32000; }}), 65, ""},
        {"sine 96 kHz short windows", Signal::Sine, 2,
         with({[](EncoderOptions &o) {
             o.sampleRate = 96000;
             o.windows = WindowPlan::Cycle;
         }}),
         57, "short"},
    };
}

bool uses(const std::vector<UnitReport> &reports, const std::string &tool)
{
    for (const UnitReport &r : reports) {
        if ((tool == "ms" && r.midSideBands > 0) || (tool == "intensity" && r.intensityBands > 0)
            || (tool == "pns" && r.noiseBands > 0) || (tool == "pulse" && r.pulses > 0)
            || (tool == "escape" && r.escapeSections > 0)
            || (tool == "short" && r.sequence == WindowSequence::EightShort))
            return true;
    }
    return tool.empty();
}

} // namespace

TEST(AacEncoder, AdtsDecodesWithFfmpegAndFaad)
{
    const bool ffmpeg = haveProgram("ffmpeg"), faad = haveProgram("faad");
    if (!ffmpeg && !faad)
        GTEST_SKIP() << "neither ffmpeg nor faad is installed";
    Scratch scratch;
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        EncoderOptions options = c.options;
        options.channels = c.channels;
        const std::vector<int16_t> input = makeSignal(c.signal, options.sampleRate, c.channels, 1.5);
        Encoder encoder(options);
        encoder.push(input.data(), input.size() / c.channels);
        encoder.finish();
        std::vector<uint8_t> stream;
        std::vector<UnitReport> reports;
        UnitExtras extras;
        extras.dataStream.assign(c.dataStreamBytes, 0x5A);
        extras.exactBytes = c.exactBytes;
        while (encoder.unitsReady() > 0) {
            const std::vector<uint8_t> unit = encoder.encodeUnit(extras);
            if (c.exactBytes > 0) {
                ASSERT_EQ(unit.size(), static_cast<size_t>(c.exactBytes));
            }
            const std::vector<uint8_t> frame = adtsFrame(options, unit);
            ASSERT_FALSE(frame.empty());
            stream.insert(stream.end(), frame.begin(), frame.end());
            reports.push_back(encoder.lastReport());
        }
        EXPECT_TRUE(uses(reports, c.mustUse)) << "the stream does not use " << c.mustUse;
        const std::string aac = scratch.path("in.aac");
        writeBytes(aac, stream);

        for (const char *decoder : {"ffmpeg", "faad"}) {
            const bool isFfmpeg = decoder == std::string("ffmpeg");
            if (!(isFfmpeg ? ffmpeg : faad))
                continue;
            // faad takes AAC-LC at 24 kHz and below for implicitly signalled SBR and
            // puts out twice the rate: no sample-by-sample comparison there.
            if (!isFfmpeg && options.sampleRate <= 24000)
                continue;
            SCOPED_TRACE(decoder);
            std::vector<int16_t> decoded;
            if (isFfmpeg) {
                const std::string out = scratch.path("ffmpeg.raw");
                ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -i " + aac
                                       + " -f s16le -acodec pcm_s16le " + out)
                                          .c_str()),
                          0);
                decoded = readPcm(out);
            } else {
                ASSERT_TRUE(decodeWithFaad(aac, c.channels, decoded));
            }
            ASSERT_GE(decoded.size(), input.size() - 1024u * c.channels);
            if (c.minSnrDb > 0) {
                const double snr = snrDb(input, decoded, c.channels, options.frameLength);
                std::printf("  %-48s %-6s SNR %6.1f dB\n", c.name, decoder, snr);
                EXPECT_GE(snr, c.minSnrDb);
            } else {
                // Noise bands keep their level, not their waveform: compare the powers
                // of the steady noise (the decoders' delays do not matter).
                const size_t from = 4096, count = input.size() - 2 * from;
                const double ratio = 10 * std::log10(power(decoded, from, count) / power(input, from, count));
                std::printf("  %-48s %-6s level %+5.2f dB\n", c.name, decoder, ratio);
                EXPECT_LT(std::abs(ratio), 1.5);
                EXPECT_LT(snrDb(input, decoded, c.channels, options.frameLength), 10) << "noise came out as coded";
            }
        }
    }
}

// 960-sample frames: ffmpeg reads their configuration from LOAS, faad (whose reader
// takes LOAS for raw data) from an MP4 file.
TEST(AacEncoder, NineHundredSixtySampleFramesDecodeFromLoasAndMp4)
{
    const bool ffmpeg = haveProgram("ffmpeg"), faad = haveProgram("faad");
    if (!ffmpeg && !faad)
        GTEST_SKIP() << "neither ffmpeg nor faad is installed";
    Scratch scratch;
    struct Row
    {
        const char *name;
        int rate;
        int channels;
        bool midSide;
        WindowPlan windows;
    };
    const Row rows[] = {
        {"48 kHz stereo", 48000, 2, false, WindowPlan::LongOnly},
        {"32 kHz mono", 32000, 1, false, WindowPlan::LongOnly},
        {"48 kHz stereo, mid/side and short windows", 48000, 2, true, WindowPlan::Cycle},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EncoderOptions options;
        options.sampleRate = row.rate;
        options.channels = row.channels;
        options.frameLength = 960;
        options.midSide = row.midSide;
        options.windows = row.windows;
        const std::vector<int16_t> input = makeSignal(Signal::Chord, row.rate, row.channels, 1.0);
        const std::vector<uint8_t> config = audioSpecificConfig(options);
        ASSERT_EQ(config.size(), 2u);
        EXPECT_EQ(config[1] & 0x04, 0x04) << "frameLengthFlag";
        EXPECT_TRUE(adtsFrame(options, {0}).empty()) << "ADTS cannot signal 960 samples";
        const std::vector<std::vector<uint8_t>> units = encodeAll(options, input);
        if (ffmpeg) {
            std::vector<uint8_t> stream;
            for (const auto &unit : units) {
                const std::vector<uint8_t> frame = loasFrame(config, unit);
                stream.insert(stream.end(), frame.begin(), frame.end());
            }
            writeBytes(scratch.path("in.loas"), stream);
            std::vector<int16_t> decoded;
            ASSERT_TRUE(decodeLoasWithFfmpeg(scratch.path("in.loas"), decoded));
            // Whole 960-sample frames came out, one per unit.
            EXPECT_EQ(decoded.size(), units.size() * 960 * row.channels);
            const double snr = snrDb(input, decoded, row.channels, 960);
            std::printf("  960 %-44s ffmpeg SNR %6.1f dB\n", row.name, snr);
            EXPECT_GE(snr, row.windows == WindowPlan::Cycle ? 55 : 65);
        }
        if (faad) {
            writeBytes(scratch.path("in.m4a"), mp4File(options, units));
            std::vector<int16_t> decoded;
            ASSERT_TRUE(decodeWithFaad(scratch.path("in.m4a"), row.channels, decoded));
            // faad leaves out the first frame, which only holds the encoder's delay.
            EXPECT_EQ(decoded.size(), (units.size() - 1) * 960 * row.channels);
            const double snr = snrDb(input, decoded, row.channels, 960);
            std::printf("  960 %-44s faad   SNR %6.1f dB\n", row.name, snr);
            EXPECT_GE(snr, row.windows == WindowPlan::Cycle ? 55 : 65);
        }
    }
}

TEST(AacEncoder, UnitsComeOutAsTheirInputArrives)
{
    struct Row
    {
        const char *name;
        int frameLength;
        int samples;    // pushed before finish()
        int readyBefore; // units ready before finish()
        int total;       // units in all
    };
    const Row rows[] = {
        {"nothing", 1024, 0, 0, 1},
        {"one sample", 1024, 1, 0, 2},
        {"one frame", 1024, 1024, 0, 2},
        {"one frame and one sample", 1024, 1025, 0, 3},
        {"three frames", 1024, 3072, 2, 4},
        {"three 960 frames", 960, 2880, 2, 4},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EncoderOptions options;
        options.channels = 1;
        options.frameLength = row.frameLength;
        Encoder encoder(options);
        const std::vector<int16_t> pcm(row.samples, 100);
        encoder.push(pcm.data(), pcm.size());
        EXPECT_EQ(encoder.unitsReady(), row.readyBefore);
        encoder.finish();
        int units = 0;
        while (encoder.unitsReady() > 0) {
            ASSERT_FALSE(encoder.encodeUnit().empty());
            ++units;
        }
        EXPECT_EQ(units, row.total);
        EXPECT_TRUE(encoder.encodeUnit().empty()) << "nothing after the last unit";
    }
}

TEST(AacEncoder, ByteBudgets)
{
    EncoderOptions options;
    const std::vector<int16_t> pcm = makeSignal(Signal::Noise, 48000, 2, 0.1);
    struct Row
    {
        const char *name;
        int dataStreamBytes;
        int exactBytes;
        bool fits;
    };
    const Row rows[] = {
        {"room for the smallest unit", 0, 40, true},
        {"one byte short of a silent pair", 0, 5, false},
        {"a silent pair", 0, 6, true},
        {"data stream larger than the budget", 100, 90, false},
        {"fill with an escaped count", 0, 1200, true},
        {"data stream with an escaped count", 300, 600, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Encoder encoder(options);
        encoder.push(pcm.data(), pcm.size() / 2);
        UnitExtras extras;
        extras.dataStream.assign(row.dataStreamBytes, 0x11);
        extras.exactBytes = row.exactBytes;
        const std::vector<uint8_t> unit = encoder.encodeUnit(extras);
        if (row.fits) {
            EXPECT_EQ(unit.size(), static_cast<size_t>(row.exactBytes));
        } else {
            EXPECT_TRUE(unit.empty());
        }
        if (row.fits && row.exactBytes < 100) {
            EXPECT_GT(encoder.lastReport().step, options.step) << "the step rose to fit";
        }
    }
}

TEST(AacEncoder, TransportHeaders)
{
    EncoderOptions options;
    options.sampleRate = 44100;
    options.channels = 2;
    EXPECT_EQ(audioSpecificConfig(options), (std::vector<uint8_t>{0x12, 0x10})); // 2, 4, 2, 1024
    options.frameLength = 960;
    options.sampleRate = 32000;
    options.channels = 1;
    EXPECT_EQ(audioSpecificConfig(options), (std::vector<uint8_t>{0x12, 0x8C})); // 2, 5, 1, 960
    EXPECT_TRUE(adtsFrame(options, {1, 2, 3}).empty());
    options.frameLength = 1024;
    const std::vector<uint8_t> adts = adtsFrame(options, {1, 2, 3});
    EXPECT_EQ(adts, (std::vector<uint8_t>{0xFF, 0xF1, 0x54, 0x40, 0x01, 0x5F, 0xFC, 1, 2, 3}));
    EXPECT_TRUE(adtsFrame(options, std::vector<uint8_t>(8192 - 7)).empty()) << "13-bit frame length";
    EXPECT_EQ(adtsFrame(options, std::vector<uint8_t>(8191 - 7)).size(), 8191u);
    options.sampleRate = 12345;
    EXPECT_TRUE(Encoder(options).encodeUnit().empty());
    const std::vector<uint8_t> loas = loasFrame({0x12, 0x8C}, std::vector<uint8_t>(300, 0xAB));
    EXPECT_EQ(loas[0], 0x56);                                          // 0x2B7 << 5
    EXPECT_EQ(((loas[1] & 0x1F) << 8 | loas[2]) + 3u, loas.size()); // length of the rest
}

namespace {

// A 16-bit PCM WAVE file.
std::vector<uint8_t> wave(const std::vector<int16_t> &pcm, int rate, int channels)
{
    std::vector<uint8_t> b;
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&b](const char *t) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(t[i]));
    };
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    tag("RIFF");
    put(36 + data, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2); // PCM
    put(static_cast<uint32_t>(channels), 2);
    put(static_cast<uint32_t>(rate), 4);
    put(static_cast<uint32_t>(rate * channels * 2), 4);
    put(static_cast<uint32_t>(channels * 2), 2);
    put(16, 2);
    tag("data");
    put(data, 4);
    for (int16_t s : pcm)
        put(static_cast<uint16_t>(s), 2);
    return b;
}

} // namespace

TEST(AacEncoder, CommandLineTool)
{
    Scratch scratch;
    const std::string tool = ZOZ_BINARY_DIR "/tools/aacenc/zoz-aacenc";
    const std::vector<int16_t> pcm = makeSignal(Signal::Chord, 48000, 2, 0.5);
    writeBytes(scratch.path("in.wav"), wave(pcm, 48000, 2));
    std::vector<uint8_t> raw(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        raw[2 * i] = static_cast<uint8_t>(pcm[i]);
        raw[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
    }
    writeBytes(scratch.path("in.raw"), raw);
    const int units1024 = static_cast<int>((pcm.size() / 2 + 1023) / 1024) + 1;
    const int units960 = static_cast<int>((pcm.size() / 2 + 959) / 960) + 1;
    struct Row
    {
        const char *name;
        std::string arguments;
        bool succeeds;
        // Checks the output file.
        std::function<void(const std::vector<uint8_t> &)> check;
    };
    auto countAdts = [](const std::vector<uint8_t> &b) {
        int frames = 0;
        for (size_t p = 0; p + 7 <= b.size(); ++frames) {
            if (b[p] != 0xFF || (b[p + 1] & 0xF0) != 0xF0)
                return -1;
            p += (b[p + 3] & 3) << 11 | b[p + 4] << 3 | b[p + 5] >> 5;
        }
        return frames;
    };
    auto countPrefixed = [](const std::vector<uint8_t> &b) {
        int units = 0;
        for (size_t p = 0; p + 2 <= b.size(); ++units)
            p += 2 + (b[p] << 8 | b[p + 1]);
        return units;
    };
    const Row rows[] = {
        {"WAVE to ADTS", "in.wav out", true, [&](const std::vector<uint8_t> &b) { EXPECT_EQ(countAdts(b), units1024); }},
        {"raw PCM to ADTS with tools", "--rate 48000 --channels 2 --ms --pulses --windows cycle --shape kbd in.raw out",
         true, [&](const std::vector<uint8_t> &b) { EXPECT_EQ(countAdts(b), units1024); }},
        {"raw units of 960 samples", "--format raw --frame 960 in.wav out", true,
         [&](const std::vector<uint8_t> &b) { EXPECT_EQ(countPrefixed(b), units960); }},
        {"LOAS", "--format loas --frame 960 in.wav out", true,
         [](const std::vector<uint8_t> &b) { EXPECT_EQ(b.at(0), 0x56); }},
        {"MP4", "--format mp4 in.wav out", true,
         [](const std::vector<uint8_t> &b) { EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 8), "ftyp"); }},
        {"superframes", "--format superframe --subchannel 6 in.wav out", true,
         [](const std::vector<uint8_t> &b) {
             // Whole superframes of 120 n bytes, 6 units each, silence after the input.
             ASSERT_EQ(b.size() % 720, 0u);
             EXPECT_EQ(b.size() / 720, 5u);
         }},
        {"ADTS cannot carry 960", "--frame 960 in.wav out", false, nullptr},
        {"superframes need 48 or 32 kHz", "--format superframe --rate 44100 in.raw out", false, nullptr},
        {"missing input", "nothing.wav out", false, nullptr},
        {"one path", "in.wav", false, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(scratch.path("out"));
        const std::string command =
            "cd " + scratch.dir.string() + " && " + tool + " " + row.arguments + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(status == 0, row.succeeds);
        if (row.check)
            row.check(readBytes(scratch.path("out")));
    }
}
