#include "ZOZAudioSystem.h"

#include "ZOZWaveFile.h"
#include "ZOZWaveOutput.h"
#include "base/ZOZLog.h"
#include "base/ZOZPointer.h"
#include "base/ZOZThreadName.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>

namespace ZOZ {

namespace {

constexpr quint32 LogAudio = LogSource::AudioOutput;
constexpr int IdleSleepMs = 40;
constexpr int WaitSleepMs = 10;
// While a played file's last blocks leave the ring.
constexpr int FileWaitSleepMs = 20;

class SystemClock : public AudioSystem::Clock
{
public:
    SystemClock() { m_timer.start(); }
    int64_t nowMs() override { return m_timer.elapsed(); }
    void sleepMs(int ms) override { QThread::msleep(ulong(ms)); }

private:
    QElapsedTimer m_timer;
};

bool sameConfig(const AudioStreamConfig &a, const AudioStreamConfig &b)
{
    return a.valid == b.valid && a.format.id == b.format.id && a.format.sampleRate == b.format.sampleRate
        && a.format.bitsPerSample == b.format.bitsPerSample && a.format.numChannels == b.format.numChannels
        && a.name == b.name && a.active == b.active && a.realtime == b.realtime && a.fileOutput == b.fileOutput;
}

} // namespace

AudioSystem::AudioSystem(std::unique_ptr<AudioSink> sink, Clock *clock, QObject *parent)
    : QThread(parent)
    , m_sink(std::move(sink))
    , m_ownClock(clock ? nullptr : new SystemClock)
    , m_clock(clock ? clock : m_ownClock.get())
    , m_fileOutputFolder(QDir::currentPath())
{
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::AudioSystem()"));
}

AudioSystem::~AudioSystem()
{
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::~AudioSystem()"));
    stop();
    wait();
    closeAudioTargets();
    QMutexLocker lock(&m_sourceMutex);
    releaseSource(m_current);
    m_current = {};
    if (m_pending)
        releaseSource(*m_pending);
    m_pending.reset();
}

bool AudioSystem::init(bool hasAudioService)
{
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::init()"));
    m_running = hasAudioService;
    return true;
}

void AudioSystem::setNotifier(Notifier notifier)
{
    m_notifier = std::move(notifier);
}

void AudioSystem::setFileOutputFolder(const QString &folder)
{
    QMutexLocker lock(&m_waveOutMutex);
    m_fileOutputFolder = folder;
}

void AudioSystem::stop()
{
    {
        QMutexLocker lock(&m_waveOutMutex);
        m_outputConfig.valid = false;
        m_resetRequest = true;
    }
    QMutexLocker lock(&m_sourceMutex);
    m_running = false;
    m_sourceAsked.wakeAll();
}

void AudioSystem::releaseSource(const Source &source)
{
    if (source.holder)
        source.holder->release();
}

void AudioSystem::setSource(Pointer *holder, AudioStream *stream)
{
    QMutexLocker lock(&m_sourceMutex);
    if (!stream)
        holder = nullptr;
    if (m_pending && m_pending->holder == holder && m_pending->stream == stream)
        return;
    if (m_pending)
        releaseSource(*m_pending);
    if (holder)
        holder->retain();
    m_pending = Source{holder, stream};
    m_sourceAsked.wakeAll();
}

void AudioSystem::restoreDevice(const DeviceChoice &stored, DeviceSaver save)
{
    QMutexLocker lock(&m_waveOutMutex);
    int id = stored.id;
    if (id >= 0) {
        const QStringList names = m_sink->devices();
        if (!stored.name.isEmpty())
            id = int(names.indexOf(stored.name));
        else if (id >= names.size())
            id = -1;
        if (id < 0)
            ZOZ_LOG(LogAudio | LogFlag::Warning,
                    QStringLiteral("AudioSystem::restoreDevice() -> warning: device '%1' not found, using the default device")
                        .arg(stored.name));
    }
    m_selectedDevice = id;
    m_saveDevice = std::move(save);
}

void AudioSystem::setDevice(int deviceId)
{
    if (deviceId < -1 || deviceId == m_selectedDevice)
        return;
    ZOZ_LOG(LogAudio | LogFlag::Notice,
            QStringLiteral("AudioSystem::setDevice() -> realtime output target device changed: %1 -> %2")
                .arg(m_selectedDevice.load())
                .arg(deviceId));
    m_selectedDevice = deviceId;
    QMutexLocker lock(&m_waveOutMutex);
    if (m_saveDevice)
        m_saveDevice({deviceId, deviceId >= 0 ? m_sink->devices().value(deviceId) : QString()});
    closeAudioRealtimeTarget();
    m_lastOpenAttemptMs = -1;
}

void AudioSystem::restoreLevels(const AudioLevelValues &values, bool muted, AudioLevels::Saver save)
{
    m_muted = muted;
    m_saveLevel = save;
    m_levels.restore(values, std::move(save));
}

void AudioSystem::setMuted(bool muted)
{
    if (m_muted.exchange(muted) != muted && m_saveLevel)
        m_saveLevel(QStringLiteral("AudioSystem/Muted"), muted);
}

void AudioSystem::setTestMode(const TestMode &mode)
{
    {
        QMutexLocker lock(&m_testMutex);
        if (mode == m_testMode)
            return;
        changeTestMode(mode);
        m_testActive = mode.active;
    }
    // The test plays also while no service does.
    QMutexLocker lock(&m_sourceMutex);
    m_sourceAsked.wakeAll();
}

void AudioSystem::changeTestMode(const TestMode &mode)
{
    const TestMode before = m_testMode;
    if (mode.active == before.active && mode.channels == before.channels)
        resetQueue();
    m_testMode = mode;
    if (!mode.active)
        m_testMode.mask = 0;
    if (mode.active != before.active || mode.channels != before.channels) {
        // The device opens again in the new format.
        QMutexLocker waveOut(&m_waveOutMutex);
        closeAudioTargets();
        m_outputConfig = {};
        m_lastOpenAttemptMs = -1;
        m_prebuffer = true;
    }
}

AudioSystem::TestMode AudioSystem::testMode() const
{
    QMutexLocker lock(&m_testMutex);
    return m_testMode;
}

QStringList AudioSystem::deviceNames() const
{
    QMutexLocker lock(&m_waveOutMutex);
    return m_sink->devices();
}

AudioStreamConfig AudioSystem::outputConfig() const
{
    QMutexLocker lock(&m_waveOutMutex);
    return m_outputConfig;
}

void AudioSystem::onResetSource()
{
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::onResetSource()"));
    m_prebuffer = true;
    resetQueue();
}

void AudioSystem::resetQueue()
{
    QMutexLocker lock(&m_waveOutMutex);
    m_sink->reset();
}

void AudioSystem::sleepMs(int ms)
{
    m_clock->sleepMs(ms);
}

void AudioSystem::run()
{
    setThreadName("AudioSystem");
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::run()"));
    for (;;) {
        waitForSource();
        if (!m_running)
            break;
        runPass();
    }
    ZOZ_LOG(LogAudio | LogFlag::Notice, QStringLiteral("AudioSystem::run() -> leaving main loop"));
}

void AudioSystem::waitForSource()
{
    // With nothing to play the thread sleeps until a source is asked for,
    // instead of looking every few milliseconds.
    QMutexLocker lock(&m_sourceMutex);
    while (m_running && !m_current.stream && !m_pending && !m_filePlayback && !m_testActive)
        m_sourceAsked.wait(&m_sourceMutex);
}

void AudioSystem::takePendingSource()
{
    QMutexLocker lock(&m_sourceMutex);
    if (!m_pending)
        return;
    if (m_current.stream) {
        releaseSource(m_current);
        // The next source starts a second earlier on the playback clock, so its
        // prebuffer is not counted as lag.
        playbackClock().fetch_sub(PrebufferMs);
        m_current = {};
    }
    resetQueue();
    if (m_pending->stream) {
        if (m_lastQueuedMs >= 0) {
            playbackClock().fetch_sub(uint32_t(m_clock->nowMs() - m_lastQueuedMs));
            m_lastQueuedMs = -1;
        }
        m_current = *m_pending;
        m_current.stream->streamSynchronize();
    }
    m_pending.reset();
    m_prebuffer = true;
}

void AudioSystem::runPass()
{
    {
        QMutexLocker lock(&m_waveOutMutex);
        m_sink->pump();
        if (m_sink->takeUnderrun())
            m_prebuffer = true;
    }
    takePendingSource();

    const bool muted = m_muted;
    if (m_wasMuted && !muted)
        m_prebuffer = true;
    else if (!m_wasMuted && muted)
        resetQueue();
    m_wasMuted = muted;

    AudioStream *stream = m_current.stream;
    const bool filePlayback = m_filePlayback;
    const TestMode test = testMode();
    if (!stream && !filePlayback && !test.active) {
        sleepMs(IdleSleepMs);
        return;
    }

    m_block.samples = m_block.bytes = 0;
    bool overrideMuted = false;
    AudioStreamConfig output;
    if (filePlayback) {
        if (!takeFileBlock(&m_block))
            return;
        overrideMuted = m_playbackOverride;
        output = outputConfig();
    } else if (test.active) {
        AudioStreamConfig config;
        config.format = {-1, TestTone::SampleRate, 16, test.channels};
        config.active = config.realtime = config.valid = true;
        setup(config);
        m_testTone.fill(&m_block, test.channels, test.mask);
        output = outputConfig();
    } else {
        const AudioStreamConfig config = stream->streamConfig();
        setup(config);
        {
            QMutexLocker lock(&m_waveOutMutex);
            if (m_resetRequest) {
                m_resetRequest = false;
                m_sink->reset();
            }
            output = m_outputConfig;
        }
        if (output.valid && output.format.numChannels > 0) {
            if (!m_prebuffer) {
                stream->streamRead(&m_block);
            } else if (stream->bufferedMs() > PrebufferMs) {
                m_prebuffer = false;
                stream->streamRead(&m_block);
            }
        }
    }
    if (m_block.samples == 0 || (muted && !overrideMuted)) {
        sleepMs(WaitSleepMs);
        return;
    }
    openAudioTargets(output);
    queueBlock(&m_block, overrideMuted);
}

bool AudioSystem::takeFileBlock(PcmBlock *block)
{
    QMutexLocker lock(&m_fileMutex);
    if (!m_fileBuffer.isEmpty()) {
        const qsizetype bytes = std::min<qsizetype>(m_fileBuffer.size(), AudioStream::MaxBlockBytes);
        block->pcm.assign(m_fileBuffer.constData(), m_fileBuffer.constData() + bytes);
        block->bytes = uint32_t(bytes);
        block->samples = uint32_t(bytes / 2);
        m_fileBuffer.remove(0, bytes);
        const AudioStreamConfig config = m_fileConfig;
        lock.unlock();
        setup(config);
        QMutexLocker waveOut(&m_waveOutMutex);
        if (m_resetRequest) {
            m_resetRequest = false;
            m_sink->reset();
        }
        return true;
    }
    // All of it handed over: the file ends once the device has played the ring
    // out. One look per pass, so that the thread stays free for the rest.
    bool waiting = m_running && m_filePlayback && !(m_muted && !m_playbackOverride);
    if (waiting) {
        QMutexLocker waveOut(&m_waveOutMutex);
        m_sink->pump();
        waiting = m_sink->isOpen() && m_sink->freeSlots() < AudioSink::RingSlots;
    }
    lock.unlock();
    if (waiting) {
        sleepMs(FileWaitSleepMs);
        return false;
    }
    stopFilePlayback();
    return false;
}

bool AudioSystem::playFileWAVE(const QString &fileName, bool overrideMuted)
{
    QByteArray data;
    WaveFormat format;
    if (!readWaveFile(fileName, &data, &format) || format.bitsPerSample != 16 || format.numChannels < 1
        || format.sampleRate < 1)
        return false;
    stopFilePlayback();
    {
        QMutexLocker lock(&m_fileMutex);
        // Whole frames only.
        data.truncate(data.size() - data.size() % (2 * format.numChannels));
        m_fileBuffer = data;
        m_playbackOverride = overrideMuted;
        m_fileConfig = AudioStreamConfig();
        m_fileConfig.valid = true;
        m_fileConfig.format.id = -1;
        m_fileConfig.format.sampleRate = format.sampleRate;
        m_fileConfig.format.bitsPerSample = format.bitsPerSample;
        m_fileConfig.format.numChannels = format.numChannels;
        m_fileConfig.active = true;
        m_fileConfig.realtime = true;
        m_fileConfig.fileOutput = false;
        ZOZ_LOG(LogAudio | LogFlag::Notice,
                QStringLiteral("AudioSystem::playFileWAVE() -> started playback [filename: %1]").arg(fileName));
        m_filePlayback = true;
    }
    QMutexLocker lock(&m_sourceMutex);
    m_sourceAsked.wakeAll();
    return true;
}

void AudioSystem::stopFilePlayback()
{
    if (!m_filePlayback.exchange(false))
        return;
    {
        QMutexLocker lock(&m_fileMutex);
        m_fileBuffer.clear();
    }
    resetQueue();
    ZOZ_LOG(LogAudio | LogFlag::Notice, QStringLiteral("AudioSystem::stopFilePlayback() -> finished file playback "));
}

void AudioSystem::queueBlock(PcmBlock *block, bool overrideMuted)
{
    QMutexLocker lock(&m_waveOutMutex);
    if (m_fileTarget && m_fileTarget->isOpen())
        m_fileTarget->write(reinterpret_cast<const int16_t *>(block->pcm.data()), int(block->samples));
    if (!m_outputConfig.realtime || !m_sink->isOpen())
        return;
    m_levels.apply(reinterpret_cast<int16_t *>(block->pcm.data()), block->samples, m_outputConfig.format.numChannels);
    while (m_sink->freeSlots() == 0) {
        lock.unlock();
        sleepMs(WaitSleepMs);
        lock.relock();
        if (!m_running || (m_muted && !overrideMuted) || !m_sink->isOpen())
            return;
        m_sink->pump();
    }
    m_sink->queue(block->pcm.data(), block->bytes);
    m_lastQueuedMs = m_clock->nowMs();
}

bool AudioSystem::setup(const AudioStreamConfig &config)
{
    if (!m_running || !config.valid || (!config.active && config.name.isEmpty()) || config.format.numChannels < 1
        || config.format.sampleRate < 1)
        return false;
    QMutexLocker lock(&m_waveOutMutex);
    if (sameConfig(config, m_outputConfig))
        return true;
    if (config.format.sampleRate != m_outputConfig.format.sampleRate
        || config.format.numChannels != m_outputConfig.format.numChannels) {
        ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::setup() -> new configuration (sampleRate: %1, numChannels: %2)")
                              .arg(config.format.sampleRate)
                              .arg(config.format.numChannels));
        closeAudioTargets();
    }
    m_resetRequest = true;
    m_outputConfig = config;
    return true;
}

