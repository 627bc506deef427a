// What the MOT decoder's parts share: reading headers, directories and their
// extension parameters, always within the bytes that are there.
#ifndef ZOZ_DAB_MOT_INTERNAL_H
#define ZOZ_DAB_MOT_INTERNAL_H

#include "DabMotDecoder.h"

#include <cstdint>

namespace MotInternal {

constexpr uint32_t HeaderCoreBytes = 7;
constexpr uint32_t DirectoryFixedBytes = 13;
constexpr uint32_t EntryIdBytes = 2;

// One extension parameter.
struct Parameter {
    uint8_t id;
    const uint8_t *data;
    uint32_t length;
};

// Walks extension parameters of `length` bytes at `data`.
class ParameterWalk {
public:
    ParameterWalk(const uint8_t *data, uint32_t length) : m_position(data), m_end(data + length) {}
    // The next parameter; false at the end or when a parameter runs past it
    // (then damaged() is true).
    bool next(Parameter &parameter);
    bool damaged() const { return m_damaged; }

private:
    const uint8_t *m_position;
    const uint8_t *m_end;
    bool m_damaged = false;
};

// The first parameter `id` of an extension; false (data null, length 0) when absent.
bool findParameter(const uint8_t *extension, uint32_t length, uint8_t id, const uint8_t *&data, uint32_t &dataLength);

// Parses a header core and extension from at most `available` bytes; false
// when the header is shorter than its core, longer than `available` or its
// extension is damaged. `header` is cleared first; `permitOutdated` is the
// value before the header's own parameter.
bool parseHeader(const uint8_t *bytes, uint32_t available, uint8_t permitOutdated, MotHeader &header);

// Parses the uncompressed directory of `available` bytes at `bytes`. Returns 0
// or 11 (the record is then cleared); sets everything but the transport id
// and the complete flag.
int parseDirectory(const uint8_t *bytes, uint32_t available, MotDirectory &directory);

// The directory entry of `transportId`, with the directory's default for
// outdated versions; false when the directory, within its size, has none.
bool findEntryById(const MotDirectory &directory, uint16_t transportId, MotHeader &header);

// Entry `index`, without the default; false when it lies beyond the
// directory's size or does not parse.
bool findEntryByIndex(const MotDirectory &directory, uint32_t index, MotHeader &header);

} // namespace MotInternal

#endif
