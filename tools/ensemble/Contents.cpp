#include "Contents.h"

#include "DabCrc16.h"
#include "Layer2ScfCrc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>

#ifdef ZOZ_HAVE_TWOLAME
#include <twolame.h>
#endif

namespace ZOZ::EnsembleGen {

namespace {

constexpr int PacketHeaderBytes = 3;
constexpr int PacketCrcBytes = 2;
constexpr int PacketLengths[] = {24, 48, 72, 96};
constexpr int PaddingAddress = 0;
// Enhanced packet mode: FEC packets on address 1022, 22 parity bytes each after
// a two-byte header, nine of them per application data table.
constexpr int FecAddress = 1022;
constexpr int FecPacketBytes = 24;
constexpr int FecPacketHeaderBytes = 2;
constexpr int FecPacketsPerFrame = 9;
constexpr int ParityBytes = 16;
constexpr int FieldPolynomial = 0x11D;

constexpr int SampleRate = 48000;
constexpr int SamplesPerFrame = 1152;

// Dynamic Label: characters per segment, character set code of UTF-8.
constexpr size_t LabelSegmentCharacters = 16;
constexpr int LabelCharsetUtf8 = 15;
// X-PAD application types and the contents-indicator length index of 8 bytes.
constexpr int XPadDynamicLabelStart = 2;
constexpr int XPadDynamicLabelContinuation = 3;
constexpr int XPadDataGroupLength = 1;
constexpr int XPadMotStart = 12;
constexpr int XPadMotContinuation = 13;
constexpr int XPadLengthIndex8 = 2;
constexpr int XPadSubfieldBytes = 8;
// A data group length indicator (two length bytes and their CRC) has a
// subfield of 4 bytes, length index 0, of its own.
constexpr int XPadLengthIndex4 = 0;
constexpr int XPadIndicatorBytes = 4;

void appendCrc(Bytes &bytes)
{
    const uint16_t crc = DAB_Bb_Ruz_Crc16(bytes.data(), bytes.size());
    bytes.push_back(uint8_t(crc >> 8));
    bytes.push_back(uint8_t(crc));
}

} // namespace

void LoopContent::fill(int, uint8_t *out, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        out[i] = m_bytes.empty() ? 0 : m_bytes[m_position];
        if (!m_bytes.empty())
            m_position = (m_position + 1) % m_bytes.size();
    }
}

Bytes buildDataGroup(const DataGroup &group)
{
    Bytes bytes;
    const bool segmented = group.segmentNumber >= 0;
    const bool userAccess = group.transportId >= 0;
    bytes.push_back(uint8_t((group.crc ? 0x40 : 0) | (segmented ? 0x20 : 0) | (userAccess ? 0x10 : 0) |
                            (group.type & 0x0F)));
    bytes.push_back(uint8_t(((group.continuity & 0x0F) << 4) | (group.repetition & 0x0F)));
    if (segmented) {
        const int value = (group.lastSegment ? 0x8000 : 0) | (group.segmentNumber & 0x7FFF);
        bytes.push_back(uint8_t(value >> 8));
        bytes.push_back(uint8_t(value));
    }
    if (userAccess) {
        bytes.push_back(0x10 | 0x02);  // transport id present, two bytes follow
        bytes.push_back(uint8_t(group.transportId >> 8));
        bytes.push_back(uint8_t(group.transportId));
    }
    bytes.insert(bytes.end(), group.data.begin(), group.data.end());
    if (group.crc)
        appendCrc(bytes);
    return bytes;
}

Bytes buildPacket(int address, int continuity, bool first, bool last, const uint8_t *data, size_t dataLength,
                  int length)
{
    Bytes packet(size_t(length), 0);
    const int lengthCode = length / 24 - 1;
    packet[0] = uint8_t((lengthCode << 6) | ((continuity & 3) << 4) | (first ? 0x08 : 0) | (last ? 0x04 : 0) |
                        ((address >> 8) & 0x03));
    packet[1] = uint8_t(address);
    packet[2] = uint8_t(dataLength & 0x7F);
    if (dataLength)
        std::memcpy(packet.data() + PacketHeaderBytes, data, dataLength);
    const uint16_t crc = DAB_Bb_Ruz_Crc16(packet.data(), size_t(length - PacketCrcBytes));
    packet[size_t(length - 2)] = uint8_t(crc >> 8);
    packet[size_t(length - 1)] = uint8_t(crc);
    return packet;
}

