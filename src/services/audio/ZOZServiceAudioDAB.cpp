#include "ZOZServiceAudioDAB.h"

#include "ZOZRsCodecCache.h"

#include "base/ZOZLog.h"

#include "DabCodeTables.h"
#include "DabDlDecoder.h"
#include "DabPadDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ZOZ {

namespace {

constexpr quint32 LogAudio = LogSource::ServiceAudio;
constexpr quint32 LogAudioError = LogSource::ServiceAudio | LogFlag::Error;
constexpr quint32 LogAudioWarning = LogSource::ServiceAudio | LogFlag::Warning;

// A data service's X-PAD data groups are assembled in a buffer of this size.
constexpr uint32_t XPadGroupBytes = 8215;
// X-PAD application types: 5 bits; those below 4 are the decoder's own (end
// marker, data group length, Dynamic Label and its continuation).
constexpr uint8_t XPadTypeMask = 0x1F;
constexpr uint8_t FirstDataXPadType = 4;
// The result of a PAD application callback comes back raised by this much, so
// that it cannot be taken for one of the PAD decoder's own results.
constexpr int CallbackResultOffset = 8;

constexpr uint32_t FramesPerSuperframe = 5;
constexpr uint32_t FireBytes = 11;
// RS(120,110) over GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1, shortened from RS(255,245).
constexpr int RsSymbolBits = 8;
constexpr int RsFieldPolynomial = 0x11D;
constexpr int RsParity = 10;
constexpr int RsPad = 135;
constexpr uint32_t RsData = 110;
constexpr uint32_t RsCodewordBytes = 120;

int superframeCodec()
{
    static const int handle = rsInit(RsSymbolBits, RsFieldPolynomial, 0, 1, RsParity, RsPad);
    return handle;
}

bool fireCodeClean(const uint8_t *start)
{
    std::array<uint8_t, FireBytes> header;
    std::memcpy(header.data(), start, FireBytes);
    return checkFireCode(header.data(), true) == 0;
}

// Calls of the DAB+ decoder per pass: the units of one superframe and its parse.
constexpr int MaxDecodeCalls = DABPLUS_MAX_ACCESS_UNITS + 1;

QString dabPlusResultText(int result)
{
    switch (result) {
    case 0: return QStringLiteral("everything ok");
    case 1: return QStringLiteral("Expected data in input buffer but found none.");
    case 2: return QStringLiteral("The decoder parameter which should be set doesn't exist.");
    case 3: return QStringLiteral("Unable to set the specific parameter. Probably the value was out of range.");
    case 0x1001:
        return QStringLiteral("Could not get an adequate amount of memory needed to open an instance of the DAB decoder.");
    case 0x1002:
        return QStringLiteral("The provided subchannel index is out of the allowed value range which is from 1 to 48 (for DAB) or 24 (for DAB+).");
    case 0x2001:
        return QStringLiteral("Found audio data which is not supported. Probably the decoder supports only one codec for either DAB or DAB+.");
    case 0x2002: return QStringLiteral("The handle provided is not validi decoder handle.");
    case 0x2003: return QStringLiteral("At least one turned over function parameter is invalid.");
    case 0x2004: return QStringLiteral("The PCM output buffer size is too small to receive all decoded samples.");
    case 0x2005: return QStringLiteral("An unexpected error occurred during super frame processing.");
    case 0x2006:
        return QStringLiteral("An unexpected error occurred while a core audio decoder processed an audio access unit.");
    default: return QStringLiteral("Error condition is of unknown reason or from a third party module.");
    }
}

} // namespace

ServiceAudioDAB::ServiceAudioDAB(ServiceDescriptor &descriptor, int subChannelSize, bool surroundHint, bool dabPlus)
    : ServiceAudio(RawInputCopy::NameChange::KeepOpenFile)
{
    m_clock.start();
    ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::ServiceAudioDAB()"));
    descriptor.name = QStringLiteral("DAB Audioplayer");
    descriptor.shortname = QStringLiteral("audio");
    init(descriptor);
    initDecoder(subChannelSize, surroundHint, dabPlus, -1);
}

ServiceAudioDAB::~ServiceAudioDAB()
{
    ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::~ServiceAudioDAB()"));
    closeDecoder();
}

void ServiceAudioDAB::setElapsedSource(std::function<qint64()> nowMs)
{
    QMutexLocker locker(&m_serviceMutex);
    m_nowMs = std::move(nowMs);
}

qint64 ServiceAudioDAB::nowMs() const
{
    return m_nowMs ? m_nowMs() : m_clock.elapsed();
}

