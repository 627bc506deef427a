#include "DabPadDecoder.h"

#include "DabCrc16.h"
#include "DabLibraryVersion.h"
#include "DabPadTables.h"

#include <algorithm>

namespace {

constexpr DabLibraryVersion Version = {"2019-11-27_v1.2.2", "2019-11-27", "2019-11-27", "35197", 35197, "1.2.2",
                                       1, 2, 2};

constexpr uint32_t FpadBytes = 2;
constexpr uint32_t ShortXpadBytes = 4;
constexpr uint32_t ShortXpadDataBytes = 3; // after its contents indicator
constexpr int MaxContentsIndicators = 4;
// A data group length indicator: 2 length bytes and a CRC.
constexpr uint32_t LengthIndicatorBytes = 4;
constexpr uint16_t LengthIndicatorMask = 0x3FFF;

// Dynamic Label data groups: 2-byte prefix, body, 2-byte CRC.
constexpr uint16_t DlPrefixAndCrcBytes = 4;
constexpr uint8_t DlCommandFlag = 0x10;
constexpr uint8_t DlField = 0x0F;
constexpr uint8_t DlCommandRemoveLabel = 1;
constexpr uint8_t DlCommandDlPlus = 2;

enum FpadType : uint8_t { FpadType0 = 0, FpadType2 = 2 };
enum XpadIndicator : uint8_t { NoXpad = 0, ShortXpad = 1, VariableXpad = 2 };

enum Counter { PadFields, FpadFields, IndicatorsRead, LengthsOrDistributions, GroupsDelivered, CounterCount };

// Where a subfield came from: a contents indicator opens it, or it continues
// the last subfield of an earlier X-PAD.
enum class Origin { Indicator, Continuation };

struct Application {
    uint8_t appType;
    uint8_t useLength;
    uint8_t started;
    uint16_t length;
    uint8_t *buffer;
    uint32_t fill;
    uint32_t capacity;
    DabPadApplicationCallback callback;
    void *context;
};

// One data subfield inside the caller's PAD buffer: its first byte in X-PAD
// order is pad[top], the others go down from there.
struct Subfield {
    const uint8_t *pad;
    uint32_t top;
    uint32_t count;
    Origin origin;
    uint8_t byte(uint32_t i) const { return pad[top - i]; }
};

} // namespace

struct DabPadDecoder {
    uint8_t fpadType;
    uint8_t xpadInd;
    uint8_t ciFlag;
    // State of the subfield being distributed; it carries over between frames.
    uint8_t appType;
    uint32_t xpadLength; // last variable-size X-PAD, contents indicators included
    uint32_t count;
    uint8_t dgli[2];     // a short X-PAD length indicator waiting for its last CRC byte
    uint16_t dgLength;   // length announced for the next data group start
    uint16_t dgliCrc;    // its first CRC byte
    uint8_t appCount;
    Application apps[PAD_MAX_APPLICATIONS];
    uint32_t counters[CounterCount];
};