PacketContent::PacketContent(std::vector<DataGroup> groups, bool repeat, Mode mode)
    : m_mode(mode), m_groups(std::move(groups)), m_repeat(repeat)
{
}

int PacketContent::writePacket(uint8_t *out, int room)
{
    if (!m_fecPackets.empty()) {
        std::memcpy(out, m_fecPackets.front().data(), FecPacketBytes);
        m_fecPackets.erase(m_fecPackets.begin());
        return FecPacketBytes;
    }
    // In enhanced mode a packet must not run past the application data table.
    if (m_mode == Mode::Enhanced)
        room = std::min(room, FecRows * FecColumns - int(m_table.size()));
    if (m_offset >= m_current.size()) {
        m_current.clear();
        m_offset = 0;
        if (m_nextGroup < m_groups.size()) {
            m_current = buildDataGroup(m_groups[m_nextGroup]);
            m_currentAddress = m_groups[m_nextGroup].address;
            ++m_nextGroup;
            if (m_repeat && m_nextGroup == m_groups.size())
                m_nextGroup = 0;
        }
    }
    Bytes packet;
    if (m_current.empty()) {
        packet = buildPacket(PaddingAddress, 0, true, true, nullptr, 0, 24);
    } else {
        const size_t left = m_current.size() - m_offset;
        // The smallest packet that takes the rest, else the largest that fits.
        int length = 24;
        for (int candidate : PacketLengths) {
            if (candidate > room)
                break;
            length = candidate;
            if (size_t(candidate - PacketHeaderBytes - PacketCrcBytes) >= left)
                break;
        }
        const size_t take = std::min(left, size_t(length - PacketHeaderBytes - PacketCrcBytes));
        const bool first = m_offset == 0;
        const bool last = m_offset + take == m_current.size();
        int &continuity = m_continuity[m_currentAddress & 0x3FF];
        packet = buildPacket(m_currentAddress, continuity, first, last, m_current.data() + m_offset, take, length);
        continuity = (continuity + 1) % 4;
        m_offset += take;
    }
    std::memcpy(out, packet.data(), packet.size());
    if (m_mode == Mode::Enhanced) {
        m_table.insert(m_table.end(), packet.begin(), packet.end());
        if (m_table.size() == size_t(FecRows * FecColumns))
            queueFecPackets();
    }
    return int(packet.size());
}

void PacketContent::queueFecPackets()
{
    // Row r of the table holds the bytes r, r + rows, r + 2 rows, ...
    Bytes parity(size_t(FecRows * ParityBytes));
    for (int row = 0; row < FecRows; ++row) {
        Bytes data(FecColumns);
        for (int column = 0; column < FecColumns; ++column)
            data[size_t(column)] = m_table[size_t(row + column * FecRows)];
        const Bytes rowParity = reedSolomonParity(data);
        for (int k = 0; k < ParityBytes; ++k)
            parity[size_t(row + k * FecRows)] = rowParity[size_t(k)];
    }
    const int perPacket = FecPacketBytes - FecPacketHeaderBytes;
    for (int counter = 0; counter < FecPacketsPerFrame; ++counter) {
        Bytes packet(FecPacketBytes, 0);
        packet[0] = uint8_t((counter << 2) | (FecAddress >> 8));
        packet[1] = uint8_t(FecAddress & 0xFF);
        for (int i = 0; i < perPacket; ++i) {
            const size_t at = size_t(counter * perPacket + i);
            if (at < parity.size())
                packet[size_t(FecPacketHeaderBytes + i)] = parity[at];
        }
        m_fecPackets.push_back(packet);
    }
    m_table.clear();
}

void PacketContent::fill(int, uint8_t *out, size_t length)
{
    size_t position = 0;
    while (position + 24 <= length)
        position += size_t(writePacket(out + position, int(std::min<size_t>(length - position, 96))));
    std::memset(out + position, 0, length - position);
}

