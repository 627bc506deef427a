#include "DabPacketDecoderInternal.h"

#include "DabCrc16.h"
#include "DabLibraryVersion.h"

#include <algorithm>
#include <cstring>

using namespace DabPacket;

namespace {

constexpr DabLibraryVersion Version = {"2019-09-17_v1.2.5", "2019-09-17", "2019-09-17", "34651", 34651, "1.2.5",
                                       1, 2, 5};

// Standard packets are 24, 48, 72 or 96 bytes: the top two header bits count 24-byte steps.
constexpr uint16_t StandardLengthStep = 24;
constexpr uint8_t StandardHeaderLength = 3;
constexpr uint8_t ShortHeaderLength = 1;
constexpr int CrcBytes = 2;

uint8_t nextContinuity(const DabPmDecoder &d, uint8_t index)
{
    const uint8_t modulus = d.mode == PM_MODE_STANDARD ? 4 : 8;
    return static_cast<uint8_t>((index + 1) % modulus);
}

void clearGroup(AddressEntry &e)
{
    e.inProgress = 0;
    e.fill = 0;
}

int deliver(DabPmDecoder &d, AddressEntry &e)
{
    if (e.callback == nullptr) {
        ++d.statistics.groupsWithoutCallback;
        return PM_DECODER_OK;
    }
    ++d.statistics.dataGroups;
    return e.callback(e.buffer, e.fill, e.userTag);
}

bool fits(DabPmDecoder &d, AddressEntry &e, uint32_t fill, uint32_t bytes)
{
    if (fill + bytes <= e.capacity)
        return true;
    // A group whose middle is skipped would come out corrupted: give it up.
    if (e.inProgress && e.type == PM_ADDRESS_DATA_GROUPS)
        ++d.statistics.oversizedGroups;
    if (e.type == PM_ADDRESS_DATA_GROUPS)
        clearGroup(e);
    return false;
}

// Continuation or end of a group: checks the continuity index and appends.
// Returns false when the packet is not used for this entry.
bool append(DabPmDecoder &d, AddressEntry &e, const Header &h, const uint8_t *data, bool checkContinuity,
            int &result)
{
    if (!(e.inProgress || e.type == PM_ADDRESS_PER_PACKET))
        return false;
    if (checkContinuity && h.continuity != nextContinuity(d, e.lastContinuity)) {
        clearGroup(e);
        ++d.statistics.continuityErrors;
        result = PM_DECODER_CONTINUITY_ERROR;
        return false;
    }
    if (!fits(d, e, e.fill, h.useful))
        return false;
    std::memcpy(e.buffer + e.fill, data, h.useful);
    e.fill += h.useful;
    e.lastContinuity = h.continuity;
    return true;
}

} // namespace

