#include "ZOZAudioStream.h"

#include "base/ZOZLog.h"

#include <QMutexLocker>

#include <numeric>

namespace ZOZ {

namespace {

// The largest gap between playback clock and stream clock that is still a lag;
// anything larger is a stream ahead of the clock, seen through unsigned wrap.
constexpr uint32_t MaxLagMs = 10000;

} // namespace

std::atomic<uint32_t> &playbackClock()
{
    static std::atomic<uint32_t> clock{1};
    return clock;
}

void AudioStream::streamAdd(const AudioFormat &format, const PcmBlock &data, bool isPlaying)
{
    const uint32_t bytesPerSample = format.bitsPerSample >> 3;
    const uint32_t bytesPerFrame = format.numChannels * bytesPerSample;
    const uint32_t bytesPerSecond = format.sampleRate * bytesPerFrame;
    if (bytesPerSecond == 0)
        return;

    QMutexLocker lock(&m_mutex);
    if (bytesPerSecond != m_bytesPerSecond) {
        if (m_bytesPerSecond != 0)
            ZOZ_LOG(LogSource::AudioOutput,
                    QStringLiteral("AudioStream::streamAdd()[%1] -> reconfig, clearing stream").arg(logAddress(this)));
        m_bytesPerFrame = bytesPerFrame;
        m_bytesPerSample = bytesPerSample;
        m_bytesPerSecond = bytesPerSecond;
        // The shortest run of whole frames that lasts a whole number of
        // milliseconds: rate / gcd(rate, 1000) frames, 1000 / gcd ms. It holds
        // for every rate and channel count, so blocks never carry fractions of a
        // millisecond and the clocks never drift.
        const uint32_t common = std::gcd(format.sampleRate, 1000u);
        m_chunkBytes = (format.sampleRate / common) * bytesPerFrame;
        m_chunkMs = 1000 / common;
        m_buffer.clear();
        m_capBytes = 4 * bytesPerSecond;
        m_blockBytes = m_chunkBytes > MaxBlockBytes ? m_chunkBytes : MaxBlockBytes - MaxBlockBytes % m_chunkBytes;
        m_blockSamples = m_blockBytes / bytesPerSample;
        m_blockMs = (m_blockBytes / m_chunkBytes) * m_chunkMs;
        m_clock = playbackClock().load();
    }

    const uint32_t length = std::min<uint32_t>(data.bytes, uint32_t(data.pcm.size()));
    m_buffer.append(reinterpret_cast<const char *>(data.pcm.data()), qsizetype(length));

    if (!isPlaying && uint32_t(m_buffer.size()) > m_capBytes) {
        // Keep whole chunks, so the clock stays exact.
        const uint32_t drop = (m_capBytes / 2 / m_chunkBytes) * m_chunkBytes;
        m_buffer.remove(0, qsizetype(drop));
        m_clock += (drop / m_chunkBytes) * m_chunkMs;
    }
}

void AudioStream::streamRead(PcmBlock *out)
{
    out->samples = 0;
    out->bytes = 0;
    QMutexLocker lock(&m_mutex);
    if (m_blockBytes == 0 || uint32_t(m_buffer.size()) < m_blockBytes)
        return;
    out->pcm.assign(m_buffer.constData(), m_buffer.constData() + m_blockBytes);
    m_buffer.remove(0, qsizetype(m_blockBytes));
    out->bytes = m_blockBytes;
    out->samples = m_blockSamples;
    playbackClock().fetch_add(m_blockMs);
    m_clock += m_blockMs;
}

void AudioStream::streamSynchronize()
{
    QMutexLocker lock(&m_mutex);
    uint32_t lag = playbackClock().load() - m_clock;
    if (m_blockMs == 0 || lag > MaxLagMs)
        return;
    while (lag > m_blockMs) {
        if (uint32_t(m_buffer.size()) < m_blockBytes) {
            const qsizetype dropped = m_buffer.size();
            m_buffer.clear();
            m_clock = playbackClock().load();
            if (dropped != 0)
                ZOZ_LOG(LogSource::AudioOutput | LogFlag::Notice,
                        QStringLiteral("AudioStream::streamSynchronize()[%1] -> buffer sync (deleted %2 bytes, "
                                       "remaining timeDiff: %3)")
                            .arg(logAddress(this))
                            .arg(dropped)
                            .arg(0));
            return;
        }
        m_buffer.remove(0, qsizetype(m_blockBytes));
        lag -= m_blockMs;
        m_clock += m_blockMs;
    }
}

void AudioStream::streamClear()
{
    QMutexLocker lock(&m_mutex);
    m_buffer.clear();
    m_clock = playbackClock().load();
}

AudioStreamConfig AudioStream::streamConfig() const
{
    QMutexLocker lock(&m_mutex);
    return m_config;
}

void AudioStream::setStreamConfig(const AudioStreamConfig &config)
{
    QMutexLocker lock(&m_mutex);
    m_config = config;
}

#define ZOZ_LOCKED_GETTER(name, expression)                                                                            \
    uint32_t AudioStream::name() const                                                                                 \
    {                                                                                                                  \
        QMutexLocker lock(&m_mutex);                                                                                   \
        return expression;                                                                                             \
    }
ZOZ_LOCKED_GETTER(chunkBytes, m_chunkBytes)
ZOZ_LOCKED_GETTER(chunkMs, m_chunkMs)
ZOZ_LOCKED_GETTER(blockBytes, m_blockBytes)
ZOZ_LOCKED_GETTER(blockMs, m_blockMs)
ZOZ_LOCKED_GETTER(bufferedBytes, uint32_t(m_buffer.size()))
ZOZ_LOCKED_GETTER(bufferedMs, m_chunkBytes ? uint32_t(m_buffer.size()) / m_chunkBytes * m_chunkMs : 0)
ZOZ_LOCKED_GETTER(streamClock, m_clock)
#undef ZOZ_LOCKED_GETTER

} // namespace ZOZ
