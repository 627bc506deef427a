// The output's gain stage and the speaker test's tones.
#include "ZOZAudioLevels.h"
#include "ZOZTestTone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <vector>

namespace {

using ZOZ::AudioLevels;
using ZOZ::AudioLevelValues;

std::vector<int16_t> scaled(const AudioLevelValues &values, std::vector<int16_t> samples, uint32_t channels)
{
    AudioLevels levels;
    levels.restore(values, {});
    levels.apply(samples.data(), uint32_t(samples.size()), channels);
    return samples;
}

// The strongest of a few candidate frequencies in one channel's samples.
double levelAt(const std::vector<int16_t> &samples, double hz)
{
    double re = 0, im = 0;
    for (size_t n = 0; n < samples.size(); ++n) {
        const double phase = 2 * std::numbers::pi * hz * double(n) / ZOZ::TestTone::SampleRate;
        re += samples[n] * std::cos(phase);
        im += samples[n] * std::sin(phase);
    }
    return std::hypot(re, im) / double(samples.size());
}

} // namespace

TEST(AudioLevels, ScalesAsTheSettingsSay)
{
    const std::vector<int16_t> stereo {1000, 1000, -1001, -1001};
    const std::vector<int16_t> surround {1000, 1000, 1000, 1000, 1000, 1000};
    struct Case
    {
        const char *name;
        AudioLevelValues values;
        std::vector<int16_t> in;
        uint32_t channels;
        std::vector<int16_t> out;
    };
    AudioLevelValues balanceRight;
    balanceRight.balance = 0.25f;
    AudioLevelValues balanceLeft;
    balanceLeft.balance = -0.5f;
    AudioLevelValues half;
    half.level = 0.5f;
    AudioLevelValues loud;
    loud.level = 2.0f;
    loud.volumeMax = 20.0f;
    AudioLevelValues front;
    front.shift = -0.5f;
    AudioLevelValues back;
    back.shift = 0.5f;
    AudioLevelValues centre;
    centre.channel[2] = 0.5f;
    AudioLevelValues stereoShift;
    stereoShift.shift = -0.5f;
    const Case cases[] = {
        {"defaults touch nothing", AudioLevelValues {}, stereo, 2, stereo},
        {"balance 0.25 lowers left only", balanceRight, stereo, 2, {750, 1000, -750, -1001}},
        {"balance -0.5 lowers right only", balanceLeft, stereo, 2, {1000, 500, -1001, -500}},
        {"level truncates toward zero", half, stereo, 2, {500, 500, -500, -500}},
        {"loud saturates", loud, stereo, 2, {32767, 32767, -32768, -32768}},
        {"shift -0.5 halves the front three", front, surround, 6, {500, 500, 500, 1000, 1000, 1000}},
        {"shift 0.5 halves the back two", back, surround, 6, {1000, 1000, 1000, 1000, 500, 500}},
        {"a channel level in 6 channels", centre, surround, 6, {1000, 1000, 500, 1000, 1000, 1000}},
        {"shift means nothing in stereo", stereoShift, stereo, 2, stereo},
    };
    for (const Case &c : cases)
        EXPECT_EQ(scaled(c.values, c.in, c.channels), c.out) << c.name;
}

TEST(AudioLevels, SettersKeepOnlyChangesAndIgnoreChannelsPastFive)
{
    AudioLevels levels;
    std::map<QString, QVariant> saved;
    levels.restore({}, [&saved](const QString &key, const QVariant &value) { saved[key] = value; });
    levels.setLevelChannel(6, 0.5f);
    levels.setBalance(0.0f);
    EXPECT_TRUE(saved.empty());
    EXPECT_FALSE(levels.levelChannelsActive());
    levels.setLevelChannel(2, 0.5f);
    levels.setVolumeMax(0.8f);
    EXPECT_TRUE(levels.levelChannelsActive());
    EXPECT_EQ(saved.size(), 2u);
    EXPECT_FLOAT_EQ(saved[QStringLiteral("AudioSystem/LevelChannel_2")].toFloat(), 0.5f);
    EXPECT_FLOAT_EQ(saved[QStringLiteral("AudioSystem/VolumeMax")].toFloat(), 0.8f);
    EXPECT_FLOAT_EQ(levels.values().channel[2], 0.5f);
}

// With 6 channels and mask 8 only the low-frequency channel sounds, at 160 Hz
// in the first second and 32 Hz in the last; mask 0 gives silent blocks.
TEST(TestTone, LowFrequencyChannelFallsFrom160To32Hz)
{
    ZOZ::TestTone tone;
    constexpr uint32_t Channels = 6;
    std::vector<std::vector<int16_t>> channel(Channels);
    ZOZ::PcmBlock block;
    const uint32_t blocks = ZOZ::TestTone::TableLength * Channels / ZOZ::TestTone::BlockValues;
    for (uint32_t b = 0; b < blocks; ++b) {
        tone.fill(&block, Channels, 8);
        ASSERT_EQ(block.samples, ZOZ::TestTone::BlockValues);
        const auto *samples = reinterpret_cast<const int16_t *>(block.pcm.data());
        for (uint32_t n = 0; n < block.samples; ++n)
            channel[n % Channels].push_back(samples[n]);
    }
    for (uint32_t c = 0; c < Channels; ++c) {
        if (c == 3)
            continue;
        for (int16_t s : channel[c])
            ASSERT_EQ(s, 0) << "channel " << c;
    }
    const std::vector<int16_t> first(channel[3].begin(), channel[3].begin() + ZOZ::TestTone::SampleRate);
    const std::vector<int16_t> last(channel[3].end() - ZOZ::TestTone::SampleRate, channel[3].end());
    EXPECT_NEAR(levelAt(first, 160), ZOZ::TestTone::Amplitude / 2.0, 50);
    EXPECT_NEAR(levelAt(last, 32), ZOZ::TestTone::Amplitude / 2.0, 50);
    EXPECT_LT(levelAt(first, 32), 100);

    tone.fill(&block, Channels, 0);
    const auto *silent = reinterpret_cast<const int16_t *>(block.pcm.data());
    for (uint32_t n = 0; n < block.samples; ++n)
        ASSERT_EQ(silent[n], 0);
}

// Stereo uses table A on both channels, 1800 Hz first; the position carries
// over between blocks, so consecutive blocks join without a jump.
TEST(TestTone, StereoBlocksContinueTheTone)
{
    ZOZ::TestTone tone;
    ZOZ::PcmBlock block;
    std::vector<int16_t> left;
    for (int b = 0; b < 4; ++b) {
        tone.fill(&block, 2, 3);
        const auto *samples = reinterpret_cast<const int16_t *>(block.pcm.data());
        for (uint32_t n = 0; n < block.samples; n += 2) {
            EXPECT_EQ(samples[n], samples[n + 1]);
            left.push_back(samples[n]);
        }
    }
    ASSERT_EQ(left.size(), size_t(ZOZ::TestTone::SampleRate));
    EXPECT_NEAR(levelAt(left, 1800), ZOZ::TestTone::Amplitude / 2.0, 50);
    for (size_t n = 0; n < left.size(); ++n)
        ASSERT_EQ(left[n], int16_t(std::sin(2 * std::numbers::pi * 1800.0 * double(n) / 48000) * 9830)) << n;
}
