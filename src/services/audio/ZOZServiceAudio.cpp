#include "ZOZServiceAudio.h"

#include "ZOZServiceManager.h"
#include "ZOZWaveFile.h"

#include "base/ZOZDabText.h"
#include "base/ZOZLog.h"

#include "DabDlDecoder.h"

#include <algorithm>
#include <cstring>

namespace ZOZ {

namespace {

constexpr quint32 LogAudio = LogSource::ServiceAudio;
constexpr quint32 LogAudioWarning = LogSource::ServiceAudio | LogFlag::Warning;
constexpr quint32 LogAudioError = LogSource::ServiceAudio | LogFlag::Error | LogFlag::MessageBox;
// A failed debug copy is no reason to bother the listener.
constexpr quint32 LogAudioQuietError = LogSource::ServiceAudio | LogFlag::Error;
constexpr quint32 DabFamily = 1;

bool singleDecode()
{
    Settings *settings = Settings::instance();
    return !settings || settings->audioSingleDecode();
}

bool rawOutputOn()
{
    Settings *settings = Settings::instance();
    return settings && settings->hasRawAudioOutput();
}

} // namespace

ServiceAudio::ServiceAudio(RawInputCopy::NameChange rawNameChange)
    : Service(false)
    , m_rawInput(rawNameChange)
{
    m_audioFormat.bitsPerSample = 16;
    m_pcm.pcm.resize(PcmBufferBytes);
    m_dlDecoder.reset(static_cast<DabDlDecoder *>(std::malloc(DAB_Bb_Ruz_DlDecoderGetSize())));
    if (!m_dlDecoder || DAB_Bb_Ruz_DlDecoderInit(m_dlDecoder.get(), this, &ServiceAudio::onLabel,
                                                 &ServiceAudio::onCommand) != DL_DECODER_OK) {
        m_dlDecoder.reset();
        ZOZ_LOG(LogAudioError, QStringLiteral("ServiceAudio::ServiceAudio() -> error: could not create a DL+ decoder!"));
    }
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

QString ServiceAudio::serviceTypeText() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_serviceTypeText;
}

// The programme type the service list shows stays the broadcast's: the
// stream's system goes into a text of its own.
void ServiceAudio::updateChannelText()
{
    QMutexLocker locker(&m_serviceMutex);
    switch (m_audioFormat.numChannels) {
    case 2:
        m_channelText = QStringLiteral("Stereo");
        break;
    case 6:
    case 8:
        m_channelText = QStringLiteral("Surround");
        break;
    default:
        m_channelText = QStringLiteral("Mono");
        break;
    }
    updateCodecInfo();
    m_serviceTypeText = m_systemName;
}

void ServiceAudio::receiveDlDataGroup(const uchar *data, const uint &length)
{
    processDlDataGroup(data, length);
}

int ServiceAudio::processDlDataGroup(const uint8_t *data, uint32_t length)
{
    if (!m_dlDecoder)
        return DL_DECODER_INVALID_PARAMETER;
    return DAB_Bb_Ruz_DlDecoderProcessDataGroup(m_dlDecoder.get(), data, length);
}

void ServiceAudio::resetDlDecoder()
{
    if (m_dlDecoder)
        DAB_Bb_Ruz_DlDecoderReset(m_dlDecoder.get());
}

void ServiceAudio::onLabel(uint8_t charset, const uint8_t *text, uint32_t length, void *context)
{
    if (auto *service = static_cast<ServiceAudio *>(context))
        service->newTextMessage(dabTextToString(charset, reinterpret_cast<const char *>(text), int(length)));
}

void ServiceAudio::onCommand(uint8_t command, const uint8_t *body, uint32_t length, void *context)
{
    auto *service = static_cast<ServiceAudio *>(context);
    if (!service)
        return;
    if (command == DL_COMMAND_REMOVE_LABEL)
        service->newTextMessage(QString());
    else if (command == DL_COMMAND_DL_PLUS)
        service->dlPlusCommand(body, length);
}

bool ServiceAudio::newTextMessage(const QString &text)
{
    if (!Service::newTextMessage(text))
        return false;
    if (m_texts.parseIntelliText(text)) {
        setRefreshCycle(refreshCycle() + 1);
        emit Service::newTextMessage();
    }
    return true;
}

void ServiceAudio::dlPlusCommand(const uint8_t *command, uint32_t length)
{
    if (!m_texts.applyDlPlusCommand(command, length, textMessage()))
        return;
    setRefreshCycle(refreshCycle() + 1);
    emit Service::newTextMessage();
}

void ServiceAudio::retranslate()
{
    m_texts.resetDlPlus();
    Service::retranslate();
}

AudioServiceInfo ServiceAudio::audioInfo() const
{
    AudioServiceInfo info;
    info.selectorId = serviceId();
    info.playing = m_isPlaying.load();
    info.textMessage = textMessage();
    info.requestPath = requestPath();
    info.isDab = (sourceFlags() & DabFamily) != 0;
    for (const Announcement &entry : announcementEntries()) {
        if (entry.system == Announcement::Dab)
            info.announcementsDab |= entry.flags;
        else if (entry.system == Announcement::Drm)
            info.announcementsDrm |= entry.flags;
    }
    {
        QMutexLocker locker(&m_serviceMutex);
        info.nominalBitRate = m_nominalBitRate;
        info.measuredBitRate = m_measuredBitRate;
        info.channelText = m_channelText;
        info.codecName = m_codecName;
        info.serviceTypeText = m_serviceTypeText;
        info.format = m_audioFormat;
    }
    info.texts = m_texts.snapshot();
    return info;
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
        // What the last programme item said is not known to be true now.
        m_texts.clearItemTags();
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

int ServiceAudio::recordingType() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_recordingClass;
}

void ServiceAudio::takeDecodedFrames(uint32_t bytes)
{
    if (m_keepCodedBytes)
        m_codedBytes.append(reinterpret_cast<const char *>(m_frameBuffer.data()), int(std::min(bytes, m_fill)));
    consumeFrameBytes(bytes);
}

void ServiceAudio::writeRawOutput(const uchar *data, int length)
{
    const QString name = RawInputCopy::fileName(instanceName(), instanceNumber(), m_audioFormat.numChannels,
                                                m_audioFormat.sampleRate, m_audioFormat.bitsPerSample,
                                                QStringLiteral(".raw"));
    if (m_rawInput.append(name, reinterpret_cast<const char *>(data), length) == RawInputCopy::Result::OpenFailed)
        ZOZ_LOG(LogAudioQuietError,
                QStringLiteral("ServiceAudio::openRawOutput() -> fatal error: could not open file for raw output!"));
}

RecordingControl *ServiceAudio::recordingControl() const
{
    return manager() ? &manager()->recordings() : nullptr;
}

RecordingSource ServiceAudio::recordingSource() const
{
    RecordingSource source;
    source.serviceLabel = label();
    source.recordingType = m_recordingClass;
    source.rawExtension = m_rawExtension;
    source.format = m_audioFormat;
    source.playing = m_isPlaying.load();
    return source;
}

void ServiceAudio::recordPcm(const RecordingSource &source)
{
    if (!m_recorder.wants(RecordingFormat::Wave, source))
        return;
    QByteArray bytes;
    pcmToBytes(&bytes, reinterpret_cast<const int16_t *>(m_pcm.pcm.data()), int(m_pcm.samples));
    m_recorder.write(RecordingFormat::Wave, source, bytes.constData(), bytes.size());
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
    if (rawOutputOn() && length > 0 && data)
        writeRawOutput(data, length);
    m_recorder.setControl(recordingControl());
    m_recorder.poll(recordingSource());
    setIsRecording(m_recorder.isOpen());
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
        RecordingSource source = recordingSource();
        m_codedBytes.clear();
        m_keepCodedBytes = m_recorder.wants(RecordingFormat::Raw, source);
        const bool decoded = decodeFrame(frames);
        m_keepCodedBytes = false;
        if (!m_codedBytes.isEmpty())
            m_recorder.write(RecordingFormat::Raw, source, m_codedBytes.constData(), m_codedBytes.size());
        if (!decoded)
            break;
        if (m_pcm.samples == 0)
            break;
        m_pcm.bytes = m_pcm.samples * 2;
        if (checkReconfig())
            continue;
        if (checkFormat()) {
            // Each file holds one stream format.
            m_recorder.restart();
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
        source.format = m_audioFormat;
        recordPcm(source);
    }
    setIsRecording(m_recorder.isOpen());
    return frames == 0;
}

} // namespace ZOZ
