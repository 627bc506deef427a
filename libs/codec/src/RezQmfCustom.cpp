// Synthesis tables for band counts without built-in ones, interpolated from the 64-band
// prototype, and the QMF sample-rate converter of the decoder output.
#include "RezQmfCustom_tables.h"
#include "RezQmf_tables.h"
#include "RezTools.h"
#include "RezTransformInternal.h"

#include <string.h>

namespace {

using rez::hiMul;

constexpr int BaseEntries = 324;

// Entry k of the one-sided base prototype, from the centre outwards, as the 640-tap table
// holds it (group t mod 128, position t div 128), negated for 65 <= k <= 192.
int32_t baseAt(int k)
{
    if (k < 0 || k > 320)
        return 0;
    const int t = (320 - k) % 128 <= 64 ? 320 - k : 320 + k;
    const int32_t value = RezTools_QmfPrototype640[5 * (t % 128) + t / 128];
    return k >= 65 && k <= 192 ? -value : value;
}

inline int32_t mulQ31(int32_t a, int32_t b)
{
    return 2 * hiMul(a, b);
}

// The prototype at tap m: a cubic interpolation of the base prototype.
int32_t interpolate(const RezQmfCustomBands &row, const int32_t *curvature, int m, bool negate)
{
    constexpr int32_t Sixth = 0x15555560;
    const int32_t p = ((row.offset + 0x10000000) >> 6) + (hiMul(row.scale, m << 20) << 6);
    int i = p >> 22;
    i = i < 0 ? 0 : (i > BaseEntries - 3 ? BaseEntries - 3 : i);
    const int32_t x = (p & 0x3FFFFF) << 9, y = 0x7FFFFFFF - x;
    const int32_t x2 = static_cast<int32_t>((int64_t{x} * x) >> 31), y2 = static_cast<int32_t>((int64_t{y} * y) >> 31);
    const int32_t u = (baseAt(i) << 16) + mulQ31(curvature[i], mulQ31(Sixth, y2));
    const int32_t v = (baseAt(i + 1) << 16) + mulQ31(mulQ31(x2, Sixth), curvature[i + 1 < 322 ? i + 1 : 321]);
    const int32_t r = 2 * (hiMul(x, v) + hiMul(y, u));
    return negate ? (-r) >> 16 : r >> 16;
}

const RezQmfResampleRate *rateRow(int32_t rate, bool &to48000)
{
    for (const RezQmfResampleRate &row : RezTools_QmfResampleRates) {
        if (row.rate44100 == rate || row.rate48000 == rate) {
            to48000 = row.rate48000 == rate;
            return &row;
        }
    }
    return nullptr;
}

} // namespace

extern "C" {

int RezTools_QmfDomainBuildTables(int16_t *cosOut, int16_t *sinOut, int16_t *prototypeOut, const int32_t *curvature,
                                  int bands)
{
    if (bands == 16 || bands == 32 || bands == 64)
        return 0;
    const RezQmfCustomBands *row = nullptr;
    for (const RezQmfCustomBands &candidate : RezTools_QmfCustomBands)
        if (candidate.bands == bands)
            row = &candidate;
    if (!row)
        return -1;
    if (!curvature)
        curvature = RezTools_QmfCurvature;
    const int twiddles = bands < 64 ? bands : 64;
    for (int k = 0; k < twiddles; ++k) {
        const int32_t angle = (row->angleStep >> 2) * k + (row->angleStep >> 3);
        cosOut[k] = static_cast<int16_t>(RezTools_Cos(angle, 3) >> 16);
        sinOut[k] = static_cast<int16_t>(RezTools_Sin(angle, 3) >> 16);
    }
    const int b = bands;
    auto f = [&](int m, bool negate) { return static_cast<int16_t>(interpolate(*row, curvature, m, negate)); };
    int16_t *g = prototypeOut;
    g[0] = 0;
    g[1] = f(3 * b - 1, true);
    g[2] = f(b - 1, false);
    g[3] = f(b - 1, true);
    g[4] = f(3 * b - 1, false);
    for (int j = 1; j < b; ++j) {
        int16_t *group = prototypeOut + 5 * j;
        group[0] = f(5 * b - 1 - j, false);
        group[1] = f(3 * b - 1 - j, true);
        group[2] = f(b - 1 - j, false);
        group[3] = f(b - 1 + j, true);
        group[4] = f(3 * b - 1 + j, false);
    }
    int16_t *last = prototypeOut + 5 * b;
    last[0] = 0;
    last[1] = f(2 * b - 1, true);
    last[2] = 27975;
    last[3] = f(2 * b - 1, true);
    last[4] = f(4 * b - 1, false);
    last[5] = f(3 * b - 1, false);
    last[6] = f(b - 1, true);
    last[7] = f(b - 1, false);
    last[8] = f(3 * b - 1, true);
    return 0;
}

int RezTools_QmfResampleTargetRate(int32_t rate, int32_t *out)
{
    bool to48000 = false;
    if (!rateRow(rate, to48000))
        return -1;
    *out = to48000 ? 48000 : 44100;
    return 0;
}

int RezTools_QmfResampleBands(int32_t rate, int16_t *out)
{
    bool to48000 = false;
    const RezQmfResampleRate *row = rateRow(rate, to48000);
    if (!row)
        return -1;
    *out = static_cast<int16_t>(row->bands);
    return 0;
}

void RezTools_QmfResampleBlock(int channels, int frameLength, RezQmfFilterBank *analysisBank,
                               RezQmfFilterBank *synthesisBank, const int16_t *in, int16_t *out)
{
    int32_t re[64], im[64];
    int32_t work[2 * 384];
    int32_t *reSlot = re, *imSlot = im;
    const int synthesisBands = synthesisBank->bands;
    for (int block = 0; block < frameLength / 64; ++block) {
        int32_t scales[3] = {0, 0, 0};
        RezTools_QmfAnalysis(analysisBank, &reSlot, &imSlot, &scales[0], in, 0, 1, work);
        scales[1] = scales[2] = scales[0];
        if (analysisBank->bands > synthesisBands) {
            memset(re + synthesisBands, 0, sizeof(int32_t) * static_cast<size_t>(analysisBank->bands - synthesisBands));
            memset(im + synthesisBands, 0, sizeof(int32_t) * static_cast<size_t>(analysisBank->bands - synthesisBands));
        }
        // The synthesis bank reads up to its own band count; bands above 64 carry nothing.
        int32_t wideRe[384] = {}, wideIm[384] = {};
        memcpy(wideRe, re, sizeof re);
        memcpy(wideIm, im, sizeof im);
        int32_t *wideReSlot = wideRe, *wideImSlot = wideIm;
        RezTools_QmfSynthesis(synthesisBank, &wideReSlot, &wideImSlot, scales, 0, out, channels, work);
        in += 64;
        out += static_cast<size_t>(synthesisBands) * channels;
    }
}

} // extern "C"