Bytes reedSolomonParity(const Bytes &data)
{
    // Field tables from the polynomial, built once.
    static const auto field = [] {
        std::pair<std::array<uint8_t, 512>, std::array<int, 256>> tables{};
        int value = 1;
        for (int i = 0; i < 255; ++i) {
            tables.first[size_t(i)] = uint8_t(value);
            tables.first[size_t(i + 255)] = uint8_t(value);
            tables.second[size_t(value)] = i;
            value <<= 1;
            if (value & 0x100)
                value ^= FieldPolynomial;
        }
        return tables;
    }();
    const auto &exp = field.first;
    const auto &log = field.second;
    auto multiply = [&](uint8_t a, uint8_t b) -> uint8_t {
        return (a && b) ? exp[size_t(log[a] + log[b])] : 0;
    };
    // g(x) = (x - alpha^0) ... (x - alpha^15), highest degree first.
    static const Bytes generator = [&] {
        Bytes g{1};
        for (int i = 0; i < ParityBytes; ++i) {
            Bytes next(g.size() + 1, 0);
            for (size_t j = 0; j < g.size(); ++j) {
                next[j] ^= g[j];
                next[j + 1] ^= multiply(g[j], exp[size_t(i)]);
            }
            g = next;
        }
        return g;
    }();
    // Remainder of data(x) x^16 divided by g(x), by long division.
    Bytes remainder(ParityBytes, 0);
    for (uint8_t byte : data) {
        const uint8_t factor = byte ^ remainder[0];
        std::rotate(remainder.begin(), remainder.begin() + 1, remainder.end());
        remainder.back() = 0;
        for (int k = 0; k < ParityBytes; ++k)
            remainder[size_t(k)] ^= multiply(generator[size_t(k + 1)], factor);
    }
    return remainder;
}

std::vector<Bytes> dynamicLabelGroups(const std::string &utf8, bool toggle)
{
    std::vector<Bytes> groups;
    const size_t segments = std::max<size_t>(1, (utf8.size() + LabelSegmentCharacters - 1) / LabelSegmentCharacters);
    for (size_t index = 0; index < segments && index < 8; ++index) {
        const size_t begin = index * LabelSegmentCharacters;
        const size_t count = std::min(LabelSegmentCharacters, utf8.size() - std::min(utf8.size(), begin));
        const bool last = index + 1 == segments || index == 7;
        Bytes group;
        group.push_back(uint8_t((toggle ? 0x80 : 0) | (index == 0 ? 0x40 : 0) | (last ? 0x20 : 0) |
                                ((count ? count - 1 : 0) & 0x0F)));
        group.push_back(index == 0 ? uint8_t(LabelCharsetUtf8 << 4) : uint8_t((index & 7) << 4));
        group.insert(group.end(), utf8.begin() + long(begin), utf8.begin() + long(begin + count));
        appendCrc(group);
        groups.push_back(group);
    }
    return groups;
}

Bytes dataGroupLengthIndicator(size_t length)
{
    Bytes bytes{uint8_t((length >> 8) & 0x3F), uint8_t(length)};
    appendCrc(bytes);
    return bytes;
}

Mp2Content::Mp2Content(std::vector<Bytes> frames, int scfCrcBytes, std::vector<std::string> labels, int labelFrames,
                       std::vector<Bytes> dataGroups)
    : m_frames(std::move(frames)), m_scfCrcBytes(scfCrcBytes), m_labels(std::move(labels)),
      m_labelFrames(std::max(1, labelFrames)), m_dataGroups(std::move(dataGroups))
{
    // The frames play in a loop, so the last one protects the first.
    const size_t groups = size_t(std::max(0, m_scfCrcBytes));
    for (size_t i = 0; i < m_frames.size(); ++i) {
        const Bytes &next = m_frames[(i + 1) % m_frames.size()];
        m_scfCrcOfNext.push_back(layer2ScfCrc(next.data(), next.size(), groups));
    }
}

