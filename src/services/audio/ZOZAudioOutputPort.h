#pragma once

class QString;

namespace ZOZ {

class ServiceAudio;

// Where the service that is heard goes: the audio output, which lives above
// the services. The selection calls it on the thread that selected.
class AudioOutputPort
{
public:
    virtual ~AudioOutputPort() = default;
    // The service whose stream is played from now on; null for silence.
    virtual void setAudioSource(ServiceAudio *service) = 0;
    // Plays a WAVE file (a spoken label) before the source; `overrideMuted`
    // plays it also while muted.
    virtual void playFile(const QString &fileName, bool overrideMuted) = 0;
};

} // namespace ZOZ
