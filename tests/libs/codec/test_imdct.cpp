// The inverse MDCT: perfect reconstruction of a double-precision MDCT made here, over
// every window transition with sine and Kaiser-Bessel-derived windows; the window
// slopes against their formulas; scaling, slope adaption and pending samples.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

double besselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 200 && term > 1e-20 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// Rising half of a window of 2 * length samples: shape 0 sine, 1 Kaiser-Bessel-derived.
std::vector<double> risingSlope(int length, int shape)
{
    std::vector<double> w(static_cast<size_t>(length));
    if (shape == 0) {
        for (int n = 0; n < length; ++n)
            w[n] = std::sin(M_PI * (n + 0.5) / (2 * length));
        return w;
    }
    const double alpha = length <= 256 ? 6 : 4;
    std::vector<double> kernel(static_cast<size_t>(length) + 1);
    double total = 0;
    for (int n = 0; n <= length; ++n) {
        const double r = (n - length / 2.0) / (length / 2.0);
        kernel[n] = besselI0(M_PI * alpha * std::sqrt(std::max(0.0, 1 - r * r)));
        total += kernel[n];
    }
    double running = 0;
    for (int n = 0; n < length; ++n) {
        running += kernel[n];
        w[n] = std::sqrt(running / total);
    }
    return w;
}

// A cleared state over the whole overlap buffer.
RezImdctState freshState(std::vector<int32_t> &overlap)
{
    RezImdctState state;
    std::memset(&state, 0, sizeof state);
    RezTools_ImdctInit(&state, overlap.data(), static_cast<int>(overlap.size()));
    return state;
}

int16_t upper(uint32_t v) { return static_cast<int16_t>(v >> 16); }
int16_t lower(uint32_t v) { return static_cast<int16_t>(v & 0xFFFF); }

TEST(WindowSlopes, LookupFindsEveryListedSlope)
{
    struct Row {
        int length;
        int shape;
        bool exists;
        int sameAsSineOf; // 0, or the length whose sine slope is returned
    };
    const Row rows[] = {
        {4, 0, true, 0},     {1024, 0, true, 0}, {960, 0, true, 0},   {768, 0, true, 0},  {15, 0, true, 0},
        {12, 0, true, 0},    {240, 0, true, 0},  {384, 0, true, 0},   {480, 0, false, 0}, {2048, 0, false, 0},
        {2, 0, false, 0},    {20, 0, false, 0},  {1023, 0, false, 0}, {128, 1, true, 0},  {256, 1, true, 0},
        {512, 1, true, 512}, {1024, 1, true, 0}, {120, 1, true, 0},   {960, 1, true, 0},  {96, 1, true, 0},
        {192, 1, true, 192}, {768, 1, true, 0},  {64, 1, false, 0},   {240, 1, false, 0}, {384, 1, false, 0},
        {128, 2, false, 0},
    };
    for (const Row &row : rows) {
        const uint32_t *slope = RezTools_GetWindowSlope(row.length, row.shape);
        EXPECT_EQ(slope != nullptr, row.exists) << row.length << " shape " << row.shape;
        if (row.sameAsSineOf) {
            EXPECT_EQ(slope, RezTools_GetWindowSlope(row.sameAsSineOf, 0)) << row.length;
        }
    }
}

TEST(WindowSlopes, EntriesFollowTheWindowFormulas)
{
    const int sine[] = {4, 8, 16, 32, 64, 128, 256, 512, 1024, 15, 30, 60, 120, 240, 960,
                        12, 24, 48, 96, 192, 384, 768};
    const int kbd[] = {128, 256, 1024, 120, 960, 96, 768};
    auto check = [](int length, int shape) {
        const uint32_t *slope = RezTools_GetWindowSlope(length, shape);
        ASSERT_NE(slope, nullptr);
        const std::vector<double> w = risingSlope(length, shape);
        for (int n = 0; n < (length + 1) / 2; ++n) {
            ASSERT_NEAR(upper(slope[n]), std::min(32767.0, w[n] * 32768), 0.5 + 1e-9) << length << " " << n;
            ASSERT_NEAR(lower(slope[n]), std::min(32767.0, w[length - 1 - n] * 32768), 0.5 + 1e-9) << length << " " << n;
            // Princen-Bradley: the slope and its mirror keep unit power.
            const double a = upper(slope[n]) / 32768.0, b = lower(slope[n]) / 32768.0;
            ASSERT_NEAR(a * a + b * b, 1.0, 1e-4) << length << " " << n;
        }
    };
    for (int length : sine)
        check(length, 0);
    for (int length : kbd)
        check(length, 1);
}

