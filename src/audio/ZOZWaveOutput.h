#pragma once

#include <QString>

#include <cstdint>

class QFile;
class QIODevice;

namespace ZOZ {

// Writes PCM into a RIFF/WAVE file and patches its sizes when it closes.
// Not locked: its user serialises the calls.
class WaveOutput
{
public:
    // The RIFF size field counts 36 bytes more than the data and has 32 bits.
    static constexpr uint32_t MaxDataBytes = 0xFFFFFFFFu - 36;

    // `maxDataBytes` bounds each file; a file opened by name continues in a
    // new file when the next write would pass it, so every header stays true.
    explicit WaveOutput(uint32_t maxDataBytes = MaxDataBytes);
    virtual ~WaveOutput();

    WaveOutput(const WaveOutput &) = delete;
    WaveOutput &operator=(const WaveOutput &) = delete;

    bool open(const QString &fileName, uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample);
    // The device must be open and seekable; it is not owned.
    bool open(QIODevice *device, uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample);
    // 16-bit samples, converted to the file's depth and clamped.
    bool write(const int16_t *samples, int count);
    bool close();

    bool isOpen() const { return m_isOpen; }
    uint32_t dataBytes() const { return m_dataBytes; }
    // The file being written now: the name given to open, then "<name>-2.wav", "<name>-3.wav"...
    QString currentFileName() const;

private:
    bool startNextFile();

    QIODevice *m_device = nullptr;
    QFile *m_file = nullptr; // owned when opened by name
    bool m_isOpen = false;
    uint32_t m_dataBytes = 0;
    uint32_t m_sampleRate = 0;
    uint32_t m_numChannels = 0;
    uint32_t m_bitsPerSample = 0;
    uint32_t m_maxDataBytes;
    QString m_baseName; // the name given to open, empty for a device
    int m_part = 1;
};

} // namespace ZOZ
