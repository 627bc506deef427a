#include "ZozTestAacEncoder.h"

#include "AacEncBits.h"

namespace ZozTestAac {

namespace {

constexpr int ObjectTypeLowComplexity = 2;

void writeAudioSpecificConfig(BitWriter &w, const EncoderOptions &options)
{
    w.put(ObjectTypeLowComplexity, 5);
    const int index = samplingFrequencyIndex(options.sampleRate);
    if (index >= 0) {
        w.put(static_cast<uint32_t>(index), 4);
    } else {
        w.put(0xF, 4);
        w.put(static_cast<uint32_t>(options.sampleRate), 24);
    }
    w.put(static_cast<uint32_t>(options.channels), 4);
    w.put(options.frameLength == 960 ? 1 : 0, 1); // frameLengthFlag
    w.put(0, 1);                                  // dependsOnCoreCoder
    w.put(0, 1);                                  // extensionFlag
}

} // namespace

int samplingFrequencyIndex(int sampleRate)
{
    const int rates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
    for (int i = 0; i < 13; ++i)
        if (rates[i] == sampleRate)
            return i;
    return -1;
}

std::vector<uint8_t> audioSpecificConfig(const EncoderOptions &options)
{
    BitWriter w;
    writeAudioSpecificConfig(w, options);
    w.alignToByte();
    return w.bytes();
}

std::vector<uint8_t> adtsFrame(const EncoderOptions &options, const std::vector<uint8_t> &unit)
{
    constexpr size_t HeaderBytes = 7;
    const size_t length = unit.size() + HeaderBytes;
    const int index = samplingFrequencyIndex(options.sampleRate);
    if (options.frameLength != 1024 || index < 0 || length >= (1u << 13))
        return {};
    BitWriter w;
    w.put(0xFFF, 12); // syncword
    w.put(0, 1);      // ID: MPEG-4
    w.put(0, 2);      // layer
    w.put(1, 1);      // protection_absent
    w.put(ObjectTypeLowComplexity - 1, 2);
    w.put(static_cast<uint32_t>(index), 4);
    w.put(0, 1); // private_bit
    w.put(static_cast<uint32_t>(options.channels), 3);
    w.put(0, 1); // original_copy
    w.put(0, 1); // home
    w.put(0, 1); // copyright_identification_bit
    w.put(0, 1); // copyright_identification_start
    w.put(static_cast<uint32_t>(length), 13);
    w.put(0x7FF, 11); // adts_buffer_fullness: variable rate
    w.put(0, 2);      // number_of_raw_data_blocks_in_frame: one
    w.putBytes(unit);
    return w.bytes();
}

std::vector<uint8_t> loasFrame(const std::vector<uint8_t> &config, const std::vector<uint8_t> &unit)
{
    BitWriter mux; // AudioMuxElement with its StreamMuxConfig
    mux.put(0, 1); // useSameStreamMux
    mux.put(0, 1); // audioMuxVersion
    mux.put(1, 1); // allStreamsSameTimeFraming
    mux.put(0, 6); // numSubFrames
    mux.put(0, 4); // numProgram
    mux.put(0, 3); // numLayer
    // The configurations of this encoder fill whole bytes (16 or 40 bits).
    mux.putBytes(config);
    mux.put(0, 3);    // frameLengthType: byte-counted payloads
    mux.put(0xFF, 8); // latmBufferFullness
    mux.put(0, 1);    // otherDataPresent
    mux.put(0, 1);    // crcCheckPresent
    size_t rest = unit.size();
    while (rest >= 255) {
        mux.put(255, 8);
        rest -= 255;
    }
    mux.put(static_cast<uint32_t>(rest), 8);
    mux.putBytes(unit);
    mux.alignToByte();

    BitWriter w;
    w.put(0x2B7, 11); // syncword of the AudioSyncStream
    w.put(static_cast<uint32_t>(mux.bytes().size()), 13);
    w.putBytes(mux.bytes());
    return w.bytes();
}

} // namespace ZozTestAac
