#include "aac_conceal_channel.h"

#include "RezTools.h"
#include "aac_core.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t Unity = 0x7FFFFFFF;
constexpr uint32_t SignBits = 512;
constexpr int Segments = 8;
// Comfort noise: a linear congruential generator, low-passed by three Q15 taps
// (0.05, 0.5, 0.45) over the newest and the two previous raw words.
constexpr uint32_t NoiseMultiplier = 69069;
constexpr int64_t NoiseTaps[3] = {0x0666, 0x4000, 0x399A};
constexpr int NoiseShift = 8;

// A set bit negates line k of a window whose signs start at index s: bit (s + k) mod
// 512, least significant first within each word.
constexpr uint16_t RandomSigns[32] = {
    0x3CE9, 0xDEE2, 0xD738, 0x96C8, 0x0BCA, 0x2F88, 0xB737, 0x9D54, 0x563E, 0xA4EB, 0x3DA8,
    0xD9EA, 0xAA2B, 0xC291, 0x35F3, 0x4753, 0x1586, 0x3FAC, 0x8568, 0x4EB4, 0x925B, 0x7093,
    0x5631, 0xB610, 0xDF81, 0xE2CF, 0x5481, 0xF3AB, 0x1686, 0x63CC, 0x6AEC, 0x458D,
};

bool negated(uint32_t index)
{
    index %= SignBits;
    return (RandomSigns[index / 16] >> (index % 16)) & 1;
}

int32_t factorQ31(int16_t q15)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(q15)) << 16);
}

// The entry of the other table closest to a gain, one step further when it is not
// past it (louder for a fade-in, quieter for a fade-out).
int32_t matchLevel(const AacDecConcealParams *p, int32_t index, bool toFadeIn)
{
    const int16_t *from = toFadeIn ? p->fadeOutFactors : p->fadeInFactors;
    const int16_t *to = toFadeIn ? p->fadeInFactors : p->fadeOutFactors;
    index = index < 0 ? 0 : index >= AacConcealFactors ? AacConcealFactors - 1 : index;
    const int32_t current = from[index] >> 1;
    int32_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int32_t i = 0; i < AacConcealFactors; ++i) {
        const int32_t d = (to[i] >> 1) > current ? (to[i] >> 1) - current : current - (to[i] >> 1);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (toFadeIn) {
        if (to[best] <= from[index] && best > 0)
            --best;
    } else if (to[best] >= from[index] && best < AacConcealFactors - 1) {
        ++best;
    }
    if (!toFadeIn && best > p->fadeInFrames - 1)
        best = p->fadeInFrames - 1 < 0 ? 0 : p->fadeInFrames - 1;
    return best;
}

// The last good spectrum again (`source`, which may be the output itself), with
// random signs, window by window.
void substitute(AacDecConcealChannel *c, const AacDecSpectrum &source, const AacDecIcsInfo &sourceIcs,
                AacDecIcsInfo *ics, AacDecSpectrum *spectrum, uint32_t frameLength)
{
    *ics = sourceIcs;
    if (spectrum != &source)
        std::memcpy(spectrum, &source, sizeof *spectrum);
    const bool shortWindows = ics->windowSequence == AacEightShort;
    const uint32_t windows = shortWindows ? 8 : 1;
    const uint32_t length = frameLength / windows;
    for (uint32_t w = 0; w < windows; ++w) {
        int32_t *lines = spectrum->lines + w * length;
        for (uint32_t k = 0; k < length; ++k)
            if (negated(c->signIndex + k))
                lines[k] = lines[k] == INT32_MIN ? INT32_MAX : -lines[k];
        c->signIndex = (c->signIndex + 1) % SignBits;
    }
}

// Repetition counts its fade in the substitution: each repeat is one step quieter,
// and past the fade-out the stored spectrum is gone.
void substituteRepeating(AacDecConcealChannel *c, const AacDecConcealParams *p, AacDecIcsInfo *ics,
                         AacDecSpectrum *spectrum, uint32_t frameLength)
{
    ++c->attenuationIndex;
    if (c->attenuationIndex > p->fadeOutFrames)
        std::memset(&c->lastSpectrum.lines, 0, sizeof c->lastSpectrum.lines);
    substitute(c, c->lastSpectrum, c->lastIcs, ics, spectrum, frameLength);
}

