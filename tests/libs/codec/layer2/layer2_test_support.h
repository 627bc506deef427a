// Helpers of the Layer II tests: fixture files, whole-stream decoding and signal
// measurements.
#pragma once

#include "Layer2Dec.h"

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> readFixture(const std::string &name);

struct DecodedStream
{
    std::vector<std::vector<double>> channels; // samples / 32768
    std::vector<Layer2DecResult> results;      // one per DecodeFrame call that gave output
    std::vector<int> modes;                    // header mode of each frame
    Layer2StreamInfo info{};
};

// Decodes a whole stream, fed in pieces of `chunk` bytes, through a decoder opened
// with the given modes. Stops at the first error result.
DecodedStream decodeStream(const std::vector<uint8_t> &stream, int dabMode = 0, size_t chunk = 333,
                           int interleaved = 1);

// Least-squares fit of a sine of known frequency plus offset; returns the signal to
// residual ratio in dB over samples [begin, end).
double sineSnrDb(const std::vector<double> &x, double frequency, double rate, size_t begin, size_t end);

// Delay (in samples, 0..maxDelay) at which `decoded` best matches `source`.
int bestDelay(const std::vector<double> &source, const std::vector<double> &decoded, int maxDelay);

// Energy in dB of each band [edges[i], edges[i+1]) Hz of a stretch of signal.
std::vector<double> bandEnergiesDb(const std::vector<double> &x, size_t begin, size_t length, double rate,
                                   const std::vector<double> &edges);

// Splits 16-bit little-endian raw PCM into doubles / 32768.
std::vector<double> rawToDoubles(const std::vector<uint8_t> &raw);
