#include "DabDlDecoder.h"

#include "DabCrc16.h"
#include "DabLibraryVersion.h"

#include <cstring>

namespace {

constexpr DabLibraryVersion Version = {"2019-09-04_v1.1.1", "2019-09-17", "2019-09-04", "34570", 34570, "1.1.1",
                                       1, 1, 1};

constexpr uint32_t PrefixBytes = 2;
constexpr uint32_t CrcBytes = 2;
constexpr uint8_t None = 2; // a toggle or flag byte that holds no bit yet

// Prefix byte 0.
constexpr uint8_t ToggleBit = 0x80;
constexpr uint8_t FirstBit = 0x40;
constexpr uint8_t LastBit = 0x20;
constexpr uint8_t CommandBit = 0x10;
constexpr uint8_t FieldMask = 0x0F;
// Prefix byte 1.
constexpr uint8_t LinkBit = 0x80;
constexpr int SegmentShift = 4;
constexpr uint8_t SegmentMask = 0x07;
constexpr int CharsetShift = 4;
constexpr uint8_t BodyLengthMask = 0x0F;

enum Counter { Groups, Segments, LabelsComplete, LabelsDelivered, CommandsComplete, CommandsDelivered, CounterCount };

} // namespace

struct DabDlDecoder {
    void *context;
    DabDlLabelCallback labelCallback;
    DabDlCommandCallback commandCallback;
    uint8_t segmentSeen[DL_MAX_SEGMENTS];
    uint8_t segmentLength[DL_MAX_SEGMENTS];
    uint8_t complete;
    uint8_t toggle;
    uint8_t commandFlag;
    uint8_t lastLabelToggle;
    uint8_t lastCommandToggle;
    uint8_t command;
    uint8_t link;
    uint8_t charset;
    uint8_t lastLength;
    uint8_t lastLabel[DL_MAX_LABEL_BYTES + 1];
    uint8_t length;
    // Segment s at DL_SEGMENT_CHARACTERS x s, in whatever order they come.
    uint8_t current[DL_MAX_LABEL_BYTES + 1];
    uint8_t segmentCount;
    uint32_t counters[CounterCount];
};

namespace {

void clearCollection(DabDlDecoder &d)
{
    d.length = 0;
    d.segmentCount = 0;
    std::memset(d.segmentSeen, 0, sizeof d.segmentSeen);
    std::memset(d.segmentLength, 0, sizeof d.segmentLength);
}

// Joins the segments of the complete group in order: a segment shorter than 16
// bytes before the last leaves no gap. Returns the byte count.
uint32_t joinSegments(const DabDlDecoder &d, uint8_t *out)
{
    uint32_t length = 0;
    for (uint8_t s = 0; s < d.segmentCount; ++s) {
        std::memmove(out + length, d.current + s * DL_SEGMENT_CHARACTERS, d.segmentLength[s]);
        length += d.segmentLength[s];
    }
    out[length] = 0;
    return length;
}

void completeCommand(DabDlDecoder &d)
{
    const bool removesShownLabel = d.command == DL_COMMAND_REMOVE_LABEL && d.lastLength > 0;
    const bool alreadyDelivered = d.toggle == d.lastCommandToggle;
    const bool otherLabel = d.command == DL_COMMAND_DL_PLUS && d.link != d.lastLabelToggle;
    if (!removesShownLabel && (alreadyDelivered || otherLabel)) {
        clearCollection(d);
        return;
    }
    ++d.counters[CommandsDelivered];
    if (d.command == DL_COMMAND_REMOVE_LABEL) {
        d.lastLength = 0;
        d.lastLabelToggle = None;
    }
    uint8_t body[DL_MAX_LABEL_BYTES + 1];
    const uint32_t length = joinSegments(d, body);
    if (d.commandCallback)
        d.commandCallback(d.command, body, length, d.context);
    d.lastCommandToggle = d.toggle;
    clearCollection(d);
}

void completeLabel(DabDlDecoder &d)
{
    if (d.toggle == d.lastLabelToggle) {
        clearCollection(d);
        return;
    }
    if (d.lastLength == 0)
        d.lastCommandToggle = None; // a DL Plus command for the new label counts whatever its toggle
    uint8_t text[DL_MAX_LABEL_BYTES + 1];
    const uint32_t length = joinSegments(d, text);
    if (length == d.lastLength && std::memcmp(text, d.lastLabel, length) == 0) {
        d.lastLabelToggle = d.toggle;
        clearCollection(d);
        return;
    }
    ++d.counters[LabelsDelivered];
    std::memcpy(d.lastLabel, text, length + 1);
    d.lastLength = static_cast<uint8_t>(length);
    if (d.labelCallback)
        d.labelCallback(d.charset, d.lastLabel, length, d.context);
    d.lastLabelToggle = d.toggle;
    clearCollection(d);
}

} // namespace

