// Display texts of DAB codes and log texts of the DAB decoder libraries'
// result codes. Pure lookups: an unlisted code gives the stated default. Texts
// are constant, English and ASCII; callers translate them for display.
#ifndef ZOZ_DAB_CODE_TABLES_H
#define ZOZ_DAB_CODE_TABLES_H

#include <cstdint>

namespace ZOZ {

// key = extended country code << 4 | country id (e.g. 0xE01 Germany); "" if unknown.
const char *countryName(uint16_t key);

// DAB language code; "" if unknown, "rfu" for the reserved codes 44-47 and 65-68.
const char *languageName(uint8_t code);

// International programme type code; "" for 0 and for 31 and above.
const char *programmeTypeName(uint8_t code);

// FIC decoder status bit; "no error" for 0, combinations and unknown values.
const char *ficDecoderErrorText(int code);

// MOT decoder result; "unknown error" for unlisted values.
const char *motErrorText(const uint32_t &code);

// Packet-mode decoder result; "unknown error" for unlisted values.
const char *packetModeErrorText(const uint32_t &code);

// PAD decoder result; "unknown error" for unlisted values.
const char *padDecoderErrorText(int code);

// Dynamic Label decoder result; "unknown error" for unlisted values.
const char *dlDecoderErrorText(int code);

} // namespace ZOZ

#endif
