// Decodes a whole MPEG Audio Layer II file as a player would: the file is fed in
// pieces, the decoder finds the frames itself. Prints the decoding CPU time in the
// form of ffmpeg's -benchmark line, so bench/layer2-vs-ffmpeg.sh can compare the
// two. With --checksum it also prints a checksum of the PCM (which costs time), to
// show that a faster decoder decodes the same.
//   codec_layer2_decode_file [--checksum] <file.mp2> [passes]
#include "Layer2Dec.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <fstream>
#include <vector>

namespace {

// As a DAB+ decoder hands over one sub-channel's logical frame at a time.
constexpr uint32_t FeedBytes = 576;

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// User and system CPU of this process so far, as ffmpeg counts them.
void cpuSeconds(double *user, double *system)
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    *user = static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) * 1e-6;
    *system = static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) * 1e-6;
}

struct PassResult
{
    uint64_t frames = 0;
    uint64_t samples = 0;  // per channel
    uint64_t errors = 0;
    uint64_t checksum = 14695981039346656037u; // FNV-1a of the PCM, little-endian 16-bit
    int sampleRate = 0;
};

enum class Checksum { Skip, Compute };

PassResult decodeFile(const std::vector<uint8_t> &file, Checksum checksum)
{
    PassResult result;
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, 0, 0);
    if (!dec)
        return result;
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    size_t offset = 0;
    for (;;) {
        uint32_t samples = 0;
        const Layer2DecResult r = Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples,
                                                        nullptr, 0, nullptr, 0);
        if (LAYER2DEC_NEEDS_INPUT(r)) {
            if (offset >= file.size())
                break;
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(FeedBytes, file.size() - offset));
            uint32_t valid = n;
            Layer2Dec_Fill(dec, file.data() + offset, n, &valid);
            offset += n - valid;
            continue;
        }
        if (LAYER2DEC_IS_ERROR(r)) {
            // The decoder has consumed the frame; go on as a player would.
            ++result.errors;
            continue;
        }
        ++result.frames;
        const int channels = Layer2Dec_GetStreamInfo(dec)->outputChannels;
        result.samples += samples / static_cast<uint32_t>(channels > 0 ? channels : 1);
        result.sampleRate = Layer2Dec_GetStreamInfo(dec)->outputSampleRate;
        if (checksum == Checksum::Skip)
            continue;
        for (uint32_t i = 0; i < samples; ++i) {
            const auto v = static_cast<uint16_t>(pcm[i]);
            result.checksum = (result.checksum ^ (v & 0xFF)) * 1099511628211u;
            result.checksum = (result.checksum ^ (v >> 8)) * 1099511628211u;
        }
    }
    Layer2Dec_Close(&dec);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    const Checksum checksum = argc > 1 && std::strcmp(argv[1], "--checksum") == 0 ? Checksum::Compute : Checksum::Skip;
    const int first = checksum == Checksum::Compute ? 2 : 1;
    if (argc - first < 1 || argc - first > 2) {
        std::fprintf(stderr, "usage: %s [--checksum] <file.mp2> [passes]\n", argv[0]);
        return 2;
    }
    const char *path = argv[first];
    const int passes = argc - first == 2 ? std::atoi(argv[first + 1]) : 1;
    if (passes < 1 || passes > 1000) {
        std::fprintf(stderr, "passes must be 1..1000\n");
        return 2;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    in.seekg(0, std::ios::end);
    std::vector<uint8_t> file(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
    in.seekg(0);
    in.read(reinterpret_cast<char *>(file.data()), static_cast<std::streamsize>(file.size()));

    double user0 = 0, system0 = 0, user = 0, system = 0;
    cpuSeconds(&user0, &system0);
    const double wall0 = wallSeconds();
    PassResult result;
    for (int pass = 0; pass < passes; ++pass)
        result = decodeFile(file, checksum);
    const double wall = wallSeconds() - wall0;
    cpuSeconds(&user, &system);
    user -= user0;
    system -= system0;

    if (result.frames == 0) {
        std::fprintf(stderr, "no Layer II frame decoded in %s\n", path);
        return 1;
    }
    const double audio = result.sampleRate > 0 ? static_cast<double>(result.samples) / result.sampleRate : 0.0;
    std::printf("frames=%llu errors=%llu audio=%.3fs passes=%d\n", static_cast<unsigned long long>(result.frames),
                static_cast<unsigned long long>(result.errors), audio, passes);
    if (checksum == Checksum::Compute)
        std::printf("checksum=%016llx\n", static_cast<unsigned long long>(result.checksum));
    std::printf("realtime=%.0fx\n", user + system > 0 ? audio * passes / (user + system) : 0.0);
    std::printf("bench: utime=%.3fs stime=%.3fs rtime=%.3fs\n", user, system, wall);
    return 0;
}
