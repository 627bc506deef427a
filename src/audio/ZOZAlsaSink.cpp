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

constexpr uint32_t SurroundChannels = 6;

// Where ALSA wants each of our 5.1 channels (front left, front right, centre,
// low frequency, back left, back right): by the device's channel map when it has
// one that names them all, else in ALSA's usual 5.1 order FL FR RL RR FC LFE.
std::vector<int> surroundPositions(snd_pcm_t *pcm)
{
    static const unsigned int ours[SurroundChannels][2] = {
        {SND_CHMAP_FL, SND_CHMAP_FL}, {SND_CHMAP_FR, SND_CHMAP_FR}, {SND_CHMAP_FC, SND_CHMAP_FC},
        {SND_CHMAP_LFE, SND_CHMAP_LFE}, {SND_CHMAP_RL, SND_CHMAP_SL}, {SND_CHMAP_RR, SND_CHMAP_SR},
    };
    std::vector<int> positions = {0, 1, 4, 5, 2, 3};
    snd_pcm_chmap_t *map = snd_pcm_get_chmap(pcm);
    if (!map)
        return positions;
    std::vector<int> mapped(SurroundChannels, -1);
    if (map->channels == SurroundChannels) {
        for (uint32_t c = 0; c < SurroundChannels; ++c)
            for (uint32_t i = 0; i < SurroundChannels; ++i)
                if (map->pos[i] == ours[c][0] || map->pos[i] == ours[c][1])
                    mapped[c] = int(i);
    }
    free(map);
    // Only a map that names each of our channels once is taken.
    std::vector<int> sorted = mapped;
    std::sort(sorted.begin(), sorted.end());
    for (uint32_t i = 0; i < SurroundChannels; ++i)
        if (sorted[i] != int(i))
            return positions;
    return mapped;
}

} // namespace

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
    m_channelPositions = format.numChannels == SurroundChannels ? surroundPositions(pcm) : std::vector<int>();
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
    if (m_channelPositions.empty()) {
        std::copy(pcm, pcm + bytes, slot.data.begin());
    } else {
        const auto *in = reinterpret_cast<const int16_t *>(pcm);
        auto *out = reinterpret_cast<int16_t *>(slot.data.data());
        const size_t channels = m_channelPositions.size();
        for (size_t frame = 0; frame < bytes / m_bytesPerFrame; ++frame)
            for (size_t c = 0; c < channels; ++c)
                out[frame * channels + size_t(m_channelPositions[c])] = in[frame * channels + c];
    }
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
