#include "DabMotDecoder.h"

#include "DabCrc16.h"
#include "DabLibraryVersion.h"
#include "DabMotInternal.h"

#include <cstring>

namespace {

constexpr DabLibraryVersion Version = {"2019-09-04_v1.1.4", "2019-09-17", "2019-09-04", "34572", 34572, "1.1.4",
                                       1, 1, 4};

constexpr uint32_t DirectorySlots = 200;
constexpr uint32_t HeaderModeSlots = 2;
constexpr uint32_t MaxSegmentNumber = 32766;
constexpr uint32_t BitmapBytes = 32768 / 8;

// Data group types of MOT.
constexpr uint8_t TypeHeader = 3;
constexpr uint8_t TypeBody = 4;
constexpr uint8_t TypeScrambledBody = 5;
constexpr uint8_t TypeDirectory = 6;
constexpr uint8_t TypeCompressedDirectory = 7;

// Data group header, byte 0.
constexpr uint8_t ExtensionFlag = 0x80;
constexpr uint8_t CrcFlag = 0x40;
constexpr uint8_t SegmentFlag = 0x20;
constexpr uint8_t UserAccessFlag = 0x10;
constexpr uint8_t TypeMask = 0x0F;
// User access field.
constexpr uint8_t TransportIdFlag = 0x10;
constexpr uint8_t LengthIndicatorMask = 0x0F;
constexpr uint32_t CrcBytes = 2;

// A header of ContentType 5 (MOT transport) with these subtypes updates or
// removes an object and has no body.
constexpr uint16_t ContentTypeTransport = 5;

// Compressed directory.
constexpr uint8_t CompressionFlag = 0x80;
constexpr uint8_t CompressionGzip = 1;
constexpr uint32_t CompressedDirectoryFixedBytes = 9;

// Directory cache entries: a 16-bit length, one nibble per byte.
constexpr uint32_t CacheLengthBytes = 4;
constexpr uint32_t CacheInternalMinimum = 6;

enum Counter { GroupsOffered, GroupsAccepted, DirectoriesDelivered, ObjectsDelivered, CounterCount };

struct Slot {
    uint16_t transportId;
    uint8_t lastSeen;
    uint8_t type;
    uint8_t *buffer;
    uint32_t capacity;
    uint32_t segmentSize;
    uint32_t segmentCount;
    uint32_t stored;
    uint32_t totalSize;
    uint8_t bitmap[BitmapBytes];
};

// One data group, as its headers describe it.
struct Group {
    uint8_t type;
    bool last;
    uint32_t segmentNumber;
    uint16_t transportId;
    const uint8_t *segment;
    uint32_t segmentLength;
    const uint8_t *bytes;  // the whole group, for the cache
    uint32_t length;
    bool crc;
};

} // namespace

struct DabMotDecoder {
    uint8_t directoryMode;
    Slot slots[DirectorySlots];
    uint32_t slotCapacity;
    uint32_t slotCount;
    Slot *current;
    MotHeader header;
    uint8_t headerComplete;
    uint8_t bodyComplete;
    const uint8_t *body;
    uint32_t bodyLength;
    uint16_t collectingId;
    uint8_t *entity;
    uint32_t entitySize;
    MotDirectory directory;
    uint8_t *cache;
    uint32_t cacheSize;
    uint32_t cacheStart;
    uint32_t cacheUsed;
    MotDecoderCallback callback;
    void *context;
    uint32_t counters[CounterCount];
};

