#include "ZOZServiceAudio.h"

#include "base/ZOZLog.h"

#include <algorithm>
#include <cstring>

namespace ZOZ {

namespace {

constexpr quint32 LogAudio = LogSource::ServiceAudio;
constexpr quint32 LogAudioWarning = LogSource::ServiceAudio | LogFlag::Warning;

bool singleDecode()
{
    Settings *settings = Settings::instance();
    return !settings || settings->audioSingleDecode();
}

} // namespace

ServiceAudio::ServiceAudio()
    : Service(false)
{
    m_audioFormat.bitsPerSample = 16;
    m_pcm.pcm.resize(PcmBufferBytes);
    ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudio::ServiceAudio()"));
}

ServiceAudio::~ServiceAudio()
{
    ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudio::~ServiceAudio()"));
}

void ServiceAudio::init(ServiceDescriptor &descriptor)
{
    Service::init(descriptor);
}

AudioFormat ServiceAudio::audioFormat() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_audioFormat;
}

QString ServiceAudio::codecName() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_codecName;
}

QString ServiceAudio::systemName() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_systemName;
}

QString ServiceAudio::channelText() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_channelText;
}

void ServiceAudio::updateChannelText()
{
    QMutexLocker locker(&m_serviceMutex);
    switch (m_audioFormat.numChannels) {
    case 0:
        m_channelText.clear();
        break;
    case 1:
        m_channelText = QStringLiteral("Mono");
        break;
    case 2:
        m_channelText = QStringLiteral("Stereo");
        break;
    default:
        m_channelText = QStringLiteral("Surround");
        break;
    }
    setServiceType(m_codecName);
}

void ServiceAudio::reset()
{
    flush();
    streamClear();
    emit resetted();
}

void ServiceAudio::play()
{
    if (m_isPlaying.exchange(true))
        return;
    if (singleDecode()) {
        flush();
        streamClear();
        emit resetted();
    }
    emit playing();
}

void ServiceAudio::stop()
{
    if (!m_isPlaying.exchange(false))
        return;
    if (singleDecode()) {
        flush();
        streamClear();
        emit resetted();
    }
    emit stopped();
}

bool ServiceAudio::findSuperframe()
{
    return true;
}

bool ServiceAudio::decodeFrame(uint32_t &)
{
    return false;
}

bool ServiceAudio::checkReconfig()
{
    return false;
}

bool ServiceAudio::checkFormat()
{
    return false;
}

void ServiceAudio::consumeFrameBytes(uint32_t bytes)
{
    bytes = std::min(bytes, m_fill);
    if (bytes == 0)
        return;
    std::memmove(m_frameBuffer.data(), m_frameBuffer.data() + bytes, m_fill - bytes);
    m_fill -= bytes;
}

bool ServiceAudio::handlePacket(int length, const uchar *const &data)
{
    QMutexLocker locker(&m_serviceMutex);
    // A service that is not heard decodes nothing unless every service decodes.
    if (singleDecode() && !m_isPlaying.load())
        return true;
    if (m_frameSize == 0 || length <= 0 || !data || uint32_t(length) % m_frameSize != 0)
        return true;
    const uint32_t bytes = uint32_t(length);
    if (bytes > FrameBufferBytes) {
        ZOZ_LOG(LogAudioWarning,
                QStringLiteral("ServiceAudio::handlePacket() -> warning: buffer too small to handle incoming data (%1 > %2)!")
                    .arg(bytes)
                    .arg(FrameBufferBytes));
        return false;
    }
    // A full buffer loses its oldest whole frames.
    while (m_fill + bytes > FrameBufferBytes) {
        const uint32_t drop = std::min(m_frameSize, m_fill);
        consumeFrameBytes(drop);
        ZOZ_LOG(LogAudioWarning,
                QStringLiteral("ServiceAudio::handlePacket() -> warning: removed %1 bytes from frame buffer!").arg(drop));
    }
    std::memcpy(m_frameBuffer.data() + m_fill, data, bytes);
    m_fill += bytes;

    if (!findSuperframe())
        return true;

    uint32_t frames = m_fill / m_frameSize;
    // Bounded: a pass that yields samples has decoded a coded frame, and no
    // coded frame is shorter than one logical frame; the decoder may still hold
    // one it took earlier.
    const uint32_t maxPasses = frames + 2;
    for (uint32_t pass = 0; pass < maxPasses; ++pass) {
        m_pcm.samples = 0;
        m_pcm.bytes = 0;
        if (!decodeFrame(frames))
            break;
        if (m_pcm.samples == 0)
            break;
        m_pcm.bytes = m_pcm.samples * 2;
        if (checkReconfig())
            continue;
        if (checkFormat()) {
            updateChannelText();
            setRefreshCycle(refreshCycle() + 1);
            markDirty();
            AudioStreamConfig config;
            config.format = m_audioFormat;
            config.active = true;
            config.realtime = true;
            Settings *settings = Settings::instance();
            config.fileOutput = settings && settings->hasWavAudioOutput();
            config.valid = true;
            setStreamConfig(config);
            streamClear();
            ZOZ_LOG(LogAudio,
                    QStringLiteral("ZOZServiceAudio - streamAdd() -> (mAudioFormat: %1, mAudioData: %2, mIsPlaying: %3)")
                        .arg(m_audioFormat.sampleRate)
                        .arg(m_pcm.bytes)
                        .arg(m_isPlaying.load()));
        }
        streamAdd(m_audioFormat, m_pcm, m_isPlaying.load());
    }
    return frames == 0;
}

} // namespace ZOZ
