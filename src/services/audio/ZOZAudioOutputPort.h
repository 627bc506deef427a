#pragma once

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
};

} // namespace ZOZ
