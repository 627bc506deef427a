// Q31 fixed-point arithmetic with separate exponents.
#include "RezTools.h"
#include "RezTools_tables.h"

#include <climits>
#include <cstring>

namespace {

constexpr int32_t Max = INT32_MAX;
constexpr int32_t MinSaturated = INT32_MIN + 1; // overflows never produce 0x80000000
constexpr int64_t One = int64_t{1} << 31;        // 1.0 in Q31, one past the largest word

// -1/k, k = 1..10, in Q15: the series of ln(1 - z).
constexpr int16_t LogSeries[10] = {-32768, -16384, -10923, -8192, -6554, -5461, -4681, -4096, -3641, -3277};
// (ln 2)^k / k!, k = 1..5, in Q15: the series of 2^f.
constexpr int16_t ExpSeries[5] = {22713, 7872, 1819, 315, 44};
// 1/ln 2 - 1 as a 32-bit fraction.
constexpr int64_t InvLn2MinusOne = 0x71547653;

inline int32_t fromBits(uint32_t bits)
{
    int32_t v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Left shift without the undefined behaviour of shifting signed values.
inline int32_t shiftLeft(int32_t x, int s)
{
    return fromBits(static_cast<uint32_t>(x) << s);
}

// A 16-bit coefficient times a Q31 value: the upper word of the product with the
// coefficient in the upper half-word.
inline int32_t mulQ15(int16_t coefficient, int32_t x)
{
    return static_cast<int32_t>((int64_t{coefficient} * x) >> 16);
}

// Shifts by s (left when positive) with a saturating left shift.
int32_t scaleBy(int32_t m, int s)
{
    if (s >= 0)
        return RezTools_ScaleValueSaturate(m, s > 31 ? 31 : s);
    return m >> (-s > 31 ? 31 : -s);
}

inline int32_t saturatedElement(int32_t x, int s)
{
    const int32_t v = RezTools_ScaleValueSaturate(x, s);
    return v == INT32_MIN ? MinSaturated : v;
}

inline int clampShift(int s)
{
    return s < -31 ? -31 : (s > 31 ? 31 : s);
}

} // namespace

extern "C" {

int RezTools_Norm(int32_t x)
{
    const uint32_t magnitude = static_cast<uint32_t>(x ^ (x >> 31));
    return magnitude ? __builtin_clz(magnitude) - 1 : 31;
}

int32_t RezTools_MulQ31(int32_t a, int32_t b)
{
    const int64_t high = (int64_t{a} * b) >> 32;
    return fromBits(static_cast<uint32_t>(high) << 1);
}

int32_t RezTools_MultiplyNormalized(int32_t a, int32_t b, int *e)
{
    if (a == 0 || b == 0) {
        *e = 0;
        return 0;
    }
    const int na = RezTools_Norm(a), nb = RezTools_Norm(b);
    const int32_t an = shiftLeft(a, na), bn = shiftLeft(b, nb);
    if (an == INT32_MIN && bn == INT32_MIN) {
        *e = 1 - na - nb;
        return 0x40000000;
    }
    *e = -(na + nb);
    return RezTools_MulQ31(an, bn);
}

int32_t RezTools_DivideNormalized(int32_t a, int32_t b, int *e)
{
    if (a == 0) {
        *e = 0;
        return 0;
    }
    if (b == 0) { // no quotient: the largest value rather than a division fault
        *e = 31;
        return a > 0 ? Max : MinSaturated;
    }
    const int na = RezTools_Norm(a), nb = RezTools_Norm(b);
    const int32_t an = shiftLeft(a, na), bn = shiftLeft(b, nb);
    // The dividend is halved first, so the quotient stays below 1.0 in magnitude
    // and equal operands come out as exactly 0.5 with one more in the exponent.
    *e = 2 - (na + 1) + nb;
    return static_cast<int32_t>((int64_t{an >> 1} * One) / bn);
}

int32_t RezTools_DivideSigned(int32_t a, int32_t b, int *e)
{
    if (b == 0) {
        *e = 14;
        return Max;
    }
    if (a == 0) {
        *e = 0;
        return 0;
    }
    const bool negative = (a < 0) != (b < 0);
    const uint32_t ma = a < 0 ? 0u - static_cast<uint32_t>(a) : static_cast<uint32_t>(a);
    const uint32_t mb = b < 0 ? 0u - static_cast<uint32_t>(b) : static_cast<uint32_t>(b);
    const int ca = __builtin_clz(ma), cb = __builtin_clz(mb);
    const uint32_t an = ma << ca, bn = mb << cb;
    if (an == bn) {
        *e = cb - ca;
        return negative ? MinSaturated : Max;
    }
    const int64_t quotient = (int64_t{an >> 2} * One) / (bn >> 1);
    *e = 1 - ca + cb;
    return static_cast<int32_t>(negative ? -quotient : quotient);
}

int32_t RezTools_Divide(int32_t a, int32_t b)
{
    int e;
    const int32_t m = RezTools_DivideNormalized(a, b, &e);
    return scaleBy(m, e);
}

int32_t RezTools_MultiplyCeil(int32_t a, int32_t b)
{
    int e;
    const int32_t m = RezTools_MultiplyNormalized(a, b, &e);
    if (e >= 0)
        return RezTools_ScaleValueSaturate(m, e > 31 ? 31 : e);
    if (e > -32) {
        const int32_t shifted = m >> -e;
        const bool dropped = (static_cast<uint32_t>(m) & RezTools_BitMask[-e]) != 0;
        return dropped ? shifted + 1 : shifted;
    }
    return m >= 0 ? 1 : 0;
}

int32_t RezTools_ScaleValueSaturate(int32_t x, int s)
{
    if (x == 0)
        return 0;
    const uint32_t magnitude = static_cast<uint32_t>(x ^ (x >> 31));
    const int leading = magnitude ? __builtin_clz(magnitude) : 32;
    if (s >= 0) {
        if (leading <= s)
            return x > 0 ? Max : MinSaturated;
        const int32_t v = shiftLeft(x, s);
        return v < MinSaturated ? MinSaturated : v;
    }
    const int right = -s;
    if (32 - leading <= right)
        return 0;
    const int32_t v = x >> (right > 31 ? 31 : right);
    return v < MinSaturated ? MinSaturated : v;
}

int32_t RezTools_ShiftRightRoundToZero(int32_t x, int q)
{
    const int shift = 31 - (q < 0 ? 0 : (q > 31 ? 31 : q));
    if (shift == 0)
        return x;
    const int32_t r = x >> shift;
    return (x < 0 && (static_cast<uint32_t>(x) & RezTools_BitMask[shift])) ? r + 1 : r;
}

int32_t RezTools_Log2(int32_t m, int e, int *eOut)
{
    if (m <= 0) {
        *eOut = 31;
        return INT32_MIN;
    }
    const int n = RezTools_Norm(m);
    const int k = e - n;
    const int32_t z = static_cast<int32_t>(One - (int64_t{m} << n));
    int32_t power = z;
    int32_t ln = 0; // Q30
    for (int i = 0; i < 10; ++i) {
        ln += mulQ15(LogSeries[i], power);
        power = RezTools_MulQ31(power, z);
    }
    const int32_t log = ln + static_cast<int32_t>((int64_t{ln} * InvLn2MinusOne) >> 32);
    if (k == 0) {
        *eOut = 1;
        return log;
    }
    const uint32_t magnitude = static_cast<uint32_t>(k < 0 ? ~k : k);
    const int b = magnitude ? 33 - __builtin_clz(magnitude) : 1;
    *eOut = b;
    return (log >> (b - 1)) + shiftLeft(k, 31 - b);
}

int32_t RezTools_Log2Wrapper(int32_t m, int e, int *eOut)
{
    return RezTools_Log2(m, e, eOut);
}

int32_t RezTools_Log2Int(int32_t i)
{
    return (i >= 1 && i <= 192) ? RezTools_Log2Table[i - 1] : 0;
}

int32_t RezTools_Exp2(int32_t m, int e, int *eOut)
{
    if (e > 31) // arguments beyond 2^31 are out of any range the decoders use
        e = 31;
    int32_t i;
    int64_t f;
    if (e < 1) {
        i = 0;
        f = m >> (-e > 31 ? 31 : -e);
    } else {
        i = m >> (31 - e);
        const int64_t rest = int64_t{m} - (int64_t{i} << (31 - e));
        f = rest << e;
    }
    if (f > One / 2) {
        i += 1;
        f -= One;
    } else if (f < -One / 2) {
        i -= 1;
        f += One;
    }
    const int32_t fraction = static_cast<int32_t>(f);
    int64_t mantissa = One / 2;
    int32_t power = fraction;
    for (int k = 0; k < 5; ++k) {
        mantissa += mulQ15(ExpSeries[k], power);
        power = RezTools_MulQ31(power, fraction);
    }
    *eOut = i + 1;
    return static_cast<int32_t>(mantissa > Max ? Max : mantissa);
}

int32_t RezTools_Exp2OfProduct(int32_t a, int ea, int32_t b, int eb, int *eOut)
{
    const int nb = RezTools_Norm(b);
    const int32_t x = RezTools_MulQ31(shiftLeft(b, nb), a);
    return RezTools_Exp2(x, ea - nb + eb, eOut);
}

int32_t RezTools_Exp2OfProductToQ31(int32_t a, int ea, int32_t b, int eb)
{
    int e;
    const int32_t m = RezTools_Exp2OfProduct(a, ea, b, eb, &e);
    if (e < 0)
        return m >> (-e > 31 ? 31 : -e);
    if (e == 0)
        return m;
    if (RezTools_Norm(m) < e)
        return m > 0 ? Max : INT32_MIN;
    return shiftLeft(m, e);
}

int32_t RezTools_Power(int32_t x, int ex, int32_t y, int ey, int *eOut)
{
    int el;
    const int32_t log = RezTools_Log2(x, ex, &el);
    return RezTools_Exp2OfProduct(log, el, y, ey, eOut);
}

int32_t RezTools_PowerInt(int32_t x, int ex, int n, int *eOut)
{
    if (n == 0) {
        *eOut = 1;
        return 0x40000000;
    }
    if (x == 0) {
        *eOut = 0;
        return 0;
    }
    const int nx = RezTools_Norm(x);
    const int32_t xn = shiftLeft(x, nx);
    const int count = n < 0 ? -n : n;
    int32_t p = xn;
    for (int i = 1; i < count; ++i)
        p = RezTools_MulQ31(p, xn);
    const int exponent = (ex - nx) * n;
    if (n < 0) {
        int er;
        const int32_t r = RezTools_DivideNormalized(0x40000000, p, &er);
        *eOut = exponent + er + 1;
        return r;
    }
    const int np = p ? RezTools_Norm(p) : 0;
    *eOut = exponent - np;
    return shiftLeft(p, np);
}

int RezTools_GetHeadroom(const int32_t *x, int n)
{
    uint32_t bits = 0;
    for (int i = 0; i < n; ++i)
        bits |= static_cast<uint32_t>(x[i] ^ (x[i] >> 31));
    if (bits == 0)
        return 31;
    const int norm = __builtin_clz(bits) - 1;
    return norm > 0 ? norm : 0;
}

void RezTools_ScaleValues(int32_t *x, int n, int s)
{
    RezTools_ScaleCopy(x, x, n, s);
}

void RezTools_ScaleCopy(int32_t *dst, const int32_t *src, int n, int s)
{
    if (n <= 0)
        return;
    if (s > 0) {
        const int left = s > 31 ? 31 : s;
        for (int i = 0; i < n; ++i)
            dst[i] = shiftLeft(src[i], left);
    } else if (s < 0) {
        const int right = -s > 31 ? 31 : -s;
        for (int i = 0; i < n; ++i)
            dst[i] = src[i] >> right;
    } else if (dst != src) {
        std::memmove(dst, src, sizeof(int32_t) * static_cast<size_t>(n));
    }
}

void RezTools_ScaleValuesSaturated(int32_t *x, int n, int s)
{
    RezTools_ScaleCopySaturated(x, x, n, s);
}

void RezTools_ScaleCopySaturated(int32_t *dst, const int32_t *src, int n, int s)
{
    if (n <= 0)
        return;
    s = clampShift(s);
    if (s == 0) {
        if (dst != src)
            std::memmove(dst, src, sizeof(int32_t) * static_cast<size_t>(n));
        return;
    }
    for (int i = 0; i < n; ++i)
        dst[i] = saturatedElement(src[i], s);
}

void RezTools_ScaleValuesWithFactor(int32_t *x, int32_t factor, int n, int s)
{
    const int shift = s + 1;
    for (int i = 0; i < n; ++i) {
        const int32_t product = static_cast<int32_t>((int64_t{x[i]} * factor) >> 32);
        x[i] = shift >= 1 ? shiftLeft(product, shift > 31 ? 31 : shift) : product >> (-shift > 31 ? 31 : -shift);
    }
}

void RezTools_ConvertToPcm16(int16_t *out, const int32_t *in, int n, int s)
{
    s = clampShift(s);
    for (int i = 0; i < n; ++i) {
        const int32_t v = saturatedElement(in[i], s);
        const int32_t rounded = (v >> 1) + 16384;
        out[i] = static_cast<int16_t>((rounded < 0x3FFFFFFF ? rounded : 0x3FFFFFFF) >> 15);
    }
}

} // extern "C"
