// The declarative description of a test ensemble: what the generator puts on
// air. Identifiers and codes are the broadcast values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ZOZ::EnsembleGen {

// A FIG 1 label: up to 16 characters (ASCII, the part the EBU Latin set shares)
// and the character flag field that marks the short label.
struct Label {
    std::string text;
    uint16_t shortLabelFlags = 0xFF00;
};

// A FIG 2/1 extended label, sent in UTF-8 or UCS-2.
struct ExtendedLabel {
    enum class Encoding { Utf8, Ucs2 };
    std::string utf8;
    Encoding encoding = Encoding::Utf8;
    uint16_t shortLabelFlags = 0;
};

struct Protection {
    bool isEep = true;
    bool optionB = false;  // EEP-xB
    int level = 3;         // EEP 1..4
    int uepIndex = 0;      // table index 0..63 when not EEP
};

// Bytes of one sub-channel for one frame; `frame` counts from 0.
class ContentSource {
public:
    virtual ~ContentSource() = default;
    virtual void fill(int frame, uint8_t *out, size_t length) = 0;
};

struct SubChannel {
    int id = 0;              // 0..63
    int bitRate = 0;         // kbit/s; for UEP taken from the table when 0
    Protection protection;
    int startAddress = -1;   // capacity units; -1: right after the one before
    int fecScheme = -1;      // FIG 0/14 entry when 0..3
    std::shared_ptr<ContentSource> content;  // null: a fixed pattern
};

struct UserApplication {
    uint16_t type = 0;
    std::vector<uint8_t> data;
};

struct Component {
    enum class Kind { StreamAudio, StreamData, Packet };
    Kind kind = Kind::StreamAudio;
    int subChId = 0;
    int type = 0;            // ASCTy (audio) or DSCTy (data)
    bool primary = true;
    int scIdS = 0;           // for FIG 0/8, 0/13, 1/4
    int scId = 0;            // packet mode: service component id (12 bits)
    int packetAddress = 0;   // packet mode
    bool dataGroups = true;  // packet mode: MSC data groups used
    int language = -1;       // FIG 0/5 when >= 0
    std::optional<Label> label;               // FIG 1/4
    std::vector<UserApplication> applications;  // FIG 0/13
    bool globalDefinition = false;            // FIG 0/8
};

struct Service {
    uint32_t sid = 0;
    bool isData = false;     // 32-bit SId, label in FIG 1/5
    Label label;
    std::optional<ExtendedLabel> extendedLabel;  // FIG 2/1 (programme services)
    int programmeType = -1;  // FIG 0/17 when >= 0
    int language = -1;       // FIG 0/17 language when >= 0
    uint16_t announcementSupport = 0;  // FIG 0/18 ASu flags
    std::vector<int> clusters;         // FIG 0/18 cluster ids
    std::vector<Component> components;
};

// FIG 0/19 announcement switching, on the air from `fromFrame` to `toFrame`.
struct Announcement {
    int clusterId = 0;
    uint16_t switching = 0;  // ASw flags
    int subChId = 0;
    bool isNew = true;
    int fromFrame = 0;
    int toFrame = 1 << 30;
};

struct DateTime {
    int year = 2026, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct Fault {
    enum class Kind {
        FibCrc,            // the first FIB of the frame gets a wrong CRC
        HeaderCrc,         // the ETI header CRC is wrong
        MstCrc,            // the ETI MST CRC is wrong
        LostFrame,         // the frame is not written
        Reconfiguration,   // the next configuration takes over at `frame`
        EnsembleIdChange,  // the ensemble id becomes `value` from `frame` on
    };
    Kind kind = Kind::FibCrc;
    int frame = 0;
    int count = 1;           // frames affected from `frame` on (CRC faults, lost frames)
    uint32_t value = 0;
};

struct EnsembleDescription {
    uint16_t eid = 0;
    int ecc = 0;
    int localTimeOffset = 0;  // half hours, -24..24
    int interTableId = 1;
    int mode = 1;
    Label label;
    std::vector<SubChannel> subChannels;
    std::vector<Service> services;
    std::vector<Announcement> announcements;
    std::optional<DateTime> time;  // FIG 0/10, advancing with the frames
    std::vector<Fault> faults;
    // The configuration a Reconfiguration fault switches to; signalled in
    // FIG 0/0 and as next configuration before it takes over.
    std::shared_ptr<EnsembleDescription> nextConfiguration;
};

} // namespace ZOZ::EnsembleGen
