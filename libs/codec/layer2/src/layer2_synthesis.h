// Polyphase synthesis filter bank of the Layer II decoder: 36 time slots of 32
// sub-band samples (Q28) per channel and frame become 1152 16-bit PCM samples.
#pragma once

#include <cstdint>

constexpr int Layer2SubBands = 32;
constexpr int Layer2TimeSlots = 36;
constexpr int Layer2FrameSamples = Layer2SubBands * Layer2TimeSlots;

struct Layer2SynthesisState
{
    // Newest slot (0..15) of the last 16 time slots' transform outputs.
    int ringPos;
    // The outputs as the window reads them: for each output sample j, its value of
    // every slot, written twice (slots s and s + 16) so that the 16 newest values
    // always lie in sequence from ringPos on. A slot offers sample j one value at an
    // even and another at an odd age; phase p keeps at slot s the value of the
    // age that slot has when ringPos & 1 is p. Samples j and 32 - j read the same
    // values, so only j = 0..16 are kept.
    int32_t ring[2][2][Layer2SubBands / 2 + 1][32]; // [channel][phase][j][slot]
    // 1 when the window runs on the processor's vector unit (AVX2), chosen by Init;
    // both ways give the same samples.
    uint8_t vectorWindow;
};

void Layer2Synthesis_Init(Layer2SynthesisState *state);

// Runs one frame. pcm1 is used only when channels is 2; stride is the distance
// between two samples of one channel (1 planar or mono, 2 interleaved stereo).
void Layer2Synthesis_Run(Layer2SynthesisState *state, const int32_t samples[2][Layer2TimeSlots][Layer2SubBands],
                         int channels, int16_t *pcm0, int16_t *pcm1, int stride);
