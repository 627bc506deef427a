#include "ZOZWaveOutput.h"

#include "ZOZWaveFile.h"

#include <QFile>

#include <algorithm>

namespace ZOZ {

namespace {

constexpr uint32_t MaxSampleRate = 96000;
constexpr uint32_t MaxChannels = 6;
constexpr uint32_t MaxBits = 32;

bool writeSizeAt(QIODevice *device, qint64 offset, uint32_t value)
{
    char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (8 * i));
    return device->seek(offset) && device->write(bytes, 4) == 4;
}

QString partFileName(const QString &baseName, int part)
{
    if (part <= 1)
        return baseName;
    const bool hasExtension = baseName.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive);
    const QString stem = hasExtension ? baseName.chopped(4) : baseName;
    return QStringLiteral("%1-%2%3").arg(stem).arg(part).arg(hasExtension ? baseName.right(4) : QString());
}

} // namespace

WaveOutput::WaveOutput(uint32_t maxDataBytes)
    : m_maxDataBytes(std::min(maxDataBytes, MaxDataBytes))
{
}

WaveOutput::~WaveOutput()
{
    close();
}

QString WaveOutput::currentFileName() const
{
    return m_baseName.isEmpty() ? QString() : partFileName(m_baseName, m_part);
}

bool WaveOutput::open(const QString &fileName, uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample)
{
    if (!close())
        return false;
    m_file = new QFile(fileName);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate) || !open(m_file, sampleRate, channels, bitsPerSample)) {
        delete m_file;
        m_file = nullptr;
        return false;
    }
    m_baseName = fileName;
    m_part = 1;
    return true;
}

bool WaveOutput::open(QIODevice *device, uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample)
{
    if (device != m_file && !close())
        return false;
    if (!device || !device->isOpen() || !device->seek(0) || sampleRate < 1 || sampleRate > MaxSampleRate
        || channels < 1 || channels > MaxChannels || bitsPerSample < 1 || bitsPerSample > MaxBits)
        return false;
    const QByteArray header = makeWaveHeader(sampleRate, channels, bitsPerSample);
    if (device->write(header) != header.size())
        return false;
    m_device = device;
    m_sampleRate = sampleRate;
    m_numChannels = channels;
    m_bitsPerSample = bitsPerSample;
    m_dataBytes = 0;
    m_baseName.clear();
    m_isOpen = true;
    return true;
}

bool WaveOutput::write(const int16_t *samples, int count)
{
    if (!m_isOpen || !samples)
        return false;
    if (count <= 0)
        return true;
    const uint32_t bytesPerSample = (m_bitsPerSample + 7) / 8;
    if (m_bitsPerSample != 16 && m_bitsPerSample != 24 && m_bitsPerSample != 32)
        return false;

    const uint64_t needed = uint64_t(count) * bytesPerSample;
    if (needed > m_maxDataBytes)
        return false;
    if (m_dataBytes + needed > m_maxDataBytes && !startNextFile())
        return false;

    QByteArray bytes;
    bytes.reserve(int(needed));
    for (int i = 0; i < count; ++i) {
        int64_t value = samples[i];
        if (m_bitsPerSample == 24)
            value = std::clamp<int64_t>(value * 256, -8388608, 8388607);
        else if (m_bitsPerSample == 32)
            value = std::clamp<int64_t>(value * 65536, INT32_MIN, INT32_MAX);
        for (uint32_t b = 0; b < bytesPerSample; ++b)
            bytes.append(char(uint64_t(value) >> (8 * b)));
    }
    if (m_device->write(bytes) != bytes.size())
        return false;
    m_dataBytes += uint32_t(needed);
    return true;
}

bool WaveOutput::startNextFile()
{
    // A device given by the caller cannot be split: refuse rather than wrap its sizes.
    if (!m_file || m_baseName.isEmpty())
        return false;
    const QString baseName = m_baseName;
    const int nextPart = m_part + 1;
    const uint32_t rate = m_sampleRate, channels = m_numChannels, bits = m_bitsPerSample;
    if (!close() || !open(partFileName(baseName, nextPart), rate, channels, bits))
        return false;
    m_baseName = baseName;
    m_part = nextPart;
    return true;
}

bool WaveOutput::close()
{
    if (m_isOpen) {
        if (!m_device->isOpen() || !writeSizeAt(m_device, 4, m_dataBytes + 36) || !writeSizeAt(m_device, 40, m_dataBytes))
            return false;
        m_isOpen = false;
    }
    if (m_file) {
        m_file->close();
        delete m_file;
        m_file = nullptr;
    }
    m_device = nullptr;
    return true;
}

} // namespace ZOZ
