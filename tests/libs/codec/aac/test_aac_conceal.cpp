// Concealment of one channel: the states a run of lost frames passes through,
// the substitute spectrum, the fade of the time signal and its table index kept in
// range whatever the settings did meanwhile.
#include "aac_conceal_channel.h"
#include "aac_core.h"
#include "aac_sfb_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t FrameLength = 960;
constexpr int32_t Level = 0x10000000;
// The loudest comfort noise value at the default level: full scale x 2^-11 x 2^-8.
constexpr double ComfortNoisePeak = 4096;

struct Channel
{
    AacDecConcealParams params;
    AacDecConcealChannel conceal;
    AacDecIcsInfo ics {};
    AacDecSpectrum spectrum {};
    std::vector<int32_t> time;

    Channel()
    {
        AacDec_ConcealInitParams(&params);
        // Without comfort noise the gains are read off exactly.
        AacDec_ConcealSetParams(&params, AacConcealNoise, AacConcealKeep, AacConcealKeep, AacConcealKeep, 0);
        AacDec_ConcealInitChannel(&conceal);
    }

    // One frame: a good one carries lines of 1000; returns the gain (against Level)
    // at the end of the frame's time signal.
    double frame(bool good)
    {
        if (good) {
            ics = {};
            ics.windowSequence = AacOnlyLong;
            for (uint32_t k = 0; k < FrameLength; ++k)
                spectrum.lines[k] = 1000;
        } else {
            std::memset(&spectrum, 0x55, sizeof spectrum); // whatever the lost frame left
        }
        AacDec_ConcealApply(&conceal, &params, &ics, &spectrum, FrameLength, good, nullptr);
        time.assign(FrameLength, Level);
        AacDec_ConcealTimeDomain(&conceal, &params, time.data(), FrameLength);
        return double(time.back()) / Level;
    }

    bool substituted() const
    {
        int negated = 0;
        for (uint32_t k = 0; k < FrameLength; ++k) {
            if (std::abs(spectrum.lines[k]) != 1000)
                return false;
            negated += spectrum.lines[k] < 0;
        }
        return negated > 100 && negated < 860;
    }
};

double db(double gain)
{
    return 20 * std::log10(gain);
}

TEST(AacConceal, LossRunFadesOutMutesAndFadesIn)
{
    Channel ch;
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(ch.frame(true), 1.0, 1e-6); // good frames are left alone
    // Lost frames 1..6 repeat the last spectrum with random signs, 3 dB quieter each.
    for (int lost = 1; lost <= 6; ++lost) {
        const double gain = ch.frame(false);
        EXPECT_TRUE(ch.substituted()) << lost;
        EXPECT_NEAR(db(gain), -3.0 * lost, 0.1) << lost;
    }
    // From the seventh on: silence.
    for (int lost = 7; lost <= 9; ++lost) {
        EXPECT_EQ(ch.frame(false), 0.0) << lost;
        for (uint32_t k = 0; k < FrameLength; ++k)
            ASSERT_EQ(ch.spectrum.lines[k], 0) << lost;
    }
    // Good frames fade in over five frames, each louder, then play at unity.
    double previous = 0;
    for (int good = 1; good <= 5; ++good) {
        const double gain = ch.frame(true);
        EXPECT_GT(gain, previous) << good;
        EXPECT_LT(gain, 1.0) << good;
        previous = gain;
    }
    EXPECT_NEAR(ch.frame(true), 1.0, 1e-6);
    EXPECT_NEAR(ch.frame(true), 1.0, 1e-6);
    EXPECT_EQ(ch.conceal.state, AacConcealNormal);
}