TEST(Imdct, ScaleForLength)
{
    struct Row {
        int length;
        int32_t gainIn;
        int exponent;
        int32_t gainOut;
    };
    const Row rows[] = {
        {1024, 0, -27, 0},         {128, 0, -24, 0},          {960, 0, -26, 0x44444480},
        {120, 0, -23, 0x44444480}, {768, 0, -26, 0x55555555}, {96, 0, -23, 0x55555555},
        {960, 0x40000000, -26, static_cast<int32_t>((int64_t{0x40000000} * 0x44444480) >> 31) & ~1},
    };
    for (const Row &row : rows) {
        int32_t gain = row.gainIn;
        int exponent = 0;
        RezTools_ImdctScaleForLength(&gain, &exponent, row.length);
        EXPECT_EQ(exponent, row.exponent) << row.length;
        EXPECT_EQ(gain, row.gainOut) << row.length;
    }
}

enum Sequence { OnlyLong = 0, LongStart = 1, EightShort = 2, LongStop = 3 };

// Encoder side in double precision: the windowed MDCT of each frame of an AAC-style
// stream, with the left window half in the previous frame's shape.
struct Stream {
    int frame;
    std::vector<double> signal;

    double at(long i) const { return i >= 0 && i < static_cast<long>(signal.size()) ? signal[i] : 0.0; }

    // The 2 * frame window of a frame.
    std::vector<double> longWindow(Sequence seq, int prevShape, int shape) const
    {
        const int f = frame, s = frame / 8, flat = (f - s) / 2;
        std::vector<double> w(2 * static_cast<size_t>(f), 0.0);
        if (seq == OnlyLong || seq == LongStart) {
            const auto rise = risingSlope(f, prevShape);
            for (int n = 0; n < f; ++n)
                w[n] = rise[n];
        } else {
            const auto rise = risingSlope(s, prevShape);
            for (int n = 0; n < s; ++n)
                w[flat + n] = rise[n];
            for (int n = flat + s; n < f; ++n)
                w[n] = 1;
        }
        if (seq == OnlyLong || seq == LongStop) {
            const auto rise = risingSlope(f, shape);
            for (int n = 0; n < f; ++n)
                w[f + n] = rise[f - 1 - n];
        } else {
            const auto rise = risingSlope(s, shape);
            for (int n = 0; n < flat; ++n)
                w[f + n] = 1;
            for (int n = 0; n < s; ++n)
                w[f + flat + n] = rise[s - 1 - n];
        }
        return w;
    }

    // The forward MDCT as AAC encoders define it, with the factor 2 that makes a
    // Princen-Bradley window pair reconstruct at unit gain.
    static std::vector<double> mdct(const std::vector<double> &z)
    {
        const size_t n = z.size() / 2;
        std::vector<double> out(n);
        for (size_t k = 0; k < n; ++k) {
            double sum = 0;
            for (size_t i = 0; i < 2 * n; ++i)
                sum += z[i] * std::cos(M_PI / n * (i + 0.5 + n / 2.0) * (k + 0.5));
            out[k] = 2 * sum;
        }
        return out;
    }

