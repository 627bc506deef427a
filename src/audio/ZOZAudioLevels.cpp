#include "ZOZAudioLevels.h"

#include <algorithm>
#include <cmath>

namespace ZOZ {

namespace {

constexpr uint32_t Stereo = 2;
constexpr uint32_t Surround = 6;
constexpr uint32_t LowFrequency = 3;

int16_t scaled(int16_t sample, float factor)
{
    return int16_t(std::clamp(std::trunc(float(sample) * factor), -32768.0f, 32767.0f));
}

bool isActive(const AudioLevelValues &values)
{
    return std::any_of(values.channel.begin(), values.channel.end(), [](float level) { return level != 1.0f; });
}

} // namespace

void AudioLevels::restore(const AudioLevelValues &values, Saver save)
{
    QMutexLocker locker(&m_mutex);
    m_values = values;
    m_save = std::move(save);
}

AudioLevelValues AudioLevels::values() const
{
    QMutexLocker locker(&m_mutex);
    return m_values;
}

bool AudioLevels::levelChannelsActive() const
{
    QMutexLocker locker(&m_mutex);
    return isActive(m_values);
}

void AudioLevels::store(float AudioLevelValues::*member, float value, const QString &key)
{
    Saver save;
    {
        QMutexLocker locker(&m_mutex);
        if (m_values.*member == value)
            return;
        m_values.*member = value;
        save = m_save;
    }
    if (save)
        save(key, value);
}

void AudioLevels::setVolumeMax(float value)
{
    store(&AudioLevelValues::volumeMax, value, QStringLiteral("AudioSystem/VolumeMax"));
}

void AudioLevels::setShift(float value)
{
    store(&AudioLevelValues::shift, value, QStringLiteral("AudioSystem/Shift"));
}

void AudioLevels::setBalance(float value)
{
    store(&AudioLevelValues::balance, value, QStringLiteral("AudioSystem/Balance"));
}

void AudioLevels::setLevel(float value)
{
    store(&AudioLevelValues::level, value, QStringLiteral("AudioSystem/Level"));
}

void AudioLevels::setLevelChannel(unsigned channel, float value)
{
    if (channel >= unsigned(AudioLevelValues::Channels))
        return;
    Saver save;
    {
        QMutexLocker locker(&m_mutex);
        if (m_values.channel[channel] == value)
            return;
        m_values.channel[channel] = value;
        save = m_save;
    }
    if (save)
        save(QStringLiteral("AudioSystem/LevelChannel_%1").arg(channel), value);
}

void AudioLevels::apply(int16_t *samples, uint32_t count, uint32_t channels) const
{
    const AudioLevelValues v = values();
    const bool channelLevels = isActive(v);
    const bool surround = channels == Surround;
    const bool gain = channelLevels || v.level != 1.0f || v.volumeMax != 1.0f;
    const bool balance = channels == Stereo && v.balance != 0.0f;
    const bool shift = surround && v.shift != 0.0f;
    // The usual case touches no sample.
    if (!samples || channels == 0 || (!gain && !balance && !shift))
        return;
    const float overall = v.level * v.volumeMax;
    for (uint32_t frame = 0; frame + channels <= count; frame += channels) {
        int16_t *s = samples + frame;
        if (gain) {
            for (uint32_t c = 0; c < channels; ++c) {
                if (surround && v.channel[c] != 1.0f)
                    s[c] = scaled(s[c], v.channel[c]);
                if (overall != 1.0f)
                    s[c] = scaled(s[c], overall);
            }
        }
        if (balance) {
            if (v.balance > 0.0f)
                s[0] = scaled(s[0], 1.0f - v.balance);
            else
                s[1] = scaled(s[1], 1.0f + v.balance);
        }
        if (shift) {
            if (v.shift < 0.0f) {
                for (uint32_t c = 0; c < LowFrequency; ++c)
                    s[c] = scaled(s[c], 1.0f + v.shift);
            } else {
                for (uint32_t c = LowFrequency + 1; c < Surround; ++c)
                    s[c] = scaled(s[c], 1.0f - v.shift);
            }
        }
    }
}

} // namespace ZOZ
