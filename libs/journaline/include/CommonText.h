// Clock and text helpers of the Journaline provider and renderer: wall
// clock, date-and-time text, number and text conversions, geographic
// coordinates and ISO 639-2 language names. Byte strings in, byte strings out.
#ifndef ZOZ_COMMON_TEXT_H
#define ZOZ_COMMON_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace Common {

// Seconds since 1970-01-01 00:00:00 UTC, with a fractional part.
double currentTime();

enum class DateTimeParts { DateAndTime, DateOnly, TimeOnly };
enum class TimeZone { Local, Utc };
enum class Separators { With, Without };

// "2020-04-16T16:38:01" (or its date or time half, or without separators
// "20200416T163801"); `time` in seconds since 1970, 0 for now.
std::string dateTimeText(DateTimeParts parts = DateTimeParts::DateAndTime, int64_t time = 0,
                         TimeZone zone = TimeZone::Local, Separators separators = Separators::With);

// Decimal texts filled up to `width` with `fill`: in front of the digits,
// for negative numbers after the leading "-".
std::string signedToText(long value, size_t width = 0, char fill = ' ');
std::string unsignedToText(unsigned long value, size_t width = 0, char fill = ' ');
// Fixed-point text with `decimals` places, independent of the locale;
// `decimalSign` replaces the ".".
std::string realToText(double value, int decimals, const std::string &decimalSign = ".", size_t width = 0,
                       char fill = ' ');

struct HexFormat {
    std::string prefix;
    std::string suffix;
    std::string separator;     // between groups of two digits, counted from the right
    bool grouped = false;
    size_t minimumDigits = 0;  // zero-filled
    bool padToEven = false;    // an odd digit count gets a leading "0"
    bool lowerCase = false;
};
std::string hexText(uint64_t value, const HexFormat &format = {});

// "x1F" and "0x1F" (either case of x) are hexadecimal, anything else
// decimal; the empty text and unreadable texts give 0.
uint64_t textToUnsigned(const std::string &text);
// True when every character is a decimal digit (also for the empty text).
bool isDigitsOnly(const std::string &text);
// The first up to four bytes as a big-endian number.
uint32_t fourCharacterCode(const std::string &text);
std::string concatenate(const std::string &first, const std::string &second);

// English name of an ISO 639-2 three-letter code (bibliographic or
// terminology, any case); "" for anything else.
std::string languageName(const std::string &code);

// Number of ISO 639-2 records and record n: the two-letter code (may be
// empty), the first and the second three-letter code (may be empty) and the
// English name.
struct LanguageRecord {
    const char *twoLetter;
    const char *first;
    const char *second;
    const char *name;
};
size_t languageRecordCount();
const LanguageRecord &languageRecord(size_t n);

enum class CoordinateStyle { DegreesMinutesSeconds, Decimal };
// Latitude in 1/92000 degree, longitude in 1/46000 degree. Writes
// "50&#176; 00' 0.000\" S, ..." (with `separator` between the parts) or, in
// decimal style, "-50.000000, ..."; always true.
bool coordinateText(int32_t latitude, int32_t longitude, std::string &out, const std::string &separator,
                    CoordinateStyle style);

} // namespace Common

#endif