// Noise at the comfort level under a concealed frame, each value added with the sign
// that keeps the sample from overflowing.
void addComfortNoise(AacDecConcealChannel *c, const AacDecConcealParams *p, int32_t *samples, uint32_t frameLength)
{
    if (c->state == AacConcealNormal || p->comfortNoiseLevel <= 0)
        return;
    c->noiseSeed = c->noiseSeed * NoiseMultiplier + 6;
    uint32_t seed = c->noiseSeed;
    for (uint32_t i = 0; i < frameLength; ++i) {
        seed = seed * NoiseMultiplier + 5;
        const int32_t raw = static_cast<int32_t>(seed);
        const int64_t filtered =
            (raw * NoiseTaps[0] + c->noiseHistory[0] * NoiseTaps[1] + c->noiseHistory[1] * NoiseTaps[2]) >> 15;
        c->noiseHistory[1] = c->noiseHistory[0];
        c->noiseHistory[0] = raw;
        const int64_t noise = ((filtered * p->comfortNoiseLevel) >> 31) >> NoiseShift;
        int64_t sum = static_cast<int64_t>(samples[i]) + noise;
        if (sum > INT32_MAX || sum < INT32_MIN)
            sum = static_cast<int64_t>(samples[i]) - noise;
        samples[i] = static_cast<int32_t>(sum);
    }
}

// 2^(k/4) / 2 in Q15: the quarter-octave steps of an interpolated band's gain.
constexpr int32_t QuarterOctave[4] = {0x4000, 0x4C1C, 0x5A82, 0x6BA2};

// The squares of a band's lines at 2^-32, the lines first shifted down by `down`.
int64_t bandEnergy(const int32_t *lines, int lo, int hi, int down = 0)
{
    int64_t sum = 0;
    for (int k = lo; k < hi; ++k) {
        const int64_t x = lines[k] >> std::min(down, 31);
        sum += (x * x) >> 32;
    }
    return sum;
}

// A band's level: the leading zeros of its mean energy, the sum divided by the
// largest power of two within its count of lines.
int bandLevel(int64_t energy, int count)
{
    const int countShift = count > 0 ? 31 - __builtin_clz(static_cast<uint32_t>(count)) : 0;
    const int64_t mean = 1 + (energy >> countShift);
    return __builtin_clz(static_cast<uint32_t>(std::min<int64_t>(mean, 0x7FFFFFFF))) - 1;
}

bool eightShort(const AacDecIcsInfo &ics)
{
    return ics.windowSequence == AacEightShort;
}

// A band of the later neighbour as the interpolation compares it: level and block
// scale.
struct LaterBand
{
    int level;
    int scale;
};

