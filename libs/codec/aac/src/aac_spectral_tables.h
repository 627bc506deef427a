// Constant tables of the AAC spectral tools. The inverse-quantisation tables are
// computed at compile time from their formulas; the others are the standard's.
#pragma once

#include <array>
#include <cstdint>

namespace AacSpectralTables {

namespace detail {

// Cube root by Newton's method (compile time; x in [0.5, 4]).
constexpr double cbrt(double x)
{
    double y = 1.0;
    for (int i = 0; i < 60; ++i)
        y -= (y * y * y - x) / (3.0 * y * y);
    return y;
}

// 2^(n / 12) for n = 0..11 from the twelfth root of two (Newton on y^12 = 2).
constexpr double twelfthPower(int n)
{
    double r = 1.0;
    for (int i = 0; i < 60; ++i) {
        double p = 1.0;
        for (int k = 0; k < 11; ++k)
            p *= r;
        r -= (p * r - 2.0) / (12.0 * p);
    }
    double v = 1.0;
    for (int k = 0; k < n; ++k)
        v *= r;
    return v;
}

constexpr int64_t roundToInt(double x)
{
    return x >= 0 ? static_cast<int64_t>(x + 0.5) : -static_cast<int64_t>(-x + 0.5);
}

constexpr std::array<uint32_t, 257> powerTable()
{
    std::array<uint32_t, 257> p{};
    // 2^(26 - 1/3)
    const double scale = 67108864.0 / cbrt(2.0);
    for (int i = 0; i < 256; ++i) {
        const double x = 1.0 + i / 256.0;
        p[i] = static_cast<uint32_t>(roundToInt(x * cbrt(x) * scale));
    }
    p[256] = (1u << 27) - 1;
    return p;
}

struct ScaleTables
{
    int32_t mantissa[4][14];
    int8_t exponent[4][14];
};

constexpr ScaleTables scaleTables()
{
    ScaleTables t{};
    for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 14; ++k) {
            // 2^(4k/3 + q/4) = 2^((16k + 3q) / 12)
            const int twelfths = 16 * k + 3 * q;
            const int whole = twelfths / 12;
            const double fraction = twelfthPower(twelfths % 12); // in [1, 2)
            // Mantissa in [0.5, 1): exponent = whole + 1.
            const double m = fraction / 2.0;
            t.mantissa[q][k] = static_cast<int32_t>(roundToInt(m * 16777216.0) << 7);
            t.exponent[q][k] = static_cast<int8_t>(whole + 1);
        }
    return t;
}

} // namespace detail

// P[i] = (1 + i/256)^(4/3) * 2^(26 - 1/3), P[256] = 2^27 - 1: |q|^(4/3) by interpolation.
inline constexpr std::array<uint32_t, 257> inverseQuantPower = detail::powerTable();
// M[q][k] * 2^E[q][k] = 2^(4k/3) * 2^(q/4), M in [0.5, 1) as Q31 rounded to 24 bits.
inline constexpr detail::ScaleTables inverseQuantScale = detail::scaleTables();

// Intensity factor 0.5 * 2^(r/4), r = 0..3, Q31.
inline constexpr int32_t intensityFactor[4] = {0x40000000, 0x4C1BF800, 0x5A827980, 0x6BA27E80};

// TNS_MAX_BANDS of the low-complexity profile by sampling-frequency index 0..12:
// [0] long windows (1024 lines), [1] short windows.
inline constexpr uint8_t tnsMaxBands[13][2] = {
    {31, 9},  {31, 9},  {34, 10}, {40, 14}, {42, 14}, {51, 14}, {46, 14},
    {46, 14}, {42, 14}, {42, 14}, {42, 14}, {39, 14}, {39, 14},
};

// TNS reflection coefficients (Q31) by quantised value for 3- and 4-bit resolution:
// index value + 4 (3 bits, -4..3) or value + 8 (4 bits, -8..7).
extern const int32_t tnsCoefficient3[8];
extern const int32_t tnsCoefficient4[16];

} // namespace AacSpectralTables