TEST(AacConceal, ComfortNoiseWhileConcealedAtItsLevel)
{
    for (int32_t level : {0x100000, 0}) {
        Channel ch;
        ASSERT_EQ(AacDec_ConcealSetParams(&ch.params, AacConcealKeep, AacConcealKeep, AacConcealKeep, AacConcealKeep,
                                          level),
                  0);
        ch.frame(true);
        EXPECT_TRUE(std::all_of(ch.time.begin(), ch.time.end(), [](int32_t x) { return x == Level; }));
        for (int lost = 1; lost <= 8; ++lost)
            ch.frame(false);
        ASSERT_EQ(ch.conceal.state, AacConcealMuted);
        double power = 0;
        int32_t peak = 0;
        for (int32_t x : ch.time) {
            power += double(x) * x;
            peak = std::max(peak, std::abs(x));
        }
        if (level == 0) {
            EXPECT_EQ(peak, 0);
            continue;
        }
        EXPECT_LE(peak, ComfortNoisePeak);
        // Noise, not a constant: well above a few values, below the peak.
        const double rms = std::sqrt(power / FrameLength);
        EXPECT_GT(rms, ComfortNoisePeak / 20);
        EXPECT_LT(rms, ComfortNoisePeak / 2);
    }
}

TEST(AacConceal, SingleLossAndMuting)
{
    Channel noise;
    noise.frame(true);
    noise.frame(false);
    EXPECT_EQ(noise.conceal.state, AacConcealSingleLoss);
    noise.frame(true);
    EXPECT_EQ(noise.conceal.state, AacConcealNormal);

    Channel mute;
    ASSERT_EQ(AacDec_ConcealSetParams(&mute.params, AacConcealMute, AacConcealKeep, AacConcealKeep, AacConcealKeep,
                                      AacConcealKeep),
              0);
    mute.frame(true);
    mute.ics.windowSequence = AacLongStart;
    mute.frame(true);
    mute.frame(false);
    // The spectrum is empty and the last good frame's window stays.
    for (uint32_t k = 0; k < FrameLength; ++k)
        ASSERT_EQ(mute.spectrum.lines[k], 0);
    EXPECT_EQ(mute.ics.windowSequence, uint32_t(AacOnlyLong));
}

// Interpolation, frame by frame: each call plays the frame of the call before.
struct Interpolating
{
    AacDecConcealParams params;
    AacDecConcealChannel conceal;
    AacDecIcsInfo ics {};
    AacDecSpectrum spectrum {};
    AacSamplingRateInfo sr {AacSfbTables::swb_offset_960_48, AacSfbTables::swb_offset_120_48, 49, 14, 3, 48000};

    Interpolating()
    {
        AacDec_ConcealInitParams(&params);
        AacDec_ConcealInitChannel(&conceal);
    }

    // A good frame: every line `value`, at block scale `scale`, with sign pattern
    // (-1)^(k / 3) so that random signs would show.
    void frame(bool good, int32_t value = 0, int scale = 0, bool shortWindows = false)
    {
        if (good) {
            ics = {};
            ics.windowSequence = shortWindows ? AacEightShort : AacOnlyLong;
            std::memset(&spectrum, 0, sizeof spectrum);
            for (uint32_t k = 0; k < FrameLength; ++k)
                spectrum.lines[k] = (k / 3) % 2 ? -value : value;
            for (int w = 0; w < (shortWindows ? 8 : 1); ++w)
                spectrum.windowExponent[w] = static_cast<int16_t>(scale);
        } else {
            std::memset(spectrum.lines, 0, sizeof spectrum.lines);
        }
        AacDec_ConcealApply(&conceal, &params, &ics, &spectrum, FrameLength, good, &sr);
    }

    // The played line k as a value at block scale 0.
    double line(uint32_t k) const
    {
        const uint32_t window = ics.windowSequence == AacEightShort ? k / (FrameLength / 8) : 0;
        return std::ldexp(double(spectrum.lines[k]), spectrum.windowExponent[window]);
    }
};

TEST(AacConceal, InterpolationPlaysEachFrameOneFrameLate)
{
    Interpolating ch;
    ASSERT_EQ(AacDec_ConcealGetDelay(&ch.params), 1);
    ch.frame(true, 1000);
    for (uint32_t k = 0; k < FrameLength; ++k)
        ASSERT_EQ(ch.spectrum.lines[k], 0) << "nothing received before the first frame";
    for (int32_t value : {2000, 3000, 4000}) {
        ch.frame(true, value);
        EXPECT_EQ(ch.line(2), value - 1000);
        EXPECT_EQ(ch.line(3), -(value - 1000));
    }
}