void AudioSystem::openAudioTargets(const AudioStreamConfig &config)
{
    if (!config.valid)
        return;
    QMutexLocker lock(&m_waveOutMutex);
    const int64_t now = m_clock->nowMs();
    if (m_lastOpenAttemptMs >= 0 && now - m_lastOpenAttemptMs < ReopenIntervalMs)
        return;
    m_lastOpenAttemptMs = now;

    if (config.fileOutput && !(m_fileTarget && m_fileTarget->isOpen())) {
        if (config.format.bitsPerSample != 16) {
            ZOZ_LOG(LogAudio | LogFlag::Error,
                    QStringLiteral("AudioSystem::openAudioTargets() -> error: bitsPerSample = %1 not supported!")
                        .arg(config.format.bitsPerSample));
        } else {
            QString name;
            for (int n = 0;; ++n) {
                name = QDir(m_fileOutputFolder).filePath(QStringLiteral("stream-audio-%1.wav").arg(n));
                if (!QFileInfo::exists(name))
                    break;
            }
            m_fileTarget = std::make_unique<WaveOutput>();
            if (m_fileTarget->open(name, config.format.sampleRate, config.format.numChannels, 16))
                ZOZ_LOG(LogAudio | LogFlag::Notice,
                        QStringLiteral("AudioSystem::openAudioTargets() -> opened file output '%1' (sampleRate: %2, "
                                       "numChannels: %3, sampleSize: %4)")
                            .arg(name)
                            .arg(config.format.sampleRate)
                            .arg(config.format.numChannels)
                            .arg(16));
            else
                ZOZ_LOG(LogAudio | LogFlag::Error,
                        QStringLiteral("AudioSystem::openAudioTargets() -> error: Unable to open file output! "
                                       "(filename: '%1')")
                            .arg(name));
        }
    }

    if (!config.realtime || m_sink->isOpen())
        return;
    if (openAudioRealtimeTarget(config)) {
        ZOZ_LOG(LogAudio | LogFlag::Notice,
                QStringLiteral("AudioSystem::openAudioTargets() -> opened new output (sampleRate: %1, numChannels: "
                               "%2, sampleSize: %3)")
                    .arg(config.format.sampleRate)
                    .arg(config.format.numChannels)
                    .arg(config.format.bitsPerSample));
        return;
    }
    if (m_selectedDevice == FallbackDevice)
        return;
    if (m_notifier)
        m_notifier(QStringLiteral("error"),
                   QCoreApplication::translate("Notifications",
                                               "<b>Audio Device Error</b><br/>Could not setup given soundcard!<br/>"
                                               "Defaulting back to primary output device.."));
    setDevice(FallbackDevice);
}

