#pragma once

#include "ZOZAudioSink.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace ZOZ {

// The sound card through ALSA: a non-blocking PCM fed from the user-space ring.
// Uses the user's ALSA configuration as it is, so "default" is whatever it makes
// it; ALSA converts rates the hardware lacks.
class AlsaSink : public AudioSink
{
public:
    AlsaSink();
    ~AlsaSink() override;

    QStringList devices() override;
    int open(int deviceId, const AudioSinkFormat &format) override;
    bool isOpen() const override { return m_pcm != nullptr; }
    void close() override;
    void reset() override;
    bool queue(const uint8_t *pcm, uint32_t bytes) override;
    int freeSlots() const override;
    void pump() override;
    bool takeUnderrun() override { return m_underrun.exchange(false); }

    // The ALSA name opened for a device id.
    QByteArray deviceName(int deviceId);

private:
    struct Slot
    {
        std::atomic<bool> free{true};
        uint32_t bytes = 0;
        uint32_t written = 0; // bytes already handed to ALSA
        std::vector<uint8_t> data;
    };

    snd_pcm_t *m_pcm = nullptr;
    uint32_t m_bytesPerFrame = 0;
    // 5.1: the position in the device's frame of each of our channels (front
    // left, front right, centre, low frequency, back left, back right); empty
    // when the samples go out as they come.
    std::vector<int> m_channelPositions;
    std::array<Slot, RingSlots> m_slots;
    int m_next = 0; // the slot to fill next
    int m_head = 0; // the slot ALSA takes from next
    std::atomic<bool> m_underrun{false};
    QStringList m_names;
};

} // namespace ZOZ
