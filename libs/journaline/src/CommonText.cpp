#include "CommonText.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace Common {
namespace {

std::string fillFront(std::string text, size_t width, char fill)
{
    if (text.size() < width)
        text.insert(0, width - text.size(), fill);
    return text;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

double currentTime()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string dateTimeText(DateTimeParts parts, int64_t time, TimeZone zone, Separators separators)
{
    const std::time_t t = time != 0 ? static_cast<std::time_t>(time) : static_cast<std::time_t>(currentTime());
    std::tm fields{};
    if (zone == TimeZone::Local)
        localtime_r(&t, &fields);
    else
        gmtime_r(&t, &fields);
    const bool with = separators == Separators::With;
    char date[32];
    char clock[32];
    std::snprintf(date, sizeof date, with ? "%04d-%02d-%02d" : "%04d%02d%02d", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday);
    std::snprintf(clock, sizeof clock, with ? "%02d:%02d:%02d" : "%02d%02d%02d", fields.tm_hour, fields.tm_min,
                  fields.tm_sec);
    switch (parts) {
    case DateTimeParts::DateOnly:
        return date;
    case DateTimeParts::TimeOnly:
        return clock;
    case DateTimeParts::DateAndTime:
        break;
    }
    return std::string(date) + "T" + clock;
}

std::string signedToText(long value, size_t width, char fill)
{
    std::string text = std::to_string(value);
    if (text.size() >= width)
        return text;
    if (value < 0)
        return "-" + fillFront(text.substr(1), width - 1, fill);
    return fillFront(text, width, fill);
}

std::string unsignedToText(unsigned long value, size_t width, char fill)
{
    return fillFront(std::to_string(value), width, fill);
}

std::string realToText(double value, int decimals, const std::string &decimalSign, size_t width, char fill)
{
    char buffer[512];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                            decimals < 0 ? 0 : decimals);
    std::string text = error == std::errc() ? std::string(buffer, end) : std::string("0");
    if (const size_t dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalSign);
    return fillFront(text, width, fill);
}

std::string hexText(uint64_t value, const HexFormat &format)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format.lowerCase ? "%llx" : "%llX", static_cast<unsigned long long>(value));
    std::string digits = fillFront(buffer, format.minimumDigits, '0');
    if (format.padToEven && digits.size() % 2)
        digits.insert(0, 1, '0');
    if (format.grouped && !format.separator.empty()) {
        std::string grouped;
        const size_t n = digits.size();
        for (size_t i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 2 == 0)
                grouped += format.separator;
            grouped += digits[i];
        }
        digits = grouped;
    }
    return format.prefix + digits + format.suffix;
}

uint64_t textToUnsigned(const std::string &text)
{
    size_t start = 0;
    int base = 10;
    if (!text.empty() && lower(text[0]) == 'x') {
        start = 1;
        base = 16;
    } else if (text.size() >= 2 && text[0] == '0' && lower(text[1]) == 'x') {
        start = 2;
        base = 16;
    }
    uint64_t value = 0;
    std::from_chars(text.data() + start, text.data() + text.size(), value, base);
    return value;
}

bool isDigitsOnly(const std::string &text)
{
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

uint32_t fourCharacterCode(const std::string &text)
{
    uint32_t code = 0;
    for (size_t i = 0; i < text.size() && i < 4; ++i)
        code = (code << 8) | static_cast<uint8_t>(text[i]);
    return code;
}

std::string concatenate(const std::string &first, const std::string &second) { return first + second; }

std::string languageName(const std::string &code)
{
    if (code.size() != 3)
        return {};
    auto same = [&code](const char *candidate) {
        for (size_t i = 0; i < 3; ++i)
            if (candidate[i] == '\0' || lower(code[i]) != lower(candidate[i]))
                return false;
        return candidate[3] == '\0';
    };
    for (size_t n = 0; n < languageRecordCount(); ++n) {
        const LanguageRecord &record = languageRecord(n);
        if (same(record.first) || same(record.second))
            return record.name;
    }
    return {};
}

bool coordinateText(int32_t latitude, int32_t longitude, std::string &out, const std::string &separator,
                    CoordinateStyle style)
{
    // Latitude comes in 1/92000 degree, longitude in 1/46000 degree.
    auto text = [&](int32_t value, float unitsPerDegree, const char *negative, const char *positive) {
        const float degrees = static_cast<float>(value) / unitsPerDegree;
        if (style == CoordinateStyle::Decimal)
            return realToText(degrees, 6, ".");
        const float whole = std::trunc(degrees);
        const float minutesExact = (degrees - whole) * 60.0f;
        const float minutes = std::trunc(minutesExact);
        const float seconds = (minutesExact - minutes) * 60.0f;
        return unsignedToText(static_cast<unsigned long>(std::fabs(whole)), 2, '0') + "&#176;" + separator
            + unsignedToText(static_cast<unsigned long>(std::fabs(minutes)), 2, '0') + "'" + separator
            + realToText(std::fabs(seconds), 3, ".") + "\"" + separator + (value < 0 ? negative : positive);
    };
    out = text(latitude, 92000.0f, "S", "N") + "," + separator + text(longitude, 46000.0f, "W", "E");
    return true;
}

} // namespace Common
