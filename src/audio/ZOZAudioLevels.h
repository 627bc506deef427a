#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <functional>

namespace ZOZ {

// The output's gain settings as they are kept between runs.
struct AudioLevelValues
{
    static constexpr int Channels = 6; // front left, front right, centre, low frequency, back left, back right

    float volumeMax = 1.0f;
    float shift = 0.0f;   // front/back fader of 6-channel output: < 0 lowers the front, > 0 the back
    float balance = 0.0f; // > 0 lowers the left channel, < 0 the right one
    float level = 1.0f;
    std::array<float, Channels> channel {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

    bool operator==(const AudioLevelValues &) const = default;
};

// The gain stage of the audio output: volume, level, balance, per-channel
// levels and the front/back fader, applied to every block played. Setters come
// from page requests, apply() from the output thread.
class AudioLevels
{
public:
    // Keeps one changed setting: its key in the settings store and its value.
    using Saver = std::function<void(const QString &key, const QVariant &value)>;

    void restore(const AudioLevelValues &values, Saver save);
    AudioLevelValues values() const;
    // A channel's level is not 1.
    bool levelChannelsActive() const;

    // Each stores only a changed value and then keeps it.
    void setVolumeMax(float value);
    void setShift(float value);
    void setBalance(float value);
    void setLevel(float value);
    // Channels above 5 are ignored.
    void setLevelChannel(unsigned channel, float value);

    // Scales interleaved 16-bit frames of `channels` channels; products are
    // truncated toward zero and saturate instead of wrapping.
    void apply(int16_t *samples, uint32_t count, uint32_t channels) const;

private:
    void store(float AudioLevelValues::*member, float value, const QString &key);

    mutable QMutex m_mutex;
    AudioLevelValues m_values;
    Saver m_save;
};

} // namespace ZOZ
