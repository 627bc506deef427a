#include "NSJNmlToHtml.h"

#include "NSJRenderer.h"

#include <cstdio>

namespace NSJNml {

namespace {

constexpr uint8_t CodeTableRow = 0x04;
constexpr uint8_t CodeTableCell = 0x05;
constexpr uint8_t CodeLineBreak = 0x10;
constexpr uint8_t CodeSoftHyphen = 0x11;
constexpr uint8_t CodeBoldOn = 0x12;
constexpr uint8_t CodeBoldOff = 0x13;
constexpr uint8_t CodeIntroduction = 0x14;
constexpr uint8_t CodeSection = 0x1A;
constexpr uint8_t CodeContinuation = 0x1B;
constexpr uint8_t CodeParameterA = 0x1C;
constexpr uint8_t CodeParameterB = 0x1D;
constexpr uint8_t SectionNestedText = 0x21;
constexpr uint8_t SectionTextInsertion = 0x22;
constexpr uint8_t SectionImage = 0xC0;
constexpr uint8_t ImageKindCarried = 3;

// Pass one marks what pass two turns into markup with bytes the broadcast
// cannot place there (they are dropped from its text), so a text can never
// forge an image or an introduction.
constexpr char MarkImage = '\x01';
constexpr char MarkIntroStart = '\x02';
constexpr char MarkIntroEnd = '\x03';

// Nested texts inside nested texts are bounded by their lengths; this keeps
// the recursion shallow all the same.
constexpr int MaxNesting = 4;

constexpr uint32_t ReplacementCharacter = 65533;
constexpr uint32_t PopDirectionalFormatting = 0x202C;

int sequenceLength(uint8_t lead)
{
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

bool wellFormedAt(const std::string &text, size_t at)
{
    const int length = sequenceLength(static_cast<uint8_t>(text[at]));
    if (length == 0 || at + length > text.size())
        return false;
    for (int i = 1; i < length; ++i)
        if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80)
            return false;
    return true;
}

std::string hexByte(uint8_t value, const char *format)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

struct PassOne {
    std::string text;
    std::vector<Image> inlineImages; // referred to by MarkImage and an index byte
};

void passOne(const Context &context, uint16_t objectId, const std::string &text, const Options &options,
             uint8_t &counter, PassOne &out, int depth);

void takeSection(const Context &context, uint16_t objectId, const std::string &section, const Options &options,
                 uint8_t &counter, PassOne &out, int depth)
{
    if (section.empty())
        return;
    const uint8_t type = static_cast<uint8_t>(section[0]);
    if (type == SectionNestedText) {
        if (section.size() < 2 || !context.nestedTexts || depth >= MaxNesting)
            return;
        PassOne nested;
        Options raw = options;
        raw.inlineImages = true;
        passOne(context, objectId, section.substr(2), raw, counter, nested, depth + 1);
        // Images inside a nested text are not kept: its marks would point
        // into another text's list.
        std::string plain;
        for (size_t i = 0; i < nested.text.size(); ++i) {
            if (nested.text[i] == MarkImage)
                ++i;
            else
                plain += nested.text[i];
        }
        (*context.nestedTexts)[static_cast<uint8_t>(section[1])] = plain;
        return;
    }
    if (type == SectionTextInsertion) {
        if (section.size() < 2 || !context.nestedTexts)
            return;
        const auto found = context.nestedTexts->find(static_cast<uint8_t>(section[1]));
        if (found != context.nestedTexts->end())
            out.text += found->second;
        return;
    }
    if (type != SectionImage || section.size() <= 3)
        return;
    ImageSection image;
    if (!parseImageSection(section, image))
        return;
    Image result;
    result.caption = image.caption;
    if (image.kind == ImageKindCarried)
        result.url = imageName(objectId, ++counter, image.type);
    else if (image.kind < ImageKindCarried)
        result.url = context.resolveLink ? context.resolveLink(image.first) : std::string();
    else
        return;
    if (options.inlineImages || options.raw) {
        if (out.inlineImages.size() < 255) {
            out.text += MarkImage;
            out.text += static_cast<char>(out.inlineImages.size());
            out.inlineImages.push_back(result);
        }
    } else if (options.images) {
        options.images->push_back(result);
    }
}

void passOne(const Context &context, uint16_t objectId, const std::string &text, const Options &options,
             uint8_t &counter, PassOne &out, int depth)
{
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b >= 0x80 && wellFormedAt(text, i)) {
            const int length = sequenceLength(b);
            out.text.append(text, i, length);
            i += length;
            continue;
        }
        if (b == CodeIntroduction) {
            out.text.insert(out.text.begin(), MarkIntroStart);
            out.text += MarkIntroEnd;
            ++i;
            continue;
        }
        if (b == CodeSection) {
            std::string section;
            uint8_t code = CodeSection;
            bool broken = false;
            for (bool first = true; first || code == CodeContinuation; first = false) {
                if (i + 1 >= text.size()) {
                    broken = true;
                    break;
                }
                const size_t length = static_cast<uint8_t>(text[i + 1]) + 1u;
                if (i + 2 + length > text.size()) {
                    broken = true;
                    break;
                }
                section.append(text, i + 2, length);
                i += 2 + length;
                code = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
            }
            if (broken)
                return;
            takeSection(context, objectId, section, options, counter, out, depth);
            continue;
        }
        if (b == CodeParameterA || b == CodeParameterB) {
            i += 2;
            continue;
        }
        if ((b >= 0x06 && b <= 0x0F) || b == 0x01 || b == 0x02 || b == 0x03) {
            ++i;
            continue;
        }
        out.text += static_cast<char>(b);
        ++i;
    }
}