bool AudioSystem::openAudioRealtimeTarget(const AudioStreamConfig &config)
{
    AudioSinkFormat format;
    format.sampleRate = config.format.sampleRate;
    format.numChannels = config.format.numChannels;
    format.bitsPerSample = config.format.bitsPerSample;
    const int result = m_sink->open(m_selectedDevice, format);
    if (result == 0)
        return true;
    ZOZ_LOG(LogAudio | LogFlag::Error,
            QStringLiteral("AudioSystem::openAudioRealtimeTarget() -> error: Unable to open realtime output device! "
                           "(format not supported)(sampleRate: %1, numChannels: %2) [%4]")
                .arg(format.sampleRate)
                .arg(format.numChannels)
                .arg(result));
    return false;
}

void AudioSystem::closeAudioTargets()
{
    QMutexLocker lock(&m_waveOutMutex);
    if (m_fileTarget && m_fileTarget->isOpen()) {
        m_fileTarget->close();
        ZOZ_LOG(LogAudio | LogFlag::Notice, QStringLiteral("AudioSystem::closeAudioTargets() -> closed file output"));
    }
    m_fileTarget.reset();
    closeAudioRealtimeTarget();
    m_lastOpenAttemptMs = -1;
}

void AudioSystem::closeAudioRealtimeTarget()
{
    QMutexLocker lock(&m_waveOutMutex);
    if (!m_sink->isOpen())
        return;
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::closeAudioRealtimeTarget() -> closing realtime output"));
    m_sink->reset();
    m_sink->close();
    ZOZ_LOG(LogAudio, QStringLiteral("AudioSystem::closeAudioRealtimeTarget() -> closed realtime output"));
}

} // namespace ZOZ
