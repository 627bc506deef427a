#include "ToneLevel.h"

#include <algorithm>
#include <cmath>

double toneLevel(const int16_t *samples, std::size_t count, std::size_t stride, double frequency, double sampleRate)
{
    if (count == 0)
        return 0;
    const double c = 2 * std::cos(2 * std::acos(-1.0) * frequency / sampleRate);
    double s1 = 0, s2 = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const double s0 = samples[n * stride] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / double(count);
}
