// Arithmetic shared by the FFT, the DCT/DST, the inverse MDCT and the filter banks.
#ifndef REZ_TRANSFORM_INTERNAL_H
#define REZ_TRANSFORM_INTERNAL_H

#include <stdint.h>

namespace rez {

// A Q31 value times a 16-bit coefficient c (c / 32768 the real factor): the upper word
// of value * (c * 65536), half the exact product.
inline int32_t halfMul(int32_t value, int32_t coefficient)
{
    return static_cast<int32_t>((int64_t{value} * (coefficient * 65536)) >> 32);
}

// The same product at full scale (one bit of the result less).
inline int32_t fullMul(int32_t value, int32_t coefficient)
{
    return static_cast<int32_t>((int64_t{value} * coefficient) >> 15);
}

// Upper word of the 64-bit product of two Q31 values (half their Q31 product).
inline int32_t hiMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>((int64_t{a} * b) >> 32);
}

inline int32_t cosOf(uint32_t packed) { return static_cast<int16_t>(packed & 0xFFFF); }
inline int32_t sinOf(uint32_t packed) { return static_cast<int16_t>(packed >> 16); }

// cos and sin (Q15) of the angle index * 2 pi / (8 * eighth) for index 0 .. 4 * eighth
// (0 to pi), folded from a packed table that covers 0 .. pi/4 in eighth + 1 entries.
inline void foldedTwiddle(const uint32_t *table, int eighth, int index, int32_t &c, int32_t &s)
{
    if (index <= eighth) {
        c = cosOf(table[index]);
        s = sinOf(table[index]);
    } else if (index <= 2 * eighth) {
        c = sinOf(table[2 * eighth - index]);
        s = cosOf(table[2 * eighth - index]);
    } else if (index <= 3 * eighth) {
        c = -sinOf(table[index - 2 * eighth]);
        s = cosOf(table[index - 2 * eighth]);
    } else {
        c = -cosOf(table[4 * eighth - index]);
        s = sinOf(table[4 * eighth - index]);
    }
}

} // namespace rez

#endif
