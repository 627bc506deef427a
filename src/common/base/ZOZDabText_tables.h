#pragma once

#include <cstdint>

namespace ZOZ {

// The complete EBU Latin based repertoire (character set 0x00 of DAB labels and
// dynamic labels): index = the byte as broadcast, value = its Unicode code point.
// Positions the repertoire leaves empty or uses as control codes (0x00, 0x0A line
// break, 0x0B end of headline, 0x1F word break) keep their own value.
extern const char16_t EbuLatinBasedRepertoire[256];

} // namespace ZOZ
