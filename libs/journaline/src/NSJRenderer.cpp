#include "NSJRenderer.h"

#include "CommonText.h"

#include <cstdio>

namespace {

constexpr uint8_t SectionServiceLink = 0xC1;

std::string lowerCase(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return pieces;
        start = at + 1;
    }
}

uint16_t decimalId(const std::string &text)
{
    if (text.empty() || !Common::isDigitsOnly(text) || text.size() > 5)
        return 0;
    const unsigned long value = std::stoul(text);
    return value > 0xFFFF ? 0 : static_cast<uint16_t>(value);
}

} // namespace

NSJRenderer::NSJRenderer() : m_creationTime(static_cast<int64_t>(Common::currentTime())) {}

NSJRenderer::~NSJRenderer() = default;

int NSJRenderer::start(bool crcCheck, uint32_t extHeaderLength)
{
    m_debug = false;
    return init(crcCheck, extHeaderLength);
}

bool NSJRenderer::setStyleOption(const std::string &style)
{
    if (style == m_styleOption)
        return false;
    m_styleOption = style;
    return true;
}

bool NSJRenderer::setSecondOption(const std::string &option)
{
    if (option == m_secondOption)
        return false;
    m_secondOption = option;
    return true;
}

void NSJRenderer::setTemplateCallback(TemplateCallback callback, void *context)
{
    m_options.templateCallback = callback;
    m_options.templateContext = context;
}

int NSJRenderer::Handle_HttpRequest(const std::string &requestText, std::string &output)
{
    m_requestText.clear();
    m_lastModified = 0;
    Request request;
    const std::string error = parse(requestText, request);
    if (!error.empty()) {
        std::fprintf(stderr, "NSJRenderer::Handle_HttpRequest() -> error: %s\n", error.c_str());
        std::fflush(stderr);
        return -1;
    }
    if (const auto hist = m_query.find("hist"); hist != m_query.end()) {
        const std::vector<std::string> pieces = split(hist->second, ',');
        const size_t commas = pieces.size() - 1;
        if (commas < NSJ_MAX_PATH) {
            NSJ_HistoryPath path{};
            path.depth = static_cast<uint8_t>(commas);
            for (size_t i = 0; i < pieces.size(); ++i)
                path.ids[i] = decimalId(pieces[i]);
            setHistoryPath(path);
        }
    }
    return Handle_HttpRequest(request, output);
}

std::string NSJRenderer::parse(const std::string &requestText, Request &request)
{
    const std::string decoded = percentDecode(requestText);
    m_query.clear();
    m_debug = false;
    request = Request{};
    request.text = requestText;
    const size_t lineEnd = decoded.find("\r\n");
    if (lineEnd == std::string::npos)
        return "Unable to parse http request [LINE_END]'" + requestText + "'";
    std::string line = decoded.substr(0, lineEnd);
    if (line.compare(0, 4, "GET ") != 0)
        return "Invalid http request [NO_GET]'" + requestText + "'";
    line.erase(0, 4);
    const size_t space = line.find(' ');
    if (space == std::string::npos)
        return "Unable to parse http request [NO_SPACE]'" + requestText + "'";
    request.uri = line.substr(0, space);
    const size_t slash = request.uri.rfind('/');
    if (slash == std::string::npos)
        return "Unable to parse http request [NO_ROOT]'" + requestText + "'";
    request.directory = request.uri.substr(0, slash + 1);
    const std::string rest = request.uri.substr(slash + 1);
    const size_t question = rest.find('?');
    request.file = rest.substr(0, question);
    if (question != std::string::npos) {
        for (const std::string &piece : split(rest.substr(question + 1), '&')) {
            const size_t equals = piece.find('=');
            if (equals == std::string::npos)
                m_query[piece] = std::string();
            else
                m_query[piece.substr(0, equals)] = piece.substr(equals + 1);
        }
    }
    for (const auto &[key, value] : m_query)
        if (lowerCase(key) == "debug")
            m_debug = true;
    return {};
}

int NSJRenderer::writeResponse(std::string &output, const std::string &contentType)
{
    m_contentType = contentType;
    if (m_header == ResponseHeader::Off)
        return static_cast<int>(output.size());
    const std::string type = lowerCase(contentType);
    std::string header;
    if (type == "404")
        header = "HTTP/1.0 404 Not found\n";
    else if (type == "500")
        header = "HTTP/1.0 500 An internal error occurred\n";
    else
        header = "HTTP/1.0 200 OK\n";
    header += std::string("Server: ") + ProductName + "/" + VersionText;
    header += "\nContent-Length: " + std::to_string(output.size());
    header += "\nContent-Language: en\nContent-Type: " + type + "; charset=utf-8\n\n";
    output.insert(0, header);
    return static_cast<int>(output.size());
}

