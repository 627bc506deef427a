#pragma once

#include "ZOZAudioSink.h"
#include "ZOZAudioStream.h"

#include <QMutex>
#include <QRecursiveMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace ZOZ {

class Pointer;
class WaveOutput;

// The process-wide audio output: a thread that takes PCM blocks from the
// selected service's stream and feeds the sound card, prebuffering after every
// source change.
class AudioSystem : public QThread
{
    Q_OBJECT
public:
    // Time as the output sees it; tests replace it with a virtual clock.
    class Clock
    {
    public:
        virtual ~Clock() = default;
        virtual int64_t nowMs() = 0;
        virtual void sleepMs(int ms) = 0;
    };
    // Posts a user notification of a type ("error") with a text.
    using Notifier = std::function<void(const QString &type, const QString &text)>;

    // Sound starts once more than this much of a new source is buffered.
    static constexpr uint32_t PrebufferMs = 1000;
    // A device that failed to open is tried again after this long.
    static constexpr int64_t ReopenIntervalMs = 10000;
    static constexpr int FallbackDevice = 0;

    // `clock` null: the system clock.
    explicit AudioSystem(std::unique_ptr<AudioSink> sink, Clock *clock = nullptr, QObject *parent = nullptr);
    ~AudioSystem() override;

    bool init(bool hasAudioService);
    void setNotifier(Notifier notifier);

    // The source's holder keeps the stream alive; null stream = no source. The
    // thread takes the change over in its next pass.
    void setSource(Pointer *holder, AudioStream *stream);
    void setDevice(int deviceId);
    int device() const { return m_selectedDevice.load(); }
    void setMuted(bool muted) { m_muted = muted; }
    bool isMuted() const { return m_muted; }
    void setVolume(float volume) { m_volume = volume; }
    // Copies of the played PCM go to "stream-audio-%1.wav" in this folder when a stream asks for it.
    void setFileOutputFolder(const QString &folder);

    AudioStreamConfig outputConfig() const;
    bool isPrebuffering() const { return m_prebuffer; }

    // One pass of the thread body; the thread runs it while running. Public so
    // that the pass can be driven step by step.
    void runPass();
    void stop();

public slots:
    void onResetSource();

protected:
    void run() override;

private:
    struct Source
    {
        Pointer *holder = nullptr;
        AudioStream *stream = nullptr;
    };

    // The output thread blocks here while there is nothing to play.
    void waitForSource();
    void takePendingSource();
    bool setup(const AudioStreamConfig &config);
    void openAudioTargets(const AudioStreamConfig &config);
    bool openAudioRealtimeTarget(const AudioStreamConfig &config);
    void closeAudioTargets();
    void closeAudioRealtimeTarget();
    void resetQueue();
    void queueBlock(PcmBlock *block);
    void sleepMs(int ms);
    static void releaseSource(const Source &source);

    std::unique_ptr<AudioSink> m_sink;
    std::unique_ptr<Clock> m_ownClock;
    Clock *m_clock;
    Notifier m_notifier;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_prebuffer{true};
    std::atomic<bool> m_muted{false};
    bool m_wasMuted = false;
    std::atomic<float> m_volume{1.0f};

    QMutex m_sourceMutex;
    // Wakes the output thread when a source is asked for or the system stops.
    QWaitCondition m_sourceAsked;
    Source m_current;
    std::optional<Source> m_pending; // empty = no change asked for
    int64_t m_lastQueuedMs = -1; // -1 = nothing queued since the last source change

    mutable QRecursiveMutex m_waveOutMutex;
    std::atomic<int> m_selectedDevice{-1};
    int64_t m_lastOpenAttemptMs = -1; // -1 = open at once
    bool m_resetRequest = false;
    AudioStreamConfig m_outputConfig;
    std::unique_ptr<WaveOutput> m_fileTarget;
    QString m_fileOutputFolder;
    PcmBlock m_block;
};

} // namespace ZOZ