bool ServiceAudioDAB::isSynced() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_isSynced;
}

ServiceAudioDAB::SuperframeCounts ServiceAudioDAB::superframeCounts() const
{
    QMutexLocker locker(&m_serviceMutex);
    return m_counts;
}

bool ServiceAudioDAB::initDecoder(int subChannelSize, bool surroundHint, bool dabPlus, int mode)
{
    Q_UNUSED(surroundHint);
    Q_UNUSED(mode);
    QMutexLocker locker(&m_serviceMutex);
    const bool open = m_dabPlus != nullptr;
    if (open && subChannelSize == m_subChannelSize && dabPlus == m_isDabPlus)
        return false;
    if (!open && m_initialised && subChannelSize == m_subChannelSize && dabPlus == m_isDabPlus)
        return false;
    m_initialised = true;
    {
        QMutexLocker padLocker(&m_decoderMutex);
        closePadDecoder();
    }
    resetDlDecoder();

    const bool sizeChanged = subChannelSize != m_subChannelSize;
    m_subChannelSize = subChannelSize;
    m_isDabPlus = dabPlus;
    m_measuredBitRate = 0;
    m_runningBitRate = 0;
    m_audioFormat.id = dabPlus ? 2 : 1;
    if (!open) {
        m_audioFormat.sampleRate = 0;
        m_audioFormat.numChannels = 0;
    }
    // Frames of another size are no frames any more.
    if (sizeChanged)
        m_fill = 0;

    const int maxSize = dabPlus ? 24 : DABPLUS_MAX_SUBCHANNEL_SIZE;
    const bool sizeOk = subChannelSize >= 1 && subChannelSize <= maxSize;
    m_frameSize = sizeOk ? uint32_t(subChannelSize) * 24 : 0;
    m_nominalBitRate = sizeOk ? subChannelSize * 8000 : 0;
    m_streamType = DABPLUS_STREAM_UNKNOWN;
    m_decodedRate = 0;
    m_decodedChannels = 0;

    // One decoder for both systems: it takes Layer II frames or DAB+ superframes
    // as the stream brings them.
    if (!sizeOk) {
        closeDabPlus();
    } else if (m_dabPlus) {
        ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::initDecoder() -> DABplusDecoder_Reset"));
        if (DABplusDecoder_Reset(m_dabPlus, uint32_t(subChannelSize)) != DABPLUS_DEC_OK)
            closeDabPlus();
    } else {
        ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::initDecoder() -> DABplusDecoder_Open"));
        if (DABplusDecoder_Open(&m_dabPlus, uint32_t(subChannelSize)) == DABPLUS_DEC_OK)
            // No surround decoder is built in: the output stays within stereo.
            DABplusDecoder_SetParam(m_dabPlus, DABPLUS_DEC_PARAM_SURROUND, 0);
    }
    if (!m_dabPlus)
        m_frameSize = 0;
    m_isSynced = false;
    m_counts.discardedBytes = 0;
    m_lastOutputMs = -1;
    updateChannelText();
    if (m_frameSize != 0) {
        QMutexLocker padLocker(&m_decoderMutex);
        openPadDecoder();
    }
    return true;
}

void ServiceAudioDAB::openPadDecoder()
{
    m_padDecoder.reset(static_cast<DabPadDecoder *>(std::malloc(DAB_Bb_Ruz_PadDecoderGetSize())));
    if (!m_padDecoder || DAB_Bb_Ruz_PadDecoderInit(m_padDecoder.get()) != PAD_DECODER_OK) {
        m_padDecoder.reset();
        ZOZ_LOG(LogAudioError, QStringLiteral("ServiceAudioDAB::initDecoder() -> error: could not create a PAD decoder!"));
        return;
    }
    if (DAB_Bb_Ruz_PadDecoderAddApplication(m_padDecoder.get(), PAD_APP_TYPE_DYNAMIC_LABEL, 1, m_dlBuffer.data(),
                                            uint32_t(m_dlBuffer.size()), &ServiceAudioDAB::onDynamicLabelGroup, this)
        != PAD_DECODER_OK) {
        ZOZ_LOG(LogAudioError,
                QStringLiteral("ServiceAudioDAB::initDecoder() -> error: could not initialize a PAD decoder for dynamic labels!"));
        return;
    }
    for (Service *child : std::as_const(children()))
        registerPadApplication(child, false);
}

