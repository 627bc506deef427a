// Layer II frame headers as the DAB+ parser recognises them.
#include "DABplusParserInternal.h"
#include "MpegAudio_tables.h"

#include <cstring>

namespace {

constexpr uint32_t LayerCodeLayer2 = 2;
constexpr uint32_t ModeSingleChannel = 3;
constexpr uint32_t MaxFrameLength = 1152;

} // namespace

int DABplusParser_ParseLayer2Header(DABplusLayer2Header *fields, const uint8_t *bytes, uint32_t length)
{
    if (!fields || !bytes || length < 4)
        return -1;
    fields->syncword = static_cast<uint32_t>(bytes[0]) << 4 | bytes[1] >> 4;
    fields->id = (bytes[1] >> 3) & 1;
    fields->layer = (bytes[1] >> 1) & 3;
    fields->protection = bytes[1] & 1;
    fields->bitrateIndex = bytes[2] >> 4;
    fields->samplingFrequencyIndex = (bytes[2] >> 2) & 3;
    fields->padding = (bytes[2] >> 1) & 1;
    fields->privateBit = bytes[2] & 1;
    fields->mode = bytes[3] >> 6;
    fields->modeExtension = (bytes[3] >> 4) & 3;
    return 0;
}

int DABplusParser_CheckLayer2Header(const DABplusLayer2Header *fields, DABplusLayer2Info *info)
{
    if (fields->syncword != 0xFFF || fields->layer != LayerCodeLayer2 || fields->samplingFrequencyIndex != 1)
        return 0;
    const bool full = fields->id == 1;
    const uint32_t kbps = MpegAudio_Layer2_bitrate_index[full ? 0 : 1][fields->bitrateIndex];
    const uint32_t frameLength = (full ? 24 : 48) * (kbps >> 3);
    if (frameLength == 0 || frameLength > MaxFrameLength)
        return 0;
    info->sampleRate = full ? 48000 : 24000;
    info->samplesPerFrame = 1152;
    info->frameLength = frameLength;
    info->bitRate = kbps * 1000;
    info->layer = 2;
    info->channels = fields->mode == ModeSingleChannel ? 1 : 2;
    return 1;
}

uint32_t DABplusParser_Layer2FrameLength(const uint8_t *bytes, uint32_t length, uint32_t *sampleRate)
{
    DABplusLayer2Header fields;
    DABplusLayer2Info info;
    if (DABplusParser_ParseLayer2Header(&fields, bytes, length) < 0 || !DABplusParser_CheckLayer2Header(&fields, &info))
        return 0;
    if (sampleRate)
        *sampleRate = info.sampleRate;
    return info.frameLength;
}

int DABplusParser_CompareLayer2Header(const uint8_t *stored, const uint8_t *frame, uint32_t length)
{
    DABplusLayer2Header old, now;
    DABplusLayer2Info oldInfo, nowInfo;
    if (DABplusParser_ParseLayer2Header(&old, stored, 4) < 0 || !DABplusParser_CheckLayer2Header(&old, &oldInfo))
        return -1;
    if (DABplusParser_ParseLayer2Header(&now, frame, length) < 0)
        return -1;
    if (std::memcmp(stored, frame, 4) == 0)
        return 0;
    const bool valid = DABplusParser_CheckLayer2Header(&now, &nowInfo) != 0;
    if (std::memcmp(stored, frame, 3) != 0)
        return valid ? 1 : -1;
    if (!valid)
        return -1;
    return nowInfo.channels != oldInfo.channels ? 1 : 0;
}
