// DCT-II/III/IV and DST-III/IV against double precision, the sine table lookup and the
// lattice filter against a double all-pole filter.
#include "RezFft_tables.h"
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using Kernel = std::function<double(int n, int k, int length)>;

struct Transform {
    const char *name;
    std::function<void(int32_t *, int32_t *, int, int *)> run;
    Kernel kernel;
    std::vector<int> lengths;
};

// The FFT's shift for a length, as RezTools_Fft reports it.
int fftShift(int length)
{
    std::vector<int32_t> data(2 * static_cast<size_t>(length) + 2);
    int scale = 0;
    RezTools_Fft(length, data.data(), &scale);
    return scale;
}

const std::vector<int> IvLengths = {4, 8, 16, 32, 64, 128, 256, 512, 1024, 12, 24, 48, 96, 192, 384, 768,
                                    20, 40, 80, 160, 320, 30, 60, 120, 240, 960};
const std::vector<int> IiLengths = {4, 8, 16, 32, 64, 128, 256, 512, 1024, 12, 24, 48, 96, 192, 384,
                                    20, 40, 80, 160, 60, 120, 240};

const Transform Transforms[] = {
    {"DCT-IV", [](int32_t *x, int32_t *, int l, int *s) { RezTools_DctIV(x, l, s); },
     [](int n, int k, int l) { return std::cos(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }, IvLengths},
    {"DST-IV", [](int32_t *x, int32_t *, int l, int *s) { RezTools_DstIV(x, l, s); },
     [](int n, int k, int l) { return std::sin(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }, IvLengths},
    {"DCT-II", [](int32_t *x, int32_t *w, int l, int *s) { RezTools_DctII(x, w, l, s); },
     [](int n, int k, int l) { return std::cos(M_PI * (2 * n + 1) * k / (2.0 * l)); }, IiLengths},
    {"DCT-III", [](int32_t *x, int32_t *w, int l, int *s) { RezTools_DctIII(x, w, l, s); },
     [](int n, int k, int l) { return std::cos(M_PI * n * (2 * k + 1) / (2.0 * l)); }, IiLengths},
    {"DST-III", [](int32_t *x, int32_t *w, int l, int *s) { RezTools_DstIII(x, w, l, s); },
     [](int n, int k, int l) { return std::sin(M_PI * (n + 1) * (2 * k + 1) / (2.0 * l)); }, IiLengths},
};

TEST(Dct, MatchesDoubleForEveryLength)
{
    std::mt19937 rng(116);
    for (const Transform &t : Transforms) {
        for (int length : t.lengths) {
            const int shift = fftShift(length / 2) + 2;
            const double amplitude = std::ldexp(1.0, 30) * std::min(1.0, std::ldexp(1.0, shift) / length);
            std::uniform_real_distribution<double> value(-amplitude, amplitude);
            std::vector<int32_t> data(static_cast<size_t>(length)), work(static_cast<size_t>(length));
            for (int32_t &v : data)
                v = static_cast<int32_t>(value(rng));
            std::vector<double> expected(static_cast<size_t>(length));
            for (int k = 0; k < length; ++k) {
                double sum = 0;
                for (int n = 0; n < length; ++n)
                    sum += data[n] * t.kernel(n, k, length);
                expected[k] = std::ldexp(sum, -shift);
            }
            int scale = -3;
            t.run(data.data(), work.data(), length, &scale);
            ASSERT_EQ(scale, -3 + shift) << t.name << " " << length;
            double worst = 0, power = 0;
            for (int k = 0; k < length; ++k) {
                worst = std::max(worst, std::abs(data[k] - expected[k]));
                power += expected[k] * expected[k];
            }
            const double rms = std::sqrt(power / length);
            EXPECT_LT(worst / rms, 1.0 / 4096) << t.name << " " << length << " worst " << worst << " rms " << rms;
        }
    }
}

TEST(Dct, ShortLengths)
{
    struct Row {
        const char *name;
        void (*run)(int32_t *, int, int *);
        int length;
        int increment;
        double (*kernel)(int, int, int);
    };
    const Row rows[] = {
        {"DCT-IV 2", RezTools_DctIV, 2, 1, [](int n, int k, int l) { return std::cos(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }},
        {"DST-IV 2", RezTools_DstIV, 2, 1, [](int n, int k, int l) { return std::sin(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }},
        {"DCT-IV 3", RezTools_DctIV, 3, 2, [](int n, int k, int l) { return std::cos(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }},
        {"DST-IV 3", RezTools_DstIV, 3, 2, [](int n, int k, int l) { return std::sin(M_PI * (2 * n + 1) * (2 * k + 1) / (4.0 * l)); }},
    };
    for (const Row &row : rows) {
        int32_t data[3] = {0x30000000, -0x12345678, 0x0FEDCBA9};
        double expected[3];
        for (int k = 0; k < row.length; ++k) {
            expected[k] = 0;
            for (int n = 0; n < row.length; ++n)
                expected[k] += data[n] * row.kernel(n, k, row.length);
            expected[k] = std::ldexp(expected[k], -row.increment);
        }
        int scale = 0;
        row.run(data, row.length, &scale);
        EXPECT_EQ(scale, row.increment) << row.name;
        for (int k = 0; k < row.length; ++k)
            EXPECT_NEAR(data[k], expected[k], 1e-4 * 0x30000000) << row.name << " " << k;
    }
}

TEST(Dct, ImpulseThroughDctIv64)
{
    std::vector<int32_t> data(64);
    data[0] = 0x7FFFFFFF;
    int scale = 0;
    RezTools_DctIV(data.data(), 64, &scale);
    EXPECT_EQ(scale, 6);
    for (int k = 0; k < 64; ++k)
        EXPECT_NEAR(data[k], std::cos(M_PI * (2 * k + 1) / 256.0) * 0x7FFFFFFF / 64, 0x7FFFFFFF / 64 / 4096.0) << k;
}

TEST(Dct, DctIiiThenDctIiScalesByLength)
{
    for (int length : {16, 64, 12, 20, 120}) {
        std::mt19937 rng(length);
        std::uniform_int_distribution<int32_t> value(-(1 << 22), 1 << 22);
        std::vector<int32_t> x(static_cast<size_t>(length)), work(static_cast<size_t>(length));
        for (int32_t &v : x)
            v = value(rng);
        std::vector<int32_t> y = x;
        int scale = 0;
        RezTools_DctIII(y.data(), work.data(), length, &scale);
        RezTools_DctII(y.data(), work.data(), length, &scale);
        for (int i = 0; i < length; ++i) {
            const double expected = std::ldexp(static_cast<double>(x[i]) * (i == 0 ? length : length / 2.0), -scale);
            // The 5 x 2^k lengths shift their input down by 5 at once and lose the most.
            ASSERT_NEAR(y[i], expected, 4e-3 * (1 << 22) * length * std::ldexp(1.0, -scale) + 4) << length << " " << i;
        }
    }
}

TEST(Dct, UnsupportedLengthsDoNothing)
{
    for (int length : {5, 6, 7, 10, 15, 36, 480, 2048}) {
        std::vector<int32_t> data(2048, 777), work(2048);
        int scale = 4;
        RezTools_DctII(data.data(), work.data(), length, &scale);
        RezTools_DctIII(data.data(), work.data(), length, &scale);
        EXPECT_EQ(scale, 4) << length;
        for (int32_t v : data)
            ASSERT_EQ(v, 777) << length;
    }
}

TEST(Dct, SineTableLookup)
{
    struct Row {
        int length;
        const uint32_t *sine;
        int step;
        bool hasRotation;
    };
    const Row rows[] = {
        {64, RezTools_SineTable4096, 32, true},   {1024, RezTools_SineTable4096, 2, true},
        {960, RezTools_SineTable1920, 1, true},   {480, RezTools_SineTable1920, 2, false},
        {768, RezTools_SineTable1536, 1, true},   {12, RezTools_SineTable1536, 64, true},
        {20, RezTools_SineTable640, 16, true},    {320, RezTools_SineTable640, 1, true},
        {3, nullptr, 0, false},                   {7, nullptr, 0, false},
        {4096, nullptr, 0, false},
    };
    for (const Row &row : rows) {
        const uint32_t *rotation = reinterpret_cast<const uint32_t *>(1), *sine = nullptr;
        int step = -1;
        RezTools_GetSineTable(&rotation, &sine, &step, row.length);
        EXPECT_EQ(sine, row.sine) << row.length;
        EXPECT_EQ(step, row.step) << row.length;
        EXPECT_EQ(rotation != nullptr, row.hasRotation) << row.length;
        if (!sine)
            continue;
        // Entry i * step holds the angle i pi / length.
        const int i = row.length / 8;
        const double angle = M_PI * i / row.length;
        EXPECT_NEAR(static_cast<int16_t>(sine[i * step] & 0xFFFF), 32768 * std::cos(angle), 1.0) << row.length;
        EXPECT_NEAR(static_cast<int16_t>(sine[i * step] >> 16), 32768 * std::sin(angle), 1.0) << row.length;
        if (rotation) {
            for (int e = 0; e < row.length / 2; ++e) {
                const double a = M_PI * (2 * e + 1) / (4.0 * row.length);
                ASSERT_NEAR(static_cast<int16_t>(rotation[e] & 0xFFFF), 32768 * std::cos(a), 1.0) << row.length;
                ASSERT_NEAR(static_cast<int16_t>(rotation[e] >> 16), 32768 * std::sin(a), 1.0) << row.length;
            }
        }
    }
    const uint32_t *sine = nullptr;
    int step = 0;
    RezTools_GetSineTable(nullptr, &sine, &step, 128);
    EXPECT_EQ(sine, RezTools_SineTable4096);
}

TEST(Dct, ComplexRotatePacked)
{
    int32_t re = 0, im = 0;
    // 90 degrees: (re, im) -> (-im, re), halved.
    RezTools_ComplexRotatePacked(&re, &im, 1 << 30, 1 << 28, 0x7FFF0000u);
    EXPECT_NEAR(re, -(1 << 27), 1 << 13);
    EXPECT_NEAR(im, 1 << 29, 1 << 15);
}

// A double all-pole lattice filter with the same reflection coefficients and state.
struct DoubleLattice {
    std::vector<double> k, s;
    double filter(double x)
    {
        const int order = static_cast<int>(k.size());
        double acc = x - k[order - 1] * s[order - 1];
        for (int i = order - 2; i >= 0; --i) {
            acc -= k[i] * s[i];
            s[i + 1] = s[i] + k[i] * acc;
        }
        s[0] = acc;
        return acc;
    }
};

TEST(Lattice, MatchesDoubleAllPoleFilter)
{
    struct Row {
        const char *name;
        int order, step, inShift, outShift;
    };
    const Row rows[] = {
        {"order 1 forward", 1, 1, 0, 0},
        {"order 8 forward", 8, 1, 2, 2},
        {"order 12 backward", 12, -1, 0, 0},
        {"order 20 stride 2", 20, 2, -1, -1},
    };
    std::mt19937 rng(150);
    for (const Row &row : rows) {
        std::uniform_real_distribution<double> reflection(-0.6, 0.6);
        std::vector<int32_t> coef(static_cast<size_t>(row.order)), state(static_cast<size_t>(row.order));
        DoubleLattice reference;
        for (int i = 0; i < row.order; ++i) {
            coef[i] = static_cast<int32_t>(reflection(rng) * 2147483648.0);
            reference.k.push_back(coef[i] / 2147483648.0);
        }
        reference.s.assign(static_cast<size_t>(row.order), 0.0);
        constexpr int Count = 64;
        const int span = row.step > 0 ? row.step * Count : Count;
        std::vector<int32_t> data(static_cast<size_t>(span));
        std::uniform_int_distribution<int32_t> value(-(1 << 20), 1 << 20);
        for (int32_t &v : data)
            v = value(rng);
        const std::vector<int32_t> input = data;
        RezTools_LatticeFilter(data.data(), Count, row.inShift, row.outShift, row.step, coef.data(), row.order,
                               state.data());
        for (int i = 0; i < Count; ++i) {
            const int index = row.step == -1 ? Count - 1 - i : i * row.step;
            const int32_t in = row.inShift > 0 ? input[index] << row.inShift : input[index] >> -row.inShift;
            const double expected = std::ldexp(reference.filter(in), -row.outShift);
            // Each stage truncates its products: a few units per stage, 2^-12 of the input range.
            const double bound = std::ldexp((1 << 20) / 4096.0 + 4.0 * row.order, -row.outShift);
            ASSERT_NEAR(data[index], expected, bound) << row.name << " sample " << i;
        }
        if (row.step == 2) {
            for (int i = 1; i < span; i += 2)
                ASSERT_EQ(data[i], input[i]) << row.name;
        }
    }
}

TEST(Lattice, OrderOneKeepsAccumulatorAsState)
{
    int32_t data[2] = {1000, 0};
    int32_t coef = 0x40000000, state = 500;
    RezTools_LatticeFilter(data, 1, 0, 0, 2, &coef, 1, &state);
    // acc = 1000 - 0.5 * 500
    EXPECT_EQ(state, 750);
    EXPECT_EQ(data[0], 750);
    RezTools_LatticeFilter(data, 0, 0, 0, 1, &coef, 1, &state);
    EXPECT_EQ(state, 750);
}

} // namespace