void ServiceAudioDAB::closePadDecoder()
{
    while (!m_padApplications.empty())
        removePadApplication(m_padApplications.end() - 1);
    m_padDecoder.reset();
}

void ServiceAudioDAB::removePadApplication(std::vector<PadApplication>::iterator application)
{
    if (m_padDecoder)
        DAB_Bb_Ruz_PadDecoderRemoveApplication(m_padDecoder.get(), application->appType, nullptr, nullptr);
    Service *service = application->service;
    m_padApplications.erase(application);
    service->release();
}

void ServiceAudioDAB::registerPadApplication(Service *service, bool log)
{
    if (!service || service->isPacketMode())
        return;
    QMutexLocker locker(&m_decoderMutex);
    if (!m_padDecoder)
        return;
    if (log) {
        ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::registerPadApplication() -> new PAD service [%1]")
                              .arg(Service::dataServiceTypeName(service->applicationId())));
    }
    const auto known = std::find_if(m_padApplications.begin(), m_padApplications.end(),
                                    [service](const PadApplication &entry) { return entry.service == service; });
    if (known != m_padApplications.end())
        return;
    // The type the component's user application signals for its X-PAD, never
    // the user application type: SlideShow's 2 is Dynamic Label's X-PAD type.
    const uint8_t appType = uint8_t(service->applicationType()) & XPadTypeMask;
    const bool usable = service->applicationType() >= FirstDataXPadType && appType >= FirstDataXPadType;
    service->retain();
    m_padApplications.push_back(PadApplication {service, std::vector<uint8_t>(XPadGroupBytes), appType});
    PadApplication &entry = m_padApplications.back();
    if (!usable
        || DAB_Bb_Ruz_PadDecoderAddApplication(m_padDecoder.get(), appType, 1, entry.buffer.data(),
                                               uint32_t(entry.buffer.size()), &ServiceAudioDAB::onXPadDataGroup, service)
               != PAD_DECODER_OK) {
        ZOZ_LOG(LogAudioError,
                QStringLiteral("ServiceAudioDAB::registerPadApplication() -> error: could not initialize a PAD decoder for apptype %1!")
                    .arg(service->applicationType()));
        m_padApplications.pop_back();
        service->release();
    }
}

void ServiceAudioDAB::unregisterPadApplication(Service *service)
{
    QMutexLocker locker(&m_decoderMutex);
    const auto known = std::find_if(m_padApplications.begin(), m_padApplications.end(),
                                    [service](const PadApplication &entry) { return entry.service == service; });
    if (known != m_padApplications.end())
        removePadApplication(known);
}

int ServiceAudioDAB::onDynamicLabelGroup(uint8_t *buffer, uint32_t length, void *context)
{
    const int result = static_cast<ServiceAudioDAB *>(context)->processDlDataGroup(buffer, length);
    return result == DL_DECODER_OK ? 0 : result + CallbackResultOffset;
}

int ServiceAudioDAB::onXPadDataGroup(uint8_t *buffer, uint32_t length, void *context)
{
    auto *service = static_cast<Service *>(context);
    if (service && buffer)
        service->receiveData(int(length), buffer);
    return 0;
}

void ServiceAudioDAB::processPad(const uint8_t *pad, uint32_t length)
{
    QMutexLocker locker(&m_decoderMutex);
    if (!m_padDecoder)
        return;
    const int result = DAB_Bb_Ruz_PadDecoderProcessPad(m_padDecoder.get(), pad, length);
    if (result == PAD_DECODER_OK || result == PAD_DECODER_NO_APPLICATION)
        return;
    if (result <= CallbackResultOffset) {
        ZOZ_LOG(LogAudioWarning, QStringLiteral("ServiceAudioDAB::processPad() -> warning: could not decode PAD data '%1'")
                                     .arg(QString::fromLatin1(padDecoderErrorText(result))));
        return;
    }
    const int callbackResult = result - CallbackResultOffset;
    ZOZ_LOG(LogAudioWarning, QStringLiteral("ServiceAudioDAB::processPad() -> warning: PAD appType callback returned error: %1 (%2)")
                                 .arg(callbackResult)
                                 .arg(QString::fromLatin1(dlDecoderErrorText(callbackResult))));
}

void ServiceAudioDAB::closeDecoder()
{
    ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::closeDecoder()"));
    QMutexLocker locker(&m_serviceMutex);
    streamClear();
    emit resetted();
    if (m_dabPlus) {
        closeDabPlus();
        ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::closeDecoder() -> DABplusDecoder_Close() ok!"));
    }
    {
        QMutexLocker padLocker(&m_decoderMutex);
        closePadDecoder();
    }
    resetDlDecoder();
    m_fill = 0;
    m_isSynced = false;
    m_counts.discardedBytes = 0;
    m_lastOutputMs = -1;
    m_frameSize = 0;
    // A later initDecoder opens it again, whatever its parameters.
    m_initialised = false;
}

