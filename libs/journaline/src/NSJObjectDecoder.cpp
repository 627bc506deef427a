// Decodes one raw Journaline object (id, header byte, extended header,
// payload) into an object record: inflates compressed payloads, finds the
// title, the menu items or the body, and gathers the data sections.
#include "NSJInternal.h"

#include <zlib.h>

namespace NSJ {
namespace {

// NML codes of the payload.
enum Code : uint8_t {
    CodeEnd = 0x00,
    CodeTitle = 0x01,
    CodeMenuItem = 0x02,
    CodePlainBody = 0x03,
    CodeListBody = 0x04,
    CodeLastStructural = 0x0F,
    CodeSection = 0x1A,
    CodeSectionContinued = 0x1B,
    CodeParameterFirst = 0x1C, // 0x1C and 0x1D carry one parameter byte
    CodeParameterLast = 0x1D
};

constexpr uint8_t SectionExpiry = 0x01;
constexpr uint8_t SectionValidity = 0x02;
constexpr uint8_t SectionLink = 0x03;
constexpr uint8_t SectionNested = 0x21;
constexpr uint8_t SectionImage = 0xC0;
constexpr int MaxNesting = 4;
// Absolute expiry is signalled in quarter hours, relative validity in minutes.
constexpr uint32_t ExpiryUnitSeconds = 900;
constexpr uint32_t ValidityUnitSeconds = 60;

bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the complete UTF-8 sequence starting at `at`, or 0 when there is none.
size_t utf8Length(const uint8_t *p, size_t at, size_t n)
{
    const uint8_t b = p[at];
    size_t length = 0;
    if ((b & 0xE0) == 0xC0)
        length = 2;
    else if ((b & 0xF0) == 0xE0)
        length = 3;
    else if ((b & 0xF8) == 0xF0)
        length = 4;
    if (length == 0 || at + length > n)
        return 0;
    for (size_t i = 1; i < length; ++i)
        if (!isContinuation(p[at + i]))
            return 0;
    return length;
}

// Position after the text unit at `at`: a UTF-8 sequence, a data section with
// its bytes, a code with its parameter, or one byte. Never beyond `n`.
size_t skipUnit(const uint8_t *p, size_t at, size_t n)
{
    const uint8_t b = p[at];
    size_t next = at + 1;
    if (b == CodeSection || b == CodeSectionContinued)
        next = at + 1 < n ? at + 3 + p[at + 1] : n;
    else if (b >= CodeParameterFirst && b <= CodeParameterLast)
        next = at + 2;
    else if (const size_t length = utf8Length(p, at, n))
        next = at + length;
    return next < n ? next : n;
}

// Position of the next structural code (below 0x10) from `at`, or `n`.
size_t nextCode(const uint8_t *p, size_t at, size_t n)
{
    while (at < n && p[at] > CodeLastStructural)
        at = skipUnit(p, at, n);
    return at;
}

class SectionCollector {
public:
    explicit SectionCollector(NSJ_SectionStore &store) : m_store(store) {}

    // Gathers the sections of `p`; in menus the two bytes of a target id
    // after each item code are not text and are passed over.
    bool collect(const uint8_t *p, size_t n, bool menu, int depth)
    {
        size_t at = 0;
        while (at < n) {
            const uint8_t b = p[at];
            if (menu && b == CodeMenuItem) {
                at += 3;
                continue;
            }
            if (b != CodeSection) {
                at = skipUnit(p, at, n);
                continue;
            }
            const size_t start = m_store.used;
            size_t next = 0;
            if (!appendSection(p, at, n, &next))
                return false;
            // Continuations directly after the section add their bytes to it.
            while (next < n && p[next] == CodeSectionContinued)
                if (!appendContinuation(p, next, n, start, &next))
                    return false;
            const uint8_t *section = m_store.bytes + start + 2;
            const size_t sectionLength = get16(m_store.bytes + start);
            if (section[0] == SectionNested && sectionLength > 3 && depth < MaxNesting) {
                // The nested sections follow two bytes of the section's own.
                uint8_t nested[NSJ_SECTION_STORE_BYTES];
                const size_t nestedLength = sectionLength - 3;
                std::memcpy(nested, section + 3, nestedLength);
                if (!collect(nested, nestedLength, false, depth + 1))
                    return false;
            }
            at = next;
        }
        return true;
    }

private:
    bool appendSection(const uint8_t *p, size_t at, size_t n, size_t *next)
    {
        if (at + 1 >= n)
            return false;
        const size_t length = size_t(p[at + 1]) + 1;
        if (at + 2 + length > n || m_store.used + 2 + length > NSJ_SECTION_STORE_BYTES)
            return false;
        put16(m_store.bytes + m_store.used, static_cast<uint16_t>(length));
        std::memcpy(m_store.bytes + m_store.used + 2, p + at + 2, length);
        m_store.used = static_cast<uint16_t>(m_store.used + 2 + length);
        ++m_store.count;
        *next = at + 2 + length;
        return true;
    }

