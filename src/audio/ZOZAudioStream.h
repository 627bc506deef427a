#pragma once

#include <QByteArray>
#include <QRecursiveMutex>

#include <atomic>
#include <cstdint>
#include <vector>

namespace ZOZ {

// A PCM format as the producer reports it.
struct AudioFormat
{
    int32_t id = -1; // -1 = unset; compared by the output, never interpreted
    uint32_t sampleRate = 0; // samples per second per channel
    uint32_t bitsPerSample = 0;
    uint32_t numChannels = 0; // 1 to 6

    bool operator==(const AudioFormat &) const = default;
};

// How the output should play a stream; filled by the producer on a new format.
struct AudioStreamConfig
{
    bool valid = false;
    AudioFormat format;
    QByteArray name;
    bool active = false;
    bool realtime = false; // play through the sound card
    bool fileOutput = false; // also copy the played PCM into a WAVE file
};

// Interleaved little-endian 16-bit PCM.
struct PcmBlock
{
    uint32_t samples = 0; // frames times channels
    uint32_t bytes = 0;
    std::vector<uint8_t> pcm;
};

// The process-wide playback clock in milliseconds, shared by all streams. Only
// the output thread moves it; unsigned arithmetic that wraps.
std::atomic<uint32_t> &playbackClock();

// The PCM queue between a decoding service and the audio output thread. The
// stream keeps a clock of its first buffered byte against the playback clock,
// so a stream that fell behind can be skipped forward in whole blocks.
class AudioStream
{
public:
    // PCM is handed to the output in blocks of at most this many bytes, unless one
    // chunk (the shortest whole-millisecond run of frames) is longer.
    static constexpr uint32_t MaxBlockBytes = 81920;

    AudioStream() = default;
    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    // Appends PCM; a new byte rate drops what is buffered. While not playing at
    // most 4 s are kept, the oldest 2 s going first.
    void streamAdd(const AudioFormat &format, const PcmBlock &data, bool isPlaying);
    // Exactly one block, or nothing (samples and bytes 0).
    void streamRead(PcmBlock *out);
    // Drops whole blocks until the stream is within one block of the playback clock.
    void streamSynchronize();
    void streamClear();

    AudioStreamConfig streamConfig() const;
    void setStreamConfig(const AudioStreamConfig &config);

    // Geometry, for the output and for tests.
    uint32_t chunkBytes() const;
    uint32_t chunkMs() const;
    uint32_t blockBytes() const;
    uint32_t blockMs() const;
    uint32_t bufferedBytes() const;
    uint32_t bufferedMs() const;
    uint32_t streamClock() const;

private:
    AudioStreamConfig m_config;
    uint32_t m_clock = 0;
    uint32_t m_bytesPerSecond = 0;
    uint32_t m_bytesPerSample = 0;
    uint32_t m_bytesPerFrame = 0;
    uint32_t m_chunkBytes = 0;
    uint32_t m_chunkMs = 0;
    uint32_t m_capBytes = 0;
    uint32_t m_blockBytes = 0;
    uint32_t m_blockSamples = 0;
    uint32_t m_blockMs = 0;
    mutable QRecursiveMutex m_mutex;
    QByteArray m_buffer;
};

} // namespace ZOZ