void ServiceAudioDAB::flush()
{
    QMutexLocker locker(&m_serviceMutex);
    if (m_dabPlus)
        DABplusDecoder_Reset(m_dabPlus, uint32_t(m_subChannelSize));
}

void ServiceAudioDAB::closeDabPlus()
{
    if (m_dabPlus)
        DABplusDecoder_Close(&m_dabPlus);
}

void ServiceAudioDAB::writeRawOutput(const uchar *data, int length)
{
    if (!m_dabPlus || m_subChannelSize == 0 || m_rawExtension.isEmpty())
        return;
    const QString name = RawInputCopy::fileName(instanceName(), instanceNumber(), m_audioFormat.numChannels,
                                                m_audioFormat.sampleRate, m_audioFormat.bitsPerSample,
                                                QStringLiteral(".%1.%2").arg(m_subChannelSize).arg(m_rawExtension));
    if (m_rawInput.append(name, reinterpret_cast<const char *>(data), length) == RawInputCopy::Result::OpenFailed)
        ZOZ_LOG(LogAudioError,
                QStringLiteral("ServiceAudio::writeRawOutput() -> fatal error: could not open file for raw output!"));
}

void ServiceAudioDAB::updateCodecInfo()
{
    m_codecName.clear();
    m_rawExtension.clear();
    m_systemName = m_isDabPlus ? QStringLiteral("DAB+") : QStringLiteral("DAB Classic");
    m_recordingClass = 0;
    switch (m_streamType) {
    case DABPLUS_STREAM_LAYER2:
        m_recordingClass = 1;
        m_codecName = QStringLiteral("MPEG-1/2 Layer 2");
        m_rawExtension = QStringLiteral("mp2");
        m_systemName = QStringLiteral("DAB Classic");
        break;
    case DABPLUS_STREAM_AAC:
    case DABPLUS_STREAM_AAC_SBR:
    case DABPLUS_STREAM_AAC_SBR_PS:
        m_recordingClass = 2;
        m_codecName = m_streamType == DABPLUS_STREAM_AAC       ? QStringLiteral("MPEG-4 AAC-LC")
                      : m_streamType == DABPLUS_STREAM_AAC_SBR ? QStringLiteral("MPEG-4 HE-AAC v1")
                                                               : QStringLiteral("MPEG-4 HE-AAC v2");
        m_rawExtension = QStringLiteral("dab");
        m_systemName = QStringLiteral("DAB+");
        break;
    default:
        m_codecName = QStringLiteral("not determined yet");
        break;
    }
}

bool ServiceAudioDAB::checkSuperframe(const uint8_t *buffer, uint32_t fill, uint32_t frameSize, bool dabPlus)
{
    if (!buffer || frameSize == 0 || fill < frameSize)
        return false;
    // A DAB+ stream is aligned only by its superframes: a Layer II header
    // pattern inside AAC data must never pass for a start.
    if (!dabPlus)
        return DABplusParser_Layer2FrameLength(buffer, fill, nullptr) != 0;
    if (fill < (FramesPerSuperframe + 1) * frameSize || frameSize % 24 != 0)
        return false;
    if (!fireCodeClean(buffer) || !fireCodeClean(buffer + FramesPerSuperframe * frameSize))
        return false;
    const int codec = superframeCodec();
    if (codec < 0)
        return false;
    // The superframe's bytes are interleaved by columns: codeword i holds every
    // n-th byte from i, data first, then the parity.
    const uint32_t n = frameSize / 24;
    std::array<uint8_t, RsCodewordBytes> codeword;
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t k = 0; k < RsCodewordBytes; ++k)
            codeword[k] = buffer[i + k * n];
        if (rsDecode(codec, codeword.data(), nullptr, 0) != 0)
            return false;
    }
    static_assert(RsData + RsParity == RsCodewordBytes);
    return true;
}