namespace {

void clearSlot(Slot &slot)
{
    std::memset(&slot, 0, sizeof slot);
}

void removeSlots(DabMotDecoder &d, uint16_t transportId)
{
    for (uint32_t i = 0; i < d.slotCount;) {
        if (d.slots[i].transportId != transportId) {
            ++i;
            continue;
        }
        --d.slotCount;
        if (i != d.slotCount)
            std::memcpy(&d.slots[i], &d.slots[d.slotCount], sizeof(Slot));
        clearSlot(d.slots[d.slotCount]);
    }
    d.current = nullptr;
}

void clearObject(DabMotDecoder &d)
{
    std::memset(&d.header, 0, sizeof d.header);
    d.headerComplete = 0;
    d.bodyComplete = 0;
    d.body = nullptr;
    d.bodyLength = 0;
}

void clearDirectory(DabMotDecoder &d)
{
    std::memset(&d.directory, 0, sizeof d.directory);
}

bool isBodyType(uint8_t type)
{
    return type == TypeBody || type == TypeScrambledBody;
}

bool isDirectoryType(uint8_t type)
{
    return type == TypeDirectory || type == TypeCompressedDirectory;
}

// A slot matches on transport id; in header mode also on type, in directory
// mode on the kind (a body never lands in the directory's slot, nor the
// directory in a requested body's buffer).
Slot *findSlot(DabMotDecoder &d, uint16_t transportId, uint8_t type)
{
    for (uint32_t i = 0; i < d.slotCount; ++i) {
        Slot &slot = d.slots[i];
        if (slot.transportId != transportId)
            continue;
        if (d.directoryMode ? isDirectoryType(slot.type) == isDirectoryType(type) : slot.type == type)
            return &slot;
    }
    return nullptr;
}

// Finds the slot (13, it becomes current) or appends one (0); 4 when full.
int findOrCreateSlot(DabMotDecoder &d, uint16_t transportId, uint8_t type, uint8_t *buffer, uint32_t capacity)
{
    if (Slot *slot = findSlot(d, transportId, type)) {
        d.current = slot;
        return MOT_DECODER_ALREADY_REQUESTED;
    }
    if (d.slotCount >= d.slotCapacity)
        return MOT_DECODER_BUFFER_TOO_SMALL;
    Slot &slot = d.slots[d.slotCount++];
    clearSlot(slot);
    slot.transportId = transportId;
    slot.type = type;
    slot.buffer = buffer;
    slot.capacity = capacity;
    d.current = &slot;
    return MOT_DECODER_OK;
}

bool hasSegment(const Slot &slot, uint32_t number)
{
    return slot.bitmap[number / 8] & (0x80 >> (number % 8));
}

// Stores one segment. `added` tells whether it was new.
int storeSegment(Slot &slot, const Group &g, bool &added)
{
    added = false;
    if (g.segmentNumber > MaxSegmentNumber)
        return MOT_DECODER_INVALID_DATA_GROUP;
    if (hasSegment(slot, g.segmentNumber))
        return MOT_DECODER_OK;
    if (!g.last && slot.segmentSize == 0)
        slot.segmentSize = g.segmentLength;
    const uint64_t start = uint64_t(slot.segmentSize) * g.segmentNumber;
    const uint64_t end = start + g.segmentLength;
    if (end > slot.capacity)
        return MOT_DECODER_BUFFER_TOO_SMALL;
    if (g.last) {
        // Without a segment size the last segment's place is unknown.
        if (slot.segmentSize == 0 && g.segmentNumber != 0)
            return MOT_DECODER_OK;
        slot.totalSize = static_cast<uint32_t>(end);
        slot.segmentCount = g.segmentNumber + 1;
        slot.lastSeen = 1;
    }
    if (g.segmentLength)
        std::memcpy(slot.buffer + start, g.segment, g.segmentLength);
    slot.bitmap[g.segmentNumber / 8] |= static_cast<uint8_t>(0x80 >> (g.segmentNumber % 8));
    ++slot.stored;
    added = true;
    return MOT_DECODER_OK;
}

bool isComplete(const Slot &slot)
{
    if (!slot.lastSeen || slot.stored < slot.segmentCount)
        return false;
    for (uint32_t n = 0; n < slot.segmentCount; ++n)
        if (!hasSegment(slot, n))
            return false;
    return true;
}

// Reads the session header and the user access field of a group whose data
// end at `end`; `position` moves to the data field. 0 or 7.
int readSession(const uint8_t *data, uint32_t end, Group &g, uint32_t &position)
{
    const uint8_t flags = data[0];
    g.type = flags & TypeMask;
    g.last = false;
    g.segmentNumber = 0;
    position = (flags & ExtensionFlag) ? 4 : 2;
    if (flags & SegmentFlag) {
        if (position + 2 > end)
            return MOT_DECODER_INVALID_DATA_GROUP;
        g.last = data[position] & 0x80;
        g.segmentNumber = (uint32_t(data[position] & 0x7F) << 8) | data[position + 1];
        position += 2;
    }
    if (!(flags & UserAccessFlag) || position >= end)
        return MOT_DECODER_INVALID_DATA_GROUP;
    const uint8_t access = data[position++];
    const uint32_t indicator = access & LengthIndicatorMask;
    if (!(access & TransportIdFlag) || indicator < 2 || position + indicator > end)
        return MOT_DECODER_INVALID_DATA_GROUP;
    g.transportId = static_cast<uint16_t>((data[position] << 8) | data[position + 1]);
    position += indicator;
    return MOT_DECODER_OK;
}

// Reads the group's headers; 0, 5 or 7.
int parseGroup(const uint8_t *data, uint32_t length, Group &g)
{
    const uint8_t flags = data[0];
    const uint32_t groupHeader = (flags & ExtensionFlag) ? 4 : 2;
    const uint32_t segmentField = (flags & SegmentFlag) ? 2 : 0;
    if (groupHeader + segmentField > length)
        return MOT_DECODER_INVALID_DATA_GROUP;
    g.crc = flags & CrcFlag;
    uint32_t end = length;
    if (g.crc) {
        const uint16_t crc = static_cast<uint16_t>((data[length - 2] << 8) | data[length - 1]);
        if (!DAB_Bb_Ruz_Crc16Check(data, length - CrcBytes, crc))
            return MOT_DECODER_CRC_ERROR;
        end -= CrcBytes;
    }
    g.bytes = data;
    g.length = length;
    uint32_t position = 0;
    const int result = readSession(data, end, g, position);
    if (result != MOT_DECODER_OK)
        return result;
    // Segmentation header: repetition count and segment size.
    if (position + 2 > end)
        return MOT_DECODER_INVALID_DATA_GROUP;
    g.segmentLength = (uint32_t(data[position] & 0x1F) << 8) | data[position + 1];
    position += 2;
    if (g.segmentLength > end - position)
        return MOT_DECODER_INVALID_DATA_GROUP;
    g.segment = data + position;
    return MOT_DECODER_OK;
}

// Keeps a body group of an object not requested yet; 0, or 3 when it cannot fit.
int cacheGroup(DabMotDecoder &d, const Group &g)
{
    if (!d.cache)
        return MOT_DECODER_OK;
    const uint32_t length = g.crc ? g.length - CrcBytes : g.length;
    if (length + CacheLengthBytes >= d.cacheSize || length > 0xFFFF)
        return MOT_DECODER_INVALID_PARAMETER;
    auto byteAt = [&](uint32_t offset) -> uint8_t & { return d.cache[(d.cacheStart + offset) % d.cacheSize]; };
    auto entryLength = [&](uint32_t offset) {
        uint32_t value = 0;
        for (uint32_t i = 0; i < CacheLengthBytes; ++i)
            value = (value << 4) | (byteAt(offset + i) & 0x0F);
        return value;
    };
    // Skip a group already kept: same transport id and segment number.
    for (uint32_t offset = 0; offset < d.cacheUsed;) {
        const uint32_t entry = entryLength(offset);
        // The group's headers fit in far fewer bytes than this.
        uint8_t kept[32];
        const uint32_t look = entry < sizeof kept ? entry : sizeof kept;
        for (uint32_t i = 0; i < look; ++i)
            kept[i] = byteAt(offset + CacheLengthBytes + i);
        Group other{};
        uint32_t position = 0;
        if (look != 0 && readSession(kept, look, other, position) == MOT_DECODER_OK &&
            other.transportId == g.transportId && other.segmentNumber == g.segmentNumber)
            return MOT_DECODER_OK;
        offset += CacheLengthBytes + entry;
    }
    while (d.cacheSize - d.cacheUsed < length + CacheLengthBytes) {
        const uint32_t oldest = CacheLengthBytes + entryLength(0);
        d.cacheStart = (d.cacheStart + oldest) % d.cacheSize;
        d.cacheUsed -= oldest;
    }
    const uint32_t offset = d.cacheUsed;
    for (uint32_t i = 0; i < CacheLengthBytes; ++i)
        byteAt(offset + i) = static_cast<uint8_t>((length >> (4 * (CacheLengthBytes - 1 - i))) & 0x0F);
    for (uint32_t i = 0; i < length; ++i)
        byteAt(offset + CacheLengthBytes + i) = g.bytes[i];
    byteAt(offset + CacheLengthBytes) &= static_cast<uint8_t>(~CrcFlag);
    d.cacheUsed += CacheLengthBytes + length;
    return MOT_DECODER_OK;
}

int directoryStep(DabMotDecoder &d, const Group &g, bool &added)
{
    if (g.type < TypeBody || g.type > TypeCompressedDirectory)
        return MOT_DECODER_UNEXPECTED_TYPE;
    if (isBodyType(g.type)) {
        Slot *slot = findSlot(d, g.transportId, g.type);
        if (!slot)
            return cacheGroup(d, g);
        slot->type = g.type;
        const int result = storeSegment(*slot, g, added);
        if (result == MOT_DECODER_OK)
            d.current = slot;
        return result;
    }
    if (g.transportId != d.directory.transportId) {
        removeSlots(d, d.directory.transportId);
        clearDirectory(d);
        d.directory.transportId = g.transportId;
    } else if (d.directory.complete) {
        return MOT_DECODER_OK;
    }
    const int found = findOrCreateSlot(d, g.transportId, g.type, d.entity, d.entitySize);
    if (found != MOT_DECODER_OK && found != MOT_DECODER_ALREADY_REQUESTED)
        return found;
    Slot &slot = *d.current;
    if (slot.type == TypeDirectory && g.type == TypeCompressedDirectory) {
        // The compressed form replaces an uncompressed one of the same id.
        clearDirectory(d);
        d.directory.transportId = g.transportId;
        clearSlot(slot);
        slot.transportId = g.transportId;
        slot.type = TypeCompressedDirectory;
        slot.buffer = d.entity;
        slot.capacity = d.entitySize;
    } else if (slot.type != g.type) {
        d.current = nullptr;
        return MOT_DECODER_OK;
    }
    return storeSegment(slot, g, added);
}

int headerStep(DabMotDecoder &d, const Group &g, bool &added)
{
    if (g.transportId != d.collectingId) {
        removeSlots(d, d.collectingId);
        clearObject(d);
        d.collectingId = g.transportId;
    }
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0;
    if (g.type == TypeHeader) {
        if (d.headerComplete)
            return MOT_DECODER_OK;
        buffer = d.entity;
        capacity = MOT_DECODER_HEADER_AREA;
    } else if (isBodyType(g.type)) {
        if (d.bodyComplete)
            return MOT_DECODER_OK;
        buffer = d.entity + MOT_DECODER_HEADER_AREA;
        capacity = d.entitySize - MOT_DECODER_HEADER_AREA;
    } else {
        return MOT_DECODER_UNEXPECTED_TYPE;
    }
    const int found = findOrCreateSlot(d, g.transportId, g.type, buffer, capacity);
    if (found != MOT_DECODER_OK && found != MOT_DECODER_ALREADY_REQUESTED) {
        removeSlots(d, g.transportId);
        return found;
    }
    return storeSegment(*d.current, g, added);
}

// Inflates the compressed directory in the slot's buffer and parses it.
int finishCompressedDirectory(DabMotDecoder &d, const Slot &slot)
{
    const uint8_t *bytes = slot.buffer;
    const uint32_t total = slot.totalSize;
    if (total < CompressedDirectoryFixedBytes)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    const uint32_t size = ((uint32_t(bytes[0] & 0x3F) << 24) | (uint32_t(bytes[1]) << 16) |
                           (uint32_t(bytes[2]) << 8) | bytes[3]);
    const uint32_t uncompressed = (uint32_t(bytes[5]) << 24) | (uint32_t(bytes[6]) << 16) |
                                  (uint32_t(bytes[7]) << 8) | bytes[8];
    if (!(bytes[0] & CompressionFlag) || (bytes[0] & 0x40) || bytes[4] != CompressionGzip || bytes[5] >= 64 ||
        size != total || uncompressed == 0 || d.entitySize - size < uncompressed)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    uint32_t produced = d.entitySize - size;
    if (DAB_Bb_Ruz_MotDecoderUncompress(bytes + CompressedDirectoryFixedBytes, size - CompressedDirectoryFixedBytes,
                                        d.entity + size, &produced) != MOT_DECODER_OK)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    std::memmove(d.entity, d.entity + size, produced);
    return MotInternal::parseDirectory(d.entity, produced, d.directory);
}

// Finishes the current slot's part; 0 or a failure code.
int finishPart(DabMotDecoder &d, Slot &slot)
{
    switch (slot.type) {
    case TypeHeader:
        if (!MotInternal::parseHeader(slot.buffer, slot.totalSize, 0, d.header)) {
            removeSlots(d, slot.transportId);
            clearObject(d);
            return MOT_DECODER_INVALID_DATA_GROUP;
        }
        d.header.transportId = slot.transportId;
        d.headerComplete = 1;
        if (d.header.contentType == ContentTypeTransport && d.header.contentSubType <= 1) {
            d.bodyComplete = 1;
            d.body = d.entity + MOT_DECODER_HEADER_AREA;
            d.bodyLength = 0;
        }
        return MOT_DECODER_OK;
    case TypeBody:
        d.body = slot.buffer;
        d.bodyLength = slot.totalSize;
        d.bodyComplete = 1;
        if (d.directoryMode) {
            if (d.directory.complete && MotInternal::findEntryById(d.directory, slot.transportId, d.header))
                d.headerComplete = 1;
            else
                clearObject(d); // the directory names no such object: nothing to deliver it with
        }
        return MOT_DECODER_OK;
    case TypeDirectory:
    case TypeCompressedDirectory: {
        const uint16_t transportId = d.directory.transportId;
        const int result = slot.type == TypeDirectory
                               ? MotInternal::parseDirectory(slot.buffer, slot.totalSize, d.directory)
                               : finishCompressedDirectory(d, slot);
        if (result != MOT_DECODER_OK) {
            if (slot.type == TypeCompressedDirectory)
                removeSlots(d, transportId);
            clearDirectory(d);
            d.directory.transportId = transportId;
            return result;
        }
        d.directory.complete = 1;
        return MOT_DECODER_OK;
    }
    default:
        return MOT_DECODER_OK;
    }
}

int deliver(DabMotDecoder &d)
{
    if (d.headerComplete && d.bodyComplete) {
        const uint16_t transportId = d.header.transportId;
        removeSlots(d, transportId);
        // The header's size comes from the broadcast: never hand out more
        // than was collected.
        if (d.header.bodySize > d.bodyLength && !(d.bodyLength == 0 && d.header.contentType == ContentTypeTransport)) {
            clearObject(d);
            return MOT_DECODER_INVALID_DATA_GROUP;
        }
        ++d.counters[ObjectsDelivered];
        const uint32_t size = d.bodyLength == 0 ? 0 : d.header.bodySize;
        const int result = d.callback(d.body, size, &d.header, d.context);
        clearObject(d);
        return result;
    }
    if (d.directoryMode && d.directory.complete) {
        ++d.counters[DirectoriesDelivered];
        return d.callback(d.entity, d.directory.directorySize, nullptr, d.context);
    }
    return MOT_DECODER_OK;
}

void reset(DabMotDecoder &d)
{
    std::memset(d.counters, 0, sizeof d.counters);
    d.cacheStart = 0;
    d.cacheUsed = 0;
    clearDirectory(d);
    clearObject(d);
    d.collectingId = 0;
    d.slotCount = 0;
    d.current = nullptr;
    for (uint32_t i = 0; i < d.slotCapacity; ++i)
        clearSlot(d.slots[i]);
}

bool directoryReady(const DabMotDecoder *d, int &result)
{
    if (!d->directoryMode)
        result = MOT_DECODER_WRONG_MODE;
    else if (!d->directory.complete)
        result = MOT_DECODER_DIRECTORY_INCOMPLETE;
    else
        return true;
    return false;
}

} // namespace

