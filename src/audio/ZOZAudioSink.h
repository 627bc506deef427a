#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace ZOZ {

struct AudioSinkFormat
{
    uint32_t sampleRate = 0;
    uint32_t numChannels = 0; // 1 to 6; six in the order L, R, C, LFE, rear L, rear R
    uint32_t bitsPerSample = 16;
};

// The sound card as the audio output sees it: a ring of RingSlots blocks of
// interleaved PCM that the sink moves into the device as it has room. Nothing
// here blocks. Calls come from the output thread, except reset(), which may
// come from any thread under the output's device lock.
class AudioSink
{
public:
    static constexpr int RingSlots = 8;
    // A slot holds twice the largest block, so a block is copied once and never split.
    static constexpr uint32_t SlotBytes = 163840;

    virtual ~AudioSink() = default;

    // Output devices, the system's default first; a device id is an index into this list.
    virtual QStringList devices() = 0;
    // Opens the device (-1 and any id out of the list mean the system's default).
    // Returns 0 or a negative error code of the sound system.
    virtual int open(int deviceId, const AudioSinkFormat &format) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Drops everything queued and played-out pending, leaving the device ready;
    // every slot becomes free.
    virtual void reset() = 0;
    // Queues one block; false when no slot is free or the block is too large.
    virtual bool queue(const uint8_t *pcm, uint32_t bytes) = 0;
    virtual int freeSlots() const = 0;
    // Moves queued blocks into the device as far as it has room and frees their slots.
    virtual void pump() = 0;
    // True once after the device ran dry since the last call.
    virtual bool takeUnderrun() = 0;
};

} // namespace ZOZ