    bool appendContinuation(const uint8_t *p, size_t at, size_t n, size_t start, size_t *next)
    {
        if (at + 1 >= n)
            return false;
        const size_t length = size_t(p[at + 1]) + 1;
        const size_t total = get16(m_store.bytes + start) + length;
        if (at + 2 + length > n || m_store.used + length > NSJ_SECTION_STORE_BYTES || total > 0xFFFF)
            return false;
        std::memcpy(m_store.bytes + m_store.used, p + at + 2, length);
        m_store.used = static_cast<uint16_t>(m_store.used + length);
        put16(m_store.bytes + start, static_cast<uint16_t>(total));
        *next = at + 2 + length;
        return true;
    }

    NSJ_SectionStore &m_store;
};

void readLink(const uint8_t *data, size_t length, NSJ_LinkRecord *link)
{
    link->kind = data[0];
    const uint8_t *rest = data + 1;
    const size_t restLength = length - 1;
    size_t split = restLength;
    if (link->kind == 0) {
        // A link to an object: two id bytes, then a zero before the text.
        if (length > 3 && data[3] == 0)
            split = 2;
    } else {
        for (size_t i = 0; i < restLength; ++i)
            if (rest[i] == 0) {
                split = i;
                break;
            }
    }
    link->first = rest;
    link->firstLength = static_cast<uint16_t>(split);
    if (split < restLength) {
        link->second = rest + split + 1;
        link->secondLength = static_cast<uint16_t>(restLength - split - 1);
    }
}

bool readImage(const uint8_t *data, size_t length, NSJ_ImageRecord *image)
{
    image->kind = data[0];
    const size_t firstLength = get16(data + 1);
    size_t firstAt = 3;
    if (image->kind == 3) {
        const size_t subLength = data[3];
        if (4 + subLength > length)
            return false;
        image->sub = data + 4;
        image->subLength = static_cast<uint16_t>(subLength);
        firstAt = 4 + subLength;
    }
    if (firstAt + firstLength > length)
        return false;
    image->first = data + firstAt;
    image->firstLength = static_cast<uint16_t>(firstLength);
    const size_t firstEnd = firstAt + firstLength;
    if (firstEnd < length) {
        const size_t secondLength = data[firstEnd];
        if (firstEnd + 1 + secondLength <= length) {
            image->second = data + firstEnd + 1;
            image->secondLength = static_cast<uint16_t>(secondLength);
        }
    }
    return true;
}

void interpretSections(NSJ_ObjectRecord *record)
{
    const NSJ_SectionStore &store = record->sections;
    for (size_t at = 0; at + 2 <= store.used;) {
        const size_t length = get16(store.bytes + at); // type byte and data
        const uint8_t *section = store.bytes + at + 2;
        const uint8_t type = section[0];
        const uint8_t *data = section + 1;
        const size_t dataLength = length - 1;
        if (type == SectionExpiry && dataLength == 3 && data[0] < 64)
            record->absoluteExpiry = ((uint32_t(data[0]) << 16) | get16(data + 1)) * ExpiryUnitSeconds;
        else if (type == SectionValidity && dataLength == 2)
            record->relativeValidity = get16(data) * ValidityUnitSeconds;
        else if (type == SectionLink && dataLength >= 2 && record->linkCount < NSJ_MAX_ITEMS)
            readLink(data, dataLength, &record->links[record->linkCount++]);
        else if (type == SectionImage && dataLength >= 5 && data[0] <= 3 && record->imageCount < NSJ_MAX_ITEMS) {
            NSJ_ImageRecord image{};
            if (readImage(data, dataLength, &image))
                record->images[record->imageCount++] = image;
        }
        at += 2 + length;
    }
}

int inflatePayload(const uint8_t *in, size_t inLength, uint8_t *out, size_t capacity, size_t *outLength)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return NSJ_MEMORY_ERROR;
    stream.next_in = const_cast<uint8_t *>(in);
    stream.avail_in = static_cast<uInt>(inLength);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(capacity);
    const int status = inflate(&stream, Z_FINISH);
    *outLength = stream.total_out;
    inflateEnd(&stream);
    if (status == Z_STREAM_END)
        return NSJ_OK;
    if (status == Z_MEM_ERROR)
        return NSJ_MEMORY_ERROR;
    // Out of room with the stream unfinished: the object is larger than allowed.
    if (status == Z_BUF_ERROR && stream.avail_out == 0 && stream.avail_in > 0)
        return NSJ_OBJECT_TOO_LARGE;
    if (status == Z_BUF_ERROR && stream.avail_out == 0)
        return NSJ_OBJECT_TOO_LARGE;
    return NSJ_OBJECT_INVALID;
}

} // namespace