extern "C" {

int DAB_Bb_Ruz_DlDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                   const char **revisionText, uint32_t *revision, const char **version,
                                   uint32_t *major, uint32_t *minor, uint32_t *patch)
{
    return copyDabLibraryVersion(Version, tag, date, buildDate, revisionText, revision, version, major, minor,
                                 patch);
}

uint32_t DAB_Bb_Ruz_DlDecoderGetSize(void)
{
    return sizeof(DabDlDecoder);
}

int DAB_Bb_Ruz_DlDecoderReset(DabDlDecoder *decoder)
{
    if (!decoder)
        return DL_DECODER_INVALID_PARAMETER;
    DabDlDecoder &d = *decoder;
    clearCollection(d);
    std::memset(d.counters, 0, sizeof d.counters);
    d.complete = 0;
    d.toggle = d.commandFlag = d.lastLabelToggle = d.lastCommandToggle = None;
    d.command = 0;
    d.link = 0;
    d.charset = 0;
    d.lastLength = 0;
    d.lastLabel[0] = 0;
    return DL_DECODER_OK;
}

int DAB_Bb_Ruz_DlDecoderInit(DabDlDecoder *decoder, void *context, DabDlLabelCallback labelCallback,
                             DabDlCommandCallback commandCallback)
{
    if (!decoder)
        return DL_DECODER_INVALID_PARAMETER;
    *decoder = DabDlDecoder{};
    DAB_Bb_Ruz_DlDecoderReset(decoder);
    decoder->context = context;
    decoder->labelCallback = labelCallback;
    decoder->commandCallback = commandCallback;
    return DL_DECODER_OK;
}

int DAB_Bb_Ruz_DlDecoderProcessDataGroup(DabDlDecoder *decoder, const uint8_t *data, uint32_t length)
{
    if (!decoder || !data || length < PrefixBytes + CrcBytes)
        return DL_DECODER_INVALID_PARAMETER;
    DabDlDecoder &d = *decoder;
    ++d.counters[Groups];
    const uint16_t crc = static_cast<uint16_t>((data[length - 2] << 8) | data[length - 1]);
    if (!DAB_Bb_Ruz_Crc16Check(data, length - CrcBytes, crc))
        return DL_DECODER_CRC_ERROR;

    const uint8_t toggle = (data[0] & ToggleBit) ? 1 : 0;
    const bool first = (data[0] & FirstBit) != 0;
    const bool last = (data[0] & LastBit) != 0;
    const uint8_t commandFlag = (data[0] & CommandBit) ? 1 : 0;
    const uint8_t field = data[0] & FieldMask;
    const uint8_t segment = first ? 0 : (data[1] >> SegmentShift) & SegmentMask;

    if (toggle != d.toggle || commandFlag != d.commandFlag) {
        if (d.commandFlag == 1 && d.command == DL_COMMAND_REMOVE_LABEL && commandFlag == 0) {
            d.lastLength = 0;
            d.lastLabelToggle = d.lastCommandToggle = None;
        }
        d.toggle = toggle;
        d.commandFlag = commandFlag;
        clearCollection(d);
        d.complete = 0;
    }

    uint32_t body = 0;
    if (commandFlag) {
        d.command = field;
        if (field == DL_COMMAND_DL_PLUS) {
            body = (data[1] & BodyLengthMask) + 1u;
            d.link = (data[1] & LinkBit) ? 1 : 0;
        }
    } else {
        body = field + 1u;
        if (first)
            d.charset = data[1] >> CharsetShift;
    }
    if (PrefixBytes + body + CrcBytes > length) {
        // The prefix promises bytes the group does not have.
        clearCollection(d);
        return DL_DECODER_ASSEMBLY_FAILED;
    }

    // At most 16 bytes in each of 8 places: the collection cannot overflow.
    std::memcpy(d.current + segment * DL_SEGMENT_CHARACTERS, data + PrefixBytes, body);
    if (!d.segmentSeen[segment]) {
        d.segmentSeen[segment] = 1;
        d.length = static_cast<uint8_t>(d.length + body);
    } else {
        d.length = static_cast<uint8_t>(d.length - d.segmentLength[segment] + body);
    }
    d.segmentLength[segment] = static_cast<uint8_t>(body);
    ++d.counters[Segments];
    if (last)
        d.segmentCount = static_cast<uint8_t>(segment + 1);

    if (d.segmentCount == 0)
        return DL_DECODER_OK;
    for (uint8_t s = 0; s < d.segmentCount; ++s) {
        if (!d.segmentSeen[s])
            return DL_DECODER_OK;
    }
    if (!d.complete) {
        d.complete = 1;
        ++d.counters[commandFlag ? CommandsComplete : LabelsComplete];
    }
    if (commandFlag)
        completeCommand(d);
    else
        completeLabel(d);
    return DL_DECODER_OK;
}

} // extern "C"