    // Spectrum of frame index i (covering signal samples (i - 1) * frame .. (i + 1) * frame).
    std::vector<double> spectrum(int i, Sequence seq, int prevShape, int shape) const
    {
        const long start = static_cast<long>(i - 1) * frame;
        if (seq != EightShort) {
            const auto w = longWindow(seq, prevShape, shape);
            std::vector<double> z(2 * static_cast<size_t>(frame));
            for (int n = 0; n < 2 * frame; ++n)
                z[n] = at(start + n) * w[n];
            return mdct(z);
        }
        const int s = frame / 8, offset = (frame - s) / 2;
        std::vector<double> out;
        for (int b = 0; b < 8; ++b) {
            const auto rise = risingSlope(s, b == 0 ? prevShape : shape);
            const auto fall = risingSlope(s, shape);
            std::vector<double> z(2 * static_cast<size_t>(s));
            for (int n = 0; n < s; ++n) {
                z[n] = at(start + offset + b * s + n) * rise[n];
                z[s + n] = at(start + offset + b * s + s + n) * fall[s - 1 - n];
            }
            const auto x = mdct(z);
            out.insert(out.end(), x.begin(), x.end());
        }
        return out;
    }
};

TEST(Imdct, ReconstructsEveryWindowTransition)
{
    // Every transition (long-long, long-start, start-short, short-short, short-stop,
    // stop-long, stop-start) with the window shape switching between frames.
    const Sequence sequences[] = {OnlyLong, OnlyLong, LongStart, EightShort, EightShort, LongStop,
                                  OnlyLong, LongStart, EightShort, LongStop, LongStart, EightShort,
                                  LongStop, OnlyLong, OnlyLong};
    const int shapes[] = {0, 1, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 0, 1};
    constexpr int Frames = sizeof(sequences) / sizeof(sequences[0]);
    for (int frame : {1024, 960}) {
        for (int fixedShape : {0, 1, -1}) { // sine only, KBD only, switching
            Stream stream{frame, {}};
            std::mt19937 rng(static_cast<unsigned>(frame + fixedShape));
            std::uniform_real_distribution<double> noise(-1, 1);
            stream.signal.resize(static_cast<size_t>(Frames) * frame);
            const double amplitude = std::ldexp(1.0, 26);
            for (size_t n = 0; n < stream.signal.size(); ++n)
                stream.signal[n] = amplitude * (0.5 * std::sin(0.05 * n) + 0.3 * std::sin(0.7 * n) + 0.2 * noise(rng));

            std::vector<int32_t> overlap(static_cast<size_t>(frame) / 2);
            RezImdctState state = freshState(overlap);
            const int s = frame / 8;
            int prevShape = fixedShape < 0 ? shapes[0] : fixedShape;
            double worst = 0;
            for (int i = 0; i < Frames; ++i) {
                const Sequence seq = sequences[i];
                const int shape = fixedShape < 0 ? shapes[i] : fixedShape;
                const std::vector<double> x = stream.spectrum(i, seq, prevShape, shape);
                double peak = 0;
                for (double v : x)
                    peak = std::max(peak, std::abs(v));
                const int headroom = static_cast<int>(std::ceil(std::log2(peak + 1))) - 30;
                std::vector<int32_t> spectrum(x.size());
                for (size_t k = 0; k < x.size(); ++k)
                    spectrum[k] = static_cast<int32_t>(std::lround(std::ldexp(x[k], -headroom)));
                const bool shorts = seq == EightShort;
                std::vector<int16_t> scales(shorts ? 8 : 1, static_cast<int16_t>(17 + headroom));
                const int length = shorts ? s : frame;
                const int left = seq == OnlyLong || seq == LongStart ? frame : s;
                const int right = seq == OnlyLong || seq == LongStop ? frame : s;
                std::vector<int32_t> out(static_cast<size_t>(frame));
                const int written = RezTools_InverseMdct(
                    &state, out.data(), spectrum.data(), scales.data(), shorts ? 8 : 1, frame, length,
                    RezTools_GetWindowSlope(left, prevShape), left, RezTools_GetWindowSlope(right, shape), right, 0, 0);
                ASSERT_EQ(written, frame) << "frame " << i;
                if (i > 0) {
                    for (int n = 0; n < frame; ++n)
                        worst = std::max(worst, std::abs(out[n] - stream.at(static_cast<long>(i - 1) * frame + n)));
                }
                prevShape = shape;
            }
            // 16-bit window factors: the error stays below 2^-12 of the signal's amplitude.
            EXPECT_LT(worst, amplitude / 4096) << "frame " << frame << " shape " << fixedShape << " worst " << worst;
        }
    }
}

