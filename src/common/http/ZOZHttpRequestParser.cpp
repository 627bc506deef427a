#include "http/ZOZHttpRequestParser.h"

#include <algorithm>
#include <cstring>

namespace ZOZ {

namespace {

bool isTokenCharacter(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
        return true;
    return c && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// One line without its line feed and an optional carriage return before it.
std::string_view lineContent(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// "METHOD target HTTP/d.d": a token, the target, the version; blanks between them.
bool parseRequestLine(std::string_view line, HttpRequestHead &head)
{
    std::size_t i = 0;
    while (i < line.size() && isTokenCharacter(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == 0 || i >= line.size() || !isBlank(line[i]))
        return false;
    head.method = line.substr(0, i);
    while (i < line.size() && isBlank(line[i]))
        ++i;
    const std::size_t targetStart = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > ' ' && line[i] != 0x7F)
        ++i;
    if (i == targetStart || i >= line.size() || !isBlank(line[i]))
        return false;
    head.target = line.substr(targetStart, i - targetStart);
    const std::string_view version = trimBlanks(line.substr(i));
    if (version.size() != 8 || !equalsIgnoringCase(version.substr(0, 5), "HTTP/") || version[6] != '.')
        return false;
    if (version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return false;
    head.minorVersion = version[7] - '0';
    return true;
}

// Whether an unfinished first line can still become a request line: a method token,
// so far, followed by a blank or nothing yet.
bool startsLikeRequestLine(std::string_view partial)
{
    std::size_t i = 0;
    while (i < partial.size() && isTokenCharacter(static_cast<unsigned char>(partial[i])))
        ++i;
    return i == partial.size() || (i > 0 && (isBlank(partial[i]) || partial[i] == '\r'));
}

bool isAnsweredMethod(std::string_view method)
{
    return equalsIgnoringCase(method, "GET") || equalsIgnoringCase(method, "HEAD") || equalsIgnoringCase(method, "POST");
}

bool parseContentLength(std::string_view value, std::size_t &length)
{
    if (value.empty() || value.size() > 12)
        return false;
    std::size_t result = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + std::size_t(c - '0');
    }
    length = result;
    return true;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

const HttpHeaderField *HttpRequestHead::field(std::string_view name) const
{
    for (const HttpHeaderField &f : fields) {
        if (equalsIgnoringCase(f.name, name))
            return &f;
    }
    return nullptr;
}

std::size_t HttpRequestHead::fieldCount(std::string_view name) const
{
    std::size_t count = 0;
    for (const HttpHeaderField &f : fields)
        count += equalsIgnoringCase(f.name, name) ? 1 : 0;
    return count;
}

HttpParseResult parseHttpRequest(const char *data, std::size_t size, HttpRequestHead &head)
{
    head = HttpRequestHead();
    const std::string_view buffer(data, size);

    // Blank lines between requests are tolerated, but count against the head limit.
    std::size_t start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n'))
        ++start;
    if (start >= MaxRequestHeadBytes)
        return HttpParseResult::HeadTooLarge;

    const std::size_t searchLimit = std::min(buffer.size(), MaxRequestHeadBytes);
    const std::string_view window = buffer.substr(0, searchLimit);

    // The head ends with an empty line; lines end in LF with an optional CR before it.
    std::size_t headEnd = std::string_view::npos;
    std::size_t contentEnd = 0;
    std::size_t lineStart = start;
    bool requestLineChecked = false;
    while (lineStart < searchLimit) {
        const std::size_t lineFeed = window.find('\n', lineStart);
        const std::size_t lineEnd = lineFeed == std::string_view::npos ? searchLimit : lineFeed;
        if (window.substr(lineStart, lineEnd - lineStart).find('\0') != std::string_view::npos)
            return HttpParseResult::BadRequest;
        if (lineFeed == std::string_view::npos) {
            // Binary data (a TLS greeting, say) is refused before a line ends.
            if (!requestLineChecked && !startsLikeRequestLine(window.substr(lineStart)))
                return HttpParseResult::BadRequest;
            break;
        }
        const std::string_view line = lineContent(window.substr(lineStart, lineFeed - lineStart));
        if (!requestLineChecked) {
            // A broken request line is refused at once, not after 64 KiB of waiting.
            HttpRequestHead probe;
            if (!parseRequestLine(line, probe))
                return HttpParseResult::BadRequest;
            requestLineChecked = true;
        } else if (line.empty()) {
            contentEnd = lineStart;
            headEnd = lineFeed + 1;
            break;
        }
        lineStart = lineFeed + 1;
    }
    if (headEnd == std::string_view::npos)
        return buffer.size() >= MaxRequestHeadBytes ? HttpParseResult::HeadTooLarge : HttpParseResult::NeedMore;

    head.headText = buffer.substr(start, contentEnd > start ? contentEnd - start : 0);
    while (!head.headText.empty() && (head.headText.back() == '\n' || head.headText.back() == '\r'))
        head.headText.remove_suffix(1);
    head.headBytes = headEnd;

    // Request line, then one field per line.
    std::size_t position = start;
    std::size_t lineFeed = buffer.find('\n', position);
    parseRequestLine(lineContent(buffer.substr(position, lineFeed - position)), head);
    position = lineFeed + 1;
    bool haveLength = false;
    while (position < contentEnd) {
        lineFeed = buffer.find('\n', position);
        const std::string_view line = lineContent(buffer.substr(position, lineFeed - position));
        position = lineFeed + 1;
        // Folded continuation lines are obsolete and let fields hide in other fields.
        if (line.empty() || isBlank(line.front()))
            return HttpParseResult::BadRequest;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return HttpParseResult::BadRequest;
        const std::string_view name = line.substr(0, colon);
        for (char c : name) {
            if (!isTokenCharacter(static_cast<unsigned char>(c)))
                return HttpParseResult::BadRequest;
        }
        if (head.fields.size() >= MaxRequestHeaderFields)
            return HttpParseResult::HeadTooLarge;
        const HttpHeaderField field { name, trimBlanks(line.substr(colon + 1)) };
        head.fields.push_back(field);

        if (equalsIgnoringCase(name, "Content-Length")) {
            std::size_t length = 0;
            if (!parseContentLength(field.value, length) || (haveLength && length != head.contentLength))
                return HttpParseResult::BadRequest;
            if (length > MaxRequestBodyBytes)
                return HttpParseResult::BodyTooLarge;
            head.contentLength = length;
            haveLength = true;
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            // We cannot tell where a chunked body ends; guessing would let its bytes
            // be read as a request.
            return HttpParseResult::BadRequest;
        }
    }

    head.totalBytes = head.headBytes + head.contentLength;
    if (buffer.size() < head.totalBytes)
        return HttpParseResult::NeedMore;
    if (!isAnsweredMethod(head.method))
        return HttpParseResult::BadRequestLine;
    return HttpParseResult::Complete;
}

} // namespace ZOZ
