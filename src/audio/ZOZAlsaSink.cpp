#include "ZOZAlsaSink.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace ZOZ {

namespace {

// ALSA keeps about this much queued itself, on top of the ring.
constexpr unsigned LatencyUs = 500000;
const char DefaultDevice[] = "default";

} // namespace

void applyGain(int16_t *samples, uint32_t count, float gain)
{
    if (gain == 1.0f)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        const float scaled = std::round(samples[i] * gain);
        samples[i] = int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
    }
}

AlsaSink::AlsaSink()
{
    for (Slot &slot : m_slots)
        slot.data.resize(SlotBytes);
}

AlsaSink::~AlsaSink()
{
    close();
}

QStringList AlsaSink::devices()
{
    QStringList names{QString::fromLatin1(DefaultDevice)};
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) == 0) {
        for (void **hint = hints; *hint; ++hint) {
            char *name = snd_device_name_get_hint(*hint, "NAME");
            char *direction = snd_device_name_get_hint(*hint, "IOID");
            // Output devices only: no IOID means both directions.
            if (name && (!direction || std::string_view(direction) == "Output")) {
                const QString text = QString::fromLocal8Bit(name);
                if (text != QLatin1String(DefaultDevice) && text != QLatin1String("null"))
                    names.append(text);
            }
            free(name);
            free(direction);
        }
        snd_device_name_free_hint(hints);
    }
    m_names = names;
    return names;
}

QByteArray AlsaSink::deviceName(int deviceId)
{
    if (deviceId < 0)
        return DefaultDevice;
    if (m_names.isEmpty())
        devices();
    return deviceId < m_names.size() ? m_names.at(deviceId).toLocal8Bit() : QByteArray(DefaultDevice);
}

int AlsaSink::open(int deviceId, const AudioSinkFormat &format)
{
    close();
    if (format.bitsPerSample != 16 || format.numChannels < 1 || format.sampleRate < 1)
        return -EINVAL;
    snd_pcm_t *pcm = nullptr;
    int result = snd_pcm_open(&pcm, deviceName(deviceId).constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result < 0)
        return result;
    // Resampling allowed: a 32 or 24 kHz stream plays on 48 kHz-only hardware.
    result = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, format.numChannels,
                                format.sampleRate, 1, LatencyUs);
    if (result < 0) {
        snd_pcm_close(pcm);
        return result;
    }
    m_pcm = pcm;
    m_bytesPerFrame = format.numChannels * 2;
    reset();
    return 0;
}

void AlsaSink::close()
{
    if (!m_pcm)
        return;
    snd_pcm_drop(m_pcm);
    snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    for (Slot &slot : m_slots)
        slot.free = true;
    m_next = m_head = 0;
}

void AlsaSink::reset()
{
    if (m_pcm) {
        snd_pcm_drop(m_pcm);
        snd_pcm_prepare(m_pcm);
    }
    for (Slot &slot : m_slots)
        slot.free = true;
    m_next = m_head = 0;
}

bool AlsaSink::queue(const uint8_t *pcm, uint32_t bytes)
{
    Slot &slot = m_slots[m_next];
    if (!m_pcm || !slot.free || bytes > SlotBytes || bytes % m_bytesPerFrame != 0)
        return false;
    std::copy(pcm, pcm + bytes, slot.data.begin());
    slot.bytes = bytes;
    slot.written = 0;
    slot.free = false;
    m_next = (m_next + 1) % RingSlots;
    pump();
    return true;
}

int AlsaSink::freeSlots() const
{
    return int(std::count_if(m_slots.begin(), m_slots.end(), [](const Slot &slot) { return slot.free.load(); }));
}

void AlsaSink::pump()
{
    if (!m_pcm)
        return;
    // At most one round of the ring per call.
    for (int round = 0; round < RingSlots; ++round) {
        Slot &slot = m_slots[m_head];
        if (slot.free)
            return;
        const snd_pcm_uframes_t frames = (slot.bytes - slot.written) / m_bytesPerFrame;
        const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, slot.data.data() + slot.written, frames);
        if (written == -EAGAIN)
            return;
        if (written == -EPIPE || written == -ESTRPIPE) {
            // Ran dry: start again, and let the output build up its prebuffer.
            m_underrun = true;
            if (snd_pcm_recover(m_pcm, int(written), 1) < 0)
                return;
            continue;
        }
        if (written < 0)
            return;
        slot.written += uint32_t(written) * m_bytesPerFrame;
        if (slot.written < slot.bytes)
            return;
        slot.free = true;
        m_head = (m_head + 1) % RingSlots;
    }
}

} // namespace ZOZ