std::string debugView(const std::string &text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b == CodeSection || b == CodeContinuation) {
            const size_t length = i + 1 < text.size() ? static_cast<uint8_t>(text[i + 1]) + 3u : 1u;
            const size_t end = std::min(text.size(), i + length);
            out += "<span class=\"nj_debug_nml_code\">&nbsp;";
            for (; i < end; ++i)
                out += hexByte(static_cast<uint8_t>(text[i]), "0x%02X ");
            out += "</span>";
            continue;
        }
        if (b == CodeParameterA || b == CodeParameterB) {
            const uint8_t parameter = i + 1 < text.size() ? static_cast<uint8_t>(text[i + 1]) : 0;
            out += "<span class=\"nj_debug_nml_code\">&nbsp;" + hexByte(b, "0x%02X&nbsp;") +
                   hexByte(parameter, "0x%02X&nbsp;") + "</span>";
            i += 2;
            continue;
        }
        if (b < 0x1F) {
            out += "<span class=\"nj_debug_nml_code\">" + hexByte(b, "0x%02X") + "</span>";
            ++i;
            continue;
        }
        out += escape(std::string(1, static_cast<char>(b)) + (b >= 0x80 && wellFormedAt(text, i)
                                                                 ? text.substr(i + 1, sequenceLength(b) - 1)
                                                                 : std::string()));
        i += b >= 0x80 && wellFormedAt(text, i) ? sequenceLength(b) : 1;
    }
    return out;
}

std::string passTwo(const std::string &escaped, const std::vector<Image> &images)
{
    std::string out;
    bool table = false;
    for (size_t i = 0; i < escaped.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(escaped[i]);
        switch (b) {
        case MarkImage:
            if (i + 1 < escaped.size()) {
                const uint8_t index = static_cast<uint8_t>(escaped[++i]);
                if (index < images.size())
                    out += "<njImageBox><njImage src='" + escape(images[index].url) + "' caption='" +
                           escape(images[index].caption) + "'></njImage></njImageBox>";
            }
            break;
        case MarkIntroStart: out += "<intro>"; break;
        case MarkIntroEnd: out += "</intro>"; break;
        case CodeTableRow:
            out += table ? "</td></tr>\n<tr><td>" : "<table><tr><td>";
            table = true;
            break;
        case CodeTableCell: out += "</td><td>"; break;
        case CodeLineBreak: out += "<br/>"; break;
        case CodeSoftHyphen: out += "&shy;"; break;
        case CodeBoldOn: out += "<b>"; break;
        case CodeBoldOff: out += "</b>"; break;
        default: out += static_cast<char>(b);
        }
    }
    if (table)
        out += "</td></tr>\n</table>";
    return out;
}

std::string rawText(const PassOne &pass)
{
    std::string out;
    for (size_t i = 0; i < pass.text.size(); ++i) {
        const char c = pass.text[i];
        if (c == MarkIntroStart) {
            out += "[INTRO]";
        } else if (c == MarkIntroEnd) {
            out += "[/INTRO]";
        } else if (c == MarkImage) {
            if (i + 1 < pass.text.size()) {
                const uint8_t index = static_cast<uint8_t>(pass.text[++i]);
                if (index < pass.inlineImages.size())
                    out += "[IMAGE='" + pass.inlineImages[index].url + "']" + pass.inlineImages[index].caption +
                           "[/IMAGE]";
            }
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

bool parseImageSection(const std::string &section, ImageSection &image)
{
    if (section.size() < 4)
        return false;
    image.kind = static_cast<uint8_t>(section[1]);
    const size_t length = (static_cast<uint8_t>(section[2]) << 8) | static_cast<uint8_t>(section[3]);
    if (length == 0 || 4 + length > section.size())
        return false;
    image.first = section.substr(4, length);
    image.caption.clear();
    if (section.size() >= length + 6) {
        const size_t captionLength = static_cast<uint8_t>(section[4 + length]);
        image.caption = section.substr(5 + length, captionLength);
    }
    image.type.clear();
    if (image.kind == ImageKindCarried) {
        const size_t typeLength = static_cast<uint8_t>(image.first[0]);
        if (1 + typeLength > image.first.size())
            return false;
        image.type = image.first.substr(1, typeLength);
    }
    return true;
}

std::string imageName(uint16_t objectId, unsigned n, const std::string &type)
{
    return std::to_string(objectId) + "-" + std::to_string(n) + "." + type;
}

std::string escape(const std::string &utf8)
{
    std::string out;
    int open = 0;
    for (uint32_t point : NSJRenderer::utf8ToCodePoints(utf8)) {
        // Surrogates and the two non-characters are no characters a page or
        // a KML document may refer to.
        if (point >= 0xFFFE || (point >= 0xD800 && point <= 0xDFFF))
            point = ReplacementCharacter;
        // Braces too: a broadcast text must not name a page template's variable.
        if (point < 128 && point != '<' && point != '>' && point != '&' && point != '"' && point != '\'' &&
            point != '{' && point != '}') {
            out += static_cast<char>(point);
            continue;
        }
        if (point == 0x202A || point == 0x202B || point == 0x202D || point == 0x202E)
            ++open;
        else if (point == PopDirectionalFormatting && open > 0)
            --open;
        out += "&#" + std::to_string(point) + ";";
    }
    for (; open > 0; --open)
        out += "&#8236;";
    return out;
}

std::string toHtml(const Context &context, uint16_t objectId, const std::string &text, const Options &options)
{
    if (context.debug)
        return debugView(text);
    uint8_t ownCounter = 0;
    uint8_t &counter = options.imageCounter ? *options.imageCounter : ownCounter;
    PassOne pass;
    passOne(context, objectId, text, options, counter, pass, 0);
    if (options.raw)
        return rawText(pass);
    return passTwo(escape(pass.text), pass.inlineImages);
}

} // namespace NSJNml