namespace {

void dropGroup(Application &a)
{
    a.started = 0;
    a.length = 0;
    a.fill = 0;
}

int append(DabPadDecoder &d, Application &a, const Subfield &s)
{
    if (s.count == 0)
        return PAD_DECODER_INVALID_PARAMETER;
    // The subfield may run on past the group's end: that is padding.
    const uint32_t take = std::min<uint32_t>(s.count, a.length - std::min<uint32_t>(a.fill, a.length));
    if (a.fill + take > a.capacity) {
        // Nothing of this group can be kept; the entry waits for the next one.
        dropGroup(a);
        return PAD_DECODER_BUFFER_TOO_SMALL;
    }
    for (uint32_t i = 0; i < take; ++i)
        a.buffer[a.fill + i] = s.byte(i);
    a.fill += take;
    if (a.fill < a.length)
        return PAD_DECODER_OK;
    ++d.counters[GroupsDelivered];
    const uint32_t length = a.length;
    dropGroup(a);
    return a.callback(a.buffer, length, a.context);
}

// A start subfield of an application that takes its length from in front.
int startGroup(DabPadDecoder &d, Application &a, const Subfield &s)
{
    // A start always opens a new group; what is left of an unfinished one
    // would only corrupt it.
    if (a.started && s.origin == Origin::Indicator)
        dropGroup(a);
    if (a.started)
        return append(d, a, s);
    // Without a length in front the start is ignored.
    int result = PAD_DECODER_NO_APPLICATION;
    if (d.dgLength != 0) {
        if (d.dgLength > a.capacity) {
            result = PAD_DECODER_BUFFER_TOO_SMALL;
        } else {
            a.length = d.dgLength;
            a.started = 1;
            result = append(d, a, s);
        }
        d.dgLength = 0;
    }
    return result;
}

// Hands the current subfield to every application that takes its type.
int distribute(DabPadDecoder &d, const Subfield &s)
{
    int result = PAD_DECODER_NO_APPLICATION;
    for (uint8_t i = 0; i < d.appCount; ++i) {
        Application &a = d.apps[i];
        if (a.appType == d.appType) {
            if (!a.useLength) {
                a.length = static_cast<uint16_t>(std::min<uint32_t>(s.count, UINT16_MAX));
                a.fill = 0;
                result = append(d, a, s);
            } else {
                const int r = startGroup(d, a, s);
                if (r != PAD_DECODER_NO_APPLICATION)
                    result = r;
            }
        } else if (a.appType + 1 == d.appType && a.started) {
            if (!a.useLength)
                a.length = static_cast<uint16_t>(std::min<uint32_t>(s.count, UINT16_MAX));
            else if (a.length == 0)
                continue;
            result = append(d, a, s);
        }
    }
    if (result == PAD_DECODER_OK || result == PAD_DECODER_NO_APPLICATION)
        ++d.counters[LengthsOrDistributions];
    return result;
}

// The length of a Dynamic Label data group, from the first bytes of its start
// subfield; 0 when the group gives none. `fallback` is what an unknown command
// takes.
uint16_t dynamicLabelLength(uint8_t first, uint8_t second, uint16_t fallback)
{
    if (!(first & DlCommandFlag))
        return static_cast<uint16_t>((first & DlField) + 1 + DlPrefixAndCrcBytes);
    switch (first & DlField) {
    case DlCommandDlPlus:
        return static_cast<uint16_t>((second & DlField) + 1 + DlPrefixAndCrcBytes);
    case DlCommandRemoveLabel:
        // Prefix and CRC only: without this a remove-label command would never
        // be complete in short X-PAD, nor in a subfield longer than 4 bytes.
        return DlPrefixAndCrcBytes;
    default:
        return fallback;
    }
}

int processShortXpad(DabPadDecoder &d, const uint8_t *pad, uint32_t n)
{
    if (n + 1 < ShortXpadBytes)
        return PAD_DECODER_INVALID_XPAD;
    ++d.counters[IndicatorsRead];
    uint32_t top = n;
    if (d.ciFlag) {
        d.appType = pad[n] & PadAppTypeMask;
        top = n - 1;
    }
    if (d.appType != PAD_APP_TYPE_DATA_GROUP_LENGTH) {
        Subfield s{pad, top, ShortXpadBytes, Origin::Continuation};
        if (d.ciFlag) {
            s.count = ShortXpadDataBytes;
            s.origin = Origin::Indicator;
            if (d.appType == PAD_APP_TYPE_DYNAMIC_LABEL) {
                const uint16_t length = dynamicLabelLength(s.byte(0), s.byte(1), 0);
                if (length != 0)
                    d.dgLength = length;
            }
        } else if (d.appType == PAD_APP_TYPE_END_MARKER) {
            return PAD_DECODER_INVALID_XPAD;
        }
        d.count = s.count;
        return distribute(d, s);
    }
    // A length indicator spans two short X-PADs: two length bytes and the first
    // CRC byte after the contents indicator, the last CRC byte first in the next.
    if (d.ciFlag) {
        d.dgli[0] = pad[top];
        d.dgli[1] = pad[top - 1];
        d.dgliCrc = pad[top - 2];
        d.dgLength = static_cast<uint16_t>(((d.dgli[0] << 8) | d.dgli[1]) & LengthIndicatorMask);
        return PAD_DECODER_OK;
    }
    const uint16_t crc = static_cast<uint16_t>((d.dgliCrc << 8) | pad[n]);
    const bool good = DAB_Bb_Ruz_Crc16Check(d.dgli, sizeof d.dgli, crc) != 0;
    if (good)
        ++d.counters[LengthsOrDistributions];
    else
        d.dgLength = 0;
    d.dgli[0] = d.dgli[1] = 0;
    d.dgliCrc = 0;
    return good ? PAD_DECODER_OK : PAD_DECODER_CRC_ERROR;
}

int processLengthIndicator(DabPadDecoder &d, const Subfield &s)
{
    if (s.count != LengthIndicatorBytes)
        return PAD_DECODER_INVALID_XPAD;
    const uint8_t bytes[2] = {s.byte(0), s.byte(1)};
    const uint16_t crc = static_cast<uint16_t>((s.byte(2) << 8) | s.byte(3));
    if (!DAB_Bb_Ruz_Crc16Check(bytes, sizeof bytes, crc)) {
        d.dgLength = 0;
        return PAD_DECODER_CRC_ERROR;
    }
    d.dgLength = static_cast<uint16_t>(((bytes[0] << 8) | bytes[1]) & LengthIndicatorMask);
    ++d.counters[LengthsOrDistributions];
    return PAD_DECODER_OK;
}

int processVariableXpad(DabPadDecoder &d, const uint8_t *pad, uint32_t n)
{
    if (n < MaxContentsIndicators)
        return PAD_DECODER_INVALID_XPAD;
    if (!d.ciFlag) {
        // The last subfield of the previous X-PAD goes on, as long as that X-PAD was.
        ++d.counters[IndicatorsRead];
        if (d.appType == PAD_APP_TYPE_END_MARKER)
            return PAD_DECODER_OK;
        if (d.appType == PAD_APP_TYPE_DATA_GROUP_LENGTH)
            return PAD_DECODER_INVALID_XPAD;
        const uint32_t count = std::min(d.xpadLength, n + 1);
        if (count == 0)
            return PAD_DECODER_INVALID_XPAD;
        d.count = count;
        return distribute(d, Subfield{pad, n, count, Origin::Continuation});
    }

    uint8_t indicators[MaxContentsIndicators];
    int indicatorCount = 0;
    uint32_t listBytes = 0;
    d.xpadLength = 0;
    while (indicatorCount < MaxContentsIndicators) {
        const uint8_t ci = pad[n - listBytes];
        ++listBytes;
        ++d.xpadLength;
        if ((ci & PadAppTypeMask) == PAD_APP_TYPE_END_MARKER)
            break;
        indicators[indicatorCount++] = ci;
        d.xpadLength += PadSubfieldLength[ci >> PadLengthIndexShift];
    }
    d.counters[IndicatorsRead] += static_cast<uint32_t>(indicatorCount);
    if (indicatorCount == 0)
        return PAD_DECODER_OK;

    int result = PAD_DECODER_OK;
    // Signed: the walk may end exactly at the buffer's start.
    int64_t top = static_cast<int64_t>(n) - listBytes;
    for (int i = 0; i < indicatorCount; ++i) {
        const uint8_t type = indicators[i] & PadAppTypeMask;
        const uint32_t length = PadSubfieldLength[indicators[i] >> PadLengthIndexShift];
        if (top + 1 < static_cast<int64_t>(length)) {
            // The indicators announce more than the PAD holds: a damaged frame.
            // Nothing of it is taken, and nothing may continue it.
            d.appType = PAD_APP_TYPE_END_MARKER;
            return PAD_DECODER_INVALID_XPAD;
        }
        const Subfield s{pad, static_cast<uint32_t>(top), length, Origin::Indicator};
        top -= length;
        if (type == PAD_APP_TYPE_DATA_GROUP_LENGTH) {
            result = processLengthIndicator(d, s);
            continue;
        }
        if (type == PAD_APP_TYPE_DYNAMIC_LABEL)
            d.dgLength = dynamicLabelLength(s.byte(0), s.byte(1), static_cast<uint16_t>(length));
        d.appType = type;
        d.count = length;
        result = distribute(d, s);
    }
    return result;
}

} // namespace

