#pragma once

// Framing of one HTTP/1.x request in a receive buffer. Plain C++ without Qt, so the
// fuzz build can use it on its own.

#include <cstddef>
#include <string_view>
#include <vector>

namespace ZOZ {

// Request line and header fields together; beyond this the client gets 431.
constexpr std::size_t MaxRequestHeadBytes = 64 * 1024;
// Our pages send small forms at most; a larger body gets 413.
constexpr std::size_t MaxRequestBodyBytes = 1024 * 1024;
constexpr std::size_t MaxRequestHeaderFields = 100;

enum class HttpParseResult {
    Complete,       // head (and body) are in the buffer
    NeedMore,       // the request is not complete yet
    BadRequestLine, // complete, but the request line is not one we answer; framing is known
    BadRequest,     // malformed framing: answer 400 and close
    HeadTooLarge,   // request line and headers exceed MaxRequestHeadBytes: answer 431 and close
    BodyTooLarge,   // Content-Length exceeds MaxRequestBodyBytes: answer 413 and close
};

struct HttpHeaderField
{
    std::string_view name;
    std::string_view value; // without surrounding blanks
};

// Views into the buffer given to parseHttpRequest; valid while that buffer is.
struct HttpRequestHead
{
    std::string_view method;
    std::string_view target;
    int minorVersion = 0;
    std::vector<HttpHeaderField> fields;
    std::string_view headText;    // request line and header lines, without the blank line
    std::size_t headBytes = 0;    // bytes up to and including the blank line
    std::size_t contentLength = 0;
    std::size_t totalBytes = 0;   // head and body: what to take from the buffer

    // The value of the first field with this name (case-insensitive), or nullptr.
    const HttpHeaderField *field(std::string_view name) const;
    // How many fields have this name (case-insensitive).
    std::size_t fieldCount(std::string_view name) const;
};

// Parses the request at the start of `data`. Empty lines before it are skipped and
// counted in headBytes. On Complete and BadRequestLine, totalBytes says how much of
// the buffer the request occupies; on the other results `head` is unspecified.
HttpParseResult parseHttpRequest(const char *data, std::size_t size, HttpRequestHead &head);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace ZOZ
