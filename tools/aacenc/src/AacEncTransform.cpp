#include "AacEncTransform.h"

#include <cmath>
#include <map>
#include <mutex>

namespace ZozTestAac {

namespace {

// Zeroth-order modified Bessel function of the first kind, by its power series.
double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 100; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17)
            break;
    }
    return sum;
}

std::vector<double> makeSlope(int shape, int length)
{
    const int half = length / 2;
    std::vector<double> slope(half);
    if (shape == 0) {
        for (int n = 0; n < half; ++n)
            slope[n] = std::sin(M_PI / length * (n + 0.5));
        return slope;
    }
    const double alpha = length <= 256 ? 6.0 : 4.0;
    // Kaiser kernel over 0..N/2, then the running sum of it, normalised, square-rooted.
    std::vector<double> kernel(half + 1);
    for (int n = 0; n <= half; ++n) {
        const double r = (n - length / 4.0) / (length / 4.0);
        kernel[n] = besselI0(M_PI * alpha * std::sqrt(std::max(0.0, 1.0 - r * r)));
    }
    double total = 0;
    for (double k : kernel)
        total += k;
    double running = 0;
    for (int n = 0; n < half; ++n) {
        running += kernel[n];
        slope[n] = std::sqrt(running / total);
    }
    return slope;
}

const std::vector<double> &cosineTable(int lines)
{
    static std::mutex mutex;
    static std::map<int, std::vector<double>> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto &table = tables[lines];
    if (table.empty()) {
        const int n = 2 * lines;
        const double n0 = (n / 2 + 1) / 2.0;
        table.resize(static_cast<size_t>(n) * lines);
        for (int k = 0; k < lines; ++k)
            for (int i = 0; i < n; ++i)
                table[static_cast<size_t>(k) * n + i] = std::cos(2.0 * M_PI / n * (i + n0) * (k + 0.5));
    }
    return table;
}

} // namespace

const std::vector<double> &windowSlope(int shape, int length)
{
    static std::mutex mutex;
    static std::map<std::pair<int, int>, std::vector<double>> slopes;
    std::lock_guard<std::mutex> lock(mutex);
    auto &slope = slopes[{shape, length}];
    if (slope.empty())
        slope = makeSlope(shape, length);
    return slope;
}

void forwardMdct(const double *input, int lines, double *spectrum)
{
    const std::vector<double> &table = cosineTable(lines);
    const int n = 2 * lines;
    for (int k = 0; k < lines; ++k) {
        const double *c = &table[static_cast<size_t>(k) * n];
        double sum = 0;
        for (int i = 0; i < n; ++i)
            sum += input[i] * c[i];
        spectrum[k] = 2.0 * sum;
    }
}

void analyseBlock(const double *block, int frameLength, WindowSequence sequence, int previousShape, int shape,
                  double *spectrum)
{
    const int L = frameLength, S = frameLength / 8;
    const std::vector<double> &longLeft = windowSlope(previousShape, 2 * L);
    const std::vector<double> &longRight = windowSlope(shape, 2 * L);
    const std::vector<double> &shortLeft = windowSlope(previousShape, 2 * S);
    const std::vector<double> &shortRight = windowSlope(shape, 2 * S);
    const int flat = (L - S) / 2; // samples of ones (and of zeros) beside a short slope
    std::vector<double> windowed(2 * L);

    if (sequence == WindowSequence::EightShort) {
        std::vector<double> shortBlock(2 * S);
        for (int w = 0; w < 8; ++w) {
            const double *in = block + flat + w * S;
            const std::vector<double> &rise = w == 0 ? shortLeft : shortRight;
            for (int n = 0; n < S; ++n) {
                shortBlock[n] = in[n] * rise[n];
                shortBlock[2 * S - 1 - n] = in[2 * S - 1 - n] * shortRight[n];
            }
            forwardMdct(shortBlock.data(), S, spectrum + w * S);
        }
        return;
    }
    for (int n = 0; n < L; ++n) {
        double left;
        if (sequence == WindowSequence::LongStop)
            left = n < flat ? 0.0 : n < flat + S ? shortLeft[n - flat] : 1.0;
        else
            left = longLeft[n];
        double right; // falling half, index from the end
        const int m = L - 1 - n;
        if (sequence == WindowSequence::LongStart)
            right = m < flat ? 0.0 : m < flat + S ? shortRight[m - flat] : 1.0;
        else
            right = longRight[m];
        windowed[n] = block[n] * left;
        windowed[L + n] = block[L + n] * right;
    }
    forwardMdct(windowed.data(), L, spectrum);
}

} // namespace ZozTestAac