extern "C" {

int DAB_Bb_Ruz_PadDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                    const char **revisionText, uint32_t *revision, const char **version,
                                    uint32_t *major, uint32_t *minor, uint32_t *patch)
{
    return copyDabLibraryVersion(Version, tag, date, buildDate, revisionText, revision, version, major, minor,
                                 patch);
}

uint32_t DAB_Bb_Ruz_PadDecoderGetSize(void)
{
    return sizeof(DabPadDecoder);
}

int DAB_Bb_Ruz_PadDecoderInit(DabPadDecoder *decoder)
{
    if (!decoder)
        return PAD_DECODER_INVALID_PARAMETER;
    *decoder = DabPadDecoder{};
    return PAD_DECODER_OK;
}

int DAB_Bb_Ruz_PadDecoderAddApplication(DabPadDecoder *decoder, uint8_t appType, uint8_t useLength,
                                        uint8_t *buffer, uint32_t capacity, DabPadApplicationCallback callback,
                                        void *context)
{
    if (!decoder || !buffer || capacity == 0 || !callback)
        return PAD_DECODER_INVALID_PARAMETER;
    for (uint8_t i = 0; i < decoder->appCount; ++i) {
        if (decoder->apps[i].appType == appType)
            return PAD_DECODER_APPLICATION_EXISTS;
    }
    if (decoder->appCount >= PAD_MAX_APPLICATIONS)
        return PAD_DECODER_TABLE_FULL;
    decoder->apps[decoder->appCount++] = Application{appType, useLength, 0, 0, buffer, 0, capacity, callback, context};
    return PAD_DECODER_OK;
}

