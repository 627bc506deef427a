// zoz-aacenc: encodes 16-bit PCM (WAVE or raw) into AAC-LC for tests and demo
// streams: ADTS, LOAS, length-prefixed raw access units or DAB+ superframes.
#include "ZozTestAacEncoder.h"
#include "ZozTestSuperframe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace ZozTestAac;

namespace {

const char Usage[] =
    "usage: zoz-aacenc [options] input.wav|input.raw output\n"
    "  --format adts|loas|mp4|raw|superframe  output (default adts; raw: 2-byte big-endian length, then the unit)\n"
    "  --rate HZ --channels N             for raw PCM input (default 48000, 2)\n"
    "  --frame 1024|960                   samples per frame (superframes always 960)\n"
    "  --step N                           smallest scale factor (100..255, default 124)\n"
    "  --bandwidth HZ                     leave out bands from here up\n"
    "  --ms                               mid/side where the channels are alike\n"
    "  --intensity HZ --pns HZ            intensity stereo / noise substitution from HZ up\n"
    "  --pulses                           pulse data\n"
    "  --shape sine|kbd|alternating       window shape\n"
    "  --windows long|transients|cycle    window sequences\n"
    "  --grouping N                       short window grouping (7 bits)\n"
    "  --subchannel N                     superframes: sub-channel size in 8 kbit/s units\n";

struct Input
{
    std::vector<int16_t> pcm;
    int rate = 0;
    int channels = 0;
};

uint32_t little(const uint8_t *p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool readInput(const char *path, Input &in)
{
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
    size_t dataOffset = 0, dataSize = bytes.size();
    if (bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 && std::memcmp(&bytes[8], "WAVE", 4) == 0) {
        dataSize = 0;
        for (size_t p = 12; p + 8 <= bytes.size();) {
            const uint32_t size = little(&bytes[p + 4], 4);
            const size_t body = p + 8;
            if (std::memcmp(&bytes[p], "fmt ", 4) == 0 && size >= 16 && body + 16 <= bytes.size()) {
                if (little(&bytes[body], 2) != 1 || little(&bytes[body + 14], 2) != 16) {
                    std::fprintf(stderr, "zoz-aacenc: only 16-bit PCM WAVE files\n");
                    return false;
                }
                in.channels = static_cast<int>(little(&bytes[body + 2], 2));
                in.rate = static_cast<int>(little(&bytes[body + 4], 4));
            } else if (std::memcmp(&bytes[p], "data", 4) == 0) {
                dataOffset = body;
                dataSize = std::min<size_t>(size, bytes.size() - body);
                break;
            }
            p = body + size + (size & 1);
        }
    }
    in.pcm.resize(dataSize / 2);
    for (size_t i = 0; i < in.pcm.size(); ++i)
        in.pcm[i] = static_cast<int16_t>(little(&bytes[dataOffset + 2 * i], 2));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    EncoderOptions options;
    std::string format = "adts";
    SuperframeFormat superframe;
    int rawRate = 48000, rawChannels = 2;
    std::vector<const char *> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zoz-aacenc: %s needs a value\n%s", a.c_str(), Usage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--format")
            format = value();
        else if (a == "--rate")
            rawRate = std::atoi(value());
        else if (a == "--channels")
            rawChannels = std::atoi(value());
        else if (a == "--frame")
            options.frameLength = std::atoi(value()) == 960 ? 960 : 1024;
        else if (a == "--step")
            options.step = std::atoi(value());
        else if (a == "--bandwidth")
            options.bandwidthHz = std::atoi(value());
        else if (a == "--ms")
            options.midSide = true;
        else if (a == "--intensity")
            options.intensityFromHz = std::atoi(value());
        else if (a == "--pns")
            options.noiseFromHz = std::atoi(value());
        else if (a == "--pulses")
            options.pulses = true;
        else if (a == "--shape") {
            const std::string v = value();
            options.shape = v == "kbd" ? WindowShapeChoice::Kbd
                            : v == "alternating" ? WindowShapeChoice::Alternating
                                                 : WindowShapeChoice::Sine;
        } else if (a == "--windows") {
            const std::string v = value();
            options.windows = v == "transients" ? WindowPlan::Transients
                              : v == "cycle"    ? WindowPlan::Cycle
                                                : WindowPlan::LongOnly;
        } else if (a == "--grouping")
            options.shortGrouping = std::atoi(value());
        else if (a == "--subchannel")
            superframe.subchannelSize = std::atoi(value());
        else if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else
            paths.push_back(argv[i]);
    }
    if (paths.size() != 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Input in;
    if (!readInput(paths[0], in)) {
        std::fprintf(stderr, "zoz-aacenc: cannot read %s\n", paths[0]);
        return 1;
    }
    options.sampleRate = in.rate ? in.rate : rawRate;
    options.channels = in.channels ? in.channels : rawChannels;
    if (options.channels < 1 || options.channels > 2 || samplingFrequencyIndex(options.sampleRate) < 0) {
        std::fprintf(stderr, "zoz-aacenc: %d Hz with %d channels is not supported\n", options.sampleRate,
                     options.channels);
        return 1;
    }
    if (format == "superframe") {
        if (options.sampleRate != 48000 && options.sampleRate != 32000) {
            std::fprintf(stderr, "zoz-aacenc: DAB+ needs 48000 or 32000 Hz\n");
            return 1;
        }
        options.frameLength = 960;
        superframe.dacRate48 = options.sampleRate == 48000;
        superframe.stereo = options.channels == 2;
    }
    FILE *out = std::fopen(paths[1], "wb");
    if (!out) {
        std::fprintf(stderr, "zoz-aacenc: cannot write %s\n", paths[1]);
        return 1;
    }
    if (format == "superframe") {
        // Whole superframes only: silence up to the end of the last one.
        const size_t frames = (in.pcm.size() / options.channels + 959) / 960;
        const size_t perSuperframe = static_cast<size_t>(accessUnitCount(superframe));
        const size_t units = ((frames + 1 + perSuperframe - 1) / perSuperframe) * perSuperframe;
        in.pcm.resize((units - 1) * 960 * options.channels, 0);
    }
    Encoder encoder(options);
    encoder.push(in.pcm.data(), in.pcm.size() / options.channels);
    encoder.finish();
    int written = 0;
    auto put = [&](const std::vector<uint8_t> &bytes) { std::fwrite(bytes.data(), 1, bytes.size(), out); };
    if (format == "superframe") {
        for (const auto &s : encodeSuperframes(encoder, superframe)) {
            put(s);
            ++written;
        }
    } else if (format == "mp4") {
        std::vector<std::vector<uint8_t>> units;
        while (encoder.unitsReady() > 0)
            units.push_back(encoder.encodeUnit());
        put(mp4File(options, units));
        written = static_cast<int>(units.size());
    } else {
        const std::vector<uint8_t> config = audioSpecificConfig(options);
        while (encoder.unitsReady() > 0) {
            const std::vector<uint8_t> unit = encoder.encodeUnit();
            if (format == "raw") {
                put({static_cast<uint8_t>(unit.size() >> 8), static_cast<uint8_t>(unit.size())});
                put(unit);
            } else if (format == "loas") {
                put(loasFrame(config, unit));
            } else {
                const std::vector<uint8_t> frame = adtsFrame(options, unit);
                if (frame.empty()) {
                    std::fprintf(stderr, "zoz-aacenc: ADTS cannot carry this unit (960-sample frames need loas)\n");
                    std::fclose(out);
                    return 1;
                }
                put(frame);
            }
            ++written;
        }
    }
    std::fclose(out);
    std::fprintf(stderr, "zoz-aacenc: %d %s written\n", written, format == "superframe" ? "superframes" : "units");
    return 0;
}
