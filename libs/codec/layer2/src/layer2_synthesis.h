// Polyphase synthesis filter bank of the Layer II decoder: 36 time slots of 32
// sub-band samples (Q28) per channel and frame become 1152 16-bit PCM samples.
#pragma once

#include <cstdint>

constexpr int Layer2SubBands = 32;
constexpr int Layer2TimeSlots = 36;
constexpr int Layer2FrameSamples = Layer2SubBands * Layer2TimeSlots;

struct Layer2SynthesisState
{
    // Newest slot of the rings. Each of the 16 slots holds the transform outputs of
    // one of the last 16 time slots, twice, in the order in which the window reads
    // them at an even and at an odd age.
    int ringPos;
    int32_t ring[2][16][2][Layer2SubBands];
};

void Layer2Synthesis_Init(Layer2SynthesisState *state);

// Runs one frame. pcm1 is used only when channels is 2; stride is the distance
// between two samples of one channel (1 planar or mono, 2 interleaved stereo).
void Layer2Synthesis_Run(Layer2SynthesisState *state, const int32_t samples[2][Layer2TimeSlots][Layer2SubBands],
                         int channels, int16_t *pcm0, int16_t *pcm1, int stride);
