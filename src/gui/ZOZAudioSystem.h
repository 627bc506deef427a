#pragma once

#include "ZOZAudioLevels.h"
#include "ZOZAudioSink.h"
#include "ZOZAudioStream.h"
#include "ZOZTestTone.h"

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
    // The output device as it is kept between runs: its index in the sink's
    // device list, and its name there, which finds it again when cards come and
    // go and the indices move. Index -1: the default device.
    struct DeviceChoice
    {
        int id = -1;
        QString name;
    };
    using DeviceSaver = std::function<void(const DeviceChoice &choice)>;
    // Takes the stored choice over (a name no longer present falls back to the
    // default device); `save` keeps every later choice of setDevice.
    void restoreDevice(const DeviceChoice &stored, DeviceSaver save);
    void setDevice(int deviceId);
    int device() const { return m_selectedDevice.load(); }
    // The gain settings and the mute flag as kept between runs; `save` keeps
    // every later change (a key of the settings store and its value).
    void restoreLevels(const AudioLevelValues &values, bool muted, AudioLevels::Saver save);
    void setMuted(bool muted);
    bool isMuted() const { return m_muted; }
    AudioLevels &levels() { return m_levels; }
    const AudioLevels &levels() const { return m_levels; }

    // The speaker test plays in place of the source. The mask is cleared when inactive.
    using TestMode = TestToneMode;
    void setTestMode(const TestMode &mode);
    TestMode testMode() const;
    // The output devices by name, the default device first (id -1), then id 0 on.
    QStringList deviceNames() const;
    // Copies of the played PCM go to "stream-audio-%1.wav" in this folder when a stream asks for it.
    void setFileOutputFolder(const QString &folder);

    AudioStreamConfig outputConfig() const;
    bool isPrebuffering() const { return m_prebuffer; }
    bool isPlayingFile() const { return m_filePlayback; }

    // One pass of the thread body; the thread runs it while running. Public so
    // that the pass can be driven step by step.
    void runPass();
    void stop();

public slots:
    void onResetSource();
    // Plays a WAVE file before anything else (the source stays set but is not
    // read meanwhile); `overrideMuted` plays it also while muted. False when
    // the file cannot be read.
    bool playFileWAVE(const QString &fileName, bool overrideMuted = false);
    void stopFilePlayback();

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
    // Under the test mutex.
    void changeTestMode(const TestMode &mode);
    bool setup(const AudioStreamConfig &config);
    void openAudioTargets(const AudioStreamConfig &config);
    bool openAudioRealtimeTarget(const AudioStreamConfig &config);
    void closeAudioTargets();
    void closeAudioRealtimeTarget();
    void resetQueue();
    void queueBlock(PcmBlock *block, bool overrideMuted);
    // The next block of the file being played; false once it is all out (and
    // then the file playback ends) or while there is nothing to take.
    bool takeFileBlock(PcmBlock *block);
    void sleepMs(int ms);
    static void releaseSource(const Source &source);

    std::unique_ptr<AudioSink> m_sink;
    std::unique_ptr<Clock> m_ownClock;
    Clock *m_clock;
    Notifier m_notifier;
    DeviceSaver m_saveDevice;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_prebuffer{true};
    std::atomic<bool> m_muted{false};
    bool m_wasMuted = false;
    AudioLevels m_levels;
    AudioLevels::Saver m_saveLevel;

    // Taken before the waveOut mutex.
    mutable QMutex m_testMutex;
    TestMode m_testMode;
    std::atomic<bool> m_testActive{false};
    TestTone m_testTone;

    QMutex m_sourceMutex;
    // Wakes the output thread when a source is asked for or the system stops.
    QWaitCondition m_sourceAsked;
    Source m_current;
    std::optional<Source> m_pending; // empty = no change asked for
    int64_t m_lastQueuedMs = -1; // -1 = nothing queued since the last source change

    // Taken before the waveOut mutex.
    QMutex m_fileMutex;
    QByteArray m_fileBuffer;
    AudioStreamConfig m_fileConfig;
    std::atomic<bool> m_filePlayback{false};
    std::atomic<bool> m_playbackOverride{false};

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