void Mp2Content::refill()
{
    m_items.clear();
    m_item = 0;
    m_itemOffset = 0;
    if (!m_labels.empty()) {
        if (m_framesOfLabel >= m_labelFrames && m_labels.size() > 1) {
            m_framesOfLabel = 0;
            m_labelIndex = (m_labelIndex + 1) % m_labels.size();
            m_toggle = !m_toggle;
        }
        for (Bytes &group : dynamicLabelGroups(m_labels[m_labelIndex], m_toggle))
            m_items.push_back({XPadDynamicLabelStart, XPadDynamicLabelContinuation, std::move(group)});
    }
    if (!m_dataGroups.empty()) {
        const Bytes &group = m_dataGroups[m_nextDataGroup];
        m_nextDataGroup = (m_nextDataGroup + 1) % m_dataGroups.size();
        m_items.push_back({XPadDataGroupLength, XPadDataGroupLength, dataGroupLengthIndicator(group.size())});
        m_items.push_back({XPadMotStart, XPadMotContinuation, group});
    }
}

void Mp2Content::fill(int frame, uint8_t *out, size_t length)
{
    std::memset(out, 0, length);
    if (m_frames.empty())
        return;
    const Bytes &source = m_frames[size_t(frame) % m_frames.size()];
    std::memcpy(out, source.data(), std::min(length, source.size()));
    if (length < size_t(XPadBytes + m_scfCrcBytes + 2))
        return;
    ++m_framesOfLabel;
    if (m_item >= m_items.size())
        refill();

    // X-PAD in its logical order; it is stored reversed before the ScF-CRC.
    Bytes xpad;
    if (m_item < m_items.size()) {
        const XPadItem &item = m_items[m_item];
        const uint8_t type = m_itemOffset == 0 ? item.startType : item.continuationType;
        const bool indicator = type == XPadDataGroupLength;
        xpad.push_back(uint8_t(((indicator ? XPadLengthIndex4 : XPadLengthIndex8) << 5) | type));
        xpad.push_back(0x00);  // end of the contents indicator list
        const size_t room = indicator ? XPadIndicatorBytes : XPadSubfieldBytes;
        const size_t take = std::min<size_t>(room, item.bytes.size() - m_itemOffset);
        xpad.insert(xpad.end(), item.bytes.begin() + long(m_itemOffset), item.bytes.begin() + long(m_itemOffset + take));
        xpad.resize(XPadBytes, 0x00);
        m_itemOffset += take;
        if (m_itemOffset >= item.bytes.size()) {
            m_itemOffset = 0;
            ++m_item;
        }
    }
    const size_t fpad = length - 2;
    const size_t xpadEnd = fpad - size_t(m_scfCrcBytes);
    for (size_t i = 0; i < xpad.size(); ++i)
        out[xpadEnd - 1 - i] = xpad[i];
    // The first group's CRC stands last, just before the F-PAD.
    const std::vector<uint8_t> &crcs = m_scfCrcOfNext[size_t(frame) % m_frames.size()];
    for (size_t g = 0; g < crcs.size() && g < size_t(m_scfCrcBytes); ++g)
        out[fpad - 1 - g] = crcs[g];
    // F-PAD: type 0, variable-size X-PAD (or none), contents indicators present.
    out[fpad] = xpad.empty() ? 0x00 : 0x20;
    out[fpad + 1] = xpad.empty() ? 0x00 : 0x02;
}

Pcm makeTone(const std::vector<double> &frequencies, double seconds)
{
    const size_t samples = size_t(seconds * SampleRate);
    Pcm pcm(samples * 2);
    const double pi = std::acos(-1.0);
    for (size_t n = 0; n < samples; ++n) {
        const double t = double(n) / SampleRate;
        // A chord that swells twice a second, panned a little per voice.
        const double envelope = 0.55 + 0.45 * std::sin(2 * pi * 2.0 * t);
        double left = 0;
        double right = 0;
        for (size_t v = 0; v < frequencies.size(); ++v) {
            const double voice = std::sin(2 * pi * frequencies[v] * t) / double(frequencies.size());
            const double pan = frequencies.size() > 1 ? double(v) / double(frequencies.size() - 1) : 0.5;
            left += voice * (1.0 - 0.5 * pan);
            right += voice * (0.5 + 0.5 * pan);
        }
        pcm[2 * n] = int16_t(12000 * envelope * left);
        pcm[2 * n + 1] = int16_t(12000 * envelope * right);
    }
    return pcm;
}

