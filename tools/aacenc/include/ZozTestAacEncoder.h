// A small MPEG-4 AAC-LC encoder for tests and demo streams, never linked into the
// player. It makes the streams that no Debian tool makes: 960-sample frames and DAB+
// superframes. Everything is double precision and deliberately plain: a fixed-step
// quantiser (the step rises only to fit a byte budget), sections found by merging,
// and the optional tools switched on by the caller so that a test can aim at them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZozTestAac {

// The window sequences of an AAC frame, numbered as in the bit stream.
enum class WindowSequence { OnlyLong = 0, LongStart = 1, EightShort = 2, LongStop = 3 };

enum class WindowShapeChoice {
    Sine,
    Kbd,
    Alternating, // sine and KBD frame by frame, so both slopes meet in every pairing
};

enum class WindowPlan {
    LongOnly,
    Transients, // short windows where an attack is found
    Cycle,      // long, start, short, short, stop, over and over
};

struct EncoderOptions
{
    int sampleRate = 48000;
    int channels = 2;       // 1 (single channel element) or 2 (channel pair element)
    int frameLength = 1024; // 1024 or 960 samples per channel and frame
    // The smallest scale factor of a band: 100 quantises in unit steps, each +4
    // doubles the step. A band only goes above it so that its values stay codable.
    int step = 124;
    int bandwidthHz = 0;      // bands starting at or above are left out; 0 = all
    bool midSide = false;     // per band, where the channels are alike
    int intensityFromHz = 0;  // intensity stereo from this frequency up; 0 = off
    int noiseFromHz = 0;      // perceptual noise substitution from here up; 0 = off
    bool pulses = false;      // pulse data for the largest lines of long frames
    WindowShapeChoice shape = WindowShapeChoice::Sine;
    WindowPlan windows = WindowPlan::LongOnly;
    // scale_factor_grouping of short frames: bit 6 set puts window 1 in the group of
    // window 0, ... bit 0 window 7 in that of window 6. 0 = eight groups.
    int shortGrouping = 0;
};

// What a unit carries besides the audio.
struct UnitExtras
{
    // Bytes of a data stream element written first in the unit (DAB+ PAD); none when
    // empty. At most 510 bytes.
    std::vector<uint8_t> dataStream;
    // Exact size of the unit in bytes, reached by raising the step and filling with
    // fill elements; 0 = as it comes.
    int exactBytes = 0;
};

// How one encoded unit was coded, for tests that want to see a tool in use.
struct UnitReport
{
    WindowSequence sequence = WindowSequence::OnlyLong;
    int windowShape = 0;       // 0 sine, 1 KBD
    int maxBand = 0;           // max_sfb
    int midSideBands = 0;      // bands (times groups) coded as mid/side
    int intensityBands = 0;
    int noiseBands = 0;        // over both channels
    int pulses = 0;            // over both channels
    int escapeSections = 0;    // sections coded with the escape codebook
    int step = 0;              // the step after fitting the byte budget
};

class Encoder {
public:
    explicit Encoder(const EncoderOptions &options);
    ~Encoder();
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;

    const EncoderOptions &options() const { return m_options; }

    // Adds interleaved 16-bit PCM, samplesPerChannel samples of each channel.
    void push(const int16_t *pcm, std::size_t samplesPerChannel);
    // Ends the input: the units still to come carry every pushed sample out.
    void finish();
    // Units that can be encoded now (each needs the next frame to choose its window).
    int unitsReady() const;
    // Encodes the next unit; empty when none is ready or it cannot be made to fit
    // exactBytes. A decoder puts out the input one frame late: unit t gives the
    // samples of frame t - 1 (unit 0 gives silence).
    std::vector<uint8_t> encodeUnit(const UnitExtras &extras = {});
    const UnitReport &lastReport() const { return m_report; }
    int unitsEncoded() const { return m_unitsDone; }

    struct Impl; // the input and window history, private to the source

private:
    EncoderOptions m_options;
    Impl *m_impl;
    UnitReport m_report;
    int m_unitsDone = 0;
};

// Encodes a whole signal (interleaved) into units without extras.
std::vector<std::vector<uint8_t>> encodeAll(const EncoderOptions &options, const std::vector<int16_t> &pcm);

// 0..12 for the sampling rates of MPEG-4 audio, -1 for any other.
int samplingFrequencyIndex(int sampleRate);

// AudioSpecificConfig of AAC-LC for the options (frameLengthFlag set for 960).
std::vector<uint8_t> audioSpecificConfig(const EncoderOptions &options);

// One ADTS frame around a unit (no CRC). Empty for 960-sample frames, which ADTS cannot
// signal, and for units too long for its 13-bit length.
std::vector<uint8_t> adtsFrame(const EncoderOptions &options, const std::vector<uint8_t> &unit);

// One LOAS frame (AudioSyncStream) holding a LATM AudioMuxElement with its
// configuration and the unit.
std::vector<uint8_t> loasFrame(const std::vector<uint8_t> &audioSpecificConfig, const std::vector<uint8_t> &unit);

// A minimal MP4 file (one audio track, all units in one chunk) for decoders that read
// the configuration only from a container.
std::vector<uint8_t> mp4File(const EncoderOptions &options, const std::vector<std::vector<uint8_t>> &units);

} // namespace ZozTestAac
