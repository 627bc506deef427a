// Intake of MSC data groups: header and CRC checks, reassembly of fragmented
// objects, objects and tables of contents, and the import of an exported cache.
#include "NSJInternal.h"

#include "DabCrc16.h"

namespace NSJ {
namespace {

enum DataGroupBits : uint8_t {
    ExtensionFlag = 0x80,
    CrcFlag = 0x40,
    SegmentFlag = 0x20,
    FragmentFlag = 0x08,
    TypeMask = 0x07
};

enum DataGroupType : uint8_t {
    TypeObject = 0,
    TypeTableOfContents = 6
};

enum FragmentBits : uint8_t {
    FirstFragment = 0x80,
    LastFragment = 0x40,
    ContinuityMask = 0x3F
};

constexpr uint8_t TableOfContentsMark = 0x54; // 'T'
constexpr uint32_t TableOfContentsHeaderBytes = 13;
constexpr uint32_t TableOfContentsRecordMinimum = 3; // id and header byte
constexpr uint32_t MinutesToSeconds = 60;

// The last two bytes carry the CRC of everything before them.
bool crcMatches(const uint8_t *bytes, uint32_t length)
{
    if (length < 2)
        return false;
    return DAB_Bb_Ruz_Crc16Check(bytes, length - 2, get16(bytes + length - 2)) == 1;
}

// An object as received or imported; the outcomes of storing it that are
// not errors become 0.
int processObject(NSJ_Instance *in, const uint8_t *bytes, uint32_t length, Origin origin)
{
    const uint16_t id = length >= 2 ? get16(bytes) : uint16_t(NSJ_NO_OBJECT);
    if (length >= NSJ_MAX_OBJECT_BYTES + 1) {
        if (length >= 2)
            rememberError(in, id, NSJ_OBJECT_TOO_LARGE);
        return NSJ_OBJECT_TOO_LARGE;
    }
    if (length < in->params.extHeaderLength + 5) {
        if (length >= 2)
            rememberError(in, id, NSJ_OBJECT_TOO_SMALL);
        return NSJ_OBJECT_TOO_SMALL;
    }
    if (const int result = checkRawObject(bytes, length, in->params.extHeaderLength))
        return result;
    if (origin == Origin::Broadcast && (in->params.eventMask & NSJ_EVENT_RECEIVED) && in->params.onEvent)
        if (const uint32_t answer = in->params.onEvent(in, id, NSJ_EVENT_RECEIVED))
            return static_cast<int>(answer);
    const int result = storeObject(in, bytes, length);
    switch (result) {
    case NSJ_OK:
        if (origin == Origin::Broadcast)
            deliver(in, id, NSJ_EVENT_NEW);
        return NSJ_OK;
    case NSJ_OBJECT_UPDATED:
        if (origin == Origin::Broadcast)
            deliver(in, id, NSJ_EVENT_UPDATED);
        return NSJ_OK;
    case NSJ_OBJECT_EXISTS:
        return NSJ_OK;
    case NSJ_OBJECT_TIMEOUT:
        if (id == currentId(in) && in->navigation.rememberedError != NSJ_OBJECT_TIMEOUT) {
            in->navigation.rememberedError = NSJ_OBJECT_TIMEOUT;
            deliver(in, id, NSJ_EVENT_CURRENT_FAILED);
        }
        return NSJ_OK;
    default:
        return result;
    }
}

int dispatch(NSJ_Instance *in, uint8_t type, const uint8_t *payload, uint32_t length)
{
    if (type == TypeObject)
        return processObject(in, payload, length, Origin::Broadcast);
    if (type == TypeTableOfContents)
        return processTableOfContents(in, payload, length);
    return NSJ_DATAGROUP_INVALID;
}

NSJ::FragmentSlot *slotFor(NSJ_Instance *in, uint8_t type)
{
    for (FragmentSlot &slot : in->slots)
        if (slot.inUse && slot.type == type)
            return &slot;
    for (FragmentSlot &slot : in->slots)
        if (!slot.inUse) {
            slot.inUse = 1;
            slot.type = type;
            slot.length = 0;
            return &slot;
        }
    return nullptr;
}

int reassemble(NSJ_Instance *in, uint8_t type, const uint8_t *payload, uint32_t length)
{
    ++in->fragmentDataGroups;
    if (length < 2)
        return NSJ_FRAGMENT_INVALID;
    FragmentSlot *slot = slotFor(in, type);
    if (!slot)
        return NSJ_FRAGMENT_CHANNEL_OCCUPIED;
    const uint8_t flags = payload[0];
    const uint8_t continuity = flags & ContinuityMask;
    int result = NSJ_OK;
    if (flags & FirstFragment) {
        slot->length = 0;
    } else if (slot->length == 0 || continuity != ((slot->continuity + 1) & ContinuityMask)) {
        result = NSJ_FRAGMENT_INVALID;
    }
    if (result == NSJ_OK) {
        slot->continuity = continuity;
        if (slot->length + (length - 1) > FragmentCapacity) {
            result = NSJ_OBJECT_TOO_LARGE;
        } else {
            std::memcpy(slot->bytes + slot->length, payload + 1, length - 1);
            slot->length = static_cast<uint16_t>(slot->length + length - 1);
            if (!(flags & LastFragment))
                return NSJ_OK;
            if (in->params.crcCheck && !crcMatches(slot->bytes, slot->length))
                result = slot->length < 2 ? NSJ_FRAGMENT_INVALID : NSJ_CRC_ERROR;
            else
                result = dispatch(in, type, slot->bytes, slot->length);
        }
    }
    if (slot->length >= 2)
        rememberError(in, get16(slot->bytes), result);
    slot->inUse = 0;
    slot->length = 0;
    return result;
}

bool listed(const uint8_t *records, uint32_t count, uint32_t size, uint16_t id, uint8_t *header)
{
    for (uint32_t r = 0; r < count; ++r) {
        const uint8_t *record = records + r * size;
        if (get16(record) == id) {
            *header = record[2];
            return true;
        }
    }
    return false;
}

} // namespace

int processTableOfContents(NSJ_Instance *in, const uint8_t *toc, uint32_t length)
{
    ++in->tocDataGroups;
    if (length < TableOfContentsHeaderBytes || length > NSJ_MAX_OBJECT_BYTES || toc[0] != TableOfContentsMark)
        return NSJ_TOC_ERROR;
    const bool ranged = toc[2] != 0;
    const uint16_t lowest = get16(toc + 4);
    const uint16_t field = get16(toc + 6);
    const uint32_t validity = get16(toc + 8) * MinutesToSeconds;
    const uint32_t recordSize = toc[10];
    const uint32_t recordsAt = TableOfContentsHeaderBytes + get16(toc + 11);
    if (recordsAt > length || recordSize == 0 || (length - recordsAt) % recordSize != 0)
        return NSJ_TOC_ERROR;
    const uint32_t count = (length - recordsAt) / recordSize;
    if (count > 0 && recordSize < TableOfContentsRecordMinimum)
        return NSJ_TOC_ERROR;
    const uint8_t *records = toc + recordsAt;
    const uint16_t highest = count > 0 ? get16(records + (count - 1) * recordSize) : lowest;
    in->navigation.tocField = field;
    in->navigation.tocValidity = validity;
    for (int e = 0; e < in->cache.blocks; ++e) {
        if (!entryUsed(in, e))
            continue;
        const uint16_t id = entryId(in, e);
        if (ranged && (id < lowest || id > highest))
            continue;
        uint8_t header = 0;
        if (!listed(records, count, recordSize, id, &header) || header != entryHeader(in, e))
            removeEntry(in, e, NSJ_EVENT_TOC_REMOVED);
    }
    return NSJ_OK;
}

} // namespace NSJ