// The lost frame between two good ones: the earlier frame's spectrum (handed in
// through `spectrum` and `ics`), each band moved halfway (geometrically) towards
// the level of the same band in the later one, the stored frame. Neighbours of one
// window kind compare band by band and window by window; a long and a short one
// compare on the short bands (eight times as wide in the long spectrum, the short
// spectrum's eight windows together at the larger of their scales).
void interpolate(const AacDecConcealChannel *c, const AacSamplingRateInfo *sr, const AacDecIcsInfo *ics,
                 AacDecSpectrum *spectrum, uint32_t frameLength)
{
    const AacDecSpectrum &later = c->lastSpectrum;
    const bool playedShort = eightShort(*ics);
    const bool laterShort = eightShort(c->lastIcs);
    const bool mixed = playedShort != laterShort;
    const int windows = playedShort ? 8 : 1;
    const int granule = static_cast<int>(frameLength) / windows;
    const int shortGranule = static_cast<int>(frameLength) / 8;
    const int16_t *offsets = playedShort || laterShort ? sr->bandOffsetShort : sr->bandOffsetLong;
    const int bands = playedShort || laterShort ? sr->bandsShort : sr->bandsLong;
    // Short bands in a long spectrum are eight times as wide.
    const int stretch = mixed && !playedShort ? 8 : 1;
    int laterShortScale = later.windowExponent[0];
    for (int w = 1; w < 8 && laterShort; ++w)
        laterShortScale = std::max<int>(laterShortScale, later.windowExponent[w]);

    for (int w = 0; w < windows; ++w) {
        int32_t *lines = spectrum->lines + w * granule;
        const int sA = spectrum->windowExponent[w];
        const int sB = mixed ? laterShortScale : later.windowExponent[w];
        const int scale = std::max(sA, sB);
        auto laterBand = [&](int b, int lo, int hi) -> LaterBand {
            if (!mixed)
                return {bandLevel(bandEnergy(later.lines + w * granule, lo, hi), hi - lo), sB};
            if (playedShort) // the long neighbour on the short band, eight times as wide
                return {bandLevel(bandEnergy(later.lines, 8 * lo, 8 * hi), 8 * (hi - lo)), sB};
            int64_t energy = 0;
            const int shortLo = offsets[b], shortHi = std::min<int>(offsets[b + 1], shortGranule);
            for (int v = 0; v < 8; ++v)
                energy += bandEnergy(later.lines + v * shortGranule, shortLo, shortHi, sB - later.windowExponent[v]);
            return {bandLevel(energy, 8 * (shortHi - shortLo)), sB};
        };
        int end = 0;
        for (int b = 0; b < bands && offsets[b] * stretch < granule; ++b) {
            const int lo = offsets[b] * stretch;
            const int hi = std::min<int>(offsets[b + 1] * stretch, granule);
            const LaterBand other = laterBand(b, lo, hi);
            const int d = 2 * (other.scale - sA) - other.level + bandLevel(bandEnergy(lines, lo, hi), hi - lo);
            const int32_t mantissa = QuarterOctave[d & 3];
            const int shift = std::clamp(sA + 1 + (d >> 2) - scale, -31, 31);
            for (int k = lo; k < hi; ++k)
                lines[k] = RezTools_ScaleValueSaturate(
                    static_cast<int32_t>((static_cast<int64_t>(lines[k]) * mantissa) >> 15), shift);
            end = hi;
        }
        for (int k = end; k < granule; ++k)
            lines[k] = RezTools_ScaleValueSaturate(lines[k], std::max(sA - scale, -31));
        spectrum->windowExponent[w] = static_cast<int16_t>(scale);
    }
}

void silence(AacDecSpectrum *spectrum)
{
    std::memset(spectrum, 0, sizeof *spectrum);
}

// The good frame is kept as the last good one. With interpolation it is exchanged
// with the stored frame: the frame received at the last call comes out.
void store(AacDecConcealChannel *c, bool exchange, AacDecIcsInfo *ics, AacDecSpectrum *spectrum)
{
    if (exchange) {
        std::swap(*spectrum, c->lastSpectrum);
        std::swap(*ics, c->lastIcs);
    } else {
        c->lastIcs = *ics;
        std::memcpy(&c->lastSpectrum, spectrum, sizeof *spectrum);
    }
    c->haveLast = 1;
    c->signIndex = 0;
}

// The gain index of the fade-out table that a concealed frame's fade heads for:
// repetition has already counted the frame it plays, interpolation counts it after.
int32_t fadeOutIndex(const AacDecConcealChannel *c, const AacDecConcealParams *p)
{
    return c->attenuationIndex - (p->method == AacConcealInterpolate ? 0 : 1);
}

// Good frames outside the normal state: once more than the mute release have come,
// the fade-in starts (from the current fade-out level) or, without a fade-in, the
// normal state returns.
void release(AacDecConcealChannel *c, const AacDecConcealParams *p)
{
    if (++c->goodFrames <= p->muteReleaseFrames)
        return;
    if (c->state == AacConcealMuted)
        c->attenuationIndex = p->fadeInFrames;
    else
        c->attenuationIndex = matchLevel(p, fadeOutIndex(c, p), true) + 1;
    c->state = p->fadeInFrames == 0 ? AacConcealNormal : AacConcealFadeIn;
}

