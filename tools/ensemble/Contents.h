// Content sources for sub-channels: fixed bytes, packet mode with MSC data
// groups, and MPEG Layer II audio with programme-associated data (Dynamic Label).
#pragma once

#include "EnsembleDescription.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZOZ::EnsembleGen {

using Bytes = std::vector<uint8_t>;

// Repeats `bytes` end to end.
class LoopContent : public ContentSource {
public:
    explicit LoopContent(Bytes bytes) : m_bytes(std::move(bytes)) {}
    void fill(int frame, uint8_t *out, size_t length) override;

private:
    Bytes m_bytes;
    size_t m_position = 0;
};

// One MSC data group to send in packet mode.
struct DataGroup {
    int address = 1;          // packet address 1..1023
    int type = 0;             // data group type (3 MOT header, 4 MOT body, ...)
    Bytes data;               // the data group data field
    int segmentNumber = -1;   // session header with segment field when >= 0
    bool lastSegment = true;
    int transportId = -1;     // user access field with transport id when >= 0
    bool crc = true;
    int continuity = 0;       // data group continuity index, 0..15
    int repetition = 0;       // repetition index, 0..15
};

// The bytes of an MSC data group, with its CRC when asked for.
Bytes buildDataGroup(const DataGroup &group);

// Packet mode: the data groups, again and again, in packets with CRC and a
// continuity index per address; padding packets when nothing is left. In
// enhanced mode every 2256 bytes of packets (the application data table of 12
// rows by 188 columns) are followed by nine FEC packets on address 1022 that
// carry the table's Reed-Solomon parity.
class PacketContent : public ContentSource {
public:
    enum class Mode { Standard, Enhanced };
    explicit PacketContent(std::vector<DataGroup> groups, bool repeat = true, Mode mode = Mode::Standard);
    void fill(int frame, uint8_t *out, size_t length) override;

private:
    // Writes one packet of at most `room` bytes; returns its length.
    int writePacket(uint8_t *out, int room);
    void queueFecPackets();

    Mode m_mode;
    Bytes m_table;
    std::vector<Bytes> m_fecPackets;

    std::vector<DataGroup> m_groups;
    bool m_repeat;
    size_t m_nextGroup = 0;
    Bytes m_current;
    size_t m_offset = 0;
    int m_currentAddress = 0;
    int m_continuity[1024] = {};
};

// Parity of a Reed-Solomon RS(255, 239) code over GF(2^8) (field polynomial
// 0x11D, generator roots alpha^0 to alpha^15), shortened to `data`: the 16
// bytes p such that data followed by p is a codeword, highest degree first.
Bytes reedSolomonParity(const Bytes &data);

// The application data table of enhanced packet mode, filled column by column.
constexpr int FecRows = 12;
constexpr int FecColumns = 188;

// One packet: `length` 24, 48, 72 or 96 bytes, `data` at most length - 5.
Bytes buildPacket(int address, int continuity, bool first, bool last, const uint8_t *data, size_t dataLength,
                  int length);

// Dynamic Label segments as X-PAD data groups (prefix, up to 16 bytes, CRC).
std::vector<Bytes> dynamicLabelGroups(const std::string &utf8, bool toggle);

// MPEG Layer II frames (one per 24 ms at 48 kHz), each with room at its end
// for the programme-associated data: X-PAD, then the ScF-CRC bytes, then the
// two F-PAD bytes. The X-PAD carries the Dynamic Label (the texts take turns
// every `labelFrames`) and, after each round of label segments, the next of the
// given MSC data groups (MOT) announced by a data group length indicator.
class Mp2Content : public ContentSource {
public:
    Mp2Content(std::vector<Bytes> frames, int scfCrcBytes, std::vector<std::string> labels, int labelFrames = 400,
               std::vector<Bytes> dataGroups = {});
    void fill(int frame, uint8_t *out, size_t length) override;

    // X-PAD bytes per frame: one contents indicator, an end marker, an 8-byte subfield.
    static constexpr int XPadBytes = 10;

private:
    struct XPadItem {
        uint8_t startType;
        uint8_t continuationType;
        Bytes bytes;
    };

    void refill();

    std::vector<Bytes> m_frames;
    int m_scfCrcBytes;
    // Per frame: the ScF-CRC bytes it carries, those of the frame that follows it.
    std::vector<std::vector<uint8_t>> m_scfCrcOfNext;
    std::vector<std::string> m_labels;
    int m_labelFrames;
    std::vector<Bytes> m_dataGroups;
    size_t m_labelIndex = 0;
    size_t m_nextDataGroup = 0;
    bool m_toggle = false;
    int m_framesOfLabel = 0;
    std::vector<XPadItem> m_items;
    size_t m_item = 0;
    size_t m_itemOffset = 0;
};

// The data group length indicator that precedes an X-PAD data group of `length` bytes.
Bytes dataGroupLengthIndicator(size_t length);

// Stereo 48 kHz PCM, interleaved 16-bit.
using Pcm = std::vector<int16_t>;

// A music-like tone: the given frequencies as a slowly pulsing chord.
Pcm makeTone(const std::vector<double> &frequencies, double seconds);

// Reads a 16-bit PCM WAV file at 48 kHz (mono or stereo) as stereo.
bool readWav(const std::string &path, Pcm *pcm, std::string *error);

// Encodes PCM to Layer II frames at `bitRate` kbit/s with room for PAD; the
// ScF-CRC field length is returned in *scfCrcBytes. Empty with *error set when
// the encoder is missing or refuses.
std::vector<Bytes> encodeMp2(const Pcm &pcm, int bitRate, int *scfCrcBytes, std::string *error);

} // namespace ZOZ::EnsembleGen
