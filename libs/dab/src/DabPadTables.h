// Constants of the X-PAD contents indicator.
#ifndef ZOZ_DAB_PAD_TABLES_H
#define ZOZ_DAB_PAD_TABLES_H

#include <cstdint>

// A contents indicator: bits 7-5 the length index, bits 4-0 the application type.
constexpr uint8_t PadAppTypeMask = 0x1F;
constexpr int PadLengthIndexShift = 5;

// X-PAD length indicator: index (contents indicator bits 7-5) -> bytes of the data subfield.
constexpr uint8_t PadSubfieldLength[8] = {4, 6, 8, 12, 16, 24, 32, 48};

#endif
