#include "aac_test_support.h"

#include "aac_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

std::vector<uint8_t> readFixture(const std::string &name)
{
    std::ifstream in(std::string(AAC_FIXTURES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int forEachAdtsUnit(const std::string &name, bool (*unit)(AacDecInstance *h, void *context), void *context)
{
    const std::vector<uint8_t> stream = readFixture(name);
    AacDecHandle h = AacDec_Open(AACDEC_TT_ADTS, 1);
    if (!h || stream.empty())
        return -1;
    const uint8_t *buffers[1] = {stream.data()};
    const uint32_t sizes[1] = {static_cast<uint32_t>(stream.size())};
    uint32_t valid[1] = {sizes[0]};
    int units = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        if (valid[0] > 0 && AacDec_Fill(h, buffers, sizes, valid) != AACDEC_OK)
            break;
        const int result = TpDec_ReadAccessUnit(h->transport, 0);
        if (result == TPDEC_NOT_ENOUGH_BITS && valid[0] > 0)
            continue;
        if (result != TPDEC_OK) {
            if (result != TPDEC_NOT_ENOUGH_BITS)
                units = -1;
            break;
        }
        ++units;
        const bool more = unit(h, context);
        TpDec_EndAccessUnit(h->transport);
        if (!more)
            break;
    }
    AacDec_Close(h);
    return units;
}

// A reference decoder's float samples, read from the command's output.
namespace {

Decoded referenceDecodeWith(const std::string &command, int channels);

} // namespace

Decoded referenceDecode(const std::string &file, int channels)
{
    const std::string path = std::string(AAC_FIXTURES) + "/" + file;
    return referenceDecodeWith("ffmpeg -hide_banner -loglevel error -i '" + path + "' -f f32le - 2>/dev/null", channels);
}

Decoded referenceDecodeFaad(const std::string &file, int channels)
{
    const std::string path = std::string(AAC_FIXTURES) + "/" + file;
    return referenceDecodeWith("faad -q -w -f 2 -b 4 '" + path + "' 2>/dev/null", channels);
}

Decoded encoderSource(const std::string &stream, int channels)
{
    return referenceDecodeWith("bash '" AAC_FIXTURE_SCRIPT "' --source '" + stream + "' 2>/dev/null", channels);
}

namespace {

Decoded referenceDecodeWith(const std::string &command, int channels)
{
    Decoded d;
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

} // namespace

Comparison compare(const std::vector<double> &ours, const std::vector<double> &ref, int64_t extra)
{
    Comparison best{0, -1e9, 0};
    // ffmpeg drops the encoder's priming frame; try whole-frame offsets.
    for (int64_t offset : {int64_t{0}, int64_t{1024}, int64_t{2048}, int64_t{960}, extra, extra + 1024, extra + 960, extra + 2048}) {
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

// Energy per 1/3-octave band (centres from 100 Hz) of a signal, in dB, from
// Hann-windowed blocks of 2048 samples and a direct DFT.
std::vector<double> thirdOctaveEnergies(const std::vector<double> &x, int rate)
{
    const int n = 2048;
    std::vector<double> cosine(n), sine(n), windowed(n);
    for (int i = 0; i < n; ++i) {
        cosine[static_cast<size_t>(i)] = std::cos(2 * M_PI * i / n);
        sine[static_cast<size_t>(i)] = std::sin(2 * M_PI * i / n);
    }
    std::vector<double> bins(n / 2, 0.0);
    for (size_t start = 0; start + n <= x.size(); start += n) {
        for (int i = 0; i < n; ++i)
            windowed[static_cast<size_t>(i)] = x[start + static_cast<size_t>(i)] * (0.5 - 0.5 * cosine[static_cast<size_t>(i)]);
        for (int k = 1; k < n / 2; ++k) {
            double re = 0, im = 0;
            for (int i = 0, phase = 0; i < n; ++i, phase = (phase + k) & (n - 1)) {
                re += windowed[static_cast<size_t>(i)] * cosine[static_cast<size_t>(phase)];
                im -= windowed[static_cast<size_t>(i)] * sine[static_cast<size_t>(phase)];
            }
            bins[static_cast<size_t>(k)] += re * re + im * im;
        }
    }
    std::vector<double> bands;
    for (double centre = 100; centre * std::pow(2.0, 1.0 / 6) < rate / 2.0; centre *= std::pow(2.0, 1.0 / 3)) {
        const int lo = static_cast<int>(centre / std::pow(2.0, 1.0 / 6) * n / rate);
        const int hi = static_cast<int>(centre * std::pow(2.0, 1.0 / 6) * n / rate);
        double e = 1e-12;
        for (int k = std::max(lo, 1); k < std::min(hi, n / 2); ++k)
            e += bins[static_cast<size_t>(k)];
        bands.push_back(10 * std::log10(e));
    }
    return bands;
}

// Residual of the best-fitting sine of a frequency (free amplitude and phase), as a
// signal-to-residual ratio in dB, over samples [from, to).
double toneSnr(const std::vector<double> &x, double frequency, int rate, size_t from, size_t to)
{
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (size_t i = from; i < to; ++i) {
        const double c = std::cos(2 * M_PI * frequency * static_cast<double>(i) / rate);
        const double sn = std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate);
        cc += c * c, ss += sn * sn, cs += c * sn, xc += x[i] * c, xs += x[i] * sn;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    double signal = 0, residual = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit = a * std::cos(2 * M_PI * frequency * static_cast<double>(i) / rate) +
                           b * std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate);
        signal += fit * fit;
        residual += (x[i] - fit) * (x[i] - fit);
    }
    return 10 * std::log10(signal / std::max(residual, 1e-30));
}