int checkRawObject(const uint8_t *raw, uint32_t length, uint32_t extHeaderLength)
{
    if (length < 4 || length > 4095)
        return NSJ_OBJECT_INVALID;
    const uint8_t type = raw[2] >> 5;
    if (type < NSJ_TYPE_MENU || type > NSJ_TYPE_LIST || extHeaderLength > length - 3)
        return NSJ_OBJECT_INVALID;
    return NSJ_OK;
}

int decodeObject(const uint8_t *raw, uint32_t length, uint32_t extHeaderLength, NSJ_ObjectRecord *record)
{
    std::memset(record, 0, sizeof *record);
    if (checkRawObject(raw, length, extHeaderLength) != NSJ_OK || extHeaderLength > NSJ_MAX_OBJECT_BYTES)
        return NSJ_OBJECT_INVALID;
    record->id = get16(raw);
    record->header = raw[2];
    record->extHeaderLength = extHeaderLength;
    record->extHeader = record->bytes;
    std::memcpy(record->bytes, raw + 3, extHeaderLength);
    const uint8_t *payload = raw + 3 + extHeaderLength;
    const size_t payloadLength = length - 3 - extHeaderLength;
    uint8_t *decoded = record->bytes + extHeaderLength;
    const size_t capacity = NSJ_MAX_OBJECT_BYTES - extHeaderLength;
    size_t decodedLength = 0;
    if (record->header & 0x08) {
        // Byte 0 names the method; only deflate is defined.
        if (payloadLength < 3)
            return NSJ_OBJECT_TOO_SMALL;
        if (payload[0] != 8)
            return NSJ_COMPRESSION_UNSUPPORTED;
        if (const int result = inflatePayload(payload + 1, payloadLength - 1, decoded, capacity, &decodedLength))
            return result;
    } else {
        if (payloadLength > capacity)
            return NSJ_OBJECT_TOO_LARGE;
        std::memcpy(decoded, payload, payloadLength);
        decodedLength = payloadLength;
    }
    record->decoded = decoded;
    record->decodedLength = static_cast<uint16_t>(decodedLength);
    record->totalLength = static_cast<uint16_t>(decodedLength + extHeaderLength);

    const uint8_t *p = decoded;
    const size_t n = decodedLength;
    size_t at = 0;
    while (at < n && (p[at] == CodeEnd || p[at] > CodeLastStructural))
        at = skipUnit(p, at, n);
    if (at >= n || p[at] != CodeTitle)
        return NSJ_OBJECT_INVALID;
    const size_t titleStart = at + 1;
    const size_t titleEnd = nextCode(p, titleStart, n);
    if (titleEnd == titleStart)
        return NSJ_OBJECT_INVALID;
    record->title = p + titleStart;
    record->titleLength = static_cast<uint16_t>(titleEnd - titleStart);

    const uint8_t type = record->header >> 5;
    if (!SectionCollector(record->sections).collect(p, n, type == NSJ_TYPE_MENU, 0))
        return NSJ_OBJECT_INVALID;
    interpretSections(record);

    at = titleEnd;
    if (at < n && p[at] == CodeEnd)
        ++at;
    if (type == NSJ_TYPE_MENU) {
        while (at < n && p[at] == CodeMenuItem && n - at >= 3 && record->menuItemCount < NSJ_MAX_ITEMS) {
            NSJ_MenuItem &item = record->menuItems[record->menuItemCount++];
            item.targetId = get16(p + at + 1);
            const size_t textStart = at + 3;
            const size_t textEnd = nextCode(p, textStart, n);
            item.text = p + textStart;
            item.textLength = static_cast<uint16_t>(textEnd - textStart);
            at = textEnd;
            if (at < n && p[at] == CodeEnd)
                ++at;
        }
        if (record->menuItemCount == 0)
            return NSJ_OBJECT_INVALID;
    } else if ((type == NSJ_TYPE_PLAIN_MESSAGE && at < n && p[at] == CodePlainBody)
               || (type == NSJ_TYPE_LIST && at < n && p[at] == CodeListBody)) {
        record->body = p + at + 1;
        record->bodyLength = static_cast<uint16_t>(n - at - 1);
    }
    return NSJ_OK;
}

} // namespace NSJ