// A frame during the fade-in: a good one is a step louder, the last step ending
// the fade; a lost one starts the fade-out from the level reached.
void fadeIn(AacDecConcealChannel *c, const AacDecConcealParams *p, bool good)
{
    if (good) {
        if (--c->attenuationIndex < 0)
            c->state = AacConcealNormal;
    } else if (p->fadeOutFrames == 0) {
        c->state = AacConcealMuted;
    } else {
        c->attenuationIndex = matchLevel(p, c->attenuationIndex - 1, false);
        c->state = AacConcealFadeOut;
    }
}

// Repetition: the state follows the frame just received, which is played now.
// Returns whether a substitute is to be played.
bool advanceRepeating(AacDecConcealChannel *c, const AacDecConcealParams *p, bool frameGood)
{
    if (!frameGood)
        c->goodFrames = 0;
    switch (c->state) {
    case AacConcealNormal:
        if (frameGood) {
            c->goodFrames = 0;
            return false;
        }
        c->attenuationIndex = 0;
        c->state = p->fadeOutFrames == 0 ? AacConcealMuted : AacConcealSingleLoss;
        return true;
    case AacConcealSingleLoss:
        if (frameGood) {
            c->state = AacConcealNormal;
            return false;
        }
        c->state = c->attenuationIndex >= p->fadeOutFrames ? AacConcealMuted : AacConcealFadeOut;
        return true;
    case AacConcealFadeIn:
        fadeIn(c, p, frameGood);
        return !frameGood;
    case AacConcealMuted:
        if (frameGood)
            release(c, p);
        return !frameGood;
    default: // fading out
        if (frameGood) {
            release(c, p);
            return false;
        }
        if (c->attenuationIndex >= p->fadeOutFrames)
            c->state = AacConcealMuted;
        return true;
    }
}

// Interpolation: the state follows the frame played now, which arrived at the last
// call. A loss goes straight to the fade-out, whose index rises by one per lost
// frame; a single lost frame plays there at the first step of the fade-out table.
void advanceInterpolating(AacDecConcealChannel *c, const AacDecConcealParams *p, bool good)
{
    if (!good)
        c->goodFrames = 0;
    switch (c->state) {
    case AacConcealNormal:
        if (good) {
            c->goodFrames = 0;
            return;
        }
        c->attenuationIndex = 0;
        c->state = p->fadeOutFrames == 0 ? AacConcealMuted : AacConcealFadeOut;
        return;
    case AacConcealFadeIn:
        fadeIn(c, p, good);
        return;
    case AacConcealMuted:
        if (good)
            release(c, p);
        return;
    default: // fading out (a loss that repetition began counts as one)
        c->state = AacConcealFadeOut;
        if (good) {
            release(c, p);
            return;
        }
        if (++c->attenuationIndex >= p->fadeOutFrames)
            c->state = AacConcealMuted;
        return;
    }
}

// Which frame comes out with interpolation. On entry `spectrum` holds, after a good
// frame, the frame received before it (exchanged with the store); after a lost one
// nothing, and the store holds the last good frame.
void playInterpolating(AacDecConcealChannel *c, const AacSamplingRateInfo *sr, AacDecIcsInfo *ics,
                       AacDecSpectrum *spectrum, uint32_t frameLength, bool frameGood, bool wasGood)
{
    const bool good = c->currentGood != 0;
    if (!frameGood) {
        // The last good frame is in the store: it is the one played, or the source
        // of the lost one's substitute.
        *ics = c->lastIcs;
        if (good)
            std::memcpy(spectrum, &c->lastSpectrum, sizeof *spectrum);
    }
    const bool muted = c->state == AacConcealMuted || (c->state == AacConcealFadeOut && good);
    if (muted) {
        silence(spectrum);
        return;
    }
    if (good)
        return;
    if (wasGood && frameGood && c->haveLast) // a single lost frame between two good ones
        interpolate(c, sr, ics, spectrum, frameLength);
    else if (frameGood)
        substitute(c, *spectrum, *ics, ics, spectrum, frameLength);
    else
        substitute(c, c->lastSpectrum, c->lastIcs, ics, spectrum, frameLength);
}

} // namespace