TEST(Imdct, ShortBlocksAloneReconstruct)
{
    // Streams of only short blocks (128 and 120), as one block per call.
    for (int length : {128, 120}) {
        for (int shape : {0, 1}) {
            Stream stream{length, {}};
            constexpr int Blocks = 12;
            const double amplitude = std::ldexp(1.0, 26);
            stream.signal.resize(static_cast<size_t>(Blocks) * length);
            for (size_t n = 0; n < stream.signal.size(); ++n)
                stream.signal[n] = amplitude * std::sin(0.3 * n + 0.001 * n * n);
            std::vector<int32_t> overlap(static_cast<size_t>(length) / 2);
            RezImdctState state = freshState(overlap);
            const uint32_t *slope = RezTools_GetWindowSlope(length, shape);
            double worst = 0;
            for (int i = 0; i < Blocks; ++i) {
                const auto x = stream.spectrum(i, OnlyLong, shape, shape);
                std::vector<int32_t> spectrum(x.size());
                for (size_t k = 0; k < x.size(); ++k)
                    spectrum[k] = static_cast<int32_t>(std::lround(std::ldexp(x[k], -4)));
                const int16_t scale = 17 + 4;
                std::vector<int32_t> out(static_cast<size_t>(length));
                ASSERT_EQ(RezTools_InverseMdct(&state, out.data(), spectrum.data(), &scale, 1, length, length, slope,
                                               length, slope, length, 0, 0),
                          length);
                for (int n = 0; i > 0 && n < length; ++n)
                    worst = std::max(worst, std::abs(out[n] - stream.at(static_cast<long>(i - 1) * length + n)));
            }
            EXPECT_LT(worst, amplitude / 4096) << length << " shape " << shape;
        }
    }
}

TEST(Imdct, SampleCountsFollowTheSlopes)
{
    std::vector<int32_t> overlap(1024), spectrum(1024), out(1024);
    RezImdctState state = freshState(overlap);
    const int16_t scale = 0;
    const uint32_t *longSlope = RezTools_GetWindowSlope(1024, 0), *shortSlope = RezTools_GetWindowSlope(128, 0);
    EXPECT_EQ(RezTools_InverseMdct(&state, out.data(), spectrum.data(), &scale, 1, 1024, 1024, longSlope, 1024,
                                   longSlope, 1024, 0, 0),
              1024);
    EXPECT_EQ(RezTools_InverseMdct(&state, out.data(), spectrum.data(), &scale, 1, 1024, 1024, longSlope, 1024,
                                   shortSlope, 128, 0, 0),
              1024);
    EXPECT_EQ(state.flatCount, 448);
    EXPECT_EQ(state.slopeLength, 128);
    // 448 + 128 + 448 samples from the next long block with a short left slope.
    EXPECT_EQ(RezTools_InverseMdct(&state, out.data(), spectrum.data(), &scale, 1, 2048, 1024, shortSlope, 128,
                                   longSlope, 1024, 0, 0),
              1024);
}

TEST(Imdct, NothingWantedKeepsEverythingPending)
{
    std::vector<int32_t> overlap(2048), spectrum(1024), out(2048);
    for (int k = 0; k < 1024; ++k)
        spectrum[k] = (k % 7 - 3) << 20;
    std::vector<int32_t> copy = spectrum;
    const int16_t scale = 17;
    const uint32_t *slope = RezTools_GetWindowSlope(1024, 1);

    std::vector<int32_t> overlapB(2048);
    RezImdctState a = freshState(overlap), b = freshState(overlapB);
    // The same block once delivered directly, once kept pending and drained.
    std::vector<int32_t> direct(1024);
    ASSERT_EQ(RezTools_InverseMdct(&a, direct.data(), spectrum.data(), &scale, 1, 1024, 1024, slope, 1024, slope,
                                   1024, 0, 0),
              1024);
    EXPECT_EQ(RezTools_InverseMdct(&b, out.data(), copy.data(), &scale, 1, 0, 1024, slope, 1024, slope, 1024, 0, 0), 0);
    EXPECT_EQ(b.pending, 1024);
    EXPECT_EQ(RezTools_ImdctDrainPending(&b, out.data(), 0), 0);
    EXPECT_EQ(RezTools_ImdctDrainPending(&b, out.data(), 2048), 1024);
    EXPECT_EQ(b.pending, 0);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(out[i], direct[i]) << i;
}