int DAB_Bb_Ruz_PadDecoderRemoveApplication(DabPadDecoder *decoder, uint8_t appType, uint8_t **buffer,
                                           void **context)
{
    if (!decoder)
        return PAD_DECODER_INVALID_PARAMETER;
    for (uint8_t i = 0; i < decoder->appCount; ++i) {
        Application &a = decoder->apps[i];
        if (a.appType != appType)
            continue;
        if (buffer)
            *buffer = a.buffer;
        if (context)
            *context = a.context;
        a = decoder->apps[--decoder->appCount];
        decoder->apps[decoder->appCount] = Application{};
        return PAD_DECODER_OK;
    }
    return PAD_DECODER_NO_APPLICATION;
}

int DAB_Bb_Ruz_PadDecoderProcessPad(DabPadDecoder *decoder, const uint8_t *pad, uint32_t length)
{
    if (!decoder || !pad || length < FpadBytes)
        return PAD_DECODER_INVALID_PARAMETER;
    DabPadDecoder &d = *decoder;
    ++d.counters[PadFields];
    const uint8_t byteL1 = pad[length - 2];
    const uint8_t byteL = pad[length - 1];
    d.fpadType = byteL1 >> 6;
    d.ciFlag = (byteL >> 1) & 1;
    if (d.fpadType == FpadType0)
        d.xpadInd = (byteL1 >> 4) & 3;
    else if (d.fpadType != FpadType2)
        return PAD_DECODER_INVALID_XPAD;
    ++d.counters[FpadFields];
    if (length <= FpadBytes)
        return PAD_DECODER_OK;
    const uint32_t n = length - FpadBytes - 1; // the first X-PAD byte
    switch (d.xpadInd) {
    case ShortXpad:
        return processShortXpad(d, pad, n);
    case VariableXpad:
        return processVariableXpad(d, pad, n);
    default:
        return PAD_DECODER_OK;
    }
}

} // extern "C"