namespace DabPacket {

uint16_t packetLength(const DabPmDecoder &d, const uint8_t *bytes)
{
    if (d.mode == PM_MODE_STANDARD)
        return static_cast<uint16_t>(((bytes[0] >> 6) + 1) * StandardLengthStep);
    return static_cast<uint16_t>(d.packetLength + 3);
}

Header parseHeader(const DabPmDecoder &d, const uint8_t *b)
{
    Header h{};
    h.length = packetLength(d, b);
    int useful = 0;
    if (d.mode == PM_MODE_STANDARD) {
        h.continuity = (b[0] >> 4) & 3;
        h.first = (b[0] >> 3) & 1;
        h.last = (b[0] >> 2) & 1;
        h.address = static_cast<uint16_t>(((b[0] & 3) << 8) | b[1]);
        h.fecCounter = (b[0] >> 2) & 15;
        h.command = b[2] >> 7;
        h.headerLength = StandardHeaderLength;
        useful = b[2] & 127;
    } else {
        h.first = b[0] >> 7;
        h.last = (b[0] >> 6) & 1;
        h.address = (b[0] >> 4) & 3;
        h.continuity = b[0] & 7;
        const bool lengthByte = ((b[0] >> 3) & 1) != 0;
        h.headerLength = static_cast<uint8_t>(ShortHeaderLength + (lengthByte ? 1 : 0));
        // A packet too short for its length byte has no data at all.
        if (lengthByte)
            useful = h.length > 1 ? b[1] : 0;
        else
            useful = h.length - h.headerLength - CrcBytes;
    }
    // The data never reach into the CRC, whatever the length field claims.
    const int room = h.length - h.headerLength - CrcBytes;
    h.useful = static_cast<uint16_t>(std::clamp(useful, 0, std::max(room, 0)));
    return h;
}

int reassemble(DabPmDecoder &d, const uint8_t *packet, const Header &h)
{
    if (h.length == 0)
        return PM_DECODER_OK;
    if (d.enhanced && h.address == d.fecAddress)
        return PM_DECODER_OK;
    if (h.length < CrcBytes + 1)
        return PM_DECODER_OK;
    const uint16_t crc = static_cast<uint16_t>((packet[h.length - 2] << 8) | packet[h.length - 1]);
    if (!DAB_Bb_Ruz_Crc16Check(packet, h.length - CrcBytes, crc))
        return PM_DECODER_OK;
    ++d.statistics.goodPackets;
    d.statistics.usefulBytes += h.useful;

    const uint8_t *data = packet + h.headerLength;
    int result = PM_DECODER_OK;
    for (uint16_t i = 0; i < d.addressCount; ++i) {
        AddressEntry &e = d.addresses[i];
        if (e.address != h.address)
            continue;
        if (h.first && h.last) {
            // A group of one packet stands alone, even if an earlier one is unfinished.
            clearGroup(e);
            if (!fits(d, e, 0, h.useful))
                continue;
            std::memcpy(e.buffer, data, h.useful);
            e.fill = h.useful;
            result = deliver(d, e);
            clearGroup(e);
        } else if (h.first) {
            clearGroup(e);
            if (!fits(d, e, 0, h.useful))
                continue;
            std::memcpy(e.buffer, data, h.useful);
            e.fill = h.useful;
            e.inProgress = 1;
            e.lastContinuity = h.continuity;
        } else if (!h.last) {
            int continuity = PM_DECODER_OK;
            if (!append(d, e, h, data, e.type == PM_ADDRESS_DATA_GROUPS, continuity)) {
                if (continuity != PM_DECODER_OK)
                    return continuity;
                continue;
            }
            if (e.type == PM_ADDRESS_PER_PACKET) {
                result = deliver(d, e);
                e.fill = 0;
            }
        } else {
            int continuity = PM_DECODER_OK;
            if (!append(d, e, h, data, true, continuity)) {
                if (continuity != PM_DECODER_OK)
                    return continuity;
                continue;
            }
            result = deliver(d, e);
            clearGroup(e);
        }
    }
    return result;
}

} // namespace DabPacket

extern "C" int DAB_Bb_Ruz_PmDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                              const char **revisionText, uint32_t *revision, const char **version,
                                              uint32_t *major, uint32_t *minor, uint32_t *patch)
{
    return copyDabLibraryVersion(Version, tag, date, buildDate, revisionText, revision, version, major, minor,
                                 patch);
}

extern "C" uint32_t DAB_Bb_Ruz_PmDecoderGetSize(void)
{
    return InstanceSize;
}

extern "C" int DAB_Bb_Ruz_PmDecoderInit(DabPmDecoder *d, uint8_t mode, uint8_t packetLength)
{
    if (d == nullptr || mode > PM_MODE_SHORT_HEADER)
        return PM_DECODER_INVALID_PARAMETER;
    std::memset(static_cast<void *>(d), 0, sizeof(DabPmDecoder));
    d->mode = mode;
    d->packetLength = packetLength;
    d->headerLength = mode == PM_MODE_STANDARD ? StandardHeaderLength : ShortHeaderLength;
    d->fecAddress = mode == PM_MODE_STANDARD ? FecAddressStandard : FecAddressShortHeader;
    d->fecState = WaitingForFrame;
    return PM_DECODER_OK;
}

