#include "layer2_test_support.h"

#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>

std::vector<uint8_t> readFixture(const std::string &name)
{
    std::ifstream in(std::string(LAYER2_FIXTURES) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DecodedStream decodeStream(const std::vector<uint8_t> &stream, int dabMode, size_t chunk, int interleaved)
{
    DecodedStream out;
    Layer2DecHandle dec = Layer2Dec_Open(nullptr, 0, dabMode, 0);
    if (!dec)
        return out;
    Layer2Dec_SetParam(dec, LAYER2DEC_PARAM_INTERLEAVED, interleaved);
    std::vector<int16_t> pcm(2 * LAYER2DEC_FRAME_SAMPLES);
    size_t offset = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        uint32_t samples = 0, padBits = 0;
        const Layer2DecResult r = Layer2Dec_DecodeFrame(dec, pcm.data(), static_cast<uint32_t>(pcm.size()), &samples,
                                                        nullptr, 0, &padBits, 0);
        if (LAYER2DEC_NEEDS_INPUT(r)) {
            if (offset >= stream.size())
                break;
            const size_t n = std::min(chunk, stream.size() - offset);
            uint32_t valid = static_cast<uint32_t>(n);
            Layer2Dec_Fill(dec, stream.data() + offset, static_cast<uint32_t>(n), &valid);
            offset += n - valid;
            continue;
        }
        if (LAYER2DEC_IS_ERROR(r)) {
            out.results.push_back(r);
            break;
        }
        out.results.push_back(r);
        out.modes.push_back(Layer2Dec_GetStreamInfo(dec)->mode);
        const int channels = static_cast<int>(samples / LAYER2DEC_FRAME_SAMPLES);
        if (out.channels.size() < static_cast<size_t>(channels))
            out.channels.resize(static_cast<size_t>(channels));
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < LAYER2DEC_FRAME_SAMPLES; ++i) {
                const int16_t v = interleaved ? pcm[static_cast<size_t>(i * channels + c)]
                                              : pcm[static_cast<size_t>(c * LAYER2DEC_FRAME_SAMPLES + i)];
                out.channels[static_cast<size_t>(c)].push_back(v / 32768.0);
            }
    }
    out.info = *Layer2Dec_GetStreamInfo(dec);
    Layer2Dec_Close(&dec);
    return out;
}

double sineSnrDb(const std::vector<double> &x, double frequency, double rate, size_t begin, size_t end)
{
    // Normal equations for a sin + b cos + c.
    double m[3][3] = {}, v[3] = {};
    for (size_t n = begin; n < end; ++n) {
        const double w = 2 * M_PI * frequency * static_cast<double>(n) / rate;
        const double basis[3] = {std::sin(w), std::cos(w), 1.0};
        for (int i = 0; i < 3; ++i) {
            v[i] += basis[i] * x[n];
            for (int j = 0; j < 3; ++j)
                m[i][j] += basis[i] * basis[j];
        }
    }
    // Gaussian elimination.
    for (int i = 0; i < 3; ++i) {
        for (int k = i + 1; k < 3; ++k) {
            const double f = m[k][i] / m[i][i];
            for (int j = 0; j < 3; ++j)
                m[k][j] -= f * m[i][j];
            v[k] -= f * v[i];
        }
    }
    double c[3];
    for (int i = 2; i >= 0; --i) {
        double s = v[i];
        for (int j = i + 1; j < 3; ++j)
            s -= m[i][j] * c[j];
        c[i] = s / m[i][i];
    }
    double signal = 0, noise = 0;
    for (size_t n = begin; n < end; ++n) {
        const double w = 2 * M_PI * frequency * static_cast<double>(n) / rate;
        const double fit = c[0] * std::sin(w) + c[1] * std::cos(w);
        signal += fit * fit;
        const double e = x[n] - fit - c[2];
        noise += e * e;
    }
    return 10 * std::log10(signal / std::max(noise, 1e-30));
}

int bestDelay(const std::vector<double> &source, const std::vector<double> &decoded, int maxDelay)
{
    int best = 0;
    double bestScore = -1e300;
    const size_t n = std::min(source.size(), decoded.size() > static_cast<size_t>(maxDelay) ? decoded.size() - static_cast<size_t>(maxDelay) : 0);
    for (int d = 0; d <= maxDelay; ++d) {
        double s = 0;
        for (size_t i = 0; i < n; ++i)
            s += source[i] * decoded[i + static_cast<size_t>(d)];
        if (s > bestScore) {
            bestScore = s;
            best = d;
        }
    }
    return best;
}

namespace {

void fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> wl(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t j = 0; j < len / 2; ++j) {
                const auto u = a[i + j], v = a[i + j + len / 2] * w;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

} // namespace

std::vector<double> bandEnergiesDb(const std::vector<double> &x, size_t begin, size_t length, double rate,
                                   const std::vector<double> &edges)
{
    // Averaged periodograms of Hann-windowed blocks.
    constexpr size_t Block = 1024;
    std::vector<double> power(Block / 2, 0.0);
    for (size_t start = begin; start + Block <= begin + length && start + Block <= x.size(); start += Block / 2) {
        std::vector<std::complex<double>> a(Block);
        for (size_t i = 0; i < Block; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / Block);
            a[i] = x[start + i] * w;
        }
        fft(a);
        for (size_t k = 0; k < Block / 2; ++k)
            power[k] += std::norm(a[k]);
    }
    std::vector<double> bands;
    for (size_t b = 0; b + 1 < edges.size(); ++b) {
        double e = 1e-30;
        for (size_t k = 0; k < Block / 2; ++k) {
            const double f = static_cast<double>(k) * rate / Block;
            if (f >= edges[b] && f < edges[b + 1])
                e += power[k];
        }
        bands.push_back(10 * std::log10(e));
    }
    return bands;
}

std::vector<double> rawToDoubles(const std::vector<uint8_t> &raw)
{
    std::vector<double> out(raw.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8) / 32768.0;
    return out;
}