using namespace NSJ;

int NSJ_ProcessDataGroup(NSJ_Instance *in, const uint8_t *data, uint32_t length)
{
    if (!in || (!data && length > 0))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    ++in->dataGroupsProcessed;
    const int result = [&]() -> int {
        if (length < 2)
            return NSJ_DATAGROUP_SIZE;
        const uint8_t flags = data[0];
        const uint32_t headerLength = (flags & ExtensionFlag) ? 4 : 2;
        if (length < headerLength)
            return NSJ_DATAGROUP_SIZE;
        if (flags & SegmentFlag)
            return NSJ_DATAGROUP_SEGMENTED;
        if (!(flags & CrcFlag) || length < headerLength + 2)
            return NSJ_DATAGROUP_INVALID;
        if (in->params.crcCheck && !crcMatches(data, length))
            return NSJ_CRC_ERROR;
        const uint8_t *payload = data + headerLength;
        const uint32_t payloadLength = length - headerLength - 2;
        const uint8_t type = flags & TypeMask;
        if (flags & FragmentFlag)
            return reassemble(in, type, payload, payloadLength);
        return dispatch(in, type, payload, payloadLength);
    }();
    if (result != NSJ_OK)
        ++in->dataGroupsFailed;
    return result;
}

int NSJ_SetObjectCache(NSJ_Instance *in, const uint8_t *buffer, uint32_t size)
{
    if (!in || !buffer)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (size < 4)
        return NSJ_STORAGE_SIZE;
    const uint32_t field = (uint32_t(get16(buffer)) << 16) | get16(buffer + 2);
    if (field > size - 4)
        return NSJ_STORAGE_SIZE;
    const uint32_t end = 4 + field;
    for (uint32_t at = 4; at + 2 <= end;) {
        const uint32_t length = get16(buffer + at);
        if (length == 0 || at + 2 + length > end)
            break;
        processObject(in, buffer + at + 2, length, Origin::Import);
        at += 2 + length;
    }
    return NSJ_OK;
}
