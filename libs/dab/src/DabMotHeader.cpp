#include "DabMotInternal.h"

#include <cstring>

namespace MotInternal {

namespace {

// Parameter length indicator (top two bits of a parameter's first byte).
constexpr uint8_t NoData = 0;
constexpr uint8_t OneByte = 1;
constexpr uint8_t FourBytes = 2;
constexpr uint8_t IdMask = 0x3F;
constexpr uint8_t LongFieldBit = 0x80;

constexpr uint16_t ContentTypeImage = 2;
// MIME types of the image subtypes, for headers that name none.
constexpr const char *ImageMimeTypes[] = {"image/gif", "image/jpeg", "image/bmp", "image/png"};

// Directory extension parameters.
constexpr uint8_t SortedHeaderInformation = 0;
constexpr uint8_t DefaultPermitOutdatedVersions = 1;

uint32_t readBig(const uint8_t *bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// The 13-bit HeaderSize of a header core.
uint32_t headerSizeOf(const uint8_t *core)
{
    return (uint32_t(core[3] & 0x0F) << 9) | (uint32_t(core[4]) << 1) | (core[5] >> 7);
}

void applyParameter(const Parameter &p, MotHeader &header)
{
    switch (p.id) {
    case MOT_PARAMETER_PERMIT_OUTDATED_VERSIONS:
        header.permitOutdatedVersions = (p.length != 0 && p.data[0] != 0) ? 1 : 0;
        break;
    case MOT_PARAMETER_CONTENT_NAME:
        if (p.length != 0) {
            header.contentNameCharset = p.data[0] >> 4;
            header.contentName = p.data + 1;
            header.contentNameLength = static_cast<uint16_t>(p.length - 1);
        }
        break;
    case MOT_PARAMETER_UNIQUE_BODY_VERSION:
        if (p.length >= 4)
            header.uniqueBodyVersion = readBig(p.data, 4);
        break;
    case MOT_PARAMETER_MIME_TYPE:
        header.mimeType = reinterpret_cast<const char *>(p.data);
        header.mimeTypeLength = p.length;
        break;
    case MOT_PARAMETER_COMPRESSION_TYPE:
        if (p.length != 0)
            header.compressionType = p.data[0];
        break;
    case MOT_PARAMETER_CA_INFO:
        header.caInfoPresent = 1;
        break;
    default:
        break;
    }
}

// Calls `visit` for each entry (transport id, header bytes, header size) up
// to `limit` entries, stopping where an entry would cross the directory's
// end. Stops early when `visit` returns true; returns that.
template <typename Visit>
bool walkEntries(const MotDirectory &directory, uint32_t limit, Visit visit)
{
    const uint32_t fixed = DirectoryFixedBytes + directory.extensionLength;
    if (!directory.entries || directory.directorySize < fixed)
        return false;
    const uint8_t *position = directory.entries;
    uint32_t left = directory.directorySize - fixed;
    for (uint32_t n = 0; n < limit; ++n) {
        if (left < EntryIdBytes + HeaderCoreBytes)
            return false;
        const uint32_t headerSize = headerSizeOf(position + EntryIdBytes);
        if (headerSize < HeaderCoreBytes || headerSize > left - EntryIdBytes)
            return false;
        if (visit(n, static_cast<uint16_t>(readBig(position, 2)), position + EntryIdBytes, headerSize))
            return true;
        position += EntryIdBytes + headerSize;
        left -= EntryIdBytes + headerSize;
    }
    return false;
}

} // namespace

bool ParameterWalk::next(Parameter &parameter)
{
    if (m_damaged || m_position >= m_end)
        return false;
    const uint8_t first = *m_position++;
    const uint8_t indicator = first >> 6;
    parameter.id = first & IdMask;
    uint32_t length = 0;
    if (indicator == OneByte) {
        length = 1;
    } else if (indicator == FourBytes) {
        length = 4;
    } else if (indicator != NoData) {
        if (m_position >= m_end) {
            m_damaged = true;
            return false;
        }
        const uint8_t field = *m_position++;
        length = field & 0x7F;
        if (field & LongFieldBit) {
            if (m_position >= m_end) {
                m_damaged = true;
                return false;
            }
            length = (length << 8) | *m_position++;
        }
    }
    if (length > static_cast<uint32_t>(m_end - m_position)) {
        m_damaged = true;
        return false;
    }
    parameter.data = m_position;
    parameter.length = length;
    m_position += length;
    return true;
}

bool findParameter(const uint8_t *extension, uint32_t length, uint8_t id, const uint8_t *&data, uint32_t &dataLength)
{
    data = nullptr;
    dataLength = 0;
    if (!extension)
        return false;
    ParameterWalk walk(extension, length);
    Parameter p;
    while (walk.next(p)) {
        if (p.id == id) {
            data = p.data;
            dataLength = p.length;
            return true;
        }
    }
    return false;
}

bool parseHeader(const uint8_t *bytes, uint32_t available, uint8_t permitOutdated, MotHeader &header)
{
    std::memset(&header, 0, sizeof header);
    if (available < HeaderCoreBytes)
        return false;
    const uint32_t headerSize = headerSizeOf(bytes);
    if (headerSize < HeaderCoreBytes || headerSize > available)
        return false;
    header.bodySize = readBig(bytes, 4) >> 4;
    header.headerSize = static_cast<uint16_t>(headerSize);
    header.contentType = (bytes[5] >> 1) & 0x3F;
    header.contentSubType = static_cast<uint16_t>(((bytes[5] & 0x01) << 8) | bytes[6]);
    header.permitOutdatedVersions = permitOutdated;
    if (headerSize > HeaderCoreBytes) {
        header.extension = bytes + HeaderCoreBytes;
        ParameterWalk walk(header.extension, headerSize - HeaderCoreBytes);
        Parameter p;
        while (walk.next(p))
            applyParameter(p, header);
        if (walk.damaged()) {
            std::memset(&header, 0, sizeof header);
            return false;
        }
    }
    if (!header.mimeType && header.contentType == ContentTypeImage && header.contentSubType < 4) {
        header.mimeType = ImageMimeTypes[header.contentSubType];
        header.mimeTypeLength = static_cast<uint32_t>(std::strlen(header.mimeType));
    }
    return true;
}

int parseDirectory(const uint8_t *bytes, uint32_t available, MotDirectory &directory)
{
    const uint16_t transportId = directory.transportId;
    std::memset(&directory, 0, sizeof directory);
    directory.transportId = transportId;
    if (available < DirectoryFixedBytes)
        return MOT_DECODER_DIRECTORY_INVALID;
    const uint32_t size = readBig(bytes, 4) & 0x3FFFFFFF;
    const uint32_t extensionLength = readBig(bytes + 11, 2);
    if (bytes[9] >= 32 || size > available || size < DirectoryFixedBytes + extensionLength)
        return MOT_DECODER_DIRECTORY_INVALID;
    ParameterWalk walk(bytes + DirectoryFixedBytes, extensionLength);
    Parameter p;
    uint8_t sorted = 0;
    uint8_t permitDefault = 0;
    while (walk.next(p)) {
        if (p.id == SortedHeaderInformation)
            sorted = 1;
        else if (p.id == DefaultPermitOutdatedVersions && p.length != 0)
            permitDefault = p.data[0];
    }
    if (walk.damaged())
        return MOT_DECODER_DIRECTORY_INVALID;
    directory.directorySize = size;
    directory.numberOfObjects = static_cast<uint16_t>(readBig(bytes + 4, 2));
    directory.dataCarouselPeriod = readBig(bytes + 6, 3);
    directory.segmentSize = static_cast<uint16_t>(readBig(bytes + 9, 2) & 0x1FFF);
    directory.extensionLength = static_cast<uint16_t>(extensionLength);
    directory.sortedHeaderInformation = sorted;
    directory.defaultPermitOutdatedVersions = permitDefault;
    directory.entries = bytes + DirectoryFixedBytes + extensionLength;
    return MOT_DECODER_OK;
}

bool findEntryById(const MotDirectory &directory, uint16_t transportId, MotHeader &header)
{
    bool parsed = false;
    const bool found = walkEntries(directory, directory.numberOfObjects,
                                   [&](uint32_t, uint16_t id, const uint8_t *bytes, uint32_t size) {
                                       if (id != transportId)
                                           return false;
                                       parsed = parseHeader(bytes, size, directory.defaultPermitOutdatedVersions,
                                                            header);
                                       return true;
                                   });
    if (!found || !parsed)
        return false;
    header.transportId = transportId;
    return true;
}

bool findEntryByIndex(const MotDirectory &directory, uint32_t index, MotHeader &header)
{
    bool parsed = false;
    uint16_t transportId = 0;
    const bool found = walkEntries(directory, index + 1,
                                   [&](uint32_t n, uint16_t id, const uint8_t *bytes, uint32_t size) {
                                       if (n != index)
                                           return false;
                                       transportId = id;
                                       parsed = parseHeader(bytes, size, 0, header);
                                       return true;
                                   });
    if (!found || !parsed)
        return false;
    header.transportId = transportId;
    return true;
}

} // namespace MotInternal

extern "C" int DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(const MotDirectory *directory, uint8_t id,
                                                          const uint8_t **data, uint32_t *length)
{
    if (!directory || !data || !length)
        return MOT_DECODER_INVALID_PARAMETER;
    *data = nullptr;
    *length = 0;
    if (!directory->entries || directory->directorySize < MotInternal::DirectoryFixedBytes + directory->extensionLength)
        return MOT_DECODER_NOT_FOUND;
    const uint8_t *extension = directory->entries - directory->extensionLength;
    return MotInternal::findParameter(extension, directory->extensionLength, id, *data, *length)
               ? MOT_DECODER_OK
               : MOT_DECODER_NOT_FOUND;
}

extern "C" int DAB_Bb_Ruz_MotDecoderGetHeaderParameter(const MotHeader *header, uint8_t id, const uint8_t **data,
                                                       uint32_t *length)
{
    if (!header || !data || !length)
        return MOT_DECODER_INVALID_PARAMETER;
    const uint32_t extensionLength =
        header->headerSize > MotInternal::HeaderCoreBytes ? header->headerSize - MotInternal::HeaderCoreBytes : 0;
    return MotInternal::findParameter(header->extension, extensionLength, id, *data, *length)
               ? MOT_DECODER_OK
               : MOT_DECODER_NOT_FOUND;
}