TEST(Imdct, RefusesArgumentsOutsideItsBuffers)
{
    std::vector<int32_t> overlap(512), spectrum(2048), out(2048);
    RezImdctState state = freshState(overlap);
    const int16_t scale = 0;
    const uint32_t *slope = RezTools_GetWindowSlope(1024, 0);
    struct Row {
        const char *name;
        int blockCount, length;
        const uint32_t *leftSlope;
        int slopeLength;
    };
    const Row rows[] = {
        {"transform above 1024", 1, 2048, slope, 1024},
        {"slope longer than the transform", 1, 128, slope, 1024},
        {"no slope", 1, 1024, nullptr, 1024},
        {"no block", 0, 1024, slope, 1024},
    };
    for (const Row &row : rows)
        EXPECT_EQ(RezTools_InverseMdct(&state, out.data(), spectrum.data(), &scale, row.blockCount, row.length,
                                       row.length, row.leftSlope, row.slopeLength, slope, row.slopeLength, 0, 0),
                  0)
            << row.name;
}

TEST(Imdct, AdaptWindowReconcilesSlopes)
{
    struct Row {
        const char *name;
        int storedLength, storedFlat, prevLength;
        int requestedLength, requestedFlat;
        int callerLength, callerFlat, stateLength, stateFlat;
    };
    const Row rows[] = {
        // The state's short slope with a long request: the caller takes the short one.
        {"long after start", 128, 448, 1024, 1024, 0, 128, 448, 128, 448},
        // A long stored slope with a short request: the state takes the short one.
        {"stop after long", 1024, 0, 1024, 128, 448, 128, 448, 128, 448},
        // The first block takes the request, its flat part from the output wanted.
        {"first block", 0, 0, 0, 128, 448, 128, 448, 128, 448},
    };
    std::vector<int32_t> overlap(1024);
    const uint32_t *requested = RezTools_GetWindowSlope(128, 1);
    for (const Row &row : rows) {
        RezImdctState state = freshState(overlap);
        state.slopeLength = row.storedLength;
        state.flatCount = row.storedFlat;
        state.prevLength = row.prevLength;
        state.slope = RezTools_GetWindowSlope(row.storedLength, 0);
        int length = row.requestedLength, flat = row.requestedFlat;
        RezTools_ImdctAdaptWindow(&state, &length, &flat, 1024, requested, 1024);
        EXPECT_EQ(length, row.callerLength) << row.name;
        EXPECT_EQ(flat, row.callerFlat) << row.name;
        EXPECT_EQ(state.slopeLength, row.stateLength) << row.name;
        EXPECT_EQ(state.flatCount, row.stateFlat) << row.name;
    }
}

TEST(Imdct, FlushWritesPendingThenTheFlatOverlap)
{
    std::vector<int32_t> overlap(1024), out(2048, 7);
    RezImdctState state = freshState(overlap);
    for (int i = 0; i < 1024; ++i)
        overlap[i] = i + 1;
    state.pending = 3;
    state.flatCount = 4;
    state.prevLength = 1024;
    EXPECT_EQ(RezTools_ImdctFlushOverlap(&state, out.data(), 0), 0);
    EXPECT_EQ(RezTools_ImdctFlushOverlap(&state, out.data(), 100), 7);
    const int32_t expected[] = {1, 2, 3, -1024, -1023, -1022, -1021};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out[i], expected[i]) << i;
    EXPECT_EQ(out[7], 7);
    // Limited by n.
    EXPECT_EQ(RezTools_ImdctFlushOverlap(&state, out.data(), 5), 5);
    state.prevSineKind = 1;
    RezTools_ImdctFlushOverlap(&state, out.data(), 100);
    EXPECT_EQ(out[3], 1024);
}

} // namespace