bool readWav(const std::string &path, Pcm *pcm, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), {});
    auto u16 = [&](size_t at) { return uint32_t(file[at] | (file[at + 1] << 8)); };
    auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        *error = path + ": not a WAV file";
        return false;
    }
    uint32_t channels = 0, rate = 0, bits = 0;
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = u32(at + 4);
        const size_t body = at + 8;
        if (size > file.size() - body) {
            *error = path + ": truncated chunk";
            return false;
        }
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && size >= 16) {
            channels = u16(body + 2);
            rate = u32(body + 4);
            bits = u16(body + 14);
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            if (rate != SampleRate || bits != 16 || (channels != 1 && channels != 2)) {
                *error = path + ": needs 16-bit PCM at 48 kHz, mono or stereo";
                return false;
            }
            const size_t frames = size / (2 * channels);
            pcm->resize(frames * 2);
            for (size_t n = 0; n < frames; ++n) {
                const auto left = int16_t(u16(body + 2 * channels * n));
                const auto right = channels == 2 ? int16_t(u16(body + 2 * channels * n + 2)) : left;
                (*pcm)[2 * n] = left;
                (*pcm)[2 * n + 1] = right;
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    *error = path + ": no audio data";
    return false;
}

std::vector<Bytes> encodeMp2(const Pcm &pcm, int bitRate, int *scfCrcBytes, std::string *error)
{
#ifdef ZOZ_HAVE_TWOLAME
    twolame_options *options = twolame_init();
    if (!options) {
        *error = "the Layer II encoder did not start";
        return {};
    }
    // Layer II has no stereo below 64 kbit/s, nor at 80: those rates carry mono.
    const bool mono = bitRate < 64 || bitRate == 80;
    const int channels = mono ? 1 : 2;
    twolame_set_num_channels(options, channels);
    twolame_set_in_samplerate(options, SampleRate);
    twolame_set_out_samplerate(options, SampleRate);
    twolame_set_mode(options, mono ? TWOLAME_MONO : bitRate >= 112 ? TWOLAME_STEREO : TWOLAME_JOINT_STEREO);
    twolame_set_bitrate(options, bitRate);
    twolame_set_padding(options, TWOLAME_PAD_NO);
    // DAB frames always carry the header CRC; a DAB decoder reads it whatever the protection bit says.
    twolame_set_error_protection(options, TRUE);
    twolame_set_DAB_scf_crc_length(options);
    const int crcBytes = twolame_get_DAB_crc_length(options);
    twolame_set_num_ancillary_bits(options, (Mp2Content::XPadBytes + crcBytes + 2) * 8);
    if (twolame_init_params(options) != 0) {
        twolame_close(&options);
        *error = "the Layer II encoder refused " + std::to_string(bitRate) + " kbit/s";
        return {};
    }
    const size_t frameBytes = size_t(bitRate) * 3;
    std::vector<Bytes> frames;
    Bytes buffer(16384);
    Bytes stream;
    Pcm block(SamplesPerFrame * size_t(channels));
    for (size_t offset = 0; offset + SamplesPerFrame * 2 <= pcm.size(); offset += SamplesPerFrame * 2) {
        for (size_t n = 0; n < SamplesPerFrame; ++n) {
            const int left = pcm[offset + 2 * n];
            const int right = pcm[offset + 2 * n + 1];
            if (mono) {
                block[n] = int16_t((left + right) / 2);
            } else {
                block[2 * n] = int16_t(left);
                block[2 * n + 1] = int16_t(right);
            }
        }
        const int bytes = twolame_encode_buffer_interleaved(options, block.data(), SamplesPerFrame, buffer.data(),
                                                            int(buffer.size()));
        if (bytes > 0)
            stream.insert(stream.end(), buffer.begin(), buffer.begin() + bytes);
    }
    twolame_close(&options);
    for (size_t offset = 0; offset + frameBytes <= stream.size(); offset += frameBytes)
        frames.emplace_back(stream.begin() + long(offset), stream.begin() + long(offset + frameBytes));
    if (frames.empty())
        *error = "no audio frames: the input is shorter than 24 ms";
    *scfCrcBytes = crcBytes;
    return frames;
#else
    (void)pcm;
    (void)bitRate;
    *scfCrcBytes = 0;
    *error = "built without the Layer II encoder (libtwolame)";
    return {};
#endif
}

} // namespace ZOZ::EnsembleGen
