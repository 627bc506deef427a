// The level of one frequency in 16-bit PCM, for tests that check what a
// decoder or the player put out.
#ifndef ZOZ_TEST_TONE_LEVEL_H
#define ZOZ_TEST_TONE_LEVEL_H

#include <cstddef>
#include <cstdint>

// Magnitude of `frequency` (Goertzel) over `count` samples taken every `stride`
// values from `samples` (stride 2 for one channel of interleaved stereo).
double toneLevel(const int16_t *samples, std::size_t count, std::size_t stride, double frequency,
                 double sampleRate = 48000);

#endif