// A single lost frame between a frame and one 12 dB louder comes out halfway,
// 6 dB up, with the signs and windows of the earlier one (not random signs),
// whether the neighbours have long or eight short windows or one of each. It is a
// loss all the same: its time signal fades to the first step of the fade-out table
// (-3 dB), and the next frame fades back in from there.
TEST(AacConceal, SingleLostFrameIsInterpolatedFromBothNeighbours)
{
    for (const auto &[earlierShort, laterShort] : {std::pair{false, false}, std::pair{true, true},
                                                   std::pair{false, true}, std::pair{true, false}}) {
        SCOPED_TRACE(std::string(earlierShort ? "short" : "long") + " then " + (laterShort ? "short" : "long"));
        Interpolating ch;
        AacDec_ConcealSetParams(&ch.params, AacConcealKeep, AacConcealKeep, AacConcealKeep, AacConcealKeep, 0);
        ch.frame(true, 1 << 20, 0, earlierShort);
        ch.frame(true, 1 << 20, 0, earlierShort); // plays the first
        ch.frame(false);                          // plays the second
        ch.frame(true, 1 << 20, 2, laterShort);   // plays the lost one
        EXPECT_EQ(ch.conceal.state, AacConcealFadeOut);
        EXPECT_EQ(ch.ics.windowSequence, uint32_t(earlierShort ? AacEightShort : AacOnlyLong));
        for (uint32_t k : {0u, 3u, 100u, 500u, 959u})
            EXPECT_DOUBLE_EQ(ch.line(k), ((k / 3) % 2 ? -2.0 : 2.0) * (1 << 20)) << k;
        std::vector<int32_t> time(FrameLength, Level);
        AacDec_ConcealTimeDomain(&ch.conceal, &ch.params, time.data(), FrameLength);
        EXPECT_NEAR(db(double(time.back()) / Level), -3.01, 0.01);
        ch.frame(true, 1 << 20, 2, laterShort); // plays the louder one as received
        EXPECT_EQ(ch.conceal.state, AacConcealFadeIn);
        EXPECT_DOUBLE_EQ(ch.line(0), 4.0 * (1 << 20));
        time.assign(FrameLength, Level);
        AacDec_ConcealTimeDomain(&ch.conceal, &ch.params, time.data(), FrameLength);
        EXPECT_NEAR(db(double(time.back()) / Level), -3.01, 0.01);
        ch.frame(true, 1 << 20, 2, laterShort);
        time.assign(FrameLength, Level);
        AacDec_ConcealTimeDomain(&ch.conceal, &ch.params, time.data(), FrameLength);
        EXPECT_NEAR(double(time.back()) / Level, 1.0, 1e-6);
    }

    Interpolating twice;
    twice.frame(true, 1 << 20);
    twice.frame(true, 1 << 20);
    twice.frame(false);
    twice.frame(false);         // plays the first lost one
    int negated = 0;
    for (uint32_t k = 0; k < FrameLength; ++k) {
        ASSERT_EQ(std::abs(twice.line(k)), double(1 << 20)) << k;
        negated += (twice.line(k) < 0) != ((k / 3) % 2 == 1);
    }
    EXPECT_GT(negated, 100) << "repeated with random signs";
}

