#include "AacEncTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace AacEncTestSupport {

std::vector<uint8_t> readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<int16_t> readPcm(const std::string &path)
{
    const std::vector<uint8_t> bytes = readBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return pcm;
}

bool haveProgram(const char *name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool decodeLoasWithFfmpeg(const std::string &loasPath, std::vector<int16_t> &pcm)
{
    const std::string out = loasPath + ".raw";
    std::filesystem::remove(out);
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f loas -i " + loasPath + " -f s16le -acodec pcm_s16le " + out;
    if (std::system(command.c_str()) != 0)
        return false;
    pcm = readPcm(out);
    std::filesystem::remove(out);
    return true;
}

bool decodeWithFaad(const std::string &path, int channels, std::vector<int16_t> &pcm)
{
    const std::string out = path + ".raw";
    std::filesystem::remove(out);
    if (std::system(("faad -q -f 2 -b 1 -o " + out + " " + path + " >/dev/null 2>&1").c_str()) != 0)
        return false;
    pcm = readPcm(out);
    std::filesystem::remove(out);
    if (channels == 1) {
        for (size_t i = 0; 2 * i < pcm.size(); ++i)
            pcm[i] = pcm[2 * i];
        pcm.resize(pcm.size() / 2);
    }
    return true;
}

double snrDb(const std::vector<int16_t> &input, const std::vector<int16_t> &decoded, int channels, int frame,
             int *delayOut)
{
    double best = -1e9;
    for (int delay = 0; delay <= 2 * frame; delay += frame) {
        const size_t offset = static_cast<size_t>(delay) * channels;
        const size_t from = static_cast<size_t>(frame) * channels;
        if (input.size() < 3 * from || decoded.size() < offset + input.size() - from)
            continue;
        double signal = 0, error = 0;
        for (size_t i = from; i + from < input.size(); ++i) {
            const double d = double(input[i]) - decoded[i + offset];
            signal += double(input[i]) * input[i];
            error += d * d;
        }
        const double snr = 10 * std::log10(signal / std::max(error, 1e-9));
        if (snr > best) {
            best = snr;
            if (delayOut)
                *delayOut = delay;
        }
    }
    return best;
}

} // namespace AacEncTestSupport
