#include "layer2_synthesis.h"

#include "layer2_tables.h"

#include <cmath>
#include <cstring>

namespace {

// Cosines of the odd halves of the DCT-II stages of sizes 32, 16, 8, 4 and 2 (Q30):
// entry [k][n] = cos(pi (2k + 1)(2n + 1) / (2N)), k, n < N/2.
struct DctTables
{
    int32_t odd32[16][16];
    int32_t odd16[8][8];
    int32_t odd8[4][4];
    int32_t odd4[2][2];
    int32_t odd2;
};

template <int Half>
void fillOdd(int32_t (&t)[Half][Half])
{
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < Half; ++k)
        for (int n = 0; n < Half; ++n)
            t[k][n] = static_cast<int32_t>(std::lround(std::cos(pi * (2 * k + 1) * (2 * n + 1) / (4.0 * Half)) * 1073741824.0));
}

const DctTables &dctTables()
{
    static const DctTables tables = [] {
        DctTables t{};
        fillOdd<16>(t.odd32);
        fillOdd<8>(t.odd16);
        fillOdd<4>(t.odd8);
        fillOdd<2>(t.odd4);
        t.odd2 = static_cast<int32_t>(std::lround(std::cos(3.14159265358979323846 / 4.0) * 1073741824.0));
        return t;
    }();
    return tables;
}

// Window of each output sample j and ring age a (0 = newest slot), with the signs
// of the V-vector symmetry folded in, and the transform output it multiplies.
struct FoldedWindow
{
    int32_t coef[Layer2SubBands][16];
    uint8_t index[Layer2SubBands][2]; // transform output used by even and odd ages
};

const FoldedWindow &foldedWindow()
{
    static const FoldedWindow window = [] {
        FoldedWindow w{};
        const auto &d = Layer2Tables::synthesisWindow;
        for (int j = 0; j < Layer2SubBands; ++j) {
            // V[j] of an even age: X[16 + j] for j < 16, 0 for j = 16, -X[48 - j] above.
            const int evenSign = j < 16 ? 1 : (j == 16 ? 0 : -1);
            w.index[j][0] = static_cast<uint8_t>(j < 16 ? 16 + j : (j == 16 ? 0 : 48 - j));
            // V[32 + j] of an odd age: -X[16 - j] for j <= 16, -X[j - 16] above.
            w.index[j][1] = static_cast<uint8_t>(j <= 16 ? 16 - j : j - 16);
            for (int i = 0; i < 8; ++i) {
                w.coef[j][2 * i] = evenSign * d[64 * i + j];
                w.coef[j][2 * i + 1] = -d[64 * i + 32 + j];
            }
        }
        return w;
    }();
    return window;
}

inline int64_t mulQ30(int64_t x, int32_t c)
{
    return (x * c) >> 30;
}

inline int32_t saturate32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

// Odd half of a DCT-II stage: out[2k + 1] of size 2 * Half from the differences.
template <int Half>
void oddHalf(const int64_t *diff, const int32_t (&cosines)[Half][Half], int64_t *outOdd)
{
    for (int k = 0; k < Half; ++k) {
        int64_t sum = 0;
        for (int n = 0; n < Half; ++n)
            sum += mulQ30(diff[n], cosines[k][n]);
        outOdd[k] = sum;
    }
}

// X[m] = 1/8 sum_k S[k] cos(pi m (2k + 1) / 64), split recursively into even and odd
// halves; the odd halves are direct products with precomputed cosines.
void dct32(const int32_t *s, int32_t *x)
{
    const DctTables &t = dctTables();
    int64_t a32[32];
    for (int k = 0; k < 32; ++k)
        a32[k] = s[k] >> 3;

    int64_t sum16[16], diff16[16], odd32[16];
    for (int n = 0; n < 16; ++n) {
        sum16[n] = a32[n] + a32[31 - n];
        diff16[n] = a32[n] - a32[31 - n];
    }
    oddHalf<16>(diff16, t.odd32, odd32);

    int64_t sum8[8], diff8[8], odd16[8];
    for (int n = 0; n < 8; ++n) {
        sum8[n] = sum16[n] + sum16[15 - n];
        diff8[n] = sum16[n] - sum16[15 - n];
    }
    oddHalf<8>(diff8, t.odd16, odd16);

    int64_t sum4[4], diff4[4], odd8[4];
    for (int n = 0; n < 4; ++n) {
        sum4[n] = sum8[n] + sum8[7 - n];
        diff4[n] = sum8[n] - sum8[7 - n];
    }
    oddHalf<4>(diff4, t.odd8, odd8);

    int64_t sum2[2], diff2[2], odd4[2];
    for (int n = 0; n < 2; ++n) {
        sum2[n] = sum4[n] + sum4[3 - n];
        diff2[n] = sum4[n] - sum4[3 - n];
    }
    oddHalf<2>(diff2, t.odd4, odd4);

    const int64_t dc = sum2[0] + sum2[1];
    const int64_t odd2 = mulQ30(sum2[0] - sum2[1], t.odd2);

    // Reassemble: size-2 outputs {dc, odd2} are the even outputs of size 4, and so on.
    int64_t y4[4] = {dc, odd4[0], odd2, odd4[1]};
    int64_t y8[8];
    for (int k = 0; k < 4; ++k) {
        y8[2 * k] = y4[k];
        y8[2 * k + 1] = odd8[k];
    }
    int64_t y16[16];
    for (int k = 0; k < 8; ++k) {
        y16[2 * k] = y8[k];
        y16[2 * k + 1] = odd16[k];
    }
    for (int k = 0; k < 16; ++k) {
        x[2 * k] = saturate32(y16[k]);
        x[2 * k + 1] = saturate32(odd32[k]);
    }
}

inline int16_t clip16(int64_t v)
{
    return v > 32767 ? 32767 : (v < -32768 ? -32768 : static_cast<int16_t>(v));
}

} // namespace

void Layer2Synthesis_Init(Layer2SynthesisState *state)
{
    std::memset(state->ring, 0, sizeof state->ring);
    state->ringPos = 0;
    // Build the constant tables now, not inside the first frame.
    (void)dctTables();
    (void)foldedWindow();
}

void Layer2Synthesis_Run(Layer2SynthesisState *state, const int32_t samples[2][Layer2TimeSlots][Layer2SubBands],
                         int channels, int16_t *pcm0, int16_t *pcm1, int stride)
{
    const FoldedWindow &w = foldedWindow();
    int16_t *out[2] = {pcm0, pcm1};
    const int channelCount = channels >= 2 ? 2 : 1;
    for (int slot = 0; slot < Layer2TimeSlots; ++slot) {
        state->ringPos = (state->ringPos + 15) & 15;
        const int pos = state->ringPos;
        for (int ch = 0; ch < channelCount; ++ch) {
            int32_t(*ring)[Layer2SubBands] = state->ring[ch];
            dct32(samples[ch][slot], ring[pos]);
            int16_t *o = out[ch];
            for (int j = 0; j < Layer2SubBands; ++j) {
                const int even = w.index[j][0];
                const int odd = w.index[j][1];
                const int32_t *coef = w.coef[j];
                int64_t sum = 0;
                for (int age = 0; age < 16; age += 2) {
                    sum += (static_cast<int64_t>(ring[(pos + age) & 15][even]) * coef[age]) >> 32;
                    sum += (static_cast<int64_t>(ring[(pos + age + 1) & 15][odd]) * coef[age + 1]) >> 32;
                }
                o[j * stride] = clip16(sum >> 8);
            }
            out[ch] = o + Layer2SubBands * stride;
        }
    }
}
