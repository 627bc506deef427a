#include "layer2_synthesis.h"

#include "layer2_tables.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define LAYER2_VECTOR_WINDOW 1
#endif

namespace {

// Factors 1/(2 cos(pi (2n + 1) / (2N))) of the odd halves of the DCT-II stages of
// sizes 32, 16, 8, 4 and 2, in Q27 (the largest is about 10.2).
struct DctTables
{
    int32_t factor32[16];
    int32_t factor16[8];
    int32_t factor8[4];
    int32_t factor4[2];
    int32_t factor2[1];
};

constexpr int FactorBits = 27;

template <int Half>
void fillFactors(int32_t (&t)[Half])
{
    const double pi = 3.14159265358979323846;
    for (int n = 0; n < Half; ++n)
        t[n] = static_cast<int32_t>(std::lround(std::ldexp(0.5 / std::cos(pi * (2 * n + 1) / (4.0 * Half)), FactorBits)));
}

const DctTables &dctTables()
{
    static const DctTables tables = [] {
        DctTables t{};
        fillFactors<16>(t.factor32);
        fillFactors<8>(t.factor16);
        fillFactors<4>(t.factor8);
        fillFactors<2>(t.factor4);
        fillFactors<1>(t.factor2);
        return t;
    }();
    return tables;
}

// Window by output sample j and ring age a (0 = newest slot), with the signs of
// the V-vector symmetry folded in.
struct FoldedWindow
{
    int32_t coef[Layer2SubBands][16];
};

// Transform output that sample j reads at an even and at an odd age.
constexpr int evenIndex(int j)
{
    // V[j]: X[16 + j] for j < 16, 0 for j = 16, -X[48 - j] above.
    return j < 16 ? 16 + j : (j == 16 ? 0 : 48 - j);
}

constexpr int oddIndex(int j)
{
    // V[32 + j]: -X[16 - j] for j <= 16, -X[j - 16] above.
    return j <= 16 ? 16 - j : j - 16;
}

const FoldedWindow &foldedWindow()
{
    static const FoldedWindow window = [] {
        FoldedWindow w{};
        const auto &d = Layer2Tables::synthesisWindow;
        for (int j = 0; j < Layer2SubBands; ++j) {
            const int evenSign = j < 16 ? 1 : (j == 16 ? 0 : -1);
            for (int i = 0; i < 8; ++i) {
                w.coef[j][2 * i] = evenSign * d[static_cast<size_t>(64 * i + j)];
                w.coef[j][2 * i + 1] = -d[static_cast<size_t>(64 * i + 32 + j)];
            }
        }
        return w;
    }();
    return window;
}

inline int32_t saturate32(int64_t v)
{
    // One predictable test in the common case: v within 32 bits.
    if (__builtin_expect(static_cast<uint64_t>(v) + 0x80000000u > 0xFFFFFFFFu, 0))
        return v < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<int32_t>(v);
}

// Whether the differences of a split stage can leave 32 bits and need saturating.
enum class Range { Within32Bits, Unbounded };

// DCT-II, y[k] = sum_n x[n] cos(pi k (2n + 1) / (2N)), by the even/odd split: the
// even outputs are the half-size transform of the sums x[n] + x[N - 1 - n], the odd
// ones follow from the half-size transform B of the scaled differences as
// B[k] + B[k + 1]. The splits run first, from 32 points down to 2, each turning a
// block of N values into its sums followed by its scaled differences; the merges
// then rebuild the outputs from 2 points up to 32. Differences are saturated to
// 32 bits before scaling, so no product can overflow.
template <int N, Range R = Range::Unbounded>
inline void split(const int64_t *in, int64_t *out, const int32_t *factor)
{
    constexpr int Half = N / 2;
    for (int block = 0; block < 32; block += N) {
        for (int n = 0; n < Half; ++n) {
            const int64_t low = in[block + n], high = in[block + N - 1 - n];
            const int64_t difference = R == Range::Within32Bits ? low - high : saturate32(low - high);
            out[block + n] = low + high;
            out[block + Half + n] = (difference * factor[n]) >> FactorBits;
        }
    }
}

template <int N>
inline void merge(const int64_t *in, int64_t *out)
{
    constexpr int Half = N / 2;
    for (int block = 0; block < 32; block += N) {
        const int64_t *even = in + block, *odd = in + block + Half;
        for (int k = 0; k < Half; ++k) {
            out[block + 2 * k] = even[k];
            out[block + 2 * k + 1] = odd[k] + (k + 1 < Half ? odd[k + 1] : 0);
        }
    }
}

// X[m] = 1/8 sum_k S[k] cos(pi m (2k + 1) / 64).
void dct32(const int32_t *s, int32_t *x)
{
    const DctTables &t = dctTables();
    int64_t v[32], w[32];
    for (int k = 0; k < 32; ++k)
        v[k] = s[k] >> 3;
    // 32-bit samples shifted right by 3: their differences stay within 30 bits.
    split<32, Range::Within32Bits>(v, w, t.factor32);
    split<16>(w, v, t.factor16);
    split<8>(v, w, t.factor8);
    split<4>(w, v, t.factor4);
    split<2>(v, w, t.factor2);
    merge<2>(w, v);
    merge<4>(v, w);
    merge<8>(w, v);
    merge<16>(v, w);
    merge<32>(w, v);
    for (int m = 0; m < 32; ++m)
        x[m] = saturate32(v[m]);
}

inline int16_t clip16(int64_t v)
{
    return v > 32767 ? 32767 : (v < -32768 ? -32768 : static_cast<int16_t>(v));
}

// Upper half of the 64-bit product of a ring value and a Q30 coefficient.
inline uint32_t windowProduct(int32_t value, int32_t coef)
{
    return static_cast<uint32_t>((static_cast<int64_t>(value) * coef) >> 32);
}

// The 32 output samples of the newest slot of one channel. Each is the sum of the
// 16 products of its values (newest first) and its window coefficients, the sum
// wrapping in 32 bits. Samples j and 32 - j read the same values, so they are
// formed together from one pass over them.
void windowSlot(const int32_t (*values)[32], int pos, int16_t *out, int stride)
{
    const FoldedWindow &w = foldedWindow();
    for (int j = 0; j <= 16; j += 16) {
        const int32_t *v = values[j] + pos;
        uint32_t sum = 0;
        for (int age = 0; age < 16; ++age)
            sum += windowProduct(v[age], w.coef[j][age]);
        out[j * stride] = clip16(static_cast<int32_t>(sum) >> 8);
    }
    for (int j = 1; j < 16; ++j) {
        const int32_t *v = values[j] + pos;
        const int32_t *low = w.coef[j];
        const int32_t *high = w.coef[32 - j];
        uint32_t sumLow = 0, sumHigh = 0;
        for (int age = 0; age < 16; ++age) {
            sumLow += windowProduct(v[age], low[age]);
            sumHigh += windowProduct(v[age], high[age]);
        }
        out[j * stride] = clip16(static_cast<int32_t>(sumLow) >> 8);
        out[(32 - j) * stride] = clip16(static_cast<int32_t>(sumHigh) >> 8);
    }
}

#ifdef LAYER2_VECTOR_WINDOW
// The same window on AVX2, eight products at a time: the sums wrap in 32 bits as
// above, so the order of the additions does not change them.
__attribute__((target("avx2"))) inline __m256i windowProducts(__m256i values, __m256i coefs)
{
    // The multiply takes the low 32 bits of each 64-bit lane, so the odd lanes are
    // shifted down first; the upper halves of the products are then merged back
    // into their lanes.
    const __m256i even = _mm256_mul_epi32(values, coefs);
    const __m256i odd = _mm256_mul_epi32(_mm256_srli_epi64(values, 32), _mm256_srli_epi64(coefs, 32));
    return _mm256_blend_epi32(_mm256_srli_epi64(even, 32), odd, 0xAA);
}

__attribute__((target("avx2"))) inline int32_t horizontalSum(__m256i v)
{
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(s);
}

__attribute__((target("avx2"))) inline __m256i load8(const int32_t *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

__attribute__((target("avx2"))) void windowSlotAvx2(const int32_t (*values)[32], int pos, int16_t *out, int stride)
{
    const FoldedWindow &w = foldedWindow();
    for (int j = 0; j <= 16; j += 16) {
        const int32_t *v = values[j] + pos;
        const __m256i sum = _mm256_add_epi32(windowProducts(load8(v), load8(w.coef[j])),
                                             windowProducts(load8(v + 8), load8(w.coef[j] + 8)));
        out[j * stride] = clip16(horizontalSum(sum) >> 8);
    }
    for (int j = 1; j < 16; ++j) {
        const int32_t *v = values[j] + pos;
        const __m256i newer = load8(v), older = load8(v + 8);
        const int32_t *low = w.coef[j];
        const int32_t *high = w.coef[32 - j];
        const __m256i sumLow = _mm256_add_epi32(windowProducts(newer, load8(low)), windowProducts(older, load8(low + 8)));
        const __m256i sumHigh =
            _mm256_add_epi32(windowProducts(newer, load8(high)), windowProducts(older, load8(high + 8)));
        out[j * stride] = clip16(horizontalSum(sumLow) >> 8);
        out[(32 - j) * stride] = clip16(horizontalSum(sumHigh) >> 8);
    }
}
#endif

using WindowFunction = void (*)(const int32_t (*values)[32], int pos, int16_t *out, int stride);

WindowFunction windowFor(const Layer2SynthesisState *state)
{
#ifdef LAYER2_VECTOR_WINDOW
    if (state->vectorWindow)
        return windowSlotAvx2;
#endif
    (void)state;
    return windowSlot;
}

} // namespace

void Layer2Synthesis_Init(Layer2SynthesisState *state)
{
    std::memset(state->ring, 0, sizeof state->ring);
    state->ringPos = 0;
#ifdef LAYER2_VECTOR_WINDOW
    state->vectorWindow = __builtin_cpu_supports("avx2") ? 1 : 0;
#else
    state->vectorWindow = 0;
#endif
    // Build the constant tables now, not inside the first frame.
    (void)dctTables();
    (void)foldedWindow();
}

void Layer2Synthesis_Run(Layer2SynthesisState *state, const int32_t samples[2][Layer2TimeSlots][Layer2SubBands],
                         int channels, int16_t *pcm0, int16_t *pcm1, int stride)
{
    const WindowFunction window = windowFor(state);
    int16_t *out[2] = {pcm0, pcm1};
    const int channelCount = channels >= 2 ? 2 : 1;
    for (int slot = 0; slot < Layer2TimeSlots; ++slot) {
        state->ringPos = (state->ringPos + 15) & 15;
        const int pos = state->ringPos;
        const int phase = pos & 1;
        for (int ch = 0; ch < channelCount; ++ch) {
            int32_t x[Layer2SubBands];
            dct32(samples[ch][slot], x);
            // At an even age (the phase of this position) sample j reads its even
            // value, at an odd age its odd one.
            int32_t(*even)[32] = state->ring[ch][phase];
            int32_t(*odd)[32] = state->ring[ch][phase ^ 1];
            for (int j = 0; j <= 16; ++j) {
                even[j][pos] = even[j][pos + 16] = x[evenIndex(j)];
                odd[j][pos] = odd[j][pos + 16] = x[oddIndex(j)];
            }
            window(even, pos, out[ch], stride);
            out[ch] += Layer2SubBands * stride;
        }
    }
}