extern "C" int DAB_Bb_Ruz_PmDecoderSetFec(DabPmDecoder *d, uint8_t on, uint8_t rows, uint8_t columns)
{
    if (d == nullptr)
        return PM_DECODER_INVALID_PARAMETER;
    const bool enable = on != 0;
    if (enable == (d->enhanced != 0) && (!enable || (rows == d->rows && columns == d->columns)))
        return PM_DECODER_OK;
    Outcome ignored;
    if (!enable) {
        flushFecFrame(*d, ignored);
        d->enhanced = 0;
        return PM_DECODER_OK;
    }
    if (rows == 0 || rows > MaxRows || columns == 0 || columns > MaxColumns
        || (columns + ParityBytes) * rows > PM_FRAME_BYTES)
        return PM_DECODER_INVALID_PARAMETER;
    flushFecFrame(*d, ignored);
    d->rows = rows;
    d->columns = columns;
    d->enhanced = 1;
    return PM_DECODER_OK;
}

extern "C" int DAB_Bb_Ruz_PmDecoderAddAddress(DabPmDecoder *d, uint16_t address, uint8_t type, uint8_t *buffer,
                                              uint32_t capacity, DabPmDataGroupCallback callback, uint32_t userTag)
{
    if (d == nullptr || buffer == nullptr || capacity < PM_MIN_BUFFER_CAPACITY || callback == nullptr
        || type > PM_ADDRESS_DATA_GROUPS || address > MaxAddress)
        return PM_DECODER_INVALID_PARAMETER;
    for (uint16_t i = 0; i < d->addressCount; ++i) {
        if (d->addresses[i].address == address)
            return PM_DECODER_ADDRESS_EXISTS;
    }
    if (d->addressCount >= PM_MAX_ADDRESSES)
        return PM_DECODER_ADDRESS_TABLE_FULL;
    AddressEntry &e = d->addresses[d->addressCount++];
    e = AddressEntry{};
    e.address = address;
    e.type = type;
    e.buffer = buffer;
    e.capacity = capacity;
    e.callback = callback;
    e.userTag = userTag;
    return PM_DECODER_OK;
}

extern "C" int DAB_Bb_Ruz_PmDecoderRemoveAddress(DabPmDecoder *d, uint16_t address, uint8_t **buffer,
                                                 uint32_t *userTag)
{
    if (d == nullptr)
        return PM_DECODER_INVALID_PARAMETER;
    for (uint16_t i = 0; i < d->addressCount; ++i) {
        if (d->addresses[i].address != address)
            continue;
        if (buffer)
            *buffer = d->addresses[i].buffer;
        if (userTag)
            *userTag = d->addresses[i].userTag;
        d->addresses[i] = d->addresses[d->addressCount - 1];
        d->addresses[--d->addressCount] = AddressEntry{};
        return PM_DECODER_OK;
    }
    return PM_DECODER_ADDRESS_NOT_FOUND;
}

extern "C" int DAB_Bb_Ruz_PmDecoderGetStatistics(const DabPmDecoder *d, DabPmStatistics *statistics)
{
    if (d == nullptr || statistics == nullptr)
        return PM_DECODER_INVALID_PARAMETER;
    *statistics = d->statistics;
    return PM_DECODER_OK;
}

extern "C" int RUZ_PM_Process(DabPmDecoder *d, const uint8_t *bytes, uint32_t *length)
{
    if (d == nullptr || bytes == nullptr || length == nullptr || *length == 0)
        return PM_DECODER_INVALID_PARAMETER;
    if (d->enhanced && d->fecState > CollectingParity)
        return PM_DECODER_RS_STATE_ERROR;
    Outcome outcome;
    uint32_t position = 0;
    while (position < *length) {
        const uint8_t *packet = bytes + position;
        const uint32_t left = *length - position;
        if (left < MinPacketBytes) {
            *length = left;
            return outcome.result();
        }
        const Header h = parseHeader(*d, packet);
        const uint32_t needed = d->enhanced ? enhancedBytesNeeded(*d, h) : h.length;
        if (needed > left) {
            *length = left;
            return outcome.result();
        }
        ++d->statistics.packets;
        if (d->enhanced)
            processEnhanced(*d, packet, h, outcome);
        else
            outcome.add(reassemble(*d, packet, h));
        position += needed;
    }
    *length = 0;
    return outcome.result();
}
