#pragma once

#include "ZOZAudioStream.h"

#include "base/ZOZPointer.h"

// A counted stream as a service would be, configured to play through the sound
// card. The test holds the first reference, so the output never deletes it.
struct AudioTestSource : ZOZ::Pointer, ZOZ::AudioStream
{
    explicit AudioTestSource(const ZOZ::AudioFormat &streamFormat)
        : format(streamFormat)
    {
        retain();
        ZOZ::AudioStreamConfig config;
        config.valid = config.active = config.realtime = true;
        config.format = format;
        setStreamConfig(config);
    }

    ZOZ::AudioFormat format;
};