// Settings changed in the middle of a fade, and an index driven past the tables:
// the gains stay those of the tables' ends.
TEST(AacConceal, FadeIndexStaysInRange)
{
    Channel ch;
    ASSERT_EQ(AacDec_ConcealSetParams(&ch.params, AacConcealKeep, 31, 31, AacConcealKeep, AacConcealKeep), 0);
    ch.frame(true);
    for (int lost = 0; lost < 20; ++lost)
        ch.frame(false);
    ASSERT_EQ(AacDec_ConcealSetParams(&ch.params, AacConcealKeep, 0, 0, AacConcealKeep, AacConcealKeep), 0);
    for (int lost = 0; lost < 3; ++lost)
        EXPECT_GE(ch.frame(false), 0.0);
    ch.frame(true);
    EXPECT_EQ(ch.conceal.state, AacConcealNormal);

    for (uint8_t state : {AacConcealFadeOut, AacConcealFadeIn, AacConcealSingleLoss}) {
        for (int32_t index : {-5, 0, 32, 1000}) {
            Channel c;
            c.conceal.state = state;
            c.conceal.attenuationIndex = index;
            std::vector<int32_t> time(FrameLength, Level);
            AacDec_ConcealTimeDomain(&c.conceal, &c.params, time.data(), FrameLength);
            EXPECT_GE(time.back(), 0) << int(state) << " " << index;
            EXPECT_LE(time.back(), Level) << int(state) << " " << index;
        }
    }
}

// Interpolation acts on a loss one frame later than repetition, and from two lost
// frames on with the same fade: the gains it plays are repetition's, a frame late.
TEST(AacConceal, InterpolationFadesLikeRepetitionOneFrameLater)
{
    const std::vector<std::vector<bool>> patterns = {
        {true, true, false, false, true, true, true, true, true},
        {true, true, false, false, false, true, true, true, true, true, true},
        {true, false, false, false, false, false, false, false, false, false, true, true, true, true, true, true,
         true, true},
        {true, false, false, true, false, false, true, true, true, true, true},
    };
    for (const std::vector<bool> &pattern : patterns) {
        Channel repeating;
        Channel interpolating;
        AacDec_ConcealSetParams(&interpolating.params, AacConcealInterpolate, AacConcealKeep, AacConcealKeep,
                                AacConcealKeep, AacConcealKeep);
        std::vector<double> prompt;
        std::vector<double> late;
        for (bool good : pattern) {
            prompt.push_back(repeating.frame(good));
            late.push_back(interpolating.frame(good));
        }
        for (size_t i = 0; i + 1 < pattern.size(); ++i)
            EXPECT_NEAR(late[i + 1], prompt[i], 1e-6) << "frame " << i;
        EXPECT_EQ(interpolating.conceal.state, AacConcealNormal);
    }
}

// Frames 1000, 2000, ... through one channel whose method changes before frame 4:
// which frame each call plays.
std::vector<int32_t> playedAcrossSwitch(int32_t from, int32_t to)
{
    Interpolating ch;
    AacDec_ConcealSetParams(&ch.params, from, AacConcealKeep, AacConcealKeep, AacConcealKeep, AacConcealKeep);
    std::vector<int32_t> played;
    for (int32_t f = 1; f <= 6; ++f) {
        if (f == 4)
            AacDec_ConcealSetParams(&ch.params, to, AacConcealKeep, AacConcealKeep, AacConcealKeep, AacConcealKeep);
        ch.frame(true, 1000 * f);
        played.push_back(int32_t(ch.line(0)) / 1000);
    }
    return played;
}

// Switching changes the delay by one frame: to interpolation the frame before the
// switch plays twice, from it the frame held back is skipped; either way every
// other frame plays once, in order, and the state stays normal.
TEST(AacConceal, MethodSwitchRepeatsOrSkipsOneFrame)
{
    EXPECT_EQ(playedAcrossSwitch(AacConcealNoise, AacConcealInterpolate), (std::vector<int32_t> {1, 2, 3, 3, 4, 5}));
    EXPECT_EQ(playedAcrossSwitch(AacConcealInterpolate, AacConcealNoise), (std::vector<int32_t> {0, 1, 2, 4, 5, 6}));
    EXPECT_EQ(playedAcrossSwitch(AacConcealMute, AacConcealInterpolate), (std::vector<int32_t> {1, 2, 3, 3, 4, 5}));
}

} // namespace
