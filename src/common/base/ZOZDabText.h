#pragma once

#include <QString>
#include <cstdint>

namespace ZOZ {

// Character sets of DAB texts that are not read with the EBU Latin table.
enum DabCharacterSet : uint8_t {
    DabCharsetEbuLatin = 0x00,
    DabCharsetUcs2 = 0x06,
    DabCharsetUtf8 = 0x0F,
};

// Longest text converted; labels and dynamic labels are far shorter, longer input
// is cut here.
constexpr int MaxDabTextBytes = 1024;

// Converts a broadcast text in the given character set. UCS-2 and EBU Latin texts
// come back trimmed, UTF-8 texts as sent.
QString dabTextToString(uint8_t characterSet, const char *bytes, int length);

// "e01234" for qualifier 0xE0 and identifier 0x1234; identifiers above 16 bits
// stand alone.
QString dabIdToHex(uint8_t qualifier, uint32_t identifier);

} // namespace ZOZ