extern "C" {

int DAB_Bb_Ruz_MotDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                    const char **revisionText, uint32_t *revision, const char **version,
                                    uint32_t *major, uint32_t *minor, uint32_t *patch)
{
    return copyDabLibraryVersion(Version, tag, date, buildDate, revisionText, revision, version, major, minor, patch)
               ? MOT_DECODER_INVALID_PARAMETER
               : MOT_DECODER_OK;
}

uint32_t DAB_Bb_Ruz_MotDecoderGetSize(void)
{
    return sizeof(DabMotDecoder);
}

int DAB_Bb_Ruz_MotDecoderInit(DabMotDecoder *decoder, int directoryMode, uint8_t *entity, uint32_t entitySize,
                              MotDecoderCallback callback, void *context, uint8_t *cache, uint32_t cacheSize)
{
    if (!decoder || !entity || !callback || entitySize < MOT_DECODER_HEADER_AREA)
        return MOT_DECODER_INVALID_PARAMETER;
    if (cache && (!directoryMode || cacheSize < MOT_DECODER_MIN_CACHE_SIZE || cacheSize < CacheInternalMinimum))
        return MOT_DECODER_INVALID_PARAMETER;
    decoder->directoryMode = directoryMode ? 1 : 0;
    decoder->slotCapacity = directoryMode ? DirectorySlots : HeaderModeSlots;
    decoder->entity = entity;
    decoder->entitySize = entitySize;
    decoder->callback = callback;
    decoder->context = context;
    decoder->cache = cache;
    decoder->cacheSize = cache ? cacheSize : 0;
    reset(*decoder);
    return MOT_DECODER_OK;
}

