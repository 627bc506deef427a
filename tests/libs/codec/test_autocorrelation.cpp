// Second-order autocorrelation against double-precision sums.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

struct Sums {
    double r00 = 0, r11 = 0, r22 = 0;
    std::complex<double> r01, r02, r12;
};

// Sums in Q31 units of Q31 samples (x points at time 0, valid from -2).
Sums reference(const int32_t *re, const int32_t *im, int n)
{
    auto x = [&](int j) { return std::complex<double>(re[j], im ? im[j] : 0) / 2147483648.0; };
    Sums s;
    for (int j = 0; j < n; ++j)
        s.r00 += std::norm(x(j));
    for (int j = -1; j <= n - 2; ++j) {
        s.r11 += std::norm(x(j));
        s.r01 += x(j + 1) * std::conj(x(j));
    }
    for (int j = -2; j <= n - 3; ++j) {
        s.r22 += std::norm(x(j));
        s.r12 += x(j + 1) * std::conj(x(j));
        s.r02 += x(j + 2) * std::conj(x(j));
    }
    return s;
}

constexpr double Q31 = 2147483648.0;

TEST(AutoCorrelation, ComplexMatchesDouble)
{
    std::mt19937 rng(117);
    for (int n : {1, 2, 16, 38, 64, 65, 128}) {
        std::uniform_int_distribution<int32_t> value(-(1 << 29), 1 << 29);
        std::vector<int32_t> re(static_cast<size_t>(n) + 2), im(static_cast<size_t>(n) + 2);
        for (size_t i = 0; i < re.size(); ++i) {
            re[i] = value(rng);
            im[i] = value(rng);
        }
        const Sums s = reference(re.data() + 2, im.data() + 2, n);
        RezAutoCorrelation ac{};
        const int e = RezTools_AutoCorrelationComplex(&ac, re.data() + 2, im.data() + 2, n);
        const double unit = std::ldexp(1.0, -e) / Q31; // stored word -> true value
        // Each term loses at most one unit of its shifted sum and one of each product.
        const double tolerance = (n + 2) * (std::ldexp(1.0, n < 65 ? 5 : 6) + 2) * std::ldexp(1.0, -30) + 4 * unit;
        struct Field {
            const char *name;
            int32_t stored;
            double expected;
        };
        const Field fields[] = {{"r00", ac.r00, s.r00},          {"r11", ac.r11, s.r11},
                                {"r22", ac.r22, s.r22},          {"r01", ac.r01, s.r01.real()},
                                {"r02", ac.r02, s.r02.real()},   {"r12", ac.r12, s.r12.real()},
                                {"r01i", ac.r01Imag, s.r01.imag()}, {"r02i", ac.r02Imag, s.r02.imag()},
                                {"r12i", ac.r12Imag, s.r12.imag()}};
        for (const Field &f : fields)
            EXPECT_NEAR(f.stored * unit, f.expected, tolerance) << f.name << " n " << n;
        const double r11 = ac.r11 / Q31, r22 = ac.r22 / Q31, r12 = ac.r12 / Q31, r12i = ac.r12Imag / Q31;
        const double det = (r11 * r22 - r12 * r12 - r12i * r12i) * Q31;
        EXPECT_NEAR(std::ldexp(static_cast<double>(ac.detMantissa), -ac.detExponent), det, std::abs(det) * 1e-6 + 4)
            << n;
    }
}

TEST(AutoCorrelation, RealMatchesDouble)
{
    std::mt19937 rng(118);
    for (int n : {2, 4, 16, 38, 64}) {
        std::uniform_int_distribution<int32_t> value(-(1 << 29), 1 << 29);
        std::vector<int32_t> x(static_cast<size_t>(n) + 2);
        for (int32_t &v : x)
            v = value(rng);
        const Sums s = reference(x.data() + 2, nullptr, n);
        RezAutoCorrelation ac{};
        ac.r00 = 1234;
        ac.r01Imag = 99;
        const int e = RezTools_AutoCorrelationReal(&ac, x.data() + 2, n);
        const double unit = std::ldexp(1.0, -e) / Q31;
        const double tolerance = (n + 2) * (std::ldexp(1.0, 5) + 2) * std::ldexp(1.0, -30) + 4 * unit;
        EXPECT_NEAR(ac.r11 * unit, s.r11, tolerance) << n;
        EXPECT_NEAR(ac.r22 * unit, s.r22, tolerance) << n;
        EXPECT_NEAR(ac.r01 * unit, s.r01.real(), tolerance) << n;
        EXPECT_NEAR(ac.r02 * unit, s.r02.real(), tolerance) << n;
        EXPECT_NEAR(ac.r12 * unit, s.r12.real(), tolerance) << n;
        EXPECT_EQ(ac.r00, 1234);
        EXPECT_EQ(ac.r01Imag, 99);
        const double det = (ac.r11 / Q31 * (ac.r22 / Q31) - (ac.r12 / Q31) * (ac.r12 / Q31)) * Q31;
        EXPECT_NEAR(std::ldexp(static_cast<double>(ac.detMantissa), -ac.detExponent), det, std::abs(det) * 1e-6 + 4)
            << n;
    }
}

TEST(AutoCorrelation, ZeroInput)
{
    std::vector<int32_t> zeros(130);
    RezAutoCorrelation ac{};
    EXPECT_EQ(RezTools_AutoCorrelationComplex(&ac, zeros.data() + 2, zeros.data() + 2, 64), 25);
    EXPECT_EQ(ac.detMantissa, 0);
    EXPECT_EQ(ac.detExponent, 29);
    EXPECT_EQ(RezTools_AutoCorrelationComplex(&ac, zeros.data() + 2, zeros.data() + 2, 65), 24);
    EXPECT_EQ(RezTools_AutoCorrelationReal(&ac, zeros.data() + 2, 64), 25);
    EXPECT_EQ(ac.detMantissa, 0);
    EXPECT_EQ(ac.detExponent, -1);
    EXPECT_EQ(ac.r11, 0);
}

TEST(AutoCorrelation, ConstantRealSequence)
{
    std::vector<int32_t> x(34, 1 << 24);
    RezAutoCorrelation ac{};
    RezTools_AutoCorrelationReal(&ac, x.data() + 2, 32);
    EXPECT_EQ(ac.r01, ac.r11);
    EXPECT_EQ(ac.r02, ac.r11);
    EXPECT_EQ(ac.r12, ac.r11);
    EXPECT_EQ(ac.r22, ac.r11);
    EXPECT_EQ(ac.detMantissa, 0);
    // The same samples as a complex sequence with zero imaginary parts.
    std::vector<int32_t> im(34);
    RezTools_AutoCorrelationComplex(&ac, x.data() + 2, im.data() + 2, 32);
    EXPECT_EQ(ac.r01Imag, 0);
    EXPECT_EQ(ac.r02Imag, 0);
    EXPECT_EQ(ac.r12Imag, 0);
}

} // namespace
