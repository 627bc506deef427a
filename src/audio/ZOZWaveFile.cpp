#include "ZOZWaveFile.h"

#include "base/ZOZLog.h"

#include <QFile>
#include <QIODevice>

#include <cstring>

namespace ZOZ {

namespace {

// Placeholder sizes of a header that has not been finished; they differ by 36 as the real ones do.
constexpr uint32_t PlaceholderRiffSize = 0x7FFFFFFF;
constexpr uint32_t PlaceholderDataSize = 0x7FFFFFDB;
constexpr int MaxFormatBody = 40; // the extensible format is the longest we look at

void appendLittleEndian(QByteArray *bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes->append(char(value >> (8 * i)));
}

uint32_t readLittleEndian(const uchar *bytes, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= uint32_t(bytes[i]) << (8 * i);
    return value;
}

bool writeAt(QIODevice *device, qint64 offset, uint32_t value)
{
    QByteArray bytes;
    appendLittleEndian(&bytes, value, 4);
    return device->seek(offset) && device->write(bytes) == 4;
}

} // namespace

QByteArray makeWaveHeader(uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample)
{
    const uint32_t blockAlign = ((bitsPerSample + 7) / 8) * channels;
    QByteArray header;
    header.reserve(WaveHeaderBytes);
    header.append("RIFF", 4);
    appendLittleEndian(&header, PlaceholderRiffSize, 4);
    header.append("WAVEfmt ", 8);
    appendLittleEndian(&header, 16, 4);
    appendLittleEndian(&header, 1, 2);
    appendLittleEndian(&header, channels, 2);
    appendLittleEndian(&header, sampleRate, 4);
    appendLittleEndian(&header, blockAlign * sampleRate, 4);
    appendLittleEndian(&header, blockAlign, 2);
    appendLittleEndian(&header, bitsPerSample, 2);
    header.append("data", 4);
    appendLittleEndian(&header, PlaceholderDataSize, 4);
    return header;
}

void finishWaveHeader(QIODevice *device)
{
    if (!device || !device->isOpen())
        return;
    const qint64 size = device->size();
    if (size < WaveHeaderBytes)
        return;
    if (!writeAt(device, 4, uint32_t(size - 8)) || !writeAt(device, 40, uint32_t(size - WaveHeaderBytes)))
        return;
    device->seek(size);
}

void pcmToBytes(QByteArray *bytes, const int16_t *samples, int count)
{
    bytes->clear();
    bytes->reserve(2 * count);
    for (int i = 0; i < count; ++i)
        appendLittleEndian(bytes, uint16_t(samples[i]), 2);
}

bool readWaveFile(const QString &fileName, QByteArray *data, WaveFormat *format)
{
    data->clear();
    *format = WaveFormat{};

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray whole = file.readAll();
    const auto *bytes = reinterpret_cast<const uchar *>(whole.constData());
    const qint64 size = whole.size();

    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || qint64(readLittleEndian(bytes + 4, 4)) + 8 > size
        || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    if (size <= 20)
        return true;

    // Every chunk advances by at least 8 bytes, so the walk ends.
    qint64 offset = 12;
    while (offset + 8 < size) {
        const uchar *id = bytes + offset;
        const qint64 chunkSize = readLittleEndian(bytes + offset + 4, 4);
        const qint64 bodyStart = offset + 8;
        const qint64 available = std::min(chunkSize, size - bodyStart);
        if (std::memcmp(id, "fmt ", 4) == 0) {
            uchar area[MaxFormatBody] = {};
            std::memcpy(area, bytes + bodyStart, size_t(std::min<qint64>(available, MaxFormatBody)));
            format->formatTag = uint16_t(readLittleEndian(area, 2));
            format->numChannels = uint16_t(readLittleEndian(area + 2, 2));
            format->sampleRate = readLittleEndian(area + 4, 4);
            format->byteRate = readLittleEndian(area + 8, 4);
            format->blockAlign = uint16_t(readLittleEndian(area + 12, 2));
            format->bitsPerSample = uint16_t(readLittleEndian(area + 14, 2));
        } else if (std::memcmp(id, "data", 4) == 0) {
            data->append(reinterpret_cast<const char *>(bytes + bodyStart), qsizetype(available));
        } else if (std::memcmp(id, "fact", 4) == 0) {
            if (available >= 4)
                format->factSamples = readLittleEndian(bytes + bodyStart, 4);
        } else {
            // LIST, cue and the like carry nothing we play.
            ZOZ_LOG(LogSource::App, QStringLiteral("readWaveFile() -> skipped chunk [id: %1, size: %2]")
                                        .arg(readLittleEndian(id, 4))
                                        .arg(chunkSize));
        }
        // Chunks are word aligned: an odd body is followed by one pad byte.
        offset = bodyStart + chunkSize + (chunkSize & 1);
    }
    return true;
}

} // namespace ZOZ
