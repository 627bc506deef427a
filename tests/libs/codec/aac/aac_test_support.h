// Helpers of the AAC tests: a bit writer for inline configurations and frames,
// and a bitwise CRC written from its definition (not the toolbox's engine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BitWriter
{
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;

    BitWriter &put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (bits % 8 == 0)
                bytes.push_back(0);
            if ((value >> i) & 1)
                bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
            ++bits;
        }
        return *this;
    }
    BitWriter &align()
    {
        while (bits % 8)
            put(0, 1);
        return *this;
    }
};

// CRC register over the first `bitCount` bits of data, MSB first.
inline uint32_t referenceCrc(const std::vector<uint8_t> &data, uint32_t bitCount, uint32_t polynomial,
                             uint32_t start, int width)
{
    uint32_t reg = start;
    const uint32_t top = 1u << (width - 1);
    const uint32_t mask = (top << 1) - 1;
    for (uint32_t i = 0; i < bitCount; ++i) {
        const uint32_t bit = (data[i / 8] >> (7 - i % 8)) & 1;
        const bool feedback = ((reg & top) != 0) != (bit != 0);
        reg = (reg << 1) & mask;
        if (feedback)
            reg ^= polynomial & mask;
    }
    return reg;
}

std::vector<uint8_t> readFixture(const std::string &name);

struct AacDecInstance;

// Feeds an ADTS fixture through a fresh decoder's transport and calls unit(h) for
// every access unit, with the transport positioned at the unit's raw data block; a
// false return stops. Returns the number of units, or -1 when the transport failed.
int forEachAdtsUnit(const std::string &name, bool (*unit)(AacDecInstance *h, void *context), void *context);

// A decoded stream: per channel, samples at full scale 1.0.
struct Decoded
{
    int channels = 0;
    int rate = 0;
    std::vector<std::vector<double>> samples; // per channel, full scale 1.0
    int errors = 0;
};

// ffmpeg's decoding of the same fixture as float samples, or empty without ffmpeg.
Decoded referenceDecode(const std::string &file, int channels);
// faad's decoding (Debian's command) of the same fixture, or empty without faad.
Decoded referenceDecodeFaad(const std::string &file, int channels);
// The source signal of a core fixture (tools/aac/make-core-fixtures.sh --source, the
// name without "core-" and ".aac"), or empty without ffmpeg.
Decoded encoderSource(const std::string &stream, int channels);

struct Comparison
{
    double gain;     // ours relative to the reference
    double snrDb;    // reference power over difference power after the gain
    int64_t offset;  // our sample index of the reference's first sample
};

// The best of the offsets `extra` and whole frames (0, 960, 1024, 2048; ffmpeg drops the
// encoder's priming frame).
Comparison compare(const std::vector<double> &ours, const std::vector<double> &ref, int64_t extra = 0);

// Energy per 1/3-octave band (centres from 100 Hz) of a signal, in dB.
std::vector<double> thirdOctaveEnergies(const std::vector<double> &x, int rate);

// Signal-to-residual ratio in dB of the best-fitting sine of a frequency over [from, to).
double toneSnr(const std::vector<double> &x, double frequency, int rate, size_t from, size_t to);
