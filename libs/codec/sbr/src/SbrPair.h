// Values held as a Q31 mantissa with a power-of-two exponent (m · 2^e), and the few
// operations the SBR gain and level computations need on them.
#ifndef SBR_PAIR_H
#define SBR_PAIR_H

#include "RezTools.h"

#include <stdint.h>
#include <algorithm>
#include <utility>

namespace sbr {

// A value m · 2^e, m a Q31 mantissa.
struct Pair {
    int32_t m = 0;
    int e = 0;
};

inline Pair normalised(int64_t m, int e)
{
    if (m == 0)
        return {};
    while (m > INT32_MAX || m < -INT32_MAX) {
        m >>= 1;
        ++e;
    }
    const int n = RezTools_Norm(static_cast<int32_t>(m));
    const int32_t shifted = static_cast<int32_t>(static_cast<uint32_t>(m) << n);
    // -1.0 is kept as -0.5 · 2 so that every mantissa can be negated.
    return shifted == INT32_MIN ? Pair{-0x40000000, e - n + 1} : Pair{shifted, e - n};
}

inline Pair product(Pair a, Pair b)
{
    int e = 0;
    const int32_t m = RezTools_MultiplyNormalized(a.m, b.m, &e);
    return m == 0 ? Pair{} : normalised(m, e + a.e + b.e);
}

inline Pair quotient(Pair a, Pair b)
{
    int e = 0;
    const int32_t m = RezTools_DivideNormalized(a.m, b.m, &e);
    return m == 0 ? Pair{} : normalised(m, e + a.e - b.e);
}

inline Pair sum(Pair a, Pair b)
{
    if (a.m == 0)
        return b;
    if (b.m == 0)
        return a;
    if (a.e < b.e)
        std::swap(a, b);
    const int shift = a.e - b.e;
    const int64_t small = shift > 62 ? 0 : (int64_t{b.m} >> shift);
    return normalised(int64_t{a.m} + small, a.e);
}

inline bool greater(Pair a, Pair b)
{
    if (a.m <= 0 || b.m <= 0)
        return a.m > b.m;
    return a.e != b.e ? a.e > b.e : a.m > b.m;
}

inline Pair negated(Pair a) { return {-a.m, a.e}; }

// |a| > |b|.
inline bool largerMagnitude(Pair a, Pair b)
{
    const Pair ma{a.m < 0 ? -a.m : a.m, a.e}, mb{b.m < 0 ? -b.m : b.m, b.e};
    return greater(ma, mb);
}

// 1.0
constexpr Pair One{0x40000000, 1};

// A sample word from a wider value, saturated symmetrically.
inline int32_t saturatedWord(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -INT32_MAX, INT32_MAX)); }

// v · 2^shift as a saturated sample word.
inline int32_t shiftedWord(int64_t v, int shift)
{
    if (v == 0)
        return 0;
    if (shift <= 0)
        return saturatedWord(shift <= -63 ? (v < 0 ? -1 : 0) : v >> -shift);
    if (shift >= 32)
        return v < 0 ? -INT32_MAX : INT32_MAX;
    const int64_t limit = int64_t{INT32_MAX} >> shift;
    return v > limit ? INT32_MAX : (v < -limit ? -INT32_MAX : static_cast<int32_t>(v * (int64_t{1} << shift)));
}

// Square root of x ≥ 0 for tables built at compile time.
constexpr double tableSquareRoot(double x)
{
    double r = x > 1 ? x : 1;
    for (int i = 0; i < 40; ++i)
        r = 0.5 * (r + x / r);
    return r;
}

} // namespace sbr

#endif