std::string NSJRenderer::percentDecode(const std::string &text)
{
    std::string spaced = text;
    for (char &c : spaced)
        if (c == '+')
            c = ' ';
    std::string decoded;
    decoded.reserve(spaced.size());
    for (size_t i = 0; i < spaced.size(); ++i) {
        if (spaced[i] == '%' && i + 2 < spaced.size() && hexDigit(spaced[i + 1]) >= 0 && hexDigit(spaced[i + 2]) >= 0) {
            decoded += static_cast<char>(hexDigit(spaced[i + 1]) * 16 + hexDigit(spaced[i + 2]));
            i += 2;
        } else {
            decoded += spaced[i];
        }
    }
    return decoded;
}

std::string NSJRenderer::nmlToDisplay(const std::string &nml)
{
    std::string out;
    const size_t n = nml.size();
    auto byte = [&nml](size_t i) { return static_cast<uint8_t>(nml[i]); };
    for (size_t i = 0; i < n;) {
        const uint8_t b = byte(i);
        size_t sequence = 0;
        if ((b & 0xE0) == 0xC0)
            sequence = 2;
        else if ((b & 0xF0) == 0xE0)
            sequence = 3;
        else if ((b & 0xF8) == 0xF0)
            sequence = 4;
        if (sequence && i + sequence <= n) {
            bool complete = true;
            for (size_t k = 1; k < sequence; ++k)
                complete = complete && (byte(i + k) & 0xC0) == 0x80;
            if (complete) {
                out.append(nml, i, sequence);
                i += sequence;
                continue;
            }
        }
        if (b == 0x10) {
            out += "<br/>\n";
            ++i;
        } else if (b >= 0x11 && b <= 0x14) {
            ++i;
        } else if (b == 0x1A || b == 0x1B) {
            i += i + 1 < n ? 3 + size_t(byte(i + 1)) : 2;
        } else if (b == 0x1C || b == 0x1D) {
            i += 2;
        } else {
            out += static_cast<char>(b);
            ++i;
        }
    }
    return out;
}

std::vector<uint32_t> NSJRenderer::utf8ToCodePoints(const std::string &text)
{
    constexpr uint32_t Broken = 0xFFFF;
    std::vector<uint32_t> points;
    bool skipping = false; // after a broken sequence its continuation bytes are dropped
    for (size_t i = 0; i < text.size();) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b < 0x80) {
            points.push_back(b);
            skipping = false;
            ++i;
            continue;
        }
        if ((b & 0xC0) == 0x80) {
            if (!skipping)
                points.push_back(Broken);
            skipping = true;
            ++i;
            continue;
        }
        int continuation = 0;
        uint32_t value = 0;
        if ((b & 0xE0) == 0xC0) {
            continuation = 1;
            value = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            continuation = 2;
            value = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            continuation = 3;
            value = b & 0x07;
        } else if ((b & 0xFC) == 0xF8) {
            continuation = 4;
            value = b & 0x03;
        } else if ((b & 0xFE) == 0xFC) {
            continuation = 5;
            value = b & 0x01;
        } else {
            points.push_back(Broken);
            skipping = true;
            ++i;
            continue;
        }
        size_t at = i + 1;
        bool complete = true;
        for (int k = 0; k < continuation; ++k, ++at) {
            if (at >= text.size() || (static_cast<uint8_t>(text[at]) & 0xC0) != 0x80) {
                complete = false;
                break;
            }
            value = (value << 6) | (static_cast<uint8_t>(text[at]) & 0x3F);
        }
        points.push_back(complete ? value : Broken);
        skipping = !complete;
        i = at;
    }
    return points;
}

std::string NSJRenderer::textToHex(const std::string &text, const std::string &separator)
{
    Common::HexFormat format;
    format.minimumDigits = 2;
    format.lowerCase = true;
    std::string out;
    bool first = true;
    for (const uint32_t point : utf8ToCodePoints(text)) {
        if (!first)
            out += separator;
        out += Common::hexText(point > 255 ? 0 : point, format);
        first = false;
    }
    return out;
}

void NSJRenderer::collectServiceLinks(NSJ_ObjectRecord *record, size_t slot)
{
    if (m_linkLists.size() <= slot)
        m_linkLists.resize(slot + 1);
    std::vector<std::string> &links = m_linkLists[slot];
    links.clear();
    std::vector<DataSection> all;
    sections(record, all);
    for (const DataSection &section : all) {
        if (section.type != SectionServiceLink || section.bytes.size() < 3)
            continue;
        // One byte of its own, then the big-endian length of the link text.
        const size_t length = (size_t(section.bytes[1]) << 8) | section.bytes[2];
        if (3 + length > section.bytes.size())
            continue;
        const std::string link(section.bytes.begin() + 3, section.bytes.begin() + 3 + static_cast<long>(length));
        m_linksSeen = true;
        resolveLink(link);
        bool known = false;
        for (const std::string &seen : links)
            known = known || seen == link;
        if (!known)
            links.push_back(link);
    }
}

const std::vector<std::string> &NSJRenderer::serviceLinks(size_t slot) const
{
    static const std::vector<std::string> none;
    return slot < m_linkLists.size() ? m_linkLists[slot] : none;
}