int DAB_Bb_Ruz_MotDecoderProcessDataGroup(DabMotDecoder *decoder, const uint8_t *data, uint32_t length)
{
    if (!decoder || !data || length < 4)
        return MOT_DECODER_INVALID_PARAMETER;
    DabMotDecoder &d = *decoder;
    ++d.counters[GroupsOffered];
    Group g{};
    int result = parseGroup(data, length, g);
    if (result != MOT_DECODER_OK)
        return result;
    d.current = nullptr;
    bool added = false;
    result = d.directoryMode ? directoryStep(d, g, added) : headerStep(d, g, added);
    if (result != MOT_DECODER_OK)
        return result;
    ++d.counters[GroupsAccepted];
    // Only a new segment can complete a part: repetitions of a finished part
    // change nothing.
    if (!added || !d.current || !isComplete(*d.current))
        return MOT_DECODER_OK;
    result = finishPart(d, *d.current);
    if (result != MOT_DECODER_OK)
        return result;
    return deliver(d);
}

int DAB_Bb_Ruz_MotDecoderGetDirectory(DabMotDecoder *decoder, MotDirectory **directory)
{
    if (!decoder || !directory)
        return MOT_DECODER_INVALID_PARAMETER;
    int result = MOT_DECODER_OK;
    if (!directoryReady(decoder, result))
        return result;
    *directory = &decoder->directory;
    return MOT_DECODER_OK;
}

int DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(DabMotDecoder *decoder, uint32_t index, MotHeader *header)
{
    if (!decoder || !header)
        return MOT_DECODER_INVALID_PARAMETER;
    int result = MOT_DECODER_OK;
    if (!directoryReady(decoder, result))
        return result;
    if (index >= decoder->directory.numberOfObjects)
        return MOT_DECODER_INVALID_PARAMETER;
    return MotInternal::findEntryByIndex(decoder->directory, index, *header) ? MOT_DECODER_OK
                                                                             : MOT_DECODER_NOT_FOUND;
}

int DAB_Bb_Ruz_MotDecoderRequestObject(DabMotDecoder *decoder, uint16_t transportId, uint8_t *buffer,
                                       uint32_t bufferSize)
{
    if (!decoder || !buffer || bufferSize == 0)
        return MOT_DECODER_INVALID_PARAMETER;
    int result = MOT_DECODER_OK;
    if (!directoryReady(decoder, result))
        return result;
    if (transportId == decoder->directory.transportId)
        return MOT_DECODER_ALREADY_REQUESTED;
    result = findOrCreateSlot(*decoder, transportId, TypeBody, buffer, bufferSize);
    decoder->current = nullptr;
    return result;
}

} // extern "C"
