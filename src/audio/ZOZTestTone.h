#pragma once

#include "ZOZAudioStream.h"

#include <cstdint>

namespace ZOZ {

// Whether the speaker test plays, in 2 or 6 channels, on the channels of
// `mask` (bit c: channel c).
struct TestToneMode
{
    bool active = false;
    uint8_t channels = 6;
    uint8_t mask = 0x3F;
    bool operator==(const TestToneMode &) const = default;
};

// The speaker test: falling tones, 1800 Hz down to 360 Hz in five one-second
// steps, and 160 Hz down to 32 Hz on the low-frequency channel, at 48 kHz.
// Blocks follow on from each other.
class TestTone
{
public:
    static constexpr uint32_t SampleRate = 48000;
    static constexpr uint32_t TableLength = 5 * SampleRate;
    static constexpr uint32_t BlockValues = 24000;
    static constexpr int16_t Amplitude = 9830;

    // One block of `channels` (2 or 6) interleaved channels: channel c sounds
    // when bit c of `mask` is set. Other channel counts give a silent block.
    void fill(PcmBlock *block, uint32_t channels, uint8_t mask);

private:
    uint32_t m_position = 0;
};

} // namespace ZOZ