bool ServiceAudioDAB::findSuperframe()
{
    const qint64 now = nowMs();
    if (m_isSynced && m_lastOutputMs >= 0 && now - m_lastOutputMs > SyncTimeoutMs) {
        ZOZ_LOG(LogAudio, QStringLiteral("ServiceAudioDAB::findSuperframe() -> sync lost"));
        m_isSynced = false;
        m_counts.discardedBytes = 0;
        m_lastOutputMs = -1;
    }
    if (m_isSynced)
        return true;
    if (checkSuperframe(m_frameBuffer.data(), m_fill, m_frameSize, m_isDabPlus)) {
        m_isSynced = true;
        ++m_counts.syncs;
        // A start that never yields output is given up like a lost one.
        m_lastOutputMs = now;
        flush();
        return true;
    }
    if (m_fill <= SearchFrames * m_frameSize)
        return false;
    m_counts.discardedBytes += m_frameSize;
    consumeFrameBytes(m_frameSize);
    return false;
}

bool ServiceAudioDAB::decodeFrame(uint32_t &frames)
{
    if (!m_dabPlus) {
        m_fill = 0;
        frames = 0;
        return true;
    }
    // One unit per pass; a unit the decoder gives up costs only itself.
    for (int call = 0; call < MaxDecodeCalls; ++call) {
        int32_t count = int32_t(frames);
        uint32_t samples = 0;
        DABplusDecoderFrameInfo *info = nullptr;
        const int result = DABplusDecoder_DecodeFrame(m_dabPlus, m_frameBuffer.data(), &count,
                                                      reinterpret_cast<int16_t *>(m_pcm.pcm.data()), PcmBufferBytes,
                                                      &samples, &info);
        const uint32_t taken = count >= 0 && uint32_t(count) <= frames ? frames - uint32_t(count) : 0;
        takeDecodedFrames(std::min(taken * m_frameSize, m_fill));
        frames = m_fill / m_frameSize;
        // In DAB+, the first unit of a table is the decoder's first from a new superframe.
        int32_t next = 0;
        if (m_isDabPlus && result == DABPLUS_DEC_OK &&
            DABplusDecoder_GetAccessUnits(m_dabPlus, nullptr, &next) == DABPLUS_DEC_OK && next == 1 && info &&
            info->statisticsValid) {
            ++m_counts.superframes;
            m_counts.rsFailures += info->rsUncorrectable;
        }
        if (result == DABPLUS_DEC_NEED_INPUT)
            return true;
        if (result != DABPLUS_DEC_OK) {
            ZOZ_LOG(LogAudioError, QStringLiteral("ServiceAudioDAB::decodeFrame() -> DABplusDecoder_DecodeFrame error: ")
                                       + dabPlusResultText(result));
            if (result == DABPLUS_DEC_CORE_FAILED || result == DABPLUS_DEC_LAYER2_FRAME_ERROR)
                continue;
            return false;
        }
        if (info && info->pad && info->padLength[0] > 0)
            processPad(info->pad, info->padLength[0]);
        if (samples == 0) {
            if (taken == 0)
                return true;
            continue;
        }
        m_pcm.samples = samples;
        m_lastOutputMs = nowMs();
        takeFormat(*info);
        return true;
    }
    return true;
}

void ServiceAudioDAB::takeFormat(const DABplusDecoderFrameInfo &info)
{
    if (info.type != m_streamType) {
        m_streamType = info.type;
        updateCodecInfo();
        m_formatChanged = true;
    }
    if (info.reconfigurations > 0)
        m_formatChanged = true;
    m_decodedRate = info.sampleRate;
    m_decodedChannels = info.channels;
    takeBitRate(int(info.bitRate));
}

void ServiceAudioDAB::takeBitRate(int reported)
{
    if (reported <= 0)
        return;
    const int running = m_runningBitRate == 0 ? reported : (m_runningBitRate + reported) / 2;
    if (running != m_runningBitRate) {
        m_runningBitRate = running;
        m_measuredBitRate = running;
        markDirty();
    }
}

bool ServiceAudioDAB::checkReconfig()
{
    m_channelMode = -1;
    return false;
}

bool ServiceAudioDAB::checkFormat()
{
    if (m_decodedChannels == m_audioFormat.numChannels && m_decodedRate == m_audioFormat.sampleRate
        && !m_formatChanged)
        return false;
    m_formatChanged = false;
    m_audioFormat.numChannels = m_decodedChannels;
    m_audioFormat.sampleRate = m_decodedRate;
    ZOZ_LOG(LogAudio,
            QStringLiteral("ServiceAudioDAB::checkFormat() -> new stream configuration from decoder (sampleRate, %1, numChannels: %2)")
                .arg(m_decodedRate)
                .arg(m_decodedChannels));
    return true;
}

} // namespace ZOZ