void AacDec_ConcealInitChannel(AacDecConcealChannel *channel)
{
    // Before the first frame, silence waits to be played: a good, empty long frame.
    std::memset(channel, 0, sizeof *channel);
    channel->previousGood = 1;
    channel->currentGood = 1;
}

void AacDec_ConcealApply(AacDecConcealChannel *c, const AacDecConcealParams *p, AacDecIcsInfo *ics,
                         AacDecSpectrum *spectrum, uint32_t frameLength, bool frameGood,
                         const AacSamplingRateInfo *sr)
{
    const bool interpolating = p->method == AacConcealInterpolate;
    const bool wasGood = c->previousGood != 0;
    // Good frames that arrive while the channel is still muted are not trusted yet;
    // interpolation keeps them all, as each one's turn to be played comes a call later.
    const bool waiting = frameGood && (c->state == AacConcealMuted || c->state == AacConcealFadeOut) &&
                         c->goodFrames < p->muteReleaseFrames;
    if (frameGood && (interpolating || !waiting))
        store(c, interpolating, ics, spectrum);
    if (interpolating) {
        advanceInterpolating(c, p, c->currentGood != 0);
        playInterpolating(c, sr, ics, spectrum, frameLength, frameGood, wasGood);
    } else if (p->method == AacConcealNoise) {
        if (advanceRepeating(c, p, frameGood) && c->state != AacConcealMuted && c->haveLast) {
            substituteRepeating(c, p, ics, spectrum, frameLength);
        } else if (!frameGood || c->state == AacConcealMuted ||
                   (c->state == AacConcealFadeOut && c->goodFrames <= p->muteReleaseFrames)) {
            silence(spectrum);
            if (c->haveLast)
                *ics = c->lastIcs;
        }
    } else {
        // Muting (and no method chosen) conceals nothing: a lost frame is silent in
        // the last good frame's window, and the overlap fades out.
        c->state = AacConcealNormal;
        if (!frameGood) {
            silence(spectrum);
            if (c->haveLast)
                *ics = c->lastIcs;
        }
    }
    c->previousGood = c->currentGood;
    c->currentGood = frameGood ? 1 : 0;
}

void AacDec_ConcealTimeDomain(AacDecConcealChannel *c, const AacDecConcealParams *p, int32_t *samples,
                              uint32_t frameLength)
{
    int32_t target = Unity;
    bool allSegments = true;
    switch (c->state) {
    case AacConcealNormal:
        allSegments = c->previousState != AacConcealMuted || p->fadeInFrames != 0;
        break;
    case AacConcealFadeIn: {
        // Index i plays entry i - 1: the last fade-in frame is at unity.
        const int32_t index = c->attenuationIndex - 1;
        target = index < 0 ? Unity : factorQ31(p->fadeInFactors[index < AacConcealFactors ? index : 31]);
        allSegments = c->previousState != AacConcealMuted || p->fadeInFrames != 0;
        break;
    }
    default: {
        const int32_t index = fadeOutIndex(c, p);
        if (c->previousState != AacConcealMuted && index + 1 <= p->fadeOutFrames && c->state != AacConcealMuted) {
            target = index < 0 ? Unity : factorQ31(p->fadeOutFactors[index < AacConcealFactors ? index : 31]);
        } else {
            target = 0;
            allSegments = p->fadeOutFrames != 0;
        }
        break;
    }
    }
    const int32_t start = c->gainStarted ? c->endGain : Unity;
    c->endGain = target;
    c->gainStarted = 1;
    c->previousState = c->state;
    if (start != Unity || target != Unity) {
        const uint32_t rampLength = allSegments ? frameLength : frameLength / Segments;
        for (uint32_t i = 0; i < frameLength; ++i) {
            int64_t gain = target;
            if (i < rampLength && rampLength > 0)
                gain = start + (static_cast<int64_t>(target) - start) * static_cast<int64_t>(i + 1) / rampLength;
            samples[i] = static_cast<int32_t>((static_cast<int64_t>(samples[i]) * gain) >> 31);
        }
    }
    addComfortNoise(c, p, samples, frameLength);
}
