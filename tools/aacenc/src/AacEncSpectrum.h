// Noiseless coding of the encoder: band tables, quantisation, codebook costs, section
// search and the Huffman writing of spectra and scale factors.
#pragma once

#include "AacEncBits.h"

#include <cstdint>
#include <vector>

namespace ZozTestAac {

// Codebook numbers beyond the spectral ones.
constexpr int ZeroCodebook = 0;
constexpr int EscapeCodebook = 11;
constexpr int NoiseCodebook = 13;
constexpr int IntensityOutOfPhaseCodebook = 14;
constexpr int IntensityCodebook = 15;

// Largest magnitude a unit may code, escapes included.
constexpr int MaxQuantised = 8191;

struct BandTable
{
    const int16_t *offsets = nullptr; // first line of each band, then the line count
    int bands = 0;
};

// Scale-factor bands of long (lines = frameLength) or short (frameLength / 8) windows.
// bands 0 for an unsupported combination.
BandTable bandTable(int sampleRate, int lines);

// |x| quantised with the scale factor sf (100 = unit step).
int quantise(double magnitude, int sf);

// Bits to code the values with a spectral codebook 1..11, or -1 when it cannot hold them.
int spectralBits(int codebook, const int *values, int count);
// Writes the values (count a multiple of the codebook's tuple size).
void writeSpectral(BitWriter &writer, int codebook, const int *values, int count);
// Writes a scale-factor difference (-60..60).
void writeScalefactorDelta(BitWriter &writer, int delta);

struct Section
{
    int codebook = 0;
    int start = 0;  // first band
    int length = 0; // bands
};

// Sections over max bands: bandCodebook[b] fixes the codebook of special bands (0
// for an all-zero band, 13..15) and is -1 for a band to be coded with the spectral
// codebook of least cost, whose values are in bandValues[b]. Neighbouring sections are
// merged while that saves bits; lengthBits is 5 for long and 3 for short windows.
std::vector<Section> findSections(const std::vector<int> &bandCodebook,
                                  const std::vector<std::vector<int>> &bandValues, int lengthBits);

} // namespace ZozTestAac
