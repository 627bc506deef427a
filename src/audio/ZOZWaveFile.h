#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class QIODevice;

namespace ZOZ {

constexpr int WaveHeaderBytes = 44;

// The format of a WAVE file as readWaveFile found it.
struct WaveFormat
{
    uint16_t formatTag = 0;
    uint16_t numChannels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t factSamples = 0; // from a "fact" chunk, else 0
};

// The 44-byte PCM header with placeholder sizes that announce nearly 2 GB, so a
// file that is never closed still plays.
QByteArray makeWaveHeader(uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample);
// Writes the sizes of a growing file into its header and returns to the end, so
// that a file cut short stays readable. Quietly does nothing when it cannot.
void finishWaveHeader(QIODevice *device);
// Replaces `bytes` with the samples, two little-endian bytes each.
void pcmToBytes(QByteArray *bytes, const int16_t *samples, int count);
// Loads a whole WAVE file: its "data" bodies into `data`, its format into
// `format`. Chunks other than "fmt ", "data" and "fact" are stepped over.
bool readWaveFile(const QString &fileName, QByteArray *data, WaveFormat *format);

} // namespace ZOZ
